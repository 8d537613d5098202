// SPDX-License-Identifier: MIT
// The calculator's one window: 32 bit check boxes kept in step with the mask number field.
#pragma once

#include "labelfile.h"

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>

class QCheckBox;
class Ui_QvMaskCalcWindow;

class QvMaskCalcWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit QvMaskCalcWindow(QWidget *parent = nullptr);
    ~QvMaskCalcWindow() override;

private slots:
    void on_cbLabels_currentIndexChanged(int index);
    void on_action_Quit_triggered();
    void on_actionUncheck_All_triggered();
    void on_actionCheck_All_triggered();
    void SetMaskNumber();
    void SetCheckBoxes(double newValue);

private:
    // Defined in app/appidentity.cpp: the identity belongs to the application, the window only
    // runs the two steps while it is being built.
    void SetApplicationIdentity();
    void AddStatusLabel();

    QList<QCheckBox *> FindBitCheckBoxes() const;
    void ConnectBitCheckBoxes();

    // Defined in bitlabels.cpp.
    void LoadBitLabels();
    void WriteDefaultBitLabels();
    void SetBitLabels(const QStringList &labels);

    Ui_QvMaskCalcWindow *ui;
    // Entry k is the label list of entry k of cbLabels; label i names bit i. A set of the file
    // is read again from the file's text each time it is shown, so that a file of thousands of
    // sets costs at start little more than their names.
    IndexedLabelLists labelSets;
};

// Built once before main; the bit check boxes are the check boxes whose object name matches it.
extern const QString bitBoxPattern;

// The label-set constants, defined in bitlabels.cpp.
extern const QStringList defaultBitLabels;
extern const QString defaultSetName;
extern const QString bitLabelsGroup;
