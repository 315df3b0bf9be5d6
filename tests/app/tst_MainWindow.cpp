// SPDX-License-Identifier: GPL-3.0-or-later
// The window: start, settings, relay boxes, typed folders, track-name edits, taken tracks,
// coverage colours, Load and analysis, Create, Delete, Restore, Verify and Conform.

#include "../analysis/SyntheticSignal.h"
#include "../insertion/ConformFixtures.h"
#include "QtPlatformLeaks.h"
#include "AppStartup.h"
#include "BrowserStyle.h"
#include "ConformApply.h"
#include "ConformDialog.h"
#include "CoverageColours.h"
#include "LogPanel.h"
#include "MainWindow.h"
#include "MainWindowUi.h"
#include "MessageLoging.h"
#include "QPavaneBrowsingTable.h"
#include "TakeJournal.h"
#include "TrackNameFile.h"

#include <QtTest>
#include <QtWidgets>
#include <sys/wait.h>
#include <unistd.h>

using fixtures::Day;
using fixtures::readFile;

namespace {

// Takes AA0001... of 0.1 s a second apart from 10:00:00, and sources R01.WAV... covering the first.
void addTakes(Day& day, int takes, const QList<int>& tracks, int sources)
{
    for (int i = 0; i < takes; ++i)
        day.addTake(QStringLiteral("AA%1").arg(i + 1, 4, 10, QLatin1Char('0')), i, 0.1, tracks);
    for (int i = 1; i <= sources; ++i)
        day.addSource(QStringLiteral("R%1.WAV").arg(i, 2, 10, QLatin1Char('0')), 0, 0.1);
}

// Four two-track takes: A covers the first from its middle to the third's middle; B is inside the fourth.
void fourTakes(Day& day)
{
    addTakes(day, 4, {1, 2}, 0);
    day.addSource(QStringLiteral("SRC_A.WAV"), 0.05, 2);
    day.addSource(QStringLiteral("SRC_B.wav"), 3.02, 0.04);
}

int fileCount(const Day& day) { return QDir(day.target).entryList(QDir::Files).size(); }

struct IsolatedConfig
{
    QTemporaryDir config;
    IsolatedConfig()
    {
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        qputenv("XDG_DATA_HOME", (config.path() + QStringLiteral("/data")).toUtf8());
    }
    QString ini() const { return config.path() + QStringLiteral("/AudioSonalign.ini"); }
};

// Waits for a build the spy watches; the call that started it may have run the event loop already.
bool ended(QSignalSpy& end) { return end.count() > 0 || end.wait(20000); }

// The window on a configuration of its own, its modal boxes answered by `answer` and logged.
struct Window : IsolatedConfig, MainWindow
{
    QStringList texts;
    QList<int> icons;
    int answer = QMessageBox::Ok;
    Ui_MainWindow* ui = Ui();
    explicit Window(bool shown = false)
    {
        SetModalHook([this](QMessageBox& box) {
            texts << box.text();
            icons << int(box.icon());
            return answer;
        });
        if (shown) {
            show();
            if (!QTest::qWaitForWindowExposed(this))
                qWarning("the window was not exposed");
        }
    }
    // Presses Load and waits for the target table's worker to finish.
    bool load(const Day* day = nullptr)
    {
        if (day)
            SetFolders(day->source, day->target);
        QSignalSpy end(ui->m_CtrlTable_Target, SIGNAL(signal_EndOfTableUpdate()));
        ui->m_CtrlButton_Load->click();
        return ended(end);
    }
    // Selects a source row as a click would, and waits for the analysis.
    bool selectSource(int row)
    {
        QSignalSpy selected(ui->m_CtrlTable_Source, SIGNAL(signal_SelectedSourceChanged(QString, int, int)));
        ui->m_CtrlTable_Source->setCurrentCell(row, 0);
        return selected.wait(2000);
    }
    QPavaneBrowsingTable* target() const { return ui->m_CtrlTable_Target; }
    int rowOf(const QString& id) const { const auto found = target()->findItems(id, Qt::MatchExactly); return found.isEmpty() ? -1 : found[0]->row(); }
    QColor colour(int row) const { return target()->item(row, 0)->background().color(); }
    // Visible relay boxes in creation order (the window's own modal boxes go through its hook).
    QList<QMessageBox*> boxes() const
    {
        QList<QMessageBox*> shown;
        for (QMessageBox* b : findChildren<QMessageBox*>(QString(), Qt::FindDirectChildrenOnly))
            if (b->isVisible())
                shown.append(b);
        return shown;
    }
    QString lastBox() const { return boxes().isEmpty() ? QString() : boxes().last()->text(); }
    QString saved(const char* key) const { return QSettings(ini(), QSettings::IniFormat).value(QStringLiteral("LastSetup/") + QLatin1String(key)).toString(); }
    QString enabling() const
    {
        QString on;
        for (QPushButton* b : {ui->m_CtrlButton_CleanAll, ui->m_CtrlButton_TrackView, ui->m_CtrlButton_SceneView, ui->m_CtrlButton_Analyse,
                               ui->m_CtrlButton_CreateSoundTrack, ui->m_CtrlButton_DeleteSoundTrack})
            on += b->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return on;
    }
};

QString plan(const char* verb, int track, const QString& extra, const QString& lines)
{
    return QStringLiteral("Track %1 will be %2 on ALL selected takes of the target area\n").arg(track).arg(QLatin1String(verb)) + extra + lines;
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    // Work on takes needs a Load first. 698: a 768 screen less a title bar and a panel.
    void startsEmptyAndFitsALaptopScreen()
    {
        Window w(true);
        QCOMPARE(w.windowTitle() + QLatin1Char('|') + w.ui->m_CtrlLabel_Message->text(), QStringLiteral("Sonalign Version 1.14|Load and select a source file"));
        QCOMPARE(w.enabling() + QString::number(w.ui->m_CtrlButton_Load->isEnabled()) + w.ui->m_CtrlComboBox_TargetTrack->itemText(23), QStringLiteral("0110011 Track 24"));
        QVERIFY(QCoreApplication::testAttribute(Qt::AA_EnableHighDpiScaling) && QCoreApplication::testAttribute(Qt::AA_UseHighDpiPixmaps));   // as main() sets
        w.resize(1366, 698);
        QCoreApplication::processEvents();
        QCOMPARE(w.size(), QSize(1366, 698));   // no larger minimum; the tables take the height left
        QVERIFY(w.target()->height() >= 300 && w.ui->m_CtrlTable_Source->height() == w.ui->frame->height() && w.ui->frame->height() >= 300);
    }

    // A saved track past the last is not taken; a cancelled dialog changes nothing; a choice is saved at
    // once and the next dialog starts there (or at the current folder when gone); closing saves all.
    void folderChoiceAndCloseSaveTheSettings()
    {
        IsolatedConfig config;
        QTemporaryDir existing;
        QStringList calls;
        QString answer;
        QSettings(config.ini(), QSettings::IniFormat).setValue(QStringLiteral("LastSetup/TargetTrackIndex"), 24);
        {
            MainWindow w;
            QCOMPARE(w.Ui()->m_CtrlComboBox_TargetTrack->currentIndex(), 0);
            w.SetFolderDialogHook([&](const QString& caption, const QString& start) { calls << caption + QStringLiteral(" @ ") + start; return answer; });
            QPushButton *source = w.Ui()->m_CtrlButton_SourcePath, *target = w.Ui()->m_CtrlButton_TargetPath;
            auto choose = [&answer](QPushButton* button, const QString& folder) { answer = folder; button->click(); };
            const QByteArray settings = readFile(config.ini());
            choose(source, QString());
            QVERIFY(w.SourceFolder().isEmpty() && readFile(config.ini()) == settings);
            choose(source, existing.path());
            QCOMPARE(w.SourceFolder() + w.Ui()->m_CtrlLineEdit_SourcePath->text(), existing.path() + existing.path());
            QVERIFY(readFile(config.ini()) != settings);
            w.Ui()->m_CtrlComboBox_TargetTrack->setCurrentIndex(6);
            choose(target, QStringLiteral("/gone/target"));
            choose(source, existing.path());
            choose(target, QString());
            QCOMPARE(w.TargetFolder(), QStringLiteral("/gone/target"));
            w.show();
            QVERIFY(w.close());
        }
        const QString source = QStringLiteral("Select source folder (additional tracks) @ "), target = QStringLiteral("Select target folder (master takes) @ ");
        QCOMPARE(calls, QStringList({source + QDir::currentPath(), source + QDir::currentPath(), target + QDir::currentPath(),
                                     source + existing.path(), target + QDir::currentPath()}));
        QSettings s(config.ini(), QSettings::IniFormat);
        s.beginGroup(QStringLiteral("LastSetup"));
        QCOMPARE(QStringList({s.value(QStringLiteral("Date")).toString(), s.value(QStringLiteral("Version")).toString(), s.value(QStringLiteral("SysType")).toString(),
                              QString::number(s.childKeys().size())}),
                 QStringList({QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")), QStringLiteral("1.14"), QSysInfo::productType(), QStringLiteral("7")}));
        MainWindow again;
        QCOMPARE(again.SourceFolder() + again.TargetFolder() + QString::number(again.Ui()->m_CtrlComboBox_TargetTrack->currentIndex()),
                 existing.path() + QStringLiteral("/gone/target6"));
    }

    // Nine boxes, then "Too many messages"; a 10-pixel cascade; icons by kind; timeout; another thread.
    void relayMessagesBecomeBoxes()
    {
        Window w(true);
        auto send = [](const QString& text, int code = 0, int kind = 1, int timeout = 0) {
            global_pLogger->SendMsg(QStringLiteral("Title"), text, code, kind, true, timeout);
        };
        for (int i = 1; i <= 12; ++i)
            send(QStringLiteral("text %1").arg(i));
        QList<QMessageBox*> boxes = w.boxes();
        QCOMPARE(boxes.size(), 10);
        QCOMPARE(boxes[8]->windowTitle() + boxes[8]->text() + QLatin1Char('|') + boxes[9]->windowTitle() + boxes[9]->text(),
            QStringLiteral("Titletext 9|ErrorToo many messages"));
        QVERIFY(boxes[9]->pos() == boxes[1]->pos() + QPoint(80, 80) && boxes[0]->windowModality() == Qt::ApplicationModal);
        for (QMessageBox* b : w.boxes())
            b->close();
        QTRY_COMPARE(w.OpenMessageBoxCount(), 0);

        // Counting and the cascade start again.
        const QString x = QStringLiteral("cannot open\n/x/AA.WAV");
        send(x, 5, 1);
        for (int kind : {0, 2, 3})
            send(x, 0, kind);
        send(x, 0, 7, 1500);
        QThread* sender = QThread::create([] { SendToRelay(QStringLiteral("BuildTableThread"), QStringLiteral("from the worker"), 0, 2, true, 0); });
        sender->start();
        QVERIFY(sender->wait(5000));
        delete sender;
        QTRY_COMPARE(w.boxes().size(), 6);
        boxes = w.boxes();
        QCOMPARE(boxes[0]->text(), QStringLiteral("Error #5\n") + x);
        QCOMPARE(boxes[1]->pos(), boxes[0]->pos() + QPoint(10, 10));
        QList<int> icons;
        for (QMessageBox* b : boxes)
            icons << int(b->icon());
        QCOMPARE(icons, QList<int>({QMessageBox::Critical, QMessageBox::Critical, QMessageBox::Warning, QMessageBox::Information,
                                    QMessageBox::Information, QMessageBox::Warning}));
        QVERIFY(boxes[5]->text() == QStringLiteral("from the worker") && boxes[5]->thread() == w.thread());
        QTRY_COMPARE_WITH_TIMEOUT(w.boxes().size(), 5, 6000);   // the one with a timeout closed itself
        QCOMPARE(QList<int>({w.OpenMessageBoxCount(), int(w.boxes().at(4)->icon())}), QList<int>({5, QMessageBox::Warning}));
    }

    void typedFolderIsLoadedOrRefused_data()
    {
        QTest::addColumn<QString>("typedTarget");   // %R = project root
        QTest::addColumn<bool>("accepted");
        QTest::newRow("existing folder") << "%R/day" << true;
        QTest::newRow("with dots and a trailing slash") << "%R/boom/../day/" << true;
        QTest::newRow("missing folder") << "%R/nowhere" << false;
        QTest::newRow("a file, not a folder") << "%R/day/AA0001_01.WAV" << false;
        QTest::newRow("emptied field") << "" << false;
    }
    void typedFolderIsLoadedOrRefused()
    {
        QFETCH(QString, typedTarget);
        QFETCH(bool, accepted);
        Day day;
        addTakes(day, 2, {1, 2}, 1);
        const QString root = day.dir.path();
        QVERIFY(QDir().mkpath(root + QStringLiteral("/other")));
        Window w;
        w.SetFolders(day.source, root + QStringLiteral("/other"));   // an empty folder chosen last
        typedTarget.replace(QStringLiteral("%R"), root);
        w.ui->m_CtrlLineEdit_TargetPath->setText(typedTarget);
        if (accepted)
            QVERIFY(w.load());
        else
            w.ui->m_CtrlButton_Load->click();
        const QString loaded = accepted ? day.target : root + QStringLiteral("/other");
        QCOMPARE(w.TargetFolder() + QLatin1Char('|') + w.saved("TargetFolder"), loaded + QLatin1Char('|') + (accepted ? loaded : QString()));
        QCOMPARE(w.target()->rowCount() + w.ui->m_CtrlTable_Source->rowCount(), accepted ? 3 : 0);
        QCOMPARE(w.texts, accepted ? QStringList() : QStringList{QStringLiteral("The target folder \"%1\" does not exist or is not a folder.\n"
                                                                                "Type or paste the path of an existing folder, or use Browse. Nothing was loaded.").arg(typedTarget)});
        QCOMPARE(w.ui->m_CtrlLineEdit_TargetPath->text(), accepted ? loaded : typedTarget);
    }

    // A dropped folder is taken like a typed one; a dropped file is refused at the drag.
    void droppedFolderIsTakenLikeATypedOne()
    {
        Day day;
        addTakes(day, 1, {1}, 1);
        Window w;
        QMimeData mime;
        for (const QString& path : {day.source + QStringLiteral("/R01.WAV"), day.source}) {
            mime.setUrls({QUrl::fromLocalFile(path)});
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(w.ui->m_CtrlLineEdit_SourcePath, &enter);
            QCOMPARE(enter.isAccepted(), path == day.source);
            if (enter.isAccepted())
                QApplication::sendEvent(w.ui->m_CtrlLineEdit_SourcePath, &drop);
        }
        QCOMPARE(w.SourceFolder() + QLatin1Char('|') + w.saved("SourceFolder"), day.source + QLatin1Char('|') + day.source);
    }

    // Scrolled to the end (top row half hidden), each edit sits level with its row; the edit beside
    // the selected row saves to that row's file, and an empty name gives the default at the next Load.
    void trackNameEditsStayLevelWithTheirRows()
    {
        Day day;
        addTakes(day, 40, {1}, 30);
        for (int i = 1; i <= 30; i += 4)
            SaveTrackNameToSnlFile(day.source, QStringLiteral("R%1.WAV").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("Name %1").arg(i));
        Window w(true);
        QVERIFY(w.load(&day));
        QPavaneBrowsingTable* table = w.ui->m_CtrlTable_Source;
        QVERIFY(table->verticalScrollBar()->isVisible() && w.target()->verticalScrollBar()->isVisible());
        table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
        QCoreApplication::processEvents();
        const int top = table->rowAt(0);
        QVERIFY(w.FirstVisibleSourceRow() == top && table->rowViewportPosition(top) < 0);
        const QStringList names = w.SourceTrackNames();
        QCOMPARE(names.mid(0, 2), QStringList({"Name 1", "S 2"}));
        for (int k = 0; k < 22 && top + k < 30; ++k)   // y, height and text of the edit beside each shown row
            QCOMPARE(QStringLiteral("%1 %2 %3")
                         .arg(w.ui->m_CtrlLineEdit_S[k]->mapToGlobal(QPoint()).y())
                         .arg(w.ui->m_CtrlLineEdit_S[k]->height())
                         .arg(w.ui->m_CtrlLineEdit_S[k]->text()),
                QStringLiteral("%1 %2 %3")
                    .arg(table->viewport()->mapToGlobal(QPoint(0, table->rowViewportPosition(top + k))).y())
                    .arg(table->rowHeight(top + k))
                    .arg(names.at(top + k)));
        const int row = top + 3;
        const QString file = table->CellText(row, BLK_DATA_FILENAME);
        QVERIFY(w.selectSource(row));
        for (int k = 0; k < 22; ++k)
            QCOMPARE(w.ui->m_CtrlLineEdit_S[k]->isEnabled(), k == 3);
        auto type = [&](const QString& text) {
            w.ui->m_CtrlLineEdit_S[3]->setText(text);
            QMetaObject::invokeMethod(w.ui->m_CtrlLineEdit_S[3], "editingFinished");
            QString stored;
            LoadTrackNameFromSnlFile(day.source, file, stored);
            return stored;
        };
        QCOMPARE(type(QStringLiteral("Typed here")), QStringLiteral("Typed here"));
        QCOMPARE(w.SourceTrackNames().at(row), QStringLiteral("Typed here"));
        QCOMPARE(type(QString()), QString());
        QVERIFY(w.load());
        QCOMPARE(w.SourceTrackNames().at(row), QStringLiteral("S %1").arg(row + 1));
    }

    // Taken tracks of the selected takes are marked; a selected row keeps its coverage colour.
    void takenTracksAndCoverageOfSelectedRows()
    {
        Day day;
        addTakes(day, 3, {1, 2}, 1);
        QVERIFY(QFile::copy(day.file(QStringLiteral("AA0002_02.WAV")), day.file(QStringLiteral("AA0002_04.WAV"))));   // a copy is enough for the marks
        Window w(true);
        QVERIFY(w.load(&day));
        QComboBox* combo = w.ui->m_CtrlComboBox_TargetTrack;
        auto texts = [combo] {
            return QStringList(
                {combo->itemText(0), combo->itemText(1), combo->itemText(2), combo->itemText(3), combo->itemText(4)})
                .join(QLatin1Char('|'));
        };
        QCOMPARE(texts(), QStringLiteral(" Track 1| Track 2| Track 3| Track 4| Track 5"));
        w.target()->selectRow(0);
        QTRY_COMPARE(texts(), QStringLiteral(" Track 1  (taken)| Track 2  (taken)| Track 3  (next free)| Track 4| Track 5"));
        w.target()->selectAll();
        QTRY_COMPARE(texts(), QStringLiteral(" Track 1  (taken)| Track 2  (taken)| Track 3| Track 4  (taken on 1 of 3)| Track 5  (next free)"));
        QCOMPARE(combo->itemData(3, Qt::ForegroundRole).value<QColor>(), QColor(160, 160, 160));
        w.target()->clearSelection();
        QTRY_COMPARE(combo->itemText(0), QStringLiteral(" Track 1"));

        QPavaneBrowsingTable* table = w.target();
        QVERIFY(w.selectSource(0));
        const QColor entire = CoverageColour(Coverage::EntireTake);
        QCOMPARE(w.colour(0), entire);
        table->selectRow(0);
        QCoreApplication::processEvents();
        const QImage image = table->viewport()->grab().toImage();
        const QRect cell = table->visualRect(table->model()->index(0, 0)), second = table->visualRect(table->model()->index(0, 1));
        QCOMPARE(QColor(image.pixel(cell.left() + 6, cell.top() + 4)), entire);        // inside the frame, off the text
        QVERIFY(QColor(image.pixel(cell.left() + 1, cell.center().y())) != entire);    // the selection frame
        QVERIFY(QColor(image.pixel(second.right() - 3, second.top() + 4)) != entire);  // the rest of the row is selected
        QVERIFY(QColor(image.pixel(cell.left() + 6, table->visualRect(table->model()->index(1, 0)).top() + 4)) != entire);   // not covered
        QStringList words;
        for (QLabel* l : w.ui->m_CtrlLegend_Coverage->findChildren<QLabel*>())
            words << l->text();
        words.removeAll(QString());   // the colour swatches
        QCOMPARE(words, QStringList({"Entire take", "Missing start", "Partial coverage", "Missing end"}));
    }

    // Choosing a source colours the takes it covers and says how many; a broken take stays red; an
    // empty source folder is said and leaves the work on takes off.
    void loadThenAnalyseColoursTheTakes()
    {
        Day day;
        fourTakes(day);
        QVERIFY(fixtures::writeFile(day.file(QStringLiteral("ZZ0001_01.WAV")), "not a sound file"));
        Window w;
        QVERIFY(w.load(&day));
        QPavaneBrowsingTable *target = w.target(), *source = w.ui->m_CtrlTable_Source;
        QCOMPARE(target->rowCount(), 5);
        QCOMPARE(source->CellText(1, BLK_DATA_FILENAME) + source->item(1, 0)->text() + w.SourceTrackNames().join(QLatin1Char(',')), QStringLiteral("SRC_B.wavS 2S 1,S 2"));
        QCOMPARE(w.enabling() + w.ui->m_CtrlLabel_Message->text(), QStringLiteral("111111Select a source file"));
        w.ui->m_CtrlButton_Analyse->click();
        QCOMPARE(w.texts, QStringList{QStringLiteral("Please, first select a source file.")});
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("Source file timecode doesn't match with any target file."));
        QVERIFY(w.selectSource(0));
        QCOMPARE(w.SelectedSourceFile(), QStringLiteral("SRC_A.WAV"));
        QCOMPARE(QList<QColor>({w.colour(0), w.colour(1), w.colour(2), w.colour(3), w.colour(4)}),
                 QList<QColor>({QColor(80, 0, 128), QColor(0, 120, 215), QColor(0, 0, 105), QColor(Qt::transparent), QColor(200, 60, 60)}));
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("1 entire take 1 missing start 1 missing end founded"));
        QVERIFY(!w.IsBusy());
        QVERIFY(w.selectSource(1));
        QCOMPARE(w.colour(0), QColor(Qt::transparent));   // earlier colours cleared
        QCOMPARE(w.colour(3), QColor(105, 0, 0));          // partial coverage
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("1 patial coverage founded"));
        QSignalSpy end(target, SIGNAL(signal_EndOfTableUpdate()));
        w.ui->m_CtrlButton_TrackView->click();   // a rebuild classifies the new rows again
        QVERIFY(ended(end));
        QCOMPARE(w.colour(3), QColor(105, 0, 0));
        QCOMPARE(target->CellText(0, BLK_DATA_TRACK1 + 1), QStringLiteral("Trk2"));
        QFile::remove(day.source + QStringLiteral("/SRC_A.WAV"));   // a source that cannot be read has no timecode
        QVERIFY(w.selectSource(0));
        QCOMPARE(w.texts.last(), QStringLiteral("Error, no timecode founded in this source file."));
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("Source file timecode doesn't match with any target file."));

        Day empty;
        addTakes(empty, 4, {1, 2}, 0);
        Window e;
        QVERIFY(e.load(&empty));
        QCOMPARE(e.texts, QStringList{QStringLiteral("No source file detected in source directory")});
        QCOMPARE(e.icons, QList<int>{int(QMessageBox::Critical)});
        QCOMPARE(e.enabling() + QString::number(e.target()->rowCount()), QStringLiteral("0000004"));
    }

    // Refused without a source or on a taken track; writes the named track from the chosen channel.
    void createWritesTheTrackAndReloads()
    {
        Day day;
        fourTakes(day);
        day.addSource(QStringLiteral("SRC_C.WAV"), 1, 0.1, fixtures::kDayRate, 2);   // the second take exactly
        SaveTrackNameToSnlFile(day.source, QStringLiteral("SRC_A.WAV"), QStringLiteral("Boom Two"));
        Window w;
        QVERIFY(w.load(&day));
        w.ui->m_CtrlButton_CreateSoundTrack->click();
        QCOMPARE(w.texts, QStringList{QStringLiteral("Please, first select a source file.")});
        QCOMPARE(w.lastBox(), QStringLiteral("No file selected in target zone\n Use Analyse to identify the compatible target takes."));
        QVERIFY(w.selectSource(0));
        w.texts.clear();
        w.icons.clear();
        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(1);
        w.target()->selectRow(1);
        const QByteArray before = readFile(day.file(QStringLiteral("AA0002_02.WAV")));
        w.ui->m_CtrlButton_CreateSoundTrack->click();
        const QString from = QStringLiteral("from SRC_A.WAV (track name \"Boom Two\").\n\n");
        QCOMPARE(w.texts, QStringList{plan("created", 2, from, QStringLiteral("AA0002: track 2 is taken, the run stops there"))});
        QCOMPARE(w.lastBox(), QStringLiteral("AA0002\nError during bounce Sonalign process."));
        QCOMPARE(readFile(day.file(QStringLiteral("AA0002_02.WAV"))), before);
        QCOMPARE(fileCount(day), 8);
        QVERIFY(!w.IsBusy());

        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(2);   // " Track 3"
        QSignalSpy end(w.target(), SIGNAL(signal_EndOfTableUpdate()));
        w.ui->m_CtrlButton_CreateSoundTrack->click();
        QCOMPARE(w.texts.mid(1), (QStringList{plan("created", 3, from, QStringLiteral("AA0002: AA0002_03.WAV written, 2 other file(s) rewritten")),
                                              QStringLiteral("End of the sonalign process.")}));
        QCOMPARE(w.icons, (QList<int>{QMessageBox::Question, QMessageBox::Question, QMessageBox::Information}));
        QCOMPARE(QList<int>({fileCount(day), w.ui->m_CtrlProgressBar_Size->value()}), QList<int>({9, 100}));
        QVERIFY(ended(end));   // reloaded: three tracks, no source chosen, the new track verified
        const int row = w.rowOf(QStringLiteral("AA0002"));
        QCOMPARE(w.target()->CellText(row, BLK_DATA_TRACKS) + w.SelectedSourceFile(), QStringLiteral("3"));
        QVERIFY(w.target()->item(row, 0)->toolTip().contains(QStringLiteral("Track 3 against track 1: ")));
        QVERIFY(fixtures::ixmlText(day.file(QStringLiteral("AA0002_03.WAV"))).contains(QStringLiteral("<NAME>Boom Two</NAME>")));

        // A two-channel source shows the channel choice beside the track choice.
        auto* channel = w.findChild<QComboBox*>(QStringLiteral("m_CtrlComboBox_SourceChannel"));
        QVERIFY(channel && channel->isHidden() && channel->parentWidget() == w.ui->m_CtrlComboBox_TargetTrack->parentWidget());
        QVERIFY(w.selectSource(2) && !channel->isHidden());   // SRC_C.WAV
        QCOMPARE(QList<int>({channel->count(), channel->findText(QStringLiteral("Ch 2"))}), QList<int>({2, 1}));
        channel->setCurrentIndex(1);
        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(3);
        w.target()->selectRow(row);
        w.ui->m_CtrlButton_CreateSoundTrack->click();
        QCOMPARE(w.texts.last(), QStringLiteral("End of the sonalign process."));
        const QByteArray both = fixtures::body(readFile(day.source + QStringLiteral("/SRC_C.WAV")), "data");
        QByteArray second;   // the second channel of the 16-bit source
        for (int i = 2; i + 2 <= both.size(); i += 4)
            second += both.mid(i, 2);
        QCOMPARE(fixtures::body(readFile(day.file(QStringLiteral("AA0002_04.WAV"))), "data"), second);
        QVERIFY(channel->isHidden());   // reloaded: no source selected
        QVERIFY(w.selectSource(2) && !channel->isHidden() && w.selectSource(0) && channel->isHidden());   // SRC_A is mono
    }

    // Delete asks, hides and reloads; Restore puts the newest hidden file back, or refuses the whole
    // run when a selected take has the track; the log panel shows, filters and copies what was done.
    void deleteThenRestoreWithTheLogPanel()
    {
        Day day;
        fourTakes(day);
        Window w(true);
        QVERIFY(w.load(&day));
        w.target()->clearSelection();
        w.ui->m_CtrlButton_DeleteSoundTrack->click();
        QCOMPARE(w.texts.size(), 0);
        QCOMPARE(w.lastBox(), QStringLiteral("No file selected in target area."));

        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(1);   // " Track 2"
        w.target()->selectRow(2);
        const QString hidden = day.file(QStringLiteral("AA0003_02.WAV")), del = day.file(QStringLiteral("AA0003_02.DEL1"));
        const QByteArray before = readFile(hidden);
        w.answer = QMessageBox::Cancel;
        w.ui->m_CtrlButton_DeleteSoundTrack->click();
        QCOMPARE(readFile(hidden), before);
        QCOMPARE(fileCount(day), 8);
        w.answer = QMessageBox::Ok;
        QSignalSpy end(w.target(), SIGNAL(signal_EndOfTableUpdate()));
        w.ui->m_CtrlButton_DeleteSoundTrack->click();
        QCOMPARE(w.texts.mid(1), QStringList{plan("hidden", 2, QStringLiteral("by changing original .WAV extention to .DEL<N> extention.\n"
                                                                              "To clean the target area, remove .DEL file using OS Finder/Explorer.\n\n"),
                                                  QStringLiteral("AA0003: AA0003_02.WAV hidden, 1 other file(s) rewritten"))});
        QCOMPARE(w.icons, (QList<int>{QMessageBox::Warning, QMessageBox::Warning}));
        QVERIFY(!QFile::exists(hidden) && QFile::exists(del));
        QVERIFY(ended(end));
        QCOMPARE(w.target()->CellText(w.rowOf(QStringLiteral("AA0003")), BLK_DATA_TRACKS), QStringLiteral("1"));

        w.target()->selectAll();
        w.texts.clear();
        w.ui->m_CtrlAction_RestoreSoundTrack->trigger();
        QCOMPARE(w.texts, QStringList{plan("restored", 2, QStringLiteral("from its newest hidden .DEL file.\n\n"),
                                           QStringLiteral("AA0001: track 2 is taken, nothing will be restored\n"
                                                          "AA0002: track 2 is taken, nothing will be restored\n"
                                                          "AA0003: AA0003_02.DEL1 back as AA0003_02.WAV, 1 other file(s) rewritten\n"
                                                          "AA0004: track 2 is taken, nothing will be restored"))});
        QVERIFY(QFile::exists(del));
        QCOMPARE(w.lastBox(), day.file(QStringLiteral("AA0001_02.WAV\nTrack 2 is occupied: nothing was restored.")));
        w.target()->clearSelection();
        w.target()->selectRow(w.rowOf(QStringLiteral("AA0003")));
        end.clear();
        w.ui->m_CtrlAction_RestoreSoundTrack->trigger();
        QVERIFY(!QFile::exists(del));
        QCOMPARE(readFile(hidden).size(), before.size());
        QCOMPARE(fixtures::body(readFile(hidden), "data"), fixtures::body(before, "data"));
        QVERIFY(ended(end));
        QCOMPARE(w.target()->CellText(w.rowOf(QStringLiteral("AA0003")), BLK_DATA_TRACKS), QStringLiteral("2"));

        w.ui->m_CtrlAction_ShowLog->trigger();
        LogPanel* panel = w.ui->m_CtrlPanel_Log;
        QVERIFY(w.ui->m_CtrlDock_Log->isVisible() && panel->ShownLines().size() >= 4);
        panel->FilterEdit()->setText(QStringLiteral("hide"));
        QCOMPARE(panel->ShownLines().size(), 1);
        panel->FilterEdit()->setText(QStringLiteral("aa0003_02.del1 ->"));   // any case
        panel->CopyShown();
        QCOMPARE(panel->ShownLines().size(), 1);
        QCOMPARE(QApplication::clipboard()->text(), panel->ShownLines().value(0));
        QVERIFY(panel->ShownLines()[0].contains(QStringLiteral("restore --track 2  restore  ") + del + QStringLiteral(" -> ") + hidden + QStringLiteral("  ok")));
    }

    // Verdict marks and tooltips, kept across a Load; the status line; takes that cannot be verified.
    void verifyMarksTheTakes()
    {
        Day day;
        addTakes(day, 0, {}, 1);
        for (int take = 1; take <= 2; ++take) {   // AA0001: the boom 20 ms late; AA0002: in time
            const synth::Mic lav = synth::mic(1.0, {{0, 1}}, 10, 1), boom = synth::mic(1.0, {{take == 1 ? 960.0 : 0.0, 1}}, 10, 2);
            RecorderFileSpec base;
            base.timeReference = quint64(36000 + 10 * take) * 48000;
            QVERIFY(synth::writeTake(day.target, QStringLiteral("AA000%1").arg(take), base, {synth::Track(5, lav), synth::Track(5, boom)}, 3 * 48000));
        }
        Window w;
        QPavaneBrowsingTable* table = w.target();
        QVERIFY(w.load(&day));
        auto* verify = w.findChild<QPushButton*>(QStringLiteral("m_CtrlButton_Verify"));
        QVERIFY(verify && w.findChild<QLabel*>(QStringLiteral("m_CtrlLabel_VerifyLegend"))->text().contains(QStringLiteral("no match")));
        verify->click();
        QCOMPARE(w.texts.value(0), QStringLiteral("No file selected in target zone."));
        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(1);
        table->selectRow(0);
        verify->click();
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("AA0001 track 2: offset +20.0 ms"));
        QVERIFY(!table->item(0, 0)->icon().isNull() && table->item(1, 0)->icon().isNull());   // only the verified take is marked
        QVERIFY(table->item(0, 0)->toolTip().startsWith(QStringLiteral("+20.0 ms\nTrack 2 against track 1: offset\nOffset +20.0 ms (+0.50 frames)\nDrift +0.0 ms")));
        table->selectAll();
        verify->click();
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("Track 2 verified: 1 in sync, 1 offset, 0 drift, 0 no match"));
        QVERIFY(w.load());
        QVERIFY(table->item(0, 0)->toolTip().contains(QStringLiteral("Track 2 against track 1: offset")));
        QVERIFY(table->item(1, 0)->toolTip().contains(QStringLiteral("Track 2 against track 1: in sync")));
        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(2);   // a track the takes do not have: marks removed
        table->selectAll();
        verify->click();
        QCOMPARE(w.texts.last(), QStringLiteral("Not verified:\nAA0001: The take has no track 3.\nAA0002: The take has no track 3."));
        QVERIFY(table->item(0, 0)->icon().isNull());
    }

    // Load puts back byte for byte a take a killed conform run left half-changed. The dialog shows the
    // plan before writing, plans again for another track, leaves unticked takes alone, shows results,
    // saves the report; closing it verifies the written tracks by the audio.
    void loadRecoversAnInterruptedConformThenTheDialogConforms()
    {
        fixtures::Day day;
        day.addSource(QStringLiteral("A_0001.WAV"), 0, 10);
        day.addSource(QStringLiteral("A_0002.WAV"), 10, 10);
        day.addTake(QStringLiteral("AA0001"), 5, 10);    // across both files
        day.addTake(QStringLiteral("AA0002"), 12, 10);   // missing end
        day.addTake(QStringLiteral("AA0003"), 200, 5);   // no source
        const QMap<QString, QByteArray> before = fixtures::sha1Folder(day.target);
        const pid_t pid = ::fork();
        if (pid == 0) {   // killed while it writes AA0001, after its third journal record
            TakeJournal::SetRecordHookForTests([](int n) { if (n == 3) ::raise(SIGKILL); });
            ConformPlan plan = day.plan(3);
            ConformRun().Apply(plan);
            ::_exit(0);
        }
        int status = 0;
        QVERIFY(pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFSIGNALED(status) && TakeJournal::HasJournal(day.target));
        Window w;
        w.SetFolders(day.source, day.target);
        w.OnPushButton_Load();
        QVERIFY(!TakeJournal::HasJournal(day.target));
        QCOMPARE(fixtures::sha1Folder(day.target), before);
        QVERIFY(w.lastBox().contains(QStringLiteral("An earlier run stopped while changing take AA0001")));

        w.findChild<QAction*>(QStringLiteral("m_CtrlAction_Conform"))->trigger();
        auto* d = w.findChild<ConformDialog*>();
        QVERIFY(d && d->isVisible());
        auto row = [d](int r) {   // the texts of a row of the plan
            QStringList texts;
            for (int c = 0; c < ConformDialog::kColCount; ++c)
                texts << (d->Table()->item(r, c) ? d->Table()->item(r, c)->text() : QString());
            return texts.join(QLatin1Char('|'));
        };
        QCOMPARE(row(0), QStringLiteral("AA0001|12A/3|entire|A_0001.WAV [0 … 40000); A_0002.WAV [40000 … 80000)||3|create|planned"));
        QCOMPARE(row(1).section(QLatin1Char('|'), 2, 4), QStringLiteral("missing_end|A_0002.WAV [0 … 64000)|[64000 … 80000)"));
        QCOMPARE(row(2).section(QLatin1Char('|'), 6, 6), QStringLiteral("skip: no source covers this take"));
        QCOMPARE(QList<QColor>({d->Table()->item(0, ConformDialog::kColClass)->background().color(), d->Table()->item(1, ConformDialog::kColClass)->background().color()}),
                 QList<QColor>({QColor(0, 120, 215), QColor(0, 0, 105)}));
        QCOMPARE(d->Table()->item(2, ConformDialog::kColTake)->checkState(), Qt::Unchecked);
        d->TrackRule()->setCurrentIndex(2);   // " Track 2": occupied
        QCOMPARE(row(0).section(QLatin1Char('|'), 6, 6), QStringLiteral("skip: track 2 is occupied"));
        QVERIFY(!d->ApplyButton()->isEnabled());
        QCOMPARE(fixtures::sha1Folder(day.target), before);

        d->TrackRule()->setCurrentIndex(0);
        d->Table()->item(1, ConformDialog::kColTake)->setCheckState(Qt::Unchecked);
        d->NameEdit()->setText(QStringLiteral("Boom"));
        QTest::mouseClick(d->ApplyButton(), Qt::LeftButton);
        QCOMPARE(row(0).section(QLatin1Char('|'), 7, 7) + row(1).section(QLatin1Char('|'), 6, 7), QStringLiteral("writtenskip: left out by the user|skipped"));
        QVERIFY(fixtures::body(readFile(day.file(QStringLiteral("AA0001_03.WAV"))), "iXML").contains("<NAME>Boom</NAME>"));
        const QMap<QString, QByteArray> after = fixtures::sha1Folder(day.target);
        QCOMPARE(after.size(), before.size() + 1);
        for (const QString& n : {QStringLiteral("AA0002_01.WAV"), QStringLiteral("AA0002_02.WAV"), QStringLiteral("AA0003_01.WAV")})
            QCOMPARE(after.value(n), before.value(n));
        const QString report = day.dir.path() + QStringLiteral("/day.csv");
        d->SetSaveDialogHook([&]() { return report; });
        QTest::mouseClick(d->ReportButton(), Qt::LeftButton);
        const QStringList lines = QString::fromUtf8(readFile(report)).split(QStringLiteral("\r\n"));
        QVERIFY(lines.at(1).startsWith(QStringLiteral("AA0001,12A,3,10:00:05:00,3,create,,entire,written,")));
        QVERIFY(lines.at(2).startsWith(QStringLiteral("AA0002,12A,3,10:00:12:00,3,create,left out by the user,missing_end,skipped,")));
        d->close();
        QTRY_VERIFY(w.target()->rowCount() > 0 && w.target()->item(0, 0) && w.target()->item(0, 0)->toolTip().contains(QStringLiteral("Track 3 against track 1: ")));
    }
};

int main(int argc, char* argv[])
{
    ConfigureHighDpiBeforeApplication();
    QApplication app(argc, argv);
    QTEST_DISABLE_KEYPAD_NAVIGATION
    tst_MainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_MainWindow.moc"
