// SPDX-License-Identifier: GPL-3.0-or-later
#include "TakeVerify.h"

#include "MyFileInfoList.h"
#include "QSoundPerform.h"
#include "TakeFrameRate.h"
#include "TakeGrouping.h"
#include "TrackSampleReader.h"

#include <array>
#include <cmath>

namespace {

QString jsonText(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + QString(c);
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

QString jsonNumber(const std::optional<double>& v, int decimals)
{
    if (!v || !std::isfinite(*v))
        return QStringLiteral("null");
    QString s = QString::number(*v, 'f', decimals);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    return s == QLatin1String("-0") ? QStringLiteral("0") : s;
}

QString jsonInteger(const std::optional<double>& v)
{
    return v ? QString::number(std::llround(*v)) : QStringLiteral("null");
}

VerifyResult fail(VerifyResult r, VerifyStatus status, const QString& text)
{
    r.status = status;
    r.message = r.fileId + QLatin1Char('\n') + text;
    return r;
}

} // namespace

std::optional<double> VerifyResult::OffsetMs() const
{
    if (!measurement.offsetSamples || sampleRate == 0)
        return std::nullopt;
    return *measurement.offsetSamples * 1000.0 / sampleRate;
}

std::optional<double> VerifyResult::OffsetFrames() const
{
    const auto ms = OffsetMs();
    if (!ms || !frameRate)
        return std::nullopt;
    return *ms / 1000.0 * *frameRate;
}

std::optional<double> VerifyResult::DriftMs() const
{
    if (!measurement.driftSamples || sampleRate == 0)
        return std::nullopt;
    return *measurement.driftSamples * 1000.0 / sampleRate;
}

VerifyResult VerifyTake(const VerifyRequest& request)
{
    MyFileInfoList listing;
    listing.LoadEntryInfoList(request.folder, QStringList{QStringLiteral(".WAV")});
    for (const TakeKey& key : GroupListingIntoTakes(listing))
        if (key.fileId == request.fileId)
            return VerifyTakeOfKey(key, request);
    VerifyResult r;
    r.fileId = request.fileId;
    r.track = request.track;
    return fail(r, VerifyStatus::NotFound, QStringLiteral("No corresponding file found matching with this tag."));
}

VerifyResult VerifyTakeOfKey(const TakeKey& key, const VerifyRequest& request)
{
    VerifyResult r;
    r.fileId = key.fileId;
    r.track = request.track;
    if (!key.mono)
        return fail(r, VerifyStatus::PolyTake, QStringLiteral("Poly takes are not verified."));
    if (request.track < 1 || request.track > QSoundPerform::kMaxSlots || request.against < 0
        || request.against > QSoundPerform::kMaxSlots || request.against == request.track)
        return fail(r, VerifyStatus::NoOtherTrack, QStringLiteral("Invalid track numbers."));

    // Only the two files compared are read: the take's other files, even
    // damaged or of another length, do not stand in the way.
    std::array<QString, QSoundPerform::kMaxSlots> paths;
    for (int n = 1; n <= QSoundPerform::kMaxSlots; ++n)
        paths[size_t(n - 1)] = QSoundPerform::FindMonoTrackFile(key.key, n, QStringLiteral("WAV"));
    const int t = request.track - 1;
    if (paths[size_t(t)].isEmpty())
        return fail(r, VerifyStatus::NoTrack, QStringLiteral("The take has no track %1.").arg(request.track));
    int m = request.against - 1;
    if (m < 0) {
        for (int s = 0; s < QSoundPerform::kMaxSlots && m < 0; ++s)
            if (s != t && !paths[size_t(s)].isEmpty())
                m = s;
        if (m < 0)
            return fail(r, VerifyStatus::NoOtherTrack, QStringLiteral("The take has no other track to verify against."));
    } else if (paths[size_t(m)].isEmpty()) {
        return fail(r, VerifyStatus::NoOtherTrack, QStringLiteral("The take has no track %1.").arg(request.against));
    }
    r.against = m + 1;

    TrackSampleReader trackReader, againstReader;
    QString error;
    if (!trackReader.Open(paths[size_t(t)], &error) || !againstReader.Open(paths[size_t(m)], &error))
        return fail(r, VerifyStatus::ReadFailure, error);
    if (trackReader.SampleRate() != againstReader.SampleRate())
        return fail(r, VerifyStatus::ReadFailure,
                    QStringLiteral("Tracks %1 and %2 have different sample rates.").arg(r.track).arg(r.against));
    r.sampleRate = trackReader.SampleRate();
    r.frameRate = FrameRateOfFile(trackReader.File());
    if (!r.frameRate)
        r.frameRate = FrameRateOfFile(againstReader.File());

    OffsetOptions options;
    options.sampleRate = r.sampleRate;
    options.toleranceMs = request.toleranceMs;
    if (!MeasureOffset(trackReader, againstReader, options, &r.measurement))
        return fail(r, VerifyStatus::ReadFailure, QStringLiteral("The samples of tracks %1 and %2 could not be read.")
                                                      .arg(r.track).arg(r.against));
    r.status = VerifyStatus::Measured;
    return r;
}

QString VerifyResultJson(const VerifyResult& r)
{
    const OffsetMeasurement& m = r.measurement;
    QString windows;
    for (const OffsetWindow& w : m.windows) {
        if (!windows.isEmpty())
            windows += QLatin1String(", ");
        windows += QLatin1String("{\"start_sample\": ") + QString::number(w.startSample)
                   + QLatin1String(", \"length\": ") + QString::number(w.length)
                   + QLatin1String(", \"offset_samples\": ") + jsonInteger(w.offsetSamples)
                   + QLatin1String(", \"confidence\": ") + jsonNumber(w.confidence, 1) + QLatin1Char('}');
    }
    return QLatin1String("{\"file_id\": ") + jsonText(r.fileId)
           + QLatin1String(", \"track\": ") + QString::number(r.track)
           + QLatin1String(", \"against\": ") + QString::number(r.against)
           + QLatin1String(", \"offset_samples\": ") + jsonInteger(m.offsetSamples)
           + QLatin1String(", \"offset_ms\": ") + jsonNumber(r.OffsetMs(), 3)
           + QLatin1String(", \"offset_frames\": ") + jsonNumber(r.OffsetFrames(), 4)
           + QLatin1String(", \"drift_samples\": ") + jsonInteger(m.driftSamples)
           + QLatin1String(", \"drift_ms\": ") + jsonNumber(r.DriftMs(), 3)
           + QLatin1String(", \"confidence\": ") + jsonNumber(m.confidence, 1)
           + QLatin1String(", \"sample_rate\": ") + QString::number(r.sampleRate)
           + QLatin1String(", \"frame_rate\": ") + jsonNumber(r.frameRate, 3)
           + QLatin1String(", \"windows\": [") + windows + QLatin1String("], \"verdict\": \"")
           + QLatin1String(SyncVerdictKey(m.verdict)) + QLatin1String("\"}");
}

QString VerifyResultText(const VerifyResult& r)
{
    const OffsetMeasurement& m = r.measurement;
    QString line = r.fileId + QStringLiteral("\ttrack %1 against %2\t").arg(r.track).arg(r.against)
                   + QLatin1String(SyncVerdictKey(m.verdict));
    if (m.offsetSamples) {
        line += QStringLiteral("\toffset %1 ms (%2 samples").arg(jsonNumber(r.OffsetMs(), 3), jsonInteger(m.offsetSamples));
        if (const auto frames = r.OffsetFrames())
            line += QStringLiteral(", %1 frames").arg(jsonNumber(frames, 4));
        line += QStringLiteral(")\tdrift %1 ms").arg(jsonNumber(r.DriftMs(), 3));
    }
    return line + QStringLiteral("\tconfidence %1").arg(jsonNumber(m.confidence, 1));
}
