// SPDX-License-Identifier: GPL-3.0-or-later
// The bext Description lines: the eight readers, the type line writer and
// the engine's rewrite of a new track's lines.

#include "QSoundMixer.h"
#include "SoundFixtures.h"
#include "SoundTestKit.h"

#include <QTemporaryDir>

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
    void readers_data()
    {
        kit::columns<QByteArray, QString, QString>("text", "key", "value");
        const QByteArray three = "aSCENE=12A\r\naTAKE=3\r\naNOTE=good\r\n";
        QTest::newRow("scene") << three << "scene" << "12A";
        QTest::newRow("take") << three << "take" << "3";
        QTest::newRow("note") << three << "note" << "good";
        QTest::newRow("missing key") << three << "tape" << "";
        QTest::newRow("take cut to 6") << QByteArray("aTAKE=1234567\r\n") << "take" << "123456";
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
        QTest::newRow("value runs to the end of the field") << QByteArray(240, 'x') + "aNOTE=0123456789" << "note" << "";
        QTest::newRow("CR in the last byte") << QByteArray(245, 'x') + "aTAPE=XYZ\r" << "tape" << "XYZ";
        QTest::newRow("take limit at the end of the field") << QByteArray(244, 'x') + "aTAKE=123456" << "take" << "";
        QTest::newRow("empty field") << QByteArray() << "scene" << "";
    }
    void readers()
    {
        QFETCH(QByteArray, text); QFETCH(QString, key);
        QSoundFile f;
        kit::setBextBytes(f, bwf::kBextDescription, text, bwf::kBextDescriptionBytes);
        const QHash<QString, QString (QSoundFile::*)() const> readers{
            {"scene", &QSoundFile::GetBextScene}, {"take", &QSoundFile::GetBextTake}, {"note", &QSoundFile::GetBextNote},
            {"ubits", &QSoundFile::GetBextUbits}, {"tape", &QSoundFile::GetBextTape}, {"tag", &QSoundFile::GetBextTag},
            {"type", &QSoundFile::GetBextType},   {"speed", &QSoundFile::GetBextSpeed}};
        QTEST((f.*readers.value(key))(), "value");
    }

    void insertType_data()
    {
        kit::columns<QByteArray, QString, QByteArray>("before", "type", "after");
        QTest::newRow("empty Description") << QByteArray() << "mono" << QByteArray("aTYP=mono \r\n");
        QTest::newRow("appended after the lines")
            << QByteArray("aSCENE=1\r\naTAKE=2\r\n") << "mono" << QByteArray("aSCENE=1\r\naTAKE=2\r\naTYP=mono \r\n");
        QTest::newRow("old type line replaced, moved to the end")
            << QByteArray("aTYP=poly \r\naSCENE=1\r\n") << "mono" << QByteArray("aSCENE=1\r\naTYP=mono \r\n");
        QTest::newRow("last line without CR LF dropped")
            << QByteArray("aSCENE=1\r\naNOTE=x") << "mono" << QByteArray("aSCENE=1\r\naTYP=mono \r\n");
        QTest::newRow("type cut to five") << QByteArray() << "stereo" << QByteArray("aTYP=stere\r\n");
        QTest::newRow("empty type padded") << QByteArray() << "" << QByteArray("aTYP=     \r\n");
        QTest::newRow("bare LF lines kept whole")
            << QByteArray("aSCENE=12\naTAKE=3\n") << "mono" << QByteArray("aSCENE=12\r\naTAKE=3\r\naTYP=mono \r\n");
        // 11-character lines: 23 fill 253 bytes, where CR LF then close the field.
        QByteArray full;
        for (int i = 0; i < 24; ++i)
            full += "aN=" + QByteArray::number(100000 + i) + "\r\n";
        QTest::newRow("full Description") << full.left(256) << "mono" << full.left(253) + "\r\n";
        QTest::newRow("nearly full") << full.left(231) << "mono" << full.left(231) + "aTYP=mono \r\n";
        QTest::newRow("254 characters") << full.left(242) << "mono" << full.left(242) + "aTYP=mono \r\n";
        QTest::newRow("crossing 253") << full.left(242) + "aTAG=12\r\n" << "mono" << full.left(242) + "aTAG=12\r\naT\r\n";
        // Bytes that are not text in the local encoding go back exactly as they
        // were; 200 bytes that each decoded to three used to push the type line out.
        QTest::newRow("latin-1 note") << QByteArray("aSCENE=12A\r\naNOTE=caf\xE9 cr\xE8me\r\n") << "mono"
                                      << QByteArray("aSCENE=12A\r\naNOTE=caf\xE9 cr\xE8me\r\naTYP=mono \r\n");
        const QByteArray wide = QByteArray("aNOTE=") + QByteArray(200, '\xBF') + "\r\n";
        QTest::newRow("long foreign note") << wide << "mono" << wide + "aTYP=mono \r\n";
        QTest::newRow("old type line before foreign bytes")
            << QByteArray("aTYP=poly \r\naTAKE=\xFF\xFE\r\n") << "mono" << QByteArray("aTAKE=\xFF\xFE\r\naTYP=mono \r\n");
    }
    void insertType()
    {
        QFETCH(QByteArray, before); QFETCH(QString, type); QFETCH(QByteArray, after);
        QTemporaryDir dir;
        RecorderFileSpec spec;
        spec.description = before.isEmpty() ? QByteArray(1, '\0') : before;   // not the recorder's default lines
        const QString path = testsupport::writeSpec(dir.filePath(QStringLiteral("AA0001_01.WAV")), spec);
        const QByteArray original = readAll(path);
        QSoundFile f;
        QVERIFY(testsupport::openScanned(f, path, 2));
        QCOMPARE(descriptionOf(f), field(before));
        QVERIFY(f.InsertInBextDescrType(type));
        QCOMPARE(descriptionOf(f), field(after));
        f.Close();
        QByteArray expected = original;   // on disk exactly the 256 Description bytes changed
        QCOMPARE(readAll(path), expected.replace(int(f.m_nPosBext), 256, field(after)));
        QSoundFile again;
        QVERIFY(testsupport::openScanned(again, path));
        if (after.contains("aTYP=") && !after.endsWith("aT\r\n"))
            QCOMPARE(again.GetBextType(), type.leftJustified(5, QLatin1Char(' '), true));
    }

    // The engine's sequence on a new track: rewrite with the file ID and the
    // track name, then the type line. Line ends inside a name used to become
    // lines of their own and push the type line out.
    void engineDescriptionKeepsTrackNameOnOneLine_data()
    {
        kit::columns<QByteArray, QByteArray, QByteArray>("description", "trackName", "expectedLine");
        QTest::newRow("foreign note") << (QByteArray("aSCENE=\xC9T\xC9\r\naTAKE=3\r\naNOTE=") + QByteArray(49, '\xE9') + "\r\n")
                                      << QByteArray("Boom \xC3\xA9t\xC3\xA9") << QByteArray("aTRK3=Boom \xC3\xA9t\xC3\xA9\r\n");
        QTest::newRow("line ends in the name") << (QByteArray("aSCENE=12A\r\naTAKE=3\r\naNOTE=") + QByteArray(49, 'n') + "\r\n")
                                               << (QByteArray("Boom") + QByteArray(40, '\r') + "L\nR")
                                               << (QByteArray("aTRK3=Boom") + QByteArray(40, ' ') + "L R\r\n");
    }
    void engineDescriptionKeepsTrackNameOnOneLine()
    {
        QFETCH(QByteArray, description); QFETCH(QByteArray, trackName); QFETCH(QByteArray, expectedLine);
        QTemporaryDir dir;
        QByteArray d = field(description);
        QSoundMixer::RewriteBextDescriptor(d.data(), nullptr, nullptr, nullptr, nullptr, "AA0001", nullptr, 2, trackName.constData());
        RecorderFileSpec spec;
        spec.description = d;
        const QString path = testsupport::writeSpec(dir.filePath(QStringLiteral("AA0001_03.WAV")), spec);
        QSoundFile f, again;
        QVERIFY(testsupport::openScanned(f, path, 2) && f.InsertInBextDescrType(QStringLiteral("mono")));
        f.Close();
        QVERIFY(testsupport::openScanned(again, path));
        QCOMPARE(again.GetBextType() + again.GetBextTag() + again.GetBextTake(), QStringLiteral("mono AA00013     "));
        QVERIFY(descriptionOf(again).contains(description.mid(description.indexOf("aNOTE="))));
        QVERIFY2(descriptionOf(again).contains(expectedLine), descriptionOf(again).toPercentEncoding().constData());
    }

    // Any track index is printed as its number plus one, counted in 64 bits
    // (the largest index overflowed), within the field.
    void rewriteCountsTrackIndexWithoutOverflow_data()
    {
        kit::columns<int, QByteArray, QByteArray>("index", "channel", "track");
        QTest::newRow("largest") << std::numeric_limits<int>::max() << QByteArray("aCHNL=C214\r\n") << QByteArray("aTRK2147483648=Boom\r\n");
        QTest::newRow("smallest") << std::numeric_limits<int>::min() << QByteArray("aCHNL=C-21\r\n")
                                  << QByteArray("aTRK-2147483647=Boom\r\n");
        QTest::newRow("track 24") << 23 << QByteArray("aCHNL=C24 \r\n") << QByteArray("aTRK24=Boom\r\n");
    }
    void rewriteCountsTrackIndexWithoutOverflow()
    {
        QFETCH(int, index); QFETCH(QByteArray, track);
        QByteArray d = field("aSCENE=12A\r\n");
        d[255] = 'z';
        QSoundMixer::RewriteBextDescriptor(d.data(), nullptr, nullptr, nullptr, nullptr, "AA0001", nullptr, index, "Boom");
        const QByteArray text(d.constData());
        QTEST(text.mid(text.indexOf("aCHNL="), 12), "channel");
        QVERIFY2(text.contains(track), text.constData());
        QCOMPARE(d.at(255), 'z');
    }

    // Refused writes change neither the record nor the file.
    void insertTypeRefused_data()
    {
        kit::columns<QString>("why");
        for (const char* why : {"file not open", "opened read-only", "no bext chunk", "bext shorter than the Description",
                                "short write"})
            QTest::newRow(why) << QString::fromLatin1(why);
    }
    void insertTypeRefused()
    {
        QFETCH(QString, why);
        QTemporaryDir dir;
        RecorderFileSpec spec;
        spec.description = "aSCENE=1\r\n";
        spec.withBext = why != QLatin1String("no bext chunk");
        spec.bextDataSize = why.startsWith(QLatin1String("bext shorter")) ? 200 : 858;
        const QString path = testsupport::writeSpec(dir.filePath(QStringLiteral("AA0001_01.WAV")), spec);
        const QByteArray original = readAll(path);
        QSoundFile f;
        QVERIFY(testsupport::openScanned(f, path, why == QLatin1String("opened read-only") ? 0 : 2, true));
        const QByteArray memory = descriptionOf(f);
        if (why == QLatin1String("file not open"))
            f.Close();
        {
            // The short write stores half of what it is given.
            testsupport::ScriptedDisk disk(why == QLatin1String("short write") ? QList<qint64>{128} : QList<qint64>{});
            QVERIFY(!f.InsertInBextDescrType(QStringLiteral("mono")));
        }
        QCOMPARE(descriptionOf(f), memory);
        f.Close();
        if (why == QLatin1String("short write"))
            QCOMPARE(readAll(path).size(), original.size());   // no write past the field
        else
            QCOMPARE(readAll(path), original);
    }
};

QTEST_MAIN(TestBext)
#include "tst_bext.moc"
