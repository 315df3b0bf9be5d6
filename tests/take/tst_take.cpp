// SPDX-License-Identifier: GPL-3.0-or-later
// Take record: quick and full assembly on recorder-like folders.

#include "MessageLoging.h"
#include "MyFileInfoList.h"
#include "QSoundPerform.h"
#include "RecorderFileWriter.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kWav = QStringLiteral("WAV");

RecorderFileSpec baseSpec()
{
    RecorderFileSpec s;
    s.sampleRate = 48000;
    s.bitsPerSample = 24;
    s.frames = 4800;
    s.timeReference = quint64(48000) * 3600;   // 01:00:00
    return s;
}

} // namespace

class TestTake : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir* m_pDir = nullptr;
    MessageLoging* m_pRelay = nullptr;

    QString dir() const { return m_pDir->path() + QLatin1Char('/'); }

    // Track n (1-based) of a take of `tracks` tracks, written under `name`.
    bool writeTrack(const QString& name, int tracks, int n, RecorderFileSpec base = baseSpec())
    {
        QString error;
        const bool ok = RecorderFileWriter::write(dir() + name, RecorderFileWriter::monoTrackSpec(base, tracks, n), &error);
        if (!ok)
            qWarning("%s", qPrintable(error));
        return ok;
    }

    bool writeRaw(const QString& name, const QByteArray& bytes)
    {
        QFile f(dir() + name);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }

    MyFileInfoList listing()
    {
        MyFileInfoList list;
        list.LoadEntryInfoList(m_pDir->path(), {QStringLiteral(".WAV")});
        return list;
    }

    static QList<int> presentSlots(const QSoundPerform& r)
    {
        QList<int> out;
        for (int t = 0; t < QSoundPerform::kMaxSlots; ++t) {
            if (r.m_bPresent[size_t(t)])
                out << t;
        }
        return out;
    }

private slots:
    void init()
    {
        m_pDir = new QTemporaryDir;
        QVERIFY(m_pDir->isValid());
        m_pRelay = new MessageLoging;
        global_pLogger = m_pRelay;
    }
    void cleanup()
    {
        global_pLogger = nullptr;
        delete m_pRelay;
        delete m_pDir;
    }

    void resetState()
    {
        QSoundPerform r;
        QCOMPARE(r.m_sScene, QStringLiteral(" "));
        QCOMPARE(r.m_sNotes, QStringLiteral(" "));
        QCOMPARE(r.m_sCircled, QStringLiteral(" "));
        QCOMPARE(r.m_sTakeNumber, QStringLiteral("0"));
        QVERIFY(r.m_sTakeIndicator.isEmpty());
        QCOMPARE(r.m_sTrackName[23], QStringLiteral(" "));
        QCOMPARE(r.m_sTrackActive[0], QStringLiteral(" "));
        QCOMPARE(r.m_nNbFiles, qint16(0));
        QCOMPARE(r.GetFirstTrack(), short(0));
        QVERIFY(presentSlots(r).isEmpty());
    }

    // key.WAV and key_01.WAV side by side: the poly file is the take.
    void polyWinsOverMono()
    {
        RecorderFileSpec poly = baseSpec();
        poly.channels = 2;
        poly.ixml.trackCount = 2;
        poly.ixml.polyTrackNames = QStringList{QStringLiteral("Boom"), QStringLiteral("Lav")};
        poly.ixml.allTrackNames = QStringList{QStringLiteral("Boom"), QStringLiteral("Lav")};
        QVERIFY(RecorderFileWriter::write(dir() + QStringLiteral("AA0001.WAV"), poly));
        QVERIFY(writeTrack(QStringLiteral("AA0001_01.WAV"), 2, 1));
        QVERIFY(writeTrack(QStringLiteral("AA0001_02.WAV"), 2, 2));

        MyFileInfoList list = listing();
        for (bool quick : {true, false}) {
            QSoundPerform r;
            QVERIFY(quick ? r.QuickInitFiles(dir() + QStringLiteral("AA0001"), kWav, &list, false)
                          : r.InitFilesZZ(dir() + QStringLiteral("AA0001"), kWav));
            QVERIFY(r.m_bPoly);
            QCOMPARE(r.m_nNbFiles, qint16(1));
            QCOMPARE(r.m_nNbChannels, qint16(2));
            QCOMPARE(presentSlots(r), QList<int>{0});
            QCOMPARE(r.m_sRoot, QStringLiteral("AA0001"));
            QCOMPARE(r.m_sFolderPath, dir());
            QCOMPARE(r.m_sTrackName[0], QStringLiteral("Boom"));
            QCOMPARE(r.m_sTrackName[1], QStringLiteral("Lav"));
            QCOMPARE(r.m_sTrackActive[0], QStringLiteral("YES"));
            QCOMPARE(r.m_sTrackActive[2], QStringLiteral("NO"));
            QVERIFY(r.File(0).m_sPath.endsWith(QStringLiteral("/AA0001.WAV")));
            QVERIFY(!r.File(0).IsOpen());
        }
    }

    // Tracks 1, 2 and 5 only: the quick assembly knows three files and opens
    // the first; the full one opens all three.
    void tracksOneTwoFive()
    {
        RecorderFileSpec base = baseSpec();
        base.ixml.allTrackNames = QStringList{QStringLiteral("Boom"), QStringLiteral("Lav"), QString(), QString(),
                                   QStringLiteral("Plant")};
        for (int n : {1, 2, 5})
            QVERIFY(writeTrack(QStringLiteral("AA0001_0%1.WAV").arg(n), 5, n, base));
        MyFileInfoList list = listing();

        QSoundPerform quick;
        QVERIFY(quick.QuickInitFiles(dir() + QStringLiteral("AA0001"), kWav, &list, false));
        QCOMPARE(quick.m_nNbFiles, qint16(3));
        QCOMPARE(presentSlots(quick), QList<int>{0});
        QVERIFY(quick.File(1).m_sPath.isEmpty());
        QVERIFY(!quick.File(4).HasDataChunk());
        QVERIFY(!quick.m_bPoly);
        QCOMPARE(quick.m_sRoot, QStringLiteral("AA0001"));
        QCOMPARE(quick.m_sExtension, kWav);
        // Track table of the first file, then its own track entry.
        QCOMPARE(quick.m_sTrackName[0], QStringLiteral("Boom"));
        QCOMPARE(quick.m_sTrackName[4], QStringLiteral("Plant"));
        QCOMPARE(quick.m_sTrackActive[4], QStringLiteral("YES"));
        QCOMPARE(quick.m_sTrackActive[2], QStringLiteral("NO"));
        // Format and timing of the first file.
        QCOMPARE(quick.m_nSampleRate, 48000u);
        QCOMPARE(quick.m_nBitsPerSample, qint16(24));
        QCOMPARE(quick.m_nNbChannels, qint16(1));
        QCOMPARE(quick.m_nDataSize, 4800u * 3);
        QCOMPARE(quick.m_sTimeCode, QStringLiteral("01:00:00"));
        QCOMPARE(quick.m_nFrameRate, short(25));
        QCOMPARE(quick.m_nTimeCodeFrame, 25u * 3600);
        QCOMPARE(quick.m_sCreationDate, QStringLiteral("2019-05-14"));
        QCOMPARE(quick.m_nSizeOnDisk, quint32(QFileInfo(dir() + QStringLiteral("AA0001_01.WAV")).size()));
        QCOMPARE(quick.m_sScene, QStringLiteral("12A"));
        QCOMPARE(quick.m_sTakeNumber, QStringLiteral("3"));
        QCOMPARE(quick.m_sNotes, QStringLiteral("good"));
        QCOMPARE(quick.m_sCircled, QStringLiteral("TRUE"));

        QSoundPerform full;
        QVERIFY(full.InitFilesZZ(dir() + QStringLiteral("AA0001"), kWav));
        QCOMPARE(full.m_nNbFiles, qint16(3));
        QCOMPARE(presentSlots(full), (QList<int>{0, 1, 4}));
        QVERIFY(full.File(4).m_sPath.endsWith(QStringLiteral("/AA0001_05.WAV")));
        QCOMPARE(full.GetFirstTrack(), short(0));
        for (int t : {0, 1, 4})
            QVERIFY(!full.File(t).IsOpen());

        QString path;
        full.GetMonoFilePath(2, path);
        QCOMPARE(path, dir() + QStringLiteral("AA0001_03.WAV"));
        full.GetMonoFilePath(9, path);
        QCOMPARE(path, dir() + QStringLiteral("AA0001_10.WAV"));
    }

    // "_1" and "_02" in one take: both name forms are tried for every track.
    void oneAndTwoDigitNames()
    {
        QVERIFY(writeTrack(QStringLiteral("AA0001_1.WAV"), 2, 1));
        QVERIFY(writeTrack(QStringLiteral("AA0001_02.WAV"), 2, 2));
        MyFileInfoList list = listing();
        QSoundPerform quick;
        QVERIFY(quick.QuickInitFiles(dir() + QStringLiteral("AA0001"), kWav, &list, false));
        QCOMPARE(quick.m_nNbFiles, qint16(2));
        QSoundPerform full;
        QVERIFY(full.InitFilesZZ(dir() + QStringLiteral("AA0001"), kWav));
        QCOMPARE(presentSlots(full), (QList<int>{0, 1}));
        QVERIFY(full.File(0).m_sPath.endsWith(QStringLiteral("/AA0001_1.WAV")));
    }

    void mixedFamilies()
    {
        QVERIFY(writeTrack(QStringLiteral("AA0001_01.WAV"), 10, 1));
        QVERIFY(writeTrack(QStringLiteral("AA0001#2.WAV"), 10, 2));
        QVERIFY(writeTrack(QStringLiteral("AA0001+3.WAV"), 10, 3));
        QVERIFY(writeTrack(QStringLiteral("AA0001_A.WAV"), 10, 10));
        MyFileInfoList list = listing();
        QSoundPerform quick;
        QVERIFY(quick.QuickInitFiles(dir() + QStringLiteral("AA0001"), kWav, &list, false));
        QCOMPARE(quick.m_nNbFiles, qint16(4));
        QSoundPerform full;
        QVERIFY(full.InitFilesZZ(dir() + QStringLiteral("AA0001"), kWav));
        QCOMPARE(presentSlots(full), (QList<int>{0, 1, 2, 9}));
        QCOMPARE(full.m_nNbFiles, qint16(4));
        // Each file's own track entry names its track.
        QCOMPARE(full.m_sTrackName[9], QStringLiteral("Trk10"));
        QCOMPARE(full.m_sTrackActive[9], QStringLiteral("YES"));
    }

    // M/S files load only as a pair (1-2, 3-4, ...).
    void midSidePairs()
    {
        QVERIFY(writeTrack(QStringLiteral("AA0003-1.WAV"), 2, 1));
        QVERIFY(writeTrack(QStringLiteral("AA0003-2.WAV"), 2, 2));
        QSoundPerform pair;
        QVERIFY(pair.InitFilesZZ(dir() + QStringLiteral("AA0003"), kWav));
        QCOMPARE(presentSlots(pair), (QList<int>{0, 1}));

        // A lone M (track 3, no track 4) is not loaded: the full assembly fails.
        QVERIFY(writeTrack(QStringLiteral("AA0005_01.WAV"), 3, 1));
        QVERIFY(writeTrack(QStringLiteral("AA0005-3.WAV"), 3, 3));
        QSoundPerform lone;
        QVERIFY(!lone.InitFilesZZ(dir() + QStringLiteral("AA0005"), kWav));
        QVERIFY(presentSlots(lone).isEmpty());
        QCOMPARE(lone.m_nNbFiles, qint16(0));

        // Quickly, a lone half first in the take gives way to the next file.
        QVERIFY(writeTrack(QStringLiteral("AA0006-1.WAV"), 2, 1));
        QVERIFY(writeTrack(QStringLiteral("AA0006_02.WAV"), 2, 2));
        MyFileInfoList list = listing();
        QSoundPerform quick;
        QVERIFY(quick.QuickInitFiles(dir() + QStringLiteral("AA0006"), kWav, &list, false));
        QCOMPARE(presentSlots(quick), QList<int>{1});
        QCOMPARE(quick.m_nNbFiles, qint16(1));
        QCOMPARE(quick.GetFirstTrack(), short(1));
    }

    void coherence_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("padTo");
        QTest::addColumn<QString>("text");
        QTest::newRow("sample rate") << 96000 << 24 << 4800 << 61440
                                     << QStringLiteral("All files haven't the same sample rate !\n");
        QTest::newRow("bits") << 48000 << 16 << 7200 << 61440
                              << QStringLiteral("All files haven't the same sample bits rate !\n");
        QTest::newRow("data size") << 48000 << 24 << 4000 << 61440
                                   << QStringLiteral("All files haven't the same Data size (12000 14400)!\n");
        QTest::newRow("size on disk") << 48000 << 24 << 4800 << 61442
                                      << QStringLiteral("All files haven't the same  size on disk !\n");
    }
    // The second file differs: the full assembly fails with one message naming it.
    void coherence()
    {
        QFETCH(int, rate);
        QFETCH(int, bits);
        QFETCH(int, frames);
        QFETCH(int, padTo);
        QFETCH(QString, text);
        QVERIFY(writeTrack(QStringLiteral("AA0001_01.WAV"), 3, 1));
        RecorderFileSpec other = baseSpec();
        other.sampleRate = quint32(rate);
        other.bitsPerSample = quint16(bits);
        other.frames = quint32(frames);
        other.ixml.padTo = padTo;
        QVERIFY(writeTrack(QStringLiteral("AA0001_02.WAV"), 3, 2, other));
        QVERIFY(writeTrack(QStringLiteral("AA0001_03.WAV"), 3, 3, other));

        QSignalSpy spy(m_pRelay, &MessageLoging::signal_message);
        QSoundPerform r;
        QVERIFY(!r.InitFilesZZ(dir() + QStringLiteral("AA0001"), kWav));
        QCOMPARE(spy.count(), 1);
        const QList<QVariant> args = spy.takeFirst();
        QCOMPARE(args.at(0).toString(), QStringLiteral("TestCoherenceFiles"));
        QCOMPARE(args.at(1).toString(), text + dir() + QStringLiteral("AA0001_02.WAV"));
        QCOMPARE(args.at(2).toInt(), 0);
        QCOMPARE(args.at(3).toInt(), 1);
        QCOMPARE(args.at(4).toBool(), true);
        QCOMPARE(args.at(5).toInt(), 0);
        // Reset after the failure.
        QVERIFY(presentSlots(r).isEmpty());
        QCOMPARE(r.m_nNbFiles, qint16(0));
        QCOMPARE(r.m_nSampleRate, 0u);
        QCOMPARE(r.m_sScene, QStringLiteral(" "));
    }

    void invalidSlotForMetadata()
    {
        QSoundPerform r;
        QTest::ignoreMessage(QtDebugMsg, "QSoundPerform::GetiXMLInfos() Invalid file number 24 !");
        QVERIFY(r.GetiXMLInfos(24));
        QTest::ignoreMessage(QtDebugMsg, "QSoundPerform::GetiXMLInfos() Invalid file number -1 !");
        QVERIFY(r.GetiXMLInfos(-1));
    }

    // No iXML chunk: no error, empty track texts; the take is still assembled.
    void fileWithoutIxml()
    {
        RecorderFileSpec s = baseSpec();
        s.withIxml = false;
        QVERIFY(writeTrack(QStringLiteral("AA0001_01.WAV"), 1, 1, s));
        MyFileInfoList list = listing();
        QSignalSpy spy(m_pRelay, &MessageLoging::signal_message);
        QSoundPerform r;
        QVERIFY(r.QuickInitFiles(dir() + QStringLiteral("AA0001"), kWav, &list, false));
        QCOMPARE(spy.count(), 0);
        QVERIFY(!r.GetiXMLInfos(0));
        QVERIFY(r.m_sTrackName[0].isEmpty());
        QVERIFY(r.m_sTrackActive[0].isEmpty());
        QCOMPARE(r.m_sScene, QStringLiteral(" "));
        QVERIFY(!r.File(0).HasiXMLChunk());
    }

    void unreadableIxml()
    {
        RecorderFileSpec s = baseSpec();
        s.ixmlRaw = QByteArray("<BWFXML><SCENE>7</BWFXML>");
        QVERIFY(writeTrack(QStringLiteral("AA0001_01.WAV"), 1, 1, s));
        MyFileInfoList list = listing();
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^XML ERROR ON FILE Number 0")));
        QSoundPerform r;
        QVERIFY(r.QuickInitFiles(dir() + QStringLiteral("AA0001"), kWav, &list, false));
        QCOMPARE(r.m_sScene, QStringLiteral(" "));
        QCOMPARE(r.m_nNbFiles, qint16(1));
    }

    // Classic family: a first file whose chunks cannot be read fails the
    // quick assembly; other families give way to the next file.
    void unreadableFirstFile()
    {
        QVERIFY(writeRaw(QStringLiteral("AA0007_01.WAV"), QByteArray("not a sound file")));
        QVERIFY(writeTrack(QStringLiteral("AA0007_02.WAV"), 2, 2));
        QVERIFY(writeRaw(QStringLiteral("AA0008#1.WAV"), QByteArray("not a sound file")));
        QVERIFY(writeTrack(QStringLiteral("AA0008#2.WAV"), 2, 2));
        MyFileInfoList list = listing();

        QSignalSpy spy(m_pRelay, &MessageLoging::signal_message);
        QSoundPerform classic;
        QVERIFY(!classic.QuickInitFiles(dir() + QStringLiteral("AA0007"), kWav, &list, false));
        QVERIFY(presentSlots(classic).isEmpty());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("QSoundFile::ReadChunks()"));
        QVERIFY(spy.at(0).at(1).toString().endsWith(QStringLiteral("is not a sound file !")));

        QSoundPerform diese;
        QVERIFY(diese.QuickInitFiles(dir() + QStringLiteral("AA0008"), kWav, &list, false));
        QCOMPARE(presentSlots(diese), QList<int>{1});
        QCOMPARE(diese.m_nNbFiles, qint16(1));

        // Fully, any file of the take that cannot be read fails the take.
        QSoundPerform full;
        QVERIFY(!full.InitFilesZZ(dir() + QStringLiteral("AA0008"), kWav));
        QVERIFY(presentSlots(full).isEmpty());
    }

    void productionMetadata()
    {
        RecorderFileSpec s = baseSpec();
        s.description = RecorderFileWriter::descriptionLines({{"aTAG=", "a"}, {"aUBITS=", "12345678"}, {"aTAPE=", "T7"}});
        s.ixml.take = QStringLiteral("r12");
        s.ixml.note = QStringLiteral("plane overhead");
        s.ixml.sctkTemplate = 4;
        s.ixml.advancedComposition = QStringLiteral("1,0,2");
        s.ixml.advancedFields = {{QStringLiteral("SEQUENCE"), QStringLiteral("42")},
                                 {QStringLiteral("SLATE"), QStringLiteral("7")},
                                 {QStringLiteral("SEP1"), QStringLiteral("-")}};
        s.ixml.syncPoints = {{QStringLiteral("SLATE_GENERIC"), 24000u}, {QStringLiteral("MARKER_GENERIC"), 480u}};
        s.ixml.syncComments = QStringList{QStringLiteral("AUTO"), QStringLiteral("cut")};
        QVERIFY(writeTrack(QStringLiteral("AA0001_01.WAV"), 1, 1, s));
        MyFileInfoList list = listing();
        QSoundPerform r;
        QVERIFY(r.QuickInitFiles(dir() + QStringLiteral("AA0001"), kWav, &list, false));
        QCOMPARE(r.m_sTakeIndicator, QStringLiteral("r"));
        QCOMPARE(r.m_sTakeNumber, QStringLiteral("12"));
        QCOMPARE(r.m_sNotes, QStringLiteral("plane overhead"));
        QCOMPARE(r.m_sUbits, QStringLiteral("12345678"));
        QCOMPARE(r.m_sTape, QStringLiteral("T7"));
        QVERIFY(r.m_bLowerCaseTag);
        // Pull-down: 172800000 * 1000 / 1001 samples is 3596 whole seconds.
        QCOMPARE(r.m_sTimeCode, QStringLiteral("00:59:56"));
        QCOMPARE(r.m_nScTkTemplate, 4);
        QCOMPARE(r.m_sAdvancedComposition, QStringLiteral("1,0,2"));
        QCOMPARE(r.m_AdvancedFields.value(1), QStringLiteral("42"));
        QCOMPARE(r.m_AdvancedFields.value(2), QStringLiteral("7"));
        QCOMPARE(r.m_AdvancedFields.value(0), QStringLiteral("-"));
        QCOMPARE(r.m_nSlateCount, 1u);
        QCOMPARE(r.m_nSlateSamples[0], 24000u);
        QVERIFY(r.m_bSlateAuto);
        QCOMPARE(r.m_nMarkerCount, 1u);
        QCOMPARE(r.m_nMarkerSamples[0], 480u);
        QCOMPARE(r.m_slMarkerComments, QStringList{QStringLiteral("cut")});
    }

    // The lookup goes through the listing: a file added after listing is not
    // seen by the quick assembly, one removed is still counted.
    void quickUsesTheListing()
    {
        QVERIFY(writeTrack(QStringLiteral("AA0001_01.WAV"), 3, 1));
        QVERIFY(writeTrack(QStringLiteral("AA0001_02.WAV"), 3, 2));
        MyFileInfoList list = listing();
        QVERIFY(writeTrack(QStringLiteral("AA0001_03.WAV"), 3, 3));
        QSoundPerform r;
        QVERIFY(r.QuickInitFiles(dir() + QStringLiteral("AA0001"), kWav, &list, false));
        QCOMPARE(r.m_nNbFiles, qint16(2));
        // Without a listing it asks the file system.
        QSoundPerform disk;
        QVERIFY(disk.QuickInitFiles(dir() + QStringLiteral("AA0001"), kWav, nullptr, false));
        QCOMPARE(disk.m_nNbFiles, qint16(3));
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
            doc += QByteArray("<DATA><INDICE>") + indice + "</INDICE><NAME>" + name + "</NAME><ACTIVE>" + active
                + "</ACTIVE></DATA>";
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
        doc += "</ALL_TRK_NAME></VELTA_PAVANE></BWFXML>";
        doc += QByteArray(2000, ' ');

        RecorderFileSpec s = baseSpec();
        s.ixmlRaw = doc;
        QVERIFY(writeTrack(QStringLiteral("AA0001_01.WAV"), 1, 1, s));
        MyFileInfoList list = listing();
        QSoundPerform r;
        QVERIFY(r.QuickInitFiles(dir() + QStringLiteral("AA0001"), kWav, &list, false));
        QSoundFile& f = r.File(0);
        QVERIFY(f.m_XmlObject.XmlOk());
        for (int k = 0; k < QSoundPerform::kMaxSlots; ++k) {
            QCOMPARE(r.m_sTrackName[size_t(k)], f.GetiXMLVeltaTracknames(k));
            QCOMPARE(r.m_sTrackActive[size_t(k)], f.GetiXMLVeltaTrackActive(k));
        }
        QCOMPARE(r.m_sTrackName[3], QStringLiteral("Three"));
        QCOMPARE(r.m_sTrackName[5], QStringLiteral("Five"));
        QCOMPARE(r.m_sTrackName[7], QStringLiteral("Seven"));
        QVERIFY(r.m_sTrackName[9].isEmpty());
        QCOMPARE(r.m_sTrackActive[1], QStringLiteral("NO"));
    }

    void noFileForKey()
    {
        MyFileInfoList list = listing();
        QSoundPerform quick;
        QVERIFY(quick.QuickInitFiles(dir() + QStringLiteral("ZZ9999"), kWav, &list, false));
        QVERIFY(presentSlots(quick).isEmpty());
        QSoundPerform full;
        QVERIFY(!full.InitFilesZZ(dir() + QStringLiteral("ZZ9999"), kWav));
    }
};

QTEST_MAIN(TestTake)
#include "tst_take.moc"
