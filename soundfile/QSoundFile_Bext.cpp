// SPDX-License-Identifier: GPL-3.0-or-later
#include "QSoundFile.h"

#include "FileWriteSeam.h"

// The bext Description holds "key=value" lines ended by CR LF. A line ended by
// a bare LF is read the same way (the value stops before the LF) instead of
// losing its last character.

namespace {

const QChar kCR = QLatin1Char('\r');
const QChar kLF = QLatin1Char('\n');

QString descriptionText(const tyBextChunk& bext)
{
    return QString::fromLocal8Bit(bext.Description(), bwf::kBextDescriptionBytes);
}

// The value after the first occurrence of `key` (anywhere in the text), up to
// the end of its line or `limit` characters. A value that runs to the end of
// the field without a line end is not a complete line: empty text.
QString readKey(const tyBextChunk& bext, const char* key, int limit = -1)
{
    const QString d = descriptionText(bext);
    const QString k = QString::fromLatin1(key);
    const int start = d.indexOf(k);
    if (start < 0)
        return QString();
    QString value;
    for (int i = start + k.size(); i < d.size(); ++i) {
        const QChar c = d.at(i);
        if (c == kCR || c == kLF || (limit >= 0 && value.size() >= limit))
            return value;
        value += c;
    }
    return QString();
}

} // namespace

QString QSoundFile::GetBextScene() const { return readKey(m_tBextChunk, "aSCENE="); }
QString QSoundFile::GetBextTake() const { return readKey(m_tBextChunk, "aTAKE=", 6); }
QString QSoundFile::GetBextNote() const { return readKey(m_tBextChunk, "aNOTE="); }
QString QSoundFile::GetBextUbits() const { return readKey(m_tBextChunk, "aUBITS="); }
QString QSoundFile::GetBextTape() const { return readKey(m_tBextChunk, "aTAPE="); }
QString QSoundFile::GetBextTag() const { return readKey(m_tBextChunk, "aTAG="); }
QString QSoundFile::GetBextType() const { return readKey(m_tBextChunk, "aTYP="); }
QString QSoundFile::GetBextSpeed() const { return readKey(m_tBextChunk, "aSPEED="); }

bool QSoundFile::InsertInBextDescrType(const QString& type)
{
    // One character per byte: the field's bytes go back exactly as found (a
    // note in another encoding is not turned into replacement characters that
    // grow past the field and push the type line out), and the length limits
    // below count the bytes the field holds.
    const QString d = QString::fromLatin1(m_tBextChunk.Description(), bwf::kBextDescriptionBytes);
    const QString crlf = QStringLiteral("\r\n");
    QString out;
    QString line;
    // Lines are taken from the first 253 characters only, so that the type
    // line always has room; an unfinished last line is dropped.
    int i = 0;
    while (i < 253 && i < d.size()) {
        const QChar c = d.at(i);
        if (c == kCR || c == kLF) {
            if (!line.contains(QLatin1String("aTYP")))
                out += line + crlf;
            line.clear();
            i += (c == kCR && i + 1 < d.size() && d.at(i + 1) == kLF) ? 2 : 1;
            continue;
        }
        line += c;
        ++i;
    }
    const QString typeField = QString::fromLatin1(type.toLocal8Bit()).leftJustified(5, QLatin1Char(' '), true);
    out += QStringLiteral("aTYP=") + typeField + crlf;
    if (out.size() >= 256) {
        out.truncate(255);
        out[253] = kCR;
        out[254] = kLF;
    }

    char field[bwf::kBextDescriptionBytes] = {};
    const QByteArray bytes = out.toLatin1();
    std::memcpy(field, bytes.constData(), size_t(qMin(bytes.size(), bwf::kBextDescriptionBytes)));

    // Without a bext chunk there is no Description to replace (position 0
    // would be the RIFF header), and a bext chunk shorter than the field would
    // have its neighbour overwritten.
    if (!m_File.isOpen() || !m_File.isWritable() || m_nPosBext == 0 || m_tBextChunk.ChunkSize() < quint32(bwf::kBextDescriptionBytes))
        return false;
    if (!m_File.seek(m_nPosBext))
        return false;
    if (FileWriteSeam::write(m_File, field, bwf::kBextDescriptionBytes) != bwf::kBextDescriptionBytes)
        return false;
    std::memcpy(m_tBextChunk.Description(), field, bwf::kBextDescriptionBytes);
    return true;
}
