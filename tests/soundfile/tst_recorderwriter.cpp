// SPDX-License-Identifier: GPL-3.0-or-later
// The fixture writer checked byte by byte and against readers we did not
// write: ffprobe (format, bext), sox (samples) and Qt's DOM (iXML).

#include "SoundFixtures.h"
#include "SoundTestKit.h"

#include <QDomDocument>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using testsupport::offsetOf;
using testsupport::u32At;

namespace {

QString ids(const QList<RecorderChunkPlace>& places)
{
    QStringList out;
    for (const RecorderChunkPlace& p : places)
        out << QString::fromLatin1(p.id);
    return out.join(QLatin1Char(' '));
}

// The iXML chunk of `file` parsed by Qt's DOM; "A/B=text" for each of `paths`.
QString ixmlTexts(const QByteArray& file, const QList<RecorderChunkPlace>& places, const QString& paths)
{
    const quint32 at = offsetOf(places, "iXML");
    QDomDocument doc;
    if (!doc.setContent(file.mid(int(at) + 8, int(u32At(file, at + 4)))))
        return QStringLiteral("<no document>");
    return kit::ask(paths, [&](const QString& path) {
        QDomElement e = doc.documentElement();
        for (const QString& part : path.split(QLatin1Char('/')))
            e = e.firstChildElement(part);
        return e.isNull() ? QStringLiteral("<missing>") : e.text();
    });
}

} // namespace

class TestRecorderWriter : public QObject
{
    Q_OBJECT
private slots:
    void layout()
    {
        RecorderFileSpec spec;
        spec.frames = 1001;   // odd data size at 24-bit mono: no pad byte on the recorder
        QList<RecorderChunkPlace> places;
        const QByteArray b = RecorderFileWriter::build(spec, &places);
        QCOMPARE(b.left(4) + QByteArray::number(u32At(b, 4)) + b.mid(8, 4), "RIFF" + QByteArray::number(b.size() - 8) + "WAVE");
        QCOMPARE(ids(places), QStringLiteral("bext fmt  film vlta iXML data ond1"));
        quint32 next = 12;   // chunks follow one another without pad bytes
        QStringList sizes;
        for (const RecorderChunkPlace& p : places) {
            QCOMPARE(p.offset, next);
            QCOMPARE(b.mid(int(p.offset), 4) + QByteArray::number(u32At(b, p.offset + 4)), p.id + QByteArray::number(p.size));
            sizes << QString::number(p.size);
            next = p.offset + 8 + p.size;
        }
        QCOMPARE(next, quint32(b.size()));
        QCOMPARE(sizes.join(QLatin1Char(' ')), QStringLiteral("858 16 1572 64 61440 3003 404"));
        const quint32 fmt = offsetOf(places, "fmt ") + 8;
        QCOMPARE(QList<quint32>({u32At(b, fmt) & 0xFFFF, u32At(b, fmt + 2) & 0xFFFF, u32At(b, fmt + 4), u32At(b, fmt + 8),
                                 u32At(b, fmt + 12) & 0xFFFF, u32At(b, fmt + 14) & 0xFFFF, u32At(b, offsetOf(places, "ond1") + 8)}),
                 QList<quint32>({1, 1, 48000, 144000, 3, 24, 4800}));

        spec.ixmlLast = true;   // iXML last, and extra chunks around the recorder's own
        spec.extraBefore = {ExtraChunk{"JUNK", QByteArray(3, 'j'), true, 0}};
        spec.extraAfter = {ExtraChunk{"LIST", QByteArray(5, 'l'), false, 0}};
        const QByteArray c = RecorderFileWriter::build(spec, &places);
        QCOMPARE(ids(places), QStringLiteral("JUNK bext fmt  film vlta data ond1 LIST iXML"));
        QCOMPARE(offsetOf(places, "bext"), 12u + 8 + 3 + 1);   // pad byte after the odd JUNK
        QCOMPARE(offsetOf(places, "iXML"), offsetOf(places, "LIST") + 8 + 5);
        QCOMPARE(quint32(c.size()), offsetOf(places, "iXML") + 8 + 61440);
    }

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

    void ixmlDocument()
    {
        RecorderFileSpec spec;
        spec.timeReference = 0x100000010ULL;
        spec.ixml.scene = QStringLiteral("Été 1");
        spec.ixml.note = QStringLiteral("a<b & 'c' \"d\"");
        spec.ixml.channelIndex = 3;
        spec.ixml.trackName = QStringLiteral("Boom");
        spec.ixml.totalFiles = 4;
        spec.ixml.originalFileName = QStringLiteral("AA0001_03.WAV");
        QList<RecorderChunkPlace> places;
        QByteArray b = RecorderFileWriter::build(spec, &places);
        const int at = int(offsetOf(places, "iXML")) + 8;
        QVERIFY(b.mid(at, 61440).startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML>\n") && b.at(at + 61439) == ' ');
        QVERIFY(b.contains("\xC3\x89t\xC3\xA9 1"));   // UTF-8
        const QString expected = QStringLiteral(
            "SCENE=Été 1;NOTE=a<b & 'c' \"d\";FILE_UID=VELPAVV01.2201905141015300010003;SPEED/FILE_SAMPLE_RATE=48000;"
            "SPEED/TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO=16;HISTORY/ORIGINAL_FILENAME=AA0001_03.WAV;FILE_SET/TOTAL_FILES=4;"
            "FILE_SET/FILE_SET_INDEX=3;TRACK_LIST/TRACK/CHANNEL_INDEX=3;TRACK_LIST/TRACK/NAME=Boom;BEXT/BWF_TIME_REFERENCE_LOW=16;"
            "VELTA_PAVANE/REF_LEVEL=-18dBFS;VELTA_PAVANE/SCTK_TEMPLATE=<missing>;VELTA_PAVANE/ALL_TRK_NAME/DATA/NAME=;"
            "VELTA_PAVANE/ALL_TRK_NAME/DATA/ACTIVE=NO");
        QCOMPARE(ixmlTexts(b, places, expected), expected);

        spec.ixml.take = QStringLiteral("12");
        spec.ixml.takeType = QStringLiteral("NOT_GOOD");
        spec.ixml.sctkTemplate = 3;
        spec.ixml.advancedComposition = QStringLiteral("SQ-SL");
        spec.ixml.advancedFields = {{QStringLiteral("SEQUENCE"), QStringLiteral("42")}};
        spec.ixml.polyTrackNames = QStringList({"L", "R", "Boom"});
        spec.ixml.syncPoints = {{QStringLiteral("SLATE_GENERIC"), 24000u}};
        spec.ixml.syncComments = QStringList({"AUTO"});
        spec.ixml.padTo = 0;
        b = RecorderFileWriter::build(spec, &places);
        QVERIFY(u32At(b, offsetOf(places, "iXML") + 4) < 61440u);   // no padding asked
        const QString variants = QStringLiteral(
            "TAKE_TYPE=NOT_GOOD;VELTA_PAVANE/SCTK_TEMPLATE=3;VELTA_PAVANE/ADV_TPL/COMP=SQ-SL;VELTA_PAVANE/ADV_TPL/SEQUENCE=42;"
            "TRACK_LIST/TRACK_COUNT=3;TRACK_LIST/TRACK/NAME=L;SYNC_POINT_LIST/SYNC_POINT/SYNC_POINT_COMMENT=AUTO;"
            "SYNC_POINT_LIST/SYNC_POINT/SYNC_POINT_LOW=24000");
        QCOMPARE(ixmlTexts(b, places, variants), variants);
        spec.ixmlRaw = "<ROOT/>";   // a raw document replaces the generated one byte for byte
        b = RecorderFileWriter::build(spec, &places);
        QCOMPARE(b.mid(int(offsetOf(places, "iXML")) + 4, 11), QByteArray("\x07\0\0\0<ROOT/>", 11));
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

    void monoTake()
    {
        QTemporaryDir dir;
        RecorderFileSpec base;
        QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AB0007"), 3, base));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"AB0007_01.WAV", "AB0007_02.WAV", "AB0007_03.WAV"}));
        for (int n = 1; n <= 3; ++n) {
            const QByteArray b = testsupport::readAll(dir.filePath(QStringLiteral("AB0007_0%1.WAV").arg(n)));
            QList<RecorderChunkPlace> places;
            RecorderFileWriter::build(RecorderFileWriter::monoTrackSpec(base, 3, n), &places);
            const QString expected = QStringLiteral("TRACK_LIST/TRACK/CHANNEL_INDEX=%1;TRACK_LIST/TRACK/NAME=Trk%1;FILE_SET/TOTAL_FILES=3;"
                                                    "HISTORY/ORIGINAL_FILENAME=AB0007_0%1.WAV").arg(n);
            QCOMPARE(ixmlTexts(b, places, expected), expected);
            const int bext = int(offsetOf(places, "bext"));
            QCOMPARE(b.at(bext + bwf::kBextOriginatorReference + 31), char('0' + n));   // the reference numbers the file
            QCOMPARE(int(b.at(bext + bwf::kBextUmid + 31)), n - 1);                     // last UMID material byte
            QCOMPARE(b.mid(int(offsetOf(places, "ond" + QByteArray::number(n))), 4), "ond" + QByteArray::number(n));
            QCOMPARE(qint32(u32At(b, offsetOf(places, "data") + 8) << 8) >> 8, RecorderFileSpec::sampleValue(base.audioSeed + quint32(n - 1), 0, 0, 24));
        }
    }
};

QTEST_MAIN(TestRecorderWriter)
#include "tst_recorderwriter.moc"
