// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One channel of a source's samples, converted to a take's sample format as
// it streams through. Widget-free: the track engine uses it in its copy loop,
// and any other writer of take tracks can use it the same way.
//
// Conversion rules (n = the take's bits):
//   8-bit WAV is unsigned: 128 is subtracted first;
//   integer to wider integer: exact (shift left);
//   integer to narrower integer: divided by the power of two, rounded to
//   nearest with halves away from zero, clipped to the take's range;
//   float to integer: multiplied by 2^(n-1), rounded the same way, clipped to
//   [-2^(n-1), 2^(n-1)-1] (+1.0 clips, -1.0 is exact);
//   NaN and infinities become 0 and are counted apart from clipped samples;
//   optional TPDF dither (+-1 LSB) before rounding, only where precision is lost.

#include "SourceFormat.h"

#include <QString>

#include <vector>

class QIODevice;

enum class DitherKind { None, Tpdf };

struct ConversionOptions
{
    int channel = 0;                   // 0-based channel of the source
    DitherKind dither = DitherKind::None;
    quint64 ditherSeed = 1;            // the same seed gives the same output
};

// The take's sample format: signed integer PCM of 16, 24 or 32 bits (8 bits
// are unsigned, as WAV stores them), or float when `isFloat`.
struct TargetSampleFormat
{
    int bits = 24;
    bool isFloat = false;
};

struct ConversionCounts
{
    quint64 clipped = 0;
    quint64 nonFinite = 0;             // NaN and infinities, written as 0
    qint64 firstClipped = -1;          // frame index from the first frame converted; -1 = none
    qint64 firstNonFinite = -1;
};

class SampleConverter
{
public:
    // Why `source` cannot become `target`; empty when it can.
    static QString CannotConvert(const SourceFormat& source, const TargetSampleFormat& target);

    SampleConverter(const SourceFormat& source, const TargetSampleFormat& target, const ConversionOptions& options);

    // The channel's bytes are the take's bytes: a mono source already in the
    // take's format. The engine then copies the data chunk as it is.
    bool IsCopy() const { return m_mode == Mode::Copy && m_sourceChannels == 1; }
    // Precision is lost (float source, or a narrower take): dither applies.
    bool LosesPrecision() const { return m_mode == Mode::FloatToInt || m_mode == Mode::IntNarrow; }
    int SourceFrameBytes() const { return m_sourceFrameBytes; }
    int TargetSampleBytes() const { return m_targetBytes; }

    // Converts `frames` source frames at `in` into `frames` take samples at `out`.
    void Convert(const char* in, qint64 frames, char* out);

    const ConversionCounts& Counts() const { return m_counts; }

    // Tests only: false makes the float conversion skip its AVX2 code, so the
    // portable loop is checked on machines that have AVX2 too.
    static void SetAvx2ForTests(bool allowed);

private:
    enum class Mode { Copy, IntWiden, IntNarrow, FloatToInt };

    void convertGeneric(const char* in, qint64 frames, char* out);
    void convertFloat32Fast(const char* in, qint64 frames, char* out);
    double tpdf();

    Mode m_mode = Mode::Copy;
    SampleEncoding m_sourceEncoding = SampleEncoding::Integer;
    int m_sourceBytes = 0;
    int m_sourceChannels = 1;
    int m_sourceFrameBytes = 0;
    int m_channelOffset = 0;
    int m_targetBits = 0;
    int m_targetBytes = 0;
    DitherKind m_dither = DitherKind::None;
    quint64 m_rng = 1;
    qint64 m_position = 0;             // frames converted so far
    ConversionCounts m_counts;
    std::vector<qint32> m_scratch;
};

// Streams one channel of a source's data chunk from the file's current
// position, converted. Memory is one fixed staging buffer whatever the length.
class SourceSampleReader
{
public:
    // `bytesLeft`: source data bytes from the current position to the end of
    // the data chunk.
    SourceSampleReader(QIODevice& file, quint64 bytesLeft, SampleConverter& converter);

    // Fills `out` with up to `frames` converted samples; returns how many.
    // Fewer only when the data chunk or the file ends first.
    qint64 Read(char* out, qint64 frames);

    static constexpr int kStagingBytes = 1 << 18;

private:
    QIODevice& m_file;
    quint64 m_left;
    SampleConverter& m_converter;
    std::vector<char> m_staging;
};
