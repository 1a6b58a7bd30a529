#!/bin/bash
# SPDX-License-Identifier: MIT
# Proves the Windows real-port driver (the port-I/O DLL) under Wine.
#
#   run.sh [SOURCE_DIR [WORK_DIR]]
#
# Cross-builds lptport.exe (64-bit) with mingw-w64, builds a port-I/O DLL of
# our own (fakeinpout.c) that records every call, and runs lptport.exe under
# wine64 with the DLL in the places a user might put it, checking which DLL
# is loaded and when, the calls that reach it, in order, and the messages
# when the DLL or an entry point is missing.
# Exit status: 0 proved, 1 failed, 77 cannot run here (see packages.sh).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/../packages.sh"
. "$here/wine.sh"
proof_dirs /tmp/b-realport-wine "$@"
ensure_packages g++-mingw-w64-x86-64 wine64

toolchain=$src/cmake/mingw-w64-x86_64.cmake
step "cross-building lptport.exe with $(basename "$toolchain")"
cmake -S "$src" -B "$work/cross" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DLPTPANEL_GUI=OFF -DLPTPANEL_TESTS=OFF \
    -DCMAKE_EXE_LINKER_FLAGS=-static >"$work/cmake.log" ||
    { cat "$work/cmake.log"; exit 1; }
cmake --build "$work/cross" -j2 --target lptport
exe=$work/cross/bin/lptport.exe

step "building the recording DLLs"
dlls=$work/dlls
build_recording_dlls "$dlls"
x86_64-w64-mingw32-as --32 -o "$dlls/dll32.o" "$here/dll32.s"
x86_64-w64-mingw32-ld -m i386pe -T "$here/dll32.ld" --dll -e _DllMain@12 \
    -o "$dlls/dll32.dll" "$dlls/dll32.o" "$here/dll32.def"

# Where the DLLs lie, one folder per case: beside lptport.exe under the
# 64-bit name, under the 32-bit name only, nowhere, and in the working
# directory only.
run=$work/run
rm -rf "$run"
mkdir -p "$run"/{beside,wrongname,alone,cwd}
for d in beside wrongname alone; do cp "$exe" "$run/$d/lptport.exe"; done
cp "$dlls/fake.dll" "$run/beside/inpoutx64.dll"
cp "$dlls/fake.dll" "$run/wrongname/inpout32.dll"
cp "$dlls/fake.dll" "$run/cwd/inpoutx64.dll"

# Wine without a display.
unset DISPLAY WAYLAND_DISPLAY PARPORT FAKEINPOUT_LOG FAKEINPOUT_TABLE
start_wine

# ---- the cases ------------------------------------------------------------
log=$work/calls.log
# run_case NAME CWD[:EXE] [VAR=VALUE...] -- ARGS...: one run of the
# lptport.exe in the folder EXE (default CWD) below $run, in the working
# directory CWD; sets rc, out (stdout, lines joined by blanks), err (stderr)
# and calls (the DLL's record, "none" when nothing was loaded).
run_case() {
    name=$1 cwd=$run/${2%:*} program=$run/${2#*:}/lptport.exe
    shift 2
    local vars=()
    while [ "$1" != "--" ]; do
        vars+=("$1")
        shift
    done
    shift
    rm -f "$log"
    rc=0
    (cd "$cwd" && env FAKEINPOUT_LOG="$log" "${vars[@]}" "$wine" "$program" "$@" \
        >"$work/out" 2>"$work/err") || rc=$?
    out=$(tr -d '\r' <"$work/out" | tr '\n' ' ' | sed 's/ *$//')
    err=$(tr -d '\r' <"$work/err")
    calls=$( [ -f "$log" ] && tr -d '\r' <"$log" || echo none)
}
show() {
    echo "      status $rc, stdout '$out'"
    sed 's/^/      stderr: /' <<<"$err"
    sed 's/^/      calls:  /' <<<"$calls"
}
# expect_run WANT_RC WANT_OUT WANT_CALLS [PORT]: judges the last run_case;
# with PORT, stderr holds the line naming the port, with PORT in it.
expect_run() {
    if [ "$rc" = "$1" ] && [ "$out" = "$2" ] && [ "$calls" = "$3" ] &&
        { [ $# -lt 4 ] || grep -q "^lptport: port: .*$4" <<<"$err"; }; then
        ok "$name"
    else
        fail "$name: wanted status $1, stdout '$2'${4:+, a port line with '$4'} and the calls:"
        sed 's/^/      /' <<<"$3"
        echo "    got:"
        show
    fi
}
# refused CALLS TEXT...: the last run failed with one message holding each
# TEXT, and the DLL saw CALLS ("none": it was never loaded).
refused() {
    local want=$1
    shift
    expect_message "$name" "$rc" "$err" "$@" "Real ports on Windows"
    [ "$calls" = "$want" ] || { fail "$name: wanted the calls '$want'"; show; }
}

beside=$(winpath "$run/beside/inpoutx64.dll")
fake=$(winpath "$dlls/fake.dll")
out32only=$(winpath "$dlls/out32only.dll")
step "running lptport.exe under $("$wine" --version 2>/dev/null)"

# Bad arguments touch no port: the DLL is not loaded.
run_case bad-address beside -- out 0x999 1
expect_run 2 "" none

# The default DLL of a 64-bit build, beside the program, is loaded at the
# first access, once; the calls reach it in order and reads give its answers
# (the low byte only: 0x1C5 reads 197).
run_case default-dll beside FAKEINPOUT_TABLE="0x379=0x7F 0x378=0x1C5" -- \
    out 0x378 0x41 out 0x37A 11 in 0x379 in 0x378 out 0x378 0
expect_run 0 "127 197" "load $beside
out 0x378 65
out 0x37A 11
in 0x379 127
in 0x378 453
out 0x378 0" inpoutx64.dll

# dll:PATH names the DLL, under any name, absolute or relative to the
# working directory; the program's folder holds none.
run_case dll-path-absolute alone PARPORT="dll:$fake" FAKEINPOUT_TABLE="0x379=0x80" -- \
    out 0x37A 4 in 0x379
expect_run 0 "128" "load $fake
out 0x37A 4
in 0x379 128"
run_case dll-path-relative ..:alone 'PARPORT=dll:dlls\fake.dll' -- out 0x378 255
expect_run 0 "" "load $fake
out 0x378 255"

# Each entry point is looked up at its own first use: a DLL without Inp32
# serves writes, and the first read fails with one message, after the
# writes before it and before any after it.
run_case out32-only-read alone PARPORT="dll:$out32only" -- out 0x378 2 in 0x379 out 0x378 3
refused "load $out32only
out 0x378 2" Inp32 out32only.dll

# With no DLL beside the program or in the system folder, PARPORT unset means
# the simulated port (in the prefix's local application data): a DLL only in
# the working directory, or only under the 32-bit name, is never loaded.
for where in cwd:alone wrongname:wrongname; do
    run_case "no-dll-${where%:*}" "$where" -- out 0x378 7 in 0x378
    expect_run 0 "7" none "PARPORT unset, no inpoutx64.dll beside lptport.exe or in the system \
folder: using the simulated port C:.*AppData.Local.lptpanel.port"
done
[ -f "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/lptpanel/port" ] &&
    ok "the simulated port file is in %LOCALAPPDATA%\\lptpanel" || fail "no port file in the prefix"

# A file of another format is refused as a port file, and sim reset makes a
# fresh port there.
echo damaged >"$work/notaport"
notaport=$(winpath "$work/notaport")
run_case sim-not-a-port alone PARPORT="sim:$notaport" -- in 0x379
expect_message "$name" "$rc" "$err" "$notaport refused" "wrong size" "sim reset"
run_case sim-reset alone PARPORT="sim:$notaport" -- sim reset
[ "$rc" = 0 ] && [ "$(stat -c %s "$work/notaport")" -gt 65536 ] &&
    ok "$name: a fresh port replaced the damaged file" || { fail "$name"; show; }

# Named bare, a DLL is looked for beside the program and in the system folder,
# never in the working directory, where anyone may have left one.
run_case dll-bare-cwd cwd:alone PARPORT=dll:inpoutx64.dll -- out 0x378 1
refused none inpoutx64.dll "beside lptport.exe"

# A 32-bit DLL cannot be loaded into the 64-bit program: the message says so.
run_case 32-bit-dll alone PARPORT="dll:$(winpath "$dlls/dll32.dll")" -- out 0x378 1
refused none "64-bit"

run_case missing-path alone 'PARPORT=dll:C:\nowhere\port.dll' -- in 0x379
refused none 'C:\nowhere\port.dll'

finish
