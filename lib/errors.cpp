// SPDX-License-Identifier: MIT
#include "lib/errors.h"

namespace lptlib {

thread_local LastError lastError;

int keep(lptport_status status, PortFailure failure) {
    lastError.message = failure.message();
    lastError.failure = std::move(failure);
    return status;
}

} // namespace lptlib

using lptlib::LastError;
using lptlib::lastError;

extern "C" {

LPTPORT_API const char* lptport_status_name(int status) {
    switch (status) {
    case LPTPORT_OK:
        return "LPTPORT_OK: success";
    case LPTPORT_E_ARGUMENT:
        return "LPTPORT_E_ARGUMENT: an argument is out of range";
    case LPTPORT_E_FORM:
        return "LPTPORT_E_FORM: the port text is of no known form";
    case LPTPORT_E_NO_PORT:
        return "LPTPORT_E_NO_PORT: no real port was found";
    case LPTPORT_E_PORT:
        return "LPTPORT_E_PORT: the port cannot be opened or used";
    case LPTPORT_E_RESOURCE:
        return "LPTPORT_E_RESOURCE: out of memory or threads";
    default:
        return "unknown status";
    }
}

LPTPORT_API const char* lptport_last_error(lptport_error_part part) {
    const LastError& e = lastError;
    switch (part) {
    case LPTPORT_ERROR_MESSAGE:
        return e.message.c_str();
    case LPTPORT_ERROR_WHAT:
        return e.failure.what.c_str();
    case LPTPORT_ERROR_CAUSE:
        return e.failure.cause.c_str();
    case LPTPORT_ERROR_FIX:
        return e.failure.fix.c_str();
    case LPTPORT_ERROR_PAGE:
        return e.failure.section.c_str();
    }
    return "";
}

} // extern "C"
