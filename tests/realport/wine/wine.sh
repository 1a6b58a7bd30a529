# SPDX-License-Identifier: MIT
# Sourced by the Wine proofs (run.sh, panel.sh), after packages.sh and
# proof_dirs: the recording port-I/O DLLs, and Wine in a prefix of its own.

# build_recording_dlls DIR: fake.dll (Out32 and Inp32) and out32only.dll
# (Out32 only), both recording every call (fakeinpout.c).
build_recording_dlls() {
    local cc=x86_64-w64-mingw32-gcc
    rm -rf "$1"
    mkdir -p "$1"
    $cc -O2 -Wall -Wextra -Werror -shared -static-libgcc -o "$1/fake.dll" \
        "$here/fakeinpout.c" "$here/fakeinpout.def"
    $cc -O2 -Wall -Wextra -Werror -shared -static-libgcc -DFAKEINPOUT_NO_INP32 \
        -o "$1/out32only.dll" "$here/fakeinpout.c" "$here/fakeinpout-out32.def"
}

# start_wine: sets wine (the loader), exports a quiet 64-bit prefix in
# $work/prefix (made on first use, with Wine's own fonts for the dialogs),
# and keeps one wine server running until the script exits.
start_wine() {
    wine=$(command -v wine64 || true)
    [ -n "$wine" ] || wine=/usr/lib/wine/wine64
    [ -x "$wine" ] || cannot_run "wine64 is installed but its loader is not found"
    export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        step "creating the Wine prefix"
        "$wine" wineboot --init >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; exit 1; }
        if [ -d /usr/share/wine/fonts ]; then
            cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
        fi
    fi
    wineserver=$(dirname "$wine")/wineserver
    [ -x "$wineserver" ] || wineserver=$(dirname "$wine")/wineserver64
    "$wineserver" -p 60 2>/dev/null || true
    trap 'stop_wine' EXIT
}

stop_wine() { "$wineserver" -k 2>/dev/null || true; }

winpath() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
