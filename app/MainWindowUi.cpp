// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindowUi.h"

#include "BrowserStyle.h"
#include "QPavaneBrowsingTable.h"
#include "SharedFonts.h"

#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

QPushButton* button(QWidget* parent, const char* name, const char* text, int minW, int minH)
{
    auto* b = new QPushButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(QString::fromLatin1(text));
    b->setMinimumSize(minW, minH);
    QFont f = b->font();
    f.setPointSize(10);
    // The right-hand buttons sit at their minimum width in a 1280-pixel
    // window; a text wider than that is set in the condensed face of the
    // same family rather than clipped.
    if (minW > 0 && QFontMetrics(f).horizontalAdvance(b->text()) + 8 > minW)
        f.setStretch(QFont::Condensed);
    b->setFont(f);
    return b;
}

} // namespace

void Ui_MainWindow::setupUi(QMainWindow* window)
{
    InitSharedFonts();
    window->setObjectName(QStringLiteral("MainWindow"));
    centralWidget = new QWidget(window);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    gridLayout = new QGridLayout(centralWidget);
    gridLayout->setObjectName(QStringLiteral("gridLayout"));
    gridLayout->setSpacing(6);
    gridLayout->setContentsMargins(11, 11, 11, 11);
    gridLayout->setHorizontalSpacing(9);

    setupControls();
    setupFolderGroup();
    setupSourceGroup();
    setupTargetGroup();
    setupActionButtons();
    setupWindowBars(window);
    setupExtras(window);
}

// The buttons, status label and file progress bar above the tables.
void Ui_MainWindow::setupControls()
{
    m_CtrlButton_Load = button(centralWidget, "m_CtrlButton_Load", "Load", 78, 82);
    gridLayout->addWidget(m_CtrlButton_Load, 0, 6, 3, 1);

    m_CtrlLabel_Message = new QLabel(centralWidget);
    m_CtrlLabel_Message->setObjectName(QStringLiteral("m_CtrlLabel_Message"));
    m_CtrlLabel_Message->setText(QStringLiteral("TextLabel"));
    m_CtrlLabel_Message->setAlignment(Qt::AlignCenter);
    gridLayout->addWidget(m_CtrlLabel_Message, 3, 0, 1, 1);

    m_CtrlButton_CleanAll = button(centralWidget, "m_CtrlButton_CleanAll", "Clean Selections", 120, 30);
    gridLayout->addWidget(m_CtrlButton_CleanAll, 3, 2);
    m_CtrlButton_TrackView = button(centralWidget, "m_CtrlButton_TrackView", "Track View", 120, 30);
    gridLayout->addWidget(m_CtrlButton_TrackView, 3, 4);

    m_CtrlComboBox_TargetTrack = new QMyComboBox(centralWidget);
    m_CtrlComboBox_TargetTrack->setObjectName(QStringLiteral("m_CtrlComboBox_TargetTrack"));
    m_CtrlComboBox_TargetTrack->setMinimumSize(120, 30);
    gridLayout->addWidget(m_CtrlComboBox_TargetTrack, 3, 5);

    m_CtrlButton_SceneView = button(centralWidget, "m_CtrlButton_SceneView", "Scene View", 120, 30);
    gridLayout->addWidget(m_CtrlButton_SceneView, 3, 3);

    m_CtrlProgressBar_File = new QProgressBar(centralWidget);
    m_CtrlProgressBar_File->setObjectName(QStringLiteral("m_CtrlProgressBar_File"));
    m_CtrlProgressBar_File->setMaximumHeight(14);
    gridLayout->addWidget(m_CtrlProgressBar_File, 6, 0, 1, 9);

    m_CtrlButton_Analyse = button(centralWidget, "m_CtrlButton_Analyse", "Analyse", 110, 30);
    gridLayout->addWidget(m_CtrlButton_Analyse, 3, 1);

}

// The source and target folder paths, each with its Browse button.
void Ui_MainWindow::setupFolderGroup()
{
    groupBox = new QGroupBox(centralWidget);
    groupBox->setObjectName(QStringLiteral("groupBox"));
    groupBox->setTitle(QStringLiteral("Folder Path"));
    auto* folderGrid = new QGridLayout(groupBox);
    folderGrid->setContentsMargins(5, 5, 5, 5);
    m_CtrlLineEdit_SourcePath = new QLineEdit(groupBox);
    m_CtrlLineEdit_SourcePath->setObjectName(QStringLiteral("m_CtrlLineEdit_SourcePath"));
    m_CtrlLineEdit_SourcePath->setMinimumSize(100, 30);
    folderGrid->addWidget(m_CtrlLineEdit_SourcePath, 0, 0);
    m_CtrlButton_SourcePath = button(groupBox, "m_CtrlButton_SourcePath", "Browse Source", 110, 30);
    folderGrid->addWidget(m_CtrlButton_SourcePath, 0, 1);
    m_CtrlLineEdit_TargetPath = new QLineEdit(groupBox);
    m_CtrlLineEdit_TargetPath->setObjectName(QStringLiteral("m_CtrlLineEdit_TargetPath"));
    folderGrid->addWidget(m_CtrlLineEdit_TargetPath, 1, 0);
    m_CtrlButton_TargetPath = button(groupBox, "m_CtrlButton_TargetPath", "Browse Target", 0, 0);
    folderGrid->addWidget(m_CtrlButton_TargetPath, 1, 1);
    gridLayout->addWidget(groupBox, 0, 0, 3, 6);
}

// The source table and the new-track-name edit beside each of its rows.
void Ui_MainWindow::setupSourceGroup()
{
    groupBox_3 = new QGroupBox(centralWidget);
    groupBox_3->setObjectName(QStringLiteral("groupBox_3"));
    groupBox_3->setTitle(QStringLiteral("Source"));
    // 540 pixels high would not fit a 1366 x 768 screen; the tables take
    // whatever height the window has, and scroll.
    groupBox_3->setMinimumSize(480, 260);
    auto* sourceGrid = new QGridLayout(groupBox_3);
    sourceGrid->setHorizontalSpacing(2);
    m_CtrlTable_Source = new QPavaneBrowsingTable(groupBox_3);
    m_CtrlTable_Source->setObjectName(QStringLiteral("m_CtrlTable_Source"));
    m_CtrlTable_Source->setFont(generalFont9);
    m_CtrlTable_Source->setSelectionMode(QAbstractItemView::SingleSelection);
    sourceGrid->addWidget(m_CtrlTable_Source, 1, 0);

    frame = new QFrame(groupBox_3);
    frame->setObjectName(QStringLiteral("frame"));
    frame->setFrameShape(QFrame::NoFrame);
    frame->setFixedWidth(150);
    // The edits have no layout: the window places each beside its source
    // row (MainWindow::AlignTrackNameEdits), inside a clip that spans the
    // table's viewport, so a half-hidden row's edit is cut where the row is.
    trackNameClip = new QWidget(frame);
    trackNameClip->setObjectName(QStringLiteral("trackNameClip"));
    for (int k = 1; k <= kTrackNameEdits; ++k) {
        auto* e = new QLineEdit(trackNameClip);
        e->setObjectName(QStringLiteral("m_CtrlLineEdit_S_%1").arg(k));
        e->setAlignment(Qt::AlignCenter);
        e->setFixedHeight(kTrackNameRowHeight);
        e->setGeometry(0, (k - 1) * kTrackNameRowHeight, 150, kTrackNameRowHeight);
        m_CtrlLineEdit_S.append(e);
    }
    sourceGrid->addWidget(frame, 1, 1);

    label = new QLabel(groupBox_3);
    label->setObjectName(QStringLiteral("label"));
    label->setText(QStringLiteral("New track name"));
    label->setAlignment(Qt::AlignCenter);
    sourceGrid->addWidget(label, 0, 1);
    gridLayout->addWidget(groupBox_3, 4, 0, 1, 2);
}

// The target table.
void Ui_MainWindow::setupTargetGroup()
{
    groupBox_2 = new QGroupBox(centralWidget);
    groupBox_2->setObjectName(QStringLiteral("groupBox_2"));
    groupBox_2->setTitle(QStringLiteral("Target"));
    auto* targetGrid = new QGridLayout(groupBox_2);
    m_CtrlTable_Target = new QPavaneBrowsingTable(groupBox_2);
    m_CtrlTable_Target->setObjectName(QStringLiteral("m_CtrlTable_Target"));
    targetGrid->addWidget(m_CtrlTable_Target, 0, 0);
    targetGrid->setVerticalSpacing(3);
    gridLayout->addWidget(groupBox_2, 4, 2, 1, 7);
}

// The size progress bar and the create and delete buttons. Created after the
// tables: the order widgets are created in is the window's focus order.
void Ui_MainWindow::setupActionButtons()
{
    m_CtrlProgressBar_Size = new QProgressBar(centralWidget);
    m_CtrlProgressBar_Size->setObjectName(QStringLiteral("m_CtrlProgressBar_Size"));
    m_CtrlProgressBar_Size->setMaximumHeight(14);
    gridLayout->addWidget(m_CtrlProgressBar_Size, 5, 0, 1, 9);

    m_CtrlButton_DeleteSoundTrack = button(centralWidget, "m_CtrlButton_DeleteSoundTrack", "Delete sound track", 120, 30);
    gridLayout->addWidget(m_CtrlButton_DeleteSoundTrack, 3, 8);
    m_CtrlButton_CreateSoundTrack = button(centralWidget, "m_CtrlButton_CreateSoundTrack", "Create sound track", 120, 30);
    gridLayout->addWidget(m_CtrlButton_CreateSoundTrack, 3, 6, 1, 2);
}

// Column stretch, then the menu bar, tool bar and status bar of the window.
void Ui_MainWindow::setupWindowBars(QMainWindow* window)
{
    // Spare width goes to the status line and the source side, so the
    // action buttons keep room for their texts.
    gridLayout->setColumnStretch(0, 1);
    window->setCentralWidget(centralWidget);
    menuBar = new QMenuBar(window);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    window->setMenuBar(menuBar);
    mainToolBar = new QToolBar(window);
    mainToolBar->setObjectName(QStringLiteral("mainToolBar"));
    window->addToolBar(Qt::TopToolBarArea, mainToolBar);
    statusBar = new QStatusBar(window);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    window->setStatusBar(statusBar);
}
