// SPDX-License-Identifier: MIT
// The two-way link between the 32 bit check boxes and the mask number field.
#include "qvmaskcalcwindow.h"

#include <QtTest>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QLineEdit>

using Bits = QList<int>;

class tst_MaskSync : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void clicksWriteTheNumber_data();
    void clicksWriteTheNumber();
    void numberSetsTheBoxes_data();
    void numberSetsTheBoxes();
    void typedNumberSetsTheBoxes_data();
    void typedNumberSetsTheBoxes();
    void pastedNumberSetsTheBoxes_data();
    void pastedNumberSetsTheBoxes();
    void fieldShowsTheBoxesWhenLeft_data();
    void fieldShowsTheBoxesWhenLeft();
    void steppingWraps_data();
    void steppingWraps();
    void checkAllAndUncheckAll_data();
    void checkAllAndUncheckAll();
    void settingABoxByProgramLeavesTheNumber();
    void disabledBoxFollowsAndCounts();

private:
    QCheckBox *box(int bit) const
    {
        return window->findChild<QCheckBox *>(QString("bit_%1").arg(bit));
    }
    Bits tickedBits() const
    {
        Bits bits;
        for (int bit = 0; bit < 32; ++bit) {
            if (box(bit)->isChecked())
                bits << bit;
        }
        return bits;
    }

    QvMaskCalcWindow *window = nullptr;
    QDoubleSpinBox *field = nullptr;
};

static Bits allBits()
{
    Bits bits;
    for (int bit = 0; bit < 32; ++bit)
        bits << bit;
    return bits;
}

static Bits bitsOf(quint32 mask)
{
    Bits bits;
    for (int bit = 0; bit < 32; ++bit) {
        if ((mask >> bit) & 1u)
            bits << bit;
    }
    return bits;
}

void tst_MaskSync::init()
{
    window = new QvMaskCalcWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    field = window->findChild<QDoubleSpinBox *>("sbMaskValue");
    QVERIFY(field);
}

void tst_MaskSync::cleanup()
{
    delete window;
    window = nullptr;
}

void tst_MaskSync::clicksWriteTheNumber_data()
{
    QTest::addColumn<Bits>("clicks");
    QTest::addColumn<double>("expected");
    QTest::newRow("bit 0 alone") << Bits { 0 } << 1.0;
    QTest::newRow("bit 5 alone") << Bits { 5 } << 32.0;
    QTest::newRow("bits 0 and 2") << Bits { 2, 0 } << 5.0;
    QTest::newRow("bit 30 alone") << Bits { 30 } << 1073741824.0;
    QTest::newRow("bit 31 alone") << Bits { 31 } << 2147483648.0;
    QTest::newRow("bits 31 and 0") << Bits { 31, 0 } << 2147483649.0;
    QTest::newRow("all 32") << allBits() << 4294967295.0;
    QTest::newRow("bit 3 ticked and cleared again") << Bits { 3, 3 } << 0.0;
    QTest::newRow("top half") << Bits { 16, 17, 18, 19, 20, 21, 22, 23,
                                        24, 25, 26, 27, 28, 29, 30, 31 }
                              << 4294901760.0;
}

void tst_MaskSync::clicksWriteTheNumber()
{
    QFETCH(Bits, clicks);
    QFETCH(double, expected);
    for (int bit : clicks)
        QTest::mouseClick(box(bit), Qt::LeftButton);
    QCOMPARE(field->value(), expected);
    QCOMPARE(field->text(), QString::number(quint32(expected)));
}

void tst_MaskSync::numberSetsTheBoxes_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<Bits>("expected");
    QTest::newRow("0 clears all") << 0.0 << Bits {};
    QTest::newRow("5 is bits 0 and 2") << 5.0 << Bits { 0, 2 };
    QTest::newRow("2147483647 is bits 0 to 30") << 2147483647.0 << allBits().mid(0, 31);
    QTest::newRow("2147483648 is bit 31 alone") << 2147483648.0 << Bits { 31 };
    QTest::newRow("3221225472 is bits 30 and 31") << 3221225472.0 << Bits { 30, 31 };
    QTest::newRow("4294967295 is all") << 4294967295.0 << allBits();
    QTest::newRow("fractions round to whole numbers") << 6.4 << Bits { 1, 2 };
}

void tst_MaskSync::numberSetsTheBoxes()
{
    QFETCH(double, value);
    QFETCH(Bits, expected);
    // Start from a different pattern, so that every box must really be rewritten.
    field->setValue(0xAAAAAAAAu);
    field->setValue(value);
    QCOMPARE(tickedBits(), expected);
}

void tst_MaskSync::typedNumberSetsTheBoxes_data()
{
    // "shown": the field's text once the keys are typed, before the cursor leaves it.
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("5") << "5" << 5.0 << "5";
    QTest::newRow("2147483648") << "2147483648" << 2147483648.0 << "2147483648";
    QTest::newRow("4294967295") << "4294967295" << 4294967295.0 << "4294967295";
    QTest::newRow("a digit too many is refused") << "42949672950" << 4294967295.0 << "4294967295";
    QTest::newRow("letters are refused") << "1x2" << 12.0 << "12";
    QTest::newRow("x first is refused") << "x10" << 10.0 << "10";
    QTest::newRow("x after 00 is refused") << "00x10" << 10.0 << "0010";
    QTest::newRow("x after + is refused") << "+0x10" << 10.0 << "+010";

    QTest::newRow("0x3005") << "0x3005" << 12293.0 << "0x3005";
    QTest::newRow("0X upper case") << "0X3005" << 12293.0 << "0X3005";
    QTest::newRow("mixed case digits") << "0xdeadBEEF" << 3735928559.0 << "0xdeadBEEF";
    QTest::newRow("0xDEAD_BEEF") << "0xDEAD_BEEF" << 3735928559.0 << "0xDEAD_BEEF";
    QTest::newRow("0xFFFFFFFF") << "0xFFFFFFFF" << 4294967295.0 << "0xFFFFFFFF";
    QTest::newRow("hex leading zeros") << "0x000000001" << 1.0 << "0x000000001";
    QTest::newRow("hex digit past the maximum refused")
            << "0xFFFFFFFFF" << 4294967295.0 << "0xFFFFFFFF";
    QTest::newRow("0x1_0000_0000 stops before the last 0")
            << "0x1_0000_0000" << 268435456.0 << "0x1_0000_000";
    QTest::newRow("0x alone waits") << "0x" << 0.0 << "0x";
    QTest::newRow("separator last waits") << "0x12_" << 18.0 << "0x12_";
    QTest::newRow("separator after 0x refused") << "0x_1" << 1.0 << "0x1";
    QTest::newRow("second separator refused") << "0x1__2" << 18.0 << "0x1_2";
    QTest::newRow("g is no hex digit") << "0xg1" << 1.0 << "0x1";
    QTest::newRow("blank after a digit dropped") << "0x1 2" << 18.0 << "0x12";
    QTest::newRow("0b101") << "0b101" << 5.0 << "0b101";
    QTest::newRow("0B upper case, separator") << "0B1000_0000" << 128.0 << "0B1000_0000";
    QTest::newRow("2 is no binary digit") << "0b1021" << 5.0 << "0b101";
    QTest::newRow("33 binary ones stop at 32")
            << "0b" + QString(33, '1') << 4294967295.0 << "0b" + QString(32, '1');
    QTest::newRow("bit 31 in binary")
            << "0b1" + QString(31, '0') << 2147483648.0 << "0b1" + QString(31, '0');
}

void tst_MaskSync::typedNumberSetsTheBoxes()
{
    QFETCH(QString, typed);
    QFETCH(double, value);
    QFETCH(QString, shown);
    field->setFocus();
    QLineEdit *edit = field->findChild<QLineEdit *>();
    QVERIFY(edit);
    edit->selectAll();
    // Every accepted keystroke updates the boxes at once, without waiting for Enter; one that
    // leaves the number unfinished (0x, a separator) changes neither.
    for (const QChar key : typed) {
        QTest::keyClicks(edit, QString(key));
        QCOMPARE(tickedBits(), bitsOf(quint32(field->value())));
    }
    QCOMPARE(field->value(), value);
    QCOMPARE(edit->text(), shown);
    // Return shows the number in decimal.
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(field->value(), value);
    QCOMPARE(edit->text(), QString::number(quint32(value)));
    QCOMPARE(tickedBits(), bitsOf(quint32(value)));
}

void tst_MaskSync::pastedNumberSetsTheBoxes_data()
{
    // A paste replaces the whole text, or, refused, leaves the field at 12345.
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("shown");
    const QString left = "12345";
    QTest::newRow("decimal") << "4294967295" << 4294967295.0 << "4294967295";
    QTest::newRow("decimal with blanks around") << " 42 " << 42.0 << "42";
    QTest::newRow("decimal past the maximum") << "4294967296" << 12345.0 << left;
    QTest::newRow("negative") << "-5" << 12345.0 << left;
    QTest::newRow("0xDEADBEEF") << "0xDEADBEEF" << 3735928559.0 << "0xDEADBEEF";
    QTest::newRow("0xdead_beef") << "0xdead_beef" << 3735928559.0 << "0xdead_beef";
    QTest::newRow("hex with blanks around") << "\t0x10 \n" << 16.0 << "0x10";
    QTest::newRow("0X8000_0000") << "0X8000_0000" << 2147483648.0 << "0X8000_0000";
    QTest::newRow("0b1010") << "0b1010" << 10.0 << "0b1010";
    QTest::newRow("0B1111_0000") << "0B1111_0000" << 240.0 << "0B1111_0000";
    QTest::newRow("0x0") << "0x0" << 0.0 << "0x0";
    QTest::newRow("0x1_0000_0000 past the maximum") << "0x1_0000_0000" << 12345.0 << left;
    QTest::newRow("nine hex digits") << "0x123456789" << 12345.0 << left;
    QTest::newRow("thirty-three binary digits") << "0b1" + QString(32, '0') << 12345.0 << left;
    QTest::newRow("blank inside") << "0xDEAD BEEF" << 12345.0 << left;
    QTest::newRow("separator after 0x") << "0x_10" << 12345.0 << left;
    QTest::newRow("double separator") << "0x1__0" << 12345.0 << left;
    QTest::newRow("not a hex digit") << "0x1G" << 12345.0 << left;
    QTest::newRow("not a binary digit") << "0b102" << 12345.0 << left;
    QTest::newRow("negative hex") << "-0x10" << 12345.0 << left;
    QTest::newRow("hex with a sign") << "+0x10" << 12345.0 << left;
    QTest::newRow("C suffix") << "0x10u" << 12345.0 << left;
    QTest::newRow("0x alone waits, the number stays") << "0x" << 12345.0 << "0x";
    QTest::newRow("separator last waits") << "0x10_" << 12345.0 << "0x10_";
    QTest::newRow("blank after 0x") << "0x 10" << 12345.0 << left;
}

void tst_MaskSync::pastedNumberSetsTheBoxes()
{
    QFETCH(QString, pasted);
    QFETCH(double, value);
    QFETCH(QString, shown);
    field->setValue(12345.0);
    field->setFocus();
    QLineEdit *edit = field->findChild<QLineEdit *>();
    edit->selectAll();
    QGuiApplication::clipboard()->setText(pasted);
    QTest::keySequence(edit, QKeySequence::Paste);
    QCOMPARE(edit->text(), shown);
    QCOMPARE(field->value(), value);
    QCOMPARE(tickedBits(), bitsOf(quint32(value)));
    // Return shows in decimal whatever number the field then holds.
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(edit->text(), QString::number(quint32(field->value())));
    QCOMPARE(tickedBits(), bitsOf(quint32(field->value())));
}

void tst_MaskSync::fieldShowsTheBoxesWhenLeft_data()
{
    // Keys typed into the field, one a step: a key sequence, or text typed as it is.
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<double>("expected");
    QTest::newRow("12345, Ctrl+U, Tab") << QStringList { "12345", "Ctrl+U", "Tab" } << 12345.0;
    QTest::newRow("12345, Ctrl+U, Return")
            << QStringList { "12345", "Ctrl+U", "Return" } << 12345.0;
    QTest::newRow("12345, Ctrl+U, click on bit 1")
            << QStringList { "12345", "Ctrl+U", "click bit_1" } << 12347.0;
    QTest::newRow("12345, select all, Delete, Tab")
            << QStringList { "12345", "Ctrl+A", "Delete", "Tab" } << 12345.0;
    QTest::newRow("0x3005, Tab") << QStringList { "0x3005", "Tab" } << 12293.0;
    QTest::newRow("0xDEAD_BEEF, Return") << QStringList { "0xDEAD_BEEF", "Return" } << 3735928559.0;
    QTest::newRow("0b1_0000, Tab") << QStringList { "0b1_0000", "Tab" } << 16.0;
    // An unfinished number: the separator goes, 0x alone gives back the number the boxes hold.
    QTest::newRow("0x1F_, Tab") << QStringList { "0x1F_", "Tab" } << 31.0;
    QTest::newRow("0x, click on bit 1, Tab") << QStringList { "0x", "click bit_1", "Tab" } << 2.0;
    QTest::newRow("0x, Return") << QStringList { "0x", "Return" } << 0.0;
    QTest::newRow("12345, Backspace to empty, Return")
            << QStringList { "12345",     "Backspace", "Backspace", "Backspace",
                             "Backspace", "Backspace", "Return" }
            << 1.0;
}

void tst_MaskSync::fieldShowsTheBoxesWhenLeft()
{
    QFETCH(QStringList, keys);
    QFETCH(double, expected);
    if (keys.contains("Ctrl+U") && QGuiApplication::platformName() != "xcb") {
        // Not QSKIP: its empty "..." is an extension that clang's -Wpedantic reports.
        QTest::qSkip("Only X11 binds Ctrl+U in the field (delete the line); elsewhere Uncheck All "
                     "takes it",
                     __FILE__, __LINE__);
        return;
    }
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    field->setFocus();
    field->findChild<QLineEdit *>()->selectAll();
    for (const QString &key : std::as_const(keys)) {
        if (key.startsWith("click "))
            QTest::mouseClick(window->findChild<QWidget *>(key.mid(6)), Qt::LeftButton);
        else if (key.front().isDigit())
            QTest::keyClicks(field, key);
        else
            QTest::keySequence(field, QKeySequence(key));
    }
    QCOMPARE(field->value(), expected);
    QCOMPARE(field->text(), QString::number(quint32(expected)));
    QCOMPARE(tickedBits(), bitsOf(quint32(expected)));
}

void tst_MaskSync::steppingWraps_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<int>("steps");
    QTest::addColumn<double>("expected");
    QTest::addColumn<Bits>("bits");
    QTest::newRow("up from the maximum to 0") << 4294967295.0 << 1 << 0.0 << Bits {};
    QTest::newRow("down from 0 to the maximum") << 0.0 << -1 << 4294967295.0 << allBits();
    QTest::newRow("up to the maximum") << 4294967294.0 << 1 << 4294967295.0 << allBits();
    QTest::newRow("up across bit 31") << 2147483647.0 << 1 << 2147483648.0 << Bits { 31 };
    QTest::newRow("down across bit 31")
            << 2147483648.0 << -1 << 2147483647.0 << allBits().mid(0, 31);
}

void tst_MaskSync::steppingWraps()
{
    QFETCH(double, start);
    QFETCH(int, steps);
    QFETCH(double, expected);
    QFETCH(Bits, bits);
    field->setValue(start);
    field->stepBy(steps);
    QCOMPARE(field->value(), expected);
    QCOMPARE(tickedBits(), bits);
}

void tst_MaskSync::checkAllAndUncheckAll_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("expected");
    QTest::addColumn<int>("changes");
    QTest::newRow("Check All from 0") << "actionCheck_All" << 0.0 << 4294967295.0 << 1;
    QTest::newRow("Check All from a pattern") << "actionCheck_All" << 12345.0 << 4294967295.0 << 1;
    QTest::newRow("Check All at the maximum")
            << "actionCheck_All" << 4294967295.0 << 4294967295.0 << 0;
    QTest::newRow("Uncheck All from the maximum")
            << "actionUncheck_All" << 4294967295.0 << 0.0 << 1;
    QTest::newRow("Uncheck All at 0") << "actionUncheck_All" << 0.0 << 0.0 << 0;
}

void tst_MaskSync::checkAllAndUncheckAll()
{
    QFETCH(QString, action);
    QFETCH(double, start);
    QFETCH(double, expected);
    QFETCH(int, changes);
    field->setValue(start);
    QSignalSpy spy(field, &QDoubleSpinBox::valueChanged);
    QList<QSignalSpy *> toggles;
    for (int bit = 0; bit < 32; ++bit)
        toggles << new QSignalSpy(box(bit), &QCheckBox::toggled);

    window->findChild<QAction *>(action)->trigger();

    QCOMPARE(field->value(), expected);
    QCOMPARE(spy.size(), changes);
    QCOMPARE(tickedBits(), expected == 0.0 ? Bits {} : allBits());
    if (changes == 0) {
        for (QSignalSpy *toggled : std::as_const(toggles))
            QCOMPARE(toggled->size(), 0);
    }
    qDeleteAll(toggles);
}

void tst_MaskSync::settingABoxByProgramLeavesTheNumber()
{
    field->setValue(8.0);
    QSignalSpy spy(field, &QDoubleSpinBox::valueChanged);
    box(0)->setChecked(true);
    box(3)->setChecked(false);
    QCOMPARE(field->value(), 8.0);
    QCOMPARE(spy.size(), 0);
    // The next click sums what the boxes show.
    QTest::mouseClick(box(1), Qt::LeftButton);
    QCOMPARE(field->value(), 3.0);
}

void tst_MaskSync::disabledBoxFollowsAndCounts()
{
    box(4)->setEnabled(false);
    field->setValue(16.0);
    QVERIFY(box(4)->isChecked());
    QTest::mouseClick(box(5), Qt::LeftButton);
    QCOMPARE(field->value(), 48.0);
    // The user cannot change it.
    QTest::mouseClick(box(4), Qt::LeftButton);
    QVERIFY(box(4)->isChecked());
    QCOMPARE(field->value(), 48.0);
    window->findChild<QAction *>("actionUncheck_All")->trigger();
    QVERIFY(!box(4)->isChecked());
    window->findChild<QAction *>("actionCheck_All")->trigger();
    QVERIFY(box(4)->isChecked());
}

QTEST_MAIN(tst_MaskSync)
#include "tst_masksync.moc"
