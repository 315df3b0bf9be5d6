// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FolderLock.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

class MessageLoging;

// Standard streams as UTF-8 text streams.
QTextStream& cliOut();
QTextStream& cliErr();

// Creates the process-wide relay and prints every message on stderr as
// "title: text". Counts the messages so a command can tell whether a failure
// was reported.
class CliRelay
{
public:
    CliRelay();
    ~CliRelay();
    int messageCount() const;

private:
    MessageLoging* m_pRelay;
};

// The take layer prints some diagnostics with printf. While a command reads
// takes, standard output is pointed at standard error so that only its
// results reach standard output (a script parsing the JSON sees nothing else).
class StdoutToStderr
{
public:
    StdoutToStderr();
    ~StdoutToStderr();
    StdoutToStderr(const StdoutToStderr&) = delete;
    StdoutToStderr& operator=(const StdoutToStderr&) = delete;

private:
    int m_saved = -1;
};

// Escapes a text for a JSON string literal (quotes included).
QString jsonString(const QString& text);

// A path argument made absolute and clean before anything uses it: the bytes a
// command writes (file names, take numbers, the project in the iXML) must not
// depend on whether the user typed "../source/boom.wav" or a full path.
QString absoluteCleanPath(const QString& path);

// Commands that change a folder wait for another run that is changing it:
// a few minutes at most, saying so once on a terminal.
FolderLockWait cliFolderLockWait();

// A take left half-changed by an interrupted run is rolled back before any
// command looks at its folder (the message goes to stderr; stdout stays
// clean). False when the rollback failed; the relay has said why.
bool cliRecoverFolder(const QString& folder);

// Ctrl-C or a polite kill while a command writes: the handler only raises a
// flag, which the command turns into the engine's keep-going flag at its next
// check point, so the run finishes or rolls back its current take instead of
// leaving a half-written file. Restores the previous handlers when it ends.
class InterruptGuard
{
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
    static bool Interrupted();

private:
    void (*m_oldInt)(int);
    void (*m_oldTerm)(int);
};

// A track number argument: 1 ... 24, or -1 when it is not one.
int parseTrack(const QString& text);

// A failure the workflows do not put into words themselves, titled
// "sonalign-cli COMMAND".
void reportOwn(const char* command, const QString& text);

// The libraries' diagnostics are for developers: keep them off stderr, which
// carries the "title: text" messages.
void quietDebugOutput();

// "--track N TARGET_FOLDER FILE_ID...", the arguments of delete and restore.
struct TrackOfTakesArgs
{
    int track = -1;          // 1 ... 24
    QString targetFolder;    // absolute and clean
    QStringList fileIds;
};
// False on a usage error.
bool parseTrackOfTakesArgs(const QStringList& args, TrackOfTakesArgs* out);

// The end of a delete or restore: the files it moved, one a line on stdout;
// a failure the relay did not hear about (`relaySilent`) is put into words.
int finishTrackOfTakes(const char* command, const QString& targetFolder, bool success, const QStringList& files,
                       bool relaySilent);
