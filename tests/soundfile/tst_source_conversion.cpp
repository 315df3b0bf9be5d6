// SPDX-License-Identifier: GPL-3.0-or-later
// Sources of other recorders: headers read right (plain, extensible, RF64)
// and every sample converted to a take's format as the rules say, checked
// against an independent computation on files written by sox and ffmpeg.

#include "RecorderFileWriter.h"
#include "SourceFiles.h"
#include "SourceFormat.h"
#include "SourceSampleReader.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace sources;

namespace {

const quint64 kTen = 48000ull * 3600 * 10;   // 10:00:00 at 48 kHz
const char* const kBext = "-write_bext 1 -metadata time_reference=1728000000";

QString ffmpeg(const QString& expr, const QString& codec, const QString& extra = QString())
{
    return QStringLiteral("ffmpeg -f lavfi -i aevalsrc=%1:s=48000:d=0.25 -c:a %2 %3 %4 %OUT")
        .arg(expr, codec, QString::fromLatin1(kBext), extra);
}

QString sox(const QString& encoding, int bits, int channels = 1, const QString& synth = QStringLiteral("sine 440"))
{
    return QStringLiteral("sox -n -r 48000 -c %1 -b %2 -e %3 %OUT synth 0.25 %4")
        .arg(channels)
        .arg(bits)
        .arg(encoding, synth);
}

struct Converted
{
    QByteArray bytes;
    ConversionCounts counts;
    bool copy = false;
};

// Streams one channel through the reader in pieces of `piece` frames, so the
// result is checked across the reader's and converter's own block edges.
Converted convertFile(const QString& path, const SourceFormat& f, int channel, TargetSampleFormat target,
                      DitherKind dither = DitherKind::None, quint64 seed = 1, qint64 piece = 997)
{
    Converted c;
    ConversionOptions options;
    options.channel = channel;
    options.dither = dither;
    options.ditherSeed = seed;
    SampleConverter conv(f, target, options);
    c.copy = conv.IsCopy();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(qint64(f.dataOffset)))
        return c;
    SourceSampleReader reader(file, f.dataSize, conv);
    std::vector<char> buf(size_t(piece) * size_t(target.bits / 8));
    for (;;) {
        const qint64 n = reader.Read(buf.data(), piece);
        c.bytes.append(buf.data(), int(n * (target.bits / 8)));
        if (n < piece)
            break;
    }
    c.counts = conv.Counts();
    return c;
}

struct ExpectedChannel
{
    QByteArray bytes;
    quint64 clipped = 0, nonFinite = 0;
    qint64 firstClipped = -1, firstNonFinite = -1;
};

ExpectedChannel expectChannel(const RawWav& w, int channel, int targetBits)
{
    ExpectedChannel e;
    const quint64 frames = w.dataSize / (quint64(w.channels) * (w.bits / 8));
    for (quint64 i = 0; i < frames; ++i) {
        bool isFloat = false;
        const double v = sampleAt(w, i, channel, &isFloat);
        const Expected x = expectedSample(v, isFloat, w.bits, targetBits);
        appendSample(e.bytes, x.value, targetBits);
        if (x.clipped && e.clipped++ == 0)
            e.firstClipped = qint64(i);
        if (x.nonFinite && e.nonFinite++ == 0)
            e.firstNonFinite = qint64(i);
    }
    return e;
}

void putFloat(QByteArray& data, qint64 at, int bytes, double v)
{
    if (bytes == 4) {
        const float f = float(v);
        std::memcpy(data.data() + at, &f, 4);
    } else {
        std::memcpy(data.data() + at, &v, 8);
    }
}

} // namespace

class TestSourceConversion : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void formats_data();
    void formats();
    void soxAgreesOnExactWidening_data();
    void soxAgreesOnExactWidening();
    void specialValues_data();
    void specialValues();
    void ditherIsReproducible();
    void rf64PastFourGigabytes();
    void damagedHeaders_data();
    void damagedHeaders();

private:
    QString generate(const QString& command, const QString& name);
    QTemporaryDir m_dir;
};

void TestSourceConversion::initTestCase()
{
    if (!haveTools())
        QSKIP("sox and ffmpeg are needed to write the sources");
    QVERIFY(m_dir.isValid());
}

QString TestSourceConversion::generate(const QString& command, const QString& name)
{
    const QString path = m_dir.filePath(name);
    QString error;
    if (!runTool(command, path, &error)) {
        qWarning("%s: %s", qPrintable(command), qPrintable(error));
        return QString();
    }
    return path;
}

void TestSourceConversion::formats_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("container");
    QTest::addColumn<bool>("extensible");
    QTest::addColumn<int>("tag");        // the format tag, or the subformat code when extensible
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("channels");
    QTest::addColumn<bool>("bext");

    const QString sine = QStringLiteral("0.9*sin(2*PI*440*t)");
    // Past full scale: float keeps it, conversion must clip.
    const QString loud = QStringLiteral("1.3*sin(2*PI*440*t)");
    QTest::newRow("sox 8-bit unsigned") << sox(QStringLiteral("unsigned-integer"), 8) << QByteArray("RIFF") << false << 1 << 8 << 1 << false;
    QTest::newRow("sox 16-bit") << sox(QStringLiteral("signed-integer"), 16) << QByteArray("RIFF") << false << 1 << 16 << 1 << false;
    QTest::newRow("sox 24-bit") << sox(QStringLiteral("signed-integer"), 24) << QByteArray("RIFF") << true << 1 << 24 << 1 << false;
    QTest::newRow("sox 32-bit") << sox(QStringLiteral("signed-integer"), 32) << QByteArray("RIFF") << true << 1 << 32 << 1 << false;
    QTest::newRow("sox 32-bit float") << sox(QStringLiteral("floating-point"), 32) << QByteArray("RIFF") << false << 3 << 32 << 1 << false;
    QTest::newRow("sox 64-bit float") << sox(QStringLiteral("floating-point"), 64) << QByteArray("RIFF") << false << 3 << 64 << 1 << false;
    QTest::newRow("sox 16-bit stereo") << sox(QStringLiteral("signed-integer"), 16, 2, QStringLiteral("sine 440 sine 1000"))
                                       << QByteArray("RIFF") << false << 1 << 16 << 2 << false;
    QTest::newRow("ffmpeg u8") << ffmpeg(sine, QStringLiteral("pcm_u8")) << QByteArray("RIFF") << false << 1 << 8 << 1 << true;
    QTest::newRow("ffmpeg s16") << ffmpeg(sine, QStringLiteral("pcm_s16le")) << QByteArray("RIFF") << false << 1 << 16 << 1 << true;
    QTest::newRow("ffmpeg s24") << ffmpeg(sine, QStringLiteral("pcm_s24le")) << QByteArray("RIFF") << true << 1 << 24 << 1 << true;
    QTest::newRow("ffmpeg s32") << ffmpeg(sine, QStringLiteral("pcm_s32le")) << QByteArray("RIFF") << true << 1 << 32 << 1 << true;
    QTest::newRow("ffmpeg f32") << ffmpeg(loud, QStringLiteral("pcm_f32le")) << QByteArray("RIFF") << true << 3 << 32 << 1 << true;
    QTest::newRow("ffmpeg f64") << ffmpeg(loud, QStringLiteral("pcm_f64le")) << QByteArray("RIFF") << true << 3 << 64 << 1 << true;
    QTest::newRow("ffmpeg f32 RF64") << ffmpeg(loud, QStringLiteral("pcm_f32le"), QStringLiteral("-rf64 always"))
                                     << QByteArray("RF64") << true << 3 << 32 << 1 << true;
    QTest::newRow("ffmpeg s24 three channels")
        << ffmpeg(QStringLiteral("0.5*sin(2*PI*440*t)|0.7*sin(2*PI*660*t)|-0.9*sin(2*PI*880*t)"), QStringLiteral("pcm_s24le"))
        << QByteArray("RIFF") << true << 1 << 24 << 3 << true;
    QTest::newRow("ffmpeg f32 stereo")
        << ffmpeg(QStringLiteral("0.2*sin(2*PI*440*t)|1.2*sin(2*PI*660*t)"), QStringLiteral("pcm_f32le"))
        << QByteArray("RIFF") << true << 3 << 32 << 2 << true;
}

void TestSourceConversion::formats()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, container);
    QFETCH(bool, extensible);
    QFETCH(int, tag);
    QFETCH(int, bits);
    QFETCH(int, channels);
    QFETCH(bool, bext);
    const QString path = generate(command, QStringLiteral("%1.wav").arg(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'))));
    QVERIFY(!path.isEmpty());
    const RawWav raw = parseWav(testsupport::readAll(path));
    QVERIFY(raw.dataOffset > 0);

    SourceFormat f;
    QString error;
    QVERIFY2(ReadSourceFormat(path, &f, &error), qPrintable(error));
    QCOMPARE(f.container, container);
    QCOMPARE(f.extensible, extensible);
    QCOMPARE(int(extensible ? f.subFormatTag : f.formatTag), tag);
    QCOMPARE(f.subFormatKnown, extensible);
    QCOMPARE(int(f.bitsPerSample), bits);
    QCOMPARE(int(f.channels), channels);
    QCOMPARE(f.sampleRate, 48000u);
    QCOMPARE(f.encoding, tag == 3 ? SampleEncoding::Float : SampleEncoding::Integer);
    QCOMPARE(f.unsupportedReason(), QString());
    QCOMPARE(qint64(f.dataOffset), raw.dataOffset);
    QCOMPARE(f.dataSize, raw.dataSize);
    QCOMPARE(f.frames(), 12000ull);
    QCOMPARE(f.hasTimeReference, bext);
    if (bext)
        QCOMPARE(f.timeReference, kTen);
    QCOMPARE(f.hasDs64, container == "RF64");
    if (f.hasDs64) {
        QCOMPARE(f.dataChunkSize, 0xFFFFFFFFu);
        QCOMPARE(f.ds64DataSize, raw.dataSize);
        QCOMPARE(f.ds64SampleCount, 12000ull);
    }

    // Every channel into every take width: every sample, the counts and the
    // first positions as the rules give them.
    // The float loop has an AVX2 form and a portable one: both are checked.
    bool sawClip = false;
    for (int ch = 0; ch < channels; ++ch) {
        for (int target : {8, 16, 24, 32}) {
          for (bool avx2 : {true, false}) {
            SampleConverter::SetAvx2ForTests(avx2);
            const ExpectedChannel e = expectChannel(raw, ch, target);
            const Converted c = convertFile(path, f, ch, TargetSampleFormat{target, false});
            SampleConverter::SetAvx2ForTests(true);
            const QByteArray where = QByteArray("channel ") + QByteArray::number(ch + 1) + " to "
                                     + QByteArray::number(target) + (avx2 ? "-bit" : "-bit, portable loop");
            QVERIFY2(c.bytes == e.bytes, where.constData());
            QVERIFY2(c.counts.clipped == e.clipped && c.counts.firstClipped == e.firstClipped, where.constData());
            QVERIFY2(c.counts.nonFinite == 0 && c.counts.firstNonFinite == -1, where.constData());
            QCOMPARE(c.copy, channels == 1 && target == bits && tag == 1);
            sawClip = sawClip || e.clipped > 0;
          }
        }
    }
    // The loud float rows reach past full scale: clipping is exercised there.
    if (command.contains(QLatin1String("1.3*")) || command.contains(QLatin1String("1.2*")))
        QVERIFY(sawClip);
}

// Widening is exact: sox's own conversion gives the same bytes.
void TestSourceConversion::soxAgreesOnExactWidening_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("target");
    QTest::newRow("16 to 24 bits") << sox(QStringLiteral("signed-integer"), 16) << 24;
    QTest::newRow("8 to 16 bits") << sox(QStringLiteral("unsigned-integer"), 8) << 16;
    QTest::newRow("24 to 32 bits") << sox(QStringLiteral("signed-integer"), 24) << 32;
}

void TestSourceConversion::soxAgreesOnExactWidening()
{
    QFETCH(QString, command);
    QFETCH(int, target);
    const QString in = generate(command, QStringLiteral("widen_in.wav"));
    QVERIFY(!in.isEmpty());
    const QString out = m_dir.filePath(QStringLiteral("widen_out.wav"));
    QVERIFY(runTool(QStringLiteral("sox %1 -b %2 -e signed-integer %OUT").arg(in).arg(target), out));
    SourceFormat f;
    QVERIFY(ReadSourceFormat(in, &f, nullptr));
    const Converted c = convertFile(in, f, 0, TargetSampleFormat{target, false});
    QCOMPARE(c.bytes, parseWav(testsupport::readAll(out)).data);
    QCOMPARE(c.counts.clipped, 0ull);
}

void TestSourceConversion::specialValues_data()
{
    QTest::addColumn<QString>("codec");
    QTest::addColumn<int>("target");
    QTest::addColumn<bool>("avx2");
    QTest::newRow("float 32 to 24") << QStringLiteral("pcm_f32le") << 24 << true;
    QTest::newRow("float 32 to 24, portable loop") << QStringLiteral("pcm_f32le") << 24 << false;
    QTest::newRow("float 32 to 16") << QStringLiteral("pcm_f32le") << 16 << true;
    QTest::newRow("float 32 to 16, portable loop") << QStringLiteral("pcm_f32le") << 16 << false;
    QTest::newRow("float 64 to 24") << QStringLiteral("pcm_f64le") << 24 << true;
    QTest::newRow("float 32 to 32") << QStringLiteral("pcm_f32le") << 32 << true;
}

// Full scale, halves of the last step, NaN and infinities, put by hand into
// a file ffmpeg wrote.
void TestSourceConversion::specialValues()
{
    QFETCH(QString, codec);
    QFETCH(int, target);
    const QString path = generate(ffmpeg(QStringLiteral("0.25*sin(2*PI*440*t)"), codec), QStringLiteral("special.wav"));
    QVERIFY(!path.isEmpty());
    QByteArray file = testsupport::readAll(path);
    const RawWav before = parseWav(file);
    const int b = before.bits / 8;
    const double lsb = std::ldexp(1.0, -(target - 1));
    const qint64 hi = (qint64(1) << (target - 1)) - 1;
    const qint64 lo = -(qint64(1) << (target - 1));
    // value, expected sample, clipped, non-finite
    struct Case { double v; qint64 want; bool clip; bool bad; };
    const std::vector<Case> cases = {
        {1.0, hi, true, false},                 // +1.0 clips to the largest value
        {-1.0, lo, false, false},               // -1.0 is exact
        {1.5, hi, true, false},
        {-1.5, lo, true, false},
        {0.5 * lsb, 1, false, false},           // a half step rounds away from zero
        {-0.5 * lsb, -1, false, false},
        {2.5 * lsb, 3, false, false},
        {-2.5 * lsb, -3, false, false},
        {0.4990234375 * lsb, 0, false, false},  // just under a half
        {std::nan(""), 0, false, true},
        {HUGE_VAL, 0, false, true},
        {-HUGE_VAL, 0, false, true},
        {1e30, hi, true, false},
        {0.0, 0, false, false},
    };
    const qint64 first = 100;   // the special values start at frame 100
    for (size_t i = 0; i < cases.size(); ++i)
        putFloat(file, before.dataOffset + (first + qint64(i)) * b, b, cases[i].v);
    const QString patched = m_dir.filePath(QStringLiteral("special_patched.wav"));
    {
        QFile out(patched);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(file), qint64(file.size()));
    }
    SourceFormat f;
    QVERIFY(ReadSourceFormat(patched, &f, nullptr));
    QFETCH(bool, avx2);
    SampleConverter::SetAvx2ForTests(avx2);
    const Converted c = convertFile(patched, f, 0, TargetSampleFormat{target, false});
    SampleConverter::SetAvx2ForTests(true);
    const int tb = target / 8;
    for (size_t i = 0; i < cases.size(); ++i) {
        QByteArray want;
        appendSample(want, cases[i].want, target);
        QVERIFY2(c.bytes.mid(int((first + qint64(i)) * tb), tb) == want, qPrintable(QString::number(cases[i].v)));
    }
    const ExpectedChannel e = expectChannel(parseWav(file), 0, target);
    QCOMPARE(c.bytes, e.bytes);
    QCOMPARE(c.counts.nonFinite, 3ull);
    QCOMPARE(c.counts.firstNonFinite, first + 9);
    // Only our values clip: the rest of the file stays well inside.
    QCOMPARE(c.counts.clipped, 4ull);   // 1.0, 1.5, -1.5 and 1e30
    QCOMPARE(c.counts.firstClipped, first);
    QCOMPARE(e.clipped, c.counts.clipped);
}

// TPDF dither: the same seed gives the same bytes, another seed other bytes;
// each sample stays within one step of the undithered result.
void TestSourceConversion::ditherIsReproducible()
{
    const QString path = generate(ffmpeg(QStringLiteral("0.7*sin(2*PI*440*t)"), QStringLiteral("pcm_f32le")), QStringLiteral("dither.wav"));
    QVERIFY(!path.isEmpty());
    SourceFormat f;
    QVERIFY(ReadSourceFormat(path, &f, nullptr));
    const TargetSampleFormat t16{16, false};
    const Converted plain = convertFile(path, f, 0, t16);
    const Converted a = convertFile(path, f, 0, t16, DitherKind::Tpdf, 42);
    const Converted again = convertFile(path, f, 0, t16, DitherKind::Tpdf, 42, 4096);
    const Converted other = convertFile(path, f, 0, t16, DitherKind::Tpdf, 43);
    QCOMPARE(a.bytes.size(), plain.bytes.size());
    QCOMPARE(again.bytes, a.bytes);
    QVERIFY(other.bytes != a.bytes);
    int changed = 0;
    for (int i = 0; i + 1 < a.bytes.size(); i += 2) {
        const int x = qint16(quint16(quint8(a.bytes[i]) | (quint8(a.bytes[i + 1]) << 8)));
        const int y = qint16(quint16(quint8(plain.bytes[i]) | (quint8(plain.bytes[i + 1]) << 8)));
        QVERIFY(std::abs(x - y) <= 1);
        changed += x != y;
    }
    QVERIFY(changed > 1000);   // of 12000: dither is really applied
    // Widening loses nothing: no dither there, whatever is asked.
    const QString s16 = generate(sox(QStringLiteral("signed-integer"), 16), QStringLiteral("dither16.wav"));
    SourceFormat g;
    QVERIFY(ReadSourceFormat(s16, &g, nullptr));
    QCOMPARE(convertFile(s16, g, 0, TargetSampleFormat{24, false}, DitherKind::Tpdf, 7).bytes,
             convertFile(s16, g, 0, TargetSampleFormat{24, false}).bytes);
}

// Our writer makes an RF64 file of more than 4 GB as a sparse file; the audio
// past 4 GB is found through ds64 and read where it is.
void TestSourceConversion::rf64PastFourGigabytes()
{
    RecorderFileSpec spec;
    spec.sampleRate = 48000;
    spec.bitsPerSample = 24;
    spec.timeReference = 12345;
    spec.audioSeed = 9;
    const quint64 frames = (quint64(1) << 32) / 3 + 480000;   // a data chunk past 4 GB
    const quint64 filledFirst = frames - 48000;
    const QString path = m_dir.filePath(QStringLiteral("long.wav"));
    QString error;
    QVERIFY2(RecorderFileWriter::writeRf64Sparse(path, spec, frames, filledFirst, 48000, &error), qPrintable(error));
    SourceFormat f;
    QVERIFY2(ReadSourceFormat(path, &f, &error), qPrintable(error));
    QCOMPARE(f.container, QByteArray("RF64"));
    QVERIFY(f.hasDs64);
    QCOMPARE(f.dataChunkSize, 0xFFFFFFFFu);
    QCOMPARE(f.dataSize, frames * 3);
    QVERIFY(f.dataSize > 0xFFFFFFFFull);
    QCOMPARE(f.ds64SampleCount, frames);
    QCOMPARE(f.ds64RiffSize, quint64(QFileInfo(path).size()) - 8);
    QCOMPARE(f.frames(), frames);
    QCOMPARE(f.timeReference, 12345ull);

    // The filled second, read past 4 GB and narrowed to 16 bits.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.seek(qint64(f.dataOffset + filledFirst * 3)));
    SampleConverter conv(f, TargetSampleFormat{16, false}, ConversionOptions());
    SourceSampleReader reader(file, f.dataSize - filledFirst * 3, conv);
    std::vector<char> out(48000 * 2);
    QCOMPARE(reader.Read(out.data(), 48000), qint64(48000));
    for (quint32 i = 0; i < 48000; i += 97) {
        const qint32 v = RecorderFileSpec::sampleValue(9, quint32(filledFirst + i), 0, 24);
        const Expected e = expectedSample(v, false, 24, 16);
        QCOMPARE(int(qint16(quint16(quint8(out[2 * i]) | (quint8(out[2 * i + 1]) << 8)))), int(e.value));
    }
}

void TestSourceConversion::damagedHeaders_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");          // from ReadSourceFormat; empty = reads
    QTest::addColumn<QString>("unsupported");    // unsupportedReason when it reads

    RecorderFileSpec s;
    s.withIxml = s.withFilm = s.withVlta = s.withOnde = false;
    s.frames = 100;
    const QByteArray good = RecorderFileWriter::build(s);
    QTest::newRow("recorder file reads") << good << QString() << QString();

    QByteArray rifx = good;
    rifx.replace(0, 4, "RIFX");
    QTest::newRow("RIFX") << rifx << QStringLiteral("Not a sound file: it starts neither with RIFF nor with RF64 or BW64.") << QString();
    QTest::newRow("shorter than a header") << good.left(10) << QStringLiteral("Not a sound file: shorter than a RIFF header.") << QString();

    RecorderFileSpec noData = s;
    noData.withData = false;
    QTest::newRow("no data chunk") << RecorderFileWriter::build(noData) << QStringLiteral("No data chunk.") << QString();

    RecorderFileSpec shortFmt = s;
    shortFmt.withFmt = false;
    shortFmt.extraBefore << ExtraChunk{"fmt ", QByteArray(12, '\1'), false, 0};
    QTest::newRow("fmt of 12 bytes") << RecorderFileWriter::build(shortFmt) << QStringLiteral("The fmt chunk is too short (12 bytes).") << QString();

    // An extensible tag with only the 16 plain bytes (and cbSize 0).
    RecorderFileSpec ext = s;
    ext.formatTag = 0xFFFE;
    QTest::newRow("extensible tag, plain fmt")
        << RecorderFileWriter::build(ext) << QStringLiteral("The extensible fmt chunk is too short (16 bytes).") << QString();

    // An extensible fmt whose GUID is not one of the audio subformats.
    QByteArray fmt;
    auto put = [&](quint64 v, int n) {
        for (int k = 0; k < n; ++k)
            fmt.append(char((v >> (8 * k)) & 0xFF));
    };
    put(0xFFFE, 2); put(1, 2); put(48000, 4); put(144000, 4); put(3, 2); put(24, 2); put(22, 2); put(24, 2); put(4, 4);
    fmt.append(QByteArray::fromHex("0100000000001000800000aa00389b71"));
    RecorderFileSpec extGood = s;
    extGood.withFmt = false;
    extGood.extraBefore << ExtraChunk{"fmt ", fmt, false, 0};
    QTest::newRow("extensible PCM") << RecorderFileWriter::build(extGood) << QString() << QString();
    QByteArray odd = fmt;
    odd[24 + 15] = '\x72';
    RecorderFileSpec extOdd = s;
    extOdd.withFmt = false;
    extOdd.extraBefore << ExtraChunk{"fmt ", odd, false, 0};
    QTest::newRow("unknown subformat GUID")
        << RecorderFileWriter::build(extOdd) << QString()
        << QStringLiteral("Unknown extensible subformat: this is not PCM or IEEE float audio.");

    RecorderFileSpec mp3 = s;
    mp3.formatTag = 0x55;
    QTest::newRow("compressed")
        << RecorderFileWriter::build(mp3) << QString()
        << QStringLiteral("Compressed or unknown audio format (format tag 0x0055): only PCM and IEEE float sources can be used.");
    RecorderFileSpec twelve = s;
    twelve.bitsPerSample = 12;
    QTest::newRow("12-bit PCM") << RecorderFileWriter::build(twelve) << QString()
                                << QStringLiteral("12-bit PCM is not supported (8, 16, 24 or 32 bits).");
    RecorderFileSpec float16 = s;
    float16.formatTag = 3;
    float16.bitsPerSample = 16;
    QTest::newRow("16-bit float") << RecorderFileWriter::build(float16) << QString()
                                  << QStringLiteral("16-bit float is not supported (32 or 64 bits).");

    // RF64 whose data chunk defers to a ds64 chunk that is not there.
    QByteArray rf = good;
    rf.replace(0, 4, "RF64");
    const int dataAt = rf.indexOf("data");
    for (int k = 0; k < 4; ++k)
        rf[dataAt + 4 + k] = '\xFF';
    QTest::newRow("RF64 without ds64")
        << rf << QStringLiteral("The data chunk defers its size to a ds64 chunk, and there is none before it.") << QString();
    QByteArray rfShort = good;
    rfShort.replace(0, 4, "RF64");
    rfShort.insert(12, QByteArray("ds64\x08\0\0\0", 8) + QByteArray(8, '\0'));
    QTest::newRow("ds64 of 8 bytes") << rfShort << QStringLiteral("The ds64 chunk is too short (8 bytes).") << QString();
}

void TestSourceConversion::damagedHeaders()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QFETCH(QString, unsupported);
    const QString path = m_dir.filePath(QStringLiteral("damaged.wav"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), qint64(bytes.size()));
    }
    SourceFormat f;
    QString why;
    QCOMPARE(ReadSourceFormat(path, &f, &why), error.isEmpty());
    QCOMPARE(why, error);
    if (error.isEmpty()) {
        QCOMPARE(f.unsupportedReason(), unsupported);
        QCOMPARE(f.encoding == SampleEncoding::Unsupported, !unsupported.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestSourceConversion)
#include "tst_source_conversion.moc"
