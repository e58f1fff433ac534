"""Problems written in Python: their costs against the built-in problems', and how their failures
and Ctrl-C end an experiment."""
import os
import signal

import numpy as np
import pandas as pd
import pytest

import valdrin

pytestmark = pytest.mark.filterwarnings("ignore::valdrin.ConfigurationWarning")

TIMINGS = ["duration_s", "time_to_solution_s"]


def onemax_experiment(problem, **changes):
    settings = dict(encoding="integer", chromosome_length=30, population_size=20, generations_number=15,
                    selection_type="tournament", tournament_size=2, crossover_type="2-point", crossover_rate=0.8,
                    mutation_type="bit-flip", mutation_rate=0.02, elite_count=1, error_level=0.5, rng_seed=7)
    settings.update(changes)
    return valdrin.Experiment(problem=problem, **settings)


def onemax(**options):
    """OneMax as a numpy function, fixing what the built-in Onemax fixes (one bit a gene)."""
    return valdrin.Problem(lambda genes: genes.shape[1] - genes.sum(axis=1), gene_size=1, **options)


def assert_same_numbers(a, b):
    pd.testing.assert_frame_equal(a.generations, b.generations)
    pd.testing.assert_frame_equal(a.runs.drop(columns=TIMINGS), b.runs.drop(columns=TIMINGS))


@pytest.mark.parametrize("form", ["generation", "one individual", "decoded", "class"])
def test_numpy_onemax_gives_the_built_in_onemax_numbers(form):
    """Catches: genes handed over transposed, shifted or as other codes, costs stored on the
    wrong individuals, or the one-individual form evaluating otherwise than the whole-generation
    one (any of which changes the runs' numbers)."""
    if form == "generation":
        problem = onemax(name="onemax_numpy")
    elif form == "one individual":
        problem = valdrin.Problem(lambda genes: float(genes.size - genes.sum()), name="onemax_one", vectorized=False,
                                  gene_size=1)
    elif form == "decoded":
        problem = valdrin.Problem(lambda values: values.shape[1] - values.sum(axis=1), name="onemax_values",
                                  decoded=True, gene_size=1, gene_offset=0, gene_precision=1)
    else:
        class OneMax(valdrin.Problem):
            """Counts the zeros."""
            name = "onemax_class"
            encodings = ("integer",)

            def __init__(self):
                super().__init__(gene_size=1)

            def evaluate(self, genes):
                assert genes.dtype == np.int32 and genes.ndim == 2
                return genes.shape[1] - genes.sum(axis=1)

        problem = OneMax()
    assert_same_numbers(onemax_experiment(problem).run(runs=2), onemax_experiment("Onemax").run(runs=2))


def test_real_genes_reach_the_function_exactly():
    """Catches: real genes rounded or converted on their way to the function (the built-in
    Sphere function, computed in the same order, would then differ)."""
    def sphere(x):
        assert x.dtype == np.float64
        return (x[:, 0] * x[:, 0] + x[:, 1] * x[:, 1]) + x[:, 2] * x[:, 2]

    settings = dict(encoding="real", chromosome_length=3, population_size=16, generations_number=12,
                    selection_type="tournament", crossover_type="SBX", mutation_type="gaussian", mutation_rate=0.3, rng_seed=3)
    python = valdrin.Experiment(problem=valdrin.Problem(sphere), **settings).run(runs=2)
    assert_same_numbers(python, valdrin.Experiment(problem="Sphere", **settings).run(runs=2))
    assert python.best[0].dtype == np.float64 and python.best_fitness[0] == sphere(python.best[0][None, :])[0]


def test_problem_settings_fix_the_configuration():
    """Catches: the keys a Python problem fixes not reaching the check or the run."""
    problem = onemax(name="onemax17", chromosome_length=17)
    experiment = onemax_experiment(problem, chromosome_length=40)
    assert experiment.parameters()["Chromosome length"] == "17"
    assert experiment.run().best[0].shape == (17,)


def evaluations_per_run():
    """The individuals one run of onemax_experiment evaluates (handed over one or a generation a call)."""
    return int(onemax_experiment("Onemax").run().runs["evaluations"][0])


def test_an_exception_of_the_problem_is_raised_after_the_finished_runs_report(tmp_path):
    """Catches: the problem's exception swallowed or replaced, a crash, or the finished runs'
    reports not written before it is raised."""
    second_run = evaluations_per_run() + 5
    seen = {"individuals": 0}

    def fragile(genes):
        seen["individuals"] += len(genes)
        if seen["individuals"] >= second_run:
            raise ArithmeticError("the simulator diverged")
        return genes.shape[1] - genes.sum(axis=1)

    with pytest.raises(ArithmeticError, match="the simulator diverged") as raised:
        onemax_experiment(valdrin.Problem(fragile)).run(runs=3, out=tmp_path)
    partial = raised.value.result
    assert len(partial.runs) == 1 and partial.runs_asked == 3 and not partial.complete
    assert "covers 1 of 3 runs" in "\n".join(raised.value.__notes__)
    assert "Report covers" in (tmp_path / "summary.log").read_text()
    assert len(pd.read_csv(tmp_path / "runs.csv")) == 1


@pytest.mark.parametrize("answer, message, account", [
    (lambda genes: np.zeros(len(genes) - 1), r"returned an array of shape \(19,\) for 20 individuals",
     "an individual of generation 0"),
    (lambda genes: np.zeros((len(genes), 2)), r"returned an array of shape \(20, 2\)", "an individual of generation 0"),
    (lambda genes: None, r"returned a NoneType", "an individual of generation 0"),
    (lambda genes: np.where(np.arange(len(genes)) == 4, np.nan, 1.0), r"returned NaN as the cost of individual 5",
     "individual 5 of generation 0"),
])
def test_a_wrong_answer_ends_the_experiment_with_a_value_error(answer, message, account):
    """Catches: a wrong-shaped answer read past its end or half used, a NaN cost stored, or the
    account naming another individual than the one at fault."""
    with pytest.raises(ValueError, match=message) as raised:
        onemax_experiment(valdrin.Problem(answer, name="wrong")).run(runs=2)
    assert raised.value.result is None  # no run had finished
    assert f"could not evaluate {account} in run 0" in "\n".join(raised.value.__notes__)


def test_threads_leave_the_numbers_as_they_are():
    """Catches: the thread count not reaching the experiment, or a Python problem copied to other
    threads (which it must not be: its function holds the interpreter's lock)."""
    python = onemax_experiment(onemax(name="onemax_threads")).run(runs=2, threads=2)
    built_in = onemax_experiment("Onemax").run(runs=2, threads=2)
    assert_same_numbers(python, built_in)
    assert_same_numbers(built_in, onemax_experiment("Onemax").run(runs=2))
    for refused in (0, 1025):
        with pytest.raises(ValueError, match="threads"):
            onemax_experiment("Onemax").run(threads=refused)


def test_a_generation_is_handed_over_in_one_call():
    """Catches: the generation cut into calls of one individual (a Python call per individual,
    the cost the vectorized form exists to avoid)."""
    sizes = []

    def counted(genes):
        sizes.append(len(genes))
        return genes.shape[1] - genes.sum(axis=1)

    result = onemax_experiment(valdrin.Problem(counted, gene_size=1)).run()
    assert set(sizes) == {20} and sum(sizes) == result.runs["evaluations"][0]


def test_a_one_individual_answer_that_is_no_number_names_its_type():
    """Catches: a one-individual function's text answer read as a cost, or crashing."""
    with pytest.raises(ValueError, match="returned a str: it must return one cost"):
        onemax_experiment(valdrin.Problem(lambda genes: "zero", vectorized=False)).run()


def test_problems_are_refused_before_anything_runs():
    """Catches: a problem that cannot work (no function, an unknown encoding, a built-in's word,
    a key that does not exist) accepted and failing in the middle of a run."""
    with pytest.raises(TypeError):
        valdrin.Problem(42)
    with pytest.raises(ValueError, match="network"):
        valdrin.Problem(lambda genes: 0, encoding="network")
    with pytest.raises(valdrin.ConfigurationError, match="chromosome_lenght is no configuration key: did you mean "
                                                         "chromosome_length"):
        valdrin.Problem(lambda genes: 0, chromosome_lenght=3)
    with pytest.raises(ValueError, match="already"):
        onemax_experiment(valdrin.Problem(lambda genes: 0, name="Onemax")).run()
    only_reals = valdrin.Problem(lambda genes: genes.sum(axis=1), encoding="real", name="reals")
    with pytest.raises(valdrin.ConfigurationError):
        onemax_experiment(only_reals).run()


def test_ctrl_c_in_the_problem_stops_at_once_and_keeps_the_finished_runs():
    """Catches: Ctrl-C ignored during a Python problem's calls (the run going on to its end), the
    finished runs' report lost, Python's own Ctrl-C handling not given back, or the next
    experiment of the process finding the old signal and stopping."""
    second_run = evaluations_per_run() + 5
    calls = {"n": 0, "after": 0}

    def interrupted(genes):
        calls["n"] += 1
        if calls["n"] == second_run:
            os.kill(os.getpid(), signal.SIGINT)
        elif calls["n"] > second_run:
            calls["after"] += 1
        return float(genes.size - genes.sum())

    handler = signal.getsignal(signal.SIGINT)
    with pytest.raises(KeyboardInterrupt) as raised:
        onemax_experiment(valdrin.Problem(interrupted, vectorized=False)).run(runs=3)
    assert calls["after"] == 0
    assert len(raised.value.result.runs) == 1
    assert signal.getsignal(signal.SIGINT) is handler
    assert len(onemax_experiment("Onemax").run(runs=2).runs) == 2
