#!/usr/bin/env bash
# Builds Qt 6.4.2 for 64-bit Windows (MinGW-w64) once into a cache outside the clone and prints
# the installed prefix on stdout. A prefix is reused for as long as this recipe is unchanged.
#
# Sources: qtbase from Debian (apt-get source qt6-base); qtserialport from the folder
# $QT_SOURCE_TARBALLS when it is set (MODULE-everywhere-src-6.4.2.tar.xz, checked against the
# checksums below), otherwise downloaded from Qt's archive and checked the same way.
# Nothing else: the chart is the program's own, and every module shipped is LGPL-3.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${SENSOR_MONITOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zulpex-sensor-monitor}
version=6.4.2
modules=(qtserialport)

# Checksums of the source tarballs this recipe accepts: first Qt's official
# tarball from its archive (as Homebrew and nixpkgs pin them), then the
# git archive of the same v6.4.2 tag that ../shared/qt-src holds.
declare -A accepted=(
    [qtbase]="a88bc6cedbb34878a49a622baa79cace78cfbad4f95fdbd3656ddb21c705525d"
    [qtserialport]="336d95919037800184b3c3de8ccb6f62954b20f3756c05adce8d5010504340fa
                    5c09ddd21121198dad189af694803d43366cebd767138fc5ba4e30299a53dd9d"
)
archive=https://download.qt.io/archive/qt/6.4/$version/submodules

qtbase_options=(
    -xplatform win32-g++ -qt-host-path /usr -release -shared -nomake tests -nomake examples
    -qt-zlib -qt-pcre -qt-harfbuzz -qt-freetype -qt-libpng -qt-libjpeg -qt-doubleconversion
    -no-opengl -no-dbus -no-icu -no-openssl -no-zstd
    -no-feature-sql -no-feature-network -no-feature-printsupport -no-feature-concurrent
    -no-feature-tabletevent
)

# The cache is keyed by what decides the built files: version, modules, options, toolchain.
recipe_revision=1
recipe_hash=$( { printf '%s\n' "$recipe_revision" "$version" "${modules[@]}" "${qtbase_options[@]}"
                 cat "$here/mingw-w64-x86_64.cmake"; } | sha256sum | cut -c1-12)
prefix=$cache/qt-$version-win64-$recipe_hash
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

log() { echo "build-qt: $*" >&2; }
work=$cache/work-$recipe_hash
rm -rf "$work" "$prefix"
mkdir -p "$work/src" "$work/build"
jobs=$(nproc)

fetch_module() {
    local module=$1 file=$1-everywhere-src-$version.tar.xz
    if [ -n "${QT_SOURCE_TARBALLS:-}" ]; then
        cp "$QT_SOURCE_TARBALLS/$file" "$work/src/"
    else
        log "downloading $file"
        curl -fsSL -o "$work/src/$file" "$archive/$file"
    fi
    check_sum "$module" "$work/src/$file"
    tar -xJf "$work/src/$file" -C "$work/src"
}

check_sum() {
    local sum
    sum=$(sha256sum "$2" | cut -d' ' -f1)
    if ! grep -qw "$sum" <<<"${accepted[$1]}"; then
        log "${2##*/}: checksum $sum is not one this recipe accepts"
        exit 1
    fi
}

fetch_qtbase() {
    if [ -n "${QT_SOURCE_TARBALLS:-}" ] && [ -f "$QT_SOURCE_TARBALLS/qtbase-everywhere-src-$version.tar.xz" ]; then
        check_sum qtbase "$QT_SOURCE_TARBALLS/qtbase-everywhere-src-$version.tar.xz"
        tar -xJf "$QT_SOURCE_TARBALLS/qtbase-everywhere-src-$version.tar.xz" -C "$work/src"
    else
        (cd "$work/src" && apt-get source --download-only qt6-base >&2)
        tar -xJf "$work/src"/qt6-base_"$version"*.orig.tar.xz -C "$work/src"
    fi
    mv "$work/src"/qtbase-everywhere-src-"$version"* "$work/src/qtbase" 2>/dev/null || true
}

log "building Qt $version for Windows into $prefix (once; about 20 minutes on 2 cores)"
fetch_qtbase
for m in "${modules[@]}"; do fetch_module "$m"; done

mkdir -p "$work/build/qtbase"
(cd "$work/build/qtbase" &&
    "$work/src/qtbase/configure" -prefix "$prefix" "${qtbase_options[@]}" -- \
        -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64-x86_64.cmake" \
        -DQT_HOST_PATH_CMAKE_DIR="$(dirname "$(dirname "$(readlink -f /usr/lib/*/cmake/Qt6HostInfo/Qt6HostInfoConfig.cmake)")")" >&2 &&
    cmake --build . --parallel "$jobs" >&2 &&
    cmake --install . >&2)

for m in "${modules[@]}"; do
    mkdir -p "$work/build/$m"
    (cd "$work/build/$m" &&
        "$prefix/bin/qt-configure-module" "$work/src/$m-everywhere-src-$version" >&2 &&
        cmake --build . --parallel "$jobs" >&2 &&
        cmake --install . >&2)
done

touch "$prefix/.complete"
rm -rf "$work"
log "done"
echo "$prefix"
