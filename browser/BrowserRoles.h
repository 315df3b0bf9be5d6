// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <Qt>

// Item data a browsing table keeps on a row's first item.
constexpr int kRoleErrorFlag = Qt::UserRole + 1;      // the take had an error status
constexpr int kRoleReportExtra = Qt::UserRole + 3;    // report tables: the file's suffix
constexpr int kRoleComposition = Qt::UserRole + 4;    // advanced template composition
constexpr int kRoleComposedScene = Qt::UserRole + 5;
constexpr int kRolePlainScene = Qt::UserRole + 6;
constexpr int kRoleFieldMask = Qt::UserRole + 7;      // bit n = field n named by the composition
