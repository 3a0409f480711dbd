#!/usr/bin/env bash
# Packs the Windows build in BUILD_DIR into OUT_DIR: the portable folder
# (cmake --install, stripped), its zip, and the NSIS installer. Checks first
# that every Qt or MinGW DLL a program or plugin imports is in the folder.
set -euo pipefail
build=$1
mkdir -p "$2"
out=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=zulpex-sensor-monitor-$version-win64
stage=$out/$name

rm -rf "$stage" "$out/$name.zip" "$out/$name-setup.exe"
cmake --install "$build" --prefix "$stage" --strip >/dev/null
find "$stage" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +

missing=0
while IFS= read -r binary; do
    for dll in $(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^\s*DLL Name: //p'); do
        case "$dll" in
        Qt6* | lib*)
            if [ ! -f "$stage/$dll" ]; then
                echo "package: ${binary#"$stage"/} needs $dll, which is not in the folder" >&2
                missing=1
            fi ;;
        esac
    done
done < <(find "$stage" -name '*.exe' -o -name '*.com' -o -name '*.dll')
[ $missing -eq 0 ] || exit 1

(cd "$out" && zip -qr9 "$name.zip" "$name")

"$here/make-installer.sh" "$stage" "$version" "$out/$name-setup.exe"
echo "wrote $out/$name.zip ($(du -h "$out/$name.zip" | cut -f1))"
echo "wrote $out/$name-setup.exe ($(du -h "$out/$name-setup.exe" | cut -f1))"
