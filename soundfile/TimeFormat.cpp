// SPDX-License-Identifier: GPL-3.0-or-later
#include "TimeFormat.h"

QString GetTimeCode(unsigned long frames, short framesPerSecond)
{
    if (framesPerSecond < 1)
        return QStringLiteral("--:--:--:--");
    const unsigned long f = static_cast<unsigned long>(framesPerSecond);
    const unsigned long hours = frames / (f * 3600);
    const unsigned long r = frames % (f * 3600);
    const unsigned long minutes = r / (f * 60);
    const unsigned long r2 = r % (f * 60);
    return QString::asprintf("%2.2lu:%2.2lu:%2.2lu:%2.2lu", hours, minutes, r2 / f, r2 % f);
}

QString Long64ToString(qint64 value)
{
    // The magnitude as unsigned: -2^63 has no positive qint64.
    const quint64 m = value < 0 ? 0 - quint64(value) : quint64(value);
    QString s = value < 0 ? QStringLiteral("-") : QStringLiteral(" ");
    s += QString::asprintf("%llu,%03llu,%03llu,%03llu", static_cast<unsigned long long>(m / 1000000000ULL),
                           static_cast<unsigned long long>((m % 1000000000ULL) / 1000000ULL),
                           static_cast<unsigned long long>((m % 1000000ULL) / 1000ULL),
                           static_cast<unsigned long long>(m % 1000ULL));
    return s;
}
