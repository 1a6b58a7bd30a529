// SPDX-License-Identifier: MIT
#include "lptport/selftest.h"

#include <algorithm>

namespace lpt {

namespace {

// Control bit 5 turns the data lines into inputs on a bidirectional port; the
// walk needs them driven.
constexpr int kDirectionBit = 0x20;
constexpr int kWalkedLines = 0x1F;

// Pin level of the input of a wire for a status value (BUSY inverted).
int inputLevel(const LoopbackWire& wire, int status) {
    return ((status ^ kStatusInverted) >> wire.statusBit) & 1;
}

std::string wireName(const LoopbackWire& wire) {
    return "D" + std::to_string(wire.dataBit) + " pin " + std::to_string(wire.outPin) + " -> S" +
           std::to_string(wire.statusBit) + " pin " + std::to_string(wire.inPin);
}

std::string stateText(const WireResult& r) {
    switch (r.state) {
    case WireState::Good:
        return "good";
    case WireState::StuckLow:
        return "stuck low";
    case WireState::StuckHigh:
        return "stuck high";
    case WireState::Crossed: {
        const auto& other = kLoopbackWires[static_cast<std::size_t>(r.follows)];
        return "crossed: follows D" + std::to_string(other.dataBit) + " pin " +
               std::to_string(other.outPin);
    }
    case WireState::Faulty:
        break;
    }
    return "faulty: follows no single data line";
}

// Reads a register back, or nothing when this port cannot.
std::optional<int> readBack(Driver& port, Register reg) {
    try {
        return port.read(reg);
    } catch (const PortError&) {
        return std::nullopt;
    }
}

} // namespace

std::vector<int> loopbackPatterns() {
    std::vector<int> patterns{0x00, kWalkedLines};
    for (const auto& wire : kLoopbackWires)
        patterns.push_back(1 << wire.dataBit);
    for (const auto& wire : kLoopbackWires)
        patterns.push_back(kWalkedLines & ~(1 << wire.dataBit));
    return patterns;
}

LoopbackResults judgeWires(std::span<const int> patterns, std::span<const int> statuses) {
    const std::size_t n = std::min(patterns.size(), statuses.size());
    // What each data line drove and what each input read, one bit per pattern.
    auto driven = [&](const LoopbackWire& wire) {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < n; ++i)
            v |= static_cast<std::uint32_t>((patterns[i] >> wire.dataBit) & 1) << i;
        return v;
    };
    auto read = [&](const LoopbackWire& wire) {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < n; ++i)
            v |= static_cast<std::uint32_t>(inputLevel(wire, statuses[i])) << i;
        return v;
    };
    const std::uint32_t allHigh = n >= 32 ? ~0u : (1u << n) - 1;

    LoopbackResults results{};
    for (std::size_t w = 0; w < kLoopbackWires.size(); ++w) {
        const std::uint32_t in = read(kLoopbackWires[w]);
        WireResult& r = results[w];
        if (in == driven(kLoopbackWires[w])) {
            r.state = WireState::Good;
        } else if (in == 0) {
            r.state = WireState::StuckLow;
        } else if (in == allHigh) {
            r.state = WireState::StuckHigh;
        } else {
            r.state = WireState::Faulty;
            for (std::size_t o = 0; o < kLoopbackWires.size(); ++o)
                if (o != w && in == driven(kLoopbackWires[o]))
                    r = {WireState::Crossed, static_cast<int>(o)};
        }
    }
    return results;
}

LoopbackResults walkLoopback(const std::function<int(int)>& statusAfter) {
    const std::vector<int> patterns = loopbackPatterns();
    std::vector<int> statuses;
    for (int p : patterns)
        statuses.push_back(statusAfter(p));
    return judgeWires(patterns, statuses);
}

bool SelftestOutcome::allGood() const {
    return std::all_of(wires.begin(), wires.end(),
                       [](const WireResult& r) { return r.state == WireState::Good; });
}

SelftestOutcome runSelftest(Driver& port) {
    SelftestOutcome outcome;
    outcome.data = readBack(port, Register::Data);
    outcome.control = readBack(port, Register::Control);
    if (outcome.control && (*outcome.control & kDirectionBit)) {
        port.write(Register::Control, static_cast<std::uint8_t>(*outcome.control & ~kDirectionBit));
        outcome.controlChanged = true;
    }
    outcome.wires = walkLoopback([&](int pattern) {
        port.write(Register::Data, static_cast<std::uint8_t>(pattern));
        return static_cast<int>(port.read(Register::Status));
    });
    port.write(Register::Data, static_cast<std::uint8_t>(outcome.data.value_or(0)));
    if (outcome.controlChanged)
        port.write(Register::Control, static_cast<std::uint8_t>(*outcome.control));
    return outcome;
}

std::vector<std::string> selftestReport(const SelftestOutcome& outcome) {
    std::vector<std::string> lines;
    int good = 0;
    for (std::size_t w = 0; w < kLoopbackWires.size(); ++w) {
        lines.push_back(wireName(kLoopbackWires[w]) + ": " + stateText(outcome.wires[w]));
        good += outcome.wires[w].state == WireState::Good;
    }
    const int total = static_cast<int>(kLoopbackWires.size());
    lines.push_back("selftest: " + std::to_string(good) + " of " + std::to_string(total) +
                    " wires good" + (good == total ? "" : ", the plug or the port is faulty"));

    std::string left = "port: ";
    left += outcome.data ? "data restored to " + std::to_string(*outcome.data)
                         : "data left at 0 (this port cannot read it back)";
    if (!outcome.control)
        left += ", control not read back and not changed";
    else if (outcome.controlChanged)
        left += ", control restored to " + std::to_string(*outcome.control);
    else
        left += ", control unchanged at " + std::to_string(*outcome.control);
    lines.push_back(left);
    return lines;
}

} // namespace lpt
