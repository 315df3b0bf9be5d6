// SPDX-License-Identifier: GPL-3.0-or-later
// Opening and scanning files into chunk records: recorder files, other
// writers' files, and damaged or hostile ones.

#include "MyQFile.h"
#include "RelayRecorder.h"
#include "SoundFixtures.h"
#include "SoundTestKit.h"

#include <QTemporaryDir>

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
        // name: relative to the folder, "" = empty path; message: %1 folder with "/", %2 file name, "-" = opens
        kit::columns<QString, int, bool, QString>("name", "mode", "refuse", "message");
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
        QFETCH(QString, name); QFETCH(int, mode); QFETCH(bool, refuse); QFETCH(QString, message);
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
                 : QStringList{"QSoundFile::Open(): " + message.arg(path.left(slash + 1), path.mid(slash + 1))});
        if (relay.count())
            QCOMPARE(relay.args(), QStringLiteral("0,1,true,0"));
        QCOMPARE(f.Close(), f.IsOpen());
        QCOMPARE(readAll(existing), before);   // a read-write open changes nothing
    }

    void readChunksFailures_data()
    {
        kit::columns<QByteArray, bool, QString>("bytes", "bextOptional", "ending");   // bytes "-": not open; ending "": accepted
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
        spec.withFmt = true;
        QTest::newRow("no data") << RecorderFileWriter::build(spec) << false << "hasn't Data Chunk !";
        spec.withBext = false;
        QTest::newRow("no bext, no data: data only") << RecorderFileWriter::build(spec) << false << "hasn't Data Chunk !";
        spec.withData = true;
        QTest::newRow("no bext") << RecorderFileWriter::build(spec) << false << "hasn't Bext Chunk !";
        QTest::newRow("no bext, optional") << RecorderFileWriter::build(spec) << true << "";
        QTest::newRow("recorder file") << RecorderFileWriter::build(RecorderFileSpec()) << false << "";
    }
    void readChunksFailures()
    {
        QFETCH(QByteArray, bytes); QFETCH(bool, bextOptional); QFETCH(QString, ending);
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
        QList<quint32> expected{quint32(bytes.size() - 8)};
        for (const RecorderChunkPlace& p : places)
            expected << p.offset + 8;   // data positions; m_nPosiXML is the header's
        QCOMPARE(QList<quint32>({f.m_nRiffSize, f.m_nPosBext, f.m_nPosFmt, f.m_nPosFilm, f.m_nPosVelta, f.m_nPosiXML + 8,
                                 f.m_nPosData, f.m_nPosOnde}), expected);
        QVERIFY(f.HasFormatChunk() && f.HasDataChunk() && f.HasBextChunk() && f.HasFilmChunk() && f.HasiXMLChunk());
        QCOMPARE(QList<quint64>({f.m_nSizeiXML, f.m_tFmtChunk.BlockAlign(), f.GetDataSize(), f.GetTimeReference(),
                                 f.m_tVeltaChunk.ChunkSize(), f.m_tOndeChunk.U32(bwf::kOndePointStep)}),
                 QList<quint64>({61440, 3, 3003, 0x100000010ULL, 64, 4800}));
        QCOMPARE(f.m_tFilmChunk.FrameRateCode(), QByteArray("29.97"));
        // The records are the file's bytes, header included.
        QCOMPARE(QByteArray(f.m_tBextChunk.Data(), 866), bytes.mid(int(offsetOf(places, "bext")), 866));
        QCOMPARE(QByteArray(f.m_tFilmChunk.Data(), 1580), bytes.mid(int(offsetOf(places, "film")), 1580));
        QVERIFY(f.m_siXML.startsWith(QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML>")));
        QCOMPARE(f.m_siXML.size(), 61440);   // padding spaces included
    }

    // Other writers' layouts and damaged or hostile files: the scan ends where
    // it must, and what it found is named in "key=value" terms. "places=yes":
    // bext, fmt, data and the onde chunk were found where the writer put them.
    void scans_data()
    {
        kit::columns<RecorderFileSpec, QString>("spec", "expected");
        RecorderFileSpec spec;
        spec.extraBefore = {ExtraChunk{"abcd", "xyz", false, 0}};
        QTest::newRow("odd chunk, no pad byte (recorder)") << spec << "ok=true;unknown=1;ixml=found;places=yes";
        spec.extraBefore = {ExtraChunk{"abcd", "xyz", true, 0}};
        QTest::newRow("odd chunk, pad byte (other writers)") << spec << "ok=true;unknown=1;ixml=found;places=yes";
        spec = RecorderFileSpec();
        spec.extraAfter = unknownChunks(5, true);
        spec.ixmlLast = true;
        QTest::newRow("padded odd chunks before the iXML") << spec << "ok=true;unknown=5;ixml=found;places=yes";
        spec = RecorderFileSpec();
        spec.frames = 11;   // 33 data bytes, then the onde chunk without pad
        QTest::newRow("odd data chunk, no pad byte") << spec << "ok=true;unknown=0;ixml=found;places=yes";
        spec.extraAfter = unknownChunks(30);
        QTest::newRow("30 unknown chunks accepted") << spec << "ok=true;unknown=30;tooMany=false;ixml=found;places=yes";
        spec.extraAfter = unknownChunks(31);
        QTest::newRow("31st unknown chunk ends the scan") << spec << "ok=true;unknown=31;tooMany=true;ixml=found, unused;places=yes";
        spec.ixmlLast = true;
        QTest::newRow("31st unknown chunk: later iXML unseen") << spec << "ok=true;unknown=31;tooMany=true;ixml=none;places=yes";
        spec = RecorderFileSpec();
        spec.ixml.channelIndex = 10;
        QTest::newRow("onde of track 10: ondA") << spec << "ok=true;onde=ondA;places=yes";
        spec = RecorderFileSpec();
        spec.withOnde = false;
        spec.extraAfter = {ExtraChunk{"ond~", QByteArray(8, '\x01'), false, 0}};
        QTest::newRow("any fourth character after ond") << spec << "ok=true;onde=ond~;places=yes";
        spec = RecorderFileSpec();
        spec.formType = "AIFF";
        QTest::newRow("form type not examined") << spec << "ok=true;ixml=found;places=yes";
        spec = RecorderFileSpec();
        spec.withIxml = false;
        QTest::newRow("no iXML") << spec << "ok=true;ixml=none;places=yes";
        spec = RecorderFileSpec();
        spec.bextDataSize = 300;   // the record is always 866 bytes: past a short chunk come the bytes that follow
        QTest::newRow("short bext") << spec << "ok=true;places=yes;rate=48000;bext 308=fmt ";
        spec = RecorderFileSpec();
        spec.ixmlLast = true;
        spec.ixmlRaw = "<BWFXML><SCENE>1</SCENE></BWFXML>";
        spec.ixmlDeclaredSize = 0x7FFFFFF0u;
        QTest::newRow("iXML size far past the end") << spec << "ok=true;messages=0;ixml=found;chars=33;size=2147483632";
        spec.ixmlDeclaredSize = 0xFFFFFFFFu;
        QTest::newRow("iXML size + 1 overflows 32 bits") << spec << "ok=true;messages=0;ixml=found;chars=33;size=4294967295";
        spec = RecorderFileSpec();
        spec.ixmlRaw = "<BWFXML/>";
        spec.ixmlDeclaredSize = 0xFFFFFFF8u;   // position + 8 + size lands on itself
        // The text runs on into the data chunk header ("data", 0x3840) up to its first NUL.
        QTest::newRow("iXML size that would not advance") << spec << "ok=false;messages=1;ixml=found;chars=15;size=4294967288";
        spec = RecorderFileSpec();
        spec.extraAfter = {ExtraChunk{"JUNK", "1234", false, 0xFFFFFFFFu}, ExtraChunk{"JUNK", "5678", false, 0}};
        QTest::newRow("size that wraps the position") << spec << "ok=true;messages=0;chars=61440;size=61440";
        spec.extraAfter = {ExtraChunk{"JUNK", QByteArray(), false, 0}, ExtraChunk{"JUNK", QByteArray(), false, 0}};
        QTest::newRow("empty chunks") << spec << "ok=true;messages=0;chars=61440;size=61440;places=yes";
        spec = RecorderFileSpec();
        spec.truncateTo = 12 + 8 + 100;
        QTest::newRow("truncated inside bext") << spec << "ok=false;messages=1;ixml=none;size=0";
        spec.truncateTo = 12 + 866 + 24 + 1580 + 72 + 20;
        QTest::newRow("truncated inside the iXML") << spec << "ok=false;messages=1;ixml=found;chars=12;size=61440";
        spec = RecorderFileSpec();
        spec.extraAfter = {ExtraChunk{"tail", "abc", false, 0}};
        spec.truncateTo = RecorderFileWriter::build(spec).size() - 5;   // a partial header at the end
        QTest::newRow("partial header at the end") << spec << "ok=true;messages=0;chars=61440;size=61440";
        spec = RecorderFileSpec();
        static const char text[] = "<BWFXML><SCENE>\xC3\x89t\xC3\xA9</SCENE></BWFXML>\0trailing";
        spec.ixmlRaw = QByteArray(text, int(sizeof(text)) - 1);   // sized from the literal (found by AddressSanitizer)
        QTest::newRow("UTF-8 text ended by a NUL") << spec << "ok=true;text=<BWFXML><SCENE>Été</SCENE></BWFXML>;size=46";
        // Later chunks of the same kind replace earlier ones.
        RecorderFileSpec other;
        other.timeReference = 777;
        other.frameRateCode = "24.00";
        other.sampleRate = 96000;
        QList<RecorderChunkPlace> op;
        const QByteArray ob = RecorderFileWriter::build(other, &op);
        auto body = [&](const QByteArray& id, int size) { return ExtraChunk{id, ob.mid(int(offsetOf(op, id)) + 8, size), false, 0}; };
        spec = RecorderFileSpec();
        spec.ixmlRaw = "<BWFXML><SCENE>first</SCENE></BWFXML>";
        spec.extraAfter = {body("bext", 858), body("fmt ", 16), body("film", 1572),
                           ExtraChunk{"iXML", "<BWFXML><SCENE>second</SCENE></BWFXML>", false, 0}};
        QTest::newRow("last occurrence wins") << spec << "ok=true;places=yes;tr=777;rate=96000;film=24.00;text=<BWFXML><SCENE>second</SCENE></BWFXML>";
    }
    void scans()
    {
        QFETCH(RecorderFileSpec, spec); QFETCH(QString, expected);
        QList<RecorderChunkPlace> places;
        const QByteArray bytes = RecorderFileWriter::build(spec, &places);
        RelayRecorder relay;
        QSoundFile f;
        QVERIFY(f.Open(file(QStringLiteral("h.WAV"), bytes), 0));
        const bool ok = f.ReadChunks(true, false);
        const QByteArray onde = f.m_tOndeChunk.ChunkID();
        auto lastAt = [&](const QByteArray& id) {   // header offset of the last chunk `id`
            quint32 at = 0;
            for (const RecorderChunkPlace& p : places)
                at = p.id == id ? p.offset : at;
            return at;
        };
        const kit::Queries q{
            {"ok", [&] { return ok; }}, {"messages", [&] { return relay.count(); }},
            {"unknown", [&] { return f.m_nNbUnknownChunk; }}, {"tooMany", [&] { return f.m_bTooManyChunks; }},
            {"ixml", [&] { return f.m_nPosiXML == 0 ? "none" : f.m_nPosiXML != lastAt("iXML") ? "elsewhere"
                                  : f.HasiXMLChunk() ? "found" : "found, unused"; }},
            {"chars", [&] { return f.m_siXML.size(); }}, {"size", [&] { return f.m_nSizeiXML; }},
            {"text", [&] { return f.m_siXML; }}, {"onde", [&] { return onde; }},
            {"places", [&] { return f.m_nPosBext == lastAt("bext") + 8 && f.m_nPosFmt == lastAt("fmt ") + 8 && f.m_nPosData == lastAt("data") + 8
                                    && f.m_nPosOnde == lastAt(onde) + 8 ? "yes" : "no"; }},
            {"rate", [&] { return f.GetSampleRate(); }}, {"tr", [&] { return f.GetTimeReference(); }},
            {"film", [&] { return f.m_tFilmChunk.FrameRateCode(); }},
            {"bext 308", [&] { return QByteArray(f.m_tBextChunk.Data() + 308, 4); }}};
        QCOMPARE(kit::ask(expected, q), expected);
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
        QCOMPARE(f.m_siXML + QString::number(f.m_nSizeiXML), QStringLiteral("previous61440"));
    }

    // The parsed document survives re-initialisation and a file without iXML;
    // a new iXML chunk discards it.
    void documentLifecycle()
    {
        RecorderFileSpec none;
        none.withIxml = false;
        const QString with = writeSpec(m_dir.filePath(QStringLiteral("with.WAV")), RecorderFileSpec());
        const QString without = writeSpec(m_dir.filePath(QStringLiteral("without.WAV")), none);
        QSoundFile f;
        QVERIFY(openScanned(f, with) && f.GetiXMLFileInfos());
        f.Close();
        QVERIFY(openScanned(f, without) && f.m_XmlObject.XmlOk());
        f.Close();
        QVERIFY(openScanned(f, with) && !f.m_XmlObject.XmlOk());
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
        QStringList got, expected;   // not limited to 30 unknown chunks
        for (const tyChunkEntry& c : chunks)
            got << QStringLiteral("%1 %2 %3").arg(QString::fromLatin1(c.id)).arg(c.offset).arg(c.size);
        for (const RecorderChunkPlace& p : places)
            expected << QStringLiteral("%1 %2 %3").arg(QString::fromLatin1(p.id)).arg(p.offset).arg(p.size);
        QCOMPARE(got, expected);
        QVERIFY(writeBytes(path, "RIFX"));
        QVERIFY(!QSoundFile::ListChunks(path, chunks, &riff));
        QVERIFY(!QSoundFile::ListChunks(m_dir.filePath(QStringLiteral("none")), chunks, &riff) && chunks.isEmpty());
    }

    // ffmpeg writes an extensible fmt (40 bytes), a 602-byte bext without
    // coding history and a LIST chunk; sox writes no bext.
    void filesOfOtherWriters()
    {
        if (!haveTool(QStringLiteral("ffmpeg")) || !haveTool(QStringLiteral("sox")))
            QSKIP("ffmpeg or sox is not installed");
        const QString ff = m_dir.filePath(QStringLiteral("ff.wav")), sx = m_dir.filePath(QStringLiteral("sx.wav"));
        ProcessResult r = run(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-f", "lavfi", "-i", "anullsrc=r=48000:cl=mono", "-af",
                                                        "atrim=end_sample=481", "-c:a", "pcm_s24le", "-write_bext", "1", "-metadata",
                                                        "time_reference=172800123", "-metadata", "originator=FFTEST", ff});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        r = run(QStringLiteral("sox"), {"-n", "-r", "44100", "-b", "16", "-c", "2", sx, "trim", "0", "0.1"});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QSoundFile f, g;
        QVERIFY(openScanned(f, ff) && openScanned(g, sx, 0, true));
        QCOMPARE(QStringList({f.GetSampling(), QString::number(f.GetNbTotalSample()), QString::number(f.GetTimeReference()),
                              f.GetCreator(), QString::number(f.m_tBextChunk.ChunkSize())}),
                 QStringList({"48kHz/24bits", "481", "172800123", "FFTEST", "602"}));
        QCOMPARE(QStringList({g.GetSampling(), QString::number(g.GetNbChannels()), QString::number(g.GetNbTotalSample()),
                              g.HasBextChunk() ? "bext" : "no bext"}), QStringList({"44100Hz/16bits", "2", "4410", "no bext"}));
    }

    void myQFile_data()
    {
        kit::columns<QString, int, bool>("name", "mode", "ok");
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
        QFETCH(QString, name); QFETCH(int, mode); QFETCH(bool, ok);
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
