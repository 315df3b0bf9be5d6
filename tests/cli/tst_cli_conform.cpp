// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli conform as a black box: the rows of a dry run and of a real
// run, the report, exit codes, and a process killed mid-take whose take the
// next run puts back.

#include "../insertion/ConformFixtures.h"
#include "TestSupport.h"

#include "TakeJournal.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>

using namespace fixtures;

namespace {


// A small day: a take across two files, one with a gap, one without source.
void smallDay(Day& day)
{
    day.addSource(QStringLiteral("A_0001.WAV"), 0, 10);
    day.addSource(QStringLiteral("A_0002.WAV"), 10, 10);
    day.addSource(QStringLiteral("A_0003.WAV"), 25, 15);
    day.addTake(QStringLiteral("AA0001"), 5, 10);
    day.addTake(QStringLiteral("AA0002"), 18, 12);
    day.addTake(QStringLiteral("AA0003"), 200, 5);
}

const QString kRows = QStringLiteral(
    "[{\"file_id\": \"AA0001\", \"track\": 3, \"action\": \"create\", \"reason\": null, \"class\": \"entire\", "
    "\"sources\": [{\"file\": \"A_0001.WAV\", \"take_from\": 0, \"take_to\": 40000, \"source_from\": 40000, \"format\": \"16-bit integer, 1 channel, 8000 Hz\", \"converted\": false}, "
    "{\"file\": \"A_0002.WAV\", \"take_from\": 40000, \"take_to\": 80000, \"source_from\": 0, \"format\": \"16-bit integer, 1 channel, 8000 Hz\", \"converted\": false}], \"silence\": [], "
    "\"excluded\": [], \"result\": \"%1\"},\n"
    " {\"file_id\": \"AA0002\", \"track\": 3, \"action\": \"create\", \"reason\": null, \"class\": \"gaps\", "
    "\"sources\": [{\"file\": \"A_0002.WAV\", \"take_from\": 0, \"take_to\": 16000, \"source_from\": 64000, \"format\": \"16-bit integer, 1 channel, 8000 Hz\", \"converted\": false}, "
    "{\"file\": \"A_0003.WAV\", \"take_from\": 56000, \"take_to\": 96000, \"source_from\": 0, \"format\": \"16-bit integer, 1 channel, 8000 Hz\", \"converted\": false}], "
    "\"silence\": [[16000, 56000]], \"excluded\": [], \"result\": \"%1\"},\n"
    " {\"file_id\": \"AA0003\", \"track\": 3, \"action\": \"skip\", \"reason\": \"no source covers this take\", "
    "\"class\": \"none\", \"sources\": [], \"silence\": [[0, 40000]], \"excluded\": [], \"result\": \"skipped\"}]\n");

// Every file under `root`, hidden ones included, with its hash.
QMap<QString, QByteArray> tree(const QString& root)
{
    QMap<QString, QByteArray> all;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        all.insert(QDir(root).relativeFilePath(p), testsupport::sha1Of(p));
    }
    return all;
}

} // namespace

class TestCliConform : public QObject
{
    Q_OBJECT

private slots:
    void dryRunPrintsTheRowsAndWritesNothing();
    void realRunWritesTheRows();
    void exitCodes_data();
    void exitCodes();
    void truncatedSourceFailsItsTakeOnly();
    void verifyAddsEachWrittenTakesVerdict();
    void killedMidTakeIsPutBackByTheNextRun_data();
    void killedMidTakeIsPutBackByTheNextRun();
};

// A source that is the take's own first track, and one that is unrelated:
// the rows and the report say in sync for one and no match for the other.
void TestCliConform::verifyAddsEachWrittenTakesVerdict()
{
    Day day;
    const quint64 start = kT0 + 100 * kDayRate;
    QVERIFY(RecorderFileWriter::writeMonoTake(day.target, QStringLiteral("AA0001"), 1, spec(kDayRate, 16, 12 * kDayRate, kT0)));
    QVERIFY(RecorderFileWriter::writeMonoTake(day.target, QStringLiteral("AA0002"), 1, spec(kDayRate, 16, 12 * kDayRate, start)));
    QVERIFY(writeSource(day.source + QStringLiteral("/SAME.WAV"), kDayRate, 16, 12 * kDayRate, kT0, 1));
    QVERIFY(writeSource(day.source + QStringLiteral("/OTHER.WAV"), kDayRate, 16, 12 * kDayRate, start, 99));
    Cli cli;
    const QString report = day.dir.path() + QStringLiteral("/report.csv");
    const auto r = cli({QStringLiteral("conform"), day.source, day.target, QStringLiteral("--track"), QStringLiteral("2"),
                        QStringLiteral("--verify"), QStringLiteral("--json"), QStringLiteral("--report"), report});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QVERIFY2(r.out.contains("\"result\": \"written\", \"verdict\": \"in_sync\", \"offset_ms\": 0.000}"), r.out.constData());
    QVERIFY2(r.out.contains("\"result\": \"written\", \"verdict\": \"no_match\", \"offset_ms\": null}"), r.out.constData());
    const QList<QByteArray> lines = readFile(report).split('\n');
    QVERIFY(lines.at(0).endsWith(",verdict,offset_ms\r"));
    QVERIFY2(lines.at(1).endsWith(",in_sync,0.000\r"), lines.at(1).constData());
    QVERIFY2(lines.at(2).endsWith(",no_match,\r"), lines.at(2).constData());
}

void TestCliConform::dryRunPrintsTheRowsAndWritesNothing()
{
    Day day;
    smallDay(day);
    const QMap<QString, QByteArray> before = tree(day.dir.path());
    Cli cli;
    const auto r = cli({QStringLiteral("conform"), day.source, day.target, QStringLiteral("--track"), QStringLiteral("3"),
                        QStringLiteral("--dry-run"), QStringLiteral("--json")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QString::fromUtf8(r.out), kRows.arg(QStringLiteral("planned")));
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(tree(day.dir.path()), before);

    // The report is the only file a dry run writes, and only where asked.
    const QString report = day.dir.path() + QStringLiteral("/report.csv");
    const auto withReport = cli({QStringLiteral("conform"), day.source, day.target, QStringLiteral("--track"),
                                 QStringLiteral("3"), QStringLiteral("--dry-run"), QStringLiteral("--report"), report});
    QCOMPARE(withReport.exitCode, 0);
    QMap<QString, QByteArray> after = tree(day.dir.path());
    QVERIFY(after.remove(QStringLiteral("report.csv")) == 1);
    QCOMPARE(after, before);
    const QStringList lines = QString::fromUtf8(testsupport::readAll(report)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.at(0), QStringLiteral("file_id,scene,take,timecode,track,action,reason,class,result,sources,silence,excluded"));
    QCOMPARE(lines.at(3), QStringLiteral("AA0003,12A,3,10:03:20:00,3,skip,no source covers this take,none,skipped,,0-40000,"));
}

void TestCliConform::realRunWritesTheRows()
{
    Day day;
    smallDay(day);
    Cli cli;
    const QString report = day.dir.path() + QStringLiteral("/report.json");
    const auto r = cli({QStringLiteral("conform"), day.source, day.target, QStringLiteral("--track"), QStringLiteral("next"),
                        QStringLiteral("--json"), QStringLiteral("--report"), report});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QString::fromUtf8(r.out), kRows.arg(QStringLiteral("written")));
    QVERIFY(QFileInfo::exists(day.file(QStringLiteral("AA0001_03.WAV"))));
    QVERIFY(QFileInfo::exists(day.file(QStringLiteral("AA0002_03.WAV"))));
    QVERIFY(testsupport::readAll(report).contains("\"timecode\": \"10:00:25:00\""));
    // No journal, lock or temporary file is left.
    QCOMPARE(QDir(day.target).entryList(QDir::Hidden | QDir::Files).filter(QRegularExpression(QStringLiteral("^\\."))),
             QStringList());
    // A second run finds track 3 taken and goes to 4 with --track next.
    const auto again = cli({QStringLiteral("conform"), day.source, day.target, QStringLiteral("--track"),
                            QStringLiteral("next"), QStringLiteral("--dry-run"), QStringLiteral("AA0001")});
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(again.out, QByteArray("AA0001\t4\tcreate\tentire\tplanned\n"));
}

void TestCliConform::exitCodes_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stderrHas");
    QTest::newRow("no track") << QStringList{} << 2 << "usage: sonalign-cli conform";
    QTest::newRow("track 25") << QStringList{QStringLiteral("--track"), QStringLiteral("25")} << 2 << "usage:";
    QTest::newRow("report of another kind")
        << QStringList{QStringLiteral("--track"), QStringLiteral("3"), QStringLiteral("--report"), QStringLiteral("r.txt")} << 2
        << "usage:";
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--track"), QStringLiteral("3"), QStringLiteral("--fast")}
                                    << 2 << "usage:";
    QTest::newRow("unknown take")
        << QStringList{QStringLiteral("--track"), QStringLiteral("3"), QStringLiteral("--dry-run"), QStringLiteral("ZZ9999")}
        << 1 << "sonalign-cli conform: ZZ9999\nNo corresponding file found matching with this tag.";
}

void TestCliConform::exitCodes()
{
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QString, stderrHas);
    Day day;
    smallDay(day);
    Cli cli;
    const auto r = cli(QStringList{QStringLiteral("conform"), day.source, day.target} + options);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(r.err).contains(stderrHas), r.err.constData());
}

void TestCliConform::truncatedSourceFailsItsTakeOnly()
{
    Day day;
    smallDay(day);
    // A_0003 loses its last 12 s: its data chunk promises more than it holds,
    // and AA0002 needs 5 s of it.
    const QString cut = day.source + QStringLiteral("/A_0003.WAV");
    QFile f(cut);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.resize(f.size() - 12 * kDayRate * 2));
    f.close();
    const QMap<QString, QByteArray> before = sha1Folder(day.target);
    Cli cli;
    const auto r = cli({QStringLiteral("conform"), day.source, day.target, QStringLiteral("--track"), QStringLiteral("3")});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QByteArray("AA0001\t3\tcreate\tentire\twritten\nAA0002\t3\tcreate\tgaps\tfailed\n"
                               "AA0003\t3\tskip\tnone\tskipped\tno source covers this take\n"));
    QVERIFY(QString::fromUtf8(r.err).contains(QStringLiteral("ConformRun::Apply(): AA0002\n")));
    QMap<QString, QByteArray> after = sha1Folder(day.target);
    QCOMPARE(after.value(QStringLiteral("AA0002_01.WAV")), before.value(QStringLiteral("AA0002_01.WAV")));
    QCOMPARE(after.value(QStringLiteral("AA0002_02.WAV")), before.value(QStringLiteral("AA0002_02.WAV")));
    QVERIFY(!after.contains(QStringLiteral("AA0002_03.WAV")));
    QVERIFY(after.contains(QStringLiteral("AA0001_03.WAV")));
    QVERIFY(!TakeJournal::HasJournal(day.target));
}

// A real run of sonalign-cli on a long take, killed with SIGKILL while it
// writes; the next command on the folder, whichever it is, puts the take back
// first and says so on stderr, keeping stdout clean.
void TestCliConform::killedMidTakeIsPutBackByTheNextRun_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("list") << "list";
    QTest::newRow("analyse") << "analyse";
    QTest::newRow("create") << "create";
    QTest::newRow("delete") << "delete";
    QTest::newRow("conform") << "conform";
}

void TestCliConform::killedMidTakeIsPutBackByTheNextRun()
{
    QFETCH(QString, command);
    QTemporaryDir dir;
    const QString target = dir.path() + QStringLiteral("/day");
    const QString source = dir.path() + QStringLiteral("/boom");
    QDir().mkpath(target);
    QDir().mkpath(source);
    const quint32 frames = 8 * 60 * 48000;   // 8 minutes at 48 kHz, 24-bit
    const quint64 start = 10 * kHour * 48000;
    QVERIFY(RecorderFileWriter::writeMonoTake(target, QStringLiteral("AA0001"), 2, spec(48000, 24, frames, start)));
    QVERIFY(writeSource(source + QStringLiteral("/A.WAV"), 48000, 24, frames / 2, start, 5));
    QVERIFY(writeSource(source + QStringLiteral("/B.WAV"), 48000, 24, frames / 2, start + frames / 2, 6));
    const QMap<QString, QByteArray> before = sha1Folder(target);

    Cli cli;
    QProcess p;
    p.setProcessEnvironment(cliEnv(cli.home.path()));
    p.start(testsupport::cliPath(), {QStringLiteral("conform"), source, target, QStringLiteral("--track"), QStringLiteral("3")});
    QVERIFY(p.waitForStarted());
    QElapsedTimer clock;
    clock.start();
    bool killed = false;
    while (!killed && clock.elapsed() < 60000 && p.state() == QProcess::Running) {
        for (const QFileInfo& fi : QDir(target).entryInfoList(QDir::Hidden | QDir::Files)) {
            if (fi.fileName().endsWith(QLatin1String(".partial")) && fi.size() > 8 * 1024 * 1024) {
                ::kill(pid_t(p.processId()), SIGKILL);
                killed = true;
                break;
            }
        }
        QThread::usleep(200);
    }
    QVERIFY2(killed, "the run ended before it could be killed mid-take");
    QVERIFY(p.waitForFinished());
    QCOMPARE(p.exitStatus(), QProcess::CrashExit);
    QVERIFY(TakeJournal::HasJournal(target));

    QStringList args;
    if (command == QLatin1String("list"))
        args = QStringList{command, target, QStringLiteral("--json")};
    else if (command == QLatin1String("analyse"))
        args = QStringList{command, source + QStringLiteral("/A.WAV"), target, QStringLiteral("--json")};
    else if (command == QLatin1String("create"))
        args = QStringList{command, QStringLiteral("--track"), QStringLiteral("4"), source + QStringLiteral("/A.WAV"), target, QStringLiteral("AA0001")};
    else if (command == QLatin1String("delete"))
        args = QStringList{command, QStringLiteral("--track"), QStringLiteral("5"), target, QStringLiteral("AA0001")};
    else
        args = QStringList{command, source, target, QStringLiteral("--track"), QStringLiteral("3"), QStringLiteral("--json")};
    const auto next = cli(args);
    QCOMPARE(next.exitCode, 0);
    const QString prefix = command == QLatin1String("list") || command == QLatin1String("analyse")
        ? QStringLiteral("sonalign-cli: ")
        : command == QLatin1String("create") ? QStringLiteral("MainWindow::OnPushButton_CreateSoundTrack(): ")
        : command == QLatin1String("delete") ? QStringLiteral("MainWindow::OnPushButton_DeleteSoundTrack(): ")
                                             : QStringLiteral("sonalign-cli conform: ");
    QVERIFY2(QString::fromUtf8(next.err).startsWith(
                 prefix + QDir(target).canonicalPath()
                 + QStringLiteral("\nAn earlier run stopped while changing take AA0001: its files were put back as they "
                                  "were before that run.\n")),
             next.err.constData());
    QVERIFY(!next.out.contains("earlier run"));
    QVERIFY(!TakeJournal::HasJournal(target));
    if (command == QLatin1String("list") || command == QLatin1String("analyse")) {
        QCOMPARE(sha1Folder(target), before);   // hidden files included: no journal, no temporary file
    } else if (command == QLatin1String("delete")) {
        QCOMPARE(sha1Folder(target).keys(), before.keys());   // track 5 absent: nothing hidden, nothing left over
    } else {
        QVERIFY(sha1Folder(target).size() == before.size() + 1);
        QVERIFY(next.out.contains(command == QLatin1String("create") ? "AA0001_04.WAV" : "\"result\": \"written\""));
    }
}

QTEST_GUILESS_MAIN(TestCliConform)
#include "tst_cli_conform.moc"
