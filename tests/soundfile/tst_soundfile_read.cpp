// SPDX-License-Identifier: GPL-3.0-or-later
// Opening and scanning files into chunk records: recorder files, other writers' files, damaged or hostile ones; and the fixture
// files checked by readers we did not write (ffprobe, sox).

#include "RelayRecorder.h"
#include "SoundFixtures.h"
#include "SoundTestKit.h"

using namespace testsupport;

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
    // name: relative to the folder, "" = empty path; message: %1 folder with "/", %2 file name, "-" = opens
    void open_data()
    {
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
        QVERIFY(!f.Close() && f.Open(existing, 0));   // m_sPath keeps this when the next Open fails
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
        QVERIFY(relay.count() == 0 || relay.args() == QLatin1String("0,1,true,0"));
        QCOMPARE(f.Close(), f.IsOpen());
        QCOMPARE(readAll(existing), before);   // a read-write open changes nothing
    }

    // bytes "-": not open; ending "": accepted
    void readChunksFailures_data()
    {
        kit::columns<QByteArray, bool, QString>("bytes", "bextOptional", "ending");
        QTest::newRow("not open") << QByteArray("-") << false << "isn't open !";
        QTest::newRow("zero-length") << QByteArray() << false << "is empty !";
        QTest::newRow("RIFX") << RecorderFileWriter::build(kit::spec("riff=RIFX")) << false << "is not a sound file !";
        QTest::newRow("RF64") << RecorderFileWriter::build(kit::spec("riff=RF64")) << false << "is not a sound file !";
        QTest::newRow("two bytes") << QByteArray("RI") << false << "is not a sound file !";
        QTest::newRow("header only") << QByteArray("RIFF\x04\0\0\0WAVE", 12) << false << "hasn't Format Chunk !";
        QTest::newRow("no fmt, no data: fmt only") << RecorderFileWriter::build(kit::spec("nofmt;nodata")) << false << "hasn't Format Chunk !";
        QTest::newRow("no data") << RecorderFileWriter::build(kit::spec("nodata")) << false << "hasn't Data Chunk !";
        QTest::newRow("no bext, no data: data only") << RecorderFileWriter::build(kit::spec("nobext;nodata")) << false << "hasn't Data Chunk !";
        QTest::newRow("no bext") << RecorderFileWriter::build(kit::spec("nobext")) << false << "hasn't Bext Chunk !";
        QTest::newRow("no bext, optional") << RecorderFileWriter::build(kit::spec("nobext")) << true << "";
        QTest::newRow("recorder file") << RecorderFileWriter::build(RecorderFileSpec()) << false << "";
    }
    void readChunksFailures()
    {
        QFETCH(QByteArray, bytes); QFETCH(bool, bextOptional); QFETCH(QString, ending);
        const QString path = bytes == "-" ? m_dir.filePath(QStringLiteral("closed.WAV")) : file(QStringLiteral("f.WAV"), bytes);
        for (const bool show : {true, false}) {
            RelayRecorder relay;
            QSoundFile f;
            f.m_sPath = path;
            QVERIFY(bytes == "-" || f.Open(path, 0));
            QCOMPARE(f.ReadChunks(show, bextOptional), ending.isEmpty());
            const QString expected = QStringLiteral("QSoundFile::ReadChunks(): Path:%1/\nFile:%2\n").arg(m_dir.path(),
                                                    QFileInfo(path).fileName()) + ending;
            QCOMPARE(relay.lines(), ending.isEmpty() || !show ? QStringList() : QStringList{expected});
            QVERIFY(!ending.isEmpty() || f.HasBextChunk() == !bextOptional);
        }
    }

    // Other writers' layouts and damaged or hostile files: the scan ends where it must, and what it found is named in "key=value"
    // terms. "places=yes": bext, fmt, data and the onde chunk were found where the writer put them.
    void scans_data()
    {
        kit::columns<RecorderFileSpec, QString>("spec", "expected");
        auto row = [](const char* tag, const char* spec, const char* expected) { QTest::newRow(tag) << kit::spec(spec) << expected; };
        row("odd chunk, no pad byte (recorder)", "before=abcd:xyz", "ok=true;unknown=1;ixml=found;places=yes");
        row("odd chunk, pad byte (other writers)", "beforepad=abcd:xyz", "ok=true;unknown=1;ixml=found;places=yes");
        row("padded odd chunks before the iXML", "unknownpad=5;ixmllast", "ok=true;unknown=5;ixml=found;places=yes");
        row("odd data chunk, no pad byte", "frames=11", "ok=true;unknown=0;ixml=found;places=yes");   // 33 bytes, then onde
        row("30 unknown chunks accepted", "unknown=30", "ok=true;unknown=30;tooMany=false;ixml=found;places=yes");
        row("31st unknown chunk ends the scan", "unknown=31", "ok=true;unknown=31;tooMany=true;ixml=found, unused;places=yes");
        row("31st unknown chunk: later iXML unseen", "unknown=31;ixmllast", "ok=true;unknown=31;tooMany=true;ixml=none;places=yes");
        row("onde of track 10: ondA", "channelindex=10", "ok=true;onde=ondA;places=yes");
        row("any fourth character after ond", "noonde;after=ond~:\x01\x01\x01\x01\x01\x01\x01\x01", "ok=true;onde=ond~;places=yes");
        row("form type not examined", "form=AIFF", "ok=true;ixml=found;places=yes");
        row("no iXML", "noixml", "ok=true;ixml=none;places=yes");
        // The bext record is always 866 bytes: past a short chunk come the bytes that follow.
        row("short bext", "bextsize=300", "ok=true;places=yes;rate=48000;bext 308=fmt ");
        row("iXML size far past the end", "ixmllast;ixml=<BWFXML><SCENE>1</SCENE></BWFXML>;ixmlsize=0x7FFFFFF0",
            "ok=true;messages=0;ixml=found;chars=33;size=2147483632");
        row("iXML size + 1 overflows 32 bits", "ixmllast;ixml=<BWFXML><SCENE>1</SCENE></BWFXML>;ixmlsize=0xFFFFFFFF",
            "ok=true;messages=0;ixml=found;chars=33;size=4294967295");
        // Position + 8 + size lands on itself; the text runs on into the data chunk header up to its first NUL.
        row("iXML size that would not advance", "ixml=<BWFXML/>;ixmlsize=0xFFFFFFF8", "ok=false;messages=1;ixml=found;chars=15;size=4294967288");
        row("size that wraps the position", "after=JUNK:1234:0xFFFFFFFF;after=JUNK:5678", "ok=true;messages=0;chars=61440;size=61440");
        row("empty chunks", "after=JUNK:;after=JUNK:", "ok=true;messages=0;chars=61440;size=61440;places=yes");
        row("truncated inside bext", "truncate=120", "ok=false;messages=1;ixml=none;size=0");
        row("truncated inside the iXML", "truncate=2574", "ok=false;messages=1;ixml=found;chars=12;size=61440");
        RecorderFileSpec spec = kit::spec("after=tail:abc");
        spec.truncateTo = RecorderFileWriter::build(spec).size() - 5;
        QTest::newRow("partial header at the end") << spec << "ok=true;messages=0;chars=61440;size=61440";
        spec = RecorderFileSpec();
        static const char text[] = "<BWFXML><SCENE>\xC3\x89t\xC3\xA9</SCENE></BWFXML>\0trailing";
        spec.ixmlRaw = QByteArray(text, int(sizeof(text)) - 1);   // sized from the literal (found by AddressSanitizer)
        QTest::newRow("UTF-8 text ended by a NUL") << spec << "ok=true;text=<BWFXML><SCENE>Été</SCENE></BWFXML>;size=46";
        // Later chunks of the same kind replace earlier ones.
        QList<RecorderChunkPlace> op;
        const QByteArray ob = RecorderFileWriter::build(kit::spec("tr=777;film=24.00;rate=96000"), &op);
        auto body = [&](const QByteArray& id, int size) { return ExtraChunk{id, ob.mid(int(offsetOf(op, id)) + 8, size), false, 0}; };
        spec = kit::spec("ixml=<BWFXML><SCENE>first</SCENE></BWFXML>;after=iXML:<BWFXML><SCENE>second</SCENE></BWFXML>");
        spec.extraAfter = QList<ExtraChunk>{body("bext", 858), body("fmt ", 16), body("film", 1572)} + spec.extraAfter;
        QTest::newRow("last occurrence wins")
            << spec << "ok=true;places=yes;tr=777;rate=96000;film=24.00;text=<BWFXML><SCENE>second</SCENE></BWFXML>";
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
            {"places", [&] { return f.m_nPosBext == lastAt("bext") + 8 && f.m_nPosFmt == lastAt("fmt ") + 8
                                    && f.m_nPosData == lastAt("data") + 8 && f.m_nPosOnde == lastAt(onde) + 8 ? "yes" : "no"; }},
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
        const bool ok = f.Open(path, 0) && f.ReadChunks(false, false);   // reported whatever bShowMessage says
        QSoundFile::SetIxmlReadLimitForTests(0);
        QVERIFY(ok);
        QCOMPARE(relay.lines(), QStringList{QStringLiteral("QSoundFile::ReadChunks(): pciXML = malloc() return NULL !\n")});
        QCOMPARE(f.m_siXML + QString::number(f.m_nSizeiXML), QStringLiteral("previous61440"));
    }

    // ffmpeg writes an extensible fmt (40 bytes), a 602-byte bext without coding history and a LIST chunk; sox writes no bext.
    void filesOfOtherWriters()
    {
        if (!haveTool(QStringLiteral("ffmpeg")) || !haveTool(QStringLiteral("sox")))
            QSKIP("ffmpeg or sox is not installed");
        const QString ff = m_dir.filePath(QStringLiteral("ff.wav")), sx = m_dir.filePath(QStringLiteral("sx.wav"));
        const QString o32(32, QLatin1Char('O')), r32(32, QLatin1Char('R'));   // full fields: no NUL after them
        ProcessResult r = run(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-f", "lavfi", "-i", "anullsrc=r=48000:cl=mono", "-af",
            "atrim=end_sample=481", "-c:a", "pcm_s24le", "-write_bext", "1", "-metadata", "time_reference=172800123", "-metadata",
            "originator=" + o32, "-metadata", "originator_reference=" + r32, "-metadata", "origination_date=2019:03:21",
            "-metadata", "origination_time=10:15:30", ff});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        r = run(QStringLiteral("sox"), {"-n", "-r", "44100", "-b", "16", "-c", "2", sx, "trim", "0", "0.1"});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QSoundFile f, g;
        QVERIFY(openScanned(f, ff) && openScanned(g, sx, 0, true));
        QCOMPARE(QStringList({f.GetSampling(), QString::number(f.GetNbTotalSample()), QString::number(f.GetTimeReference()),
                              QString::number(f.m_tBextChunk.ChunkSize()), f.GetCreationDate(), f.GetCreationTime(), f.GetCreator(),
                              f.GetRef()}),
                 QStringList({"48kHz/24bits", "481", "172800123", "602", "2019-03-21", "10:15:30", o32, r32}));
        QCOMPARE(QStringList({g.GetSampling(), QString::number(g.GetNbChannels()), QString::number(g.GetNbTotalSample()),
                              g.HasBextChunk() ? "bext" : "no bext", g.GetCreationDate() + g.GetCreator() + g.GetRef()}),
                 QStringList({"44100Hz/16bits", "2", "4410", "no bext", ""}));
    }

    // Our fixtures as ffprobe reads their format and bext fields and sox decodes every sample.
    void fixturesInOtherReaders_data()
    {
        kit::columns<QString, QString>("spec", "coding");
        QTest::newRow("48k/24, odd size, past 2^32") << "frames=1001;tr=0x1000000A0" << "F=48000,W=24,M=mono";
        QTest::newRow("44.1k/16 stereo, zero") << "rate=44100;bits=16;channels=2;frames=500;tr=0" << "F=44100,W=16,M=multi";
        QTest::newRow("8-bit (unsigned on disk)") << "bits=8;frames=301;tr=7" << "F=48000,W=8,M=mono";
        QTest::newRow("24-bit, 3 channels") << "channels=3;frames=257;tr=7" << "F=48000,W=24,M=multi";
    }
    void fixturesInOtherReaders()
    {
        if (!haveTool(QStringLiteral("ffprobe")) || !haveTool(QStringLiteral("sox")))
            QSKIP("ffprobe or sox is not installed");
        QFETCH(QString, spec); QFETCH(QString, coding);
        const RecorderFileSpec s = kit::spec(spec + ";seed=7");
        const QString path = writeSpec(m_dir.filePath(QStringLiteral("AA0007_01.WAV")), s);
        ProcessResult r = run(QStringLiteral("ffprobe"), {"-v", "error", "-of", "json", "-show_entries",
                                                          "stream=sample_rate,bits_per_sample,channels,duration_ts:format_tags", path});
        const QJsonObject o = QJsonDocument::fromJson(r.out).object();
        const QJsonObject stream = o.value(QStringLiteral("streams")).toArray().at(0).toObject();
        const QJsonObject tags = o.value(QStringLiteral("format")).toObject().value(QStringLiteral("tags")).toObject();
        QStringList got;
        for (const char* key : {"sample_rate", "bits_per_sample", "channels", "duration_ts"})
            got << stream.value(QLatin1String(key)).toVariant().toString();
        for (const char* key : {"time_reference", "encoded_by", "date", "creation_time", "comment", "coding_history"})
            got << tags.value(QLatin1String(key)).toString();
        QCOMPARE(got, QStringList({QString::number(s.sampleRate), QString::number(s.bitsPerSample), QString::number(s.channels),
                                   QString::number(s.frames), QString::number(s.timeReference), "PAVANE V01.23.45 SN000123",
                                   "2019:05:14", "10:15:30",
                                   "aSCENE=12A\r\naTAKE=3\r\naTAPE=DAY1\r\naUBITS=00000000\r\naSPEED=025.000-ND\r\naNOTE=good\r\n",
                                   "A=PCM," + coding + ",T=PAVANE\r\n"}));
        // Decoded as 32-bit signed little-endian: the value sits in the top bits.
        r = run(QStringLiteral("sox"), {"-D", path, "-t", "raw", "-e", "signed", "-b", "32", "-L", "-"});
        QCOMPARE(r.out.size(), int(s.frames * s.channels * 4));
        QVERIFY(RecorderFileSpec::sampleValue(7, 1, 0, s.bitsPerSample) != RecorderFileSpec::sampleValue(7, 2, 0, s.bitsPerSample));
        for (quint32 f = 0; f < s.frames * s.channels; ++f)   // audio, not silence
            if ((qint32(u32At(r.out, int(f * 4))) >> (32 - s.bitsPerSample))
                != RecorderFileSpec::sampleValue(7, f / s.channels, quint16(f % s.channels), s.bitsPerSample))
                QFAIL(qPrintable(QStringLiteral("sample %1 differs").arg(f)));
    }
};

QTEST_MAIN(TestSoundFileRead)
#include "tst_soundfile_read.moc"
