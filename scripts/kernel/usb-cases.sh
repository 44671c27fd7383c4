#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The USB cases, run in the guest with the host's / as its root: $2 is the probe, beside which the
# build holds the real program and the chip server. The guest's own USB stack (usbcore, vhci-hcd,
# usbserial, ftdi_sio) takes two simulated FTDI chips served over USB/IP on loopback: an FT232R
# with a serial number on vhci port 0 and an FT232H without one on port 1. The real fennow-link
# runs every case, through the real libusb and libftdi. Each case's output goes to /mnt/usb-<case>.out
# for the host to judge; what the Game Boys play goes to /mnt/usb-gameboy, which the server reads.
probe=$2
build=${probe%/tests/kernel/*}
source=${build%/*}
program=$build/program/fennow-link
server=$build/tests/kernel/fennow-usbip-chip
drivers=/run
user=65534
plugdev=$(getent group plugdev | cut -d: -f3)
as_user() { setpriv --reuid=$user --regid=$user --clear-groups "$@"; }
as_plugdev() { setpriv --reuid=$user --regid=$user --groups="$plugdev" "$@"; }
# The server looks at the file every 20 ms; the slow guest is given longer.
play() {
  printf '%s\n' "$@" >/mnt/usb-gameboy
  sleep 0.5
}
run() {
  name=$1
  shift
  start=$(date +%s.%N)
  "$@" >/mnt/usb-$name.out 2>&1
  echo "status: $?" >>/mnt/usb-$name.out
  echo "seconds: $(echo "$(date +%s.%N) $start" | awk '{print $1 - $2}')" >>/mnt/usb-$name.out
  echo "guest: case $name done"
}
# The serial port ftdi_sio made for the chip 0403:$1, if it has the chip.
tty_of() {
  for t in /sys/bus/usb-serial/devices/ttyUSB*; do
    [ -e "$t" ] || continue
    [ "$(cat "$(readlink -f "$t")/../../idProduct" 2>/dev/null)" = "$1" ] && echo "${t##*/}"
  done
}
wait_tty() {
  until=$(($(date +%s) + 60))
  while [ "$(date +%s)" -lt $until ]; do
    [ -n "$(tty_of "$1")" ] && return 0
    sleep 0.2
  done
  echo "guest: no serial port for 0403:$1"
  return 1
}
latency_of() { cat "/sys/bus/usb-serial/devices/$(tty_of "$1")/latency_timer" 2>/dev/null; }

busybox ip link set lo up
for m in usb-common usbcore usbip-core vhci-hcd usbserial ftdi_sio; do
  /usr/sbin/insmod "$drivers/$m.ko" || echo "guest: insmod $m failed"
done
"$server" /mnt/usb-gameboy /mnt/usb-results.txt 2>/mnt/usbip.log &
server_pid=$!
wait_tty 6001
wait_tty 6014
{
  echo "FT232R: $(tty_of 6001) latency $(latency_of 6001)"
  echo "FT232H: $(tty_of 6014)"
  ls -l /dev/bus/usb/*/*
} >/mnt/usb-bound.out

# Without udev, the device nodes as devtmpfs leaves them.
play "permission R screen gameboy -"
run permission as_user "$program" capture --port LPT1 --output /mnt/usb-none.bmp
run listing "$program" ports

# The serial driver lets go while the program holds the chip, and has it back after.
play "screen-r R screen gameboy -"
(
  "$program" capture --port LPT1 --output /mnt/usb-screen-r.bmp >/mnt/usb-screen-r.out 2>&1
  echo "status: $?" >>/mnt/usb-screen-r.out
) &
pid=$!
detached=no
while kill -0 $pid 2>/dev/null; do
  [ -z "$(tty_of 6001)" ] && detached=yes
  sleep 0.2
done
wait $pid
wait_tty 6001
{
  echo "detached while it ran: $detached"
  echo "after: $(tty_of 6001) latency $(latency_of 6001)"
} >/mnt/usb-serial-driver.out

play "screen-h H screen gameboy -"
run screen-h "$program" capture --port LPT2 --output /mnt/usb-screen-h.bmp
play "data-r R data gameboy -"
run data-r "$program" capture --port LPT1 --output /mnt/usb-data.txt
play "lead R data loop -"
run lead "$program" test --port LPT1
play "stuck R data stuck -"
run stuck "$program" test --port LPT1

# Another process has claimed the chip's interface: a first fennow-link, in the middle of a screen.
play "busy R screen gameboy -"
"$program" capture --port LPT1 --output /mnt/usb-holder.bmp >/mnt/usb-holder.out 2>&1 &
holder=$!
until=$(($(date +%s) + 30))
while [ -n "$(tty_of 6001)" ] && [ "$(date +%s)" -lt $until ]; do sleep 0.2; done
run busy "$program" capture --port LPT1 --output /mnt/usb-none.bmp
wait $holder
wait_tty 6001

# Unplugged (its vhci port detached) in each phase; the server plugs it in again a second later.
for phase in measure sync mode payload; do
  play "unplug-$phase R screen gameboy $phase"
  run unplug-$phase "$program" capture --port LPT1 --output /mnt/usb-unplug-$phase.bmp
  sleep 1
  wait_tty 6001
done
play "unplug-lead R data loop lead"
run unplug-lead "$program" test --port LPT1
sleep 1
wait_tty 6001

# The package's udev rule, applied by the real udevd, for a user in group plugdev.
mkdir -p /run/udev/rules.d
cp "$source/packaging/udev/70-fennow-link-usb.rules" /run/udev/rules.d/
# udevadm leaves a chroot alone unless told that this one is the system.
export SYSTEMD_IGNORE_CHROOT=1
/lib/systemd/systemd-udevd --daemon
udevadm trigger --subsystem-match=usb --action=add
udevadm settle --timeout=60
ls -l /dev/bus/usb/*/* >/mnt/usb-udev-nodes.out
play "plugdev R screen gameboy -"
run plugdev as_plugdev "$program" capture --port LPT1 --output /mnt/usb-plugdev.bmp

play "end R off gameboy -" "end H off gameboy -"
kill $server_pid
wait $server_pid
udevadm control --exit 2>/dev/null
dmesg | grep -iE "usb|vhci|ftdi" >/mnt/usb-dmesg.out
