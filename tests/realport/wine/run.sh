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
start_proof /tmp/b-realport-wine "$@"

step "cross-building lptport.exe and the recording DLLs"
cmake -S "$src" -B "$work/cross" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLPTPANEL_GUI=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" -DLPTPANEL_TESTS=OFF \
    -DCMAKE_EXE_LINKER_FLAGS=-static >"$work/cmake.log" ||
    { cat "$work/cmake.log"; exit 1; }
cmake --build "$work/cross" -j2 --target lptport liblptport
# The library's C program (tests/lib/strobe.c), compiled as C against the DLL.
x86_64-w64-mingw32-gcc -std=c11 -O2 -Wall -Wextra -Werror -I"$src/lib" -o "$work/cross/strobe.exe" \
    "$src/tests/lib/strobe.c" "$work/cross/lib/liblptport.dll.a"

build_recording_dlls
# dll32.dll, a 32-bit DLL with the same two entry points.
x86_64-w64-mingw32-gcc -m32 -std=c2x -Wall -Werror -c -o "$work/dlls/dll32.o" "$here/dll32.c"
x86_64-w64-mingw32-ld -m i386pe -T "$here/dll32.ld" --dll -e 0 -o "$work/dlls/dll32.dll" \
    "$work/dlls/dll32.o" "$here/dll32.def"

# Where the DLLs lie, one folder per case: beside lptport.exe under the
# 64-bit name (one whose driver runs, one whose driver does not), under the
# 32-bit name only, nowhere, and in the working directory only.
run=$work/run
rm -rf "$run"
for d in beside closed wrongname alone; do install -D -t "$run/$d" "$work/cross/bin/lptport.exe"; done
install -D "$work/dlls/fake.dll" "$run/beside/inpoutx64.dll"
install -D "$work/dlls/closed.dll" "$run/closed/inpoutx64.dll"
install -D "$work/dlls/fake.dll" "$run/wrongname/inpout32.dll"
install -D "$work/dlls/fake.dll" "$run/cwd/inpoutx64.dll"
# The library's program with liblptport.dll, with the recording DLL beside
# them (lib) and without it (libalone).
for d in lib libalone; do
    install -D -t "$run/$d" "$work/cross/strobe.exe" "$work/cross/bin/liblptport.dll"
done
install -D "$work/dlls/fake.dll" "$run/lib/inpoutx64.dll"
echo damaged >"$work/notaport"
unset DISPLAY # Wine without a display
start_wine

# check NAME CWD[:EXE] VARS ARGS RC OUT CALLS ERR: runs W:\run\EXE\lptport.exe
# (or the program named by $program; EXE defaults to CWD) in the working
# directory W:\run\CWD with the variables VARS and the arguments ARGS (both
# split at blanks), judged (judge in packages.sh): it must end with status
# RC, print OUT (its lines joined by blanks), leave in the DLL's record CALLS
# (lines joined by "; ", "none" when it was never loaded), and print ERR on
# stderr.
check() {
    local exe="W:\\run\\${2#*:}\\${program:-lptport.exe}" rc=0 out calls
    rm -f "$FAKEINPOUT_LOG"
    (cd "$run/${2%:*}" && env $3 "$wine" "$exe" $4 >"$work/out" 2>"$work/err") || rc=$?
    out=$(tr -d '\r' <"$work/out" | tr '\n' ' ' | sed 's/ *$//')
    calls=$(tr -d '\r' 2>/dev/null <"$FAKEINPOUT_LOG" || echo none)
    sed -i 's/\r$//' "$work/err"
    judge "$1" "$5" "status $5, stdout '$6', calls '$7'" \
        "status $rc, stdout '$out', calls '${calls//$'\n'/; }'" "$8" "$work/err"
}
export FAKEINPOUT_LOG=$work/calls.log
win='(see docs/windows.md)' d='W:\dlls' appdata="C:\\users\\$(id -un)\\AppData\\Local"
unset_none="PARPORT unset, no inpoutx64.dll beside lptport.exe or in the system folder: using"
unset_none+=" the simulated port C:.users.$(id -un).AppData.Local.lptpanel.port"
step "running lptport.exe under $("$wine" --version 2>/dev/null)"

# Bad arguments touch no port: the DLL is not loaded.
check bad-address beside "" "out 0x999 1" 2 "" none "0x999.*Try 'lptport out --help'"
# The default DLL of a 64-bit build, beside the program, is loaded at the
# first access, once; the calls reach it in order and reads give its answers
# (the low byte only: 0x1C5 reads 197).
calls="load W:\\run\\beside\\inpoutx64.dll; out 0x378 65; out 0x37A 11; in 0x379 127"
# Wine's device list has no LPT port, so the DLL drives the port at 0x378.
check default-dll beside "FAKEINPOUT_IN_379=0x7F FAKEINPOUT_IN_378=0x1C5" \
    "out 0x378 0x41 out 0x37A 11 in 0x379 in 0x378 out 0x378 0" 0 "127 197" \
    "$calls; in 0x378 453; out 0x378 0" "port: PARPORT unset, inpoutx64.dll beside lptport.exe,"\
" no LPT port in the device list: 0x378: using the port-I/O DLL inpoutx64.dll at 0x378"
# @0xBASE: the registers 0x378..0x37A reach the DLL as those of the port at
# BASE, through the default DLL or a named one.
check dll-at-base beside "PARPORT=dll@0x278 FAKEINPOUT_IN_279=0x40" \
    "out 0x378 1 out 0x37A 4 in 0x379" 0 64 \
    "load W:\\run\\beside\\inpoutx64.dll; out 0x278 1; out 0x27A 4; in 0x279 64" \
    "port: port-I/O DLL inpoutx64.dll at 0x278"
check dll-path-at-base alone "PARPORT=dll:$d\\fake.dll@0xEC00" "in 0x379 out 0x37A 0" 0 255 \
    "load $d\\fake.dll; in 0xEC01 255; out 0xEC02 0" "at 0xEC00"
# A DLL whose kernel driver is not running is never used: one message, the cause and the fix.
check driver-closed alone "PARPORT=dll:$d\\closed.dll" "out 0x378 1" 1 "" "load $d\\closed.dll" \
    "closed.dll is loaded, but its kernel driver is not running.*Memory integrity.*administrator"
# lptport ports: Wine's device list has no LPT port; the DLL is loaded to ask
# whether its driver runs, and no register is accessed.
noport="no parallel port: the system's device list has no LPT port (Device Manager, Ports (COM &"
noport+=" LPT)). A card needs its driver installed; a port on the board may be turned off in the"
noport+=" firmware setup"
unset_dll="PARPORT unset: dll (inpoutx64.dll beside lptport.exe, no LPT port in the device list:"
unset_dll+=" 0x378)"
check ports beside "" ports 0 \
    "$noport port-I/O DLL: W:\\run\\beside\\inpoutx64.dll, its driver running $unset_dll" \
    "load W:\\run\\beside\\inpoutx64.dll" ""
closed="port-I/O DLL: W:\\run\\closed\\inpoutx64.dll, its driver NOT running: the DLL installs it"
closed+=" when run as administrator, and Windows refuses it where Memory integrity (Core isolation)"
closed+=" or the vulnerable driver blocklist is on. Fix: run lptport.exe once as administrator"
closed+=" (right-click, Run as administrator), which installs it; if it still does not run, see"
closed+=" Windows Security > Device security > Core isolation details, and the refused driver in"
closed+=" Event Viewer under Applications and Services Logs > Microsoft > Windows > CodeIntegrity"
check ports-driver-closed closed "" ports 0 "$noport $closed $unset_dll" \
    "load W:\\run\\closed\\inpoutx64.dll" ""
# LPTn is looked up in the device list: a missing one is named, with those there are.
check lpt-missing alone "PARPORT=LPT7" "in 0x379" 1 "" none \
    "no port LPT7 in the system's device list: it lists no LPT port"
# dll:PATH names the DLL, under any name, absolute or relative to the
# working directory; the program's folder holds none.
check dll-path-absolute alone "PARPORT=dll:$d\\fake.dll FAKEINPOUT_IN_379=0x80" \
    "out 0x37A 4 in 0x379" 0 128 "load $d\\fake.dll; out 0x37A 4; in 0x379 128" \
    "port: port-I/O DLL W:.dlls.fake.dll"
check dll-path-relative ..:alone "PARPORT=dll:dlls\\fake.dll" "out 0x378 255" 0 "" \
    "load $d\\fake.dll; out 0x378 255" "port: port-I/O DLL dlls.fake.dll"
# Each entry point is looked up at its own first use: a DLL without Inp32
# serves writes, and the first read fails with one message, after the
# writes before it and before any after it.
check out32-only-read alone "PARPORT=dll:$d\\out32only.dll" "out 0x378 2 in 0x379 out 0x378 3" \
    1 "" "load $d\\out32only.dll; out 0x378 2" "out32only.dll.*no entry point Inp32.*$win"
# With no DLL beside the program or in the system folder, PARPORT unset means
# the simulated port in the local application data (9 written there is read
# back): a DLL only in the working directory, or only under the 32-bit name,
# is never loaded.
check no-dll-cwd cwd:alone "" "out 0x378 7 in 0x378" 0 7 none "$unset_none"
check local-appdata alone "PARPORT=sim:$appdata\\lptpanel\\port" "out 0x378 9" 0 "" none ""
check no-dll-wrongname wrongname "" "in 0x378" 0 9 none "$unset_none"
# A file of another format is refused as a port file, and sim reset makes a
# fresh port there (status 0x7F: inputs floating high).
check sim-not-a-port alone "PARPORT=sim:W:\\notaport" "in 0x379" 1 "" none \
    "W:.notaport refused.*wrong size.*sim reset"
check sim-reset alone "PARPORT=sim:W:\\notaport" "sim reset" 0 "" none ""
check sim-fresh alone "PARPORT=sim:W:\\notaport" "in 0x379" 0 127 none "port: .*W:.notaport"
# Named bare, a DLL is looked for beside the program and in the system folder,
# never in the working directory, where anyone may have left one.
check dll-bare-cwd cwd:alone "PARPORT=dll:inpoutx64.dll" "out 0x378 1" 1 "" none \
    "inpoutx64.dll: not found beside lptport.exe.*$win"
# A 32-bit DLL cannot be loaded into the 64-bit program: the message says so.
check 32-bit-dll alone "PARPORT=dll:$d\\dll32.dll" "out 0x378 1" 1 "" none \
    "dll32.dll: it is not a 64-bit DLL.*$win"
check missing-path alone "PARPORT=dll:C:\\nowhere\\port.dll" "in 0x379" 1 "" none \
    "C:.nowhere.port.dll: not found.*$win"

# liblptport.dll driven by a C program: the port named as dll@0x278 reaches
# the DLL at that base, each byte strobed in order (the restore of STROBE
# written by the library's own thread); "-" (a real port, or none) never
# falls back to the simulated port; a DLL whose driver is not running is
# refused at the first access. The messages name the program itself.
lib_calls="load W:\\run\\lib\\inpoutx64.dll; out 0x27A 12"
for b in 81 82; do lib_calls+="; out 0x278 $b; out 0x27A 13; out 0x27A 12; in 0x278 81"; done
program=strobe.exe check lib-dll-at-base lib "FAKEINPOUT_IN_278=0x51" "dll@0x278 0x51 0x52" 0 \
    "81 81" "$lib_calls" "^strobe: port: port-I/O DLL inpoutx64.dll at 0x278"
program=strobe.exe check lib-no-dll libalone "" "- 0x51" 1 "" none \
    "strobe: open: no parallel port found: PARPORT unset, no inpoutx64.dll beside strobe.exe.*PARPORT=sim"
program=strobe.exe check lib-driver-closed libalone "" "dll:$d\\closed.dll 0x51" 1 "" \
    "load $d\\closed.dll" "strobe: write: .*closed.dll is loaded, but its kernel driver is not running.*Fix: run strobe.exe once as administrator"

finish
