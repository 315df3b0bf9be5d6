// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class QComboBox;
class QGridLayout;

// The channel of a multichannel source that a create uses: a small combo
// beside the track combo, shown only while the selected source has more than
// one channel. GUI thread only.
class SourceChannelChoice : public QObject
{
    Q_OBJECT
public:
    // Moves `trackCombo` and the new channel combo together into the track
    // combo's cell of `grid`.
    SourceChannelChoice(QGridLayout* grid, QComboBox* trackCombo, QObject* parent = nullptr);

    // Reads the source's header: more than one channel shows "Ch 1" ... "Ch N"
    // (the first chosen); anything else hides the combo.
    void ShowFor(const QString& sourcePath);

    // 1-based channel while the combo is shown; 0 (a mono source) otherwise.
    int Channel() const;

    QComboBox* Combo() const { return m_combo; }

private:
    QComboBox* m_combo = nullptr;
};
