// SPDX-License-Identifier: GPL-3.0-or-later
#include "SourceFormat.h"

#include <QFile>
#include <QtEndian>

#include <array>
#include <cstring>

namespace {

// The 14 bytes that follow the format code in the KSDATAFORMAT_SUBTYPE GUIDs
// of PCM and IEEE float (00000001-0000-0010-8000-00aa00389b71, ...).
constexpr std::array<unsigned char, 14> kAudioGuidTail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                          0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// A walk of a damaged file still ends: every step advances, and at most this
// many headers are looked at.
constexpr int kMaxChunks = 100000;

quint16 u16(const char* p) { return qFromLittleEndian<quint16>(reinterpret_cast<const uchar*>(p)); }
quint32 u32(const char* p) { return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(p)); }
quint64 u64(const char* p) { return qFromLittleEndian<quint64>(reinterpret_cast<const uchar*>(p)); }

// Reads up to `n` bytes at `pos`; returns the bytes read (0 past the end).
qint64 readAt(QFile& f, quint64 pos, char* out, qint64 n)
{
    if (pos > quint64(f.size()) || !f.seek(qint64(pos)))
        return 0;
    const qint64 got = f.read(out, n);
    return got < 0 ? 0 : got;
}

bool plausibleId(const char* id)
{
    for (int i = 0; i < 4; ++i) {
        const unsigned char c = static_cast<unsigned char>(id[i]);
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

// Next header position after a chunk of `size` bytes at `pos`. Standard RIFF
// writers pad an odd chunk to an even size, some recorders do not: the pad is
// skipped only when the unpadded position holds no plausible header and the
// padded one does (or is the end of the file) -- the take reader's rule.
quint64 nextPosition(QFile& f, quint64 pos, quint64 size)
{
    const quint64 unpadded = pos + 8 + size;
    if ((size & 1u) == 0)
        return unpadded;
    char h[8];
    const qint64 got = readAt(f, unpadded, h, 8);
    if (got == 0 || (got == 8 && plausibleId(h)))
        return unpadded;
    char p[8];
    const qint64 gotPadded = readAt(f, unpadded + 1, p, 8);
    if (gotPadded == 0 || (gotPadded == 8 && plausibleId(p)))
        return unpadded + 1;
    return unpadded;
}

QString hex4(quint16 v) { return QStringLiteral("0x%1").arg(v, 4, 16, QLatin1Char('0')); }

// The steps of ReadSourceFormat. Each returns the message of the fault that
// ends the read, empty when the read goes on.

// The RIFF, RF64 or BW64 header of a WAVE file; keeps the container name.
QString readContainerHeader(QFile& f, SourceFormat& s)
{
    char riff[12] = {};
    if (readAt(f, 0, riff, 12) < 12)
        return QStringLiteral("Not a sound file: shorter than a RIFF header.");
    s.container = QByteArray(riff, 4);
    if (s.container != "RIFF" && s.container != "RF64" && s.container != "BW64")
        return QStringLiteral("Not a sound file: it starts neither with RIFF nor with RF64 or BW64.");
    if (std::memcmp(riff + 8, "WAVE", 4) != 0)
        return QStringLiteral("Not a WAVE file.");
    return QString();
}

// The 64-bit sizes of a ds64 chunk whose data starts at `body`.
QString readDs64(QFile& f, quint64 body, quint32 size32, SourceFormat& s)
{
    char d[wavfmt::kDs64FixedBytes] = {};
    if (size32 < quint32(wavfmt::kDs64FixedBytes) || readAt(f, body, d, wavfmt::kDs64FixedBytes) < wavfmt::kDs64FixedBytes)
        return QStringLiteral("The ds64 chunk is too short (%1 bytes).").arg(size32);
    s.hasDs64 = true;
    s.ds64RiffSize = u64(d + wavfmt::kDs64RiffSize);
    s.ds64DataSize = u64(d + wavfmt::kDs64DataSize);
    s.ds64SampleCount = u64(d + wavfmt::kDs64SampleCount);
    return QString();
}

// The sample layout of a plain or extensible fmt chunk; the last fmt chunk
// wins, as for takes.
QString readFmt(QFile& f, quint64 body, quint32 size32, SourceFormat& s)
{
    char d[wavfmt::kFmtExtensibleBytes] = {};
    if (size32 < quint32(wavfmt::kFmtPlainBytes) || readAt(f, body, d, wavfmt::kFmtPlainBytes) < wavfmt::kFmtPlainBytes)
        return QStringLiteral("The fmt chunk is too short (%1 bytes).").arg(size32);
    s.extensible = false;
    s.subFormatTag = 0;
    s.subFormatKnown = false;
    s.validBits = 0;
    s.channelMask = 0;
    s.formatTag = u16(d + wavfmt::kFmtTag);
    s.channels = u16(d + wavfmt::kFmtChannels);
    s.sampleRate = u32(d + wavfmt::kFmtSampleRate);
    s.blockAlign = u16(d + wavfmt::kFmtBlockAlign);
    s.bitsPerSample = u16(d + wavfmt::kFmtBitsPerSample);
    if (s.formatTag == wavfmt::kTagExtensible) {
        s.extensible = true;
        if (size32 < quint32(wavfmt::kFmtExtensibleBytes)
            || readAt(f, body, d, wavfmt::kFmtExtensibleBytes) < wavfmt::kFmtExtensibleBytes)
            return QStringLiteral("The extensible fmt chunk is too short (%1 bytes).").arg(size32);
        s.validBits = u16(d + wavfmt::kFmtValidBits);
        s.channelMask = u32(d + wavfmt::kFmtChannelMask);
        const char* guid = d + wavfmt::kFmtSubFormat;
        s.subFormatTag = u16(guid);
        s.subFormatKnown = std::memcmp(guid + 2, kAudioGuidTail.data(), kAudioGuidTail.size()) == 0;
    }
    return QString();
}

// The bext time reference, when the chunk is long enough to hold it.
void readBext(QFile& f, quint64 body, quint32 size32, SourceFormat& s)
{
    s.hasBext = true;
    s.hasTimeReference = false;
    char tr[8];
    if (size32 >= quint32(wavfmt::kBextTimeReferenceEnd) && readAt(f, body + wavfmt::kBextTimeReferenceLow, tr, 8) == 8) {
        s.hasTimeReference = true;
        s.timeReference = (quint64(u32(tr + 4)) << 32) | u32(tr);
    }
}

// Where the samples are and how many bytes they take; `*size` becomes the
// ds64 size when the chunk defers to it.
QString readDataHeader(quint64 body, quint32 size32, bool sizesInDs64, SourceFormat& s, quint64* size)
{
    s.dataChunkSize = size32;
    if (sizesInDs64 && size32 == wavfmt::kSizeInDs64) {
        if (!s.hasDs64)
            return QStringLiteral("The data chunk defers its size to a ds64 chunk, and there is none before it.");
        *size = s.ds64DataSize;
    }
    s.dataOffset = body;
    s.dataSize = *size;
    return QString();
}

// Walks the chunk headers after the container header, reading the chunks a
// source needs; tells whether a fmt and a data chunk were met.
QString walkChunks(QFile& f, SourceFormat& s, bool* haveFmt, bool* haveData)
{
    const quint64 fileSize = quint64(f.size());
    const bool sizesInDs64 = s.container != "RIFF";
    quint64 pos = 12;
    for (int n = 0; n < kMaxChunks && pos + 8 <= fileSize; ++n) {
        char h[8];
        if (readAt(f, pos, h, 8) < 8)
            break;
        const QByteArray id(h, 4);
        const quint32 size32 = u32(h + 4);
        quint64 size = size32;
        const quint64 body = pos + 8;

        QString fault;
        if (id == "ds64" && sizesInDs64) {
            fault = readDs64(f, body, size32, s);
        } else if (id == "fmt ") {
            fault = readFmt(f, body, size32, s);
            *haveFmt = *haveFmt || fault.isEmpty();
        } else if (id == "bext") {
            readBext(f, body, size32, s);
        } else if (id == "data") {
            fault = readDataHeader(body, size32, sizesInDs64, s, &size);
            *haveData = *haveData || fault.isEmpty();
        }
        if (!fault.isEmpty())
            return fault;
        const quint64 next = nextPosition(f, pos, size);
        if (next <= pos)
            break;
        pos = next;
    }
    return QString();
}

} // namespace

QString SourceFormat::unsupportedReason() const
{
    if (channels == 0)
        return QStringLiteral("The fmt chunk gives no channel.");
    if (sampleRate == 0)
        return QStringLiteral("The fmt chunk gives a sample rate of 0.");
    const quint16 code = extensible ? subFormatTag : formatTag;
    if (extensible && !subFormatKnown)
        return QStringLiteral("Unknown extensible subformat: this is not PCM or IEEE float audio.");
    if (code != wavfmt::kTagPcm && code != wavfmt::kTagFloat)
        return QStringLiteral("Compressed or unknown audio format (format tag %1): only PCM and IEEE float sources can be used.")
            .arg(hex4(code));
    if (code == wavfmt::kTagPcm && bitsPerSample != 8 && bitsPerSample != 16 && bitsPerSample != 24
        && bitsPerSample != 32)
        return QStringLiteral("%1-bit PCM is not supported (8, 16, 24 or 32 bits).").arg(bitsPerSample);
    if (code == wavfmt::kTagFloat && bitsPerSample != 32 && bitsPerSample != 64)
        return QStringLiteral("%1-bit float is not supported (32 or 64 bits).").arg(bitsPerSample);
    if (quint32(blockAlign) != quint32(channels) * quint32(bitsPerSample / 8))
        return QStringLiteral("The fmt chunk's block align (%1) is not %2 channel(s) of %3 bytes.")
            .arg(blockAlign)
            .arg(channels)
            .arg(bitsPerSample / 8);
    return QString();
}

QString SourceFormat::formatTagText() const
{
    switch (formatTag) {
    case wavfmt::kTagPcm: return QStringLiteral("PCM");
    case wavfmt::kTagFloat: return QStringLiteral("IEEE float");
    case wavfmt::kTagExtensible: return QStringLiteral("extensible");
    default: return hex4(formatTag);
    }
}

QString SourceFormat::subFormatText() const
{
    if (!extensible)
        return QString();
    if (subFormatKnown && subFormatTag == wavfmt::kTagPcm)
        return QStringLiteral("PCM");
    if (subFormatKnown && subFormatTag == wavfmt::kTagFloat)
        return QStringLiteral("IEEE float");
    return hex4(subFormatTag);
}

QString SourceFormat::encodingText() const
{
    switch (encoding) {
    case SampleEncoding::Integer: return QStringLiteral("integer");
    case SampleEncoding::Float: return QStringLiteral("float");
    case SampleEncoding::Unsupported: break;
    }
    return QStringLiteral("unsupported");
}

QString SourceFormat::describe() const
{
    QString kind;
    if (encoding == SampleEncoding::Integer)
        kind = QStringLiteral("%1-bit integer").arg(bitsPerSample);
    else if (encoding == SampleEncoding::Float)
        kind = QStringLiteral("%1-bit float").arg(bitsPerSample);
    else
        kind = QStringLiteral("%1-bit %2").arg(bitsPerSample).arg(extensible ? subFormatText() : formatTagText());
    QString text = kind + QStringLiteral(", %1 channel%2, %3 Hz")
                              .arg(channels)
                              .arg(channels == 1 ? QString() : QStringLiteral("s"))
                              .arg(sampleRate);
    if (extensible)
        text += QStringLiteral(", extensible");
    if (container != "RIFF")
        text += QStringLiteral(", ") + QString::fromLatin1(container);
    return text;
}

bool ReadSourceFormat(const QString& path, SourceFormat* format, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!format)
        return fail(QStringLiteral("No format to fill."));
    *format = SourceFormat();
    SourceFormat& s = *format;

    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("Cannot open the file for reading."));

    QString fault = readContainerHeader(f, s);
    if (!fault.isEmpty())
        return fail(fault);
    bool haveFmt = false;
    bool haveData = false;
    fault = walkChunks(f, s, &haveFmt, &haveData);
    if (!fault.isEmpty())
        return fail(fault);

    if (!haveFmt)
        return fail(QStringLiteral("No fmt chunk."));
    if (!haveData)
        return fail(QStringLiteral("No data chunk."));
    const quint16 code = s.extensible ? s.subFormatTag : s.formatTag;
    if (s.unsupportedReason().isEmpty())
        s.encoding = code == wavfmt::kTagFloat ? SampleEncoding::Float : SampleEncoding::Integer;
    return true;
}
