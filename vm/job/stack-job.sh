#!/bin/bash
# stack-job.sh: what the jobs on the guest's real SCSI stack share, sourced by real-stack.sh
# and linux-flash.sh: where the results go, one run's output, exit status and seconds, the
# guest's clock, a bounded wait for a line, and the drive brought up (scsi-drive.sh) and
# taken down again, with the kernel's log, when the job ends. job: the job's name, for its
# lines.
results=/job/results

run() { # NAME COMMAND...: one command's output, exit status and seconds into results/
    local name=$1
    shift
    local started=$SECONDS status=0
    "$@" >"$results/$name.txt" 2>&1 </dev/null || status=$?
    echo "$status" >"$results/$name.status"
    echo "$((SECONDS - started))" >"$results/$name.seconds"
    echo "$job: $name exited $status after $((SECONDS - started)) s"
}

uptime_ms() { # ms since boot, as the drive server's clock (CLOCK_MONOTONIC: the guest never sleeps)
    local up
    read -r up _ </proc/uptime
    echo $((10#${up/./}0))
}

wait_for_line() { # FILE PATTERN: waits up to 30 s for a line of FILE to match PATTERN
    for _ in $(seq 1 300); do
        grep -q -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "$job: no '$2' in $1"
    return 1
}

start_drive() { # SCENARIO LOGDIR [--no-wine]: the drive, taken down when the job ends
    trap 'scsi-drive.sh stop; dmesg >"$results/dmesg.txt"' EXIT
    scsi-drive.sh start "$@"
}
