// SPDX-License-Identifier: MIT
// The label tool's reg and find on a large register description, each run as a whole process,
// against a process that only runs the XML reader over the same file.
#include "svdcopies.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The wall time of one run, or a negative one when the program did not end with status 0.
double runMs(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return -1;
    return double(timer.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    const QCoreApplication app(argc, argv);
    const int rounds =
            std::max(1, QCoreApplication::arguments().value(1, QStringLiteral("11")).toInt());
    QFile source(QStringLiteral(RP2040_SVD));
    const QTemporaryDir dir;
    if (!source.open(QIODevice::ReadOnly) || !dir.isValid()) {
        std::fprintf(stderr, "cannot read %s\n", RP2040_SVD);
        return 1;
    }
    // Three times the RP2040's peripherals: 4.8 MiB.
    const QByteArray svd = svdcopies::enlarged(source.readAll(), 3);
    const QString path = dir.filePath(QStringLiteral("large.svd"));
    QFile large(path);
    if (!large.open(QIODevice::WriteOnly) || large.write(svd) != svd.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    large.close();

    const struct
    {
        const char *name;
        QStringList arguments;
    } commands[] = {
        { "reg, the first peripheral", { "reg", path, "XIP_CTRL.CTRL", "0x9" } },
        { "reg, a derived peripheral of the last copy",
          { "reg", path, "UART1_COPY2.UARTCR", "0x301" } },
        { "reg, composed", { "reg", path, "PIO1_COPY2.CTRL", "SM_ENABLE=0xF" } },
        { "reg, by address (every peripheral read)", { "reg", path, "0x40038030", "0x301" } },
        { "find (every peripheral read)", { "find", path, "CLKDIV" } },
    };
    const QString tool = QStringLiteral(LABEL_TOOL);
    const QString bare = QStringLiteral(BARE_READER);
    std::printf("| command on %lld KiB | bare reader ms | command ms | ratio |\n",
                static_cast<long long>(svd.size() / 1024));
    std::printf("|---|---:|---:|---:|\n");
    for (const auto &command : commands) {
        std::vector<double> floor;
        std::vector<double> measured;
        // In turns, so that whatever else the machine does falls on both alike.
        for (int round = 0; round < rounds; ++round) {
            floor.push_back(runMs(bare, { path }));
            measured.push_back(runMs(tool, command.arguments));
            if (floor.back() < 0 || measured.back() < 0) {
                std::fprintf(stderr, "%s: a run failed\n", command.name);
                return 1;
            }
        }
        const double floorMs = median(floor);
        const double commandMs = median(measured);
        std::printf("| %s | %.1f | %.1f | %.2f |\n", command.name, floorMs, commandMs,
                    commandMs / floorMs);
    }
    return 0;
}
