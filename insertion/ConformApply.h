// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ConformPlan.h"
#include "FolderLock.h"

#include <QObject>

class QSoundPerform;

// Applies a conform plan one take at a time, all or nothing per take: each
// take's changes are journalled (TakeJournal) and, when any step fails or the
// run is cancelled during the copy, every file of that take is put back byte
// for byte and the new file removed; the other takes go on. The caller holds
// the target folder's lock (LockAndRecover) for the whole run.
class ConformRun : public QObject
{
    Q_OBJECT
public:
    explicit ConformRun(QObject* parent = nullptr);

    // Sets each planned take's result to "written" or "failed". keepGoing
    // false stops before the next take (the current one is finished or rolled
    // back); takes not reached become "skipped", their reason saying so.
    // Returns true when every planned take was written.
    bool Apply(ConformPlan& plan, bool* keepGoing = nullptr);

    // Takes the folder's lock and rolls back a take left unfinished by an
    // interrupted run. False (reported under `title`) when the lock cannot be
    // had or the rollback fails; nothing may then be written in the folder.
    static bool LockAndRecover(FolderLock& lock, const QString& folder, const FolderLockWait& wait,
                               const QString& title);

    static const char* const kTitle;

signals:
    void signal_TakeStarted(int takeIndex, int done, int total);
    void signal_TakeFinished(int takeIndex, bool written);
    void signal_ProgressSize(qint64 percent);

private:
    // One planned take, all or nothing: written, or failed (reported) and
    // every file of it put back. Sets the take's result; false = not written.
    bool ApplyTake(ConformPlan& plan, ConformTake& take, bool* goOn);
    // The new track through the engine, its progress relayed, the attempt
    // logged; false = not written (reported).
    bool WriteNewTrack(const ConformPlan& plan, ConformTake& take, QSoundPerform* record, bool* goOn);
};
