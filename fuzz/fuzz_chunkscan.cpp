// SPDX-License-Identifier: GPL-3.0-or-later
// Bytes -> a file -> open, chunk scan (both message and bext modes), every
// record accessor and every timing and format query, the chunk walk, reads of
// the audio. Invariants: positions found lie inside the file, the iXML text
// held is never more than the file holds.
#include "FuzzSupport.h"

#include "MyQFile.h"
#include "QSoundFile.h"
#include "TimeFormat.h"

#include <array>

namespace {

QString g_path;

void queryEverything(QSoundFile& file, qint64 fileSize)
{
    using fuzzsupport::check;
    for (bool pullDown : {false, true}) {
        file.GetTimeCode(pullDown);
        file.GetTimeCodeSeconds(pullDown);
        file.GetTimeCodeRest(pullDown);
        file.GetTimeCodeFrame(pullDown);
        file.GetDurationFrameBool(pullDown);
    }
    file.GetSampling();
    file.GetSize();
    file.GetNumerikSize();
    file.GetTrueSize();
    file.GetNbTotalSample();
    file.GetDuration();
    file.GetDurationSeconds();
    file.GetFrameRate();
    const short fps = file.GetNumerikFrameRate();
    file.GetCreationDate();
    file.GetCreationTime();
    file.GetCreator();
    file.GetRef();
    file.GetBextScene();
    file.GetBextTake();
    file.GetBextNote();
    file.GetBextUbits();
    file.GetBextTape();
    file.GetBextTag();
    file.GetBextType();
    file.GetBextSpeed();
    file.GetSampleRate();
    file.GetNbChannels();
    file.GetBitsPerSample();
    file.GetTimeReference();
    file.GetDataSize();
    file.HasFormatChunk();
    file.HasDataChunk();
    file.HasBextChunk();
    file.HasFilmChunk();
    file.HasiXMLChunk();
    file.m_tFilmChunk.FrameRateCode();
    file.m_tFilmChunk.SampleOffset();
    file.m_tBextChunk.Version();
    GetTimeCode(file.GetDurationFrameBool(false), fps);
    GetTimeCode(file.GetTimeCodeFrame(false), fps);
    Long64ToString(qint64(file.GetTimeReference()));

    // Every record found starts inside the file (its header may be cut short
    // by the end of the file, so its data position is at most 8 past it).
    for (quint32 pos : {file.m_nPosFmt, file.m_nPosBext, file.m_nPosData, file.m_nPosOnde, file.m_nPosFilm,
                        file.m_nPosVelta})
        check(pos == 0 || qint64(pos) < fileSize + 8, "record position inside the file");
    check(file.m_nPosiXML == 0 || qint64(file.m_nPosiXML) < fileSize, "iXML header inside the file");
    check(file.m_siXML.size() <= fileSize, "iXML text no longer than the file");

    // Reads of the audio at the data position and around it.
    std::array<char, 64> buffer{};
    file.LectureDataBin(buffer.data(), file.m_nPosData, int(buffer.size()));
    file.LectureDataBin(buffer.data(), -1, int(buffer.size()));
    file.LectureDataBin(buffer.data(), qint64(file.m_nPosData) + file.GetDataSize(), int(buffer.size()));
    file.LectureDataBin(buffer.data(), fileSize + 10, int(buffer.size()));
    file.LectureDataBin(nullptr, 0, 4);
    file.LectureDataBin(buffer.data(), 0, -1);

    if (file.GetiXMLFileInfos()) {
        file.GetiXMLScene();
        file.GetiXMLTakeIndicator();
        file.GetiXMLTakeNumber();
        file.GetiXMLMonoTrackNumber();
        file.GetiXMLMonoTrackName();
        file.GetiXMLVeltaTracknames(0);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzsupport::init(argc, argv);
    g_path = fuzzsupport::scratchFolder("chunkscan") + QStringLiteral("/AA0001_01.WAV");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    if (!fuzzsupport::writeFile(g_path, bytes))
        return 0;

    for (int variant = 0; variant < 4; ++variant) {
        QSoundFile file;
        if (!file.Open(g_path, 0))
            return 0;
        file.ReadChunks(variant & 1, variant & 2);
        queryEverything(file, qint64(size));
        // A second scan of the same object must not keep stale state unsafe.
        if (variant == 3) {
            file.ReadChunks(true, true);
            queryEverything(file, qint64(size));
        }
        file.Close();
    }

    // Re-initialised object, closed file: queries and reads still safe.
    QSoundFile closed;
    closed.ReadChunks(true, false);
    char byte = 0;
    closed.LectureDataBin(&byte, 0, 1);

    QList<tyChunkEntry> chunks;
    quint32 riffSize = 0;
    if (QSoundFile::ListChunks(g_path, chunks, &riffSize)) {
        fuzzsupport::check(chunks.size() <= QSoundFile::kMaxListedChunks, "walk bounded");
        quint32 last = 0;
        for (const tyChunkEntry& entry : chunks) {
            fuzzsupport::check(entry.offset >= last, "walk moves forward");
            fuzzsupport::check(qint64(entry.offset) < qint64(size), "walked header inside the file");
            last = entry.offset + 1;
        }
    }

    MyQFile raw;
    raw.setFileName(g_path);
    if (raw.open(1))
        raw.close();
    return 0;
}
