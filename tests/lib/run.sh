#!/bin/sh
# SPDX-License-Identifier: MIT
# liblptport as a C program's build finds it: installed into a prefix, the
# test program compiled as C11 with the flags pkg-config gives, run against
# the installed library; and a program built with find_package(lptport).
# Usage: run.sh CMAKE BUILD_DIR SOURCE_DIR CC
set -eu
cmake=$1 build=$2 source=$3 cc=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
pc=$(find "$prefix" -name lptport.pc)
[ -n "$pc" ] || { echo "lptport.pc is not installed"; exit 1; }
export PKG_CONFIG_PATH="${pc%/*}"
libdir=$(pkg-config --variable=libdir lptport)
"$cc" -std=c11 -Wall -Wextra -Wpedantic -Werror -o "$work/test_lptport" \
    "$source/tests/lib/test_lptport.c" $(pkg-config --cflags --libs lptport)
mkdir "$work/ports"
LD_LIBRARY_PATH=$libdir "$work/test_lptport" "$prefix/bin/lptport" "$work/ports" \
    "$(pkg-config --modversion lptport)" >"$work/ports.json"
python3 -m json.tool "$work/ports.json" >/dev/null

"$cmake" -S "$source/tests/lib/consumer" -B "$work/consumer" -DCMAKE_C_COMPILER="$cc" \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
"$cmake" --build "$work/consumer" >/dev/null
version=$(LD_LIBRARY_PATH=$libdir "$work/consumer/consumer")
[ "$version" = "$(pkg-config --modversion lptport)" ] || { echo "consumer: $version"; exit 1; }
echo "liblptport $version: C test and CMake consumer passed"
