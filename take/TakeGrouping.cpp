// SPDX-License-Identifier: GPL-3.0-or-later
#include "TakeGrouping.h"

#include "FileNaming.h"
#include "MyFileInfoList.h"
#include "QSoundPerform.h"

#include <QStringList>

QVector<TakeKey> GroupListingIntoTakes(const MyFileInfoList& listing)
{
    QVector<TakeKey> takes;
    // Ten colons: a racine no file name can have, so the first file starts a take.
    QString prevRacine = AudioPathFileShortenedToRacine(QStringLiteral("::::::::::"));
    for (int i = 0; i < listing.count(); ++i) {
        const QString name = listing.GetFileName(i);
        if (name.size() <= 6)
            continue;
        if (listing.Getsuffix(i).compare(QLatin1String("WAV"), Qt::CaseInsensitive) != 0)
            continue;
        const QString racine = AudioPathFileShortenedToRacine(name);
        if (racine == prevRacine)
            continue;
        const QString path = listing.GetAbsoluteFilePath(i);
        const QString folder = path.left(path.size() - name.size());   // with its trailing "/"
        TakeKey take;
        take.listingIndex = i;
        take.fileId = name.left(6);
        take.mono = IsMonoFile(name);
        take.key = folder + (take.mono ? racine : name.left(name.size() - 4));
        takes.append(take);
        prevRacine = racine;
    }
    return takes;
}

int AssembleTakeQuick(const TakeKey& key, MyFileInfoList* listing, QSoundPerform* record)
{
    if (!record->QuickInitFiles(key.key, QStringLiteral("WAV"), listing, false))
        return kTakeError;
    const short first = record->GetFirstTrack();
    // No file of the take could be taken as one of its tracks: nothing was
    // opened, so the row cannot show anything read from the take.
    if (!record->m_bPresent[size_t(first)])
        return kTakeError;
    return record->File(first).HasiXMLChunk() ? kTakeOk : kTakeNoIxml;
}

int BuildTakesOfFolderWithKeys(
    const QString& folder,
    const std::function<void(const TakeKey& key, std::unique_ptr<QSoundPerform>, int row, int status)>& onTake)
{
    MyFileInfoList listing;
    listing.LoadEntryInfoList(folder, QStringList{QStringLiteral(".WAV")});
    const QVector<TakeKey> takes = GroupListingIntoTakes(listing);
    int row = 0;
    for (const TakeKey& key : takes) {
        auto record = std::make_unique<QSoundPerform>();
        const int status = AssembleTakeQuick(key, &listing, record.get());
        if (onTake)
            onTake(key, std::move(record), row, status);
        ++row;
    }
    return row;
}

int BuildTakesOfFolder(const QString& folder,
                       const std::function<void(std::unique_ptr<QSoundPerform>, int row, int status)>& onTake)
{
    return BuildTakesOfFolderWithKeys(
        folder, [&onTake](const TakeKey&, std::unique_ptr<QSoundPerform> record, int row, int status) {
            if (onTake)
                onTake(std::move(record), row, status);
        });
}
