// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppStartup.h"

#include <QCoreApplication>
#include <QGuiApplication>

void ConfigureHighDpiBeforeApplication()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // 150% stays 150% instead of being rounded to 200%.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

void ConfigureApplicationIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("sonalign"));
}
