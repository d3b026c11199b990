#!/usr/bin/env bash
# The win32 suite's runner: the mirror the 32-bit root is made from, which
# Wine runs the suite, that a suite which cannot run fails
# tests/windows/rig/wine-test.sh, and that the root's mounts are made where the suite
# needs them and undone whatever the suite does.
#   win32-runner-test.sh SOURCEDIR
# tests/windows/rig/wine-test.sh runs in a copy of the scripts with the machine stood
# in for: install-deps.sh, cmake, ctest and debootstrap are stubs, and the
# root is a directory holding a stub Wine. The mount cases need root; they
# are skipped without it.
set -euo pipefail
source_dir=$(realpath "$1")
# The choices asked for by whoever runs this (wine-test.sh with
# SVCP_WIN32_ROOT=1, the root's own run) are not the cases' own.
unset SVCP_WIN32_ROOT SVCP_WIN32_VM SVCP_WINE_ROOT SVCP_I386_ROOT_CACHE SVCP_APT_DIR
# In the test's directory, not /tmp: the root shows /tmp whatever else it binds.
work=$(mktemp -d -p "$PWD" runner-test.XXXXXX)
outside=$(mktemp)
# Never through a mount a fault may have left in the stood-in root.
trap 'rm -rf --one-file-system "$work" "$outside"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# --- The mirror the root is made from: the host's, for the main suite ------
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
mirror() {  # mirror DIR: what i386-root.sh reads from the apt configuration in DIR
  SVCP_APT_DIR=$1 "$source_dir/tests/windows/rig/i386-root.sh" mirror
}
apt=$work/apt-deb822
mkdir -p "$apt/sources.list.d"
cat >"$apt/sources.list.d/debian.sources" <<EOF
Types: deb-src
URIs: http://sources.example/debian
Suites: $suite

Types: deb
URIs: http://security.example/debian-security
Suites: $suite-security

Types: deb deb-src
# a comment
URIs: http://main.example/debian http://second.example/debian
Suites: $suite $suite-updates
Components: main
EOF
[ "$(mirror "$apt")" = http://main.example/debian ] || fail "deb822 mirror: '$(mirror "$apt")'"
apt=$work/apt-one-line
mkdir -p "$apt/sources.list.d"
cat >"$apt/sources.list" <<EOF
# deb http://commented.example/debian $suite main
deb-src http://sources.example/debian $suite main
deb [arch=amd64 signed-by=/usr/share/keyrings/x.gpg] http://security.example/debian-security $suite-security main
deb [ arch=amd64 ] http://main.example/debian $suite main
EOF
[ "$(mirror "$apt")" = http://main.example/debian ] || fail "one-line mirror: '$(mirror "$apt")'"
mkdir -p "$work/apt-none"
[ -z "$(mirror "$work/apt-none")" ] || fail "a mirror from no sources"

# --- tests/windows/rig/wine-test.sh on a stood-in machine ------------------
repo=$work/repo
mkdir -p "$repo/scripts" "$repo/tests/windows/rig" "$work/bin" "$work/cache"
cp "$source_dir"/tests/windows/rig/{wine-test.sh,wine-win32.sh,i386-root.sh} "$repo/tests/windows/rig/"
# Installs everything but wine32:i386, which the registry cannot provide.
cat >"$repo/scripts/install-deps.sh" <<'EOF'
#!/usr/bin/env bash
echo "install-deps $*" >>"$SVCP_TEST_LOG"
[[ " $* " != *" wine32:i386 "* ]]
EOF
cat >"$work/bin/cmake" <<'EOF'
#!/bin/sh
echo "cmake $*" >>"$SVCP_TEST_LOG"
EOF
# The suite: what it sees of the root, when it runs in one.
cat >"$work/bin/ctest" <<'EOF'
#!/usr/bin/env bash
echo "ctest $* root=${SVCP_WINE_ROOT:-}" >>"$SVCP_TEST_LOG"
if [ -n "${SVCP_WINE_ROOT:-}" ]; then
  [ -f "$SVCP_WINE_ROOT$PWD/tests/windows/rig/wine-test.sh" ] && echo "ctest sees the clone" >>"$SVCP_TEST_LOG"
  [ -c "$SVCP_WINE_ROOT/dev/null" ] && echo "ctest sees /dev" >>"$SVCP_TEST_LOG"
  [ -e "$SVCP_WINE_ROOT/proc/self/status" ] && echo "ctest sees /proc" >>"$SVCP_TEST_LOG"
  [ -f "$SVCP_WINE_ROOT$SVCP_TEST_TMP_FILE" ] && echo "ctest sees /tmp" >>"$SVCP_TEST_LOG"
fi
exit "${SVCP_TEST_CTEST_STATUS:-0}"
EOF
# debootstrap as on a mirror that fails half-way.
cat >"$work/bin/debootstrap" <<'EOF'
#!/bin/sh
echo "debootstrap $*" >>"$SVCP_TEST_LOG"
mkdir -p "$4/usr/lib/wine" && : >"$4/usr/lib/wine/half-made"
exit 1
EOF
chmod +x "$repo"/scripts/*.sh "$repo"/tests/windows/rig/*.sh "$work"/bin/*
export SVCP_TEST_LOG=$work/log SVCP_TEST_TMP_FILE=$outside
wine_test() {  # wine_test [VAR=VALUE...]: the output in $work/out, the status returned
  : >"$SVCP_TEST_LOG"
  local status=0
  env PATH="$work/bin:$PATH" SVCP_I386_ROOT_CACHE="$work/cache" SVCP_WIN_PRESETS=win32 "$@" \
    "$repo/tests/windows/rig/wine-test.sh" >"$work/out" 2>&1 || status=$?
  return $status
}
logged() { grep -qF -- "$1" "$SVCP_TEST_LOG"; }

if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: the root's cases need root (debootstrap, mount, chroot)"
  [ $failures -eq 0 ] || exit 1
  echo "win32 runner: passed"
  exit 0
fi

# No wine32 and no root: the suite cannot run, and that is a failure.
# Remains of a killed build, and a root emptied by hand.
mkdir -p "$work/cache/.i386-$suite.building.stale/proc" "$work/cache/i386-$suite/usr/lib"
if wine_test; then
  fail "wine-test.sh passed with the win32 suite not run"
fi
grep -q "NOT RUN: win32" "$work/out" || fail "no NOT RUN message: $(tail -3 "$work/out")"
grep -q "passed" "$work/out" && fail "'passed' printed although the suite did not run"
logged "install-deps wine32:i386" || fail "the registry was not asked for wine32:i386"
logged "debootstrap --arch=i386 --variant=minbase" || fail "no root was attempted"
logged "ctest" && fail "ctest ran without a Wine"
[ -e "$work/cache/i386-$suite" ] && fail "a failed build was taken for the root"
[ -z "$(find "$work/cache" -mindepth 1 -type d)" ] ||
  fail "a build's remains were left: $(ls -a "$work/cache")"

# A root that is there (its Wine a stub): the suite runs in it, and its
# status is the script's.
root=$work/cache/i386-$suite
mkdir -p "$root/usr/lib/wine"
printf '#!/bin/sh\n' >"$root/usr/lib/wine/wine"
chmod +x "$root/usr/lib/wine/wine"
wine_test || fail "wine-test.sh failed with the root there: $(tail -3 "$work/out")"
logged "ctest --preset win32 root=$root" || fail "ctest did not run in the root"
for seen in "the clone" /dev /proc /tmp; do
  logged "ctest sees $seen" || fail "ctest does not see $seen in the root"
done
logged "debootstrap --arch" && fail "the root was made again"
wine_test SVCP_TEST_CTEST_STATUS=8 && fail "wine-test.sh passed a failing suite in the root"
grep -q "passed" "$work/out" && fail "'passed' printed after a failing suite"
# Forced: wine32:i386 is not even asked for.
wine_test SVCP_WIN32_ROOT=1 || fail "wine-test.sh failed with SVCP_WIN32_ROOT=1"
logged "wine32:i386" && fail "the registry was asked for wine32 with SVCP_WIN32_ROOT=1"

# --- The root's mounts ----------------------------------------------------
mounted_under() { grep -c " $1[/ ]" /proc/self/mountinfo || true; }
in_root() { SVCP_I386_ROOT_CACHE="$work/cache" "$source_dir/tests/windows/rig/i386-root.sh" run "$@"; }
dev_mounts=$(grep -c ' /dev/' /proc/self/mountinfo || true)
mkdir -p "$work/data"
echo here >"$work/data/file"
status=0
in_root --bind "$work/data" -- bash -c '[ "$(cat "$SVCP_WINE_ROOT$1/file")" = here ] || exit 90; exit 7' \
  check "$work/data" || status=$?
[ $status -eq 7 ] || fail "the command's status through the root: $status (90: the bind is not there)"
[ "$(mounted_under "$root")" -eq 0 ] || fail "mounts left in the root after the command"
# Killed outright, without a chance to undo anything.
status=0
in_root -- bash -c 'kill -9 $$' 2>/dev/null || status=$?
[ $status -eq 137 ] || fail "a killed command's status through the root: $status"
[ "$(mounted_under "$root")" -eq 0 ] || fail "mounts left in the root after a killed command"
# The runner itself killed (a CTest time-out) while the command runs: the
# mounts were never the host's. i386-root.sh execs the shell that holds them,
# so $! is that shell. The shell's notice of the kill is not the test's.
{
  SVCP_I386_ROOT_CACHE="$work/cache" "$source_dir/tests/windows/rig/i386-root.sh" run -- \
    bash -c 'echo $$ >"$1.tmp" && mv "$1.tmp" "$1" && exec sleep 60' started "$work/started" &
  runner=$!
  for _ in $(seq 100); do [ -s "$work/started" ] && break; sleep 0.1; done
  kill -9 "$runner"
  wait "$runner" || true
} 2>/dev/null
if [ -s "$work/started" ]; then
  command=$(cat "$work/started")
  kill "$command"
  for _ in $(seq 50); do kill -0 "$command" 2>/dev/null || break; sleep 0.1; done
else
  fail "the command in the root did not start"
fi
[ "$(mounted_under "$root")" -eq 0 ] || fail "mounts left in the root after the runner was killed"
[ "$(grep -c ' /dev/' /proc/self/mountinfo || true)" -eq "$dev_mounts" ] ||
  fail "the host's own mounts under /dev changed"
SVCP_I386_ROOT_CACHE="$work/none" "$source_dir/tests/windows/rig/i386-root.sh" run -- true 2>/dev/null &&
  fail "a run without a root succeeded"

[ $failures -eq 0 ] || exit 1
echo "win32 runner: passed"
