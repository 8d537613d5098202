// SPDX-License-Identifier: MIT
// What the window costs per user event, and what each label set adds to building it, in one
// process.
#include "qvmaskcalcwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSettings>
#include <QTest>

class Bench_Events : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void bitClick();
    void typedValue();
    void relabel();
    void loadSets_data();
    void loadSets();

private:
    static QString labelFile();
    static void writeSets(int sets, int labels);
};

// The window names its label file after the application name it sets, not after this executable.
QString Bench_Events::labelFile()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/K732-118.ini");
}

// Sets "Set 00000" onwards, labels "Flag 1" onwards: their sorted order differs from bit order,
// as with the default set, so that decoding has its real work to do.
void Bench_Events::writeSets(int sets, int labels)
{
    QSettings settings(labelFile(), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("bitlabels"));
    for (int set = 0; set < sets; ++set) {
        settings.beginGroup(QStringLiteral("Set %1").arg(set, 5, 10, QLatin1Char('0')));
        for (int bit = 0; bit < labels; ++bit)
            settings.setValue(QStringLiteral("Flag %1").arg(bit + 1), bit);
        settings.endGroup();
    }
    settings.endGroup();
    settings.sync();
    QCOMPARE(settings.status(), QSettings::NoError);
}

namespace {
QtMessageHandler toolkitHandler = nullptr;

// The offscreen platform warns on every change of the window's size hints; printing that warning
// would be measured with every event, and it is no cost of the program's.
void dropSizeHintWarnings(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (!text.contains(QLatin1String("propagateSizeHints")))
        toolkitHandler(type, context, text);
}
} // namespace

void Bench_Events::initTestCase()
{
    toolkitHandler = qInstallMessageHandler(dropSizeHintWarnings);
}

void Bench_Events::init()
{
    QFile::remove(labelFile());
}

void Bench_Events::cleanup()
{
    QFile::remove(labelFile());
}

void Bench_Events::bitClick()
{
    QvMaskCalcWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *box = window.findChild<QCheckBox *>(QStringLiteral("bit_5"));
    auto *field = window.findChild<QDoubleSpinBox *>(QStringLiteral("sbMaskValue"));
    QVERIFY(box && field);

    QBENCHMARK {
        box->click();
    }
    QCOMPARE(field->value(), box->isChecked() ? 32.0 : 0.0);
}

void Bench_Events::typedValue()
{
    QvMaskCalcWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *field = window.findChild<QDoubleSpinBox *>(QStringLiteral("sbMaskValue"));
    auto *box = window.findChild<QCheckBox *>(QStringLiteral("bit_0"));
    QVERIFY(field && box);

    // Alternating bit patterns: every one of the 32 boxes changes on every value.
    double value = double(0x55555555u);
    QBENCHMARK {
        field->setValue(value);
        value = value == double(0x55555555u) ? double(0xAAAAAAAAu) : double(0x55555555u);
    }
    QCOMPARE(box->isChecked(), field->value() == double(0x55555555u));
}

void Bench_Events::relabel()
{
    // Set 00000 has 8 labels, Set 00001 has 32: every switch relabels all 32 boxes and enables
    // or disables 24 of them.
    {
        QSettings settings(labelFile(), QSettings::IniFormat);
        for (int bit = 0; bit < 32; ++bit) {
            if (bit < 8)
                settings.setValue(QStringLiteral("bitlabels/Set 00000/Flag %1").arg(bit + 1), bit);
            settings.setValue(QStringLiteral("bitlabels/Set 00001/Flag %1").arg(bit + 1), bit);
        }
    }
    QvMaskCalcWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *sets = window.findChild<QComboBox *>(QStringLiteral("cbLabels"));
    auto *box = window.findChild<QCheckBox *>(QStringLiteral("bit_8"));
    QVERIFY(sets && box);
    QCOMPARE(sets->count(), 2);

    int index = 1;
    QBENCHMARK {
        sets->setCurrentIndex(index);
        index ^= 1;
    }
    QCOMPARE(box->isEnabled(), sets->currentIndex() == 1);
}

void Bench_Events::loadSets_data()
{
    QTest::addColumn<int>("sets");
    QTest::newRow("default file") << 0;
    QTest::newRow("100 sets") << 100;
    QTest::newRow("1000 sets") << 1000;
    QTest::newRow("10000 sets") << 10000;
}

// Building the whole window: the rows' differences are what the label sets cost.
void Bench_Events::loadSets()
{
    QFETCH(int, sets);
    if (sets == 0) {
        // The first window writes the default file; the measured ones read it.
        QvMaskCalcWindow first;
    } else {
        writeSets(sets, 32);
    }

    int loaded = 0;
    QBENCHMARK {
        QvMaskCalcWindow window;
        loaded = window.findChild<QComboBox *>(QStringLiteral("cbLabels"))->count();
    }
    QCOMPARE(loaded, qMax(sets, 1));
}

QTEST_MAIN(Bench_Events)
#include "events.moc"
