// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What main() does around the QApplication, shared with the demo launcher.

// Qt's high-DPI scaling and high-DPI pixmaps, so the window is crisp at 150%
// and 200%. Must run before the QApplication is created.
void ConfigureHighDpiBeforeApplication();

// After the QApplication exists: the name that places the data folder (the
// action log) where the command-line tool puts it too.
void ConfigureApplicationIdentity();
