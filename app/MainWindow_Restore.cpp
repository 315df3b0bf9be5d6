// SPDX-License-Identifier: GPL-3.0-or-later
// Restore sound track (undo of a hide), the track marks of the track choice,
// the confirm texts that name what a workflow will touch, and the log panel.
#include "MainWindow.h"

#include "BrowserStyle.h"
#include "LogPanel.h"
#include "MainWindowUi.h"
#include "QPavaneBrowsingTable.h"
#include "TrackWorkflows.h"

#include <QAction>
#include <QAbstractItemView>
#include <QComboBox>
#include <QScrollBar>
#include <QDockWidget>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace {
constexpr int kPlanLines = 12;   // a confirm box stays on the screen
}

void MainWindow::RefreshLogPanel()
{
    if (ui->m_CtrlDock_Log->isVisible())
        ui->m_CtrlPanel_Log->Reload();
}

QString MainWindow::TakesPlanText(TrackAction action, int track, const QStringList& tags) const
{
    const QList<TakeTracks> takes = TracksOfTakes(m_sTargetFolder, tags);
    const QString nn = QStringLiteral("_%1.").arg(track, 2, 10, QLatin1Char('0'));
    QStringList lines;
    for (const QString& tag : tags) {
        const TakeTracks* take = nullptr;
        for (const TakeTracks& t : takes)
            if (t.fileId == tag)
                take = &t;
        if (!take) {
            lines << tag + QLatin1String(": not found, or not a mono take");
            continue;
        }
        const bool present = take->present[track - 1];
        const int others = int(std::count(take->present.begin(), take->present.end(), true)) - (present ? 1 : 0);
        const QString wav = QFileInfo(take->takeKey).fileName() + nn + QLatin1String("WAV");
        const QString rewritten = QStringLiteral(", %1 other file(s) rewritten").arg(others);
        switch (action) {
        case TrackAction::Create:
            lines << (present ? QString(tag + QStringLiteral(": track %1 is taken, the run stops there").arg(track))
                              : QString(tag + QLatin1String(": ") + wav + QLatin1String(" written") + rewritten));
            break;
        case TrackAction::Delete:
            lines << (present ? QString(tag + QLatin1String(": ") + wav + QLatin1String(" hidden") + rewritten)
                              : QString(tag + QStringLiteral(": no track %1, passed over").arg(track)));
            break;
        case TrackAction::Restore:
            if (present)
                lines << tag + QStringLiteral(": track %1 is taken, nothing will be restored").arg(track);
            else if (take->hidden[track - 1])
                lines << tag + QLatin1String(": ")
                             + QFileInfo(RestoreTrackWorkflow::NewestHiddenFile(take->takeKey, track)).fileName()
                             + QLatin1String(" back as ") + wav + rewritten;
            else
                lines << tag + QStringLiteral(": no hidden track %1, passed over").arg(track);
            break;
        }
    }
    if (lines.size() > kPlanLines) {
        const int more = lines.size() - kPlanLines + 1;
        lines = lines.mid(0, kPlanLines - 1);
        lines << QStringLiteral("... and %1 more takes").arg(more);
    }
    return lines.join(QLatin1Char('\n'));
}

void MainWindow::UpdateTrackChoice()
{
    QComboBox* combo = ui->m_CtrlComboBox_TargetTrack;
    const QStringList tags = SelectedTargetTags();
    const QList<TakeTracks> takes = tags.isEmpty() ? QList<TakeTracks>() : TracksOfTakes(m_sTargetFolder, tags);
    QVector<int> taken(combo->count(), 0);
    int highestTaken = -1;
    for (const TakeTracks& t : takes)
        for (int i = 0; i < taken.size() && i < t.present.size(); ++i)
            if (t.present[i]) {
                ++taken[i];
                highestTaken = qMax(highestTaken, i);
            }
    // The next free track: after the highest one taken on any selected take
    // (where a recorder would add one), else the first free one.
    int suggested = -1;
    if (!takes.isEmpty()) {
        for (int i = highestTaken + 1; i < taken.size() && suggested < 0; ++i)
            if (taken[i] == 0)
                suggested = i;
        for (int i = 0; i < taken.size() && suggested < 0; ++i)
            if (taken[i] == 0)
                suggested = i;
    }
    for (int i = 0; i < combo->count(); ++i) {
        QString text = QStringLiteral(" Track %1").arg(i + 1);
        if (taken[i] > 0)
            text += taken[i] == takes.size() ? QStringLiteral("  (taken)")
                                             : QStringLiteral("  (taken on %1 of %2)").arg(taken[i]).arg(takes.size());
        else if (i == suggested)
            text += QStringLiteral("  (next free)");
        combo->setItemText(i, text);
        combo->setItemData(i, taken[i] > 0 ? QVariant(QColor(160, 160, 160)) : QVariant(), Qt::ForegroundRole);
    }
    // The list opens wide enough for the marks; the closed combo keeps its size.
    combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0) + 2 * combo->view()->frameWidth()
                                   + combo->view()->verticalScrollBar()->sizeHint().width());
}

void MainWindow::OnPushButton_RestoreSoundTrack()
{
    if (m_bAnalysisBusy) {
        SaveIniSettings();
        return;
    }
    m_bAnalysisBusy = true;
    ui->m_CtrlButton_CreateSoundTrack->setEnabled(false);
    ui->m_CtrlButton_DeleteSoundTrack->setEnabled(false);
    ui->m_CtrlAction_RestoreSoundTrack->setEnabled(false);

    RestoreTrackRequest request;
    request.targetFolder = m_sTargetFolder;
    request.trackIndex = ui->m_CtrlComboBox_TargetTrack->currentIndex();
    request.fileIds = SelectedTargetTags();
    bool agreed = true;
    if (!request.fileIds.isEmpty()) {
        m_pConfirmBox->setIcon(QMessageBox::Warning);
        m_pConfirmBox->setText(QStringLiteral("Track %1 will be restored on ALL selected takes of the target area\n"
                                              "from its newest hidden .DEL file.\n\n")
                                   .arg(request.trackIndex + 1)
                               + TakesPlanText(TrackAction::Restore, request.trackIndex + 1, request.fileIds));
        agreed = ExecModal(m_pConfirmBox) == QMessageBox::Ok;
    }
    WorkflowResult result;
    if (agreed) {
        // With no selected take the workflow only reports that nothing is selected.
        RestoreTrackWorkflow workflow;
        connect(&workflow, &RestoreTrackWorkflow::signal_TakeCount, ui->m_CtrlProgressBar_File, [this](int count) {
            ui->m_CtrlProgressBar_File->setRange(0, count);
            ui->m_CtrlProgressBar_File->setValue(0);
        });
        connect(&workflow, &RestoreTrackWorkflow::signal_TakesDone, ui->m_CtrlProgressBar_File, &QProgressBar::setValue);
        result = workflow.Run(request);
    }
    m_bAnalysisBusy = false;
    ui->m_CtrlButton_CreateSoundTrack->setEnabled(true);
    ui->m_CtrlButton_DeleteSoundTrack->setEnabled(true);
    ui->m_CtrlAction_RestoreSoundTrack->setEnabled(true);
    RefreshLogPanel();
    if (result.success)
        OnPushButton_Load();
    SaveIniSettings();
}
