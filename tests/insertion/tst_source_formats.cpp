// SPDX-License-Identifier: GPL-3.0-or-later
// The engine with sources of other recorders (written by sox and ffmpeg):
// float, 8/16/24/32-bit, extensible, RF64, one channel of several. The new
// track holds exactly the converted samples and its peaks describe them;
// sparse RF64 sources past 4 GB and RF64 headers that lie. (Refusals of
// other rates, channels and formats: tst_mixer and tst_cli_insertion.)

#include "ConformApply.h"
#include "ConformPlan.h"
#include "InsertionFixtures.h"
#include "SourceFiles.h"

#include "CoverageAnalysis.h"
#include "QSoundMixer.h"
#include "QSoundPerform.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace fixtures;
using namespace sources;

namespace {

const quint32 k48k = 48000;
const quint64 kTen = 10ull * 3600 * k48k;

struct Run
{
    bool failed = true;
    QStringList messages;
};

Run runEngine(const QString& source, const QString& folder, int channel)
{
    Run r;
    Relay relay;
    QSoundPerform take;
    take.ResetVariables();
    take.InitFilesZZ(folder + QStringLiteral("/AA0001"), QStringLiteral("WAV"));
    QSoundMixer mixer;
    QSoundMixer::SourceOptions options;
    options.channel = channel;
    mixer.SetSourceOptions(options);
    QString name;
    r.failed = mixer.SonalignMono(source, folder, QStringLiteral("AA0001"), 1, QStringLiteral("Lav"), &take, nullptr, &name);
    r.messages = relay.texts();
    return r;
}

// "HH:MM:SS:FF" at 25 fps of a position at 48 kHz.
QString tc25(quint64 samples)
{
    const quint64 s = samples / k48k;
    return QString::asprintf("%02d:%02d:%02d:%02d", int(s / 3600), int(s % 3600 / 60), int(s % 60),
                             int(samples % k48k * 25 / k48k));
}

} // namespace

class TestSourceFormats : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void createFromEveryFormat_data();
    void createFromEveryFormat();
    void rf64PastFourGigabytes();
    void lyingSizes_data();
    void lyingSizes();
};

void TestSourceFormats::initTestCase()
{
    if (!haveTools())
        QSKIP("sox and ffmpeg are needed to write the sources");
}

void TestSourceFormats::createFromEveryFormat_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("addBext");     // sox writes no bext: the test adds one
    QTest::addColumn<int>("takeBits");
    QTest::addColumn<int>("channel");      // 1-based; 0 = mono source

    const QString ff = QStringLiteral("ffmpeg -f lavfi -i aevalsrc=%1:s=48000:d=0.25 -c:a %2 -write_bext 1 "
                                      "-metadata time_reference=1728000000 %3 %OUT");
    const QString loud = QStringLiteral("1.3*sin(2*PI*440*t)");
    const QString three = QStringLiteral("0.5*sin(2*PI*440*t)|0.7*sin(2*PI*660*t)|-0.9*sin(2*PI*880*t)");
    QTest::newRow("32-bit float into 24 bits, clipping")
        << ff.arg(loud, QStringLiteral("pcm_f32le"), QString()) << false << 24 << 0;
    QTest::newRow("64-bit float into 16 bits") << ff.arg(loud, QStringLiteral("pcm_f64le"), QString()) << false << 16 << 0;
    QTest::newRow("RF64 float into 24 bits")
        << ff.arg(loud, QStringLiteral("pcm_f32le"), QStringLiteral("-rf64 always")) << false << 24 << 0;
    QTest::newRow("extensible 24-bit, copied") << ff.arg(QStringLiteral("0.8*sin(2*PI*440*t)"), QStringLiteral("pcm_s24le"), QString())
                                               << false << 24 << 0;
    QTest::newRow("24-bit into 16 bits") << ff.arg(QStringLiteral("0.8*sin(2*PI*440*t)"), QStringLiteral("pcm_s24le"), QString())
                                         << false << 16 << 0;
    QTest::newRow("32-bit into 24 bits") << ff.arg(QStringLiteral("0.8*sin(2*PI*440*t)"), QStringLiteral("pcm_s32le"), QString())
                                         << false << 24 << 0;
    QTest::newRow("8-bit unsigned into 16 bits")
        << ff.arg(QStringLiteral("0.8*sin(2*PI*440*t)"), QStringLiteral("pcm_u8"), QString()) << false << 16 << 0;
    QTest::newRow("three channels, the third") << ff.arg(three, QStringLiteral("pcm_s24le"), QString()) << false << 24 << 3;
    QTest::newRow("three channels, the first, into 16 bits") << ff.arg(three, QStringLiteral("pcm_s24le"), QString()) << false << 16 << 1;
    QTest::newRow("sox 16-bit into 24 bits")
        << QStringLiteral("sox -n -r 48000 -c 1 -b 16 -e signed-integer %OUT synth 0.25 sine 440") << true << 24 << 0;
    QTest::newRow("sox stereo 16-bit, the second")
        << QStringLiteral("sox -n -r 48000 -c 2 -b 16 -e signed-integer %OUT synth 0.25 sine 440 sine 1000") << true << 16 << 2;
    QTest::newRow("sox 32-bit float into 16 bits")
        << QStringLiteral("sox -n -r 48000 -c 1 -b 32 -e floating-point %OUT synth 0.25 sine 440") << true << 16 << 0;
}

// Take 09:59:59.98 .. +10000 samples; the source from 10:00:00 for 12000:
// 1000 samples of silence, then the source's first 9000 samples, converted.
void TestSourceFormats::createFromEveryFormat()
{
    QFETCH(QString, command);
    QFETCH(bool, addBext);
    QFETCH(int, takeBits);
    QFETCH(int, channel);
    QTemporaryDir dir;
    const QString src = dir.path() + QStringLiteral("/source.wav");
    QString error;
    QVERIFY2(runTool(command, src, &error), qPrintable(error));
    if (addBext)
        QVERIFY(writeFile(src, withBext(readFile(src), kTen)));
    const RawWav raw = parseWav(readFile(src));
    QVERIFY(raw.dataSize >= 9000ull * raw.channels * (raw.bits / 8));
    const QString folder = dir.path() + QStringLiteral("/take");
    QVERIFY(QDir().mkpath(folder));
    RecorderFileSpec take = spec(k48k, quint16(takeBits), 10000, kTen - 1000);
    QVERIFY(RecorderFileWriter::writeMonoTake(folder, QStringLiteral("AA0001"), 1, take));

    const Run r = runEngine(src, folder, channel);
    QVERIFY2(!r.failed, qPrintable(r.messages.join(QLatin1Char('|'))));

    // Independent expectation, sample by sample.
    const int ch = std::max(channel, 1) - 1;
    QByteArray expected(1000 * (takeBits / 8), '\0');
    quint64 clipped = 0;
    qint64 firstClipped = -1;
    for (quint64 i = 0; i < 9000; ++i) {
        bool isFloat = false;
        const double v = sampleAt(raw, i, ch, &isFloat);
        const Expected e = expectedSample(v, isFloat, raw.bits, takeBits);
        appendSample(expected, e.value, takeBits);
        if (e.clipped && clipped++ == 0)
            firstClipped = qint64(i);
    }
    const QByteArray made = readFile(folder + QStringLiteral("/AA0001_02.WAV"));
    const int b = takeBits / 8;
    QVERIFY(body(made, "data") == expected);
    QCOMPARE(made.size(), readFile(folder + QStringLiteral("/AA0001_01.WAV")).size());
    QCOMPARE(find(made, "fmt ").size, 16u);
    QCOMPARE(u32At(body(made, "fmt "), 12) & 0xFFFF, quint32(takeBits / 8));   // block align of the take

    // Peaks of the converted samples: one point per 4800.
    const QByteArray onde = body(made, "ond");
    for (int point = 0; point < 2; ++point) {
        qint64 m = 0;
        for (int i = point * 4800; i < (point + 1) * 4800; ++i) {
            qint64 v = 0;
            for (int k = b - 1; k >= 0; --k)
                v = (v << 8) | quint8(expected.at(i * b + k));
            if (v >= (qint64(1) << (8 * b - 1)))
                v -= qint64(1) << (8 * b);
            m = std::max(m, std::abs(v));
        }
        QCOMPARE(int(quint8(onde.at(8 + point))), int(std::min<qint64>(255, m >> (8 * b - 9))));
    }
    QCOMPARE(int(quint8(onde.at(10))), 0);   // the last, incomplete period gives no point

    // Clipping is reported, with where it first happened; no NaN here.
    if (clipped) {
        const QString warning = r.messages.value(0);
        QVERIFY2(warning.contains(QStringLiteral("to %1-bit: %2 sample(s) clipped (first at %3), 0 NaN or infinite sample(s) set to 0.")
                                      .arg(takeBits)
                                      .arg(clipped)
                                      .arg(tc25(kTen + quint64(firstClipped)))),
                 qPrintable(warning));
        QCOMPARE(r.messages.size(), 1);
    } else {
        QCOMPARE(r.messages, QStringList());
    }
    if (QByteArray(QTest::currentDataTag()).contains("clipping"))
        QVERIFY(clipped > 0);

    // Conform reads the same source through the same engine: the same samples.
    const QString sources = dir.path() + QStringLiteral("/sources");
    const QString target = dir.path() + QStringLiteral("/take2");
    QVERIFY(QDir().mkpath(sources) && QDir().mkpath(target));
    QVERIFY(QFile::copy(src, sources + QStringLiteral("/SOURCE.WAV")));
    QVERIFY(RecorderFileWriter::writeMonoTake(target, QStringLiteral("AA0001"), 1, take));
    ConformRequest request;
    request.sourceFolder = sources;
    request.targetFolder = target;
    request.track = 2;
    request.sourceChannel = channel;
    ConformPlan plan = BuildConformPlan(request);
    QCOMPARE(plan.takes.size(), 1);
    QVERIFY2(plan.takes.at(0).create, qPrintable(plan.takes.at(0).reason));
    QVERIFY(ConformRun().Apply(plan));
    QVERIFY(body(readFile(target + QStringLiteral("/AA0001_02.WAV")), "data") == expected);
}

// A sparse RF64 source of more than 4 GB from our writer: the take lies past
// the first 4 GB of its data, found through ds64, read at its 64-bit offset.
void TestSourceFormats::rf64PastFourGigabytes()
{
    QTemporaryDir dir;
    RecorderFileSpec s;
    s.sampleRate = k48k;
    s.bitsPerSample = 24;
    s.timeReference = 3600ull * k48k;    // 01:00:00
    s.audioSeed = 4;
    const quint64 frames = (quint64(1) << 32) / 3 + 96000;
    const quint64 at = frames - 48000;   // the take's second is the source's last
    const QString src = dir.path() + QStringLiteral("/long.wav");
    QString error;
    QVERIFY2(RecorderFileWriter::writeRf64Sparse(src, s, frames, at, 48000, &error), qPrintable(error));

    long long in = 0, out = 0;
    bool chunks = false;
    QVERIFY(!GetInOutTimecode(src, &in, &out, &chunks));
    QVERIFY(chunks);
    QCOMPARE(in, qint64(s.timeReference));
    QCOMPARE(out, qint64(s.timeReference + frames));

    const QString folder = dir.path() + QStringLiteral("/take");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(RecorderFileWriter::writeMonoTake(folder, QStringLiteral("AA0001"), 1,
                                              spec(k48k, 24, 48000, s.timeReference + at)));
    const Run r = runEngine(src, folder, 0);
    QVERIFY2(!r.failed, qPrintable(r.messages.join(QLatin1Char('|'))));
    QByteArray expected;
    for (quint32 i = 0; i < 48000; ++i)
        appendSample(expected, RecorderFileSpec::sampleValue(4, quint32(at + i), 0, 24), 24);
    QVERIFY(body(readFile(folder + QStringLiteral("/AA0001_02.WAV")), "data") == expected);
}

// RF64 headers that lie: a ds64 data size past the end of the file, or one so
// large that the sample arithmetic would overflow. Refused, nothing written.
void TestSourceFormats::lyingSizes_data()
{
    QTest::addColumn<quint64>("ds64DataSize");
    QTest::addColumn<QString>("message");
    QTest::newRow("data past the end of the file")
        << quint64(48000) * 3 * 10 << QStringLiteral("%S\nThe source file holds fewer audio bytes than its data chunk declares.");
    QTest::newRow("data of 2^62 bytes")
        << (quint64(1) << 62) << QStringLiteral("%S\nThe source's time reference or length is out of range: its header is damaged.");
}

void TestSourceFormats::lyingSizes()
{
    QFETCH(quint64, ds64DataSize);
    QFETCH(QString, message);
    QTemporaryDir dir;
    RecorderFileSpec s = spec(k48k, 24, 0, kTen);
    const QString src = dir.path() + QStringLiteral("/long.wav");
    QVERIFY(RecorderFileWriter::writeRf64Sparse(src, s, 48000, 0, 48000));
    QByteArray bytes = readFile(src);
    // ds64 data size: 8 bytes at offset 12 + 8 + 8.
    for (int k = 0; k < 8; ++k)
        bytes[28 + k] = char((ds64DataSize >> (8 * k)) & 0xFF);
    QVERIFY(writeFile(src, bytes));
    const QString folder = dir.path() + QStringLiteral("/take");
    QVERIFY(QDir().mkpath(folder));
    // The take lies in the part of the data the file does not hold.
    QVERIFY(RecorderFileWriter::writeMonoTake(folder, QStringLiteral("AA0001"), 1, spec(k48k, 24, 48000, kTen + 5 * k48k)));
    const QMap<QString, QByteArray> before = sha1Folder(folder);
    const Run r = runEngine(src, folder, 0);
    QVERIFY(r.failed);
    QCOMPARE(r.messages, QStringList{message.replace(QLatin1String("%S"), src)});
    QCOMPARE(sha1Folder(folder), before);
}

QTEST_GUILESS_MAIN(TestSourceFormats)
#include "tst_source_formats.moc"
