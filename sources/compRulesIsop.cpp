// From a Boolean function (a BDD) to activating rules: the irredundant
// sum-of-products cover of the function, one rule per product.
#include "compRulesIsop.h"

#include "bddHandle.h"
#include "newManager.h"
#include "quorvelError.h"

#include <pthread.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>

ownedManager makeReaderManager() {
    // Sized as an analysis's manager, and a failed allocation gives NULL
    // (then an error) instead of ending the process.
    return ownedManager(newManager(0, CUDD_CACHE_SLOTS, 0));
}

void chkNoReference(DdManager* mgr) {
    const int left = Cudd_CheckZeroRef(mgr);
    if (left != 0)
        throw quorvelError("reading the network left " + std::to_string(left) +
                           " BDD references unreleased");
}

void runOnReaderStack(std::size_t stackBytes, const std::function<void()>& work) {
    struct job {
        const std::function<void()>& work;
        std::exception_ptr failure;
        static void* run(void* self) {
            job& j = *static_cast<job*>(self);
            try {
                j.work();
            } catch (...) {
                j.failure = std::current_exception();
            }
            return nullptr;
        }
    } j{work, nullptr};
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        throw quorvelError("cannot start the network reader: no thread attributes");
    pthread_t thread;
    int status = pthread_attr_setstacksize(&attributes, stackBytes);
    if (status == 0) status = pthread_create(&thread, &attributes, &job::run, &j);
    pthread_attr_destroy(&attributes);
    if (status != 0)
        throw quorvelError("cannot start the network reader with a stack of " +
                           std::to_string((stackBytes + (1u << 20) - 1) >> 20) +
                           " MiB: " + std::strerror(status));
    pthread_join(thread, nullptr);
    if (j.failure) std::rethrow_exception(j.failure);
}

DdNode* varOfName(DdManager* mgr, localVariables& vars, const std::string& name,
                  const std::string& where) {
    const auto entered = vars.index.emplace(name, static_cast<int>(vars.names.size()));
    if (entered.second) {
        if (vars.names.size() == kMaxRegulators) {
            vars.index.erase(entered.first);
            throw quorvelError(where + ": a function reads more than " +
                               std::to_string(kMaxRegulators) + " genes");
        }
        vars.names.push_back(name);
    }
    DdNode* var = Cudd_bddIthVar(mgr, entered.first->second);
    if (var == nullptr) throw quorvelError("the BDD engine cannot create a variable");
    return var;
}

bddHandle combineBalanced(DdManager* mgr, combineOp op, bddArray& operands) {
    if (operands.empty()) return op == combineOp::conjoin ? bddOne(mgr) : bddZero(mgr);
    while (operands.size() > 1) {
        const std::size_t half = operands.size() / 2;
        for (std::size_t k = 0; k < half; ++k) {
            DdNode* const f = operands[2 * k].get();
            DdNode* const g = operands[2 * k + 1].get();
            if (op == combineOp::differ) {
                const bddHandle same = bddResult(mgr, Cudd_bddXnor(mgr, f, g));
                operands[k] = bddHandle(mgr, Cudd_Not(same.get()));
            } else {
                operands[k] = bddResult(
                    mgr, op == combineOp::conjoin ? Cudd_bddAnd(mgr, f, g) : Cudd_bddOr(mgr, f, g));
            }
        }
        if (operands.size() % 2 != 0) operands[half] = std::move(operands.back());
        operands.resize(half + operands.size() % 2);
    }
    bddHandle result = std::move(operands.front());
    operands.clear();
    return result;
}

namespace {

// f with variable `var` set to 1 (positive) or 0: the other variables'
// function once var is existentially removed from f AND the literal. On the
// top variable of f both steps stop at f's root: constant time.
bddHandle cofactor(DdManager* mgr, DdNode* f, DdNode* var, bool positive) {
    const bddHandle conj = bddResult(mgr, Cudd_bddAnd(mgr, f, positive ? var : Cudd_Not(var)));
    return bddResult(mgr, Cudd_bddExistAbstract(mgr, conj.get(), var));
}

// One pending interval lower <= c <= upper of the Minato-Morreale
// recursion, kept on an explicit stack (a function of 10,000 variables
// splits 10,000 deep): split on the top variable v of the bounds, cover
// the part that needs NOT v (stage 0), the part that needs v (stage 1),
// then what is left of both without v (stage 2), and join the covers
// (stage 3). `literal` is the entry this interval added to the cube prefix
// (-1: none).
struct isopFrame {
    isopFrame(bddHandle lowerBound, bddHandle upperBound, int literalAdded)
        : lower(std::move(lowerBound)), upper(std::move(upperBound)), literal(literalAdded) {}
    bddHandle lower, upper;
    int literal;
    int stage = 0;
    int var = -1;
    bddHandle var1, lower0, lower1, upper0, upper1, cover0, cover1;
};

// The cover of [f, f]; its products are appended to `cubes` as lists of
// (variable, polarity), variables ascending.
void isopFunction(DdManager* mgr, DdNode* f, int nVars, std::vector<coverLiterals>& cubes) {
    DdNode* const zero = Cudd_ReadLogicZero(mgr);
    DdNode* const one = Cudd_ReadOne(mgr);
    coverLiterals prefix;
    std::vector<isopFrame> stack;
    stack.emplace_back(bddHandle(mgr, f), bddHandle(mgr, f), -1);
    bddHandle returned;  // the cover of the frame popped last
    const auto push = [&](bddHandle lower, bddHandle upper, int var, int polarity) {
        if (var >= 0) prefix.emplace_back(var, static_cast<char>(polarity));
        stack.emplace_back(std::move(lower), std::move(upper), var >= 0 ? var : -1);
    };
    const auto pop = [&](bddHandle cover) {
        if (stack.back().literal >= 0) prefix.pop_back();
        stack.pop_back();
        returned = std::move(cover);
    };
    while (!stack.empty()) {
        isopFrame& fr = stack.back();
        if (fr.stage == 0) {
            if (fr.lower.get() == zero) {
                pop(bddZero(mgr));
                continue;
            }
            if (fr.upper.get() == one) {
                coverLiterals cube = prefix;
                std::sort(cube.begin(), cube.end());
                cubes.push_back(std::move(cube));
                pop(bddOne(mgr));
                continue;
            }
            // The top variable of the bounds (lower is not 0 and upper is
            // not 1, so at least one of them is no constant).
            int level = -1;
            for (DdNode* bound : {fr.lower.get(), fr.upper.get()}) {
                if (Cudd_IsConstant(bound)) continue;
                const int index = static_cast<int>(Cudd_NodeReadIndex(bound));
                const int at = Cudd_ReadPerm(mgr, index);
                if (level < 0 || at < level) {
                    level = at;
                    fr.var = index;
                }
            }
            if (fr.var < 0 || fr.var >= nVars)
                throw quorvelError("a function to cover depends on a variable outside its " +
                                   std::to_string(nVars) + " variables");
            DdNode* const var = Cudd_bddIthVar(mgr, fr.var);
            if (var == nullptr) throw quorvelError("the BDD engine cannot create a variable");
            fr.var1 = bddHandle(mgr, var);
            fr.lower0 = cofactor(mgr, fr.lower.get(), var, false);
            fr.lower1 = cofactor(mgr, fr.lower.get(), var, true);
            fr.upper0 = cofactor(mgr, fr.upper.get(), var, false);
            fr.upper1 = cofactor(mgr, fr.upper.get(), var, true);
            fr.stage = 1;
            // Products that need NOT var: the part of lower0 that upper1
            // cannot hold.
            bddHandle only0 =
                bddResult(mgr, Cudd_bddAnd(mgr, fr.lower0.get(), Cudd_Not(fr.upper1.get())));
            bddHandle upper0 = fr.upper0;
            const int v = fr.var;
            push(std::move(only0), std::move(upper0), v, 0);  // fr is invalid from here
        } else if (fr.stage == 1) {
            fr.cover0 = std::move(returned);
            fr.stage = 2;
            bddHandle only1 =
                bddResult(mgr, Cudd_bddAnd(mgr, fr.lower1.get(), Cudd_Not(fr.upper0.get())));
            bddHandle upper1 = fr.upper1;
            const int v = fr.var;
            push(std::move(only1), std::move(upper1), v, 1);
        } else if (fr.stage == 2) {
            fr.cover1 = std::move(returned);
            fr.stage = 3;
            // What neither cover holds yet, without var.
            const bddHandle left0 =
                bddResult(mgr, Cudd_bddAnd(mgr, fr.lower0.get(), Cudd_Not(fr.cover0.get())));
            const bddHandle left1 =
                bddResult(mgr, Cudd_bddAnd(mgr, fr.lower1.get(), Cudd_Not(fr.cover1.get())));
            bddHandle lowerRest = bddResult(mgr, Cudd_bddOr(mgr, left0.get(), left1.get()));
            bddHandle upperRest =
                bddResult(mgr, Cudd_bddAnd(mgr, fr.upper0.get(), fr.upper1.get()));
            push(std::move(lowerRest), std::move(upperRest), -1, 0);
        } else {
            const bddHandle split =
                bddResult(mgr, Cudd_bddIte(mgr, fr.var1.get(), fr.cover1.get(), fr.cover0.get()));
            pop(bddResult(mgr, Cudd_bddOr(mgr, split.get(), returned.get())));
        }
    }
}

}  // namespace

std::vector<coverCube> compIrredundantCover(DdManager* mgr, DdNode* f, int nVars) {
    std::vector<coverLiterals> sparse;
    isopFunction(mgr, f, nVars, sparse);
    std::vector<coverCube> cubes;
    for (const coverLiterals& literals : sparse) {
        coverCube cube(static_cast<std::size_t>(nVars), 2);
        for (const auto& literal : literals)
            cube[static_cast<std::size_t>(literal.first)] = literal.second;
        cubes.push_back(std::move(cube));
    }
    return cubes;
}

int makeRulesOfFunction(DdManager* mgr, DdNode* f, const std::vector<std::string>& varNames,
                        const std::string& target, std::vector<networkDefBool>& network) {
    std::vector<coverLiterals> cubes;
    isopFunction(mgr, f, static_cast<int>(varNames.size()), cubes);
    for (const coverLiterals& cube : cubes) {
        networkDefBool rule;
        for (const auto& literal : cube) {
            rule.inpGeneName.push_back(varNames[static_cast<std::size_t>(literal.first)]);
            rule.inpGenePolar.push_back(literal.second);
        }
        rule.outGeneName = target;
        rule.outGenePolar = 1;
        network.push_back(std::move(rule));
    }
    return static_cast<int>(cubes.size());
}
