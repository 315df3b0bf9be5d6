// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared by the window tests: an isolated configuration folder, small
// generated projects and a window whose modal boxes are answered and logged.

#include "BrowserStyle.h"
#include "ColumnKinds.h"
#include "MainWindow.h"
#include "MainWindowUi.h"
#include "QPavaneBrowsingTable.h"
#include "RecorderFileWriter.h"
#include "TestSupport.h"

#include <QtTest>
#include <QtWidgets>

namespace apptest {

constexpr quint64 kTen = quint64(10) * 3600 * 48000;   // 10:00:00 in samples at 48 kHz

// Configuration and data folders of its own, set before a window reads them.
struct IsolatedConfig
{
    QTemporaryDir config;
    IsolatedConfig()
    {
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        qputenv("XDG_DATA_HOME", (config.path() + QStringLiteral("/data")).toUtf8());
    }
    QString ini() const { return config.path() + QStringLiteral("/AudioSonalign.ini"); }
};

inline RecorderFileSpec takeSpec(const QString& scene, quint64 start, quint32 frames)
{
    RecorderFileSpec s;
    s.frames = frames;
    s.timeReference = start;
    s.ixml.scene = scene;
    s.ixml.take = QStringLiteral("1");
    return s;
}

// A source file of another recorder: bext only.
inline RecorderFileSpec sourceSpec(quint64 start, quint32 frames)
{
    RecorderFileSpec s;
    s.frames = frames;
    s.timeReference = start;
    s.description = "other recorder\r\n";
    s.withIxml = s.withVlta = s.withOnde = s.withFilm = false;
    return s;
}

// Visible relay boxes in creation order (the window's own modal boxes go
// through its hook and are never shown in tests).
inline QList<QMessageBox*> visibleBoxes(QWidget* window)
{
    QList<QMessageBox*> boxes;
    for (QMessageBox* b : window->findChildren<QMessageBox*>(QString(), Qt::FindDirectChildrenOnly))
        if (b->isVisible())
            boxes.append(b);
    return boxes;
}

// Waits for a build the spy watches; the call that started it may have run the event loop already.
inline bool ended(QSignalSpy& end) { return end.count() > 0 || end.wait(20000); }

// The window on its own configuration, its modal boxes answered by `answer`
// and their texts and icons logged, and the steps the tests repeat.
struct Window : IsolatedConfig, MainWindow
{
    QStringList texts;
    QList<int> icons;
    int answer = QMessageBox::Ok;
    Ui_MainWindow* ui = Ui();

    explicit Window(bool shown = false)
    {
        SetModalHook([this](QMessageBox& box) {
            texts << box.text();
            icons << int(box.icon());
            return answer;
        });
        if (shown) {
            show();
            QTest::qWaitForWindowExposed(this);
        }
    }
    // Presses Load and waits for the target table's worker to finish.
    bool load(const QString& root = QString())
    {
        if (!root.isEmpty())
            SetFolders(root + QStringLiteral("/source"), root + QStringLiteral("/target"));
        QSignalSpy end(ui->m_CtrlTable_Target, SIGNAL(signal_EndOfTableUpdate()));
        ui->m_CtrlButton_Load->click();
        return ended(end);
    }
    // Selects a source row as a click would, and waits for the analysis.
    bool selectSource(int row)
    {
        QSignalSpy selected(ui->m_CtrlTable_Source, SIGNAL(signal_SelectedSourceChanged(QString, int, int)));
        ui->m_CtrlTable_Source->setCurrentCell(row, 0);
        return selected.wait(2000);
    }
    QPavaneBrowsingTable* target() const { return ui->m_CtrlTable_Target; }
    int rowOf(const QString& id) const
    {
        const QList<QTableWidgetItem*> found = target()->findItems(id, Qt::MatchExactly);
        return found.isEmpty() ? -1 : found.first()->row();
    }
    QColor colour(int row) const { return target()->item(row, 0)->background().color(); }
    QString lastBox() { return visibleBoxes(this).isEmpty() ? QString() : visibleBoxes(this).last()->text(); }
    QString saved(const char* key) const { return QSettings(ini(), QSettings::IniFormat).value(QStringLiteral("LastSetup/") + QLatin1String(key)).toString(); }
};

// target/: `takes` mono takes AA0001... of `tracks` tracks, one second apart
// from 10:00:00; source/: `sources` files R01.WAV... covering the first take.
inline bool writeProject(const QString& root, int takes, int tracks, int sources)
{
    const QString target = root + QStringLiteral("/target"), source = root + QStringLiteral("/source");
    bool ok = QDir().mkpath(target) && QDir().mkpath(source);
    for (int i = 0; i < takes; ++i)
        ok = ok && RecorderFileWriter::writeMonoTake(target, QStringLiteral("AA%1").arg(i + 1, 4, 10, QLatin1Char('0')), tracks,
                                                     takeSpec(QStringLiteral("S%1").arg(i + 1), kTen + quint64(i) * 48000, 4800));
    for (int i = 1; i <= sources; ++i)
        ok = ok && RecorderFileWriter::write(source + QStringLiteral("/R%1.WAV").arg(i, 2, 10, QLatin1Char('0')), sourceSpec(kTen, 4800));
    return ok;
}

} // namespace apptest
