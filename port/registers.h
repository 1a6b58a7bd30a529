// SPDX-License-Identifier: MIT
// The parallel port's register map and the rules that turn logical pin levels
// into register values and back. The port hardware drives the pins of C0, C1
// and C3 at the complement of their register bits and reports the BUSY pin (S7)
// as the complement of its level; every other bit equals its pin's level.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lpt {

inline constexpr int kDataPort = 0x378;    // written: D0..D7
inline constexpr int kStatusPort = 0x379;  // read: S0..S7
inline constexpr int kControlPort = 0x37A; // written: C0..C3

enum class Register { Data = 0, Status = 1, Control = 2 };

/// The register at a port address, or nothing for an address outside 0x378..0x37A.
std::optional<Register> registerAt(int address);
std::string_view registerName(Register reg); // "data", "status", "control"

/// All outputs at one level: the compositions of all logical bits 1 and all 0.
inline constexpr int kAllOnesData = 255;
inline constexpr int kAllOnesControl = 4;
inline constexpr int kAllZerosData = 0;
inline constexpr int kAllZerosControl = 11;

/// Pin levels of S0..S7 (1 = high) from a status register value.
std::array<int, 8> decodeStatus(int statusValue);
/// Control register bits whose pin level is the complement of the bit: C0, C1, C3.
inline constexpr int kControlInverted = 0x0B;
/// Status register bits whose pin level is the complement of the bit: S7.
inline constexpr int kStatusInverted = 0x80;

/// One wire of the common loopback plug (pins 2->15, 3->13, 4->12, 5->10,
/// 6->11): the data bit that drives it and the status bit that reads it, with
/// their connector pins.
struct LoopbackWire {
    int dataBit;
    int statusBit;
    int outPin;
    int inPin;
};
inline constexpr std::array<LoopbackWire, 5> kLoopbackWires{{
    {0, 3, 2, 15},
    {1, 4, 3, 13},
    {2, 5, 4, 12},
    {3, 6, 5, 10},
    {4, 7, 6, 11},
}};

/// Where a signal sits on the 25-way connector.
enum class PinKind { Output, Input, Ground };
struct ConnectorPin {
    int pin; // 1..25
    PinKind kind;
    Register reg;          // meaningful unless kind == Ground
    int bit;               // register bit, -1 for ground
    bool inverted;         // pin level is the complement of the register bit
    std::string_view name; // "D0", "C0", "S7", "GND"
};
/// The 25 pins in pin order (index = pin - 1).
const std::array<ConnectorPin, 25>& connectorPins();
/// Level of a pin (0/1) given the three register values; ground pins read 0.
int pinLevel(const ConnectorPin& pin, int data, int status, int control);

} // namespace lpt
