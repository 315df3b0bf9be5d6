// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Builders shared by the tests of files and takes: recorder-like files written
// into a folder, files opened and scanned, chunk offsets, little-endian reads
// and a disk that stores only part of what it is asked to.

#include "FileWriteSeam.h"
#include "QSoundFile.h"
#include "RecorderFileWriter.h"
#include "TestSupport.h"

#include <QFile>
#include <QMetaType>
#include <QtEndian>

Q_DECLARE_METATYPE(RecorderFileSpec)

namespace testsupport {

inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Writes `spec` at `path` (ORIGINAL_FILENAME from the path) and returns the
// path; `places` receives where each chunk went.
inline QString writeSpec(const QString& path, const RecorderFileSpec& spec,
                         QList<RecorderChunkPlace>* places = nullptr)
{
    QString error;
    if (!RecorderFileWriter::write(path, spec, &error))
        qWarning("fixture %s: %s", qPrintable(path), qPrintable(error));
    if (places)
        RecorderFileWriter::build(spec, places);
    return path;
}

inline quint32 u32At(const QByteArray& b, qint64 offset)
{
    if (offset < 0 || offset + 4 > b.size())
        return 0xDEADBEEF;
    return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(b.constData() + offset));
}

// Header offset of the nth chunk `id` (0 when there is none).
inline quint32 offsetOf(const QList<RecorderChunkPlace>& places, const QByteArray& id, int nth = 0)
{
    for (const RecorderChunkPlace& p : places)
        if (p.id == id && nth-- == 0)
            return p.offset;
    return 0;
}

// Opens `path` (0 read, 2 read-write) and scans its chunks.
inline bool openScanned(QSoundFile& f, const QString& path, int mode = 0, bool bextOptional = false)
{
    f.InitVariables();
    return f.Open(path, mode) && f.ReadChunks(true, bextOptional);
}

// A disk that stores at most script[i] bytes of the i-th write (-2, or past
// the end of the script: all of it) and may refuse opening for writing.
// Installed for its lifetime.
class ScriptedDisk : public FileWriteSeam::Injector
{
public:
    explicit ScriptedDisk(QList<qint64> script = {}, bool refuseOpen = false)
        : m_script(std::move(script)), m_refuseOpen(refuseOpen)
    {
        FileWriteSeam::setInjector(this);
    }
    ~ScriptedDisk() override { FileWriteSeam::setInjector(nullptr); }
    ScriptedDisk(const ScriptedDisk&) = delete;
    ScriptedDisk& operator=(const ScriptedDisk&) = delete;
    qint64 acceptWrite(const QString&, qint64 requested) override
    {
        const int call = m_calls++;
        return call < m_script.size() && m_script.at(call) != -2 ? qMin(requested, m_script.at(call)) : requested;
    }
    bool failOpenForWrite(const QString&) override { return m_refuseOpen; }
    int calls() const { return m_calls; }

private:
    QList<qint64> m_script;
    bool m_refuseOpen;
    int m_calls = 0;
};

} // namespace testsupport
