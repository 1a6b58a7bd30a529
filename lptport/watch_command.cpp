// SPDX-License-Identifier: MIT
// lptport watch: polls the port and prints a time-stamped line per change
// (the lines are watch.h's), until a stop signal.
#include "lptport/commands.h"
#include "lptport/platform.h"
#include "lptport/sampler.h"
#include "lptport/watch.h"
#include "port/simulated.h"

#include <cstdio>
#include <memory>

namespace lpt::cli {

namespace {

int watchPort(std::int64_t intervalNs) {
    catchStopSignals();

    // Reading data and control back shows what the port holds only on the
    // simulated port; a real port is watched through its status register alone.
    Driver& driver = currentDriver();
    Sampler sampler(driver, dynamic_cast<SimulatedPort*>(&driver) != nullptr);
    std::fprintf(stderr, "lptport: watch: polling every %s until interrupted\n",
                 formatExact(intervalNs).c_str());
    unsigned long long polls = 0;
    auto sample = [&] {
        ++polls;
        try {
            return sampler.read();
        } catch (const PortError& e) {
            fail(e.failure());
        }
    };
    auto print = [](const std::string& text) {
        std::printf("%s %s\n", watchTimestamp(std::chrono::system_clock::now()).c_str(),
                    text.c_str());
        std::fflush(stdout);
    };

    Sample last = sample();
    print(watchStart(last));
    std::int64_t deadline = monotonicNs();
    while (!stopRequested()) {
        deadline += intervalNs;
        const std::int64_t now = monotonicNs();
        if (deadline < now) // fell behind (machine suspended, slow terminal): no catching up
            deadline = now + intervalNs;
        sleepUntil(deadline);
        if (stopRequested())
            break;
        const Sample next = sample();
        for (const std::string& line : watchChanges(last, next))
            print(line);
        last = next;
    }
    std::fprintf(stderr, "lptport: watch: ended after %llu polls\n", polls);
    return 0;
}

} // namespace

void declareWatch(Program& program) {
    auto intervalNs = std::make_shared<std::int64_t>(10 * kMillisecond);
    auto* sub =
        command(program.app, "watch", "Print a timed line per input change, until stopped",
                "On the simulated port every register change too. Ctrl+C or SIGTERM ends it\n"
                "(exit status 0); each line is flushed as it is printed.\n"
                "Example: lptport watch 50");
    addDuration(
        *sub, "INTERVAL", kWatchInterval,
        "must be a time from 1ms to 60s such as 50, 50ms or 0.5s (a plain number is ms)",
        [intervalNs](std::int64_t ns) { *intervalNs = ns; },
        "Poll interval, 1ms to 60s; a plain number is ms (default 10)")
        ->type_name("INTERVAL");
    sub->callback(
        [&program, intervalNs] { program.work = [intervalNs] { return watchPort(*intervalNs); }; });
}

} // namespace lpt::cli
