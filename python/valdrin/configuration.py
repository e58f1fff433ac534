"""Configuration keys, their keyword names, findings of the configuration check, and the XML text
of a configuration built from Python values."""
from __future__ import annotations

import difflib
import os
import re
import warnings
import xml.etree.ElementTree as ElementTree
from dataclasses import dataclass
from typing import Any, Dict, Iterable, List, Mapping, Optional, Sequence, Tuple
from xml.sax.saxutils import escape

from . import _core

__all__ = [
    "ConfigurationError",
    "ConfigurationWarning",
    "Finding",
    "Key",
    "keys",
    "keyword_of",
    "key_of",
]


@dataclass(frozen=True)
class Key:
    """One configuration key: its name in the configuration, its keyword name in Python, the
    kind of value it takes (integer, real, word, flag, seed, text), the words it accepts (empty
    for numbers and text), its default as the configuration would write it, and what it does."""

    key: str
    keyword: str
    kind: str
    words: Tuple[str, ...]
    default: str
    description: str


def _snake(key: str) -> str:
    """The keyword name of a key: "Population size" -> population_size, "xAlpha" -> x_alpha."""
    spaced = re.sub(r"(?<=[a-z0-9])(?=[A-Z])", " ", key)
    return re.sub(r"[^0-9a-zA-Z]+", "_", spaced).strip("_").lower()


_KEYS: Tuple[Key, ...] = tuple(
    Key(row["key"], _snake(row["key"]), row["kind"], tuple(row["words"]), row["default"], row["description"])
    for row in _core.key_rows()
)
_BY_KEYWORD: Dict[str, Key] = {key.keyword: key for key in _KEYS}
_BY_KEY: Dict[str, Key] = {key.key: key for key in _KEYS}

# The two elements beside the keys.
ELEMENT_KEYWORDS = ("algorithm", "problem")


def keys() -> Tuple[Key, ...]:
    """Every configuration key, in the order the help lists them."""
    return _KEYS


def keyword_of(key: str) -> str:
    """The keyword name of a configuration key ("Crossover type" -> "crossover_type")."""
    if key not in _BY_KEY:
        raise KeyError(f"{key!r} is no configuration key")
    return _BY_KEY[key].keyword


def key_of(keyword: str) -> str:
    """The configuration key a keyword name stands for ("crossover_type" -> "Crossover type")."""
    if keyword not in _BY_KEYWORD:
        raise KeyError(f"{keyword!r} is no keyword of a configuration key")
    return _BY_KEYWORD[keyword].key


@dataclass(frozen=True)
class Finding:
    """A finding of the configuration check: "error" or "warning", the line of the configuration
    it concerns (0 for the whole of it), the key on that line when there is one, and the message."""

    severity: str
    line: int
    message: str
    key: Optional[str] = None

    def __str__(self) -> str:
        where = f"{self.key}: " if self.key else (f"line {self.line}: " if self.line > 0 else "")
        return f"{where}{self.severity}: {self.message}"


class ConfigurationError(ValueError):
    """The configuration check found errors: every finding is in ``findings`` (the warnings too)."""

    def __init__(self, findings: Sequence[Finding]):
        self.findings: List[Finding] = list(findings)
        errors = [finding for finding in self.findings if finding.severity == "error"]
        count = f"{len(errors)} error" + ("s" if len(errors) != 1 else "")
        super().__init__(f"the configuration has {count}:\n" + "\n".join(f"  {finding}" for finding in errors))


class ConfigurationWarning(UserWarning):
    """A warning of the configuration check: the experiment runs, only not quite as written."""


def value_text(key: str, value: Any) -> str:
    """The text a configuration holds for a Python value: yes/no for booleans, numbers as they
    read back exactly, text as it is."""
    if isinstance(value, bool):
        return "yes" if value else "no"
    if isinstance(value, float):
        return repr(value)
    return str(value)


def resolve_keywords(keywords: Mapping[str, Any]) -> Dict[str, Any]:
    """The configuration keys of keyword names; an unknown name raises ConfigurationError with
    the closest names."""
    resolved: Dict[str, Any] = {}
    for keyword, value in keywords.items():
        if keyword in _BY_KEYWORD:
            resolved[_BY_KEYWORD[keyword].key] = value
            continue
        close = difflib.get_close_matches(keyword, list(_BY_KEYWORD) + list(ELEMENT_KEYWORDS), n=3)
        hint = f": did you mean {' or '.join(close)}?" if close else " (valdrin.keys() lists them)"
        raise ConfigurationError([Finding("error", 0, f"{keyword} is no configuration key{hint}")])
    return resolved


def configuration_text(algorithm: str, problem: str, pairs: Iterable[Tuple[str, str]]) -> Tuple[str, Dict[int, str]]:
    """The XML text of a configuration, one parameter a line, and the key on each parameter's
    line (for the findings)."""
    lines = ['<?xml version="1.0"?>', "<experiment>"]
    lines.append(f"  <algorithm><type>{escape(algorithm)}</type></algorithm>")
    lines.append(f"  <problem><type>{escape(problem)}</type></problem>")
    key_lines: Dict[int, str] = {}
    for key, value in pairs:
        key_lines[len(lines) + 1] = key
        lines.append(f"  <parameter><name>{escape(key)}</name><value>{escape(value)}</value></parameter>")
    lines.append("</experiment>")
    return "\n".join(lines) + "\n", key_lines


def read_configuration(path: str) -> Tuple[str, str, List[Tuple[str, str]]]:
    """The algorithm, the problem and the (key, value) pairs of a configuration file."""
    try:
        root = ElementTree.parse(path).getroot()
    except ElementTree.ParseError as error:
        raise ConfigurationError([Finding("error", getattr(error, "position", (0,))[0],
                                          f"{path} is not well-formed XML ({error}): run it as it is, "
                                          "or correct it before changing its keys")]) from None

    def first_child_text(name: str) -> str:
        element = root if root.tag == name else root.find(f".//{name}")
        if element is None or len(element) == 0:
            return ""
        return (element[0].text or "").strip()

    pairs = []
    for parameter in root.iter("parameter"):
        name, value = parameter.find("name"), parameter.find("value")
        if name is not None and value is not None:
            pairs.append(((name.text or "").strip(), (value.text or "").strip()))
    return first_child_text("algorithm"), first_child_text("problem"), pairs


def findings_of(raw: Iterable[Tuple[str, int, str]], key_lines: Mapping[int, str]) -> List[Finding]:
    return [Finding(severity, line, message, key_lines.get(line)) for severity, line, message in raw]


def raise_or_warn(findings: Sequence[Finding], stacklevel: int = 2) -> None:
    """Raises ConfigurationError when a finding is an error; else each warning goes through
    Python's warnings (stacklevel as warnings.warn counts it from here)."""
    if any(finding.severity == "error" for finding in findings):
        raise ConfigurationError(findings)
    for finding in findings:
        warnings.warn(ConfigurationWarning(str(finding)), stacklevel=stacklevel)


def absolute_folder(folder: Optional[os.PathLike | str]) -> str:
    return os.path.abspath(os.fspath(folder)) if folder is not None else os.getcwd()
