"""Quorvel from Python: every attractor of a Boolean gene-regulatory network.

    import quorvel
    result = quorvel.attractors("model.bnet", inputs="off", fix={"p53": 0})
    print(result.to_pandas())

A network is a file (rule file, .bnet, .sbml/.xml) or its text. The analysis
is the console program's: every option of ``quorvel --help`` is a keyword
argument (``--max-memory 1G`` is ``max_memory="1G"``), and options this
version does not know are refused with the console's message (ValueError).

Failures raise exceptions with the library's message: ValueError for a bad
option or a fixed gene the network lacks, NetworkError for a file that cannot
be read as a network, Error for any other failure of the analysis. Ctrl-C
stops a running analysis (KeyboardInterrupt) once its BDD engine has been
released; a ``stop`` event (threading.Event) stops it from another thread
(Stopped).
"""

import json
import os
import pathlib
import tempfile
from contextlib import contextmanager
from dataclasses import dataclass, field
from typing import Dict, List, Optional, Tuple

# In a source tree the compiled module may sit in a build directory's
# quorvel/ (on sys.path after the sources): it is part of this package too.
__path__ = __import__("pkgutil").extend_path(__path__, __name__)

from . import _native  # noqa: E402

__all__ = ["attractors", "read", "decompose", "result_of_json", "version", "Result",
           "Attractor", "Outcome", "Network", "Rule", "Decomposition", "Error", "NetworkError",
           "Stopped", "space_of", "plot_attractors", "plot_network", "heatmap_data",
           "network_graph_data", "screen", "read_screen", "plot_screen", "screen_heatmap_data"]

Error = _native.Error
Stopped = _native.Stopped


class NetworkError(Error):
    """The network file cannot be read (missing, unreadable, or not a network)."""


# ---- network files and texts ----------------------------------------------

_TEXT_SUFFIX = {"net": ".net", "rules": ".net", "bnet": ".bnet", "sbml": ".sbml", "xml": ".xml"}


def _guess_text_format(text):
    stripped = text.lstrip("\ufeff \t\r\n")
    if stripped.startswith("<"):
        return "sbml"
    if "->" in text or "-|" in text:
        return "net"
    return "bnet"


def _is_text(source):
    """A str is a network text when it is no existing file and holds a line
    end or a rule's arrow; otherwise it is a path."""
    if not isinstance(source, str) or os.path.exists(source):
        return False
    return "\n" in source or "->" in source or "-|" in source


@contextmanager
def _network_path(source, text_format=None):
    """The path of `source` (a path, or a network text written to a
    temporary file that is removed afterwards)."""
    if isinstance(source, (bytes, bytearray)):
        source = source.decode("utf-8")
    if text_format is None and not _is_text(source):
        yield os.fspath(source)
        return
    if not isinstance(source, str):
        raise TypeError("a network text must be a str")
    kind = text_format or _guess_text_format(source)
    if kind not in _TEXT_SUFFIX:
        raise ValueError("invalid text_format %r (net, bnet or sbml)" % (kind,))
    handle, path = tempfile.mkstemp(prefix="quorvel-", suffix=_TEXT_SUFFIX[kind])
    try:
        with os.fdopen(handle, "w", encoding="utf-8") as out:
            out.write(source)
        yield path
    finally:
        os.unlink(path)


# ---- options ---------------------------------------------------------------

def _option_words(update=None, inputs=None, fix=None, max_memory=None, progress=False,
                  **extra):
    """The console words of the keyword options. Extra keywords become
    --name-with-dashes: True gives the bare option, False/None nothing, a
    dict NAME=VALUE words, a list or tuple one option per item, anything else
    its str as the value."""
    words = ["--format", "json"]
    if not progress:
        words.append("--quiet")
    if update is not None:
        words += ["--update", str(update)]
    if inputs is not None:
        words += ["--inputs", str(inputs)]
    if max_memory is not None:
        words += ["--max-memory", str(max_memory)]
    named = [("fix", fix)] + list(extra.items())
    for name, value in named:
        option = "--" + name.replace("_", "-")
        if value is None or value is False:
            continue
        if value is True:
            words.append(option)
        elif isinstance(value, dict):
            for key, item in value.items():
                words.append("%s=%s=%s" % (option, key, int(item) if isinstance(item, bool)
                                           else item))
        elif isinstance(value, (list, tuple, set)):
            for item in value:
                words.append("%s=%s" % (option, item))
        else:
            words.append("%s=%s" % (option, value))
    return words


# ---- results ---------------------------------------------------------------

def space_of(cubes):
    """One character per gene: '0' or '1' where every cube holds that value,
    '-' where the gene changes (a cube leaves it free, or two cubes differ)."""
    if not cubes:
        return ""
    chars = []
    for values in zip(*cubes):
        first = values[0]
        chars.append(first if first != "-" and all(v == first for v in values) else "-")
    return "".join(chars)


@dataclass
class Attractor:
    """One attractor: its number of states, disjoint cubes covering its states
    (one character per gene of Result.genes: 0, 1 or - for both) and its
    space (0 or 1 where the gene keeps that value, - where it changes). With
    inputs="grouped", `outcome` is the index of its outcome, the inputs'
    characters of the cubes stand for the setting's values, and an input's
    character in `space` is the value every setting of the outcome gives it,
    or '*' when the settings differ."""
    states: int
    cubes: List[str]
    space: str
    outcome: Optional[int] = None

    @property
    def is_steady(self):
        return self.states == 1


@dataclass
class Outcome:
    """With inputs="grouped": the settings of the inputs (cubes over
    Result.inputs) under which the network has exactly these attractors."""
    settings: List[str]
    attractors: List[Attractor]


@dataclass
class Result:
    """The answer of one analysis. `attractors` lists every attractor (with
    inputs="grouped", those of every outcome, in outcome order); `raw` is the
    JSON object as the library wrote it, with any field not modelled here."""
    genes: List[str]
    update: str
    attractors: List[Attractor]
    fixed: Dict[str, int]
    inputs: Optional[List[str]] = None
    outcomes: Optional[List[Outcome]] = None
    raw: dict = field(default_factory=dict, repr=False)

    def to_pandas(self):
        """One row per attractor, one column per gene: 0, 1 or "changing".
        The index is the attractor's number, or (outcome, attractor) with
        grouped inputs, where an input that the outcome's settings do not
        hold at one value shows "setting"."""
        import pandas as pd
        names = {"-": "changing", "*": "setting", "0": 0, "1": 1}
        rows, index = [], []
        for number, attractor in enumerate(self.attractors):
            row = [names[value] for value in attractor.space]
            rows.append(row)
            index.append(number if attractor.outcome is None else (attractor.outcome, number))
        if self.outcomes is not None:
            index = pd.MultiIndex.from_tuples(index, names=["outcome", "attractor"])
        else:
            index = pd.Index(index, name="attractor")
        frame = pd.DataFrame(rows, columns=list(self.genes), index=index, dtype=object)
        frame.columns.name = "gene"
        return frame

    def __len__(self):
        return len(self.attractors)


def _attractor_of(entry, outcome=None):
    cubes = list(entry.get("cubes", []))
    space = entry.get("space")
    return Attractor(states=int(entry["states"]), cubes=cubes,
                     space=space if isinstance(space, str) else space_of(cubes),
                     outcome=outcome)


def _with_settings(attractor, positions, settings):
    """An attractor of a grouped outcome with its inputs' characters in
    `space` (positions in the gene list) set from the outcome's settings:
    the value every setting gives the input, or '*' when they differ."""
    space = list(attractor.space)
    for k, position in enumerate(positions):
        values = {setting[k] for setting in settings}
        space[position] = values.pop() if len(values) == 1 and "-" not in values else "*"
    attractor.space = "".join(space)
    return attractor


def result_of_json(text):
    """The Result of the library's JSON text (what --format json writes)."""
    raw = json.loads(text)
    outcomes = None
    if "outcomes" in raw:
        positions = [raw["genes"].index(name) for name in raw.get("inputs", [])]
        outcomes = []
        for k, o in enumerate(raw["outcomes"]):
            settings = list(o.get("settings", []))
            outcomes.append(Outcome(settings=settings, attractors=[
                _with_settings(_attractor_of(a, k), positions, settings)
                for a in o.get("attractors", [])]))
        found = [a for o in outcomes for a in o.attractors]
    else:
        found = [_attractor_of(a) for a in raw.get("attractors", [])]
    return Result(genes=list(raw["genes"]), update=raw.get("update", "async"), attractors=found,
                  fixed=dict(raw.get("fixed", {})), inputs=raw.get("inputs"), outcomes=outcomes,
                  raw=raw)


def _raise_network_error(path, error):
    """Re-raises a failed analysis as NetworkError when the file itself cannot
    be read (the reader gives the same message), else as it came."""
    try:
        _native.read(path)
    except Error as reading:
        raise NetworkError(str(reading)) from None
    raise error


def attractors(network, *, update=None, inputs=None, fix=None, max_memory=None,
               progress=False, stop=None, text_format=None, **options):
    """Every attractor of `network` (a path or a network text).

    update: "async" (default) or "sync"; inputs: "free" (default), "off" or
    "grouped"; fix: {gene: 0 or 1}; max_memory: bytes or e.g. "512M";
    progress: True writes the progress lines to standard error; stop: an
    object with is_set() (threading.Event) that stops the analysis when set;
    text_format: "net", "bnet" or "sbml" for a text (guessed otherwise).
    Any other keyword is passed on as the console option of that name.
    """
    for name in ("format", "help", "version", "h"):
        if name in options:
            raise TypeError("attractors() does not take %r: it returns the answer as objects "
                            "(see result_of_json for a JSON text)" % name)
    words = _option_words(update=update, inputs=inputs, fix=fix, max_memory=max_memory,
                          progress=progress, **options)
    with _network_path(network, text_format) as path:
        try:
            text = _native.analyse(path, words, stop)
        except Stopped:
            raise
        except Error as error:
            _raise_network_error(path, error)
    return result_of_json(text)


def version():
    """The library's version, e.g. "0.2.0"."""
    return _native.analyse("", ["--version"]).split()[-1]


# ---- the network -----------------------------------------------------------

@dataclass(frozen=True)
class Rule:
    """One rule: the conjunction of `regulators` ((name, True plain / False
    negated), in written order) activates (or, if not `activates`, inhibits)
    `target`. A rule without regulators always holds."""
    target: str
    activates: bool
    regulators: Tuple[Tuple[str, bool], ...]

    def __str__(self):
        left = "&".join(("" if plain else "^") + name for name, plain in self.regulators)
        return "%s %s %s" % (left or "1", "->" if self.activates else "-|", self.target)


@dataclass
class Network:
    """A network as the reader gives it: every gene in result order (the
    order of Result.genes), the rules, and per gene its regulators with the
    sign of their influence ("activation", "inhibition", or "dual" when it
    is both)."""
    genes: List[str]
    rules: List[Rule]

    @property
    def regulators(self):
        signs = {gene: {} for gene in self.genes}
        for rule in self.rules:
            for name, plain in rule.regulators:
                sign = "activation" if plain == rule.activates else "inhibition"
                known = signs[rule.target].get(name)
                signs[rule.target][name] = sign if known in (None, sign) else "dual"
        return signs

    def rules_of(self, gene):
        return [rule for rule in self.rules if rule.target == gene]


def read(network, *, text_format=None):
    """The rules and genes of `network` (a path or a network text)."""
    with _network_path(network, text_format) as path:
        try:
            raw = _native.read(path)
        except Error as error:
            raise NetworkError(str(error)) from None
    rules = [Rule(target, bool(activates),
                  tuple((name, bool(plain)) for name, plain in zip(names, polarities)))
             for target, activates, names, polarities in raw["rules"]]
    genes = list(raw["gene_order"])
    seen = set(genes)
    for rule in rules:
        for name in [rule.target] + [name for name, _ in rule.regulators]:
            if name not in seen:
                seen.add(name)
                genes.append(name)
    return Network(genes=genes, rules=rules)


@dataclass
class Decomposition:
    """How the analysis splits the network: the genes the reduction fixed
    (with their value) and the blocks of mutually dependent genes of the
    others, level by level (parents before children)."""
    genes: List[str]
    fixed: Dict[str, int]
    levels: List[List[List[str]]]


def decompose(network, *, inputs=None, fix=None, text_format=None):
    """The reduction and the blocks the analysis of `network` searches, with
    the same `inputs` and `fix` as attractors()."""
    words = _option_words(inputs=inputs, fix=fix)
    with _network_path(network, text_format) as path:
        try:
            raw = _native.decompose(path, words)
        except Error as error:
            _raise_network_error(path, error)
    return Decomposition(genes=list(raw["genes"]), fixed=dict(raw["fixed"]),
                         levels=[[list(block) for block in level] for level in raw["levels"]])


from .plots import heatmap_data, network_graph_data, plot_attractors, plot_network  # noqa: E402
from .screening import plot_screen, read_screen, screen, screen_heatmap_data  # noqa: E402
