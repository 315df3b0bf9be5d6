// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderPathField.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

namespace {
QString droppedFolder(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1)
        return QString();
    const QUrl url = mime->urls().first();
    if (!url.isLocalFile())
        return QString();
    const QString path = url.toLocalFile();
    return QFileInfo(path).isDir() ? QDir::cleanPath(path) : QString();
}
} // namespace

FolderDropFilter::FolderDropFilter(QLineEdit* field) : QObject(field), m_pField(field)
{
    field->setAcceptDrops(true);
    field->installEventFilter(this);
}

bool FolderDropFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_pField)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* e = static_cast<QDragMoveEvent*>(event);
        if (droppedFolder(e->mimeData()).isEmpty())
            e->ignore();
        else
            e->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(event);
        const QString folder = droppedFolder(e->mimeData());
        if (folder.isEmpty()) {
            e->ignore();
            return true;
        }
        e->acceptProposedAction();
        m_pField->setText(folder);
        emit signal_FolderDropped();
        return true;
    }
    default:
        return false;
    }
}

QString NormaliseTypedFolder(const QString& typed)
{
    QString path = typed.trimmed();
    if (path.isEmpty())
        return path;
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    return QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath());
}
