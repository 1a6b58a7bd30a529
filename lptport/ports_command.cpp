// SPDX-License-Identifier: MIT
// lptport ports: the system's listing and the unset choice, as text or JSON.
#include "lptport/ports_command.h"

#include "port/driver.h"
#include "port/numbers.h"
#include "port/ports.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace lpt {

namespace {

using Json = nlohmann::ordered_json;

Json hex(long value) {
    return value < 0 ? Json(nullptr) : Json(hexAddress(static_cast<unsigned>(value)));
}

Json textOrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(text);
}

Json asJson(const PortListing& listing, const PortSpec& unset) {
    Json ports = Json::array();
    for (const SystemPort& p : listing.ports) {
        Json ranges = Json::array();
        for (const IoRange& r : p.ranges)
            ranges.push_back({{"start", hex(r.start)}, {"end", hex(r.end)}});
        ports.push_back({{"name", p.name},
                         {"node", textOrNull(p.node)},
                         {"description", textOrNull(p.description)},
                         {"ranges", ranges},
                         {"spp_base", hex(p.sppBase)},
                         {"modes", textOrNull(p.modes)},
                         {"access", textOrNull(p.access)},
                         {"parport", parportValue(p)}});
    }
    return {{"ports", ports},
            {"problem", textOrNull(listing.problem)},
            {"unset", {{"parport", parportValue(unset)}, {"why", unsetReason(unset)}}}};
}

} // namespace

std::string portsJson(const PortListing& listing, const PortSpec& unset, const std::string& dll) {
    Json doc = asJson(listing, unset);
    doc["dll"] = textOrNull(dll);
    return doc.dump(2);
}

int portsCommand(bool json) {
    const PortListing listing = listSystemPorts();
    if (listing.failed) {
        std::fprintf(stderr, "lptport: ports: %s\n", listing.problem.c_str());
        return 1;
    }
    PortSpec unset;
    try {
        unset = parsePortSpec(nullptr);
    } catch (const PortError& e) {
        fail(e.failure());
    }
    // Windows: the DLL every real port goes through, and whether its driver runs.
    const std::string dll = portIoDllState(unset);
    if (json) {
        std::printf("%s\n", portsJson(listing, unset, dll).c_str());
        return 0;
    }
    std::vector<std::string> lines = describePorts(listing, unset);
    if (!dll.empty())
        lines.insert(lines.end() - 1, dll);
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());
    return 0;
}

} // namespace lpt
