// SPDX-License-Identifier: GPL-3.0-or-later
// The window for a day's use: typed and dropped folders, track-name edits
// level with their rows at every scroll position, scroll bars, a minimum
// size that fits a laptop screen, high-DPI, restore, the action log panel,
// taken tracks in the track choice and coverage kept on selected rows.

#include "AppTestSupport.h"
#include "QtPlatformLeaks.h"
#include "TestSupport.h"

#include "AppStartup.h"
#include "ColumnKinds.h"
#include "CoverageColours.h"
#include "LogPanel.h"
#include "TrackNameFile.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDockWidget>
#include <QMimeData>
#include <QScrollBar>
#include <QtTest>

class tst_WindowMends : public QObject
{
    Q_OBJECT

private slots:
    void typedFolderIsLoadedOrRefused_data()
    {
        QTest::addColumn<QString>("typedTarget");   // %R = project root
        QTest::addColumn<bool>("accepted");
        QTest::newRow("existing folder") << "%R/target" << true;
        QTest::newRow("with dots and a trailing slash") << "%R/source/../target/" << true;
        QTest::newRow("missing folder") << "%R/nowhere" << false;
        QTest::newRow("a file, not a folder") << "%R/target/AA0001_01.WAV" << false;
        QTest::newRow("emptied field") << "" << false;
    }

    void typedFolderIsLoadedOrRefused()
    {
        QFETCH(QString, typedTarget);
        QFETCH(bool, accepted);
        QTemporaryDir root;
        QVERIFY(apptest::writeProject(root.path(), 2, 2, 1));
        QVERIFY(QDir().mkpath(root.path() + QStringLiteral("/other")));
        apptest::Window w;
        Ui_MainWindow* ui = w.ui;
        // The last folder chosen in the dialog is an empty one.
        w.SetFolders(root.path() + QStringLiteral("/source"), root.path() + QStringLiteral("/other"));
        typedTarget.replace(QStringLiteral("%R"), root.path());
        ui->m_CtrlLineEdit_TargetPath->setText(typedTarget);

        if (accepted) {
            QVERIFY(w.load());
            QCOMPARE(w.TargetFolder(), root.path() + QStringLiteral("/target"));
            QCOMPARE(ui->m_CtrlLineEdit_TargetPath->text(), w.TargetFolder());
            QCOMPARE(ui->m_CtrlTable_Target->rowCount(), 2);
            QCOMPARE(QSettings(w.SettingsFilePath(), QSettings::IniFormat).value(QStringLiteral("LastSetup/TargetFolder")).toString(),
                     w.TargetFolder());
            QVERIFY(w.texts.isEmpty());
        } else {
            ui->m_CtrlButton_Load->click();
            QCOMPARE(w.texts, QStringList{QStringLiteral("The target folder \"%1\" does not exist or is not a folder.\n"
                                                             "Type or paste the path of an existing folder, or use Browse. "
                                                             "Nothing was loaded.").arg(typedTarget)});
            QCOMPARE(w.TargetFolder(), root.path() + QStringLiteral("/other"));
            QCOMPARE(ui->m_CtrlTable_Target->rowCount(), 0);
            QCOMPARE(ui->m_CtrlTable_Source->rowCount(), 0);
            QVERIFY(!QFile::exists(w.SettingsFilePath()));
        }
    }

    void droppedFolderIsTakenLikeATypedOne()
    {
        QTemporaryDir root;
        QVERIFY(apptest::writeProject(root.path(), 1, 2, 1));
        apptest::Window w;
        QLineEdit* field = w.ui->m_CtrlLineEdit_SourcePath;
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
        QVERIFY(w.texts.isEmpty());
    }

    void trackNameEditsStayLevelWithTheirRows_data()
    {
        QTest::addColumn<QSize>("windowSize");
        QTest::addColumn<int>("takes");   // the target table's bar shows only when its rows need it
        QTest::newRow("1280 x 750, 40 takes") << QSize(1280, 750) << 40;
        QTest::newRow("laptop, 1366 x 680") << QSize(1366, 680) << 1;
        QTest::newRow("odd height") << QSize(1100, 611) << 1;
    }

    void trackNameEditsStayLevelWithTheirRows()
    {
        QFETCH(QSize, windowSize);
        QFETCH(int, takes);
        QTemporaryDir root;
        QVERIFY(apptest::writeProject(root.path(), takes, 1, 30));
        const QString source = root.path() + QStringLiteral("/source");
        for (int i = 1; i <= 30; i += 4)
            SaveTrackNameToSnlFile(source, QStringLiteral("R%1.WAV").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("Name %1").arg(i));
        apptest::Window w;
        w.resize(windowSize);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.load(root.path()));
        QCoreApplication::processEvents();
        QPavaneBrowsingTable* table = w.ui->m_CtrlTable_Source;
        QScrollBar* bar = table->verticalScrollBar();
        QVERIFY(bar->isVisible());
        QCOMPARE(w.target()->verticalScrollBar()->isVisible(), takes > 1);
        // Themed: the bar takes the window's style sheet, not the platform look.
        QVERIFY(w.styleSheet().contains(QStringLiteral("QScrollBar::handle:vertical { min-height: 24px; }")));
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
                QLineEdit* edit = w.ui->m_CtrlLineEdit_S[k];
                QCOMPARE(edit->mapToGlobal(QPoint(0, 0)).y(), table->viewport()->mapToGlobal(QPoint(0, rowY)).y());
                QCOMPARE(edit->height(), table->rowHeight(row));
                QCOMPARE(edit->text(), names.at(row));
                ++shown;
            }
            QVERIFY(shown >= 10);
        }
        // The last scroll position leaves the top row half hidden.
        QVERIFY(sawHalfHiddenTop);

        // At that position the edit beside a row saves to that row's file.
        const int row = table->rowAt(0) + 3;
        const QString file = table->CellText(row, BLK_DATA_FILENAME);
        QVERIFY(w.selectSource(row));
        QVERIFY(w.ui->m_CtrlLineEdit_S[3]->isEnabled());
        w.ui->m_CtrlLineEdit_S[3]->setText(QStringLiteral("Typed here"));
        QMetaObject::invokeMethod(w.ui->m_CtrlLineEdit_S[3], "editingFinished");
        QString stored;
        LoadTrackNameFromSnlFile(source, file, stored);
        QCOMPARE(stored, QStringLiteral("Typed here"));
        QCOMPARE(w.SourceTrackNames().at(row), QStringLiteral("Typed here"));
        auto enabledEdits = [&] {
            QList<int> on;
            for (int k = 0; k < 22; ++k)
                if (w.ui->m_CtrlLineEdit_S[k]->isEnabled())
                    on << k;
            return on;
        };
        QCOMPARE(enabledEdits(), QList<int>{3});
        // A row more than 21 rows below the first visible row enables no edit.
        w.slot_SelectedSourceChanged(QStringLiteral("R30.WAV"), 29, 5);
        QCOMPARE(enabledEdits(), QList<int>());

        // An empty name is stored empty, and the next Load shows the default.
        w.slot_SelectedSourceChanged(file, row, table->rowAt(0));
        w.ui->m_CtrlLineEdit_S[3]->setText(QString());
        QMetaObject::invokeMethod(w.ui->m_CtrlLineEdit_S[3], "editingFinished");
        LoadTrackNameFromSnlFile(source, file, stored);
        QCOMPARE(stored, QString());
        QVERIFY(w.load());
        QCOMPARE(w.SourceTrackNames().at(row), QStringLiteral("S %1").arg(row + 1));
        QCOMPARE(w.FirstVisibleSourceRow(), 0);
        QCOMPARE(w.SelectedSourceFile(), QString());
    }

    void minimumSizeFitsALaptopScreen()
    {
        apptest::Window w(true);
        // 768 less a title bar (about 30) and a desktop panel (about 40).
        const QSize minimum = w.minimumSizeHint().expandedTo(w.minimumSize());
        QVERIFY2(minimum.width() <= 1366 && minimum.height() <= 698,
                 qPrintable(QStringLiteral("%1 x %2").arg(minimum.width()).arg(minimum.height())));
        w.resize(1366, 698);
        QCoreApplication::processEvents();
        QCOMPARE(w.size(), QSize(1366, 698));
        // The tables take the height that is left.
        QVERIFY(w.target()->height() >= 300);
        QVERIFY(w.ui->m_CtrlTable_Source->height() >= 300);
        QCOMPARE(w.ui->m_CtrlTable_Source->height(), w.ui->frame->height());
    }

    void highDpiIsOnBeforeTheApplication()
    {
        // main() of this test calls ConfigureHighDpiBeforeApplication() as the program's does.
        QVERIFY(QCoreApplication::testAttribute(Qt::AA_EnableHighDpiScaling));
        QVERIFY(QCoreApplication::testAttribute(Qt::AA_UseHighDpiPixmaps));
    }

    void restoreFromTheWindowWithLogPanel()
    {
        QTemporaryDir root;
        QVERIFY(apptest::writeProject(root.path(), 3, 3, 1));
        const QString target = root.path() + QStringLiteral("/target");
        const QByteArray original = testsupport::readAll(target + QStringLiteral("/AA0002_02.WAV"));
        apptest::Window w(true);
        Ui_MainWindow* ui = w.ui;
        QVERIFY(w.load(root.path()));
        ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(1);
        ui->m_CtrlTable_Target->selectRow(1);
        QSignalSpy end(ui->m_CtrlTable_Target, SIGNAL(signal_EndOfTableUpdate()));
        ui->m_CtrlButton_DeleteSoundTrack->click();
        QVERIFY(QFile::exists(target + QStringLiteral("/AA0002_02.DEL1")));
        QVERIFY(apptest::ended(end));

        // Restore the hidden track of AA0002 (AA0003 has no hidden track 2 and its
        // track 2 is there: the run is refused, nothing moves).
        ui->m_CtrlTable_Target->selectAll();
        w.texts.clear();
        ui->m_CtrlAction_RestoreSoundTrack->trigger();
        QCOMPARE(w.texts, QStringList{QStringLiteral("Track 2 will be restored on ALL selected takes of the target area\n"
                                                "from its newest hidden .DEL file.\n\n"
                                                "AA0001: track 2 is taken, nothing will be restored\n"
                                                "AA0002: AA0002_02.DEL1 back as AA0002_02.WAV, 2 other file(s) rewritten\n"
                                                "AA0003: track 2 is taken, nothing will be restored")});
        QVERIFY(QFile::exists(target + QStringLiteral("/AA0002_02.DEL1")));
        QCOMPARE(w.lastBox(), target + QStringLiteral("/AA0001_02.WAV\nTrack 2 is occupied: nothing was restored."));

        ui->m_CtrlTable_Target->clearSelection();
        ui->m_CtrlTable_Target->selectRow(1);
        end.clear();
        ui->m_CtrlAction_RestoreSoundTrack->trigger();
        QVERIFY(!QFile::exists(target + QStringLiteral("/AA0002_02.DEL1")));
        const QByteArray back = testsupport::readAll(target + QStringLiteral("/AA0002_02.WAV"));
        QCOMPARE(back.size(), original.size());
        QCOMPARE(back.right(4800 * 3), original.right(4800 * 3));   // the audio at the end of the file
        QVERIFY(apptest::ended(end));
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

    void takenTracksAreMarked()
    {
        QTemporaryDir root;
        QVERIFY(apptest::writeProject(root.path(), 2, 2, 1));
        const QString target = root.path() + QStringLiteral("/target");
        // AA0002 gets a track 4 (a copy is enough for the marks).
        QVERIFY(QFile::copy(target + QStringLiteral("/AA0002_02.WAV"), target + QStringLiteral("/AA0002_04.WAV")));
        apptest::Window w;
        Ui_MainWindow* ui = w.ui;
        QVERIFY(w.load(root.path()));
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

    void selectedRowsKeepTheirCoverageColour()
    {
        QTemporaryDir root;
        QVERIFY(apptest::writeProject(root.path(), 3, 2, 1));
        apptest::Window w(true);
        Ui_MainWindow* ui = w.ui;
        QVERIFY(w.load(root.path()));
        QPavaneBrowsingTable* target = w.target();
        // Few rows: no scroll bars.
        QVERIFY(!target->verticalScrollBar()->isVisible() && !ui->m_CtrlTable_Source->verticalScrollBar()->isVisible());
        QVERIFY(w.selectSource(0));
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

        QStringList words;
        for (QLabel* l : ui->m_CtrlLegend_Coverage->findChildren<QLabel*>())
            if (!l->text().isEmpty())
                words << l->text();
        QCOMPARE(words, (QStringList{"Entire take", "Missing start", "Partial coverage", "Missing end"}));
        QVERIFY(ui->m_CtrlLegend_Coverage->isVisible());
    }
};

int main(int argc, char* argv[])
{
    ConfigureHighDpiBeforeApplication();
    QApplication app(argc, argv);
    QTEST_DISABLE_KEYPAD_NAVIGATION
    tst_WindowMends test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_WindowMends.moc"
