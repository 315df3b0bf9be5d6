// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ConformPlan.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

// "Conform…": the plan of a whole day shown as a table before anything is
// written (take, scene/take, class colour, sources, silence, track,
// action/reason), the track rule, takes the user may untick, then the apply
// with progress per take and a cancel that finishes or rolls back the current
// take, and the report. The work is the widget-free conform of insertion/.
// GUI thread only.
class ConformDialog : public QDialog
{
    Q_OBJECT
public:
    ConformDialog(const QString& sourceFolder, const QString& targetFolder, QWidget* parent = nullptr);

    enum Column { kColTake, kColSceneTake, kColClass, kColSources, kColSilence, kColTrack, kColAction, kColResult, kColCount };

    QTableWidget* Table() const { return m_pTable; }
    QComboBox* TrackRule() const { return m_pTrackRule; }
    QLineEdit* NameEdit() const { return m_pName; }
    QPushButton* ApplyButton() const { return m_pApply; }
    QPushButton* CancelButton() const { return m_pCancel; }
    QPushButton* ReportButton() const { return m_pReport; }
    const ConformPlan& Plan() const { return m_Plan; }
    // The file dialog of "Save report…" goes through this so tests can answer it.
    using SaveDialogHook = std::function<QString()>;
    void SetSaveDialogHook(SaveDialogHook hook) { m_fnSaveHook = std::move(hook); }

    // Colour of a class: the coverage colours of the analysis (gaps share
    // the partial-coverage colour).
    static QColor ClassColour(ConformClass c);

public slots:
    void slot_Replan();
    void slot_Apply();
    void slot_Cancel();
    void slot_SaveReport();

protected:
    void reject() override;

private:
    void FillTable();
    void UpdateRow(int row);

    QString m_sSourceFolder;
    QString m_sTargetFolder;
    ConformPlan m_Plan;
    bool m_bRunning = false;
    bool m_bKeepGoing = true;
    QComboBox* m_pTrackRule = nullptr;
    QLineEdit* m_pName = nullptr;
    QTableWidget* m_pTable = nullptr;
    QLabel* m_pStatus = nullptr;
    QProgressBar* m_pTakes = nullptr;
    QProgressBar* m_pSize = nullptr;
    QPushButton* m_pApply = nullptr;
    QPushButton* m_pCancel = nullptr;
    QPushButton* m_pReport = nullptr;
    QPushButton* m_pClose = nullptr;
    SaveDialogHook m_fnSaveHook;
};

// Load's hook: a take left half-changed by an interrupted run is put back
// before the folder is shown (the relay's message tells the user).
void RecoverInterruptedTakes(const QStringList& folders);
