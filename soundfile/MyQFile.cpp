// SPDX-License-Identifier: GPL-3.0-or-later
#include "MyQFile.h"

#include "FileWriteSeam.h"

#include <fcntl.h>
#include <unistd.h>

MyQFile::~MyQFile()
{
    if (m_nFd >= 0)
        ::close(m_nFd);
}

bool MyQFile::open(int mode)
{
    int flags = 0;
    switch (mode) {
    case 1: flags = O_RDONLY; break;
    case 2: flags = O_WRONLY; break;
    case 3: flags = O_RDWR; break;
    default: return false;
    }
    if (mode != 1 && !FileWriteSeam::mayOpenForWrite(m_sFileName))
        return false;
    // A descriptor still open from before would leak.
    if (m_nFd >= 0)
        close();
    const QByteArray name = m_sFileName.toLocal8Bit();
    m_nFd = ::open(name.constData(), flags);
    return m_nFd >= 0;
}

bool MyQFile::close()
{
    if (m_nFd < 0)
        return false;
    const int rc = ::close(m_nFd);
    m_nFd = -1;
    return rc == 0;
}
