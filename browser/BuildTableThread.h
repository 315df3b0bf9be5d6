// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>
#include <QThread>
#include <condition_variable>
#include <mutex>

class QSemaphore;
class QSoundPerform;
class ReportFileInfo;

// The worker of one browsing table: lists the folder and assembles one take
// record (or report info) per row, handing each to the table through a
// queued signal. The receiving slot owns and destroys what it receives.
// The thread is started by the first request and then sleeps between
// requests; requests that arrive during a build are counted and served in turn.
class BuildTableThread : public QThread
{
    Q_OBJECT
public:
    explicit BuildTableThread(QObject* parent = nullptr);
    ~BuildTableThread() override;

    void SetSourceDir(const QString& folder, const QStringList& suffixes);

    // Builds requested and builds started (for tests and diagnostics).
    quint64 RequestCount() const;
    quint64 DoneCount() const;

public slots:
    void slot_StartBuildProcess(int, QSemaphore* semaphore);

signals:
    void signal_AddNewElement(QSoundPerform* record, int row, int status);
    void signal_AddNewElementRpt(ReportFileInfo* info, int row, int status);
    void signal_EndOfBuild(int identifier);

protected:
    void run() override;

private:
    void BuildOnce(const QString& folder, const QStringList& suffixes);
    bool StopRequested() const;

    // Standard primitives rather than QMutex/QWaitCondition: ThreadSanitizer
    // sees through them, so the sanitizer build can check this hand-over.
    mutable std::mutex m_Mutex;        // guards every member below
    std::condition_variable m_WakeUp;
    QString m_sFolder;
    QStringList m_slSuffixes;
    quint64 m_nRequested = 0;
    quint64 m_nDone = 0;
    QSemaphore* m_pSemaphore = nullptr;
    bool m_bWakeUp = false;
    bool m_bStop = false;
    int m_nIdentifier = -1;
};
