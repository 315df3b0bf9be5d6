// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "QSoundFile.h"

#include <QFileInfo>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>

class MyFileInfoList;
class QPath;

// One take: one poly file, or up to 24 mono files (slot t = track index t).
// Used by one thread at a time; records built on the table's worker are handed
// to the GUI thread and destroyed there.
class QSoundPerform : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxSlots = 24;

    QSoundPerform();
    ~QSoundPerform() override;

    void ResetVariables();
    bool QuickInitFiles(const QString& key, const QString& ext, MyFileInfoList* list, bool readFileInfos);
    bool InitFilesZZ(const QString& key, const QString& ext);
    bool InitPolyFiles(QFileInfo* info, QString* path, QPath* qpath);
    bool InitMonoClassikFiles(QString* path, QPath* qpath, unsigned t, bool* first, bool readFileInfos);
    bool InitMonoMSFiles(QString* path, QPath* qpath, unsigned t, bool* first);
    bool InitMonoDieseFiles(QString* path, QPath* qpath, unsigned t, bool* first);
    bool InitMonoPlusFiles(QString* path, QPath* qpath, unsigned t, bool* first);
    void GetAllInfos(short t);
    bool GetiXMLInfos(short t);       // true = error
    bool TestCoherenceFiles();        // true = coherent
    short GetFirstTrack() const;
    void GetMonoFilePath(int t, QString& out) const;
    // The existing file of track number n (1-based) of the take whose path
    // without track suffix is `takeKey`, under whichever of the five mono name
    // forms it is stored (tried in the order the take assembly tries them);
    // empty when the take has no regular file for that track.
    static QString FindMonoTrackFile(const QString& takeKey, int n, const QString& extension);

    QSoundFile& File(int t) { return *m_Files[size_t(t)]; }
    const QSoundFile& File(int t) const { return *m_Files[size_t(t)]; }

    // Files (held by value in spirit; on the heap because a QSoundFile is large
    // and this record crosses threads).
    std::array<std::unique_ptr<QSoundFile>, kMaxSlots> m_Files;
    std::array<bool, kMaxSlots> m_bPresent{};

    // Take identity
    qint16 m_nNbFiles = 0;
    bool m_bPoly = false;
    QString m_sFolderPath;            // with trailing "/"
    QString m_sRoot;
    QString m_sExtension;

    // Format and timing (GetAllInfos)
    quint32 m_nSampleRate = 0;
    qint16 m_nBitsPerSample = 0;
    qint16 m_nNbChannels = 0;
    quint32 m_nDataSize = 0;
    quint32 m_nSizeOnDisk = 0;
    quint32 m_nNumerikSize = 0;
    QString m_sCreationDate;
    QString m_sUbits;
    QString m_sTape;
    bool m_bLowerCaseTag = false;
    QString m_sTimeCode;
    QString m_sFrameRate;
    short m_nFrameRate = 0;
    QString m_sDuration;
    unsigned int m_nDurationFrames = 0;
    unsigned int m_nTimeCodeFrame = 0;

    // Production metadata (GetiXMLInfos)
    QString m_sScene;
    QString m_sTakeIndicator;
    QString m_sTakeNumber;
    QString m_sNotes;
    QString m_sCircled;
    int m_nScTkTemplate = 0;
    QString m_sAdvancedComposition;
    QHash<int, QString> m_AdvancedFields;
    unsigned int m_nSlateCount = 0;
    unsigned int m_nSlateSamples[10] = {};
    unsigned int m_nSlateFrames[10] = {};
    QStringList m_slSlateComments;
    bool m_bSlateAuto = false;
    unsigned int m_nMarkerCount = 0;
    unsigned int m_nMarkerSamples[10] = {};
    QStringList m_slMarkerComments;

    // Per track
    std::array<QString, kMaxSlots> m_sTrackName;
    std::array<QString, kMaxSlots> m_sTrackActive;

private:
    // Common steps of the four mono families; stopOnChunkFailure is false for
    // the classic family only.
    bool LoadMonoFile(const QString& path, QPath* qpath, unsigned t, bool* first, bool stopOnChunkFailure);
    // GetiXMLInfos after the parse step (hadText: the file had iXML text;
    // parsed: the parse step succeeded). Result true = error.
    bool ReadiXMLInfos(short t, bool hadText, bool parsed);
};

Q_DECLARE_METATYPE(QSoundPerform*)
