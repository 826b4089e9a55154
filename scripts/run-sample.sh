#!/usr/bin/env bash
# Installs what the build needs, builds, and runs the monitor on the bundled
# sample recording (mixed POCSAG, FLEX and GSC traffic; no hardware needed).
set -euo pipefail
cd "$(dirname "$0")/.."
# The programs alone: tests and benchmarks are built by scripts/test.sh.
SKELMAR_TARGETS="skelmar vantry" scripts/setup.sh build
exec build/skelmar --console --replay samples/mixed-traffic.edges --four-level "$@"
