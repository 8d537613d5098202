// SPDX-License-Identifier: MIT
// The window form: object tree, layouts, properties and texts, built on a plain main window.
#include "qvmaskcalcwindow.h"
#include "ui_qvmaskcalcwindow.h"

#include <QtTest>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

class tst_Form : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void objectName_data();
    void objectName();
    void objects_data();
    void objects();
    void creationOrder();
    void bitBoxesInBitOrder();
    void bitBoxesAreInTheirColumns();
    void rows();
    void layoutSpacingAndMargins_data();
    void layoutSpacingAndMargins();
    void spacers_data();
    void spacers();
    void groupBoxSizePolicy();
    void widgetProperties();
    void texts_data();
    void texts();
    void bitBoxesStartEmptyAndClear();
    void barsAndActions();
    void focusChainFollowsCreationOrder();
    void widthGoesToTheSpacers();

private:
    QMainWindow *window = nullptr;
    Ui_QvMaskCalcWindow *ui = nullptr;
};

void tst_Form::init()
{
    window = new QMainWindow;
    ui = new Ui_QvMaskCalcWindow;
    ui->setupUi(window);
}

void tst_Form::cleanup()
{
    delete ui;
    ui = nullptr;
    delete window;
    window = nullptr;
}

void tst_Form::objectName_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("unnamed window gets the form's name") << QString() << "QvMaskCalcWindow";
    QTest::newRow("named window keeps its name") << "calculator"
                                                 << "calculator";
}

void tst_Form::objectName()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QMainWindow w;
    w.setObjectName(before);
    Ui_QvMaskCalcWindow form;
    form.setupUi(&w);
    QCOMPARE(w.objectName(), after);
}

void tst_Form::objects_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");

    const QString windowName = "QvMaskCalcWindow";
    QTest::newRow("actionCheck_All") << "actionCheck_All"
                                     << "QAction" << windowName;
    QTest::newRow("actionUncheck_All") << "actionUncheck_All"
                                       << "QAction" << windowName;
    QTest::newRow("action_Quit") << "action_Quit"
                                 << "QAction" << windowName;
    QTest::newRow("centralWidget") << "centralWidget"
                                   << "QWidget" << windowName;
    QTest::newRow("verticalLayout_5") << "verticalLayout_5"
                                      << "QVBoxLayout"
                                      << "centralWidget";
    QTest::newRow("horizontalLayout_2") << "horizontalLayout_2"
                                        << "QHBoxLayout"
                                        << "verticalLayout_5";
    QTest::newRow("label_2") << "label_2"
                             << "QLabel"
                             << "centralWidget";
    QTest::newRow("cbLabels") << "cbLabels"
                              << "QComboBox"
                              << "centralWidget";
    QTest::newRow("checkBoxes") << "checkBoxes"
                                << "QGroupBox"
                                << "centralWidget";
    QTest::newRow("horizontalLayout") << "horizontalLayout"
                                      << "QHBoxLayout"
                                      << "checkBoxes";
    QTest::newRow("verticalLayout") << "verticalLayout"
                                    << "QVBoxLayout"
                                    << "horizontalLayout";
    for (int c = 2; c <= 4; ++c) {
        const QString name = QString("verticalLayout_%1").arg(c);
        QTest::newRow(qPrintable(name)) << name << "QVBoxLayout"
                                        << "horizontalLayout";
    }
    for (int n = 0; n < 32; ++n) {
        const QString name = QString("bit_%1").arg(n);
        QTest::newRow(qPrintable(name)) << name << "QCheckBox"
                                        << "checkBoxes";
    }
    QTest::newRow("horizontalLayout_3") << "horizontalLayout_3"
                                        << "QHBoxLayout"
                                        << "verticalLayout_5";
    QTest::newRow("label") << "label"
                           << "QLabel"
                           << "centralWidget";
    QTest::newRow("sbMaskValue") << "sbMaskValue"
                                 << "QDoubleSpinBox"
                                 << "centralWidget";
    QTest::newRow("menuBar") << "menuBar"
                             << "QMenuBar" << windowName;
    QTest::newRow("mainToolBar") << "mainToolBar"
                                 << "QToolBar" << windowName;
    QTest::newRow("statusBar") << "statusBar"
                               << "QStatusBar" << windowName;
}

void tst_Form::objects()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);

    const QList<QObject *> found = window->findChildren<QObject *>(name);
    QCOMPARE(found.size(), 1);
    QObject *object = found.first();
    QCOMPARE(QString(object->metaObject()->className()), className);
    QVERIFY(object->parent());
    QCOMPARE(object->parent()->objectName(), parentName);
}

void tst_Form::creationOrder()
{
    // Children keep the order in which they were created; only the named ones are the form's.
    auto namedChildren = [](QObject *parent) {
        QStringList names;
        for (QObject *child : parent->children()) {
            const QString name = child->objectName();
            // The main window's own layout and Qt's internal helpers are not part of the form.
            if (!name.isEmpty() && !name.startsWith("qt_") && !name.startsWith('_'))
                names << name;
        }
        return names;
    };
    QCOMPARE(namedChildren(window),
             QStringList({ "actionCheck_All", "actionUncheck_All", "action_Quit", "centralWidget",
                           "menuBar", "mainToolBar", "statusBar" }));
    QCOMPARE(namedChildren(ui->centralWidget),
             QStringList({ "verticalLayout_5", "label_2", "cbLabels", "checkBoxes", "label",
                           "sbMaskValue" }));
    QStringList bits;
    for (int n = 0; n < 32; ++n)
        bits << QString("bit_%1").arg(n);
    QCOMPARE(namedChildren(ui->checkBoxes), QStringList({ "horizontalLayout" }) + bits);
}

void tst_Form::bitBoxesInBitOrder()
{
    QCOMPARE(bitBoxPattern, QString("^bit_(\\d\\d?)$"));
    const QList<QCheckBox *> boxes =
            ui->centralWidget->findChildren<QCheckBox *>(QRegularExpression(bitBoxPattern));
    QCOMPARE(boxes.size(), 32);
    for (int n = 0; n < 32; ++n)
        QCOMPARE(boxes.at(n)->objectName(), QString("bit_%1").arg(n));
    // The boxes are the only check boxes of the window.
    QCOMPARE(window->findChildren<QCheckBox *>().size(), 32);
}

void tst_Form::bitBoxesAreInTheirColumns()
{
    const QList<QLayout *> columns = { ui->verticalLayout, ui->verticalLayout_2,
                                       ui->verticalLayout_3, ui->verticalLayout_4 };
    QCOMPARE(ui->horizontalLayout->count(), 4);
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(ui->horizontalLayout->itemAt(c)->layout(), columns.at(c));
        QCOMPARE(ui->horizontalLayout->stretch(c), 0);
        QLayout *column = columns.at(c);
        QCOMPARE(column->count(), 8);
        for (int row = 0; row < 8; ++row) {
            QLayoutItem *item = column->itemAt(row);
            QVERIFY(item->widget());
            QCOMPARE(item->widget()->objectName(), QString("bit_%1").arg(8 * c + row));
            QCOMPARE(item->alignment(), Qt::Alignment());
            QCOMPARE(static_cast<QBoxLayout *>(column)->stretch(row), 0);
        }
    }
}

void tst_Form::rows()
{
    QLayout *top = ui->centralWidget->layout();
    QCOMPARE(top, ui->verticalLayout_5);
    QCOMPARE(top->count(), 3);
    QCOMPARE(top->itemAt(0)->layout(), ui->horizontalLayout_2);
    QCOMPARE(top->itemAt(1)->widget(), ui->checkBoxes);
    QCOMPARE(top->itemAt(2)->layout(), ui->horizontalLayout_3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(ui->verticalLayout_5->stretch(i), 0);
    QCOMPARE(ui->checkBoxes->layout(), ui->horizontalLayout);

    QCOMPARE(ui->horizontalLayout_2->count(), 3);
    QCOMPARE(ui->horizontalLayout_2->itemAt(0)->widget(), ui->label_2);
    QCOMPARE(ui->horizontalLayout_2->itemAt(1)->widget(), ui->cbLabels);
    QCOMPARE(ui->horizontalLayout_2->itemAt(2)->spacerItem(), ui->horizontalSpacer);

    QCOMPARE(ui->horizontalLayout_3->count(), 3);
    QCOMPARE(ui->horizontalLayout_3->itemAt(0)->widget(), ui->label);
    QCOMPARE(ui->horizontalLayout_3->itemAt(1)->widget(), ui->sbMaskValue);
    QCOMPARE(ui->horizontalLayout_3->itemAt(2)->spacerItem(), ui->horizontalSpacer_2);

    QCOMPARE(window->centralWidget(), ui->centralWidget);
    QCOMPARE(window->menuBar(), ui->menuBar);
    QCOMPARE(window->statusBar(), ui->statusBar);
}

void tst_Form::layoutSpacingAndMargins_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("margin"); // -1: left as a nested layout has it

    QTest::newRow("verticalLayout_5") << "verticalLayout_5" << 11;
    QTest::newRow("horizontalLayout") << "horizontalLayout" << 11;
    QTest::newRow("horizontalLayout_2") << "horizontalLayout_2" << -1;
    QTest::newRow("horizontalLayout_3") << "horizontalLayout_3" << -1;
    QTest::newRow("verticalLayout") << "verticalLayout" << -1;
    QTest::newRow("verticalLayout_2") << "verticalLayout_2" << -1;
    QTest::newRow("verticalLayout_3") << "verticalLayout_3" << -1;
    QTest::newRow("verticalLayout_4") << "verticalLayout_4" << -1;
}

void tst_Form::layoutSpacingAndMargins()
{
    QFETCH(QString, name);
    QFETCH(int, margin);
    auto *layout = window->findChild<QLayout *>(name);
    QVERIFY(layout);
    QCOMPARE(layout->spacing(), 6);
    if (margin >= 0) {
        QCOMPARE(layout->contentsMargins(), QMargins(margin, margin, margin, margin));
    } else {
        // Not set by the form: the same as any layout nested into another.
        QWidget host;
        auto *outer = new QHBoxLayout(&host);
        auto *nested = new QHBoxLayout;
        outer->addLayout(nested);
        QCOMPARE(layout->contentsMargins(), nested->contentsMargins());
    }
}

void tst_Form::spacers_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QSize>("hint");
    QTest::newRow("label-set row") << 0 << QSize(149, 20);
    QTest::newRow("mask row") << 1 << QSize(224, 20);
}

void tst_Form::spacers()
{
    QFETCH(int, row);
    QFETCH(QSize, hint);
    QSpacerItem *spacer = row == 0 ? ui->horizontalSpacer : ui->horizontalSpacer_2;
    QCOMPARE(spacer->sizeHint(), hint);
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
}

void tst_Form::groupBoxSizePolicy()
{
    const QSizePolicy policy = ui->checkBoxes->sizePolicy();
    QCOMPARE(policy.horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(policy.verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(policy.horizontalStretch(), 0);
    QCOMPARE(policy.verticalStretch(), 0);
    QCOMPARE(policy.hasHeightForWidth(), QGroupBox().sizePolicy().hasHeightForWidth());
}

void tst_Form::widgetProperties()
{
    QCOMPARE(window->size(), QSize(198, 332));
    QCOMPARE(ui->label->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    QCOMPARE(ui->label_2->alignment(), QLabel().alignment());
    QCOMPARE(ui->label_2->buddy(), ui->cbLabels);
    QCOMPARE(ui->label->buddy(), ui->sbMaskValue);

    QDoubleSpinBox plain;
    plain.setDecimals(0);
    QVERIFY(ui->sbMaskValue->wrapping());
    QCOMPARE(ui->sbMaskValue->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
    QCOMPARE(ui->sbMaskValue->buttonSymbols(), QAbstractSpinBox::UpDownArrows);
    QCOMPARE(ui->sbMaskValue->decimals(), 0);
    // Range, value and minimum size are the window's business, not the form's.
    QCOMPARE(ui->sbMaskValue->minimum(), plain.minimum());
    QCOMPARE(ui->sbMaskValue->maximum(), plain.maximum());
    QCOMPARE(ui->sbMaskValue->value(), plain.value());
    QCOMPARE(ui->sbMaskValue->singleStep(), plain.singleStep());
    QVERIFY(ui->sbMaskValue->prefix().isEmpty());
    QVERIFY(ui->sbMaskValue->suffix().isEmpty());
    QCOMPARE(ui->sbMaskValue->minimumSize(), QSize(0, 0));

    QCOMPARE(ui->cbLabels->count(), 0);
    QVERIFY(!ui->cbLabels->isEditable());
    QCOMPARE(ui->menuBar->geometry(), QRect(0, 0, 198, 21));
}

void tst_Form::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("window title") << "QvMaskCalcWindow" << QByteArray("windowTitle")
                                  << QVariant("32 Bit Mask Calculator");
    QTest::newRow("Check All text")
            << "actionCheck_All" << QByteArray("text") << QVariant("Check &All");
    QTest::newRow("Check All tool tip")
            << "actionCheck_All" << QByteArray("toolTip") << QVariant("Set all bits on");
    QTest::newRow("Check All shortcut")
            << "actionCheck_All" << QByteArray("shortcut") << QVariant(QKeySequence("Ctrl+A"));
    QTest::newRow("Uncheck All text")
            << "actionUncheck_All" << QByteArray("text") << QVariant("&Uncheck All");
    QTest::newRow("Uncheck All tool tip")
            << "actionUncheck_All" << QByteArray("toolTip") << QVariant("Set all bits off");
    QTest::newRow("Uncheck All shortcut")
            << "actionUncheck_All" << QByteArray("shortcut") << QVariant(QKeySequence("Ctrl+U"));
    QTest::newRow("Quit text") << "action_Quit" << QByteArray("text") << QVariant("&Quit");
    QTest::newRow("Quit tool tip") << "action_Quit" << QByteArray("toolTip") << QVariant("Bye bye");
    QTest::newRow("Quit shortcut")
            << "action_Quit" << QByteArray("shortcut") << QVariant(QKeySequence("Ctrl+Q"));
    QTest::newRow("label-set caption")
            << "label_2" << QByteArray("text") << QVariant("Set check box labels");
    QTest::newRow("group box title") << "checkBoxes" << QByteArray("title") << QVariant("");
    QTest::newRow("mask caption") << "label" << QByteArray("text") << QVariant("Mask value");
}

void tst_Form::texts()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, expected);
    QObject *object = name == window->objectName() ? window : window->findChild<QObject *>(name);
    QVERIFY(object);
    const QVariant actual = object->property(property.constData());
    if (expected.metaType() == QMetaType::fromType<QKeySequence>())
        QCOMPARE(actual.value<QKeySequence>(), expected.value<QKeySequence>());
    else
        QCOMPARE(actual.toString(), expected.toString());
}

void tst_Form::bitBoxesStartEmptyAndClear()
{
    const QList<QCheckBox *> boxes = ui->checkBoxes->findChildren<QCheckBox *>();
    QCOMPARE(boxes.size(), 32);
    for (QCheckBox *box : boxes) {
        QVERIFY2(box->text().isEmpty(), qPrintable(box->objectName()));
        QVERIFY(!box->isChecked());
        QVERIFY(box->isEnabled());
        QVERIFY(!box->isTristate());
    }
}

void tst_Form::barsAndActions()
{
    QCOMPARE(ui->menuBar->actions().size(), 0);
    QCOMPARE(ui->mainToolBar->actions(),
             QList<QAction *>({ ui->actionCheck_All, ui->actionUncheck_All, ui->action_Quit }));
    QCOMPARE(ui->mainToolBar->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    QCOMPARE(window->toolBarArea(ui->mainToolBar), Qt::TopToolBarArea);
    QCOMPARE(ui->statusBar->findChildren<QLabel *>().size(), 0);
    for (QAction *action : ui->mainToolBar->actions()) {
        auto *button = qobject_cast<QToolButton *>(ui->mainToolBar->widgetForAction(action));
        QVERIFY(button);
        QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
        QCOMPARE(action->associatedObjects().size(), 2); // the tool bar and its button
    }
}

void tst_Form::focusChainFollowsCreationOrder()
{
    QStringList chain;
    QWidget *w = ui->cbLabels;
    do {
        if (w->focusPolicy() & Qt::TabFocus && !w->objectName().startsWith("qt_")
            && ui->centralWidget->isAncestorOf(w))
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != ui->cbLabels);

    QStringList expected = { "cbLabels" };
    for (int n = 0; n < 32; ++n)
        expected << QString("bit_%1").arg(n);
    expected << "sbMaskValue";
    QCOMPARE(chain, expected);
}

void tst_Form::widthGoesToTheSpacers()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const int labelsWidth = ui->cbLabels->width();
    const int maskWidth = ui->sbMaskValue->width();
    const QSize groupSize = ui->checkBoxes->size();

    window->resize(window->width() + 300, window->height() + 100);
    QTRY_COMPARE(ui->centralWidget->width() > groupSize.width() + 300, true);
    QCOMPARE(ui->cbLabels->width(), labelsWidth);
    QCOMPARE(ui->sbMaskValue->width(), maskWidth);
    QCOMPARE(ui->checkBoxes->size(), groupSize);
}

QTEST_MAIN(tst_Form)
#include "tst_form.moc"
