#!/usr/bin/env python3
"""Plants simple faults, one at a time, in the lines a change touched, rebuilds what the
tests of the folders involved need, runs those tests and prints every fault they let
through (a survivor). Restores every file, also when interrupted.

Usage:
  tools/mutate/mutate.py [--build DIR] [RANGE]          lines changed by RANGE (A..B), or by the
                                                         working tree since it branched off a
                                                         revision (default main)
  tools/mutate/mutate.py --files src/a.cpp src/b.cpp    every line of those files
Options: --map FILE (src folder -> ctest regex, default tools/mutate/tests.json),
  --mutant-seconds N (time for one mutant's tests), --budget N (seconds for the whole run),
  --max-mutants N (an even sample across the lines), --list (print the mutants, run nothing),
  --save FILE (write the survivors as JSON), --replay FILE (run only the mutants saved there,
  e.g. to see which survivors a new test now catches).
The line numbers of RANGE must be those of the working tree: check out the range's end."""
import argparse, json, os, pathlib, re, signal, subprocess, sys, time

ROOT = pathlib.Path(__file__).resolve().parents[2]
SOURCE = re.compile(r"^src/.*\.(cpp|h)$")
# Lines that only log: their faults change nothing the tests are meant to see.
LOGGING = re.compile(r"\bq(Debug|Info|Warning|Critical)\b|\bqC(Debug|Info|Warning|Critical)\b")
SWAPS = [(" == ", " != "), (" != ", " == "), (" <= ", " < "), (" >= ", " > "), (" < ", " <= "),
         (" > ", " >= "), (" && ", " || "), (" || ", " && ")]
NUMBER = re.compile(r"(?<![\w.])(\d+)(?![\w.'])")
CALL_STATEMENT = re.compile(r"^\s*(emit\s+)?[A-Za-z_][\w:]*((\.|->)[A-Za-z_]\w*)*(<[\w:, *&]*>)?\(.*\);\s*$")
GUARD = re.compile(r"^(\s*(?:\}\s*else\s+)?if\s*)\((.*)\)(\s*(?:return\b.*)?)$")


def git(*args):
    return subprocess.run(["git", *args], cwd=ROOT, check=True, stdout=subprocess.PIPE, text=True).stdout


def changed_lines(revision_range):
    """{file: set of line numbers in the working tree} that the range added or changed."""
    if ".." not in revision_range:
        # The working tree against where it branched off: what others added to the base since
        # is not this change.
        revision_range = git("merge-base", revision_range, "HEAD").strip()
    diff = git("diff", "-U0", "--no-color", revision_range, "--", "src")
    lines, current = {}, None
    for row in diff.splitlines():
        if row.startswith("+++ "):
            name = row[4:]
            current = name[2:] if name.startswith("b/") else None
            if current and not SOURCE.match(current):
                current = None
        elif row.startswith("@@") and current:
            start, _, count = re.match(r"@@ -\S+ \+(\d+)(,(\d+))? @@", row).groups()
            count = 1 if count is None else int(count)
            lines.setdefault(current, set()).update(range(int(start), int(start) + count))
    return lines


def code_mask(text):
    """The text with string and character literals and // comments blanked, same length."""
    out, quote, i = [], None, 0
    while i < len(text):
        c = text[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            if c == quote:
                quote = None
            out.append(" " if quote else c)
        elif c in "\"'":
            quote = c
            out.append(c)
        elif text.startswith("//", i):
            out.append(" " * (len(text) - i))
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)[: len(text)]


def next_code_line(lines, index):
    for row in lines[index + 1 :]:
        if row.strip() and not row.strip().startswith("//"):
            return row.strip()
    return ""


def mutants_of_line(lines, index):
    """(kind, new line) for each fault planted in line index (0-based)."""
    line = lines[index]
    stripped = line.strip()
    if not stripped or stripped.startswith(("#", "//", "*", "/*")) or LOGGING.search(line):
        return []
    code = code_mask(line)
    found = []
    for old, new in SWAPS:
        for match in re.finditer(re.escape(old), code):
            # A stream operator or a template is not a comparison.
            if old.strip() in "<>" and ("<<" in code or ">>" in code):
                continue
            found.append(("operator", line[: match.start()] + new + line[match.end() :]))
    for match in NUMBER.finditer(code):
        value = int(match.group(1))
        found.append(("constant", line[: match.start()] + str(value + 1) + line[match.end() :]))
    # One whole statement only: a line that ends a call begun above is not one.
    if (CALL_STATEMENT.match(code) and code.count("(") == code.count(")")
            and not stripped.startswith(("return", "delete")) and " = " not in code):
        found.append(("dropped call", re.match(r"^\s*", line).group(0) + ";"))
    guard = GUARD.match(line)
    if guard and code.count("(") == code.count(")"):
        body = guard.group(3).strip() or next_code_line(lines, index)
        if body.startswith("return") and "=" not in re.sub(r"[=!<>]=", "", code_mask(guard.group(2))):
            found.append(("dropped check", f"{guard.group(1)}((void)({guard.group(2)}), false){guard.group(3)}"))
    return found


def plan(files_and_lines):
    mutants = []
    for name, numbers in sorted(files_and_lines.items()):
        lines = (ROOT / name).read_text().split("\n")
        for number in sorted(numbers):
            if 1 <= number <= len(lines):
                for kind, new in mutants_of_line(lines, number - 1):
                    mutants.append({"file": name, "line": number, "kind": kind, "old": lines[number - 1], "new": new})
    return mutants


def sample(mutants, count):
    if count <= 0 or len(mutants) <= count:
        return mutants
    step = len(mutants) / count
    return [mutants[int(i * step)] for i in range(count)]


def tests_for(name, mapping):
    """The ctest regex for the longest mapped folder that holds the file."""
    best = max((folder for folder in mapping if name.startswith(folder.rstrip("/") + "/") or name == folder),
               key=len, default=None)
    return mapping.get(best)


def targets_for(build, regex):
    """The build targets the tests of regex run: their executables inside the build folder."""
    shown = subprocess.run(["ctest", "--test-dir", build, "-N", "-R", regex, "--show-only=json-v1"],
                           cwd=ROOT, stdout=subprocess.PIPE, text=True, check=True).stdout
    targets = set()
    for test in json.loads(shown).get("tests", []):
        for word in test.get("command", []):
            path = pathlib.Path(word)
            if path.is_file() and os.access(path, os.X_OK) and str(path.resolve()).startswith(str(build.resolve())):
                targets.add(path.name)
    return sorted(targets)


def run(cmd, timeout):
    """Return code of cmd, or None when it ran out of time (its whole process group is ended)."""
    process = subprocess.Popen(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               start_new_session=True)
    try:
        process.communicate(timeout=timeout)
        return process.returncode
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        return None


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("range", nargs="?", default="main")
    parser.add_argument("--files", nargs="+")
    parser.add_argument("--build", default="build")
    parser.add_argument("--map", default=str(ROOT / "tools/mutate/tests.json"))
    parser.add_argument("--mutant-seconds", type=int, default=0, help="default: three times the unchanged run, +30")
    parser.add_argument("--budget", type=int, default=3600)
    parser.add_argument("--max-mutants", type=int, default=0)
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--save")
    parser.add_argument("--replay")
    args = parser.parse_args()

    mapping = json.loads(pathlib.Path(args.map).read_text())
    if args.replay:
        mutants = json.loads(pathlib.Path(args.replay).read_text())
        stale = [m for m in mutants if (ROOT / m["file"]).read_text().split("\n")[m["line"] - 1] != m["old"]]
        for m in stale:
            print(f"MOVED {m['file']}:{m['line']}: the line is no longer what was saved; skipped")
        mutants = [m for m in mutants if m not in stale]
    elif args.files:
        wanted = {name: set(range(1, len((ROOT / name).read_text().split("\n")) + 1)) for name in args.files}
        mutants = sample(plan(wanted), args.max_mutants)
    else:
        mutants = sample(plan(changed_lines(args.range)), args.max_mutants)
    for mutant in mutants:
        mutant["tests"] = tests_for(mutant["file"], mapping)
    if args.list:
        for m in mutants:
            print(f"{m['file']}:{m['line']}: {m['kind']}: {m['new'].strip()}  [{m['tests']}]")
        print(f"{len(mutants)} mutants")
        return 0
    build = pathlib.Path(args.build)
    untested = [m for m in mutants if not m["tests"]]
    mutants = [m for m in mutants if m["tests"]]
    for name in sorted({m["file"] for m in untested}):
        print(f"NO TESTS {name}: no folder of {args.map} holds it")

    originals = {m["file"]: (ROOT / m["file"]).read_text() for m in mutants}

    def restore(*_):
        for name, text in originals.items():
            if (ROOT / name).read_text() != text:
                (ROOT / name).write_text(text)
        if _:
            sys.exit(130)

    signal.signal(signal.SIGINT, restore)
    signal.signal(signal.SIGTERM, restore)

    started = time.monotonic()
    plans = {}
    for regex in sorted({m["tests"] for m in mutants}):
        targets = targets_for(build, regex)
        built = run(["cmake", "--build", str(build), f"-j{args.jobs}", "--target", *targets], None) if targets else 0
        t0 = time.monotonic()
        clean = run(["scripts/netless", "ctest", "--test-dir", str(build), "-R", regex], None)
        seconds = time.monotonic() - t0
        if built != 0 or clean != 0:
            print(f"UNUSABLE {regex}: the unchanged tree does not build or pass; its mutants are skipped")
        plans[regex] = {"targets": targets, "ok": built == 0 and clean == 0,
                        "seconds": args.mutant_seconds or int(3 * seconds + 30)}
        print(f"tests {regex}: targets {' '.join(targets)}; {seconds:.0f} s unchanged")

    counts = {}
    survivors = []
    try:
        for number, m in enumerate(mutants, 1):
            folder = str(pathlib.Path(m["file"]).parent)
            tally = counts.setdefault(folder, {"killed": 0, "survived": 0, "timed out": 0, "not built": 0,
                                               "not run": 0})
            test = plans[m["tests"]]
            if not test["ok"] or time.monotonic() - started > args.budget:
                tally["not run"] += 1
                continue
            path = ROOT / m["file"]
            lines = originals[m["file"]].split("\n")
            lines[m["line"] - 1] = m["new"]
            path.write_text("\n".join(lines))
            try:
                built = run(["cmake", "--build", str(build), f"-j{args.jobs}", "--target", *test["targets"]], 900)
                if built != 0:
                    outcome = "not built"
                else:
                    code = run(["scripts/netless", "ctest", "--test-dir", str(build), "-R", m["tests"],
                                "--stop-on-failure", "--timeout", str(test["seconds"])], test["seconds"] + 30)
                    # A fault that makes the tests hang is caught, but it is told apart: a
                    # timeout set too short would count slow passes as kills.
                    outcome = "survived" if code == 0 else "timed out" if code is None else "killed"
            finally:
                path.write_text(originals[m["file"]])
            tally[outcome] += 1
            print(f"[{number}/{len(mutants)} {time.monotonic() - started:.0f} s] {outcome}: "
                  f"{m['file']}:{m['line']} {m['kind']}", flush=True)
            if outcome == "survived":
                survivors.append(m)
    finally:
        restore()
        # The build folder must match the restored sources again.
        for test in plans.values():
            if test["targets"]:
                run(["cmake", "--build", str(build), f"-j{args.jobs}", "--target", *test["targets"]], None)

    if args.save:
        pathlib.Path(args.save).write_text(json.dumps(survivors, indent=1) + "\n")
    print("\nSurvivors:")
    for m in survivors:
        print(f"{m['file']}:{m['line']}: {m['kind']}\n  - {m['old'].strip()}\n  + {m['new'].strip()}")
    print("\nfolder: killed, survived, timed out, not built, not run")
    for folder, tally in sorted(counts.items()):
        print(f"{folder}: {', '.join(str(n) for n in tally.values())}")
    return 1 if survivors else 0


if __name__ == "__main__":
    sys.exit(main())
