// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Naming rules of the recorder's take files. Pure string and directory
// operations, kept below the sound-file layer because the iXML writer needs
// them (file-set count, identifiers) as much as the take layer does.

#include <QChar>
#include <QString>

// AA0001_01.WAV, AA0001_1.WAV, AA0001-1.WAV, AA0001#1.WAV, AA0001+1.WAV are mono.
bool IsMonoFile(const QString& name);

// "%02d" cut to two characters ("01" ... "24"). Returned by value: no shared
// buffer, safe on the table's worker thread and the GUI thread at once.
QString TrkIndexToNN(int n);

// '0'..'9', 'A'..'Z' for 10..35, '$' above 35.
QChar TrkIndexToCharOld(int n);

// Name (or path) without its track suffix: AA0001_01.WAV -> AA0001.
QString AudioPathFileShortenedToRacine(const QString& name);

// Number of sound files on disk belonging to the take of `path`.
int QAll_HowManySoundFilesInGroup(const QString& path);
