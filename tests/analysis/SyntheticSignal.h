// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A noise "scene" heard by microphones with their own filter, paths, clock and noise; each sample from its position alone.

#include "RecorderFileWriter.h"

#include <QDir>
#include <QFile>
#include <QVector>
#include <QtEndian>

#include <cmath>
#include <vector>

namespace synth {

// Deterministic white noise in [-1, 1) at integer position k.
inline float white(quint64 seed, qint64 k)
{
    quint64 z = seed * 0x9E3779B97F4A7C15ull + quint64(k) * 0xBF58476D1CE4E5B9ull + 0x94D049BB133111EBull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return float(double(z >> 40) / double(1ull << 23) - 1.0);
}

struct Path { double delay = 0; double gain = 1; };   // delay in samples; > 0: heard later

struct Mic
{
    double cutoff = 1.0;            // low-pass of the microphone, fraction of Nyquist (1 = none)
    QVector<Path> paths{Path{}};
    double ppm = 0;                 // clock error: the delay grows by ppm * 1e-6 per sample
    double snrDb = 1000;            // independent noise below the scene
    quint64 noiseSeed = 99;         // never the same sequence as a scene of the same seed
    double level = 0.25;            // scene gain (keeps 0 dB SNR mixes inside full scale)
    int bits = 0;                   // > 0: quantised to this depth
};

inline Mic mic(double cutoff, QVector<Path> paths, double snrDb, quint64 noiseSeed, int bits = 0)
{
    return Mic{cutoff, std::move(paths), Mic().ppm, snrDb, noiseSeed, Mic().level, bits};
}

// One microphone's track of the scene `sceneSeed` (sceneSeed 0: the scene is silent).
class Track
{
public:
    static constexpr int kHalf = 16;     // taps each side of the windowed-sinc low-pass
    static constexpr int kPhases = 256;  // table steps per sample: read at any fractional position

    Track(quint64 sceneSeed, const Mic& mic) : m_scene(sceneSeed), m_mic(mic)
    {
        const double c = mic.cutoff;
        for (int i = 0; c < 1.0 && i < 2 * kHalf * kPhases + 2; ++i) {
            const double x = double(i) / kPhases - kHalf;
            const double w = 0.42 + 0.5 * std::cos(M_PI * x / kHalf) + 0.08 * std::cos(2 * M_PI * x / kHalf);
            m_kernel.push_back(float((x == 0 ? c : std::sin(M_PI * c * x) / (M_PI * x)) * w));
        }
        // Scene power is cutoff/3 (uniform noise through a low-pass of unit gain).
        const double scenePower = (c < 1.0 ? c : 1.0) / 3.0;
        m_noiseGain = float(std::sqrt(scenePower * 3.0 * std::pow(10.0, -mic.snrDb / 10.0)));
    }

    void render(qint64 start, qint64 count, float* out) const
    {
        std::fill(out, out + count, 0.0f);
        for (const Path& p : m_mic.paths) {
            if (m_scene == 0 || count <= 0)
                break;
            const auto timeOf = [&](qint64 n) { return double(n) - p.delay - m_mic.ppm * 1e-6 * double(n); };
            const double t0 = timeOf(start), t1 = timeOf(start + count - 1);
            const qint64 first = qint64(std::floor(qMin(t0, t1))) - kHalf - 1;
            std::vector<float> w(size_t(qint64(std::floor(qMax(t0, t1))) + kHalf + 3 - first));
            for (size_t k = 0; k < w.size(); ++k)
                w[k] = white(m_scene, first + qint64(k));
            for (qint64 i = 0; i < count; ++i) {
                const double t = timeOf(start + i);
                out[i] += float(p.gain) * (m_kernel.empty() ? w[size_t(std::llround(t) - first)] : filtered(w, first, t));
            }
        }
        const double full = m_mic.bits > 0 ? double(1 << (m_mic.bits - 1)) : 0;
        for (qint64 i = 0; i < count; ++i) {
            double v = m_mic.level * (double(out[i]) + m_noiseGain * white(~m_mic.noiseSeed, start + i));
            if (full > 0)
                v = std::round(v * full) / full;
            out[i] = float(qBound(-1.0, v, 1.0 - 1.0 / 8388608.0));
        }
    }

private:
    // sum_k w[k] * h(t - k), with w[k - first] = white(scene, k).
    float filtered(const std::vector<float>& w, qint64 first, double t) const
    {
        const qint64 base = qint64(std::floor(t));
        double acc = 0;
        for (int j = -kHalf + 1; j <= kHalf; ++j) {
            const double pos = (t - double(base) - j + kHalf) * kPhases;   // t - (base + j), shifted into the table
            const size_t i = size_t(pos);
            const float f = float(pos - double(i));
            acc += double(m_kernel[i] + f * (m_kernel[i + 1] - m_kernel[i])) * w[size_t(base + j - first)];
        }
        return float(acc);
    }

    quint64 m_scene;
    Mic m_mic;
    std::vector<float> m_kernel;   // empty: no filtering, the noise itself
    float m_noiseGain = 0;
};

// Writes a mono track file of `track`'s samples, streaming: the recorder's header chunks (data last), then the samples.
inline bool writeTrackFile(const QString& path, RecorderFileSpec spec, const Track& track, qint64 frames,
                           QString* error = nullptr)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (spec.ixml.originalFileName.isEmpty())
        spec.ixml.originalFileName = path.section(QLatin1Char('/'), -1);
    spec.frames = 0;
    spec.withOnde = spec.ixmlLast = false;
    spec.extraAfter.clear();
    QByteArray head = RecorderFileWriter::build(spec);
    const int bytes = spec.bitsPerSample / 8;
    const qint64 dataBytes = frames * bytes;
    if (!head.endsWith(QByteArray("data", 4) + QByteArray(4, '\0')) || head.size() + dataBytes > 0xFFFFFFFFll)
        return fail(QStringLiteral("unexpected layout"));
    qToLittleEndian<quint32>(quint32(dataBytes), reinterpret_cast<uchar*>(head.data()) + head.size() - 4);
    qToLittleEndian<quint32>(quint32(head.size() + dataBytes - 8), reinterpret_cast<uchar*>(head.data()) + 4);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(head) != head.size())
        return fail(f.errorString());
    const qint64 block = 1 << 16;
    std::vector<float> samples(static_cast<size_t>(block));
    QByteArray out(int(block * bytes), '\0');
    const double full = double(1u << (spec.bitsPerSample - 1));
    for (qint64 at = 0; at < frames; at += block) {
        const qint64 n = qMin(block, frames - at);
        track.render(at, n, samples.data());
        auto* p = reinterpret_cast<uchar*>(out.data());
        for (qint64 i = 0; i < n; ++i) {
            const qint64 v = qBound<qint64>(qint64(-full), std::llround(double(samples[size_t(i)]) * full), qint64(full) - 1);
            for (int b = 0; b < bytes; ++b)
                *p++ = uchar((quint64(v) >> (8 * b)) & 0xFF);
        }
        if (f.write(out.constData(), n * bytes) != n * bytes)
            return fail(f.errorString());
    }
    return true;
}

// A mono take root_01.WAV ... whose track n plays tracks[n - 1].
inline bool writeTake(const QString& folder, const QString& root, const RecorderFileSpec& base,
                      const QVector<Track>& tracks, qint64 frames, QString* error = nullptr)
{
    for (int n = 1; n <= tracks.size(); ++n) {
        const QString name = root + QStringLiteral("_%1.WAV").arg(n, 2, 10, QLatin1Char('0'));
        if (!writeTrackFile(QDir(folder).filePath(name), RecorderFileWriter::monoTrackSpec(base, tracks.size(), n),
                            tracks.at(n - 1), frames, error))
            return false;
    }
    return true;
}

} // namespace synth
