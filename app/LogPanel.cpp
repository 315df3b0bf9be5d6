// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogPanel.h"

#include "ActionLog.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

LogPanel::LogPanel(QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 4, 6, 4);
    auto* bar = new QHBoxLayout;
    m_pFilter = new QLineEdit(this);
    m_pFilter->setObjectName(QStringLiteral("m_CtrlLineEdit_LogFilter"));
    m_pFilter->setPlaceholderText(QStringLiteral("Filter (file, command, result...)"));
    m_pFilter->setClearButtonEnabled(true);
    m_pCopy = new QPushButton(QStringLiteral("Copy"), this);
    m_pCopy->setObjectName(QStringLiteral("m_CtrlButton_LogCopy"));
    m_pReload = new QPushButton(QStringLiteral("Reload"), this);
    m_pReload->setObjectName(QStringLiteral("m_CtrlButton_LogReload"));
    for (QPushButton* b : {m_pCopy, m_pReload})
        b->setMinimumSize(80, 26);
    bar->addWidget(m_pFilter, 1);
    bar->addWidget(m_pCopy);
    bar->addWidget(m_pReload);
    column->addLayout(bar);
    m_pView = new QPlainTextEdit(this);
    m_pView->setObjectName(QStringLiteral("m_CtrlText_Log"));
    m_pView->setReadOnly(true);
    m_pView->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pView->setMinimumHeight(60);
    column->addWidget(m_pView, 1);
    m_pPath = new QLabel(this);
    m_pPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_pPath);

    connect(m_pFilter, &QLineEdit::textChanged, this, &LogPanel::ApplyFilter);
    connect(m_pCopy, &QPushButton::clicked, this, &LogPanel::CopyShown);
    connect(m_pReload, &QPushButton::clicked, this, &LogPanel::Reload);
}

void LogPanel::Reload()
{
    m_slAll.clear();
    const QString path = ActionLog::FilePath();
    for (const QJsonObject& line : ActionLog::ReadAll(path))
        m_slAll.append(ActionLog::Describe(line));
    m_pPath->setText(path);
    ApplyFilter();
}

void LogPanel::ApplyFilter()
{
    const QString filter = m_pFilter->text().trimmed();
    m_slShown.clear();
    for (const QString& line : m_slAll)
        if (filter.isEmpty() || line.contains(filter, Qt::CaseInsensitive))
            m_slShown.append(line);
    m_pView->setPlainText(m_slShown.join(QLatin1Char('\n')));
    m_pView->verticalScrollBar()->setValue(m_pView->verticalScrollBar()->maximum());
}

void LogPanel::CopyShown()
{
    QString selected = m_pView->textCursor().selectedText();
    // A selection spanning lines holds U+2029 between them.
    QApplication::clipboard()->setText(selected.isEmpty() ? m_slShown.join(QLatin1Char('\n'))
                                                          : selected.replace(QChar(0x2029), QLatin1Char('\n')));
}
