// SPDX-License-Identifier: GPL-3.0-or-later
// Queries over the records: the bext Description lines (the eight readers, the type line writer, the engine's rewrite of a new
// track's lines), and timing and format with their exact integer arithmetic.

#include "QSoundMixer.h"
#include "SoundFixtures.h"
#include "SoundTestKit.h"
#include "TimeFormat.h"

#include <limits>

using testsupport::readAll;

namespace {
QByteArray descriptionOf(const QSoundFile& f) { return QByteArray(f.m_tBextChunk.Description(), bwf::kBextDescriptionBytes); }
QByteArray field(const QByteArray& text) { return text.leftJustified(bwf::kBextDescriptionBytes, '\0', true); }
} // namespace

class TestBext : public QObject
{
    Q_OBJECT
private slots:
    // Description text -> what the readers give, "reader=value;..."
    void readers_data()
    {
        kit::columns<QByteArray, QString>("text", "expected");
        QTest::newRow("three lines") << QByteArray("aSCENE=12A\r\naTAKE=3\r\naNOTE=good\r\n") << "scene=12A;take=3;note=good;tape=";
        QTest::newRow("take cut to 6") << QByteArray("aTAKE=1234567\r\n") << "take=123456";
        QTest::newRow("scene not limited") << QByteArray("aSCENE=1234567890AB\r\n") << "scene=1234567890AB";
        QTest::newRow("last line without CR LF") << QByteArray("aSCENE=1\r\naNOTE=last") << "note=";
        QTest::newRow("key inside a line") << QByteArray("aNOTE=see aTAKE=9\r\n") << "take=9;note=see aTAKE=9";
        QTest::newRow("empty value") << QByteArray("aTAKE=\r\naSCENE=4\r\n") << "take=";
        QTest::newRow("case-sensitive") << QByteArray("ascene=1\r\n") << "scene=";
        QTest::newRow("first occurrence") << QByteArray("aTAG=A\r\naTAG=B\r\n") << "tag=A";
        QTest::newRow("value not trimmed") << QByteArray("aTAPE= T1 \r\n") << "tape= T1 ";
        QTest::newRow("ubits, type, speed") << QByteArray("aUBITS=00112233\r\naTYP=mono \r\naSPEED=025.000-ND\r\n")
                                             << "ubits=00112233;type=mono ;speed=025.000-ND";
        QTest::newRow("bare LF ends the line") << QByteArray("aSCENE=12\naTAKE=3\n") << "scene=12;take=3";
        QTest::newRow("CR alone ends the line") << QByteArray("aTAPE=T2\raTAG=x\r\n") << "tape=T2";
        QTest::newRow("value runs to the end of the field") << QByteArray(240, 'x') + "aNOTE=0123456789" << "note=";
        QTest::newRow("CR in the last byte") << QByteArray(245, 'x') + "aTAPE=XYZ\r" << "tape=XYZ";
        QTest::newRow("take limit at the end of the field") << QByteArray(244, 'x') + "aTAKE=123456" << "take=";
        QTest::newRow("empty field") << QByteArray() << "scene=";
    }
    void readers()
    {
        QFETCH(QByteArray, text); QFETCH(QString, expected);
        QSoundFile f;
        f.m_tBextChunk.SetChunkID("bext");
        std::memcpy(f.m_tBextChunk.Description(), field(text).constData(), bwf::kBextDescriptionBytes);
        const QHash<QString, QString (QSoundFile::*)() const> readers{
            {"scene", &QSoundFile::GetBextScene}, {"take", &QSoundFile::GetBextTake}, {"note", &QSoundFile::GetBextNote},
            {"ubits", &QSoundFile::GetBextUbits}, {"tape", &QSoundFile::GetBextTape}, {"tag", &QSoundFile::GetBextTag},
            {"type", &QSoundFile::GetBextType},   {"speed", &QSoundFile::GetBextSpeed}};
        QCOMPARE(kit::ask(expected, [&](const QString& k) { return readers.contains(k) ? (f.*readers.value(k))() : "?"; }), expected);
    }

    // The type line goes after the lines; on disk exactly the 256 Description bytes change. fault: a closed or read-only file,
    // a changed file layout, or a write cut short; after "-": refused, with the record and the file unchanged.
    void insertType_data()
    {
        kit::columns<QByteArray, QString, QByteArray, QString>("before", "type", "after", "fault");
        QTest::newRow("empty Description") << QByteArray() << "mono" << QByteArray("aTYP=mono \r\n") << "";
        QTest::newRow("appended after the lines")
            << QByteArray("aSCENE=1\r\naTAKE=2\r\n") << "mono" << QByteArray("aSCENE=1\r\naTAKE=2\r\naTYP=mono \r\n") << "";
        QTest::newRow("old type line replaced, moved to the end")
            << QByteArray("aTYP=poly \r\naSCENE=1\r\n") << "mono" << QByteArray("aSCENE=1\r\naTYP=mono \r\n") << "";
        QTest::newRow("last line without CR LF dropped")
            << QByteArray("aSCENE=1\r\naNOTE=x") << "mono" << QByteArray("aSCENE=1\r\naTYP=mono \r\n") << "";
        QTest::newRow("type cut to five") << QByteArray() << "stereo" << QByteArray("aTYP=stere\r\n") << "";
        QTest::newRow("empty type padded") << QByteArray() << "" << QByteArray("aTYP=     \r\n") << "";
        QTest::newRow("bare LF lines kept whole")
            << QByteArray("aSCENE=12\naTAKE=3\n") << "mono" << QByteArray("aSCENE=12\r\naTAKE=3\r\naTYP=mono \r\n") << "";
        // 11-character lines: 23 fill 253 bytes, where CR LF then close the field.
        QByteArray full;
        for (int i = 0; i < 24; ++i)
            full += "aN=" + QByteArray::number(100000 + i) + "\r\n";
        QTest::newRow("full Description") << full.left(256) << "mono" << full.left(253) + "\r\n" << "";
        QTest::newRow("nearly full") << full.left(231) << "mono" << full.left(231) + "aTYP=mono \r\n" << "";
        QTest::newRow("254 characters") << full.left(242) << "mono" << full.left(242) + "aTYP=mono \r\n" << "";
        QTest::newRow("crossing 253") << full.left(242) + "aTAG=12\r\n" << "mono" << full.left(242) + "aTAG=12\r\naT\r\n" << "";
        // Bytes that are not text in the local encoding go back exactly as they were; 200 bytes that each decoded to three used
        // to push the type line out.
        QTest::newRow("keepsForeignBytesExactly: latin-1 note") << QByteArray("aSCENE=12A\r\naNOTE=caf\xE9 cr\xE8me\r\n") << "mono"
                                      << QByteArray("aSCENE=12A\r\naNOTE=caf\xE9 cr\xE8me\r\naTYP=mono \r\n") << "";
        const QByteArray wide = QByteArray("aNOTE=") + QByteArray(200, '\xBF') + "\r\n";
        QTest::newRow("keepsForeignBytesExactly: 200 undecodable bytes") << wide << "mono" << wide + "aTYP=mono \r\n" << "";
        QTest::newRow("keepsForeignBytesExactly: after an old type line")
            << QByteArray("aTYP=poly \r\naTAKE=\xFF\xFE\r\n") << "mono" << QByteArray("aTAKE=\xFF\xFE\r\naTYP=mono \r\n") << "";
        for (const char* fault : {"file not open", "opened read-only", "nobext", "bextsize=200", "short write"})
            QTest::newRow(fault) << QByteArray("aSCENE=1\r\n") << "mono" << QByteArray("-") << fault;
    }

    void insertType()
    {
        QFETCH(QByteArray, before); QFETCH(QString, type); QFETCH(QByteArray, after); QFETCH(QString, fault);
        QTemporaryDir dir;
        RecorderFileSpec spec = kit::spec(fault);   // words it does not know are the faults of this test
        spec.description = before.isEmpty() ? QByteArray(1, '\0') : before;   // not the recorder's default lines
        const QString path = testsupport::writeSpec(dir.filePath(QStringLiteral("AA0001_01.WAV")), spec);
        const QByteArray original = readAll(path);
        QSoundFile f, again;
        QVERIFY(testsupport::openScanned(f, path, fault == QLatin1String("opened read-only") ? 0 : 2, true));
        const QByteArray memory = descriptionOf(f);
        QVERIFY(!fault.isEmpty() || memory == field(before));
        if (fault == QLatin1String("file not open"))
            f.Close();
        bool ok = false;
        {
            testsupport::ScriptedDisk disk(fault == QLatin1String("short write") ? QList<qint64>{128} : QList<qint64>{});   // half
            ok = f.InsertInBextDescrType(type);
        }
        QCOMPARE(ok, after != "-");
        QCOMPARE(descriptionOf(f), ok ? field(after) : memory);
        f.Close();
        QByteArray expected = original;
        if (ok)
            expected.replace(int(f.m_nPosBext), 256, field(after));
        if (fault == QLatin1String("short write"))
            QCOMPARE(readAll(path).size(), original.size());   // no write past the field
        else
            QCOMPARE(readAll(path), expected);
        if (ok && after.contains("aTYP=") && !after.endsWith("aT\r\n"))
            QVERIFY(testsupport::openScanned(again, path) && again.GetBextType() == type.leftJustified(5, QLatin1Char(' '), true));
    }

    // The engine's sequence on a new track: rewrite with the file ID, the track index and name, then the type line. Line ends
    // inside a name used to become lines of their own and push the type line out; the largest index overflowed. Byte 255 of
    // the field is never written.
    void engineDescription_data()
    {
        kit::columns<QByteArray, int, QByteArray, QString>("description", "index", "trackName", "lines");
        const QByteArray plain = "aSCENE=12A\r\naTAKE=3\r\naNOTE=" + QByteArray(49, 'n') + "\r\n";
        QTest::newRow("foreign note") << (QByteArray("aSCENE=\xC9T\xC9\r\naTAKE=3\r\naNOTE=") + QByteArray(49, '\xE9') + "\r\n") << 2
                                      << QByteArray("Boom \xC3\xA9t\xC3\xA9") << "aTRK3=Boom \xC3\xA9t\xC3\xA9\r\n";
        QTest::newRow("keepsTrackNameOnOneLine: line ends in the name") << plain << 2 << (QByteArray("Boom") + QByteArray(40, '\r') + "L\nR")
                                               << "aTRK3=Boom" + QString(40, ' ') + "L R\r\n";
        QTest::newRow("largest index written without overflow") << plain << std::numeric_limits<int>::max() << QByteArray("Boom")
                                       << "aCHNL=C214\r\n|aTRK2147483648=Boom\r\n";
        QTest::newRow("smallest index") << plain << std::numeric_limits<int>::min() << QByteArray("Boom")
                                        << "aCHNL=C-21\r\n|aTRK-2147483647=Boom\r\n";
        QTest::newRow("track 24") << plain << 23 << QByteArray("Boom") << "aCHNL=C24 \r\n|aTRK24=Boom\r\n";
    }
    void engineDescription()
    {
        QFETCH(QByteArray, description); QFETCH(int, index); QFETCH(QByteArray, trackName); QFETCH(QString, lines);
        QTemporaryDir dir;
        RecorderFileSpec spec;
        spec.description = field(description);
        spec.description[255] = 'z';
        QSoundMixer::RewriteBextDescriptor(spec.description.data(), nullptr, nullptr, nullptr, nullptr, "AA0001", nullptr, index,
                                           trackName.constData());
        QCOMPARE(spec.description.at(255), 'z');
        spec.description[255] = '\0';
        const QString path = testsupport::writeSpec(dir.filePath(QStringLiteral("AA0001_03.WAV")), spec);
        QSoundFile f, again;
        QVERIFY(testsupport::openScanned(f, path, 2) && f.InsertInBextDescrType(QStringLiteral("mono")));
        f.Close();
        QVERIFY(testsupport::openScanned(again, path));
        QCOMPARE(again.GetBextType() + again.GetBextTag() + again.GetBextTake(), QStringLiteral("mono AA00013     "));
        const QByteArray stored = descriptionOf(again);
        QVERIFY(stored.contains(description.mid(description.indexOf("aNOTE="))));
        for (const QString& line : kit::split(lines))
            QVERIFY2(stored.contains(line.toUtf8()), stored.toPercentEncoding().constData());
    }

    // Each row fills fmt, bext, film and the RIFF and data sizes (`bytes` is both), then compares the queries it names:
    // "key=text;key=text".
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
        row("48048 pull-up", 48048, 1, 24, 0, 0, "-", "sampling=48048Hz/24bits");
        row("176.4k", 176400, 1, 24, 0, 0, "-", "sampling=176.4kHz/24bits");
        row("rest 950 rounds to 10", 100950, 1, 24, 0, 0, "-", "sampling=100.10kHz/24bits");
        row("rest 949", 100949, 1, 24, 0, 0, "-", "sampling=100.9kHz/24bits");
        // File sizes.
        row("just under 1 MB", 48000, 1, 24, 1048575, 0, "-", "size=1023 KB;mib=1");
        row("1 MB", 48000, 1, 24, 1048576, 0, "-", "size=1 MB;mib=1;riff=1048576");
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
        kit::setRecords(f, rate, quint16(channels), quint16(bits), tr, film);
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

    // frames|fps -> time code text; value|1000 -> Long64ToString
    void formatting_data()
    {
        kit::columns<qint64, int, QString>("value", "fps", "text");
        for (const char* r : {"90000|25|01:00:00:00", "2591999|30|23:59:59:29", "0|24|00:00:00:00", "89359|24|01:02:03:07",
                              "9000000|25|100:00:00:00", "90000|0|--:--:--:--", "90000|-25|--:--:--:--", "1234567|1000| 0,001,234,567",
                              "-5|1000|-0,000,000,005", "0|1000| 0,000,000,000", "10000000001|1000| 10,000,000,001",
                              "9223372036854775807|1000| 9223372036,854,775,807", "-9223372036854775808|1000|-9223372036,854,775,808"}) {
            const QStringList c = kit::split(QString::fromLatin1(r));
            QTest::newRow(r) << c[0].toLongLong() << c[1].toInt() << c[2];
        }
    }
    void formatting()
    {
        QFETCH(qint64, value); QFETCH(int, fps);
        QTEST(fps == 1000 ? Long64ToString(value) : GetTimeCode(static_cast<unsigned long>(value), short(fps)), "text");
    }
};

QTEST_MAIN(TestBext)
#include "tst_bext.moc"
