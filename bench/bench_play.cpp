// SPDX-License-Identifier: MIT
// How punctual `lptport play` and `lptport pulse` are on the simulated port,
// against a bare loop that spins on the clock and writes at the same planned
// times (the best any program can do on this machine), rounds alternating in
// one run; and whether play's memory stays flat over a long file.
//
//   bench_play [CHANGES] [--realtime]
//
// CHANGES a round, 250 us apart (3000 by default: 0.75 s, less than the
// second after which Linux throttles a real-time loop that never sleeps).
// The memory run plays 10^6 changes 0.5 us apart. --realtime: both loops run
// as `lptport play --realtime` does (SCHED_FIFO and locked memory).
#include "bench_support.h"
#include "lptport/play.h"
#include "lptport/sampler.h"
#include "port/simulated.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A VCD of `changes` steps `stepNs` apart, D0..D3 counting and C0 toggling.
lpt::PlayPlan pattern(const fs::path& file, std::uint64_t changes, std::int64_t stepNs) {
    {
        std::ofstream out(file);
        out << "$timescale 1 ns $end\n$var wire 1 a D0 $end\n$var wire 1 b D1 $end\n"
               "$var wire 1 c D2 $end\n$var wire 1 d D3 $end\n$var wire 1 e C0 $end\n"
               "$enddefinitions $end\n";
        for (std::uint64_t i = 0; i < changes; ++i) {
            out << '#' << static_cast<std::int64_t>(i) * stepNs << '\n';
            for (int bit = 0; bit < 4; ++bit)
                out << ((i >> bit) & 1) << static_cast<char>('a' + bit) << '\n';
            out << ((i >> 4) & 1) << "e\n";
        }
        out << '#' << static_cast<std::int64_t>(changes) * stepNs << '\n';
    }
    std::FILE* in = std::fopen(file.string().c_str(), "rb");
    lpt::PlayPlan plan = lpt::readVcd(in);
    std::fclose(in);
    return plan;
}

// The bare loop: for each change, spin until it is due, write its registers,
// stamp. Lateness of every change.
lpt::Lateness bare(lpt::Driver& port, const lpt::PlayPlan& plan) {
    lpt::Lateness late;
    const std::int64_t start = lpt::monotonicNs();
    for (const lpt::PlayChange& c : plan.changes) {
        const std::int64_t due = start + c.t;
        while (lpt::monotonicNs() < due) {
        }
        port.write(lpt::Register::Data, c.data);
        port.write(lpt::Register::Control, c.control);
        late.add(lpt::monotonicNs() - due);
    }
    return late;
}

// The bare pulse: on at start + k x period, off width after the on was
// written. The lateness of the off writes is the width error.
lpt::Lateness barePulses(lpt::Driver& port, const lpt::PulseOptions& o) {
    lpt::Lateness widthError;
    const std::int64_t start = lpt::monotonicNs();
    for (std::uint64_t k = 0; k < *o.count; ++k) {
        const std::int64_t due = start + static_cast<std::int64_t>(k) * *o.periodNs;
        while (lpt::monotonicNs() < due) {
        }
        port.write(lpt::Register::Data, o.value);
        const std::int64_t off = lpt::monotonicNs() + o.widthNs;
        while (lpt::monotonicNs() < off) {
        }
        port.write(lpt::Register::Data, 0);
        widthError.add(lpt::monotonicNs() - off);
    }
    return widthError;
}

// Linux lets real-time threads run 0.95 s of every second, and a loop that
// spins for longer is stopped for the rest: a pause after each run leaves the
// next one a whole second.
void rest() {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

double us(std::int64_t ns) {
    return static_cast<double>(ns) / 1e3;
}

} // namespace

int main(int argc, char** argv) {
    const bool realtime = argc > 1 && std::string(argv[argc - 1]) == "--realtime";
    const int numbers = argc - (realtime ? 1 : 0);
    const std::uint64_t changes = numbers > 1 ? std::strtoull(argv[1], nullptr, 10) : 3000;
    if (changes < 100) {
        std::fprintf(stderr, "usage: bench_play [CHANGES] [--realtime]  (at least 100 changes)\n");
        return 2;
    }
    if (realtime)
        std::printf("%s\n", lpt::enableRealtime().text.c_str());
    const fs::path dir = bench::portDir("bench_play");
    auto port = lpt::SimulatedPort::open((dir / "port").string());
    constexpr std::int64_t kStep = 250000;
    const lpt::PlayPlan plan = pattern(dir / "pattern.vcd", changes, kStep);

    // Alternating rounds; each round's ratio compares two runs next to each
    // other in time, so a change in the machine's load moves both alike.
    constexpr int kRounds = 9;
    std::vector<double> playP50, playP99, playMax, bareP50, bareP99, bareMax, ratios;
    lpt::MonotonicTimer timer(realtime);
    lpt::PlayOptions options;
    for (int r = 0; r < kRounds; ++r) {
        const lpt::Lateness b = bare(*port, plan);
        rest();
        const lpt::PlayResult p = lpt::runPlay(*port, plan, options, timer);
        rest();
        bareP50.push_back(us(b.percentile(0.5)));
        bareP99.push_back(us(b.percentile(0.99)));
        bareMax.push_back(us(b.largest()));
        playP50.push_back(us(p.lateness.percentile(0.5)));
        playP99.push_back(us(p.lateness.percentile(0.99)));
        playMax.push_back(us(p.lateness.largest()));
        ratios.push_back(playP99.back() / std::max(bareP99.back(), 0.001));
    }
    const double ratio = median(ratios);
    std::printf("simulated port, %d rounds of %llu changes %lld us apart, medians of the rounds:\n",
                kRounds, static_cast<unsigned long long>(changes),
                static_cast<long long>(kStep / 1000));
    std::printf("  lateness    median    99th pct   largest\n");
    std::printf("  bare loop %7.2f us %8.2f us %8.1f us\n", median(bareP50), median(bareP99),
                median(bareMax));
    std::printf("  play      %7.2f us %8.2f us %8.1f us   99th pct ratio %.2f (goal <= 2: %s)\n",
                median(playP50), median(playP99), median(playMax), ratio,
                ratio <= 2 ? "met" : "NOT met");

    // Pulses of 1 ms every 2.5 ms: the width error is how late each pulse's end is.
    lpt::PulseOptions pulse;
    pulse.value = 0xFF;
    pulse.widthNs = 1000000;
    pulse.periodNs = 2500000;
    pulse.count = std::max<std::uint64_t>(changes / 8, 100);
    std::vector<double> pulseMean, pulseMax, bareWidthP99, bareWidthMax;
    for (int r = 0; r < kRounds; ++r) {
        const lpt::Lateness b = barePulses(*port, pulse);
        rest();
        const lpt::PulseResult p = lpt::runPulse(*port, pulse, timer);
        rest();
        bareWidthP99.push_back(us(b.percentile(0.99)));
        bareWidthMax.push_back(us(b.largest()));
        pulseMean.push_back(us(p.widthSum / static_cast<std::int64_t>(p.pulses) - pulse.widthNs));
        pulseMax.push_back(us(p.widthDeviation));
    }
    std::printf("  %llu pulses of 1 ms every 2.5 ms, width error: pulse mean %+.2f us, largest "
                "%+.1f us; bare loop 99th pct %.2f us, largest %.1f us\n",
                static_cast<unsigned long long>(*pulse.count), median(pulseMean), median(pulseMax),
                median(bareWidthP99), median(bareWidthMax));

    // The long file: 10^6 changes 0.5 us apart. The plan's size is what reading
    // it costs; playing it must cost nothing more, however long it runs.
    constexpr std::uint64_t kLong = 1000000;
    // The watcher is started first: its own stack (all of it, with memory
    // locked) is in every figure.
    std::atomic<bool> playing{false}, over{false};
    std::atomic<double> peak{0};
    std::thread watcher([&] {
        while (!over) {
            if (playing)
                peak = std::max(peak.load(), bench::mibResident());
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const double beforeRead = bench::mibResident();
    const lpt::PlayPlan longPlan = pattern(dir / "long.vcd", kLong, 500);
    const double afterRead = bench::mibResident();
    peak = afterRead;
    playing = true;
    const lpt::PlayResult p = lpt::runPlay(*port, longPlan, options, timer);
    over = true;
    watcher.join();
    std::printf("  memory over %llu changes: reading the file %+.2f MiB (%zu bytes a change), "
                "playing it %+.2f MiB (goal < 1 MiB: %s)\n",
                static_cast<unsigned long long>(p.changes), afterRead - beforeRead,
                sizeof(lpt::PlayChange), peak.load() - afterRead,
                peak.load() - afterRead < 1 ? "met" : "NOT met");
    port.reset();
    fs::remove_all(dir);
    return 0;
}
