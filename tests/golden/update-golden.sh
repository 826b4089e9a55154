#!/bin/sh
# Rewrites the golden tests' expected files from the monitor of a build directory.
# Usage: tests/golden/update-golden.sh [BUILD_DIR]   (default: build)
set -eu
build=${1:-build}
cmake --build "$build" --target skelmar
SKELMAR_UPDATE_GOLDEN=1 ctest --test-dir "$build" -R '^golden\.' --output-on-failure
echo "Expected files rewritten; read 'git diff tests/golden/expected' before committing."
