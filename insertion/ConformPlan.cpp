// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConformPlan.h"

#include "BwfRecords.h"
#include "FileNaming.h"
#include "MyFileInfoList.h"
#include "QSoundFile.h"
#include "QSoundPerform.h"
#include "SourceSampleReader.h"
#include "TakeGrouping.h"
#include "TimeFormat.h"
#include "TrackNameFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString absoluteClean(const QString& path)
{
    return path.isEmpty() ? path : QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath());
}

// What the take coherence check compares, read from a file's chunk headers
// only: a take's other files need no iXML parse to be compared.
struct WaveSummary
{
    quint32 sampleRate = 0;
    int bitsPerSample = 0;
    quint32 dataSize = 0;
    quint32 sizeOnDisk = 0;
};

bool readWaveSummary(const QString& path, WaveSummary& out)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0;
    const qint64 size = ok ? qint64(st.st_size) : 0;
    out.sizeOnDisk = size > qint64(0xFFFFFFFFu) ? 0xFFFFFFFFu : quint32(size);
    // One read holds the headers of a recorder file up to its iXML chunk;
    // a chunk header further on costs one more small read.
    char head[4096];
    const ssize_t got = ok ? ::pread(fd, head, sizeof head, 0) : -1;
    ok = got >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0;
    auto at = [&](qint64 pos, qint64 n, char* into) -> const char* {
        if (pos + n <= got)
            return head + pos;
        return ::pread(fd, into, size_t(n), off_t(pos)) == n ? into : nullptr;
    };
    bool haveFmt = false;
    bool haveData = false;
    qint64 pos = 12;
    char far[24];
    for (int guard = 0; ok && guard < 10000 && pos + 8 <= size && !(haveFmt && haveData); ++guard) {
        const char* h = at(pos, 8, far);
        if (!h)
            break;
        const quint32 chunkSize = bwf::readU32(h + 4);
        if (std::memcmp(h, "fmt ", 4) == 0 && chunkSize >= 16) {
            const char* f = at(pos + 8, 16, far);
            if (!f)
                break;
            out.sampleRate = bwf::readU32(f + 4);
            out.bitsPerSample = int(quint8(f[14]) | (quint8(f[15]) << 8));
            haveFmt = true;
        } else if (std::memcmp(h, "data", 4) == 0) {
            out.dataSize = chunkSize;
            haveData = true;
        }
        pos += 8 + qint64(chunkSize);
    }
    ::close(fd);
    return ok && haveFmt && haveData;
}

// The file of track number n of the take `key`, in any of the recorder's
// five name forms, found in the listing (no file-system call per name).
QString trackFileInListing(const MyFileInfoList& listing, const QString& key, int n)
{
    const QString nn = TrkIndexToNN(n);
    const QString old(TrkIndexToCharOld(n));
    const QString candidates[] = {
        key + QLatin1Char('_') + nn, key + QLatin1Char('_') + old, key + QLatin1Char('-') + old,
        key + QLatin1Char('#') + old, key + QLatin1Char('+') + old,
    };
    for (const QString& c : candidates) {
        const int i = listing.indexOfBoosted(c + QLatin1String(".WAV"));
        if (i >= 0)
            return listing.GetAbsoluteFilePath(i);
    }
    return QString();
}

ConformSource readSource(const QString& folder, const QString& fileName)
{
    ConformSource s;
    s.fileName = fileName;
    s.path = folder + QLatin1Char('/') + fileName;
    // The engine's own header reader: what the plan uses is what the engine
    // will find (RF64, extensible and float sources included).
    QString why;
    if (!ReadSourceFormat(s.path, &s.format, &why)) {
        s.unreadableReason = why.isEmpty() ? QStringLiteral("not a sound file that can be read") : why;
        return s;
    }
    if (!s.format.hasTimeReference) {
        s.unreadableReason = QStringLiteral("no time reference: it cannot be placed in a take");
        return s;
    }
    s.readable = true;
    s.start = qint64(s.format.timeReference);
    s.frames = qint64(s.format.frames());
    s.sampleRate = s.format.sampleRate;
    s.bitsPerSample = s.format.bitsPerSample;
    s.channels = s.format.channels;
    return s;
}

// Sources, coverage, silence and class of one take whose span is known.
void matchSources(ConformTake& take, const ConformTakeFormat& format, const QVector<ConformSource>& sources,
                  const QVector<int>& byStart)
{
    const qint64 tIn = take.start;
    const qint64 tOut = take.start + take.frames;
    QVector<int> usable;
    for (int i : byStart) {
        const ConformSource& s = sources.at(i);
        if (!s.readable || s.frames <= 0)
            continue;
        // A source of another rate counts its time in its own samples.
        qint64 sIn = s.start, sOut = s.end();
        if (s.sampleRate != format.sampleRate && s.sampleRate > 0) {
            sIn = qint64(double(s.start) * format.sampleRate / s.sampleRate);
            sOut = qint64(double(s.end()) * format.sampleRate / s.sampleRate);
        }
        if (sOut <= tIn || sIn >= tOut)
            continue;   // shares no sample with the take (back to back is no overlap)
        const QString why = ConformSourceUnusableReason(s, format);
        if (!why.isEmpty())
            take.excluded.append(ConformExclusion{i, why});
        else
            usable.append(i);
    }
    for (int i : usable) {
        const ConformSource& s = sources.at(i);
        ConformRange r;
        r.source = i;
        r.takeFrom = std::max(s.start, tIn) - tIn;
        r.takeTo = std::min(s.end(), tOut) - tIn;
        r.sourceFrom = std::max(s.start, tIn) - s.start;
        take.ranges.append(r);
    }
    // Silence: what the union of the ranges leaves of [0, frames).
    qint64 at = 0;
    int overlapA = -1, overlapB = -1;
    int furthest = -1;
    for (const ConformRange& r : take.ranges) {
        if (r.takeFrom < at && overlapA < 0) {
            overlapA = furthest;
            overlapB = r.source;
        }
        if (r.takeFrom > at)
            take.silence.append(qMakePair(at, r.takeFrom));
        if (r.takeTo > at) {
            at = r.takeTo;
            furthest = r.source;
        }
    }
    if (at < take.frames)
        take.silence.append(qMakePair(at, take.frames));

    if (take.ranges.isEmpty()) {
        take.coverage = ConformClass::None;
    } else if (take.silence.isEmpty()) {
        take.coverage = ConformClass::Entire;
    } else {
        const bool head = take.silence.first().first == 0;
        const bool tail = take.silence.last().second == take.frames;
        const int inner = take.silence.size() - (head ? 1 : 0) - (tail ? 1 : 0);
        if (inner > 0)
            take.coverage = ConformClass::Gaps;
        else if (head && tail)
            take.coverage = ConformClass::Partial;
        else if (head)
            take.coverage = ConformClass::MissingStart;
        else
            take.coverage = ConformClass::MissingEnd;
    }
    qint64 most = -1;
    for (int k = 0; k < take.ranges.size(); ++k) {
        const qint64 n = take.ranges.at(k).takeTo - take.ranges.at(k).takeFrom;
        if (n > most) {
            most = n;
            take.mainRange = k;
        }
    }
    if (overlapA >= 0 && take.create) {
        take.create = false;
        take.reason = QLatin1String("sources ") + sources.at(overlapA).fileName + QLatin1String(" and ")
            + sources.at(overlapB).fileName + QLatin1String(" overlap inside the take");
    }
}

} // namespace

QString ConformClassKey(ConformClass c)
{
    switch (c) {
    case ConformClass::Entire: return QStringLiteral("entire");
    case ConformClass::MissingStart: return QStringLiteral("missing_start");
    case ConformClass::MissingEnd: return QStringLiteral("missing_end");
    case ConformClass::Partial: return QStringLiteral("partial");
    case ConformClass::Gaps: return QStringLiteral("gaps");
    case ConformClass::None: break;
    }
    return QStringLiteral("none");
}

QString ConformSourceUnusableReason(const ConformSource& source, const ConformTakeFormat& take)
{
    if (!source.readable)
        return source.unreadableReason.isEmpty() ? QStringLiteral("not a sound file that can be read")
                                                 : source.unreadableReason;
    if (source.sampleRate != take.sampleRate)
        return QStringLiteral("sample rate %1 Hz, the take's is %2 Hz").arg(source.sampleRate).arg(take.sampleRate);
    if (source.channels != 1 && take.sourceChannel == 0)
        return QStringLiteral("%1 channels: only a mono source can fill a track (choose one with --channel K)")
            .arg(source.channels);
    if (source.channels != 1 && take.sourceChannel > source.channels)
        return QStringLiteral("%1 channels: it has no channel %2").arg(source.channels).arg(take.sourceChannel);
    const QString unsupported = source.format.unsupportedReason();
    if (!unsupported.isEmpty())
        return unsupported;
    TargetSampleFormat target;
    target.bits = take.bitsPerSample;
    target.isFloat = false;
    return SampleConverter::CannotConvert(source.format, target);
}

QString ConformTimecode(qint64 samples, quint32 sampleRate, int framesPerSecond)
{
    if (sampleRate == 0 || samples < 0)
        return GetTimeCode(0, 0);
    const quint64 fps = quint64(std::max(framesPerSecond, 0));
    const quint64 s = quint64(samples);
    return GetTimeCode((unsigned long)(fps * (s / sampleRate) + fps * (s % sampleRate) / sampleRate),
                       short(framesPerSecond));
}

int ConformPlan::plannedCount() const
{
    int n = 0;
    for (const ConformTake& t : takes)
        n += t.create ? 1 : 0;
    return n;
}

namespace {

// The source table's listing, each file read once; returns the sources'
// indexes in the order of their starts, as the matching walks them.
QVector<int> readSources(ConformPlan& plan)
{
    MyFileInfoList sourceListing;
    sourceListing.LoadEntryInfoList(plan.sourceFolder, {QStringLiteral(".WAV"), QStringLiteral(".wav")});
    for (int i = 0; i < sourceListing.count(); ++i)
        plan.sources.append(readSource(plan.sourceFolder, sourceListing.GetFileName(i)));
    QVector<int> byStart(plan.sources.size());
    for (int i = 0; i < byStart.size(); ++i)
        byStart[i] = i;
    std::stable_sort(byStart.begin(), byStart.end(),
                     [&](int a, int b) { return plan.sources.at(a).start < plan.sources.at(b).start; });
    return byStart;
}

// The file IDs asked for that no take of the folder has, in the order asked.
QStringList unknownFileIds(const QStringList& fileIds, const QVector<TakeKey>& keys)
{
    QStringList unknown;
    for (const QString& id : fileIds) {
        bool found = false;
        for (const TakeKey& k : keys)
            found = found || k.fileId == id;
        if (!found)
            unknown << id;
    }
    return unknown;
}

// The take's names, span and format from the target table's quick assembly;
// `format` is what the sources are matched against. The record stays for
// the checks that follow.
std::unique_ptr<QSoundPerform> assembleTake(ConformTake& take, ConformTakeFormat& format, const TakeKey& key,
                                            MyFileInfoList& listing, int sourceChannel)
{
    take.fileId = key.fileId;
    const QString firstName = listing.GetFileName(key.listingIndex);
    take.racine = key.mono ? AudioPathFileShortenedToRacine(firstName) : firstName.left(firstName.size() - 4);
    take.takeKey = key.key;
    take.create = true;

    auto record = std::make_unique<QSoundPerform>();
    const int status = AssembleTakeQuick(key, &listing, record.get());
    const short first = record->GetFirstTrack();
    take.readable = status != kTakeError && record->m_bPresent[size_t(first)];
    if (take.readable) {
        const QSoundFile& f = record->File(first);
        take.start = qint64(f.GetTimeReference());
        take.frames = qint64(f.GetNbTotalSample());
        take.sampleRate = record->m_nSampleRate;
        take.framesPerSecond = record->m_nFrameRate;
        take.scene = record->m_sScene.trimmed();
        take.takeNumber = record->m_sTakeNumber.trimmed();
        format.sampleRate = record->m_nSampleRate;
        format.bitsPerSample = record->m_nBitsPerSample;
        format.channels = 1;
        format.sourceChannel = sourceChannel;
        take.bitsPerSample = record->m_nBitsPerSample;
    }
    return record;
}

using TrackPresence = std::array<bool, bwf::kMaxTracks>;

// The tracks a mono take has, and whether all its files agree with the
// first: a take whose files disagree gets no new track (the first
// disagreement is the reason given).
TrackPresence checkTakeFiles(ConformTake& take, const TakeKey& key, const MyFileInfoList& listing,
                             const QSoundPerform& record)
{
    TrackPresence present{};
    if (!take.readable || !key.mono)
        return present;
    for (int n = 1; n <= bwf::kMaxTracks; ++n) {
        const QString path = trackFileInListing(listing, key.key, n);
        if (path.isEmpty())
            continue;
        present[size_t(n - 1)] = true;
        if (!take.create)
            continue;
        WaveSummary w;
        QString why;
        if (!readWaveSummary(path, w))
            why = QStringLiteral("cannot be read as a sound file");
        else if (w.sampleRate != record.m_nSampleRate)
            why = QStringLiteral("All files haven't the same sample rate !");
        else if (w.bitsPerSample != record.m_nBitsPerSample)
            why = QStringLiteral("All files haven't the same sample bits rate !");
        else if (w.dataSize != record.m_nDataSize)
            why = QStringLiteral("All files haven't the same Data size (%1 %2)!").arg(w.dataSize).arg(record.m_nDataSize);
        else if (w.sizeOnDisk != record.m_nSizeOnDisk)
            why = QStringLiteral("All files haven't the same  size on disk !");
        if (!why.isEmpty()) {
            take.create = false;
            take.reason = QLatin1String("the take's files disagree: ") + why + QLatin1String(" (")
                + QFileInfo(path).fileName() + QLatin1Char(')');
        }
    }
    return present;
}

// Only a readable take of mono files gets a new track; these reasons win
// over a disagreement between its files.
void refuseUnfitTake(ConformTake& take, const TakeKey& key, const QSoundPerform& record)
{
    if (!take.readable) {
        take.create = false;
        take.reason = QStringLiteral("the take's files cannot be read");
    } else if (!key.mono || record.m_bPoly) {
        take.create = false;
        take.reason = QStringLiteral("poly take: only takes of mono files get a new track");
    } else if (record.m_nNbChannels != 1) {
        take.create = false;
        take.reason = QStringLiteral("the take's files are not mono");
    }
}

// The asked track, or for "next" the one after the highest present (else the
// first free one). An earlier reason to skip the take is kept.
void chooseTrack(ConformTake& take, int requestedTrack, const TrackPresence& present)
{
    if (requestedTrack >= 1 && requestedTrack <= bwf::kMaxTracks) {
        take.trackIndex = requestedTrack - 1;
        if (present[size_t(take.trackIndex)] && take.create) {
            take.create = false;
            take.reason = QStringLiteral("track %1 is occupied").arg(requestedTrack);
        }
        return;
    }
    int highest = 0;
    for (int n = 1; n <= bwf::kMaxTracks; ++n)
        if (present[size_t(n - 1)])
            highest = n;
    int chosen = highest < bwf::kMaxTracks ? highest + 1 : 0;
    for (int n = 1; chosen == 0 && n <= bwf::kMaxTracks; ++n)
        if (!present[size_t(n - 1)])
            chosen = n;
    if (chosen > 0) {
        take.trackIndex = chosen - 1;
    } else if (take.create) {
        take.create = false;
        take.reason = QStringLiteral("the take is full: all 24 tracks are present");
    }
}

// Sources and silence of the take; one that was to get a track and that no
// usable source covers is skipped. An unreadable take is all silence.
void coverTake(ConformTake& take, const ConformTakeFormat& format, const QVector<ConformSource>& sources,
               const QVector<int>& byStart)
{
    if (!take.readable) {
        take.silence.append(qMakePair(qint64(0), take.frames));
        return;
    }
    const bool wasCreate = take.create;
    matchSources(take, format, sources, byStart);
    if (wasCreate && take.create && take.ranges.isEmpty()) {
        take.create = false;
        take.reason = take.excluded.isEmpty() ? QStringLiteral("no source covers this take")
                                              : QStringLiteral("no usable source");
    }
}

// The track-name files of the sources, each read at most once per plan,
// and only for a source that names a planned track.
class SourceTrackNames
{
public:
    explicit SourceTrackNames(const ConformPlan& plan)
        : m_plan(plan), m_names(plan.sources.size()), m_read(plan.sources.size(), false)
    {
    }

    const QString& of(int source)
    {
        if (!m_read.at(source)) {
            LoadTrackNameFromSnlFile(m_plan.sourceFolder, m_plan.sources.at(source).fileName, m_names[source]);
            m_read[source] = true;
        }
        return m_names.at(source);
    }

private:
    const ConformPlan& m_plan;
    QVector<QString> m_names;
    QVector<bool> m_read;
};

// "planned" with its track name (given, else the main source's), or "skipped".
void settleTake(ConformTake& take, const ConformRequest& request, SourceTrackNames& names)
{
    if (!take.create) {
        take.result = QStringLiteral("skipped");
        return;
    }
    take.result = QStringLiteral("planned");
    take.trackName = request.hasTrackName ? request.trackName : names.of(take.ranges.at(take.mainRange).source);
}

} // namespace

ConformPlan BuildConformPlan(const ConformRequest& request)
{
    ConformPlan plan;
    plan.sourceFolder = absoluteClean(request.sourceFolder);
    plan.sourceChannel = request.sourceChannel;
    plan.targetFolder = absoluteClean(request.targetFolder);

    const QVector<int> byStart = readSources(plan);
    SourceTrackNames trackNames(plan);

    // Takes: the target table's grouping and quick assembly, in its order.
    MyFileInfoList listing;
    listing.LoadEntryInfoList(plan.targetFolder, QStringList{QStringLiteral(".WAV")});
    const QVector<TakeKey> keys = GroupListingIntoTakes(listing);
    plan.unknownFileIds = unknownFileIds(request.fileIds, keys);

    for (const TakeKey& key : keys) {
        if (!request.fileIds.isEmpty() && !request.fileIds.contains(key.fileId))
            continue;
        ConformTake take;
        ConformTakeFormat format;
        const std::unique_ptr<QSoundPerform> record =
            assembleTake(take, format, key, listing, request.sourceChannel);
        const TrackPresence present = checkTakeFiles(take, key, listing, *record);
        refuseUnfitTake(take, key, *record);
        if (take.readable && key.mono && !record->m_bPoly)
            chooseTrack(take, request.track, present);
        coverTake(take, format, plan.sources, byStart);
        settleTake(take, request, trackNames);
        plan.takes.append(take);
    }
    return plan;
}
