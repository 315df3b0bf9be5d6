// SPDX-License-Identifier: GPL-3.0-or-later
#include "CoverageColours.h"

#include <QHBoxLayout>
#include <QLabel>

QColor CoverageColour(Coverage c)
{
    switch (c) {
    case Coverage::EntireTake: return QColor(0, 120, 215);
    case Coverage::MissingStart: return QColor(80, 0, 128);
    case Coverage::PartialCoverage: return QColor(105, 0, 0);
    case Coverage::MissingEnd: return QColor(0, 0, 105);
    case Coverage::None: break;
    }
    return QColor(Qt::transparent);
}

QWidget* CreateCoverageLegend(QWidget* parent)
{
    auto* legend = new QWidget(parent);
    legend->setObjectName(QStringLiteral("m_CtrlLegend_Coverage"));
    auto* row = new QHBoxLayout(legend);
    row->setContentsMargins(2, 0, 2, 0);
    row->setSpacing(4);
    const struct
    {
        Coverage c;
        const char* text;
    } classes[] = {{Coverage::EntireTake, "Entire take"},
                   {Coverage::MissingStart, "Missing start"},
                   {Coverage::PartialCoverage, "Partial coverage"},
                   {Coverage::MissingEnd, "Missing end"}};
    for (const auto& k : classes) {
        auto* swatch = new QLabel(legend);
        swatch->setFixedSize(14, 12);
        swatch->setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid #cfcfcf;")
                                  .arg(CoverageColour(k.c).name()));
        auto* text = new QLabel(QString::fromLatin1(k.text), legend);
        row->addWidget(swatch);
        row->addWidget(text);
        row->addSpacing(10);
    }
    row->addStretch(1);
    return legend;
}
