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

// Tests only. The injector must outlive the code that writes.
void setInjector(Injector* injector);
Injector* injector();

// Writes through the seam. Returns the bytes stored, or -1.
qint64 write(QFileDevice& file, const char* data, qint64 size);

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
