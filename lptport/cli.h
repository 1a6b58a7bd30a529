// SPDX-License-Identifier: MIT
// What every command's declaration shares: the program it is declared on, the
// one usage error, the checks that turn typed numbers and times into values,
// and the output helpers. Each command group's file declares its commands on
// the program with these and does their work in a CLI11 callback.
#pragma once

#include "lptport/duration.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <functional>
#include <string>
#include <vector>

namespace lpt::cli {

using Json = nlohmann::ordered_json;

/// The command line being declared, and the work the parse chose: the
/// callback of the command given sets `work`, which runs once every argument
/// has been checked, and returns the exit status.
struct Program {
    CLI::App app{"Reads, writes, watches and tests the PC parallel port.", "lptport"};
    std::function<int()> work;
    std::string port; // --port PORT, "" when PARPORT chooses
};

/// A usage error, the one way bad arguments end lptport: one line naming the
/// problem and where the command's usage is ("Try 'lptport pulse --help'"),
/// exit status 2. command is "" for lptport itself, or "sim writes".
[[noreturn]] void usage(const std::string& command, const std::string& problem);

/// Declares a command under parent: its one line for the list, and what its
/// help says after its options (more detail, and an example).
CLI::App* command(CLI::App& parent, const std::string& name, const std::string& what,
                  const std::string& more);

/// A check that reads a number (decimal or 0x hex) from low to high and
/// rewrites the text into the decimal one CLI11 stores; `what` is the
/// message's "must be ..." part.
CLI::Validator numberFrom(long low, long high, const std::string& what);
/// A register value, 0 to 255.
CLI::Validator byteValue();
/// A check that reads a count or a write number (decimal or 0x hex) of at
/// least low and rewrites the text into the decimal one CLI11 stores.
CLI::Validator countFrom(std::uint64_t low, const std::string& what);
/// An option that takes a count N, 1 or more, handed to set.
CLI::Option* addCount(CLI::App& app, const std::string& name,
                      std::function<void(std::uint64_t)> set, const std::string& description);

/// An option or positional that takes a duration under rule: checks it (the
/// message is `must` followed by the text given) and hands the ns to set.
CLI::Option* addDuration(CLI::App& app, const std::string& name, const DurationRule& rule,
                         const std::string& must, std::function<void(std::int64_t)> set,
                         const std::string& description);

/// --realtime, as pulse and play declare it.
CLI::Option* addRealtime(CLI::App& app, bool& flag);

void printJson(const Json& doc);
/// Lines for stderr, each "lptport: COMMAND: line".
void printLines(const char* command, const std::vector<std::string>& lines);

} // namespace lpt::cli
