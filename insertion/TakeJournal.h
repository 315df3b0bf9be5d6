// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FileWriteSeam.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <functional>

// All or nothing for the change of one take, even across a crash.
//
// While a take is being changed, every change to a file of the folder made on
// this thread passes the write seam, which hands it to the journal first: a
// file the run creates is recorded by name (it will simply be removed), and for
// a file that existed the journal records its size at first touch and the old
// bytes of every region about to be overwritten or cut off. Each record
// reaches the disk (fdatasync) before the change it protects proceeds.
//
// The journal is one hidden file in the take's folder (kFileName). It exists
// only while a take is being changed: commit() syncs every file the take
// touched and then removes it; rollBack() puts every byte back and then
// removes it. A journal found later means a run died mid-take; the next run
// that opens the folder rolls it back first (RecoverFolder).
//
// File layout: the 8-byte magic "SNLJRNL1", then records
//   u32 type, u32 payload length, payload, u32 CRC-32 of type+length+payload
// (little-endian). Paths are stored relative to the journal's folder. A record
// cut short by a crash fails its check and ends the journal: the change it
// would have protected had not started.
class TakeJournal : public FileWriteSeam::Observer
{
public:
    static const char* const kFileName;

    TakeJournal() = default;
    ~TakeJournal() override;   // an open journal is rolled back
    TakeJournal(const TakeJournal&) = delete;
    TakeJournal& operator=(const TakeJournal&) = delete;

    // Creates the journal in `folder` for the take `label` (its file ID, for
    // messages) and starts observing this thread's writes. The caller holds
    // the folder's lock. False (with errorText) when the journal cannot be made.
    bool begin(const QString& folder, const QString& label);
    // The take is complete: its files reach the disk, then the journal goes.
    bool commit();
    // Puts back every file of the take as it was; removes what the take
    // created, then the journal. False when some byte could not be put back
    // (the journal then stays, for a later run to try again).
    bool rollBack();
    bool isOpen() const { return m_fd >= 0; }
    QString errorText() const { return m_error; }

    // Observer
    bool beforeWrite(QFileDevice& file, qint64 position, qint64 size) override;
    bool beforeResize(QFileDevice& file, qint64 newSize) override;
    bool beforeCreate(const QString& path) override;
    bool beforeRename(const QString& from, const QString& to) override;

    enum class Recovery { Nothing, RolledBack, Failed };
    // Rolls back a journal left in `folder` by an interrupted run and says so
    // through the relay under `title`. The caller holds the folder's lock.
    static Recovery RecoverFolder(const QString& folder, const QString& title);
    // True when `folder` holds a journal (a cheap check, no lock needed).
    static bool HasJournal(const QString& folder);

    // Tests only: called after each record reaches the disk, with the
    // number of records so far (a test can stop the process there).
    static void SetRecordHookForTests(std::function<void(int)> hook);

private:
    enum RecordType : quint32 { kTake = 1, kCreate = 2, kSize = 3, kRegion = 4, kRename = 5 };
    void stage(quint32 type, const QByteArray& payload);
    bool append(quint32 type, const QByteArray& payload);
    bool flush();
    bool touchExisting(const QString& path, qint64* sizeNow);
    bool keepRegion(const QString& path, qint64 position, qint64 length);
    QString normal(const QString& path) const;
    QString relative(const QString& path) const;   // empty when outside the folder
    bool refuseOutside(const QString& path);
    void stopObserving();

    int m_fd = -1;
    QString m_folder;
    QString m_journalPath;
    QString m_label;
    QString m_error;
    QSet<QString> m_created;              // files this take made (normalised paths)
    QHash<QString, qint64> m_originalSize; // existing files touched, at first touch
    FileWriteSeam::Observer* m_previousObserver = nullptr;
    bool m_observing = false;
    int m_records = 0;
    QByteArray m_pending;                  // records staged for the next sync
    int m_pendingRecords = 0;
};
