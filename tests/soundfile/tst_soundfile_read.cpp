// SPDX-License-Identifier: GPL-3.0-or-later
// Opening and scanning files into chunk records: recorder files, other
// writers' files, and damaged or hostile ones.

#include "MyQFile.h"
#include "RelayRecorder.h"
#include "SoundFixtures.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace testsupport;

namespace {
QList<ExtraChunk> unknownChunks(int n, bool padOdd = false)
{
    QList<ExtraChunk> list;
    for (int i = 0; i < n; ++i)
        list << ExtraChunk{"X" + QByteArray::number(i).rightJustified(3, '0'), QByteArray(padOdd ? 5 : 6, 'u'), padOdd, 0};
    return list;
}
} // namespace

class TestSoundFileRead : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString file(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        return writeBytes(path, bytes) ? path : QString();
    }

private slots:
    void open_data()
    {
        QTest::addColumn<QString>("name");      // relative to the folder; "" = empty path
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("refuse");       // the disk refuses opening for writing
        QTest::addColumn<QString>("message");   // %1 folder with "/", %2 file name; "-" = opens
        QTest::newRow("read existing") << "AA0001_01.WAV" << 0 << false << "-";
        QTest::newRow("read-write existing") << "AA0001_01.WAV" << 2 << false << "-";
        QTest::newRow("read missing") << "missing.WAV" << 0 << false << "Unable to open\n%1\n%2\nfor reading !";
        QTest::newRow("write in missing folder") << "no/x.WAV" << 1 << false << "Unable to open\n%1\n%2\nfor writing !";
        QTest::newRow("append in missing folder") << "no/x.WAV" << 2 << false << "Unable to open\n%1\n%2\nfor append !";
        QTest::newRow("percent in the name") << "no/%2%1.WAV" << 0 << false << "Unable to open\n%1\n%2\nfor reading !";
        QTest::newRow("refused by the disk") << "AA0001_01.WAV" << 2 << true << "Unable to open\n%1\n%2\nfor append !";
        QTest::newRow("reading is never refused") << "AA0001_01.WAV" << 0 << true << "-";
        QTest::newRow("mode 3: no message") << "AA0001_01.WAV" << 3 << false << "";
        QTest::newRow("mode -1: no message") << "AA0001_01.WAV" << -1 << false << "";
        QTest::newRow("empty path: no message") << "" << 0 << false << "";
    }
    void open()
    {
        QFETCH(QString, name);
        QFETCH(int, mode);
        QFETCH(bool, refuse);
        QFETCH(QString, message);
        const QString existing = writeSpec(m_dir.filePath(QStringLiteral("AA0001_01.WAV")), RecorderFileSpec());
        const QByteArray before = readAll(existing);
        const QString path = name.isEmpty() ? QString() : m_dir.filePath(name);
        const bool ok = message == QLatin1String("-");
        RelayRecorder relay;
        QSoundFile f;
        QVERIFY(!f.Close());
        QVERIFY(f.Open(existing, 0));   // m_sPath keeps this when the next Open fails
        f.m_nNbUnknownChunk = 5;
        {
            ScriptedDisk disk({}, refuse);
            QCOMPARE(f.Open(path, mode), ok);
        }
        QCOMPARE(f.m_nNbUnknownChunk, 0);
        QCOMPARE(f.IsOpen(), ok || message.isEmpty());   // bad arguments leave the open file alone
        QCOMPARE(f.m_sPath, ok ? path : existing);
        const int slash = path.lastIndexOf(QLatin1Char('/'));
        QCOMPARE(relay.lines(), ok || message.isEmpty() ? QStringList()
                 : QStringList{QStringLiteral("QSoundFile::Open(): ") + message.arg(path.left(slash + 1), path.mid(slash + 1))});
        if (relay.count())
            QCOMPARE(relay.args(), QStringLiteral("0,1,true,0"));
        QCOMPARE(f.Close(), f.IsOpen());
        QCOMPARE(readAll(existing), before);   // a read-write open changes nothing
    }

    void readChunksFailures_data()
    {
        QTest::addColumn<QByteArray>("bytes");   // "-" = not open
        QTest::addColumn<bool>("bextOptional");
        QTest::addColumn<QString>("ending");     // empty: accepted
        RecorderFileSpec spec;
        QTest::newRow("not open") << QByteArray("-") << false << "isn't open !";
        QTest::newRow("zero-length") << QByteArray() << false << "is empty !";
        spec.riffId = "RIFX";
        QTest::newRow("RIFX") << RecorderFileWriter::build(spec) << false << "is not a sound file !";
        spec.riffId = "RF64";
        QTest::newRow("RF64") << RecorderFileWriter::build(spec) << false << "is not a sound file !";
        QTest::newRow("two bytes") << QByteArray("RI") << false << "is not a sound file !";
        QTest::newRow("header only") << QByteArray("RIFF\x04\0\0\0WAVE", 12) << false << "hasn't Format Chunk !";
        spec = RecorderFileSpec();
        spec.withFmt = spec.withData = false;
        QTest::newRow("no fmt, no data: fmt only") << RecorderFileWriter::build(spec) << false << "hasn't Format Chunk !";
        spec = RecorderFileSpec();
        spec.withData = false;
        QTest::newRow("no data") << RecorderFileWriter::build(spec) << false << "hasn't Data Chunk !";
        spec = RecorderFileSpec();
        spec.withBext = false;
        QTest::newRow("no bext") << RecorderFileWriter::build(spec) << false << "hasn't Bext Chunk !";
        QTest::newRow("no bext, optional") << RecorderFileWriter::build(spec) << true << "";
        spec.withData = false;
        QTest::newRow("no bext, no data: data only") << RecorderFileWriter::build(spec) << false << "hasn't Data Chunk !";
        QTest::newRow("recorder file") << RecorderFileWriter::build(RecorderFileSpec()) << false << "";
    }
    void readChunksFailures()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, bextOptional);
        QFETCH(QString, ending);
        const QString path = bytes == "-" ? m_dir.filePath(QStringLiteral("closed.WAV")) : file(QStringLiteral("f.WAV"), bytes);
        for (const bool show : {true, false}) {
            RelayRecorder relay;
            QSoundFile f;
            if (bytes == "-")
                f.m_sPath = path;
            else
                QVERIFY(f.Open(path, 0));
            QCOMPARE(f.ReadChunks(show, bextOptional), ending.isEmpty());
            const QString expected = QStringLiteral("QSoundFile::ReadChunks(): Path:%1/\nFile:%2\n").arg(m_dir.path(),
                                                    QFileInfo(path).fileName()) + ending;
            QCOMPARE(relay.lines(), ending.isEmpty() || !show ? QStringList() : QStringList{expected});
            if (ending.isEmpty())
                QCOMPARE(f.HasBextChunk(), !bextOptional);
        }
    }

    void recorderFileRecords()
    {
        RecorderFileSpec spec;
        spec.timeReference = 0x100000010ULL;
        spec.frameRateCode = "29.97";
        spec.frames = 1001;
        QList<RecorderChunkPlace> places;
        const QByteArray bytes = RecorderFileWriter::build(spec, &places);
        QSoundFile f;
        QVERIFY(openScanned(f, file(QStringLiteral("AA0001_01.WAV"), bytes)));
        QCOMPARE(f.m_nRiffSize, quint32(bytes.size() - 8));
        const QList<quint32> positions{f.m_nPosBext, f.m_nPosFmt, f.m_nPosFilm, f.m_nPosVelta, f.m_nPosiXML + 8,
                                       f.m_nPosData, f.m_nPosOnde};
        QList<quint32> expected;
        for (const RecorderChunkPlace& p : places)
            expected << p.offset + 8;   // data positions; m_nPosiXML is the header's
        QCOMPARE(positions, expected);
        QCOMPARE(f.m_nSizeiXML, 61440u);
        QVERIFY(f.HasFormatChunk() && f.HasDataChunk() && f.HasBextChunk() && f.HasFilmChunk() && f.HasiXMLChunk());
        QCOMPARE(f.m_tFmtChunk.BlockAlign(), quint16(3));
        QCOMPARE(f.GetDataSize(), 3003u);
        QCOMPARE(f.GetTimeReference(), 0x100000010ULL);
        QCOMPARE(f.m_tFilmChunk.FrameRateCode(), QByteArray("29.97"));
        QCOMPARE(f.m_tVeltaChunk.ChunkSize(), 64u);
        QCOMPARE(f.m_tOndeChunk.U32(8), 4800u);
        // The records are the file's bytes, header included.
        QCOMPARE(QByteArray(f.m_tBextChunk.Data(), 866), bytes.mid(int(offsetOf(places, "bext")), 866));
        QCOMPARE(QByteArray(f.m_tFilmChunk.Data(), 1580), bytes.mid(int(offsetOf(places, "film")), 1580));
        QVERIFY(f.m_siXML.startsWith(QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML>")));
        QCOMPARE(f.m_siXML.size(), 61440);   // padding spaces included
    }

    void scanLayouts_data()
    {
        QTest::addColumn<RecorderFileSpec>("spec");
        QTest::addColumn<int>("unknown");
        QTest::addColumn<bool>("tooMany");
        QTest::addColumn<bool>("hasIxml");
        QTest::addColumn<bool>("ixmlSeen");   // m_nPosiXML set
        QTest::addColumn<QByteArray>("ondeId");
        RecorderFileSpec spec;
        spec.extraBefore = {ExtraChunk{"abcd", "xyz", false, 0}};
        QTest::newRow("odd chunk, no pad byte (recorder)") << spec << 1 << false << true << true << QByteArray("ond1");
        spec.extraBefore = {ExtraChunk{"abcd", "xyz", true, 0}};
        QTest::newRow("odd chunk, pad byte (other writers)") << spec << 1 << false << true << true << QByteArray("ond1");
        spec = RecorderFileSpec();
        spec.extraAfter = unknownChunks(5, true);
        spec.ixmlLast = true;
        QTest::newRow("padded odd chunks before the iXML") << spec << 5 << false << true << true << QByteArray("ond1");
        spec = RecorderFileSpec();
        spec.frames = 11;   // 33 data bytes, then the onde chunk without pad
        QTest::newRow("odd data chunk, no pad byte") << spec << 0 << false << true << true << QByteArray("ond1");
        spec = RecorderFileSpec();
        spec.extraAfter = unknownChunks(30);
        QTest::newRow("30 unknown chunks accepted") << spec << 30 << false << true << true << QByteArray("ond1");
        spec.extraAfter = unknownChunks(31);
        QTest::newRow("31st unknown chunk ends the scan") << spec << 31 << true << false << true << QByteArray("ond1");
        spec.ixmlLast = true;
        QTest::newRow("31st unknown chunk: later iXML unseen") << spec << 31 << true << false << false << QByteArray("ond1");
        spec = RecorderFileSpec();
        spec.ixml.channelIndex = 10;
        QTest::newRow("onde of track 10: ondA") << spec << 0 << false << true << true << QByteArray("ondA");
        spec = RecorderFileSpec();
        spec.withOnde = false;
        spec.extraAfter = {ExtraChunk{"ond~", QByteArray(8, '\x01'), false, 0}};
        QTest::newRow("any fourth character after ond") << spec << 0 << false << true << true << QByteArray("ond~");
        spec = RecorderFileSpec();
        spec.formType = "AIFF";
        QTest::newRow("form type not examined") << spec << 0 << false << true << true << QByteArray("ond1");
        spec = RecorderFileSpec();
        spec.withIxml = false;
        QTest::newRow("no iXML") << spec << 0 << false << false << false << QByteArray("ond1");
    }
    void scanLayouts()
    {
        QFETCH(RecorderFileSpec, spec);
        QFETCH(QByteArray, ondeId);
        QList<RecorderChunkPlace> places;
        QSoundFile f;
        QVERIFY(openScanned(f, file(QStringLiteral("f.WAV"), RecorderFileWriter::build(spec, &places))));
        QTEST(int(f.m_nNbUnknownChunk), "unknown");
        QTEST(f.m_bTooManyChunks, "tooMany");
        QTEST(f.HasiXMLChunk(), "hasIxml");
        QFETCH(bool, ixmlSeen);
        QCOMPARE(f.m_nPosiXML, ixmlSeen ? offsetOf(places, "iXML") : 0u);
        QCOMPARE(f.m_nPosBext, offsetOf(places, "bext") + 8);
        QCOMPARE(f.m_nPosData, offsetOf(places, "data") + 8);
        QCOMPARE(f.m_tOndeChunk.ChunkID(), ondeId);
        QCOMPARE(f.m_nPosOnde, offsetOf(places, ondeId) + 8);
    }

    void hostileFilesEndTheScan_data()
    {
        QTest::addColumn<RecorderFileSpec>("spec");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("ixmlChars");   // -1: no iXML seen
        QTest::addColumn<quint32>("ixmlSize");
        RecorderFileSpec spec;
        spec.ixmlLast = true;
        spec.ixmlRaw = "<BWFXML><SCENE>1</SCENE></BWFXML>";
        spec.ixmlDeclaredSize = 0x7FFFFFF0u;
        QTest::newRow("iXML size far past the end") << spec << true << 33 << 0x7FFFFFF0u;
        spec.ixmlDeclaredSize = 0xFFFFFFFFu;
        QTest::newRow("iXML size + 1 overflows 32 bits") << spec << true << 33 << 0xFFFFFFFFu;
        spec = RecorderFileSpec();
        spec.ixmlRaw = "<BWFXML/>";
        spec.ixmlDeclaredSize = 0xFFFFFFF8u;   // position + 8 + size lands on itself
        // The text runs on into the data chunk header ("data", 0x3840) up to its first NUL.
        QTest::newRow("iXML size that would not advance") << spec << false << 15 << 0xFFFFFFF8u;
        spec = RecorderFileSpec();
        spec.extraAfter = {ExtraChunk{"JUNK", "1234", false, 0xFFFFFFFFu}, ExtraChunk{"JUNK", "5678", false, 0}};
        QTest::newRow("size that wraps the position") << spec << true << 61440 << 61440u;
        spec.extraAfter = {ExtraChunk{"JUNK", QByteArray(), false, 0}, ExtraChunk{"JUNK", QByteArray(), false, 0}};
        QTest::newRow("empty chunks") << spec << true << 61440 << 61440u;
        spec = RecorderFileSpec();
        spec.truncateTo = 12 + 8 + 100;
        QTest::newRow("truncated inside bext") << spec << false << -1 << 0u;
        spec.truncateTo = 12 + 866 + 24 + 1580 + 72 + 20;
        QTest::newRow("truncated inside the iXML") << spec << false << 12 << 61440u;
        spec = RecorderFileSpec();
        spec.extraAfter = {ExtraChunk{"tail", "abc", false, 0}};
        spec.truncateTo = RecorderFileWriter::build(spec).size() - 5;   // a partial header at the end
        QTest::newRow("partial header at the end") << spec << true << 61440 << 61440u;
        // UTF-8 text up to its first NUL.
        spec = RecorderFileSpec();
        static const char text[] = "<BWFXML><SCENE>\xC3\x89t\xC3\xA9</SCENE></BWFXML>\0trailing";
        spec.ixmlRaw = QByteArray(text, int(sizeof(text)) - 1);   // sized from the literal (found by AddressSanitizer)
        QTest::newRow("UTF-8 text ended by a NUL") << spec << true << 35 << 46u;
    }
    void hostileFilesEndTheScan()
    {
        QFETCH(RecorderFileSpec, spec);
        QFETCH(bool, ok);
        QFETCH(int, ixmlChars);
        RelayRecorder relay;
        QSoundFile f;
        QVERIFY(f.Open(file(QStringLiteral("h.WAV"), RecorderFileWriter::build(spec)), 0));
        QCOMPARE(f.ReadChunks(true, false), ok);
        QCOMPARE(relay.count(), ok ? 0 : 1);
        QCOMPARE(f.m_nPosiXML != 0, ixmlChars >= 0);
        if (ixmlChars >= 0)
            QCOMPARE(f.m_siXML.size(), ixmlChars);
        if (ixmlChars == 35)
            QCOMPARE(f.m_siXML, QStringLiteral("<BWFXML><SCENE>Été</SCENE></BWFXML>"));
        QTEST(f.m_nSizeiXML, "ixmlSize");
    }

    // The bext record is always 866 bytes: past a short chunk come the bytes
    // that follow it.
    void shortBextTakesFollowingBytes()
    {
        RecorderFileSpec spec;
        spec.bextDataSize = 300;
        const QByteArray bytes = RecorderFileWriter::build(spec);
        QSoundFile f;
        QVERIFY(openScanned(f, file(QStringLiteral("b.WAV"), bytes)));
        QCOMPARE(QByteArray(f.m_tBextChunk.Data(), 866), bytes.mid(12, 866));
        QCOMPARE(QByteArray(f.m_tBextChunk.Data() + 308, 4), QByteArray("fmt "));
        QCOMPARE(f.m_nPosFmt, 12u + 308 + 8);
        QCOMPARE(f.GetSampleRate(), 48000u);
    }

    void lastOccurrenceWins()
    {
        RecorderFileSpec other;
        other.timeReference = 777;
        other.frameRateCode = "24.00";
        other.sampleRate = 96000;
        QList<RecorderChunkPlace> op;
        const QByteArray ob = RecorderFileWriter::build(other, &op);
        auto body = [&](const QByteArray& id, int size) { return ob.mid(int(offsetOf(op, id)) + 8, size); };
        RecorderFileSpec spec;
        spec.ixmlRaw = "<BWFXML><SCENE>first</SCENE></BWFXML>";
        spec.extraAfter = {ExtraChunk{"bext", body("bext", 858), false, 0}, ExtraChunk{"fmt ", body("fmt ", 16), false, 0},
                           ExtraChunk{"film", body("film", 1572), false, 0},
                           ExtraChunk{"iXML", "<BWFXML><SCENE>second</SCENE></BWFXML>", false, 0}};
        QList<RecorderChunkPlace> places;
        QSoundFile f;
        QVERIFY(openScanned(f, file(QStringLiteral("two.WAV"), RecorderFileWriter::build(spec, &places))));
        QCOMPARE(f.GetTimeReference(), 777ULL);
        QCOMPARE(f.GetSampleRate(), 96000u);
        QCOMPARE(f.m_tFilmChunk.FrameRateCode(), QByteArray("24.00"));
        QCOMPARE(f.m_nPosBext, offsetOf(places, "bext", 1) + 8);
        QCOMPARE(f.m_nPosiXML, offsetOf(places, "iXML", 1));
        QCOMPARE(f.m_siXML, QStringLiteral("<BWFXML><SCENE>second</SCENE></BWFXML>"));
    }

    void ixmlBufferUnavailable()
    {
        const QString path = writeSpec(m_dir.filePath(QStringLiteral("big.WAV")), RecorderFileSpec());
        QSoundFile::SetIxmlReadLimitForTests(1000);
        RelayRecorder relay;
        QSoundFile f;
        f.m_siXML = QStringLiteral("previous");
        QVERIFY(f.Open(path, 0));
        const bool ok = f.ReadChunks(false, false);   // reported whatever bShowMessage says
        QSoundFile::SetIxmlReadLimitForTests(0);
        QVERIFY(ok);
        QCOMPARE(relay.lines(), QStringList{QStringLiteral("QSoundFile::ReadChunks(): pciXML = malloc() return NULL !\n")});
        QCOMPARE(f.m_siXML, QStringLiteral("previous"));
        QCOMPARE(f.m_nSizeiXML, 61440u);
    }

    // The parsed document survives re-initialisation and a file without iXML;
    // a new iXML chunk discards it.
    void documentLifecycle()
    {
        const QString with = writeSpec(m_dir.filePath(QStringLiteral("with.WAV")), RecorderFileSpec());
        RecorderFileSpec none;
        none.withIxml = false;
        const QString without = writeSpec(m_dir.filePath(QStringLiteral("without.WAV")), none);
        QSoundFile f;
        QVERIFY(openScanned(f, with) && f.GetiXMLFileInfos());
        f.Close();
        QVERIFY(openScanned(f, without) && f.m_XmlObject.XmlOk());
        f.Close();
        QVERIFY(openScanned(f, with));
        QVERIFY(!f.m_XmlObject.XmlOk());
    }

    void lectureDataBin()
    {
        RecorderFileSpec spec;
        spec.bitsPerSample = 16;
        spec.audioSeed = 42;
        const QString path = writeSpec(m_dir.filePath(QStringLiteral("d.WAV")), spec);
        QSoundFile f;
        QVERIFY(openScanned(f, path));
        char buffer[20] = {};
        QCOMPARE(f.LectureDataBin(buffer, f.m_nPosData, 10), qint64(10));
        QCOMPARE(f.LectureDataBin(buffer + 10, -1, 10), qint64(10));   // -1 continues where the last read ended
        for (int i = 0; i < 10; ++i)
            QCOMPARE(qint32(qFromLittleEndian<qint16>(reinterpret_cast<const uchar*>(buffer + 2 * i))),
                     RecorderFileSpec::sampleValue(42, quint32(i), 0, 16));
        QCOMPARE(f.LectureDataBin(buffer, QFileInfo(path).size() - 4, 20), qint64(4));
        QCOMPARE(f.LectureDataBin(nullptr, 0, 4), qint64(-1));
    }

    void listChunks()
    {
        RecorderFileSpec spec;
        spec.extraBefore = {ExtraChunk{"JUNK", "odd", true, 0}};
        spec.extraAfter = unknownChunks(40);
        QList<RecorderChunkPlace> places;
        const QByteArray bytes = RecorderFileWriter::build(spec, &places);
        const QString path = file(QStringLiteral("l.WAV"), bytes);
        QList<tyChunkEntry> chunks;
        quint32 riff = 0;
        QVERIFY(QSoundFile::ListChunks(path, chunks, &riff));
        QCOMPARE(riff, quint32(bytes.size() - 8));
        QCOMPARE(chunks.size(), places.size());   // not limited to 30 unknown chunks
        for (int i = 0; i < places.size(); ++i)
            QCOMPARE(chunks.at(i).id + ' ' + QByteArray::number(chunks.at(i).offset) + ' ' + QByteArray::number(chunks.at(i).size),
                     places.at(i).id + ' ' + QByteArray::number(places.at(i).offset) + ' ' + QByteArray::number(places.at(i).size));
        QVERIFY(writeBytes(path, "RIFX"));
        QVERIFY(!QSoundFile::ListChunks(path, chunks, &riff));
        QVERIFY(!QSoundFile::ListChunks(m_dir.filePath(QStringLiteral("none")), chunks, &riff));
        QVERIFY(chunks.isEmpty());
    }

    // ffmpeg writes an extensible fmt (40 bytes), a 602-byte bext without
    // coding history and a LIST chunk; sox writes no bext.
    void filesOfOtherWriters()
    {
        if (!haveTool(QStringLiteral("ffmpeg")) || !haveTool(QStringLiteral("sox")))
            QSKIP("ffmpeg or sox is not installed");
        const QString ff = m_dir.filePath(QStringLiteral("ff.wav"));
        ProcessResult r = run(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-f", "lavfi", "-i", "anullsrc=r=48000:cl=mono",
                                                        "-af", "atrim=end_sample=481", "-c:a", "pcm_s24le", "-write_bext", "1",
                                                        "-metadata", "time_reference=172800123", "-metadata",
                                                        "originator=FFTEST", ff});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QSoundFile f;
        QVERIFY(openScanned(f, ff));
        QCOMPARE(f.GetSampling() + QString::number(f.GetNbTotalSample()), QStringLiteral("48kHz/24bits481"));
        QCOMPARE(f.GetTimeReference(), 172800123ULL);
        QCOMPARE(f.GetCreator(), QStringLiteral("FFTEST"));
        QCOMPARE(f.m_tBextChunk.ChunkSize(), 602u);
        const QString sx = m_dir.filePath(QStringLiteral("sx.wav"));
        r = run(QStringLiteral("sox"), {"-n", "-r", "44100", "-b", "16", "-c", "2", sx, "trim", "0", "0.1"});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QSoundFile g;
        QVERIFY(openScanned(g, sx, 0, true));
        QVERIFY(!g.HasBextChunk());
        QCOMPARE(g.GetSampling() + QString::number(g.GetNbChannels()) + QString::number(g.GetNbTotalSample()),
                 QStringLiteral("44100Hz/16bits24410"));
    }

    void myQFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("ok");
        QTest::newRow("read-only") << "e.WAV" << 1 << true;
        QTest::newRow("write-only") << "e.WAV" << 2 << true;
        QTest::newRow("read-write") << "e.WAV" << 3 << true;
        QTest::newRow("mode 0") << "e.WAV" << 0 << false;
        QTest::newRow("mode 4") << "e.WAV" << 4 << false;
        QTest::newRow("missing, no create") << "missing.WAV" << 3 << false;
        QTest::newRow("non-ASCII name") << "Été_01.WAV" << 1 << true;
    }
    void myQFile()
    {
        QFETCH(QString, name);
        QFETCH(int, mode);
        QFETCH(bool, ok);
        file(QStringLiteral("e.WAV"), "RIFF");
        file(QStringLiteral("Été_01.WAV"), "RIFF");
        MyQFile f;
        QVERIFY(!f.close());
        f.setFileName(m_dir.filePath(name));
        QCOMPARE(f.open(mode), ok);
        QCOMPARE(f.handle() >= 0, ok);
        QCOMPARE(f.close(), ok);
        QCOMPARE(f.handle(), -1);
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("missing.WAV"))));
        QCOMPARE(readAll(m_dir.filePath(QStringLiteral("e.WAV"))), QByteArray("RIFF"));   // never truncated
    }
};

QTEST_MAIN(TestSoundFileRead)
#include "tst_soundfile_read.moc"
