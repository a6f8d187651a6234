"""Perturbation screens on a real local Dask cluster of 2 worker processes:
each row against the console program with the same --fix, crashed workers,
and a restart that skips the rows done."""
import csv
import json
import logging
import os
import pathlib
import subprocess
import sys

import pandas as pd
import pytest

import quorvel
from quorvel import screening

ROOT = pathlib.Path(__file__).resolve().parents[2]
SHARED = ROOT.parent / "shared" / "networks"
CONSOLE = os.environ.get("QUORVEL_CONSOLE", str(ROOT / "build" / "quorvel"))
# Two inputs, a toggle switch A/B that needs both, and a gene read from A.
NETWORK = "S -> S\nT -> T\nS&T -> A\n^A -> B\n^B -> A\nA -> CRASH\n"
MARKERS = ["A", "B"]


@pytest.fixture(scope="module")
def hook(tmp_path_factory):
    path = tmp_path_factory.mktemp("hook") / "crash"
    return path


@pytest.fixture(scope="module")
def client(hook):
    os.environ[screening._CRASH_HOOK] = str(hook)  # the workers started now read it
    cluster, client = screening._local_cluster(2, None)
    logging.getLogger("distributed").setLevel(logging.CRITICAL)
    yield client
    client.close()
    cluster.close()
    del os.environ[screening._CRASH_HOOK]


def console_row(path, fix, markers, options=()):
    words = ["--fix=%s=%d" % item for item in fix.items()]
    run = subprocess.run([CONSOLE, "--format", "json", "--quiet", "--phenotypes", ",".join(markers),
                          *options, *words, str(path)], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    raw = json.loads(run.stdout)
    return (len(raw["attractors"]), sum(1 for a in raw["attractors"] if a["states"] == 1),
            {p["phenotype"]: p["attractors"] for p in raw["phenotypes"]})


def check_against_console(table, path, markers, genes, options=()):
    """Every row equals the console's analysis with its fixes; changed says
    whether the set of phenotypes differs from the unperturbed network's."""
    reference = None
    for row in table.itertuples(index=False):
        if row.error:
            continue
        fix = {} if row.perturbation == screening.REFERENCE else \
            {g: int(v) for g, v in (item.split("=") for item in row.perturbation.split(","))}
        expected = console_row(path, fix, markers, options)
        got = (row.attractors, row.steady, screening.phenotypes_of_text(row.phenotypes))
        assert got == expected, (path, row.perturbation)
        if not fix:
            reference = set(expected[2])
        else:
            assert row.changed == (set(expected[2]) != reference), (path, row.perturbation)
    assert reference is not None, path


def rows_of_file(path):
    with open(path, newline="") as stream:
        return list(csv.DictReader(stream))


def test_rows_equal_the_console(client, tmp_path):
    path = tmp_path / "net.net"
    path.write_text(NETWORK)
    cases = [(path, MARKERS, "single", ()), (path, MARKERS, [{"S": 1, "T": 1}, {"B": 0, "S": 1},
                                                             {"A": 1, "B": 1}], ())]
    if SHARED.is_dir():
        cases.append((SHARED / "inputs-off" / "bbm-023.net", ["v_CycB", "v_Rb", "v_p27"],
                      "single", ()))
        cases.append((SHARED / "bnet" / "bbm-011.bnet", ["v_Closure"],
                      [{"v_ABA": 1}, {"v_ABA": 0, "v_Closure": 1}], ("--inputs", "off")))
    for model, markers, perturbations, options in cases:
        kwargs = {"inputs": options[1]} if options else {}
        table = quorvel.screen(model, perturbations, markers, client=client, **kwargs)
        genes = quorvel.read(model).genes
        count = 2 * len(genes) if perturbations == "single" else len(perturbations)
        assert len(table) == count + 1 and table["perturbation"].is_unique
        assert table["perturbation"].iloc[0] == screening.REFERENCE
        assert (table["error"] == "").all()
        # The changing perturbations first.
        changed = table["changed"].iloc[1:].tolist()
        assert changed == sorted(changed, reverse=True)
        check_against_console(table, model, markers, genes, options)
    # A whole double screen holds every pair at its four settings once.
    double = quorvel.screen(NETWORK, "double", MARKERS, client=client)
    assert len(double) == 1 + 4 * 10 and double["perturbation"].is_unique
    data = quorvel.screen_heatmap_data(double)
    assert data.rows == list(double["perturbation"]) and data.markers == "A,B"
    for row, line in zip(double.itertuples(index=False), data.matrix):
        counts = screening.phenotypes_of_text(row.phenotypes)
        assert {p: n for p, n in zip(data.columns, line) if n} == counts
    out = tmp_path / "screen.png"
    quorvel.plot_screen(double, out)
    assert out.read_bytes()[:4] == b"\x89PNG"


def test_bad_screens_are_refused(client, tmp_path):
    for perturbations, markers in [([{"NOPE": 1}], MARKERS), ([{"A": 2}], MARKERS),
                                   ("triple", MARKERS), ("single", ["NOPE"])]:
        with pytest.raises(ValueError):
            quorvel.screen(NETWORK, perturbations, markers, client=client)
    out = tmp_path / "t.csv"
    quorvel.screen(NETWORK, [{"A": 1}], MARKERS, client=client, output=out)
    with pytest.raises(ValueError, match="markers"):
        quorvel.screen(NETWORK, [{"A": 1}], ["A"], client=client, output=out)
    # A failing analysis (memory limit below the engine's least) is its row's error.
    table = quorvel.screen(NETWORK, [{"A": 1}], MARKERS, client=client, max_memory="1K")
    assert (table["error"] != "").all() and table["attractors"].isna().all()


def test_crashed_workers_lose_no_row_and_a_restart_skips_the_rows_done(client, hook, tmp_path):
    path = tmp_path / "net.net"
    path.write_text(NETWORK)
    clean = quorvel.screen(path, "single", MARKERS, client=client).set_index("perturbation")
    # CRASH=1 ends its worker on every attempt; A=0 on the first one only.
    hook.write_text("CRASH=1\nonce A=0\n")
    out = tmp_path / "screen.csv"
    try:
        table = quorvel.screen(path, "single", MARKERS, client=client, output=out)
    finally:
        hook.write_text("")
    by_label = table.set_index("perturbation")
    assert sorted(by_label.index) == sorted(clean.index)
    assert "KilledWorker" in by_label.loc["CRASH=1", "error"]
    assert pd.isna(by_label.loc["CRASH=1", "attractors"])
    others = by_label.drop(index="CRASH=1")
    columns = ["attractors", "steady", "phenotypes", "changed", "error"]
    assert others[columns].equals(clean.drop(index="CRASH=1")[columns])
    written = rows_of_file(out)
    assert sorted(r["perturbation"] for r in written) == sorted(clean.index)
    # A run that ended while writing: 4 rows whole, the fifth cut short.
    lines = out.read_text().splitlines(keepends=True)
    kept = [r["perturbation"] for r in written[:4]]
    out.write_text("".join(lines[:5]) + lines[5][:7])
    again = quorvel.screen(path, "single", MARKERS, client=client, output=out)
    assert again.attrs["analysed"] == len(clean) - 4
    written = rows_of_file(out)
    assert sorted(r["perturbation"] for r in written) == sorted(clean.index)
    assert [r["perturbation"] for r in written[:4]] == kept
    again = again.set_index("perturbation")
    assert again.drop(index="CRASH=1")[columns].equals(clean.drop(index="CRASH=1")[columns])
    assert quorvel.screen(path, "single", MARKERS, client=client,
                          output=out).attrs["analysed"] == 0


def test_console_entry_with_its_own_cluster(client, tmp_path):
    path = tmp_path / "net.net"
    path.write_text(NETWORK)
    out, picture = tmp_path / "table.csv", tmp_path / "screen.svg"
    env = dict(os.environ)
    env.pop(screening._CRASH_HOOK, None)
    run = subprocess.run([sys.executable, "-m", "quorvel.screen_cli", str(path), "--single",
                          "--phenotypes", "A,B", "--workers", "2", "-o", str(out),
                          "--plot", str(picture)], capture_output=True, text=True, env=env)
    assert run.returncode == 0, run.stderr
    expected = quorvel.screen(path, "single", MARKERS, client=client)
    got = quorvel.read_screen(out)
    columns = ["perturbation", "attractors", "steady", "phenotypes", "changed", "error"]
    assert got[columns].equals(expected[columns])
    assert picture.read_bytes()[:5] == b"<?xml"
    run = subprocess.run([sys.executable, "-m", "quorvel.screen_cli", str(path), "--single",
                          "--phenotypes", "NOPE", "-o", str(tmp_path / "x.csv")],
                         capture_output=True, text=True, env=env)
    assert run.returncode == 1 and "NOPE" in run.stderr
