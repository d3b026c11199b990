#!/usr/bin/env bash
# The header-only cpp-httplib for the Windows (mingw-w64) builds of the tools.
# Debian's libcpp-httplib-dev ships a httplib.h of declarations only (the
# implementation is compiled into its shared library, which mingw cannot link),
# so the original header is taken from Debian's source package of the same
# version: a deb-src entry for bookworm main is added when apt has none.
#   scripts/fetch-httplib.sh [DIR]     (default: build/third_party)
# Leaves DIR/cpp-httplib/httplib.h and prints its directory. Runs once: an
# existing header of the right version is kept.
set -euo pipefail
cd "$(dirname "$0")/.."

dest=${1:-build/third_party}
scripts/install-deps.sh libcpp-httplib-dev dpkg-dev

# 0.11.4+ds-1+deb12u1 -> 0.11.4: the header must be the one the Linux build uses.
debian_version=$(dpkg-query -W -f='${Version}' libcpp-httplib-dev)
upstream=${debian_version%%+*}
upstream=${upstream%%-*}
header="$dest/cpp-httplib/httplib.h"

header_version() { sed -n 's/^#define CPPHTTPLIB_VERSION "\(.*\)"/\1/p' "$1"; }

if [ -f "$header" ] && [ "$(header_version "$header")" = "$upstream" ]; then
  echo "$dest/cpp-httplib"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! (cd "$work" && apt-get source --download-only -q "cpp-httplib=$debian_version") \
    >/dev/null 2>&1; then
  # The deb-src twins of the machine's own deb entries: the same mirrors,
  # suites (the security suite holds the +debNuN updates) and keys, so that
  # apt sees no conflicting options.
  {
    for file in /etc/apt/sources.list.d/*.sources; do
      case "$file" in *svcproc-deb-src.sources | "/etc/apt/sources.list.d/*.sources") continue ;; esac
      # Stanza by stanza: those whose Types list "deb", as deb-src.
      awk 'function flush() { if (binary && enabled) printf "%s\n", stanza; stanza = ""; binary = 0; enabled = 1 }
           BEGIN { enabled = 1 }
           /^[ \t]*$/ { flush(); next }
           /^Types:/ { for (i = 2; i <= NF; ++i) if ($i == "deb") binary = 1
                       stanza = stanza "Types: deb-src\n"; next }
           /^Enabled:[ \t]*no/ { enabled = 0 }
           { stanza = stanza $0 "\n" }
           END { flush() }' "$file"
    done
  } | $sudo tee /etc/apt/sources.list.d/svcproc-deb-src.sources >/dev/null
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list |
      $sudo tee /etc/apt/sources.list.d/svcproc-deb-src.list >/dev/null
  fi
  # An index of another architecture that fails its check does not keep
  # the source index from arriving.
  $sudo apt-get update -q || echo "fetch-httplib: apt-get update reported failures" >&2
  (cd "$work" && apt-get source --download-only -q "cpp-httplib=$debian_version")
fi
(cd "$work" && dpkg-source --no-check -x ./*.dsc source >/dev/null)

found=$(header_version "$work/source/httplib.h")
if [ "$found" != "$upstream" ]; then
  echo "cpp-httplib source is version '$found', the Linux package $upstream" >&2
  exit 1
fi
mkdir -p "$dest/cpp-httplib"
cp "$work/source/httplib.h" "$header"
cp "$work/source/LICENSE" "$dest/cpp-httplib/LICENSE"
echo "$dest/cpp-httplib"
