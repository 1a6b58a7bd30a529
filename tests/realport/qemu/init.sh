#!/bin/busybox sh
# SPDX-License-Identifier: MIT
# /init of the emulated PC: loads the parallel-port modules, runs scripted
# lptport sessions against QEMU's port at 0x378 and prints what each one did
# on the serial console, between the begin and end markers, then powers off.
# The host side (run.sh) judges the results; this side only records them.

/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
echo 1 >/proc/sys/kernel/printk

# run_case NAME COMMAND...: one lptport session and what it printed.
run_case() {
    name=$1
    shift
    "$@" >/tmp/out 2>/tmp/err
    rc=$?
    echo "@@ $name rc=$rc"
    echo "@@ $name out=$(tr '\n' ' ' </tmp/out)"
    sed -e "s/^/@@ $name err=/" /tmp/err
}

# as USER COMMAND...: the command run by a user without root's rights.
as() {
    user=$1
    shift
    su "$user" -s /bin/sh -c "$*"
}

# The control register's strobe bit (C0) rising while INIT and SELECT are set
# makes QEMU's printer take the data latch. Sessions start from control 0x0C
# (strobe low, printer selected and out of reset).
strobe() {
    echo "out 0x378 $1 out 0x37A 0x0D out 0x37A 0x0C"
}

echo
echo "@@@ lptport sessions begin"
echo "@@ kernel=$(uname -r)"

# No driver loaded yet: the node is missing.
run_case ppdev-missing-node env PARPORT=/dev/parport0 lptport out 0x378 1

insmod /lib/modules/parport.ko
insmod /lib/modules/parport_pc.ko
insmod /lib/modules/ppdev.ko
i=0
while [ ! -c /dev/parport0 ] && [ $i -lt 100 ]; do
    usleep 20000
    i=$((i + 1))
done
# What udev leaves on a Debian system: group lp, read-write for the group.
chgrp lp /dev/parport0
chmod 0660 /dev/parport0
echo "@@ node=$(ls -l /dev/parport0 | tr -s ' ' | cut -d' ' -f1,3,4)"
echo "@@ base-addr=$(cat /proc/sys/dev/parport/parport0/base-addr 2>/dev/null | tr -s ' \t' ' ')"

for driver in /dev/parport0 direct; do
    export PARPORT=$driver
    case $driver in
    direct) tag=direct first=0x44 second=0x45 third=0x46 fourth=0x59 ;;
    *) tag=ppdev first=0x41 second=0x42 third=0x43 fourth=0x5A ;;
    esac
    # Two strobed bytes in one session: they must reach the printer in order.
    run_case $tag-strobe lptport out 0x37A 0x0C $(strobe $first) $(strobe $second)
    # QEMU's printer handshake: INIT low resets it, a strobe makes it busy,
    # the following status reads walk it through acknowledge back to ready.
    run_case $tag-status lptport out 0x37A 0x0C out 0x37A 0x08 in 0x379 \
        out 0x378 $third out 0x37A 0x0C in 0x379 out 0x37A 0x0D in 0x379 \
        out 0x37A 0x0C in 0x379 in 0x379 in 0x379
    # Control 255 sets the direction bit (data lines in, reads 0xFF) and
    # strobes the latch out; control 11 must turn the data lines back round.
    run_case $tag-direction lptport out 0x37A 0x0C out 0x378 $fourth out 0x37A 255 \
        in 0x378 out 0x37A 11 out 0x378 0xA5 in 0x378
    # A capture of every pin, the outputs read back: its starting levels.
    run_case $tag-capture lptport capture --outputs --samples 1000 -o /tmp/c.vcd
    echo "@@ $tag-capture levels=$(sed -n '/^\$dumpvars/,/^\$end/p' /tmp/c.vcd | tr -d '\n')"
done
unset PARPORT

# Users without the rights: not in group lp, and not root for direct I/O.
run_case ppdev-not-in-group as user "PARPORT=/dev/parport0 lptport out 0x378 1"
run_case direct-not-root as user "PARPORT=direct lptport out 0x378 1"
# A member of group lp drives the port through ppdev.
run_case ppdev-in-group as printer "PARPORT=/dev/parport0 lptport out 0x37A 0x0C $(strobe 0x47)"

# The printer driver lp holds the port; once removed, ppdev works again.
insmod /lib/modules/lp.ko
run_case ppdev-held-by-lp env PARPORT=/dev/parport0 lptport out 0x378 1
rmmod lp
run_case ppdev-after-rmmod-lp env PARPORT=/dev/parport0 lptport out 0x37A 0x0C $(strobe 0x48)

# Kernel lockdown, as under Secure Boot: raw port I/O is refused even for
# root, and ppdev still works.
mount -t securityfs securityfs /sys/kernel/security
echo integrity >/sys/kernel/security/lockdown
echo "@@ lockdown=$(cat /sys/kernel/security/lockdown)"
run_case direct-lockdown env PARPORT=direct lptport out 0x378 1
run_case ppdev-lockdown env PARPORT=/dev/parport0 lptport out 0x37A 0x0C $(strobe 0x49)

dmesg | grep -i -E 'parport|ppdev|lp[0-9]|lockdown' | sed -e 's/^/@@ dmesg /'
echo "@@@ lptport sessions end"
sync
poweroff -f
