// SPDX-License-Identifier: GPL-3.0-or-later
#include "TakeJournal.h"

#include "MessageLoging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVector>

#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char* const TakeJournal::kFileName = ".sonalign-take.journal";

namespace {

constexpr char kMagic[8] = {'S', 'N', 'L', 'J', 'R', 'N', 'L', '1'};
// A journal holds one take's old iXML and header regions: a few MB at most.
// Anything larger is not ours.
constexpr qint64 kMaxJournalBytes = qint64(1) << 31;

std::function<void(int)>& recordHook()
{
    static std::function<void(int)> hook;
    return hook;
}

quint32 crc32(const char* data, size_t n, quint32 crc = 0)
{
    static const std::array<quint32, 256> table = []() {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < n; ++i)
        crc = table[(crc ^ quint8(data[i])) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void putU32(QByteArray& out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}
void putU64(QByteArray& out, quint64 v)
{
    for (int i = 0; i < 8; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}
void putText(QByteArray& out, const QString& s)
{
    const QByteArray u = s.toUtf8();
    putU32(out, quint32(u.size()));
    out.append(u);
}

// Bounds-checked reader of one record's payload.
class Reader
{
public:
    explicit Reader(QByteArray b) : m_b(std::move(b)) {}
    bool u32(quint32& v) { return little(v); }
    bool u64(quint64& v) { return little(v); }
    bool text(QString& s)
    {
        quint32 n = 0;
        if (!u32(n) || qint64(m_pos) + n > m_b.size())
            return false;
        s = QString::fromUtf8(m_b.constData() + m_pos, int(n));
        m_pos += int(n);
        return true;
    }
    QByteArray rest() const { return m_b.mid(m_pos); }

private:
    // A little-endian unsigned number, when the payload still holds one.
    template <typename T>
    bool little(T& v)
    {
        if (m_pos + int(sizeof(T)) > m_b.size())
            return false;
        v = 0;
        for (int i = 0; i < int(sizeof(T)); ++i)
            v |= T(quint8(m_b[m_pos + i])) << (8 * i);
        m_pos += int(sizeof(T));
        return true;
    }

    QByteArray m_b;
    int m_pos = 0;
};

bool writeAll(int fd, const char* data, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        data += w;
        n -= size_t(w);
    }
    return true;
}

bool syncPath(const QString& path, bool folder)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool statPath(const QString& path, struct stat* st)
{
    const QByteArray name = QFile::encodeName(path);
    return ::lstat(name.constData(), st) == 0;
}

QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

struct Record
{
    quint32 type = 0;
    QByteArray payload;
};

// Records up to the first one that is cut short or fails its check. False
// when the file is not a journal at all.
bool readRecords(const QString& path, QVector<Record>& records, bool* empty)
{
    QFile f(path);
    *empty = false;
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxJournalBytes)
        return false;
    const QByteArray all = f.readAll();
    if (all.size() < int(sizeof kMagic)) {
        // Created but its header never reached the disk: no change followed.
        *empty = true;
        return true;
    }
    if (std::memcmp(all.constData(), kMagic, sizeof kMagic) != 0)
        return false;
    qint64 pos = sizeof kMagic;
    while (pos + 12 <= all.size()) {
        Reader head(all.mid(int(pos), 8));
        quint32 type = 0, len = 0;
        head.u32(type);
        head.u32(len);
        if (pos + 12 + qint64(len) > all.size())
            break;
        const QByteArray tail = all.mid(int(pos + 8 + len), 4);
        quint32 stored = 0;
        Reader(tail).u32(stored);
        if (crc32(all.constData() + pos, size_t(8 + len)) != stored)
            break;
        records.append(Record{type, all.mid(int(pos + 8), int(len))});
        pos += 12 + qint64(len);
    }
    return true;
}

// Writes `bytes` at `offset` of an existing file, through the write seam.
bool putBack(const QString& path, quint64 offset, const QByteArray& bytes, QString& error)
{
    QFile f(path);
    if (!QFileInfo(path).isFile() || !FileWriteSeam::mayOpenForWrite(path)
        || !f.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        error = path + QLatin1String(": cannot be opened to put its bytes back");
        return false;
    }
    if (!f.seek(qint64(offset)) || FileWriteSeam::write(f, bytes.constData(), bytes.size()) != bytes.size()) {
        error = path + QLatin1String(": its old bytes could not be written back");
        return false;
    }
    return true;
}

// A journal lives in the folder of the take it protects and names only files
// of that folder. Anything else (a path, "..") is not from this program: a
// journal is read from a user's folder and must not steer writes elsewhere.
bool resolve(const QDir& dir, const QString& stored, QString& path)
{
    if (stored.isEmpty() || stored.contains(QLatin1Char('/')) || stored == QLatin1String(".")
        || stored == QLatin1String(".."))
        return false;
    path = dir.absolutePath() + QLatin1Char('/') + stored;
    return true;
}

// Applies the records in reverse order. `touched` receives the files that
// must reach the disk afterwards; `label` the take's file ID.
bool undo(const QString& folder, const QVector<Record>& records, QStringList& touched, QString& label, QString& error,
          bool checkOnly)
{
    const QDir dir(folder);
    for (int i = records.size() - 1; i >= 0; --i) {
        const Record& r = records.at(i);
        Reader in(r.payload);
        switch (r.type) {
        case 1: {   // take
            in.text(label);
            break;
        }
        case 2: {   // a file the take created
            QString rel;
            QString p;
            if (!in.text(rel) || !resolve(dir, rel, p))
                return error = QStringLiteral("damaged journal record"), false;
            if (checkOnly)
                break;
            struct stat st;
            if (statPath(p, &st) && ::unlink(QFile::encodeName(p).constData()) != 0) {
                error = p + QLatin1String(": ") + systemError();
                return false;
            }
            break;
        }
        case 3: {   // size at first touch
            QString rel;
            quint64 size = 0;
            QString p;
            if (!in.text(rel) || !in.u64(size) || !resolve(dir, rel, p))
                return error = QStringLiteral("damaged journal record"), false;
            if (checkOnly)
                break;
            QFile f(p);
            if (!QFileInfo(p).isFile() || !FileWriteSeam::mayOpenForWrite(p) || !f.open(QIODevice::ReadWrite)) {
                error = p + QLatin1String(": cannot be opened to put its length back");
                return false;
            }
            if (quint64(f.size()) != size && !FileWriteSeam::resize(f, qint64(size))) {
                error = p + QLatin1String(": its length could not be put back");
                return false;
            }
            touched << p;
            break;
        }
        case 4: {   // old bytes of a region
            QString rel;
            quint64 offset = 0;
            QString p;
            if (!in.text(rel) || !in.u64(offset) || !resolve(dir, rel, p))
                return error = QStringLiteral("damaged journal record"), false;
            if (checkOnly)
                break;
            if (!putBack(p, offset, in.rest(), error))
                return false;
            touched << p;
            break;
        }
        case 5: {   // rename
            QString relFrom, relTo;
            quint32 fromIsNew = 0;
            QString from, to;
            if (!in.text(relFrom) || !in.text(relTo) || !in.u32(fromIsNew) || !resolve(dir, relFrom, from)
                || !resolve(dir, relTo, to))
                return error = QStringLiteral("damaged journal record"), false;
            if (checkOnly)
                break;
            struct stat sf, st;
            const bool haveFrom = statPath(from, &sf);
            const bool haveTo = statPath(to, &st);
            if (!haveTo)
                break;   // the rename never happened
            if (haveFrom) {
                // A rename by link and unlink stopped halfway: both names are
                // the one file, and the new name is the one to drop.
                if (sf.st_dev == st.st_dev && sf.st_ino == st.st_ino
                    && ::unlink(QFile::encodeName(to).constData()) != 0) {
                    error = to + QLatin1String(": ") + systemError();
                    return false;
                }
                break;   // otherwise `to` is not ours
            }
            if (fromIsNew) {
                if (::unlink(QFile::encodeName(to).constData()) != 0) {
                    error = to + QLatin1String(": ") + systemError();
                    return false;
                }
            } else if (!FileWriteSeam::renameNoReplace(to, from)) {
                error = to + QLatin1String(": could not get its old name back");
                return false;
            }
            break;
        }
        default:
            error = QStringLiteral("unknown journal record");
            return false;
        }
    }
    return true;
}

// Rolls back the journal at `path`; removes it when done.
bool rollBackFile(const QString& folder, const QString& path, QString& label, QString& error)
{
    QVector<Record> records;
    bool empty = false;
    if (!readRecords(path, records, &empty)) {
        error = path + QLatin1String(": not a journal this program can read; it was left in place");
        return false;
    }
    QStringList touched;
    QStringList unused;
    QString ignored;
    // Checked whole before anything is put back: a damaged journal is left
    // alone rather than half applied.
    if (!empty && !undo(folder, records, unused, ignored, error, true))
        return false;
    if (!empty && !undo(folder, records, touched, label, error, false))
        return false;
    touched.removeDuplicates();
    for (const QString& p : touched)
        if (!syncPath(p, false)) {
            error = p + QLatin1String(": ") + systemError();
            return false;
        }
    syncPath(folder, true);
    if (::unlink(QFile::encodeName(path).constData()) != 0) {
        error = path + QLatin1String(": ") + systemError();
        return false;
    }
    syncPath(folder, true);
    return true;
}

} // namespace

TakeJournal::~TakeJournal()
{
    if (m_fd >= 0)
        rollBack();
    stopObserving();
}

void TakeJournal::SetRecordHookForTests(std::function<void(int)> hook) { recordHook() = std::move(hook); }

bool TakeJournal::HasJournal(const QString& folder)
{
    struct stat st;
    return statPath(QDir::cleanPath(folder + QLatin1Char('/') + QLatin1String(kFileName)), &st);
}

QString TakeJournal::normal(const QString& path) const
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString TakeJournal::relative(const QString& path) const
{
    // Only files of the journal's own folder can be put back (a recovery
    // refuses any other name): a change elsewhere is refused here.
    const QFileInfo info(path);
    return info.absolutePath() == m_folder ? info.fileName() : QString();
}

bool TakeJournal::refuseOutside(const QString& path)
{
    m_error = path + QLatin1String("\nThis file is not in the folder of the take being changed; it was not touched.");
    return false;
}

void TakeJournal::stopObserving()
{
    if (m_observing) {
        FileWriteSeam::setObserver(m_previousObserver);
        m_observing = false;
    }
}

bool TakeJournal::begin(const QString& folder, const QString& label)
{
    m_folder = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    m_journalPath = m_folder + QLatin1Char('/') + QLatin1String(kFileName);
    m_label = label;
    m_error.clear();
    m_created.clear();
    m_originalSize.clear();
    m_records = 0;
    m_pending.clear();
    m_pendingRecords = 0;
    const QByteArray name = QFile::encodeName(m_journalPath);
    m_fd = ::open(name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (m_fd < 0) {
        m_error = m_journalPath + QLatin1String("\nUnable to create the journal that protects the take: ") + systemError();
        return false;
    }
    QByteArray payload;
    putText(payload, label);
    // The journal must exist on disk, under its name, before the first change.
    if (!writeAll(m_fd, kMagic, sizeof kMagic) || !append(kTake, payload) || !syncPath(m_folder, true)) {
        m_error = m_journalPath + QLatin1String("\nUnable to write the journal that protects the take: ") + systemError();
        ::close(m_fd);
        m_fd = -1;
        ::unlink(name.constData());
        return false;
    }
    m_previousObserver = FileWriteSeam::setObserver(this);
    m_observing = true;
    return true;
}

void TakeJournal::stage(quint32 type, const QByteArray& payload)
{
    const int at = m_pending.size();
    putU32(m_pending, type);
    putU32(m_pending, quint32(payload.size()));
    m_pending.append(payload);
    putU32(m_pending, crc32(m_pending.constData() + at, size_t(m_pending.size() - at)));
    ++m_pendingRecords;
}

bool TakeJournal::append(quint32 type, const QByteArray& payload)
{
    stage(type, payload);
    return flush();
}

bool TakeJournal::flush()
{
    if (m_fd < 0)
        return false;
    if (m_pending.isEmpty())
        return true;
    // Staged records reach the disk together, in one sync: the size of a
    // file at first touch travels with the first region it protects.
    const QByteArray rec = m_pending;
    const int count = m_pendingRecords;
    m_pending.clear();
    m_pendingRecords = 0;
    if (!writeAll(m_fd, rec.constData(), size_t(rec.size())) || ::fdatasync(m_fd) != 0) {
        m_error = m_journalPath + QLatin1String("\nUnable to write the journal that protects the take: ") + systemError();
        return false;
    }
    for (int i = 0; i < count; ++i) {
        ++m_records;
        if (recordHook())
            recordHook()(m_records);
    }
    return true;
}

bool TakeJournal::touchExisting(const QString& path, qint64* sizeNow)
{
    struct stat st;
    if (!statPath(path, &st)) {
        *sizeNow = 0;
        return true;   // nothing there yet; the open that follows will fail
    }
    *sizeNow = qint64(st.st_size);
    if (m_originalSize.contains(path))
        return true;
    QByteArray payload;
    putText(payload, relative(path));
    putU64(payload, quint64(st.st_size));
    stage(kSize, payload);
    m_originalSize.insert(path, qint64(st.st_size));
    return true;
}

bool TakeJournal::beforeWrite(QFileDevice& file, qint64 position, qint64 size)
{
    const QString p = normal(file.fileName());
    if (m_created.contains(p))
        return true;
    if (relative(p).isEmpty())
        return refuseOutside(p);
    qint64 now = 0;
    if (!touchExisting(p, &now))
        return false;
    if (position >= now || size <= 0)
        return flush();   // beyond the old end: cutting the file back restores it
    return keepRegion(p, position, qMin(size, now - position));
}

bool TakeJournal::beforeResize(QFileDevice& file, qint64 newSize)
{
    const QString p = normal(file.fileName());
    if (m_created.contains(p))
        return true;
    if (relative(p).isEmpty())
        return refuseOutside(p);
    qint64 now = 0;
    if (!touchExisting(p, &now))
        return false;
    if (newSize >= now)
        return flush();
    // Bytes about to be cut off: kept like any overwritten region.
    file.flush();
    return keepRegion(p, newSize, now - newSize);
}

// The old bytes of [position, position + length) of an existing file go into a
// region record before a write or a cut changes them.
bool TakeJournal::keepRegion(const QString& path, qint64 position, qint64 length)
{
    const QString unreadable = path + QLatin1String("\nUnable to read the bytes about to be rewritten.");
    if (length > std::numeric_limits<int>::max()) {
        m_error = unreadable;
        return false;
    }
    QByteArray old(int(length), '\0');
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    qint64 done = 0;
    while (fd >= 0 && done < length) {
        const ssize_t got = ::pread(fd, old.data() + done, size_t(length - done), off_t(position + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    if (fd >= 0)
        ::close(fd);
    if (done != length) {
        m_error = unreadable;
        return false;
    }
    QByteArray payload;
    putText(payload, relative(path));
    putU64(payload, quint64(position));
    payload.append(old);
    return append(kRegion, payload);
}

bool TakeJournal::beforeCreate(const QString& path)
{
    if (relative(normal(path)).isEmpty())
        return refuseOutside(path);
    QByteArray payload;
    putText(payload, relative(normal(path)));
    if (!append(kCreate, payload))
        return false;
    m_created.insert(normal(path));
    return true;
}

bool TakeJournal::beforeRename(const QString& from, const QString& to)
{
    const QString f = normal(from);
    const QString t = normal(to);
    const bool fromIsNew = m_created.contains(f);
    if (relative(f).isEmpty() || relative(t).isEmpty())
        return refuseOutside(relative(f).isEmpty() ? from : to);
    QByteArray payload;
    putText(payload, relative(f));
    putText(payload, relative(t));
    putU32(payload, fromIsNew ? 1 : 0);
    if (!append(kRename, payload))
        return false;
    if (fromIsNew)
        m_created.insert(t);
    return true;
}

bool TakeJournal::commit()
{
    stopObserving();
    if (m_fd < 0)
        return false;
    // Every change of the take reaches the disk before the journal that
    // could undo it goes away.
    QStringList paths = m_originalSize.keys();
    for (const QString& p : m_created)
        if (QFileInfo::exists(p))
            paths << p;
    for (const QString& p : paths)
        if (!syncPath(p, false)) {
            m_error = p + QLatin1String("\nUnable to push the take's changes to the disk: ") + systemError();
            return rollBack() && false;
        }
    ::close(m_fd);
    m_fd = -1;
    if (::unlink(QFile::encodeName(m_journalPath).constData()) != 0) {
        m_error = m_journalPath + QLatin1String("\nUnable to remove the take's journal: ") + systemError();
        return false;
    }
    syncPath(m_folder, true);
    return true;
}

bool TakeJournal::rollBack()
{
    stopObserving();
    if (m_fd < 0)
        return false;
    ::fdatasync(m_fd);
    ::close(m_fd);
    m_fd = -1;
    // The same path as a recovery after a crash: what is on disk is what is undone.
    QString label;
    QString error;
    if (!rollBackFile(m_folder, m_journalPath, label, error)) {
        m_error = error;
        return false;
    }
    return true;
}

TakeJournal::Recovery TakeJournal::RecoverFolder(const QString& folder, const QString& title)
{
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (!HasJournal(clean))
        return Recovery::Nothing;
    const QString path = clean + QLatin1Char('/') + QLatin1String(kFileName);
    // No observer may journal the rollback's own writes.
    FileWriteSeam::Observer* previous = FileWriteSeam::setObserver(nullptr);
    QString label;
    QString error;
    const bool ok = rollBackFile(clean, path, label, error);
    FileWriteSeam::setObserver(previous);
    const QString which = label.isEmpty() ? QStringLiteral("a take") : QLatin1String("take ") + label;
    if (!ok) {
        SendToRelay(title,
                    clean + QLatin1String("\nAn earlier run stopped while changing ") + which
                        + QLatin1String(", and its files could not be put back (") + error
                        + QLatin1String("). Nothing else was changed in this folder."),
                    0, 1, true, 0);
        return Recovery::Failed;
    }
    SendToRelay(title,
                clean + QLatin1String("\nAn earlier run stopped while changing ") + which
                    + QLatin1String(": its files were put back as they were before that run."),
                0, 1, true, 0);
    return Recovery::RolledBack;
}
