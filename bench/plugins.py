#!/usr/bin/env python3
"""The problem plugins' benchmark, written as Markdown to standard output (bench/run.sh keeps it in
bench/plugins.md and copies it into results.md).

Two tables:
- the plugin path's overhead on a cheap problem: the OneMax plugin (examples/plugins/onemax)
  against the built-in OneMax, on the same configuration (bench/plugins/onemax.xml);
- a costly plugin, the NK landscape (examples/plugins/nk) with N = 4,000 and K = 11
  (bench/plugins/nk-costly.xml, bench/plugins/nk.txt), at --threads 1 and 2 when the program has
  that option, its outputs compared.

Time per generation is the difference between two runs that differ only in their generation
count, divided by the difference, so that the start-up, the plugin's tables and the final logs
are left out; medians over the rounds, the two sides of a comparison run in turn so that both see
the same load. CPU time is user + system of the finished process (kernel accounting); wall time
is what threads can shorten.

Usage: bench/plugins.py BUILD_FOLDER [ROUNDS]
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def with_value(config, key, value):
    pattern = re.compile(r"(<name>\s*" + re.escape(key) + r"\s*</name>\s*<value>)[^<]*(</value>)")
    if not pattern.search(config):
        sys.exit(f"bench/plugins.py: the configuration does not set {key}")
    return pattern.sub(lambda m: m.group(1) + str(value) + m.group(2), config, count=1)


def as_plugin(config, word, library):
    """The configuration with its problem replaced by the plugin's."""
    config = re.sub(r"<problem><type>[^<]*</type></problem>", f"<problem><type>{word}</type></problem>", config)
    return config.replace("</experiment>",
                          f"  <parameter><name>Problem library</name><value>{library}</value></parameter>\n</experiment>")


def run(valdrin, folder, options=()):
    """Runs `valdrin config.xml 1 OPTIONS` in the folder: (CPU seconds, wall seconds)."""
    start = time.perf_counter()
    with open(os.devnull, "w") as quiet:
        child = subprocess.Popen([valdrin, "config.xml", "1", *options], cwd=folder, stdout=quiet, stderr=quiet)
        _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"bench/plugins.py: valdrin failed (status {child.returncode}) in {folder}")
    return usage.ru_utime + usage.ru_stime, wall


def per_generation(valdrin, folder, configs, options, rounds):
    """Median (CPU, wall) seconds per generation: configs maps a generation count to a configuration."""
    (short, short_config), (long, long_config) = sorted(configs.items())
    cpu, wall = [], []
    for _ in range(rounds):
        measured = {}
        for generations, config in ((short, short_config), (long, long_config)):
            with open(os.path.join(folder, "config.xml"), "w") as out:
                out.write(config)
            measured[generations] = run(valdrin, folder, options)
        cpu.append((measured[long][0] - measured[short][0]) / (long - short))
        wall.append((measured[long][1] - measured[short][1]) / (long - short))
    return statistics.median(cpu), statistics.median(wall)


def outputs(folder):
    """The files of a run's --out folder, clock readings masked: the logs' run durations and solution
    times, runs.csv's duration columns. summary.log is left out (its times block)."""
    files = {}
    for name in sorted(os.listdir(folder)):
        if name == "summary.log":
            continue
        with open(os.path.join(folder, name)) as text:
            lines = text.read().split("\n")
        if name == "runs.csv":
            header = lines[0].split(",")
            clock = {i for i, column in enumerate(header) if column in ("duration_s", "time_to_solution_s")}
            lines = [lines[0]] + [",".join("T" if i in clock else cell for i, cell in enumerate(line.split(",")))
                                  for line in lines[1:] if line]
        else:
            lines = [re.sub(r"^Run duration: .* seconds$", "Run duration: T seconds", line) for line in lines]
        files[name] = lines
    return files


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: bench/plugins.py BUILD_FOLDER [ROUNDS]")
    build = os.path.abspath(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    valdrin = os.path.join(build, "valdrin")
    plugins = os.path.join(build, "plugins")
    help_text = subprocess.run([valdrin, "--help"], capture_output=True, text=True).stdout
    has_threads = "--threads" in help_text
    scratch = tempfile.mkdtemp(prefix="valdrin-plugins-bench-")
    try:
        shutil.copy(os.path.join(plugins, "libonemax.so"), scratch)
        shutil.copy(os.path.join(plugins, "libnk.so"), scratch)
        shutil.copy(os.path.join(HERE, "plugins", "nk.txt"), scratch)

        # The plugin path's overhead: OneMax, population 200, chromosome 200, 500 and 2,500
        # generations; more rounds than asked, each run being short.
        with open(os.path.join(HERE, "plugins", "onemax.xml")) as text:
            onemax = text.read()
        cheap_rounds = max(9, rounds)
        counts = (500, 2500)
        built_in = {g: with_value(onemax, "Generations number", g) for g in counts}
        plugin = {g: as_plugin(config, "Onemax-plugin", "libonemax.so") for g, config in built_in.items()}
        times = {"built-in": ([], []), "plugin": ([], [])}
        for _ in range(cheap_rounds):
            for name, configs in (("built-in", built_in), ("plugin", plugin)):
                cpu, wall = per_generation(valdrin, scratch, configs, [], 1)
                times[name][0].append(cpu)
                times[name][1].append(wall)
        cpu = {name: statistics.median(t[0]) for name, t in times.items()}
        wall = {name: statistics.median(t[1]) for name, t in times.items()}

        # The costly plugin: NK, N = 2,000, K = 12, population 100, 40 and 120 generations.
        with open(os.path.join(HERE, "plugins", "nk-costly.xml")) as text:
            costly = text.read()
        nk = {g: with_value(costly, "Generations number", g) for g in (40, 120)}
        thread_counts = (1, 2) if has_threads else (1,)
        nk_times = {}
        for _ in range(rounds):
            for threads in thread_counts:
                options = ["--threads", str(threads)] if has_threads else []
                nk_times.setdefault(threads, []).append(per_generation(valdrin, scratch, nk, options, 1))
        nk_cpu = {t: statistics.median(m[0] for m in v) for t, v in nk_times.items()}
        nk_wall = {t: statistics.median(m[1] for m in v) for t, v in nk_times.items()}

        # The same outputs whatever the threads: two runs of the 40-generation experiment.
        with open(os.path.join(scratch, "config.xml"), "w") as out:
            out.write(nk[40])
        compared = {}
        for threads in thread_counts:
            options = ["--threads", str(threads)] if has_threads else []
            folder = f"out-{threads}"
            subprocess.run([valdrin, "config.xml", "2", "--csv", "--out", folder, *options], cwd=scratch,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            compared[threads] = outputs(os.path.join(scratch, folder))
        same = all(files == compared[1] for files in compared.values())
        load = os.getloadavg()
    finally:
        shutil.rmtree(scratch)

    overhead = cpu["plugin"] / cpu["built-in"] - 1
    print("## Problem plugins")
    print()
    print(f"Written by `bench/plugins.py` (from `make bench`) on {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}, "
          f"Release build; load average {load[0]:.1f} on {os.cpu_count()} cores at the end. Time per generation: the "
          "difference between two runs that differ only in their generation count over that difference (start-up, "
          "the plugin's tables and the final logs left out); medians.")
    print()
    print(f"The plugin path on a cheap problem: OneMax, population 200, chromosome 200, {counts[0]} and {counts[1]} "
          f"generations (`bench/plugins/onemax.xml`), {cheap_rounds} rounds, the built-in problem and the OneMax plugin "
          "in turn. The plugin gets each generation at once (its evaluate called once per individual), each "
          "individual's codes where the individual holds them (the plugin sets codes_only: no reals are computed).")
    print()
    print("| problem | CPU time per generation (µs) | wall time per generation (µs) |")
    print("|---|---:|---:|")
    print(f"| `Onemax` (built-in) | {cpu['built-in'] * 1e6:.1f} | {wall['built-in'] * 1e6:.1f} |")
    print(f"| `Onemax-plugin` | {cpu['plugin'] * 1e6:.1f} | {wall['plugin'] * 1e6:.1f} |")
    print(f"| overhead (CPU) | {overhead * 100:+.1f} % | |")
    print()
    print(f"Goal: at most 10 % of overhead; {'met' if overhead <= 0.10 else 'not met'}.")
    print()
    print(f"A costly plugin: the NK landscape with N = 4,000 and K = 11 (`bench/plugins/nk-costly.xml`, 131 MB of "
          f"tables), population 100, 40 and 120 generations, {rounds} round{'s' if rounds != 1 else ''}.")
    print()
    print("| threads | CPU time per generation (ms) | wall time per generation (ms) | CPU time per individual (µs) "
          "| wall time per individual (µs) |")
    print("|---:|---:|---:|---:|---:|")
    for threads in (1, 2):
        if threads in nk_cpu:
            print(f"| {threads} | {nk_cpu[threads] * 1e3:.2f} | {nk_wall[threads] * 1e3:.2f} | "
                  f"{nk_cpu[threads] / 100 * 1e6:.1f} | {nk_wall[threads] / 100 * 1e6:.1f} |")
        else:
            print(f"| {threads} | (this build has no `--threads`) | | | |")
    print()
    if has_threads:
        verdict = "the same" if same else "NOT the same"
        print(f"Outputs at 1 and 2 threads (2 runs, 40 generations: every file of `--out` but summary.log, clock "
              f"readings masked): {verdict}.")
    else:
        print("Without `--threads` in this build, only the 1-thread column was measured; with it, this script runs "
              "both and compares their outputs.")
    if has_threads and not same:
        sys.exit("bench/plugins.py: the outputs differ between 1 and 2 threads")


if __name__ == "__main__":
    main()
