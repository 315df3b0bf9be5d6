// SPDX-License-Identifier: GPL-3.0-or-later
#include "QXmlObject.h"

#include "DebugOutput.h"
#include "MessageLoging.h"

#include <QDomNode>
#include <QDomText>

#include <atomic>

namespace {

const QString kNoRootText = QStringLiteral("No root item.\nUse GetFirstElement() first.");

// The first child element whose tag is exactly `name`. An empty name matches
// nothing (QDomNode::firstChildElement would take it as "any name").
QDomElement firstChildNamed(const QDomElement& parent, const QString& name)
{
    if (parent.isNull() || name.isEmpty())
        return QDomElement();
    for (QDomElement child = parent.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        if (child.tagName() == name)
            return child;
    }
    return QDomElement();
}

// Only the first failed parse of the process dumps the whole text: the log
// would otherwise fill with 60 KB per unreadable file of a folder.
std::atomic<bool> g_bParseFailureDumped{false};

bool isXmlBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

} // namespace

QXmlObject::QXmlObject(const QString& fileName)
    : m_sFileName(fileName)
{
}

bool QXmlObject::CreateDoc()
{
    m_bLoaded = false;
    m_Declaration = m_Document.createProcessingInstruction(QStringLiteral("xml"),
                                                           QStringLiteral("version = '1.0' encoding = 'UTF-8'"));
    if (m_Declaration.isNull())
        return false;
    m_Document.appendChild(m_Declaration);
    m_bLoaded = true;
    return true;
}

void QXmlObject::ClearDoc()
{
    // Parsing an empty text empties the document and fails; that failure is
    // the point, so it is not reported.
    m_Document.setContent(QString());
}

QDomElement QXmlObject::AddFirstElement(const QString& name)
{
    QDomElement element = m_Document.createElement(name);
    bool ok = false;
    if (!element.isNull()) {
        const QDomNode appended = m_Document.appendChild(element);
        if (!appended.isNull()) {
            m_Root = m_Document.documentElement();
            ok = true;
        }
    }
    if (!ok)
        SendToRelay(QStringLiteral("QXmlObject::AddFirstElement"), QStringLiteral("Unable to add first element !"),
                    0, 1, true, 0);
    return element;
}

QDomElement QXmlObject::AddElement(QDomElement parent, const QString& name)
{
    QDomElement element = m_Document.createElement(name);
    if (element.isNull() || parent.appendChild(element).isNull())
        SendToRelay(QStringLiteral("QXmlObject::AddElement"), QStringLiteral("Unable to add first element !"),
                    0, 1, true, 0);
    return element;
}

QDomElement QXmlObject::AddElement(QDomElement parent, const QString& name, unsigned int value)
{
    QDomElement element = m_Document.createElement(name);
    if (element.isNull() || parent.appendChild(element).isNull()) {
        SendToRelay(QStringLiteral("QXmlObject::AddElement() 2"), QStringLiteral("Unable to add first element !"),
                    0, 1, true, 0);
        return element;
    }
    element.appendChild(m_Document.createTextNode(QString::number(value)));
    return element;
}

QDomElement QXmlObject::AddElement(QDomElement parent, const QString& name, const QString& value)
{
    // A single space keeps the element written as <X> </X>, the way the
    // recorder writes an empty value, rather than as <X/>.
    const QString text = value.isEmpty() ? QStringLiteral(" ") : value;
    QDomElement element = m_Document.createElement(name);
    if (element.isNull() || parent.appendChild(element).isNull()) {
        SendToRelay(QStringLiteral("QXmlObject::AddElement() 3"), QStringLiteral("Unable to add first element !"),
                    0, 1, true, 0);
        return element;
    }
    element.appendChild(m_Document.createTextNode(text));
    return element;
}

QString QXmlObject::CopyToString() const
{
    return m_Document.toString(1);
}

bool QXmlObject::OpenDocFromTxt(const QString& text, QString* errorMessage, int* errorLine, int* errorColumn)
{
    m_bLoaded = false;

    // Recorder chunks are padded with spaces to 61440 bytes; white space after
    // the document element means nothing, and handing it to the parser costs
    // more than the document itself.
    int end = text.size();
    while (end > 0 && isXmlBlank(text.at(end - 1)))
        --end;
    const QString content = end == text.size() ? text : text.left(end);

    QString message;
    int line = 0;
    int column = 0;
    const bool ok = m_Document.setContent(content, false, &message, &line, &column);
    if (errorMessage)
        *errorMessage = message;
    if (errorLine)
        *errorLine = line;
    if (errorColumn)
        *errorColumn = column;
    if (ok) {
        m_bLoaded = true;
        return true;
    }

    MyQDebug("ERROR ON iXML QXmlObject::OpenDocFromTxt() %d %d %s", line, column, message.toLocal8Bit().constData());
    bool expected = false;
    if (g_bParseFailureDumped.compare_exchange_strong(expected, true)) {
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (int i = 0; i < lines.size(); ++i)
            MyQDebug("[%03d] %s", i + 1, lines.at(i).toLocal8Bit().constData());
    }
    return false;
}

QDomElement QXmlObject::GetFirstElement()
{
    m_Root = m_Document.documentElement();
    return m_Root;
}

QDomElement QXmlObject::WalkPath(const QStringList& parents) const
{
    QDomElement current = m_Root;
    for (const QString& name : parents) {
        const QDomElement next = firstChildNamed(current, name);
        if (!next.isNull())
            current = next;   // a missing level is skipped
    }
    return current;
}

QString QXmlObject::GetElement(const QString& name, const QStringList& parents) const
{
    if (m_Root.isNull()) {
        SendToRelay(QStringLiteral("QXmlObject::GetElement()"), kNoRootText, 0, 1, true, 0);
        return QString();
    }
    const QDomElement found = firstChildNamed(WalkPath(parents), name);
    return found.isNull() ? QString() : found.text();
}

unsigned int QXmlObject::GetCountElement(const QString& name, const QStringList& parents) const
{
    if (m_Root.isNull()) {
        SendToRelay(QStringLiteral("QXmlObject::GetCountElement()"),
                    QStringLiteral("No root item.\nUse GetFirstElement() first"), 0, 1, true, 0);
        return 0;
    }
    const QDomElement at = WalkPath(parents);
    unsigned int count = 0;
    if (name.isEmpty())
        return 0;
    for (QDomElement child = at.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        if (child.tagName() == name)
            ++count;
    }
    return count;
}

QString QXmlObject::GetElementAt(const QString& name, int index, const QString& group, const QStringList& parents) const
{
    if (m_Root.isNull()) {
        SendToRelay(QStringLiteral("QXmlObject::GetElementAt()"), kNoRootText, 0, 1, true, 0);
        return QString();
    }
    const QDomElement at = WalkPath(parents);
    QDomElement current = at;
    int counter = -1;
    for (QDomElement child = at.firstChildElement(); !child.isNull() && counter != index;
         child = child.nextSiblingElement()) {
        if (!group.isEmpty() && child.tagName() == group) {
            current = child;
            ++counter;
        }
    }
    if (counter != index)
        return QString();
    const QDomElement found = firstChildNamed(current, name);
    return found.isNull() ? QString() : found.text();
}

QDomElement QXmlObject::GetPtrElement(const QString& name, const QStringList& parents) const
{
    if (m_Root.isNull()) {
        SendToRelay(QStringLiteral("QXmlObject::GetPtrElement()"), kNoRootText, 0, 1, true, 0);
        return QDomElement();
    }
    return firstChildNamed(WalkPath(parents), name);
}

void QXmlObject::SetElement(const QString& name, const QString& value, const QStringList& parents)
{
    const QString text = value.isEmpty() ? QStringLiteral(" ") : value;
    if (m_Root.isNull()) {
        SendToRelay(QStringLiteral("QXmlObject::SetElement()"), kNoRootText, 0, 1, true, 0);
        return;
    }
    QDomElement element = firstChildNamed(WalkPath(parents), name);
    if (element.isNull())
        return;   // never created here

    if (!element.text().isEmpty()) {
        element.firstChild().setNodeValue(text);
        return;
    }
    // An empty element is replaced by a new one at the end of its parent.
    QDomNode parent = element.parentNode();
    parent.removeChild(element);
    QDomElement fresh = m_Document.createElement(name);
    parent.appendChild(fresh);
    fresh.appendChild(m_Document.createTextNode(text));
}

void QXmlObject::SetElement(const QString& name, unsigned int value, const QStringList& parents)
{
    SetElement(name, QString::number(value), parents);
}
