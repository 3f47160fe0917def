#!/usr/bin/env bash
# Every test: the native suite over the simulated Windows machine, the checks
# of the cross-built Windows executables, the simulator's command line and the
# main job's report, then the programs under Wine driven like a user — in the
# background, since most of that stage is the programs' own pauses and the
# robot waiting for windows — while the suite runs again under
# AddressSanitizer and UBSan and every fuzz harness runs for a short time.
# Each stage's wall time after it, the whole at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
# A stage in the background that is still running when the command ends
# (a failure, Ctrl-C) is ended with it.
background=()
trap 'kill "${background[@]}" 2>/dev/null || true; echo "test command: $((SECONDS - started)) s"' EXIT
stage() {
  local from=$SECONDS rc=0
  "$@" || rc=$?
  echo "-- $1: $((SECONDS - from)) s" >&2
  return $rc
}
# Everything from Debian's packages first: the stages that overlap must not
# meet in apt.
ZMP_WITH_WINE=1 ZMP_WITH_CLANG=1 tools/deps.sh
tools/wine/harness.py --packages

stage tools/build.sh
# The checks that take one core at most run beside the suite, which leaves
# the other one idle for much of its time; their output follows the suite's.
light() {
  stage tools/check-pe.sh build-win32
  stage tools/sim-cli-test.sh build/tools/zmpk40-sim/zmpk40-sim build-win32/dist
  # The main job as its reader gets it: under 200 lines, and every leftover
  # of install-then-uninstall with the reason it stays.
  stage tools/main-job.sh > build/main-job.txt
  if [ "$(wc -l < build/main-job.txt)" -ge 200 ] || ! grep -qx '  Nothing else.' build/main-job.txt; then
    cat build/main-job.txt
    echo "main job: over 200 lines, or a leftover without a reason (above)"
    return 1
  fi
  tools/wine/results_page_test.py
}
light > build/light-output.txt 2>&1 &
light_pid=$!
background+=($light_pid)
light_from=$SECONDS
# Each entry has its own time-out; --timeout is for any that has none.
status=0
stage ctest --test-dir build -j2 --output-on-failure --timeout 600 || status=$?
grep -h '^fault sweep:' build/Testing/Temporary/LastTest.log || true
light_status=0
wait $light_pid || light_status=$?
cat build/light-output.txt
echo "-- the checks above: $((SECONDS - light_from)) s (beside ctest)" >&2
[ $status -ne 0 ] || status=$light_status
[ $status -eq 0 ] || exit $status

# Under Wine: the shipped PE32 programs on 64-bit (WOW64) and 32-bit Windows,
# driven by our UI robot and compared with the simulator. Nothing after this
# point writes build/ or build-win32/, which the harness reads.
mkdir -p build-wine
wine_log=build-wine/harness-output.txt
wine_from=$SECONDS
tools/wine/harness.py > "$wine_log" 2>&1 &
wine_pid=$!
background+=($wine_pid)

stage tools/sanitize.sh || status=$?   # the sanitizer tree (clang) also builds the fuzz harnesses
[ $status -ne 0 ] || stage tools/fuzz.sh || status=$?   # 20 s per harness, two at a time

wine_status=0
wait $wine_pid || wine_status=$?
cat "$wine_log"
echo "-- tools/wine/harness.py: $((SECONDS - wine_from)) s (beside the two stages above)" >&2
# The run's results page as headless Chromium shows it, also after a failure
# (screenshot: build-wine/results/index.png).
tools/wine/harness.py --check-page || wine_status=1
[ $status -ne 0 ] || status=$wine_status
exit $status
