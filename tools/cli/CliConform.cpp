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

// What the command line asks for.
struct ConformOptions
{
    ConformRequest request;
    bool dryRun = false;
    bool json = false;
    bool verify = false;
    QString report;   // file the report goes to; empty = none
};

// false = not a command line this command takes (the caller prints the usage).
bool parseConformArgs(const QStringList& args, ConformOptions& o)
{
    ConformRequest& request = o.request;
    bool haveTrack = false;
    QStringList positional;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--track")) {
            if (++i >= args.size())
                return false;
            const QString v = args.at(i);
            if (v == QLatin1String("next")) {
                request.track = 0;
            } else {
                request.track = parseTrack(v);
                if (request.track < 0)
                    return false;
            }
            haveTrack = true;
        } else if (a == QLatin1String("--channel")) {
            bool ok = false;
            request.sourceChannel = ++i < args.size() ? args.at(i).toInt(&ok, 10) : 0;
            if (!ok || request.sourceChannel < 1)
                return false;
        } else if (a == QLatin1String("--verify")) {
            o.verify = true;
        } else if (a == QLatin1String("--name")) {
            if (++i >= args.size())
                return false;
            request.trackName = args.at(i);
            request.hasTrackName = true;
        } else if (a == QLatin1String("--report")) {
            if (++i >= args.size())
                return false;
            o.report = args.at(i);
            if (ConformReportFormatOf(o.report) == ConformReportFormat::Unknown)
                return false;
        } else if (a == QLatin1String("--dry-run")) {
            o.dryRun = true;
        } else if (a == QLatin1String("--json")) {
            o.json = true;
        } else if (a == QLatin1String("--")) {
            positional << args.mid(i + 1);
            break;
        } else if (a.startsWith(QLatin1String("--"))) {
            return false;
        } else {
            positional << a;
        }
    }
    if (!haveTrack || positional.size() < 2)
        return false;
    request.sourceFolder = absoluteCleanPath(positional.at(0));
    request.targetFolder = absoluteCleanPath(positional.at(1));
    request.fileIds = positional.mid(2);
    if (!o.report.isEmpty())
        o.report = absoluteCleanPath(o.report);
    return true;
}

// Both folders are checked before anything is locked or read.
bool foldersExist(const ConformRequest& request)
{
    for (const QString& folder : {request.sourceFolder, request.targetFolder}) {
        if (!QFileInfo(folder).isDir()) {
            SendToRelay(title(), folder + QLatin1String("\nNo such folder."), 0, 1, true, 0);
            return false;
        }
    }
    return true;
}

// A dry run takes no lock and writes nothing, so it cannot roll back an
// interrupted take either: it says so, and plans on the folder as it is.
// false = nothing may be written (reported).
bool lockUnlessDryRun(FolderLock& lock, const ConformOptions& o)
{
    if (o.dryRun) {
        if (TakeJournal::HasJournal(o.request.targetFolder))
            SendToRelay(title(),
                        o.request.targetFolder
                            + QLatin1String("\nAn earlier run stopped while changing a take of this folder; "
                                            "the next run that is not a dry run puts it back first."),
                        0, 1, true, 0);
        return true;
    }
    return ConformRun::LockAndRecover(lock, o.request.targetFolder, cliFolderLockWait(), title());
}

// Plans, then (unless a dry run) writes every planned take, stopping between
// takes on an interrupt, and verifies them when asked. Whatever the engine
// prints goes to stderr: stdout carries only the rows. false = a planned take
// was not written.
bool planAndApply(const ConformOptions& o, ConformPlan& plan)
{
    StdoutToStderr guard;
    plan = BuildConformPlan(o.request);
    for (const QString& id : plan.unknownFileIds)
        SendToRelay(title(), id + QLatin1String("\nNo corresponding file found matching with this tag."), 0, 0, true,
                    0);
    if (o.dryRun)
        return true;
    bool keepGoing = true;
    InterruptGuard interrupts;
    ConformRun run;
    QObject::connect(&run, &ConformRun::signal_ProgressSize, &run,
                     [&](qint64) {
                         if (InterruptGuard::Interrupted())
                             keepGoing = false;
                     },
                     Qt::DirectConnection);
    const bool allWritten = run.Apply(plan, &keepGoing);
    if (o.verify)
        verifyWrittenTakes(plan);
    return allWritten;
}

// The rows on stdout, then the report file when asked; false = the report
// could not be written (reported).
bool printResults(const ConformPlan& plan, const ConformOptions& o)
{
    if (o.json)
        cliOut() << ConformRowsJson(plan, false);
    else
        printText(plan);
    cliOut().flush();

    if (o.report.isEmpty())
        return true;
    QString error;
    const bool reportOk = WriteConformReport(o.report, plan, &error);
    if (!reportOk)
        SendToRelay(title(), error, 0, 1, true, 0);
    return reportOk;
}

int runConform(const QStringList& args)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    ConformOptions options;
    if (!parseConformArgs(args, options))
        return usage();

    CliRelay relay;
    if (!foldersExist(options.request))
        return kExitFailure;
    FolderLock lock;
    if (!lockUnlessDryRun(lock, options))
        return kExitFailure;

    ConformPlan plan;
    const bool allWritten = planAndApply(options, plan);
    lock.unlock();

    const bool reportOk = printResults(plan, options);
    return allWritten && reportOk && plan.unknownFileIds.isEmpty() ? kExitOk : kExitFailure;
}

CliCommandRegistration g_conform("conform", kUsage, &runConform);

} // namespace
