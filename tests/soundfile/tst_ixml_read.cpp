// SPDX-License-Identifier: GPL-3.0-or-later
// iXML parse step and queries: placeholders for missing values, take type
// letters, advanced template fields, poly track lookups, the vendor track
// table and sync points.

#include "QSoundFile.h"
#include "RecorderFileWriter.h"
#include "RelayRecorder.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <limits>

namespace {

QString doc(const QString& body)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML>") + body + QStringLiteral("</BWFXML>");
}

// A QSoundFile whose iXML text is `text`, parsed; 48 kHz mono, film code 25.00.
bool load(QSoundFile& f, const QString& text, const QByteArray& film = "25.00", quint32 rate = 48000)
{
    f.m_tFmtChunk.SetChunkID("fmt ");
    f.m_tFmtChunk.SetU16(bwf::kFmtChannels, 1);
    f.m_tFmtChunk.SetU32(bwf::kFmtSampleRate, rate);
    f.m_tFmtChunk.SetU16(bwf::kFmtBitsPerSample, 24);
    f.m_tFilmChunk.SetChunkID("film");
    std::memcpy(f.m_tFilmChunk.Data() + bwf::kFilmFrameRateCode, film.constData(), size_t(film.size()));
    f.m_siXML = text;
    return f.GetiXMLFileInfos();
}

QString syncPoint(const QString& function, const QString& comment, const QString& low)
{
    return QStringLiteral("<SYNC_POINT><SYNC_POINT_TYPE>RELATIVE</SYNC_POINT_TYPE><SYNC_POINT_FUNCTION>%1</SYNC_POINT_FUNCTION>"
                          "<SYNC_POINT_COMMENT>%2</SYNC_POINT_COMMENT><SYNC_POINT_LOW>%3</SYNC_POINT_LOW>"
                          "<SYNC_POINT_HIGH>0</SYNC_POINT_HIGH></SYNC_POINT>")
        .arg(function, comment, low);
}

struct SyncResult
{
    unsigned int slateCount = 77;
    unsigned int slateSamples[10];
    unsigned int slateFrames[10];
    QStringList slateComments{QStringLiteral("stale")};
    unsigned int markerCount = 77;
    unsigned int markerSamples[10];
    QStringList markerComments{QStringLiteral("stale")};
    bool slateAuto = true;

    SyncResult()
    {
        for (int i = 0; i < 10; ++i) {
            slateSamples[i] = 99;
            slateFrames[i] = 99;
            markerSamples[i] = 99;
        }
    }
    void read(QSoundFile& f, bool pullDown)
    {
        f.GetiXMLSyncPoint(&slateCount, slateSamples, slateFrames, &slateComments, pullDown, &markerCount,
                           markerSamples, &markerComments, &slateAuto);
    }
};

} // namespace

class TestIxmlRead : public QObject
{
    Q_OBJECT
private slots:
    void parseStep_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("error");      // "*" = any non-empty parser message
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("BWFXML document") << doc(QStringLiteral("<SCENE>1</SCENE>")) << true << "" << 1 << 1 << true;
        QTest::newRow("padded with spaces") << doc(QString()) + QString(61000, QLatin1Char(' ')) << true << "" << 1 << 1 << true;
        QTest::newRow("empty text") << "" << false << "" << 1 << 1 << false;
        QTest::newRow("not well-formed") << "<BWFXML>\n<SCENE>1</TAKE>\n</BWFXML>" << false << "*" << 2 << -1 << false;
        QTest::newRow("other root") << "<?xml version=\"1.0\"?>\n\n<ROOT><SCENE>x</SCENE></ROOT>" << false
                                    << "No <BWFXML> tag !" << 1 << 0 << true;
    }

    void parseStep()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, error);
        QFETCH(int, column);
        QSoundFile f;
        f.m_sXmlError = QStringLiteral("stale");
        QCOMPARE(load(f, text), ok);
        if (error == QLatin1String("*"))
            QVERIFY(!f.m_sXmlError.isEmpty() && f.m_sXmlError != QLatin1String("stale"));
        else if (ok)
            QCOMPARE(f.m_sXmlError, QString());
        else
            QCOMPARE(f.m_sXmlError, error);
        if (!ok && !text.isEmpty()) {
            QTEST(f.m_nXmlErrorLine, "line");
            if (column >= 0)
                QCOMPARE(f.m_nXmlErrorColumn, column);
        }
        QTEST(f.m_XmlObject.XmlOk(), "loaded");
        QCOMPARE(f.m_siXML.isEmpty(), !ok);   // a failed parse empties the text
    }

    // Without a document every query gives its "none" answer and reports nothing.
    void noDocument()
    {
        testsupport::RelayRecorder relay;
        QSoundFile f;
        const QStringList texts{f.GetiXMLScene(), f.GetiXMLTape(), f.GetiXMLNotes(), f.GetiXMLUbits(), f.GetiXMLCircled(),
                                f.GetiXMLMonoTrackName(), f.GetiXMLVeltaRefLevel(), f.GetiXMLAdvancedScTkTemplateCompostion(),
                                f.GetiXMLTakeIndicator(), f.GetiXMLTakeNumber(), f.GetiXMLPolyTrackName(0),
                                f.GetiXMLPolyTrackFunction(0), f.GetiXMLVeltaTracknames(0), f.GetiXMLVeltaTrackActive(0),
                                f.GetiXMLVeltaTrackInGrid(0), f.GetiXMLVeltaTrackPanPot(0)};
        QCOMPARE(texts.join(QString()), QString());
        QCOMPARE(QList<int>({f.GetiXMLMonoTrackNumber(), f.GetiXMLScTkTemplate(), f.GetiXMLPolyTrackOriginalIndex(0)}),
                 QList<int>({-1, -1, -1}));
        QVERIFY(f.GetiXMLAdvancedScTkFields().isEmpty());
        QCOMPARE(relay.count(), 0);
    }

    void textQueries_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("value");
        const QString track = QStringLiteral("<TRACK_LIST><TRACK_COUNT>2</TRACK_COUNT>"
                                             "<TRACK><CHANNEL_INDEX>3</CHANNEL_INDEX><NAME>Boom</NAME></TRACK>"
                                             "<TRACK><CHANNEL_INDEX>4</CHANNEL_INDEX><NAME>Lav</NAME></TRACK></TRACK_LIST>");
        QTest::newRow("scene") << "<SCENE>12A</SCENE>" << "scene" << "12A";
        QTest::newRow("scene empty") << "<SCENE></SCENE>" << "scene" << " ";
        QTest::newRow("scene missing") << "<TAKE>1</TAKE>" << "scene" << " ";
        QTest::newRow("scene not trimmed") << "<SCENE> 12 </SCENE>" << "scene" << " 12 ";
        QTest::newRow("tape") << "<TAPE>DAY1</TAPE>" << "tape" << "DAY1";
        QTest::newRow("notes with markup escaped") << "<NOTE>a &lt; b &amp; c</NOTE>" << "notes" << "a < b & c";
        QTest::newRow("notes missing") << "" << "notes" << " ";
        QTest::newRow("ubits") << "<UBITS>00112233</UBITS>" << "ubits" << "00112233";
        QTest::newRow("circled") << "<CIRCLED>FALSE</CIRCLED>" << "circled" << "FALSE";
        QTest::newRow("circled missing") << "" << "circled" << " ";
        QTest::newRow("mono track name of the first TRACK") << track << "trackname" << "Boom";
        QTest::newRow("mono track name empty") << "<TRACK_LIST><TRACK><NAME/></TRACK></TRACK_LIST>" << "trackname" << " ";
        QTest::newRow("ref level") << "<VELTA_PAVANE><REF_LEVEL>-20dBFS</REF_LEVEL></VELTA_PAVANE>" << "reflevel" << "-20dBFS";
        QTest::newRow("ref level missing") << "<VELTA_PAVANE/>" << "reflevel" << " ";
        QTest::newRow("composition") << "<VELTA_PAVANE><ADV_TPL><COMP>SQ-SL</COMP></ADV_TPL></VELTA_PAVANE>" << "comp" << "SQ-SL";
        QTest::newRow("composition missing: empty") << "<VELTA_PAVANE><ADV_TPL/></VELTA_PAVANE>" << "comp" << "";
        QTest::newRow("UTF-8 scene") << "<SCENE>Été</SCENE>" << "scene" << "Été";
        // A missing level is skipped: NAME directly under BWFXML is found.
        QTest::newRow("missing level skipped") << "<NAME>top</NAME>" << "trackname" << "top";
    }

    void textQueries()
    {
        QFETCH(QString, body);
        QFETCH(QString, query);
        QFETCH(QString, value);
        QSoundFile f;
        QVERIFY(load(f, doc(body)));
        const QHash<QString, QString (QSoundFile::*)()> queries{
            {QStringLiteral("scene"), &QSoundFile::GetiXMLScene}, {QStringLiteral("tape"), &QSoundFile::GetiXMLTape},
            {QStringLiteral("notes"), &QSoundFile::GetiXMLNotes}, {QStringLiteral("ubits"), &QSoundFile::GetiXMLUbits},
            {QStringLiteral("circled"), &QSoundFile::GetiXMLCircled},
            {QStringLiteral("trackname"), &QSoundFile::GetiXMLMonoTrackName},
            {QStringLiteral("reflevel"), &QSoundFile::GetiXMLVeltaRefLevel},
            {QStringLiteral("comp"), &QSoundFile::GetiXMLAdvancedScTkTemplateCompostion}};
        QCOMPARE((f.*queries.value(query))(), value);
    }

    void numberQueries_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("trackNumber");
        QTest::addColumn<int>("scTkTemplate");
        QTest::newRow("both present") << "<TRACK_LIST><TRACK><CHANNEL_INDEX>3</CHANNEL_INDEX></TRACK></TRACK_LIST>"
                                         "<VELTA_PAVANE><SCTK_TEMPLATE>2</SCTK_TEMPLATE></VELTA_PAVANE>" << 2 << 2;
        QTest::newRow("TRACK without CHANNEL_INDEX") << "<TRACK_LIST><TRACK><NAME>x</NAME></TRACK></TRACK_LIST>" << -1 << -1;
        QTest::newRow("not numbers") << "<TRACK_LIST><TRACK><CHANNEL_INDEX>x</CHANNEL_INDEX></TRACK></TRACK_LIST>"
                                        "<VELTA_PAVANE><SCTK_TEMPLATE>abc</SCTK_TEMPLATE></VELTA_PAVANE>" << -1 << 0;
        QTest::newRow("empty elements") << "<TRACK_LIST><TRACK><CHANNEL_INDEX/></TRACK></TRACK_LIST>"
                                           "<VELTA_PAVANE><SCTK_TEMPLATE/></VELTA_PAVANE>" << -1 << -1;
        QTest::newRow("first TRACK counts") << "<TRACK_LIST><TRACK><CHANNEL_INDEX>12</CHANNEL_INDEX></TRACK>"
                                               "<TRACK><CHANNEL_INDEX>1</CHANNEL_INDEX></TRACK></TRACK_LIST>" << 11 << -1;
    }

    void numberQueries()
    {
        QFETCH(QString, body);
        QSoundFile f;
        QVERIFY(load(f, doc(body)));
        QTEST(f.GetiXMLMonoTrackNumber(), "trackNumber");
        QTEST(f.GetiXMLScTkTemplate(), "scTkTemplate");
    }

    void takeIndicatorAndNumber_data()
    {
        QTest::addColumn<QString>("take");          // "-" = no TAKE element
        QTest::addColumn<QString>("scTkTemplate");  // "-" = none
        QTest::addColumn<QString>("takeType");      // "-" = none
        QTest::addColumn<QString>("indicator");
        QTest::addColumn<QString>("number");
        QTest::newRow("r12, no template") << "r12" << "-" << "-" << "r" << "12";
        QTest::newRow("12, no template") << "12" << "-" << "-" << "" << "12";
        QTest::newRow("template 3, NOT_GOOD") << "12" << "3" << "NOT_GOOD" << "n" << "12";
        QTest::newRow("empty take, no template") << "" << "-" << "-" << " " << " ";
        QTest::newRow("missing take, no template") << "-" << "-" << "-" << " " << " ";
        QTest::newRow("empty take, template 3, REHEARSAL") << "" << "3" << "REHEARSAL" << "r" << " ";
        QTest::newRow("empty take, template 3, no type") << "" << "3" << "-" << " " << " ";
        QTest::newRow("template 2, TAKE") << "12" << "2" << "TAKE" << "t" << "12";
        QTest::newRow("template 2, WILD_SOUND") << "4" << "2" << "WILD_SOUND" << "w" << "4";
        QTest::newRow("template 2, SOUND_GUIDE") << "4" << "2" << "SOUND_GUIDE" << "g" << "4";
        QTest::newRow("template 2, ANNOUNCEMENT") << "4" << "2" << "ANNOUNCEMENT" << "a" << "4";
        QTest::newRow("template 2, type case-sensitive") << "4" << "2" << "rehearsal" << "" << "4";
        QTest::newRow("template 2, letter in TAKE kept") << "r12" << "2" << "WILD_SOUND" << "w" << "r12";
        QTest::newRow("template 2, no type, letter ignored") << "r12" << "2" << "-" << "" << "r12";
        QTest::newRow("template 1 uses the letter") << "w5" << "1" << "WILD_SOUND" << "w" << "5";
        QTest::newRow("template not a number") << "g7" << "abc" << "TAKE" << "g" << "7";
        QTest::newRow("letter p") << "p3" << "-" << "-" << "p" << "3";
        QTest::newRow("letter t") << "t1" << "-" << "-" << "t" << "1";
        QTest::newRow("letter a") << "a2" << "-" << "-" << "a" << "2";
        QTest::newRow("letter n") << "n9" << "-" << "-" << "n" << "9";
        QTest::newRow("not a take letter") << "x9" << "-" << "-" << "" << "x9";
        QTest::newRow("uppercase letter") << "R9" << "-" << "-" << "" << "R9";
        QTest::newRow("trimmed") << " p4 " << "-" << "-" << "p" << "4";
        QTest::newRow("letter alone") << "r" << "-" << "-" << "r" << "";
    }

    void takeIndicatorAndNumber()
    {
        QFETCH(QString, take);
        QFETCH(QString, scTkTemplate);
        QFETCH(QString, takeType);
        QString body;
        if (take != QLatin1String("-"))
            body += QStringLiteral("<TAKE>%1</TAKE>").arg(take);
        if (takeType != QLatin1String("-"))
            body += QStringLiteral("<TAKE_TYPE>%1</TAKE_TYPE>").arg(takeType);
        if (scTkTemplate != QLatin1String("-"))
            body += QStringLiteral("<VELTA_PAVANE><SCTK_TEMPLATE>%1</SCTK_TEMPLATE></VELTA_PAVANE>").arg(scTkTemplate);
        QSoundFile f;
        QVERIFY(load(f, doc(body)));
        QTEST(f.GetiXMLTakeIndicator(), "indicator");
        QTEST(f.GetiXMLTakeNumber(), "number");
    }

    void advancedFields()
    {
        QSoundFile f, none;
        QVERIFY(load(f, doc(QStringLiteral(
                            "<VELTA_PAVANE><ADV_TPL><COMP>SE-EP-SQ</COMP>"
                            "<SEQUENCE>41</SEQUENCE><SLATE>7</SLATE><SEASON>2</SEASON><EPISODE>10</EPISODE>"
                            "<EFFECT>INT</EFFECT><UNIT>B</UNIT><SEP1>-</SEP1><SEP2>_</SEP2><SEP0>x</SEP0>"
                            "<SEPX>y</SEPX><SEP>z</SEP><OTHER>o</OTHER><SEQUENCE>42</SEQUENCE></ADV_TPL></VELTA_PAVANE>"))));
        // The later SEQUENCE replaces the earlier; SEP1 and SEP2 are fields 0 and -1.
        const QHash<int, QString> expected{{1, "42"}, {2, "7"}, {3, "2"}, {4, "10"}, {5, "INT"}, {6, "B"}, {0, "-"}, {-1, "_"}};
        QCOMPARE(f.GetiXMLAdvancedScTkFields(), expected);
        QVERIFY(load(none, doc(QStringLiteral("<VELTA_PAVANE><REF_LEVEL>x</REF_LEVEL></VELTA_PAVANE>"))));
        QVERIFY(none.GetiXMLAdvancedScTkFields().isEmpty());
    }

    // Channels looked up among the first TRACK_COUNT tracks (a count far beyond
    // the tracks present is harmless): original index, NAME and FUNCTION, with
    // " " for an empty one and nothing for a channel not found.
    void polyTracks()
    {
        const QString tracks = QStringLiteral(
            "<TRACK_LIST><TRACK_COUNT>%1</TRACK_COUNT>"
            "<TRACK><CHANNEL_INDEX>1</CHANNEL_INDEX><INTERLEAVE_INDEX>1</INTERLEAVE_INDEX><NAME>L</NAME><FUNCTION>LEFT</FUNCTION></TRACK>"
            "<TRACK><CHANNEL_INDEX>5</CHANNEL_INDEX><INTERLEAVE_INDEX>2</INTERLEAVE_INDEX><NAME></NAME><FUNCTION></FUNCTION></TRACK>"
            "<TRACK><CHANNEL_INDEX>x</CHANNEL_INDEX><INTERLEAVE_INDEX>3</INTERLEAVE_INDEX><NAME>Bad</NAME></TRACK>"
            "<TRACK><CHANNEL_INDEX>2</CHANNEL_INDEX><INTERLEAVE_INDEX>4</INTERLEAVE_INDEX><NAME>Boom</NAME><FUNCTION>M</FUNCTION></TRACK>"
            "</TRACK_LIST>");
        const QList<QPair<QString, QString>> cases{
            {"4", "0 4 -1 1 -1 -1|L,LEFT|Boom,M|,|,| , "}, {"2", "0 4 -1 -1 -1 -1|L,LEFT|,|,|,| , "},
            {"0", "-1 -1 -1 -1 -1 -1|,|,|,|,|,"}, {"2000000000", "0 4 -1 1 -1 -1|L,LEFT|Boom,M|,|,| , "}};
        for (const auto& c : cases) {
            QSoundFile f;
            QVERIFY(load(f, doc(tracks.arg(c.first))));
            QStringList got;
            for (int i : {0, 1, 2, 3, 4, -1})
                got << QString::number(f.GetiXMLPolyTrackOriginalIndex(i));
            QString text = got.join(QLatin1Char(' '));
            for (int channel : {0, 1, 2, 3, 4})
                text += QLatin1Char('|') + f.GetiXMLPolyTrackName(channel) + QLatin1Char(',') + f.GetiXMLPolyTrackFunction(channel);
            QCOMPARE(text, c.second);
        }
    }

    // The first 24 DATA entries are examined; INDICE is compared as is, not with
    // the entry's position, the first match wins; missing fields give empty text.
    void vendorTrackTable()
    {
        RecorderIxml x;
        x.allTrackEntries = 30;
        for (int i = 0; i < 30; ++i)
            x.allTrackNames << QStringLiteral("T%1").arg(i);
        x.allTrackPanPot = QStringList({"L", "C", "R"});
        x.padTo = 0;
        QSoundFile f, g, none;
        QVERIFY(load(f, QString::fromUtf8(x.toBytes())));
        QCOMPARE(QStringList({f.GetiXMLVeltaTracknames(0), f.GetiXMLVeltaTracknames(23), f.GetiXMLVeltaTracknames(24),
                              f.GetiXMLVeltaTracknames(-1), f.GetiXMLVeltaTrackActive(5), f.GetiXMLVeltaTrackInGrid(5),
                              f.GetiXMLVeltaTrackPanPot(2), f.GetiXMLVeltaTrackPanPot(5)}),
                 QStringList({"T0", "T23", "", "", "YES", "YES", "R", "0"}));
        QVERIFY(load(g, doc(QStringLiteral("<VELTA_PAVANE><ALL_TRK_NAME><DATA><INDICE>5</INDICE><NAME>Five</NAME></DATA>"
                                           "<DATA><INDICE> 2 </INDICE><NAME>Two</NAME><ACTIVE>NO</ACTIVE></DATA>"
                                           "<DATA><INDICE>5</INDICE><NAME>Again</NAME></DATA></ALL_TRK_NAME></VELTA_PAVANE>"))));
        QCOMPARE(QStringList({g.GetiXMLVeltaTracknames(5), g.GetiXMLVeltaTrackActive(5), g.GetiXMLVeltaTracknames(2),
                              g.GetiXMLVeltaTrackActive(2), g.GetiXMLVeltaTracknames(0)}),
                 QStringList({"Five", "", "Two", "NO", ""}));
        QVERIFY(load(none, doc(QStringLiteral("<VELTA_PAVANE/>"))));
        QCOMPARE(none.GetiXMLVeltaTracknames(0), QString());
    }

    void syncPointsSlates()
    {
        QString points;
        for (int i = 0; i < 10; ++i)
            points += syncPoint(QStringLiteral("SLATE_GENERIC"), i == 3 ? QStringLiteral("AUTO") : QStringLiteral("c%1").arg(i),
                                QString::number(48000 * (i + 1)));
        points += syncPoint(QStringLiteral("SLATE_GENERIC"), QStringLiteral("AUTO"), QStringLiteral("999"));   // the 11th
        QSoundFile f;
        QVERIFY(load(f, doc(QStringLiteral("<SYNC_POINT_LIST>") + points + QStringLiteral("</SYNC_POINT_LIST>"))));
        SyncResult r;
        r.read(f, false);
        QCOMPARE(r.slateCount + r.markerCount, 10u);
        QCOMPARE(r.slateComments, QStringList({"c0", "c1", "c2", "AUTO", "c4", "c5", "c6", "c7", "c8", "c9"}));
        QVERIFY(!r.slateAuto);   // decided by the 10th; the 11th is ignored
        for (int i = 0; i < 10; ++i)
            QCOMPARE(QList<uint>({r.slateSamples[i], r.slateFrames[i]}), QList<uint>({48000u * (i + 1), 25u * (i + 1)}));
        QVERIFY(r.markerComments.isEmpty());
    }

    void syncPointsFrames_data()
    {
        QTest::addColumn<quint32>("rate");
        QTest::addColumn<QByteArray>("film");
        QTest::addColumn<bool>("pullDown");
        QTest::addColumn<QString>("low");
        QTest::addColumn<uint>("samples");
        QTest::addColumn<uint>("frames");
        QTest::newRow("24000 at 48k/25: 24960 -> 13") << 48000u << QByteArray("25.00") << false << "24000" << 24000u << 13u;
        QTest::newRow("same with pull-down: 12") << 48000u << QByteArray("25.00") << true << "24000" << 24000u << 12u;
        QTest::newRow("just under half a frame") << 48000u << QByteArray("25.00") << false << "959" << 959u << 0u;
        QTest::newRow("half a frame rounds up") << 48000u << QByteArray("25.00") << false << "960" << 960u << 1u;
        QTest::newRow("29.97 counts 30") << 48000u << QByteArray("29.97") << false << "48000" << 48000u << 30u;
        QTest::newRow("no film: 24") << 48000u << QByteArray() << false << "96000" << 96000u << 48u;
        QTest::newRow("rate 0") << 0u << QByteArray("25.00") << false << "24000" << 24000u << 0u;
        QTest::newRow("not a number") << 48000u << QByteArray("25.00") << false << "abc" << 0u << 0u;
    }

    void syncPointsFrames()
    {
        QFETCH(quint32, rate);
        QFETCH(QByteArray, film);
        QFETCH(bool, pullDown);
        QFETCH(QString, low);
        QSoundFile f;
        QVERIFY(load(f, doc(QStringLiteral("<SYNC_POINT_LIST>") + syncPoint(QStringLiteral("SLATE_GENERIC"), QString(), low)
                            + QStringLiteral("</SYNC_POINT_LIST>")),
                     film, rate));
        if (film.isEmpty())
            f.m_tFilmChunk.Clear();
        SyncResult r;
        r.read(f, pullDown);
        QCOMPARE(r.slateCount, 1u);
        QTEST(r.slateSamples[0], "samples");
        QTEST(r.slateFrames[0], "frames");
        QCOMPARE(r.slateFrames[1], 99u);   // not cleared
        QCOMPARE(r.slateSamples[1], 0u);   // cleared
        QCOMPARE(r.slateComments, QStringList({QString()}));
        QVERIFY(!r.slateAuto);
    }

    void syncPointsMarkersAndNoDocument()
    {
        QSoundFile f;
        QVERIFY(load(f, doc(QStringLiteral("<SYNC_POINT_LIST>")
                            + syncPoint(QStringLiteral("MARKER_GENERIC"), QStringLiteral("m1"), QStringLiteral("100"))
                            + syncPoint(QStringLiteral("OTHER"), QStringLiteral("o"), QStringLiteral("5"))
                            + syncPoint(QStringLiteral("marker_generic"), QStringLiteral("o"), QStringLiteral("6"))
                            + syncPoint(QStringLiteral("MARKER_GENERIC"), QStringLiteral("m2"), QStringLiteral("x"))
                            + QStringLiteral("</SYNC_POINT_LIST>"))));
        SyncResult r;
        r.read(f, false);
        QCOMPARE(r.slateCount, 0u);
        QVERIFY(r.slateAuto);   // written only when a slate is stored
        QCOMPARE(r.markerCount, 2u);
        QCOMPARE(r.markerSamples[0], 100u);
        QCOMPARE(r.markerSamples[1], 0u);
        QCOMPARE(r.markerSamples[2], 0u);
        QCOMPARE(r.markerComments, QStringList({"m1", "m2"}));

        QSoundFile empty;
        SyncResult n;
        n.read(empty, false);
        QCOMPARE(n.slateCount, 0u);
        QCOMPARE(n.markerCount, 0u);
        QVERIFY(n.slateComments.isEmpty() && n.markerComments.isEmpty());
        QCOMPARE(n.slateSamples[9], 0u);
        QCOMPARE(n.markerSamples[9], 0u);
        QCOMPARE(n.slateFrames[0], 99u);
    }

    // Track indexes at the ends of the int range, in the document and in the
    // queries: no overflow (a CHANNEL_INDEX of -2147483648 was undefined
    // behaviour), and the "none" answers.
    void indexesAtIntLimitsReadAsNoIndex()
    {
        QSoundFile f;
        QVERIFY(load(f, doc(QStringLiteral(
            "<TRACK_LIST><TRACK_COUNT>3</TRACK_COUNT>"
            "<TRACK><CHANNEL_INDEX>-2147483648</CHANNEL_INDEX><INTERLEAVE_INDEX>1</INTERLEAVE_INDEX><NAME>low</NAME></TRACK>"
            "<TRACK><CHANNEL_INDEX>2147483647</CHANNEL_INDEX><INTERLEAVE_INDEX>-2147483648</INTERLEAVE_INDEX><NAME>high</NAME></TRACK>"
            "<TRACK><CHANNEL_INDEX>2</CHANNEL_INDEX><INTERLEAVE_INDEX>2147483647</INTERLEAVE_INDEX><NAME>two</NAME></TRACK>"
            "</TRACK_LIST>"))));
        const int max = std::numeric_limits<int>::max(), min = std::numeric_limits<int>::min();
        QCOMPARE(QList<int>({f.GetiXMLMonoTrackNumber(), f.GetiXMLPolyTrackOriginalIndex(0), f.GetiXMLPolyTrackOriginalIndex(max),
                             f.GetiXMLPolyTrackOriginalIndex(2147483646)}),
                 QList<int>({-1, -1, -1, 1}));
        QCOMPARE(QStringList({f.GetiXMLPolyTrackName(max), f.GetiXMLPolyTrackName(2147483646), f.GetiXMLPolyTrackName(min),
                              f.GetiXMLPolyTrackName(1)}),
                 QStringList({QString(), QStringLiteral("high"), QString(), QStringLiteral("two")}));
    }
};

QTEST_MAIN(TestIxmlRead)
#include "tst_ixml_read.moc"
