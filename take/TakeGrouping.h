// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class MyFileInfoList;
class QSoundPerform;

// A sorted folder listing grouped into takes, as the target table shows them.
// Widget-free: the table's worker thread and `sonalign-cli list` call the same
// code.
struct TakeKey
{
    int listingIndex = -1;   // first file of the take in the listing
    QString fileId;          // first six characters of that file's name
    QString key;             // folder + name without ".WAV" (poly) or folder + racine (mono)
    bool mono = false;
};

// Take status of a row: 0 assembled with iXML, 1 assembled without, 3 failed.
enum TakeStatus { kTakeOk = 0, kTakeNoIxml = 1, kTakeError = 3 };

// Racine changes start a take; names of 6 characters or fewer are skipped.
QVector<TakeKey> GroupListingIntoTakes(const MyFileInfoList& listing);

// Quick assembly of one take (its first file opened, the others found in the
// listing). The returned status follows TakeStatus.
int AssembleTakeQuick(const TakeKey& key, MyFileInfoList* listing, QSoundPerform* record);

// Lists `folder` (".WAV") and assembles every take; `onTake` receives each
// record (ownership passes) with its row and status. Returns the number of takes.
int BuildTakesOfFolder(const QString& folder,
                       const std::function<void(std::unique_ptr<QSoundPerform>, int row, int status)>& onTake);

// The same, also handing over the take's key (file ID, key path, mono flag).
int BuildTakesOfFolderWithKeys(
    const QString& folder,
    const std::function<void(const TakeKey& key, std::unique_ptr<QSoundPerform>, int row, int status)>& onTake);
