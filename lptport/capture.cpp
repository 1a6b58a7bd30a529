// SPDX-License-Identifier: MIT
#include "lptport/capture.h"

#include "lptport/watch.h"
#include "port/registers.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <pthread.h>
#endif

namespace lpt {

namespace {

/// An errno value as the middle of a message: "no space left on device".
std::string cause(int err) {
    std::string text = describeErrno(err);
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

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

/// A change as the sampler saw it: when, and the registers it read.
struct Change {
    std::int64_t t; // ns since the first sample; the first sample's own time on the clock
    std::uint8_t status, data, control;
};

/// The bounded queue between the sampling loop (the one producer) and the
/// writer thread (the one consumer). A push never waits: when the queue is
/// full it fails, and the sampler counts the change as dropped. The next
/// change pushed carries all registers, so the file stays consistent and only
/// the dropped edges are missing.
class ChangeQueue {
public:
    static constexpr std::size_t kSize = 1 << 16; // 1 MiB, touched once at the start

    bool push(const Change& c) {
        const std::uint64_t h = head_.load(std::memory_order_relaxed);
        if (h - tailSeen_ == kSize) {
            tailSeen_ = tail_.load(std::memory_order_acquire);
            if (h - tailSeen_ == kSize)
                return false;
        }
        slots_[h % kSize] = c;
        head_.store(h + 1, std::memory_order_release);
        return true;
    }

    /// Hands every queued change to f, oldest first, freeing each slot as
    /// soon as f is done with it; returns how many there were.
    template <class F> std::size_t drain(F&& f) {
        const std::uint64_t from = tail_.load(std::memory_order_relaxed);
        const std::uint64_t h = head_.load(std::memory_order_acquire);
        for (std::uint64_t t = from; t != h; ++t) {
            f(slots_[t % kSize]);
            tail_.store(t + 1, std::memory_order_release);
        }
        return static_cast<std::size_t>(h - from);
    }

private:
    std::vector<Change> slots_ = std::vector<Change>(kSize);
    alignas(64) std::atomic<std::uint64_t> head_{0};
    std::uint64_t tailSeen_ = 0; // the producer's last look at tail_
    alignas(64) std::atomic<std::uint64_t> tail_{0};
};

/// The file. VCD is written here by hand: it is a small text format, and
/// Debian packages no C or C++ library that writes it.
class VcdWriter {
public:
    VcdWriter(std::FILE* out, bool outputs, std::string port) : out_(out), port_(std::move(port)) {
        for (int bit = 3; bit < 8; ++bit)
            add(Register::Status, bit, kStatusSignals[bit - 3]);
        for (int bit = 0; outputs && bit < 8; ++bit)
            add(Register::Data, bit, nullptr);
        for (int bit = 0; outputs && bit < 4; ++bit)
            add(Register::Control, bit, kControlSignals[bit]);
    }

    /// The definitions. Time 0 is the first sample, at `origin` on the
    /// monotonic clock, which lets a capture be lined up with other records.
    void header(std::int64_t origin) {
        // Local time, as watch stamps its lines.
        put("$date\n\t" + watchTimestamp(std::chrono::system_clock::now()) + "\n$end\n");
        put("$version\n\tlptpanel " LPTPANEL_VERSION " (lptport capture)\n$end\n");
        put("$comment\n\tport: " + port_ +
            "; connector pin levels; time 0 is the monotonic clock at " + std::to_string(origin) +
            " ns\n$end\n");
        put("$timescale 1 ns $end\n$scope module lpt $end\n");
        for (std::size_t i = 0; i < labels_.size(); ++i)
            put("$var wire 1 " + id(i) + " " + labels_[i] + " $end\n");
        put("$upscope $end\n$enddefinitions $end\n");
    }

    /// Writes the wires a change moved under its time stamp. The first change
    /// is the starting state, its time the origin: it comes after the header.
    void change(const Change& c) {
        std::uint32_t levels = 0;
        for (std::size_t i = 0; i < pins_.size(); ++i)
            levels |= static_cast<std::uint32_t>(pinLevel(*pins_[i], c.data, c.status, c.control))
                      << i;
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

    /// The last time stamp, the end of the capture, and the flush.
    void finish(std::int64_t t) {
        stamp(std::max(t, last_ + 1));
        flush();
    }

    /// Hands what was put since the last flush to the system; false once
    /// writing has failed.
    bool flush() {
        if (error_.empty() && unflushed_ && std::fflush(out_) != 0)
            fail(errno);
        unflushed_ = false;
        return error_.empty();
    }

    const std::string& error() const { return error_; }
    std::uint64_t changes() const { return changes_; }

private:
    /// A wire per pin, named by register bit, signal and pin: "S7_BUSY_pin11", "D0_pin2".
    void add(Register reg, int bit, const char* signal) {
        const ConnectorPin& pin = pinOf(reg, bit);
        pins_.push_back(&pin);
        labels_.push_back(std::string(pin.name) + (signal ? "_" + std::string(signal) : "") +
                          "_pin" + std::to_string(pin.pin));
    }

    static std::string id(std::size_t i) { return std::string(1, static_cast<char>('a' + i)); }

    void stamp(std::int64_t t) {
        if (t <= last_)
            return; // two changes within one nanosecond share their stamp
        put("#" + std::to_string(t) + "\n");
        last_ = t;
    }

    void put(const std::string& text) {
        if (!error_.empty())
            return;
        errno = 0;
        if (std::fwrite(text.data(), 1, text.size(), out_) != text.size())
            fail(errno);
        unflushed_ = true;
    }

    void fail(int err) { error_ = cause(err ? err : EIO); }

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

Change changeOf(std::int64_t t, const Sample& s) {
    return {t, static_cast<std::uint8_t>(s.status), static_cast<std::uint8_t>(s.data.value_or(0)),
            static_cast<std::uint8_t>(s.control.value_or(0))};
}

/// How many samples to take between two readings of the clock, so that
/// reading it costs at most about 3% of the sampling rate: 1 on the real
/// ports, whose reads take a microsecond, more on the simulated port, whose
/// reads are faster than the clock.
unsigned clockEveryFor(Sampler& sampler) {
    constexpr int kReads = 4096, kClocks = 1024;
    for (int i = 0; i < kReads / 4; ++i) // the first reads fault pages in and fill caches
        sampler.read();
    const std::int64_t a = monotonicNs();
    for (int i = 0; i < kReads; ++i)
        sampler.read();
    const std::int64_t b = monotonicNs();
    for (int i = 0; i < kClocks; ++i)
        monotonicNs(); // a library call: never left out
    const std::int64_t c = monotonicNs();
    // Clock reads take (c - b) / kClocks each, samples (b - a) / kReads.
    unsigned every = 1;
    while (every < 4096 && (c - b) * kReads * 32 > (b - a) * kClocks * std::int64_t{every})
        every *= 2;
    return every;
}

#ifndef _WIN32
/// Stop signals go to the sampling thread, never to the writer, whose file
/// calls they would interrupt.
void blockStopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}
#else
void blockStopSignals() {}
#endif

std::string seconds(std::int64_t ns) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f s", static_cast<double>(ns) / 1e9);
    return text;
}

std::string interval(double ns) {
    char text[32];
    if (ns < 1e4)
        std::snprintf(text, sizeof text, "%.1f ns", ns);
    else if (ns < 1e6)
        std::snprintf(text, sizeof text, "%.1f us", ns / 1e3);
    else
        std::snprintf(text, sizeof text, "%.3f ms", ns / 1e6);
    return text;
}

} // namespace

std::string CaptureSummary::text() const {
    std::string t = "capture: " + std::to_string(samples) + " samples in " + seconds(durationNs);
    const double mean = samples > 1 ? static_cast<double>(durationNs) / (samples - 1) : 0;
    t += ", mean interval " + interval(mean) + ", largest " + interval(largestNs);
    if (clockEvery > 1)
        t += " (clock read every " + std::to_string(clockEvery) + " samples)";
    t += ", " + std::to_string(changes) + " changes written";
    if (dropped > 0)
        t += ", " + std::to_string(dropped) +
             " changes DROPPED because the file took too long to write (write to a faster disk "
             "or a pipe that keeps up)";
    return t;
}

std::optional<std::int64_t> parseSeconds(std::string_view text) {
    // Whole part and fraction separately: from_chars for double would also
    // take "1e3", "inf" and "nan", which are no way to write a duration.
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == text.npos ? "" : text.substr(dot + 1);
    if ((whole.empty() && fraction.empty()) || fraction.size() > 9 ||
        (dot != text.npos && fraction.empty()))
        return std::nullopt;
    std::int64_t s = 0, ns = 0;
    if (!whole.empty()) {
        const auto r = std::from_chars(whole.data(), whole.data() + whole.size(), s);
        if (r.ec != std::errc() || r.ptr != whole.data() + whole.size() || s > 1000000)
            return std::nullopt;
    }
    for (std::size_t i = 0; i < 9; ++i) {
        const char c = i < fraction.size() ? fraction[i] : '0';
        if (c < '0' || c > '9')
            return std::nullopt;
        ns = ns * 10 + (c - '0');
    }
    const std::int64_t total = s * 1000000000 + ns;
    if (total <= 0 || total > std::int64_t{1000000} * 1000000000)
        return std::nullopt;
    return total;
}

std::optional<std::uint64_t> parseCount(std::string_view text) {
    std::uint64_t n = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || n < 1 ||
        n > 1000000000000000)
        return std::nullopt;
    return n;
}

CaptureSummary capture(Sampler& sampler, const CaptureOptions& options, std::FILE* out,
                       const std::string& port) {
    CaptureSummary summary;
    VcdWriter vcd(out, sampler.outputs(), port);
    ChangeQueue queue;
    std::atomic<bool> done{false}, writerFailed{false};

    std::thread writer([&] {
        blockStopSignals();
        for (;;) {
            const bool last = done.load(std::memory_order_acquire);
            const std::size_t got = queue.drain([&](const Change& c) { vcd.change(c); });
            if (!vcd.error().empty()) {
                writerFailed.store(true);
                return;
            }
            if (last && got == 0)
                return;
            if (got == 0) {
                // Nothing queued: hand what is written to the file, so a full
                // disk shows at once, and look again in a millisecond.
                if (!vcd.flush()) {
                    writerFailed.store(true);
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    });

    std::uint64_t n = 0;
    std::int64_t t0 = 0, now = 0;
    try {
        summary.clockEvery = clockEveryFor(sampler);
        Sample last = sampler.read();
        t0 = now = monotonicNs();
        n = 1;
        queue.push(changeOf(t0, last)); // the starting state, its time the origin
        const std::uint64_t limit = options.samples.value_or(UINT64_MAX);
        const std::int64_t end = options.durationNs ? t0 + *options.durationNs : INT64_MAX;
        while (n < limit) {
            const std::uint64_t blockEnd =
                n + std::min<std::uint64_t>(summary.clockEvery, limit - n);
            for (; n < blockEnd; ++n) {
                const Sample s = sampler.read();
                if (!(s == last)) {
                    last = s;
                    if (!queue.push(changeOf(monotonicNs() - t0, s)))
                        ++summary.dropped;
                }
            }
            const std::int64_t t = monotonicNs();
            summary.largestNs = std::max(summary.largestNs, t - now);
            now = t;
            if (now >= end || stopRequested() || writerFailed.load(std::memory_order_relaxed))
                break;
        }
    } catch (const PortError& e) {
        summary.portFailure = e.failure();
        now = monotonicNs();
    }
    done.store(true, std::memory_order_release);
    writer.join();
    if (n > 0)
        vcd.finish(now - t0);

    summary.samples = n;
    summary.durationNs = n > 0 ? now - t0 : 0;
    summary.changes = vcd.changes();
    summary.writeError = vcd.error();
    // Once writing failed the queue filled because nobody emptied it: those
    // changes are not dropped but lost with the rest of the cut-short file.
    if (!summary.writeError.empty())
        summary.dropped = 0;
    return summary;
}

int captureCommand(const CaptureOptions& options, const std::string& path) {
    catchStopSignals();
    Driver& driver = currentDriver();
    Sampler sampler(driver, options.outputs);
    const bool toStdout = path == "-";
    const std::string name = toStdout ? "standard output" : path;
    std::FILE* out = toStdout ? stdout : std::fopen(path.c_str(), "wb");
    if (!out) {
        const int err = errno;
        std::fprintf(stderr,
                     "%s: capture: cannot create %s: %s. Fix: choose a file in a folder you can "
                     "write to, with -o FILE, or -o - for standard output\n",
                     programName().c_str(), path.c_str(), cause(err).c_str());
        return 1;
    }
    static char buffer[1 << 16];
    std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
    std::fprintf(stderr, "%s: capture: sampling into %s%s\n", programName().c_str(), name.c_str(),
                 options.durationNs || options.samples ? "" : " until interrupted (Ctrl+C)");
    CaptureSummary summary = capture(sampler, options, out, driver.description());
    if (!toStdout && std::fclose(out) != 0 && summary.writeError.empty())
        summary.writeError = cause(errno); // a file system that writes at close

    std::fprintf(stderr, "%s: %s\n", programName().c_str(), summary.text().c_str());
    int status = summary.dropped > 0 ? 1 : 0;
    if (!summary.writeError.empty()) {
        std::fprintf(stderr,
                     "%s: capture: cannot write %s: %s; the file is cut short and lacks its "
                     "end. Fix: free space on its disk or write elsewhere with -o FILE\n",
                     programName().c_str(), name.c_str(), summary.writeError.c_str());
        status = 1;
    }
    if (summary.portFailure) {
        std::fprintf(stderr, "%s: capture: %s; the file ends where the port failed\n",
                     programName().c_str(), summary.portFailure->message().c_str());
        status = 1;
    }
    return status;
}

} // namespace lpt
