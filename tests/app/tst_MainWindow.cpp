// SPDX-License-Identifier: GPL-3.0-or-later
// The window at start: widgets, enabling, title, combo; the settings file;
// relay messages as non-blocking boxes.

#include "AppTestSupport.h"
#include "QtPlatformLeaks.h"
#include "MessageLoging.h"

#include <QGroupBox>
#include <QThread>
#include <QtTest>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_Config.reset(new QTemporaryDir);
        apptest::isolateConfig(*m_Config);
    }

    void startsWithTheDocumentedWidgetsAndEnabling()
    {
        MainWindow w;
        Ui_MainWindow* ui = w.Ui();
        QCOMPARE(w.windowTitle(), QStringLiteral("Sonalign Version 1.14"));
        QCOMPARE(w.size(), QSize(1280, 750));
        QCOMPARE(w.SettingsFilePath(), iniPath());
        QCOMPARE(ui->m_CtrlLabel_Message->text(), QStringLiteral("Load and select a source file"));

        QCOMPARE(ui->m_CtrlComboBox_TargetTrack->count(), 24);
        QCOMPARE(ui->m_CtrlComboBox_TargetTrack->itemText(0), QStringLiteral(" Track 1"));
        QCOMPARE(ui->m_CtrlComboBox_TargetTrack->itemText(23), QStringLiteral(" Track 24"));

        // Work on takes needs a Load first; the views and Delete do not.
        QString enabled;
        for (QPushButton* b : {ui->m_CtrlButton_CleanAll, ui->m_CtrlButton_Analyse, ui->m_CtrlButton_CreateSoundTrack,
                               ui->m_CtrlButton_TrackView, ui->m_CtrlButton_SceneView, ui->m_CtrlButton_DeleteSoundTrack,
                               ui->m_CtrlButton_Load})
            enabled += b->isEnabled() ? '1' : '0';
        QCOMPARE(enabled, QStringLiteral("0001111"));
        QCOMPARE(ui->m_CtrlLineEdit_S.size(), 22);
        for (int k = 0; k < 22; ++k)
            QVERIFY(!w.findChild<QLineEdit*>(QStringLiteral("m_CtrlLineEdit_S_%1").arg(k + 1))->isEnabled());
        QCOMPARE(ui->m_CtrlProgressBar_Size->maximum(), 100);
        QCOMPARE(ui->m_CtrlProgressBar_Size->value(), 0);
        QCOMPARE(ui->m_CtrlProgressBar_File->maximumHeight(), 14);
        QCOMPARE(ui->m_CtrlTable_Target->BrowserType(), BROWSER_TAKES);
        QCOMPARE(ui->m_CtrlTable_Source->BrowserType(), BROWSER_RAW_BWF);
        QCOMPARE(ui->m_CtrlTable_Source->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(ui->m_CtrlTable_Target->columnCount(), 38);
        QCOMPARE(w.findChild<QGroupBox*>(QStringLiteral("groupBox"))->title(), QStringLiteral("Folder Path"));
        QCOMPARE(w.findChild<QGroupBox*>(QStringLiteral("groupBox_3"))->minimumSize(), QSize(480, 260));
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("label"))->text(), QStringLiteral("New track name"));
        QCOMPARE(ui->m_CtrlButton_Load->minimumSize(), QSize(78, 82));
    }

    void gridCellsOfTheButtons_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("rowSpan");
        QTest::addColumn<int>("columnSpan");
        QTest::addColumn<QString>("text");
        QTest::newRow("load") << "m_CtrlButton_Load" << 0 << 6 << 3 << 1 << "Load";
        QTest::newRow("analyse") << "m_CtrlButton_Analyse" << 3 << 1 << 1 << 1 << "Analyse";
        QTest::newRow("clean") << "m_CtrlButton_CleanAll" << 3 << 2 << 1 << 1 << "Clean Selections";
        QTest::newRow("scene view") << "m_CtrlButton_SceneView" << 3 << 3 << 1 << 1 << "Scene View";
        QTest::newRow("track view") << "m_CtrlButton_TrackView" << 3 << 4 << 1 << 1 << "Track View";
        QTest::newRow("create") << "m_CtrlButton_CreateSoundTrack" << 3 << 6 << 1 << 2 << "Create sound track";
        QTest::newRow("delete") << "m_CtrlButton_DeleteSoundTrack" << 3 << 8 << 1 << 1 << "Delete sound track";
    }

    void gridCellsOfTheButtons()
    {
        QFETCH(QString, name);
        MainWindow w;
        auto* button = w.findChild<QPushButton*>(name);
        QVERIFY(button);
        QTEST(button->text(), "text");
        QCOMPARE(button->font().pointSize(), 10);
        const int index = w.Ui()->gridLayout->indexOf(button);
        QVERIFY(index >= 0);
        int row, column, rowSpan, columnSpan;
        w.Ui()->gridLayout->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        QTEST(row, "row");
        QTEST(column, "column");
        QTEST(rowSpan, "rowSpan");
        QTEST(columnSpan, "columnSpan");
    }

    void savedTrackIndexIsValidated_data()
    {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<int>("expected");
        QTest::newRow("in range") << "23" << 23;
        QTest::newRow("first") << "0" << 0;
        QTest::newRow("24 is past the last item") << "24" << 0;
        QTest::newRow("negative") << "-1" << 0;
        QTest::newRow("not a number") << "abc" << 0;
        QTest::newRow("absent") << "" << 0;
    }

    void savedTrackIndexIsValidated()
    {
        QFETCH(QString, saved);
        {
            QSettings s(iniPath(), QSettings::IniFormat);
            s.beginGroup(QStringLiteral("LastSetup"));
            s.setValue(QStringLiteral("SourceFolder"), QStringLiteral("/some/source"));
            s.setValue(QStringLiteral("TargetFolder"), QStringLiteral("/some/target"));
            if (!saved.isEmpty())
                s.setValue(QStringLiteral("TargetTrackIndex"), saved);
        }
        MainWindow w;
        QTEST(w.Ui()->m_CtrlComboBox_TargetTrack->currentIndex(), "expected");
        QCOMPARE(w.Ui()->m_CtrlLineEdit_SourcePath->text(), QStringLiteral("/some/source"));
        QCOMPARE(w.Ui()->m_CtrlLineEdit_TargetPath->text(), QStringLiteral("/some/target"));
    }

    void folderChoiceSavesAndCancelChangesNothing()
    {
        QTemporaryDir existing;
        QStringList captions;
        QStringList starts;
        QString answer;
        {
            MainWindow w;
            w.SetFolderDialogHook([&](const QString& caption, const QString& start) {
                captions << caption;
                starts << start;
                return answer;
            });
            answer = QString();   // cancelled
            w.Ui()->m_CtrlButton_SourcePath->click();
            QCOMPARE(w.SourceFolder(), QString());
            QVERIFY(!QFile::exists(iniPath()));

            answer = existing.path();
            w.Ui()->m_CtrlButton_SourcePath->click();
            QCOMPARE(w.SourceFolder(), existing.path());
            QCOMPARE(w.Ui()->m_CtrlLineEdit_SourcePath->text(), existing.path());
            QVERIFY(QFile::exists(iniPath()));

            answer = QStringLiteral("/gone/target");
            w.Ui()->m_CtrlComboBox_TargetTrack->setCurrentIndex(6);
            w.Ui()->m_CtrlButton_TargetPath->click();
            // The next dialog for the source starts at the chosen folder; a
            // folder that no longer exists starts at the current folder.
            answer = existing.path();
            w.Ui()->m_CtrlButton_SourcePath->click();
            answer = QString();
            w.Ui()->m_CtrlButton_TargetPath->click();
            QCOMPARE(w.TargetFolder(), QStringLiteral("/gone/target"));
        }
        QCOMPARE(captions.at(0), QStringLiteral("Select source folder (additional tracks)"));
        QCOMPARE(captions.at(2), QStringLiteral("Select target folder (master takes)"));
        QCOMPARE(starts.at(0), QDir::currentPath());
        QCOMPARE(starts.at(3), existing.path());
        QCOMPARE(starts.at(4), QDir::currentPath());

        MainWindow again;
        QCOMPARE(again.SourceFolder(), existing.path());
        QCOMPARE(again.TargetFolder(), QStringLiteral("/gone/target"));
        QCOMPARE(again.Ui()->m_CtrlComboBox_TargetTrack->currentIndex(), 6);
    }

    void closeWritesTheSettingsFile()
    {
        {
            MainWindow w;
            w.show();
            QVERIFY(!QFile::exists(iniPath()));
            QVERIFY(w.close());
        }
        QSettings s(iniPath(), QSettings::IniFormat);
        s.beginGroup(QStringLiteral("LastSetup"));
        QCOMPARE(s.value(QStringLiteral("Date")).toString(), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
        QCOMPARE(s.value(QStringLiteral("Version")).toString(), QStringLiteral("1.14"));
        QCOMPARE(s.value(QStringLiteral("TargetTrackIndex")).toInt(), 0);
        QCOMPARE(s.value(QStringLiteral("SysType")).toString(), QSysInfo::productType());
        QCOMPARE(s.childKeys().size(), 7);
    }

    // Relay messages become non-blocking boxes: limit, cascade, prefix, icons,
    // timeout, and messages sent from another thread.
    void twelveMessagesGiveNineBoxesThenTooManyThenNothing()
    {
        MainWindow w;
        w.show();
        QVERIFY(global_pLogger);
        for (int i = 1; i <= 12; ++i)
            global_pLogger->SendMsg(QStringLiteral("Title %1").arg(i), QStringLiteral("text %1").arg(i), 0, 1, true, 0);
        QList<QMessageBox*> boxes = apptest::visibleBoxes(&w);
        QCOMPARE(boxes.size(), 10);
        for (int i = 0; i < 9; ++i) {
            QCOMPARE(boxes[i]->windowTitle(), QStringLiteral("Title %1").arg(i + 1));
            QCOMPARE(boxes[i]->text(), QStringLiteral("text %1").arg(i + 1));
            QCOMPARE(boxes[i]->windowModality(), Qt::ApplicationModal);
        }
        QCOMPARE(boxes[9]->windowTitle(), QStringLiteral("Error"));
        QCOMPARE(boxes[9]->text(), QStringLiteral("Too many messages"));
        // Each box after the first is moved 10 pixels right and down.
        QCOMPARE(boxes[2]->pos(), boxes[1]->pos() + QPoint(10, 10));
        QCOMPARE(boxes[9]->pos(), boxes[1]->pos() + QPoint(80, 80));

        // Closing one box makes room for exactly one more message.
        boxes[0]->close();
        QTRY_COMPARE(w.OpenMessageBoxCount(), 9);
        global_pLogger->SendMsg(QStringLiteral("T"), QStringLiteral("after one closed"), 0, 1, true, 0);
        boxes = apptest::visibleBoxes(&w);
        QCOMPARE(boxes.last()->text(), QStringLiteral("Too many messages"));
        QCOMPARE(w.OpenMessageBoxCount(), 10);

        for (QMessageBox* b : apptest::visibleBoxes(&w))
            b->close();
        QTRY_COMPARE(w.OpenMessageBoxCount(), 0);

        // Counting starts again; the first box is at its default place again and
        // the cascade restarts from it.
        global_pLogger->SendMsg(QStringLiteral("A"), QStringLiteral("first again"), 0, 1, true, 0);
        global_pLogger->SendMsg(QStringLiteral("B"), QStringLiteral("second again"), 0, 1, true, 0);
        boxes = apptest::visibleBoxes(&w);
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes[0]->text(), QStringLiteral("first again"));
        QCOMPARE(boxes[1]->pos(), boxes[0]->pos() + QPoint(10, 10));
    }

    void textAndIconFollowCodeAndKind_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("icon");
        const QString x = QStringLiteral("cannot open\n/x/AA.WAV");
        QTest::newRow("code 5 prefixes the text") << 5 << 1 << "Error #5\n" + x << int(QMessageBox::Critical);
        QTest::newRow("0 critical") << 0 << 0 << x << int(QMessageBox::Critical);
        QTest::newRow("2 warning") << 0 << 2 << x << int(QMessageBox::Warning);
        QTest::newRow("3 information") << 0 << 3 << x << int(QMessageBox::Information);
        QTest::newRow("7 information") << 0 << 7 << x << int(QMessageBox::Information);
    }

    void textAndIconFollowCodeAndKind()
    {
        QFETCH(int, code);
        QFETCH(int, kind);
        MainWindow w;
        global_pLogger->SendMsg(QStringLiteral("QSoundFile::Open()"), QStringLiteral("cannot open\n/x/AA.WAV"), code, kind, true, 0);
        const QList<QMessageBox*> boxes = apptest::visibleBoxes(&w);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0]->windowTitle(), QStringLiteral("QSoundFile::Open()"));
        QTEST(boxes[0]->text(), "text");
        QTEST(int(boxes[0]->icon()), "icon");
    }

    void timeoutClosesTheBox()
    {
        MainWindow w;
        global_pLogger->SendMsg(QStringLiteral("t"), QStringLiteral("stays"), 0, 1, true, 0);
        global_pLogger->SendMsg(QStringLiteral("t"), QStringLiteral("goes"), 0, 1, true, 150);
        QCOMPARE(w.OpenMessageBoxCount(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(w.OpenMessageBoxCount(), 1, 3000);
        const QList<QMessageBox*> boxes = apptest::visibleBoxes(&w);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0]->text(), QStringLiteral("stays"));
    }

    void messageFromAnotherThreadBecomesABoxOnTheGuiThread()
    {
        MainWindow w;
        QThread* sender = QThread::create([]() {
            SendToRelay(QStringLiteral("BuildTableThread"), QStringLiteral("from the worker"), 0, 2, true, 0);
        });
        sender->start();
        QVERIFY(sender->wait(5000));
        delete sender;
        QTRY_COMPARE(apptest::visibleBoxes(&w).size(), 1);
        const QList<QMessageBox*> boxes = apptest::visibleBoxes(&w);
        QCOMPARE(boxes[0]->text(), QStringLiteral("from the worker"));
        QCOMPARE(boxes[0]->icon(), QMessageBox::Warning);
        QCOMPARE(boxes[0]->thread(), w.thread());
    }

private:
    QString iniPath() const { return m_Config->path() + QStringLiteral("/AudioSonalign.ini"); }
    std::unique_ptr<QTemporaryDir> m_Config;
};

QTEST_MAIN(tst_MainWindow)
#include "tst_MainWindow.moc"
