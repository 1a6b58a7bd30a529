// SPDX-License-Identifier: MIT
#include "port/registers.h"

namespace lpt {

std::optional<Register> registerAt(int address) {
    switch (address) {
    case kDataPort:
        return Register::Data;
    case kStatusPort:
        return Register::Status;
    case kControlPort:
        return Register::Control;
    default:
        return std::nullopt;
    }
}

std::string_view registerName(Register reg) {
    switch (reg) {
    case Register::Data:
        return "data";
    case Register::Status:
        return "status";
    case Register::Control:
        return "control";
    }
    return "?";
}

std::array<int, 8> decodeStatus(int statusValue) {
    const int bits = (statusValue & 0xFF) ^ kStatusInverted;
    std::array<int, 8> levels{};
    for (int k = 0; k < 8; ++k)
        levels[k] = (bits >> k) & 1;
    return levels;
}

const std::array<ConnectorPin, 25>& connectorPins() {
    using enum PinKind;
    using R = Register;
    static const std::array<ConnectorPin, 25> pins{{
        {1, Output, R::Control, 0, true, "C0"},  {2, Output, R::Data, 0, false, "D0"},
        {3, Output, R::Data, 1, false, "D1"},    {4, Output, R::Data, 2, false, "D2"},
        {5, Output, R::Data, 3, false, "D3"},    {6, Output, R::Data, 4, false, "D4"},
        {7, Output, R::Data, 5, false, "D5"},    {8, Output, R::Data, 6, false, "D6"},
        {9, Output, R::Data, 7, false, "D7"},    {10, Input, R::Status, 6, false, "S6"},
        {11, Input, R::Status, 7, true, "S7"},   {12, Input, R::Status, 5, false, "S5"},
        {13, Input, R::Status, 4, false, "S4"},  {14, Output, R::Control, 1, true, "C1"},
        {15, Input, R::Status, 3, false, "S3"},  {16, Output, R::Control, 2, false, "C2"},
        {17, Output, R::Control, 3, true, "C3"}, {18, Ground, R::Data, -1, false, "GND"},
        {19, Ground, R::Data, -1, false, "GND"}, {20, Ground, R::Data, -1, false, "GND"},
        {21, Ground, R::Data, -1, false, "GND"}, {22, Ground, R::Data, -1, false, "GND"},
        {23, Ground, R::Data, -1, false, "GND"}, {24, Ground, R::Data, -1, false, "GND"},
        {25, Ground, R::Data, -1, false, "GND"},
    }};
    return pins;
}

int pinLevel(const ConnectorPin& pin, int data, int status, int control) {
    if (pin.kind == PinKind::Ground)
        return 0;
    const int value = pin.reg == Register::Data     ? data
                      : pin.reg == Register::Status ? status
                                                    : control;
    const int bit = (value >> pin.bit) & 1;
    return pin.inverted ? bit ^ 1 : bit;
}

} // namespace lpt
