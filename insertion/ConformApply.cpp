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

namespace {

// A take that could not be written: one message, and its row says so.
void failTake(ConformTake& take, const QString& title, const QString& why)
{
    SendToRelay(title, take.fileId + QLatin1Char('\n') + why, 0, 0, true, 0);
    take.result = QStringLiteral("failed");
}

QString conformCommand(const ConformTake& take)
{
    return QStringLiteral("conform --track %1").arg(take.trackIndex + 1);
}

// Cancelled between takes: the takes from `from` on are not touched, and
// their rows say why.
void skipRest(ConformPlan& plan, int from)
{
    for (int j = from; j < plan.takes.size(); ++j) {
        if (plan.takes[j].create && plan.takes[j].result == QLatin1String("planned")) {
            plan.takes[j].result = QStringLiteral("skipped");
            plan.takes[j].reason = QStringLiteral("the run was cancelled before this take");
        }
    }
}

// Puts every file of a failed take back as the journal recorded it, and logs
// whether that worked; a rollback that fails is retried by the next run.
void rollBackTake(const ConformTake& take, TakeJournal& journal, const QString& title)
{
    bool putBack = true;
    if (journal.isOpen() && !(putBack = journal.rollBack()))
        SendToRelay(title,
                    take.fileId + QLatin1String("\nThe take could not be put back as it was (")
                        + journal.errorText()
                        + QLatin1String("); the next run on this folder tries again."),
                    0, 1, true, 0);
    ActionLog::Append(conformCommand(take), QStringLiteral("roll back"), take.takeKey, putBack, QString(),
                      QStringLiteral("every file of the take put back as it was"));
}

} // namespace

bool ConformRun::Apply(ConformPlan& plan, bool* keepGoing)
{
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
            skipRest(plan, i);
            allWritten = false;
            break;
        }
        emit signal_TakeStarted(i, done, total);
        const bool ok = ApplyTake(plan, take, goOn);
        if (!ok)
            allWritten = false;
        ++done;
        emit signal_TakeFinished(i, ok);
    }
    return allWritten;
}

bool ConformRun::ApplyTake(ConformPlan& plan, ConformTake& take, bool* goOn)
{
    const QString title = QLatin1String(kTitle);
    // Read-only: the full assembly checks again that the files agree.
    auto record = std::make_unique<QSoundPerform>();
    record->ResetVariables();
    if (!record->InitFilesZZ(take.takeKey, QStringLiteral("WAV"))) {
        failTake(take, title, QStringLiteral("Error during InitFilesZZ process."));
        return false;
    }

    TakeJournal journal;
    if (!journal.begin(plan.targetFolder, take.fileId)) {
        failTake(take, title, journal.errorText());
        return false;
    }
    bool ok = WriteNewTrack(plan, take, record.get(), goOn);
    record.reset();
    if (ok) {
        TakeUpdateOptions options;
        options.newTrackIndex = take.trackIndex;
        options.newTrackName = take.trackName;
        options.absentYesBecomesNo = true;
        options.logCommand = conformCommand(take);
        if (!RunTakeUpdatePass(take.takeKey, options, title)) {
            failTake(take, title, QStringLiteral("The take's files could not all be updated."));
            ok = false;
        }
    }
    if (ok && !journal.commit()) {
        failTake(take, title, journal.errorText());
        ok = false;
    }
    if (!ok)
        rollBackTake(take, journal, title);
    if (ok)
        take.result = QStringLiteral("written");
    MyQDebug("conform %s: %s", take.fileId.toLocal8Bit().constData(), take.result.toLocal8Bit().constData());
    return ok;
}

bool ConformRun::WriteNewTrack(const ConformPlan& plan, ConformTake& take, QSoundPerform* record, bool* goOn)
{
    QVector<QSoundMixer::SourceRange> ranges;
    for (const ConformRange& r : take.ranges)
        ranges.append(QSoundMixer::SourceRange{plan.sources.at(r.source).path, r.takeFrom, r.takeTo, r.sourceFrom});

    bool ok = true;
    QSoundMixer mixer(nullptr);
    QSoundMixer::SourceOptions sourceOptions;
    sourceOptions.channel = plan.sourceChannel;
    mixer.SetSourceOptions(sourceOptions);
    connect(&mixer, &QSoundMixer::signal_ProgressSize, this, &ConformRun::signal_ProgressSize, Qt::DirectConnection);
    QString newName;
    if (mixer.SonalignRanges(ranges, take.mainRange, plan.targetFolder, take.racine, take.trackIndex, take.trackName,
                             record, goOn, &newName)) {
        failTake(take, QLatin1String(kTitle), QStringLiteral("Error during bounce Sonalign process."));
        ok = false;
    }
    ActionLog::Append(conformCommand(take), QStringLiteral("write"),
                      plan.targetFolder + QLatin1Char('/') + take.racine + QLatin1Char('_')
                          + QString::number(take.trackIndex + 1).rightJustified(2, QLatin1Char('0'))
                          + QLatin1String(".WAV"),
                      ok);
    return ok;
}
