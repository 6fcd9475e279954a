#!/bin/bash
# linux-flash.sh: rvxflash for Linux (the guest build's i686 program) over the real SCSI
# stack in the guest, without Wine: its SG_IO on /dev/sr0, the sr driver, the SCSI
# target's loopback fabric and user-space backend, and kdll-driveserver answering from the
# drive model (scsi-drive.sh). Each run leaves its output, exit status, seconds taken and
# trace in results/, and the server's log in a folder of its own:
#   list        the drives as lines, and with the probe as JSON (list/)
#   download    the sample firmware flashed (download/)
#   write-fails a write that ends in CHECK CONDITION 3/0C/00 (write-fails/)
#   no-answer   a load the drive never answers, then at once the next attempt's list with
#               the probe (no-answer/)
#   not-cdrom   --device naming the guest's disk
#   permission  a user without CAP_SYS_RAWIO (permission/)
#   sigint      Ctrl-C (SIGINT) during the write, and a second rvxflash on the drive
#               meanwhile (sigint/)
# tests/wine/check-linux-flash.py judges what they left.
set -uo pipefail
results=/job/results
run() { # NAME PROGRAM ARGS...: one program's output, exit status and seconds into results/
    local name=$1
    shift
    local started=$SECONDS status=0
    "$@" >"$results/$name.txt" 2>&1 </dev/null || status=$?
    echo "$status" >"$results/$name.status"
    echo "$((SECONDS - started))" >"$results/$name.seconds"
    echo "linux-flash: $name exited $status after $((SECONDS - started)) s"
}
flash() { # NAME: rvxflash flashes the sample, with its trace
    run "$1" ./rvxflash --trace "$results/$1-trace.txt" flash sample.zqx --yes
}

./zqxtool make sample.zqx --revision 1.02 >/dev/null
cp sample.zqx "$results/"
trap 'scsi-drive.sh stop; dmesg >"$results/dmesg.txt"' EXIT
scsi-drive.sh start demo.txt "$results/list" --no-wine || exit 1
run list ./rvxflash list
./rvxflash --json list --probe >"$results/list.json" 2>"$results/list-probe.txt"
echo "$?" >"$results/list-json.status"

scsi-drive.sh serve demo.txt "$results/download"
flash download
scsi-drive.sh serve write-fails.txt "$results/write-fails"
flash write-fails
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

# Ctrl-C once the write has begun (the demo's drive takes 4 s for it). With job control
# the program is a job of its own, whose SIGINT is not ignored as a background command's is.
scsi-drive.sh serve demo.txt "$results/sigint"
set -m
started=$SECONDS
./rvxflash --trace "$results/sigint-trace.txt" flash sample.zqx --yes >"$results/sigint.txt" 2>&1 \
    </dev/null &
pid=$!
for _ in $(seq 1 300); do
    grep -q 'Downloading' "$results/sigint.txt" && break
    sleep 0.1
done
sleep 1
kill -INT "$pid"
# A second flasher on the drive meanwhile is refused before it sends anything (opening
# the drive waits in the kernel until the write has ended).
run second ./rvxflash flash sample.zqx --yes
status=0
wait "$pid" || status=$?
set +m
echo "$status" >"$results/sigint.status"
echo "linux-flash: sigint exited $status after $((SECONDS - started)) s"
exit 0
