#!/usr/bin/env bash
# Checks the installer in OUT_DIR under Wine, in a fresh Wine prefix: a silent
# install over an older version (an installer made here of the portable folder
# with a file and a subfolder more) leaves exactly the portable folder's files
# under Program Files and one registration of the uninstaller; the installed
# program answers --version, the Start-menu entries exist; a silent uninstall
# removes every installed file, the entries and the registration.
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

# How many programs Programs and Features lists under this program's name, in either registry view.
registrations() {
    for view in 64 32; do
        wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:$view 2>/dev/null
    done | tr -d '\r' | grep -c 'DisplayName *REG_SZ *Zulpex sensor monitor$' || true
}

# The older version: this one's folder with a file and a subfolder that this one no longer has.
older=$out/wine/older
rm -rf "$older"
mkdir -p "$older"
cp -r "$stage" "$older/stage"
echo "retired in 1.0" >"$older/stage/retired.txt"
mkdir "$older/stage/retired"
cp "$stage/LICENSES.txt" "$older/stage/retired/"
"$here/make-installer.sh" "$older/stage" 0.9 "$older/setup.exe" '-XSetCompressor /FINAL zlib'
wine "$older/setup.exe" /S
wineserver -w
[ -f "$installed/retired.txt" ] && [ -f "$installed/retired/LICENSES.txt" ] || fail "the older version did not install"
[ "$(registrations)" = 1 ] || fail "the older version is registered $(registrations) times, not once"

wine "$setup" /S
wineserver -w
[ "$(files_of "$installed")" = "$( (files_of "$stage"; echo ./uninstall.exe) | sort)" ] ||
    fail "installed over the older version, the files differ from the portable folder's: $(diff <(files_of "$installed") <( (files_of "$stage"; echo ./uninstall.exe) | sort) | tr '\n' ' ')"
[ ! -e "$installed/retired" ] || fail "the older version's subfolder is left"
[ "$(registrations)" = 1 ] || fail "the uninstaller is registered $(registrations) times, not once"
expected=${stage##*/zulpex-sensor-monitor-}
expected="sensor-monitor ${expected%-win64}"
version=$(wine "C:\\Program Files\\Zulpex\\sensor-monitor.exe" --version | tr -d '\r')
[ "$version" = "$expected" ] || fail "the installed program answers --version with \"$version\", not \"$expected\""
[ -f "$menu/Zulpex.lnk" ] || fail "no Start-menu entry Zulpex"
[ -f "$menu/Zulpex — Демонстрация.lnk" ] || fail "no Start-menu entry for the demo"
wine reg query "$key" /v UninstallString >/dev/null 2>&1 || fail "the uninstaller is not registered"
display_version=$(wine reg query "$key" /v DisplayVersion 2>/dev/null | tr -d '\r' | sed -n 's/.*DisplayVersion *REG_SZ *//p')
[ "$display_version" = "${expected#sensor-monitor }" ] || fail "the registration names version \"$display_version\""
echo "installer check: silent install over an older version ($(files_of "$installed" | wc -l) files, the older one's own gone), --version \"$version\", Start-menu entries, one registration"

wine "C:\\Program Files\\Zulpex\\uninstall.exe" /S
wineserver -w
[ ! -e "$installed" ] || fail "the uninstaller left $(files_of "$installed" | tr '\n' ' ')"
[ ! -e "$menu/Zulpex.lnk" ] && [ ! -e "$menu/Zulpex — Демонстрация.lnk" ] || fail "the uninstaller left a Start-menu entry"
! wine reg query "$key" >/dev/null 2>&1 || fail "the uninstaller left its registration"
echo "installer check: silent uninstall removed every file, the entries and the registration"
wineserver -k 2>/dev/null || true
