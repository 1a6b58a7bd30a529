#!/bin/bash
# SPDX-License-Identifier: MIT
# Proves the Linux real-port drivers (ppdev and direct I/O) on an emulated PC.
#
#   run.sh [SOURCE_DIR [WORK_DIR]]
#
# Builds a statically linked lptport, takes Debian's own kernel and its
# parallel-port modules, packs them with busybox into an initramfs whose
# /init (init.sh) runs scripted lptport sessions, boots it under QEMU with
# two emulated ports (QEMU puts the first at 0x378, the second at 0x278),
# each one's printer output going to a file of its own, and checks the
# sessions' verdicts on the serial console and what reached each printer.
# Exit status: 0 proved, 1 failed, 77 cannot run here (see packages.sh).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/../packages.sh"
start_proof /tmp/b-realport-qemu "$@"

# A statically linked lptport, so the initramfs needs no C library.
step "building a static lptport"
cmake -S "$src" -B "$work/lptport" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DLPTPANEL_GUI=OFF -DLPTPANEL_TESTS=OFF -DCMAKE_EXE_LINKER_FLAGS=-static >"$work/cmake.log" ||
    { cat "$work/cmake.log"; exit 1; }
cmake --build "$work/lptport" -j2 --target lptport liblptport_static
# The library's C program (tests/lib/strobe.c), compiled as C and linked
# statically with the static liblptport and the C++ library it needs.
b=$work/lptport
cc -std=c11 -O2 -Wall -Wextra -Werror -I"$src/lib" -c -o "$b/strobe.o" "$src/tests/lib/strobe.c"
c++ -static -pthread -o "$b/bin/strobe" "$b/strobe.o" "$b/lib/liblptport.a" \
    "$b/lptport/liblptport_commands.a" "$b/port/libport.a"

# Debian's kernel: the image package linux-image-amd64 depends on, kept in
# the cache between runs, reduced to the kernel and the four modules needed.
kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null |
        awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }'
}
[ -n "$(kernel_package)" ] || apt-get update >&2 || true
pkg=$(kernel_package)
[ -n "$pkg" ] || cannot_run "apt-cache knows no linux-image-amd64"
kdir=$work/kernel-$pkg
if [ ! -f "$kdir/complete" ]; then
    step "fetching $pkg"
    rm -rf "$kdir"
    mkdir -p "$kdir/unpack"
    (cd "$kdir" && apt-get download "$pkg") || cannot_run "apt-get could not download $pkg"
    dpkg-deb -x "$kdir"/*.deb "$kdir/unpack"
    cp "$kdir"/unpack/boot/vmlinuz-* "$kdir/vmlinuz"
    for m in parport parport_pc ppdev lp; do
        f=$(find "$kdir/unpack/lib/modules" -name "$m.ko" -o -name "$m.ko.xz" | head -n 1)
        [ -n "$f" ] || { echo "FAIL: $pkg has no module $m (as .ko or .ko.xz)" >&2; exit 1; }
        # busybox insmod takes plain modules only; xz -f passes a plain one through.
        xz -dcf "$f" >"$kdir/$m.ko"
    done
    rm -rf "$kdir"/unpack "$kdir"/*.deb
    touch "$kdir/complete"
fi

step "packing the initramfs and booting the emulated PC"
root=$work/initramfs
rm -rf "$root"
mkdir -p "$root"/{etc,proc,sys,dev}
install -m 1777 -d "$root/tmp"
install -D -t "$root/bin" /bin/busybox "$work/lptport/bin/lptport" "$work/lptport/bin/strobe"
install "$here/init.sh" "$root/init"
cp "$kdir"/*.ko "$here/../packages.sh" "$root/"
printf '%s\n' root:x:0:0::/tmp:/bin/sh user:x:1000:1000::/tmp:/bin/sh \
    printer:x:1001:1001::/tmp:/bin/sh >"$root/etc/passwd"
printf '%s\n' root:x:0: lp:x:7:printer >"$root/etc/group"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initrd.cpio"

console=$work/console.log
printer=$work/printer.out printer278=$work/printer-0x278.out
rm -f "$console" "$printer" "$printer278"
timeout 240 qemu-system-x86_64 -M pc -accel tcg -m 256 -smp 1 -nic none -nographic -no-reboot \
    -kernel "$kdir/vmlinuz" -initrd "$work/initrd.cpio" -append "console=ttyS0 quiet panic=-1" \
    -parallel "file:$printer" -parallel "file:$printer278" </dev/null >"$console" 2>&1 ||
    step "QEMU ended with status $?"
tr -d '\r' <"$console" >"$console.txt"

# The sessions judged themselves (init.sh); a run cut short proves nothing.
results=$(sed -n '/@@@ lptport sessions begin$/,/^@@@ lptport sessions end$/p' "$console.txt")
if ! grep -qx '@@@ lptport sessions end' <<<"$results"; then
    echo "FAIL: the sessions did not run to their end; console:"
    tail -n 60 "$console.txt"
    exit 1
fi
grep -v '^@@ dmesg' <<<"$results"
failures=$(grep -c '^FAIL: ' <<<"$results" || true)

# What each printer received: every strobed byte, in the order sent (see the
# data values in init.sh: at 0x378 ppdev A B C Z, pulse k, play l m, direct
# D E F Y, pulse n, play o p, PARPORT unset J, the library Q R S T U, then G H
# I; at 0x278 ppdev a, direct b, the library c).
received() {
    cmp -s "$1" <(printf %s "$2") && ok "the printer at $3 received $2" ||
        fail "the printer at $3 received '$(od -An -c "$1" | tr -s ' \n' ' ')', wanted '$2'"
}
received "$printer" ABCZklmDEFYnopJQRSTUGHI 0x378
received "$printer278" abc 0x278

echo "console: $console.txt"
finish
