// SPDX-License-Identifier: GPL-3.0-or-later
#include "QPavaneBrowsingTable.h"

#include "BrowserRoles.h"
#include "BrowserStyle.h"
#include "BuildTableThread.h"
#include "DebugOutput.h"
#include "MessageLoging.h"
#include "MyFileInfoList.h"
#include "QSoundPerform.h"
#include "ReportFileInfo.h"
#include "SharedFonts.h"
#include "TakeGrouping.h"
#include "TimeFormat.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSemaphore>

namespace {

const QColor kErrorRowColour(200, 60, 60);
const QColor kShadeColour(0, 0, 0, 50);
const QColor kMissingFileTint(0, 0, 200, 50);
constexpr int kTakeRowHeight = 18;
constexpr int kRawRowHeight = 22;
constexpr int kByteRoleSize = Qt::UserRole + 2;   // bytes a row stands for (selection totals)

bool isTrackKind(int id) { return id >= BLK_DATA_TRACK1 && id <= BLK_DATA_TRACK24; }
bool isAdvancedKind(int id) { return id >= BLK_DATA_SEASON && id <= BLK_DATA_EFFECT; }

QString lld(qint64 v) { return QString::number(v); }

// The composed short scene of templates 4 and 5: the sequence and slate
// fields in the order the composition names them, with at most one
// separator between them. Returns the text; *mask gets bit n for every
// field number n the composition names.
QString composeScene(const QString& composition, const QHash<int, QString>& fields, int* mask)
{
    *mask = 0;
    const QStringList parts = composition.split(QLatin1Char(','), Qt::KeepEmptyParts);
    QVector<int> numbers;
    for (const QString& part : parts) {
        bool ok = false;
        const int n = part.toInt(&ok, 10);
        if (!ok)
            continue;
        if (n >= 0 && n < 31)
            *mask |= 1 << n;
        numbers.append(n);
    }
    const bool buildable = !composition.isEmpty()
                           && (composition.contains(QLatin1Char('1')) || composition.contains(QLatin1Char('2')))
                           && !fields.isEmpty();
    if (!buildable)
        return QString();
    QString scene;
    int appended = 0;
    int separators = 0;
    bool separatorDone = false;
    for (int n : numbers) {
        if (n == 1 || n == 2) {
            scene += fields.value(n);
            ++appended;
        } else if (n == 0) {
            if (!separatorDone && appended == 1) {
                scene += fields.value(-separators);
                separatorDone = true;
            }
            ++separators;
        }
    }
    return scene;
}

// One take record as its row's cells read it: the record plus what several
// cells derive from it.
struct TakeRow {
    QSoundPerform* record;
    int status;
    bool hasFile;           // the first track slot holds a readable file
    QSoundFile* first;      // that file, or slot 0 when there is none
    bool advancedTemplate;  // templates 4 and 5 carry the advanced fields
    int files;
};

// Gathers what the cells of one take row share.
TakeRow takeRowOf(QSoundPerform* record, int status)
{
    const short firstSlot = record->GetFirstTrack();
    const bool hasFile = firstSlot >= 0 && firstSlot < QSoundPerform::kMaxSlots && record->m_bPresent[size_t(firstSlot)];
    QSoundFile& first = record->File(hasFile ? firstSlot : 0);
    const bool advancedTemplate = record->m_nScTkTemplate == 4 || record->m_nScTkTemplate == 5;
    return TakeRow{record, status, hasFile, &first, advancedTemplate, record->m_nNbFiles};
}

// Track cell: the track's name when names are shown; an inactive absent
// track is shaded, a named track whose mono file is missing is tinted.
void fillTrackCell(QTableWidgetItem* it, const TakeRow& take, int t, bool namesShown)
{
    QSoundPerform* record = take.record;
    QString text;
    if (namesShown) {
        if (record->m_bPoly) {
            if (t < record->m_nNbChannels) {
                const QString name = record->m_sTrackName[size_t(t)].trimmed();
                text = name.isEmpty() ? QStringLiteral("x") : name;
            }
        } else {
            QString name = take.hasFile ? take.first->GetiXMLVeltaTracknames(t) : QString();
            if (name.isEmpty())
                name = record->m_sTrackName[size_t(t)];
            QString active = take.hasFile ? take.first->GetiXMLVeltaTrackActive(t) : QString();
            if (active.isEmpty())
                active = record->m_sTrackActive[size_t(t)];
            const bool isActive = active.compare(QLatin1String("YES"), Qt::CaseInsensitive) == 0;
            if (!isActive && !record->m_bPresent[size_t(t)]) {
                it->setBackground(kShadeColour);
            } else {
                text = name.trimmed().isEmpty() ? QStringLiteral("T%1").arg(t + 1) : name.trimmed();
                QString path;
                record->GetMonoFilePath(t, path);
                MyQDebug(" >>> Browsing %s", path.toLocal8Bit().constData());
                if (!QFileInfo::exists(path))
                    it->setBackground(kMissingFileTint);
            }
        }
    }
    it->setText(text);
}

// Slate cell: the first three slate points as time code, dashes when unset.
void fillSlateCell(QTableWidgetItem* it, const TakeRow& take, int p)
{
    QString text;
    if (p < 3) {
        const unsigned int point = take.record->m_nSlateFrames[p];
        text = point == 0 ? QStringLiteral("--:--:--:--")
                          : GetTimeCode(point + take.record->m_nTimeCodeFrame, take.record->m_nFrameRate);
    }
    it->setText(text);
}

// Advanced field cell: the field's value, shaded when the take has none.
void fillAdvancedCell(QTableWidgetItem* it, const TakeRow& take, int k)
{
    const int key = AdvancedFieldKeyOfKind(k);
    if (take.advancedTemplate && take.record->m_AdvancedFields.contains(key)) {
        it->setText(take.record->m_AdvancedFields.value(key));
    } else {
        it->setText(QString());
        it->setBackground(kShadeColour);
    }
}

// Scene cell: keeps the plain and composed scenes on the row's first item
// (the short-scene views switch between them) and shows the one in use.
void fillSceneCell(QTableWidgetItem* it, QTableWidgetItem* firstItem, const TakeRow& take, int shortSceneMode)
{
    const QString plain = take.record->m_sScene.trimmed();
    QString composition;
    QString composed;
    int mask = 0;
    if (take.advancedTemplate) {
        composition = take.record->m_sAdvancedComposition;
        composed = composeScene(composition, take.record->m_AdvancedFields, &mask);
    }
    if (firstItem) {
        firstItem->setData(kRoleComposition, composition);
        firstItem->setData(kRoleComposedScene, composed);
        firstItem->setData(kRolePlainScene, plain);
        firstItem->setData(kRoleFieldMask, mask);
    }
    it->setText(shortSceneMode == 0 && !composition.isEmpty() ? composed : plain);
}

// Text of the cells that only show one value of the take; empty for kinds
// without one.
QString takeFieldText(int k, const TakeRow& take)
{
    const QSoundPerform* record = take.record;
    const int files = take.files;
    switch (k) {
    case BLK_DATA_TAKE:
        return QString(record->m_sTakeIndicator + record->m_sTakeNumber).trimmed();
    case BLK_DATA_NOTES:
        return take.status == 0 ? record->m_sNotes
                                : QStringLiteral(" *** Error #%1 detected on audio file *** ").arg(take.status);
    case BLK_DATA_TRACKS:
        return QString::number(record->m_bPoly ? record->m_nNbChannels : files);
    case BLK_DATA_TCSTART:
        return record->m_sTimeCode.left(8);
    case BLK_DATA_TCEND:
        return GetTimeCode(record->m_nTimeCodeFrame + record->m_nDurationFrames, record->m_nFrameRate);
    case BLK_DATA_DURATION:
        return record->m_sDuration.left(8);
    case BLK_DATA_TOTSIZE:
        return QStringLiteral("%1 MB").arg(qint64(record->m_nNumerikSize) * (record->m_bPoly ? 1 : files));
    case BLK_DATA_TYPE:
        return record->m_bPoly ? QStringLiteral("Poly") : QStringLiteral("Mono");
    case BLK_DATA_FREQUENCY:
        return record->m_nSampleRate % 1000 == 0 ? QStringLiteral("%1K").arg(record->m_nSampleRate / 1000)
                                                  : QString::number(record->m_nSampleRate);
    case BLK_DATA_BITS:
        return QStringLiteral("%1 bit").arg(record->m_nBitsPerSample);
    case BLK_DATA_TCFPS:
        return record->m_sFrameRate;
    case BLK_DATA_UBITS:
        return record->m_sUbits;
    case BLK_DATA_TAPE:
        return record->m_sTape;
    case BLK_DATA_DATE:
        return record->m_sCreationDate;
    case BLK_DATA_IN_SPLTC:
        if (take.hasFile && !record->m_bPoly) {
            const qint64 in = qint64(take.first->GetTimeReference());
            const qint64 n = qint64(take.first->GetNbTotalSample());
            return QStringLiteral("[%1 ..%2.. %3]").arg(Long64ToString(in), Long64ToString(n), Long64ToString(in + n));
        }
        return QString();
    case BLK_DATA_OUT_SPLTC:
        // A take without a readable file has no span: an empty cell keeps
        // it out of every coverage class.
        return take.hasFile ? lld(qint64(take.first->GetTimeReference()) + qint64(take.first->GetNbTotalSample()))
                            : QString();
    case BLK_DATA_INOUT_SPLTC:
        return take.hasFile ? lld(qint64(take.first->GetTimeReference())) : QStringLiteral("--:--:--:--");
    default:
        return QString();
    }
}

// Any other cell of a take row: the file id keeps its text and carries the
// error flag and byte size, the circled cell shows an icon, the rest a text.
void fillTakeFieldCell(QTableWidgetItem* it, const TakeRow& take, int k, const QPixmap& circledIcon)
{
    const QSoundPerform* record = take.record;
    if (k == BLK_DATA_FILEID) {
        it->setData(kRoleErrorFlag, take.status != 0);
        it->setData(kByteRoleSize, qint64(record->m_nNumerikSize) * (record->m_bPoly ? 1 : take.files) * 1048576);
    } else if (k == BLK_DATA_CIRCLED) {
        const QString c = record->m_sCircled.trimmed();
        const bool circled = c.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0
                             || c == QLatin1String("1")
                             || c.compare(QLatin1String("YES"), Qt::CaseInsensitive) == 0;
        it->setText(QString());
        it->setIcon(circled ? QIcon(circledIcon) : QIcon());
    } else {
        it->setText(takeFieldText(k, take));
    }
}

} // namespace

QPavaneBrowsingTable::QPavaneBrowsingTable(QWidget* parent)
    : QTableWidget(parent), m_pWorker(std::make_unique<BuildTableThread>()),
      m_pSemaphore(std::make_unique<QSemaphore>(1)), m_Kinds(DefaultColumnKinds())
{
    qRegisterMetaType<QSoundPerform*>("QSoundPerform*");
    qRegisterMetaType<ReportFileInfo*>("ReportFileInfo*");
    qRegisterMetaType<QSemaphore*>("QSemaphore*");
    InitSharedFonts();
    m_TableFont = generalFont10;

    connect(this, SIGNAL(signal_StartBuildProcess(int, QSemaphore*)), m_pWorker.get(),
            SLOT(slot_StartBuildProcess(int, QSemaphore*)));
    connect(m_pWorker.get(), SIGNAL(signal_EndOfBuild(int)), this, SLOT(slot_EndOfBuild(int)));
    connect(m_pWorker.get(), SIGNAL(signal_AddNewElement(QSoundPerform*, int, int)), this,
            SLOT(slot_AddNewElement(QSoundPerform*, int, int)));
    connect(m_pWorker.get(), SIGNAL(signal_AddNewElementRpt(ReportFileInfo*, int, int)), this,
            SLOT(slot_AddNewElementRpt(ReportFileInfo*, int, int)));

    setItemDelegate(new QBrowsingItemDelegate(this));
    m_DelayedSignalTimer.setSingleShot(true);
    // A coarse timer may fire up to 5% early; the delay is a promise to the user.
    m_DelayedSignalTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_DelayedSignalTimer, SIGNAL(timeout()), this, SLOT(slot_TimerDelayedSignal()));
    connect(this, SIGNAL(currentCellChanged(int, int, int, int)), this, SLOT(slot_CellChanged(int, int, int, int)));
    connect(this, SIGNAL(itemSelectionChanged()), this, SLOT(slot_itemSelectionChanged()));
}

QPavaneBrowsingTable::~QPavaneBrowsingTable()
{
    // Stop the worker before the rows it writes to go away, then deliver the
    // records it has already queued: their slot is what destroys them.
    m_pWorker.reset();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

bool QPavaneBrowsingTable::IsBuilding() const { return m_pSemaphore->available() == 0; }

int QPavaneBrowsingTable::SetupBrowser(int identifier, tBrowserType type)
{
    if (m_nTableId == -1)
        m_nTableId = identifier;
    if (!m_pSemaphore->tryAcquire()) {
        MyQDebug("%d > tryAcquire SetupBrowser() BUSY !", m_nTableId);
        SendToRelay(QStringLiteral("QPavaneBrowsingTable::SetupBrowser()"),
                    QStringLiteral("!!! tryAcquire SetupBrowser() BUSY !!!"));
        return 1;
    }
    m_eBrowserType = type;
    LoadSettings(type);
    InitialSettings();
    m_pSemaphore->release();
    return 0;
}

void QPavaneBrowsingTable::LoadSettings(int type) { m_Kinds = ColumnKindsForLayout(type); }

QString QPavaneBrowsingTable::HeaderTextFor(const ColumnKind& kind, int width) const
{
    const QFontMetrics metrics(m_TableFont);
    return metrics.horizontalAdvance(kind.longName) < width ? kind.longName : kind.shortName;
}

void QPavaneBrowsingTable::InitialSettings()
{
    clear();
    setStyleSheet(QStringLiteral("alternate-background-color:#757575;border-right: 0px;border-top: 0px ;"
                                 "border-left: 0px ;border-bottom: 0px ;"));
    setShowGrid(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    verticalHeader()->hide();
    // Rows of 18 and 22 pixels and 25-pixel columns are below the style's
    // default minimum section sizes.
    verticalHeader()->setMinimumSectionSize(10);
    horizontalHeader()->setMinimumSectionSize(10);
    static QFocuslessStyle* focusless = nullptr;
    if (!focusless) {
        focusless = new QFocuslessStyle;
        focusless->setParent(QCoreApplication::instance());
    }
    setStyle(focusless);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setHighlightSections(false);

    QVector<int> byPosition;
    for (int k = 0; k < BLK_DATA_LAST; ++k) {
        const int p = m_Kinds[size_t(k)].position;
        if (p < 0)
            continue;
        if (byPosition.size() <= p)
            byPosition.resize(p + 1);
        byPosition[p] = k;
    }
    if (byPosition.isEmpty()) {
        setColumnCount(1);
        auto* header = new QTableWidgetItem(QStringLiteral("File ID"));
        header->setFont(m_TableFont);
        setHorizontalHeaderItem(0, header);
        horizontalHeader()->resizeSection(0, 73);
    } else {
        setColumnCount(byPosition.size());
        for (int col = 0; col < byPosition.size(); ++col) {
            const ColumnKind& kind = m_Kinds[size_t(byPosition[col])];
            int width = kind.width;
            if (col == 0 && m_eBrowserType == BROWSER_REPORTS)
                width *= 2;
            auto* header = new QTableWidgetItem(HeaderTextFor(kind, width));
            header->setFont(generalFont10);
            header->setSizeHint(QSize(99, 20));
            setHorizontalHeaderItem(col, header);
            horizontalHeader()->resizeSection(col, width);
        }
    }
    QPixmap circled(10, 10);
    circled.fill(QColor(60, 200, 60));
    m_CircledIcon = circled;
    UpdateBrowserColumns();
    UpdateBrowseHeader();
}

int QPavaneBrowsingTable::ColumnOfKind(int kindIndex) const
{
    if (kindIndex < 0 || kindIndex >= BLK_DATA_LAST)
        return -1;
    const int p = m_Kinds[size_t(kindIndex)].position;
    return p < columnCount() ? p : -1;
}

QTableWidgetItem* QPavaneBrowsingTable::ItemOfKind(int row, int kindIndex) const
{
    const int col = ColumnOfKind(kindIndex);
    return col < 0 ? nullptr : item(row, col);
}

QString QPavaneBrowsingTable::CellText(int row, int kindIndex) const
{
    const QTableWidgetItem* it = ItemOfKind(row, kindIndex);
    return it ? it->text() : QString();
}

void QPavaneBrowsingTable::ClearRows()
{
    clearContents();
    setRowCount(0);
}

int QPavaneBrowsingTable::SetupNewTableContent(const QString& folder, const QString&, bool force)
{
    if (!m_pSemaphore->tryAcquire())
        return 1;
    if (folder != m_sCurrentFolder) {
        m_sCurrentFolder = folder;
        m_bTrackNamesShown = false;
        m_nDisplayedColumnMode = 0;
    } else if (!force) {
        m_pSemaphore->release();
        return 0;
    }
    m_nSelectionTotalSize = 0;
    BuildTableContentThreadedHoldingPermit(folder);
    return 0;
}

bool QPavaneBrowsingTable::BuildTableContentThreaded(const QString& folder)
{
    // Waiting for the permit on the GUI thread would never end: it is given
    // back by a slot that runs on this same thread. A running build refuses.
    if (!m_pSemaphore->tryAcquire()) {
        MyQDebug("%d > BuildTableContentThreaded BUSY", m_nTableId);
        return true;
    }
    return BuildTableContentThreadedHoldingPermit(folder);
}

bool QPavaneBrowsingTable::BuildTableContentThreadedHoldingPermit(const QString& folder)
{
    ClearRows();
    m_nDisplayedColumnMode = 0;
    m_nSelectionMarkerA = -1;
    m_nSelectionMarkerB = -1;
    m_nCurrentRow = -1;
    MyQDebug("   BuildTableContentThreaded %s", folder.toLocal8Bit().constData());

    const bool reports = m_eBrowserType == BROWSER_REPORTS;
    const QStringList suffixes = reports ? QStringList{QStringLiteral(".PDF"), QStringLiteral(".CSV"), QStringLiteral(".ALE")}
                                         : QStringList{QStringLiteral(".WAV")};
    MyFileInfoList listing;
    const bool failed = listing.LoadEntryInfoList(folder, suffixes) != 0;

    QStringList firstCells;
    if (!failed) {
        if (reports) {
            for (int i = 0; i < listing.count(); ++i) {
                const QString name = listing.GetFileName(i);
                if (name.size() > 6)
                    firstCells.append(name.left(name.size() - 4));
            }
        } else {
            for (const TakeKey& take : GroupListingIntoTakes(listing))
                firstCells.append(take.fileId);
        }
    }
    const int columns = columnCount();
    setRowCount(firstCells.size());
    for (int row = 0; row < firstCells.size(); ++row) {
        setRowHeight(row, kTakeRowHeight);
        for (int col = 0; col < columns; ++col) {
            auto* it = new QTableWidgetItem(col == 0 ? firstCells[row] : QString());
            it->setFont(m_TableFont);
            it->setTextAlignment(Qt::AlignCenter);
            setItem(row, col, it);
        }
    }
    for (int k = 0; k < BLK_DATA_LAST; ++k) {
        const int col = ColumnOfKind(k);
        if (col <= 0)
            continue;
        for (int row = 0; row < rowCount(); ++row)
            item(row, col)->setTextAlignment(m_Kinds[size_t(k)].alignment);
    }
    UpdateBrowserColumns();

    m_pWorker->SetSourceDir(folder, suffixes);
    emit signal_StartBuildProcess(m_nTableId, m_pSemaphore.get());
    return failed || firstCells.isEmpty();
}

bool QPavaneBrowsingTable::BuildRawBwfTableContent(const QString& folder)
{
    ClearRows();
    MyFileInfoList listing;
    const bool failed = listing.LoadEntryInfoList(folder, {QStringLiteral(".WAV"), QStringLiteral(".wav")}) != 0;
    if (failed)
        return true;
    const int columns = columnCount();
    for (int i = 0; i < listing.count(); ++i) {
        insertRow(i);
        setRowHeight(i, kRawRowHeight);
        for (int col = 0; col < columns; ++col) {
            auto* it = new QTableWidgetItem(col == 0 ? QStringLiteral("S %1").arg(i + 1) : QString());
            it->setFont(m_TableFont);
            it->setTextAlignment(Qt::AlignCenter);
            setItem(i, col, it);
        }
        FillFieldTableRawBwf(listing.GetFileName(i), i, 0);
    }
    return listing.count() == 0;
}

void QPavaneBrowsingTable::FillFieldTableRawBwf(const QString& name, int row, int status)
{
    if (QTableWidgetItem* first = item(row, 0)) {
        first->setBackground(status == 0 ? QBrush(Qt::transparent) : QBrush(kErrorRowColour));
        first->setData(kRoleErrorFlag, status != 0);
    }
    if (QTableWidgetItem* it = ItemOfKind(row, BLK_DATA_FILENAME)) {
        it->setText(name);
        it->setTextAlignment(m_Kinds[BLK_DATA_FILENAME].alignment);
    }
}

void QPavaneBrowsingTable::slot_AddNewElement(QSoundPerform* record, int row, int status)
{
    std::unique_ptr<QSoundPerform> owned(record);
    const int rows = rowCount();
    if (rows >= 21)
        emit signal_BrowsingTableProgress((row * 100 + 100) / rows);
    if (row >= 0 && row < rows) {
        FillFieldTable(owned.get(), row, status, false);
    } else {
        MyQDebug("%d >slot_AddNewElement::ERROR ERROR too mainy elements !!!", m_nTableId);
        SendToRelay(QStringLiteral("QPavaneBrowsingTable::slot_AddNewElement()"),
                    QStringLiteral("%1 >slot_AddNewElement::ERROR ERROR too mainy elements !!!").arg(m_nTableId));
    }
}

void QPavaneBrowsingTable::slot_AddNewElementRpt(ReportFileInfo* info, int row, int status)
{
    std::unique_ptr<ReportFileInfo> owned(info);
    const int rows = rowCount();
    if (rows >= 21)
        emit signal_BrowsingTableProgress((row * 100 + 100) / rows);
    if (row >= 0 && row < rows) {
        FillFieldTable(owned.get(), row, status, false);
    } else {
        MyQDebug("slot_AddNewElementRpt::ERROR ERROR too many elements !!!");
        SendToRelay(QStringLiteral("QPavaneBrowsingTable::slot_AddNewElementRpt()"),
                    QStringLiteral("slot_AddNewElementRpt::ERROR ERROR too many elements !!!"));
    }
}

void QPavaneBrowsingTable::slot_EndOfBuild(int)
{
    MyQDebug("slot_EndOfBuild");
    ComputeSceneTakeColSize();
    UpdateBrowserColumns();
    UpdateBrowseHeader();
    m_pSemaphore->release();
    emit signal_EndOfTableUpdate();
}

void QPavaneBrowsingTable::SetItemText(int row, int kindIndex, const QString& text)
{
    if (QTableWidgetItem* it = ItemOfKind(row, kindIndex))
        it->setText(text);
}

void QPavaneBrowsingTable::FillFieldTable(QSoundPerform* record, int row, int status, bool)
{
    const TakeRow take = takeRowOf(record, status);
    for (int k = 0; k < BLK_DATA_LAST; ++k) {
        const ColumnKind& kind = m_Kinds[size_t(k)];
        if (kind.position < 0)
            continue;
        QTableWidgetItem* it = item(row, kind.position);
        if (!it) {
            MyQDebug("NULL ITEM %d iData %d m_NbColumnInTable %d BLK_DATA_LAST %d", row, k, columnCount(),
                     int(BLK_DATA_LAST));
            continue;
        }
        it->setBackground(status == 0 ? QBrush(Qt::transparent) : QBrush(kErrorRowColour));

        if (k >= BLK_DATA_TRACK1 && k <= BLK_DATA_TRACK24)
            fillTrackCell(it, take, k - BLK_DATA_TRACK1, m_bTrackNamesShown);
        else if (k >= BLK_DATA_SLATE_A && k <= BLK_DATA_SLATE_J)
            fillSlateCell(it, take, k - BLK_DATA_SLATE_A);
        else if (isAdvancedKind(k))
            fillAdvancedCell(it, take, k);
        else if (k == BLK_DATA_SCENE)
            fillSceneCell(it, item(row, 0), take, m_nShortSceneMode);
        else
            fillTakeFieldCell(it, take, k, m_CircledIcon);
    }
}

void QPavaneBrowsingTable::FillFieldTable(ReportFileInfo* info, int row, int status, bool)
{
    for (int k = 0; k < BLK_DATA_LAST; ++k) {
        const int col = m_Kinds[size_t(k)].position;
        if (col < 0)
            continue;
        QTableWidgetItem* it = item(row, col);
        if (!it) {
            MyQDebug("NULL ITEM %d iData %d m_NbColumnInTable %d BLK_DATA_LAST %d", row, k, columnCount(),
                     int(BLK_DATA_LAST));
            continue;
        }
        it->setBackground(status == 0 ? QBrush(Qt::transparent) : QBrush(kErrorRowColour));
        if (k == BLK_DATA_FILEID) {
            it->setData(kRoleErrorFlag, status != 0);
            it->setData(kRoleReportExtra, info->GetFileSuffix());
            it->setData(kByteRoleSize, info->GetFileSize());
        } else if (k == BLK_DATA_TYPE) {
            it->setText(info->GetFileSuffix());
        } else if (k == BLK_DATA_DATE || k == BLK_DATA_TCSTART) {
            it->setText(info->GetFileLastModified().toString(QStringLiteral("MM-dd hh:mm")));
        } else if (k == BLK_DATA_TOTSIZE) {
            it->setText(info->GetFileSizeStr());
        }
    }
}

// ---- views ----

int QPavaneBrowsingTable::TrackWidth() const { return m_Kinds[BLK_DATA_TRACK1].width; }

void QPavaneBrowsingTable::UpdateBrowserColumns()
{
    const bool takeLayout = m_eBrowserType == BROWSER_TAKES || m_eBrowserType == BROWSER_TAKES_TC;
    if (!takeLayout) {
        for (int k = 0; k < BLK_DATA_LAST; ++k)
            if (const int col = ColumnOfKind(k); col >= 0)
                setColumnHidden(col, false);
        return;
    }
    auto advancedShown = [this](int k) {
        return m_nShortSceneMode == 2 && (m_nAdvancedFieldMask & (1 << AdvancedFieldKeyOfKind(k))) != 0;
    };

    if (m_nDisplayedColumnMode == 0) {
        for (int k = 0; k < BLK_DATA_LAST; ++k) {
            const int col = ColumnOfKind(k);
            if (col < 0)
                continue;
            const int id = m_Kinds[size_t(k)].identifier;
            bool shown = true;
            if (isTrackKind(id))
                shown = false;
            else if (id == BLK_DATA_SCENE)
                shown = m_nShortSceneMode != 2;
            else if (isAdvancedKind(id))
                shown = advancedShown(id);
            setColumnHidden(col, !shown);
        }
        horizontalHeader()->setStretchLastSection(true);
        return;
    }

    // Track page m: as many track columns as fit beside the fixed columns.
    int fixed = 0;
    for (int k = 0; k < BLK_DATA_LAST; ++k) {
        const int col = ColumnOfKind(k);
        if (col < 0)
            continue;
        const int id = m_Kinds[size_t(k)].identifier;
        const bool counted = id == BLK_DATA_FILEID || id == BLK_DATA_CIRCLED || id == BLK_DATA_TAKE
                             || (id == BLK_DATA_SCENE && m_nShortSceneMode != 2)
                             || (isAdvancedKind(id) && advancedShown(id));
        if (counted)
            fixed += horizontalHeader()->sectionSize(col);
    }
    const int available = width() - fixed;
    m_nTracksPerPage = qMax(1, available / TrackWidth());
    const int trackColumnWidth = qMax(1, available / m_nTracksPerPage);
    const int m = m_nDisplayedColumnMode;
    const int firstId = (m - 1) * m_nTracksPerPage + BLK_DATA_TRACK1;
    const int endId = m * m_nTracksPerPage + BLK_DATA_TRACK1;
    for (int k = 0; k < BLK_DATA_LAST; ++k) {
        const int col = ColumnOfKind(k);
        if (col < 0)
            continue;
        const int id = m_Kinds[size_t(k)].identifier;
        bool shown = false;
        if (isTrackKind(id)) {
            shown = id >= firstId && id < endId;
            if (shown)
                horizontalHeader()->resizeSection(col, trackColumnWidth);
        } else if (id == BLK_DATA_FILEID || id == BLK_DATA_CIRCLED || id == BLK_DATA_TAKE) {
            shown = true;
        } else if (id == BLK_DATA_SCENE) {
            shown = m_nShortSceneMode != 2;
        } else if (isAdvancedKind(id)) {
            shown = advancedShown(id);
        }
        setColumnHidden(col, !shown);
    }
}

void QPavaneBrowsingTable::ChangeDisplayedColumn()
{
    if (m_eBrowserType != BROWSER_TAKES && m_eBrowserType != BROWSER_TAKES_TC)
        return;
    // Nothing loaded yet: an empty folder name would list the process's
    // current folder.
    if (m_sCurrentFolder.isEmpty())
        return;
    if (!m_bTrackNamesShown) {
        m_bTrackNamesShown = true;
        if (SetupNewTableContent(m_sCurrentFolder, QString(), true) != 0) {
            // A build is running: nothing was rebuilt, so the track cells
            // would stay empty; keep the current view.
            m_bTrackNamesShown = false;
            return;
        }
        m_nDisplayedColumnMode = 1;
    } else if (m_nDisplayedColumnMode == 0) {
        m_nDisplayedColumnMode = 1;
    } else if (m_nTracksPerPage * m_nDisplayedColumnMode > 23) {
        m_nDisplayedColumnMode = 0;
    } else {
        m_nDisplayedColumnMode += 1;
    }
    UpdateBrowserColumns();
}

void QPavaneBrowsingTable::AdvanceShortSceneMode()
{
    int next = m_nShortSceneMode + 1;
    if (next == 2 && !(m_eBrowserType == BROWSER_TAKES && m_nAdvancedFieldMask != 0))
        next = 0;
    if (next > 2)
        next = 0;
    ShowShortScene(next);
    UpdateBrowserColumns();
    UpdateBrowseHeader();
}

void QPavaneBrowsingTable::ChangeDisplayedScene()
{
    if (m_eBrowserType == BROWSER_NOTES)
        return;
    AdvanceShortSceneMode();
}

void QPavaneBrowsingTable::ShowShortScene(int mode)
{
    if (mode == m_nShortSceneMode)
        return;
    m_nShortSceneMode = mode;
    emit signal_ToggleShowShortScene(mode);
    const int sceneCol = ColumnOfKind(BLK_DATA_SCENE);
    if (sceneCol >= 0 && rowCount() > 0) {
        for (int row = 0; row < rowCount(); ++row) {
            QTableWidgetItem* first = item(row, 0);
            QTableWidgetItem* scene = item(row, sceneCol);
            if (!first || !scene)
                continue;
            const bool composed = mode == 0 && !first->data(kRoleComposition).toString().isEmpty();
            scene->setText(first->data(composed ? kRoleComposedScene : kRolePlainScene).toString());
        }
    }
    ComputeSceneTakeColSize();
}

void QPavaneBrowsingTable::ComputeSceneTakeColSize()
{
    const int sceneCol = ColumnOfKind(BLK_DATA_SCENE);
    const int takeCol = ColumnOfKind(BLK_DATA_TAKE);
    if ((sceneCol < 0 && takeCol < 0) || rowCount() == 0)
        return;
    QFont font = m_TableFont;
    if (sceneCol >= 0 && item(0, sceneCol))
        font = item(0, sceneCol)->font();
    const QFontMetrics metrics(font);
    int sceneWidest = 0;
    int takeWidest = 0;
    int mask = 0;
    for (int row = 0; row < rowCount(); ++row) {
        if (sceneCol >= 0 && item(row, sceneCol))
            sceneWidest = qMax(sceneWidest, metrics.horizontalAdvance(item(row, sceneCol)->text()));
        if (takeCol >= 0 && item(row, takeCol))
            takeWidest = qMax(takeWidest, metrics.horizontalAdvance(item(row, takeCol)->text()));
        if (item(row, 0))
            mask |= item(row, 0)->data(kRoleFieldMask).toInt();
    }
    m_nAdvancedFieldMask = mask;
    const bool takeLayout = m_eBrowserType == BROWSER_TAKES || m_eBrowserType == BROWSER_TAKES_TC;
    if (takeLayout && m_nShortSceneMode == 2) {
        for (int k = BLK_DATA_SEASON; k <= BLK_DATA_EFFECT; ++k)
            if (const int col = ColumnOfKind(k); col >= 0)
                setColumnHidden(col, (mask & (1 << AdvancedFieldKeyOfKind(k))) == 0);
    }
    if (sceneCol >= 0) {
        const int w = qMax(sceneWidest + 10, 78);
        if (horizontalHeader()->sectionSize(sceneCol) != w && !isColumnHidden(sceneCol))
            horizontalHeader()->resizeSection(sceneCol, w);
    }
    if (takeCol >= 0) {
        const int w = qMin(qMax(takeWidest + 8, 35), 50);
        if (horizontalHeader()->sectionSize(takeCol) != w)
            horizontalHeader()->resizeSection(takeCol, w);
    }
}

void QPavaneBrowsingTable::UpdateBrowseHeader()
{
    const int sceneCol = ColumnOfKind(BLK_DATA_SCENE);
    if (sceneCol < 0)
        return;
    QString text = m_Kinds[BLK_DATA_SCENE].longName;
    if (m_nAdvancedFieldMask != 0) {
        if (m_nShortSceneMode == 1)
            text += QStringLiteral("(Full)");
        else if (m_nShortSceneMode == 0)
            text += QStringLiteral("(Shrt)");
    }
    if (QTableWidgetItem* header = horizontalHeaderItem(sceneCol))
        header->setText(text);
}

// ---- selection and keys ----

void QPavaneBrowsingTable::slot_CellChanged(int row, int, int, int)
{
    if (row < 0 || row >= rowCount())
        return;
    m_nCurrentRow = row;
    const bool takeLayout = m_eBrowserType == BROWSER_TAKES || m_eBrowserType == BROWSER_TAKES_TC;
    m_DelayedSignalTimer.start(takeLayout ? 300 : 1);
}

void QPavaneBrowsingTable::slot_TimerDelayedSignal()
{
    if (m_nCurrentRow < 0 || m_nCurrentRow >= rowCount())
        return;
    const QTableWidgetItem* first = item(m_nCurrentRow, 0);
    if (!first)
        return;
    if (m_eBrowserType == BROWSER_RAW_BWF) {
        const int top = qMax(0, rowAt(0));
        emit signal_SelectedSourceChanged(CellText(m_nCurrentRow, BLK_DATA_FILENAME), m_nCurrentRow, top);
    } else if (m_eBrowserType == BROWSER_REPORTS) {
        emit signal_SelectedCellChanged(first->text() + QStringLiteral(".") + first->data(kRoleReportExtra).toString());
    } else {
        emit signal_SelectedCellChanged(first->text());
    }
}

void QPavaneBrowsingTable::slot_itemSelectionChanged()
{
    const QModelIndexList rows = selectionModel() ? selectionModel()->selectedRows(0) : QModelIndexList();
    if (m_eBrowserType == BROWSER_TAKES) {
        bool error = false;
        for (const QModelIndex& index : rows)
            error = error || index.data(kRoleErrorFlag).toBool();
        emit signal_FixNeeded(error ? 1 : 0);
    } else if (m_eBrowserType == BROWSER_CIRCLED || m_eBrowserType == BROWSER_REPORTS) {
        qint64 total = 0;
        for (const QModelIndex& index : rows)
            total += index.data(kByteRoleSize).toLongLong();
        m_nSelectionTotalSize = total;
        emit signal_ItemSelectionChanged();
    }
}

void QPavaneBrowsingTable::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        MyQDebug("QPavaneBrowsingTable::Key_Left");
        event->ignore();
        return;
    case Qt::Key_Right:
        MyQDebug("QPavaneBrowsingTable::Key_Right");
        event->ignore();
        return;
    case Qt::Key_F1:
        MyQDebug("QPavaneBrowsingTable::Key_F1 modifiers 0x%x", unsigned(event->modifiers()));
        event->ignore();
        if (event->modifiers() == Qt::NoModifier)
            AdvanceShortSceneMode();
        return;
    case Qt::Key_F2:
        ChangeDisplayedColumn();
        QTableWidget::keyPressEvent(event);
        return;
    default:
        QTableWidget::keyPressEvent(event);
        return;
    }
}
