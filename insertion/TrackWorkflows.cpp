// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrackWorkflows.h"

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
#include "TakeUpdatePass.h"

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
    if (lock.lock(folder, wait.timeoutMs, wait.onWait) == FolderLock::Result::Acquired)
        return true;
    SendToRelay(title, lock.errorText(), 0, 1, true, 0);
    return false;
}

// Path of the classic-family file of track number n (1-based) of the take
// with this key: the name a new track gets, and the one hiding looks for.
QString trackFilePath(const QString& takeKey, int n)
{
    return takeKey + QLatin1Char('_') + TrkIndexToNN(n) + QLatin1String(".WAV");
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
    bool localGoOn = true;
    bool* goOn = request.keepGoing ? request.keepGoing : &localGoOn;
    bool error = false;
    bool updateFailed = false;
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
    if (!lockFolder(lock, targetFolder, request.lockWait, title))
        return result;
    MyFileInfoList listing;
    listing.LoadEntryInfoList(targetFolder, QStringList{QStringLiteral(".WAV")});
    if (listing.count() == 0)
        error = true;

    emit signal_TakeCount(request.fileIds.size());
    for (int position = 0; position < request.fileIds.size() && !error; ++position) {
        const QString& tag = request.fileIds.at(position);
        const int first = findTakeByTag(listing, tag);
        if (first < 0) {
            SendToRelay(title, tag + QLatin1String("\nNo corresponding file found matching with this tag."), 0, 0, true, 0);
            error = true;
            break;
        }
        const QString fileName = listing.GetFileName(first);
        const QString path = targetFolder + QLatin1Char('/') + fileName;
        const QString takeKey = AudioPathFileShortenedToRacine(path);
        MyQDebug("TO BE Processed :%s [%s] %s ", local8(tag).constData(), local8(fileName).constData(),
                 local8(path).constData());
        MyQDebug("  --- sonalign track process ---");

        auto take = std::make_unique<QSoundPerform>();
        take->ResetVariables();
        if (!IsMonoFile(path)) {
            SendToRelay(title, tag + QLatin1String("\nOnly monophonic file can be used as target in the process."), 0, 0,
                        true, 0);
            error = true;
            break;
        }
        MyQDebug("  Source  %s", local8(path).constData());
        MyQDebug("  Pour ZZ %s", local8(takeKey).constData());
        MyQDebug("  PathCib %s", local8(targetFolder).constData());
        MyQDebug("  Cible   %s", local8(takeKey).constData());

        const QString newTrackName =
            request.hasTrackName ? request.trackName : QStringLiteral("SONALIGN %1").arg(position);

        if (!take->InitFilesZZ(takeKey, QStringLiteral("WAV"))) {
            SendToRelay(title, tag + QLatin1String("\nError during InitFilesZZ process."), 0, 0, true, 0);
            error = true;
            break;
        }

        {
            QSoundMixer mixer(nullptr);
            connect(&mixer, &QSoundMixer::signal_ProgressSize, this, &CreateTrackWorkflow::signal_ProgressSize,
                    Qt::DirectConnection);
            QString newName;
            const bool failed = mixer.SonalignMono(sourcePath, targetFolder,
                                                   AudioPathFileShortenedToRacine(fileName), request.trackIndex,
                                                   newTrackName, take.get(), goOn, &newName);
            if (failed) {
                SendToRelay(title, tag + QLatin1String("\nError during bounce Sonalign process."), 0, 0, true, 0);
                error = true;
            } else {
                result.createdFiles.append(newName);
            }
        }
        take.reset();
        if (error)
            break;

        // Update pass.
        TakeUpdateOptions options;
        options.newTrackIndex = request.trackIndex;
        options.newTrackName = newTrackName;
        options.absentYesBecomesNo = true;
        // A file that kept its old iXML has been reported; the other takes
        // are still handled, but the run does not count as a success.
        if (!RunTakeUpdatePass(takeKey, options, title))
            updateFailed = true;

        MyQDebug("  --- sonalign track process END ---");
        ++result.takesHandled;
        emit signal_TakesDone(result.takesHandled);
    }

    result.success = !error && !updateFailed;
    return result;
}

DeleteTrackWorkflow::DeleteTrackWorkflow(QObject* parent)
    : QObject(parent)
{
}

WorkflowResult DeleteTrackWorkflow::Run(const DeleteTrackRequest& request)
{
    const QString title = QStringLiteral("MainWindow::OnPushButton_DeleteSoundTrack()");
    WorkflowResult result;
    bool error = false;
    bool updateFailed = false;
    const int n = request.trackIndex + 1;

    const QString targetFolder = absoluteClean(request.targetFolder);

    if (request.fileIds.isEmpty()) {
        SendToRelay(QStringLiteral("QMainWindow::OnPushButton_DeleteSoundTrack()"),
                    QStringLiteral("No file selected in target area."), 0, 1, true, 0);
        return result;
    }
    FolderLock lock;
    if (!lockFolder(lock, targetFolder, request.lockWait, title))
        return result;
    MyFileInfoList listing;
    listing.LoadEntryInfoList(targetFolder, QStringList{QStringLiteral(".WAV")});
    if (listing.count() == 0)
        return result;
    emit signal_TakeCount(request.fileIds.size());

    // Looks the take up and checks it is mono; reports and returns an empty key on failure.
    auto lookUp = [&](const QString& tag, const char* banner) -> QString {
        const int first = findTakeByTag(listing, tag);
        if (first < 0) {
            SendToRelay(title, tag + QLatin1String("\nNo corresponding file found matching with this tag."), 0, 0, true, 0);
            return QString();
        }
        const QString fileName = listing.GetFileName(first);
        const QString path = targetFolder + QLatin1Char('/') + fileName;
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
        MyQDebug("  PathCib %s", local8(targetFolder).constData());
        MyQDebug("  Cible   %s", local8(racine).constData());
        return racine;
    };

    // Hiding pass.
    int handled = 0;
    for (const QString& tag : request.fileIds) {
        const QString racine = lookUp(tag, "  --- clean track process (DELETE !!!)---");
        if (racine.isEmpty()) {
            error = true;
            break;
        }
        const QString trackFile = trackFilePath(racine, n);
        const QFileInfo info(trackFile);
        if (info.isFile()) {
            MyQDebug("To be deleted %s", local8(trackFile).constData());
            // Hidden files are the user's audio: take the first free number,
            // never replace an existing hidden file.
            const QString stem = info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QLatin1String(".DEL");
            bool hidden = false;
            for (int k = 1; k < 10000 && !hidden; ++k) {
                const QString candidate = stem + QString::number(k);
                if (QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink())
                    continue;
                if (FileWriteSeam::renameNoReplace(trackFile, candidate)) {
                    result.hiddenFiles.append(QFileInfo(candidate).fileName());
                    hidden = true;
                } else if (!QFileInfo::exists(candidate)) {
                    break;   // not a name clash: the rename itself fails
                }
            }
            if (!hidden) {
                SendToRelay(title, trackFile + QLatin1String("\nUnable to rename this file: the track was not hidden."),
                            0, 0, true, 0);
                error = true;
                break;
            }
        }
        ++handled;
        emit signal_HiddenCount(handled);
    }

    // Update pass.
    if (!error) {
        int updated = 0;
        for (const QString& tag : request.fileIds) {
            const QString racine = lookUp(tag, "  --- clean track process ---");
            if (racine.isEmpty()) {
                error = true;
                break;
            }
            if (!RunTakeUpdatePass(racine, TakeUpdateOptions(), title))
                updateFailed = true;
            MyQDebug("  --- clean track process END ---");
            ++updated;
            emit signal_UpdatedCount(updated);
        }
        result.takesHandled = updated;
    }

    result.success = !error && !updateFailed;
    return result;
}
