// What the fuzzers count as findings besides crashes and sanitizer reports: a broken invariant,
// and any message from Qt (the program prints nothing, whatever the file holds).
// Included by exactly one source file of each fuzzer, which it gives libFuzzer's start-up hook.
#pragma once

#include <QString>
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

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(failOnMessage);
    return 0;
}
