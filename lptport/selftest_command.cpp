// SPDX-License-Identifier: MIT
// lptport selftest: the loopback plug checked wire by wire (selftest.h).
#include "lptport/commands.h"
#include "lptport/selftest.h"

#include <cstdio>

namespace lpt::cli {

namespace {

int selftest() {
    SelftestOutcome outcome;
    try {
        outcome = runSelftest(currentDriver());
    } catch (const PortError& e) {
        fail(e.failure());
    }
    for (const std::string& line : selftestReport(outcome))
        std::printf("%s\n", line.c_str());
    return outcome.allGood() ? 0 : 1;
}

} // namespace

void declareSelftest(Program& program) {
    command(program.app, "selftest", "Check a loopback plug, wire by wire",
            "The plug: pins 2-15, 3-13, 4-12, 5-10, 6-11. Exit status 0 only when every\n"
            "wire is good, 1 when one is not.\n"
            "Example: PARPORT=sim lptport sim wiring loopback && PARPORT=sim lptport selftest")
        ->callback([&program] { program.work = selftest; });
}

} // namespace lpt::cli
