// SPDX-License-Identifier: MIT
// check of a 10,000-set label file against the window's own reading of the same file, in turn.
#include "generatedlabels.h"
#include "labeltool.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int setCount = 10000;

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "bench_labelcheck: %s\n", qPrintable(message));
    std::exit(1);
}

void writeLikeQt(const QString &path)
{
    if (!writeGeneratedLabelFile(path, setCount))
        fail(QStringLiteral("cannot write %1").arg(path));
}

// The same sets as a person might write them: quoted values, which the window's one-pass reader
// leaves to the settings class.
void writeByHand(const QString &path)
{
    QByteArray text = "; registers\n[bitlabels]\n";
    for (int set = 0; set < setCount; ++set) {
        for (int bit = 0; bit < 32; ++bit)
            text += "Register " + QByteArray::number(set) + "\\Flag " + QByteArray::number(bit + 1)
                    + "=\"" + QByteArray::number(bit) + "\"\n";
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        fail(QStringLiteral("cannot write %1").arg(path));
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The label tool's process benchmark has its file written here, by a child of its own.
    if (argc == 4 && qstrcmp(argv[1], "--write-labels") == 0) {
        if (!writeGeneratedLabelFile(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt()))
            fail(QStringLiteral("cannot write %1").arg(QString::fromLocal8Bit(argv[2])));
        return 0;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    const QTemporaryDir dir;
    if (!dir.isValid())
        fail(QStringLiteral("no scratch directory"));

    struct File
    {
        const char *name;
        void (*write)(const QString &);
    };
    std::printf("| %d sets of 32 labels | window's reading, ms | check, ms | × reading |\n",
                setCount);
    std::printf("|---|---:|---:|---:|\n");
    for (const File &kind : { File { "as Qt writes it", writeLikeQt },
                              File { "quoted values (read by QSettings)", writeByHand } }) {
        const QString path = dir.filePath(QStringLiteral("labels.ini"));
        QFile::remove(path);
        kind.write(path);
        std::vector<double> reading;
        std::vector<double> checking;
        // One warm-up round, then the two in turn so that the machine's slow spells fall on both.
        for (int round = 0; round <= rounds; ++round) {
            QElapsedTimer timer;
            timer.start();
            const LabelSets sets = readLabelSetsFromFile(path, labelGroup());
            const double readMs = double(timer.nsecsElapsed()) / 1e6;
            timer.restart();
            const LabelFileCheck result = checkLabelFile(openLabelFile(path));
            const double checkMs = double(timer.nsecsElapsed()) / 1e6;
            if (sets.names.size() != setCount || result.shown.names != sets.names
                || !result.warnings.isEmpty())
                fail(QStringLiteral("the file did not read as %1 clean sets").arg(setCount));
            if (round > 0) {
                reading.push_back(readMs);
                checking.push_back(checkMs);
            }
        }
        const double read = median(reading);
        const double check = median(checking);
        std::printf("| %s | %.1f | %.1f | %.2f |\n", kind.name, read, check, check / read);
    }
    return 0;
}
