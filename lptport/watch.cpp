// SPDX-License-Identifier: MIT
#include "lptport/watch.h"

#include "lptport/platform.h"
#include "port/registers.h"

#include <cstdio>
#include <ctime>

namespace lpt {

namespace {

std::string change(const std::string& name, int from, int to) {
    return name + " " + std::to_string(from) + "->" + std::to_string(to);
}

} // namespace

std::vector<std::string> watchChanges(const Sample& before, const Sample& after) {
    std::vector<std::string> lines;
    const bool registers = before.data && after.data && before.control && after.control;
    if (registers) {
        if (*before.data != *after.data)
            lines.push_back(change("data", *before.data, *after.data));
        if (*before.control != *after.control)
            lines.push_back(change("control", *before.control, *after.control));
        if (before.status != after.status)
            lines.push_back(change("status", before.status, after.status));
    }
    const auto from = decodeStatus(before.status);
    const auto to = decodeStatus(after.status);
    for (int k = 0; k < 8; ++k)
        if (from[k] != to[k])
            lines.push_back(change("S" + std::to_string(k), from[k], to[k]));
    return lines;
}

std::string watchStart(const Sample& sample) {
    std::string line = "start";
    if (sample.data)
        line += " data " + std::to_string(*sample.data);
    if (sample.control)
        line += " control " + std::to_string(*sample.control);
    line += " status " + std::to_string(sample.status);
    const auto levels = decodeStatus(sample.status);
    for (int k = 0; k < 8; ++k)
        line += " S" + std::to_string(k) + "=" + std::to_string(levels[k]);
    return line;
}

std::string watchTimestamp(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(when.time_since_epoch());
    const std::time_t seconds = duration_cast<std::chrono::seconds>(ms).count();
    const int millis = static_cast<int>(ms.count() - seconds * 1000);
    const std::tm local = localTime(seconds);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    std::snprintf(text + n, sizeof text - n, ".%03d", millis);
    return text;
}

} // namespace lpt
