// SPDX-License-Identifier: MIT
// lptport's commands over the port layer. The command line is declared on
// CLI11, each command group in its own file with its positionals, options and
// checks; every argument is checked before the port is opened, and the
// callback of the command given chooses the work. The commands use the same
// driver layer and port choice (--port, else PARPORT) as the panel, and print
// stable lines for scripts (or, with --json, one JSON document).
#include "lptport/program.h"

#include "lptport/commands.h"
#include "lptport/platform.h"
#include "port/driver.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace lpt::cli {

namespace {

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

// --port's PORT: PARPORT's grammar. A value of no known form is a usage
// error; a port that cannot be found (LPT9) fails when it is opened, as it
// does from PARPORT.
const CLI::Validator kPortSpec(
    [](std::string& text) -> std::string {
        try {
            parsePortSpec(text.c_str());
        } catch (const BadPortSpec& e) {
            return "'" + text + "' is not a port: " + e.failure().cause + "; it takes " +
                   kPortForms;
        } catch (const PortError&) {
        }
        return {};
    },
    "");

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

// Only out and in may follow one another, and no word may be left over.
void checkCommands(const CLI::App& app) {
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
}

void declare(Program& program) {
    CLI::App& app = program.app;
    app.formatter(std::make_shared<Help>());
    app.get_formatter()->label("Usage", "usage");
    app.get_formatter()->label("Positionals", "Arguments");
    app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    app.get_formatter()->column_width(20);
    app.set_version_flag("--version", std::string("lptport ") + LPTPANEL_VERSION,
                         "Print the version and exit");
    app.add_option("-p,--port", program.port,
                   "Use PORT, in PARPORT's forms (overrides PARPORT)")
        ->type_name("PORT")
        ->check(kPortSpec);
    // Generated from these declarations, so it never lags behind them.
    app.add_flag_callback(
           "--bash-completion",
           [&app] {
               std::fputs(bashCompletion(commandWords(app)).c_str(), stdout);
               throw CLI::Success();
           },
           "Print the bash completion script and exit")
        ->group("");
    app.require_subcommand(1, 0); // out and in may follow one another
    app.allow_extras();
    app.footer(std::string("ADDR is 0x378 (data), 0x379 (status) or 0x37A (control); numbers "
                           "are decimal or 0x hex;\n"
                           "times take ns, us, ms or s (each command's help says what a plain "
                           "number is).\n"
                           "The port is chosen by --port PORT, else by PARPORT: ") +
               kPortForms +
               ".\n'lptport COMMAND --help' tells more of each command.\n"
               "Exit status: 0 done (selftest: every wire good), 1 port failure (selftest: a "
               "wire is not good),\n2 bad arguments.");
    // Runs once the parse is complete, before the command's own callback.
    app.parse_complete_callback([&program] {
        checkCommands(program.app);
        choosePort(program.port);
    });

    declareRegisterCommands(program);
    declareWatch(program);
    declareCapture(program);
    declarePulseAndPlay(program);
    declareSelftest(program);
    declarePorts(program);
    declareSim(program);
}

} // namespace

} // namespace lpt::cli

std::vector<lpt::CommandWords> lptportCommandWords() {
    lpt::cli::Program program;
    lpt::cli::declare(program);
    return lpt::commandWords(program.app);
}

int runLptport(int argc, char** argv) {
    using namespace lpt::cli;
    lpt::setProgramName("lptport");
    Program program;
    declare(program);
    CLI::App& app = program.app;
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
        // --port is lptport's own, whatever command follows it.
        const bool global = std::string_view(e.what()).starts_with("--port:");
        usage(global ? "" : commandPath(app), problemOf(e));
    }
    return program.work();
}
