"""Shared fixtures: the valdrin program of the build under test and the example configurations."""
import os
import shutil
import subprocess
from pathlib import Path

import pytest

SOURCE = Path(__file__).resolve().parents[2]
EXAMPLES = SOURCE / "examples"


def built_program(variable: str, name: str) -> str:
    path = os.environ.get(variable) or str(SOURCE / "build" / name)
    if not os.access(path, os.X_OK):
        pytest.skip(f"{name} is not built ({path})")
    return path


@pytest.fixture(scope="session")
def program() -> str:
    """The valdrin program these tests compare the package with."""
    return built_program("VALDRIN_EXECUTABLE", "valdrin")


@pytest.fixture(scope="session")
def sweep_program() -> str:
    if shutil.which("parallel") is None:
        pytest.skip("GNU parallel is not installed")
    return built_program("VALDRIN_SWEEP_EXECUTABLE", "valdrin-sweep")


@pytest.fixture
def examples() -> Path:
    return EXAMPLES


def run_program(program: str, configuration: Path, runs: int, folder: Path, *options: str) -> subprocess.CompletedProcess:
    """Runs the program on a copy of the configuration in folder, as a user would: `valdrin config.xml RUNS --csv`."""
    folder.mkdir(parents=True, exist_ok=True)
    shutil.copy(configuration, folder / "config.xml")
    return subprocess.run([program, "config.xml", str(runs), "--csv", *options], cwd=folder, capture_output=True,
                          text=True, check=False)
