#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs the shell examples of one page of the manual with cram and compares
# their output with the page's:  run.sh PAGE BIN_DIR WORK_DIR
# A copy is run (cram writes a .err file beside a failing page), with this
# build's programs first on PATH and a fresh default simulated port.
set -eu
bin=$(cd "$2" && pwd)
rm -rf "$3" && mkdir -p "$3/runtime"
cp "$1" "$3/"
PATH="$bin:$PATH" XDG_RUNTIME_DIR="$3/runtime" exec env -u PARPORT cram3 --shell=/bin/bash "$3/${1##*/}"
