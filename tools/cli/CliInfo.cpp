// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-cli info FILE [--json]: what the sound-file layer reads from one
// file: its chunk list, format, bext fields, timing and the iXML summary.

#include "CliCommand.h"
#include "CliSupport.h"

#include "QSoundFile.h"
#include "SourceFormat.h"

#include <QDir>
#include <QFileInfo>

namespace {

const char kUsage[] = "usage: sonalign-cli info FILE [--json]\n";

// Chunk identifiers of damaged files may hold any byte: printable ASCII is
// shown as is, anything else as \xNN.
QString idText(const QByteArray& id)
{
    QString s;
    for (const char c : id) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && u != '\\')
            s += QLatin1Char(c);
        else
            s += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return s;
}

// The Description up to its NUL padding.
QString descriptionText(const QSoundFile& f)
{
    const char* p = f.m_tBextChunk.Description();
    return QString::fromLocal8Bit(p, int(qstrnlen(p, bwf::kBextDescriptionBytes)));
}

// A text on one line: CR and LF shown as \r and \n.
QString oneLine(const QString& d)
{
    QString s;
    for (const QChar c : d) {
        if (c == QLatin1Char('\r'))
            s += QLatin1String("\\r");
        else if (c == QLatin1Char('\n'))
            s += QLatin1String("\\n");
        else
            s += c;
    }
    return s;
}

// The iXML text without the spaces the recorder pads it with.
QString ixmlText(const QString& text)
{
    int end = text.size();
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    return text.left(end);
}

struct Info
{
    QString path;
    quint32 riffSize = 0;
    QList<tyChunkEntry> chunks;
    bool hasIxml = false;
    QString ixml;              // text read before parsing (the parse step may empty it)
    bool ixmlParsed = false;
    QString ixmlError;
    int ixmlErrorLine = 0;
    int ixmlErrorColumn = 0;
    QString scene, take, note, trackName, totalFiles;
    int trackNumber = 0;       // 1-based, 0 = none
};

struct Field
{
    const char* key;
    QString text;              // printed as a JSON string unless `number`
    bool number = false;
};

// How the samples are encoded, as the source reader sees them (sources may
// be any recorder's files: extensible, float, RF64).
QList<Field> encodingFields(const SourceFormat& s)
{
    const auto num = [](quint64 v) { return QString::number(v); };
    return {
        {"container", QString::fromLatin1(s.container)},
        {"format_name", s.formatTagText()},
        {"subformat", s.subFormatText()},
        {"encoding", s.encodingText()},
        {"valid_bits", num(s.validBits), true},
    };
}

QList<Field> ds64Fields(const SourceFormat& s)
{
    const auto num = [](quint64 v) { return QString::number(v); };
    return {
        {"riff_size", num(s.ds64RiffSize), true},
        {"data_size", num(s.ds64DataSize), true},
        {"sample_count", num(s.ds64SampleCount), true},
    };
}

QList<Field> formatFields(QSoundFile& f, const SourceFormat& s)
{
    const auto num = [](quint64 v) { return QString::number(v); };
    return QList<Field>{
        {"format_tag", num(f.m_tFmtChunk.FormatTag()), true}} + encodingFields(s) + QList<Field>{
        {"sample_rate", num(f.GetSampleRate()), true},
        {"channels", num(f.GetNbChannels()), true},
        {"bits", num(f.GetBitsPerSample()), true},
        {"block_align", num(f.m_tFmtChunk.BlockAlign()), true},
        {"sampling", f.GetSampling()},
        {"data_size", num(f.GetDataSize()), true},
        {"samples", num(f.GetNbTotalSample()), true},
        {"duration", f.GetDuration()},
        {"duration_seconds", num(f.GetDurationSeconds()), true},
        {"time_reference", num(f.GetTimeReference()), true},
        {"timecode", f.GetTimeCode(false)},
        {"frame_rate", f.GetFrameRate()},
        {"frames_per_second", QString::number(f.GetNumerikFrameRate()), true},
    };
}

// RF64/BW64 files (sizes past 4 GB in ds64) are read as sources only: their
// format, sizes and time reference.
QList<Field> largeFileFields(const SourceFormat& s)
{
    const auto num = [](quint64 v) { return QString::number(v); };
    return QList<Field>{{"format_tag", num(s.formatTag), true}} + encodingFields(s) + QList<Field>{
        {"sample_rate", num(s.sampleRate), true},
        {"channels", num(s.channels), true},
        {"bits", num(s.bitsPerSample), true},
        {"block_align", num(s.blockAlign), true},
        {"data_offset", num(s.dataOffset), true},
        {"data_size", num(s.dataSize), true},
        {"samples", num(s.frames()), true},
        {"time_reference", s.hasTimeReference ? num(s.timeReference) : QStringLiteral("null"), true},
    };
}

QList<Field> bextFields(QSoundFile& f)
{
    return {
        {"description", descriptionText(f)},
        {"originator", f.GetCreator()},
        {"originator_reference", f.GetRef()},
        {"origination_date", f.GetCreationDate()},
        {"origination_time", f.GetCreationTime()},
        {"version", QString::number(f.m_tBextChunk.Version()), true},
        {"scene", f.GetBextScene()},
        {"take", f.GetBextTake()},
        {"note", f.GetBextNote()},
        {"tape", f.GetBextTape()},
        {"type", f.GetBextType()},
    };
}

QList<Field> ixmlFields(const Info& info)
{
    if (!info.ixmlParsed) {
        return {
            {"error", info.ixmlError},
            {"line", QString::number(info.ixmlErrorLine), true},
            {"column", QString::number(info.ixmlErrorColumn), true},
        };
    }
    return {
        {"scene", info.scene},
        {"take", info.take},
        {"note", info.note},
        {"track_number", QString::number(info.trackNumber), true},
        {"track_name", info.trackName},
        {"total_files", info.totalFiles},
    };
}

QString jsonValue(const Field& field) { return field.number ? field.text : jsonString(field.text); }

QString jsonObject(const QList<Field>& fields)
{
    QStringList parts;
    for (const Field& field : fields)
        parts << jsonString(QString::fromLatin1(field.key)) + QStringLiteral(": ") + jsonValue(field);
    return QLatin1Char('{') + parts.join(QStringLiteral(", ")) + QLatin1Char('}');
}

void printJson(QSoundFile& f, const SourceFormat& s, const Info& info)
{
    QTextStream& out = cliOut();
    out << "{\n";
    out << "  \"file\": " << jsonString(info.path) << ",\n";
    out << "  \"riff_size\": " << info.riffSize << ",\n";
    out << "  \"chunks\": [";
    for (int i = 0; i < info.chunks.size(); ++i) {
        const tyChunkEntry& c = info.chunks.at(i);
        out << (i ? ",\n    " : "\n    ") << "{\"id\": " << jsonString(idText(c.id)) << ", \"offset\": " << c.offset
            << ", \"size\": " << c.size << '}';
    }
    out << (info.chunks.isEmpty() ? "],\n" : "\n  ],\n");
    for (const Field& field : formatFields(f, s))
        out << "  " << jsonString(QString::fromLatin1(field.key)) << ": " << jsonValue(field) << ",\n";
    out << "  \"ds64\": " << (s.hasDs64 ? jsonObject(ds64Fields(s)) : QStringLiteral("null")) << ",\n";
    out << "  \"bext\": " << (f.HasBextChunk() ? jsonObject(bextFields(f)) : QStringLiteral("null")) << ",\n";
    out << "  \"ixml_summary\": " << (info.hasIxml ? jsonObject(ixmlFields(info)) : QStringLiteral("null")) << ",\n";
    out << "  \"ixml\": " << (info.hasIxml ? jsonString(info.ixml) : QStringLiteral("null")) << '\n';
    out << "}\n";
    out.flush();
}

void printText(QSoundFile& f, const SourceFormat& s, const Info& info)
{
    QTextStream& out = cliOut();
    out << "file: " << info.path << '\n';
    out << "riff_size: " << info.riffSize << '\n';
    out << "chunks:\n";
    for (const tyChunkEntry& c : info.chunks)
        out << "  " << idText(c.id) << " offset=" << c.offset << " size=" << c.size << '\n';
    for (const Field& field : formatFields(f, s))
        out << field.key << ": " << field.text << '\n';
    if (s.hasDs64) {
        for (const Field& field : ds64Fields(s))
            out << "ds64." << field.key << ": " << field.text << '\n';
    } else {
        out << "ds64: none\n";
    }
    if (f.HasBextChunk()) {
        for (const Field& field : bextFields(f))
            out << "bext." << field.key << ": " << oneLine(field.text) << '\n';
    } else {
        out << "bext: none\n";
    }
    if (info.hasIxml) {
        for (const Field& field : ixmlFields(info))
            out << "ixml." << field.key << ": " << oneLine(field.text) << '\n';
    } else {
        out << "ixml: none\n";
    }
    out.flush();
}

int printLargeFile(const QString& path, const SourceFormat& s, bool json)
{
    QTextStream& out = cliOut();
    const QList<Field> fields = largeFileFields(s);
    if (json) {
        out << "{\n  \"file\": " << jsonString(path) << ",\n";
        for (const Field& field : fields)
            out << "  " << jsonString(QString::fromLatin1(field.key)) << ": " << jsonValue(field) << ",\n";
        out << "  \"ds64\": " << (s.hasDs64 ? jsonObject(ds64Fields(s)) : QStringLiteral("null")) << '\n';
        out << "}\n";
    } else {
        out << "file: " << path << '\n';
        for (const Field& field : fields)
            out << field.key << ": " << (field.text == QLatin1String("null") ? QString() : field.text) << '\n';
        if (s.hasDs64) {
            for (const Field& field : ds64Fields(s))
                out << "ds64." << field.key << ": " << field.text << '\n';
        } else {
            out << "ds64: none\n";
        }
    }
    out.flush();
    return kExitOk;
}

int runInfo(const QStringList& args)
{
    QString path;
    bool json = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--json")) {
            json = true;
        } else if (a.startsWith(QLatin1String("--")) || !path.isNull()) {
            cliErr() << kUsage;
            cliErr().flush();
            return kExitUsage;
        } else {
            path = a;
        }
    }
    if (path.isEmpty()) {
        cliErr() << kUsage;
        cliErr().flush();
        return kExitUsage;
    }

    CliRelay relay;
    QSoundFile f;
    // The layer composes its messages from the folder and name split at the
    // last "/": an absolute path gives them both.
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    SourceFormat source;
    const bool sourceRead = ReadSourceFormat(absolute, &source, nullptr);
    if (sourceRead && source.container != "RIFF")
        return printLargeFile(absolute, source, json);
    if (!f.Open(absolute, 0) || !f.ReadChunks(true, false)) {
        if (relay.messageCount() == 0) {
            cliErr() << "sonalign-cli info: cannot read " << path << '\n';
            cliErr().flush();
        }
        return kExitFailure;
    }

    Info info;
    info.path = absolute;
    QSoundFile::ListChunks(absolute, info.chunks, &info.riffSize);
    info.hasIxml = f.HasiXMLChunk();
    if (info.hasIxml) {
        info.ixml = ixmlText(f.m_siXML);
        info.ixmlParsed = f.GetiXMLFileInfos();
        if (info.ixmlParsed) {
            info.scene = f.GetiXMLScene();
            info.take = f.GetiXMLTakeIndicator().trimmed() + f.GetiXMLTakeNumber().trimmed();
            info.note = f.GetiXMLNotes();
            info.trackNumber = f.GetiXMLMonoTrackNumber() + 1;
            info.trackName = f.GetiXMLMonoTrackName();
            info.totalFiles = f.m_XmlObject.GetElement(QStringLiteral("TOTAL_FILES"), XmlPath(QStringLiteral("FILE_SET")));
        } else {
            info.ixmlError = f.m_sXmlError;
            info.ixmlErrorLine = f.m_nXmlErrorLine;
            info.ixmlErrorColumn = f.m_nXmlErrorColumn;
        }
    }
    f.Close();
    if (json)
        printJson(f, source, info);
    else
        printText(f, source, info);
    return kExitOk;
}

CliCommandRegistration reg("info", "info FILE [--json]", "Shows the chunk list, format, bext fields, timing and iXML summary of one file.", &runInfo);

} // namespace
