// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileWriteSeam.h"

#include <QFile>
#include <QFileDevice>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace FileWriteSeam {

namespace {
std::atomic<Injector*> g_injector{nullptr};
thread_local Observer* t_observer = nullptr;

// A rename lives in its folder: sync the folder so the new entry is on disk.
// Best effort: some file systems refuse fsync on a folder.
void syncFolderOf(const QByteArray& path)
{
    const int slash = path.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? path.left(slash) : QByteArray(slash == 0 ? "/" : ".");
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}
} // namespace

void setInjector(Injector* injector) { g_injector.store(injector); }

Observer* setObserver(Observer* observer)
{
    Observer* previous = t_observer;
    t_observer = observer;
    return previous;
}

Observer* observer() { return t_observer; }

bool resize(QFileDevice& file, qint64 newSize)
{
    if (t_observer && !t_observer->beforeResize(file, newSize))
        return false;
    return file.resize(newSize);
}

bool mayCreate(const QString& path)
{
    if (Injector* inj = g_injector.load())
        if (inj->failOpenForWrite(path))
            return false;
    return !t_observer || t_observer->beforeCreate(path);
}
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
    if (t_observer && !t_observer->beforeWrite(file, file.pos(), allowed))
        return -1;
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
    if (t_observer && !t_observer->beforeRename(from, to))
        return false;
    const QByteArray src = QFile::encodeName(from);
    const QByteArray dst = QFile::encodeName(to);
    // link() refuses an existing destination atomically, unlike rename().
    if (::link(src.constData(), dst.constData()) == 0) {
        if (::unlink(src.constData()) == 0) {
            syncFolderOf(dst);
            return true;
        }
        ::unlink(dst.constData());
        return false;
    }
    if (errno == EEXIST)
        return false;
    // File systems without hard links: fall back to a checked rename.
    if (QFile::exists(to))
        return false;
    if (::rename(src.constData(), dst.constData()) != 0)
        return false;
    syncFolderOf(dst);
    return true;
}

bool syncToDisk(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace FileWriteSeam
