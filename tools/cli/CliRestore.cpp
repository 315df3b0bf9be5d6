// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli restore: undoes a hide, over the window's restore workflow.

#include "CliCommand.h"
#include "CliSupport.h"

#include "TrackWorkflows.h"


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
    quietDebugOutput();
    TrackOfTakesArgs parsed;
    if (!parseTrackOfTakesArgs(args, &parsed))
        return usage();

    CliRelay relay;
    RestoreTrackRequest request;
    request.targetFolder = parsed.targetFolder;
    request.lockWait = cliFolderLockWait();
    request.trackIndex = parsed.track - 1;
    request.fileIds = parsed.fileIds;

    const int before = relay.messageCount();
    WorkflowResult result;
    {
        RestoreTrackWorkflow workflow;
        StdoutToStderr guard;
        result = workflow.Run(request);
    }
    return finishTrackOfTakes("restore", request.targetFolder, result.success, result.restoredFiles,
                              relay.messageCount() == before);
}

CliCommandRegistration g_restore("restore", kRestoreUsage,
                                 "Undoes a hide: the newest hidden file (.DELn) of track N of each take becomes its "
                                 ".WAV again, then every file of the take agrees again. Refused, changing nothing, "
                                 "when track N of a take is occupied.",
                                 &runRestore);

} // namespace
