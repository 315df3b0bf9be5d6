// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessageLoging.h"

MessageLoging* global_pLogger = nullptr;

MessageLoging::MessageLoging(QObject* parent)
    : QObject(parent)
{
}

void MessageLoging::SendMsg(const QString& title, const QString& text, int code, int kind, bool flag, int timeout)
{
    emit signal_message(title, text, code, kind, flag, timeout);
}

void SendToRelay(const QString& title, const QString& text, int code, int kind, bool flag, int timeout)
{
    if (global_pLogger)
        global_pLogger->SendMsg(title, text, code, kind, flag, timeout);
}
