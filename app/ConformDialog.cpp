// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConformDialog.h"

#include "ConformApply.h"
#include "ConformReport.h"
#include "CoverageColours.h"
#include "FolderLock.h"
#include "MessageLoging.h"
#include "TakeJournal.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString& title()
{
    static const QString t = QStringLiteral("ConformDialog::Apply()");
    return t;
}

QTableWidgetItem* cell(const QString& text)
{
    auto* it = new QTableWidgetItem(text);
    it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return it;
}

} // namespace

QColor ConformDialog::ClassColour(ConformClass c)
{
    // The coverage colours of the target table; a take with gaps is shown as
    // partly covered.
    switch (c) {
    case ConformClass::Entire: return CoverageColour(Coverage::EntireTake);
    case ConformClass::MissingStart: return CoverageColour(Coverage::MissingStart);
    case ConformClass::Partial:
    case ConformClass::Gaps: return CoverageColour(Coverage::PartialCoverage);
    case ConformClass::MissingEnd: return CoverageColour(Coverage::MissingEnd);
    case ConformClass::None: break;
    }
    return CoverageColour(Coverage::None);
}

ConformDialog::ConformDialog(const QString& sourceFolder, const QString& targetFolder, QWidget* parent)
    : QDialog(parent), m_sSourceFolder(sourceFolder), m_sTargetFolder(targetFolder)
{
    setObjectName(QStringLiteral("ConformDialog"));
    setWindowTitle(QStringLiteral("Conform"));
    resize(1100, 600);

    auto* rule = new QHBoxLayout;
    rule->addWidget(new QLabel(QStringLiteral("Track:"), this));
    m_pTrackRule = new QComboBox(this);
    m_pTrackRule->addItem(QStringLiteral("Next free track"), 0);
    for (int n = 1; n <= 24; ++n)
        m_pTrackRule->addItem(QStringLiteral(" Track %1").arg(n), n);
    rule->addWidget(m_pTrackRule);
    rule->addWidget(new QLabel(QStringLiteral("Track name:"), this));
    m_pName = new QLineEdit(this);
    m_pName->setPlaceholderText(QStringLiteral("from the source's track-name file"));
    rule->addWidget(m_pName, 1);

    m_pTable = new QTableWidget(0, kColCount, this);
    m_pTable->setHorizontalHeaderLabels({QStringLiteral("Take"), QStringLiteral("Scene/Take"), QStringLiteral("Class"),
                                         QStringLiteral("Sources"), QStringLiteral("Silence"), QStringLiteral("Track"),
                                         QStringLiteral("Action"), QStringLiteral("Result")});
    m_pTable->horizontalHeader()->setSectionResizeMode(kColSources, QHeaderView::Stretch);
    m_pTable->verticalHeader()->hide();

    m_pStatus = new QLabel(this);
    m_pTakes = new QProgressBar(this);
    m_pSize = new QProgressBar(this);
    m_pSize->setRange(0, 100);

    auto* buttons = new QHBoxLayout;
    m_pApply = new QPushButton(QStringLiteral("Apply"), this);
    m_pCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_pReport = new QPushButton(QStringLiteral("Save report…"), this);
    m_pClose = new QPushButton(QStringLiteral("Close"), this);
    m_pCancel->setEnabled(false);
    buttons->addWidget(m_pStatus, 1);
    buttons->addWidget(m_pApply);
    buttons->addWidget(m_pCancel);
    buttons->addWidget(m_pReport);
    buttons->addWidget(m_pClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rule);
    layout->addWidget(m_pTable, 1);
    layout->addWidget(m_pTakes);
    layout->addWidget(m_pSize);
    layout->addLayout(buttons);

    connect(m_pTrackRule, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &ConformDialog::slot_Replan);
    connect(m_pApply, &QPushButton::clicked, this, &ConformDialog::slot_Apply);
    connect(m_pCancel, &QPushButton::clicked, this, &ConformDialog::slot_Cancel);
    connect(m_pReport, &QPushButton::clicked, this, &ConformDialog::slot_SaveReport);
    connect(m_pClose, &QPushButton::clicked, this, &QDialog::accept);
    slot_Replan();
}

void ConformDialog::slot_Replan()
{
    if (m_bRunning)
        return;
    ConformRequest request;
    request.sourceFolder = m_sSourceFolder;
    request.targetFolder = m_sTargetFolder;
    request.track = m_pTrackRule->currentData().toInt();
    m_Plan = BuildConformPlan(request);
    FillTable();
}

void ConformDialog::FillTable()
{
    m_pTable->setRowCount(0);
    m_pTable->setRowCount(m_Plan.takes.size());
    for (int row = 0; row < m_Plan.takes.size(); ++row) {
        const ConformTake& t = m_Plan.takes.at(row);
        auto* take = new QTableWidgetItem(t.fileId);
        // Only a take that can be written can be ticked.
        take->setFlags(t.create ? Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable
                                : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        take->setCheckState(t.create ? Qt::Checked : Qt::Unchecked);
        m_pTable->setItem(row, kColTake, take);
        m_pTable->setItem(row, kColSceneTake, cell(t.scene + QLatin1Char('/') + t.takeNumber));
        auto* klass = cell(ConformClassKey(t.coverage));
        klass->setBackground(QBrush(ClassColour(t.coverage)));
        if (t.coverage != ConformClass::None)
            klass->setForeground(QBrush(Qt::white));
        m_pTable->setItem(row, kColClass, klass);
        QStringList sources;
        for (const ConformRange& r : t.ranges)
            sources << QStringLiteral("%1 [%2 … %3)").arg(m_Plan.sources.at(r.source).fileName).arg(r.takeFrom).arg(r.takeTo);
        for (const ConformExclusion& e : t.excluded)
            sources << m_Plan.sources.at(e.source).fileName + QLatin1String(" left out: ") + e.reason;
        m_pTable->setItem(row, kColSources, cell(sources.join(QLatin1String("; "))));
        QStringList silence;
        for (const auto& s : t.silence)
            silence << QStringLiteral("[%1 … %2)").arg(s.first).arg(s.second);
        m_pTable->setItem(row, kColSilence, cell(silence.join(QLatin1String(" "))));
        m_pTable->setItem(row, kColTrack, cell(t.trackIndex >= 0 ? QString::number(t.trackIndex + 1) : QString()));
        m_pTable->setItem(row, kColAction, cell(t.create ? QStringLiteral("create") : QLatin1String("skip: ") + t.reason));
        m_pTable->setItem(row, kColResult, cell(t.result));
    }
    m_pTable->resizeColumnToContents(kColTake);
    m_pStatus->setText(QStringLiteral("%1 of %2 takes to write").arg(m_Plan.plannedCount()).arg(m_Plan.takes.size()));
    m_pApply->setEnabled(m_Plan.plannedCount() > 0);
}

void ConformDialog::UpdateRow(int row)
{
    if (row < 0 || row >= m_Plan.takes.size())
        return;
    const ConformTake& t = m_Plan.takes.at(row);
    m_pTable->item(row, kColResult)->setText(t.result);
    if (!t.reason.isEmpty() && t.result == QLatin1String("skipped"))
        m_pTable->item(row, kColAction)->setText(QLatin1String("skip: ") + t.reason);
}

void ConformDialog::slot_Apply()
{
    if (m_bRunning)
        return;
    QStringList ticked;
    for (int row = 0; row < m_pTable->rowCount(); ++row)
        if (m_pTable->item(row, kColTake)->checkState() == Qt::Checked)
            ticked << m_pTable->item(row, kColTake)->text();
    if (ticked.isEmpty())
        return;

    FolderLock lock;
    if (!ConformRun::LockAndRecover(lock, m_sTargetFolder, FolderLockWait(), title()))
        return;
    // Planned again under the lock, so what is written matches the folder now.
    ConformRequest request;
    request.sourceFolder = m_sSourceFolder;
    request.targetFolder = m_sTargetFolder;
    request.track = m_pTrackRule->currentData().toInt();
    request.fileIds = ticked;
    if (!m_pName->text().isEmpty()) {
        request.trackName = m_pName->text();
        request.hasTrackName = true;
    }
    ConformPlan plan = BuildConformPlan(request);

    m_bRunning = true;
    m_bKeepGoing = true;
    m_pApply->setEnabled(false);
    m_pTrackRule->setEnabled(false);
    m_pClose->setEnabled(false);
    m_pReport->setEnabled(false);
    m_pCancel->setEnabled(true);
    m_pTakes->setRange(0, plan.plannedCount());
    m_pTakes->setValue(0);

    // Rows of the shown plan by file ID: the applied plan holds only the ticked takes.
    auto rowOf = [&](const QString& id) {
        for (int row = 0; row < m_Plan.takes.size(); ++row)
            if (m_Plan.takes.at(row).fileId == id)
                return row;
        return -1;
    };
    ConformRun run;
    connect(&run, &ConformRun::signal_ProgressSize, this, [this](qint64 percent) {
        m_pSize->setValue(int(percent));
        // The cancel button must be heard while a take is copied; every
        // other control is disabled meanwhile.
        QCoreApplication::processEvents();
    });
    connect(&run, &ConformRun::signal_TakeStarted, this, [&](int index, int done, int) {
        m_pTakes->setValue(done);
        m_pStatus->setText(QStringLiteral("Writing %1…").arg(plan.takes.at(index).fileId));
        const int row = rowOf(plan.takes.at(index).fileId);
        if (row >= 0)
            m_pTable->scrollToItem(m_pTable->item(row, kColTake));
    });
    connect(&run, &ConformRun::signal_TakeFinished, this, [&](int index, bool) {
        m_pTakes->setValue(m_pTakes->value() + 1);
        const int row = rowOf(plan.takes.at(index).fileId);
        if (row >= 0) {
            m_Plan.takes[row] = plan.takes.at(index);
            UpdateRow(row);
        }
    });
    run.Apply(plan, &m_bKeepGoing);
    lock.unlock();

    // The report covers every take shown: the unticked ones as skipped.
    for (int row = 0; row < m_Plan.takes.size(); ++row) {
        ConformTake& shown = m_Plan.takes[row];
        bool applied = false;
        for (const ConformTake& t : plan.takes)
            if (t.fileId == shown.fileId) {
                shown = t;
                applied = true;
            }
        if (!applied && shown.create) {
            shown.result = QStringLiteral("skipped");
            shown.reason = QStringLiteral("left out by the user");
        }
        UpdateRow(row);
    }
    int written = 0, failed = 0;
    for (const ConformTake& t : m_Plan.takes) {
        written += t.result == QLatin1String("written") ? 1 : 0;
        failed += t.result == QLatin1String("failed") ? 1 : 0;
    }
    m_pStatus->setText(QStringLiteral("%1 written, %2 failed").arg(written).arg(failed));
    m_bRunning = false;
    m_pCancel->setEnabled(false);
    m_pClose->setEnabled(true);
    m_pReport->setEnabled(true);
}

void ConformDialog::slot_Cancel() { m_bKeepGoing = false; }

void ConformDialog::reject()
{
    // Closing the dialog while it writes cancels instead: the current take
    // is finished or put back first.
    if (m_bRunning)
        slot_Cancel();
    else
        QDialog::reject();
}

void ConformDialog::slot_SaveReport()
{
    const QString path = m_fnSaveHook ? m_fnSaveHook()
                                      : QFileDialog::getSaveFileName(this, QStringLiteral("Save the conform report"),
                                                                     m_sTargetFolder + QStringLiteral("/../conform.csv"),
                                                                     QStringLiteral("CSV (*.csv);;JSON (*.json)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!WriteConformReport(path, m_Plan, &error))
        SendToRelay(QStringLiteral("ConformDialog::SaveReport()"), error, 0, 1, true, 0);
}

void RecoverInterruptedTakes(const QStringList& folders)
{
    for (const QString& folder : folders) {
        if (folder.isEmpty() || !TakeJournal::HasJournal(folder))
            continue;
        FolderLock lock;
        if (lock.lock(folder, 0) != FolderLock::Result::Acquired) {
            SendToRelay(QStringLiteral("MainWindow::OnPushButton_Load()"), lock.errorText(), 0, 1, true, 0);
            continue;
        }
        TakeJournal::RecoverFolder(folder, QStringLiteral("MainWindow::OnPushButton_Load()"));
    }
}
