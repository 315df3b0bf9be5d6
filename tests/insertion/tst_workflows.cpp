// SPDX-License-Identifier: GPL-3.0-or-later
// Create, hide and restore workflows and the update pass that makes every file of a take agree again; the action log.

#include "InsertionFixtures.h"

#include "ActionLog.h"

#include <QJsonObject>
#include <QtTest>

using namespace fixtures;
using namespace ins;

namespace {

const QStringList kOne{QStringLiteral("AA0001")}, kTwo{QStringLiteral("AA0001"), QStringLiteral("AA0002")};

// VELTA_PAVANE/ALL_TRK_NAME of a file: "INDICE:NAME/ACTIVE/IN_GRID/PAN_POT" of the entries asked for, texts trimmed,
// after the number of entries.
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
    std::tie(s.ixml.allTrackNames, s.ixml.allTrackPanPot) = std::make_tuple(QStringList{"Mix", "Boom", "Lav A", "Lav B"}, QStringList{"0", "-20", "35", "0"});
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
            out << QStringLiteral("%1 %2%3 %4")
                       .arg(o.value(QStringLiteral("action")).toString(),
                           QFileInfo(o.value(QStringLiteral("file")).toString()).fileName(),
                           o.contains(QStringLiteral("to"))
                               ? QStringLiteral(" -> ") + QFileInfo(o.value(QStringLiteral("to")).toString()).fileName()
                               : QString(),
                           o.value(QStringLiteral("result")).toString());
    return out;
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
    // Scenarios on takes of four named, panned tracks: the steps run in turn ("create|hide|restore TRACK IDS
    // [NAME|_|-|nosource|empty]", "rm|write FILE", "cp FROM TO", "poly", "wait"); each workflow step leaves "verb
    // track: result files | title: message (kind)" in the trace; the folder ends as `listing`: file=origin (the file
    // whose chunks but the iXML it holds, or "new:" and its track name)/TOTAL_FILES, then the track table of the
    // first file; or "unchanged", byte for byte.
    void scenarios_data()
    {
        columns<QStringList, QString, QString, QString>({"takes", "steps", "trace", "listing"});
        QTest::newRow("no name entry: SONALIGN and the position in the list") << kTwo << "create 5 AA0002,AA0001 -"
            << "create 5: ok AA0002_05.WAV,AA0001_05.WAV"
            << "AA0001_01.WAV=t1/5 AA0001_02.WAV=t2/5 AA0001_03.WAV=t3/5 AA0001_04.WAV=t4/5 AA0001_05.WAV=new:SONALIGN 1/5 AA0002_01.WAV=t1/5 AA0002_02.WAV=t2/5 AA0002_03.WAV=t3/5 AA0002_04.WAV=t4/5 AA0002_05.WAV=new:SONALIGN 0/5 | 24 0:Mix/YES/YES/0 1:Boom/YES/YES/-20 2:Lav A/YES/YES/35 3:Lav B/YES/YES/0 4:SONALIGN 1/YES//0,0";
        QTest::newRow("an empty name: T and the track") << kOne << "create 5 AA0001 _"
            << "create 5: ok AA0001_05.WAV"
            << "AA0001_01.WAV=t1/5 AA0001_02.WAV=t2/5 AA0001_03.WAV=t3/5 AA0001_04.WAV=t4/5 AA0001_05.WAV=new:T5/5 | 24 0:Mix/YES/YES/0 1:Boom/YES/YES/-20 2:Lav A/YES/YES/35 3:Lav B/YES/YES/0 4:/YES//0,0";
        QTest::newRow("an occupied track is refused") << kOne << "create 4 AA0001"
            << "create 4: failed | QSoundMixer::SonalignMono(): AA0001 \nTargeted track #4 is not empty. Process aborted. (0) | MainWindow::OnPushButton_CreateSoundTrack(): AA0001\nError during bounce Sonalign process. (0)" << "unchanged";
        QTest::newRow("hide then restore the first, a middle and the last track") << kOne
            << "hide 1 AA0001; restore 1 AA0001; hide 3 AA0001; restore 3 AA0001; hide 4 AA0001; restore 4 AA0001"
            << "hide 1: ok AA0001_01.DEL1; restore 1: ok AA0001_01.WAV; hide 3: ok AA0001_03.DEL1; restore 3: ok AA0001_03.WAV; "
               "hide 4: ok AA0001_04.DEL1; restore 4: ok AA0001_04.WAV"
            << "AA0001_01.WAV=t1/4 AA0001_02.WAV=t2/4 AA0001_03.WAV=t3/4 AA0001_04.WAV=t4/4 | 24 0:Mix/YES/YES/0 1:Boom/YES/YES/-20 2:Lav A/YES/YES/35 3:Lav B/YES/YES/0 4:///";
        QTest::newRow("the newest, not the highest number") << kOne << "hide 3 AA0001; wait; create 3 AA0001 New; hide 3 AA0001; rm AA0001_03.DEL1; wait; create 3 AA0001 Newer; hide 3 AA0001; restore 3 AA0001"
            << "hide 3: ok AA0001_03.DEL1; create 3: ok AA0001_03.WAV; hide 3: ok AA0001_03.DEL2; create 3: ok AA0001_03.WAV; hide 3: ok AA0001_03.DEL1; restore 3: ok AA0001_03.WAV"
            << "AA0001_01.WAV=t1/4 AA0001_02.WAV=t2/4 AA0001_03.DEL2=new:New AA0001_03.WAV=new:Newer/4 AA0001_04.WAV=t4/4 | 24 0:Mix/YES/YES/0 1:Boom/YES/YES/-20 2:Newer/YES//0,0 3:Lav B/YES/YES/0 4:///";
        QTest::newRow("hidden files are never replaced") << kOne << "hide 3 AA0001; create 3 AA0001; hide 3 AA0001; create 3 AA0001 Other; hide 3 AA0001"
            << "hide 3: ok AA0001_03.DEL1; create 3: ok AA0001_03.WAV; hide 3: ok AA0001_03.DEL2; create 3: ok AA0001_03.WAV; hide 3: ok AA0001_03.DEL3"
            << "AA0001_01.WAV=t1/3 AA0001_02.WAV=t2/3 AA0001_03.DEL1=t3 AA0001_03.DEL2=new:Boom AA0001_03.DEL3=new:Other AA0001_04.WAV=t4/3 | 24 0:Mix/YES/YES/0 1:Boom/YES/YES/-20 2:/// 3:Lav B/YES/YES/0 4:///";
        QTest::newRow("restore on an occupied track changes nothing") << kTwo << "hide 2 AA0001; restore 2 AA0001,AA0002"
            << "hide 2: ok AA0001_02.DEL1; restore 2: failed | MainWindow::OnPushButton_RestoreSoundTrack(): %T/AA0002_02.WAV\nTrack 2 is occupied: nothing was restored. (0)"
            << "AA0001_01.WAV=t1/3 AA0001_02.DEL1=t2 AA0001_03.WAV=t3/3 AA0001_04.WAV=t4/3 AA0002_01.WAV=t1/4 AA0002_02.WAV=t2/4 AA0002_03.WAV=t3/4 AA0002_04.WAV=t4/4 | 24 0:Mix/YES/YES/0 1:/// 2:Lav A/YES/YES/35 3:Lav B/YES/YES/0 4:///";
        QTest::newRow("a take without a hidden file is passed over") << kTwo << "hide 4 AA0001,AA0002; rm AA0002_04.DEL1; restore 4 AA0002,AA0001"
            << "hide 4: ok AA0001_04.DEL1,AA0002_04.DEL1; restore 4: ok AA0001_04.WAV | MainWindow::OnPushButton_RestoreSoundTrack(): AA0002\nNo hidden file of track 4: this take was passed over. (2)"
            << "AA0001_01.WAV=t1/4 AA0001_02.WAV=t2/4 AA0001_03.WAV=t3/4 AA0001_04.WAV=t4/4 AA0002_01.WAV=t1/3 AA0002_02.WAV=t2/3 AA0002_03.WAV=t3/3 | 24 0:Mix/YES/YES/0 1:Boom/YES/YES/-20 2:Lav A/YES/YES/35 3:Lav B/YES/YES/0 4:///";
        QTest::newRow("hiding passes over a take without the track") << kTwo << "cp AA0001_02.WAV AA0002_05.DEL2; write AA0001_05.WAV; hide 5 AA0002,AA0001"
            << "hide 5: ok AA0001_05.DEL1"
            << "AA0001_01.WAV=t1/4 AA0001_02.WAV=t2/4 AA0001_03.WAV=t3/4 AA0001_04.WAV=t4/4 AA0001_05.DEL1=AA0001_05 AA0002_01.WAV=t1/4 AA0002_02.WAV=t2/4 AA0002_03.WAV=t3/4 AA0002_04.WAV=t4/4 AA0002_05.DEL2=t2 | 24 0:Mix/YES/YES/0 1:Boom/YES/YES/-20 2:Lav A/YES/YES/35 3:Lav B/YES/YES/0 4:///";
        QTest::newRow("a poly take stops a create") << kOne << "poly; create 5 AA0001,AA0002"
            << "create 5: failed AA0001_05.WAV | MainWindow::OnPushButton_CreateSoundTrack(): AA0002\nOnly monophonic file can be used as target in the process. (0)"
            << "AA0001_01.WAV=t1/5 AA0001_02.WAV=t2/5 AA0001_03.WAV=t3/5 AA0001_04.WAV=t4/5 AA0001_05.WAV=new:Boom/5 AA0002PX.WAV=AA0002PX/1 | 24 0:Mix/YES/YES/0 1:Boom/YES/YES/-20 2:Lav A/YES/YES/35 3:Lav B/YES/YES/0 4:Boom/YES//0,0";
        QTest::newRow("a poly take stops a hide") << kOne << "poly; hide 2 AA0001,AA0002"
            << "hide 2: failed AA0001_02.DEL1 | MainWindow::OnPushButton_DeleteSoundTrack(): AA0002\nOnly monophonic file can be used as target in the process. (0)"
            << "AA0001_01.WAV=t1/4 AA0001_02.DEL1=t2 AA0001_03.WAV=t3/4 AA0001_04.WAV=t4/4 AA0002PX.WAV=AA0002PX/1 | 24 0:Mix/YES/YES/0 1:Boom/YES/YES/-20 2:Lav A/YES/YES/35 3:Lav B/YES/YES/0 4:/NO/NO/0";
        QTest::newRow("create: no take") << kOne << "create 5 -"
            << "create 5: failed | QMainWindow::OnPushButton_CreateSoundTrack(): No file selected in target zone\n Use Analyse to identify the compatible target takes. (1)" << "unchanged";
        QTest::newRow("create: no source (the window has said it)") << kOne << "create 5 AA0001 nosource"
            << "create 5: failed" << "unchanged";
        QTest::newRow("create: a file ID is matched whole, case-sensitive") << kOne << "create 5 aa0001"
            << "create 5: failed | MainWindow::OnPushButton_CreateSoundTrack(): aa0001\nNo corresponding file found matching with this tag. (0)" << "unchanged";
        QTest::newRow("hide: no take") << kOne << "hide 2 -"
            << "hide 2: failed | QMainWindow::OnPushButton_DeleteSoundTrack(): No file selected in target area. (1)" << "unchanged";
        QTest::newRow("hide: no such take") << kOne << "hide 2 AA0009"
            << "hide 2: failed | MainWindow::OnPushButton_DeleteSoundTrack(): AA0009\nNo corresponding file found matching with this tag. (0)" << "unchanged";
        QTest::newRow("hide: an empty folder") << kOne << "hide 2 AA0001 empty"
            << "hide 2: failed" << "unchanged";
    }
    void scenarios()
    {
        QFETCH(QStringList, takes); QFETCH(QString, steps);
        Project p(4, takes, namedTracks());
        QVERIFY(QDir().mkpath(p.dir.path() + QStringLiteral("/empty")));
        auto hash = [](const QString& path) { return chunksButIxml(readFile(path)).join(QLatin1Char(',')); };
        QMap<QString, QString> origin;   // the take's files are "t<track>", files a step wrote their names
        auto scan = [&](bool take) {
            for (const QString& n : QDir(p.target).entryList(QDir::Files))
                if (!origin.contains(hash(p.file(n))))
                    origin.insert(hash(p.file(n)), take ? QStringLiteral("t%1").arg(n.mid(7, 2).toInt()) : n.section(QLatin1Char('.'), 0, 0));
        };
        scan(true);
        const QMap<QString, QByteArray> before = sha1Folder(p.target);
        Relay relay;
        QStringList trace;
        for (const QString& step : steps.split(QStringLiteral("; "))) {
            const QStringList w = step.split(QLatin1Char(' '));
            const QStringList ids = w.value(2) == QLatin1String("-") ? QStringList() : w.value(2).split(QLatin1Char(','));
            const QString folder = w.value(3) == QLatin1String("empty") ? p.dir.path() + QStringLiteral("/empty") : p.target;
            const int track = w.value(1).toInt();
            relay.clear();
            WorkflowResult r;
            if (w[0] == QLatin1String("create")) {
                CreateTrackRequest c;   // name "_": empty, "-": the source has no name entry
                std::tie(c.targetFolder, c.sourcePath, c.trackIndex, c.fileIds)
                    = std::make_tuple(folder, w.value(3) == QLatin1String("nosource") ? QString() : p.source, track - 1, ids);
                c.trackName = w.size() > 3 && w[3] != QLatin1String("_") ? w[3] : w.size() > 3 ? QString() : QStringLiteral("Boom");
                c.hasTrackName = w.value(3) != QLatin1String("-");
                r = CreateTrackWorkflow().Run(c);
            }
            else if (w[0] == QLatin1String("hide"))
                r = hideTrack(folder, track, ids);
            else if (w[0] == QLatin1String("restore"))
                r = restoreTrack(folder, track, ids);
            else if (w[0] == QLatin1String("rm"))
                QVERIFY(QFile::remove(p.file(w[1])));
            else if (w[0] == QLatin1String("cp"))
                QVERIFY(QFile::copy(p.file(w[1]), p.file(w[2])));
            else if (w[0] == QLatin1String("write"))
                QVERIFY(RecorderFileWriter::write(p.file(w[1]), RecorderFileWriter::monoTrackSpec(spec(48000, 24, 9600, kTen, 100), 5, 5)));
            else if (w[0] == QLatin1String("poly"))
                QVERIFY(RecorderFileWriter::write(p.file(QStringLiteral("AA0002PX.WAV")), [] {
                    RecorderFileSpec s = spec(48000, 24, 9600, kTen);
                    s.channels = 2;
                    return s;
                }()));
            else if (w[0] == QLatin1String("wait"))
                QTest::qWait(20);   // a later change time
            if (w[0] == QLatin1String("poly") || w[0] == QLatin1String("write"))
                scan(false);
            if (!QStringList{"create", "hide", "restore"}.contains(w[0]))
                continue;
            QStringList said;
            for (int i = 0; i < relay.count(); ++i)
                said << QStringLiteral(" | %1: %2 (%3)").arg(relay.title(i), QString(relay.text(i)).replace(p.target, QStringLiteral("%T")), QString::number(relay.kind(i)));
            const QStringList files = r.createdFiles + r.hiddenFiles + r.restoredFiles;
            trace << QStringLiteral("%1 %2: %3").arg(w[0], w[1], QLatin1String(r.success ? "ok" : "failed"))
                    + (files.isEmpty() ? QString() : QLatin1Char(' ') + files.join(QLatin1Char(','))) + said.join(QString());
        }
        QTEST(trace.join(QStringLiteral("; ")), "trace");
        QStringList listing;
        for (const QString& n : QDir(p.target).entryList(QDir::Files))
            listing << n + QLatin1Char('=')
                    + origin.value(
                        hash(p.file(n)), QStringLiteral("new:") + ixmlValue(p.file(n), QStringLiteral("TRACK_LIST/TRACK/NAME")))
                    + (n.endsWith(QLatin1String(".WAV")) ? QLatin1Char('/') + totalFiles(p.file(n)) : QString());
        const QString tracks = allTracks(p.track(QFile::exists(p.track(1)) ? 1 : 2), {0, 1, 2, 3, 4});
        QTEST(sha1Folder(p.target) == before ? QStringLiteral("unchanged") : listing.join(QLatin1Char(' ')) + QStringLiteral(" | ") + tracks,
              "listing");
    }
    // Every action is logged, a failed one as failed; a log that cannot be written only warns.
    void everyActionIsLogged()
    {
        Project p(4);
        Relay relay;
        QVERIFY(p.create(5).success);
        QCOMPARE(logLines(QStringLiteral("create --track 5 BOOM.WAV")),
                 QStringList({"write AA0001_05.WAV ok", "update iXML AA0001_01.WAV ok", "update iXML AA0001_02.WAV ok",
                              "update iXML AA0001_03.WAV ok", "update iXML AA0001_04.WAV ok", "update iXML AA0001_05.WAV ok"}));
        QVERIFY(QDateTime::fromString(ActionLog::ReadAll().first().value(QStringLiteral("time")).toString(), Qt::ISODateWithMs).isValid());
        QVERIFY(ActionLog::FilePath().startsWith(m_data->path() + QLatin1Char('/')));
        {
            Faults failing;
            QVERIFY(hideTrack(p.target, 2, kOne).success);
            failing.refuseRename = true;
            QVERIFY(!restoreTrack(p.target, 2, kOne).success);
        }
        QCOMPARE(logLines(QStringLiteral("delete --track 2")).mid(0, 1) + logLines(QStringLiteral("restore --track 2")),
                 QStringList({"hide AA0001_02.WAV -> AA0001_02.DEL1 ok", "restore AA0001_02.DEL1 -> AA0001_02.WAV failed"}));
        QVERIFY(QFile::exists(p.file(QStringLiteral("AA0001_02.DEL1"))));
        // A log that cannot be written (the data folder is a plain file): one warning for the process, never a failure.
        relay.clear();
        QVERIFY(writeFile(m_data->path() + QStringLiteral("/not-a-folder"), "x"));
        qputenv("XDG_DATA_HOME", (m_data->path() + QStringLiteral("/not-a-folder")).toUtf8());
        QVERIFY(hideTrack(p.target, 1, kOne).success && restoreTrack(p.target, 1, kOne).success);
        QCOMPARE(QStringLiteral("%1 %2 ").arg(relay.count()).arg(relay.kind(0)) + relay.title(0)
                     + relay.text(0).section(QLatin1Char('\n'), -1),
                 QStringLiteral("1 2 ActionLog::Append()The action log cannot be written; the work itself goes on."));
    }
};

QTEST_MAIN(TestWorkflows)
#include "tst_workflows.moc"
