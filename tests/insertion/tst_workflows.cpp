// SPDX-License-Identifier: GPL-3.0-or-later
// Create, delete (hide) and restore workflows: new tracks, hidden tracks, their
// undo, the iXML update pass that makes every file of a take agree again, the
// action log every workflow appends to, `sonalign-cli restore` and the help of
// every command, and a take longer than the five hours the overview holds.

#include "InsertionFixtures.h"

#include "ActionLog.h"
#include "QSoundPerform.h"
#include "TakeGrouping.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

using namespace fixtures;
using namespace ins;

namespace {

const QString kPoly = QStringLiteral("AA0002\nOnly monophonic file can be used as target in the process.");
const QStringList kOne{QStringLiteral("AA0001")}, kTwo{QStringLiteral("AA0001"), QStringLiteral("AA0002")};

// VELTA_PAVANE/ALL_TRK_NAME of a file: "INDICE:NAME/ACTIVE/IN_GRID/PAN_POT" of
// the entries asked for, texts trimmed, after the number of entries.
QString allTracks(const QString& path, const QList<int>& indices)
{
    QDomDocument d;
    d.setContent(ixmlText(path));
    QMap<int, QString> m;
    const QDomElement list = d.documentElement().firstChildElement(QStringLiteral("VELTA_PAVANE")).firstChildElement(QStringLiteral("ALL_TRK_NAME"));
    for (QDomElement e = list.firstChildElement(QStringLiteral("DATA")); !e.isNull(); e = e.nextSiblingElement(QStringLiteral("DATA"))) {
        QStringList f;
        for (const char* key : {"NAME", "ACTIVE", "IN_GRID", "PAN_POT"})
            f << e.firstChildElement(QLatin1String(key)).text().trimmed();
        m.insert(e.firstChildElement(QStringLiteral("INDICE")).text().toInt(), f.join(QLatin1Char('/')));
    }
    QStringList out{QString::number(m.size())};
    for (int i : indices)
        out << QString::number(i) + QLatin1Char(':') + m.value(i, QStringLiteral("<none>"));
    return out.join(QLatin1Char(' '));
}

QString totalFiles(const QString& path) { return ixmlValue(path, QStringLiteral("FILE_SET/TOTAL_FILES")); }

// Four named and panned tracks per take.
RecorderFileSpec namedTracks()
{
    RecorderFileSpec s = spec(48000, 24, 9600, kTen);
    s.ixml.allTrackNames = QStringList{QStringLiteral("Mix"), QStringLiteral("Boom"), QStringLiteral("Lav A"), QStringLiteral("Lav B")};
    s.ixml.allTrackPanPot = QStringList{QStringLiteral("0"), QStringLiteral("-20"), QStringLiteral("35"), QStringLiteral("0")};
    return s;
}

// Every chunk but the iXML (and the JUNK / filler chunks an iXML rewrite may leave), as "id:sha1".
QStringList chunksButIxml(const QByteArray& file)
{
    QStringList out;
    for (const Chunk& c : walk(file))
        if (c.id != "iXML" && c.id != "JUNK" && c.id != "FLLR" && c.id != "filr")
            out << QString::fromLatin1(c.id + ':' + QCryptographicHash::hash(file.mid(int(c.offset + 8), int(c.size)), QCryptographicHash::Sha1).toHex());
    return out;
}

// The log of `command` as "action file[ -> to] result".
QStringList logLines(const QString& command)
{
    QStringList out;
    for (const QJsonObject& o : ActionLog::ReadAll())
        if (o.value(QStringLiteral("command")).toString() == command)
            out << QStringLiteral("%1 %2%3 %4").arg(o.value(QStringLiteral("action")).toString(),
                                                    QFileInfo(o.value(QStringLiteral("file")).toString()).fileName(),
                                                    o.contains(QStringLiteral("to")) ? QStringLiteral(" -> ") + QFileInfo(o.value(QStringLiteral("to")).toString()).fileName() : QString(),
                                                    o.value(QStringLiteral("result")).toString());
    return out;
}

QByteArray readAt(const QString& path, qint64 offset, qint64 size)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.seek(offset) ? f.read(size) : QByteArray();
}

// The first chunk `id` of a file on disk, found without loading its data.
Chunk findOnDisk(const QString& path, const QByteArray& id)
{
    for (qint64 pos = 12, end = QFileInfo(path).size(); pos + 8 <= end;) {
        const QByteArray h = readAt(path, pos, 8);
        const Chunk c{h.left(4), pos, u32At(h, 4)};
        if (c.id == id || (id.size() == 3 && c.id.startsWith(id)))
            return c;
        pos += 8 + qint64(c.size);
    }
    return Chunk();
}

} // namespace

class TestWorkflows : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_data;

private slots:
    void init()
    {
        m_data.reset(new QTemporaryDir);
        qputenv("XDG_DATA_HOME", m_data->path().toUtf8());
    }

    void createThirdTrackAllFilesAgree()
    {
        Project p;
        const QByteArray first = readFile(p.track(1));
        Relay relay;
        const WorkflowResult r = p.create(3);
        QVERIFY2(r.success, qPrintable(relay.all()));
        QCOMPARE(relay.count(), 0);
        QCOMPARE(r.createdFiles, QStringList{QStringLiteral("AA0001_03.WAV")});
        QCOMPARE(r.takesHandled, 1);
        for (int n = 1; n <= 3; ++n) {
            QCOMPARE(totalFiles(p.track(n)) + ixmlValue(p.track(n), QStringLiteral("TRACK_LIST/TRACK/CHANNEL_INDEX")), QStringLiteral("3%1").arg(n));
            // Tracks without a file (5 here): nothing was read for them.
            QCOMPARE(allTracks(p.track(n), {0, 1, 2, 5}), QStringLiteral("24 0:Trk1/YES/YES/0 1:Trk2/YES/YES/0 2:Boom/YES//0,0 5:///"));
            // The recorder's 61440-byte chunk is rewritten in place: audio and sizes do not move.
            QCOMPARE(body(readFile(p.track(n)), "iXML").size(), 61440);
            QCOMPARE(QFileInfo(p.track(n)).size(), qint64(first.size()));
        }
        QCOMPARE(ixmlValue(p.track(3), QStringLiteral("TRACK_LIST/TRACK/NAME")), QStringLiteral("Boom"));
        QCOMPARE(body(readFile(p.track(1)), "data"), body(first, "data"));
    }

    // Default and empty names; the progress the window shows.
    void createNamesAndSignals()
    {
        Project p(1, kTwo);
        Relay relay;
        CreateTrackRequest r;
        r.targetFolder = p.target;
        r.sourcePath = p.source;
        r.trackIndex = 2;
        r.fileIds = QStringList{QStringLiteral("AA0002"), QStringLiteral("AA0001")};
        r.hasTrackName = false;
        CreateTrackWorkflow w;
        QSignalSpy count(&w, &CreateTrackWorkflow::signal_TakeCount), done(&w, &CreateTrackWorkflow::signal_TakesDone),
            progress(&w, &CreateTrackWorkflow::signal_ProgressSize);
        QVERIFY2(w.Run(r).success, qPrintable(relay.all()));
        QCOMPARE(QList<qint64>({count.count(), count.at(0).at(0).toInt(), done.count(), done.at(1).at(0).toInt(), progress.last().at(0).toLongLong()}),
                 QList<qint64>({1, 2, 2, 2, 100}));
        // No name entry: "SONALIGN <position in the tag list>".
        QCOMPARE(ixmlValue(p.track(3, "AA0002"), QStringLiteral("TRACK_LIST/TRACK/NAME")), QStringLiteral("SONALIGN 0"));
        QVERIFY(allTracks(p.track(1), {2}).endsWith(QLatin1String(" 2:SONALIGN 1/YES//0,0")));
        // An empty name: "T4" in the track list, a blank in the vendor table of every file.
        QVERIFY2(createTrack(p.target, p.source, 4, kOne, QString()).success, qPrintable(relay.all()));
        QCOMPARE(ixmlValue(p.track(4), QStringLiteral("TRACK_LIST/TRACK/NAME")), QStringLiteral("T4"));
        for (int n : {1, 3, 4})
            QCOMPARE(allTracks(p.track(n), {3}).section(QLatin1Char(' '), 1) + totalFiles(p.track(n)), QStringLiteral("3:/YES//0,03"));
        QVERIFY(readFile(p.track(4)).mid(20, 256).contains("\r\naTRK4=\r\naNOTE="));
    }

    // The mono take is done first, iXML update included for a create, not for a
    // hide; the poly take stops the run and keeps every byte.
    void polyTakeStopsTheRun_data()
    {
        columns<bool, QString, QString>({"hide", "done", "total"});
        QTest::newRow("create") << false << "AA0001_03.WAV" << "3";
        QTest::newRow("hide") << true << "AA0001_02.DEL1" << "2";
    }
    void polyTakeStopsTheRun()
    {
        QFETCH(bool, hide);
        Project p;
        RecorderFileSpec stereo = spec(48000, 24, 9600, kTen);
        stereo.channels = 2;
        stereo.ixml.polyTrackNames = QStringList{QStringLiteral("L"), QStringLiteral("R")};
        QVERIFY(RecorderFileWriter::write(p.file(QStringLiteral("AA0002PX.WAV")), stereo));
        const QByteArray poly = readFile(p.file(QStringLiteral("AA0002PX.WAV")));
        Relay relay;
        const WorkflowResult r = hide ? hideTrack(p.target, 2, kTwo) : p.create(3, kTwo);
        QVERIFY(!r.success);
        QCOMPARE(relay.texts(), QStringList{kPoly});
        QCOMPARE(relay.title(0), hide ? QStringLiteral("MainWindow::OnPushButton_DeleteSoundTrack()") : QStringLiteral("MainWindow::OnPushButton_CreateSoundTrack()"));
        QTEST((hide ? r.hiddenFiles : r.createdFiles).join(QLatin1Char(',')), "done");
        QTEST(totalFiles(p.track(1)), "total");
        QCOMPARE(readFile(p.file(QStringLiteral("AA0002PX.WAV"))), poly);
    }

    // What the window can hand over before any take is touched (an unknown take
    // is pinned by the command-line tests): "title|text|kind" of each message.
    void preconditions_data()
    {
        // withSource: hiding: false = in an empty folder
        columns<bool, bool, QStringList, QString>({"hide", "withSource", "ids", "messages"});
        const QString none = QStringLiteral("QMainWindow::OnPushButton_CreateSoundTrack()|No file selected in target zone\n Use Analyse to identify the compatible target takes.|1");
        QTest::newRow("no source, no take") << false << false << QStringList() << none;
        QTest::newRow("no take") << false << true << QStringList() << none;
        QTest::newRow("no source: the window has said it") << false << false << kOne << QString();
        QTest::newRow("a file ID is matched whole, case-sensitive") << false << true << QStringList{QStringLiteral("aa0001")}
            << "MainWindow::OnPushButton_CreateSoundTrack()|aa0001\nNo corresponding file found matching with this tag.|0";
        QTest::newRow("hide, no take") << true << true << QStringList() << "QMainWindow::OnPushButton_DeleteSoundTrack()|No file selected in target area.|1";
        QTest::newRow("hide, no such take") << true << true << QStringList{QStringLiteral("AA0009")}
                                            << "MainWindow::OnPushButton_DeleteSoundTrack()|AA0009\nNo corresponding file found matching with this tag.|0";
        QTest::newRow("hide, an empty folder") << true << false << kOne << QString();
    }
    void preconditions()
    {
        QFETCH(bool, hide); QFETCH(bool, withSource); QFETCH(QStringList, ids);
        Project p;
        const QMap<QString, QByteArray> before = sha1Folder(p.target);
        Relay relay;
        QVERIFY(QDir().mkpath(p.dir.path() + QStringLiteral("/empty")));
        QVERIFY(!(hide ? hideTrack(withSource ? p.target : p.dir.path() + QStringLiteral("/empty"), 2, ids) : createTrack(p.target, withSource ? p.source : QString(), 3, ids)).success);
        QStringList got;
        for (int i = 0; i < relay.count(); ++i)
            got << relay.title(i) + QLatin1Char('|') + relay.text(i) + QLatin1Char('|') + QString::number(relay.kind(i));
        QTEST(got.join(QStringLiteral(" || ")), "messages");
        QCOMPARE(sha1Folder(p.target), before);
    }

    void deleteHidesAndUpdates()
    {
        Project p(4);
        const QByteArray track3 = readFile(p.track(3));
        Relay relay;
        const WorkflowResult r = hideTrack(p.target, 3, kOne);
        QVERIFY2(r.success, qPrintable(relay.all()));
        QCOMPARE(relay.count(), 0);
        QCOMPARE(r.hiddenFiles, QStringList{QStringLiteral("AA0001_03.DEL1")});
        QVERIFY(!QFile::exists(p.track(3)));
        QCOMPARE(readFile(p.file(QStringLiteral("AA0001_03.DEL1"))), track3);
        for (int n : {1, 2, 4})   // track 3's entries are empty now
            QCOMPARE(totalFiles(p.track(n)) + ' ' + allTracks(p.track(n), {0, 1, 2, 3}),
                     QStringLiteral("3 24 0:Trk1/YES/YES/0 1:Trk2/YES/YES/0 2:/// 3:Trk4/YES/YES/0"));
    }

    void deletePassesOverTakeWithoutTrack()
    {
        Project p(2, kTwo);
        QVERIFY(QFile::copy(p.track(2), p.file(QStringLiteral("AA0002_05.DEL2"))));
        const QByteArray oldHidden = readFile(p.file(QStringLiteral("AA0002_05.DEL2")));
        QVERIFY(RecorderFileWriter::write(p.track(5), RecorderFileWriter::monoTrackSpec(spec(48000, 24, 9600, kTen), 5, 5)));
        Relay relay;
        const WorkflowResult r = hideTrack(p.target, 5, {QStringLiteral("AA0002"), QStringLiteral("AA0001")});
        QVERIFY2(r.success, qPrintable(relay.all()));
        QCOMPARE(r.hiddenFiles, QStringList{QStringLiteral("AA0001_05.DEL1")});
        QCOMPARE(r.takesHandled, 2);
        QCOMPARE(readFile(p.file(QStringLiteral("AA0002_05.DEL2"))), oldHidden);
        QCOMPARE(totalFiles(p.track(1, "AA0002")) + totalFiles(p.track(1)), QStringLiteral("22"));   // both takes updated
    }

    void restoreGivesTheTrackBackByteForByte_data()
    {
        columns<int>({"track"});
        QTest::newRow("middle track") << 3;
        QTest::newRow("first track") << 1;
        QTest::newRow("last track") << 4;
    }
    void restoreGivesTheTrackBackByteForByte()
    {
        QFETCH(int, track);
        Project p(4, kOne, namedTracks());
        Relay relay;
        const QByteArray before = readFile(p.track(track));
        const QString names = allTracks(p.track(1), {0, 1, 2, 3});
        QCOMPARE(names, QStringLiteral("24 0:Mix/YES/YES/0 1:Boom/YES/YES/-20 2:Lav A/YES/YES/35 3:Lav B/YES/YES/0"));
        QVERIFY(hideTrack(p.target, track, kOne).success);
        QVERIFY(!QFile::exists(p.track(track)));
        QCOMPARE(totalFiles(p.track(track == 1 ? 2 : 1)), QStringLiteral("3"));
        const WorkflowResult r = restoreTrack(p.target, track, kOne);
        QVERIFY2(r.success, qPrintable(relay.all()));
        QCOMPARE(r.restoredFiles, QStringList{QFileInfo(p.track(track)).fileName()});
        QCOMPARE(relay.count(), 0);
        QCOMPARE(chunksButIxml(readFile(p.track(track))), chunksButIxml(before));
        // Every file of the take agrees again, the restored track with its own name and pan.
        for (int t = 1; t <= 4; ++t)
            QCOMPARE(totalFiles(p.track(t)) + ' ' + allTracks(p.track(t), {0, 1, 2, 3}), QStringLiteral("4 ") + names);
    }

    void newestHiddenFileComesBack()
    {
        Project p(4);
        Relay relay;
        const QByteArray original = body(readFile(p.track(3)), "data");
        QVERIFY(hideTrack(p.target, 3, kOne).success);   // original -> .DEL1, never replaced
        QTest::qWait(20);                                 // a later change time
        QVERIFY(createTrack(p.target, p.source, 3, kOne, QStringLiteral("New")).success);
        const QByteArray created = body(readFile(p.track(3)), "data");
        QVERIFY(created != original);
        QVERIFY(hideTrack(p.target, 3, kOne).success);   // new one -> .DEL2
        QCOMPARE(RestoreTrackWorkflow::NewestHiddenFile(p.file(QStringLiteral("AA0001")), 3), p.file(QStringLiteral("AA0001_03.DEL2")));
        QVERIFY(restoreTrack(p.target, 3, kOne).success);
        QCOMPARE(body(readFile(p.track(3)), "data"), created);
        QCOMPARE(body(readFile(p.file(QStringLiteral("AA0001_03.DEL1"))), "data"), original);
        QVERIFY(allTracks(p.track(3), {2}).endsWith(QLatin1String(" 2:New/YES//0,0")));
        // After hidden files were removed by hand the first free number is not
        // the highest: the newest hide (.DEL1 here) still comes back, .DEL2 stays.
        QTest::qWait(20);
        QVERIFY(hideTrack(p.target, 3, kOne).success);   // created -> .DEL2
        QVERIFY(QFile::remove(p.file(QStringLiteral("AA0001_03.DEL1"))));
        QTest::qWait(20);
        QVERIFY(p.create(3).success);
        QVERIFY(hideTrack(p.target, 3, kOne).success);   // -> .DEL1, the newest
        QVERIFY(restoreTrack(p.target, 3, kOne).success);
        QVERIFY(!QFile::exists(p.file(QStringLiteral("AA0001_03.DEL1"))));
        QVERIFY(QFile::exists(p.file(QStringLiteral("AA0001_03.DEL2"))));
    }

    void restoreOnAnOccupiedTrackChangesNothing()
    {
        Project p(4, kTwo);
        Relay relay;
        QVERIFY(hideTrack(p.target, 2, kOne).success);
        const auto before = sha1Folder(p.target);
        // AA0002 still has its track 2: the whole run is refused, AA0001 included.
        QVERIFY(!restoreTrack(p.target, 2, kTwo).success);
        QCOMPARE(sha1Folder(p.target), before);
        QCOMPARE(relay.count(), 1);
        QCOMPARE(relay.title(0) + QLatin1Char('|') + relay.text(0), QStringLiteral("MainWindow::OnPushButton_RestoreSoundTrack()|")
                     + p.track(2, "AA0002") + QStringLiteral("\nTrack 2 is occupied: nothing was restored."));
        QVERIFY(logLines(QStringLiteral("restore --track 2")).isEmpty());
    }

    void takeWithoutHiddenFileIsPassedOver()
    {
        Project p(4, kTwo);
        Relay relay;
        QVERIFY(hideTrack(p.target, 4, kTwo).success);
        QVERIFY(QFile::remove(p.file(QStringLiteral("AA0002_04.DEL1"))));
        const QByteArray untouched = readFile(p.track(1, "AA0002"));
        relay.clear();
        const WorkflowResult r = restoreTrack(p.target, 4, {QStringLiteral("AA0002"), QStringLiteral("AA0001")});
        QVERIFY(r.success);
        QCOMPARE(r.restoredFiles, QStringList{QStringLiteral("AA0001_04.WAV")});
        QCOMPARE(relay.texts(), QStringList{QStringLiteral("AA0002\nNo hidden file of track 4: this take was passed over.")});
        QCOMPARE(relay.kind(0), 2);
        QCOMPARE(readFile(p.track(1, "AA0002")), untouched);
        QCOMPARE(totalFiles(p.track(1)), QStringLiteral("4"));
    }

    // Every action is logged, a failed one as failed; a log that cannot be written only warns.
    void everyActionIsLogged()
    {
        Project p(4);
        Relay relay;
        QVERIFY(p.create(5).success);
        QVERIFY(hideTrack(p.target, 2, kOne).success);
        QVERIFY(restoreTrack(p.target, 2, kOne).success);
        QCOMPARE(logLines(QStringLiteral("create --track 5 BOOM.WAV")),
                 QStringList({"write AA0001_05.WAV ok", "update iXML AA0001_01.WAV ok", "update iXML AA0001_02.WAV ok",
                              "update iXML AA0001_03.WAV ok", "update iXML AA0001_04.WAV ok", "update iXML AA0001_05.WAV ok"}));
        QCOMPARE(logLines(QStringLiteral("delete --track 2")),
                 QStringList({"hide AA0001_02.WAV -> AA0001_02.DEL1 ok", "update iXML AA0001_01.WAV ok", "update iXML AA0001_03.WAV ok",
                              "update iXML AA0001_04.WAV ok", "update iXML AA0001_05.WAV ok"}));
        const QStringList restored = logLines(QStringLiteral("restore --track 2"));
        QCOMPARE(restored.size(), 6);
        QCOMPARE(restored.first(), QStringLiteral("restore AA0001_02.DEL1 -> AA0001_02.WAV ok"));
        QVERIFY(QDateTime::fromString(ActionLog::ReadAll().first().value(QStringLiteral("time")).toString(), Qt::ISODateWithMs).isValid());
        QVERIFY(ActionLog::FilePath().startsWith(m_data->path() + QLatin1Char('/')));
        // A failed rename is logged as failed.
        QVERIFY(QFile::copy(p.track(3), p.file(QStringLiteral("AA0001_06.DEL1"))));
        {
            Faults failing;
            failing.refuseRename = true;
            QVERIFY(!restoreTrack(p.target, 6, kOne).success);
        }
        QCOMPARE(logLines(QStringLiteral("restore --track 6")), QStringList{"restore AA0001_06.DEL1 -> AA0001_06.WAV failed"});
        QVERIFY(QFile::exists(p.file(QStringLiteral("AA0001_06.DEL1"))));
        // A log that cannot be written (the data folder is a plain file): one warning for the process, never a failure.
        relay.clear();
        QVERIFY(writeFile(m_data->path() + QStringLiteral("/not-a-folder"), "x"));
        qputenv("XDG_DATA_HOME", (m_data->path() + QStringLiteral("/not-a-folder")).toUtf8());
        QVERIFY(hideTrack(p.target, 1, kOne).success && restoreTrack(p.target, 1, kOne).success);
        QCOMPARE(relay.count(), 1);
        QCOMPARE(relay.kind(0), 2);
        QCOMPARE(relay.title(0) + relay.text(0).section(QLatin1Char('\n'), -1), QStringLiteral("ActionLog::Append()The action log cannot be written; the work itself goes on."));
    }

    // `sonalign-cli restore` and the help of every command: exit code, and the
    // whole stdout and stderr against patterns (`lit` for literal text).
    void commandLine_data()
    {
        columns<QStringList, bool, int, QString, QString>({"args", "hideFirst", "exitCode", "out", "err"});   // %T = the take folder
        auto lit = [](const QString& text) { return QRegularExpression::escape(text); };
        const QString usage = lit(QStringLiteral("usage: sonalign-cli restore --track N TARGET_FOLDER FILE_ID...\n"));
        QTest::newRow("restores") << QStringList{"restore", "--track", "2", "%T", "AA0001"} << true << 0 << "AA0001_02\\.WAV\n" << "";
        QTest::newRow("occupied") << QStringList{"restore", "--track", "2", "%T", "AA0001"} << false << 1 << "" << ".*\nTrack 2 is occupied: nothing was restored\\.\n";
        QTest::newRow("track out of range") << QStringList{"restore", "--track", "25", "%T", "AA0001"} << true << 2 << "" << ".*" + usage;
        QTest::newRow("no file id") << QStringList{"restore", "--track", "2", "%T"} << true << 2 << "" << ".*" + usage;
        QTest::newRow("restore help") << QStringList{"restore", "--help"} << false << 0 << usage + lit(QStringLiteral(
            "\nUndoes a hide: the newest hidden file (.DELn) of track N of each take becomes its .WAV again, then every file of the take "
            "agrees again. Refused, changing nothing, when track N of a take is occupied.\n")) << "";
        QTest::newRow("version") << QStringList{"--version"} << false << 0 << "sonalign-cli 1\\.14\n.*" << "";
        QTest::newRow("tool help") << QStringList{"--help"} << false << 0
                                   << "usage: sonalign-cli COMMAND \\[ARGS\\]\n.*\n  restore --track N TARGET_FOLDER FILE_ID\\.\\.\\.\n      Undoes a hide.*" << "";
        // Each command's help says what it does, in one line after the usage.
        for (const char* command : {"info", "list", "analyse", "create", "delete", "verify", "demo"})
            QTest::newRow(command) << QStringList{QLatin1String(command), "--help"} << false << 0 << QStringLiteral("usage: sonalign-cli %1 [^\n]*\n\n[^\n]+\n").arg(QLatin1String(command)) << "";
        QTest::newRow("help after other arguments") << QStringList{"create", "--track", "3", "--help"} << false << 0
            << lit(QStringLiteral("usage: sonalign-cli create --track N [--name NAME] [--channel K] [--dither tpdf [--dither-seed S]] SOURCE_FILE TARGET_FOLDER FILE_ID...\n\nWrites track N of each take")) + "[^\n]*\n" << "";
    }
    void commandLine()
    {
        QFETCH(QStringList, args); QFETCH(bool, hideFirst); QFETCH(int, exitCode); QFETCH(QString, out); QFETCH(QString, err);
        Project p(4);
        {
            Relay relay;
            QVERIFY(!hideFirst || hideTrack(p.target, 2, kOne).success);
        }
        const bool restores = exitCode == 0 && args.contains(QStringLiteral("%T"));
        args.replaceInStrings(QStringLiteral("%T"), p.target);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_data->path());
        const auto before = sha1Folder(p.target);
        const testsupport::ProcessResult r = testsupport::run(testsupport::cliPath(), args, 60000, env);
        QCOMPARE(r.exitCode, exitCode);
        const auto matches = [](const QString& pattern, const QByteArray& text) {
            return QRegularExpression(QRegularExpression::anchoredPattern(pattern), QRegularExpression::DotMatchesEverythingOption).match(QString::fromUtf8(text)).hasMatch();
        };
        QVERIFY2(matches(out, r.out), r.out.constData());
        QVERIFY2(matches(err, r.err), r.err.constData());
        if (!restores)
            QCOMPARE(sha1Folder(p.target), before);
        else   // the tool writes to the same log as the window
            QCOMPARE(ActionLog::ReadAll(m_data->path() + QStringLiteral("/sonalign/actions.jsonl")).first().value(QStringLiteral("action")).toString(),
                     QStringLiteral("restore"));
    }

    // Five hours and a minute at 8 kHz, 16 bits: the take's file is sparse on
    // disk (its data chunk declared and the file extended, not written). The
    // listing shows its length; the new track is sample-exact where the source
    // lies and as long as the take's file; its overview holds five hours of
    // points and nothing past them.
    void longerThanFiveHours()
    {
        const quint32 rate = 8000, frames = rate * (5 * 3600 + 60), dataBytes = frames * 2;
        const quint64 start = 10 * kHour * rate, offset = 2 * kHour * rate;   // one second of source, two hours in
        QTemporaryDir dir, srcDir;
        const QString take = dir.path() + QStringLiteral("/AA0001_01.WAV"), made = dir.path() + QStringLiteral("/AA0001_02.WAV");
        RecorderFileSpec s = spec(rate, 16, 8, start);
        s.ondeSize = 190004;   // the recorder's overview of this length: more than five hours of points
        QList<RecorderChunkPlace> places;
        const QByteArray small = RecorderFileWriter::build(s, &places);
        quint32 dataAt = 0, ondeAt = 0;
        for (const RecorderChunkPlace& p : places) {
            dataAt = p.id == "data" ? p.offset : dataAt;
            ondeAt = p.id.startsWith("ond") ? p.offset : ondeAt;
        }
        QVERIFY(dataAt > 0 && ondeAt > dataAt);
        QByteArray head = small.left(int(dataAt + 8));
        const QByteArray tail = small.mid(int(ondeAt));
        const qint64 total = head.size() + qint64(dataBytes) + tail.size();
        qToLittleEndian<quint32>(dataBytes, reinterpret_cast<uchar*>(head.data() + dataAt + 4));
        qToLittleEndian<quint32>(quint32(total - 8), reinterpret_cast<uchar*>(head.data() + 4));
        {
            QFile f(take);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(head) == head.size() && f.resize(head.size() + qint64(dataBytes)));
            QVERIFY(f.seek(f.size()) && f.write(tail) == tail.size());
        }
        QString duration;
        BuildTakesOfFolder(dir.path(), [&](std::unique_ptr<QSoundPerform> r, int, int) { duration = r->m_sDuration; });
        QCOMPARE(duration, QStringLiteral("05:01:00"));
        QVERIFY(writeSource(srcDir.path() + QStringLiteral("/src.wav"), rate, 16, rate, start + offset));
        Relay relay;
        const WorkflowResult r = createTrack(dir.path(), srcDir.path() + QStringLiteral("/src.wav"), 2, kOne);
        QVERIFY2(r.success, qPrintable(relay.all()));
        QCOMPARE(r.createdFiles, QStringList{QStringLiteral("AA0001_02.WAV")});
        QCOMPARE(QFileInfo(made).size(), total);
        QCOMPARE(QFileInfo(take).size(), total);
        const Chunk data = findOnDisk(made, "data");
        QCOMPARE(data.size, dataBytes);
        const qint64 at = data.offset + 8 + 2 * qint64(offset);
        QVERIFY(readAt(made, at, 2 * rate) == audio(77, 0, rate, 16));
        QCOMPARE(readAt(made, at - 64, 64) + readAt(made, at + 2 * rate, 64) + readAt(made, data.offset + 8 + dataBytes - 64, 64), QByteArray(192, '\0'));
        // 180000 points (five hours at ten a second); the source's second is at points 72000 ... 72009.
        const Chunk onde = findOnDisk(made, "ond");
        QCOMPARE(onde.size, 180008u);
        QVERIFY(onde.offset > data.offset && onde.offset + 8 + onde.size <= total);
        const QByteArray points = readAt(made, onde.offset + 16, 180000);
        QCOMPARE(points.left(72000) + points.mid(72010), QByteArray(180000 - 10, '\0'));
        QVERIFY(!points.mid(72000, 10).contains('\0'));
    }
};

QTEST_MAIN(TestWorkflows)
#include "tst_workflows.moc"
