// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SourceFormat.h"

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// Conform: every take of a target folder matched to the source files of a
// source folder that share samples with it, planned before anything is
// written. Widget-free: `sonalign-cli conform` and the window's conform
// dialog build the same plan and apply it with the same code.

// How the union of a take's sources covers it.
enum class ConformClass { Entire, MissingStart, MissingEnd, Partial, Gaps, None };

// "entire", "missing_start", "missing_end", "partial", "gaps", "none"
QString ConformClassKey(ConformClass c);

// One file of the source folder, read once per plan.
struct ConformSource
{
    QString fileName;
    QString path;             // absolute
    bool readable = false;    // a sound file whose chunks could be read
    qint64 start = 0;         // bext time reference: samples since midnight
    qint64 frames = 0;        // sample frames of its audio
    quint32 sampleRate = 0;
    int bitsPerSample = 0;
    int channels = 0;
    SourceFormat format;      // the header as the engine reads it
    QString unreadableReason; // why it is not `readable`
    qint64 end() const { return start + frames; }
};

// What a source must share with a take to fill it.
struct ConformTakeFormat
{
    quint32 sampleRate = 0;
    int bitsPerSample = 0;
    int channels = 1;
};

// The one decision on whether a source can serve a take: an empty text when
// it can, else the reason it is left out. Another depth or encoding is
// converted by the engine; another sample rate, several channels (conform has
// no channel choice) or an undecodable format is left out.
QString ConformSourceUnusableReason(const ConformSource& source, const ConformTakeFormat& take);

struct ConformRange
{
    int source = -1;          // index into ConformPlan::sources
    qint64 takeFrom = 0;      // take samples [takeFrom, takeTo)
    qint64 takeTo = 0;
    qint64 sourceFrom = 0;    // where takeFrom lies in the source's audio
};

struct ConformExclusion
{
    int source = -1;
    QString reason;
};

struct ConformTake
{
    QString fileId;           // first six characters of the take's first file
    QString racine;           // the name root the new track is named after
    QString takeKey;          // folder + racine
    QString scene;
    QString takeNumber;
    bool readable = false;
    qint64 start = 0;         // samples since midnight
    qint64 frames = 0;
    quint32 sampleRate = 0;
    int framesPerSecond = 0;  // time-code frame rate of the take
    int trackIndex = -1;      // 0-based; -1 = none chosen
    bool create = false;      // false = skipped, with `reason`
    QString reason;
    ConformClass coverage = ConformClass::None;
    QVector<ConformRange> ranges;               // in take order
    QVector<QPair<qint64, qint64>> silence;     // [from, to) in take samples
    QVector<ConformExclusion> excluded;
    int mainRange = -1;       // the range filling the most samples (earliest on a tie)
    QString trackName;        // the name the new track gets
    QString result;           // "planned", "written", "failed", "skipped"
};

struct ConformRequest
{
    QString sourceFolder;
    QString targetFolder;
    int track = 0;            // 1 ... 24; 0 = "next"
    QStringList fileIds;      // empty = every take
    QString trackName;
    bool hasTrackName = false;
};

struct ConformPlan
{
    QString sourceFolder;     // absolute, clean
    QString targetFolder;
    QVector<ConformSource> sources;
    QVector<ConformTake> takes;
    QStringList unknownFileIds;   // asked for, but no take has them
    int plannedCount() const;
};

// Builds the plan. Reads only; writes nothing anywhere.
ConformPlan BuildConformPlan(const ConformRequest& request);

// HH:MM:SS:FF of a position (samples since midnight) at the take's rate.
QString ConformTimecode(qint64 samples, quint32 sampleRate, int framesPerSecond);
