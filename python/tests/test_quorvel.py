"""The Python package against the console program, the exhaustive references
of the shared networks, and its own pictures' data."""
import itertools
import json
import os
import pathlib
import signal
import subprocess
import threading
import time

import pytest

import quorvel

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = sorted((ROOT / "examples").glob("*.net"))
SHARED = ROOT.parent / "shared" / "networks"
CONSOLE = os.environ.get("QUORVEL_CONSOLE", str(ROOT / "build" / "quorvel"))
needs_shared = pytest.mark.skipif(not SHARED.is_dir(), reason="../shared/networks is absent")
# Shared models: rule files, .bnet and SBML, with and without inputs.
SHARED_CASES = [("models/bbm-003.net", {}), ("bnet/bbm-011.bnet", {}),
                ("sbml/bbm-015.sbml", {}), ("inputs-off/bbm-009.net", {}),
                ("models/bbm-021.net", {"inputs": "grouped"}),
                ("models/bbm-023.net", {"update": "sync"}),
                ("bnet/bbm-013.bnet", {"inputs": "off"})]


def console(path, words):
    run = subprocess.run([CONSOLE, "--format", "json", "--quiet", *words, str(path)],
                         capture_output=True, text=True)
    return run.returncode, run.stdout, run.stderr


def words_of(options):
    return [w for k, v in options.items() for w in ("--" + k, v)]


def canonical(raw):
    """The answer as sets: attractors (states, cubes) per outcome."""
    def cover(list_):
        return frozenset((a["states"], frozenset(a["cubes"])) for a in list_)
    if "outcomes" in raw:
        found = frozenset((frozenset(o["settings"]), cover(o["attractors"]))
                          for o in raw["outcomes"])
    else:
        found = cover(raw["attractors"])
    return raw["genes"], raw.get("fixed"), found


def expand(cube):
    choices = [("0", "1") if c == "-" else (c,) for c in cube]
    return {"".join(state) for state in itertools.product(*choices)}


@pytest.mark.parametrize("path,options",
                         [(p, {}) for p in EXAMPLES] + [(EXAMPLES[0], {"update": "sync"})]
                         + [(SHARED / p, o) for p, o in SHARED_CASES])
def test_answers_equal_the_console(path, options):
    if not path.exists():
        pytest.skip("%s is absent" % path)
    status, out, err = console(path, words_of(options))
    assert status == 0, err
    result = quorvel.attractors(path, **options)
    assert canonical(result.raw) == canonical(json.loads(out))
    # The Python objects hold the same answer as the JSON.
    assert [a.states for a in result.attractors] == [
        a["states"] for a in (result.raw["attractors"] if result.outcomes is None else
                              [a for o in result.raw["outcomes"] for a in o["attractors"]])]
    assert quorvel.read(path).genes == result.genes


@needs_shared
@pytest.mark.parametrize("variant,model", [("inputs-off", "bbm-003"), ("inputs-off", "bbm-015"),
                                           ("models", "bbm-023"), ("models", "bbm-029")])
def test_attractors_and_table_match_the_exhaustive_reference(variant, model):
    path = SHARED / variant / (model + ".net")
    reference = json.loads((SHARED / "expected" / variant / (model + ".json")).read_text())
    result = quorvel.attractors(path)
    assert result.genes == reference["genes"]
    found = [set().union(*(expand(c) for c in a.cubes)) for a in result.attractors]
    assert sorted(map(sorted, found)) == sorted(map(sorted, reference["attractors"])), path
    assert [a.states for a in result.attractors] == [len(states) for states in found]
    table = result.to_pandas()
    assert list(table.columns) == result.genes and len(table) == len(found)
    for row, states in zip(table.itertuples(index=False), found):
        for g, value in enumerate(row):
            values = {state[g] for state in states}
            assert value == ("changing" if len(values) == 2 else int(values.pop()))


def test_network_text_and_rules_round_trip(tmp_path):
    path = ROOT / "examples" / "toggle-switch.net"
    text = path.read_text()
    assert canonical(quorvel.attractors(text).raw) == canonical(quorvel.attractors(path).raw)
    network = quorvel.read(path)
    assert network.regulators == {"A": {"B": "inhibition"}, "B": {"A": "inhibition"}}
    again = quorvel.read("\n".join(str(rule) for rule in network.rules) + "\n")
    assert again == network
    bnet = quorvel.attractors("A, !B\nB, !A\n")
    assert sorted(a.space for a in bnet.attractors) == ["01", "10"]


def test_bad_input_raises_with_the_consoles_message(tmp_path):
    example = ROOT / "examples" / "toggle-switch.net"
    cases = [({"update": "both"}, ValueError), ({"fix": {"NOPE": 1}}, ValueError),
             ({"no_such_option": True}, ValueError)]
    for options, kind in cases:
        with pytest.raises(kind) as caught:
            quorvel.attractors(example, **options)
        words = [w.replace("--fix=", "--fix ").split(" ") for w in
                 quorvel._option_words(**options)[3:]]
        status, _, err = console(example, [x for w in words for x in w])
        assert status == 1 and err.splitlines()[0] == "quorvel: " + str(caught.value)
    bad = tmp_path / "bad.bnet"
    bad.write_text("A, B &\n")
    for path in (bad, tmp_path / "missing.net"):
        with pytest.raises(quorvel.NetworkError) as caught:
            quorvel.attractors(path)
        assert isinstance(caught.value, quorvel.Error)
        assert console(path, [])[2].strip() == "quorvel: " + str(caught.value)
        with pytest.raises(quorvel.NetworkError):
            quorvel.read(path)


def big_network(tmp_path):
    """28 free inputs, each read by a gene of a chain: 2^28 attractors, far
    more than a run can list before it is stopped."""
    lines = ["X%d -> X%d" % (k, k) for k in range(28)]
    lines += ["X%d&^Y%d -> Y%d" % (k, k - 1, k) if k else "X0 -> Y0" for k in range(28)]
    path = tmp_path / "big.net"
    path.write_text("\n".join(lines) + "\n")
    return path


def native_threads():
    return len(os.listdir("/proc/self/task"))


def test_a_stopped_analysis_ends_and_the_next_one_runs(tmp_path):
    path = big_network(tmp_path)
    threads = native_threads()
    stop, outcome = threading.Event(), []

    def run():
        try:
            quorvel.attractors(path, stop=stop)
        except quorvel.Stopped as stopped:
            outcome.append(str(stopped))
    worker = threading.Thread(target=run)
    worker.start()
    spins, end = 0, time.monotonic() + 0.5
    while time.monotonic() < end:  # runs only while the analysis leaves the GIL free
        spins += 1
    stop.set()
    worker.join()
    assert outcome == ["the analysis was stopped"] and spins > 1000
    # The analysis's own thread is gone too (joined before the call returned);
    # the Python thread may take a moment to leave the kernel's list.
    deadline = time.monotonic() + 10
    while native_threads() != threads and time.monotonic() < deadline:
        time.sleep(0.01)
    assert native_threads() == threads
    timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        quorvel.attractors(path)
    timer.join()
    assert len(quorvel.attractors(ROOT / "examples" / "toggle-switch.net")) == 2


def test_heatmap_data_is_the_answer(tmp_path):
    result = quorvel.attractors(ROOT / "examples" / "ring-oscillator.net", update="sync")
    data = quorvel.heatmap_data(result)
    assert data.rows == result.genes and len(data.columns) == len(result.attractors)
    for c, attractor in enumerate(result.attractors):
        states = set().union(*(expand(cube) for cube in attractor.cubes))
        for g in range(len(result.genes)):
            values = {s[g] for s in states}
            assert data.matrix[g][c] == (2 if len(values) == 2 else int(values.pop()))
    # Many attractors: one column per pattern, the counts add up, cuts noted.
    lines = ["X%d -> X%d" % (k, k) for k in range(7)] + ["X0&X1 -> Z", "Z -> Z2"]
    many = quorvel.attractors("\n".join(lines) + "\n")
    data = quorvel.heatmap_data(many, max_columns=20, max_rows=3)
    assert len(many.attractors) == 128 and len(data.columns) == 20
    assert sum(data.counts) == 20 and len(data.notes) == 3
    assert 0 < len(data.rows) < 9 and all(len(set(row)) > 1 for row in data.matrix)
    grouped = quorvel.attractors(SHARED / "models" / "bbm-021.net", inputs="grouped") \
        if SHARED.is_dir() else quorvel.attractors("\n".join(lines) + "\n", inputs="grouped")
    data = quorvel.heatmap_data(grouped)
    assert [g[2] - g[1] for g in data.groups] == [len(o.attractors) for o in grouped.outcomes]
    # An input is drawn with the value its outcome's settings give it.
    for outcome in grouped.outcomes:
        for k, name in enumerate(grouped.inputs):
            values = set().union(*({"0", "1"} if s[k] == "-" else {s[k]}
                                   for s in outcome.settings))
            expected = values.pop() if len(values) == 1 else "*"
            for attractor in outcome.attractors:
                assert attractor.space[grouped.genes.index(name)] == expected
    for suffix in ("png", "svg"):
        out = tmp_path / ("heatmap." + suffix)
        quorvel.plot_attractors(grouped, out)
        assert out.read_bytes()[:5] in (b"\x89PNG\r", b"<?xml")


def test_network_picture_data_follows_the_decomposition(tmp_path):
    path = ROOT / "examples" / "fixed-input.net"
    result = quorvel.attractors(path, fix={"C": 1})
    data = quorvel.network_graph_data(path, fix={"C": 1})
    assert data.genes == result.genes and data.fixed == result.fixed
    assert {g for g in data.genes if data.block[g] is None} == set(result.fixed)
    assert sorted(g for block in data.blocks for g in block) == sorted(
        set(result.genes) - set(result.fixed))
    network = quorvel.read(path)
    assert {(r, t) for r, t, _ in data.edges} == {
        (name, rule.target) for rule in network.rules for name, _ in rule.regulators}
    for regulator, target, _ in data.edges:  # parents before children
        if data.level[regulator] is not None and data.level[target] is not None:
            assert data.level[regulator] <= data.level[target]
    for suffix in ("png", "svg"):
        out = tmp_path / ("network." + suffix)
        quorvel.plot_network(path, out, fix={"C": 1})
        assert out.read_bytes()[:5] in (b"\x89PNG\r", b"<?xml")
