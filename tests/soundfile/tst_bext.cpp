// SPDX-License-Identifier: GPL-3.0-or-later
// The bext Description lines: the eight readers, the type line writer and
// the engine's rewrite of a new track's lines.

#include "FileWriteSeam.h"
#include "QSoundFile.h"
#include "QSoundMixer.h"
#include "RecorderFileWriter.h"
#include "TestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <limits>

namespace {

void setDescription(QSoundFile& f, const QByteArray& text)
{
    f.m_tBextChunk.SetChunkID("bext");
    std::memset(f.m_tBextChunk.Description(), 0, bwf::kBextDescriptionBytes);
    std::memcpy(f.m_tBextChunk.Description(), text.constData(), size_t(qMin(text.size(), bwf::kBextDescriptionBytes)));
}

QByteArray description(const QSoundFile& f)
{
    return QByteArray(f.m_tBextChunk.Description(), bwf::kBextDescriptionBytes);
}

QByteArray field(const QByteArray& text)
{
    return text.leftJustified(256, '\0', true);
}

class ShortWrites : public FileWriteSeam::Injector
{
public:
    qint64 acceptWrite(const QString&, qint64 requested) override { return requested / 2; }
};

} // namespace

class TestBext : public QObject
{
    Q_OBJECT
private slots:
    void readers_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        const QByteArray three = "aSCENE=12A\r\naTAKE=3\r\naNOTE=good\r\n";
        QTest::newRow("scene") << three << "scene" << "12A";
        QTest::newRow("take") << three << "take" << "3";
        QTest::newRow("note") << three << "note" << "good";
        QTest::newRow("missing key") << three << "tape" << "";
        QTest::newRow("take cut to 6") << QByteArray("aTAKE=1234567\r\n") << "take" << "123456";
        QTest::newRow("take of 6") << QByteArray("aTAKE=123456\r\n") << "take" << "123456";
        QTest::newRow("scene not limited") << QByteArray("aSCENE=1234567890AB\r\n") << "scene" << "1234567890AB";
        QTest::newRow("last line without CR LF") << QByteArray("aSCENE=1\r\naNOTE=last") << "note" << "";
        QTest::newRow("key inside a line") << QByteArray("aNOTE=see aTAKE=9\r\n") << "take" << "9";
        QTest::newRow("line holding another key") << QByteArray("aNOTE=see aTAKE=9\r\n") << "note" << "see aTAKE=9";
        QTest::newRow("empty value") << QByteArray("aTAKE=\r\naSCENE=4\r\n") << "take" << "";
        QTest::newRow("case-sensitive") << QByteArray("ascene=1\r\n") << "scene" << "";
        QTest::newRow("first occurrence") << QByteArray("aTAG=A\r\naTAG=B\r\n") << "tag" << "A";
        QTest::newRow("value not trimmed") << QByteArray("aTAPE= T1 \r\n") << "tape" << " T1 ";
        QTest::newRow("ubits") << QByteArray("aUBITS=00112233\r\n") << "ubits" << "00112233";
        QTest::newRow("type") << QByteArray("aTYP=mono \r\n") << "type" << "mono ";
        QTest::newRow("speed") << QByteArray("aSPEED=025.000-ND\r\n") << "speed" << "025.000-ND";
        QTest::newRow("bare LF ends the line") << QByteArray("aSCENE=12\naTAKE=3\n") << "scene" << "12";
        QTest::newRow("bare LF, take") << QByteArray("aSCENE=12\naTAKE=3\n") << "take" << "3";
        QTest::newRow("CR alone ends the line") << QByteArray("aTAPE=T2\raTAG=x\r\n") << "tape" << "T2";
        QTest::newRow("value runs to the end of the field")
            << QByteArray(240, 'x') + "aNOTE=0123456789" << "note" << "";
        QTest::newRow("CR in the last byte") << QByteArray(245, 'x') + "aTAPE=XYZ\r" << "tape" << "XYZ";
        QTest::newRow("take limit at the end of the field") << QByteArray(244, 'x') + "aTAKE=123456" << "take" << "";
        QTest::newRow("empty field") << QByteArray() << "scene" << "";
    }

    void readers()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QSoundFile f;
        setDescription(f, text);
        const QHash<QString, QString (QSoundFile::*)() const> readers{
            {QStringLiteral("scene"), &QSoundFile::GetBextScene}, {QStringLiteral("take"), &QSoundFile::GetBextTake},
            {QStringLiteral("note"), &QSoundFile::GetBextNote},   {QStringLiteral("ubits"), &QSoundFile::GetBextUbits},
            {QStringLiteral("tape"), &QSoundFile::GetBextTape},   {QStringLiteral("tag"), &QSoundFile::GetBextTag},
            {QStringLiteral("type"), &QSoundFile::GetBextType},   {QStringLiteral("speed"), &QSoundFile::GetBextSpeed}};
        QCOMPARE((f.*readers.value(key))(), value);
    }

    void insertType_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("empty Description") << QByteArray() << "mono" << QByteArray("aTYP=mono \r\n");
        QTest::newRow("appended after the lines") << QByteArray("aSCENE=1\r\naTAKE=2\r\n") << "mono"
                                                  << QByteArray("aSCENE=1\r\naTAKE=2\r\naTYP=mono \r\n");
        QTest::newRow("old type line replaced, moved to the end")
            << QByteArray("aTYP=poly \r\naSCENE=1\r\n") << "mono" << QByteArray("aSCENE=1\r\naTYP=mono \r\n");
        QTest::newRow("last line without CR LF dropped") << QByteArray("aSCENE=1\r\naNOTE=x") << "mono"
                                                         << QByteArray("aSCENE=1\r\naTYP=mono \r\n");
        QTest::newRow("type cut to five") << QByteArray() << "stereo" << QByteArray("aTYP=stere\r\n");
        QTest::newRow("empty type padded") << QByteArray() << "" << QByteArray("aTYP=     \r\n");
        QTest::newRow("bare LF lines kept whole") << QByteArray("aSCENE=12\naTAKE=3\n") << "mono"
                                                  << QByteArray("aSCENE=12\r\naTAKE=3\r\naTYP=mono \r\n");
        // 23 lines of 11 characters fill the first 253: the type line no longer
        // fits and CR LF close the field at 253 and 254.
        QByteArray full;
        for (int i = 0; i < 24; ++i)
            full += "aN=" + QByteArray::number(100000 + i) + "\r\n";
        QTest::newRow("full Description") << full.left(256) << "mono" << full.left(253) + "\r\n";
        // 21 lines (231 characters) + the type line = 243: fits as is.
        QTest::newRow("nearly full") << full.left(231) << "mono" << full.left(231) + "aTYP=mono \r\n";
        // 22 lines (242) + type line (254) + ... = 254 characters: under 256.
        QTest::newRow("254 characters") << full.left(242) << "mono" << full.left(242) + "aTYP=mono \r\n";
        // The type line crossing position 253 is cut there.
        QTest::newRow("crossing 253") << full.left(242) + "aTAG=12\r\n" << "mono"
                                      << full.left(242) + "aTAG=12\r\naT\r\n";
    }

    void insertType()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, type);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        RecorderFileSpec spec;
        spec.description = before.isEmpty() ? QByteArray(1, '\0') : before;   // not the recorder's default lines
        const QString path = dir.filePath(QStringLiteral("AA0001_01.WAV"));
        QVERIFY(RecorderFileWriter::write(path, spec));
        const QByteArray original = testsupport::readAll(path);

        QSoundFile f;
        QVERIFY(f.Open(path, 2));
        QVERIFY(f.ReadChunks(true, false));
        QCOMPARE(description(f), field(before));
        QVERIFY(f.InsertInBextDescrType(type));
        QCOMPARE(description(f), field(after));
        f.Close();

        // On disk exactly the 256 Description bytes changed.
        const QByteArray now = testsupport::readAll(path);
        QCOMPARE(now.size(), original.size());
        QByteArray expected = original;
        expected.replace(int(f.m_nPosBext), 256, field(after));
        QCOMPARE(now, expected);

        QSoundFile again;
        QVERIFY(again.Open(path, 0));
        QVERIFY(again.ReadChunks(true, false));
        if (after.contains("aTYP=") && !after.endsWith("aT\r\n"))
            QCOMPARE(again.GetBextType(), type.leftJustified(5, QLatin1Char(' '), true));
    }

    // The Description's other bytes go back exactly as they were, not through
    // the local 8-bit encoding.
    void insertTypeKeepsForeignBytesExactly_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("after");
        // Bytes that are not text in the local encoding (a Latin-1 note from
        // another recorder, stray binary) go back exactly as they were; 200 bytes
        // that each decode to a three-byte character used to push the type line out.
        QTest::newRow("latin-1 note") << QByteArray("aSCENE=12A\r\naNOTE=caf\xE9 cr\xE8me\r\n") << "mono"
                                      << QByteArray("aSCENE=12A\r\naNOTE=caf\xE9 cr\xE8me\r\naTYP=mono \r\n");
        const QByteArray wide = QByteArray("aNOTE=") + QByteArray(200, '\xBF') + "\r\n";
        QTest::newRow("long foreign note") << wide << "mono" << wide + "aTYP=mono \r\n";
        QTest::newRow("old type line replaced") << QByteArray("aTYP=poly \r\naTAKE=\xFF\xFE\r\n") << "mono"
                                                << QByteArray("aTAKE=\xFF\xFE\r\naTYP=mono \r\n");
    }
    void insertTypeKeepsForeignBytesExactly() { insertType(); }

    // The engine's sequence on a take's Description: rewrite with the file ID
    // and the track name, then the type line. The new track reads as mono with
    // its tag, whatever the old Description or the name hold; line ends inside a
    // name used to become lines of their own and push the type line out.
    void engineDescriptionKeepsTrackNameOnOneLine_data()
    {
        QTest::addColumn<QByteArray>("description");
        QTest::addColumn<QByteArray>("trackName");
        QTest::addColumn<QByteArray>("expectedLine");
        QTest::newRow("foreign note") << (QByteArray("aSCENE=\xC9T\xC9\r\naTAKE=3\r\naNOTE=") + QByteArray(49, '\xE9') + "\r\n")
                                      << QByteArray("Boom \xC3\xA9t\xC3\xA9") << QByteArray("aTRK3=Boom \xC3\xA9t\xC3\xA9\r\n");
        QTest::newRow("line ends in the name") << (QByteArray("aSCENE=12A\r\naTAKE=3\r\naNOTE=") + QByteArray(49, 'n') + "\r\n")
                                               << (QByteArray("Boom") + QByteArray(40, '\r') + "L\nR")
                                               << (QByteArray("aTRK3=Boom") + QByteArray(40, ' ') + "L R\r\n");
    }

    void engineDescriptionKeepsTrackNameOnOneLine()
    {
        QFETCH(QByteArray, description);
        QFETCH(QByteArray, trackName);
        QFETCH(QByteArray, expectedLine);
        const QByteArray note = description.mid(description.indexOf("aNOTE="));
        QTemporaryDir dir;
        char d[256];
        memcpy(d, field(description).constData(), 256);
        QSoundMixer::RewriteBextDescriptor(d, nullptr, nullptr, nullptr, nullptr, "AA0001", nullptr, 2, trackName.constData());
        RecorderFileSpec spec;
        spec.description = QByteArray(d, 256);
        const QString path = dir.filePath(QStringLiteral("AA0001_03.WAV"));
        QVERIFY(RecorderFileWriter::write(path, spec));
        QSoundFile f;
        QVERIFY(f.Open(path, 2) && f.ReadChunks(false, false) && f.InsertInBextDescrType(QStringLiteral("mono")));
        f.Close();
        QSoundFile again;
        QVERIFY(again.Open(path, 0) && again.ReadChunks(false, false));
        QCOMPARE(again.GetBextType() + again.GetBextTag() + again.GetBextTake(), QStringLiteral("mono AA00013     "));
        const QByteArray onDisk(again.m_tBextChunk.Description(), bwf::kBextDescriptionBytes);
        QVERIFY(onDisk.contains(note));
        QVERIFY2(onDisk.contains(expectedLine), onDisk.toPercentEncoding().constData());
    }

    // Any track index a caller passes is printed as its number plus one, counted
    // in 64 bits (the largest index overflowed), within the field.
    void rewriteCountsTrackIndexWithoutOverflow_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("channel");
        QTest::addColumn<QByteArray>("track");
        QTest::newRow("largest") << std::numeric_limits<int>::max() << QByteArray("aCHNL=C214\r\n")
                                 << QByteArray("aTRK2147483648=Boom\r\n");
        QTest::newRow("smallest") << std::numeric_limits<int>::min() << QByteArray("aCHNL=C-21\r\n")
                                  << QByteArray("aTRK-2147483647=Boom\r\n");
        QTest::newRow("track 24") << 23 << QByteArray("aCHNL=C24 \r\n") << QByteArray("aTRK24=Boom\r\n");
    }

    void rewriteCountsTrackIndexWithoutOverflow()
    {
        QFETCH(int, index);
        char d[256];
        memcpy(d, field("aSCENE=12A\r\n").constData(), 256);
        d[255] = 'z';
        QSoundMixer::RewriteBextDescriptor(d, nullptr, nullptr, nullptr, nullptr, "AA0001", nullptr, index, "Boom");
        const QByteArray text(d);
        QTEST(text.mid(text.indexOf("aCHNL="), 12), "channel");
        QFETCH(QByteArray, track);
        QVERIFY2(text.contains(track), text.constData());
        QCOMPARE(d[255], 'z');
    }

    void insertTypeRefused_data()
    {
        QTest::addColumn<QString>("why");
        QTest::newRow("file not open") << "closed";
        QTest::newRow("opened read-only") << "readonly";
        QTest::newRow("no bext chunk") << "nobext";
        QTest::newRow("bext shorter than the Description") << "short";
        QTest::newRow("short write") << "shortwrite";
    }

    void insertTypeRefused()
    {
        QFETCH(QString, why);
        QTemporaryDir dir;
        RecorderFileSpec spec;
        spec.description = "aSCENE=1\r\n";
        if (why == QLatin1String("nobext"))
            spec.withBext = false;
        if (why == QLatin1String("short"))
            spec.bextDataSize = 200;
        const QString path = dir.filePath(QStringLiteral("AA0001_01.WAV"));
        QVERIFY(RecorderFileWriter::write(path, spec));
        const QByteArray original = testsupport::readAll(path);

        QSoundFile f;
        QVERIFY(f.Open(path, why == QLatin1String("readonly") ? 0 : 2));
        QVERIFY(f.ReadChunks(true, true));
        const QByteArray memory = description(f);
        if (why == QLatin1String("closed"))
            f.Close();
        ShortWrites shortWrites;
        if (why == QLatin1String("shortwrite"))
            FileWriteSeam::setInjector(&shortWrites);
        const bool ok = f.InsertInBextDescrType(QStringLiteral("mono"));
        FileWriteSeam::setInjector(nullptr);
        QVERIFY(!ok);
        QCOMPARE(description(f), memory);   // in-memory record unchanged
        f.Close();
        if (why != QLatin1String("shortwrite"))
            QCOMPARE(testsupport::readAll(path), original);
        else
            QCOMPARE(testsupport::readAll(path).size(), original.size());   // no write past the field
    }
};

QTEST_MAIN(TestBext)
#include "tst_bext.moc"
