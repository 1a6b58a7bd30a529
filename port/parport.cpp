// SPDX-License-Identifier: MIT
// PARPORT's grammar, and a port opened from a value of it: the front desk
// every program and the library go through. Out32/Inp32 (inpout.cpp) open
// their port here at the first call.
#include "port/driver.h"
#include "port/manual.h"
#include "port/numbers.h"
#include "port/ports.h"

#include <optional>
#include <string_view>

namespace lpt {

namespace {

const char* const kForms =
#ifdef _WIN32
    "LPTn, dll, dll:PATH (either with @0xBASE), sim, sim:PATH";
#else
    "sim, sim:PATH, /dev/parportN, direct, direct:0xBASE";
#endif

[[noreturn]] void badSpec(SpecSource source, std::string_view value, std::string cause) {
    if (source == SpecSource::PortOption)
        throw BadPortSpec({"--port " + std::string(value) + " is not a port", std::move(cause),
                           std::string("give --port one of ") + kForms, kPagePorts});
    throw BadPortSpec({"PARPORT=" + std::string(value) + " is not a port", std::move(cause),
                       std::string("set PARPORT to one of ") + kForms + ", or unset it",
                       kPagePorts});
}

} // namespace

PortSpec parsePortSpec(const char* value) {
    return parsePortSpec(value, SpecSource::Parport);
}

PortSpec parsePortSpec(const char* value, SpecSource source) {
    PortSpec spec;
    const std::string_view v = value ? value : "";
    // Without a real port the simulated one stands in, so the tools always
    // start; the port line says which was chosen and why.
    if (v.empty())
        return unsetSpec();
    if (v == "sim") {
        spec.path = defaultSimPath();
    } else if (v.starts_with("sim:")) {
        spec.path = v.substr(4);
        if (spec.path.empty())
            badSpec(source, v, "sim: needs the file that keeps the simulated port");
    } else if (v.starts_with("/dev/")) {
        spec.kind = PortSpec::Kind::Ppdev;
        spec.path = v;
    } else if (v == "direct" || v.starts_with("direct:")) {
        spec.kind = PortSpec::Kind::Direct;
        std::optional<long> base = 0x378;
        if (v != "direct")
            base = parseNumber(v.substr(7));
        if (!base || *base < 1 || *base > 0xFFFC)
            badSpec(source, v, "direct: needs a base address such as 0x378 or 0x278");
        spec.base = static_cast<int>(*base);
    } else if (v == "dll" || v.starts_with("dll:") || v.starts_with("dll@")) {
#ifdef _WIN32
        if (const std::string cause = parseDllForm(v, spec); !cause.empty())
            badSpec(source, v, cause);
#else
        badSpec(source, v,
                "the dll forms are for Windows; on Linux use a /dev/parportN node or direct");
#endif
    } else if (isLptName(v)) {
#ifdef _WIN32
        spec = lptSpec(v, listSystemPorts());
#else
        badSpec(source, v,
                "LPTn names a Windows port; on Linux use /dev/parportN (lptport ports lists "
                "them)");
#endif
    } else {
        badSpec(source, v, "unknown form");
    }
    return spec;
}

std::unique_ptr<Driver> openDriver(const PortSpec& spec) {
    switch (spec.kind) {
    case PortSpec::Kind::Simulated:
        return openSimulated(spec.path);
    case PortSpec::Kind::Ppdev:
        return openPpdev(spec.path);
    case PortSpec::Kind::Direct:
        return openDirect(spec.base);
    case PortSpec::Kind::Dll:
        return openDll(spec.path, spec.base);
    }
    return nullptr;
}

OpenedPort openPort(const char* value, SpecSource source) {
    OpenedPort opened;
    opened.spec = parsePortSpec(value, source);
    opened.driver = openDriver(opened.spec);
    opened.line = portLine(opened.spec, opened.driver->description());
    return opened;
}

} // namespace lpt
