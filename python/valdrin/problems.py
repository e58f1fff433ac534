"""Problems written in Python: a function (or a class with an ``evaluate`` method) that gives
each individual its cost; lower is better, as for every problem of Valdrin."""
from __future__ import annotations

from typing import Any, Callable, Iterable, Optional, Sequence, Union

import numpy as np

from . import _core
from .configuration import resolve_keywords, value_text

__all__ = ["Problem", "problem"]

ENCODINGS = ("integer", "string", "real")

Costs = Union[np.ndarray, Sequence[float]]


class Problem:
    """A problem whose costs a Python function computes.

    The function receives a whole generation at once: a 2-D numpy array with one row per
    individual and one column per gene, and returns one cost per individual (an array or
    sequence of that many numbers; lower is better). The genes are, by encoding:

    - ``integer`` (bit strings): the genes' codes as int32 (0/1 with Gene size 1),
    - ``string``: the symbols' numbers (0 .. Arity-1) as int32,
    - ``real``: the genes' values as float64.

    With ``decoded=True`` integer and string genes come as float64 values instead, as the
    configuration reads them (code * Gene precision + Gene offset for bit strings).

    With ``vectorized=False`` the function receives one individual at a time (a 1-D array) and
    returns its cost as a number.

    Keyword arguments named after configuration keys (``chromosome_length=1000``) fix those
    values for every experiment of the problem, whatever its configuration says.

    An exception the function raises ends the experiment after the reports over the finished
    runs are written, and is raised again by ``Experiment.run``. A cost that is NaN, or an answer
    of the wrong shape, ends it the same way with a ValueError.

    Subclasses may override :meth:`evaluate` instead of passing a function::

        class Trap(valdrin.Problem):
            name = "trap"
            encodings = ("integer",)

            def evaluate(self, genes):
                ones = genes.sum(axis=1)
                return np.where(ones == genes.shape[1], 0, ones + 1)
    """

    name: str = ""
    description: str = ""
    encodings: Sequence[str] = ENCODINGS
    vectorized: bool = True
    decoded: bool = False
    never_below_zero: bool = False

    def __init__(
        self,
        function: Optional[Callable[[np.ndarray], Any]] = None,
        *,
        name: Optional[str] = None,
        encodings: Optional[Iterable[str]] = None,
        encoding: Optional[str] = None,
        vectorized: Optional[bool] = None,
        decoded: Optional[bool] = None,
        never_below_zero: Optional[bool] = None,
        description: Optional[str] = None,
        **settings: Any,
    ) -> None:
        if function is not None and not callable(function):
            raise TypeError(f"a problem's function must be callable, not {type(function).__name__}")
        if function is None and type(self).evaluate is Problem.evaluate:
            raise TypeError("a Problem needs a function, or a subclass that defines evaluate")
        self.function = function
        if name is not None:
            self.name = name
        elif not self.name:
            # A function's name; a lambda's "<lambda>" is no word a configuration can hold.
            named = getattr(function, "__name__", None) or type(self).__name__
            self.name = named if named.isidentifier() else "python_problem"
        if encoding is not None:
            encodings = (encoding,)
        if encodings is not None:
            self.encodings = tuple(encodings)
        for attribute, value in (("vectorized", vectorized), ("decoded", decoded),
                                 ("never_below_zero", never_below_zero), ("description", description)):
            if value is not None:
                setattr(self, attribute, value)
        if not self.description:
            source = function if function is not None else type(self)
            doc = (getattr(source, "__doc__", None) or "").strip()
            self.description = doc.splitlines()[0] if doc else f"the Python problem {self.name}"
        self.settings = {key: value_text(key, value) for key, value in resolve_keywords(settings).items()}
        # Checks the word, the encodings and the settings now rather than at the first run.
        self._definition()

    def evaluate(self, genes: np.ndarray) -> Costs:
        """The costs of the individuals in genes (one row each), or the cost of one individual
        (a 1-D array) when the problem is not vectorized."""
        assert self.function is not None
        return self.function(genes)

    def __call__(self, genes: np.ndarray) -> Costs:
        return self.evaluate(genes)

    def _definition(self) -> Any:
        return _core.ProblemDefinition(self.name, self.description, list(self.encodings), bool(self.never_below_zero),
                                 bool(self.vectorized), bool(self.decoded), list(self.settings.items()), self.evaluate)

    def __repr__(self) -> str:
        form = "a generation a call" if self.vectorized else "one individual a call"
        return f"<valdrin.Problem {self.name!r}: {', '.join(self.encodings)}; {form}>"


def problem(function: Optional[Callable[[np.ndarray], Any]] = None, **options: Any) -> Any:
    """Makes a function a :class:`Problem`, as a decorator with or without options::

        @valdrin.problem(encoding="integer")
        def onemax(genes):
            return genes.shape[1] - genes.sum(axis=1)
    """
    if function is not None:
        return Problem(function, **options)
    return lambda wrapped: Problem(wrapped, **options)
