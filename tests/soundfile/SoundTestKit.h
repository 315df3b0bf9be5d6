// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shorthands shared by the sound file tests: table columns in one line, and
// records filled in memory the way a scan would fill them.

#include "QSoundFile.h"

#include <QtTest>

#include <cstring>
#include <functional>

namespace kit {

// columns<QString, int>("name", "count") adds both columns in order.
template <typename... T, typename... N>
void columns(N... names)
{
    (QTest::addColumn<T>(names), ...);
}

inline QStringList split(const QString& text) { return text.split(QLatin1Char('|')); }

// "key=text;key=text" with each text replaced by the answer for its key, so a
// row names only the values it pins and a failure shows them side by side.
inline QString ask(const QString& expected, const std::function<QString(const QString&)>& answer)
{
    QStringList out;
    for (const QString& item : expected.split(QLatin1Char(';'))) {
        const QString key = item.section(QLatin1Char('='), 0, 0);
        out << key + QLatin1Char('=') + answer(key);
    }
    return out.join(QLatin1Char(';'));
}
using Queries = QHash<QString, std::function<QVariant()>>;
inline QString ask(const QString& expected, const Queries& queries)
{
    return ask(expected, [&](const QString& key) {
        return queries.contains(key) ? queries.value(key)().toString() : QStringLiteral("<no such query>");
    });
}

inline void setFormat(QSoundFile& f, quint32 rate, quint16 channels, quint16 bits)
{
    f.m_tFmtChunk.SetChunkID("fmt ");
    f.m_tFmtChunk.SetChunkSize(16);
    f.m_tFmtChunk.SetU16(bwf::kFmtFormatTag, 1);
    f.m_tFmtChunk.SetU16(bwf::kFmtChannels, channels);
    f.m_tFmtChunk.SetU32(bwf::kFmtSampleRate, rate);
    f.m_tFmtChunk.SetU16(bwf::kFmtBitsPerSample, bits);
}

// "-" leaves the file without a film chunk.
inline void setFilmCode(QSoundFile& f, const QByteArray& code)
{
    if (code == "-")
        return;
    f.m_tFilmChunk.SetChunkID("film");
    std::memset(f.m_tFilmChunk.Data() + bwf::kFilmFrameRateCode, 0, bwf::kFilmFrameRateCodeBytes);
    std::memcpy(f.m_tFilmChunk.Data() + bwf::kFilmFrameRateCode, code.constData(),
                size_t(qMin(code.size(), bwf::kFilmFrameRateCodeBytes)));
}

inline void setBextBytes(QSoundFile& f, int offset, const QByteArray& bytes, int field)
{
    f.m_tBextChunk.SetChunkID("bext");
    std::memset(f.m_tBextChunk.Data() + offset, 0, size_t(field));
    std::memcpy(f.m_tBextChunk.Data() + offset, bytes.constData(), size_t(qMin(bytes.size(), field)));
}

inline void setTimeReference(QSoundFile& f, quint64 tr)
{
    f.m_tBextChunk.SetChunkID("bext");
    f.m_tBextChunk.SetU32(bwf::kBextTimeReferenceLow, quint32(tr & 0xFFFFFFFFu));
    f.m_tBextChunk.SetU32(bwf::kBextTimeReferenceHigh, quint32(tr >> 32));
}

} // namespace kit
