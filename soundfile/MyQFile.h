// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Thin wrapper of a POSIX descriptor; used only to test that a file opens.
class MyQFile
{
public:
    MyQFile() = default;
    ~MyQFile();
    MyQFile(const MyQFile&) = delete;
    MyQFile& operator=(const MyQFile&) = delete;

    void setFileName(const QString& name) { m_sFileName = name; }
    bool open(int mode);     // 1 read-only, 2 write-only, 3 read-write
    bool close();
    int handle() const { return m_nFd; }

private:
    QString m_sFileName;
    int m_nFd = -1;
};
