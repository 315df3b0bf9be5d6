// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli list FOLDER [--json]: one row per take, as the target table shows it.

#include "CliCommand.h"
#include "CliSupport.h"

#include "QSoundPerform.h"
#include "TakeGrouping.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kTrackCells = 24;

struct TakeRow
{
    QString fileId;
    QString type;
    int tracks = 0;
    QString scene;
    QString take;
    bool hasSpan = false;
    qint64 start = 0;
    qint64 end = 0;
    int status = 0;
    QString notes;
    QStringList trackNames;
};

// Track cells as the target table writes them when it shows track names.
QStringList trackCells(QSoundPerform& record)
{
    QStringList cells;
    const short first = record.GetFirstTrack();
    const bool hasFirst = record.m_bPresent[size_t(first)];
    QSoundFile& file = record.File(first);
    // The file's document is only trusted when its parse step succeeded (a
    // failed parse empties the text).
    const bool fileXml = hasFirst && file.HasiXMLChunk() && !file.m_siXML.isEmpty();
    for (int k = 0; k < kTrackCells; ++k) {
        if (record.m_bPoly) {
            if (k < record.m_nNbChannels) {
                const QString& name = record.m_sTrackName[size_t(k)];
                cells << (name.trimmed().isEmpty() ? QStringLiteral("x") : name);
            } else {
                cells << QString();
            }
            continue;
        }
        QString name = fileXml ? file.GetiXMLVeltaTracknames(k) : QString();
        if (name.isEmpty())
            name = record.m_sTrackName[size_t(k)];
        QString active = fileXml ? file.GetiXMLVeltaTrackActive(k) : QString();
        if (active.isEmpty())
            active = record.m_sTrackActive[size_t(k)];
        const bool isActive = active.compare(QLatin1String("YES"), Qt::CaseInsensitive) == 0;
        if (!isActive && !record.m_bPresent[size_t(k)])
            cells << QString();
        else
            cells << (name.trimmed().isEmpty() ? QStringLiteral("T%1").arg(k + 1) : name);
    }
    return cells;
}

TakeRow makeRow(const TakeKey& key, QSoundPerform& record, int status)
{
    TakeRow row;
    row.fileId = key.fileId;
    row.type = record.m_bPoly ? QStringLiteral("Poly") : QStringLiteral("Mono");
    row.tracks = record.m_bPoly ? record.m_nNbChannels : record.m_nNbFiles;
    row.scene = record.m_sScene.trimmed();
    row.take = QString(record.m_sTakeIndicator + record.m_sTakeNumber).trimmed();
    const short first = record.GetFirstTrack();
    if (record.m_bPresent[size_t(first)]) {
        const QSoundFile& file = record.File(first);
        row.hasSpan = true;
        row.start = qint64(file.GetTimeReference());
        row.end = row.start + qint64(file.GetNbTotalSample());
    }
    row.status = status;
    row.notes = status == 0 ? record.m_sNotes
                            : QStringLiteral(" *** Error #%1 detected on audio file *** ").arg(status);
    row.trackNames = trackCells(record);
    return row;
}

void printJson(const std::vector<TakeRow>& rows)
{
    QTextStream& out = cliOut();
    if (rows.empty()) {
        out << "[]\n";
        out.flush();
        return;
    }
    out << "[\n";
    for (size_t i = 0; i < rows.size(); ++i) {
        const TakeRow& r = rows[i];
        out << "  {\"file_id\": " << jsonString(r.fileId) << ", \"type\": " << jsonString(r.type)
            << ", \"tracks\": " << r.tracks << ", \"scene\": " << jsonString(r.scene)
            << ", \"take\": " << jsonString(r.take) << ", \"start\": ";
        if (r.hasSpan)
            out << r.start << ", \"end\": " << r.end;
        else
            out << "null, \"end\": null";
        out << ", \"status\": " << r.status << ", \"notes\": " << jsonString(r.notes) << ", \"track_names\": [";
        for (int k = 0; k < r.trackNames.size(); ++k)
            out << (k ? ", " : "") << jsonString(r.trackNames.at(k));
        out << "]}" << (i + 1 < rows.size() ? ",\n" : "\n");
    }
    out << "]\n";
    out.flush();
}

void printTable(const std::vector<TakeRow>& rows)
{
    const QStringList header = {QStringLiteral("FILE_ID"), QStringLiteral("TYPE"),  QStringLiteral("TRACKS"),
                                QStringLiteral("SCENE"),   QStringLiteral("TAKE"),  QStringLiteral("START"),
                                QStringLiteral("END"),     QStringLiteral("STATUS"), QStringLiteral("NOTES"),
                                QStringLiteral("TRACK_NAMES")};
    std::vector<QStringList> lines;
    lines.push_back(header);
    for (const TakeRow& r : rows) {
        QStringList names;
        for (int k = 0; k < r.trackNames.size(); ++k) {
            if (!r.trackNames.at(k).isEmpty())
                names << QStringLiteral("%1:%2").arg(k + 1).arg(r.trackNames.at(k).trimmed());
        }
        lines.push_back({r.fileId, r.type, QString::number(r.tracks), r.scene, r.take,
                         r.hasSpan ? QString::number(r.start) : QStringLiteral("-"),
                         r.hasSpan ? QString::number(r.end) : QStringLiteral("-"), QString::number(r.status),
                         r.notes.trimmed(), names.join(QLatin1Char(' '))});
    }
    std::vector<int> widths(size_t(header.size()), 0);
    for (const QStringList& l : lines) {
        for (int c = 0; c < l.size(); ++c)
            widths[size_t(c)] = std::max(widths[size_t(c)], int(l.at(c).size()));
    }
    QTextStream& out = cliOut();
    for (const QStringList& l : lines) {
        QString text;
        for (int c = 0; c < l.size(); ++c) {
            if (c + 1 < l.size())
                text += l.at(c).leftJustified(widths[size_t(c)] + 2, QLatin1Char(' '));
            else
                text += l.at(c);
        }
        out << text.trimmed() << '\n';
    }
    out.flush();
}

int runList(const QStringList& args)
{
    QString folder;
    bool json = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--json")) {
            json = true;
        } else if (a.startsWith(QLatin1String("--")) || !folder.isEmpty()) {
            cliErr() << "usage: sonalign-cli list FOLDER [--json]\n";
            cliErr().flush();
            return kExitUsage;
        } else {
            folder = absoluteCleanPath(a);
        }
    }
    if (folder.isEmpty()) {
        cliErr() << "usage: sonalign-cli list FOLDER [--json]\n";
        cliErr().flush();
        return kExitUsage;
    }
    if (!QFileInfo(folder).isDir()) {
        cliErr() << "sonalign-cli list: no such folder: " << folder << '\n';
        cliErr().flush();
        return kExitFailure;
    }

    CliRelay relay;
    const bool recovered = cliRecoverFolder(folder);
    std::vector<TakeRow> rows;
    {
        StdoutToStderr guard;
        BuildTakesOfFolderWithKeys(
            folder, [&rows](const TakeKey& key, std::unique_ptr<QSoundPerform> record, int, int status) {
                rows.push_back(makeRow(key, *record, status));
            });
    }
    if (json)
        printJson(rows);
    else
        printTable(rows);
    return recovered ? kExitOk : kExitFailure;
}

CliCommandRegistration reg("list", "list FOLDER [--json]", "Lists the takes of a folder, one row per take, as the window's target table shows them.", &runList);

} // namespace
