#!/usr/bin/env python3
"""Checks every data set of ../shared/data/big against the counts its SOURCES.md states.

For each file, runs `bicliques` three ways and prints one Markdown table row:
`--count`; `--order none` (its lines, and their SHA-256 once sorted by bytes
with `LC_ALL=C sort`); the default sorted text (its lines and SHA-256). The
three agree when the count equals both line counts and the two texts are the
same once sorted; "expected" is the "results" column of SOURCES.md. "valid"
is the verdict of bicliques-check on the sorted text: every line a maximal
biclique of the input, no two equal (build it with the bench preset).

  python3 bench/counts.py [--timeout S] [--only TEXT]
"""
import argparse
import hashlib
import os
import re
import signal
import subprocess
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
EXE = ROOT / "build/release/cli/bicliques"
CHECK = ROOT / "build/bench/bench/bicliques-check"
BIG = ROOT.parent / "shared/data/big"
# Data sets that SOURCES.md names by their FIMI name rather than by a file of big/.
FILES = {
    "retail": "orig/joapingut_aia-1718-t5/retail.dat",
    "T10I4D100K": "orig/JakeShelley1_Apriori/T10I4D100K.dat",
    "BMS-WebView-1": "orig/mohameddouad_ClosedOverlap/BMS1.dat",
    "chess": "fimi_chess.dat",
}


def stated_counts():
    """(name, results or None) for each row of the table of result counts."""
    rows = []
    text = (BIG / "SOURCES.md").read_text()
    table = text[text.index("## Result counts measured here"):]
    for line in table.splitlines():
        cells = [c.strip() for c in line.strip("|").split("|")]
        if len(cells) != 4 or cells[0] in ("file", "---") or not line.startswith("|"):
            continue
        name = cells[0].split()[0].strip("`")
        results = cells[1].replace(",", "")
        rows.append((name, int(results) if results.isdigit() else None))
    return rows


def paths(name):
    if name in FILES:
        return [BIG / FILES[name]]
    return [p for p in (BIG / f"{name}.dat", BIG / f"{name}.txt") if p.exists()]


def output(options, path, timeout, sort=False):
    """The command's output, sorted by bytes first when asked; None on failure or time out."""
    command = [str(EXE), "--quiet", *options, str(path)]
    if sort:
        command = ["sh", "-c", " ".join(f"'{c}'" for c in command) + " | LC_ALL=C sort -S 25%"]
    env = dict(os.environ, LC_ALL="C")
    # A session of its own, so that a time out ends the whole pipe.
    proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env,
                            start_new_session=True)
    try:
        out, _ = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.communicate()
        return None
    return out if proc.returncode == 0 else None


def valid(options, path, out):
    """bicliques-check's verdict on the result text `out` of the input `path`."""
    if out is None or not CHECK.exists():
        return "not checked"
    with tempfile.NamedTemporaryFile() as results:
        results.write(out)
        results.flush()
        done = subprocess.run([str(CHECK), *options, str(path), results.name], capture_output=True)
    return "yes" if done.returncode == 0 else "**no**"


def lines_and_hash(out):
    return None if out is None else (out.count(b"\n"), hashlib.sha256(out).hexdigest())


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--timeout", type=float, default=300, help="seconds per command")
    parser.add_argument("--only", default="")
    args = parser.parse_args()
    print("| file | expected | --count | --order none lines | sorted lines | agree | valid |")
    print("|---|---:|---:|---:|---:|---|---|")
    for name, expected in stated_counts():
        for path in paths(name):
            if args.only not in path.name:
                continue
            fimi = ["--from", "fimi"] if path.suffix == ".dat" else []
            counted = output([*fimi, "--count"], path, args.timeout)
            count = None if counted is None else int(counted)
            unordered = lines_and_hash(output([*fimi, "--order", "none"], path, args.timeout, sort=True))
            sorted_text = output(fimi, path, args.timeout)
            ordered = lines_and_hash(sorted_text)
            checked = valid(fimi, path, sorted_text)
            shown = lambda r: "over time limit" if r is None else f"{r[0]:,}"
            finished = count is not None and unordered is not None and ordered is not None
            agree = (finished and count == unordered[0] == ordered[0] and unordered[1] == ordered[1]
                     and (expected is None or count == expected))
            verdict = "yes" if agree else "**no**" if finished else "not finished"
            print(f"| {path.relative_to(BIG)} | {'not known' if expected is None else f'{expected:,}'} | "
                  f"{'over time limit' if count is None else f'{count:,}'} | {shown(unordered)} | "
                  f"{shown(ordered)} | {verdict} | {checked} |", flush=True)


if __name__ == "__main__":
    main()
