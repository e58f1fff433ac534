"""Sweeps: many experiments over keys' values and seeds, run by the valdrin-sweep program, their
results collected into results.sqlite."""
from __future__ import annotations

import os
import shutil
import sqlite3
import subprocess
import tempfile
from pathlib import Path
from typing import Any, Dict, Iterable, Mapping, Optional, Sequence, Union

import pandas as pd

from .configuration import value_text
from .experiment import Experiment, ExperimentError, PathLike
from .problems import Problem

__all__ = ["load_sweep", "sweep", "sweep_program"]


def load_sweep(folder: PathLike) -> Dict[str, pd.DataFrame]:
    """The tables of a sweep's results.sqlite as DataFrames, by name: ``experiments`` (one row
    per experiment: its folder, the swept keys' values, seed, exit status, host, duration),
    ``runs`` and ``generations`` (the experiments' runs.csv and generations.csv rows, with their
    ``experiment_id``), and ``swept_keys``."""
    path = os.path.join(os.fspath(folder), "results.sqlite")
    if not os.path.isfile(path):
        raise FileNotFoundError(f"{path} does not exist: is {os.fspath(folder)} the folder of a sweep that ended?")
    # Read-only: a sweep that is still being collected is not disturbed.
    with sqlite3.connect(f"file:{path}?mode=ro", uri=True) as connection:
        names = [row[0] for row in connection.execute(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' ORDER BY name")]
        return {name: pd.read_sql_query(f'SELECT * FROM "{name}"', connection) for name in names}


def sweep_program() -> str:
    """The valdrin-sweep program: $VALDRIN_SWEEP_EXECUTABLE, the one of the build this package
    belongs to, or the one on PATH."""
    named = os.environ.get("VALDRIN_SWEEP_EXECUTABLE")
    if named:
        return named
    beside = Path(__file__).resolve().parents[2] / "valdrin-sweep"  # build/python/valdrin/ -> build/
    if beside.is_file() and os.access(beside, os.X_OK):
        return str(beside)
    found = shutil.which("valdrin-sweep")
    if found is None:
        raise FileNotFoundError("valdrin-sweep is not on PATH (nor beside this package's build): install Valdrin, or "
                                "set VALDRIN_SWEEP_EXECUTABLE")
    return found


def sweep(
    base: Union[Experiment, PathLike],
    values: Mapping[str, Iterable[Any]],
    *,
    seeds: Union[str, Sequence[int]] = "1",
    runs: int = 1,
    out: PathLike = "sweep",
    jobs: Optional[int] = None,
    resume: bool = False,
    report: bool = False,
    plot: bool = False,
    program: Optional[str] = None,
) -> Dict[str, pd.DataFrame]:
    """Runs a sweep with valdrin-sweep and returns its tables (:func:`load_sweep`).

    Args:
        base: the experiment every combination changes (an Experiment or a configuration file).
        values: for each configuration key (its name, or its keyword name), the values it takes.
        seeds: the seeds, as valdrin-sweep reads them ("1-5", "3,7") or a sequence of numbers.
        runs: runs per experiment.
        out: the sweep's folder.
        jobs: experiments at a time (default: one per core).

    Raises ExperimentError with the program's messages when the sweep was refused or some
    experiment failed.
    """
    from .configuration import _BY_KEYWORD

    if isinstance(base, Experiment) and isinstance(base.problem, Problem):
        raise ValueError("a sweep runs the valdrin program, which cannot call a Python problem: sweep a problem of "
                         "Valdrin's or a problem library's")
    arguments = []
    for key, choices in values.items():
        key = _BY_KEYWORD[key].key if key in _BY_KEYWORD else key
        arguments += ["--set", f"{key}=" + ",".join(value_text(key, choice) for choice in choices)]
    seed_text = seeds if isinstance(seeds, str) else ",".join(str(int(seed)) for seed in seeds)
    arguments += ["--seeds", seed_text, "--runs", str(runs), "--out", os.fspath(out)]
    if jobs is not None:
        arguments += ["--jobs", str(jobs)]
    arguments += [flag for flag, wanted in (("--resume", resume), ("--report", report), ("--plot", plot)) if wanted]

    written = None
    if isinstance(base, Experiment):
        if base._path is not None:
            path = base._path
        else:
            descriptor, written = tempfile.mkstemp(prefix=".valdrin-sweep-", suffix=".xml", dir=base.folder)
            with os.fdopen(descriptor, "w", encoding="utf-8") as file:
                file.write(base.text)
            path = written
    else:
        path = os.fspath(base)
    try:
        finished = subprocess.run([program or sweep_program(), path] + arguments, capture_output=True, text=True)
    finally:
        if written:
            os.unlink(written)
    if finished.returncode != 0:
        messages = finished.stderr.strip()
        raise ExperimentError(messages or f"valdrin-sweep ended with status {finished.returncode}",
                              finished.returncode, finished.stderr, None)
    return load_sweep(out)
