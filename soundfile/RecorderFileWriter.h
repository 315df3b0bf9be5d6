// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writes recorder-like Broadcast Wave files byte by byte: the fixtures of every
// test and the demo project. It shares no code with the reader on purpose, so
// the two cannot share a misunderstanding (tests also check it with sox and
// ffprobe).

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct ExtraChunk
{
    QByteArray id;            // four characters
    QByteArray body;
    bool padOddSize = false;  // standard RIFF writers add a pad byte after an odd body
    quint32 declaredSize = 0; // 0 = body size; otherwise written as ChunkSize as is
};

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
    int trackCount = 1;                // TRACK_LIST/TRACK_COUNT
    QStringList polyTrackNames;        // for a poly file: one TRACK per name
    int totalFiles = 1;
    // VELTA_PAVANE/ALL_TRK_NAME: 24 entries; an empty name writes ACTIVE "NO".
    QStringList allTrackNames;         // index = track index, up to 24
    QStringList allTrackActive;        // "YES"/"NO"; defaults from allTrackNames
    QList<QPair<QString, quint32>> syncPoints;   // (function, SYNC_POINT_LOW), comment "AUTO"/text in syncComments
    QStringList syncComments;
    int padTo = 61440;                 // spaces appended until this many bytes

    QByteArray toBytes() const;        // UTF-8, padded
};

struct RecorderFileSpec
{
    QByteArray riffId = "RIFF";
    QByteArray formType = "WAVE";
    quint32 sampleRate = 48000;
    quint16 bitsPerSample = 24;
    quint16 channels = 1;
    quint32 frames = 4800;             // samples per channel
    quint64 timeReference = 0;         // samples since midnight
    quint32 audioSeed = 1;             // deterministic audio: see sampleValue()

    bool withBext = true;
    QByteArray description;            // bext Description (up to 256 bytes), e.g. "aSCENE=12A\r\naTAKE=3\r\n"
    QByteArray originator = "PAVANE V01.23.45 SN000123";
    QByteArray originatorReference = "VELPAV0000000000000000000000000A";
    QByteArray originationDate = "2019:05:14";
    QByteArray originationTime = "10:15:30";
    QByteArray umid;                   // up to 64 bytes
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
};

class RecorderFileWriter
{
public:
    static QByteArray build(const RecorderFileSpec& spec);
    // Writes the file; false (with a reason in *error) when it cannot.
    static bool write(const QString& path, const RecorderFileSpec& spec, QString* error = nullptr);

    // Description lines as the recorder writes them, each ended by CR LF.
    static QByteArray descriptionLines(const QList<QPair<QByteArray, QByteArray>>& keyValues);

    // One mono take of `tracks` files root_01.WAV ... in `folder`; the file of
    // track n gets channelIndex n and the shared track table.
    static bool writeMonoTake(const QString& folder, const QString& root, int tracks,
                              const RecorderFileSpec& base, QString* error = nullptr);
};
