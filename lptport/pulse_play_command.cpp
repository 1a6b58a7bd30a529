// SPDX-License-Identifier: MIT
// lptport pulse and play: the port as a pattern generator (the timed writes
// are play.h's), with --realtime.
#include "lptport/commands.h"
#include "lptport/play.h"
#include "lptport/sampler.h"
#include "port/numbers.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace lpt::cli {

namespace {

void realtime(const char* command, bool asked, bool& fineSleep) {
    if (!asked)
        return;
    const RealtimeOutcome r = enableRealtime();
    fineSleep = r.granted;
    printLines(command, {r.text});
}

/// Checks the options (status 2 and one line when bad, before the port is
/// opened), opens the port, pulses, prints the summary on stderr and returns
/// the exit status: 0 done or stopped, 1 the port failed.
int pulse(const PulseOptions& options) {
    if (const std::string problem = pulseProblem(options); !problem.empty())
        usage("pulse", problem);
    bool fineSleep = false;
    realtime("pulse", options.realtime, fineSleep);
    catchStopSignals();
    Driver& port = currentDriver();
    MonotonicTimer timer(fineSleep);
    const PulseResult r = runPulse(port, options, timer);
    printLines("pulse", r.text(options));
    if (r.portFailure) {
        printLines("pulse", {r.portFailure->message()});
        return 1;
    }
    return 0;
}

/// Reads and checks the whole file first (status 2 and one line naming the
/// file, the line and the fault, before the port is opened), then plays it,
/// prints the summary on stderr and returns the exit status: 0 done or
/// stopped, 1 the port failed.
int play(const PlayOptions& options) {
    const bool stdinFile = options.path == "-";
    const std::string name = stdinFile ? "standard input" : options.path;
    std::FILE* in = stdinFile ? stdin : std::fopen(options.path.c_str(), "rb");
    if (!in)
        usage("play", "cannot open " + name + ": " + describeErrno(errno));
    PlayPlan plan;
    try {
        plan = readVcd(in);
    } catch (const VcdError& e) {
        usage("play", name + (e.line() > 0 ? ":" + std::to_string(e.line()) : "") + ": " +
                          e.what() + "; the port was not touched");
    }
    if (!stdinFile)
        std::fclose(in);
    if (options.loops > 1 && plan.endNs == 0)
        usage("play", name + " ends at time 0, so --loop has nothing to repeat");
    // Every moment must stay within the clock's 292 years.
    if (static_cast<double>(options.loops) * static_cast<double>(plan.endNs) / options.speed > 1e18)
        usage("play", "playing " + name + " " + std::to_string(options.loops) +
                          " times would take more than 30 years");

    if (!plan.ignored.empty()) {
        std::string names;
        for (const std::string& n : plan.ignored)
            names += (names.empty() ? "" : ", ") + n;
        printLines("play", {"ignored, not an output: " + names});
    }
    bool fineSleep = false;
    realtime("play", options.realtime, fineSleep);
    catchStopSignals();
    Driver& port = currentDriver();
    std::string pins;
    for (const std::string& p : plan.driven)
        pins += " " + p;
    printLines("play", {name + ": " + std::to_string(plan.changes.size()) + " changes over " +
                        formatNs(plan.endNs) + " on" + pins + "; Ctrl+C stops"});
    MonotonicTimer timer(fineSleep);
    const PlayResult r = runPlay(port, plan, options, timer);
    printLines("play", r.text(plan, options));
    if (r.portFailure) {
        printLines("play", {r.portFailure->message()});
        return 1;
    }
    return 0;
}

// The registers that drive pins.
const CLI::Validator kOutput(
    [](std::string& text) -> std::string {
        const auto v = parseNumber(text);
        if (!v || (*v != kDataPort && *v != kControlPort))
            return "must be 0x378 (data) or 0x37A (control), the registers that drive pins, not '" +
                   text + "'" + (v == kStatusPort ? " (the status register is an input)" : "");
        text = std::to_string(*v);
        return {};
    },
    "");

const std::string kWidthMust = "must be a time from 1us to 3600s such as 5ms, 250us, 2s or 0.5 "
                               "(a plain number is ms)";

struct PulseArgs {
    PulseOptions options;
    int value = 0;
};

void declarePulse(Program& program) {
    auto args = std::make_shared<PulseArgs>();
    auto* sub =
        command(program.app, "pulse", "Hold VALUE on a register for WIDTH, once or as a train",
                "Reads the register, writes VALUE, holds it for WIDTH, then writes back what it\n"
                "read (also when Ctrl+C or SIGTERM comes in the middle of a pulse). WIDTH and\n"
                "PERIOD: 5ms, 250us, 2s, 1500ns or 0.5 (a plain number is ms), from 1us to 3600s.\n"
                "--count alone pulses every 2 x WIDTH, --every alone until Ctrl+C. The widths,\n"
                "periods and lateness achieved go to standard error at the end.\n"
                "Example: lptport pulse 0x378 7 5ms --every 100ms --count 10");
    sub->add_option("ADDR", args->options.address, "0x378 (data) or 0x37A (control)")
        ->required()
        ->type_name("OUTPUT")
        ->transform(kOutput);
    sub->add_option("VALUE", args->value, "0 to 255, the register's value during a pulse")
        ->required()
        ->transform(byteValue());
    addDuration(
        *sub, "WIDTH", kPulseWidth, kWidthMust,
        [args](std::int64_t ns) { args->options.widthNs = ns; },
        "How long each pulse lasts; a plain number is ms")
        ->required()
        ->type_name("WIDTH");
    addDuration(
        *sub, "--every", kPulseWidth, kWidthMust,
        [args](std::int64_t ns) { args->options.periodNs = ns; },
        "Start a pulse every PERIOD (longer than WIDTH); a plain number is ms")
        ->type_name("PERIOD");
    addCount(
        *sub, "--count", [args](std::uint64_t n) { args->options.count = n; },
        "Pulse N times (1 or more)");
    addRealtime(*sub, args->options.realtime);
    sub->callback([&program, args] {
        program.work = [args] {
            args->options.value = static_cast<std::uint8_t>(args->value);
            return pulse(args->options);
        };
    });
}

void declarePlay(Program& program) {
    auto options = std::make_shared<PlayOptions>();
    auto* sub = command(
        program.app, "play", "Drive D0-D7 and C0-C3 from a VCD, each change at its time",
        "Wires named D0..D7 or C0..C3, alone or followed by _ (D0_pin2, as capture\n"
        "--outputs writes them), are pin levels; other wires are ignored and named once.\n"
        "The whole file is checked before the first write. At the end the outputs keep\n"
        "the file's last values; Ctrl+C stops between two changes and says how far it got.\n"
        "The lateness of the changes goes to standard error at the end.\n"
        "Example: lptport play pattern.vcd --loop 3 --speed 2");
    sub->add_option("FILE", options->path, "The VCD (- reads standard input)")
        ->required()
        ->type_name("FILE");
    addCount(
        *sub, "--loop", [options](std::uint64_t n) { options->loops = n; },
        "Play the file N times over (1 or more)");
    sub->add_option_function<std::string>(
           "--speed", [options](const std::string& text) { options->speed = *parseSpeed(text); },
           "Play FACTOR times as fast (0.001 to 1000)")
        ->type_name("FACTOR")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                return parseSpeed(text)
                           ? ""
                           : "must be a number from 0.001 to 1000, such as 2 or 0.5, not '" + text +
                                 "'";
            },
            ""));
    addRealtime(*sub, options->realtime);
    sub->callback([&program, options] { program.work = [options] { return play(*options); }; });
}

} // namespace

void declarePulseAndPlay(Program& program) {
    declarePulse(program);
    declarePlay(program);
}

} // namespace lpt::cli
