// SPDX-License-Identifier: GPL-3.0-or-later
// Generated iXML documents, compared element by element and in order.
#include "MessageLoging.h"
#include "QSoundFile.h"
#include "RecorderFileWriter.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// "PATH=text" for every leaf element, "PATH/" for every element with child
// elements, in document order; an element without any child is "PATH=".
void flatten(const QDomElement& parent, const QString& prefix, QStringList* out)
{
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        const QString path = prefix + e.tagName();
        if (!e.firstChildElement().isNull()) {
            out->append(path + QLatin1Char('/'));
            flatten(e, path + QLatin1Char('/'), out);
        } else {
            out->append(path + QLatin1Char('=') + e.text());
        }
    }
}

QStringList flattenDoc(QSoundFile& sf)
{
    QStringList out;
    flatten(sf.m_XmlObject.Document().documentElement(), QString(), &out);
    return out;
}

// The children of one section, as "TAG=text".
QStringList section(QSoundFile& sf, const QString& name)
{
    QStringList out;
    const QDomElement e = sf.m_XmlObject.Document().documentElement().firstChildElement(name);
    for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        out << c.tagName() + QLatin1Char('=') + c.text();
    return out;
}

QString leaf(QSoundFile& sf, const QString& path)
{
    QDomElement e = sf.m_XmlObject.Document().documentElement();
    for (const QString& part : path.split(QLatin1Char('/')))
        e = e.firstChildElement(part);
    return e.isNull() ? QStringLiteral("<missing>") : e.text();
}

RecorderFileSpec baseSpec()
{
    RecorderFileSpec spec;
    spec.sampleRate = 48000;
    spec.bitsPerSample = 24;
    spec.channels = 1;
    spec.frames = 480;
    spec.timeReference = 0x100000010ull;
    spec.withIxml = false;
    spec.description = RecorderFileWriter::descriptionLines({{"aSCENE=", "12A"},
                                                            {"aTAKE=", "3"},
                                                            {"aTAPE=", "DAY1"},
                                                            {"aUBITS=", "11223344"},
                                                            {"aSPEED=", "025.000-ND"},
                                                            {"aNOTE=", "good take"}});
    return spec;
}

const QString kUid = QStringLiteral("VELPAVV01.2201905141015300010003");

} // namespace

class TestIxmlGenerate : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_Dir;
    MessageLoging* m_pLogger = nullptr;

    QString write(const QString& name, const RecorderFileSpec& spec)
    {
        const QString path = m_Dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QString error;
        if (!RecorderFileWriter::write(path, spec, &error))
            qWarning("fixture: %s", qPrintable(error));
        return path;
    }

    bool openRead(QSoundFile& sf, const QString& path)
    {
        sf.InitVariables();
        return sf.Open(path, 0) && sf.ReadChunks(true, false);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_Dir.isValid());
        QVERIFY2(!m_Dir.path().contains(QLatin1String("PV1")), "temporary folder name holds PV1");
        m_pLogger = new MessageLoging(this);
        global_pLogger = m_pLogger;
    }
    void cleanupTestCase() { global_pLogger = nullptr; }

    void wholeMonoDocumentInOrder()
    {
        const QString folder = QStringLiteral("take/");
        RecorderFileSpec other = baseSpec();
        write(folder + QStringLiteral("AA0001_01.WAV"), other);
        write(folder + QStringLiteral("AA0001_02.WAV"), other);
        write(folder + QStringLiteral("AB0001_01.WAV"), other);      // another take
        write(folder + QStringLiteral("AA0001_01.DEL1"), other);     // a hidden track
        const QString path = write(folder + QStringLiteral("AA0001_03.WAV"), baseSpec());

        QSoundFile sf;
        QVERIFY(openRead(sf, path));
        QVERIFY(!sf.m_XmlObject.XmlOk());
        const QString text = sf.GenerateiXMLChunkMono(2);
        QVERIFY(sf.m_XmlObject.XmlOk());

        QStringList expected = QStringLiteral(
            "IXML_VERSION=2.01|PROJECT=N/A|SCENE=12A|TAKE=3|TAPE=DAY1|CIRCLED=TRUE|UBITS=11223344|"
            "NOTE=good take|FILE_UID=%1|SPEED/|SPEED/TIMECODE_FLAG=NDF|SPEED/TIMECODE_RATE=25/1|"
            "SPEED/FILE_SAMPLE_RATE=48000|SPEED/AUDIO_BIT_DEPTH=24|SPEED/DIGITIZER_SAMPLE_RATE=48000|"
            "SPEED/TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI=1|SPEED/TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO=16|"
            "SPEED/TIMESTAMP_SAMPLE_RATE=48000|HISTORY/|HISTORY/ORIGINAL_FILENAME=AA0001_03.WAV|FILE_SET/|"
            "FILE_SET/TOTAL_FILES=3|FILE_SET/FAMILY_UID=VELPAVV01.2201905141015300010000|"
            "FILE_SET/FAMILY_NAME=12A/3|FILE_SET/FILE_SET_INDEX=3|TRACK_LIST/|TRACK_LIST/TRACK_COUNT=1|"
            "TRACK_LIST/TRACK/|TRACK_LIST/TRACK/CHANNEL_INDEX=3|TRACK_LIST/TRACK/INTERLEAVE_INDEX=1|"
            "TRACK_LIST/TRACK/NAME= |TRACK_LIST/TRACK/FUNCTION= |BEXT/|BEXT/BWF_TIME_REFERENCE_LOW=16|"
            "BEXT/BWF_TIME_REFERENCE_HIGH=1|BEXT/BWF_ORIGINATOR=       PAVANE V01.23.45 SN000123|"
            "BEXT/BWF_ORIGINATOR_REFERENCE=%1|BEXT/BWF_ORIGINATION_DATE=2019:05:14|"
            "BEXT/BWF_ORIGINATION_TIME=10:15:30|BEXT/BWF_VERSION=1|SYNC_POINT_LIST=|VELTA_PAVANE/|"
            "VELTA_PAVANE/INPUT_SETTINGS=|VELTA_PAVANE/REF_LEVEL= |VELTA_PAVANE/ALL_TRK_NAME/")
            .arg(kUid).split(QLatin1Char('|'));
        for (int i = 0; i < 24; ++i) {
            expected << QStringLiteral("VELTA_PAVANE/ALL_TRK_NAME/DATA/")
                     << QStringLiteral("VELTA_PAVANE/ALL_TRK_NAME/DATA/INDICE=%1").arg(i)
                     << QStringLiteral("VELTA_PAVANE/ALL_TRK_NAME/DATA/ACTIVE=NO");
        }
        const QStringList actual = flattenDoc(sf);
        for (int i = 0; i < qMin(actual.size(), expected.size()); ++i)
            QCOMPARE(actual.at(i), expected.at(i));
        QCOMPARE(actual.size(), expected.size());
        QCOMPARE(sf.m_XmlObject.Document().documentElement().tagName(), QStringLiteral("BWFXML"));

        // Serialised with the declaration and one space per level.
        QVERIFY(text.startsWith(QStringLiteral("<?xml version = '1.0' encoding = 'UTF-8'?>\n<BWFXML>\n"
                                               " <IXML_VERSION>2.01</IXML_VERSION>\n")));
        QVERIFY(text.contains(QStringLiteral("\n <SPEED>\n  <TIMECODE_FLAG>NDF</TIMECODE_FLAG>\n")));
        QVERIFY(text.contains(QStringLiteral("\n   <CHANNEL_INDEX>3</CHANNEL_INDEX>\n")));
        QVERIFY(text.contains(QStringLiteral("\n <SYNC_POINT_LIST/>\n")));
        QVERIFY(text.contains(QStringLiteral("<NAME> </NAME>")));

        // A loaded document is serialised as it stands, not rebuilt.
        sf.m_XmlObject.SetElement(QStringLiteral("SCENE"), QStringLiteral("99Z"), XmlPath(QString()));
        QVERIFY(sf.GenerateiXMLChunkMono(7).contains(QStringLiteral("<SCENE>99Z</SCENE>")));
        QVERIFY(sf.GenerateiXMLChunkMono(7).contains(QStringLiteral("<CHANNEL_INDEX>3</CHANNEL_INDEX>")));
        sf.Close();
    }

    void speedClasses_data()
    {
        QTest::addColumn<QByteArray>("speed");
        QTest::addColumn<QByteArray>("filmCode");
        QTest::addColumn<uint>("rate");
        QTest::addColumn<QStringList>("expected");

        auto rows = [](const QString& flag, const QString& tcRate, uint r, int digitizer, int timestamp) {
            QStringList l{QStringLiteral("TIMECODE_FLAG=") + flag, QStringLiteral("TIMECODE_RATE=") + tcRate,
                          QStringLiteral("FILE_SAMPLE_RATE=%1").arg(r), QStringLiteral("AUDIO_BIT_DEPTH=24")};
            if (digitizer >= 0)
                l << QStringLiteral("DIGITIZER_SAMPLE_RATE=%1").arg(digitizer);
            l << QStringLiteral("TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI=1")
              << QStringLiteral("TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO=16");
            if (timestamp >= 0)
                l << QStringLiteral("TIMESTAMP_SAMPLE_RATE=%1").arg(timestamp);
            return l;
        };
        QTest::newRow("24 ND") << QByteArray("024.000-ND") << QByteArray("24.00") << 48000u
                               << rows(QStringLiteral("NDF"), QStringLiteral("24/1"), 48000, 48000, 48000);
        QTest::newRow("25 ND") << QByteArray("025.000-ND") << QByteArray("25.00") << 48000u
                               << rows(QStringLiteral("NDF"), QStringLiteral("25/1"), 48000, 48000, 48000);
        QTest::newRow("29.97 DF") << QByteArray("029.970-DF") << QByteArray("29.97") << 48000u
                                  << rows(QStringLiteral("DF"), QStringLiteral("30000/1001"), 48000, 48000, 48000);
        QTest::newRow("30 ND") << QByteArray("030.000-ND") << QByteArray("30.00") << 96000u
                               << rows(QStringLiteral("NDF"), QStringLiteral("30/1"), 96000, 96000, 96000);
        QTest::newRow("29.97 ND pull-down A at 48048")
            << QByteArray("029.970-ND") << QByteArray("30.DRIFT") << 48048u
            << rows(QStringLiteral("NDF"), QStringLiteral("30000/1001"), 48048, 48000, 48048);
        QTest::newRow("29.97 ND pull-down B")
            << QByteArray("029.970-ND") << QByteArray("30.DRIF2") << 48000u
            << rows(QStringLiteral("NDF"), QStringLiteral("30000/1001"), 48000, 48000, 48000);
        QTest::newRow("29.97 ND pull-up C")
            << QByteArray("029.970-ND") << QByteArray("30.DRIF3") << 48000u
            << rows(QStringLiteral("NDF"), QStringLiteral("30000/1001"), 48000, 48000, 48048);
        QTest::newRow("29.97 ND without pull-down family")
            << QByteArray("029.970-ND") << QByteArray("29.97") << 48048u
            << rows(QStringLiteral("NDF"), QStringLiteral("30000/1001"), 48048, -1, -1);
        QTest::newRow("23.976 ND pull-down A")
            << QByteArray("023.976-ND") << QByteArray("24.DRIFT") << 48048u
            << rows(QStringLiteral("NDF"), QStringLiteral("24000/1001"), 48048, 48000, 48048);
        QTest::newRow("23.976 ND pull-up C at 44100")
            << QByteArray("023.976-ND") << QByteArray("24.DRIF3") << 44100u
            << rows(QStringLiteral("NDF"), QStringLiteral("24000/1001"), 44100, 44100, 44144);
        QTest::newRow("empty speed") << QByteArray() << QByteArray("25.00") << 48000u
                                     << rows(QStringLiteral("Unknown"), QStringLiteral("Unknown"), 48000, -1, -1);
        QTest::newRow("30 DF is not a class") << QByteArray("030.000-DF") << QByteArray("30.00") << 48000u
                                              << rows(QStringLiteral("Unknown"), QStringLiteral("Unknown"), 48000, -1, -1);
    }
    void speedClasses()
    {
        QFETCH(QByteArray, speed);
        QFETCH(QByteArray, filmCode);
        QFETCH(uint, rate);

        RecorderFileSpec spec = baseSpec();
        spec.sampleRate = rate;
        spec.frameRateCode = filmCode;
        QList<QPair<QByteArray, QByteArray>> lines{{"aSCENE=", "1"}, {"aTAKE=", "2"}};
        if (!speed.isEmpty())
            lines << qMakePair(QByteArray("aSPEED="), speed);
        spec.description = RecorderFileWriter::descriptionLines(lines);
        const QString path = write(QStringLiteral("speed/%1.WAV").arg(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'))), spec);

        QSoundFile sf;
        QVERIFY(openRead(sf, path));
        sf.GenerateiXMLChunkMono(0);
        QTEST(section(sf, QStringLiteral("SPEED")), "expected");
    }

    void circledAndFamilyName_data()
    {
        QTest::addColumn<QByteArray>("take");
        QTest::addColumn<QString>("circled");
        QTest::newRow("not good, lower case") << QByteArray("n12") << "FALSE";
        QTest::newRow("not good, upper case") << QByteArray("N3") << "FALSE";
        QTest::newRow("digit") << QByteArray("12") << "TRUE";
        QTest::newRow("other letter") << QByteArray("t4") << "TRUE";
        QTest::newRow("no take") << QByteArray() << "TRUE";
    }
    void circledAndFamilyName()
    {
        QFETCH(QByteArray, take);
        QFETCH(QString, circled);
        RecorderFileSpec spec = baseSpec();
        QList<QPair<QByteArray, QByteArray>> lines{{"aSCENE=", "7B"}};
        if (!take.isEmpty())
            lines << qMakePair(QByteArray("aTAKE="), take);
        spec.description = RecorderFileWriter::descriptionLines(lines);
        const QString path = write(QStringLiteral("circled/AA0002_01.WAV"), spec);
        QSoundFile sf;
        QVERIFY(openRead(sf, path));
        sf.GenerateiXMLChunkMono(0);
        QCOMPARE(leaf(sf, QStringLiteral("CIRCLED")), circled);
        QCOMPARE(leaf(sf, QStringLiteral("TAKE")), take.isEmpty() ? QStringLiteral(" ") : QString::fromLatin1(take));
        QCOMPARE(leaf(sf, QStringLiteral("FILE_SET/FAMILY_NAME")), QStringLiteral("7B/") + QString::fromLatin1(take));
        // Missing bext values are written as one space.
        QCOMPARE(leaf(sf, QStringLiteral("NOTE")), QStringLiteral(" "));
        QCOMPARE(leaf(sf, QStringLiteral("TAPE")), QStringLiteral(" "));
    }

    void uniqueIdentifiers_data()
    {
        QTest::addColumn<QByteArray>("originator");
        QTest::addColumn<QByteArray>("date");
        QTest::addColumn<QByteArray>("time");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<int>("t");
        QTest::addColumn<QString>("fileUid");
        QTest::addColumn<QString>("familyUid");

        QTest::newRow("track index 4") << QByteArray("PAVANE V01.23.45 SN000123") << QByteArray("2019:05:14")
                                       << QByteArray("10:15:30") << "AA0001_05.WAV" << 4
                                       << "VELPAVV01.2201905141015300010005" << "VELPAVV01.2201905141015300010000";
        QTest::newRow("hyphenated date, other root") << QByteArray("ABCDEFGHIJKLMNOP") << QByteArray("2020-12-31")
                                                     << QByteArray("23:59:01") << "ZX0042_12.WAV" << 11
                                                     << "VELPAVHIJKL20201231235901042" "0012"
                                                     << "VELPAVHIJKL20201231235901042" "0000";
        QTest::newRow("short fields padded on the left") << QByteArray("PAVANE V0") << QByteArray()
                                                         << QByteArray("1:2") << "AB_1.WAV" << 0
                                                         // "%8.8s" of "1:2" is "     1:2"; without ":" and cut
                                                         // by "%6.6s" it is "     1"; the root AB has no 4th character
                                                         << QStringLiteral("VELPAV   V0") + QString(13, QLatin1Char(' ')) + QStringLiteral("1   0001")
                                                         << QStringLiteral("VELPAV   V0") + QString(13, QLatin1Char(' ')) + QStringLiteral("1   0000");
    }
    void uniqueIdentifiers()
    {
        QFETCH(QByteArray, originator);
        QFETCH(QByteArray, date);
        QFETCH(QByteArray, time);
        QFETCH(QString, fileName);
        QFETCH(int, t);
        QFETCH(QString, fileUid);
        QFETCH(QString, familyUid);

        RecorderFileSpec spec = baseSpec();
        spec.originator = originator;
        spec.originationDate = date;
        spec.originationTime = time;
        const QString path = write(QStringLiteral("uid/") + fileName, spec);
        QSoundFile sf;
        QVERIFY(openRead(sf, path));
        QCOMPARE(sf.GenerateUID(t, false), fileUid);
        QCOMPARE(sf.GenerateUID(t, true), familyUid);
        sf.GenerateiXMLChunkMono(t);
        QCOMPARE(leaf(sf, QStringLiteral("FILE_UID")), fileUid);
        QCOMPARE(leaf(sf, QStringLiteral("BEXT/BWF_ORIGINATOR_REFERENCE")), fileUid);
        QCOMPARE(leaf(sf, QStringLiteral("FILE_SET/FAMILY_UID")), familyUid);
        QCOMPARE(leaf(sf, QStringLiteral("FILE_SET/FILE_SET_INDEX")), QString::number(t + 1));
    }

    void projectFromPath_data()
    {
        QTest::addColumn<QString>("namingPath");
        QTest::addColumn<QString>("project");
        QTest::newRow("volume name") << "/Volumes/Desert_PV1/Day3/AA0001_01.WAV" << "Desert";
        QTest::newRow("no PV1") << "/Volumes/Desert/Day3/AA0001_01.WAV" << "N/A";
        QTest::newRow("lower-case pv1 does not count") << "/Volumes/Desert_pv1/AA0001_01.WAV" << "N/A";
        QTest::newRow("first PV1 wins") << "/a/Big Film-PV1/b/Other_PV1/AA0001_01.WAV" << "Big Film";
        QTest::newRow("no slash before PV1") << "Desert_PV1" << "N/A";
        QTest::newRow("nothing before the separator") << "/x/_PV1/AA0001_01.WAV" << " ";
        QTest::newRow("PV1 right after the slash") << "/x/PV1/AA0001_01.WAV" << " ";
    }
    void projectFromPath()
    {
        QFETCH(QString, namingPath);
        QFETCH(QString, project);
        const QString path = write(QStringLiteral("project/AA0009_01.WAV"), baseSpec());
        QSoundFile sf;
        QVERIFY(openRead(sf, path));
        sf.SetNamingPath(namingPath);
        sf.GenerateiXMLChunkMono(0);
        QCOMPARE(leaf(sf, QStringLiteral("PROJECT")), project);
    }

    // A new track is written under a temporary name; its metadata must come
    // out as for the final name.
    void temporaryNameGivesFinalNameMetadata_data()
    {
        QTest::addColumn<QString>("temporaryName");
        QTest::addColumn<bool>("withNamingPath");
        QTest::addColumn<int>("totalFiles");
        QTest::addColumn<QString>("originalName");
        QTest::newRow("hidden temporary name") << ".AA0001_05.WAV.part" << true << 5 << "AA0001_05.WAV";
        QTest::newRow("temporary name that looks like a track") << "AA0001_05.tmp.WAV" << true << 5 << "AA0001_05.WAV";
        QTest::newRow("no naming path: the file itself") << "AA0001_05.WAV" << false << 5 << "AA0001_05.WAV";
        // Without the final name the temporary name is taken for a take of its own.
        QTest::newRow("no naming path, temporary name") << "AA0001_05.tmp.WAV" << false << 1 << "AA0001_05.tmp.WAV";
    }
    void temporaryNameGivesFinalNameMetadata()
    {
        QFETCH(QString, temporaryName);
        QFETCH(bool, withNamingPath);
        QFETCH(int, totalFiles);

        QTemporaryDir dir(m_Dir.filePath(QStringLiteral("Forest_PV1-XXXXXX")));
        QVERIFY(dir.isValid());
        RecorderFileSpec base = baseSpec();
        base.withIxml = true;
        QVERIFY(RecorderFileWriter::writeMonoTake(dir.path(), QStringLiteral("AA0001"), 4, base));
        const QString temporary = dir.filePath(temporaryName);
        QVERIFY(RecorderFileWriter::write(temporary, baseSpec()));
        const QString finalPath = dir.filePath(QStringLiteral("AA0001_05.WAV"));

        QSoundFile sf;
        QVERIFY(openRead(sf, temporary));
        if (withNamingPath)
            sf.SetNamingPath(finalPath);
        QCOMPARE(sf.NamingPath(), withNamingPath ? finalPath : temporary);
        sf.GenerateiXMLChunkMono(4);
        QTEST(leaf(sf, QStringLiteral("HISTORY/ORIGINAL_FILENAME")), "originalName");
        QCOMPARE(leaf(sf, QStringLiteral("FILE_SET/TOTAL_FILES")), QString::number(totalFiles));
        QVERIFY(leaf(sf, QStringLiteral("FILE_UID")).endsWith(QStringLiteral("0010005")));
        QVERIFY(leaf(sf, QStringLiteral("FILE_SET/FAMILY_UID")).endsWith(QStringLiteral("0010000")));
        QCOMPARE(leaf(sf, QStringLiteral("PROJECT")), QStringLiteral("Forest"));
        sf.Close();

        // Once renamed, the same file counts once.
        if (withNamingPath) {
            QVERIFY(QFile::rename(temporary, finalPath));
            QSoundFile renamed;
            QVERIFY(openRead(renamed, finalPath));
            renamed.GenerateiXMLChunkMono(4);
            QCOMPARE(leaf(renamed, QStringLiteral("FILE_SET/TOTAL_FILES")), QStringLiteral("5"));
        }
    }

    void polyDocument()
    {
        RecorderFileSpec spec = baseSpec();
        spec.channels = 3;
        const QString path = write(QStringLiteral("poly/AA0003PX.WAV"), spec);
        QSoundFile sf;
        QVERIFY(openRead(sf, path));
        sf.GenerateiXMLChunkMono(5);   // not mono: the poly document is built
        QCOMPARE(section(sf, QStringLiteral("FILE_SET")).first(), QStringLiteral("TOTAL_FILES=1"));
        QCOMPARE(section(sf, QStringLiteral("FILE_SET")).last(), QStringLiteral("FILE_SET_INDEX=A"));
        QStringList tracks;
        flatten(sf.m_XmlObject.Document().documentElement().firstChildElement(QStringLiteral("TRACK_LIST")), QString(),
                &tracks);
        QString expected = QStringLiteral("TRACK_COUNT=3");
        for (int i = 1; i <= 3; ++i)
            expected += QStringLiteral("|TRACK/|TRACK/CHANNEL_INDEX=%1|TRACK/INTERLEAVE_INDEX=%1|TRACK/NAME= |TRACK/FUNCTION= ").arg(i);
        QCOMPARE(tracks.join(QLatin1Char('|')), expected);
    }

};

QTEST_MAIN(TestIxmlGenerate)
#include "tst_ixml_generate.moc"
