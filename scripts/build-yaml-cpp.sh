#!/usr/bin/env bash
# yaml-cpp for the Windows (mingw-w64) builds of the tools: Debian ships it
# for the build host only, so its source package (the same version as the
# host's libyaml-cpp-dev, Debian's patches applied) is cross-built as a
# static library, once per machine and target.
#   scripts/build-yaml-cpp.sh TRIPLE      (i686-w64-mingw32 or x86_64-w64-mingw32)
# Prints the install prefix (include/, lib/libyaml-cpp.a). The cache is
# $SVCP_THIRD_PARTY_CACHE, by default ~/.cache/svcproc.
set -euo pipefail
cd "$(dirname "$0")/.."

triple=${1:?usage: build-yaml-cpp.sh TRIPLE}
case "$triple" in
  i686-w64-mingw32 | x86_64-w64-mingw32) ;;
  *) echo "build-yaml-cpp: unknown target '$triple'" >&2; exit 64 ;;
esac
scripts/install-deps.sh --build dpkg-dev >&2

debian_version=$(dpkg-query -W -f='${Version}' libyaml-cpp-dev)
debian_version=${debian_version%+b*}   # a binary rebuild has the same source
cache=${SVCP_THIRD_PARTY_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/svcproc}
prefix="$cache/yaml-cpp-$debian_version-$triple"
if [ -f "$prefix/lib/libyaml-cpp.a" ]; then
  echo "$prefix"
  exit 0
fi

mkdir -p "$cache"
# Two configurations at once build it once.
exec 9>"$cache/.yaml-cpp.lock"
flock 9
if [ -f "$prefix/lib/libyaml-cpp.a" ]; then
  echo "$prefix"
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
scripts/add-deb-src.sh >&2
(cd "$work" && apt-get source -q "yaml-cpp=$debian_version") >&2
source_dir=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'yaml-cpp-*' | head -n 1)
[ -n "$source_dir" ] || { echo "build-yaml-cpp: no source tree unpacked" >&2; exit 1; }

staging="$prefix.partial.$$"
rm -rf "$staging"
cmake -S "$source_dir" -B "$work/build" -G Ninja \
  -DCMAKE_SYSTEM_NAME=Windows \
  -DCMAKE_C_COMPILER="$triple-gcc-posix" -DCMAKE_CXX_COMPILER="$triple-g++-posix" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$staging" \
  -DYAML_BUILD_SHARED_LIBS=OFF -DYAML_CPP_BUILD_TESTS=OFF \
  -DYAML_CPP_BUILD_TOOLS=OFF -DYAML_CPP_BUILD_CONTRIB=OFF >&2
cmake --build "$work/build" -j "$(nproc)" >&2
cmake --install "$work/build" >&2
cp "$source_dir/LICENSE" "$staging/LICENSE"
rm -rf "$prefix"
mv "$staging" "$prefix"
echo "$prefix"
