// SPDX-License-Identifier: GPL-3.0-or-later
// A take stays whole whoever else runs: two sonalign-cli runs on one track, a held folder, a run killed mid-take.

#include "../insertion/InsertionFixtures.h"

#include "FolderLock.h"
#include "TakeJournal.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <csignal>

using namespace fixtures;

namespace {

const quint64 kTen = 10 * kHour * 48000;

// A two-track 48 kHz take and sources A.WAV (its first half, seed 5) and B.WAV (its second, seed 6).
bool writeDay(const QString& target, const QString& sources, quint32 frames = 5 * 48000)
{
    return QDir().mkpath(target) && QDir().mkpath(sources) && RecorderFileWriter::writeMonoTake(target, "AA0001", 2, spec(48000, 24, frames, kTen))
           && writeSource(sources + "/A.WAV", 48000, 24, frames / 2, kTen, 5)
           && writeSource(sources + "/B.WAV", 48000, 24, frames / 2, kTen + frames / 2, 6);
}

void start(QProcess& p, const QString& home, const QStringList& args)
{
    p.setProcessEnvironment(cliEnv(home));
    p.start(testsupport::cliPath(), args);
}

} // namespace

class TestCliIntegrity : public QObject
{
    Q_OBJECT

private slots:
    // Two creates of one track at once, many times: one wins whole, the other fails for its own reason.
    void twoRunsOnOneTrackNeverMix()
    {
        QTemporaryDir dir;
        for (int round = 0; round < 12; ++round) {
            const QString target = dir.path() + QStringLiteral("/round%1").arg(round), sources = target + "-sources";
            QVERIFY(writeDay(target, sources, 10 * 48000));
            QProcess runs[2];
            const QString names[2] = {"Alpha", "Bravo"};
            for (int i = 0; i < 2; ++i)
                start(runs[i], dir.path(), {"create", "--track", "3", "--name", names[i], sources + (i ? "/B.WAV" : "/A.WAV"), target, "AA0001"});
            int winner = -1;
            for (int i = 0; i < 2; ++i) {
                QVERIFY(runs[i].waitForFinished(60000));
                const QByteArray err = runs[i].readAllStandardError();
                if (runs[i].exitCode() == 0 && winner < 0)
                    winner = i;
                else   // the loser for its own reason
                    QVERIFY2(runs[i].exitCode() == 1 && (err.contains("is not empty") || err.contains("another Sonalign run is changing")), err.constData());
            }
            QVERIFY(winner >= 0);
            // A.WAV covers the take's first half, B.WAV its second.
            const QString made = target + "/AA0001_03.WAV", ixml = ixmlText(made);
            const QByteArray silence(5 * 48000 * 3, '\0');
            QVERIFY(body(readFile(made), "data") == (winner ? silence + audio(6, 0, 5 * 48000, 24) : audio(5, 0, 5 * 48000, 24) + silence));
            QVERIFY(ixml.contains("<NAME>" + names[winner] + "</NAME>") && !ixml.contains(names[1 - winner]));
            QCOMPARE(QFileInfo(made).size(), QFileInfo(target + "/AA0001_01.WAV").size());
            QCOMPARE(partialFiles(target), QStringList());
        }
    }

    // While another run holds the folder the window's run refuses, changing nothing; the command line waits.
    void aLockedFolderMakesARunWaitOrRefuse()
    {
        QTemporaryDir dir;
        const QString target = dir.path() + "/Day1", source = dir.path() + "/source/A.WAV";
        QVERIFY(writeDay(target, dir.path() + "/source"));
        const QMap<QString, QByteArray> before = sha1Folder(target);
        FolderLock other;
        QCOMPARE(other.tryLock(target), FolderLock::Result::Acquired);
        {
            Relay relay;
            QVERIFY(!createTrack(target, source, 3, {"AA0001"}).success);
            QCOMPARE(relay.texts(), QStringList{target + "\nanother Sonalign run is changing this folder"});
        }
        QProcess waiting;
        start(waiting, dir.path(), {"create", "--track", "3", source, target, "AA0001"});
        QVERIFY(waiting.waitForStarted() && !waiting.waitForFinished(1500));
        QCOMPARE(sha1Folder(target), before);
        other.unlock();
        QVERIFY(waiting.waitForFinished(60000));
        QCOMPARE(waiting.exitCode(), 0);
        QCOMPARE(waiting.readAllStandardOutput(), QByteArray("AA0001_03.WAV\n"));
    }

    // A conform killed mid-take: the next command, whichever, puts the take back and says so on stderr only.
    void killedMidTakeIsPutBackByTheNextRun_data()
    {
        QTest::addColumn<QString>("args");     // %S sources, %T target
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("out");      // a part of stdout
        QTest::addColumn<QString>("made");     // the track the command writes
        QTest::newRow("list") << "list %T --json" << "sonalign-cli" << "\"file_id\": \"AA0001\"" << "";
        QTest::newRow("create") << "create --track 4 %S/A.WAV %T AA0001" << "MainWindow::OnPushButton_CreateSoundTrack()" << "AA0001_04.WAV"
                                << "AA0001_04.WAV";
        QTest::newRow("delete: track 5 absent") << "delete --track 5 %T AA0001" << "MainWindow::OnPushButton_DeleteSoundTrack()" << "" << "";
        QTest::newRow("conform") << "conform %S %T --track 3 --json" << "sonalign-cli conform" << "\"result\": \"written\"" << "AA0001_03.WAV";
    }
    void killedMidTakeIsPutBackByTheNextRun()
    {
        QFETCH(QString, args);
        QFETCH(QString, out);
        QTemporaryDir dir;
        const QString target = dir.path() + "/day", sources = dir.path() + "/boom";
        QVERIFY(writeDay(target, sources, 8 * 60 * 48000));   // 8 minutes at 48 kHz, 24-bit
        const QMap<QString, QByteArray> before = sha1Folder(target);
        QProcess p;
        start(p, dir.path(), {"conform", sources, target, "--track", "3"});
        QElapsedTimer clock;
        bool killed = false;
        clock.start();
        while (!killed && clock.elapsed() < 60000 && p.state() != QProcess::NotRunning) {
            for (const QFileInfo& fi : QDir(target).entryInfoList(QStringList{"*.partial"}, QDir::Hidden | QDir::Files))
                killed = killed || (fi.size() > 8 * 1024 * 1024 && ::kill(pid_t(p.processId()), SIGKILL) == 0);
            QThread::usleep(200);
        }
        QVERIFY2(killed, "the run ended before it could be killed mid-take");
        QVERIFY(p.waitForFinished() && p.exitStatus() == QProcess::CrashExit && TakeJournal::HasJournal(target));

        Cli cli;
        const auto next = cli(args.replace("%S", sources).replace("%T", target).split(' '));
        QCOMPARE(next.exitCode, 0);
        QFETCH(QString, title);
        QVERIFY2(QString::fromUtf8(next.err).startsWith(title + ": " + QDir(target).canonicalPath()
                     + "\nAn earlier run stopped while changing take AA0001: its files were put back as they were before that run.\n"),
                 next.err.constData());
        QVERIFY(next.out.contains(out.toUtf8()) && !next.out.contains("earlier run"));
        QVERIFY(!TakeJournal::HasJournal(target));
        QFETCH(QString, made);
        QMap<QString, QByteArray> after = sha1Folder(target);
        QCOMPARE(after.remove(made), made.isEmpty() ? 0 : 1);
        QCOMPARE(after.keys(), before.keys());
        if (made.isEmpty() && !args.startsWith("delete"))   // delete rewrites the take's iXML even for an absent track
            QCOMPARE(after, before);
    }
};

QTEST_GUILESS_MAIN(TestCliIntegrity)
#include "tst_cli_integrity.moc"
