// SPDX-License-Identifier: MIT
// The words of lptport's command line, read from its declarations, and the
// bash completion made from them, so completion and manual page checks can
// never lag behind the commands.
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace lpt {

/// One command ("capture", "sim writes") and the words it takes.
struct CommandWords {
    std::string path;                     // "" for lptport itself
    std::vector<std::string> subcommands; // "status", "pins", ... for sim
    std::vector<std::string> options;     // every option name: "-o", "--for", "--json"
    std::vector<std::string> valued;      // the options that take a value
    std::vector<std::string> fileOptions; // the options whose value is a FILE
    std::vector<std::string> positionals; // each positional's type: "ADDR", "FILE", "open|loopback"
};

/// Every command of app, lptport itself first, the order declared.
std::vector<CommandWords> commandWords(const CLI::App& app);

/// A bash completion script for lptport: commands, options, the register
/// addresses where an ADDR goes, the choices of a positional such as
/// "open|loopback", and file names after FILE options and positionals.
std::string bashCompletion(const std::vector<CommandWords>& commands);

} // namespace lpt
