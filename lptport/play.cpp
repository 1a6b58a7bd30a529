// SPDX-License-Identifier: MIT
#include "lptport/play.h"

#include "lptport/sampler.h"
#include "port/numbers.h"
#include "port/registers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace lpt {

namespace {

/// Keeps the deviation farthest from 0: "+14.2 us" beats "-3.1 us".
void widest(std::int64_t& deviation, std::int64_t d) {
    if (std::llabs(d) > std::llabs(deviation))
        deviation = d;
}

std::string registerText(int address) {
    return std::string(registerName(*registerAt(address))) + " (" +
           hexAddress(static_cast<unsigned>(address)) + ")";
}

} // namespace

std::string pulseProblem(const PulseOptions& o) {
    if (o.address != kDataPort && o.address != kControlPort)
        return "ADDR must be 0x378 (data) or 0x37A (control), the registers that drive pins";
    if (o.widthNs < 1000)
        return "WIDTH must be at least 1us";
    if (o.periodNs && *o.periodNs <= o.widthNs)
        return "--every must be longer than WIDTH, so the register is back at its value "
               "between pulses";
    return "";
}

PulseResult runPulse(Driver& port, const PulseOptions& o, Timer& timer) {
    PulseResult r;
    const Register reg = *registerAt(o.address);
    const std::int64_t period = o.periodNs.value_or(2 * o.widthNs);
    const std::uint64_t count = o.count.value_or(o.periodNs ? UINT64_MAX : 1);
    bool on = false;
    try {
        r.restored = port.read(reg);
        const std::int64_t start = timer.now();
        std::int64_t lastOn = 0;
        for (std::uint64_t k = 0; k < count; ++k) {
            const std::int64_t plannedOn = start + static_cast<std::int64_t>(k) * period;
            if (!timer.waitUntil(plannedOn)) {
                r.stopped = true;
                break;
            }
            port.write(reg, o.value);
            on = true;
            const std::int64_t tOn = timer.now();
            r.lateness.add(tOn - plannedOn);
            ++r.started;
            if (k > 0) {
                r.periodSum += tOn - lastOn;
                widest(r.periodDeviation, tOn - lastOn - period);
            }
            lastOn = tOn;
            const bool whole = timer.waitUntil(tOn + o.widthNs);
            port.write(reg, static_cast<std::uint8_t>(r.restored));
            on = false;
            if (!whole) {
                r.stopped = true;
                break;
            }
            const std::int64_t tOff = timer.now();
            r.lateness.add(tOff - (tOn + o.widthNs));
            r.widthSum += tOff - tOn;
            widest(r.widthDeviation, tOff - tOn - o.widthNs);
            ++r.pulses;
        }
    } catch (const PortError& e) {
        r.portFailure = e.failure();
        if (on) {
            try { // the port may still take the value back
                port.write(reg, static_cast<std::uint8_t>(r.restored));
            } catch (const PortError&) {
            }
        }
    }
    return r;
}

std::vector<std::string> PulseResult::text(const PulseOptions& o) const {
    std::string first = std::to_string(pulses) + (pulses == 1 ? " pulse" : " pulses") + " on " +
                        registerText(o.address) + ", " + std::to_string(o.value) + " and back to " +
                        std::to_string(restored);
    if (pulses > 0)
        first += ": width " + formatNs(widthSum / static_cast<std::int64_t>(pulses)) +
                 " mean, largest deviation " + formatMicros(widthDeviation, true);
    if (started > 1) // a pulse cut short still ends a period
        first += "; period " + formatNs(periodSum / static_cast<std::int64_t>(started - 1)) +
                 " mean, largest deviation " + formatMicros(periodDeviation, true);
    std::vector<std::string> lines{first};
    lines.push_back("lateness of " + std::to_string(lateness.count()) +
                    " writes: " + lateness.text());
    if (stopped)
        lines.push_back("stopped by a signal; the register is back at " + std::to_string(restored));
    return lines;
}

std::optional<double> parseSpeed(std::string_view text) {
    double v = 0;
    const auto r =
        std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() ||
        !(v >= 0.001 && v <= 1000))
        return std::nullopt;
    return v;
}

PlayResult runPlay(Driver& port, const PlayPlan& plan, const PlayOptions& o, Timer& timer) {
    PlayResult r;
    r.planned = plan.changes.size() * o.loops;
    std::uint8_t dataSet = 0, controlSet = 0; // the registers the file drives
    for (const PlayChange& c : plan.changes) {
        dataSet |= c.dataSet;
        controlSet |= c.controlSet;
    }
    const auto due = [&](std::uint64_t loop, std::int64_t t) {
        const double fileNs =
            static_cast<double>(loop) * static_cast<double>(plan.endNs) + static_cast<double>(t);
        return static_cast<std::int64_t>(std::llround(fileNs / o.speed));
    };
    std::int64_t start = 0;
    try {
        const int dataBefore = dataSet ? port.read(Register::Data) : 0;
        const int controlBefore = controlSet ? port.read(Register::Control) : 0;
        start = r.startNs = timer.now();
        for (std::uint64_t loop = 0; loop < o.loops && !r.stopped; ++loop) {
            r.loop = loop;
            for (const PlayChange& c : plan.changes) {
                const std::int64_t planned = start + due(loop, c.t);
                if (!timer.waitUntil(planned)) {
                    r.stopped = true;
                    break;
                }
                const int data = (dataBefore & ~c.dataSet) | (c.data & c.dataSet);
                const int control = (controlBefore & ~c.controlSet) | (c.control & c.controlSet);
                if (dataSet && data != r.data) {
                    port.write(Register::Data, static_cast<std::uint8_t>(data));
                    r.data = data;
                }
                if (controlSet && control != r.control) {
                    port.write(Register::Control, static_cast<std::uint8_t>(control));
                    r.control = control;
                }
                const std::int64_t t = timer.now();
                r.lateness.add(t - planned);
                r.elapsedNs = t - start;
                r.reachedNs = c.t;
                ++r.changes;
            }
        }
        if (!r.stopped) {
            // The file's end: the outputs hold their last values until then.
            const std::int64_t end = start + due(o.loops, 0);
            r.stopped = !timer.waitUntil(end);
            r.elapsedNs = std::max(r.elapsedNs, (r.stopped ? timer.now() : end) - start);
        }
    } catch (const PortError& e) {
        r.portFailure = e.failure();
    }
    return r;
}

std::vector<std::string> PlayResult::text(const PlayPlan& plan, const PlayOptions& o) const {
    std::string first = std::to_string(changes) + " of " + std::to_string(planned) +
                        " changes written in " + formatNs(elapsedNs);
    if (o.loops > 1)
        first += " (" + std::to_string(o.loops) + " loops of " + formatNs(plan.endNs) + ")";
    if (o.speed != 1.0) {
        char speed[32];
        std::snprintf(speed, sizeof speed, " at speed %g", o.speed);
        first += speed;
    }
    first += ", time 0 at " + std::to_string(startNs) + " ns on the monotonic clock";
    std::vector<std::string> lines{first};
    lines.push_back("lateness of " + std::to_string(lateness.count()) +
                    " changes: " + lateness.text());
    std::string kept;
    if (data >= 0)
        kept += "data " + std::to_string(data);
    if (control >= 0)
        kept += (kept.empty() ? "control " : ", control ") + std::to_string(control);
    if (stopped)
        lines.push_back("stopped by a signal in loop " + std::to_string(loop + 1) + " of " +
                        std::to_string(o.loops) + ", at " + formatNs(reachedNs) + " of " +
                        formatNs(plan.endNs) + " into the file" +
                        (kept.empty() ? "" : "; the outputs keep " + kept));
    else if (!kept.empty())
        lines.push_back("the outputs keep the file's last values: " + kept);
    return lines;
}

} // namespace lpt
