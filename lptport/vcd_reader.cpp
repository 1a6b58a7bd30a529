// SPDX-License-Identifier: MIT
#include "lptport/vcd_reader.h"

#include "port/driver.h"
#include "port/registers.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>

namespace lpt {

namespace {

// A pin a wire drives: its register and bit; index 0..7 data, 8..11 control.
constexpr int kPins = 12;

std::string pinName(int pin) {
    return (pin < 8 ? "D" : "C") + std::to_string(pin % 8);
}

/// The pin a wire name drives: "D0".."D7", "C0".."C3", alone or before an underscore.
std::optional<int> pinOfName(std::string_view name) {
    if (name.size() < 2 || (name[0] != 'D' && name[0] != 'C') || name[1] < '0' || name[1] > '7' ||
        (name.size() > 2 && name[2] != '_'))
        return std::nullopt;
    const int bit = name[1] - '0';
    if (name[0] == 'C' && bit > 3)
        return std::nullopt;
    return name[0] == 'D' ? bit : 8 + bit;
}

/// Splits a file into lines without holding more than a chunk of it.
class Lines {
public:
    explicit Lines(std::FILE* in) : in_(in) {}

    /// The next line, without its end; false at the end of the file. A read
    /// error throws.
    bool next(std::string& line) {
        line.clear();
        for (;;) {
            if (pos_ == len_) {
                len_ = std::fread(buffer_, 1, sizeof buffer_, in_);
                pos_ = 0;
                if (len_ == 0) {
                    if (std::ferror(in_))
                        throw VcdError(0, "cannot read it: " + describeErrno(errno ? errno : EIO));
                    if (line.empty() && !partial_)
                        return false;
                    partial_ = false;
                    ++number_;
                    return true;
                }
            }
            const char* start = buffer_ + pos_;
            const char* end = static_cast<const char*>(std::memchr(start, '\n', len_ - pos_));
            const std::size_t n = end ? static_cast<std::size_t>(end - start) : len_ - pos_;
            line.append(start, n);
            pos_ += n + (end ? 1 : 0);
            partial_ = !end;
            if (line.size() > kLongest)
                throw VcdError(number_ + 1, "a line longer than 1 MiB: not a VCD file");
            if (end) {
                ++number_;
                return true;
            }
        }
    }
    long number() const { return number_; }

private:
    static constexpr std::size_t kLongest = 1 << 20;
    std::FILE* in_;
    char buffer_[1 << 16];
    std::size_t pos_ = 0, len_ = 0;
    bool partial_ = false;
    long number_ = 0;
};

class Reader {
public:
    explicit Reader(std::FILE* in) : lines_(in) {}

    PlayPlan read() {
        std::string line;
        while (lines_.next(line)) {
            for (char c : line)
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' && c != '\f' &&
                    c != '\v')
                    fail("binary data: not a VCD file");
            std::size_t i = 0;
            if (!seenToken_ &&
                line.starts_with("META ")) // sigrok-cli's first line when it converts
                continue;
            while (i < line.size()) {
                while (i < line.size() && isBlank(line[i]))
                    ++i;
                std::size_t j = i;
                while (j < line.size() && !isBlank(line[j]))
                    ++j;
                if (j > i)
                    token(std::string_view(line).substr(i, j - i));
                i = j;
            }
        }
        if (!block_.empty())
            throw VcdError(lines_.number(), "the file ends inside " + block_ + " (opened on line " +
                                                std::to_string(blockLine_) + "): it is cut short");
        if (!seenToken_)
            throw VcdError(0, "the file is empty: not a VCD file");
        if (!body_)
            throw VcdError(lines_.number(),
                           "the file ends before $enddefinitions: it is cut short");
        if (pendingVector_)
            fail("the file ends after a vector value, before its wire: it is cut short");
        flush();
        plan_.endNs = std::max(plan_.endNs, now_);
        return std::move(plan_);
    }

private:
    static bool isBlank(char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
    }

    [[noreturn]] void fail(const std::string& why) { throw VcdError(lines_.number(), why); }

    void token(std::string_view t) {
        if (!seenToken_ && t[0] != '$')
            fail("it starts with '" + std::string(t.substr(0, 40)) +
                 "', where a VCD starts with a $ keyword ($date, $timescale, $var ...): not a "
                 "VCD file");
        seenToken_ = true;
        if (!block_.empty()) {
            if (t == "$end")
                endBlock();
            else if (collect_)
                args_.emplace_back(t);
            return;
        }
        if (pendingVector_) {
            pendingVector_ = false;
            vectorValue(vector_, t);
            return;
        }
        if (t[0] == '$') {
            keyword(t);
            return;
        }
        if (!body_)
            fail("'" + std::string(t) + "' in the definitions, outside any $ keyword");
        if (dumpoff_)
            return; // the values of $dumpoff are all x: nothing to play
        switch (t[0]) {
        case '#':
            time(t.substr(1));
            break;
        case '0':
        case '1':
        case 'x':
        case 'X':
        case 'z':
        case 'Z':
            scalar(t[0], t.substr(1));
            break;
        case 'b':
        case 'B':
        case 'r':
        case 'R':
            vector_ = std::string(t);
            pendingVector_ = true;
            break;
        default:
            fail("'" + std::string(t) + "' is neither a time stamp (#N) nor a value change");
        }
    }

    void keyword(std::string_view k) {
        if (k == "$end") {
            if (!dump_.empty()) {
                dump_.clear();
                dumpoff_ = false;
                return;
            }
            fail("$end without a keyword to close");
        }
        if (k == "$dumpvars" || k == "$dumpall" || k == "$dumpon" || k == "$dumpoff") {
            if (!body_)
                fail(std::string(k) + " before $enddefinitions");
            dump_ = k;
            dumpoff_ = k == "$dumpoff";
            return;
        }
        static const std::string_view kHeader[] = {"$timescale", "$scope", "$upscope", "$var",
                                                   "$enddefinitions"};
        const bool header =
            std::find(std::begin(kHeader), std::end(kHeader), k) != std::end(kHeader);
        if (header && body_)
            fail(std::string(k) + " after $enddefinitions");
        block_ = k;
        blockLine_ = lines_.number();
        collect_ = header;
        args_.clear();
    }

    void endBlock() {
        const std::string k = std::move(block_);
        block_.clear();
        if (k == "$timescale")
            timescale();
        else if (k == "$var")
            var();
        else if (k == "$enddefinitions")
            definitionsEnd();
        // $date, $version, $comment, $scope, $upscope and other tools' own
        // keywords say nothing about what to play.
    }

    void timescale() {
        std::string text;
        for (const std::string& a : args_)
            text += a;
        std::size_t n = 0;
        while (n < text.size() && text[n] >= '0' && text[n] <= '9')
            ++n;
        const std::string number = text.substr(0, n), unit = text.substr(n);
        static const std::map<std::string, std::pair<std::int64_t, std::int64_t>> kUnits{
            {"s", {1000000000, 1}}, {"ms", {1000000, 1}}, {"us", {1000, 1}},
            {"ns", {1, 1}},         {"ps", {1, 1000}},    {"fs", {1, 1000000}}};
        const auto u = kUnits.find(unit);
        if ((number != "1" && number != "10" && number != "100") || u == kUnits.end())
            fail("$timescale '" + text + "' is not 1, 10 or 100 of s, ms, us, ns, ps or fs");
        mul_ = u->second.first * std::stoll(number);
        div_ = u->second.second;
        if (mul_ % div_ == 0) {
            mul_ /= div_;
            div_ = 1;
        } else if (div_ % mul_ == 0) {
            div_ /= mul_;
            mul_ = 1;
        }
    }

    void var() {
        if (args_.size() < 4)
            fail("$var needs a type, a width, an id and a name: $var wire 1 ! D0 $end");
        const std::string& width = args_[1];
        const std::string& id = args_[2];
        const std::string& name = args_[3];
        const std::optional<int> pin = pinOfName(name);
        if (pin && width != "1")
            fail("wire " + name + " is " + width + " bits wide; a pin is one bit");
        if (pin) {
            if (drivenBy_[*pin] != 0)
                fail("a second wire for " + pinName(*pin) + " (the first is on line " +
                     std::to_string(drivenBy_[*pin]) + ")");
            drivenBy_[*pin] = lines_.number();
        } else if (std::find(plan_.ignored.begin(), plan_.ignored.end(), name) ==
                   plan_.ignored.end()) {
            plan_.ignored.push_back(name);
        }
        // An id may stand for several wires; it drives when one of them does.
        const auto [w, added] = wires_.try_emplace(id, -1);
        if (pin) {
            if (w->second >= 0)
                fail("id " + id + " names both " + pinName(w->second) + " and " + pinName(*pin));
            w->second = *pin;
        }
    }

    void definitionsEnd() {
        body_ = true;
        for (int p = 0; p < kPins; ++p)
            if (drivenBy_[p] != 0)
                plan_.driven.push_back(pinName(p));
        if (plan_.driven.empty())
            fail("no wire drives an output (wires named D0..D7 or C0..C3, alone or followed by "
                 "_ as in D0_pin2); the file has " +
                 std::to_string(plan_.ignored.size()) + " other wire(s)");
    }

    void time(std::string_view digits) {
        std::uint64_t t = 0;
        const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), t);
        if (digits.empty() || r.ec == std::errc::invalid_argument ||
            r.ptr != digits.data() + digits.size())
            fail("time stamp '#" + std::string(digits) + "' is not a whole number");
        if (r.ec != std::errc() || t > static_cast<std::uint64_t>(INT64_MAX / mul_))
            fail("time stamp #" + std::string(digits) + " is too far off to play");
        const std::int64_t ns = static_cast<std::int64_t>(t) * mul_ / div_;
        if (t < lastStamp_)
            fail("time goes back: #" + std::string(digits) + " after #" +
                 std::to_string(lastStamp_));
        flush();
        now_ = ns;
        lastStamp_ = t;
    }

    void scalar(char value, std::string_view id) {
        if (id.empty())
            fail("value " + std::string(1, value) + " without a wire id: the line is cut short");
        const auto w = wires_.find(std::string(id));
        if (w == wires_.end())
            fail("value for id '" + std::string(id) + "', which no $var defines");
        if (w->second < 0)
            return;
        if (value != '0' && value != '1')
            fail(pinName(w->second) + " set to " + std::string(1, value) +
                 ": an output pin is 0 or 1");
        set(w->second, value == '1');
    }

    void vectorValue(const std::string& value, std::string_view id) {
        const auto w = wires_.find(std::string(id));
        if (w == wires_.end())
            fail("value for id '" + std::string(id) + "', which no $var defines");
        if (w->second < 0)
            return;
        if (value == "b0" || value == "b1" || value == "B0" || value == "B1")
            set(w->second, value[1] == '1');
        else
            fail(pinName(w->second) + " set to " + value + ": an output pin is 0 or 1");
    }

    void set(int pin, bool level) {
        const int bit = pin % 8;
        if (pin < 8) {
            data_ = static_cast<std::uint8_t>(level ? data_ | 1 << bit : data_ & ~(1 << bit));
            dataSet_ |= static_cast<std::uint8_t>(1 << bit);
        } else {
            const bool regBit = level != (((kControlInverted >> bit) & 1) != 0);
            control_ =
                static_cast<std::uint8_t>(regBit ? control_ | 1 << bit : control_ & ~(1 << bit));
            controlSet_ |= static_cast<std::uint8_t>(1 << bit);
        }
    }

    /// Ends the current time stamp: a change when the outputs differ from the last one.
    void flush() {
        const PlayChange c{now_, data_, control_, dataSet_, controlSet_};
        if (!plan_.changes.empty()) {
            const PlayChange& l = plan_.changes.back();
            if (l.data == c.data && l.control == c.control && l.dataSet == c.dataSet &&
                l.controlSet == c.controlSet)
                return;
        } else if (dataSet_ == 0 && controlSet_ == 0) {
            return;
        }
        plan_.changes.push_back(c);
    }

    Lines lines_;
    PlayPlan plan_;
    std::map<std::string, int> wires_; // id -> pin, -1 for a wire not driven
    long drivenBy_[kPins] = {};        // the line of each pin's wire, 0 for none
    bool seenToken_ = false, body_ = false, collect_ = false, pendingVector_ = false;
    bool dumpoff_ = false;
    std::string block_, dump_, vector_;
    long blockLine_ = 0;
    std::vector<std::string> args_;
    std::int64_t mul_ = 1, div_ = 1; // a time unit of the file is mul_ / div_ ns (1 ns unless set)
    std::int64_t now_ = 0;
    std::uint64_t lastStamp_ = 0;
    std::uint8_t data_ = 0, control_ = 0, dataSet_ = 0, controlSet_ = 0;
};

} // namespace

PlayPlan readVcd(std::FILE* in) {
    return Reader(in).read();
}

} // namespace lpt
