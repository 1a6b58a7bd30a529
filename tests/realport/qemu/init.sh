#!/bin/busybox sh
# SPDX-License-Identifier: MIT
# /init of the emulated PC: loads the parallel-port modules, runs scripted
# lptport sessions against QEMU's two ports, the first at 0x378 and the second
# at 0x278, judges each one and prints its verdict ("ok:" or "FAIL:") on the
# serial console, between the begin and end markers, then powers off. The
# host side (run.sh) counts the verdicts and checks what reached each
# printer. Users: user (not in group lp) and printer (in group lp).

/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
echo 1 >/proc/sys/kernel/printk
. /packages.sh

# session NAME RC OUT ERR COMMAND...: one lptport session, judged (judge in
# packages.sh): it must end with status RC and print OUT (its lines joined by
# blanks) and on stderr ERR; a refusal also points to its page of the manual.
session() {
    name=$1 rc=$2 want="status $2, stdout '$3'" err=$4
    shift 4
    "$@" >/tmp/out 2>/tmp/err
    got="status $?, stdout '$(tr '\n' ' ' </tmp/out | sed 's/ *$//')'"
    [ "$rc" = 0 ] || err="$err.*(see docs/linux.md)"
    judge "$name" "$rc" "$want" "$got" "$err" /tmp/err
}

# strobe BYTE: the control register's strobe bit (C0) rising while INIT and
# SELECT are set makes QEMU's printer take the data latch. Sessions start
# from control 0x0C (strobe low, printer selected and out of reset).
strobe() {
    echo "out 0x37A 0x0C out 0x378 $1 out 0x37A 0x0D out 0x37A 0x0C"
}
# levels: a capture of every pin, the outputs read back; prints its starting levels.
levels() {
    lptport capture --outputs --samples 1000 -o /tmp/c.vcd &&
        sed -n '/^\$dumpvars/,/^\$end/p' /tmp/c.vcd | tr -d '\n'
}
# vcd BYTE...: a VCD that puts each byte on the data lines and strobes it
# (STROBE low for 1 ms), with INIT high and SELECT IN low throughout.
vcd() {
    echo '$timescale 1 ms $end $var wire 1 s C0_STROBE_pin1 $end'
    echo '$var wire 1 i C2 $end $var wire 1 e C3 $end'
    for k in 0 1 2 3 4 5 6 7; do echo "\$var wire 1 d$k D$k \$end"; done
    echo '$enddefinitions $end'
    t=0
    for b in "$@"; do
        echo "#$t 1s 1i 0e"
        for k in 0 1 2 3 4 5 6 7; do echo "$(((b >> k) & 1))d$k"; done
        echo "#$((t + 1)) 0s"
        echo "#$((t + 2)) 1s"
        t=$((t + 3))
    done
    echo "#$t"
}
# The kernel numbers the ports in the firmware's order: parport0 is the one at
# 0x278, parport1 the one at 0x378 (lptport ports shows it below).
ppdev="env PARPORT=/dev/parport1 lptport" direct="env PARPORT=direct lptport"
pp="^lptport: port: ppdev /dev/parport1"
# The port lines of lptport ports, and its hints.
at278="parport0  /dev/parport0  base 0x278  I/O 0x278-0x27A  modes PCSPP,TRISTATE  PARPORT=/dev/parport0"
at378="parport1  /dev/parport1  base 0x378  I/O 0x378-0x37A  modes PCSPP,TRISTATE  PARPORT=/dev/parport1"
nonode="no node /dev/parport%d: ppdev is not loaded (sudo modprobe ppdev)"
nolp="this user may not open /dev/parport%d: join group lp (sudo adduser \$USER lp, then log in again)"

echo "@@@ lptport sessions begin"
echo "@@ kernel=$(uname -r)"

# No driver loaded yet: the node is missing, and the kernel lists no port.
session ppdev-missing-node 1 "" "/dev/parport1: no such device.*modprobe parport_pc ppdev" \
    $ppdev out 0x378 1
session ports-no-driver 0 "no parallel port: the kernel lists none. Load the PC port driver: sudo \
modprobe parport_pc (a card with serial ports too: sudo modprobe parport_serial); a card the kernel \
has no driver for, or a port turned off in the firmware setup, is not listed PARPORT unset: sim (no \
parallel port)" "" lptport ports

# The library refuses to fall back to the simulated port for a program that
# asked for a real one.
/bin/strobe - 0x41 >/tmp/out 2>/tmp/err
judge lib-no-port 1 "status 1" "status $?" "strobe: open: no parallel port found: PARPORT unset, \
no parallel port.*PARPORT=sim" /tmp/err

insmod /parport.ko
insmod /parport_pc.ko
# The ports are known (their bases read from base-addr), their nodes are not
# there yet.
session ports-no-node 0 "$at278 $(printf "  parport0: $nonode" 0) $at378 \
$(printf "  parport1: $nonode" 1) PARPORT unset: sim (no node /dev/parport1, which sudo modprobe \
ppdev makes)" "" lptport ports
# ppdev makes the nodes as it loads (devtmpfs), so they are there when insmod returns.
insmod /ppdev.ko
# What udev leaves on a Debian system: group lp, read-write for the group.
chgrp lp /dev/parport0 /dev/parport1
chmod 0660 /dev/parport0 /dev/parport1
echo "@@ node=$(ls -l /dev/parport1 | tr -s ' ' | cut -d' ' -f1,3,4)"
unset_line="PARPORT unset: /dev/parport1 (the port at 0x378)"
session ports 0 "$at278 $at378 $unset_line" "" lptport ports
sed 's/^/@@ ports: /' /tmp/out
session ports-not-in-group 0 "$at278 $(printf "  parport0: $nolp" 0) $at378 \
$(printf "  parport1: $nolp" 1) $unset_line" "" su user -s /bin/sh -c "lptport ports"

for driver in /dev/parport1 direct; do
    # capture starts from every pin's level: S3..S7 of status 0xD8, D0..D7 of
    # 0xA5, C0..C3 of control 11 (kept by direct I/O) or 0x0C (ppdev's claim).
    case $driver in
    direct) tag=direct first=0x44 second=0x45 third=0x46 fourth=0x59 c=0n0o0p0q pulsed=0x6E played="0x6F 0x70" ;;
    *) tag=ppdev first=0x41 second=0x42 third=0x43 fourth=0x5A c=1n1o1p0q pulsed=0x6B played="0x6C 0x6D" ;;
    esac
    export PARPORT=$driver
    port="^lptport: port: .*$driver"
    # Two strobed bytes in one session: they must reach the printer in order.
    session $tag-strobe 0 "" "$port" lptport $(strobe $first) $(strobe $second)
    # QEMU's printer handshake: INIT low resets it (status 0xD8), a strobe
    # makes it busy (0x58), the following status reads walk it through
    # acknowledge (0x18) back to ready.
    session $tag-status 0 "216 216 88 88 24 216" "$port" lptport out 0x37A 0x0C out 0x37A 0x08 \
        in 0x379 out 0x378 $third out 0x37A 0x0C in 0x379 out 0x37A 0x0D in 0x379 \
        out 0x37A 0x0C in 0x379 in 0x379 in 0x379
    # Control 255 sets the direction bit (data lines in, reads 0xFF) and
    # strobes the latch out; control 11 must turn the data lines back round.
    session $tag-direction 0 "255 165" "$port" lptport out 0x37A 0x0C out 0x378 $fourth \
        out 0x37A 255 in 0x378 out 0x37A 11 out 0x378 0xA5 in 0x378
    session $tag-capture 0 "\$dumpvars1a1b0c1d0e1f0g1h0i0j1k0l1m$c\$end" "$port" levels
    # A pulse on STROBE (control 0x0C to 0x0D and back to what it read, 204
    # by direct I/O, whose unused bits read 1) hands the printer the byte on
    # the data lines; play hands it two more from a VCD. Their timing
    # summaries go to the console.
    session $tag-pulse 0 "" "pulse: 1 pulse on control (0x37A), 13 and back to [0-9]*: width" \
        sh -c "lptport out 0x37A 0x0C out 0x378 $pulsed && lptport pulse 0x37A 0x0D 1ms"
    sed -n "s/^lptport: pulse: /@@ $tag timing: pulse: /p" /tmp/err
    vcd $played >/tmp/strobe.vcd
    session $tag-play 0 "" "play: 6 of 6 changes written" lptport play /tmp/strobe.vcd
    sed -n "/^lptport: play: [0-9l]/s/^lptport: /@@ $tag timing: /p" /tmp/err
done
unset PARPORT

# PARPORT unset drives the port at 0x378, though it is parport1, and says why.
session unset-at-0x378 0 "" "^lptport: port: PARPORT unset, the port at 0x378: using the ppdev \
/dev/parport1 (base 0x378)" lptport $(strobe 0x4A)
# The port at 0x278, through its node and by direct I/O: the bytes reach its
# printer, not the other's (run.sh).
session ppdev-0x278 0 "" "^lptport: port: ppdev /dev/parport0 (base 0x278)" \
    env PARPORT=/dev/parport0 lptport $(strobe 0x61)
session direct-0x278 0 "" "^lptport: port: direct I/O at 0x278" \
    env PARPORT=direct:0x278 lptport $(strobe 0x62)

# The C library: bytes strobed through ppdev and direct I/O (each pulse's
# restore written by the library's own thread) reach the printer in order,
# and the data register reads them back; "-" is the port PARPORT unset
# chooses, the one at 0x378. (/bin/strobe is the program; strobe above, the
# function that makes the lptport steps.)
session lib-ppdev 0 "81 82" "^strobe: port: ppdev /dev/parport1 (base 0x378)" \
    /bin/strobe /dev/parport1 0x51 0x52
session lib-direct 0 "83 84" "^strobe: port: direct I/O at 0x378" /bin/strobe direct 0x53 0x54
session lib-unset 0 "85" "^strobe: port: PARPORT unset, the port at 0x378: using the ppdev \
/dev/parport1" /bin/strobe - 0x55
session lib-direct-0x278 0 "99" "^strobe: port: direct I/O at 0x278" /bin/strobe direct:0x278 0x63

# Users without the rights: not in group lp, and not root for direct I/O.
session ppdev-not-in-group 1 "" "/dev/parport1: permission denied.*group lp" \
    su user -s /bin/sh -c "$ppdev out 0x378 1"
session direct-not-root 1 "" "needs root" su user -s /bin/sh -c "$direct out 0x378 1"
# A member of group lp drives the port through ppdev.
session ppdev-in-group 0 "" "$pp" su printer -s /bin/sh -c "$ppdev $(strobe 0x47)"

# The printer driver lp holds the port; once removed, ppdev works again.
insmod /lp.ko
session ppdev-held-by-lp 1 "" "/dev/parport1: .*lp holds.*rmmod lp.*blacklist lp" $ppdev out 0x378 1
rmmod lp
session ppdev-after-rmmod-lp 0 "" "$pp" $ppdev $(strobe 0x48)

# Kernel lockdown, as under Secure Boot: raw port I/O is refused even for
# root, and ppdev still works.
mount -t securityfs securityfs /sys/kernel/security
echo integrity >/sys/kernel/security/lockdown
session direct-lockdown 1 "" "locked down (lockdown=integrity)" $direct out 0x378 1
session ppdev-lockdown 0 "" "$pp" $ppdev $(strobe 0x49)

dmesg | grep -i -E 'parport|ppdev|lp[0-9]|lockdown' | sed -e 's/^/@@ dmesg /'
echo "@@@ lptport sessions end"
sync
poweroff -f
