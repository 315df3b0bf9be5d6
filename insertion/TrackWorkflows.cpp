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

// Brings every present file of a take to the length of the longest with a
// filler chunk at its end, so that the take stays one take. A difference below
// a chunk header's 8 bytes cannot be filled: every file then gets 8 more.
bool equaliseLengths(const TrackTexts& paths, const QString& title)
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
        if (!sf.ReadChunks(true, false) || !sf.AddiXMLChunk(texts[size_t(i)]))
            allUpdated = false;
        sf.Close();
    }
    if (commonSize >= 0 && !equaliseLengths(paths, title))
        allUpdated = false;
    return allUpdated;
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
            mixer.SetSourceOptions({request.sourceChannel, request.dither, request.ditherSeed});
            connect(&mixer, &QSoundMixer::signal_ProgressSize, this, &CreateTrackWorkflow::signal_ProgressSize,
                    Qt::DirectConnection);
            QString newName;
            const bool failed = mixer.SonalignMono(request.sourcePath, request.targetFolder,
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
        UpdateOptions options;
        options.newTrackIndex = request.trackIndex;
        options.newTrackName = newTrackName;
        options.absentYesBecomesNo = true;
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

    // Looks the take up and checks it is mono; reports and returns an empty key on failure.
    auto lookUp = [&](const QString& tag, const char* banner) -> QString {
        const int first = findTakeByTag(listing, tag);
        if (first < 0) {
            SendToRelay(title, tag + QLatin1String("\nNo corresponding file found matching with this tag."), 0, 0, true, 0);
            return QString();
        }
        const QString fileName = listing.GetFileName(first);
        const QString path = request.targetFolder + QLatin1Char('/') + fileName;
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
        MyQDebug("  PathCib %s", local8(request.targetFolder).constData());
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
            if (!updateTakeIxml(racine, UpdateOptions(), title))
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
