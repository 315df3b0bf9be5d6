// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrackNameFile.h"

#include <QFileInfo>
#include <QSettings>

namespace {
const QString& trackNameKey()
{
    static const QString key = QStringLiteral("LastSetup/TrackName");
    return key;
}
} // namespace

void GetSnlFileName(const QString& sourceFolder, const QString& fileName, QString& path)
{
    // "<folder>./<base>.snl": the file lives in the sibling folder named after
    // the source folder plus a dot, never among the source files themselves.
    const QString base = QFileInfo(sourceFolder + QLatin1Char('/') + fileName).completeBaseName();
    path = sourceFolder + QLatin1String("./") + base + QLatin1String(".snl");
}

void LoadTrackNameFromSnlFile(const QString& sourceFolder, const QString& fileName, QString& name)
{
    QString path;
    GetSnlFileName(sourceFolder, fileName, path);
    name.clear();
    if (!QFileInfo(path).isFile())
        return;
    QSettings settings(path, QSettings::IniFormat);
    name = settings.value(trackNameKey(), QString()).toString();
}

void SaveTrackNameToSnlFile(const QString& sourceFolder, const QString& fileName, const QString& name)
{
    QString path;
    GetSnlFileName(sourceFolder, fileName, path);
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(trackNameKey(), name);
    settings.sync();
}
