// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FolderLock.h"

#include <QObject>
#include <QString>
#include <QStringList>

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
};

struct DeleteTrackRequest
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
};

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
