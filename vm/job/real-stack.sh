#!/bin/bash
# real-stack.sh: the shipped kdll.dll and our shipped WNASPI32.dll over a real SCSI
# stack in the guest: Wine's pass-through into Linux's SG_IO on /dev/sr0, the SCSI
# target's loopback fabric and user-space backend, and kdll-driveserver answering from
# the drive model (scsi-drive.sh). Five runs, each with its server log in a folder of
# results/: aspiinfo's listing (inquiry/), the demo download (download/), a write that
# ends in CHECK CONDITION 3/0C/00 (write-fails/), a load the drive never answers
# (no-answer/) and a probe it never answers, which the library sends twice
# (probe-no-answer/), each followed at once by the next attempt's INQUIRY from aspiinfo.
# tests/wine/check-real-stack.py judges what they left.
set -uo pipefail
job=real-stack
source stack-job.sh
export WINEDEBUG=-all

demo() { # NAME: the demo host's download on the drive, with its trace
    run "$1" wine-exec.sh n ./demo_host.exe --drive 0x0100 --auto --intercept \
        --firmware 'Z:\job\sample.zqx' --trace "Z:\\job\\results\\$1-trace.txt"
}
timed_demo() { # NAME: demo, and NAME.times: when its last status showed, when it exited (ms)
    local trace=$results/$1-trace.txt shown=0 seen=0 count
    demo "$1" &
    local pid=$!
    # wine-exec.sh bounds the program, and so this loop.
    while kill -0 "$pid" 2>/dev/null; do
        count=$(grep -c ' status "' "$trace" 2>/dev/null)
        if [ "${count:-0}" != "$seen" ]; then
            seen=$count
            shown=$(uptime_ms)
        fi
        sleep 0.1
    done
    wait "$pid"
    echo "$shown $(uptime_ms)" >"$results/$1.times"
}

wine-exec.sh n ./zqxtool.exe make sample.zqx --revision 1.02 >/dev/null
cp sample.zqx "$results/"
start_drive demo.txt "$results/inquiry" || exit 1
run aspiinfo wine-exec.sh n ./aspiinfo.exe
scsi-drive.sh serve demo.txt "$results/download"
demo download
scsi-drive.sh serve write-fails.txt "$results/write-fails"
demo write-fails
scsi-drive.sh serve no-answer.txt "$results/no-answer"
demo no-answer
run no-answer-next wine-exec.sh n ./aspiinfo.exe
scsi-drive.sh serve probe-no-answer.txt "$results/probe-no-answer"
timed_demo probe-no-answer
run probe-no-answer-next wine-exec.sh n ./aspiinfo.exe
exit 0
