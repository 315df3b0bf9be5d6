// SPDX-License-Identifier: GPL-3.0-or-later
#include "QPath.h"

#include <QDir>

namespace {

bool isTrackSeparator(QChar c)
{
    return c == QLatin1Char('_') || c == QLatin1Char('-') || c == QLatin1Char('#') || c == QLatin1Char('+');
}

} // namespace

QPath::QPath(const QString& path)
{
    QString text = path;
    if (!text.isEmpty() && text.endsWith(QLatin1Char('/')))
        text.chop(1);
    m_sPath = QDir::cleanPath(text);
}

QString QPath::GetPath() const
{
    const int slash = m_sPath.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    return m_sPath.left(slash + 1);
}

QString QPath::GetFilename(bool withExtension) const
{
    const int slash = m_sPath.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    QString name = m_sPath.mid(slash + 1);
    if (!withExtension) {
        const int dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot >= 0)
            name.truncate(dot);
    }
    return name;
}

QString QPath::GetExtension() const
{
    const int dot = m_sPath.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return QString();
    return m_sPath.mid(dot + 1);
}

QString QPath::GetRoot() const
{
    const QString base = GetFilename(false);
    const int n = base.size();
    // Only a separator among the last three characters marks a track suffix.
    for (int i = n - 1; i >= 0 && i >= n - 3; --i) {
        if (isTrackSeparator(base.at(i)))
            return base.left(i);
    }
    return base;
}

QString QPath::GetSeparator() const
{
    const QString base = GetFilename(false);
    for (const QChar c : base) {
        if (isTrackSeparator(c))
            return QString(c);
    }
    return QString();
}
