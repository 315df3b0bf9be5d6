// SPDX-License-Identifier: GPL-3.0-or-later
// The mono track engine: sample-exact segments, header, peaks, filler, and the
// checks that keep it from writing anything.

#include "InsertionFixtures.h"
#include "TestSupport.h"

#include "QSoundFile.h"
#include "QSoundMixer.h"
#include "QSoundPerform.h"

#include <QDomDocument>
#include <QTemporaryDir>
#include <QtTest>

using namespace fixtures;

namespace {

const quint32 k48k = 48000;
const quint64 kTen = 10 * kHour * k48k;   // 10:00:00 at 48 kHz

struct EngineRun
{
    bool failed = true;
    bool assembled = false;
    QString name;
    QStringList messages;
    QList<qint64> progress;
};

EngineRun runEngine(const QString& source, const QString& folder, const QString& fileId, int t,
                    const QString& trackName = QStringLiteral("Boom"), bool* keepGoing = nullptr,
                    std::function<void(qint64)> onProgress = nullptr,
                    std::function<void(QSoundPerform&)> tweak = nullptr, int channel = 0)
{
    EngineRun r;
    Relay relay;
    QSoundPerform take;
    take.ResetVariables();
    r.assembled = take.InitFilesZZ(folder + QLatin1Char('/') + fileId, QStringLiteral("WAV"));
    if (tweak)
        tweak(take);
    QSoundMixer mixer;
    QSoundMixer::SourceOptions options;
    options.channel = channel;
    mixer.SetSourceOptions(options);
    QObject::connect(&mixer, &QSoundMixer::signal_ProgressSize, [&](qint64 p) {
        r.progress << p;
        if (onProgress)
            onProgress(p);
    });
    QSignalSpy done(&mixer, &QSoundMixer::signal_ImportSourceProgressPct);
    r.failed = mixer.SonalignMono(source, folder, fileId, t, trackName, &take, keepGoing, &r.name);
    if (done.count() != 1 || done.at(0).at(0).toInt() != 100)
        r.messages << QStringLiteral("signal_ImportSourceProgressPct not emitted once with 100");
    r.messages << relay.texts();
    return r;
}

QString ixmlOf(const QByteArray& file) { return QString::fromUtf8(body(file, "iXML")).trimmed(); }

QString xmlText(const QString& doc, const QString& path)
{
    QDomDocument d;
    if (!d.setContent(doc))
        return QStringLiteral("<unparsable>");
    QDomElement e = d.documentElement();
    for (const QString& part : path.split(QLatin1Char('/'))) {
        e = e.firstChildElement(part);
        if (e.isNull())
            return QStringLiteral("<missing>");
    }
    return e.text();
}

QStringList hiddenOrPartial(const QString& folder)
{
    return QDir(folder).entryList(QStringList{QStringLiteral("*.partial")}, QDir::Files | QDir::Hidden);
}

} // namespace

class TestMixer : public QObject
{
    Q_OBJECT

private slots:
    void segments_data();
    void segments();
    void blockBoundaries_data();
    void blockBoundaries();
    void headerLayout();
    void referenceInLaterSlot();
    void refusals_data();
    void refusals();
    void emptyTrackName();
    void originatorReferenceAndUmid_data();
    void originatorReferenceAndUmid();
    void peaks_data();
    void peaks();
    void overviewBound();
    void noFilmNoVlta();
    void filler();
    void fillerSourceNameTooLong();
    void longTrackNameIsCut();
    void rewriteBextDescriptor();
    void checkedByOtherTools();
};

// Take 10:00:00 .. 10:00:00 + takeSeconds; source given by its start offset
// from 10:00:00 (seconds, may be negative) and length. Expected: zeros, source
// frames from `srcFirst`, zeros.
void TestMixer::segments_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<quint32>("takeFrames");
    QTest::addColumn<qint64>("srcStart");      // frames relative to the take start
    QTest::addColumn<quint32>("srcFrames");
    QTest::addColumn<quint32>("zerosBefore");
    QTest::addColumn<quint32>("srcFirst");
    QTest::addColumn<quint32>("copied");
    QTest::addColumn<quint32>("zerosAfter");

    // The recorder case: take 20 s, source from 10:00:02 to 10:01:00.
    QTest::newRow("missing start, 96000 zeros then 864000 samples")
        << 16 << 20 * k48k << qint64(2 * k48k) << 58 * k48k << 96000u << 0u << 864000u << 0u;
    QTest::newRow("entire take, exact span") << 24 << 3 * k48k << qint64(0) << 3 * k48k << 0u << 0u << 3 * k48k << 0u;
    QTest::newRow("entire take, source around it")
        << 16 << 3 * k48k << -qint64(k48k) << 6 * k48k << 0u << k48k << 3 * k48k << 0u;
    // 09:59:00 .. 10:00:10 against a 20 s take, scaled to 6 s / 1 s steps.
    QTest::newRow("missing end: 60 s in, 10 s copied, 10 s silence")
        << 16 << 20 * k48k << -qint64(60 * k48k) << 70 * k48k << 0u << 60 * k48k << 10 * k48k << 10 * k48k;
    QTest::newRow("partial coverage")
        << 24 << 4 * k48k << qint64(k48k + 7) << 2 * k48k << k48k + 7 << 0u << 2 * k48k << k48k - 7;
    QTest::newRow("missing start by one sample")
        << 16 << 2 * k48k << qint64(1) << 3 * k48k << 1u << 0u << 2 * k48k - 1 << 0u;
    QTest::newRow("missing end by one sample")
        << 24 << 2 * k48k << -qint64(5) << 2 * k48k << 0u << 5u << 2 * k48k - 5 << 5u;
}

void TestMixer::segments()
{
    QFETCH(int, bits);
    QFETCH(quint32, takeFrames);
    QFETCH(qint64, srcStart);
    QFETCH(quint32, srcFrames);
    QFETCH(quint32, zerosBefore);
    QFETCH(quint32, srcFirst);
    QFETCH(quint32, copied);
    QFETCH(quint32, zerosAfter);

    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/T");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(RecorderFileWriter::writeMonoTake(folder, QStringLiteral("AA0001"), 2,
                                              spec(k48k, quint16(bits), takeFrames, kTen)));
    const QString src = dir.path() + QStringLiteral("/S01.WAV");
    QVERIFY(writeSource(src, k48k, quint16(bits), srcFrames, quint64(qint64(kTen) + srcStart)));

    const EngineRun r = runEngine(src, folder, QStringLiteral("AA0001"), 2);
    QVERIFY2(!r.failed, qPrintable(r.messages.join(QLatin1Char('|'))));
    QCOMPARE(r.name, QStringLiteral("AA0001_03.WAV"));
    QVERIFY(r.messages.isEmpty());

    const QByteArray ref = readFile(folder + QStringLiteral("/AA0001_01.WAV"));
    const QByteArray made = readFile(folder + QStringLiteral("/AA0001_03.WAV"));
    const int b = bits / 8;
    const QByteArray expected = QByteArray(int(zerosBefore) * b, '\0') + audio(77, srcFirst, copied, quint16(bits))
                                + QByteArray(int(zerosAfter) * b, '\0');
    const QByteArray data = body(made, "data");
    QCOMPARE(data.size(), int(takeFrames) * b);
    QCOMPARE(data.size(), body(ref, "data").size());
    QVERIFY(data == expected);
    QCOMPARE(made.size(), ref.size());
    QCOMPARE(u32At(made, 4), u32At(ref, 4));
    QVERIFY(hiddenOrPartial(folder).isEmpty());
    QCOMPARE(r.progress.last(), qint64(100));
}

// Take lengths around the 15120-byte block (7560 frames at 16 bits, 5040 at
// 24 bits) and sources cut at odd places: the output must not depend on them.
void TestMixer::blockBoundaries_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<quint32>("takeFrames");
    QTest::addColumn<qint64>("srcStart");
    QTest::addColumn<quint32>("srcFrames");

    const quint32 b16 = 7560, b24 = 5040;
    QTest::newRow("16-bit, one block exactly") << 16 << b16 << qint64(0) << b16;
    QTest::newRow("16-bit, block - 1, partial") << 16 << b16 - 1 << qint64(3) << b16 - 10;
    QTest::newRow("16-bit, block + 1, missing start") << 16 << b16 + 1 << qint64(b16) << 5 * b16;
    QTest::newRow("16-bit, 3 blocks + 1, missing end") << 16 << 3 * b16 + 1 << -qint64(b16 + 1) << 3 * b16 + 2;
    QTest::newRow("24-bit, one block exactly") << 24 << b24 << qint64(0) << b24;
    QTest::newRow("24-bit, 2 blocks - 1, partial") << 24 << 2 * b24 - 1 << qint64(b24 - 1) << b24 / 2;
    QTest::newRow("24-bit, beyond one I/O run (69 blocks)") << 24 << 75 * b24 + 13 << qint64(71 * b24 + 5) << 100 * b24;
    QTest::newRow("16-bit, one frame take") << 16 << 1u << qint64(0) << 1u;
    QTest::newRow("24-bit, source of one frame inside") << 24 << 100u << qint64(50) << 1u;
}

void TestMixer::blockBoundaries()
{
    QFETCH(int, bits);
    QFETCH(quint32, takeFrames);
    QFETCH(qint64, srcStart);
    QFETCH(quint32, srcFrames);

    QTemporaryDir dir;
    QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AB0002"), 1,
                                              spec(k48k, quint16(bits), takeFrames, kTen)));
    const QString src = dir.path() + QStringLiteral("/src.wav");
    QVERIFY(writeSource(src, k48k, quint16(bits), srcFrames, quint64(qint64(kTen) + srcStart)));

    const EngineRun r = runEngine(src, dir.path(), QStringLiteral("AB0002"), 1);
    QVERIFY2(!r.failed, qPrintable(r.messages.join(QLatin1Char('|'))));

    // The expected data computed independently from the spans.
    const qint64 tIn = 0, tOut = takeFrames, sIn = srcStart, sOut = srcStart + srcFrames;
    const int b = bits / 8;
    QByteArray expected;
    for (qint64 f = tIn; f < tOut; ++f) {
        if (f >= sIn && f < sOut)
            expected += audio(77, quint32(f - sIn), 1, quint16(bits));
        else
            expected += QByteArray(b, '\0');
    }
    const QByteArray made = readFile(dir.path() + QStringLiteral("/AB0002_02.WAV"));
    QVERIFY(body(made, "data") == expected);
    QCOMPARE(made.size(), int(QFileInfo(dir.path() + QStringLiteral("/AB0002_01.WAV")).size()));
    // One progress report per logical block of each phase (silence, copy, silence).
    const qint64 k = 15120 / b;
    const qint64 before = qBound<qint64>(0, sIn - tIn, tOut - tIn);
    const qint64 copyEnd = qBound<qint64>(0, sOut - tIn, tOut - tIn);
    auto blocks = [k](qint64 frames) { return (frames + k - 1) / k; };
    QCOMPARE(qint64(r.progress.size()), blocks(before) + blocks(copyEnd - before) + blocks(tOut - tIn - copyEnd));
    QCOMPARE(r.progress.last(), qint64(100));
    for (int i = 1; i < r.progress.size(); ++i)
        QVERIFY(r.progress.at(i) >= r.progress.at(i - 1));
}

void TestMixer::headerLayout()
{
    QTemporaryDir dir;
    RecorderFileSpec base = spec(k48k, 24, 4800, kTen);
    base.umid = QByteArray(64, '\x11');
    QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 1, base));
    const QString src = dir.path() + QStringLiteral("/Source Take %s.wav");
    QVERIFY(writeSource(src, k48k, 24, 9600, kTen));

    const EngineRun r = runEngine(src, dir.path(), QStringLiteral("AA0001"), 4, QStringLiteral("Boom"));
    QVERIFY2(!r.failed, qPrintable(r.messages.join(QLatin1Char('|'))));
    const QByteArray ref = readFile(dir.path() + QStringLiteral("/AA0001_01.WAV"));
    const QByteArray made = readFile(dir.path() + QStringLiteral("/AA0001_05.WAV"));

    QCOMPARE(made.left(4), QByteArray("RIFF"));
    QCOMPARE(made.mid(8, 4), QByteArray("WAVE"));
    // bext at 12 with ChunkSize 858, fmt at 878 unchanged.
    QCOMPARE(made.mid(12, 4), QByteArray("bext"));
    QCOMPARE(u32At(made, 16), 858u);
    const Chunk refFmt = find(ref, "fmt ");
    QCOMPARE(made.mid(878, 24), ref.mid(int(refFmt.offset), 24));
    // film follows fmt, with the source's name at record offset 812.
    const qint64 filmAt = 878 + 8 + 16;
    QCOMPARE(made.mid(int(filmAt), 4), QByteArray("film"));
    const Chunk refFilm = find(ref, "film");
    QCOMPARE(made.mid(int(filmAt), 812), ref.mid(int(refFilm.offset), 812));
    QCOMPARE(made.mid(int(filmAt) + 812, 20), QByteArray("Source Take %s.wav\0\0", 20));
    QCOMPARE(made.mid(int(filmAt) + 1068, 1580 - 1068), ref.mid(int(refFilm.offset) + 1068, 1580 - 1068));
    // vlta with a zero body, then the data header.
    const qint64 vltaAt = filmAt + 1580;
    QCOMPARE(made.mid(int(vltaAt), 4), QByteArray("vlta"));
    QCOMPARE(u32At(made, vltaAt + 4), 64u);
    QCOMPARE(made.mid(int(vltaAt) + 8, 64), QByteArray(64, '\0'));
    QCOMPARE(made.mid(int(vltaAt) + 72, 4), QByteArray("data"));
    QCOMPARE(u32At(made, vltaAt + 76), 4800u * 3);

    // Description: the rewritten lines, then the type line added at the end.
    const QByteArray desc = made.mid(20, 256);
    QVERIFY2(desc.startsWith("aUBITS=$\r\naSCENE=12A      \r\naTAKE=3     \r\naTAPE=DAY1\r\naSPEED=025.000-ND\r\n"
                             "aTAG=AA0001\r\naCHNL=C5  \r\naTRK5=Boom\r\naNOTE=good\r\naTYP=mono \r\n"),
             desc.constData());
    // UMID byte 31 is the track index.
    QCOMPARE(int(made.at(20 + 348 + 31)), 4);

    // onde after data, then iXML; the new file has the reference's length.
    const QList<Chunk> chunks = walk(made);
    QStringList ids;
    for (const Chunk& c : chunks)
        ids << QString::fromLatin1(c.id);
    QCOMPARE(ids.join(QLatin1Char(',')), QStringLiteral("bext,fmt ,film,vlta,data,ond5,iXML"));
    QCOMPARE(find(made, "ond5").size, 404u);
    QCOMPARE(u32At(made, find(made, "ond5").offset + 8), 4800u);
    QCOMPARE(made.size(), ref.size());

    const QString ixml = ixmlOf(made);
    QCOMPARE(xmlText(ixml, QStringLiteral("TRACK_LIST/TRACK/CHANNEL_INDEX")), QStringLiteral("5"));
    QCOMPARE(xmlText(ixml, QStringLiteral("TRACK_LIST/TRACK/NAME")), QStringLiteral("Boom"));
    QCOMPARE(xmlText(ixml, QStringLiteral("HISTORY/ORIGINAL_FILENAME")), QStringLiteral("AA0001_05.WAV"));
    QCOMPARE(xmlText(ixml, QStringLiteral("NOTE")), QStringLiteral("good"));
    QCOMPARE(xmlText(ixml, QStringLiteral("FILE_SET/FILE_SET_INDEX")), QStringLiteral("5"));
    QVERIFY(xmlText(ixml, QStringLiteral("FILE_UID")).endsWith(QLatin1String("0005")));
    QCOMPARE(body(made, "iXML").size(), 61440);
    QCOMPARE(find(made, "iXML").offset, qint64(u32At(made, 4)) + 8 - 61448);
}

void TestMixer::referenceInLaterSlot()
{
    QTemporaryDir dir;
    RecorderFileSpec base = spec(k48k, 16, 4800, kTen);
    // Files for tracks 2 and 3 only.
    for (int n : {2, 3}) {
        RecorderFileSpec s = RecorderFileWriter::monoTrackSpec(base, 3, n);
        s.umid = QByteArray(64, char('0' + n));
        QVERIFY(RecorderFileWriter::write(dir.path() + QStringLiteral("/AA0001_0%1.WAV").arg(n), s));
    }
    const QString src = dir.path() + QStringLiteral("/s.wav");
    QVERIFY(writeSource(src, k48k, 16, 4800, kTen));
    const EngineRun r = runEngine(src, dir.path(), QStringLiteral("AA0001"), 0);
    QVERIFY2(!r.failed, qPrintable(r.messages.join(QLatin1Char('|'))));
    QCOMPARE(r.name, QStringLiteral("AA0001_01.WAV"));
    const QByteArray made = readFile(dir.path() + QStringLiteral("/AA0001_01.WAV"));
    // The bext comes from the track-2 file: its UMID, byte 31 set to 0.
    QByteArray umid(64, '2');
    umid[31] = '\0';
    QCOMPARE(made.mid(20 + 348, 64), umid);
    QCOMPARE(made.size(), int(QFileInfo(dir.path() + QStringLiteral("/AA0001_02.WAV")).size()));
}

void TestMixer::refusals_data()
{
    QTest::addColumn<QString>("caseName");
    QTest::addColumn<QString>("expected");   // %S = source path, %T = take folder
    QTest::newRow("occupied track")
        << QStringLiteral("occupied") << QStringLiteral("AA0001 \nTargeted track #2 is not empty. Process aborted.");
    const QString resample = QStringLiteral("%S [44100/16 bits] \nTarget [48000/16 bits]\nThe source is at 44100 Hz "
                                            "and the take at 48000 Hz: the source must be resampled to 48000 Hz first.");
    const QString notMono = QStringLiteral("%S \n Is not a monophonic file.\nIt has 2 channels: choose one with "
                                           "--channel K (the channel choice beside the track in the window).");
    QTest::newRow("44.1 kHz source") << QStringLiteral("rate") << resample;
    QTest::newRow("compressed source")
        << QStringLiteral("adpcm")
        << QStringLiteral("%S\nCompressed or unknown audio format (format tag 0x0002): only PCM and IEEE float sources can be used.");
    QTest::newRow("stereo source") << QStringLiteral("stereo") << notMono;
    QTest::newRow("44.1 kHz stereo: both messages") << QStringLiteral("rate+stereo") << resample + QLatin1Char('|') + notMono;
    QTest::newRow("channel 3 of a stereo source")
        << QStringLiteral("stereo+channel3") << QStringLiteral("%S\nThere is no channel 3: this source has 2 channels.");
    QTest::newRow("source without bext")
        << QStringLiteral("nobext")
        << QStringLiteral("%S\nThis source has no bext chunk, so no time reference: it cannot be placed in the take "
                          "(it would land at midnight).");
    QTest::newRow("missing source") << QStringLiteral("missing")
                                    << QStringLiteral("Unable to open\n%D/\nnope.wav\nfor reading !|%S\nError returned by clSoundFile.Open().");
    QTest::newRow("no overlap: source ends at the take start")
        << QStringLiteral("before") << QStringLiteral("Unable to in point Tc sample!");
    QTest::newRow("no overlap: source starts at the take end")
        << QStringLiteral("after") << QStringLiteral("Unable to in point Tc sample!");
    QTest::newRow("empty take") << QStringLiteral("notake") << QStringLiteral("AA0009 \nNo valid index detected.");
    QTest::newRow("take data not whole frames")
        << QStringLiteral("oddData")
        << QStringLiteral("%T/AA0001_01.WAV\nThe take's data size (9601 bytes) is not a whole number of 2-byte samples.");
    QTest::newRow("source shorter than its data chunk")
        << QStringLiteral("truncated")
        << QStringLiteral("%S\nThe source file holds fewer audio bytes than its data chunk declares.");
}

void TestMixer::refusals()
{
    QFETCH(QString, caseName);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/take");
    QVERIFY(QDir().mkpath(folder));
    RecorderFileSpec base = spec(k48k, 16, 4800, kTen);
    if (caseName == QLatin1String("oddData")) {
        base.frames = 4800;
        base.extraAfter.clear();
    }
    QVERIFY(RecorderFileWriter::writeMonoTake(folder, QStringLiteral("AA0001"), 2, base));
    if (caseName == QLatin1String("oddData")) {
        // Both files: an odd data size (one extra byte) keeps the take coherent.
        for (int n : {1, 2}) {
            const QString p = folder + QStringLiteral("/AA0001_0%1.WAV").arg(n);
            RecorderFileSpec s = RecorderFileWriter::monoTrackSpec(base, 2, n);
            QByteArray bytes = RecorderFileWriter::build(s);
            const Chunk data = find(bytes, "data");
            bytes.insert(int(data.offset + 8 + data.size), '\x01');
            qToLittleEndian<quint32>(data.size + 1, reinterpret_cast<uchar*>(bytes.data() + data.offset + 4));
            qToLittleEndian<quint32>(quint32(bytes.size() - 8), reinterpret_cast<uchar*>(bytes.data() + 4));
            QVERIFY(writeFile(p, bytes));
        }
    }
    QString src = dir.path() + QStringLiteral("/src.wav");
    quint32 rate = k48k;
    quint16 bits = 16, channels = 1;
    quint64 start = kTen;
    quint32 frames = 4800;
    if (caseName.contains(QLatin1String("rate")))
        rate = 44100;
    if (caseName.contains(QLatin1String("stereo")))
        channels = 2;
    if (caseName == QLatin1String("before"))
        start = kTen - frames;
    if (caseName == QLatin1String("after"))
        start = kTen + 4800;
    RecorderFileSpec source = spec(rate, bits, frames, start, 77);
    source.channels = channels;
    source.withIxml = source.withFilm = source.withVlta = source.withOnde = false;
    source.withBext = caseName != QLatin1String("nobext");
    if (caseName == QLatin1String("adpcm"))
        source.formatTag = 2;
    QVERIFY(RecorderFileWriter::write(src, source));
    if (caseName == QLatin1String("truncated")) {
        QFile f(src);
        QVERIFY(f.resize(f.size() - 1000));
    }
    if (caseName == QLatin1String("missing"))
        src = dir.path() + QStringLiteral("/nope.wav");
    const int t = caseName == QLatin1String("occupied") ? 1 : 2;
    const QString fileId = caseName == QLatin1String("notake") ? QStringLiteral("AA0009") : QStringLiteral("AA0001");

    const QMap<QString, QByteArray> before = sha1Folder(folder);
    // A take record with a format but no file: what a caller could hand over.
    auto noFile = [](QSoundPerform& take) {
        take.m_nSampleRate = 48000;
        take.m_nBitsPerSample = 16;
        take.m_nNbChannels = 1;
    };
    const EngineRun r = runEngine(src, folder, fileId, t, QStringLiteral("Boom"), nullptr, nullptr,
                                  caseName == QLatin1String("notake") ? std::function<void(QSoundPerform&)>(noFile)
                                                                      : nullptr,
                                  caseName.endsWith(QLatin1String("channel3")) ? 3
                                  : caseName == QLatin1String("channel2")      ? 2
                                                                               : 0);
    QVERIFY(r.failed);
    expected.replace(QLatin1String("%S"), src).replace(QLatin1String("%T"), folder).replace(QLatin1String("%D"), dir.path());
    QCOMPARE(r.messages.join(QLatin1Char('|')), expected);
    // Nothing was written, renamed or left behind.
    QCOMPARE(sha1Folder(folder), before);
}

void TestMixer::emptyTrackName()
{
    QTemporaryDir dir;
    QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 1, spec(k48k, 16, 4800, kTen)));
    const QString src = dir.path() + QStringLiteral("/s.wav");
    QVERIFY(writeSource(src, k48k, 16, 4800, kTen));
    const EngineRun r = runEngine(src, dir.path(), QStringLiteral("AA0001"), 2, QString());
    QVERIFY(!r.failed);
    const QByteArray made = readFile(dir.path() + QStringLiteral("/AA0001_03.WAV"));
    QCOMPARE(xmlText(ixmlOf(made), QStringLiteral("TRACK_LIST/TRACK/NAME")), QStringLiteral("T3"));
    QVERIFY(made.mid(20, 256).contains("\r\naTRK3=\r\naNOTE="));
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
    QFETCH(QByteArray, expected);
    QTemporaryDir dir;
    RecorderFileSpec base = spec(k48k, 16, 4800, kTen);
    base.originatorReference = reference;
    base.umid = QByteArray(64, '\x7f');
    QVERIFY(RecorderFileWriter::write(dir.path() + QStringLiteral("/AA0001_05.WAV"),
                                      RecorderFileWriter::monoTrackSpec(base, 5, 5)));
    const QString src = dir.path() + QStringLiteral("/s.wav");
    QVERIFY(writeSource(src, k48k, 16, 4800, kTen));
    const EngineRun r = runEngine(src, dir.path(), QStringLiteral("AA0001"), t);
    QVERIFY2(!r.failed, qPrintable(r.messages.join(QLatin1Char('|'))));
    const QByteArray made = readFile(dir.path() + QLatin1Char('/') + r.name);
    QCOMPARE(made.mid(20 + 288, 32), expected);
    QCOMPARE(int(made.at(20 + 348 + 31)), t);
    QCOMPARE(made.mid(20 + 348, 31), QByteArray(31, '\x7f'));
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
    QFETCH(int, point);
    QTemporaryDir dir;
    // 1000 Hz: 100 samples per point; 350 samples give 3 points and a rest.
    RecorderFileSpec base = spec(1000, quint16(bits), 350, 36000000);
    QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 1, base));
    RecorderFileSpec s = spec(1000, quint16(bits), 350, 36000000);
    s.withIxml = s.withFilm = s.withVlta = s.withOnde = false;
    QByteArray bytes = RecorderFileWriter::build(s);
    const Chunk data = find(bytes, "data");
    const int b = bits / 8;
    // Silence, then the loudest sample in the second period only, then small values.
    for (int i = 0; i < 350; ++i) {
        qint32 v = i == 150 ? loudest : (i >= 200 ? 1 : 0);
        for (int k = 0; k < b; ++k)
            bytes[int(data.offset + 8 + i * b + k)] = char((quint32(v) >> (8 * k)) & 0xFF);
    }
    const QString src = dir.path() + QStringLiteral("/s.wav");
    QVERIFY(writeFile(src, bytes));
    const EngineRun r = runEngine(src, dir.path(), QStringLiteral("AA0001"), 1);
    QVERIFY2(!r.failed, qPrintable(r.messages.join(QLatin1Char('|'))));
    const QByteArray made = readFile(dir.path() + QStringLiteral("/AA0001_02.WAV"));
    const QByteArray onde = body(made, "ond");
    QCOMPARE(onde.size(), 404);
    QCOMPARE(u32At(onde, 0), 100u);   // samples per point
    QCOMPARE(int(uchar(onde.at(8))), 0);
    QCOMPARE(int(uchar(onde.at(9))), point);
    QCOMPARE(int(uchar(onde.at(10))), 0);   // small values
    QCOMPARE(int(uchar(onde.at(11))), 0);   // the incomplete last period gives no point
    QCOMPARE(QString::fromLatin1(find(made, "ond").id), QStringLiteral("ond2"));
}

// A take with more than 180000 points and a reference onde chunk larger than
// the overview: the onde chunk carries exactly the overview, nothing past it.
void TestMixer::overviewBound()
{
    QTemporaryDir dir;
    // 10 Hz: one sample per point; 180005 samples are 5 points too many.
    RecorderFileSpec base = spec(10, 16, 180005, 360000);
    base.ondeSize = 250000;
    QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 1, base));
    const QString src = dir.path() + QStringLiteral("/s.wav");
    QVERIFY(writeSource(src, 10, 16, 180005, 360000));
    const EngineRun r = runEngine(src, dir.path(), QStringLiteral("AA0001"), 1);
    QVERIFY2(!r.failed, qPrintable(r.messages.join(QLatin1Char('|'))));
    const QByteArray made = readFile(dir.path() + QStringLiteral("/AA0001_02.WAV"));
    const Chunk onde = find(made, "ond");
    QCOMPARE(onde.size, 180008u);
    const QByteArray points = made.mid(int(onde.offset + 16), 180000);
    // Every point is the source sample's magnitude >> 7.
    for (int i : {0, 1, 99999, 179999}) {
        const qint32 v = RecorderFileSpec::sampleValue(77, quint32(i), 0, 16);
        QCOMPARE(int(uchar(points.at(i))), qMin(255, qAbs(v) >> 7));
    }
    QCOMPARE(made.size(), int(QFileInfo(dir.path() + QStringLiteral("/AA0001_01.WAV")).size()));
}

void TestMixer::noFilmNoVlta()
{
    QTemporaryDir dir;
    RecorderFileSpec base = spec(k48k, 16, 4800, kTen);
    base.withFilm = false;
    base.withVlta = false;
    QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 1, base));
    const QString src = dir.path() + QStringLiteral("/s.wav");
    QVERIFY(writeSource(src, k48k, 16, 4800, kTen));
    const EngineRun r = runEngine(src, dir.path(), QStringLiteral("AA0001"), 1);
    QVERIFY2(!r.failed, qPrintable(r.messages.join(QLatin1Char('|'))));
    const QByteArray made = readFile(dir.path() + QStringLiteral("/AA0001_02.WAV"));
    QStringList ids;
    for (const Chunk& c : walk(made))
        ids << QString::fromLatin1(c.id);
    QCOMPARE(ids.join(QLatin1Char(',')), QStringLiteral("bext,fmt ,data,ond2,iXML"));
    QCOMPARE(find(made, "data").offset, qint64(12 + 866 + 24));
    QCOMPARE(qint64(u32At(made, 4)) + 8, qint64(made.size()));
    QCOMPARE(made.size(), int(QFileInfo(dir.path() + QStringLiteral("/AA0001_01.WAV")).size()));
}

void TestMixer::filler()
{
    QTemporaryDir dir;
    RecorderFileSpec base = spec(k48k, 16, 4800, kTen);
    ExtraChunk extra;
    extra.id = "LIST";
    extra.body = QByteArray(1000, 'x');
    base.extraAfter << extra;
    QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 1, base));
    const QString src = dir.path() + QStringLiteral("/Mic 1.wav");
    QVERIFY(writeSource(src, k48k, 16, 4800, kTen));
    const EngineRun r = runEngine(src, dir.path(), QStringLiteral("AA0001"), 1);
    QVERIFY2(!r.failed, qPrintable(r.messages.join(QLatin1Char('|'))));
    const QByteArray ref = readFile(dir.path() + QStringLiteral("/AA0001_01.WAV"));
    const QByteArray made = readFile(dir.path() + QStringLiteral("/AA0001_02.WAV"));
    QCOMPARE(made.size(), ref.size());
    QCOMPARE(u32At(made, 4), u32At(ref, 4));
    const Chunk sonl = find(made, "sonl");
    QCOMPARE(sonl.size, 1000u);
    QCOMPARE(sonl.offset + 8 + sonl.size, qint64(made.size()));
    const QByteArray fill = body(made, "sonl");
    QCOMPARE(fill.left(10), QByteArray("Mic 1.wav\0", 10));
    QCOMPARE(fill.mid(9), QByteArray(991, '\0'));
}

void TestMixer::fillerSourceNameTooLong()
{
    QTemporaryDir dir;
    RecorderFileSpec base = spec(k48k, 16, 480, kTen);
    ExtraChunk extra;
    extra.id = "LIST";
    extra.body = QByteArray(300, 'x');
    base.extraAfter << extra;
    QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 1, base));
    // 255 characters: the body is all zero bytes.
    const QString src = dir.path() + QLatin1Char('/') + QString(251, QLatin1Char('n')) + QStringLiteral(".wav");
    if (!writeSource(src, k48k, 16, 480, kTen))
        QSKIP("the file system refuses 255-character names");
    const EngineRun r = runEngine(src, dir.path(), QStringLiteral("AA0001"), 1);
    QVERIFY2(!r.failed, qPrintable(r.messages.join(QLatin1Char('|'))));
    const QByteArray made = readFile(dir.path() + QStringLiteral("/AA0001_02.WAV"));
    QCOMPARE(body(made, "sonl"), QByteArray(300, '\0'));
    // The film chunk keeps at most 255 characters and its NUL.
    const Chunk film = find(made, "film");
    QCOMPARE(made.mid(int(film.offset) + 812, 256), QString(251, QLatin1Char('n')).toLatin1() + QByteArray(".wav\0", 5));
}

void TestMixer::longTrackNameIsCut()
{
    QTemporaryDir dir;
    QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 1, spec(k48k, 16, 480, kTen)));
    const QString src = dir.path() + QStringLiteral("/s.wav");
    QVERIFY(writeSource(src, k48k, 16, 480, kTen));
    const QString name = QString(60, QLatin1Char('a')) + QString(60, QChar(0x00e9));   // 60 + 120 bytes in UTF-8
    const EngineRun r = runEngine(src, dir.path(), QStringLiteral("AA0001"), 11, name);
    QVERIFY2(!r.failed, qPrintable(r.messages.join(QLatin1Char('|'))));
    const QByteArray made = readFile(dir.path() + QStringLiteral("/AA0001_12.WAV"));
    // The iXML keeps the whole name; the Description gets what fits.
    QCOMPARE(xmlText(ixmlOf(made), QStringLiteral("TRACK_LIST/TRACK/NAME")), name);
    const QByteArray desc = made.mid(20, 256);
    const int trk = desc.indexOf("aTRK12=");
    QVERIFY(trk > 0);
    const int end = desc.indexOf("\r\n", trk);
    const QByteArray stored = desc.mid(trk + 7, end - trk - 7);
    // 130 bytes of other lines with this take; the rewrite keeps 253 bytes so
    // that the type line written after it still fits: 123 bytes of name, cut
    // back to 122 at a character boundary.
    QCOMPARE(stored.size(), 122);
    QVERIFY(name.toUtf8().startsWith(stored));
    QCOMPARE(QString::fromUtf8(stored).toUtf8(), stored);   // no character cut in half
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
    QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 1,
                                              spec(k48k, 24, 3 * k48k, kTen + 12345)));
    const QString src = dir.path() + QStringLiteral("/s.wav");
    QVERIFY(writeSource(src, k48k, 24, 2 * k48k, kTen + 12345 + k48k / 2));
    const EngineRun r = runEngine(src, dir.path(), QStringLiteral("AA0001"), 1);
    QVERIFY2(!r.failed, qPrintable(r.messages.join(QLatin1Char('|'))));
    const QString made = dir.path() + QStringLiteral("/AA0001_02.WAV");

    const auto sox = testsupport::run(QStringLiteral("sox"),
                                      {made, QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-e"),
                                       QStringLiteral("signed-integer"), QStringLiteral("-b"), QStringLiteral("24"),
                                       QStringLiteral("-L"), QStringLiteral("-")});
    QCOMPARE(sox.exitCode, 0);
    const QByteArray expected = QByteArray(int(k48k / 2) * 3, '\0') + audio(77, 0, 2 * k48k, 24)
                                + QByteArray(int(k48k / 2) * 3, '\0');
    QCOMPARE(sox.out.size(), expected.size());
    QVERIFY(sox.out == expected);

    const auto probe = testsupport::run(QStringLiteral("ffprobe"),
                                        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                                         QStringLiteral("format_tags=time_reference:stream=sample_rate,channels,bits_per_sample,duration_ts"),
                                         QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"), made});
    QCOMPARE(probe.exitCode, 0);
    const QString out = QString::fromUtf8(probe.out);
    QVERIFY2(out.contains(QStringLiteral("TAG:time_reference=%1").arg(kTen + 12345)), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("sample_rate=48000")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("channels=1")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("duration_ts=%1").arg(3 * k48k)), qPrintable(out));
}

QTEST_MAIN(TestMixer)
#include "tst_mixer.moc"
