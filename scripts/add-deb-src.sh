#!/usr/bin/env bash
# Makes Debian's source packages reachable to apt-get source: when apt has no
# deb-src entry, the twins of the machine's own deb entries are added (the
# same mirrors, suites (the security suite holds the +debNuN updates) and
# keys, so that apt sees no conflicting options), and the lists updated.
set -euo pipefail

if apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -qx Sources; then
  exit 0
fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
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
# An index of another architecture that fails its check does not keep the
# source index from arriving.
$sudo apt-get update -q || echo "add-deb-src: apt-get update reported failures" >&2
