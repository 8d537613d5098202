// SPDX-License-Identifier: MIT
// Entry point of the label tool, the 32 Bit Mask Calculator's command-line companion.
#include "labeltool.h"

#include <QCoreApplication>
#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#endif

int main(int argc, char **argv)
{
#ifdef Q_OS_UNIX
    // A closed standard stream's number would go to the next file opened (the event dispatcher's
    // eventfd, which takes the results as counts). /dev/null opened the other way round holds
    // the place, so that using the stream fails as it would have.
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF)
            ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    }
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("K732-118-labels"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MASKCALC_VERSION));
#ifdef Q_OS_UNIX
    // An argument in another encoding (a Latin-1 name) decodes to a name with U+FFFD in it, which
    // may be another file: the tool must know which names are not the user's own.
    for (int i = 1; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        const QString decoded = QFile::decodeName(bytes);
        if (QFile::encodeName(decoded) != bytes)
            noteUndecodableArgument(decoded, bytes);
    }
#endif
    return finishOutput(runLabelTool(QCoreApplication::arguments()));
}
