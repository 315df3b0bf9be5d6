// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderLock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

const char* const FolderLock::kBusyText = "another Sonalign run is changing this folder";

FolderLock::~FolderLock() { unlock(); }

void FolderLock::unlock()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
    }
}

FolderLock::Result FolderLock::tryLock(const QString& folder)
{
    unlock();
    m_error.clear();
    const QByteArray name = QFile::encodeName(folder);
    // A folder opens read-only even when the user may not write in it; the
    // write itself then reports the real reason.
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        m_error = folder + QLatin1String("\nUnable to open this folder: ") + QString::fromLocal8Bit(std::strerror(errno));
        return Result::Failed;
    }
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        m_fd = fd;
        return Result::Acquired;
    }
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) {
        m_error = folder + QLatin1Char('\n') + QLatin1String(kBusyText);
        return Result::Busy;
    }
    m_error = folder + QLatin1String("\nUnable to lock this folder: ") + QString::fromLocal8Bit(std::strerror(err));
    return Result::Failed;
}

FolderLock::Result FolderLock::lock(const QString& folder, int timeoutMs, const std::function<void()>& onWait)
{
    Result result = tryLock(folder);
    if (result != Result::Busy || timeoutMs <= 0)
        return result;
    if (onWait)
        onWait();
    // Polled rather than a blocking flock(): a blocking call cannot time out,
    // and a run that waits forever behind a hung one helps nobody.
    QElapsedTimer clock;
    clock.start();
    while (result == Result::Busy && clock.elapsed() < timeoutMs) {
        QThread::msleep(50);
        result = tryLock(folder);
    }
    return result;
}
