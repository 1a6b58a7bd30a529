// SPDX-License-Identifier: MIT
// lptport on Linux and other POSIX systems: sleeping on the monotonic clock,
// local time, the stop signals, the timer of the timed commands and
// --realtime (SCHED_FIFO and mlockall).
#include "lptport/platform.h"
#include "lptport/sampler.h"
#include "lptport/timing.h"
#include "port/driver.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <time.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace lpt {

const char* const kPortForms = "sim, sim:PATH, /dev/parportN, direct, direct:0xBASE";

void sleepUntil(std::int64_t deadline) {
    // steady_clock is CLOCK_MONOTONIC here; clock_nanosleep is never
    // restarted after a signal handler, so a stop request ends the wait at once.
    const timespec at{static_cast<time_t>(deadline / kSecond),
                      static_cast<long>(deadline % kSecond)};
    ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
}

std::tm localTime(std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    return local;
}

void blockStopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

MonotonicTimer::MonotonicTimer(bool) {
    // A sleeping thread wakes up to its timer slack late (50 us by default);
    // with the slack at 1 ns, wake-ups land within a few tens of us, which the
    // spin covers.
#ifdef __linux__
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    spinNs_ = 200000;
}

void MonotonicTimer::sleepBeforeSpin(std::int64_t at) {
    sleepUntil(at);
    // A machine whose wake-ups come later than the spin covers (a virtual
    // one, often) gets a longer spin from then on, up to 1 ms.
    const std::int64_t overshoot = monotonicNs() - at;
    if (overshoot > spinNs_ / 2 && !stopRequested())
        spinNs_ = std::min<std::int64_t>(std::max(spinNs_, 2 * overshoot), 1000000);
}

RealtimeOutcome enableRealtime() {
    constexpr int kPriority = 49; // below the kernel's interrupt threads (50)
    sched_param param{};
    param.sched_priority = kPriority;
    const bool fifo = ::sched_setscheduler(0, SCHED_FIFO, &param) == 0;
    const int fifoErr = errno;
    const bool locked = ::mlockall(MCL_CURRENT | MCL_FUTURE) == 0;
    const int lockErr = errno;
    RealtimeOutcome out;
    out.granted = fifo && locked;
    const std::string fifoText = "SCHED_FIFO priority " + std::to_string(kPriority);
    if (out.granted) {
        out.text = "real-time: " + fifoText + ", memory locked";
        return out;
    }
    // Each refusal names the capability it lacks, and the fix gives just those.
    out.text = "real-time: ";
    out.text +=
        fifo ? fifoText : "SCHED_FIFO refused (" + describeErrno(fifoErr) + ": needs CAP_SYS_NICE)";
    out.text += locked ? ", memory locked"
                       : ", memory lock refused (" + describeErrno(lockErr) +
                             ": needs CAP_IPC_LOCK or a memlock limit, ulimit -l, as large as "
                             "the program)";
    const std::string caps = !fifo && !locked ? "cap_sys_nice,cap_ipc_lock"
                             : !fifo          ? "cap_sys_nice"
                                              : "cap_ipc_lock";
    out.text += "; running on without it. Fix: run as root, or give the program the "
                "capabilities once: sudo setcap " +
                caps + "+ep $(which lptport)";
    return out;
}

} // namespace lpt
