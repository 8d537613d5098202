// SPDX-License-Identifier: MIT
// Register descriptions read as label sets: the mapping rules, the real devices and broken input.
#include "labelfile.h"
#include "qvmaskcalcwindow.h"
#include "svdlabels.h"
#include "svdmodel.h"

#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

QByteArray device(const QByteArray &peripherals)
{
    return "<?xml version=\"1.0\"?>\n<device "
           "schemaVersion=\"1.1\">\n<name>T</name>\n<peripherals>\n"
            + peripherals + "\n</peripherals>\n</device>\n";
}

QByteArray peripheral(const QByteArray &name, const QByteArray &registers)
{
    return "<peripheral><name>" + name + "</name><registers>" + registers
            + "</registers></peripheral>";
}

QByteArray field(const QByteArray &name, const QByteArray &position)
{
    return "<field><name>" + name + "</name>" + position + "</field>";
}

QByteArray reg(const QByteArray &name, const QByteArray &fields)
{
    return "<register><name>" + name + "</name><fields>" + fields + "</fields></register>";
}

// The labels of bits without a field, "(bit from)|…|(bit to)".
QString gap(int from, int to)
{
    QStringList labels;
    for (int bit = from; bit <= to; ++bit)
        labels.append(QStringLiteral("(bit %1)").arg(bit));
    return labels.join(u'|');
}

// "SET=label|label|…", one entry per set in its order.
QStringList flat(const QList<LabelSet> &sets)
{
    QStringList lines;
    for (const LabelSet &set : sets)
        lines.append(set.name + u'=' + set.labels.join(u'|'));
    return lines;
}

// A register's values as reg shows them, one line.
QString flatRegister(const SvdRegister &reg)
{
    QStringList parts { reg.name,
                        QString::number(reg.address, 16),
                        QString::number(reg.size),
                        reg.access,
                        QString::number(reg.resetValue, 16),
                        QString::number(reg.resetMask, 16),
                        reg.modifiedWriteValues,
                        reg.readAction };
    for (const SvdField &field : reg.fields) {
        parts << field.name << QString::number(field.lsb) << QString::number(field.width)
              << field.access << field.modifiedWriteValues << field.readAction;
        for (const SvdEnumeration &enumeration : field.enumerations) {
            parts << enumeration.usage;
            for (const SvdEnumeratedValue &value : enumeration.values)
                parts << value.name + u'=' + QString::number(value.value) + u'/'
                                + QString::number(value.care, 16);
        }
    }
    return parts.join(u'|');
}

bool isPeripheral(const QString &name, const void *context)
{
    return name == *static_cast<const QString *>(context);
}

// Little-endian UTF-16 bytes of text, with a byte order mark.
QByteArray utf16le(const QString &text)
{
    QByteArray bytes("\xff\xfe");
    for (const QChar c : text)
        bytes.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
    return bytes;
}

// A UTF-16 description whose peripheral B derives from A, where a comment before A holds
// characters whose bytes spell other registers of A at the byte offsets equal to the character
// offsets of A's registers: read as bytes where characters are meant, they give B a field HIDDEN.
QByteArray utf16Trap()
{
    const QByteArray fake = "><register><name>R</name><addressOffset>0</addressOffset><fields>"
                            "<field><name>HIDDEN</name><bitRange>[7:0]</bitRange></field>"
                            "</fields></register>";
    const QByteArray end = "</registers>";
    const QString head = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<!--");
    qint64 from = 0;
    qint64 to = 0;
    QByteArray bytes;
    for (int round = 0; round < 2; ++round) {
        QByteArray payload(1400, ' ');
        const qint64 start = 2 + 2 * head.size();
        if (from > start && to - start <= payload.size()) {
            payload.replace(from - 1 - start, fake.size(), fake);
            payload.replace(to - end.size() - start, end.size(), end);
        }
        QString comment;
        for (qsizetype k = 0; k + 1 < payload.size(); k += 2)
            comment.append(QChar(char16_t(uchar(payload.at(k)) | uchar(payload.at(k + 1)) << 8)));
        const QString text = head + comment
                + QStringLiteral("-->\n<device><name>T</name><peripherals>\n<peripheral><name>A"
                                 "</name><baseAddress>0</baseAddress><registers><register>"
                                 "<description>%1</description><name>R</name><addressOffset>0"
                                 "</addressOffset><fields><field><name>REAL</name><bitRange>[0:0]"
                                 "</bitRange></field></fields></register></registers></peripheral>"
                                 "\n<peripheral derivedFrom=\"A\"><name>B</name><baseAddress>"
                                 "0x100</baseAddress></peripheral>\n</peripherals></device>\n")
                          .arg(QString(200, u'x'));
        bytes = utf16le(text);
        QXmlStreamReader xml(bytes);
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.name() == QLatin1String("registers"))
                (xml.isStartElement() ? from : to) = xml.characterOffset();
        }
    }
    return bytes;
}

// Big-endian UTF-16 bytes of text, without a byte order mark.
QByteArray utf16be(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text)
        bytes.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
    return bytes;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_SvdImport : public QObject
{
    Q_OBJECT

private slots:
    void mapping_data();
    void mapping();
    void realDevice_data();
    void realDevice();
    void broken_data();
    void broken();
    void wantedPeripherals_data();
    void wantedPeripherals();
};

void tst_SvdImport::mapping_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("sets");
    QTest::addColumn<QStringList>("skipped"); // a part of each line, in order

    QTest::newRow("three position forms, gaps filled")
            << device(peripheral("P",
                                 reg("R",
                                     field("A", "<bitOffset>0</bitOffset>")
                                             + field("B",
                                                     "<bitOffset>2</bitOffset><bitWidth>2"
                                                     "</bitWidth>")
                                             + field("C", "<lsb>5</lsb><msb>5</msb>")
                                             + field("D", "<bitRange>[8:7]</bitRange>"))))
            << QStringList { "P.R=A|(bit 1)|B[0]|B[1]|(bit 4)|C|(bit 6)|D[0]|D[1]" }
            << QStringList();
    QTest::newRow("numbers in every notation")
            << device(peripheral("P",
                                 reg("R",
                                     field("H", "<bitOffset>0x1F</bitOffset>")
                                             + field("B", "<bitOffset> #11 </bitOffset>")
                                             + field("S",
                                                     "<bitOffset>+0</bitOffset><bitWidth>0X2"
                                                     "</bitWidth>")
                                             + field("K", "<bitOffset>1k</bitOffset>")
                                             + field("X", "<bitOffset>3a</bitOffset>"))))
            << QStringList { "P.R=S[0]|S[1]|(bit 2)|B|" + gap(4, 30) + "|H" }
            << QStringList { "K\": bit 1024 dropped", "\"3a\" is no number" };
    QTest::newRow("a field named reserved is no field; an array that does not step")
            << device(peripheral("P",
                                 reg("R",
                                     field("A", "<bitOffset>0</bitOffset>")
                                             + field("Reserved", "<bitRange>[2:1]</bitRange>")
                                             + field("RESERVED", "<bitOffset>4</bitOffset>")
                                             + "<field><name>D%s</name><dim>900000</dim>"
                                               "<dimIncrement>0</dimIncrement><bitOffset>3"
                                               "</bitOffset></field>")))
            << QStringList { "P.R=A|(bit 1)|(bit 2)|D0" }
            << QStringList { "\"D%s\": instances 1 … 899999 lie on the bits of instance 0" };
    QTest::newRow("nested clusters, arrays of peripherals, clusters and registers")
            << device("<peripheral><name>GPIO%s</name><dim>2</dim><dimIndex>A,B</dimIndex>"
                      "<registers><cluster><name>CH[%s]</name><dim>2</dim>"
                      "<cluster><name>IN</name><register><dim>2</dim><dimIndex>X-Y</dimIndex>"
                      "<name>CFG%s</name><fields>"
                      + field("E", "<bitOffset>0</bitOffset>")
                      + "</fields></register></cluster></cluster></registers></peripheral>")
            << QStringList { "GPIOA.CH[0].IN.CFGX=E", "GPIOA.CH[0].IN.CFGY=E",
                             "GPIOA.CH[1].IN.CFGX=E", "GPIOA.CH[1].IN.CFGY=E",
                             "GPIOB.CH[0].IN.CFGX=E", "GPIOB.CH[0].IN.CFGY=E",
                             "GPIOB.CH[1].IN.CFGX=E", "GPIOB.CH[1].IN.CFGY=E" }
            << QStringList();
    QTest::newRow("field arrays by dimIncrement bits, dropped from 32 up")
            << device(peripheral(
                       "P",
                       reg("R",
                           "<field><name>EN%s</name><dim>3</dim><dimIncrement>4</dimIncrement>"
                           "<dimIndex>4-6</dimIndex><bitOffset>1</bitOffset><bitWidth>2"
                           "</bitWidth></field>"
                           "<field><name>T%s</name><dim>20</dim><dimIncrement>2</dimIncrement>"
                           "<bitOffset>0x1C</bitOffset></field>")))
            << QStringList { "P.R=(bit 0)|EN4[0]|EN4[1]|(bit 3)|(bit 4)|EN5[0]|EN5[1]|(bit 7)|"
                             "(bit 8)|EN6[0]|EN6[1]|"
                             + gap(11, 27) + "|T0|(bit 29)|T1" }
            << QStringList { "instances 2 … 19 lie from bit 32 up" };
    QTest::newRow("overlaps and repeated labels: the first keeps the bit")
            << device(peripheral("P",
                                 reg("R",
                                     field("W", "<bitRange>[2:1]</bitRange>")
                                             + field("O", "<bitRange>[3:2]</bitRange>")
                                             + field("W",
                                                     "<bitOffset>4</bitOffset><bitWidth>2"
                                                     "</bitWidth>")
                                             + field("L", "<bitRange>[33:31]</bitRange>")
                                             + field("E", "<bitOffset>6</bitOffset>")
                                             + field("e", "<bitOffset>7</bitOffset>"))))
            << QStringList { "P.R=(bit 0)|W[0]|W[1]|O[1]|(bit 4)|(bit 5)|E|" + gap(7, 30)
                             + "|L[0]" }
            << QStringList { "\"O\" overlaps an earlier field on bit 2", "label W[0], W[1] repeats",
                             "bits 32–33 dropped", "label e repeats" };
    QTest::newRow("indices past 9; a repeat in capitals of a label in lower case")
            << device(peripheral("P",
                                 reg("R",
                                     field("x", "<bitOffset>0</bitOffset><bitWidth>12</bitWidth>")
                                             + field("e", "<bitOffset>12</bitOffset>")
                                             + field("E", "<bitOffset>13</bitOffset>"))))
            << QStringList { "P.R=x[0]|x[1]|x[2]|x[3]|x[4]|x[5]|x[6]|x[7]|x[8]|x[9]|x[10]|x[11]|e" }
            << QStringList { "label E repeats" };
    // Kelvin sign and capital E acute fold to k and e acute, as the settings class compares.
    QTest::newRow("repeated labels without case beyond ASCII, and a wider field's names")
            << device(peripheral("P",
                                 reg("R",
                                     field("k", "<bitOffset>0</bitOffset>")
                                             + field("\xE2\x84\xAA", "<bitOffset>1</bitOffset>")
                                             + field("\xC3\xA9", "<bitOffset>2</bitOffset>")
                                             + field("\xC3\x89", "<bitOffset>3</bitOffset>")
                                             + field("V",
                                                     "<bitOffset>4</bitOffset><bitWidth>2"
                                                     "</bitWidth>")
                                             + field("v[1]", "<bitOffset>6</bitOffset>")
                                             + field("v[2]", "<bitOffset>7</bitOffset>"))))
            << QStringList { QString::fromUtf8(
                       "P.R=k|(bit 1)|\xC3\xA9|(bit 3)|V[0]|V[1]|(bit 6)|v[2]") }
            << QStringList { QString::fromUtf8("label \xE2\x84\xAA repeats"),
                             QString::fromUtf8("label \xC3\x89 repeats"), "label v[1] repeats" };
    QTest::newRow("derivedFrom: registers, fields, bit positions, dotted paths")
            << device(peripheral("U0",
                                 reg("CTL", field("RX", "<lsb>0</lsb><msb>0</msb>"))
                                         + "<register derivedFrom=\"CTL\"><name>CTL2</name>"
                                           "</register>")
                      + "<peripheral derivedFrom=\"U0\"><name>U1</name></peripheral>"
                      + peripheral(
                              "V",
                              "<register derivedFrom=\"U0.CTL\"><name>OWN</name><fields>"
                                      + field("F", "<bitOffset>1</bitOffset>")
                                      + "<field derivedFrom=\"U0.CTL.RX\"><name>G</name></field>"
                                        "</fields></register>")
                      + "<peripheral derivedFrom=\"NONE\"><name>W</name></peripheral>"
                      + peripheral("X",
                                   "<cluster><name>A</name>"
                                           + reg("R", field("F", "<bitOffset>0</bitOffset>"))
                                           + "<cluster derivedFrom=\"X.A\"><name>B</name></cluster>"
                                             "</cluster>"))
            << QStringList { "U0.CTL=RX",  "U0.CTL2=RX", "U1.CTL=RX",
                             "U1.CTL2=RX", "V.OWN=G|F",  "X.A.R=F" }
            << QStringList { "derivedFrom \"NONE\" names no such element", "W: no registers",
                             "derivedFrom \"X.A\" names itself or what holds it",
                             "X.A.B: no registers" };
    QTest::newRow("names produced twice, registers without fields, unusable names")
            << device(peripheral(
                              "P",
                              reg("R", field("A", "<bitOffset>0</bitOffset>"))
                                      + reg("r", field("B", "<bitOffset>0</bitOffset>"))
                                      + "<register><name>EMPTY</name></register>"
                                      + reg("HIGH", field("A", "<bitOffset>32</bitOffset>"))
                                      + reg("a/b", field("A", "<bitOffset>0</bitOffset>"))
                                      + reg("S",
                                            field("x\\y", "<bitOffset>0</bitOffset>")
                                                    + field("(bit 2)", "<bitOffset>1</bitOffset>")
                                                    + field("N", "<bitOffset>2</bitOffset>")
                                                    + field("Z", "<bitRange>[1:2]</bitRange>")
                                                    + field("Q", "")))
                      + peripheral("\n  Q  ", reg(" T ", field(" U ", "<bitOffset>0</bitOffset>"))))
            << QStringList { "P.R=A", "P.S=(bit 0)|(bit 1)|N", "Q.T=U" }
            << QStringList { "P.r: a set of this name came from an earlier register",
                             "P.EMPTY: no fields",
                             "\"A\": bit 32 dropped",
                             "P.HIGH: no field bit below 32 left",
                             "the name \"a/b\" holds '/'",
                             "\"x\\y\" holds '/'",
                             "\"(bit 2)\" is named like the label of a bit without a field",
                             "\"Z\": its msb is below its lsb",
                             "\"Q\": no bit position" };
    QTest::newRow("a register of an alternate group named with its group")
            << device(peripheral(
                       "P",
                       reg("R", field("A", "<bitOffset>0</bitOffset>"))
                               + "<register><name>R</name><alternateGroup>G</alternateGroup>"
                                 "<addressOffset>0</addressOffset><fields>"
                               + field("B", "<bitOffset>1</bitOffset>")
                               + "</fields></register><register><name>S_g</name>"
                                 "<alternateGroup>G</alternateGroup><addressOffset>0</"
                                 "addressOffset>"
                                 "<fields>"
                               + field("C", "<bitOffset>0</bitOffset>") + "</fields></register>"))
            << QStringList { "P.R=A", "P.R_G=(bit 0)|B", "P.S_g=C" } << QStringList {};
    // Registers of the same labels share one list: labels that differ in one unit inside, of
    // the same size, first, middle and last unit, stay apart, more than a few of them too.
    QByteArray alike;
    QStringList alikeSets;
    for (const char unit : QByteArray("ABCDEFGHIJKL")) {
        const QByteArray name = QByteArray("V") + unit + "cdW";
        alike += reg("R" + QByteArray(1, unit),
                     field("Z", "<bitOffset>0</bitOffset>")
                             + field(name, "<bitOffset>1</bitOffset><bitWidth>2</bitWidth>"));
        alikeSets.append(QStringLiteral("P.R%1=Z|%2[0]|%2[1]")
                                 .arg(QChar::fromLatin1(unit))
                                 .arg(QString::fromLatin1(name)));
    }
    alike += reg("S",
                 field("Z", "<bitOffset>0</bitOffset>")
                         + field("VAcdW", "<bitOffset>1</bitOffset><bitWidth>2</bitWidth>"));
    alikeSets.append(QStringLiteral("P.S=Z|VAcdW[0]|VAcdW[1]"));
    QTest::newRow("labels alike but for one unit inside")
            << device(peripheral("P", alike)) << alikeSets << QStringList {};
}

void tst_SvdImport::mapping()
{
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, sets);
    QFETCH(QStringList, skipped);

    const SvdImport import = importSvd(xml);
    QCOMPARE(import.error, QString());
    QCOMPARE(flat(import.sets), sets);
    QCOMPARE(import.skipped.size(), skipped.size());
    for (qsizetype k = 0; k < skipped.size(); ++k)
        QVERIFY2(import.skipped.at(k).contains(skipped.at(k)), qPrintable(import.skipped.at(k)));
}

void tst_SvdImport::realDevice_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<qsizetype>("registers");
    QTest::addColumn<qsizetype>("sets");
    QTest::addColumn<QStringList>("known");

    // Registers include those of peripherals derived from others (UART1 from UART0 …).
    QTest::newRow("RP2040") << QStringLiteral("rp2040.svd") << qsizetype(1114) << qsizetype(797)
                            << QStringList {
                                   "XIP_CTRL.CTRL=EN|ERR_BADWRITE|(bit 2)|POWER_DOWN",
                                   "UART1.UARTIFLS=TXIFLSEL[0]|TXIFLSEL[1]|TXIFLSEL[2]|"
                                   "RXIFLSEL[0]|RXIFLSEL[1]|RXIFLSEL[2]",
                               };
    QTest::newRow("E310x") << QStringLiteral("e310x.svd") << qsizetype(237) << qsizetype(120)
                           << QStringList {
                                  "PLIC.threshold=priority[0]|priority[1]|priority[2]",
                                  "QSPI2.ffmt=pad_cnt|addr_len[0]|addr_len[1]|addr_len[2]|"
                                          + gap(4, 7)
                                          + "|cmd_proto[0]|cmd_proto[1]|addr_proto[0]|"
                                            "addr_proto[1]|data_proto[0]|data_proto[1]|"
                                          + gap(14, 15)
                                          + "|cmd_code[0]|cmd_code[1]|cmd_code[2]|cmd_code[3]|"
                                            "cmd_code[4]|cmd_code[5]|cmd_code[6]|cmd_code[7]|"
                                            "pad_code[0]|pad_code[1]|pad_code[2]|pad_code[3]|"
                                            "pad_code[4]|pad_code[5]|pad_code[6]|pad_code[7]",
                              };
}

// Every set, written into a new label file, reads back through the window's reader as imported.
void tst_SvdImport::realDevice()
{
    QFETCH(QString, file);
    QFETCH(qsizetype, registers);
    QFETCH(qsizetype, sets);
    QFETCH(QStringList, known);

    const SvdImport import = importSvd(readFile(QStringLiteral(SVD_DIR "/") + file));
    QCOMPARE(import.error, QString());
    QCOMPARE(import.registers, registers);
    QCOMPARE(import.sets.size(), sets);
    const QStringList all = flat(import.sets);
    for (const QString &set : known) {
        const QString name = set.section(u'=', 0, 0);
        const auto found = std::find_if(all.cbegin(), all.cend(), [&](const QString &line) {
            return line.section(u'=', 0, 0) == name;
        });
        QVERIFY2(found != all.cend(), qPrintable(name));
        QCOMPARE(*found, set);
    }

    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("K732-118.ini"));
    QVERIFY(insertLabelSets(readLabelFileText(path), bitLabelsGroup, import.sets));
    const LabelSets read = readLabelSetsFromFile(path, bitLabelsGroup);
    QMap<QString, QStringList> expected;
    for (const LabelSet &set : import.sets)
        expected.insert(set.name, set.labels);
    QMap<QString, QStringList> shown;
    for (qsizetype k = 0; k < read.names.size(); ++k)
        shown.insert(read.names.at(k), read.labels.at(k));
    QCOMPARE(read.names.size(), import.sets.size());
    QCOMPARE(shown, expected);

    // reg names registers as the sets are named.
    const SvdRegisters model = readSvdRegisters(readFile(QStringLiteral(SVD_DIR "/") + file));
    QCOMPARE(model.registers.size(), registers);
    QSet<QString> names;
    for (const SvdRegister &reg : model.registers)
        names.insert(reg.name);
    for (const LabelSet &set : import.sets)
        QVERIFY2(names.contains(set.name), qPrintable(set.name));
}

void tst_SvdImport::wantedPeripherals_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("peripheral");
    QTest::addColumn<qsizetype>("registers");
    QTest::addColumn<QString>("mentioned"); // a part of what the registers say

    const QByteArray rp2040 = readFile(QStringLiteral(SVD_DIR "/rp2040.svd"));
    const QByteArray e310x = readFile(QStringLiteral(SVD_DIR "/e310x.svd"));
    QTest::newRow("RP2040, one peripheral") << rp2040 << "XIP_SSI" << qsizetype(28)
                                            << "SPI_FRF|21|2|read-write|||read-write|STD=0/";
    QTest::newRow("RP2040, derived from an earlier one")
            << rp2040 << "UART1" << qsizetype(22) << "UART1.UARTCR|40038030|32|read-write|300|";
    QTest::newRow("E310x, derived, enumerated values")
            << e310x << "PWM2" << qsizetype(7) << "PWM2.count|10035008|32|read-write|0|";
    const QByteArray field = "<field><name>F</name><bitRange>[1:0]</bitRange><enumeratedValues>"
                             "<name>E</name><enumeratedValue><name>ON</name><value>1</value>"
                             "</enumeratedValue></enumeratedValues></field>";
    QTest::newRow("derived from a later one, which derives from another")
            << device("<peripheral derivedFrom=\"B\"><name>A</name></peripheral>"
                      "<peripheral derivedFrom=\"C\"><name>B</name></peripheral>"
                      + peripheral("C", reg("R", field)))
            << "A" << qsizetype(1)
            << "A.R|0|32|read-write|0|ffffffff|||F|0|2|read-write|||read-write|ON=1/";
    // Registers passed by are read again from their own bytes, where they can be read alone.
    const QByteArray later = "<peripheral derivedFrom=\"C\"><name>A</name></peripheral>";
    QTest::newRow("a base read again, a namespace prefix declared outside it")
            << QByteArray("<device xmlns:v=\"urn:v\"><peripherals>"
                          + peripheral("C", reg("R", field))
                          + "<peripheral><name>D</name><registers><v:x/></registers></peripheral>"
                          + later + "</peripherals></device>")
                       .replace("<fields>", "<v:note/>\n<fields>")
            << "A" << qsizetype(1)
            << "A.R|0|32|read-write|0|ffffffff|||F|0|2|read-write|||read-write|ON=1/";
    QTest::newRow("a base read again, in another encoding")
            << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<device><peripherals>"
                          + peripheral("C", reg("R", field))
                                    .replace("<fields>",
                                             "<description>\xe9t\xe9\n</description><fields>")
                          + later + "</peripherals></device>")
            << "A" << qsizetype(1)
            << "A.R|0|32|read-write|0|ffffffff|||F|0|2|read-write|||read-write|ON=1/";
    const QByteArray one = device(peripheral("C", reg("R", field)) + later);
    QTest::newRow("UTF-16, bytes at the character offsets spelling other registers")
            << utf16Trap() << "B" << qsizetype(1) << "B.R|100|32|read-write|0|ffffffff|||REAL|0|1|";
    QTest::newRow("UTF-16 big-endian without byte order mark")
            << utf16be(QString::fromUtf8(one)) << "A" << qsizetype(1)
            << "A.R|0|32|read-write|0|ffffffff|||F|0|2|read-write|||read-write|ON=1/";
    QTest::newRow("a base read again, entities of the DTD in it")
            << QByteArray("<!DOCTYPE device [<!ENTITY on \"ON\">]>\n"
                          + device(peripheral("C", reg("R", field)) + later)
                                    .replace("<name>ON</name>", "<name>&on;</name>")
                                    .replace("<?xml version=\"1.0\"?>\n", ""))
            << "A" << qsizetype(1)
            << "A.R|0|32|read-write|0|ffffffff|||F|0|2|read-write|||read-write|ON=1/";
    QTest::newRow("descriptions holding markup, entities and what reads as elements")
            << device(peripheral("A",
                                 reg("R",
                                     "<field><name>G</name><description>a <b>bold</b> &lt;name&gt;"
                                     "<![CDATA[<name>X</name></field>]]></description>"
                                     "<bitOffset>3</bitOffset><enumeratedValues><enumeratedValue>"
                                     "<name>ON</name><description><name>NO</name></description>"
                                     "<value>1</value></enumeratedValue></enumeratedValues>"
                                     "</field>"))
                              .replace("<fields>", "<description>R<br/>\n</description><fields>"))
            << "A" << qsizetype(1)
            << "R|0|32|read-write|0|ffffffff|||G|3|1|read-write|||read-write|ON=1/";
    QTest::newRow("enumerated values by a name relative to the register")
            << device(peripheral("A",
                                 reg("R",
                                     field
                                             + "<field><name>G</name><bitOffset>2</bitOffset>"
                                               "<enumeratedValues derivedFrom=\"F.E\"/></field>")))
            << "A" << qsizetype(1) << "G|2|1|read-write|||read-write|ON=1/";
    QTest::newRow("enumerated values by path from another peripheral")
            << device(peripheral("A",
                                 reg("R",
                                     "<field><name>G</name><bitOffset>0</bitOffset>"
                                     "<enumeratedValues derivedFrom=\"C.R.F.E\"/></field>"))
                      + peripheral("C", reg("R", field)))
            << "A" << qsizetype(1) << "G|0|1|read-write|||read-write|ON=1/";
}

// Reading only the peripheral asked for (and what it derives from) gives its registers as a
// whole read does.
void tst_SvdImport::wantedPeripherals()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, peripheral);
    QFETCH(qsizetype, registers);
    QFETCH(QString, mentioned);

    QStringList whole;
    for (const SvdRegister &reg : readSvdRegisters(xml).registers) {
        if (reg.name.startsWith(peripheral + u'.'))
            whole.append(flatRegister(reg));
    }
    QStringList wanted;
    for (const SvdRegister &reg : readSvdRegisters(xml, isPeripheral, &peripheral).registers) {
        if (reg.name.startsWith(peripheral + u'.'))
            wanted.append(flatRegister(reg));
    }
    // Without the descriptions, which only a search of them needs, nothing else changes.
    QStringList described;
    QStringList bare;
    for (const SvdDescriptions descriptions : { SvdDescriptions::Read, SvdDescriptions::Skip }) {
        for (const SvdRegister &reg :
             readSvdRegisters(xml, isPeripheral, &peripheral, descriptions).registers) {
            if (!reg.name.startsWith(peripheral + u'.'))
                continue;
            QStringList &read = descriptions == SvdDescriptions::Read ? described : bare;
            read.append(flatRegister(reg));
            if (descriptions == SvdDescriptions::Skip) {
                QVERIFY(reg.description.isEmpty());
                for (const SvdField &field : reg.fields)
                    QVERIFY(field.description.isEmpty());
            }
        }
    }
    QCOMPARE(whole.size(), registers);
    QCOMPARE(wanted, whole);
    QCOMPARE(described, whole);
    QCOMPARE(bare, whole);
    QVERIFY2(whole.join(u'\n').contains(mentioned), qPrintable(whole.join(u'\n')));
}

void tst_SvdImport::broken_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("error");
    QTest::addColumn<qint64>("line");
    QTest::addColumn<qint64>("column");

    QTest::newRow("empty") << QByteArray() << "Premature end of document" << qint64(1) << qint64(1);
    QTest::newRow("plain text") << QByteArray("REG=1\n") << "Start tag expected" << qint64(1)
                                << qint64(1);
    QTest::newRow("mismatched tag")
            << QByteArray("<device>\n<peripherals>\n  <peripheral></register>") << "tag mismatch"
            << qint64(3) << qint64(25);
    QTest::newRow("cut short") << QByteArray("<device><peripherals>\n<peripheral><name>P</na")
                               << "Premature end of document" << qint64(2) << qint64(23);
    QTest::newRow("text after the root") << device("") + "x"
                                         << "Extra content" << qint64(8) << qint64(1);
    QTest::newRow("another root element")
            << QByteArray("<?xml version=\"1.0\"?>\n\n<project><peripherals/></project>")
            << "the root element is <project>" << qint64(3) << qint64(9);
    QTest::newRow("no peripherals")
            << QByteArray("<device\n  schemaVersion=\"1.1\">\n<name>T</name>\n</device>")
            << "<device> has no <peripherals>" << qint64(2) << qint64(22);
    // A few bytes of nested arrays would make 10^12 registers.
    QTest::newRow("arrays beyond reason")
            << device("<peripheral><name>P%s</name><dim>1000000</dim><registers>\n"
                      "<register><name>R%s</name><dim>1000000</dim></register>"
                      "</registers></peripheral>")
            << "more names and labels than any device has" << qint64(6) << qint64(1);
    // A long name in a large array makes more text than its instances count.
    QTest::newRow("a long register name in an array") << device(peripheral(
            "P",
            "<register><name>" + QByteArray(10000, 'N') + "%s</name><dim>20000</dim><fields>"
                    + field("F", "<bitOffset>0</bitOffset>") + "</fields></register>"))
                                                      << "more names and labels than any device has"
                                                      << qint64(5) << qint64(1);
    // 300 KB of references to an entity of 4,000 characters would make 400 million characters.
    QTest::newRow("entities beyond reason") << QByteArray(
            "<!DOCTYPE device [<!ENTITY e \"" + QByteArray(4000, 'x') + "\">]>\n"
            + device("<peripheral><name>P</name><description>" + QByteArray("&e;").repeated(100000)
                     + "</description>"
                       "</peripheral>")) << "the entities of the DTD expand to more than"
                                            << qint64(1) << qint64(4034);
}

void tst_SvdImport::broken()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, error);
    QFETCH(qint64, line);
    QFETCH(qint64, column);

    const SvdImport import = importSvd(xml);
    QVERIFY2(import.error.contains(error), qPrintable(import.error));
    QCOMPARE(import.line, line);
    QCOMPARE(import.column, column);
    QVERIFY(import.sets.isEmpty());
}

QTEST_GUILESS_MAIN(tst_SvdImport)
#include "tst_svdimport.moc"
