// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppStartup.h"

#include <QCoreApplication>

void ConfigureHighDpiBeforeApplication()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // Qt's default rounding to whole factors is kept: a fractional factor
    // blurs text, and screens that report a low DPI would shrink the window
    // below its designed size.
}

void ConfigureApplicationIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("sonalign"));
}
