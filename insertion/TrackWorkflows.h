// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FolderLock.h"
#include "SourceSampleReader.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

// The create and delete workflows, free of widgets: the window gathers its
// widgets' state (and asks for confirmation), the command-line tool parses its
// arguments, and both call these. Each run holds the target folder's lock
// while it changes files there, and works on absolute, clean paths whatever
// form the caller gave them in. Messages go through the relay with the
// window's titles; the result says whether the whole run succeeded.

struct CreateTrackRequest
{
    QString targetFolder;        // without trailing "/"
    QString sourcePath;          // full path; empty = no source selected
    int trackIndex = 0;          // 0 ... 23
    QStringList fileIds;         // tags, in selection order
    QString trackName;           // empty = the engine names it "T<n>"
    bool hasTrackName = true;    // false = the source row has no name entry: "SONALIGN <position of the take>"
    bool* keepGoing = nullptr;   // the caller's busy flag; null = always go on
    FolderLockWait lockWait;
    int sourceChannel = 0;       // 1-based channel of a multichannel source; 0 = the source must be mono
    DitherKind dither = DitherKind::None;   // where converting the source loses precision
    quint64 ditherSeed = 1;
};

struct DeleteTrackRequest
{
    QString targetFolder;
    int trackIndex = 0;
    QStringList fileIds;
    FolderLockWait lockWait;
};

// Undo of a hide: the newest hidden file of the track becomes its .WAV again.
struct RestoreTrackRequest
{
    QString targetFolder;
    int trackIndex = 0;
    QStringList fileIds;
    FolderLockWait lockWait;
};

struct WorkflowResult
{
    bool success = false;
    int takesHandled = 0;
    QStringList createdFiles;    // names of new track files
    QStringList hiddenFiles;     // new names of hidden track files
    QStringList restoredFiles;   // names of track files brought back
};

// Which tracks of each take are there (.WAV) and which have a hidden file,
// for the window's track choice and confirm boxes. Takes that cannot be
// found, or are not mono, are left out.
struct TakeTracks
{
    QString fileId;
    QString takeKey;                 // folder + racine
    QVector<bool> present;           // index = track number - 1, 24 entries
    QVector<bool> hidden;
};
QList<TakeTracks> TracksOfTakes(const QString& targetFolder, const QStringList& fileIds);

class CreateTrackWorkflow : public QObject
{
    Q_OBJECT
public:
    explicit CreateTrackWorkflow(QObject* parent = nullptr);
    WorkflowResult Run(const CreateTrackRequest& request);

signals:
    void signal_ProgressSize(qint64 percent);   // copy progress of the current take
    void signal_TakesDone(int count);            // takes handled so far
    void signal_TakeCount(int count);            // number of tags, before the first take

private:
    enum class TakeOutcome { Done, UpdateFailed, Failed };   // Failed stops the run
    TakeOutcome CreateOnTake(const CreateTrackRequest& request, const QString& sourcePath, const QString& takeKey,
                             int position, const QString& logCommand, const QString& title, WorkflowResult& result);
};

class DeleteTrackWorkflow : public QObject
{
    Q_OBJECT
public:
    explicit DeleteTrackWorkflow(QObject* parent = nullptr);
    // The confirmation is the caller's: call Run only after the user agreed.
    WorkflowResult Run(const DeleteTrackRequest& request);

signals:
    void signal_HiddenCount(int count);
    void signal_UpdatedCount(int count);
    void signal_TakeCount(int count);
};

class RestoreTrackWorkflow : public QObject
{
    Q_OBJECT
public:
    explicit RestoreTrackWorkflow(QObject* parent = nullptr);
    // Refuses the whole run, changing nothing, when any take's track is
    // occupied; a take without a hidden file of the track is passed over.
    // The confirmation is the caller's.
    WorkflowResult Run(const RestoreTrackRequest& request);

    // The hidden file a restore of track n (1-based) of the take with this
    // key would bring back; empty when there is none.
    static QString NewestHiddenFile(const QString& takeKey, int n);

signals:
    void signal_TakeCount(int count);
    void signal_TakesDone(int count);
};
