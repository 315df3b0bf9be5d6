// SPDX-License-Identifier: GPL-3.0-or-later
// Create and delete workflows: new tracks, hidden tracks and the iXML update
// pass that makes every file of a take agree again.

#include "InsertionFixtures.h"
#include "TestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace fixtures;

namespace {

const quint64 kTen = 10 * kHour * 48000;
const QString kPoly = QStringLiteral("AA0002\nOnly monophonic file can be used as target in the process.");

QString value(const QString& path, const QString& key) { return xmlValue(ixmlText(path), key); }

// VELTA_PAVANE/ALL_TRK_NAME of a file: "INDICE:NAME/ACTIVE/IN_GRID/PAN_POT" of
// the entries asked for, texts trimmed.
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
    QStringList out;
    for (int i : indices)
        out << QString::number(i) + QLatin1Char(':') + m.value(i, QStringLiteral("<none>"));
    return QString::number(m.size()) + QLatin1Char(' ') + out.join(QLatin1Char(' '));
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
        source = dir.path() + QStringLiteral("/BOOM.WAV");
        writeSource(source, 48000, 24, 48000, kTen - 1000);
    }
    QString file(const QString& name) const { return target + QLatin1Char('/') + name; }
    void addPoly() const
    {
        RecorderFileSpec poly = spec(48000, 24, 9600, kTen);
        poly.channels = 2;
        poly.ixml.polyTrackNames = QStringList{QStringLiteral("L"), QStringLiteral("R")};
        RecorderFileWriter::write(file(QStringLiteral("AA0002PX.WAV")), poly);
    }
};

} // namespace

class TestWorkflows : public QObject
{
    Q_OBJECT

private slots:
    void createThirdTrackAllFilesAgree();
    void createEmptyNameAndDefaultNames();
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
    const QByteArray data1 = body(readFile(p.file(QStringLiteral("AA0001_01.WAV"))), "data");
    Relay relay;
    const WorkflowResult r = createTrack(p.target, p.source, 3, {QStringLiteral("AA0001")});
    QVERIFY2(r.success, qPrintable(relay.all()));
    QCOMPARE(relay.count(), 0);
    QCOMPARE(r.createdFiles, QStringList{QStringLiteral("AA0001_03.WAV")});
    QCOMPARE(r.takesHandled, 1);
    for (int n = 1; n <= 3; ++n) {
        const QString path = p.file(QStringLiteral("AA0001_0%1.WAV").arg(n));
        QCOMPARE(value(path, QStringLiteral("FILE_SET/TOTAL_FILES")), QStringLiteral("3"));
        QCOMPARE(value(path, QStringLiteral("TRACK_LIST/TRACK/CHANNEL_INDEX")), QString::number(n));
        // Tracks without a file (5 here): nothing was read for them.
        QCOMPARE(allTracks(path, {0, 1, 2, 5}), QStringLiteral("24 0:Trk1/YES/YES/0 1:Trk2/YES/YES/0 2:Boom/YES//0,0 5:///"));
        // The recorder's 61440-byte chunk is rewritten in place: the take's audio and sizes do not move.
        QCOMPARE(body(readFile(path), "iXML").size(), 61440);
        QCOMPARE(QFileInfo(path).size(), QFileInfo(p.file(QStringLiteral("AA0001_01.WAV"))).size());
    }
    QCOMPARE(value(p.file(QStringLiteral("AA0001_03.WAV")), QStringLiteral("TRACK_LIST/TRACK/NAME")), QStringLiteral("Boom"));
    QCOMPARE(body(readFile(p.file(QStringLiteral("AA0001_01.WAV"))), "data"), data1);
}

void TestWorkflows::createEmptyNameAndDefaultNames()
{
    Project p(1, {QStringLiteral("AA0001"), QStringLiteral("AA0002")});
    Relay relay;
    CreateTrackRequest r;
    r.targetFolder = p.target;
    r.sourcePath = p.source;
    r.trackIndex = 2;
    r.fileIds = QStringList{QStringLiteral("AA0002"), QStringLiteral("AA0001")};
    r.hasTrackName = false;
    CreateTrackWorkflow w;
    QVERIFY2(w.Run(r).success, qPrintable(relay.all()));
    // No name entry: "SONALIGN <position in the tag list>".
    QCOMPARE(value(p.file(QStringLiteral("AA0002_03.WAV")), QStringLiteral("TRACK_LIST/TRACK/NAME")), QStringLiteral("SONALIGN 0"));
    QVERIFY(allTracks(p.file(QStringLiteral("AA0001_01.WAV")), {2}).endsWith(QLatin1String(" 2:SONALIGN 1/YES//0,0")));

    // An empty name: "T4" in the track list, a blank in the vendor table of every file.
    QVERIFY2(createTrack(p.target, p.source, 4, {QStringLiteral("AA0001")}, QString()).success, qPrintable(relay.all()));
    const QString made = p.file(QStringLiteral("AA0001_04.WAV"));
    QCOMPARE(value(made, QStringLiteral("TRACK_LIST/TRACK/NAME")), QStringLiteral("T4"));
    for (const QString& f : {QStringLiteral("AA0001_01.WAV"), QStringLiteral("AA0001_03.WAV"), QStringLiteral("AA0001_04.WAV")}) {
        QVERIFY(allTracks(p.file(f), {3}).endsWith(QLatin1String(" 3:/YES//0,0")));
        QCOMPARE(value(p.file(f), QStringLiteral("FILE_SET/TOTAL_FILES")), QStringLiteral("3"));
    }
    QVERIFY(readFile(made).mid(20, 256).contains("\r\naTRK4=\r\naNOTE="));
}

// The first take is done, iXML update included; the poly take stops the run.
void TestWorkflows::createStopsAtPolyTake()
{
    Project p;
    p.addPoly();
    const QByteArray polyBefore = testsupport::sha1Of(p.file(QStringLiteral("AA0002PX.WAV")));
    Relay relay;
    const WorkflowResult r = createTrack(p.target, p.source, 3, {QStringLiteral("AA0001"), QStringLiteral("AA0002")});
    QVERIFY(!r.success);
    QCOMPARE(relay.texts(), QStringList{kPoly});
    QCOMPARE(relay.title(0), QStringLiteral("MainWindow::OnPushButton_CreateSoundTrack()"));
    QCOMPARE(r.createdFiles, QStringList{QStringLiteral("AA0001_03.WAV")});
    QCOMPARE(value(p.file(QStringLiteral("AA0001_01.WAV")), QStringLiteral("FILE_SET/TOTAL_FILES")), QStringLiteral("3"));
    QCOMPARE(testsupport::sha1Of(p.file(QStringLiteral("AA0002PX.WAV"))), polyBefore);
}

// What the window can hand over before any take is touched (an unknown take
// is pinned by the command-line tests).
void TestWorkflows::createPreconditions_data()
{
    QTest::addColumn<bool>("withSource");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QString>("messages");   // "title|text|kind"
    const QString none = QStringLiteral("QMainWindow::OnPushButton_CreateSoundTrack()|No file selected in target zone\n Use Analyse to identify the compatible target takes.|1");
    QTest::newRow("no source, no take") << false << QStringList() << none;
    QTest::newRow("no take") << true << QStringList() << none;
    QTest::newRow("no source: the window has said it") << false << QStringList{QStringLiteral("AA0001")} << QString();
    QTest::newRow("a file ID is matched whole, case-sensitive")
        << true << QStringList{QStringLiteral("aa0001")}
        << QStringLiteral("MainWindow::OnPushButton_CreateSoundTrack()|aa0001\nNo corresponding file found matching with this tag.|0");
}

void TestWorkflows::createPreconditions()
{
    QFETCH(bool, withSource);
    QFETCH(QStringList, ids);
    Project p;
    const QMap<QString, QByteArray> before = sha1Folder(p.target);
    Relay relay;
    QVERIFY(!createTrack(p.target, withSource ? p.source : QString(), 3, ids).success);
    QStringList got;
    for (int i = 0; i < relay.count(); ++i)
        got << relay.title(i) + QLatin1Char('|') + relay.text(i) + QLatin1Char('|') + QString::number(relay.kind(i));
    QTEST(got.join(QStringLiteral(" || ")), "messages");
    QCOMPARE(sha1Folder(p.target), before);
}

void TestWorkflows::createSignals()
{
    Project p(1, {QStringLiteral("AA0001"), QStringLiteral("AA0002")});
    Relay relay;
    bool busy = true;
    CreateTrackRequest r;
    r.targetFolder = p.target;
    r.sourcePath = p.source;
    r.trackIndex = 1;
    r.fileIds = QStringList{QStringLiteral("AA0001"), QStringLiteral("AA0002")};
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
    QCOMPARE(progress.last().at(0).toLongLong(), 100);
    QVERIFY(busy);
}

void TestWorkflows::deleteHidesAndUpdates()
{
    Project p(4);
    const QByteArray track3 = testsupport::sha1Of(p.file(QStringLiteral("AA0001_03.WAV")));
    Relay relay;
    const WorkflowResult r = hideTrack(p.target, 3, {QStringLiteral("AA0001")});
    QVERIFY2(r.success, qPrintable(relay.all()));
    QCOMPARE(relay.count(), 0);
    QCOMPARE(r.hiddenFiles, QStringList{QStringLiteral("AA0001_03.DEL1")});
    QVERIFY(!QFile::exists(p.file(QStringLiteral("AA0001_03.WAV"))));
    QCOMPARE(testsupport::sha1Of(p.file(QStringLiteral("AA0001_03.DEL1"))), track3);
    for (int n : {1, 2, 4}) {
        const QString path = p.file(QStringLiteral("AA0001_0%1.WAV").arg(n));
        QCOMPARE(value(path, QStringLiteral("FILE_SET/TOTAL_FILES")), QStringLiteral("3"));
        // Track 3's entries are empty now.
        QCOMPARE(allTracks(path, {0, 1, 2, 3}), QStringLiteral("24 0:Trk1/YES/YES/0 1:Trk2/YES/YES/0 2:/// 3:Trk4/YES/YES/0"));
    }
}

// A different file hidden each time: the earlier hidden ones survive.
void TestWorkflows::deleteNeverReplacesHiddenFiles()
{
    Project p(3);
    QStringList hidden;
    QList<QByteArray> sums;
    Relay relay;
    for (int round = 1; round <= 3; ++round) {
        RecorderFileSpec s = RecorderFileWriter::monoTrackSpec(spec(48000, 24, 9600, kTen), 3, 3);
        s.audioSeed = 100u + quint32(round);
        QVERIFY(RecorderFileWriter::write(p.file(QStringLiteral("AA0001_03.WAV")), s));
        sums << testsupport::sha1Of(p.file(QStringLiteral("AA0001_03.WAV")));
        const WorkflowResult r = hideTrack(p.target, 3, {QStringLiteral("AA0001")});
        QVERIFY2(r.success, qPrintable(relay.all()));
        hidden << r.hiddenFiles;
    }
    QCOMPARE(hidden, QStringList({QStringLiteral("AA0001_03.DEL1"), QStringLiteral("AA0001_03.DEL2"), QStringLiteral("AA0001_03.DEL3")}));
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
    const WorkflowResult r = hideTrack(p.target, 5, {QStringLiteral("AA0002"), QStringLiteral("AA0001")});
    QVERIFY2(r.success, qPrintable(relay.all()));
    QCOMPARE(r.hiddenFiles, QStringList{QStringLiteral("AA0001_05.DEL1")});
    QCOMPARE(r.takesHandled, 2);
    QCOMPARE(testsupport::sha1Of(p.file(QStringLiteral("AA0002_05.DEL2"))), oldHidden);
    // Both takes still get the update pass.
    for (const QString& f : {QStringLiteral("AA0002_01.WAV"), QStringLiteral("AA0001_01.WAV")})
        QCOMPARE(value(p.file(f), QStringLiteral("FILE_SET/TOTAL_FILES")), QStringLiteral("2"));
}

void TestWorkflows::deleteFailures()
{
    Project p(2);
    p.addPoly();
    {
        Relay relay;
        QVERIFY(!hideTrack(p.target, 1, {}).success);
        QCOMPARE(relay.count(), 1);
        QCOMPARE(relay.title(0) + QLatin1Char('|') + relay.text(0) + QLatin1Char('|') + QString::number(relay.kind(0)),
                 QStringLiteral("QMainWindow::OnPushButton_DeleteSoundTrack()|No file selected in target area.|1"));
    }
    {
        // The mono take is hidden first; the poly one stops the run before the update pass.
        Relay relay;
        const WorkflowResult r = hideTrack(p.target, 2, {QStringLiteral("AA0001"), QStringLiteral("AA0002")});
        QVERIFY(!r.success);
        QCOMPARE(relay.texts(), QStringList{kPoly});
        QCOMPARE(r.hiddenFiles, QStringList{QStringLiteral("AA0001_02.DEL1")});
        QCOMPARE(value(p.file(QStringLiteral("AA0001_01.WAV")), QStringLiteral("FILE_SET/TOTAL_FILES")), QStringLiteral("2"));
    }
    QTemporaryDir empty;
    Relay relay;
    QVERIFY(!hideTrack(empty.path(), 2, {QStringLiteral("AA0001")}).success);
    QCOMPARE(relay.count(), 0);
}

QTEST_MAIN(TestWorkflows)
#include "tst_workflows.moc"
