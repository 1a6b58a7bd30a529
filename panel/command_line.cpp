// SPDX-License-Identifier: MIT
#include "panel/command_line.h"

#include "panel/error_report.h"
#include "port/driver.h"
#include "port/manual.h"

#include <QCommandLineParser>

namespace panel {

namespace {

[[noreturn]] void usageError(const QString& what, std::string cause = {}) {
    reportFailure({what.toStdString(), std::move(cause),
                   "start lptpanel without options, or with --port PORT, PORT as PARPORT takes it",
                   lpt::kPagePorts},
                  2);
}

} // namespace

void takeCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription("The parallel port control panel.");
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption port(
        {"p", "port"}, "Use PORT (PARPORT's forms, which it overrides).", "PORT");
    parser.addOption(port);
    if (!parser.parse(arguments)) {
        QString what = parser.errorText(); // "Unknown option 'x'."
        if (what.endsWith('.'))
            what.chop(1);
        usageError(what);
    }
    if (parser.isSet(help))
        parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty())
        usageError("unexpected argument '" + parser.positionalArguments().front() + "'");
    if (!parser.isSet(port))
        return;
    const std::string spec = parser.value(port).toStdString();
    if (spec.empty())
        usageError("--port needs a port", "it was given an empty one");
    try {
        // Only the form is checked here: the port is opened at the first access.
        lpt::parsePortSpec(spec.c_str(), lpt::SpecSource::PortOption);
    } catch (const lpt::BadPortSpec& e) {
        reportFailure(e.failure(), 2);
    } catch (const lpt::PortError&) {
        // A port the system does not list (LPTn): reported when it is opened.
    }
    lpt::choosePort(spec);
}

} // namespace panel
