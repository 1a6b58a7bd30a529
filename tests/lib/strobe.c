/* SPDX-License-Identifier: MIT */
/* strobe PORT BYTE...: the C program of the real-port proofs. Opens the port
   PORT names through liblptport ("-": the one PARPORT unset would choose,
   refusing the simulated port), names it on stderr, and hands each byte to
   the printer: the byte on the data lines, then STROBE pulsed (control 0x0D
   for 5 us, back to 0x0C, the pulse waited for). Prints the data register
   read back after each byte. A failure is one line on stderr, status 1. */
#include <lptport.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failed(const char* call) {
    fprintf(stderr, "strobe: %s: %s\n", call, lptport_last_error(LPTPORT_ERROR_MESSAGE));
    return 1;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: strobe PORT|- BYTE...\n");
        return 2;
    }
    lptport_port* port = NULL;
    if (lptport_open(strcmp(argv[1], "-") ? argv[1] : NULL, LPTPORT_OPEN_REAL_ONLY, &port))
        return failed("open");
    fprintf(stderr, "strobe: port: %s\n", lptport_description(port));
    int status = 0;
    if (lptport_write(port, 0x37A, 0x0C))
        status = failed("write");
    for (int i = 2; i < argc && status == 0; ++i) {
        unsigned value = 0;
        if (lptport_write(port, 0x378, (unsigned)strtoul(argv[i], NULL, 0)))
            status = failed("write");
        else if (lptport_pulse(port, 0x37A, 0x0D, 5000, 0x0C, LPTPORT_PULSE_WAIT))
            status = failed("pulse");
        else if (lptport_read(port, 0x378, &value))
            status = failed("read");
        else
            printf("%s%u", i > 2 ? " " : "", value);
    }
    printf("\n");
    lptport_close(port);
    return status;
}
