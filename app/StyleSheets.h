// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The window's dark grey theme; images come from ":/res/Resources/".
QString MainWindowStyleSheet();
// Modal message box (buttonWidth 250) and confirm box (125); the relay's
// non-blocking boxes use 120.
QString MessageBoxStyleSheet(int buttonWidth);
