// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

// Process-wide relay through which every layer reports to the user without
// knowing the window. The window turns signal_message into message boxes; the
// command-line tool prints "title: text" on stderr; tests use a QSignalSpy.
// SendMsg may be called from any thread: the signal is queued to receivers
// living on another thread.
class MessageLoging : public QObject
{
    Q_OBJECT
public:
    explicit MessageLoging(QObject* parent = nullptr);

    void SendMsg(const QString& title, const QString& text, int code, int kind, bool flag, int timeout);

signals:
    void signal_message(QString title, QString text, int code, int kind, bool flag, int timeout);
};

// Null until a front-end creates the relay; reporters send nothing while it is null.
extern MessageLoging* global_pLogger;

// Sends through global_pLogger when it is set. Most reports use (0, 1, true, 0).
void SendToRelay(const QString& title, const QString& text, int code = 0, int kind = 1,
                 bool flag = true, int timeout = 0);
