// SPDX-License-Identifier: MIT
// Running a program as a whole process, as a user starts it: wall time and peak memory of one run,
// and the statistics the process benchmarks report.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

extern char **environ;

namespace bench {

[[noreturn]] inline void fail(const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(message));
    std::exit(1);
}

inline double nowMs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Starts the program with its output discarded and waits for it; true when it exited with 0.
// wait4 gives the peak resident set and the processor time (user and system) of this one child,
// where RUSAGE_CHILDREN would give the largest or the sum of all children so far. The peak of a
// child counts the memory of this process up to the exec, so a driver keeps small: it has large
// files written by children of its own.
inline bool spawnAndWait(const QString &exe, const QStringList &arguments, double *wallMs,
                         double *peakMiB, double *cpuMs = nullptr)
{
    const QByteArray path = QFile::encodeName(exe);
    std::vector<QByteArray> args { path };
    args.reserve(size_t(arguments.size()) + 1);
    for (const QString &arg : arguments)
        args.push_back(arg.toLocal8Bit());
    std::vector<char *> argv;
    argv.reserve(args.size() + 1);
    for (QByteArray &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    const double start = nowMs();
    pid_t pid = 0;
    const int spawned =
            posix_spawn(&pid, path.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return false;
    int status = 0;
    rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid)
        return false;
    *wallMs = nowMs() - start;
    *peakMiB = double(usage.ru_maxrss) / 1024.0;
    if (cpuMs) {
        const auto ms = [](const timeval &tv) {
            return double(tv.tv_sec) * 1e3 + double(tv.tv_usec) / 1e3;
        };
        *cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A program run again and again, with what to remove before each run (a file it must write anew).
struct Run
{
    QString name;
    QString exe;
    QStringList args;
    QString removeBeforeRun;
    std::vector<double> wallMs;
    std::vector<double> peakMiB;
    std::vector<double> cpuMs {}; // user and system time

    void once()
    {
        if (!removeBeforeRun.isEmpty())
            QFile::remove(removeBeforeRun);
        double wall = 0;
        double peak = 0;
        double cpu = 0;
        if (!spawnAndWait(exe, args, &wall, &peak, &cpu))
            fail(QStringLiteral("%1 %2 failed").arg(exe, args.join(QLatin1Char(' '))));
        wallMs.push_back(wall);
        peakMiB.push_back(peak);
        cpuMs.push_back(cpu);
    }

    void forget()
    {
        wallMs.clear();
        peakMiB.clear();
        cpuMs.clear();
    }
};

// Runs every program once a round, the order rotated each round, so that a slow spell of the
// machine falls on every program alike; the warm-up rounds are not kept.
inline void runInTurns(std::vector<Run *> &runs, int rounds, int warmUpRounds)
{
    for (int round = 0; round < warmUpRounds + rounds; ++round) {
        for (size_t i = 0; i < runs.size(); ++i)
            runs[(i + size_t(round)) % runs.size()]->once();
        if (round + 1 == warmUpRounds) {
            for (Run *run : runs)
                run->forget();
        }
    }
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

inline double fastest(const std::vector<double> &values)
{
    return *std::min_element(values.begin(), values.end());
}

// A program given by the environment (another build of the project, say), or the default.
inline QString programPath(const char *variable, const QString &fallback)
{
    const QString given = qEnvironmentVariable(variable);
    return given.isEmpty() ? fallback : given;
}

// A child of the driver that must succeed before anything is measured (writing a file).
inline void runSetUp(const QString &exe, const QStringList &arguments, const QString &what)
{
    double wall = 0;
    double peak = 0;
    if (!spawnAndWait(exe, arguments, &wall, &peak))
        fail(QStringLiteral("cannot %1").arg(what));
}

} // namespace bench
