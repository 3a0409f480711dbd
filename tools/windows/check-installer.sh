#!/usr/bin/env bash
# Checks the installer in OUT_DIR under Wine, in a fresh Wine prefix: a silent
# install puts the portable folder's files under Program Files, the installed
# program answers --version, the Start-menu entries and the uninstaller's
# registration exist; a silent uninstall removes every installed file, the
# entries and the registration.
set -euo pipefail
out=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
setup=$(ls "$out"/zulpex-sensor-monitor-*-win64-setup.exe)
stage=${setup%-setup.exe}
export WINEPREFIX=$out/wine/installer WINEDEBUG=-all
"$here/wine-prefix.sh" "$WINEPREFIX"

installed="$WINEPREFIX/drive_c/Program Files/Zulpex"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zulpex'
fail() { echo "installer check: $*" >&2; exit 1; }
files_of() { (cd "$1" && find . -type f | sort); }

wine "$setup" /S
wineserver -w
[ "$(files_of "$installed")" = "$( (files_of "$stage"; echo ./uninstall.exe) | sort)" ] ||
    fail "the installed files differ from the portable folder's"
expected=${stage##*/zulpex-sensor-monitor-}
expected="sensor-monitor ${expected%-win64}"
version=$(wine "C:\\Program Files\\Zulpex\\sensor-monitor.exe" --version | tr -d '\r')
[ "$version" = "$expected" ] || fail "the installed program answers --version with \"$version\", not \"$expected\""
[ -f "$menu/Zulpex.lnk" ] || fail "no Start-menu entry Zulpex"
[ -f "$menu/Zulpex — Демонстрация.lnk" ] || fail "no Start-menu entry for the demo"
wine reg query "$key" /v UninstallString >/dev/null 2>&1 || fail "the uninstaller is not registered"
echo "installer check: silent install ($(files_of "$installed" | wc -l) files), --version \"$version\", Start-menu entries, registration"

wine "C:\\Program Files\\Zulpex\\uninstall.exe" /S
wineserver -w
[ ! -e "$installed" ] || fail "the uninstaller left $(files_of "$installed" | tr '\n' ' ')"
[ ! -e "$menu/Zulpex.lnk" ] && [ ! -e "$menu/Zulpex — Демонстрация.lnk" ] || fail "the uninstaller left a Start-menu entry"
! wine reg query "$key" >/dev/null 2>&1 || fail "the uninstaller left its registration"
echo "installer check: silent uninstall removed every file, the entries and the registration"
wineserver -k 2>/dev/null || true
