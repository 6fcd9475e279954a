#!/usr/bin/env python3
"""check-real-stack.py RESULTS VM-COMMAND...: runs the guest job of the real SCSI stack
(vm/job/real-stack.sh) and judges what its runs left in RESULTS: what the user saw,
what the library traced, and what the drive server received. Exits 0 when every check
passes; each failure names the check and prints what was found and what was expected."""
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from stack_log import (DRIVE, check, check_held, check_payload, check_refused_write,  # noqa: E402
                       failures, order_check, read, server_log, traced_commands)

# Linux aborts a command the drive never answers at most this long after it reached the
# drive: the layer's pass-through time-out (45 s for START STOP UNIT, 15 s for the probe),
# and the abort's round trip through the target in the emulated machine (measured: 0.3 s).
LOAD_FREED_BOUND_MS = 45000 + 5000
PROBE_FREED_BOUND_MS = 15000 + 3000
# The program cannot end while the system still runs the probe it gave up on (Linux ends
# no process while one of its threads waits in SG_IO): its exit follows its final status
# by what is left of the probe's 15 s once the library has waited 7.2 s and the layer's
# abort 1 s, plus Linux's abort and Wine's exit (measured: 3.6 to 6.3 s).
PROBE_EXIT_BOUND_MS = 15000 - 7200 - 1000 + 3000


def main():
    results, command = sys.argv[1], sys.argv[2:]
    shutil.rmtree(results, ignore_errors=True)
    vm_status = subprocess.run(command).returncode
    check("the guest job ran to its end", vm_status, 0)

    listing = read(results, "aspiinfo.txt")
    check("aspiinfo: exit status", read(results, "aspiinfo.status").strip(), "0")
    check("aspiinfo: the drive with its identification and address",
          re.findall(r"\d+:\d+:\d+ .*CD-ROM.*", listing), f"{DRIVE}:0 ... NEMBRIKA CD-ROM RVX-4417K 1.00",
          ok=re.search(rf"{DRIVE}:0\s+CD-ROM.*NEMBRIKA.*CD-ROM RVX-4417K.*1\.00", listing) is not None)

    # The download, a write the drive refuses, a command it never answers.
    runs = [
        # run, exit status, text the user sees, trace line, restart requested
        ("download", "0", "Download has done successfully!", "transfer: result 1", True),
        ("write-fails", "2", "Fail to Download, Restart Now!",
         "sense 3/0C/00 MEDIUM ERROR: write error", True),
        ("no-answer", "2", "New F/W is something wrong. no response to Inquiry !",
         "abort answered SS_COMP, the layer gave the request back", False),
        ("probe-no-answer", "1", "Mismatch protocol between F/W and drive!",
         "< SS_ASPI_IS_BUSY", False),
    ]
    for run, status, text, traced, restart in runs:
        output, trace = read(results, f"{run}.txt"), read(results, f"{run}-trace.txt")
        check(f"{run}: exit status", read(results, f"{run}.status").strip(), status)
        check(f"{run}: the panel says", text in output, True)
        check(f"{run}: the trace says", traced in trace, True)
        check(f"{run}: shut-down requested (intercepted)", "[intercepted] ExitWindowsEx" in output, restart)
        drive, events = server_log(results, run)
        order_check(run, traced_commands(trace), drive)

    check_payload(results, "download")
    check_refused_write(results, "write-fails")

    # Commands the drive never answers: Linux aborts each at the layer's pass-through
    # time-out; the second probe never reaches the drive, which is free again in one
    # time-out, and the next attempt's INQUIRY is answered.
    held_runs = [
        # run, the commands held (as many bytes as the target keeps), bound on the hold
        ("no-answer", ["1B 00 00 00 03 00"], LOAD_FREED_BOUND_MS),
        ("probe-no-answer", ["CB 00 01 00 00 00 00 F8 02 00"], PROBE_FREED_BOUND_MS),
    ]
    for run, commands, bound in held_runs:
        after = check_held(results, run, commands, bound)
        inquiries = [c for c in after if c[2][0] == 0x12 and "good 36" in c[3]]
        check(f"{run}: the next attempt's INQUIRY was answered", len(inquiries) > 0, True)
        check(f"{run}: the next attempt lists the drive", read(results, f"{run}-next.status").strip(), "0")

    # When the last status showed and when the program exited, on the guest's clock.
    times = [int(t) for t in read(results, "probe-no-answer.times").split()]
    exited = times[1] - times[0] if len(times) == 2 and times[0] > 0 else None
    check(f"probe-no-answer: the program exited within {PROBE_EXIT_BOUND_MS} ms of its final status",
          exited, f"<= {PROBE_EXIT_BOUND_MS}", ok=exited is not None and exited <= PROBE_EXIT_BOUND_MS)

    print(f"real-stack: {len(failures)} check(s) failed" if failures else "real-stack: all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
