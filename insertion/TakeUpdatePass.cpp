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
        ActionLog::Append(logCommand, QStringLiteral("write"), p, ok, QString(),
                          QStringLiteral("filler to the take's length, %1 bytes").arg(missing));
        if (!ok) {
            SendToRelay(title, p + QLatin1String("\nUnable to bring this file to the length of the take's other files."),
                        0, 0, true, 0);
            allDone = false;
        }
    }
    return allDone;
}

const QString kNotUpdated = QStringLiteral("\nUnable to open this file for writing: its iXML chunk was not updated.");

// One run of the pass over one take; each step is one walk over its files.
class TakeUpdate
{
public:
    TakeUpdate(const QString& takeKey, const QString& title) : m_takeKey(takeKey), m_title(title) {}

    bool run(const TakeUpdateOptions& options)
    {
        findFiles();
        readEntries();
        mergeOptions(options);
        generateTexts();
        writeTexts(options.logCommand);
        if (!equaliseLengths(m_paths, m_title, options.logCommand))
            m_allUpdated = false;
        return m_allUpdated;
    }

private:
    // Every file of the take, whatever its name family: a new "_03" track
    // in a take of "-1", "-2" files must agree with them, and they with it.
    void findFiles()
    {
        for (int i = 0; i < bwf::kMaxTracks; ++i) {
            const QString found = QSoundPerform::FindMonoTrackFile(m_takeKey, i + 1, QStringLiteral("WAV"));
            m_paths[size_t(i)] = found;
            MyQDebug("To be checked %s", local8(found.isEmpty() ? trackFilePath(m_takeKey, i + 1) : found).constData());
        }
    }

    // Each file's entries for its own track, and the number of files read.
    void readEntries()
    {
        for (int i = 0; i < bwf::kMaxTracks; ++i) {
            if (m_paths[size_t(i)].isEmpty())
                continue;
            QSoundFile sf;
            sf.InitVariables();
            if (!sf.Open(m_paths[size_t(i)], 0))
                continue;
            // A file without iXML (other tools write none) is still a file
            // of the take: it counts, it just brings no entries.
            if (sf.ReadChunks(true, false)) {
                ++m_readable;
                if (sf.GetiXMLFileInfos()) {
                    m_names[size_t(i)] = sf.GetiXMLVeltaTracknames(i);
                    m_grids[size_t(i)] = sf.GetiXMLVeltaTrackInGrid(i);
                    m_pans[size_t(i)] = sf.GetiXMLVeltaTrackPanPot(i);
                    m_actives[size_t(i)] = sf.GetiXMLVeltaTrackActive(i);
                }
            }
            sf.Close();
        }
    }

    // The caller's changes on top of what the files say.
    void mergeOptions(const TakeUpdateOptions& options)
    {
        if (options.newTrackIndex >= 0 && options.newTrackIndex < bwf::kMaxTracks) {
            const size_t t = size_t(options.newTrackIndex);
            m_names[t] = options.newTrackName;
            m_grids[t] = QString();
            m_pans[t] = QStringLiteral("0,0");
            m_actives[t] = QStringLiteral("YES");
        }
        if (options.absentYesBecomesNo) {
            for (int i = 0; i < bwf::kMaxTracks; ++i)
                if (m_paths[size_t(i)].isEmpty() && m_actives[size_t(i)] == QLatin1String("YES"))
                    m_actives[size_t(i)] = QStringLiteral("NO");
        }
    }

    // Each file's new iXML text, from its own document and the merged entries.
    void generateTexts()
    {
        for (int i = 0; i < bwf::kMaxTracks; ++i) {
            QString& path = m_paths[size_t(i)];
            if (path.isEmpty())
                continue;
            QSoundFile sf;
            sf.InitVariables();
            if (!sf.Open(path, 2)) {
                MyQDebug("To doesn'exist %s", local8(path).constData());
                SendToRelay(m_title, path + kNotUpdated, 0, 0, true, 0);
                path.clear();
                m_allUpdated = false;
                continue;
            }
            MyQDebug("To be checked %s", local8(path).constData());
            if (sf.ReadChunks(true, false)) {
                if (sf.GetiXMLFileInfos())
                    sf.SetiXMLTotalFiles(i, m_readable, false);
                sf.SetiXMLVeltaAllTrkInfos(m_names.data(), m_pans.data(), m_actives.data(), m_grids.data());
                m_texts[size_t(i)] = sf.GenerateiXMLChunkMono(i);
            }
            sf.Close();
            padIxml(m_texts[size_t(i)]);
        }
    }

    // Writes each text in place (or moves the chunk to the end when it must
    // grow); the files are brought to one length afterwards.
    void writeTexts(const QString& logCommand)
    {
        for (int i = 0; i < bwf::kMaxTracks; ++i) {
            const QString& path = m_paths[size_t(i)];
            if (path.isEmpty())
                continue;
            if (m_texts[size_t(i)].trimmed().isEmpty()) {
                m_allUpdated = false;   // its chunks could not be read (reported then)
                continue;
            }
            QSoundFile sf;
            sf.InitVariables();
            if (!sf.Open(path, 2)) {
                SendToRelay(m_title, path + kNotUpdated, 0, 0, true, 0);
                m_allUpdated = false;
                continue;
            }
            const bool written = sf.ReadChunks(true, false) && sf.AddiXMLChunk(m_texts[size_t(i)]);
            sf.Close();
            ActionLog::Append(logCommand, QStringLiteral("update iXML"), path, written);
            if (!written)
                m_allUpdated = false;
        }
    }

    const QString m_takeKey;
    const QString m_title;
    TrackTexts m_paths, m_names, m_grids, m_pans, m_actives, m_texts;
    int m_readable = 0;
    bool m_allUpdated = true;
};

} // namespace

bool RunTakeUpdatePass(const QString& takeKey, const TakeUpdateOptions& options, const QString& title)
{
    return TakeUpdate(takeKey, title).run(options);
}
