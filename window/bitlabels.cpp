// SPDX-License-Identifier: MIT
// Label sets: the INI file beside the executable, its default set, and relabelling the bit boxes.
#include "qvmaskcalcwindow.h"
#include "ui_qvmaskcalcwindow.h"

#include "labeldecoding.h"
#include "labelfile.h"

#include <QCheckBox>

namespace {

QStringList makeDefaultBitLabels()
{
    QStringList labels;
    // The labels count from 1, the bits from 0.
    for (int n = 1; n <= 32; ++n)
        labels.append(QvMaskCalcWindow::tr("Bit %1").arg(n));
    return labels;
}

QString labelFilePath()
{
    // Empty where the directory's name cannot be represented: then no file is read or written.
    return labelFileBesideExecutable();
}

} // namespace

const QStringList defaultBitLabels = makeDefaultBitLabels();
const QString defaultSetName = QvMaskCalcWindow::tr("Generic");
const QString bitLabelsGroup = QvMaskCalcWindow::tr("bitlabels");

void QvMaskCalcWindow::LoadBitLabels()
{
    const LabelSetIndex sets = indexLabelSetsFromFile(labelFilePath(), bitLabelsGroup);
    // The first entry added to the empty combo box becomes current at once and its slot reads
    // labelSets, so each list goes in before its entry.
    for (qsizetype k = 0; k < sets.names.size(); ++k) {
        labelSets.append(sets, k);
        ui->cbLabels->addItem(shownCaption(sets.names.at(k)));
    }
    if (!labelSets.isEmpty())
        return;

    WriteDefaultBitLabels();
    // Whatever the write achieved, the file is not read again.
    labelSets.append(defaultBitLabels);
    ui->cbLabels->addItem(defaultSetName);
}

void QvMaskCalcWindow::WriteDefaultBitLabels()
{
    // A file that already holds text keeps every byte of it: the toolkit's writer would drop the
    // comments and reorder the sections of a file the user wrote by hand.
    insertLabelSets(readLabelFileText(labelFilePath()), bitLabelsGroup,
                    { { defaultSetName, defaultBitLabels } });
}

void QvMaskCalcWindow::SetBitLabels(const QStringList &labels)
{
    const QList<QCheckBox *> boxes = FindBitCheckBoxes();
    for (qsizetype k = 0; k < boxes.size(); ++k) {
        QCheckBox *box = boxes.at(k);
        const bool used = k < labels.size();
        box->setEnabled(used);
        // A single '&' would turn the next character into a shortcut and vanish from the label.
        box->setText(used ? shownCaption(labels.at(k)).replace(u'&', QStringLiteral("&&"))
                          : tr("Unused"));
    }
}

void QvMaskCalcWindow::on_cbLabels_currentIndexChanged(int index)
{
    // Only LoadBitLabels adds entries, each after its list; an index without a list (-1 when the
    // combo box is emptied) has nothing to show.
    if (index < 0 || index >= labelSets.size())
        return;
    SetBitLabels(labelSets.at(index));
}
