// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Fixed-layout chunk records, kept as the exact bytes read from the file so a
// writer can copy a record back whole. Fields are decoded at named offsets
// through the byte-order hooks; nothing casts a struct over a buffer.

#include <QtEndian>
#include <QByteArray>

#include <array>
#include <cstring>

// Byte-order hooks: file numbers are little-endian; on a little-endian host
// these do nothing.
inline quint16 QAll_Swap16(quint16 v) { return qFromLittleEndian(v); }
inline quint32 QAll_Swap32(quint32 v) { return qFromLittleEndian(v); }

namespace bwf {

inline quint16 readU16(const char* p) { return qFromLittleEndian<quint16>(reinterpret_cast<const uchar*>(p)); }
inline quint32 readU32(const char* p) { return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(p)); }
inline void writeU16(char* p, quint16 v) { qToLittleEndian<quint16>(v, reinterpret_cast<uchar*>(p)); }
inline void writeU32(char* p, quint32 v) { qToLittleEndian<quint32>(v, reinterpret_cast<uchar*>(p)); }

constexpr int kChunkHeaderBytes = 8;
constexpr int kRiffHeaderBytes = 12;
constexpr quint32 kFirstChunkOffset = 12;

// Record sizes, header included.
constexpr int kFmtRecordBytes = 24;
constexpr int kBextRecordBytes = 866;
constexpr quint32 kBextDataBytes = 858;   // what this system writes as bext ChunkSize
constexpr int kOndeRecordBytes = 16;
constexpr int kFilmRecordBytes = 1580;
constexpr int kDataRecordBytes = 8;

// bext offsets inside the record (header included).
constexpr int kBextDescription = 8;
constexpr int kBextDescriptionBytes = 256;
constexpr int kBextOriginator = 264;
constexpr int kBextOriginatorBytes = 32;
constexpr int kBextOriginatorReference = 296;
constexpr int kBextOriginatorReferenceBytes = 32;
constexpr int kBextOriginationDate = 328;
constexpr int kBextOriginationDateBytes = 10;
constexpr int kBextOriginationTime = 338;
constexpr int kBextOriginationTimeBytes = 8;
constexpr int kBextTimeReferenceLow = 346;
constexpr int kBextTimeReferenceHigh = 350;
constexpr int kBextVersion = 354;
constexpr int kBextUmid = 356;
constexpr int kBextUmidBytes = 64;
constexpr int kBextReserved = 420;
constexpr int kBextCodingHistory = 610;
constexpr int kBextCodingHistoryBytes = 256;

// fmt offsets inside the record.
constexpr int kFmtFormatTag = 8;
constexpr int kFmtChannels = 10;
constexpr int kFmtSampleRate = 12;
constexpr int kFmtByteRate = 16;
constexpr int kFmtBlockAlign = 20;
constexpr int kFmtBitsPerSample = 22;

// film offsets inside the record.
constexpr int kFilmStartTimeText = 12;
constexpr int kFilmSampleOffset = 60;
constexpr int kFilmFrameRateCode = 278;
constexpr int kFilmFrameRateCodeBytes = 10;
constexpr int kFilmSourceName = 812;       // data offset 804
constexpr int kFilmSourceNameBytes = 256;

// onde offsets inside the record.
constexpr int kOndePointStep = 8;
constexpr int kOndeSecondWord = 12;

constexpr int kIxmlPaddedLength = 61440;   // 0xF000: what the recorder reserves
constexpr int kMaxTracks = 24;

} // namespace bwf

// A record of N bytes: the chunk header (ID, size) followed by N - 8 data bytes.
template <int N>
struct tyRecord
{
    std::array<char, N> raw{};

    static constexpr int kBytes = N;
    bool IsPresent() const { return raw[0] != '\0'; }
    QByteArray ChunkID() const { return QByteArray(raw.data(), 4); }
    void SetChunkID(const char id[4]) { std::memcpy(raw.data(), id, 4); }
    quint32 ChunkSize() const { return bwf::readU32(raw.data() + 4); }
    void SetChunkSize(quint32 v) { bwf::writeU32(raw.data() + 4, v); }
    quint16 U16(int offset) const { return bwf::readU16(raw.data() + offset); }
    quint32 U32(int offset) const { return bwf::readU32(raw.data() + offset); }
    void SetU16(int offset, quint16 v) { bwf::writeU16(raw.data() + offset, v); }
    void SetU32(int offset, quint32 v) { bwf::writeU32(raw.data() + offset, v); }
    char* Data() { return raw.data(); }
    const char* Data() const { return raw.data(); }
    void Clear() { raw.fill('\0'); }
};

using tyChunk = tyRecord<bwf::kChunkHeaderBytes>;
using tyDataChunk = tyRecord<bwf::kDataRecordBytes>;
using tyOndeChunk = tyRecord<bwf::kOndeRecordBytes>;

struct tyFmtChunk : tyRecord<bwf::kFmtRecordBytes>
{
    quint16 FormatTag() const { return U16(bwf::kFmtFormatTag); }
    quint16 NbChannels() const { return U16(bwf::kFmtChannels); }
    quint32 SampleRate() const { return U32(bwf::kFmtSampleRate); }
    quint32 ByteRate() const { return U32(bwf::kFmtByteRate); }
    quint16 BlockAlign() const { return U16(bwf::kFmtBlockAlign); }
    quint16 BitsPerSample() const { return U16(bwf::kFmtBitsPerSample); }
};

struct tyBextChunk : tyRecord<bwf::kBextRecordBytes>
{
    char* Description() { return raw.data() + bwf::kBextDescription; }
    const char* Description() const { return raw.data() + bwf::kBextDescription; }
    const char* Originator() const { return raw.data() + bwf::kBextOriginator; }
    char* OriginatorReference() { return raw.data() + bwf::kBextOriginatorReference; }
    const char* OriginatorReference() const { return raw.data() + bwf::kBextOriginatorReference; }
    const char* OriginationDate() const { return raw.data() + bwf::kBextOriginationDate; }
    const char* OriginationTime() const { return raw.data() + bwf::kBextOriginationTime; }
    quint32 TimeReferenceLow() const { return U32(bwf::kBextTimeReferenceLow); }
    quint32 TimeReferenceHigh() const { return U32(bwf::kBextTimeReferenceHigh); }
    quint64 TimeReference() const { return (quint64(TimeReferenceHigh()) << 32) | TimeReferenceLow(); }
    quint16 Version() const { return U16(bwf::kBextVersion); }
    char* Umid() { return raw.data() + bwf::kBextUmid; }
    const char* Umid() const { return raw.data() + bwf::kBextUmid; }
};

struct tyFilmChunk : tyRecord<bwf::kFilmRecordBytes>
{
    // NUL-terminated inside its field; never read past the field.
    QByteArray FrameRateCode() const
    {
        const char* p = raw.data() + bwf::kFilmFrameRateCode;
        return QByteArray(p, int(qstrnlen(p, bwf::kFilmFrameRateCodeBytes)));
    }
    quint32 SampleOffset() const { return U32(bwf::kFilmSampleOffset); }
};
