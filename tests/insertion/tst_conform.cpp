// SPDX-License-Identifier: GPL-3.0-or-later
// Conform of a generated shooting day: the plan and samples of every take, all or nothing per take whatever fails;
// coverage classes and track-name files.

#include "ConformFixtures.h"
#include "SourceFiles.h"

#include "ConformApply.h"
#include "ConformPlan.h"
#include "ConformReport.h"
#include "CoverageAnalysis.h"
#include "TakeJournal.h"
#include "TrackNameFile.h"

#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace fixtures;
using namespace ins;
Q_DECLARE_METATYPE(Coverage)

namespace {

// The data chunk a new track must hold: each range's source audio, zeros between.
QByteArray expectedAudio(const Day& day, const ConformPlan& plan, const ConformTake& t)
{
    QByteArray out;
    qint64 at = 0;
    for (const ConformRange& r : t.ranges) {
        out += QByteArray(int((r.takeFrom - at) * 2), '\0')
               + audio(day.seeds.value(plan.sources.at(r.source).fileName), quint32(r.sourceFrom), quint32(r.takeTo - r.takeFrom), 16);
        at = r.takeTo;
    }
    return out + QByteArray(int((t.frames - at) * 2), '\0');
}

// Journal records built here, with a CRC-32 of our own: type, length, payload, CRC of the three.
QByteArray le(quint64 v, int n)
{
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}
QByteArray text(const QByteArray& t) { return le(quint64(t.size()), 4) + t; }
QByteArray record(quint32 type, const QByteArray& payload)
{
    const QByteArray head = le(type, 4) + le(quint64(payload.size()), 4) + payload;
    quint32 c = 0xFFFFFFFFu;
    for (char ch : head) {
        c ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return head + le(~c, 4);
}

} // namespace

class TestConform : public QObject
{
    Q_OBJECT
private slots:
    void planOfADay_data()
    {
        // reason: empty: the take gets a track
        columns<QString, QString, QString, QString, QString, QString>({"id", "klass", "reason", "ranges", "silence", "excluded"});
        QTest::newRow("inside one file") << "AA0001" << "entire" << "" << "A_0001.WAV 0-48000 from 16000" << "" << "";
        QTest::newRow("across two files") << "AA0002" << "entire" << "" << "A_0001.WAV 0-40000 from 40000; A_0002.WAV 40000-80000 from 0" << "" << "";
        QTest::newRow("gap between files") << "AA0003" << "gaps" << "" << "A_0002.WAV 0-16000 from 64000; A_0003.WAV 56000-96000 from 0" << "16000-56000" << "";
        QTest::newRow("overlapping sources") << "AA0004" << "entire" << "sources B_0001.WAV and B_0002.WAV overlap inside the take"
                                             << "B_0001.WAV 0-48000 from 16000; B_0002.WAV 24000-48000 from 0" << "" << "";
        QTest::newRow("source of another rate") << "AA0005" << "none" << "no usable source" << "" << "0-48000"
                                                << "C_0001.WAV: sample rate 16000 Hz, the take's is 8000 Hz";
        QTest::newRow("no source") << "AA0006" << "none" << "no source covers this take" << "" << "0-40000" << "";
        QTest::newRow("missing start") << "AA0007" << "missing_start" << "" << "A_0003.WAV 24000-48000 from 0" << "0-24000" << "";
        QTest::newRow("missing end") << "AA0008" << "missing_end" << "" << "A_0003.WAV 0-40000 from 80000" << "40000-80000" << "";
        QTest::newRow("partial") << "AA0009" << "partial" << "" << "A_0003.WAV 8000-128000 from 0" << "0-8000; 128000-136000" << "";
        QTest::newRow("source ends with the take") << "AA0010" << "entire" << "" << "A_0002.WAV 0-32000 from 48000" << "" << "";
        QTest::newRow("back to back on both sides") << "AA0011" << "none" << "no source covers this take" << "" << "0-40000" << "";
        QTest::newRow("track occupied") << "AA0012" << "entire" << "track 3 is occupied" << "A_0001.WAV 0-16000 from 16000" << "" << "";
        QTest::newRow("poly take") << "AA0013" << "entire" << "poly take: only takes of mono files get a new track"
                                   << "A_0001.WAV 0-32000 from 24000" << "" << "";
        QTest::newRow("files disagree") << "AA0014" << "entire"
                                        << "the take's files disagree: All files haven't the same Data size (48000 64000)! (AA0014_02.WAV)"
                                        << "A_0001.WAV 0-32000 from 24000" << "" << "";
    }
    void planOfADay()
    {
        QFETCH(QString, id); QFETCH(QString, reason);
        Day day;
        day.standard();
        const ConformPlan plan = day.plan(3);
        QCOMPARE(plan.takes.size(), 14);
        const ConformTake* t = &plan.takes.at(id.rightRef(2).toInt() - 1);   // target table order
        QCOMPARE(t->fileId, id);
        QTEST(ConformClassKey(t->coverage), "klass");
        QCOMPARE(t->reason, reason);
        QCOMPARE(t->create, reason.isEmpty());
        QCOMPARE(t->result, reason.isEmpty() ? QStringLiteral("planned") : QStringLiteral("skipped"));
        QStringList ranges, silence, excluded;
        for (const ConformRange& r : t->ranges)
            ranges << QStringLiteral("%1 %2-%3 from %4").arg(plan.sources.at(r.source).fileName).arg(r.takeFrom).arg(r.takeTo).arg(r.sourceFrom);
        for (const auto& s : t->silence)
            silence << QStringLiteral("%1-%2").arg(s.first).arg(s.second);
        for (const ConformExclusion& e : t->excluded)
            excluded << plan.sources.at(e.source).fileName + QLatin1String(": ") + e.reason;
        QTEST(ranges.join(QLatin1String("; ")), "ranges");
        QTEST(silence.join(QLatin1String("; ")), "silence");
        QTEST(excluded.join(QLatin1String("; ")), "excluded");
        QCOMPARE(t->trackIndex, id == QLatin1String("AA0013") ? -1 : 2);
        // Applied: every sample of a new track, one length for the take, nothing else in the folder (no journal, no temporary file).
        Relay relay;
        const QMap<QString, QByteArray> before = sha1Folder(day.target);
        ConformPlan one = day.plan(3, {id});
        QVERIFY(ConformRun().Apply(one));
        QCOMPARE(one.takes.at(0).result, t->create ? QStringLiteral("written") : QStringLiteral("skipped"));
        QMap<QString, QByteArray> after = sha1Folder(day.target);
        const QByteArray made = readFile(day.file(id + QLatin1String("_03.WAV")));
        QVERIFY(!t->create || (after.remove(id + QLatin1String("_03.WAV")) && body(made, "data") == expectedAudio(day, one, one.takes.at(0))
                               && QFileInfo(day.file(id + QLatin1String("_01.WAV"))).size() == made.size()));
        QCOMPARE(after.keys(), before.keys());
        QCOMPARE(relay.count(), 0);
    }
    // The track a take gets; another depth is converted, one channel of several taken when the run names one, a mono
    // source used whatever the channel, several left out without a choice.
    void planOfOneTake_data()
    {
        columns<QList<int>, int, int, int, int, int, QString, QString>({"present", "track", "bits", "channels", "channel", "chosen", "reason", "excluded"});
        QList<int> all;   // track: 0 = next; chosen: 1-based, 0 = none
        for (int n = 1; n <= 24; ++n)
            all << n;
        const QList<int> two{1, 2};
        QTest::newRow("next after the highest") << QList<int>{1, 2, 5} << 0 << 16 << 1 << 0 << 6 << "" << "";
        QTest::newRow("24 taken: lowest free") << all.mid(1) << 0 << 16 << 1 << 0 << 1 << "" << "";
        QTest::newRow("full") << all << 0 << 16 << 1 << 0 << 0 << "the take is full: all 24 tracks are present" << "";
        QTest::newRow("fixed and free") << two << 7 << 16 << 1 << 0 << 7 << "" << "";
        QTest::newRow("fixed and occupied") << two << 2 << 16 << 1 << 0 << 2 << "track 2 is occupied" << "";
        QTest::newRow("24-bit source, 16-bit take") << two << 3 << 24 << 1 << 0 << 3 << "" << "";
        QTest::newRow("stereo source") << two << 3 << 16 << 2 << 0 << 3 << "no usable source" << "2 channels: only a mono source can fill a track (choose one with --channel K)";
        QTest::newRow("stereo source, channel 2") << two << 3 << 16 << 2 << 2 << 3 << "" << "";
        QTest::newRow("stereo source, channel 3") << two << 3 << 16 << 2 << 3 << 3 << "no usable source" << "2 channels: it has no channel 3";
        QTest::newRow("mono source, channel 2: used as it is") << two << 3 << 16 << 1 << 2 << 3 << "" << "";
    }
    void planOfOneTake()
    {
        QFETCH(QList<int>, present); QFETCH(int, track); QFETCH(int, bits); QFETCH(int, channels); QFETCH(int, channel); QFETCH(int, chosen);
        QFETCH(QString, reason);
        Day day;
        QVERIFY(writeSource(day.source + QStringLiteral("/X.WAV"), kDayRate, quint16(bits), 10 * kDayRate, kT0, 9, quint16(channels)));
        day.addTake(QStringLiteral("AA0001"), 2, 6, present);
        Relay relay;
        ConformPlan plan = day.plan(track, {}, channel);
        QCOMPARE(plan.takes.size(), 1);
        const ConformTake& t = plan.takes.at(0);
        QCOMPARE(t.trackIndex + 1, chosen);
        QCOMPARE(t.reason, reason);
        QCOMPARE(t.create, reason.isEmpty());
        QTEST(t.excluded.isEmpty() ? QString() : t.excluded.at(0).reason, "excluded");
        const QMap<QString, QByteArray> before = sha1Folder(day.target);
        QVERIFY(ConformRun().Apply(plan));
        QByteArray expected;
        for (quint32 i = 2 * kDayRate; i < 8 * kDayRate && t.create; ++i)
            sources::appendSample(expected,
                sources::expectedSample(
                    RecorderFileSpec::sampleValue(9, i, quint16(qMax(channel, 1) - 1) % channels, quint16(bits)), false, bits, 16)
                    .value,
                16);
        if (t.create)
            QVERIFY(body(readFile(day.file(QStringLiteral("AA0001_%1.WAV").arg(chosen, 2, 10, QLatin1Char('0')))), "data") == expected);
        else
            QCOMPARE(sha1Folder(day.target), before);
        QCOMPARE(relay.count(), 0);
    }
    // The engine moves 15120-byte blocks (7560 frames here) gathered into runs of about 1 MiB: a boundary between two
    // sources or a gap may fall anywhere.
    void sourceBoundariesAnywhereInTheBlocks_data()
    {
        // split: take frame where the first source ends; gap: frames of silence before the second
        columns<quint32, quint32>({"split", "gap"});
        for (quint32 split : {1u, 7559u, 7560u, 7561u, 521639u, 521640u, 521641u, 959999u})
            for (quint32 gap : {0u, 1u, 7560u})
                QTest::newRow(qPrintable(QStringLiteral("split %1, gap %2").arg(split).arg(gap))) << split << gap;
    }
    void sourceBoundariesAnywhereInTheBlocks()
    {
        QFETCH(quint32, split); QFETCH(quint32, gap);
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
    void trackNameAndHeaderFromTheSourceFillingMost()
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
        QCOMPARE(plan.takes.at(0).trackName + QLatin1Char('|') + plan.takes.at(1).trackName, QStringLiteral("Boom two|Boom one"));
        QVERIFY(ConformRun().Apply(plan));
        // The film chunk's source name (body offset 804) and the iXML track name.
        QCOMPARE(body(readFile(day.file(QStringLiteral("AA0001_03.WAV"))), "film").mid(804, 11)
                + body(readFile(day.file(QStringLiteral("AA0002_03.WAV"))), "film").mid(804, 11),
            QByteArray("A_0002.WAV\0A_0001.WAV\0", 22));
        QCOMPARE(ixmlValue(day.file(QStringLiteral("AA0001_03.WAV")), QStringLiteral("TRACK_LIST/TRACK/NAME")), QStringLiteral("Boom two"));
        ConformRequest named;   // a name given to the run wins
        std::tie(named.sourceFolder, named.targetFolder, named.track, named.trackName, named.hasTrackName)
            = std::make_tuple(day.source, day.target, 4, QStringLiteral("Lav"), true);
        QCOMPARE(BuildConformPlan(named).takes.at(0).trackName, QStringLiteral("Lav"));
    }
    // A counting run gives the writes of a two-source take (new track, update pass, lengths); each row fails one, or
    // every rename, or cancels the second take: each take is written whole or given back.
    void interruptedRunRestoresEachTake_data()
    {
        columns<int, QString>({"failAt", "results"});   // failAt: 0 = renames fail, -1 = cancelled
        int total = 0;
        {
            Day day;
            day.standard();
            Relay relay;
            Faults count;
            ConformPlan plan = day.plan(3, {QStringLiteral("AA0003")});
            QVERIFY(ConformRun().Apply(plan));
            total = count.allWrites;
        }
        QVERIFY(total >= 6);
        for (int k = 1; k <= total; ++k)
            QTest::newRow(qPrintable(QStringLiteral("write %1 of %2").arg(k).arg(total))) << k << "failed|written|written";
        QTest::newRow("rename") << 0 << "failed|failed|failed";
        QTest::newRow("cancelled in the second take") << -1 << "written|failed|skipped";
    }
    void interruptedRunRestoresEachTake()
    {
        QFETCH(int, failAt);
        Day day;
        day.standard();
        QMap<QString, QByteArray> before = sha1Folder(day.target);
        Relay relay;
        ConformPlan plan = day.plan(3, {QStringLiteral("AA0003"), QStringLiteral("AA0007"), QStringLiteral("AA0001")});
        bool keepGoing = true;
        int started = 0;
        ConformRun run;
        QObject::connect(&run, &ConformRun::signal_TakeStarted, [&](int, int, int) { ++started; });
        QObject::connect(&run, &ConformRun::signal_ProgressSize, [&](qint64) { keepGoing = failAt != -1 || started != 2; });
        {
            Faults faults;
            faults.failAnyWrite(failAt);
            faults.refuseRename = failAt == 0;
            QVERIFY(!run.Apply(plan, &keepGoing));
        }
        QStringList results;
        QMap<QString, QByteArray> after = sha1Folder(day.target);
        for (const ConformTake& t : plan.takes) {
            results << t.result;
            QCOMPARE(QFileInfo::exists(day.file(t.fileId + QStringLiteral("_03.WAV"))), t.result == QLatin1String("written"));
            if (t.result == QLatin1String("failed"))
                QVERIFY2(relay.all().contains(t.fileId + QLatin1Char('\n')), qPrintable(relay.all()));
            for (QMap<QString, QByteArray>* sums : {&before, &after})   // a written take's bytes: the plan tests
                for (const QString& name : sums->keys())
                    if (t.result == QLatin1String("written") && name.startsWith(t.fileId))
                        sums->remove(name);
        }
        QTEST(results.join(QLatin1Char('|')), "results");
        QCOMPARE(after, before);
        QCOMPARE(plan.takes.at(2).reason, failAt == -1 ? QStringLiteral("the run was cancelled before this take") : QString());
    }
    // A real process dies (SIGKILL) right after each journal record in turn; the next run's recovery gives back every
    // file of the take byte for byte.
    void processKilledAtEachJournalRecord()
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
                ::_exit(ConformRun().Apply(plan) ? 0 : 3);
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
            QVERIFY(relay.text(0).endsWith(QStringLiteral(
                "An earlier run stopped while changing take AA0003: its files were put back as they were before that run.")));
            QCOMPARE(sha1Folder(day.target), before);
            QCOMPARE(TakeJournal::RecoverFolder(day.target, QStringLiteral("test")), TakeJournal::Recovery::Nothing);
        }
        QVERIFY(completed);
    }
    // What the command line's rows leave out: the scene, take and timecode of a take, the sources with their
    // timecodes in the CSV report, and why a source was excluded.
    void reportRows()
    {
        Day day;
        day.standard();
        const ConformPlan plan = day.plan(3, {QStringLiteral("AA0003"), QStringLiteral("AA0005")});
        QCOMPARE(ConformRowsJson(plan, true).section(QLatin1String("\n "), 1), QStringLiteral(
            "{\"file_id\": \"AA0005\", \"scene\": \"12A\", \"take\": \"3\", \"timecode\": \"10:01:22:00\", \"track\": 3, "
            "\"action\": \"skip\", \"reason\": \"no usable source\", \"class\": \"none\", \"sources\": [], "
            "\"silence\": [[0, 48000]], \"excluded\": [{\"file\": \"C_0001.WAV\", \"reason\": \"sample rate 16000 Hz, "
            "the take's is 8000 Hz\"}], \"result\": \"skipped\"}]\n"));
        QCOMPARE(ConformRowsCsv(plan).section(QLatin1String("\r\n"), 1, 1),
                 QStringLiteral("AA0003,12A,3,10:00:18:00,3,create,,gaps,planned,A_0002.WAV 0-16000 from 64000 at "
                                "10:00:18:00; A_0003.WAV 56000-96000 from 0 at 10:00:25:00,16000-56000,"));
    }
    // A journal this program did not write (or one cut short by a crash): names outside its folder and damaged files
    // are refused whole, a record cut short ends it.
    void journalsFromElsewhere_data()
    {
        columns<QByteArray, QByteArray, QByteArray, bool>({"journal", "fileBefore", "fileAfter", "rolledBack"});
        const QByteArray magic("SNLJRNL1"), take = record(1, text("AA0001")), ten("0123456789");
        const QByteArray region = record(4, text("f.bin") + le(2, 8) + "ab");
        QTest::newRow("regions and a cut-off tail") << magic + take + record(3, text("f.bin") + le(10, 8)) + region
                                                           + record(4, text("f.bin") + le(4, 8) + "zz").left(20)
                                                    << QByteArray("0123456789EXTRA") << QByteArray("01ab456789") << true;
        QTest::newRow("header never reached the disk") << QByteArray() << QByteArray("0123") << QByteArray("0123") << true;
        QTest::newRow("a name outside the folder") << magic + take + region + record(4, text("../outside.bin") + le(0, 8) + "XXXX") << ten << ten << false;
        QTest::newRow("a path inside it") << magic + take + record(2, text("sub/f.bin")) << QByteArray("0123") << QByteArray("0123") << false;
        QTest::newRow("not a journal") << QByteArray("hello, world") << QByteArray("0123") << QByteArray("0123") << false;
        QTest::newRow("unknown record") << magic + take + region + record(9, "x") << ten << ten << false;
    }
    void journalsFromElsewhere()
    {
        QFETCH(QByteArray, journal); QFETCH(QByteArray, fileBefore); QFETCH(bool, rolledBack);
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/day");
        QDir().mkpath(folder + QStringLiteral("/sub"));
        QVERIFY(writeFile(folder + QStringLiteral("/f.bin"), fileBefore));
        QVERIFY(writeFile(dir.path() + QStringLiteral("/outside.bin"), "outside"));
        QVERIFY(writeFile(folder + QLatin1Char('/') + QLatin1String(TakeJournal::kFileName), journal));
        Relay relay;
        QCOMPARE(TakeJournal::RecoverFolder(folder, QStringLiteral("test")),
                 rolledBack ? TakeJournal::Recovery::RolledBack : TakeJournal::Recovery::Failed);
        QTEST(readFile(folder + QStringLiteral("/f.bin")), "fileAfter");
        QCOMPARE(readFile(dir.path() + QStringLiteral("/outside.bin")), QByteArray("outside"));
        QCOMPARE(TakeJournal::HasJournal(folder), !rolledBack);
        QCOMPARE(relay.count(), 1);
        QCOMPARE(relay.kind(0), 1);
    }
    // The take spans samples 100 .. 200; every edge is met at one sample either side.
    void classify_data()
    {
        columns<qint64, qint64, Coverage>({"sIn", "sOut", "expected"});
        const struct { const char* tag; qint64 in, out; Coverage expected; } rows[] = {
            {"inside: partial", 150, 160, Coverage::PartialCoverage},
            {"empty source inside: partial", 150, 150, Coverage::PartialCoverage},
            {"exactly the take: entire", 100, 200, Coverage::EntireTake},
            {"ends at the take start: none", 0, 100, Coverage::None},
            {"starts at the take end: none", 200, 300, Coverage::None},
            {"one sample into the start: missing end", 0, 101, Coverage::MissingEnd},
            {"same start, ends early: missing end", 100, 199, Coverage::MissingEnd},
            {"starts one sample in, ends at the end: missing start", 101, 200, Coverage::MissingStart},
            {"starts one sample before the end: missing start", 199, 300, Coverage::MissingStart}};
        for (const auto& r : rows)
            QTest::newRow(r.tag) << r.in << r.out << r.expected;
    }
    void classify()
    {
        QFETCH(qint64, sIn);
        QFETCH(qint64, sOut);
        QTEST(ClassifyCoverage(SampleSpan{sIn, sOut}, SampleSpan{100, 200}), "expected");
    }
    void trackNameFiles_data()
    {
        columns<QString, QString, QString>({"folder", "file", "path"});
        QTest::newRow("sibling folder with a dot") << "/A/B" << "T01.WAV" << "/A/B./T01.snl";
        QTest::newRow("two dots keep the first") << "/A/B" << "A.B.WAV" << "/A/B./A.B.snl";
        QTest::newRow("percent and spaces") << "/x y/%s" << "%d mic.wav" << "/x y/%s./%d mic.snl";
    }
    void trackNameFiles()
    {
        QFETCH(QString, folder); QFETCH(QString, file);
        QString got;
        GetSnlFileName(folder, file, got);
        QTEST(got, "path");
        // A round trip in a real folder with the same names: none yet, saved, cleared; nothing among the sources.
        QTemporaryDir dir;
        const QString sources = dir.path() + folder;
        QVERIFY(QDir().mkpath(sources) && QDir().mkpath(sources + QLatin1Char('.')));
        QStringList names;
        for (const QString& saved : {QStringLiteral("-"), QStringLiteral("Boom é/;=x"), QString()}) {
            if (saved != QLatin1String("-"))
                SaveTrackNameToSnlFile(sources, file, saved);
            QString name = QStringLiteral("stale");
            LoadTrackNameFromSnlFile(sources, file, name);
            names << name + QLatin1Char('|') + readFile(dir.path() + got).left(22);
        }
        QCOMPARE(names, QStringList({"|", "Boom é/;=x|[LastSetup]\nTrackName=", "|[LastSetup]\nTrackName="}));
        QCOMPARE(QDir(sources).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestConform)
#include "tst_conform.moc"
