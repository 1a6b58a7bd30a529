// SPDX-License-Identifier: MIT
/* A port-I/O DLL with the InpOut32 interface that drives no port: it records
 * every call as a line in the file named by FAKEINPOUT_LOG, and answers reads
 * from the table in FAKEINPOUT_TABLE ("0x379=0x7F 0x378=65": address=value,
 * decimal or 0x hex; an address not in the table reads 0xFF, as a port with
 * nothing on it). Loading the DLL is recorded too, with the file it was
 * loaded from, so a test sees when, and from where, lptport loads it.
 *
 * Built without FAKEINPOUT_NO_INP32 it exports Out32 and Inp32; with it, only
 * Out32, for the missing entry point. */
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static void record(const char* format, ...) {
    const char* path = getenv("FAKEINPOUT_LOG");
    if (!path || !*path)
        return;
    FILE* f = fopen(path, "a");
    if (!f)
        return;
    va_list args;
    va_start(args, format);
    vfprintf(f, format, args);
    va_end(args);
    fputc('\n', f);
    fclose(f);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
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
static short lookup(unsigned port) {
    const char* table = getenv("FAKEINPOUT_TABLE");
    while (table && *table) {
        char* end = NULL;
        const unsigned long address = strtoul(table, &end, 0);
        if (end == table || *end != '=')
            break;
        table = end + 1;
        const long value = strtol(table, &end, 0);
        if (end == table)
            break;
        if (address == port)
            return (short)value;
        table = end + strspn(end, " ,");
    }
    return 0xFF;
}

short __stdcall Inp32(short port) {
    const unsigned address = (unsigned short)port;
    const short value = lookup(address);
    record("in 0x%X %d", address, value);
    return value;
}
#endif
