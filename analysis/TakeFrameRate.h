// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QSoundFile;

// The frame rate a file carries, in frames per second (29.97 as 30000/1001):
// from the film chunk's frame-rate code, else the bext "aSPEED=" line, else
// the iXML TIMECODE_RATE. Null when the file carries none: no rate is assumed.
std::optional<double> FrameRateOfFilmCode(const QByteArray& code);
std::optional<double> FrameRateOfSpeedLine(const QString& speed);
std::optional<double> FrameRateOfIxmlRate(const QString& rate);
// The iXML document must have been parsed (GetiXMLFileInfos) for the last source.
std::optional<double> FrameRateOfFile(const QSoundFile& file);
