#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The cases of one boot, run in the guest with the host's / as its root: $1 is the port's I/O
# address, $2 the probe. Each case's output goes to /mnt/<case>.out for the host to judge, and
# what the Game Boy plays is set in /mnt/gameboy (the preload library in QEMU reads it).
io=$1
probe=$2
drivers=/run
user=65534
lp=$(getent group lp | cut -d: -f3)
as_user() { setpriv --reuid=$user --regid=$user --clear-groups "$@"; }
as_lp() { setpriv --reuid=$user --regid=$user --groups="$lp" "$@"; }
play() { echo "$1 $2 $3" >/mnt/gameboy; }
# As udev leaves the device: group lp, read and write for the group.
udev_like() { chown root:lp /dev/parport0 && chmod 0660 /dev/parport0; }
run() {
  name=$1
  shift
  start=$(date +%s.%N)
  "$@" >/mnt/$name.out 2>&1
  echo "status: $?" >>/mnt/$name.out
  echo "seconds: $(echo "$(date +%s.%N) $start" | awk '{print $1 - $2}')" >>/mnt/$name.out
  echo "guest: case $name done"
}

/usr/sbin/insmod $drivers/parport_pc.ko io=$io irq=none
/usr/sbin/insmod $drivers/ppdev.ko
udev_like
cat /proc/sys/dev/parport/parport0/base-addr >/mnt/base-addr.txt
ls -l /dev/parport0 >/mnt/device.out

if [ "$io" = 0x378 ]; then
  play permission off gameboy
  run permission as_user "$probe" transfer /mnt/none.bmp
  run ports as_lp "$probe" ports
  play screen screen gameboy
  run screen as_lp "$probe" transfer /mnt/screen.bmp
  play data data gameboy
  run data as_lp "$probe" transfer /mnt/data.txt
  play lead data loop
  run lead as_lp "$probe" test
  /usr/sbin/insmod $drivers/lp.ko
  play printer screen gameboy
  run printer as_lp "$probe" transfer /mnt/printer.bmp
  # A print job between two transfers of one run: the program lets go of the port between them.
  chmod 0666 /dev/lp0
  play twice screen gameboy
  as_lp "$probe" twice /mnt/twice1.bmp /mnt/twice2.bmp /mnt/printed >/mnt/twice.out 2>&1 &
  twice=$!
  for i in $(seq 600); do grep -q "between transfers" /mnt/twice.out && break; sleep 0.1; done
  play print off printer  # the printer on the port in the Game Boy's place, while it prints
  start=$(date +%s.%N)
  timeout 20 sh -c 'printf "fennow\r\n\f" >/dev/lp0'
  echo "lp0 write: $? after $(echo "$(date +%s.%N) $start" | awk '{print $1 - $2}') s" >/mnt/print.out
  kill -0 $twice 2>/dev/null && echo "the program was still open" >>/mnt/print.out
  play twice2 screen gameboy
  touch /mnt/printed
  wait $twice
  echo "status: $?" >>/mnt/twice.out
  play busy off gameboy
  "$probe" hold /dev/parport0 30 >/mnt/holder.out 2>&1 &
  holder=$!
  sleep 1
  run busy as_lp "$probe" transfer /mnt/none.bmp
  kill $holder
  wait $holder 2>/dev/null
  /usr/sbin/rmmod lp
  /usr/sbin/rmmod ppdev
  run noppdev as_lp "$probe" transfer /mnt/none.bmp
else
  run card-ports as_lp "$probe" ports
  play card screen gameboy
  run card as_lp "$probe" transfer /mnt/card.bmp
fi
play end off gameboy
dmesg | grep -iE "parport|ppdev|lp[0-9]" >/mnt/dmesg-$io.out
