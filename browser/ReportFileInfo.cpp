// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReportFileInfo.h"

#include <QFileInfo>

ReportFileInfo::ReportFileInfo(QObject* parent) : QObject(parent) {}

bool ReportFileInfo::InitFileInfo(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    m_nFileSize = info.size();
    m_LastModified = info.lastModified();
    m_sSuffix = info.suffix().toUpper();
    if (m_nFileSize >= 1024 * 1024)
        m_sFileSize = QStringLiteral("%1 MB").arg(m_nFileSize / (1024 * 1024));
    else
        m_sFileSize = QStringLiteral("%1 KB").arg((m_nFileSize + 1023) / 1024);
    return true;
}
