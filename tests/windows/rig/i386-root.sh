#!/usr/bin/env bash
# A minimal 32-bit Debian root holding Wine, for the win32 suite on a host
# where the system's own 32-bit Wine cannot be installed (the package
# registry's i386 indexes out of step with the amd64 ones). Made once per
# machine with debootstrap from the main suite alone, and kept in a cache
# outside the clone.
#
#   tests/windows/rig/i386-root.sh path    prints the root's directory
#   tests/windows/rig/i386-root.sh make    makes the root unless it is there
#   tests/windows/rig/i386-root.sh mirror  prints the Debian mirror it is made from
#   tests/windows/rig/i386-root.sh run [--bind DIR]... -- COMMAND [ARG...]
#       runs COMMAND on the host with the root's /proc, /dev, /sys and /tmp
#       mounted, each DIR at the same path inside it, and SVCP_WINE_ROOT
#       naming it (tests/windows/rig/wine-env.sh then runs Wine inside the root). The
#       mounts are made in a mount namespace of the command's own and undone
#       when it ends, also when it fails. Exits with the command's status.
#
#   SVCP_I386_ROOT_CACHE  the cache directory (default /var/cache/svcproc)
#   SVCP_APT_DIR          the apt configuration naming the mirror (/etc/apt)
#
# The root is built in a temporary directory beside its place and renamed
# into it only once Wine runs in it: a build that was interrupted is never
# taken for a root, and its remains are removed by the next build. Needs
# root (debootstrap, chroot, mount).
set -euo pipefail

cache=${SVCP_I386_ROOT_CACHE:-/var/cache/svcproc}
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
root="$cache/i386-$suite"
apt_dir=${SVCP_APT_DIR:-/etc/apt}
# Wine's 32-bit loader and server; the names tests/windows/rig/wine-env.sh uses.
packages=(wine wine32)

die() { echo "i386-root: $*" >&2; exit 1; }

# The Debian mirror the host's own apt sources name for the main suite's
# binary packages, in either the one-line or the deb822 format; the first
# one found.
host_mirror() {
  local file mirror=""
  for file in "$apt_dir"/sources.list "$apt_dir"/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    mirror=$(awk -v suite="$suite" '$1 == "deb" {
        i = 2; if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
        if ($(i + 1) == suite) { print $i; exit }
      }' "$file")
    [ -z "$mirror" ] || { echo "$mirror"; return 0; }
  done
  for file in "$apt_dir"/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    # Stanzas are separated by blank lines: the first whose Types hold deb
    # and whose Suites hold the main suite gives its first URI.
    mirror=$(awk -v suite="$suite" 'BEGIN { RS = ""; FS = "\n" } {
        uri = ""; binary = 0; found = 0
        for (i = 1; i <= NF; i++) {
          n = split($i, parts, " ")
          if (parts[1] == "URIs:") uri = parts[2]
          if (parts[1] == "Types:") for (j = 2; j <= n; j++) if (parts[j] == "deb") binary = 1
          if (parts[1] == "Suites:") for (j = 2; j <= n; j++) if (parts[j] == suite) found = 1
        }
        if (binary && found && uri != "") { print uri; exit }
      }' "$file")
    [ -z "$mirror" ] || { echo "$mirror"; return 0; }
  done
}

make_root() {
  [ -x "$root/usr/lib/wine/wine" ] && return 0
  [ "$(id -u)" -eq 0 ] || die "making the root needs root (debootstrap, chroot)"
  command -v debootstrap >/dev/null || die "debootstrap is not installed"
  mkdir -p "$cache"
  exec 8>"$cache/.i386-$suite.lock"
  flock 8
  # Another run may have made it while this one waited.
  [ -x "$root/usr/lib/wine/wine" ] && return 0
  # Remains of an interrupted build. Its mounts were in a namespace that
  # ended with it, so nothing below is mounted.
  rm -rf --one-file-system "$cache/.i386-$suite.building."*
  # A root without Wine (emptied by hand) is none: nothing runs in it.
  rm -rf --one-file-system "$root"

  local mirror
  mirror=$(host_mirror)
  [ -n "$mirror" ] || die "no Debian mirror for '$suite' in the apt sources"
  local building
  building=$(mktemp -d "$cache/.i386-$suite.building.XXXXXX")
  chmod 755 "$building"
  # A failed build leaves its log only; one killed leaves the directory too,
  # for the next build to remove.
  trap 'rm -rf --one-file-system "$building"' EXIT
  echo "i386-root: making the root (debootstrap $suite, then ${packages[*]})"
  local started=$SECONDS
  # The main suite alone: its i386 packages are consistent with each other
  # whatever the security and updates indexes hold.
  debootstrap --arch=i386 --variant=minbase "$suite" "$building" "$mirror" \
    >"$building.log" 2>&1 || { tail -20 "$building.log" >&2; die "debootstrap failed (log: $building.log)"; }
  unshare --mount --propagation private /bin/bash -euo pipefail -c '
    mount -t proc proc "$1/proc"
    chroot "$1" /usr/bin/env DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
      --no-install-recommends "${@:2}"
    chroot "$1" apt-get clean
  ' make-root "$building" "${packages[@]}" >>"$building.log" 2>&1 ||
    { tail -20 "$building.log" >&2; die "installing ${packages[*]} in the root failed (log: $building.log)"; }
  # Wine finds its libraries through /proc.
  unshare --mount --propagation private /bin/bash -c \
    'mount -t proc proc "$1/proc" && chroot "$1" /usr/lib/wine/wine --version' check-root "$building" \
    >>"$building.log" 2>&1 || die "Wine does not run in the new root (log: $building.log)"
  chroot "$building" dpkg-query -W "${packages[@]}" >"$building/.svcp-packages"
  mv -T "$building" "$root"
  trap - EXIT
  rm -f "$building.log"
  echo "i386-root: made $root in $((SECONDS - started)) s"
}

run_in_root() {
  local binds=()
  while [ $# -gt 0 ]; do
    case "$1" in
      --bind) binds+=("$(realpath "$2")"); shift 2 ;;
      --) shift; break ;;
      *) die "usage: $0 run [--bind DIR]... -- COMMAND [ARG...]" ;;
    esac
  done
  [ $# -gt 0 ] || die "usage: $0 run [--bind DIR]... -- COMMAND [ARG...]"
  [ -x "$root/usr/lib/wine/wine" ] || die "no root at $root (tests/windows/rig/i386-root.sh make)"
  [ "$(id -u)" -eq 0 ] || die "running in the root needs root (mount, chroot)"
  # The mounts belong to a namespace of the command's own: they vanish with
  # it even when it is killed, and the host's /dev is never unmounted by
  # mistake. The trap undoes them in order when the command ends.
  SVCP_WINE_ROOT=$root exec unshare --mount --propagation private /bin/bash -euo pipefail -c '
    root=$1
    shift
    mounted=()
    undo() {
      local index
      for ((index = ${#mounted[@]} - 1; index >= 0; index--)); do
        umount -R "${mounted[index]}" 2>/dev/null || umount -R -l "${mounted[index]}" || true
      done
    }
    trap undo EXIT
    mount_at() {  # mount_at DIR MOUNT-ARGS...: at DIR inside the root
      mkdir -p "$root$1"
      mount "${@:2}" "$root$1"
      mounted+=("$root$1")
    }
    mount_at /proc -t proc proc
    mount_at /sys --rbind /sys
    mount_at /dev --rbind /dev
    mount_at /tmp --rbind /tmp
    while [ "$1" != -- ]; do
      mount_at "$1" --rbind "$1"
      shift
    done
    shift
    status=0
    "$@" || status=$?
    exit $status
  ' run-in-root "$root" "${binds[@]}" -- "$@"
}

case "${1:-}" in
  path) echo "$root" ;;
  mirror) host_mirror ;;
  make) make_root ;;
  run) shift; run_in_root "$@" ;;
  *) echo "usage: $0 path | mirror | make | run [--bind DIR]... -- COMMAND [ARG...]" >&2; exit 2 ;;
esac
