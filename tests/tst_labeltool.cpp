// The label tool as a user runs it: arguments, output, exit status, and the files it writes.
#include "childrun.h"
#include "labelfile.h"
#include "labelwindow.h"
#include "svdimport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
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

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

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
    void commands_data();
    void commands();
    void importInto_data();
    void importInto();
    void realDescriptions_data();
    void realDescriptions();

private:
    // Runs the tool copied into the scratch directory (or the copy at tool), after the prefix (a
    // command that drops root's rights, say); "@name" arguments name files there.
    Run run(const QStringList &arguments, const QStringList &prefix = {},
            const QString &tool = {}) const;
    QString path(const QString &name) const { return scratch.filePath(name); }

    QTemporaryDir scratch;
};

Run tst_LabelTool::run(const QStringList &arguments, const QStringList &prefix,
                       const QString &tool) const
{
    QStringList resolved;
    for (const QString &argument : arguments)
        resolved.append(argument.startsWith(u'@') ? path(argument.mid(1)) : argument);
    QProcess process;
    QStringList command = prefix;
    command << (tool.isEmpty() ? path(QStringLiteral("K732-118-labels")) : tool) << resolved;
    process.start(command.takeFirst(), command);
    Run result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
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
    QVERIFY(toFile(path(QStringLiteral("nul.ini")), QByteArray("[bitlabels]\nA\\b=0\n\0", 19)));
    QVERIFY(toFile(path(QStringLiteral("warn.ini")), "[bitlabels]\nA\\b=x\n"));
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
    QVERIFY(toFile(path(QStringLiteral("small.svd")), smallSvd));
    QVERIFY(toFile(path(QStringLiteral("values.svd")), valuesSvd));
    QVERIFY(toFile(path(QStringLiteral("array.svd")),
                   "<device><peripherals><peripheral><name>TIM%s</name><dim>2</dim>"
                   "<dimIndex>1,2</dimIndex><dimIncrement>0x400</dimIncrement>"
                   "<baseAddress>0x40000000</baseAddress><registers><register><name>CR</name>"
                   "<addressOffset>4</addressOffset><fields><field><name>EN</name>"
                   "<bitOffset>0</bitOffset></field></fields></register></registers>"
                   "</peripheral></peripherals></device>"));
    QVERIFY(toFile(path(QStringLiteral("cut.svd")), smallSvd.left(200)));
    QVERIFY(toFile(path(QStringLiteral("other.svd")), "<device><name>T</name></device>"));
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
    QTest::newRow("show: a NUL byte") << QStringList { "show", "@nul.ini" } << 2 << QByteArray()
                                      << "nul.ini: error: holds a NUL byte";

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
    QTest::newRow("check: no such file") << QStringList { "check", "@none.ini" } << 2
                                         << QByteArray() << "none.ini: error: no such file";

    QTest::newRow("import-svd: to standard output, only one peripheral")
            << QStringList { "import-svd", "@small.svd", "--only", "UART.*" } << 0
            << QByteArray("[bitlabels]\nUART.CR\\EN=0\n")
            << "small.svd: 2 registers read, 1 set written to standard output, 1 left out by "
               "--only, 0 skipped";
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
}

void tst_LabelTool::commands()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QString, err);
    const QByteArray example = fromFile(path(QStringLiteral("example.ini")));
    QStringList prefix;
    if (arguments.value(0) == QLatin1String("(unprivileged)")) {
        arguments.removeFirst();
#ifdef Q_OS_UNIX
        if (!childrun::unprivilegedPrefix(&prefix)) {
            // Not QSKIP: its empty "..." is an extension that clang's -Wpedantic reports.
            QTest::qSkip("runs as root without setpriv to drop root's rights", __FILE__, __LINE__);
            return;
        }
#else
        {
            // Not QSKIP: its empty "..." is an extension that clang's -Wpedantic reports.
            QTest::qSkip("file modes that deny reading are a Unix matter", __FILE__, __LINE__);
            return;
        }
#endif
    }

    QString tool;
#ifdef Q_OS_LINUX
    // A copy in a directory whose Latin-1 name is no valid UTF-8, started through a link.
    const QByteArray latin1 = QFile::encodeName(path(QStringLiteral("Donn")))
            + "\xe9"
              "es";
    const QByteArray latin1Tool = latin1 + "/K732-118-labels";
    const auto removeLatin1 = qScopeGuard([&] {
        ::unlink(latin1Tool.constData());
        ::rmdir(latin1.constData());
        QFile::remove(path(QStringLiteral("latin1")));
    });
    if (arguments.value(0) == QLatin1String("(latin1 directory)")) {
        arguments.removeFirst();
        QCOMPARE(::mkdir(latin1.constData(), 0755), 0);
        QCOMPARE(::link(QFile::encodeName(path(QStringLiteral("K732-118-labels"))).constData(),
                        latin1Tool.constData()),
                 0);
        QCOMPARE(::symlink(latin1.constData(),
                           QFile::encodeName(path(QStringLiteral("latin1"))).constData()),
                 0);
        tool = path(QStringLiteral("latin1/K732-118-labels"));
    }
#else
    if (arguments.value(0) == QLatin1String("(latin1 directory)")) {
        QTest::qSkip("directory names in another encoding are a Linux matter", __FILE__, __LINE__);
        return;
    }
#endif

    const Run result = run(arguments, prefix, tool);
    QCOMPARE(result.out, out);
    const QString errText = QString::fromUtf8(result.err);
    QVERIFY2(err.isEmpty() ? errText.isEmpty() : errText.contains(err), qPrintable(errText));
    // Only the tool's own messages reach the user, never one of Qt's.
    QVERIFY2(!errText.contains(QLatin1String("QSettings")), qPrintable(errText));
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(fromFile(path(QStringLiteral("example.ini"))), example);
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
            << "UART.CR: already in";
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

QTEST_MAIN(tst_LabelTool)
#include "tst_labeltool.moc"
