// SPDX-License-Identifier: MIT
// The label tool as a user runs it: arguments, output, exit status, and the files it writes.
#include "childrun.h"
#include "labelfile.h"
#include "labelwindow.h"
#include "settingsreference.h"
#include "svdlabels.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <functional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/mount.h>
#endif

namespace {

const QByteArray smallSvd = R"(<?xml version="1.0" encoding="utf-8"?>
<device><name>T</name><peripherals>
  <peripheral><name>GPIOA</name><registers>
    <register><name>ODR</name><fields>
      <field><name>OD0</name><bitOffset>0</bitOffset><bitWidth>1</bitWidth></field>
      <field><name>MODE</name><bitOffset>2</bitOffset><bitWidth>2</bitWidth></field>
    </fields></register>
  </registers></peripheral>
  <peripheral><name>UART</name><registers>
    <register><name>CR</name><fields>
      <field><name>EN</name><bitRange>[0:0]</bitRange></field>
    </fields></register>
  </registers></peripheral>
</peripherals></device>
)";

// Register values: read and write enumerated values, isDefault, don't-care bits, derived
// enumerated values, inherited size, access and reset, 8-, 16- and 64-bit registers, clusters and
// arrays, a derived peripheral.
const QByteArray valuesSvd = R"(<?xml version="1.0" encoding="utf-8"?>
<device><name>V</name><size>16</size><access>read-only</access><resetValue>0x5</resetValue>
<resetMask>0xFFFF</resetMask><peripherals>
  <peripheral><name>P</name><baseAddress>0x40000000</baseAddress><size>32</size>
  <access>read-write</access><resetValue>0</resetValue><registers>
    <register><name>CTRL</name><addressOffset>0x10</addressOffset><resetValue>0x21</resetValue>
    <fields>
      <field><name>MODE</name><bitRange>[1:0]</bitRange>
        <enumeratedValues><name>ModeRead</name><usage>read</usage>
          <enumeratedValue><name>IDLE</name><value>0</value></enumeratedValue>
          <enumeratedValue><name>BUSY</name><value>#1x</value></enumeratedValue>
        </enumeratedValues>
        <enumeratedValues><name>ModeWrite</name><usage>write</usage>
          <enumeratedValue><name>STOP</name><value>0</value></enumeratedValue>
          <enumeratedValue><name>START</name><value>1</value></enumeratedValue>
          <enumeratedValue><name>OTHER</name><isDefault>true</isDefault></enumeratedValue>
        </enumeratedValues></field>
      <field><name>PRESC</name><bitOffset>4</bitOffset><bitWidth>4</bitWidth>
        <enumeratedValues><name>Div</name>
          <enumeratedValue><name>DIV1</name><value>0</value></enumeratedValue>
          <enumeratedValue><name>DIV2</name><value>0b0x01</value></enumeratedValue>
          <enumeratedValue><name>SLOW</name><isDefault>true</isDefault></enumeratedValue>
        </enumeratedValues></field>
      <field><name>FLAG</name><bitOffset>8</bitOffset><access>read-only</access>
        <readAction>clear</readAction></field>
      <field><name>DONE</name><bitOffset>9</bitOffset>
        <modifiedWriteValues>oneToClear</modifiedWriteValues></field>
      <field derivedFrom="PRESC"><name>PRESC2</name><bitOffset>12</bitOffset><bitWidth>4</bitWidth>
      </field>
    </fields></register>
    <register><name>ALT</name><addressOffset>0x14</addressOffset><fields>
      <field><name>SPEED</name><bitRange>[3:0]</bitRange>
        <enumeratedValues derivedFrom="CTRL.PRESC.Div"></enumeratedValues></field>
      <field><name>KIND</name><bitRange>[5:4]</bitRange>
        <enumeratedValues derivedFrom="ModeWrite"></enumeratedValues></field>
    </fields></register>
    <cluster><name>CH[%s]</name><dim>2</dim><dimIncrement>0x20</dimIncrement>
      <addressOffset>0x100</addressOffset>
      <register><name>CFG%s</name><dim>2</dim><dimIncrement>4</dimIncrement>
        <dimIndex>A,B</dimIndex><addressOffset>0x8</addressOffset>
        <fields><field><name>ON</name><bitOffset>0</bitOffset></field></fields></register>
    </cluster>
    <register><name>WIDE</name><addressOffset>0x200</addressOffset><size>64</size>
      <resetValue>0x8000000000000000</resetValue><resetMask>0xFFFFFFFFFFFFFFFF</resetMask><fields>
      <field><name>HI</name><bitRange>[63:60]</bitRange></field>
      <field><name>LO</name><bitRange>[31:0]</bitRange></field></fields></register>
    <register><name>BYTE</name><addressOffset>0x208</addressOffset><size>8</size><fields>
      <field><name>B</name><bitRange>[7:4]</bitRange></field></fields></register>
  </registers></peripheral>
  <peripheral><name>Q</name><baseAddress>0x50000000</baseAddress><registers>
    <register><name>HALF</name><addressOffset>2</addressOffset><fields>
      <field><name>N</name><bitRange>[15:8]</bitRange></field>
      <field><name>M</name><bitRange>[2:0]</bitRange></field></fields></register>
  </registers></peripheral>
  <peripheral derivedFrom="P"><name>P2</name><baseAddress>0x40001000</baseAddress></peripheral>
</peripherals></device>
)";

// A register for each way import-svd skips one, two at one address (an alternate register).
const QByteArray skipsSvd = R"(<device><name>S</name><peripherals>
  <peripheral><name>A</name><baseAddress>0x20000000</baseAddress><registers>
    <register><name>R1</name><addressOffset>0</addressOffset><fields>
      <field><name>ON</name><bitOffset>0</bitOffset></field></fields></register>
    <register><name>R2</name><addressOffset>4</addressOffset></register>
    <register><name>R3</name><addressOffset>8</addressOffset><size>64</size><fields>
      <field><name>HI</name><bitOffset>40</bitOffset></field></fields></register>
    <register><name>r1</name><addressOffset>0x10</addressOffset><fields>
      <field><name>OFF</name><bitOffset>0</bitOffset></field></fields></register>
    <register><name>ALT</name><addressOffset>4</addressOffset>
      <alternateRegister>R2</alternateRegister><fields>
      <field><name>X</name><bitOffset>1</bitOffset></field></fields></register>
  </registers></peripheral>
</peripherals></device>
)";

// Registers skipped whose names hold ':', "": "" and a character beyond ASCII: each counted by its
// reason all the same.
const QByteArray oddSkipsSvd = R"(<device><name>O</name><peripherals>
  <peripheral><name>A</name><baseAddress>0x20000000</baseAddress><registers>
    <register><name>X:1</name><addressOffset>0</addressOffset></register>
    <register><name>Ü:2</name><addressOffset>4</addressOffset></register>
    <register><name>Y: z</name><addressOffset>8</addressOffset></register>
    <register><name>R</name><addressOffset>12</addressOffset><fields>
      <field><name>ON</name><bitOffset>0</bitOffset></field></fields></register>
  </registers></peripheral>
</peripherals></device>
)";

// Enumerated values that do not fit their field, names that begin with a digit or are numbers, a
// container derived by a qualified name, a reserved field, a scaled and an unreadable address,
// a field array that does not step, and fields reaching past their register's size.
const QByteArray edgeSvd = R"(<device><name>E</name><peripherals>
<peripheral><name>E</name><baseAddress>0x40000000</baseAddress><registers>
<register><name>R</name><addressOffset>1k</addressOffset><fields>
<field><name>F</name><bitRange>[3:0]</bitRange><enumeratedValues>
<enumeratedValue><name>SMALL</name><value>3</value></enumeratedValue>
<enumeratedValue><name>BIG</name><value>0x1F</value></enumeratedValue></enumeratedValues></field>
<field><name>DRIVE</name><bitRange>[5:4]</bitRange><enumeratedValues>
<enumeratedValue><name>2mA</name><value>0</value></enumeratedValue>
<enumeratedValue><name>4mA</name><value>1</value></enumeratedValue></enumeratedValues></field>
<field><name>SAMPLES</name><bitRange>[8:6]</bitRange><enumeratedValues><name>COUNT</name>
<enumeratedValue><name>1</name><value>0</value></enumeratedValue>
<enumeratedValue><name>2</name><value>1</value></enumeratedValue>
<enumeratedValue><name>4</name><value>2</value></enumeratedValue></enumeratedValues></field>
<field><name>COPY</name><bitRange>[11:9]</bitRange><enumeratedValues derivedFrom="SAMPLES.COUNT"/>
</field>
<field><name>Reserved</name><bitRange>[15:12]</bitRange></field>
<field><name>REP%s</name><dim>900000</dim><dimIncrement>0</dimIncrement><bitRange>[16:16]</bitRange>
</field>
</fields></register>
<register><name>BAD</name><addressOffset>zz</addressOffset><fields><field><name>X</name>
<bitOffset>0</bitOffset></field></fields></register>
<register><name>NARROW</name><addressOffset>0x500</addressOffset><size>8</size><fields>
<field><name>CUT</name><bitRange>[11:4]</bitRange></field>
<field><name>PAST</name><bitOffset>8</bitOffset></field></fields></register>
</registers></peripheral></peripherals></device>
)";

// A register whose name holds a quote, a tab, a C1 control, a line separator and characters
// beyond the BMP, and fields of wide, combining and control characters and a backslash: what
// JSON must escape and a terminal must be spared.
const QByteArray oddSvd = R"(<device><name>J</name><peripherals>
<peripheral><name>J</name><baseAddress>0x40000000</baseAddress><registers>
<register><name>Q"B&#9;C&#x85;&#x2028;é😀</name><addressOffset>0</addressOffset><fields>
<field><name>温度</name><bitRange>[3:0]</bitRange></field>
<field><name>e&#x301;</name><bitRange>[4:4]</bitRange></field>
<field><name>X\&#x9b;2J</name><bitRange>[5:5]</bitRange></field>
</fields></register>
</registers></peripheral>
<peripheral><name>L</name><baseAddress>0x50000000</baseAddress><registers>
<register>
<name>LONGXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX</name>
<fields><field><name>F</name><bitRange>[0:0]</bitRange></field></fields></register>
</registers></peripheral></peripherals></device>
)";
const QString oddName = QStringLiteral("J.Q\"B\tC\u0085\u2028é😀");

struct Run
{
    int exitCode = -1; // minus the signal that ended the tool
    QByteArray out;
    QByteArray err;
};

// How the tool is started, beyond its arguments.
struct Child
{
    QStringList prefix; // a command that runs the tool (one that drops root's rights, say)
    QString tool; // empty: the copy in the scratch directory
    QString in, out, err; // files for the standard streams; empty: pipes
    QString directory; // the working directory; empty: the test's
    std::function<void()> modifier; // run in the child before the tool starts
};

// Every small file of the directory, by name: what a command must leave as it was.
QMap<QString, QByteArray> snapshot(const QString &dir)
{
    QMap<QString, QByteArray> files;
    const QFileInfoList entries =
            QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        QFile file(entry.filePath());
        files.insert(entry.fileName(),
                     entry.isFile() && entry.size() < qint64(1024) * 1024
                                     && file.open(QIODevice::ReadOnly)
                             ? file.readAll()
                             : QByteArray());
    }
    return files;
}

QByteArray fromFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool toFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// "N\tUnused" and the tail for each bit from first to 31.
QByteArray unusedLines(int first, const QByteArray &tail)
{
    QByteArray lines;
    for (int bit = first; bit < 32; ++bit)
        lines += QByteArray::number(bit) + "\tUnused" + tail + '\n';
    return lines;
}

} // namespace

class tst_LabelTool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void commands_data();
    void commands();
    void importInto_data();
    void importInto();
    void realDescriptions_data();
    void realDescriptions();
    void helpText_data();
    void helpText();

private:
    // Runs the tool copied into the scratch directory (or the copy at tool), after the prefix (a
    // command that drops root's rights, say); "@name" arguments name files there.
    Run run(const QStringList &arguments, const Child &child = {}) const;
    QString path(const QString &name) const { return scratch.filePath(name); }

    QTemporaryDir scratch;
};

Run tst_LabelTool::run(const QStringList &arguments, const Child &child) const
{
    QStringList resolved;
    for (const QString &argument : arguments)
        resolved.append(argument.startsWith(u'@') ? path(argument.mid(1)) : argument);
    QProcess process;
    if (!child.in.isEmpty())
        process.setStandardInputFile(child.in);
    if (!child.out.isEmpty())
        process.setStandardOutputFile(child.out);
    if (!child.err.isEmpty())
        process.setStandardErrorFile(child.err);
    if (!child.directory.isEmpty())
        process.setWorkingDirectory(child.directory);
#ifdef Q_OS_UNIX
    if (child.modifier)
        process.setChildProcessModifier(child.modifier);
#endif
    QStringList command = child.prefix;
    command << (child.tool.isEmpty() ? path(QStringLiteral("K732-118-labels")) : child.tool)
            << resolved;
    process.start(command.takeFirst(), command);
    Run result;
    if (!process.waitForFinished(60000))
        return result;
    // A crash's exit code is the signal.
    result.exitCode =
            process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

void tst_LabelTool::initTestCase()
{
    QVERIFY(scratch.isValid());
    // Reachable by the unprivileged user too.
    QVERIFY(QFile::setPermissions(scratch.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                          | QFile::ReadOther | QFile::ExeOther));
    // A copy, so that the label file beside it (the default FILE) is this test's own.
    QVERIFY(QFile::copy(QStringLiteral(LABEL_TOOL), path(QStringLiteral("K732-118-labels"))));
    const QString example = QStringLiteral(EXAMPLE_DIR "/K732-118.ini");
    QVERIFY(QFile::copy(example, path(QStringLiteral("K732-118.ini"))));
    QVERIFY(QFile::copy(example, path(QStringLiteral("example.ini"))));
    QVERIFY(toFile(path(QStringLiteral("empty.ini")), QByteArray()));
    QVERIFY(toFile(path(QStringLiteral("nul.ini")), QByteArray("[bitlabels]\nA\\b=0\n;\0\n", 21)));
    QVERIFY(toFile(path(QStringLiteral("warn.ini")), "[bitlabels]\nA\\b=x\n"));
    // A section of a set left from an earlier edit, without the set's line under [bitlabels].
    QVERIFY(toFile(path(QStringLiteral("leftover.ini")),
                   "[bitlabels]\nMotor\\Run=0\n[bitlabels\\UART.CR]\nOLD=0\n"));
    QVERIFY(QDir(scratch.path()).mkdir(QStringLiteral("dir.ini")));
    QVERIFY(toFile(path(QStringLiteral("unreadable.ini")), "[bitlabels]\nA\\b=0\n"));
    QVERIFY(QFile::setPermissions(path(QStringLiteral("unreadable.ini")), {}));
    QFile big(path(QStringLiteral("big.ini"))); // sparse: costs no disk
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(maxLabelFileSize + 1));
    QVERIFY(toFile(path(QStringLiteral("lines.ini")), QByteArray(maxLabelFileLines + 1, '\n')));
    QByteArray manySets("[bitlabels]\n");
    for (qsizetype k = 0; k <= maxLabelSets; ++k)
        manySets += "S" + QByteArray::number(k) + "\\a=0\n";
    QVERIFY(toFile(path(QStringLiteral("sets.ini")), manySets));
    // Lists 40,000 deep in "@Variant", which overflowed the stack of the settings class.
    const QByteArray deep = variantValue(nestedLists(40000));
    QVERIFY(toFile(path(QStringLiteral("deep.ini")),
                   "[bitlabels]\nDeep\\A=0\nDeep\\B=" + deep + '\n'));
    QVERIFY(toFile(path(QStringLiteral("deepother.ini")), "[Other]\nx=" + deep + '\n'));
    QVERIFY(toFile(path(QStringLiteral("small.svd")), smallSvd));
    QVERIFY(toFile(path(QStringLiteral("values.svd")), valuesSvd));
    // A peripheral renamed between two lists of registers: reg, which reads in full only the
    // peripherals that can hold the register, must find what the whole read finds.
    QVERIFY(toFile(path(QStringLiteral("renamed.svd")),
                   "<device><peripherals><peripheral><name>P</name><baseAddress>0x40000000"
                   "</baseAddress><registers><register><name>CTRL</name><addressOffset>0"
                   "</addressOffset></register></registers><name>Q</name><registers><register>"
                   "<name>HALF</name><addressOffset>4</addressOffset></register></registers>"
                   "</peripheral></peripherals></device>"));
    QVERIFY(toFile(path(QStringLiteral("array.svd")),
                   "<device><peripherals><peripheral><name>TIM%s</name><dim>2</dim>"
                   "<dimIndex>1,2</dimIndex><dimIncrement>0x400</dimIncrement>"
                   "<baseAddress>0x40000000</baseAddress><registers><register><name>CR</name>"
                   "<addressOffset>4</addressOffset><fields><field><name>EN</name>"
                   "<bitOffset>0</bitOffset></field></fields></register></registers>"
                   "</peripheral></peripherals></device>"));
    QVERIFY(toFile(path(QStringLiteral("skips.svd")), skipsSvd));
    QVERIFY(toFile(path(QStringLiteral("oddskips.svd")), oddSkipsSvd));
    // Sets and labels that differ only in case.
    QVERIFY(toFile(path(QStringLiteral("case.ini")),
                   "[bitlabels]\nPump\\On=0\nPUMP\\On=0\nValve\\EN=0\nValve\\En=1\n"
                   "Valve\\Open=2\n"));
    QVERIFY(toFile(path(QStringLiteral("cut.svd")), smallSvd.left(200)));
    QVERIFY(toFile(path(QStringLiteral("edge.svd")), edgeSvd));
    QVERIFY(toFile(path(QStringLiteral("odd.svd")), oddSvd));
    // Rows are aligned only where a row says so.
    qunsetenv("MASKCALC_ALIGNED_OUTPUT");
    // An installed pack whose one device is described by the small description, for --device.
    QVERIFY(QDir(scratch.path()).mkpath(QStringLiteral("packs/Acme/Tiny_DFP/1.0.0/svd")));
    QVERIFY(toFile(path(QStringLiteral("packs/Acme/Tiny_DFP/1.0.0/svd/small.svd")), smallSvd));
    QVERIFY(toFile(path(QStringLiteral("packs/Acme/Tiny_DFP/1.0.0/Acme.Tiny_DFP.pdsc")),
                   "<package><devices><family Dfamily=\"T\" Dvendor=\"Acme:1\"><debug "
                   "svd=\"svd/small.svd\"/><device Dname=\"TINY1\"/></family></devices>"
                   "</package>"));
    qputenv("CMSIS_PACK_ROOT", QFile::encodeName(path(QStringLiteral("packs"))));
    // Dumps of values.svd's registers.
    QVERIFY(toFile(path(QStringLiteral("gdb.txt")),
                   "(gdb) x/4xw 0x40000010\n"
                   "0x40000010 <P+16>:\t0x000013b3\t0x00000025\t0x00000000\t0x00000000\n"
                   "0x40000200:\t0x00000001\t0xf0000000\n(gdb) x/2xb 0x40000208\n"
                   "0x40000208:\t0x21\t0x00\n0x50000002:\t0x05\n"));
    QVERIFY(toFile(path(QStringLiteral("openocd.txt")),
                   "0x40000010: 000013b1 00000025 \n0x40000108: 00000001 00000000 \n"
                   "0x50000002: 0005 \n"));
    QVERIFY(toFile(path(QStringLiteral("jlink.txt")),
                   "J-Link>mem32 40000010, 3\n40000010 = 00000021 00000010 00000000 \n"));
    QVERIFY(toFile(path(QStringLiteral("regmap.txt")), "010: 00000021\n014: XXXXXXXX\n208: 07\n"));
    QVERIFY(toFile(path(QStringLiteral("bytes.txt")), "0x40000200: 80 00 00 00 00 00 00 01\n"));
    QVERIFY(toFile(path(QStringLiteral("named.txt")),
                   "p.ctrl 0x21\nQ.HALF = 0x1205\nhello\nP.NOPE 1\n0x40000208 0x5\n"));
    QVERIFY(toFile(path(QStringLiteral("twice.txt")),
                   "0x40000010: 000013b1 \n0x40000014: 00 \n0x40000010: 00000021 \n"));
    // Rising addresses with gaps, one inside a register; and a halfword at the last addresses of
    // 64 bits, then its last byte again.
    QVERIFY(toFile(path(QStringLiteral("gaps.txt")),
                   "0x40000010:\t0xb3\t0x13\n0x40000013:\t0x00\n0x40000016:\t0x0000\t0x0001\n"
                   "0x40000208:\t0x21\n"));
    QVERIFY(toFile(path(QStringLiteral("last.txt")),
                   "0x40000208:\t0x07\n0xfffffffffffffffe:\t0x0001\n0xffffffffffffffff:\t0x02\n"
                   "0x40000209:\t0x00\n"));
    QVERIFY(toFile(path(QStringLiteral("odd.txt")), "0x40000000:\t0x0000007f\t0x00000000\n"));
    QVERIFY(toFile(path(QStringLiteral("wide.txt")), "0x40000010: 00000021 000000021 \n"));
    QVERIFY(toFile(path(QStringLiteral("toobig.txt")), "p.byte 0x100\n"));
    QVERIFY(toFile(path(QStringLiteral("named-small.txt")), "gpioa.odr 5\n"));
    QVERIFY(toFile(path(QStringLiteral("other.svd")), "<device><name>T</name></device>"));
    // Captions that would break a row: a tab in the set's name, a newline, a backslash, a CR.
    QVERIFY(toFile(path(QStringLiteral("ctrl.ini")),
                   "[bitlabels]\nT%09ab\\x%0Ay=0\nT%09ab\\back%5Cslash=1\nT%09ab\\cr%0D=2\n"));
#ifdef Q_OS_UNIX
    // Names in Latin-1, each beside the name it decodes to (U+FFFD for the byte 0xe9), the one
    // the tool must never use in its place.
    for (const char *pattern : { "a%1.ini", "c%1", "s%1.svd" }) {
        const QByteArray name(pattern);
        const QByteArray content =
                name.endsWith(".svd") ? smallSvd : fromFile(path(QStringLiteral("example.ini")));
        QVERIFY(toFile(path(QString::fromLatin1(name).arg(QChar(0xfffd))), content));
        QVERIFY(toFile(path(QStringLiteral("latin1")), content));
        const QByteArray latin1 =
                QFile::encodeName(scratch.path()) + '/' + QByteArray(name).replace("%1", "\xe9");
        QCOMPARE(::rename(QFile::encodeName(path(QStringLiteral("latin1"))).constData(),
                          latin1.constData()),
                 0);
    }
#endif
}

void tst_LabelTool::cleanupTestCase()
{
#ifdef Q_OS_UNIX
    // QTemporaryDir sees these names only as they decode, under which they cannot be removed.
    for (const char *name : { "a\xe9.ini", "c\xe9", "s\xe9.svd" })
        ::unlink((QFile::encodeName(scratch.path()) + '/' + name).constData());
#endif
}

void tst_LabelTool::commands_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out"); // exactly
    QTest::addColumn<QString>("err"); // a part of it; empty: nothing at all

    const QByteArray motor37 = "37\n0x00000025\n0000 0000 0000 0000 0000 0000 0010 0101\n"
                               "0\tReady\n2\tReverse\n5\tStalled\n";
    QTest::newRow("--version") << QStringList { "--version" } << 0
                               << QByteArray("K732-118-labels 100\n") << QString();
    QTest::newRow("no command") << QStringList() << 2 << QByteArray() << "a command is needed";
    QTest::newRow("unknown command")
            << QStringList { "list" } << 2 << QByteArray() << "unknown command 'list'";
    QTest::newRow("unknown option")
            << QStringList { "show", "--all" } << 2 << QByteArray() << "show: Unknown option 'all'";

    QTest::newRow("show: the sets of the file beside the tool")
            << QStringList { "show" } << 0 << QByteArray("Alarm\t3\nMotor\t8\n") << QString();
    QTest::newRow("show: one set of the file beside the tool")
            << QStringList { "show", "Alarm" } << 0
            << "0\tSupply low\tenabled\n1\tTempérature haute\tenabled\n2\tDoor open\tenabled\n"
                    + unusedLines(3, "\tdisabled")
            << QString();
    QTest::newRow("show: an empty file shows the default set")
            << QStringList { "show", "@empty.ini" } << 0 << QByteArray("Generic\t32\n") << "no set";
    QTest::newRow("show: unknown set") << QStringList { "show", "@example.ini", "Pump" } << 2
                                       << QByteArray() << "example.ini: error: no set \"Pump\"";
    // The window reads a file with a NUL byte (it only never adds to one), and so does the tool.
    QTest::newRow("show: a NUL byte")
            << QStringList { "show", "@nul.ini" } << 0 << QByteArray("A\t1\n") << QString();
    QTest::newRow("check: a NUL byte in a comment")
            << QStringList { "check", "@nul.ini" } << 0 << QByteArray("1 set, 0 warnings\n")
            << QString();
    QTest::newRow("decode: a NUL byte")
            << QStringList { "decode", "@nul.ini", "--set", "A", "1" } << 0
            << QByteArray("1\n0x00000001\n") + QByteArray("0000 ").repeated(7) + "0001\n0\tb\n"
            << QString();

    // Added sets must read back as imported, or nothing is written.
    QTest::newRow("import-svd --into: a leftover section of the set")
            << QStringList { "import-svd", "@small.svd", "--into", "@leftover.ini" } << 2
            << QByteArray()
            << "leftover.ini: error: not written: the window would not show the sets exactly as "
               "given";
    QTest::newRow("import-svd --into: a NUL byte")
            << QStringList { "import-svd", "@small.svd", "--into", "@nul.ini" } << 2 << QByteArray()
            << "nul.ini: error: not written";

    QTest::newRow("decode: hexadecimal")
            << QStringList { "decode", "@example.ini", "--set", "Motor", "0x25" } << 0 << motor37
            << QString();
    QTest::newRow("decode: binary, default file")
            << QStringList { "decode", "--set=Motor", "0b100101" } << 0 << motor37 << QString();
    QTest::newRow("decode: a bit beyond the set shows Unused")
            << QStringList { "decode", "--set", "Alarm", "4294967295" } << 0
            << "4294967295\n0xFFFFFFFF\n" + QByteArray("1111 ").repeated(7)
                    + "1111\n0\tSupply low\n1\tTempérature haute\n2\tDoor open\n"
                    + unusedLines(3, "")
            << QString();
    QTest::newRow("decode: 2^32 is too large")
            << QStringList { "decode", "--set", "Motor", "4294967296" } << 2 << QByteArray()
            << "'4294967296' is no value";
    QTest::newRow("decode: no digits after 0x")
            << QStringList { "decode", "--set", "Motor", "0x" } << 2 << QByteArray() << "no value";
    QTest::newRow("decode: a blank in the value")
            << QStringList { "decode", "--set", "Motor", " 5" } << 2 << QByteArray() << "no value";
    QTest::newRow("decode: no --set")
            << QStringList { "decode", "5" } << 2 << QByteArray() << "--set SET is needed";

    QTest::newRow("encode: labels of a named file")
            << QStringList { "encode", "@example.ini", "--set", "Motor", "Ready", "Stalled" } << 0
            << QByteArray("33\n0x00000021\n") << QString();
    QTest::newRow("encode: non-ASCII label, default file")
            << QStringList { "encode", "--set", "Alarm", "Température haute" } << 0
            << QByteArray("2\n0x00000002\n") << QString();
    QTest::newRow("encode: unknown label")
            << QStringList { "encode", "--set", "Alarm", "Unused" } << 2 << QByteArray()
            << "set \"Alarm\" shows no label \"Unused\"";

    QTest::newRow("check: clean") << QStringList { "check", "@example.ini" } << 0
                                  << QByteArray("2 sets, 0 warnings\n") << QString();
    QTest::newRow("check: warnings")
            << QStringList { "check", "@warn.ini" } << 1 << QByteArray("1 set, 1 warning\n")
            << "warn.ini:2: warning: the value \"x\"";
    QTest::newRow("check: a directory") << QStringList { "check", "@dir.ini" } << 2 << QByteArray()
                                        << "dir.ini: error: is a directory";
    QTest::newRow("check: unreadable")
            << QStringList { "(unprivileged)", "check", "@unreadable.ini" } << 2 << QByteArray()
            << "unreadable.ini: error: cannot be read";
    QTest::newRow("check: over the size limit")
            << QStringList { "check", "@big.ini" } << 2 << QByteArray()
            << "big.ini: error: is larger than 16 MiB";
    QTest::newRow("check: over the line limit")
            << QStringList { "check", "@lines.ini" } << 2 << QByteArray()
            << "lines.ini: error: has more than 1000000 lines";
    QTest::newRow("show: over the set limit")
            << QStringList { "show", "@sets.ini" } << 2 << QByteArray()
            << "sets.ini: error: holds more than 50000 sets";
    QTest::newRow("show: beside it, in a directory named in Latin-1")
            << QStringList { "(latin1 directory)", "show" } << 2 << QByteArray()
            << "cannot be represented";
    QTest::newRow("check: a label holding lists 40,000 deep in @Variant")
            << QStringList { "check", "@deep.ini" } << 1 << QByteArray("1 set, 3 warnings\n")
            << "deep.ini:3: warning: the value \"@Variant(";
    QTest::newRow("show: a label holding lists 40,000 deep in @Variant")
            << QStringList { "show", "@deep.ini" } << 0 << QByteArray("Deep\t2\n") << QString();
    QTest::newRow("show: lists 40,000 deep in another section, no set")
            << QStringList { "show", "@deepother.ini" } << 0 << QByteArray("Generic\t32\n")
            << "deepother.ini: note: no set";
    QTest::newRow("check: no such file") << QStringList { "check", "@none.ini" } << 2
                                         << QByteArray() << "none.ini: error: no such file";

    QTest::newRow("import-svd: to standard output, only one peripheral")
            << QStringList { "import-svd", "@small.svd", "--only", "UART.*" } << 0
            << QByteArray("[bitlabels]\nUART.CR\\EN=0\n")
            << "small.svd: 2 registers read: 1 set written to standard output, 1 left out by "
               "--only\n";
    QTest::newRow("import-svd: malformed XML")
            << QStringList { "import-svd", "@cut.svd" } << 2 << QByteArray() << "cut.svd:5:";
    QTest::newRow("import-svd: no peripherals")
            << QStringList { "import-svd", "@other.svd" } << 2 << QByteArray() << "other.svd:1:";
    QTest::newRow("import-svd: --output refuses an existing file")
            << QStringList { "import-svd", "@small.svd", "--output", "@example.ini" } << 2
            << QByteArray() << "example.ini: error: exists";
    QTest::newRow("import-svd: --into needs a label file")
            << QStringList { "import-svd", "@small.svd", "--into", "@dir.ini" } << 2 << QByteArray()
            << "dir.ini: error: is a directory";
    QTest::newRow("import-svd: --into and --output")
            << QStringList { "import-svd", "@small.svd", "--into", "@a.ini", "--output", "@b.ini" }
            << 2 << QByteArray() << "exclude each other";

    // Output that does not arrive is no success.
    const QString noSpace = QStringLiteral(
            "K732-118-labels: error writing standard output: No space left on device\n");
    QTest::newRow("show: standard output on a full device")
            << QStringList { "(stdout /dev/full)", "show" } << 2 << QByteArray() << noSpace;
    QTest::newRow("decode: standard output on a full device")
            << QStringList { "(stdout /dev/full)", "decode", "--set", "Motor", "5" } << 2
            << QByteArray() << noSpace;
    QTest::newRow("encode: standard output on a full device")
            << QStringList { "(stdout /dev/full)", "encode", "--set", "Motor", "Ready" } << 2
            << QByteArray() << noSpace;
    QTest::newRow("check: standard output on a full device")
            << QStringList { "(stdout /dev/full)", "check", "@example.ini" } << 2 << QByteArray()
            << noSpace;
    QTest::newRow("import-svd: standard output on a full device, no summary")
            << QStringList { "(stdout /dev/full)", "import-svd", "@small.svd" } << 2 << QByteArray()
            << noSpace;
    QTest::newRow("--help: standard output on a full device")
            << QStringList { "(stdout /dev/full)", "--help" } << 2 << QByteArray() << noSpace;
    QTest::newRow("import-svd: standard output cut off on a full file system")
            << QStringList { "(stdout on a full file system)", "import-svd",
                             EXAMPLE_DIR "/svd/rp2040.svd" }
            << 2 << QByteArray() << noSpace;
    QTest::newRow("show: a pipe closed early, SIGPIPE ignored")
            << QStringList { "(stdout a closed pipe, SIGPIPE ignored)", "show", "Motor" } << 2
            << QByteArray() << "K732-118-labels: error writing standard output: Broken pipe\n";
#ifdef Q_OS_UNIX
    QTest::newRow("import-svd: a pipe closed early ends the tool quietly")
            << QStringList { "(stdout a closed pipe)", "import-svd", "@small.svd" } << -SIGPIPE
            << QByteArray() << QString();
#endif
    QTest::newRow("show: standard output closed")
            << QStringList { "(stdout closed)", "show" } << 2 << QByteArray()
            << "K732-118-labels: error writing standard output: Bad file descriptor\n";
    QTest::newRow("check: warnings to a full standard error")
            << QStringList { "(stderr /dev/full)", "check", "@warn.ini" } << 2 << QByteArray()
            << QString();

    // A name that does not decode exactly names another file, which is never used.
    const QString undecodable = QStringLiteral(": error: this name is not valid UTF-8 and cannot "
                                               "be used");
    QTest::newRow("show: a Latin-1 FILE") << QStringList { "(bytes)", "show", "@a\\0351.ini" } << 2
                                          << QByteArray() << undecodable;
    QTest::newRow("show: a lone Latin-1 argument that names a file")
            << QStringList { "(bytes)", "show", "@c\\0351" } << 2 << QByteArray() << undecodable;
    QTest::newRow("import-svd: --into a Latin-1 FILE")
            << QStringList { "(bytes)", "import-svd", "@small.svd", "--into", "@a\\0351.ini" } << 2
            << QByteArray() << undecodable;
    QTest::newRow("import-svd: --into=FILE in Latin-1")
            << QStringList { "(bytes)", "import-svd", "@small.svd",
                             "--into=" + path(QStringLiteral("a\\0351.ini")) }
            << 2 << QByteArray() << undecodable;
    QTest::newRow("import-svd: --output a Latin-1 NEWFILE")
            << QStringList { "(bytes)", "import-svd", "@small.svd", "--output", "@b\\0351.ini" }
            << 2 << QByteArray() << undecodable;
    QTest::newRow("import-svd: a Latin-1 SVD")
            << QStringList { "(bytes)", "import-svd", "@s\\0351.svd" } << 2 << QByteArray()
            << undecodable;

    // Messages that say what is wrong.
    QTest::newRow("show: FILE in a missing directory")
            << QStringList { "show", "@missing/x.ini" } << 2 << QByteArray()
            << "missing/x.ini: error: no such file or directory: the directory";
    QTest::newRow("import-svd: --output in a missing directory")
            << QStringList { "import-svd", "@small.svd", "--output", "@missing/out.ini" } << 2
            << QByteArray() << "out.ini: error: cannot be created: the directory";
    QTest::newRow("decode: FILE but no VALUE")
            << QStringList { "decode", "@example.ini", "--set", "Motor" } << 2 << QByteArray()
            << "decode: a VALUE is needed";
    QTest::newRow("encode: FILE but no LABEL")
            << QStringList { "encode", "@example.ini", "--set", "Motor" } << 2 << QByteArray()
            << "encode: at least one LABEL is needed";
    QTest::newRow("decode: --set twice")
            << QStringList { "decode", "--set", "Alarm", "--set", "Motor", "5" } << 2
            << QByteArray() << "decode: --set once only";
    QTest::newRow("encode: --set twice")
            << QStringList { "encode", "--set=Alarm", "--set=Motor", "Ready" } << 2 << QByteArray()
            << "encode: --set once only";
    QTest::newRow("check: an empty FILE")
            << QStringList { "check", "" } << 2 << QByteArray() << "'': error: an empty name";
    QTest::newRow("--help-all is not offered")
            << QStringList { "--help-all" } << 2 << QByteArray() << "Unknown option 'help-all'";
    QTest::newRow("show: the default FILE missing, named by its path")
            << QStringList { "(alone)", "show" } << 2 << QByteArray()
            << "Donnes/K732-118.ini: error: no such file or directory\n";

    // - for standard input and output.
    QTest::newRow("show: FILE -") << QStringList { "(stdin @example.ini)", "show", "-" } << 0
                                  << QByteArray("Alarm\t3\nMotor\t8\n") << QString();
    QTest::newRow("check: FILE - is <stdin> in warnings")
            << QStringList { "(stdin @warn.ini)", "check", "-" } << 1
            << QByteArray("1 set, 1 warning\n") << "<stdin>:2: warning: the value \"x\"";
    QTest::newRow("decode: FILE -")
            << QStringList { "(stdin @example.ini)", "decode", "-", "--set", "Motor", "0x25" } << 0
            << motor37 << QString();
    QTest::newRow("encode: FILE -") << QStringList { "(stdin @example.ini)",
                                                     "encode",
                                                     "-",
                                                     "--set",
                                                     "Motor",
                                                     "Ready",
                                                     "Stalled" }
                                    << 0 << QByteArray("33\n0x00000021\n") << QString();
    QTest::newRow("import-svd: SVD - and --output -")
            << QStringList { "(stdin @small.svd)", "import-svd", "-", "--only", "UART.*",
                             "--output",           "-" }
            << 0 << QByteArray("[bitlabels]\nUART.CR\\EN=0\n")
            << "<stdin>: 2 registers read: 1 set written to standard output";
    QTest::newRow("import-svd: --into - cannot be written")
            << QStringList { "import-svd", "@small.svd", "--into", "-" } << 2 << QByteArray()
            << "standard input cannot be written";
    QTest::newRow("import-svd: --quiet drops the summary")
            << QStringList { "import-svd", "@small.svd", "--quiet", "--only", "UART.*" } << 0
            << QByteArray("[bitlabels]\nUART.CR\\EN=0\n") << QString();
    QTest::newRow("import-svd: -q keeps errors")
            << QStringList { "import-svd", "@cut.svd", "-q" } << 2 << QByteArray() << "cut.svd:5:";

    // Rows stay rows whatever a caption holds.
    QTest::newRow("show: a tab in a set name")
            << QStringList { "show", "@ctrl.ini" } << 0 << QByteArray("T\\tab\t3\n") << QString();
    QTest::newRow("show: newline, backslash and CR in captions")
            << QStringList { "show", "@ctrl.ini", "T\tab" } << 0
            << "0\tx\\ny\tenabled\n1\tback\\\\slash\tenabled\n2\tcr\\r\tenabled\n"
                    + unusedLines(3, "\tdisabled")
            << QString();
    QTest::newRow("decode: newline and CR in captions")
            << QStringList { "decode", "@ctrl.ini", "--set", "T\tab", "5" } << 0
            << QByteArray("5\n0x00000005\n0000 0000 0000 0000 0000 0000 0000 0101\n0\tx\\ny\n"
                          "2\tcr\\r\n")
            << QString();
    QTest::newRow("check: control characters, each warning one line")
            << QStringList { "check", "@ctrl.ini" } << 1 << QByteArray("1 set, 3 warnings\n")
            << "ctrl.ini:2: warning: label \"x\\ny\" of set \"T\\tab\" holds a control "
               "character\n";

    // VALUE: separators between digits; a leading 0 is decimal.
    QTest::newRow("decode: '_' between hexadecimal digits")
            << QStringList { "decode", "--set", "Motor", "0x0000_0025" } << 0 << motor37
            << QString();
    QTest::newRow("decode: an apostrophe between binary digits")
            << QStringList { "decode", "--set", "Motor", "0b10'0101" } << 0 << motor37 << QString();
    QTest::newRow("decode: 010 is ten")
            << QStringList { "decode", "--set", "Motor", "010" } << 0
            << QByteArray("10\n0x0000000A\n0000 0000 0000 0000 0000 0000 0000 1010\n1\tRunning\n"
                          "3\tOver current\n")
            << QString();
    QTest::newRow("decode: a separator after 0x")
            << QStringList { "decode", "--set", "Motor", "0x_25" } << 2 << QByteArray()
            << "no value";

    // Checked by hand against the descriptions' XML.
    const QString rp2040 = QStringLiteral(EXAMPLE_DIR "/svd/rp2040.svd");
    const QString e310x = QStringLiteral(EXAMPLE_DIR "/svd/e310x.svd");
    QTest::newRow("reg: RP2040, enumerated values, reset 0x1F")
            << QStringList { "reg", rp2040, "IO_BANK0.GPIO29_CTRL", "0x3005" } << 0
            << QByteArray("IO_BANK0.GPIO29_CTRL\t0x400140EC\t32 bits\tread-write\treset 0x0000001F "
                          "mask 0xFFFFFFFF\tdiffers from reset: OEOVER, FUNCSEL\n"
                          "[29:28]\tIRQOVER\t0x0\t0\tNORMAL\tread-write\n"
                          "[17:16]\tINOVER\t0x0\t0\tNORMAL\tread-write\n"
                          "[13:12]\tOEOVER\t0x3\t3\tENABLE\tread-write\n"
                          "[9:8]\tOUTOVER\t0x0\t0\tNORMAL\tread-write\n"
                          "[4:0]\tFUNCSEL\t0x05\t5\tsio_29\tread-write\n")
            << QString();
    QTest::newRow("reg: RP2040, a register without fields, write 1 to clear")
            << QStringList { "reg", rp2040, "xip_ctrl.ctr_hit", "12" } << 0
            << QByteArray("XIP_CTRL.CTR_HIT\t0x1400000C\t32 bits\tread-write, writing 1 clears a "
                          "bit\treset 0x00000000 mask 0xFFFFFFFF\tdiffers from reset: CTR_HIT\n"
                          "[31:0]\tCTR_HIT\t0x0000000C\t12\t\tread-write, writing 1 clears a "
                          "bit\n")
            << QString();
    QTest::newRow("reg: RP2040, --diff")
            << QStringList { "reg", rp2040, "XIP_SSI.CTRLR0", "0", "--diff", "0x00400300" } << 0
            << QByteArray("XIP_SSI.CTRLR0\t0x18000000\t32 bits\tread-write\treset 0x00000000 mask "
                          "0xFFFFFFFF\t0x00000000 → 0x00400300: 2 fields differ\n"
                          "[22:21]\tSPI_FRF\t0x0\t0\tSTD\t→\t0x2\t2\tQUAD\n"
                          "[9:8]\tTMOD\t0x0\t0\tTX_AND_RX\t→\t0x3\t3\tEEPROM_READ\n")
            << QString();
    QTest::newRow("reg: RP2040, composed by enumerated names without case")
            << QStringList { "reg", rp2040, "XIP_SSI.CTRLR0", "spi_frf=Quad", "TMOD=eeprom_read" }
            << 0 << QByteArray("0x00400300\n4195072\n0000 0000 0100 0000 0000 0011 0000 0000\n")
            << QString();
    QTest::newRow("reg: RP2040, bits no field covers")
            << QStringList { "reg", rp2040, "UART1.UARTDMACR", "0x11" } << 1
            << QByteArray("UART1.UARTDMACR\t0x40038048\t32 bits\tread-write\treset 0x00000000 mask "
                          "0xFFFFFFFF\tdiffers from reset: RXDMAE\n"
                          "[2]\tDMAONERR\t0x0\t0\t\tread-write\n"
                          "[1]\tTXDMAE\t0x0\t0\t\tread-write\n"
                          "[0]\tRXDMAE\t0x1\t1\t\tread-write\n"
                          "[31:3]\t(no field)\t0x00000002\t2\t\t\n")
            << "rp2040.svd:23300: warning: UART1.UARTDMACR: 0x00000011 sets bit 4, which no field "
               "covers";
    QTest::newRow("reg: E310x, by address, derived enumerated values")
            << QStringList { "reg", e310x, "0x0C200000", "7" } << 0
            << QByteArray("PLIC.threshold\t0x0C200000\t32 bits\tread-write\treset 0x00000000 mask "
                          "0xFFFFFFFF\tdiffers from reset: priority\n"
                          "[2:0]\tpriority\t0x7\t7\tP7\tread-write\n")
            << QString();
    QTest::newRow("reg: a peripheral renamed between its lists of registers, the second")
            << QStringList { "reg", "@renamed.svd", "Q.HALF", "1" } << 0
            << QByteArray("Q.HALF\t0x40000004\t32 bits\tread-write\treset 0x00000000 mask "
                          "0xFFFFFFFF\tdiffers from reset: HALF\n[31:0]\tHALF\t0x00000001\t1\t\t"
                          "read-write\n")
            << QString();
    QTest::newRow("reg: a peripheral renamed between its lists of registers, the first")
            << QStringList { "reg", "@renamed.svd", "q.ctrl", "1" } << 0
            << QByteArray("Q.CTRL\t0x40000000\t32 bits\tread-write\treset 0x00000000 mask "
                          "0xFFFFFFFF\tdiffers from reset: CTRL\n[31:0]\tCTRL\t0x00000001\t1\t\t"
                          "read-write\n")
            << QString();
    QTest::newRow("reg: E310x, a derived peripheral")
            << QStringList { "reg", e310x, "uart1.IP", "2" } << 0
            << QByteArray("UART1.ip\t0x10023014\t32 bits\tread-write\treset 0x00000000 mask "
                          "0xFFFFFFFF\tdiffers from reset: rxwm\n"
                          "[1]\trxwm\t0x1\t1\t\tread-write\n[0]\ttxwm\t0x0\t0\t\tread-write\n")
            << QString();
    QTest::newRow("find: E310x, --text in descriptions, derived peripherals")
            << QStringList { "find", e310x, "--text", "transmit watermark" } << 0
            << QByteArray("0x10014050\tQSPI0.txmark\t32 bits\n0x10024050\tQSPI1.txmark\t32 bits\n"
                          "0x10034050\tQSPI2.txmark\t32 bits\n")
            << QString();
    QTest::newRow("reg: E310x, no such register")
            << QStringList { "reg", e310x, "AON.pmu.pmuie", "0" } << 2 << QByteArray()
            << "e310x.svd: error: no register \"AON.pmu.pmuie\"; did you mean PMU.pmuie?\n";
    QTest::newRow("find: E310x, a wildcard")
            << QStringList { "find", e310x, "UART1.i?" } << 0
            << QByteArray("0x10023010\tUART1.ie\t32 bits\n0x10023014\tUART1.ip\t32 bits\n")
            << QString();

    const QByteArray ctrlHeader = "P.CTRL\t0x40000010\t32 bits\tread-write\treset 0x00000021 mask "
                                  "0x0000FFFF\t";
    const QByteArray ctrlRows = "[15:12]\tPRESC2\t0x1\t1\tDIV2\tread-write\n"
                                "[9]\tDONE\t0x1\t1\t\tread-write, writing 1 clears a bit\n"
                                "[8]\tFLAG\t0x1\t1\t\tread-only, reading clears it\n"
                                "[7:4]\tPRESC\t0xB\t11\tSLOW\tread-write\n";
    const QByteArray ctrlFields21 = "[15:12]\tPRESC2\t0x0\t0\tDIV1\tread-write\n"
                                    "[9]\tDONE\t0x0\t0\t\tread-write, writing 1 clears a bit\n"
                                    "[8]\tFLAG\t0x0\t0\t\tread-only, reading clears it\n"
                                    "[7:4]\tPRESC\t0x2\t2\tSLOW\tread-write\n"
                                    "[1:0]\tMODE\t0x1\t1\t(unnamed)\tread-write\n";
    QTest::newRow("reg: read values, don't-care bits, isDefault")
            << QStringList { "reg", "@values.svd", "P.CTRL", "0x13B3" } << 0
            << ctrlHeader + "differs from reset: PRESC2, DONE, FLAG, PRESC, MODE\n" + ctrlRows
                    + "[1:0]\tMODE\t0x3\t3\tBUSY\tread-write\n"
            << QString();
    QTest::newRow("reg: --write values")
            << QStringList { "reg", "@values.svd", "P.CTRL", "--write", "0x13B3" } << 0
            << ctrlHeader + "differs from reset: PRESC2, DONE, FLAG, PRESC, MODE\n" + ctrlRows
                    + "[1:0]\tMODE\t0x3\t3\tOTHER\tread-write\n"
            << QString();
    QTest::newRow("reg: a value no read value names, bits no field covers")
            << QStringList { "reg", "@values.svd", "P.CTRL", "0x5d" } << 1
            << ctrlHeader + "differs from reset: PRESC\n"
                    + "[15:12]\tPRESC2\t0x0\t0\tDIV1\tread-write\n"
                      "[9]\tDONE\t0x0\t0\t\tread-write, writing 1 clears a bit\n"
                      "[8]\tFLAG\t0x0\t0\t\tread-only, reading clears it\n"
                      "[7:4]\tPRESC\t0x5\t5\tDIV2\tread-write\n"
                      "[1:0]\tMODE\t0x1\t1\t(unnamed)\tread-write\n"
                      "[3:2]\t(no field)\t0x3\t3\t\t\n"
            << "values.svd:6: warning: P.CTRL: 0x0000005D sets bits 3, 2, which no field covers";
    QTest::newRow("reg: --diff") << QStringList { "reg",  "@values.svd", "P.CTRL",
                                                  "0x21", "--diff",      "0x5353" }
                                 << 0
                                 << ctrlHeader + "0x00000021 → 0x00005353: 5 fields differ\n"
                    + "[15:12]\tPRESC2\t0x0\t0\tDIV1\t→\t0x5\t5\tDIV2\n"
                      "[9]\tDONE\t0x0\t0\t\t→\t0x1\t1\t\n"
                      "[8]\tFLAG\t0x0\t0\t\t→\t0x1\t1\t\n"
                      "[7:4]\tPRESC\t0x2\t2\tSLOW\t→\t0x5\t5\tDIV2\n"
                      "[1:0]\tMODE\t0x1\t1\t(unnamed)\t→\t0x3\t3\tBUSY\n"
                                 << QString();
    QTest::newRow("reg: composed from reset, write names, a don't-care bit written 0")
            << QStringList { "reg", "@values.svd", "P.CTRL", "mode=start", "presc=div2", "DONE=1" }
            << 0 << QByteArray("0x00000211\n529\n0000 0000 0000 0000 0000 0010 0001 0001\n")
            << QString();
    QTest::newRow("reg: composed --from, enumerated values derived by path and by name")
            << QStringList { "reg",        "@values.svd", "P2.ALT", "kind=START",
                             "speed=DIV2", "--from",      "0xFF00" }
            << 0 << QByteArray("0x0000FF11\n65297\n0000 0000 0000 0000 1111 1111 0001 0001\n")
            << QString();
    QTest::newRow("reg: a write-only enumeration names no value read back")
            << QStringList { "reg", "@values.svd", "p2.alt", "0x25" } << 0
            << QByteArray("P2.ALT\t0x40001014\t32 bits\tread-write\treset 0x00000000 mask "
                          "0x0000FFFF\tdiffers from reset: KIND, SPEED\n"
                          "[5:4]\tKIND\t0x2\t2\t\tread-write\n"
                          "[3:0]\tSPEED\t0x5\t5\tDIV2\tread-write\n")
            << QString();
    QTest::newRow("reg: 16 bits, size, access and reset from the device")
            << QStringList { "reg", "@values.svd", "Q.HALF", "0x1205" } << 0
            << QByteArray("Q.HALF\t0x50000002\t16 bits\tread-only\treset 0x0005 mask "
                          "0xFFFF\tdiffers from reset: N\n"
                          "[15:8]\tN\t0x12\t18\t\tread-only\n[2:0]\tM\t0x5\t5\t\tread-only\n")
            << QString();
    QTest::newRow("reg: 64 bits")
            << QStringList { "reg", "@values.svd", "P.WIDE", "0xF000000000000001" } << 0
            << QByteArray("P.WIDE\t0x40000200\t64 bits\tread-write\treset 0x8000000000000000 mask "
                          "0xFFFFFFFFFFFFFFFF\tdiffers from reset: HI, LO\n"
                          "[63:60]\tHI\t0xF\t15\t\tread-write\n"
                          "[31:0]\tLO\t0x00000001\t1\t\tread-write\n")
            << QString();
    QTest::newRow("reg: 64 bits composed")
            << QStringList { "reg", "@values.svd", "P.WIDE", "LO=0xFFFFFFFF" } << 0
            << QByteArray("0x80000000FFFFFFFF\n9223372041149743103\n1000 0000 0000 0000 0000 0000 "
                          "0000 0000 1111 1111 1111 1111 1111 1111 1111 1111\n")
            << QString();
    QTest::newRow("reg: 8 bits, bits no field covers")
            << QStringList { "reg", "@values.svd", "P.BYTE", "0xF5" } << 1
            << QByteArray("P.BYTE\t0x40000208\t8 bits\tread-write\treset 0x00 mask "
                          "0xFF\tdiffers from reset: B\n"
                          "[7:4]\tB\t0xF\t15\t\tread-write\n[3:0]\t(no field)\t0x5\t5\t\t\n")
            << "values.svd:47: warning: P.BYTE: 0xF5 sets bits 2, 0, which no field covers";
    QTest::newRow("reg: a value beyond 8 bits")
            << QStringList { "reg", "@values.svd", "P.BYTE", "0x1F8" } << 2 << QByteArray()
            << "0x1F8 does not fit P.BYTE, whose size is 8 bits";
    QTest::newRow("reg: by address, a cluster array's register array")
            << QStringList { "reg", "@values.svd", "0x4000012c", "1" } << 0
            << QByteArray("P.CH[1].CFGB\t0x4000012C\t32 bits\tread-write\treset 0x00000000 mask "
                          "0x0000FFFF\tdiffers from reset: ON\n[0]\tON\t0x1\t1\t\tread-write\n")
            << QString();
    QTest::newRow("reg: a peripheral array's instance by name")
            << QStringList { "reg", "@array.svd", "tim2.cr", "1" } << 0
            << QByteArray("TIM2.CR\t0x40000404\t32 bits\tread-write\treset 0x00000000 mask "
                          "0xFFFFFFFF\tdiffers from reset: EN\n[0]\tEN\t0x1\t1\t\tread-write\n")
            << QString();
    QTest::newRow("reg: no register at the address")
            << QStringList { "reg", "@values.svd", "0x40000004", "1" } << 2 << QByteArray()
            << "values.svd: error: no register at 0x40000004\n";
    QTest::newRow("reg: refuses a read-only field")
            << QStringList { "reg", "@values.svd", "P.CTRL", "FLAG=1" } << 2 << QByteArray()
            << "values.svd: error: P.CTRL: field FLAG is read-only\n";
    QTest::newRow("reg: refuses a read-only register's field")
            << QStringList { "reg", "@values.svd", "Q.HALF", "M=1" } << 2 << QByteArray()
            << "values.svd: error: Q.HALF: field M is read-only\n";
    QTest::newRow("reg: refuses a value too wide")
            << QStringList { "reg", "@values.svd", "P.CTRL", "PRESC=16" } << 2 << QByteArray()
            << "values.svd: error: P.CTRL: 16 does not fit field PRESC, 4 bits wide (0 … 15)\n";
    QTest::newRow("reg: refuses a name no enumerated value has")
            << QStringList { "reg", "@values.svd", "P.CTRL", "MODE=run" } << 2 << QByteArray()
            << "P.CTRL: run is no enumerated value of field MODE (STOP, START, OTHER)\n";
    QTest::newRow("reg: refuses the default name")
            << QStringList { "reg", "@values.svd", "P.CTRL", "MODE=Other" } << 2 << QByteArray()
            << "OTHER of field MODE names the values no other name names, not one value\n";
    QTest::newRow("reg: refuses a name where no values are named")
            << QStringList { "reg", "@values.svd", "P.CTRL", "DONE=yes" } << 2 << QByteArray()
            << "yes is no number, and field DONE has no enumerated values\n";
    QTest::newRow("reg: no such field")
            << QStringList { "reg", "@values.svd", "P.CTRL", "PRESK=1" } << 2 << QByteArray()
            << "P.CTRL has no field \"PRESK\"; did you mean PRESC, PRESC2?\n";
    QTest::newRow("reg: no such register, the nearest five")
            << QStringList { "reg", "@values.svd", "P.CFG", "1" } << 2 << QByteArray()
            << "no register \"P.CFG\"; did you mean P.CTRL, P.CH[0].CFGA, P.CH[0].CFGB, "
               "P.CH[1].CFGA, P.CH[1].CFGB?\n";
    QTest::newRow("reg: a value and a field value")
            << QStringList { "reg", "@values.svd", "P.CTRL", "1", "MODE=1" } << 2 << QByteArray()
            << "either one VALUE or FIELD=VALUE arguments";
    QTest::newRow("reg: a value with don't-care bits")
            << QStringList { "reg", "@values.svd", "P.CTRL", "0b1x" } << 2 << QByteArray()
            << "'0b1x' is no value";
    const QByteArray edgeHeader = "E.R\t0x40000400\t32 bits\tread-write\treset 0x00000000 mask "
                                  "0xFFFFFFFF\t";
    QTest::newRow("reg: a value wider than its field is no name of it; a qualified container")
            << QStringList { "reg", "@edge.svd", "E.R", "0x20F" } << 0
            << edgeHeader + "differs from reset: COPY, F\n"
                    + "[16]\tREP0\t0x0\t0\t\tread-write\n"
                      "[11:9]\tCOPY\t0x1\t1\t2\tread-write\n"
                      "[8:6]\tSAMPLES\t0x0\t0\t1\tread-write\n"
                      "[5:4]\tDRIVE\t0x0\t0\t2mA\tread-write\n"
                      "[3:0]\tF\t0xF\t15\t(unnamed)\tread-write\n"
            << QString();
    QTest::newRow("reg: refuses a name whose value does not fit")
            << QStringList { "reg", "@edge.svd", "E.R", "F=BIG" } << 2 << QByteArray()
            << "E.R: BIG is no enumerated value of field F (SMALL)\n";
    QTest::newRow("reg: a name that begins with a digit")
            << QStringList { "reg", "@edge.svd", "E.R", "drive=4MA" } << 0
            << QByteArray("0x00000010\n16\n0000 0000 0000 0000 0000 0000 0001 0000\n") << QString();
    QTest::newRow("reg: refuses what is both a number and a name")
            << QStringList { "reg", "@edge.svd", "E.R", "SAMPLES=4" } << 2 << QByteArray()
            << "E.R: 4 of field SAMPLES is both the number 4 and the enumerated value 4 (0x2): "
               "write the number as 0x4, or the name as name:4\n";
    QTest::newRow("reg: name: takes the name, 0x the number")
            << QStringList { "reg", "@edge.svd", "E.R", "SAMPLES=name:4", "COPY=0x4" } << 0
            << QByteArray("0x00000880\n2176\n0000 0000 0000 0000 0000 1000 1000 0000\n")
            << QString();
    QTest::newRow("reg: a register whose address cannot be read is left out, with why")
            << QStringList { "reg", "@edge.svd", "E.BAD", "1" } << 2 << QByteArray()
            << "edge.svd: note: E.BAD: <addressOffset> \"zz\" is no number; left out (line 20)\n";
    QTest::newRow("find: a reserved field is none, nor what cannot be placed")
            << QStringList { "find", "@edge.svd", "*" } << 0
            << QByteArray("0x40000400\tE.R\t32 bits\n0x40000400\tE.R.F\t[3:0]\n"
                          "0x40000400\tE.R.DRIVE\t[5:4]\n0x40000400\tE.R.SAMPLES\t[8:6]\n"
                          "0x40000400\tE.R.COPY\t[11:9]\n0x40000400\tE.R.REP0\t[16]\n"
                          "0x40000500\tE.NARROW\t8 bits\n0x40000500\tE.NARROW.CUT\t[7:4]\n")
            << QString();
    QTest::newRow("reg: a field cut to its register's bits, one past them left out")
            << QStringList { "reg", "@edge.svd", "E.NARROW", "0xF0" } << 0
            << QByteArray("E.NARROW\t0x40000500\t8 bits\tread-write\treset 0x00 mask 0xFF\t"
                          "differs from reset: CUT\n[7:4]\tCUT\t0xF\t15\t\tread-write\n")
            << QString();
    QTest::newRow("reg: refuses a value for bits past its register")
            << QStringList { "reg", "@edge.svd", "E.NARROW", "CUT=0x10" } << 2 << QByteArray()
            << "E.NARROW: 0x10 does not fit field CUT, 4 bits wide (0 … 15)\n";
    QTest::newRow("reg: malformed XML") << QStringList { "reg", "@cut.svd", "GPIOA.ODR", "1" } << 2
                                        << QByteArray() << "cut.svd:5:";
    QTest::newRow("reg: no peripherals") << QStringList { "reg", "@other.svd", "GPIOA.ODR", "1" }
                                         << 2 << QByteArray() << "other.svd:1:";
    QTest::newRow("find: a word within names")
            << QStringList { "find", "@values.svd", "presc" } << 0
            << QByteArray("0x40000010\tP.CTRL.PRESC\t[7:4]\n0x40000010\tP.CTRL.PRESC2\t[15:12]\n"
                          "0x40001010\tP2.CTRL.PRESC\t[7:4]\n"
                          "0x40001010\tP2.CTRL.PRESC2\t[15:12]\n")
            << QString();
    QTest::newRow("find: a wildcard for the element's own name")
            << QStringList { "find", "@values.svd", "CFG?" } << 0
            << QByteArray("0x40000108\tP.CH[0].CFGA\t32 bits\n0x4000010C\tP.CH[0].CFGB\t32 bits\n"
                          "0x40000128\tP.CH[1].CFGA\t32 bits\n0x4000012C\tP.CH[1].CFGB\t32 bits\n"
                          "0x40001108\tP2.CH[0].CFGA\t32 bits\n0x4000110C\tP2.CH[0].CFGB\t32 bits\n"
                          "0x40001128\tP2.CH[1].CFGA\t32 bits\n0x4000112C\tP2.CH[1].CFGB\t32 "
                          "bits\n")
            << QString();
    QTest::newRow("find: nothing")
            << QStringList { "find", "@values.svd", "Q.*X" } << 1 << QByteArray()
            << "values.svd: no register or field matches 'Q.*X'\n";

    // One way to write a number in every command: values, addresses, field values.
    const QByteArray ctrl21 = ctrlHeader + "as at reset\n" + ctrlFields21;
    for (const char *form : { "33", "0x21", "0X0000_0021", "0b10_0001", "0B100001", "0'033" }) {
        QTest::addRow("reg: VALUE %s", form)
                << QStringList { "reg", "@values.svd", "P.CTRL", form } << 0 << ctrl21 << QString();
        QTest::addRow("reg: --diff VALUE2 %s", form)
                << QStringList { "reg", "@values.svd", "P.CTRL", "0x21", "--diff", form } << 0
                << ctrlHeader + "0x00000021 → 0x00000021: 0 fields differ\n"
                << QString();
        QTest::addRow("reg: --from %s", form)
                << QStringList { "reg", "@values.svd", "P.CTRL", "--from", form, "DONE=0" } << 0
                << QByteArray("0x00000021\n33\n0000 0000 0000 0000 0000 0000 0010 0001\n")
                << QString();
        QTest::addRow("decode: VALUE %s", form)
                << QStringList { "decode", "--set", "Motor", form } << 0
                << QByteArray("33\n0x00000021\n0000 0000 0000 0000 0000 0000 0010 0001\n"
                              "0\tReady\n5\tStalled\n")
                << QString();
    }
    for (const char *form : { "1073741840", "0x4000_0010", "0x40000010",
                              "0b0100_0000_0000_0000_"
                              "0000_0000_0001_0000" }) {
        QTest::addRow("reg: address %s", form)
                << QStringList { "reg", "@values.svd", form, "0x21" } << 0 << ctrl21 << QString();
        QTest::addRow("find: address %s", form)
                << QStringList { "find", "@values.svd", form } << 0
                << QByteArray("0x40000010\tP.CTRL\t32 bits\n") << QString();
    }
    for (const char *form : { "5", "0x5", "0b101", "0b1_01", "0x0_5" })
        QTest::addRow("reg: field value %s", form)
                << QStringList { "reg", "@values.svd", "P.CTRL",
                                 QStringLiteral("PRESC=%1").arg(form) }
                << 0 << QByteArray("0x00000051\n81\n0000 0000 0000 0000 0000 0000 0101 0001\n")
                << QString();
    // Not numbers: a separator at either end, two together, a sign, a blank, a digit of another
    // base, a prefix alone.
    for (const char *form :
         { "_33", "33_", "3__3", "+33", " 33", "0x21 ", "0b102", "0x", "0x1G" }) {
        QTest::addRow("reg: no VALUE '%s'", form)
                << QStringList { "reg", "@values.svd", "P.CTRL", form } << 2 << QByteArray()
                << "is no value";
        QTest::addRow("decode: no VALUE '%s'", form)
                << QStringList { "decode", "--set", "Motor", form } << 2 << QByteArray()
                << "is no value";
    }
    QTest::newRow("reg: beyond 64 bits")
            << QStringList { "reg", "@values.svd", "P.WIDE", "0x1_0000_0000_0000_0000" } << 2
            << QByteArray() << "is no value";
    QTest::newRow("reg: 64 bits of binary")
            << QStringList { "reg", "@values.svd", "P.WIDE",
                             "LO=0b1111_1111_1111_1111_1111_1111_1111_1111" }
            << 0
            << QByteArray("0x80000000FFFFFFFF\n9223372041149743103\n1000 0000 0000 0000 0000 0000 "
                          "0000 0000 1111 1111 1111 1111 1111 1111 1111 1111\n")
            << QString();

    // find by address: every register whose bytes take it in, alternate registers alike.
    QTest::newRow("find: an address two registers share")
            << QStringList { "find", "@skips.svd", "0x2000_0004" } << 0
            << QByteArray("0x20000004\tA.R2\t32 bits\n0x20000004\tA.ALT\t32 bits\n") << QString();
    // reg takes the first register a name or an address gives, and says where the others are.
    QTest::newRow("reg: a name two registers share without case")
            << QStringList { "reg", "@skips.svd", "a.r1", "1" } << 0
            << QByteArray("A.R1\t0x20000000\t32 bits\tread-write\treset 0x00000000 mask "
                          "0xFFFFFFFF\tdiffers from reset: ON\n[0]\tON\t0x1\t1\t\tread-write\n")
            << "skips.svd: note: A.R1 is the register at 0x20000000 (line 3); the name also fits "
               "A.r1 at 0x20000010 (line 8)\n";
    QTest::newRow("reg: an address two registers share")
            << QStringList { "reg", "@skips.svd", "0x20000004", "0" } << 0
            << QByteArray("A.R2\t0x20000004\t32 bits\tread-write\treset 0x00000000 mask "
                          "0xFFFFFFFF\tas at reset\n[31:0]\tR2\t0x00000000\t0\t\tread-write\n")
            << "skips.svd: note: A.ALT is also at 0x20000004\n";
    QTest::newRow("find: an address inside a 64-bit register")
            << QStringList { "find", "@skips.svd", "0x2000000F" } << 0
            << QByteArray("0x20000008\tA.R3\t64 bits\n") << QString();
    QTest::newRow("find: an address past a register")
            << QStringList { "find", "@skips.svd", "0x20000014" } << 1 << QByteArray()
            << "skips.svd: no register at 0x20000014\n";
    QTest::newRow("find: a name with digits, by wildcard")
            << QStringList { "find", "@skips.svd", "*1" } << 0
            << QByteArray("0x20000000\tA.R1\t32 bits\n0x20000010\tA.r1\t32 bits\n") << QString();
    QTest::newRow("find: --text and an address")
            << QStringList { "find", "@skips.svd", "0x20000004", "--text" } << 2 << QByteArray()
            << "--text is for names";
    QTest::newRow("find: an unclosed [ is a usage error")
            << QStringList { "find", "@values.svd", "P.[" } << 2 << QByteArray()
            << "find: 'P.[' is no wildcard pattern";

    // Names without case, unless two differ only in case.
    QTest::newRow("decode: SET without case")
            << QStringList { "decode", "--set", "MOTOR", "0x21" } << 0
            << QByteArray("33\n0x00000021\n0000 0000 0000 0000 0000 0000 0010 0001\n"
                          "0\tReady\n5\tStalled\n")
            << QString();
    QTest::newRow("encode: SET and LABELs without case")
            << QStringList { "encode", "--set", "motor", "READY", "stalled" } << 0
            << QByteArray("33\n0x00000021\n") << QString();
    QTest::newRow("show: SET without case")
            << QStringList { "show", "@case.ini", "valve" } << 0
            << "0\tEN\tenabled\n1\tEn\tenabled\n2\tOpen\tenabled\n" + unusedLines(3, "\tdisabled")
            << QString();
    QTest::newRow("show: two sets alike without case")
            << QStringList { "show", "@case.ini", "pump" } << 2 << QByteArray()
            << "\"pump\" names several sets without case (PUMP, Pump): give it as it is written";
    QTest::newRow("show: a set given as written, another alike")
            << QStringList { "show", "@case.ini", "PUMP" } << 0
            << "0\tOn\tenabled\n" + unusedLines(1, "\tdisabled") << QString();
    QTest::newRow("encode: two labels alike without case")
            << QStringList { "encode", "@case.ini", "--set", "valve", "en" } << 2 << QByteArray()
            << "shows several labels \"en\" without case (EN, En)";
    QTest::newRow("encode: a label as written, another alike")
            << QStringList { "encode", "@case.ini", "--set", "valve", "En", "OPEN" } << 0
            << QByteArray("6\n0x00000006\n") << QString();

    // import-svd: one summary line whose counts add up to the registers read.
    const QByteArray skipsSets = "[bitlabels]\nA.ALT\\%28bit%200%29=0\nA.ALT\\X=1\nA.R1\\ON=0\n";
    QTest::newRow("import-svd: a count for each reason")
            << QStringList { "import-svd", "@skips.svd" } << 0 << skipsSets
            << "skips.svd: 5 registers read: 2 sets written to standard output, 1 skipped (no "
               "fields), 1 skipped (no field bit below 32 left), 1 skipped (a set of this name "
               "came from an earlier register); 4 notes, listed with --verbose\n";
    QTest::newRow("import-svd: the notes only with --verbose")
            << QStringList { "import-svd", "@skips.svd", "--verbose" } << 0 << skipsSets
            << "skips.svd: note: A.R3: field \"HI\": bit 40 dropped (labels go up to bit 31) "
               "(line 7)\n";
    QTest::newRow("import-svd: --only without case, skipped registers left out")
            << QStringList { "import-svd", "@skips.svd", "--only", "a.R2", "-v" } << 0
            << QByteArray()
            << "skips.svd: 5 registers read: 0 sets written to standard output, 4 left out by "
               "--only, 1 skipped (no fields); nothing written\n";
    QTest::newRow("import-svd: names with ':' and beyond ASCII counted by reason")
            << QStringList { "import-svd", "@oddskips.svd" } << 0
            << QByteArray("[bitlabels]\nA.R\\ON=0\n")
            << "oddskips.svd: 4 registers read: 1 set written to standard output, 3 skipped (no "
               "fields); 3 notes, listed with --verbose\n";
    QTest::newRow("import-svd: --only over names with ':' and beyond ASCII")
            << QStringList { "import-svd", "@oddskips.svd", "--only", "a.?:*" } << 0 << QByteArray()
            << "oddskips.svd: 4 registers read: 0 sets written to standard output, 1 left out by "
               "--only, 3 skipped (no fields); nothing written; 2 notes, listed with --verbose\n";
    QTest::newRow("import-svd: an --only that matches nothing")
            << QStringList { "import-svd", "@small.svd", "--only", "uart.cr", "--only", "UART.CX" }
            << 1 << QByteArray("[bitlabels]\nUART.CR\\EN=0\n")
            << "small.svd: warning: --only 'UART.CX' matches no register\n";
    QTest::newRow("import-svd: --quiet keeps the warning")
            << QStringList { "import-svd", "@small.svd", "-q", "--only", "X*" } << 1 << QByteArray()
            << "small.svd: warning: --only 'X*' matches no register\n";
    QTest::newRow("import-svd: an unclosed [ is a usage error")
            << QStringList { "import-svd", "@small.svd", "--only", "[" } << 2 << QByteArray()
            << "import-svd: '[' is no wildcard pattern";

    // Counts in words.
    QTest::newRow("reg: --diff, one field differs")
            << QStringList { "reg", "@values.svd", "P.CTRL", "0x21", "--diff", "0x20" } << 0
            << ctrlHeader + "0x00000021 → 0x00000020: 1 field differs\n"
                    + "[1:0]\tMODE\t0x1\t1\t(unnamed)\t→\t0x0\t0\tIDLE\n"
            << QString();
    QTest::newRow("reg: a one-bit field is 1 bit wide")
            << QStringList { "reg", "@values.svd", "P.CTRL", "DONE=2" } << 2 << QByteArray()
            << "P.CTRL: 2 does not fit field DONE, 1 bit wide (0 … 1)\n";
    QTest::newRow("reg: --diff of a value with itself warns once")
            << QStringList { "reg", "@values.svd", "P.BYTE", "0xF5", "--diff", "0xF5" } << 1
            << QByteArray("P.BYTE\t0x40000208\t8 bits\tread-write\treset 0x00 mask 0xFF\t0xF5 → "
                          "0xF5: 0 fields differ\n")
            << "values.svd:47: warning: P.BYTE: 0xF5 sets bits 2, 0, which no field covers\n";

    QTest::newRow("reg: --device")
            << QStringList { "reg", "--device", "tiny1", "UART.CR", "1" } << 0
            << QByteArray("UART.CR\t0x00000000\t32 bits\tread-write\treset 0x00000000 mask "
                          "0xFFFFFFFF\tdiffers from reset: EN\n[0]\tEN\t0x1\t1\t\tread-write\n")
            << QString();
    QTest::newRow("find: --device with its vendor")
            << QStringList { "find", "--device", "Acme::TINY1", "OD0" } << 0
            << QByteArray("0x00000000\tGPIOA.ODR.OD0\t[0]\n") << QString();
    QTest::newRow("import-svd: --device")
            << QStringList { "import-svd", "--device=TINY1", "--only", "UART.CR", "--quiet" } << 0
            << QByteArray("[bitlabels]\nUART.CR\\EN=0\n") << QString();
    QTest::newRow("reg: --device, messages name the description's path")
            << QStringList { "reg", "--device", "TINY1", "UART.XX", "1" } << 2 << QByteArray()
            << "/packs/Acme/Tiny_DFP/1.0.0/svd/small.svd: error: no register \"UART.XX\"";
    QTest::newRow("find: --device, no such device")
            << QStringList { "find", "--device", "TINY2", "OD0" } << 2 << QByteArray()
            << "/packs: error: no device \"TINY2\" in its 1 pack (CMSIS_PACK_ROOT); did you "
               "mean TINY1?\n";
    QTest::newRow("import-svd: --device and SVD")
            << QStringList { "import-svd", "--device", "TINY1", "@small.svd" } << 2 << QByteArray()
            << "one SVD file is needed";
    // The description read once from standard input serves the second look for near names.
    QTest::newRow("reg: SVD -, the nearest names")
            << QStringList { "(stdin @values.svd)", "reg", "-", "P.CFG", "1" } << 2 << QByteArray()
            << "<stdin>: error: no register \"P.CFG\"; did you mean P.CTRL,";
    QTest::newRow("find: SVD -, nothing")
            << QStringList { "(stdin @values.svd)", "find", "-", "Q.*X" } << 1 << QByteArray()
            << "<stdin>: no register or field matches 'Q.*X'\n";
    const QByteArray ctrlAtReset = "P.CTRL\t0x40000010\t32 bits\tread-write\treset 0x00000021 mask "
                                   "0x0000FFFF\tas at reset\n"
                                   "[15:12]\tPRESC2\t0x0\t0\tDIV1\tread-write\n"
                                   "[9]\tDONE\t0x0\t0\t\tread-write, writing 1 clears a bit\n"
                                   "[8]\tFLAG\t0x0\t0\t\tread-only, reading clears it\n"
                                   "[7:4]\tPRESC\t0x2\t2\tSLOW\tread-write\n"
                                   "[1:0]\tMODE\t0x1\t1\t(unnamed)\tread-write\n";
    QTest::newRow("dump: GDB, a 64-bit register of two words, bytes of no register, one partly")
            << QStringList { "dump", "@values.svd", "@gdb.txt" } << 0
            << QByteArray("P.CTRL\t0x40000010\t32 bits\tread-write\treset 0x00000021 mask "
                          "0x0000FFFF\tdiffers from reset: PRESC2, DONE, FLAG, PRESC, MODE\n"
                          "[15:12]\tPRESC2\t0x1\t1\tDIV2\tread-write\n"
                          "[9]\tDONE\t0x1\t1\t\tread-write, writing 1 clears a bit\n"
                          "[8]\tFLAG\t0x1\t1\t\tread-only, reading clears it\n"
                          "[7:4]\tPRESC\t0xB\t11\tSLOW\tread-write\n"
                          "[1:0]\tMODE\t0x3\t3\tBUSY\tread-write\n"
                          "P.ALT\t0x40000014\t32 bits\tread-write\treset 0x00000000 mask "
                          "0x0000FFFF\tdiffers from reset: KIND, SPEED\n"
                          "[5:4]\tKIND\t0x2\t2\t\tread-write\n"
                          "[3:0]\tSPEED\t0x5\t5\tDIV2\tread-write\n"
                          "(no register)\t0x40000018\t8 bytes\n"
                          "P.WIDE\t0x40000200\t64 bits\tread-write\treset 0x8000000000000000 mask "
                          "0xFFFFFFFFFFFFFFFF\tdiffers from reset: HI, LO\n"
                          "[63:60]\tHI\t0xF\t15\t\tread-write\n"
                          "[31:0]\tLO\t0x00000001\t1\t\tread-write\n"
                          "P.BYTE\t0x40000208\t8 bits\tread-write\treset 0x00 mask 0xFF\tdiffers "
                          "from reset: B\n"
                          "[7:4]\tB\t0x2\t2\t\tread-write\n"
                          "[3:0]\t(no field)\t0x1\t1\t\t\n"
                          "(no register)\t0x40000209\t1 byte\n"
                          "Q.HALF\t0x50000002\t16 bits\tpartly in the dump: 1 of 2 bytes, not "
                          "decoded\n")
            << QString();
    QTest::newRow("dump: --changed, from standard input, J-Link")
            << QStringList { "(stdin @jlink.txt)", "dump", "@values.svd", "--changed" } << 0
            << QByteArray("P.ALT\t0x40000014\t32 bits\tread-write\treset 0x00000000 mask "
                          "0x0000FFFF\tdiffers from reset: KIND\n"
                          "[5:4]\tKIND\t0x1\t1\t\tread-write\n")
            << QString();
    QTest::newRow("dump: --diff, registers in one dump only, one partly")
            << QStringList { "(in the scratch directory)",
                             "dump",
                             "values.svd",
                             "gdb.txt",
                             "--diff",
                             "openocd.txt" }
            << 0
            << QByteArray("P.CTRL\t0x40000010\t32 bits\tread-write\treset 0x00000021 mask "
                          "0x0000FFFF\t0x000013B3 → 0x000013B1: 1 field differs\n"
                          "[1:0]\tMODE\t0x3\t3\tBUSY\t→\t0x1\t1\t(unnamed)\n"
                          "P.CH[0].CFGA\t0x40000108\t32 bits\tonly in openocd.txt\n"
                          "P.CH[0].CFGB\t0x4000010C\t32 bits\tonly in openocd.txt\n"
                          "P.WIDE\t0x40000200\t64 bits\tonly in gdb.txt\n"
                          "P.BYTE\t0x40000208\t8 bits\tonly in gdb.txt\n"
                          "Q.HALF\t0x50000002\t16 bits\tpartly in gdb.txt: 1 of 2 bytes\n")
            << QString();
    QTest::newRow("dump: --diff of a dump with itself")
            << QStringList { "dump", "@values.svd", "@gdb.txt", "--diff", "@gdb.txt" } << 0
            << QByteArray("Q.HALF\t0x50000002\t16 bits\tpartly in " + path("gdb.txt").toUtf8()
                          + ": 1 of 2 bytes; partly in " + path("gdb.txt").toUtf8()
                          + ": 1 of 2 bytes\n")
            << QString();
    QTest::newRow("dump: regmap offsets with --base, an unreadable register")
            << QStringList { "dump", "@values.svd", "--base", "0x40000000", "@regmap.txt" } << 0
            << ctrlAtReset
                    + "P.ALT\t0x40000014\t32 bits\tnot readable in the dump\n"
                      "P.BYTE\t0x40000208\t8 bits\tread-write\treset 0x00 mask 0xFF\tas at reset\n"
                      "[7:4]\tB\t0x0\t0\t\tread-write\n"
                      "[3:0]\t(no field)\t0x7\t7\t\t\n"
            << QString();
    QTest::newRow("dump: --big-endian bytes")
            << QStringList { "dump", "@values.svd", "@bytes.txt", "--big-endian" } << 0
            << QByteArray("P.WIDE\t0x40000200\t64 bits\tread-write\treset 0x8000000000000000 mask "
                          "0xFFFFFFFFFFFFFFFF\tdiffers from reset: LO\n"
                          "[63:60]\tHI\t0x8\t8\t\tread-write\n"
                          "[31:0]\tLO\t0x00000001\t1\t\tread-write\n")
            << QString();
    QTest::newRow("dump: bytes little-endian")
            << QStringList { "dump", "@values.svd", "@bytes.txt" } << 0
            << QByteArray("P.WIDE\t0x40000200\t64 bits\tread-write\treset 0x8000000000000000 mask "
                          "0xFFFFFFFFFFFFFFFF\tdiffers from reset: HI, LO\n"
                          "[63:60]\tHI\t0x0\t0\t\tread-write\n"
                          "[31:0]\tLO\t0x00000080\t128\t\tread-write\n"
                          "[59:32]\t(no field)\t0x1000000\t16777216\t\t\n")
            << QString();
    QTest::newRow("dump: register names, a line of no known form, an unknown name")
            << QStringList { "(in the scratch directory)", "dump", "values.svd", "named.txt" } << 1
            << ctrlAtReset
                    + "P.BYTE\t0x40000208\t8 bits\tread-write\treset 0x00 mask 0xFF\tas at reset\n"
                      "[7:4]\tB\t0x0\t0\t\tread-write\n"
                      "[3:0]\t(no field)\t0x5\t5\t\t\n"
                      "Q.HALF\t0x50000002\t16 bits\tread-only\treset 0x0005 mask 0xFFFF\tdiffers "
                      "from reset: N\n"
                      "[15:8]\tN\t0x12\t18\t\tread-only\n"
                      "[2:0]\tM\t0x5\t5\t\tread-only\n"
            << "named.txt:3: warning: not a dump line of any known form\n"
               "named.txt:4: warning: no register \"P.NOPE\"\n";
    QTest::newRow("dump: a register given twice, the later value; another partly")
            << QStringList { "(in the scratch directory)", "dump", "values.svd", "twice.txt" } << 1
            << ctrlAtReset
                    + "P.ALT\t0x40000014\t32 bits\tpartly in the dump: 1 of 4 bytes, not decoded\n"
            << "twice.txt:3: warning: P.CTRL given again (first on line 1): the later value "
               "counts\n";
    QTest::newRow("dump: rising addresses with gaps, one inside a register")
            << QStringList { "dump", "@values.svd", "@gaps.txt" } << 0
            << QByteArray("P.CTRL\t0x40000010\t32 bits\tpartly in the dump: 3 of 4 bytes, not "
                          "decoded\n"
                          "P.ALT\t0x40000014\t32 bits\tpartly in the dump: 2 of 4 bytes, not "
                          "decoded\n"
                          "(no register)\t0x40000018\t2 bytes\n"
                          "P.BYTE\t0x40000208\t8 bits\tread-write\treset 0x00 mask 0xFF\tdiffers "
                          "from reset: B\n"
                          "[7:4]\tB\t0x2\t2\t\tread-write\n"
                          "[3:0]\t(no field)\t0x1\t1\t\t\n")
            << QString();
    QTest::newRow("dump: the last address of 64 bits given twice, bytes out of order")
            << QStringList { "(in the scratch directory)", "dump", "values.svd", "last.txt" } << 1
            << QByteArray("P.BYTE\t0x40000208\t8 bits\tread-write\treset 0x00 mask 0xFF\tas at "
                          "reset\n"
                          "[7:4]\tB\t0x0\t0\t\tread-write\n"
                          "[3:0]\t(no field)\t0x7\t7\t\t\n"
                          "(no register)\t0x40000209\t1 byte\n"
                          "(no register)\t0xFFFFFFFFFFFFFFFE\t2 bytes\n")
            << "last.txt:3: warning: 0xFFFFFFFFFFFFFFFF given again (first on line 2): the later "
               "value counts\n";
    // Names are written as they are, in UTF-8, whatever they hold; aligned, escaped and padded by
    // the columns a terminal gives them.
    QTest::newRow("dump: names of controls, wide and combining characters")
            << QStringList { "dump", "@odd.svd", "@odd.txt" } << 0
            << QByteArray("J.Q\"B\tC\xc2\x85\xe2\x80\xa8\xc3\xa9\xf0\x9f\x98\x80\t0x40000000\t32 "
                          "bits\tread-write\treset 0x00000000 mask 0xFFFFFFFF\tdiffers from "
                          "reset: X\\\xc2\x9b"
                          "2J, e\xcc\x81, \xe6\xb8\xa9\xe5\xba\xa6\n"
                          "[5]\tX\\\xc2\x9b"
                          "2J\t0x1\t1\t\tread-write\n"
                          "[4]\te\xcc\x81\t0x1\t1\t\tread-write\n"
                          "[3:0]\t\xe6\xb8\xa9\xe5\xba\xa6\t0xF\t15\t\tread-write\n"
                          "[31:6]\t(no field)\t0x0000001\t1\t\t\n"
                          "(no register)\t0x40000004\t4 bytes\n")
            << QString();
    QTest::newRow("dump, aligned: names of controls, wide and combining characters")
            << QStringList { "(aligned)", "dump", "@odd.svd", "@odd.txt" } << 0
            << QByteArray("J.Q\"B\\tC\\x85\\u2028\xc3\xa9\xf0\x9f\x98\x80  0x40000000  32 bits  "
                          "read-write  reset 0x00000000 mask 0xFFFFFFFF  differs from reset: "
                          "X\\\\\\x9B2J, e\xcc\x81, \xe6\xb8\xa9\xe5\xba\xa6\n"
                          "[5]     X\\\\\\x9B2J   0x1        1     read-write\n"
                          "[4]     e\xcc\x81           0x1        1     read-write\n"
                          "[3:0]   \xe6\xb8\xa9\xe5\xba\xa6        0xF        15    read-write\n"
                          "[31:6]  (no field)  0x0000001  1\n"
                          "(no register)          0x40000004  4 bytes\n")
            << QString();
    // Both registers of the small description lie at 0: a value for one is the other's too.
    QTest::newRow("dump: --device, registers at the same address")
            << QStringList { "(stdin @named-small.txt)", "dump", "--device", "TINY1" } << 0
            << QByteArray("GPIOA.ODR\t0x00000000\t32 bits\tread-write\treset 0x00000000 mask "
                          "0xFFFFFFFF\tdiffers from reset: MODE, OD0\n"
                          "[3:2]\tMODE\t0x1\t1\t\tread-write\n"
                          "[0]\tOD0\t0x1\t1\t\tread-write\n"
                          "UART.CR\t0x00000000\t32 bits\tread-write\treset 0x00000000 mask "
                          "0xFFFFFFFF\tdiffers from reset: EN\n"
                          "[0]\tEN\t0x1\t1\t\tread-write\n"
                          "[31:1]\t(no field)\t0x00000002\t2\t\t\n")
            << QString();
    QTest::newRow("dump: a value wider than its unit")
            << QStringList { "dump", "@values.svd", "@wide.txt" } << 2 << QByteArray()
            << "wide.txt:1: error: the value 000000021 is wider than the line's unit of 32 bits\n";
    QTest::newRow("dump: a value wider than its register")
            << QStringList { "dump", "@values.svd", "@toobig.txt" } << 2 << QByteArray()
            << "toobig.txt:1: error: 0x100 does not fit P.BYTE, whose size is 8 bits\n";
    QTest::newRow("dump: a base that wraps")
            << QStringList { "dump", "@values.svd", "@regmap.txt", "--base", "0xFFFFFFFFFFFFFFF0" }
            << 2 << QByteArray() << "regmap.txt:1: error: the address 0x10 with the base";
    QTest::newRow("dump: binary bytes") << QStringList { "dump", "@values.svd", "@nul.ini" } << 2
                                        << QByteArray() << "nul.ini:3: error: holds binary bytes";
    QTest::newRow("dump: a dump over 16 MiB")
            << QStringList { "dump", "@values.svd", "@big.ini" } << 2 << QByteArray()
            << "big.ini: error: is larger than 16 MiB\n";
    QTest::newRow("dump: a standard input that never ends")
            << QStringList { "(stdin /dev/zero)", "dump", "@values.svd" } << 2 << QByteArray()
            << "<stdin>: error: is larger than 16 MiB\n";
    QTest::newRow("dump: a malformed description")
            << QStringList { "dump", "@cut.svd", "@gdb.txt" } << 2 << QByteArray() << "cut.svd:5:";
    QTest::newRow("dump: no such dump")
            << QStringList { "dump", "@values.svd", "@gdb.txt", "--diff", "@none.txt" } << 2
            << QByteArray() << "none.txt: error: no such file or directory\n";
    QTest::newRow("dump: standard input twice") << QStringList { "dump", "-" } << 2 << QByteArray()
                                                << "standard input (-) can be read only once";
    QTest::newRow("dump: --changed and --diff")
            << QStringList { "dump", "@values.svd", "@gdb.txt", "--changed", "--diff", "@gdb.txt" }
            << 2 << QByteArray() << "--changed decodes one dump; --diff compares two";
    QTest::newRow("dump: a base that is no number")
            << QStringList { "dump", "@values.svd", "@gdb.txt", "--base", "0xg" } << 2
            << QByteArray() << "'0xg' is no address";
    // JSON Lines, keys in the order a person reads them; every value, address and mask a string,
    // so that a 64-bit one beyond 2^53 stays exact.
    QTest::newRow("reg --json: a name to escape, wide and combining characters, uncovered bits")
            << QStringList { "reg", "--json", "@odd.svd", "0x40000000", "0x7F" } << 1
            << QByteArray(R"({"register":"J.Q\"B\tC\u0085\u2028é😀","address":"0x40000000",)"
                          R"("size":32,"access":"read-write","reset":"0x00000000",)"
                          R"("resetMask":"0xFFFFFFFF","value":"0x0000007F","fields":[)"
                          R"({"name":"X\\\u009b2J","msb":5,"lsb":5,"value":"0x1","enum":null,)"
                          R"("access":"read-write"},)"
                          R"({"name":")"
                          "e\xcc\x81"
                          R"(","msb":4,"lsb":4,"value":"0x1","enum":null,)"
                          R"("access":"read-write"},)"
                          R"({"name":"温度","msb":3,"lsb":0,"value":"0xF","enum":null,)"
                          R"("access":"read-write"}],"uncovered":"0x00000040"})"
                          "\n")
            << "0x0000007F sets bit 6, which no field covers";
    const QByteArray wideStart =
            R"({"register":"P.WIDE","address":"0x40000200","size":64,"access":"read-write",)"
            R"("reset":"0x8000000000000000","resetMask":"0xFFFFFFFFFFFFFFFF",)";
    QTest::newRow("reg --json: a 64-bit value beyond 2^53, exact")
            << QStringList { "(aligned)",          "reg",   "@values.svd", "P.WIDE",
                             "0x9000000100000001", "--json" }
            << 1
            << wideStart
                    + R"("value":"0x9000000100000001","fields":[)"
                      R"({"name":"HI","msb":63,"lsb":60,"value":"0x9","enum":null,)"
                      R"("access":"read-write"},)"
                      R"({"name":"LO","msb":31,"lsb":0,"value":"0x00000001","enum":null,)"
                      R"("access":"read-write"}],"uncovered":"0x0000000100000000"})"
                      "\n"
            << "sets bit 32, which no field covers";
    const QByteArray ctrlStart =
            R"({"register":"P.CTRL","address":"0x40000010","size":32,"access":"read-write",)"
            R"("reset":"0x00000021","resetMask":"0x0000FFFF",)";
    QTest::newRow("reg --json --diff: old and new, names and no names")
            << QStringList { "reg", "--json", "@values.svd", "P.CTRL", "0x13b3", "--diff", "0x21" }
            << 0
            << ctrlStart
                    + R"("value":{"old":"0x000013B3","new":"0x00000021"},"fields":[)"
                      R"({"name":"PRESC2","msb":15,"lsb":12,"value":{"old":"0x1","new":"0x0"},)"
                      R"("enum":{"old":"DIV2","new":"DIV1"},"access":"read-write"},)"
                      R"({"name":"DONE","msb":9,"lsb":9,"value":{"old":"0x1","new":"0x0"},)"
                      R"("enum":{"old":null,"new":null},"access":"read-write"},)"
                      R"({"name":"FLAG","msb":8,"lsb":8,"value":{"old":"0x1","new":"0x0"},)"
                      R"("enum":{"old":null,"new":null},"access":"read-only"},)"
                      R"({"name":"PRESC","msb":7,"lsb":4,"value":{"old":"0xB","new":"0x2"},)"
                      R"("enum":{"old":"SLOW","new":"SLOW"},"access":"read-write"},)"
                      R"({"name":"MODE","msb":1,"lsb":0,"value":{"old":"0x3","new":"0x1"},)"
                      R"("enum":{"old":"BUSY","new":null},"access":"read-write"}],)"
                      R"("uncovered":{"old":null,"new":null}})"
                      "\n"
            << QString();
    QTest::newRow("reg --json: a value composed, decoded")
            << QStringList { "reg", "--json", "@values.svd", "P.CTRL", "MODE=START", "PRESC=DIV2" }
            << 0
            << ctrlStart
                    + R"("value":"0x00000011","fields":[)"
                      R"({"name":"PRESC2","msb":15,"lsb":12,"value":"0x0","enum":"DIV1",)"
                      R"("access":"read-write"},)"
                      R"({"name":"DONE","msb":9,"lsb":9,"value":"0x0","enum":null,)"
                      R"("access":"read-write"},)"
                      R"({"name":"FLAG","msb":8,"lsb":8,"value":"0x0","enum":null,)"
                      R"("access":"read-only"},)"
                      R"({"name":"PRESC","msb":7,"lsb":4,"value":"0x1","enum":"DIV2",)"
                      R"("access":"read-write"},)"
                      R"({"name":"MODE","msb":1,"lsb":0,"value":"0x1","enum":null,)"
                      R"("access":"read-write"}],"uncovered":null})"
                      "\n"
            << QString();
    QTest::newRow("find --json: a register, then each field, without values")
            << QStringList { "find", "--json", "@values.svd", "p.wide*" } << 0
            << wideStart
                    + R"("value":null,"fields":[],"uncovered":null})"
                      "\n"
                    + wideStart
                    + R"("value":null,"fields":[{"name":"HI","msb":63,"lsb":60,"value":null,)"
                      R"("enum":null,"access":"read-write"}],"uncovered":null})"
                      "\n"
                    + wideStart
                    + R"("value":null,"fields":[{"name":"LO","msb":31,"lsb":0,"value":null,)"
                      R"("enum":null,"access":"read-write"}],"uncovered":null})"
                      "\n"
            << QString();
    QTest::newRow("find --json: an address")
            << QStringList { "find", "--json", "@values.svd", "0x50000003" } << 0
            << QByteArray(R"({"register":"Q.HALF","address":"0x50000002","size":16,)"
                          R"("access":"read-only","reset":"0x0005","resetMask":"0xFFFF",)"
                          R"("value":null,"fields":[],"uncovered":null})"
                          "\n")
            << QString();
    QTest::newRow("dump --json: decoded, bytes of no register, one partly")
            << QStringList { "dump", "--json", "@values.svd", "@gdb.txt" } << 0
            << ctrlStart
                    + R"("value":"0x000013B3","fields":[)"
                      R"({"name":"PRESC2","msb":15,"lsb":12,"value":"0x1","enum":"DIV2",)"
                      R"("access":"read-write"},)"
                      R"({"name":"DONE","msb":9,"lsb":9,"value":"0x1","enum":null,)"
                      R"("access":"read-write"},)"
                      R"({"name":"FLAG","msb":8,"lsb":8,"value":"0x1","enum":null,)"
                      R"("access":"read-only"},)"
                      R"({"name":"PRESC","msb":7,"lsb":4,"value":"0xB","enum":"SLOW",)"
                      R"("access":"read-write"},)"
                      R"({"name":"MODE","msb":1,"lsb":0,"value":"0x3","enum":"BUSY",)"
                      R"("access":"read-write"}],"uncovered":null})"
                      "\n"
                      R"({"register":"P.ALT","address":"0x40000014","size":32,)"
                      R"("access":"read-write","reset":"0x00000000","resetMask":"0x0000FFFF",)"
                      R"("value":"0x00000025","fields":[)"
                      R"({"name":"KIND","msb":5,"lsb":4,"value":"0x2","enum":null,)"
                      R"("access":"read-write"},)"
                      R"({"name":"SPEED","msb":3,"lsb":0,"value":"0x5","enum":"DIV2",)"
                      R"("access":"read-write"}],"uncovered":null})"
                      "\n"
                      R"({"register":null,"address":"0x40000018","size":64,"access":null,)"
                      R"("reset":null,"resetMask":null,"value":null,"fields":[],"uncovered":null,)"
                      R"("note":"no register: 8 bytes"})"
                      "\n"
                    + wideStart
                    + R"("value":"0xF000000000000001","fields":[)"
                      R"({"name":"HI","msb":63,"lsb":60,"value":"0xF","enum":null,)"
                      R"("access":"read-write"},)"
                      R"({"name":"LO","msb":31,"lsb":0,"value":"0x00000001","enum":null,)"
                      R"("access":"read-write"}],"uncovered":null})"
                      "\n"
                      R"({"register":"P.BYTE","address":"0x40000208","size":8,)"
                      R"("access":"read-write","reset":"0x00","resetMask":"0xFF","value":"0x21",)"
                      R"("fields":[{"name":"B","msb":7,"lsb":4,"value":"0x2","enum":null,)"
                      R"("access":"read-write"}],"uncovered":"0x01"})"
                      "\n"
                      R"({"register":null,"address":"0x40000209","size":8,"access":null,)"
                      R"("reset":null,"resetMask":null,"value":null,"fields":[],"uncovered":null,)"
                      R"("note":"no register: 1 byte"})"
                      "\n"
                      R"({"register":"Q.HALF","address":"0x50000002","size":16,)"
                      R"("access":"read-only","reset":"0x0005","resetMask":"0xFFFF",)"
                      R"("value":null,"fields":[],"uncovered":null,)"
                      R"("note":"partly in the dump: 1 of 2 bytes, not decoded"})"
                      "\n"
            << QString();
    QTest::newRow("dump --json --changed: the fields that differ from reset")
            << QStringList { "(stdin @jlink.txt)", "dump", "@values.svd", "--changed", "--json" }
            << 0
            << QByteArray(R"({"register":"P.ALT","address":"0x40000014","size":32,)"
                          R"("access":"read-write","reset":"0x00000000","resetMask":"0x0000FFFF",)"
                          R"("value":"0x00000010","fields":[)"
                          R"({"name":"KIND","msb":5,"lsb":4,"value":"0x1","enum":null,)"
                          R"("access":"read-write"}],"uncovered":null})"
                          "\n")
            << QString();
    QTest::newRow("dump --json --diff: registers in one dump only, one partly")
            << QStringList { "(in the scratch directory)",
                             "dump",
                             "--json",
                             "values.svd",
                             "gdb.txt",
                             "--diff",
                             "openocd.txt" }
            << 0
            << ctrlStart
                    + R"("value":{"old":"0x000013B3","new":"0x000013B1"},"fields":[)"
                      R"({"name":"MODE","msb":1,"lsb":0,"value":{"old":"0x3","new":"0x1"},)"
                      R"("enum":{"old":"BUSY","new":null},"access":"read-write"}],)"
                      R"("uncovered":{"old":null,"new":null}})"
                      "\n"
                      R"({"register":"P.CH[0].CFGA","address":"0x40000108","size":32,)"
                      R"("access":"read-write","reset":"0x00000000","resetMask":"0x0000FFFF",)"
                      R"("value":{"old":null,"new":"0x00000001"},"fields":[],)"
                      R"("uncovered":{"old":null,"new":null},"note":"only in openocd.txt"})"
                      "\n"
                      R"({"register":"P.CH[0].CFGB","address":"0x4000010C","size":32,)"
                      R"("access":"read-write","reset":"0x00000000","resetMask":"0x0000FFFF",)"
                      R"("value":{"old":null,"new":"0x00000000"},"fields":[],)"
                      R"("uncovered":{"old":null,"new":null},"note":"only in openocd.txt"})"
                      "\n"
                    + wideStart
                    + R"("value":{"old":"0xF000000000000001","new":null},"fields":[],)"
                      R"("uncovered":{"old":null,"new":null},"note":"only in gdb.txt"})"
                      "\n"
                      R"({"register":"P.BYTE","address":"0x40000208","size":8,)"
                      R"("access":"read-write","reset":"0x00","resetMask":"0xFF",)"
                      R"("value":{"old":"0x21","new":null},"fields":[],)"
                      R"("uncovered":{"old":"0x01","new":null},"note":"only in gdb.txt"})"
                      "\n"
                      R"({"register":"Q.HALF","address":"0x50000002","size":16,)"
                      R"("access":"read-only","reset":"0x0005","resetMask":"0xFFFF",)"
                      R"("value":{"old":null,"new":"0x0005"},"fields":[],)"
                      R"("uncovered":{"old":null,"new":null},"note":"partly in gdb.txt: 1 of 2 bytes"})"
                      "\n"
            << QString();
    // On a terminal, each kind of row in columns of its own widest cells, measured as a terminal
    // shows them; the last cell of a row widens nothing.
    QTest::newRow("reg, aligned: --diff, the arrow in its column") << QStringList { "(aligned)",
                                                                                    "reg",
                                                                                    "@values.svd",
                                                                                    "P.CTRL",
                                                                                    "0x13b3",
                                                                                    "--diff",
                                                                                    "0x21" }
                                                                   << 0
                                                                   << QByteArray(
                                                                              "P.CTRL  0x40000010  "
                                                                              "32 bits  read-write "
                                                                              " reset 0x00000021 "
                                                                              "mask "
                                                                              "0x0000FFFF  "
                                                                              "0x000013B3 → "
                                                                              "0x00000021: 5 "
                                                                              "fields differ\n"
                                                                              "[15:12]  PRESC2  "
                                                                              "0x1  1   DIV2  →  "
                                                                              "0x0  0  DIV1\n"
                                                                              "[9]      DONE    "
                                                                              "0x1  1         →  "
                                                                              "0x0  0\n"
                                                                              "[8]      FLAG    "
                                                                              "0x1  1         →  "
                                                                              "0x0  0\n"
                                                                              "[7:4]    PRESC   "
                                                                              "0xB  11  SLOW  →  "
                                                                              "0x2  2  SLOW\n"
                                                                              "[1:0]    MODE    "
                                                                              "0x3  3   BUSY  →  "
                                                                              "0x1  1  (unnamed)\n")
                                                                   << QString();
    QTest::newRow("dump, aligned: registers, fields, bytes of no register, a note")
            << QStringList { "(aligned)", "dump", "@values.svd", "@gdb.txt" } << 0
            << QByteArray("P.CTRL         0x40000010  32 bits  read-write  reset 0x00000021 mask "
                          "0x0000FFFF                  differs from reset: PRESC2, DONE, FLAG, "
                          "PRESC, MODE\n"
                          "[15:12]  PRESC2      0x1         1   DIV2  read-write\n"
                          "[9]      DONE        0x1         1         read-write, writing 1 "
                          "clears a bit\n"
                          "[8]      FLAG        0x1         1         read-only, reading clears "
                          "it\n"
                          "[7:4]    PRESC       0xB         11  SLOW  read-write\n"
                          "[1:0]    MODE        0x3         3   BUSY  read-write\n"
                          "P.ALT          0x40000014  32 bits  read-write  reset 0x00000000 mask "
                          "0x0000FFFF                  differs from reset: KIND, SPEED\n"
                          "[5:4]    KIND        0x2         2         read-write\n"
                          "[3:0]    SPEED       0x5         5   DIV2  read-write\n"
                          "(no register)  0x40000018  8 bytes\n"
                          "P.WIDE         0x40000200  64 bits  read-write  reset "
                          "0x8000000000000000 mask 0xFFFFFFFFFFFFFFFF  differs from reset: HI, "
                          "LO\n"
                          "[63:60]  HI          0xF         15        read-write\n"
                          "[31:0]   LO          0x00000001  1         read-write\n"
                          "P.BYTE         0x40000208  8 bits   read-write  reset 0x00 mask 0xFF "
                          "                             differs from reset: B\n"
                          "[7:4]    B           0x2         2         read-write\n"
                          "[3:0]    (no field)  0x1         1\n"
                          "(no register)  0x40000209  1 byte\n"
                          "Q.HALF         0x50000002  16 bits  partly in the dump: 1 of 2 bytes, "
                          "not decoded\n")
            << QString();
    // Measured in a first pass, written in a second: the warning said once.
    QTest::newRow("dump --diff, aligned: a register given twice, one partly, others in one dump")
            << QStringList { "(aligned)",  "(in the scratch directory)",
                             "dump",       "values.svd",
                             "twice.txt",  "--diff",
                             "openocd.txt" }
            << 1
            << QByteArray("P.CTRL        0x40000010  32 bits  read-write  reset 0x00000021 mask "
                          "0x0000FFFF  0x00000021 → 0x000013B1: 4 fields differ\n"
                          "[15:12]  PRESC2  0x0  0  DIV1  →  0x1  1   DIV2\n"
                          "[9]      DONE    0x0  0        →  0x1  1\n"
                          "[8]      FLAG    0x0  0        →  0x1  1\n"
                          "[7:4]    PRESC   0x2  2  SLOW  →  0xB  11  SLOW\n"
                          "P.ALT         0x40000014  32 bits  partly in twice.txt: 1 of 4 bytes\n"
                          "P.CH[0].CFGA  0x40000108  32 bits  only in openocd.txt\n"
                          "P.CH[0].CFGB  0x4000010C  32 bits  only in openocd.txt\n"
                          "Q.HALF        0x50000002  16 bits  only in openocd.txt\n")
            << "twice.txt:3: warning: P.CTRL given again (first on line 1): the later value "
               "counts\n";
    // A name wider than 80 columns runs past its column, widening none.
    const QByteArray longName = "0x50000000  L.LONG" + QByteArray(80, 'X');
    QTest::newRow("find, aligned: wide and combining characters, controls escaped, a long name")
            << QStringList { "(aligned)", "find", "@odd.svd", "*" } << 0
            << "0x40000000  J.Q\"B\\tC\\x85\\u2028é😀            32 bits\n"
               "0x40000000  J.Q\"B\\tC\\x85\\u2028é😀.温度       [3:0]\n"
               "0x40000000  J.Q\"B\\tC\\x85\\u2028é😀.e\xcc\x81          [4]\n"
               "0x40000000  J.Q\"B\\tC\\x85\\u2028é😀.X\\\\\\x9B2J  [5]\n"
                    + longName + "  32 bits\n" + longName + ".F  [0]\n"
            << QString();
    QTest::newRow("reg: a Latin-1 SVD")
            << QStringList { "(bytes)", "reg", "@s\\0351.svd", "P.X", "1" } << 2 << QByteArray()
            << undecodable;
}

void tst_LabelTool::commands()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QString, err);
    // Not QSKIP: its empty "..." is an extension that clang's -Wpedantic reports.
    const auto skip = [](const char *reason) { QTest::qSkip(reason, __FILE__, __LINE__); };
    Child child;
    QByteArrayList cleanups; // directories to remove, links to unlink, mounts to undo, in order
    const auto cleanup = qScopeGuard([&] {
#ifdef Q_OS_LINUX
        for (const QByteArray &name : std::as_const(cleanups)) {
            if (name.startsWith("umount:"))
                ::umount(name.mid(7).constData());
            else if (::unlink(name.constData()) != 0)
                ::rmdir(name.constData());
        }
#endif
    });
    // Leading "(...)" arguments say how the tool is started.
    while (arguments.value(0).startsWith(u'(')) {
        const QString how = arguments.takeFirst();
        if (how.startsWith(QLatin1String("(stdin @"))) {
            child.in = path(how.mid(8).chopped(1));
        } else if (how == QLatin1String("(stdin /dev/zero)")) {
            child.in = QStringLiteral("/dev/zero"); // never ends
        } else if (how == QLatin1String("(in the scratch directory)")) {
            child.directory = scratch.path(); // names in messages as given
        } else if (how == QLatin1String("(aligned)")) {
            // As on a terminal, which the tests have none of.
            child.prefix = QStringList { QStringLiteral("env"),
                                         QStringLiteral("MASKCALC_ALIGNED_OUTPUT=1") };
        } else if (how == QLatin1String("(stdout /dev/full)")) {
            child.out = QStringLiteral("/dev/full");
        } else if (how == QLatin1String("(stderr /dev/full)")) {
            child.err = QStringLiteral("/dev/full");
        } else if (how == QLatin1String("(unprivileged)")) {
#ifdef Q_OS_UNIX
            if (!childrun::unprivilegedPrefix(&child.prefix))
                return skip("runs as root without setpriv to drop root's rights");
#else
            return skip("file modes that deny reading are a Unix matter");
#endif
#ifdef Q_OS_LINUX
        } else if (how == QLatin1String("(stdout on a full file system)")) {
            // Room for a part of the output only: the file is cut off where the disk was full.
            const QByteArray mount = QFile::encodeName(path(QStringLiteral("full")));
            QCOMPARE(::mkdir(mount.constData(), 0755), 0);
            cleanups.append(mount);
            if (::mount("tmpfs", mount.constData(), "tmpfs", 0, "size=16k") != 0)
                return skip("cannot mount a small tmpfs here (not root, or no right to mount)");
            cleanups.prepend("umount:" + mount);
            child.out = path(QStringLiteral("full/labels.ini"));
        } else if (how.startsWith(QLatin1String("(stdout a closed pipe"))) {
            // The reader is gone before the first write: EPIPE, and SIGPIPE unless ignored. The
            // signal is ignored by a shell in between, as a caller's would be: newer QProcess
            // sets SIGPIPE back to its default after the modifier has run.
            if (how.contains(QLatin1String("SIGPIPE ignored")))
                child.prefix = QStringList { QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                             QStringLiteral("trap '' PIPE; exec \"$@\""),
                                             QStringLiteral("sh") };
            child.modifier = [] {
                int ends[2];
                if (::pipe(ends) == 0) {
                    ::dup2(ends[1], STDOUT_FILENO);
                    ::close(ends[0]);
                    ::close(ends[1]);
                }
                std::signal(SIGPIPE, SIG_DFL);
            };
        } else if (how == QLatin1String("(stdout closed)")) {
            child.modifier = [] { ::close(STDOUT_FILENO); };
        } else if (how == QLatin1String("(bytes)")) {
            // QProcess passes arguments as UTF-8: the shell turns "\0351" into the byte 0xe9.
            child.prefix = QStringList { QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                         QStringLiteral("for a do set -- \"$@\" \"$(printf '%b' "
                                                        "\"$a\")\"; shift; done; exec \"$@\""),
                                         QStringLiteral("sh") };
            child.tool = path(QStringLiteral("K732-118-labels"));
        } else if (how == QLatin1String("(alone)") || how == QLatin1String("(latin1 directory)")) {
            // A copy with no label file beside it, or in a directory whose Latin-1 name is no
            // valid UTF-8, started through a link.
            const bool latin1 = how.contains(QLatin1String("latin1"));
            const QByteArray dir =
                    QFile::encodeName(path(QStringLiteral("Donn"))) + (latin1 ? "\xe9" : "") + "es";
            QCOMPARE(::mkdir(dir.constData(), 0755), 0);
            cleanups.prepend(dir);
            QCOMPARE(::link(QFile::encodeName(path(QStringLiteral("K732-118-labels"))).constData(),
                            (dir + "/K732-118-labels").constData()),
                     0);
            cleanups.prepend(dir + "/K732-118-labels");
            QCOMPARE(::symlink(dir.constData(),
                               QFile::encodeName(path(QStringLiteral("link"))).constData()),
                     0);
            cleanups.prepend(QFile::encodeName(path(QStringLiteral("link"))));
            child.tool = path(QStringLiteral("link/K732-118-labels"));
#endif
        } else {
            return skip("starting the tool this way is a Linux matter");
        }
    }

    const QMap<QString, QByteArray> before = snapshot(scratch.path());
    const Run result = run(arguments, child);
    QCOMPARE(result.out, out);
    const QString errText = QString::fromUtf8(result.err);
    QVERIFY2(err.isEmpty() ? errText.isEmpty() : errText.contains(err), qPrintable(errText));
    // JSON Lines: each line one object that a JSON reader takes, names as the description has
    // them.
    if (arguments.contains(QLatin1String("--json"))) {
        for (const QByteArray &line : result.out.split('\n')) {
            if (line.isEmpty())
                continue;
            QJsonParseError error {};
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            QVERIFY2(document.isObject(), qPrintable(error.errorString()));
            const QString name = document.object().value(QLatin1String("register")).toString();
            if (name.startsWith(QLatin1String("J.Q")))
                QCOMPARE(name, oddName);
        }
    }
    // Nothing is said twice.
    QStringList errLines = errText.split(u'\n', Qt::SkipEmptyParts);
    errLines.removeDuplicates();
    QCOMPARE(errLines.size(), errText.split(u'\n', Qt::SkipEmptyParts).size());
    // Only the tool's own messages reach the user, never one of Qt's.
    QVERIFY2(!errText.contains(QLatin1String("QSettings")), qPrintable(errText));
    QCOMPARE(result.exitCode, exitCode);
    // No command here writes a file: none is changed, and none appears (a name's U+FFFD twin).
    QCOMPARE(snapshot(scratch.path()), before);
}

void tst_LabelTool::importInto_data()
{
    QTest::addColumn<QByteArray>("before"); // empty: no file, --output
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QString>("err");

    QTest::newRow("--output: a new file")
            << QByteArray() << QStringList { "GPIOA.ODR", "UART.CR" } << "2 sets written";
    QTest::newRow("--into: an empty file")
            << QByteArray("") << QStringList { "GPIOA.ODR", "UART.CR" } << "2 sets written";
    QTest::newRow("--into: CRLF, byte order mark, comments, a section after")
            << QByteArray("\xef\xbb\xbf; mine\r\n[bitlabels]\r\nMotor\\Run=0\r\n; end\r\n"
                          "[other]\r\nkeep=1")
            << QStringList { "GPIOA.ODR", "UART.CR" } << "2 sets written";
    QTest::newRow("--into: a set already there is not added")
            << QByteArray("[bitlabels]\nUART.CR\\Mine=0\n") << QStringList { "GPIOA.ODR" }
            << "into.ini, 1 already in ";
}

void tst_LabelTool::importInto()
{
    QFETCH(QByteArray, before);
    QFETCH(QStringList, added);
    QFETCH(QString, err);
    const QString target = path(QStringLiteral("into.ini"));
    QFile::remove(target);
    if (!before.isNull())
        QVERIFY(toFile(target, before));
    const LabelSets old = readLabelSetsFromFile(target, QStringLiteral("bitlabels"));

    const Run result = run(
            { QStringLiteral("import-svd"), QStringLiteral("@small.svd"),
              before.isNull() ? QStringLiteral("--output") : QStringLiteral("--into"), target });
    QVERIFY2(QString::fromUtf8(result.err).contains(err), result.err.constData());
    QCOMPARE(result.exitCode, 0);

    // Every old byte in place: the new lines are one block somewhere in the old text.
    const QByteArray after = fromFile(target);
    qsizetype prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before.at(prefix) == after.at(prefix))
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < before.size() - prefix
           && before.at(before.size() - 1 - suffix) == after.at(after.size() - 1 - suffix))
        ++suffix;
    QCOMPARE(prefix + suffix, before.size());

    // The window's reader: the old sets as they were, the new ones as the description gives them.
    const LabelSets now = readLabelSetsFromFile(target, QStringLiteral("bitlabels"));
    const SvdImport svd = importSvd(smallSvd);
    for (qsizetype k = 0; k < now.names.size(); ++k) {
        const QString &name = now.names.at(k);
        const auto fromSvd = std::find_if(svd.sets.cbegin(), svd.sets.cend(),
                                          [&](const LabelSet &set) { return set.name == name; });
        if (added.contains(name))
            QCOMPARE(now.labels.at(k), fromSvd->labels);
        else
            QCOMPARE(now.labels.at(k), old.labels.at(old.names.indexOf(name)));
    }
    QCOMPARE(now.names.size(), old.names.size() + added.size());
}

void tst_LabelTool::realDescriptions_data()
{
    QTest::addColumn<QString>("svd");
    QTest::newRow("RP2040") << QStringLiteral(EXAMPLE_DIR "/svd/rp2040.svd");
    QTest::newRow("E310x") << QStringLiteral(EXAMPLE_DIR "/svd/e310x.svd");
}

void tst_LabelTool::realDescriptions()
{
    QFETCH(QString, svd);
    // The window reads the file beside its executable, which is this test's.
    const QString target = QCoreApplication::applicationDirPath() + QStringLiteral("/K732-118.ini");
    QFile::remove(target);
    const Run imported =
            run({ QStringLiteral("import-svd"), svd, QStringLiteral("--output"), target });
    QCOMPARE(imported.exitCode, 0);
    const Run checked = run({ QStringLiteral("check"), target });
    QStringList names;
    for (const LabelSet &set : importSvd(fromFile(svd)).sets)
        names.append(set.name);
    std::sort(names.begin(), names.end());
    QCOMPARE(checked.out, QStringLiteral("%1 sets, 0 warnings\n").arg(names.size()).toUtf8());
    QCOMPARE(checked.exitCode, 0);
    const QvMaskCalcWindow window;
    QCOMPARE(comboEntries(window), names);
    QFile::remove(target);
}

void tst_LabelTool::helpText_data()
{
    QTest::addColumn<QString>("command"); // empty: the tool's own help
    QTest::addColumn<QString>("columns"); // empty: COLUMNS unset and no terminal, so 80
    for (const char *command :
         { "", "check", "show", "decode", "encode", "import-svd", "reg", "find", "dump" }) {
        for (const char *columns : { "", "60", "132" })
            QTest::addRow("%s, %s columns", *command ? command : "the tool",
                          *columns ? columns : "80 (no terminal)")
                    << QString::fromLatin1(command) << QString::fromLatin1(columns);
    }
}

void tst_LabelTool::helpText()
{
    QFETCH(QString, command);
    QFETCH(QString, columns);
    QStringList arguments { QStringLiteral("--help") };
    if (!command.isEmpty())
        arguments.prepend(command);
    const auto help = [&](const QStringList &environment) {
        Child child;
        child.prefix = QStringList { QStringLiteral("env") } + environment;
        return run(arguments, child);
    };
    const Run wrapped =
            help(columns.isEmpty() ? QStringList { QStringLiteral("-u"), QStringLiteral("COLUMNS") }
                                   : QStringList { QStringLiteral("COLUMNS=") + columns });
    const Run whole = help({ QStringLiteral("COLUMNS=100000") });
    QCOMPARE(wrapped.exitCode, 0);
    QCOMPARE(whole.exitCode, 0);
    // One column is left free, where a terminal would wrap on its own.
    const int width = columns.isEmpty() ? 80 : columns.toInt();
    const QStringList lines = QString::fromUtf8(wrapped.out).split(u'\n');
    for (const QString &line : lines)
        QVERIFY2(line.size() < width, qPrintable(line));
    // Broken between words only: the same words in the same order as unwrapped.
    QCOMPARE(wrapped.out.simplified(), whole.out.simplified());
    QVERIFY(QString::fromUtf8(whole.out).split(u'\n').size() < lines.size());
    // A worked example, on a line of its own.
    const QString example = QStringLiteral("  K732-118-labels ") + command;
    QVERIFY2(std::any_of(lines.cbegin(), lines.cend(),
                         [&](const QString &line) { return line.startsWith(example); }),
             wrapped.out.constData());
}

QTEST_MAIN(tst_LabelTool)
#include "tst_labeltool.moc"
