#!/bin/bash
# linux-flash.sh: rvxflash for Linux (the guest build's i686 program) over the real SCSI
# stack in the guest, without Wine: its SG_IO on /dev/sr0, the sr driver, the SCSI
# target's loopback fabric and user-space backend, and kdll-driveserver answering from the
# drive model (scsi-drive.sh). Each run leaves its output, exit status, seconds taken and
# trace in results/ (with --json, its document in NAME.json and its lines in NAME.txt),
# and the server's log in a folder of its own:
#   list          the drives as lines, and with the probe as JSON (list/)
#   json-*        command lines refused, info, list: one document each
#   download      the sample firmware flashed, with --json (download/)
#   write-fails   a write that ends in CHECK CONDITION 3/0C/00, with --json (write-fails/)
#   no-answer     a load the drive never answers, then at once the next attempt's list with
#                 the probe (no-answer/)
#   not-cdrom     --device naming the guest's disk
#   permission    a user without CAP_SYS_RAWIO (permission/)
#   no-terminal   no --yes and no terminal to ask on (no-terminal/)
#   answered-no   "n" typed at the question on a terminal (answered-no/)
#   sigint        Ctrl-C (SIGINT) during the write, and a second rvxflash through /dev/sg0
#                 meanwhile (sigint/)
#   checks-sigint Ctrl-C during the checks, while the drive ejects slowly (checks-sigint/),
#                 and meanwhile a program past the lock refused by the exclusive open
#   quit-tstp     SIGQUIT, then Ctrl-Z (SIGTSTP), during the write (quit-tstp/)
#   stopped-load  the program stopped (SIGSTOP) for longer than the load's time-out while
#                 the drive loads its new firmware, then continued (stopped-load/)
#   long-path     a firmware file at a path of 300 bytes, another at its first 259 bytes
#                 (long-path/)
#   gone          the drive deleted from Linux during the write, with --json (gone/)
# tests/wine/check-linux-flash.py judges what they left.
set -uo pipefail
job=linux-flash
source stack-job.sh
json() { # NAME ARGS...: rvxflash --json ARGS: its document, lines and exit status
    local name=$1 status=0
    shift
    ./rvxflash --json "$@" >"$results/$name.json" 2>"$results/$name.txt" </dev/null || status=$?
    echo "$status" >"$results/$name.status"
    echo "$job: $name exited $status"
}
flash() { # NAME [--json]: rvxflash flashes the sample, with its trace
    local name=$1
    shift
    if [ "${1:-}" = --json ]; then
        json "$name" --trace "$results/$name-trace.txt" flash sample.zqx --yes
    else
        run "$name" ./rvxflash --trace "$results/$name-trace.txt" flash sample.zqx --yes
    fi
}
# background NAME [--json] ARGS...: rvxflash ARGS as a job of its own (with job control its
# SIGINT is not ignored as a background command's is), its trace in NAME-trace.txt, its
# lines in NAME.txt (with --json its document in NAME.json); $pid is it.
background() {
    local name=$1 trace=$results/$1-trace.txt
    shift
    set -m
    if [ "$1" = --json ]; then
        ./rvxflash --trace "$trace" "$@" >"$results/$name.json" 2>"$results/$name.txt" </dev/null &
    else
        ./rvxflash --trace "$trace" "$@" >"$results/$name.txt" 2>&1 </dev/null &
    fi
    pid=$!
    set +m
    started=$SECONDS
}
finish() { # NAME: waits for the background run and keeps its status
    local status=0
    wait "$pid" || status=$?
    echo "$status" >"$results/$1.status"
    echo "$job: $1 exited $status after $((SECONDS - started)) s"
}

./zqxtool make sample.zqx --revision 1.02 >/dev/null
cp sample.zqx "$results/"
ulimit -c unlimited
echo "$results/core.%e.%p" >/proc/sys/kernel/core_pattern
start_drive demo.txt "$results/list" --no-wine || exit 1
run list ./rvxflash list
./rvxflash --json list --probe >"$results/list.json" 2>"$results/list-probe.txt"
echo "$?" >"$results/list-json.status"

# Command lines refused, and info: a document each.
json json-no-command
json json-no-file flash
json json-unknown-command frobnicate
json json-empty-device flash --device "" sample.zqx
json json-info info sample.zqx
json json-info-directory info /job
json json-info-missing info /job/none.zqx
json json-list list

scsi-drive.sh serve demo.txt "$results/download"
flash download --json
scsi-drive.sh serve write-fails.txt "$results/write-fails"
flash write-fails --json
scsi-drive.sh serve no-answer.txt "$results/no-answer"
flash no-answer
run no-answer-next ./rvxflash --trace "$results/no-answer-next-trace.txt" list --probe

# A device that is no CD-ROM drive: the guest's own disk.
run not-cdrom ./rvxflash flash sample.zqx --device /dev/vda --yes

# A user who may read the firmware file and run the program, without CAP_SYS_RAWIO.
scsi-drive.sh serve demo.txt "$results/permission"
chmod a+rx /job /job/rvxflash
chmod a+r sample.zqx
run permission setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all \
    ./rvxflash flash sample.zqx --yes

# Without --yes the program asks: with no terminal it cannot, and with one it takes "n".
scsi-drive.sh serve demo.txt "$results/no-terminal"
run no-terminal ./rvxflash flash sample.zqx
scsi-drive.sh serve demo.txt "$results/answered-no"
printf 'n\n' | script -qec "./rvxflash flash sample.zqx" /dev/null >"$results/answered-no.txt" 2>&1
echo "$?" >"$results/answered-no.status"

# Ctrl-C once the write has begun (the demo's drive takes 4 s for it), and meanwhile a
# second flasher through the drive's generic device, which is refused at once.
scsi-drive.sh serve demo.txt "$results/sigint"
background sigint flash sample.zqx --yes
wait_for_line "$results/sigint.txt" Downloading
sleep 1
kill -INT "$pid"
second_started=$(uptime_ms)
run second ./rvxflash flash sample.zqx --device /dev/sg0 --yes
echo $(($(uptime_ms) - second_started)) >"$results/second.ms"
finish sigint

# Ctrl-C while the drive ejects its medium (3 s) during the checks.
printf '%s\n' 'adapters 1' 'device 0 1 rvx revision 1.00' 'fault 0 1 unload delay 3000' \
    >slow-unload.txt
scsi-drive.sh serve slow-unload.txt "$results/checks-sigint"
background checks-sigint --json flash sample.zqx --yes
wait_for_line "$results/checks-sigint-trace.txt" '> 1B 00 00 00 02'
# Meanwhile a program that passes the flashers' lock (a /run of its own, where the lock
# files go without /run/lock) meets the exclusive open.
run exclusive unshare --mount sh -c \
    'mount -t tmpfs other-locks /run && exec ./rvxflash flash sample.zqx --yes'
kill -INT "$pid"
finish checks-sigint

# SIGQUIT, then Ctrl-Z, during the write: both refused.
scsi-drive.sh serve demo.txt "$results/quit-tstp"
background quit-tstp flash sample.zqx --yes
wait_for_line "$results/quit-tstp.txt" Downloading
sleep 1
kill -QUIT "$pid"
sleep 1
kill -TSTP "$pid"
finish quit-tstp

# Stopped for 12 s while the drive takes 5 s to load its new firmware (the load's time-out
# is 7.2 s), then continued.
printf '%s\n' 'adapters 1' 'device 0 1 rvx revision 1.00' 'fault 0 1 write delay 1500' \
    'fault 0 1 load delay 5000' >slow-load.txt
scsi-drive.sh serve slow-load.txt "$results/stopped-load"
background stopped-load flash sample.zqx --yes
wait_for_line "$results/stopped-load-trace.txt" '> 1B 00 00 00 03'
kill -STOP "$pid"
sleep 12
kill -CONT "$pid"
finish stopped-load

# The file named at a path of 300 bytes; at its first 259 bytes another firmware file.
long=$results/long-path-files/$(printf 'd%.0s' $(seq 1 200))
mkdir -p "$long"
named=$long/$(printf 'f%.0s' $(seq 1 $((300 - ${#long} - 5)))).zqx
cut=${named:0:259}
./zqxtool make "$named" --revision 1.03 >/dev/null
cp sample.zqx "$cut"
cp "$named" "$results/long-path.zqx"
echo "${#named} ${#cut}" >"$results/long-path.lengths"
scsi-drive.sh serve demo.txt "$results/long-path"
run long-path ./rvxflash --trace "$results/long-path-trace.txt" flash "$named" --yes
rm -rf "$results/long-path-files"

# The drive deleted from Linux while the firmware is written (last: the drive is gone).
scsi-drive.sh serve demo.txt "$results/gone"
background gone --json flash sample.zqx --yes
wait_for_line "$results/gone-trace.txt" 'row 6 .* in progress'
sleep 1
for d in /sys/class/scsi_device/*; do
    [ "$(cat "$d/device/type")" = 5 ] && echo 1 >"$d/device/delete"
done
finish gone
exit 0
