"""stack_log.py: what the judges of the guest's real SCSI stack share (check-real-stack.py
for the Windows binaries under Wine, check-linux-flash.py for rvxflash for Linux): the
checks and their report, the drive server's log, the commands a trace names, and the
firmware's payload."""
import hashlib
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
    the layer, nor those it ends as busy while the system keeps an aborted command, nor
    those that rvxflash keeps back after a stop, which end SS_ABORTED at once)."""
    commands = []
    for way, rest in re.findall(rf"scsi {DRIVE} ([<>]) (.*)", trace):
        if way == ">":
            commands.append(bytes.fromhex(rest.split(" |")[0]))
        elif rest.startswith(("SS_ASPI_IS_BUSY", "SS_ABORTED")) and commands:
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


def expected_payload(results, image_file="sample.zqx"):
    image = open(os.path.join(results, image_file), "rb").read()
    code = image[0x800:0x10000]
    total = sum(code) & 0xFFFF
    return code + bytes([total & 0xFF, total >> 8])


def check_payload(results, run, image_file="sample.zqx"):
    """The run's one write reached the drive with exactly the payload of the firmware file
    (in results); the server's log of the writes."""
    drive, _ = server_log(results, run)
    writes = [c for c in drive if c[3].startswith("out ")]
    check(f"{run}: one write reached the drive", len(writes), 1)
    if writes:
        data = open(os.path.join(results, run, f"{writes[0][0]}.out"), "rb").read()
        payload = expected_payload(results, image_file)
        check(f"{run}: the drive received the firmware's payload (SHA-256)",
              (len(data), hashlib.sha256(data).hexdigest()),
              (PAYLOAD_LENGTH, hashlib.sha256(payload).hexdigest()))
        logged = re.match(r"out (\d+) fnv ([0-9A-F]{8})", writes[0][3])
        check(f"{run}: the log's digest of the write is the payload's",
              logged.groups() if logged else writes[0][3], (str(PAYLOAD_LENGTH), fnv1a(payload)))
    return writes


def check_refused_write(results, run):
    drive, _ = server_log(results, run)
    check(f"{run}: the drive's answer to the write",
          [c[3].split(" | ")[1] for c in drive if c[3].startswith("out ")], ["check 3/0C/00 delay"])


def check_held(results, run, commands, bound_ms):
    """The commands the drive never answered (as many bytes as the target keeps) were
    aborted, and the drive free again, within bound_ms of the first reaching the drive;
    the commands the drive received after them."""
    drive, events = server_log(results, run)
    held = [c for c in drive if c[3].endswith(" held")]
    check(f"{run}: the commands held", [c[2].hex(" ").upper() for c in held], commands)
    if not held:
        return []
    ends = [events.get(c[0], (None, "")) for c in held]
    check(f"{run}: the held commands were aborted", [e[1] for e in ends], ["aborted"] * len(held))
    blocked = ends[-1][0] - held[0][1] if ends[-1][0] is not None else None
    check(f"{run}: the drive was free again within {bound_ms} ms", blocked, f"<= {bound_ms}",
          ok=blocked is not None and blocked <= bound_ms)
    return [c for c in drive if c[0] > held[-1][0]]


def check_held_load(results, run, bound_ms):
    """The load the drive never answered, as check_held."""
    return check_held(results, run, ["1B 00 00 00 03 00"], bound_ms)
