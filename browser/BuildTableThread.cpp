// SPDX-License-Identifier: GPL-3.0-or-later
#include "BuildTableThread.h"

#include "DebugOutput.h"
#include "MyFileInfoList.h"
#include "QSoundPerform.h"
#include "ReportFileInfo.h"
#include "TakeGrouping.h"


#include <memory>

BuildTableThread::BuildTableThread(QObject* parent) : QThread(parent)
{
    setStackSize(0x40000);
}

BuildTableThread::~BuildTableThread()
{
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_bStop = true;
        m_bWakeUp = true;
        m_WakeUp.notify_all();
    }
    wait();
}

void BuildTableThread::SetSourceDir(const QString& folder, const QStringList& suffixes)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_sFolder = folder;
    m_slSuffixes = suffixes;
}

quint64 BuildTableThread::RequestCount() const
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    return m_nRequested;
}

quint64 BuildTableThread::DoneCount() const
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    return m_nDone;
}

void BuildTableThread::slot_StartBuildProcess(int, QSemaphore* semaphore)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_pSemaphore = semaphore;
    m_nRequested += 1;
    if (isRunning()) {
        m_bWakeUp = true;
        m_WakeUp.notify_all();
    } else {
        start(QThread::InheritPriority);
    }
}

bool BuildTableThread::StopRequested() const
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    return m_bStop;
}

void BuildTableThread::run()
{
    for (;;) {
        for (;;) {
            QString folder;
            QStringList suffixes;
            {
                std::unique_lock<std::mutex> lock(m_Mutex);
                if (m_nDone >= m_nRequested || m_bStop)
                    break;
                m_nDone += 1;
                folder = m_sFolder;
                suffixes = m_slSuffixes;
            }
            BuildOnce(folder, suffixes);
        }
        std::unique_lock<std::mutex> lock(m_Mutex);
        if (m_bStop)
            return;
        // A request that came in while building has already been counted:
        // loop again without sleeping.
        if (m_nDone < m_nRequested)
            continue;
        if (!m_bWakeUp)
            m_WakeUp.wait(lock);
        m_bWakeUp = false;
        if (m_bStop)
            return;
    }
}

void BuildTableThread::BuildOnce(const QString& folder, const QStringList& suffixes)
{
    MyFileInfoList listing;
    listing.LoadEntryInfoList(folder, suffixes);

    const bool reports = suffixes.contains(QStringLiteral(".PDF"), Qt::CaseInsensitive)
                         || suffixes.contains(QStringLiteral(".CSV"), Qt::CaseInsensitive)
                         || suffixes.contains(QStringLiteral(".ALE"), Qt::CaseInsensitive);
    if (reports) {
        int row = 0;
        for (int i = 0; i < listing.count() && !StopRequested(); ++i) {
            const QString name = listing.GetFileName(i);
            const QString suffix = listing.Getsuffix(i).toUpper();
            if (name.size() <= 6)
                continue;
            if (suffix != QLatin1String("PDF") && suffix != QLatin1String("CSV") && suffix != QLatin1String("ALE"))
                continue;
            auto* info = new ReportFileInfo;
            const int status = info->InitFileInfo(folder + name) ? 0 : 3;
            emit signal_AddNewElementRpt(info, row, status);
            ++row;
        }
    } else {
        // The same grouping the table used to create its rows, so row n of
        // the table and take n of the worker always name the same take.
        const QVector<TakeKey> takes = GroupListingIntoTakes(listing);
        for (int row = 0; row < takes.size() && !StopRequested(); ++row) {
            auto record = std::make_unique<QSoundPerform>();
            const int status = AssembleTakeQuick(takes[row], &listing, record.get());
            // The record must not stay tied to this thread's lifetime: it is
            // owned (and deleted) by the GUI-thread slot from now on.
            record->moveToThread(nullptr);
            emit signal_AddNewElement(record.release(), row, status);
        }
    }
    int identifier;
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        identifier = m_nIdentifier;
    }
    MyQDebug("BuildTableThread: end of build");
    emit signal_EndOfBuild(identifier);
}
