// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// "%2.2d:%2.2d:%2.2d:%2.2d" of a frame count, or "--:--:--:--" below 1 fps.
QString GetTimeCode(unsigned long frames, short framesPerSecond);

// Signed number in four digit groups: 1234567 -> " 0,001,234,567".
QString Long64ToString(qint64 value);
