// SPDX-License-Identifier: MIT
// Which port the port-I/O DLL drives, as plain code (the system calls are in
// dll_windows.cpp and ports_windows.cpp): PARPORT's DLL forms with their base,
// a port named LPTn looked up in the device list, the port PARPORT unset
// drives, and which of a port's I/O ranges holds its SPP registers.
#include "port/manual.h"
#include "port/numbers.h"
#include "port/ports.h"

#include <cctype>

namespace lpt {

namespace {

constexpr int kPanelBase = kDataPort;
constexpr const char* kSection = kPageWindows;

std::string upper(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// "LPT1 at 0xD010, LPT2 at base unknown"
std::string listed(const std::vector<SystemPort>& ports) {
    std::string text;
    for (const SystemPort& p : ports)
        text += (text.empty() ? "" : ", ") + p.name + " at " +
                (p.sppBase < 0 ? std::string("base unknown")
                               : hexAddress(static_cast<unsigned>(p.sppBase)));
    return text;
}

} // namespace

int sppBaseOf(const std::vector<IoRange>& ranges) {
    // Windows gives the parallel port driver (parport.sys) the port's I/O
    // resources in the order of the device's configuration. Microsoft's
    // documentation of the driver names two, the port's registers
    // (PARALLEL_PORT_INFORMATION.OriginalController) and its ECP registers
    // (PARALLEL_PNP_INFORMATION.OriginalEcpController), without saying how it
    // tells them apart; ReactOS's parport (fdo.c, FdoStartDevice) takes the
    // first I/O resource as the register base, and so do we. A PCI card's ECP
    // range may lie below its SPP one, so neither the lower address nor the
    // length of a range decides.
    if (ranges.empty() || ranges.front().end < ranges.front().start + 2)
        return -1;
    return static_cast<int>(ranges.front().start);
}

bool isLptName(std::string_view value) {
    return value.size() > 3 && upper(value.substr(0, 3)) == "LPT" &&
           value.find_first_not_of("0123456789", 3) == std::string_view::npos;
}

PortSpec lptSpec(std::string_view value, const PortListing& listing) {
    const std::string name = upper(value);
    for (const SystemPort& p : listing.ports) {
        if (upper(p.name) != name)
            continue;
        if (p.sppBase < 0)
            throw PortError({"cannot use " + name,
                             "the device list gives it no I/O range that holds its registers",
                             "name its base with PARPORT=dll@0xBASE (Device Manager: the port's "
                             "Properties, Resources tab, its first I/O Range)",
                             kSection});
        PortSpec spec;
        spec.kind = PortSpec::Kind::Dll;
        spec.base = p.sppBase;
        return spec;
    }
    PortFailure f{"no port " + name + " in the system's device list",
                  listing.ports.empty() ? "it lists no LPT port"
                                        : "it lists " + listed(listing.ports),
                  "set PARPORT to one of those (lptport ports shows each port with its PARPORT "
                  "value)",
                  kSection};
    if (listing.ports.empty()) {
        if (listing.failed)
            f.cause += " (" + listing.problem + ")";
        f.fix = "install the port's driver (Device Manager, Ports (COM & LPT); a port on the "
                "board may be turned off in the firmware setup), or name its base with "
                "PARPORT=dll@0xBASE";
    }
    throw PortError(std::move(f));
}

PortSpec windowsUnsetSpec(const PortListing& listing, const DefaultDll& dll) {
    using enum UnsetChoice::Reason;
    PortSpec spec;
    spec.kind = PortSpec::Kind::Dll;
    if (dll.place == DefaultDll::Place::BesideLibrary)
        spec.path = dll.path;
    UnsetChoice& choice = spec.unset.emplace();
    const SystemPort* p = defaultPort(listing.ports);
    if (p && p->sppBase >= 0) {
        spec.base = p->sppBase;
        choice = {ListedPort, p->name, p->sppBase, dll};
    } else if (p) {
        choice = {ListedPortNoBase, p->name, kPanelBase, dll};
    } else {
        choice = {NoListedPort, "", kPanelBase, dll};
    }
    return spec;
}

std::string parseDllForm(std::string_view value, PortSpec& spec) {
    constexpr const char* kForms =
        "the DLL forms are dll, dll:PATH, dll@0xBASE and dll:PATH@0xBASE";
    spec = PortSpec{};
    spec.kind = PortSpec::Kind::Dll;
    if (!value.starts_with("dll"))
        return kForms;
    std::string_view rest = value.substr(3);
    // The base ends the form: a path may hold an '@', hardly ever "@0x".
    const auto at = upper(rest).rfind("@0X");
    if (at != std::string_view::npos) {
        const auto base = parseNumber(rest.substr(at + 1));
        if (!base || *base < 1 || *base > 0xFFFC)
            return "@0x needs the port's base address in hex, such as @0xD010 (lptport ports "
                   "lists each port's)";
        spec.base = static_cast<int>(*base);
        rest = rest.substr(0, at);
    }
    if (rest.starts_with(':')) {
        spec.path = rest.substr(1);
        if (spec.path.empty())
            return "dll: needs the path of the port-I/O DLL";
    } else if (!rest.empty()) {
        return kForms;
    }
    return "";
}

} // namespace lpt
