"""Configurations built in Python and the configuration check: the findings reach Python as the
program reports them."""
import warnings

import pytest

import valdrin


def test_every_key_has_one_keyword_and_back():
    """Catches: two keys made into the same keyword (one of them unreachable from Python), or a
    keyword that does not lead back to its key."""
    keywords = [key.keyword for key in valdrin.keys()]
    assert len(keywords) == len(set(keywords)) and "algorithm" not in keywords and "problem" not in keywords
    for key in valdrin.keys():
        assert key.keyword.isidentifier() and valdrin.key_of(key.keyword) == key.key
    assert valdrin.keyword_of("Population size") == "population_size"
    assert valdrin.keyword_of("Crossover type") == "crossover_type"
    assert "SBX" in next(key for key in valdrin.keys() if key.key == "Crossover type").words


def test_a_misspelt_key_raises_the_checks_finding_on_its_key():
    """Catches: a configuration built from a dict run without the check, a key Python wrote that
    does not exist only warned of (the run going on with the default), or the check's findings
    lost or not pointing at the key."""
    experiment = valdrin.Experiment({"Populaton size": 30, "Encoding": "integer", "Selection type": "tournament"},
                                    problem="Onemax")
    with pytest.raises(valdrin.ConfigurationError) as raised:
        experiment.run()
    errors = [finding for finding in raised.value.findings if finding.severity == "error"]
    assert len(errors) == 1 and errors[0].key == "Populaton size" and 'did you mean "Population size"' in errors[0].message
    assert "Populaton size" in str(raised.value)


def test_every_error_is_carried_with_its_message_and_strict_makes_warnings_errors():
    """Catches: only the first of several errors reaching Python, or strict ignored."""
    experiment = valdrin.Experiment(problem="Onemax", encoding="integer", selection_type="tournament",
                                    tournament_size=0, population_size=-4, mutation_rate=3.0)
    with pytest.raises(valdrin.ConfigurationError) as raised:
        experiment.check()
    by_severity = {(finding.severity, finding.key) for finding in raised.value.findings}
    assert by_severity == {("error", "Tournament size"), ("error", "Population size"), ("warning", "Mutation rate")}
    assert "a tournament needs at least 1 contestant" in str(raised.value)
    acceptable = experiment.replace(tournament_size=2, population_size=10)
    with pytest.warns(valdrin.ConfigurationWarning, match="Mutation rate"):
        acceptable.check()
    with pytest.raises(valdrin.ConfigurationError, match="a probability above 1"):
        acceptable.run(strict=True)


def test_an_unknown_keyword_is_refused_with_the_closest_names():
    """Catches: a misspelt keyword silently dropped (the experiment running with the default)."""
    with pytest.raises(valdrin.ConfigurationError, match="did you mean population_size"):
        valdrin.Experiment(problem="Onemax", populaton_size=30)


def test_warnings_go_through_pythons_warnings_and_the_experiment_runs(examples):
    """Catches: the check's warnings raised as errors (the experiment not running), or lost."""
    experiment = valdrin.Experiment(examples / "onemax" / "config.xml")  # uniform crossover on bit strings
    with pytest.warns(valdrin.ConfigurationWarning, match="runs the 2-point crossover"):
        result = experiment.run()
    assert len(result.runs) == 1
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        valdrin.Experiment(examples / "sphere-real" / "config.xml").check()


def test_keywords_change_a_files_values_and_none_restores_the_default(examples):
    """Catches: a change to a file-based experiment ignored (the file run as it is), or the
    change leaking into the experiment it was made from."""
    base = valdrin.Experiment(examples / "sphere-real" / "config.xml")
    changed = base.replace(population_size=12, crossover_rate=None)
    assert changed.parameters()["Population size"] == "12"
    default = next(key.default for key in valdrin.keys() if key.key == "Crossover rate")
    assert changed.parameters()["Crossover rate"] == default != base.parameters()["Crossover rate"]
    assert base.parameters()["Population size"] == "40"
    assert changed.run().runs["evaluations"][0] != base.run().runs["evaluations"][0]
    assert repr(base) == f"Experiment({str(examples / 'sphere-real' / 'config.xml')!r})"
    assert "population_size='12'" in repr(changed)


def test_a_generated_configuration_runs_with_the_program(program, tmp_path):
    """Catches: a saved configuration that the program reads otherwise than Python ran it."""
    import subprocess

    experiment = valdrin.Experiment(problem="Sphere", encoding="real", chromosome_length=2, population_size=10,
                                    generations_number=5, rng_seed=9, selection_type="tournament",
                                    crossover_type="SBX", mutation_type="gaussian", mutation_rate=0.25)
    experiment.save(tmp_path / "config.xml")
    finished = subprocess.run([program, "config.xml", "1", "--csv"], cwd=tmp_path, capture_output=True, text=True)
    assert finished.returncode == 0, finished.stderr
    assert experiment.run().output == finished.stdout
