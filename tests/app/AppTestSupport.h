// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared by the window tests: an isolated configuration folder and small
// generated projects.

#include "RecorderFileWriter.h"

#include <QDir>
#include <QMessageBox>
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

} // namespace apptest
