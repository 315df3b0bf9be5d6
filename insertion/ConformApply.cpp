// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConformApply.h"

#include "ActionLog.h"
#include "DebugOutput.h"
#include "MessageLoging.h"
#include "QSoundMixer.h"
#include "QSoundPerform.h"
#include "TakeJournal.h"
#include "TakeUpdatePass.h"

#include <memory>

const char* const ConformRun::kTitle = "ConformRun::Apply()";

ConformRun::ConformRun(QObject* parent)
    : QObject(parent)
{
}

bool ConformRun::LockAndRecover(FolderLock& lock, const QString& folder, const FolderLockWait& wait,
                                const QString& title)
{
    if (lock.lock(folder, wait.timeoutMs, wait.onWait) != FolderLock::Result::Acquired) {
        SendToRelay(title, lock.errorText(), 0, 1, true, 0);
        return false;
    }
    return TakeJournal::RecoverFolder(folder, title) != TakeJournal::Recovery::Failed;
}

bool ConformRun::Apply(ConformPlan& plan, bool* keepGoing)
{
    const QString title = QLatin1String(kTitle);
    bool localGoOn = true;
    bool* goOn = keepGoing ? keepGoing : &localGoOn;
    const int total = plan.plannedCount();
    int done = 0;
    bool allWritten = true;
    for (int i = 0; i < plan.takes.size(); ++i) {
        ConformTake& take = plan.takes[i];
        if (!take.create)
            continue;
        if (!*goOn) {
            // Cancelled between takes: the rest is not touched.
            for (int j = i; j < plan.takes.size(); ++j) {
                if (plan.takes[j].create && plan.takes[j].result == QLatin1String("planned")) {
                    plan.takes[j].result = QStringLiteral("skipped");
                    plan.takes[j].reason = QStringLiteral("the run was cancelled before this take");
                }
            }
            allWritten = false;
            break;
        }
        emit signal_TakeStarted(i, done, total);
        auto fail = [&](const QString& why) {
            SendToRelay(title, take.fileId + QLatin1Char('\n') + why, 0, 0, true, 0);
            take.result = QStringLiteral("failed");
            allWritten = false;
        };

        QVector<QSoundMixer::SourceRange> ranges;
        for (const ConformRange& r : take.ranges)
            ranges.append(QSoundMixer::SourceRange{plan.sources.at(r.source).path, r.takeFrom, r.takeTo, r.sourceFrom});

        // Read-only: the full assembly checks again that the files agree.
        auto record = std::make_unique<QSoundPerform>();
        record->ResetVariables();
        if (!record->InitFilesZZ(take.takeKey, QStringLiteral("WAV"))) {
            fail(QStringLiteral("Error during InitFilesZZ process."));
            emit signal_TakeFinished(i, false);
            ++done;
            continue;
        }

        TakeJournal journal;
        if (!journal.begin(plan.targetFolder, take.fileId)) {
            fail(journal.errorText());
            emit signal_TakeFinished(i, false);
            ++done;
            continue;
        }
        bool ok = true;
        {
            QSoundMixer mixer(nullptr);
            connect(&mixer, &QSoundMixer::signal_ProgressSize, this, &ConformRun::signal_ProgressSize,
                    Qt::DirectConnection);
            QString newName;
            const QString command = QStringLiteral("conform --track %1").arg(take.trackIndex + 1);
            if (mixer.SonalignRanges(ranges, take.mainRange, plan.targetFolder, take.racine, take.trackIndex,
                                     take.trackName, record.get(), goOn, &newName)) {
                fail(QStringLiteral("Error during bounce Sonalign process."));
                ok = false;
            }
            ActionLog::Entry e;
            e.command = command;
            e.action = QStringLiteral("write");
            e.file = plan.targetFolder + QLatin1Char('/') + take.racine + QLatin1Char('_')
                + QString::number(take.trackIndex + 1).rightJustified(2, QLatin1Char('0')) + QLatin1String(".WAV");
            e.ok = ok;
            ActionLog::Append(e);
        }
        record.reset();
        if (ok) {
            TakeUpdateOptions options;
            options.newTrackIndex = take.trackIndex;
            options.newTrackName = take.trackName;
            options.absentYesBecomesNo = true;
            options.logCommand = QStringLiteral("conform --track %1").arg(take.trackIndex + 1);
            if (!RunTakeUpdatePass(take.takeKey, options, title)) {
                fail(QStringLiteral("The take's files could not all be updated."));
                ok = false;
            }
        }
        if (ok && !journal.commit()) {
            fail(journal.errorText());
            ok = false;
        }
        bool putBack = true;
        if (!ok && journal.isOpen() && !(putBack = journal.rollBack()))
            SendToRelay(title,
                        take.fileId + QLatin1String("\nThe take could not be put back as it was (")
                            + journal.errorText()
                            + QLatin1String("); the next run on this folder tries again."),
                        0, 1, true, 0);
        if (!ok) {
            ActionLog::Entry e;
            e.command = QStringLiteral("conform --track %1").arg(take.trackIndex + 1);
            e.action = QStringLiteral("roll back");
            e.file = take.takeKey;
            e.ok = putBack;
            e.detail = QStringLiteral("every file of the take put back as it was");
            ActionLog::Append(e);
        }
        if (ok)
            take.result = QStringLiteral("written");
        MyQDebug("conform %s: %s", take.fileId.toLocal8Bit().constData(), take.result.toLocal8Bit().constData());
        ++done;
        emit signal_TakeFinished(i, ok);
    }
    return allWritten;
}
