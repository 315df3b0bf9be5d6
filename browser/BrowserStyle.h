// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>
#include <QProxyStyle>
#include <QStyledItemDelegate>

// Draws every primitive of the platform style except the focus frame, so no
// focus rectangle appears on table cells.
class QFocuslessStyle : public QProxyStyle
{
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

// Yellow cell text; a selected row whose first item carries the error flag is
// highlighted red.
class QBrowsingItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static QColor TextColor() { return QColor(255, 253, 0); }
    static QColor ErrorHighlight() { return QColor(200, 60, 60); }
};

// The target-track combo: drawn with the "Windows" platform style.
class QMyComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit QMyComboBox(QWidget* parent = nullptr);
};
