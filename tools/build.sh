#!/usr/bin/env bash
# Builds the native tree (system code, simulator, tests, zmpk40-sim) into
# build/ and the Windows package (PE32, i686) into build-win32/.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
source tools/ccache.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug "${launch[@]}" >/dev/null
cmake --build build -j2
cmake -S . -B build-win32 -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel "${launch[@]}" \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build-win32 -j2
# An import of the programs that is not a KnownDLL fails the build.
tools/check-pe.sh build-win32 >/dev/null || { tools/check-pe.sh build-win32; exit 1; }
