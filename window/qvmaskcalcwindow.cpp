// SPDX-License-Identifier: MIT
// The window's construction and the two-way link between the bit check boxes and the mask number.
#include "qvmaskcalcwindow.h"
#include "ui_qvmaskcalcwindow.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QRegularExpression>

const QString bitBoxPattern = QvMaskCalcWindow::tr("^bit_(\\d\\d?)$");

QvMaskCalcWindow::QvMaskCalcWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui_QvMaskCalcWindow)
{
    ui->setupUi(this);
    // The main window's context menu would only offer to hide the one tool bar, and nothing could
    // bring it back. Held by the window too, the actions' shortcuts do not depend on the tool bar.
    setContextMenuPolicy(Qt::NoContextMenu);
    addActions(ui->mainToolBar->actions());
    // The label file is named after the application, so the identity comes before the labels.
    SetApplicationIdentity();
    AddStatusLabel();
    LoadBitLabels();
    ConnectBitCheckBoxes();

    ui->sbMaskValue->setRange(0.0, 4294967295.0);
    // The widest value sizes the field once, so that the layout never makes it narrower.
    ui->sbMaskValue->setValue(ui->sbMaskValue->maximum());
    ui->sbMaskValue->setMinimumSize(ui->sbMaskValue->sizeHint());
    ui->sbMaskValue->resize(ui->sbMaskValue->sizeHint());
    connect(ui->sbMaskValue, &QDoubleSpinBox::valueChanged, this, &QvMaskCalcWindow::SetCheckBoxes);
    // Under X11, Ctrl+U in the field empties it without changing the value, and the spin box
    // leaves it empty when focus leaves or Return is pressed: the boxes' number is written back.
    connect(ui->sbMaskValue, &QAbstractSpinBox::editingFinished, this,
            &QvMaskCalcWindow::SetMaskNumber);

    // No box is ticked yet: this brings the field back to 0.
    SetMaskNumber();
}

QvMaskCalcWindow::~QvMaskCalcWindow()
{
    // A window destroyed while shown loses the focus only in QWidget's destructor, after this one:
    // the field's editingFinished would then reach a window that is no longer one.
    ui->sbMaskValue->disconnect(this);
    delete ui;
}

// The position in the returned list is the bit: the boxes are created in bit order under one
// parent, and the digits in their names are never read.
QList<QCheckBox *> QvMaskCalcWindow::FindBitCheckBoxes() const
{
    const QRegularExpression pattern(bitBoxPattern);
    return ui->centralWidget->findChildren<QCheckBox *>(pattern);
}

void QvMaskCalcWindow::ConnectBitCheckBoxes()
{
    const QList<QCheckBox *> boxes = FindBitCheckBoxes();
    for (qsizetype bit = 0; bit < boxes.size() && bit < 32; ++bit) {
        QCheckBox *box = boxes.at(bit);
        // Only clicked(): setting a box by program must not feed back into the number.
        connect(box, &QCheckBox::clicked, this, &QvMaskCalcWindow::SetMaskNumber);
        // The caption is what a label set calls the bit, or "Unused"; the tool tip and what a
        // screen reader hears say which bit it is. Set once: no label set changes it.
        const quint32 value = quint32(1) << bit;
        const QString description =
                tr("Bit %1: %2 (0x%3)")
                        .arg(QString::number(bit), QString::number(value),
                             QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper());
        box->setToolTip(description);
        box->setAccessibleDescription(description);
    }
}

void QvMaskCalcWindow::SetCheckBoxes(double newValue)
{
    // Through a 64-bit integer: a signed 32-bit conversion would lose bit 31.
    const quint32 mask = quint32(qint64(newValue));
    const QList<QCheckBox *> boxes = FindBitCheckBoxes();
    for (qsizetype i = 0; i < boxes.size() && i < 32; ++i)
        boxes.at(i)->setChecked((mask >> i) & 1u);
}

void QvMaskCalcWindow::SetMaskNumber()
{
    const QList<QCheckBox *> boxes = FindBitCheckBoxes();
    quint32 mask = 0;
    for (qsizetype i = 0; i < boxes.size() && i < 32; ++i) {
        if (boxes.at(i)->isChecked())
            mask |= quint32(1) << i;
    }
    ui->sbMaskValue->setValue(double(mask));
}

void QvMaskCalcWindow::on_actionCheck_All_triggered()
{
    ui->sbMaskValue->setValue(ui->sbMaskValue->maximum());
}

void QvMaskCalcWindow::on_actionUncheck_All_triggered()
{
    ui->sbMaskValue->setValue(ui->sbMaskValue->minimum());
}

void QvMaskCalcWindow::on_action_Quit_triggered()
{
    close();
}
