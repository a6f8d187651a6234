"""Perturbation screens: many analyses of one network, each with some genes
fixed (knock-out 0, over-expression 1), on Dask's distributed scheduler.

    table = quorvel.screen("model.bnet", "single", phenotypes=["Apoptosis", "Proliferation"],
                           output="screen.csv")

Each perturbation is one task, one analysis in a worker process: a crash or a
memory blow-up in one analysis ends that worker process alone, the scheduler
runs the task once more on another worker (a lost worker is retried once),
and a task that loses its worker twice is reported in its own row with the
error text. Every row is appended to the output file (CSV) as it arrives and
flushed; a screen started again with the same output file analyses only the
perturbations the file does not hold yet.
"""

import argparse
import csv
import itertools
import logging
import os
import signal
import sys
import time
import uuid
from dataclasses import dataclass, field
from typing import Dict, List, Optional

# The row of the unperturbed network; a perturbation's label always holds '='.
REFERENCE = "unperturbed"
COLUMNS = ["perturbation", "size", "markers", "attractors", "steady", "phenotypes", "changed",
           "seconds", "error"]

# Test-only hook: the file this names lists labels, one a line; a worker
# process about to analyse one of them ends itself with SIGSEGV, as a crash of
# the analysis would (the tests of lost workers). A line "once LABEL" crashes
# only the first attempt (a file LABEL's hash beside it marks it done).
_CRASH_HOOK = "QUORVEL_SCREEN_CRASH"


def _crash_if_asked(label):
    path = os.environ.get(_CRASH_HOOK)
    if not path or not os.path.exists(path):
        return
    with open(path, encoding="utf-8") as stream:
        lines = stream.read().splitlines()
    once = "once " + label in lines
    if once:
        try:
            os.close(os.open("%s.%s" % (path, uuid.uuid5(uuid.NAMESPACE_URL, label).hex),
                             os.O_CREAT | os.O_EXCL))
        except FileExistsError:
            return
    if once or label in lines:
        os.kill(os.getpid(), signal.SIGSEGV)


# ---- the tasks and their rows ---------------------------------------------

@dataclass
class ScreenTask:
    """One analysis of a screen, as sent to a worker: the network's text and
    format (the workers need not see the client's files), the genes fixed,
    and the keyword options of quorvel.attractors (phenotypes, inputs,
    update, max_memory, ...)."""
    label: str
    text: str
    text_format: str
    fix: Dict[str, int]
    options: Dict[str, object] = field(default_factory=dict)


def label_of(fix, genes):
    """The row label of a perturbation: GENE=V joined by commas, in the
    network's gene order; REFERENCE for none."""
    order = {g: k for k, g in enumerate(genes)}
    return ",".join("%s=%d" % (g, fix[g]) for g in sorted(fix, key=order.__getitem__)) or REFERENCE


def phenotypes_text(counts):
    """{phenotype: attractors} as text: PHENOTYPE:COUNT, sorted, joined by ';'."""
    return ";".join("%s:%d" % (p, counts[p]) for p in sorted(counts))


def phenotypes_of_text(text):
    """The {phenotype: attractors} of phenotypes_text."""
    if not text:
        return {}
    return {p: int(n) for p, n in (item.rsplit(":", 1) for item in text.split(";"))}


def run_task(task):
    """Runs one analysis in the worker process and returns its row (changed
    is filled in by the client). A failure of the analysis is the row's error
    text; the worker goes on."""
    from . import attractors
    _crash_if_asked(task.label)
    row = row_of(task)
    start = time.perf_counter()
    try:
        result = attractors(task.text, text_format=task.text_format, fix=task.fix,
                            **task.options)
        row["attractors"] = len(result.attractors)
        row["steady"] = sum(1 for a in result.attractors if a.is_steady)
        row["phenotypes"] = phenotypes_text({p["phenotype"]: int(p["attractors"])
                                             for p in result.raw.get("phenotypes", [])})
    except Exception as error:  # the row reports it; the worker goes on
        row["error"] = "%s: %s" % (type(error).__name__, error)
    row["seconds"] = round(time.perf_counter() - start, 6)
    return row


def row_of(task, error=""):
    """The row of `task` with no answer (yet), and the `error` text."""
    row = {name: "" for name in COLUMNS}
    row.update(perturbation=task.label, size=len(task.fix),
               markers=task.options.get("phenotypes", ""), error=error)
    return row


def changed_of(row, reference):
    """True when the row's set of phenotypes differs from the reference's
    (a phenotype gained or lost), "" when either analysis failed."""
    if row["error"] or reference is None or reference["error"]:
        return ""
    mine = set(phenotypes_of_text(row["phenotypes"]))
    return mine != set(phenotypes_of_text(reference["phenotypes"]))


# ---- the perturbations -----------------------------------------------------

def perturbations_of(kind, genes):
    """The fixes of a screen: "single" (every gene at 0, then at 1), "double"
    (every pair of genes at each of the four pairs of values), or a list of
    {gene: 0|1} (checked against the network's genes)."""
    if kind == "single":
        return [{g: v} for g in genes for v in (0, 1)]
    if kind == "double":
        return [{a: va, b: vb} for a, b in itertools.combinations(genes, 2)
                for va in (0, 1) for vb in (0, 1)]
    if isinstance(kind, str):
        raise ValueError("invalid perturbations %r: \"single\", \"double\" or a list of "
                         "{gene: 0|1}" % (kind,))
    known = set(genes)
    fixes = []
    for item in kind:
        fix = {}
        for gene, value in dict(item).items():
            if gene not in known:
                raise ValueError("the network has no gene named %s" % gene)
            if value not in (0, 1):  # also False and True
                raise ValueError("invalid value %r for gene %s: 0 or 1" % (value, gene))
            fix[gene] = int(value)
        fixes.append(fix)
    return fixes


# ---- the output file -------------------------------------------------------

def _open_output(path, markers):
    """The rows already in `path` ({label: row}) and the file opened for
    appending (header written when new). A last line cut short by an ended
    run is dropped. Raises ValueError for a file of another screen."""
    done = {}
    if os.path.exists(path) and os.path.getsize(path) > 0:
        with open(path, "r+", newline="", encoding="utf-8") as stream:
            text = stream.read()
            if not text.endswith("\n"):
                stream.seek(0)
                stream.truncate(len(text[:text.rfind("\n") + 1].encode("utf-8")))
        with open(path, newline="", encoding="utf-8") as stream:
            reader = csv.DictReader(stream)
            if reader.fieldnames != COLUMNS:
                raise ValueError("%s is no screen table (columns %s)" % (path, reader.fieldnames))
            for row in reader:
                if row["markers"] != markers:
                    raise ValueError("%s holds a screen with the markers %r, not %r"
                                     % (path, row["markers"], markers))
                done[row["perturbation"]] = row
    new = not os.path.exists(path) or os.path.getsize(path) == 0
    stream = open(path, "a", newline="", encoding="utf-8")
    writer = csv.DictWriter(stream, fieldnames=COLUMNS)
    if new:
        writer.writeheader()
        stream.flush()
    return done, stream, writer


def table_of(rows, markers=""):
    """The screen as a pandas table: the unperturbed network first, then the
    perturbations that change the phenotypes, those whose analysis failed,
    and the others, each group by size, then by label."""
    import pandas as pd
    frame = pd.DataFrame([{name: row.get(name, "") for name in COLUMNS} for row in rows],
                         columns=COLUMNS)
    for name in ("size", "attractors", "steady"):
        frame[name] = pd.to_numeric(frame[name], errors="coerce").astype("Int64")
    frame["seconds"] = pd.to_numeric(frame["seconds"], errors="coerce").astype("float64")
    frame["changed"] = frame["changed"].map(
        {True: True, False: False, "True": True, "False": False}).astype("boolean")
    frame["error"] = frame["error"].fillna("").astype(str)
    frame["phenotypes"] = frame["phenotypes"].fillna("").astype(str)
    group = frame["changed"].map({True: 1, False: 3}).fillna(2).astype(int)
    group[frame["perturbation"] == REFERENCE] = 0
    order = sorted(range(len(frame)), key=lambda k: (group.iloc[k], frame["size"].iloc[k],
                                                      frame["perturbation"].iloc[k]))
    frame = frame.iloc[order].reset_index(drop=True)
    frame.attrs["markers"] = markers or (frame["markers"].iloc[0] if len(frame) else "")
    return frame


def read_screen(path):
    """The screen table of an output file (see table_of)."""
    with open(path, newline="", encoding="utf-8") as stream:
        return table_of(list(csv.DictReader(stream)))


# ---- the screen ------------------------------------------------------------

def _network_text(network, text_format):
    """The network's text and format, read once here and sent to the workers."""
    from . import _is_text, _guess_text_format
    if isinstance(network, (bytes, bytearray)):
        network = network.decode("utf-8")
    if text_format is not None or _is_text(network):
        return network, text_format or _guess_text_format(network)
    path = os.fspath(network)
    suffix = os.path.splitext(path)[1].lower().lstrip(".")
    with open(path, encoding="utf-8") as stream:
        text = stream.read()
    return text, suffix if suffix in ("net", "rules", "bnet", "sbml", "xml") else \
        _guess_text_format(text)


def _local_cluster(workers, memory_limit):
    """A cluster of this machine: one worker process per core (or `workers`),
    one thread each. A task is retried once on a lost worker and a worker
    holds only the task it runs, so that a crash takes no other task along."""
    import dask
    from distributed import Client, LocalCluster
    with dask.config.set({"distributed.scheduler.allowed-failures": 1,
                          "distributed.scheduler.worker-saturation": 1.0}):
        cluster = LocalCluster(n_workers=workers or os.cpu_count() or 1, processes=True,
                               threads_per_worker=1, dashboard_address=":0",
                               memory_limit=memory_limit if memory_limit is not None else "auto",
                               silence_logs=logging.ERROR)
    return cluster, Client(cluster)


@dataclass
class ScreenRun:
    """Where and how the tasks of a screen run: the cluster (a
    distributed.Client, a scheduler address, or None for a local cluster of
    `workers` processes of `memory_limit` each), the progress bar, and the
    output file's stream and CSV writer (None without one)."""
    client: object = None
    workers: Optional[int] = None
    memory_limit: Optional[str] = None
    progress: bool = False
    stream: object = None
    writer: object = None


def screen(network, perturbations="single", phenotypes=None, *, client=None, output=None,
           workers=None, memory_limit=None, progress=False, **options):
    """Screens perturbations of `network` (a path or a network text) and
    returns the table (pandas), one row per perturbation and one for the
    unperturbed network (perturbation "unperturbed", first).

    perturbations: "single", "double" or a list of {gene: 0|1}; phenotypes:
    the marker genes (list or "A,B"; every gene when None): a row's
    phenotypes are its attractors' behaviour of the markers (0, 1 or - where
    it changes) with the attractors of each, as PHENOTYPE:COUNT;...; changed
    is True when the set of phenotypes differs from the unperturbed network's.
    inputs ("free" or "off"), update, max_memory (the analysis's own limit:
    running out is the row's error), text_format and any other keyword go
    to each analysis as in quorvel.attractors.

    client: a distributed.Client or a scheduler address; without one a local
    cluster of `workers` processes (one per core by default, each limited to
    `memory_limit`, e.g. "2GB") runs for this screen. output: a CSV file the
    rows are appended to as they finish; rows already in it are not analysed
    again. progress: a progress bar on standard error.
    """
    from . import read
    if options.get("inputs") == "grouped":
        raise ValueError("a screen takes inputs \"free\" or \"off\", not \"grouped\"")
    text, kind = _network_text(network, options.pop("text_format", None))
    genes = read(text, text_format=kind).genes
    if phenotypes is None:
        markers = list(genes)
    elif isinstance(phenotypes, str):
        markers = [m for m in phenotypes.split(",") if m]
    else:
        markers = list(phenotypes)
    unknown = [m for m in markers if m not in genes]
    if unknown:
        raise ValueError("--phenotypes: the network has no gene named %s" % unknown[0])
    task_options = dict(options, phenotypes=",".join(markers))
    task_options = {k: v for k, v in task_options.items() if v is not None}
    fixes = [{}] + perturbations_of(perturbations, genes)
    tasks, labels = [], set()
    for fix in fixes:
        label = label_of(fix, genes)
        if label not in labels:
            labels.add(label)
            tasks.append(ScreenTask(label, text, kind, fix, task_options))

    run = ScreenRun(client=client, workers=workers, memory_limit=memory_limit,
                    progress=progress)
    done = {}
    if output is not None:
        done, run.stream, run.writer = _open_output(os.fspath(output), task_options["phenotypes"])
    try:
        rows = _run_tasks([t for t in tasks if t.label not in done], done.get(REFERENCE), run)
    finally:
        if run.stream is not None:
            run.stream.close()
    rows_by_label = dict(done)
    rows_by_label.update((row["perturbation"], row) for row in rows)
    table = table_of([rows_by_label[t.label] for t in tasks if t.label in rows_by_label],
                     task_options["phenotypes"])
    table.attrs["analysed"] = len(rows)
    return table


def _run_tasks(tasks, reference, run):
    """Runs `tasks` as `run` says and returns their rows, each written (when
    run.writer) as soon as it is complete: a row waits only for the
    unperturbed network's row (`reference` when done before), which tells
    whether it changed the phenotypes."""
    if not tasks:
        return []
    from distributed import Client, as_completed
    cluster, client = None, run.client
    if client is None:
        cluster, client = _local_cluster(run.workers, run.memory_limit)
    elif isinstance(client, str):
        client = Client(client)
        cluster = client  # closed with the screen
    bar = _progress_bar(len(tasks)) if run.progress else None
    rows, waiting, futures = [], [], []
    by_key = {}
    try:
        screen_id = uuid.uuid4().hex[:12]
        # The unperturbed network first: the other rows wait for it.
        keys = ["quorvel-%s-%d" % (screen_id, k) for k in range(len(tasks))]
        head = [t for t in tasks if t.label == REFERENCE]
        if head:
            futures.append(client.submit(run_task, head[0], key=keys[0], retries=1, pure=False,
                                         priority=1))
        rest = [t for t in tasks if t.label != REFERENCE]
        futures += client.map(run_task, rest, key=keys[len(head):], retries=1, pure=False)
        by_key = {f.key: t for f, t in zip(futures, head + rest)}

        def finish(row):
            row["changed"] = changed_of(row, reference)
            rows.append(row)
            if run.writer is not None:
                run.writer.writerow(row)
                run.stream.flush()

        for future in as_completed(futures):
            task = by_key[future.key]
            try:
                row = future.result()
            except Exception as error:  # a lost worker (twice) or a failed task
                row = row_of(task, _lost_text(error))
            future.release()
            if bar is not None:
                bar.update(1)
            if task.label == REFERENCE:
                reference = row
                finish(row)
                for other in waiting:
                    finish(other)
                waiting = []
            elif reference is None and head:
                waiting.append(row)
            else:
                finish(row)
    finally:
        for future in futures:
            if not future.done():
                future.cancel()
        if bar is not None:
            bar.close()
        if cluster is not None:
            client.close()
            cluster.close()
    return rows


def _lost_text(error):
    from distributed import KilledWorker
    if isinstance(error, KilledWorker):
        runs = getattr(error, "allowed_failures", 1) + 1
        return ("KilledWorker: the worker process running this analysis ended each of the %d "
                "times it ran (a crash, or more memory than the worker may take)" % runs)
    return "%s: %s" % (type(error).__name__, error)


def _progress_bar(total):
    """done / total, rate and time left on standard error (tqdm), or None
    where tqdm is not installed."""
    try:
        from tqdm import tqdm
    except ImportError:
        return None
    return tqdm(total=total, unit="analysis", file=sys.stderr, smoothing=0.1)


# ---- the picture -----------------------------------------------------------

@dataclass
class ScreenHeatmapData:
    """What the screen's heat map shows: matrix[row][column] is the number of
    attractors of perturbation rows[row] with phenotype columns[column] (0
    where it has none; -1 where its analysis failed); changed[row] as in the
    table; notes say what was left out."""
    rows: List[str]
    columns: List[str]
    matrix: List[List[int]]
    changed: List[Optional[bool]]
    markers: str
    notes: List[str] = field(default_factory=list)


def screen_heatmap_data(table, max_rows=60):
    """The heat map of a screen table: its rows in the table's order (the
    changing perturbations first; beyond `max_rows` the rest is left out and
    noted), the phenotypes as columns, the unperturbed network's first."""
    rows = list(table.itertuples(index=False))
    notes = []
    if len(rows) > max_rows:
        notes.append("%d more perturbations not shown" % (len(rows) - max_rows))
        rows = rows[:max_rows]
    counts = [phenotypes_of_text(r.phenotypes) for r in rows]
    columns = []
    for found in counts:
        columns += [p for p in sorted(found) if p not in columns]
    matrix = [[-1] * len(columns) if r.error else [found.get(p, 0) for p in columns]
              for r, found in zip(rows, counts)]
    changed = [None if r.changed is None or str(r.changed) == "<NA>" else bool(r.changed)
               for r in rows]
    return ScreenHeatmapData(rows=[r.perturbation for r in rows], columns=columns, matrix=matrix,
                             changed=changed, markers=table.attrs.get("markers", ""), notes=notes)


def plot_screen(table, file=None, max_rows=60, title=None):
    """Draws the screen as a heat map (perturbations as rows, phenotypes as
    columns, the number of attractors in each cell; rows whose phenotypes
    changed marked with *, failed analyses grey) and returns the matplotlib
    Figure; with `file`, writes it there (format from the ending)."""
    import matplotlib
    import numpy as np
    from matplotlib.figure import Figure
    from matplotlib.ticker import MaxNLocator
    from .plots import _save_figure

    data = screen_heatmap_data(table, max_rows=max_rows)
    width = min(4 + 0.45 * max(len(data.columns), 1), 30)
    height = min(1.5 + 0.22 * max(len(data.rows), 1), 40)
    figure = Figure(figsize=(width, height))
    axes = figure.subplots()
    if data.rows and data.columns:
        values = np.array(data.matrix, dtype=float)
        top = max(1, int(values.max()))
        # No attractor white (below the scale), a failed analysis grey (masked).
        cmap = matplotlib.colormaps["Blues"].copy()
        cmap.set_under("#FFFFFF")
        cmap.set_bad("#BBBBBB")
        image = axes.imshow(np.ma.masked_less(values, 0), cmap=cmap, vmin=0.5,
                            vmax=max(top, 2), aspect="auto", interpolation="nearest")
        bar = figure.colorbar(image, ax=axes, fraction=0.04,
                              ticks=MaxNLocator(integer=True, nbins=6))
        bar.set_label("attractors with the phenotype")
        for r, line in enumerate(data.matrix):
            for c, count in enumerate(line):
                if count > 0:
                    axes.text(c, r, str(count), ha="center", va="center", fontsize=7,
                              color="white" if count > top * 0.6 else "black")
    labels = ["%s%s" % (name, " *" if changed else "") for name, changed in
              zip(data.rows, data.changed)]
    axes.set_yticks(range(len(data.rows)))
    axes.set_yticklabels(labels, fontsize=8)
    axes.set_xticks(range(len(data.columns)))
    axes.set_xticklabels(data.columns, rotation=90, fontsize=8, family="monospace")
    axes.set_xlabel("phenotype (%s: 0 off, 1 on, - changing)" % data.markers.replace(",", " "))
    axes.set_ylabel("perturbation (* phenotypes changed; grey: analysis failed)")
    heading = title or "%d perturbations, %d change the phenotypes" % (
        len(table) - 1, int(table["changed"].fillna(False).sum()))
    if data.notes:
        heading += "\n" + "; ".join(data.notes)
    axes.set_title(heading, fontsize=9)
    _save_figure(figure, file)
    return figure


# ---- the console entry -----------------------------------------------------

def main(argv=None):
    """quorvel-screen MODEL --single|--double [--phenotypes G,G] [--scheduler
    ADDRESS] [--workers N] -o TABLE.csv"""
    parser = argparse.ArgumentParser(
        prog="quorvel-screen",
        description="Screens the single or double perturbations (each gene fixed at 0 and at "
                    "1) of a network on Dask workers: one analysis per perturbation, each row "
                    "appended to the table as it finishes; a rerun with the same table "
                    "analyses only what it lacks.")
    parser.add_argument("model", help="the network file (rule file, .bnet, .sbml)")
    which = parser.add_mutually_exclusive_group(required=True)
    which.add_argument("--single", action="store_true", help="every gene at 0, then at 1")
    which.add_argument("--double", action="store_true", help="every pair of genes, 4 settings")
    parser.add_argument("--phenotypes", metavar="G,G", help="the marker genes (default: all)")
    parser.add_argument("--inputs", choices=["free", "off"], help="the inputs (default free)")
    parser.add_argument("--update", choices=["async", "sync"], help="default async")
    parser.add_argument("--max-memory", metavar="SIZE", help="each analysis's memory limit")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="a Dask scheduler (e.g. tcp://host:8786); default: a local "
                             "cluster on this machine")
    parser.add_argument("--workers", type=int, metavar="N",
                        help="worker processes of the local cluster (default: one per core)")
    parser.add_argument("--memory-limit", metavar="SIZE",
                        help="each local worker process's memory, e.g. 2GB")
    parser.add_argument("--plot", metavar="FILE", help="also draw the heat map (.png, .svg)")
    parser.add_argument("-o", "--output", required=True, metavar="TABLE.csv")
    args = parser.parse_args(argv)
    if args.workers is not None and args.workers < 1:
        parser.error("--workers takes a number of at least 1")
    from . import Error
    try:
        table = screen(args.model, "single" if args.single else "double", args.phenotypes,
                       inputs=args.inputs, update=args.update, max_memory=args.max_memory,
                       client=args.scheduler, workers=args.workers,
                       memory_limit=args.memory_limit, output=args.output, progress=True)
    except (ValueError, OSError, Error) as error:
        print("quorvel-screen: %s" % error, file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print("quorvel-screen: stopped; the rows done are in %s" % args.output, file=sys.stderr)
        return 130
    failed = int((table["error"] != "").sum())
    print("quorvel-screen: %d rows in %s (%d analysed now), %d change the phenotypes, %d failed"
          % (len(table), args.output, table.attrs["analysed"],
             int(table["changed"].fillna(False).sum()), failed), file=sys.stderr)
    if args.plot:
        plot_screen(table, args.plot)
    return 0
