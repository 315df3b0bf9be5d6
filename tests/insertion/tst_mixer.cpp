// SPDX-License-Identifier: GPL-3.0-or-later
// The mono track engine: sample-exact segments across its blocks and I/O runs (its reader thread), header fields,
// peaks and filler of the new file (the whole bytes: tst_golden), sources of other recorders (written by sox and
// ffmpeg, RF64 past 4 GB), and the checks that keep it from writing anything.

#include "InsertionFixtures.h"
#include "SourceFiles.h"

#include "CoverageAnalysis.h"
#include "QSoundMixer.h"
#include "QSoundPerform.h"
#include "TakeGrouping.h"

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

// A token of a row ("key=value" or a bare word) of `tokens`, or `fallback`.
QString token(const QString& tokens, const QString& key, const QString& fallback = QString())
{
    for (const QString& t : tokens.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        if (t == key || t.startsWith(key + QLatin1Char('=')))
            return t == key ? key : t.mid(key.size() + 1);
    return fallback;
}

// A byte run as text: its text, then "+<n>z" for the zeros that end it (or the rest in hex).
QString shown(const QByteArray& b)
{
    const int text = b.indexOf('\0') < 0 ? b.size() : b.indexOf('\0');
    const QByteArray rest = b.mid(text);
    return QString::fromUtf8(b.left(text))
        + (rest.isEmpty()                         ? QString()
                : rest.count('\0') == rest.size() ? QStringLiteral("+%1z").arg(rest.size())
                                                  : QLatin1Char('+') + QString::fromLatin1(rest.toHex()));
}

} // namespace

class TestMixer : public QObject
{
    Q_OBJECT
private slots:
    // The engine on a take (16 bits, 4800 samples from 10:00:00 unless the row says otherwise: bits, frames, rate,
    // files=N written like the recorder or slots=a,b with their own UMIDs, nofilm, list=N after the audio, ondesize,
    // ref, umid, id, trackname) and a source placed `at` samples from the take's start (frames, rate, bits, channels,
    // nobext, tag, cut, missing, ds64, name, peak). Refused: exactly these messages, the folder as it was. Written:
    // the zeros, the source's overlap, zeros, whatever the 15120-byte blocks (7560 frames at 16 bits, 5040 at 24) and
    // the 1 MiB I/O runs, as long as the reference, one progress report per block; then the facts the row names,
    // "|"-separated.
    void engine_data()
    {
        columns<QString, QString, int, QString>({"take", "source", "track", "expected"});
        const int b16 = 7560, b24 = 5040, s = 48000;
        auto row = [](const char* tag, const QString& take, const QString& source, int track, const QString& expected) {
            QTest::newRow(tag) << take << source << track << expected;
        };
        const QString n = QStringLiteral("files=2 frames=%1"), t = QStringLiteral("at=%1 frames=%2");
        row("missing start, 96000 zeros then 864000 samples", n.arg(20 * s), t.arg(2 * s).arg(58 * s), 3, "");
        row("entire take, source around it", n.arg(3 * s), t.arg(-s).arg(6 * s), 3, "");
        row("missing end: 60 s in, 10 s copied, 10 s silence", n.arg(20 * s), t.arg(-60 * s).arg(70 * s), 3, "");
        row("partial coverage", n.arg(4 * s) + " bits=24", t.arg(s + 7).arg(2 * s), 3, "");
        row("missing start by one sample", n.arg(2 * s), t.arg(1).arg(3 * s), 3, "");
        row("missing end by one sample", n.arg(2 * s) + " bits=24", t.arg(-5).arg(2 * s), 3, "");
        row("16-bit, one block exactly", n.arg(b16), t.arg(0).arg(b16), 3, "");
        row("16-bit, block - 1, partial", n.arg(b16 - 1), t.arg(3).arg(b16 - 10), 3, "");
        row("16-bit, block + 1, missing start", n.arg(b16 + 1), t.arg(b16).arg(5 * b16), 3, "");
        row("16-bit, 3 blocks + 1, missing end", n.arg(3 * b16 + 1), t.arg(-b16 - 1).arg(3 * b16 + 2), 3, "");
        row("24-bit, one block exactly", n.arg(b24) + " bits=24", t.arg(0).arg(b24), 3, "");
        row("24-bit, 2 blocks - 1, partial", n.arg(2 * b24 - 1) + " bits=24", t.arg(b24 - 1).arg(b24 / 2), 3, "");
        row("24-bit, beyond one I/O run (69 blocks)", n.arg(75 * b24 + 13) + " bits=24", t.arg(71 * b24 + 5).arg(100 * b24), 3, "");
        row("16-bit, one frame take", n.arg(1), t.arg(0).arg(1), 3, "");
        row("one-sample source at the first sample", n.arg(4800) + " bits=24", t.arg(0).arg(1), 3, "");
        row("one-sample source at the last sample", n.arg(4800) + " bits=24", t.arg(4799).arg(1), 3, "");
        // Other references: no film and vlta; extra chunks ended by a "sonl" filler with the source's name (all zero for a 255-character name).
        row("no film, no vlta", "nofilm", "", 2, "chunks=bext,fmt ,data,ond2,iXML|dataAt=902|sonl=");
        row("LIST after data: filler", "list=1000", "name=Mic1.wav", 2, "chunks=bext,fmt ,film,vlta,data,ond2,iXML,sonl|sonl=Mic1.wav+992z|film=Mic1.wav");
        row("source name of 255 characters", "list=300 frames=480", "name=" + QString(251, QLatin1Char('n')) + ".wav", 2,
            "sonl=+300z|film=" + QString(251, QLatin1Char('n')) + ".wav");
        // The header comes from the take's first file (track 2 when only 2 and 3 exist); the recorder's originator
        // reference and UMID byte 31 carry the new track's index, another maker's reference is kept.
        const QString vel = QStringLiteral("ref=VELPAV0000000000000000000000000A umid=5 files=5");
        row("VEL, track index 2", vel, "", 3, "orig=VELPAV00000000000000000000000003|umid=" + QString::fromLatin1(QByteArray(31, '5').toHex()) + "02");
        row("VEL, track index 0", vel, "", 1, "orig=VELPAV00000000000000000000000001|umid=" + QString::fromLatin1(QByteArray(31, '5').toHex()) + "00");
        row("other maker kept", "ref=XYZ00000000000000000000000000000 umid=5 files=5", "", 3, "orig=XYZ00000000000000000000000000000");
        row("tracks 2 and 3 only", "slots=2,3", "", 1, "orig=VELPAV00000000000000000000000001|umid=" + QString::fromLatin1(QByteArray(31, '2').toHex()) + "00");
        // Peaks at 1000 Hz: 100 samples a point, none for the rest of 350; the loudest sample in the second period only.
        for (const auto& p : {std::make_tuple("16-bit -32768 gives 255", 16, -32768, 255), std::make_tuple("16-bit 32767 gives 255", 16, 32767, 255),
                              std::make_tuple("16-bit -1000 gives 7", 16, -1000, 7), std::make_tuple("16-bit 127 gives 0", 16, 127, 0),
                              std::make_tuple("24-bit -8388608 gives 255", 24, -8388608, 255), std::make_tuple("24-bit 1000000 gives 30", 24, 1000000, 30)})
            row(std::get<0>(p), QStringLiteral("rate=1000 frames=350 bits=%1").arg(std::get<1>(p)), QStringLiteral("peak=%1").arg(std::get<2>(p)), 2,
                QStringLiteral("onde=100,0,%1,0,0").arg(std::get<3>(p)));
        // A take of 5 h 1 min (at 1 kHz to stay small): the overview holds five hours of points, the source's second at
        // 2 h; the listing shows its length.
        row("longer than five hours", "rate=1000 frames=18060000 ondesize=190004", "at=7200000 frames=1000", 2,
            "lit=72000-72009/180000|length=05:01:00");
        // The iXML keeps a long name whole; the Description gets what fits with the type line after it: 122 bytes, at a character boundary.
        const QString name = QString(60, QLatin1Char('a')) + QString(60, QChar(0x00e9));
        row("long track name", "frames=480 trackname=" + name, "", 12, "ixmlname=" + name + "|trk=" + QString::fromUtf8(name.toUtf8().left(122)) + "|desc=aNOTE=good\r\naTYP=mono \r\n");
        // Refusals the command line tests do not meet (%S = the source, %D = the test folder).
        row("44.1 kHz stereo: both messages", "", "rate=44100 channels=2", 3, "%S [44100/16 bits] \nTarget [48000/16 bits]\nThe source is at 44100 Hz and the take at 48000 Hz: the source must be "
            "resampled to 48000 Hz first.|%S \n Is not a monophonic file.\nIt has 2 channels: choose one with --channel K (the channel choice beside the track in the window).");
        row("compressed source", "", "tag=2", 3, "%S\nCompressed or unknown audio format (format tag 0x0002): only PCM and IEEE float sources can be used.");
        row("source without bext", "", "nobext", 3, "%S\nThis source has no bext chunk, so no time reference: it cannot be placed in the take (it would land at midnight).");
        row("missing source", "", "missing", 3, "Unable to open\n%D/\nnope.wav\nfor reading !|%S\nError returned by clSoundFile.Open().");
        row("no overlap: source ends at the take start", "", "at=-4800", 3, "Unable to in point Tc sample!");
        row("no overlap: source starts at the take end", "", "at=4800", 3, "Unable to in point Tc sample!");
        row("empty take", "id=AA0009", "", 3, "AA0009 \nNo valid index detected.");
        row("source shorter than its data chunk", "", "cut=1000", 3, "%S\nThe source file holds fewer audio bytes than its data chunk declares.");
        // RF64 headers that lie, the take in the part of the data the file does not hold.
        row("RF64 data past the end of the file", "", "ds64=1440000 at=-240000 bits=24 frames=48000", 3, "%S\nThe source file holds fewer audio bytes than its data chunk declares.");
        row("RF64 data of 2^62 bytes", "", "ds64=4611686018427387904 at=-240000 bits=24 frames=48000", 3, "%S\nThe source's time reference or length is out of range: its header is damaged.");
    }
    void engine()
    {
        QFETCH(QString, take); QFETCH(QString, source); QFETCH(int, track); QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/T");
        QVERIFY(QDir().mkpath(folder));
        const quint32 rate = token(take, QStringLiteral("rate"), QStringLiteral("48000")).toUInt();
        const quint16 bits = quint16(token(take, QStringLiteral("bits"), QStringLiteral("16")).toUInt());
        const quint32 frames = token(take, QStringLiteral("frames"), QStringLiteral("4800")).toUInt();
        const quint64 start = 10 * kHour * rate;
        RecorderFileSpec base = spec(rate, bits, frames, start);
        base.withFilm = base.withVlta = token(take, QStringLiteral("nofilm")).isEmpty();
        base.originatorReference = token(take, QStringLiteral("ref"), QString::fromLatin1(base.originatorReference)).toLatin1();
        if (!token(take, QStringLiteral("umid")).isEmpty())
            base.umid = QByteArray(64, token(take, QStringLiteral("umid")).at(0).toLatin1());
        base.ondeSize = token(take, QStringLiteral("ondesize"), QString::number(base.ondeSize)).toUInt();
        if (!token(take, QStringLiteral("list")).isEmpty())
            base.extraAfter << ExtraChunk{"LIST", QByteArray(token(take, QStringLiteral("list")).toInt(), 'x'), false, 0};
        QList<int> present;
        for (const QString& n : token(take, QStringLiteral("slots")).split(QLatin1Char(','), Qt::SkipEmptyParts))
            present << n.toInt();
        for (int n : present) {
            RecorderFileSpec f = RecorderFileWriter::monoTrackSpec(base, present.last(), n);
            f.umid = QByteArray(64, char('0' + n));
            QVERIFY(RecorderFileWriter::write(folder + QStringLiteral("/AA0001_%1.WAV").arg(n, 2, 10, QLatin1Char('0')), f));
        }
        const int files = token(take, QStringLiteral("files"), QStringLiteral("1")).toInt();
        if (files == 5)   // the fifth file only
            QVERIFY(RecorderFileWriter::write(folder + QStringLiteral("/AA0001_05.WAV"), RecorderFileWriter::monoTrackSpec(base, 5, 5)));
        else if (present.isEmpty())
            QVERIFY(RecorderFileWriter::writeMonoTake(folder, QStringLiteral("AA0001"), files, base));
        QString src = dir.path() + QLatin1Char('/') + token(source, QStringLiteral("name"), QStringLiteral("S01.WAV"));
        const qint64 at = token(source, QStringLiteral("at"), QStringLiteral("0")).toLongLong();
        RecorderFileSpec so = spec(token(source, QStringLiteral("rate"), QString::number(rate)).toUInt(),
                                   quint16(token(source, QStringLiteral("bits"), QString::number(bits)).toUInt()),
                                   token(source, QStringLiteral("frames"), QString::number(frames)).toUInt(), quint64(qint64(start) + at), 77);
        so.withIxml = so.withFilm = so.withVlta = so.withOnde = false;   // another recorder's file
        so.channels = quint16(token(source, QStringLiteral("channels"), QStringLiteral("1")).toUInt());
        so.withBext = token(source, QStringLiteral("nobext")).isEmpty();
        so.formatTag = quint16(token(source, QStringLiteral("tag"), QStringLiteral("1")).toUInt());
        QByteArray bytes = RecorderFileWriter::build(so);
        if (!token(source, QStringLiteral("peak")).isEmpty()) {
            const qint64 d = find(bytes, "data").offset + 8;
            for (quint32 i = 0; i < so.frames; ++i)
                for (int k = 0; k < bits / 8; ++k)
                    bytes[int(d + i * bits / 8 + k)] = char((quint32(i == 150 ? token(source, QStringLiteral("peak")).toInt() : i >= 200 ? 1 : 0) >> (8 * k)) & 0xFF);
        }
        QVERIFY(writeFile(src, bytes.left(bytes.size() - token(source, QStringLiteral("cut"), QStringLiteral("0")).toInt())));
        if (!token(source, QStringLiteral("ds64")).isEmpty()) {   // one second of sparse RF64, its ds64 data size (8 bytes at 28) patched
            QVERIFY(RecorderFileWriter::writeRf64Sparse(src, spec(rate, so.bitsPerSample, 0, so.timeReference), so.frames, 0, so.frames));
            bytes = readFile(src);
            for (int k = 0; k < 8; ++k)
                bytes[28 + k] = char((token(source, QStringLiteral("ds64")).toULongLong() >> (8 * k)) & 0xFF);
            QVERIFY(writeFile(src, bytes));
        }
        if (!token(source, QStringLiteral("missing")).isEmpty())
            src = dir.path() + QStringLiteral("/nope.wav");
        const QMap<QString, QByteArray> before = sha1Folder(folder);
        const EngineRun r = runEngine(src, folder, track - 1, token(take, QStringLiteral("trackname"), QStringLiteral("Boom")), 0,
            token(take, QStringLiteral("id"), QStringLiteral("AA0001")));
        if (r.failed) {
            QCOMPARE(r.messages, expected.replace(QLatin1String("%S"), src).replace(QLatin1String("%D"), dir.path()));
            QCOMPARE(sha1Folder(folder), before);
            return;
        }
        QCOMPARE(r.name + r.messages, QStringLiteral("AA0001_%1.WAV").arg(track, 2, 10, QLatin1Char('0')));
        const qint64 b = bits / 8, length = frames, first = qBound<qint64>(0, at, length), end = qBound<qint64>(0, at + so.frames, length);
        QVERIFY(body(r.made, "data") == QByteArray(int(first * b), '\0') + body(readFile(src), "data").mid(int(qMax<qint64>(0, -at) * b), int((end - first) * b))
                                            + QByteArray(int((length - end) * b), '\0'));
        const QByteArray ref = readFile(folder + QLatin1Char('/') + before.firstKey());
        QCOMPARE(r.made.size(), ref.size());
        QCOMPARE(u32At(r.made, 4), u32At(ref, 4));
        QVERIFY(partialFiles(folder).isEmpty());
        const qint64 k = 15120 / b;
        auto blocks = [k](qint64 n) { return (n + k - 1) / k; };
        QCOMPARE(qint64(r.progress.size()), blocks(first) + blocks(end - first) + blocks(length - end));
        QCOMPARE(r.progress.last(), qint64(100));
        QVERIFY(std::is_sorted(r.progress.begin(), r.progress.end()));
        QStringList facts;
        const QByteArray desc = r.made.mid(20, 256), onde = body(r.made, "ond");
        const int trk = desc.indexOf("aTRK");
        QString listed;   // the take's length as the listing shows it
        BuildTakesOfFolder(folder, [&listed](std::unique_ptr<QSoundPerform> t, int, int) { listed = t->m_sDuration; });
        int firstLit = -1, lastLit = -1;   // the overview points that are not zero
        for (int i = 8; i < onde.size(); ++i)
            if (onde.at(i) != '\0')
                std::tie(firstLit, lastLit) = std::make_tuple(firstLit < 0 ? i - 8 : firstLit, i - 8);
        for (const QString& fact : expected.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
            const QString key = fact.section(QLatin1Char('='), 0, 0);
            const QMap<QString, QString> value {{QStringLiteral("chunks"), chunkIds(r.made)},
                {QStringLiteral("dataAt"), QString::number(find(r.made, "data").offset)},
                {QStringLiteral("sonl"), shown(body(r.made, "sonl"))},
                {QStringLiteral("film"),
                    shown(r.made.mid(int(find(r.made, "film").offset) + 812, 256)).section(QLatin1Char('+'), 0, 0)},
                {QStringLiteral("orig"), QString::fromLatin1(r.made.mid(20 + 288, 32))},
                {QStringLiteral("umid"), QString::fromLatin1(r.made.mid(20 + 348, 32).toHex())},
                {QStringLiteral("onde"),
                    QStringLiteral("%1,%2,%3,%4,%5")
                        .arg(u32At(onde, 0))
                        .arg(quint8(onde.at(8)))
                        .arg(quint8(onde.at(9)))
                        .arg(quint8(onde.at(10)))
                        .arg(quint8(onde.at(11)))},
                {QStringLiteral("length"), listed},
                {QStringLiteral("lit"), QStringLiteral("%1-%2/%3").arg(firstLit).arg(lastLit).arg(onde.size() - 8)},
                {QStringLiteral("ixmlname"),
                    xmlValue(QString::fromUtf8(body(r.made, "iXML")).trimmed(), QStringLiteral("TRACK_LIST/TRACK/NAME"))},
                {QStringLiteral("trk"),
                    QString::fromUtf8(
                        desc.mid(desc.indexOf('=', trk) + 1, desc.indexOf("\r\n", trk) - desc.indexOf('=', trk) - 1))},
                {QStringLiteral("desc"),
                    QString::fromLatin1(desc.mid(desc.indexOf("aNOTE="), desc.indexOf('\0') - desc.indexOf("aNOTE=")))}};
            facts << key + QLatin1Char('=') + value.value(key, QStringLiteral("<unknown fact>"));
        }
        QCOMPARE(facts.join(QLatin1Char('|')), expected);
    }

    // Sources that ffmpeg and sox write (their formats: tst_source_conversion), one per path of the engine's converter.
    void createFromAnotherFormat_data()
    {
        columns<QString, int, int>({"command", "takeBits", "channel"});   // channel: 1-based
        const QString ff = QStringLiteral("ffmpeg -f lavfi -i aevalsrc=%1:s=48000:d=0.25 -c:a %2 -write_bext 1 "
                                          "-metadata time_reference=1728000000 %OUT");
        const QString loud = QStringLiteral("1.3*sin(2*PI*440*t)"), sine = QStringLiteral("0.8*sin(2*PI*440*t)");
        const QString three = QStringLiteral("0.5*sin(2*PI*440*t)|0.7*sin(2*PI*660*t)|-1.3*sin(2*PI*880*t)");
        QTest::newRow("three-channel float, the third, clipping") << ff.arg(three, QStringLiteral("pcm_f32le")) << 24 << 3;
        QTest::newRow("64-bit float into 16 bits") << ff.arg(loud, QStringLiteral("pcm_f64le")) << 16 << 1;
        QTest::newRow("32-bit into 24 bits") << ff.arg(sine, QStringLiteral("pcm_s32le")) << 24 << 1;
        QTest::newRow("8-bit unsigned into 16 bits") << ff.arg(sine, QStringLiteral("pcm_u8")) << 16 << 1;
        QTest::newRow("three 24-bit channels, the first, into 16 bits") << ff.arg(three, QStringLiteral("pcm_s24le")) << 16 << 1;
        const QString sox = QStringLiteral("sox -n -r 48000 -c %1 -b %2 -e %3 %OUT synth 0.25 sine 440 sine 1000");
        QTest::newRow("sox stereo 16-bit, the second") << sox.arg(2).arg(16).arg(QStringLiteral("signed-integer")) << 16 << 2;
        QTest::newRow("sox 16-bit into 24 bits") << sox.arg(1).arg(16).arg(QStringLiteral("signed-integer")) << 24 << 1;
        QTest::newRow("sox 32-bit float into 16 bits") << sox.arg(1).arg(32).arg(QStringLiteral("floating-point")) << 16 << 1;
    }
    // Take 09:59:59.98 .. +10000 samples, the source from 10:00:00 (a bext added to sox's): 1000 samples of silence,
    // then the source's first 9000 samples converted, and where clipping first happened.
    void createFromAnotherFormat()
    {
        QFETCH(QString, command);
        QFETCH(int, takeBits);
        QFETCH(int, channel);
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
            const double v = sources::sampleAt(raw, i, channel - 1, &isFloat);
            const sources::Expected e = sources::expectedSample(v, isFloat, raw.bits, takeBits);
            sources::appendSample(expected, e.value, takeBits);
            if (e.clipped && clipped++ == 0)
                firstClipped = i;
        }
        QVERIFY(body(r.made, "data") == expected);
        QCOMPARE(body(r.made, "fmt ").mid(12, 4), body(readFile(folder + QStringLiteral("/AA0001_01.WAV")), "fmt ").mid(12, 4));   // block align, depth of the take
        // Clipping is reported with where it first happened (25 fps timecode); no NaN here.
        QCOMPARE(r.messages.isEmpty(), clipped == 0);
        const QTime first = QTime(0, 0).addMSecs(int((kTen + firstClipped) * 1000 / k48k));
        QVERIFY2(clipped == 0 || r.messages.contains(QStringLiteral("to %1-bit: %2 sample(s) clipped (first at %3:%4), 0 NaN or infinite sample(s) set to 0.")
                                         .arg(takeBits).arg(clipped).arg(first.toString(QStringLiteral("HH:mm:ss"))).arg(first.msec() / 40, 2, 10, QLatin1Char('0'))),
                 qPrintable(r.messages));
    }
    // A sparse RF64 source of more than 4 GB from our writer: the take lies past the first 4 GB of its data, found
    // through ds64, read at its 64-bit offset.
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
