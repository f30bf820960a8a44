#!/usr/bin/env python3
"""What each part of a linked module costs, from the GNU linker's map (-Wl,-Map).

    dll-parts.py <module.map> [--build <build folder>] [--top N]

Adds up the bytes every input file (object, or archive member) puts into the module's loaded sections and
reports them per part: the C and C++ runtime, boost, TinyXML, the hash engine, the resources, our own code, the
import thunks and tables, and what the linker itself adds. Debug sections are left out: they are not shipped.
With --build, members of our own library are told apart by the source folder their object was built from
(the hash engine lives in src/tools/hash). --top lists the N largest inputs as well.
"""
import argparse
import os
import re
import sys
from collections import defaultdict

OUTPUT_SECTION = re.compile(r"^(\.[^\s]+)(?:\s+0x[0-9a-f]+\s+0x([0-9a-f]+))?")
INPUT_LINE = re.compile(r"^ (\S+)(?:\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.+))?$")
CONTINUATION = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.+)$")
RUNTIME_ARCHIVES = ("libstdc++", "libsupc++", "libgcc", "libgcc_eh", "libmingw32", "libmingwex", "libmsvcrt",
                    "libwinpthread", "libpthread", "libmoldname")
COLUMNS = (("code", (".text",)), ("data", (".rdata", ".data", ".CRT", ".tls")), ("unwind", (".pdata", ".xdata", ".eh_frame")),
           ("resources", (".rsrc",)), ("imports", (".idata", ".edata")), ("relocations", (".reloc",)))


def archive_and_member(path):
    match = re.match(r"^(.*\.a)\((.*)\)$", path)
    return (match.group(1), match.group(2)) if match else (None, path)


def hash_engine_objects(build):
    """Object names of our library that were built from src/tools/hash."""
    names = set()
    if not build:
        return names
    for root, _, files in os.walk(os.path.join(build, "CMakeFiles")):
        if os.path.join("src", "tools", "hash") in root:
            names.update(f for f in files if f.endswith(".obj"))
    return names


def part_of(path, section, hash_objects):
    if path is None:
        return "linker (relocations, export table, padding)"
    archive, member = archive_and_member(path)
    name = os.path.basename(archive or member)
    if section.startswith(".idata") or "delayimp" in (archive or ""):
        return "import thunks and tables"
    if name.endswith(".res"):
        return "resources"
    if name.startswith("libboost_"):
        return "boost"
    if name.startswith("libtinyxml"):
        return "TinyXML"
    if name.startswith("libQuelvarCore"):
        return "hash engine" if member in hash_objects else "our own code"
    if archive is None and ("/CMakeFiles/" in path or path.startswith("src/")):
        return "our own code"
    if name.startswith(RUNTIME_ARCHIVES) or name.endswith(".o"):
        return "C and C++ runtime"
    return "import thunks and tables"


def column_of(section):
    for column, prefixes in COLUMNS:
        if any(section == p or section.startswith(p + "$") or section.startswith(p + ".") for p in prefixes):
            return column
    return "other"


def parse(map_path, hash_objects):
    sizes = defaultdict(lambda: defaultdict(int))  # part -> column -> bytes
    inputs = defaultdict(int)  # input file -> bytes
    with open(map_path, encoding="utf-8", errors="replace") as handle:
        lines = handle.read().splitlines()
    try:
        start = lines.index("Linker script and memory map")
    except ValueError:
        sys.exit(f"{map_path}: not a GNU linker map")
    output = None
    pending = None  # an input section whose name filled its own line
    for line in lines[start + 1:]:
        if not line.strip():
            continue
        if not line.startswith(" "):
            match = OUTPUT_SECTION.match(line)
            output = match.group(1) if match else None
            pending = None
            continue
        if output is None or output.startswith(".debug") or output in (".bss", ".gnu_debuglink"):
            continue
        if pending:
            match = CONTINUATION.match(line)
            if match:
                record(sizes, inputs, output, pending, int(match.group(2), 16), match.group(3), hash_objects)
            pending = None
            continue
        if line.startswith(" *fill*"):
            size = int(line.split()[2], 16)
            record(sizes, inputs, output, output, size, None, hash_objects)
            continue
        match = INPUT_LINE.match(line)
        if not match or match.group(1).startswith(("*", "0x")):
            continue
        if match.group(2) is None:
            pending = match.group(1)
        else:
            record(sizes, inputs, output, match.group(1), int(match.group(3), 16), match.group(4), hash_objects)
    return sizes, inputs


def record(sizes, inputs, output, section, size, path, hash_objects):
    if size == 0:
        return
    path = path.strip() if path else None
    # The base relocations and the export table are the linker's own, whatever input they name.
    if path is not None and (path.startswith("linker stubs") or output in (".reloc", ".edata")):
        path = None
    sizes[part_of(path, section, hash_objects)][column_of(output)] += size
    inputs[path or "(linker)"] += size


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("map")
    parser.add_argument("--build", help="the build folder, to find which objects are the hash engine's")
    parser.add_argument("--top", type=int, default=0, help="also list the N largest inputs")
    args = parser.parse_args()
    sizes, inputs = parse(args.map, hash_engine_objects(args.build))
    columns = [c for c, _ in COLUMNS] + ["other"]
    print(f"{'part':<44}" + "".join(f"{c:>12}" for c in columns) + f"{'total':>12}")
    totals = defaultdict(int)
    for part in sorted(sizes, key=lambda p: -sum(sizes[p].values())):
        row = sizes[part]
        for c in columns:
            totals[c] += row[c]
        print(f"{part:<44}" + "".join(f"{row[c]:>12,}" for c in columns) + f"{sum(row.values()):>12,}")
    print(f"{'all':<44}" + "".join(f"{totals[c]:>12,}" for c in columns) + f"{sum(totals.values()):>12,}")
    if args.top:
        print()
        for path, size in sorted(inputs.items(), key=lambda item: -item[1])[: args.top]:
            print(f"{size:>12,}  {path}")


if __name__ == "__main__":
    main()
