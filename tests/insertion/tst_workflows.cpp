// SPDX-License-Identifier: GPL-3.0-or-later
// Create and delete workflows: new tracks, hidden tracks and the iXML update
// pass that makes every file of a take agree again.

#include "InsertionFixtures.h"
#include "TestSupport.h"

#include "TrackWorkflows.h"

#include <QDomDocument>
#include <QTemporaryDir>
#include <QtTest>

using namespace fixtures;

namespace {

const quint64 kTen = 10 * kHour * 48000;

struct TrkEntry
{
    QString name, active, grid, pan;
};

QDomDocument ixmlDoc(const QString& path)
{
    QDomDocument d;
    d.setContent(QString::fromUtf8(body(readFile(path), "iXML")).trimmed());
    return d;
}

QString value(const QDomDocument& d, const QString& path)
{
    QDomElement e = d.documentElement();
    for (const QString& part : path.split(QLatin1Char('/'))) {
        e = e.firstChildElement(part);
        if (e.isNull())
            return QStringLiteral("<missing>");
    }
    return e.text();
}

// VELTA_PAVANE/ALL_TRK_NAME entries by INDICE, texts trimmed.
QMap<int, TrkEntry> allTracks(const QDomDocument& d)
{
    QMap<int, TrkEntry> m;
    const QDomElement list = d.documentElement().firstChildElement(QStringLiteral("VELTA_PAVANE"))
                                 .firstChildElement(QStringLiteral("ALL_TRK_NAME"));
    for (QDomElement e = list.firstChildElement(QStringLiteral("DATA")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("DATA"))) {
        TrkEntry t;
        t.name = e.firstChildElement(QStringLiteral("NAME")).text().trimmed();
        t.active = e.firstChildElement(QStringLiteral("ACTIVE")).text().trimmed();
        t.grid = e.firstChildElement(QStringLiteral("IN_GRID")).text().trimmed();
        t.pan = e.firstChildElement(QStringLiteral("PAN_POT")).text().trimmed();
        m.insert(e.firstChildElement(QStringLiteral("INDICE")).text().toInt(), t);
    }
    return m;
}

QByteArray dataSha1(const QString& path)
{
    return QCryptographicHash::hash(body(readFile(path), "data"), QCryptographicHash::Sha1).toHex();
}

struct Project
{
    QTemporaryDir dir;
    QString target;
    QString source;

    explicit Project(int tracks = 2, const QStringList& roots = {QStringLiteral("AA0001")})
    {
        target = dir.path() + QStringLiteral("/Day1");
        QDir().mkpath(target);
        for (const QString& root : roots)
            RecorderFileWriter::writeMonoTake(target, root, tracks, spec(48000, 24, 9600, kTen));
        source = dir.path() + QStringLiteral("/Src/BOOM.WAV");
        QDir().mkpath(dir.path() + QStringLiteral("/Src"));
        writeSource(source, 48000, 24, 48000, kTen - 1000);
    }
    QString file(const QString& name) const { return target + QLatin1Char('/') + name; }
};

WorkflowResult create(const Project& p, int t, const QStringList& ids, const QString& name = QStringLiteral("Boom"),
                      bool hasName = true)
{
    CreateTrackRequest r;
    r.targetFolder = p.target;
    r.sourcePath = p.source;
    r.trackIndex = t;
    r.fileIds = ids;
    r.trackName = name;
    r.hasTrackName = hasName;
    CreateTrackWorkflow w;
    return w.Run(r);
}

WorkflowResult hide(const QString& folder, int t, const QStringList& ids)
{
    DeleteTrackRequest r;
    r.targetFolder = folder;
    r.trackIndex = t;
    r.fileIds = ids;
    DeleteTrackWorkflow w;
    return w.Run(r);
}

const QString kCreateTitle = QStringLiteral("MainWindow::OnPushButton_CreateSoundTrack()");
const QString kDeleteTitle = QStringLiteral("MainWindow::OnPushButton_DeleteSoundTrack()");

} // namespace

class TestWorkflows : public QObject
{
    Q_OBJECT

private slots:
    void createThirdTrackAllFilesAgree();
    void createEmptyNameAndDefaultNames();
    void createOccupiedTrackChangesNothing();
    void createStopsAtPolyTake();
    void createPreconditions_data();
    void createPreconditions();
    void createSignals();
    void deleteHidesAndUpdates();
    void deleteNeverReplacesHiddenFiles();
    void deletePassesOverTakeWithoutTrack();
    void deleteFailures();
};

void TestWorkflows::createThirdTrackAllFilesAgree()
{
    Project p;
    const QByteArray data1 = dataSha1(p.file(QStringLiteral("AA0001_01.WAV")));
    const QByteArray data2 = dataSha1(p.file(QStringLiteral("AA0001_02.WAV")));
    const qint64 size1 = QFileInfo(p.file(QStringLiteral("AA0001_01.WAV"))).size();
    Relay relay;
    const WorkflowResult r = create(p, 2, {QStringLiteral("AA0001")});
    QVERIFY2(r.success, qPrintable(relay.all()));
    QCOMPARE(relay.count(), 0);
    QCOMPARE(r.createdFiles, QStringList{QStringLiteral("AA0001_03.WAV")});
    QCOMPARE(r.takesHandled, 1);

    for (int n = 1; n <= 3; ++n) {
        const QString path = p.file(QStringLiteral("AA0001_0%1.WAV").arg(n));
        const QDomDocument d = ixmlDoc(path);
        QCOMPARE(value(d, QStringLiteral("FILE_SET/TOTAL_FILES")), QStringLiteral("3"));
        QCOMPARE(value(d, QStringLiteral("TRACK_LIST/TRACK/CHANNEL_INDEX")), QString::number(n));
        const QMap<int, TrkEntry> all = allTracks(d);
        QCOMPARE(all.value(0).name, QStringLiteral("Trk1"));
        QCOMPARE(all.value(0).active, QStringLiteral("YES"));
        QCOMPARE(all.value(1).name, QStringLiteral("Trk2"));
        QCOMPARE(all.value(1).active, QStringLiteral("YES"));
        QCOMPARE(all.value(2).name, QStringLiteral("Boom"));
        QCOMPARE(all.value(2).pan, QStringLiteral("0,0"));
        QCOMPARE(all.value(2).grid, QString());
        QCOMPARE(all.value(2).active, QStringLiteral("YES"));
        // Tracks without a file: nothing was read for them.
        QCOMPARE(all.value(5).active, QString());
        QCOMPARE(all.size(), 24);
        // The recorder's 61440-byte chunk is rewritten in place.
        QCOMPARE(body(readFile(path), "iXML").size(), 61440);
    }
    QCOMPARE(value(ixmlDoc(p.file(QStringLiteral("AA0001_03.WAV"))), QStringLiteral("TRACK_LIST/TRACK/NAME")),
             QStringLiteral("Boom"));
    // The take's own audio and sizes did not move.
    QCOMPARE(dataSha1(p.file(QStringLiteral("AA0001_01.WAV"))), data1);
    QCOMPARE(dataSha1(p.file(QStringLiteral("AA0001_02.WAV"))), data2);
    QCOMPARE(QFileInfo(p.file(QStringLiteral("AA0001_01.WAV"))).size(), size1);
    QCOMPARE(QFileInfo(p.file(QStringLiteral("AA0001_03.WAV"))).size(), size1);
}

void TestWorkflows::createEmptyNameAndDefaultNames()
{
    Project p(1, {QStringLiteral("AA0001"), QStringLiteral("AA0002")});
    {
        Relay relay;
        const WorkflowResult r = create(p, 2, {QStringLiteral("AA0002"), QStringLiteral("AA0001")}, QString(), false);
        QVERIFY2(r.success, qPrintable(relay.all()));
    }
    // No name entry: "SONALIGN <position in the tag list>".
    QCOMPARE(value(ixmlDoc(p.file(QStringLiteral("AA0002_03.WAV"))), QStringLiteral("TRACK_LIST/TRACK/NAME")),
             QStringLiteral("SONALIGN 0"));
    QCOMPARE(allTracks(ixmlDoc(p.file(QStringLiteral("AA0001_01.WAV")))).value(2).name, QStringLiteral("SONALIGN 1"));

    // An empty name: "T3" in the track list, a blank in the vendor table of every file.
    Relay relay;
    const WorkflowResult r = create(p, 3, {QStringLiteral("AA0001")}, QString(), true);
    QVERIFY2(r.success, qPrintable(relay.all()));
    const QString made = p.file(QStringLiteral("AA0001_04.WAV"));
    QCOMPARE(value(ixmlDoc(made), QStringLiteral("TRACK_LIST/TRACK/NAME")), QStringLiteral("T4"));
    for (const QString& f : {QStringLiteral("AA0001_01.WAV"), QStringLiteral("AA0001_03.WAV"), QStringLiteral("AA0001_04.WAV")}) {
        const QDomDocument d = ixmlDoc(p.file(f));
        QCOMPARE(allTracks(d).value(3).name, QString());
        QCOMPARE(allTracks(d).value(3).active, QStringLiteral("YES"));
        QCOMPARE(value(d, QStringLiteral("FILE_SET/TOTAL_FILES")), QStringLiteral("3"));
    }
    QVERIFY(readFile(made).mid(20, 256).contains("\r\naTRK4=\r\n"));
}

void TestWorkflows::createOccupiedTrackChangesNothing()
{
    Project p;
    const QMap<QString, QByteArray> before = sha1Folder(p.target);
    Relay relay;
    const WorkflowResult r = create(p, 1, {QStringLiteral("AA0001")});
    QVERIFY(!r.success);
    QCOMPARE(relay.texts(), QStringList({QStringLiteral("AA0001 \nTargeted track #2 is not empty. Process aborted."),
                                         QStringLiteral("AA0001\nError during bounce Sonalign process.")}));
    QCOMPARE(relay.title(0), QStringLiteral("QSoundMixer::SonalignMono()"));
    QCOMPARE(relay.title(1), kCreateTitle);
    QCOMPARE(relay.kind(1), 0);
    QCOMPARE(sha1Folder(p.target), before);
}

void TestWorkflows::createStopsAtPolyTake()
{
    Project p;
    RecorderFileSpec poly = spec(48000, 24, 9600, kTen);
    poly.channels = 2;
    poly.ixml.polyTrackNames = QStringList{QStringLiteral("L"), QStringLiteral("R")};
    QVERIFY(RecorderFileWriter::write(p.file(QStringLiteral("AA0002PX.WAV")), poly));
    const QByteArray polyBefore = testsupport::sha1Of(p.file(QStringLiteral("AA0002PX.WAV")));
    Relay relay;
    const WorkflowResult r = create(p, 2, {QStringLiteral("AA0001"), QStringLiteral("AA0002")});
    QVERIFY(!r.success);
    QCOMPARE(relay.texts(),
             QStringList{QStringLiteral("AA0002\nOnly monophonic file can be used as target in the process.")});
    QCOMPARE(relay.title(0), kCreateTitle);
    // The first take is done, iXML update included.
    QCOMPARE(r.createdFiles, QStringList{QStringLiteral("AA0001_03.WAV")});
    QCOMPARE(value(ixmlDoc(p.file(QStringLiteral("AA0001_01.WAV"))), QStringLiteral("FILE_SET/TOTAL_FILES")),
             QStringLiteral("3"));
    QCOMPARE(testsupport::sha1Of(p.file(QStringLiteral("AA0002PX.WAV"))), polyBefore);
}

void TestWorkflows::createPreconditions_data()
{
    QTest::addColumn<bool>("withSource");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QString>("messages");   // "title|text" joined by " || "
    QTest::newRow("no source, no take")
        << false << QStringList()
        << QStringLiteral("QMainWindow::OnPushButton_CreateSoundTrack()|No file selected in target zone\n Use Analyse to identify the compatible target takes.");
    QTest::newRow("no take") << true << QStringList()
                             << QStringLiteral("QMainWindow::OnPushButton_CreateSoundTrack()|No file selected in target zone\n Use Analyse to identify the compatible target takes.");
    QTest::newRow("no source: the window has said it") << false << QStringList{QStringLiteral("AA0001")} << QString();
    QTest::newRow("unknown tag") << true << QStringList{QStringLiteral("ZZ0001")}
                                 << QStringLiteral("MainWindow::OnPushButton_CreateSoundTrack()|ZZ0001\nNo corresponding file found matching with this tag.");
    QTest::newRow("a file ID is matched whole, case-sensitive")
        << true << QStringList{QStringLiteral("aa0001")}
        << QStringLiteral("MainWindow::OnPushButton_CreateSoundTrack()|aa0001\nNo corresponding file found matching with this tag.");
}

void TestWorkflows::createPreconditions()
{
    QFETCH(bool, withSource);
    QFETCH(QStringList, ids);
    QFETCH(QString, messages);
    Project p;
    const QMap<QString, QByteArray> before = sha1Folder(p.target);
    Relay relay;
    CreateTrackRequest r;
    r.targetFolder = p.target;
    r.sourcePath = withSource ? p.source : QString();
    r.trackIndex = 2;
    r.fileIds = ids;
    CreateTrackWorkflow w;
    const WorkflowResult res = w.Run(r);
    QVERIFY(!res.success);
    QStringList got;
    for (int i = 0; i < relay.count(); ++i)
        got << relay.title(i) + QLatin1Char('|') + relay.text(i);
    QCOMPARE(got.join(QStringLiteral(" || ")), messages);
    if (!messages.isEmpty())
        QCOMPARE(relay.kind(0), ids.isEmpty() ? 1 : 0);
    QCOMPARE(sha1Folder(p.target), before);
}

void TestWorkflows::createSignals()
{
    Project p(1, {QStringLiteral("AA0001"), QStringLiteral("AA0002")});
    Relay relay;
    CreateTrackRequest r;
    r.targetFolder = p.target;
    r.sourcePath = p.source;
    r.trackIndex = 1;
    r.fileIds = QStringList{QStringLiteral("AA0001"), QStringLiteral("AA0002")};
    bool busy = true;
    r.keepGoing = &busy;
    CreateTrackWorkflow w;
    QSignalSpy count(&w, &CreateTrackWorkflow::signal_TakeCount);
    QSignalSpy done(&w, &CreateTrackWorkflow::signal_TakesDone);
    QSignalSpy progress(&w, &CreateTrackWorkflow::signal_ProgressSize);
    QVERIFY(w.Run(r).success);
    QCOMPARE(count.count(), 1);
    QCOMPARE(count.at(0).at(0).toInt(), 2);
    QCOMPARE(done.count(), 2);
    QCOMPARE(done.at(1).at(0).toInt(), 2);
    QVERIFY(progress.count() >= 2);
    QCOMPARE(progress.last().at(0).toLongLong(), 100);
    QVERIFY(busy);
}

void TestWorkflows::deleteHidesAndUpdates()
{
    Project p(4);
    const QByteArray track3 = testsupport::sha1Of(p.file(QStringLiteral("AA0001_03.WAV")));
    Relay relay;
    const WorkflowResult r = hide(p.target, 2, {QStringLiteral("AA0001")});
    QVERIFY2(r.success, qPrintable(relay.all()));
    QCOMPARE(relay.count(), 0);
    QCOMPARE(r.hiddenFiles, QStringList{QStringLiteral("AA0001_03.DEL1")});
    QVERIFY(!QFile::exists(p.file(QStringLiteral("AA0001_03.WAV"))));
    QCOMPARE(testsupport::sha1Of(p.file(QStringLiteral("AA0001_03.DEL1"))), track3);
    for (int n : {1, 2, 4}) {
        const QDomDocument d = ixmlDoc(p.file(QStringLiteral("AA0001_0%1.WAV").arg(n)));
        QCOMPARE(value(d, QStringLiteral("FILE_SET/TOTAL_FILES")), QStringLiteral("3"));
        const QMap<int, TrkEntry> all = allTracks(d);
        QCOMPARE(all.value(0).name, QStringLiteral("Trk1"));
        QCOMPARE(all.value(1).name, QStringLiteral("Trk2"));
        QCOMPARE(all.value(3).name, QStringLiteral("Trk4"));
        QCOMPARE(all.value(3).active, QStringLiteral("YES"));
        QCOMPARE(all.value(3).grid, QStringLiteral("YES"));
        QCOMPARE(all.value(3).pan, QStringLiteral("0"));
        // Track 3's entries are empty now.
        QCOMPARE(all.value(2).name, QString());
        QCOMPARE(all.value(2).active, QString());
    }
}

void TestWorkflows::deleteNeverReplacesHiddenFiles()
{
    Project p(3);
    QStringList hidden;
    QList<QByteArray> sums;
    for (int round = 1; round <= 3; ++round) {
        // A different file each time: the earlier hidden ones must survive.
        RecorderFileSpec s = RecorderFileWriter::monoTrackSpec(spec(48000, 24, 9600, kTen), 3, 3);
        s.audioSeed = 100u + quint32(round);
        QVERIFY(RecorderFileWriter::write(p.file(QStringLiteral("AA0001_03.WAV")), s));
        sums << testsupport::sha1Of(p.file(QStringLiteral("AA0001_03.WAV")));
        Relay relay;
        const WorkflowResult r = hide(p.target, 2, {QStringLiteral("AA0001")});
        QVERIFY2(r.success, qPrintable(relay.all()));
        hidden << r.hiddenFiles;
    }
    QCOMPARE(hidden, QStringList({QStringLiteral("AA0001_03.DEL1"), QStringLiteral("AA0001_03.DEL2"),
                                  QStringLiteral("AA0001_03.DEL3")}));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(testsupport::sha1Of(p.file(hidden.at(i))), sums.at(i));
}

void TestWorkflows::deletePassesOverTakeWithoutTrack()
{
    Project p(2, {QStringLiteral("AA0001"), QStringLiteral("AA0002")});
    QVERIFY(QFile::copy(p.file(QStringLiteral("AA0001_02.WAV")), p.file(QStringLiteral("AA0002_05.DEL2"))));
    const QByteArray oldHidden = testsupport::sha1Of(p.file(QStringLiteral("AA0002_05.DEL2")));
    QVERIFY(RecorderFileWriter::write(p.file(QStringLiteral("AA0001_05.WAV")),
                                      RecorderFileWriter::monoTrackSpec(spec(48000, 24, 9600, kTen), 5, 5)));
    Relay relay;
    const WorkflowResult r = hide(p.target, 4, {QStringLiteral("AA0002"), QStringLiteral("AA0001")});
    QVERIFY2(r.success, qPrintable(relay.all()));
    QCOMPARE(r.hiddenFiles, QStringList{QStringLiteral("AA0001_05.DEL1")});
    QCOMPARE(r.takesHandled, 2);
    QCOMPARE(testsupport::sha1Of(p.file(QStringLiteral("AA0002_05.DEL2"))), oldHidden);
    // Both takes still get the update pass.
    QCOMPARE(value(ixmlDoc(p.file(QStringLiteral("AA0002_01.WAV"))), QStringLiteral("FILE_SET/TOTAL_FILES")),
             QStringLiteral("2"));
    QCOMPARE(value(ixmlDoc(p.file(QStringLiteral("AA0001_01.WAV"))), QStringLiteral("FILE_SET/TOTAL_FILES")),
             QStringLiteral("2"));
}

void TestWorkflows::deleteFailures()
{
    Project p(2);
    RecorderFileSpec poly = spec(48000, 24, 9600, kTen);
    poly.channels = 2;
    QVERIFY(RecorderFileWriter::write(p.file(QStringLiteral("AA0002PX.WAV")), poly));
    {
        Relay relay;
        QVERIFY(!hide(p.target, 0, {}).success);
        QCOMPARE(relay.count(), 1);
        QCOMPARE(relay.title(0), QStringLiteral("QMainWindow::OnPushButton_DeleteSoundTrack()"));
        QCOMPARE(relay.text(0), QStringLiteral("No file selected in target area."));
        QCOMPARE(relay.kind(0), 1);
    }
    const QMap<QString, QByteArray> before = sha1Folder(p.target);
    {
        Relay relay;
        QVERIFY(!hide(p.target, 1, {QStringLiteral("ZZ0009"), QStringLiteral("AA0001")}).success);
        QCOMPARE(relay.texts(), QStringList{QStringLiteral("ZZ0009\nNo corresponding file found matching with this tag.")});
        QCOMPARE(relay.title(0), kDeleteTitle);
        QCOMPARE(sha1Folder(p.target), before);
    }
    {
        // The mono take is hidden first; the poly one stops the run before the update pass.
        Relay relay;
        const WorkflowResult r = hide(p.target, 1, {QStringLiteral("AA0001"), QStringLiteral("AA0002")});
        QVERIFY(!r.success);
        QCOMPARE(relay.texts(),
                 QStringList{QStringLiteral("AA0002\nOnly monophonic file can be used as target in the process.")});
        QCOMPARE(r.hiddenFiles, QStringList{QStringLiteral("AA0001_02.DEL1")});
        QCOMPARE(value(ixmlDoc(p.file(QStringLiteral("AA0001_01.WAV"))), QStringLiteral("FILE_SET/TOTAL_FILES")),
                 QStringLiteral("2"));
    }
    {
        QTemporaryDir empty;
        Relay relay;
        QVERIFY(!hide(empty.path(), 1, {QStringLiteral("AA0001")}).success);
        QCOMPARE(relay.count(), 0);
    }
}

QTEST_MAIN(TestWorkflows)
#include "tst_workflows.moc"
