// SPDX-License-Identifier: MIT
#include "lptport/vcd_writer.h"

#include "lptport/watch.h"
#include "port/driver.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>

namespace lpt {

namespace {

/// The connector pin of a register bit.
const ConnectorPin& pinOf(Register reg, int bit) {
    for (const ConnectorPin& pin : connectorPins())
        if (pin.kind != PinKind::Ground && pin.reg == reg && pin.bit == bit)
            return pin;
    return connectorPins()[0]; // every bit asked for below has its pin
}

/// The signal names of the status inputs S3..S7 and the control outputs C0..C3.
constexpr std::array<const char*, 5> kStatusSignals{"ERROR", "SELECT_IN", "PAPER_END", "ACK",
                                                    "BUSY"};
constexpr std::array<const char*, 4> kControlSignals{"STROBE", "AutoFD", "INIT", "Select"};

std::string id(std::size_t i) {
    return std::string(1, static_cast<char>('a' + i));
}

} // namespace

std::string errnoCause(int err) {
    std::string text = describeErrno(err);
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

VcdWriter::VcdWriter(std::FILE* out, bool outputs, std::string port)
    : out_(out), port_(std::move(port)) {
    for (int bit = 3; bit < 8; ++bit)
        add(Register::Status, bit, kStatusSignals[static_cast<std::size_t>(bit - 3)]);
    for (int bit = 0; outputs && bit < 8; ++bit)
        add(Register::Data, bit, nullptr);
    for (int bit = 0; outputs && bit < 4; ++bit)
        add(Register::Control, bit, kControlSignals[static_cast<std::size_t>(bit)]);
}

/// The definitions. Time 0 is the first sample, at `origin` on the monotonic
/// clock, which lets a capture be lined up with other records.
void VcdWriter::header(std::int64_t origin) {
    // Local time, as watch stamps its lines.
    put("$date\n\t" + watchTimestamp(std::chrono::system_clock::now()) + "\n$end\n");
    put("$version\n\tlptpanel " LPTPANEL_VERSION " (lptport capture)\n$end\n");
    put("$comment\n\tport: " + port_ + "; connector pin levels; time 0 is the monotonic clock at " +
        std::to_string(origin) + " ns\n$end\n");
    put("$timescale 1 ns $end\n$scope module lpt $end\n");
    for (std::size_t i = 0; i < labels_.size(); ++i)
        put("$var wire 1 " + id(i) + " " + labels_[i] + " $end\n");
    put("$upscope $end\n$enddefinitions $end\n");
}

void VcdWriter::change(const Change& c) {
    std::uint32_t levels = 0;
    for (std::size_t i = 0; i < pins_.size(); ++i)
        levels |= static_cast<std::uint32_t>(pinLevel(*pins_[i], c.data, c.status, c.control)) << i;
    if (!started_) {
        header(c.t);
        put("#0\n$dumpvars\n");
        for (std::size_t i = 0; i < pins_.size(); ++i)
            put(std::string(1, (levels >> i) & 1 ? '1' : '0') + id(i) + "\n");
        put("$end\n");
        started_ = true;
        levels_ = levels;
        return;
    }
    if (levels == levels_)
        return; // a register bit with no pin on the connector changed
    stamp(c.t);
    for (std::size_t i = 0; i < pins_.size(); ++i)
        if (((levels ^ levels_) >> i) & 1)
            put(std::string(1, (levels >> i) & 1 ? '1' : '0') + id(i) + "\n");
    levels_ = levels;
    ++changes_;
}

void VcdWriter::finish(std::int64_t t) {
    stamp(std::max(t, last_ + 1));
    flush();
}

bool VcdWriter::flush() {
    if (error_.empty() && unflushed_ && std::fflush(out_) != 0)
        fail(errno);
    unflushed_ = false;
    return error_.empty();
}

/// A wire per pin, named by register bit, signal and pin: "S7_BUSY_pin11", "D0_pin2".
void VcdWriter::add(Register reg, int bit, const char* signal) {
    const ConnectorPin& pin = pinOf(reg, bit);
    pins_.push_back(&pin);
    labels_.push_back(std::string(pin.name) + (signal ? "_" + std::string(signal) : "") + "_pin" +
                      std::to_string(pin.pin));
}

void VcdWriter::stamp(std::int64_t t) {
    if (t <= last_)
        return; // two changes within one nanosecond share their stamp
    put("#" + std::to_string(t) + "\n");
    last_ = t;
}

void VcdWriter::put(const std::string& text) {
    if (!error_.empty())
        return;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), out_) != text.size())
        fail(errno);
    unflushed_ = true;
}

} // namespace lpt
