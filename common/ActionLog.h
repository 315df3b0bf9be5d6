// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

// A record of every file the program writes, renames or hides, one JSON
// object per line, appended to "actions.jsonl" in the user's data folder
// (QStandardPaths::AppDataLocation). Nothing reads it back to decide anything:
// a log that cannot be written costs one warning through the relay and
// never fails the work it describes.
namespace ActionLog {

struct Entry
{
    QString command;   // "create --track 3", "delete --track 2", ...
    QString action;    // "write", "rename", "hide", "restore", "update iXML"
    QString file;      // full path of the file acted on
    QString to;        // new path of a rename; empty otherwise
    bool ok = true;
    QString detail;    // why it failed, or what else is worth knowing
};

// Path of the log file of this user (the folder may not exist yet).
QString FilePath();

// Appends one line. False when it could not be written; the first failure
// of the process is reported as a warning (kind 2), later ones only to the
// debug output, so a broken log cannot bury the user in boxes.
bool Append(const Entry& entry);
// The same, from the entry's fields.
bool Append(const QString& command, const QString& action, const QString& file, bool ok, const QString& to = QString(),
            const QString& detail = QString());

// The lines of a log file that parse as JSON objects, oldest first.
QList<QJsonObject> ReadAll(const QString& path = FilePath());

// One readable line of an entry: "time  command  action  file [-> to]  result".
QString Describe(const QJsonObject& line);

} // namespace ActionLog
