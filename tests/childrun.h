// SPDX-License-Identifier: MIT
// Starting a copy of the running test in a directory of its own, as an unprivileged user where
// the test runs as root: the label file lives beside the executable, and root may write anywhere.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>

namespace childrun {

// The unprivileged user and group (nobody, nogroup).
inline constexpr uint unprivilegedId = 65534;

// The command prefix that drops root's rights: empty when the test does not run as root, false
// when it runs as root without setpriv to drop them.
inline bool unprivilegedPrefix(QStringList *prefix)
{
    prefix->clear();
    if (::geteuid() != 0)
        return true;
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        return false;
    *prefix = QStringList { setpriv, QStringLiteral("--reuid=%1").arg(unprivilegedId),
                            QStringLiteral("--regid=%1").arg(unprivilegedId),
                            QStringLiteral("--clear-groups") };
    return true;
}

// Makes scratch/app, reachable by the unprivileged user, and copies the running test into it;
// returns the copy's path, or an empty string on failure.
inline QString copyRunningTest(const QTemporaryDir &scratch)
{
    const QString dir = scratch.filePath(QStringLiteral("app"));
    const QString program =
            dir + u'/' + QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const bool ok = scratch.isValid()
            && QFile::setPermissions(scratch.path(),
                                     QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                             | QFile::ReadOther | QFile::ExeOther)
            && QDir().mkpath(dir) && QFile::copy(QCoreApplication::applicationFilePath(), program);
    return ok ? program : QString();
}

// Writes content to path with the given mode; where the test runs as root, the file is given to
// the unprivileged user, as if that user had written it.
inline bool placeFileForChild(const QString &path, const QByteArray &content, int mode)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    const QByteArray name = QFile::encodeName(path);
    return ::chmod(name.constData(), mode_t(mode)) == 0
            && (::geteuid() != 0 || ::chown(name.constData(), unprivilegedId, unprivilegedId) == 0);
}

// Runs program (a copy of this test) on the current test function and data row, with variable
// set so that the copy knows it is the child; true when the copy passed.
inline bool runCurrentTest(const QStringList &prefix, const QString &program, const char *variable,
                           QByteArray *output)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(variable), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    QStringList command = prefix;
    command << program
            << QStringLiteral("%1:%2").arg(QString::fromLatin1(QTest::currentTestFunction()),
                                           QString::fromUtf8(QTest::currentDataTag()));
    child.start(command.takeFirst(), command);
    const bool finished = child.waitForFinished(60000);
    *output = child.readAll();
    return finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}

} // namespace childrun
#endif
