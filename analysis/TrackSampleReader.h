// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "OffsetMeasure.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QSoundFile;

// Streams the samples of one mono PCM track file (16, 24 or 32-bit integer)
// from its data chunk, reading only the windows asked for.
class TrackSampleReader : public SampleReader
{
public:
    TrackSampleReader();
    ~TrackSampleReader() override;

    // False (with the reason in *error) when the file cannot be read or is
    // not a mono integer PCM file of a supported depth.
    bool Open(const QString& path, QString* error);
    quint32 SampleRate() const { return m_nSampleRate; }
    // The file's records and parsed iXML, for its metadata.
    const QSoundFile& File() const { return *m_pFile; }
    qint64 SampleCount() const override { return m_nSamples; }
    bool Read(qint64 start, qint64 count, float* out) override;

private:
    std::unique_ptr<QSoundFile> m_pFile;
    QByteArray m_Buffer;
    qint64 m_nDataPos = 0;
    qint64 m_nSamples = 0;
    int m_nBytes = 0;
    quint32 m_nSampleRate = 0;
};
