// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QFileDevice;

// Every write, open-for-writing and rename that touches a user's folder goes
// through here, so tests can make the disk fail the way real disks do (short
// writes, failed renames) and check that nothing is lost.
namespace FileWriteSeam {

class Injector
{
public:
    virtual ~Injector() = default;
    // Bytes the "disk" accepts out of `requested` for a write to `path`
    // (requested = success, fewer = full disk, -1 = I/O error).
    virtual qint64 acceptWrite(const QString& path, qint64 requested) { Q_UNUSED(path); return requested; }
    virtual bool failOpenForWrite(const QString& path) { Q_UNUSED(path); return false; }
    virtual bool failRename(const QString& from, const QString& to) { Q_UNUSED(from); Q_UNUSED(to); return false; }
};

// Sees every change to a user's file before it happens, on the thread that
// installed it: the per-take journal records the old bytes through it. A
// false result refuses the change (the caller then reports a failed write).
class Observer
{
public:
    virtual ~Observer() = default;
    // `size` bytes are about to be written at `position` of `file`.
    virtual bool beforeWrite(QFileDevice& file, qint64 position, qint64 size) = 0;
    // `file` is about to be cut or grown to `newSize` bytes.
    virtual bool beforeResize(QFileDevice& file, qint64 newSize) = 0;
    // A file that did not exist is about to be created at `path`.
    virtual bool beforeCreate(const QString& path) = 0;
    virtual bool beforeRename(const QString& from, const QString& to) = 0;
};

// Installs `observer` for the calling thread only (null removes it); returns
// the one it replaces.
Observer* setObserver(Observer* observer);
Observer* observer();

// Tests only. The injector must outlive the code that writes.
void setInjector(Injector* injector);
Injector* injector();

// Writes through the seam. Returns the bytes stored, or -1.
qint64 write(QFileDevice& file, const char* data, qint64 size);

// Resizes an open file through the seam (the observer sees it first).
bool resize(QFileDevice& file, qint64 newSize);

// Called right before a new file is created at `path`; false = do not create.
bool mayCreate(const QString& path);

// True when `file` may be opened for writing (the injector may refuse).
bool mayOpenForWrite(const QString& path);

// Renames `from` to `to` without ever replacing an existing `to`. The folder
// is synced afterwards (best effort), so the new name survives a power loss.
bool renameNoReplace(const QString& from, const QString& to);

// Pushes a closed file's bytes to the disk. Called before a complete file gets
// a track's name: after a power loss the name must not point at a file whose
// bytes never reached the disk.
bool syncToDisk(const QString& path);

} // namespace FileWriteSeam
