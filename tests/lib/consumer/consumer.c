/* SPDX-License-Identifier: MIT */
/* Prints the library's version: found, linked and loaded through the CMake package. */
#include <lptport.h>
#include <stdio.h>

int main(void) {
    return puts(lptport_version()) < 0;
}
