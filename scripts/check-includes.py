#!/usr/bin/env python3
"""Lists every include that crosses folders and fails on one that points up or sideways.

The floors, from the bottom: platform; core; the computing components geometry, csolver and
lsolver (one floor, never including each other); program; ui, app and python (the Python module)
on top. A file may include its own folder and any folder of a lower floor, nothing else. tests/
and bench/ may include everything. Run from anywhere; exits 1 on a violation.
"""
import pathlib
import re
import sys

FLOORS = {
    "platform": 0,
    "core": 1,
    "geometry": 2,
    "csolver": 2,
    "lsolver": 2,
    "program": 3,
    "ui": 4,
    "app": 5,
    "python": 5,
}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def folder_of(root, path):
    rel = path.relative_to(root)
    if rel.parts[0] == "src":
        return rel.parts[1]
    return rel.parts[0]


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else __file__).resolve()
    if root.is_file():
        root = root.parent.parent
    sources = [p for d in ("src", "app", "python") for p in (root / d).rglob("*")
               if p.suffix in (".h", ".cpp")]
    crossing, bad = [], []
    for path in sorted(sources):
        own = folder_of(root, path)
        if own not in FLOORS:
            bad.append(f"{path.relative_to(root)}: folder '{own}' has no floor")
            continue
        for target in INCLUDE.findall(path.read_text(encoding="utf-8")):
            if "/" not in target:
                continue  # a header beside the file
            other = target.split("/")[0]
            if other == own:
                continue
            line = f"{path.relative_to(root)} -> {target}"
            crossing.append(line)
            if other not in FLOORS:
                bad.append(f"{line}: folder '{other}' has no floor")
            elif FLOORS[other] >= FLOORS[own]:
                way = "sideways" if FLOORS[other] == FLOORS[own] else "up"
                bad.append(f"{line}: points {way} ({own} is floor {FLOORS[own]}, "
                           f"{other} is floor {FLOORS[other]})")
    counts = {}
    for line in crossing:
        src, dst = line.split(" -> ")
        key = (folder_of(root, root / src), dst.split("/")[0])
        counts[key] = counts.get(key, 0) + 1
    for (a, b), n in sorted(counts.items(), key=lambda kv: (FLOORS.get(kv[0][0], 9), kv[0])):
        print(f"{a} -> {b}: {n}")
    if bad:
        print("\nIncludes against the floors:", file=sys.stderr)
        for line in bad:
            print("  " + line, file=sys.stderr)
        return 1
    print(f"{len(crossing)} includes across folders, all pointing down.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
