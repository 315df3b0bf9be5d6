// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

// How a run meets another run that is changing the same folder.
struct FolderLockWait
{
    int timeoutMs = 0;                // 0 = fail at once
    std::function<void()> onWait;     // called once, when the run has to wait
};

// An exclusive advisory lock on one folder, held by every run that changes the
// takes in it (create, delete, restore, conform), so two runs never write the
// same take at once. It is a flock() on an open descriptor of the folder
// itself: no lock file is left in the user's folder, and the kernel releases
// the lock when the process ends, however it ends. Released by the destructor.
class FolderLock
{
public:
    enum class Result { Acquired, Busy, Failed };

    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Tries once, without waiting.
    Result tryLock(const QString& folder);
    // Waits up to timeoutMs (0 = do not wait) for a run holding the lock to
    // finish; onWait is called once, when the first try finds it busy.
    Result lock(const QString& folder, int timeoutMs, const std::function<void()>& onWait = {});
    void unlock();
    bool isLocked() const { return m_fd >= 0; }
    // Why the last lock failed (Busy: kBusyText; Failed: the system's reason).
    QString errorText() const { return m_error; }

    static const char* const kBusyText;

private:
    int m_fd = -1;
    QString m_error;
};
