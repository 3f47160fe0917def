#!/usr/bin/env bash
# Every test: the native suite over the simulated Windows machine, the same
# suite under AddressSanitizer and UBSan, a short run of every fuzz harness,
# the checks of the cross-built Windows executables, and the programs under
# Wine driven like a user. Each stage's wall time after it, the whole at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
trap 'echo "test command: $((SECONDS - started)) s"' EXIT
stage() {
  local from=$SECONDS rc=0
  "$@" || rc=$?
  echo "-- $1: $((SECONDS - from)) s" >&2
  return $rc
}
stage tools/build.sh
# Each entry has its own time-out; --timeout is for any that has none.
stage ctest --test-dir build -j2 --output-on-failure --timeout 600
grep -h '^fault sweep:' build/Testing/Temporary/LastTest.log || true
stage tools/sanitize.sh   # the sanitizer tree (clang) also builds the fuzz harnesses
stage tools/fuzz.sh       # 20 s per harness, two at a time
stage tools/check-pe.sh build-win32
stage tools/sim-cli-test.sh build/tools/zmpk40-sim/zmpk40-sim build-win32/dist
# The main job as its reader gets it: under 200 lines, and every leftover of
# install-then-uninstall with the reason it stays.
stage tools/main-job.sh > build/main-job.txt
if [ "$(wc -l < build/main-job.txt)" -ge 200 ] || ! grep -qx '  Nothing else.' build/main-job.txt; then
  cat build/main-job.txt
  echo "main job: over 200 lines, or a leftover without a reason (above)"
  exit 1
fi

# Under Wine: the shipped PE32 programs on 64-bit (WOW64) and 32-bit Windows,
# driven by our UI robot and compared with the simulator (under three minutes).
ZMP_WITH_WINE=1 tools/deps.sh
tools/wine/results_page_test.py
status=0
stage tools/wine/harness.py || status=$?
# The run's results page as headless Chromium shows it, also after a failure
# (screenshot: build-wine/results/index.png).
tools/wine/harness.py --check-page
exit $status
