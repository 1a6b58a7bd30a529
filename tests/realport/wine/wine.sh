# SPDX-License-Identifier: MIT
# Sourced by the Wine proofs (run.sh, panel.sh), after packages.sh and
# start_proof: the recording port-I/O DLLs, and Wine in a prefix of its own.

# build_recording_dlls: $work/dlls/fake.dll (Out32, Inp32, its driver
# running), closed.dll (the same, its driver not running) and out32only.dll
# (Out32 only), all recording every call (fakeinpout.c).
build_recording_dlls() {
    local cc="x86_64-w64-mingw32-gcc -std=c2x -O2 -Wall -Wextra -Werror -shared -static-libgcc"
    mkdir -p "$work/dlls"
    $cc -o "$work/dlls/fake.dll" "$here/fakeinpout.c" "$here/fakeinpout.def"
    $cc -DFAKEINPOUT_DRIVER_CLOSED=1 -o "$work/dlls/closed.dll" "$here/fakeinpout.c" \
        "$here/fakeinpout.def"
    $cc -DFAKEINPOUT_NO_INP32 -o "$work/dlls/out32only.dll" "$here/fakeinpout.c" \
        "$here/fakeinpout-out32.def"
}

# start_wine: sets wine (the loader) and wineserver, exports a
# quiet 64-bit prefix in $work/prefix (made on first use, with Wine's own
# fonts for the dialogs) whose drive W: is $work, so that the cases name their
# files briefly, and keeps one wine server running until the script exits,
# when it ends every Wine process of the prefix and waits for them.
start_wine() {
    wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver # where Debian puts them
    export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
    unset PARPORT FAKEINPOUT_LOG WAYLAND_DISPLAY
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        step "creating the Wine prefix"
        "$wine" wineboot --init >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; exit 1; }
        "$wineserver" -w # until the prefix's start-up programs have ended
        cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    fi
    ln -sfn "$work" "$WINEPREFIX/dosdevices/w:"
    "$wineserver" -p 60 2>/dev/null || true # one is running already
    trap '"$wineserver" -k 2>/dev/null; "$wineserver" -w' EXIT
}
