#!/usr/bin/env python3
"""Applies each deliberate fault of faults.txt to the source tree, rebuilds, runs the
tests named for it and reports whether they fail as they must. Restores every file.

Usage: tests/faults/check-faults.py [--build DIR] [--stale] [ID ...]
A fault the tests no longer catch, or whose text no longer matches the code, makes
the exit status non-zero. --stale only checks, without building, that each fault's text
is found exactly once in its file, so that code that moves takes its faults with it."""
import argparse, pathlib, re, subprocess, sys

ROOT = pathlib.Path(__file__).resolve().parents[2]


def read_faults(path):
    """One fault a line, tab-separated: id, file, test regex, text to find, replacement;
    in the last two, \\n stands for a line break, \\t for a tab and \\\\ for a backslash."""
    faults = []
    for line in path.read_text().splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        ident, file, tests, find, replace = line.split("\t")
        escapes = {"n": "\n", "t": "\t", "\\": "\\"}
        unescape = lambda text: re.sub(r"\\(.)", lambda m: escapes.get(m.group(1), m.group(0)), text)
        faults.append({"id": ident, "file": file, "tests": tests, "find": unescape(find), "replace": unescape(replace)})
    return faults


def stale(fault):
    """Why the fault's text cannot be applied, or None."""
    target = ROOT / fault["file"]
    if not target.is_file():
        return f"{fault['file']} does not exist"
    count = target.read_text().count(fault["find"])
    if count != 1:
        return f"the text to change is found {count} times in {fault['file']}"
    return None


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--stale", action="store_true")
    parser.add_argument("ids", nargs="*")
    args = parser.parse_args()
    faults = read_faults(ROOT / "tests/faults/faults.txt")
    if args.ids:
        faults = [f for f in faults if f["id"] in args.ids]
    ids = [f["id"] for f in faults]
    repeated = sorted({i for i in ids if ids.count(i) > 1})
    for ident in repeated:
        print(f"STALE  {ident}: the id is used more than once")
    if args.stale:
        problems = [(f["id"], stale(f)) for f in faults if stale(f)]
        for ident, why in problems:
            print(f"STALE  {ident}: {why}")
        print(f"{len(faults) - len(problems)} of {len(faults)} faults apply")
        return 1 if problems or repeated else 0
    missed = list(repeated)
    for fault in faults:
        target = ROOT / fault["file"]
        why = stale(fault)
        if why:
            print(f"STALE  {fault['id']}: {why}")
            missed.append(fault["id"])
            continue
        original = target.read_text()
        try:
            target.write_text(original.replace(fault["find"], fault["replace"]))
            # A test named plainly is its own target: build only that and the program it may
            # start, not every test.
            targets = ["--target", fault["tests"], "zentrova"] if fault["tests"].isidentifier() else []
            built = run(["cmake", "--build", args.build] + targets)
            if built.returncode != 0:
                print(f"BROKEN {fault['id']}: the faulty code does not build")
                missed.append(fault["id"])
                continue
            tested = run(["scripts/netless", "ctest", "--test-dir", args.build, "-R", fault["tests"]])
            caught = tested.returncode != 0
            print(f"{'caught' if caught else 'MISSED'} {fault['id']} ({fault['tests']})")
            if not caught:
                missed.append(fault["id"])
        finally:
            target.write_text(original)
    run(["cmake", "--build", args.build])
    print(f"{len(faults) - len(missed)} caught, {len(missed)} not caught")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
