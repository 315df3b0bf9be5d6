// SPDX-License-Identifier: GPL-3.0-or-later
// Widgets beyond the original set: the coverage legend, the restore action
// and the action log panel.
#include "MainWindowUi.h"

#include "CoverageColours.h"
#include "LogPanel.h"

#include <QAction>
#include <QDockWidget>
#include <QGridLayout>
#include <QGroupBox>
#include <QMainWindow>
#include <QToolBar>

void Ui_MainWindow::setupExtras(QMainWindow* window)
{
    m_CtrlLegend_Coverage = CreateCoverageLegend(groupBox_2);
    // Row 1 holds the Verify bar.
    static_cast<QGridLayout*>(groupBox_2->layout())->addWidget(m_CtrlLegend_Coverage, 2, 0);

    m_CtrlAction_RestoreSoundTrack = new QAction(QStringLiteral("Restore sound track"), window);
    m_CtrlAction_RestoreSoundTrack->setObjectName(QStringLiteral("m_CtrlAction_RestoreSoundTrack"));
    m_CtrlAction_RestoreSoundTrack->setToolTip(
        QStringLiteral("Bring back the newest hidden file of the chosen track on the selected takes"));
    mainToolBar->addAction(m_CtrlAction_RestoreSoundTrack);

    m_CtrlDock_Log = new QDockWidget(QStringLiteral("Action log"), window);
    m_CtrlDock_Log->setObjectName(QStringLiteral("m_CtrlDock_Log"));
    m_CtrlDock_Log->setAllowedAreas(Qt::BottomDockWidgetArea | Qt::RightDockWidgetArea);
    m_CtrlPanel_Log = new LogPanel(m_CtrlDock_Log);
    m_CtrlPanel_Log->setObjectName(QStringLiteral("m_CtrlPanel_Log"));
    m_CtrlDock_Log->setWidget(m_CtrlPanel_Log);
    window->addDockWidget(Qt::BottomDockWidgetArea, m_CtrlDock_Log);
    m_CtrlDock_Log->hide();
    m_CtrlAction_ShowLog = m_CtrlDock_Log->toggleViewAction();
    m_CtrlAction_ShowLog->setObjectName(QStringLiteral("m_CtrlAction_ShowLog"));
    m_CtrlAction_ShowLog->setText(QStringLiteral("Action log"));
    mainToolBar->addAction(m_CtrlAction_ShowLog);
}
