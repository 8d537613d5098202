// SPDX-License-Identifier: MIT
// The label tool's commands that read a register description, on every description given, each a
// whole process against a floor run in turn with it: processor time (user and system) and peak
// memory of each process.
//   reg SVD REGISTER 0              against a bare XML reader pass over SVD (the last register
//                                   that find '*' lists)
//   find SVD NAME                   the same floor (NAME: that register's own name, without an
//                                   array's index)
//   import-svd SVD --output NEW     the same floor (NEW removed before every run)
//   dump SVD DUMP                   against the XML pass over SVD and a bare read of DUMP's lines
//                                   in one process; DUMP a GDB x/4xw dump of at least 65,536
//                                   words that covers every register of SVD
//
//   bench_svdcommands ROUNDS SVD...
#include "processrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int dumpWords = 65536;
constexpr int wordsPerLine = 4;

struct Register
{
    quint64 address = 0;
    int bytes = 0;
};

// What find '*' lists of a description: its registers, and the name of the last one.
struct Listing
{
    std::vector<Register> registers;
    QString lastName;
};

Listing listRegisters(const QString &tool, const QString &svd, const QString &listPath)
{
    QProcess find;
    find.setStandardOutputFile(listPath);
    find.setStandardErrorFile(QProcess::nullDevice());
    find.start(tool, { QStringLiteral("find"), svd, QStringLiteral("*") });
    if (!find.waitForFinished(120000) || find.exitStatus() != QProcess::NormalExit
        || find.exitCode() != 0)
        bench::fail(QStringLiteral("find %1 '*' failed").arg(svd));
    QFile list(listPath);
    if (!list.open(QIODevice::ReadOnly))
        bench::fail(QStringLiteral("cannot read %1").arg(listPath));
    Listing listing;
    // "0x40014000<TAB>IO_BANK0.GPIO0_STATUS<TAB>32 bits"; a field's third column is "[n:m]".
    while (!list.atEnd()) {
        const QByteArray line = list.readLine().trimmed();
        const QList<QByteArray> columns = line.split('\t');
        if (columns.size() != 3 || !columns.at(2).endsWith(" bits"))
            continue;
        bool addressRead = false;
        bool sizeRead = false;
        const quint64 address = columns.at(0).toULongLong(&addressRead, 16);
        const int bits = columns.at(2).chopped(5).toInt(&sizeRead);
        if (!addressRead || !sizeRead || bits <= 0)
            bench::fail(QStringLiteral("%1: cannot read \"%2\"")
                                .arg(listPath, QString::fromUtf8(line)));
        listing.registers.push_back({ address, (bits + 7) / 8 });
        listing.lastName = QString::fromUtf8(columns.at(1));
    }
    if (listing.registers.empty())
        bench::fail(QStringLiteral("find %1 '*' lists no register").arg(svd));
    return listing;
}

// GDB's x/4xw lines over every line of 16 bytes that holds a byte of a register, then further
// lines after the last one up to dumpWords words; the words are a fixed pseudo-random sequence.
// Returns the words written.
qint64 writeDump(const std::vector<Register> &registers, const QString &path)
{
    constexpr quint64 lineBytes = quint64(wordsPerLine) * 4;
    std::vector<quint64> lines;
    for (const Register &reg : registers) {
        const quint64 last = reg.address + quint64(reg.bytes) - 1;
        for (quint64 line = reg.address / lineBytes; line <= last / lineBytes; ++line)
            lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    for (quint64 next = lines.back() + 1; lines.size() * wordsPerLine < size_t(dumpWords); ++next)
        lines.push_back(next);

    QFile dump(path);
    if (!dump.open(QIODevice::WriteOnly))
        bench::fail(QStringLiteral("cannot write %1").arg(path));
    quint32 state = 2463534242U;
    QByteArray text;
    for (const quint64 line : lines) {
        text += QByteArray("0x") + QByteArray::number(line * lineBytes, 16).rightJustified(8, '0')
                + ':';
        for (int word = 0; word < wordsPerLine; ++word) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            text += "\t0x" + QByteArray::number(state, 16).rightJustified(8, '0');
        }
        text += '\n';
    }
    if (dump.write(text) != text.size())
        bench::fail(QStringLiteral("cannot write %1").arg(path));
    return qint64(lines.size()) * wordsPerLine;
}

struct Row
{
    QString file;
    qint64 kib = 0;
    bench::Run *floor = nullptr;
    bench::Run command;
};

struct Table
{
    const char *title;
    const char *floorName;
    std::vector<Row> rows;
};

void printTable(const Table &table)
{
    std::printf("\n%s\n\n", table.title);
    std::printf("| file | KiB | %s ms | command ms | ratio | command MiB |\n", table.floorName);
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    std::vector<double> ratios;
    const Row *worst = nullptr;
    double worstRatio = 0;
    for (const Row &row : table.rows) {
        const double floorMs = bench::median(row.floor->cpuMs);
        const double commandMs = bench::median(row.command.cpuMs);
        const double ratio = commandMs / floorMs;
        ratios.push_back(ratio);
        if (!worst || ratio > worstRatio) {
            worst = &row;
            worstRatio = ratio;
        }
        std::printf("| %s | %lld | %.1f | %.1f | %.2f | %.1f |\n", qPrintable(row.file),
                    static_cast<long long>(row.kib), floorMs, commandMs, ratio,
                    bench::median(row.command.peakMiB));
    }
    if (worst)
        std::printf("\nWorst: %s, %.2f ×; median of %zu files: %.2f ×\n", qPrintable(worst->file),
                    worstRatio, ratios.size(), bench::median(ratios));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ROUNDS SVD...\n", argv[0]);
        return 2;
    }
    const int rounds = std::max(1, std::atoi(argv[1]));
    const int warmUpRounds = 2;

    const QString binDir = QCoreApplication::applicationDirPath();
    const QString tool = bench::programPath(
            "BENCH_LABELS_TOOL", QDir::cleanPath(binDir + QStringLiteral("/../K732-118-labels")));
    const QString xmlPass = binDir + QStringLiteral("/bench_xmlpass");
    const QString work = binDir + QStringLiteral("/svdcommands-work");
    QDir(work).removeRecursively();
    QDir().mkpath(work);

    Table reg { "reg SVD REGISTER 0 (the last register find '*' lists), against a bare XML "
                "reader pass over SVD (goal: at most 1.25 ×)",
                "XML pass",
                {} };
    Table find { "find SVD NAME (that register's own name, without an array's index), against the "
                 "same pass (goal: at most 2 ×)",
                 "XML pass",
                 {} };
    Table import { "import-svd SVD --output NEW, against the same pass (goal: at most 2 ×)",
                   "XML pass",
                   {} };
    Table dump { "dump SVD DUMP (GDB x/4xw, at least 65,536 words, every register covered), "
                 "against the XML pass and a bare read of DUMP's lines in one process (goal: at "
                 "most 2 ×)",
                 "XML pass + lines",
                 {} };
    const int files = argc - 2;
    // Stable addresses: the rows keep pointers to these.
    std::vector<bench::Run> floors(size_t(files) * 2);
    for (int i = 0; i < files; ++i) {
        const QString svd = QString::fromLocal8Bit(argv[i + 2]);
        const QFileInfo info(svd);
        const QString name = info.fileName();
        const qint64 kib = info.size() / 1024;
        const QString base = work + QStringLiteral("/%1-").arg(i);
        const Listing listing = listRegisters(tool, svd, base + QStringLiteral("find.txt"));
        const QString dumpPath = base + QStringLiteral("dump.txt");
        const qint64 words = writeDump(listing.registers, dumpPath);
        // A plain word: an array's "[7]" would make it a wildcard.
        QString shortName = listing.lastName.section(QLatin1Char('.'), -1);
        if (const qsizetype index = shortName.indexOf(QLatin1Char('[')); index > 0)
            shortName.truncate(index);
        const QString output = base + QStringLiteral("import.ini");

        bench::Run &pass = floors[size_t(i) * 2];
        pass = { QStringLiteral("XML pass"), xmlPass, { svd }, {}, {}, {} };
        bench::Run &passAndLines = floors[size_t(i) * 2 + 1];
        passAndLines = { QStringLiteral("XML pass + lines"),
                         xmlPass,
                         { svd, QStringLiteral("--lines"), dumpPath },
                         {},
                         {},
                         {} };
        reg.rows.push_back(
                { name + QStringLiteral(", ") + listing.lastName,
                  kib,
                  &pass,
                  { QStringLiteral("reg"),
                    tool,
                    { QStringLiteral("reg"), svd, listing.lastName, QStringLiteral("0") },
                    {},
                    {},
                    {} } });
        find.rows.push_back({ name + QStringLiteral(", ") + shortName,
                              kib,
                              &pass,
                              { QStringLiteral("find"),
                                tool,
                                { QStringLiteral("find"), svd, shortName },
                                {},
                                {},
                                {} } });
        import.rows.push_back(
                { name, kib, &pass, {
                     QStringLiteral("import-svd"),
                     tool,
                     { QStringLiteral("import-svd"), svd, QStringLiteral("--output"), output },
                     output,
                     {},
                     {}
                 } });
        dump.rows.push_back({ name
                                      + QStringLiteral(", %1 registers, %2 words")
                                                .arg(listing.registers.size())
                                                .arg(words),
                              kib,
                              &passAndLines,
                              { QStringLiteral("dump"),
                                tool,
                                { QStringLiteral("dump"), svd, dumpPath },
                                {},
                                {},
                                {} } });
    }

    std::vector<bench::Run *> runs;
    runs.reserve(floors.size() * 3);
    for (bench::Run &floor : floors)
        runs.push_back(&floor);
    for (Table *table : { &reg, &find, &import, &dump }) {
        for (Row &row : table->rows)
            runs.push_back(&row.command);
    }
    bench::runInTurns(runs, rounds, warmUpRounds);

    std::printf("The label tool on every description, processor time (user + system) of whole "
                "processes, median of %d runs of each in turn\n",
                rounds);
    for (const Table *table : { &reg, &find, &import, &dump })
        printTable(*table);
    return 0;
}
