// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileNaming.h"

#include "QPath.h"

#include <QDir>
#include <QFileInfo>
#include <QLatin1String>

namespace {

bool isTrackSeparator(QChar c)
{
    return c == QLatin1Char('#') || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('_');
}

// Case-insensitive match of `name` against "<prefix>*<suffix>" (star = any run,
// possibly empty) or, without star, "<prefix><suffix>". Done by hand rather
// than with wildcard patterns because a take root may itself hold '[', '*' or '?'.
bool matchesGroupPattern(const QString& name, const QString& prefix, bool star, const QString& suffix)
{
    if (!star)
        return name.compare(prefix + suffix, Qt::CaseInsensitive) == 0;
    return name.size() >= prefix.size() + suffix.size()
        && name.startsWith(prefix, Qt::CaseInsensitive)
        && name.endsWith(suffix, Qt::CaseInsensitive);
}

} // namespace

bool IsMonoFile(const QString& name)
{
    const int n = name.size();
    if (n < 7)
        return false;
    return isTrackSeparator(name.at(n - 6)) || name.at(n - 7) == QLatin1Char('_');
}

QString TrkIndexToNN(int n)
{
    // "%02d" and keep the first two characters: 100 and above lose their last digits.
    QString text = QString::number(n);
    if (n >= 0 && text.size() < 2)
        text.prepend(QLatin1Char('0'));
    return text.left(2);
}

QChar TrkIndexToCharOld(int n)
{
    if (n >= 0 && n <= 9)
        return QLatin1Char(char('0' + n));
    if (n >= 10 && n <= 35)
        return QLatin1Char(char('A' + (n - 10)));
    return QLatin1Char('$');
}

QString AudioPathFileShortenedToRacine(const QString& name)
{
    if (name.size() < 7)
        return name;
    QString racine = name.left(name.size() - 6);
    if (racine.endsWith(QLatin1Char('_')))
        racine.chop(1);
    return racine;
}

int QAll_HowManySoundFilesInGroup(const QString& path)
{
    const QPath qpath(path);
    const QString root = qpath.GetRoot();
    const QString folder = qpath.GetPath();
    if (folder.isEmpty())
        return 0;
    QDir dir(folder);
    if (!dir.exists())
        return 0;

    static const char* const kSeparators[] = {"-", "_", "#", "+"};
    const QLatin1String extensions[] = {QLatin1String(".WAV"), QLatin1String(".BWF")};

    int count = 0;
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& info : entries) {
        if (!info.isFile())
            continue;
        const QString name = info.fileName();
        bool match = false;
        for (const QLatin1String& ext : extensions) {
            const QString suffix(ext);
            if (matchesGroupPattern(name, root, false, suffix)) {
                match = true;
                break;
            }
            for (const char* sep : kSeparators) {
                if (matchesGroupPattern(name, root + QLatin1String(sep), true, suffix)) {
                    match = true;
                    break;
                }
            }
            if (match)
                break;
        }
        if (match)
            ++count;
    }
    return count;
}
