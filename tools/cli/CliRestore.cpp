// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli restore: undoes a hide, over the window's restore workflow.

#include "CliCommand.h"
#include "CliSupport.h"

#include "MessageLoging.h"
#include "TrackWorkflows.h"

#include <QLoggingCategory>

namespace {

const char* const kRestoreUsage = "restore --track N TARGET_FOLDER FILE_ID...";

int usage()
{
    cliErr() << "usage: sonalign-cli " << kRestoreUsage << '\n';
    cliErr().flush();
    return kExitUsage;
}

int runRestore(const QStringList& args)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    int track = -1;
    QStringList positional;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--track")) {
            if (++i >= args.size())
                return usage();
            track = parseTrack(args.at(i));
            if (track < 0)
                return usage();
        } else if (a == QLatin1String("--")) {
            positional << args.mid(i + 1);
            break;
        } else if (a.startsWith(QLatin1String("--"))) {
            return usage();
        } else {
            positional << a;
        }
    }
    if (track < 0 || positional.size() < 2)
        return usage();

    CliRelay relay;
    RestoreTrackRequest request;
    request.targetFolder = absoluteCleanPath(positional.at(0));
    request.lockWait = cliFolderLockWait();
    request.trackIndex = track - 1;
    request.fileIds = positional.mid(1);

    const int before = relay.messageCount();
    WorkflowResult result;
    {
        RestoreTrackWorkflow workflow;
        StdoutToStderr guard;
        result = workflow.Run(request);
    }
    for (const QString& file : result.restoredFiles)
        cliOut() << file << '\n';
    cliOut().flush();
    if (result.success)
        return kExitOk;
    if (relay.messageCount() == before)
        SendToRelay(QStringLiteral("sonalign-cli restore"),
                    request.targetFolder + QLatin1String("\nNo .WAV file in this folder."), 0, 1, true, 0);
    return kExitFailure;
}

CliCommandRegistration g_restore("restore", kRestoreUsage,
                                 "Undoes a hide: the newest hidden file (.DELn) of track N of each take becomes its "
                                 ".WAV again, then every file of the take agrees again. Refused, changing nothing, "
                                 "when track N of a take is occupied.",
                                 &runRestore);

} // namespace
