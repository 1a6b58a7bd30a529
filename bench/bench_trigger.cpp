// SPDX-License-Identifier: MIT
// The cost of one trigger (a data write) on the port PARPORT names, in three
// ways a program can send it: through liblptport, through the port layer's
// Out32, and as one `lptport out` process per trigger. bench/bench_trigger.py
// runs this program beside the Python package's ways and prints them side by
// side:
//
//   bench_trigger WRITES PROCESSES LPTPORT_PROGRAM
//
// prints one line per way: its name, the median and the 99th percentile in ns.
#include "lptport.h"
#include "port/inpout.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Each trigger timed alone: the cost of one, as a script pays it.
template <class Trigger> void report(const char* name, int count, Trigger&& trigger) {
    std::vector<long long> ns(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        trigger(i & 255);
        ns[static_cast<std::size_t>(i)] = (Clock::now() - start).count();
    }
    std::sort(ns.begin(), ns.end());
    std::printf("%s %lld %lld\n", name, ns[ns.size() / 2], ns[ns.size() * 99 / 100]);
}

[[noreturn]] void stop(const std::string& what) {
    std::fprintf(stderr, "bench_trigger: %s\n", what.c_str());
    std::exit(1);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        stop("usage: bench_trigger WRITES PROCESSES LPTPORT_PROGRAM");
    const int writes = std::atoi(argv[1]), processes = std::atoi(argv[2]);
    if (writes < 100 || processes < 100)
        stop("WRITES and PROCESSES are counts of at least 100");

    lptport_port* port = nullptr;
    if (lptport_open(std::getenv("PARPORT"), 0, &port) != LPTPORT_OK)
        stop(lptport_last_error(LPTPORT_ERROR_MESSAGE));
    report("c_library", writes, [&](int value) {
        if (lptport_write(port, 0x378, static_cast<unsigned>(value)) != LPTPORT_OK)
            stop(lptport_last_error(LPTPORT_ERROR_MESSAGE));
    });
    lptport_close(port);

    report("out32", writes, [](int value) { Out32(0x378, static_cast<short>(value)); });

    // lptport names its port on stderr at every start: not part of the cost.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    std::string program = argv[3], out = "out", data = "0x378";
    report("process", processes, [&](int value) {
        std::string text = std::to_string(value);
        char* args[] = {program.data(), out.data(), data.data(), text.data(), nullptr};
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, program.c_str(), &quiet, nullptr, args, environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            stop("lptport out failed: " + program);
    });
    posix_spawn_file_actions_destroy(&quiet);
}
