// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class QLineEdit;

// Lets a folder dragged from a file manager be dropped on a folder field:
// the field takes the folder's path and `signal_FolderDropped` follows, so
// the window checks and keeps it as if it had been typed. Anything that is
// not one local folder is refused at the drag.
class FolderDropFilter : public QObject
{
    Q_OBJECT
public:
    explicit FolderDropFilter(QLineEdit* field);
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void signal_FolderDropped();

private:
    QLineEdit* m_pField;
};

// A typed or pasted path as the program keeps it: "~" expanded, separators
// and dots cleaned, made absolute. Empty stays empty.
QString NormaliseTypedFolder(const QString& typed);
