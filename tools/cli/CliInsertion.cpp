// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli analyse / create / delete: the window's track insertion
// workflows, over exactly the same code, for scripts and batches.

#include "CliCommand.h"
#include "CliSupport.h"

#include "CoverageAnalysis.h"
#include "MessageLoging.h"
#include "MyFileInfoList.h"
#include "QSoundMixer.h"
#include "QSoundPerform.h"
#include "SourceFormat.h"
#include "TakeGrouping.h"
#include "TrackNameFile.h"
#include "TrackWorkflows.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>

#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

const char* const kAnalyseUsage = "analyse SOURCE_FILE TARGET_FOLDER [--json]";
const char* const kCreateUsage =
    "create --track N [--name NAME] [--channel K] [--dither tpdf [--dither-seed S]] SOURCE_FILE TARGET_FOLDER FILE_ID...";
const char* const kDeleteUsage = "delete --track N TARGET_FOLDER FILE_ID...";

int usage(const char* text)
{
    cliErr() << "usage: sonalign-cli " << text << '\n';
    cliErr().flush();
    return kExitUsage;
}

// ---------------------------------------------------------------- analyse

struct AnalysedTake
{
    QString fileId;
    Coverage coverage = Coverage::None;
    QString conversion;   // QSoundMixer::SourceConversionKey, empty when the take has no readable file
};

QString sourceFormatJson(const SourceFormat& s)
{
    return QStringLiteral("{\"container\": %1, \"format_tag\": %2, \"subformat\": %3, \"encoding\": %4, "
                          "\"bits\": %5, \"channels\": %6, \"sample_rate\": %7}")
        .arg(jsonString(QString::fromLatin1(s.container)))
        .arg(s.formatTag)
        .arg(jsonString(s.subFormatText()), jsonString(s.encodingText()))
        .arg(s.bitsPerSample)
        .arg(s.channels)
        .arg(s.sampleRate);
}

int runAnalyse(const QStringList& args)
{
    quietDebugOutput();
    QStringList positional;
    bool json = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--json"))
            json = true;
        else if (a.startsWith(QLatin1String("--")))
            return usage(kAnalyseUsage);
        else
            positional << a;
    }
    if (positional.size() != 2)
        return usage(kAnalyseUsage);
    const QString source = absoluteCleanPath(positional.at(0));
    const QString target = absoluteCleanPath(positional.at(1));

    CliRelay relay;
    long long in = 0;
    long long out = 0;
    bool chunksRead = false;
    {
        StdoutToStderr guard;
        if (GetInOutTimecode(source, &in, &out, &chunksRead) || !chunksRead) {
            reportOwn("analyse", source + QLatin1String("\nError, no timecode founded in this source file."));
            return kExitFailure;
        }
    }
    if (!QFileInfo(target).isDir()) {
        reportOwn("analyse", target + QLatin1String("\nNo such folder."));
        return kExitFailure;
    }

    const bool recovered = cliRecoverFolder(target);
    SourceFormat sourceFormat;
    ReadSourceFormat(source, &sourceFormat, nullptr);   // the span was read: so is the header

    const SampleSpan sourceSpan{in, out};
    std::vector<AnalysedTake> takes;
    CoverageCounts counts;
    {
        StdoutToStderr guard;
        BuildTakesOfFolderWithKeys(target, [&](const TakeKey& key, std::unique_ptr<QSoundPerform> record, int, int) {
            AnalysedTake row;
            row.fileId = key.fileId;
            const short first = record->GetFirstTrack();
            // A take none of whose files could be read has no span to compare.
            if (record->m_bPresent[size_t(first)]) {
                const QSoundFile& file = record->File(first);
                SampleSpan span;
                span.in = qint64(file.GetTimeReference());
                span.out = span.in + qint64(file.GetNbTotalSample());
                row.coverage = ClassifyCoverage(sourceSpan, span);
                row.conversion = QSoundMixer::SourceConversionKey(sourceFormat, file);
            }
            counts.add(row.coverage);
            takes.push_back(row);
        });
    }

    QTextStream& o = cliOut();
    if (json) {
        o << "{\"source\": {\"start\": " << in << ", \"end\": " << out
          << ", \"format\": " << sourceFormatJson(sourceFormat) << "}, \"takes\": [";
        for (size_t i = 0; i < takes.size(); ++i) {
            o << (i ? ", " : "") << "{\"file_id\": " << jsonString(takes[i].fileId)
              << ", \"class\": " << jsonString(CoverageKey(takes[i].coverage))
              << ", \"conversion\": " << (takes[i].conversion.isEmpty() ? QStringLiteral("null") : jsonString(takes[i].conversion))
              << '}';
        }
        o << "], \"counts\": {\"entire\": " << counts.entire << ", \"missing_start\": " << counts.missingStart
          << ", \"partial\": " << counts.partial << ", \"missing_end\": " << counts.missingEnd << "}}\n";
    } else {
        o << "source " << in << ' ' << out << '\n';
        o << "source_format " << sourceFormat.describe() << '\n';
        for (const AnalysedTake& t : takes)
            o << t.fileId << '\t' << CoverageKey(t.coverage) << '\t' << (t.conversion.isEmpty() ? QStringLiteral("-") : t.conversion) << '\n';
        o << CoverageStatusText(counts) << '\n';
    }
    o.flush();
    return recovered ? kExitOk : kExitFailure;
}

// ---------------------------------------------------------------- progress

// A bar on stderr, only on a terminal and only once a copy has run long
// enough to be worth watching.
class ProgressBar
{
public:
    ProgressBar() : m_enabled(::isatty(STDERR_FILENO) == 1) { m_clock.start(); }
    ~ProgressBar() { finish(); }

    void restart()
    {
        finish();
        m_clock.restart();
        m_last = -1;
    }

    void update(qint64 percent)
    {
        if (!m_enabled || percent == m_last || m_clock.elapsed() < 500)
            return;
        m_last = percent;
        const int width = 40;
        const int filled = int(qBound<qint64>(0, percent, 100) * width / 100);
        std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(size_t(filled), '#').c_str(),
                     std::string(size_t(width - filled), ' ').c_str(), int(percent));
        std::fflush(stderr);
        m_shown = true;
    }

    void finish()
    {
        if (m_shown) {
            std::fputc('\n', stderr);
            std::fflush(stderr);
        }
        m_shown = false;
    }

private:
    bool m_enabled;
    bool m_shown = false;
    qint64 m_last = -1;
    QElapsedTimer m_clock;
};

// ---------------------------------------------------------------- create

// What the create command line asks for.
struct CreateOptions
{
    int track = -1;
    bool haveName = false;
    QString name;
    int channel = 0;
    DitherKind dither = DitherKind::None;
    quint64 ditherSeed = 0;
    bool haveSeed = false;
    QStringList positional;   // SOURCE_FILE TARGET_FOLDER FILE_ID...
};

// Reads the options and arguments; false when they do not make a valid
// command (the caller prints the usage).
bool parseCreateOptions(const QStringList& args, CreateOptions* o)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--track")) {
            if (++i >= args.size())
                return false;
            o->track = parseTrack(args.at(i));
            if (o->track < 0)
                return false;
        } else if (a == QLatin1String("--name")) {
            if (++i >= args.size())
                return false;
            o->name = args.at(i);
            o->haveName = true;
        } else if (a == QLatin1String("--channel")) {
            bool ok = false;
            if (++i >= args.size() || (o->channel = args.at(i).toInt(&ok, 10), !ok) || o->channel < 1)
                return false;
        } else if (a == QLatin1String("--dither")) {
            if (++i >= args.size() || args.at(i) != QLatin1String("tpdf"))
                return false;
            o->dither = DitherKind::Tpdf;
        } else if (a == QLatin1String("--dither-seed")) {
            bool ok = false;
            if (++i >= args.size() || (o->ditherSeed = args.at(i).toULongLong(&ok, 10), !ok))
                return false;
            o->haveSeed = true;
        } else if (a == QLatin1String("--")) {
            o->positional << args.mid(i + 1);
            break;
        } else if (a.startsWith(QLatin1String("--"))) {
            return false;
        } else {
            o->positional << a;
        }
    }
    return !(o->track < 0 || o->positional.size() < 3 || (o->haveSeed && o->dither == DitherKind::None));
}

// Runs the create workflow with a progress bar; Ctrl-C clears *keepGoing.
WorkflowResult runCreateWorkflow(const CreateTrackRequest& request, bool* keepGoing)
{
    InterruptGuard interrupts;
    ProgressBar bar;
    CreateTrackWorkflow workflow;
    QObject::connect(&workflow, &CreateTrackWorkflow::signal_ProgressSize, &workflow,
                     [&](qint64 percent) {
                         if (InterruptGuard::Interrupted())
                             *keepGoing = false;
                         bar.update(percent);
                     },
                     Qt::DirectConnection);
    QObject::connect(&workflow, &CreateTrackWorkflow::signal_TakesDone, &workflow,
                     [&](int) { bar.restart(); }, Qt::DirectConnection);
    StdoutToStderr guard;
    return workflow.Run(request);
}

int runCreate(const QStringList& args)
{
    quietDebugOutput();
    CreateOptions options;
    if (!parseCreateOptions(args, &options))
        return usage(kCreateUsage);
    // Without a seed every run dithers differently; a seed makes the output
    // reproducible (tests, or two runs that must agree).
    if (!options.haveSeed)
        options.ditherSeed = QRandomGenerator::global()->generate64();

    CliRelay relay;
    const QString source = absoluteCleanPath(options.positional.at(0));
    const QString target = absoluteCleanPath(options.positional.at(1));
    if (!options.haveName) {
        const QFileInfo info(source);
        LoadTrackNameFromSnlFile(info.absolutePath(), info.fileName(), options.name);
    }

    bool keepGoing = true;
    CreateTrackRequest request;
    request.targetFolder = target;
    request.sourcePath = source;
    request.trackIndex = options.track - 1;
    request.fileIds = options.positional.mid(2);
    request.trackName = options.name;
    request.hasTrackName = true;
    request.keepGoing = &keepGoing;
    request.lockWait = cliFolderLockWait();
    request.sourceChannel = options.channel;
    request.dither = options.dither;
    request.ditherSeed = options.ditherSeed;

    const int before = relay.messageCount();
    const WorkflowResult result = runCreateWorkflow(request, &keepGoing);
    for (const QString& file : result.createdFiles)
        cliOut() << file << '\n';
    cliOut().flush();
    if (result.success)
        return kExitOk;
    if (relay.messageCount() == before) {
        MyFileInfoList listing;
        if (listing.LoadEntryInfoList(target, QStringList{QStringLiteral(".WAV")}) != 0)
            reportOwn("create", target + QLatin1String("\nNo .WAV file in this folder."));
        else
            reportOwn("create", QStringLiteral("The track was not created."));
    }
    return kExitFailure;
}

// ---------------------------------------------------------------- delete

int runDelete(const QStringList& args)
{
    quietDebugOutput();
    TrackOfTakesArgs parsed;
    if (!parseTrackOfTakesArgs(args, &parsed))
        return usage(kDeleteUsage);

    CliRelay relay;
    DeleteTrackRequest request;
    request.targetFolder = parsed.targetFolder;
    request.trackIndex = parsed.track - 1;
    request.fileIds = parsed.fileIds;
    request.lockWait = cliFolderLockWait();

    const int before = relay.messageCount();
    WorkflowResult result;
    {
        DeleteTrackWorkflow workflow;
        StdoutToStderr guard;
        result = workflow.Run(request);
    }
    return finishTrackOfTakes("delete", request.targetFolder, result.success, result.hiddenFiles,
                              relay.messageCount() == before);
}

CliCommandRegistration g_analyse("analyse", kAnalyseUsage,
                                 "Shows how the source file covers every take of the folder: entire take, missing start, partial coverage or missing end.",
                                 &runAnalyse);
CliCommandRegistration g_create("create", kCreateUsage,
                                "Writes track N of each take from the part of the source inside the take's timecode span, then makes every file of the take agree.",
                                &runCreate);
CliCommandRegistration g_delete("delete", kDeleteUsage,
                                "Hides track N of each take (renames it .DEL1, .DEL2, ...; nothing is erased), then makes the remaining files agree.",
                                &runDelete);

} // namespace
