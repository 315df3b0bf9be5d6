// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
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

// Escapes a text for a JSON string literal (quotes included).
QString jsonString(const QString& text);
