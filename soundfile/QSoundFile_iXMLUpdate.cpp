// SPDX-License-Identifier: GPL-3.0-or-later
// In-place changes: setters on the parsed iXML document, and the two writers
// that put an iXML chunk or an onde chunk into the open file.
#include "QSoundFile.h"

#include "DebugOutput.h"
#include "FileNaming.h"
#include "FileWriteSeam.h"
#include "MessageLoging.h"

#include <QDomNode>
#include <QDomText>
#include <QFileInfo>

#include <atomic>
#include <memory>
#include <new>
#include <vector>

namespace {

const QString kAddiXMLTitle = QStringLiteral("QSoundFile::AddiXMLChunk()");
const QString kAddOndeTitle = QStringLiteral("QSoundFile::AddOndChunk()");
constexpr quint64 kMaxRiffSize = 0xFFFFFFFFull;

std::atomic<qint64> g_nBufferLimitForTests{0};

// A writer's buffer, or null when it cannot be had (no exception, no abort):
// the caller then writes nothing at all.
std::unique_ptr<char[]> obtainBuffer(quint64 bytes)
{
    const qint64 limit = g_nBufferLimitForTests.load();
    if (limit > 0 && bytes > quint64(limit))
        return nullptr;
    return std::unique_ptr<char[]>(new (std::nothrow) char[bytes ? bytes : 1]);
}

// Sets the text of `element` in place; an empty value is written as one
// space, as everywhere else in the document.
void setText(QDomDocument& doc, QDomElement element, const QString& value)
{
    const QString text = value.isEmpty() ? QStringLiteral(" ") : value;
    while (!element.firstChild().isNull())
        element.removeChild(element.firstChild());
    element.appendChild(doc.createTextNode(text));
}

QDomElement firstChildNamed(const QDomElement& parent, const QString& name)
{
    for (QDomElement child = parent.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
        if (child.tagName() == name)
            return child;
    return QDomElement();
}

void setOrAppend(QDomDocument& doc, QDomElement parent, const QString& name, const QString& value)
{
    QDomElement element = firstChildNamed(parent, name);
    if (element.isNull()) {
        element = doc.createElement(name);
        parent.appendChild(element);
    }
    setText(doc, element, value);
}

} // namespace

void QSoundFile::SetWriterBufferLimitForTests(qint64 bytes)
{
    g_nBufferLimitForTests.store(bytes);
}

// ---- setters -------------------------------------------------------------

bool QSoundFile::EnsureiXMLDocument(int t)
{
    if (!m_XmlObject.XmlOk()) {
        if (m_tFmtChunk.NbChannels() == 1)
            CreateNewiXMLchunkMono(t);
        else
            CreateNewiXMLchunkPoly();
    }
    if (!m_XmlObject.XmlOk())
        return false;
    if (m_XmlObject.GetRoot().isNull())
        m_XmlObject.GetFirstElement();
    return !m_XmlObject.GetRoot().isNull();
}

void QSoundFile::SetiXMLMonoTrackNumber(int t, int number)
{
    if (!EnsureiXMLDocument(t))
        return;
    const QStringList path = XmlPath(QStringLiteral("TRACK_LIST\tTRACK"));
    if (m_XmlObject.GetPtrElement(QStringLiteral("CHANNEL_INDEX"), path).isNull())
        WriteTracklistInfos(&m_XmlObject, m_XmlObject.GetRoot(), false, t);
    m_XmlObject.SetElement(QStringLiteral("CHANNEL_INDEX"), QString::number(number), path);
}

void QSoundFile::SetiXMLMonoTrackName(int t, const QString& name)
{
    if (!EnsureiXMLDocument(t))
        return;
    const QStringList path = XmlPath(QStringLiteral("TRACK_LIST\tTRACK"));
    if (m_XmlObject.GetPtrElement(QStringLiteral("NAME"), path).isNull())
        WriteTracklistInfos(&m_XmlObject, m_XmlObject.GetRoot(), false, t);
    m_XmlObject.SetElement(QStringLiteral("NAME"), name, path);
}

void QSoundFile::SetiXMLTotalFiles(int t, int count, bool poly)
{
    if (!EnsureiXMLDocument(t))
        return;
    const QStringList path = XmlPath(QStringLiteral("FILE_SET"));
    if (m_XmlObject.GetPtrElement(QStringLiteral("TOTAL_FILES"), path).isNull())
        WriteFilesetInfos(&m_XmlObject, m_XmlObject.GetRoot(), poly, t);
    m_XmlObject.SetElement(QStringLiteral("TOTAL_FILES"), QString::number(count), path);
}

void QSoundFile::SetiXMLNote(int t, const QString& note)
{
    if (!EnsureiXMLDocument(t))
        return;
    const QString text = note.trimmed();
    const QStringList path = XmlPath(QString());
    if (m_XmlObject.GetPtrElement(QStringLiteral("NOTE"), path).isNull())
        m_XmlObject.AddElement(m_XmlObject.GetRoot(), QStringLiteral("NOTE"), text);
    else
        m_XmlObject.SetElement(QStringLiteral("NOTE"), text, path);
}

void QSoundFile::SetiXMLVeltaAllTrkInfos(const QString* names, const QString* pans, const QString* actives,
                                         const QString* grids)
{
    if (!names || !pans || !actives || !grids)
        return;
    if (!m_XmlObject.XmlOk())
        return;   // this setter never creates a document
    if (m_XmlObject.GetRoot().isNull())
        m_XmlObject.GetFirstElement();
    const QDomElement root = m_XmlObject.GetRoot();
    if (root.isNull())
        return;

    QDomDocument& doc = m_XmlObject.Document();
    const QString velta = QStringLiteral("VELTA_PAVANE");
    QDomElement table = m_XmlObject.GetPtrElement(QStringLiteral("ALL_TRK_NAME"), XmlPath(velta));
    if (table.isNull()) {
        QDomElement section = m_XmlObject.GetPtrElement(velta, XmlPath(QString()));
        if (section.isNull())
            section = m_XmlObject.AddElement(root, velta);
        table = m_XmlObject.AddElement(section, QStringLiteral("ALL_TRK_NAME"));
        for (unsigned int i = 0; i < unsigned(bwf::kMaxTracks); ++i) {
            QDomElement data = m_XmlObject.AddElement(table, QStringLiteral("DATA"));
            m_XmlObject.AddElement(data, QStringLiteral("INDICE"), i);
            m_XmlObject.AddElement(data, QStringLiteral("ACTIVE"), QStringLiteral("NO"));
        }
    }

    const QString nameTag = QStringLiteral("NAME");
    const QString activeTag = QStringLiteral("ACTIVE");
    for (QDomElement data = table.firstChildElement(); !data.isNull(); data = data.nextSiblingElement()) {
        if (data.tagName() != QLatin1String("DATA"))
            continue;
        bool ok = false;
        const int k = firstChildNamed(data, QStringLiteral("INDICE")).text().toInt(&ok, 10);
        if (!ok || k < 0 || k >= bwf::kMaxTracks)
            continue;
        const QString& active = actives[k];
        if (active.compare(QLatin1String("YES"), Qt::CaseInsensitive) == 0) {
            // The recorder's tools expect an active entry to end with its
            // ACTIVE flag and NAME: both are written anew at the end.
            const QDomElement oldName = firstChildNamed(data, nameTag);
            if (!oldName.isNull())
                data.removeChild(oldName);
            const QDomElement oldActive = firstChildNamed(data, activeTag);
            if (!oldActive.isNull())
                data.removeChild(oldActive);
        }
        setOrAppend(doc, data, activeTag, active);
        if (active.compare(QLatin1String("NO"), Qt::CaseInsensitive) != 0) {
            setOrAppend(doc, data, nameTag, names[k]);
            setOrAppend(doc, data, QStringLiteral("IN_GRID"), grids[k]);
            setOrAppend(doc, data, QStringLiteral("PAN_POT"), pans[k]);
        }
    }
}

// ---- writers ---------------------------------------------------------------

bool QSoundFile::WriteAt(quint64 position, const char* data, qint64 size, qint64* stored)
{
    *stored = 0;
    if (!m_File.seek(qint64(position)))
        return false;
    const qint64 written = FileWriteSeam::write(m_File, data, size);
    // Qt buffers writes: a full disk may only show when the buffer is flushed.
    const bool flushed = m_File.flush();
    *stored = written > 0 ? written : 0;
    return written == size && flushed;
}

void QSoundFile::ReportShortWrite(const QString& title, const QString& what, qint64 stored, qint64 size)
{
    SendToRelay(title,
                QStringLiteral("Unable to write the %1 into\n%2\n(%3 of %4 bytes written).")
                    .arg(what, m_sPath, QString::number(stored), QString::number(size)),
                0, 1, true, 0);
}

bool QSoundFile::WriteRiffSize(quint32 newSize, const QString& title)
{
    char bytes[4];
    bwf::writeU32(bytes, newSize);
    qint64 stored = 0;
    if (WriteAt(4, bytes, 4, &stored)) {
        m_nRiffSize = newSize;
        return true;
    }
    ReportShortWrite(title, QStringLiteral("RIFF size"), stored, 4);
    // Try to put the old size back; whatever the disk kept is what the
    // object must believe.
    char old[4];
    bwf::writeU32(old, m_nRiffSize);
    qint64 restored = 0;
    if (!WriteAt(4, old, 4, &restored)) {
        char onDisk[4];
        for (int i = 0; i < 4; ++i)
            onDisk[i] = i < restored ? old[i] : (i < stored ? bytes[i] : old[i]);
        m_nRiffSize = bwf::readU32(onDisk);
    }
    return false;
}

bool QSoundFile::RetireChunk(quint32 headerPosition, const QString& title)
{
    static const char kJunk[4] = {'J', 'U', 'N', 'K'};
    qint64 stored = 0;
    if (WriteAt(headerPosition, kJunk, 4, &stored))
        return true;
    ReportShortWrite(title, QStringLiteral("filler chunk name"), stored, 4);
    return false;
}

bool QSoundFile::RestoreFileSize(qint64 size)
{
    if (size < 0)
        return false;
    // Only ever cuts off what a failed write added: the file never becomes
    // shorter than it was before the write.
    if (m_File.size() <= size)
        return true;
    return FileWriteSeam::resize(m_File, size);
}

bool QSoundFile::AddiXMLChunk(QString& text)
{
    if (!m_File.isOpen())
        return false;
    const QByteArray utf8 = FitIxmlText(text);
    if (m_nRiffSize == 0) {
        SendToRelay(kAddiXMLTitle, QStringLiteral("Error bad RIFF size detected (RIFF size == 0)"), 0, 1, true, 0);
        return false;
    }
    if (!IxmlChunkIsWhereRead())
        return false;
    IxmlPlacement place;
    if (!PlaceIxml(quint64(utf8.size()), place))
        return false;
    if (!WriteIxmlChunk(utf8, place))
        return false;
    const quint32 oldPosition = m_nPosiXML;
    m_nPosiXML = quint32(place.position);
    m_nSizeiXML = quint32(place.chunkSize);
    // Retired last: until then the old chunk stays readable, and a scan that
    // meets both takes the last one, the new text.
    return !place.moveToEnd || RetireChunk(oldPosition, kAddiXMLTitle);
}

QByteArray QSoundFile::FitIxmlText(const QString& text) const
{
    // The document is declared UTF-8 and read as UTF-8: it is written so,
    // whatever the locale, or accented names would not survive.
    QByteArray utf8 = text.toUtf8();
    if (m_nPosiXML != 0 && quint64(utf8.size()) > m_nSizeiXML) {
        // Callers pad the text with spaces to 61440 characters, the size of the
        // recorder's chunk; an accented character takes two bytes, which must
        // not push the chunk out of its place. Spaces after the document mean
        // nothing: drop just enough of them to fit.
        int end = utf8.size();
        while (end > 0 && utf8.at(end - 1) == ' ')
            --end;
        if (quint64(end) <= m_nSizeiXML)
            utf8.truncate(int(m_nSizeiXML));
    }
    return utf8;
}

bool QSoundFile::IxmlChunkIsWhereRead()
{
    // Never overwrite what the object only believes to be our chunk.
    if (m_nPosiXML == 0)
        return true;
    char header[bwf::kChunkHeaderBytes];
    if (m_File.seek(m_nPosiXML) && m_File.read(header, sizeof header) == qint64(sizeof header)
        && std::memcmp(header, "iXML", 4) == 0 && bwf::readU32(header + 4) == m_nSizeiXML)
        return true;
    SendToRelay(kAddiXMLTitle,
                QStringLiteral("No iXML chunk at offset %1 of\n%2\nas read before: nothing written.")
                    .arg(QString::number(m_nPosiXML), m_sPath),
                0, 1, true, 0);
    return false;
}

bool QSoundFile::PlaceIxml(quint64 length, IxmlPlacement& place)
{
    const qint64 fileSize = m_File.size();
    const quint64 riffEnd = quint64(m_nRiffSize) + bwf::kChunkHeaderBytes;
    place.position = riffEnd;
    place.chunkSize = length;
    place.newRiff = quint64(m_nRiffSize) + bwf::kChunkHeaderBytes + length;
    bool inPlace = false;
    bool overwritesTrailingBytes = false;
    if (m_nPosiXML != 0) {
        const quint64 oldSize = m_nSizeiXML;
        const quint64 dataAt = quint64(m_nPosiXML) + bwf::kChunkHeaderBytes;
        const quint64 available = quint64(fileSize) - dataAt;   // the header was read: dataAt <= fileSize
        const quint64 oldEnd = dataAt + oldSize;
        inPlace = true;
        place.position = m_nPosiXML;
        if (oldSize > available) {
            // A size that runs past the end of the file: nothing can follow
            // this chunk. It takes the new text, padded over every byte it
            // still holds, and the RIFF size is made to end with it.
            place.chunkSize = qMax(length, available);
            place.newRiff = quint64(m_nPosiXML) + place.chunkSize;
        } else if (length <= oldSize) {
            place.chunkSize = oldSize;          // the text, then spaces up to the old size
            place.newRiff = m_nRiffSize;
        } else if (oldEnd >= riffEnd || ((oldSize & 1u) && oldEnd + 1 == riffEnd)) {
            // The last chunk (or followed by a pad byte only) may grow where it is.
            place.newRiff = qMax<quint64>(m_nRiffSize, quint64(m_nPosiXML) + length);
        } else {
            // A longer text would run into the chunks that follow: they stay
            // where they are, the old chunk becomes filler and the new one
            // goes to the end of the RIFF data.
            inPlace = false;
            place.moveToEnd = true;
            place.position = riffEnd;
        }
        // Growing where it is: only when nothing of the file follows.
        if (inPlace && length > oldSize && oldSize <= available && oldEnd + (oldSize & 1u) < quint64(fileSize))
            overwritesTrailingBytes = true;
    }
    // Bytes past the RIFF end are the file's like any others (a chunk another
    // writer did not count, the tail of the audio under a short RIFF size):
    // a chunk is never appended, or grown, over them.
    if (!inPlace && place.position < quint64(fileSize))
        overwritesTrailingBytes = true;
    if (overwritesTrailingBytes) {
        SendToRelay(kAddiXMLTitle,
                    QStringLiteral("The RIFF size of\n%1\nends before the file does: nothing written.").arg(m_sPath),
                    0, 1, true, 0);
        return false;
    }
    if (place.position + bwf::kChunkHeaderBytes + place.chunkSize > kMaxRiffSize + bwf::kChunkHeaderBytes
        || place.newRiff > kMaxRiffSize) {
        SendToRelay(kAddiXMLTitle,
                    QStringLiteral("The iXML text (%1 bytes) does not fit in\n%2").arg(QString::number(length), m_sPath),
                    0, 1, true, 0);
        return false;
    }
    if (place.position > quint64(fileSize)) {
        // A RIFF size beyond the end of a damaged file: writing there would
        // leave a hole of unknown size in front of the chunk.
        SendToRelay(kAddiXMLTitle,
                    QStringLiteral("The RIFF size of\n%1\nruns past the end of the file: nothing written.").arg(m_sPath),
                    0, 1, true, 0);
        return false;
    }
    return true;
}

bool QSoundFile::WriteIxmlChunk(const QByteArray& utf8, const IxmlPlacement& place)
{
    const qint64 fileSize = m_File.size();
    const quint64 length = quint64(utf8.size());
    const quint64 total = bwf::kChunkHeaderBytes + place.chunkSize;
    // The bytes about to be replaced are kept, to put them back should the
    // write fail half-way.
    const quint64 backupSize = qMin<quint64>(total, quint64(fileSize) - place.position);
    std::unique_ptr<char[]> buffer = obtainBuffer(total);
    std::unique_ptr<char[]> backup = backupSize ? obtainBuffer(backupSize) : nullptr;
    if (!buffer || (backupSize && !backup)) {
        SendToRelay(kAddiXMLTitle, QStringLiteral("Unable to allocate pBufferWithSpaces!"), 0, 1, true, 0);
        return false;
    }
    if (backupSize
        && (!m_File.seek(qint64(place.position))
            || m_File.read(backup.get(), qint64(backupSize)) != qint64(backupSize))) {
        SendToRelay(kAddiXMLTitle, QStringLiteral("Unable to read\n%1\nbefore writing: nothing written.").arg(m_sPath),
                    0, 1, true, 0);
        return false;
    }

    char* out = buffer.get();
    std::memcpy(out, "iXML", 4);
    bwf::writeU32(out + 4, quint32(place.chunkSize));
    std::memcpy(out + bwf::kChunkHeaderBytes, utf8.constData(), size_t(length));
    if (place.chunkSize > length)
        std::memset(out + bwf::kChunkHeaderBytes + length, ' ', size_t(place.chunkSize - length));

    // On a failed write the file is put back as it was: the bytes replaced
    // are restored and anything added past the old end is cut off, so no
    // reader finds a partial chunk (the chunk scan reads past the RIFF size).
    auto rollBack = [&]() {
        qint64 restored = 0;
        bool ok = !backupSize || WriteAt(place.position, backup.get(), qint64(backupSize), &restored);
        ok = RestoreFileSize(fileSize) && ok;
        if (!ok)
            SendToRelay(kAddiXMLTitle, QStringLiteral("The iXML chunk of\n%1\ncould not be restored.").arg(m_sPath),
                        0, 1, true, 0);
        return false;
    };
    qint64 stored = 0;
    if (!WriteAt(place.position, out, qint64(total), &stored)) {
        ReportShortWrite(kAddiXMLTitle, QStringLiteral("iXML chunk"), stored, qint64(total));
        return rollBack();
    }
    // The RIFF size is written only once the whole chunk is on the disk.
    if (place.newRiff != m_nRiffSize && !WriteRiffSize(quint32(place.newRiff), kAddiXMLTitle))
        return rollBack();
    return true;
}

bool QSoundFile::AddOndeChunk(const char* buffer, int n, int t, int pointStep)
{
    if (!m_File.isOpen())
        return false;
    MyQDebug("... AddOndeChunk m_nPosOnde %u m_tOndeChunk.ChunkSize %u nBufferSize + 4 %d", m_nPosOnde,
             m_tOndeChunk.ChunkSize(), n + 4);
    if (!MayAppendOnde(buffer, n))
        return false;

    // Appended at the RIFF end, which is the file's end (checked above).
    const quint64 position = quint64(m_nRiffSize) + bwf::kChunkHeaderBytes;
    const quint64 newRiff = quint64(m_nRiffSize) + quint64(n) + 12;
    tyOndeChunk record;
    const QByteArray id = QByteArrayLiteral("ond") + TrkIndexToCharOld(t + 1).toLatin1();
    record.SetChunkID(id.constData());
    record.SetChunkSize(quint32(n) + 4);
    record.SetU32(bwf::kOndePointStep, quint32(pointStep));
    record.SetU32(bwf::kOndeSecondWord, m_tOndeChunk.U32(bwf::kOndeSecondWord));

    // An onde chunk already there is never overwritten, whatever follows it:
    // the new one is appended and the old one retired as filler afterwards.
    quint32 oldHeader = 0;
    if (m_nPosOnde >= quint32(bwf::kChunkHeaderBytes)) {
        char header[4];
        const quint32 at = m_nPosOnde - bwf::kChunkHeaderBytes;
        if (m_File.seek(at) && m_File.read(header, 4) == 4 && std::memcmp(header, "ond", 3) == 0)
            oldHeader = at;
    }

    // A failed write leaves the file as it was: whatever was appended is cut off.
    const qint64 fileSize = m_File.size();
    auto rollBack = [&]() {
        if (!RestoreFileSize(fileSize))
            SendToRelay(kAddOndeTitle, QStringLiteral("The onde chunk of\n%1\ncould not be removed.").arg(m_sPath),
                        0, 1, true, 0);
        return false;
    };
    qint64 stored = 0;
    if (!WriteAt(position, record.Data(), record.kBytes, &stored)) {
        ReportShortWrite(kAddOndeTitle, QStringLiteral("onde chunk"), stored, record.kBytes);
        return rollBack();
    }
    const qint64 peaks = qint64(n) - 4;
    if (!WriteAt(position + record.kBytes, buffer, peaks, &stored)) {
        ReportShortWrite(kAddOndeTitle, QStringLiteral("onde chunk"), record.kBytes + stored, record.kBytes + peaks);
        return rollBack();
    }
    if (!WriteRiffSize(quint32(newRiff), kAddOndeTitle))
        return rollBack();

    m_tOndeChunk = record;
    m_nPosOnde = quint32(position) + bwf::kChunkHeaderBytes;   // data offset, as the chunk scan records it
    return oldHeader == 0 || RetireChunk(oldHeader, kAddOndeTitle);
}

bool QSoundFile::MayAppendOnde(const char* buffer, int n)
{
    if (m_nRiffSize == 0) {
        SendToRelay(kAddiXMLTitle, QStringLiteral("Error bad RIFF size detected (RIFF size == 0)"), 0, 1, true, 0);
        return false;
    }
    if (!buffer) {
        SendToRelay(kAddOndeTitle, QStringLiteral("Unable to add pBufferOnde!"), 0, 1, true, 0);
        return false;
    }
    if (n < 4) {
        // The record alone holds 8 data bytes: a smaller chunk cannot be written.
        SendToRelay(kAddOndeTitle, QStringLiteral("Invalid onde size %1 for\n%2").arg(QString::number(n), m_sPath),
                    0, 1, true, 0);
        return false;
    }
    if (quint64(m_nRiffSize) + quint64(n) + 12 > kMaxRiffSize) {
        SendToRelay(kAddOndeTitle, QStringLiteral("The onde chunk does not fit in\n%1").arg(m_sPath), 0, 1, true, 0);
        return false;
    }
    const quint64 riffEnd = quint64(m_nRiffSize) + bwf::kChunkHeaderBytes;
    const quint64 fileSize = quint64(m_File.size());
    if (riffEnd > fileSize) {
        SendToRelay(kAddOndeTitle,
                    QStringLiteral("The RIFF size of\n%1\nruns past the end of the file: nothing written.").arg(m_sPath),
                    0, 1, true, 0);
        return false;
    }
    // Bytes past the RIFF end are the file's like any others: never overwritten.
    if (riffEnd < fileSize) {
        SendToRelay(kAddOndeTitle,
                    QStringLiteral("The RIFF size of\n%1\nends before the file does: nothing written.").arg(m_sPath),
                    0, 1, true, 0);
        return false;
    }
    return true;
}

bool QSoundFile::AppendFillerChunk(quint32 totalBytes)
{
    if (!m_File.isOpen())
        return false;
    const QString title = QStringLiteral("QSoundFile::AppendFillerChunk()");
    const qint64 fileSize = m_File.size();
    const quint64 position = quint64(m_nRiffSize) + bwf::kChunkHeaderBytes;
    const quint64 newRiff = quint64(m_nRiffSize) + totalBytes;
    if (totalBytes < quint32(bwf::kChunkHeaderBytes) || m_nRiffSize == 0 || newRiff > kMaxRiffSize) {
        SendToRelay(title, QStringLiteral("Invalid filler size %1 for\n%2").arg(QString::number(totalBytes), m_sPath),
                    0, 1, true, 0);
        return false;
    }
    // Only ever appended: bytes past the RIFF end are the file's like any others.
    if (position != quint64(fileSize)) {
        SendToRelay(title, QStringLiteral("The RIFF size of\n%1\ndoes not end with the file: nothing written.").arg(m_sPath),
                    0, 1, true, 0);
        return false;
    }
    std::unique_ptr<char[]> buffer = obtainBuffer(totalBytes);
    if (!buffer) {
        SendToRelay(title, QStringLiteral("Unable to allocate the filler chunk!"), 0, 1, true, 0);
        return false;
    }
    std::memset(buffer.get(), 0, totalBytes);
    std::memcpy(buffer.get(), "JUNK", 4);
    bwf::writeU32(buffer.get() + 4, totalBytes - quint32(bwf::kChunkHeaderBytes));
    qint64 stored = 0;
    if (!WriteAt(position, buffer.get(), qint64(totalBytes), &stored)) {
        ReportShortWrite(title, QStringLiteral("filler chunk"), stored, qint64(totalBytes));
        RestoreFileSize(fileSize);
        return false;
    }
    if (!WriteRiffSize(quint32(newRiff), title)) {
        RestoreFileSize(fileSize);
        return false;
    }
    return true;
}

namespace {

bool isFillerId(const QByteArray& id)
{
    return id == "JUNK" || id == "junk" || id == "FLLR" || id == "PAD " || id == "sonl";
}

// The filler chunk that ends the file at `path` exactly where its RIFF data
// and the file end, or an entry with offset 0.
tyChunkEntry trailingFiller(const QString& path)
{
    QList<tyChunkEntry> chunks;
    quint32 riffSize = 0;
    if (!QSoundFile::ListChunks(path, chunks, &riffSize) || chunks.isEmpty())
        return tyChunkEntry();
    const tyChunkEntry last = chunks.last();
    const quint64 end = quint64(last.offset) + bwf::kChunkHeaderBytes + last.size;
    if (!isFillerId(last.id) || end != quint64(riffSize) + bwf::kChunkHeaderBytes
        || qint64(end) != QFileInfo(path).size())
        return tyChunkEntry();
    return last;
}

} // namespace

bool QSoundFile::EndsWithFillerChunk(const QString& path)
{
    return trailingFiller(path).offset != 0;
}

bool QSoundFile::GrowTrailingFiller(quint32 extraBytes)
{
    if (!m_File.isOpen() || extraBytes == 0)
        return false;
    const QString title = QStringLiteral("QSoundFile::GrowTrailingFiller()");
    const tyChunkEntry filler = trailingFiller(m_sPath);
    const quint64 newRiff = quint64(m_nRiffSize) + extraBytes;
    if (filler.offset == 0 || quint64(filler.size) + extraBytes > kMaxRiffSize || newRiff > kMaxRiffSize) {
        SendToRelay(title, QStringLiteral("No filler chunk to grow at the end of\n%1").arg(m_sPath), 0, 1, true, 0);
        return false;
    }
    const qint64 fileSize = m_File.size();
    // Zeros first, past the RIFF end where no reader looks for them; then the
    // chunk's size, then the RIFF size: a failure at any point leaves a file
    // whose chunks read as before.
    const std::vector<char> zeros(extraBytes, '\0');
    qint64 stored = 0;
    if (!WriteAt(quint64(fileSize), zeros.data(), qint64(extraBytes), &stored)) {
        ReportShortWrite(title, QStringLiteral("filler chunk"), stored, qint64(extraBytes));
        RestoreFileSize(fileSize);
        return false;
    }
    char size[4];
    bwf::writeU32(size, filler.size + extraBytes);
    if (!WriteAt(quint64(filler.offset) + 4, size, 4, &stored)) {
        ReportShortWrite(title, QStringLiteral("filler chunk size"), stored, 4);
        bwf::writeU32(size, filler.size);
        WriteAt(quint64(filler.offset) + 4, size, 4, &stored);
        RestoreFileSize(fileSize);
        return false;
    }
    if (!WriteRiffSize(quint32(newRiff), title)) {
        bwf::writeU32(size, filler.size);
        WriteAt(quint64(filler.offset) + 4, size, 4, &stored);
        RestoreFileSize(fileSize);
        return false;
    }
    return true;
}
