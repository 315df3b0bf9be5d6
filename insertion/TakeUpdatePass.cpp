// SPDX-License-Identifier: GPL-3.0-or-later
#include "TakeUpdatePass.h"

#include "ActionLog.h"
#include "BwfRecords.h"
#include "DebugOutput.h"
#include "FileNaming.h"
#include "MessageLoging.h"
#include "QSoundFile.h"
#include "QSoundPerform.h"

#include <QFileInfo>

#include <array>

namespace {

using TrackTexts = std::array<QString, bwf::kMaxTracks>;

QByteArray local8(const QString& s) { return s.toLocal8Bit(); }

void logWrite(const QString& command, const char* action, const QString& file, bool ok, const QString& detail = QString())
{
    ActionLog::Entry e;
    e.command = command;
    e.action = QString::fromLatin1(action);
    e.file = file;
    e.ok = ok;
    e.detail = detail;
    ActionLog::Append(e);
}

QString trackFilePath(const QString& takeKey, int n)
{
    return takeKey + QLatin1Char('_') + TrkIndexToNN(n) + QLatin1String(".WAV");
}

// Padded to the recorder's 61440 bytes as the chunk stores them (UTF-8), as
// the engine pads a new track: counted in characters, an accented name would
// not fit the chunk it is meant to fill.
void padIxml(QString& text)
{
    const int bytes = text.toUtf8().size();
    if (bytes < bwf::kIxmlPaddedLength)
        text += QString(bwf::kIxmlPaddedLength - bytes, QLatin1Char(' '));
}

// Brings every present file of a take to the length of the longest, so that
// the take stays one take whatever layout its files have: a file that ends
// with a filler chunk has it grown, any other gets a filler chunk appended.
// A difference below a chunk header's 8 bytes cannot take a chunk of its own:
// when a file that must take one is that close, every file grows by 8 more.
bool equaliseLengths(const TrackTexts& paths, const QString& title, const QString& logCommand)
{
    qint64 longest = 0;
    for (const QString& p : paths)
        if (!p.isEmpty())
            longest = qMax(longest, QFileInfo(p).size());
    for (const QString& p : paths) {
        const qint64 missing = p.isEmpty() ? 0 : longest - QFileInfo(p).size();
        if (missing > 0 && missing < bwf::kChunkHeaderBytes && !QSoundFile::EndsWithFillerChunk(p)) {
            longest += bwf::kChunkHeaderBytes;
            break;
        }
    }
    bool allDone = true;
    for (const QString& p : paths) {
        if (p.isEmpty())
            continue;
        const qint64 missing = longest - QFileInfo(p).size();
        if (missing <= 0)
            continue;
        QSoundFile sf;
        sf.InitVariables();
        bool ok = missing <= qint64(0xFFFFFFFFu) && sf.Open(p, 2) && sf.ReadChunks(true, false);
        if (ok)
            ok = QSoundFile::EndsWithFillerChunk(p) ? sf.GrowTrailingFiller(quint32(missing))
                                                   : sf.AppendFillerChunk(quint32(missing));
        sf.Close();
        logWrite(logCommand, "write", p, ok, QStringLiteral("filler to the take's length, %1 bytes").arg(missing));
        if (!ok) {
            SendToRelay(title, p + QLatin1String("\nUnable to bring this file to the length of the take's other files."),
                        0, 0, true, 0);
            allDone = false;
        }
    }
    return allDone;
}

} // namespace

bool RunTakeUpdatePass(const QString& takeKey, const TakeUpdateOptions& options, const QString& title)
{
    TrackTexts paths, names, grids, pans, actives, texts;
    // Every file of the take, whatever its name family: a new "_03" track
    // in a take of "-1", "-2" files must agree with them, and they with it.
    for (int i = 0; i < bwf::kMaxTracks; ++i) {
        const QString found = QSoundPerform::FindMonoTrackFile(takeKey, i + 1, QStringLiteral("WAV"));
        paths[size_t(i)] = found;
        MyQDebug("To be checked %s", local8(found.isEmpty() ? trackFilePath(takeKey, i + 1) : found).constData());
    }

    // Read pass.
    int readable = 0;
    for (int i = 0; i < bwf::kMaxTracks; ++i) {
        if (paths[size_t(i)].isEmpty())
            continue;
        QSoundFile sf;
        sf.InitVariables();
        if (sf.Open(paths[size_t(i)], 0)) {
            // A file without iXML (other tools write none) is still a file
            // of the take: it counts, it just brings no entries.
            if (sf.ReadChunks(true, false)) {
                ++readable;
                if (sf.GetiXMLFileInfos()) {
                    names[size_t(i)] = sf.GetiXMLVeltaTracknames(i);
                    grids[size_t(i)] = sf.GetiXMLVeltaTrackInGrid(i);
                    pans[size_t(i)] = sf.GetiXMLVeltaTrackPanPot(i);
                    actives[size_t(i)] = sf.GetiXMLVeltaTrackActive(i);
                }
            }
            sf.Close();
        }
    }

    if (options.newTrackIndex >= 0 && options.newTrackIndex < bwf::kMaxTracks) {
        const size_t t = size_t(options.newTrackIndex);
        names[t] = options.newTrackName;
        grids[t] = QString();
        pans[t] = QStringLiteral("0,0");
        actives[t] = QStringLiteral("YES");
    }
    if (options.absentYesBecomesNo) {
        for (int i = 0; i < bwf::kMaxTracks; ++i)
            if (paths[size_t(i)].isEmpty() && actives[size_t(i)] == QLatin1String("YES"))
                actives[size_t(i)] = QStringLiteral("NO");
    }

    bool allUpdated = true;

    // Generate pass.
    for (int i = 0; i < bwf::kMaxTracks; ++i) {
        if (paths[size_t(i)].isEmpty())
            continue;
        QSoundFile sf;
        sf.InitVariables();
        if (!sf.Open(paths[size_t(i)], 2)) {
            MyQDebug("To doesn'exist %s", local8(paths[size_t(i)]).constData());
            SendToRelay(title, paths[size_t(i)] + QLatin1String("\nUnable to open this file for writing: its iXML chunk was not updated."),
                        0, 0, true, 0);
            paths[size_t(i)].clear();
            allUpdated = false;
            continue;
        }
        MyQDebug("To be checked %s", local8(paths[size_t(i)]).constData());
        if (sf.ReadChunks(true, false)) {
            if (sf.GetiXMLFileInfos())
                sf.SetiXMLTotalFiles(i, readable, false);
            sf.SetiXMLVeltaAllTrkInfos(names.data(), pans.data(), actives.data(), grids.data());
            texts[size_t(i)] = sf.GenerateiXMLChunkMono(i);
        }
        sf.Close();
    }

    for (int i = 0; i < bwf::kMaxTracks; ++i)
        if (!paths[size_t(i)].isEmpty())
            padIxml(texts[size_t(i)]);

    // Write pass. A file whose iXML had to grow or move to its end is longer
    // afterwards; the files are then brought to one length.
    for (int i = 0; i < bwf::kMaxTracks; ++i) {
        if (paths[size_t(i)].isEmpty())
            continue;
        if (texts[size_t(i)].trimmed().isEmpty()) {
            allUpdated = false;   // its chunks could not be read (reported then)
            continue;
        }
        QSoundFile sf;
        sf.InitVariables();
        if (!sf.Open(paths[size_t(i)], 2)) {
            SendToRelay(title, paths[size_t(i)] + QLatin1String("\nUnable to open this file for writing: its iXML chunk was not updated."),
                        0, 0, true, 0);
            allUpdated = false;
            continue;
        }
        const bool written = sf.ReadChunks(true, false) && sf.AddiXMLChunk(texts[size_t(i)]);
        sf.Close();
        logWrite(options.logCommand, "update iXML", paths[size_t(i)], written);
        if (!written)
            allUpdated = false;
    }
    if (!equaliseLengths(paths, title, options.logCommand))
        allUpdated = false;
    return allUpdated;
}

