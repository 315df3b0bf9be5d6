// SPDX-License-Identifier: GPL-3.0-or-later
// The window's geometry and fields beyond the original behaviour: the
// track-name edits placed beside their rows, scroll bars where the tables do
// not fit, typed, pasted and dropped folder paths, and the wiring of the
// restore action, the log panel and the track marks.
#include "MainWindow.h"

#include "FolderPathField.h"
#include "LogPanel.h"
#include "MainWindowUi.h"
#include "QPavaneBrowsingTable.h"

#include <QAction>
#include <QEvent>
#include <QDockWidget>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>

namespace {

// Calls `react` after every resize or move of the watched widgets.
class GeometryWatcher : public QObject
{
public:
    GeometryWatcher(QObject* parent, std::function<void()> react) : QObject(parent), m_react(std::move(react)) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Move || event->type() == QEvent::Show
            || event->type() == QEvent::LayoutRequest)
            m_react();
        return false;
    }

private:
    std::function<void()> m_react;
};

} // namespace

void MainWindow::SetupWindowExtras()
{
    // Scroll bars where the content does not fit (the tables are built with
    // none); the theme styles them.
    for (QPavaneBrowsingTable* t : {ui->m_CtrlTable_Source, ui->m_CtrlTable_Target}) {
        t->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        t->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }
    auto* watcher = new GeometryWatcher(this, [this]() { slot_SourceScrolled(0); });
    // The destructor deletes it first: widgets being torn down must not call back.
    watcher->setObjectName(QStringLiteral("geometryWatcher"));
    ui->m_CtrlTable_Source->viewport()->installEventFilter(watcher);
    ui->frame->installEventFilter(watcher);
    ui->groupBox_3->installEventFilter(watcher);
    connect(ui->m_CtrlTable_Source->verticalHeader(), &QHeaderView::sectionResized, this,
            [this]() { AlignTrackNameEdits(); });
    connect(ui->m_CtrlTable_Source->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            [this]() { slot_SourceScrolled(0); });

    for (QLineEdit* field : {ui->m_CtrlLineEdit_SourcePath, ui->m_CtrlLineEdit_TargetPath}) {
        connect(field, SIGNAL(returnPressed()), this, SLOT(slot_FolderFieldEdited()));
        connect(new FolderDropFilter(field), SIGNAL(signal_FolderDropped()), this, SLOT(slot_FolderFieldEdited()));
    }

    connect(ui->m_CtrlAction_RestoreSoundTrack, SIGNAL(triggered()), this, SLOT(OnPushButton_RestoreSoundTrack()));
    connect(ui->m_CtrlDock_Log, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible)
            ui->m_CtrlPanel_Log->Reload();
    });

    m_TrackChoiceTimer.setSingleShot(true);
    m_TrackChoiceTimer.setInterval(50);
    connect(&m_TrackChoiceTimer, &QTimer::timeout, this, &MainWindow::UpdateTrackChoice);
    connect(ui->m_CtrlTable_Target, &QTableWidget::itemSelectionChanged, &m_TrackChoiceTimer,
            QOverload<>::of(&QTimer::start));
}

void MainWindow::AlignTrackNameEdits()
{
    QPavaneBrowsingTable* table = ui->m_CtrlTable_Source;
    QWidget* viewport = table->viewport();
    // The clip spans the viewport's rows, in the frame's coordinates.
    const QPoint origin = ui->frame->mapFrom(ui->groupBox_3, viewport->mapTo(ui->groupBox_3, QPoint(0, 0)));
    const QRect clip(0, origin.y(), ui->frame->width(), viewport->height());
    if (ui->trackNameClip->geometry() != clip)
        ui->trackNameClip->setGeometry(clip);

    const int rows = table->rowCount();
    const int width = ui->trackNameClip->width();
    for (int k = 0; k < m_TrackNameEdits.size(); ++k) {
        const int r = m_nFirstVisibleSourceRow + k;
        int y = 0;
        int h = Ui_MainWindow::kTrackNameRowHeight;
        if (r < rows) {
            y = table->rowViewportPosition(r);
            h = table->rowHeight(r);
        } else if (rows > 0) {
            // Below the last row: where further rows would be.
            y = table->rowViewportPosition(rows - 1) + table->rowHeight(rows - 1)
                + (r - rows) * Ui_MainWindow::kTrackNameRowHeight;
        } else {
            y = k * Ui_MainWindow::kTrackNameRowHeight;
        }
        if (m_TrackNameEdits[k]->height() != h)
            m_TrackNameEdits[k]->setFixedHeight(h);
        if (m_TrackNameEdits[k]->geometry() != QRect(0, y, width, h))
            m_TrackNameEdits[k]->setGeometry(0, y, width, h);
    }
}

bool MainWindow::AcceptTypedFolders()
{
    struct Field
    {
        QLineEdit* edit;
        QString* folder;
        const char* which;
    };
    bool changed = false;
    for (const Field& f : {Field{ui->m_CtrlLineEdit_SourcePath, &m_sSourceFolder, "source"},
                           Field{ui->m_CtrlLineEdit_TargetPath, &m_sTargetFolder, "target"}}) {
        const QString typed = f.edit->text();
        if (typed == *f.folder)
            continue;
        const QString folder = NormaliseTypedFolder(typed);
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
            ShowModalMessage(QMessageBox::Critical,
                             QStringLiteral("The %1 folder \"%2\" does not exist or is not a folder.\n"
                                            "Type or paste the path of an existing folder, or use Browse. "
                                            "Nothing was loaded.")
                                 .arg(QLatin1String(f.which), typed.trimmed()));
            f.edit->setFocus();
            return false;
        }
        *f.folder = folder;
        f.edit->setText(folder);
        changed = true;
    }
    if (changed)
        SaveIniSettings();
    return true;
}

void MainWindow::slot_FolderFieldEdited() { AcceptTypedFolders(); }
