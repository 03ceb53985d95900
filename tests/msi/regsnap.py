#!/usr/bin/env python3
"""Prints the registry of a Wine prefix's file (system.reg, user.reg) as sorted
lines "key<TAB>value name<TAB>data", key and name in lower case because the
registry compares them so, one line per value and one per key ("<TAB>(key)"),
so that two snapshots compare with comm or diff. Wine keeps both views in the
file: the 32-bit one under ...\\Wow6432Node\\...

    regsnap.py FILE
"""
import sys


def entries(path):
    key = None
    pending = ""
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for raw in f:
            line = pending + raw.rstrip("\n")
            pending = ""
            if line.endswith("\\") and not line.startswith("["):
                pending = line[:-1]  # data continued on the next line
                continue
            if line.startswith("["):
                key = line[1:line.rindex("]")].replace("\\\\", "\\").lower()
                yield key, "", "(key)"
            elif key is not None and (line.startswith('"') or line.startswith("@")):
                if line.startswith("@"):
                    name, data = "@", line[2:]
                else:
                    end = 1
                    while line[end] != '"':
                        end += 2 if line[end] == "\\" else 1
                    name, data = line[1:end].lower(), line[end + 2:]
                yield key, name, data


for k, n, d in sorted(set(entries(sys.argv[1]))):
    print(f"{k}\t{n}\t{d}")
