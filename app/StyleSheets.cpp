// SPDX-License-Identifier: GPL-3.0-or-later
#include "StyleSheets.h"

QString MessageBoxStyleSheet(int buttonWidth)
{
    return QStringLiteral("QPushButton{ color: #ffffff; border: 1px solid #302F2F; border-radius: 4px; "
                          "background-color: #404040; width:%1px; height:30px; font-size: 14px;}"
                          "QLabel{font-size: 14px;}"
                          "QMessageBox::title {text-align: left; background: lightgray; padding-left: 5px;}")
        .arg(buttonWidth);
}

QString MainWindowStyleSheet()
{
    return QStringLiteral(
        "QWidget { background-color: #606060; color: #ffffff; }"
        "QMainWindow, QMenuBar, QToolBar, QStatusBar { background-color: #606060; }"
        "QPushButton { color: #ffffff; background-color: #404040; border: 1px solid #302F2F;"
        " border-radius: 4px; padding: 2px 1px; }"
        "QPushButton:hover { border: 1px solid #02B8CC; }"
        "QPushButton:pressed { background-color: #303030; }"
        "QPushButton:disabled { color: #2a2a2a; background-color: #5a5a5a; }"
        "QLineEdit { color: #ffffff; background-color: #404040; border: 1px solid #cfcfcf;"
        " border-radius: 2px; padding: 1px; }"
        "QLineEdit:disabled { color: #a0a0a0; background-color: #505050; border: 1px solid #8a8a8a; }"
        "QGroupBox { border: 1px solid #cfcfcf; border-radius: 4px; margin-top: 10px; color: #cfcfcf; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 8px;"
        " padding: 0 3px; color: #cfcfcf; }"
        "QTableWidget, QTableView { background-color: #707070; color: #FFFD00;"
        " selection-background-color: #02859a; }"
        "QHeaderView::section { background-color: #505050; color: #ffffff; border: 0px;"
        " border-right: 1px solid #606060; padding: 1px; }"
        "QProgressBar { background-color: #5a5a5a; border: 1px solid #3a3a3a; border-radius: 2px;"
        " color: #ffffff; text-align: center; }"
        "QProgressBar::chunk { background-color: #3a3a3a; }"
        "QComboBox { color: #ffffff; background-color: #404040; border: 1px solid #302F2F;"
        " border-radius: 4px; padding-left: 6px; }"
        "QComboBox:hover { border: 1px solid #02B8CC; }"
        "QComboBox::drop-down { border: 0px; width: 18px; }"
        "QComboBox::down-arrow { image: url(:/res/Resources/down_arrow.svg); width: 10px; height: 10px; }"
        "QComboBox QAbstractItemView { background-color: #404040; color: #ffffff;"
        " selection-background-color: #02859a; }"
        "QScrollBar:vertical { background: #505050; width: 12px; }"
        "QScrollBar:horizontal { background: #505050; height: 12px; }"
        "QScrollBar::handle { background: #808080; border-radius: 3px; }"
        "QScrollBar::up-arrow { image: url(:/res/Resources/up_arrow.svg); }"
        "QScrollBar::down-arrow { image: url(:/res/Resources/down_arrow.svg); }"
        "QScrollBar::left-arrow { image: url(:/res/Resources/left_arrow.svg); }"
        "QScrollBar::right-arrow { image: url(:/res/Resources/right_arrow.svg); }"
        "QCheckBox::indicator:unchecked { image: url(:/res/Resources/checkbox_unchecked.svg); }"
        "QCheckBox::indicator:checked { image: url(:/res/Resources/checkbox_checked.svg); }"
        "QRadioButton::indicator:unchecked { image: url(:/res/Resources/radio_unchecked.svg); }"
        "QRadioButton::indicator:checked { image: url(:/res/Resources/radio_checked.svg); }"
        "QSlider::groove:horizontal { height: 4px; background: #3a3a3a; }"
        "QSlider::handle:horizontal { image: url(:/res/Resources/fader.svg); width: 14px; margin: -8px 0; }"
        "QLabel { background-color: transparent; color: #ffffff; }");
}
