#!/usr/bin/env bash
# The main job, as a report: builds the Windows package, runs the installer
# and then the uninstaller on a fresh simulated Windows 7 x64 machine, and
# shows for each its transcript, where its log is and what it changed; at the
# end, what install-then-uninstall left on the machine, each with the reason
# it stays.
#   tools/main-job.sh [-v] [--plug] [OUT] [-- INSTALL-OPTIONS...]
# -v shows the build's output (else only when the build fails); --plug
# switches the USB printer on after the installer, as its message asks; OUT
# (build/main-job) receives the build log, the machine and its full states;
# the installer's options (zmpk40-sim install) default to --port USB.
set -euo pipefail
cd "$(dirname "$0")/.."
verbose=0 plug=0 out=build/main-job
while [ $# -gt 0 ]; do
  case $1 in
    -v) verbose=1 ;;
    --plug) plug=1 ;;
    --) shift; break ;;
    *) out=$1 ;;
  esac
  shift
done
install_options=("$@")
[ ${#install_options[@]} -gt 0 ] || install_options=(--port USB)
sim=build/tools/zmpk40-sim/zmpk40-sim
package=build-win32/dist
machine=$out/machine
states=$out/states
mkdir -p "$out"

if [ $verbose = 1 ]; then
  tools/build.sh
elif ! tools/build.sh > "$out/build.log" 2>&1; then
  cat "$out/build.log"
  echo "main job: the build failed (its output above, and in $out/build.log)"
  exit 1
fi
rm -rf "$machine" "$states"
mkdir -p "$states"
"$sim" new "$machine" --os 7 --wow64

# What stays after install-then-uninstall, and why: the reason's id and a
# pattern over "sign kind name" of a change line (case-insensitive; * and ?
# as in the shell). Reasons come from what the programs and Windows do.
declare -A why=(
  [logs]="The programs' logs: each writes its own into \\Temp at the root of the Windows drive (making the folder) and leaves it to be read."
  [utilities]="The utilities folder, writable by administrators and the system only, with the uninstaller and the configuration file: the uninstaller runs from it, and its last step deletes \\KORVANT Printer Driver\\ZMP-K40 on the system drive, not this folder."
  [config]="The installer's second copy of the configuration file, in the system directory (SysWOW64 for a 32-bit program on 64-bit Windows): no removal step deletes it."
  [driverkeys]="The spooler's keys for the drivers of an environment, made with its first version-3 driver: the spooler keeps them when the driver goes (a real Windows has them from setup, for its own drivers)."
  [tcpport]="The Standard TCP/IP port made for the wireless-LAN printer: Windows keeps a port when its printer goes, and the uninstaller deletes no port."
  [usbport]="The USB port Plug and Play made for the printer: the USB Monitor keeps it for the next time the printer is switched on."
  [usbprint]="Plug and Play's branch for USB printers, made when the first one was switched on: Windows keeps it."
)
reason_order=(logs utilities config driverkeys tcpport usbport usbprint)
patterns=(
  logs '+ folder ?:\Temp'
  logs '+ file ?:\Temp\ZMP-K40_Installer.txt'
  logs '+ file ?:\Temp\ZMP-K40_UnInstaller.txt'
  utilities '+ folder ?:\*\ZMP-K40'
  utilities '+ file ?:\*\ZMP-K40\ZMPK40_Uninstaller.exe'
  utilities '+ file ?:\*\ZMP-K40\ZMPK40_Config.KVT'
  config '+ file ?:\*\system32\ZMPK40_Config.KVT'
  config '+ file ?:\*\SysWOW64\ZMPK40_Config.KVT'
  driverkeys '+ key HKLM\SYSTEM\CurrentControlSet\Control\Print\Environments\*\Drivers'
  driverkeys '+ key HKLM\SYSTEM\CurrentControlSet\Control\Print\Environments\*\Drivers\Version-3'
  tcpport '+ port "IP_*"'
  usbport '+ port "USB0??"'
  usbprint '+ key HKLM\SYSTEM\CurrentControlSet\Enum\USBPRINT'
)

indent() { sed "s/^/$1/"; }

# log NAME: where the program's log is, as Windows and as this host name it.
log() {
  local host
  host=$(find "$machine/drive" -iname "$1" -print -quit)
  if [ -z "$host" ]; then echo "Log: none written"; return; fi
  local rel=${host#"$machine"/drive/}
  local win="${rel:0:1}:/${rel:2}"
  win=${win//\//\\}
  echo "Log: ${win^} ($host)"
}

# leftovers FILE: the change lines of FILE under the reasons they stay for;
# whatever no reason explains is listed apart.
leftovers() {
  declare -A items=()
  local unexplained="" line subject id i pattern
  while IFS= read -r line; do
    [[ $line == "  "* ]] || continue  # a group's heading
    line=${line#  }
    subject=${line%%: *}
    id=""
    for ((i = 0; i < ${#patterns[@]}; i += 2)); do
      pattern=${patterns[i + 1]//\\/\\\\}
      if [[ ${subject,,} == ${pattern,,} ]]; then id=${patterns[i]}; break; fi
    done
    if [ -n "$id" ]; then items[$id]+="    $line"$'\n'; else unexplained+="    $line"$'\n'; fi
  done < "$1"
  for id in "${reason_order[@]}"; do
    [ -n "${items[$id]:-}" ] || continue
    echo "  ${why[$id]}"
    printf '%s' "${items[$id]}"
  done
  if [ -n "$unexplained" ]; then
    echo "  Not explained by any design: each looks like a fault of the uninstaller."
    printf '%s' "$unexplained"
  else
    echo "  Nothing else."
  fi
}

echo "ZMP-K40 main job: the installer, then the uninstaller, on a simulated Windows 7 x64"
echo "Build: done ($( [ $verbose = 1 ] && echo "output above" || echo "output in $out/build.log; -v shows it"))"
echo "Machine: $machine, fresh; full states (as \"zmpk40-sim show\" prints them) in $states"

echo
echo "== ZMPK40_Installer.exe from a copy of $package (${install_options[*]})"
"$sim" install "$machine" --package "$package" "${install_options[@]}" --before "$states/1-before-install.json" |
  indent "  " || true
log ZMP-K40_Installer.txt
echo "Full states: before $states/1-before-install.json, after $states/2-after-install.json"
echo "What it changed:"
"$sim" diff "$machine" | indent "  "
if [ $plug = 1 ]; then
  echo
  echo "== The USB printer switched off and on"
  "$sim" plug "$machine"
  echo "What Plug and Play changed:"
  "$sim" diff "$machine" | indent "  "
fi
"$sim" show "$machine" > "$states/2-after-install.json"

echo
echo "== ZMPK40_Uninstaller.exe from the utilities folder; every printer checked, no restart"
"$sim" uninstall "$machine" --no | indent "  " || true
"$sim" show "$machine" > "$states/3-after-uninstall.json"
log ZMP-K40_UnInstaller.txt
echo "Full state after: $states/3-after-uninstall.json"
echo "What it changed:"
"$sim" diff "$machine" | indent "  "

echo
echo "== Left on the machine after install-then-uninstall, and why"
echo "(zmpk40-sim diff $states/1-before-install.json $states/3-after-uninstall.json)"
"$sim" diff "$states/1-before-install.json" "$states/3-after-uninstall.json" > "$states/leftovers.txt"
leftovers "$states/leftovers.txt"
