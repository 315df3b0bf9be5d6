// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ConformPlan.h"

// The rows of a conform run: one object per take considered, in take order.
// `withTimecodes` adds the start time code of the take and of each range (the
// report for the picture editor).
QString ConformRowsJson(const ConformPlan& plan, bool withTimecodes);
QString ConformRowsCsv(const ConformPlan& plan);

enum class ConformReportFormat { Unknown, Csv, Json };
ConformReportFormat ConformReportFormatOf(const QString& path);

// Writes the report (format from the suffix) atomically: a reader never sees
// half a report. False with a reason in *error.
bool WriteConformReport(const QString& path, const ConformPlan& plan, QString* error);
