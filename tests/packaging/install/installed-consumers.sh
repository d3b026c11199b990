#!/usr/bin/env bash
# Applications built against an installed prefix, as their developers build
# them, run against the simulator installed with it:
#   - a CMake project using find_package(svcproc)
#   - a program built with `pkg-config --cflags --libs svcproc`
#   - the C interface's checks, compiled as C with pkg-config
#   - the Python binding, installed with pip (offline) beside the prefix,
#     finding the library through the loader's path ($PYTHON: an
#     interpreter with pytest; empty skips it)
# The prefix is a fresh temporary directory; nothing may come from the build
# tree.
#   installed-consumers.sh <build dir> <source dir> <generator>
set -euo pipefail

build=$1
source=$2
generator=$3
cxx=${CXX:-c++}
cc=${CC:-cc}
python=${PYTHON:-}

scratch=$(mktemp -d /tmp/svcp-install-XXXXXX)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" || {
  cat "$scratch/install.log"
  fail "cmake --install"
}
libdir=$prefix/lib
[ -f "$prefix/include/svcproc/api/svcproc_export.h" ] || fail "no generated export header"
[ -f "$libdir/pkgconfig/svcproc.pc" ] || fail "no svcproc.pc"
for lib in libsvcproc libsvcproc-log libsvcproc-platform; do
  [ -L "$libdir/$lib.so" ] && [ -L "$libdir/$lib.so.2" ] || fail "$lib.so: not versioned"
  [[ $(readelf -d "$libdir/$lib.so") == *'(RUNPATH)'*'[$ORIGIN]'* ]] || fail "$lib.so: RUNPATH"
done
[[ $(readelf -d "$prefix/bin/svcproc-sim") == *'(RUNPATH)'*'[$ORIGIN/../lib]'* ]] ||
  fail "svcproc-sim: RUNPATH"
if readelf -d "$libdir/libsvcproc.so" "$prefix/bin/"* 2>/dev/null | grep -F "$build"; then
  fail "an installed file points into the build tree"
fi

# The headers alone, from the installed tree.
echo '#include "svcproc/api/ServiceApi.h"' | "$cxx" -std=c++17 -fsyntax-only -x c++ \
  -I"$prefix/include" - || fail "ServiceApi.h does not compile from the prefix"
echo '#include "svcproc/api/HandleKindName.h"' | "$cxx" -std=c++17 -fsyntax-only -x c++ \
  -I"$prefix/include" - || fail "HandleKindName.h does not compile from the prefix"

cmake -S "$source/tests/packaging/install/consumer" -B "$scratch/cmake-consumer" -G "$generator" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >"$scratch/consumer.log" 2>&1 &&
  cmake --build "$scratch/cmake-consumer" >>"$scratch/consumer.log" 2>&1 || {
  cat "$scratch/consumer.log"
  fail "find_package consumer does not build"
}

export PKG_CONFIG_PATH=$libdir/pkgconfig
read -r -a pc_flags <<<"$(pkg-config --cflags --libs svcproc)"
"$cxx" -std=c++17 "$source/tests/packaging/install/consumer/consumer.cpp" "${pc_flags[@]}" \
  -Wl,-rpath,"$libdir" -o "$scratch/pkgconfig-consumer" || fail "pkg-config consumer does not build"

"$cc" -std=c11 -D_POSIX_C_SOURCE=200809L -I"$source/tests/library/capi" "$source/tests/library/capi/CapiChecks.c" \
  "$source/tests/library/capi/CapiProgram.c" $(pkg-config --cflags svcproc) $(pkg-config --libs svcproc) \
  -Wl,-rpath,"$libdir" -o "$scratch/c-consumer" || fail "C program does not build"

if [ -n "$python" ]; then
  # A copy: building the package writes into its folder.
  cp -r "$source/python" "$scratch/python-source"
  "$python" -m pip install --quiet --no-build-isolation --no-index --target "$scratch/site" \
    "$scratch/python-source" >"$scratch/pip.log" 2>&1 || {
    cat "$scratch/pip.log"
    fail "pip install of the binding"
  }
fi

# The simulator from the prefix, serving in a directory of this test's own.
devices=$scratch/devices
"$prefix/bin/svcproc-sim" --device-dir "$devices" --quiet --duration 120 \
  >"$scratch/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
  grep -q "serving" "$scratch/sim.log" && break
  sleep 0.1
done
grep -q "serving" "$scratch/sim.log" || {
  cat "$scratch/sim.log"
  fail "svcproc-sim does not serve"
}
export SVCP_DEVICE_DIR=$devices

for program in "$scratch/cmake-consumer/consumer" "$scratch/pkgconfig-consumer"; do
  # Loaded from the prefix, not from the build tree. (No `| grep -q`
  # under pipefail: grep's early exit fails the pipe.)
  libraries=$(ldd "$program")
  [[ $libraries == *"libsvcproc.so.2 => $libdir/"* && $libraries == *"libsvcproc-log.so.2 => $libdir/"* ]] ||
    fail "$program: libraries not from the prefix: $libraries"
  output=$("$program") || fail "$program: $output"
  echo "$output"
  [[ $output == *"result 0, 12 sensors, first: +3.3 V"* ]] || fail "$program: unexpected output"
done
c_output=$("$scratch/c-consumer") || {
  echo "$c_output"
  fail "C program"
}
[[ $c_output == *"C interface: 0 failures"* ]] || fail "C program: $c_output"
echo "C program: passed"

if [ -n "$python" ]; then
  # Its own simulator (the tests start one); the library through the
  # loader's path, as for a library installed in a system directory.
  (
    unset SVCP_DEVICE_DIR SVCPROC_LIBRARY
    export SVCPROC_SIM=$prefix/bin/svcproc-sim LD_LIBRARY_PATH=$libdir PYTHONPATH=$scratch/site
    export PYTHONDONTWRITEBYTECODE=1
    cd "$scratch"
    "$python" -m pytest -q -p no:cacheprovider "$scratch/python-source/tests"
  ) || fail "Python tests against the prefix"
  [ -f "$scratch/site/svcproc/__init__.py" ] || fail "binding not installed"
fi
echo "PASS"
