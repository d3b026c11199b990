#!/usr/bin/env bash
# The main job: builds the library and the monitor, and runs the monitor for
# 15 seconds against the built-in simulated point-of-sale machine, whose
# chassis fan slows below its critical threshold and recovers, and whose CPU
# runs hot and cools down, so that alerts arrive and clear.
# Extra arguments go to the monitor (svcproc-monitor --help).
set -euo pipefail
cd "$(dirname "$0")/.."

# Only what building needs: the test suite's tools are the test command's.
scripts/install-deps.sh --build
# A build of its own without the tests, so that the test command's build
# (build/default) keeps its settings.
cmake --preset default -B build/run -DSVCP_BUILD_TESTS=OFF >/dev/null
cmake --build build/run -j "$(nproc)" --target svcproc-monitor svcproc-sim
exec build/run/bin/svcproc-monitor --simulate --watch --duration 15 "$@"
