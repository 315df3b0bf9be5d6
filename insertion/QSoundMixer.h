// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SourceSampleReader.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

class QSoundFile;
class QSoundPerform;

// Writes one new mono track file for one take: the source audio lying inside
// the take's timecode span, silence where the source does not reach, and a
// header, bext, onde and iXML modelled on the take's own files, brought to the
// exact length of those files. Runs synchronously on the caller's thread.
class QSoundMixer : public QObject
{
    Q_OBJECT
public:
    explicit QSoundMixer(QObject* parent = nullptr);

    // true = failure. The new file is written under a hidden temporary name in
    // the take's folder and renamed to FILEID_NN.WAV only once complete, so a
    // failure, a cancel (keepGoing turned false) or a crash never leaves a
    // half-written file under a track name.
    bool SonalignMono(const QString& sourcePath, const QString& targetFolder, const QString& fileId,
                      int trackIndex, const QString& trackName, QSoundPerform* take, bool* keepGoing,
                      QString* newFileName);

    // One stretch of a new track filled from a source: the take's frames
    // [takeFrom, takeTo) (counted from the take's first sample) come from the
    // source's audio starting at its frame sourceFrom.
    struct SourceRange
    {
        QString sourcePath;
        qint64 takeFrom = 0;
        qint64 takeTo = 0;
        qint64 sourceFrom = 0;
    };

    // The same engine filled from several sources: the ranges in take order
    // without overlap, silence where none covers. Header and metadata as
    // SonalignMono makes them; the source of range `nameSource` names the new
    // file where SonalignMono puts the source's name. true = failure.
    bool SonalignRanges(const QVector<SourceRange>& ranges, int nameSource, const QString& targetFolder,
                        const QString& fileId, int trackIndex, const QString& trackName, QSoundPerform* take,
                        bool* keepGoing, QString* newFileName);

    // How the next SonalignMono calls read their source: the channel of a
    // multichannel source (1-based; 0 = the source must be mono) and the
    // dither used where a conversion loses precision.
    struct SourceOptions
    {
        int channel = 0;
        DitherKind dither = DitherKind::None;
        quint64 ditherSeed = 1;
    };
    void SetSourceOptions(const SourceOptions& options) { m_sourceOptions = options; }

    // What a create would do with this source for a take whose reference file
    // is `takeFile`: "copy" (already the take's format, copied byte for byte),
    // "convert" (depth, encoding or one channel of several), "resample"
    // (refused: another sample rate) or "unsupported" (refused: undecodable).
    static QString SourceConversionKey(const SourceFormat& source, const QSoundFile& takeFile);

    // Rewrites a 256-byte bext Description in place. Null or empty texts keep
    // the value found in the Description. The result always fits in the 256
    // bytes with its terminating NUL: a track name too long for it is cut.
    static void RewriteBextDescriptor(char* description, const char* scene, const char* take,
                                      const char* note, const char* tape, const char* tag,
                                      const char* frameRate, int trackIndex, const char* trackName);

    // The hidden name a new track is written under before it gets its name:
    // ".AA0001_03.WAV.<unique part>.partial" for "AA0001_03.WAV". No listing
    // takes it for a track (hidden, and it does not end in ".WAV"), and the
    // unique part keeps two runs from ever sharing one.
    static QString TemporaryNameFor(const QString& finalName, const QString& uniquePart);
    static constexpr int kUniquePartLength = 16;
    // Removes the temporary files of `finalName` left in `folder` by runs that
    // ended without cleaning up (a crash, a power loss). A run still writing
    // one holds a lock on it; that file stays. Returns the number removed.
    static int RemoveStaleTemporaries(const QString& folder, const QString& finalName);

    // Logical block of the copy, fill, peak and progress steps (bytes per
    // channel): a whole number of 16-bit and of 24-bit samples.
    static constexpr int kBlockBytes = 15120;
    // Peak points per channel: 10 per second, 5 hours.
    static constexpr int kOverviewPoints = 180000;
    // Bytes moved through the OS per read or write call: a whole number of
    // logical blocks, about 1 MiB.
    static constexpr int kIoBytes = kBlockBytes * 69;

private:
    // The one engine behind both: `ranges` null = the single source of
    // sourcePaths, located against the take as the coverage classes say.
    // The first of sourcePaths names the new file.
    bool Synthesize(const QStringList& sourcePaths, const QVector<SourceRange>* ranges,
                    const QString& targetFolder, const QString& fileId, int trackIndex, const QString& trackName,
                    QSoundPerform* take, bool* keepGoing, QString* newFileName);

signals:
    void signal_ProgressSize(qint64 percent);
    void signal_ImportSourceProgressPct(int percent);

private:
    SourceOptions m_sourceOptions;
};
