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

    // Copy without the mean (a DC offset says nothing about timing), taper
    // both ends and pad with zeros. Without the taper, the cut at the window's
    // edges (at the same samples in both tracks) would vote for a lag of 0 in
    // every band the tracks leave empty.
    const qint64 ramp = qMax<qint64>(1, length / 20);
    auto load = [&](const float* in, float* out) {
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
        std::fill(out + length, out + m_nFft, 0.0f);
        return energy;
    };
    const double energyA = load(a, B.a.get());
    const double energyB = load(b, B.b.get());
    // A block of digital zero (or a constant) has no phase to compare.
    if (!(energyA > 0) || !(energyB > 0))
        return peak;

    fftwf_execute(B.forwardA.get());
    fftwf_execute(B.forwardB.get());

    // Cross-spectrum A * conj(B), each bin brought to (nearly) unit
    // magnitude: every frequency votes with its phase alone, so a loud low
    // band cannot smear the peak. Bins far below the average cross power
    // (bands neither track holds) get a vote in proportion to their power,
    // so rounding noise does not vote.
    const qint64 bins = m_nFft / 2 + 1;
    fftwf_complex* sa = B.specA.get();
    const fftwf_complex* sb = B.specB.get();
    float* mag = B.b.get();   // free once transformed; holds at least `bins` values
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
        return peak;
    for (qint64 k = 1; k < bins; ++k) {
        const float weight = 1.0f / (mag[k] + floor);
        sa[k][0] *= weight;
        sa[k][1] *= weight;
    }
    fftwf_execute(B.inverse.get());

    // Lag k sits at index k (k >= 0) or m_nFft + k (k < 0).
    const float* r = B.a.get();
    auto at = [&](qint64 lag) { return r[lag >= 0 ? lag : m_nFft + lag]; };

    qint64 best = 0;
    float bestAbs = -1.0f;
    for (qint64 lag = -maxLag; lag <= maxLag; ++lag) {
        const float v = std::fabs(at(lag));
        if (v > bestAbs) {
            bestAbs = v;
            best = lag;
        }
    }

    // Background: |r| over the searched lags away from the peak.
    auto background = [&](auto&& visit) {
        for (qint64 lag = -maxLag; lag <= maxLag; ++lag)
            if (lag < best - exclusion || lag > best + exclusion)
                visit(double(std::fabs(at(lag))));
    };
    double sum = 0;
    qint64 count = 0;
    background([&](double v) { sum += v; ++count; });
    if (count < 2)
        return peak;
    const double mean = sum / double(count);
    double sumSq = 0;
    background([&](double v) { sumSq += (v - mean) * (v - mean); });
    // Identical tracks leave no background at all: the score is then capped.
    const double sd = qMax(std::sqrt(sumSq / double(count)), 1e-4 * double(bestAbs));
    if (!(sd > 0))
        return peak;

    // Parabola through the peak and its neighbours, on the peak's own sign (a
    // track wired in opposite polarity peaks negative and is still in time).
    double delta = 0;
    if (best > -maxLag && best < maxLag) {
        const double sign = at(best) < 0 ? -1.0 : 1.0;
        const double ym = sign * at(best - 1), y0 = sign * at(best), yp = sign * at(best + 1);
        const double denom = ym - 2.0 * y0 + yp;
        if (denom < 0)
            delta = qBound(-0.5, 0.5 * (ym - yp) / denom, 0.5);
    }

    peak.valid = true;
    peak.lag = double(best) + delta;
    peak.confidence = (double(bestAbs) - mean) / sd;
    return peak;
}
