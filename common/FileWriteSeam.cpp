// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileWriteSeam.h"

#include <QFile>
#include <QFileDevice>

#include <atomic>
#include <cerrno>
#include <unistd.h>

namespace FileWriteSeam {

namespace {
std::atomic<Injector*> g_injector{nullptr};
}

void setInjector(Injector* injector) { g_injector.store(injector); }
Injector* injector() { return g_injector.load(); }

qint64 write(QFileDevice& file, const char* data, qint64 size)
{
    qint64 allowed = size;
    if (Injector* inj = g_injector.load())
        allowed = inj->acceptWrite(file.fileName(), size);
    if (allowed < 0)
        return -1;
    if (allowed > size)
        allowed = size;
    if (allowed == 0)
        return 0;
    return file.write(data, allowed);
}

bool mayOpenForWrite(const QString& path)
{
    if (Injector* inj = g_injector.load())
        return !inj->failOpenForWrite(path);
    return true;
}

bool renameNoReplace(const QString& from, const QString& to)
{
    if (Injector* inj = g_injector.load())
        if (inj->failRename(from, to))
            return false;
    const QByteArray src = QFile::encodeName(from);
    const QByteArray dst = QFile::encodeName(to);
    // link() refuses an existing destination atomically, unlike rename().
    if (::link(src.constData(), dst.constData()) == 0) {
        if (::unlink(src.constData()) == 0)
            return true;
        ::unlink(dst.constData());
        return false;
    }
    if (errno == EEXIST)
        return false;
    // File systems without hard links: fall back to a checked rename.
    if (QFile::exists(to))
        return false;
    return ::rename(src.constData(), dst.constData()) == 0;
}

} // namespace FileWriteSeam
