// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The action log as the user reads it: newest line last, a filter that keeps
// the lines containing its text (any case), and Copy (the selection, or every
// line shown). Reads the file on Reload only; it never writes it.
class LogPanel : public QWidget
{
    Q_OBJECT
public:
    explicit LogPanel(QWidget* parent = nullptr);

    QStringList ShownLines() const { return m_slShown; }
    QLineEdit* FilterEdit() const { return m_pFilter; }

public slots:
    void Reload();
    void ApplyFilter();
    void CopyShown();

private:
    QLabel* m_pPath = nullptr;
    QLineEdit* m_pFilter = nullptr;
    QPlainTextEdit* m_pView = nullptr;
    QPushButton* m_pCopy = nullptr;
    QPushButton* m_pReload = nullptr;
    QStringList m_slAll;
    QStringList m_slShown;
};
