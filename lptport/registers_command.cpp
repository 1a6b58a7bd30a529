// SPDX-License-Identifier: MIT
// lptport out, in and show: single register writes and reads, which may
// follow one another on one open port, and the table of every pin's level.
#include "lptport/commands.h"
#include "port/inpout.h"
#include "port/numbers.h"
#include "port/registers.h"

#include <cstdio>
#include <memory>
#include <tuple>

namespace lpt::cli {

namespace {

struct Step {
    bool out;
    int address;
    int value;
};

// The steps of one command line, and the address and value of the latest out
// or in, moved into a step as each one's arguments are complete.
struct Steps {
    std::vector<Step> steps;
    int address = 0;
    int value = 0;
    bool json = false;
};

std::string bits(int v) {
    std::string s;
    for (int b = 7; b >= 0; --b)
        s += ((v >> b) & 1) ? '1' : '0';
    return s;
}

std::string hex(int v) {
    return hexAddress(static_cast<unsigned>(v));
}

int runSteps(const Steps& args) {
    Json reads = Json::array();
    for (const Step& s : args.steps) {
        if (s.out) {
            Out32(static_cast<short>(s.address), static_cast<short>(s.value));
            continue;
        }
        const int value = Inp32(static_cast<short>(s.address));
        if (args.json) {
            reads.push_back({{"address", hex(s.address)},
                             {"register", registerName(*registerAt(s.address))},
                             {"value", value},
                             {"bits", bits(value)}});
        } else {
            std::printf("%d\n", value);
            std::fflush(stdout);
        }
    }
    if (args.json)
        printJson({{"reads", reads}});
    return 0;
}

const char* direction(PinKind kind) {
    return kind == PinKind::Output ? "output" : kind == PinKind::Input ? "input" : "ground";
}

int show(bool json) {
    const int data = Inp32(kDataPort);
    const int status = Inp32(kStatusPort);
    const int control = Inp32(kControlPort);
    if (json) {
        Json registers = Json::array(), pins = Json::array();
        for (auto [name, address, value] :
             {std::tuple{"data", kDataPort, data}, std::tuple{"status", kStatusPort, status},
              std::tuple{"control", kControlPort, control}})
            registers.push_back({{"register", name},
                                 {"address", hex(address)},
                                 {"value", value},
                                 {"bits", bits(value)}});
        for (const auto& pin : connectorPins()) {
            Json p = {{"pin", pin.pin},
                      {"signal", pin.name},
                      {"inverted", pin.inverted},
                      {"direction", direction(pin.kind)}};
            p["level"] = pin.kind == PinKind::Ground ? Json(nullptr)
                                                     : Json(pinLevel(pin, data, status, control));
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
    for (const auto& pin : connectorPins()) {
        std::string name = (pin.inverted ? "/" : "") + std::string(pin.name);
        if (pin.kind == PinKind::Ground)
            std::printf("%3d  %-6s  %-9s  -\n", pin.pin, name.c_str(), direction(pin.kind));
        else
            std::printf("%3d  %-6s  %-9s  %d\n", pin.pin, name.c_str(), direction(pin.kind),
                        pinLevel(pin, data, status, control));
    }
    return 0;
}

const CLI::Validator kAddress(
    [](std::string& text) -> std::string {
        const auto v = parseNumber(text);
        if (!v || !registerAt(static_cast<int>(*v)))
            return "must be 0x378 (data), 0x379 (status) or 0x37A (control), not '" + text + "'";
        text = std::to_string(*v);
        return {};
    },
    "");

} // namespace

void declareRegisterCommands(Program& program) {
    auto args = std::make_shared<Steps>();
    // Each out and in adds its step as soon as its arguments are read (they
    // may follow one another), and the steps run in order on one open port.
    const auto step = [&program, args](bool out) {
        return [&program, args, out] {
            args->steps.push_back({out, args->address, args->value});
            program.work = [args] { return runSteps(*args); };
        };
    };

    auto* out = command(program.app, "out", "Write VALUE to the register at ADDR",
                        "out and in may follow one another and run in order on one open port: a\n"
                        "sequence that must keep the control lines as it set them runs in one "
                        "call.\nExample: lptport out 0x37A 0x0C out 0x378 0x41 in 0x379");
    out->add_option("ADDR", args->address, "Register address")
        ->required()
        ->type_name("ADDR")
        ->transform(kAddress);
    out->add_option("VALUE", args->value, "0 to 255")->required()->transform(byteValue());
    out->immediate_callback()->callback(step(true));

    auto* in = command(program.app, "in", "Read the register at ADDR, print it in decimal",
                       "out and in may follow one another; --json prints every value read as\n"
                       "one document at the end.\nExample: lptport in 0x379");
    in->add_option("ADDR", args->address, "Register address")
        ->required()
        ->type_name("ADDR")
        ->transform(kAddress);
    in->add_flag("--json", args->json, "Print the values read as one JSON document");
    in->immediate_callback()->callback(step(false));

    auto showJson = std::make_shared<bool>(false);
    auto* shown = command(program.app, "show", "Print the registers and every pin's level",
                          "Example: lptport show --json");
    shown->add_flag("--json", *showJson, "Print them as one JSON document");
    shown->callback(
        [&program, showJson] { program.work = [showJson] { return show(*showJson); }; });
}

} // namespace lpt::cli
