// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BwfRecords.h"
#include "QXmlObject.h"

#include <QDomElement>
#include <QFile>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// One Broadcast Wave file: its chunk records, its iXML text and parsed
// document. Not thread-safe: one thread uses an object at a time.
//
// Implementation is split by concern:
//   QSoundFile.cpp              open, chunk scan, records        (reading)
//   QSoundFile_Timing.cpp       timing and format queries
//   QSoundFile_Bext.cpp         bext Description lines
//   QSoundFile_iXMLRead.cpp     iXML parse step and queries
//   QSoundFile_iXMLGenerate.cpp generated iXML documents, identifiers
//   QSoundFile_iXMLUpdate.cpp   setters, iXML and onde chunk writers
// One chunk header met by a walk of the file (QSoundFile::ListChunks).
struct tyChunkEntry
{
    QByteArray id;          // the four identifier bytes as found
    quint32 offset = 0;     // file offset of the chunk header
    quint32 size = 0;       // ChunkSize as declared
};

class QSoundFile
{
public:
    QSoundFile();
    QSoundFile(const QSoundFile&) = delete;
    QSoundFile& operator=(const QSoundFile&) = delete;

    // ---- reading (QSoundFile.cpp) ----
    void InitVariables();
    bool Open(const QString& path, int mode);        // 0 read, 1 write, 2 read-write; true on success
    bool Close();                                    // true when a file was open
    static void SplitPathAndFileID(const QString& path, QString& folder, QString& fileID);
    bool ReadChunks(bool bShowMessage, bool bBextOptional);
    qint64 LectureDataBin(char* buffer, qint64 position, int length);
    // Read-only walk of every chunk header of a RIFF file, following the same
    // positions as ReadChunks but without its limit on unknown chunks (the walk
    // still ends on a position that wraps or does not advance, and after
    // kMaxListedChunks entries). False when the file cannot be opened or is
    // not a RIFF file; *riffSize receives the RIFF size.
    static constexpr int kMaxListedChunks = 100000;
    static bool ListChunks(const QString& path, QList<tyChunkEntry>& chunks, quint32* riffSize);
    // Tests only: the largest iXML text the scan will hold in memory (0 = the
    // built-in limit), so the path where the buffer cannot be had is exercised.
    static void SetIxmlReadLimitForTests(qint64 bytes);
    bool HasFormatChunk() const { return m_tFmtChunk.IsPresent(); }
    bool HasDataChunk() const { return m_tDataChunk.IsPresent(); }
    bool HasBextChunk() const { return m_tBextChunk.IsPresent(); }
    bool HasFilmChunk() const { return m_tFilmChunk.IsPresent(); }
    bool HasiXMLChunk() const { return m_nPosiXML != 0 && !m_bTooManyChunks; }
    bool IsOpen() const { return m_File.isOpen(); }

    // Convenience reads of the records.
    quint32 GetSampleRate() const { return m_tFmtChunk.SampleRate(); }
    quint16 GetNbChannels() const { return m_tFmtChunk.NbChannels(); }
    quint16 GetBitsPerSample() const { return m_tFmtChunk.BitsPerSample(); }
    quint64 GetTimeReference() const { return m_tBextChunk.TimeReference(); }
    quint32 GetDataSize() const { return m_tDataChunk.ChunkSize(); }

    // ---- timing and format (QSoundFile_Timing.cpp) ----
    QString GetTimeCode(bool bPullDown) const;
    qint64 GetTimeCodeSeconds(bool bPullDown) const;
    qint64 GetTimeCodeRest(bool bPullDown) const;
    unsigned int GetTimeCodeFrame(bool bPullDown) const;
    QString GetSampling() const;
    QString GetSize() const;
    unsigned int GetNumerikSize() const;
    unsigned int GetTrueSize() const { return m_nRiffSize; }
    unsigned int GetNbTotalSample() const;
    QString GetDuration() const;
    unsigned int GetDurationSeconds() const;
    unsigned int GetDurationFrameBool(bool bPullDown) const;
    QString GetFrameRate() const;
    short GetNumerikFrameRate() const;
    QString GetCreationDate() const;
    QString GetCreationTime() const;
    QString GetCreator() const;
    QString GetRef() const;

    // ---- bext Description (QSoundFile_Bext.cpp) ----
    QString GetBextScene() const;
    QString GetBextTake() const;
    QString GetBextNote() const;
    QString GetBextUbits() const;
    QString GetBextTape() const;
    QString GetBextTag() const;
    QString GetBextType() const;
    QString GetBextSpeed() const;
    bool InsertInBextDescrType(const QString& type);

    // ---- iXML reading (QSoundFile_iXMLRead.cpp) ----
    bool GetiXMLFileInfos();
    QString GetiXMLScene();
    QString GetiXMLTape();
    QString GetiXMLNotes();
    QString GetiXMLUbits();
    QString GetiXMLCircled();
    QString GetiXMLMonoTrackName();
    QString GetiXMLVeltaRefLevel();
    QString GetiXMLAdvancedScTkTemplateCompostion();
    int GetiXMLMonoTrackNumber();
    int GetiXMLScTkTemplate();
    QString GetiXMLTakeIndicator();
    QString GetiXMLTakeNumber();
    QHash<int, QString> GetiXMLAdvancedScTkFields();
    int GetiXMLPolyTrackOriginalIndex(int interleave);
    QString GetiXMLPolyTrackName(int channel);
    QString GetiXMLPolyTrackFunction(int channel);
    QString GetiXMLVeltaTracknames(int index);
    QString GetiXMLVeltaTrackActive(int index);
    QString GetiXMLVeltaTrackInGrid(int index);
    QString GetiXMLVeltaTrackPanPot(int index);
    void GetiXMLSyncPoint(unsigned int* slateCount, unsigned int* slateSamples, unsigned int* slateFrames,
                          QStringList* slateComments, bool pullDown, unsigned int* markerCount,
                          unsigned int* markerSamples, QStringList* markerComments, bool* slateAuto);

    // ---- iXML generation (QSoundFile_iXMLGenerate.cpp) ----
    QString GenerateiXMLChunkMono(int t);
    void CreateNewiXMLchunkMono(int t);
    void CreateNewiXMLchunkPoly();
    QString GenerateUID(int t, bool family) const;
    void WriteGeneralInfos(QXmlObject* xml, QDomElement parent, int t, bool poly);
    void WriteSpeedInfos(QXmlObject* xml, QDomElement parent);
    void WriteHistoryInfos(QXmlObject* xml, QDomElement parent);
    void WriteFilesetInfos(QXmlObject* xml, QDomElement parent, bool poly, int t);
    void WriteTracklistInfos(QXmlObject* xml, QDomElement parent, bool poly, int t);
    void WriteBextInfos(QXmlObject* xml, QDomElement parent, int t);
    void WriteSyncPointList(QXmlObject* xml, QDomElement parent);
    void WriteVeltaPavane(QXmlObject* xml, QDomElement parent);

    // A new track is written under a temporary name and renamed when complete.
    // Everything the generator derives from the file's name or folder
    // (ORIGINAL_FILENAME, FILE_UID, FAMILY_UID, PROJECT, TOTAL_FILES) uses this
    // path instead of m_sPath when it is set. Empty = use m_sPath.
    void SetNamingPath(const QString& finalPath) { m_sNamingPath = finalPath; }
    QString NamingPath() const { return m_sNamingPath.isEmpty() ? m_sPath : m_sNamingPath; }

    // ---- iXML update in place (QSoundFile_iXMLUpdate.cpp) ----
    void SetiXMLMonoTrackNumber(int t, int number);
    void SetiXMLMonoTrackName(int t, const QString& name);
    void SetiXMLTotalFiles(int t, int count, bool poly);
    void SetiXMLNote(int t, const QString& note);
    void SetiXMLVeltaAllTrkInfos(const QString* names, const QString* pans, const QString* actives, const QString* grids);
    bool AddiXMLChunk(QString& text);
    bool AddOndeChunk(const char* buffer, int n, int t, int pointStep);
    // Appends a "JUNK" chunk of `totalBytes` bytes (header included, at least
    // 8) at the end of the RIFF data, which must be the end of the file; on a
    // failed write the file is put back as it was. Used to keep a take's files
    // of one length when one of them had to grow.
    bool AppendFillerChunk(quint32 totalBytes);
    // Grows the filler chunk ("JUNK", "junk", "FLLR", "PAD " or "sonl") that
    // ends the file by `extraBytes` zero bytes, any amount from 1: the way to
    // even out a length difference too small to hold a chunk of its own.
    // False, with nothing changed, when the file does not end with a filler
    // chunk whose end is the RIFF end and the file's end.
    bool GrowTrailingFiller(quint32 extraBytes);
    // True when the file at `path` ends with such a filler chunk.
    static bool EndsWithFillerChunk(const QString& path);
    // Tests only: the largest buffer the two writers above may obtain (0 = no
    // limit), so the path where a buffer cannot be had can be exercised.
    static void SetWriterBufferLimitForTests(qint64 bytes);

    // ---- members, in the documented order ----
    quint32 m_nPosiXML = 0;
    tyFmtChunk m_tFmtChunk;
    quint32 m_nPosFmt = 0;
    tyBextChunk m_tBextChunk;
    quint32 m_nPosBext = 0;
    tyOndeChunk m_tOndeChunk;
    quint32 m_nPosOnde = 0;
    tyFilmChunk m_tFilmChunk;
    quint32 m_nPosFilm = 0;
    tyChunk m_tVeltaChunk;
    quint32 m_nPosVelta = 0;
    tyDataChunk m_tDataChunk;
    quint32 m_nPosData = 0;
    bool m_bTooManyChunks = false;
    qint32 m_nNbUnknownChunk = 0;
    quint32 m_nSizeiXML = 0;
    QString m_sXmlError;
    qint32 m_nXmlErrorLine = 1;
    qint32 m_nXmlErrorColumn = 1;
    QXmlObject m_XmlObject;
    QFile m_File;
    QString m_sPath;
    QString m_siXML;
    quint32 m_nRiffSize = 0;

private:
    // The steps of ReadChunks: the RIFF header, the walk over the chunk
    // headers, one chunk's record, the iXML text, the chunks a take needs.
    // The two faults return the message to report, empty when all is well.
    QString RiffHeaderFault();
    void WalkChunks();
    bool RecordChunk(quint32 position, const tyChunk& header, qint64 fileSize);
    void ReadIxmlChunk(quint32 position, quint32 size, qint64 fileSize);
    QString MissingChunkFault(bool bBextOptional) const;
    // iXML update helpers (QSoundFile_iXMLUpdate.cpp).
    bool EnsureiXMLDocument(int t);
    // The steps of AddiXMLChunk: the text as stored, the check that the chunk
    // is still where it was read, where the new chunk goes, the write.
    struct IxmlPlacement
    {
        quint64 position = 0;     // header offset of the new chunk
        quint64 chunkSize = 0;    // its ChunkSize
        quint64 newRiff = 0;
        bool moveToEnd = false;   // the old chunk is retired once the new one is written
    };
    QByteArray FitIxmlText(const QString& text) const;
    bool IxmlChunkIsWhereRead();
    bool PlaceIxml(quint64 length, IxmlPlacement& place);
    bool WriteIxmlChunk(const QByteArray& utf8, const IxmlPlacement& place);
    // The checks of AddOndeChunk, each with its message: false = write nothing.
    bool MayAppendOnde(const char* buffer, int n);
    bool WriteAt(quint64 position, const char* data, qint64 size, qint64* stored);
    void ReportShortWrite(const QString& title, const QString& what, qint64 stored, qint64 size);
    bool WriteRiffSize(quint32 newSize, const QString& title);
    bool RetireChunk(quint32 headerPosition, const QString& title);
    bool RestoreFileSize(qint64 size);

    QString m_sNamingPath;
};
