// SPDX-License-Identifier: MIT
#include "diagram/connector_geometry.h"

#include <QLineF>

#include <algorithm>
#include <cmath>

namespace connector {

namespace {

// The pins: upper row centred on y 172, lower on y 205, pin 9 right under
// the D7 box and every upper pin over a gap of the lower row, so that a wire
// can pass between two lower pins straight to an upper one.
constexpr int kUpperY = 172;
constexpr int kLowerY = 205;
constexpr int kPin13X = 220;

// The shell: the face's top row spans x 196..630; each side slants inwards by
// kSlant pixels over the face's 80 rows.
constexpr double kShellLeft = 196, kShellRight = 631, kShellTop = 149, kShellBottom = 229;
constexpr double kSlant = 16;

const lpt::ConnectorPin& pinInfo(int pin) {
    return lpt::connectorPins().at(std::size_t(pin - 1));
}

// The x at which the box `index` (0..8, 8 = the right edge) of a row begins:
// the column of its left border line. The rows are a few pixels different in
// width, so the cells are spread evenly over each.
int borderX(BoxRow row, int index) {
    const QRect in = rowInside(row);
    const int left = in.left() - 1, right = in.right() + 1;
    return left + int(std::lround(index * (right - left) / 8.0));
}

// Where a wire leaves a box: on its top or bottom border line, at the
// middle of the box or dx to the side.
QPoint boxTop(const Box& b, int dx = 0) {
    return {b.inside.center().x() + dx, b.inside.top() - 1};
}
QPoint boxBottom(const Box& b, int dx = 0) {
    return {b.inside.center().x() + dx, b.inside.bottom() + 2};
}

} // namespace

QPoint pinCentre(int pin) {
    if (pin >= 1 && pin <= 13)
        return {kPin13X + kPinPitch * (13 - pin), kUpperY};
    if (pin >= 14 && pin <= 25)
        return {kPin13X + kPinPitch / 2 + kPinPitch * (25 - pin), kLowerY};
    return {};
}

QColor pinColour(int pin) {
    switch (pinInfo(pin).kind) {
    case lpt::PinKind::Input:
        return kInputColour;
    case lpt::PinKind::Output:
        return kOutputColour;
    case lpt::PinKind::Ground:
        break;
    }
    return kGroundColour;
}

QPolygonF shellInside() {
    return QPolygonF{{QPointF(kShellLeft, kShellTop), QPointF(kShellRight, kShellTop),
                      QPointF(kShellRight - kSlant, kShellBottom),
                      QPointF(kShellLeft + kSlant, kShellBottom)}};
}

QPolygonF shellOutside() {
    // Each slanted side moved outwards by the outline's width, measured
    // square to the side, not along the row.
    const double height = kShellBottom - kShellTop;
    const double across = kShellOutline * std::hypot(height, kSlant) / height;
    const double slope = kSlant / height; // inwards per row
    const double top = kShellTop - kShellOutline, bottom = kShellBottom + kShellOutline;
    const auto leftAt = [&](double y) { return kShellLeft - across + (y - kShellTop) * slope; };
    const auto rightAt = [&](double y) { return kShellRight + across - (y - kShellTop) * slope; };
    return QPolygonF{{QPointF(leftAt(top), top), QPointF(rightAt(top), top),
                      QPointF(rightAt(bottom), bottom), QPointF(leftAt(bottom), bottom)}};
}

QString Box::name() const {
    return pin == 0
               ? QString()
               : QString::fromLatin1(pinInfo(pin).name.data(), qsizetype(pinInfo(pin).name.size()));
}

bool Box::barred() const {
    return pin != 0 && pinInfo(pin).inverted;
}

QRect rowInside(BoxRow row) {
    switch (row) {
    case BoxRow::Data:
        return QRect(QPoint(333, 100), QPoint(587, 131));
    case BoxRow::Status:
        return QRect(QPoint(204, 246), QPoint(460, 277));
    case BoxRow::Control:
        break;
    }
    return QRect(QPoint(366, 295), QPoint(619, 326));
}

std::array<Box, 8> boxes(BoxRow row) {
    // The pins named by each row, left to right; 0 leaves a box empty.
    static constexpr std::array<int, 8> data{9, 8, 7, 6, 5, 4, 3, 2};        // D7..D0
    static constexpr std::array<int, 8> status{11, 10, 12, 13, 15, 0, 0, 0}; // S7..S3
    static constexpr std::array<int, 8> control{0, 0, 0, 0, 17, 16, 14, 1};  // C3..C0
    const auto& pins = row == BoxRow::Data ? data : row == BoxRow::Status ? status : control;
    const QRect in = rowInside(row);
    std::array<Box, 8> result;
    for (int k = 0; k < 8; ++k)
        result[std::size_t(k)] = Box{QRect(QPoint(borderX(row, k) + 1, in.top()),
                                           QPoint(borderX(row, k + 1) - 1, in.bottom())),
                                     pins[std::size_t(k)]};
    return result;
}

QList<Wire> wires() {
    const auto d = boxes(BoxRow::Data);
    const auto s = boxes(BoxRow::Status);
    const auto c = boxes(BoxRow::Control);
    const auto at = [](int pin) { return pinCentre(pin); };

    QList<Wire> all;
    // D7..D0 hang straight down onto pins 9..2.
    for (const Box& b : d)
        all.append({b.pin, {boxBottom(b), QPoint(boxBottom(b).x(), at(b.pin).y())}});

    // The status wires cross over: the boxes read S7 S6 S5 S4 S3 but the pins
    // under them are S4 S5 S7 S6. S4 and S5 leave their boxes downwards and
    // come round the left end of the row and the shell, S4 into pin 13 from the
    // side, S5 along the channel between the pin rows; S7 and S6 climb to their
    // pins on two levels under the lower row, the one further left higher, so
    // no two status wires cross.
    const QPoint s7 = boxTop(s[0], 8), s6 = boxTop(s[1], 8);
    const QPoint s5 = boxBottom(s[2]), s4 = boxBottom(s[3]);
    const QPoint s3 = boxTop(s[4]);
    constexpr int channelY = 188; // the rows 187..188, midway between the pin rows
    all.append({11, {s7, {s7.x(), 219}, {at(11).x(), 219}, at(11)}});
    all.append({10, {s6, {s6.x(), 238}, {at(10).x(), 238}, at(10)}});
    all.append(
        {12, {s5, {s5.x(), 287}, {190, 287}, {190, channelY}, {at(12).x(), channelY}, at(12)}});
    all.append({13, {s4, {s4.x(), 293}, {184, 293}, {184, at(13).y()}, at(13)}});
    // S3 climbs between two lower pins and runs along the channel to pin 15,
    // which sits between the control pins 16 and 14 whose wires come from below.
    all.append({15, {s3, {s3.x(), channelY}, {at(15).x(), channelY}, at(15)}});

    // C3, C2 and C1 step sideways by half a pitch onto their lower pins; C0's
    // box is right under pin 1.
    constexpr int controlStepY = 254;
    for (const Box& b : c) {
        if (b.pin == 0)
            continue;
        const QPoint from = boxTop(b);
        const QPoint pin = at(b.pin);
        if (std::abs(from.x() - pin.x()) <= 1)
            all.append({b.pin, {from, QPoint(from.x(), pin.y())}});
        else
            all.append({b.pin, {from, {from.x(), controlStepY}, {pin.x(), controlStepY}, pin}});
    }
    std::sort(all.begin(), all.end(), [](const Wire& a, const Wire& b) { return a.pin < b.pin; });
    return all;
}

} // namespace connector
