// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shorthands shared by the sound file tests: table columns in one line, fixtures described in one line, named values compared
// side by side, and records filled in memory the way a scan would fill them.

#include "QSoundFile.h"
#include "RecorderFileWriter.h"

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

// The recorder's file with what `text` changes, "bits=16;noixml;after=JUNK:1234": flags drop a chunk or put the iXML last;
// numbers take 0x; desc lines are split by '|'; before/after add an ID:body[:declared size] chunk ("...pad": a pad byte after an
// odd body); unknown=N adds N 6-byte chunks after data, unknownpad=N 5-byte ones with pads. Keys it does not know are left to the
// caller.
inline RecorderFileSpec spec(const QString& text, RecorderFileSpec s = RecorderFileSpec())
{
    using S = RecorderFileSpec;
    static const QHash<QString, bool S::*> flags{{"nofmt", &S::withFmt}, {"nodata", &S::withData}, {"nobext", &S::withBext},
                                                 {"nofilm", &S::withFilm}, {"novlta", &S::withVlta}, {"noonde", &S::withOnde},
                                                 {"noixml", &S::withIxml}, {"ixmllast", &S::ixmlLast}};
    static const QHash<QString, QByteArray S::*> bytes{{"riff", &S::riffId}, {"form", &S::formType}, {"film", &S::frameRateCode},
                                                       {"ixml", &S::ixmlRaw}, {"originator", &S::originator},
                                                       {"date", &S::originationDate}, {"time", &S::originationTime}};
    static const QHash<QString, quint32 S::*> u32{{"rate", &S::sampleRate}, {"frames", &S::frames}, {"bextsize", &S::bextDataSize},
                                                  {"ixmlsize", &S::ixmlDeclaredSize}, {"seed", &S::audioSeed}};
    static const QHash<QString, quint16 S::*> u16{{"tag", &S::formatTag}, {"bits", &S::bitsPerSample}, {"channels", &S::channels}};
    static const QHash<QString, qint64 S::*> i64{{"riffsize", &S::riffSizeOverride}, {"datasize", &S::dataDeclaredSize},
                                                 {"truncate", &S::truncateTo}};
    for (const QString& item : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString key = item.section(QLatin1Char('='), 0, 0);
        const QByteArray v = item.section(QLatin1Char('='), 1).toUtf8();
        const quint64 n = v.toULongLong(nullptr, 0);
        const QList<QByteArray> c = v.split(':');
        if (flags.contains(key))
            s.*flags.value(key) = key == QLatin1String("ixmllast");
        else if (bytes.contains(key))
            s.*bytes.value(key) = v;
        else if (u32.contains(key))
            s.*u32.value(key) = quint32(n);
        else if (u16.contains(key))
            s.*u16.value(key) = quint16(n);
        else if (i64.contains(key))
            s.*i64.value(key) = qint64(n);
        if (key == QLatin1String("tr"))
            s.timeReference = n;
        if (key == QLatin1String("desc"))
            s.description = v.isEmpty() ? QByteArray(1, '\0') : QByteArray(v).replace('|', "\r\n") + "\r\n";
        if (key == QLatin1String("channelindex"))
            s.ixml.channelIndex = int(n);
        if (key.startsWith(QLatin1String("before")) || key.startsWith(QLatin1String("after")))
            (key.startsWith(QLatin1String("before")) ? s.extraBefore : s.extraAfter)
                << ExtraChunk{c.value(0), c.value(1), key.endsWith(QLatin1String("pad")), quint32(c.value(2).toULongLong(nullptr, 0))};
        for (quint64 i = 0; key.startsWith(QLatin1String("unknown")) && i < n; ++i)
            s.extraAfter << ExtraChunk{"X" + QByteArray::number(i).rightJustified(3, '0'), QByteArray(key.size() > 7 ? 5 : 6, 'u'),
                                       key.size() > 7, 0};
    }
    return s;
}

// "key=text;key=text" with each text replaced by the answer for its key, so a row names only the values it pins and a failure
// shows them side by side.
inline QString ask(const QString& expected, const std::function<QString(const QString&)>& answer)
{
    QStringList out;
    for (const QString& item : expected.split(QLatin1Char(';')))
        out << item.section(QLatin1Char('='), 0, 0) + QLatin1Char('=') + answer(item.section(QLatin1Char('='), 0, 0));
    return out.join(QLatin1Char(';'));
}
using Queries = QHash<QString, std::function<QVariant()>>;
inline QString ask(const QString& expected, const Queries& q)
{
    return ask(expected, [&](const QString& key) { return q.contains(key) ? q.value(key)().toString() : QStringLiteral("?"); });
}

// fmt (PCM), the bext time reference and the film code ("-": no film chunk) as a scan would leave them.
inline void setRecords(QSoundFile& f, quint32 rate, quint16 channels, quint16 bits, quint64 tr, const QByteArray& film)
{
    f.m_tFmtChunk.SetChunkID("fmt ");
    f.m_tFmtChunk.SetChunkSize(16);
    f.m_tFmtChunk.SetU16(bwf::kFmtFormatTag, 1);
    f.m_tFmtChunk.SetU16(bwf::kFmtChannels, channels);
    f.m_tFmtChunk.SetU32(bwf::kFmtSampleRate, rate);
    f.m_tFmtChunk.SetU16(bwf::kFmtBitsPerSample, bits);
    f.m_tBextChunk.SetChunkID("bext");
    f.m_tBextChunk.SetU32(bwf::kBextTimeReferenceLow, quint32(tr & 0xFFFFFFFFu));
    f.m_tBextChunk.SetU32(bwf::kBextTimeReferenceHigh, quint32(tr >> 32));
    if (film != "-") {
        f.m_tFilmChunk.SetChunkID("film");
        std::memcpy(f.m_tFilmChunk.Data() + bwf::kFilmFrameRateCode, film.leftJustified(bwf::kFilmFrameRateCodeBytes, '\0', true).constData(),
                    size_t(bwf::kFilmFrameRateCodeBytes));
    }
}

} // namespace kit
