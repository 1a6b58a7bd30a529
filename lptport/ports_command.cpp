// SPDX-License-Identifier: MIT
// lptport ports: the system's listing and the unset choice, as text or JSON.
#include "lptport/ports_command.h"

#include "lptport/commands.h"

#include "port/driver.h"
#include "port/numbers.h"
#include "port/ports.h"

#include <cstdio>
#include <memory>

namespace lpt::cli {

namespace {

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

/// Prints the system's ports, one line each, and the port PARPORT unset
/// chooses (see describePorts in port/ports.h), or all that as one JSON
/// document. Opens no port. Returns 0 when the system could be asked, whether
/// or not it knows a port; 1 when not.
int ports(bool json) {
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
    const std::string dll = portIoDllState(unset);
    if (json) {
        std::printf("%s\n", portsJson(listing, unset).c_str());
        return 0;
    }
    std::vector<std::string> lines = describePorts(listing, unset);
    if (!dll.empty())
        lines.insert(lines.end() - 1, dll);
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());
    return 0;
}

} // namespace

void declarePorts(Program& program) {
    auto json = std::make_shared<bool>(false);
    auto* sub =
        command(program.app, "ports", "List this machine's parallel ports and how to reach each",
                "One line per port: name, node, base, I/O ranges, modes, the PARPORT value that\n"
                "reaches it; a line for a port this user cannot open, with the fix; last the port\n"
                "PARPORT unset chooses, and why. Opens no port.\nExample: lptport ports");
    sub->add_flag("--json", *json, "Print them as one JSON document");
    sub->callback([&program, json] { program.work = [json] { return ports(*json); }; });
}

} // namespace lpt::cli

namespace lpt {

std::string portsJson(const PortListing& listing, const PortSpec& unset) {
    cli::Json doc = cli::asJson(listing, unset);
    doc["dll"] = cli::textOrNull(portIoDllState(unset));
    return doc.dump(2);
}

} // namespace lpt
