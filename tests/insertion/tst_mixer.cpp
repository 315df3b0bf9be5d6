// SPDX-License-Identifier: GPL-3.0-or-later
// The mono track engine: sample-exact segments across its blocks and I/O runs
// (its reader thread), header fields, peaks and filler of the new file (the
// whole bytes: tst_golden), sources of other recorders (written by sox and
// ffmpeg, RF64 past 4 GB), and the checks that keep it from writing anything.

#include "InsertionFixtures.h"
#include "SourceFiles.h"

#include "ConformApply.h"
#include "ConformPlan.h"
#include "CoverageAnalysis.h"
#include "QSoundMixer.h"
#include "QSoundPerform.h"

#include <QtTest>

using namespace fixtures;
using namespace ins;

namespace {

const quint32 k48k = 48000;

struct EngineRun
{
    bool failed = true;
    QString name, messages;   // messages joined by '|'
    QList<qint64> progress;
    QByteArray made;          // the new file
};

// The engine on track t (0-based) of take `fileId` in `folder`.
EngineRun runEngine(const QString& source, const QString& folder, int t, const QString& trackName = QStringLiteral("Boom"),
                    int channel = 0, const QString& fileId = QStringLiteral("AA0001"))
{
    EngineRun r;
    Relay relay;
    QSoundPerform take;
    take.ResetVariables();
    if (!take.InitFilesZZ(folder + QLatin1Char('/') + fileId, QStringLiteral("WAV"))) {
        // A take record with a format but no file: what a caller could hand over.
        std::tie(take.m_nSampleRate, take.m_nBitsPerSample, take.m_nNbChannels) = std::make_tuple(48000, 16, 1);
    }
    QSoundMixer mixer;
    mixer.SetSourceOptions([channel] { QSoundMixer::SourceOptions o; o.channel = channel; return o; }());
    QObject::connect(&mixer, &QSoundMixer::signal_ProgressSize, [&](qint64 p) { r.progress << p; });
    QSignalSpy done(&mixer, &QSoundMixer::signal_ImportSourceProgressPct);
    r.failed = mixer.SonalignMono(source, folder, fileId, t, trackName, &take, nullptr, &r.name);
    QStringList messages = relay.texts();
    if (done.count() != 1 || done.at(0).at(0).toInt() != 100)
        messages << QStringLiteral("signal_ImportSourceProgressPct not emitted once with 100");
    r.messages = messages.join(QLatin1Char('|'));
    if (!r.failed)
        r.made = readFile(folder + QLatin1Char('/') + r.name);
    return r;
}

// A one-file take from `base` in `dir`, a source of the same span named
// `srcName`, then the engine on track t.
EngineRun makeTrack(const QTemporaryDir& dir, const RecorderFileSpec& base, int t = 1,
                    const QString& srcName = QStringLiteral("s.wav"), const QString& trackName = QStringLiteral("Boom"))
{
    const QString src = dir.path() + QLatin1Char('/') + srcName;
    if (!RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 1, base)
        || !writeSource(src, base.sampleRate, base.bitsPerSample, base.frames, base.timeReference))
        return EngineRun();
    return runEngine(src, dir.path(), t, trackName);
}

QByteArray take1(const QTemporaryDir& dir) { return readFile(dir.path() + QStringLiteral("/AA0001_01.WAV")); }

} // namespace

class TestMixer : public QObject
{
    Q_OBJECT
private slots:
    // Take 10:00:00 + takeFrames; source placed `srcStart` frames from the take
    // start (may be negative). The new track: zeros, the source's overlap, zeros,
    // whatever the 15120-byte blocks (7560 frames at 16 bits, 5040 at 24) and
    // the 1 MiB I/O runs.
    void segments_data()
    {
        columns<int, quint32, qint64, quint32>({"bits", "takeFrames", "srcStart", "srcFrames"});
        const quint32 b16 = 7560, b24 = 5040;
        QTest::newRow("missing start, 96000 zeros then 864000 samples") << 16 << 20 * k48k << qint64(2 * k48k) << 58 * k48k;
        QTest::newRow("entire take, exact span") << 24 << 3 * k48k << qint64(0) << 3 * k48k;
        QTest::newRow("entire take, source around it") << 16 << 3 * k48k << -qint64(k48k) << 6 * k48k;
        QTest::newRow("missing end: 60 s in, 10 s copied, 10 s silence") << 16 << 20 * k48k << -qint64(60 * k48k) << 70 * k48k;
        QTest::newRow("partial coverage") << 24 << 4 * k48k << qint64(k48k + 7) << 2 * k48k;
        QTest::newRow("missing start by one sample") << 16 << 2 * k48k << qint64(1) << 3 * k48k;
        QTest::newRow("missing end by one sample") << 24 << 2 * k48k << -qint64(5) << 2 * k48k;
        QTest::newRow("16-bit, one block exactly") << 16 << b16 << qint64(0) << b16;
        QTest::newRow("16-bit, block - 1, partial") << 16 << b16 - 1 << qint64(3) << b16 - 10;
        QTest::newRow("16-bit, block + 1, missing start") << 16 << b16 + 1 << qint64(b16) << 5 * b16;
        QTest::newRow("16-bit, 3 blocks + 1, missing end") << 16 << 3 * b16 + 1 << -qint64(b16 + 1) << 3 * b16 + 2;
        QTest::newRow("24-bit, one block exactly") << 24 << b24 << qint64(0) << b24;
        QTest::newRow("24-bit, 2 blocks - 1, partial") << 24 << 2 * b24 - 1 << qint64(b24 - 1) << b24 / 2;
        QTest::newRow("24-bit, beyond one I/O run (69 blocks)") << 24 << 75 * b24 + 13 << qint64(71 * b24 + 5) << 100 * b24;
        QTest::newRow("16-bit, one frame take") << 16 << 1u << qint64(0) << 1u;
        QTest::newRow("one-sample source at the first sample") << 24 << 4800u << qint64(0) << 1u;
        QTest::newRow("one-sample source inside") << 24 << 100u << qint64(50) << 1u;
        QTest::newRow("one-sample source at the last sample") << 24 << 4800u << qint64(4799) << 1u;
    }
    void segments()
    {
        QFETCH(int, bits); QFETCH(quint32, takeFrames); QFETCH(qint64, srcStart); QFETCH(quint32, srcFrames);
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/T"), src = dir.path() + QStringLiteral("/S01.WAV");
        QVERIFY(QDir().mkpath(folder) && RecorderFileWriter::writeMonoTake(folder, QStringLiteral("AA0001"), 2, spec(k48k, quint16(bits), takeFrames, kTen)));
        QVERIFY(writeSource(src, k48k, quint16(bits), srcFrames, quint64(qint64(kTen) + srcStart)));
        const EngineRun r = runEngine(src, folder, 2);
        QCOMPARE(r.name + r.messages, QStringLiteral("AA0001_03.WAV"));
        const qint64 b = bits / 8, take = takeFrames;
        const qint64 before = qBound<qint64>(0, srcStart, take), copyEnd = qBound<qint64>(0, srcStart + srcFrames, take);
        QVERIFY(body(r.made, "data") == QByteArray(int(before * b), '\0')
                                            + audio(77, quint32(qMax<qint64>(0, -srcStart)), quint32(copyEnd - before), quint16(bits))
                                            + QByteArray(int((take - copyEnd) * b), '\0'));
        const QByteArray ref = readFile(folder + QStringLiteral("/AA0001_01.WAV"));
        QCOMPARE(r.made.size(), ref.size());
        QCOMPARE(u32At(r.made, 4), u32At(ref, 4));
        QVERIFY(partialFiles(folder).isEmpty());
        // One progress report per block of each phase (silence, copy, silence), rising to 100.
        const qint64 k = 15120 / b;
        auto blocks = [k](qint64 frames) { return (frames + k - 1) / k; };
        QCOMPARE(qint64(r.progress.size()), blocks(before) + blocks(copyEnd - before) + blocks(take - copyEnd));
        QCOMPARE(r.progress.last(), qint64(100));
        QVERIFY(std::is_sorted(r.progress.begin(), r.progress.end()));
    }
    // Other shapes of reference: without film and vlta; with extra chunks that
    // make it longer, ended by a "sonl" filler carrying the source's name (all
    // zero when the name is 255 characters long).
    void otherReferences_data()
    {
        columns<bool, int, QString, QString, QByteArray>({"filmAndVlta", "extra", "srcName", "chunks", "filler"});
        QTest::newRow("no film, no vlta") << false << 0 << "s.wav" << "bext,fmt ,data,ond2,iXML" << QByteArray();
        QTest::newRow("LIST after data: filler") << true << 1000 << "Mic 1.wav" << "bext,fmt ,film,vlta,data,ond2,iXML,sonl"
                                                 << QByteArray("Mic 1.wav") + QByteArray(991, '\0');
        QTest::newRow("source name of 255 characters") << true << 300 << QString(251, QLatin1Char('n')) + QStringLiteral(".wav")
                                                       << "bext,fmt ,film,vlta,data,ond2,iXML,sonl" << QByteArray(300, '\0');
    }
    void otherReferences()
    {
        QFETCH(bool, filmAndVlta); QFETCH(int, extra); QFETCH(QString, srcName);
        QTemporaryDir dir;
        RecorderFileSpec base = spec(k48k, 16, 4800, kTen);
        base.withFilm = base.withVlta = filmAndVlta;
        if (extra)
            base.extraAfter << ExtraChunk{"LIST", QByteArray(extra, 'x'), false, 0};
        const EngineRun r = makeTrack(dir, base, 1, srcName);
        QVERIFY2(!r.failed, qPrintable(r.messages));
        QTEST(chunkIds(r.made), "chunks");
        QTEST(body(r.made, "sonl"), "filler");
        QCOMPARE(r.made.size(), take1(dir).size());
        QCOMPARE(u32At(r.made, 4), u32At(take1(dir), 4));
        if (!filmAndVlta)
            QCOMPARE(find(r.made, "data").offset, qint64(12 + 866 + 24));
        else   // the film chunk keeps at most 255 characters and its NUL
            QCOMPARE(r.made.mid(int(find(r.made, "film").offset) + 812, srcName.size() + 1), srcName.toLatin1() + QByteArray(1, '\0'));
    }
    // Refusals the command line tests do not meet; each leaves the folder as it was.
    void refusals_data()
    {
        // expected: %S = source path, %D = the test folder
        columns<QString, QString>({"caseName", "expected"});
        QTest::newRow("44.1 kHz stereo: both messages") << "rate+stereo"
            << "%S [44100/16 bits] \nTarget [48000/16 bits]\nThe source is at 44100 Hz and the take at 48000 Hz: the source must be "
               "resampled to 48000 Hz first.|%S \n Is not a monophonic file.\nIt has 2 channels: choose one with --channel K (the "
               "channel choice beside the track in the window).";
        QTest::newRow("compressed source") << "adpcm"
            << "%S\nCompressed or unknown audio format (format tag 0x0002): only PCM and IEEE float sources can be used.";
        QTest::newRow("source without bext") << "nobext"
            << "%S\nThis source has no bext chunk, so no time reference: it cannot be placed in the take (it would land at midnight).";
        QTest::newRow("missing source") << "missing" << "Unable to open\n%D/\nnope.wav\nfor reading !|%S\nError returned by clSoundFile.Open().";
        QTest::newRow("no overlap: source ends at the take start") << "before" << "Unable to in point Tc sample!";
        QTest::newRow("no overlap: source starts at the take end") << "after" << "Unable to in point Tc sample!";
        QTest::newRow("empty take") << "notake" << "AA0009 \nNo valid index detected.";
        QTest::newRow("source shorter than its data chunk") << "truncated"
            << "%S\nThe source file holds fewer audio bytes than its data chunk declares.";
        // RF64 headers that lie, the take in the part of the data the file does not hold.
        QTest::newRow("RF64 data past the end of the file") << "ds64 1440000"
            << "%S\nThe source file holds fewer audio bytes than its data chunk declares.";
        QTest::newRow("RF64 data of 2^62 bytes") << "ds64 4611686018427387904"
            << "%S\nThe source's time reference or length is out of range: its header is damaged.";
    }
    void refusals()
    {
        QFETCH(QString, caseName); QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/take");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(RecorderFileWriter::writeMonoTake(folder, QStringLiteral("AA0001"), 2, spec(k48k, 16, 4800, kTen)));
        const quint64 start = caseName == QLatin1String("before") ? kTen - 4800 : caseName == QLatin1String("after") ? kTen + 4800 : kTen;
        RecorderFileSpec source = sourceSpec(spec(caseName.contains(QLatin1String("rate")) ? 44100 : k48k, 16, 4800, start, 77));
        source.channels = caseName.contains(QLatin1String("stereo")) ? 2 : 1;
        source.withBext = caseName != QLatin1String("nobext");
        source.formatTag = caseName == QLatin1String("adpcm") ? 2 : 1;
        QString src = dir.path() + QStringLiteral("/src.wav");
        QVERIFY(RecorderFileWriter::write(src, source));
        if (caseName == QLatin1String("truncated")) {
            QFile f(src);
            QVERIFY(f.resize(f.size() - 1000));
        } else if (caseName == QLatin1String("missing")) {
            src = dir.path() + QStringLiteral("/nope.wav");
        } else if (caseName.startsWith(QLatin1String("ds64"))) {
            // One second of sparse RF64 from 09:59:55; its ds64 data size (8 bytes at 28) patched.
            QVERIFY(RecorderFileWriter::writeRf64Sparse(src, spec(k48k, 24, 0, kTen - 5 * k48k), 48000, 0, 48000));
            QByteArray bytes = readFile(src);
            const quint64 size = caseName.mid(5).toULongLong();
            for (int k = 0; k < 8; ++k)
                bytes[28 + k] = char((size >> (8 * k)) & 0xFF);
            QVERIFY(writeFile(src, bytes));
        }
        const QMap<QString, QByteArray> before = sha1Folder(folder);
        const EngineRun r = runEngine(src, folder, 2, QStringLiteral("Boom"), 0,
                                      caseName == QLatin1String("notake") ? QStringLiteral("AA0009") : QStringLiteral("AA0001"));
        QVERIFY(r.failed);
        QCOMPARE(r.messages, expected.replace(QLatin1String("%S"), src).replace(QLatin1String("%D"), dir.path()));
        QCOMPARE(sha1Folder(folder), before);
    }
    // The header comes from the take's first file (track 2 when only tracks 2
    // and 3 exist, its UMID a run of '2'); the recorder's originator reference
    // and UMID byte 31 carry the new track's index, another maker's reference is kept.
    void headerFromTheReference_data()
    {
        columns<QList<int>, QByteArray, int, QByteArray, QByteArray>({"tracks", "reference", "t", "expected", "umid"});
        const QByteArray vel("VELPAV0000000000000000000000000A");
        QTest::newRow("VEL, track index 2") << QList<int>{5} << vel << 2 << QByteArray("VELPAV00000000000000000000000003") << QByteArray(31, '5') + '\2';
        QTest::newRow("VEL, track index 0") << QList<int>{5} << vel << 0 << QByteArray("VELPAV00000000000000000000000001") << QByteArray(31, '5') + '\0';
        QTest::newRow("other maker kept") << QList<int>{5} << QByteArray("XYZ00000000000000000000000000000") << 2
                                          << QByteArray("XYZ00000000000000000000000000000") << QByteArray(31, '5') + '\2';
        QTest::newRow("tracks 2 and 3 only") << QList<int>{2, 3} << vel << 0 << QByteArray("VELPAV00000000000000000000000001") << QByteArray(31, '2') + '\0';
    }
    void headerFromTheReference()
    {
        QFETCH(QList<int>, tracks); QFETCH(QByteArray, reference); QFETCH(int, t);
        QTemporaryDir dir;
        for (int n : tracks) {
            RecorderFileSpec s = RecorderFileWriter::monoTrackSpec(spec(k48k, 16, 4800, kTen), tracks.last(), n);
            s.originatorReference = reference;
            s.umid = QByteArray(64, char('0' + n));
            QVERIFY(RecorderFileWriter::write(dir.path() + QStringLiteral("/AA0001_0%1.WAV").arg(n), s));
        }
        QVERIFY(writeSource(dir.path() + QStringLiteral("/s.wav"), k48k, 16, 4800, kTen));
        const EngineRun r = runEngine(dir.path() + QStringLiteral("/s.wav"), dir.path(), t);
        QVERIFY2(!r.failed, qPrintable(r.messages));
        QCOMPARE(r.name, QStringLiteral("AA0001_0%1.WAV").arg(t + 1));
        QTEST(r.made.mid(20 + 288, 32), "expected");
        QTEST(r.made.mid(20 + 348, 32), "umid");
        QCOMPARE(r.made.mid(20 + 380, 32), QByteArray(32, char('0' + tracks.first())));
        QCOMPARE(r.made.size(), int(QFileInfo(dir.path() + QStringLiteral("/AA0001_0%1.WAV").arg(tracks.first())).size()));
    }
    // 1000 Hz: 100 samples per point; 350 samples give 3 points and a rest. The
    // loudest sample is in the second period only, small values after it.
    void peaks_data()
    {
        columns<int, qint32, int>({"bits", "loudest", "point"});
        QTest::newRow("16-bit -32768 gives 255") << 16 << -32768 << 255;
        QTest::newRow("16-bit 32767 gives 255") << 16 << 32767 << 255;
        QTest::newRow("16-bit -1000 gives 7") << 16 << -1000 << 7;
        QTest::newRow("16-bit 127 gives 0") << 16 << 127 << 0;
        QTest::newRow("24-bit -8388608 gives 255") << 24 << -8388608 << 255;
        QTest::newRow("24-bit 1000000 gives 30") << 24 << 1000000 << 30;
    }
    void peaks()
    {
        QFETCH(int, bits); QFETCH(qint32, loudest); QFETCH(int, point);
        QTemporaryDir dir;
        QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 1, spec(1000, quint16(bits), 350, 36000000)));
        QByteArray bytes = RecorderFileWriter::build(sourceSpec(spec(1000, quint16(bits), 350, 36000000)));
        const qint64 at = find(bytes, "data").offset + 8;
        for (int i = 0; i < 350; ++i)
            for (int k = 0; k < bits / 8; ++k)
                bytes[int(at + i * bits / 8 + k)] = char((quint32(i == 150 ? loudest : i >= 200 ? 1 : 0) >> (8 * k)) & 0xFF);
        QVERIFY(writeFile(dir.path() + QStringLiteral("/s.wav"), bytes));
        const EngineRun r = runEngine(dir.path() + QStringLiteral("/s.wav"), dir.path(), 1);
        QVERIFY2(!r.failed, qPrintable(r.messages));
        QCOMPARE(find(r.made, "ond").id, QByteArray("ond2"));
        const QByteArray onde = body(r.made, "ond");
        QCOMPARE(onde.size(), 404);
        QCOMPARE(u32At(onde, 0), 100u);   // samples per point
        QCOMPARE(onde.mid(8, 4), QByteArray("\0", 1) + char(point) + QByteArray(2, '\0'));   // none for the rest
    }
    void longTrackNameIsCut()
    {
        QTemporaryDir dir;
        const QString name = QString(60, QLatin1Char('a')) + QString(60, QChar(0x00e9));   // 60 + 120 bytes in UTF-8
        const EngineRun r = makeTrack(dir, spec(k48k, 16, 480, kTen), 11, QStringLiteral("s.wav"), name);
        QVERIFY2(!r.failed, qPrintable(r.messages));
        // The iXML keeps the whole name; the Description gets what fits: 130 bytes of
        // other lines, 253 kept so that the type line still fits, so 123 bytes of
        // name cut back to 122 at a character boundary.
        QCOMPARE(xmlValue(QString::fromUtf8(body(r.made, "iXML")).trimmed(), QStringLiteral("TRACK_LIST/TRACK/NAME")), name);
        const QByteArray desc = r.made.mid(20, 256);
        QVERIFY(desc.contains("aTRK12=" + name.toUtf8().left(122) + "\r\naNOTE=good\r\naTYP=mono \r\n"));
        QVERIFY(desc.indexOf('\0') > 0 && desc.indexOf('\0') <= 255);
    }
    void createFromEveryFormat_data()
    {
        // channel: 1-based; 0 = mono source
        columns<QString, int, int>({"command", "takeBits", "channel"});
        const QString ff = QStringLiteral("ffmpeg -f lavfi -i aevalsrc=%1:s=48000:d=0.25 -c:a %2 -write_bext 1 "
                                          "-metadata time_reference=1728000000 %3 %OUT");
        const QString loud = QStringLiteral("1.3*sin(2*PI*440*t)"), sine = QStringLiteral("0.8*sin(2*PI*440*t)");
        const QString three = QStringLiteral("0.5*sin(2*PI*440*t)|0.7*sin(2*PI*660*t)|-0.9*sin(2*PI*880*t)");
        const QString sox = QStringLiteral("sox -n -r 48000 -c %1 -b %2 -e %3 %OUT synth 0.25 sine 440 sine 1000");
        QTest::newRow("32-bit float into 24 bits, clipping") << ff.arg(loud, QStringLiteral("pcm_f32le"), QString()) << 24 << 0;
        QTest::newRow("64-bit float into 16 bits") << ff.arg(loud, QStringLiteral("pcm_f64le"), QString()) << 16 << 0;
        QTest::newRow("RF64 float into 24 bits") << ff.arg(loud, QStringLiteral("pcm_f32le"), QStringLiteral("-rf64 always")) << 24 << 0;
        QTest::newRow("extensible 24-bit, copied") << ff.arg(sine, QStringLiteral("pcm_s24le"), QString()) << 24 << 0;
        QTest::newRow("24-bit into 16 bits") << ff.arg(sine, QStringLiteral("pcm_s24le"), QString()) << 16 << 0;
        QTest::newRow("32-bit into 24 bits") << ff.arg(sine, QStringLiteral("pcm_s32le"), QString()) << 24 << 0;
        QTest::newRow("8-bit unsigned into 16 bits") << ff.arg(sine, QStringLiteral("pcm_u8"), QString()) << 16 << 0;
        QTest::newRow("three channels, the third") << ff.arg(three, QStringLiteral("pcm_s24le"), QString()) << 24 << 3;
        QTest::newRow("three channels, the first, into 16 bits") << ff.arg(three, QStringLiteral("pcm_s24le"), QString()) << 16 << 1;
        QTest::newRow("sox 16-bit into 24 bits") << sox.arg(1).arg(16).arg(QStringLiteral("signed-integer")) << 24 << 0;
        QTest::newRow("sox stereo 16-bit, the second") << sox.arg(2).arg(16).arg(QStringLiteral("signed-integer")) << 16 << 2;
        QTest::newRow("sox 32-bit float into 16 bits") << sox.arg(1).arg(32).arg(QStringLiteral("floating-point")) << 16 << 0;
    }
    // Take 09:59:59.98 .. +10000 samples; the source from 10:00:00 (sox writes
    // no bext: one is added): 1000 samples of silence, then the source's first
    // 9000 samples converted, with peaks of the converted samples; conform gives
    // the same samples.
    void createFromEveryFormat()
    {
        QFETCH(QString, command); QFETCH(int, takeBits); QFETCH(int, channel);
        if (!sources::haveTools())
            QSKIP("sox and ffmpeg are needed to write the sources");
        QTemporaryDir dir;
        const QString src = dir.path() + QStringLiteral("/source.wav"), folder = dir.path() + QStringLiteral("/take");
        QString error;
        QVERIFY2(sources::runTool(command, src, &error), qPrintable(error));
        if (command.startsWith(QLatin1String("sox")))
            QVERIFY(writeFile(src, sources::withBext(readFile(src), kTen)));
        const sources::RawWav raw = sources::parseWav(readFile(src));
        QVERIFY(raw.dataSize >= 9000ull * raw.channels * (raw.bits / 8));
        const RecorderFileSpec take = spec(k48k, quint16(takeBits), 10000, kTen - 1000);
        QVERIFY(QDir().mkpath(folder) && RecorderFileWriter::writeMonoTake(folder, QStringLiteral("AA0001"), 1, take));
        const EngineRun r = runEngine(src, folder, 1, QStringLiteral("Lav"), channel);
        QVERIFY2(!r.failed, qPrintable(r.messages));
        // Independent expectation, sample by sample (peaks of the converted samples: the peaks test).
        const int b = takeBits / 8;
        QByteArray expected(1000 * b, '\0');
        quint64 clipped = 0, firstClipped = 0;
        for (quint64 i = 0; i < 9000; ++i) {
            bool isFloat = false;
            const double v = sources::sampleAt(raw, i, std::max(channel, 1) - 1, &isFloat);
            const sources::Expected e = sources::expectedSample(v, isFloat, raw.bits, takeBits);
            sources::appendSample(expected, e.value, takeBits);
            if (e.clipped && clipped++ == 0)
                firstClipped = i;
        }
        QVERIFY(body(r.made, "data") == expected);
        QCOMPARE(body(r.made, "fmt ").mid(12, 4), body(readFile(folder + QStringLiteral("/AA0001_01.WAV")), "fmt ").mid(12, 4));   // block align, depth of the take
        // Clipping is reported with where it first happened (25 fps timecode); no NaN here.
        QVERIFY(clipped > 0 || !QByteArray(QTest::currentDataTag()).contains("clipping"));
        const QTime first = QTime(0, 0).addMSecs(int((kTen + firstClipped) * 1000 / k48k));
        QCOMPARE(r.messages.contains(QStringLiteral("to %1-bit: %2 sample(s) clipped (first at %3:%4), 0 NaN or infinite sample(s) set to 0.")
                                         .arg(takeBits).arg(clipped).arg(first.toString(QStringLiteral("HH:mm:ss"))).arg(first.msec() / 40, 2, 10, QLatin1Char('0'))),
                 clipped > 0);
        QCOMPARE(r.messages.isEmpty(), clipped == 0);
        // Conform reads the same source through the same engine.
        const QString sourcesDir = dir.path() + QStringLiteral("/sources"), target = dir.path() + QStringLiteral("/take2");
        QVERIFY(QDir().mkpath(sourcesDir) && QDir().mkpath(target));
        QVERIFY(QFile::copy(src, sourcesDir + QStringLiteral("/SOURCE.WAV")));
        QVERIFY(RecorderFileWriter::writeMonoTake(target, QStringLiteral("AA0001"), 1, take));
        ConformRequest request;
        std::tie(request.sourceFolder, request.targetFolder, request.track, request.sourceChannel) = std::make_tuple(sourcesDir, target, 2, channel);
        ConformPlan plan = BuildConformPlan(request);
        QCOMPARE(plan.takes.size(), 1);
        QVERIFY2(plan.takes.at(0).create, qPrintable(plan.takes.at(0).reason));
        QVERIFY(ConformRun().Apply(plan));
        QVERIFY(body(readFile(target + QStringLiteral("/AA0001_02.WAV")), "data") == expected);
    }
    // A sparse RF64 source of more than 4 GB from our writer: the take lies past
    // the first 4 GB of its data, found through ds64, read at its 64-bit offset.
    void rf64PastFourGigabytes()
    {
        QTemporaryDir dir;
        const RecorderFileSpec s = spec(k48k, 24, 0, 3600ull * k48k, 4);   // 01:00:00
        const quint64 frames = (quint64(1) << 32) / 3 + 96000, at = frames - 48000;   // the take's second is the source's last
        const QString src = dir.path() + QStringLiteral("/long.wav");
        QString error;
        QVERIFY2(RecorderFileWriter::writeRf64Sparse(src, s, frames, at, 48000, &error), qPrintable(error));
        long long in = 0, out = 0;
        bool chunks = false;
        QVERIFY(!GetInOutTimecode(src, &in, &out, &chunks));
        QCOMPARE(QList<qint64>({in, out, chunks}), QList<qint64>({qint64(s.timeReference), qint64(s.timeReference + frames), 1}));
        QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 1, spec(k48k, 24, 48000, s.timeReference + at)));
        const EngineRun r = runEngine(src, dir.path(), 1);
        QVERIFY2(!r.failed, qPrintable(r.messages));
        QByteArray expected;
        for (quint32 i = 0; i < 48000; ++i)
            sources::appendSample(expected, RecorderFileSpec::sampleValue(4, quint32(at + i), 0, 24), 24);
        QVERIFY(body(r.made, "data") == expected);
    }
};

QTEST_MAIN(TestMixer)
#include "tst_mixer.moc"
