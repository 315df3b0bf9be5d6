// SPDX-License-Identifier: GPL-3.0-or-later
// Load on generated projects, the analysis colours and status line, the
// track names beside the source table, and Create / Delete from the window.

#include "AppTestSupport.h"
#include "QtPlatformLeaks.h"
#include "TestSupport.h"
#include "BrowserRoles.h"
#include "ColumnKinds.h"
#include "MainWindow.h"
#include "MainWindowUi.h"
#include "QPavaneBrowsingTable.h"
#include "QSoundFile.h"
#include "TrackNameFile.h"

#include "BrowserStyle.h"

#include <QComboBox>
#include <QGridLayout>
#include <QProgressBar>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using apptest::kTen;

namespace {

struct ModalRecord
{
    QStringList texts;
    QList<int> icons;
    int answer = QMessageBox::Ok;
};

// Takes of 0.1 s at 10:00:00, :01, :02 and :03 with two tracks each; source A
// covers the first take from its middle, the second whole and the third up to
// its middle; source B lies inside the fourth.
struct Project
{
    QTemporaryDir dir;
    QString target() const { return dir.path() + QStringLiteral("/target"); }
    QString source() const { return dir.path() + QStringLiteral("/source"); }

    bool make(bool withSources = true, bool withBrokenTake = false)
    {
        if (!QDir().mkpath(target()) || !QDir().mkpath(source()))
            return false;
        for (int i = 0; i < 4; ++i) {
            RecorderFileSpec s = apptest::takeSpec(QStringLiteral("S%1").arg(i + 1), QStringLiteral("%1").arg(i + 2),
                                                   kTen + quint64(i) * 48000, 4800);
            s.ixml.allTrackNames = QStringList{QStringLiteral("Mix"), QStringLiteral("Boom")};
            if (!RecorderFileWriter::writeMonoTake(target(), QStringLiteral("AA000%1").arg(i + 1), 2, s))
                return false;
        }
        if (withBrokenTake) {
            QFile f(target() + QStringLiteral("/ZZ0001_01.WAV"));
            if (!f.open(QIODevice::WriteOnly) || f.write("not a sound file") <= 0)
                return false;
        }
        if (withSources) {
            if (!RecorderFileWriter::write(source() + QStringLiteral("/SRC_A.WAV"), apptest::sourceSpec(kTen + 2400, 96000)))
                return false;
            if (!RecorderFileWriter::write(source() + QStringLiteral("/SRC_B.WAV"),
                                           apptest::sourceSpec(kTen + 3 * 48000 + 1000, 2000)))
                return false;
        }
        return true;
    }
};

QColor firstCellColour(QPavaneBrowsingTable* t, int row) { return t->item(row, 0)->background().color(); }

} // namespace

class tst_LoadAndWorkflows : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_Config.reset(new QTemporaryDir);
        apptest::isolateConfig(*m_Config);
    }

    void loadFillsBothTables();
    void loadWithEmptySourceFolderDisablesTheButtons();
    void selectingASourceColoursTheTakes();
    void analyseWithoutSourceSaysSo();
    void trackNamesFollowTheSourceRows();
    void createFromTheWindowWritesTheTrackAndReloads();
    void createWithoutSourceOrSelection();
    void createTakesTheChosenChannel();
    void deleteAsksHidesAndReloads();
    void deleteCancelledChangesNothing();

private:
    // Loads and waits for the target table's worker to finish.
    bool loadAndWait(MainWindow& w)
    {
        QSignalSpy end(w.Ui()->m_CtrlTable_Target, SIGNAL(signal_EndOfTableUpdate()));
        w.Ui()->m_CtrlButton_Load->click();
        return end.count() > 0 || end.wait(20000);
    }
    void hook(MainWindow& w, ModalRecord& r)
    {
        w.SetModalHook([&r](QMessageBox& box) {
            r.texts << box.text();
            r.icons << int(box.icon());
            return r.answer;
        });
    }
    // Selects a source row as a click would, and waits for the analysis.
    bool selectSource(MainWindow& w, int row)
    {
        QSignalSpy selected(w.Ui()->m_CtrlTable_Source, SIGNAL(signal_SelectedSourceChanged(QString, int, int)));
        w.Ui()->m_CtrlTable_Source->setCurrentCell(row, 0);
        return selected.wait(2000);
    }
    int rowOf(QPavaneBrowsingTable* t, const QString& id)
    {
        for (int r = 0; r < t->rowCount(); ++r)
            if (t->item(r, 0)->text() == id)
                return r;
        return -1;
    }

    std::unique_ptr<QTemporaryDir> m_Config;
};

void tst_LoadAndWorkflows::loadFillsBothTables()
{
    Project p;
    QVERIFY(p.make(true, true));
    MainWindow w;
    ModalRecord modal;
    hook(w, modal);
    w.SetFolders(p.source(), p.target());
    QVERIFY(loadAndWait(w));
    QPavaneBrowsingTable* target = w.Ui()->m_CtrlTable_Target;
    QPavaneBrowsingTable* source = w.Ui()->m_CtrlTable_Source;

    QCOMPARE(target->rowCount(), 5);
    QCOMPARE(target->CellText(0, BLK_DATA_FILEID), QStringLiteral("AA0001"));
    QCOMPARE(target->CellText(0, BLK_DATA_SCENE), QStringLiteral("S1"));
    QCOMPARE(target->CellText(0, BLK_DATA_TAKE), QStringLiteral("2"));
    QCOMPARE(target->CellText(0, BLK_DATA_TRACKS), QStringLiteral("2"));
    QCOMPARE(target->CellText(2, BLK_DATA_INOUT_SPLTC), QString::number(kTen + 96000));
    QCOMPARE(target->CellText(2, BLK_DATA_OUT_SPLTC), QString::number(kTen + 96000 + 4800));
    QCOMPARE(target->CellText(4, BLK_DATA_FILEID), QStringLiteral("ZZ0001"));
    QCOMPARE(target->CellText(4, BLK_DATA_NOTES), QStringLiteral(" *** Error #3 detected on audio file *** "));

    QCOMPARE(source->rowCount(), 2);
    QCOMPARE(source->item(1, 0)->text(), QStringLiteral("S 2"));
    QCOMPARE(source->CellText(1, BLK_DATA_FILENAME), QStringLiteral("SRC_B.WAV"));
    QCOMPARE(w.SourceTrackNames(), (QStringList{QStringLiteral("S 1"), QStringLiteral("S 2")}));
    QCOMPARE(w.Ui()->m_CtrlLineEdit_S[1]->text(), QStringLiteral("S 2"));
    QCOMPARE(w.Ui()->m_CtrlLineEdit_S[2]->text(), QString());

    for (QPushButton* b : {w.Ui()->m_CtrlButton_CleanAll, w.Ui()->m_CtrlButton_TrackView, w.Ui()->m_CtrlButton_SceneView,
                           w.Ui()->m_CtrlButton_Analyse, w.Ui()->m_CtrlButton_CreateSoundTrack,
                           w.Ui()->m_CtrlButton_DeleteSoundTrack})
        QVERIFY(b->isEnabled());
    QVERIFY(modal.texts.isEmpty());
    QCOMPARE(w.Ui()->m_CtrlLabel_Message->text(), QStringLiteral("Select a source file"));
    QCOMPARE(w.SelectedSourceFile(), QString());

    // Clean Selections clears the target selection only.
    target->selectRow(1);
    source->selectRow(0);
    w.Ui()->m_CtrlButton_CleanAll->click();
    QVERIFY(target->selectionModel()->selectedRows().isEmpty());
    QCOMPARE(source->selectionModel()->selectedRows().size(), 1);
}

void tst_LoadAndWorkflows::loadWithEmptySourceFolderDisablesTheButtons()
{
    Project p;
    QVERIFY(p.make(false));
    MainWindow w;
    ModalRecord modal;
    hook(w, modal);
    w.SetFolders(p.source(), p.target());
    QVERIFY(loadAndWait(w));
    QCOMPARE(modal.texts, QStringList{QStringLiteral("No source file detected in source directory")});
    QCOMPARE(modal.icons, QList<int>{int(QMessageBox::Critical)});
    for (QPushButton* b : {w.Ui()->m_CtrlButton_CleanAll, w.Ui()->m_CtrlButton_TrackView, w.Ui()->m_CtrlButton_SceneView,
                           w.Ui()->m_CtrlButton_Analyse, w.Ui()->m_CtrlButton_CreateSoundTrack,
                           w.Ui()->m_CtrlButton_DeleteSoundTrack})
        QVERIFY(!b->isEnabled());
    QCOMPARE(w.Ui()->m_CtrlTable_Target->rowCount(), 4);
    QCOMPARE(w.Ui()->m_CtrlTable_Target->CellText(3, BLK_DATA_SCENE), QStringLiteral("S4"));
}

void tst_LoadAndWorkflows::selectingASourceColoursTheTakes()
{
    Project p;
    QVERIFY(p.make(true, true));
    MainWindow w;
    ModalRecord modal;
    hook(w, modal);
    w.SetFolders(p.source(), p.target());
    QVERIFY(loadAndWait(w));
    QPavaneBrowsingTable* target = w.Ui()->m_CtrlTable_Target;

    QVERIFY(selectSource(w, 0));
    QCOMPARE(w.SelectedSourceFile(), QStringLiteral("SRC_A.WAV"));
    QCOMPARE(firstCellColour(target, 0), QColor(80, 0, 128));    // missing start
    QCOMPARE(firstCellColour(target, 1), QColor(0, 120, 215));   // entire take
    QCOMPARE(firstCellColour(target, 2), QColor(0, 0, 105));     // missing end
    QCOMPARE(firstCellColour(target, 3), QColor(Qt::transparent));
    QCOMPARE(firstCellColour(target, 4), QColor(200, 60, 60));   // the broken take stays red
    QCOMPARE(w.Ui()->m_CtrlLabel_Message->text(), QStringLiteral("1 entire take 1 missing start 1 missing end founded"));
    QCOMPARE(w.Ui()->m_CtrlProgressBar_File->maximum(), 5);
    QCOMPARE(w.Ui()->m_CtrlProgressBar_File->value(), 5);
    QVERIFY(!w.IsBusy());

    QVERIFY(selectSource(w, 1));
    QCOMPARE(firstCellColour(target, 0), QColor(Qt::transparent));   // earlier colours cleared
    QCOMPARE(firstCellColour(target, 1), QColor(Qt::transparent));
    QCOMPARE(firstCellColour(target, 3), QColor(105, 0, 0));          // partial coverage
    QCOMPARE(w.Ui()->m_CtrlLabel_Message->text(), QStringLiteral("1 patial coverage founded"));

    // A rebuild of the target table classifies the new rows again.
    QSignalSpy end(target, SIGNAL(signal_EndOfTableUpdate()));
    w.Ui()->m_CtrlButton_TrackView->click();
    QVERIFY(end.count() > 0 || end.wait(20000));   // the call itself may have run the event loop
    QCOMPARE(firstCellColour(target, 3), QColor(105, 0, 0));
    QCOMPARE(target->CellText(0, BLK_DATA_TRACK1 + 1), QStringLiteral("Boom"));
    QVERIFY(modal.texts.isEmpty());
}

void tst_LoadAndWorkflows::analyseWithoutSourceSaysSo()
{
    Project p;
    QVERIFY(p.make());
    MainWindow w;
    ModalRecord modal;
    hook(w, modal);
    w.SetFolders(p.source(), p.target());
    QVERIFY(loadAndWait(w));
    w.Ui()->m_CtrlButton_Analyse->click();
    QCOMPARE(modal.texts, QStringList{QStringLiteral("Please, first select a source file.")});
    QCOMPARE(w.Ui()->m_CtrlLabel_Message->text(), QStringLiteral("Source file timecode doesn't match with any target file."));

    // A source file that cannot be read has no timecode.
    QFile::remove(p.source() + QStringLiteral("/SRC_A.WAV"));
    QVERIFY(selectSource(w, 0));
    QCOMPARE(modal.texts.last(), QStringLiteral("Error, no timecode founded in this source file."));
    QCOMPARE(w.Ui()->m_CtrlLabel_Message->text(), QStringLiteral("Source file timecode doesn't match with any target file."));
}

void tst_LoadAndWorkflows::trackNamesFollowTheSourceRows()
{
    Project p;
    QVERIFY(p.make(false));
    for (int i = 1; i <= 30; ++i) {
        RecorderFileSpec s = apptest::sourceSpec(kTen, 48);
        QVERIFY(RecorderFileWriter::write(p.source() + QStringLiteral("/R%1.WAV").arg(i, 2, 10, QLatin1Char('0')), s));
    }
    SaveTrackNameToSnlFile(p.source(), QStringLiteral("R03.WAV"), QStringLiteral("Boom"));
    SaveTrackNameToSnlFile(p.source(), QStringLiteral("R25.WAV"), QStringLiteral("Lav"));

    MainWindow w;
    ModalRecord modal;
    hook(w, modal);
    w.SetFolders(p.source(), p.target());
    QVERIFY(loadAndWait(w));
    const QList<QLineEdit*>& edits = w.Ui()->m_CtrlLineEdit_S;
    QCOMPARE(w.SourceTrackNames().size(), 30);
    QCOMPARE(edits[0]->text(), QStringLiteral("S 1"));
    QCOMPARE(edits[2]->text(), QStringLiteral("Boom"));
    QCOMPARE(edits[21]->text(), QStringLiteral("S 22"));
    QCOMPARE(w.SourceTrackNames().at(24), QStringLiteral("Lav"));
    QCOMPARE(w.SourceTrackNames().at(29), QStringLiteral("S 30"));
    for (QLineEdit* e : edits)
        QVERIFY(!e->isEnabled());

    // The table's first visible row is 5 and row 7 is selected: S_3 shows
    // entry 7 and is the only edit enabled.
    w.slot_SelectedSourceChanged(QStringLiteral("R08.WAV"), 7, 5);
    QCOMPARE(w.FirstVisibleSourceRow(), 5);
    QCOMPARE(w.CurrentTrackNameEdit(), 2);
    QCOMPARE(edits[0]->text(), QStringLiteral("S 6"));
    QCOMPARE(edits[2]->text(), QStringLiteral("S 8"));
    QCOMPARE(edits[19]->text(), QStringLiteral("Lav"));   // entry 24
    for (int k = 0; k < edits.size(); ++k)
        QCOMPARE(edits[k]->isEnabled(), k == 2);

    // Typing a name stores it for that file at the end of editing.
    edits[2]->setText(QStringLiteral("Boom 2"));
    QMetaObject::invokeMethod(edits[2], "editingFinished");
    QCOMPARE(w.SourceTrackNames().at(7), QStringLiteral("Boom 2"));
    QString stored;
    LoadTrackNameFromSnlFile(p.source(), QStringLiteral("R08.WAV"), stored);
    QCOMPARE(stored, QStringLiteral("Boom 2"));

    // A row more than 21 rows below the first visible row enables no edit.
    w.slot_SelectedSourceChanged(QStringLiteral("R29.WAV"), 28, 5);
    for (QLineEdit* e : edits)
        QVERIFY(!e->isEnabled());

    // An empty name is stored empty, and the next Load shows the default.
    w.slot_SelectedSourceChanged(QStringLiteral("R08.WAV"), 7, 5);
    edits[2]->setText(QString());
    QMetaObject::invokeMethod(edits[2], "editingFinished");
    LoadTrackNameFromSnlFile(p.source(), QStringLiteral("R08.WAV"), stored);
    QCOMPARE(stored, QString());
    QVERIFY(loadAndWait(w));
    QCOMPARE(w.SourceTrackNames().at(7), QStringLiteral("S 8"));
    QCOMPARE(w.FirstVisibleSourceRow(), 0);
    QCOMPARE(w.SelectedSourceFile(), QString());
}

void tst_LoadAndWorkflows::createFromTheWindowWritesTheTrackAndReloads()
{
    Project p;
    QVERIFY(p.make());
    SaveTrackNameToSnlFile(p.source(), QStringLiteral("SRC_A.WAV"), QStringLiteral("Boom Two"));
    MainWindow w;
    ModalRecord modal;
    hook(w, modal);
    w.SetFolders(p.source(), p.target());
    QVERIFY(loadAndWait(w));
    QPavaneBrowsingTable* target = w.Ui()->m_CtrlTable_Target;
    QVERIFY(selectSource(w, 0));
    w.Ui()->m_CtrlComboBox_TargetTrack->setCurrentIndex(2);   // " Track 3"
    target->selectRow(1);
    QCOMPARE(target->selectionModel()->selectedRows().size(), 1);

    QSignalSpy end(target, SIGNAL(signal_EndOfTableUpdate()));
    w.Ui()->m_CtrlButton_CreateSoundTrack->click();
    QCOMPARE(modal.texts, (QStringList{QStringLiteral("Track 3 will be created on ALL selected takes of the target area\n"
                                                      "from SRC_A.WAV (track name \"Boom Two\").\n\n"
                                                      "AA0002: AA0002_03.WAV written, 2 other file(s) rewritten"),
                                       QStringLiteral("End of the sonalign process.")}));
    QCOMPARE(modal.icons, (QList<int>{int(QMessageBox::Question), int(QMessageBox::Information)}));
    const QString created = p.target() + QStringLiteral("/AA0002_03.WAV");
    QVERIFY(QFile::exists(created));
    QVERIFY(!QFile::exists(p.target() + QStringLiteral("/AA0001_03.WAV")));
    QVERIFY(w.Ui()->m_CtrlButton_CreateSoundTrack->isEnabled());
    QVERIFY(w.Ui()->m_CtrlButton_DeleteSoundTrack->isEnabled());
    QVERIFY(!w.IsBusy());
    QCOMPARE(w.Ui()->m_CtrlProgressBar_Size->value(), 100);

    // Reloaded: the take now has three tracks; Load cleared the source choice.
    QVERIFY(end.count() > 0 || end.wait(20000));
    QCOMPARE(target->CellText(rowOf(target, QStringLiteral("AA0002")), BLK_DATA_TRACKS), QStringLiteral("3"));
    QCOMPARE(w.SelectedSourceFile(), QString());
    // The new track was verified against track 1 and its row marked.
    QVERIFY(target->item(rowOf(target, QStringLiteral("AA0002")), 0)->toolTip().contains(QStringLiteral("Track 3 against track 1: ")));

    QSoundFile f;
    QVERIFY(f.Open(created, 0));
    QVERIFY(f.ReadChunks(false, false));
    QVERIFY(f.GetiXMLFileInfos());
    QCOMPARE(f.GetiXMLVeltaTracknames(2), QStringLiteral("Boom Two"));
    QCOMPARE(f.GetTimeReference(), kTen + 48000);
    f.Close();

    QSettings s(w.SettingsFilePath(), QSettings::IniFormat);
    QCOMPARE(s.value(QStringLiteral("LastSetup/TargetTrackIndex")).toInt(), 2);
}

// A two-channel source shows the channel combo beside the track combo; the
// chosen channel is the one written. A mono source hides the combo again.
void tst_LoadAndWorkflows::createTakesTheChosenChannel()
{
    Project p;
    QVERIFY(p.make());
    RecorderFileSpec two = apptest::sourceSpec(kTen + 48000, 4800);   // the second take exactly
    two.channels = 2;
    two.audioSeed = 31;
    QVERIFY(RecorderFileWriter::write(p.source() + QStringLiteral("/SRC_C.WAV"), two));
    MainWindow w;
    ModalRecord modal;
    hook(w, modal);
    w.SetFolders(p.source(), p.target());
    QVERIFY(loadAndWait(w));
    auto* channel = w.findChild<QComboBox*>(QStringLiteral("m_CtrlComboBox_SourceChannel"));
    QVERIFY(channel);
    QVERIFY(channel->isHidden());
    // Beside the track combo, in its cell.
    QCOMPARE(channel->parentWidget(), w.Ui()->m_CtrlComboBox_TargetTrack->parentWidget());
    int row = -1, column = -1, rs = 0, cs = 0;
    w.Ui()->gridLayout->getItemPosition(w.Ui()->gridLayout->indexOf(channel->parentWidget()), &row, &column, &rs, &cs);
    QCOMPARE(QList<int>({row, column}), QList<int>({3, 5}));

    QVERIFY(selectSource(w, 2));   // SRC_C.WAV
    QVERIFY(!channel->isHidden());
    QCOMPARE(channel->count(), 2);
    QCOMPARE(channel->itemText(1), QStringLiteral("Ch 2"));
    channel->setCurrentIndex(1);
    w.Ui()->m_CtrlComboBox_TargetTrack->setCurrentIndex(2);
    w.Ui()->m_CtrlTable_Target->selectRow(1);
    w.Ui()->m_CtrlButton_CreateSoundTrack->click();
    QCOMPARE(modal.texts.size(), 2);
    QVERIFY(modal.texts.first().startsWith(QStringLiteral("Track 3 will be created on ALL selected takes")));
    QCOMPARE(modal.texts.last(), QStringLiteral("End of the sonalign process."));
    QByteArray expected;
    for (quint32 i = 0; i < 4800; ++i) {
        const quint32 v = quint32(RecorderFileSpec::sampleValue(31, i, 1, 24));
        expected.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)).append(char((v >> 16) & 0xFF));
    }
    QSoundFile f;
    QVERIFY(f.Open(p.target() + QStringLiteral("/AA0002_03.WAV"), 0));
    QVERIFY(f.ReadChunks(false, false));
    QByteArray data(int(f.GetDataSize()), '\0');
    QCOMPARE(f.LectureDataBin(data.data(), f.m_nPosData, data.size()), qint64(data.size()));
    f.Close();
    QVERIFY(data == expected);

    // The create reloaded: no source is selected, so no channel is offered.
    QVERIFY(channel->isHidden());
    QVERIFY(selectSource(w, 2));
    QVERIFY(!channel->isHidden());
    QVERIFY(selectSource(w, 0));   // SRC_A.WAV, mono
    QVERIFY(channel->isHidden());
}

void tst_LoadAndWorkflows::createWithoutSourceOrSelection()
{
    Project p;
    QVERIFY(p.make());
    MainWindow w;
    ModalRecord modal;
    hook(w, modal);
    w.SetFolders(p.source(), p.target());
    QVERIFY(loadAndWait(w));
    w.Ui()->m_CtrlButton_CreateSoundTrack->click();
    QCOMPARE(modal.texts, QStringList{QStringLiteral("Please, first select a source file.")});
    QList<QMessageBox*> boxes = apptest::visibleBoxes(&w);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0]->text(), QStringLiteral("No file selected in target zone\n Use Analyse to identify the compatible target takes."));
    QCOMPARE(QDir(p.target()).entryList(QDir::Files).size(), 8);
    QVERIFY(w.Ui()->m_CtrlButton_CreateSoundTrack->isEnabled());
    QVERIFY(!w.IsBusy());

    // A track that already exists is refused by the engine; nothing changes.
    QVERIFY(selectSource(w, 0));
    modal.texts.clear();
    w.Ui()->m_CtrlComboBox_TargetTrack->setCurrentIndex(1);
    w.Ui()->m_CtrlTable_Target->selectRow(1);
    const QByteArray before = testsupport::readAll(p.target() + QStringLiteral("/AA0002_02.WAV"));
    QVERIFY(before.size() > 4800 * 3);
    w.Ui()->m_CtrlButton_CreateSoundTrack->click();
    // The question says the track is taken; no "End of the sonalign process."
    QCOMPARE(modal.texts, QStringList{QStringLiteral("Track 2 will be created on ALL selected takes of the target area\n"
                                                     "from SRC_A.WAV (track name \"S 1\").\n\n"
                                                     "AA0002: track 2 is taken, the run stops there")});
    QCOMPARE(testsupport::readAll(p.target() + QStringLiteral("/AA0002_02.WAV")), before);
    QCOMPARE(QDir(p.target()).entryList(QDir::Files).size(), 8);
    boxes = apptest::visibleBoxes(&w);
    QVERIFY(boxes.size() >= 2);
    QCOMPARE(boxes.last()->text(), QStringLiteral("AA0002\nError during bounce Sonalign process."));
}

void tst_LoadAndWorkflows::deleteAsksHidesAndReloads()
{
    Project p;
    QVERIFY(p.make());
    MainWindow w;
    ModalRecord modal;
    hook(w, modal);
    w.SetFolders(p.source(), p.target());
    QVERIFY(loadAndWait(w));
    QPavaneBrowsingTable* target = w.Ui()->m_CtrlTable_Target;
    w.Ui()->m_CtrlComboBox_TargetTrack->setCurrentIndex(1);   // " Track 2"
    target->selectRow(2);

    QSignalSpy end(target, SIGNAL(signal_EndOfTableUpdate()));
    w.Ui()->m_CtrlButton_DeleteSoundTrack->click();
    QCOMPARE(modal.texts.size(), 1);
    // The documented question, then what it will touch.
    QCOMPARE(modal.texts[0], QStringLiteral("Track 2 will be hidden on ALL selected takes of the target area\n"
                                            "by changing original .WAV extention to .DEL<N> extention.\n"
                                            "To clean the target area, remove .DEL file using OS Finder/Explorer.\n\n"
                                            "AA0003: AA0003_02.WAV hidden, 1 other file(s) rewritten"));
    QCOMPARE(modal.icons[0], int(QMessageBox::Warning));
    QVERIFY(!QFile::exists(p.target() + QStringLiteral("/AA0003_02.WAV")));
    QVERIFY(QFile::exists(p.target() + QStringLiteral("/AA0003_02.DEL1")));
    QVERIFY(QFile::exists(p.target() + QStringLiteral("/AA0002_02.WAV")));
    QVERIFY(end.count() > 0 || end.wait(20000));
    QCOMPARE(target->CellText(rowOf(target, QStringLiteral("AA0003")), BLK_DATA_TRACKS), QStringLiteral("1"));
    QVERIFY(w.Ui()->m_CtrlButton_DeleteSoundTrack->isEnabled());
    QVERIFY(!w.IsBusy());

    // Nothing selected: the workflow's own message, no question.
    modal.texts.clear();
    target->clearSelection();
    w.Ui()->m_CtrlButton_DeleteSoundTrack->click();
    QVERIFY(modal.texts.isEmpty());
    const QList<QMessageBox*> boxes = apptest::visibleBoxes(&w);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0]->text(), QStringLiteral("No file selected in target area."));
}

void tst_LoadAndWorkflows::deleteCancelledChangesNothing()
{
    Project p;
    QVERIFY(p.make());
    MainWindow w;
    ModalRecord modal;
    modal.answer = QMessageBox::Cancel;
    hook(w, modal);
    w.SetFolders(p.source(), p.target());
    QVERIFY(loadAndWait(w));
    w.Ui()->m_CtrlTable_Target->selectRow(0);
    const QByteArray before = testsupport::readAll(p.target() + QStringLiteral("/AA0001_01.WAV"));
    QSignalSpy end(w.Ui()->m_CtrlTable_Target, SIGNAL(signal_EndOfTableUpdate()));
    w.Ui()->m_CtrlButton_DeleteSoundTrack->click();
    QCOMPARE(modal.texts.size(), 1);
    QVERIFY(QFile::exists(p.target() + QStringLiteral("/AA0001_01.WAV")));
    QCOMPARE(testsupport::readAll(p.target() + QStringLiteral("/AA0001_01.WAV")), before);
    QCOMPARE(QDir(p.target()).entryList(QDir::Files).size(), 8);
    QTest::qWait(50);
    QCOMPARE(end.count(), 0);   // no reload
    QVERIFY(w.Ui()->m_CtrlButton_CreateSoundTrack->isEnabled());
}

QTEST_MAIN(tst_LoadAndWorkflows)
#include "tst_LoadAndWorkflows.moc"
