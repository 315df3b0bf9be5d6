// SPDX-License-Identifier: GPL-3.0-or-later
#include "CoverageAnalysis.h"

#include "DebugOutput.h"
#include "QSoundFile.h"
#include "SourceFormat.h"
#include "TimeFormat.h"

#include <QFileInfo>

Coverage ClassifyCoverage(const SampleSpan& source, const SampleSpan& take)
{
    const qint64 sIn = source.in, sOut = source.out, tIn = take.in, tOut = take.out;
    // The order matters: each test assumes the earlier ones failed.
    if (sIn <= tIn && tOut <= sOut)
        return Coverage::EntireTake;
    if (tIn < sIn && sIn < tOut && tOut <= sOut)
        return Coverage::MissingStart;
    if (tIn < sIn && sIn < tOut && sOut < tOut && tIn < sOut)
        return Coverage::PartialCoverage;
    if (tIn < sOut && sOut < tOut)
        return Coverage::MissingEnd;
    return Coverage::None;
}

QString CoverageKey(Coverage c)
{
    switch (c) {
    case Coverage::EntireTake: return QStringLiteral("entire");
    case Coverage::MissingStart: return QStringLiteral("missing_start");
    case Coverage::PartialCoverage: return QStringLiteral("partial");
    case Coverage::MissingEnd: return QStringLiteral("missing_end");
    case Coverage::None: break;
    }
    return QStringLiteral("none");
}

void CoverageCounts::add(Coverage c)
{
    switch (c) {
    case Coverage::EntireTake: ++entire; break;
    case Coverage::MissingStart: ++missingStart; break;
    case Coverage::PartialCoverage: ++partial; break;
    case Coverage::MissingEnd: ++missingEnd; break;
    case Coverage::None: break;
    }
}

QString CoverageStatusText(const CoverageCounts& counts)
{
    if (!counts.any())
        return QStringLiteral("Source file timecode doesn't match with any target file.");
    QString text;
    if (counts.entire)
        text += QString::number(counts.entire) + QLatin1String(" entire take ");
    if (counts.missingStart)
        text += QString::number(counts.missingStart) + QLatin1String(" missing start ");
    if (counts.partial)
        text += QString::number(counts.partial) + QLatin1String(" patial coverage ");
    if (counts.missingEnd)
        text += QString::number(counts.missingEnd) + QLatin1String(" missing end ");
    return text + QLatin1String("founded");
}

bool GetInOutTimecode(const QString& path, long long* in, long long* out, bool* chunksRead)
{
    QSoundFile file;
    if (chunksRead)
        *chunksRead = false;
    if (!file.Open(path, 0))
        return true;
    // RF64/BW64 sources (past 4 GB) are not take files: the source reader
    // gives their span.
    char head[4] = {};
    if (file.LectureDataBin(head, 0, 4) == 4 && (qstrncmp(head, "RF64", 4) == 0 || qstrncmp(head, "BW64", 4) == 0)) {
        file.Close();
        SourceFormat source;
        const bool ok = ReadSourceFormat(path, &source, nullptr) && source.hasTimeReference;
        if (chunksRead)
            *chunksRead = ok;
        const qint64 start = ok ? qint64(source.timeReference) : 0;
        if (in)
            *in = start;
        if (out)
            *out = start + (ok ? qint64(source.frames()) : 0);
        return false;
    }
    const bool ok = file.ReadChunks(true, false);
    if (chunksRead)
        *chunksRead = ok;
    const qint64 start = qint64(file.GetTimeReference());
    const qint64 count = qint64(qint32(file.GetNbTotalSample()));
    if (in)
        *in = start;
    if (out)
        *out = start + count;
    MyQDebug("%s [%d/%d/%d] %lld InTC %s TcSpl [%s ..%s.. %s]",
             QFileInfo(path).fileName().toLocal8Bit().constData(), int(file.GetSampleRate()),
             int(file.GetBitsPerSample()), int(file.GetNbChannels()), static_cast<long long>(start),
             file.GetTimeCode(false).toLocal8Bit().constData(), Long64ToString(start).toLocal8Bit().constData(),
             Long64ToString(count).toLocal8Bit().constData(), Long64ToString(start + count).toLocal8Bit().constData());
    file.Close();
    return false;
}

bool GetInOutTimecode(const QString& path, long long* in, long long* out)
{
    return GetInOutTimecode(path, in, out, nullptr);
}
