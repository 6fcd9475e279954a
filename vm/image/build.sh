#!/usr/bin/env bash
# build.sh OUT: builds the i386 guest's files into the folder OUT (run as root):
#   OUT/root.img     the root file system (ext4): Debian bookworm i386 minbase with
#                    wine32, Xvfb and xauth, and an empty /job for the job disk
#   OUT/vmlinuz      Debian's 686 kernel
#   OUT/initrd.img   a small busybox initramfs: loads the virtio disk and ext4 modules
#                    and the SCSI target ones, mounts the root and the job disk, runs
#                    the job, powers off (init)
# The Wine prefix is made afterwards by booting the guest (scripts/i686-vm.sh).
#
# debootstrap's second stage and apt run i386 programs, which this x86_64 machine
# cannot execute: a binfmt_misc entry hands them to qemu-i386-static while this script
# runs, and is removed when it ends.
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
mirror=${KDLL_VM_MIRROR:-http://deb.debian.org/debian}
suite=bookworm
packages=(wine wine32 xvfb xauth)

rootfs=$out/rootfs
binfmt=/proc/sys/fs/binfmt_misc
entry=kdll-qemu-i386
binfmt_mounted=0
mounts=()

cleanup() {
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount -l "${mounts[$i]}" 2>/dev/null || true
    done
    [ -e "$binfmt/$entry" ] && echo -1 >"$binfmt/$entry"
    [ $binfmt_mounted -eq 0 ] || umount "$binfmt" 2>/dev/null || true
}
trap cleanup EXIT

mount_in_root() { # TYPE SOURCE DIR
    mount -t "$1" "$2" "$rootfs/$3"
    mounts+=("$rootfs/$3")
}

step() { echo "vm-image: $*" >&2; }

if grep -q " $(realpath -m "$out")/" /proc/mounts; then
    echo "vm-image: something is still mounted under $out" >&2
    exit 1
fi
rm -rf "$out"
mkdir -p "$out"

step "debootstrap $suite i386 (first stage)"
debootstrap --arch=i386 --variant=minbase --foreign "$suite" "$rootfs" "$mirror" >"$out/debootstrap.log" 2>&1 \
    || { tail -n 20 "$out/debootstrap.log" >&2; exit 1; }

if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt"
    binfmt_mounted=1
fi
# An i386 ELF executable: class 32-bit, little endian, type EXEC or DYN, machine 3.
# F: the interpreter is opened now, so that it also works inside the chroot.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
[ -e "$binfmt/$entry" ] && echo -1 >"$binfmt/$entry"
printf ':%s:M::%s:%s:/usr/bin/qemu-i386-static:F' "$entry" "$magic" "$mask" >"$binfmt/register"

step "debootstrap second stage (under qemu-i386)"
chroot "$rootfs" /debootstrap/debootstrap --second-stage >>"$out/debootstrap.log" 2>&1 \
    || { tail -n 20 "$out/debootstrap.log" >&2; exit 1; }

mount_in_root proc proc proc
mount_in_root sysfs sysfs sys
mount_in_root tmpfs tmpfs tmp
export DEBIAN_FRONTEND=noninteractive LC_ALL=C
apt_in_root() { chroot "$rootfs" apt-get -o APT::Sandbox::User=root -q "$@" >>"$out/apt.log" 2>&1 \
    || { tail -n 20 "$out/apt.log" >&2; exit 1; }; }

step "apt-get install ${packages[*]}"
echo "deb $mirror $suite main" >"$rootfs/etc/apt/sources.list"
apt_in_root update
apt_in_root install -y --no-install-recommends "${packages[@]}"

# No network: the guest's name resolves through /etc/hosts alone.
echo kdll-guest >"$rootfs/etc/hostname"
printf '127.0.0.1\tlocalhost\n127.0.1.1\tkdll-guest\n' >"$rootfs/etc/hosts"

# The kernel and busybox are unpacked, not installed: the root needs neither, and the
# kernel's package would build an initramfs of its own under qemu-i386.
step "kernel and busybox"
kernel_package=$(chroot "$rootfs" apt-cache depends linux-image-686 \
    | sed -n 's/^ *Depends: \(linux-image-[0-9].*-686\)$/\1/p' | head -n 1)
[ -n "$kernel_package" ] || { echo "vm-image: no kernel package behind linux-image-686" >&2; exit 1; }
mkdir -p "$rootfs/tmp/debs"
chroot "$rootfs" sh -c "cd /tmp/debs && apt-get -o APT::Sandbox::User=root -q download $kernel_package busybox-static" \
    >>"$out/apt.log" 2>&1 || { tail -n 20 "$out/apt.log" >&2; exit 1; }
kroot=$out/kernel
mkdir -p "$kroot"
for deb in "$rootfs"/tmp/debs/*.deb; do
    dpkg-deb -x "$deb" "$kroot"
done
version=${kernel_package#linux-image-}
cp "$kroot/boot/vmlinuz-$version" "$out/vmlinuz"
echo "$version" >"$out/kernel-version"

step "initramfs"
initramfs=$out/initramfs
mkdir -p "$initramfs"/{bin,dev,proc,sys,newroot,modules}
cp "$kroot/bin/busybox" "$initramfs/bin/busybox"
cp "$here/init" "$initramfs/init"
chmod 755 "$initramfs/init" "$initramfs/bin/busybox"
depmod -b "$kroot" "$version"
# The disks are virtio; ext4 asks the crypto layer for crc32c, which would need a
# modprobe at run time: load it first. The SCSI target core with its user-space backend
# and the loopback fabric, sr and sg present the drive server's CD-ROM drive (vm/job/
# scsi-drive.sh); the guest's root has no modprobe, so they are loaded here too.
modprobe -d "$kroot" -S "$version" --show-depends -a virtio_pci virtio_blk crc32c_generic ext4 \
        configfs target_core_user tcm_loop sr_mod sg \
    | sed -n 's/^insmod \([^ ]*\).*/\1/p' | awk '!seen[$0]++' >"$out/modules.list"
: >"$initramfs/modules/order"
while read -r module; do
    name=$(basename "$module")
    case "$name" in
        *.ko.xz) xz -dc "$module" >"$initramfs/modules/${name%.xz}"; name=${name%.xz} ;;
        *) cp "$module" "$initramfs/modules/$name" ;;
    esac
    echo "$name" >>"$initramfs/modules/order"
done <"$out/modules.list"
(cd "$initramfs" && find . | cpio -o -H newc --quiet | gzip -9) >"$out/initrd.img"

step "root file system"
for m in "${mounts[@]}"; do umount "$m"; done
mounts=()
chroot "$rootfs" apt-get clean
rm -rf "$rootfs"/tmp/* "$rootfs"/var/lib/apt/lists/* "$rootfs/debootstrap"
mkdir -p "$rootfs/job"
size_mb=$(( $(du -sm "$rootfs" | cut -f1) + 1024 ))
mkfs.ext4 -q -F -L kdll-root -d "$rootfs" "$out/root.img" "${size_mb}M" >/dev/null
rm -rf "$rootfs" "$initramfs" "$kroot"
step "done"
