// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>

class QAction;
class QDockWidget;
class QFrame;
class LogPanel;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QToolBar;
class QWidget;
class QMyComboBox;
class QPavaneBrowsingTable;

// The widget set of the main window, built in code in the documented order
// with the documented object names, texts, grid cells and sizes.
struct Ui_MainWindow
{
    QWidget* centralWidget = nullptr;
    QGridLayout* gridLayout = nullptr;
    QPushButton* m_CtrlButton_Load = nullptr;
    QLabel* m_CtrlLabel_Message = nullptr;
    QPushButton* m_CtrlButton_CleanAll = nullptr;
    QPushButton* m_CtrlButton_TrackView = nullptr;
    QMyComboBox* m_CtrlComboBox_TargetTrack = nullptr;
    QPushButton* m_CtrlButton_SceneView = nullptr;
    QProgressBar* m_CtrlProgressBar_File = nullptr;
    QPushButton* m_CtrlButton_Analyse = nullptr;
    QGroupBox* groupBox = nullptr;
    QLineEdit* m_CtrlLineEdit_SourcePath = nullptr;
    QPushButton* m_CtrlButton_SourcePath = nullptr;
    QLineEdit* m_CtrlLineEdit_TargetPath = nullptr;
    QPushButton* m_CtrlButton_TargetPath = nullptr;
    QGroupBox* groupBox_3 = nullptr;
    QPavaneBrowsingTable* m_CtrlTable_Source = nullptr;
    QFrame* frame = nullptr;
    QList<QLineEdit*> m_CtrlLineEdit_S;     // m_CtrlLineEdit_S_1 ... m_CtrlLineEdit_S_22
    QLabel* label = nullptr;
    QGroupBox* groupBox_2 = nullptr;
    QPavaneBrowsingTable* m_CtrlTable_Target = nullptr;
    QProgressBar* m_CtrlProgressBar_Size = nullptr;
    QPushButton* m_CtrlButton_DeleteSoundTrack = nullptr;
    QPushButton* m_CtrlButton_CreateSoundTrack = nullptr;
    QMenuBar* menuBar = nullptr;
    QToolBar* mainToolBar = nullptr;
    QStatusBar* statusBar = nullptr;

    // Beyond the original widget set (built by setupExtras).
    QWidget* trackNameClip = nullptr;               // inside frame, level with the source rows
    QWidget* m_CtrlLegend_Coverage = nullptr;       // below the target table
    QAction* m_CtrlAction_RestoreSoundTrack = nullptr;
    QAction* m_CtrlAction_ShowLog = nullptr;        // the dock's own toggle
    QDockWidget* m_CtrlDock_Log = nullptr;
    LogPanel* m_CtrlPanel_Log = nullptr;

    static constexpr int kTrackNameEdits = 22;
    static constexpr int kTrackNameRowHeight = 22;

    void setupUi(QMainWindow* window);

private:
    void setupControls();
    void setupFolderGroup();
    void setupSourceGroup();
    void setupTargetGroup();
    void setupActionButtons();
    void setupWindowBars(QMainWindow* window);
    void setupExtras(QMainWindow* window);
};
