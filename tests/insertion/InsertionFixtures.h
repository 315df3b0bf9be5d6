// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Takes and sources built in code, an independent RIFF walk, a fault-injecting disk and a recording relay.

#include "FileWriteSeam.h"
#include "RecorderFileWriter.h"
#include "RelayRecorder.h"
#include "TestSupport.h"
#include "TrackWorkflows.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDomDocument>
#include <QProcessEnvironment>
#include <QTest>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <functional>
#include <tuple>

namespace fixtures {

constexpr quint64 kHour = 3600;

inline quint32 u32At(const QByteArray& b, qint64 at) { return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(b.constData() + at)); }

struct Chunk
{
    QByteArray id;
    qint64 offset = 0;   // header offset
    quint32 size = 0;
};

// Walks the chunks the way RIFF readers do, without trusting our reader: a pad byte follows an odd body when the
// next bytes do not start a chunk name and the byte after does.
inline QList<Chunk> walk(const QByteArray& file)
{
    auto name = [&file](qint64 at) {
        auto printable = [](char c) { return c >= 0x20 && c <= 0x7e; };
        return at + 4 <= file.size() && std::all_of(file.begin() + at, file.begin() + at + 4, printable);
    };
    QList<Chunk> chunks;
    for (qint64 pos = 12; pos + 8 <= file.size();) {
        chunks << Chunk{file.mid(int(pos), 4), pos, u32At(file, pos + 4)};
        pos += 8 + qint64(chunks.last().size);
        pos += (chunks.last().size & 1u) && !name(pos) && name(pos + 1) ? 1 : 0;
    }
    return chunks;
}

// The first chunk `id` ("ond" matches any onde chunk).
inline Chunk find(const QByteArray& file, const QByteArray& id)
{
    for (const Chunk& c : walk(file))
        if (c.id == id || (id.size() == 3 && c.id.startsWith(id)))
            return c;
    return Chunk();
}

inline QByteArray body(const QByteArray& file, const QByteArray& id)
{
    const Chunk c = find(file, id);
    return c.id.isEmpty() ? QByteArray() : file.mid(int(c.offset + 8), int(c.size));
}

inline QByteArray readFile(const QString& path) { return testsupport::readAll(path); }

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Little-endian sample bytes of the fixture audio, frames [first, first + count).
inline QByteArray audio(quint32 seed, quint32 first, quint32 count, quint16 bits)
{
    QByteArray out;
    for (quint32 i = 0; i < count; ++i)
        for (int k = 0, v = RecorderFileSpec::sampleValue(seed, first + i, 0, bits); k < bits / 8; ++k)
            out.append(char((quint32(v) >> (8 * k)) & 0xFF));
    return out;
}

inline RecorderFileSpec spec(quint32 rate, quint16 bits, quint32 frames, quint64 timeRef, quint32 seed = 1)
{
    RecorderFileSpec s;
    std::tie(s.sampleRate, s.bitsPerSample, s.frames, s.timeReference, s.audioSeed) = std::make_tuple(rate, bits, frames, timeRef, seed);
    return s;
}

// A source file of another recorder: bext with a time reference, no iXML.
inline bool writeSource(const QString& path, quint32 rate, quint16 bits, quint32 frames, quint64 timeRef, quint32 seed = 77, quint16 channels = 1)
{
    RecorderFileSpec s = spec(rate, bits, frames, timeRef, seed);
    s.channels = channels;
    s.withIxml = s.withFilm = s.withVlta = s.withOnde = false;
    return RecorderFileWriter::write(path, s);
}

inline QMap<QString, QByteArray> sha1Folder(const QString& folder)
{
    QMap<QString, QByteArray> sums;
    for (const QString& n : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name))
        sums.insert(n, QCryptographicHash::hash(readFile(QDir(folder).filePath(n)), QCryptographicHash::Sha1).toHex());
    return sums;
}

// Text of the element at `path` ("A/B/C") below the root of an XML document.
inline QString xmlValue(const QString& doc, const QString& path)
{
    QDomDocument d;
    if (!d.setContent(doc))
        return QStringLiteral("<unparsable>");
    QDomElement e = d.documentElement();
    for (const QString& part : path.split(QLatin1Char('/')))
        if ((e = e.firstChildElement(part)).isNull())
            return QStringLiteral("<missing>");
    return e.text();
}

// The iXML document of the file at `path`.
inline QString ixmlText(const QString& path) { return QString::fromUtf8(body(readFile(path), "iXML")).trimmed(); }

// Temporary files a writer left in `folder`.
inline QStringList partialFiles(const QString& folder) { return QDir(folder).entryList({QStringLiteral("*.partial")}, QDir::Files | QDir::Hidden); }

// `bytes` (a whole file) with `extra` bytes appended to its data chunk, sizes kept coherent.
inline QByteArray withDataTail(QByteArray bytes, int extra)
{
    const Chunk data = find(bytes, "data");
    bytes.insert(int(data.offset + 8 + data.size), QByteArray(extra, '\x01'));
    qToLittleEndian<quint32>(data.size + quint32(extra), reinterpret_cast<uchar*>(bytes.data() + data.offset + 4));
    qToLittleEndian<quint32>(quint32(bytes.size() - 8), reinterpret_cast<uchar*>(bytes.data() + 4));
    return bytes;
}

// The create workflow on `ids` of `folder`; track is 1-based.
inline WorkflowResult createTrack(const QString& folder, const QString& source, int track, const QStringList& ids,
                                  const QString& name = QStringLiteral("Boom"), bool* keepGoing = nullptr)
{
    CreateTrackRequest r;
    r.targetFolder = folder;
    r.sourcePath = source;
    r.trackIndex = track - 1;
    r.fileIds = ids;
    r.trackName = name;
    r.keepGoing = keepGoing;
    return CreateTrackWorkflow().Run(r);
}

// The delete (hide) workflow; track is 1-based.
inline WorkflowResult hideTrack(const QString& folder, int track, const QStringList& ids)
{
    DeleteTrackRequest r;
    r.targetFolder = folder;
    r.trackIndex = track - 1;
    r.fileIds = ids;
    return DeleteTrackWorkflow().Run(r);
}

// sonalign-cli with its own settings folder and a UTF-8 locale.
inline QProcessEnvironment cliEnv(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home);
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    return env;
}

// The words of `line` (split at blanks), then `more`.
inline QStringList words(const char* line, const QStringList& more = {})
{
    return QString::fromLatin1(line).split(QLatin1Char(' '), Qt::SkipEmptyParts) + more;
}

struct Cli
{
    QTemporaryDir home;
    testsupport::ProcessResult operator()(const QStringList& args) { return testsupport::run(testsupport::cliPath(), args, 120000, cliEnv(home.path())); }
};

// A disk installed for its lifetime: `write` returns what it stores of a write (the new track's temporary file
// counted apart), opens of paths ending with `refuseOpen` fail, and so do renames when `refuseRename` is set.
class Faults : public FileWriteSeam::Injector
{
public:
    Faults() { FileWriteSeam::setInjector(this); }
    ~Faults() override { FileWriteSeam::setInjector(nullptr); }
    std::function<qint64(const QString& path, qint64 requested, int index)> write;
    QString refuseOpen;
    bool refuseRename = false;
    int newFileWrites = 0, otherWrites = 0, allWrites = 0;

    // Makes the n-th write of the new file (or of the other files) store half, or fail.
    void failWrite(int n, bool ioError, bool newFile)
    {
        write = [this, n, ioError, newFile](const QString& path, qint64 requested, int) -> qint64 {
            const bool partial = path.endsWith(QLatin1String(".partial"));
            return partial != newFile || (partial ? newFileWrites : otherWrites) != n ? requested : ioError ? -1 : requested / 2;
        };
    }
    // Makes the n-th write of any file fail.
    void failAnyWrite(int n)
    {
        write = [this, n](const QString&, qint64 requested, int) { return allWrites == n ? -1 : requested; };
    }
    qint64 acceptWrite(const QString& path, qint64 requested) override
    {
        ++allWrites;
        const int index = path.endsWith(QLatin1String(".partial")) ? ++newFileWrites : (++otherWrites, 0);
        return write ? write(path, requested, index) : requested;
    }
    bool failOpenForWrite(const QString& path) override { return !refuseOpen.isEmpty() && path.endsWith(refuseOpen); }
    bool failRename(const QString&, const QString&) override { return refuseRename; }
};

// Installs a relay for the test's lifetime and records its messages.
class Relay : public testsupport::RelayRecorder
{
public:
    int kind(int i) const { return args(i).section(QLatin1Char(','), 1, 1).toInt(); }
    QStringList texts() const
    {
        QStringList l;
        for (int i = 0; i < count(); ++i)
            l << text(i);
        return l;
    }
    QString all() const { return texts().join(QStringLiteral(" | ")); }
};

} // namespace fixtures

// Builders of this folder's tests only (apart, so that no name meets one of another folder's).
namespace ins {
using namespace fixtures;

constexpr quint64 kTen = 10 * kHour * 48000;   // 10:00:00 at 48 kHz

// The columns of a data-driven test in one line: columns<int, QString>({"a", "b"}).
template <typename... T>
void columns(std::initializer_list<const char*> names)
{
    auto name = names.begin();
    (QTest::addColumn<T>(*name++), ...);
}

// "bext,fmt ,data,..." in file order.
inline QString chunkIds(const QByteArray& file)
{
    QStringList ids;
    for (const Chunk& c : walk(file))
        ids << QString::fromLatin1(c.id);
    return ids.join(QLatin1Char(','));
}

inline QString ixmlValue(const QString& path, const QString& key) { return xmlValue(ixmlText(path), key); }

inline WorkflowResult restoreTrack(const QString& folder, int track, const QStringList& ids)
{
    return RestoreTrackWorkflow().Run(RestoreTrackRequest{folder, track - 1, ids, {}});
}

// Takes of `tracks` mono files (48 kHz, 24 bits, 0.2 s from 10:00:00 unless `base` says otherwise) in <tmp>/Day1, and
// a source BOOM.WAV of `srcFrames` from `srcStart` samples after the take's start.
struct Project
{
    QTemporaryDir dir;
    QString target = dir.path() + QStringLiteral("/Day1"), source = dir.path() + QStringLiteral("/BOOM.WAV");

    explicit Project(int tracks = 2, const QStringList& roots = {QStringLiteral("AA0001")},
                     const RecorderFileSpec& base = spec(48000, 24, 9600, kTen), quint32 srcFrames = 48000, qint64 srcStart = -1000)
    {
        QDir().mkpath(target);
        for (const QString& root : roots)
            RecorderFileWriter::writeMonoTake(target, root, tracks, base);
        writeSource(source, base.sampleRate, base.bitsPerSample, srcFrames, quint64(qint64(base.timeReference) + srcStart));
    }
    QString file(const QString& name) const { return target + QLatin1Char('/') + name; }
    QString track(int n, const char* root = "AA0001") const { return file(QStringLiteral("%1_%2.WAV").arg(QLatin1String(root)).arg(n, 2, 10, QLatin1Char('0'))); }
    WorkflowResult create(int track, const QStringList& ids = {QStringLiteral("AA0001")}) const { return createTrack(target, source, track, ids); }
};

} // namespace ins
