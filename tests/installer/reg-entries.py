#!/usr/bin/env python3
"""Flattens `reg export` files into sorted lines "key<TAB>value name<TAB>data", one per key and per value, so that
two registry states can be compared entry by entry. Keys are compared without regard to case, as Windows does.
    reg-entries.py <export.reg>...  (files that do not exist count as empty)"""
import os
import sys

entries = set()
for path in sys.argv[1:]:
    if not os.path.exists(path) or os.path.getsize(path) == 0:
        continue
    raw = open(path, "rb").read()
    text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8", "replace")
    key = None
    pending = ""
    for line in text.splitlines():
        line = pending + line.strip()
        if line.endswith("\\") and not line.startswith("["):
            pending = line[:-1]
            continue
        pending = ""
        if line.startswith("[") and line.endswith("]"):
            key = line[1:-1].lower()
            entries.add(f"{key}\t\t")
        elif key and "=" in line:
            if line.startswith("@="):
                name, data = "@", line[2:]
            else:
                end = line.find('"=', 1)
                name, data = line[1:end].lower(), line[end + 2:]
            entries.add(f"{key}\t{name}\t{data}")
print("\n".join(sorted(entries)))
