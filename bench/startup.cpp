// SPDX-License-Identifier: MIT
// Runs the start-up programs as whole processes, in turn, and reports wall time and peak memory
// against the form alone, which is the floor the window's own widgets set.
#include "generatedlabels.h"
#include "labelfile.h"
#include "processrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using bench::fail;

struct Program
{
    bench::Run run;
    int labelSets = 0;
    // The form with the same set names in its drop-down, for a large label file: an index into the
    // programs, or -1.
    int floor = -1;
};

const char *const labelFileName = "K732-118.ini";

// Each label file needs a directory of its own, because the program reads the file beside itself.
QString stageProgram(const QString &source, const QString &dir)
{
    QDir().mkpath(dir);
    QString target = dir + QLatin1Char('/') + QFileInfo(source).fileName();
    if (!QFile::copy(source, target))
        fail(QStringLiteral("cannot copy %1 to %2").arg(source, dir));
    return target;
}

// The names of the sets the window shows for the file, one a line, for the floor to fill its
// drop-down with; returns their number.
int writeSetNames(const QString &labelFile, const QString &list)
{
    const LabelSets sets = readLabelSetsFromFile(labelFile, QStringLiteral("bitlabels"));
    QFile out(list);
    if (sets.names.isEmpty() || !out.open(QIODevice::WriteOnly))
        fail(QStringLiteral("cannot list the sets of %1").arg(labelFile));
    for (const QString &name : sets.names) {
        if (name.contains(QLatin1Char('\n')))
            fail(QStringLiteral("a set name of %1 holds a line break").arg(labelFile));
        out.write(name.toUtf8() + '\n');
    }
    return int(sets.names.size());
}

QString formSize(const QString &formExe)
{
    FILE *pipe = popen(QFile::encodeName(formExe).constData(), "r");
    if (!pipe)
        fail(QStringLiteral("cannot start %1").arg(formExe));
    int width = 0;
    int height = 0;
    const int read = std::fscanf(pipe, "%d %d", &width, &height);
    pclose(pipe);
    if (read != 2 || width <= 0 || height <= 0)
        fail(QStringLiteral("%1 did not report its size").arg(formExe));
    return QStringLiteral("%1 %2").arg(width).arg(height);
}

// The window's start with each register description imported whole, against the form with the
// same set names in its drop-down, each pair run in turns of its own so that the ratio holds on a
// busy machine. Reports every file, then the worst file and the median ratio.
int measureDescriptions(const QStringList &descriptions, int rounds)
{
    const QString binDir = QCoreApplication::applicationDirPath();
    const QString work = binDir + QStringLiteral("/startup-descriptions");
    QDir(work).removeRecursively();
    const QString appExe =
            bench::programPath("BENCH_APP", binDir + QStringLiteral("/bench_startup_app"));
    const QString tool = bench::programPath(
            "BENCH_LABELS_TOOL", QDir::cleanPath(binDir + QStringLiteral("/../K732-118-labels")));
    const QString floorExe = binDir + QStringLiteral("/bench_startup_floor");
    const QString self = QCoreApplication::applicationFilePath();

    struct Row
    {
        QString file;
        int sets;
        double floorMs;
        double appMs;
        double ratio;
        double fastestRatio;
        double peakRatio;
    };
    std::vector<Row> rows;
    std::printf("Start-up with each register description imported whole (import-svd FILE "
                "--output), against the form with the same set names in its drop-down; %d runs "
                "of each pair in turn (goal: at most 1.25 ×)\n\n",
                rounds);
    std::printf("| description | sets | floor ms, median | K732-118 ms, median | × floor, median | "
                "fastest | MiB |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
    std::fflush(stdout);
    for (const QString &description : descriptions) {
        const QString base = QFileInfo(description).fileName();
        const QString dir = work + QLatin1Char('/') + QFileInfo(description).completeBaseName();
        const QString file = dir + QLatin1Char('/') + QLatin1String(labelFileName);
        const QString names = dir + QStringLiteral("/set-names.txt");
        QDir().mkpath(dir);
        bench::runSetUp(tool,
                        { QStringLiteral("import-svd"), description, QStringLiteral("--output"),
                          file },
                        QStringLiteral("import %1").arg(description));
        bench::runSetUp(self, { QStringLiteral("--write-names"), file, names },
                        QStringLiteral("list the sets of %1").arg(file));
        QFile list(names);
        const int sets = list.open(QIODevice::ReadOnly) ? int(list.readAll().count('\n')) : 0;
        bench::Run floor { QStringLiteral("floor"), floorExe, { QStringLiteral("--names"), names },
                           {}, {}, {} };
        bench::Run app { base, stageProgram(appExe, dir), {}, {}, {}, {} };
        std::vector<bench::Run *> runs { &floor, &app };
        bench::runInTurns(runs, rounds, 2);
        const double floorMs = bench::median(floor.wallMs);
        const double appMs = bench::median(app.wallMs);
        const Row row { base,
                        sets,
                        floorMs,
                        appMs,
                        appMs / floorMs,
                        bench::fastest(app.wallMs) / bench::fastest(floor.wallMs),
                        bench::median(app.peakMiB) / bench::median(floor.peakMiB) };
        std::printf("| %s | %d | %.1f | %.1f | %.2f | %.2f | %.2f |\n", qPrintable(row.file),
                    row.sets, row.floorMs, row.appMs, row.ratio, row.fastestRatio, row.peakRatio);
        std::fflush(stdout);
        rows.push_back(row);
    }
    if (rows.empty())
        return 0;
    std::vector<double> ratios;
    ratios.reserve(rows.size());
    for (const Row &row : rows)
        ratios.push_back(row.ratio);
    const auto worst = std::max_element(
            rows.begin(), rows.end(), [](const Row &a, const Row &b) { return a.ratio < b.ratio; });
    std::printf("\nWorst file: %s, %.2f × its floor (median wall time); median of the %d files: "
                "%.2f ×\n",
                qPrintable(worst->file), worst->ratio, int(rows.size()), bench::median(ratios));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--write-labels") == 0) {
        if (!writeGeneratedLabelFile(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3])))
            fail(QStringLiteral("cannot write %1").arg(QString::fromLocal8Bit(argv[2])));
        return 0;
    }
    if (argc == 4 && qstrcmp(argv[1], "--write-names") == 0) {
        writeSetNames(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc >= 3 && qstrcmp(argv[1], "--descriptions") == 0) {
        QStringList descriptions;
        for (int i = 3; i < argc; ++i)
            descriptions.append(QString::fromLocal8Bit(argv[i]));
        return measureDescriptions(descriptions, std::max(1, std::atoi(argv[2])));
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const int warmUpRounds = 3;

    const QString binDir = QCoreApplication::applicationDirPath();
    const QString work = binDir + QStringLiteral("/startup-work");
    QDir(work).removeRecursively();

    // The window and the label tool may come from another build of the project (to measure a
    // change against the same floors); by default they are this build's.
    const QString appExe =
            bench::programPath("BENCH_APP", binDir + QStringLiteral("/bench_startup_app"));
    const QString tool = bench::programPath(
            "BENCH_LABELS_TOOL", QDir::cleanPath(binDir + QStringLiteral("/../K732-118-labels")));
    const QString formExe = binDir + QStringLiteral("/bench_startup_form");
    const QString floorExe = binDir + QStringLiteral("/bench_startup_floor");
    const QString self = QCoreApplication::applicationFilePath();
    const QStringList size = formSize(formExe).split(QLatin1Char(' '));

    std::vector<Program> programs;
    const auto add = [&programs](const QString &name, const QString &exe, const QStringList &args,
                                 int labelSets = 0) {
        programs.push_back({ { name, exe, args, {}, {}, {} }, labelSets, -1 });
        return int(programs.size()) - 1;
    };
    add(QStringLiteral("bare QMainWindow, same size"),
        binDir + QStringLiteral("/bench_startup_bare"), size);
    add(QStringLiteral("form alone"), formExe, {});

    const QString defaultDir = work + QStringLiteral("/default");
    const int withDefault = add(QStringLiteral("K732-118, default label file"),
                                stageProgram(appExe, defaultDir), {}, 1);
    // The first start writes the default file; every measured run then finds it.
    programs.back().run.once();
    if (!QFile::exists(defaultDir + QLatin1Char('/') + QLatin1String(labelFileName)))
        fail(QStringLiteral("the program wrote no default label file"));
    programs.back().run.forget();

    const QString firstDir = work + QStringLiteral("/first-start");
    add(QStringLiteral("K732-118, first start (writes the file)"), stageProgram(appExe, firstDir),
        {}, 1);
    programs.back().run.removeBeforeRun =
            firstDir + QLatin1Char('/') + QLatin1String(labelFileName);

    // A large file's start-up is measured against the form with the same set names in its
    // drop-down: the toolkit measures every name when the drop-down is first shown, which no
    // reading of the file can avoid.
    const auto addWithFloor = [&](const QString &name, const QString &dir,
                                  const QStringList &floorArgs, int sets) {
        const int floor =
                add(QStringLiteral("form, drop-down of %1").arg(name), floorExe, floorArgs, sets);
        add(QStringLiteral("K732-118, %1").arg(name), stageProgram(appExe, dir), {}, sets);
        programs.back().floor = floor;
    };
    for (int sets : { 100, 1000, 10000 }) {
        const QString dir = work + QStringLiteral("/sets-%1").arg(sets);
        bench::runSetUp(self,
                        { QStringLiteral("--write-labels"),
                          dir + QLatin1Char('/') + QLatin1String(labelFileName),
                          QString::number(sets) },
                        QStringLiteral("write the label file of %1 sets").arg(sets));
        const QString name = QStringLiteral("%1 sets").arg(sets);
        if (sets < 1000)
            add(QStringLiteral("K732-118, %1").arg(name), stageProgram(appExe, dir), {}, sets);
        else
            addWithFloor(name, dir, { QStringLiteral("--generated"), QString::number(sets) }, sets);
    }

    {
        // The whole RP2040 description imported, as a user who wants every register would.
        const QString dir = work + QStringLiteral("/rp2040");
        const QString file = dir + QLatin1Char('/') + QLatin1String(labelFileName);
        const QString names = dir + QStringLiteral("/set-names.txt");
        QDir().mkpath(dir);
        bench::runSetUp(tool,
                        { QStringLiteral("import-svd"), QStringLiteral(RP2040_SVD),
                          QStringLiteral("--output"), file },
                        QStringLiteral("import %1").arg(QStringLiteral(RP2040_SVD)));
        bench::runSetUp(self, { QStringLiteral("--write-names"), file, names },
                        QStringLiteral("list the sets of %1").arg(file));
        QFile list(names);
        const int sets = list.open(QIODevice::ReadOnly) ? int(list.readAll().count('\n')) : 0;
        addWithFloor(QStringLiteral("RP2040 import (%1 sets)").arg(sets), dir,
                     { QStringLiteral("--names"), names }, sets);
    }

    std::vector<bench::Run *> runs;
    runs.reserve(programs.size());
    for (Program &program : programs)
        runs.push_back(&program.run);
    bench::runInTurns(runs, rounds, warmUpRounds);

    // The median says what a start usually costs; the fastest run is what is left when the machine
    // has nothing else to do, and is the steadier of the two on a busy machine.
    const bench::Run &form = programs[1].run;
    const double formWall = bench::median(form.wallMs);
    const double formFastest = bench::fastest(form.wallMs);
    const double formPeak = bench::median(form.peakMiB);
    std::printf("Start-up, %d runs of each program in turn (QT_QPA_PLATFORM=offscreen)\n\n",
                rounds);
    std::printf("| program | wall ms, median | × form | wall ms, fastest | × form | peak MiB | "
                "× form |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
    for (const Program &program : programs) {
        const bench::Run &run = program.run;
        const double wall = bench::median(run.wallMs);
        const double quickest = bench::fastest(run.wallMs);
        const double peak = bench::median(run.peakMiB);
        std::printf("| %s | %.1f | %.3f | %.1f | %.3f | %.1f | %.3f |\n", qPrintable(run.name),
                    wall, wall / formWall, quickest, quickest / formFastest, peak, peak / formPeak);
    }

    std::printf("\nLarge label files against their floor: the form with the same set names in its "
                "drop-down (goal: at most 1.25 ×)\n\n");
    std::printf("| label file | floor ms, median | fastest | MiB | K732-118 ms, median | fastest | "
                "MiB | × floor, median | fastest | MiB |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Program &program : programs) {
        if (program.floor < 0)
            continue;
        const bench::Run &run = program.run;
        const bench::Run &floor = programs[size_t(program.floor)].run;
        const double floorWall = bench::median(floor.wallMs);
        const double floorFastest = bench::fastest(floor.wallMs);
        const double floorPeak = bench::median(floor.peakMiB);
        const double wall = bench::median(run.wallMs);
        const double quickest = bench::fastest(run.wallMs);
        const double peak = bench::median(run.peakMiB);
        const QString file = run.name.mid(run.name.indexOf(QLatin1String(", ")) + 2);
        std::printf("| %s | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %.2f | %.2f | %.2f |\n",
                    qPrintable(file), floorWall, floorFastest, floorPeak, wall, quickest, peak,
                    wall / floorWall, quickest / floorFastest, peak / floorPeak);
    }

    std::printf("\nLarge label files against the default file (generated: 32 labels a set; "
                "RP2040: 1 to 32)\n\n");
    std::printf("| label file | added ms, median | per set µs | added ms, fastest | per set µs | "
                "added MiB |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    const bench::Run &base = programs[size_t(withDefault)].run;
    for (const Program &program : programs) {
        const bench::Run &run = program.run;
        if (program.labelSets < 100 || !run.name.startsWith(QLatin1String("K732-118")))
            continue;
        const double added = bench::median(run.wallMs) - bench::median(base.wallMs);
        const double addedFastest = bench::fastest(run.wallMs) - bench::fastest(base.wallMs);
        const QString file = run.name.mid(run.name.indexOf(QLatin1String(", ")) + 2);
        std::printf("| %s | %.1f | %.1f | %.1f | %.1f | %.1f |\n", qPrintable(file), added,
                    added * 1000.0 / program.labelSets, addedFastest,
                    addedFastest * 1000.0 / program.labelSets,
                    bench::median(run.peakMiB) - bench::median(base.peakMiB));
    }
    return 0;
}
