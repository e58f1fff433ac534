#!/usr/bin/python3
"""OneMax as a numpy function against the built-in OneMax, from Python, on the onemax workload
(bench/workloads/onemax.xml: 100 individuals of 1,000 bits, 200 generations, one run).

usage: /usr/bin/python3 bench/python_problem.py BUILD [--rounds N] [--write FILE]

Each round runs the workload in this process with the built-in Onemax, with OneMax as a numpy
function of a whole generation (X.shape[1] - X.sum(axis=1)), and with the one-individual form;
the figure is the process's CPU time (time.process_time) around Experiment.run, the median over
rounds. All three must give the same numbers (generations.csv), or the script fails. The
overhead per generation is (numpy form - built-in) / generations; the time in the function is
what the numpy sums themselves took. Prints a Markdown table (and writes it to FILE).
"""
import argparse
import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--write")
    options = parser.parse_args()
    sys.path.insert(0, os.path.join(os.path.abspath(options.build), "python"))
    import pandas as pd
    import valdrin

    workload = os.path.join(HERE, "workloads", "onemax.xml")
    built_in = valdrin.Experiment(workload)
    inside = {"seconds": 0.0, "calls": 0}

    def onemax(genes):
        started = time.perf_counter()
        costs = genes.shape[1] - genes.sum(axis=1)
        inside["seconds"] += time.perf_counter() - started
        inside["calls"] += 1
        return costs

    def onemax_one(genes):
        return float(genes.size - genes.sum())

    forms = {
        "built-in Onemax": built_in,
        "numpy function, a generation a call": built_in.replace(
            problem=valdrin.Problem(onemax, name="onemax_numpy", encoding="integer")),
        "numpy function, one individual a call": built_in.replace(
            problem=valdrin.Problem(onemax_one, name="onemax_one", encoding="integer", vectorized=False)),
    }
    times = {name: [] for name in forms}
    reference = None
    calls = 0
    generations = 0
    inside_seconds = []
    for _ in range(options.rounds):
        for name, experiment in forms.items():
            inside.update(seconds=0.0, calls=0)
            started = time.process_time()
            result = experiment.run(runs=1, progress=False)
            times[name].append(time.process_time() - started)
            if name.startswith("numpy function, a generation"):
                calls = inside["calls"]
                inside_seconds.append(inside["seconds"])
            generations = int(result.runs["generations"][0])
            if reference is None:
                reference = result.generations
            else:
                pd.testing.assert_frame_equal(result.generations, reference)

    base = statistics.median(times["built-in Onemax"])
    lines = [
        "## A problem in Python",
        "",
        f"The onemax workload (100 individuals of 1,000 bits, {generations} generations, one run) run from Python "
        f"in one process, median CPU time of {options.rounds} rounds (`bench/python_problem.py`); every form gives "
        "the built-in's numbers.",
        "",
        "| problem | CPU time (s) | × built-in | overhead per generation (ms) |",
        "|---|---:|---:|---:|",
    ]
    for name, measured in times.items():
        median = statistics.median(measured)
        overhead = "" if name == "built-in Onemax" else f"{(median - base) / generations * 1000:.3f}"
        lines.append(f"| {name} | {median:.3f} | {median / base:.2f} | {overhead} |")
    numpy_form = statistics.median(times["numpy function, a generation a call"])
    sums = statistics.median(inside_seconds)
    lines += [
        "",
        f"The numpy function was called {calls} times a run (each generation, and the last population once more); "
        f"its sums took {sums:.3f} s, {sums / generations * 1000:.3f} ms a generation. What remains of the "
        f"overhead, the crossing itself (the array made, the call, the costs stored), is about "
        f"{(numpy_form - base - sums) / calls * 1e6:.0f} µs a call.",
    ]
    text = "\n".join(lines) + "\n"
    print(text, end="")
    if options.write:
        with open(options.write, "w", encoding="utf-8") as file:
            file.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
