// SPDX-License-Identifier: GPL-3.0-or-later
// The bext Description lines: the eight readers and the type line writer.

#include "FileWriteSeam.h"
#include "QSoundFile.h"
#include "RecorderFileWriter.h"
#include "TestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

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
    void readers_data();
    void readers();
    void insertType_data();
    void insertType();
    void insertTypeRefused_data();
    void insertTypeRefused();
};

void TestBext::readers_data()
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

void TestBext::readers()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QCOMPARE(text.size() <= 256, true);
    QSoundFile f;
    setDescription(f, text);
    QString got;
    if (key == QLatin1String("scene")) got = f.GetBextScene();
    else if (key == QLatin1String("take")) got = f.GetBextTake();
    else if (key == QLatin1String("note")) got = f.GetBextNote();
    else if (key == QLatin1String("ubits")) got = f.GetBextUbits();
    else if (key == QLatin1String("tape")) got = f.GetBextTape();
    else if (key == QLatin1String("tag")) got = f.GetBextTag();
    else if (key == QLatin1String("type")) got = f.GetBextType();
    else if (key == QLatin1String("speed")) got = f.GetBextSpeed();
    else QFAIL("unknown key");
    QCOMPARE(got, value);
}

void TestBext::insertType_data()
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

void TestBext::insertType()
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
    if (!after.endsWith("aT\r\n") && after.contains("aTYP="))
        QCOMPARE(again.GetBextType(), type.leftJustified(5, QLatin1Char(' '), true));
}

void TestBext::insertTypeRefused_data()
{
    QTest::addColumn<QString>("why");
    QTest::newRow("file not open") << "closed";
    QTest::newRow("opened read-only") << "readonly";
    QTest::newRow("no bext chunk") << "nobext";
    QTest::newRow("bext shorter than the Description") << "short";
    QTest::newRow("short write") << "shortwrite";
}

void TestBext::insertTypeRefused()
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

QTEST_MAIN(TestBext)
#include "tst_bext.moc"
