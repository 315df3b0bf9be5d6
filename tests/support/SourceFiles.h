// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Sources as other recorders write them, made at test time by sox and ffmpeg
// (nothing binary is committed), and an independent look at them: a RIFF /
// RF64 walk and the expected conversion of every sample, written here again
// from the rules rather than shared with the code under test.

#include "TestSupport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <vector>

namespace sources {

// What a generated file holds, read without our reader.
struct RawWav
{
    QByteArray container;
    quint16 tag = 0;             // format tag, or the subformat code when extensible
    bool extensible = false;
    quint16 channels = 0;
    quint32 rate = 0;
    quint16 bits = 0;
    qint64 dataOffset = -1;
    quint64 dataSize = 0;
    QByteArray data;             // the data chunk's bytes (small files only)
};

inline quint64 le(const QByteArray& b, qint64 at, int bytes)
{
    quint64 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | quint8(b.at(int(at + i)));
    return v;
}

// Walks a whole small file held in memory. RIFF pads odd chunks; RF64 data
// sizes of 0xFFFFFFFF come from ds64.
inline RawWav parseWav(const QByteArray& file)
{
    RawWav w;
    if (file.size() < 12)
        return w;
    w.container = file.left(4);
    quint64 ds64Data = 0;
    qint64 pos = 12;
    while (pos + 8 <= file.size()) {
        const QByteArray id = file.mid(int(pos), 4);
        quint64 size = le(file, pos + 4, 4);
        if (id == "ds64")
            ds64Data = le(file, pos + 8 + 8, 8);
        if (id == "fmt ") {
            w.tag = quint16(le(file, pos + 8, 2));
            w.channels = quint16(le(file, pos + 10, 2));
            w.rate = quint32(le(file, pos + 12, 4));
            w.bits = quint16(le(file, pos + 22, 2));
            if (w.tag == 0xFFFE) {
                w.extensible = true;
                w.tag = quint16(le(file, pos + 8 + 24, 2));
            }
        }
        if (id == "data") {
            if (size == 0xFFFFFFFFull && w.container != "RIFF")
                size = ds64Data;
            w.dataOffset = pos + 8;
            w.dataSize = size;
            w.data = file.mid(int(pos + 8), int(size));
        }
        pos += 8 + qint64(size) + qint64(size & 1);
    }
    return w;
}

// Sample `i` of channel `ch` as the file stores it: an integer (8-bit made
// signed) or a float value.
inline double sampleAt(const RawWav& w, quint64 frame, int ch, bool* isFloat)
{
    const int b = w.bits / 8;
    const qint64 at = qint64(frame * quint64(w.channels) + quint64(ch)) * b;
    *isFloat = w.tag == 3;
    if (w.tag == 3) {
        if (b == 4) {
            const quint32 u = quint32(le(w.data, at, 4));
            float f;
            std::memcpy(&f, &u, 4);
            return double(f);
        }
        const quint64 u = le(w.data, at, 8);
        double d;
        std::memcpy(&d, &u, 8);
        return d;
    }
    const quint64 u = le(w.data, at, b);
    if (b == 1)
        return double(qint64(u) - 128);
    const quint64 sign = quint64(1) << (8 * b - 1);
    return double(qint64(u ^ sign) - qint64(sign));
}

struct Expected
{
    qint64 value = 0;
    bool clipped = false;
    bool nonFinite = false;
};

// The conversion rules, computed with llround (nearest, halves away from zero).
inline Expected expectedSample(double v, bool isFloat, int sourceBits, int targetBits)
{
    Expected e;
    const qint64 lo = -(qint64(1) << (targetBits - 1));
    const qint64 hi = (qint64(1) << (targetBits - 1)) - 1;
    qint64 r;
    if (isFloat) {
        if (!std::isfinite(v)) {
            e.nonFinite = true;
            return e;
        }
        r = std::llround(std::ldexp(v, targetBits - 1));
        // llround of a value far out of range is unspecified: clip by sign.
        if (std::fabs(std::ldexp(v, targetBits - 1)) > 9.0e18)
            r = v > 0 ? hi + 1 : lo - 1;
    } else if (targetBits >= sourceBits) {
        r = qint64(v) * (qint64(1) << (targetBits - sourceBits));
    } else {
        r = std::llround(std::ldexp(v, targetBits - sourceBits));
    }
    if (r > hi) {
        e.value = hi;
        e.clipped = true;
    } else if (r < lo) {
        e.value = lo;
        e.clipped = true;
    } else {
        e.value = r;
    }
    return e;
}

inline void appendSample(QByteArray& out, qint64 v, int bits)
{
    const quint64 u = bits == 8 ? quint64(v + 128) : quint64(v);
    for (int k = 0; k < bits / 8; ++k)
        out.append(char((u >> (8 * k)) & 0xFF));
}

// A bext chunk holding only a time reference, put right after the RIFF header
// (sox writes none). The RIFF size grows by its size.
inline QByteArray withBext(const QByteArray& wav, quint64 timeReference)
{
    QByteArray bext(602, '\0');
    for (int k = 0; k < 8; ++k)
        bext[338 + k] = char((timeReference >> (8 * k)) & 0xFF);
    QByteArray chunk("bext");
    for (int k = 0; k < 4; ++k)
        chunk.append(char((quint32(bext.size()) >> (8 * k)) & 0xFF));
    chunk += bext;
    QByteArray out = wav.left(12) + chunk + wav.mid(12);
    const quint32 riff = quint32(le(wav, 4, 4));
    if (riff != 0xFFFFFFFFu)
        qToLittleEndian<quint32>(riff + quint32(chunk.size()), reinterpret_cast<uchar*>(out.data() + 4));
    return out;
}

inline bool haveTools() { return testsupport::haveTool(QStringLiteral("sox")) && testsupport::haveTool(QStringLiteral("ffmpeg")); }

// Runs "sox ARGS" or "ffmpeg ARGS"; `args` is split at spaces, with %OUT
// replaced by `out`. True when the tool wrote the file.
inline bool runTool(const QString& command, const QString& out, QString* error = nullptr)
{
    QStringList args = command.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString tool = args.takeFirst();
    for (QString& a : args)
        a.replace(QLatin1String("%OUT"), out);
    if (tool == QLatin1String("ffmpeg"))
        args = QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                           QStringLiteral("-y")} + args;
    const testsupport::ProcessResult r = testsupport::run(tool, args);
    if (error)
        *error = QString::fromUtf8(r.err);
    return r.started && r.exitCode == 0;
}

} // namespace sources
