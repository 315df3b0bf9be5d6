// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli conform: a whole shooting day in one pass. Every take of the
// target folder gets one new track filled from the source files that share
// its span, planned first, all or nothing per take.

#include "CliCommand.h"
#include "CliSupport.h"

#include "ConformApply.h"
#include "ConformPlan.h"
#include "ConformReport.h"
#include "MessageLoging.h"
#include "TakeJournal.h"
#include "TakeVerify.h"

#include <QFileInfo>
#include <QLoggingCategory>

#include <csignal>

namespace {

const char* const kUsage =
    "conform SOURCE_FOLDER TARGET_FOLDER --track N|next [--name NAME] [--channel K] [--verify] [--dry-run] [--json] "
    "[--report FILE] [FILE_ID...]";

int usage()
{
    cliErr() << "usage: sonalign-cli " << kUsage << '\n';
    cliErr().flush();
    return kExitUsage;
}

const QString& title()
{
    static const QString t = QStringLiteral("sonalign-cli conform");
    return t;
}

// Checks every track the run wrote against the take's own audio, so a clock
// that was off shows in the rows instead of in the dialogue editor's room.
void verifyWrittenTakes(ConformPlan& plan)
{
    plan.verified = true;
    for (ConformTake& take : plan.takes) {
        if (take.result != QLatin1String("written"))
            continue;
        VerifyRequest request;
        request.folder = plan.targetFolder;
        request.fileId = take.fileId;
        request.track = take.trackIndex + 1;
        const VerifyResult result = VerifyTake(request);
        if (result.status != VerifyStatus::Measured) {
            take.verdict = QStringLiteral("not_verified");
            take.offsetMs = QStringLiteral("null");
            continue;
        }
        take.verdict = QString::fromLatin1(SyncVerdictKey(result.measurement.verdict));
        const std::optional<double> ms = result.OffsetMs();
        take.offsetMs = ms ? QString::number(*ms, 'f', 3) : QStringLiteral("null");
    }
}

void printText(const ConformPlan& plan)
{
    QTextStream& out = cliOut();
    for (const ConformTake& t : plan.takes) {
        out << t.fileId << '\t' << (t.trackIndex >= 0 ? QString::number(t.trackIndex + 1) : QStringLiteral("-"))
            << '\t' << (t.create ? "create" : "skip") << '\t' << ConformClassKey(t.coverage) << '\t' << t.result;
        if (!t.reason.isEmpty())
            out << '\t' << t.reason;
        out << '\n';
    }
    out.flush();
}

int runConform(const QStringList& args)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    ConformRequest request;
    bool haveTrack = false;
    bool dryRun = false;
    bool json = false;
    bool verify = false;
    QString report;
    QStringList positional;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--track")) {
            if (++i >= args.size())
                return usage();
            const QString v = args.at(i);
            if (v == QLatin1String("next")) {
                request.track = 0;
            } else {
                request.track = parseTrack(v);
                if (request.track < 0)
                    return usage();
            }
            haveTrack = true;
        } else if (a == QLatin1String("--channel")) {
            bool ok = false;
            request.sourceChannel = ++i < args.size() ? args.at(i).toInt(&ok, 10) : 0;
            if (!ok || request.sourceChannel < 1)
                return usage();
        } else if (a == QLatin1String("--verify")) {
            verify = true;
        } else if (a == QLatin1String("--name")) {
            if (++i >= args.size())
                return usage();
            request.trackName = args.at(i);
            request.hasTrackName = true;
        } else if (a == QLatin1String("--report")) {
            if (++i >= args.size())
                return usage();
            report = args.at(i);
            if (ConformReportFormatOf(report) == ConformReportFormat::Unknown)
                return usage();
        } else if (a == QLatin1String("--dry-run")) {
            dryRun = true;
        } else if (a == QLatin1String("--json")) {
            json = true;
        } else if (a == QLatin1String("--")) {
            positional << args.mid(i + 1);
            break;
        } else if (a.startsWith(QLatin1String("--"))) {
            return usage();
        } else {
            positional << a;
        }
    }
    if (!haveTrack || positional.size() < 2)
        return usage();
    request.sourceFolder = absoluteCleanPath(positional.at(0));
    request.targetFolder = absoluteCleanPath(positional.at(1));
    request.fileIds = positional.mid(2);
    if (!report.isEmpty())
        report = absoluteCleanPath(report);

    CliRelay relay;
    for (const QString& folder : {request.sourceFolder, request.targetFolder}) {
        if (!QFileInfo(folder).isDir()) {
            SendToRelay(title(), folder + QLatin1String("\nNo such folder."), 0, 1, true, 0);
            return kExitFailure;
        }
    }

    // A dry run takes no lock and writes nothing, so it cannot roll back an
    // interrupted take either: it says so, and plans on the folder as it is.
    FolderLock lock;
    if (dryRun) {
        if (TakeJournal::HasJournal(request.targetFolder))
            SendToRelay(title(),
                        request.targetFolder
                            + QLatin1String("\nAn earlier run stopped while changing a take of this folder; "
                                            "the next run that is not a dry run puts it back first."),
                        0, 1, true, 0);
    } else if (!ConformRun::LockAndRecover(lock, request.targetFolder, cliFolderLockWait(), title())) {
        return kExitFailure;
    }

    ConformPlan plan;
    bool allWritten = true;
    {
        StdoutToStderr guard;
        plan = BuildConformPlan(request);
        for (const QString& id : plan.unknownFileIds)
            SendToRelay(title(), id + QLatin1String("\nNo corresponding file found matching with this tag."), 0, 0,
                        true, 0);
        if (!dryRun) {
            bool keepGoing = true;
            InterruptGuard interrupts;
            ConformRun run;
            QObject::connect(&run, &ConformRun::signal_ProgressSize, &run,
                             [&](qint64) {
                                 if (InterruptGuard::Interrupted())
                                     keepGoing = false;
                             },
                             Qt::DirectConnection);
            allWritten = run.Apply(plan, &keepGoing);
            if (verify)
                verifyWrittenTakes(plan);
        }
    }
    lock.unlock();

    if (json)
        cliOut() << ConformRowsJson(plan, false);
    else
        printText(plan);
    cliOut().flush();

    bool reportOk = true;
    if (!report.isEmpty()) {
        QString error;
        reportOk = WriteConformReport(report, plan, &error);
        if (!reportOk)
            SendToRelay(title(), error, 0, 1, true, 0);
    }
    return allWritten && reportOk && plan.unknownFileIds.isEmpty() ? kExitOk : kExitFailure;
}

CliCommandRegistration g_conform("conform", kUsage, &runConform);

} // namespace
