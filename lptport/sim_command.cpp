// SPDX-License-Identifier: MIT
// lptport sim: the other side of the simulated port's cable (its status
// inputs and wiring) and what the port file recorded (writes, reads).
#include "lptport/commands.h"
#include "port/registers.h"
#include "port/simulated.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

namespace lpt::cli {

namespace {

struct SimArgs {
    int status = 0;
    std::vector<std::string> pins;
    std::string wiring;
    std::optional<std::uint64_t> since;
    bool countOnly = false;
    bool json = false;
};

std::unique_ptr<SimulatedPort> openSim(const std::string& path) {
    try {
        return SimulatedPort::open(path);
    } catch (const PortError& e) {
        fail(e.failure());
    }
}

int writes(SimulatedPort& port, const SimArgs& args) {
    const std::uint64_t n = port.writeCount();
    if (args.countOnly) {
        if (args.json)
            printJson({{"count", n}});
        else
            std::printf("%llu\n", static_cast<unsigned long long>(n));
        return 0;
    }
    const auto since = args.since;
    if (since && n > SimulatedPort::kLogSize && *since < n - SimulatedPort::kLogSize)
        std::fprintf(stderr,
                     "lptport: sim writes: writes %llu to %llu are no longer in the log, "
                     "which keeps the last %zu\n",
                     static_cast<unsigned long long>(*since + 1),
                     static_cast<unsigned long long>(n - SimulatedPort::kLogSize),
                     SimulatedPort::kLogSize);
    Json list = Json::array();
    for (const auto& w : port.writesSince(since.value_or(0))) {
        const std::string reg(registerName(w.reg));
        if (args.json)
            list.push_back({{"number", w.number}, {"register", reg}, {"value", w.value}});
        else if (since)
            std::printf("%llu %s %d\n", static_cast<unsigned long long>(w.number), reg.c_str(),
                        w.value);
        else
            std::printf("%s %d\n", reg.c_str(), w.value);
    }
    if (args.json)
        printJson({{"count", n}, {"writes", list}});
    return 0;
}

void setPins(SimulatedPort& port, const std::vector<std::string>& pins) {
    int status = port.setStatusValue();
    for (const std::string& a : pins) {
        const int k = a[1] - '0', level = a[3] - '0';
        const int bit = level ^ ((kStatusInverted >> k) & 1);
        status = bit ? status | (1 << k) : status & ~(1 << k);
    }
    port.setStatus(static_cast<std::uint8_t>(status));
}

// The simulated port's file that the port choice names; any other choice is
// a usage error, since a sim command means nothing on a real port.
std::string simPath(const Program& program, const std::string& command) {
    const bool option = !program.port.empty();
    PortSpec spec;
    try {
        spec = parsePortSpec(option ? program.port.c_str() : std::getenv("PARPORT"),
                             option ? SpecSource::PortOption : SpecSource::Parport);
    } catch (const PortError& e) {
        fail(e);
    }
    if (spec.kind != PortSpec::Kind::Simulated)
        usage("sim " + command, std::string("sim commands work on the simulated port, and ") +
                                    (option ? "--port" : "PARPORT") + " chooses " +
                                    (spec.path.empty() ? "a real port" : spec.path) +
                                    (option ? " (give --port sim or --port sim:PATH)"
                                            : " (set PARPORT=sim or PARPORT=sim:PATH)"));
    return spec.path;
}

// A sim command's work: on the port file the port choice names.
template <class F> auto onPort(Program& program, const std::string& name, F work) {
    return [&program, name, work] {
        program.work = [&program, name, work] { return work(*openSim(simPath(program, name))); };
    };
}

} // namespace

void declareSim(Program& program) {
    auto args = std::make_shared<SimArgs>();
    auto* sim = command(program.app, "sim", "Play the other side of the simulated port's cable",
                        "For the simulated port only: PARPORT=sim or PARPORT=sim:PATH.\n"
                        "Example: PARPORT=sim lptport sim pins S6=0");
    sim->require_subcommand(1, 1);

    auto* status = command(*sim, "status", "Set the status register (what open wiring reads)",
                           "Example: lptport sim status 0x80");
    status->add_option("VALUE", args->status, "0 to 255")->required()->transform(byteValue());
    status->callback(onPort(program, "status", [args](SimulatedPort& port) {
        port.setStatus(static_cast<std::uint8_t>(args->status));
        return 0;
    }));

    auto* pins = command(
        *sim, "pins", "Set single status pins by their level",
        "S7's register bit is the complement of its pin.\nExample: lptport sim pins S6=1 S7=0");
    pins->add_option("PIN", args->pins, "Sk=0 or Sk=1, k from 0 to 7")
        ->required()
        ->type_name("Sk=0|1")
        ->check(CLI::Validator(
            [](std::string& a) -> std::string {
                const bool ok = a.size() == 4 && (a[0] == 'S' || a[0] == 's') && a[1] >= '0' &&
                                a[1] <= '7' && a[2] == '=' && (a[3] == '0' || a[3] == '1');
                return ok ? "" : "takes Sk=0 or Sk=1 (k from 0 to 7), not '" + a + "'";
            },
            ""));
    pins->callback(onPort(program, "pins", [args](SimulatedPort& port) {
        setPins(port, args->pins);
        return 0;
    }));

    auto* wiring = command(*sim, "wiring", "Wire the port open, or as a loopback plug",
                           "loopback: S3..S6 follow D0..D3 and BUSY follows D4.\nExample: "
                           "lptport sim wiring loopback");
    wiring->add_option("WIRING", args->wiring, "open or loopback")
        ->required()
        ->type_name("open|loopback")
        ->check(CLI::Validator(
            [](std::string& w) -> std::string {
                return w == "open" || w == "loopback" ? ""
                                                      : "needs open or loopback, not '" + w + "'";
            },
            ""));
    wiring->callback(onPort(program, "wiring", [args](SimulatedPort& port) {
        port.setWiring(args->wiring == "loopback" ? Wiring::Loopback : Wiring::Open);
        return 0;
    }));

    command(*sim, "reset", "Make the port fresh: data 0, control 0, status 0x7F, wiring open",
            "Example: lptport sim reset")
        ->callback([&program] {
            program.work = [&program] {
                try {
                    SimulatedPort::reset(simPath(program, "reset"));
                } catch (const PortError& e) {
                    fail(e.failure());
                }
                return 0;
            };
        });

    auto* log =
        command(*sim, "writes", "List the last 65536 register writes, oldest first",
                "One write a line (\"data 255\"); --since N lists the writes after the N-th,\neach "
                "line numbered (\"70001 data 255\").\nExample: lptport sim writes --since 70000");
    auto* since = log->add_option_function<long>(
        "--since", [args](long n) { args->since = static_cast<std::uint64_t>(n); },
        "Only the writes after the N-th, each line numbered");
    since->type_name("N")->transform(countFrom(0, "a write number"));
    auto* count =
        log->add_flag("--count", args->countOnly, "Print how many writes the port has had");
    since->excludes(count);
    log->add_flag("--json", args->json, "Print them as one JSON document");
    log->callback(
        onPort(program, "writes", [args](SimulatedPort& port) { return writes(port, *args); }));

    command(*sim, "reads", "Print how many times the status register was read",
            "Example: lptport sim reads")
        ->callback(onPort(program, "reads", [](SimulatedPort& port) {
            std::printf("%llu\n", static_cast<unsigned long long>(port.statusReads()));
            return 0;
        }));
}

} // namespace lpt::cli
