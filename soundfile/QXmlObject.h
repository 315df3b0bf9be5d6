// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDomDocument>
#include <QDomElement>
#include <QDomProcessingInstruction>
#include <QString>
#include <QStringList>

// One DOM document with path lookups: a path is a list of parent names below
// the root; a level that is missing is skipped, not reported.
class QXmlObject
{
public:
    QXmlObject() = default;
    explicit QXmlObject(const QString& fileName);   // the file side is never used

    void Clean() { m_bLoaded = false; }
    bool XmlOk() const { return m_bLoaded; }
    bool CreateDoc();
    void ClearDoc();

    QDomElement AddFirstElement(const QString& name);
    QDomElement AddElement(QDomElement parent, const QString& name);
    QDomElement AddElement(QDomElement parent, const QString& name, unsigned int value);
    QDomElement AddElement(QDomElement parent, const QString& name, const QString& value);

    QString CopyToString() const;
    bool OpenDocFromTxt(const QString& text, QString* errorMessage, int* errorLine, int* errorColumn);

    QDomElement GetFirstElement();
    QDomElement GetRoot() const { return m_Root; }

    QString GetElement(const QString& name, const QStringList& parents) const;
    unsigned int GetCountElement(const QString& name, const QStringList& parents) const;
    QString GetElementAt(const QString& name, int index, const QString& group, const QStringList& parents) const;
    QDomElement GetPtrElement(const QString& name, const QStringList& parents) const;
    void SetElement(const QString& name, const QString& value, const QStringList& parents);
    void SetElement(const QString& name, unsigned int value, const QStringList& parents);

    QDomDocument& Document() { return m_Document; }

private:
    QDomElement WalkPath(const QStringList& parents) const;

    QString m_sFileName;
    QDomDocument m_Document;
    QDomProcessingInstruction m_Declaration;
    QDomElement m_Root;
    bool m_bLoaded = false;
};

// "TRACK_LIST\tTRACK" -> {"TRACK_LIST", "TRACK"}
inline QStringList XmlPath(const QString& tabSeparated) { return tabSeparated.split(QLatin1Char('\t')); }
