// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliSupport.h"

#include "MessageLoging.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QJsonArray>

#include <atomic>
#include <cstdio>

namespace {
std::atomic<int> g_messageCount{0};
}

QTextStream& cliOut()
{
    static QTextStream out(stdout);
    out.setCodec("UTF-8");
    return out;
}

QTextStream& cliErr()
{
    static QTextStream err(stderr);
    err.setCodec("UTF-8");
    return err;
}

CliRelay::CliRelay()
    : m_pRelay(new MessageLoging())
{
    global_pLogger = m_pRelay;
    // Direct connection: the tool has no event loop while a command runs.
    QObject::connect(m_pRelay, &MessageLoging::signal_message, m_pRelay,
                     [](const QString& title, const QString& text, int code, int, bool, int) {
                         ++g_messageCount;
                         QTextStream& err = cliErr();
                         err << title << ": ";
                         if (code != 0)
                             err << "Error #" << code << '\n';
                         err << text << '\n';
                         err.flush();
                     },
                     Qt::DirectConnection);
}

CliRelay::~CliRelay()
{
    global_pLogger = nullptr;
    delete m_pRelay;
}

int CliRelay::messageCount() const { return g_messageCount.load(); }

QString jsonString(const QString& text)
{
    // QJsonDocument escapes exactly as JSON requires; strip the array brackets.
    const QByteArray doc = QJsonDocument(QJsonArray{QJsonValue(text)}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(doc.mid(1, doc.size() - 2));
}
