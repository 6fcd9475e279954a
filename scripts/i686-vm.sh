#!/usr/bin/env bash
# i686-vm.sh image
# i686-vm.sh run [--timeout SECONDS] [--results DIR] [--env NAME=VALUE]... FOLDER COMMAND [ARGS...]
#
# An emulated i386 PC (qemu-system-i386, TCG) with Debian bookworm i386, 32-bit Wine and
# Xvfb, for the i686 programs that this x86_64 machine cannot execute at all.
#
#   image  builds the guest once into build/i686-vm/image and keeps it; it is built again
#          when its recipe changes (vm/image/*, scripts/wine-prefix.sh). Needs root.
#   run    boots that image with a copy of FOLDER on a job disk and runs COMMAND there.
#          The root file system is a snapshot: no run changes the image. In the guest the
#          copy of FOLDER is /job, COMMAND's working folder; PATH holds wine-exec.sh,
#          with-display.sh and the jobs of vm/job/, and COMMAND runs on an Xvfb display
#          with the image's win32 Wine prefix. Whatever COMMAND writes into /job/results
#          (Z:\job\results for a Windows program) is copied into DIR; each --env is set
#          in COMMAND's environment. Prints COMMAND's
#          output and exits with its status. --timeout bounds COMMAND (default 900 s);
#          the whole guest run gets 120 s more. KDLL_VM_SMP sets the guest's processor
#          count (default 1: ctest runs two guests at once on this machine's two cores).
#
# When the guest itself fails (no image, a kernel Oops or panic, a time-out, a guest that
# stopped before the job ended) the run says which and exits with 125.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
vmdir=$root/build/i686-vm
image=$vmdir/image
guest_failure=125
smp=${KDLL_VM_SMP:-1}
# What a run needs on this machine: the emulator, and mkfs.ext4 and debugfs for the job disk.
run_packages=(qemu-system-x86 e2fsprogs)
envs=()

say() { echo "i686-vm: $*" >&2; }

recipe_hash() {
    (cd "$root" && cat vm/image/* scripts/wine-prefix.sh) | sha256sum | cut -d' ' -f1
}

# boot_guest ROOTMODE LIMIT FOLDER COMMAND...: one boot of the guest with FOLDER as its
# job. Leaves the console log, the status and the output in $run; returns 0 when the job
# ran to its end, whatever its status, and 1 (with the reason said) when the guest failed.
boot_guest() {
    local rootmode=$1 limit=$2 folder=$3
    shift 3
    local stage=$run/job
    mkdir -p "$stage/.vm" "$stage/results"
    cp -a "$folder/." "$stage/"
    cp "$root/vm/job/"* "$root/scripts/with-display.sh" "$root/scripts/wine-exec.sh" \
        "$root/scripts/wine-prefix.sh" "$stage/.vm/"
    printf '%s\0' "$@" >"$stage/.vm/command"
    : >"$stage/.vm/env"
    [ ${#envs[@]} -eq 0 ] || printf '%s\0' "${envs[@]}" >"$stage/.vm/env"
    echo "$limit" >"$stage/.vm/limit"
    local size_mb=$(($(du -sm "$stage" | cut -f1) + 256))
    mkfs.ext4 -q -F -O ^has_journal -L kdll-job -d "$stage" "$run/job.img" "${size_mb}M" >/dev/null

    local drive=file=$image/root.img,if=virtio,format=raw
    [ "$rootmode" = writable ] || drive=$drive,snapshot=on
    local started=$SECONDS qemu_status=0
    timeout --kill-after=10 $((limit + 120)) qemu-system-i386 \
        -accel tcg -cpu max,-smap -smp "$smp" -m 1024 \
        -display none -monitor none -serial "file:$run/console.log" -nic none -no-reboot \
        -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
        -append "console=ttyS0 panic=-1 oops=panic mitigations=off" \
        -drive "$drive" -drive "file=$run/job.img,if=virtio,format=raw" \
        || qemu_status=$?
    say "guest ran $((SECONDS - started)) s"

    local oops
    oops=$(grep -a -m 5 -E 'Oops|BUG: |Kernel panic|general protection fault' "$run/console.log" || true)
    if [ -n "$oops" ]; then
        say "FAIL: the guest kernel printed an Oops or panicked:"
        printf '%s\n' "$oops" >&2
        tail -n 40 "$run/console.log" >&2
        return 1
    fi
    if [ "$qemu_status" -eq 124 ] || [ "$qemu_status" -eq 137 ]; then
        say "FAIL: time-out: the guest was still running after $((limit + 120)) s"
        tail -n 20 "$run/console.log" >&2
        return 1
    fi
    if [ "$qemu_status" -ne 0 ]; then
        say "FAIL: qemu-system-i386 exited with $qemu_status"
        tail -n 20 "$run/console.log" >&2
        return 1
    fi
    debugfs -R 'cat /.vm/status' "$run/job.img" >"$run/status" 2>/dev/null || true
    debugfs -R 'cat /.vm/output.txt' "$run/job.img" >"$run/output.txt" 2>/dev/null || true
    if ! grep -qx '[0-9]\+' "$run/status"; then
        say "FAIL: the guest stopped before the job ended"
        tail -n 20 "$run/console.log" >&2
        return 1
    fi
    if grep -aq 'kdll-vm: init failed' "$run/console.log"; then
        say "FAIL: $(grep -a -m 1 'kdll-vm: init failed' "$run/console.log")"
        return 1
    fi
    return 0
}

build_image() {
    local hash
    hash=$(recipe_hash)
    if [ -f "$image/recipe" ] && [ "$(cat "$image/recipe")" = "$hash" ]; then
        say "guest image up to date: $image"
        return 0
    fi
    if [ "$(id -u)" -ne 0 ]; then
        say "building the guest image needs root (debootstrap, chroot, binfmt_misc)"
        return 1
    fi
    say "building the guest image (several minutes, once)"
    local started=$SECONDS next=$vmdir/image.new
    rm -rf "$image"
    "$root/vm/image/build.sh" "$next"
    say "image built in $((SECONDS - started)) s; making the Wine prefix in it"
    local boot_started=$SECONDS
    local image=$next
    run=$(mktemp -d "$vmdir/run.XXXXXX")
    mkdir -p "$run/prefix-job"
    cp "$root/vm/image/make-prefix.sh" "$run/prefix-job/"
    if ! boot_guest writable 1500 "$run/prefix-job" ./make-prefix.sh; then
        return 1
    fi
    cat "$run/output.txt"
    [ "$(cat "$run/status")" = 0 ] || { say "making the Wine prefix failed"; return 1; }
    rm -rf "$run"
    say "Wine prefix made in $((SECONDS - boot_started)) s"
    echo "$hash" >"$next/recipe"
    mv "$next" "$vmdir/image"
    say "guest image ready: $((SECONDS - started)) s, $(du -sm "$vmdir/image" | cut -f1) MB"
}

ensure_image() {
    mkdir -p "$vmdir"
    exec 9>"$vmdir/image.lock"
    flock 9
    "$root/scripts/setup.sh" "${run_packages[@]}" debootstrap qemu-user-static cpio kmod xz-utils
    if ! build_image; then
        say "FAIL: no guest image: building it failed"
        exit $guest_failure
    fi
    flock -u 9
}

usage() {
    sed -n '2,3p' "$0" | sed 's/^# //' >&2
    exit 2
}

[ $# -ge 1 ] || usage
case "$1" in
    image)
        ensure_image
        ;;
    run)
        shift
        limit=900
        results=
        while [ $# -gt 0 ]; do
            case "$1" in
                --timeout) limit=$2; shift 2 ;;
                --results) results=$2; shift 2 ;;
                --env)
                    [[ "${2:-}" == [A-Za-z_]*=* ]] || { say "--env takes NAME=VALUE"; exit 2; }
                    envs+=("$2"); shift 2 ;;
                *) break ;;
            esac
        done
        [ $# -ge 2 ] || usage
        folder=$1
        shift
        [ -d "$folder" ] || { say "no folder $folder"; exit 2; }
        "$root/scripts/setup.sh" "${run_packages[@]}"
        if [ ! -f "$image/recipe" ]; then
            say "FAIL: no guest image (scripts/i686-vm.sh image builds it)"
            exit $guest_failure
        fi
        if [ "$(cat "$image/recipe")" != "$(recipe_hash)" ]; then
            say "FAIL: the guest image is older than its recipe (scripts/i686-vm.sh image rebuilds it)"
            exit $guest_failure
        fi
        run=$(mktemp -d "$vmdir/run.XXXXXX")
        trap 'rm -rf "$run"' EXIT
        boot_guest snapshot "$limit" "$folder" "$@" || exit $guest_failure
        cat "$run/output.txt"
        if [ -n "$results" ]; then
            mkdir -p "$results"
            debugfs -R "rdump /results $run" "$run/job.img" 2>/dev/null
            cp -a "$run/results/." "$results/"
        fi
        status=$(cat "$run/status")
        if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
            say "FAIL: time-out: the program ran past its bound of $limit s in the guest"
        fi
        exit "$status"
        ;;
    *)
        usage
        ;;
esac
