// SPDX-License-Identifier: GPL-3.0-or-later
// Load on generated projects, the analysis colours and status line,
// Create / Delete and Verify from the window.

#include "../analysis/SyntheticSignal.h"
#include "AppTestSupport.h"
#include "QtPlatformLeaks.h"
#include "TestSupport.h"
#include "ColumnKinds.h"
#include "QSoundFile.h"
#include "TrackNameFile.h"

#include <QtTest>

using apptest::kTen;
using apptest::Window;

namespace {

// Takes AA0001..4 of 0.1 s at 10:00:00, :01, :02 and :03 with two tracks
// each; source A covers the first take from its middle, the second whole and
// the third up to its middle; source B lies inside the fourth.
struct Project
{
    QTemporaryDir dir;
    QString root() const { return dir.path(); }
    QString in(const char* folder, const QString& file) const
    {
        return dir.path() + QLatin1Char('/') + QLatin1String(folder) + (file.isEmpty() ? QString() : QLatin1Char('/') + file);
    }
    QString target(const QString& file = QString()) const { return in("target", file); }
    QString source(const QString& file = QString()) const { return in("source", file); }
    bool make(bool withSources = true)
    {
        return apptest::writeProject(root(), 4, 2, 0)
               && (!withSources
                   || (RecorderFileWriter::write(source(QStringLiteral("SRC_A.WAV")), apptest::sourceSpec(kTen + 2400, 96000))
                       && RecorderFileWriter::write(source(QStringLiteral("SRC_B.WAV")),
                                                    apptest::sourceSpec(kTen + 3 * 48000 + 1000, 2000))));
    }
    int files() const { return QDir(target()).entryList(QDir::Files).size(); }
};

QList<QPushButton*> workButtons(Ui_MainWindow* ui)
{
    return {ui->m_CtrlButton_CleanAll, ui->m_CtrlButton_TrackView, ui->m_CtrlButton_SceneView,
            ui->m_CtrlButton_Analyse, ui->m_CtrlButton_CreateSoundTrack, ui->m_CtrlButton_DeleteSoundTrack};
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
        QFile broken(p.target(QStringLiteral("ZZ0001_01.WAV")));
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a sound file") > 0);
        broken.close();
        Window w;
        QVERIFY(w.load(p.root()));
        QPavaneBrowsingTable* target = w.target();
        QPavaneBrowsingTable* source = w.ui->m_CtrlTable_Source;

        QCOMPARE(target->rowCount(), 5);
        QCOMPARE(target->CellText(3, BLK_DATA_SCENE), QStringLiteral("S4"));
        QCOMPARE(target->CellText(2, BLK_DATA_INOUT_SPLTC), QString::number(kTen + 96000));
        QCOMPARE(target->CellText(2, BLK_DATA_OUT_SPLTC), QString::number(kTen + 96000 + 4800));
        QCOMPARE(target->CellText(4, BLK_DATA_NOTES), QStringLiteral(" *** Error #3 detected on audio file *** "));
        QCOMPARE(source->item(1, 0)->text(), QStringLiteral("S 2"));
        QCOMPARE(source->CellText(1, BLK_DATA_FILENAME), QStringLiteral("SRC_B.WAV"));
        QCOMPARE(w.SourceTrackNames(), (QStringList{QStringLiteral("S 1"), QStringLiteral("S 2")}));
        QCOMPARE(w.ui->m_CtrlLineEdit_S[1]->text(), QStringLiteral("S 2"));
        QCOMPARE(w.ui->m_CtrlLineEdit_S[2]->text(), QString());
        for (QPushButton* b : workButtons(w.ui))
            QVERIFY(b->isEnabled());
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("Select a source file"));

        // Clean Selections clears the target selection only.
        target->selectRow(1);
        source->selectRow(0);
        w.ui->m_CtrlButton_CleanAll->click();
        QVERIFY(target->selectionModel()->selectedRows().isEmpty());
        QCOMPARE(source->selectionModel()->selectedRows().size(), 1);

        QVERIFY(w.texts.isEmpty());
        w.ui->m_CtrlButton_Analyse->click();
        QCOMPARE(w.texts, QStringList{QStringLiteral("Please, first select a source file.")});
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("Source file timecode doesn't match with any target file."));

        QVERIFY(w.selectSource(0));
        QCOMPARE(w.SelectedSourceFile(), QStringLiteral("SRC_A.WAV"));
        QCOMPARE(w.colour(0), QColor(80, 0, 128));    // missing start
        QCOMPARE(w.colour(1), QColor(0, 120, 215));   // entire take
        QCOMPARE(w.colour(2), QColor(0, 0, 105));     // missing end
        QCOMPARE(w.colour(3), QColor(Qt::transparent));
        QCOMPARE(w.colour(4), QColor(200, 60, 60));   // the broken take stays red
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("1 entire take 1 missing start 1 missing end founded"));
        QCOMPARE(w.ui->m_CtrlProgressBar_File->maximum(), 5);
        QCOMPARE(w.ui->m_CtrlProgressBar_File->value(), 5);
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
        QCOMPARE(w.texts.size(), 1);

        // A source file that cannot be read has no timecode.
        QFile::remove(p.source(QStringLiteral("SRC_A.WAV")));
        QVERIFY(w.selectSource(0));
        QCOMPARE(w.texts.last(), QStringLiteral("Error, no timecode founded in this source file."));
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("Source file timecode doesn't match with any target file."));
    }

    void loadWithEmptySourceFolderDisablesTheButtons()
    {
        Project p;
        QVERIFY(p.make(false));
        Window w;
        QVERIFY(w.load(p.root()));
        QCOMPARE(w.texts, QStringList{QStringLiteral("No source file detected in source directory")});
        QCOMPARE(w.icons, QList<int>{int(QMessageBox::Critical)});
        for (QPushButton* b : workButtons(w.ui))
            QVERIFY(!b->isEnabled());
        QCOMPARE(w.target()->CellText(3, BLK_DATA_SCENE), QStringLiteral("S4"));
    }

    void createFromTheWindowWritesTheTrackAndReloads()
    {
        Project p;
        QVERIFY(p.make());
        SaveTrackNameToSnlFile(p.source(), QStringLiteral("SRC_A.WAV"), QStringLiteral("Boom Two"));
        Window w;
        QVERIFY(w.load(p.root()));
        QVERIFY(w.selectSource(0));
        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(2);   // " Track 3"
        w.target()->selectRow(1);

        QSignalSpy end(w.target(), SIGNAL(signal_EndOfTableUpdate()));
        w.ui->m_CtrlButton_CreateSoundTrack->click();
        QCOMPARE(w.texts, (QStringList{QStringLiteral("Track 3 will be created on ALL selected takes of the target area\n"
                                                      "from SRC_A.WAV (track name \"Boom Two\").\n\n"
                                                      "AA0002: AA0002_03.WAV written, 2 other file(s) rewritten"),
                                       QStringLiteral("End of the sonalign process.")}));
        QCOMPARE(w.icons, (QList<int>{int(QMessageBox::Question), int(QMessageBox::Information)}));
        QVERIFY(!QFile::exists(p.target(QStringLiteral("AA0001_03.WAV"))));
        QVERIFY(w.ui->m_CtrlButton_CreateSoundTrack->isEnabled());
        QVERIFY(!w.IsBusy());
        QCOMPARE(w.ui->m_CtrlProgressBar_Size->value(), 100);

        // Reloaded: the take now has three tracks; Load cleared the source choice.
        QVERIFY(apptest::ended(end));
        const int row = w.rowOf(QStringLiteral("AA0002"));
        QCOMPARE(w.target()->CellText(row, BLK_DATA_TRACKS), QStringLiteral("3"));
        QCOMPARE(w.SelectedSourceFile(), QString());
        // The new track was verified against track 1 and its row marked.
        QVERIFY(w.target()->item(row, 0)->toolTip().contains(QStringLiteral("Track 3 against track 1: ")));

        QSoundFile f;
        QVERIFY(f.Open(p.target(QStringLiteral("AA0002_03.WAV")), 0));
        QVERIFY(f.ReadChunks(false, false) && f.GetiXMLFileInfos());
        QCOMPARE(f.GetiXMLVeltaTracknames(2), QStringLiteral("Boom Two"));
        QCOMPARE(f.GetTimeReference(), kTen + 48000);
        f.Close();
        QCOMPARE(QSettings(w.SettingsFilePath(), QSettings::IniFormat).value(QStringLiteral("LastSetup/TargetTrackIndex")).toInt(), 2);
    }

    // A two-channel source shows the channel combo beside the track combo; the
    // chosen channel is the one written. A mono source hides the combo again.
    void createTakesTheChosenChannel()
    {
        Project p;
        QVERIFY(p.make());
        RecorderFileSpec two = apptest::sourceSpec(kTen + 48000, 4800);   // the second take exactly
        two.channels = 2;
        two.audioSeed = 31;
        QVERIFY(RecorderFileWriter::write(p.source(QStringLiteral("SRC_C.WAV")), two));
        Window w;
        QVERIFY(w.load(p.root()));
        auto* channel = w.findChild<QComboBox*>(QStringLiteral("m_CtrlComboBox_SourceChannel"));
        QVERIFY(channel && channel->isHidden());
        // Beside the track combo, in its cell.
        QCOMPARE(channel->parentWidget(), w.ui->m_CtrlComboBox_TargetTrack->parentWidget());
        int row = -1, column = -1, rs = 0, cs = 0;
        w.ui->gridLayout->getItemPosition(w.ui->gridLayout->indexOf(channel->parentWidget()), &row, &column, &rs, &cs);
        QCOMPARE(QList<int>({row, column}), QList<int>({3, 5}));

        QVERIFY(w.selectSource(2));   // SRC_C.WAV
        QVERIFY(!channel->isHidden());
        QCOMPARE(channel->count(), 2);
        QCOMPARE(channel->itemText(1), QStringLiteral("Ch 2"));
        channel->setCurrentIndex(1);
        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(2);
        w.target()->selectRow(1);
        w.ui->m_CtrlButton_CreateSoundTrack->click();
        QCOMPARE(w.texts.size(), 2);
        QCOMPARE(w.texts.last(), QStringLiteral("End of the sonalign process."));
        QByteArray expected;
        for (quint32 i = 0; i < 4800; ++i) {
            const quint32 v = quint32(RecorderFileSpec::sampleValue(31, i, 1, 24));
            expected.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)).append(char((v >> 16) & 0xFF));
        }
        QVERIFY(testsupport::readAll(p.target(QStringLiteral("AA0002_03.WAV"))).contains(expected));

        // The create reloaded: no source is selected, so no channel is offered.
        QVERIFY(channel->isHidden());
        QVERIFY(w.selectSource(2));
        QVERIFY(!channel->isHidden());
        QVERIFY(w.selectSource(0));   // SRC_A.WAV, mono
        QVERIFY(channel->isHidden());
    }

    void createRefusedWithoutSourceSelectionOrFreeTrack()
    {
        Project p;
        QVERIFY(p.make());
        Window w;
        QVERIFY(w.load(p.root()));
        w.ui->m_CtrlButton_CreateSoundTrack->click();
        QCOMPARE(w.texts, QStringList{QStringLiteral("Please, first select a source file.")});
        QCOMPARE(apptest::visibleBoxes(&w).size(), 1);
        QCOMPARE(w.lastBox(), QStringLiteral("No file selected in target zone\n Use Analyse to identify the compatible target takes."));
        QVERIFY(w.ui->m_CtrlButton_CreateSoundTrack->isEnabled());

        // A track that already exists is refused by the engine; nothing changes.
        QVERIFY(w.selectSource(0));
        w.texts.clear();
        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(1);
        w.target()->selectRow(1);
        const QByteArray before = testsupport::readAll(p.target(QStringLiteral("AA0002_02.WAV")));
        w.ui->m_CtrlButton_CreateSoundTrack->click();
        // The question says the track is taken; no "End of the sonalign process."
        QCOMPARE(w.texts, QStringList{QStringLiteral("Track 2 will be created on ALL selected takes of the target area\n"
                                                     "from SRC_A.WAV (track name \"S 1\").\n\n"
                                                     "AA0002: track 2 is taken, the run stops there")});
        QCOMPARE(testsupport::readAll(p.target(QStringLiteral("AA0002_02.WAV"))), before);
        QCOMPARE(p.files(), 8);
        QCOMPARE(w.lastBox(), QStringLiteral("AA0002\nError during bounce Sonalign process."));
        QVERIFY(!w.IsBusy());
    }

    void deleteAsksHidesAndReloads()
    {
        Project p;
        QVERIFY(p.make());
        Window w;
        QVERIFY(w.load(p.root()));
        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(1);   // " Track 2"
        w.target()->selectRow(2);
        const QString hidden = p.target(QStringLiteral("AA0003_02.WAV"));
        const QByteArray before = testsupport::readAll(hidden);

        // Cancelled: nothing moves.
        w.answer = QMessageBox::Cancel;
        w.ui->m_CtrlButton_DeleteSoundTrack->click();
        QCOMPARE(w.texts.size(), 1);
        QCOMPARE(testsupport::readAll(hidden), before);
        QCOMPARE(p.files(), 8);

        w.answer = QMessageBox::Ok;
        w.texts.clear();
        w.icons.clear();
        QSignalSpy end(w.target(), SIGNAL(signal_EndOfTableUpdate()));
        w.ui->m_CtrlButton_DeleteSoundTrack->click();
        QCOMPARE(w.texts, QStringList{QStringLiteral("Track 2 will be hidden on ALL selected takes of the target area\n"
                                                     "by changing original .WAV extention to .DEL<N> extention.\n"
                                                     "To clean the target area, remove .DEL file using OS Finder/Explorer.\n\n"
                                                     "AA0003: AA0003_02.WAV hidden, 1 other file(s) rewritten")});
        QCOMPARE(w.icons, QList<int>{int(QMessageBox::Warning)});
        QVERIFY(!QFile::exists(hidden));
        QVERIFY(QFile::exists(p.target(QStringLiteral("AA0003_02.DEL1"))));
        QVERIFY(QFile::exists(p.target(QStringLiteral("AA0002_02.WAV"))));
        QVERIFY(apptest::ended(end));
        QCOMPARE(w.target()->CellText(w.rowOf(QStringLiteral("AA0003")), BLK_DATA_TRACKS), QStringLiteral("1"));
        QVERIFY(!w.IsBusy());

        // Nothing selected: the workflow's own message, no question.
        w.texts.clear();
        w.target()->clearSelection();
        w.ui->m_CtrlButton_DeleteSoundTrack->click();
        QVERIFY(w.texts.isEmpty());
        QCOMPARE(apptest::visibleBoxes(&w).size(), 1);
        QCOMPARE(w.lastBox(), QStringLiteral("No file selected in target area."));
    }

    // The Verify button: the verdict mark on the take's row, its tooltip, the
    // status line, the mark kept across a Load, and takes that cannot be verified.
    void verifyMarksTheTakes()
    {
        QTemporaryDir dir;
        QVERIFY(apptest::writeProject(dir.path(), 0, 0, 1));
        const QString target = dir.path() + QStringLiteral("/target");
        // AA0001: the boom 20 ms late; AA0002: in time.
        for (int take = 1; take <= 2; ++take) {
            const synth::Mic lav = synth::mic(1.0, {{0, 1}}, 10, 1), boom = synth::mic(1.0, {{take == 1 ? 960.0 : 0.0, 1}}, 10, 2);
            const RecorderFileSpec spec = apptest::takeSpec(QStringLiteral("S%1").arg(take), QStringLiteral("1"),
                                                            apptest::kTen + quint64(take) * 480000, 0);
            QVERIFY(synth::writeTake(target, QStringLiteral("AA000%1").arg(take), spec,
                                     {synth::Track(5, lav), synth::Track(5, boom)}, 3 * 48000));
        }

        apptest::Window w;
        QPavaneBrowsingTable* table = w.target();
        QStringList& modal = w.texts;
        QVERIFY(w.load(dir.path()));
        QCOMPARE(table->rowCount(), 2);
        auto* verify = w.findChild<QPushButton*>(QStringLiteral("m_CtrlButton_Verify"));
        QVERIFY(verify);
        QVERIFY(w.findChild<QLabel*>(QStringLiteral("m_CtrlLabel_VerifyLegend"))->text().contains(QStringLiteral("no match")));

        // Nothing selected: said so, nothing marked.
        verify->click();
        QCOMPARE(modal, QStringList{QStringLiteral("No file selected in target zone.")});
        QVERIFY(table->item(0, 0)->icon().isNull());

        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(1);
        table->selectRow(0);
        verify->click();
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(), QStringLiteral("AA0001 track 2: offset +20.0 ms"));
        QVERIFY(!table->item(0, 0)->icon().isNull());
        QVERIFY(table->item(1, 0)->icon().isNull());
        QVERIFY(table->item(0, 0)->toolTip().startsWith(
            QStringLiteral("+20.0 ms\nTrack 2 against track 1: offset\nOffset +20.0 ms (+0.50 frames)\nDrift +0.0 ms")));

        // Both takes: one offset, one in sync; the marks survive a Load.
        table->selectAll();
        verify->click();
        QCOMPARE(w.ui->m_CtrlLabel_Message->text(),
                 QStringLiteral("Track 2 verified: 1 in sync, 1 offset, 0 drift, 0 no match"));
        QVERIFY(w.load());
        QVERIFY(table->item(0, 0)->toolTip().contains(QStringLiteral("Track 2 against track 1: offset")));
        QVERIFY(table->item(1, 0)->toolTip().contains(QStringLiteral("Track 2 against track 1: in sync")));

        // A track the takes do not have: one box naming each take, marks removed.
        w.ui->m_CtrlComboBox_TargetTrack->setCurrentIndex(2);
        table->selectAll();
        modal.clear();
        verify->click();
        QCOMPARE(modal, QStringList{QStringLiteral("Not verified:\nAA0001: The take has no track 3.\n"
                                                   "AA0002: The take has no track 3.")});
        QVERIFY(table->item(0, 0)->icon().isNull());
    }
};

QTEST_MAIN(tst_LoadAndWorkflows)
#include "tst_LoadAndWorkflows.moc"
