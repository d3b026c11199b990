#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset, clang) and runs each for a bounded
# time over its corpus: the fuzz preset's CTest tests (20 s each).
#   scripts/fuzz.sh                  the bounded runs
#   scripts/fuzz.sh <seconds>        one longer run of the SMBIOS parser fuzzer
# New inputs go to build/fuzz/tests/fuzz/*.new; a finding's input is written to
# the current folder (crash-*, leak-*, timeout-*): keep it in the corpus as
# regression-<what>.bin once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target smbios_parser_fuzzer -j "$(nproc)"
if [ $# -gt 0 ]; then
  build/fuzz/bin/smbios_parser_fuzzer -max_total_time="$1" -timeout=10 -print_final_stats=1 \
    build/fuzz/tests/fuzz/smbios_parsers.new tests/fuzz/corpus/smbios_parsers tests/data/smbios
else
  ctest --preset fuzz
fi
