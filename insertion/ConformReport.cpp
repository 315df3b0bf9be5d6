// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConformReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QSaveFile>

namespace {

QString js(const QString& text)
{
    const QByteArray doc = QJsonDocument(QJsonArray{QJsonValue(text)}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(doc.mid(1, doc.size() - 2));
}

QString num(qint64 v) { return QString::number(v); }

QString takeTimecode(const ConformTake& t, qint64 offset)
{
    return ConformTimecode(t.start + offset, t.sampleRate, t.framesPerSecond);
}

QString rowJson(const ConformPlan& plan, const ConformTake& t, bool withTimecodes)
{
    QString o;
    o += QLatin1String("{\"file_id\": ") + js(t.fileId);
    if (withTimecodes) {
        o += QLatin1String(", \"scene\": ") + js(t.scene) + QLatin1String(", \"take\": ") + js(t.takeNumber)
            + QLatin1String(", \"timecode\": ") + js(takeTimecode(t, 0));
    }
    o += QLatin1String(", \"track\": ") + (t.trackIndex >= 0 ? num(t.trackIndex + 1) : QStringLiteral("null"));
    o += QLatin1String(", \"action\": ") + js(t.create ? QStringLiteral("create") : QStringLiteral("skip"));
    o += QLatin1String(", \"reason\": ") + (t.reason.isEmpty() ? QStringLiteral("null") : js(t.reason));
    o += QLatin1String(", \"class\": ") + js(ConformClassKey(t.coverage));
    o += QLatin1String(", \"sources\": [");
    for (int k = 0; k < t.ranges.size(); ++k) {
        const ConformRange& r = t.ranges.at(k);
        o += (k ? QLatin1String(", ") : QLatin1String("")) + QLatin1String("{\"file\": ")
            + js(plan.sources.at(r.source).fileName) + QLatin1String(", \"take_from\": ") + num(r.takeFrom)
            + QLatin1String(", \"take_to\": ") + num(r.takeTo) + QLatin1String(", \"source_from\": ")
            + num(r.sourceFrom);
        if (withTimecodes)
            o += QLatin1String(", \"timecode\": ") + js(takeTimecode(t, r.takeFrom));
        o += QLatin1Char('}');
    }
    o += QLatin1String("], \"silence\": [");
    for (int k = 0; k < t.silence.size(); ++k)
        o += (k ? QLatin1String(", ") : QLatin1String("")) + QLatin1Char('[') + num(t.silence.at(k).first)
            + QLatin1String(", ") + num(t.silence.at(k).second) + QLatin1Char(']');
    o += QLatin1String("], \"excluded\": [");
    for (int k = 0; k < t.excluded.size(); ++k)
        o += (k ? QLatin1String(", ") : QLatin1String("")) + QLatin1String("{\"file\": ")
            + js(plan.sources.at(t.excluded.at(k).source).fileName) + QLatin1String(", \"reason\": ")
            + js(t.excluded.at(k).reason) + QLatin1Char('}');
    o += QLatin1String("], \"result\": ") + js(t.result) + QLatin1Char('}');
    return o;
}

// One CSV field: quoted when it holds a separator, a quote or a line end.
QString csv(const QString& s)
{
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')) && !s.contains(QLatin1Char('\n'))
        && !s.contains(QLatin1Char('\r')))
        return s;
    QString q = s;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace

QString ConformRowsJson(const ConformPlan& plan, bool withTimecodes)
{
    QString out = QStringLiteral("[");
    for (int i = 0; i < plan.takes.size(); ++i)
        out += (i ? QLatin1String(",\n ") : QLatin1String("")) + rowJson(plan, plan.takes.at(i), withTimecodes);
    out += QLatin1String("]\n");
    return out;
}

QString ConformRowsCsv(const ConformPlan& plan)
{
    QString out = QStringLiteral(
        "file_id,scene,take,timecode,track,action,reason,class,result,sources,silence,excluded\r\n");
    for (const ConformTake& t : plan.takes) {
        QStringList sources;
        for (const ConformRange& r : t.ranges)
            sources << plan.sources.at(r.source).fileName + QLatin1Char(' ') + num(r.takeFrom) + QLatin1Char('-')
                    + num(r.takeTo) + QLatin1String(" from ") + num(r.sourceFrom) + QLatin1String(" at ")
                    + takeTimecode(t, r.takeFrom);
        QStringList silence;
        for (const auto& s : t.silence)
            silence << num(s.first) + QLatin1Char('-') + num(s.second);
        QStringList excluded;
        for (const ConformExclusion& e : t.excluded)
            excluded << plan.sources.at(e.source).fileName + QLatin1String(": ") + e.reason;
        const QStringList fields = {
            t.fileId, t.scene, t.takeNumber, takeTimecode(t, 0),
            t.trackIndex >= 0 ? num(t.trackIndex + 1) : QString(),
            t.create ? QStringLiteral("create") : QStringLiteral("skip"), t.reason, ConformClassKey(t.coverage),
            t.result, sources.join(QLatin1String("; ")), silence.join(QLatin1String("; ")),
            excluded.join(QLatin1String("; ")),
        };
        QStringList quoted;
        for (const QString& f : fields)
            quoted << csv(f);
        out += quoted.join(QLatin1Char(',')) + QLatin1String("\r\n");
    }
    return out;
}

ConformReportFormat ConformReportFormatOf(const QString& path)
{
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return ConformReportFormat::Csv;
    if (path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive))
        return ConformReportFormat::Json;
    return ConformReportFormat::Unknown;
}

bool WriteConformReport(const QString& path, const ConformPlan& plan, QString* error)
{
    const ConformReportFormat format = ConformReportFormatOf(path);
    if (format == ConformReportFormat::Unknown) {
        if (error)
            *error = path + QLatin1String("\nA report is written as .csv or .json.");
        return false;
    }
    const QByteArray bytes =
        (format == ConformReportFormat::Csv ? ConformRowsCsv(plan) : ConformRowsJson(plan, true)).toUtf8();
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        if (error)
            *error = path + QLatin1String("\nUnable to write the report: ") + f.errorString();
        return false;
    }
    return true;
}
