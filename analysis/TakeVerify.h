// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "OffsetMeasure.h"

#include <QString>
#include <QVector>

#include <optional>

struct TakeKey;

// Verifies by the audio itself that one track of a mono take is in time with
// another track of the same take. The window, `sonalign-cli verify` and the
// conform command call this; none of it touches a widget or writes a file.

struct VerifyRequest
{
    QString folder;              // absolute, clean
    QString fileId;
    int track = 1;               // 1 ... 24
    int against = 0;             // 1 ... 24; 0 = the lowest-numbered other present track
    double toleranceMs = 10.0;
};

enum class VerifyStatus {
    Measured,      // the measurement ran (whatever its verdict)
    NotFound,      // no take with this file ID
    PolyTake,      // poly takes are not verified
    NoTrack,       // the take has no file for the track
    NoOtherTrack,  // nothing to compare with (no other track, or --against absent)
    ReadFailure    // a file of the take could not be read
};

struct VerifyResult
{
    VerifyStatus status = VerifyStatus::ReadFailure;
    QString fileId;
    int track = 0;
    int against = 0;
    quint32 sampleRate = 0;
    std::optional<double> frameRate;   // null: the take's files carry none
    OffsetMeasurement measurement;
    QString message;                   // why nothing was measured, naming the take

    std::optional<double> OffsetMs() const;
    std::optional<double> OffsetFrames() const;
    std::optional<double> DriftMs() const;
};

// Finds the take by file ID in the folder's listing (the target table's
// grouping) and verifies it.
VerifyResult VerifyTake(const VerifyRequest& request);
// The same for a take already found (the caller lists the folder once).
VerifyResult VerifyTakeOfKey(const TakeKey& key, const VerifyRequest& request);

// One JSON object: "file_id", "track", "against", "offset_samples",
// "offset_ms", "offset_frames", "drift_samples", "drift_ms", "confidence",
// "sample_rate", "frame_rate", "windows", "verdict".
QString VerifyResultJson(const VerifyResult& result);
// One tab-separated line for people.
QString VerifyResultText(const VerifyResult& result);
