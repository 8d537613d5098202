// SPDX-License-Identifier: MIT
// The label file's reader against the settings class, on the same files.
#include "inireader.h"
#include "labelfile.h"
#include "settingsreference.h"

#include <QtTest>

#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>

class tst_IniReader : public QObject
{
    Q_OBJECT

private slots:
    void plainTextReadsAsTheToolkitReadsIt_data();
    void plainTextReadsAsTheToolkitReadsIt();
    void unusualTextReadsAsTheToolkitReadsIt_data();
    void unusualTextReadsAsTheToolkitReadsIt();
    void typedValuesStayText_data();
    void typedValuesStayText();
    void fileWrittenByTheToolkit();
    void generatedFiles();

private:
    QString writeFile(const QByteArray &text);
    static LabelSets viaSettings(const QString &path);
    static void compareWithSettings(const QByteArray &text, const QString &setsPath,
                                    const QString &keysPath);
    static QByteArray randomFile(QRandomGenerator &random, bool plainOnly);

    QTemporaryDir dir;
    int files = 0;
};

namespace {
const QString group = QStringLiteral("bitlabels");
}

// A new name every time: the settings class caches what it has read of a path.
QString tst_IniReader::writeFile(const QByteArray &text)
{
    QString path = dir.filePath(QStringLiteral("labels-%1.ini").arg(++files));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

LabelSets tst_IniReader::viaSettings(const QString &path)
{
    QSettings settings(path, QSettings::IniFormat);
    return settingsLabelSets(settings, group);
}

// The sets with their keys and values on a file the settings class has not read yet (it reads
// sections as they are asked for), and every key of the whole file on another copy.
void tst_IniReader::compareWithSettings(const QByteArray &text, const QString &setsPath,
                                        const QString &keysPath)
{
    // The window reads each set again from an index of the file, one at a time, when shown.
    const LabelSets decoded = readIniLabelSets(text, group);
    // Read with its lines handed over, the text gives the same sets and every key line, where
    // it lies, in the order the line reader gives them: a write checks both in this one pass.
    const QList<IniKeyLine> lines = readIniLines(text);
    qsizetype line = 0;
    const LabelSets withLines = readIniLabelSets(
            text, group, [&](const QString &section, QByteArrayView key, QByteArrayView value) {
                QVERIFY(line < lines.size());
                QCOMPARE(section, lines.at(line).section);
                QCOMPARE(key.data(), lines.at(line).key.data());
                QCOMPARE(key.size(), lines.at(line).key.size());
                QCOMPARE(value.data(), lines.at(line).value.data());
                QCOMPARE(value.size(), lines.at(line).value.size());
                ++line;
            });
    QCOMPARE(line, lines.size());
    QCOMPARE(withLines.names, decoded.names);
    QCOMPARE(withLines.labels, decoded.labels);
    const std::shared_ptr<const IniLabelSetIndex> index = indexIniLabelSets(text, group);
    QCOMPARE(index->names, decoded.names);
    for (qsizetype k = 0; k < decoded.names.size(); ++k)
        QCOMPARE(index->labels(k), decoded.labels.at(k));

    QSettings settings(setsPath, QSettings::IniFormat);
    QList<QList<QVariant>> variants;
    const QList<IniLabelSet> expected = settingsLabelSetKeys(settings, group, &variants);
    const QList<IniLabelSet> read = readIniLabelSetKeys(text, group);
    QCOMPARE(read.size(), expected.size());
    for (qsizetype k = 0; k < read.size(); ++k) {
        QCOMPARE(read.at(k).name, expected.at(k).name);
        QCOMPARE(read.at(k).keys, expected.at(k).keys);
        for (qsizetype i = 0; i < read.at(k).keys.size(); ++i) {
            IniValue value;
            QVERIFY(toIniValue(variants.at(k).at(i), &value));
            QCOMPARE(read.at(k).values.at(i).kind, value.kind);
            QCOMPARE(read.at(k).values.at(i).text, value.text);
            QCOMPARE(read.at(k).values.at(i).items, value.items);
        }
    }
    QSettings whole(keysPath, QSettings::IniFormat);
    const QList<IniKey> keys = readIniKeys(text);
    QStringList names;
    for (const IniKey &key : keys)
        names.append(key.key);
    QCOMPARE(names, whole.allKeys());
    for (const IniKey &key : keys) {
        // The settings class looks a key up by its normalised name: "a//b" as "a/b".
        if (key.key.isEmpty() || key.key.contains(QLatin1String("//")) || key.key.endsWith(u'/')
            || key.key.startsWith(u'/'))
            continue;
        IniValue value;
        QVERIFY(toIniValue(whole.value(key.key), &value));
        QCOMPARE(key.value.kind, value.kind);
        QCOMPARE(key.value.text, value.text);
        QCOMPARE(key.value.items, value.items);
    }
}

void tst_IniReader::plainTextReadsAsTheToolkitReadsIt_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("the toolkit's own escapes") << QByteArray(
            "[bitlabels]\nGeneric\\Bit%201=0\nGeneric\\Bit%2010=9\nGeneric\\Bit%202=1\n"
            "Generic\\%28x%29%2C%20y=2\n") << QStringList { "Generic" };
    QTest::newRow("sets in code unit order")
            << QByteArray("[bitlabels]\nalpha\\a=0\nZeta\\a=0\nA%20b\\a=0\nA\\a=0\nB\\a=0\n")
            << QStringList { "A", "A b", "B", "Zeta", "alpha" };
    QTest::newRow("labels out of bit order")
            << QByteArray("[bitlabels]\nS\\Ready=0\nS\\Error=2\nS\\Busy=1\n")
            << QStringList { "S" };
    QTest::newRow("unicode: escaped, lower-case hex, raw UTF-8")
            << QByteArray("[bitlabels]\nS\\%U00B5s=0\nS\\%b0C=1\nS\\Temp\xc3\xa9rature=2\n"
                          "S\\%U4E2D=3\nT\xc3\xa9\\x=0\n")
            << QStringList { "S", "T\u00e9" };
    QTest::newRow("raw blanks and punctuation")
            << QByteArray("[bitlabels]\nUART status\\RX ready (RXRDY)=0\nUART status\\a+b: x!=1\n")
            << QStringList { "UART status" };
    QTest::newRow("Windows line ends")
            << QByteArray("[bitlabels]\r\nS\\b=1\r\nS\\a=0\r\n") << QStringList { "S" };
    QTest::newRow("byte order mark")
            << QByteArray("\xef\xbb\xbf[bitlabels]\nS\\a=0\n") << QStringList { "S" };
    QTest::newRow("comments, blank lines, no final line end")
            << QByteArray("; labels\n\n[bitlabels]\n; the UART\nS\\a=0\n\nS\\b=1")
            << QStringList { "S" };
    QTest::newRow("other sections around the group")
            << QByteArray("[Other]\nx=some text; more\ny=1,2\n[bitlabels]\nS\\a=0\n[More]\nz=@x\n")
            << QStringList { "S" };
    QTest::newRow("keys of the group itself are no sets")
            << QByteArray("[bitlabels]\nloose=3\nS\\a=0\n") << QStringList { "S" };
    QTest::newRow("a set with only deeper keys has no labels")
            << QByteArray("[bitlabels]\nDeep\\sub\\x=1\nS\\a=0\nS\\a\\b=1\n")
            << QStringList { "Deep", "S" };
    QTest::newRow("values signed, padded, out of range, on the same bit")
            << QByteArray("[bitlabels]\nS\\a=+1\nS\\b=-0\nS\\c=007\nS\\d=-1\nS\\e=99\n"
                          "S\\f=99999999999999999999\nT\\a=1\nT\\b=1\n")
            << QStringList { "S", "T" };
#ifdef Q_OS_LINUX
    QTest::newRow("names that differ in case")
            << QByteArray("[bitlabels]\nS\\a=1\nS\\A=0\ns\\a=0\n") << QStringList { "S", "s" };
#endif
    QTest::newRow("no group section") << QByteArray("[Other]\nS=0\n") << QStringList {};
    QTest::newRow("only comments") << QByteArray("; nothing yet\n") << QStringList {};
}

void tst_IniReader::plainTextReadsAsTheToolkitReadsIt()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, names);

    const LabelSets read = readIniLabelSets(text, group);
    const LabelSets expected = viaSettings(writeFile(text));
    QCOMPARE(expected.names, names);
    QCOMPARE(read.names, expected.names);
    QCOMPARE(read.labels, expected.labels);
    compareWithSettings(text, writeFile(text), writeFile(text));
}

void tst_IniReader::unusualTextReadsAsTheToolkitReadsIt_data()
{
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("quoted value") << QByteArray("[bitlabels]\nS\\a=\"1\"\n");
    QTest::newRow("quote spanning lines in another section")
            << QByteArray("[Other]\nx=\"a\n[bitlabels]\nS\\a=0\n\"\n");
    QTest::newRow("line continued by a backslash")
            << QByteArray("[Other]\nx=a\\\n[bitlabels]\nS\\a=0\n");
    QTest::newRow("text value") << QByteArray("[bitlabels]\nS\\a=x\nS\\b=1\n");
    QTest::newRow("empty value") << QByteArray("[bitlabels]\nS\\a=\n");
    QTest::newRow("blanks around the equals sign") << QByteArray("[bitlabels]\nS\\a = 1\n");
    QTest::newRow("indented line") << QByteArray("[bitlabels]\n  S\\a=0\n");
    QTest::newRow("tab") << QByteArray("[bitlabels]\nS\\a=0\t\n");
    QTest::newRow("lone carriage return") << QByteArray("[bitlabels]\rS\\a=0\n");
    QTest::newRow("keys before any section") << QByteArray("bitlabels\\S\\a=0\n");
    QTest::newRow("General section") << QByteArray("[General]\nbitlabels\\S\\a=0\n");
    QTest::newRow("set as a section") << QByteArray("[bitlabels\\S]\na=0\n");
    QTest::newRow("group section twice")
            << QByteArray("[bitlabels]\nS\\a=0\n[Other]\n[bitlabels]\nS\\b=1\n");
    QTest::newRow("group name in other case") << QByteArray("[BitLabels]\nS\\a=0\n");
    QTest::newRow("key twice") << QByteArray("[bitlabels]\nS\\a=0\nS\\a=1\n");
    QTest::newRow("key twice, escaped once") << QByteArray("[bitlabels]\nS\\a b=0\nS\\a%20b=1\n");
    // A label the writer would write in one form, given in others too: before, after and between
    // the sets that have it in that form, in the set's own section, and in lower-case digits.
    QTest::newRow("one label in the writer's form and in others")
            << QByteArray("[bitlabels]\nA\\x%5B0%5D=0\nA\\y=1\nB\\x%5B0%5D=1\nB\\x%5b0%5d=0\n"
                          "C\\x%U005B0]=2\nC\\x%5B0%5D=0\nD\\%41=0\nD\\A=1\nE\\A=0\nE\\x.y=1\n"
                          "F\\x%2Ey=0\nF\\x.y=1\nG\\%C3%A9=0\nG\\%E9=1\nG\\%U00E9=2\n"
                          "H\\%U4E2D=0\nH\\%u4E2D=1\nH\\%U4e2d=2\nH\\%UD800=3\nK\\%5C=0\nK\\%00=1\n"
                          "[bitlabels\\A]\nx%5B0%5D=2\ny=0\n[bitlabels\\E]\nx%2Ey=2\n");
    QTest::newRow("labels in the writer's form only, then one in another")
            << QByteArray("[bitlabels]\nA\\a%5B1%5D=1\nA\\a%5B0%5D=0\nB\\a%5B0%5D=0\n"
                          "B\\a%5B1%5D=1\nC\\a%5B1%5D=0\nC\\a[1]=1\nD\\a[0]=0\nD\\a%5B0%5D=1\n");
#ifndef Q_OS_LINUX
    // Where the settings class may compare names without case.
    QTest::newRow("labels that differ in case") << QByteArray("[bitlabels]\nS\\a=0\nS\\A=1\n");
    QTest::newRow("sets that differ in case") << QByteArray("[bitlabels]\nS\\a=0\ns\\a=0\n");
#endif
    QTest::newRow("escaped slash") << QByteArray("[bitlabels]\nS\\a%2Fb=0\n");
    // The key reads as a label with a backslash, but looking its value up turns it into a group.
    QTest::newRow("escaped backslash") << QByteArray("[bitlabels]\nS\\a%5Cb=1\nS\\c=0\n");
    QTest::newRow("raw slash") << QByteArray("[bitlabels]\nS/a=0\n");
    QTest::newRow("empty set name") << QByteArray("[bitlabels]\n\\a=0\n");
    QTest::newRow("broken escape") << QByteArray("[bitlabels]\nS\\a%2=0\n");
    QTest::newRow("escaped surrogate") << QByteArray("[bitlabels]\nS\\%UD800=0\n");
    QTest::newRow("invalid UTF-8") << QByteArray("[bitlabels]\nS\\a\xff=0\n");
    QTest::newRow("comma in a key") << QByteArray("[bitlabels]\nS\\a,b=0\n");
    QTest::newRow("keys before any section and the set's own section")
            << QByteArray("bitlabels\\S\\a=5\nbitlabels\\G\\a=0\n[bitlabels]\nS\\a=1\nS\\b=0\n"
                          "[bitlabels\\S]\na=0\nc=2\n[bitlabels\\T]\na=0\n");
    QTest::newRow("General, %General and a lower-case general")
            << QByteArray("[general]\nbitlabels\\S\\a=0\n[%General]\nx=1\n[General]\ny=2\n"
                          "[bitlabels]\nS\\b=0\n");
    QTest::newRow("escaped and trimmed section names, a missing ']'")
            << QByteArray("[ bitlabels ]\nS\\a=1\n[bit%6Cabels]\nS\\b=0\n[bitlabels\nS\\c=2\n");
    QTest::newRow("comments mid-line and inside quotes")
            << QByteArray("[bitlabels] ; sets\nS\\a=1 ; one\nS\\b=\"0;x\"\nS\\c;=2\n;S\\d=0\n");
    QTest::newRow("carriage returns alone and in pairs")
            << QByteArray("\r[bitlabels]\r\rS\\a=1\r\n\n\rS\\b=0\n\r");
    QTest::newRow("escapes in values")
            << QByteArray("[bitlabels]\nS\\a=\\x31\nS\\b=\\060\nS\\c=\\t2\\v\nS\\d=\\q3\n"
                          "S\\e=\\a\\b\\f\\n\\r\\\"\\?\\'\\\\\nS\\f=\\x\nS\\g=\\x4G\n");
    QTest::newRow("values continued and quoted over lines")
            << QByteArray("[bitlabels]\nS\\a=1\\\n0\nS\\b=\"2\n\"\nS\\c=\\\r\n3\nS\\d=0\\\n\r4\n");
    QTest::newRow("lists, quoted blanks and trailing blanks") << QByteArray(
            "[bitlabels]\nS\\a=1, 2\nS\\b=\" 1 \"\nS\\c= 2 \t\nS\\d=\"1\" x \nS\\e=,\n"
            "S\\f=\"a,b\"\nS\\g=@@a,@@b\n");
    QTest::newRow("key escapes the number conversion reads loosely")
            << QByteArray("[bitlabels]\nS\\%U0x41=1\nS\\% 41=0\nS\\%+42=2\nS\\%4=3\nS\\%=4\n"
                          "S\\%zz=0\n");
    QTest::newRow("UTF-8 cut by escapes and quotes, a byte order mark in a value")
            << QByteArray("[bitlabels]\nS\\a=\xc3\\x31\xa9\nS\\b=\xc3\"x\"\xa9\nS\\c=\xef\xbb\xbf"
                          "1\nS\\d=2\xc3\nS\\e=\"\xef\xbb\xbf\"0\n");
    QTest::newRow("strings the settings class types without objects")
            << QByteArray("[bitlabels]\nS\\a=@String(1)\nS\\b=@ByteArray(0)\nS\\c=@@2\n"
                          "S\\d=@String(3\nS\\e=@Other(4)\nS\\f=@ByteArray(\xc3\xa9)\n");
    QTest::newRow("empty labels and an empty set name")
            << QByteArray("[bitlabels]\nS\\=1\nS\\ =0\n\\S\\a=0\nT\\\\x=0\n[bitlabels\\S]\n=2\n");
    // Each set repeats the one before it, in whole, in part or beyond it; the sets out of order
    // and one of them given twice.
    QTest::newRow("sets that repeat the set before")
            << QByteArray("[bitlabels]\nB\\x=0\nB\\y=1\nA\\x=0\nA\\y=1\nA\\z=2\nC\\x=0\nC\\y=2\n"
                          "D\\x=0\nB\\w=3\nE\\x=0\nE\\y=1\nE\\z=2\n");
    // After a line of the same set, where the set before had the same labels.
    QTest::newRow("lines like the one before that split elsewhere") << QByteArray(
            "[bitlabels]\nS\\a=0\nS\\a b =1\nS\\\"q=2\nS\\r\"s\"t=3\nS\\%2Fx=4\nS\\c;d=5\n"
            "S\\e=6;x\nS\\=7\nS\\g==8\nS\\h=9\r\nS\\i=10\tS\\j=11\nS\\k=1\\\n2\n"
            "T\\a=0\nT\\a b =1\nT\\\"q=2\nT\\r\"s\"t=3\nT\\%2Fx=4\nT\\c;d=5\nT\\e=6\n"
            "T\\h=9\nT\\i=1\n \nT\\j=1\n\v[x\\a=0\n[x\\b=1\n");
}

// Text that only the settings class's rules explain: the reader follows them all the same.
void tst_IniReader::unusualTextReadsAsTheToolkitReadsIt()
{
    QFETCH(QByteArray, text);

    const QString path = writeFile(text);
    const LabelSets expected = viaSettings(path);
    const LabelSets read = readLabelSetsFromFile(path, group);
    QCOMPARE(read.names, expected.names);
    QCOMPARE(read.labels, expected.labels);
    compareWithSettings(text, writeFile(text), writeFile(text));
}

void tst_IniReader::typedValuesStayText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QStringList>("values");

    // The settings class would make the string "1" of this one and show b on bit 1.
    static const char variant[] = "@Variant(\0\0\0\n\0\0\0\x02\0"
                                  "1)";
    QTest::newRow("a string inside @Variant")
            << QByteArray("[bitlabels]\nS\\a=0\nS\\b=@Variant(\\0\\0\\0\\n\\0\\0\\0\\x2\\0\\x31)\n")
            << QStringList { "b", "b" }
            << QStringList { "0", QString::fromLatin1(variant, sizeof variant - 1) };
    QTest::newRow("rectangles, sizes, points, invalid")
            << QByteArray("[bitlabels]\nS\\a=@Rect(1 2 3 4)\nS\\b=@Size(1 2)\nS\\c=@Point(1 2)\n"
                          "S\\d=@Invalid()\nS\\e=1\n")
            << QStringList { "d", "e", "c", "d", "e" }
            << QStringList { "@Rect(1 2 3 4)", "@Size(1 2)", "@Point(1 2)", "@Invalid()", "1" };
    QTest::newRow("a list holding a type")
            << QByteArray("[bitlabels]\nS\\a=@Rect(1 2 3 4),1\nS\\b=1\n")
            << QStringList { "a", "b" } << QStringList { "@Rect(1 2 3 4)|1", "1" };
}

// Values that the settings class would turn into objects are read as text and name bit 0.
void tst_IniReader::typedValuesStayText()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, labels);
    QFETCH(QStringList, values);

    const LabelSets read = readIniLabelSets(text, group);
    QCOMPARE(read.names, QStringList { "S" });
    QCOMPARE(read.labels.at(0), labels);
    const QList<IniLabelSet> keys = readIniLabelSetKeys(text, group);
    QStringList texts;
    for (const IniValue &value : keys.at(0).values)
        texts.append(value.kind == IniValue::List ? value.items.join(u'|') : value.text);
    QCOMPARE(texts, values);
}

// What people are likely to have in a file of many sets: the toolkit's own output.
void tst_IniReader::fileWrittenByTheToolkit()
{
    const QString path = dir.filePath(QStringLiteral("toolkit.ini"));
    const QStringList words { "Ready", "ready?", "Error (parity)", "µs tick",    "Überlauf", "50%",
                              "a,b",   "x=y",    "\"q\"",          "semi;colon", "50°C",     "中" };
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue(QStringLiteral("Other/key"), QStringLiteral("some text"));
        settings.beginGroup(group);
        for (int set = 0; set < 300; ++set) {
            settings.beginGroup(QStringLiteral("Register %1 %2").arg(set).arg(words.at(set % 12)));
            for (int bit = 0; bit < 32; ++bit) {
                settings.setValue(
                        QStringLiteral("%1 %2").arg(words.at((set + bit) % 12)).arg(bit + 1),
                        (bit * 7 + set) % 33);
            }
            settings.endGroup();
        }
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    const LabelSets read = readIniLabelSets(text, group);
    const LabelSets expected = viaSettings(path);
    QCOMPARE(read.names.size(), 300);
    QCOMPARE(read.names, expected.names);
    QCOMPARE(read.labels, expected.labels);
    compareWithSettings(text, writeFile(text), writeFile(text));
}

// Lines drawn from pieces that the reader takes and pieces that it must decline; a plain-only
// file may still be declined (a key twice, names differing in case).
QByteArray tst_IniReader::randomFile(QRandomGenerator &random, bool plainOnly)
{
    // "A%20b" and "A b", "%B5s" and the raw "µs" are the same names.
    static const QList<QByteArray> sets { "A",         "A%20b", "Zeta", "alpha", "B%U00E9",
                                          "T\xc3\xa9", "x.y",   "_",    "S(1)",  "A b" };
    static const QList<QByteArray> labels { "Bit%201", "Bit%2010",  "Bit%202", "Ready", "Busy",
                                            "%B5s",    "\xc2\xb5s", "a+b",     "f:1",   "Flag 3" };
    static const QList<QByteArray> values { "0", "1", "2", "3", "31", "-1", "+2", "007", "99" };
    static const QList<QByteArray> plainLines { "", "; note", "loose=1", "A\\sub\\x=2" };
    static const QList<QByteArray> oddLines {
        "  A\\a=1",   "A\\a=\"2\"", "x=\"open",    "y=end\\",    "A\\a=x", "[General]",
        "A\\a = 1",   "\tB\\b=0",   "[BITLABELS]", "A%2Fb\\c=1", "k",      "A\\b\rB\\c=1",
        "a\\Ready=0", "A\\ready=1", "[bitlabels]", "[Other]"
    };
    auto pick = [&random](const QList<QByteArray> &list) {
        return list.at(random.bounded(int(list.size())));
    };
    // Spellings of one name, so that a plain file never holds a key twice.
    auto normalized = [](QByteArray key) {
        return key.replace("%20", " ").replace("%B5", "\xc2\xb5");
    };

    const QByteArray lineEnd = random.bounded(4) == 0 ? "\r\n" : "\n";
    const QByteArray otherSection = "[Other]" + lineEnd + "x=text; y" + lineEnd;
    QByteArray text;
    if (random.bounded(4) == 0)
        text += otherSection;
    if (plainOnly || random.bounded(2))
        text += "[bitlabels]" + lineEnd;
    QSet<QByteArray> keys;
    const int lines = random.bounded(40);
    for (int i = 0; i < lines; ++i) {
        const int kind = random.bounded(10);
        QByteArray line;
        if (kind < 7) {
            const QByteArray key = pick(sets) + '\\' + pick(labels);
            if (plainOnly && keys.contains(normalized(key)))
                continue;
            keys.insert(normalized(key));
            line = key + '=' + pick(values);
        } else if (kind < 9 || plainOnly) {
            line = pick(plainLines);
        } else {
            line = pick(oddLines);
        }
        text += line + lineEnd;
    }
    if (random.bounded(4) == 0)
        text += otherSection;
    return text;
}

void tst_IniReader::generatedFiles()
{
    QRandomGenerator random(20261207);
    for (int n = 0; n < 400; ++n) {
        const QByteArray text = randomFile(random, n % 2 == 0);
        const QString path = writeFile(text);
        const LabelSets expected = viaSettings(path);
        const LabelSets read = readLabelSetsFromFile(path, group);
        QVERIFY2(read.names == expected.names && read.labels == expected.labels, text.constData());
        const LabelSetIndex indexed = indexLabelSetsFromFile(path, group);
        QCOMPARE(indexed.names, expected.names);
        for (qsizetype k = 0; k < indexed.names.size(); ++k)
            QCOMPARE(indexed.labels(k), expected.labels.at(k));
        compareWithSettings(text, writeFile(text), writeFile(text));
        if (QTest::currentTestFailed())
            QFAIL(text.constData());
    }
}

QTEST_GUILESS_MAIN(tst_IniReader)
#include "tst_inireader.moc"
