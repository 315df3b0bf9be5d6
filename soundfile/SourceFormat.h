// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The header of a source file as the track engine needs it: how its samples
// are encoded, where they are, how many there are, and its bext time
// reference. Sources come from any recorder: RIFF or RF64/BW64 (ds64 sizes
// past 4 GB), plain or WAVE_FORMAT_EXTENSIBLE fmt, integer or float samples,
// one channel or several. Takes keep going through QSoundFile.

#include <QByteArray>
#include <QString>

namespace wavfmt {

constexpr quint16 kTagPcm = 0x0001;
constexpr quint16 kTagFloat = 0x0003;
constexpr quint16 kTagExtensible = 0xFFFE;

// fmt chunk data, offsets from the first data byte (after the 8-byte header).
constexpr int kFmtTag = 0;
constexpr int kFmtChannels = 2;
constexpr int kFmtSampleRate = 4;
constexpr int kFmtByteRate = 8;
constexpr int kFmtBlockAlign = 12;
constexpr int kFmtBitsPerSample = 14;
constexpr int kFmtPlainBytes = 16;
constexpr int kFmtExtensionSize = 16;     // cbSize
constexpr int kFmtValidBits = 18;
constexpr int kFmtChannelMask = 20;
constexpr int kFmtSubFormat = 24;         // 16-byte GUID
constexpr int kFmtExtensibleBytes = 40;
constexpr int kGuidBytes = 16;

// ds64 chunk data.
constexpr int kDs64RiffSize = 0;
constexpr int kDs64DataSize = 8;
constexpr int kDs64SampleCount = 16;
constexpr int kDs64TableLength = 24;
constexpr int kDs64FixedBytes = 28;

// bext chunk data: the time reference sits after the 338 text bytes.
constexpr int kBextTimeReferenceLow = 338;
constexpr int kBextTimeReferenceHigh = 342;
constexpr int kBextTimeReferenceEnd = 346;

// RF64/BW64: a 32-bit size of all ones means "see ds64".
constexpr quint32 kSizeInDs64 = 0xFFFFFFFFu;

} // namespace wavfmt

enum class SampleEncoding { Unsupported, Integer, Float };

struct SourceFormat
{
    QByteArray container;         // "RIFF", "RF64" or "BW64"
    quint16 formatTag = 0;        // as written in fmt
    bool extensible = false;
    quint16 subFormatTag = 0;     // extensible: the format code of the subformat GUID
    bool subFormatKnown = false;  // extensible: the GUID ends like the standard audio subformats
    quint16 channels = 0;
    quint32 sampleRate = 0;
    quint16 blockAlign = 0;
    quint16 bitsPerSample = 0;    // container bits per sample
    quint16 validBits = 0;        // extensible only; 0 otherwise
    quint32 channelMask = 0;      // extensible only
    SampleEncoding encoding = SampleEncoding::Unsupported;

    quint64 dataOffset = 0;       // file offset of the first sample byte
    quint64 dataSize = 0;         // bytes of sample data (the ds64 value when the chunk defers to it)
    quint32 dataChunkSize = 0;    // the data chunk's own 32-bit size field

    bool hasDs64 = false;
    quint64 ds64RiffSize = 0;
    quint64 ds64DataSize = 0;
    quint64 ds64SampleCount = 0;

    bool hasBext = false;
    bool hasTimeReference = false;   // a bext chunk long enough to hold it
    quint64 timeReference = 0;       // samples since midnight

    int bytesPerSample() const { return bitsPerSample / 8; }
    quint64 frames() const { return blockAlign ? dataSize / blockAlign : 0; }

    // Why these samples cannot be decoded; empty when they can.
    QString unsupportedReason() const;
    // "PCM", "IEEE float", "extensible" or the tag in hex.
    QString formatTagText() const;
    // Extensible: "PCM", "IEEE float" or the code in hex; empty otherwise.
    QString subFormatText() const;
    // "integer", "float" or "unsupported".
    QString encodingText() const;
    // One line for people: "32-bit float, 2 channels, 48000 Hz, extensible, RF64".
    QString describe() const;
};

// Reads the header of a source file. True on success; on failure *error holds
// one line saying what is wrong (without the path). Reads headers only: a
// source of any length costs the same.
bool ReadSourceFormat(const QString& path, SourceFormat* format, QString* error);
