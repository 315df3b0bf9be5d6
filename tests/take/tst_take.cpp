// SPDX-License-Identifier: GPL-3.0-or-later
// Take record: quick and full assembly on recorder-like folders.

#include "MyFileInfoList.h"
#include "QSoundPerform.h"
#include "RelayRecorder.h"
#include "SoundFixtures.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace testsupport;

namespace {

const QString kWav = QStringLiteral("WAV");

RecorderFileSpec baseSpec()
{
    RecorderFileSpec s;
    s.timeReference = quint64(48000) * 3600;   // 01:00:00
    return s;
}

QList<int> presentSlots(const QSoundPerform& r)
{
    QList<int> out;
    for (int t = 0; t < QSoundPerform::kMaxSlots; ++t)
        if (r.m_bPresent[size_t(t)])
            out << t;
    return out;
}

} // namespace

class TestTake : public QObject
{
    Q_OBJECT
    QTemporaryDir* m_pDir = nullptr;
    QString dir() const { return m_pDir->path() + QLatin1Char('/'); }
    // Track n (1-based) of a take of `tracks` tracks, written under `name`.
    bool writeTrack(const QString& name, int tracks, int n, const RecorderFileSpec& base = baseSpec())
    {
        return RecorderFileWriter::write(dir() + name, RecorderFileWriter::monoTrackSpec(base, tracks, n));
    }
    MyFileInfoList listing()
    {
        MyFileInfoList list;
        list.LoadEntryInfoList(m_pDir->path(), {QStringLiteral(".WAV")});
        return list;
    }
    // The quick assembly of the take AA0001 written with `s` as its only track.
    bool quickOfOne(QSoundPerform& r, const RecorderFileSpec& s)
    {
        MyFileInfoList list;
        return writeTrack(QStringLiteral("AA0001_01.WAV"), 1, 1, s) && (list = listing(), true)
            && r.QuickInitFiles(dir() + QStringLiteral("AA0001"), kWav, &list, false);
    }

private slots:
    void init()
    {
        m_pDir = new QTemporaryDir;
        QVERIFY(m_pDir->isValid());
    }
    void cleanup() { delete m_pDir; }

    // Which files of a folder make the take: the quick assembly counts them
    // and opens the first readable one; the full one opens them all.
    void assembly_data()
    {
        QTest::addColumn<QStringList>("files");     // "name=tracks/n", or "name=raw" for an unreadable file
        QTest::addColumn<bool>("quickOk");
        QTest::addColumn<QList<int>>("quickSlots");
        QTest::addColumn<int>("quickFiles");        // -1: the quick assembly is not run
        QTest::addColumn<bool>("fullOk");
        QTest::addColumn<QList<int>>("fullSlots");
        QTest::newRow("one- and two-digit names") << QStringList{"AA0001_1.WAV=2/1", "AA0001_02.WAV=2/2"}
                                                  << true << QList<int>{0} << 2 << true << QList<int>{0, 1};
        QTest::newRow("mixed families") << QStringList{"AA0001_01.WAV=10/1", "AA0001#2.WAV=10/2", "AA0001+3.WAV=10/3", "AA0001_A.WAV=10/10"}
                                        << true << QList<int>{0} << 4 << true << QList<int>{0, 1, 2, 9};
        QTest::newRow("tracks 1, 2 and 5") << QStringList{"AA0001_01.WAV=5/1", "AA0001_02.WAV=5/2", "AA0001_05.WAV=5/5"}
                                           << true << QList<int>{0} << 3 << true << QList<int>{0, 1, 4};
        QTest::newRow("M/S pair") << QStringList{"AA0001-1.WAV=2/1", "AA0001-2.WAV=2/2"}
                                  << true << QList<int>{0} << -1 << true << QList<int>{0, 1};
        QTest::newRow("lone M/S half is not loaded") << QStringList{"AA0001_01.WAV=3/1", "AA0001-3.WAV=3/3"}
                                                     << true << QList<int>{} << -1 << false << QList<int>{};
        QTest::newRow("lone M/S half first gives way") << QStringList{"AA0001-1.WAV=2/1", "AA0001_02.WAV=2/2"}
                                                       << true << QList<int>{1} << 1 << false << QList<int>{};
        QTest::newRow("unreadable first file, classic") << QStringList{"AA0001_01.WAV=raw", "AA0001_02.WAV=2/2"}
                                                        << false << QList<int>{} << 0 << false << QList<int>{};
        QTest::newRow("unreadable first file, other family") << QStringList{"AA0001#1.WAV=raw", "AA0001#2.WAV=2/2"}
                                                             << true << QList<int>{1} << 1 << false << QList<int>{};
        QTest::newRow("no file for the key") << QStringList{"ZZ0001_01.WAV=1/1"}
                                             << true << QList<int>{} << 0 << false << QList<int>{};
    }
    void assembly()
    {
        QFETCH(QStringList, files);
        QFETCH(QList<int>, quickSlots);
        QFETCH(int, quickFiles);
        QFETCH(QList<int>, fullSlots);
        for (const QString& f : files) {
            const QString name = f.section(QLatin1Char('='), 0, 0), what = f.section(QLatin1Char('='), 1);
            QVERIFY(what == QLatin1String("raw") ? writeBytes(dir() + name, "not a sound file")
                                                 : writeTrack(name, what.section(QLatin1Char('/'), 0, 0).toInt(),
                                                              what.section(QLatin1Char('/'), 1).toInt()));
        }
        MyFileInfoList list = listing();
        RelayRecorder relay;
        if (quickFiles >= 0) {
            QSoundPerform quick;
            QTEST(quick.QuickInitFiles(dir() + QStringLiteral("AA0001"), kWav, &list, false), "quickOk");
            QCOMPARE(presentSlots(quick), quickSlots);
            QCOMPARE(int(quick.m_nNbFiles), quickFiles);
            if (!quickSlots.isEmpty())
                QCOMPARE(int(quick.GetFirstTrack()), quickSlots.first());
            // A first file whose chunks cannot be read fails a classic take, and says so.
            if (files.first().endsWith(QLatin1String("_01.WAV=raw"))) {
                QCOMPARE(relay.count(), 1);
                QVERIFY(relay.lines().first().startsWith(QLatin1String("QSoundFile::ReadChunks(): "))
                        && relay.text().endsWith(QLatin1String("is not a sound file !")));
            }
        }
        QSoundPerform full;
        QTEST(full.InitFilesZZ(dir() + QStringLiteral("AA0001"), kWav), "fullOk");
        QCOMPARE(presentSlots(full), fullSlots);
        QCOMPARE(int(full.m_nNbFiles), fullSlots.size());
        for (int t : fullSlots)
            QVERIFY(!full.File(t).IsOpen() && full.File(t).m_sPath.startsWith(dir() + QStringLiteral("AA0001")));
    }

    // key.WAV and key_01.WAV side by side: the poly file is the take.
    void polyWinsOverMono()
    {
        RecorderFileSpec poly = baseSpec();
        poly.channels = 2;
        poly.ixml.trackCount = 2;
        poly.ixml.polyTrackNames = poly.ixml.allTrackNames = QStringList{QStringLiteral("Boom"), QStringLiteral("Lav")};
        QVERIFY(RecorderFileWriter::write(dir() + QStringLiteral("AA0001.WAV"), poly));
        QVERIFY(writeTrack(QStringLiteral("AA0001_01.WAV"), 2, 1) && writeTrack(QStringLiteral("AA0001_02.WAV"), 2, 2));
        MyFileInfoList list = listing();
        for (bool quick : {true, false}) {
            QSoundPerform r;
            QVERIFY(quick ? r.QuickInitFiles(dir() + QStringLiteral("AA0001"), kWav, &list, false)
                          : r.InitFilesZZ(dir() + QStringLiteral("AA0001"), kWav));
            QVERIFY(r.m_bPoly);
            QCOMPARE(QList<int>({r.m_nNbFiles, r.m_nNbChannels}), QList<int>({1, 2}));
            QCOMPARE(presentSlots(r), QList<int>{0});
            QCOMPARE(r.m_sFolderPath + r.m_sRoot, dir() + QStringLiteral("AA0001"));
            QCOMPARE(QStringList({r.m_sTrackName[0], r.m_sTrackName[1], r.m_sTrackActive[0], r.m_sTrackActive[2]}),
                     QStringList({"Boom", "Lav", "YES", "NO"}));
            QVERIFY(r.File(0).m_sPath.endsWith(QStringLiteral("/AA0001.WAV")));
        }
    }

    // The record holds the first file's format, timing and metadata.
    void recordOfTheFirstFile()
    {
        RecorderFileSpec s = baseSpec();
        s.ixml.allTrackNames = QStringList{QStringLiteral("Boom"), QStringLiteral("Lav")};
        QVERIFY(writeTrack(QStringLiteral("AA0001_02.WAV"), 2, 2, s));
        QSoundPerform r;
        QVERIFY(quickOfOne(r, s));
        QCOMPARE(r.m_sRoot + r.m_sExtension, QStringLiteral("AA0001WAV"));
        QCOMPARE(QList<quint32>({r.m_nSampleRate, quint32(r.m_nBitsPerSample), quint32(r.m_nNbChannels), r.m_nDataSize,
                                 quint32(r.m_nFrameRate), r.m_nTimeCodeFrame}),
                 QList<quint32>({48000, 24, 1, 4800 * 3, 25, 25 * 3600}));
        QCOMPARE(r.m_nSizeOnDisk, quint32(QFileInfo(dir() + QStringLiteral("AA0001_01.WAV")).size()));
        QCOMPARE(QStringList({r.m_sTimeCode, r.m_sCreationDate, r.m_sScene, r.m_sTakeNumber, r.m_sNotes, r.m_sCircled,
                              r.m_sTrackName[0], r.m_sTrackName[1], r.m_sTrackActive[1], r.m_sTrackActive[2]}),
                 QStringList({"01:00:00", "2019-05-14", "12A", "3", "good", "TRUE", "Boom", "Lav", "YES", "NO"}));
        QString path;
        r.GetMonoFilePath(9, path);
        QCOMPARE(path, dir() + QStringLiteral("AA0001_10.WAV"));
    }

    void coherence_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("padTo");
        QTest::addColumn<QString>("text");
        QTest::newRow("sample rate") << 96000 << 24 << 4800 << 61440 << "All files haven't the same sample rate !\n";
        QTest::newRow("bits") << 48000 << 16 << 7200 << 61440 << "All files haven't the same sample bits rate !\n";
        QTest::newRow("data size") << 48000 << 24 << 4000 << 61440 << "All files haven't the same Data size (12000 14400)!\n";
        QTest::newRow("size on disk") << 48000 << 24 << 4800 << 61442 << "All files haven't the same  size on disk !\n";
    }
    // The second file differs: the full assembly fails with one message naming it.
    void coherence()
    {
        QFETCH(QString, text);
        RecorderFileSpec other = baseSpec();
        QFETCH(int, rate);
        QFETCH(int, bits);
        QFETCH(int, frames);
        QFETCH(int, padTo);
        other.sampleRate = quint32(rate);
        other.bitsPerSample = quint16(bits);
        other.frames = quint32(frames);
        other.ixml.padTo = padTo;
        QVERIFY(writeTrack(QStringLiteral("AA0001_01.WAV"), 3, 1));
        QVERIFY(writeTrack(QStringLiteral("AA0001_02.WAV"), 3, 2, other) && writeTrack(QStringLiteral("AA0001_03.WAV"), 3, 3, other));
        RelayRecorder relay;
        QSoundPerform r;
        QVERIFY(!r.InitFilesZZ(dir() + QStringLiteral("AA0001"), kWav));
        QCOMPARE(relay.lines(), QStringList{QStringLiteral("TestCoherenceFiles: ") + text + dir() + QStringLiteral("AA0001_02.WAV")});
        QCOMPARE(relay.args(), QStringLiteral("0,1,true,0"));
        QVERIFY(presentSlots(r).isEmpty());   // reset after the failure
        QCOMPARE(r.m_nNbFiles + int(r.m_nSampleRate), 0);
        QCOMPARE(r.m_sScene, QStringLiteral(" "));
    }

    void productionMetadata()
    {
        RecorderFileSpec s = baseSpec();
        s.description = RecorderFileWriter::descriptionLines({{"aTAG=", "a"}, {"aUBITS=", "12345678"}, {"aTAPE=", "T7"}});
        s.ixml.take = QStringLiteral("r12");
        s.ixml.note = QStringLiteral("plane overhead");
        s.ixml.sctkTemplate = 4;
        s.ixml.advancedComposition = QStringLiteral("1,0,2");
        s.ixml.advancedFields = {{QStringLiteral("SEQUENCE"), QStringLiteral("42")}, {QStringLiteral("SEP1"), QStringLiteral("-")}};
        s.ixml.syncPoints = {{QStringLiteral("SLATE_GENERIC"), 24000u}, {QStringLiteral("MARKER_GENERIC"), 480u}};
        s.ixml.syncComments = QStringList{QStringLiteral("AUTO"), QStringLiteral("cut")};
        QSoundPerform r;
        QVERIFY(quickOfOne(r, s));
        // A lower-case tag is the pull-down flag: 172800000 * 1000 / 1001 samples is 3596 whole seconds.
        QVERIFY(r.m_bLowerCaseTag);
        QCOMPARE(QStringList({r.m_sTakeIndicator, r.m_sTakeNumber, r.m_sNotes, r.m_sUbits, r.m_sTape, r.m_sTimeCode,
                              r.m_sAdvancedComposition, r.m_AdvancedFields.value(1), r.m_AdvancedFields.value(0)}),
                 QStringList({"r", "12", "plane overhead", "12345678", "T7", "00:59:56", "1,0,2", "42", "-"}));
        QCOMPARE(QList<quint32>({quint32(r.m_nScTkTemplate), r.m_nSlateCount, r.m_nSlateSamples[0], r.m_nMarkerCount,
                                 r.m_nMarkerSamples[0]}),
                 QList<quint32>({4, 1, 24000, 1, 480}));
        QVERIFY(r.m_bSlateAuto);
        QCOMPARE(r.m_slMarkerComments, QStringList{QStringLiteral("cut")});
    }

    // No iXML chunk, or one that does not parse: no message, the take is
    // still assembled, with empty track texts; a bad slot is only logged.
    void missingOrBadIxml()
    {
        RecorderFileSpec s = baseSpec();
        s.withIxml = false;
        RelayRecorder relay;
        QSoundPerform none;
        QVERIFY(quickOfOne(none, s));
        QVERIFY(!none.GetiXMLInfos(0));
        QCOMPARE(none.m_sTrackName[0] + none.m_sTrackActive[0] + none.m_sScene, QStringLiteral(" "));
        QCOMPARE(relay.count(), 0);
        QTest::ignoreMessage(QtDebugMsg, "QSoundPerform::GetiXMLInfos() Invalid file number 24 !");
        QVERIFY(none.GetiXMLInfos(24));
        QTest::ignoreMessage(QtDebugMsg, "QSoundPerform::GetiXMLInfos() Invalid file number -1 !");
        QVERIFY(none.GetiXMLInfos(-1));
        s.withIxml = true;
        s.ixmlRaw = QByteArray("<BWFXML><SCENE>7</BWFXML>");
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^XML ERROR ON FILE Number 0")));
        QSoundPerform bad;
        QVERIFY(quickOfOne(bad, s));
        QCOMPARE(bad.m_sScene, QStringLiteral(" "));
        QCOMPARE(bad.m_nNbFiles, qint16(1));
    }

    // The lookup goes through the listing: a file added after listing is not
    // seen; without a listing the file system is asked.
    void quickUsesTheListing()
    {
        QVERIFY(writeTrack(QStringLiteral("AA0001_01.WAV"), 3, 1) && writeTrack(QStringLiteral("AA0001_02.WAV"), 3, 2));
        MyFileInfoList list = listing();
        QVERIFY(writeTrack(QStringLiteral("AA0001_03.WAV"), 3, 3));
        QSoundPerform r, disk;
        QVERIFY(r.QuickInitFiles(dir() + QStringLiteral("AA0001"), kWav, &list, false));
        QVERIFY(disk.QuickInitFiles(dir() + QStringLiteral("AA0001"), kWav, nullptr, false));
        QCOMPARE(QList<int>({r.m_nNbFiles, disk.m_nNbFiles}), QList<int>({2, 3}));
    }

    // The take's track table is read in one pass; it must agree with the
    // per-track queries on an untidy table: entries out of order, a repeated
    // INDICE, spaces around a number, a non-number, an index beyond 23, and an
    // entry only found after the 24th DATA element.
    void trackTableAgreesWithQueries()
    {
        QByteArray doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><BWFXML><SCENE>1</SCENE>"
                         "<TRACK_LIST><TRACK_COUNT>1</TRACK_COUNT><TRACK><NAME>own</NAME></TRACK></TRACK_LIST>"
                         "<VELTA_PAVANE><ALL_TRK_NAME>";
        auto entry = [&doc](const char* indice, const char* name, const char* active) {
            doc += QByteArray("<DATA><INDICE>") + indice + "</INDICE><NAME>" + name + "</NAME><ACTIVE>" + active + "</ACTIVE></DATA>";
        };
        entry("3", "Three", "YES");
        entry("0", "Zero", "YES");
        entry("3", "Three again", "NO");
        entry(" 5 ", "Five", "YES");
        entry("x", "Nothing", "YES");
        entry("30", "Thirty", "YES");
        doc += "<OTHER/>";
        entry("1", "", "NO");
        for (int i = 0; i < 17; ++i)
            entry("7", "Seven", "YES");
        entry("9", "Too late", "YES");   // the 25th DATA entry
        RecorderFileSpec s = baseSpec();
        s.ixmlRaw = doc + "</ALL_TRK_NAME></VELTA_PAVANE></BWFXML>" + QByteArray(2000, ' ');
        QSoundPerform r;
        QVERIFY(quickOfOne(r, s));
        QSoundFile& f = r.File(0);
        QVERIFY(f.m_XmlObject.XmlOk());
        for (int k = 0; k < QSoundPerform::kMaxSlots; ++k) {
            QCOMPARE(r.m_sTrackName[size_t(k)], f.GetiXMLVeltaTracknames(k));
            QCOMPARE(r.m_sTrackActive[size_t(k)], f.GetiXMLVeltaTrackActive(k));
        }
        QCOMPARE(QStringList({r.m_sTrackName[3], r.m_sTrackName[5], r.m_sTrackName[7], r.m_sTrackName[9], r.m_sTrackActive[1]}),
                 QStringList({"Three", "Five", "Seven", "", "NO"}));
    }
};

QTEST_MAIN(TestTake)
#include "tst_take.moc"
