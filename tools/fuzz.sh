#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang (AddressSanitizer and
# UBSan) and runs each for a bounded time from its corpus in fuzz/corpus/.
# New inputs go to a scratch corpus in the build directory, so the one kept
# in the repository stays small; a crashing input is kept there too.
#   ZMP_FUZZ_SECONDS  time per harness (default 20)
#   ZMP_FUZZ_BUILD    build directory (default build-fuzz)
#   tools/fuzz.sh [harness...]   only these
set -euo pipefail
cd "$(dirname "$0")/.."
ZMP_WITH_CLANG=1 tools/deps.sh
build=${ZMP_FUZZ_BUILD:-build-fuzz}
seconds=${ZMP_FUZZ_SECONDS:-20}
cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2

harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=(permission_command reg_key_path config_file inf_reader)
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
status=0
for h in "${harnesses[@]}"; do
  scratch="$build/corpus/$h"
  artifacts="$build/artifacts/$h"
  rm -rf "$artifacts"
  mkdir -p "$scratch" "$artifacts"
  echo "== fuzz_$h (${seconds}s)"
  # The simulated process records every call it makes, so memory grows by
  # design from one input to the next: there the leaks are looked for once,
  # when the run ends, not after every input.
  leaks=1
  case $h in reg_key_path|config_file) leaks=0 ;; esac
  rc=0
  "$build/fuzz_$h" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
      -detect_leaks=$leaks -print_final_stats=1 -artifact_prefix="$artifacts/" "$scratch" "fuzz/corpus/$h" \
      >"$build/fuzz_$h.log" 2>&1 || rc=$?
  grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::new_units_added)' "$build/fuzz_$h.log" || true
  if [ $rc -ne 0 ]; then
    grep -E -A30 '==[0-9]+==ERROR|check failed|runtime error' "$build/fuzz_$h.log" | head -60 >&2 || true
    echo "fuzz_$h failed ($rc); input kept in $artifacts, output in $build/fuzz_$h.log" >&2
    status=1
  fi
done
exit $status
