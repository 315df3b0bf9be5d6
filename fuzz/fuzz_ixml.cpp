// SPDX-License-Identifier: GPL-3.0-or-later
// iXML text -> the parse step and every query, then the in-place setters and
// the generator on the parsed (or, when it failed, a generated) document.
//
// Input: [config byte][track name]\0[iXML text]
//   config bits 0-1: sample rate (48000, 44100, 0, 96000)
//   bits 2-4: film frame-rate code (from a list with odd ones)
//   bit 5: pull-down; bit 6: two channels (poly); bit 7: even tracks active
// Invariants: whatever was parsed, the text regenerated after the setters
// parses again with a BWFXML root and answers the values just set.
#include "FuzzSupport.h"

#include "QSoundFile.h"

#include <array>
#include <cstring>
#include <limits>
#include <memory>

namespace {

QString g_naming;

const char* const kFrameCodes[8] = {"25.00", "29.97", "24.DRIFT", "30.DRIF3", "23.976", "-9", "00", "99"};

void setFormat(QSoundFile& file, quint8 config)
{
    static const quint32 rates[4] = {48000, 44100, 0, 96000};
    file.m_tFmtChunk.SetChunkID("fmt ");
    file.m_tFmtChunk.SetChunkSize(16);
    file.m_tFmtChunk.SetU16(bwf::kFmtFormatTag, 1);
    file.m_tFmtChunk.SetU16(bwf::kFmtChannels, (config & 0x40) ? 2 : 1);
    file.m_tFmtChunk.SetU32(bwf::kFmtSampleRate, rates[config & 3]);
    file.m_tFmtChunk.SetU16(bwf::kFmtBitsPerSample, 24);
    file.m_tFilmChunk.SetChunkID("film");
    const char* code = kFrameCodes[(config >> 2) & 7];
    std::memcpy(file.m_tFilmChunk.Data() + bwf::kFilmFrameRateCode, code, qstrlen(code));
    file.m_tBextChunk.SetChunkID("bext");
}

void queryEverything(QSoundFile& file, bool pullDown)
{
    file.GetiXMLScene();
    file.GetiXMLTape();
    file.GetiXMLNotes();
    file.GetiXMLUbits();
    file.GetiXMLCircled();
    file.GetiXMLMonoTrackName();
    file.GetiXMLVeltaRefLevel();
    file.GetiXMLAdvancedScTkTemplateCompostion();
    file.GetiXMLMonoTrackNumber();
    file.GetiXMLScTkTemplate();
    const QString indicator = file.GetiXMLTakeIndicator();
    file.GetiXMLTakeNumber();
    file.GetiXMLAdvancedScTkFields();
    fuzzsupport::check(indicator.size() <= 1, "take indicator is one letter at most");
    for (int i : {std::numeric_limits<int>::min(), -1, 0, 1, 2, 7, 23, 24, 40, std::numeric_limits<int>::max() - 1,
                  std::numeric_limits<int>::max()}) {
        file.GetiXMLPolyTrackOriginalIndex(i);
        file.GetiXMLPolyTrackName(i);
        file.GetiXMLPolyTrackFunction(i);
        file.GetiXMLVeltaTracknames(i);
        file.GetiXMLVeltaTrackActive(i);
        file.GetiXMLVeltaTrackInGrid(i);
        file.GetiXMLVeltaTrackPanPot(i);
    }
    // Arrays of exactly ten, on the heap, so a write past them is caught.
    std::unique_ptr<unsigned int[]> slates(new unsigned int[10]);
    std::unique_ptr<unsigned int[]> frames(new unsigned int[10]);
    std::unique_ptr<unsigned int[]> markers(new unsigned int[10]);
    unsigned int slateCount = 99, markerCount = 99;
    QStringList slateComments, markerComments;
    bool slateAuto = false;
    file.GetiXMLSyncPoint(&slateCount, slates.get(), frames.get(), &slateComments, pullDown, &markerCount,
                          markers.get(), &markerComments, &slateAuto);
    fuzzsupport::check(slateCount <= 10 && markerCount <= 10, "at most ten sync points of each kind");
    fuzzsupport::check(int(slateCount) == slateComments.size() && int(markerCount) == markerComments.size(),
                       "one comment per sync point");
    file.GetiXMLSyncPoint(nullptr, nullptr, nullptr, nullptr, pullDown, nullptr, nullptr, nullptr, nullptr);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzsupport::init(argc, argv);
    // The generator derives identifiers and the file-set count from the
    // file's name and folder; an empty folder of our own keeps that cheap.
    g_naming = fuzzsupport::scratchFolder("ixml") + QStringLiteral("/AB1234_03.WAV");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using fuzzsupport::check;
    fuzzsupport::Reader in(data, size);
    const quint8 config = in.byte();
    const QString trackName = QString::fromUtf8(in.text());
    const QByteArray xml = in.rest();
    const bool pullDown = config & 0x20;

    QSoundFile file;
    setFormat(file, config);
    file.SetNamingPath(g_naming);
    // As the chunk scan hands it over: UTF-8 up to the first NUL.
    const int nul = xml.indexOf('\0');
    file.m_siXML = QString::fromUtf8(nul >= 0 ? xml.left(nul) : xml);
    const bool parsed = file.GetiXMLFileInfos();
    if (!parsed)
        check(!file.m_sXmlError.isEmpty() || file.m_siXML.isEmpty(), "a failed parse says why");
    // Queries also run after a failed parse: a document may stay loaded.
    queryEverything(file, pullDown);

    // A text that is not a BWFXML document is replaced by a generated one,
    // as the writers do before they update a file.
    if (!parsed)
        file.m_XmlObject.Clean();
    const int t = 2;
    file.SetiXMLMonoTrackNumber(t, t + 1);
    file.SetiXMLMonoTrackName(t, trackName);
    file.SetiXMLTotalFiles(t, 5, config & 0x40);
    file.SetiXMLNote(t, trackName);
    std::array<QString, 24> names, pans, actives, grids;
    for (int k = 0; k < 24; ++k) {
        names[size_t(k)] = trackName + QString::number(k);
        pans[size_t(k)] = QString::number(k - 12);
        actives[size_t(k)] = ((config & 0x80) && k % 2 == 0) || k == t ? QStringLiteral("YES") : QStringLiteral("NO");
        grids[size_t(k)] = QStringLiteral("YES");
    }
    file.SetiXMLVeltaAllTrkInfos(names.data(), pans.data(), actives.data(), grids.data());
    const QString regenerated = file.GenerateiXMLChunkMono(t);
    check(!regenerated.isEmpty(), "a document is always produced");

    QSoundFile again;
    setFormat(again, config);
    again.m_siXML = regenerated;
    check(again.GetiXMLFileInfos(), "regenerated iXML parses with a BWFXML root");
    queryEverything(again, pullDown);
    // On a generated document the values just set must read back (a hostile
    // parsed document may hide them behind elements of its own).
    if (!parsed) {
        check(again.GetiXMLMonoTrackNumber() == t, "channel index kept");
        bool plain = !trackName.trimmed().isEmpty();
        for (const QChar c : trackName)
            plain = plain && c.unicode() >= 0x20 && !c.isSpace() && c != QChar::ReplacementCharacter;
        if (plain) {
            check(again.GetiXMLMonoTrackName() == trackName, "track name kept");
            check(again.GetiXMLVeltaTracknames(t) == names[size_t(t)], "track table name kept");
        }
        check(again.GetiXMLVeltaTrackActive(t) == QStringLiteral("YES"), "track table activity kept");
    }

    // A fresh generated document for the same file, mono and poly.
    QSoundFile fresh;
    setFormat(fresh, config);
    fresh.SetNamingPath(g_naming);
    fresh.m_siXML = fresh.GenerateiXMLChunkMono(t);
    check(fresh.GetiXMLFileInfos(), "generated iXML parses");
    return 0;
}
