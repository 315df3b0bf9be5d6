// SPDX-License-Identifier: GPL-3.0-or-later
#include "SharedFonts.h"

QFont generalFont5;
QFont generalFont6;
QFont generalFont7;
QFont generalFont8;
QFont generalFont9;
QFont generalFont10;
QFont generalFont11;
QFont generalFont12;
QFont generalFont14;
QFont generalFont10Bold;

void InitSharedFonts()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    const QString family = QStringLiteral("DejaVu Sans");
    generalFont5 = QFont(family, 5, QFont::Normal);
    generalFont6 = QFont(family, 6, QFont::Normal);
    generalFont7 = QFont(family, 7, QFont::Normal);
    generalFont8 = QFont(family, 8, QFont::Normal);
    generalFont9 = QFont(family, 9, QFont::Normal);
    generalFont10 = QFont(family, 10, QFont::Normal);
    generalFont11 = QFont(family, 11, QFont::Normal);
    generalFont12 = QFont(family, 12, QFont::Normal);
    generalFont14 = QFont(family, 14, QFont::Normal);
    generalFont10Bold = QFont(family, 10, QFont::Bold);
}
