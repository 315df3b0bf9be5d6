// SPDX-License-Identifier: GPL-3.0-or-later
// Timing and format queries over the records, with their exact integer
// arithmetic, and the two free formatting functions.

#include "SoundTestKit.h"
#include "TimeFormat.h"

#include <limits>

class TestTiming : public QObject
{
    Q_OBJECT
private slots:
    // Each row fills fmt, bext, film and the RIFF and data sizes (`bytes` is
    // both), then compares the queries it names: "key=text;key=text".
    void queries_data()
    {
        kit::columns<quint32, int, int, quint32, quint64, QByteArray, QString>("rate", "channels", "bits", "bytes", "tr",
                                                                               "film", "expected");
        auto row = [](const char* tag, quint32 rate, int channels, int bits, quint32 bytes, quint64 tr, const char* film,
                      const char* expected) {
            QTest::newRow(tag) << rate << channels << bits << bytes << tr << QByteArray(film) << QString::fromUtf8(expected);
        };
        // Start time from the time reference; "1" keys ask for pull-down.
        row("one hour", 48000, 1, 24, 0, 172800000, "25.00",
            "tc=01:00:00;sec=3600;rest=0;frame=90000;tc1=00:59:56;sec1=3596;rest1=19372;frame1=89900");
        row("fraction of a second", 48000, 1, 24, 0, 48000 * 61 + 47999, "30.00", "tc=00:01:01;sec=61;rest=47999;frame=1830");
        row("past 24 hours, not reduced", 48000, 1, 24, 0, 48000ULL * 3600 * 25 + 5, "24.00",
            "tc=25:00:00;sec=90000;rest=5;frame=2160000");
        row("past 2^32 samples", 96000, 1, 24, 0, 0x100000000ULL, "29.97", "tc=12:25:39;sec=44739;rest=23296;frame=1342170");
        // floor((2^64 - 1) * 1000 / 1001) without overflow; frames wrap in 32 bits
        row("pull-down of a huge reference", 48000, 1, 24, 0, ~0ULL, "25.00", "sec1=383923244957325;rest1=14;frame1=1743444933");
        // Sampling text.
        row("48k", 48000, 1, 24, 0, 0, "-", "sampling=48kHz/24bits");
        row("44.1k", 44100, 1, 16, 0, 0, "-", "sampling=44100Hz/16bits");
        row("48048 pull-up", 48048, 1, 24, 0, 0, "-", "sampling=48048Hz/24bits");
        row("176.4k", 176400, 1, 24, 0, 0, "-", "sampling=176.4kHz/24bits");
        row("rest 950 rounds to 10", 100950, 1, 24, 0, 0, "-", "sampling=100.10kHz/24bits");
        row("rest 949", 100949, 1, 24, 0, 0, "-", "sampling=100.9kHz/24bits");
        row("192k", 192000, 1, 32, 0, 0, "-", "sampling=192kHz/32bits");
        // File sizes.
        row("10 KB", 48000, 1, 24, 10240, 0, "-", "size=10 KB;mib=1;riff=10240");
        row("just under 1 MB", 48000, 1, 24, 1048575, 0, "-", "size=1023 KB;mib=1");
        row("1 MB", 48000, 1, 24, 1048576, 0, "-", "size=1 MB;mib=1");
        row("2.5 MB", 48000, 1, 24, 2621440, 0, "-", "size=2 MB;mib=2");
        row("largest size", 48000, 1, 24, 0xFFFFFFFFu, 0, "-", "size=4095 MB;mib=4095;riff=4294967295");
        row("zero size", 48000, 1, 24, 0, 0, "-", "size=0 KB;mib=1");
        // Lengths.
        row("90.5 s mono 24-bit", 48000, 1, 24, 48000 * 3 * 90 + 72000, 0, "25.00",
            "samples=4344000;seconds=90;duration=00:01:30;frames=2262;frames1=2260");
        row("stereo 16-bit, 1 h 1 min 1 s", 48000, 2, 16, 48000 * 4 * 3661, 0, "30.00",
            "samples=175728000;seconds=3661;duration=01:01:01;frames=109830;frames1=109720");
        row("partial sample bytes", 44100, 1, 24, 44101, 0, "24.00",
            "samples=14700;seconds=0;duration=00:00:00;frames=8;frames1=7");
        row("over 100 hours", 8000, 1, 8, 8000u * 3600 * 120, 0, "24.00",
            "samples=3456000000;seconds=432000;duration=120:00:00;frames=10368000;frames1=10357642");
        // A zero or impossible format never divides.
        const char* zero = "seconds=0;frames=0;frames1=0;duration=00:00:00";
        const QByteArray zeroRate = QByteArray(zero) + ";tc=00:00:00;sec1=0;rest=0;frame=0";
        row("rate 0", 0, 1, 24, 480000, 123456789, "25.00", zeroRate.constData());
        row("channels 0", 48000, 0, 24, 480000, 123456789, "25.00", (QByteArray(zero) + ";samples=0").constData());
        row("bits 0", 48000, 1, 0, 480000, 123456789, "25.00", (QByteArray(zero) + ";samples=0").constData());
        row("4 bits", 48000, 1, 4, 480000, 123456789, "25.00", (QByteArray(zero) + ";samples=0").constData());
        row("all 0", 0, 0, 0, 480000, 123456789, "25.00", (zeroRate + ";samples=0;sampling=0kHz/0bits").constData());
        // Frame rate codes ("-": no film chunk).
        for (const char* r : {"24.00=24Fps=24", "25.00=25Fps=25", "29.97=29.97df=30", "30.00=30Fps=30",
                              "24.DRIFT=23.98nd-A=24", "30.DRIFT=29.97nd-A=30", "24.DRIF2=23.98nd-B=24",
                              "30.DRIF2=29.97nd-B=30", "24.DRIF3=23.98nd-C=24", "30.DRIF3=29.97nd-C=30",
                              "23.976==24", "48.00==48", "29.970==30", "xx.00==24", "==24", "-==24", "25.00ABCDE==25"}) {
            const QList<QByteArray> p = QByteArray(r).split('=');
            row(QByteArray("frame rate " + p[0]).constData(), 48000, 1, 24, 0, 0, p[0].constData(),
                ("rate=" + p[1] + ";fps=" + p[2]).constData());
        }
    }
    void queries()
    {
        QFETCH(quint32, rate); QFETCH(int, channels); QFETCH(int, bits); QFETCH(quint32, bytes);
        QFETCH(quint64, tr); QFETCH(QByteArray, film); QFETCH(QString, expected);
        QSoundFile f;
        kit::setFormat(f, rate, quint16(channels), quint16(bits));
        kit::setTimeReference(f, tr);
        kit::setFilmCode(f, film);
        f.m_tDataChunk.SetChunkID("data");
        f.m_tDataChunk.SetChunkSize(bytes);
        f.m_nRiffSize = bytes;
        const kit::Queries query{
            {"tc", [&] { return f.GetTimeCode(false); }}, {"tc1", [&] { return f.GetTimeCode(true); }},
            {"sec", [&] { return f.GetTimeCodeSeconds(false); }}, {"sec1", [&] { return f.GetTimeCodeSeconds(true); }},
            {"rest", [&] { return f.GetTimeCodeRest(false); }}, {"rest1", [&] { return f.GetTimeCodeRest(true); }},
            {"frame", [&] { return f.GetTimeCodeFrame(false); }}, {"frame1", [&] { return f.GetTimeCodeFrame(true); }},
            {"sampling", [&] { return f.GetSampling(); }}, {"size", [&] { return f.GetSize(); }},
            {"mib", [&] { return f.GetNumerikSize(); }}, {"riff", [&] { return f.GetTrueSize(); }},
            {"samples", [&] { return f.GetNbTotalSample(); }}, {"seconds", [&] { return f.GetDurationSeconds(); }},
            {"duration", [&] { return f.GetDuration(); }}, {"frames", [&] { return f.GetDurationFrameBool(false); }},
            {"frames1", [&] { return f.GetDurationFrameBool(true); }}, {"rate", [&] { return f.GetFrameRate(); }},
            {"fps", [&] { return int(f.GetNumerikFrameRate()); }}};
        QCOMPARE(kit::ask(expected, query), expected);
    }

    void formatting_data()
    {
        kit::columns<qint64, int, QString>("value", "fps", "text");   // fps 1000: Long64ToString
        QTest::newRow("one hour at 25") << qint64(90000) << 25 << "01:00:00:00";
        QTest::newRow("last frame of a day at 30") << qint64(2591999) << 30 << "23:59:59:29";
        QTest::newRow("zero") << qint64(0) << 24 << "00:00:00:00";
        QTest::newRow("mixed at 24") << qint64(24 * 3723 + 7) << 24 << "01:02:03:07";
        QTest::newRow("100 hours") << qint64(25 * 3600 * 100) << 25 << "100:00:00:00";
        QTest::newRow("0 fps") << qint64(90000) << 0 << "--:--:--:--";
        QTest::newRow("negative fps") << qint64(90000) << -25 << "--:--:--:--";
        QTest::newRow("1234567") << qint64(1234567) << 1000 << " 0,001,234,567";
        QTest::newRow("-5") << qint64(-5) << 1000 << "-0,000,000,005";
        QTest::newRow("zero number") << qint64(0) << 1000 << " 0,000,000,000";
        QTest::newRow("ten billion") << qint64(10000000001LL) << 1000 << " 10,000,000,001";
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << 1000 << " 9223372036,854,775,807";
        QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << 1000 << "-9223372036,854,775,808";
    }
    void formatting()
    {
        QFETCH(qint64, value); QFETCH(int, fps);
        QTEST(fps == 1000 ? Long64ToString(value) : GetTimeCode(static_cast<unsigned long>(value), short(fps)), "text");
    }
};

QTEST_MAIN(TestTiming)
#include "tst_timing.moc"
