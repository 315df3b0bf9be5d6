// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppStartup.h"
#include "MainWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    ConfigureHighDpiBeforeApplication();
    QApplication app(argc, argv);
    ConfigureApplicationIdentity();
    MainWindow window;
    window.show();
    return app.exec();
}
