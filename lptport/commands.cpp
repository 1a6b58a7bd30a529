// SPDX-License-Identifier: MIT
// lptport's commands over the port layer. The command line is declared on
// CLI11, one declaration per command with its positionals, options and checks;
// every argument is checked before the port is opened. The commands use the
// same driver layer and PARPORT as the panel, and print stable lines for
// scripts (or, with --json, one JSON document).
#include "lptport/commands.h"

#include "lptport/capture.h"
#include "lptport/completion.h"
#include "lptport/play.h"
#include "lptport/ports_command.h"
#include "lptport/sampler.h"
#include "lptport/selftest.h"
#include "lptport/watch.h"
#include "port/driver.h"
#include "port/inpout.h"
#include "port/numbers.h"
#include "port/registers.h"
#include "port/simulated.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

using Json = nlohmann::ordered_json;

// A usage error is one line: what is wrong, and where that command's usage is.
[[noreturn]] void usage(const std::string& command, const std::string& problem) {
    std::fprintf(stderr, "lptport: %s%s. Try 'lptport %s--help'\n",
                 command.empty() ? "" : (command + ": ").c_str(), problem.c_str(),
                 command.empty() ? "" : (command + " ").c_str());
    std::exit(2);
}

void printJson(const Json& doc) {
    std::printf("%s\n", doc.dump(2).c_str());
    std::fflush(stdout);
}

// A check that also rewrites the text into the decimal number CLI11 stores.
CLI::Validator numberFrom(long low, long high, const std::string& what) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            const auto v = lpt::parseNumber(text);
            if (!v || *v < low || *v > high)
                return "must be " + what + ", not '" + text + "'";
            text = std::to_string(*v);
            return {};
        },
        "");
}

const CLI::Validator kByte = numberFrom(0, 255, "a number from 0 to 255 (or 0x00 to 0xFF)");

const CLI::Validator kAddress(
    [](std::string& text) -> std::string {
        const auto v = lpt::parseNumber(text);
        if (!v || !lpt::registerAt(static_cast<int>(*v)))
            return "must be 0x378 (data), 0x379 (status) or 0x37A (control), not '" + text + "'";
        text = std::to_string(*v);
        return {};
    },
    "");

// The registers that drive pins, for pulse: data and control.
const CLI::Validator kOutput(
    [](std::string& text) -> std::string {
        const auto v = lpt::parseNumber(text);
        if (!v || (*v != lpt::kDataPort && *v != lpt::kControlPort))
            return "must be 0x378 (data) or 0x37A (control), the registers that drive pins, not '" +
                   text + "'" + (v == lpt::kStatusPort ? " (the status register is an input)" : "");
        text = std::to_string(*v);
        return {};
    },
    "");

// A WIDTH or PERIOD: 5ms, 250us, 2s, a plain number of ms.
const CLI::Validator kDuration(
    [](std::string& text) -> std::string {
        return lpt::parseDuration(text) ? ""
                                        : "must be a time from 1us to 3600s such as 5ms, 250us, "
                                          "2s or 0.5 (a plain number is ms), not '" +
                                              text + "'";
    },
    "");

const CLI::Validator kCount(
    [](std::string& text) -> std::string {
        return lpt::parseCount(text) ? ""
                                     : "must be a whole number from 1 to 10^15, not '" + text + "'";
    },
    "");

std::string bits(int v) {
    std::string s;
    for (int b = 7; b >= 0; --b)
        s += ((v >> b) & 1) ? '1' : '0';
    return s;
}

std::string hex(int v) {
    return lpt::hexAddress(static_cast<unsigned>(v));
}

// ---- the work of each command ----------------------------------------------

struct Step {
    bool out;
    int address;
    int value;
};

int runSteps(const std::vector<Step>& steps, bool json) {
    Json reads = Json::array();
    for (const Step& s : steps) {
        if (s.out) {
            Out32(static_cast<short>(s.address), static_cast<short>(s.value));
            continue;
        }
        const int value = Inp32(static_cast<short>(s.address));
        if (json) {
            reads.push_back({{"address", hex(s.address)},
                             {"register", lpt::registerName(*lpt::registerAt(s.address))},
                             {"value", value},
                             {"bits", bits(value)}});
        } else {
            std::printf("%d\n", value);
            std::fflush(stdout);
        }
    }
    if (json)
        printJson({{"reads", reads}});
    return 0;
}

const char* direction(lpt::PinKind kind) {
    return kind == lpt::PinKind::Output  ? "output"
           : kind == lpt::PinKind::Input ? "input"
                                         : "ground";
}

int show(bool json) {
    const int data = Inp32(lpt::kDataPort);
    const int status = Inp32(lpt::kStatusPort);
    const int control = Inp32(lpt::kControlPort);
    if (json) {
        Json registers = Json::array(), pins = Json::array();
        for (auto [name, address, value] : {std::tuple{"data", lpt::kDataPort, data},
                                            std::tuple{"status", lpt::kStatusPort, status},
                                            std::tuple{"control", lpt::kControlPort, control}})
            registers.push_back({{"register", name},
                                 {"address", hex(address)},
                                 {"value", value},
                                 {"bits", bits(value)}});
        for (const auto& pin : lpt::connectorPins()) {
            Json p = {{"pin", pin.pin},
                      {"signal", pin.name},
                      {"inverted", pin.inverted},
                      {"direction", direction(pin.kind)}};
            p["level"] = pin.kind == lpt::PinKind::Ground
                             ? Json(nullptr)
                             : Json(lpt::pinLevel(pin, data, status, control));
            pins.push_back(p);
        }
        printJson({{"registers", registers}, {"pins", pins}});
        return 0;
    }
    std::printf("register  address  value  bits\n");
    std::printf("data      0x378    %5d  %s\n", data, bits(data).c_str());
    std::printf("status    0x379    %5d  %s\n", status, bits(status).c_str());
    std::printf("control   0x37A    %5d  %s\n", control, bits(control).c_str());
    std::printf("\npin  signal  direction  level\n");
    for (const auto& pin : lpt::connectorPins()) {
        std::string name = (pin.inverted ? "/" : "") + std::string(pin.name);
        if (pin.kind == lpt::PinKind::Ground)
            std::printf("%3d  %-6s  %-9s  -\n", pin.pin, name.c_str(), direction(pin.kind));
        else
            std::printf("%3d  %-6s  %-9s  %d\n", pin.pin, name.c_str(), direction(pin.kind),
                        lpt::pinLevel(pin, data, status, control));
    }
    return 0;
}

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

int watch(long intervalMs) {
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

int selftest() {
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

std::unique_ptr<lpt::SimulatedPort> openSim(const std::string& path) {
    try {
        return lpt::SimulatedPort::open(path);
    } catch (const lpt::PortError& e) {
        lpt::fail(e.failure());
    }
}

struct SimWrites {
    std::optional<std::uint64_t> since;
    bool countOnly = false;
    bool json = false;
};

int simWrites(lpt::SimulatedPort& port, const SimWrites& args) {
    const std::uint64_t n = port.writeCount();
    if (args.countOnly) {
        if (args.json)
            printJson({{"count", n}});
        else
            std::printf("%llu\n", static_cast<unsigned long long>(n));
        return 0;
    }
    const auto since = args.since;
    if (since && n > lpt::SimulatedPort::kLogSize && *since < n - lpt::SimulatedPort::kLogSize)
        std::fprintf(stderr,
                     "lptport: sim writes: writes %llu to %llu are no longer in the log, "
                     "which keeps the last %zu\n",
                     static_cast<unsigned long long>(*since + 1),
                     static_cast<unsigned long long>(n - lpt::SimulatedPort::kLogSize),
                     lpt::SimulatedPort::kLogSize);
    Json writes = Json::array();
    for (const auto& w : port.writesSince(since.value_or(0))) {
        const std::string reg(lpt::registerName(w.reg));
        if (args.json)
            writes.push_back({{"number", w.number}, {"register", reg}, {"value", w.value}});
        else if (since)
            std::printf("%llu %s %d\n", static_cast<unsigned long long>(w.number), reg.c_str(),
                        w.value);
        else
            std::printf("%s %d\n", reg.c_str(), w.value);
    }
    if (args.json)
        printJson({{"count", n}, {"writes", writes}});
    return 0;
}

// ---- the declarations --------------------------------------------------------

#ifdef _WIN32
constexpr const char* kPortForms =
    "LPTn (a port in the device list: lptport ports),\n"
    "dll or dll:PATH (a port-I/O DLL), either with @0xBASE, sim, sim:PATH";
#else
constexpr const char* kPortForms = "sim, sim:PATH, /dev/parportN, direct, direct:0xBASE";
#endif

// Help starts with the usage line, as it always has; CLI11's own puts the
// description first.
class Help : public CLI::Formatter {
public:
    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override {
        if (mode == CLI::AppFormatMode::Sub)
            return make_expanded(app);
        std::string out = make_usage(app, name);
        if (!app->get_description().empty())
            out += app->get_description() + "\n";
        out += make_positionals(app) + make_groups(app, mode) + make_subcommands(app, mode);
        out += "\n" + make_footer(app);
        for (std::size_t gap; (gap = out.find("\n\n\n")) != std::string::npos;)
            out.erase(gap, 1);
        return out;
    }
    // An option's value by its name only ("--for SECONDS"); which options
    // exclude each other is said where it matters, in the error.
    std::string make_option_opts(const CLI::Option* opt) const override {
        if (opt->get_positional() || opt->get_expected_max() == 0)
            return {};
        return " " + opt->get_type_name();
    }
};

// Everything one command line asks for, filled in by the parse.
struct Request {
    std::vector<Step> steps;
    bool json = false;
    long watchMs = 10;
    lpt::CaptureOptions capture;
    std::string capturePath = "-";
    int simStatus = 0;
    std::vector<std::string> simPins;
    std::string wiring;
    SimWrites writes;
    lpt::PulseOptions pulse;
    int pulseValue = 0;
    lpt::PlayOptions play;
};

// The address and value of the latest out or in, moved into a step as each
// one's arguments are complete (they may follow one another).
struct StepArgs {
    int address = 0;
    int value = 0;
};

struct CommandLine {
    CLI::App app{"Reads, writes, watches and tests the PC parallel port.", "lptport"};
    Request req;
    StepArgs stepArgs;

    CommandLine() {
        app.formatter(std::make_shared<Help>());
        app.get_formatter()->label("Usage", "usage");
        app.get_formatter()->label("Positionals", "Arguments");
        app.get_formatter()->label("SUBCOMMAND", "COMMAND");
        app.get_formatter()->column_width(20);
        app.set_version_flag("--version", std::string("lptport ") + LPTPANEL_VERSION,
                             "Print the version and exit");
        // Generated from these declarations, so it never lags behind them.
        app.add_flag_callback(
               "--bash-completion",
               [this] {
                   std::fputs(lpt::bashCompletion(lpt::commandWords(app)).c_str(), stdout);
                   throw CLI::Success();
               },
               "Print the bash completion script and exit")
            ->group("");
        app.require_subcommand(1, 0); // out and in may follow one another
        app.allow_extras();
        app.footer(
            std::string("ADDR is 0x378 (data), 0x379 (status) or 0x37A (control); numbers are "
                        "decimal or 0x hex.\n"
                        "The port is chosen by PARPORT: ") +
            kPortForms +
            ".\n'lptport COMMAND --help' tells more of each command.\n"
            "Exit status: 0 done (selftest: every wire good), 1 port failure (selftest: a "
            "wire is not good),\n2 bad arguments.");

        auto* out =
            command("out", "Write VALUE to the register at ADDR",
                    "out and in may follow one another and run in order on one open port: a\n"
                    "sequence that must keep the control lines as it set them runs in one call.\n"
                    "Example: lptport out 0x37A 0x0C out 0x378 0x41 in 0x379");
        out->add_option("ADDR", stepArgs.address, "Register address")
            ->required()
            ->type_name("ADDR")
            ->transform(kAddress);
        out->add_option("VALUE", stepArgs.value, "0 to 255")->required()->transform(kByte);
        out->immediate_callback()->callback([this] {
            req.steps.push_back({true, stepArgs.address, stepArgs.value});
        });

        auto* in = command("in", "Read the register at ADDR, print it in decimal",
                           "out and in may follow one another; --json prints every value read as\n"
                           "one document at the end.\nExample: lptport in 0x379");
        in->add_option("ADDR", stepArgs.address, "Register address")
            ->required()
            ->type_name("ADDR")
            ->transform(kAddress);
        in->add_flag("--json", req.json, "Print the values read as one JSON document");
        in->immediate_callback()->callback([this] {
            req.steps.push_back({false, stepArgs.address, 0});
        });

        auto* show = command("show", "Print the registers and every pin's level",
                             "Example: lptport show --json");
        show->add_flag("--json", req.json, "Print them as one JSON document");

        auto* watch = command(
            "watch", "Print a timed line per input change, until stopped",
            "On the simulated port every register change too. Ctrl+C or SIGTERM ends it\n"
            "(exit status 0); each line is flushed as it is printed.\nExample: lptport watch 50");
        watch->add_option("INTERVAL_MS", req.watchMs, "Poll interval, 1 to 60000 (default 10)")
            ->transform(numberFrom(1, 60000, "a number from 1 to 60000"));

        auto* capture =
            command("capture", "Record every pin change as VCD, a logic analyzer",
                    "Reads the status register back to back and stamps every change to the\n"
                    "nanosecond, for PulseView, sigrok-cli and GTKWave, until --for, --samples or\n"
                    "Ctrl+C. A summary goes to standard error.\n"
                    "Example: lptport capture --outputs --for 10 -o port.vcd");
        capture->add_option("-o", req.capturePath, "Write to FILE (- or none: standard output)")
            ->type_name("FILE");
        auto* forOpt = capture->add_option_function<std::string>(
            "--for",
            [this](const std::string& text) { req.capture.durationNs = lpt::parseSeconds(text); },
            "End after SECONDS (above 0, at most 1000000, such as 10 or 0.5)");
        forOpt->type_name("SECONDS")->check(CLI::Validator(
            [](std::string& text) -> std::string {
                return lpt::parseSeconds(text)
                           ? ""
                           : "needs SECONDS above 0 and at most 1000000, such as 10 or 0.5, not '" +
                                 text + "'";
            },
            ""));
        auto* samplesOpt = capture->add_option_function<std::string>(
            "--samples",
            [this](const std::string& text) { req.capture.samples = lpt::parseCount(text); },
            "End after N samples (1 to 10^15)");
        samplesOpt->type_name("N")->check(CLI::Validator(
            [](std::string& text) -> std::string {
                return lpt::parseCount(text)
                           ? ""
                           : "needs a whole number from 1 to 10^15, not '" + text + "'";
            },
            ""));
        forOpt->excludes(samplesOpt);
        capture->add_flag("--outputs", req.capture.outputs, "Record D0-D7 and C0-C3 too");

        auto* pulse = command(
            "pulse", "Hold VALUE on a register for WIDTH, once or as a train",
            "Reads the register, writes VALUE, holds it for WIDTH, then writes back what it\n"
            "read (also when Ctrl+C or SIGTERM comes in the middle of a pulse). WIDTH and\n"
            "PERIOD: 5ms, 250us, 2s or 0.5 (a plain number is ms), from 1us to 3600s. --count\n"
            "alone pulses every 2 x WIDTH, --every alone until Ctrl+C. The widths, periods and\n"
            "lateness achieved go to standard error at the end.\n"
            "Example: lptport pulse 0x378 7 5ms --every 100ms --count 10");
        pulse->add_option("ADDR", req.pulse.address, "0x378 (data) or 0x37A (control)")
            ->required()
            ->type_name("OUTPUT")
            ->transform(kOutput);
        pulse->add_option("VALUE", req.pulseValue, "0 to 255, the register's value during a pulse")
            ->required()
            ->transform(kByte);
        pulse
            ->add_option_function<std::string>(
                "WIDTH",
                [this](const std::string& text) { req.pulse.widthNs = *lpt::parseDuration(text); },
                "How long each pulse lasts")
            ->required()
            ->type_name("WIDTH")
            ->check(kDuration);
        pulse
            ->add_option_function<std::string>(
                "--every",
                [this](const std::string& text) { req.pulse.periodNs = lpt::parseDuration(text); },
                "Start a pulse every PERIOD (longer than WIDTH)")
            ->type_name("PERIOD")
            ->check(kDuration);
        pulse
            ->add_option_function<std::string>(
                "--count",
                [this](const std::string& text) { req.pulse.count = lpt::parseCount(text); },
                "Pulse N times (1 to 10^15)")
            ->type_name("N")
            ->check(kCount);
        pulse->add_flag("--realtime", req.pulse.realtime,
                        "Ask for real-time scheduling and locked memory (Linux: CAP_SYS_NICE)");

        auto* play = command(
            "play", "Drive D0-D7 and C0-C3 from a VCD, each change at its time",
            "Wires named D0..D7 or C0..C3, alone or followed by _ (D0_pin2, as capture\n"
            "--outputs writes them), are pin levels; other wires are ignored and named once.\n"
            "The whole file is checked before the first write. At the end the outputs keep\n"
            "the file's last values; Ctrl+C stops between two changes and says how far it got.\n"
            "The lateness of the changes goes to standard error at the end.\n"
            "Example: lptport play pattern.vcd --loop 3 --speed 2");
        play->add_option("FILE", req.play.path, "The VCD (- reads standard input)")
            ->required()
            ->type_name("FILE");
        play->add_option_function<std::string>(
                "--loop",
                [this](const std::string& text) { req.play.loops = *lpt::parseCount(text); },
                "Play the file N times over (1 to 10^15)")
            ->type_name("N")
            ->check(kCount);
        play->add_option_function<std::string>(
                "--speed",
                [this](const std::string& text) { req.play.speed = *lpt::parseSpeed(text); },
                "Play FACTOR times as fast (0.001 to 1000)")
            ->type_name("FACTOR")
            ->check(CLI::Validator(
                [](std::string& text) -> std::string {
                    return lpt::parseSpeed(text)
                               ? ""
                               : "must be a number from 0.001 to 1000, such as 2 or 0.5, not '" +
                                     text + "'";
                },
                ""));
        play->add_flag("--realtime", req.play.realtime,
                       "Ask for real-time scheduling and locked memory (Linux: CAP_SYS_NICE)");

        command("selftest", "Check a loopback plug, wire by wire",
                "The plug: pins 2-15, 3-13, 4-12, 5-10, 6-11. Exit status 0 only when every\n"
                "wire is good, 1 when one is not.\n"
                "Example: PARPORT=sim lptport sim wiring loopback && PARPORT=sim lptport selftest");

        auto* ports = command(
            "ports", "List this machine's parallel ports and how to reach each",
            "One line per port: name, node, base, I/O ranges, modes, the PARPORT value that\n"
            "reaches it; a line for a port this user cannot open, with the fix; last the port\n"
            "PARPORT unset chooses, and why. Opens no port.\nExample: lptport ports");
        ports->add_flag("--json", req.json, "Print them as one JSON document");

        auto* sim = command("sim", "Play the other side of the simulated port's cable",
                            "For the simulated port only: PARPORT=sim or PARPORT=sim:PATH.\n"
                            "Example: PARPORT=sim lptport sim pins S6=0");
        sim->require_subcommand(1, 1);
        auto* status = command(sim, "status", "Set the status register (what open wiring reads)",
                               "Example: lptport sim status 0x80");
        status->add_option("VALUE", req.simStatus, "0 to 255")->required()->transform(kByte);
        auto* pins = command(
            sim, "pins", "Set single status pins by their level",
            "S7's register bit is the complement of its pin.\nExample: lptport sim pins S6=1 S7=0");
        pins->add_option("PIN", req.simPins, "Sk=0 or Sk=1, k from 0 to 7")
            ->required()
            ->type_name("Sk=0|1")
            ->check(CLI::Validator(
                [](std::string& a) -> std::string {
                    const bool ok = a.size() == 4 && (a[0] == 'S' || a[0] == 's') && a[1] >= '0' &&
                                    a[1] <= '7' && a[2] == '=' && (a[3] == '0' || a[3] == '1');
                    return ok ? "" : "takes Sk=0 or Sk=1 (k from 0 to 7), not '" + a + "'";
                },
                ""));
        auto* wiring = command(sim, "wiring", "Wire the port open, or as a loopback plug",
                               "loopback: S3..S6 follow D0..D3 and BUSY follows D4.\nExample: "
                               "lptport sim wiring loopback");
        wiring->add_option("WIRING", req.wiring, "open or loopback")
            ->required()
            ->type_name("open|loopback")
            ->check(CLI::Validator(
                [](std::string& w) -> std::string {
                    return w == "open" || w == "loopback"
                               ? ""
                               : "needs open or loopback, not '" + w + "'";
                },
                ""));
        command(sim, "reset", "Make the port fresh: data 0, control 0, status 0x7F, wiring open",
                "Example: lptport sim reset");
        auto* writes = command(
            sim, "writes", "List the last 65536 register writes, oldest first",
            "One write a line (\"data 255\"); --since N lists the writes after the N-th,\neach "
            "line numbered (\"70001 data 255\").\nExample: lptport sim writes --since 70000");
        auto* since = writes->add_option_function<std::string>(
            "--since", [this](const std::string& text) { req.writes.since = writeNumber(text); },
            "Only the writes after the N-th, each line numbered");
        since->type_name("N")->check(CLI::Validator(
            [](std::string& text) -> std::string {
                return writeNumber(text) ? "" : "needs a write number, not '" + text + "'";
            },
            ""));
        auto* count = writes->add_flag("--count", req.writes.countOnly,
                                       "Print how many writes the port has had");
        since->excludes(count);
        writes->add_flag("--json", req.writes.json, "Print them as one JSON document");
        command(sim, "reads", "Print how many times the status register was read",
                "Example: lptport sim reads");
    }

    // A command: its one line for the list, and what its help says after
    // its options (more detail, and an example).
    CLI::App* command(const std::string& name, const std::string& what, const std::string& more) {
        return command(&app, name, what, more);
    }
    static CLI::App* command(CLI::App* parent, const std::string& name, const std::string& what,
                             const std::string& more) {
        CLI::App* sub = parent->add_subcommand(name, what);
        sub->group("Commands");
        sub->allow_extras();
        sub->footer(more);
        return sub;
    }

    // A write number for sim writes --since: decimal or 0x hex, up to 2^64 - 1.
    static std::optional<std::uint64_t> writeNumber(std::string_view text) {
        const bool hexadecimal = text.starts_with("0x") || text.starts_with("0X");
        if (hexadecimal)
            text.remove_prefix(2);
        std::uint64_t v = 0;
        const auto [end, err] =
            std::from_chars(text.data(), text.data() + text.size(), v, hexadecimal ? 16 : 10);
        if (text.empty() || err != std::errc() || end != text.data() + text.size())
            return std::nullopt;
        return v;
    }
};

// The command a parse reached last ("capture", "sim writes"), for the usage line.
std::string commandPath(const CLI::App& app) {
    std::string path;
    for (const CLI::App* a = &app; !a->get_subcommands().empty();) {
        a = a->get_subcommands().back();
        path += (path.empty() ? "" : " ") + a->get_name();
    }
    return path;
}

// CLI11's words for a problem, where ours say more.
std::string problemOf(const CLI::ParseError& e) {
    const std::string text = e.what();
    if (text.starts_with("A subcommand"))
        return "needs a command";
    if (dynamic_cast<const CLI::ExcludesError*>(&e))
        return text + ": give one of them, not both";
    return text;
}

// Words the command line left over, as the one usage line that names them.
void refuseExtras(const CLI::App& app, const std::string& path) {
    const auto extras = app.remaining();
    if (extras.empty())
        return;
    if (path.empty())
        usage("", "unknown command '" + extras.front() + "'");
    usage(path, "unexpected '" + extras.front() + "'");
}

int sim(const CommandLine& line, const CLI::App& simApp) {
    const std::string cmd = simApp.get_subcommands().front()->get_name();
    lpt::PortSpec spec;
    try {
        spec = lpt::parsePortSpec(std::getenv("PARPORT"));
    } catch (const lpt::PortError& e) {
        lpt::fail(e);
    }
    if (spec.kind != lpt::PortSpec::Kind::Simulated)
        usage("sim " + cmd, "sim commands work on the simulated port, and PARPORT chooses " +
                                std::string(spec.path.empty() ? "a real port" : spec.path) +
                                " (set PARPORT=sim or PARPORT=sim:PATH)");
    const Request& req = line.req;
    if (cmd == "reset") {
        try {
            lpt::SimulatedPort::reset(spec.path);
        } catch (const lpt::PortError& e) {
            lpt::fail(e.failure());
        }
        return 0;
    }
    auto port = openSim(spec.path);
    if (cmd == "status") {
        port->setStatus(static_cast<std::uint8_t>(req.simStatus));
    } else if (cmd == "pins") {
        int status = port->setStatusValue();
        for (const std::string& a : req.simPins) {
            const int k = a[1] - '0', level = a[3] - '0';
            const int bit = level ^ ((lpt::kStatusInverted >> k) & 1);
            status = bit ? status | (1 << k) : status & ~(1 << k);
        }
        port->setStatus(static_cast<std::uint8_t>(status));
    } else if (cmd == "wiring") {
        port->setWiring(req.wiring == "loopback" ? lpt::Wiring::Loopback : lpt::Wiring::Open);
    } else if (cmd == "writes") {
        return simWrites(*port, req.writes);
    } else if (cmd == "reads") {
        std::printf("%llu\n", static_cast<unsigned long long>(port->statusReads()));
    }
    return 0;
}

} // namespace

std::vector<lpt::CommandWords> lptportCommandWords() {
    CommandLine line;
    return lpt::commandWords(line.app);
}

int runLptport(int argc, char** argv) {
    lpt::setProgramName("lptport");
    CommandLine line;
    CLI::App& app = line.app;
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::RequiredError& e) {
        // A command that needs one of its own ("sim"), or lptport with none:
        // a word left over is the command it does not know.
        const std::string path = commandPath(app);
        const CLI::App* last = &app;
        while (!last->get_subcommands().empty())
            last = last->get_subcommands().back();
        if (!last->remaining().empty())
            usage(path, "unknown command '" + last->remaining().front() + "'");
        usage(path, path.empty() ? "no command given" : problemOf(e));
    } catch (const CLI::ParseError& e) {
        usage(commandPath(app), problemOf(e));
    }

    // Only out and in may follow one another.
    const auto used = app.get_subcommands();
    const std::string first = used.front()->get_name();
    for (const CLI::App* sub : used) {
        const bool step = sub->get_name() == "out" || sub->get_name() == "in";
        if (used.size() > 1 && !step)
            usage(first, "only out and in may follow one another, not '" + sub->get_name() + "'");
    }
    refuseExtras(app, "");
    for (const CLI::App* sub : used) {
        refuseExtras(*sub, sub->get_name());
        for (const CLI::App* subsub : sub->get_subcommands())
            refuseExtras(*subsub, sub->get_name() + " " + subsub->get_name());
    }

    const Request& req = line.req;
    if (first == "out" || first == "in")
        return runSteps(req.steps, req.json);
    if (first == "show")
        return show(req.json);
    if (first == "watch")
        return watch(req.watchMs);
    if (first == "capture")
        return lpt::captureCommand(req.capture, req.capturePath);
    if (first == "pulse") {
        lpt::PulseOptions pulse = req.pulse;
        pulse.value = static_cast<std::uint8_t>(req.pulseValue);
        return lpt::pulseCommand(pulse);
    }
    if (first == "play")
        return lpt::playCommand(req.play);
    if (first == "selftest")
        return selftest();
    if (first == "ports")
        return lpt::portsCommand(req.json);
    return sim(line, *used.front());
}
