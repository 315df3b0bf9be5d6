// SPDX-License-Identifier: GPL-3.0-or-later
#include "GccPhat.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <type_traits>

namespace {

// FFTW's planner keeps global state: creating and destroying plans is not
// thread-safe, executing distinct plans is.
std::mutex& plannerMutex()
{
    static std::mutex m;
    return m;
}

struct FftwFree
{
    void operator()(void* p) const { fftwf_free(p); }
};

struct PlanDestroy
{
    void operator()(fftwf_plan p) const
    {
        std::lock_guard<std::mutex> lock(plannerMutex());
        fftwf_destroy_plan(p);
    }
};

using RealBuffer = std::unique_ptr<float[], FftwFree>;
using ComplexBuffer = std::unique_ptr<fftwf_complex[], FftwFree>;
using Plan = std::unique_ptr<std::remove_pointer_t<fftwf_plan>, PlanDestroy>;

// The smallest 2^a 3^b 5^c at or above n: sizes FFTW transforms quickly.
qint64 nextFastSize(qint64 n)
{
    for (qint64 m = qMax<qint64>(n, 2);; ++m) {
        qint64 r = m;
        for (qint64 f : {2, 3, 5})
            while (r % f == 0)
                r /= f;
        if (r == 1)
            return m;
    }
}

// Copies `length` samples without their mean (a DC offset says nothing about
// timing), tapers both ends and pads with zeros up to `fft`; returns the
// energy copied. Without the taper, the cut at the window's edges (at the
// same samples in both tracks) would vote for a lag of 0 in every band the
// tracks leave empty.
double loadTapered(const float* in, float* out, qint64 length, qint64 fft)
{
    const qint64 ramp = qMax<qint64>(1, length / 20);
    double sum = 0;
    for (qint64 i = 0; i < length; ++i)
        sum += in[i];
    const float mean = float(sum / double(length));
    double energy = 0;
    for (qint64 i = 0; i < length; ++i) {
        float v = in[i] - mean;
        const qint64 edge = qMin(i, length - 1 - i);
        if (edge < ramp)
            v *= float(0.5 - 0.5 * std::cos(M_PI * (double(edge) + 0.5) / double(ramp)));
        out[i] = v;
        energy += double(v) * double(v);
    }
    std::fill(out + length, out + fft, 0.0f);
    return energy;
}

// Turns `sa` into the cross-spectrum A * conj(B), each bin brought to
// (nearly) unit magnitude: every frequency votes with its phase alone, so a
// loud low band cannot smear the peak. Bins far below the average cross
// power (bands neither track holds) get a vote in proportion to their power,
// so rounding noise does not vote. `mag` is scratch for `bins` values. False
// when the spectra hold no power to weigh.
bool whitenCrossSpectrum(fftwf_complex* sa, const fftwf_complex* sb, float* mag, qint64 bins)
{
    sa[0][0] = sa[0][1] = 0.0f;
    mag[0] = 0.0f;
    double meanMag = 0;
    for (qint64 k = 1; k < bins; ++k) {
        const float re = sa[k][0] * sb[k][0] + sa[k][1] * sb[k][1];
        const float im = sa[k][1] * sb[k][0] - sa[k][0] * sb[k][1];
        sa[k][0] = re;
        sa[k][1] = im;
        mag[k] = std::sqrt(re * re + im * im);
        meanMag += double(mag[k]);
    }
    meanMag /= double(bins - 1);
    const float floor = float(1e-3 * meanMag);
    if (!(floor > 0) || !std::isfinite(floor))
        return false;
    for (qint64 k = 1; k < bins; ++k) {
        const float weight = 1.0f / (mag[k] + floor);
        sa[k][0] *= weight;
        sa[k][1] *= weight;
    }
    return true;
}

// The correlation by lag, as the inverse transform leaves it: lag k sits at
// index k (k >= 0) or fft + k (k < 0).
struct Correlation
{
    const float* r;
    qint64 fft;
    float at(qint64 lag) const { return r[lag >= 0 ? lag : fft + lag]; }
};

// The searched lag of largest magnitude (the first one on a tie).
void findPeak(const Correlation& r, qint64 maxLag, qint64* best, float* bestAbs)
{
    for (qint64 lag = -maxLag; lag <= maxLag; ++lag) {
        const float v = std::fabs(r.at(lag));
        if (v > *bestAbs) {
            *bestAbs = v;
            *best = lag;
        }
    }
}

// Mean and standard deviation of |r| over the searched lags away from the
// peak; false when there is too little background to score against.
bool backgroundStatistics(const Correlation& r, qint64 maxLag, qint64 best, qint64 exclusion, float bestAbs,
                          double* mean, double* sd)
{
    auto background = [&](auto&& visit) {
        for (qint64 lag = -maxLag; lag <= maxLag; ++lag)
            if (lag < best - exclusion || lag > best + exclusion)
                visit(double(std::fabs(r.at(lag))));
    };
    double sum = 0;
    qint64 count = 0;
    background([&](double v) { sum += v; ++count; });
    if (count < 2)
        return false;
    *mean = sum / double(count);
    double sumSq = 0;
    background([&](double v) { sumSq += (v - *mean) * (v - *mean); });
    // Identical tracks leave no background at all: the score is then capped.
    *sd = qMax(std::sqrt(sumSq / double(count)), 1e-4 * double(bestAbs));
    return *sd > 0;
}

// Sub-sample offset of the peak from a parabola through it and its
// neighbours, on the peak's own sign (a track wired in opposite polarity
// peaks negative and is still in time).
double subSampleOffset(const Correlation& r, qint64 maxLag, qint64 best)
{
    if (best <= -maxLag || best >= maxLag)
        return 0;
    const double sign = r.at(best) < 0 ? -1.0 : 1.0;
    const double ym = sign * r.at(best - 1), y0 = sign * r.at(best), yp = sign * r.at(best + 1);
    const double denom = ym - 2.0 * y0 + yp;
    if (denom < 0)
        return qBound(-0.5, 0.5 * (ym - yp) / denom, 0.5);
    return 0;
}

} // namespace

struct GccPhat::Buffers
{
    RealBuffer a;
    RealBuffer b;
    ComplexBuffer specA;
    ComplexBuffer specB;
    Plan forwardA;
    Plan forwardB;
    Plan inverse;   // specA -> a
};

GccPhat::GccPhat(qint64 maxLength)
    : m_nMaxLength(qMax<qint64>(1, maxLength))
    , m_nFft(nextFastSize(qMax<qint64>(1, maxLength) * 3 / 2 + 2))
    , m_pBuffers(std::make_unique<Buffers>())
{
    const int n = int(m_nFft);
    const size_t bins = size_t(m_nFft / 2 + 1);
    Buffers& B = *m_pBuffers;
    B.a.reset(fftwf_alloc_real(size_t(m_nFft)));
    B.b.reset(fftwf_alloc_real(size_t(m_nFft)));
    B.specA.reset(fftwf_alloc_complex(bins));
    B.specB.reset(fftwf_alloc_complex(bins));
    if (!B.a || !B.b || !B.specA || !B.specB)
        return;
    std::lock_guard<std::mutex> lock(plannerMutex());
    B.forwardA.reset(fftwf_plan_dft_r2c_1d(n, B.a.get(), B.specA.get(), FFTW_ESTIMATE));
    B.forwardB.reset(fftwf_plan_dft_r2c_1d(n, B.b.get(), B.specB.get(), FFTW_ESTIMATE));
    B.inverse.reset(fftwf_plan_dft_c2r_1d(n, B.specA.get(), B.a.get(), FFTW_ESTIMATE));
}

GccPhat::~GccPhat() = default;

GccPhat::Peak GccPhat::Measure(const float* a, const float* b, qint64 length, qint64 maxLag, qint64 exclusion)
{
    Peak peak;
    Buffers& B = *m_pBuffers;
    if (!B.forwardA || !B.forwardB || !B.inverse || length < 2 || length > m_nMaxLength)
        return peak;
    // A lag wraps onto another only beyond m_nFft - length.
    maxLag = qBound<qint64>(1, maxLag, qMin(length - 1, m_nFft - length));

    const double energyA = loadTapered(a, B.a.get(), length, m_nFft);
    const double energyB = loadTapered(b, B.b.get(), length, m_nFft);
    // A block of digital zero (or a constant) has no phase to compare.
    if (!(energyA > 0) || !(energyB > 0))
        return peak;

    fftwf_execute(B.forwardA.get());
    fftwf_execute(B.forwardB.get());
    // B.b is free once transformed and holds at least m_nFft / 2 + 1 values.
    if (!whitenCrossSpectrum(B.specA.get(), B.specB.get(), B.b.get(), m_nFft / 2 + 1))
        return peak;
    fftwf_execute(B.inverse.get());

    const Correlation r{B.a.get(), m_nFft};
    qint64 best = 0;
    float bestAbs = -1.0f;
    findPeak(r, maxLag, &best, &bestAbs);
    double mean = 0;
    double sd = 0;
    if (!backgroundStatistics(r, maxLag, best, exclusion, bestAbs, &mean, &sd))
        return peak;

    peak.valid = true;
    peak.lag = double(best) + subSampleOffset(r, maxLag, best);
    peak.confidence = (double(bestAbs) - mean) / sd;
    return peak;
}
