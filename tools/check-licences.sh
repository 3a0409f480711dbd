#!/usr/bin/env bash
# Keeps packaging/shipped-licences.txt true: every library the Debian package
# depends on, and every DLL the Windows zip packs, must be listed there under a
# licence that lets a closed program use it (anything but GPL-only).
#
#   tools/check-licences.sh deb PACKAGE.deb
#   tools/check-licences.sh zip PROGRAM.zip
#   tools/check-licences.sh deb|dll NAME...    (names given directly)
#
# SENSOR_MONITOR_LICENCES names another list (the guard's own test uses one).
set -euo pipefail
list=${SENSOR_MONITOR_LICENCES:-$(cd "$(dirname "$0")/.." && pwd)/packaging/shipped-licences.txt}

usage() { echo "usage: check-licences.sh deb PACKAGE.deb | zip PROGRAM.zip | deb|dll NAME..." >&2; exit 2; }

# Package names of the Depends and Recommends fields, without versions or alternatives' bars.
deb_names() {
    dpkg-deb -f "$1" Depends Recommends | sed 's/^[A-Za-z-]*: //' | tr ',|' '\n\n' |
        sed 's/([^)]*)//; s/:any//; s/^[[:space:]]*//; s/[[:space:]]*$//' | grep -v '^$' | sort -u
}

# Base names of the DLLs in a zip, whatever folder they are in.
zip_dlls() {
    python3 -c 'import sys, zipfile, posixpath
for name in zipfile.ZipFile(sys.argv[1]).namelist():
    if name.lower().endswith(".dll"):
        print(posixpath.basename(name))' "$1" | sort -u
}

# The licence listed for KIND NAME, or nothing.
listed_licence() {
    awk -F'|' -v kind="$1" -v name="$2" '
        /^[[:space:]]*(#|$)/ { next }
        { for (i = 1; i <= NF; i++) gsub(/^[[:space:]]+|[[:space:]]+$/, "", $i) }
        $1 == kind && $2 == name { print $3; exit }' "$list"
}

# GPL-only: no alternative of the expression is free of the GPL, or the GPL
# comes with a runtime exception. LGPL, permissive and exception-carrying
# licences are fine linked dynamically.
gpl_only() {
    local alternative
    while IFS= read -r alternative; do
        if ! grep -qE '(^|[^L])GPL' <<<"$alternative" || grep -qE 'WITH [A-Za-z-]*exception' <<<"$alternative"; then
            return 1
        fi
    done < <(sed 's/ OR /\n/g' <<<"$1")
    return 0
}

check_names() {
    local kind=$1 name licence bad=0
    shift
    for name in "$@"; do
        licence=$(listed_licence "$kind" "$name")
        if [ -z "$licence" ]; then
            echo "check-licences: $kind $name is not in ${list##*/}: write down its licence and why it may ship" >&2
            bad=1
        elif gpl_only "$licence"; then
            echo "check-licences: $kind $name is under $licence, GPL-only: a closed program cannot ship it" >&2
            bad=1
        fi
    done
    local what="Debian packages"
    [ "$kind" = dll ] && what=DLLs
    [ $bad -eq 0 ] && echo "check-licences: $# $what, each listed under a licence that allows a closed program"
    return $bad
}

[ $# -ge 2 ] || usage
case "$1" in
deb)
    if [ $# -eq 2 ] && [[ $2 == *.deb ]]; then
        mapfile -t names < <(deb_names "$2")
        check_names deb "${names[@]}"
    else
        check_names "$@"
    fi ;;
zip)
    [ $# -eq 2 ] || usage
    mapfile -t names < <(zip_dlls "$2")
    [ ${#names[@]} -gt 0 ] || { echo "check-licences: $2 packs no DLL" >&2; exit 1; }
    check_names dll "${names[@]}" ;;
dll) check_names "$@" ;;
*) usage ;;
esac
