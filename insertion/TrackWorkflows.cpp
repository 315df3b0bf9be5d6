// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrackWorkflows.h"

#include "ActionLog.h"
#include "BwfRecords.h"
#include "DebugOutput.h"
#include "FileNaming.h"
#include "FileWriteSeam.h"
#include "MessageLoging.h"
#include "MyFileInfoList.h"
#include "QSoundFile.h"
#include "QSoundMixer.h"
#include "QSoundPerform.h"
#include "TakeGrouping.h"
#include "TakeJournal.h"
#include "TakeUpdatePass.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <array>

namespace {


QByteArray local8(const QString& s) { return s.toLocal8Bit(); }

// The take whose first file (in listing order) has the file ID `tag`: a file
// starts a take when its racine differs from the racine of the file before it.
// Returns the listing index of that first file, or -1.
int findTakeByTag(const MyFileInfoList& listing, const QString& tag)
{
    // The grouping that made the table's rows: a tag always finds the take
    // its row shows.
    for (const TakeKey& take : GroupListingIntoTakes(listing))
        if (take.fileId == tag)
            return take.listingIndex;
    return -1;
}

// Metadata derived from a path (file name, take number, project) must not
// depend on how the user typed it.
QString absoluteClean(const QString& path)
{
    return path.isEmpty() ? path : QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath());
}

// Takes the folder's lock for this run; reports and returns false when
// another run holds it (past the caller's wait) or the folder cannot be locked.
bool lockFolder(FolderLock& lock, const QString& folder, const FolderLockWait& wait, const QString& title)
{
    if (lock.lock(folder, wait.timeoutMs, wait.onWait) != FolderLock::Result::Acquired) {
        SendToRelay(title, lock.errorText(), 0, 1, true, 0);
        return false;
    }
    // A take left half-changed by an interrupted run is put back first.
    return TakeJournal::RecoverFolder(folder, title) != TakeJournal::Recovery::Failed;
}

// Path of the classic-family file of track number n (1-based) of the take
// with this key: the name a new track gets, and the one hiding looks for.
QString trackFilePath(const QString& takeKey, int n)
{
    return takeKey + QLatin1Char('_') + TrkIndexToNN(n) + QLatin1String(".WAV");
}

// Looks the take of `tag` up and checks it is mono; reports and returns an
// empty key on failure, else the take's key (folder + racine).
QString lookUpMonoTake(const MyFileInfoList& listing, const QString& folder, const QString& tag, const char* banner,
                       const QString& title)
{
    const int first = findTakeByTag(listing, tag);
    if (first < 0) {
        SendToRelay(title, tag + QLatin1String("\nNo corresponding file found matching with this tag."), 0, 0, true, 0);
        return QString();
    }
    const QString fileName = listing.GetFileName(first);
    const QString path = folder + QLatin1Char('/') + fileName;
    MyQDebug("TO BE Processed :%s [%s] %s ", local8(tag).constData(), local8(fileName).constData(),
             local8(path).constData());
    MyQDebug("%s", banner);
    if (!IsMonoFile(path)) {
        SendToRelay(title, tag + QLatin1String("\nOnly monophonic file can be used as target in the process."), 0, 0,
                    true, 0);
        return QString();
    }
    const QString racine = AudioPathFileShortenedToRacine(path);
    MyQDebug("  Source  %s", local8(path).constData());
    MyQDebug("  Pour ZZ %s", local8(racine).constData());
    MyQDebug("  PathCib %s", local8(folder).constData());
    MyQDebug("  Cible   %s", local8(racine).constData());
    return racine;
}

// What every run that changes a folder starts with: the folder's lock (and,
// with it, the roll-back of a take an interrupted run left), then the listing
// the tags are looked up in. False when the lock could not be had.
bool beginRun(FolderLock& lock, MyFileInfoList& listing, const QString& folder, const FolderLockWait& wait,
              const QString& title)
{
    if (!lockFolder(lock, folder, wait, title))
        return false;
    listing.LoadEntryInfoList(folder, QStringList{QStringLiteral(".WAV")});
    return true;
}

// Hides one track file under the first free ".DELn" name: hidden files are
// the user's audio, never replaced. The new name, or empty (reported).
QString hideTrackFile(const QString& trackFile, const QString& logCommand, const QString& title)
{
    MyQDebug("To be deleted %s", local8(trackFile).constData());
    const QFileInfo info(trackFile);
    const QString stem = info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QLatin1String(".DEL");
    for (int k = 1; k < 10000; ++k) {
        const QString candidate = stem + QString::number(k);
        if (QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink())
            continue;
        if (FileWriteSeam::renameNoReplace(trackFile, candidate)) {
            ActionLog::Append(logCommand, QStringLiteral("hide"), trackFile, true, candidate);
            return candidate;
        }
        if (!QFileInfo::exists(candidate))
            break;   // not a name clash: the rename itself fails
    }
    ActionLog::Append(logCommand, QStringLiteral("hide"), trackFile, false);
    SendToRelay(title, trackFile + QLatin1String("\nUnable to rename this file: the track was not hidden."), 0, 0, true,
                0);
    return QString();
}

} // namespace

CreateTrackWorkflow::CreateTrackWorkflow(QObject* parent)
    : QObject(parent)
{
}

WorkflowResult CreateTrackWorkflow::Run(const CreateTrackRequest& request)
{
    const QString title = QStringLiteral("MainWindow::OnPushButton_CreateSoundTrack()");
    WorkflowResult result;
    const QString targetFolder = absoluteClean(request.targetFolder);
    const QString sourcePath = absoluteClean(request.sourcePath);

    if (request.fileIds.isEmpty()) {
        SendToRelay(QStringLiteral("QMainWindow::OnPushButton_CreateSoundTrack()"),
                    QStringLiteral("No file selected in target zone\n Use Analyse to identify the compatible target takes."),
                    0, 1, true, 0);
        return result;
    }
    // The window has already told the user to select a source.
    if (sourcePath.isEmpty())
        return result;

    FolderLock lock;
    MyFileInfoList listing;
    if (!beginRun(lock, listing, targetFolder, request.lockWait, title))
        return result;
    bool error = listing.count() == 0;
    bool updateFailed = false;
    const QString logCommand = QStringLiteral("create --track %1 %2")
                                   .arg(request.trackIndex + 1)
                                   .arg(QFileInfo(sourcePath).fileName());
    emit signal_TakeCount(request.fileIds.size());
    for (int position = 0; position < request.fileIds.size() && !error; ++position) {
        const QString takeKey = lookUpMonoTake(listing, targetFolder, request.fileIds.at(position),
                                               "  --- sonalign track process ---", title);
        const TakeOutcome outcome = takeKey.isEmpty()
            ? TakeOutcome::Failed
            : CreateOnTake(request, sourcePath, takeKey, position, logCommand, title, result);
        error = outcome == TakeOutcome::Failed;
        updateFailed = updateFailed || outcome == TakeOutcome::UpdateFailed;
    }
    result.success = !error && !updateFailed;
    return result;
}

// One take: the new file, then the take's update pass.
CreateTrackWorkflow::TakeOutcome CreateTrackWorkflow::CreateOnTake(const CreateTrackRequest& request,
                                                                   const QString& sourcePath, const QString& takeKey,
                                                                   int position, const QString& logCommand,
                                                                   const QString& title, WorkflowResult& result)
{
    const QString& tag = request.fileIds.at(position);
    const QString newTrackName =
        request.hasTrackName ? request.trackName : QStringLiteral("SONALIGN %1").arg(position);
    {
        auto take = std::make_unique<QSoundPerform>();
        take->ResetVariables();
        if (!take->InitFilesZZ(takeKey, QStringLiteral("WAV"))) {
            SendToRelay(title, tag + QLatin1String("\nError during InitFilesZZ process."), 0, 0, true, 0);
            return TakeOutcome::Failed;
        }
        QSoundMixer mixer(nullptr);
        mixer.SetSourceOptions({request.sourceChannel, request.dither, request.ditherSeed});
        connect(&mixer, &QSoundMixer::signal_ProgressSize, this, &CreateTrackWorkflow::signal_ProgressSize,
                Qt::DirectConnection);
        bool localGoOn = true;
        QString newName;
        const bool failed = mixer.SonalignMono(sourcePath, QFileInfo(takeKey).absolutePath(),
                                               QFileInfo(takeKey).fileName(), request.trackIndex, newTrackName,
                                               take.get(), request.keepGoing ? request.keepGoing : &localGoOn, &newName);
        ActionLog::Append(logCommand, QStringLiteral("write"), trackFilePath(takeKey, request.trackIndex + 1), !failed);
        if (failed) {
            SendToRelay(title, tag + QLatin1String("\nError during bounce Sonalign process."), 0, 0, true, 0);
            return TakeOutcome::Failed;
        }
        result.createdFiles.append(newName);
    }

    TakeUpdateOptions options;
    options.newTrackIndex = request.trackIndex;
    options.newTrackName = newTrackName;
    options.absentYesBecomesNo = true;
    options.logCommand = logCommand;
    // A file that kept its old iXML has been reported; the other takes are
    // still handled, but the run does not count as a success.
    const bool updated = RunTakeUpdatePass(takeKey, options, title);
    MyQDebug("  --- sonalign track process END ---");
    ++result.takesHandled;
    emit signal_TakesDone(result.takesHandled);
    return updated ? TakeOutcome::Done : TakeOutcome::UpdateFailed;
}

DeleteTrackWorkflow::DeleteTrackWorkflow(QObject* parent)
    : QObject(parent)
{
}

WorkflowResult DeleteTrackWorkflow::Run(const DeleteTrackRequest& request)
{
    const QString title = QStringLiteral("MainWindow::OnPushButton_DeleteSoundTrack()");
    WorkflowResult result;
    const int n = request.trackIndex + 1;
    const QString logCommand = QStringLiteral("delete --track %1").arg(n);
    const QString targetFolder = absoluteClean(request.targetFolder);

    if (request.fileIds.isEmpty()) {
        SendToRelay(QStringLiteral("QMainWindow::OnPushButton_DeleteSoundTrack()"),
                    QStringLiteral("No file selected in target area."), 0, 1, true, 0);
        return result;
    }
    FolderLock lock;
    MyFileInfoList listing;
    if (!beginRun(lock, listing, targetFolder, request.lockWait, title) || listing.count() == 0)
        return result;
    emit signal_TakeCount(request.fileIds.size());

    // Hiding pass: a take without the track is passed over.
    int handled = 0;
    for (const QString& tag : request.fileIds) {
        const QString racine = lookUpMonoTake(listing, targetFolder, tag, "  --- clean track process (DELETE !!!)---", title);
        if (racine.isEmpty())
            return result;
        const QString trackFile = trackFilePath(racine, n);
        if (QFileInfo(trackFile).isFile()) {
            const QString hidden = hideTrackFile(trackFile, logCommand, title);
            if (hidden.isEmpty())
                return result;
            result.hiddenFiles.append(QFileInfo(hidden).fileName());
        }
        emit signal_HiddenCount(++handled);
    }

    // Update pass, once every take is hidden.
    bool updateFailed = false;
    for (const QString& tag : request.fileIds) {
        const QString racine = lookUpMonoTake(listing, targetFolder, tag, "  --- clean track process ---", title);
        if (racine.isEmpty())
            return result;
        TakeUpdateOptions options;
        options.logCommand = logCommand;
        if (!RunTakeUpdatePass(racine, options, title))
            updateFailed = true;
        MyQDebug("  --- clean track process END ---");
        emit signal_UpdatedCount(++result.takesHandled);
    }
    result.success = !updateFailed;
    return result;
}

QList<TakeTracks> TracksOfTakes(const QString& targetFolder, const QStringList& fileIds)
{
    QList<TakeTracks> takes;
    MyFileInfoList listing;
    listing.LoadEntryInfoList(targetFolder, QStringList{QStringLiteral(".WAV")});
    if (listing.count() == 0)
        return takes;
    const QVector<TakeKey> keys = GroupListingIntoTakes(listing);
    // One listing of the hidden files for all takes, not one per track.
    QDir folder(targetFolder);
    folder.setNameFilters(QStringList{QStringLiteral("*.DEL*")});
    folder.setFilter(QDir::Files | QDir::Hidden | QDir::CaseSensitive);
    const QStringList hiddenNames = folder.entryList();
    for (const QString& tag : fileIds) {
        for (const TakeKey& key : keys) {
            if (key.fileId != tag)
                continue;
            const QString path = targetFolder + QLatin1Char('/') + listing.GetFileName(key.listingIndex);
            if (!IsMonoFile(path))
                break;
            TakeTracks t;
            t.fileId = tag;
            t.takeKey = AudioPathFileShortenedToRacine(path);
            t.present.resize(bwf::kMaxTracks);
            t.hidden.resize(bwf::kMaxTracks);
            for (int n = 1; n <= bwf::kMaxTracks; ++n) {
                t.present[n - 1] = QFileInfo(trackFilePath(t.takeKey, n)).isFile();
                const QString stem = QFileInfo(trackFilePath(t.takeKey, n)).completeBaseName() + QLatin1String(".DEL");
                for (const QString& name : hiddenNames) {
                    bool isNumber = false;
                    if (name.startsWith(stem) && name.mid(stem.size()).toInt(&isNumber, 10) > 0 && isNumber) {
                        t.hidden[n - 1] = true;
                        break;
                    }
                }
            }
            takes.append(t);
            break;
        }
    }
    return takes;
}

RestoreTrackWorkflow::RestoreTrackWorkflow(QObject* parent)
    : QObject(parent)
{
}

QString RestoreTrackWorkflow::NewestHiddenFile(const QString& takeKey, int n)
{
    const QFileInfo track(trackFilePath(takeKey, n));
    const QString hiddenStem = track.completeBaseName() + QLatin1String(".DEL");
    QDir folder(track.absolutePath());
    folder.setNameFilters(QStringList{hiddenStem + QLatin1Char('*')});
    folder.setFilter(QDir::Files | QDir::Hidden | QDir::System | QDir::CaseSensitive);
    // Newest = the last one renamed (a rename sets the change time); the
    // delete takes the first free number, so after hidden files were removed
    // by hand the highest number need not be the newest. Equal times (a
    // coarse clock) fall back to the higher number.
    QString newest;
    QDateTime newestTime;
    int newestNumber = 0;
    for (const QFileInfo& info : folder.entryInfoList()) {
        if (info.isSymLink() || !info.isFile() || !info.fileName().startsWith(hiddenStem))
            continue;
        bool ok = false;
        const int number = info.fileName().mid(hiddenStem.size()).toInt(&ok, 10);
        if (!ok || number < 1 || info.fileName().mid(hiddenStem.size()) != QString::number(number))
            continue;
        const QDateTime changed = info.metadataChangeTime();
        if (newest.isEmpty() || changed > newestTime || (changed == newestTime && number > newestNumber)) {
            newest = info.absoluteFilePath();
            newestTime = changed;
            newestNumber = number;
        }
    }
    return newest;
}

WorkflowResult RestoreTrackWorkflow::Run(const RestoreTrackRequest& request)
{
    const QString title = QStringLiteral("MainWindow::OnPushButton_RestoreSoundTrack()");
    WorkflowResult result;
    const int n = request.trackIndex + 1;
    const QString logCommand = QStringLiteral("restore --track %1").arg(n);

    const QString targetFolder = absoluteClean(request.targetFolder);
    if (request.fileIds.isEmpty()) {
        SendToRelay(QStringLiteral("QMainWindow::OnPushButton_RestoreSoundTrack()"),
                    QStringLiteral("No file selected in target area."), 0, 1, true, 0);
        return result;
    }
    FolderLock lock;
    MyFileInfoList listing;
    if (!beginRun(lock, listing, targetFolder, request.lockWait, title) || listing.count() == 0)
        return result;

    // Check pass: every take is found, mono and free at track n before any
    // file moves, so a refusal changes nothing.
    struct Planned
    {
        QString tag, takeKey, hidden;
    };
    QList<Planned> plan;
    for (const QString& tag : request.fileIds) {
        const QString takeKey = lookUpMonoTake(listing, targetFolder, tag, "  --- restore track process ---", title);
        if (takeKey.isEmpty())
            return result;
        const QString trackFile = trackFilePath(takeKey, n);
        const QFileInfo info(trackFile);
        if (info.exists() || info.isSymLink()) {
            SendToRelay(title, trackFile + QStringLiteral("\nTrack %1 is occupied: nothing was restored.").arg(n), 0, 0,
                        true, 0);
            return result;
        }
        plan.append(Planned{tag, takeKey, NewestHiddenFile(takeKey, n)});
    }

    emit signal_TakeCount(plan.size());
    bool error = false;
    bool updateFailed = false;
    int done = 0;
    for (const Planned& p : plan) {
        if (p.hidden.isEmpty()) {
            SendToRelay(title, p.tag + QStringLiteral("\nNo hidden file of track %1: this take was passed over.").arg(n), 0,
                        2, true, 0);
        } else {
            const QString trackFile = trackFilePath(p.takeKey, n);
            // Never over a file that appeared since the check.
            const bool renamed = FileWriteSeam::renameNoReplace(p.hidden, trackFile);
            ActionLog::Append(logCommand, QStringLiteral("restore"), p.hidden, renamed, trackFile);
            if (!renamed) {
                SendToRelay(title, p.hidden + QLatin1String("\nUnable to rename this file back to ")
                                       + QFileInfo(trackFile).fileName() + QLatin1String(": the track was not restored."),
                            0, 0, true, 0);
                error = true;
                break;
            }
            result.restoredFiles.append(QFileInfo(trackFile).fileName());
            // The restored file keeps its own entries (the read pass takes
            // each file's own track from that file); the others learn of it.
            TakeUpdateOptions options;
            options.absentYesBecomesNo = true;
            options.logCommand = logCommand;
            if (!RunTakeUpdatePass(p.takeKey, options, title))
                updateFailed = true;
            ++result.takesHandled;
        }
        emit signal_TakesDone(++done);
    }
    result.success = !error && !updateFailed;
    return result;
}
