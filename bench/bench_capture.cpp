// SPDX-License-Identifier: MIT
// How fast `lptport capture` samples, against a bare loop of status reads on
// the same simulated port in the same run, and whether its memory stays flat
// over a long capture whose changes keep the writer busy.
//
//   bench_capture [SAMPLES]   (default 20000000 a round; the memory run takes
//                              five times as many, 10^8 by default)
#include "bench_support.h"
#include "lptport/capture.h"
#include "port/simulated.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

// Where the capture's file goes.
#ifdef _WIN32
constexpr const char* kNullDevice = "NUL";
#else
constexpr const char* kNullDevice = "/dev/null";
#endif

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Where the bare loop's sum goes, so the compiler cannot leave its reads out.
volatile unsigned readSum;

// Status reads a second of the bare loop: no clock, no comparison, no queue.
double bareRate(lpt::Driver& port, std::uint64_t samples) {
    const std::int64_t start = lpt::monotonicNs();
    unsigned sink = 0;
    for (std::uint64_t i = 0; i < samples; ++i)
        sink += port.read(lpt::Register::Status);
    const std::int64_t ns = lpt::monotonicNs() - start;
    readSum = sink;
    return static_cast<double>(samples) * 1e9 / static_cast<double>(ns);
}

// Samples a second of the capture's own sampling loop, its file in /dev/null.
double captureRate(lpt::Driver& port, std::uint64_t samples, std::FILE* devnull) {
    lpt::Sampler sampler(port, false);
    lpt::CaptureOptions options;
    options.samples = samples;
    const lpt::CaptureSummary s = lpt::capture(sampler, options, devnull, port.description());
    return static_cast<double>(s.samples) * 1e9 / static_cast<double>(s.durationNs);
}

} // namespace

int main(int argc, char** argv) {
    const std::uint64_t samples = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 20000000;
    if (samples < 1000) {
        std::fprintf(stderr, "usage: bench_capture [SAMPLES]  (at least 1000 a round)\n");
        return 2;
    }
    const std::filesystem::path dir = bench::portDir("bench_capture");
    const std::string path = (dir / "port").string();
    auto port = lpt::SimulatedPort::open(path);
    std::FILE* devnull = std::fopen(kNullDevice, "wb");

    // Rounds alternate, and each round's ratio compares two runs next to
    // each other in time, so a change in the machine's load between rounds
    // moves both of its figures alike.
    constexpr int kRounds = 9;
    std::vector<double> bare, captured, ratios;
    for (int r = 0; r < kRounds; ++r) {
        bare.push_back(bareRate(*port, samples));
        captured.push_back(captureRate(*port, samples, devnull));
        ratios.push_back(captured.back() / bare.back());
    }
    const double ratio = median(ratios);
    std::printf("simulated port, %d rounds of %llu samples each, medians:\n", kRounds,
                static_cast<unsigned long long>(samples));
    std::printf("  bare status reads  %7.1f M/s\n", median(bare) / 1e6);
    std::printf("  capture            %7.1f M/s   ratio %.2f (goal >= 0.9: %s)\n",
                median(captured) / 1e6, ratio, ratio >= 0.9 ? "met" : "NOT met");

    // The long run: another thread flips S6, sleeping 50 us between flips
    // (longer, as the timer rounds it), so the queue and the writer work all
    // along. Resident memory is taken once the first million samples are in,
    // and its peak watched until the end.
    const std::uint64_t longRun = samples * 5;
    std::atomic<bool> over{false};
    std::thread flipper([&] {
        for (int k = 0; !over; ++k) {
            port->setStatus(k % 2 ? 0x7F : 0x3F);
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    double atStart = 0, peak = 0;
    const std::uint64_t readsBefore = port->statusReads();
    std::thread watcher([&] {
        while (!over) {
            const double now = bench::mibResident();
            if (atStart == 0 && port->statusReads() - readsBefore > 1000000)
                atStart = now;
            if (atStart > 0)
                peak = std::max(peak, now);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    lpt::Sampler sampler(*port, false);
    lpt::CaptureOptions options;
    options.samples = longRun;
    const lpt::CaptureSummary s = lpt::capture(sampler, options, devnull, port->description());
    over = true;
    flipper.join();
    watcher.join();
    std::printf("  memory over %llu samples, %llu changes written, %llu dropped:\n"
                "  resident %.2f MiB after the first million, peak %.2f MiB, growth %.2f MiB "
                "(goal < 1 MiB: %s)\n",
                static_cast<unsigned long long>(s.samples),
                static_cast<unsigned long long>(s.changes),
                static_cast<unsigned long long>(s.dropped), atStart, peak, peak - atStart,
                peak - atStart < 1 ? "met" : "NOT met");
    std::fclose(devnull);
    port.reset();
    std::remove(path.c_str());
    std::filesystem::remove(dir);
    return 0;
}
