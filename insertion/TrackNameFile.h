// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The name typed for a source file lives in "<source folder>./<base name>.snl"
// (a sibling folder of the source folder, named after it plus a dot).
void GetSnlFileName(const QString& sourceFolder, const QString& fileName, QString& path);
void LoadTrackNameFromSnlFile(const QString& sourceFolder, const QString& fileName, QString& name);
void SaveTrackNameToSnlFile(const QString& sourceFolder, const QString& fileName, const QString& name);
