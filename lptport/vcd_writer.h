// SPDX-License-Identifier: MIT
// The VCD (value change dump, IEEE 1364) that `lptport capture` writes, for
// PulseView, sigrok-cli and GTKWave: a wire per connector pin, time stamps in
// ns from the first sample. VCD is written here by hand: it is a small text
// format, and Debian packages no C or C++ library that writes it.
#pragma once

#include "port/registers.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace lpt {

/// A change as the sampler saw it: when, and the registers it read.
struct Change {
    std::int64_t t; // ns since the first sample; the first sample's own time on the clock
    std::uint8_t status, data, control;
};

/// An errno value as the middle of a message: "no space left on device".
std::string errnoCause(int err);

class VcdWriter {
public:
    /// Wires for the status inputs S3..S7, and with outputs D0..D7 and C0..C3;
    /// port names the port in the header.
    VcdWriter(std::FILE* out, bool outputs, std::string port);

    /// Writes the wires a change moved under its time stamp. The first change
    /// is the starting state, its time the origin: it comes after the header.
    void change(const Change& c);
    /// The last time stamp, the end of the capture, and the flush.
    void finish(std::int64_t t);
    /// Hands what was put since the last flush to the system; false once
    /// writing has failed.
    bool flush();

    const std::string& error() const { return error_; }
    std::uint64_t changes() const { return changes_; }

private:
    void header(std::int64_t origin);
    void add(Register reg, int bit, const char* signal);
    void stamp(std::int64_t t);
    void put(const std::string& text);
    void fail(int err) { error_ = errnoCause(err ? err : EIO); }

    std::FILE* out_;
    std::string port_;
    std::vector<std::string> labels_;
    std::vector<const ConnectorPin*> pins_;
    bool started_ = false;
    std::uint32_t levels_ = 0;
    std::int64_t last_ = 0;
    std::uint64_t changes_ = 0;
    bool unflushed_ = false;
    std::string error_;
};

} // namespace lpt
