"""Pictures of an answer: the attractor heat map (matplotlib) and the network
(graphviz). Each picture is drawn from a plain record (heatmap_data,
network_graph_data) built from the same Result or network as the tables, so
what a picture shows can be checked without looking at pixels. Files are
written in the format their ending names (.png, .svg, .pdf)."""

import os
from dataclasses import dataclass, field
from typing import Dict, List, Optional, Tuple

OFF, ON, CHANGING, SETTING = 0, 1, 2, 3
# Three colours told apart also by colour-blind readers (Paul Tol's bright
# scheme): off blue, on red, changing yellow; and light grey for an input of
# a grouped outcome whose settings give it both values.
COLOURS = {OFF: "#4477AA", ON: "#EE6677", CHANGING: "#CCBB44", SETTING: "#DDDDDD"}
LABELS = {OFF: "off (0)", ON: "on (1)", CHANGING: "changing", SETTING: "input: either setting"}


@dataclass
class HeatmapData:
    """What the heat map shows. matrix[row][column] is OFF, ON or CHANGING (or
    SETTING, an input of a grouped outcome whose settings give both values) for
    gene rows[row] in column columns[column]; a column stands for `counts`
    attractors with that same pattern (more than 1 only when the answer was
    summarised); groups are (label, first column, end column) side by side
    (one per outcome with grouped inputs); notes say what was left out."""
    rows: List[str]
    columns: List[str]
    counts: List[int]
    matrix: List[List[int]]
    groups: List[Tuple[str, int, int]]
    notes: List[str] = field(default_factory=list)


_CODES = {"0": OFF, "1": ON, "-": CHANGING, "*": SETTING}


def _code(char):
    return _CODES[char]


def heatmap_data(result, max_columns=60, max_rows=80):
    """The heat map of `result` (a quorvel.Result): attractors as columns,
    genes as rows. When more than `max_columns` attractors would be drawn,
    attractors with the same pattern of on/off/changing share one column
    (its count in the label), then only the `max_columns` commonest patterns
    are kept; with more than `max_rows` genes, the genes that hold one value in
    every column shown are left out. Each cut is said in `notes`."""
    if result.outcomes is not None:
        grouped = [("%d" % k, o.attractors) for k, o in enumerate(result.outcomes)]
    else:
        grouped = [("", result.attractors)]
    total = sum(len(found) for _, found in grouped)
    summarise = total > max_columns
    notes = []
    columns, counts, patterns, groups = [], [], [], []
    number = 0
    for label, found in grouped:
        first = len(columns)
        if summarise:
            seen: Dict[str, int] = {}
            order = []
            for attractor in found:
                if attractor.space not in seen:
                    order.append(attractor.space)
                    seen[attractor.space] = 0
                seen[attractor.space] += 1
            for space in order:
                patterns.append(space)
                counts.append(seen[space])
                columns.append("x%d" % seen[space] if seen[space] > 1 else "1")
        else:
            for attractor in found:
                patterns.append(attractor.space)
                counts.append(1)
                columns.append("%d%s" % (number, "" if attractor.is_steady
                                         else " (%d)" % attractor.states))
                number += 1
        groups.append((label, first, len(columns)))
    if summarise:
        notes.append("%d attractors shown as %d patterns (columns labelled with their count)"
                     % (total, len(columns)))
        if len(columns) > max_columns:
            keep = sorted(sorted(range(len(columns)), key=lambda c: -counts[c])[:max_columns])
            left = sum(counts[c] for c in range(len(columns)) if c not in set(keep))
            notes.append("%d rarer patterns (%d attractors) not shown"
                         % (len(columns) - len(keep), left))
            remap = {old: new for new, old in enumerate(keep)}
            groups = [(label, sum(1 for c in keep if c < first),
                       sum(1 for c in keep if c < end)) for label, first, end in groups]
            groups = [g for g in groups if g[2] > g[1]]
            columns = [columns[c] for c in keep]
            counts = [counts[c] for c in keep]
            patterns = [patterns[c] for c in remap]
    rows = list(result.genes)
    matrix = [[_code(p[g]) for p in patterns] for g in range(len(rows))]
    if len(rows) > max_rows and patterns:
        varying = [g for g in range(len(rows)) if len(set(matrix[g])) > 1 or CHANGING in matrix[g]]
        if len(varying) < len(rows):
            notes.append("%d genes with the same value in every attractor shown are not drawn"
                         % (len(rows) - len(varying)))
            rows = [rows[g] for g in varying]
            matrix = [matrix[g] for g in varying]
    return HeatmapData(rows=rows, columns=columns, counts=counts, matrix=matrix, groups=groups,
                       notes=notes)


def _save_figure(figure, file):
    if file is not None:
        figure.savefig(os.fspath(file), bbox_inches="tight", dpi=150)


def plot_attractors(result, file=None, max_columns=60, max_rows=80, title=None):
    """Draws the heat map of heatmap_data(result) and returns the matplotlib
    Figure; with `file`, writes it there too (format from the ending)."""
    # A Figure of its own, not pyplot's: no backend is chosen or switched and
    # no figure is kept open; a notebook shows the Figure returned.
    from matplotlib.figure import Figure
    from matplotlib.colors import ListedColormap, BoundaryNorm
    from matplotlib.patches import Patch

    data = heatmap_data(result, max_columns=max_columns, max_rows=max_rows)
    width = min(3 + 0.3 * max(len(data.columns), 1), 30)
    height = min(1.5 + 0.22 * max(len(data.rows), 1), 40)
    figure = Figure(figsize=(width, height))
    axes = figure.subplots()
    cmap = ListedColormap([COLOURS[k] for k in (OFF, ON, CHANGING, SETTING)])
    if data.rows and data.columns:
        axes.imshow(data.matrix, cmap=cmap, norm=BoundaryNorm([-0.5, 0.5, 1.5, 2.5, 3.5], 4),
                    aspect="auto", interpolation="nearest")
    axes.set_xticks(range(len(data.columns)))
    axes.set_xticklabels(data.columns, rotation=90, fontsize=8)
    axes.set_yticks(range(len(data.rows)))
    axes.set_yticklabels(data.rows, fontsize=8)
    axes.set_xlabel("attractor (states in brackets)" if not data.notes else "attractor pattern")
    axes.set_ylabel("gene")
    for label, first, end in data.groups:
        if first > 0:
            axes.axvline(first - 0.5, color="black", linewidth=2)
        if label:
            axes.text((first + end - 1) / 2, -0.8, label, ha="center", va="bottom", fontsize=8)
    axes.set_xticks([c - 0.5 for c in range(1, len(data.columns))], minor=True)
    axes.set_yticks([r - 0.5 for r in range(1, len(data.rows))], minor=True)
    axes.grid(which="minor", color="white", linewidth=0.5)
    axes.tick_params(which="minor", length=0)
    shown = (OFF, ON, CHANGING) + ((SETTING,) if any(SETTING in r for r in data.matrix) else ())
    handles = [Patch(color=COLOURS[k], label=LABELS[k]) for k in shown]
    axes.legend(handles=handles, loc="upper left", bbox_to_anchor=(1.01, 1), fontsize=8)
    heading = title or "%d attractor%s" % (len(result.attractors),
                                          "" if len(result.attractors) == 1 else "s")
    if result.outcomes is not None and not title:
        heading += " in %d outcomes of the inputs (numbered above)" % len(result.outcomes)
    if data.notes:
        heading += "\n" + "; ".join(data.notes)
    axes.set_title(heading, fontsize=9, pad=18 if any(g[0] for g in data.groups) else 6)
    _save_figure(figure, file)
    return figure


@dataclass
class NetworkGraphData:
    """What the network picture shows: per gene its level and block (both
    None for a gene the reduction fixed, whose value is in `fixed`), and every
    regulation (regulator, target, "activation", "inhibition" or "dual")."""
    genes: List[str]
    level: Dict[str, Optional[int]]
    block: Dict[str, Optional[int]]
    fixed: Dict[str, int]
    edges: List[Tuple[str, str, str]]
    blocks: List[List[str]]


def network_graph_data(network, inputs=None, fix=None, text_format=None):
    """The picture's data for `network` (a path or text) analysed with
    `inputs` and `fix`: the regulations from the reader's rules, the blocks
    and levels from the analysis's own decomposition."""
    import quorvel
    net = quorvel.read(network, text_format=text_format)
    parts = quorvel.decompose(network, inputs=inputs, fix=fix, text_format=text_format)
    level: Dict[str, Optional[int]] = {g: None for g in parts.genes}
    block: Dict[str, Optional[int]] = {g: None for g in parts.genes}
    blocks = []
    for number, blocks_of_level in enumerate(parts.levels):
        for genes in blocks_of_level:
            for gene in genes:
                level[gene] = number
                block[gene] = len(blocks)
            blocks.append(list(genes))
    edges = [(regulator, target, sign)
             for target, regulators in net.regulators.items()
             for regulator, sign in sorted(regulators.items())]
    return NetworkGraphData(genes=list(parts.genes), level=level, block=block,
                            fixed=dict(parts.fixed), edges=edges, blocks=blocks)


# Block colours: a light qualitative palette, repeated for many blocks.
_BLOCK_COLOURS = ["#8dd3c7", "#ffffb3", "#bebada", "#fb8072", "#80b1d3", "#fdb462",
                  "#b3de69", "#fccde5", "#bc80bd", "#ccebc5", "#ffed6f", "#d9d9d9"]
_EDGE_STYLE = {"activation": ("#1b7837", "normal"), "inhibition": ("#b2182b", "tee"),
               "dual": ("#555555", "odot")}


def plot_network(network, file=None, inputs=None, fix=None, text_format=None):
    """Draws the network: genes coloured by block (the genes the reduction
    fixed in grey, with their value), one row per level, activations as green
    arrows and inhibitions as red bars. Returns the graphviz.Digraph (shown
    as SVG in a notebook); with `file`, writes it there (format from the
    ending)."""
    import graphviz
    data = network_graph_data(network, inputs=inputs, fix=fix, text_format=text_format)
    graph = graphviz.Digraph("network", graph_attr={"rankdir": "TB", "newrank": "true"},
                             node_attr={"style": "filled", "shape": "box",
                                        "fontname": "Helvetica", "fontsize": "10"})
    by_level: Dict[int, List[str]] = {}
    for gene in data.genes:
        if data.block[gene] is None:
            graph.node(gene, "%s = %d" % (gene, data.fixed.get(gene, 0)), fillcolor="#eeeeee",
                       color="#999999", fontcolor="#555555")
        else:
            shared = len(data.blocks[data.block[gene]]) > 1
            graph.node(gene, gene, fillcolor=_BLOCK_COLOURS[data.block[gene] % len(_BLOCK_COLOURS)],
                       penwidth="2" if shared else "1")
            by_level.setdefault(data.level[gene], []).append(gene)
    fixed = [g for g in data.genes if data.block[g] is None]
    if fixed:
        with graph.subgraph(name="fixed") as row:
            row.attr(rank="min")
            for gene in fixed:
                row.node(gene)
    for number in sorted(by_level):
        with graph.subgraph(name="level%d" % number) as row:
            row.attr(rank="same")
            for gene in by_level[number]:
                row.node(gene)
    for regulator, target, sign in data.edges:
        colour, head = _EDGE_STYLE[sign]
        graph.edge(regulator, target, color=colour, arrowhead=head)
    if file is not None:
        path = os.fspath(file)
        kind = os.path.splitext(path)[1].lstrip(".").lower() or "svg"
        with open(path, "wb") as out:
            out.write(graph.pipe(format=kind))
    return graph
