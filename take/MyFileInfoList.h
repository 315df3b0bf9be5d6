// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// Filtered, sorted listing of one folder with binary-search lookup. Belongs to
// one thread at a time (the table's worker owns its own).
//
// Two orders are kept. The entries themselves are in the byte order of their
// local 8-bit names, which decides how the table groups and shows takes. The
// lookup runs over a second index in its own order (name without regard to
// case, then exact; all entries share the folder), so every file in the
// listing is found whatever characters its name holds ("_" facing a letter
// sorts differently in the two).
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
    // Only files are listed: a folder is never a sound file, even one named "X.WAV".
    int LoadEntryInfoList(const QString& folder, const QStringList& suffixes);
    int count() const { return m_Entries.size(); }
    QString GetFileName(int i) const;
    QString Getsuffix(int i) const;
    QString GetBaseName(int i) const;
    QString GetAbsoluteFilePath(int i) const;
    QString GetAbsolutePath(int i) const;
    // Index of the entry whose absolute path is exactly `path` (after cleaning), or -1.
    int indexOfBoosted(const QString& path) const;

private:
    QVector<Entry> m_Entries;
    QVector<QString> m_FoldedNames;  // case-folded file names, same indexes as m_Entries
    QVector<int> m_LookupOrder;      // entry indexes in lookup order
    QString m_sPrefix;               // absolute folder with its trailing slash
};
