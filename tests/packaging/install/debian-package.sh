#!/usr/bin/env bash
# The Debian package, made by CPack from the build and used without
# installing it system-wide: its file list, its dependencies, and its files
# extracted into a scratch root, where the monitor runs against the
# simulated machine, the library carries the version stamp, and a C program
# builds with `pkg-config --libs svcproc`.
#   debian-package.sh <build dir> <source dir> <version> [<stamp option>...]
# The stamp options (-DVERSION=<stamp version>, -DTIME=..., -DDATE=...) go
# to tests/packaging/version/CheckVersionStamp.cmake.
set -euo pipefail

build=$1
source=$2
version=$3
shift 3
cc=${CC:-cc}

scratch=$(mktemp -d /tmp/svcp-deb-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1 || {
  cat "$scratch/cpack.log"
  fail "cpack -G DEB"
}
package=$(ls "$scratch"/out/svcproc_*.deb)
echo "package: $(basename "$package")"

dpkg-deb -c "$package" >"$scratch/contents"
for path in ./usr/lib/libsvcproc.so.$version ./usr/lib/libsvcproc-log.so.$version \
  ./usr/lib/libsvcproc-platform.so.$version ./usr/include/svcproc/api/ServiceApi.h \
  ./usr/include/svcproc/api/svcproc_c.h ./usr/include/svcproc/api/svcproc_export.h \
  ./usr/lib/cmake/svcproc/svcprocConfig.cmake ./usr/lib/pkgconfig/svcproc.pc \
  ./usr/bin/svcproc-monitor ./usr/bin/svcproc-sim ./usr/share/doc/svcproc/embedding.md \
  ./usr/share/doc/svcproc/third-party/CLI11.txt ./usr/share/doc/svcproc/third-party/nlohmann-json.txt; do
  grep -q " $path\( \|$\)" "$scratch/contents" || fail "not in the package: $path"
done
depends=$(dpkg-deb -f "$package" Depends)
echo "Depends: $depends"
[[ $depends == *libc6* && $depends == *libstdc++6* ]] || fail "dependencies: $depends"
[[ $depends != *svcproc* ]] || fail "depends on itself: $depends"

root=$scratch/root
dpkg-deb -x "$package" "$root"
output=$("$root/usr/bin/svcproc-monitor" --simulate --once 2>&1) || fail "monitor: $output"
[[ $output == *"Chassis Fan"* ]] || fail "monitor output: $output"
echo "monitor --simulate --once: ok"

cmake "$@" -DFILE="$root/usr/lib/libsvcproc.so.$version" -DTOOL="$root/usr/bin/svcproc-version" \
  -P "$source/tests/packaging/version/CheckVersionStamp.cmake" || fail "version stamp"
echo "version stamp: ok"

export PKG_CONFIG_PATH=$root/usr/lib/pkgconfig
"$cc" -std=c11 -D_POSIX_C_SOURCE=200809L -I"$source/tests/library/capi" "$source/tests/library/capi/CapiChecks.c" \
  "$source/tests/library/capi/CapiProgram.c" $(pkg-config --cflags svcproc) $(pkg-config --libs svcproc) \
  -o "$scratch/c-consumer" || fail "C program does not link with pkg-config"
ldd_output=$(LD_LIBRARY_PATH=$root/usr/lib ldd "$scratch/c-consumer")
[[ $ldd_output == *"$root/usr/lib/libsvcproc.so.2"* ]] || fail "C program: $ldd_output"
echo "C program links with pkg-config --libs svcproc: ok"
echo "PASS"
