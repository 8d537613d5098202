// Label sets: the INI file beside the executable, its default set, and relabelling the bit boxes.
#include "qvmaskcalcwindow.h"
#include "ui_qvmaskcalcwindow.h"

const QStringList defaultBitLabels;
const QString defaultSetName = QvMaskCalcWindow::tr("Generic");
const QString bitLabelsGroup = QvMaskCalcWindow::tr("bitlabels");

void QvMaskCalcWindow::LoadBitLabels() { }

void QvMaskCalcWindow::WriteDefaultBitLabels() { }

void QvMaskCalcWindow::SetBitLabels(const QStringList &labels)
{
    Q_UNUSED(labels);
}

void QvMaskCalcWindow::on_cbLabels_currentIndexChanged(int index)
{
    Q_UNUSED(index);
}
