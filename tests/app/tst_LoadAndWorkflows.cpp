// SPDX-License-Identifier: GPL-3.0-or-later
// The window's work on a day: Load and the analysis colours, Create, Delete,
// Restore with the log panel, Verify, and the conform dialog with Load putting
// back a take an interrupted run left half-changed.

#include "../analysis/SyntheticSignal.h"
#include "../insertion/ConformFixtures.h"
#include "AppTestSupport.h"
#include "QtPlatformLeaks.h"

#include "ConformApply.h"
#include "ConformDialog.h"
#include "LogPanel.h"
#include "QSoundFile.h"
#include "TakeJournal.h"
#include "TrackNameFile.h"

#include <sys/wait.h>
#include <unistd.h>

using apptest::kTen;
using apptest::Window;

namespace {

// Takes AA0001..4 of 0.1 s at 10:00:00, :01, :02 and :03 with two tracks
// each; source A covers the first take from its middle, the second whole and
// the third up to its middle; source B (a lower-case suffix) lies inside the fourth.
struct Project
{
    QTemporaryDir dir;
    QString root() const { return dir.path(); }
    QString target(const QString& file) const { return dir.path() + QStringLiteral("/target/") + file; }
    QString source(const char* file = "") const { return dir.path() + QStringLiteral("/source") + (*file ? QStringLiteral("/") + QLatin1String(file) : QString()); }
    bool make(bool withSources = true)
    {
        return apptest::writeProject(root(), 4, 2, 0)
               && (!withSources || (RecorderFileWriter::write(source("SRC_A.WAV"), apptest::sourceSpec(kTen + 2400, 96000))
                                    && RecorderFileWriter::write(source("SRC_B.wav"), apptest::sourceSpec(kTen + 3 * 48000 + 1000, 2000))));
    }
    int files() const { return QDir(dir.path() + QStringLiteral("/target")).entryList(QDir::Files).size(); }
};

QString enabling(Ui_MainWindow* ui)
{
    QString on;
    for (QPushButton* b : {ui->m_CtrlButton_CleanAll, ui->m_CtrlButton_TrackView, ui->m_CtrlButton_SceneView, ui->m_CtrlButton_Analyse,
                           ui->m_CtrlButton_CreateSoundTrack, ui->m_CtrlButton_DeleteSoundTrack})
        on += b->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    return on;
}

QString plan(const char* verb, int track, const QString& extra, const QString& lines)
{
    return QStringLiteral("Track %1 will be %2 on ALL selected takes of the target area\n").arg(track).arg(QLatin1String(verb)) + extra + lines;
}

} // namespace

class tst_LoadAndWorkflows : public QObject
{
    Q_OBJECT

private slots:
    void loadThenAnalyseColoursTheTakes()
    {
        Project p;
        QVERIFY(p.make());
        QVERIFY(fixtures::writeFile(p.target(QStringLiteral("ZZ0001_01.WAV")), "not a sound file"));
        Window w;
        QVERIFY(w.load(p.root()));
        QPavaneBrowsingTable* target = w.target();
        QPavaneBrowsingTable* source = w.ui->m_CtrlTable_Source;
        QCOMPARE(target->rowCount(), 5);
        QCOMPARE(w.SourceTrackNames(), (QStringList{QStringLiteral("S 1"), QStringLiteral("S 2")}));
        QCOMPARE(source->CellText(1, BLK_DATA_FILENAME) + source->item(1, 0)->text(), QStringLiteral("SRC_B.wavS 2"));
        QCOMPARE(w.ui->m_CtrlLineEdit_S[1]->text() + w.ui->m_CtrlLineEdit_S[2]->text(), QStringLiteral("S 2"));
        QCOMPARE(enabling(w.ui), QStringLiteral("111111"));
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("Select a source file"));
        // Clean Selections clears the target selection only.
        target->selectRow(1);
        source->selectRow(0);
        w.ui->m_CtrlButton_CleanAll->click();
        QCOMPARE(target->selectionModel()->selectedRows().size() * 10 + source->selectionModel()->selectedRows().size(), 1);

        w.ui->m_CtrlButton_Analyse->click();
        QCOMPARE(w.texts, QStringList{QStringLiteral("Please, first select a source file.")});
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("Source file timecode doesn't match with any target file."));
        QVERIFY(w.selectSource(0));
        QCOMPARE(w.SelectedSourceFile(), QStringLiteral("SRC_A.WAV"));
        QCOMPARE(QList<QColor>({w.colour(0), w.colour(1), w.colour(2), w.colour(3), w.colour(4)}),
                 QList<QColor>({QColor(80, 0, 128), QColor(0, 120, 215), QColor(0, 0, 105), QColor(Qt::transparent), QColor(200, 60, 60)}));
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("1 entire take 1 missing start 1 missing end founded"));
        QCOMPARE(w.ui->m_CtrlProgressBar_File->maximum() * 10 + w.ui->m_CtrlProgressBar_File->value(), 55);
        QVERIFY(!w.IsBusy());
        QVERIFY(w.selectSource(1));
        QCOMPARE(w.colour(0), QColor(Qt::transparent));   // earlier colours cleared
        QCOMPARE(w.colour(3), QColor(105, 0, 0));          // partial coverage
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("1 patial coverage founded"));
        // A rebuild of the target table classifies the new rows again.
        QSignalSpy end(target, SIGNAL(signal_EndOfTableUpdate()));
        w.ui->m_CtrlButton_TrackView->click();
        QVERIFY(apptest::ended(end));
        QCOMPARE(w.colour(3), QColor(105, 0, 0));
        QCOMPARE(target->CellText(0, BLK_DATA_TRACK1 + 1), QStringLiteral("Trk2"));
        // A source file that cannot be read has no timecode.
        QFile::remove(p.source("SRC_A.WAV"));
        QVERIFY(w.selectSource(0));
        QCOMPARE(w.texts.last(), QStringLiteral("Error, no timecode founded in this source file."));
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("Source file timecode doesn't match with any target file."));

        // An empty source folder: said so, and work on takes stays off.
        Project empty;
        QVERIFY(empty.make(false));
        Window e;
        QVERIFY(e.load(empty.root()));
        QCOMPARE(e.texts, QStringList{QStringLiteral("No source file detected in source directory")});
        QCOMPARE(e.icons, QList<int>{int(QMessageBox::Critical)});
        QCOMPARE(enabling(e.ui), QStringLiteral("000000"));
        QCOMPARE(e.target()->rowCount(), 4);
    }

    // Create is refused without a source or on a taken track, writes the new
    // track from the chosen channel of the source, and reloads.
    void createWritesTheTrackAndReloads()
    {
        Project p;
        QVERIFY(p.make());
        RecorderFileSpec two = apptest::sourceSpec(kTen + 48000, 4800);   // the second take exactly
        two.channels = 2;
        two.audioSeed = 31;
        QVERIFY(RecorderFileWriter::write(p.source("SRC_C.WAV"), two));
        SaveTrackNameToSnlFile(p.source(), QStringLiteral("SRC_A.WAV"), QStringLiteral("Boom Two"));
        Window w;
        QVERIFY(w.load(p.root()));
        w.ui->m_CtrlButton_CreateSoundTrack->click();
        QCOMPARE(w.texts, QStringList{QStringLiteral("Please, first select a source file.")});
        QCOMPARE(w.lastBox(), QStringLiteral("No file selected in target zone\n Use Analyse to identify the compatible target takes."));
        QVERIFY(w.selectSource(0));
        w.texts.clear();
        w.icons.clear();
        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(1);
        w.target()->selectRow(1);
        const QByteArray before = testsupport::readAll(p.target(QStringLiteral("AA0002_02.WAV")));
        w.ui->m_CtrlButton_CreateSoundTrack->click();
        const QString from = QStringLiteral("from SRC_A.WAV (track name \"Boom Two\").\n\n");
        QCOMPARE(w.texts, QStringList{plan("created", 2, from, QStringLiteral("AA0002: track 2 is taken, the run stops there"))});
        QCOMPARE(w.lastBox(), QStringLiteral("AA0002\nError during bounce Sonalign process."));
        QCOMPARE(testsupport::readAll(p.target(QStringLiteral("AA0002_02.WAV"))), before);
        QCOMPARE(p.files(), 8);
        QVERIFY(!w.IsBusy() && w.ui->m_CtrlButton_CreateSoundTrack->isEnabled());

        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(2);   // " Track 3"
        QSignalSpy end(w.target(), SIGNAL(signal_EndOfTableUpdate()));
        w.ui->m_CtrlButton_CreateSoundTrack->click();
        QCOMPARE(w.texts.mid(1), (QStringList{plan("created", 3, from, QStringLiteral("AA0002: AA0002_03.WAV written, 2 other file(s) rewritten")),
                                              QStringLiteral("End of the sonalign process.")}));
        QCOMPARE(w.icons, (QList<int>{QMessageBox::Question, QMessageBox::Question, QMessageBox::Information}));
        QCOMPARE(p.files(), 9);
        QCOMPARE(w.ui->m_CtrlProgressBar_Size->value(), 100);
        QVERIFY(apptest::ended(end));   // reloaded: three tracks, no source chosen, the new track verified
        const int row = w.rowOf(QStringLiteral("AA0002"));
        QCOMPARE(w.target()->CellText(row, BLK_DATA_TRACKS) + w.SelectedSourceFile(), QStringLiteral("3"));
        QVERIFY(w.target()->item(row, 0)->toolTip().contains(QStringLiteral("Track 3 against track 1: ")));
        QSoundFile f;
        QVERIFY(f.Open(p.target(QStringLiteral("AA0002_03.WAV")), 0) && f.ReadChunks(false, false) && f.GetiXMLFileInfos());
        QCOMPARE(f.GetiXMLVeltaTracknames(2), QStringLiteral("Boom Two"));
        QCOMPARE(f.GetTimeReference(), kTen + 48000);
        f.Close();
        QCOMPARE(w.saved("TargetTrackIndex"), QStringLiteral("2"));

        // A two-channel source shows the channel choice beside the track choice.
        auto* channel = w.findChild<QComboBox*>(QStringLiteral("m_CtrlComboBox_SourceChannel"));
        QVERIFY(channel && channel->isHidden() && channel->parentWidget() == w.ui->m_CtrlComboBox_TargetTrack->parentWidget());
        QVERIFY(w.selectSource(2));   // SRC_C.WAV
        QVERIFY(!channel->isHidden());
        QCOMPARE(channel->count() * 100 + channel->findText(QStringLiteral("Ch 2")), 201);
        channel->setCurrentIndex(1);
        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(3);
        w.target()->selectRow(row);
        w.ui->m_CtrlButton_CreateSoundTrack->click();
        QCOMPARE(w.texts.last(), QStringLiteral("End of the sonalign process."));
        QByteArray expected;
        for (quint32 i = 0; i < 4800; ++i) {
            const quint32 v = quint32(RecorderFileSpec::sampleValue(31, i, 1, 24));
            expected.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)).append(char((v >> 16) & 0xFF));
        }
        QVERIFY(testsupport::readAll(p.target(QStringLiteral("AA0002_04.WAV"))).contains(expected));
        QVERIFY(channel->isHidden());   // reloaded: no source selected
        QVERIFY(w.selectSource(2) && !channel->isHidden());
        QVERIFY(w.selectSource(0) && channel->isHidden());   // mono
    }

    // Delete asks, hides and reloads; Restore puts the newest hidden file
    // back, or refuses the whole run when a selected take has the track; the
    // log panel shows, filters and copies what was done.
    void deleteThenRestoreWithTheLogPanel()
    {
        Project p;
        QVERIFY(p.make());
        Window w(true);
        QVERIFY(w.load(p.root()));
        w.target()->clearSelection();
        w.ui->m_CtrlButton_DeleteSoundTrack->click();
        QCOMPARE(w.texts, QStringList());
        QCOMPARE(w.lastBox(), QStringLiteral("No file selected in target area."));

        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(1);   // " Track 2"
        w.target()->selectRow(2);
        const QString hidden = p.target(QStringLiteral("AA0003_02.WAV"));
        const QByteArray before = testsupport::readAll(hidden);
        w.answer = QMessageBox::Cancel;
        w.ui->m_CtrlButton_DeleteSoundTrack->click();
        QCOMPARE(testsupport::readAll(hidden), before);
        QCOMPARE(p.files(), 8);
        w.answer = QMessageBox::Ok;
        w.texts.clear();
        w.icons.clear();
        QSignalSpy end(w.target(), SIGNAL(signal_EndOfTableUpdate()));
        w.ui->m_CtrlButton_DeleteSoundTrack->click();
        const QString planned = plan("hidden", 2, QStringLiteral("by changing original .WAV extention to .DEL<N> extention.\n"
                                                                 "To clean the target area, remove .DEL file using OS Finder/Explorer.\n\n"),
                                     QStringLiteral("AA0003: AA0003_02.WAV hidden, 1 other file(s) rewritten"));
        QCOMPARE(w.texts, QStringList{planned});
        QCOMPARE(w.icons, QList<int>{int(QMessageBox::Warning)});
        QVERIFY(!QFile::exists(hidden) && QFile::exists(p.target(QStringLiteral("AA0003_02.DEL1"))));
        QVERIFY(apptest::ended(end));
        QCOMPARE(w.target()->CellText(w.rowOf(QStringLiteral("AA0003")), BLK_DATA_TRACKS), QStringLiteral("1"));

        w.target()->selectAll();
        w.texts.clear();
        w.ui->m_CtrlAction_RestoreSoundTrack->trigger();
        QCOMPARE(w.texts, QStringList{plan("restored", 2, QStringLiteral("from its newest hidden .DEL file.\n\n"),
                                           QStringLiteral("AA0001: track 2 is taken, nothing will be restored\n"
                                                          "AA0002: track 2 is taken, nothing will be restored\n"
                                                          "AA0003: AA0003_02.DEL1 back as AA0003_02.WAV, 1 other file(s) rewritten\n"
                                                          "AA0004: track 2 is taken, nothing will be restored"))});
        QVERIFY(QFile::exists(p.target(QStringLiteral("AA0003_02.DEL1"))));
        QCOMPARE(w.lastBox(), p.target(QStringLiteral("AA0001_02.WAV\nTrack 2 is occupied: nothing was restored.")));
        w.target()->clearSelection();
        w.target()->selectRow(w.rowOf(QStringLiteral("AA0003")));
        end.clear();
        w.ui->m_CtrlAction_RestoreSoundTrack->trigger();
        QVERIFY(!QFile::exists(p.target(QStringLiteral("AA0003_02.DEL1"))));
        const QByteArray back = testsupport::readAll(hidden);
        QCOMPARE(back.size(), before.size());
        QCOMPARE(back.right(4800 * 3), before.right(4800 * 3));   // the audio at the end of the file
        QVERIFY(apptest::ended(end));
        QCOMPARE(w.target()->CellText(w.rowOf(QStringLiteral("AA0003")), BLK_DATA_TRACKS), QStringLiteral("2"));

        w.ui->m_CtrlAction_ShowLog->trigger();
        QVERIFY(w.ui->m_CtrlDock_Log->isVisible());
        LogPanel* panel = w.ui->m_CtrlPanel_Log;
        QVERIFY(panel->ShownLines().size() >= 4);
        panel->FilterEdit()->setText(QStringLiteral("aa0003_02.del1 ->"));   // any case
        QCOMPARE(panel->ShownLines().size(), 1);
        QVERIFY(panel->ShownLines()[0].contains(QStringLiteral("restore --track 2  restore  ") + p.target(QStringLiteral("AA0003_02.DEL1 -> "))
                                                + hidden + QStringLiteral("  ok")));
        panel->CopyShown();
        QCOMPARE(QApplication::clipboard()->text(), panel->ShownLines()[0]);
        panel->FilterEdit()->setText(QStringLiteral("hide"));
        QCOMPARE(panel->ShownLines().size(), 1);
    }

    // The verdict mark on the take's row, its tooltip, the status line, the
    // marks kept across a Load, and takes that cannot be verified.
    void verifyMarksTheTakes()
    {
        QTemporaryDir dir;
        QVERIFY(apptest::writeProject(dir.path(), 0, 0, 1));
        for (int take = 1; take <= 2; ++take) {   // AA0001: the boom 20 ms late; AA0002: in time
            const synth::Mic lav = synth::mic(1.0, {{0, 1}}, 10, 1), boom = synth::mic(1.0, {{take == 1 ? 960.0 : 0.0, 1}}, 10, 2);
            QVERIFY(synth::writeTake(dir.path() + QStringLiteral("/target"), QStringLiteral("AA000%1").arg(take),
                                     apptest::takeSpec(QStringLiteral("S%1").arg(take), kTen + quint64(take) * 480000, 0),
                                     {synth::Track(5, lav), synth::Track(5, boom)}, 3 * 48000));
        }
        Window w;
        QPavaneBrowsingTable* table = w.target();
        QVERIFY(w.load(dir.path()));
        auto* verify = w.findChild<QPushButton*>(QStringLiteral("m_CtrlButton_Verify"));
        QVERIFY(verify && w.findChild<QLabel*>(QStringLiteral("m_CtrlLabel_VerifyLegend"))->text().contains(QStringLiteral("no match")));
        verify->click();
        QCOMPARE(w.texts, QStringList{QStringLiteral("No file selected in target zone.")});
        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(1);
        table->selectRow(0);
        verify->click();
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("AA0001 track 2: offset +20.0 ms"));
        QVERIFY(!table->item(0, 0)->icon().isNull() && table->item(1, 0)->icon().isNull());
        QVERIFY(table->item(0, 0)->toolTip().startsWith(QStringLiteral("+20.0 ms\nTrack 2 against track 1: offset\nOffset +20.0 ms (+0.50 frames)\nDrift +0.0 ms")));
        table->selectAll();
        verify->click();
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("Track 2 verified: 1 in sync, 1 offset, 0 drift, 0 no match"));
        QVERIFY(w.load());
        QVERIFY(table->item(0, 0)->toolTip().contains(QStringLiteral("Track 2 against track 1: offset")));
        QVERIFY(table->item(1, 0)->toolTip().contains(QStringLiteral("Track 2 against track 1: in sync")));
        // A track the takes do not have: one box naming each take, marks removed.
        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(2);
        table->selectAll();
        w.texts.clear();
        verify->click();
        QCOMPARE(w.texts, QStringList{QStringLiteral("Not verified:\nAA0001: The take has no track 3.\nAA0002: The take has no track 3.")});
        QVERIFY(table->item(0, 0)->icon().isNull());
    }

    // A conform run killed while writing a take leaves a journal: Load puts
    // the take back byte for byte and says so. The window's Conform dialog
    // shows the plan before anything is written, plans again for another
    // track, leaves unticked takes alone, shows the results, saves the report,
    // and when it closes the written tracks are verified by the audio.
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
        QVERIFY(pid >= 0);
        if (pid == 0) {
            TakeJournal::SetRecordHookForTests([](int n) {
                if (n == 3)
                    ::raise(SIGKILL);
            });
            ConformPlan plan = day.plan(3);
            ConformRun().Apply(plan);
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QVERIFY(WIFSIGNALED(status) && TakeJournal::HasJournal(day.target));
        Window w;
        w.SetFolders(day.source, day.target);
        w.OnPushButton_Load();
        QVERIFY(!TakeJournal::HasJournal(day.target));
        QCOMPARE(fixtures::sha1Folder(day.target), before);
        QVERIFY(w.lastBox().contains(QStringLiteral("An earlier run stopped while changing take AA0001")));

        w.findChild<QAction*>(QStringLiteral("m_CtrlAction_Conform"))->trigger();
        auto* d = w.findChild<ConformDialog*>();
        QVERIFY(d && d->isVisible());
        auto row = [d](int r) {
            QStringList texts;
            for (int c = 0; c < ConformDialog::kColCount; ++c)
                texts << (d->Table()->item(r, c) ? d->Table()->item(r, c)->text() : QString());
            return texts.join(QLatin1Char('|'));
        };
        QCOMPARE(d->Table()->rowCount(), 3);
        QCOMPARE(row(0), QStringLiteral("AA0001|12A/3|entire|A_0001.WAV [0 … 40000); A_0002.WAV [40000 … 80000)||3|create|planned"));
        QCOMPARE(row(1).section(QLatin1Char('|'), 2, 4), QStringLiteral("missing_end|A_0002.WAV [0 … 64000)|[64000 … 80000)"));
        QCOMPARE(row(2).section(QLatin1Char('|'), 6, 6), QStringLiteral("skip: no source covers this take"));
        QCOMPARE(d->Table()->item(0, ConformDialog::kColClass)->background().color(), QColor(0, 120, 215));
        QCOMPARE(d->Table()->item(1, ConformDialog::kColClass)->background().color(), QColor(0, 0, 105));
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
        QVERIFY(fixtures::body(fixtures::readFile(day.file(QStringLiteral("AA0001_03.WAV"))), "iXML").contains("<NAME>Boom</NAME>"));
        const QMap<QString, QByteArray> after = fixtures::sha1Folder(day.target);
        QCOMPARE(after.size(), before.size() + 1);
        for (const QString& n : {QStringLiteral("AA0002_01.WAV"), QStringLiteral("AA0002_02.WAV"), QStringLiteral("AA0003_01.WAV")})
            QCOMPARE(after.value(n), before.value(n));
        const QString report = day.dir.path() + QStringLiteral("/day.csv");
        d->SetSaveDialogHook([&]() { return report; });
        QTest::mouseClick(d->ReportButton(), Qt::LeftButton);
        const QStringList lines = QString::fromUtf8(fixtures::readFile(report)).split(QStringLiteral("\r\n"));
        QVERIFY(lines.at(1).startsWith(QStringLiteral("AA0001,12A,3,10:00:05:00,3,create,,entire,written,")));
        QVERIFY(lines.at(2).startsWith(QStringLiteral("AA0002,12A,3,10:00:12:00,3,create,left out by the user,missing_end,skipped,")));
        d->close();
        QTRY_VERIFY(w.target()->rowCount() > 0 && w.target()->item(0, 0) && w.target()->item(0, 0)->toolTip().contains(QStringLiteral("Track 3 against track 1: ")));
    }
};

QTEST_MAIN(tst_LoadAndWorkflows)
#include "tst_LoadAndWorkflows.moc"
