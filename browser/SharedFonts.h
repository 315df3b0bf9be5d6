// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

// "DejaVu Sans" at the point size of the name, normal weight; set by
// InitSharedFonts() at program start (after the application object exists).
extern QFont generalFont5;
extern QFont generalFont6;
extern QFont generalFont7;
extern QFont generalFont8;
extern QFont generalFont9;
extern QFont generalFont10;
extern QFont generalFont11;
extern QFont generalFont12;
extern QFont generalFont14;
extern QFont generalFont10Bold;

// Idempotent; only called on the GUI thread.
void InitSharedFonts();
