// SPDX-License-Identifier: GPL-3.0-or-later
#include "SourceSampleReader.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace {

// Frames converted per pass of the float fast path (its int32 scratch).
constexpr qint64 kScratchFrames = 4096;

// Little-endian signed integer of `bytes` bytes; 8-bit WAV is unsigned.
inline qint64 decodeInt(const unsigned char* p, int bytes)
{
    switch (bytes) {
    case 1: return qint64(p[0]) - 128;
    case 2: return qint16(quint16(p[0] | (p[1] << 8)));
    case 3: return qint32((quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16)) << 8) >> 8;
    default: return qint32(quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24));
    }
}

inline double decodeFloat(const char* p, int bytes)
{
    if (bytes == 4) {
        float f;
        std::memcpy(&f, p, 4);
        return double(f);
    }
    double d;
    std::memcpy(&d, p, 8);
    return d;
}

// v is within the target's range.
inline void encodeInt(qint64 v, unsigned char* out, int bytes)
{
    if (bytes == 1) {
        out[0] = static_cast<unsigned char>(v + 128);
        return;
    }
    const quint32 u = quint32(qint32(v));
    for (int k = 0; k < bytes; ++k)
        out[k] = static_cast<unsigned char>(u >> (8 * k));
}

// Nearest integer, halves away from zero, exact for every double: the
// fraction x - trunc(x) is computed without rounding.
inline double roundHalfAway(double x)
{
    const double t = std::trunc(x);
    const double r = x - t;
    if (r >= 0.5)
        return t + 1.0;
    if (r <= -0.5)
        return t - 1.0;
    return t;
}

} // namespace

QString SampleConverter::CannotConvert(const SourceFormat& source, const TargetSampleFormat& target)
{
    const QString reason = source.unsupportedReason();
    if (!reason.isEmpty())
        return reason;
    const bool same = (source.encoding == SampleEncoding::Float) == target.isFloat
                      && source.bitsPerSample == target.bits;
    if (same)
        return QString();
    if (target.isFloat)
        return QStringLiteral("The take stores %1-bit float samples: only a source in that same format can be used.")
            .arg(target.bits);
    if (target.bits != 8 && target.bits != 16 && target.bits != 24 && target.bits != 32)
        return QStringLiteral("The take stores %1-bit samples: conversion to that width is not supported.")
            .arg(target.bits);
    return QString();
}

SampleConverter::SampleConverter(const SourceFormat& source, const TargetSampleFormat& target,
                                 const ConversionOptions& options)
    : m_sourceEncoding(source.encoding),
      m_sourceBytes(source.bitsPerSample / 8),
      m_sourceChannels(std::max<int>(1, source.channels)),
      m_sourceFrameBytes(source.blockAlign),
      m_channelOffset(std::clamp(options.channel, 0, std::max<int>(1, source.channels) - 1) * (source.bitsPerSample / 8)),
      m_targetBits(target.bits),
      m_targetBytes(target.bits / 8),
      m_dither(options.dither),
      m_rng(options.ditherSeed ? options.ditherSeed : 0x9E3779B97F4A7C15ull)
{
    const bool same = (source.encoding == SampleEncoding::Float) == target.isFloat
                      && source.bitsPerSample == target.bits;
    if (same)
        m_mode = Mode::Copy;
    else if (source.encoding == SampleEncoding::Float)
        m_mode = Mode::FloatToInt;
    else if (source.bitsPerSample < target.bits)
        m_mode = Mode::IntWiden;
    else
        m_mode = Mode::IntNarrow;
}

// splitmix64: small, fast, and the same sequence for the same seed everywhere.
double SampleConverter::tpdf()
{
    auto next = [this]() {
        quint64 z = (m_rng += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return double(z >> 11) * (1.0 / 9007199254740992.0);   // [0, 1)
    };
    const double a = next();
    const double b = next();
    return a + b - 1.0;   // triangular over (-1, 1) LSB
}

void SampleConverter::Convert(const char* in, qint64 frames, char* out)
{
    if (frames <= 0)
        return;
    if (m_mode == Mode::Copy) {
        if (m_sourceChannels == 1) {
            std::memcpy(out, in, size_t(frames) * size_t(m_targetBytes));
        } else {
            const char* p = in + m_channelOffset;
            for (qint64 i = 0; i < frames; ++i)
                std::memcpy(out + i * m_targetBytes, p + i * m_sourceFrameBytes, size_t(m_targetBytes));
        }
        m_position += frames;
        return;
    }
    if (m_mode == Mode::FloatToInt && m_sourceBytes == 4 && m_targetBits > 8 && m_targetBits <= 24
        && m_dither == DitherKind::None) {
        convertFloat32Fast(in, frames, out);
        return;
    }
    convertGeneric(in, frames, out);
}

void SampleConverter::convertGeneric(const char* in, qint64 frames, char* out)
{
    const qint64 lo = -(qint64(1) << (m_targetBits - 1));
    const qint64 hi = (qint64(1) << (m_targetBits - 1)) - 1;
    const bool dither = m_dither == DitherKind::Tpdf && LosesPrecision();
    const int shift = std::abs(m_sourceBytes * 8 - m_targetBits);
    const qint64 half = shift > 0 ? (qint64(1) << (shift - 1)) : 0;
    const double scale = std::ldexp(1.0, m_targetBits - 1);
    const double narrowScale = std::ldexp(1.0, -shift);
    auto* o = reinterpret_cast<unsigned char*>(out);
    const char* p = in + m_channelOffset;

    for (qint64 i = 0; i < frames; ++i, p += m_sourceFrameBytes, o += m_targetBytes) {
        qint64 v = 0;
        bool clipped = false;
        if (m_mode == Mode::FloatToInt) {
            const double f = decodeFloat(p, m_sourceBytes);
            if (!std::isfinite(f)) {
                ++m_counts.nonFinite;
                if (m_counts.firstNonFinite < 0)
                    m_counts.firstNonFinite = m_position + i;
                encodeInt(0, o, m_targetBytes);
                continue;
            }
            double x = f * scale;   // exact: a power of two
            if (dither)
                x += tpdf();
            x = roundHalfAway(x);
            if (x > double(hi)) {
                v = hi;
                clipped = true;
            } else if (x < double(lo)) {
                v = lo;
                clipped = true;
            } else {
                v = qint64(x);
            }
        } else {
            const qint64 s = decodeInt(reinterpret_cast<const unsigned char*>(p), m_sourceBytes);
            if (m_mode == Mode::IntWiden) {
                v = s * (qint64(1) << shift);
            } else if (dither) {
                const double x = roundHalfAway(double(s) * narrowScale + tpdf());
                v = qint64(x);
            } else {
                v = s >= 0 ? (s + half) >> shift : -((-s + half) >> shift);
            }
            if (v > hi) {
                v = hi;
                clipped = true;
            } else if (v < lo) {
                v = lo;
                clipped = true;
            }
        }
        if (clipped) {
            ++m_counts.clipped;
            if (m_counts.firstClipped < 0)
                m_counts.firstClipped = m_position + i;
        }
        encodeInt(v, o, m_targetBytes);
    }
    m_position += frames;
}

namespace {

// One run of 32-bit floats (`stride` bytes apart) to n-bit integers, n <= 24,
// without dither. In float the product by 2^(n-1) is exact and, once clamped
// to the int32 range, so is the fraction x - trunc(x): the rounding is the
// generic path's. Written branch-free so the compiler vectorizes it; the
// counts come back through the two accumulators.
template <int Stride>
inline void floatRunToInt(const char* p, size_t stride, qint64 n, int bits, qint32* out, quint32* clips, quint32* bad)
{
    const qint32 lo = -(qint32(1) << (bits - 1));
    const qint32 hi = (qint32(1) << (bits - 1)) - 1;
    const float scale = float(qint32(1) << (bits - 1));
    const float clampLo = float(lo) - 1.0f;   // exact for n <= 24
    const float clampHi = float(hi) + 1.0f;
    const size_t step = Stride > 0 ? size_t(Stride) : stride;
    quint32 c = 0;
    quint32 nf = 0;
    for (qint64 i = 0; i < n; ++i) {
        float f;
        std::memcpy(&f, p + size_t(i) * step, 4);
        // NaN compares false: it counts as not finite, like the infinities.
        const bool finite = std::fabs(f) <= FLT_MAX;
        float x = f * scale;
        x = finite ? x : 0.0f;
        x = x < clampLo ? clampLo : x;
        x = x > clampHi ? clampHi : x;
        qint32 v = qint32(x);                          // truncates
        const float r = x - float(v);
        v += qint32(r >= 0.5f) - qint32(r <= -0.5f);
        // Bitwise, not short-circuit: the loop stays free of branches.
        c += quint32(v > hi) + quint32(v < lo);
        v = v > hi ? hi : v;
        v = v < lo ? lo : v;
        out[i] = v;
        nf += quint32(!finite);
    }
    *clips += c;
    *bad += nf;
}

void floatRunMono(const char* p, size_t, qint64 n, int bits, qint32* out, quint32* clips, quint32* bad)
{
    floatRunToInt<4>(p, 4, n, bits, out, clips, bad);
}

#if defined(__x86_64__) && defined(__GNUC__)
// Built for AVX2 as well and picked at run time with a plain branch (as the
// engine's peak loop), so sanitizer and fuzzing builds load it safely.
__attribute__((target("avx2"))) void floatRunMonoAvx2(const char* p, size_t, qint64 n, int bits, qint32* out,
                                                        quint32* clips, quint32* bad)
{
    floatRunToInt<4>(p, 4, n, bits, out, clips, bad);
}
#endif

void floatRunStrided(const char* p, size_t stride, qint64 n, int bits, qint32* out, quint32* clips, quint32* bad)
{
    floatRunToInt<0>(p, stride, n, bits, out, clips, bad);
}

#if defined(__x86_64__) && defined(__GNUC__)
// Mono 32-bit float straight to packed 16- or 24-bit samples, eight at a time:
// the same arithmetic as floatRunToInt in AVX2 registers, and the packing
// done by byte shuffles instead of a second pass. Stores of 16 bytes may
// reach up to 4 bytes into the next group's place, which that group then
// overwrites; the last groups go through the scalar code so nothing is
// written past the run.
__attribute__((target("avx2"))) void floatMonoPackedAvx2(const char* p, qint64 n, unsigned char* o, int bits,
                                                           quint32* clips, quint32* bad)
{
    const qint32 lo = -(qint32(1) << (bits - 1));
    const qint32 hi = (qint32(1) << (bits - 1)) - 1;
    const __m256 scale = _mm256_set1_ps(float(qint32(1) << (bits - 1)));
    const __m256 absMask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
    const __m256 fltMax = _mm256_set1_ps(FLT_MAX);
    const __m256 clampLo = _mm256_set1_ps(float(lo) - 1.0f);
    const __m256 clampHi = _mm256_set1_ps(float(hi) + 1.0f);
    const __m256 half = _mm256_set1_ps(0.5f);
    const __m256 minusHalf = _mm256_set1_ps(-0.5f);
    const __m256i vhi = _mm256_set1_epi32(hi);
    const __m256i vlo = _mm256_set1_epi32(lo);
    const __m128i pack24 = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const int outBytes = bits / 8;
    quint32 c = 0;
    quint32 nf = 0;
    qint64 i = 0;
    for (; i + 16 <= n; i += 8) {
        const __m256 f = _mm256_loadu_ps(reinterpret_cast<const float*>(p + 4 * i));
        const __m256 finite = _mm256_cmp_ps(_mm256_and_ps(f, absMask), fltMax, _CMP_LE_OQ);   // NaN: false
        __m256 x = _mm256_and_ps(_mm256_mul_ps(f, scale), finite);                              // not finite: 0
        x = _mm256_min_ps(_mm256_max_ps(x, clampLo), clampHi);
        __m256i v = _mm256_cvttps_epi32(x);
        const __m256 r = _mm256_sub_ps(x, _mm256_cvtepi32_ps(v));
        v = _mm256_sub_epi32(v, _mm256_castps_si256(_mm256_cmp_ps(r, half, _CMP_GE_OQ)));       // mask is -1
        v = _mm256_add_epi32(v, _mm256_castps_si256(_mm256_cmp_ps(r, minusHalf, _CMP_LE_OQ)));
        const __m256i out = _mm256_or_si256(_mm256_cmpgt_epi32(v, vhi), _mm256_cmpgt_epi32(vlo, v));
        c += quint32(__builtin_popcount(unsigned(_mm256_movemask_ps(_mm256_castsi256_ps(out)))));
        nf += quint32(__builtin_popcount(~unsigned(_mm256_movemask_ps(finite)) & 0xFFu));
        v = _mm256_max_epi32(_mm256_min_epi32(v, vhi), vlo);
        const __m128i a = _mm256_castsi256_si128(v);
        const __m128i b = _mm256_extracti128_si256(v, 1);
        unsigned char* dst = o + outBytes * i;
        if (outBytes == 3) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_shuffle_epi8(a, pack24));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 12), _mm_shuffle_epi8(b, pack24));
        } else {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_packs_epi32(a, b));
        }
    }
    if (i < n) {
        qint32 tail[16];   // fewer than 16 are left
        const size_t left = size_t(n - i);
        floatRunToInt<4>(p + 4 * i, 4, n - i, bits, tail, &c, &nf);
        for (size_t k = 0; k < left; ++k) {
            const quint32 u = quint32(tail[k]);
            for (int b = 0; b < outBytes; ++b)
                o[outBytes * (i + qint64(k)) + b] = static_cast<unsigned char>(u >> (8 * b));
        }
    }
    *clips += c;
    *bad += nf;
}

std::atomic<bool> g_avx2Allowed{true};

bool haveAvx2()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 && g_avx2Allowed.load(std::memory_order_relaxed);
}
#endif

using FloatRun = void (*)(const char*, size_t, qint64, int, qint32*, quint32*, quint32*);

FloatRun pickFloatRun(size_t stride)
{
    if (stride != 4)
        return floatRunStrided;
#if defined(__x86_64__) && defined(__GNUC__)
    if (haveAvx2())
        return floatRunMonoAvx2;
#endif
    return floatRunMono;
}

} // namespace

void SampleConverter::SetAvx2ForTests(bool allowed)
{
#if defined(__x86_64__) && defined(__GNUC__)
    g_avx2Allowed.store(allowed, std::memory_order_relaxed);
#else
    Q_UNUSED(allowed);
#endif
}

// 32-bit float to 16 or 24 bits without dither: the common case of the small
// recorders.
void SampleConverter::convertFloat32Fast(const char* in, qint64 frames, char* out)
{
    const qint32 lo = -(qint32(1) << (m_targetBits - 1));
    const qint32 hi = (qint32(1) << (m_targetBits - 1)) - 1;
    const double scale = std::ldexp(1.0, m_targetBits - 1);
    if (m_scratch.size() < size_t(kScratchFrames))
        m_scratch.resize(size_t(kScratchFrames));
    qint32* s = m_scratch.data();
    const size_t stride = size_t(m_sourceFrameBytes);
    const FloatRun run = pickFloatRun(stride);
    auto* o = reinterpret_cast<unsigned char*>(out);

    for (qint64 done = 0; done < frames;) {
        const qint64 n = std::min(kScratchFrames, frames - done);
        const char* p = in + m_channelOffset + size_t(done) * stride;
        quint32 clips = 0;
        quint32 bad = 0;
        bool packed = false;
#if defined(__x86_64__) && defined(__GNUC__)
        if (stride == 4 && haveAvx2()) {
            floatMonoPackedAvx2(p, n, o, m_targetBits, &clips, &bad);
            packed = true;
        }
#endif
        if (!packed)
            run(p, stride, n, m_targetBits, s, &clips, &bad);
        // Rare: look for the first position only in the run that has one.
        if (clips && m_counts.firstClipped < 0) {
            for (qint64 i = 0; i < n; ++i) {
                float f;
                std::memcpy(&f, p + size_t(i) * stride, 4);
                if (std::isfinite(f)) {
                    const double x = roundHalfAway(double(f) * scale);
                    if (x > double(hi) || x < double(lo)) {
                        m_counts.firstClipped = m_position + done + i;
                        break;
                    }
                }
            }
        }
        if (bad && m_counts.firstNonFinite < 0) {
            for (qint64 i = 0; i < n; ++i) {
                float f;
                std::memcpy(&f, p + size_t(i) * stride, 4);
                if (!std::isfinite(f)) {
                    m_counts.firstNonFinite = m_position + done + i;
                    break;
                }
            }
        }
        m_counts.clipped += clips;
        m_counts.nonFinite += bad;
        if (packed) {
            // already written
        } else if (m_targetBytes == 3) {
            // Four-byte little-endian stores that overlap: each one's top
            // byte is overwritten by the next sample; the last is stored
            // byte by byte so nothing is written past the run.
            for (qint64 i = 0; i + 1 < n; ++i) {
                const quint32 u = qToLittleEndian(quint32(s[i]));
                std::memcpy(o + 3 * i, &u, 4);
            }
            const quint32 last = quint32(s[n - 1]);
            o[3 * (n - 1)] = static_cast<unsigned char>(last);
            o[3 * (n - 1) + 1] = static_cast<unsigned char>(last >> 8);
            o[3 * (n - 1) + 2] = static_cast<unsigned char>(last >> 16);
        } else {
            for (qint64 i = 0; i < n; ++i) {
                const quint32 u = quint32(s[i]);
                o[2 * i] = static_cast<unsigned char>(u);
                o[2 * i + 1] = static_cast<unsigned char>(u >> 8);
            }
        }
        o += n * m_targetBytes;
        done += n;
    }
    m_position += frames;
}

SourceSampleReader::SourceSampleReader(QIODevice& file, quint64 bytesLeft, SampleConverter& converter)
    : m_file(file), m_left(bytesLeft), m_converter(converter)
{
}

qint64 SourceSampleReader::Read(char* out, qint64 frames)
{
    const qint64 frameBytes = m_converter.SourceFrameBytes();
    if (frameBytes <= 0)
        return 0;
    if (m_staging.empty())   // on first use: a reader that is never read costs nothing
        m_staging.resize(size_t(std::max<qint64>(kStagingBytes, frameBytes)));
    const qint64 perPass = std::max<qint64>(1, qint64(m_staging.size()) / frameBytes);
    qint64 produced = 0;
    while (produced < frames) {
        const qint64 want = std::min<qint64>({frames - produced, perPass, qint64(m_left / quint64(frameBytes))});
        if (want <= 0)
            break;
        const qint64 bytes = want * frameBytes;
        qint64 got = 0;
        while (got < bytes) {
            const qint64 n = m_file.read(m_staging.data() + got, bytes - got);
            if (n <= 0)
                break;
            got += n;
        }
        const qint64 whole = got / frameBytes;
        m_converter.Convert(m_staging.data(), whole, out + produced * m_converter.TargetSampleBytes());
        produced += whole;
        m_left -= quint64(got);
        if (got < bytes)
            break;
    }
    return produced;
}
