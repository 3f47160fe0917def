#!/usr/bin/env bash
# The installer and the uninstaller under Wine, on a virtual screen, driven
# like a user by robot.exe; every dialog and message box is photographed and
# the machine is inspected afterwards (log, registry, files, spooler).
#
#   tools/wine/harness.sh [SCENARIO...]     all scenarios, or those named
#                                           (by number or full name)
# Environment:
#   ZMP_WINE_OUT            results, prefixes, tools (default build-wine/)
#   ZMP_WINE_SOURCE=head    the product as committed (default: the last commit,
#                           so that others' unfinished edits do not break the
#                           run); =worktree builds the working tree as it is
#   ZMP_WINE_PRODUCT_BUILD  the x86_64 build of the product (default
#                           build-wine64/, build-wine64-worktree/ for the tree)
#   ZMP_WINE_FRESH=1        wineboot every prefix instead of copying a
#                           pristine one made once (same result, 15 s slower)
#
# Each scenario gets a fresh prefix and prints PASS, FAIL or SKIP (with the
# reason), its wall time split into the time the program's own log shows it
# working (its mandated sleeps, mostly), the time it waited for the user,
# and the harness's overhead. A scenario's transcript, screenshots and logs
# stay in build-wine/results/<scenario>/. Last line: "N passed, N failed,
# N skipped"; the exit code is 1 when a scenario failed.
set -uo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=${ZMP_WINE_OUT:-$ROOT/build-wine}
SOURCE_MODE=${ZMP_WINE_SOURCE:-head}
if [ "$SOURCE_MODE" = worktree ]; then
    PRODUCT_SOURCE=$ROOT
    PRODUCT_BUILD=${ZMP_WINE_PRODUCT_BUILD:-$ROOT/build-wine64-worktree}
else
    PRODUCT_SOURCE=$OUT/source
    PRODUCT_BUILD=${ZMP_WINE_PRODUCT_BUILD:-$ROOT/build-wine64}
fi
DIST=$PRODUCT_BUILD/dist
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
RESULTS=$OUT/results
PREFIXES=$OUT/prefixes
TEMPLATE=$OUT/prefix-template
TOOLS=$OUT/tools

export WINEDEBUG=-all
# No prompts to download Mono or Gecko into a new prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=d"

INSTALLER=ZMPK40_Installer.exe
UNINSTALLER=ZMPK40_Uninstaller.exe
INSTALLER_BOX=ZMPK40_Installer          # message box captions: the programs' names
UNINSTALLER_BOX=ZMPK40_Uninstaller
PROGRESS="Installation Progress"
PORT_TYPE="Port Type"
UNINSTALLER_DIALOG="KORVANT ZMP-K40 Uninstaller"
UNINSTALL_KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KORVANT_ZMP-K40'
RESTART_QUESTION='Restarting your computer can take effect.\nPlease restart your computer.\n\n[Yes] I want to restart my computer now.\n[No] I want to restart my computer later.'
TURN_OFF='Please turn-off the printer and then turn-on again.'

now_ms() { date +%s%3N; }
secs() { printf '%d.%d' $(($1 / 1000)) $((($1 % 1000) / 100)); }

# ---------------------------------------------------------------- run state

PASSED=0 FAILED=0 SKIPPED=0
XVFB_PID=""
PRODUCT_STATE=""            # why the product cannot be run, empty when it can
declare -A OUTCOME          # scenario -> PASS/FAIL/SKIP, for later scenarios
declare -A SKIPPED_BECAUSE  # scenario -> why it was skipped

# Per scenario.
SCN="" SDIR="" PFX="" PKG="" TRANSCRIPT=""
FAILS=() STARTED=() SKIP_REASON="" ROBOT_OUT=""
USER_MS=0 USER_SINCE=0 TAIL_MS=0 LOG_NAME=""

note() { printf '%s\n' "$*" >>"$TRANSCRIPT"; }
fail() { FAILS+=("$1"); note "FAIL: $1"; }
skip() { SKIP_REASON=$1; note "SKIP: $1"; }

cleanup_all() {
    for pid in "${STARTED[@]}"; do kill "$pid" 2>/dev/null; done
    [ -n "$PFX" ] && [ -d "$PFX" ] && WINEPREFIX=$PFX "$WINESERVER" -k 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
}
trap cleanup_all EXIT
trap 'exit 130' INT TERM

# ---------------------------------------------------------------- machinery

start_screen() {
    local fifo=$OUT/.displayfd
    rm -f "$fifo"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >"$OUT/xvfb.log" 2>&1 &
    XVFB_PID=$!
    local number=""
    read -r -t 10 number <"$fifo"
    rm -f "$fifo"
    [ -n "$number" ] || return 1
    export DISPLAY=:$number
}

build_tools() {
    cmake -S "$ROOT/tools/wine" -B "$TOOLS" -G Ninja \
          -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake" >"$OUT/tools-build.log" 2>&1 &&
        cmake --build "$TOOLS" -j2 >>"$OUT/tools-build.log" 2>&1
}

# $2 becomes a copy of $1; files whose content did not change keep their
# times, so that the build redoes only what changed.
sync_tree() {
    local f
    (cd "$1" && find . -type f) | while read -r f; do
        cmp -s "$1/$f" "$2/$f" || { mkdir -p "$(dirname "$2/$f")" && cp "$1/$f" "$2/$f"; }
    done
    (cd "$2" && find . -type f) | while read -r f; do [ -e "$1/$f" ] || rm -f "$2/$f"; done
}

# The last commit's tree, exported (read-only for the repository).
export_head() {
    local fresh=$OUT/source.new
    rm -rf "$fresh" && mkdir -p "$fresh" "$PRODUCT_SOURCE" &&
        git -C "$ROOT" archive HEAD | tar -x -C "$fresh" &&
        sync_tree "$fresh" "$PRODUCT_SOURCE" && rm -rf "$fresh" &&
        git -C "$ROOT" log -1 --format='%h %s' >"$OUT/source-commit.txt"
}

# The product, built for x86_64 (Wine here runs no 32-bit programs).
build_product() {
    local log=$OUT/product-build.log
    if [ "$SOURCE_MODE" != worktree ] && ! export_head >"$log" 2>&1; then
        PRODUCT_STATE="could not export the last commit (see $log)"
        return
    fi
    # A build directory made for another source tree cannot be reused.
    if [ -f "$PRODUCT_BUILD/CMakeCache.txt" ] &&
        ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$PRODUCT_SOURCE" "$PRODUCT_BUILD/CMakeCache.txt"; then
        rm -rf "$PRODUCT_BUILD"
    fi
    if ! cmake -S "$PRODUCT_SOURCE" -B "$PRODUCT_BUILD" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$PRODUCT_SOURCE/cmake/mingw-x86_64.cmake" >>"$log" 2>&1; then
        PRODUCT_STATE="the x86_64 Windows build does not configure yet (see $log)"
    elif ! cmake --build "$PRODUCT_BUILD" -j2 >>"$log" 2>&1; then
        PRODUCT_STATE="the x86_64 Windows build fails (see $log)"
    elif [ ! -d "$DIST" ]; then
        PRODUCT_STATE="the build lays out no distributable folder $DIST yet"
    fi
}

# A pristine prefix, made once per Wine version; scenarios get copies.
make_template() {
    local stamp
    stamp="$("$WINE" --version) Managed=N"
    [ -f "$TEMPLATE/.zmp-stamp" ] && [ "$(cat "$TEMPLATE/.zmp-stamp")" = "$stamp" ] && return 0
    rm -rf "$TEMPLATE"
    new_prefix "$TEMPLATE" || return 1
    echo "$stamp" >"$TEMPLATE/.zmp-stamp"
}

# Wine draws the windows' frames and captions itself (there is no window
# manager on the virtual screen), so the screenshots show them.
new_prefix() {
    WINEPREFIX=$1 "$WINE" wineboot -i >/dev/null 2>&1 &&
        WINEPREFIX=$1 "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 &&
        WINEPREFIX=$1 "$WINESERVER" -w
}

fresh_prefix() {
    rm -rf "$PFX"
    if [ "${ZMP_WINE_FRESH:-0}" = 1 ]; then
        new_prefix "$PFX"
    else
        cp -a "$TEMPLATE" "$PFX"
    fi
}

# The package as a user's download folder; the programs run from there.
lay_out_package() {
    PKG=$PFX/drive_c/users/Public/Downloads/ZMPK40
    mkdir -p "$PKG" && cp -a "$DIST/." "$PKG/"
}

# A Windows program of the prefix, its output (CR LF) to a file as LF. Never
# through a pipe: Wine's helper processes started meanwhile (services,
# desktop) inherit the descriptors and would hold a pipe open.
wine_to() {
    local file=$1
    shift
    WINEPREFIX=$PFX timeout 120 "$WINE" "$@" </dev/null >"$file.raw" 2>&1
    local rc=$?
    tr -d '\r' <"$file.raw" >"$file"
    rm -f "$file.raw"
    return "$rc"
}

# Starts the prefix's own processes (services, the desktop window) with no
# ties to the harness's descriptors, before any scenario step runs.
warm_up() {
    WINEPREFIX=$PFX "$WINE" wineboot </dev/null >/dev/null 2>&1
    WINEPREFIX=$PFX timeout 60 "$WINE" "$TOOLS/robot.exe" windows </dev/null >/dev/null 2>&1
}

# One robot command; its lines go to the transcript and stay in $ROBOT_OUT.
robot() {
    wine_to "$SDIR/.robot" "$TOOLS/robot.exe" "$@"
    local rc=$?
    ROBOT_OUT=$(cat "$SDIR/.robot")
    rm -f "$SDIR/.robot"
    printf '$ robot %s\n%s\n' "$*" "$ROBOT_OUT" >>"$TRANSCRIPT"
    return "$rc"
}
# A robot command that must succeed.
act() { robot "$@" || { fail "robot $* (exit $?)"; return 1; }; }
# The last robot output holds this text.
shows() { grep -qF -- "$1" <<<"$ROBOT_OUT" || fail "expected $1 in: robot ${2:-output}"; }
lacks() { ! grep -qF -- "$1" <<<"$ROBOT_OUT" || fail "did not expect $1"; }

shot() { import -display "$DISPLAY" -window root "$SDIR/$1.png" 2>>"$TRANSCRIPT" || fail "screenshot $1"; }

# The program waits for the user between these two.
user_begin() { USER_SINCE=$(now_ms); }
user_end() { USER_MS=$((USER_MS + $(now_ms) - USER_SINCE)); }

# Starts a program from the package folder, as a double-click there would;
# the variable named by $1 receives its process id.
# (Locals start with an underscore so that they never hide the caller's.)
start_program() {
    local _var=$1 _exe=$2
    (cd "$PKG" && exec env WINEPREFIX="$PFX" "$WINE" "./$_exe") </dev/null >>"$SDIR/wine-$_exe.log" 2>&1 &
    local _pid=$!
    STARTED+=("$_pid")
    printf -v "$_var" '%s' "$_pid"
    note "started $_exe (pid $_pid)"
}

# Waits at most $2 seconds for the process $1 to end; its exit code goes to
# the variable named by $3.
wait_program() {
    local _pid=$1 _deadline=$(($(now_ms) + $2 * 1000)) _var=$3
    while kill -0 "$_pid" 2>/dev/null; do
        if [ "$(now_ms)" -gt "$_deadline" ]; then
            fail "process $_pid still running after $2 s"
            printf -v "$_var" '%s' "running"
            return 1
        fi
        sleep 0.1
    done
    wait "$_pid"
    local _code=$?
    printf -v "$_var" '%s' "$_code"
    note "process $_pid ended with exit code $_code"
}

# A message box: wait for it, photograph it, check its text exactly, answer.
box() {
    local caption=$1 text=$2 answer=$3 name=$4 timeout=${5:-60000}
    act wait-window "$caption" "$timeout" || return 1
    user_begin
    shot "$name"
    robot answer "$caption" "$answer"
    local rc=$?
    user_end
    grep -qF -- "65535 Static \"$text\"" <<<"$ROBOT_OUT" || fail "box \"$caption\": expected text \"$text\""
    [ "$rc" = 0 ] || fail "box \"$caption\" not answered $answer (robot exit $rc)"
}

# Answers every message box titled $1 that the process $2 shows until it
# ends (at most $4 seconds): photographs each, records its text in BOXES,
# answers a Yes/No box with $3 and any other with OK.
BOXES=()
answer_boxes() {
    local caption=$1 pid=$2 yesno=$3 deadline=$(($(now_ms) + $4 * 1000)) n=0 answer text
    BOXES=()
    while kill -0 "$pid" 2>/dev/null; do
        if [ "$(now_ms)" -gt "$deadline" ]; then
            fail "process $pid still running after $4 s"
            return 1
        fi
        # (A robot that Wine ended, as a restart does, reports nothing.)
        robot wait-window "$caption" 2000 && grep -qF ": found" <<<"$ROBOT_OUT" || continue
        user_begin
        n=$((n + 1))
        shot "box-$n"
        robot texts "$caption"
        answer=OK
        grep -qF '7 Button "&No"' <<<"$ROBOT_OUT" && answer=$yesno
        robot answer "$caption" "$answer" || fail "box $n not answered $answer"
        user_end
        text=$(sed -n 's/^  65535 Static "\(.*\)"$/\1/p' <<<"$ROBOT_OUT" | head -1)
        BOXES+=("$text")
        note "box $n: \"$text\" answered $answer"
    done
}

# The boxes seen, in order, against the expected texts; an expected text
# ending in "*" is matched as a prefix (the system's own error text follows).
expect_boxes() {
    local i want got
    [ ${#BOXES[@]} = $# ] || fail "expected $# message boxes, saw ${#BOXES[@]}"
    i=0
    for want in "$@"; do
        got=${BOXES[$i]:-}
        if [ "${want%\*}" != "$want" ]; then
            [ "${got#"${want%\*}"}" != "$got" ] || fail "box $((i + 1)): expected \"$want\", saw \"$got\""
        else
            [ "$got" = "$want" ] || fail "box $((i + 1)): expected \"$want\", saw \"$got\""
        fi
        i=$((i + 1))
    done
}

log_path() { echo "$PFX/drive_c/Temp/$1"; }

# Copies the program's log into the results (LF line ends) and checks lines.
keep_log() {
    local src
    src=$(log_path "$1")
    if [ -f "$src" ]; then tr -d '\r' <"$src" >"$SDIR/$1"; else fail "no log C:\\Temp\\$1"; return 1; fi
}
log_has() { grep -qF -- "$2" "$SDIR/$1" 2>/dev/null || fail "log $1 lacks \"$2\""; }
log_lacks() { ! grep -qF -- "$2" "$SDIR/$1" 2>/dev/null || fail "log $1 holds \"$2\""; }
# These texts appear in the log in this order (each on a later line).
log_in_order() {
    local log=$1 from=0 line found
    shift
    for line in "$@"; do
        found=$(awk -v from="$from" -v want="$line" 'NR > from && index($0, want) { print NR; exit }' "$SDIR/$log")
        if [ -z "$found" ]; then
            fail "log $log: \"$line\" missing after line $from"
            return
        fi
        from=$found
    done
}

# Line N of the log without its time prefix.
log_line() { sed -n "$2p" "$SDIR/$1" | sed -E 's/^[0-9]{2}:[0-9]{2}:[0-9]{2}: ?//'; }
log_line_is() {
    local got
    got=$(log_line "$1" "$2")
    [ "$got" = "$3" ] || fail "log $1 line $2: expected \"$3\", found \"$got\""
}

# Seconds between the log's first and last time stamps.
log_span_ms() {
    [ -n "$LOG_NAME" ] && [ -f "$SDIR/$LOG_NAME" ] || { echo 0; return; }
    awk -F: '/^[0-9][0-9]:[0-9][0-9]:[0-9][0-9]: /{ t = $1 * 3600 + $2 * 60 + $3; if (!n++) f = t; l = t }
             END { d = l - f; if (d < 0) d += 86400; print (n ? d : 0) * 1000 }' "$SDIR/$LOG_NAME"
}

spooler() { wine_to "$SDIR/$1" "$TOOLS/spoolq.exe"; }
reg_query() { wine_to "$SDIR/.reg" reg query "$1"; cat "$SDIR/.reg"; rm -f "$SDIR/.reg"; }

set_config() { printf '%s\r\n' "[ZMPK40]" "$@" >"$PKG/ZMPK40_Config.KVT"; }
windows_version() { wine_to "$SDIR/windows-version.txt" reg add 'HKCU\Software\Wine' /v Version /d "$1" /f; }

has_text() { [ -f "$1" ] && grep -qaF -- "$2" "$1"; }

# What a scenario needs of the product, or why it is skipped.
needs_installer() {
    [ -z "$PRODUCT_STATE" ] || { skip "$PRODUCT_STATE"; return 1; }
    [ -f "$DIST/$INSTALLER" ] || { skip "$INSTALLER is not built yet"; return 1; }
    # The workflow's step names are in the program as its log texts.
    has_text "$DIST/$INSTALLER" "AddToWin2KWithWHQL" ||
        { skip "the installer's workflow has not landed yet (no AddToWin2KWithWHQL in $INSTALLER)"; return 1; }
}
needs_installer_xp() {
    needs_installer || return 1
    has_text "$DIST/$INSTALLER" "AddLanguageMonitor" ||
        { skip "the spooler registration steps have not landed yet (no AddLanguageMonitor in $INSTALLER)"; return 1; }
}
needs_uninstaller() {
    [ -z "$PRODUCT_STATE" ] || { skip "$PRODUCT_STATE"; return 1; }
    [ -f "$DIST/$UNINSTALLER" ] || { skip "$UNINSTALLER is not built yet"; return 1; }
    has_text "$DIST/$UNINSTALLER" "AddPrinterObjectsToList" ||
        { skip "the uninstall workflow has not landed yet (no AddPrinterObjectsToList in $UNINSTALLER)"; return 1; }
}

# ---------------------------------------------------------------- checks shared by scenarios

# The program $1 started a second time from the folder $2 while the first one
# shows the window $3, with Notepad in front: the second ends at once (exit
# 0) without touching the first one's log $4, and $3 comes to the front.
second_start() {
    local exe=$1 dir=$2 front=$3 log notepad second rc
    log=$(log_path "$4")
    (cd "$PFX/drive_c" && exec env WINEPREFIX="$PFX" "$WINE" notepad) </dev/null >>"$SDIR/wine-notepad.log" 2>&1 &
    notepad=$!
    STARTED+=("$notepad")
    act wait-window "Untitled - Notepad" 20000 -- foreground
    shows 'foreground "Untitled - Notepad"'
    cp "$log" "$SDIR/log-before-second.txt"
    (cd "$dir" && exec env WINEPREFIX="$PFX" "$WINE" "./$exe") </dev/null >>"$SDIR/wine-second-$exe.log" 2>&1 &
    second=$!
    STARTED+=("$second")
    note "started a second $exe (pid $second)"
    wait_program "$second" 15 rc && { [ "$rc" = 0 ] || fail "second $exe: exit code $rc, expected 0"; }
    act foreground
    shows "foreground \"$front\""
    shot second-start
    cmp -s "$log" "$SDIR/log-before-second.txt" || fail "the second $exe touched the first one's log"
    kill "$notepad" 2>/dev/null
    wait "$notepad" 2>/dev/null
}

# The first lines every run logs: WOW64 (a 64-bit program under Wine is not
# under WOW64), then CheckOS.
check_log_start() {
    local log=$1 platform=$2 major=$3 minor=$4 build=$5
    log_line_is "$log" 1 "The process is not running under WOW64."
    log_line_is "$log" 2 ""
    log_line_is "$log" 3 ""
    log_line_is "$log" 4 "CheckOS BEGIN"
    log_line_is "$log" 5 "osvi.dwPlatformID   : $platform"
    log_line_is "$log" 6 "osvi.dwMajorVersion : $major"
    log_line_is "$log" 7 "osvi.dwMinorVersion : $minor"
    log_line_is "$log" 8 "osvi.dwBuildNumber  : $build"
    log_line_is "$log" 9 "CheckOS END"
}

# The progress dialog as the installer shows it: printer name and version.
check_progress_dialog() {
    act texts "$PROGRESS" || return 1
    shows '1002 Static "KORVANT ZMP-K40"' "texts $PROGRESS"
    shows '1001 Static "Driver Version: V2.0.6"' "texts $PROGRESS"
    shows "1000 msctls_progress32" "texts $PROGRESS"
}

# The port dialog with its template's controls and COM1 preselected.
check_port_dialog() {
    act texts "$PORT_TYPE" || return 1
    local c
    for c in '1006 Button "COM1" checked' '1008 Button "COM2" unchecked' '1009 Button "COM3" unchecked' \
             '1011 Button "COM4" unchecked' '1001 Button "USB" unchecked' '1007 Button "Wireless LAN" unchecked' \
             '1 Button "Next"' '-1 Button "Serial Port"' '-1 Button "Wireless LAN"' '-1 Button "USB Port"' \
             '-1 Static "IP : "' '-1 Static "Port : "' '1003 SysIPAddress32 "0.0.0.0" disabled' \
             '1005 Edit "9100" disabled'; do
        shows "$c" "texts $PORT_TYPE"
    done
}

# What the installer leaves for the uninstaller: the entry and the folder.
check_uninstall_entry() {
    local entry
    entry=$(reg_query "$UNINSTALL_KEY")
    printf '%s\n' "$entry" >"$SDIR/uninstall-entry.txt"
    grep -qE 'DisplayName +REG_SZ +KORVANT ZMP-K40 Windows Driver V2\.0\.6$' <<<"$entry" ||
        fail "Uninstall entry: DisplayName"
    grep -qiE 'UninstallString +REG_SZ +C:\\windows\\ZMP-K40\\ZMPK40_Uninstaller\.exe$' <<<"$entry" ||
        fail "Uninstall entry: UninstallString"
    # "InfFile" is the name Windows gave the INF it took in, as logged.
    local inf logged
    inf=$(sed -nE 's/^ +InfFile +REG_SZ +(.*)$/\1/p' <<<"$entry")
    logged=$(sed -nE 's/^[0-9:]+ INF FILE NAME : (.*)$/\1/p' "$SDIR/$LOG_NAME" | tail -1)
    [ -n "$inf" ] && [ "$inf" = "$logged" ] || fail "Uninstall entry: InfFile \"$inf\", the log says \"$logged\""
    [ -n "$(unix_path "$inf")" ] || fail "the INF $inf is not in the machine"
}

# The file of the prefix that a C:\ path names (Windows paths ignore case).
unix_path() {
    local rest=${1#[Cc]:\\} dir=$PFX/drive_c part found
    IFS='\' read -ra parts <<<"$rest"
    for part in "${parts[@]}"; do
        found=$(find "$dir" -maxdepth 1 -mindepth 1 -iname "$part" -print -quit 2>/dev/null)
        [ -n "$found" ] || return 0
        dir=$found
    done
    echo "$dir"
}

check_utilities_folder() {
    local dir=$PFX/drive_c/windows/ZMP-K40 f
    ls -la "$dir" >"$SDIR/utilities-folder.txt" 2>&1
    for f in "$UNINSTALLER" ZMPK40_Config.KVT; do
        cmp -s "$dir/$f" "$PKG/$f" || fail "utilities folder lacks $f (or it differs from the package's)"
    done
}

# ---------------------------------------------------------------- scenarios

# 0: the robot and the harness themselves, on the product's own dialog
# templates shown by a fixture program, before the product exists.
scenario_0_robot() {
    local pid rc out=$SDIR/fixture.txt
    (cd "$PFX/drive_c" && exec env WINEPREFIX="$PFX" "$WINE" "$TOOLS/fixture.exe") </dev/null >"$out" 2>>"$TRANSCRIPT" &
    pid=$!
    STARTED+=("$pid")
    local p="Fixture Port Type" l="Fixture Check List"

    act wait-window "$p" 20000 || return
    user_begin
    shot port-dialog
    act texts "$p" -- foreground
    shows '1006 Button "COM1" checked'
    shows '1003 SysIPAddress32 "0.0.0.0" disabled'
    shows "foreground \"$p\""
    robot type "$p" 1005 9101
    [ $? = 3 ] || fail "typing into the disabled port field was not refused"
    act check "$p" 1007 -- type "$p" 1005 9101 -- set-ip "$p" 1003 192.168.0.50
    shows 'type "Fixture Port Type" 1005: "9101"'
    shows "fields 192 168 0 50"
    shot port-dialog-filled
    act click "$p" Next
    user_end

    act wait-window "$l" 10000 -- list-checks "$l" 1006 || return
    shows '0 "Printer A" checked'
    shows '1 "Printer B" checked'
    shows '2 "Printer C" checked'
    act toggle-check "$l" 1006 0 -- toggle-check "$l" 1006 1 -- toggle-check "$l" 1006 2
    shows '"Printer C": 1 -> 0'
    robot click "$l" Uninstall
    [ $? = 3 ] || fail "clicking the disabled Uninstall button was not refused"
    act toggle-check "$l" 1006 1
    shot check-list
    act click "$l" Uninstall

    box Fixture 'First line.\nSecond line.\n\n[Yes] or [No]?' No message-box 10000

    act wait-window "Fixture Escape" 10000 -- key "Fixture Escape" escape
    act wait-window "Fixture Alt+F4" 10000 -- key "Fixture Alt+F4" alt+f4
    local begin
    begin=$(now_ms)
    robot --wait 300 texts "No Such Window"
    [ $? = 1 ] || fail "waiting for a missing window did not time out"
    [ $(($(now_ms) - begin)) -lt 5000 ] || fail "the 300 ms wait took $(($(now_ms) - begin)) ms"

    wait_program "$pid" 20 rc || return
    [ "$rc" = 0 ] || fail "fixture exit code $rc"
    local want
    for want in "port-dialog result=1 index=5 port=9101 ip=192.168.0.50" \
                "check-list result=1001 checks=0,1,0" "message-box answer=7"; do
        grep -qxF -- "$want" <(tr -d '\r' <"$out") || fail "fixture did not report: $want"
    done
    [ "$(grep -cxF "port-dialog result=2" <(tr -d '\r' <"$out"))" = 2 ] || fail "Escape and Alt+F4 did not both cancel"
}

# 1: Windows 7, the user picks USB.
scenario_1_install_win7_usb() {
    LOG_NAME=ZMP-K40_Installer.txt TAIL_MS=2000
    local pid rc
    start_program pid "$INSTALLER"
    act wait-window "$PORT_TYPE" 30000 || return
    user_begin
    shot port-dialog
    check_port_dialog
    check_progress_dialog
    # Wireless LAN opens the address fields; a port of 0 is refused with the
    # range message and the dialog stays. The port is checked whatever the
    # choice, so it is put right before USB closes the fields again.
    act check "$PORT_TYPE" 1007 -- type "$PORT_TYPE" 1005 0 -- texts "$PORT_TYPE"
    shows '1003 SysIPAddress32 "0.0.0.0"'$'\n'
    shows '1005 Edit "0"'$'\n'
    act click "$PORT_TYPE" Next
    box "$INSTALLER_BOX" "Please enter an integer between 1 and 10000." OK range-box 5000
    act texts "$PORT_TYPE"
    shows '1007 Button "Wireless LAN" checked'
    act type "$PORT_TYPE" 1005 9100 -- check "$PORT_TYPE" 1001 -- texts "$PORT_TYPE"
    shows '1003 SysIPAddress32 "0.0.0.0" disabled'
    shows '1005 Edit "9100" disabled'
    act click "$PORT_TYPE" Next
    user_end
    act wait-gone "$PORT_TYPE" 5000
    act wait-text "$PROGRESS" 1003 "..." 10000 && shot progress-dialog
    check_progress_dialog
    # The completion report comes before the message.
    act wait-window "$INSTALLER_BOX" 150000 -- texts "$PROGRESS" || return
    shows '1003 Static "The driver has been successfully installed."'
    shows 'msctls_progress32 "" pos=100'
    answer_boxes "$INSTALLER_BOX" "$pid" No 180 || return
    expect_boxes "$TURN_OFF"
    wait_program "$pid" 5 rc || return
    [ "$rc" = 0 ] || fail "installer exit code $rc, expected 0"

    keep_log "$LOG_NAME" || return
    check_log_start "$LOG_NAME" 2 6 1 7601
    log_in_order "$LOG_NAME" "AddToWin2KWithWHQL BEGIN" "PrinterDrvExist BEGIN" \
        "KORVANT ZMP-K40 PRINTER DRIVER DOES NOT EXIST." "DeleteVidPid BEGIN" "DeletePrnDrvPnPDirectory BEGIN" \
        "Delete_USB_Info BEGIN" \
        'COMMAND LINE : cmd /c RUNDLL32 printui.dll,PrintUIEntry /ia /m "KORVANT ZMP-K40" /f .\ZMPK40.inf' \
        "INFFileExist BEGIN" "CopyINFFile BEGIN" "RegisterUninstallInfo BEGIN" "CopyFilesOfUtilities BEGIN" \
        "AddToWin2KWithWHQL END"
    check_uninstall_entry
    check_utilities_folder
    spooler spooler-after.txt
}

# 2: a second installer while the first asks for the port.
scenario_2_second_instance() {
    LOG_NAME=ZMP-K40_Installer.txt
    local first rc
    start_program first "$INSTALLER"
    act wait-window "$PORT_TYPE" 30000 || return
    user_begin
    second_start "$INSTALLER" "$PKG" "$PORT_TYPE" "$LOG_NAME"
    act windows
    [ "$(grep -c "window \"$PROGRESS\"" <<<"$ROBOT_OUT")" = 1 ] || fail "not exactly one progress dialog"
    [ "$(grep -c "window \"$PORT_TYPE\"" <<<"$ROBOT_OUT")" = 1 ] || fail "not exactly one port dialog"

    # The first one is cancelled at its port dialog.
    act key "$PORT_TYPE" escape
    user_end
    box "$INSTALLER_BOX" "The driver installation canceled." OK cancelled-box 10000
    wait_program "$first" 15 rc || return
    [ "$rc" = 0 ] || fail "first installer exit code $rc, expected 0"
    keep_log "$LOG_NAME" && log_has "$LOG_NAME" "The driver installation canceled."
}

# 3: PORTDLG=FALSE and PORT=COM1 in the configuration: no port dialog.
scenario_3_configured_com1() {
    LOG_NAME=ZMP-K40_Installer.txt TAIL_MS=2000
    set_config "PORTDLG=FALSE" "PORT=COM1"
    local pid rc
    start_program pid "$INSTALLER"
    act wait-window "$PROGRESS" 30000 || return
    act wait-text "$PROGRESS" 1003 "..." 15000 && shot progress-dialog
    act windows
    lacks "window \"$PORT_TYPE\""
    # A second start while the first shows its question brings the question
    # (the progress dialog's last active pop-up) to the front.
    act wait-window "$INSTALLER_BOX" 150000 || return
    user_begin
    second_start "$INSTALLER" "$PKG" "$INSTALLER_BOX" "$LOG_NAME"
    user_end
    answer_boxes "$INSTALLER_BOX" "$pid" No 180 || return
    expect_boxes "$RESTART_QUESTION"
    wait_program "$pid" 5 rc || return
    [ "$rc" = 0 ] || fail "installer exit code $rc, expected 0"
    keep_log "$LOG_NAME" || return
    log_has "$LOG_NAME" 'COMMAND LINE : cmd /c RUNDLL32 printui.dll,PrintUIEntry /if /b "KORVANT ZMP-K40" /f .\ZMPK40.inf /r "COM1:" /m "KORVANT ZMP-K40"'
    log_has "$LOG_NAME" "AddToWin2KWithWHQL END"
    check_uninstall_entry
    check_utilities_folder
}

# 9: Windows 7, COM3 from the configuration, and Yes to the restart question:
# the installer asks Windows to restart and finishes its closing steps; Wine
# "restarts" by ending every process of the prefix and starting its
# services anew.
scenario_9_restart_yes() {
    LOG_NAME=ZMP-K40_Installer.txt TAIL_MS=2000
    set_config "PORTDLG=FALSE" "PORT=COM3"
    local pid rc
    start_program pid "$INSTALLER"
    act wait-window "$INSTALLER_BOX" 150000 || return
    prefix_processes >"$SDIR/processes-before.txt"
    answer_boxes "$INSTALLER_BOX" "$pid" Yes 180 || return
    expect_boxes "$RESTART_QUESTION"
    wait_program "$pid" 5 rc || return
    [ "$rc" = 0 ] || fail "installer exit code $rc, expected 0"
    sleep 2
    prefix_processes >"$SDIR/processes-after.txt"
    local before after
    before=$(awk '/services\.exe/ { print $1 }' "$SDIR/processes-before.txt")
    after=$(awk '/services\.exe/ { print $1 }' "$SDIR/processes-after.txt")
    [ -n "$before" ] && [ "$before" != "$after" ] || fail "Wine did not restart (services.exe $before, then ${after:-none})"
    keep_log "$LOG_NAME" || return
    log_has "$LOG_NAME" 'COMMAND LINE : cmd /c RUNDLL32 printui.dll,PrintUIEntry /if /b "KORVANT ZMP-K40" /f .\ZMPK40.inf /r "COM3:" /m "KORVANT ZMP-K40"'
    log_has "$LOG_NAME" "AddToWin2KWithWHQL END"
}

# The Windows processes of this prefix: process id and command line.
prefix_processes() {
    local p
    for p in /proc/[0-9]*; do
        cat "$p/environ" 2>/dev/null | tr '\0' '\n' | grep -qxF "WINEPREFIX=$PFX" || continue
        printf '%s %s\n' "${p#/proc/}" "$(cat "$p/cmdline" 2>/dev/null | tr '\0' ' ')"
    done
}

# 10: Windows 7, wireless LAN typed into the port dialog. Wine has no
# Standard TCP/IP port monitor, so the port cannot be made (logged only) and
# the printer set-up still names it.
scenario_10_install_win7_wlan() {
    LOG_NAME=ZMP-K40_Installer.txt TAIL_MS=2000
    local pid rc
    start_program pid "$INSTALLER"
    act wait-window "$PORT_TYPE" 30000 || return
    user_begin
    act check "$PORT_TYPE" 1007 -- set-ip "$PORT_TYPE" 1003 192.168.0.50 -- type "$PORT_TYPE" 1005 9101 \
        -- texts "$PORT_TYPE"
    shows '1003 SysIPAddress32 "192.168.0.50"'$'\n'
    shows '1005 Edit "9101"'$'\n'
    shot port-dialog-wlan
    act click "$PORT_TYPE" Next
    user_end
    answer_boxes "$INSTALLER_BOX" "$pid" No 180 || return
    expect_boxes "$RESTART_QUESTION"
    wait_program "$pid" 5 rc || return
    [ "$rc" = 0 ] || fail "installer exit code $rc, expected 0"
    keep_log "$LOG_NAME" || return
    log_in_order "$LOG_NAME" "IP ADDRESS : 192.168.0.50" "PORT NUMBER : 9101" "AddEthernetPort BEGIN" \
        "OpenPrinter failed. (1796)" "AddEthernetPort END" "AddToWin2KWithWHQL BEGIN" \
        'COMMAND LINE : cmd /c RUNDLL32 printui.dll,PrintUIEntry /if /b "KORVANT ZMP-K40" /f .\ZMPK40.inf /r "IP_192.168.0.50" /m "KORVANT ZMP-K40"' \
        "AddToWin2KWithWHQL END"
}

# 4: Windows XP x64 (Server 2003) mode, COM2: the installer's own spooler
# registration. The x86_64 build is not under WOW64 here, so it registers for
# "Windows NT x86" from Driver32\, which a 64-bit Wine cannot use: the monitor
# DLL does not load (126), the processor directory w32x86 does not exist
# (copy error 3) and the printer is refused (87: there is no "Windows x64"
# driver of that name). The installer shows both errors and, since the
# printer could not be added, ends with exit code -1 (255 here).
scenario_4_install_xp64_com2() {
    LOG_NAME=ZMP-K40_Installer.txt
    windows_version winxp64 || { fail "could not set the Windows version"; return; }
    local pid rc
    start_program pid "$INSTALLER"
    act wait-window "$PORT_TYPE" 30000 || return
    user_begin
    shot port-dialog
    act check "$PORT_TYPE" 1008 -- click "$PORT_TYPE" Next
    user_end
    answer_boxes "$INSTALLER_BOX" "$pid" No 180 || return
    expect_boxes 'AddMonitor, ERR CODE: 126\n\nModule not found.\r\n' \
                 'AddPrinter, Error Code: 87\n\nInvalid parameter.\r\n'
    wait_program "$pid" 5 rc || return
    [ "$rc" = 255 ] || fail "installer exit code $rc, expected 255 (-1: the printer could not be added)"
    keep_log "$LOG_NAME" || return
    check_log_start "$LOG_NAME" 2 5 2 3790
    local line
    for line in "AddToWin2K BEGIN" "PRINTER-DRIVER NAME TO ADD : KORVANT ZMP-K40 " "ENV : Windows NT x86, DRV DIR : Driver32\\ " \
                "CopyFilesNeededToAddPrnDrv END" "FILE SRC : Driver32\\ZPMON40.dll" "AddLanguageMonitor END" \
                "COPYFILE ERROR, DES : C:\\windows\\system32\\spool\\prtprocs\\w32x86\\ZPPRO40.dll " \
                "AddPrinterProcessor END" "AddPrinterDriverToSystem END" "AddPrinterToSystem END"; do
        log_has "$LOG_NAME" "$line"
    done
    # Nothing after the refused printer runs.
    log_lacks "$LOG_NAME" "CopyINFFile BEGIN"
    log_lacks "$LOG_NAME" "RegisterUninstallInfo BEGIN"
    log_lacks "$LOG_NAME" "AddToWin2K END"
    reg_query "$UNINSTALL_KEY" >"$SDIR/uninstall-entry.txt"
    grep -q DisplayName "$SDIR/uninstall-entry.txt" && fail "an Uninstall entry was written"

    spooler spooler-after.txt
    local f=$SDIR/spooler-after.txt
    grep -qF 'driver "KORVANT ZMP-K40" env="Windows NT x86" version=3' "$f" || fail "no x86 driver KORVANT ZMP-K40"
    grep -qF 'processor "KVT PRINT PROCESSOR ZMP-K40" env="Windows NT x86"' "$f" || fail "no print processor"
    grep -qF 'monitor "KVT Language Monitor ZMP-K40"' "$f" && fail "Wine loaded the 32-bit monitor after all"
    grep -qF 'printer "KORVANT ZMP-K40"' "$f" && fail "Wine added the printer after all"
}

# Plug and Play when the USB printer is switched on after scenario 1: the
# 64-bit driver from the package (the x64 spooler's own environment) and,
# unless $1 is "driver-only", a printer object on it. Wine's printui did
# nothing during the installation.
plug_in_printer() {
    local d='C:\users\Public\Downloads\ZMPK40\Driver64'
    wine_to "$SDIR/plug-and-play.txt" "$TOOLS/spoolq.exe" add-driver "KORVANT ZMP-K40" "Windows x64" \
        "$d\UNIDRV.DLL" "$d\ZMP40.GPD" "$d\UNIDRVUI.DLL" || { fail "adding the driver as Plug and Play would"; return 1; }
    [ "${1:-}" = driver-only ] && return 0
    wine_to "$SDIR/.pnp" "$TOOLS/spoolq.exe" add-printer "KORVANT ZMP-K40" "KORVANT ZMP-K40" "USB001"
    local rc=$?
    cat "$SDIR/.pnp" >>"$SDIR/plug-and-play.txt"
    rm -f "$SDIR/.pnp"
    [ "$rc" = 0 ] || { fail "adding the printer as Plug and Play would"; return 1; }
}

# What the removal leaves of the driver, for the record and for the checks.
record_leftovers() {
    spooler spooler-after.txt
    reg_query "$UNINSTALL_KEY" >"$SDIR/uninstall-entry.txt"
    (cd "$PFX/drive_c/windows" && find . \( -iname '*ZMP*' -o -iname 'ZP*40*' -o -ipath '*korvant*' \) -print) \
        >"$SDIR/left-behind.txt" 2>&1
}

# 5: the uninstaller on the machine of scenario 1 after the printer was
# switched on: its list, Uninstall, the restart question answered No.
scenario_5_uninstall_after_1() {
    LOG_NAME=ZMP-K40_UnInstaller.txt
    local inf
    inf=$(sed -nE 's/^ +InfFile +REG_SZ +(.*)$/\1/p' "$RESULTS/1-install-win7-usb/uninstall-entry.txt")
    plug_in_printer || return
    spooler spooler-before.txt
    local pid rc
    # Started where the "Uninstall" entry points.
    (cd "$PFX/drive_c/windows/ZMP-K40" && exec env WINEPREFIX="$PFX" "$WINE" "./$UNINSTALLER") \
        </dev/null >>"$SDIR/wine-$UNINSTALLER.log" 2>&1 &
    pid=$!
    STARTED+=("$pid")
    act wait-window "$UNINSTALLER_DIALOG" 30000 || return
    act wait-text "$UNINSTALLER_DIALOG" 1001 Uninstall 5000 -- list-checks "$UNINSTALLER_DIALOG" 1006 || return
    user_begin
    shows '1 items'
    shows '0 "KORVANT ZMP-K40" checked'
    shot uninstaller-list
    second_start "$UNINSTALLER" "$PFX/drive_c/windows/ZMP-K40" "$UNINSTALLER_DIALOG" "$LOG_NAME"
    # Unchecking the only printer leaves nothing to do; checking it again does.
    act toggle-check "$UNINSTALLER_DIALOG" 1006 0 -- texts "$UNINSTALLER_DIALOG"
    shows '1001 Button "Uninstall" disabled'
    act toggle-check "$UNINSTALLER_DIALOG" 1006 0 -- texts "$UNINSTALLER_DIALOG"
    lacks '1001 Button "Uninstall" disabled'
    act click "$UNINSTALLER_DIALOG" Uninstall
    user_end
    act wait-text "$UNINSTALLER_DIALOG" 1000 "..." 10000 && shot uninstalling
    answer_boxes "$UNINSTALLER_BOX" "$pid" No 300 || return
    expect_boxes "$RESTART_QUESTION"
    wait_program "$pid" 5 rc || return
    [ "$rc" = 0 ] || fail "uninstaller exit code $rc, expected 0"
    keep_log "$LOG_NAME" || return
    check_log_start "$LOG_NAME" 2 6 1 7601
    log_has "$LOG_NAME" "The number of printer-objects : 1"
    log_has "$LOG_NAME" "OBJECT NAME : KORVANT ZMP-K40"
    check_removal
    [ -n "$inf" ] && [ -n "$(unix_path "$inf")" ] && note "left: the INF $inf"
}

# After a removal on the Windows 7 machine: what the uninstaller removes, what
# it keeps by design, and what Wine keeps.
check_removal() {
    record_leftovers
    local f=$SDIR/spooler-after.txt
    grep -qF 'printer "KORVANT ZMP-K40"' "$f" && fail "the printer object is still there"
    grep -q DisplayName "$SDIR/uninstall-entry.txt" && fail "the Uninstall entry is still there"
    # The utilities folder under the Windows directory stays (the uninstaller
    # runs from it); the removal deletes "\KORVANT Printer Driver\ZMP-K40".
    [ -f "$PFX/drive_c/windows/ZMP-K40/$UNINSTALLER" ] || fail "the utilities folder lost the uninstaller"
    # Wine refuses DeletePrinterDriverExA with a delete flag (87); the
    # registry fallback of this x86_64 build (not under WOW64) deletes the
    # "Windows NT x86" key, so the x64 driver stays registered.
    log_has "$LOG_NAME" "DeletePrinterDriverEx returned FALSE. (87)"
    grep -qF 'driver "KORVANT ZMP-K40" env="Windows x64"' "$f" && note "left by Wine: the x64 driver registration"
}

# 8: the uninstaller on the machine of scenario 1 with the driver installed
# but no printer using it: the removal starts by itself.
scenario_8_uninstall_driver_only() {
    LOG_NAME=ZMP-K40_UnInstaller.txt
    plug_in_printer driver-only || return
    local pid rc
    (cd "$PFX/drive_c/windows/ZMP-K40" && exec env WINEPREFIX="$PFX" "$WINE" "./$UNINSTALLER") \
        </dev/null >>"$SDIR/wine-$UNINSTALLER.log" 2>&1 &
    pid=$!
    STARTED+=("$pid")
    act wait-window "$UNINSTALLER_DIALOG" 30000 || return
    act wait-text "$UNINSTALLER_DIALOG" 1000 "..." 10000 -- texts "$UNINSTALLER_DIALOG"
    shows '1006 ListBox "" count=0'
    shows '1001 Button "Uninstall" disabled'
    shows '2 Button "Cancel" disabled'
    shot uninstalling
    # Escape and Alt+F4 do nothing while the removal runs.
    act key "$UNINSTALLER_DIALOG" escape -- key "$UNINSTALLER_DIALOG" alt+f4
    sleep 0.5
    act texts "$UNINSTALLER_DIALOG"
    answer_boxes "$UNINSTALLER_BOX" "$pid" No 300 || return
    expect_boxes "$RESTART_QUESTION"
    wait_program "$pid" 5 rc || return
    [ "$rc" = 0 ] || fail "uninstaller exit code $rc, expected 0"
    keep_log "$LOG_NAME" || return
    check_log_start "$LOG_NAME" 2 6 1 7601
    log_has "$LOG_NAME" "The number of printer-objects : 0"
    log_has "$LOG_NAME" "KORVANT ZMP-K40 PRINTER DRIVER EXISTS."
    log_lacks "$LOG_NAME" "RemovePrinterObjects BEGIN"
    check_removal
}

# 6: the uninstaller where nothing was installed.
scenario_6_uninstall_fresh() {
    LOG_NAME=ZMP-K40_UnInstaller.txt
    local pid rc
    start_program pid "$UNINSTALLER"
    # The dialog behind the box: its caption is set at run time.
    act wait-window "$UNINSTALLER_DIALOG" 30000 -- texts "$UNINSTALLER_DIALOG" || return
    shows '1001 Button "Uninstall" disabled'
    shows '2 Button "Cancel"'
    shows '1006 ListBox "" count=0'
    shows '-1 Static "Progress :"'
    shows '1002 msctls_progress32 "" pos=0'
    answer_boxes "$UNINSTALLER_BOX" "$pid" No 60 || return
    expect_boxes "The ZMP-K40 driver does not exist on this system."
    wait_program "$pid" 5 rc || return
    [ "$rc" = 0 ] || fail "uninstaller exit code $rc, expected 0"
    keep_log "$LOG_NAME" || return
    check_log_start "$LOG_NAME" 2 6 1 7601
    log_has "$LOG_NAME" "The number of printer-objects : 0"
    log_has "$LOG_NAME" "KORVANT ZMP-K40 PRINTER DRIVER DOES NOT EXIST."
    log_has "$LOG_NAME" "DeleteUninstallInfoFromReg END"
}

# 7: Escape while the installation runs does nothing.
scenario_7_escape_during_install() {
    LOG_NAME=ZMP-K40_Installer.txt TAIL_MS=2000
    local pid rc i
    start_program pid "$INSTALLER"
    act wait-window "$PORT_TYPE" 30000 || return
    user_begin
    act check "$PORT_TYPE" 1001
    act click "$PORT_TYPE" Next
    user_end
    act wait-text "$PROGRESS" 1003 "..." 10000 || return
    # Escape, Enter (the dialog's default button would end it) and Alt+F4
    # (the system menu's Close), each while the installation runs.
    for i in escape enter alt+f4; do
        act key "$PROGRESS" $i
        sleep 0.5
    done
    shot after-keys
    act texts "$PROGRESS"
    shows "window \"$PROGRESS\""
    answer_boxes "$INSTALLER_BOX" "$pid" No 180 || return
    expect_boxes "$TURN_OFF"
    wait_program "$pid" 5 rc || return
    [ "$rc" = 0 ] || fail "installer exit code $rc, expected 0"
    keep_log "$LOG_NAME" || return
    log_has "$LOG_NAME" "AddToWin2KWithWHQL END"
    log_lacks "$LOG_NAME" "The driver installation canceled."
}

SCENARIOS=(0-robot 1-install-win7-usb 2-second-instance 3-configured-com1 4-install-xp64-com2
           5-uninstall-after-1 6-uninstall-fresh 7-escape-during-install 8-uninstall-driver-only
           9-restart-yes 10-install-win7-wlan)
# What each scenario needs of the product (checked before a prefix is made).
declare -A NEEDS=([1-install-win7-usb]=needs_installer [2-second-instance]=needs_installer
                  [3-configured-com1]=needs_installer [4-install-xp64-com2]=needs_installer_xp
                  [5-uninstall-after-1]=needs_uninstaller [6-uninstall-fresh]=needs_uninstaller
                  [7-escape-during-install]=needs_installer [8-uninstall-driver-only]=needs_uninstaller
                  [9-restart-yes]=needs_installer [10-install-win7-wlan]=needs_installer)
# Scenarios that continue on the machine another one left (a copy of it).
declare -A BASE=([5-uninstall-after-1]=1-install-win7-usb [8-uninstall-driver-only]=1-install-win7-usb)

run_scenario() {
    SCN=$1
    SDIR=$RESULTS/$SCN PFX=$PREFIXES/$SCN
    rm -rf "$SDIR"
    mkdir -p "$SDIR"
    TRANSCRIPT=$SDIR/transcript.txt
    : >"$TRANSCRIPT"
    FAILS=() STARTED=() SKIP_REASON="" USER_MS=0 TAIL_MS=0 LOG_NAME=""
    local begin
    begin=$(now_ms)

    local base=${BASE[$SCN]:-} needs=${NEEDS[$SCN]:-true}
    if [ -n "${TOOLS_STATE:-}" ]; then
        fail "$TOOLS_STATE"
    elif ! $needs; then
        :
    elif [ -n "$base" ]; then
        if [ "${OUTCOME[$base]:-}" = SKIP ]; then
            skip "continues the machine of $base, which was skipped: ${SKIPPED_BECAUSE[$base]}"
        elif [ "${OUTCOME[$base]:-}" != PASS ]; then
            skip "continues the machine of $base, which did not pass in this run"
        elif rm -rf "$PFX" && cp -a "$PREFIXES/$base" "$PFX"; then
            PKG=$PFX/drive_c/users/Public/Downloads/ZMPK40
            warm_up
            "scenario_${SCN//-/_}"
        else
            fail "could not copy the machine of $base"
        fi
    elif fresh_prefix; then
        warm_up
        [ "$SCN" = 0-robot ] || lay_out_package || fail "laying out the package"
        [ ${#FAILS[@]} = 0 ] && "scenario_${SCN//-/_}"
    else
        fail "could not create the prefix"
    fi

    # The scenario's processes, by their ids, then the prefix's wineserver.
    if [ ${#FAILS[@]} != 0 ]; then
        shot at-failure 2>/dev/null
        robot windows >/dev/null 2>&1
    fi
    for pid in "${STARTED[@]}"; do kill "$pid" 2>/dev/null; done
    [ -d "$PFX" ] && { WINEPREFIX=$PFX "$WINESERVER" -k 2>/dev/null; WINEPREFIX=$PFX "$WINESERVER" -w 2>/dev/null; }
    STARTED=()

    local wall=$(($(now_ms) - begin)) span paced overhead verdict
    span=$(log_span_ms)
    paced=$((span > 0 ? span + TAIL_MS - USER_MS : 0))
    [ "$paced" -lt 0 ] && paced=0
    overhead=$((wall - paced - USER_MS))
    if [ -n "$SKIP_REASON" ] && [ ${#FAILS[@]} = 0 ]; then
        verdict=SKIP
        SKIPPED=$((SKIPPED + 1))
        SKIPPED_BECAUSE[$SCN]=$SKIP_REASON
        rm -rf "$PFX"
        printf 'SKIP %-26s %s\n' "$SCN" "$SKIP_REASON"
    elif [ ${#FAILS[@]} = 0 ]; then
        verdict=PASS
        PASSED=$((PASSED + 1))
        printf 'PASS %-26s wall %5s s = paced %5s s (log span %s s) + user %4s s + overhead %5s s\n' \
            "$SCN" "$(secs $wall)" "$(secs $paced)" "$((span / 1000))" "$(secs $USER_MS)" "$(secs $overhead)"
    else
        verdict=FAIL
        FAILED=$((FAILED + 1))
        printf 'FAIL %-26s wall %5s s; %s; details in %s\n' "$SCN" "$(secs $wall)" "${FAILS[0]}" "$SDIR"
        local f
        for f in "${FAILS[@]:1}"; do printf '       %s\n' "$f"; done
    fi
    OUTCOME[$SCN]=$verdict
    note "$verdict"
}

# ---------------------------------------------------------------- main

main() {
    local wanted=("$@") run=() s w
    if [ ${#wanted[@]} = 0 ]; then
        run=("${SCENARIOS[@]}")
    else
        for s in "${SCENARIOS[@]}"; do
            for w in "${wanted[@]}"; do
                [ "$s" = "$w" ] || [ "${s%%-*}" = "$w" ] && run+=("$s")
            done
        done
        [ ${#run[@]} != 0 ] || { echo "no such scenario: ${wanted[*]} (have: ${SCENARIOS[*]})" >&2; exit 2; }
        # A scenario that continues another's machine brings that one along.
        local b
        for s in "${run[@]}"; do
            b=${BASE[$s]:-}
            [ -n "$b" ] && ! printf '%s\n' "${run[@]}" | grep -qxF "$b" && run=("$b" "${run[@]}")
        done
    fi

    mkdir -p "$OUT" "$RESULTS" "$PREFIXES"
    local missing=() tool
    for tool in "$WINE" "$WINESERVER" Xvfb import x86_64-w64-mingw32-g++ cmake ninja; do
        command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
    done
    if [ ${#missing[@]} != 0 ]; then
        for s in "${run[@]}"; do printf 'SKIP %-26s missing: %s\n' "$s" "${missing[*]}"; done
        echo "0 passed, 0 failed, ${#run[@]} skipped"
        exit 0
    fi

    TOOLS_STATE=""
    build_tools || TOOLS_STATE="robot, spoolq or fixture do not build (see $OUT/tools-build.log)"
    build_product
    if [ -z "$PRODUCT_STATE" ]; then
        echo "product: $([ "$SOURCE_MODE" = worktree ] && echo "working tree" || echo "commit $(cat "$OUT/source-commit.txt")")"
    else
        echo "note: $PRODUCT_STATE"
    fi
    start_screen || { echo "Xvfb did not start (see $OUT/xvfb.log)" >&2; exit 1; }
    make_template || { echo "could not create a Wine prefix" >&2; exit 1; }
    # Machines of earlier runs.
    rm -rf "${PREFIXES:?}"/*

    for s in "${run[@]}"; do run_scenario "$s"; done

    # Machines of passed scenarios are not needed any more.
    for s in "${run[@]}"; do [ "${OUTCOME[$s]}" = FAIL ] || rm -rf "${PREFIXES:?}/$s"; done
    echo "$PASSED passed, $FAILED failed, $SKIPPED skipped"
    [ "$FAILED" = 0 ]
}

main "$@"
