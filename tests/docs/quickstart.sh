#!/bin/sh
# SPDX-License-Identifier: MIT
# The README's first command, as written, in the source tree whose build/ it
# makes (there the set-up and the build find nothing to do): the panel starts
# on the simulated port and runs its monitor loop, seen in the port file's
# write log; then it is ended.
#   quickstart.sh SOURCE
set -eu
cd "$1"
line=$(awk '/^```sh$/ { getline; print; exit }' README.md)
case $line in *"./lptpanel") ;; *) echo "quickstart: README's first command not found: $line" >&2; exit 1 ;; esac
XDG_RUNTIME_DIR=$(mktemp -d) QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR QT_QPA_PLATFORM
trap 'kill -TERM -- "-$pid" 2>/dev/null || true; rm -rf "$XDG_RUNTIME_DIR"' EXIT
setsid sh -c "$line" >"$XDG_RUNTIME_DIR/out" 2>&1 &
pid=$!
# Six start-up writes, then two a pass.
n=0 writes=0
while [ "$n" -lt 600 ] && kill -0 "$pid" 2>/dev/null; do
    writes=$(PARPORT=sim build/bin/lptport sim writes --count 2>/dev/null || echo 0)
    [ "$writes" -gt 10 ] && break
    n=$((n + 1))
    sleep 0.1 # a bounded poll of the write log
done
[ "$writes" -gt 10 ] || { echo "quickstart: the panel made $writes writes:"; cat "$XDG_RUNTIME_DIR/out"; exit 1; }
echo "quickstart: the panel ran its loop ($writes writes): $line"
