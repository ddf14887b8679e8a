#!/usr/bin/env python3
"""Lists every include that crosses folders and fails on one that points up or sideways.

The floors, from the bottom: platform; core; the computing components geometry, csolver and
lsolver (one floor, never including each other); program; ui, app and python (the Python
module) on top. A file may include
its own folder and any folder of a lower floor, nothing else.

A test folder tests/<floor> stands on that floor: its tests may include nothing above it (a test
of a computing component may use the other components to build its inputs, but never the
application). A helper of the tests (tests/support, a fixture header) stands on the floor of the
highest header it includes, and a test that includes one reaches that floor too. Test folders without a floor
(fuzz, soak) and bench/ may include everything.

It also fails on a switch read by its number: the code names the switches (src/core/switches.h);
only the commands that take a number from the user pass one, and never a literal.

Run from anywhere; exits 1 on a violation.
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
# A switch indexed, set or tested by a literal number, or a number given a switch's meaning.
RAW_SWITCH = re.compile(
    r"\bswitches\s*(\[|\.\s*(at|Numbered|SetNumbered)\s*\()\s*\d"
    r"|\bsw\s*\[\s*\d"
    r"|\bSwitchOn\s*\([^()]*,\s*\d"
    r"|\bkSwitch(?!Count\b|Table\b)\w*\s*=\s*\d"
    r"|static_cast<\s*Switch\s*>")
SWITCH_TABLE = pathlib.Path("src/core/switches.h")
TEST_FLOORLESS = ("fuzz", "soak")


def folder_of(root, path):
    rel = path.relative_to(root)
    if rel.parts[0] == "src":
        return rel.parts[1]
    return rel.parts[0]


def floor_of_header(root, path, cache):
    """The floor a test helper stands on: that of the highest header it includes."""
    if path in cache:
        return cache[path]
    cache[path] = 0
    floor = 0
    if path.exists():
        for inner in INCLUDE.findall(path.read_text(encoding="utf-8")):
            floor = max(floor, include_floor(root, path.parent, inner, cache))
    cache[path] = floor
    return floor


def include_floor(root, here, target, cache):
    """The floor an include of a test reaches: a folder's, or through a helper of the tests."""
    if "/" not in target:
        return floor_of_header(root, here / target, cache)  # a helper beside the test
    helper = root / "tests" / target
    if helper.exists():
        return floor_of_header(root, helper, cache)  # support/ or another test folder's helper
    return FLOORS.get(target.split("/")[0], 0)


def check_tests(root, bad):
    """Each test folder named after a floor includes nothing above that floor."""
    cache = {}
    for path in sorted((root / "tests").rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        rel = path.relative_to(root)
        folder = rel.parts[1]
        if folder not in FLOORS:
            continue
        own = FLOORS[folder]
        for target in INCLUDE.findall(path.read_text(encoding="utf-8")):
            floor = include_floor(root, path.parent, target, cache)
            if floor > own:
                bad.append(f"{rel} -> {target}: a test of {folder} (floor {own}) reaches floor "
                           f"{floor}")


def check_switches(root, files, bad):
    for path in files:
        rel = path.relative_to(root)
        if rel == SWITCH_TABLE:
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            code = line.split("//")[0]
            if RAW_SWITCH.search(code):
                bad.append(f"{rel}:{number}: a switch by its number: {line.strip()}")


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
    check_tests(root, bad)
    tests = [p for p in (root / "tests").rglob("*") if p.suffix in (".h", ".cpp")]
    check_switches(root, sorted(sources) + sorted(tests), bad)
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
