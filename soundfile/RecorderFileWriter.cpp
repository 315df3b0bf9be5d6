// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecorderFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

// Deliberately independent of BwfRecords.h and QSoundFile: every offset and
// layout here is written out again from the file format itself.

namespace {

void putU16(QByteArray& out, quint16 v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

void putU32(QByteArray& out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

void setU32(QByteArray& out, int offset, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out[offset + i] = char((v >> (8 * i)) & 0xFF);
}

// A fixed-width text field: cut to `width`, NUL-padded.
void putField(QByteArray& out, const QByteArray& text, int width)
{
    QByteArray f = text.left(width);
    f.append(QByteArray(width - f.size(), '\0'));
    out.append(f);
}

QByteArray fourCC(const QByteArray& id)
{
    QByteArray f = id.left(4);
    while (f.size() < 4)
        f.append(' ');
    return f;
}

// declaredSize < 0: the body's own size.
void appendChunk(QByteArray& out, const QByteArray& id, const QByteArray& body, qint64 declaredSize,
                 bool pad, QList<RecorderChunkPlace>* places)
{
    const quint32 size = declaredSize >= 0 ? quint32(declaredSize) : quint32(body.size());
    if (places)
        places->append(RecorderChunkPlace{fourCC(id), quint32(out.size()), size});
    out.append(fourCC(id));
    putU32(out, size);
    out.append(body);
    if (pad && (body.size() & 1))
        out.append('\0');
}

QString xmlEscaped(const QString& text)
{
    QString r;
    r.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&': r += QLatin1String("&amp;"); break;
        case '<': r += QLatin1String("&lt;"); break;
        case '>': r += QLatin1String("&gt;"); break;
        case '"': r += QLatin1String("&quot;"); break;
        case '\'': r += QLatin1String("&apos;"); break;
        default: r += c;
        }
    }
    return r;
}

} // namespace

namespace recorderxml {

// Small XML text builder: one element per line, one space of indent per level.
class XmlText
{
public:
    void open(const char* name)
    {
        line(QLatin1Char('<') + QLatin1String(name) + QLatin1Char('>'));
        ++m_nDepth;
    }
    void close(const char* name)
    {
        --m_nDepth;
        line(QLatin1String("</") + QLatin1String(name) + QLatin1Char('>'));
    }
    void leaf(const char* name, const QString& value)
    {
        line(QLatin1Char('<') + QLatin1String(name) + QLatin1Char('>') + xmlEscaped(value) + QLatin1String("</")
             + QLatin1String(name) + QLatin1Char('>'));
    }
    void leaf(const QString& name, const QString& value)
    {
        line(QLatin1Char('<') + name + QLatin1Char('>') + xmlEscaped(value) + QLatin1String("</") + name
             + QLatin1Char('>'));
    }
    void leaf(const char* name, quint64 value) { leaf(name, QString::number(value)); }
    void empty(const char* name) { line(QLatin1Char('<') + QLatin1String(name) + QLatin1String("/>")); }
    void raw(const QString& text) { m_sText += text; }
    const QString& text() const { return m_sText; }

private:
    void line(const QString& s)
    {
        m_sText += QString(m_nDepth, QLatin1Char(' ')) + s + QLatin1Char('\n');
    }
    QString m_sText;
    int m_nDepth = 0;
};

} // namespace recorderxml

using recorderxml::XmlText;

namespace {

QString at(const QStringList& list, int i, const QString& fallback = QString())
{
    return i >= 0 && i < list.size() ? list.at(i) : fallback;
}

quint16 bytesPerSample(quint16 bits) { return quint16((quint32(bits) + 7) / 8); }

QByteArray audioBytes(const RecorderFileSpec& spec)
{
    const int bps = bytesPerSample(spec.bitsPerSample);
    const quint64 total = quint64(spec.frames) * spec.channels * bps;
    QByteArray out;
    if (bps == 0 || total == 0 || bps > 4)
        return QByteArray(int(qMin<quint64>(total, 0x7FFFFFF0)), '\0');
    out.resize(int(total));
    char* p = out.data();
    const int shift = bps * 8 - spec.bitsPerSample;   // left-justified in its container
    for (quint32 f = 0; f < spec.frames; ++f) {
        for (quint16 c = 0; c < spec.channels; ++c) {
            const qint32 v = RecorderFileSpec::sampleValue(spec.audioSeed, f, c, spec.bitsPerSample);
            if (bps == 1) {
                *p++ = char(quint8(v + 128));   // 8-bit WAV samples are unsigned
                continue;
            }
            const quint32 u = quint32(v) << shift;
            for (int b = 0; b < bps; ++b)
                *p++ = char((u >> (8 * b)) & 0xFF);
        }
    }
    return out;
}

QByteArray bextBody(const RecorderFileSpec& spec)
{
    QByteArray b;
    QByteArray description = spec.description;
    if (description.isEmpty() && spec.autoDescription) {
        QList<QPair<QByteArray, QByteArray>> lines;
        lines << qMakePair(QByteArray("aSCENE="), spec.ixml.scene.toLocal8Bit())
              << qMakePair(QByteArray("aTAKE="), spec.ixml.take.toLocal8Bit())
              << qMakePair(QByteArray("aTAPE="), spec.ixml.tape.toLocal8Bit())
              << qMakePair(QByteArray("aUBITS="), spec.ixml.ubits.toLocal8Bit());
        const QByteArray speed = RecorderFileSpec::speedText(spec.frameRateCode);
        if (!speed.isEmpty())
            lines << qMakePair(QByteArray("aSPEED="), speed);
        lines << qMakePair(QByteArray("aNOTE="), spec.ixml.note.toLocal8Bit());
        description = RecorderFileWriter::descriptionLines(lines);
    }
    putField(b, description, 256);                 // Description
    putField(b, spec.originator, 32);              // Originator
    putField(b, spec.originatorReference, 32);     // OriginatorReference
    putField(b, spec.originationDate, 10);         // OriginationDate
    putField(b, spec.originationTime, 8);          // OriginationTime
    putU32(b, quint32(spec.timeReference & 0xFFFFFFFFu));   // TimeReferenceLow
    putU32(b, quint32(spec.timeReference >> 32));            // TimeReferenceHigh
    putU16(b, spec.bextVersion);                   // Version
    putField(b, spec.umid, 64);                    // UMID
    b.append(QByteArray(190, '\0'));               // Reserved: 602 bytes so far
    QByteArray history = spec.codingHistory;
    if (history.isEmpty()) {
        history = "A=PCM,F=" + QByteArray::number(spec.sampleRate) + ",W="
                  + QByteArray::number(spec.bitsPerSample) + ",M="
                  + (spec.channels == 1 ? QByteArray("mono") : QByteArray("multi")) + ",T=PAVANE\r\n";
    }
    b.append(history);
    if (quint32(b.size()) < spec.bextDataSize)
        b.append(QByteArray(int(spec.bextDataSize - quint32(b.size())), '\0'));
    return b.left(int(spec.bextDataSize));
}

QByteArray fmtBody(const RecorderFileSpec& spec)
{
    const quint16 blockAlign = quint16(spec.channels * bytesPerSample(spec.bitsPerSample));
    QByteArray b;
    putU16(b, spec.formatTag);
    putU16(b, spec.channels);
    putU32(b, spec.sampleRate);
    putU32(b, spec.sampleRate * blockAlign);
    putU16(b, blockAlign);
    putU16(b, spec.bitsPerSample);
    return b;
}

// film: 1572 data bytes. The start time text holds the first whole second at or
// after the start, and the sample offset is that second in samples minus the
// time reference.
QByteArray filmBody(const RecorderFileSpec& spec)
{
    QByteArray b(1572, '\0');
    const quint64 rate = spec.sampleRate ? spec.sampleRate : 1;
    const quint64 seconds = (spec.timeReference + rate - 1) / rate;
    const quint32 offset = quint32(seconds * rate - spec.timeReference);
    const QByteArray text = QByteArray::number(qulonglong(seconds / 3600 % 100)).rightJustified(2, '0') + ':'
                            + QByteArray::number(qulonglong(seconds / 60 % 60)).rightJustified(2, '0') + ':'
                            + QByteArray::number(qulonglong(seconds % 60)).rightJustified(2, '0');
    // Record offsets minus the 8-byte header.
    b[0] = 1;                                          // record 8: version 1
    b.replace(12 - 8, text.size(), text);              // record 12: start time text
    setU32(b, 60 - 8, offset);                         // record 60: sample offset
    const QByteArray code = spec.frameRateCode.left(9); // record 278: NUL-terminated in 10 bytes
    b.replace(278 - 8, code.size(), code);
    return b;
}

QByteArray ondeBody(const RecorderFileSpec& spec)
{
    QByteArray b;
    putU32(b, spec.sampleRate / 10);   // samples per peak point
    putU32(b, 0);
    if (quint32(b.size()) < spec.ondeSize)
        b.append(QByteArray(int(spec.ondeSize - quint32(b.size())), '\0'));
    return b.left(int(spec.ondeSize));
}

char trackChar(int n)
{
    if (n >= 0 && n <= 9)
        return char('0' + n);
    if (n >= 10 && n <= 35)
        return char('A' + n - 10);
    return '$';
}

QString digits(const QByteArray& text)
{
    QString r;
    for (const char c : text)
        if (c >= '0' && c <= '9')
            r += QLatin1Char(c);
    return r;
}

} // namespace

qint32 RecorderFileSpec::sampleValue(quint32 seed, quint32 frame, quint16 channel, quint16 bits)
{
    if (bits == 0)
        return 0;
    // A 32-bit integer hash (murmur3 finaliser) of the three inputs: every
    // frame differs from its neighbours, so any offset error shows.
    quint32 x = seed * 0x9E3779B1u ^ (frame + 0x7F4A7C15u) * 0x85EBCA6Bu ^ (quint32(channel) + 1u) * 0xC2B2AE35u;
    x ^= x >> 16;
    x *= 0x85EBCA6Bu;
    x ^= x >> 13;
    x *= 0xC2B2AE35u;
    x ^= x >> 16;
    const int b = bits > 32 ? 32 : bits;
    return qint32(x) >> (32 - b);
}

QByteArray RecorderFileSpec::speedText(const QByteArray& code)
{
    if (code == "24.00")
        return "024.000-ND";
    if (code == "25.00")
        return "025.000-ND";
    if (code == "29.97")
        return "029.970-DF";
    if (code == "30.00")
        return "030.000-ND";
    if (code.startsWith("24.DRIF"))
        return "023.976-ND";
    if (code.startsWith("30.DRIF"))
        return "029.970-ND";
    return QByteArray();
}

QByteArray RecorderIxml::toBytes() const
{
    XmlText x;
    x.raw(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"));
    x.open("BWFXML");
    x.leaf("IXML_VERSION", QStringLiteral("2.01"));
    x.leaf("PROJECT", project);
    x.leaf("SCENE", scene);
    x.leaf("TAKE", take);
    if (!takeType.isEmpty())
        x.leaf("TAKE_TYPE", takeType);
    x.leaf("TAPE", tape);
    x.leaf("CIRCLED", circled);
    x.leaf("UBITS", ubits);
    x.leaf("NOTE", note);
    x.leaf("FILE_UID", fileUid);

    writeSpeedAndFileSet(x);
    writeTrackList(x);
    writeSyncPoints(x);
    writeBext(x);
    writeRecorderBlock(x);
    x.close("BWFXML");

    QByteArray bytes = x.text().toUtf8();
    if (bytes.size() < padTo)
        bytes.append(QByteArray(padTo - bytes.size(), ' '));
    return bytes;
}

// Rates and time stamp, the original name, and the file set.
void RecorderIxml::writeSpeedAndFileSet(XmlText& x) const
{
    x.open("SPEED");
    x.leaf("NOTE", QString());
    x.leaf("TIMECODE_FLAG", timecodeFlag);
    x.leaf("TIMECODE_RATE", timecodeRate);
    x.leaf("FILE_SAMPLE_RATE", quint64(sampleRate));
    x.leaf("AUDIO_BIT_DEPTH", quint64(bitDepth));
    x.leaf("DIGITIZER_SAMPLE_RATE", quint64(sampleRate));
    x.leaf("TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_HI", timeReference >> 32);
    x.leaf("TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO", timeReference & 0xFFFFFFFFu);
    x.leaf("TIMESTAMP_SAMPLE_RATE", quint64(sampleRate));
    x.close("SPEED");

    x.open("HISTORY");
    x.leaf("ORIGINAL_FILENAME", originalFileName);
    x.close("HISTORY");

    x.open("FILE_SET");
    x.leaf("TOTAL_FILES", quint64(qMax(totalFiles, 0)));
    x.leaf("FAMILY_UID", fileUid.left(fileUid.size() - 4) + QStringLiteral("0000"));
    x.leaf("FAMILY_NAME", scene + QLatin1Char('/') + take);
    x.leaf("FILE_SET_INDEX", QString::number(channelIndex));
    x.close("FILE_SET");
}

// One TRACK for the mono track, or one per channel of a poly file.
void RecorderIxml::writeTrackList(XmlText& x) const
{
    x.open("TRACK_LIST");
    if (polyTrackNames.isEmpty()) {
        x.leaf("TRACK_COUNT", QString::number(trackCount));
        x.open("TRACK");
        x.leaf("CHANNEL_INDEX", QString::number(channelIndex));
        x.leaf("INTERLEAVE_INDEX", QStringLiteral("1"));
        x.leaf("NAME", trackName);
        x.leaf("FUNCTION", trackFunction);
        x.close("TRACK");
    } else {
        x.leaf("TRACK_COUNT", QString::number(polyTrackNames.size()));
        for (int i = 0; i < polyTrackNames.size(); ++i) {
            x.open("TRACK");
            const int channel = i < polyChannelIndexes.size() ? polyChannelIndexes.at(i) : i + 1;
            x.leaf("CHANNEL_INDEX", QString::number(channel));
            x.leaf("INTERLEAVE_INDEX", QString::number(i + 1));
            x.leaf("NAME", polyTrackNames.at(i));
            x.leaf("FUNCTION", at(polyTrackFunctions, i));
            x.close("TRACK");
        }
    }
    x.close("TRACK_LIST");
}

// The sync points, or an empty list.
void RecorderIxml::writeSyncPoints(XmlText& x) const
{
    if (syncPoints.isEmpty()) {
        x.empty("SYNC_POINT_LIST");
    } else {
        x.open("SYNC_POINT_LIST");
        for (int i = 0; i < syncPoints.size(); ++i) {
            x.open("SYNC_POINT");
            x.leaf("SYNC_POINT_TYPE", QStringLiteral("RELATIVE"));
            x.leaf("SYNC_POINT_FUNCTION", syncPoints.at(i).first);
            x.leaf("SYNC_POINT_COMMENT", at(syncComments, i));
            x.leaf("SYNC_POINT_LOW", quint64(syncPoints.at(i).second));
            x.leaf("SYNC_POINT_HIGH", quint64(0));
            x.close("SYNC_POINT");
        }
        x.close("SYNC_POINT_LIST");
    }
}

// The bext fields, repeated in iXML.
void RecorderIxml::writeBext(XmlText& x) const
{
    x.open("BEXT");
    x.leaf("BWF_DESCRIPTION", QString());
    x.leaf("BWF_ORIGINATOR", bextOriginator);
    x.leaf("BWF_ORIGINATOR_REFERENCE", bextOriginatorReference);
    x.leaf("BWF_ORIGINATION_DATE", bextOriginationDate);
    x.leaf("BWF_ORIGINATION_TIME", bextOriginationTime);
    x.leaf("BWF_TIME_REFERENCE_LOW", timeReference & 0xFFFFFFFFu);
    x.leaf("BWF_TIME_REFERENCE_HIGH", timeReference >> 32);
    x.leaf("BWF_VERSION", quint64(1));
    x.close("BEXT");
}

// The recorder's own block: templates, reference level and the track table.
void RecorderIxml::writeRecorderBlock(XmlText& x) const
{
    x.open("VELTA_PAVANE");
    x.empty("INPUT_SETTINGS");
    if (sctkTemplate >= 0)
        x.leaf("SCTK_TEMPLATE", QString::number(sctkTemplate));
    if (!advancedComposition.isEmpty()) {
        x.open("ADV_TPL");
        x.leaf("COMP", advancedComposition);
        for (const auto& field : advancedFields)
            x.leaf(field.first, field.second);
        x.close("ADV_TPL");
    }
    x.leaf("REF_LEVEL", refLevel);
    x.open("ALL_TRK_NAME");
    for (int i = 0; i < allTrackEntries; ++i) {
        QString name = at(allTrackNames, i);
        QString active = at(allTrackActive, i);
        if (allTrackNames.isEmpty() && i == channelIndex - 1)
            name = trackName;
        if (active.isEmpty())
            active = name.isEmpty() ? QStringLiteral("NO") : QStringLiteral("YES");
        const bool isActive = active == QLatin1String("YES");
        x.open("DATA");
        x.leaf("INDICE", QString::number(i));
        x.leaf("NAME", name);
        x.leaf("ACTIVE", active);
        x.leaf("IN_GRID", at(allTrackInGrid, i, isActive ? QStringLiteral("YES") : QStringLiteral("NO")));
        x.leaf("PAN_POT", at(allTrackPanPot, i, QStringLiteral("0")));
        x.close("DATA");
    }
    x.close("ALL_TRK_NAME");
    x.close("VELTA_PAVANE");
}

QByteArray RecorderFileWriter::descriptionLines(const QList<QPair<QByteArray, QByteArray>>& keyValues)
{
    QByteArray out;
    for (const auto& kv : keyValues)
        out += kv.first + kv.second + "\r\n";
    return out;
}

QByteArray RecorderFileWriter::build(const RecorderFileSpec& spec, QList<RecorderChunkPlace>* places)
{
    if (places)
        places->clear();
    QByteArray out;
    out.append(fourCC(spec.riffId));
    putU32(out, 0);                      // RIFF size, set at the end
    out.append(fourCC(spec.formType));

    for (const ExtraChunk& c : spec.extraBefore)
        appendChunk(out, c.id, c.body, c.declaredSize ? qint64(c.declaredSize) : -1, c.padOddSize, places);

    if (spec.withBext)
        appendChunk(out, "bext", bextBody(spec), -1, false, places);
    if (spec.withFmt)
        appendChunk(out, "fmt ", fmtBody(spec), -1, false, places);
    if (spec.withFilm)
        appendChunk(out, "film", filmBody(spec), -1, false, places);
    if (spec.withVlta)
        appendChunk(out, "vlta", QByteArray(int(spec.vltaSize), '\0'), -1, false, places);

    QByteArray ixml;
    if (spec.withIxml) {
        if (!spec.ixmlRaw.isEmpty()) {
            ixml = spec.ixmlRaw;
        } else {
            RecorderIxml doc = spec.ixml;
            doc.sampleRate = spec.sampleRate;
            doc.bitDepth = spec.bitsPerSample;
            doc.timeReference = spec.timeReference;
            doc.bextOriginator = QString::fromLocal8Bit(spec.originator);
            doc.bextOriginatorReference = QString::fromLocal8Bit(spec.originatorReference);
            doc.bextOriginationDate = QString::fromLocal8Bit(spec.originationDate);
            doc.bextOriginationTime = QString::fromLocal8Bit(spec.originationTime);
            if (doc.fileUid.isEmpty()) {
                doc.fileUid = QStringLiteral("VELPAV") + QString::fromLocal8Bit(spec.originator.mid(7, 5))
                              + digits(spec.originationDate) + digits(spec.originationTime)
                              + QStringLiteral("001")
                              + QString::number(doc.channelIndex).rightJustified(4, QLatin1Char('0'));
            }
            ixml = doc.toBytes();
        }
    }
    if (spec.withIxml && !spec.ixmlLast)
        appendChunk(out, "iXML", ixml, spec.ixmlDeclaredSize ? qint64(spec.ixmlDeclaredSize) : -1, false, places);

    if (spec.withData) {
        appendChunk(out, "data", audioBytes(spec), spec.dataDeclaredSize, false, places);
    }
    if (spec.withOnde) {
        const QByteArray id = QByteArray("ond") + trackChar(spec.ixml.channelIndex);
        appendChunk(out, id, ondeBody(spec), -1, false, places);
    }
    for (const ExtraChunk& c : spec.extraAfter)
        appendChunk(out, c.id, c.body, c.declaredSize ? qint64(c.declaredSize) : -1, c.padOddSize, places);
    if (spec.withIxml && spec.ixmlLast)
        appendChunk(out, "iXML", ixml, spec.ixmlDeclaredSize ? qint64(spec.ixmlDeclaredSize) : -1, false, places);

    setU32(out, 4, spec.riffSizeOverride >= 0 ? quint32(spec.riffSizeOverride) : quint32(out.size() - 8));
    if (spec.truncateTo >= 0 && spec.truncateTo < out.size())
        out.truncate(int(spec.truncateTo));
    return out;
}

bool RecorderFileWriter::write(const QString& path, const RecorderFileSpec& spec, QString* error)
{
    RecorderFileSpec s = spec;
    if (s.ixml.originalFileName.isEmpty())
        s.ixml.originalFileName = QFileInfo(path).fileName();
    const QByteArray bytes = build(s);
    // Fixtures and demo files are written whole or not at all; they do not go
    // through the write seam so that fault-injection tests can still build them.
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("cannot create %1: %2").arg(path, f.errorString());
        return false;
    }
    if (f.write(bytes) != bytes.size() || !f.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

bool RecorderFileWriter::writeRf64Sparse(const QString& path, const RecorderFileSpec& spec, quint64 frames,
                                         quint64 filledFirst, quint32 filledCount, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const quint16 blockAlign = quint16(spec.channels * bytesPerSample(spec.bitsPerSample));
    const quint64 dataBytes = frames * blockAlign;
    QByteArray head;
    head.append("RF64");
    putU32(head, 0xFFFFFFFFu);
    head.append("WAVE");
    QByteArray ds64;   // riff size, data size, sample count (64-bit each), table length
    const int ds64Bytes = 28;
    ds64.fill('\0', ds64Bytes);
    appendChunk(head, "ds64", ds64, -1, false, nullptr);
    const int ds64Body = 12 + 8;
    if (spec.withBext)
        appendChunk(head, "bext", bextBody(spec), -1, false, nullptr);
    appendChunk(head, "fmt ", fmtBody(spec), -1, false, nullptr);
    head.append("data");
    putU32(head, 0xFFFFFFFFu);
    const quint64 dataStart = quint64(head.size());
    const quint64 fileSize = dataStart + dataBytes;
    auto put64 = [&](int at, quint64 v) {
        setU32(head, at, quint32(v & 0xFFFFFFFFu));
        setU32(head, at + 4, quint32(v >> 32));
    };
    put64(ds64Body, fileSize - 8);
    put64(ds64Body + 8, dataBytes);
    put64(ds64Body + 16, frames);

    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(QStringLiteral("cannot create %1: %2").arg(path, f.errorString()));
    if (f.write(head) != head.size())
        return fail(QStringLiteral("cannot write %1").arg(path));
    if (filledCount > 0) {
        // sampleValue of frames counted from the start of the file.
        QByteArray audio;
        audio.reserve(int(filledCount) * blockAlign);
        const int bps = bytesPerSample(spec.bitsPerSample);
        for (quint32 i = 0; i < filledCount; ++i) {
            for (quint16 c = 0; c < spec.channels; ++c) {
                const quint32 u = quint32(RecorderFileSpec::sampleValue(spec.audioSeed, quint32(filledFirst + i), c,
                                                                        spec.bitsPerSample));
                for (int b = 0; b < bps; ++b)
                    audio.append(char((u >> (8 * b)) & 0xFF));
            }
        }
        if (!f.seek(qint64(dataStart + filledFirst * blockAlign)) || f.write(audio) != audio.size())
            return fail(QStringLiteral("cannot write %1").arg(path));
    }
    if (!f.resize(qint64(fileSize)))
        return fail(QStringLiteral("cannot extend %1 to %2 bytes").arg(path).arg(fileSize));
    return true;
}

RecorderFileSpec RecorderFileWriter::monoTrackSpec(const RecorderFileSpec& base, int tracks, int n)
{
    RecorderFileSpec s = base;
    s.channels = 1;
    s.audioSeed = base.audioSeed + quint32(n - 1);
    s.ixml.channelIndex = n;
    s.ixml.totalFiles = tracks;
    s.ixml.trackCount = 1;
    s.ixml.polyTrackNames.clear();
    if (s.ixml.allTrackNames.isEmpty()) {
        for (int i = 0; i < tracks; ++i)
            s.ixml.allTrackNames << QStringLiteral("Trk%1").arg(i + 1);
    }
    s.ixml.trackName = at(s.ixml.allTrackNames, n - 1);
    // The recorder numbers the files of a take in the last character of the
    // originator reference and the last material byte of the UMID.
    if (s.originatorReference.startsWith("VEL")) {
        QByteArray ref = s.originatorReference.leftJustified(32, '0', true);
        ref[31] = char('1' + (n - 1));
        s.originatorReference = ref;
    }
    QByteArray umid = s.umid.leftJustified(64, '\0', true);
    umid[31] = char(n - 1);
    s.umid = umid;
    return s;
}

bool RecorderFileWriter::writeMonoTake(const QString& folder, const QString& root, int tracks,
                                       const RecorderFileSpec& base, QString* error)
{
    for (int n = 1; n <= tracks; ++n) {
        const QString name = root + QStringLiteral("_") + QString::number(n).rightJustified(2, QLatin1Char('0'))
                             + QStringLiteral(".WAV");
        if (!write(QDir(folder).filePath(name), monoTrackSpec(base, tracks, n), error))
            return false;
    }
    return true;
}
