// SPDX-License-Identifier: GPL-3.0-or-later
// Timing and format queries over the records, with their exact integer
// arithmetic, and the two free formatting functions.

#include "QSoundFile.h"
#include "TimeFormat.h"

#include <QtTest>

#include <cstring>
#include <limits>

namespace {

void setFormat(QSoundFile& f, quint32 rate, quint16 channels, quint16 bits)
{
    f.m_tFmtChunk.SetChunkID("fmt ");
    f.m_tFmtChunk.SetChunkSize(16);
    f.m_tFmtChunk.SetU16(bwf::kFmtFormatTag, 1);
    f.m_tFmtChunk.SetU16(bwf::kFmtChannels, channels);
    f.m_tFmtChunk.SetU32(bwf::kFmtSampleRate, rate);
    f.m_tFmtChunk.SetU16(bwf::kFmtBitsPerSample, bits);
}

void setTimeReference(QSoundFile& f, quint64 tr)
{
    f.m_tBextChunk.SetChunkID("bext");
    f.m_tBextChunk.SetU32(bwf::kBextTimeReferenceLow, quint32(tr & 0xFFFFFFFFu));
    f.m_tBextChunk.SetU32(bwf::kBextTimeReferenceHigh, quint32(tr >> 32));
}

void setFilmCode(QSoundFile& f, const QByteArray& code)
{
    f.m_tFilmChunk.SetChunkID("film");
    std::memset(f.m_tFilmChunk.Data() + bwf::kFilmFrameRateCode, 0, bwf::kFilmFrameRateCodeBytes);
    std::memcpy(f.m_tFilmChunk.Data() + bwf::kFilmFrameRateCode, code.constData(),
                size_t(qMin(code.size(), bwf::kFilmFrameRateCodeBytes)));
}

void setData(QSoundFile& f, quint32 size)
{
    f.m_tDataChunk.SetChunkID("data");
    f.m_tDataChunk.SetChunkSize(size);
}

void setText(QSoundFile& f, int offset, const QByteArray& text)
{
    std::memcpy(f.m_tBextChunk.Data() + offset, text.constData(), size_t(text.size()));
}

} // namespace

class TestTiming : public QObject
{
    Q_OBJECT
private slots:
    void startTime_data()
    {
        QTest::addColumn<quint32>("rate");
        QTest::addColumn<quint64>("tr");
        QTest::addColumn<QByteArray>("film");
        QTest::addColumn<bool>("pullDown");
        QTest::addColumn<QString>("timecode");
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<qint64>("rest");
        QTest::addColumn<uint>("frames");
        QTest::newRow("one hour") << 48000u << quint64(172800000) << QByteArray("25.00") << false << "01:00:00"
                                  << qint64(3600) << qint64(0) << 90000u;
        QTest::newRow("one hour, pull-down") << 48000u << quint64(172800000) << QByteArray("25.00") << true << "00:59:56"
                                             << qint64(3596) << qint64(19372) << 89900u;
        QTest::newRow("fraction of a second") << 48000u << quint64(48000 * 61 + 47999) << QByteArray("30.00") << false
                                              << "00:01:01" << qint64(61) << qint64(47999) << 1830u;
        QTest::newRow("past 24 hours, not reduced") << 48000u << quint64(48000ULL * 3600 * 25 + 5) << QByteArray("24.00")
                                                    << false << "25:00:00" << qint64(90000) << qint64(5) << 2160000u;
        QTest::newRow("past 2^32 samples") << 96000u << quint64(0x100000000ULL) << QByteArray("29.97") << false
                                           << "12:25:39" << qint64(44739) << qint64(23296) << 1342170u;
        // floor((2^64 - 1) * 1000 / 1001) without overflow; frames wrap in 32 bits
        QTest::newRow("pull-down of a huge reference") << 48000u << quint64(0xFFFFFFFFFFFFFFFFULL) << QByteArray("25.00")
                                                       << true << QString() << qint64(383923244957325LL) << qint64(14)
                                                       << 1743444933u;
    }

    void startTime()
    {
        QFETCH(quint32, rate);
        QFETCH(quint64, tr);
        QFETCH(QByteArray, film);
        QFETCH(bool, pullDown);
        QFETCH(QString, timecode);
        QSoundFile f;
        setFormat(f, rate, 1, 24);
        setTimeReference(f, tr);
        setFilmCode(f, film);
        if (!timecode.isEmpty())
            QCOMPARE(f.GetTimeCode(pullDown), timecode);
        QTEST(f.GetTimeCodeSeconds(pullDown), "seconds");
        QTEST(f.GetTimeCodeRest(pullDown), "rest");
        QTEST(f.GetTimeCodeFrame(pullDown), "frames");
    }

    void sampling_data()
    {
        QTest::addColumn<quint32>("rate");
        QTest::addColumn<quint16>("bits");
        QTest::addColumn<QString>("text");
        QTest::newRow("48k") << 48000u << quint16(24) << "48kHz/24bits";
        QTest::newRow("96k") << 96000u << quint16(24) << "96kHz/24bits";
        QTest::newRow("44.1k") << 44100u << quint16(16) << "44100Hz/16bits";
        QTest::newRow("48048 pull-up") << 48048u << quint16(24) << "48048Hz/24bits";
        QTest::newRow("176.4k") << 176400u << quint16(24) << "176.4kHz/24bits";
        QTest::newRow("rest 950 rounds to 10") << 100950u << quint16(24) << "100.10kHz/24bits";
        QTest::newRow("rest 949") << 100949u << quint16(24) << "100.9kHz/24bits";
        QTest::newRow("192k") << 192000u << quint16(32) << "192kHz/32bits";
        QTest::newRow("zero rate") << 0u << quint16(0) << "0kHz/0bits";
    }

    void sampling()
    {
        QFETCH(quint32, rate);
        QFETCH(quint16, bits);
        QSoundFile f;
        setFormat(f, rate, 1, bits);
        QTEST(f.GetSampling(), "text");
    }

    void sizes_data()
    {
        QTest::addColumn<quint32>("riff");
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("mib");
        QTest::newRow("10 KB") << 10240u << "10 KB" << 1u;
        QTest::newRow("just under 1 MB") << 1048575u << "1023 KB" << 1u;
        QTest::newRow("1 MB") << 1048576u << "1 MB" << 1u;
        QTest::newRow("2.5 MB") << 2621440u << "2 MB" << 2u;
        QTest::newRow("largest") << 0xFFFFFFFFu << "4095 MB" << 4095u;
        QTest::newRow("zero") << 0u << "0 KB" << 1u;
    }

    void sizes()
    {
        QFETCH(quint32, riff);
        QSoundFile f;
        f.m_nRiffSize = riff;
        QTEST(f.GetSize(), "text");
        QTEST(f.GetNumerikSize(), "mib");
        QCOMPARE(f.GetTrueSize(), riff);
    }

    void length_data()
    {
        QTest::addColumn<quint32>("rate");
        QTest::addColumn<quint16>("channels");
        QTest::addColumn<quint16>("bits");
        QTest::addColumn<quint32>("dataSize");
        QTest::addColumn<QByteArray>("film");
        QTest::addColumn<uint>("samples");
        QTest::addColumn<uint>("seconds");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<uint>("frames");
        QTest::addColumn<uint>("framesPullDown");
        // 90.5 s of 48k/24 mono at 25 fps
        QTest::newRow("mono 24-bit") << 48000u << quint16(1) << quint16(24) << 48000u * 3 * 90 + 72000u << QByteArray("25.00")
                                     << 48000u * 90 + 24000u << 90u << "00:01:30" << 2262u << 2260u;
        QTest::newRow("stereo 16-bit, 1 h 1 min 1 s") << 48000u << quint16(2) << quint16(16) << 48000u * 4 * 3661
                                                      << QByteArray("30.00") << 48000u * 3661 << 3661u << "01:01:01"
                                                      << 109830u << 109720u;
        QTest::newRow("partial sample bytes") << 44100u << quint16(1) << quint16(24) << 44101u << QByteArray("24.00")
                                              << 14700u << 0u << "00:00:00" << 8u << 7u;
        QTest::newRow("over 100 hours") << 8000u << quint16(1) << quint16(8) << 8000u * 3600 * 120 << QByteArray("24.00")
                                        << 8000u * 3600 * 120 << 432000u << "120:00:00" << 10368000u << 10357642u;
    }

    void length()
    {
        QFETCH(quint32, rate);
        QFETCH(quint16, channels);
        QFETCH(quint16, bits);
        QFETCH(quint32, dataSize);
        QFETCH(QByteArray, film);
        QSoundFile f;
        setFormat(f, rate, channels, bits);
        setData(f, dataSize);
        setFilmCode(f, film);
        QTEST(f.GetNbTotalSample(), "samples");
        QTEST(f.GetDurationSeconds(), "seconds");
        QTEST(f.GetDuration(), "duration");
        QTEST(f.GetDurationFrameBool(false), "frames");
        QTEST(f.GetDurationFrameBool(true), "framesPullDown");
    }

    void frameRates_data()
    {
        QTest::addColumn<QByteArray>("code");   // "-" = no film chunk
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("fps");
        QTest::newRow("24.00") << QByteArray("24.00") << "24Fps" << 24;
        QTest::newRow("25.00") << QByteArray("25.00") << "25Fps" << 25;
        QTest::newRow("29.97") << QByteArray("29.97") << "29.97df" << 30;
        QTest::newRow("30.00") << QByteArray("30.00") << "30Fps" << 30;
        QTest::newRow("24.DRIFT") << QByteArray("24.DRIFT") << "23.98nd-A" << 24;
        QTest::newRow("30.DRIFT") << QByteArray("30.DRIFT") << "29.97nd-A" << 30;
        QTest::newRow("24.DRIF2") << QByteArray("24.DRIF2") << "23.98nd-B" << 24;
        QTest::newRow("30.DRIF2") << QByteArray("30.DRIF2") << "29.97nd-B" << 30;
        QTest::newRow("24.DRIF3") << QByteArray("24.DRIF3") << "23.98nd-C" << 24;
        QTest::newRow("30.DRIF3") << QByteArray("30.DRIF3") << "29.97nd-C" << 30;
        QTest::newRow("23.976 not in the table") << QByteArray("23.976") << "" << 24;
        QTest::newRow("48.00 counts as 48") << QByteArray("48.00") << "" << 48;
        QTest::newRow("29.970 longer than a row") << QByteArray("29.970") << "" << 30;
        QTest::newRow("not a number") << QByteArray("xx.00") << "" << 24;
        QTest::newRow("empty code") << QByteArray("") << "" << 24;
        QTest::newRow("no film chunk") << QByteArray("-") << "" << 24;
        QTest::newRow("ten characters, no NUL") << QByteArray("25.00ABCDE") << "" << 25;
    }

    void frameRates()
    {
        QFETCH(QByteArray, code);
        QSoundFile f;
        if (code != "-")
            setFilmCode(f, code);
        QTEST(f.GetFrameRate(), "text");
        QTEST(int(f.GetNumerikFrameRate()), "fps");
    }

    void zeroFormatNeverDivides_data()
    {
        QTest::addColumn<quint32>("rate");
        QTest::addColumn<quint16>("channels");
        QTest::addColumn<quint16>("bits");
        QTest::newRow("rate 0") << 0u << quint16(1) << quint16(24);
        QTest::newRow("channels 0") << 48000u << quint16(0) << quint16(24);
        QTest::newRow("bits 0") << 48000u << quint16(1) << quint16(0);
        QTest::newRow("4 bits") << 48000u << quint16(1) << quint16(4);
        QTest::newRow("all 0") << 0u << quint16(0) << quint16(0);
    }

    void zeroFormatNeverDivides()
    {
        QFETCH(quint32, rate);
        QFETCH(quint16, channels);
        QFETCH(quint16, bits);
        QSoundFile f;
        setFormat(f, rate, channels, bits);
        setData(f, 480000);
        setTimeReference(f, 123456789);
        setFilmCode(f, "25.00");
        QCOMPARE(f.GetDurationSeconds(), 0u);
        QCOMPARE(f.GetDurationFrameBool(false), 0u);
        QCOMPARE(f.GetDurationFrameBool(true), 0u);
        QCOMPARE(f.GetDuration(), QStringLiteral("00:00:00"));
        if (rate == 0) {
            QCOMPARE(f.GetTimeCode(false), QStringLiteral("00:00:00"));
            QCOMPARE(f.GetTimeCodeSeconds(true), qint64(0));
            QCOMPARE(f.GetTimeCodeRest(false), qint64(0));
            QCOMPARE(f.GetTimeCodeFrame(false), 0u);
        }
        if (channels == 0 || bits < 8)
            QCOMPARE(f.GetNbTotalSample(), 0u);
    }

    void bextTexts_data()
    {
        QTest::addColumn<QByteArray>("date");
        QTest::addColumn<QByteArray>("time");
        QTest::addColumn<QByteArray>("originator");
        QTest::addColumn<QByteArray>("reference");
        QTest::addColumn<QString>("creationDate");
        QTest::addColumn<QString>("creationTime");
        QTest::addColumn<QString>("creator");
        QTest::addColumn<QString>("ref");
        QTest::newRow("recorder fields") << QByteArray("2019:03:21") << QByteArray("10:15:30")
                                         << QByteArray("PAVANE V01.23.45 SN000123")
                                         << QByteArray("VELPAV0000000000000000000000000A") << "2019-03-21" << "10:15:30"
                                         << "PAVANE V01.23.45 SN000123" << "VELPAV0000000000000000000000000A";
        QTest::newRow("hyphens kept") << QByteArray("2019-03-21") << QByteArray("10:15:30") << QByteArray("X")
                                      << QByteArray("REF") << "2019-03-21" << "10:15:30" << "X"
                                      << QString(29, QLatin1Char(' ')) + QStringLiteral("REF");
        QTest::newRow("all NULs") << QByteArray() << QByteArray() << QByteArray() << QByteArray() << "" << "" << "" << "";
        QTest::newRow("32-byte originator without NUL")
            << QByteArray("2019:03:21") << QByteArray("10:15:30") << QByteArray(32, 'O') << QByteArray(32, 'R')
            << "2019-03-21" << "10:15:30" << QString(32, QLatin1Char('O')) << QString(32, QLatin1Char('R'));
    }

    void bextTexts()
    {
        QFETCH(QByteArray, date);
        QFETCH(QByteArray, time);
        QFETCH(QByteArray, originator);
        QFETCH(QByteArray, reference);
        QSoundFile f;
        f.m_tBextChunk.SetChunkID("bext");
        setText(f, bwf::kBextOriginationDate, date);
        setText(f, bwf::kBextOriginationTime, time);
        setText(f, bwf::kBextOriginator, originator);
        setText(f, bwf::kBextOriginatorReference, reference);
        setTimeReference(f, 0x5A5A5A5A5A5A5A5AULL);   // the next field must not leak into the texts
        QTEST(f.GetCreationDate(), "creationDate");
        QTEST(f.GetCreationTime(), "creationTime");
        QTEST(f.GetCreator(), "creator");
        QTEST(f.GetRef(), "ref");
    }

    void frameTimeCode_data()
    {
        QTest::addColumn<qulonglong>("frames");
        QTest::addColumn<int>("fps");
        QTest::addColumn<QString>("text");
        QTest::newRow("one hour at 25") << 90000ULL << 25 << "01:00:00:00";
        QTest::newRow("last frame of a day at 30") << 2591999ULL << 30 << "23:59:59:29";
        QTest::newRow("zero") << 0ULL << 24 << "00:00:00:00";
        QTest::newRow("mixed at 24") << 24ULL * 3723 + 7 << 24 << "01:02:03:07";
        QTest::newRow("100 hours") << 25ULL * 3600 * 100 << 25 << "100:00:00:00";
        QTest::newRow("0 fps") << 90000ULL << 0 << "--:--:--:--";
        QTest::newRow("negative fps") << 90000ULL << -25 << "--:--:--:--";
    }

    void frameTimeCode()
    {
        QFETCH(qulonglong, frames);
        QFETCH(int, fps);
        QTEST(GetTimeCode(static_cast<unsigned long>(frames), short(fps)), "text");
    }

    void long64ToString_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("1234567") << qint64(1234567) << " 0,001,234,567";
        QTest::newRow("-5") << qint64(-5) << "-0,000,000,005";
        QTest::newRow("zero") << qint64(0) << " 0,000,000,000";
        QTest::newRow("ten billion") << qint64(10000000001LL) << " 10,000,000,001";
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << " 9223372036,854,775,807";
        QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << "-9223372036,854,775,808";
    }

    void long64ToString()
    {
        QFETCH(qint64, value);
        QTEST(Long64ToString(value), "text");
    }
};

QTEST_MAIN(TestTiming)
#include "tst_timing.moc"
