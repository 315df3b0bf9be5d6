// SPDX-License-Identifier: GPL-3.0-or-later
// sonalign-demo: opens the window as the program does, then presses Load and
// selects a source row, so a first look shows a loaded project. With
// --screenshot FILE it saves a picture of the window and quits. The program
// itself keeps no command-line options; this launcher is for the demo only.

#include "AppStartup.h"
#include "MainWindow.h"
#include "MainWindowUi.h"
#include "QPavaneBrowsingTable.h"

#include <QApplication>
#include <QDockWidget>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    ConfigureHighDpiBeforeApplication();
    QApplication app(argc, argv);
    ConfigureApplicationIdentity();
    QString screenshot;
    bool showLog = false;
    QString selectTake;
    int sourceRow = 0;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--screenshot") && i + 1 < args.size()) {
            screenshot = args[++i];
        } else if (args[i] == QLatin1String("--select-source") && i + 1 < args.size()) {
            sourceRow = args[++i].toInt();
        } else if (args[i] == QLatin1String("--show-log")) {
            showLog = true;
        } else if (args[i] == QLatin1String("--select-take") && i + 1 < args.size()) {
            selectTake = args[++i];
        } else {
            std::fprintf(stderr, "usage: sonalign-demo [--select-source ROW] [--select-take FILE_ID] [--show-log] "
                                 "[--screenshot FILE.png]\n");
            return 2;
        }
    }

    MainWindow window;
    window.show();
    Ui_MainWindow* ui = window.Ui();
    bool selected = false;
    QObject::connect(ui->m_CtrlTable_Target, &QPavaneBrowsingTable::signal_EndOfTableUpdate, &window, [&]() {
        if (selected || ui->m_CtrlTable_Source->rowCount() <= sourceRow)
            return;
        selected = true;
        ui->m_CtrlTable_Source->selectRow(sourceRow);
        if (showLog)
            ui->m_CtrlDock_Log->show();
        // After the analysis (which clears the target selection) has run.
        if (!selectTake.isEmpty())
            QTimer::singleShot(600, &window, [&]() {
                for (int r = 0; r < ui->m_CtrlTable_Target->rowCount(); ++r)
                    if (ui->m_CtrlTable_Target->item(r, 0)->text() == selectTake)
                        ui->m_CtrlTable_Target->selectRow(r);
            });
        if (screenshot.isEmpty())
            return;
        // Give the delayed selection signal and the analysis time to run.
        QTimer::singleShot(1200, &window, [&]() {
            const bool saved = window.grab().save(screenshot, "PNG");
            std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "saved" : "cannot save",
                         screenshot.toLocal8Bit().constData());
            QCoreApplication::exit(saved ? 0 : 1);
        });
    });
    QTimer::singleShot(0, &window, [&]() { window.OnPushButton_Load(); });
    if (!screenshot.isEmpty())
        QTimer::singleShot(20000, &window, []() { QCoreApplication::exit(1); });
    return app.exec();
}
