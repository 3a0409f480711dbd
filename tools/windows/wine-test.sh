#!/usr/bin/env bash
# CTest's emulator for the Windows build: runs a QtTest program under Wine.
# Under Wine the test log does not reach stdout, so it is written to a file,
# printed, and read for the verdict: the program's exit status and a
# "Totals:" line, which a crash never writes.
set -uo pipefail
program=$1
shift
name=$(basename "$program" .exe)
log=$name.log.txt
rm -f "$log"
export WINEDEBUG=-all
# SENSOR_MONITOR_DLL_DIRS: the folders of the Qt and MinGW DLLs, as a Unix path list.
WINEPATH=$(tr ':' '\n' <<<"${SENSOR_MONITOR_DLL_DIRS:-}" | sed 's|^|Z:|; s|/|\\|g' | paste -sd';')
export WINEPATH
wine "$program" "$@" -o "$log,txt" >/dev/null 2>&1
status=$?
[ -f "$log" ] && tr -d '\r' <"$log"
if [ $status -ne 0 ] || ! grep -q '^Totals:' "$log" 2>/dev/null; then
    echo "$name: failed under Wine (exit status $status)" >&2
    exit $((status == 0 ? 1 : status))
fi
