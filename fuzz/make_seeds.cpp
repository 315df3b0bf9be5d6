// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the seed corpus of the fuzz targets from our own fixture writer:
//   fuzz_make_seeds <corpus folder>
// Each seed is a few KB at most (iXML texts unpadded).
#include "RecorderFileWriter.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>

namespace {

QString g_out;
int g_failures = 0;

void put(const char* target, const char* name, const QByteArray& bytes)
{
    const QString folder = g_out + QLatin1Char('/') + QString::fromLatin1(target);
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + QString::fromLatin1(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write seed %s/%s\n", target, name);
        ++g_failures;
    }
}

RecorderFileSpec small()
{
    RecorderFileSpec spec;
    spec.frames = 16;
    spec.timeReference = 48000ull * 3600 * 10;
    spec.ixml.padTo = 0;
    return spec;
}

// The chunk scan and the chunk writers start from the same files.
void putFile(const char* name, const QByteArray& bytes)
{
    put("fuzz_chunkscan", name, bytes);
    put("fuzz_chunkwrite", name, bytes);
}

void chunkSeeds()
{
    putFile("mono", RecorderFileWriter::build(small()));

    RecorderFileSpec poly = small();
    poly.channels = 2;
    poly.ixml.trackCount = 2;
    poly.ixml.polyTrackNames = QStringList{QStringLiteral("Boom"), QStringLiteral("Lav")};
    putFile("poly", RecorderFileWriter::build(poly));

    RecorderFileSpec last = small();
    last.ixmlLast = true;
    last.bitsPerSample = 16;
    last.sampleRate = 44100;
    last.frameRateCode = "29.97";
    putFile("ixml-last-16bit", RecorderFileWriter::build(last));

    RecorderFileSpec odd = small();
    ExtraChunk padded{QByteArray("LIST"), QByteArray("abc"), true, 0};
    ExtraChunk unpadded{QByteArray("junk"), QByteArray("abcde"), false, 0};
    odd.extraBefore = {padded, unpadded};
    odd.withFilm = false;
    putFile("odd-chunks", RecorderFileWriter::build(odd));

    RecorderFileSpec shortBext = small();
    shortBext.bextDataSize = 300;
    shortBext.withVlta = false;
    shortBext.withOnde = false;
    putFile("short-bext", RecorderFileWriter::build(shortBext));

    RecorderFileSpec lying = small();
    lying.dataDeclaredSize = 0x7FFFFFF0;
    lying.ixmlDeclaredSize = 0xFFFFFFF0u;
    putFile("lying-sizes", RecorderFileWriter::build(lying));

    RecorderFileSpec cut = small();
    cut.truncateTo = 1200;
    putFile("truncated", RecorderFileWriter::build(cut));

    RecorderFileSpec bare = small();
    bare.withBext = false;
    bare.withFilm = false;
    bare.withVlta = false;
    bare.withOnde = false;
    bare.withIxml = false;
    putFile("plain-wav", RecorderFileWriter::build(bare));
}

QByteArray bextInput(char layout, const QByteArray& description, const QList<QByteArray>& texts, qint32 index)
{
    QByteArray in(1, layout);
    in += description.left(256);
    in += QByteArray(256 - qMin(256, description.size()), '\0');
    for (const QByteArray& t : texts)
        in += t + '\0';
    in += QByteArray(reinterpret_cast<const char*>(&index), 4);
    return in;
}

void bextSeeds()
{
    const QByteArray recorder = RecorderFileWriter::descriptionLines(
        {{"aSCENE", "12A"}, {"aTAKE", "3"}, {"aTAPE", "DAY1"}, {"aUBITS", "$00000000"}, {"aSPEED", "025.000-ND"},
         {"aTAG", "AA0001"}, {"aNOTE", "good"}});
    put("fuzz_bext", "recorder", bextInput(0, recorder, {"mono", "", "", "", "", "AA0001", "", "Boom"}, 2));
    put("fuzz_bext", "args", bextInput(0, recorder, {"poly", "S1", "T12", "a note", "TP", "AB1234", "29.97", "Lav"}, 0));
    QByteArray full;
    while (full.size() < 256)
        full += "aNOTE=long long long note line\r\n";
    put("fuzz_bext", "full", bextInput(0, full, {"mono", "", "", "", "", "", "24.DRIFT", "Name"}, 23));
    put("fuzz_bext", "bare-lf", bextInput(1, "aSCENE=1\naTAKE=22\naTYP=poly \n", {"mono"}, 5));
    put("fuzz_bext", "no-bext", bextInput(2, "aTYP=mono \r\n", {"x"}, 1));
    put("fuzz_bext", "index-limits", bextInput(0, recorder, {"mono", "", "", "", "", "AA0001", "", "Boom"}, 0x7FFFFFFF));
    put("fuzz_bext", "name-line-ends", bextInput(0, recorder, {"mono", "", "", "", "", "AA0001", "", "B\r\r\nL"}, 3));
}

QByteArray ixmlInput(char config, const QByteArray& name, const RecorderIxml& doc)
{
    return QByteArray(1, config) + name + '\0' + doc.toBytes();
}

void ixmlSeeds()
{
    RecorderIxml mono;
    mono.padTo = 0;
    mono.syncPoints = {{QStringLiteral("SLATE_GENERIC"), 24000u}, {QStringLiteral("MARKER_GENERIC"), 96000u}};
    mono.syncComments = QStringList{QStringLiteral("AUTO"), QStringLiteral("mark")};
    put("fuzz_ixml", "mono", ixmlInput(0, "Boom", mono));

    RecorderIxml templ = mono;
    templ.sctkTemplate = 3;
    templ.takeType = QStringLiteral("NOT_GOOD");
    templ.advancedComposition = QStringLiteral("SEQ-SLATE");
    templ.advancedFields = {{QStringLiteral("SEQUENCE"), QStringLiteral("42")},
                            {QStringLiteral("SEP1"), QStringLiteral("-")},
                            {QStringLiteral("SLATE"), QStringLiteral("7")}};
    put("fuzz_ixml", "template", ixmlInput(char(0x25), "Lav", templ));

    RecorderIxml poly;
    poly.padTo = 0;
    poly.trackCount = 3;
    poly.polyTrackNames = QStringList{QStringLiteral("Mix"), QStringLiteral("Boom"), QStringLiteral("Lav")};
    poly.polyTrackFunctions = QStringList{QStringLiteral("MIX"), QString(), QStringLiteral("LAV")};
    poly.polyChannelIndexes = {3, 1, 2};
    poly.take = QStringLiteral("r12");
    put("fuzz_ixml", "poly", ixmlInput(char(0xC1), "", poly));

    put("fuzz_ixml", "not-bwfxml", QByteArray(1, 2) + QByteArray("x\0<?xml version=\"1.0\"?><OTHER><SCENE>1</SCENE></OTHER>", 55));
    put("fuzz_ixml", "index-limits",
        QByteArray(1, 0) + QByteArray("x\0", 2)
            + "<BWFXML><TRACK_LIST><TRACK_COUNT>2</TRACK_COUNT><TRACK><CHANNEL_INDEX>-2147483648</CHANNEL_INDEX>"
              "<INTERLEAVE_INDEX>1</INTERLEAVE_INDEX></TRACK><TRACK><CHANNEL_INDEX>2147483647</CHANNEL_INDEX>"
              "<INTERLEAVE_INDEX>-2147483648</INTERLEAVE_INDEX></TRACK></TRACK_LIST></BWFXML>");
    put("fuzz_ixml", "broken", QByteArray(1, 3) + QByteArray("x\0<BWFXML><TAKE>t1</TAKE>", 25));
}

void groupingSeeds()
{
    put("fuzz_grouping", "recorder",
        "*AA0001_01.WAV\n*AA0001_02.WAV\n*AA0001_04.WAV\n*AA0002PX.WAV\nAA0003-1.WAV\nAA0003-2.WAV\n"
        "AA0004#1.WAV\nAA0004+A.WAV\nAA0005_1.WAV\nAA0001_03.DEL1\nnotes.txt\nAB.WAV\nx.wav");
    put("fuzz_grouping", "odd-names",
        "*take %s 1_01.WAV\n*take %s 1_02.WAV\nq\"uote'_01.WAV\n\xc3\xa9t\xc3\xa9_01.WAV\n100%_01.WAV\n"
        "A_1.WAV\nAA_b_01.WAV\nAAa_01.WAV\nAA__01.WAV\n .WAV\n.WAV\n.hidden_01.WAV");
}

} // namespace

// Sources of other recorders: float, 8-bit, stereo, extensible, RF64.
void sourceSeeds()
{
    RecorderFileSpec f = small();
    f.withIxml = f.withFilm = f.withVlta = f.withOnde = false;
    f.formatTag = 3;
    f.bitsPerSample = 32;
    put("fuzz_sourceformat", "float32", RecorderFileWriter::build(f));
    RecorderFileSpec eight = f;
    eight.formatTag = 1;
    eight.bitsPerSample = 8;
    eight.channels = 2;
    put("fuzz_sourceformat", "stereo-8bit", RecorderFileWriter::build(eight));
    RecorderFileSpec ext = f;
    ext.withFmt = false;
    QByteArray fmt = QByteArray::fromHex("feff0200803e000000fa0000080020001600200003000000")
                     + QByteArray::fromHex("0300000000001000800000aa00389b71");
    ext.extraBefore << ExtraChunk{QByteArray("fmt "), fmt, false, 0};
    put("fuzz_sourceformat", "extensible-float-stereo", RecorderFileWriter::build(ext));
    QByteArray rf = RecorderFileWriter::build(small());
    rf.replace(0, 4, "RF64");
    QByteArray ds64("ds64\x1c\0\0\0", 8);
    ds64 += QByteArray(28, '\0');
    ds64[16] = '\x30';   // data size 48 = 16 frames of 24 bits
    rf.insert(12, ds64);
    const int dataAt = rf.indexOf("data");
    if (dataAt > 0)
        rf.replace(dataAt + 4, 4, QByteArray(4, '\xFF'));
    put("fuzz_sourceformat", "rf64", rf);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds CORPUS_FOLDER\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    chunkSeeds();
    bextSeeds();
    ixmlSeeds();
    groupingSeeds();
    sourceSeeds();
    return g_failures == 0 ? 0 : 1;
}
