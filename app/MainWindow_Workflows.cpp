// SPDX-License-Identifier: GPL-3.0-or-later
// The source analysis and the Create / Delete buttons. The work itself is
// done by the widget-free workflows; these slots gather the widgets' state,
// ask where the user must agree, and keep buttons, bars and tables current.
#include "MainWindow.h"

#include "BrowserRoles.h"
#include "BrowserStyle.h"
#include "ColumnKinds.h"
#include "CoverageAnalysis.h"
#include "DebugOutput.h"
#include "MainWindowUi.h"
#include "QPavaneBrowsingTable.h"
#include "TrackWorkflows.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

namespace {

QColor CoverageColour(Coverage c)
{
    switch (c) {
    case Coverage::EntireTake: return QColor(0, 120, 215);
    case Coverage::MissingStart: return QColor(80, 0, 128);
    case Coverage::PartialCoverage: return QColor(105, 0, 0);
    case Coverage::MissingEnd: return QColor(0, 0, 105);
    case Coverage::None: break;
    }
    return QColor(Qt::transparent);
}

} // namespace

void MainWindow::slot_ProgressSize(long long value) { ui->m_CtrlProgressBar_Size->setValue(int(value)); }

QStringList MainWindow::SelectedTargetTags() const
{
    QStringList tags;
    const QItemSelectionModel* selection = ui->m_CtrlTable_Target->selectionModel();
    if (!selection)
        return tags;
    for (const QModelIndex& index : selection->selectedRows(0))
        tags.append(index.data(Qt::DisplayRole).toString());
    return tags;
}

// ---- analysis ----

void MainWindow::OnPushButton_Analyse()
{
    ui->m_CtrlTable_Target->clearSelection();
    if (m_bAnalysisBusy)
        return;
    ui->m_CtrlProgressBar_File->show();
    ui->m_CtrlProgressBar_Size->show();
    m_bAnalysisBusy = true;
    CoverageCounts counts;
    const bool found = AnalyseSourceFile(&counts.entire, &counts.missingStart, &counts.partial, &counts.missingEnd);
    ui->m_CtrlLabel_Message->setText(found ? CoverageStatusText(counts)
                                           : QStringLiteral("Source file timecode doesn't match with any target file."));
    m_bAnalysisBusy = false;
}

bool MainWindow::AnalyseSourceFile(int* entire, int* missingStart, int* partial, int* missingEnd)
{
    CoverageCounts counts;
    auto report = [&]() {
        *entire = counts.entire;
        *missingStart = counts.missingStart;
        *partial = counts.partial;
        *missingEnd = counts.missingEnd;
    };
    report();
    if (m_sSelectedSourceFile.isEmpty()) {
        ShowModalMessage(QMessageBox::Critical, QStringLiteral("Please, first select a source file."));
        return false;
    }
    long long in = 0;
    long long out = 0;
    if (GetInOutTimecode(m_sSourceFolder + QStringLiteral("/") + m_sSelectedSourceFile, &in, &out)) {
        ShowModalMessage(QMessageBox::Critical, QStringLiteral("Error, no timecode founded in this source file."));
        return false;
    }
    const SampleSpan source{in, out};
    QPavaneBrowsingTable* target = ui->m_CtrlTable_Target;
    const int rows = target->rowCount();
    ui->m_CtrlProgressBar_File->setRange(0, rows);
    ui->m_CtrlProgressBar_File->setValue(0);
    bool found = false;
    for (int r = 0; r < rows; ++r) {
        bool inOk = false;
        bool outOk = false;
        const qint64 takeIn = target->CellText(r, BLK_DATA_INOUT_SPLTC).toLongLong(&inOk, 10);
        const qint64 takeOut = target->CellText(r, BLK_DATA_OUT_SPLTC).toLongLong(&outOk, 10);
        QTableWidgetItem* first = target->item(r, 0);
        MyQDebug("%s TcSpl [%lld .. %lld]", first ? first->text().toLocal8Bit().constData() : "",
                 static_cast<long long>(takeIn), static_cast<long long>(takeOut));
        // A take whose span could not be read (its files failed to open)
        // belongs to no class, whatever the source's span.
        const Coverage c = (inOk && outOk) ? ClassifyCoverage(source, SampleSpan{takeIn, takeOut}) : Coverage::None;
        counts.add(c);
        if (c != Coverage::None) {
            if (first)
                target->scrollToItem(first, QAbstractItemView::EnsureVisible);
            found = true;
            if (target->columnCount() > 0 && first)
                first->setBackground(QBrush(CoverageColour(c), Qt::SolidPattern));
        } else if (first) {
            // Clears an earlier analysis' colour; an error row stays red.
            first->setBackground(first->data(kRoleErrorFlag).toBool() ? QBrush(QColor(200, 60, 60))
                                                                      : QBrush(Qt::transparent));
        }
        ui->m_CtrlProgressBar_File->setValue(r + 1);
    }
    report();
    return found;
}

// ---- create ----

void MainWindow::OnPushButton_CreateSoundTrack()
{
    if (m_bAnalysisBusy) {
        SaveIniSettings();
        return;
    }
    ui->m_CtrlProgressBar_File->show();
    ui->m_CtrlProgressBar_Size->show();
    ui->m_CtrlProgressBar_Size->setRange(0, 100);
    ui->m_CtrlProgressBar_Size->setValue(0);
    m_bAnalysisBusy = true;
    ui->m_CtrlButton_CreateSoundTrack->setEnabled(false);
    ui->m_CtrlButton_DeleteSoundTrack->setEnabled(false);

    CreateTrackRequest request;
    request.targetFolder = m_sTargetFolder;
    request.trackIndex = ui->m_CtrlComboBox_TargetTrack->currentIndex();
    request.fileIds = SelectedTargetTags();
    request.keepGoing = &m_bAnalysisBusy;
    if (m_sSelectedSourceFile.isEmpty())
        ShowModalMessage(QMessageBox::Critical, QStringLiteral("Please, first select a source file."));
    else
        request.sourcePath = m_sSourceFolder + QStringLiteral("/") + m_sSelectedSourceFile;
    const int entry = m_nFirstVisibleSourceRow + m_nCurrentTrackNameEdit;
    request.hasTrackName = entry >= 0 && entry < m_slSourceTrackNames.size();
    if (request.hasTrackName)
        request.trackName = m_slSourceTrackNames[entry];

    CreateTrackWorkflow workflow;
    connect(&workflow, SIGNAL(signal_ProgressSize(qint64)), this, SLOT(slot_ProgressSize(long long)));
    connect(&workflow, &CreateTrackWorkflow::signal_TakeCount, ui->m_CtrlProgressBar_File, [this](int count) {
        ui->m_CtrlProgressBar_File->setRange(0, count);
        ui->m_CtrlProgressBar_File->setValue(0);
    });
    connect(&workflow, &CreateTrackWorkflow::signal_TakesDone, ui->m_CtrlProgressBar_File, &QProgressBar::setValue);
    const WorkflowResult result = workflow.Run(request);

    if (result.success)
        ShowModalMessage(QMessageBox::Information, QStringLiteral("End of the sonalign process."));
    m_bAnalysisBusy = false;
    ui->m_CtrlButton_CreateSoundTrack->setEnabled(true);
    ui->m_CtrlButton_DeleteSoundTrack->setEnabled(true);
    // Every new track is checked against its take by the audio; the marks
    // come back on the rows once Load has rebuilt them.
    if (result.success)
        VerifyTakes(request.fileIds, request.trackIndex + 1);
    if (result.success)
        OnPushButton_Load();
    SaveIniSettings();
}

// ---- delete ----

void MainWindow::OnPushButton_DeleteSoundTrack()
{
    if (m_bAnalysisBusy) {
        SaveIniSettings();
        return;
    }
    ui->m_CtrlProgressBar_File->show();
    ui->m_CtrlProgressBar_Size->show();
    m_bAnalysisBusy = true;
    ui->m_CtrlButton_CreateSoundTrack->setEnabled(false);
    ui->m_CtrlButton_DeleteSoundTrack->setEnabled(false);

    DeleteTrackRequest request;
    request.targetFolder = m_sTargetFolder;
    request.trackIndex = ui->m_CtrlComboBox_TargetTrack->currentIndex();
    request.fileIds = SelectedTargetTags();

    bool agreed = true;
    if (!request.fileIds.isEmpty()) {
        ui->m_CtrlProgressBar_Size->setRange(0, request.fileIds.size());
        ui->m_CtrlProgressBar_Size->setValue(0);
        m_pConfirmBox->setIcon(QMessageBox::Warning);
        m_pConfirmBox->setText(
            QStringLiteral("Track %1 will be hidden on ALL selected takes of the target area\n"
                           "by changing original .WAV extention to .DEL<N> extention.\n"
                           "To clean the target area, remove .DEL file using OS Finder/Explorer.")
                .arg(request.trackIndex + 1));
        agreed = ExecModal(m_pConfirmBox) == QMessageBox::Ok;
    }
    WorkflowResult result;
    if (agreed) {
        // With no selected take the workflow only reports that nothing is selected.
        DeleteTrackWorkflow workflow;
        connect(&workflow, &DeleteTrackWorkflow::signal_HiddenCount, ui->m_CtrlProgressBar_Size, &QProgressBar::setValue);
        connect(&workflow, &DeleteTrackWorkflow::signal_TakeCount, ui->m_CtrlProgressBar_File, [this](int count) {
            ui->m_CtrlProgressBar_File->setRange(0, count);
            ui->m_CtrlProgressBar_File->setValue(0);
        });
        connect(&workflow, &DeleteTrackWorkflow::signal_UpdatedCount, ui->m_CtrlProgressBar_File, &QProgressBar::setValue);
        result = workflow.Run(request);
    }
    m_bAnalysisBusy = false;
    ui->m_CtrlButton_CreateSoundTrack->setEnabled(true);
    ui->m_CtrlButton_DeleteSoundTrack->setEnabled(true);
    if (result.success)
        OnPushButton_Load();
    SaveIniSettings();
}
