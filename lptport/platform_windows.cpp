// SPDX-License-Identifier: MIT
// lptport on Windows: sleeping in the system timer's steps, local time, the
// timer of the timed commands and --realtime (the high priority class and a
// 1 ms timer).
#include "lptport/platform.h"
#include "lptport/sampler.h"
#include "lptport/timing.h"

#include <windows.h>
// after windows.h, which it needs
#include <mmsystem.h>

namespace lpt {

const char* const kPortForms =
    "LPTn (a port in the device list: lptport ports),\n"
    "dll or dll:PATH (a port-I/O DLL), either with @0xBASE, sim, sim:PATH";

void sleepUntil(std::int64_t deadline) {
    const std::int64_t left = (deadline - monotonicNs()) / kMillisecond;
    if (left > 0)
        ::Sleep(static_cast<DWORD>(left));
}

std::tm localTime(std::time_t when) {
    std::tm local{};
    localtime_s(&local, &when);
    return local;
}

// Windows runs console control handlers on a thread of their own.
void blockStopSignals() {}

// Windows sleeps in steps of the system timer: 15.6 ms unless a 1 ms period
// was asked for, which --realtime does.
MonotonicTimer::MonotonicTimer(bool fineSleep) : spinNs_(fineSleep ? 2000000 : 16000000) {}

void MonotonicTimer::sleepBeforeSpin(std::int64_t at) {
    sleepUntil(at);
}

RealtimeOutcome enableRealtime() {
    RealtimeOutcome out;
    const bool priority = ::SetPriorityClass(::GetCurrentProcess(), HIGH_PRIORITY_CLASS) != 0;
    const bool period = ::timeBeginPeriod(1) == TIMERR_NOERROR;
    out.granted = priority && period;
    out.text = std::string("real-time: ") +
               (priority ? "high priority class" : "high priority class REFUSED") + ", " +
               (period ? "1 ms timer" : "1 ms timer REFUSED");
    return out;
}

} // namespace lpt
