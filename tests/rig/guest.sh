#!/usr/bin/env bash
# Builds the rig's guest once into a cache and prints its directory: Debian's
# own kernel (the ELF inside vmlinuz, booted through its PVH entry: no time
# spent decompressing under TCG), a busybox initramfs holding the modules for
# 9p, xHCI and the FTDI adapter, and udev for the adapter's vendor id. The
# host's /usr is mounted read-only in the guest, so host-built programs and Qt
# run there unchanged. Rebuilt only when this recipe or the init script changes.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

kernel_package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
udev_version=$(apt-cache policy udev | awk '/Candidate:/ {print $2}')
if [ -z "$kernel_package" ] || [ -z "$udev_version" ] || [ "$udev_version" = "(none)" ]; then
    echo "rig: cannot build the guest: apt knows no linux-image-amd64 or udev (run apt-get update)" >&2
    exit 1
fi
recipe_hash=$( { cat "$here/guest.sh" "$here/init"; echo "$kernel_package $udev_version"; } | sha256sum | cut -c1-12)
cache="${XDG_CACHE_HOME:-$HOME/.cache}/zulpex-sensor-monitor/rig-$recipe_hash"
if [ -f "$cache/ready" ]; then
    echo "$cache"
    exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# Downloaded as packages and unpacked, never installed on this host.
apt-get download "$kernel_package" udev >&2
dpkg-deb -x linux-image-*.deb kernel
dpkg-deb -x udev_*.deb udev
version=${kernel_package#linux-image-}

# The uncompressed kernel: the xz stream inside the bzImage.
offset=$(LC_ALL=C grep -abo $'\xfd7zXZ\x00' kernel/boot/vmlinuz-* | head -1 | cut -d: -f1)
tail -c +$((offset + 1)) kernel/boot/vmlinuz-* | xz -dc 2>/dev/null >vmlinux || true
[ "$(head -c 4 vmlinux | tail -c 3)" = ELF ] || { echo "rig: no ELF kernel inside vmlinuz" >&2; exit 1; }

# The modules the guest loads, dependencies first.
busybox depmod -b kernel "$version" 2>/dev/null
modules_dir=kernel/lib/modules/$version
declare -A loaded=()
order=()
add_module() {
    local name=$1 path line dep
    path=$(cd "$modules_dir" && find kernel -name "$name.ko" | head -1)
    [ -n "$path" ] || { echo "rig: module $name not found" >&2; exit 1; }
    [ -n "${loaded[$path]:-}" ] && return 0
    loaded[$path]=1
    line=$(grep "^$path:" "$modules_dir/modules.dep" | cut -d: -f2)
    for dep in $line; do add_module "$(basename "$dep" .ko)"; done
    order+=("$path")
}
for module in virtio_pci 9pnet_virtio 9p xhci-pci ftdi_sio; do add_module "$module"; done

root=initramfs
mkdir -p $root/{bin,dev,proc,sys,usr,run/lock,var,tmp,rig,host-etc,modules,etc/udev/rules.d,root}
chmod 1777 $root/tmp $root/run/lock
ln -s ../run/lock $root/var/lock
ln -s ../run $root/var/run
# Debian's merged /usr: the host's programs find their loader and libraries.
ln -s usr/lib $root/lib
ln -s usr/lib64 $root/lib64
ln -s ../host-etc/fonts $root/etc/fonts
cp /bin/busybox $root/bin/busybox
for path in "${order[@]}"; do
    cp "$modules_dir/$path" $root/modules/
    echo "$(basename "$path")" >>$root/modules/order
done
cp udev/bin/udevadm $root/bin/udevadm
ln -s udevadm $root/bin/systemd-udevd
cp udev/lib/udev/rules.d/{50-udev-default,60-serial}.rules $root/etc/udev/rules.d/
printf 'root:x:0:0:root:/root:/bin/sh\nnobody:x:65534:65534:nobody:/nonexistent:/bin/sh\n' >$root/etc/passwd
printf 'root:x:0:\ndialout:x:20:\nnogroup:x:65534:\n' >$root/etc/group
echo rig >$root/etc/hostname
cp "$here/init" $root/init
chmod +x $root/init
(cd $root && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) >initramfs.cpio.gz

mkdir -p "$cache.tmp"
mv vmlinux initramfs.cpio.gz "$cache.tmp/"
rm -rf "$cache"
mv "$cache.tmp" "$cache"
touch "$cache/ready"
echo "$cache"
