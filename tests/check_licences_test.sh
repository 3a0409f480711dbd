#!/usr/bin/env bash
# The licence guard refuses what is not written down and what is GPL-only, by
# name, and lets through what a closed program may ship.
set -euo pipefail
guard=$1
list=$(mktemp)
trap 'rm -f "$list" "$list.out"' EXIT
cat >"$list" <<'LIST'
# kind | name | licence | why
deb | libqt | LGPL-3.0-only OR GPL-2.0-only OR GPL-3.0-only | LGPL
deb | libgcc | GPL-3.0-or-later WITH GCC-exception-3.1 | exception
dll | charts.dll | GPL-3.0-only | none
dll | mosq.dll | EPL-2.0 OR BSD-3-Clause | permissive
LIST
failures=0
# expect STATUS TEXT KIND NAME...: the guard's status, and TEXT in what it says.
expect() {
    local status=0 want=$1 text=$2
    shift 2
    SENSOR_MONITOR_LICENCES=$list "$guard" "$@" >"$list.out" 2>&1 || status=$?
    if [ "$status" -ne "$want" ] || ! grep -qF -- "$text" "$list.out"; then
        echo "FAIL: $* -> status $status (wanted $want), said: $(cat "$list.out")"
        failures=$((failures + 1))
    fi
}
expect 0 "2 Debian packages" deb libqt libgcc
expect 1 "deb libfoo is not in" deb libqt libfoo
expect 1 "dll charts.dll is under GPL-3.0-only, GPL-only" dll mosq.dll charts.dll
expect 1 "dll libqt is not in" dll libqt
expect 0 "1 DLLs" dll mosq.dll
# The real list passes its own entries.
real=$(dirname "$guard")/../packaging/shipped-licences.txt
mapfile -t debs < <(awk -F' [|] ' '$1 == "deb" { print $2 }' "$real")
SENSOR_MONITOR_LICENCES=$real "$guard" deb "${debs[@]}" >/dev/null || { echo "FAIL: the real list refuses its own entries"; failures=$((failures + 1)); }
echo "$((6 - failures)) passed, $failures failed"
[ $failures -eq 0 ]
