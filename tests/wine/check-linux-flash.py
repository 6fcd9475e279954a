#!/usr/bin/env python3
"""check-linux-flash.py RESULTS VM-COMMAND...: runs the guest job of rvxflash for Linux on
the real SCSI stack, without Wine (vm/job/linux-flash.sh), and judges what its runs left
in RESULTS: what the user saw, the exit codes, what the program traced, and what the drive
server received. Exits 0 when every check passes; each failure names the check and prints
what was found and what was expected."""
import json
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from stack_log import (KERNEL_OPCODES, check, check_held_load, check_payload,  # noqa: E402
                       check_refused_write, failures, order_check, read, server_log, traced_commands)

# The load the drive never answers: rvxflash gives up after its own 7.2 s and the layer
# hands the request back, but Linux cannot take back a command it gave the drive: it
# aborts it when the pass-through time-out for START STOP UNIT (45 s) has passed. The drive
# is free again, and the program ended, within this bound of the load reaching the drive.
FREED_BOUND_MS = 50000
PERMISSION_TEXT = "no right to send the drive the download's commands"
# Exit codes (linuxflash/ExitCode.h).
FLASHED, RESTART_NEEDED, NO_DRIVE = "0", "2", "3"


def status(results, run):
    return read(results, f"{run}.status").strip()


def main():
    results, command = sys.argv[1], sys.argv[2:]
    shutil.rmtree(results, ignore_errors=True)
    vm_status = subprocess.run(command).returncode
    check("the guest job ran to its end", vm_status, 0)

    check("list: exit status", (status(results, "list"), status(results, "list-json")), ("0", "0"))
    try:
        listed = json.loads(read(results, "list.json"))["drives"]
    except (ValueError, KeyError):
        listed = []
    check("list --json --probe: the drive", [(d["device"], d["vendor"], d["product"], d["revision"],
                                              d["rvx4417k"], d["downloadProtocol"]) for d in listed],
          [("/dev/sr0", "NEMBRIKA", "CD-ROM RVX-4417K", "1.00", True, "yes")])
    check("list: the line of the drive",
          re.search(r"/dev/sr0 +sg0 +\d+:0:1:0 +NEMBRIKA +CD-ROM RVX-4417K +1\.00 +the RVX-4417K",
                    read(results, "list.txt")) is not None, True)

    runs = [
        # run, exit status, texts the user sees, trace line
        ("download", FLASHED, ["Download has done successfully!", "Flash Writing"], "transfer: result 1"),
        ("write-fails", RESTART_NEEDED,
         ["Fail to Download, Restart Now!", "Warning: You should better to restart right now and try again !",
          "Power the computer off and on"], "sense 3/0C/00 MEDIUM ERROR: write error"),
        ("no-answer", RESTART_NEEDED, ["New F/W is something wrong. no response to Inquiry !"],
         "abort answered SS_COMP, the layer gave the request back"),
    ]
    for run, code, texts, traced in runs:
        output, trace = read(results, f"{run}.txt"), read(results, f"{run}-trace.txt")
        check(f"{run}: exit status", status(results, run), code)
        check(f"{run}: the user reads", [t for t in texts if t not in output], [])
        check(f"{run}: the trace says", traced in trace, True)
        drive, _ = server_log(results, run)
        # The next attempt after the unanswered load goes to the same server.
        after = read(results, f"{run}-next-trace.txt")
        order_check(run, traced_commands(trace) + traced_commands(after), drive)

    check_payload(results, "download")
    check_refused_write(results, "write-fails")
    after = check_held_load(results, "no-answer", FREED_BOUND_MS)
    probes = [c for c in after if c[2][:3] == bytes([0xCB, 0, 1]) and "good" in c[3]]
    check("no-answer: the next attempt's probe was answered", len(probes), 1)
    seconds = read(results, "no-answer.seconds").strip()
    check(f"no-answer: the program ended within {FREED_BOUND_MS // 1000} s of its start plus the write",
          seconds, f"<= {FREED_BOUND_MS // 1000 + 15}",
          ok=seconds.isdigit() and int(seconds) <= FREED_BOUND_MS // 1000 + 15)
    check("no-answer: the next attempt lists the drive as taking the protocol",
          (status(results, "no-answer-next"), "download protocol: yes" in read(results, "no-answer-next.txt")),
          ("0", True))

    check("not-cdrom: a device that is no CD-ROM drive is refused",
          (status(results, "not-cdrom"), "/dev/vda: not a CD-ROM drive" in read(results, "not-cdrom.txt")),
          (NO_DRIVE, True))

    output = read(results, "permission.txt")
    check("permission: exit status", status(results, "permission"), NO_DRIVE)
    check("permission: the user reads why and what to do",
          (PERMISSION_TEXT in output, "run rvxflash" in output and "as root" in output), (True, True))
    drive, _ = server_log(results, "permission")
    check("permission: nothing reached the drive but INQUIRY and Linux's own",
          [c[2].hex(" ").upper() for c in drive if c[2][0] not in KERNEL_OPCODES and c[2][0] != 0x12], [])

    check("second: a second flasher on the drive is refused",
          (status(results, "second"), "another rvxflash is using this drive" in read(results, "second.txt")),
          (NO_DRIVE, True))

    output = read(results, "sigint.txt")
    check("sigint: exit status", status(results, "sigint"), FLASHED)
    check("sigint: the program says why it goes on", "not now: the new firmware is being written" in output, True)
    check("sigint: the download ends as without it", "Download has done successfully!" in output, True)
    writes = check_payload(results, "sigint")
    check("sigint: the drive answered the write", [c[3].split(" | ")[1].split(" ")[0] for c in writes],
          ["good"])

    print(f"linux-flash: {len(failures)} check(s) failed" if failures else "linux-flash: all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
