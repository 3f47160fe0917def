#!/usr/bin/env bash
# The native suite under AddressSanitizer and UndefinedBehaviorSanitizer:
# every test, the fault sweep included; any report fails the run.
# ZMP_ASAN_BUILD names the build directory (default build-asan).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
build=${ZMP_ASAN_BUILD:-build-asan}
cmake -S . -B "$build" -G Ninja -DZMP_SANITIZE=ON >/dev/null
cmake --build "$build" -j2
# A report stops the test at once, with its stack.
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
ctest --test-dir "$build" -j2 --output-on-failure
