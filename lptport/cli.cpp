// SPDX-License-Identifier: MIT
#include "lptport/cli.h"

#include "port/driver.h"
#include "port/numbers.h"

#include <cstdio>
#include <cstdlib>

namespace lpt::cli {

void usage(const std::string& command, const std::string& problem) {
    std::fprintf(stderr, "lptport: %s%s. Try 'lptport %s--help'\n",
                 command.empty() ? "" : (command + ": ").c_str(), problem.c_str(),
                 command.empty() ? "" : (command + " ").c_str());
    std::exit(2);
}

CLI::App* command(CLI::App& parent, const std::string& name, const std::string& what,
                  const std::string& more) {
    CLI::App* sub = parent.add_subcommand(name, what);
    sub->group("Commands");
    sub->allow_extras();
    sub->footer(more);
    return sub;
}

CLI::Validator numberFrom(long low, long high, const std::string& what) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            const auto v = parseNumber(text);
            if (!v || *v < low || *v > high)
                return "must be " + what + ", not '" + text + "'";
            text = std::to_string(*v);
            return {};
        },
        "");
}

CLI::Validator countFrom(std::uint64_t low, const std::string& what) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            const auto v = parseCount(text);
            if (!v || *v < low)
                return "must be " + what + ", not '" + text + "'";
            text = std::to_string(*v);
            return {};
        },
        "");
}

CLI::Validator byteValue() {
    return numberFrom(0, 255, "a number from 0 to 255 (or 0x00 to 0xFF)");
}

CLI::Option* addCount(CLI::App& app, const std::string& name,
                      std::function<void(std::uint64_t)> set, const std::string& description) {
    return app.add_option_function<std::uint64_t>(name, std::move(set), description)
        ->type_name("N")
        ->transform(countFrom(1, "a whole number, 1 or more"));
}

CLI::Option* addDuration(CLI::App& app, const std::string& name, const DurationRule& rule,
                         const std::string& must, std::function<void(std::int64_t)> set,
                         const std::string& description) {
    CLI::Option* option = app.add_option_function<std::string>(
        name, [rule, set](const std::string& text) { set(*parseDuration(text, rule)); },
        description);
    option->check(CLI::Validator(
        [rule, must](std::string& text) -> std::string {
            return parseDuration(text, rule) ? "" : must + ", not '" + text + "'";
        },
        ""));
    return option;
}

CLI::Option* addRealtime(CLI::App& app, bool& flag) {
    return app.add_flag(
        "--realtime", flag,
        "Ask for real-time scheduling and locked memory (Linux: SCHED_FIFO needs CAP_SYS_NICE, "
        "locking memory CAP_IPC_LOCK or a memlock limit, ulimit -l; either one refused is "
        "named and the command runs on without it)");
}

void printJson(const Json& doc) {
    std::printf("%s\n", doc.dump(2).c_str());
    std::fflush(stdout);
}

void printLines(const char* command, const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        std::fprintf(stderr, "%s: %s: %s\n", programName().c_str(), command, line.c_str());
}

} // namespace lpt::cli
