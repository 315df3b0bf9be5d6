// SPDX-License-Identifier: GPL-3.0-or-later
// Metadata written by other tools that the fuzz targets found hard to take:
// each case is a finding reduced to its smallest form.

#include "MessageLoging.h"
#include "QSoundFile.h"
#include "QSoundMixer.h"
#include "RecorderFileWriter.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

namespace {

// The Description bytes of a file as they are on disk.
QByteArray descriptionOnDisk(const QString& path, quint32 at)
{
    return testsupport::readAll(path).mid(int(at), 256);
}

quint32 descriptionOffset(const RecorderFileSpec& spec)
{
    QList<RecorderChunkPlace> places;
    RecorderFileWriter::build(spec, &places);
    for (const RecorderChunkPlace& p : places)
        if (p.id == "bext")
            return p.offset + 8;
    return 0;
}

QByteArray field256(const QByteArray& text)
{
    return text.left(256) + QByteArray(qMax(0, 256 - text.size()), '\0');
}

} // namespace

class TestHostileMetadata : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(qputenv("LC_ALL", "C.UTF-8")); }

    // A Description holding bytes that are not text in the local encoding (a
    // Latin-1 note from another recorder, stray binary): the type line is
    // written, and every other byte goes back exactly as it was.
    void typeLineKeepsForeignBytes_data()
    {
        QTest::addColumn<QByteArray>("description");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("latin-1 note") << QByteArray("aSCENE=12A\r\naNOTE=caf\xE9 cr\xE8me\r\n")
                                      << QByteArray("aSCENE=12A\r\naNOTE=caf\xE9 cr\xE8me\r\naTYP=mono \r\n");
        // 200 bytes that each decode to a three-byte replacement character:
        // before, the text grew past the field and the type line was cut off.
        const QByteArray wide = QByteArray("aNOTE=") + QByteArray(200, '\xBF') + "\r\n";
        QTest::newRow("long foreign note") << wide << wide + "aTYP=mono \r\n";
        QTest::newRow("old type line replaced")
            << QByteArray("aTYP=poly \r\naTAKE=\xFF\xFE\r\n") << QByteArray("aTAKE=\xFF\xFE\r\naTYP=mono \r\n");
    }
    void typeLineKeepsForeignBytes()
    {
        QFETCH(QByteArray, description);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/AA0001_01.WAV");
        RecorderFileSpec spec;
        spec.frames = 16;
        spec.ixml.padTo = 0;
        spec.autoDescription = false;
        spec.description = description;
        QVERIFY(RecorderFileWriter::write(path, spec));
        const QByteArray before = testsupport::readAll(path);
        const quint32 at = descriptionOffset(spec);
        QVERIFY(at > 0);

        QSoundFile f;
        QVERIFY(f.Open(path, 2));
        QVERIFY(f.ReadChunks(false, false));
        QVERIFY(f.InsertInBextDescrType(QStringLiteral("mono")));
        QCOMPARE(f.GetBextType(), QStringLiteral("mono "));
        f.Close();

        QCOMPARE(descriptionOnDisk(path, at), field256(expected));
        const QByteArray after = testsupport::readAll(path);
        QCOMPARE(after.size(), before.size());
        QCOMPARE(after.left(int(at)), before.left(int(at)));
        QCOMPARE(after.mid(int(at) + 256), before.mid(int(at) + 256));
    }

    // The engine's sequence on a take's Description: rewrite with the file ID
    // and the track name, then the type line. The new track must read as mono
    // with its tag and channel, whatever the old Description or the name hold.
    void engineDescription_data()
    {
        QTest::addColumn<QByteArray>("description");
        QTest::addColumn<QByteArray>("trackName");
        QTest::addColumn<QByteArray>("expectedLine");
        QTest::newRow("foreign note")
            << (QByteArray("aSCENE=\xC9T\xC9\r\naTAKE=3\r\naNOTE=") + QByteArray(49, '\xE9') + "\r\n")
            << QByteArray("Boom \xC3\xA9t\xC3\xA9") << QByteArray("aTRK3=Boom \xC3\xA9t\xC3\xA9\r\n");
        // Line ends inside a name (from a track-name file or an argument):
        // each bare CR became a line of its own and the type line was lost.
        QTest::newRow("line ends in the name")
            << (QByteArray("aSCENE=12A\r\naTAKE=3\r\naNOTE=") + QByteArray(49, 'n') + "\r\n")
            << (QByteArray("Boom") + QByteArray(40, '\r') + "L\nR") << (QByteArray("aTRK3=Boom") + QByteArray(40, ' ') + "L R\r\n");
    }
    void engineDescription()
    {
        QFETCH(QByteArray, description);
        QFETCH(QByteArray, trackName);
        QFETCH(QByteArray, expectedLine);
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/AA0001_03.WAV");
        RecorderFileSpec spec;
        spec.frames = 16;
        spec.ixml.padTo = 0;
        spec.autoDescription = false;
        char d[256];
        memcpy(d, field256(description).constData(), 256);
        QSoundMixer::RewriteBextDescriptor(d, nullptr, nullptr, nullptr, nullptr, "AA0001", nullptr, 2,
                                           trackName.constData());
        spec.description = QByteArray(d, 256);
        QVERIFY(RecorderFileWriter::write(path, spec));
        QSoundFile f;
        QVERIFY(f.Open(path, 2));
        QVERIFY(f.ReadChunks(false, false));
        QVERIFY(f.InsertInBextDescrType(QStringLiteral("mono")));
        f.Close();
        QSoundFile again;
        QVERIFY(again.Open(path, 0));
        QVERIFY(again.ReadChunks(false, false));
        QCOMPARE(again.GetBextType(), QStringLiteral("mono "));
        QCOMPARE(again.GetBextTag(), QStringLiteral("AA0001"));
        QCOMPARE(again.GetBextTake(), QStringLiteral("3     "));
        const QByteArray onDisk = descriptionOnDisk(path, descriptionOffset(spec));
        QVERIFY(onDisk.contains(description.mid(description.indexOf("aNOTE="))));
        QVERIFY2(onDisk.contains(expectedLine), onDisk.toPercentEncoding().constData());
    }

    // A RIFF size shorter than the file (a writer that did not count its last
    // chunk, a damaged header): the bytes past it may be audio or a chunk.
    // The writers refuse to append or grow over them, say so naming the file,
    // and leave every byte as it was.
    void writersKeepBytesPastRiff_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("writer");
        QTest::newRow("RIFF ends inside the audio, onde") << QStringLiteral("short") << QStringLiteral("onde");
        QTest::newRow("RIFF ends inside the audio, iXML moved") << QStringLiteral("short") << QStringLiteral("ixml");
        QTest::newRow("no iXML, iXML appended") << QStringLiteral("short-noixml") << QStringLiteral("ixml");
        QTest::newRow("iXML last in RIFF, a chunk after it") << QStringLiteral("uncounted") << QStringLiteral("ixml");
        QTest::newRow("a chunk after the RIFF end, onde") << QStringLiteral("uncounted") << QStringLiteral("onde");
    }
    void writersKeepBytesPastRiff()
    {
        QFETCH(QString, layout);
        QFETCH(QString, writer);
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/AA0001_02.WAV");
        RecorderFileSpec spec;
        spec.frames = 400;
        spec.ixml.padTo = 0;
        spec.withIxml = layout != QLatin1String("short-noixml");
        QList<RecorderChunkPlace> places;
        QByteArray uncounted;
        if (layout == QLatin1String("uncounted")) {
            spec.ixmlLast = true;
            spec.withOnde = false;
            spec.riffSizeOverride = RecorderFileWriter::build(spec).size() - 8;
            // Appended after the RIFF data without counting it.
            uncounted = QByteArray("LIST\x28\0\0\0", 8) + QByteArray(40, 'L');
        } else {
            RecorderFileWriter::build(spec, &places);
            for (const RecorderChunkPlace& p : places)
                if (p.id == "data")
                    spec.riffSizeOverride = qint64(p.offset) + 8 + 100 - 8;   // ends 100 bytes into the audio
        }
        QVERIFY(spec.riffSizeOverride > 0);
        QVERIFY(RecorderFileWriter::write(path, spec));
        if (!uncounted.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::Append));
            QCOMPARE(file.write(uncounted), qint64(uncounted.size()));
        }
        const QByteArray before = testsupport::readAll(path);

        MessageLoging relay;
        QSignalSpy spy(&relay, &MessageLoging::signal_message);
        global_pLogger = &relay;
        QSoundFile f;
        QVERIFY(f.Open(path, 2));
        QVERIFY(f.ReadChunks(false, false));
        bool written = true;
        QString title;
        if (writer == QLatin1String("onde")) {
            const QByteArray peaks(200, '\x20');
            written = f.AddOndeChunk(peaks.constData(), peaks.size(), 1, 4800);
            title = QStringLiteral("QSoundFile::AddOndChunk()");
        } else {
            f.GetiXMLFileInfos();
            // A note too long for the old chunk: the text must move or grow.
            f.SetiXMLNote(1, QString(8000, QLatin1Char('n')));
            QString text = f.GenerateiXMLChunkMono(1);
            written = f.AddiXMLChunk(text);
            title = QStringLiteral("QSoundFile::AddiXMLChunk()");
        }
        f.Close();
        global_pLogger = nullptr;
        QVERIFY(!written);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), title);
        QCOMPARE(spy.at(0).at(1).toString(),
                 QStringLiteral("The RIFF size of\n%1\nends before the file does: nothing written.").arg(path));
        QVERIFY(testsupport::readAll(path) == before);
    }

    // Any track index a caller passes is printed as its number plus one,
    // without overflow (the engine itself only passes 0 ... 23).
    void rewriteAtIndexLimits_data()
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
    void rewriteAtIndexLimits()
    {
        QFETCH(int, index);
        QFETCH(QByteArray, channel);
        QFETCH(QByteArray, track);
        char d[256];
        memcpy(d, field256("aSCENE=12A\r\n").constData(), 256);
        d[255] = 'z';
        QSoundMixer::RewriteBextDescriptor(d, nullptr, nullptr, nullptr, nullptr, "AA0001", nullptr, index, "Boom");
        const QByteArray text(d);
        QVERIFY2(text.contains(channel), text.constData());
        QVERIFY2(text.contains(track), text.constData());
        QCOMPARE(d[255], 'z');
    }

    // Track indexes at the ends of the int range, in the document and in the
    // queries: no overflow, and the "none" answers.
    void ixmlIndexesAtLimits()
    {
        QSoundFile f;
        f.m_siXML = QStringLiteral(
            "<BWFXML><TRACK_LIST><TRACK_COUNT>3</TRACK_COUNT>"
            "<TRACK><CHANNEL_INDEX>-2147483648</CHANNEL_INDEX><INTERLEAVE_INDEX>1</INTERLEAVE_INDEX><NAME>low</NAME></TRACK>"
            "<TRACK><CHANNEL_INDEX>2147483647</CHANNEL_INDEX><INTERLEAVE_INDEX>-2147483648</INTERLEAVE_INDEX>"
            "<NAME>high</NAME></TRACK>"
            "<TRACK><CHANNEL_INDEX>2</CHANNEL_INDEX><INTERLEAVE_INDEX>2147483647</INTERLEAVE_INDEX><NAME>two</NAME></TRACK>"
            "</TRACK_LIST></BWFXML>");
        QVERIFY(f.GetiXMLFileInfos());
        QCOMPARE(f.GetiXMLMonoTrackNumber(), -1);
        QCOMPARE(f.GetiXMLPolyTrackOriginalIndex(0), -1);
        QCOMPARE(f.GetiXMLPolyTrackOriginalIndex(std::numeric_limits<int>::max()), -1);
        QCOMPARE(f.GetiXMLPolyTrackOriginalIndex(2147483646), 1);
        QCOMPARE(f.GetiXMLPolyTrackName(std::numeric_limits<int>::max()), QString());
        QCOMPARE(f.GetiXMLPolyTrackName(2147483646), QStringLiteral("high"));
        QCOMPARE(f.GetiXMLPolyTrackName(std::numeric_limits<int>::min()), QString());
        QCOMPARE(f.GetiXMLPolyTrackName(1), QStringLiteral("two"));
    }
};

QTEST_MAIN(TestHostileMetadata)
#include "tst_hostile_metadata.moc"
