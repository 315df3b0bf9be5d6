// SPDX-License-Identifier: GPL-3.0-or-later
#include "MyFileInfoList.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <numeric>

namespace {

// Order of the lookup index: case-folded names first (as the take tables have
// always searched, without regard to case), the exact names as a tie-break so
// that the order is total and two names differing only in case are both
// findable. Folding is done once per entry, not in every comparison.
int lookupCompare(const QString& foldedA, const QString& a, const QString& foldedB, const QString& b)
{
    const int c = foldedA.compare(foldedB, Qt::CaseSensitive);
    if (c != 0)
        return c;
    return a.compare(b, Qt::CaseSensitive);
}

bool keepName(const QString& name, const QStringList& suffixes)
{
    if (suffixes.isEmpty())
        return true;
    for (const QString& s : suffixes) {
        // Case-sensitive, and the name must be longer than the suffix.
        if (s.size() < name.size() && name.endsWith(s, Qt::CaseSensitive))
            return true;
    }
    return false;
}

// True when cleaning could not change an absolute path: the lookups of a take
// (up to 120 per take) are built from clean keys, so they skip the clean step.
bool isCleanAbsolute(const QString& path)
{
    const int n = path.size();
    if (n == 0 || path.at(0) != QLatin1Char('/'))
        return false;
    if (n == 1)
        return true;
    if (path.at(n - 1) == QLatin1Char('/'))
        return false;
    const QChar* d = path.constData();
    for (int i = 0; i < n; ++i) {
        if (d[i] != QLatin1Char('/'))
            continue;
        // A segment that starts here: empty, "." or "..".
        if (i + 1 < n && d[i + 1] == QLatin1Char('/'))
            return false;
        if (i + 1 < n && d[i + 1] == QLatin1Char('.')) {
            if (i + 2 == n || d[i + 2] == QLatin1Char('/'))
                return false;
            if (d[i + 2] == QLatin1Char('.') && (i + 3 == n || d[i + 3] == QLatin1Char('/')))
                return false;
        }
    }
    return true;
}

QString cleanedAbsolute(const QString& path)
{
    if (isCleanAbsolute(path))
        return path;
    if (QDir::isRelativePath(path))
        return QDir::cleanPath(QDir::current().absoluteFilePath(path));
    return QDir::cleanPath(path);
}

} // namespace

int MyFileInfoList::LoadEntryInfoList(const QString& folder, const QStringList& suffixes)
{
    m_Entries.clear();
    m_FoldedNames.clear();
    m_LookupOrder.clear();
    m_sPrefix.clear();

    if (folder.isEmpty())
        return 1;
    const QDir dir(folder);
    if (!dir.exists())
        return 1;

    const QString absFolder = cleanedAbsolute(dir.absolutePath());
    const QString prefix = absFolder.endsWith(QLatin1Char('/')) ? absFolder : absFolder + QLatin1Char('/');
    m_sPrefix = prefix;

    // Files only (symbolic links to files included): hidden entries and folders are left out.
    const QStringList names = dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);

    struct Kept
    {
        QString name;
        QByteArray local8;
    };
    std::vector<Kept> kept;
    kept.reserve(size_t(names.size()));
    for (const QString& name : names) {
        if (keepName(name, suffixes))
            kept.push_back(Kept{name, name.toLocal8Bit()});
    }

    // Byte order of the local 8-bit names: upper case before "_", "_" before lower case.
    std::stable_sort(kept.begin(), kept.end(), [](const Kept& a, const Kept& b) {
        if (a.local8 != b.local8)
            return a.local8 < b.local8;
        return a.name < b.name;  // names the local encoding cannot tell apart
    });

    m_Entries.reserve(int(kept.size()));
    for (const Kept& k : kept) {
        Entry e;
        e.absolutePath = absFolder;
        e.absoluteFilePath = prefix + k.name;
        e.fileName = k.name;
        const int dot = k.name.lastIndexOf(QLatin1Char('.'));
        e.baseName = dot >= 0 ? k.name.left(dot) : k.name;
        e.suffix = dot >= 0 ? k.name.mid(dot + 1) : QString();
        m_Entries.append(e);
        m_FoldedNames.append(k.name.toCaseFolded());
    }

    m_LookupOrder.resize(m_Entries.size());
    std::iota(m_LookupOrder.begin(), m_LookupOrder.end(), 0);
    std::sort(m_LookupOrder.begin(), m_LookupOrder.end(), [this](int a, int b) {
        return lookupCompare(m_FoldedNames.at(a), m_Entries.at(a).fileName, m_FoldedNames.at(b),
                             m_Entries.at(b).fileName)
            < 0;
    });

    return m_Entries.isEmpty() ? 1 : 0;
}

QString MyFileInfoList::GetFileName(int i) const
{
    return i >= 0 && i < m_Entries.size() ? m_Entries.at(i).fileName : QString();
}

QString MyFileInfoList::Getsuffix(int i) const
{
    return i >= 0 && i < m_Entries.size() ? m_Entries.at(i).suffix : QString();
}

QString MyFileInfoList::GetBaseName(int i) const
{
    return i >= 0 && i < m_Entries.size() ? m_Entries.at(i).baseName : QString();
}

QString MyFileInfoList::GetAbsoluteFilePath(int i) const
{
    return i >= 0 && i < m_Entries.size() ? m_Entries.at(i).absoluteFilePath : QString();
}

QString MyFileInfoList::GetAbsolutePath(int i) const
{
    return i >= 0 && i < m_Entries.size() ? m_Entries.at(i).absolutePath : QString();
}

int MyFileInfoList::indexOfBoosted(const QString& path) const
{
    if (m_LookupOrder.isEmpty() || path.isEmpty())
        return -1;
    const QString sought = cleanedAbsolute(path);
    // Every entry lives in the listed folder: anything else is not in the listing.
    if (sought.size() <= m_sPrefix.size() || !sought.startsWith(m_sPrefix, Qt::CaseSensitive))
        return -1;
    const QString name = sought.mid(m_sPrefix.size());
    if (name.contains(QLatin1Char('/')))
        return -1;
    const QString folded = name.toCaseFolded();
    int low = 0;
    int high = m_LookupOrder.size() - 1;
    while (low <= high) {
        const int mid = low + (high - low) / 2;
        const int entry = m_LookupOrder.at(mid);
        const int c = lookupCompare(folded, name, m_FoldedNames.at(entry), m_Entries.at(entry).fileName);
        if (c == 0)
            return entry;
        if (c < 0)
            high = mid - 1;
        else
            low = mid + 1;
    }
    return -1;
}
