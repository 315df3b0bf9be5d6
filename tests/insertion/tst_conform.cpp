// SPDX-License-Identifier: GPL-3.0-or-later
// Conform of a generated shooting day: the plan of every take (sources,
// silence, class, skips), the samples of every new track, the identity with a
// single-source create, and all or nothing per take when a write fails or the
// process dies at any journal record.

#include "ConformFixtures.h"
#include "TestSupport.h"

#include "ConformApply.h"
#include "ConformPlan.h"
#include "ConformReport.h"
#include "FileWriteSeam.h"
#include "TakeJournal.h"
#include "TrackNameFile.h"
#include "TrackWorkflows.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace fixtures;

namespace {

const ConformTake* takeOf(const ConformPlan& plan, const QString& id)
{
    for (const ConformTake& t : plan.takes)
        if (t.fileId == id)
            return &t;
    return nullptr;
}

QString rangesText(const ConformPlan& plan, const ConformTake& t)
{
    QStringList l;
    for (const ConformRange& r : t.ranges)
        l << QStringLiteral("%1 %2-%3 from %4").arg(plan.sources.at(r.source).fileName).arg(r.takeFrom).arg(r.takeTo).arg(r.sourceFrom);
    return l.join(QLatin1String("; "));
}

QString silenceText(const ConformTake& t)
{
    QStringList l;
    for (const auto& s : t.silence)
        l << QStringLiteral("%1-%2").arg(s.first).arg(s.second);
    return l.join(QLatin1String("; "));
}

// The data chunk a new track must hold: each range's source audio, zeros between.
QByteArray expectedAudio(const Day& day, const ConformPlan& plan, const ConformTake& t)
{
    QByteArray out;
    qint64 at = 0;
    for (const ConformRange& r : t.ranges) {
        out.append(QByteArray(int((r.takeFrom - at) * 2), '\0'));
        out.append(audio(day.seeds.value(plan.sources.at(r.source).fileName), quint32(r.sourceFrom),
                         quint32(r.takeTo - r.takeFrom), 16));
        at = r.takeTo;
    }
    out.append(QByteArray(int((t.frames - at) * 2), '\0'));
    return out;
}

class CountingFaults : public FileWriteSeam::Injector
{
public:
    CountingFaults() { FileWriteSeam::setInjector(this); }
    ~CountingFaults() override { FileWriteSeam::setInjector(nullptr); }
    int failAt = 0;        // 1-based write to fail; 0 = none
    bool failRenames = false;
    int writes = 0;
    qint64 acceptWrite(const QString&, qint64 requested) override
    {
        return ++writes == failAt ? -1 : requested;
    }
    bool failRename(const QString&, const QString&) override { return failRenames; }
};

// Journal bytes built here, with a CRC-32 of our own, the way the journal
// stores them: magic, then type, length, payload, CRC of the three.
quint32 crc32Of(const QByteArray& b)
{
    quint32 c = 0xFFFFFFFFu;
    for (char ch : b) {
        c ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}
QByteArray le(quint64 v, int n)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
    return b;
}
QByteArray text(const QByteArray& t) { return le(quint64(t.size()), 4) + t; }
QByteArray record(quint32 type, const QByteArray& payload)
{
    const QByteArray head = le(type, 4) + le(quint64(payload.size()), 4) + payload;
    return head + le(crc32Of(head), 4);
}

} // namespace

class TestConform : public QObject
{
    Q_OBJECT

private slots:
    void planOfADay_data();
    void planOfADay();
    void sourceFormats_data();
    void sourceFormats();
    void trackRule_data();
    void trackRule();
    void applyWritesEverySampleExactly();
    void sourceBoundariesAnywhereInTheBlocks_data();
    void sourceBoundariesAnywhereInTheBlocks();
    void singleSourceIsCreateByteForByte();
    void trackNameAndHeaderFromTheSourceFillingMost();
    void failedWriteRestoresTheTake_data();
    void failedWriteRestoresTheTake();
    void processKilledAtEachJournalRecord();
    void cancelFinishesOrRollsBack();
    void reportRows();
    void journalsFromElsewhere_data();
    void journalsFromElsewhere();
};

void TestConform::planOfADay_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("klass");
    QTest::addColumn<bool>("create");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("ranges");
    QTest::addColumn<QString>("silence");
    QTest::addColumn<QString>("excluded");

    QTest::newRow("inside one file") << "AA0001" << "entire" << true << "" << "A_0001.WAV 0-48000 from 16000" << ""
                                     << "";
    QTest::newRow("across two files") << "AA0002" << "entire" << true << ""
                                      << "A_0001.WAV 0-40000 from 40000; A_0002.WAV 40000-80000 from 0" << "" << "";
    QTest::newRow("gap between files") << "AA0003" << "gaps" << true << ""
                                       << "A_0002.WAV 0-16000 from 64000; A_0003.WAV 56000-96000 from 0"
                                       << "16000-56000" << "";
    QTest::newRow("overlapping sources")
        << "AA0004" << "entire" << false << "sources B_0001.WAV and B_0002.WAV overlap inside the take"
        << "B_0001.WAV 0-48000 from 16000; B_0002.WAV 24000-48000 from 0" << "" << "";
    QTest::newRow("source of another rate") << "AA0005" << "none" << false << "no usable source" << "" << "0-48000"
                                            << "C_0001.WAV: sample rate 16000 Hz, the take's is 8000 Hz";
    QTest::newRow("no source") << "AA0006" << "none" << false << "no source covers this take" << "" << "0-40000" << "";
    QTest::newRow("missing start") << "AA0007" << "missing_start" << true << "" << "A_0003.WAV 24000-48000 from 0"
                                   << "0-24000" << "";
    QTest::newRow("missing end") << "AA0008" << "missing_end" << true << "" << "A_0003.WAV 0-40000 from 80000"
                                 << "40000-80000" << "";
    QTest::newRow("partial") << "AA0009" << "partial" << true << "" << "A_0003.WAV 8000-128000 from 0"
                             << "0-8000; 128000-136000" << "";
    QTest::newRow("source ends with the take") << "AA0010" << "entire" << true << ""
                                               << "A_0002.WAV 0-32000 from 48000" << "" << "";
    QTest::newRow("back to back on both sides") << "AA0011" << "none" << false << "no source covers this take" << ""
                                                << "0-40000" << "";
    QTest::newRow("track occupied") << "AA0012" << "entire" << false << "track 3 is occupied"
                                    << "A_0001.WAV 0-16000 from 16000" << "" << "";
    QTest::newRow("poly take") << "AA0013" << "entire" << false << "poly take: only takes of mono files get a new track"
                               << "A_0001.WAV 0-32000 from 24000" << "" << "";
    QTest::newRow("files disagree")
        << "AA0014" << "entire" << false
        << "the take's files disagree: All files haven't the same Data size (48000 64000)! (AA0014_02.WAV)"
        << "A_0001.WAV 0-32000 from 24000" << "" << "";
}

void TestConform::planOfADay()
{
    QFETCH(QString, id);
    QFETCH(QString, klass);
    QFETCH(bool, create);
    QFETCH(QString, reason);
    QFETCH(QString, ranges);
    QFETCH(QString, silence);
    QFETCH(QString, excluded);
    Day day;
    day.standard();
    const ConformPlan plan = day.plan(3);
    QCOMPARE(plan.takes.size(), 14);
    QCOMPARE(plan.takes.first().fileId, QStringLiteral("AA0001"));   // target table order
    const ConformTake* t = takeOf(plan, id);
    QVERIFY(t);
    QCOMPARE(ConformClassKey(t->coverage), klass);
    QCOMPARE(t->create, create);
    QCOMPARE(t->reason, reason);
    QCOMPARE(t->result, create ? QStringLiteral("planned") : QStringLiteral("skipped"));
    QCOMPARE(rangesText(plan, *t), ranges);
    QCOMPARE(silenceText(*t), silence);
    QStringList ex;
    for (const ConformExclusion& e : t->excluded)
        ex << plan.sources.at(e.source).fileName + QLatin1String(": ") + e.reason;
    QCOMPARE(ex.join(QLatin1String("; ")), excluded);
    QCOMPARE(t->trackIndex, id == QLatin1String("AA0013") ? -1 : 2);
}

// Another depth is converted by the engine; another rate or several
// channels leave the source out, with the reason.
void TestConform::sourceFormats_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("excluded");
    QTest::newRow("24-bit source, 16-bit take") << 24 << 1 << "";
    QTest::newRow("stereo source") << 16 << 2 << "2 channels: only a mono source can fill a track";
}

void TestConform::sourceFormats()
{
    QFETCH(int, bits);
    QFETCH(int, channels);
    QFETCH(QString, excluded);
    Day day;
    QVERIFY(writeSource(day.source + QStringLiteral("/X.WAV"), kDayRate, quint16(bits), 10 * kDayRate, kT0, 9,
                        quint16(channels)));
    day.addTake(QStringLiteral("AA0001"), 2, 6);
    Relay relay;
    ConformPlan plan = day.plan(3);
    const ConformTake& t = plan.takes.at(0);
    QCOMPARE(t.create, excluded.isEmpty());
    QCOMPARE(t.excluded.isEmpty() ? QString() : t.excluded.at(0).reason, excluded);
    QCOMPARE(t.reason, excluded.isEmpty() ? QString() : QStringLiteral("no usable source"));
    QCOMPARE(ConformRun().Apply(plan), true);
    QCOMPARE(QFileInfo::exists(day.file(QStringLiteral("AA0001_03.WAV"))), excluded.isEmpty());
    if (excluded.isEmpty()) {
        // Each 16-bit sample is the top two bytes of the 24-bit one.
        const QByteArray data = body(readFile(day.file(QStringLiteral("AA0001_03.WAV"))), "data");
        const QByteArray wide = audio(9, 2 * kDayRate, 6 * kDayRate, 24);
        QCOMPARE(data.size(), int(6 * kDayRate * 2));
        QCOMPARE(data.mid(2000, 2), wide.mid(3001, 2));
    }
}

void TestConform::trackRule_data()
{
    QTest::addColumn<QList<int>>("present");
    QTest::addColumn<int>("track");   // 0 = next
    QTest::addColumn<int>("chosen");  // 1-based; 0 = none
    QTest::addColumn<QString>("reason");
    QList<int> all;
    for (int n = 1; n <= 24; ++n)
        all << n;
    QTest::newRow("next after two") << QList<int>{1, 2} << 0 << 3 << "";
    QTest::newRow("next after the highest") << QList<int>{1, 2, 5} << 0 << 6 << "";
    QTest::newRow("24 taken: lowest free") << all.mid(1) << 0 << 1 << "";
    QTest::newRow("full") << all << 0 << 0 << "the take is full: all 24 tracks are present";
    QTest::newRow("fixed and free") << QList<int>{1, 2} << 7 << 7 << "";
    QTest::newRow("fixed and occupied") << QList<int>{1, 2} << 2 << 2 << "track 2 is occupied";
}

void TestConform::trackRule()
{
    QFETCH(QList<int>, present);
    QFETCH(int, track);
    QFETCH(int, chosen);
    QFETCH(QString, reason);
    Day day;
    day.addSource(QStringLiteral("A_0001.WAV"), 0, 10);
    day.addTake(QStringLiteral("AA0001"), 1, 1, present);
    const ConformPlan plan = day.plan(track);
    QCOMPARE(plan.takes.size(), 1);
    QCOMPARE(plan.takes.at(0).trackIndex + 1, chosen);
    QCOMPARE(plan.takes.at(0).reason, reason);
    QCOMPARE(plan.takes.at(0).create, reason.isEmpty());
}

void TestConform::applyWritesEverySampleExactly()
{
    Day day;
    day.standard();
    Relay relay;
    ConformPlan plan = day.plan(3);
    ConformRun run;
    QVERIFY(run.Apply(plan));
    const QStringList written = {QStringLiteral("AA0001"), QStringLiteral("AA0002"), QStringLiteral("AA0003"),
                                 QStringLiteral("AA0007"), QStringLiteral("AA0008"), QStringLiteral("AA0009"),
                                 QStringLiteral("AA0010")};
    for (const ConformTake& t : plan.takes) {
        QCOMPARE(t.result, written.contains(t.fileId) ? QStringLiteral("written") : QStringLiteral("skipped"));
        const QString newTrack = day.file(t.fileId + QLatin1String("_03.WAV"));
        if (!written.contains(t.fileId)) {
            if (t.fileId != QLatin1String("AA0012"))
                QVERIFY2(!QFileInfo::exists(newTrack), qPrintable(t.fileId));
            continue;
        }
        const QByteArray bytes = readFile(newTrack);
        QVERIFY2(body(bytes, "data") == expectedAudio(day, plan, t), qPrintable(t.fileId));
        // One length for the take.
        QCOMPARE(QFileInfo(day.file(t.fileId + QLatin1String("_01.WAV"))).size(), qint64(bytes.size()));
    }
    // Nothing but the takes' files is left: no journal, no temporary file.
    const QStringList hidden = QDir(day.target).entryList(QDir::Hidden | QDir::Files).filter(QRegularExpression(QStringLiteral("^\\.")));
    QCOMPARE(hidden, QStringList());
    QCOMPARE(relay.count(), 0);
}

// The engine moves 15120-byte blocks (7560 frames here) gathered into runs of
// about 1 MiB: a boundary between two sources or a gap may fall anywhere.
void TestConform::sourceBoundariesAnywhereInTheBlocks_data()
{
    QTest::addColumn<quint32>("split");   // take frame where the first source ends
    QTest::addColumn<quint32>("gap");     // frames of silence before the second
    for (quint32 split : {1u, 7559u, 7560u, 7561u, 521639u, 521640u, 521641u, 959999u})
        for (quint32 gap : {0u, 1u, 7560u})
            QTest::newRow(qPrintable(QStringLiteral("split %1, gap %2").arg(split).arg(gap))) << split << gap;
}

void TestConform::sourceBoundariesAnywhereInTheBlocks()
{
    QFETCH(quint32, split);
    QFETCH(quint32, gap);
    const quint32 frames = 120 * kDayRate;   // 1.9 MB of samples: more than one run
    Day day;
    day.addSourceFrames(QStringLiteral("A.WAV"), 0, 1000 + split);
    if (split + gap < frames)
        day.addSourceFrames(QStringLiteral("B.WAV"), 1000 + split + gap, frames);
    day.addTake(QStringLiteral("AA0001"), 1000.0 / kDayRate, 120);
    Relay relay;
    ConformPlan plan = day.plan(3);
    QCOMPARE(plan.takes.size(), 1);
    QCOMPARE(plan.takes.at(0).frames, qint64(frames));
    QVERIFY(ConformRun().Apply(plan));
    const QByteArray data = body(readFile(day.file(QStringLiteral("AA0001_03.WAV"))), "data");
    QCOMPARE(data.size(), int(frames * 2));
    QVERIFY(data == expectedAudio(day, plan, plan.takes.at(0)));
    QCOMPARE(data.mid(int(split) * 2 - 2, 2), audio(day.seeds.value(QStringLiteral("A.WAV")), 1000 + split - 1, 1, 16));
}

void TestConform::singleSourceIsCreateByteForByte()
{
    Day a, b;
    for (Day* d : {&a, &b}) {
        d->addSource(QStringLiteral("A_0001.WAV"), 0, 10);
        d->addTake(QStringLiteral("AA0001"), 2, 6);
        d->addTake(QStringLiteral("AA0002"), 7, 6);   // missing end
    }
    Relay relay;
    ConformPlan plan = a.plan(3);
    QVERIFY(ConformRun().Apply(plan));
    for (const QString& id : {QStringLiteral("AA0001"), QStringLiteral("AA0002")}) {
        CreateTrackRequest r;
        r.targetFolder = b.target;
        r.sourcePath = b.source + QStringLiteral("/A_0001.WAV");
        r.trackIndex = 2;
        r.fileIds = QStringList{id};
        QVERIFY(CreateTrackWorkflow().Run(r).success);
    }
    const QMap<QString, QByteArray> conformed = sha1Folder(a.target);
    QCOMPARE(conformed.size(), 6);
    QCOMPARE(conformed, sha1Folder(b.target));
}

void TestConform::trackNameAndHeaderFromTheSourceFillingMost()
{
    Day day;
    day.addSource(QStringLiteral("A_0001.WAV"), 0, 10);
    day.addSource(QStringLiteral("A_0002.WAV"), 10, 10);
    day.addTake(QStringLiteral("AA0001"), 8, 6);    // 2 s of A_0001, 4 s of A_0002
    day.addTake(QStringLiteral("AA0002"), 7, 6);    // 3 s each: the earlier wins
    SaveTrackNameToSnlFile(day.source, QStringLiteral("A_0001.WAV"), QStringLiteral("Boom one"));
    SaveTrackNameToSnlFile(day.source, QStringLiteral("A_0002.WAV"), QStringLiteral("Boom two"));
    Relay relay;
    ConformPlan plan = day.plan(3);
    QCOMPARE(plan.takes.at(0).trackName, QStringLiteral("Boom two"));
    QCOMPARE(plan.takes.at(1).trackName, QStringLiteral("Boom one"));
    QVERIFY(ConformRun().Apply(plan));
    const QByteArray first = readFile(day.file(QStringLiteral("AA0001_03.WAV")));
    const QByteArray second = readFile(day.file(QStringLiteral("AA0002_03.WAV")));
    // The film chunk's source name (body offset 804) and the iXML track name.
    QCOMPARE(body(first, "film").mid(804, 11), QByteArray("A_0002.WAV\0", 11));
    QCOMPARE(body(second, "film").mid(804, 11), QByteArray("A_0001.WAV\0", 11));
    QVERIFY(body(first, "iXML").contains("<NAME>Boom two</NAME>"));

    ConformRequest named;
    named.sourceFolder = day.source;
    named.targetFolder = day.target;
    named.track = 4;
    named.trackName = QStringLiteral("Lav");
    named.hasTrackName = true;
    QCOMPARE(BuildConformPlan(named).takes.at(0).trackName, QStringLiteral("Lav"));
}

// A counting run gives the number of writes of a two-source take (new
// track, update pass of every file, length equalisation); each row fails one.
void TestConform::failedWriteRestoresTheTake_data()
{
    QTest::addColumn<int>("failAt");
    QTest::addColumn<bool>("renameFails");
    int total = 0;
    {
        Day day;
        day.standard();
        Relay relay;
        CountingFaults count;
        ConformPlan plan = day.plan(3, {QStringLiteral("AA0003")});
        QVERIFY(ConformRun().Apply(plan));
        total = count.writes;
    }
    QVERIFY(total >= 6);
    for (int k = 1; k <= total; ++k)
        QTest::newRow(qPrintable(QStringLiteral("write %1 of %2").arg(k).arg(total))) << k << false;
    QTest::newRow("rename") << 0 << true;
}

void TestConform::failedWriteRestoresTheTake()
{
    QFETCH(int, failAt);
    QFETCH(bool, renameFails);
    Day day;
    day.standard();
    const QMap<QString, QByteArray> before = sha1Folder(day.target);
    Relay relay;
    ConformPlan plan = day.plan(3, {QStringLiteral("AA0003"), QStringLiteral("AA0007")});
    {
        CountingFaults faults;
        faults.failAt = failAt;
        faults.failRenames = renameFails;
        QVERIFY(!ConformRun().Apply(plan));
    }
    QCOMPARE(plan.takes.at(0).result, QStringLiteral("failed"));
    QVERIFY(relay.all().contains(QStringLiteral("AA0003\n")));
    // AA0003 is back byte for byte; AA0007 went on (or failed the same way
    // when the rename is what fails).
    QMap<QString, QByteArray> after = sha1Folder(day.target);
    if (!renameFails) {
        QCOMPARE(plan.takes.at(1).result, QStringLiteral("written"));
        QVERIFY(after.contains(QStringLiteral("AA0007_03.WAV")));
        for (const QString& n : {QStringLiteral("AA0007_01.WAV"), QStringLiteral("AA0007_02.WAV"), QStringLiteral("AA0007_03.WAV")})
            after.remove(n);
        QMap<QString, QByteArray> expected = before;
        expected.remove(QStringLiteral("AA0007_01.WAV"));
        expected.remove(QStringLiteral("AA0007_02.WAV"));
        QCOMPARE(after, expected);
    } else {
        QCOMPARE(after, before);
    }
}

// A real process dies (SIGKILL) right after each journal record in turn;
// the next run's recovery gives back every file of the take byte for byte.
void TestConform::processKilledAtEachJournalRecord()
{
    bool completed = false;
    for (int k = 1; k < 200 && !completed; ++k) {
        Day day;
        day.standard();
        const QMap<QString, QByteArray> before = sha1Folder(day.target);
        const pid_t pid = ::fork();
        QVERIFY(pid >= 0);
        if (pid == 0) {
            TakeJournal::SetRecordHookForTests([k](int n) {
                if (n == k)
                    ::raise(SIGKILL);
            });
            ConformPlan plan = day.plan(3, {QStringLiteral("AA0003")});
            const bool ok = ConformRun().Apply(plan);
            ::_exit(ok ? 0 : 3);
        }
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        if (WIFEXITED(status)) {
            QCOMPARE(WEXITSTATUS(status), 0);
            QVERIFY(!TakeJournal::HasJournal(day.target));
            QVERIFY(QFileInfo::exists(day.file(QStringLiteral("AA0003_03.WAV"))));
            QVERIFY(k > 5);
            completed = true;
            continue;
        }
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, qPrintable(QString::number(k)));
        QVERIFY(TakeJournal::HasJournal(day.target));
        Relay relay;
        QCOMPARE(TakeJournal::RecoverFolder(day.target, QStringLiteral("test")), TakeJournal::Recovery::RolledBack);
        QVERIFY(relay.text(0).endsWith(QStringLiteral("An earlier run stopped while changing take AA0003: its files were put back as they were before that run.")));
        QCOMPARE(sha1Folder(day.target), before);
        QCOMPARE(TakeJournal::RecoverFolder(day.target, QStringLiteral("test")), TakeJournal::Recovery::Nothing);
    }
    QVERIFY(completed);
}

void TestConform::cancelFinishesOrRollsBack()
{
    Day day;
    day.standard();
    const QMap<QString, QByteArray> before = sha1Folder(day.target);
    Relay relay;
    ConformPlan plan = day.plan(3, {QStringLiteral("AA0001"), QStringLiteral("AA0002"), QStringLiteral("AA0003")});
    bool keepGoing = true;
    ConformRun run;
    int started = 0;
    QObject::connect(&run, &ConformRun::signal_TakeStarted, [&](int, int, int) { ++started; });
    QObject::connect(&run, &ConformRun::signal_ProgressSize, [&](qint64) {
        if (started == 2)
            keepGoing = false;   // cancel during the second take's copy
    });
    QVERIFY(!run.Apply(plan, &keepGoing));
    QCOMPARE(plan.takes.at(0).result, QStringLiteral("written"));
    QCOMPARE(plan.takes.at(1).result, QStringLiteral("failed"));
    QCOMPARE(plan.takes.at(2).result, QStringLiteral("skipped"));
    QCOMPARE(plan.takes.at(2).reason, QStringLiteral("the run was cancelled before this take"));
    QMap<QString, QByteArray> after = sha1Folder(day.target);
    for (const QString& n : {QStringLiteral("AA0001_01.WAV"), QStringLiteral("AA0001_02.WAV"), QStringLiteral("AA0001_03.WAV")}) {
        QVERIFY(after.contains(n));
        after.remove(n);
    }
    QMap<QString, QByteArray> expected = before;
    expected.remove(QStringLiteral("AA0001_01.WAV"));
    expected.remove(QStringLiteral("AA0001_02.WAV"));
    QCOMPARE(after, expected);
}

void TestConform::reportRows()
{
    Day day;
    day.standard();
    const ConformPlan plan = day.plan(3, {QStringLiteral("AA0003"), QStringLiteral("AA0005")});
    QCOMPARE(ConformRowsJson(plan, true),
             QStringLiteral(
                 "[{\"file_id\": \"AA0003\", \"scene\": \"12A\", \"take\": \"3\", \"timecode\": \"10:00:18:00\", \"track\": 3, "
                 "\"action\": \"create\", \"reason\": null, \"class\": \"gaps\", \"sources\": [{\"file\": \"A_0002.WAV\", "
                 "\"take_from\": 0, \"take_to\": 16000, \"source_from\": 64000, \"timecode\": \"10:00:18:00\"}, "
                 "{\"file\": \"A_0003.WAV\", \"take_from\": 56000, \"take_to\": 96000, \"source_from\": 0, "
                 "\"timecode\": \"10:00:25:00\"}], \"silence\": [[16000, 56000]], \"excluded\": [], \"result\": \"planned\"},\n"
                 " {\"file_id\": \"AA0005\", \"scene\": \"12A\", \"take\": \"3\", \"timecode\": \"10:01:22:00\", \"track\": 3, "
                 "\"action\": \"skip\", \"reason\": \"no usable source\", \"class\": \"none\", \"sources\": [], "
                 "\"silence\": [[0, 48000]], \"excluded\": [{\"file\": \"C_0001.WAV\", \"reason\": \"sample rate 16000 Hz, "
                 "the take's is 8000 Hz\"}], \"result\": \"skipped\"}]\n"));
    QCOMPARE(ConformRowsCsv(plan).section(QLatin1String("\r\n"), 1, 1),
             QStringLiteral("AA0003,12A,3,10:00:18:00,3,create,,gaps,planned,A_0002.WAV 0-16000 from 64000 at "
                            "10:00:18:00; A_0003.WAV 56000-96000 from 0 at 10:00:25:00,16000-56000,"));
}

// A journal this program did not write (or one cut short by a crash) is
// read with care: names outside its folder and damaged files are refused
// whole, a record cut short ends it.
void TestConform::journalsFromElsewhere_data()
{
    QTest::addColumn<QByteArray>("journal");
    QTest::addColumn<QByteArray>("fileBefore");
    QTest::addColumn<QByteArray>("fileAfter");
    QTest::addColumn<bool>("rolledBack");
    const QByteArray magic("SNLJRNL1");
    const QByteArray take = record(1, text("AA0001"));
    const QByteArray size10 = record(3, text("f.bin") + le(10, 8));
    const QByteArray region = record(4, text("f.bin") + le(2, 8) + "ab");
    QTest::newRow("regions and a cut-off tail")
        << magic + take + size10 + region + record(4, text("f.bin") + le(4, 8) + "zz").left(20) << QByteArray("0123456789EXTRA")
        << QByteArray("01ab456789") << true;
    QTest::newRow("header never reached the disk") << QByteArray() << QByteArray("0123") << QByteArray("0123") << true;
    QTest::newRow("a name outside the folder")
        << magic + take + region + record(4, text("../outside.bin") + le(0, 8) + "XXXX") << QByteArray("0123456789")
        << QByteArray("0123456789") << false;
    QTest::newRow("a path inside it")
        << magic + take + record(2, text("sub/f.bin")) << QByteArray("0123") << QByteArray("0123") << false;
    QTest::newRow("not a journal") << QByteArray("hello, world") << QByteArray("0123") << QByteArray("0123") << false;
    QTest::newRow("unknown record") << magic + take + region + record(9, "x") << QByteArray("0123456789")
                                    << QByteArray("0123456789") << false;
}

void TestConform::journalsFromElsewhere()
{
    QFETCH(QByteArray, journal);
    QFETCH(QByteArray, fileBefore);
    QFETCH(QByteArray, fileAfter);
    QFETCH(bool, rolledBack);
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/day");
    QDir().mkpath(folder + QStringLiteral("/sub"));
    QVERIFY(writeFile(folder + QStringLiteral("/f.bin"), fileBefore));
    QVERIFY(writeFile(dir.path() + QStringLiteral("/outside.bin"), "outside"));
    QVERIFY(writeFile(folder + QLatin1Char('/') + QLatin1String(TakeJournal::kFileName), journal));
    Relay relay;
    QCOMPARE(TakeJournal::RecoverFolder(folder, QStringLiteral("test")),
             rolledBack ? TakeJournal::Recovery::RolledBack : TakeJournal::Recovery::Failed);
    QCOMPARE(readFile(folder + QStringLiteral("/f.bin")), fileAfter);
    QCOMPARE(readFile(dir.path() + QStringLiteral("/outside.bin")), QByteArray("outside"));
    QCOMPARE(TakeJournal::HasJournal(folder), !rolledBack);
    QCOMPARE(relay.count(), 1);
    QCOMPARE(relay.kind(0), 1);
}

QTEST_GUILESS_MAIN(TestConform)
#include "tst_conform.moc"
