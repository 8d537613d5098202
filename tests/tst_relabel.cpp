// SPDX-License-Identifier: MIT
// Choosing a label set: the bit boxes take its labels, and nothing else about them changes.
#include "labelwindow.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <QtTest>

namespace {

QByteArray setLines(const QByteArray &set, const QStringList &labels)
{
    QByteArray lines;
    for (qsizetype i = 0; i < labels.size(); ++i)
        lines += set + '\\' + labels.at(i).toUtf8() + '=' + QByteArray::number(i) + '\n';
    return lines;
}

QList<bool> ticks(const QvMaskCalcWindow &window)
{
    QList<bool> states;
    for (int bit = 0; bit < 32; ++bit)
        states.append(
                window.findChild<QCheckBox *>(QStringLiteral("bit_%1").arg(bit))->isChecked());
    return states;
}

QList<bool> ticksOf(quint32 mask)
{
    QList<bool> states;
    for (int bit = 0; bit < 32; ++bit)
        states.append((mask >> bit) & 1u);
    return states;
}

void choose(QvMaskCalcWindow &window, const QString &set)
{
    auto *combo = window.findChild<QComboBox *>(QStringLiteral("cbLabels"));
    const int index = combo->findText(set);
    QVERIFY2(index >= 0, qPrintable(set));
    combo->setCurrentIndex(index);
}

} // namespace

class tst_Relabel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void labels_data();
    void labels();
    void ticksAndNumberKept();
    void disabledBoxesFollowTheNumber();
    void bitToolTips_data();
    void bitToolTips();
};

void tst_Relabel::initTestCase()
{
    // Entries in name order: Eight (current at start), Empty, Forty, Generic, Twice.
    QFile file(QCoreApplication::applicationDirPath() + QStringLiteral("/K732-118.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[bitlabels]\n" + setLines("Eight", numbered("E", 8))
               + setLines("Forty", numbered("F", 40)) + setLines("Generic", numbered("Bit ", 32, 1))
               + "Empty\\Inner\\A=0\nTwice\\A=0\nTwice\\B=0\n"
               // Captions past the length or the lines the window shows whole, and at them.
               + "Long\\" + QByteArray(128, 'M') + "=0\nLong\\" + QByteArray(129, 'W')
               + "=1\nLong\\" + QByteArray(127, 'a') + "&b=2\nLong\\" + QByteArray(127, 'c')
               + "\xf0\x9f\x98\x80=3\nLong\\" + QByteArray(7, 'L').replace("L", "l%0A")
               + "l=4\nLong\\" + QByteArray(9, 'L').replace("L", "%0Al") + "=5\n"
               + QByteArray(129, 'Z') + "\\A=0\n");
}

void tst_Relabel::cleanupTestCase()
{
    QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/K732-118.ini"));
}

void tst_Relabel::labels_data()
{
    QTest::addColumn<QStringList>("choices");
    QTest::addColumn<QStringList>("labels");

    QTest::newRow("8 labels at start") << QStringList() << numbered("E", 8);
    QTest::newRow("40 labels: the first 32 shown") << QStringList { "Forty" } << numbered("F", 32);
    QTest::newRow("no labels: every box unused") << QStringList { "Empty" } << QStringList();
    QTest::newRow("8 labels, then Generic: all back")
            << QStringList { "Generic" } << numbered("Bit ", 32, 1);
    QTest::newRow("no labels, then back to 8")
            << QStringList { "Empty", "Eight" } << numbered("E", 8);
    QTest::newRow("40, then 8: the upper boxes unused again")
            << QStringList { "Forty", "Eight" } << numbered("E", 8);
    QTest::newRow("same text twice") << QStringList { "Twice" } << QStringList { "B", "B" };
    QTest::newRow("long and many-line labels cut, with an ellipsis")
            << QStringList { "Long" }
            << QStringList { QString(128, u'M'),
                             QString(128, u'W') + u'\u2026',
                             QString(127, u'a') + QStringLiteral("&&\u2026"),
                             QString(127, u'c') + u'\u2026',
                             QStringLiteral("l\nl\nl\nl\nl\nl\nl\nl"),
                             QStringLiteral("\nl\nl\nl\nl\nl\nl\nl\u2026") };
    QTest::newRow("a long set name, cut in the drop-down")
            << QStringList { QString(128, u'Z') + u'\u2026' } << QStringList { "A" };
}

void tst_Relabel::labels()
{
    QFETCH(QStringList, choices);
    QFETCH(QStringList, labels);

    QvMaskCalcWindow window;
    for (const QString &set : std::as_const(choices))
        choose(window, set);
    QCOMPARE(boxTexts(window), expectedTexts(labels));
}

void tst_Relabel::ticksAndNumberKept()
{
    QvMaskCalcWindow window;
    auto *field = window.findChild<QDoubleSpinBox *>(QStringLiteral("sbMaskValue"));
    const quint32 mask = 0x800001ffu; // bits 0 … 8 and 31: on both sides of every set's end
    field->setValue(mask);
    QSignalSpy changes(field, &QDoubleSpinBox::valueChanged);

    for (const char *set : { "Empty", "Forty", "Eight", "Generic", "Eight" }) {
        choose(window, set);
        QCOMPARE(field->value(), double(mask));
        QCOMPARE(ticks(window), ticksOf(mask));
    }
    QCOMPARE(changes.count(), 0);
}

void tst_Relabel::disabledBoxesFollowTheNumber()
{
    QvMaskCalcWindow window;
    choose(window, QStringLiteral("Eight"));
    auto *field = window.findChild<QDoubleSpinBox *>(QStringLiteral("sbMaskValue"));
    auto *bit9 = window.findChild<QCheckBox *>(QStringLiteral("bit_9"));
    QVERIFY(!bit9->isEnabled());

    field->setValue(0x200);
    QCOMPARE(ticks(window), ticksOf(0x200));
    window.findChild<QAction *>(QStringLiteral("actionCheck_All"))->trigger();
    QCOMPARE(ticks(window), ticksOf(0xffffffffu));
    window.findChild<QAction *>(QStringLiteral("actionUncheck_All"))->trigger();
    QCOMPARE(ticks(window), ticksOf(0));

    // Only the user is kept out.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(bit9, Qt::LeftButton);
    QCOMPARE(bit9->isChecked(), false);
    QCOMPARE(field->value(), 0.0);
    QTest::mouseClick(window.findChild<QCheckBox *>(QStringLiteral("bit_7")), Qt::LeftButton);
    QCOMPARE(field->value(), 128.0);
}

void tst_Relabel::bitToolTips_data()
{
    QTest::addColumn<QStringList>("choices");
    QTest::addColumn<int>("bit");
    QTest::addColumn<QString>("expected");

    QTest::newRow("bit 0, labelled") << QStringList() << 0 << "Bit 0: 1 (0x00000001)";
    QTest::newRow("bit 5, labelled") << QStringList() << 5 << "Bit 5: 32 (0x00000020)";
    QTest::newRow("bit 31, unused") << QStringList() << 31 << "Bit 31: 2147483648 (0x80000000)";
    QTest::newRow("bit 31, labelled by Forty")
            << QStringList { "Forty" } << 31 << "Bit 31: 2147483648 (0x80000000)";
    QTest::newRow("bit 16, unused again after Forty")
            << QStringList { "Forty", "Eight" } << 16 << "Bit 16: 65536 (0x00010000)";
    QTest::newRow("bit 30, no labels at all")
            << QStringList { "Empty" } << 30 << "Bit 30: 1073741824 (0x40000000)";
}

void tst_Relabel::bitToolTips()
{
    QFETCH(QStringList, choices);
    QFETCH(int, bit);
    QFETCH(QString, expected);

    QvMaskCalcWindow window;
    for (const QString &set : std::as_const(choices))
        choose(window, set);
    const auto *box = window.findChild<QCheckBox *>(QStringLiteral("bit_%1").arg(bit));
    QCOMPARE(box->toolTip(), expected);
    QCOMPARE(box->accessibleDescription(), expected);
}

QTEST_MAIN(tst_Relabel)
#include "tst_relabel.moc"
