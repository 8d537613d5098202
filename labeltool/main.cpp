// Entry point of the label tool, the 32 Bit Mask Calculator's command-line companion.
#include "labeltool.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char **argv)
{
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
