// SPDX-License-Identifier: GPL-3.0-or-later
// Undo of a hide (restore workflow and `sonalign-cli restore`) and the action
// log every workflow appends to.

#include "InsertionFixtures.h"
#include "TestSupport.h"

#include "ActionLog.h"
#include "FileWriteSeam.h"
#include "QSoundFile.h"
#include "TrackWorkflows.h"

#include <QDomDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using namespace fixtures;

namespace {

const quint64 kTen = 10 * kHour * 48000;
const QString kRestoreTitle = QStringLiteral("MainWindow::OnPushButton_RestoreSoundTrack()");

// Takes of four mono tracks with names and pans of their own.
struct Project
{
    QTemporaryDir dir;
    QString target;
    QString source;

    explicit Project(const QStringList& roots = {QStringLiteral("AA0001")})
    {
        target = dir.path() + QStringLiteral("/Day1");
        QDir().mkpath(target);
        RecorderFileSpec s = spec(48000, 24, 9600, kTen);
        s.ixml.allTrackNames = QStringList{QStringLiteral("Mix"), QStringLiteral("Boom"), QStringLiteral("Lav A"),
                                           QStringLiteral("Lav B")};
        s.ixml.allTrackPanPot = QStringList{QStringLiteral("0"), QStringLiteral("-20"), QStringLiteral("35"),
                                            QStringLiteral("0")};
        for (const QString& root : roots)
            RecorderFileWriter::writeMonoTake(target, root, 4, s);
        source = dir.path() + QStringLiteral("/BOOM.WAV");
        writeSource(source, 48000, 24, 48000, kTen - 1000);
    }
    QString file(const QString& name) const { return target + QLatin1Char('/') + name; }
};

WorkflowResult hide(const Project& p, int track, const QStringList& ids) { return hideTrack(p.target, track, ids); }

WorkflowResult restore(const Project& p, int track, const QStringList& ids)
{
    RestoreTrackRequest r{p.target, track - 1, ids, {}};
    RestoreTrackWorkflow w;
    return w.Run(r);
}

WorkflowResult create(const Project& p, int track, const QString& id)
{
    return createTrack(p.target, p.source, track, {id}, QStringLiteral("New"));
}

// Every chunk but the iXML (and the JUNK / filler chunks an iXML rewrite may
// leave), as "id:sha1" in file order.
QStringList chunksButIxml(const QByteArray& file)
{
    QStringList out;
    for (const Chunk& c : walk(file)) {
        if (c.id == "iXML" || c.id == "JUNK" || c.id == "FLLR" || c.id == "filr")
            continue;
        out << QString::fromLatin1(c.id) + QLatin1Char(':')
                   + QString::fromLatin1(QCryptographicHash::hash(file.mid(int(c.offset + 8), int(c.size)),
                                                                  QCryptographicHash::Sha1).toHex());
    }
    return out;
}

struct TrackInfo
{
    int totalFiles = -1;
    QStringList names;   // per track index 0..3
    QStringList pans;
};

TrackInfo infoOf(const QString& path)
{
    TrackInfo t;
    QSoundFile f;
    if (!f.Open(path, 0) || !f.ReadChunks(true, false) || !f.GetiXMLFileInfos())
        return t;
    t.totalFiles = xmlValue(ixmlText(path), QStringLiteral("FILE_SET/TOTAL_FILES")).toInt();
    for (int i = 0; i < 4; ++i) {
        t.names << f.GetiXMLVeltaTracknames(i).trimmed();
        t.pans << f.GetiXMLVeltaTrackPanPot(i).trimmed();
    }
    f.Close();
    return t;
}

QStringList logLines(const QString& command)
{
    QStringList out;
    for (const QJsonObject& o : ActionLog::ReadAll())
        if (o.value(QStringLiteral("command")).toString() == command)
            out << o.value(QStringLiteral("action")).toString() + QLatin1Char(' ')
                       + QFileInfo(o.value(QStringLiteral("file")).toString()).fileName()
                       + (o.contains(QStringLiteral("to"))
                              ? QStringLiteral(" -> ") + QFileInfo(o.value(QStringLiteral("to")).toString()).fileName()
                              : QString())
                       + QLatin1Char(' ') + o.value(QStringLiteral("result")).toString();
    return out;
}

} // namespace

class TestRestore : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_data.reset(new QTemporaryDir);
        qputenv("XDG_DATA_HOME", m_data->path().toUtf8());
    }

    void roundTripGivesTheTrackBackByteForByte_data();
    void roundTripGivesTheTrackBackByteForByte();
    void newestHiddenFileComesBack();
    void occupiedTrackRefusesAndChangesNothing();
    void takeWithoutHiddenFileIsPassedOver();
    void everyActionIsLogged();
    void unwritableLogOnlyWarns();
    void commandLine_data();
    void commandLine();
    void everyCommandHasHelpAndAVersion_data();
    void everyCommandHasHelpAndAVersion();

private:
    std::unique_ptr<QTemporaryDir> m_data;
};

void TestRestore::roundTripGivesTheTrackBackByteForByte_data()
{
    QTest::addColumn<int>("track");
    QTest::newRow("middle track") << 3;
    QTest::newRow("first track") << 1;
    QTest::newRow("last track") << 4;
}

void TestRestore::roundTripGivesTheTrackBackByteForByte()
{
    QFETCH(int, track);
    Project p;
    Relay relay;
    const QString name = QStringLiteral("AA0001_0%1.WAV").arg(track);
    const QByteArray before = readFile(p.file(name));
    const TrackInfo own = infoOf(p.file(name));
    QCOMPARE(own.names.at(track - 1), QStringList({"Mix", "Boom", "Lav A", "Lav B"}).at(track - 1));

    QVERIFY(hide(p, track, {QStringLiteral("AA0001")}).success);
    QVERIFY(!QFile::exists(p.file(name)));
    QCOMPARE(infoOf(p.file(track == 1 ? QStringLiteral("AA0001_02.WAV") : QStringLiteral("AA0001_01.WAV"))).totalFiles, 3);

    const WorkflowResult r = restore(p, track, {QStringLiteral("AA0001")});
    QVERIFY2(r.success, qPrintable(relay.all()));
    QCOMPARE(r.restoredFiles, QStringList{name});
    QCOMPARE(relay.count(), 0);

    const QByteArray after = readFile(p.file(name));
    QCOMPARE(body(after, "data"), body(before, "data"));
    QCOMPARE(chunksButIxml(after), chunksButIxml(before));
    // Every file of the take agrees again: four files, the restored track
    // with its own name and pan.
    for (int t = 1; t <= 4; ++t) {
        const TrackInfo info = infoOf(p.file(QStringLiteral("AA0001_0%1.WAV").arg(t)));
        QCOMPARE(info.totalFiles, 4);
        QCOMPARE(info.names, (QStringList{"Mix", "Boom", "Lav A", "Lav B"}));
        QCOMPARE(info.pans.at(track - 1), own.pans.at(track - 1));
    }
}

void TestRestore::newestHiddenFileComesBack()
{
    Project p;
    Relay relay;
    const QByteArray original = body(readFile(p.file(QStringLiteral("AA0001_03.WAV"))), "data");
    QVERIFY(hide(p, 3, {QStringLiteral("AA0001")}).success);           // original -> .DEL1
    QTest::qWait(20);                                                   // a later change time
    QVERIFY(create(p, 3, QStringLiteral("AA0001")).success);            // a new track 3 from the source
    const QByteArray created = body(readFile(p.file(QStringLiteral("AA0001_03.WAV"))), "data");
    QVERIFY(created != original);
    QVERIFY(hide(p, 3, {QStringLiteral("AA0001")}).success);           // new one -> .DEL2
    QCOMPARE(RestoreTrackWorkflow::NewestHiddenFile(p.file(QStringLiteral("AA0001")), 3),
             p.file(QStringLiteral("AA0001_03.DEL2")));

    QVERIFY(restore(p, 3, {QStringLiteral("AA0001")}).success);
    QCOMPARE(body(readFile(p.file(QStringLiteral("AA0001_03.WAV"))), "data"), created);
    QVERIFY(QFile::exists(p.file(QStringLiteral("AA0001_03.DEL1"))));
    QCOMPARE(infoOf(p.file(QStringLiteral("AA0001_03.WAV"))).names.at(2), QStringLiteral("New"));

    // After hidden files were removed by hand the first free number is not
    // the highest: the newest hide (.DEL1 here) still comes back, .DEL2 stays.
    QTest::qWait(20);
    QVERIFY(hide(p, 3, {QStringLiteral("AA0001")}).success);            // created -> .DEL2
    QVERIFY(QFile::remove(p.file(QStringLiteral("AA0001_03.DEL1"))));
    QTest::qWait(20);
    QVERIFY(create(p, 3, QStringLiteral("AA0001")).success);
    QVERIFY(hide(p, 3, {QStringLiteral("AA0001")}).success);            // -> .DEL1, the newest
    QVERIFY(restore(p, 3, {QStringLiteral("AA0001")}).success);
    QVERIFY(!QFile::exists(p.file(QStringLiteral("AA0001_03.DEL1"))));
    QVERIFY(QFile::exists(p.file(QStringLiteral("AA0001_03.DEL2"))));
}

void TestRestore::occupiedTrackRefusesAndChangesNothing()
{
    Project p({QStringLiteral("AA0001"), QStringLiteral("AA0002")});
    Relay relay;
    QVERIFY(hide(p, 2, {QStringLiteral("AA0001")}).success);
    const auto before = sha1Folder(p.target);
    // AA0002 still has its track 2: the whole run is refused, AA0001 included.
    const WorkflowResult r = restore(p, 2, {QStringLiteral("AA0001"), QStringLiteral("AA0002")});
    QVERIFY(!r.success);
    QCOMPARE(sha1Folder(p.target), before);
    QCOMPARE(relay.count(), 1);
    QCOMPARE(relay.title(0), kRestoreTitle);
    QCOMPARE(relay.text(0), p.file(QStringLiteral("AA0002_02.WAV")) + QStringLiteral("\nTrack 2 is occupied: nothing was restored."));
    QVERIFY(logLines(QStringLiteral("restore --track 2")).isEmpty());
}

void TestRestore::takeWithoutHiddenFileIsPassedOver()
{
    Project p({QStringLiteral("AA0001"), QStringLiteral("AA0002")});
    Relay relay;
    QVERIFY(hide(p, 4, {QStringLiteral("AA0001"), QStringLiteral("AA0002")}).success);
    QVERIFY(QFile::remove(p.file(QStringLiteral("AA0002_04.DEL1"))));
    const QByteArray untouched = readFile(p.file(QStringLiteral("AA0002_01.WAV")));
    relay.clear();
    const WorkflowResult r = restore(p, 4, {QStringLiteral("AA0002"), QStringLiteral("AA0001")});
    QVERIFY(r.success);
    QCOMPARE(r.restoredFiles, QStringList{QStringLiteral("AA0001_04.WAV")});
    QCOMPARE(relay.texts(), QStringList{QStringLiteral("AA0002\nNo hidden file of track 4: this take was passed over.")});
    QCOMPARE(relay.kind(0), 2);
    QCOMPARE(readFile(p.file(QStringLiteral("AA0002_01.WAV"))), untouched);
    QCOMPARE(infoOf(p.file(QStringLiteral("AA0001_01.WAV"))).totalFiles, 4);
}

void TestRestore::everyActionIsLogged()
{
    Project p;
    Relay relay;
    QVERIFY(create(p, 5, QStringLiteral("AA0001")).success);
    QVERIFY(hide(p, 2, {QStringLiteral("AA0001")}).success);
    QVERIFY(restore(p, 2, {QStringLiteral("AA0001")}).success);
    QCOMPARE(logLines(QStringLiteral("create --track 5 BOOM.WAV")),
             (QStringList{"write AA0001_05.WAV ok", "update iXML AA0001_01.WAV ok", "update iXML AA0001_02.WAV ok",
                          "update iXML AA0001_03.WAV ok", "update iXML AA0001_04.WAV ok",
                          "update iXML AA0001_05.WAV ok"}));
    QCOMPARE(logLines(QStringLiteral("delete --track 2")),
             (QStringList{"hide AA0001_02.WAV -> AA0001_02.DEL1 ok", "update iXML AA0001_01.WAV ok",
                          "update iXML AA0001_03.WAV ok", "update iXML AA0001_04.WAV ok",
                          "update iXML AA0001_05.WAV ok"}));
    QCOMPARE(logLines(QStringLiteral("restore --track 2")).first(), QStringLiteral("restore AA0001_02.DEL1 -> AA0001_02.WAV ok"));
    QCOMPARE(logLines(QStringLiteral("restore --track 2")).size(), 6);
    const QList<QJsonObject> all = ActionLog::ReadAll();
    QVERIFY(QDateTime::fromString(all.first().value(QStringLiteral("time")).toString(), Qt::ISODateWithMs).isValid());
    QVERIFY(ActionLog::FilePath().startsWith(m_data->path() + QLatin1Char('/')));
    // A failed rename is logged as failed.
    QVERIFY(QFile::copy(p.file(QStringLiteral("AA0001_03.WAV")), p.file(QStringLiteral("AA0001_06.DEL1"))));
    {
        Faults failing;
        failing.refuseRename = true;
        QVERIFY(!restore(p, 6, {QStringLiteral("AA0001")}).success);
    }
    QCOMPARE(logLines(QStringLiteral("restore --track 6")), QStringList{"restore AA0001_06.DEL1 -> AA0001_06.WAV failed"});
    QVERIFY(QFile::exists(p.file(QStringLiteral("AA0001_06.DEL1"))));
}

void TestRestore::unwritableLogOnlyWarns()
{
    Project p;
    Relay relay;
    // The data folder is a plain file: no log can be made below it.
    const QString blocker = m_data->path() + QStringLiteral("/not-a-folder");
    QVERIFY(writeFile(blocker, "x"));
    qputenv("XDG_DATA_HOME", blocker.toUtf8());
    QVERIFY(hide(p, 1, {QStringLiteral("AA0001")}).success);
    QVERIFY(restore(p, 1, {QStringLiteral("AA0001")}).success);
    // One warning for the whole process, never a failure.
    QCOMPARE(relay.count(), 1);
    QCOMPARE(relay.kind(0), 2);
    QCOMPARE(relay.title(0), QStringLiteral("ActionLog::Append()"));
    QVERIFY(relay.text(0).endsWith(QStringLiteral("\nThe action log cannot be written; the work itself goes on.")));
}

void TestRestore::commandLine_data()
{
    QTest::addColumn<QStringList>("args");      // after "restore"; %T = target folder
    QTest::addColumn<bool>("hideFirst");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("errEnd");
    QTest::newRow("restores") << QStringList{"--track", "2", "%T", "AA0001"} << true << 0 << "AA0001_02.WAV\n" << "";
    QTest::newRow("occupied") << QStringList{"--track", "2", "%T", "AA0001"} << false << 1 << ""
                              << "Track 2 is occupied: nothing was restored.\n";
    QTest::newRow("track out of range") << QStringList{"--track", "25", "%T", "AA0001"} << true << 2 << ""
                                        << "usage: sonalign-cli restore --track N TARGET_FOLDER FILE_ID...\n";
    QTest::newRow("no file id") << QStringList{"--track", "2", "%T"} << true << 2 << ""
                                << "usage: sonalign-cli restore --track N TARGET_FOLDER FILE_ID...\n";
    QTest::newRow("help") << QStringList{"--help"} << false << 0
                          << "usage: sonalign-cli restore --track N TARGET_FOLDER FILE_ID...\n\nUndoes a hide: the newest "
                             "hidden file (.DELn) of track N of each take becomes its .WAV again, then every file of the "
                             "take agrees again. Refused, changing nothing, when track N of a take is occupied.\n"
                          << "";
}

void TestRestore::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(bool, hideFirst);
    Project p;
    {
        Relay relay;
        if (hideFirst)
            QVERIFY(hide(p, 2, {QStringLiteral("AA0001")}).success);
    }
    args.replaceInStrings(QStringLiteral("%T"), p.target);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_data->path());
    const auto before = sha1Folder(p.target);
    const testsupport::ProcessResult r = testsupport::run(testsupport::cliPath(), QStringList{"restore"} + args, 60000, env);
    QTEST(r.exitCode, "exitCode");
    QTEST(QString::fromUtf8(r.out), "out");
    QFETCH(QString, errEnd);
    QVERIFY2(errEnd.isEmpty() ? r.err.isEmpty() : QString::fromUtf8(r.err).endsWith(errEnd), r.err.constData());
    QFETCH(int, exitCode);
    if (exitCode != 0 || args.contains(QStringLiteral("--help")))
        QCOMPARE(sha1Folder(p.target), before);
    else   // the tool writes to the same log as the window
        QCOMPARE(ActionLog::ReadAll(m_data->path() + QStringLiteral("/sonalign/actions.jsonl")).first()
                     .value(QStringLiteral("action")).toString(), QStringLiteral("restore"));
}

void TestRestore::everyCommandHasHelpAndAVersion_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<QString>("contains");
    QTest::newRow("version") << QStringList{"--version"} << "sonalign-cli 1.14" << "";
    QTest::newRow("tool help") << QStringList{"--help"} << "usage: sonalign-cli COMMAND [ARGS]"
                               << "  restore --track N TARGET_FOLDER FILE_ID...\n      Undoes a hide";
    for (const char* command : {"info", "list", "analyse", "create", "delete", "restore", "verify", "demo"})
        QTest::newRow(command) << QStringList{QString::fromLatin1(command), "--help"}
                               << QStringLiteral("usage: sonalign-cli ") + QLatin1String(command) + QLatin1Char(' ')
                               << "\n\n";
    QTest::newRow("help after other arguments") << QStringList{"create", "--track", "3", "--help"}
                                                << "usage: sonalign-cli create --track N [--name NAME] [--channel K] "
                                                   "[--dither tpdf [--dither-seed S]] SOURCE_FILE TARGET_FOLDER FILE_ID..."
                                                << "\n\nWrites track N of each take";
}

void TestRestore::everyCommandHasHelpAndAVersion()
{
    QFETCH(QStringList, args);
    QFETCH(QString, contains);
    const testsupport::ProcessResult r = testsupport::run(testsupport::cliPath(), args);
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.isEmpty());
    const QString out = QString::fromUtf8(r.out);
    QFETCH(QString, firstLine);
    QVERIFY2(out.startsWith(firstLine + (args.contains(QStringLiteral("--version")) ? QStringLiteral("\n") : QString())),
             qPrintable(out));
    QVERIFY2(out.contains(contains), qPrintable(out));
    // Each command's help says what it does, in one line after the usage.
    if (args.size() == 2 && args.last() == QLatin1String("--help"))
        QCOMPARE(out.count(QLatin1Char('\n')), 3);
}

QTEST_GUILESS_MAIN(TestRestore)
#include "tst_restore.moc"
