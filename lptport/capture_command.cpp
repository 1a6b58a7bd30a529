// SPDX-License-Identifier: MIT
// lptport capture: the port as a logic analyzer, sampled into a VCD file (the
// sampling is capture.h's, the file vcd_writer.h's).
#include "lptport/capture.h"
#include "lptport/commands.h"
#include "lptport/vcd_writer.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace lpt::cli {

namespace {

/// Creates the file at path ("-" is standard output), opens the port,
/// captures, prints the summary on stderr and returns the exit status: 0 when
/// the file holds every change, 1 when a change was dropped or the file or the
/// port failed.
int captureToFile(const CaptureOptions& options, const std::string& path) {
    catchStopSignals();
    Driver& driver = currentDriver();
    Sampler sampler(driver, options.outputs);
    const bool toStdout = path == "-";
    const std::string name = toStdout ? "standard output" : path;
    std::FILE* out = toStdout ? stdout : std::fopen(path.c_str(), "wb");
    if (!out) {
        const int err = errno;
        std::fprintf(stderr,
                     "%s: capture: cannot create %s: %s. Fix: choose a file in a folder you can "
                     "write to, with -o FILE, or -o - for standard output\n",
                     programName().c_str(), path.c_str(), errnoCause(err).c_str());
        return 1;
    }
    static char buffer[1 << 16];
    std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
    std::fprintf(stderr, "%s: capture: sampling into %s%s\n", programName().c_str(), name.c_str(),
                 options.durationNs || options.samples ? "" : " until interrupted (Ctrl+C)");
    CaptureSummary summary = capture(sampler, options, out, driver.description());
    if (!toStdout && std::fclose(out) != 0 && summary.writeError.empty())
        summary.writeError = errnoCause(errno); // a file system that writes at close

    std::fprintf(stderr, "%s: %s\n", programName().c_str(), summary.text().c_str());
    int status = summary.dropped > 0 ? 1 : 0;
    if (!summary.writeError.empty()) {
        std::fprintf(stderr,
                     "%s: capture: cannot write %s: %s; the file is cut short and lacks its "
                     "end. Fix: free space on its disk or write elsewhere with -o FILE\n",
                     programName().c_str(), name.c_str(), summary.writeError.c_str());
        status = 1;
    }
    if (summary.portFailure) {
        std::fprintf(stderr, "%s: capture: %s; the file ends where the port failed\n",
                     programName().c_str(), summary.portFailure->message().c_str());
        status = 1;
    }
    return status;
}

struct CaptureArgs {
    CaptureOptions options;
    std::string path = "-";
};

} // namespace

void declareCapture(Program& program) {
    auto args = std::make_shared<CaptureArgs>();
    auto* sub =
        command(program.app, "capture", "Record every pin change as VCD, a logic analyzer",
                "Reads the status register back to back and stamps every change to the\n"
                "nanosecond, for PulseView, sigrok-cli and GTKWave, until --for, --samples or\n"
                "Ctrl+C. A summary goes to standard error.\n"
                "Example: lptport capture --outputs --for 10 -o port.vcd");
    sub->add_option("-o", args->path, "Write to FILE (- or none: standard output)")
        ->type_name("FILE");
    auto* forOpt = addDuration(
        *sub, "--for", kCaptureFor,
        "needs a time above 0 and at most 1000000s, such as 10, 0.5 or 500ms (a plain number "
        "is seconds)",
        [args](std::int64_t ns) { args->options.durationNs = ns; },
        "End after TIME, above 0 and at most 1000000s; a plain number is seconds");
    forOpt->type_name("TIME");
    auto* samplesOpt = addCount(
        *sub, "--samples", [args](std::uint64_t n) { args->options.samples = n; },
        "End after N samples (1 or more)");
    forOpt->excludes(samplesOpt);
    sub->add_flag("--outputs", args->options.outputs, "Record D0-D7 and C0-C3 too");
    sub->callback([&program, args] {
        program.work = [args] { return captureToFile(args->options, args->path); };
    });
}

} // namespace lpt::cli
