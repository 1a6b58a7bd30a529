/* SPDX-License-Identifier: MIT */
/*
 * liblptport: the PC parallel port for scripts and programs in any language
 * with a C FFI (C, C++, Python's ctypes, MATLAB's loadlibrary, ...).
 *
 * A port is opened from a text in PARPORT's grammar ("sim", "sim:FILE",
 * "/dev/parport0", "direct:0x278", "LPT2", "dll@0xD010", ...) and is reached at
 * the addresses 0x378 (data), 0x379 (status) and 0x37A (control), whatever its
 * real base: the library maps them to the port's own registers. Reads and
 * writes are raw: a write puts the byte into the register, a read returns the
 * register's byte, no bit is inverted in software (the port itself inverts
 * C0, C1, C3 and BUSY on the connector).
 *
 * Errors: every function that can fail returns an lptport_status, LPTPORT_OK
 * (0) on success and a negative value on failure. The failure's text (what
 * failed, its cause, the fix and the manual's page) is then kept for the
 * calling thread and read with lptport_last_error() until the next call of the
 * library on that thread. The library never prints and never ends the process.
 *
 * Threads: several ports may be open at once. One port may be used from
 * several threads: its calls are serialised. A pulse's restore runs on a
 * thread of the port's own.
 */
#ifndef LPTPORT_H
#define LPTPORT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#  if defined(LPTPORT_BUILDING)
#    define LPTPORT_API __declspec(dllexport)
#  else
#    define LPTPORT_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define LPTPORT_API __attribute__((visibility("default")))
#else
#  define LPTPORT_API
#endif

/* ---- Status codes ---------------------------------------------------- */

typedef enum lptport_status {
    LPTPORT_OK = 0,
    /* An argument is out of range: a NULL pointer, an address other than
       0x378..0x37A, a value above 255, a width of 0 or above an hour, an
       unknown flag. Nothing reached the port. */
    LPTPORT_E_ARGUMENT = -1,
    /* The port text is of no known form. Nothing was opened. */
    LPTPORT_E_FORM = -2,
    /* No real port was found, and LPTPORT_OPEN_REAL_ONLY asked not to fall
       back to the simulated port. */
    LPTPORT_E_NO_PORT = -3,
    /* The port cannot be opened or used (a missing node, no permission, the
       printer driver holding it, the DLL's driver not running, ...). */
    LPTPORT_E_PORT = -4,
    /* Out of memory, or a thread could not be started. */
    LPTPORT_E_RESOURCE = -5
} lptport_status;

/* A short name for a status: "LPTPORT_E_PORT: the port cannot be opened or
   used". Static text; never NULL. */
LPTPORT_API const char *lptport_status_name(int status);

/* The parts of the calling thread's last failure. */
typedef enum lptport_error_part {
    LPTPORT_ERROR_MESSAGE = 0, /* the whole line: "WHAT: CAUSE. Fix: FIX (see PAGE)" */
    LPTPORT_ERROR_WHAT = 1,    /* "cannot open /dev/parport0" */
    LPTPORT_ERROR_CAUSE = 2,   /* "permission denied" */
    LPTPORT_ERROR_FIX = 3,     /* "add yourself to group lp: ..." */
    LPTPORT_ERROR_PAGE = 4     /* the manual's page that explains it, or "" */
} lptport_error_part;

/* A part of the calling thread's last failure; "" when the last call
   succeeded. Owned by the library, valid until this thread's next call. */
LPTPORT_API const char *lptport_last_error(lptport_error_part part);

/* ---- Library ---------------------------------------------------------- */

/* The library's version, "0.1.0". Static text. */
LPTPORT_API const char *lptport_version(void);

/* Every parallel port the system lists, as the JSON document that
   `lptport ports --json` prints. The caller frees it with lptport_free().
   NULL on failure (see lptport_last_error). */
LPTPORT_API char *lptport_ports_json(void);

/* Frees what the library returned for the caller to free. NULL is allowed. */
LPTPORT_API void lptport_free(void *memory);

/* ---- Ports ------------------------------------------------------------ */

typedef struct lptport_port lptport_port;

/* lptport_open's flags. */
enum {
    /* spec NULL (or ""): fail with LPTPORT_E_NO_PORT where PARPORT unset would fall
       back to the simulated port (no real port found), instead of opening it. */
    LPTPORT_OPEN_REAL_ONLY = 1
};

/* Opens the port spec names, in PARPORT's grammar; NULL (or "", as an empty PARPORT is) chooses as PARPORT
   unset does (the port at 0x378, else the first one listed, else the
   simulated port). The environment variable PARPORT is not read: a caller
   that wants it passes getenv("PARPORT"). On success *port is the open port,
   closed with lptport_close(); on failure *port is NULL. */
LPTPORT_API int lptport_open(const char *spec, unsigned flags, lptport_port **port);

/* Waits for a pending pulse's restore, then closes the port. NULL is allowed. */
LPTPORT_API void lptport_close(lptport_port *port);

/* The port's line, as the programs print it after "port: " ("the simulated
   port in /run/user/1000/lptpanel/port", "/dev/parport0 (base 0x378)").
   Owned by the port, valid until lptport_close(). */
LPTPORT_API const char *lptport_description(const lptport_port *port);

/* 1 when the port is the simulated one, 0 when it is a real port. */
LPTPORT_API int lptport_is_simulated(const lptport_port *port);

/* Writes value (0..255) to the register at address (0x378..0x37A). A
   pending restore of an earlier pulse on that register is cancelled: a
   write is never overwritten by an older pulse. */
LPTPORT_API int lptport_write(lptport_port *port, unsigned address, unsigned value);

/* Reads the register at address (0x378..0x37A) into *value (0..255). */
LPTPORT_API int lptport_read(lptport_port *port, unsigned address, unsigned *value);

/* lptport_pulse's restore: the value the register held before the pulse. */
#define LPTPORT_RESTORE_PREVIOUS (-1)
/* lptport_pulse's flags. */
enum {
    /* Return only once the register is restored, instead of at once. */
    LPTPORT_PULSE_WAIT = 1
};

/* Writes value to the register at address (0x378 or 0x37A) now and restore
   (0..255, or LPTPORT_RESTORE_PREVIOUS) width_ns nanoseconds (1 ns to 3600 s)
   after that write, on the monotonic clock. Returns at once; the restore is
   written by the port's own thread at its planned time. A restore the port
   refuses on that thread is the failure of the port's next call (or of this
   one, with LPTPORT_PULSE_WAIT). A later write or pulse on the
   same register cancels the pending restore; a later pulse with
   LPTPORT_RESTORE_PREVIOUS then restores what the cancelled one would have
   (the value before the first pulse), so a train of codes always returns to
   its base. */
LPTPORT_API int lptport_pulse(lptport_port *port, unsigned address, unsigned value,
                              uint64_t width_ns, int restore, unsigned flags);

/* How late (ns after its planned time) the port's last restore was written;
   LPTPORT_E_ARGUMENT when none has been written yet. */
LPTPORT_API int lptport_last_restore_lateness(const lptport_port *port, int64_t *lateness_ns);

#ifdef __cplusplus
}
#endif

#endif /* LPTPORT_H */
