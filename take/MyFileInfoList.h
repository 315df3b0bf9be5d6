// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// Filtered, sorted listing of one folder with binary-search lookup. Belongs to
// one thread at a time (the table's worker owns its own).
class MyFileInfoList
{
public:
    struct Entry
    {
        QString absolutePath;      // folder
        QString absoluteFilePath;  // folder + "/" + name
        QString fileName;
        QString baseName;          // complete base name
        QString suffix;
    };

    // 0 when at least one entry was kept, 1 when the folder is missing or nothing was kept.
    int LoadEntryInfoList(const QString& folder, const QStringList& suffixes);
    int count() const { return m_Entries.size(); }
    QString GetFileName(int i) const;
    QString Getsuffix(int i) const;
    QString GetBaseName(int i) const;
    QString GetAbsoluteFilePath(int i) const;
    QString GetAbsolutePath(int i) const;
    int indexOfBoosted(const QString& path) const;

private:
    QVector<Entry> m_Entries;
};
