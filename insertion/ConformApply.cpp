// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConformApply.h"

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
            if (mixer.SonalignRanges(ranges, take.mainRange, plan.targetFolder, take.racine, take.trackIndex,
                                     take.trackName, record.get(), goOn, &newName)) {
                fail(QStringLiteral("Error during bounce Sonalign process."));
                ok = false;
            }
        }
        record.reset();
        if (ok) {
            TakeUpdateOptions options;
            options.newTrackIndex = take.trackIndex;
            options.newTrackName = take.trackName;
            options.absentYesBecomesNo = true;
            if (!RunTakeUpdatePass(take.takeKey, options, title)) {
                fail(QStringLiteral("The take's files could not all be updated."));
                ok = false;
            }
        }
        if (ok && !journal.commit()) {
            fail(journal.errorText());
            ok = false;
        }
        if (!ok && journal.isOpen() && !journal.rollBack())
            SendToRelay(title,
                        take.fileId + QLatin1String("\nThe take could not be put back as it was (")
                            + journal.errorText()
                            + QLatin1String("); the next run on this folder tries again."),
                        0, 1, true, 0);
        if (ok)
            take.result = QStringLiteral("written");
        MyQDebug("conform %s: %s", take.fileId.toLocal8Bit().constData(), take.result.toLocal8Bit().constData());
        ++done;
        emit signal_TakeFinished(i, ok);
    }
    return allWritten;
}
