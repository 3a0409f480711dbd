#!/usr/bin/env bash
# Makes a fresh Wine prefix in DIR (whatever DIR held goes), so that each
# check under Wine starts from a clean Windows.
set -euo pipefail
prefix=$1
wineserver_of() { WINEPREFIX=$prefix wineserver "$@" 2>/dev/null || true; }
wineserver_of -k
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
wineserver_of -w
