#!/usr/bin/env bash
# Runs every libFuzzer harness of fuzz/ for a bounded time from its corpus in
# fuzz/corpus/, two at a time (one a core). The harnesses come from the
# sanitizer tree (clang, AddressSanitizer and UBSan; tools/sanitize.sh builds
# it). New inputs go to a scratch corpus in the build directory, so the one
# kept in the repository stays small; a crashing input is kept there too.
#   ZMP_FUZZ_SECONDS  time per harness (default 20)
#   ZMP_FUZZ_JOBS     harnesses run at once (default 2)
#   ZMP_ASAN_BUILD    build directory (default build-asan)
#   tools/fuzz.sh [harness...]   only these
set -euo pipefail
cd "$(dirname "$0")/.."
tools/sanitize.sh build
build=${ZMP_ASAN_BUILD:-build-asan}
seconds=${ZMP_FUZZ_SECONDS:-20}
jobs=${ZMP_FUZZ_JOBS:-2}

harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=(permission_command reg_key_path config_file inf_reader)
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

# One harness: its run, logged to $build/fuzz_<h>.log; the exit code says how it went.
fuzz() {
  local h=$1 scratch="$build/corpus/$1" artifacts="$build/artifacts/$1"
  rm -rf "$artifacts"
  mkdir -p "$scratch" "$artifacts"
  # The simulated process records every call it makes, so memory grows by
  # design from one input to the next: there the leaks are looked for once,
  # when the run ends, not after every input.
  local leaks=1
  case $h in reg_key_path|config_file) leaks=0 ;; esac
  "$build/fuzz_$h" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
      -detect_leaks=$leaks -print_final_stats=1 -artifact_prefix="$artifacts/" "$scratch" "fuzz/corpus/$h" \
      >"$build/fuzz_$h.log" 2>&1
}

# What a harness's run came to, in the order the harnesses were named.
report() {
  local h=$1 rc=$2
  echo "== fuzz_$h (${seconds}s)"
  grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::new_units_added)' "$build/fuzz_$h.log" || true
  if [ "$rc" -ne 0 ]; then
    grep -E -A30 '==[0-9]+==ERROR|check failed|runtime error' "$build/fuzz_$h.log" | head -60 >&2 || true
    echo "fuzz_$h failed ($rc); input kept in $build/artifacts/$h, output in $build/fuzz_$h.log" >&2
    status=1
  fi
}

status=0
for ((i = 0; i < ${#harnesses[@]}; i += jobs)); do
  batch=("${harnesses[@]:i:jobs}")
  pids=()
  for h in "${batch[@]}"; do fuzz "$h" & pids+=($!); done
  for k in "${!batch[@]}"; do
    rc=0
    wait "${pids[$k]}" || rc=$?
    report "${batch[$k]}" "$rc"
  done
done
exit $status
