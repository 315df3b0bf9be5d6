// SPDX-License-Identifier: GPL-3.0-or-later
// The window for a day's use: typed and dropped folders, track-name edits
// level with their rows at every scroll position, scroll bars, a minimum
// size that fits a laptop screen, high-DPI, restore, the action log panel,
// taken tracks in the track choice and coverage kept on selected rows.

#include "AppTestSupport.h"
#include "QtPlatformLeaks.h"
#include "TestSupport.h"

#include "ActionLog.h"
#include "AppStartup.h"
#include "BrowserStyle.h"
#include "ColumnKinds.h"
#include "CoverageColours.h"
#include "LogPanel.h"
#include "MainWindow.h"
#include "MainWindowUi.h"
#include "QPavaneBrowsingTable.h"
#include "TrackNameFile.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QtTest>

using apptest::kTen;

class tst_WindowMends : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_Config.reset(new QTemporaryDir);
        apptest::isolateConfig(*m_Config);
        qputenv("XDG_DATA_HOME", (m_Config->path() + QStringLiteral("/data")).toUtf8());
    }

    void typedFolderIsLoadedOrRefused_data();
    void typedFolderIsLoadedOrRefused();
    void droppedFolderIsTakenLikeATypedOne();
    void trackNameEditsStayLevelWithTheirRows_data();
    void trackNameEditsStayLevelWithTheirRows();
    void scrollBarsOnlyWhenNeeded_data();
    void scrollBarsOnlyWhenNeeded();
    void minimumSizeFitsALaptopScreen();
    void highDpiIsOnBeforeTheApplication();
    void restoreFromTheWindowWithLogPanel();
    void takenTracksAreMarked();
    void selectedRowsKeepTheirCoverageColour();

private:
    std::unique_ptr<QTemporaryDir> m_Config;
};

void tst_WindowMends::typedFolderIsLoadedOrRefused_data()
{
    QTest::addColumn<QString>("typedTarget");   // %R = project root
    QTest::addColumn<bool>("accepted");
    QTest::newRow("existing folder") << "%R/target" << true;
    QTest::newRow("with dots and a trailing slash") << "%R/source/../target/" << true;
    QTest::newRow("missing folder") << "%R/nowhere" << false;
    QTest::newRow("a file, not a folder") << "%R/target/AA0001_01.WAV" << false;
    QTest::newRow("emptied field") << "" << false;
}

void tst_WindowMends::typedFolderIsLoadedOrRefused()
{
    QFETCH(QString, typedTarget);
    QFETCH(bool, accepted);
    QTemporaryDir root;
    QVERIFY(apptest::writeProject(root.path(), 2, 2, 1));
    QVERIFY(QDir().mkpath(root.path() + QStringLiteral("/other")));
    MainWindow w;
    apptest::ModalLog modal;
    modal.attach(w);
    Ui_MainWindow* ui = w.Ui();
    // The last folder chosen in the dialog is an empty one.
    w.SetFolders(root.path() + QStringLiteral("/source"), root.path() + QStringLiteral("/other"));
    typedTarget.replace(QStringLiteral("%R"), root.path());
    ui->m_CtrlLineEdit_TargetPath->setText(typedTarget);

    if (accepted) {
        QVERIFY(apptest::loadAndWait(w, ui));
        QCOMPARE(w.TargetFolder(), root.path() + QStringLiteral("/target"));
        QCOMPARE(ui->m_CtrlLineEdit_TargetPath->text(), w.TargetFolder());
        QCOMPARE(ui->m_CtrlTable_Target->rowCount(), 2);
        QCOMPARE(QSettings(w.SettingsFilePath(), QSettings::IniFormat).value(QStringLiteral("LastSetup/TargetFolder")).toString(),
                 w.TargetFolder());
        QVERIFY(modal.texts.isEmpty());
    } else {
        ui->m_CtrlButton_Load->click();
        QCOMPARE(modal.texts, QStringList{QStringLiteral("The target folder \"%1\" does not exist or is not a folder.\n"
                                                         "Type or paste the path of an existing folder, or use Browse. "
                                                         "Nothing was loaded.").arg(typedTarget)});
        QCOMPARE(w.TargetFolder(), root.path() + QStringLiteral("/other"));
        QCOMPARE(ui->m_CtrlTable_Target->rowCount(), 0);
        QCOMPARE(ui->m_CtrlTable_Source->rowCount(), 0);
        QVERIFY(!QFile::exists(w.SettingsFilePath()));
    }
}

void tst_WindowMends::droppedFolderIsTakenLikeATypedOne()
{
    QTemporaryDir root;
    QVERIFY(apptest::writeProject(root.path(), 1, 2, 1));
    MainWindow w;
    apptest::ModalLog modal;
    modal.attach(w);
    QLineEdit* field = w.Ui()->m_CtrlLineEdit_SourcePath;
    auto drop = [&](const QString& path) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(field, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropEvent(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(field, &dropEvent);
        return dropEvent.isAccepted();
    };
    QVERIFY(!drop(root.path() + QStringLiteral("/source/R01.WAV")));   // a file is refused at the drag
    QCOMPARE(field->text(), QString());
    QVERIFY(drop(root.path() + QStringLiteral("/source")));
    QCOMPARE(w.SourceFolder(), root.path() + QStringLiteral("/source"));
    QCOMPARE(QSettings(w.SettingsFilePath(), QSettings::IniFormat).value(QStringLiteral("LastSetup/SourceFolder")).toString(),
             root.path() + QStringLiteral("/source"));
    QVERIFY(modal.texts.isEmpty());
}

void tst_WindowMends::trackNameEditsStayLevelWithTheirRows_data()
{
    QTest::addColumn<QSize>("windowSize");
    QTest::newRow("1280 x 750") << QSize(1280, 750);
    QTest::newRow("laptop, 1366 x 680") << QSize(1366, 680);
    QTest::newRow("odd height") << QSize(1100, 611);
}

void tst_WindowMends::trackNameEditsStayLevelWithTheirRows()
{
    QFETCH(QSize, windowSize);
    QTemporaryDir root;
    QVERIFY(apptest::writeProject(root.path(), 1, 1, 30));
    for (int i = 1; i <= 30; i += 4)
        SaveTrackNameToSnlFile(root.path() + QStringLiteral("/source"), QStringLiteral("R%1.WAV").arg(i, 2, 10, QLatin1Char('0')),
                               QStringLiteral("Name %1").arg(i));
    MainWindow w;
    apptest::ModalLog modal;
    modal.attach(w);
    w.resize(windowSize);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.SetFolders(root.path() + QStringLiteral("/source"), root.path() + QStringLiteral("/target"));
    Ui_MainWindow* ui = w.Ui();
    QVERIFY(apptest::loadAndWait(w, ui));
    QPavaneBrowsingTable* table = ui->m_CtrlTable_Source;
    QScrollBar* bar = table->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    const QStringList names = w.SourceTrackNames();
    QCOMPARE(names.size(), 30);

    bool sawHalfHiddenTop = false;
    for (int value = bar->minimum(); value <= bar->maximum(); ++value) {
        bar->setValue(value);
        QCoreApplication::processEvents();
        const int top = table->rowAt(0);
        QCOMPARE(w.FirstVisibleSourceRow(), top);
        sawHalfHiddenTop |= table->rowViewportPosition(top) < 0;
        int shown = 0;
        for (int k = 0; k < 22 && top + k < 30; ++k) {
            const int row = top + k;
            const int rowY = table->rowViewportPosition(row);
            if (rowY >= table->viewport()->height())
                break;
            QLineEdit* edit = ui->m_CtrlLineEdit_S[k];
            const QPoint rowTop = table->viewport()->mapToGlobal(QPoint(0, rowY));
            QCOMPARE(edit->mapToGlobal(QPoint(0, 0)).y(), rowTop.y());
            QCOMPARE(edit->height(), table->rowHeight(row));
            QCOMPARE(edit->text(), names.at(row));
            ++shown;
        }
        QVERIFY(shown >= 10);
    }
    // The last scroll position leaves the top row half hidden.
    QVERIFY(sawHalfHiddenTop);

    // At that position the edit beside a row saves to that row's file.
    const int top = table->rowAt(0);
    const int row = top + 3;
    const QString file = table->CellText(row, BLK_DATA_FILENAME);
    QSignalSpy selected(table, SIGNAL(signal_SelectedSourceChanged(QString, int, int)));
    table->setCurrentCell(row, 0);
    QVERIFY(selected.wait(2000));
    QVERIFY(ui->m_CtrlLineEdit_S[3]->isEnabled());
    ui->m_CtrlLineEdit_S[3]->setText(QStringLiteral("Typed here"));
    QMetaObject::invokeMethod(ui->m_CtrlLineEdit_S[3], "editingFinished");
    QString stored;
    LoadTrackNameFromSnlFile(root.path() + QStringLiteral("/source"), file, stored);
    QCOMPARE(stored, QStringLiteral("Typed here"));
    QCOMPARE(w.SourceTrackNames().at(row), QStringLiteral("Typed here"));
}

void tst_WindowMends::scrollBarsOnlyWhenNeeded_data()
{
    QTest::addColumn<int>("takes");
    QTest::addColumn<int>("sources");
    QTest::addColumn<bool>("targetBar");
    QTest::addColumn<bool>("sourceBar");
    QTest::newRow("few rows") << 3 << 2 << false << false;
    QTest::newRow("40 takes, 30 sources") << 40 << 30 << true << true;
}

void tst_WindowMends::scrollBarsOnlyWhenNeeded()
{
    QFETCH(int, takes);
    QFETCH(int, sources);
    QTemporaryDir root;
    QVERIFY(apptest::writeProject(root.path(), takes, 1, sources));
    MainWindow w;
    apptest::ModalLog modal;
    modal.attach(w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.SetFolders(root.path() + QStringLiteral("/source"), root.path() + QStringLiteral("/target"));
    QVERIFY(apptest::loadAndWait(w, w.Ui()));
    QCoreApplication::processEvents();
    QTEST(w.Ui()->m_CtrlTable_Target->verticalScrollBar()->isVisible(), "targetBar");
    QTEST(w.Ui()->m_CtrlTable_Source->verticalScrollBar()->isVisible(), "sourceBar");
    // Themed: the bar takes the window's style sheet, not the platform look.
    QVERIFY(w.styleSheet().contains(QStringLiteral("QScrollBar::handle:vertical { min-height: 24px; }")));
}

void tst_WindowMends::minimumSizeFitsALaptopScreen()
{
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // 768 less a title bar (about 30) and a desktop panel (about 40).
    const QSize minimum = w.minimumSizeHint().expandedTo(w.minimumSize());
    QVERIFY2(minimum.width() <= 1366 && minimum.height() <= 698,
             qPrintable(QStringLiteral("%1 x %2").arg(minimum.width()).arg(minimum.height())));
    w.resize(1366, 698);
    QCoreApplication::processEvents();
    QCOMPARE(w.size(), QSize(1366, 698));
    // The tables take the height that is left.
    QVERIFY(w.Ui()->m_CtrlTable_Target->height() >= 300);
    QVERIFY(w.Ui()->m_CtrlTable_Source->height() >= 300);
    QCOMPARE(w.Ui()->m_CtrlTable_Source->height(), w.Ui()->frame->height());
}

void tst_WindowMends::highDpiIsOnBeforeTheApplication()
{
    // main() of this test calls ConfigureHighDpiBeforeApplication() as the program's does.
    QVERIFY(QCoreApplication::testAttribute(Qt::AA_EnableHighDpiScaling));
    QVERIFY(QCoreApplication::testAttribute(Qt::AA_UseHighDpiPixmaps));
}

void tst_WindowMends::restoreFromTheWindowWithLogPanel()
{
    QTemporaryDir root;
    QVERIFY(apptest::writeProject(root.path(), 3, 3, 1));
    const QString target = root.path() + QStringLiteral("/target");
    const QByteArray original = testsupport::readAll(target + QStringLiteral("/AA0002_02.WAV"));
    MainWindow w;
    apptest::ModalLog modal;
    modal.attach(w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Ui_MainWindow* ui = w.Ui();
    w.SetFolders(root.path() + QStringLiteral("/source"), target);
    QVERIFY(apptest::loadAndWait(w, ui));
    ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(1);
    ui->m_CtrlTable_Target->selectRow(1);
    QSignalSpy end(ui->m_CtrlTable_Target, SIGNAL(signal_EndOfTableUpdate()));
    ui->m_CtrlButton_DeleteSoundTrack->click();
    QVERIFY(QFile::exists(target + QStringLiteral("/AA0002_02.DEL1")));
    QVERIFY(end.count() > 0 || end.wait(20000));

    // Restore the hidden track of AA0002 (AA0003 has no hidden track 2 and its
    // track 2 is there: the run is refused, nothing moves).
    ui->m_CtrlTable_Target->selectAll();
    modal.texts.clear();
    ui->m_CtrlAction_RestoreSoundTrack->trigger();
    QCOMPARE(modal.texts.size(), 1);
    QCOMPARE(modal.texts[0], QStringLiteral("Track 2 will be restored on ALL selected takes of the target area\n"
                                            "from its newest hidden .DEL file.\n\n"
                                            "AA0001: track 2 is taken, nothing will be restored\n"
                                            "AA0002: AA0002_02.DEL1 back as AA0002_02.WAV, 2 other file(s) rewritten\n"
                                            "AA0003: track 2 is taken, nothing will be restored"));
    QVERIFY(QFile::exists(target + QStringLiteral("/AA0002_02.DEL1")));
    QCOMPARE(apptest::visibleBoxes(&w).last()->text(),
             target + QStringLiteral("/AA0001_02.WAV\nTrack 2 is occupied: nothing was restored."));

    ui->m_CtrlTable_Target->clearSelection();
    ui->m_CtrlTable_Target->selectRow(1);
    end.clear();
    ui->m_CtrlAction_RestoreSoundTrack->trigger();
    QVERIFY(!QFile::exists(target + QStringLiteral("/AA0002_02.DEL1")));
    const QByteArray back = testsupport::readAll(target + QStringLiteral("/AA0002_02.WAV"));
    QCOMPARE(back.size(), original.size());
    QCOMPARE(back.right(4800 * 3), original.right(4800 * 3));   // the audio at the end of the file
    QVERIFY(end.count() > 0 || end.wait(20000));
    QCOMPARE(ui->m_CtrlTable_Target->CellText(1, BLK_DATA_TRACKS), QStringLiteral("3"));

    // The log panel shows what was done, filters and copies.
    ui->m_CtrlAction_ShowLog->trigger();
    QVERIFY(ui->m_CtrlDock_Log->isVisible());
    LogPanel* panel = ui->m_CtrlPanel_Log;
    QVERIFY(panel->ShownLines().size() >= 6);
    panel->FilterEdit()->setText(QStringLiteral("aa0002_02.del1 ->"));   // any case
    QCOMPARE(panel->ShownLines().size(), 1);
    QVERIFY(panel->ShownLines()[0].contains(QStringLiteral("restore --track 2  restore  ") + target
                                            + QStringLiteral("/AA0002_02.DEL1 -> ") + target + QStringLiteral("/AA0002_02.WAV  ok")));
    panel->CopyShown();
    QCOMPARE(QApplication::clipboard()->text(), panel->ShownLines()[0]);
    panel->FilterEdit()->setText(QStringLiteral("hide"));
    QCOMPARE(panel->ShownLines().size(), 1);
}

void tst_WindowMends::takenTracksAreMarked()
{
    QTemporaryDir root;
    QVERIFY(apptest::writeProject(root.path(), 2, 2, 1));
    const QString target = root.path() + QStringLiteral("/target");
    // AA0002 gets a track 4 (a copy is enough for the marks).
    QVERIFY(QFile::copy(target + QStringLiteral("/AA0002_02.WAV"), target + QStringLiteral("/AA0002_04.WAV")));
    MainWindow w;
    apptest::ModalLog modal;
    modal.attach(w);
    Ui_MainWindow* ui = w.Ui();
    w.SetFolders(root.path() + QStringLiteral("/source"), target);
    QVERIFY(apptest::loadAndWait(w, ui));
    QComboBox* combo = ui->m_CtrlComboBox_TargetTrack;
    auto texts = [&]() {
        QStringList l;
        for (int i = 0; i < 5; ++i)
            l << combo->itemText(i);
        return l;
    };
    QCOMPARE(texts(), (QStringList{" Track 1", " Track 2", " Track 3", " Track 4", " Track 5"}));

    ui->m_CtrlTable_Target->selectRow(0);
    QTRY_COMPARE(texts(), (QStringList{" Track 1  (taken)", " Track 2  (taken)", " Track 3  (next free)", " Track 4", " Track 5"}));
    ui->m_CtrlTable_Target->selectAll();
    QTRY_COMPARE(texts(), (QStringList{" Track 1  (taken)", " Track 2  (taken)", " Track 3", " Track 4  (taken on 1 of 2)",
                                       " Track 5  (next free)"}));
    QCOMPARE(combo->itemData(3, Qt::ForegroundRole).value<QColor>(), QColor(160, 160, 160));
    ui->m_CtrlTable_Target->clearSelection();
    QTRY_COMPARE(combo->itemText(0), QStringLiteral(" Track 1"));
}

void tst_WindowMends::selectedRowsKeepTheirCoverageColour()
{
    QTemporaryDir root;
    QVERIFY(apptest::writeProject(root.path(), 3, 2, 1));
    MainWindow w;
    apptest::ModalLog modal;
    modal.attach(w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Ui_MainWindow* ui = w.Ui();
    w.SetFolders(root.path() + QStringLiteral("/source"), root.path() + QStringLiteral("/target"));
    QVERIFY(apptest::loadAndWait(w, ui));
    QPavaneBrowsingTable* target = ui->m_CtrlTable_Target;
    QSignalSpy selected(ui->m_CtrlTable_Source, SIGNAL(signal_SelectedSourceChanged(QString, int, int)));
    ui->m_CtrlTable_Source->setCurrentCell(0, 0);
    QVERIFY(selected.wait(2000));
    const QColor entire = CoverageColour(Coverage::EntireTake);
    QCOMPARE(target->item(0, 0)->background().color(), entire);

    target->selectRow(0);
    QCoreApplication::processEvents();
    const QImage image = target->viewport()->grab().toImage();
    const QRect cell = target->visualRect(target->model()->index(0, 0));
    const QRect second = target->visualRect(target->model()->index(0, 1));
    QCOMPARE(QColor(image.pixel(cell.left() + 6, cell.top() + 4)), entire);       // inside the frame, off the text
    QVERIFY(QColor(image.pixel(cell.left() + 1, cell.center().y())) != entire);   // the selection frame
    QVERIFY(QColor(image.pixel(second.right() - 3, second.top() + 4)) != entire); // the rest of the row is selected
    // A row that is not selected and not covered keeps the table colours.
    QVERIFY(QColor(image.pixel(cell.left() + 6, target->visualRect(target->model()->index(1, 0)).top() + 4)) != entire);

    const QList<QLabel*> legend = ui->m_CtrlLegend_Coverage->findChildren<QLabel*>();
    QStringList words;
    for (QLabel* l : legend)
        if (!l->text().isEmpty())
            words << l->text();
    QCOMPARE(words, (QStringList{"Entire take", "Missing start", "Partial coverage", "Missing end"}));
    QVERIFY(ui->m_CtrlLegend_Coverage->isVisible());
}

int main(int argc, char* argv[])
{
    ConfigureHighDpiBeforeApplication();
    QApplication app(argc, argv);
    QTEST_DISABLE_KEYPAD_NAVIGATION
    tst_WindowMends test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_WindowMends.moc"
