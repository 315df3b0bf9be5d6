// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// Exit codes shared by every command.
enum CliExit { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

using CliRunFunction = int (*)(const QStringList& args);

// Each Cli<Command>.cpp defines one static CliCommandRegistration, so adding a
// command never touches main.cpp.
// `summary` is the one line `--help` prints under the usage.
struct CliCommandRegistration
{
    CliCommandRegistration(const char* name, const char* usage, CliRunFunction run);
    CliCommandRegistration(const char* name, const char* usage, const char* summary, CliRunFunction run);
};

struct CliCommandInfo
{
    QString name;
    QString usage;
    CliRunFunction run = nullptr;
    QString summary;
};

const QList<CliCommandInfo>& CliCommands();
