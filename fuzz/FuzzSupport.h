// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared set-up of the fuzz targets: a Qt application object, a relay with no
// receiver (so every report is still formatted), silent debug output, and
// scratch files in memory (/dev/shm) that belong to this process only.

#include "MessageLoging.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace fuzzsupport {

inline void silentHandler(QtMsgType, const QMessageLogContext&, const QString&) {}

// Call once from LLVMFuzzerInitialize.
inline void init(int* argc, char*** argv)
{
    qInstallMessageHandler(silentHandler);
    // Local 8-bit text is UTF-8 here, as on the machines the tests run on.
    setenv("LC_ALL", "C.UTF-8", 1);
    static QCoreApplication* app = new QCoreApplication(*argc, *argv);
    Q_UNUSED(app);
    static MessageLoging* relay = new MessageLoging();
    global_pLogger = relay;
    // MyPrintf writes to stdout; the fuzzer's own lines go to stderr.
    if (!std::getenv("SONALIGN_FUZZ_VERBOSE"))
        freopen("/dev/null", "w", stdout);
}

// A folder of this process under /dev/shm (or the temp folder when there is
// no /dev/shm), created on first use.
inline QString scratchFolder(const char* target)
{
    static QString folder;
    if (folder.isEmpty()) {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        folder = base + QStringLiteral("/sonalign-") + QString::fromLatin1(target) + QLatin1Char('-')
                 + QString::number(qint64(getpid()));
        QDir().mkpath(folder);
    }
    return folder;
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool ok = file.write(bytes) == bytes.size();
    file.close();
    return ok;
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// Consumes the input from the front: a byte, or a NUL-terminated text (the
// rest when there is no NUL).
class Reader
{
public:
    Reader(const uint8_t* data, size_t size) : m_data(reinterpret_cast<const char*>(data)), m_size(size) {}
    bool atEnd() const { return m_pos >= m_size; }
    uint8_t byte()
    {
        return m_pos < m_size ? uint8_t(m_data[m_pos++]) : 0;
    }
    QByteArray bytes(size_t n)
    {
        const size_t k = qMin(n, m_size - m_pos);
        QByteArray out(m_data + m_pos, int(k));
        m_pos += k;
        return out;
    }
    QByteArray text()
    {
        size_t end = m_pos;
        while (end < m_size && m_data[end] != '\0')
            ++end;
        QByteArray out(m_data + m_pos, int(end - m_pos));
        m_pos = end < m_size ? end + 1 : end;
        return out;
    }
    QByteArray rest() { return bytes(m_size - m_pos); }

private:
    const char* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Stops the fuzzer with a report: a broken invariant is a finding like a crash.
inline void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace fuzzsupport
