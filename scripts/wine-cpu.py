#!/usr/bin/env python3
"""Chooses the processor of one Wine prefix and prints it.

Every system call a Windows program makes under Wine is a request to the
prefix's server and a wait for its answer. With the server and the program
on different processors of a virtual machine, each answer wakes an idle
processor, which can take longer than the request itself; on one processor
it is a plain switch between two processes. So all of a prefix's processes
share one processor.

    wine-cpu.py PREFIX          the prefix is made: record its weight and
                                give it a processor for its server
    wine-cpu.py --start PREFIX PID
                                the program PID is starting in the prefix

A prefix weighs 1, or ORVANE_WINE_CPU_WEIGHT when that is set as it is made
(a prefix made for one long test weighs more). The choice is made again at
each program start: an idle prefix takes the allowed processor with the
least weight of prefixes running a program right now, and moves its server
and its service processes there; a prefix with a program of its own still
running keeps its processor, unless it shares it with another busy prefix
while a processor stands idle: then it moves there with all its processes.
Choosing once per prefix, when the prefixes were made, left one processor
of two idle for most of a test run: the prefixes made at the same moment at
the start could not know which of them would still be busy later; and two
long programs that met on one processor stayed there after the third, on
the other, had ended.

The choices are kept in a ledger of this user's prefixes, read and written
under a lock: two starts at once never count one another out.
"""
import fcntl
import json
import os
import sys
import tempfile

CPU_FILE = ".orvane-cpu"


def recorded_cpu(prefix):
    try:
        with open(os.path.join(prefix, CPU_FILE)) as file:
            return int(file.read().strip())
    except (OSError, ValueError):
        return None


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    return True


def read_ledger(ledger_file):
    """The ledger's entries, {prefix: {"weight": w, "pids": [...]}}, of
    prefixes that still exist, with the programs still running."""
    ledger_file.seek(0)
    try:
        entries = json.loads(ledger_file.read() or "{}")
    except ValueError:
        return {}
    ledger = {}
    for prefix, entry in entries.items() if isinstance(entries, dict) else []:
        if not isinstance(entry, dict) or not os.path.isdir(prefix):
            continue
        try:
            weight = max(1, int(entry.get("weight", 1)))
            pids = [int(pid) for pid in entry.get("pids", [])]
        except (TypeError, ValueError):
            continue
        ledger[str(prefix)] = {"weight": weight, "pids": [pid for pid in pids if alive(pid)]}
    return ledger


def write_ledger(ledger_file, ledger):
    ledger_file.seek(0)
    ledger_file.truncate()
    ledger_file.write(json.dumps(ledger, indent=1, sort_keys=True))


def busy_load(ledger, allowed, prefix):
    """Per processor, the weight of the other prefixes running a program."""
    load = {cpu: 0 for cpu in allowed}
    for other, entry in ledger.items():
        cpu = recorded_cpu(other)
        if other != prefix and entry["pids"] and cpu in load:
            load[cpu] += entry["weight"]
    return load


def keeps_processor(entry, current, load):
    """Whether a prefix stays where it is: it is running a program there,
    and it either has that processor to itself or no other is idle. A busy
    prefix moves only to a processor no busy prefix is on, so two busy
    prefixes never swap back and forth."""
    if not entry["pids"] or current not in load:
        return False
    return load[current] == 0 or all(load[cpu] > 0 for cpu in load)


def least_loaded(load, current):
    """The processor with the least load; the current one among equals."""
    return min(load, key=lambda cpu: (load[cpu], cpu != current, cpu))


def prefix_of_process(pid):
    try:
        with open("/proc/%d/environ" % pid, "rb") as file:
            variables = file.read().split(b"\0")
    except OSError:
        return None
    for variable in variables:
        if variable.startswith(b"WINEPREFIX="):
            return os.path.abspath(os.fsdecode(variable[len(b"WINEPREFIX="):]))
    return None


def move_prefix(prefix, cpu):
    """Puts every thread of every process of the prefix on the processor."""
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or prefix_of_process(int(entry)) != prefix:
            continue
        try:
            threads = os.listdir("/proc/%s/task" % entry)
        except OSError:
            continue
        for thread in threads:
            try:
                os.sched_setaffinity(int(thread), {cpu})
            except OSError:
                pass


def write_choice(prefix, cpu):
    os.makedirs(prefix, exist_ok=True)
    with open(os.path.join(prefix, CPU_FILE), "w") as file:
        file.write("%d\n" % cpu)


def choose(prefix, weight, pid):
    """The prefix's processor: pid None when the prefix is made, else the
    program that is starting in it."""
    allowed = sorted(os.sched_getaffinity(0))
    ledger_path = os.path.join(tempfile.gettempdir(), "orvane-wine-cpus-%d.json" % os.getuid())
    with open(ledger_path, "a+") as ledger_file:
        fcntl.flock(ledger_file, fcntl.LOCK_EX)
        ledger = read_ledger(ledger_file)
        entry = ledger.setdefault(prefix, {"weight": weight, "pids": []})
        if pid is None:
            entry["weight"] = weight
        current = recorded_cpu(prefix)
        load = busy_load(ledger, allowed, prefix)
        if keeps_processor(entry, current, load):
            cpu = current
        else:
            cpu = least_loaded(load, current)
            if cpu != current:
                write_choice(prefix, cpu)
                move_prefix(prefix, cpu)
        if pid is not None:
            entry["pids"].append(pid)
        write_ledger(ledger_file, ledger)
    return cpu


def main(argv):
    if len(argv) == 2:
        prefix, pid = argv[1], None
    elif len(argv) == 4 and argv[1] == "--start" and argv[3].isdigit():
        prefix, pid = argv[2], int(argv[3])
    else:
        sys.stderr.write("usage: wine-cpu.py PREFIX | wine-cpu.py --start PREFIX PID\n")
        return 2
    try:
        weight = max(1, int(os.environ.get("ORVANE_WINE_CPU_WEIGHT", "1")))
    except ValueError:
        weight = 1
    print(choose(os.path.abspath(prefix), weight, pid))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
