// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What the update pass does beyond the common steps.
struct TakeUpdateOptions
{
    int newTrackIndex = -1;       // create: the new track's entries are set
    QString newTrackName;
    bool absentYesBecomesNo = false;
};

// The pass that makes the files of one take agree after a track was added,
// hidden or restored: rereads the per-track entries of every track file of
// the take (whatever its name family), merges them, regenerates each file's
// iXML and writes it back in place, then brings every file to one length.
// `takeKey` is the take's path without track suffix (/T/AA0001). A file that
// cannot be opened for the update keeps its old iXML and is reported under
// `title`; returns false when any file could not be updated. The caller holds
// the folder's lock.
bool RunTakeUpdatePass(const QString& takeKey, const TakeUpdateOptions& options, const QString& title);
