// SPDX-License-Identifier: GPL-3.0-or-later
#include "SourceChannelChoice.h"

#include "SourceFormat.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QWidget>

SourceChannelChoice::SourceChannelChoice(QGridLayout* grid, QComboBox* trackCombo, QObject* parent)
    : QObject(parent)
{
    QWidget* cellParent = trackCombo->parentWidget();
    int row = 0, column = 0, rowSpan = 1, columnSpan = 1;
    const int index = grid->indexOf(trackCombo);
    if (index >= 0)
        grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    auto* cell = new QWidget(cellParent);
    cell->setObjectName(QStringLiteral("m_CtrlWidget_TrackAndChannel"));
    auto* box = new QHBoxLayout(cell);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(4);
    if (index >= 0)
        grid->removeWidget(trackCombo);
    trackCombo->setParent(cell);
    box->addWidget(trackCombo, 1);
    m_combo = new QComboBox(cell);
    m_combo->setObjectName(QStringLiteral("m_CtrlComboBox_SourceChannel"));
    m_combo->setToolTip(QStringLiteral("Channel of the selected source that becomes the new track"));
    m_combo->setMinimumHeight(30);
    m_combo->hide();
    box->addWidget(m_combo);
    grid->addWidget(cell, row, column, rowSpan, columnSpan);
}

void SourceChannelChoice::ShowFor(const QString& sourcePath)
{
    SourceFormat format;
    const bool several = !sourcePath.isEmpty() && ReadSourceFormat(sourcePath, &format, nullptr) && format.channels > 1;
    m_combo->clear();
    if (!several) {
        m_combo->hide();
        return;
    }
    for (int k = 1; k <= format.channels; ++k)
        m_combo->addItem(QStringLiteral("Ch %1").arg(k));
    m_combo->setCurrentIndex(0);
    m_combo->show();
}

int SourceChannelChoice::Channel() const
{
    return !m_combo->isHidden() && m_combo->count() > 1 ? m_combo->currentIndex() + 1 : 0;
}
