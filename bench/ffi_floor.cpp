// SPDX-License-Identifier: MIT
// An empty C function with lptport_write's signature, for bench_trigger.py:
// calling it through ctypes costs what the foreign-function call itself does.
extern "C" __attribute__((visibility("default"))) int bench_nothing(void*, unsigned, unsigned) {
    return 0;
}
