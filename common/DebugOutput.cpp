// SPDX-License-Identifier: GPL-3.0-or-later
#include "DebugOutput.h"

#include <QByteArray>
#include <QMessageLogger>

#include <cstdarg>
#include <cstdio>

namespace {

// Formats into a buffer owned by the caller's stack: no shared static buffer,
// so worker threads and the GUI thread may log at once.
QByteArray formatArgs(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0)
        return QByteArray();
    QByteArray out(needed + 1, '\0');
    std::vsnprintf(out.data(), size_t(out.size()), format, args);
    out.chop(1);
    return out;
}

} // namespace

void MyQDebug(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const QByteArray text = formatArgs(format, args);
    va_end(args);
    QMessageLogger().debug("%s", text.constData());
}

int MyPrintf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const QByteArray text = formatArgs(format, args);
    va_end(args);
    const int written = std::printf("%s", text.constData());
    QMessageLogger().debug("%s", text.constData());
    return written;
}
