#!/usr/bin/env python3
"""Chooses the processor of one Wine prefix and prints it.

Every system call a Windows program makes under Wine is a request to the
prefix's server and a wait for its answer. With the server and the program
on different processors of a virtual machine, each answer wakes an idle
processor, which can take longer than the request itself; on one processor
it is a plain switch between two processes. The prefix's processor is the
allowed one with the least weight of live prefixes on it, so that prefixes
used at the same time spread over the machine. A prefix weighs 1, or
ORVANE_WINE_CPU_WEIGHT when that is set as it is chosen (a prefix made for
one long test weighs more).

The choice is written to PREFIX/.orvane-cpu (the prefix folder is made if
needed) and kept in a ledger of this user's prefixes, read and written under
a lock: two prefixes set up at once never count one another out.
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


def read_ledger(ledger_file, allowed):
    """The ledger's entries, {prefix: [cpu, weight]}, whose prefix still
    exists with the same choice."""
    ledger_file.seek(0)
    try:
        entries = json.loads(ledger_file.read() or "{}")
        ledger = {str(prefix): [int(cpu), int(weight)] for prefix, (cpu, weight) in entries.items()}
    except (ValueError, TypeError, AttributeError):
        return {}
    return {prefix: entry for prefix, entry in ledger.items()
            if entry[0] in allowed and recorded_cpu(prefix) == entry[0]}


def choose(prefix, weight):
    allowed = sorted(os.sched_getaffinity(0))
    known = recorded_cpu(prefix)
    if known in allowed:
        return known
    ledger_path = os.path.join(tempfile.gettempdir(), "orvane-wine-cpus-%d.json" % os.getuid())
    with open(ledger_path, "a+") as ledger_file:
        fcntl.flock(ledger_file, fcntl.LOCK_EX)
        ledger = read_ledger(ledger_file, allowed)
        load = {cpu: 0 for cpu in allowed}
        for other_cpu, other_weight in ledger.values():
            load[other_cpu] += other_weight
        cpu = min(allowed, key=lambda c: (load[c], c))
        os.makedirs(prefix, exist_ok=True)
        with open(os.path.join(prefix, CPU_FILE), "w") as file:
            file.write("%d\n" % cpu)
        ledger[prefix] = [cpu, weight]
        ledger_file.seek(0)
        ledger_file.truncate()
        ledger_file.write(json.dumps(ledger, indent=1, sort_keys=True))
    return cpu


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: wine-cpu.py PREFIX\n")
        return 2
    try:
        weight = max(1, int(os.environ.get("ORVANE_WINE_CPU_WEIGHT", "1")))
    except ValueError:
        weight = 1
    print(choose(os.path.abspath(argv[1]), weight))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
