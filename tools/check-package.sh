#!/usr/bin/env bash
# Checks the Debian package in build/package/ without installing it: the files
# it holds, its desktop entry and metadata, lintian, and both programs run from
# the unpacked tree. Run after ./run package.
set -euo pipefail
cd "$(dirname "$0")/.."

id=io.github.zulpex.SensorMonitor
fail() { echo "check-package: $*" >&2; exit 1; }

debs=(build/package/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb in build/package/, found: ${debs[*]}"
deb=${debs[0]}

expected=(
    usr/bin/sensor-monitor
    usr/bin/sensor-sim
    "usr/share/applications/$id.desktop"
    "usr/share/icons/hicolor/scalable/apps/$id.svg"
    "usr/share/metainfo/$id.metainfo.xml"
    usr/share/man/man1/sensor-monitor.1.gz
    usr/share/man/man1/sensor-sim.1.gz
    usr/share/doc/zulpex-sensor-monitor/copyright
    usr/share/doc/zulpex-sensor-monitor/changelog.gz
)
contents=$(dpkg-deb --contents "$deb" | awk '{ print $6 }')
for file in "${expected[@]}"; do
    grep -qxF "./$file" <<<"$contents" || fail "$deb lacks $file"
done
stray=$(grep -vE '^\./(usr/((bin|share)/.*)?)?$' <<<"$contents" || true)
[ -z "$stray" ] || fail "$deb installs outside /usr/bin and /usr/share: $stray"

tree=build/package/unpacked
rm -rf "$tree"
dpkg-deb -x "$deb" "$tree"

desktop-file-validate "$tree/usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$tree/usr/share/metainfo/$id.metainfo.xml" >/dev/null \
    || appstreamcli validate --no-net "$tree/usr/share/metainfo/$id.metainfo.xml"
lintian --allow-root --fail-on error "$deb"

for program in sensor-monitor sensor-sim; do
    [ -x "$tree/usr/bin/$program" ] || fail "no $program in the package"
    # A program that does not know --version would open its window: it gets 20 seconds.
    version=$(QT_QPA_PLATFORM=offscreen timeout 20 "$tree/usr/bin/$program" --version) || fail "$program --version failed"
    echo "$program --version: $version"
done
echo "check-package: $deb passes"
