#!/usr/bin/env bash
# The native suite under AddressSanitizer and UndefinedBehaviorSanitizer:
# every test, the fault sweep included; any report fails the run. The tree
# is built with clang, and the libFuzzer harnesses of fuzz/ with it: the
# fuzz stage (tools/fuzz.sh) runs from the same build.
#   tools/sanitize.sh          build, then run the suite
#   tools/sanitize.sh build    build only
# ZMP_ASAN_BUILD names the build directory (default build-asan).
set -euo pipefail
cd "$(dirname "$0")/.."
ZMP_WITH_CLANG=1 tools/deps.sh
source tools/ccache.sh
build=${ZMP_ASAN_BUILD:-build-asan}
cmake -S . -B "$build" -G Ninja -DZMP_SANITIZE=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      "${launch[@]}" >/dev/null
cmake --build "$build" -j2
[ "${1:-}" = build ] && exit 0
# A report stops the test at once, with its stack.
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
ctest --test-dir "$build" -j2 --output-on-failure --timeout 1800
