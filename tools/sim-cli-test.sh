#!/usr/bin/env bash
# The zmpk40-sim command line end to end: machines made, the programs run on
# them with the options a user gives, and what the transcript and the saved
# machine show afterwards.
#   tools/sim-cli-test.sh [SIM] [PACKAGE]
set -uo pipefail
cd "$(dirname "$0")/.."
SIM=${1:-build/tools/zmpk40-sim/zmpk40-sim}
PKG=${2:-build-win32/dist}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
passed=0
failed=0

# check NAME FILE PATTERN...: every fixed string must be in FILE (one a line).
check() {
    local name=$1 file=$2 missing=""
    shift 2
    for want in "$@"; do
        grep -qxF -- "$want" "$file" || missing+="    missing: $want"$'\n'
    done
    if [ -z "$missing" ]; then
        passed=$((passed + 1)); echo "ok:   $name"
    else
        failed=$((failed + 1)); echo "FAIL: $name"; printf '%s' "$missing"; sed 's/^/    | /' "$file" | tail -15
    fi
}
# absent NAME FILE TEXT: the fixed string must not occur in FILE.
absent() {
    if grep -qF -- "$3" "$2"; then
        failed=$((failed + 1)); echo "FAIL: $1 (found: $3)"
    else
        passed=$((passed + 1)); echo "ok:   $1"
    fi
}
printers() { "$SIM" show "$1" | python3 -c '
import json, sys
for p in json.load(sys.stdin)["spooler"]["printers"]:
    print(p["name"] + " on " + p["port"])'; }

RESTART='BOX Restarting your computer can take effect.\nPlease restart your computer.\n\n[Yes] I want to restart my computer now.\n[No] I want to restart my computer later. -> NO'

# Windows XP, COM2, then the uninstaller from the utilities folder.
m=$WORK/xp
"$SIM" new "$m" --os xp > /dev/null
"$SIM" install "$m" --package "$PKG" --port COM2 --no --before "$WORK/before-xp.json" > "$WORK/t1" 2>&1
check "xp COM2: full registration, restart question" "$WORK/t1" \
    "STATUS Installing L/M...\r\n" "STATUS Adding printer...\r\n" \
    "STATUS The driver has been successfully installed." "$RESTART" "EXIT 0"
printers "$m" > "$WORK/p1"
check "xp COM2: the printer on COM2:" "$WORK/p1" "KORVANT ZMP-K40 on COM2:"
"$SIM" diff "$m" > "$WORK/d1" 2>&1
check "xp COM2: diff DIR shows what the installer did" "$WORK/d1" "Spooler" \
    '  + printer "KORVANT ZMP-K40": driver KORVANT ZMP-K40, port COM2:, processor KVT PRINT PROCESSOR ZMP-K40' \
    '  + monitor "KVT Language Monitor ZMP-K40": dll ZPMON40.dll' "Files" '  + folder C:\WINDOWS\ZMP-K40'
if cmp -s "$WORK/before-xp.json" "$m/before.json"; then
    passed=$((passed + 1)); echo "ok:   --before FILE is the state the machine kept"
else
    failed=$((failed + 1)); echo "FAIL: --before FILE differs from DIR/before.json"
fi
"$SIM" uninstall "$m" --no > "$WORK/t2" 2>&1
check "xp uninstall: driver removed, restart question" "$WORK/t2" \
    "STATUS Deleting printer-driver objects..." "STATUS The uninstallation has been completed." "$RESTART" "EXIT 0"
printers "$m" > "$WORK/p2"
absent "xp uninstall: no printer left" "$WORK/p2" "KORVANT ZMP-K40"
"$SIM" diff "$WORK/before-xp.json" "$m" > "$WORK/d2" 2>&1
check "xp install-then-uninstall: the utilities folder and the logs stay" "$WORK/d2" \
    '  + folder C:\WINDOWS\ZMP-K40' '  + folder C:\Temp'
absent "xp install-then-uninstall: no spooler object left" "$WORK/d2" "Spooler"
"$SIM" diff "$WORK/before-xp.json" "$m" --json | python3 -c '
import json, sys
for c in json.load(sys.stdin):
    print(c["change"], c["kind"], c["name"])' > "$WORK/d2j" 2>&1
check "xp install-then-uninstall as JSON" "$WORK/d2j" 'added folder C:\WINDOWS\ZMP-K40'
"$SIM" diff "$m" "$m" > "$WORK/d3" 2>&1
if [ -s "$WORK/d3" ]; then
    failed=$((failed + 1)); echo "FAIL: a machine against itself shows changes"; cat "$WORK/d3"
else
    passed=$((passed + 1)); echo "ok:   a machine against itself shows nothing"
fi

# Windows 7 x64, USB: the driver only; after the printer is switched on a
# second run finds the same version and starts no child.
m=$WORK/w7
"$SIM" new "$m" --os 7 --wow64 > /dev/null
"$SIM" install "$m" --package "$PKG" --port USB > "$WORK/t3" 2>&1
check "7 x64 USB: PrintUIEntry /ia, power-cycle message" "$WORK/t3" \
    'EXEC "C:\Windows\system32\rundll32.exe" C:\Windows\system32\printui.dll,PrintUIEntry /ia /m "KORVANT ZMP-K40" /f "C:\Users\Public\Downloads\ZMPK40\ZMPK40.inf"' \
    "BOX Please turn-off the printer and then turn-on again. -> OK" "EXIT 0"
"$SIM" plug "$m" > /dev/null
"$SIM" install "$m" --package "$PKG" --port USB > "$WORK/t4" 2>&1
check "7 x64 USB again: completed, spooler started" "$WORK/t4" \
    "STATUS Creates a new process \r\n" "STATUS Completed." 'EXEC "C:\Windows\system32\net.exe" start spooler' "EXIT 0"
absent "7 x64 USB again: no child" "$WORK/t4" "rundll32.exe"

# Windows 7, wireless LAN typed into the port dialog.
m=$WORK/wlan
"$SIM" new "$m" --os 7 > /dev/null
"$SIM" install "$m" --package "$PKG" --port WLAN --ip 192.168.0.50 --no > "$WORK/t5" 2>&1
check "7 WLAN: the IP_ port after /r, no colon" "$WORK/t5" \
    'EXEC "C:\Windows\system32\rundll32.exe" C:\Windows\system32\printui.dll,PrintUIEntry /if /b "KORVANT ZMP-K40" /f "C:\Users\Public\Downloads\ZMPK40\ZMPK40.inf" /r "IP_192.168.0.50" /m "KORVANT ZMP-K40"'

# Programs and DLLs of Windows' names put in the download folder by a user,
# and in the utilities folder: never what runs or loads.
m=$WORK/planted
mkdir -p "$WORK/plant"
for f in cmd.exe net.exe rundll32.exe printui.dll winspool.drv setupapi.dll comctl32.dll shlwapi.dll; do
  printf 'MZ planted %s' "$f" > "$WORK/plant/$f"
done
plants=(); for f in "$WORK"/plant/*; do plants+=(--plant "$f"); done
"$SIM" new "$m" --os 7 --wow64 > /dev/null
"$SIM" install "$m" --package "$PKG" --port COM1 --no "${plants[@]}" > "$WORK/t5p" 2>&1
check "7 x64: planted files beside the installer" "$WORK/t5p" \
    'EXEC "C:\Windows\system32\net.exe" start spooler' "EXIT 0"
absent "7 x64: no planted file ran beside the installer" "$WORK/t5p" "PLANTED"
"$SIM" uninstall "$m" --no "${plants[@]}" > "$WORK/t5u" 2>&1
check "7 x64: planted files beside the uninstaller" "$WORK/t5u" "EXIT 0"
absent "7 x64: no planted file ran beside the uninstaller" "$WORK/t5u" "PLANTED"
"$SIM" show "$m" > "$WORK/t5s"
check "7 x64: the planted net.exe is where the user put it" <(grep -oF 'Downloads\\ZMPK40\\net.exe' "$WORK/t5s" | head -1) \
    'Downloads\\ZMPK40\\net.exe'

# Early ends: the port dialog closed, an OS the driver does not support.
m=$WORK/cancel
"$SIM" new "$m" --os 7 > /dev/null
"$SIM" install "$m" --package "$PKG" --cancel-port > "$WORK/t6" 2>&1
check "port dialog closed: cancelled, exit 0" "$WORK/t6" "BOX The driver installation canceled. -> OK" "EXIT 0"
m=$WORK/98
"$SIM" new "$m" --os 98 > /dev/null
"$SIM" install "$m" --package "$PKG" --port COM1 > "$WORK/t7" 2>&1
check "Windows 98 refused" "$WORK/t7" "BOX THE DRIVER CAN NOT BE INSTALLED ON THIS OS. -> OK" "EXIT 0"

# Nothing installed but the uninstaller in its folder: it says so.
"$SIM" new "$WORK/fresh" --os xp > /dev/null
mkdir -p "$WORK/fresh/drive/C/WINDOWS/ZMP-K40"
cp "$PKG/ZMPK40_Uninstaller.exe" "$WORK/fresh/drive/C/WINDOWS/ZMP-K40/"
"$SIM" uninstall "$WORK/fresh" > "$WORK/t8" 2>&1
check "uninstall on a fresh machine: no driver" "$WORK/t8" \
    "BOX The ZMP-K40 driver does not exist on this system. -> OK" "EXIT 0"

# A machine written from another's state file.
"$SIM" new "$WORK/copy" --from "$WORK/w7/state.json" > /dev/null 2>&1
"$SIM" show "$WORK/copy" | python3 -c 'import json,sys; d=json.load(sys.stdin); print(d["os"]["preset"], d["os"]["is64Bit"])' > "$WORK/t9" 2>&1
check "new --from a state file" "$WORK/t9" "7 True"

# The programs' own command lines after "--": a quiet run shows no box, logs
# the answers it gave and ends with a deployment tool's code.
m=$WORK/quiet
"$SIM" new "$m" --os 7 --wow64 > /dev/null
"$SIM" install "$m" --package "$PKG" -- /quiet /port "WLAN:192.168.0.60:9101" > "$WORK/t10" 2>&1
check "quiet install: the restart question answered unseen, 3010" "$WORK/t10" "${RESTART/BOX/LOGGED}" "EXIT 3010"
absent "quiet install: no box shown" "$WORK/t10" "BOX "
printers "$m" > "$WORK/p10"
check "quiet install: the printer on its TCP/IP port" "$WORK/p10" "KORVANT ZMP-K40 on IP_192.168.0.60"
"$SIM" uninstall "$m" -- /quiet /forcerestart > "$WORK/t11" 2>&1
check "quiet uninstall with /forcerestart: restarted, 1641" "$WORK/t11" "RESTART" "EXIT 1641"
"$SIM" install "$m" --package "$PKG" -- /quiet > "$WORK/t12" 2>&1
check "quiet install without a port: 87" "$WORK/t12" "EXIT 87"

# Usage errors end with a non-zero code.
refused() {
    local name=$1
    shift
    if "$SIM" "$@" > /dev/null 2>&1; then
        failed=$((failed + 1)); echo "FAIL: $name"
    else
        passed=$((passed + 1)); echo "ok:   $name"
    fi
}
refused "an unknown port is refused" install "$WORK/xp" --port PARALLEL
refused "diff of a machine that has not run: no state before" diff "$WORK/copy"
refused "diff of a state.json: it has no file list" diff "$WORK/xp/state.json" "$WORK/xp"

# code NAME WANT CMD...: the command ends with exit code WANT (its stderr in $WORK/err).
code() {
    local name=$1 want=$2 got=0
    shift 2
    timeout 60 "$@" > "$WORK/out" 2> "$WORK/err" || got=$?
    if [ "$got" = "$want" ]; then
        passed=$((passed + 1)); echo "ok:   $name"
    else
        failed=$((failed + 1)); echo "FAIL: $name (exit $got, wanted $want)"; sed 's/^/    | /' "$WORK/err" | tail -5
    fi
}
field() { "$SIM" show "$1" | python3 -c "import json, sys; d = json.load(sys.stdin); print($2)"; }

# Options that would have nothing to act on are refused before the run, or
# reported after it when only the run can tell.
m=$WORK/opts
"$SIM" new "$m" --os xp > /dev/null
"$SIM" install "$m" --package "$PKG" --port COM1 --no > /dev/null 2>&1
"$SIM" install "$m" --package "$PKG" --port COM2 --no > /dev/null 2>&1
code "--uncheck of a printer not listed is refused" 2 "$SIM" uninstall "$m" --uncheck "No Such Printer"
check "... naming the printers listed" "$WORK/err" \
    'zmpk40-sim: --uncheck "No Such Printer": the uninstaller lists no such printer (it lists "KORVANT ZMP-K40", "KORVANT ZMP-K40(#1)")'
printers "$m" > "$WORK/p3"
check "... and nothing was removed" "$WORK/p3" "KORVANT ZMP-K40 on COM1:" "KORVANT ZMP-K40(#1) on COM2:"
code "unchecking every printer closes the list instead of hanging" 0 \
    "$SIM" uninstall "$m" --uncheck "KORVANT ZMP-K40" --uncheck "KORVANT ZMP-K40(#1)"
printers "$m" > "$WORK/p4"
check "... and keeps them all" "$WORK/p4" "KORVANT ZMP-K40 on COM1:" "KORVANT ZMP-K40(#1) on COM2:"
m=$WORK/nolist
"$SIM" new "$m" --os 7 --wow64 > /dev/null
"$SIM" install "$m" --package "$PKG" --port USB > /dev/null 2>&1
code "--cancel when the removal starts by itself is refused" 2 "$SIM" uninstall "$m" --cancel
check "... saying why" "$WORK/err" \
    "zmpk40-sim: --cancel: the uninstaller lists no printer on this machine, so nothing can be chosen (its removal, if any, starts by itself)"
cp -r "$PKG" "$WORK/configured"
printf '[ZMPK40]\r\nPORTDLG=FALSE\r\nPORT=COM3\r\n' > "$WORK/configured/ZMPK40_Config.KVT"
m=$WORK/hidden
"$SIM" new "$m" --os xp > /dev/null
code "--port with the dialog hidden by the configuration is reported" 3 \
    "$SIM" install "$m" --package "$WORK/configured" --port COM1 --no
check "... and the configured port was used" "$WORK/err" \
    "zmpk40-sim: the installer did not show its port dialog (its configuration names the port): --port, --ip, --tcp-port and --cancel-port had nothing to act on"
printers "$m" > "$WORK/p5"
check "... on COM3:" "$WORK/p5" "KORVANT ZMP-K40 on COM3:"

# A hand-written state with a mistake is refused with the path of the field.
mkdir -p "$WORK/bad"
echo '{"os": {"preset": "7"}, "spooler": {"printers": [{"name": "P", "jobs": ["1"]}]}}' > "$WORK/bad/state.json"
code "a hand-written state with a wrong type is refused" 1 "$SIM" new "$WORK/badm" --from "$WORK/bad/state.json"
check "... naming the field" "$WORK/err" \
    "zmpk40-sim: cannot load the machine in $WORK/badm: state.json: spooler.printers[0].jobs[0]: expected a number from 0 to 4294967295"

# "Restart, then run the installer again": an older version is removed, the
# installer asks for the restart it needs; after it the installation runs.
mkdir -p "$WORK/older"
cat > "$WORK/older/state.json" <<'STATE'
{
  "os": {"preset": "7", "is64Bit": true},
  "spooler": {
    "drivers": [{"name": "KORVANT ZMP-K40", "driverPath": "UNIDRV.DLL", "dataFile": "ZMP40.GPD",
                 "configFile": "UNIDRVUI.DLL",
                 "reportedData": {"MajorVersion": 2, "MinorVersion": 0, "BuildVersion": 5, "ExtraVersion": 9}}],
    "printers": [{"name": "KORVANT ZMP-K40", "driver": "KORVANT ZMP-K40", "port": "COM1:"}]
  }
}
STATE
m=$WORK/restart
"$SIM" new "$m" --from "$WORK/older/state.json" > /dev/null
"$SIM" install "$m" --package "$PKG" --port COM1 --yes > "$WORK/t10" 2>&1
check "older version: removed, restart" "$WORK/t10" "RESTART" "EXIT 0"
code "reboot" 0 "$SIM" reboot "$m"
"$SIM" install "$m" --package "$PKG" --port COM1 --no > "$WORK/t11" 2>&1
check "after the restart: installed" "$WORK/t11" "STATUS The driver has been successfully installed." "EXIT 0"
field "$m" '[p["name"] for p in d["spooler"]["printers"]]' > "$WORK/p6"
check "... one printer of the new version" "$WORK/p6" "['KORVANT ZMP-K40']"

# A restart releases what other processes hold and lets Plug and Play find a
# printer still plugged in whose device node the uninstaller removed.
m=$WORK/pnp
"$SIM" new "$m" --os 7 --wow64 > /dev/null
"$SIM" install "$m" --package "$PKG" --port USB > /dev/null 2>&1
"$SIM" plug "$m"
"$SIM" uninstall "$m" --no > /dev/null 2>&1
field "$m" 'len(d["devices"]), len(d["undiscoveredDevices"])' > "$WORK/d1"
check "uninstall: node removed, printer still plugged in" "$WORK/d1" "0 1"
"$SIM" reboot "$m"
field "$m" 'len(d["devices"]), len(d["spooler"]["drivers"])' > "$WORK/d2"
check "reboot: the device is back, without a driver (its package went)" "$WORK/d2" "1 0"

# One run at a time: a second one is refused while the first holds the machine.
m=$WORK/xp
flock "$m/.lock" sleep 1.5 &
holder=$!
sleep 0.5
code "a second run on a machine in use is refused" 1 "$SIM" show "$m"
grep -q "is in use by another run" "$WORK/err" && { passed=$((passed + 1)); echo "ok:   ... saying so"; } \
    || { failed=$((failed + 1)); echo "FAIL: ... saying so"; cat "$WORK/err"; }
wait "$holder"

# A run killed at any moment leaves a machine that loads: the one before it
# or the one after. A machine with many files makes the runs long enough to
# be killed in loading, running and saving; the kills are spread over the
# time a whole run takes.
mkdir -p "$WORK/many/drive/c/Data"
(cd "$WORK/many/drive/c/Data" && for i in $(seq 1 800); do echo "file $i" > "f$i.txt"; done)
echo '{"os": {"preset": "7", "is64Bit": true}}' > "$WORK/many/state.json"
m=$WORK/killed
"$SIM" new "$m" --from "$WORK/many/state.json" > /dev/null
start=$(date +%s%N)
"$SIM" show "$m" > /dev/null
whole=$(( ($(date +%s%N) - start) / 1000000 * 2 ))   # ms: a load and a save
intact=0
insave=0
for tenth in 1 2 3 4 5 6 7 8 9 10; do
    timeout --foreground -s KILL "$(awk "BEGIN {print $whole * $tenth / 10000}")" "$SIM" plug "$m" > /dev/null 2>&1 || true
    flock "$m/.lock" true   # the killed run is gone once its lock is free
    [ -e "$m/.save.tmp" ] || [ -e "$m/.save" ] && insave=$((insave + 1))
    n=$(field "$m" 'sum(1 for f in d["fileList"] if f["path"].startswith("C:\\Data\\")), len(d["devices"])' 2>&1)
    case "$n" in "800 0"|"800 1") intact=$((intact + 1)) ;; *) echo "    after a kill at $tenth/10: $n" ;; esac
done
"$SIM" plug "$m"
n=$(field "$m" 'len(d["devices"])')
if [ "$intact" = 10 ] && [ "$n" = 1 ]; then
    passed=$((passed + 1)); echo "ok:   runs killed at 10 moments leave a machine that loads, whole ($insave killed while saving)"
else
    failed=$((failed + 1)); echo "FAIL: runs killed at 10 moments leave a machine that loads, whole ($intact of 10, $n device)"
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
