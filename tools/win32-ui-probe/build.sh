#!/bin/sh
# Builds the UI probe twice (installer and uninstaller resources), PE32 like
# the programs, against the libraries of the Windows build.
#   tools/win32-ui-probe/build.sh <Windows build dir, e.g. build-win32> <output dir>
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
out=$2
mkdir -p "$out"
cmake --build "$build" -j2 --target zmp_win32_ui zmp_resources >/dev/null
for program in Installer Uninstaller; do
    define=PROBE_$(echo $program | tr a-z A-Z)
    i686-w64-mingw32-windres -I"$root/resources" "$root/resources/$program.rc" -O coff -o "$out/$program.res.o"
    i686-w64-mingw32-g++ -std=c++17 -Os -Wall -Wextra -I"$root" -D$define \
        "$root/tools/win32-ui-probe/UiProbe.cpp" "$out/$program.res.o" \
        "$build/platform/win32/libzmp_win32_ui.a" "$build/libzmp_resources.a" \
        -lcomctl32 -lgdi32 -static -mconsole -o "$out/Probe$program.exe"
done
