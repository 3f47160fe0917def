#!/bin/bash
# Runs the UI probe under Wine on a private Xvfb display and checks what it
# prints; screenshots go to the output directory. Needs Wine with its 32-bit
# part, Xvfb, xdotool and ImageMagick (ZMP_WITH_WINE=1 tools/deps.sh, and
# wine32:i386 as tools/wine/harness.py installs it).
#   tools/win32-ui-probe/run-wine.sh <Windows build dir, e.g. build-win32> [output dir]
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
out=${2:-$build/ui-probe}
mkdir -p "$out"
"$root/tools/win32-ui-probe/build.sh" "$build" "$out" || exit 1

export WINEPREFIX=$out/prefix WINEDEBUG=-all DISPLAY=:${ZMP_PROBE_DISPLAY:-57}
wine=wine
Xvfb "$DISPLAY" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'WINEPREFIX=$WINEPREFIX /usr/lib/wine/wineserver -k 2>/dev/null; kill $xvfb 2>/dev/null' EXIT
sleep 1
# A virtual desktop, so that windows have Wine's own captions in the shots.
$wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
$wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1

failures=0
check() {  # check <output file> <expected line>
    if grep -qxF "$2" "$1"; then echo "PASS $2"; else echo "FAIL $2 (in $(basename "$1"))"; failures=$((failures + 1)); fi
}
wait_for() {  # wait_for <output file> <key>
    for _ in $(seq 1 60); do grep -q "^$2" "$1" && return 0; sleep 0.5; done
    return 1
}
value() { grep "^$2 " "$1" | head -1 | cut -d' ' -f2-; }
window() { xdotool search --name "$1" 2>/dev/null | head -1; }
wait_window() {  # wait_window <title pattern>: prints the window id
    for _ in $(seq 1 60); do
        local id
        id=$(window "$1")
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.5
    done
    return 1
}
press() {  # press <title pattern> <key>: the key to that window once it shows
    local id
    id=$(wait_window "$1") && xdotool key --window "$id" "$2" 2>/dev/null
}
start() {  # start <program> <mode> <output file>
    # Started the moment the previous probe ended, the next one's first
    # dialog was seen to get IDOK at once under Wine; a pause avoids it.
    sleep 2
    timeout 90 $wine "$out/Probe$1.exe" "$2" >"$3" 2>/dev/null &
}

# Strings: every id of both tables as the C++ tables have them.
for program in Installer Uninstaller; do
    $wine "$out/Probe$program.exe" strings >"$out/strings-$program.txt" 2>/dev/null
    check "$out/strings-$program.txt" "string-mismatches 0"
done

# Progress dialog: steps from the worker, Close gone, Escape swallowed, a
# second start handing over to the first, the message box, EndDialog from the worker.
p=$out/progress.txt
start Installer progress "$p"
wait_for "$p" dialog-ready
import -window root "$out/progress.png"
press '^Installation Progress$' Escape
$wine "$out/ProbeInstaller.exe" progress >"$out/second.txt" 2>/dev/null
check "$out/second.txt" "instance 2"
check "$out/second.txt" "found-running yes"
wait_window '^ProbeInstaller$' >/dev/null && sleep 0.5
import -window root "$out/message-box.png"
press '^ProbeInstaller$' Return
wait_for "$p" modal-result
for line in "instance 1" "icon-loaded yes" "bar-pos 36" "close-in-menu no" "escape-swallowed yes" \
            "box-answer 1" "modal-result 77"; do
    check "$p" "$line"
done

# Port type dialog run modally by the worker over the disabled progress dialog.
p=$out/port.txt
start Installer port "$p"
wait_for "$p" port-owner-enabled && sleep 1
import -window root "$out/port.png"
press '^Port Type$' Return
press '^ProbeInstaller$' Return
wait_for "$p" modal-result
for line in "port-owner-enabled no" "port-ip 192.168.0.50" "port-number 9100" "port-wlan-checked 1" \
            "port-result 1" "owner-enabled-after yes"; do
    check "$p" "$line"
done

# Check list: a click on a box toggles it, a click on the text does not,
# the space bar toggles the caret item; Uninstall ends the dialog.
p=$out/checklist.txt
start Uninstaller checklist "$p"
wait_for "$p" states
import -window root "$out/checklist.png"
xdotool mousemove $(value "$p" box-1) click 1; sleep 0.4
xdotool mousemove $(value "$p" text-0) click 1; sleep 0.4
press 'Uninstaller$' space; sleep 0.4
xdotool mousemove $(value "$p" uninstall-button) click 1
wait_for "$p" modal-result
for line in "states Printer A=1;Printer B=0;Printer C=1;" \
            "chkchange Printer A=1;Printer B=1;Printer C=1;" \
            "chkchange Printer A=0;Printer B=1;Printer C=1;" \
            "uninstall Printer A=0;Printer B=1;Printer C=1;" "modal-result 1001"; do
    check "$p" "$line"
done
[ "$(grep -c '^chkchange' "$p")" = 2 ] || { echo "FAIL two check changes only"; failures=$((failures + 1)); }

# Escape and Alt+F4 end a dialog whose handler leaves them alone with IDCANCEL.
for key in Escape alt+F4; do
    p=$out/cancel-$key.txt
    start Uninstaller checklist "$p"
    wait_for "$p" states
    press 'Uninstaller$' "$key"
    wait_for "$p" modal-result
    check "$p" "modal-result 2"
done

echo "failures: $failures (screenshots in $out)"
[ "$failures" = 0 ]
