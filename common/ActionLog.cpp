// SPDX-License-Identifier: GPL-3.0-or-later
#include "ActionLog.h"

#include "DebugOutput.h"
#include "MessageLoging.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>

#include <atomic>
#include <mutex>

namespace ActionLog {

namespace {
std::atomic<bool> g_warned{false};
// Lines of two threads must not interleave inside one file.
std::mutex g_appendMutex;
} // namespace

QString FilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/actions.jsonl");
}

bool Append(const Entry& entry)
{
    QJsonObject line;
    line.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    line.insert(QStringLiteral("command"), entry.command);
    line.insert(QStringLiteral("action"), entry.action);
    line.insert(QStringLiteral("file"), entry.file);
    if (!entry.to.isEmpty())
        line.insert(QStringLiteral("to"), entry.to);
    line.insert(QStringLiteral("result"), entry.ok ? QStringLiteral("ok") : QStringLiteral("failed"));
    if (!entry.detail.isEmpty())
        line.insert(QStringLiteral("detail"), entry.detail);
    const QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';

    const QString path = FilePath();
    bool ok = false;
    {
        std::lock_guard<std::mutex> lock(g_appendMutex);
        // One write of the whole line to a file opened for appending: even a
        // second process appending at the same time cannot split it.
        QFile file(path);
        ok = QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)
             && file.write(bytes) == bytes.size();
        if (file.isOpen())
            ok = file.flush() && ok;
    }
    if (!ok) {
        MyQDebug("ActionLog: cannot append to %s", path.toLocal8Bit().constData());
        if (!g_warned.exchange(true))
            SendToRelay(QStringLiteral("ActionLog::Append()"),
                        path + QLatin1String("\nThe action log cannot be written; the work itself goes on."), 0, 2,
                        true, 0);
    }
    return ok;
}

bool Append(const QString& command, const QString& action, const QString& file, bool ok, const QString& to,
            const QString& detail)
{
    Entry e;
    e.command = command;
    e.action = action;
    e.file = file;
    e.to = to;
    e.ok = ok;
    e.detail = detail;
    return Append(e);
}

QList<QJsonObject> ReadAll(const QString& path)
{
    QList<QJsonObject> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    while (!file.atEnd()) {
        const QJsonDocument doc = QJsonDocument::fromJson(file.readLine());
        if (doc.isObject())
            lines.append(doc.object());
    }
    return lines;
}

QString Describe(const QJsonObject& line)
{
    auto text = [&](const char* key) { return line.value(QLatin1String(key)).toString(); };
    QString s = text("time") + QLatin1String("  ") + text("command") + QLatin1String("  ") + text("action")
                + QLatin1String("  ") + text("file");
    if (!text("to").isEmpty())
        s += QLatin1String(" -> ") + text("to");
    s += QLatin1String("  ") + text("result");
    if (!text("detail").isEmpty())
        s += QLatin1String(" (") + text("detail") + QLatin1Char(')');
    return s;
}

} // namespace ActionLog
