// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CoverageAnalysis.h"

#include <QColor>

class QWidget;

// The colour of each coverage class in the target table's first column.
QColor CoverageColour(Coverage c);

// A one-line legend of the four class colours (object name
// "m_CtrlLegend_Coverage").
QWidget* CreateCoverageLegend(QWidget* parent);
