// SPDX-License-Identifier: GPL-3.0-or-later
#include "TakeFrameRate.h"

#include "QSoundFile.h"

#include <cmath>

namespace {

// A decimal rate; the NTSC family written with decimals (23.976, 29.97,
// 59.94, ...) becomes its exact n * 1000 / 1001.
std::optional<double> decimalRate(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0 || value > 1000)
        return std::nullopt;
    const double whole = std::round(value * 1.001);
    if (std::fabs(value - std::round(value)) > 0.001 && std::fabs(value - whole * 1000.0 / 1001.0) < 0.01)
        return whole * 1000.0 / 1001.0;
    return value;
}

} // namespace

std::optional<double> FrameRateOfFilmCode(const QByteArray& code)
{
    // The pulled-down codes of the recorder: "24.DRIFT", "30.DRIF2", ...
    if (code.startsWith("24.DRIF"))
        return 24000.0 / 1001.0;
    if (code.startsWith("30.DRIF"))
        return 30000.0 / 1001.0;
    return decimalRate(QString::fromLatin1(code));
}

std::optional<double> FrameRateOfSpeedLine(const QString& speed)
{
    // "025.000-ND", "029.970-DF": the number before the mode.
    return decimalRate(speed.section(QLatin1Char('-'), 0, 0));
}

std::optional<double> FrameRateOfIxmlRate(const QString& rate)
{
    // "25/1", "30000/1001"; anything else ("Unknown") is no rate.
    const QStringList parts = rate.trimmed().split(QLatin1Char('/'));
    if (parts.size() != 2)
        return std::nullopt;
    bool okNum = false, okDen = false;
    const qint64 num = parts.at(0).toLongLong(&okNum);
    const qint64 den = parts.at(1).toLongLong(&okDen);
    if (!okNum || !okDen || num <= 0 || den <= 0 || double(num) / double(den) > 1000)
        return std::nullopt;
    return double(num) / double(den);
}

std::optional<double> FrameRateOfFile(const QSoundFile& file)
{
    if (file.HasFilmChunk()) {
        if (const auto r = FrameRateOfFilmCode(file.m_tFilmChunk.FrameRateCode()))
            return r;
    }
    if (file.HasBextChunk()) {
        if (const auto r = FrameRateOfSpeedLine(file.GetBextSpeed()))
            return r;
    }
    if (file.m_XmlObject.XmlOk() && !file.m_XmlObject.GetRoot().isNull()) {
        const QString rate =
            file.m_XmlObject.GetElement(QStringLiteral("TIMECODE_RATE"), XmlPath(QStringLiteral("SPEED")));
        if (const auto r = FrameRateOfIxmlRate(rate))
            return r;
    }
    return std::nullopt;
}
