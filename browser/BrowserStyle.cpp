// SPDX-License-Identifier: GPL-3.0-or-later
#include "BrowserStyle.h"

#include "BrowserRoles.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPointer>
#include <QStyleFactory>

void QFocuslessStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                    const QWidget* widget) const
{
    if (element == QStyle::PE_FrameFocusRect)
        return;
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void QBrowsingItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    opt.palette.setColor(QPalette::Text, TextColor());
    opt.palette.setColor(QPalette::HighlightedText, TextColor());
    const QModelIndex first = index.sibling(index.row(), 0);
    const bool errorRow = first.isValid() && first.data(kRoleErrorFlag).toBool();
    if (errorRow)
        opt.palette.setColor(QPalette::Highlight, ErrorHighlight());
    // A selected cell with a colour of its own (the coverage class in the
    // first column) keeps it, framed in the selection colour, so selecting
    // takes does not hide how the source covers them.
    const QBrush own = index.data(Qt::BackgroundRole).value<QBrush>();
    if (!errorRow && (opt.state & QStyle::State_Selected) && own.style() != Qt::NoBrush && own.color().alpha() > 0) {
        const QColor frame = opt.palette.color(QPalette::Highlight);
        opt.state &= ~QStyle::State_Selected;
        QStyledItemDelegate::paint(painter, opt, index);
        painter->save();
        painter->setPen(QPen(frame, 3));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(QRectF(option.rect).adjusted(1.5, 1.5, -1.5, -1.5));
        painter->restore();
        return;
    }
    QStyledItemDelegate::paint(painter, opt, index);
}

QMyComboBox::QMyComboBox(QWidget* parent) : QComboBox(parent)
{
    // One style object for every combo, owned by the application so that it
    // outlives the widgets that use it.
    static QPointer<QStyle> windows;
    if (!windows) {
        windows = QStyleFactory::create(QStringLiteral("Windows"));
        if (windows)
            windows->setParent(QCoreApplication::instance());
    }
    if (windows)
        setStyle(windows);
}
