// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QObject>
#include <QString>

// What a report table shows of one report file (PDF, CSV, ALE). Made on the
// table's worker and handed to the GUI thread, which destroys it.
class ReportFileInfo : public QObject
{
    Q_OBJECT
public:
    explicit ReportFileInfo(QObject* parent = nullptr);

    // Fills the fields from the file system; false when the file is not there.
    bool InitFileInfo(const QString& path);
    qint64 GetFileSize() const { return m_nFileSize; }
    QString GetFileSizeStr() const { return m_sFileSize; }
    QString GetFileSuffix() const { return m_sSuffix; }
    QDateTime GetFileLastModified() const { return m_LastModified; }

private:
    qint64 m_nFileSize = 0;
    QDateTime m_LastModified;
    QString m_sSuffix;
    QString m_sFileSize;
};

Q_DECLARE_METATYPE(ReportFileInfo*)
