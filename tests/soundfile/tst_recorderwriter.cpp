// SPDX-License-Identifier: GPL-3.0-or-later
// The fixture writer checked byte by byte and against readers we did not
// write: ffprobe (format, time reference), sox (samples) and Qt's DOM (iXML).

#include "SoundFixtures.h"

#include <QDomDocument>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {
using testsupport::u32At;
quint16 u16At(const QByteArray& b, int offset) { return quint16(u32At(b, offset) & 0xFFFF); }
RecorderChunkPlace place(const QList<RecorderChunkPlace>& places, const QByteArray& id)
{
    for (const RecorderChunkPlace& p : places)
        if (p.id == id)
            return p;
    return RecorderChunkPlace{};
}
QDomElement parseIxml(const QByteArray& file, const QList<RecorderChunkPlace>& places)
{
    const RecorderChunkPlace p = place(places, "iXML");
    const QByteArray body = file.mid(int(p.offset) + 8, int(p.size));
    QDomDocument doc;
    QString error;
    int line = 0, column = 0;
    if (!doc.setContent(body, &error, &line, &column))
        qWarning("iXML does not parse: %s at %d:%d", qPrintable(error), line, column);
    return doc.documentElement();
}
QString text(const QDomElement& e, const char* path)
{
    QDomElement cur = e;
    for (const QString& name : QString::fromLatin1(path).split(QLatin1Char('/')))
        cur = cur.firstChildElement(name);
    return cur.isNull() ? QStringLiteral("<missing>") : cur.text();
}
// Each "PATH=text" of `expected` holds in the document.
void expectTexts(const QDomElement& root, const QStringList& expected)
{
    for (const QString& e : expected)
        QCOMPARE(e.section(QLatin1Char('='), 0, 0) + QLatin1Char('=') + text(root, qPrintable(e.section(QLatin1Char('='), 0, 0))), e);
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

        QCOMPARE(b.left(4), QByteArray("RIFF"));
        QCOMPARE(u32At(b, 4), quint32(b.size() - 8));
        QCOMPARE(b.mid(8, 4), QByteArray("WAVE"));

        QStringList order;
        for (const RecorderChunkPlace& p : places)
            order << QString::fromLatin1(p.id);
        QCOMPARE(order, QStringList({"bext", "fmt ", "film", "vlta", "iXML", "data", "ond1"}));

        // Chunks follow one another without pad bytes.
        quint32 expected = 12;
        for (const RecorderChunkPlace& p : places) {
            QCOMPARE(p.offset, expected);
            QCOMPARE(b.mid(int(p.offset), 4), p.id);
            QCOMPARE(u32At(b, int(p.offset) + 4), p.size);
            expected = p.offset + 8 + p.size;
        }
        QCOMPARE(expected, quint32(b.size()));

        QCOMPARE(place(places, "bext").size, 858u);
        QCOMPARE(place(places, "film").size, 1572u);
        QCOMPARE(place(places, "iXML").size, 61440u);
        QCOMPARE(place(places, "data").size, 1001u * 3);

        const int fmt = int(place(places, "fmt ").offset) + 8;
        QCOMPARE(place(places, "fmt ").size, 16u);
        QCOMPARE(QList<quint32>({u16At(b, fmt), u16At(b, fmt + 2), u32At(b, fmt + 4), u32At(b, fmt + 8), u16At(b, fmt + 12),
                                 u16At(b, fmt + 14)}),
                 QList<quint32>({1, 1, 48000, 144000, 3, 24}));

        const int onde = int(place(places, "ond1").offset) + 8;
        QCOMPARE(u32At(b, onde), 4800u);   // samples per peak point

        // iXML last, and extra chunks around the recorder's own.
        spec.ixmlLast = true;
        spec.extraBefore = {ExtraChunk{"JUNK", QByteArray(3, 'j'), true, 0}};
        spec.extraAfter = {ExtraChunk{"LIST", QByteArray(5, 'l'), false, 0}};
        const QByteArray c = RecorderFileWriter::build(spec, &places);
        order.clear();
        for (const RecorderChunkPlace& p : places)
            order << QString::fromLatin1(p.id);
        QCOMPARE(order, QStringList({"JUNK", "bext", "fmt ", "film", "vlta", "data", "ond1", "LIST", "iXML"}));
        QCOMPARE(place(places, "bext").offset, 12u + 8 + 3 + 1);   // pad byte after the odd JUNK
        QCOMPARE(place(places, "iXML").offset, place(places, "LIST").offset + 8 + 5);
        QCOMPARE(quint32(c.size()), place(places, "iXML").offset + 8 + 61440);
    }

    void bextFields()
    {
        RecorderFileSpec spec;
        spec.timeReference = 0x123456789ULL;
        spec.umid = QByteArray("\x06\x0a\x2b\x34", 4);
        QList<RecorderChunkPlace> places;
        const QByteArray b = RecorderFileWriter::build(spec, &places);
        const int r = int(place(places, "bext").offset);   // record offsets include the header
        QCOMPARE(b.mid(r + 8, 256).left(b.mid(r + 8, 256).indexOf('\0')),
                 QByteArray("aSCENE=12A\r\naTAKE=3\r\naTAPE=DAY1\r\naUBITS=00000000\r\naSPEED=025.000-ND\r\naNOTE=good\r\n"));
        QCOMPARE(b.mid(r + 264, 32), QByteArray("PAVANE V01.23.45 SN000123").leftJustified(32, '\0'));
        QCOMPARE(b.mid(r + 296, 32), QByteArray("VELPAV0000000000000000000000000A"));
        QCOMPARE(b.mid(r + 328, 10), QByteArray("2019:05:14"));
        QCOMPARE(b.mid(r + 338, 8), QByteArray("10:15:30"));
        QCOMPARE(QList<quint32>({u32At(b, r + 346), u32At(b, r + 350), u16At(b, r + 354)}), QList<quint32>({0x23456789u, 1, 1}));
        QCOMPARE(b.mid(r + 356, 4), QByteArray("\x06\x0a\x2b\x34", 4));
        QCOMPARE(b.mid(r + 610, 35), QByteArray("A=PCM,F=48000,W=24,M=mono,T=PAVANE\r\n").left(35));

        // An explicit Description, and a short bext chunk.
        spec.description = RecorderFileWriter::descriptionLines({{"aTAKE=", "1234567"}});
        spec.bextDataSize = 300;
        const QByteArray s = RecorderFileWriter::build(spec, &places);
        const int r2 = int(place(places, "bext").offset);
        QCOMPARE(place(places, "bext").size, 300u);
        QCOMPARE(s.mid(r2 + 8, 16), QByteArray("aTAKE=1234567\r\n\0", 16));
        QCOMPARE(s.mid(r2 + 8 + 300, 4), QByteArray("fmt "));
    }

    void filmFields()
    {
        RecorderFileSpec spec;
        spec.timeReference = 48000ULL * 3600 + 100;
        spec.frameRateCode = "30.DRIF2";
        QList<RecorderChunkPlace> places;
        const QByteArray b = RecorderFileWriter::build(spec, &places);
        const int r = int(place(places, "film").offset);
        QCOMPARE(b.mid(r, 4), QByteArray("film"));
        QCOMPARE(u32At(b, r + 4), 1572u);
        QCOMPARE(b.mid(r + 12, 8), QByteArray("01:00:01"));
        // start time text in samples minus the offset gives the time reference
        QCOMPARE(u32At(b, r + 60), 48000u - 100u);
        QCOMPARE(b.mid(r + 278, 10), QByteArray("30.DRIF2\0\0", 10));
        // The speed line of the Description follows the film code.
        QCOMPARE(QList<QByteArray>({RecorderFileSpec::speedText("29.97"), RecorderFileSpec::speedText("24.DRIF3"),
                                    RecorderFileSpec::speedText("30.DRIFT"), RecorderFileSpec::speedText("48.00")}),
                 QList<QByteArray>({"029.970-DF", "023.976-ND", "029.970-ND", ""}));
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
        const QByteArray b = RecorderFileWriter::build(spec, &places);
        const RecorderChunkPlace p = place(places, "iXML");
        QCOMPARE(p.size, 61440u);
        QVERIFY(b.mid(int(p.offset) + 8, int(p.size)).startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML>\n"));
        QCOMPARE(b.at(int(p.offset) + 8 + 61439), ' ');
        QVERIFY(b.contains("\xC3\x89t\xC3\xA9 1"));   // UTF-8

        const QDomElement root = parseIxml(b, places);
        const QStringList order = [&] {
            QStringList names;
            for (QDomElement e = root.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
                names << e.tagName();
            return names;
        }();
        QCOMPARE(order, QStringList({"IXML_VERSION", "PROJECT", "SCENE", "TAKE", "TAPE", "CIRCLED", "UBITS", "NOTE",
                                     "FILE_UID", "SPEED", "HISTORY", "FILE_SET", "TRACK_LIST", "SYNC_POINT_LIST",
                                     "BEXT", "VELTA_PAVANE"}));
        expectTexts(root, {"SCENE=Été 1", "NOTE=a<b & 'c' \"d\"", "FILE_UID=VELPAVV01.2201905141015300010003",
                           "SPEED/FILE_SAMPLE_RATE=48000", "SPEED/TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO=16",
                           "HISTORY/ORIGINAL_FILENAME=AA0001_03.WAV", "FILE_SET/TOTAL_FILES=4", "FILE_SET/FILE_SET_INDEX=3",
                           "TRACK_LIST/TRACK/CHANNEL_INDEX=3", "TRACK_LIST/TRACK/NAME=Boom", "BEXT/BWF_TIME_REFERENCE_LOW=16",
                           "VELTA_PAVANE/REF_LEVEL=-18dBFS", "VELTA_PAVANE/SCTK_TEMPLATE=<missing>"});

        const QDomElement table = root.firstChildElement(QStringLiteral("VELTA_PAVANE")).firstChildElement(QStringLiteral("ALL_TRK_NAME"));
        QCOMPARE(table.elementsByTagName(QStringLiteral("DATA")).count(), 24);
        int i = 0;
        for (QDomElement d = table.firstChildElement(); !d.isNull(); d = d.nextSiblingElement(), ++i) {
            QCOMPARE(text(d, "INDICE"), QString::number(i));
            QCOMPARE(text(d, "NAME"), i == 2 ? QStringLiteral("Boom") : QString());
            QCOMPARE(text(d, "ACTIVE"), i == 2 ? QStringLiteral("YES") : QStringLiteral("NO"));
        }
    }

    void ixmlVariants()
    {
        RecorderFileSpec spec;
        spec.ixml.take = QStringLiteral("12");
        spec.ixml.takeType = QStringLiteral("NOT_GOOD");
        spec.ixml.sctkTemplate = 3;
        spec.ixml.advancedComposition = QStringLiteral("SQ-SL");
        spec.ixml.advancedFields = {{QStringLiteral("SEQUENCE"), QStringLiteral("42")},
                                    {QStringLiteral("SEP1"), QStringLiteral("-")}};
        spec.ixml.polyTrackNames = QStringList({"L", "R", "Boom"});
        spec.ixml.polyChannelIndexes = {1, 2, 5};
        spec.ixml.polyTrackFunctions = QStringList({"LEFT", "RIGHT"});
        spec.ixml.syncPoints = {{QStringLiteral("SLATE_GENERIC"), 24000u}, {QStringLiteral("MARKER_GENERIC"), 96000u}};
        spec.ixml.syncComments = QStringList({"AUTO", "mark"});
        spec.ixml.allTrackEntries = 30;
        spec.ixml.allTrackNames = QStringList({"Mix", "", "Boom"});
        spec.ixml.padTo = 0;
        QList<RecorderChunkPlace> places;
        const QByteArray b = RecorderFileWriter::build(spec, &places);
        QVERIFY(place(places, "iXML").size < 61440u);   // no padding asked
        const QDomElement root = parseIxml(b, places);
        expectTexts(root, {"TAKE_TYPE=NOT_GOOD", "VELTA_PAVANE/SCTK_TEMPLATE=3", "VELTA_PAVANE/ADV_TPL/COMP=SQ-SL",
                           "VELTA_PAVANE/ADV_TPL/SEQUENCE=42", "TRACK_LIST/TRACK_COUNT=3"});
        const QDomNodeList tracks = root.firstChildElement(QStringLiteral("TRACK_LIST")).elementsByTagName(QStringLiteral("TRACK"));
        QCOMPARE(tracks.count(), 3);
        QCOMPARE(text(tracks.at(2).toElement(), "CHANNEL_INDEX"), QStringLiteral("5"));
        QCOMPARE(text(tracks.at(2).toElement(), "NAME"), QStringLiteral("Boom"));
        QCOMPARE(text(tracks.at(1).toElement(), "FUNCTION"), QStringLiteral("RIGHT"));
        const QDomNodeList sync = root.elementsByTagName(QStringLiteral("SYNC_POINT"));
        QCOMPARE(sync.count(), 2);
        QCOMPARE(text(sync.at(0).toElement(), "SYNC_POINT_COMMENT"), QStringLiteral("AUTO"));
        QCOMPARE(text(sync.at(1).toElement(), "SYNC_POINT_LOW"), QStringLiteral("96000"));
        const QDomNodeList data = root.elementsByTagName(QStringLiteral("DATA"));
        QCOMPARE(data.count(), 30);
        QCOMPARE(text(data.at(29).toElement(), "INDICE"), QStringLiteral("29"));
        QCOMPARE(text(data.at(2).toElement(), "ACTIVE"), QStringLiteral("YES"));

        // A raw document replaces the generated one byte for byte.
        spec.ixmlRaw = "<ROOT/>";
        const QByteArray r = RecorderFileWriter::build(spec, &places);
        QCOMPARE(place(places, "iXML").size, 7u);
        QCOMPARE(r.mid(int(place(places, "iXML").offset) + 8, 7), QByteArray("<ROOT/>"));
    }

    void ffprobeReadsFormatAndTimeReference_data()
    {
        QTest::addColumn<quint32>("rate");
        QTest::addColumn<quint16>("bits");
        QTest::addColumn<quint64>("timeReference");
        QTest::newRow("48k/24, one hour") << 48000u << quint16(24) << quint64(48000ULL * 3600);
        QTest::newRow("96k/24, past 2^32") << 96000u << quint16(24) << quint64(0x1000000A0ULL);
        QTest::newRow("44.1k/16, zero") << 44100u << quint16(16) << quint64(0);
    }

    void ffprobeReadsFormatAndTimeReference()
    {
        if (!testsupport::haveTool(QStringLiteral("ffprobe")))
            QSKIP("ffprobe is not installed");
        QFETCH(quint32, rate);
        QFETCH(quint16, bits);
        QFETCH(quint64, timeReference);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        RecorderFileSpec spec;
        spec.sampleRate = rate;
        spec.bitsPerSample = bits;
        spec.timeReference = timeReference;
        spec.frames = 999;
        const QString path = dir.filePath(QStringLiteral("AA0001_01.WAV"));
        QString error;
        QVERIFY2(RecorderFileWriter::write(path, spec, &error), qPrintable(error));

        const testsupport::ProcessResult r = testsupport::run(
            QStringLiteral("ffprobe"),
            {"-v", "error", "-show_entries", "stream=sample_rate,bits_per_sample,channels,duration_ts:format_tags=time_reference",
             "-of", "json", path});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        const QJsonObject o = QJsonDocument::fromJson(r.out).object();
        const QJsonObject stream = o.value(QStringLiteral("streams")).toArray().at(0).toObject();
        QCOMPARE(stream.value(QStringLiteral("sample_rate")).toString(), QString::number(rate));
        QCOMPARE(stream.value(QStringLiteral("bits_per_sample")).toInt(), int(bits));
        QCOMPARE(stream.value(QStringLiteral("channels")).toInt(), 1);
        QCOMPARE(stream.value(QStringLiteral("duration_ts")).toInt(), 999);
        QCOMPARE(o.value(QStringLiteral("format")).toObject().value(QStringLiteral("tags")).toObject()
                     .value(QStringLiteral("time_reference")).toString(),
                 QString::number(timeReference));
    }

    void soxDecodesSamples_data()
    {
        QTest::addColumn<quint16>("bits");
        QTest::addColumn<quint16>("channels");
        QTest::addColumn<quint32>("frames");
        QTest::newRow("24-bit mono, odd size") << quint16(24) << quint16(1) << 1001u;
        QTest::newRow("16-bit stereo") << quint16(16) << quint16(2) << 500u;
        QTest::newRow("32-bit mono") << quint16(32) << quint16(1) << 300u;
        QTest::newRow("8-bit mono (unsigned on disk)") << quint16(8) << quint16(1) << 301u;
        QTest::newRow("24-bit, 3 channels") << quint16(24) << quint16(3) << 257u;
    }

    void soxDecodesSamples()
    {
        if (!testsupport::haveTool(QStringLiteral("sox")))
            QSKIP("sox is not installed");
        QFETCH(quint16, bits);
        QFETCH(quint16, channels);
        QFETCH(quint32, frames);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        RecorderFileSpec spec;
        spec.bitsPerSample = bits;
        spec.channels = channels;
        spec.frames = frames;
        spec.audioSeed = 7;
        const QString path = dir.filePath(QStringLiteral("t.wav"));
        QVERIFY(RecorderFileWriter::write(path, spec));

        // Decoded as 32-bit signed little-endian: the value sits in the top bits.
        const testsupport::ProcessResult r = testsupport::run(
            QStringLiteral("sox"), {"-D", path, "-t", "raw", "-e", "signed", "-b", "32", "-L", "-"});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(r.out.size(), int(frames * channels * 4));
        int distinct = 0;
        for (quint32 f = 0; f < frames; ++f) {
            for (quint16 c = 0; c < channels; ++c) {
                const qint32 decoded = qint32(u32At(r.out, int((f * channels + c) * 4))) >> (32 - bits);
                const qint32 expected = RecorderFileSpec::sampleValue(7, f, c, bits);
                if (decoded != expected)
                    QFAIL(qPrintable(QStringLiteral("frame %1 channel %2: %3 != %4").arg(f).arg(c).arg(decoded).arg(expected)));
                if (f > 0 && expected != RecorderFileSpec::sampleValue(7, f - 1, c, bits))
                    ++distinct;
            }
        }
        QVERIFY(distinct > int(frames * channels) / 2);   // really varying audio, not silence
    }

    void badFiles()
    {
        QList<RecorderChunkPlace> places;
        RecorderFileSpec spec;
        const QByteArray full = RecorderFileWriter::build(spec, &places);

        spec.truncateTo = 100;
        const QByteArray cut = RecorderFileWriter::build(spec);
        QCOMPARE(cut, full.left(100));
        QCOMPARE(u32At(cut, 4), quint32(full.size() - 8));   // the header still claims the whole file

        spec.truncateTo = 0;
        QCOMPARE(RecorderFileWriter::build(spec), QByteArray());
        QTemporaryDir dir;
        const QString empty = dir.filePath(QStringLiteral("empty.WAV"));
        QVERIFY(RecorderFileWriter::write(empty, spec));
        QCOMPARE(QFileInfo(empty).size(), qint64(0));

        spec = RecorderFileSpec();
        spec.riffId = "RIFX";
        QCOMPARE(RecorderFileWriter::build(spec).left(4), QByteArray("RIFX"));

        spec = RecorderFileSpec();
        spec.ixmlDeclaredSize = 0xFFFFFFF0u;
        const QByteArray lying = RecorderFileWriter::build(spec, &places);
        QCOMPARE(u32At(lying, int(place(places, "iXML").offset) + 4), 0xFFFFFFF0u);
        QCOMPARE(lying.size(), full.size());   // only the declared size lies

        spec = RecorderFileSpec();
        spec.dataDeclaredSize = 0;
        const QByteArray noData = RecorderFileWriter::build(spec, &places);
        QCOMPARE(u32At(noData, int(place(places, "data").offset) + 4), 0u);

        spec = RecorderFileSpec();
        for (int i = 0; i < 31; ++i)
            spec.extraBefore << ExtraChunk{QByteArray("u") + QByteArray::number(i).rightJustified(3, '0'), "x", false, 0};
        const QByteArray many = RecorderFileWriter::build(spec, &places);
        QCOMPARE(places.size(), 31 + 7);
        QCOMPARE(many.mid(12, 9), QByteArray("u000\x01\0\0\0x", 9));
        QCOMPARE(many.mid(21, 4), QByteArray("u001"));   // odd body, no pad byte

        spec = RecorderFileSpec();
        spec.withFmt = false;
        spec.withData = false;
        spec.withBext = false;
        RecorderFileWriter::build(spec, &places);
        QCOMPARE(place(places, "fmt ").id, QByteArray());
        QCOMPARE(place(places, "data").id, QByteArray());
        QCOMPARE(place(places, "bext").id, QByteArray());
    }

    void monoTake()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        RecorderFileSpec base;
        base.timeReference = 48000ULL * 36000;
        QString error;
        QVERIFY2(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AB0007"), 3, base, &error), qPrintable(error));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files, QDir::Name),
                 QStringList({"AB0007_01.WAV", "AB0007_02.WAV", "AB0007_03.WAV"}));
        for (int n = 1; n <= 3; ++n) {
            const QByteArray b = testsupport::readAll(dir.filePath(QStringLiteral("AB0007_0%1.WAV").arg(n)));
            QList<RecorderChunkPlace> places;
            RecorderFileWriter::build(RecorderFileWriter::monoTrackSpec(base, 3, n), &places);
            const QDomElement root = parseIxml(b, places);
            QCOMPARE(text(root, "TRACK_LIST/TRACK/CHANNEL_INDEX"), QString::number(n));
            QCOMPARE(text(root, "TRACK_LIST/TRACK/NAME"), QStringLiteral("Trk%1").arg(n));
            QCOMPARE(text(root, "FILE_SET/TOTAL_FILES"), QStringLiteral("3"));
            QCOMPARE(text(root, "HISTORY/ORIGINAL_FILENAME"), QStringLiteral("AB0007_0%1.WAV").arg(n));
            const QDomNodeList data = root.elementsByTagName(QStringLiteral("DATA"));
            for (int i = 0; i < 24; ++i)
                QCOMPARE(text(data.at(i).toElement(), "ACTIVE"), i < 3 ? QStringLiteral("YES") : QStringLiteral("NO"));
            const int bext = int(place(places, "bext").offset);
            QCOMPARE(b.at(bext + 296 + 31), char('0' + n));      // originator reference numbers the file
            QCOMPARE(int(b.at(bext + 356 + 31)), n - 1);          // last UMID material byte
            QCOMPARE(b.mid(int(place(places, "ond" + QByteArray::number(n)).offset), 4), "ond" + QByteArray::number(n));
            const int data0 = int(place(places, "data").offset) + 8;
            const qint32 first = qint32(u32At(b, data0) << 8) >> 8;
            QCOMPARE(first, RecorderFileSpec::sampleValue(base.audioSeed + quint32(n - 1), 0, 0, 24));
        }
    }
};

QTEST_MAIN(TestRecorderWriter)
#include "tst_recorderwriter.moc"
