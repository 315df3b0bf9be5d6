// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writes recorder-like Broadcast Wave files byte by byte: the fixtures of every
// test and the demo project. It shares no code with the reader on purpose, so
// the two cannot share a misunderstanding (tests also check it with sox and
// ffprobe).
//
// Default chunk order (the recorder's): RIFF header, extraBefore, bext, fmt,
// film, vlta, iXML, data, onde, extraAfter. With ixmlLast the iXML chunk is the
// last chunk of the file instead. No pad byte follows an odd-sized chunk,
// as on the recorder (ExtraChunk::padOddSize adds one for other writers' files).

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

struct ExtraChunk
{
    QByteArray id;            // four characters
    QByteArray body;
    bool padOddSize = false;  // standard RIFF writers add a pad byte after an odd body
    quint32 declaredSize = 0; // 0 = body size; otherwise written as ChunkSize as is
};

namespace recorderxml {
class XmlText;
}

// The iXML document the recorder writes for one mono track file.
struct RecorderIxml
{
    QString project = QStringLiteral("N/A");
    QString scene = QStringLiteral("12A");
    QString take = QStringLiteral("3");
    QString takeType;                  // TAKE_TYPE, written only when not empty
    int sctkTemplate = -1;             // VELTA_PAVANE/SCTK_TEMPLATE, written when >= 0
    QString advancedComposition;       // ADV_TPL/COMP, written (with the fields) when not empty
    QList<QPair<QString, QString>> advancedFields;  // e.g. {"SEQUENCE","42"}, {"SEP1","-"}
    QString tape = QStringLiteral("DAY1");
    QString circled = QStringLiteral("TRUE");
    QString ubits = QStringLiteral("00000000");
    QString note = QStringLiteral("good");
    int channelIndex = 1;              // TRACK/CHANNEL_INDEX of this file (1-based)
    QString trackName = QStringLiteral("Mix");
    QString trackFunction;             // TRACK/FUNCTION of a mono file
    int trackCount = 1;                // TRACK_LIST/TRACK_COUNT
    QStringList polyTrackNames;        // for a poly file: one TRACK per name
    QStringList polyTrackFunctions;    // FUNCTION of each poly TRACK (empty = none)
    QList<int> polyChannelIndexes;     // CHANNEL_INDEX of each poly TRACK; default interleave + 1
    int totalFiles = 1;
    // VELTA_PAVANE/ALL_TRK_NAME: allTrackEntries DATA entries with INDICE 0, 1, ...;
    // an empty name writes ACTIVE "NO". When allTrackNames is empty, the entry
    // of this file's own track (channelIndex - 1) carries trackName and "YES".
    QStringList allTrackNames;         // index = track index, up to 24
    QStringList allTrackActive;        // "YES"/"NO"; defaults from allTrackNames
    QStringList allTrackInGrid;        // defaults "YES" for active entries, else "NO"
    QStringList allTrackPanPot;        // defaults "0"
    int allTrackEntries = 24;
    QString refLevel = QStringLiteral("-18dBFS");
    QList<QPair<QString, quint32>> syncPoints;   // (function, SYNC_POINT_LOW), comment "AUTO"/text in syncComments
    QStringList syncComments;
    int padTo = 61440;                 // spaces appended until this many bytes

    // Copies of the file's other chunks; RecorderFileWriter::build fills them
    // from the file spec so the document agrees with the file.
    QString fileUid;
    QString originalFileName;
    quint32 sampleRate = 48000;
    quint16 bitDepth = 24;
    quint64 timeReference = 0;
    QString timecodeRate = QStringLiteral("25/1");
    QString timecodeFlag = QStringLiteral("NDF");
    QString bextOriginator;
    QString bextOriginatorReference;
    QString bextOriginationDate;
    QString bextOriginationTime;

    QByteArray toBytes() const;        // UTF-8, padded

private:
    // The parts of toBytes(), in document order.
    void writeSpeedAndFileSet(recorderxml::XmlText& x) const;
    void writeTrackList(recorderxml::XmlText& x) const;
    void writeSyncPoints(recorderxml::XmlText& x) const;
    void writeBext(recorderxml::XmlText& x) const;
    void writeRecorderBlock(recorderxml::XmlText& x) const;
};

struct RecorderFileSpec
{
    QByteArray riffId = "RIFF";
    QByteArray formType = "WAVE";
    qint64 riffSizeOverride = -1;      // >= 0: written at offset 4 instead of file size - 8
    quint16 formatTag = 1;             // PCM
    quint32 sampleRate = 48000;
    quint16 bitsPerSample = 24;
    quint16 channels = 1;
    quint32 frames = 4800;             // samples per channel
    quint64 timeReference = 0;         // samples since midnight
    quint32 audioSeed = 1;             // deterministic audio: see sampleValue()
    qint64 dataDeclaredSize = -1;      // >= 0: a lying data ChunkSize

    bool withFmt = true;
    bool withData = true;

    bool withBext = true;
    QByteArray description;            // bext Description (up to 256 bytes), e.g. "aSCENE=12A\r\naTAKE=3\r\n"
    bool autoDescription = true;       // empty description: write the recorder's lines from ixml
    QByteArray originator = "PAVANE V01.23.45 SN000123";
    QByteArray originatorReference = "VELPAV0000000000000000000000000A";
    QByteArray originationDate = "2019:05:14";
    QByteArray originationTime = "10:15:30";
    quint16 bextVersion = 1;
    QByteArray umid;                   // up to 64 bytes
    QByteArray codingHistory;          // empty: "A=PCM,F=...,W=...,M=...,T=PAVANE\r\n"
    quint32 bextDataSize = 858;        // ChunkSize of bext; smaller values write a short bext

    bool withFilm = true;
    QByteArray frameRateCode = "25.00";
    bool withVlta = true;
    quint32 vltaSize = 64;
    bool withOnde = true;
    quint32 ondeSize = 404;            // ChunkSize of the onde chunk (peaks are zero)
    bool withIxml = true;
    RecorderIxml ixml;
    QByteArray ixmlRaw;                // when not empty, written instead of ixml.toBytes()
    quint32 ixmlDeclaredSize = 0;      // 0 = real size; otherwise a lying ChunkSize
    bool ixmlLast = false;             // put the iXML chunk after data (recorders put it before)

    QList<ExtraChunk> extraBefore;     // chunks written right after the RIFF header
    QList<ExtraChunk> extraAfter;      // chunks written after data
    qint64 truncateTo = -1;            // cut the file to this many bytes after building

    // Deterministic sample for (seed, frame, channel), as a signed value that
    // fits the bit depth; tests compare decoded audio against it.
    static qint32 sampleValue(quint32 seed, quint32 frame, quint16 channel, quint16 bits);

    // Speed text of the bext "aSPEED=" line for a frame-rate code ("25.00" ->
    // "025.000-ND"); empty for an unknown code.
    static QByteArray speedText(const QByteArray& frameRateCode);
};

// Where build() put each chunk, for tests that check offsets.
struct RecorderChunkPlace
{
    QByteArray id;
    quint32 offset = 0;                // offset of the chunk header
    quint32 size = 0;                  // ChunkSize as written
};

class RecorderFileWriter
{
public:
    static QByteArray build(const RecorderFileSpec& spec, QList<RecorderChunkPlace>* places = nullptr);
    // Writes the file; false (with a reason in *error) when it cannot. The
    // iXML ORIGINAL_FILENAME is the file name of `path` unless the file
    // description names another.
    static bool write(const QString& path, const RecorderFileSpec& spec, QString* error = nullptr);

    // Description lines as the recorder writes them, each ended by CR LF.
    static QByteArray descriptionLines(const QList<QPair<QByteArray, QByteArray>>& keyValues);

    // One mono take of `tracks` files root_01.WAV ... in `folder`; the file of
    // track n gets channelIndex n, audio seed base.audioSeed + n - 1 and the
    // shared track table (names "Trk1" ... unless base.ixml.allTrackNames is set).
    static bool writeMonoTake(const QString& folder, const QString& root, int tracks,
                              const RecorderFileSpec& base, QString* error = nullptr);

    // An RF64 file (another recorder's long recording): RF64 header, ds64,
    // bext and fmt from `spec`, then a data chunk of `frames` frames whose
    // 32-bit size defers to ds64. Only frames [filledFirst, filledFirst +
    // filledCount) hold audio (sampleValue with frame numbers counted from
    // the start of the file); the rest is left as a hole in a sparse file, so
    // sizes past 4 GB cost little disk.
    static bool writeRf64Sparse(const QString& path, const RecorderFileSpec& spec, quint64 frames,
                                quint64 filledFirst, quint32 filledCount, QString* error = nullptr);

    // The spec of track n (1-based) of such a take, as writeMonoTake writes it.
    static RecorderFileSpec monoTrackSpec(const RecorderFileSpec& base, int tracks, int n);
};
