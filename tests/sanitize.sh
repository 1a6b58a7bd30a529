#!/bin/sh
# SPDX-License-Identifier: MIT
# The test suite again, in a build with AddressSanitizer and
# UndefinedBehaviorSanitizer: any finding fails the test that meets it.
#   sanitize.sh CMAKE CTEST SOURCE BUILD
# Configures BUILD from SOURCE, builds it and runs its tests, all but the
# real-port proofs (they build and run programs of their own elsewhere), the
# licence check (it reads the sources, runs nothing built) and this one.
set -eu
cmake=$1 ctest=$2 source=$3 build=$4
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -O1 -g"
"$cmake" -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE= \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags"
"$cmake" --build "$build" -j2
export ASAN_OPTIONS=abort_on_error=0:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# liblptport is loaded by programs built without the sanitizers (Python, the
# C test program): they run with the sanitizer's runtime preloaded, libstdc++
# with it (ASan's hook of C++ throws needs it loaded first), and without the
# leak check, which would report the interpreter's own. The manual's scripting
# page is left to the plain run: linking against a sanitized library makes the
# linker warn of the sanitizer's own functions, which the page does not show.
# The package test checks a package's files, which a sanitized build does not
# change: the plain run has it too.
hosted='^(lib[.]c|python[.]lptport)$'
"$ctest" --test-dir "$build" --output-on-failure -LE realport \
    -E "^(sanitize|licence)[.]|^install[.]|^docs[.]scripting$|$hosted"
LD_PRELOAD="$(cc -print-file-name=libasan.so) $(cc -print-file-name=libstdc++.so)" \
    ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0 \
    "$ctest" --test-dir "$build" --output-on-failure -R "$hosted"
