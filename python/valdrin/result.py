"""The result of an experiment: its runs and generations as DataFrames, the summary, and the
individual each run is judged by."""
from __future__ import annotations

import html
import os
from dataclasses import dataclass
from typing import Dict, List, Optional

import numpy as np
import pandas as pd

__all__ = ["Result", "read_runs", "read_generations"]

# The columns of runs.csv and generations.csv whose values are whole numbers; those that may be
# empty (a run that was not solved, did not converge, or has no best so far) are nullable.
_COUNTS = {"run", "generation", "generations", "evaluations", "population_size", "runs_asked"}
_OPTIONAL_COUNTS = {"generations_to_solution", "evaluations_to_solution", "convergence_generation",
                    "best_so_far_generation", "best_so_far_evaluations", "network_nodes"}
_FLAGS = {"solved"}


def _read_table(path: str) -> pd.DataFrame:
    """A results table with each column's type: counts int64 (Int64 where a value may be
    missing), solved bool, everything else float64."""
    with open(path, encoding="utf-8") as file:
        columns = file.readline().rstrip("\n").split(",")
    types: Dict[str, object] = {}
    for column in columns:
        if column in _COUNTS or column in _FLAGS:
            types[column] = "int64"
        elif column in _OPTIONAL_COUNTS:
            types[column] = "Int64"
        else:
            types[column] = "float64"
    # round_trip: each number is the double the file's shortest text stands for (pandas' fast
    # reader may be a unit in the last place off).
    table = pd.read_csv(path, dtype=types, keep_default_na=False, na_values=[""], float_precision="round_trip")
    for column in _FLAGS & set(columns):
        table[column] = table[column].astype(bool)
    return table


def read_runs(path: str) -> pd.DataFrame:
    """runs.csv as a DataFrame (one row per finished run)."""
    return _read_table(path)


def read_generations(path: str) -> pd.DataFrame:
    """generations.csv as a DataFrame (one row per run and recorded generation)."""
    return _read_table(path)


@dataclass(repr=False)
class Result:
    """What an experiment gave.

    Attributes:
        runs: one row per finished run, the columns of runs.csv (run, generations, evaluations,
            duration_s, solved, ..., final_best_fitness, best_so_far_fitness, runs_asked).
        generations: one row per run and recorded generation, the columns of generations.csv
            (run, generation, evaluations, best_fitness, mean_fitness, worst_fitness, ...).
        summary: the text of summary.log, the report over the runs.
        best: for each finished run, the individual the logs show for it (its first solution
            when it was solved, else its best) as a 1-D numpy array: codes (int32) for integer
            and string encodings, values (float64) for real ones; None for networks.
        best_fitness: those individuals' costs.
        output: the experiment's standard output (what the program prints).
        messages: its messages (what the program writes on standard error).
        folder: where its files are, or None when they were written to a temporary folder.
        runs_asked: the runs the experiment was asked for (more than len(runs) when it ended early).
    """

    runs: pd.DataFrame
    generations: pd.DataFrame
    summary: str
    best: List[Optional[np.ndarray]]
    best_fitness: np.ndarray
    output: str = ""
    messages: str = ""
    folder: Optional[str] = None
    runs_asked: int = 0

    @property
    def solved(self) -> int:
        """How many runs met the error level."""
        return int(self.runs["solved"].sum()) if "solved" in self.runs else 0

    @property
    def complete(self) -> bool:
        """Whether every run asked for finished."""
        return len(self.runs) == self.runs_asked

    def best_individual(self) -> Optional[np.ndarray]:
        """The individual with the lowest cost over all runs (the first run's on ties)."""
        if len(self.best_fitness) == 0:
            return None
        return self.best[int(np.argmin(self.best_fitness))]

    def _outcome(self) -> str:
        finished = len(self.runs)
        text = f"{finished} of {self.runs_asked} runs" if finished != self.runs_asked else f"{finished} runs"
        text += f", {self.solved} solved"
        if finished:
            at = int(np.argmin(self.best_fitness))
            text += f"; best fitness {self.best_fitness[at]:.6g} (run {at + 1})"
        if self.folder:
            text += f"; files in {self.folder}"
        return text

    def __repr__(self) -> str:
        return f"<valdrin.Result: {self._outcome()}>"

    def _repr_html_(self) -> str:
        return f"<p><b>valdrin.Result</b>: {html.escape(self._outcome())}</p>" + self.runs.to_html(max_rows=20)


def read_result(folder: str, runs_asked: int, best: List[Optional[np.ndarray]], best_fitness: List[float],
                output: str, messages: str, kept: bool) -> Result:
    """The result of an experiment whose files are in folder."""
    runs = read_runs(os.path.join(folder, "runs.csv"))
    generations = read_generations(os.path.join(folder, "generations.csv"))
    with open(os.path.join(folder, "summary.log"), encoding="utf-8", errors="replace") as file:
        summary = file.read()
    return Result(runs=runs, generations=generations, summary=summary, best=list(best),
                  best_fitness=np.asarray(best_fitness, dtype=float), output=output, messages=messages,
                  folder=folder if kept else None, runs_asked=runs_asked)
