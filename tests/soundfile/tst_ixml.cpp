// SPDX-License-Identifier: GPL-3.0-or-later
// iXML: the queries, the document built for a file without one, the setters and the two chunk writers, checked on the bytes
// of the file and with our reader.

#include "RelayRecorder.h"
#include "SoundFixtures.h"
#include "SoundTestKit.h"

#include <algorithm>

using namespace testsupport;

namespace {
QString doc(const QString& body)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML>") + body + QStringLiteral("</BWFXML>");
}

// A QSoundFile whose iXML text is `text`, parsed; 48 kHz mono 24-bit.
bool load(QSoundFile& f, const QString& text, const QByteArray& film = "25.00", quint32 rate = 48000)
{
    kit::setRecords(f, rate, 1, 24, 0, film);
    f.m_siXML = text;
    return f.GetiXMLFileInfos();
}

QString syncPointList(const QStringList& points)   // "FUNCTION,comment,low" each
{
    QString list;
    for (const QString& p : points)
        list += QStringLiteral("<SYNC_POINT><SYNC_POINT_TYPE>RELATIVE</SYNC_POINT_TYPE><SYNC_POINT_FUNCTION>%1</SYNC_POINT_FUNCTION>"
                               "<SYNC_POINT_COMMENT>%2</SYNC_POINT_COMMENT><SYNC_POINT_LOW>%3</SYNC_POINT_LOW><SYNC_POINT_HIGH>0"
                               "</SYNC_POINT_HIGH></SYNC_POINT>").arg(p.section(',', 0, 0), p.section(',', 1, 1), p.section(',', 2, 2));
    return doc(QStringLiteral("<SYNC_POINT_LIST>") + list + QStringLiteral("</SYNC_POINT_LIST>"));
}

// The sync points of `f`, read into arrays pre-filled with 99 and lists holding "stale", as "slates N: samples/frames comment,
// ...; markers M: samples comment, ...; auto|manual" with the first `slates` and `markers` entries.
QString syncText(QSoundFile& f, bool pullDown, int slates, int markers)
{
    unsigned int slateCount = 77, markerCount = 77, slateSamples[10], slateFrames[10], markerSamples[10];
    QStringList slateComments{QStringLiteral("stale")}, markerComments{QStringLiteral("stale")}, s, m;
    bool slateAuto = true;
    std::fill_n(slateSamples, 10, 99u), std::fill_n(slateFrames, 10, 99u), std::fill_n(markerSamples, 10, 99u);
    f.GetiXMLSyncPoint(&slateCount, slateSamples, slateFrames, &slateComments, pullDown, &markerCount, markerSamples, &markerComments,
                       &slateAuto);
    for (int i = 0; i < slates; ++i)
        s << QStringLiteral("%1/%2 %3").arg(slateSamples[i]).arg(slateFrames[i]).arg(slateComments.value(i, QStringLiteral("-")));
    for (int i = 0; i < markers; ++i)
        m << QStringLiteral("%1 %2").arg(markerSamples[i]).arg(markerComments.value(i, QStringLiteral("-")));
    return QStringLiteral("slates %1: %2; markers %3: %4; %5").arg(slateCount).arg(s.join(QLatin1String(", "))).arg(markerCount)
        .arg(m.join(QLatin1String(", ")), slateAuto ? QStringLiteral("auto") : QStringLiteral("manual"));
}

// The text of the element at "A/B/C" under the root.
QString leaf(QSoundFile& sf, const QString& path)
{
    QDomElement e = sf.m_XmlObject.Document().documentElement();
    for (const QString& part : path.split(QLatin1Char('/')))
        e = e.firstChildElement(part);
    return e.isNull() ? QStringLiteral("<missing>") : e.text();
}

// A valid iXML document of exactly `bytes` bytes whose NOTE starts with `note`: filled with 'x' inside the NOTE, or padded with
// spaces after it.
QString documentOfSize(int bytes, const QString& note, bool padWithSpaces)
{
    const QString head = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML><NOTE>") + note;
    const QString tail = QStringLiteral("</NOTE></BWFXML>\n");
    const int fill = bytes - (head + tail).toUtf8().size();
    return padWithSpaces ? head + tail + QString(fill, QLatin1Char(' ')) : head + QString(fill, QLatin1Char('x')) + tail;
}

// The recorder's layout plus a chunk of our own after data whose bytes must survive every rewrite.
RecorderFileSpec tailSpec()
{
    RecorderFileSpec spec;
    ExtraChunk tail{"tail", QByteArray(), false, 0};
    for (int i = 0; i < 1000; ++i)
        tail.body.append(char(i * 7 + 3));
    spec.extraAfter << tail;
    return spec;
}

const QString kBaseLines = QStringLiteral("aSCENE=12A|aTAKE=3|aTAPE=DAY1|aUBITS=11223344|aSPEED=025.000-ND|aNOTE=good take");
QString names[24], pans[24], actives[24], grids[24];
} // namespace

class TestIxml : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_nFile = 0;
    QString write(const RecorderFileSpec& spec, QList<RecorderChunkPlace>* places = nullptr, QString name = QString())
    {
        if (name.isEmpty())
            name = QStringLiteral("AA%1_01.WAV").arg(++m_nFile, 4, 10, QLatin1Char('0'));
        return writeSpec(m_dir.filePath(name), spec, places);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid() && !m_dir.path().contains(QLatin1String("PV1"))); }
    void cleanup() { QSoundFile::SetWriterBufferLimitForTests(0); }

    // Body "-": no document at all. A missing or empty text reads as " "; take letters come from TAKE_TYPE with a template of 2
    // or 3, else from TAKE. "indexes": original index of interleave 0 to 4 and -1; "channels": NAME,FUNCTION of channels 0 to 4.
    void queries_data()
    {
        kit::columns<QString, QString>("body", "expected");
        auto take = [](const QString& take, const QString& tpl, const QString& type) {
            return (take == QLatin1String("-") ? QString() : "<TAKE>" + take + "</TAKE>")
                   + (type == QLatin1String("-") ? QString() : "<TAKE_TYPE>" + type + "</TAKE_TYPE>")
                   + (tpl == QLatin1String("-") ? QString() : "<VELTA_PAVANE><SCTK_TEMPLATE>" + tpl + "</SCTK_TEMPLATE></VELTA_PAVANE>");
        };
        QTest::newRow("no document") << "-" << "scene=;tape=;notes=;ubits=;circled=;trackname=;reflevel=;comp=;indicator=;number=;"
            "tracknumber=-1;template=-1;indexes=-1 -1 -1 -1 -1 -1;channels=,|,|,|,|,;trk(0)=;active(0)=;grid(0)=;pan(0)=;adv=;messages=0";
        QTest::newRow("present") << "<SCENE>12A</SCENE><TAPE>DAY1</TAPE><NOTE>a &lt; b &amp; c</NOTE><UBITS>00112233</UBITS>"
                                    "<CIRCLED>FALSE</CIRCLED>" << "scene=12A;tape=DAY1;notes=a < b & c;ubits=00112233;circled=FALSE";
        QTest::newRow("missing") << "<TAKE>1</TAKE><VELTA_PAVANE/>" << "scene= ;notes= ;circled= ;reflevel= ;trk(0)=";
        QTest::newRow("scene not trimmed") << "<SCENE> 12 </SCENE>" << "scene= 12 ";
        QTest::newRow("UTF-8 scene") << "<SCENE>Été</SCENE>" << "scene=Été";
        QTest::newRow("first TRACK, vendor fields") << "<TRACK_LIST><TRACK><CHANNEL_INDEX>3</CHANNEL_INDEX><NAME>Boom</NAME></TRACK><TRACK>"
            "<NAME>Lav</NAME></TRACK></TRACK_LIST><VELTA_PAVANE><REF_LEVEL>-20dBFS</REF_LEVEL><SCTK_TEMPLATE>2</SCTK_TEMPLATE><ADV_TPL>"
            "<COMP>SQ-SL</COMP></ADV_TPL></VELTA_PAVANE>" << "trackname=Boom;tracknumber=2;reflevel=-20dBFS;template=2;comp=SQ-SL";
        QTest::newRow("missing level skipped") << "<NAME>top</NAME>" << "trackname=top";
        QTest::newRow("TRACK without CHANNEL_INDEX") << "<TRACK_LIST><TRACK><NAME>x</NAME></TRACK></TRACK_LIST>"
                                                     << "tracknumber=-1;template=-1";
        QTest::newRow("not numbers") << "<TRACK_LIST><TRACK><CHANNEL_INDEX>x</CHANNEL_INDEX></TRACK></TRACK_LIST>"
                                        "<VELTA_PAVANE><SCTK_TEMPLATE>abc</SCTK_TEMPLATE></VELTA_PAVANE>" << "tracknumber=-1;template=0";
        QTest::newRow("empty numbers") << "<TRACK_LIST><TRACK><CHANNEL_INDEX/></TRACK></TRACK_LIST>"
                                          "<VELTA_PAVANE><SCTK_TEMPLATE/></VELTA_PAVANE>" << "tracknumber=-1;template=-1";
        // TAKE|SCTK_TEMPLATE|TAKE_TYPE ("-": no element) -> indicator|number
        for (const char* r : {"r12|-|-|r|12", "12|-|-||12", "12|3|NOT_GOOD|n|12", "|-|-| | ", "-|-|-| | ", "|3|REHEARSAL|r| ",
                              "|3|-| | ", "12|2|TAKE|t|12", "4|2|WILD_SOUND|w|4", "4|2|SOUND_GUIDE|g|4", "4|2|ANNOUNCEMENT|a|4",
                              "4|2|rehearsal||4", "r12|2|WILD_SOUND|w|r12", "r12|2|-||r12", "w5|1|WILD_SOUND|w|5", "g7|abc|TAKE|g|7",
                              "p3|-|-|p|3", "t1|-|-|t|1", "a2|-|-|a|2", "n9|-|-|n|9", "x9|-|-||x9", "R9|-|-||R9", " p4 |-|-|p|4", "r|-|-|r|"}) {
            const QStringList c = kit::split(QString::fromLatin1(r));
            QTest::newRow(r) << take(c[0], c[1], c[2]) << QStringLiteral("indicator=%1;number=%2").arg(c[3], c[4]);
        }
        // The later SEQUENCE replaces the earlier; SEP1 and SEP2 are fields 0 and -1.
        QTest::newRow("advanced template fields")
            << "<VELTA_PAVANE><ADV_TPL><COMP>SE-EP-SQ</COMP><SEQUENCE>41</SEQUENCE><SLATE>7</SLATE><SEASON>2</SEASON><EPISODE>10"
               "</EPISODE><EFFECT>INT</EFFECT><UNIT>B</UNIT><SEP1>-</SEP1><SEP2>_</SEP2><SEP0>x</SEP0><SEPX>y</SEPX><SEP>z</SEP>"
               "<OTHER>o</OTHER><SEQUENCE>42</SEQUENCE></ADV_TPL></VELTA_PAVANE>" << "adv=-1:_ 0:- 1:42 2:7 3:2 4:10 5:INT 6:B";
        QTest::newRow("no advanced template") << "<VELTA_PAVANE><REF_LEVEL>x</REF_LEVEL></VELTA_PAVANE>" << "adv=";
        // Poly channels looked up among the first TRACK_COUNT tracks; a count far beyond the tracks present is harmless.
        const QString poly = QStringLiteral("<TRACK_LIST><TRACK_COUNT>%1</TRACK_COUNT>"
            "<TRACK><CHANNEL_INDEX>1</CHANNEL_INDEX><INTERLEAVE_INDEX>1</INTERLEAVE_INDEX><NAME>L</NAME><FUNCTION>LEFT</FUNCTION></TRACK>"
            "<TRACK><CHANNEL_INDEX>5</CHANNEL_INDEX><INTERLEAVE_INDEX>2</INTERLEAVE_INDEX><NAME></NAME><FUNCTION></FUNCTION></TRACK>"
            "<TRACK><CHANNEL_INDEX>x</CHANNEL_INDEX><INTERLEAVE_INDEX>3</INTERLEAVE_INDEX><NAME>Bad</NAME></TRACK>"
            "<TRACK><CHANNEL_INDEX>2</CHANNEL_INDEX><INTERLEAVE_INDEX>4</INTERLEAVE_INDEX><NAME>Boom</NAME><FUNCTION>M</FUNCTION></TRACK>"
            "</TRACK_LIST>");
        QTest::newRow("poly, count 4") << poly.arg(4) << "indexes=0 4 -1 1 -1 -1;channels=L,LEFT|Boom,M|,|,| , ";
        QTest::newRow("poly, count 2") << poly.arg(2) << "indexes=0 4 -1 -1 -1 -1;channels=L,LEFT|,|,|,| , ";
        QTest::newRow("poly, count 0") << poly.arg(0) << "indexes=-1 -1 -1 -1 -1 -1;channels=,|,|,|,|,";
        QTest::newRow("poly, count 2000000000") << poly.arg(2000000000) << "indexes=0 4 -1 1 -1 -1;channels=L,LEFT|Boom,M|,|,| , ";
        // Indexes at the ends of the int range read as no index (-2147483648 was undefined behaviour).
        QTest::newRow("indexes at int limits") << "<TRACK_LIST><TRACK_COUNT>3</TRACK_COUNT>"
            "<TRACK><CHANNEL_INDEX>-2147483648</CHANNEL_INDEX><INTERLEAVE_INDEX>1</INTERLEAVE_INDEX><NAME>low</NAME></TRACK>"
            "<TRACK><CHANNEL_INDEX>2147483647</CHANNEL_INDEX><INTERLEAVE_INDEX>-2147483648</INTERLEAVE_INDEX><NAME>high</NAME></TRACK>"
            "<TRACK><CHANNEL_INDEX>2</CHANNEL_INDEX><INTERLEAVE_INDEX>2147483647</INTERLEAVE_INDEX><NAME>two</NAME></TRACK></TRACK_LIST>"
            << "tracknumber=-1;index(0)=-1;index(2147483647)=-1;index(2147483646)=1;name(2147483647)=;name(2147483646)=high;"
               "name(-2147483648)=;name(1)=two";
        // The first 24 DATA entries of the vendor track table; INDICE is compared as is, the first match wins; missing fields
        // give empty text.
        RecorderIxml x;
        x.allTrackEntries = 30;
        for (int i = 0; i < 30; ++i)
            x.allTrackNames << QStringLiteral("T%1").arg(i);
        x.allTrackPanPot = QStringList({"L", "C", "R"});
        x.padTo = 0;
        QTest::newRow("vendor track table") << QString::fromUtf8(x.toBytes())
            << "trk(0)=T0;trk(23)=T23;trk(24)=;trk(-1)=;active(5)=YES;grid(5)=YES;pan(2)=R;pan(5)=0";
        QTest::newRow("vendor table by INDICE") << "<VELTA_PAVANE><ALL_TRK_NAME><DATA><INDICE>5</INDICE><NAME>Five</NAME></DATA>"
            "<DATA><INDICE> 2 </INDICE><NAME>Two</NAME><ACTIVE>NO</ACTIVE></DATA><DATA><INDICE>5</INDICE><NAME>Again</NAME></DATA>"
            "</ALL_TRK_NAME></VELTA_PAVANE>" << "trk(5)=Five;active(5)=;trk(2)=Two;active(2)=NO;trk(0)=";
    }
    void queries()
    {
        QFETCH(QString, body); QFETCH(QString, expected);
        RelayRecorder relay;
        QSoundFile f;
        if (body != QLatin1String("-"))
            QVERIFY(load(f, body.startsWith(QLatin1String("<?xml")) ? body : doc(body)));
        const QHash<QString, QString (QSoundFile::*)()> text{
            {"scene", &QSoundFile::GetiXMLScene}, {"tape", &QSoundFile::GetiXMLTape}, {"notes", &QSoundFile::GetiXMLNotes},
            {"ubits", &QSoundFile::GetiXMLUbits}, {"circled", &QSoundFile::GetiXMLCircled}, {"trackname", &QSoundFile::GetiXMLMonoTrackName},
            {"reflevel", &QSoundFile::GetiXMLVeltaRefLevel}, {"comp", &QSoundFile::GetiXMLAdvancedScTkTemplateCompostion},
            {"indicator", &QSoundFile::GetiXMLTakeIndicator}, {"number", &QSoundFile::GetiXMLTakeNumber}};
        const QHash<QString, QString (QSoundFile::*)(int)> at{
            {"name", &QSoundFile::GetiXMLPolyTrackName}, {"trk", &QSoundFile::GetiXMLVeltaTracknames},
            {"active", &QSoundFile::GetiXMLVeltaTrackActive}, {"grid", &QSoundFile::GetiXMLVeltaTrackInGrid},
            {"pan", &QSoundFile::GetiXMLVeltaTrackPanPot}};
        auto answer = [&](const QString& key) {   // "name(7)": the query "name" at 7
            const QString base = key.section(QLatin1Char('('), 0, 0);
            const int n = key.section(QLatin1Char('('), 1).remove(QLatin1Char(')')).toInt();
            QStringList l;
            if (base == QLatin1String("indexes") || base == QLatin1String("index"))
                for (int i : base == QLatin1String("index") ? QList<int>{n} : QList<int>{0, 1, 2, 3, 4, -1})
                    l << QString::number(f.GetiXMLPolyTrackOriginalIndex(i));
            if (base == QLatin1String("channels"))
                for (int c : {0, 1, 2, 3, 4})
                    l << f.GetiXMLPolyTrackName(c) + QLatin1Char(',') + f.GetiXMLPolyTrackFunction(c);
            const QHash<int, QString> fields = base == QLatin1String("adv") ? f.GetiXMLAdvancedScTkFields() : QHash<int, QString>();
            QList<int> keys = fields.keys();
            std::sort(keys.begin(), keys.end());
            for (int k : keys)
                l << QString::number(k) + QLatin1Char(':') + fields.value(k);
            return text.contains(base) ? (f.*text.value(base))() : at.contains(base) ? (f.*at.value(base))(n)
                   : base == QLatin1String("tracknumber") ? QString::number(f.GetiXMLMonoTrackNumber())
                   : base == QLatin1String("template") ? QString::number(f.GetiXMLScTkTemplate())
                   : base == QLatin1String("messages") ? QString::number(relay.count())
                   : l.join(base == QLatin1String("channels") ? QLatin1Char('|') : QLatin1Char(' '));
        };
        QCOMPARE(kit::ask(expected, answer), expected);
    }

    // Ten slates at most (the tenth decides "auto"); markers by their exact function name; frames rounded at the file's rate
    // and film code (pull-down on request); with no document, samples are cleared and frames are not.
    void syncPoints_data()
    {
        kit::columns<quint32, QByteArray, bool, QString, int, int, QString>("rate", "film", "pullDown", "points", "slates", "markers",
                                                                            "expected");
        QStringList ten;
        for (int i = 0; i < 11; ++i)   // the 11th is ignored
            ten << QStringLiteral("SLATE_GENERIC,%1,%2").arg(i == 3 || i == 10 ? QStringLiteral("AUTO") : QStringLiteral("c%1").arg(i))
                       .arg(48000 * (i + 1));
        QTest::newRow("eleven slates") << 48000u << QByteArray("25.00") << false << ten.join('|') << 10 << 0
            << "slates 10: 48000/25 c0, 96000/50 c1, 144000/75 c2, 192000/100 AUTO, 240000/125 c4, 288000/150 c5, 336000/175 c6, "
               "384000/200 c7, 432000/225 c8, 480000/250 c9; markers 0: ; manual";
        QTest::newRow("markers") << 48000u << QByteArray("25.00") << false
                                 << "MARKER_GENERIC,m1,100|OTHER,o,5|marker_generic,o,6|MARKER_GENERIC,m2,x" << 0 << 3
                                 << "slates 0: ; markers 2: 100 m1, 0 m2, 0 -; auto";
        QTest::newRow("no document") << 48000u << QByteArray("25.00") << false << "-" << 10 << 10
                                     << "slates 0: " + QStringLiteral("0/99 -, ").repeated(9) + "0/99 -; markers 0: "
                                            + QStringLiteral("0 -, ").repeated(9) + "0 -; auto";
        // rate|film|pull-down|SYNC_POINT_LOW|samples/frames; the second slate's samples are cleared, its frames are not.
        for (const char* r : {"48000|25.00|0|24000|24000/13", "48000|25.00|1|24000|24000/12", "48000|25.00|0|959|959/0",
                              "48000|25.00|0|960|960/1", "48000|29.97|0|48000|48000/30", "48000|-|0|96000|96000/48",
                              "0|25.00|0|24000|24000/0", "48000|25.00|0|abc|0/0"}) {
            const QStringList c = kit::split(QString::fromLatin1(r));
            QTest::newRow(r) << c[0].toUInt() << c[1].toLatin1() << (c[2] == QLatin1String("1")) << "SLATE_GENERIC,," + c[3] << 2 << 0
                             << "slates 1: " + c[4] + " , 0/99 -; markers 0: ; manual";
        }
    }
    void syncPoints()
    {
        QFETCH(quint32, rate); QFETCH(QByteArray, film); QFETCH(bool, pullDown); QFETCH(QString, points); QFETCH(int, slates);
        QFETCH(int, markers);
        QSoundFile f;
        QVERIFY(points == QLatin1String("-") || load(f, syncPointList(kit::split(points)), film, rate));
        QTEST(syncText(f, pullDown, slates, markers), "expected");
    }

    // The document built for a file without one, from its bext, its name and its take. files: written in order, the last one is
    // read; description: bext lines, "*" = kBaseLines; settings: film, rate, originator, date, time, channels, folder (made under
    // the test's own), naming (path, "@" for one in the folder); expected: "PATH=text;..." with <missing> for no element.
    void generatedDocument_data()
    {
        kit::columns<QString, QString, int, QString, QString>("files", "description", "t", "settings", "expected");
        auto row = [](const char* tag, const char* files, const char* description, int t, const char* settings,
                      const QString& expected) { QTest::newRow(tag) << files << description << t << settings << expected; };
        const char* one = "AA0001_01.WAV";
        row("whole document", "AA0001_01.WAV|AA0001_02.WAV|AB0001_01.WAV|AA0001_01.DEL1|AA0001_03.WAV", "*", 2, "",
            "SCENE=12A;TAKE=3;TAPE=DAY1;CIRCLED=TRUE;UBITS=11223344;NOTE=good take;SPEED/TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI=1;"
            "SPEED/TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO=16;HISTORY/ORIGINAL_FILENAME=AA0001_03.WAV;FILE_SET/TOTAL_FILES=3;"
            "FILE_SET/FAMILY_NAME=12A/3;FILE_SET/FILE_SET_INDEX=3;TRACK_LIST/TRACK/CHANNEL_INDEX=3;TRACK_LIST/TRACK/NAME= ;"
            "BEXT/BWF_TIME_REFERENCE_HIGH=1;BEXT/BWF_ORIGINATOR=       PAVANE V01.23.45 SN000123;SYNC_POINT_LIST=");
        // Speed line|film code|rate -> TIMECODE_FLAG|TIMECODE_RATE|DIGITIZER_SAMPLE_RATE|TIMESTAMP_SAMPLE_RATE; the last two are
        // written only for a pull-down family.
        for (const char* r : {"024.000-ND|24.00|48000|NDF|24/1|48000|48000", "029.970-DF|29.97|48000|DF|30000/1001|48000|48000",
                              "030.000-ND|30.00|96000|NDF|30/1|96000|96000", "029.970-ND|30.DRIFT|48048|NDF|30000/1001|48000|48048",
                              "029.970-ND|30.DRIF2|48000|NDF|30000/1001|48000|48000", "029.970-ND|30.DRIF3|48000|NDF|30000/1001|48000|48048",
                              "029.970-ND|29.97|48048|NDF|30000/1001|-|-", "023.976-ND|24.DRIFT|48048|NDF|24000/1001|48000|48048",
                              "023.976-ND|24.DRIF3|44100|NDF|24000/1001|44100|44144", "|25.00|48000|Unknown|Unknown|-|-",
                              "030.000-DF|30.00|48000|Unknown|Unknown|-|-"}) {
            const QStringList c = QString::fromLatin1(r).replace(QLatin1String("|-"), QLatin1String("|<missing>")).split('|');
            QTest::newRow(r) << one << (c[0].isEmpty() ? "aSCENE=1" : "aSPEED=" + c[0]) << 0 << "film=" + c[1] + ";rate=" + c[2]
                             << QStringLiteral("SPEED/TIMECODE_FLAG=%1;SPEED/TIMECODE_RATE=%2;SPEED/FILE_SAMPLE_RATE=%3;"
                                               "SPEED/DIGITIZER_SAMPLE_RATE=%4;SPEED/TIMESTAMP_SAMPLE_RATE=%5")
                                    .arg(c[3], c[4], c[2], c[5], c[6]);
        }
        // Circled unless the take starts with n or N; missing bext values are one space.
        row("not good, lower case", one, "aSCENE=7B|aTAKE=n12", 0, "", "CIRCLED=FALSE;TAKE=n12;FILE_SET/FAMILY_NAME=7B/n12;NOTE= ;TAPE= ");
        row("not good, upper case", one, "aSCENE=7B|aTAKE=N3", 0, "", "CIRCLED=FALSE");
        row("digit", one, "aSCENE=7B|aTAKE=12", 0, "", "CIRCLED=TRUE");
        row("no take", one, "aSCENE=7B", 0, "", "CIRCLED=TRUE;TAKE= ;FILE_SET/FAMILY_NAME=7B/");
        // Identifiers from the originator, the origination date and time, the root and the track.
        row("identifiers, hyphenated date", "ZX0042_12.WAV", "*", 11, "originator=ABCDEFGHIJKLMNOP;date=2020-12-31;time=23:59:01",
            "FILE_UID=VELPAVHIJKL202012312359010420012;FILE_SET/FAMILY_UID=VELPAVHIJKL202012312359010420000;"
            "BEXT/BWF_ORIGINATOR_REFERENCE=VELPAVHIJKL202012312359010420012;FILE_SET/FILE_SET_INDEX=12");
        // "%8.8s" of "1:2" without ":" cut by "%6.6s" is "     1"; the root AB has no 4th character.
        row("identifiers, short fields padded on the left", "AB_1.WAV", "*", 0, "originator=PAVANE V0;date=;time=1:2",
            "FILE_UID=VELPAV   V0" + QString(13, ' ') + "1   0001;FILE_SET/FAMILY_UID=VELPAV   V0" + QString(13, ' ') + "1   0000");
        // The project is the folder name before the first "_PV1" or "-PV1": naming path|project.
        for (const char* r : {"/Volumes/Desert_PV1/Day3/AA0001_01.WAV|Desert", "/Volumes/Desert/Day3/AA0001_01.WAV|N/A",
                              "/Volumes/Desert_pv1/AA0001_01.WAV|N/A", "/a/Big Film-PV1/b/Other_PV1/AA0001_01.WAV|Big Film",
                              "Desert_PV1|N/A", "/x/_PV1/AA0001_01.WAV| ", "/x/PV1/AA0001_01.WAV| "})
            QTest::newRow(r) << one << "*" << 0 << "naming=" + QString::fromLatin1(r).section('|', 0, 0)
                             << "PROJECT=" + QString::fromLatin1(r).section('|', 1);
        // A new track is written under a temporary name; its metadata must come out as for the final name.
        const QString ids = QStringLiteral(";FILE_UID=VELPAVV01.2201905141015300010005;FILE_SET/FAMILY_UID=VELPAVV01.2201905141015300010000");
        const char* four = "AA0001_01.WAV|AA0001_02.WAV|AA0001_03.WAV|AA0001_04.WAV|";
        row("hidden temporary name", (four + QByteArray(".AA0001_05.WAV.part")).constData(), "*", 4,
            "folder=Forest_PV1;naming=@AA0001_05.WAV", "HISTORY/ORIGINAL_FILENAME=AA0001_05.WAV;FILE_SET/TOTAL_FILES=5;PROJECT=Forest" + ids);
        row("temporary name that looks like a track", (four + QByteArray("AA0001_05.tmp.WAV")).constData(), "*", 4,
            "folder=Forest_PV1;naming=@AA0001_05.WAV", "HISTORY/ORIGINAL_FILENAME=AA0001_05.WAV;FILE_SET/TOTAL_FILES=5" + ids);
        row("no naming path: the file itself", (four + QByteArray("AA0001_05.WAV")).constData(), "*", 4, "",
            "HISTORY/ORIGINAL_FILENAME=AA0001_05.WAV;FILE_SET/TOTAL_FILES=5" + ids);
        // Without the final name the temporary name is taken for a take of its own.
        row("no naming path, temporary name", (four + QByteArray("AA0001_05.tmp.WAV")).constData(), "*", 4, "",
            "HISTORY/ORIGINAL_FILENAME=AA0001_05.tmp.WAV;FILE_SET/TOTAL_FILES=1");
        row("poly file", "AA0003PX.WAV", "*", 5, "channels=3", "FILE_SET/TOTAL_FILES=1;FILE_SET/FILE_SET_INDEX=A;"
            "TRACK_LIST/TRACK_COUNT=3;TRACK_LIST/TRACK/INTERLEAVE_INDEX=1");
    }
    void generatedDocument()
    {
        QFETCH(QString, files); QFETCH(QString, description); QFETCH(int, t); QFETCH(QString, settings); QFETCH(QString, expected);
        QHash<QString, QString> set;   // folder and naming; the rest describes the file
        for (const QString& item : settings.split(QLatin1Char(';'), Qt::SkipEmptyParts))
            set.insert(item.section(QLatin1Char('='), 0, 0), item.section(QLatin1Char('='), 1));
        QTemporaryDir tmp;
        const QDir dir(tmp.path() + QLatin1Char('/') + set.value(QStringLiteral("folder")));
        QVERIFY(dir.mkpath(QStringLiteral(".")));
        const RecorderFileSpec spec = kit::spec("noixml;frames=480;tr=0x100000010;desc=" + (description == "*" ? kBaseLines : description)
                                                + QLatin1Char(';') + settings);
        QString path;
        for (const QString& name : kit::split(files))
            path = writeSpec(dir.filePath(name), spec);
        QSoundFile sf;
        QVERIFY(openScanned(sf, path));
        const QString naming = set.value(QStringLiteral("naming"));
        if (!naming.isEmpty())
            sf.SetNamingPath(naming.startsWith(QLatin1Char('@')) ? dir.filePath(naming.mid(1)) : naming);
        sf.GenerateiXMLChunkMono(t);
        QCOMPARE(kit::ask(expected, [&](const QString& p) { return leaf(sf, p); }), expected);
    }

    // The size cases of AddiXMLChunk; then a shorter text stays where the first one went and no second filler chunk appears.
    // bytes 0: 61440 characters, more bytes in UTF-8; moved: old chunk retired as JUNK, new one at the RIFF end.
    void ixmlChunkLayouts_data()
    {
        kit::columns<QString, int, bool, bool, int, int>("spec", "bytes", "padded", "moved", "chunkSize", "growth");
        QTest::newRow("no chunk: appended") << "noixml" << 61440 << true << true << 61440 << 61448;
        QTest::newRow("shorter text padded in place") << "" << 2000 << false << false << 61440 << 0;
        QTest::newRow("longer text grows a last chunk in place") << "ixmllast" << 70000 << false << false << 70000 << 8560;
        QTest::newRow("longer text never runs into the next chunk") << "" << 70000 << false << true << 70000 << 70008;
        // A lying size is necessarily the last chunk's: rewritten over what it really holds.
        QTest::newRow("chunk size past the end repaired in place") << "ixmllast;ixmlsize=10000000" << 2000 << true << false << 61440 << 0;
        QTest::newRow("padding spaces give way to multi-byte characters") << "" << 0 << true << false << 61440 << 0;
    }
    void ixmlChunkLayouts()
    {
        QFETCH(QString, spec); QFETCH(int, bytes); QFETCH(bool, padded); QFETCH(bool, moved); QFETCH(int, chunkSize); QFETCH(int, growth);
        const RecorderFileSpec s = kit::spec(spec, tailSpec());
        QList<RecorderChunkPlace> places;
        const QString path = write(s, &places);
        const QByteArray before = readAll(path);
        const quint32 old = offsetOf(places, "iXML"), at = moved ? u32At(before, 4) + 8 : old, size = quint32(chunkSize);
        QString text = documentOfSize(bytes ? bytes : 200, bytes ? QStringLiteral("note") : QStringLiteral("\u00C9l\u00E9onore"), padded);
        if (bytes == 0)
            text = text.trimmed() + QLatin1Char('\n') + QString(61440 - text.trimmed().size() - 1, QLatin1Char(' '));
        QSoundFile sf, reader;
        QVERIFY(openScanned(sf, path, 2) && sf.AddiXMLChunk(text));
        QByteArray after = readAll(path);
        const quint32 riff = quint32(after.size() - 8);
        QCOMPARE(QList<quint32>({sf.m_nPosiXML, sf.m_nSizeiXML, sf.m_nRiffSize, u32At(after, 4), quint32(after.size() - before.size())}),
                 QList<quint32>({at, size, riff, riff, quint32(growth)}));
        QCOMPARE(after.mid(int(at), 4) + QByteArray::number(u32At(after, at + 4)), "iXML" + QByteArray::number(chunkSize));
        const QByteArray utf8 = text.toUtf8().left(chunkSize);
        QVERIFY(text.toUtf8().size() > 61440 || bytes);
        QVERIFY(after.mid(int(at) + 8, chunkSize) == utf8 + QByteArray(chunkSize - utf8.size(), ' '));
        QByteArray expected = moved && old ? QByteArray(before).replace(int(old), 4, "JUNK") : before;   // a retired chunk keeps its size
        if (moved)   // nothing else moved or changed
            QVERIFY(after.left(before.size()) == expected.replace(4, 4, after.mid(4, 4)));
        else
            QVERIFY(after.left(int(at)).mid(8) == before.left(int(at)).mid(8)
                    && after.mid(int(at + 8 + size)) == before.mid(int(at) + 8 + 61440));
        QString shorter = documentOfSize(3000, QStringLiteral("third"), true);
        QVERIFY(sf.AddiXMLChunk(shorter));
        sf.Close();
        after = readAll(path);
        QCOMPARE(QList<int>({int(sf.m_nPosiXML), after.size() - before.size(), after.count("JUNK")}),
                 QList<int>({int(at), growth, moved && old ? 1 : 0}));
        QVERIFY(openScanned(reader, path) && reader.GetiXMLFileInfos());
        QCOMPARE(reader.GetiXMLNotes() + QString::number(reader.m_nPosiXML), QStringLiteral("third") + QString::number(at));
    }

    // Whatever stops a writer, the file is left as it was to the byte, the object believes what the disk holds, and one message
    // says why. script: bytes each write may store (-2 = all); message: "title: text", %1 = path, "title: *" = names the path.
    void refusalsLeaveTheFileAsItWas_data()
    {
        kit::columns<QString, QString, QList<qint64>, QString>("writer", "layout", "script", "message");
        const QString ix = QStringLiteral("QSoundFile::AddiXMLChunk(): "), on = QStringLiteral("QSoundFile::AddOndChunk(): ");
        const QString riff0 = ix + QStringLiteral("Error bad RIFF size detected (RIFF size == 0)");
        const QString past = QStringLiteral("The RIFF size of\n%1\nends before the file does: nothing written.");
        const QList<qint64> none;
        QTest::newRow("iXML: file not open") << "ixml" << "closed" << none << "";
        QTest::newRow("iXML: RIFF size 0") << "ixml" << "riff0" << none << riff0;
        QTest::newRow("iXML: no buffer, in place") << "ixml" << "nobuffer" << none << ix + "Unable to allocate pBufferWithSpaces!";
        QTest::newRow("iXML: no buffer, moved") << "ixml" << "nobuffer-long" << none << ix + "Unable to allocate pBufferWithSpaces!";
        QTest::newRow("iXML: stale chunk position") << "ixml" << "stale" << none << ix + "*";
        QTest::newRow("iXML: RIFF size past the end") << "ixml" << "riffpast" << none << ix + "*";
        QTest::newRow("iXML: RIFF ends inside the audio") << "ixml" << "short" << none << ix + past;
        QTest::newRow("iXML: RIFF ends inside the audio, no iXML") << "ixml" << "short-noixml" << none << ix + past;
        QTest::newRow("iXML: a chunk after the RIFF end") << "ixml" << "uncounted" << none << ix + past;
        QTest::newRow("iXML: append cut short") << "ixml" << "noixml" << QList<qint64>{1000} << ix + "*";
        QTest::newRow("iXML: append, disk full at once") << "ixml" << "noixml" << QList<qint64>{0} << ix + "*";
        QTest::newRow("iXML: move, new chunk cut short") << "ixml" << "tail-long" << QList<qint64>{5000} << ix + "*";
        QTest::newRow("iXML: move, RIFF size not stored") << "ixml" << "tail-long" << QList<qint64>{-2, 0} << ix + "*";
        QTest::newRow("iXML: move, RIFF size half stored") << "ixml" << "tail-long" << QList<qint64>{-2, 2} << ix + "*";
        QTest::newRow("iXML: move, old chunk not retired") << "ixml" << "tail-long" << QList<qint64>{-2, -2, 0} << ix + "*";
        QTest::newRow("iXML: in place, cut short") << "ixml" << "tail" << QList<qint64>{100} << ix + "*";
        QTest::newRow("iXML: last chunk grows, cut short") << "ixml" << "last-long" << QList<qint64>{30000} << ix + "*";
        QTest::newRow("onde: no buffer") << "onde" << "null" << none << on + "Unable to add pBufferOnde!";
        QTest::newRow("onde: RIFF size 0") << "onde" << "riff0" << none << riff0;
        QTest::newRow("onde: file not open") << "onde" << "closed" << none << "";
        QTest::newRow("onde: RIFF size past the end") << "onde" << "riffpast" << none << on + "*";
        QTest::newRow("onde: RIFF ends inside the audio") << "onde" << "short" << none << on + past;
        QTest::newRow("onde: a chunk after the RIFF end") << "onde" << "uncounted" << none << on + past;
        QTest::newRow("onde: disk full") << "onde" << "tail" << QList<qint64>{10} << on + "*";
        QTest::newRow("onde: disk full after the record") << "onde" << "tail" << QList<qint64>{-2, 500} << on + "*";
    }
    void refusalsLeaveTheFileAsItWas()
    {
        QFETCH(QString, writer); QFETCH(QString, layout); QFETCH(QList<qint64>, script); QFETCH(QString, message);
        const bool ixml = writer == QLatin1String("ixml"), uncounted = layout == QLatin1String("uncounted");
        RecorderFileSpec spec = tailSpec();
        spec.ixml.note = QStringLiteral("old note");
        spec.withOnde = ixml;
        spec.withIxml = !layout.contains(QLatin1String("noixml"));
        spec.ixmlLast = layout.startsWith(QLatin1String("last")) || uncounted;
        if (uncounted)   // a chunk appended below without counting it
            spec.extraAfter.clear();
        QList<RecorderChunkPlace> places;
        const qint64 size = RecorderFileWriter::build(spec, &places).size();
        spec.riffSizeOverride = layout == QLatin1String("riff0") ? 0 : layout == QLatin1String("riffpast") ? size - 8 + 50000000
                                : layout.startsWith(QLatin1String("short")) ? qint64(offsetOf(places, "data")) + 100 : -1;
        const QString path = write(spec, &places);
        QFile append(path);
        const QByteArray extra = uncounted ? QByteArray("LIST\x28\0\0\0", 8) + QByteArray(40, 'L') : QByteArray();
        QVERIFY(append.open(QIODevice::Append) && append.write(extra) == extra.size());
        append.close();
        const QByteArray before = readAll(path);
        QSoundFile sf, reader;
        QVERIFY(openScanned(sf, path, 2));
        sf.GetiXMLFileInfos();
        if (layout == QLatin1String("closed"))
            sf.Close();
        if (layout.startsWith(QLatin1String("nobuffer")))
            QSoundFile::SetWriterBufferLimitForTests(1024);
        if (layout == QLatin1String("stale"))
            sf.m_nPosiXML = offsetOf(places, "data");
        const quint32 riff = sf.m_nRiffSize, pos = sf.m_nPosiXML;
        const bool small = QStringList({"tail", "riff0", "nobuffer", "stale", "closed"}).contains(layout);
        QString text = documentOfSize(small ? 2000 : 70000, QStringLiteral("new note"), false);
        const QByteArray peaks(1000, '\x22');
        RelayRecorder relay;
        {
            ScriptedDisk disk(script);
            QVERIFY(ixml ? !sf.AddiXMLChunk(text)
                         : !sf.AddOndeChunk(layout == QLatin1String("null") ? nullptr : peaks.constData(), 1000, 0, 4800));
            QVERIFY(script.isEmpty() ? disk.calls() == 0 : disk.calls() >= script.size());
        }
        sf.Close();
        const QByteArray after = readAll(path);
        QCOMPARE(sf.m_nRiffSize, layout == QLatin1String("closed") ? riff : u32At(after, 4));
        const bool newText = script == QList<qint64>{-2, -2, 0};   // appended and counted; the old one still there
        if (newText)
            QCOMPARE(QList<quint32>({u32At(after, 4), sf.m_nPosiXML}), QList<quint32>({riff + 70008, riff + 8}));
        else   // no partial chunk left for a scan to find
            QVERIFY(after == before && sf.m_nPosiXML == pos && (ixml || sf.m_nPosOnde == 0));
        QCOMPARE(relay.count(), message.isEmpty() ? 0 : 1);
        if (message.endsWith(QLatin1Char('*')))
            QVERIFY(relay.lines().first().startsWith(message.chopped(1)) && relay.text().contains(path));
        else if (!message.isEmpty())
            QCOMPARE(relay.lines().first(), message.contains(QLatin1String("%1")) ? message.arg(path) : message);
        if (ixml && spec.withIxml && !script.isEmpty()) {
            QVERIFY(openScanned(reader, path) && reader.GetiXMLFileInfos());
            QCOMPARE(reader.GetiXMLNotes().left(8), newText ? QStringLiteral("new note") : QStringLiteral("old note"));
        }
    }

    // The peaks go after the RIFF data in a new chunk named after the track; an onde chunk already there is retired, never
    // overwritten.
    void ondeChunks_data()
    {
        kit::columns<int, int, bool, QByteArray>("t", "count", "existing", "id");
        QTest::newRow("track 1, record alone") << 0 << 4 << false << QByteArray("ond1");
        QTest::newRow("track 9") << 8 << 4 << false << QByteArray("ond9");
        QTest::newRow("track 10, 180000 peak bytes") << 9 << 180004 << false << QByteArray("ondA");
        QTest::newRow("track 24") << 23 << 4 << false << QByteArray("ondO");
        QTest::newRow("second onde chunk retires the first") << 0 << 404 << true << QByteArray("ond1");
    }
    void ondeChunks()
    {
        QFETCH(int, t); QFETCH(int, count); QFETCH(bool, existing); QFETCH(QByteArray, id);
        QList<RecorderChunkPlace> places;
        const QString path = write(kit::spec(existing ? "" : "noonde", tailSpec()), &places);
        const QByteArray before = readAll(path);
        // The chunk at p: the 8-byte record, then the peaks past their first 4 bytes.
        const quint32 riff = u32At(before, 4), p = riff + 8, body = quint32(count) + 4;
        QByteArray peaks(count, '\0');
        for (int i = 0; i < count; ++i)
            peaks[i] = char(i % 251);
        QSoundFile sf, reader;
        QVERIFY(openScanned(sf, path, 2));
        const quint32 secondWord = sf.m_tOndeChunk.U32(bwf::kOndeSecondWord);
        QVERIFY(sf.AddOndeChunk(peaks.constData(), count, t, 4800));
        QCOMPARE(sf.m_tOndeChunk.ChunkID() + QByteArray::number(sf.m_nPosOnde), id + QByteArray::number(p + 8));
        sf.Close();
        const QByteArray after = readAll(path);
        QCOMPARE(after.mid(int(p), 4), id);
        QCOMPARE(QList<quint32>({quint32(after.size()), u32At(after, 4), u32At(after, p + 4), u32At(after, p + 8), u32At(after, p + 12)}),
                 QList<quint32>({p + 8 + body, riff + 8 + body, body, 4800u, secondWord}));
        QVERIFY(after.mid(int(p) + 16) == peaks.left(count - 4));
        const QByteArray expected = existing ? QByteArray(before).replace(int(offsetOf(places, "ond1")), 4, "JUNK") : before;
        QVERIFY(after.mid(8, int(riff)) == expected.mid(8, int(riff)));   // a retired chunk keeps its size
        QVERIFY(openScanned(reader, path) && reader.m_nPosOnde == p + 8);
    }

    // Setters restore the sections they need, once, where a recorder puts them (an empty element moves to the end), and build
    // a document when there is none; generation then keeps their values.
    void setters()
    {
        QSoundFile sf, bare;
        const QString path = write(kit::spec("ixml=<BWFXML><NOTE></NOTE><SCENE>1</SCENE></BWFXML>"), nullptr, "AC0001_05.WAV");
        QVERIFY(openScanned(sf, path, 2) && sf.GetiXMLFileInfos());
        QDomElement root = sf.m_XmlObject.Document().documentElement();
        QStringList last;
        sf.SetiXMLNote(4, QStringLiteral("  \t two words \r\n "));
        last << root.lastChildElement().tagName() + QLatin1Char('=') + sf.GetiXMLNotes();
        sf.SetiXMLMonoTrackNumber(4, 5);
        last << root.lastChildElement().tagName();
        sf.SetiXMLMonoTrackNumber(4, 12);
        sf.SetiXMLMonoTrackName(4, QStringLiteral("Boom"));
        last << QString::number(sf.GetiXMLMonoTrackNumber()) + sf.GetiXMLMonoTrackName();
        sf.SetiXMLTotalFiles(4, 7, false);
        last << root.lastChildElement().tagName();
        QCOMPARE(last.join(QLatin1Char('|')), QStringLiteral("NOTE=two words|TRACK_LIST|11Boom|FILE_SET"));
        sf.SetiXMLTotalFiles(4, 8, false);
        sf.SetiXMLNote(4, QStringLiteral("again"));
        const QString text = sf.m_XmlObject.CopyToString();
        for (const char* tag : {"<TRACK_LIST>", "<FILE_SET>", "<NOTE>", "<TOTAL_FILES>8</TOTAL_FILES>", "<FILE_SET_INDEX>5<"})
            QVERIFY2(text.count(QLatin1String(tag)) == 1, tag);
        QVERIFY(openScanned(bare, write(kit::spec("noixml;desc=aSCENE=4C|aTAKE=2"), nullptr, "AD0001_03.WAV"), 2) && !bare.GetiXMLFileInfos());
        bare.SetiXMLVeltaAllTrkInfos(names, pans, actives, grids);   // needs a document: does nothing
        QVERIFY(!bare.m_XmlObject.XmlOk());
        bare.SetiXMLMonoTrackNumber(2, 7);
        const QString generated = bare.GenerateiXMLChunkMono(2);
        for (const char* part : {"<CHANNEL_INDEX>7</CHANNEL_INDEX>", "<FILE_SET_INDEX>3</FILE_SET_INDEX>", "<SCENE>4C</SCENE>"})
            QVERIFY2(generated.contains(QLatin1String(part)), part);
    }

    // Track 3 becomes Perche (L50, not in the grid) and track 4 Lav 2 (R10, in the grid), with the ACTIVE flags of the row;
    // entries: "TAG=text,...|...".
    void veltaTrackTable_data()
    {
        kit::columns<QByteArray, QString, QString, QString>("raw", "active3", "active4", "entries");
        const QByteArray table = "<BWFXML><VELTA_PAVANE><REF_LEVEL>-18</REF_LEVEL><ALL_TRK_NAME>"
            "<DATA><INDICE>3</INDICE><NAME>Boom</NAME><ACTIVE>YES</ACTIVE><IN_GRID>YES</IN_GRID><PAN_POT>0</PAN_POT></DATA>"
            "<DATA><INDICE>4</INDICE><NAME>Lav</NAME><ACTIVE>YES</ACTIVE></DATA>"
            "<DATA><INDICE>x</INDICE><NAME>keep</NAME></DATA><DATA><INDICE>30</INDICE><NAME>keep30</NAME></DATA>"
            "<OTHER><INDICE>5</INDICE></OTHER></ALL_TRK_NAME></VELTA_PAVANE></BWFXML>";
        const QString kept = QStringLiteral("|INDICE=x,NAME=keep|INDICE=30,NAME=keep30|INDICE=5;ref=-18");
        QTest::newRow("no: flag only, the rest kept") << table << "no" << "NO"
            << "INDICE=3,NAME=Boom,ACTIVE=no,IN_GRID=YES,PAN_POT=0|INDICE=4,NAME=Lav,ACTIVE=NO" + kept;
        QTest::newRow("Yes: ACTIVE and NAME move to the end") << table << "Yes" << "yES"
            << "INDICE=3,IN_GRID=NO,PAN_POT=L50,ACTIVE=Yes,NAME=Perche|INDICE=4,ACTIVE=yES,NAME=Lav 2,IN_GRID=YES,PAN_POT=R10" + kept;
        QString restored;
        for (int i = 0; i < 24; ++i)
            restored += QStringLiteral("|INDICE=%1,").arg(i)
                        + (i == 3 ? QStringLiteral("ACTIVE=YES,NAME=Perche,IN_GRID=NO,PAN_POT=L50") : QStringLiteral("ACTIVE=NO"));
        QTest::newRow("no VELTA_PAVANE: restored")
            << QByteArray("<BWFXML><NOTE>n</NOTE></BWFXML>") << "YES" << "NO" << restored.mid(1) + ";ref= ";
    }
    void veltaTrackTable()
    {
        QFETCH(QByteArray, raw); QFETCH(QString, active3); QFETCH(QString, active4);
        QSoundFile sf;
        QVERIFY(openScanned(sf, write(kit::spec("ixml=" + raw)), 2) && sf.GetiXMLFileInfos());
        for (int i = 0; i < 24; ++i) {
            names[i] = i == 3 ? QStringLiteral("Perche") : i == 4 ? QStringLiteral("Lav 2") : QString();
            pans[i] = i == 3 ? QStringLiteral("L50") : i == 4 ? QStringLiteral("R10") : QString();
            grids[i] = i == 3 ? QStringLiteral("NO") : i == 4 ? QStringLiteral("YES") : QString();
            actives[i] = i == 3 ? active3 : i == 4 ? active4 : QStringLiteral("NO");
        }
        actives[5] = raw.contains("<DATA>") ? QStringLiteral("YES") : QStringLiteral("NO");   // no DATA for 5: nothing created
        sf.SetiXMLVeltaAllTrkInfos(names, pans, actives, grids);
        QStringList got;
        const QDomElement table = sf.m_XmlObject.GetPtrElement(QStringLiteral("ALL_TRK_NAME"), XmlPath(QStringLiteral("VELTA_PAVANE")));
        for (QDomElement d = table.firstChildElement(); !d.isNull(); d = d.nextSiblingElement()) {
            QStringList children;
            for (QDomElement c = d.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
                children << c.tagName() + QLatin1Char('=') + c.text();
            got << children.join(QLatin1Char(','));
        }
        QCOMPARE(sf.m_XmlObject.GetCountElement(QStringLiteral("VELTA_PAVANE"), XmlPath(QString())), 1u);
        QTEST(got.join(QLatin1Char('|')) + ";ref=" + sf.GetiXMLVeltaRefLevel(), "entries");
    }

    // UTF-8 on a machine whose 8-bit encoding is not UTF-8, written and then rewritten in place.
    void accentedNamesSurviveAnyLocale()
    {
        struct Restore { QTextCodec* c; ~Restore() { QTextCodec::setCodecForLocale(c); } } restore{QTextCodec::codecForLocale()};
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
        const QString path = write(kit::spec("noixml"), nullptr, "AE0001_02.WAV"), name = QStringLiteral("Perche \u00C9ric");
        QSoundFile sf;
        QVERIFY(openScanned(sf, path, 2));
        sf.SetiXMLMonoTrackNumber(1, 2);
        sf.SetiXMLMonoTrackName(1, name);
        for (const QString& note : {QStringLiteral("first"), QStringLiteral("d\u00E9j\u00E0 vu")}) {
            sf.SetiXMLNote(1, note);
            QString text = sf.GenerateiXMLChunkMono(1).leftJustified(61440, QLatin1Char(' '));
            QSoundFile reader;
            QVERIFY(sf.AddiXMLChunk(text) && openScanned(reader, path) && reader.GetiXMLFileInfos());
            QCOMPARE(reader.GetiXMLMonoTrackName() + reader.GetiXMLNotes(), name + note);
            QCOMPARE(reader.m_nPosiXML, sf.m_nPosiXML);   // the second text went in place
        }
        sf.Close();
        QVERIFY(readAll(path).contains("<NAME>Perche \xC3\x89ric</NAME>"));
    }
};

QTEST_MAIN(TestIxml)
#include "tst_ixml.moc"
