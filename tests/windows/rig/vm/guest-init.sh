#!/bin/busybox sh
# /init of the virtual machine's initramfs (tests/windows/rig/i386-vm.sh): mounts the
# host's root read-only and its shared directories, runs the job there and
# powers off. Settings come from the kernel command line:
#   svcp.rw=<dir>[,<dir>...]    host directories shared writable, same paths
#   svcp.tmpfs=<dir>[,<dir>...] directories given an empty tmpfs in the guest
#   svcp.job=<file>             the job script (in a writable directory); its
#                               exit status is written to <file>.status
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
# The console's output before this line is the firmware's.
echo "svcp-vm: up"
option() { tr ' ' '\n' </proc/cmdline | sed -n "s/^svcp\.$1=//p"; }
rw_dirs=$(option rw | tr ',' ' ')
tmpfs_dirs=$(option tmpfs | tr ',' ' ')
job=$(option job)
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
# Loopback, for the tests that serve and scrape on 127.0.0.1.
ip link set lo up 2>/dev/null || ifconfig lo 127.0.0.1 up

# Modules depend on each other in ways a plain list does not order: a few
# passes load them all.
pending=$(cat /modules/order)
for pass in 1 2 3 4 5; do
  left=""
  for module in $pending; do
    insmod "/modules/$module.ko" 2>/dev/null || left="$left $module"
  done
  pending=$left
done

root=/newroot
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,ro,cache=loose hostroot $root ||
  { echo "vm: the host's root could not be mounted (modules not loaded:$pending)"; poweroff -f; }
for dir in proc sys dev; do
  mount --move "/$dir" "$root/$dir"
done
mount -t devpts devpts "$root/dev/pts" 2>/dev/null
mount -t tmpfs tmp "$root/tmp"
mount -t tmpfs run "$root/run"
# Shared directories under /tmp need their mount points in its tmpfs.
index=0
for dir in $rw_dirs; do
  mkdir -p "$root$dir"
  mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=loose "rw$index" "$root$dir"
  index=$((index + 1))
done
for dir in $tmpfs_dirs; do
  mount -t tmpfs scratch "$root$dir"
done

chroot $root /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/tmp \
  LANG=C.UTF-8 TERM=dumb /bin/bash "$job"
echo $? >"$root$job.status"
sync
poweroff -f
