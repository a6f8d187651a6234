// Minimal and maximal trap spaces over the two-variables-per-gene encoding
// of subspaces.
//
// The order on subspaces is inclusion: per gene, a fixed value lies below
// '-'. For a set F of subspaces (a function of the encoding of the genes
// from g on) and its parts F0, F1, F- (the subspaces with gene g at 0, at 1,
// free, as sets over the later genes):
//   Min(F) = 0.Min(F0) + 1.Min(F1) + -.(Min(F-) \ Up(F0 + F1))
//     (a space with g free is minimal unless a space with g fixed and the
//     rest below or equal lies in F; with g fixed only spaces with the same
//     value lie below it);
//   Up(G) = 0.Up(G0) + 1.Up(G1) + -.Up(G0 + G1 + G-)
//     (the spaces holding some space of G);
//   Max(F) = 0.(Max(F0) \ Down(F-)) + 1.(Max(F1) \ Down(F-)) + -.Max(F-);
//   Down(G) = 0.Down(G0 + G-) + 1.Down(G1 + G-) + -.Down(G-)
//     (the spaces inside some space of G).
// Each is memoised by (node, gene).
#include "compTrapSpaces.h"

#include <iostream>
#include <map>
#include <utility>

#include "bddEngine.h"
#include "networkRecords.h"
#include "quorvelError.h"

namespace {

// The encoding's variables of each gene and the cofactors by its three
// codes.
struct spaceCoder {
    const fullNetwork& net;
    bddArray freeVar, valueVar, pairCube;
    bddArray code[3];  // 0: fixed 0, 1: fixed 1, 2: free

    explicit spaceCoder(const fullNetwork& n) : net(n) {
        DdManager* const m = net.mgr;
        for (int g = 0; g < net.nGenes; ++g) {
            const int base = 3 * net.position[static_cast<size_t>(g)];
            const bddHandle d(m, Cudd_bddIthVar(m, base + 1));
            const bddHandle v(m, Cudd_bddIthVar(m, base + 2));
            pairCube.push_back(bddResult(m, Cudd_bddAnd(m, d.get(), v.get())));
            code[0].push_back(bddResult(m, Cudd_bddAnd(m, Cudd_Not(d.get()), Cudd_Not(v.get()))));
            code[1].push_back(bddResult(m, Cudd_bddAnd(m, Cudd_Not(d.get()), v.get())));
            code[2].push_back(bddResult(m, Cudd_bddAnd(m, d.get(), Cudd_Not(v.get()))));
            freeVar.push_back(d);
            valueVar.push_back(v);
        }
    }

    // F's part with gene g in code c, over the later genes.
    bddHandle part(const bddHandle& f, int g, int c) const {
        const size_t at = static_cast<size_t>(g);
        return bddResult(
            net.mgr, Cudd_bddAndAbstract(net.mgr, f.get(), code[c][at].get(), pairCube[at].get()));
    }

    // 0.r0 + 1.r1 + -.rFree at gene g.
    bddHandle join(int g, const bddHandle& r0, const bddHandle& r1, const bddHandle& rFree) const {
        DdManager* const m = net.mgr;
        const size_t at = static_cast<size_t>(g);
        const bddHandle fixed =
            bddResult(m, Cudd_bddIte(m, valueVar[at].get(), r1.get(), r0.get()));
        const bddHandle freeSide =
            bddResult(m, Cudd_bddAnd(m, Cudd_Not(valueVar[at].get()), rFree.get()));
        return bddResult(m, Cudd_bddIte(m, freeVar[at].get(), freeSide.get(), fixed.get()));
    }

    bddHandle unite(const bddHandle& a, const bddHandle& b) const {
        return bddResult(net.mgr, Cudd_bddOr(net.mgr, a.get(), b.get()));
    }
    bddHandle minus(const bddHandle& a, const bddHandle& b) const {
        return bddResult(net.mgr, Cudd_bddAnd(net.mgr, a.get(), Cudd_Not(b.get())));
    }
};

// One of the four recursions, memoised.
enum class spaceOp { minimal, up, maximal, down };

struct spaceRecursion {
    const spaceCoder& coder;
    std::map<std::pair<DdNode*, int>, bddHandle> memo[4];
    bddArray keys;

    // f over the genes from level g of the order on.
    bddHandle run(spaceOp op, const bddHandle& f, int g) {
        DdManager* const m = coder.net.mgr;
        if (f.get() == Cudd_ReadLogicZero(m) || g == coder.net.nGenes) return f;
        auto& table = memo[static_cast<int>(op)];
        const auto key = std::make_pair(f.get(), g);
        const auto hit = table.find(key);
        if (hit != table.end()) return hit->second;
        // The recursion goes down the variable order: level g holds gene
        // order[g]; join and part take the gene.
        const int level = g;
        g = coder.net.order[static_cast<size_t>(level)];
        const bddHandle f0 = coder.part(f, g, 0), f1 = coder.part(f, g, 1),
                        fFree = coder.part(f, g, 2);
        const int nextLevel = level + 1;
        bddHandle result;
        switch (op) {
            case spaceOp::minimal:
                result = coder.join(g, run(op, f0, nextLevel), run(op, f1, nextLevel),
                                    coder.minus(run(op, fFree, nextLevel),
                                                run(spaceOp::up, coder.unite(f0, f1), nextLevel)));
                break;
            case spaceOp::up:
                result = coder.join(g, run(op, f0, nextLevel), run(op, f1, nextLevel),
                                    run(op, coder.unite(coder.unite(f0, f1), fFree), nextLevel));
                break;
            case spaceOp::maximal: {
                const bddHandle below = run(spaceOp::down, fFree, nextLevel);
                result = coder.join(g, coder.minus(run(op, f0, nextLevel), below),
                                    coder.minus(run(op, f1, nextLevel), below),
                                    run(op, fFree, nextLevel));
                break;
            }
            case spaceOp::down:
                result = coder.join(g, run(op, coder.unite(f0, fFree), nextLevel),
                                    run(op, coder.unite(f1, fFree), nextLevel),
                                    run(op, fFree, nextLevel));
                break;
        }
        keys.push_back(f);
        table.emplace(key, result);
        return result;
    }
};

// Every trap space, in the encoding (one code per subspace); the genes of
// `forced` (value >= 0) held at their value.
bddHandle compAllTrapSpaces(const fullNetwork& net, const spaceCoder& coder,
                            const std::vector<int>& forced) {
    DdManager* const m = net.mgr;
    // The forced values over x, to take every function at them.
    bddHandle forcedValues = bddOne(m);
    bddHandle forcedCube = bddOne(m);
    for (int g = net.nGenes; g-- > 0;) {
        const size_t at = static_cast<size_t>(g);
        if (forced.empty() || forced[at] < 0) continue;
        DdNode* const x = net.vars[at].get();
        forcedValues =
            bddResult(m, Cudd_bddAnd(m, forcedValues.get(), forced[at] == 1 ? x : Cudd_Not(x)));
        forcedCube = bddResult(m, Cudd_bddAnd(m, forcedCube.get(), x));
    }
    bddHandle traps = bddOne(m);
    for (int level = net.nGenes; level-- > 0;) {
        const size_t at = static_cast<size_t>(net.order[static_cast<size_t>(level)]);
        if (!forced.empty() && forced[at] >= 0) {
            traps = bddResult(m, Cudd_bddAnd(m, traps.get(), coder.code[forced[at]][at].get()));
            continue;
        }
        // x in S, on the genes f_g reads: free there, or at S's value.
        bddHandle inSpace = bddOne(m);
        bddHandle xCube = bddOne(m);
        const std::vector<int>& read = net.regulators[at];
        for (auto r = read.rbegin(); r != read.rend(); ++r) {
            const size_t ru = static_cast<size_t>(*r);
            if (!forced.empty() && forced[ru] >= 0) continue;
            const bddHandle same =
                bddResult(m, Cudd_bddXnor(m, net.vars[ru].get(), coder.valueVar[ru].get()));
            const bddHandle allowed =
                bddResult(m, Cudd_bddOr(m, coder.freeVar[ru].get(), same.get()));
            inSpace = bddResult(m, Cudd_bddAnd(m, inSpace.get(), allowed.get()));
            xCube = bddResult(m, Cudd_bddAnd(m, xCube.get(), net.vars[ru].get()));
        }
        const bddHandle f = bddResult(
            m, Cudd_bddAndAbstract(m, net.next[at].get(), forcedValues.get(), forcedCube.get()));
        // f_g differs from the value S gives g somewhere in S.
        const bddHandle differs =
            bddResult(m, Cudd_bddXnor(m, f.get(), Cudd_Not(coder.valueVar[at].get())));
        const bddHandle escapes =
            bddResult(m, Cudd_bddAndAbstract(m, inSpace.get(), differs.get(), xCube.get()));
        const bddHandle bad =
            bddResult(m, Cudd_bddAnd(m, Cudd_Not(coder.freeVar[at].get()), escapes.get()));
        traps = bddResult(m, Cudd_bddAnd(m, traps.get(), Cudd_Not(bad.get())));
        // One code per subspace: value_g = 0 where g is free.
        traps = bddResult(m, Cudd_bddAnd(m, traps.get(), Cudd_Not(coder.pairCube[at].get())));
    }
    return traps;
}

// Lists the subspaces of f (genes from level g on) into `out`, with `cube`
// holding the characters of the genes above.
void listSpaces(const spaceCoder& coder, const bddHandle& f, int g, std::string& cube,
                std::vector<std::string>& out, std::size_t maxSpaces) {
    if (f.get() == Cudd_ReadLogicZero(coder.net.mgr)) return;
    if (g == coder.net.nGenes) {
        if (out.size() == maxSpaces)
            throw quorvelError("more than " + std::to_string(maxSpaces) +
                               " trap spaces: too many to write");
        out.push_back(cube);
        return;
    }
    const char codes[3] = {'0', '1', '-'};
    const int gene = coder.net.order[static_cast<size_t>(g)];
    for (int c = 0; c < 3; ++c) {
        cube[static_cast<size_t>(gene)] = codes[c];
        listSpaces(coder, coder.part(f, gene, c), g + 1, cube, out, maxSpaces);
    }
}

}  // namespace

std::vector<std::string> compTrapSpaces(const fullNetwork& net, trapSpaceKind kind,
                                        const std::vector<int>& forced, std::size_t maxSpaces,
                                        const progressSink& progress) {
    if (net.stride != 3)
        throw quorvelError("internal error: trap spaces need three variables per gene");
    DdManager* const m = net.mgr;
    const spaceCoder coder(net);
    if (kind == trapSpaceKind::maximal && !forced.empty())
        throw quorvelError("internal error: maximal trap spaces asked with forced genes");
    bddHandle traps = compAllTrapSpaces(net, coder, forced);
    writeProgress(progress, "trap spaces encoded\n");
    bddHandle chosen;
    {
        spaceRecursion recursion{coder, {}, {}};
        if (kind == trapSpaceKind::maximal) {
            // The whole state space is not a proper trap space.
            bddHandle whole = bddOne(m);
            for (int level = net.nGenes; level-- > 0;)
                whole = bddResult(
                    m, Cudd_bddAnd(
                           m, whole.get(),
                           coder.code[2][static_cast<size_t>(net.order[static_cast<size_t>(level)])]
                               .get()));
            traps = coder.minus(traps, whole);
            chosen = recursion.run(spaceOp::maximal, traps, 0);
        } else {
            chosen = recursion.run(spaceOp::minimal, traps, 0);
        }
    }
    std::vector<std::string> spaces;
    std::string cube(static_cast<size_t>(net.nGenes), '-');
    listSpaces(coder, chosen, 0, cube, spaces, maxSpaces);
    return spaces;
}
