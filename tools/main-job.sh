#!/usr/bin/env bash
# The main job: build the Windows package, then run the installer and the
# uninstaller on a simulated Windows 7 x64 machine, showing the transcripts,
# the logs and what the machine holds after each.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh
sim=build/tools/zmpk40-sim/zmpk40-sim
machine=${1:-build/demo-win7x64}
rm -rf "$machine"

echo "== new machine: Windows 7 x64 ($machine)"
"$sim" new "$machine" --os 7 --wow64

echo; echo "== ZMPK40_Installer.exe (port USB)"
"$sim" install "$machine" --package build-win32/dist --port USB || true
echo; echo "== installer log"
find "$machine/drive" -iname 'ZMP-K40_Installer.txt' -exec cat {} \; | tr -d '\r'

echo; echo "== machine after the installer"
"$sim" show "$machine"

echo; echo "== ZMPK40_Uninstaller.exe from the utilities folder (all checked, no restart)"
"$sim" uninstall "$machine" --no || true
echo; echo "== uninstaller log"
find "$machine/drive" -iname 'ZMP-K40_UnInstaller.txt' -exec cat {} \; | tr -d '\r'
echo; echo "== machine after the uninstaller"
"$sim" show "$machine"
