// SPDX-License-Identifier: MIT
// A port-I/O DLL with the InpOut32 interface that drives no port: it records
// every call as a line in the file named by FAKEINPOUT_LOG, and a read of
// address A answers FAKEINPOUT_IN_A (A in hex as the program passed it, say
// FAKEINPOUT_IN_379=0x7F; decimal or 0x hex), else 0xFF, as a port with
// nothing on it. Loading the DLL is recorded too, with the file it was loaded
// from, so a test sees when, and from where, the program loads it.
//
// Built without FAKEINPOUT_NO_INP32 it exports Out32, Inp32 and
// IsInpOutDriverOpen, which says its driver runs (with
// FAKEINPOUT_DRIVER_CLOSED: that it does not); with it, only Out32.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

static void record(const char* format, ...) {
    const char* path = getenv("FAKEINPOUT_LOG");
    FILE* f = path && *path ? fopen(path, "a") : NULL;
    if (!f)
        return;
    va_list args;
    va_start(args, format);
    vfprintf(f, format, args);
    va_end(args);
    fputc('\n', f);
    fclose(f);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        char file[MAX_PATH] = "?";
        GetModuleFileNameA(self, file, sizeof file);
        record("load %s", file);
    }
    return TRUE;
}

void __stdcall Out32(short port, short value) {
    record("out 0x%X %d", (unsigned)(unsigned short)port, value);
}

#ifndef FAKEINPOUT_NO_INP32
short __stdcall Inp32(short port) {
    char name[32];
    snprintf(name, sizeof name, "FAKEINPOUT_IN_%X", (unsigned short)port);
    const char* answer = getenv(name);
    const short value = answer ? (short)strtol(answer, NULL, 0) : 0xFF;
    record("in 0x%X %d", (unsigned short)port, value);
    return value;
}
#endif

#ifndef FAKEINPOUT_DRIVER_CLOSED
#define FAKEINPOUT_DRIVER_CLOSED 0
#endif
BOOL __stdcall IsInpOutDriverOpen(void) {
    return !FAKEINPOUT_DRIVER_CLOSED;
}
