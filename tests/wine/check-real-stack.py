#!/usr/bin/env python3
"""check-real-stack.py RESULTS VM-COMMAND...: runs the guest job of the real SCSI stack
(vm/job/real-stack.sh) and judges what its runs left in RESULTS: what the user saw,
what the library traced, and what the drive server received. Exits 0 when every check
passes; each failure names the check and prints what was found and what was expected."""
import hashlib
import os
import re
import shutil
import subprocess
import sys

# Commands that Linux sends on its own when a program opens or closes /dev/sr0 (media
# checks, the door lock), or while it looks at a new device: never the library's.
# READ(10) comes from the partition scan and from Wine, which look for a file system.
KERNEL_OPCODES = {0x00, 0x03, 0x1E, 0x25, 0x28, 0x43, 0x46, 0x4A, 0x51, 0x5A}
# The demo host and aspiinfo list the drives with the same standard INQUIRY.
HOST_INQUIRY = bytes([0x12, 0, 0, 0, 36, 0])
# The target core keeps as many command bytes as the operation code's group defines.
GROUP_LENGTH = [6, 10, 10, 12, 16, 12, 10, 10]
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
# The drive's ASPI address, as aspiinfo lists it: Wine's drive D:, the loopback target's
# portal group 1, LUN 0.
DRIVE = "0:1"
PAYLOAD_LENGTH = 63490

failures = []


def check(name, got, expected, ok=None):
    if ok is None:
        ok = got == expected
    print(f"{'ok  ' if ok else 'FAIL'} {name}: got {got!r}" + ("" if ok else f", expected {expected!r}"))
    if not ok:
        failures.append(name)


def read(results, name):
    path = os.path.join(results, name)
    if not os.path.exists(path):
        return ""
    with open(path, encoding="latin-1") as f:
        return f.read()


def server_log(results, run):
    """The server's log of a run: (sequence, ms, cdb bytes, rest) per command, and the
    events (sequence -> (ms, 'aborted'|'answered'))."""
    commands, events = [], {}
    for line in read(results, f"{run}/commands.txt").splitlines():
        m = re.match(r"(\d+) (\d+) cdb ([0-9A-F ]+) \| (.*)", line)
        if m:
            commands.append((int(m[1]), int(m[2]), bytes.fromhex(m[3]), m[4]))
            continue
        m = re.match(r"(\d+) (\d+) (\w+)$", line)
        if m:
            events[int(m[1])] = (int(m[2]), m[3])
    return commands, events


def traced_commands(trace):
    """The commands the library sent to the drive (those to empty addresses never leave
    the layer, nor those it ends as busy while the system keeps an aborted command)."""
    commands = []
    for way, rest in re.findall(rf"scsi {DRIVE} ([<>]) (.*)", trace):
        if way == ">":
            commands.append(bytes.fromhex(rest.split(" |")[0]))
        elif rest.startswith("SS_ASPI_IS_BUSY") and commands:
            commands.pop()
    return commands


def order_check(name, library, drive):
    """Every command the library traced reached the drive, in its order and with its bytes
    (as many as the target keeps); whatever else the drive received is Linux's own."""
    foreign, i = [], 0
    for cdb in (c[2] for c in drive):
        if i < len(library) and library[i][:len(cdb)] == cdb and len(cdb) == GROUP_LENGTH[cdb[0] >> 5]:
            i += 1
        elif cdb[0] not in KERNEL_OPCODES and cdb != HOST_INQUIRY:
            foreign.append(cdb.hex(" ").upper())
    check(f"{name}: the library's commands reached the drive in order", (i, len(library)),
          "all of them, at least one", ok=i == len(library) > 0)
    check(f"{name}: every other command is Linux's own", foreign, [])


def fnv1a(data):
    """FNV-1a 32, the digest the server's log gives for data out, reckoned here apart."""
    digest = 0x811C9DC5
    for byte in data:
        digest = ((digest ^ byte) * 0x01000193) & 0xFFFFFFFF
    return f"{digest:08X}"


def expected_payload(results):
    image = open(os.path.join(results, "sample.zqx"), "rb").read()
    code = image[0x800:0x10000]
    total = sum(code) & 0xFFFF
    return code + bytes([total & 0xFF, total >> 8])


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

    drive, _ = server_log(results, "download")
    writes = [c for c in drive if c[3].startswith("out ")]
    check("download: one write reached the drive", len(writes), 1)
    if writes:
        data = open(os.path.join(results, "download", f"{writes[0][0]}.out"), "rb").read()
        payload = expected_payload(results)
        check("download: the drive received the firmware's payload (SHA-256)",
              (len(data), hashlib.sha256(data).hexdigest()),
              (PAYLOAD_LENGTH, hashlib.sha256(payload).hexdigest()))
        logged = re.match(r"out (\d+) fnv ([0-9A-F]{8})", writes[0][3])
        check("download: the log's digest of the write is the payload's",
              logged.groups() if logged else writes[0][3], (str(PAYLOAD_LENGTH), fnv1a(payload)))

    drive, _ = server_log(results, "write-fails")
    check("write-fails: the drive's answer to the write",
          [c[3].split(" | ")[1] for c in drive if c[3].startswith("out ")], ["check 3/0C/00 delay"])

    # Commands the drive never answers: Linux aborts each at the layer's pass-through
    # time-out; the second probe never reaches the drive, which is free again in one
    # time-out, and the next attempt's INQUIRY is answered.
    held_runs = [
        # run, the commands held (as many bytes as the target keeps), bound on the hold
        ("no-answer", ["1B 00 00 00 03 00"], LOAD_FREED_BOUND_MS),
        ("probe-no-answer", ["CB 00 01 00 00 00 00 F8 02 00"], PROBE_FREED_BOUND_MS),
    ]
    for run, commands, bound in held_runs:
        drive, events = server_log(results, run)
        held = [c for c in drive if c[3].endswith(" held")]
        check(f"{run}: the commands held", [c[2].hex(" ").upper() for c in held], commands)
        if held:
            ends = [events.get(c[0], (None, "")) for c in held]
            check(f"{run}: the held commands were aborted", [e[1] for e in ends], ["aborted"] * len(held))
            blocked = ends[-1][0] - held[0][1] if ends[-1][0] is not None else None
            check(f"{run}: the drive was free again within {bound} ms", blocked,
                  f"<= {bound}", ok=blocked is not None and blocked <= bound)
            inquiries = [c for c in drive if c[0] > held[-1][0] and c[2][0] == 0x12 and "good 36" in c[3]]
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
