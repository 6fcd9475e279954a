#!/bin/bash
# scsi-drive.sh start SCENARIO LOGDIR [--no-wine] | serve SCENARIO LOGDIR | stop
# In the guest: a CD-ROM drive that Linux sees as real, answered by the drive server.
#   start  makes a device of the SCSI target's user-space backend (target_core_user),
#          starts kdll-driveserver on it with SCENARIO, presents it through the loopback
#          fabric (tcm_loop), waits for /dev/sr0 and maps Wine's drive D: to it (typed
#          CD-ROM): \\.\D: then opens the real device. The server logs into LOGDIR.
#          --no-wine leaves Wine out, for Linux programs alone.
#   serve  restarts the server with another scenario (the device stays).
#   stop   takes it all down again, in the reverse order.
# Prints what it does; exits non-zero, saying why, when a step fails.
set -euo pipefail
target=/sys/kernel/config/target
device=$target/core/user_1/rvx
# WWNs of the loopback target and of the initiator it connects (naa. + 16 hex digits).
wwn=naa.5001405000004417
initiator=naa.5001405000000001
tpg=$target/loopback/$wwn/tpgt_1
pidfile=/run/kdll-driveserver.pid

say() { echo "scsi-drive: $*"; }
fail() { say "FAIL: $*"; exit 1; }

wait_for() { # SECONDS TEST...
    local limit=$1
    shift
    for _ in $(seq 1 $((limit * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

start_server() { # SCENARIO LOGDIR
    local uio=
    for u in /sys/class/uio/uio*; do
        # The backend names its UIO device tcm-user/HBA/NAME/CONFIG.
        case "$(cat "$u/name")" in tcm-user/1/rvx/*) uio=/dev/$(basename "$u") ;; esac
    done
    [ -n "$uio" ] || fail "no UIO device of the backend"
    mkdir -p "$2"
    rm -f "$2/ready"
    # Its output goes to a file: a server holding the job's output pipe would keep the
    # job from ending.
    /job/kdll-driveserver --uio "$uio" --scenario "$1" --log "$2" >>"$2/server.log" 2>&1 &
    echo $! >"$pidfile"
    wait_for 10 test -e "$2/ready" || fail "the drive server did not start: $(cat "$2/server.log")"
    say "drive server $(cat "$pidfile") on $uio with $(basename "$1")"
}

stop_server() {
    [ -f "$pidfile" ] || return 0
    local pid
    pid=$(cat "$pidfile")
    kill -TERM "$pid" 2>/dev/null || true
    wait_for 5 sh -c "! kill -0 $pid 2>/dev/null" || kill -KILL "$pid" 2>/dev/null || true
    rm -f "$pidfile"
}

case "${1:-}" in
start)
    case "$#:${4:-}" in
        3: | 4:--no-wine) ;;
        *) fail "usage: scsi-drive.sh start SCENARIO LOGDIR [--no-wine]" ;;
    esac
    [ -d "$target" ] || fail "no SCSI target in configfs ($target)"
    mkdir -p "$device"
    echo -n "dev_config=kdll/rvx" >"$device/control"
    echo -n "dev_size=1048576" >"$device/control"
    # Aborts reach the server, which ends the aborted command as a drive does; the
    # backend's own time-out (seconds) only ends a command the server never answers,
    # and must be longer than any pass-through time-out under test.
    echo 1 >"$device/attrib/tmr_notification"
    echo 600 >"$device/attrib/cmd_time_out"
    echo 1 >"$device/enable"
    start_server "$2" "$3"
    # The initiator's nexus first: a LUN linked without it is not added to the SCSI host.
    mkdir -p "$tpg"
    echo "$initiator" >"$tpg/nexus"
    mkdir -p "$tpg/lun/lun_0"
    ln -s "$device" "$tpg/lun/lun_0/rvx"
    wait_for 30 test -b /dev/sr0 || fail "no /dev/sr0 appeared: $(dmesg | tail -n 5)"
    say "/dev/sr0: $(cat /sys/block/sr0/device/vendor) $(cat /sys/block/sr0/device/model)"
    [ $# -eq 3 ] || exit 0 # --no-wine
    # Wine's drive D: is the device (d::) with a folder as its mount point (d:), typed
    # CD-ROM in the registry so that GetDriveType says so.
    mkdir -p /mnt/rvx
    ln -sfn /dev/sr0 "$WINEPREFIX/dosdevices/d::"
    ln -sfn /mnt/rvx "$WINEPREFIX/dosdevices/d:"
    "$WINE" reg add 'HKLM\Software\Wine\Drives' /v d: /t REG_SZ /d cdrom /f >/dev/null 2>&1 \
        || fail "cannot type drive D: as a CD-ROM"
    ;;
serve)
    [ $# -eq 3 ] || fail "usage: scsi-drive.sh serve SCENARIO LOGDIR"
    stop_server
    start_server "$2" "$3"
    ;;
stop)
    # The LUN goes first (the kernel keeps a nexus that still has one), the server last
    # (the LUN's removal may still send it commands).
    rm -f "$tpg/lun/lun_0/rvx"
    [ -d "$tpg/lun/lun_0" ] && rmdir "$tpg/lun/lun_0"
    [ -d "$tpg" ] && { echo NULL >"$tpg/nexus" || true; }
    for dir in "$tpg" "$target/loopback/$wwn" "$device" "$target/core/user_1"; do
        [ -d "$dir" ] && rmdir "$dir"
    done
    stop_server
    say "stopped"
    ;;
*)
    fail "usage: scsi-drive.sh start SCENARIO LOGDIR | serve SCENARIO LOGDIR | stop"
    ;;
esac
