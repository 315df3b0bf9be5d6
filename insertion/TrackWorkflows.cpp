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

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <array>

namespace {

using TrackTexts = std::array<QString, bwf::kMaxTracks>;

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

// Path of the file of track number n (1-based) of the take with this key.
QString trackFilePath(const QString& takeKey, int n)
{
    return takeKey + QLatin1Char('_') + TrkIndexToNN(n) + QLatin1String(".WAV");
}

void padIxml(QString& text)
{
    if (text.size() < bwf::kIxmlPaddedLength)
        text += QString(bwf::kIxmlPaddedLength - text.size(), QLatin1Char(' '));
}

void logAction(const QString& command, const char* action, const QString& file, bool ok,
               const QString& to = QString(), const QString& detail = QString())
{
    ActionLog::Entry e;
    e.command = command;
    e.action = QString::fromLatin1(action);
    e.file = file;
    e.to = to;
    e.ok = ok;
    e.detail = detail;
    ActionLog::Append(e);
}

// Brings every present file of a take to the length of the longest with a
// filler chunk at its end, so that the take stays one take. A difference below
// a chunk header's 8 bytes cannot be filled: every file then gets 8 more.
bool equaliseLengths(const TrackTexts& paths, const QString& title, const QString& logCommand)
{
    bool allDone = true;
    qint64 longest = 0;
    for (const QString& p : paths)
        if (!p.isEmpty())
            longest = qMax(longest, QFileInfo(p).size());
    for (const QString& p : paths) {
        const qint64 missing = p.isEmpty() ? 0 : longest - QFileInfo(p).size();
        if (missing > 0 && missing < bwf::kChunkHeaderBytes) {
            longest += bwf::kChunkHeaderBytes;
            break;
        }
    }
    for (const QString& p : paths) {
        if (p.isEmpty())
            continue;
        const qint64 missing = longest - QFileInfo(p).size();
        if (missing <= 0)
            continue;
        QSoundFile sf;
        sf.InitVariables();
        bool ok = missing <= qint64(0xFFFFFFFFu) && sf.Open(p, 2) && sf.ReadChunks(true, false)
                  && sf.AppendFillerChunk(quint32(missing));
        sf.Close();
        logAction(logCommand, "write", p, ok, QString(), QStringLiteral("filler chunk of %1 bytes").arg(missing));
        if (!ok) {
            SendToRelay(title, p + QLatin1String("\nUnable to bring this file to the length of the take's other files."),
                        0, 0, true, 0);
            allDone = false;
        }
    }
    return allDone;
}

// What the update pass does beyond the common steps.
struct UpdateOptions
{
    int newTrackIndex = -1;       // create: the new track's entries are set
    QString newTrackName;
    bool absentYesBecomesNo = false;
    QString logCommand;           // the command named in the action log
};


// Rereads the per-track entries of every present track file of the take,
// merges, regenerates each file's iXML and writes it back in place. A file
// that cannot be opened for the update keeps its old iXML (its Open reports
// it); returns false when any present file could not be updated.
bool updateTakeIxml(const QString& takeKey, const UpdateOptions& options, const QString& title)
{
    TrackTexts paths, names, grids, pans, actives, texts;
    for (int i = 0; i < bwf::kMaxTracks; ++i) {
        const QString p = trackFilePath(takeKey, i + 1);
        if (QFileInfo(p).isFile())
            paths[size_t(i)] = p;
        MyQDebug("To be checked %s", local8(p).constData());
    }

    // Read pass.
    int readable = 0;
    for (int i = 0; i < bwf::kMaxTracks; ++i) {
        if (paths[size_t(i)].isEmpty())
            continue;
        QSoundFile sf;
        sf.InitVariables();
        if (sf.Open(paths[size_t(i)], 0)) {
            if (sf.ReadChunks(true, false) && sf.GetiXMLFileInfos()) {
                names[size_t(i)] = sf.GetiXMLVeltaTracknames(i);
                grids[size_t(i)] = sf.GetiXMLVeltaTrackInGrid(i);
                pans[size_t(i)] = sf.GetiXMLVeltaTrackPanPot(i);
                actives[size_t(i)] = sf.GetiXMLVeltaTrackActive(i);
                ++readable;
            }
            sf.Close();
        }
    }

    if (options.newTrackIndex >= 0 && options.newTrackIndex < bwf::kMaxTracks) {
        const size_t t = size_t(options.newTrackIndex);
        names[t] = options.newTrackName;
        grids[t] = QString();
        pans[t] = QStringLiteral("0,0");
        actives[t] = QStringLiteral("YES");
    }
    if (options.absentYesBecomesNo) {
        for (int i = 0; i < bwf::kMaxTracks; ++i)
            if (paths[size_t(i)].isEmpty() && actives[size_t(i)] == QLatin1String("YES"))
                actives[size_t(i)] = QStringLiteral("NO");
    }

    bool allUpdated = true;

    // Generate pass.
    for (int i = 0; i < bwf::kMaxTracks; ++i) {
        if (paths[size_t(i)].isEmpty())
            continue;
        QSoundFile sf;
        sf.InitVariables();
        if (!sf.Open(paths[size_t(i)], 2)) {
            MyQDebug("To doesn'exist %s", local8(paths[size_t(i)]).constData());
            SendToRelay(title, paths[size_t(i)] + QLatin1String("\nUnable to open this file for writing: its iXML chunk was not updated."),
                        0, 0, true, 0);
            paths[size_t(i)].clear();
            allUpdated = false;
            continue;
        }
        MyQDebug("To be checked %s", local8(paths[size_t(i)]).constData());
        if (sf.ReadChunks(true, false)) {
            if (sf.GetiXMLFileInfos())
                sf.SetiXMLTotalFiles(i, readable, false);
            sf.SetiXMLVeltaAllTrkInfos(names.data(), pans.data(), actives.data(), grids.data());
            texts[size_t(i)] = sf.GenerateiXMLChunkMono(i);
        }
        sf.Close();
    }

    for (int i = 0; i < bwf::kMaxTracks; ++i)
        if (!paths[size_t(i)].isEmpty())
            padIxml(texts[size_t(i)]);

    // Write pass. The take's files are one length when it starts (the take
    // model refuses them otherwise); a file whose iXML had to move to its end
    // grows, and the others are brought to its length afterwards.
    qint64 commonSize = -1;
    for (int i = 0; i < bwf::kMaxTracks && commonSize != -2; ++i) {
        if (paths[size_t(i)].isEmpty())
            continue;
        const qint64 size = QFileInfo(paths[size_t(i)]).size();
        commonSize = commonSize == -1 || commonSize == size ? size : -2;
    }
    for (int i = 0; i < bwf::kMaxTracks; ++i) {
        if (paths[size_t(i)].isEmpty())
            continue;
        if (texts[size_t(i)].trimmed().isEmpty()) {
            allUpdated = false;   // its chunks could not be read (reported then)
            continue;
        }
        QSoundFile sf;
        sf.InitVariables();
        if (!sf.Open(paths[size_t(i)], 2)) {
            SendToRelay(title, paths[size_t(i)] + QLatin1String("\nUnable to open this file for writing: its iXML chunk was not updated."),
                        0, 0, true, 0);
            allUpdated = false;
            continue;
        }
        const bool written = sf.ReadChunks(true, false) && sf.AddiXMLChunk(texts[size_t(i)]);
        sf.Close();
        logAction(options.logCommand, "update iXML", paths[size_t(i)], written);
        if (!written)
            allUpdated = false;
    }
    if (commonSize >= 0 && !equaliseLengths(paths, title, options.logCommand))
        allUpdated = false;
    return allUpdated;
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

    MyFileInfoList listing;
    listing.LoadEntryInfoList(request.targetFolder, QStringList{QStringLiteral(".WAV")});

    // The window has already told the user to select a source.
    if (request.sourcePath.isEmpty())
        error = true;
    else if (listing.count() == 0)
        error = true;

    if (request.fileIds.isEmpty()) {
        SendToRelay(QStringLiteral("QMainWindow::OnPushButton_CreateSoundTrack()"),
                    QStringLiteral("No file selected in target zone\n Use Analyse to identify the compatible target takes."),
                    0, 1, true, 0);
        return result;
    }

    const QString logCommand = QStringLiteral("create --track %1 %2")
                                   .arg(request.trackIndex + 1)
                                   .arg(QFileInfo(request.sourcePath).fileName());
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
        const QString path = request.targetFolder + QLatin1Char('/') + fileName;
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
        MyQDebug("  PathCib %s", local8(request.targetFolder).constData());
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
            const bool failed = mixer.SonalignMono(request.sourcePath, request.targetFolder,
                                                   AudioPathFileShortenedToRacine(fileName), request.trackIndex,
                                                   newTrackName, take.get(), goOn, &newName);
            const QString trackPath = trackFilePath(takeKey, request.trackIndex + 1);
            logAction(logCommand, "write", trackPath, !failed);
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
        UpdateOptions options;
        options.newTrackIndex = request.trackIndex;
        options.newTrackName = newTrackName;
        options.absentYesBecomesNo = true;
        options.logCommand = logCommand;
        // A file that kept its old iXML has been reported; the other takes
        // are still handled, but the run does not count as a success.
        if (!updateTakeIxml(takeKey, options, title))
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
    const QString logCommand = QStringLiteral("delete --track %1").arg(n);

    MyFileInfoList listing;
    listing.LoadEntryInfoList(request.targetFolder, QStringList{QStringLiteral(".WAV")});

    if (request.fileIds.isEmpty()) {
        SendToRelay(QStringLiteral("QMainWindow::OnPushButton_DeleteSoundTrack()"),
                    QStringLiteral("No file selected in target area."), 0, 1, true, 0);
        return result;
    }
    if (listing.count() == 0)
        return result;
    emit signal_TakeCount(request.fileIds.size());


    // Hiding pass.
    int handled = 0;
    for (const QString& tag : request.fileIds) {
        const QString racine = lookUpMonoTake(listing, request.targetFolder, tag, "  --- clean track process (DELETE !!!)---", title);
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
                    logAction(logCommand, "hide", trackFile, true, candidate);
                    hidden = true;
                } else if (!QFileInfo::exists(candidate)) {
                    break;   // not a name clash: the rename itself fails
                }
            }
            if (!hidden) {
                logAction(logCommand, "hide", trackFile, false);
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
            const QString racine = lookUpMonoTake(listing, request.targetFolder, tag, "  --- clean track process ---", title);
            if (racine.isEmpty()) {
                error = true;
                break;
            }
            UpdateOptions options;
            options.logCommand = logCommand;
            if (!updateTakeIxml(racine, options, title))
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

    MyFileInfoList listing;
    listing.LoadEntryInfoList(request.targetFolder, QStringList{QStringLiteral(".WAV")});
    if (request.fileIds.isEmpty()) {
        SendToRelay(QStringLiteral("QMainWindow::OnPushButton_RestoreSoundTrack()"),
                    QStringLiteral("No file selected in target area."), 0, 1, true, 0);
        return result;
    }
    if (listing.count() == 0)
        return result;

    // Check pass: every take is found, mono and free at track n before any
    // file moves, so a refusal changes nothing.
    struct Planned
    {
        QString tag, takeKey, hidden;
    };
    QList<Planned> plan;
    for (const QString& tag : request.fileIds) {
        const QString takeKey = lookUpMonoTake(listing, request.targetFolder, tag, "  --- restore track process ---", title);
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
            logAction(logCommand, "restore", p.hidden, renamed, trackFile);
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
            UpdateOptions options;
            options.absentYesBecomesNo = true;
            options.logCommand = logCommand;
            if (!updateTakeIxml(p.takeKey, options, title))
                updateFailed = true;
            ++result.takesHandled;
        }
        emit signal_TakesDone(++done);
    }
    result.success = !error && !updateFailed;
    return result;
}
