#!/usr/bin/env python3
"""Checks that the modules of sources/ include each other without a cycle.

usage: check-includes.py [--summary] [SOURCES_DIR]

A module is a header and its source file taken together (util.h and
util.cpp are the module util); its name is the path below SOURCES_DIR
without the extension. Module A depends on module B when a file of A has
`#include "B.h"` (looked up beside the including file, then at the top of
SOURCES_DIR, then by file name anywhere below it; names found nowhere are
outside headers and ignored). Prints every strongly connected component of
more than one module (and every module that includes itself), then the
number of modules and of modules on a cycle. Exit status 1 when there is any
cycle, 0 otherwise. --summary prints only the counts line.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
EXTENSIONS = (".h", ".hpp", ".c", ".cc", ".cpp")


def module_files(root):
    """Maps every module name to its files (paths relative to root)."""
    modules = {}
    for folder, _dirs, names in os.walk(root):
        for name in sorted(names):
            stem, ext = os.path.splitext(name)
            if ext in EXTENSIONS:
                rel = os.path.relpath(os.path.join(folder, name), root)
                module = os.path.splitext(rel)[0].replace(os.sep, "/")
                modules.setdefault(module, []).append(rel)
    return modules


def resolve(root, including, target, by_name):
    """The module that `#include "target"` in file `including` names, or None."""
    for base in (os.path.dirname(including), ""):
        candidate = os.path.normpath(os.path.join(base, target))
        if os.path.isfile(os.path.join(root, candidate)):
            return os.path.splitext(candidate)[0].replace(os.sep, "/")
    found = by_name.get(os.path.basename(target))
    return found[0] if found and len(found) == 1 else None


def module_graph(root):
    modules = module_files(root)
    by_name = {}
    for module, files in modules.items():
        for rel in files:
            by_name.setdefault(os.path.basename(rel), []).append(module)
    graph = {module: set() for module in modules}
    for module, files in modules.items():
        for rel in files:
            with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
                for line in f:
                    match = INCLUDE.match(line)
                    if match:
                        target = resolve(root, rel, match.group(1), by_name)
                        if target is not None and target != module:
                            graph[module].add(target)
    return graph


def components(graph):
    """Strongly connected components (Tarjan's algorithm, without recursion)."""
    index, low, on_stack, stack, result = {}, {}, set(), [], []
    counter = 0
    for start in sorted(graph):
        if start in index:
            continue
        work = [(start, iter(sorted(graph[start])))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, successors = work[-1]
            advanced = False
            for succ in successors:
                if succ not in index:
                    index[succ] = low[succ] = counter
                    counter += 1
                    stack.append(succ)
                    on_stack.add(succ)
                    work.append((succ, iter(sorted(graph[succ]))))
                    advanced = True
                    break
                if succ in on_stack:
                    low[node] = min(low[node], index[succ])
            if advanced:
                continue
            work.pop()
            if work:
                parent = work[-1][0]
                low[parent] = min(low[parent], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                result.append(sorted(component))
    return result


def main(argv):
    summary = "--summary" in argv
    rest = [a for a in argv if a != "--summary"]
    root = rest[0] if rest else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                             "..", "sources")
    graph = module_graph(root)
    cycles = [c for c in components(graph) if len(c) > 1]
    on_cycle = sum(len(c) for c in cycles)
    if not summary:
        for number, cycle in enumerate(cycles, 1):
            print("cycle %d (%d modules):" % (number, len(cycle)))
            for module in cycle:
                inside = sorted(graph[module] & set(cycle))
                print("  %s -> %s" % (module, ", ".join(inside)))
    print("%d modules, %d on an include cycle (%d cycles)" % (len(graph), on_cycle, len(cycles)))
    return 1 if cycles else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
