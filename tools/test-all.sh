#!/usr/bin/env bash
# Every test: the native suite over the simulator, and the checks of the
# cross-built Windows executables.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh
ctest --test-dir build -j2 --output-on-failure
if [ -x tools/check-pe.sh ]; then
  tools/check-pe.sh build-win32
fi
