// SPDX-License-Identifier: MIT
// Reading a register description as label sets, against a bare pass of the XML reader over the
// same bytes: the RP2040 description and one four times its size, measured in turns in one run.
#include "svdlabels.h"
#include "svdcopies.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

qint64 bareReaderPass(const QByteArray &svd)
{
    QXmlStreamReader reader(svd);
    qint64 tokens = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        ++tokens;
    }
    return reader.hasError() ? -1 : tokens;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// Writes the description at source with its peripherals copies times over to target, for the label
// tool's benchmark to run on a file.
int writeEnlarged(const QString &source, const QString &target, int copies)
{
    QFile in(source);
    QFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly) || copies < 1)
        return 1;
    const QByteArray bytes = svdcopies::enlarged(in.readAll(), copies);
    return out.write(bytes) == bytes.size() && out.flush() ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 5 && qstrcmp(argv[1], "--write-enlarged") == 0)
        return writeEnlarged(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                             QByteArray(argv[4]).toInt());
    QFile file(QStringLiteral(RP2040_SVD));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", RP2040_SVD);
        return 1;
    }
    const QByteArray rp2040 = file.readAll();
    const struct
    {
        const char *name;
        QByteArray bytes;
    } inputs[] = { { "rp2040.svd", rp2040 },
                   { "rp2040.svd, peripherals ×4", svdcopies::enlarged(rp2040, 4) } };
    const int rounds = 21;

    std::printf(
            "| description | KiB | registers | sets | bare reader ms | importSvd ms | ratio |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
    for (const auto &input : inputs) {
        const SvdImport import = importSvd(input.bytes);
        if (!import.error.isEmpty() || bareReaderPass(input.bytes) < 0) {
            std::fprintf(stderr, "%s: %s\n", input.name, qPrintable(import.error));
            return 1;
        }
        std::vector<double> bare;
        std::vector<double> full;
        QElapsedTimer timer;
        // In turns, so that whatever else the machine does falls on both alike.
        for (int round = 0; round < rounds; ++round) {
            timer.start();
            if (bareReaderPass(input.bytes) < 0)
                return 1;
            bare.push_back(double(timer.nsecsElapsed()) / 1e6);
            timer.start();
            if (importSvd(input.bytes).sets.size() != import.sets.size())
                return 1;
            full.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        const double bareMs = median(bare);
        const double fullMs = median(full);
        std::printf("| %s | %lld | %lld | %lld | %.2f | %.2f | %.2f |\n", input.name,
                    static_cast<long long>(input.bytes.size() / 1024),
                    static_cast<long long>(import.registers),
                    static_cast<long long>(import.sets.size()), bareMs, fullMs, fullMs / bareMs);
    }
    return 0;
}
