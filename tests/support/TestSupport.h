// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small helpers shared by the tests: running tools we did not write, reading
// files back. Header-only so each test stays one executable.

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace testsupport {

struct ProcessResult
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    bool started = false;
};

inline ProcessResult run(const QString& program, const QStringList& args, int timeoutMs = 120000,
                         const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    ProcessResult r;
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    r.started = p.waitForStarted(10000);
    if (!r.started)
        return r;
    p.waitForFinished(timeoutMs);
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

inline bool haveTool(const QString& name) { return !QStandardPaths::findExecutable(name).isEmpty(); }

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

inline QByteArray sha1Of(const QString& path)
{
    return QCryptographicHash::hash(readAll(path), QCryptographicHash::Sha1).toHex();
}

#ifdef SONALIGN_CLI_PATH
inline QString cliPath() { return QString::fromUtf8(SONALIGN_CLI_PATH); }
#endif

} // namespace testsupport
