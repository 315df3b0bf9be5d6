// SPDX-License-Identifier: GPL-3.0-or-later
// Load, the table views and the track names beside the source table.
#include "MainWindow.h"

#include "ColumnKinds.h"
#include "ConformDialog.h"
#include "DebugOutput.h"
#include "MainWindowUi.h"
#include "SourceChannelChoice.h"
#include "QPavaneBrowsingTable.h"
#include "TrackNameFile.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

void MainWindow::SetActionButtonsEnabled(bool enabled)
{
    ui->m_CtrlButton_CleanAll->setEnabled(enabled);
    ui->m_CtrlButton_TrackView->setEnabled(enabled);
    ui->m_CtrlButton_SceneView->setEnabled(enabled);
    ui->m_CtrlButton_Analyse->setEnabled(enabled);
    ui->m_CtrlButton_CreateSoundTrack->setEnabled(enabled);
    ui->m_CtrlButton_DeleteSoundTrack->setEnabled(enabled);
}

void MainWindow::OnPushButton_Load()
{
    // What the folder fields show is what Load loads, or nothing.
    if (!AcceptTypedFolders())
        return;
    m_sSelectedSourceFile.clear();
    m_nSelectedSourceRow = -1;
    m_pSourceChannel->ShowFor(QString());
    for (QLineEdit* edit : m_TrackNameEdits)
        edit->setEnabled(false);
    const bool failed = LoadSounds();
    SetActionButtonsEnabled(!failed);
    if (failed)
        ui->m_CtrlButton_Load->setFocus();
    else
        ui->m_CtrlButton_Analyse->setFocus();
    ui->m_CtrlTable_Target->clearSelection();
    ui->m_CtrlTable_Source->clearSelection();
}

bool MainWindow::LoadSounds()
{
    RecoverInterruptedTakes({m_sTargetFolder, m_sSourceFolder});
    ui->m_CtrlTable_Target->SetupNewTableContent(m_sTargetFolder + QStringLiteral("/"), QString(), true);
    ui->m_CtrlTable_Source->BuildRawBwfTableContent(m_sSourceFolder + QStringLiteral("/"));

    const int n = ui->m_CtrlTable_Source->GetNbFileId();
    m_slSourceTrackNames.clear();
    m_nFirstVisibleSourceRow = 0;
    for (int r = 0; r < n; ++r) {
        const QString fileName = ui->m_CtrlTable_Source->CellText(r, BLK_DATA_FILENAME);
        MyQDebug("SRC File name:[%s]", fileName.toLocal8Bit().constData());
        QString name;
        LoadTrackNameFromSnlFile(m_sSourceFolder, fileName, name);
        if (name.isEmpty())
            name = QStringLiteral("S %1").arg(r + 1);
        m_slSourceTrackNames.append(name);
        if (r < m_TrackNameEdits.size())
            m_TrackNameEdits[r]->setText(name);
    }
    // Edits below the last row would otherwise show the names of a previous load.
    for (int k = n; k < m_TrackNameEdits.size(); ++k)
        m_TrackNameEdits[k]->clear();
    AlignTrackNameEdits();
    if (n == 0) {
        ShowModalMessage(QMessageBox::Critical, QStringLiteral("No source file detected in source directory"));
        return true;
    }
    return false;
}

void MainWindow::slot_EndOfTableUpdate()
{
    if (!m_sSelectedSourceFile.isEmpty())
        OnPushButton_Analyse();
    else
        ui->m_CtrlLabel_Message->setText(QStringLiteral("Select a source file"));
}

void MainWindow::OnPushButton_CleanAll() { ui->m_CtrlTable_Target->clearSelection(); }

void MainWindow::OnPushButton_TrackView()
{
    ui->m_CtrlTable_Target->ChangeDisplayedColumn();
    QCoreApplication::processEvents();
}

void MainWindow::OnPushButton_SceneView()
{
    ui->m_CtrlTable_Target->ChangeDisplayedScene();
    QCoreApplication::processEvents();
}

// ---- track names ----

void MainWindow::ShowTrackNamesFrom(int top)
{
    m_nFirstVisibleSourceRow = top;
    const int rows = ui->m_CtrlTable_Source->GetNbFileId();
    for (int r = top; r < rows && r - top < m_TrackNameEdits.size(); ++r)
        if (r < m_slSourceTrackNames.size())
            m_TrackNameEdits[r - top]->setText(m_slSourceTrackNames[r]);
    AlignTrackNameEdits();
}

void MainWindow::slot_SelectedSourceChanged(QString fileName, int row, int top)
{
    MyQDebug(" SOURCE FILE NAME: %s row: %d TOP %d", fileName.toLocal8Bit().constData(), row, top);
    m_sSelectedSourceFile = fileName;
    m_nSelectedSourceRow = row;
    m_pSourceChannel->ShowFor(fileName.isEmpty() ? QString() : m_sSourceFolder + QStringLiteral("/") + fileName);
    for (QLineEdit* edit : m_TrackNameEdits)
        edit->setEnabled(false);
    if (top != m_nFirstVisibleSourceRow)
        ShowTrackNamesFrom(top);
    if (row - top >= 0 && row - top < m_TrackNameEdits.size())
        m_TrackNameEdits[row - top]->setEnabled(true);
    m_nCurrentTrackNameEdit = row - top;
    OnPushButton_Analyse();
}

void MainWindow::slot_SourceScrolled(int)
{
    // Scrolling without a new selection: the edits follow the rows, and only
    // the selected row's edit (if it is still shown) accepts typing.
    const int top = qMax(0, ui->m_CtrlTable_Source->rowAt(0));
    if (top == m_nFirstVisibleSourceRow) {
        AlignTrackNameEdits();
        return;
    }
    for (QLineEdit* edit : m_TrackNameEdits)
        edit->setEnabled(false);
    ShowTrackNamesFrom(top);
    if (m_nSelectedSourceRow >= 0) {
        m_nCurrentTrackNameEdit = m_nSelectedSourceRow - top;
        if (m_nCurrentTrackNameEdit >= 0 && m_nCurrentTrackNameEdit < m_TrackNameEdits.size())
            m_TrackNameEdits[m_nCurrentTrackNameEdit]->setEnabled(true);
    }
}

void MainWindow::ProcessNewTrackName(int k)
{
    if (k < 0 || k >= m_TrackNameEdits.size())
        return;
    const QString text = m_TrackNameEdits[k]->text();
    MyQDebug("New Track Name: %s", text.toLocal8Bit().constData());
    const int entry = m_nFirstVisibleSourceRow + k;
    if (entry < 0 || entry >= m_slSourceTrackNames.size())
        return;
    m_slSourceTrackNames[entry] = text;
    // Stored for the file of the edit's own row: an edit that loses focus
    // while another row becomes selected must not write its name to that
    // other file.
    const QString fileName = ui->m_CtrlTable_Source->CellText(entry, BLK_DATA_FILENAME);
    if (!fileName.isEmpty())
        SaveTrackNameToSnlFile(m_sSourceFolder, fileName, text);
}

void MainWindow::slot_editingFinishedLineEdit_S_1() { ProcessNewTrackName(0); }
void MainWindow::slot_editingFinishedLineEdit_S_2() { ProcessNewTrackName(1); }
void MainWindow::slot_editingFinishedLineEdit_S_3() { ProcessNewTrackName(2); }
void MainWindow::slot_editingFinishedLineEdit_S_4() { ProcessNewTrackName(3); }
void MainWindow::slot_editingFinishedLineEdit_S_5() { ProcessNewTrackName(4); }
void MainWindow::slot_editingFinishedLineEdit_S_6() { ProcessNewTrackName(5); }
void MainWindow::slot_editingFinishedLineEdit_S_7() { ProcessNewTrackName(6); }
void MainWindow::slot_editingFinishedLineEdit_S_8() { ProcessNewTrackName(7); }
void MainWindow::slot_editingFinishedLineEdit_S_9() { ProcessNewTrackName(8); }
void MainWindow::slot_editingFinishedLineEdit_S_10() { ProcessNewTrackName(9); }
void MainWindow::slot_editingFinishedLineEdit_S_11() { ProcessNewTrackName(10); }
void MainWindow::slot_editingFinishedLineEdit_S_12() { ProcessNewTrackName(11); }
void MainWindow::slot_editingFinishedLineEdit_S_13() { ProcessNewTrackName(12); }
void MainWindow::slot_editingFinishedLineEdit_S_14() { ProcessNewTrackName(13); }
void MainWindow::slot_editingFinishedLineEdit_S_15() { ProcessNewTrackName(14); }
void MainWindow::slot_editingFinishedLineEdit_S_16() { ProcessNewTrackName(15); }
void MainWindow::slot_editingFinishedLineEdit_S_17() { ProcessNewTrackName(16); }
void MainWindow::slot_editingFinishedLineEdit_S_18() { ProcessNewTrackName(17); }
void MainWindow::slot_editingFinishedLineEdit_S_19() { ProcessNewTrackName(18); }
void MainWindow::slot_editingFinishedLineEdit_S_20() { ProcessNewTrackName(19); }
void MainWindow::slot_editingFinishedLineEdit_S_21() { ProcessNewTrackName(20); }
void MainWindow::slot_editingFinishedLineEdit_S_22() { ProcessNewTrackName(21); }
