// SPDX-License-Identifier: MIT
#include "lptport/sampler.h"

#include <csignal>

namespace lpt {

namespace {

volatile std::sig_atomic_t stopFlag = 0;

extern "C" void onStopSignal(int) {
    stopFlag = 1;
}

} // namespace

void catchStopSignals() {
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

bool stopRequested() {
    return stopFlag != 0;
}

} // namespace lpt
