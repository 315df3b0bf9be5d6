// SPDX-License-Identifier: GPL-3.0-or-later
// The bytes of every file a series of creates and hides (or a conform) leaves behind on takes of several layouts,
// pinned by SHA-256: a rework of the engine or of the update pass that changes one byte shows here.

#include "InsertionFixtures.h"

#include "ConformApply.h"
#include "ConformPlan.h"

#include <QtTest>

using namespace fixtures;
using namespace ins;

namespace {

enum class Layout { Recorder, SmallIxml, NoIxml, OddChunks, Sixteen };

RecorderFileSpec layoutBase(Layout layout)
{
    RecorderFileSpec s = spec(48000, layout == Layout::Sixteen ? 16 : 24, 3 * 48000, kTen);
    s.ixml.padTo = layout == Layout::SmallIxml ? 4000 : s.ixml.padTo;
    s.ixmlLast = layout == Layout::SmallIxml;
    s.withIxml = layout != Layout::NoIxml;
    if (layout == Layout::OddChunks) {
        s.extraBefore << ExtraChunk{"abcd", "12345", true, 0};
        s.extraAfter << ExtraChunk{"LIST", QByteArray(501, 'x'), true, 0};
    }
    return s;
}

// "name=first 16 hex digits of SHA-256" of every file of `folder`, sorted by name.
QStringList sums(const QString& folder)
{
    QStringList found;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name))
        found << name + QLatin1Char('=')
                + QString::fromLatin1(
                    QCryptographicHash::hash(readFile(folder + QLatin1Char('/') + name), QCryptographicHash::Sha256)
                        .toHex()
                        .left(16));
    return found;
}

} // namespace

class TestGolden : public QObject
{
    Q_OBJECT
private slots:
    void createHideCreate_data()
    {
        columns<int, QStringList>({"layout", "sums"});
        QTest::newRow("recorder") << int(Layout::Recorder) << QStringList{"AA0001_01.WAV=22c44a085902a508", "AA0001_02.WAV=42b72b65d082c6fe", "AA0001_03.DEL1=6eddec1da639fafd",
            "AA0001_04.WAV=0f05779409205b0b", "AA0001_05.WAV=7fcb38ca5084aca9"};
        QTest::newRow("small iXML last") << int(Layout::SmallIxml) << QStringList{"AA0001_01.WAV=9808923fc5127d9b", "AA0001_02.WAV=e37a2d41f8a0ce79", "AA0001_03.DEL1=cb567df7f3cc3c9b",
            "AA0001_04.WAV=7abd6cda9d1aa78a", "AA0001_05.WAV=0623eda4d06951f1"};
        QTest::newRow("no iXML") << int(Layout::NoIxml) << QStringList{"AA0001_01.WAV=790c5906ccab6fb6", "AA0001_02.WAV=d2dbc5f6b0edd70f", "AA0001_03.DEL1=3a88448b0c3a25d1",
            "AA0001_04.WAV=032e822fde329ead", "AA0001_05.WAV=57d67ab22eaa38bf"};
        QTest::newRow("odd chunks") << int(Layout::OddChunks) << QStringList{"AA0001_01.WAV=62286c050a1fe356", "AA0001_02.WAV=d1724271d1902655", "AA0001_03.DEL1=33fc3ca77bdbf513",
            "AA0001_04.WAV=0dfb7d57b2f94fc0", "AA0001_05.WAV=f660ef85b3f159fa"};
        QTest::newRow("16 bits") << int(Layout::Sixteen) << QStringList{"AA0001_01.WAV=08b22dc2f93b72d5", "AA0001_02.WAV=4a0feb0e36c963df", "AA0001_03.DEL1=ce6bb6592bf3baad",
            "AA0001_04.WAV=fcd416600d9883ee", "AA0001_05.WAV=4bde004f3581ccd5"};
    }
    // Track 3 from a source covering the whole take, track 4 from one that misses its start, track 3 hidden, track 5
    // from one that misses its end.
    void createHideCreate()
    {
        QFETCH(int, layout);
        QTemporaryDir dir;
        const QString target = dir.path() + QStringLiteral("/Shoot_PV1"), whole = dir.path() + QStringLiteral("/whole.wav");
        const QString late = dir.path() + QStringLiteral("/late.wav"), early = dir.path() + QStringLiteral("/early.wav");
        const RecorderFileSpec base = layoutBase(Layout(layout));
        QVERIFY(QDir().mkpath(target) && RecorderFileWriter::writeMonoTake(target, QStringLiteral("AA0001"), 2, base));
        QVERIFY(writeSource(whole, 48000, base.bitsPerSample, 5 * 48000, kTen - 48000, 11));
        QVERIFY(writeSource(late, 48000, base.bitsPerSample, 5 * 48000, kTen + 48000, 12));
        QVERIFY(writeSource(early, 48000, base.bitsPerSample, 2 * 48000, kTen - 48000, 13));
        Relay relay;
        const QStringList take{QStringLiteral("AA0001")};
        QVERIFY2(createTrack(target, whole, 3, take, QStringLiteral("Boom")).success, qPrintable(relay.all()));
        QVERIFY2(createTrack(target, late, 4, take, QStringLiteral("Lav é")).success, qPrintable(relay.all()));
        QVERIFY2(hideTrack(target, 3, take).success, qPrintable(relay.all()));
        QVERIFY2(createTrack(target, early, 5, take, QString()).success, qPrintable(relay.all()));
        QTEST(sums(target), "sums");
    }
    // One take filled from two back-to-back source files with a gap before the first.
    void conformFromSplitSources()
    {
        QTemporaryDir dir;
        const QString target = dir.path() + QStringLiteral("/Shoot_PV1"), sources = dir.path() + QStringLiteral("/lav");
        QVERIFY(QDir().mkpath(target) && QDir().mkpath(sources));
        QVERIFY(RecorderFileWriter::writeMonoTake(target, QStringLiteral("AA0001"), 2, layoutBase(Layout::Recorder)));
        QVERIFY(writeSource(sources + QStringLiteral("/LAV_0001.WAV"), 48000, 24, 48000, kTen + 24000, 21));
        QVERIFY(writeSource(sources + QStringLiteral("/LAV_0002.WAV"), 48000, 24, 5 * 48000, kTen + 72000, 22));
        Relay relay;
        ConformRequest request;
        std::tie(request.sourceFolder, request.targetFolder, request.track) = std::make_tuple(sources, target, 3);
        ConformPlan plan = BuildConformPlan(request);
        QCOMPARE(plan.takes.size(), 1);
        QCOMPARE(plan.takes.at(0).ranges.size(), 2);
        QVERIFY2(ConformRun().Apply(plan), qPrintable(relay.all()));
        QCOMPARE(sums(target), QStringList({"AA0001_01.WAV=aaa39db58ece0332", "AA0001_02.WAV=2bfb37a091d3e9ed", "AA0001_03.WAV=9c6fc266a1a1f8ea"}));
    }
};

QTEST_MAIN(TestGolden)
#include "tst_golden.moc"
