// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Installs a MessageLoging as the process-wide relay for the lifetime of the
// object and records every message (title, text) it carries.

#include "MessageLoging.h"

#include <QPair>
#include <QSignalSpy>
#include <QString>
#include <QStringList>

namespace testsupport {

class RelayRecorder
{
public:
    RelayRecorder()
        : m_spy(&m_relay, &MessageLoging::signal_message)
    {
        m_pPrevious = global_pLogger;
        global_pLogger = &m_relay;
    }
    ~RelayRecorder() { global_pLogger = m_pPrevious; }
    RelayRecorder(const RelayRecorder&) = delete;
    RelayRecorder& operator=(const RelayRecorder&) = delete;

    int count() const { return m_spy.count(); }
    QString title(int i = 0) const { return m_spy.at(i).at(0).toString(); }
    QString text(int i = 0) const { return m_spy.at(i).at(1).toString(); }
    // code, kind, flag, timeout of message i, as "0,1,true,0".
    QString args(int i = 0) const
    {
        const QList<QVariant>& m = m_spy.at(i);
        return QStringLiteral("%1,%2,%3,%4")
            .arg(m.at(2).toInt())
            .arg(m.at(3).toInt())
            .arg(m.at(4).toBool() ? QStringLiteral("true") : QStringLiteral("false"))
            .arg(m.at(5).toInt());
    }
    // Every message as "title: text", in order.
    QStringList lines() const
    {
        QStringList out;
        for (int i = 0; i < count(); ++i)
            out << title(i) + QStringLiteral(": ") + text(i);
        return out;
    }
    void clear() { m_spy.clear(); }

private:
    MessageLoging m_relay;
    QSignalSpy m_spy;
    MessageLoging* m_pPrevious = nullptr;
};

} // namespace testsupport
