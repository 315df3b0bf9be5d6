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
    if (first.isValid() && first.data(kRoleErrorFlag).toBool())
        opt.palette.setColor(QPalette::Highlight, ErrorHighlight());
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
