// SPDX-License-Identifier: GPL-3.0-or-later
// The window itself: what it shows at start, its settings file, relay
// messages as non-blocking boxes, typed and dropped folders, track-name edits
// level with their rows, taken tracks and coverage colours on selected rows.

#include "AppTestSupport.h"
#include "QtPlatformLeaks.h"

#include "AppStartup.h"
#include "CoverageColours.h"
#include "MessageLoging.h"
#include "TrackNameFile.h"

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    // Work on takes needs a Load first; the views and Delete do not. The
    // buttons keep their grid cells, and the window fits a laptop screen.
    void startsEmptyAndFitsALaptopScreen()
    {
        apptest::Window w(true);
        Ui_MainWindow* ui = w.ui;
        QCOMPARE(w.windowTitle(), QStringLiteral("Sonalign Version 1.14"));
        QCOMPARE(ui->m_CtrlLabel_Message->text(), QStringLiteral("Load and select a source file"));
        QCOMPARE(ui->m_CtrlComboBox_TargetTrack->count(), 24);
        QCOMPARE(ui->m_CtrlComboBox_TargetTrack->itemText(0) + ui->m_CtrlComboBox_TargetTrack->itemText(23), QStringLiteral(" Track 1 Track 24"));
        QStringList buttons;
        for (QPushButton* b : {ui->m_CtrlButton_Load, ui->m_CtrlButton_Analyse, ui->m_CtrlButton_CleanAll, ui->m_CtrlButton_SceneView,
                               ui->m_CtrlButton_TrackView, ui->m_CtrlButton_CreateSoundTrack, ui->m_CtrlButton_DeleteSoundTrack}) {
            int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
            ui->gridLayout->getItemPosition(ui->gridLayout->indexOf(b), &row, &column, &rowSpan, &columnSpan);
            buttons << QStringLiteral("%1 %2,%3,%4,%5 %6").arg(b->text()).arg(row).arg(column).arg(rowSpan).arg(columnSpan).arg(b->isEnabled());
        }
        QCOMPARE(buttons, QStringList({"Load 0,6,3,1 1", "Analyse 3,1,1,1 0", "Clean Selections 3,2,1,1 0", "Scene View 3,3,1,1 1",
                                       "Track View 3,4,1,1 1", "Create sound track 3,6,1,2 0", "Delete sound track 3,8,1,1 1"}));
        QCOMPARE(ui->m_CtrlLineEdit_S.size(), 22);
        for (QLineEdit* edit : ui->m_CtrlLineEdit_S)
            QVERIFY(!edit->isEnabled());
        // main() of this test sets high DPI up as the program's does.
        QVERIFY(QCoreApplication::testAttribute(Qt::AA_EnableHighDpiScaling) && QCoreApplication::testAttribute(Qt::AA_UseHighDpiPixmaps));
        // 768 less a title bar and a desktop panel; the tables take the height left.
        const QSize minimum = w.minimumSizeHint().expandedTo(w.minimumSize());
        QVERIFY2(minimum.width() <= 1366 && minimum.height() <= 698, qPrintable(QStringLiteral("%1 x %2").arg(minimum.width()).arg(minimum.height())));
        w.resize(1366, 698);
        QCoreApplication::processEvents();
        QCOMPARE(w.size(), QSize(1366, 698));
        QVERIFY(w.target()->height() >= 300 && ui->m_CtrlTable_Source->height() >= 300);
        QCOMPARE(ui->m_CtrlTable_Source->height(), ui->frame->height());
    }

    void savedTrackIndexIsValidated_data()
    {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<int>("expected");   // out of the combo's range or not a number: track 1
        QTest::newRow("in range") << "23" << 23;
        QTest::newRow("24 is past the last item") << "24" << 0;
        QTest::newRow("negative") << "-1" << 0;
        QTest::newRow("not a number") << "abc" << 0;
    }
    void savedTrackIndexIsValidated()
    {
        QFETCH(QString, saved);
        apptest::IsolatedConfig config;
        QSettings(config.ini(), QSettings::IniFormat).setValue(QStringLiteral("LastSetup/TargetTrackIndex"), saved);
        MainWindow w;
        QTEST(w.Ui()->m_CtrlComboBox_TargetTrack->currentIndex(), "expected");
    }

    // A cancelled dialog changes nothing; a choice is saved at once, and the
    // next dialog starts there (or at the current folder when it is gone).
    // Closing writes the whole settings file.
    void folderChoiceAndCloseSaveTheSettings()
    {
        apptest::IsolatedConfig config;
        QTemporaryDir existing;
        QStringList calls;
        QString answer;
        {
            MainWindow w;
            w.SetFolderDialogHook([&](const QString& caption, const QString& start) {
                calls << caption + QStringLiteral(" @ ") + start;
                return answer;
            });
            QPushButton *source = w.Ui()->m_CtrlButton_SourcePath, *target = w.Ui()->m_CtrlButton_TargetPath;
            auto choose = [&answer](QPushButton* button, const QString& folder) { answer = folder; button->click(); };
            choose(source, QString());
            QVERIFY(w.SourceFolder().isEmpty() && !QFile::exists(config.ini()));
            choose(source, existing.path());
            QCOMPARE(w.SourceFolder() + w.Ui()->m_CtrlLineEdit_SourcePath->text(), existing.path() + existing.path());
            QVERIFY(QFile::exists(config.ini()));
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
        QCOMPARE(s.value(QStringLiteral("Date")).toString(), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
        QCOMPARE(s.value(QStringLiteral("Version")).toString() + s.value(QStringLiteral("SysType")).toString(), QStringLiteral("1.14") + QSysInfo::productType());
        QCOMPARE(s.childKeys().size(), 7);
        MainWindow again;
        QCOMPARE(again.SourceFolder() + again.TargetFolder(), existing.path() + QStringLiteral("/gone/target"));
        QCOMPARE(again.Ui()->m_CtrlComboBox_TargetTrack->currentIndex(), 6);
    }

    // Relay messages become non-blocking boxes: at most nine, then "Too many
    // messages"; cascaded 10 pixels; code prefix and icon by kind; timeout;
    // messages from another thread.
    void relayMessagesBecomeBoxes()
    {
        apptest::Window w(true);
        auto send = [](const QString& text, int code = 0, int kind = 1, int timeout = 0) {
            global_pLogger->SendMsg(QStringLiteral("Title"), text, code, kind, true, timeout);
        };
        for (int i = 1; i <= 12; ++i)
            send(QStringLiteral("text %1").arg(i));
        QList<QMessageBox*> boxes = apptest::visibleBoxes(&w);
        QCOMPARE(boxes.size(), 10);
        for (int i = 0; i < 9; ++i)
            QCOMPARE(boxes[i]->windowTitle() + boxes[i]->text() + QString::number(boxes[i]->windowModality()),
                     QStringLiteral("Titletext %1%2").arg(i + 1).arg(int(Qt::ApplicationModal)));
        QCOMPARE(boxes[9]->windowTitle() + QLatin1Char('|') + boxes[9]->text(), QStringLiteral("Error|Too many messages"));
        QCOMPARE(boxes[9]->pos(), boxes[1]->pos() + QPoint(80, 80));
        boxes[0]->close();   // makes room for exactly one more message
        QTRY_COMPARE(w.OpenMessageBoxCount(), 9);
        send(QStringLiteral("after one closed"));
        QCOMPARE(w.OpenMessageBoxCount(), 10);
        QCOMPARE(w.lastBox(), QStringLiteral("Too many messages"));
        for (QMessageBox* b : apptest::visibleBoxes(&w))
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
        QTRY_COMPARE(apptest::visibleBoxes(&w).size(), 6);
        boxes = apptest::visibleBoxes(&w);
        QCOMPARE(boxes[0]->text(), QStringLiteral("Error #5\n") + x);
        QCOMPARE(boxes[1]->pos(), boxes[0]->pos() + QPoint(10, 10));
        QList<int> icons;
        for (QMessageBox* b : boxes)
            icons << int(b->icon());
        QCOMPARE(icons, QList<int>({QMessageBox::Critical, QMessageBox::Critical, QMessageBox::Warning, QMessageBox::Information,
                                    QMessageBox::Information, QMessageBox::Warning}));
        QCOMPARE(boxes[5]->text(), QStringLiteral("from the worker"));
        QCOMPARE(boxes[5]->thread(), w.thread());
        QTRY_COMPARE_WITH_TIMEOUT(apptest::visibleBoxes(&w).size(), 5, 6000);   // the one with a timeout closed itself
        QCOMPARE(w.OpenMessageBoxCount(), 5);
        QCOMPARE(w.lastBox(), QStringLiteral("from the worker"));
    }

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
        QVERIFY(apptest::writeProject(root.path(), 2, 2, 1) && QDir().mkpath(root.path() + QStringLiteral("/other")));
        apptest::Window w;
        w.SetFolders(root.path() + QStringLiteral("/source"), root.path() + QStringLiteral("/other"));   // an empty folder chosen last
        typedTarget.replace(QStringLiteral("%R"), root.path());
        w.ui->m_CtrlLineEdit_TargetPath->setText(typedTarget);
        if (accepted)
            QVERIFY(w.load());
        else
            w.ui->m_CtrlButton_Load->click();
        const QString loaded = root.path() + (accepted ? QStringLiteral("/target") : QStringLiteral("/other"));
        QCOMPARE(w.TargetFolder() + QLatin1Char('|') + w.saved("TargetFolder"), loaded + QLatin1Char('|') + (accepted ? loaded : QString()));
        QCOMPARE(w.target()->rowCount(), accepted ? 2 : 0);
        QCOMPARE(w.texts, accepted ? QStringList() : QStringList{QStringLiteral("The target folder \"%1\" does not exist or is not a folder.\n"
                                                                                "Type or paste the path of an existing folder, or use Browse. Nothing was loaded.").arg(typedTarget)});
        if (accepted)
            QCOMPARE(w.ui->m_CtrlLineEdit_TargetPath->text(), loaded);
        else
            QCOMPARE(w.ui->m_CtrlTable_Source->rowCount(), 0);
    }

    void droppedFolderIsTakenLikeATypedOne()
    {
        QTemporaryDir root;
        QVERIFY(apptest::writeProject(root.path(), 1, 2, 1));
        apptest::Window w;
        QLineEdit* field = w.ui->m_CtrlLineEdit_SourcePath;
        auto drop = [&](const QString& path) {
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(root.path() + path)});
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(field, &enter);
            QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            return enter.isAccepted() && QApplication::sendEvent(field, &dropped) && dropped.isAccepted();
        };
        QVERIFY(!drop(QStringLiteral("/source/R01.WAV")));   // a file is refused at the drag
        QCOMPARE(field->text(), QString());
        QVERIFY(drop(QStringLiteral("/source")));
        QCOMPARE(w.SourceFolder() + QLatin1Char('|') + w.saved("SourceFolder"), root.path() + QStringLiteral("/source|") + root.path() + QStringLiteral("/source"));
        QVERIFY(w.texts.isEmpty());
    }

    // At every scroll position, each edit sits level with its row and shows
    // its name; the edit beside the selected row saves to that row's file.
    void trackNameEditsStayLevelWithTheirRows()
    {
        QTemporaryDir root;
        QVERIFY(apptest::writeProject(root.path(), 40, 1, 30));
        const QString source = root.path() + QStringLiteral("/source");
        for (int i = 1; i <= 30; i += 4)
            SaveTrackNameToSnlFile(source, QStringLiteral("R%1.WAV").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("Name %1").arg(i));
        apptest::Window w(true);
        QVERIFY(w.load(root.path()));
        QCoreApplication::processEvents();
        QPavaneBrowsingTable* table = w.ui->m_CtrlTable_Source;
        QScrollBar* bar = table->verticalScrollBar();
        QVERIFY(bar->isVisible() && w.target()->verticalScrollBar()->isVisible());
        QVERIFY(w.styleSheet().contains(QStringLiteral("QScrollBar::handle:vertical { min-height: 24px; }")));   // themed bars
        const QStringList names = w.SourceTrackNames();
        QCOMPARE(names.size(), 30);
        QCOMPARE(names.mid(0, 2), QStringList({"Name 1", "S 2"}));
        bool sawHalfHiddenTop = false;
        for (int value = bar->minimum(); value <= bar->maximum(); ++value) {
            bar->setValue(value);
            QCoreApplication::processEvents();
            const int top = table->rowAt(0);
            QCOMPARE(w.FirstVisibleSourceRow(), top);
            sawHalfHiddenTop |= table->rowViewportPosition(top) < 0;
            int k = 0;
            for (; k < 22 && top + k < 30 && table->rowViewportPosition(top + k) < table->viewport()->height(); ++k) {
                QLineEdit* edit = w.ui->m_CtrlLineEdit_S[k];
                QCOMPARE(edit->mapToGlobal(QPoint(0, 0)).y(), table->viewport()->mapToGlobal(QPoint(0, table->rowViewportPosition(top + k))).y());
                QCOMPARE(edit->height(), table->rowHeight(top + k));
                QCOMPARE(edit->text(), names.at(top + k));
            }
            QVERIFY(k >= 10);
        }
        QVERIFY(sawHalfHiddenTop);   // the last scroll position leaves the top row half hidden

        const int row = table->rowAt(0) + 3;
        const QString file = table->CellText(row, BLK_DATA_FILENAME);
        QVERIFY(w.selectSource(row));
        auto enabledEdits = [&] {
            QList<int> on;
            for (int k = 0; k < 22; ++k)
                if (w.ui->m_CtrlLineEdit_S[k]->isEnabled())
                    on << k;
            return on;
        };
        QCOMPARE(enabledEdits(), QList<int>{3});
        auto type = [&](const QString& text) {
            w.ui->m_CtrlLineEdit_S[3]->setText(text);
            QMetaObject::invokeMethod(w.ui->m_CtrlLineEdit_S[3], "editingFinished");
            QString stored;
            LoadTrackNameFromSnlFile(source, file, stored);
            return stored;
        };
        QCOMPARE(type(QStringLiteral("Typed here")), QStringLiteral("Typed here"));
        QCOMPARE(w.SourceTrackNames().at(row), QStringLiteral("Typed here"));
        w.slot_SelectedSourceChanged(QStringLiteral("R30.WAV"), 29, 5);   // more than 21 rows below the top: no edit
        QCOMPARE(enabledEdits(), QList<int>());
        // An empty name is stored empty, and the next Load shows the default.
        w.slot_SelectedSourceChanged(file, row, table->rowAt(0));
        QCOMPARE(type(QString()), QString());
        QVERIFY(w.load());
        QCOMPARE(w.SourceTrackNames().at(row), QStringLiteral("S %1").arg(row + 1));
        QCOMPARE(w.FirstVisibleSourceRow(), 0);
        QCOMPARE(w.SelectedSourceFile(), QString());
    }

    // The track choice marks taken tracks for the selected takes; a selected
    // row keeps its coverage colour inside the selection frame.
    void takenTracksAndCoverageOfSelectedRows()
    {
        QTemporaryDir root;
        QVERIFY(apptest::writeProject(root.path(), 3, 2, 1));
        const QString target = root.path() + QStringLiteral("/target");
        QVERIFY(QFile::copy(target + QStringLiteral("/AA0002_02.WAV"), target + QStringLiteral("/AA0002_04.WAV")));   // a copy is enough for the marks
        apptest::Window w(true);
        QVERIFY(w.load(root.path()));
        QComboBox* combo = w.ui->m_CtrlComboBox_TargetTrack;
        auto texts = [&] {
            QStringList l;
            for (int i = 0; i < 5; ++i)
                l << combo->itemText(i);
            return l.join(QLatin1Char('|'));
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
        QVERIFY(!table->verticalScrollBar()->isVisible() && !w.ui->m_CtrlTable_Source->verticalScrollBar()->isVisible());   // few rows
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
            if (!l->text().isEmpty())
                words << l->text();
        QCOMPARE(words, (QStringList{"Entire take", "Missing start", "Partial coverage", "Missing end"}));
        QVERIFY(w.ui->m_CtrlLegend_Coverage->isVisible());
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
