// SPDX-License-Identifier: GPL-3.0-or-later
// Coverage classes, the status text, the source span, and the track-name files.

#include "InsertionFixtures.h"

#include "CoverageAnalysis.h"
#include "TrackNameFile.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace fixtures;

Q_DECLARE_METATYPE(Coverage)

namespace {
const qint64 kRate = 48000;
qint64 tc(int h, int m, int s) { return (qint64(h) * 3600 + m * 60 + s) * kRate; }
} // namespace

class TestCoverage : public QObject
{
    Q_OBJECT

private slots:
    void classify_data();
    void classify();
    void statusText_data();
    void statusText();
    void sourceSpan();
    void trackNameFilePath_data();
    void trackNameFilePath();
    void trackNameRoundTrip();
};

void TestCoverage::classify_data()
{
    QTest::addColumn<qint64>("sIn");
    QTest::addColumn<qint64>("sOut");
    QTest::addColumn<Coverage>("expected");
    // Take 10:00:00 .. 10:00:20.
    QTest::newRow("10 s from 10:00:05: partial") << tc(10, 0, 5) << tc(10, 0, 15) << Coverage::PartialCoverage;
    QTest::newRow("09:59:00 .. 10:00:10: missing end") << tc(9, 59, 0) << tc(10, 0, 10) << Coverage::MissingEnd;
    QTest::newRow("10:00:10 .. 10:01:00: missing start") << tc(10, 0, 10) << tc(10, 1, 0) << Coverage::MissingStart;
    QTest::newRow("09:59:00 .. 10:01:00: entire") << tc(9, 59, 0) << tc(10, 1, 0) << Coverage::EntireTake;
    QTest::newRow("exactly the take: entire") << tc(10, 0, 0) << tc(10, 0, 20) << Coverage::EntireTake;
    QTest::newRow("ends exactly at the take start: none") << tc(9, 59, 0) << tc(10, 0, 0) << Coverage::None;
    QTest::newRow("starts exactly at the take end: none") << tc(10, 0, 20) << tc(10, 1, 0) << Coverage::None;
    QTest::newRow("one sample into the start: missing end") << tc(9, 59, 0) << tc(10, 0, 0) + 1 << Coverage::MissingEnd;
    QTest::newRow("starts one sample in, ends at the end: missing start")
        << tc(10, 0, 0) + 1 << tc(10, 0, 20) << Coverage::MissingStart;
    QTest::newRow("same start, ends early: missing end") << tc(10, 0, 0) << tc(10, 0, 19) << Coverage::MissingEnd;
    QTest::newRow("starts one sample before the end: missing start")
        << tc(10, 0, 20) - 1 << tc(11, 0, 0) << Coverage::MissingStart;
    QTest::newRow("long before: none") << tc(8, 0, 0) << tc(9, 0, 0) << Coverage::None;
    QTest::newRow("empty source inside: partial") << tc(10, 0, 5) << tc(10, 0, 5) << Coverage::PartialCoverage;
}

void TestCoverage::classify()
{
    QFETCH(qint64, sIn);
    QFETCH(qint64, sOut);
    QFETCH(Coverage, expected);
    const SampleSpan take{tc(10, 0, 0), tc(10, 0, 20)};
    QCOMPARE(ClassifyCoverage(SampleSpan{sIn, sOut}, take), expected);
}

void TestCoverage::statusText_data()
{
    QTest::addColumn<int>("entire");
    QTest::addColumn<int>("missingStart");
    QTest::addColumn<int>("partial");
    QTest::addColumn<int>("missingEnd");
    QTest::addColumn<QString>("text");
    QTest::newRow("2, 0, 1, 3") << 2 << 0 << 1 << 3 << QStringLiteral("2 entire take 1 patial coverage 3 missing end founded");
    QTest::newRow("missing start only") << 0 << 4 << 0 << 0 << QStringLiteral("4 missing start founded");
    QTest::newRow("all four") << 1 << 1 << 1 << 1
                              << QStringLiteral("1 entire take 1 missing start 1 patial coverage 1 missing end founded");
    QTest::newRow("none") << 0 << 0 << 0 << 0 << QStringLiteral("Source file timecode doesn't match with any target file.");
}

void TestCoverage::statusText()
{
    QFETCH(int, entire);
    QFETCH(int, missingStart);
    QFETCH(int, partial);
    QFETCH(int, missingEnd);
    QFETCH(QString, text);
    CoverageCounts c;
    const QList<QPair<int, Coverage>> counts{{entire, Coverage::EntireTake}, {missingStart, Coverage::MissingStart},
                                             {partial, Coverage::PartialCoverage}, {missingEnd, Coverage::MissingEnd},
                                             {1, Coverage::None}};
    for (const auto& n : counts)
        for (int i = 0; i < n.first; ++i)
            c.add(n.second);
    QCOMPARE(CoverageStatusText(c), text);
}

void TestCoverage::sourceSpan()
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/s.wav");
    QVERIFY(writeSource(path, 48000, 24, 12345, tc(10, 0, 2) + 7));
    long long in = -1, out = -1;
    bool chunks = false;
    QVERIFY(!GetInOutTimecode(path, &in, &out, &chunks));
    QVERIFY(chunks);
    QCOMPARE(in, tc(10, 0, 2) + 7);
    QCOMPARE(out, tc(10, 0, 2) + 7 + 12345);

    Relay relay;
    QVERIFY(GetInOutTimecode(dir.path() + QStringLiteral("/missing.wav"), &in, &out));
    QCOMPARE(relay.count(), 1);
    QCOMPARE(relay.title(0), QStringLiteral("QSoundFile::Open()"));

    // A file that opens but is not a sound file: no failure, but no chunks.
    QVERIFY(writeFile(dir.path() + QStringLiteral("/t.txt"), "hello"));
    QVERIFY(!GetInOutTimecode(dir.path() + QStringLiteral("/t.txt"), &in, &out, &chunks));
    QVERIFY(!chunks);
    QCOMPARE(in, 0);
    QCOMPARE(out, 0);
}

void TestCoverage::trackNameFilePath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("path");
    QTest::newRow("sibling folder with a dot") << QStringLiteral("/A/B") << QStringLiteral("T01.WAV")
                                               << QStringLiteral("/A/B./T01.snl");
    QTest::newRow("two dots keep the first") << QStringLiteral("/A/B") << QStringLiteral("A.B.WAV")
                                             << QStringLiteral("/A/B./A.B.snl");
    QTest::newRow("percent and spaces") << QStringLiteral("/x y/%s") << QStringLiteral("%d mic.wav")
                                        << QStringLiteral("/x y/%s./%d mic.snl");
}

void TestCoverage::trackNameFilePath()
{
    QFETCH(QString, folder);
    QFETCH(QString, file);
    QFETCH(QString, path);
    QString got;
    GetSnlFileName(folder, file, got);
    QCOMPARE(got, path);
}

void TestCoverage::trackNameRoundTrip()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/Sources");
    QVERIFY(QDir().mkpath(folder));
    QString name = QStringLiteral("stale");
    LoadTrackNameFromSnlFile(folder, QStringLiteral("T01.WAV"), name);
    QCOMPARE(name, QString());

    QVERIFY(QDir().mkpath(folder + QLatin1Char('.')));
    SaveTrackNameToSnlFile(folder, QStringLiteral("T01.WAV"), QStringLiteral("Boom é/;=x"));
    LoadTrackNameFromSnlFile(folder, QStringLiteral("T01.WAV"), name);
    QCOMPARE(name, QStringLiteral("Boom é/;=x"));
    const QString ini = QString::fromUtf8(readFile(dir.path() + QStringLiteral("/Sources./T01.snl")));
    QVERIFY2(ini.startsWith(QStringLiteral("[LastSetup]\nTrackName=")), qPrintable(ini));
    // Nothing is written among the source files themselves.
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());

    SaveTrackNameToSnlFile(folder, QStringLiteral("T01.WAV"), QString());
    LoadTrackNameFromSnlFile(folder, QStringLiteral("T01.WAV"), name);
    QCOMPARE(name, QString());
}

QTEST_MAIN(TestCoverage)
#include "tst_coverage.moc"
