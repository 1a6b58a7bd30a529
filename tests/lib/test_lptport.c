/* SPDX-License-Identifier: MIT */
/* liblptport through its installed header, as a C program sees it: the
   status codes and error parts, two simulated ports at once, writes and
   reads, and the ports' JSON (the Python tests check the behaviours in depth). The port's own record of its writes is read with
   `lptport sim writes`, the program given as the first argument.
   Usage: test_lptport LPTPORT DIR VERSION */
#define _POSIX_C_SOURCE 200809L
#include <lptport.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures;
static const char *lptport_program, *dir;

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            ++failures;                                                                            \
            fprintf(stderr, "%s:%d: failed: %s (last error: %s)\n", __FILE__, __LINE__,            \
                    #condition, lptport_last_error(LPTPORT_ERROR_MESSAGE));                        \
        }                                                                                          \
    } while (0)

/* What a shell command prints (at most size - 1 bytes). */
static const char* output(const char* command, char* text, size_t size) {
    FILE* pipe = popen(command, "r");
    size_t n = pipe ? fread(text, 1, size - 1, pipe) : 0;
    text[n] = '\0';
    if (!pipe || pclose(pipe) != 0)
        fprintf(stderr, "failed: %s\n", command), ++failures;
    return text;
}

/* The writes of the simulated port in file `name` after the first `since`,
   as `lptport sim writes --since` lists them. */
static const char* writes(const char* name, unsigned long since, char* text, size_t size) {
    char command[1024];
    snprintf(command, sizeof command, "PARPORT='sim:%s/%s' '%s' sim writes --since %lu", dir, name,
             lptport_program, since);
    return output(command, text, size);
}

static unsigned long write_count(const char* name) {
    char command[1024], text[64];
    snprintf(command, sizeof command, "PARPORT='sim:%s/%s' '%s' sim writes --count", dir, name,
             lptport_program);
    return strtoul(output(command, text, sizeof text), NULL, 10);
}

static lptport_port* open_sim(const char* name) {
    char spec[1024];
    lptport_port* port = NULL;
    snprintf(spec, sizeof spec, "sim:%s/%s", dir, name);
    CHECK(lptport_open(spec, 0, &port) == LPTPORT_OK && port != NULL);
    CHECK(lptport_is_simulated(port) == 1);
    CHECK(strstr(lptport_description(port), spec + 4) != NULL);
    return port;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: test_lptport LPTPORT DIR VERSION\n");
        return 2;
    }
    lptport_program = argv[1];
    dir = argv[2];
    char text[4096], got[4096];
    unsigned value = 0;
    CHECK(strcmp(lptport_version(), argv[3]) == 0);
    CHECK(strncmp(lptport_status_name(LPTPORT_E_NO_PORT), "LPTPORT_E_NO_PORT:", 18) == 0);

    /* Two ports at once, each with its own registers. */
    lptport_port *a = open_sim("a"), *b = open_sim("b");
    const unsigned long a0 = write_count("a"), b0 = write_count("b");
    CHECK(lptport_write(a, 0x378, 5) == LPTPORT_OK);
    CHECK(lptport_write(b, 0x37A, 0x0B) == LPTPORT_OK);
    CHECK(lptport_read(a, 0x378, &value) == LPTPORT_OK && value == 5);
    CHECK(lptport_read(b, 0x37A, &value) == LPTPORT_OK && value == 0x0B);
    CHECK(*lptport_last_error(LPTPORT_ERROR_MESSAGE) == '\0');
    snprintf(text, sizeof text, "%lu data 5\n", a0 + 1);
    CHECK(strcmp(writes("a", a0, got, sizeof got), text) == 0);
    snprintf(text, sizeof text, "%lu control 11\n", b0 + 1);
    CHECK(strcmp(writes("b", b0, got, sizeof got), text) == 0);

    /* A port text of no known form: every part of the failure, and no port. */
    lptport_port* bad = a;
    CHECK(lptport_open("parport0", 0, &bad) == LPTPORT_E_FORM && bad == NULL);
    const char *what = lptport_last_error(LPTPORT_ERROR_WHAT),
               *cause = lptport_last_error(LPTPORT_ERROR_CAUSE),
               *fix = lptport_last_error(LPTPORT_ERROR_FIX),
               *page = lptport_last_error(LPTPORT_ERROR_PAGE);
    CHECK(strstr(what, "parport0") != NULL && *cause && strstr(fix, "/dev/parportN") != NULL);
    snprintf(text, sizeof text, "%s: %s. Fix: %s (see %s)", what, cause, fix, page);
    CHECK(strcmp(lptport_last_error(LPTPORT_ERROR_MESSAGE), text) == 0 && *page);

    lptport_close(a);
    lptport_close(b);
    lptport_close(NULL);

    /* The ports' JSON is the document lptport ports --json prints. */
    char* json = lptport_ports_json();
    CHECK(json != NULL);
    snprintf(text, sizeof text, "'%s' ports --json", lptport_program);
    static char printed[65536];
    output(text, printed, sizeof printed);
    CHECK(json && strlen(printed) == strlen(json) + 1 && strncmp(printed, json, strlen(json)) == 0);
    /* Where PARPORT unset would fall back to the simulated port, a caller
       that wants a real one gets none. */
    if (json && strstr(json, "\"unset\": {\n    \"parport\": \"sim\"")) {
        lptport_port* real = a;
        CHECK(lptport_open(NULL, LPTPORT_OPEN_REAL_ONLY, &real) == LPTPORT_E_NO_PORT && !real);
        CHECK(strstr(lptport_last_error(LPTPORT_ERROR_FIX), "\"sim\"") != NULL);
    }
    if (json)
        fputs(json, stdout);
    lptport_free(json);
    return failures == 0 ? 0 : 1;
}
