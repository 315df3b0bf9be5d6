// SPDX-License-Identifier: GPL-3.0-or-later
#include "QSoundFile.h"

#include "FileWriteSeam.h"
#include "MessageLoging.h"

#include <atomic>
#include <cstring>
#include <new>

namespace {

const QString kReadChunksTitle = QStringLiteral("QSoundFile::ReadChunks()");

// An honest iXML chunk is 61440 bytes; a text beyond this is treated like a
// buffer that cannot be had rather than pulled into memory.
constexpr qint64 kMaxIxmlReadBytes = 64 * 1024 * 1024;
std::atomic<qint64> g_ixmlReadLimitForTests{0};

qint64 ixmlReadLimit()
{
    const qint64 forTests = g_ixmlReadLimitForTests.load();
    return forTests > 0 ? forTests : kMaxIxmlReadBytes;
}

// Reads the 8-byte header at `position`; returns the number of bytes read
// (0 at the end of the file). Unread bytes of the header are zero.
qint64 readHeaderAt(QFile& file, quint32 position, tyChunk& header)
{
    header.Clear();
    if (!file.seek(position))
        return 0;
    const qint64 n = file.read(header.Data(), tyChunk::kBytes);
    return n < 0 ? 0 : n;
}

bool isPrintableId(const tyChunk& header)
{
    for (int i = 0; i < 4; ++i) {
        const unsigned char c = static_cast<unsigned char>(header.Data()[i]);
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

// Position of the header after the chunk at `position` of size `size`, or
// false when the walk must end because the 32-bit position would wrap. The
// position always grows by at least 8, so every walk ends.
//
// The recorder writes no pad byte after an odd-sized chunk, other writers do:
// when the size is odd and the unpadded position holds no plausible header,
// but the padded one does (or is the end of the file), the pad is skipped.
// Files without pad bytes read exactly as before.
bool nextChunkPosition(QFile& file, quint32 position, quint32 size, quint32* next)
{
    const quint64 end = quint64(position) + 8u + size;
    if (end > 0xFFFFFFFFull)
        return false;   // would wrap the 32-bit position
    const quint32 unpadded = quint32(end);
    *next = unpadded;
    if ((size & 1u) == 0 || unpadded == 0xFFFFFFFFu)
        return true;
    tyChunk header;
    const qint64 got = readHeaderAt(file, unpadded, header);
    if (got == tyChunk::kBytes && isPrintableId(header))
        return true;
    if (got == 0)
        return true;   // end of file: nothing more either way
    tyChunk padded;
    const qint64 gotPadded = readHeaderAt(file, unpadded + 1u, padded);
    if (gotPadded == 0 || (gotPadded == tyChunk::kBytes && isPrintableId(padded)))
        *next = unpadded + 1u;
    return true;
}

// Reads up to `bytes` into `record` at `position`; a short read leaves the
// rest of the record as it was.
void readRecordAt(QFile& file, quint32 position, char* record, int bytes)
{
    if (file.seek(position))
        file.read(record, bytes);
}

} // namespace

QSoundFile::QSoundFile()
{
    InitVariables();
}

void QSoundFile::SetIxmlReadLimitForTests(qint64 bytes)
{
    g_ixmlReadLimitForTests.store(bytes);
}

void QSoundFile::InitVariables()
{
    m_sPath.clear();
    m_siXML.clear();
    m_nPosiXML = 0;
    m_nPosFmt = 0;
    m_nPosBext = 0;
    m_nPosOnde = 0;
    m_nPosFilm = 0;
    m_nPosVelta = 0;
    m_nPosData = 0;
    m_nRiffSize = 0;
    m_nNbUnknownChunk = 0;
    m_nSizeiXML = 0;
    m_bTooManyChunks = false;
    m_nXmlErrorLine = 1;
    m_nXmlErrorColumn = 1;
    m_tFmtChunk.Clear();
    m_tBextChunk.Clear();
    m_tOndeChunk.Clear();
    m_tFilmChunk.Clear();
    m_tVeltaChunk.Clear();
    m_tDataChunk.Clear();
}

void QSoundFile::SplitPathAndFileID(const QString& path, QString& folder, QString& fileID)
{
    folder.clear();
    fileID.clear();
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return;
    folder = path.left(slash + 1);
    fileID = path.mid(slash + 1);
}

bool QSoundFile::Open(const QString& path, int mode)
{
    m_nNbUnknownChunk = 0;
    if (mode < 0 || mode > 2 || path.isEmpty())
        return false;

    // One object, one file: a file still open from before is closed first.
    if (m_File.isOpen())
        m_File.close();
    m_File.setFileName(path);
    bool ok = false;
    switch (mode) {
    case 0:
        ok = m_File.open(QIODevice::ReadOnly);
        break;
    case 1:
        ok = FileWriteSeam::mayOpenForWrite(path) && m_File.open(QIODevice::WriteOnly);
        break;
    default:
        ok = FileWriteSeam::mayOpenForWrite(path) && m_File.open(QIODevice::ReadWrite);
        break;
    }
    if (ok) {
        m_sPath = path;
        return true;
    }

    QString folder;
    QString fileID;
    SplitPathAndFileID(path, folder, fileID);
    QString text;
    if (mode == 0)
        text = QStringLiteral("Unable to open\n%1\n%2\nfor reading !");
    else if (mode == 1)
        text = QStringLiteral("Unable to open\n%1\n%2\nfor writing !");
    else
        text = QStringLiteral("Unable to open\n%1\n%2\nfor append !");
    // Both names in one arg() call: a '%' in a file name is never taken as a marker.
    SendToRelay(QStringLiteral("QSoundFile::Open()"), text.arg(folder, fileID), 0, 1, true, 0);
    return false;
}

bool QSoundFile::Close()
{
    if (!m_File.isOpen())
        return false;
    m_File.close();
    return true;
}

qint64 QSoundFile::LectureDataBin(char* buffer, qint64 position, int length)
{
    if (!buffer || length < 0 || !m_File.isOpen())
        return -1;
    if (position != -1 && !m_File.seek(position))
        return -1;
    return m_File.read(buffer, length);
}

bool QSoundFile::ReadChunks(bool bShowMessage, bool bBextOptional)
{
    auto report = [&](const QString& format) {
        if (!bShowMessage)
            return;
        QString folder;
        QString fileID;
        SplitPathAndFileID(m_sPath, folder, fileID);
        SendToRelay(kReadChunksTitle, format.arg(folder, fileID), 0, 1, true, 0);
    };

    QString fault = RiffHeaderFault();
    if (fault.isEmpty()) {
        WalkChunks();
        fault = MissingChunkFault(bBextOptional);
    }
    if (!fault.isEmpty()) {
        report(fault);
        return false;
    }
    return true;
}

// Checks the file is open and starts with "RIFF", and keeps the RIFF size.
// Returns the message of the fault, empty when the header is sound.
QString QSoundFile::RiffHeaderFault()
{
    if (!m_File.isOpen())
        return QStringLiteral("Path:%1\nFile:%2\nisn't open !");

    char riff[8] = {};
    qint64 got = m_File.seek(0) ? m_File.read(riff, 4) : 0;
    if (got <= 0)
        return QStringLiteral("Path:%1\nFile:%2\nis empty !");
    if (got != 4 || std::memcmp(riff, "RIFF", 4) != 0)
        return QStringLiteral("Path:%1\nFile:%2\nis not a sound file !");
    m_File.read(riff + 4, 4);
    m_nRiffSize = bwf::readU32(riff + 4);   // bytes not read stay zero
    return QString();
}

// Walks the chunk headers from the first chunk to the end of the file (or
// too many unknown chunks), recording every chunk this class knows.
void QSoundFile::WalkChunks()
{
    const qint64 fileSize = m_File.size();
    quint32 position = bwf::kFirstChunkOffset;
    tyChunk header;
    while (readHeaderAt(m_File, position, header) > 0) {
        const quint32 size = header.ChunkSize();
        if (!RecordChunk(position, header, fileSize))
            break;
        quint32 next = 0;
        if (!nextChunkPosition(m_File, position, size, &next))
            break;
        position = next;
    }
}

// Reads the record of one known chunk and where it lies; counts an unknown
// one. False when there are too many unknown chunks to go on.
bool QSoundFile::RecordChunk(quint32 position, const tyChunk& header, qint64 fileSize)
{
    const QByteArray id = header.ChunkID();
    if (id == "bext") {
        readRecordAt(m_File, position, m_tBextChunk.Data(), tyBextChunk::kBytes);
        m_nPosBext = position + 8;
    } else if (id == "data") {
        readRecordAt(m_File, position, m_tDataChunk.Data(), tyDataChunk::kBytes);
        m_nPosData = position + 8;
    } else if (id == "fmt ") {
        readRecordAt(m_File, position, m_tFmtChunk.Data(), tyFmtChunk::kBytes);
        m_nPosFmt = position + 8;
    } else if (id.startsWith("ond")) {
        readRecordAt(m_File, position, m_tOndeChunk.Data(), tyOndeChunk::kBytes);
        m_nPosOnde = position + 8;
    } else if (id == "iXML") {
        ReadIxmlChunk(position, header.ChunkSize(), fileSize);
    } else if (id == "film") {
        readRecordAt(m_File, position, m_tFilmChunk.Data(), tyFilmChunk::kBytes);
        m_nPosFilm = position + 8;
    } else if (id == "vlta") {
        readRecordAt(m_File, position, m_tVeltaChunk.Data(), tyChunk::kBytes);
        m_nPosVelta = position + 8;
    } else {
        ++m_nNbUnknownChunk;
        if (m_nNbUnknownChunk > 30) {
            m_bTooManyChunks = true;
            return false;
        }
    }
    return true;
}

// Reads the iXML text of the chunk at `position` up to its first NUL.
void QSoundFile::ReadIxmlChunk(quint32 position, quint32 size, qint64 fileSize)
{
    // Read at most what the file holds after the header, whatever the
    // declared size says: a lying ChunkSize must not make us allocate
    // or read blindly.
    const qint64 available = qMax<qint64>(0, fileSize - (qint64(position) + 8));
    const qint64 toRead = qMin<qint64>(size, available);
    QByteArray buffer;
    bool allocated = toRead <= ixmlReadLimit();
    if (allocated) {
        try {
            buffer = QByteArray(int(toRead), '\0');
        } catch (const std::bad_alloc&) {
            allocated = false;
        }
    }
    if (!allocated) {
        SendToRelay(kReadChunksTitle, QStringLiteral("pciXML = malloc() return NULL !\n"), 0, 1, true, 0);
    } else {
        qint64 n = 0;
        if (toRead > 0 && m_File.seek(qint64(position) + 8))
            n = m_File.read(buffer.data(), toRead);
        buffer.truncate(int(qMax<qint64>(0, n)));
        const int nul = buffer.indexOf('\0');
        if (nul >= 0)
            buffer.truncate(nul);
        m_siXML = QString::fromUtf8(buffer);
        m_XmlObject.Clean();
    }
    m_nPosiXML = position;
    m_nSizeiXML = size;
}

// The message for the first chunk a take cannot do without that the walk did
// not meet, empty when none is missing.
QString QSoundFile::MissingChunkFault(bool bBextOptional) const
{
    if (!HasFormatChunk())
        return QStringLiteral("Path:%1\nFile:%2\nhasn't Format Chunk !");
    if (!HasDataChunk())
        return QStringLiteral("Path:%1\nFile:%2\nhasn't Data Chunk !");
    if (!HasBextChunk() && !bBextOptional)
        return QStringLiteral("Path:%1\nFile:%2\nhasn't Bext Chunk !");
    return QString();
}

bool QSoundFile::ListChunks(const QString& path, QList<tyChunkEntry>& chunks, quint32* riffSize)
{
    chunks.clear();
    if (riffSize)
        *riffSize = 0;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    char riff[8] = {};
    if (file.read(riff, 8) < 4 || std::memcmp(riff, "RIFF", 4) != 0)
        return false;
    if (riffSize)
        *riffSize = bwf::readU32(riff + 4);

    quint32 position = bwf::kFirstChunkOffset;
    tyChunk header;
    while (chunks.size() < kMaxListedChunks && readHeaderAt(file, position, header) > 0) {
        chunks.append(tyChunkEntry{header.ChunkID(), position, header.ChunkSize()});
        quint32 next = 0;
        if (!nextChunkPosition(file, position, header.ChunkSize(), &next))
            break;
        position = next;
    }
    return true;
}
