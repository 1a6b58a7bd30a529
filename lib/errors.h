// SPDX-License-Identifier: MIT
// How liblptport's entry points report: each runs its work through guarded(),
// which turns whatever the port layer throws into a status and keeps the
// failure (what, cause, fix, page) for the calling thread until its next call.
#pragma once

#include "lib/lptport.h"
#include "port/driver.h"
#include "port/manual.h"

#include <exception>
#include <new>
#include <string>
#include <system_error>
#include <utility>

namespace lptlib {

using lpt::PortFailure;

inline constexpr const char* kPage = lpt::kPageScripting;

/// A failure with the status it is returned as.
struct Refusal {
    lptport_status status;
    PortFailure failure;
};

[[noreturn]] inline void refuse(lptport_status status, std::string what, std::string cause,
                                std::string fix, std::string page = kPage) {
    throw Refusal{status, {std::move(what), std::move(cause), std::move(fix), std::move(page)}};
}

/// The calling thread's last failure, kept until its next call.
struct LastError {
    PortFailure failure;
    std::string message;
};
extern thread_local LastError lastError;

/// Keeps failure as the thread's last one and returns status.
int keep(lptport_status status, PortFailure failure);

/// Runs one call of the ABI: clears the thread's last failure, and turns
/// whatever the call throws into a status and that failure.
template <class Call> int guarded(const char* name, Call&& call) {
    lastError = {};
    try {
        call();
        return LPTPORT_OK;
    } catch (const Refusal& r) {
        return keep(r.status, r.failure);
    } catch (const lpt::BadPortSpec& e) {
        return keep(LPTPORT_E_FORM, e.failure());
    } catch (const lpt::PortError& e) {
        return keep(LPTPORT_E_PORT, e.failure());
    } catch (const std::bad_alloc&) {
        return keep(LPTPORT_E_RESOURCE, {std::string(name) + " failed", "out of memory",
                                         "close ports or programs that are not needed", ""});
    } catch (const std::system_error& e) {
        return keep(LPTPORT_E_RESOURCE,
                    {std::string(name) + ": cannot start the port's thread", e.what(),
                     "end threads or programs that are not needed", ""});
    } catch (const std::exception& e) {
        return keep(LPTPORT_E_PORT, {std::string(name) + " failed", e.what(), "", ""});
    }
}

} // namespace lptlib
