// SPDX-License-Identifier: GPL-3.0-or-later
// The Verify button: measures, by the audio itself, whether the chosen track
// of each selected take is in time with the take's lowest other track, and
// marks the take's row with the verdict. The measuring is analysis/'s
// (VerifyTake); this file only gathers the selection and paints the marks.
#include "MainWindow.h"

#include "MainWindowUi.h"
#include "BrowserStyle.h"
#include "QPavaneBrowsingTable.h"
#include "TakeVerify.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>

#include <cmath>

namespace {

QColor VerdictColour(SyncVerdict verdict)
{
    switch (verdict) {
    case SyncVerdict::InSync: return QColor(40, 160, 70);
    case SyncVerdict::Offset: return QColor(230, 140, 20);
    case SyncVerdict::Drift: return QColor(210, 40, 40);
    case SyncVerdict::NoMatch: break;
    }
    return QColor(140, 140, 140);
}

QString VerdictWords(SyncVerdict verdict)
{
    switch (verdict) {
    case SyncVerdict::InSync: return QStringLiteral("in sync");
    case SyncVerdict::Offset: return QStringLiteral("offset");
    case SyncVerdict::Drift: return QStringLiteral("drift");
    case SyncVerdict::NoMatch: break;
    }
    return QStringLiteral("no match");
}

QIcon VerdictIcon(SyncVerdict verdict)
{
    QPixmap dot(12, 12);
    dot.fill(Qt::transparent);
    QPainter p(&dot);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(VerdictColour(verdict));
    p.drawEllipse(1, 1, 10, 10);
    return QIcon(dot);
}

QString SignedMs(double ms) { return QString::asprintf("%+.1f ms", ms); }

// The offset in ms as the row's short text; the rest in the tooltip.
MainWindow::VerifyMark MarkOf(const VerifyResult& r, double toleranceMs)
{
    MainWindow::VerifyMark mark;
    mark.verdict = int(r.measurement.verdict);
    QString tip = QStringLiteral("Track %1 against track %2: %3").arg(r.track).arg(r.against)
                      .arg(VerdictWords(r.measurement.verdict));
    if (const auto ms = r.OffsetMs()) {
        mark.shortText = SignedMs(*ms);
        tip += QStringLiteral("\nOffset %1").arg(SignedMs(*ms));
        if (const auto frames = r.OffsetFrames())
            tip += QString::asprintf(" (%+.2f frames)", *frames);
        if (const auto drift = r.DriftMs())
            tip += QStringLiteral("\nDrift %1 from the first to the last matching window").arg(SignedMs(*drift));
    } else {
        mark.shortText = QStringLiteral("?");
    }
    tip += QStringLiteral("\nConfidence %1 (tolerance %2 ms)").arg(r.measurement.confidence, 0, 'f', 1).arg(toleranceMs);
    mark.tip = tip;
    return mark;
}

QString LegendText()
{
    QString text;
    for (SyncVerdict v : {SyncVerdict::InSync, SyncVerdict::Offset, SyncVerdict::Drift, SyncVerdict::NoMatch})
        text += QStringLiteral("<span style=\"color:%1\">&#9679;</span> %2&nbsp;&nbsp; ")
                    .arg(VerdictColour(v).name(), VerdictWords(v));
    return text;
}

} // namespace

void MainWindow::SetupVerifyControls()
{
    auto* bar = new QWidget(ui->groupBox_2);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    m_pVerifyButton = new QPushButton(QStringLiteral("Verify sync"), bar);
    m_pVerifyButton->setObjectName(QStringLiteral("m_CtrlButton_Verify"));
    m_pVerifyButton->setToolTip(QStringLiteral("Measure the chosen track of the selected takes against each take's "
                                               "lowest other track, by their audio"));
    m_pVerifyButton->setMinimumSize(110, 26);
    row->addWidget(m_pVerifyButton);
    m_pVerifyLegend = new QLabel(LegendText(), bar);
    m_pVerifyLegend->setObjectName(QStringLiteral("m_CtrlLabel_VerifyLegend"));
    m_pVerifyLegend->setTextFormat(Qt::RichText);
    row->addWidget(m_pVerifyLegend, 1);
    if (auto* grid = qobject_cast<QGridLayout*>(ui->groupBox_2->layout()))
        grid->addWidget(bar, 1, 0);
    connect(m_pVerifyButton, &QPushButton::clicked, this, &MainWindow::OnPushButton_Verify);
    // Load rebuilds the rows: the marks of this folder's takes come back.
    connect(ui->m_CtrlTable_Target, &QPavaneBrowsingTable::signal_EndOfTableUpdate, this, &MainWindow::ShowVerifyMarks);
}

void MainWindow::OnPushButton_Verify()
{
    if (m_bAnalysisBusy)
        return;
    const QStringList tags = SelectedTargetTags();
    if (tags.isEmpty()) {
        ShowModalMessage(QMessageBox::Critical, QStringLiteral("No file selected in target zone."));
        return;
    }
    VerifyTakes(tags, ui->m_CtrlComboBox_TargetTrack->currentIndex() + 1);
}

void MainWindow::VerifyTakes(const QStringList& tags, int track)
{
    m_bAnalysisBusy = true;
    if (m_sVerifiedFolder != m_sTargetFolder) {
        m_VerifyMarks.clear();
        m_sVerifiedFolder = m_sTargetFolder;
    }
    ui->m_CtrlProgressBar_File->show();
    ui->m_CtrlProgressBar_File->setRange(0, tags.size());
    ui->m_CtrlProgressBar_File->setValue(0);
    QStringList problems;
    int counts[4] = {};
    VerifyRequest request;
    request.folder = m_sTargetFolder;
    request.track = track;
    for (int i = 0; i < tags.size(); ++i) {
        request.fileId = tags.at(i);
        const VerifyResult r = VerifyTake(request);
        if (r.status == VerifyStatus::Measured) {
            m_VerifyMarks.insert(r.fileId, MarkOf(r, request.toleranceMs));
            ++counts[int(r.measurement.verdict)];
        } else {
            m_VerifyMarks.remove(r.fileId);
            problems << r.message.split(QLatin1Char('\n')).join(QLatin1String(": "));
        }
        ui->m_CtrlProgressBar_File->setValue(i + 1);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    m_bAnalysisBusy = false;
    ShowVerifyMarks();
    const auto single = m_VerifyMarks.constFind(tags.first());
    if (tags.size() == 1 && single != m_VerifyMarks.constEnd())
        ui->m_CtrlLabel_Message->setText(tags.first() + QStringLiteral(" track %1: ").arg(track)
                                         + VerdictWords(SyncVerdict(single->verdict)) + QLatin1Char(' ')
                                         + single->shortText);
    else
        ui->m_CtrlLabel_Message->setText(
        QStringLiteral("Track %1 verified: %2 in sync, %3 offset, %4 drift, %5 no match")
            .arg(track)
            .arg(counts[int(SyncVerdict::InSync)])
            .arg(counts[int(SyncVerdict::Offset)])
            .arg(counts[int(SyncVerdict::Drift)])
            .arg(counts[int(SyncVerdict::NoMatch)]));
    if (!problems.isEmpty())
        ShowModalMessage(QMessageBox::Warning, QStringLiteral("Not verified:\n") + problems.join(QLatin1Char('\n')));
}

void MainWindow::ShowVerifyMarks()
{
    if (m_sVerifiedFolder != m_sTargetFolder)
        return;
    QPavaneBrowsingTable* table = ui->m_CtrlTable_Target;
    for (int r = 0; r < table->rowCount(); ++r) {
        QTableWidgetItem* first = table->item(r, 0);
        if (!first)
            continue;
        const auto it = m_VerifyMarks.constFind(first->text());
        if (it == m_VerifyMarks.constEnd()) {
            first->setIcon(QIcon());
            first->setToolTip(QString());
            continue;
        }
        first->setIcon(VerdictIcon(SyncVerdict(it->verdict)));
        first->setToolTip(it->shortText + QLatin1Char('\n') + it->tip);
    }
}
