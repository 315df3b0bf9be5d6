// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrackSampleReader.h"

#include "QSoundFile.h"

#include <limits>

namespace {
constexpr quint16 kFormatPcm = 1;
}

TrackSampleReader::TrackSampleReader() : m_pFile(std::make_unique<QSoundFile>()) {}

TrackSampleReader::~TrackSampleReader()
{
    if (m_pFile->IsOpen())
        m_pFile->Close();
}

bool TrackSampleReader::Open(const QString& path, QString* error)
{
    QSoundFile& f = *m_pFile;
    f.InitVariables();
    if (!f.Open(path, 0) || !f.ReadChunks(false, true)) {
        *error = path + QLatin1String("\nThis file cannot be read as a sound file.");
        return false;
    }
    const quint16 bits = f.GetBitsPerSample();
    if (f.m_tFmtChunk.FormatTag() != kFormatPcm || f.GetNbChannels() != 1
        || (bits != 16 && bits != 24 && bits != 32) || f.GetSampleRate() == 0) {
        *error = path + QStringLiteral("\nOnly mono PCM files of 16, 24 or 32 bits can be verified (this one: %1 channels, %2 bits, format %3).")
                            .arg(f.GetNbChannels()).arg(bits).arg(f.m_tFmtChunk.FormatTag());
        return false;
    }
    f.GetiXMLFileInfos();   // metadata only: a file without a readable iXML is still verified
    m_nBytes = bits / 8;
    m_nSampleRate = f.GetSampleRate();
    m_nDataPos = f.m_nPosData;
    // A data chunk that claims more than the file holds is read up to the
    // file's end, never beyond.
    const qint64 available = qMax<qint64>(0, f.m_File.size() - m_nDataPos);
    m_nSamples = qMin<qint64>(f.GetDataSize(), available) / m_nBytes;
    return true;
}

bool TrackSampleReader::Read(qint64 start, qint64 count, float* out)
{
    if (start < 0 || count < 0 || start + count > m_nSamples || !m_pFile->IsOpen())
        return false;
    const qint64 bytes = count * m_nBytes;
    if (bytes > qint64(std::numeric_limits<int>::max()))
        return false;
    m_Buffer.resize(int(bytes));
    if (m_pFile->LectureDataBin(m_Buffer.data(), m_nDataPos + start * m_nBytes, int(bytes)) != bytes)
        return false;
    const auto* p = reinterpret_cast<const uchar*>(m_Buffer.constData());
    switch (m_nBytes) {
    case 2:
        for (qint64 i = 0; i < count; ++i, p += 2)
            out[i] = float(qint16(quint16(p[0] | (p[1] << 8)))) * (1.0f / 32768.0f);
        break;
    case 3:
        for (qint64 i = 0; i < count; ++i, p += 3) {
            // Sign-extend by placing the 24 bits at the top of a 32-bit word.
            const qint32 v = qint32(quint32(p[0]) << 8 | quint32(p[1]) << 16 | quint32(p[2]) << 24) >> 8;
            out[i] = float(v) * (1.0f / 8388608.0f);
        }
        break;
    default:
        for (qint64 i = 0; i < count; ++i, p += 4) {
            const qint32 v = qint32(quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24);
            out[i] = float(v) * (1.0f / 2147483648.0f);
        }
        break;
    }
    return true;
}
