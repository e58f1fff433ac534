"""Sweeps from Python: the sweep's tables as DataFrames."""
import pytest

import valdrin

pytestmark = pytest.mark.filterwarnings("ignore::valdrin.ConfigurationWarning")


def test_a_sweeps_tables_hold_the_experiments_results(sweep_program, tmp_path):
    """Catches: tables read from the wrong file or mixed up, or a sweep's experiment giving other
    numbers than the same experiment run from Python."""
    base = valdrin.Experiment(problem="Onemax", encoding="integer", chromosome_length=20, population_size=10,
                              generations_number=8, error_level=0.5, selection_type="tournament")
    tables = valdrin.sweep(base, {"population_size": [10, 16]}, seeds=[1, 2], runs=2, out=tmp_path / "sweep",
                           jobs=1, program=sweep_program)
    assert {"experiments", "runs", "generations", "swept_keys"} <= set(tables)
    experiments, runs = tables["experiments"], tables["runs"]
    assert len(experiments) == 4 and set(experiments["exit_status"]) == {0}
    assert len(runs) == 8 and runs["experiment_id"].value_counts().tolist() == [2, 2, 2, 2]
    column = tables["swept_keys"]["column_name"][0]
    row = experiments[(experiments["seed"] == 2) & (experiments[column] == 16)]
    assert len(row) == 1
    swept = runs[runs["experiment_id"] == row["id"].iloc[0]].sort_values("run")
    alone = base.replace(population_size=16, rng_seed=2).run(runs=2)
    assert swept["final_best_fitness"].tolist() == alone.runs["final_best_fitness"].tolist()
    assert swept["evaluations"].tolist() == alone.runs["evaluations"].tolist()
    assert valdrin.load_sweep(tmp_path / "sweep")["runs"].equals(runs)


def test_a_sweep_of_a_python_problem_or_without_results_is_refused(tmp_path):
    """Catches: a sweep started that cannot call the Python problem, or a folder without results
    read as an empty sweep."""
    python = valdrin.Experiment(problem=valdrin.Problem(lambda genes: genes.sum(axis=1), name="ones"))
    with pytest.raises(ValueError, match="cannot call a Python problem"):
        valdrin.sweep(python, {"population_size": [10]}, out=tmp_path / "sweep")
    with pytest.raises(FileNotFoundError, match="results.sqlite"):
        valdrin.load_sweep(tmp_path)
