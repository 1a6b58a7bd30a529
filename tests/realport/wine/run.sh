#!/bin/bash
# SPDX-License-Identifier: MIT
# Proves the Windows real-port driver (the port-I/O DLL) under Wine.
#
#   run.sh [SOURCE_DIR [WORK_DIR]]
#
# Cross-builds lptport.exe (64-bit) with mingw-w64, builds a port-I/O DLL of
# our own (fakeinpout.c) that records every call, and runs lptport.exe under
# wine64 with the DLL in the places a user might put it, checking which DLL
# is loaded and when, the calls that reach it, in order, the messages
# when the DLL or an entry point is missing, and, for a DLL whose driver is
# not running, the cause named from the driver's state set in the prefix.
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
# A script's program lies elsewhere (python.exe): the DLL beside liblptport.dll.
install -D -t "$run/libonly" "$work/cross/bin/liblptport.dll"
install -D "$work/dlls/fake.dll" "$run/libonly/inpoutx64.dll"
install -D -t "$run/strobeonly" "$work/cross/strobe.exe"
echo damaged >"$work/notaport"
unset DISPLAY # Wine without a display
start_wine

# driver_state [SERVICE [FILE [HVCI [BLOCKLIST [BUILD]]]]]: sets what Windows
# says of the DLL's driver in the prefix: the service inpoutx64 (none,
# stopped: a kernel service never started, running: a stand-in program under
# that name), its file System32\drivers\inpoutx64.sys (none, there), Memory
# integrity's and the blocklist's registry values (none, or the DWORD to set)
# and the build number (Wine's prefix says 7601 unless told).
driver_state() {
    local cfg='HKLM\SYSTEM\CurrentControlSet\Control' sys=$WINEPREFIX/drive_c/windows/system32
    "$wine" sc stop inpoutx64 >/dev/null 2>&1 || true
    "$wine" sc delete inpoutx64 >/dev/null 2>&1 || true
    case ${1:-none} in
    stopped) "$wine" sc create inpoutx64 type= kernel binPath= 'C:\windows\system32\drivers\inpoutx64.sys' ;;
    running) "$wine" sc create inpoutx64 type= own binPath= 'C:\windows\system32\spoolsv.exe' &&
        "$wine" sc start inpoutx64 ;;
    esac >/dev/null
    rm -f "$sys/drivers/inpoutx64.sys"
    [ "${2:-none}" = none ] || : >"$sys/drivers/inpoutx64.sys"
    regval "$cfg\DeviceGuard\Scenarios\HypervisorEnforcedCodeIntegrity" Enabled REG_DWORD "${3:-none}"
    regval "$cfg\CI\Config" VulnerableDriverBlocklistEnable REG_DWORD "${4:-none}"
    regval 'HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion' CurrentBuildNumber REG_SZ "${5:-7601}"
}
regval() { # KEY VALUE TYPE DATA|none
    if [ "$4" = none ]; then "$wine" reg delete "$1" /v "$2" /f; else
        "$wine" reg add "$1" /v "$2" /t "$3" /d "$4" /f; fi >/dev/null 2>&1 || true
}
driver_state

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
closed="port-I/O DLL: W:\\run\\closed\\inpoutx64.dll, its driver NOT running: its driver was never"
closed+=" installed (no service inpoutx64), and lptport.exe runs as administrator, when the DLL"
closed+=" installs it: something stopped the DLL from installing it. Fix: look for inpoutx64.sys in"
closed+=" your security software's quarantine (some take it for a vulnerable driver), and use InpOut's"
closed+=" own DLL, whose driver's service is inpoutx64 driver: elevated, service inpoutx64 not"
closed+=" installed, inpoutx64.sys missing, Memory integrity not configured, blocklist switch absent"
closed+=" (off by default), build 7601"
check ports-driver-closed closed "" ports 0 "$noport $closed $unset_dll" \
    "load W:\\run\\closed\\inpoutx64.dll" ""
# named NAME CAUSE FACTS, in the state driver_state set: a DLL named by
# PARPORT whose driver is not running is never used, and its one message
# names CAUSE; lptport ports names that DLL with CAUSE, and the FACTS read
# from the prefix (Wine runs every program elevated).
named() {
    check "$1" alone "PARPORT=dll:$d\\closed.dll" "out 0x378 1" 1 "" "load $d\\closed.dll" \
        "closed.dll is loaded, but its kernel driver is not running: $2"
    (cd "$run/alone" && PARPORT="dll:$d\\closed.dll" "$wine" 'W:\run\alone\lptport.exe' ports) \
        2>&1 | tr -d '\r' >"$work/out"
    if grep -q -- "^port-I/O DLL: W:.dlls.closed.dll, its driver NOT running: $2" "$work/out" &&
        grep -qx -- "driver: elevated, service inpoutx64 $3" "$work/out"; then ok "$1 (ports)"
    else fail "$1 (ports): wanted '$2' and the facts '$3'; got:"; sed 's/^/      /' "$work/out"; fi
}
# typed NAME PATTERN COMMAND...: the manual's command, as typed in a Command
# Prompt, prints a line matching PATTERN.
typed() {
    local name=$1 pattern=$2; shift 2
    if "$wine" "$@" 2>&1 | tr -d '\r' | grep -q -- "$pattern"; then ok "$name"
    else fail "$name: '$*' printed no line matching '$pattern'"; fi
}
refused="its service inpoutx64 is installed, but Windows refuses the driver:"
named never-installed "its driver was never installed (no service inpoutx64), and lptport.exe runs as administrator" "not installed, inpoutx64.sys missing, Memory integrity not configured, blocklist switch absent (off by default), build 7601"
driver_state stopped
named file-removed "its service inpoutx64 is installed, but the driver file System32.drivers.inpoutx64.sys is missing" "stopped, inpoutx64.sys missing, Memory integrity not configured, blocklist switch absent (off by default), build 7601"
driver_state stopped there
named stopped "its service inpoutx64 is installed but stopped. Fix: start it: sc start inpoutx64" "stopped, inpoutx64.sys present, Memory integrity not configured, blocklist switch absent (off by default), build 7601"
driver_state stopped there none none 22631
named blocklist-default "$refused the vulnerable-driver blocklist is on (the default of build 22631). Fix: only on a machine you control" "stopped, inpoutx64.sys present, Memory integrity not configured, blocklist switch absent (on by default), build 22631"
driver_state stopped there 1 0 22631
named memory-integrity "$refused Memory integrity is on. Fix: .* turn off Memory integrity in Windows Security" "stopped, inpoutx64.sys present, Memory integrity on, blocklist off, build 22631"
driver_state stopped there 0 1 19045
typed sc-query "STATE *: 1 *STOPPED" sc query inpoutx64
typed reg-query "VulnerableDriverBlocklistEnable *REG_DWORD *0x1" reg query HKLM\\SYSTEM\\CurrentControlSet\\Control\\CI\\Config /v VulnerableDriverBlocklistEnable
named blocklist-on "$refused the vulnerable-driver blocklist is on. Fix: .* turn off Microsoft Vulnerable Driver Blocklist (the value VulnerableDriverBlocklistEnable=0" "stopped, inpoutx64.sys present, Memory integrity off, blocklist on, build 19045"
driver_state running there
named running "its service inpoutx64 runs, yet the DLL cannot open its driver" "running, inpoutx64.sys present, Memory integrity not configured, blocklist switch absent (off by default), build 7601"
driver_state
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
# Both entry points are resolved when the DLL is loaded: a DLL without Inp32
# is refused as a whole, naming it, before the first write reaches it.
check out32-only alone "PARPORT=dll:$d\\out32only.dll" "out 0x378 2 in 0x379 out 0x378 3" \
    1 "" "load $d\\out32only.dll" "out32only.dll.*no entry point Inp32.*$win"
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
program=strobe.exe check lib-dll-beside-library libonly:strobeonly "FAKEINPOUT_IN_378=0x51" "- 0x51" 0 \
    "81" "load W:\\run\\libonly\\inpoutx64.dll; out 0x37A 12; out 0x378 81; out 0x37A 13; out 0x37A 12; in 0x378 81" \
    "^strobe: port: PARPORT unset, inpoutx64.dll beside liblptport.dll"
program=strobe.exe check lib-no-dll libalone "" "- 0x51" 1 "" none \
    "strobe: open: no parallel port found: PARPORT unset, no inpoutx64.dll beside strobe.exe, beside liblptport.dll or in the system folder.*PARPORT=sim"
program=strobe.exe check lib-driver-closed libalone "" "dll:$d\\closed.dll 0x51" 1 "" \
    "load $d\\closed.dll" "strobe: write: .*closed.dll is loaded, but its kernel driver is not running: its driver was never installed.*strobe.exe runs as administrator"

finish
