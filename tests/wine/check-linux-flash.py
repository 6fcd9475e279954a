#!/usr/bin/env python3
"""check-linux-flash.py SCHEMA RESULTS VM-COMMAND...: runs the guest job of rvxflash for
Linux on the real SCSI stack, without Wine (vm/job/linux-flash.sh), and judges what its runs
left in RESULTS: what the user saw, the exit codes, what the program traced, what the drive
server received, and each JSON document against SCHEMA (docs/rvxflash.schema.json). Exits 0
when every check passes; each failure names the check and prints what was found and what
was expected."""
import glob
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
FLASHED, RESTART_NEEDED, NO_DRIVE, BAD_ARGUMENTS, CANCELLED = "0", "2", "3", "4", "5"
# A second rvxflash on the same drive is refused within this bound, whatever the first one
# is doing.
REFUSED_BOUND_MS = 1000
# The load's time-out, which the stop of stopped-load outlasts.
LOAD_TIMEOUT_MS = 7200


def status(results, run):
    return read(results, f"{run}.status").strip()


def nothing_sent(results, run):
    """No command of the program's own reached the drive: only Linux's."""
    drive, _ = server_log(results, run)
    check(f"{run}: nothing reached the drive but Linux's own commands",
          [c[2].hex(" ").upper() for c in drive if c[2][0] not in KERNEL_OPCODES], [])


def document(results, run):
    try:
        return json.loads(read(results, f"{run}.json"))
    except ValueError:
        return {}


def check_documents(results, schema_path):
    """Every document is valid against the schema and ends as its run did; what each run's
    says."""
    import jsonschema
    with open(schema_path, encoding="utf-8") as f:
        validator = jsonschema.Draft202012Validator(json.load(f))
    names = sorted(os.path.basename(p)[:-5] for p in glob.glob(os.path.join(results, "*.json")))
    check("json: the documents", len(names), ">= 13", ok=len(names) >= 13)
    for name in names:
        doc = document(results, name)
        errors = [f"{'/'.join(map(str, e.path))}: {e.message}" for e in validator.iter_errors(doc)]
        check(f"json {name}: valid against the schema", errors, [])
        code = status(results, "list-json" if name == "list" else name)
        check(f"json {name}: its exitCode is the exit status", str(doc.get("exitCode")), code)
    expected = [
        # run, result, what the message holds (None: no message), other fields
        ("json-no-command", "bad-arguments", "subcommand", {"command": None}),
        ("json-no-file", "bad-arguments", "FILE is required", {"command": "flash"}),
        ("json-unknown-command", "bad-arguments", "", {}),
        ("json-empty-device", "bad-arguments", "--device", {"command": "flash"}),
        ("json-info", "ok", None, {"file": "sample.zqx"}),
        ("json-info-directory", "bad-arguments", "/job: is a directory", {}),
        ("json-info-missing", "bad-arguments", "cannot be opened", {}),
        ("download", "flashed", None, {"writeBegan": True, "status": "Download has done successfully!"}),
        ("write-fails", "restart-needed", None, {"writeBegan": True, "restartRequested": True,
                                                 "warningAnswer": 1}),
        ("checks-sigint", "cancelled", "stopped by SIGINT", {"signal": "SIGINT", "writeBegan": False}),
        ("gone", "restart-needed", "the drive went away", {"driveGone": True, "writeBegan": True}),
    ]
    for run, result, message, fields in expected:
        doc = document(results, run)
        got = (doc.get("result"), doc.get("message"), {k: doc.get(k) for k in fields})
        ok = got[0] == result and got[2] == fields and (
            got[1] is None if message is None else message in (got[1] or ""))
        check(f"json {run}: what the document says", got, (result, message, fields), ok=ok)
    check("json-info: the file as the downloader reads it",
          document(results, "json-info").get("firmware", {}).get("verdict"), "test-file")
    check("json-list: the drive", [d["device"] for d in document(results, "json-list").get("drives", [])],
          ["/dev/sr0"])


def main():
    schema, results, command = sys.argv[1], sys.argv[2], sys.argv[3:]
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


    output = read(results, "sigint.txt")
    check("sigint: exit status", status(results, "sigint"), FLASHED)
    check("sigint: the program says why it goes on", "not now: the new firmware is being written" in output, True)
    check("sigint: the download ends as without it", "Download has done successfully!" in output, True)
    writes = check_payload(results, "sigint")
    check("sigint: the drive answered the write", [c[3].split(" | ")[1].split(" ")[0] for c in writes],
          ["good"])

    check("second: refused through /dev/sg0 at once, naming the first",
          (status(results, "second"), "another rvxflash (process" in read(results, "second.txt")),
          (NO_DRIVE, True))
    millis = read(results, "second.ms").strip()
    check(f"second: refused within {REFUSED_BOUND_MS} ms", millis, f"<= {REFUSED_BOUND_MS}",
          ok=millis.isdigit() and int(millis) <= REFUSED_BOUND_MS)

    for run, code, text in [("no-terminal", BAD_ARGUMENTS, "no terminal to ask whether to flash"),
                            ("answered-no", CANCELLED, "not flashed; nothing was sent to the drive")]:
        check(f"{run}: exit status and text", (status(results, run), text in read(results, run + ".txt")),
              (code, True))
        nothing_sent(results, run)

    check("exclusive: a program past the lock meets the exclusive open",
          (status(results, "exclusive"),
           "another program holds the drive exclusively" in read(results, "exclusive.txt")),
          (NO_DRIVE, True))
    run = "checks-sigint"
    check(f"{run}: exit status", status(results, run), CANCELLED)
    drive, _ = server_log(results, run)
    order_check(run, traced_commands(read(results, f"{run}-trace.txt")), drive)
    locks = [c[2][4] & 3 for c in drive if c[2][0] == 0x1E]
    check(f"{run}: the tray was locked, then unlocked last", locks, "a lock, the unlock last",
          ok=len(locks) >= 2 and any(locks[:-1]) and locks[-1] == 0)
    check(f"{run}: nothing was written", [c for c in drive if c[2][0] == 0xCB and c[2][2] == 4], [])

    run = "quit-tstp"
    output = read(results, f"{run}.txt")
    check(f"{run}: exit status", status(results, run), FLASHED)
    check(f"{run}: both refused, and said why",
          ("SIGQUIT: not now" in output, "SIGTSTP: not now" in output), (True, True))
    check(f"{run}: the download ends as without them", "Download has done successfully!" in output, True)
    check_payload(results, run)

    run = "stopped-load"
    check(f"{run}: exit status", (status(results, run), "Download has done successfully!" in
                                  read(results, f"{run}.txt")), (FLASHED, True))
    load = re.search(r"> 1B 00 00 00 03 .*\n.*< SS_COMP, .* (\d+) ms: good", read(results, f"{run}-trace.txt"))
    taken = int(load[1]) if load else None
    check(f"{run}: the load, answered good, took longer than its time-out while stopped", taken,
          f"> {LOAD_TIMEOUT_MS}", ok=taken is not None and taken > LOAD_TIMEOUT_MS)

    run = "long-path"
    check(f"{run}: the named file's path and the cut one", read(results, f"{run}.lengths").split(),
          ["300", "259"])
    check(f"{run}: exit status", status(results, run), FLASHED)
    check_payload(results, run, "long-path.zqx")

    run = "gone"
    check(f"{run}: exit status, and the user reads why",
          (status(results, run), "the drive went away (Linux: " in read(results, f"{run}.txt")),
          (RESTART_NEEDED, True))
    check("no run dumped core", [os.path.basename(p) for p in glob.glob(os.path.join(results, "core.*"))], [])
    check_documents(results, schema)

    print(f"linux-flash: {len(failures)} check(s) failed" if failures else "linux-flash: all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
