// SPDX-License-Identifier: GPL-3.0-or-later
#include "QSoundFile.h"

// Every query here is plain integer arithmetic on the records. A record holding
// 0 where a divisor is expected (rate, channels, bytes per sample, which is 0
// below 8 bits) gives 0 instead of a division by zero.

namespace {

// floor(tr * 1000 / 1001) without forming tr * 1000, which could overflow.
quint64 pullDownScaled(quint64 tr)
{
    return (tr / 1001) * 1000 + ((tr % 1001) * 1000) / 1001;
}

// "%N.Ns" of a fixed-width text field: at most N bytes up to the first NUL,
// right-aligned to N with spaces. An empty field stays empty.
QString fixedField(const char* field, int width)
{
    const QByteArray text(field, int(qstrnlen(field, size_t(width))));
    if (text.isEmpty())
        return QString();
    return QString::fromLocal8Bit(text).rightJustified(width, QLatin1Char(' '));
}

quint64 startSamples(const QSoundFile& f, bool bPullDown)
{
    const quint64 tr = f.GetTimeReference();
    return bPullDown ? pullDownScaled(tr) : tr;
}
} // namespace

QString QSoundFile::GetTimeCode(bool bPullDown) const
{
    const quint32 rate = GetSampleRate();
    const qint32 t = rate ? qint32(startSamples(*this, bPullDown) / rate) : 0;
    return QString::asprintf("%02d:%02d:%02d", t / 3600, (t % 3600) / 60, t % 60);
}

qint64 QSoundFile::GetTimeCodeSeconds(bool bPullDown) const
{
    const quint32 rate = GetSampleRate();
    return rate ? qint64(startSamples(*this, bPullDown) / rate) : 0;
}

qint64 QSoundFile::GetTimeCodeRest(bool bPullDown) const
{
    const quint32 rate = GetSampleRate();
    return rate ? qint64(startSamples(*this, bPullDown) % rate) : 0;
}

unsigned int QSoundFile::GetTimeCodeFrame(bool bPullDown) const
{
    const quint32 rate = GetSampleRate();
    if (!rate)
        return 0;
    const unsigned int seconds = unsigned(startSamples(*this, bPullDown) / rate);
    return unsigned(GetNumerikFrameRate()) * seconds;   // 32-bit, as the table stores it
}

QString QSoundFile::GetSampling() const
{
    const quint32 rate = GetSampleRate();
    const int bits = GetBitsPerSample();
    const quint32 k = rate / 1000;
    if (rate % 1000 == 0)
        return QString::asprintf("%ukHz/%dbits", k, bits);
    if (rate > 99999)
        return QString::asprintf("%u.%ukHz/%dbits", k, (rate % 1000 + 50) / 100, bits);
    return QString::asprintf("%uHz/%dbits", rate, bits);
}

QString QSoundFile::GetSize() const
{
    if (m_nRiffSize > 0xFFFFFu)
        return QStringLiteral("%1 MB").arg(m_nRiffSize / 1048576u);
    return QStringLiteral("%1 KB").arg(m_nRiffSize / 1024u);
}

unsigned int QSoundFile::GetNumerikSize() const
{
    return m_nRiffSize < 1048576u ? 1u : m_nRiffSize / 1048576u;
}

unsigned int QSoundFile::GetNbTotalSample() const
{
    const quint32 bytes = GetBitsPerSample() / 8u;
    const quint32 channels = GetNbChannels();
    if (!bytes || !channels)
        return 0;
    return GetDataSize() / bytes / channels;
}

unsigned int QSoundFile::GetDurationSeconds() const
{
    const quint32 bytes = GetBitsPerSample() / 8u;
    const quint32 channels = GetNbChannels();
    const quint32 rate = GetSampleRate();
    if (!bytes || !channels || !rate)
        return 0;
    return GetDataSize() / bytes / rate / channels;
}

QString QSoundFile::GetDuration() const
{
    const unsigned int d = GetDurationSeconds();
    return QString::asprintf("%2.2u:%2.2u:%2.2u", d / 3600, (d % 3600) / 60, d % 60);
}

unsigned int QSoundFile::GetDurationFrameBool(bool bPullDown) const
{
    const quint32 bytes = GetBitsPerSample() / 8u;
    const quint32 channels = GetNbChannels();
    const quint32 rate = GetSampleRate();
    if (!bytes || !channels || !rate)
        return 0;
    const quint64 r = bPullDown ? quint64(rate) + rate / 1000 : quint64(rate);
    const quint64 n = GetDataSize() / bytes / channels;
    const quint64 fps = quint64(unsigned(GetNumerikFrameRate()));
    return unsigned(fps * (n / r) + fps * (n % r) / r);
}

QString QSoundFile::GetFrameRate() const
{
    if (!HasFilmChunk())
        return QString();
    const QByteArray code = m_tFilmChunk.FrameRateCode();
    struct Row { const char* code; const char* text; };
    static const Row rows[] = {
        {"24.00", "24Fps"},        {"25.00", "25Fps"},        {"29.97", "29.97df"},
        {"30.00", "30Fps"},        {"24.DRIFT", "23.98nd-A"}, {"30.DRIFT", "29.97nd-A"},
        {"24.DRIF2", "23.98nd-B"}, {"30.DRIF2", "29.97nd-B"}, {"24.DRIF3", "23.98nd-C"},
        {"30.DRIF3", "29.97nd-C"},
    };
    for (const Row& row : rows) {
        if (code == row.code)
            return QString::fromLatin1(row.text);
    }
    return QString();
}

short QSoundFile::GetNumerikFrameRate() const
{
    int fps = 0;
    if (HasFilmChunk()) {
        bool ok = false;
        fps = m_tFilmChunk.FrameRateCode().left(2).toInt(&ok);
        if (!ok)
            fps = 0;
    }
    if (fps == 23 || fps == 0)
        return 24;
    if (fps == 29)
        return 30;
    return short(fps);
}

QString QSoundFile::GetCreationDate() const
{
    QString date = fixedField(m_tBextChunk.OriginationDate(), bwf::kBextOriginationDateBytes);
    if (date.size() > 4)
        date[4] = QLatin1Char('-');
    if (date.size() > 7)
        date[7] = QLatin1Char('-');
    return date;
}

QString QSoundFile::GetCreationTime() const
{
    return fixedField(m_tBextChunk.OriginationTime(), bwf::kBextOriginationTimeBytes);
}

QString QSoundFile::GetCreator() const
{
    const char* p = m_tBextChunk.Originator();
    return QString::fromLocal8Bit(p, int(qstrnlen(p, bwf::kBextOriginatorBytes)));
}

QString QSoundFile::GetRef() const
{
    return fixedField(m_tBextChunk.OriginatorReference(), bwf::kBextOriginatorReferenceBytes);
}
