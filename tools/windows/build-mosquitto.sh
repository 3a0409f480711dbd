#!/usr/bin/env bash
# Builds libmosquitto (the MQTT client library only) for 64-bit Windows (MinGW-w64) once into the
# same cache as the cross-built Qt and prints the installed prefix on stdout. A prefix is reused for
# as long as this recipe is unchanged.
#
# Source: Debian's (apt-get source mosquitto), with Debian's patches. Without TLS: no OpenSSL for
# MinGW can be had here, so the Windows program offers mqtt:// only. Threads from MinGW-w64's own
# winpthreads (the posix thread model of the toolchain file), which upstream's CMake does not know:
# it expects a pthreads-win32 under C:\pthreads, so that one branch is pointed at winpthreads.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${SENSOR_MONITOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zulpex-sensor-monitor}

cmake_options=(
    -DWITH_TLS=OFF -DWITH_TLS_PSK=OFF -DWITH_CJSON=OFF -DWITH_BROKER=OFF -DWITH_APPS=OFF
    -DWITH_CLIENTS=OFF -DWITH_PLUGINS=OFF -DWITH_LIB_CPP=OFF -DDOCUMENTATION=OFF -DWITH_SOCKS=OFF
    -DWITH_SRV=OFF -DWITH_THREADING=ON -DWITH_STATIC_LIBRARIES=OFF -DCMAKE_BUILD_TYPE=Release
)

# The cache is keyed by what decides the built files: the source, the options, the toolchain.
recipe_revision=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source --download-only mosquitto >/dev/null 2>&1) || {
    echo "build-mosquitto: apt-get source mosquitto failed (is a deb-src line configured?)" >&2
    exit 1
}
dsc=$(ls "$work"/mosquitto_*.dsc)
version=$(basename "$dsc" .dsc | cut -d_ -f2)
recipe_hash=$( { printf '%s\n' "$recipe_revision" "$version" "${cmake_options[@]}"
                 cat "$here/mingw-w64-x86_64.cmake" "$0"; } | sha256sum | cut -c1-12)
prefix=$cache/mosquitto-$version-win64-$recipe_hash
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

log() { echo "build-mosquitto: $*" >&2; }
log "building libmosquitto $version for Windows into $prefix"
rm -rf "$prefix"
(cd "$work" && dpkg-source -x "$dsc" src >/dev/null)
# winpthreads in place of pthreads-win32 under C:\pthreads.
sed -i 's|set (PTHREAD_LIBRARIES C:\\\\pthreads\\\\Pre-built.2\\\\lib\\\\x[0-9]*\\\\pthreadVC2.lib)|set (PTHREAD_LIBRARIES pthread)|;
        s|set (PTHREAD_INCLUDE_DIR C:\\\\pthreads\\\\Pre-built.2\\\\include)|set (PTHREAD_INCLUDE_DIR "")|' \
    "$work/src/CMakeLists.txt"
if grep -q 'C:\\\\pthreads' "$work/src/CMakeLists.txt"; then
    log "the source's CMakeLists.txt no longer looks as this recipe expects (C:\\pthreads left)"
    exit 1
fi
cmake -S "$work/src" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64-x86_64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${cmake_options[@]}" >&2
cmake --build "$work/build" --parallel "$(nproc)" >&2
cmake --install "$work/build" >&2
# Upstream installs the DLL but not its import library, which the linker needs.
import_lib=$(find "$work/build/lib" -name 'libmosquitto.dll.a' | head -n1)
install -D -m 644 "$import_lib" "$prefix/lib/libmosquitto.dll.a"
touch "$prefix/.complete"
log "done"
echo "$prefix"
