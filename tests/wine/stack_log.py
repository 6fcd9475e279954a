"""stack_log.py: what the judges of the guest's real SCSI stack share (check-real-stack.py
for the Windows binaries under Wine, check-linux-flash.py for rvxflash for Linux): the
checks and their report, the drive server's log, the commands a trace names, and the
firmware's payload."""
import os
import re

# Commands that Linux sends on its own when a program opens or closes /dev/sr0 (media
# checks, the door lock), or while it looks at a new device: never the library's.
# READ(10) comes from the partition scan and from Wine, which look for a file system.
KERNEL_OPCODES = {0x00, 0x03, 0x1E, 0x25, 0x28, 0x43, 0x46, 0x4A, 0x51, 0x5A}
# The demo host and aspiinfo list the drives with the same standard INQUIRY (rvxflash's
# discovery sends it too).
HOST_INQUIRY = bytes([0x12, 0, 0, 0, 36, 0])
# The target core keeps as many command bytes as the operation code's group defines.
GROUP_LENGTH = [6, 10, 10, 12, 16, 12, 10, 10]
# The drive's ASPI address in a trace: the first adapter (Wine's drive D:, or rvxflash's
# first CD-ROM device), target 1 (the loopback target's portal group 1), LUN 0.
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
    the layer)."""
    return [bytes.fromhex(m) for m in re.findall(rf"scsi {DRIVE} > ([0-9A-F ]+?) \|", trace)]


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


def expected_payload(results):
    image = open(os.path.join(results, "sample.zqx"), "rb").read()
    code = image[0x800:0x10000]
    total = sum(code) & 0xFFFF
    return code + bytes([total & 0xFF, total >> 8])
