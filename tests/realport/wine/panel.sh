#!/bin/bash
# SPDX-License-Identifier: MIT
# Proves the Windows panel under Wine, started from its zip.
#
#   panel.sh SOURCE_DIR WORK_DIR LPTPORT
#
# Builds the panel with the manual's commands (docs/building.md) (the preset "windows", the Qt
# for MinGW in ../shared/qt6-mingw) in a copy of the tree, makes the zip,
# unpacks it into an empty folder and starts lptpanel.exe from there under
# wine64 on a display of its own (Xvfb), clicked with xdotool. LPTPORT, the
# Linux lptport, shares the port file the panel maps under Wine (Z: is the
# Linux root): one file format for both.
# What the driver does with a DLL is proven by run.sh with lptport.exe; here
# the panel's own calls reach the recording DLL beside it.
# Exit status: 0 proved, 1 failed, 77 no Qt for MinGW here.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/../packages.sh"
. "$here/wine.sh"
start_proof /tmp/b-wine-panel "$1" "$2"
lptport=$3

qt=$(realpath -ms "$src/../shared/qt6-mingw") # as the preset names it
[ -f "$qt/lib/cmake/Qt6/Qt6Config.cmake" ] || { echo "SKIP: no Qt for MinGW in $qt, so the" \
    "Windows panel cannot be built (see docs/building.md)"; exit 77; }
# The rest runs on a display of its own: this script again, under xvfb-run.
[ -n "${LPTPANEL_XVFB:-}" ] ||
    exec env LPTPANEL_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" "$@"

# The commands of docs/building.md ("The Windows zip"), as written, in a
# copy of the tree with the Qt for MinGW beside it, as in a fresh clone: the
# preset builds every target into the copy's build-windows. The copy keeps
# the files' times, so a second run rebuilds only what changed.
step "building the panel for Windows and its zip with the manual's commands"
mkdir -p "$work/tree" "$work/shared"
ln -sfn "$qt" "$work/shared/qt6-mingw"
tar -C "$src" --exclude=./.git --exclude='./build*' --exclude="./${work#"$src"/}" -cf - . |
    tar -C "$work/tree" -xf -
# The manual's block of commands that makes the zip, run as written there.
awk '/^```sh$/ { block = ""; inside = 1; next }
     /^```$/ { if (inside && block ~ /cmake --preset windows/) print block; inside = 0; next }
     inside { block = block $0 "\n" }' "$src/docs/building.md" >"$work/zip.sh"
grep -q 'cpack -G ZIP' "$work/zip.sh" || { echo "FAIL: docs/building.md builds no zip"; exit 1; }
rm -f "$work/tree/build-windows"/lptpanel-*-win64.zip
(cd "$work/tree" && bash -e "$work/zip.sh") >"$work/build.log" 2>&1 ||
    { tail -n 60 "$work/build.log"; exit 1; }
rm -rf "$work/unzipped"
unzip -q "$work/tree/build-windows"/lptpanel-*-win64.zip -d "$work/unzipped"
app=$(echo "$work/unzipped"/lptpanel-*-win64)
appw="W:\\unzipped\\${app##*/}" # as the panel sees it
# The zip's manual (docs\ beside the programs): every link and picture resolves.
if cmake -DMANUAL="$app/docs" -P "$src/tests/docs/links.cmake" >"$work/links.log" 2>&1; then
    ok "the zip's manual: $(tail -n 1 "$work/links.log")"
else
    fail "the zip's manual:"
    cat "$work/links.log"
fi
build_recording_dlls

# wait_for SECONDS COMMAND...: polls COMMAND until it succeeds, or fails at
# the deadline.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}

step "starting Wine on display $DISPLAY"
start_wine

# Places in the client area below the menu bar, in pixels (15 twips each),
# from the layout table: frame corner + control corner + half the control.
# The caption, on the simulated port followed by its marker (escaped: xdotool
# takes a pattern).
readonly kTitle="Krmiljenje paralelnih vrat " kSimulated='\[simulirana vrata\]'
readonly kClientHeight=$((5925 / 15))
readonly switchD0="$(((2280 + 360 + 187) / 15)) $(((240 + 480 + 187) / 15))" # Frame1, Image1(0)
readonly exitButton="$(((120 + 1027) / 15)) $(((5280 + 187) / 15))"           # Command2
lampCorner() { echo "$(((7080 + 240) / 15)) $(((240 + 480 + 480 * $1) / 15))"; } # Frame2, Image2(k)

# start_panel NAME DIR [VAR=VALUE...]: lptpanel.exe of the unpacked zip,
# started in the working directory DIR in the background, as process pid.
start_panel() {
    name=$1
    # shellcheck disable=SC2086 # args: the panel's options, split on blanks
    (cd "$2" && shift 2 && exec env "$@" "$wine" "$appw\\lptpanel.exe" ${args:-} 2>"$work/$name.err") &
    pid=$!
}
# find_window TITLE: the visible window TITLE is there; sets its X Y WIDTH
# HEIGHT (it may be gone again before they are read: then it is not there).
find_window() {
    local geometry win
    win=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    geometry=$(xdotool getwindowgeometry --shell "$win" 2>/dev/null) && eval "$geometry"
}
# wait_main TITLE: waits for the main window under TITLE; x0 y0 is its client
# area's corner.
wait_main() {
    wait_for 60 find_window "$1" || { fail "$name: no main window titled '$1'"; return 1; }
    x0=$X y0=$((Y + HEIGHT - kClientHeight)) menuY=$(((HEIGHT - kClientHeight) / -2))
}
click() { xdotool mousemove $((x0 + $1)) $((y0 + $2)) click 1; }
# close_with TITLE KEYS...: with no window manager the keyboard follows the
# pointer and Wine activates a window when it is clicked, so: a click in the
# window's middle, the keys, until the window is gone.
close_with() {
    local title=$1
    find_window "$title" || return 0
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1 key "${@:2}"
    wait_for 1 eval '! find_window "$title"'
}
# ended RC ERR: the panel ends within 30 s, judged (judge in packages.sh):
# with status RC, and ERR on stderr.
ended() {
    local rc=0
    wait_for 30 eval '! kill -0 $pid 2>/dev/null' || { fail "$name: it did not end"; return; }
    wait "$pid" || rc=$?
    tr -d '\r' <"$work/$name.err" >"$work/err"
    judge "$name" "$1" "status $1" "status $rc" "$2" "$work/err"
}
# lamp_is K FILE: lamp K's square on the screen is the picture FILE, pixel for pixel.
lamp_is() {
    local at=($(lampCorner "$1"))
    import -window root -crop "25x25+$((x0 + at[0]))+$((y0 + at[1]))" +repage "$work/lamp.png" &&
        [ "$(compare -metric AE "$work/lamp.png" "$app/$2" null: 2>&1)" = 0 ]
}
# The port's writes, two a line: a pass of the monitor loop writes data, then control.
writes() { PARPORT="sim:$port" "$lptport" sim writes | paste -d, - -; }

# ---- no DLL anywhere, PARPORT unset: the simulated port in the user's local
# application data, the panel a user gets from the zip, its title marked.
step "the panel on the simulated port"
port=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/lptpanel/port
PARPORT="sim:$port" "$lptport" sim reset
PARPORT="sim:$port" "$lptport" sim status 0x80 # every lamp low
start_panel simulated "$app"
if wait_main "$kTitle$kSimulated"; then
    startup=$'data 0,control 3\ndata 255,control 255\ndata 0,control 11'
    wait_for 20 eval '[ "$(writes | head -3)" = "$startup" ]' && ok "$name: the start-up writes" ||
        { fail "$name: the start-up writes:"; writes | head -3; }
    # Immediate mode: the next pass puts the switched bit on the port.
    click $switchD0
    clicked=$startup$'\ndata 1,control 11'
    wait_for 20 eval '[ "$(writes | uniq)" = "$clicked" ]' && ok "$name: a click on D0's switch" ||
        { fail "$name: the writes after a click on D0 (repeats left out):"; writes | uniq; }
    # S3 high, set from Linux, lights its lamp alone.
    PARPORT="sim:$port" "$lptport" sim status 0x88
    wait_for 20 lamp_is 3 ledron.bmp && lamp_is 2 ledgon.bmp && lamp_is 7 ledgon.bmp &&
        ok "$name: status 0x88 from the Linux lptport lit S3's lamp alone" ||
        fail "$name: the lamps do not show status 0x88"
    click 40 "$menuY"
    wait_for 20 find_window "Mivotrel Connector" && ok "$name: the menu opened the diagram" ||
        fail "$name: no diagram window after a click on the menu"
    wait_for 20 close_with "Mivotrel Connector" alt+F4 || fail "$name: the diagram stays open"
    # The exit button ends it; the port line says which port and why.
    click $exitButton
    line="^lptpanel: port: PARPORT unset, no inpoutx64.dll beside lptpanel.exe or in the system"
    line+=" folder: using the simulated port C:.users.$(id -un).AppData.Local.lptpanel.port"
    ended 0 "$line (wiring open)"
fi

# ---- a picture missing from the working directory: the error dialog, and
# status 1 once it is answered.
step "a missing picture"
rm -rf "$work/nopicture"
install -D -t "$work/nopicture" "$app"/{swtchon.gif,swtchoff.gif,ledron.bmp}
start_panel missing-picture "$work/nopicture" 'PARPORT=sim:W:\port'
wait_for 60 find_window lptpanel || fail "$name: no error dialog"
wait_for 20 close_with lptpanel Return || fail "$name: Return did not answer the dialog"
ended 1 'cannot load picture "ledgon.bmp"'

# ---- the recording DLL beside lptpanel.exe, PARPORT unset: the title is the
# caption alone, and the DLL gets the start-up writes and the first pass,
# which reads the status, in order. (The
# other ways to name a DLL are the driver's, proven with lptport.exe by run.sh.)
step "the recording DLL beside the panel"
install -D "$work/dlls/fake.dll" "$app/inpoutx64.dll"
rm -f "$work/calls.log"
start_panel dll-beside "$app" FAKEINPOUT_LOG="$work/calls.log"
record() { head -8 "$work/calls.log" 2>/dev/null | tr -d '\r' | paste -sd';'; }
# dll_record LOAD DATA STATUS CONTROL LINE: the DLL loaded from LOAD gets the
# start-up writes and the first pass at the three addresses, in order; the
# exit button ends the panel, whose port line is LINE.
dll_record() {
    local calls="load $1;out $2 0;out $4 3;out $2 255;out $4 255;out $2 0;out $4 11;in $3 255"
    wait_main "$kTitle" || return
    wait_for 20 eval '[ "$(record)" = "$calls" ]' && ok "$name: the DLL's record" ||
        { fail "$name: the DLL's record begins:"; record; }
    click $exitButton
    ended 0 "$5"
}
dll_record "$appw\\inpoutx64.dll" 0x378 0x379 0x37A "port: PARPORT unset, inpoutx64.dll beside \
lptpanel.exe, no LPT port in the device list: 0x378: using the port-I/O DLL inpoutx64.dll at 0x378"

# ---- --port, as a shortcut's target gives it: a named DLL at another base
# wins over the DLL beside the panel and over PARPORT; every write reaches the
# port at 0x278.
step "--port dll:PATH@0x278"
rm -f "$work/calls.log"
args='--port dll:W:\dlls\fake.dll@0x278' start_panel port-option "$app" \
    FAKEINPOUT_LOG="$work/calls.log" 'PARPORT=sim:W:\port'
dll_record 'W:\dlls\fake.dll' 0x278 0x279 0x27A "port: port-I/O DLL W:.dlls.fake.dll at 0x278"

finish
