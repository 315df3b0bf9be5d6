// SPDX-License-Identifier: GPL-3.0-or-later
// Fixture maker of the insertion benchmark (bench/insertion.sh times the
// command-line tool against dd and sox on what this writes).
//
//   bench_insertion FOLDER TAKE_SECONDS
//
// writes FOLDER/Master/AA0001_01.WAV (48 kHz, 24-bit mono take from 10:00:00)
// and FOLDER/Extra/SOURCE.WAV (starting 120 s after the take and running
// 600 s past its end: the take's start is missing, so both silence and
// copying are measured), and FOLDER/Extra/FLOAT.WAV: the same audio as
// 32-bit float, which a create converts to the take's 24 bits. The audio is streamed: memory stays small whatever
// the length.

#include "RecorderFileWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <cstdio>
#include <vector>

namespace {

constexpr quint32 kRate = 48000;
constexpr quint64 kTakeStart = 10ull * 3600 * kRate;

// Writes `spec` with `frames` frames of pseudo-random 24-bit audio, streamed.
// With `asFloat` the same samples are stored as 32-bit floats (v / 2^23,
// exact), so converting them back gives the 24-bit file's bytes.
bool writeStreamed(const QString& path, RecorderFileSpec spec, quint64 frames, quint32 seed, bool asFloat = false)
{
    spec.frames = 0;
    if (asFloat) {
        spec.formatTag = 3;
        spec.bitsPerSample = 32;
    }
    const int outBytes = asFloat ? 4 : 3;
    QList<RecorderChunkPlace> places;
    QByteArray skeleton = RecorderFileWriter::build(spec, &places);
    quint32 dataEnd = 0;
    for (const RecorderChunkPlace& p : places)
        if (p.id == "data")
            dataEnd = p.offset + 8;
    const quint64 dataBytes = frames * quint64(outBytes);
    if (dataEnd == 0 || skeleton.size() + dataBytes > 0xFFFFFFFFull)
        return false;
    qToLittleEndian<quint32>(quint32(dataBytes), reinterpret_cast<uchar*>(skeleton.data() + dataEnd - 4));
    qToLittleEndian<quint32>(quint32(skeleton.size() + dataBytes - 8), reinterpret_cast<uchar*>(skeleton.data() + 4));

    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (f.write(skeleton.constData(), dataEnd) != dataEnd)
        return false;
    constexpr size_t kBlockFrames = 1024 * 1024;
    std::vector<char> block(kBlockFrames * size_t(outBytes));
    quint32 x = seed | 1u;
    auto nextByte = [&x]() {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return quint8(x);
    };
    quint64 left = frames;
    while (left > 0) {
        const size_t n = size_t(std::min<quint64>(left, kBlockFrames));
        for (size_t i = 0; i < n; ++i) {
            const quint8 b0 = nextByte(), b1 = nextByte(), b2 = nextByte();
            if (!asFloat) {
                block[3 * i] = char(b0);
                block[3 * i + 1] = char(b1);
                block[3 * i + 2] = char(b2);
            } else {
                const qint32 v = qint32((quint32(b0) | (quint32(b1) << 8) | (quint32(b2) << 16)) << 8) >> 8;
                const float fv = float(v) / 8388608.0f;
                qToLittleEndian<float>(fv, reinterpret_cast<uchar*>(block.data() + 4 * i));
            }
        }
        if (f.write(block.data(), qint64(n) * outBytes) != qint64(n) * outBytes)
            return false;
        left -= n;
    }
    const qint64 rest = skeleton.size() - qint64(dataEnd);
    return f.write(skeleton.constData() + dataEnd, rest) == rest;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: bench_insertion FOLDER TAKE_SECONDS\n");
        return 2;
    }
    const QString folder = args.at(1);
    const quint64 seconds = args.at(2).toULongLong();
    if (seconds < 200) {
        std::fprintf(stderr, "TAKE_SECONDS must be at least 200\n");
        return 2;
    }
    QDir().mkpath(folder + QStringLiteral("/Master"));
    QDir().mkpath(folder + QStringLiteral("/Extra"));

    RecorderFileSpec take;
    take.sampleRate = kRate;
    take.bitsPerSample = 24;
    take.timeReference = kTakeStart;
    take.ondeSize = quint32(std::min<quint64>(seconds * 10 + 8, 180008));
    take.ixml.totalFiles = 1;
    if (!writeStreamed(folder + QStringLiteral("/Master/AA0001_01.WAV"), take, seconds * kRate, 1))
        return 1;

    RecorderFileSpec source;
    source.sampleRate = kRate;
    source.bitsPerSample = 24;
    source.timeReference = kTakeStart + 120 * kRate;
    source.withIxml = source.withFilm = source.withVlta = source.withOnde = false;
    if (!writeStreamed(folder + QStringLiteral("/Extra/SOURCE.WAV"), source, (seconds - 120 + 600) * kRate, 2))
        return 1;
    // The same audio as 32-bit float, the small recorders' format: the
    // converting create is timed against the copying one.
    if (!writeStreamed(folder + QStringLiteral("/Extra/FLOAT.WAV"), source, (seconds - 120 + 600) * kRate, 2, true))
        return 1;
    std::printf("copied_seconds=%llu silence_seconds=120\n", static_cast<unsigned long long>(seconds - 120));
    return 0;
}
