#!/bin/bash
# SPDX-License-Identifier: MIT
# Proves the Linux real-port drivers (ppdev and direct I/O) on an emulated PC.
#
#   run.sh [SOURCE_DIR [WORK_DIR]]
#
# Builds a statically linked lptport, takes Debian's own kernel and its
# parallel-port modules, packs them with busybox into an initramfs whose
# /init (init.sh) runs scripted lptport sessions, boots it under QEMU with
# the emulated port's printer output going to a file, and checks what the
# sessions printed on the serial console and what reached the printer.
# Exit status: 0 proved, 1 failed, 77 cannot run here (see packages.sh).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/../packages.sh"
proof_dirs /tmp/b-realport-qemu "$@"
ensure_packages qemu-system-x86 busybox-static cpio xz-utils

# A statically linked lptport, so the initramfs needs no C library.
step "building a static lptport"
cmake -S "$src" -B "$work/lptport" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DLPTPANEL_GUI=OFF -DLPTPANEL_TESTS=OFF -DCMAKE_EXE_LINKER_FLAGS=-static >"$work/cmake.log" ||
    { cat "$work/cmake.log"; exit 1; }
cmake --build "$work/lptport" -j2 --target lptport
lptport=$work/lptport/bin/lptport

# Debian's kernel: the image package linux-image-amd64 depends on, kept in
# the cache between runs, reduced to the kernel and the four modules needed.
kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null |
        awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }'
}
pkg=$(kernel_package)
if [ -z "$pkg" ]; then
    [ "$(id -u)" -eq 0 ] && apt-get update >&2
    pkg=$(kernel_package)
    [ -n "$pkg" ] || cannot_run "apt-cache knows no linux-image-amd64"
fi
kdir=$work/cache/$pkg
modules=(parport parport_pc ppdev lp)
if [ ! -f "$kdir/complete" ]; then
    step "fetching $pkg"
    rm -rf "$kdir" "$work/cache/unpack"
    mkdir -p "$kdir/modules" "$work/cache/unpack"
    (cd "$work/cache/unpack" && apt-get download "$pkg") ||
        cannot_run "apt-get could not download $pkg"
    dpkg-deb -x "$work/cache/unpack"/*.deb "$work/cache/unpack/root"
    cp "$work/cache/unpack/root"/boot/vmlinuz-* "$kdir/vmlinuz"
    for m in "${modules[@]}"; do
        f=$(find "$work/cache/unpack/root/lib/modules" -name "$m.ko*" | head -n 1)
        [ -n "$f" ] || { echo "FAIL: $pkg has no module $m" >&2; exit 1; }
        # busybox insmod takes plain modules only.
        case $f in
        *.ko) cp "$f" "$kdir/modules/$m.ko" ;;
        *.ko.xz) xz -dc "$f" >"$kdir/modules/$m.ko" ;;
        *.ko.gz) gzip -dc "$f" >"$kdir/modules/$m.ko" ;;
        *.ko.zst) ensure_packages zstd && zstd -q -dc "$f" >"$kdir/modules/$m.ko" ;;
        *) echo "FAIL: cannot unpack module $f" >&2; exit 1 ;;
        esac
    done
    rm -rf "$work/cache/unpack"
    touch "$kdir/complete"
fi

step "packing the initramfs"
root=$work/initramfs
rm -rf "$root"
mkdir -p "$root"/{bin,lib/modules,etc,proc,sys,dev,tmp}
cp /bin/busybox "$root/bin/busybox"
cp "$lptport" "$root/bin/lptport"
cp "$kdir"/modules/*.ko "$root/lib/modules/"
cp "$here/init.sh" "$root/init"
chmod 0755 "$root/init" "$root/bin/busybox" "$root/bin/lptport"
chmod 1777 "$root/tmp"
cat >"$root/etc/passwd" <<'PASSWD'
root:x:0:0:root:/tmp:/bin/sh
user:x:1000:1000:not in group lp:/tmp:/bin/sh
printer:x:1001:1001:in group lp:/tmp:/bin/sh
PASSWD
cat >"$root/etc/group" <<'GROUP'
root:x:0:
lp:x:7:printer
user:x:1000:
printer:x:1001:
GROUP
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initrd.cpio"

step "booting the emulated PC"
console=$work/console.log
printer=$work/printer.out
rm -f "$console" "$printer"
rc=0
timeout 240 qemu-system-x86_64 -M pc -accel tcg -m 256 -smp 1 -nic none -nographic -no-reboot \
    -kernel "$kdir/vmlinuz" -initrd "$work/initrd.cpio" \
    -append "console=ttyS0 quiet panic=-1" \
    -parallel "file:$printer" </dev/null >"$console" 2>&1 || rc=$?
tr -d '\r' <"$console" >"$console.txt"
step "QEMU ended with status $rc"

# ---- judging --------------------------------------------------------------
results=$(sed -n '/@@@ lptport sessions begin$/,/^@@@ lptport sessions end$/p' "$console.txt")
if ! grep -qx '@@@ lptport sessions end' <<<"$results"; then
    echo "FAIL: the sessions did not run to their end; console:"
    tail -n 60 "$console.txt"
    exit 1
fi
grep -E '^@@ (kernel|node|base-addr|lockdown)=' <<<"$results" || true

field() { sed -n "s/^@@ $1 $2=//p" <<<"$results"; }

# expect NAME RC OUT PORT: the session's exit status, what it printed on
# stdout, and the port it says it opened.
expect() {
    local got_rc got_out
    got_rc=$(field "$1" rc)
    got_out=$(field "$1" out | sed 's/ *$//')
    if [ "$got_rc" = "$2" ] && [ "$got_out" = "$3" ] &&
        field "$1" err | grep -q "^lptport: port: .*$4"; then
        ok "$1: status $got_rc${3:+, read $3}"
    else
        fail "$1: wanted status $2, output '$3' and a port line naming $4," \
            "got status '$got_rc' and '$got_out': $(field "$1" err)"
    fi
}
# refused NAME TEXT...: the session failed with one message holding each TEXT.
refused() {
    local name=$1
    shift
    expect_message "$name" "$(field "$name" rc)" "$(field "$name" err)" "$@" "Real ports on Linux"
}

grep -q '^@@ base-addr=888\b' <<<"$results" && ok "parport0 sits at 888 (0x378)" ||
    fail "parport0's base-addr is not 888: $(grep '^@@ base-addr' <<<"$results")"

# QEMU's printer: status 0xD8 after reset, busy cleared by the strobe (0x58),
# then acknowledge pulses low (0x18) and the printer is ready again (0xD8).
for tag in ppdev direct; do
    port=$([ $tag = ppdev ] && echo /dev/parport0 || echo direct)
    expect $tag-strobe 0 "" $port
    expect $tag-status 0 "216 216 88 88 24 216" $port
    expect $tag-direction 0 "255 165" $port
    # capture starts from every pin's level: S3..S7 of status 0xD8, D0..D7 of
    # 0xA5, C0..C3 of control 11 (kept by direct I/O) or 0x0C (ppdev's claim).
    expect $tag-capture 0 "" $port
    c=$([ $tag = ppdev ] && echo 1n1o1p0q || echo 0n0o0p0q)
    levels=$(field $tag-capture levels)
    [ "$levels" = "\$dumpvars1a1b0c1d0e1f0g1h0i0j1k0l1m$c\$end" ] && ok "$tag-capture: $levels" ||
        fail "$tag-capture: the starting levels are $levels"
done
refused ppdev-missing-node "/dev/parport0" "modprobe parport_pc ppdev"
refused ppdev-not-in-group "/dev/parport0" "group lp"
refused direct-not-root "root"
expect ppdev-in-group 0 "" /dev/parport0
refused ppdev-held-by-lp "/dev/parport0" "rmmod lp" "blacklist lp"
expect ppdev-after-rmmod-lp 0 "" /dev/parport0
refused direct-lockdown "lockdown"
expect ppdev-lockdown 0 "" /dev/parport0

# What the printer received: every strobed byte, in the order sent (see the
# data values in init.sh: ppdev A B C Z, direct D E F Y, then G H I).
want="ABCZDEFYGHI"
got=$(cat "$printer" 2>/dev/null || true)
if [ "$got" = "$want" ] && [ "$(stat -c %s "$printer")" = ${#want} ]; then
    ok "the printer received $want"
else
    fail "the printer received '$(od -An -c "$printer" 2>/dev/null | tr -s ' \n' ' ')', wanted '$want'"
fi

echo "console: $console.txt"
finish
