#!/usr/bin/env bash
# Runs a command in a small x86-64 virtual machine whose kernel executes
# 32-bit x86 programs, for hosts whose own kernel cannot (no IA32
# emulation). The machine runs under qemu's software emulation, on the host's
# own files: the host's root read-only, the given directories writable at
# the same paths. Prints the command's output; exits with its status.
#
#   tests/windows/rig/i386-vm.sh [--rw DIR]... [--tmpfs DIR]... -- COMMAND [ARG...]
#     --rw DIR     a host directory the command may write (same path inside)
#     --tmpfs DIR  a directory (under a --rw one) given an empty tmpfs inside
#     SVCP_VM_MEMORY   the machine's memory in MiB (default 4096)
#     SVCP_VM_TIMEOUT  seconds after which the machine is stopped (default 1800)
#
# Needs qemu-system-x86, linux-image-amd64, busybox-static, cpio and kmod.
# The command runs as root with a minimal environment, in the current
# directory. The CPU model leaves out SMAP: qemu's emulation of a 32-bit
# IRET, which Wine uses, faults under it.
set -euo pipefail

rw=()
tmpfs=()
while [ $# -gt 0 ]; do
  case "$1" in
    --rw) rw+=("$(realpath "$2")"); shift 2 ;;
    --tmpfs) tmpfs+=("$(realpath -m "$2")"); shift 2 ;;
    --) shift; break ;;
    *) echo "usage: $0 [--rw DIR]... [--tmpfs DIR]... -- COMMAND [ARG...]" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] && [ ${#rw[@]} -gt 0 ] || { echo "$0: a command and one --rw directory are needed" >&2; exit 2; }

kernel=$(ls -1 /boot/vmlinuz-* 2>/dev/null | sort -V | tail -1)
[ -n "$kernel" ] || { echo "$0: no kernel in /boot (install linux-image-amd64)" >&2; exit 1; }
version=${kernel#/boot/vmlinuz-}

# The initramfs: busybox, the modules for virtio and 9p, and the guest init.
# Kept in the first writable directory and rebuilt when the kernel changes.
work="${rw[0]}/.i386-vm"
mkdir -p "$work"
initrd="$work/initrd-$version.gz"
if [ ! -f "$initrd" ] || [ "$(dirname "$0")/vm/guest-init.sh" -nt "$initrd" ]; then
  tree=$(mktemp -d)
  mkdir -p "$tree"/{bin,proc,sys,dev,newroot,modules}
  cp /bin/busybox "$tree/bin/busybox"
  modules="virtio virtio_ring virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci
           netfs fscache 9pnet 9pnet_virtio 9p"
  for module in $modules; do
    path=$(modinfo -k "$version" -n "$module")
    case "$path" in
      *.ko) cp "$path" "$tree/modules/$module.ko" ;;
      *.ko.xz) xz -dc "$path" >"$tree/modules/$module.ko" ;;
      *) continue ;;  # built into the kernel
    esac
    echo "$module" >>"$tree/modules/order"
  done
  cp "$(dirname "$0")/vm/guest-init.sh" "$tree/init"
  chmod +x "$tree/init"
  (cd "$tree" && find . | cpio -o -H newc --quiet | gzip -1) >"$initrd.tmp"
  mv "$initrd.tmp" "$initrd"
  rm -rf "$tree"
fi

# The job: the command in the current directory, output on the console.
job="$work/job.sh"
{
  echo "cd $(printf '%q' "$PWD")"
  printf 'exec'
  printf ' %q' "$@"
  echo ' </dev/null 2>&1'
} >"$job"
rm -f "$job.status"

shares=(-virtfs "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap")
index=0
for dir in "${rw[@]}"; do
  shares+=(-virtfs "local,path=$dir,mount_tag=rw$index,security_model=none,multidevs=remap")
  index=$((index + 1))
done
join() { local IFS=,; echo "$*"; }
append="console=ttyS0 quiet loglevel=1 panic=-1 svcp.job=$job svcp.rw=$(join "${rw[@]}")"
[ ${#tmpfs[@]} -eq 0 ] || append="$append svcp.tmpfs=$(join "${tmpfs[@]}")"

timeout "${SVCP_VM_TIMEOUT:-1800}" qemu-system-x86_64 -accel tcg,thread=multi -cpu max,-smap -smp "$(nproc)" -m "${SVCP_VM_MEMORY:-4096}" \
  -nographic -no-reboot -nodefaults -serial stdio -kernel "$kernel" -initrd "$initrd" \
  -append "$append" "${shares[@]}" </dev/null |
  tr -d '\r' | sed -u -e '1,/svcp-vm: up$/d' -e '/\] ACPI: PM: Preparing to enter system sleep/d' \
  -e '/\] reboot: Power down$/d'

[ -f "$job.status" ] || { echo "$0: the machine stopped before the command ended" >&2; exit 1; }
exit "$(cat "$job.status")"
