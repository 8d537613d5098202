// SPDX-License-Identifier: MIT
// The label tool's commands as a user runs them, each a whole process, against a floor run in turn
// with it: import-svd --output against a bare XML reader pass over the same description, and check
// against the window's own reading of the same label file.
#include "processrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Comparison
{
    const char *goal;
    QString what;
    qint64 bytes = 0;
    bench::Run floor;
    bench::Run command;
};

void printTable(const char *title, const char *floorName, const std::vector<Comparison> &rows,
                const char *commandName)
{
    std::printf("\n%s\n\n", title);
    std::printf("| file | KiB | %s ms, median | fastest | MiB | %s ms, median | fastest | MiB "
                "| × floor, median | fastest | MiB |\n",
                floorName, commandName);
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Comparison &row : rows) {
        if (qstrcmp(row.goal, title) != 0)
            continue;
        const double floorWall = bench::median(row.floor.wallMs);
        const double floorFastest = bench::fastest(row.floor.wallMs);
        const double floorPeak = bench::median(row.floor.peakMiB);
        const double wall = bench::median(row.command.wallMs);
        const double quickest = bench::fastest(row.command.wallMs);
        const double peak = bench::median(row.command.peakMiB);
        std::printf("| %s | %lld | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %.2f | %.2f | %.2f "
                    "|\n",
                    qPrintable(row.what), static_cast<long long>(row.bytes / 1024), floorWall,
                    floorFastest, floorPeak, wall, quickest, peak, wall / floorWall,
                    quickest / floorFastest, peak / floorPeak);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    const int warmUpRounds = 2;

    const QString binDir = QCoreApplication::applicationDirPath();
    // The programs measured may come from another build of the project: the floors are this
    // build's, or that build's when it is given too.
    const QString tool = bench::programPath(
            "BENCH_LABELS_TOOL", QDir::cleanPath(binDir + QStringLiteral("/../K732-118-labels")));
    const QString reader =
            bench::programPath("BENCH_READ_LABELS", binDir + QStringLiteral("/bench_readlabels"));
    const QString xmlPass = binDir + QStringLiteral("/bench_xmlpass");
    const QString work = binDir + QStringLiteral("/labeltool-work");
    QDir(work).removeRecursively();
    QDir().mkpath(work);

    const QString rp2040 = QStringLiteral(RP2040_SVD);
    const QString enlarged = work + QStringLiteral("/rp2040x4.svd");
    bench::runSetUp(binDir + QStringLiteral("/bench_svdimport"),
                    { QStringLiteral("--write-enlarged"), rp2040, enlarged, QStringLiteral("4") },
                    QStringLiteral("write the enlarged description"));
    const QString labels = work + QStringLiteral("/sets-10000.ini");
    bench::runSetUp(binDir + QStringLiteral("/bench_labelcheck"),
                    { QStringLiteral("--write-labels"), labels, QStringLiteral("10000") },
                    QStringLiteral("write the label file of 10000 sets"));
    // Sets of a real description, which differ from each other as registers do.
    const QString imported = work + QStringLiteral("/rp2040x4.ini");
    bench::runSetUp(
            tool, { QStringLiteral("import-svd"), enlarged, QStringLiteral("--output"), imported },
            QStringLiteral("import the enlarged description"));

    const char *const importTitle = "import-svd SVD --output NEW, against a bare XML reader pass "
                                    "over SVD (goal: at most 2 ×)";
    const char *const checkTitle = "check FILE, against the window's reading of FILE "
                                   "(readLabelSetsFromFile; goal: at most 1.5 ×)";
    std::vector<Comparison> rows;
    struct NamedFile
    {
        QString name;
        QString path;
    };
    const NamedFile descriptions[] = { { QStringLiteral("rp2040.svd"), rp2040 },
                                       { QStringLiteral("rp2040.svd, peripherals ×4"), enlarged } };
    for (const auto &svd : descriptions) {
        const QString output = work + QStringLiteral("/new-%1.ini").arg(rows.size());
        rows.push_back(
                { importTitle,
                  svd.name,
                  QFileInfo(svd.path).size(),
                  { QStringLiteral("XML pass"), xmlPass, { svd.path }, {}, {}, {} },
                  { QStringLiteral("import-svd"),
                    tool,
                    { QStringLiteral("import-svd"), svd.path, QStringLiteral("--output"), output },
                    output,
                    {},
                    {} } });
    }
    const NamedFile labelFiles[] = {
        { QStringLiteral("10000 sets of 32 labels, as Qt writes it"), labels },
        { QStringLiteral("import of rp2040.svd, peripherals ×4"), imported }
    };
    for (const auto &file : labelFiles) {
        rows.push_back({ checkTitle,
                         file.name,
                         QFileInfo(file.path).size(),
                         { QStringLiteral("reading"), reader, { file.path }, {}, {}, {} },
                         { QStringLiteral("check"),
                           tool,
                           { QStringLiteral("check"), file.path },
                           {},
                           {},
                           {} } });
    }

    std::vector<bench::Run *> runs;
    runs.reserve(rows.size() * 2);
    for (Comparison &row : rows) {
        runs.push_back(&row.floor);
        runs.push_back(&row.command);
    }
    bench::runInTurns(runs, rounds, warmUpRounds);

    std::printf("The label tool as a user runs it, %d runs of each process in turn\n", rounds);
    printTable(importTitle, "XML pass", rows, "import-svd");
    printTable(checkTitle, "reading", rows, "check");
    return 0;
}
