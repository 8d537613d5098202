// SPDX-License-Identifier: MIT
// What the fuzzers count as findings besides crashes and sanitizer reports: a broken invariant,
// and any message from Qt (the program prints nothing, whatever the file holds); and how they
// write a label file that the settings class reads afresh.
// Included by exactly one source file of each fuzzer, which it gives libFuzzer's start-up hook.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QTimeZone>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fail(const char *what)
{
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

inline void failOnMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    std::fprintf(stderr, "message: %s\n", qPrintable(message));
    fail("Qt printed a message");
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        fail("cannot write the input file");
    // The settings class keeps files it has read, by name, and reads one again only when its size
    // or time stamp changed: every input gets a time stamp of its own.
    static qint64 serial = 0;
    const QDateTime stamp = QDateTime::fromSecsSinceEpoch(1000000000 + ++serial, QTimeZone::utc());
    if (!file.setFileTime(stamp, QFileDevice::FileModificationTime))
        fail("cannot set the input file's time stamp");
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(failOnMessage);
    return 0;
}
