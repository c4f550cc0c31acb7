#!/usr/bin/env python3
"""The Python module against the command line, whole process, on the same input.

For each input it times, with /usr/bin/time (user + system CPU seconds, median
of --repeat runs):
  count   bicliques --count FILE              python3 -c "bicliques.count(FILE)"
  full    bicliques --order none FILE -o /dev/null
                                              python3 -c "for b in bicliques.enumerate(FILE): ..."
and prints one Markdown table: the CPU of each, their ratio, and the cost per
yielded result (module full minus module count minus NumPy's import, which
only the full run needs, over the number of results). The module's import
alone (python3 -c "import bicliques"), the fixed cost in every module figure,
and NumPy's are timed once per call.

    python3 bench/python_vs_cli.py [--repeat N] [--only NAME] [--threads N] [--check]

--check also compares bicliques.text(FILE) with the command's output byte for
byte (one more run of each). --stop instead measures how long a
KeyboardInterrupt (SIGINT from a timer thread, 0.3 s into a run of minutes)
takes to come out of count() and of an enumerate() loop, per engine.
"""

import argparse
import pathlib
import statistics
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[1]

INPUTS = {
    "mushroom": "orig/mushroom.dat",
    "retail": "big/orig/joapingut_aia-1718-t5/retail.dat",
    "konect_youtube": "big/konect_youtube.dat",
}

COUNT = "import sys, bicliques; print(bicliques.count(sys.argv[1], threads=int(sys.argv[2])))"
FULL = (
    "import sys, bicliques\n"
    "n = 0\n"
    "for b in bicliques.enumerate(sys.argv[1], threads=int(sys.argv[2])):\n"
    "    n += 1\n"
    "print(n)"
)
TEXT = "import sys, bicliques; sys.stdout.write(bicliques.text(sys.argv[1]))"


def timed(command, env=None):
    """(cpu seconds, standard output) of one run under /usr/bin/time."""
    with tempfile.NamedTemporaryFile("r") as report:
        done = subprocess.run(
            ["/usr/bin/time", "-o", report.name, "-f", "%U %S", *command],
            capture_output=True,
            env=env,
            check=True,
        )
        user, system = map(float, report.read().split()[-2:])
    return user + system, done.stdout


def median_cpu(command, repeat, env):
    runs = [timed(command, env) for _ in range(repeat)]
    return statistics.median(cpu for cpu, _ in runs), runs[-1][1]


STOP = r"""
import os, signal, statistics, sys, threading, time
import numpy, bicliques
matrix = bicliques.as_graph(numpy.random.default_rng(1).random((100, 100)) < 0.7)
for engine in ("consensus", "closure", "sparse"):
    for call in ("count", "enumerate"):
        delays = []
        for _ in range(int(sys.argv[1])):
            sent = []
            def interrupt():
                sent.append(time.perf_counter())
                os.kill(os.getpid(), signal.SIGINT)
            timer = threading.Timer(0.3, interrupt)
            timer.start()
            try:
                if call == "count":
                    bicliques.count(matrix, engine=engine)
                else:
                    for _ in bicliques.enumerate(matrix, engine=engine):
                        pass
            except KeyboardInterrupt:
                delays.append(time.perf_counter() - sent[0])
            timer.join()
        print(f"| {engine} | {call} | {statistics.median(delays) * 1000:.1f} | {max(delays) * 1000:.1f} |")
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--only", default="")
    parser.add_argument("--threads", type=int, default=0)
    parser.add_argument("--data", default=str(ROOT.parent / "shared" / "data"))
    parser.add_argument("--build", default=str(ROOT / "build" / "release"))
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--stop", action="store_true")
    arguments = parser.parse_args()

    build = pathlib.Path(arguments.build)
    command = str(build / "cli" / "bicliques")
    env = {"PYTHONPATH": str(build / "python"), "PATH": "/usr/bin:/bin"}
    python = "/usr/bin/python3"
    threads = str(arguments.threads)
    if arguments.stop:
        print("| engine | call | KeyboardInterrupt to exception, median ms | max ms |")
        print("|---|---|---|---|")
        sys.stdout.flush()
        subprocess.run([python, "-c", STOP, str(max(arguments.repeat, 5))], env=env, check=True)
        return

    imported, _ = median_cpu([python, "-c", "import bicliques"], arguments.repeat, env)
    with_numpy, _ = median_cpu([python, "-c", "import bicliques, numpy"], arguments.repeat, env)
    numpy_import = with_numpy - imported
    print(
        f"Python with the module imported: {imported:.3f} s CPU (in every module figure below); "
        f"NumPy's import: {numpy_import:.3f} s more (in the full results only)\n"
    )
    print("| input | results | what | command CPU s | module CPU s | module / command | per yielded result |")
    print("|---|---|---|---|---|---|---|")
    for name, relative in INPUTS.items():
        if arguments.only not in name:
            continue
        path = pathlib.Path(arguments.data) / relative
        if not path.exists():
            print(f"| {name} | missing: {path} | | | | | |")
            continue
        cli_count, out = median_cpu([command, "--count", "--threads", threads, str(path)], arguments.repeat, env)
        results = int(out)
        py_count, out = median_cpu([python, "-c", COUNT, str(path), threads], arguments.repeat, env)
        assert int(out) == results, (name, out, results)
        cli_full, _ = median_cpu(
            [command, "--order", "none", "--threads", threads, "-o", "/dev/null", str(path)], arguments.repeat, env
        )
        py_full, out = median_cpu([python, "-c", FULL, str(path), threads], arguments.repeat, env)
        assert int(out) == results, (name, out, results)
        per_result = (py_full - py_count - numpy_import) / results * 1e6 if results else 0.0
        print(f"| {name} | {results:,} | count | {cli_count:.3f} | {py_count:.3f} | {py_count / cli_count:.3f} | |")
        print(
            f"| {name} | {results:,} | full results | {cli_full:.3f} | {py_full:.3f} | "
            f"{py_full / cli_full:.3f} | {per_result:.2f} µs |"
        )
        if arguments.check:
            _, expected = timed([command, str(path)], env)
            _, got = timed([python, "-c", TEXT, str(path)], env)
            print(f"| {name} | | text byte for byte | | | {'same' if got == expected else '**differs**'} | |")
    sys.stdout.flush()


if __name__ == "__main__":
    main()
