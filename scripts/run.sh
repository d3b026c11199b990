#!/usr/bin/env bash
# The main job: builds the library and the monitor, and runs the monitor for
# 15 seconds against the built-in simulated point-of-sale machine, whose
# chassis fan slows below its critical threshold and recovers, and whose CPU
# runs hot and cools down, so that alerts arrive and clear.
# Extra arguments go to the monitor (svcproc-monitor --help).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target svcproc-monitor svcproc-sim
exec build/default/bin/svcproc-monitor --simulate --watch --duration 15 "$@"
