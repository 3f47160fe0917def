#!/usr/bin/env bash
# Checks the Windows build's distributable folder <builddir>/dist:
#  - both programs are GUI PE files of the build's architecture
#    (PE32/Intel 80386 for the product, PE32+/x86-64 for the Wine build),
#  - their import table names only DLLs that are KnownDLLs on every Windows
#    the programs accept (Windows 2000 to 11; list below): a DLL named
#    there that is not one is looked for in the program's own folder first,
#    and both programs run elevated from folders an ordinary user can write
#    to. winspool.drv, setupapi.dll, comctl32.dll and shlwapi.dll are loaded
#    by full path from the system directory at the start instead
#    (platform/win32/Win32Libraries.cpp); docs/security.md has the reasons,
#  - each is under 200 KB,
#  - the driver package is complete: ZMPK40.inf, ZMPK40_Config.KVT and the
#    driver files in Driver32\ (x86 DLLs) and Driver64\ (x64 DLLs).
# Usage: tools/check-pe.sh [builddir] [i686|x86_64]   (default build-win32 i686)
set -euo pipefail
cd "$(dirname "$0")/.."

builddir=${1:-build-win32}
arch=${2:-}
if [ -z "$arch" ]; then
  case "$builddir" in *64*) arch=x86_64 ;; *) arch=i686 ;; esac
fi
dist=$builddir/dist
objdump=x86_64-w64-mingw32-objdump  # reads PE32 and PE32+ alike
max_bytes=$((200 * 1024))
# KnownDLLs (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs)
# on every release from Windows 2000 on: kernel32, user32, gdi32, advapi32.
# msvcrt.dll, which the MinGW runtime needs, is listed from Vista on and on
# 2000, XP and 2003 is loaded into \KnownDlls as a DLL the listed ones import.
allowed="kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll"

pe32='PE32 executable (GUI) Intel 80386'
pe64='PE32+ executable (GUI) x86-64'
dll32='PE32 executable (DLL) (console) Intel 80386'
dll64='PE32+ executable (DLL) (console) x86-64'
if [ "$arch" = i686 ]; then want_exe=$pe32; else want_exe=$pe64; fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

for exe in ZMPK40_Installer.exe ZMPK40_Uninstaller.exe; do
  f=$dist/$exe
  if [ ! -f "$f" ]; then fail "$f missing"; continue; fi

  kind=$(file -b "$f")
  case "$kind" in
    "$want_exe"*) pass "$exe: $kind" ;;
    *) fail "$exe is '$kind', expected '$want_exe ...'" ;;
  esac

  imports=$("$objdump" -p "$f" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
  echo "      $exe static imports (allowed: $allowed):"
  for dll in $imports; do
    if grep -qw -- "$dll" <<<"$allowed"; then
      echo "        $dll  allowed"
    else
      echo "        $dll  NOT ALLOWED"
      fail "$exe imports $dll, not a KnownDLL on every Windows the programs accept"
    fi
  done
  pass "$exe imports: $(echo $imports)"

  size=$(stat -c %s "$f")
  if [ "$size" -lt "$max_bytes" ]; then
    pass "$exe: $size bytes (limit $max_bytes)"
  else
    fail "$exe: $size bytes, limit $max_bytes"
  fi
done

for f in ZMPK40.inf ZMPK40_Config.KVT; do
  if [ -f "$dist/$f" ]; then pass "$f"; else fail "$dist/$f missing"; fi
done
if [ -f "$dist/ZMPK40_Config.KVT" ] && ! grep -q '^PORTDLG=TRUE' "$dist/ZMPK40_Config.KVT"; then
  fail "ZMPK40_Config.KVT has no PORTDLG=TRUE in it"
fi

driver_files="UNIDRV.DLL UNIDRVUI.DLL UNIDRV.HLP UNIRES.DLL STDNAMES.GPD ZMP40.dll ZPUI40.dll
ZPUNI40.dll ZPUI40.INI ZMP40.GPD ZMP40.BUD ZPMON40.dll ZPPRO40.dll"
for dir in Driver32 Driver64; do
  if [ "$dir" = Driver32 ]; then want_dll=$dll32; else want_dll=$dll64; fi
  missing=0
  for f in $driver_files; do
    path=$dist/$dir/$f
    if [ ! -f "$path" ]; then fail "$dir/$f missing"; missing=1; continue; fi
    case "$f" in
      *.dll|*.DLL)
        kind=$(file -b "$path")
        case "$kind" in "$want_dll"*) ;; *) fail "$dir/$f is '$kind'"; missing=1 ;; esac ;;
    esac
  done
  [ "$missing" -eq 0 ] && pass "$dir: all driver files, DLLs of the right architecture"
done

monitor_exports=$("$objdump" -p "$dist/Driver32/ZPMON40.dll" 2>/dev/null | grep -c 'InitializePrintMonitor2' || true)
[ "$monitor_exports" -ge 1 ] && pass "ZPMON40.dll exports InitializePrintMonitor2" \
  || fail "ZPMON40.dll does not export InitializePrintMonitor2"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
