#!/bin/sh
# The guest's first process: loads the drivers, mounts the host's root (read-only) with the
# bench's run folder (writable) at its own path, and serves the agent port: each line
# "RUN <id> <seconds> <command>" runs the command chrooted onto the host's root with its
# output in <run>/out/<id>.log and answers "DONE <id> <status>"; "POWEROFF" ends the guest.
# The kernel passes benchrun=<run folder> and benchsrc=<checkout> in the environment.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev

say() { echo "bench: $*" > /dev/console; }

while read -r ko parameters; do
  insmod "/modules/$ko" $parameters || say "insmod $ko failed"
done < /modules/order

mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,cache=loose,ro hostroot /host \
  || say "mounting the host's root failed"
mount --bind /dev /host/dev
mkdir -p /dev/pts
mount -t devpts devpts /host/dev/pts
mount -t proc proc /host/proc
mount -t sysfs sys /host/sys
# The guest's /tmp is its own, but a checkout under the host's /tmp (a clone made there)
# stays visible at its own path.
mkdir -p /hosttmp
mount --bind /host/tmp /hosttmp
mount -t tmpfs tmp /host/tmp
case "$benchsrc" in
  /tmp/*)
    mkdir -p "/host$benchsrc"
    mount --bind "/hosttmp${benchsrc#/tmp}" "/host$benchsrc" || say "binding the checkout failed" ;;
esac
mkdir -p "/host$benchrun" 2>/dev/null  # a run folder under /tmp needs its mount point
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 run "/host$benchrun" \
  || say "mounting the run folder failed"

# Ports are found by the names the host gave them.
port_named() {
  for p in /sys/class/virtio-ports/*; do
    [ "$(cat "$p/name" 2>/dev/null)" = "$1" ] && echo "/dev/${p##*/}" && return 0
  done
  return 1
}

# Waits up to $1 tenths of a second for a file (the adapter's device node) to be there,
# or with a third argument "gone", to be gone. Device nodes come without a notification.
wait_for() {
  n=0
  want=0; [ "$3" = gone ] && want=1
  while { [ -e "$2" ]; [ $? -ne "$want" ]; } && [ "$n" -lt "$1" ]; do
    sleep 0.1; n=$((n + 1))
  done
  [ -e "$2" ]; [ $? -eq "$want" ]
}

# A test that unplugged the USB link by switching its hub port off and ended before it
# switched it on again leaves no ttyACM0 for the next one. A test that stalled the gadget's
# end (its mark is in the chroot's /tmp) leaves it deaf: once its tty is closed with unread
# bytes, the serial gadget receives nothing until the link goes down and up again.
replug_acm() {
  if [ -e /host/tmp/bench-gadget-stalled ]; then
    rm -f /host/tmp/bench-gadget-stalled
    switch=$(readlink -f /sys/class/tty/ttyACM0/device/../port)/disable
    [ -e "$switch" ] && echo 1 > "$switch" && wait_for 50 /dev/ttyACM0 gone
  fi
  for switch in /sys/bus/usb/devices/*/usb*-port*/disable; do
    [ "$(cat "$switch" 2>/dev/null)" = 1 ] || continue
    echo 0 > "$switch"
    wait_for 100 /dev/ttyACM0 || say "no /dev/ttyACM0 after switching $switch on"
  done
}

n=0
until agent=$(port_named bench.agent) && control=$(port_named bench.control); do
  [ "$n" -lt 300 ] || { say "no agent port"; poweroff -f; }
  sleep 0.1; n=$((n + 1))
done
ln -s "$control" /dev/bench-control
wait_for 300 /dev/ttyUSB0 || say "no /dev/ttyUSB0"
wait_for 300 /dev/ttyACM0 || say "no /dev/ttyACM0"

exec 3<>"$agent"
echo "READY $(uname -r) up $(cut -d" " -f1 /proc/uptime) s, $(ls /dev | grep -E '^tty(S1|USB[0-9]|ACM[0-9]|GS0)$' | tr '\n' ' ')" >&3
while read -r verb id seconds command <&3; do
  case "$verb" in
    RUN)
      timeout -s KILL "$seconds" chroot /host /bin/sh -c "$command" \
        > "/host$benchrun/out/$id.log" 2>&1 < /dev/null
      status=$?
      replug_acm
      echo "DONE $id $status" >&3 ;;
    WAIT)
      # WAIT <id> <tenths> <path>: the host asks for a device node to be there.
      wait_for "$seconds" "$command"
      echo "DONE $id $?" >&3 ;;
    GONE)
      wait_for "$seconds" "$command" gone
      echo "DONE $id $?" >&3 ;;
    POWEROFF)
      break ;;
  esac
done
sync
poweroff -f
