// SPDX-License-Identifier: MIT
// lptport's commands over the port layer. They use the same driver layer and
// PARPORT as the panel, and print stable lines for scripts.
#include "lptport/commands.h"

#include "lptport/capture.h"
#include "lptport/sampler.h"
#include "lptport/selftest.h"
#include "lptport/watch.h"
#include "port/driver.h"
#include "port/inpout.h"
#include "port/registers.h"
#include "port/simulated.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace {

constexpr const char* kUsage =
    "usage: lptport out ADDR VALUE [out ADDR VALUE | in ADDR]...\n"
    "       lptport in ADDR [...]\n"
    "       lptport show\n"
    "       lptport watch [INTERVAL_MS]\n"
    "       lptport capture [-o FILE] [--for SECONDS | --samples N] [--outputs]\n"
    "       lptport selftest\n"
    "       lptport sim status VALUE | sim pins Sk=0|1... | sim wiring open|loopback\n"
    "       lptport sim reset | sim writes [--since N | --count] | sim reads\n"
    "       lptport --help | --version\n"
    "ADDR is 0x378 (data), 0x379 (status) or 0x37A (control); numbers are decimal or 0x hex.\n"
    "watch prints a timed line for every change of an input pin (and, on the simulated port,\n"
    "of each register) until interrupted; it polls every INTERVAL_MS (1 to 60000, default 10).\n"
    "sim writes lists the write log, oldest first; --since N lists the writes after the N-th,\n"
    "each line numbered; --count prints how many writes the port has had.\n"
    "capture reads the status register back to back and writes every pin change, stamped to\n"
    "the nanosecond, as VCD (for PulseView, sigrok-cli, GTKWave) to FILE or standard output,\n"
    "until SECONDS or N samples or Ctrl+C; --outputs adds D0-D7 and C0-C3.\n"
    "selftest checks a loopback plug (pins 2-15, 3-13, 4-12, 5-10, 6-11) and reports each wire.\n"
    "The port is chosen by PARPORT: sim, sim:PATH, /dev/parportN, direct, direct:0xBASE"
#ifdef _WIN32
    ",\ndll:PATH (a port-I/O DLL)"
#endif
    ".\n"
    "Exit status: 0 done (selftest: every wire good), 1 port failure (selftest: a wire is not\n"
    "good), 2 bad arguments.\n";

// A usage error is one line: what is wrong, and where the full usage is.
[[noreturn]] void usage(const std::string& problem) {
    std::fprintf(stderr, "lptport: %s. Try 'lptport --help'\n", problem.c_str());
    std::exit(2);
}

std::optional<long> number(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    long v = 0;
    for (char c : text) {
        int d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : 99;
        if (d >= base)
            return std::nullopt;
        v = v * base + d;
    }
    return v;
}

long byteArg(const char* text, const char* what) {
    auto v = number(text);
    if (!v || *v > 255)
        usage(std::string(what) + " must be a number from 0 to 255 (or 0x00 to 0xFF), not '" +
              text + "'");
    return *v;
}

long addressArg(const char* text) {
    auto v = number(text);
    if (!v || !lpt::registerAt(static_cast<int>(*v)))
        usage(std::string("ADDR must be 0x378, 0x379 or 0x37A, not '") + text + "'");
    return *v;
}

struct Step {
    bool out;
    short address;
    short value;
};

int runSteps(int argc, char** argv) {
    std::vector<Step> steps;
    for (int i = 1; i < argc;) {
        const std::string_view op = argv[i];
        if (op == "out") {
            if (i + 2 >= argc)
                usage("out needs ADDR and VALUE");
            steps.push_back({true, static_cast<short>(addressArg(argv[i + 1])),
                             static_cast<short>(byteArg(argv[i + 2], "VALUE"))});
            i += 3;
        } else if (op == "in") {
            if (i + 1 >= argc)
                usage("in needs ADDR");
            steps.push_back({false, static_cast<short>(addressArg(argv[i + 1])), 0});
            i += 2;
        } else {
            usage("unexpected '" + std::string(op) + "' (only out and in may follow one another)");
        }
    }
    for (const Step& s : steps) {
        if (s.out) {
            Out32(s.address, s.value);
        } else {
            std::printf("%d\n", Inp32(s.address));
            std::fflush(stdout);
        }
    }
    return 0;
}

std::string bits(int v) {
    std::string s;
    for (int b = 7; b >= 0; --b)
        s += ((v >> b) & 1) ? '1' : '0';
    return s;
}

int show() {
    const int data = Inp32(lpt::kDataPort);
    const int status = Inp32(lpt::kStatusPort);
    const int control = Inp32(lpt::kControlPort);
    std::printf("register  address  value  bits\n");
    std::printf("data      0x378    %5d  %s\n", data, bits(data).c_str());
    std::printf("status    0x379    %5d  %s\n", status, bits(status).c_str());
    std::printf("control   0x37A    %5d  %s\n", control, bits(control).c_str());
    std::printf("\npin  signal  direction  level\n");
    for (const auto& pin : lpt::connectorPins()) {
        const char* dir = pin.kind == lpt::PinKind::Output  ? "output"
                          : pin.kind == lpt::PinKind::Input ? "input"
                                                            : "ground";
        std::string name = (pin.inverted ? "/" : "") + std::string(pin.name);
        if (pin.kind == lpt::PinKind::Ground)
            std::printf("%3d  %-6s  %-9s  -\n", pin.pin, name.c_str(), dir);
        else
            std::printf("%3d  %-6s  %-9s  %d\n", pin.pin, name.c_str(), dir,
                        lpt::pinLevel(pin, data, status, control));
    }
    return 0;
}

constexpr long kDefaultWatchMs = 10;

// Sleeps until the deadline on the steady clock; a signal cuts the sleep short.
void sleepUntil(std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
#ifdef _WIN32
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left > 0)
        ::Sleep(static_cast<DWORD>(left));
#else
    // steady_clock is CLOCK_MONOTONIC on Linux; clock_nanosleep is never
    // restarted after a signal handler, so a stop request ends the wait at once.
    const auto ns = duration_cast<nanoseconds>(deadline.time_since_epoch()).count();
    const timespec at{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
#endif
}

int watch(int argc, char** argv) {
    if (argc > 3)
        usage("watch takes at most INTERVAL_MS");
    long intervalMs = kDefaultWatchMs;
    if (argc == 3) {
        const auto v = number(argv[2]);
        if (!v || *v < 1 || *v > 60000)
            usage(std::string("INTERVAL_MS must be a number from 1 to 60000, not '") + argv[2] +
                  "'");
        intervalMs = *v;
    }
    lpt::catchStopSignals();

    // Reading data and control back shows what the port holds only on the
    // simulated port; a real port is watched through its status register alone.
    lpt::Driver& driver = lpt::currentDriver();
    lpt::Sampler sampler(driver, dynamic_cast<lpt::SimulatedPort*>(&driver) != nullptr);
    std::fprintf(stderr, "lptport: watch: polling every %ld ms until interrupted\n", intervalMs);
    unsigned long long polls = 0;
    auto sample = [&] {
        ++polls;
        try {
            return sampler.read();
        } catch (const lpt::PortError& e) {
            lpt::fail(e.failure());
        }
    };
    auto print = [](const std::string& text) {
        std::printf("%s %s\n", lpt::watchTimestamp(std::chrono::system_clock::now()).c_str(),
                    text.c_str());
        std::fflush(stdout);
    };

    lpt::Sample last = sample();
    print(lpt::watchStart(last));
    const auto interval = std::chrono::milliseconds(intervalMs);
    auto deadline = std::chrono::steady_clock::now();
    while (!lpt::stopRequested()) {
        deadline += interval;
        const auto now = std::chrono::steady_clock::now();
        if (deadline < now) // fell behind (machine suspended, slow terminal): no catching up
            deadline = now + interval;
        sleepUntil(deadline);
        if (lpt::stopRequested())
            break;
        const lpt::Sample next = sample();
        for (const std::string& line : lpt::watchChanges(last, next))
            print(line);
        last = next;
    }
    std::fprintf(stderr, "lptport: watch: ended after %llu polls\n", polls);
    return 0;
}

int capture(int argc, char** argv) {
    lpt::CaptureOptions options;
    std::string path = "-";
    for (int i = 2; i < argc; ++i) {
        const std::string_view a = argv[i];
        const bool valued = a == "-o" || a == "--for" || a == "--samples";
        if (valued && i + 1 >= argc)
            usage("capture " + std::string(a) + " needs a value");
        if (a == "-o") {
            path = argv[++i];
        } else if (a == "--for") {
            options.durationNs = lpt::parseSeconds(argv[++i]);
            if (!options.durationNs)
                usage(std::string("--for needs SECONDS above 0 and at most 1000000, such as 10 or "
                                  "0.5, not '") +
                      argv[i] + "'");
        } else if (a == "--samples") {
            options.samples = lpt::parseCount(argv[++i]);
            if (!options.samples)
                usage(std::string("--samples needs a whole number from 1 to 10^15, not '") +
                      argv[i] + "'");
        } else if (a == "--outputs") {
            options.outputs = true;
        } else {
            usage("capture does not know '" + std::string(a) + "'");
        }
    }
    if (options.durationNs && options.samples)
        usage("capture takes --for or --samples, not both");
    return lpt::captureCommand(options, path);
}

int selftest(int argc) {
    if (argc != 2)
        usage("selftest takes no argument");
    lpt::SelftestOutcome outcome;
    try {
        outcome = lpt::runSelftest(lpt::currentDriver());
    } catch (const lpt::PortError& e) {
        lpt::fail(e.failure());
    }
    for (const std::string& line : lpt::selftestReport(outcome))
        std::printf("%s\n", line.c_str());
    return outcome.allGood() ? 0 : 1;
}

// A write number for sim writes --since: decimal or 0x hex, up to 2^64 - 1.
std::optional<std::uint64_t> writeNumber(std::string_view text) {
    const bool hex = text.starts_with("0x") || text.starts_with("0X");
    if (hex)
        text.remove_prefix(2);
    std::uint64_t v = 0;
    const auto [end, err] =
        std::from_chars(text.data(), text.data() + text.size(), v, hex ? 16 : 10);
    if (text.empty() || err != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return v;
}

int sim(int argc, char** argv) {
    if (argc < 3)
        usage("sim needs a command");
    const std::string_view cmd = argv[2];
    const int extra = argc - 3;
    lpt::PortSpec spec;
    try {
        spec = lpt::parsePortSpec(std::getenv("PARPORT"));
    } catch (const lpt::PortError& e) {
        lpt::fail(e.failure());
    }
    if (spec.kind != lpt::PortSpec::Kind::Simulated)
        usage("sim commands work on the simulated port, and PARPORT chooses " +
              std::string(spec.path.empty() ? "a real port" : spec.path) +
              " (set PARPORT=sim or PARPORT=sim:PATH)");

    auto check = [&](bool ok, const char* what) {
        if (!ok)
            usage(std::string("sim ") + std::string(cmd) + " " + what);
    };
    if (cmd == "reset") {
        check(extra == 0, "takes no argument");
        try {
            lpt::SimulatedPort::reset(spec.path);
        } catch (const lpt::PortError& e) {
            lpt::fail(e.failure());
        }
        return 0;
    }
    long value = 0;
    std::vector<std::pair<int, int>> pins;
    std::optional<std::uint64_t> since; // sim writes --since N
    bool countOnly = false;             // sim writes --count
    if (cmd == "status") {
        check(extra == 1, "needs VALUE");
        value = byteArg(argv[3], "VALUE");
    } else if (cmd == "pins") {
        check(extra >= 1, "needs Sk=0 or Sk=1 (k from 0 to 7)");
        for (int i = 3; i < argc; ++i) {
            const std::string_view a = argv[i];
            if (a.size() != 4 || (a[0] != 'S' && a[0] != 's') || a[1] < '0' || a[1] > '7' ||
                a[2] != '=' || (a[3] != '0' && a[3] != '1'))
                usage("sim pins takes Sk=0 or Sk=1 (k from 0 to 7), not '" + std::string(a) + "'");
            pins.emplace_back(a[1] - '0', a[3] - '0');
        }
    } else if (cmd == "wiring") {
        check(extra == 1 &&
                  (std::strcmp(argv[3], "open") == 0 || std::strcmp(argv[3], "loopback") == 0),
              "needs open or loopback");
    } else if (cmd == "writes") {
        countOnly = extra == 1 && std::strcmp(argv[3], "--count") == 0;
        if (extra == 2 && std::strcmp(argv[3], "--since") == 0)
            since = writeNumber(argv[4]);
        check(extra == 0 || countOnly || since, "takes --since N (N a write number) or --count");
    } else if (cmd == "reads") {
        check(extra == 0, "takes no argument");
    } else {
        usage("unknown sim command '" + std::string(cmd) + "'");
    }

    std::unique_ptr<lpt::SimulatedPort> port;
    try {
        port = lpt::SimulatedPort::open(spec.path);
    } catch (const lpt::PortError& e) {
        lpt::fail(e.failure());
    }
    if (cmd == "status") {
        port->setStatus(static_cast<std::uint8_t>(value));
    } else if (cmd == "pins") {
        int status = port->setStatusValue();
        for (auto [k, level] : pins) {
            const int bit = level ^ ((lpt::kStatusInverted >> k) & 1);
            status = bit ? status | (1 << k) : status & ~(1 << k);
        }
        port->setStatus(static_cast<std::uint8_t>(status));
    } else if (cmd == "wiring") {
        port->setWiring(std::strcmp(argv[3], "loopback") == 0 ? lpt::Wiring::Loopback
                                                              : lpt::Wiring::Open);
    } else if (cmd == "writes" && countOnly) {
        std::printf("%llu\n", static_cast<unsigned long long>(port->writeCount()));
    } else if (cmd == "writes") {
        const std::uint64_t n = port->writeCount();
        if (since && n > lpt::SimulatedPort::kLogSize && *since < n - lpt::SimulatedPort::kLogSize)
            std::fprintf(stderr,
                         "lptport: sim writes: writes %llu to %llu are no longer in the log, "
                         "which keeps the last %zu\n",
                         static_cast<unsigned long long>(*since + 1),
                         static_cast<unsigned long long>(n - lpt::SimulatedPort::kLogSize),
                         lpt::SimulatedPort::kLogSize);
        for (const auto& w : port->writesSince(since.value_or(0))) {
            if (since)
                std::printf("%llu ", static_cast<unsigned long long>(w.number));
            std::printf("%s %d\n", std::string(lpt::registerName(w.reg)).c_str(), w.value);
        }
    } else if (cmd == "reads") {
        std::printf("%llu\n", static_cast<unsigned long long>(port->statusReads()));
    }
    return 0;
}

} // namespace

int runLptport(int argc, char** argv) {
    lpt::setProgramName("lptport");
    if (argc < 2)
        usage("no command given");
    const std::string_view cmd = argv[1];
    if (cmd == "--help" || cmd == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (cmd == "--version") {
        std::printf("lptport %s\n", LPTPANEL_VERSION);
        return 0;
    }
    if (cmd == "out" || cmd == "in")
        return runSteps(argc, argv);
    if (cmd == "show") {
        if (argc != 2)
            usage("show takes no argument");
        return show();
    }
    if (cmd == "watch")
        return watch(argc, argv);
    if (cmd == "capture")
        return capture(argc, argv);
    if (cmd == "selftest")
        return selftest(argc);
    if (cmd == "sim")
        return sim(argc, argv);
    usage("unknown command '" + std::string(cmd) + "'");
}
