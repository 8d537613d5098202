// Runs the start-up programs as whole processes, in turn, and reports wall time and peak memory
// against the form alone, which is the floor the window's own widgets set.
#include "generatedlabels.h"
#include "svdimport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

namespace {

struct Program
{
    QString name;
    QString exe;
    QStringList args;
    // Removed before every run, so that the run pays for writing the default set.
    QString removeBeforeRun;
    int labelSets = 0;
    std::vector<double> wallMs;
    std::vector<double> peakMiB;
};

const char *const labelFileName = "K732-118.ini";

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "bench_startup: %s\n", qPrintable(message));
    std::exit(1);
}

double nowMs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Starts the program with its output discarded and waits for it. wait4 gives the peak resident
// set of this one child, where RUSAGE_CHILDREN would give the largest of all children so far.
// The peak of a child counts the memory of this process up to the exec, so this process keeps
// small: the label files are written by children of their own.
bool spawnAndWait(const QString &exe, const QStringList &arguments, double *wallMs, double *peakMiB)
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
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void runOnce(Program &program)
{
    if (!program.removeBeforeRun.isEmpty())
        QFile::remove(program.removeBeforeRun);
    double wallMs = 0;
    double peakMiB = 0;
    if (!spawnAndWait(program.exe, program.args, &wallMs, &peakMiB))
        fail(QStringLiteral("%1 failed").arg(program.exe));
    program.wallMs.push_back(wallMs);
    program.peakMiB.push_back(peakMiB);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

double fastest(const std::vector<double> &values)
{
    return *std::min_element(values.begin(), values.end());
}

// Each label file needs a directory of its own, because the program reads the file beside itself.
QString stageProgram(const QString &source, const QString &dir)
{
    QDir().mkpath(dir);
    QString target = dir + QLatin1Char('/') + QFileInfo(source).fileName();
    if (!QFile::copy(source, target))
        fail(QStringLiteral("cannot copy %1 to %2").arg(source, dir));
    return target;
}

void writeLabelFile(const QString &path, int sets)
{
    if (!writeGeneratedLabelFile(path, sets))
        fail(QStringLiteral("cannot write %1").arg(path));
}

// The label sets of a whole register description, as import-svd writes them into a new file.
void writeImportedLabelFile(const QString &path, const QString &svdPath)
{
    QFile svd(svdPath);
    if (!svd.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1").arg(svdPath));
    const SvdImport imported = importSvd(svd.readAll());
    if (!imported.error.isEmpty()
        || !insertLabelSets(readLabelFileText(path), QStringLiteral("bitlabels"), imported.sets))
        fail(QStringLiteral("cannot write the sets of %1 to %2").arg(svdPath, path));
    // The process that runs the programs must stay small (see spawnAndWait): it learns the
    // number of sets from this file instead of reading them.
    QFile count(path + QStringLiteral(".sets"));
    if (!count.open(QIODevice::WriteOnly)
        || count.write(QByteArray::number(imported.sets.size())) <= 0)
        fail(QStringLiteral("cannot write %1").arg(count.fileName()));
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--write-labels") == 0) {
        writeLabelFile(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
        return 0;
    }
    if (argc == 4 && qstrcmp(argv[1], "--write-svd-labels") == 0) {
        writeImportedLabelFile(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
        return 0;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const int warmUpRounds = 3;
    qputenv("QT_QPA_PLATFORM", "offscreen");

    const QString binDir = QCoreApplication::applicationDirPath();
    const QString work = binDir + QStringLiteral("/startup-work");
    QDir(work).removeRecursively();

    const QString appExe = binDir + QStringLiteral("/bench_startup_app");
    const QString formExe = binDir + QStringLiteral("/bench_startup_form");
    const QStringList size = formSize(formExe).split(QLatin1Char(' '));

    std::vector<Program> programs;
    programs.push_back({ QStringLiteral("bare QMainWindow, same size"),
                         binDir + QStringLiteral("/bench_startup_bare"),
                         size,
                         {},
                         0,
                         {},
                         {} });
    programs.push_back({ QStringLiteral("form alone"), formExe, {}, {}, 0, {}, {} });

    const QString defaultDir = work + QStringLiteral("/default");
    programs.push_back({ QStringLiteral("K732-118, default label file"),
                         stageProgram(appExe, defaultDir),
                         {},
                         {},
                         1,
                         {},
                         {} });
    // The first start writes the default file; every measured run then finds it.
    runOnce(programs.back());
    if (!QFile::exists(defaultDir + QLatin1Char('/') + QLatin1String(labelFileName)))
        fail(QStringLiteral("the program wrote no default label file"));
    programs.back().wallMs.clear();
    programs.back().peakMiB.clear();

    const QString firstDir = work + QStringLiteral("/first-start");
    programs.push_back({ QStringLiteral("K732-118, first start (writes the file)"),
                         stageProgram(appExe, firstDir),
                         {},
                         firstDir + QLatin1Char('/') + QLatin1String(labelFileName),
                         1,
                         {},
                         {} });

    for (int sets : { 100, 1000, 10000 }) {
        const QString dir = work + QStringLiteral("/sets-%1").arg(sets);
        const QString exe = stageProgram(appExe, dir);
        double wallMs = 0;
        double peakMiB = 0;
        if (!spawnAndWait(QCoreApplication::applicationFilePath(),
                          { QStringLiteral("--write-labels"),
                            dir + QLatin1Char('/') + QLatin1String(labelFileName),
                            QString::number(sets) },
                          &wallMs, &peakMiB))
            fail(QStringLiteral("cannot write the label file of %1 sets").arg(sets));
        programs.push_back(
                { QStringLiteral("K732-118, %1 sets").arg(sets), exe, {}, {}, sets, {}, {} });
    }

    {
        // The whole RP2040 description imported, as a user who wants every register would.
        const QString dir = work + QStringLiteral("/rp2040");
        const QString exe = stageProgram(appExe, dir);
        const QString file = dir + QLatin1Char('/') + QLatin1String(labelFileName);
        double wallMs = 0;
        double peakMiB = 0;
        if (!spawnAndWait(
                    QCoreApplication::applicationFilePath(),
                    { QStringLiteral("--write-svd-labels"), file, QStringLiteral(RP2040_SVD) },
                    &wallMs, &peakMiB))
            fail(QStringLiteral("cannot import %1").arg(QStringLiteral(RP2040_SVD)));
        QFile count(file + QStringLiteral(".sets"));
        const int sets = count.open(QIODevice::ReadOnly) ? count.readAll().toInt() : 0;
        programs.push_back({ QStringLiteral("K732-118, RP2040 import (%1 sets)").arg(sets),
                             exe,
                             {},
                             {},
                             sets,
                             {},
                             {} });
    }

    // In turn, with the order rotated each round, so that a slow spell of the machine falls on
    // every program alike.
    for (int round = 0; round < warmUpRounds + rounds; ++round) {
        for (size_t i = 0; i < programs.size(); ++i)
            runOnce(programs[(i + size_t(round)) % programs.size()]);
        if (round + 1 == warmUpRounds) {
            for (Program &program : programs) {
                program.wallMs.clear();
                program.peakMiB.clear();
            }
        }
    }

    // The median says what a start usually costs; the fastest run is what is left when the machine
    // has nothing else to do, and is the steadier of the two on a busy machine.
    const Program &form = programs[1];
    const Program &withDefault = programs[2];
    const double formWall = median(form.wallMs);
    const double formFastest = fastest(form.wallMs);
    const double formPeak = median(form.peakMiB);
    std::printf("Start-up, %d runs of each program in turn (QT_QPA_PLATFORM=offscreen)\n\n",
                rounds);
    std::printf("| program | wall ms, median | × form | wall ms, fastest | × form | peak MiB | "
                "× form |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
    for (const Program &program : programs) {
        const double wall = median(program.wallMs);
        const double quickest = fastest(program.wallMs);
        const double peak = median(program.peakMiB);
        std::printf("| %s | %.1f | %.3f | %.1f | %.3f | %.1f | %.3f |\n", qPrintable(program.name),
                    wall, wall / formWall, quickest, quickest / formFastest, peak, peak / formPeak);
    }

    std::printf("\nLarge label files against the default file (generated: 32 labels a set; "
                "RP2040: 1 to 32)\n\n");
    std::printf("| label file | added ms, median | per set µs | added ms, fastest | per set µs | "
                "added MiB |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    for (const Program &program : programs) {
        if (program.labelSets < 100)
            continue;
        const double added = median(program.wallMs) - median(withDefault.wallMs);
        const double addedFastest = fastest(program.wallMs) - fastest(withDefault.wallMs);
        const QString file = program.name.mid(program.name.indexOf(QLatin1String(", ")) + 2);
        std::printf("| %s | %.1f | %.1f | %.1f | %.1f | %.1f |\n", qPrintable(file), added,
                    added * 1000.0 / program.labelSets, addedFastest,
                    addedFastest * 1000.0 / program.labelSets,
                    median(program.peakMiB) - median(withDefault.peakMiB));
    }
    return 0;
}
