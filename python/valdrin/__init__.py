"""Valdrin from Python: evolutionary-computation experiments run in this process, their results as
pandas DataFrames, and problems written as numpy functions.

    import valdrin

    result = valdrin.Experiment("examples/onemax/config.xml").run(runs=5)
    result.runs                # runs.csv as a DataFrame
    result.generations         # generations.csv as a DataFrame

    @valdrin.problem(encoding="integer")
    def onemax(genes):         # one row per individual
        return genes.shape[1] - genes.sum(axis=1)

    valdrin.Experiment(problem=onemax, encoding="integer", chromosome_length=100).run(runs=3)

The same configuration and seed give the same numbers as the valdrin program.
"""
from __future__ import annotations

from typing import List, Tuple

from . import _core
from .configuration import ConfigurationError, ConfigurationWarning, Finding, Key, key_of, keys, keyword_of
from .experiment import Experiment, ExperimentError, ExperimentWarning
from .problems import Problem, problem
from .result import Result, read_generations, read_runs
from .sweeps import load_sweep, sweep, sweep_program

__version__: str = _core.version()

__all__ = [
    "ConfigurationError",
    "ConfigurationWarning",
    "Experiment",
    "ExperimentError",
    "ExperimentWarning",
    "Finding",
    "Key",
    "Problem",
    "Result",
    "algorithms",
    "key_of",
    "keys",
    "keyword_of",
    "load_sweep",
    "problem",
    "problems",
    "read_generations",
    "read_runs",
    "sweep",
    "sweep_program",
]


def problems() -> List[Tuple[str, str, List[str]]]:
    """Valdrin's own problems: (word, description, encodings)."""
    return [(word, description, list(encodings)) for word, description, encodings in _core.problem_rows()]


def algorithms() -> List[Tuple[str, str]]:
    """The algorithms: (word, description)."""
    return [tuple(row) for row in _core.algorithm_rows()]
