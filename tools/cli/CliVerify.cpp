// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli verify: measures by the audio itself whether a track of each
// take is in time with another track of the same take.

#include "CliCommand.h"
#include "CliSupport.h"

#include "MessageLoging.h"
#include "MyFileInfoList.h"
#include "TakeGrouping.h"
#include "TakeVerify.h"

#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>
#include <cmath>

namespace {

const char* const kVerifyUsage =
    "verify TARGET_FOLDER --track N [--against M] [--tolerance-ms X] [--json] [FILE_ID...]";

int usage()
{
    cliErr() << "usage: sonalign-cli " << kVerifyUsage << '\n';
    cliErr().flush();
    return kExitUsage;
}

void report(const QString& text)
{
    SendToRelay(QStringLiteral("sonalign-cli verify"), text, 0, 1, true, 0);
}

// What the command line asks for.
struct VerifyOptions
{
    VerifyRequest request;   // track -1 until --track gives one
    bool json = false;
    QStringList positional;  // TARGET_FOLDER, then the file IDs
};

// Reads the options and arguments; false when they do not make a valid
// command (the caller prints the usage).
bool parseVerifyOptions(const QStringList& args, VerifyOptions* o)
{
    VerifyRequest& request = o->request;
    request.track = -1;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const bool takesValue = a == QLatin1String("--track") || a == QLatin1String("--against")
                                || a == QLatin1String("--tolerance-ms");
        if (takesValue && ++i >= args.size())
            return false;
        if (a == QLatin1String("--track")) {
            request.track = parseTrack(args.at(i));
            if (request.track < 0)
                return false;
        } else if (a == QLatin1String("--against")) {
            request.against = parseTrack(args.at(i));
            if (request.against < 0)
                return false;
        } else if (a == QLatin1String("--tolerance-ms")) {
            bool ok = false;
            request.toleranceMs = args.at(i).toDouble(&ok);
            if (!ok || !std::isfinite(request.toleranceMs) || request.toleranceMs <= 0)
                return false;
        } else if (a == QLatin1String("--json")) {
            o->json = true;
        } else if (a == QLatin1String("--")) {
            o->positional << args.mid(i + 1);
            break;
        } else if (a.startsWith(QLatin1String("--"))) {
            return false;
        } else {
            o->positional << a;
        }
    }
    return request.track >= 0 && !o->positional.isEmpty() && request.against != request.track;
}

// The takes to verify: every take of the folder, or those of the given file
// IDs in the order given (an unknown file ID is reported and sets *failed).
QVector<TakeKey> selectTakes(const QString& folder, const QStringList& fileIds, bool* failed)
{
    MyFileInfoList listing;
    listing.LoadEntryInfoList(folder, QStringList{QStringLiteral(".WAV")});
    const QVector<TakeKey> all = GroupListingIntoTakes(listing);
    if (fileIds.isEmpty())
        return all;
    QVector<TakeKey> keys;
    for (const QString& id : fileIds) {
        auto it = std::find_if(all.begin(), all.end(), [&](const TakeKey& k) { return k.fileId == id; });
        if (it == all.end()) {
            report(id + QLatin1String("\nNo corresponding file found matching with this tag."));
            *failed = true;
        } else {
            keys.append(*it);
        }
    }
    return keys;
}

// Verifies one take: a measurement becomes a row, anything else a message;
// sets *failed when the outcome counts as a failure.
void verifyTake(const TakeKey& key, VerifyRequest& request, bool explicitIds, bool json, QStringList* rows,
                bool* failed)
{
    request.fileId = key.fileId;
    const VerifyResult r = VerifyTakeOfKey(key, request);
    switch (r.status) {
    case VerifyStatus::Measured:
        *rows << (json ? VerifyResultJson(r) : VerifyResultText(r));
        break;
    case VerifyStatus::NoTrack:
        // Without file IDs only the takes that have the track are verified.
        if (explicitIds) {
            report(r.message);
            *failed = true;
        }
        break;
    case VerifyStatus::PolyTake:
        report(r.message);
        break;
    case VerifyStatus::NoOtherTrack:
        report(r.message);
        *failed = *failed || explicitIds || request.against > 0;
        break;
    default:
        report(r.message);
        *failed = true;
        break;
    }
}

// Prints the measured rows: one line each, or one JSON array.
void printRows(const QStringList& rows, bool json)
{
    QTextStream& o = cliOut();
    if (json)
        o << '[' << rows.join(QLatin1String(",\n ")) << "]\n";
    else
        for (const QString& line : rows)
            o << line << '\n';
    o.flush();
}

int runVerify(const QStringList& args)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    VerifyOptions options;
    if (!parseVerifyOptions(args, &options))
        return usage();
    VerifyRequest& request = options.request;
    QStringList& positional = options.positional;

    CliRelay relay;
    request.folder = absoluteCleanPath(positional.takeFirst());
    if (!QFileInfo(request.folder).isDir()) {
        report(request.folder + QLatin1String("\nNo such folder."));
        return kExitFailure;
    }

    bool failed = false;
    QStringList rows;
    {
        StdoutToStderr guard;
        const QVector<TakeKey> keys = selectTakes(request.folder, positional, &failed);
        const bool explicitIds = !positional.isEmpty();
        for (const TakeKey& key : keys)
            verifyTake(key, request, explicitIds, options.json, &rows, &failed);
    }
    printRows(rows, options.json);
    return failed ? kExitFailure : kExitOk;
}

CliCommandRegistration g_verify("verify", kVerifyUsage,
                                "Measures by the audio itself the offset and drift of track N of each take against another track and says in_sync, offset, drift or no_match.",
                                &runVerify);

} // namespace
