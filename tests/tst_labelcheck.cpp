// SPDX-License-Identifier: MIT
// check: which lines it reports, and that what it reasons about is exactly what the window shows.
#include "labeldecoding.h"
#include "labeltool.h"
#include "labelwindow.h"

#include <QComboBox>
#include <QtTest>

namespace {

QString labelFile()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/K732-118.ini");
}

QByteArray fromFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray labelLines(const QByteArray &set, int count, int first = 0)
{
    QByteArray lines;
    for (int i = first; i < count; ++i)
        lines += set + "\\L" + QByteArray::number(i) + '=' + QByteArray::number(i) + '\n';
    return lines;
}

} // namespace

class tst_LabelCheck : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void warnings_data();
    void warnings();
};

void tst_LabelCheck::cleanup()
{
    QFile::remove(labelFile());
}

void tst_LabelCheck::warnings_data()
{
    QTest::addColumn<QByteArray>("text");
    // "LINE: part of the message", in line order.
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("the example file is clean")
            << fromFile(QStringLiteral(EXAMPLE_LABEL_FILE)) << QStringList();
    QTest::newRow("quoted, padded and commented values read as numbers")
            << QByteArray("[bitlabels]\nS\\A=\" 1\"\nS\\B = +0 ; first\nS\\C=\"2\"\n")
            << QStringList();
    QTest::newRow("indented lines: labels and values where they stand")
            << QByteArray("[bitlabels]\n  S\\A=0\n\tS\\B = 5\n")
            << QStringList { "2: bit 1 of set \"S\" is named by no label: it shows \"B\"",
                             "3: the value \"5\" of label \"B\" is outside 0 … 1" };
    QTest::newRow("other sections and comments are no concern")
            << QByteArray("; note\n[General]\nx=1\n[other]\nS\\A=9\n[bitlabels]\nS\\A=0\n")
            << QStringList();
    QTest::newRow("a set section of its own")
            << QByteArray("[bitlabels/Motor]\nRun=1\nStop=0\n[bitlabels]\nMotor\\Fault=7\n")
            << QStringList { "2: bit 2 of set \"Motor\" is named by no label: it shows \"Stop\"",
                             "5: outside 0 … 2" };
    QTest::newRow("# line makes a set")
            << QByteArray("[bitlabels]\n# Motor\\Run=0\nA\\x=0\n")
            << QStringList { "2: the label \"Run\" of set \"# Motor\"" };
    QTest::newRow("# line makes a key under the section")
            << QByteArray("[bitlabels]\n# old=1\nA\\x=0\n")
            << QStringList { "2: the key \"# old\" directly under" };
    QTest::newRow("not decimal: hexadecimal, word, list")
            << QByteArray("[bitlabels]\nS\\A=0x1\nS\\B=one\nS\\C=1, 2\n")
            << QStringList { "2: \"0x1\" of label \"A\" is no decimal",
                             "2: label \"A\" names bit 0",
                             "2: bit 1 of set \"S\"",
                             "2: bit 2 of set \"S\"",
                             "3: \"one\" of label \"B\" is no decimal",
                             "3: label \"B\" names bit 0",
                             "4: \"1, 2\" of label \"C\"" };
    QTest::newRow("out of range, shown only by its position")
            << QByteArray("[bitlabels]\nS\\A=0\nS\\B=2\n")
            << QStringList { "2: bit 1 of set \"S\" is named by no label: it shows \"B\"",
                             "3: \"2\" of label \"B\" is outside 0 … 1 for set \"S\" of 2 labels: "
                             "it names no bit (it shows on bit 1 only" };
    QTest::newRow("out of range: a huge and a negative number")
            << QByteArray("[bitlabels]\nS\\A=99999999999999999999\nS\\B=-1\nS\\C=0\n")
            << QStringList { "2: outside 0 … 2", "2: bit 1 of set", "2: bit 2 of set",
                             "3: outside 0 … 2" };
    QTest::newRow("two labels name one bit: the last in name order shows")
            << QByteArray("[bitlabels]\nS\\Zeta=0\nS\\Alpha=0\n")
            << QStringList { "2: bit 1 of set \"S\" is named by no label: it shows \"Zeta\"",
                             "3: \"Alpha\" names bit 0 of set \"S\", as other labels do: the bit "
                             "shows \"Zeta\"" };
    QTest::newRow("more than 32 labels")
            << "[bitlabels]\n" + labelLines("Big", 34)
            << QStringList { "2: set \"Big\" has 34 labels but the window has 32 bits: bits 32 … "
                             "33 (\"L32\", \"L33\")" };
    QTest::newRow("label with a deeper group")
            << QByteArray("[bitlabels]\nS\\A=0\nS\\B/C=1\nS\\D\\E=1\n")
            << QStringList { "3: \"B/C\" holds '/' or '\\'", "4: \"D/E\" holds" };
    QTest::newRow("set with no labels")
            << QByteArray("[bitlabels]\nA\\x=0\nEmpty\\Inner\\A=0\n")
            << QStringList { "3: \"Inner/A\" holds", "3: set \"Empty\" has no labels" };
    QTest::newRow("key directly under the section, line without '='")
            << QByteArray("[bitlabels]\nStray=1\nA\\x=0\nA\\y;=1\n")
            << QStringList { "2: the key \"Stray\" directly under [bitlabels] is ignored",
                             "4: has no '='" };
    QTest::newRow("repeated key: the later line wins, across sections")
            << QByteArray("[bitlabels]\nS\\A=1\nS\\B=0\n[x]\n[bitlabels]\nS\\A=9\nS\\A=1\n")
            << QStringList { "2: label \"A\" of set \"S\" is given again on line 7",
                             "6: label \"A\" of set \"S\" is given again on line 7" };
    QTest::newRow("section differs in case")
            << QByteArray("[BitLabels]\nS\\A=0\n")
            << QStringList { "1: section [BitLabels] differs from [bitlabels] only in case" };
    QTest::newRow("section misspelled, other section alone")
            << QByteArray("[bitlabls]\nS\\A=0\n[labels]\n[bit_label]\n")
            << QStringList { "1: section [bitlabls] is not [bitlabels]",
                             "4: section [bit_label] is not" };
    QTest::newRow("no misspelling warning once the section exists")
            << QByteArray("[bitlabls]\n[bitlabels]\nS\\A=0\n") << QStringList();
    QTest::newRow("long label: 64 characters pass, 65 do not")
            << "[bitlabels]\nS\\" + QByteArray(64, 'M') + "=0\nS\\" + QByteArray(65, 'W') + "=1\n"
            << QStringList { "3: is 65 characters long: above 64" };
    QTest::newRow("a label naming no bit, shown on the bit that no label names")
            << QByteArray("[bitlabels]\nS\\A=5\nS\\B=1\nS\\C=7\n")
            << QStringList { "2: is outside 0 … 2 for set \"S\" of 3 labels: it names no bit (it "
                             "shows on bit 0 only",
                             "2: bit 0 of set \"S\" is named by no label: it shows \"A\"",
                             "2: bit 2 of set \"S\" is named by no label: it shows \"C\"",
                             "4: is outside 0 … 2 for set \"S\" of 3 labels: it names no bit (it "
                             "shows on bit 2 only" };
    QTest::newRow("pairs of labels on one bit each, in and out of line order")
            << QByteArray("[bitlabels]\nS\\D=0\nS\\A=1\nS\\C=0\nS\\B=1\n")
            << QStringList { "2: bit 2 of set \"S\" is named by no label: it shows \"C\"",
                             "2: bit 3 of set \"S\" is named by no label: it shows \"D\"",
                             "3: label \"A\" names bit 1 of set \"S\", as other labels do: the bit "
                             "shows \"B\"",
                             "4: label \"C\" names bit 0 of set \"S\", as other labels do: the bit "
                             "shows \"D\"" };
    QTest::newRow("past what the window shows whole: 128 characters, 8 lines")
            << "[bitlabels]\nS\\" + QByteArray(128, 'M') + "=0\nS\\" + QByteArray(129, 'W')
                    + "=1\nS\\a%0Ab%0Ac%0Ad%0Ae%0Af%0Ag%0Ah%0Ai=2\n" + QByteArray(129, 'N')
                    + "\\x=0\n"
            << QStringList { "2: is 128 characters long: above 64",
                             "3: the window shows it cut after 128 characters, followed by \u2026",
                             "4: is 17 characters long: the window shows it cut after 15",
                             "4: of set \"S\" holds a control character",
                             "5: the name of set \"NNN" };
    QTest::newRow("bytes that are not UTF-8, with CRLF and a byte order mark")
            << QByteArray("\xef\xbb\xbf[bitlabels]\r\nS\\A=0\r\nS\\\xff=1\r\n; \xc3(\r\n")
            << QStringList { "3: bytes that are not valid UTF-8", "4: bytes that are not valid" };
    QTest::newRow("control characters in a set name and in labels")
            << QByteArray("[bitlabels]\nT%09ab\\x%0Ay=0\nT%09ab\\plain=1\nT%09ab\\cr%0D=2\n")
            << QStringList { "2: the name of set \"T\\tab\" holds a control character",
                             "2: label \"x\\ny\" of set \"T\\tab\" holds a control",
                             "4: label \"cr\\r\"" };
    QTest::newRow("sets repeating their labels, with lines of other forms among them")
            << QByteArray("[bitlabels]\nR1\\A=0\nR1\\B=1\nR2\\A=0\nR2\\B =1\nR2\\C%2FD=1\n"
                          "R3\\A=0\nR3\\B=1, 2\nR3\\A\r\nR4\\A=0\rR4\\B=\xff\n")
            << QStringList { "6: \"C/D\" holds '/'",
                             "7: label \"A\" names bit 0 of set \"R3\"",
                             "7: bit 1 of set \"R3\"",
                             "8: the value \"1, 2\" of label \"B\"",
                             "9: has no '='",
                             "10: label \"A\" names bit 0 of set \"R4\"",
                             "10: bit 1 of set \"R4\"",
                             "11: not valid UTF-8",
                             "11: of label \"B\" is no decimal" };
    QTest::newRow("a set's lines apart, with lines of a set out of name order between them")
            << QByteArray("[bitlabels]\nB%U0041\\x=0\nA%zz\\y=two\nB%U0041\\z=5\n")
            << QStringList { "2: bit 1 of set \"BA\" is named by no label",
                             "3: the value \"two\" of label \"y\" is no decimal",
                             "4: the value \"5\" of label \"z\" is outside 0 … 1 for set \"BA\"" };
    QTest::newRow("a label given twice, each line as the toolkit writes one")
            << QByteArray("[bitlabels]\nS\\A=0\nS\\A=1\n")
            << QStringList { "2: label \"A\" of set \"S\" is given again on line 3",
                             "2: bit 0 of set \"S\" is named by no label",
                             "3: the value \"1\" of label \"A\" is outside 0 … 0" };
    QTest::newRow("the last line without a line break")
            << QByteArray("[bitlabels]\nS\\A=0\nS\\B=5")
            << QStringList { "2: bit 1 of set \"S\"", "3: the value \"5\" of label \"B\"" };
    QTest::newRow("CRLF lines of sets repeating their labels, the last without a line break")
            << QByteArray("[bitlabels]\r\nS\\A=0\r\nS\\B=1\r\nT\\A=1\r\nT\\B=1")
            << QStringList { "4: bit 0 of set \"T\" is named by no label",
                             "4: label \"A\" names bit 1 of set \"T\"" };
    QTest::newRow("a continued line counts from its first line")
            << QByteArray("[bitlabels]\nS\\A=x\\\n1\nS\\B=1\n")
            << QStringList { "2: of label \"A\" is no decimal" };
}

void tst_LabelCheck::warnings()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, expected);
    {
        QFile file(labelFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(text), text.size());
    }
    const OpenedLabelFile opened = openLabelFile(labelFile());
    QVERIFY2(opened.error.isEmpty(), qPrintable(opened.error));
    const LabelFileCheck result = checkLabelFile(opened);

    QStringList found;
    for (const CheckWarning &warning : result.warnings)
        found.append(QStringLiteral("%1: %2").arg(warning.line).arg(warning.message));
    bool matches = found.size() == expected.size();
    for (qsizetype i = 0; matches && i < found.size(); ++i) {
        const QString &want = expected.at(i);
        const qsizetype colon = want.indexOf(u':');
        matches = found.at(i).startsWith(want.first(colon + 2))
                && found.at(i).contains(want.mid(colon + 2));
    }
    QVERIFY2(matches, qPrintable(found.join(u'\n')));

    // What check reasons about is what the window lists and shows, set by set, long captions cut.
    const LabelSets shown = shownLabelSets(result.shown);
    QvMaskCalcWindow window;
    QStringList entries;
    for (const QString &name : shown.names)
        entries.append(shownCaption(name));
    QCOMPARE(comboEntries(window), entries);
    auto *combo = window.findChild<QComboBox *>(QStringLiteral("cbLabels"));
    for (int k = 0; k < combo->count(); ++k) {
        combo->setCurrentIndex(k);
        QStringList captions;
        for (int bit = 0; bit < 32; ++bit)
            captions.append(shownCaption(boxCaption(shown.labels.at(k), bit)));
        QCOMPARE(boxTexts(window), captions);
    }
}

QTEST_MAIN(tst_LabelCheck)
#include "tst_labelcheck.moc"
