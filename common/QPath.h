// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// One cleaned path and the questions the naming rules ask about it.
class QPath
{
public:
    QPath() = default;
    explicit QPath(const QString& path);

    const QString& Path() const { return m_sPath; }
    QString GetPath() const;                          // folder with trailing "/"
    QString GetFilename(bool withExtension) const;
    QString GetExtension() const;                     // without "."
    QString GetRoot() const;                          // AA0001_01 -> AA0001
    QString GetSeparator() const;                     // "_", "-", "#", "+" or empty

private:
    QString m_sPath;
};
