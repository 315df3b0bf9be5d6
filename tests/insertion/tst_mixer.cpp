// SPDX-License-Identifier: GPL-3.0-or-later
// The mono track engine: sample-exact segments, header, peaks, filler, and the
// checks that keep it from writing anything.

#include "InsertionFixtures.h"
#include "TestSupport.h"

#include "QSoundFile.h"
#include "QSoundMixer.h"
#include "QSoundPerform.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace fixtures;

namespace {

const quint32 k48k = 48000;
const quint64 kTen = 10 * kHour * k48k;   // 10:00:00 at 48 kHz

struct EngineRun
{
    bool failed = true;
    QString name;
    QString messages;   // joined by '|'
    QList<qint64> progress;
    QByteArray made;    // the new file
};

// The engine on track t (0-based) of take AA0001 in `folder`.
EngineRun runEngine(const QString& source, const QString& folder, int t, const QString& trackName = QStringLiteral("Boom"),
                    int channel = 0, const QString& fileId = QStringLiteral("AA0001"))
{
    EngineRun r;
    Relay relay;
    QSoundPerform take;
    take.ResetVariables();
    if (!take.InitFilesZZ(folder + QLatin1Char('/') + fileId, QStringLiteral("WAV"))) {
        // A take record with a format but no file: what a caller could hand over.
        take.m_nSampleRate = 48000;
        take.m_nBitsPerSample = 16;
        take.m_nNbChannels = 1;
    }
    QSoundMixer mixer;
    QSoundMixer::SourceOptions options;
    options.channel = channel;
    mixer.SetSourceOptions(options);
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

// A one-file take from `base` and a source of the same span named `srcName`,
// then the engine on track t.
EngineRun makeTrack(const QTemporaryDir& dir, const RecorderFileSpec& base, int t = 1,
                    const QString& srcName = QStringLiteral("s.wav"), const QString& trackName = QStringLiteral("Boom"))
{
    if (!RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 1, base))
        return EngineRun();
    RecorderFileSpec source = spec(base.sampleRate, base.bitsPerSample, base.frames, base.timeReference, 77);
    source.withIxml = source.withFilm = source.withVlta = source.withOnde = false;
    const QString src = dir.path() + QLatin1Char('/') + srcName;
    if (!writeFile(src, RecorderFileWriter::build(source)))
        return EngineRun();
    return runEngine(src, dir.path(), t, trackName);
}

QString chunkIds(const QByteArray& file)
{
    QStringList ids;
    for (const Chunk& c : walk(file))
        ids << QString::fromLatin1(c.id);
    return ids.join(QLatin1Char(','));
}

QByteArray take1(const QTemporaryDir& dir) { return readFile(dir.path() + QStringLiteral("/AA0001_01.WAV")); }

} // namespace

class TestMixer : public QObject
{
    Q_OBJECT

private slots:
    void segments_data();
    void segments();
    void headerLayout();
    void referenceInLaterSlot();
    void refusals_data();
    void refusals();
    void originatorReferenceAndUmid_data();
    void originatorReferenceAndUmid();
    void peaks_data();
    void peaks();
    void noFilmNoVlta();
    void filler();
    void fillerSourceNameTooLong();
    void longTrackNameIsCut();
    void rewriteBextDescriptor();
    void checkedByOtherTools();
};

// Take 10:00:00 + takeFrames; source placed `srcStart` frames from the take
// start (may be negative). The new track: zeros, the source's overlap, zeros,
// whatever the 15120-byte blocks (7560 frames at 16 bits, 5040 at 24) and
// the 1 MiB I/O runs.
void TestMixer::segments_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<quint32>("takeFrames");
    QTest::addColumn<qint64>("srcStart");
    QTest::addColumn<quint32>("srcFrames");
    // The recorder case: take 20 s, source from 10:00:02 to 10:01:00.
    QTest::newRow("missing start, 96000 zeros then 864000 samples") << 16 << 20 * k48k << qint64(2 * k48k) << 58 * k48k;
    QTest::newRow("entire take, exact span") << 24 << 3 * k48k << qint64(0) << 3 * k48k;
    QTest::newRow("entire take, source around it") << 16 << 3 * k48k << -qint64(k48k) << 6 * k48k;
    QTest::newRow("missing end: 60 s in, 10 s copied, 10 s silence") << 16 << 20 * k48k << -qint64(60 * k48k) << 70 * k48k;
    QTest::newRow("partial coverage") << 24 << 4 * k48k << qint64(k48k + 7) << 2 * k48k;
    QTest::newRow("missing start by one sample") << 16 << 2 * k48k << qint64(1) << 3 * k48k;
    QTest::newRow("missing end by one sample") << 24 << 2 * k48k << -qint64(5) << 2 * k48k;
    const quint32 b16 = 7560, b24 = 5040;
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

void TestMixer::segments()
{
    QFETCH(int, bits);
    QFETCH(quint32, takeFrames);
    QFETCH(qint64, srcStart);
    QFETCH(quint32, srcFrames);
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/T");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(RecorderFileWriter::writeMonoTake(folder, QStringLiteral("AA0001"), 2, spec(k48k, quint16(bits), takeFrames, kTen)));
    const QString src = dir.path() + QStringLiteral("/S01.WAV");
    QVERIFY(writeSource(src, k48k, quint16(bits), srcFrames, quint64(qint64(kTen) + srcStart)));

    const EngineRun r = runEngine(src, folder, 2);
    QVERIFY2(!r.failed, qPrintable(r.messages));
    QCOMPARE(r.name, QStringLiteral("AA0001_03.WAV"));
    QCOMPARE(r.messages, QString());

    const qint64 b = bits / 8, take = takeFrames;
    const qint64 before = qBound<qint64>(0, srcStart, take), copyEnd = qBound<qint64>(0, srcStart + srcFrames, take);
    const QByteArray expected = QByteArray(int(before * b), '\0')
                                + audio(77, quint32(qMax<qint64>(0, -srcStart)), quint32(copyEnd - before), quint16(bits))
                                + QByteArray(int((take - copyEnd) * b), '\0');
    QVERIFY(body(r.made, "data") == expected);
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

void TestMixer::headerLayout()
{
    QTemporaryDir dir;
    RecorderFileSpec base = spec(k48k, 24, 4800, kTen);
    base.umid = QByteArray(64, '\x11');
    const EngineRun r = makeTrack(dir, base, 4, QStringLiteral("Source Take %s.wav"));
    QVERIFY2(!r.failed, qPrintable(r.messages));
    const QByteArray ref = take1(dir), made = r.made;

    QCOMPARE(made.left(4), QByteArray("RIFF"));
    QCOMPARE(made.mid(8, 8), QByteArray("WAVEbext"));
    // bext at 12 with ChunkSize 858, fmt at 878 unchanged.
    QCOMPARE(u32At(made, 16), 858u);
    QCOMPARE(made.mid(878, 24), ref.mid(int(find(ref, "fmt ").offset), 24));
    // film follows fmt, with the source's name at record offset 812.
    const int filmAt = 878 + 8 + 16, refFilm = int(find(ref, "film").offset);
    QCOMPARE(made.mid(filmAt, 812), ref.mid(refFilm, 812));
    QCOMPARE(made.mid(filmAt + 812, 20), QByteArray("Source Take %s.wav\0\0", 20));
    QCOMPARE(made.mid(filmAt + 1068, 1580 - 1068), ref.mid(refFilm + 1068, 1580 - 1068));
    // vlta with a zero body, then the data header.
    const int vltaAt = filmAt + 1580;
    QCOMPARE(made.mid(vltaAt, 4), QByteArray("vlta"));
    QCOMPARE(u32At(made, vltaAt + 4), 64u);
    QCOMPARE(made.mid(vltaAt + 8, 64), QByteArray(64, '\0'));
    QCOMPARE(made.mid(vltaAt + 72, 4), QByteArray("data"));
    QCOMPARE(u32At(made, vltaAt + 76), 4800u * 3);

    // Description: the rewritten lines, then the type line added at the end.
    QVERIFY2(made.mid(20, 256).startsWith("aUBITS=$\r\naSCENE=12A      \r\naTAKE=3     \r\naTAPE=DAY1\r\naSPEED=025.000-ND\r\n"
                                          "aTAG=AA0001\r\naCHNL=C5  \r\naTRK5=Boom\r\naNOTE=good\r\naTYP=mono \r\n"),
             made.mid(20, 256).constData());
    QCOMPARE(int(made.at(20 + 348 + 31)), 4);   // UMID byte 31 is the track index

    // onde after data, then iXML; the new file has the reference's length.
    QCOMPARE(chunkIds(made), QStringLiteral("bext,fmt ,film,vlta,data,ond5,iXML"));
    QCOMPARE(find(made, "ond5").size, 404u);
    QCOMPARE(u32At(made, find(made, "ond5").offset + 8), 4800u);
    QCOMPARE(made.size(), ref.size());

    const QString ixml = QString::fromUtf8(body(made, "iXML")).trimmed();
    QCOMPARE(xmlValue(ixml, QStringLiteral("TRACK_LIST/TRACK/CHANNEL_INDEX")), QStringLiteral("5"));
    QCOMPARE(xmlValue(ixml, QStringLiteral("TRACK_LIST/TRACK/NAME")), QStringLiteral("Boom"));
    QCOMPARE(xmlValue(ixml, QStringLiteral("HISTORY/ORIGINAL_FILENAME")), QStringLiteral("AA0001_05.WAV"));
    QCOMPARE(xmlValue(ixml, QStringLiteral("NOTE")), QStringLiteral("good"));
    QCOMPARE(xmlValue(ixml, QStringLiteral("FILE_SET/FILE_SET_INDEX")), QStringLiteral("5"));
    QVERIFY(xmlValue(ixml, QStringLiteral("FILE_UID")).endsWith(QLatin1String("0005")));
    QCOMPARE(body(made, "iXML").size(), 61440);
    QCOMPARE(find(made, "iXML").offset, qint64(u32At(made, 4)) + 8 - 61448);
}

// Files for tracks 2 and 3 only: the header comes from the track-2 file.
void TestMixer::referenceInLaterSlot()
{
    QTemporaryDir dir;
    for (int n : {2, 3}) {
        RecorderFileSpec s = RecorderFileWriter::monoTrackSpec(spec(k48k, 16, 4800, kTen), 3, n);
        s.umid = QByteArray(64, char('0' + n));
        QVERIFY(RecorderFileWriter::write(dir.path() + QStringLiteral("/AA0001_0%1.WAV").arg(n), s));
    }
    const QString src = dir.path() + QStringLiteral("/s.wav");
    QVERIFY(writeSource(src, k48k, 16, 4800, kTen));
    const EngineRun r = runEngine(src, dir.path(), 0);
    QVERIFY2(!r.failed, qPrintable(r.messages));
    QCOMPARE(r.name, QStringLiteral("AA0001_01.WAV"));
    QByteArray umid(64, '2');   // its UMID, byte 31 set to the track index 0
    umid[31] = '\0';
    QCOMPARE(r.made.mid(20 + 348, 64), umid);
    QCOMPARE(r.made.size(), int(QFileInfo(dir.path() + QStringLiteral("/AA0001_02.WAV")).size()));
}

// Refusals the command line tests do not meet; each leaves the folder as it was.
void TestMixer::refusals_data()
{
    QTest::addColumn<QString>("caseName");
    QTest::addColumn<QString>("expected");   // %S = source path, %T = take folder, %D = the test folder
    QTest::newRow("44.1 kHz stereo: both messages")
        << QStringLiteral("rate+stereo")
        << QStringLiteral("%S [44100/16 bits] \nTarget [48000/16 bits]\nThe source is at 44100 Hz and the take at 48000 Hz: "
                          "the source must be resampled to 48000 Hz first.|%S \n Is not a monophonic file.\nIt has 2 channels: "
                          "choose one with --channel K (the channel choice beside the track in the window).");
    QTest::newRow("compressed source")
        << QStringLiteral("adpcm")
        << QStringLiteral("%S\nCompressed or unknown audio format (format tag 0x0002): only PCM and IEEE float sources can be used.");
    QTest::newRow("source without bext")
        << QStringLiteral("nobext")
        << QStringLiteral("%S\nThis source has no bext chunk, so no time reference: it cannot be placed in the take "
                          "(it would land at midnight).");
    QTest::newRow("missing source") << QStringLiteral("missing")
                                    << QStringLiteral("Unable to open\n%D/\nnope.wav\nfor reading !|%S\nError returned by clSoundFile.Open().");
    QTest::newRow("no overlap: source ends at the take start") << QStringLiteral("before") << QStringLiteral("Unable to in point Tc sample!");
    QTest::newRow("no overlap: source starts at the take end") << QStringLiteral("after") << QStringLiteral("Unable to in point Tc sample!");
    QTest::newRow("empty take") << QStringLiteral("notake") << QStringLiteral("AA0009 \nNo valid index detected.");
    QTest::newRow("source shorter than its data chunk")
        << QStringLiteral("truncated") << QStringLiteral("%S\nThe source file holds fewer audio bytes than its data chunk declares.");
}

void TestMixer::refusals()
{
    QFETCH(QString, caseName);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/take");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(RecorderFileWriter::writeMonoTake(folder, QStringLiteral("AA0001"), 2, spec(k48k, 16, 4800, kTen)));
    const quint64 start = caseName == QLatin1String("before") ? kTen - 4800 : caseName == QLatin1String("after") ? kTen + 4800 : kTen;
    RecorderFileSpec source = spec(caseName.contains(QLatin1String("rate")) ? 44100 : k48k, 16, 4800, start, 77);
    source.channels = caseName.contains(QLatin1String("stereo")) ? 2 : 1;
    source.withIxml = source.withFilm = source.withVlta = source.withOnde = false;
    source.withBext = caseName != QLatin1String("nobext");
    if (caseName == QLatin1String("adpcm"))
        source.formatTag = 2;
    QString src = dir.path() + QStringLiteral("/src.wav");
    QVERIFY(RecorderFileWriter::write(src, source));
    if (caseName == QLatin1String("truncated")) {
        QFile f(src);
        QVERIFY(f.resize(f.size() - 1000));
    }
    if (caseName == QLatin1String("missing"))
        src = dir.path() + QStringLiteral("/nope.wav");

    const QMap<QString, QByteArray> before = sha1Folder(folder);
    const EngineRun r = runEngine(src, folder, 2, QStringLiteral("Boom"), caseName == QLatin1String("channel2") ? 2 : 0,
                                  caseName == QLatin1String("notake") ? QStringLiteral("AA0009") : QStringLiteral("AA0001"));
    QVERIFY(r.failed);
    QCOMPARE(r.messages, expected.replace(QLatin1String("%S"), src).replace(QLatin1String("%T"), folder).replace(QLatin1String("%D"), dir.path()));
    QCOMPARE(sha1Folder(folder), before);
}

void TestMixer::originatorReferenceAndUmid_data()
{
    QTest::addColumn<QByteArray>("reference");
    QTest::addColumn<int>("t");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("VEL, track index 2") << QByteArray("VELPAV0000000000000000000000000A") << 2
                                        << QByteArray("VELPAV00000000000000000000000003");
    QTest::newRow("VEL, track index 0") << QByteArray("VELPAV0000000000000000000000000A") << 0
                                        << QByteArray("VELPAV00000000000000000000000001");
    QTest::newRow("other maker kept") << QByteArray("XYZ00000000000000000000000000000") << 2
                                      << QByteArray("XYZ00000000000000000000000000000");
}

void TestMixer::originatorReferenceAndUmid()
{
    QFETCH(QByteArray, reference);
    QFETCH(int, t);
    QTemporaryDir dir;
    RecorderFileSpec base = spec(k48k, 16, 4800, kTen);
    base.originatorReference = reference;
    base.umid = QByteArray(64, '\x7f');
    QVERIFY(RecorderFileWriter::write(dir.path() + QStringLiteral("/AA0001_05.WAV"), RecorderFileWriter::monoTrackSpec(base, 5, 5)));
    const QString src = dir.path() + QStringLiteral("/s.wav");
    QVERIFY(writeSource(src, k48k, 16, 4800, kTen));
    const EngineRun r = runEngine(src, dir.path(), t);
    QVERIFY2(!r.failed, qPrintable(r.messages));
    QTEST(r.made.mid(20 + 288, 32), "expected");
    QCOMPARE(r.made.mid(20 + 348, 32), QByteArray(31, '\x7f') + char(t));
}

void TestMixer::peaks_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<qint32>("loudest");
    QTest::addColumn<int>("point");
    QTest::newRow("16-bit -32768 gives 255") << 16 << -32768 << 255;
    QTest::newRow("16-bit 32767 gives 255") << 16 << 32767 << 255;
    QTest::newRow("16-bit -1000 gives 7") << 16 << -1000 << 7;
    QTest::newRow("16-bit 127 gives 0") << 16 << 127 << 0;
    QTest::newRow("24-bit -8388608 gives 255") << 24 << -8388608 << 255;
    QTest::newRow("24-bit 1000000 gives 30") << 24 << 1000000 << 30;
}

void TestMixer::peaks()
{
    QFETCH(int, bits);
    QFETCH(qint32, loudest);
    QTemporaryDir dir;
    // 1000 Hz: 100 samples per point; 350 samples give 3 points and a rest.
    QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 1, spec(1000, quint16(bits), 350, 36000000)));
    RecorderFileSpec s = spec(1000, quint16(bits), 350, 36000000);
    s.withIxml = s.withFilm = s.withVlta = s.withOnde = false;
    QByteArray bytes = RecorderFileWriter::build(s);
    const Chunk data = find(bytes, "data");
    const int b = bits / 8;
    // Silence, then the loudest sample in the second period only, then small values.
    for (int i = 0; i < 350; ++i) {
        const qint32 v = i == 150 ? loudest : (i >= 200 ? 1 : 0);
        for (int k = 0; k < b; ++k)
            bytes[int(data.offset + 8 + i * b + k)] = char((quint32(v) >> (8 * k)) & 0xFF);
    }
    const QString src = dir.path() + QStringLiteral("/s.wav");
    QVERIFY(writeFile(src, bytes));
    const EngineRun r = runEngine(src, dir.path(), 1);
    QVERIFY2(!r.failed, qPrintable(r.messages));
    QCOMPARE(QString::fromLatin1(find(r.made, "ond").id), QStringLiteral("ond2"));
    const QByteArray onde = body(r.made, "ond");
    QCOMPARE(onde.size(), 404);
    QCOMPARE(u32At(onde, 0), 100u);   // samples per point
    // Silence, the loudest, small values, and no point for the incomplete last period.
    QFETCH(int, point);
    QCOMPARE(onde.mid(8, 4), QByteArray("\0", 1) + char(point) + QByteArray(2, '\0'));
}

void TestMixer::noFilmNoVlta()
{
    QTemporaryDir dir;
    RecorderFileSpec base = spec(k48k, 16, 4800, kTen);
    base.withFilm = base.withVlta = false;
    const EngineRun r = makeTrack(dir, base);
    QVERIFY2(!r.failed, qPrintable(r.messages));
    QCOMPARE(chunkIds(r.made), QStringLiteral("bext,fmt ,data,ond2,iXML"));
    QCOMPARE(find(r.made, "data").offset, qint64(12 + 866 + 24));
    QCOMPARE(qint64(u32At(r.made, 4)) + 8, qint64(r.made.size()));
    QCOMPARE(r.made.size(), take1(dir).size());
}

// The reference's extra chunks make it longer: a "sonl" filler carrying the
// source's name ends the new file at the reference's length.
void TestMixer::filler()
{
    QTemporaryDir dir;
    RecorderFileSpec base = spec(k48k, 16, 4800, kTen);
    base.extraAfter << ExtraChunk{"LIST", QByteArray(1000, 'x'), false, 0};
    const EngineRun r = makeTrack(dir, base, 1, QStringLiteral("Mic 1.wav"));
    QVERIFY2(!r.failed, qPrintable(r.messages));
    QCOMPARE(r.made.size(), take1(dir).size());
    QCOMPARE(u32At(r.made, 4), u32At(take1(dir), 4));
    const Chunk sonl = find(r.made, "sonl");
    QCOMPARE(sonl.offset + 8 + sonl.size, qint64(r.made.size()));
    QCOMPARE(body(r.made, "sonl"), QByteArray("Mic 1.wav") + QByteArray(991, '\0'));
}

void TestMixer::fillerSourceNameTooLong()
{
    QTemporaryDir dir;
    RecorderFileSpec base = spec(k48k, 16, 480, kTen);
    base.extraAfter << ExtraChunk{"LIST", QByteArray(300, 'x'), false, 0};
    // 255 characters: the filler is all zero bytes.
    const QString name = QString(251, QLatin1Char('n')) + QStringLiteral(".wav");
    if (!writeFile(dir.path() + QLatin1Char('/') + name, "x"))
        QSKIP("the file system refuses 255-character names");
    const EngineRun r = makeTrack(dir, base, 1, name);
    QVERIFY2(!r.failed, qPrintable(r.messages));
    QCOMPARE(body(r.made, "sonl"), QByteArray(300, '\0'));
    // The film chunk keeps at most 255 characters and its NUL.
    QCOMPARE(r.made.mid(int(find(r.made, "film").offset) + 812, 256), name.toLatin1() + QByteArray(1, '\0'));
}

void TestMixer::longTrackNameIsCut()
{
    QTemporaryDir dir;
    const QString name = QString(60, QLatin1Char('a')) + QString(60, QChar(0x00e9));   // 60 + 120 bytes in UTF-8
    const EngineRun r = makeTrack(dir, spec(k48k, 16, 480, kTen), 11, QStringLiteral("s.wav"), name);
    QVERIFY2(!r.failed, qPrintable(r.messages));
    // The iXML keeps the whole name; the Description gets what fits.
    QCOMPARE(xmlValue(QString::fromUtf8(body(r.made, "iXML")).trimmed(), QStringLiteral("TRACK_LIST/TRACK/NAME")), name);
    const QByteArray desc = r.made.mid(20, 256);
    const int trk = desc.indexOf("aTRK12=");
    QVERIFY(trk > 0);
    const QByteArray stored = desc.mid(trk + 7, desc.indexOf("\r\n", trk) - trk - 7);
    // 130 bytes of other lines with this take; the rewrite keeps 253 bytes so
    // that the type line written after it still fits: 123 bytes of name, cut
    // back to 122 at a character boundary.
    QCOMPARE(stored, name.toUtf8().left(122));
    QVERIFY(desc.contains("\r\naNOTE=good\r\naTYP=mono \r\n"));
    QVERIFY(desc.indexOf('\0') > 0 && desc.indexOf('\0') <= 255);
}

void TestMixer::rewriteBextDescriptor()
{
    char d[256];
    auto fill = [&](const QByteArray& text) {
        std::memset(d, 0, 256);
        std::memcpy(d, text.constData(), size_t(qMin(256, text.size())));
    };
    auto text = [&]() { return QByteArray(d, int(qstrnlen(d, 256))); };

    // Keys found anywhere, through their "a" prefixes; widths cut the values.
    fill("aSCENE=12A_LONGSCENE\r\naTAKE=1234567890\r\naUBITS=$11223344\r\naTAPE=DAY1\r\n"
         "aSPEED=025.000-ND\r\naTAG=ZZ9999\r\naNOTE=nice one\r\n");
    QSoundMixer::RewriteBextDescriptor(d, nullptr, nullptr, nullptr, nullptr, "AA0001", nullptr, 2, "Boom");
    QCOMPARE(text(), QByteArray("aUBITS=$11223344\r\naSCENE=12A_LONG \r\naTAKE=123456\r\naTAPE=DAY1\r\naSPEED=025.000-ND\r\n"
                                "aTAG=AA0001\r\naTYP=mono\r\naCHNL=C3  \r\naTRK3=Boom\r\naNOTE=nice one\r\n"));

    // Given texts replace; frame-rate codes give the speed when none is stored.
    fill("aSCENE=1\r\n");
    QSoundMixer::RewriteBextDescriptor(d, "SC", "T9", "my note", "TAPE99", "AB1", "24.DRIF2", 0, "");
    QCOMPARE(text(), QByteArray("aUBITS=$\r\naSCENE=SC       \r\naTAKE=T9    \r\naTAPE=TAPE\r\naSPEED=023.980-ND\r\n"
                                "aTAG=   AB1\r\naTYP=mono\r\naCHNL=C1  \r\naTRK1=\r\naNOTE=my note\r\n"));
    fill(QByteArray());
    QSoundMixer::RewriteBextDescriptor(d, nullptr, nullptr, nullptr, nullptr, nullptr, "29.97", 23, "x");
    QVERIFY(text().contains("aSPEED=029.970-DF\r\n"));
    QVERIFY(text().contains("aCHNL=C24 \r\naTRK24=x\r\n"));
    fill(QByteArray());
    QSoundMixer::RewriteBextDescriptor(d, nullptr, nullptr, nullptr, nullptr, nullptr, "30.DRIFT", 0, "x");
    QVERIFY(text().contains("aSPEED=029.970-ND\r\n"));
    fill(QByteArray());
    QSoundMixer::RewriteBextDescriptor(d, nullptr, nullptr, nullptr, nullptr, nullptr, "25.00", 0, "x");
    QVERIFY(text().contains("aSPEED=025.000-ND\r\n"));
    // An empty note still prints one blank (the "%1.49s" minimum width).
    QVERIFY(text().endsWith("aNOTE= \r\n"));

    // A name too long is cut so the text and its NUL fit; byte 256 is kept.
    fill(QByteArray(256, 'Q'));
    QSoundMixer::RewriteBextDescriptor(d, nullptr, nullptr, nullptr, nullptr, "AA0001", nullptr, 9,
                                       QByteArray(300, 'N').constData());
    QCOMPARE(int(qstrnlen(d, 256)), 253);
    QVERIFY(text().endsWith(QByteArray("NNN\r\naNOTE= \r\n")));
    QCOMPARE(d[254], '\0');
    QCOMPARE(d[255], 'Q');
}

// sox decodes exactly the expected samples; ffprobe sees the take's time reference.
void TestMixer::checkedByOtherTools()
{
    if (!testsupport::haveTool(QStringLiteral("sox")) || !testsupport::haveTool(QStringLiteral("ffprobe")))
        QSKIP("sox or ffprobe missing");
    QTemporaryDir dir;
    QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 1, spec(k48k, 24, 3 * k48k, kTen + 12345)));
    const QString src = dir.path() + QStringLiteral("/s.wav");
    QVERIFY(writeSource(src, k48k, 24, 2 * k48k, kTen + 12345 + k48k / 2));
    const EngineRun r = runEngine(src, dir.path(), 1);
    QVERIFY2(!r.failed, qPrintable(r.messages));
    const QString made = dir.path() + QStringLiteral("/AA0001_02.WAV");
    const auto sox = testsupport::run(QStringLiteral("sox"), QStringLiteral("%1 -t raw -e signed-integer -b 24 -L -").arg(made).split(QLatin1Char(' ')));
    QCOMPARE(sox.exitCode, 0);
    const QByteArray half(int(k48k / 2) * 3, '\0');
    QVERIFY(sox.out == half + audio(77, 0, 2 * k48k, 24) + half);

    const auto probe = testsupport::run(QStringLiteral("ffprobe"),
                                        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                                         QStringLiteral("format_tags=time_reference:stream=sample_rate,channels,duration_ts"),
                                         QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"), made});
    QCOMPARE(probe.exitCode, 0);
    QCOMPARE(QString::fromUtf8(probe.out), QStringLiteral("sample_rate=48000\nchannels=1\nduration_ts=%1\nTAG:time_reference=%2\n")
                                               .arg(3 * k48k).arg(kTen + 12345));
}

QTEST_MAIN(TestMixer)
#include "tst_mixer.moc"
