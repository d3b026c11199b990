#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset, clang) and runs them over their
# corpora.
#   scripts/fuzz.sh                  the bounded runs: the fuzz preset's CTest
#                                    tests (20 s per target)
#   scripts/fuzz.sh <seconds>        every target in turn, <seconds> each, with
#                                    libFuzzer's final statistics (executions)
#   scripts/fuzz.sh <seconds> <target>...   only those targets
# Targets: smbios_parser_fuzzer, io_response_fuzzer.
# New inputs go to build/fuzz/tests/library/fuzz/*.new; a finding's input is written to
# the current folder (crash-*, leak-*, timeout-*): keep it in the corpus as
# regression-<what>.bin once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(smbios_parser_fuzzer io_response_fuzzer)

corpus_of() {
  case "$1" in
    smbios_parser_fuzzer)
      echo build/fuzz/tests/library/fuzz/smbios_parsers.new tests/library/fuzz/corpus/smbios_parsers tests/data/smbios ;;
    io_response_fuzzer)
      echo build/fuzz/tests/library/fuzz/io_responses.new tests/library/fuzz/corpus/io_responses ;;
    *)
      echo "unknown fuzz target: $1" >&2; return 1 ;;
  esac
}

scripts/install-deps.sh
cmake --preset fuzz >/dev/null
if [ $# -eq 0 ]; then
  cmake --build --preset fuzz --target "${all_targets[@]}" -j "$(nproc)"
  exec ctest --preset fuzz
fi

seconds="$1"
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")
cmake --build --preset fuzz --target "${targets[@]}" -j "$(nproc)"
for target in "${targets[@]}"; do
  read -r -a corpus <<<"$(corpus_of "$target")"
  mkdir -p "${corpus[0]}"
  echo "== $target, $seconds s"
  # Only the fuzzer's own driver: not the devices a simulator here serves.
  SVCP_DEVICE_DIR= build/fuzz/bin/"$target" -max_total_time="$seconds" -timeout=10 \
    -print_final_stats=1 "${corpus[@]}"
done
