// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliSupport.h"

#include "CliCommand.h"

#include "MessageLoging.h"
#include "TakeJournal.h"

#include <QDir>
#include <QFileInfo>

#include <QJsonDocument>
#include <QJsonValue>
#include <QLoggingCategory>
#include <QJsonArray>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

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

StdoutToStderr::StdoutToStderr()
{
    std::fflush(stdout);
    m_saved = ::dup(STDOUT_FILENO);
    if (m_saved >= 0 && ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        ::close(m_saved);
        m_saved = -1;
    }
}

StdoutToStderr::~StdoutToStderr()
{
    std::fflush(stdout);
    if (m_saved >= 0) {
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
    }
}

QString absoluteCleanPath(const QString& path)
{
    if (path.isEmpty())
        return path;
    return QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath());
}

FolderLockWait cliFolderLockWait()
{
    FolderLockWait wait;
    wait.timeoutMs = 5 * 60 * 1000;
    wait.onWait = []() {
        if (::isatty(STDERR_FILENO) == 1) {
            cliErr() << "Waiting: " << FolderLock::kBusyText << ".\n";
            cliErr().flush();
        }
    };
    return wait;
}

bool cliRecoverFolder(const QString& folder)
{
    if (!TakeJournal::HasJournal(folder))
        return true;
    FolderLock lock;
    const FolderLockWait wait = cliFolderLockWait();
    if (lock.lock(folder, wait.timeoutMs, wait.onWait) != FolderLock::Result::Acquired) {
        SendToRelay(QStringLiteral("sonalign-cli"), lock.errorText(), 0, 1, true, 0);
        return false;
    }
    return TakeJournal::RecoverFolder(folder, QStringLiteral("sonalign-cli")) != TakeJournal::Recovery::Failed;
}

namespace {
volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void onInterrupt(int) { g_interrupted = 1; }
} // namespace

InterruptGuard::InterruptGuard()
{
    g_interrupted = 0;
    m_oldInt = std::signal(SIGINT, onInterrupt);
    m_oldTerm = std::signal(SIGTERM, onInterrupt);
}

InterruptGuard::~InterruptGuard()
{
    std::signal(SIGINT, m_oldInt);
    std::signal(SIGTERM, m_oldTerm);
}

bool InterruptGuard::Interrupted() { return g_interrupted != 0; }

int parseTrack(const QString& text)
{
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    return ok && n >= 1 && n <= 24 ? n : -1;
}

void reportOwn(const char* command, const QString& text)
{
    SendToRelay(QStringLiteral("sonalign-cli ") + QLatin1String(command), text, 0, 1, true, 0);
}

void quietDebugOutput()
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
}

bool parseTrackOfTakesArgs(const QStringList& args, TrackOfTakesArgs* out)
{
    QStringList positional;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--track")) {
            if (++i >= args.size())
                return false;
            out->track = parseTrack(args.at(i));
            if (out->track < 0)
                return false;
        } else if (a == QLatin1String("--")) {
            positional << args.mid(i + 1);
            break;
        } else if (a.startsWith(QLatin1String("--"))) {
            return false;
        } else {
            positional << a;
        }
    }
    if (out->track < 0 || positional.size() < 2)
        return false;
    out->targetFolder = absoluteCleanPath(positional.at(0));
    out->fileIds = positional.mid(1);
    return true;
}

int finishTrackOfTakes(const char* command, const QString& targetFolder, bool success, const QStringList& files,
                       bool relaySilent)
{
    for (const QString& file : files)
        cliOut() << file << '\n';
    cliOut().flush();
    if (success)
        return kExitOk;
    if (relaySilent)
        reportOwn(command, targetFolder + QLatin1String("\nNo .WAV file in this folder."));
    return kExitFailure;
}
