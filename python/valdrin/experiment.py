"""Experiments from Python: built from a configuration file, a dict of the configuration's keys,
or keyword arguments; checked as the program checks them; run in this process."""
from __future__ import annotations

import importlib
import os
import shutil
import sys
import tempfile
import warnings
from typing import Any, Dict, List, Mapping, Optional, Tuple, Union

from . import _core
from .configuration import (
    _BY_KEY,
    ConfigurationError,
    Finding,
    absolute_folder,
    configuration_text,
    findings_of,
    keyword_of,
    raise_or_warn,
    read_configuration,
    resolve_keywords,
    value_text,
)
from .problems import Problem
from .result import Result, read_result

__all__ = ["Experiment", "ExperimentError", "ExperimentWarning"]

PathLike = Union[str, "os.PathLike[str]"]

# The exit status of an experiment interrupted by SIGINT (128 + 2).
_INTERRUPTED_BY_SIGINT = 130
# The most threads the program's --threads takes.
_MOST_THREADS = 1024


class ExperimentError(RuntimeError):
    """An experiment that could not run, or ended before all of its runs finished for a reason
    other than its Python problem's exception or an interruption. ``messages`` holds what the
    program would have written on standard error, ``status`` its exit status, and ``result`` the
    result over the runs that finished (None when none did)."""

    def __init__(self, message: str, status: int, messages: str, result: Optional[Result]):
        super().__init__(message)
        self.status = status
        self.messages = messages
        self.result = result


class ExperimentWarning(UserWarning):
    """A warning the experiment gave while it ran (the program's "valdrin: warning:" lines)."""


def _progress_bar(progress: Optional[bool], runs: int) -> Any:
    """A tqdm bar over the runs: shown by default in a notebook when tqdm is installed."""
    if progress is None:
        progress = "ipykernel" in sys.modules
    if not progress:
        return None
    try:
        try:
            importlib.import_module("ipywidgets")  # tqdm's notebook bar needs it
            from tqdm.notebook import tqdm
        except ImportError:
            from tqdm import tqdm
    except ImportError:
        return None
    return tqdm(total=runs, unit="run", desc="valdrin")


class Experiment:
    """An experiment: an algorithm, a problem and the values of the configuration's keys.

    Build one from a configuration file, a dict of the configuration's own keys, or keyword
    arguments named after the keys (``population_size=100``, ``crossover_type="SBX"``;
    ``valdrin.keys()`` lists them), or a mix (keywords change the file's or the dict's values)::

        Experiment("examples/onemax/config.xml")
        Experiment({"Population size": 100, "Encoding": "integer"}, problem="Onemax")
        Experiment(problem="Sphere", encoding="real", chromosome_length=3, rng_seed=7)

    The algorithm is GA unless another is named. The problem is a word of Valdrin's problems or
    a :class:`valdrin.Problem` (a plain function becomes one). Relative paths in the
    configuration (Problem library) start from ``folder``: the file's folder, else the working
    folder when the experiment is made.

    :meth:`check` runs the configuration check; :meth:`run` checks and runs the experiment and
    returns a :class:`valdrin.Result`.
    """

    def __init__(
        self,
        configuration: Union[PathLike, Mapping[str, Any], "Experiment", None] = None,
        /,
        *,
        algorithm: Optional[str] = None,
        problem: Union[str, Problem, Any, None] = None,
        folder: Optional[PathLike] = None,
        **keywords: Any,
    ) -> None:
        self._path: Optional[str] = None  # a file run as it is, while nothing changes it
        self._readable = True  # whether the file's keys could be read (to change them)
        self._algorithm = ""
        self._problem: Union[str, Problem] = ""
        self._pairs: Dict[str, str] = {}
        if isinstance(configuration, Experiment):
            self._path, self._readable = configuration._path, configuration._readable
            self._algorithm, self._problem = configuration._algorithm, configuration._problem
            self._pairs = dict(configuration._pairs)
            self._folder = configuration._folder if folder is None else absolute_folder(folder)
        elif isinstance(configuration, Mapping):
            entries = dict(configuration)
            self._algorithm = str(entries.pop("algorithm", ""))
            self._problem = entries.pop("problem", "")
            self._pairs = {str(key): value_text(str(key), value) for key, value in entries.items()}
            self._folder = absolute_folder(folder)
        elif configuration is not None:
            path = os.fspath(configuration)
            if not os.path.isfile(path):
                raise FileNotFoundError(f"no configuration file {path}")
            self._path = path
            self._folder = os.path.dirname(os.path.abspath(path)) if folder is None else absolute_folder(folder)
            try:
                self._algorithm, self._problem, pairs = read_configuration(path)
                self._pairs = dict(pairs)
            except ConfigurationError:
                self._readable = False
        else:
            self._folder = absolute_folder(folder)
        self._apply(algorithm, problem, keywords)
        if not self._algorithm and self._path is None:
            self._algorithm = "GA"

    def _apply(self, algorithm: Optional[str], problem: Any, keywords: Mapping[str, Any]) -> None:
        changes = resolve_keywords(keywords)
        if algorithm is None and problem is None and not changes:
            return
        if self._path is not None and not self._readable:
            read_configuration(self._path)  # raises the ConfigurationError that says why
        self._path = None
        if algorithm is not None:
            self._algorithm = algorithm
        if problem is not None:
            self._problem = problem if isinstance(problem, (str, Problem)) else Problem(problem)
        for key, value in changes.items():
            if value is None:
                self._pairs.pop(key, None)
            else:
                self._pairs[key] = value_text(key, value)

    def replace(self, *, algorithm: Optional[str] = None, problem: Any = None, **keywords: Any) -> "Experiment":
        """A copy with other values (a keyword set to None takes the key out, leaving its default)."""
        copy = Experiment(self)
        copy._apply(algorithm, problem, keywords)
        return copy

    # ---- What the experiment is ---------------------------------------------------------------

    @property
    def algorithm(self) -> str:
        return self._algorithm

    @property
    def problem(self) -> Union[str, Problem]:
        return self._problem

    @property
    def problem_word(self) -> str:
        return self._problem.name if isinstance(self._problem, Problem) else str(self._problem)

    @property
    def folder(self) -> str:
        """Where the configuration's relative paths start."""
        return self._folder

    @property
    def settings(self) -> Dict[str, str]:
        """The configuration's keys and values as written (not the defaults it leaves)."""
        return dict(self._pairs)

    def _text(self) -> Tuple[str, Dict[int, str]]:
        """The configuration's text, and the key on each line where that is known."""
        if self._path is not None:
            with open(self._path, encoding="utf-8", errors="replace") as file:
                return file.read(), {}
        return configuration_text(self._algorithm, self.problem_word, self._pairs.items())

    @property
    def text(self) -> str:
        """The configuration's XML text."""
        return self._text()[0]

    def save(self, path: PathLike) -> None:
        """Writes the configuration to a file (the program runs it: ``valdrin FILE RUNS``)."""
        with open(path, "w", encoding="utf-8") as file:
            file.write(self.text)

    def _definitions(self) -> List[Any]:
        return [self._problem._definition()] if isinstance(self._problem, Problem) else []

    def findings(self, runs: int = 1, strict: bool = False) -> List[Finding]:
        """Every finding of the configuration check for an experiment of that many runs.

        The program only warns of a key it does not know (older files keep running); a key
        written in Python that is no configuration key is an error. With strict, every warning
        is an error (as the program's --strict makes it)."""
        text, key_lines = self._text()
        found = findings_of(_core.check_configuration(text, runs, self._folder, self._definitions()), key_lines)
        return [Finding("error", finding.line, finding.message, finding.key)
                if finding.severity == "warning" and (strict or (finding.key is not None and finding.key not in _BY_KEY))
                else finding for finding in found]

    def check(self, runs: int = 1, strict: bool = False) -> List[Finding]:
        """Runs the configuration check: raises ConfigurationError (carrying every finding) when
        it finds an error; gives each warning through Python's warnings and returns them."""
        return self._check(runs, strict)

    def _check(self, runs: int, strict: bool) -> List[Finding]:
        found = self.findings(runs, strict)
        raise_or_warn(found, stacklevel=4)  # the warnings point at the caller of check or run
        return found

    def parameters(self) -> Dict[str, str]:
        """The value of every key a run would use (the defaults included), as the configuration
        would write it."""
        values: Dict[str, str] = {}
        for line in _core.parameters_text(self._text()[0], self._folder, self._definitions()).splitlines():
            key, _, value = line.partition(" = ")
            values[key] = value
        return values

    def __repr__(self) -> str:
        if self._path is not None:
            return f"Experiment({self._path!r})"
        parts = [f"algorithm={self._algorithm!r}", f"problem={self._problem!r}"]
        extra = {}
        for key, value in self._pairs.items():
            try:
                parts.append(f"{keyword_of(key)}={value!r}")
            except KeyError:
                extra[key] = value
        if extra:
            parts.insert(0, repr(extra))
        return f"Experiment({', '.join(parts)})"

    # ---- Running it ---------------------------------------------------------------------------

    def run(
        self,
        runs: int = 1,
        *,
        out: Optional[PathLike] = None,
        threads: int = 1,
        checkpoint: Optional[str] = None,
        checkpoint_every: int = 0,
        resume: Optional[str] = None,
        report: bool = False,
        plot: bool = False,
        record_every: int = 1,
        ioh: Optional[str] = None,
        label: Optional[str] = None,
        progress: Optional[bool] = None,
        strict: bool = False,
    ) -> Result:
        """Checks the configuration, runs the experiment in this process and returns its result.

        Args:
            runs: the number of runs.
            out: the folder for every file the program writes (the logs, runs.csv and
                generations.csv, and what report, plot, ioh and checkpoint ask for); None writes
                them to a temporary folder, removed once the result is read.
            threads: threads that evaluate a generation's individuals (a Python problem always
                evaluates on one).
            checkpoint: a file (in out) the experiment's state is written to as it goes; needs out.
            checkpoint_every: write it after every that many generations (0: every 10 minutes).
            resume: a checkpoint file (in out) to go on from; needs out.
            report, plot: also write report.html, convergence.svg.
            record_every: generations.csv keeps every N-th generation (and the first and last).
            ioh, label: also write the runs in the IOHprofiler format in that folder (in out),
                the algorithm called label.
            progress: a progress bar over the runs (tqdm); by default in a notebook.
            strict: the configuration check's warnings are errors.

        Raises:
            ConfigurationError: the configuration check found an error (nothing ran).
            KeyboardInterrupt: Ctrl-C (SIGINT) stopped the experiment; the reports over the
                finished runs were written first, and the exception's ``result`` holds them.
            ExperimentError: the experiment failed (its ``messages`` say why; ``result`` holds
                the finished runs, if any).
            Any exception the Python problem raised, after the reports over the finished runs
            were written (its ``result`` attribute holds them).
        """
        for name, value, least in (("runs", runs, 1), ("threads", threads, 1), ("record_every", record_every, 1),
                                   ("checkpoint_every", checkpoint_every, 0)):
            if not isinstance(value, int) or isinstance(value, bool) or value < least:
                raise ValueError(f"{name} must be a whole number of at least {least}, not {value!r}")
        if threads > _MOST_THREADS:  # as the program's --threads
            raise ValueError(f"threads must be a whole number of threads from 1 to {_MOST_THREADS}, not {threads}")
        if (checkpoint or resume) and out is None:
            raise ValueError("checkpoint and resume need out=FOLDER: the checkpoint is kept there, with the files "
                             "it goes on writing")
        self._check(runs, strict)

        kept = out is not None
        folder = os.fspath(out) if kept else tempfile.mkdtemp(prefix="valdrin-run-")
        configuration, written = self._configuration_file()
        bar = _progress_bar(progress, runs)
        on_run = None
        if bar is not None:
            def on_run(run: int) -> None:
                bar.update(run - bar.n)
        try:
            raw = _core.run_experiment(
                configuration=configuration, runs=runs, output_folder=folder, report=report, plot=plot,
                record_every=record_every, ioh_folder=ioh or "", label=label or "", checkpoint=checkpoint or "",
                checkpoint_every=checkpoint_every, resume=resume or "", threads=threads, problems=self._definitions(),
                on_run=on_run)
            finished = len(raw["best"])
            if bar is not None:
                bar.update(finished - bar.n)
            result = None
            if finished > 0:
                result = read_result(folder, runs, raw["best"], raw["best_fitness"], raw["output"], raw["messages"], kept)
        finally:
            if bar is not None:
                bar.close()
            if written:
                os.unlink(configuration)
            if not kept:
                shutil.rmtree(folder, ignore_errors=True)
        return self._outcome(raw, result)

    def _configuration_file(self) -> Tuple[str, bool]:
        """The file the experiment runs, and whether it was written for the run (and is removed
        after it): a configuration built here is written in its folder, so that its relative
        paths mean what they say, or in the temporary folder when its folder cannot be written."""
        if self._path is not None:
            return self._path, False
        text = self._text()[0]
        try:
            descriptor, path = tempfile.mkstemp(prefix=".valdrin-", suffix=".xml", dir=self._folder)
        except OSError:
            descriptor, path = tempfile.mkstemp(prefix="valdrin-", suffix=".xml")
        with os.fdopen(descriptor, "w", encoding="utf-8") as file:
            file.write(text)
        return path, True

    @staticmethod
    def _outcome(raw: Dict[str, Any], result: Optional[Result]) -> Result:
        status, messages = raw["status"], raw["messages"]
        for line in messages.splitlines():
            if line.startswith("valdrin: warning: "):
                warnings.warn(ExperimentWarning(line[len("valdrin: warning: "):]), stacklevel=3)
        if status == 0 and result is not None:
            return result
        account = "; ".join(line[len("valdrin: "):] if line.startswith("valdrin: ") else line
                            for line in messages.splitlines() if line.strip()) or f"exit status {status}"
        error = raw["error"]
        if error is None:
            if status == _INTERRUPTED_BY_SIGINT:
                error = KeyboardInterrupt(account)
            else:
                error = ExperimentError(account, status, messages, result)
        elif hasattr(error, "add_note"):
            error.add_note("valdrin: " + account)
        try:
            error.result = result
        except AttributeError:
            pass
        raise error
