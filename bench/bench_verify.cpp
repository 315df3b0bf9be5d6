// SPDX-License-Identifier: GPL-3.0-or-later
// Verify benchmark: a take of two 24-bit 48 kHz tracks (one hour by default)
// is verified as `sonalign-cli verify` does it. The baseline, run in the same
// process on the same (cached) files, reads the two tracks' bytes once.
//
// usage: bench_verify [SECONDS] [--dir DIR]   (with --dir the take is kept,
// and reused when it is already there)

#include "SyntheticSignal.h"
#include "TakeVerify.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 3;
constexpr double kDelay = 1920;   // one frame at 25 fps

double readBothOnce(const QStringList& paths)
{
    QElapsedTimer clock;
    clock.start();
    std::vector<char> buffer(size_t(1) << 20);
    qint64 total = 0;
    for (const QString& p : paths) {
        QFile f(p);
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        qint64 n = 0;
        while ((n = f.read(buffer.data(), qint64(buffer.size()))) > 0)
            total += n;
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    return total > 0 ? seconds : -1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    double seconds = 3600;
    QString dir;
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--dir") && i + 1 < args.size())
            dir = args.at(++i);
        else
            seconds = args.at(i).toDouble();
    }
    if (!(seconds > 0)) {
        std::fprintf(stderr, "usage: bench_verify [SECONDS] [--dir DIR]\n");
        return 2;
    }
    QTemporaryDir temp;
    if (dir.isEmpty())
        dir = temp.path();
    QDir().mkpath(dir);
    const qint64 frames = qint64(seconds * 48000);
    const QStringList paths{dir + QStringLiteral("/BV0001_01.WAV"), dir + QStringLiteral("/BV0001_02.WAV")};

    // A take left by an earlier run with --dir is reused when it has the length asked for.
    const auto dataBytes = [](const QString& p) { return QFileInfo(p).size(); };
    if (dataBytes(paths.at(0)) < frames * 3 || dataBytes(paths.at(1)) != dataBytes(paths.at(0))
        || dataBytes(paths.at(0)) > frames * 3 + 200000) {
        // Broadband noise heard by two microphones, the second a frame later.
        synth::Mic near, far;
        near.noiseSeed = 1;
        near.snrDb = 10;
        far.paths = {synth::Path{kDelay, 1}};
        far.noiseSeed = 2;
        far.snrDb = 10;
        QElapsedTimer gen;
        gen.start();
        QString error;
        if (!synth::writeTake(dir, QStringLiteral("BV0001"), RecorderFileSpec(),
                              {synth::Track(7, near), synth::Track(7, far)}, frames, &error)) {
            std::fprintf(stderr, "cannot write the take: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("generated %.0f s take in %s (%.1f s)\n", seconds, qPrintable(dir), gen.elapsed() / 1000.0);
    }

    VerifyRequest request;
    request.folder = dir;
    request.fileId = QStringLiteral("BV0001");
    request.track = 2;

    double baseline = 1e9, verify = 1e9;
    VerifyResult result;
    for (int run = 0; run < kRuns; ++run) {
        baseline = std::min(baseline, readBothOnce(paths));
        QElapsedTimer clock;
        clock.start();
        result = VerifyTake(request);
        verify = std::min(verify, double(clock.nsecsElapsed()) / 1e9);
    }
    if (result.status != VerifyStatus::Measured || baseline < 0) {
        std::fprintf(stderr, "verify failed: %s\n", qPrintable(result.message));
        return 1;
    }
    std::printf("take: %.0f s, 2 tracks, 48 kHz 24-bit (%.0f MB)\n", seconds, 2.0 * double(frames) * 3 / 1e6);
    std::printf("read both tracks once: %.3f s\n", baseline);
    std::printf("verify:                %.3f s  (%zu windows, offset %s samples, verdict %s)\n", verify,
                size_t(result.measurement.windows.size()),
                qPrintable(result.measurement.offsetSamples ? QString::number(*result.measurement.offsetSamples)
                                                            : QStringLiteral("null")),
                SyncVerdictKey(result.measurement.verdict));
    std::printf("ratio verify / read:   %.3f  (target: verify under 1 s)\n", verify / baseline);
    return 0;
}
