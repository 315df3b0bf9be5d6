// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared by the window tests: an isolated configuration folder and small
// generated projects.

#include "RecorderFileWriter.h"

#include <QDir>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWidget>
#include <QtGlobal>

namespace apptest {

constexpr quint64 kTen = quint64(10) * 3600 * 48000;   // 10:00:00 in samples at 48 kHz

// Points the configuration folder at a fresh temporary folder before any
// window reads its settings.
inline void isolateConfig(QTemporaryDir& dir)
{
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
}

inline RecorderFileSpec takeSpec(const QString& scene, const QString& take, quint64 start, quint32 frames)
{
    RecorderFileSpec s;
    s.frames = frames;
    s.timeReference = start;
    s.ixml.scene = scene;
    s.ixml.take = take;
    s.ixml.note = QStringLiteral("n") + scene;
    return s;
}

// A source file of another recorder: bext only.
inline RecorderFileSpec sourceSpec(quint64 start, quint32 frames)
{
    RecorderFileSpec s;
    s.frames = frames;
    s.timeReference = start;
    s.description = "other recorder\r\n";
    s.withIxml = false;
    s.withVlta = false;
    s.withOnde = false;
    s.withFilm = false;
    return s;
}

// Visible relay boxes, in creation order (the window's own modal and confirm
// boxes are never shown in tests).
inline QList<QMessageBox*> visibleBoxes(QWidget* window)
{
    QList<QMessageBox*> boxes;
    for (QMessageBox* b : window->findChildren<QMessageBox*>(QString(), Qt::FindDirectChildrenOnly))
        if (b->isVisible())
            boxes.append(b);
    return boxes;
}

// Answers the window's modal boxes and records their texts.
struct ModalLog
{
    QStringList texts;
    int answer = QMessageBox::Ok;
    template <class Window> void attach(Window& w)
    {
        w.SetModalHook([this](QMessageBox& box) {
            texts << box.text();
            return answer;
        });
    }
};

// Presses Load and waits for the target table's worker to finish.
template <class Window, class Ui> bool loadAndWait(Window&, Ui* ui)
{
    QSignalSpy end(ui->m_CtrlTable_Target, SIGNAL(signal_EndOfTableUpdate()));
    ui->m_CtrlButton_Load->click();
    return end.count() > 0 || end.wait(20000);
}

// target/: `takes` mono takes AA0001... of `tracks` tracks, one second apart
// from 10:00:00; source/: `sources` files R01.WAV... covering the first take.
inline bool writeProject(const QString& root, int takes, int tracks, int sources)
{
    const QString target = root + QStringLiteral("/target");
    const QString source = root + QStringLiteral("/source");
    if (!QDir().mkpath(target) || !QDir().mkpath(source))
        return false;
    for (int i = 0; i < takes; ++i) {
        RecorderFileSpec s = takeSpec(QStringLiteral("S%1").arg(i + 1), QStringLiteral("1"), kTen + quint64(i) * 48000, 4800);
        if (!RecorderFileWriter::writeMonoTake(target, QStringLiteral("AA%1").arg(i + 1, 4, 10, QLatin1Char('0')), tracks, s))
            return false;
    }
    for (int i = 1; i <= sources; ++i)
        if (!RecorderFileWriter::write(source + QStringLiteral("/R%1.WAV").arg(i, 2, 10, QLatin1Char('0')),
                                       sourceSpec(kTen, 4800)))
            return false;
    return true;
}

} // namespace apptest
