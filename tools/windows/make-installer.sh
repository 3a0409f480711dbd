#!/usr/bin/env bash
# Makes the NSIS installer OUTFILE of version VERSION from the portable folder
# STAGE: it installs exactly the folder's files and its uninstaller removes
# exactly those (installer.nsi). Used by package.sh, and by check-installer.sh
# for an older version to install over.
#
#     make-installer.sh STAGE VERSION OUTFILE [MAKENSIS OPTION...]
set -euo pipefail
stage=$(cd "$1" && pwd)
version=$2
outfile=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=$work/files

: >"$files.install.nsh"
: >"$files.uninstall.nsh"
while IFS= read -r dir; do
    echo "SetOutPath \"\$INSTDIR${dir:+\\$dir}\"" >>"$files.install.nsh"
    find "$stage/$dir" -maxdepth 1 -type f -printf '%P\n' | sort | while IFS= read -r file; do
        windows=$(tr / '\\' <<<"${dir:+$dir/}$file")
        echo "File \"$stage/${dir:+$dir/}$file\"" >>"$files.install.nsh"
        echo "Delete \"\$INSTDIR\\$windows\"" >>"$files.uninstall.nsh"
    done
done < <(cd "$stage" && find . -type d -printf '%P\n' | sort)
# Subfolders are removed after their files, deepest first.
(cd "$stage" && find . -mindepth 1 -type d -printf '%P\n' | sort -r) |
    while IFS= read -r dir; do echo "RMDir \"\$INSTDIR\\$(tr / '\\' <<<"$dir")\"" >>"$files.uninstall.nsh"; done
echo 'SetOutPath "$INSTDIR"' >>"$files.install.nsh"

makensis -V2 -INPUTCHARSET UTF8 "$@" -DVERSION="$version" -DSTAGE="$stage" -DFILES="$files" \
    -DOUTFILE="$outfile" "$here/../../packaging/windows/installer.nsi" >/dev/null
