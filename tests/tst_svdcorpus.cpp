// SPDX-License-Identifier: MIT
// Every register of every real description the project holds (tests/corpus/ and examples/svd/):
// found at its address, its reset value composed back from its fields, and a dump of it decoded
// as reg decodes its value.
#include "labeltool.h"
#include "svdlookup.h" // the address index that find ADDRESS and dump look addresses up in
#include "svdmodel.h"
#include "svdregisters.h" // what reg prints and composes

#include <QDir>
#include <QHash>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Where a file's fields contradict its reset value, "FILE REGISTER" and why: data, not a fault of
// the composing. None so far.
const QHash<QString, QString> &resetExceptions()
{
    static const QHash<QString, QString> exceptions;
    return exceptions;
}

// The byte the generated dump holds at an address: the same for every register that takes it in.
quint8 dumpByte(quint64 address)
{
    quint64 mixed = address * 0x9E3779B97F4A7C15U;
    mixed ^= mixed >> 29;
    mixed *= 0xBF58476D1CE4E5B9U;
    return quint8(mixed >> 56);
}

// A register's value as the generated dump gives it: its bytes, least significant first.
quint64 dumpValue(const SvdRegister &reg)
{
    quint64 value = 0;
    const int bytes = (reg.size + 7) / 8;
    for (int k = 0; k < bytes; ++k)
        value |= quint64(dumpByte(reg.address + quint64(k))) << (8 * k);
    return value & reg.valueMask();
}

// What GDB's x/Nxw prints for the 32-bit words that hold every byte of every register: four
// words a line, a line for each run of consecutive words.
QByteArray gdbDump(const SvdRegisters &registers)
{
    std::vector<quint64> words;
    for (const SvdRegister &reg : registers.registers) {
        const quint64 last = reg.address + quint64((reg.size + 7) / 8 - 1);
        for (quint64 word = reg.address & ~quint64(3); word <= last; word += 4)
            words.push_back(word);
    }
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    QByteArray text = "(gdb) x/" + QByteArray::number(qulonglong(words.size())) + "xw\n";
    for (std::size_t k = 0; k < words.size(); ++k) {
        const bool lineStarts = k % 4 == 0 || words[k] != words[k - 1] + 4;
        if (lineStarts)
            text += (k > 0 ? "\n0x" : "0x")
                    + QByteArray::number(qulonglong(words[k]), 16).rightJustified(8, '0') + ':';
        quint32 word = 0;
        for (int b = 0; b < 4; ++b)
            word |= quint32(dumpByte(words[k] + quint64(b))) << (8 * b);
        text += "\t0x" + QByteArray::number(word, 16).rightJustified(8, '0');
    }
    return text + '\n';
}

// Runs a command of the tool in this process, its standard output and error into files: its exit
// status, or -1 when they could not be opened.
int runCaptured(int (*command)(const QStringList &), const QStringList &arguments,
                const QString &out, const QString &err)
{
    const int outFile =
            ::open(QFile::encodeName(out).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errFile =
            ::open(QFile::encodeName(err).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int status = -1;
    if (outFile >= 0 && errFile >= 0) {
        std::fflush(stdout);
        std::fflush(stderr);
        const int savedOut = ::dup(STDOUT_FILENO);
        const int savedErr = ::dup(STDERR_FILENO);
        ::dup2(outFile, STDOUT_FILENO);
        ::dup2(errFile, STDERR_FILENO);
        status = command(arguments);
        std::fflush(stdout);
        std::fflush(stderr);
        ::dup2(savedOut, STDOUT_FILENO);
        ::dup2(savedErr, STDERR_FILENO);
        ::close(savedOut);
        ::close(savedErr);
    }
    for (const int fd : { outFile, errFile }) {
        if (fd >= 0)
            ::close(fd);
    }
    return status;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_SvdCorpus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void addressLookup_data() { files(); }
    void addressLookup();
    void resetComposes_data() { files(); }
    void resetComposes();
    void dumpAgreesWithReg_data() { files(); }
    void dumpAgreesWithReg();

private:
    void files();
    // The registers of the row's description; false after failing the test.
    bool load(SvdRegisters *registers);

    QStringList paths;
};

void tst_SvdCorpus::initTestCase()
{
    const QDir corpus(QStringLiteral(CORPUS_DIR));
    for (const QString &name : corpus.entryList({ QStringLiteral("*.svd") }, QDir::Files))
        paths.append(corpus.filePath(name));
    for (const char *name : { "rp2040.svd", "e310x.svd" })
        paths.append(QDir(QStringLiteral(EXAMPLE_SVD_DIR)).filePath(QLatin1String(name)));
    // The 17 of tests/corpus/svd-corpus.tar.xz, unpacked by the build, and the two examples.
    QCOMPARE(paths.size(), 19);
}

void tst_SvdCorpus::files()
{
    QTest::addColumn<QString>("path");
    for (const QString &path : std::as_const(paths))
        QTest::newRow(qPrintable(QFileInfo(path).fileName())) << path;
}

bool tst_SvdCorpus::load(SvdRegisters *registers)
{
    QFETCH(QString, path);
    QFile file(path);
    [&] { QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path)); }();
    *registers = readSvdRegisters(file.readAll());
    [&] {
        QVERIFY2(registers->error.isEmpty(),
                 qPrintable(QStringLiteral("%1:%2: %3")
                                    .arg(path)
                                    .arg(registers->line)
                                    .arg(registers->error)));
        QVERIFY(!registers->registers.isEmpty());
    }();
    return !QTest::currentTestFailed();
}

// The address index that find ADDRESS and dump use gives every register at its address, aliases
// and alternate registers with it, in file order; and each of its bytes is found holding it.
void tst_SvdCorpus::addressLookup()
{
    SvdRegisters registers;
    if (!load(&registers))
        return;
    std::map<quint64, QList<const SvdRegister *>> byAddress;
    for (const SvdRegister &reg : std::as_const(registers.registers))
        byAddress[reg.address].append(&reg);
    const SvdAddressIndex index(registers);
    for (const auto &[address, expected] : byAddress) {
        const QList<const SvdRegister *> found = index.at(address);
        QVERIFY2(found == expected,
                 qPrintable(QStringLiteral("%1 at %2: %3 of %4 found")
                                    .arg(expected.constFirst()->name, hexDigits(address, 32))
                                    .arg(found.size())
                                    .arg(expected.size())));
    }
    QCOMPARE(qsizetype(index.inAddressOrder().size()), registers.registers.size());
    for (const SvdRegister &reg : std::as_const(registers.registers)) {
        for (int k = 0; k < (reg.size + 7) / 8; ++k) {
            const QList<const SvdRegister *> holding = index.holding(reg.address + quint64(k));
            QVERIFY2(holding.contains(&reg),
                     qPrintable(QStringLiteral("%1: byte %2 not found").arg(reg.name).arg(k)));
        }
    }
}

// reg REGISTER FIELD=VALUE... given each field's value at reset, as a user would give it (the
// enumerated name where one names it, else the number), composes the reset value. It starts from
// the reset value's complement, so that a bit no assignment sets shows. Compared: the bits the
// reset mask defines that a writable field covers. Fields that overlap are each given their bits
// of the same reset value, so the order of the assignments does not matter; read-only fields
// cannot be composed (reg refuses them), and bits no field covers have nothing to compose them.
void tst_SvdCorpus::resetComposes()
{
    QFETCH(QString, path);
    SvdRegisters registers;
    if (!load(&registers))
        return;
    QStringList mismatches;
    qsizetype composed = 0;
    for (const SvdRegister &reg : std::as_const(registers.registers)) {
        QStringList assignments;
        quint64 covered = 0;
        for (const SvdField &field : fieldsOf(reg)) {
            if (field.access == QLatin1String("read-only"))
                continue;
            covered |= field.mask();
            const quint64 value = field.valueIn(reg.resetValue);
            // The container reg takes a name from: the one for writing, else the first.
            const SvdEnumeration *enumeration = field.enumeration(true);
            if (!enumeration && !field.enumerations.isEmpty())
                enumeration = &field.enumerations.constFirst();
            const SvdEnumeratedValue *named = enumeration ? enumeration->match(value) : nullptr;
            const quint64 all = field.mask() >> field.lsb;
            QString given = hexDigits(value, field.width);
            quint64 number = 0;
            if (named && !named->isDefault && (named->care & all) == all)
                given = parseNumber(named->name, &number) ? QLatin1String("name:") + named->name
                                                          : named->name;
            assignments.append(field.name + u'=' + given);
        }
        if (assignments.isEmpty())
            continue;
        quint64 value = 0;
        QString error;
        const quint64 compared = covered & reg.resetMask & reg.valueMask();
        const QString key = QFileInfo(path).fileName() + u' ' + reg.name;
        if (!composedValue(reg, ~reg.resetValue & reg.valueMask(), assignments, &value, &error))
            mismatches.append(QStringLiteral("%1: %2").arg(key, error));
        else if ((value ^ reg.resetValue) & compared && !resetExceptions().contains(key))
            mismatches.append(QStringLiteral("%1: %2 composed, reset %3 under %4 (%5)")
                                      .arg(key, hexDigits(value, reg.size),
                                           hexDigits(reg.resetValue, reg.size),
                                           hexDigits(compared, reg.size), assignments.join(u' ')));
        ++composed;
    }
    QVERIFY(composed > 0);
    QVERIFY2(mismatches.isEmpty(),
             qPrintable(QStringLiteral("%1 of %2 registers:\n").arg(mismatches.size()).arg(composed)
                        + mismatches.mid(0, 20).join(u'\n')));
}

// dump of a GDB dump covering every register prints each register exactly as reg prints its
// value: the same header and field rows, in address order. Rows of bytes that no register takes
// are dump's alone and left out of the comparison.
void tst_SvdCorpus::dumpAgreesWithReg()
{
    QFETCH(QString, path);
    SvdRegisters registers;
    if (!load(&registers))
        return;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString dumpPath = dir.filePath(QStringLiteral("dump.txt"));
    {
        QFile dump(dumpPath);
        QVERIFY(dump.open(QIODevice::WriteOnly));
        QVERIFY(dump.write(gdbDump(registers)) > 0);
    }
    const QString out = dir.filePath(QStringLiteral("out"));
    const QString err = dir.filePath(QStringLiteral("err"));
    const int status = runCaptured(runDump, { QStringLiteral("dump"), path, dumpPath }, out, err);
    QVERIFY2(status == ExitClean, contents(err).left(2000).constData());

    QStringList printed = QString::fromUtf8(contents(out)).split(u'\n');
    printed.removeIf([](const QString &line) { return line.startsWith(u"(no register)\t"); });
    QString expected;
    const SvdAddressIndex index(registers);
    for (const SvdRegister *reg : index.inAddressOrder())
        expected += decodedRegister(*reg, dumpValue(*reg), false, false);
    const QStringList wanted = expected.split(u'\n');
    for (qsizetype k = 0; k < std::min(printed.size(), wanted.size()); ++k) {
        if (printed.at(k) != wanted.at(k))
            QFAIL(qPrintable(QStringLiteral("line %1 of %2:\n dump: %3\n  reg: %4")
                                     .arg(k + 1)
                                     .arg(wanted.size())
                                     .arg(printed.at(k), wanted.at(k))));
    }
    QCOMPARE(printed.size(), wanted.size());
}

QTEST_GUILESS_MAIN(tst_SvdCorpus)
#include "tst_svdcorpus.moc"
