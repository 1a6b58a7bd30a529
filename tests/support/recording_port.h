// SPDX-License-Identifier: MIT
// A port driver for tests: it records every register access in order and
// answers status reads from a value the test sets.
#pragma once

#include "port/driver.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lpt::test {

struct Access {
    enum Kind { Write, Read } kind;
    Register reg;
    int value; // written, or returned by the read
};

class RecordingPort final : public Driver {
public:
    struct State {
        std::vector<Access> accesses;
        int status = 0x7F;
        int reads = 0; // of the status register
    };

    /// Installs a fresh recording port as the open port and returns its
    /// state, which stays valid until the next install.
    static std::shared_ptr<State> install() {
        auto state = std::make_shared<State>();
        installDriver(std::unique_ptr<Driver>(new RecordingPort(state)));
        return state;
    }

    std::string description() const override { return "recording port"; }
    void write(Register reg, std::uint8_t value) override {
        state_->accesses.push_back({Access::Write, reg, value});
        written_[static_cast<int>(reg)] = value;
    }
    std::uint8_t read(Register reg) override {
        const int v = reg == Register::Status ? state_->status : written_[static_cast<int>(reg)];
        state_->reads += reg == Register::Status;
        state_->accesses.push_back({Access::Read, reg, v});
        return static_cast<std::uint8_t>(v);
    }

private:
    explicit RecordingPort(std::shared_ptr<State> s) : state_(std::move(s)) {}
    std::shared_ptr<State> state_;
    int written_[3] = {}; // data and control read back what was last written
};

} // namespace lpt::test
