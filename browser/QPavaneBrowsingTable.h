// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ColumnKinds.h"

#include <QFont>
#include <QPixmap>
#include <QTableWidget>
#include <QTimer>

#include <memory>

class BuildTableThread;
class QSemaphore;
class QSoundPerform;
class ReportFileInfo;

// The browsing table of the window: one row per take of a target folder
// (type 1, rows built on a worker thread) or one row per file of a source
// folder (type 8, built on the GUI thread). Everything here runs on the GUI
// thread; the only state shared with the worker is the build semaphore.
class QPavaneBrowsingTable : public QTableWidget
{
    Q_OBJECT
public:
    explicit QPavaneBrowsingTable(QWidget* parent = nullptr);
    ~QPavaneBrowsingTable() override;

    // Layout and identity. 0 on success, 1 when a build is running.
    int SetupBrowser(int identifier, tBrowserType type);
    tBrowserType BrowserType() const { return m_eBrowserType; }
    int TableIdentifier() const { return m_nTableId; }

    // Content. SetupNewTableContent: 1 when a build is running, else 0.
    int SetupNewTableContent(const QString& folder, const QString& second, bool force);
    bool BuildTableContentThreaded(const QString& folder);     // true = nothing listed
    bool BuildRawBwfTableContent(const QString& folder);       // true = nothing listed
    int GetNbFileId() const { return rowCount(); }
    bool IsBuilding() const;

    void FillFieldTable(QSoundPerform* record, int row, int status, bool);
    void FillFieldTable(ReportFileInfo* info, int row, int status, bool);
    void FillFieldTableRawBwf(const QString& name, int row, int status);

    // Views.
    void ChangeDisplayedColumn();
    void ChangeDisplayedScene();
    void ShowShortScene(int mode);
    void ComputeSceneTakeColSize();
    void UpdateBrowserColumns();
    void UpdateBrowseHeader();

    // View state, read by the window and the tests.
    int ShortSceneMode() const { return m_nShortSceneMode; }
    int DisplayedColumnMode() const { return m_nDisplayedColumnMode; }
    int TracksPerPage() const { return m_nTracksPerPage; }
    int AdvancedFieldMask() const { return m_nAdvancedFieldMask; }
    bool TrackNamesShown() const { return m_bTrackNamesShown; }
    QString CurrentFolder() const { return m_sCurrentFolder; }
    qint64 SelectionTotalSize() const { return m_nSelectionTotalSize; }
    const ColumnKindTable& ColumnKinds() const { return m_Kinds; }
    // Column of a kind in the current layout, -1 when absent.
    int ColumnOfKind(int kindIndex) const;
    // Display text of the cell of a kind, empty when absent.
    QString CellText(int row, int kindIndex) const;
    BuildTableThread* Worker() const { return m_pWorker.get(); }

public slots:
    void slot_AddNewElement(QSoundPerform* record, int row, int status);
    void slot_AddNewElementRpt(ReportFileInfo* info, int row, int status);
    void slot_EndOfBuild(int);
    void slot_CellChanged(int row, int column, int previousRow, int previousColumn);
    void slot_TimerDelayedSignal();
    void slot_itemSelectionChanged();

signals:
    void signal_StartBuildProcess(int identifier, QSemaphore* semaphore);
    void signal_BrowsingTableProgress(int percent);
    void signal_EndOfTableUpdate();
    void signal_SelectedCellChanged(QString fileId);
    void signal_SelectedSourceChanged(QString fileName, int row, int top);
    void signal_FixNeeded(int needed);
    void signal_ItemSelectionChanged();
    void signal_ToggleShowShortScene(int mode);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void LoadSettings(int type);
    void InitialSettings();
    bool BuildTableContentThreadedHoldingPermit(const QString& folder);
    void ClearRows();
    void AdvanceShortSceneMode();
    int TrackWidth() const;
    QString HeaderTextFor(const ColumnKind& kind, int width) const;
    void SetItemText(int row, int kindIndex, const QString& text);
    QTableWidgetItem* ItemOfKind(int row, int kindIndex) const;

    std::unique_ptr<BuildTableThread> m_pWorker;
    std::unique_ptr<QSemaphore> m_pSemaphore;   // one permit: who holds it may rebuild
    ColumnKindTable m_Kinds;
    qint32 m_nTableId = -1;
    tBrowserType m_eBrowserType = BROWSER_NONE;
    QString m_sCurrentFolder;
    bool m_bTrackNamesShown = false;
    int m_nDisplayedColumnMode = 0;
    int m_nTracksPerPage = 1;
    int m_nShortSceneMode = 0;
    int m_nAdvancedFieldMask = 0;
    int m_nCurrentRow = -1;
    int m_nSelectionMarkerA = -1;
    int m_nSelectionMarkerB = -1;
    qint64 m_nSelectionTotalSize = 0;
    QTimer m_DelayedSignalTimer;
    QPixmap m_CircledIcon;
    QFont m_TableFont;
};
