// SPDX-License-Identifier: GPL-3.0-or-later
// A take stays whole whoever else runs: two real processes writing the same
// track, paths typed relative or absolute, names with dots, takes of the other
// name families.

#include "../insertion/InsertionFixtures.h"
#include "TestSupport.h"

#include "FolderLock.h"
#include "TrackWorkflows.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace fixtures;

namespace {

const quint64 kTen = 10 * kHour * 48000;

// A 5-second 48 kHz take of `tracks` files and a source covering it.
bool writeDay(const QString& target, const QString& sourceFolder, int tracks)
{
    return QDir().mkpath(target) && QDir().mkpath(sourceFolder)
           && RecorderFileWriter::writeMonoTake(target, QStringLiteral("AA0001"), tracks,
                                                spec(48000, 24, 5 * 48000, kTen))
           && writeSource(sourceFolder + QStringLiteral("/boom.wav"), 48000, 24, 10 * 48000, kTen - 48000);
}

QSet<qint64> sizesOf(const QString& folder)
{
    QSet<qint64> sizes;
    for (const QFileInfo& f : QDir(folder).entryInfoList(QStringList{QStringLiteral("*.WAV")}, QDir::Files))
        sizes.insert(f.size());
    return sizes;
}

} // namespace

class TestCliTakeIntegrity : public QObject
{
    Q_OBJECT

private slots:
    void twoRunsOnOneTrackNeverMix();
    void aLockedFolderMakesARunWaitOrRefuse();
    void typedPathsGiveTheSameBytes_data();
    void typedPathsGiveTheSameBytes();
    void hidingADottedTakeKeepsItsBaseName();
    void newTrackJoinsATakeOfAnotherFamily();
};

// Two creates of one track started together, many times: one wins with its
// own audio and name, the other fails for its own reason, and neither leaves
// a file behind or a take of two lengths.
void TestCliTakeIntegrity::twoRunsOnOneTrackNeverMix()
{
    QTemporaryDir dir;
    const QString sources = dir.path() + QStringLiteral("/sources");
    QVERIFY(QDir().mkpath(sources));
    const QString a = sources + QStringLiteral("/alpha.wav");
    const QString b = sources + QStringLiteral("/bravo.wav");
    QVERIFY(writeSource(a, 48000, 24, 10 * 48000, kTen - 48000, 77));
    QVERIFY(writeSource(b, 48000, 24, 10 * 48000, kTen - 48000, 88));
    const QProcessEnvironment env = cliEnv(dir.path());

    for (int round = 0; round < 12; ++round) {
        const QString target = dir.path() + QStringLiteral("/round%1").arg(round);
        QVERIFY(QDir().mkpath(target));
        QVERIFY(RecorderFileWriter::writeMonoTake(target, QStringLiteral("AA0001"), 2, spec(48000, 24, 5 * 48000, kTen)));
        QProcess runs[2];
        const QString names[2] = {QStringLiteral("Alpha"), QStringLiteral("Bravo")};
        const QString paths[2] = {a, b};
        for (int i = 0; i < 2; ++i) {
            runs[i].setProcessEnvironment(env);
            runs[i].start(testsupport::cliPath(), {QStringLiteral("create"), QStringLiteral("--track"), QStringLiteral("3"),
                                                   QStringLiteral("--name"), names[i], paths[i], target,
                                                   QStringLiteral("AA0001")});
        }
        int winner = -1;
        for (int i = 0; i < 2; ++i) {
            QVERIFY(runs[i].waitForFinished(60000));
            const QByteArray err = runs[i].readAllStandardError();
            if (runs[i].exitCode() == 0) {
                QVERIFY2(winner < 0, "both runs reported success");
                winner = i;
            } else {
                QCOMPARE(runs[i].exitCode(), 1);
                QVERIFY2(err.contains("is not empty") || err.contains("another Sonalign run is changing this folder"),
                         err.constData());
            }
        }
        QVERIFY(winner >= 0);
        const QString made = target + QStringLiteral("/AA0001_03.WAV");
        const QByteArray bytes = readFile(made);
        QCOMPARE(body(bytes, "data"), audio(winner == 0 ? 77 : 88, 48000, 5 * 48000, 24));
        const QString ixml = ixmlText(made);
        QVERIFY2(ixml.contains(QStringLiteral("<NAME>%1</NAME>").arg(names[winner])), qPrintable(ixml.left(2000)));
        QVERIFY(!ixml.contains(names[1 - winner]));
        QVERIFY(!bytes.contains(names[1 - winner].toLatin1()));
        QCOMPARE(sizesOf(target).size(), 1);
        QCOMPARE(partialFiles(target), QStringList());
    }
}

// While another run holds the folder, the window's run (no wait) refuses
// with the reason and changes nothing; the command line waits its turn.
void TestCliTakeIntegrity::aLockedFolderMakesARunWaitOrRefuse()
{
    QTemporaryDir dir;
    const QString target = dir.path() + QStringLiteral("/Day1");
    QVERIFY(writeDay(target, dir.path() + QStringLiteral("/source"), 2));
    const QMap<QString, QByteArray> before = sha1Folder(target);
    FolderLock other;
    QCOMPARE(other.tryLock(target), FolderLock::Result::Acquired);
    {
        Relay relay;
        QVERIFY(!createTrack(target, dir.path() + QStringLiteral("/source/boom.wav"), 3, {QStringLiteral("AA0001")}).success);
        QCOMPARE(relay.texts(), QStringList{target + QStringLiteral("\nanother Sonalign run is changing this folder")});
        QCOMPARE(sha1Folder(target), before);
    }
    QProcess waiting;
    waiting.setProcessEnvironment(cliEnv(dir.path()));
    waiting.start(testsupport::cliPath(), {QStringLiteral("create"), QStringLiteral("--track"), QStringLiteral("3"),
                                           dir.path() + QStringLiteral("/source/boom.wav"), target, QStringLiteral("AA0001")});
    QVERIFY(waiting.waitForStarted());
    QVERIFY(!waiting.waitForFinished(1500));
    QCOMPARE(sha1Folder(target), before);
    other.unlock();
    QVERIFY(waiting.waitForFinished(60000));
    QCOMPARE(waiting.exitCode(), 0);
    QCOMPARE(waiting.readAllStandardOutput(), QByteArray("AA0001_03.WAV\n"));
}

void TestCliTakeIntegrity::typedPathsGiveTheSameBytes_data()
{
    QTest::addColumn<QStringList>("relative");   // run from inside the target folder
    QTest::addColumn<QStringList>("absolute");   // %T = target folder, %S = source folder
    QTest::newRow("create") << QStringList{"create", "--track", "3", "../source/boom.wav", ".", "AA0001"}
                            << QStringList{"create", "--track", "3", "%S/boom.wav", "%T", "AA0001"};
    QTest::newRow("create, dotted path") << QStringList{"create", "--track", "3", "./../source//boom.wav", "../Day1_PV1/", "AA0001"}
                                         << QStringList{"create", "--track", "3", "%S/boom.wav", "%T", "AA0001"};
    QTest::newRow("delete") << QStringList{"delete", "--track", "2", ".", "AA0001"}
                            << QStringList{"delete", "--track", "2", "%T", "AA0001"};
    QTest::newRow("analyse") << QStringList{"analyse", "../source/boom.wav", ".", "--json"}
                             << QStringList{"analyse", "%S/boom.wav", "%T", "--json"};
    QTest::newRow("list") << QStringList{"list", ".", "--json"} << QStringList{"list", "%T", "--json"};
}

// Twin folders, one command typed two ways: the same output (paths aside)
// and the same bytes in every file.
void TestCliTakeIntegrity::typedPathsGiveTheSameBytes()
{
    QFETCH(QStringList, relative);
    QFETCH(QStringList, absolute);
    QTemporaryDir dir;
    const QString twins[2] = {dir.path() + QStringLiteral("/typed"), dir.path() + QStringLiteral("/full")};
    testsupport::ProcessResult results[2];
    for (int i = 0; i < 2; ++i) {
        const QString target = twins[i] + QStringLiteral("/Day1_PV1");
        const QString source = twins[i] + QStringLiteral("/source");
        QVERIFY(writeDay(target, source, 2));
        QStringList args = i == 0 ? relative : absolute;
        for (QString& arg : args)
            arg.replace(QStringLiteral("%T"), target).replace(QStringLiteral("%S"), source);
        QProcess p;
        p.setProcessEnvironment(cliEnv(dir.path()));
        p.setWorkingDirectory(target);
        p.start(testsupport::cliPath(), args);
        QVERIFY(p.waitForFinished(60000));
        results[i].exitCode = p.exitCode();
        results[i].out = p.readAllStandardOutput().replace(twins[i].toUtf8(), "TWIN");
        results[i].err = p.readAllStandardError().replace(twins[i].toUtf8(), "TWIN");
    }
    QCOMPARE(results[0].exitCode, 0);
    QCOMPARE(results[0].out, results[1].out);
    QCOMPARE(results[0].err, results[1].err);
    const QMap<QString, QByteArray> typed = sha1Folder(twins[0] + QStringLiteral("/Day1_PV1"));
    QCOMPARE(typed, sha1Folder(twins[1] + QStringLiteral("/Day1_PV1")));
    if (relative.first() == QLatin1String("create")) {
        const QString ixml = ixmlText(twins[0] + QStringLiteral("/Day1_PV1/AA0001_03.WAV"));
        QVERIFY(ixml.contains(QStringLiteral("<ORIGINAL_FILENAME>AA0001_03.WAV</ORIGINAL_FILENAME>")));
        QVERIFY(ixml.contains(QStringLiteral("<PROJECT>Day1</PROJECT>")));
    }
}

// The hidden name keeps everything up to the extension: cutting at the first
// dot ("AB.DEL1") would give every track of the take the same hidden name.
void TestCliTakeIntegrity::hidingADottedTakeKeepsItsBaseName()
{
    QTemporaryDir dir;
    QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AB.001"), 3, spec(48000, 24, 4800, kTen)));
    const QByteArray third = readFile(dir.path() + QStringLiteral("/AB.001_03.WAV"));
    const auto r = testsupport::run(testsupport::cliPath(), {QStringLiteral("delete"), QStringLiteral("--track"),
                                                             QStringLiteral("3"), dir.path(), QStringLiteral("AB.001")},
                                    60000, cliEnv(dir.path()));
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("AB.001_03.DEL1\n"));
    QCOMPARE(body(readFile(dir.path() + QStringLiteral("/AB.001_03.DEL1")), "data"), body(third, "data"));
}

// A take of "-1", "-2" files: the new "_03" track and the old files agree on
// the number of files and on the track table.
void TestCliTakeIntegrity::newTrackJoinsATakeOfAnotherFamily()
{
    QTemporaryDir dir;
    const QString target = dir.path() + QStringLiteral("/Day1");
    QVERIFY(writeDay(dir.path() + QStringLiteral("/scratch"), dir.path() + QStringLiteral("/source"), 1));
    QVERIFY(QDir().mkpath(target));
    const RecorderFileSpec base = spec(48000, 24, 5 * 48000, kTen);
    for (int n = 1; n <= 2; ++n) {
        RecorderFileSpec s = RecorderFileWriter::monoTrackSpec(base, 2, n);
        s.ixml.originalFileName = QStringLiteral("AA0001-%1.WAV").arg(n);
        QVERIFY(RecorderFileWriter::write(target + QStringLiteral("/AA0001-%1.WAV").arg(n), s));
    }
    const auto r = testsupport::run(testsupport::cliPath(),
                                    {QStringLiteral("create"), QStringLiteral("--track"), QStringLiteral("3"),
                                     QStringLiteral("--name"), QStringLiteral("Boom"),
                                     dir.path() + QStringLiteral("/source/boom.wav"), target, QStringLiteral("AA0001")},
                                    60000, cliEnv(dir.path()));
    QVERIFY2(r.exitCode == 0, r.err.constData());
    for (const QString& name : {QStringLiteral("AA0001-1.WAV"), QStringLiteral("AA0001-2.WAV"), QStringLiteral("AA0001_03.WAV")}) {
        const QString ixml = ixmlText(target + QLatin1Char('/') + name);
        QVERIFY2(ixml.contains(QStringLiteral("<TOTAL_FILES>3</TOTAL_FILES>")), qPrintable(name));
        QVERIFY2(ixml.contains(QStringLiteral("<NAME>Boom</NAME>")), qPrintable(name));
    }
    QCOMPARE(sizesOf(target).size(), 1);
}

QTEST_MAIN(TestCliTakeIntegrity)
#include "tst_cli_take_integrity.moc"
