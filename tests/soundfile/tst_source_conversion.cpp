// SPDX-License-Identifier: GPL-3.0-or-later
// Sources of other recorders: headers read right (plain, extensible, RF64) and every sample converted to a take's format as the
// rules say, checked against an independent computation on files written by sox and ffmpeg.

#include "SoundFixtures.h"
#include "SoundTestKit.h"
#include "SourceFiles.h"
#include "SourceFormat.h"
#include "SourceSampleReader.h"

using namespace sources;

namespace {
QString ffmpeg(const QString& expr, const QString& codec, const QString& extra = QString())
{
    return QStringLiteral("ffmpeg -f lavfi -i aevalsrc=%1:s=48000:d=0.25 -c:a %2 -write_bext 1 -metadata "
                          "time_reference=1728000000 %3 %OUT").arg(expr, codec, extra);
}

QString sox(const QString& encoding, int bits, int channels = 1, const QString& synth = "sine 440")
{
    return QStringLiteral("sox -n -r 48000 -c %1 -b %2 -e %3 %OUT synth 0.25 %4").arg(channels).arg(bits).arg(encoding, synth);
}

struct Converted
{
    QByteArray bytes;
    ConversionCounts counts;
    bool copy = false;
};

// Streams one channel through the reader in pieces of `piece` frames, so the result is checked across the reader's and
// converter's own block edges.
Converted convertFile(const QString& path, int channel, int bits, DitherKind dither = DitherKind::None, quint64 seed = 1,
                      qint64 piece = 997)
{
    Converted c;
    SourceFormat f;
    QFile file(path);
    if (!ReadSourceFormat(path, &f, nullptr) || !file.open(QIODevice::ReadOnly) || !file.seek(qint64(f.dataOffset)))
        return c;
    ConversionOptions options;
    options.channel = channel;
    options.dither = dither;
    options.ditherSeed = seed;
    SampleConverter conv(f, TargetSampleFormat{bits, false}, options);
    c.copy = conv.IsCopy();
    SourceSampleReader reader(file, f.dataSize, conv);
    std::vector<char> buf(size_t(piece) * size_t(bits / 8));
    for (qint64 n = piece; n == piece;) {
        n = reader.Read(buf.data(), piece);
        c.bytes.append(buf.data(), int(n * (bits / 8)));
    }
    c.counts = conv.Counts();
    return c;
}

// What the rules give for one channel: its bytes and its counts.
Converted expectChannel(const RawWav& w, int channel, int targetBits)
{
    Converted e;
    const quint64 frames = w.dataSize / (quint64(w.channels) * (w.bits / 8));
    for (quint64 i = 0; i < frames; ++i) {
        bool isFloat = false;
        const double v = sampleAt(w, i, channel, &isFloat);   // sets isFloat
        const Expected x = expectedSample(v, isFloat, w.bits, targetBits);
        appendSample(e.bytes, x.value, targetBits);
        if (x.clipped && e.counts.clipped++ == 0)
            e.counts.firstClipped = qint64(i);
        if (x.nonFinite && e.counts.nonFinite++ == 0)
            e.counts.firstNonFinite = qint64(i);
    }
    return e;
}

QString counts(const ConversionCounts& c)
{
    return QStringLiteral("clipped %1 from %2, non-finite %3 from %4").arg(c.clipped).arg(c.firstClipped).arg(c.nonFinite)
        .arg(c.firstNonFinite);
}
} // namespace

class TestSourceConversion : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString generate(const QString& command, const QString& name)
    {
        const QString path = m_dir.filePath(name);
        QString error;
        if (!runTool(command, path, &error))
            qWarning("%s: %s", qPrintable(command), qPrintable(error));
        return path;
    }

private slots:
    void initTestCase()
    {
        if (!haveTools())
            QSKIP("sox and ffmpeg are needed to write the sources");
    }
    void cleanup() { SampleConverter::SetAvx2ForTests(true); }

    // header: container, "ext" when extensible, format tag (the subformat's when extensible), bits, channels, "bext" with the
    // time reference.
    void formats_data()
    {
        kit::columns<QString, QString>("command", "header");
        const char *sine = "0.9*sin(2*PI*440*t)", *loud = "1.3*sin(2*PI*440*t)";   // float keeps past full scale
        QTest::newRow("sox 8-bit unsigned") << sox("unsigned-integer", 8) << "RIFF tag 1, 8-bit, 1 ch";
        QTest::newRow("sox 16-bit") << sox("signed-integer", 16) << "RIFF tag 1, 16-bit, 1 ch";
        QTest::newRow("sox 24-bit") << sox("signed-integer", 24) << "RIFF ext tag 1, 24-bit, 1 ch";
        QTest::newRow("sox 32-bit") << sox("signed-integer", 32) << "RIFF ext tag 1, 32-bit, 1 ch";
        QTest::newRow("sox 32-bit float") << sox("floating-point", 32) << "RIFF tag 3, 32-bit, 1 ch";
        QTest::newRow("sox 64-bit float") << sox("floating-point", 64) << "RIFF tag 3, 64-bit, 1 ch";
        QTest::newRow("sox 16-bit stereo") << sox("signed-integer", 16, 2, "sine 440 sine 1000") << "RIFF tag 1, 16-bit, 2 ch";
        QTest::newRow("ffmpeg s24") << ffmpeg(sine, "pcm_s24le") << "RIFF ext tag 1, 24-bit, 1 ch, bext";
        QTest::newRow("ffmpeg f32") << ffmpeg(loud, "pcm_f32le") << "RIFF ext tag 3, 32-bit, 1 ch, bext";
        QTest::newRow("ffmpeg f64") << ffmpeg(loud, "pcm_f64le") << "RIFF ext tag 3, 64-bit, 1 ch, bext";
        QTest::newRow("ffmpeg f32 RF64") << ffmpeg(loud, "pcm_f32le", "-rf64 always") << "RF64 ext tag 3, 32-bit, 1 ch, bext";
        QTest::newRow("ffmpeg s24 three channels")
            << ffmpeg("0.5*sin(2*PI*440*t)|0.7*sin(2*PI*660*t)|-0.9*sin(2*PI*880*t)", "pcm_s24le")
            << "RIFF ext tag 1, 24-bit, 3 ch, bext";
        QTest::newRow("ffmpeg f32 stereo") << ffmpeg("0.2*sin(2*PI*440*t)|1.2*sin(2*PI*660*t)", "pcm_f32le")
                                           << "RIFF ext tag 3, 32-bit, 2 ch, bext";
    }
    void formats()
    {
        QFETCH(QString, command); QFETCH(QString, header);
        const QString path = generate(command, QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_') + ".wav");
        const RawWav raw = parseWav(testsupport::readAll(path));
        SourceFormat f;
        QString error;
        QVERIFY2(ReadSourceFormat(path, &f, &error), qPrintable(error));
        QCOMPARE(QStringLiteral("%1%2 tag %3, %4-bit, %5 ch%6").arg(QString::fromLatin1(f.container), f.extensible ? " ext" : "")
                     .arg(f.extensible ? f.subFormatTag : f.formatTag).arg(f.bitsPerSample).arg(f.channels)
                     .arg(f.hasTimeReference && f.timeReference == 48000ull * 3600 * 10 ? ", bext" : ""), header);
        const bool isFloat = header.contains(QLatin1String("tag 3")), rf64 = f.container == "RF64";
        QCOMPARE(f.unsupportedReason() + QString::number(f.sampleRate), QStringLiteral("48000"));
        QVERIFY(f.subFormatKnown == f.extensible && f.encoding == (isFloat ? SampleEncoding::Float : SampleEncoding::Integer));
        QCOMPARE(QList<quint64>({f.dataOffset, f.dataSize, f.frames(), f.hasDs64, rf64 ? f.dataChunkSize : 0, f.ds64DataSize,
                                 f.ds64SampleCount}),
                 QList<quint64>({quint64(raw.dataOffset), raw.dataSize, 12000, rf64, rf64 ? 0xFFFFFFFFu : 0, rf64 ? raw.dataSize : 0,
                                 rf64 ? 12000u : 0}));

        // Every channel into every take width, through the AVX2 loop and the portable one: every sample, the counts and their
        // first positions.
        quint64 clipped = 0;
        for (int ch = 0; ch < f.channels; ++ch) {
            for (int target : {8, 16, 24, 32}) {
                const Converted e = expectChannel(raw, ch, target);
                for (bool avx2 : {true, false}) {
                    SampleConverter::SetAvx2ForTests(avx2);
                    const Converted c = convertFile(path, ch, target);
                    const QByteArray where = QStringLiteral("channel %1 to %2 bits%3").arg(ch + 1).arg(target)
                                                 .arg(avx2 ? "" : ", portable loop").toLatin1();
                    QVERIFY2(c.bytes == e.bytes, where.constData());
                    QCOMPARE(counts(c.counts), counts(e.counts));
                    QCOMPARE(c.copy, f.channels == 1 && target == f.bitsPerSample && !isFloat);
                }
                clipped += e.counts.clipped;
                if (f.channels == 1 && !isFloat && target > f.bitsPerSample) {   // widening is exact: sox agrees
                    const QString out = m_dir.filePath(QStringLiteral("widened.wav"));
                    QVERIFY(runTool(QStringLiteral("sox %1 -b %2 -e signed-integer %OUT").arg(path).arg(target), out));
                    QVERIFY2(e.bytes == parseWav(testsupport::readAll(out)).data, "sox widens otherwise");
                }
            }
        }
        if (command.contains(QLatin1String("1.3*")) || command.contains(QLatin1String("1.2*")))
            QVERIFY(clipped > 0);   // the loud rows reach past full scale
    }

    // Full scale, halves of the last step, NaN and infinities, put by hand from frame 100 on into a float file ffmpeg wrote.
    void specialValues_data()
    {
        kit::columns<QString, int, bool>("codec", "target", "avx2");
        QTest::newRow("float 32 to 24") << "pcm_f32le" << 24 << true;
        QTest::newRow("float 32 to 24, portable loop") << "pcm_f32le" << 24 << false;
        QTest::newRow("float 32 to 16") << "pcm_f32le" << 16 << true;
        QTest::newRow("float 32 to 16, portable loop") << "pcm_f32le" << 16 << false;
        QTest::newRow("float 64 to 24") << "pcm_f64le" << 24 << true;
        QTest::newRow("float 32 to 32") << "pcm_f32le" << 32 << true;
    }
    void specialValues()
    {
        QFETCH(QString, codec); QFETCH(int, target); QFETCH(bool, avx2);
        QByteArray file = testsupport::readAll(generate(ffmpeg(QStringLiteral("0.25*sin(2*PI*440*t)"), codec), "special.wav"));
        const RawWav before = parseWav(file);
        const int b = before.bits / 8;
        const double lsb = std::ldexp(1.0, -(target - 1));
        const qint64 hi = (qint64(1) << (target - 1)) - 1, lo = -(qint64(1) << (target - 1));
        // +1.0 clips, -1.0 is exact, a half step rounds away from zero, NaN and infinities count apart.
        const std::vector<std::pair<double, qint64>> cases = {
            {1.0, hi}, {-1.0, lo}, {1.5, hi}, {-1.5, lo}, {0.5 * lsb, 1}, {-0.5 * lsb, -1}, {2.5 * lsb, 3}, {-2.5 * lsb, -3},
            {0.4990234375 * lsb, 0}, {std::nan(""), 0}, {HUGE_VAL, 0}, {-HUGE_VAL, 0}, {1e30, hi}, {0.0, 0}};
        for (size_t i = 0; i < cases.size(); ++i) {
            const float f = float(cases[i].first);
            const double d = cases[i].first;
            std::memcpy(file.data() + before.dataOffset + (100 + qint64(i)) * b, b == 4 ? static_cast<const void*>(&f) : &d, size_t(b));
        }
        const QString patched = m_dir.filePath(QStringLiteral("special_patched.wav"));
        QVERIFY(testsupport::writeBytes(patched, file));
        SampleConverter::SetAvx2ForTests(avx2);
        const Converted c = convertFile(patched, 0, target);
        QByteArray want;
        for (const auto& x : cases)
            appendSample(want, x.second, target);
        QCOMPARE(c.bytes.mid(100 * (target / 8), want.size()).toHex(), want.toHex());
        QCOMPARE(c.bytes, expectChannel(parseWav(file), 0, target).bytes);
        QCOMPARE(counts(c.counts), QStringLiteral("clipped 4 from 100, non-finite 3 from 109"));   // only our values clip
    }

    // TPDF dither: the same seed gives the same bytes whatever the block size, another seed other bytes; each sample stays within
    // one step of the undithered result. Widening loses nothing: no dither there.
    void dither()
    {
        const QString path = generate(ffmpeg(QStringLiteral("0.7*sin(2*PI*440*t)"), QStringLiteral("pcm_f32le")), "dither.wav");
        const Converted plain = convertFile(path, 0, 16), a = convertFile(path, 0, 16, DitherKind::Tpdf, 42);
        QCOMPARE(convertFile(path, 0, 16, DitherKind::Tpdf, 42, 4096).bytes, a.bytes);
        QVERIFY(convertFile(path, 0, 16, DitherKind::Tpdf, 43).bytes != a.bytes);
        QCOMPARE(a.bytes.size() + plain.bytes.size(), 48000);
        int changed = 0;
        for (int i = 0; i < a.bytes.size(); i += 2) {
            const int x = qFromLittleEndian<qint16>(a.bytes.constData() + i), y = qFromLittleEndian<qint16>(plain.bytes.constData() + i);
            QVERIFY(std::abs(x - y) <= 1);
            changed += x != y;
        }
        QVERIFY(changed > 1000);
        const QString s16 = generate(sox(QStringLiteral("signed-integer"), 16), QStringLiteral("dither16.wav"));
        QCOMPARE(convertFile(s16, 0, 24, DitherKind::Tpdf, 7).bytes, convertFile(s16, 0, 24).bytes);
    }

    // Our writer makes an RF64 file of more than 4 GB as a sparse file; the audio past 4 GB is found through ds64 and read where
    // it is.
    void rf64PastFourGigabytes()
    {
        const RecorderFileSpec spec = kit::spec("tr=12345;seed=9");
        const quint64 frames = (quint64(1) << 32) / 3 + 480000, filledFirst = frames - 48000;
        const QString path = m_dir.filePath(QStringLiteral("long.wav"));
        QString error;
        QVERIFY2(RecorderFileWriter::writeRf64Sparse(path, spec, frames, filledFirst, 48000, &error), qPrintable(error));
        SourceFormat f;
        QVERIFY2(ReadSourceFormat(path, &f, &error), qPrintable(error));
        QCOMPARE(f.container, QByteArray("RF64"));
        QCOMPARE(QList<quint64>({f.hasDs64, f.dataChunkSize, f.dataSize, f.ds64SampleCount, f.ds64RiffSize, f.frames(), f.timeReference}),
                 QList<quint64>({1, 0xFFFFFFFFu, frames * 3, frames, quint64(QFileInfo(path).size()) - 8, frames, 12345}));
        QFile file(path);   // the filled second, read past 4 GB and narrowed to 16 bits
        QVERIFY(file.open(QIODevice::ReadOnly) && file.seek(qint64(f.dataOffset + filledFirst * 3)));
        SampleConverter conv(f, TargetSampleFormat{16, false}, ConversionOptions());
        SourceSampleReader reader(file, f.dataSize - filledFirst * 3, conv);
        std::vector<char> out(48000 * 2);
        QCOMPARE(reader.Read(out.data(), 48000), qint64(48000));
        for (quint32 i = 0; i < 48000; i += 97)
            QCOMPARE(qint64(qFromLittleEndian<qint16>(out.data() + 2 * i)),
                     expectedSample(RecorderFileSpec::sampleValue(9, quint32(filledFirst + i), 0, 24), false, 24, 16).value);
    }

    // error: from ReadSourceFormat, empty = reads; unsupported: unsupportedReason when it reads.
    void damagedHeaders_data()
    {
        kit::columns<QByteArray, QString, QString>("bytes", "error", "unsupported");
        auto build = [](const QString& spec, const QByteArray& fmt = QByteArray()) {   // fmt: a chunk of these bytes instead
            RecorderFileSpec x = kit::spec("noixml;nofilm;novlta;noonde;frames=100;" + spec + (fmt.isNull() ? "" : ";nofmt"));
            if (!fmt.isNull())
                x.extraBefore << ExtraChunk{"fmt ", fmt, false, 0};
            return RecorderFileWriter::build(x);
        };
        const QByteArray good = build("");
        QTest::newRow("recorder file reads") << good << "" << "";
        QTest::newRow("RIFX") << QByteArray("RIFX" + good.mid(4))
                              << "Not a sound file: it starts neither with RIFF nor with RF64 or BW64." << "";
        QTest::newRow("shorter than a header") << good.left(10) << "Not a sound file: shorter than a RIFF header." << "";
        QTest::newRow("no data chunk") << build("nodata") << "No data chunk." << "";
        QTest::newRow("fmt of 12 bytes") << build("", QByteArray(12, '\1')) << "The fmt chunk is too short (12 bytes)." << "";
        QTest::newRow("extensible tag, plain fmt") << build("tag=0xFFFE") << "The extensible fmt chunk is too short (16 bytes)." << "";
        // An extensible PCM fmt, then one whose GUID is not one of the audio subformats.
        const QByteArray ext = QByteArray::fromHex("feff010080bb0000803202000300180016001800040000000100000000001000800000aa00389b71");
        QTest::newRow("extensible PCM") << build("", ext) << "" << "";
        QTest::newRow("unknown subformat GUID") << build("", ext.left(39) + '\x72') << ""
                                                << "Unknown extensible subformat: this is not PCM or IEEE float audio.";
        QTest::newRow("compressed") << build("tag=0x55") << ""
            << "Compressed or unknown audio format (format tag 0x0055): only PCM and IEEE float sources can be used.";
        QTest::newRow("12-bit PCM") << build("bits=12") << "" << "12-bit PCM is not supported (8, 16, 24 or 32 bits).";
        QTest::newRow("16-bit float") << build("tag=3;bits=16") << "" << "16-bit float is not supported (32 or 64 bits).";
        QByteArray rf = "RF64" + good.mid(4);   // a data chunk that defers its size to a ds64 chunk that is not there
        rf.replace(rf.indexOf("data") + 4, 4, QByteArray(4, '\xFF'));
        QTest::newRow("RF64 without ds64") << rf << "The data chunk defers its size to a ds64 chunk, and there is none before it." << "";
        QByteArray rfShort = "RF64" + good.mid(4);
        rfShort.insert(12, QByteArray("ds64\x08\0\0\0", 8) + QByteArray(8, '\0'));
        QTest::newRow("ds64 of 8 bytes") << rfShort << "The ds64 chunk is too short (8 bytes)." << "";
    }
    void damagedHeaders()
    {
        QFETCH(QByteArray, bytes); QFETCH(QString, error); QFETCH(QString, unsupported);
        const QString path = m_dir.filePath(QStringLiteral("damaged.wav"));
        QVERIFY(testsupport::writeBytes(path, bytes));
        SourceFormat f;
        QString why;
        QCOMPARE(ReadSourceFormat(path, &f, &why), error.isEmpty());
        QCOMPARE(why, error);
        if (error.isEmpty())
            QCOMPARE(f.unsupportedReason() + (f.encoding == SampleEncoding::Unsupported ? "|unsupported" : ""),
                     unsupported + (unsupported.isEmpty() ? "" : "|unsupported"));
    }
};

QTEST_GUILESS_MAIN(TestSourceConversion)
#include "tst_source_conversion.moc"
