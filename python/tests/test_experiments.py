"""Experiments run from Python against the program: the same numbers, the same files, the same
result twice in one process, and the DataFrames' columns and types."""
import csv
import io

import numpy as np
import pandas as pd
import pytest

import valdrin
from conftest import run_program

# The examples' warnings (an operator that runs as another on their encoding) are beside the point here.
pytestmark = pytest.mark.filterwarnings("ignore::valdrin.ConfigurationWarning")

# The timings of a run: the only values of runs.csv that differ from one run to the next.
TIMINGS = {"duration_s", "time_to_solution_s"}


def csv_rows(text):
    return list(csv.DictReader(io.StringIO(text)))


def without_timings(rows):
    return [{column: value for column, value in row.items() if column not in TIMINGS} for row in rows]


@pytest.mark.parametrize("example", ["onemax", "sphere-real", "rastrigin-integer", "mixing-time"])
def test_same_files_and_numbers_as_the_program(program, examples, tmp_path, example):
    """Catches: the embedded experiment reading, seeding or writing otherwise than the program
    (each encoding's genes and the logs that show them included)."""
    configuration = examples / example / "config.xml"
    cli = run_program(program, configuration, 3, tmp_path / "cli")
    assert cli.returncode == 0, cli.stderr
    result = valdrin.Experiment(configuration).run(runs=3, out=tmp_path / "python")

    cli_runs = (tmp_path / "cli" / "runs.csv").read_text()
    python_runs = (tmp_path / "python" / "runs.csv").read_text()
    assert without_timings(csv_rows(python_runs)) == without_timings(csv_rows(cli_runs))
    assert (tmp_path / "python" / "generations.csv").read_text() == (tmp_path / "cli" / "generations.csv").read_text()
    for log in ("solution.log", "candidate.log"):
        assert (tmp_path / "python" / log).exists() == (tmp_path / "cli" / log).exists()
        if (tmp_path / "cli" / log).exists():
            assert (tmp_path / "python" / log).read_text() == (tmp_path / "cli" / log).read_text()
    assert result.output == cli.stdout
    # The DataFrame holds the file's numbers.
    assert result.runs["final_best_fitness"].tolist() == [float(row["final_best_fitness"]) for row in csv_rows(cli_runs)]


def test_keywords_and_dict_make_the_configuration_the_file_makes(examples, tmp_path):
    """Catches: a keyword name mapped to the wrong key, or a value written otherwise than the
    file writes it (floats, words with blanks), in the configuration built from Python."""
    path = examples / "sphere-real" / "config.xml"
    from_file = valdrin.Experiment(path)
    pairs = from_file.settings
    keywords = {valdrin.keyword_of(key): value for key, value in pairs.items()}
    typed = {keyword: (float(value) if keyword in ("crossover_rate", "mutation_rate", "error_level") else value)
             for keyword, value in keywords.items()}
    from_keywords = valdrin.Experiment(algorithm="GA", problem="Sphere", **typed)
    from_dict = valdrin.Experiment(dict(pairs), problem="Sphere")
    assert from_keywords.parameters() == from_file.parameters() == from_dict.parameters()
    a = from_file.run(runs=2)
    b = from_keywords.run(runs=2)
    pd.testing.assert_frame_equal(a.generations, b.generations)


def test_two_experiments_in_one_process_give_identical_results(examples):
    """Catches: state kept between experiments in one process (a generator, a counter, a
    table), which would make the second run differ from the first."""
    experiment = valdrin.Experiment(examples / "rastrigin-real" / "config.xml")
    first = experiment.run(runs=2)
    second = experiment.run(runs=2)
    pd.testing.assert_frame_equal(first.generations, second.generations)
    pd.testing.assert_frame_equal(first.runs.drop(columns=list(TIMINGS)), second.runs.drop(columns=list(TIMINGS)))
    assert all(np.array_equal(a, b) for a, b in zip(first.best, second.best))
    assert first.summary.splitlines()[:40] == second.summary.splitlines()[:40]


def test_dataframes_have_the_csv_columns_with_their_types(examples):
    """Catches: columns read as text or in another order, a nullable count turned into floats or
    zeros, solved left as 0/1 numbers."""
    result = valdrin.Experiment(examples / "sphere-real" / "config.xml").run(runs=2)
    assert list(result.generations.columns) == ["run", "generation", "evaluations", "best_fitness", "mean_fitness",
                                                "worst_fitness", "fitness_variance", "population_size", "solved"]
    assert list(result.runs.columns[:4]) == ["run", "generations", "evaluations", "duration_s"]
    assert result.runs.columns[-1] == "runs_asked"
    types = result.runs.dtypes
    assert types["run"] == np.int64 and types["evaluations"] == np.int64 and types["runs_asked"] == np.int64
    assert types["solved"] == bool and result.generations.dtypes["solved"] == bool
    assert types["final_best_fitness"] == np.float64 and types["duration_s"] == np.float64
    assert str(types["convergence_generation"]) == "Int64"
    assert result.runs["run"].tolist() == [1, 2]
    assert result.generations.groupby("run")["generation"].max().tolist() == result.runs["generations"].tolist()


def test_best_individuals_are_exact_and_match_their_costs(examples):
    """Catches: best individuals rounded (as the logs print reals), taken from the wrong run, or
    not the ones the logs show."""
    result = valdrin.Experiment(examples / "sphere-real" / "config.xml").run(runs=3)
    assert len(result.best) == 3
    for genes, cost in zip(result.best, result.best_fitness):
        assert genes.dtype == np.float64 and genes.shape == (3,)
        assert (genes[0] * genes[0] + genes[1] * genes[1]) + genes[2] * genes[2] == cost  # the Sphere function
    solved = result.runs["solved"].to_numpy()
    best_so_far = result.runs["best_so_far_fitness"].to_numpy()
    assert np.array_equal(result.best_fitness[~solved], best_so_far[~solved])
    assert "3 runs" in repr(result) and f"{result.solved} solved" in repr(result)


def test_out_folder_holds_every_file_the_program_writes(program, examples, tmp_path):
    """Catches: a file the program writes (the algorithm's log, the report page) missing from out."""
    configuration = examples / "onemax" / "config.xml"
    cli = run_program(program, configuration, 2, tmp_path / "cli", "--report", "--plot")
    assert cli.returncode == 0, cli.stderr
    result = valdrin.Experiment(configuration).run(runs=2, out=tmp_path / "python", report=True, plot=True)
    written = sorted(path.name for path in (tmp_path / "cli").iterdir() if path.name != "config.xml")
    assert sorted(path.name for path in (tmp_path / "python").iterdir()) == written
    assert result.folder == str(tmp_path / "python")


def test_an_experiment_that_cannot_write_raises_with_the_programs_account(examples, tmp_path):
    """Catches: a failed experiment returning an empty or stale result instead of raising, or the
    reason (the program's message) lost."""
    blocked = tmp_path / "a-file"
    blocked.write_text("not a folder")
    with pytest.raises(valdrin.ExperimentError, match="cannot create the output folder") as raised:
        valdrin.Experiment(examples / "sphere-real" / "config.xml").run(out=blocked)
    assert raised.value.status == 1 and raised.value.result is None
    assert "valdrin: error:" in raised.value.messages
