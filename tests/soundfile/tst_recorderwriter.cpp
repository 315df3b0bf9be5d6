// SPDX-License-Identifier: GPL-3.0-or-later
// The fixture writer checked against readers we did not write: ffprobe
// (format, bext fields) and sox (every sample). Chunk places and records are
// checked against our scan in tst_soundfile_read.

#include "SoundFixtures.h"
#include "SoundTestKit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using testsupport::offsetOf;
using testsupport::u32At;

class TestRecorderWriter : public QObject
{
    Q_OBJECT
private slots:
    // The film record and the speed line that follows its frame rate code.
    void filmFields()
    {
        RecorderFileSpec spec;
        spec.timeReference = 48000ULL * 3600 + 100;
        spec.frameRateCode = "30.DRIF2";
        QList<RecorderChunkPlace> places;
        const QByteArray b = RecorderFileWriter::build(spec, &places);
        const int r = int(offsetOf(places, "film"));
        QCOMPARE(b.mid(r + bwf::kFilmStartTimeText, 8), QByteArray("01:00:01"));
        QCOMPARE(u32At(b, r + bwf::kFilmSampleOffset), 48000u - 100u);   // start time minus offset = time reference
        QCOMPARE(b.mid(r + bwf::kFilmFrameRateCode, 10), QByteArray("30.DRIF2\0\0", 10));
        QCOMPARE(RecorderFileSpec::speedText("29.97") + RecorderFileSpec::speedText("24.DRIF3") + RecorderFileSpec::speedText("30.DRIFT")
                     + RecorderFileSpec::speedText("48.00"), QByteArray("029.970-DF023.976-ND029.970-ND"));
    }

    // ffprobe reads the format and the bext fields; sox decodes every sample.
    void otherReaders_data()
    {
        kit::columns<quint32, int, int, quint32, quint64>("rate", "bits", "channels", "frames", "timeReference");
        QTest::newRow("48k/24, odd size, one hour") << 48000u << 24 << 1 << 1001u << quint64(48000ULL * 3600);
        QTest::newRow("96k/24, past 2^32") << 96000u << 24 << 1 << 999u << quint64(0x1000000A0ULL);
        QTest::newRow("44.1k/16 stereo, zero") << 44100u << 16 << 2 << 500u << quint64(0);
        QTest::newRow("32-bit") << 48000u << 32 << 1 << 300u << quint64(7);
        QTest::newRow("8-bit (unsigned on disk)") << 48000u << 8 << 1 << 301u << quint64(7);
        QTest::newRow("24-bit, 3 channels") << 48000u << 24 << 3 << 257u << quint64(7);
    }
    void otherReaders()
    {
        if (!testsupport::haveTool(QStringLiteral("ffprobe")) || !testsupport::haveTool(QStringLiteral("sox")))
            QSKIP("ffprobe or sox is not installed");
        QFETCH(quint32, rate); QFETCH(int, bits); QFETCH(int, channels); QFETCH(quint32, frames); QFETCH(quint64, timeReference);
        QTemporaryDir dir;
        RecorderFileSpec spec;
        spec.sampleRate = rate;
        spec.bitsPerSample = quint16(bits);
        spec.channels = quint16(channels);
        spec.frames = frames;
        spec.timeReference = timeReference;
        spec.audioSeed = 7;
        const QString path = testsupport::writeSpec(dir.filePath(QStringLiteral("AA0001_01.WAV")), spec);
        testsupport::ProcessResult r = testsupport::run(QStringLiteral("ffprobe"),
            {"-v", "error", "-show_entries", "stream=sample_rate,bits_per_sample,channels,duration_ts:format_tags", "-of", "json", path});
        const QJsonObject o = QJsonDocument::fromJson(r.out).object();
        const QJsonObject stream = o.value(QStringLiteral("streams")).toArray().at(0).toObject();
        const QJsonObject tags = o.value(QStringLiteral("format")).toObject().value(QStringLiteral("tags")).toObject();
        QCOMPARE(QStringList({stream.value("sample_rate").toString(), QString::number(stream.value("bits_per_sample").toInt()),
                              QString::number(stream.value("channels").toInt()), QString::number(stream.value("duration_ts").toInt()),
                              tags.value("time_reference").toString(), tags.value("encoded_by").toString(),
                              tags.value("date").toString(), tags.value("creation_time").toString(), tags.value("comment").toString(),
                              tags.value("coding_history").toString()}),
                 QStringList({QString::number(rate), QString::number(bits), QString::number(channels), QString::number(frames),
                              QString::number(timeReference), "PAVANE V01.23.45 SN000123", "2019:05:14", "10:15:30",
                              "aSCENE=12A\r\naTAKE=3\r\naTAPE=DAY1\r\naUBITS=00000000\r\naSPEED=025.000-ND\r\naNOTE=good\r\n",
                              QStringLiteral("A=PCM,F=%1,W=%2,M=%3,T=PAVANE\r\n").arg(rate).arg(bits)
                                  .arg(channels == 1 ? "mono" : "multi")}));
        // Decoded as 32-bit signed little-endian: the value sits in the top bits.
        r = testsupport::run(QStringLiteral("sox"), {"-D", path, "-t", "raw", "-e", "signed", "-b", "32", "-L", "-"});
        QCOMPARE(r.out.size(), int(frames) * channels * 4);
        int distinct = 0;
        for (quint32 f = 0; f < frames; ++f) {
            for (quint16 c = 0; c < channels; ++c) {
                const qint32 expected = RecorderFileSpec::sampleValue(7, f, c, quint16(bits));
                if ((qint32(u32At(r.out, int((f * quint32(channels) + c) * 4))) >> (32 - bits)) != expected)
                    QFAIL(qPrintable(QStringLiteral("frame %1 channel %2 differs").arg(f).arg(c)));
                distinct += f > 0 && expected != RecorderFileSpec::sampleValue(7, f - 1, c, quint16(bits));
            }
        }
        QVERIFY(distinct > int(frames) * channels / 2);   // really varying audio, not silence
    }

};

QTEST_MAIN(TestRecorderWriter)
#include "tst_recorderwriter.moc"
