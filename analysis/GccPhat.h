// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <memory>

// Generalised cross-correlation with phase transform between two blocks of
// samples of equal length. Each object owns its FFT plans and buffers, so
// objects may be used on different threads at once; one object is used by one
// thread at a time.
class GccPhat
{
public:
    // Blocks of up to maxLength samples; the transforms are zero-padded to
    // half as much again, so lags up to half a block never wrap around.
    explicit GccPhat(qint64 maxLength);
    ~GccPhat();
    GccPhat(const GccPhat&) = delete;
    GccPhat& operator=(const GccPhat&) = delete;

    struct Peak
    {
        bool valid = false;       // false: a block carries no signal at all
        double lag = 0;           // samples, sub-sample; > 0 when `a` is late
        double confidence = 0;    // peak height over the background, in standard deviations
    };

    // Searches lags in [-maxLag, maxLag] (at most half of maxLength). The
    // background statistics leave out `exclusion` samples on each side of
    // the peak (its own side lobes).
    Peak Measure(const float* a, const float* b, qint64 length, qint64 maxLag, qint64 exclusion);

    qint64 MaxLength() const { return m_nMaxLength; }

private:
    struct Buffers;
    qint64 m_nMaxLength = 0;
    qint64 m_nFft = 0;
    std::unique_ptr<Buffers> m_pBuffers;
};
