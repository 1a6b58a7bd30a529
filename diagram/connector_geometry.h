// SPDX-License-Identifier: MIT
// Where everything sits on the connector picture, in the picture's pixels
// counted from its top-left corner. The program that draws the picture and the
// tests that check it both work from these functions.
//
// Points are pixel corners: a pin centred on (x, y) covers the pixels x-8..x+7
// and y-8..y+7, and a wire through (x, y) is two pixels wide, covering columns
// x-1 and x (or rows y-1 and y).
#pragma once

#include "port/registers.h"

#include <QColor>
#include <QList>
#include <QPoint>
#include <QPolygonF>
#include <QRect>
#include <QString>

#include <array>

namespace connector {

inline constexpr int kWidth = 646;
inline constexpr int kHeight = 375;
inline constexpr int kPinDiameter = 16;
inline constexpr int kPinPitch = 32;
inline constexpr int kWireWidth = 2;
inline constexpr int kShellOutline = 2; // black border around the white shell

inline const QColor kBackground{238, 238, 221};
inline const QColor kInputColour{255, 0, 0};
inline const QColor kOutputColour{0, 0, 255};
inline const QColor kGroundColour{0, 255, 0};
inline const QColor kGroundTextColour{0, 160, 0}; // the legend line about the grounds

/// Centre of pin 1..25. Upper row 13..1 left to right, lower row 25..14 set
/// between the pins above.
QPoint pinCentre(int pin);
/// Red for inputs, blue for outputs, bright green for grounds.
QColor pinColour(int pin);

/// The white face of the shell: a trapezoid, long side at the top, filling
/// x 196..630 on its top row and y 149..228.
QPolygonF shellInside();
/// The shell's outer edge; the band between it and shellInside() is black.
QPolygonF shellOutside();

/// One of the 24 register boxes: 32-pixel cells in three rows of eight that
/// share their border lines.
struct Box {
    QRect inside;         ///< the white area inside the box's border lines
    int pin;              ///< the pin the box names and is wired to, 0 for an empty box
    QString name() const; ///< "D7", "S7", ... or empty
    bool barred() const;  ///< the pin level is the complement of the register bit
};
enum class BoxRow { Data, Status, Control };
/// The area inside the outer border of a row: Data x 333..587 y 100..131,
/// Status x 204..460 y 246..277, Control x 366..619 y 295..326.
QRect rowInside(BoxRow row);
/// The eight boxes of a row, left to right.
std::array<Box, 8> boxes(BoxRow row);

/// A wire from a named box to its pin, in the pin's colour: a path of
/// horizontal and vertical steps that starts on the box's border line and
/// ends at the pin's centre (the pin is drawn over its end).
struct Wire {
    int pin;
    QList<QPoint> path;
};
/// The 17 wires, one for every pin that is not ground, in pin order.
QList<Wire> wires();

} // namespace connector
