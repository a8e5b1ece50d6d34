// Setting a formula text (normalise, compile, evaluate) against muparser's
// SetExpr + Eval over the same check formulas: arithmetic texts of 5 to 30
// terms as the checks produce them after substituting cell values, and
// conditions joined by И and ИЛИ. Each benchmark iteration evaluates the
// whole set; items per second are formulas per second.

#include "checks/FormulUtil.h"

#include <QString>
#include <QStringList>

#include <benchmark/benchmark.h>
#include <muParser.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

// A fixed pseudo-random sequence, so every run measures the same texts.
struct Lcg {
    std::uint64_t s = 20160901;
    std::uint32_t next() {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return std::uint32_t(s >> 33);
    }
    int below(int n) { return int(next() % std::uint32_t(n)); }
};

// One value as a cell gives it: whole numbers mostly, some with decimals,
// negatives in parentheses.
std::pair<std::string, std::string> operand(Lcg &r) {
    const int kind = r.below(10);
    std::string v = std::to_string(r.below(5000));
    if (kind < 2) {
        v += ',';
        v += std::to_string(r.below(100));
    } else if (kind == 2) {
        v.insert(0, "(-");
        v += ')';
        return {v, v};
    }
    std::string mu = v;
    for (char &c : mu)
        if (c == ',')
            c = '.';
    return {v, mu};
}

// A sum of `terms` operands with a product or a parenthesised group here and
// there, and now and then a function call. Returns the text in the formula
// language and in muparser's syntax.
std::pair<std::string, std::string> arithmetic(Lcg &r, int terms) {
    std::string ours, mu;
    for (int t = 0; t < terms; ++t) {
        if (t > 0) {
            const char op = "+++-*"[r.below(5)];
            ours += op;
            mu += op;
        }
        const int shape = r.below(12);
        auto [a, am] = operand(r);
        if (shape == 0) {
            auto [b, bm] = operand(r);
            ours += "(" + a + "+" + b + ")";
            mu += "(" + am + "+" + bm + ")";
        } else if (shape == 1) {
            ours += "ROUND(" + a + "/3)";
            mu += "rint(" + am + "/3)";
        } else if (shape == 2) {
            const std::string v = std::to_string(r.below(5000));
            ours += "SQRT(" + v + ")";
            mu += "sqrt(" + v + ")";
        } else {
            ours += a;
            mu += am;
        }
    }
    return {ours, mu};
}

std::vector<std::pair<QString, std::string>> arithmeticSet() {
    Lcg r;
    std::vector<std::pair<QString, std::string>> set;
    for (int i = 0; i < 200; ++i) {
        auto [ours, mu] = arithmetic(r, 5 + r.below(26));
        set.emplace_back(QString::fromStdString(ours), mu);
    }
    return set;
}

std::vector<std::pair<QString, std::string>> conditionSet() {
    Lcg r;
    static const char *const cmpOurs[] = {"=", "<>", "<", ">", "<=", ">="};
    static const char *const cmpMu[] = {"==", "!=", "<", ">", "<=", ">="};
    std::vector<std::pair<QString, std::string>> set;
    for (int i = 0; i < 200; ++i) {
        const int clauses = 1 + r.below(4);
        std::string ours, mu;
        for (int c = 0; c < clauses; ++c) {
            if (c > 0) {
                const bool orWord = r.below(3) == 0;
                ours += orWord ? " ИЛИ " : " И ";
                mu += orWord ? " || " : " && ";
            }
            auto [l, lm] = arithmetic(r, 2 + r.below(6));
            auto [rt, rm] = arithmetic(r, 1 + r.below(3));
            const int k = r.below(6);
            ours += l + " " + cmpOurs[k] + " " + rt;
            mu += lm + " " + cmpMu[k] + " " + rm;
        }
        set.emplace_back(QString::fromUtf8(ours.c_str()), mu);
    }
    return set;
}

void runFormula(benchmark::State &state, const std::vector<std::pair<QString, std::string>> &set) {
    TFormula f;
    long errors = 0;
    for (auto _ : state) {
        for (const auto &e : set) {
            f.SetText(e.first);
            errors += f.ErrorCode() != 0 && f.ErrorCode() != 8;
            benchmark::DoNotOptimize(f.Value());
            benchmark::DoNotOptimize(f.LogicalResult());
        }
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(set.size()));
    state.counters["syntax_errors"] = double(errors) / double(state.iterations());
}

void runMuParser(benchmark::State &state, const std::vector<std::pair<QString, std::string>> &set) {
    mu::Parser p;
    long errors = 0;
    for (auto _ : state) {
        for (const auto &e : set) {
            try {
                p.SetExpr(e.second);
                benchmark::DoNotOptimize(p.Eval());
            } catch (const mu::Parser::exception_type &) {
                ++errors;
            }
        }
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(set.size()));
    state.counters["syntax_errors"] = double(errors) / double(state.iterations());
}

void BM_Arithmetic_TFormula(benchmark::State &state) {
    static const auto set = arithmeticSet();
    runFormula(state, set);
}
void BM_Arithmetic_MuParser(benchmark::State &state) {
    static const auto set = arithmeticSet();
    runMuParser(state, set);
}
void BM_Condition_TFormula(benchmark::State &state) {
    static const auto set = conditionSet();
    runFormula(state, set);
}
void BM_Condition_MuParser(benchmark::State &state) {
    static const auto set = conditionSet();
    runMuParser(state, set);
}

// Both evaluators must agree on what they measure.
bool sameResults() {
    TFormula f;
    mu::Parser p;
    for (const auto &e : arithmeticSet()) {
        f.SetText(e.first);
        p.SetExpr(e.second);
        const double m = p.Eval();
        if (f.ErrorCode() != 0 || std::abs(double(f.Value()) - m) > 1e-6 * (1 + std::abs(m))) {
            std::fprintf(stderr, "%s\n%s\n%d %d %Lg %g\n", e.first.toUtf8().constData(),
                         e.second.c_str(), f.ErrorCode(), f.ErrorPos(), f.Value(), m);
            return false;
        }
    }
    for (const auto &e : conditionSet()) {
        f.SetText(e.first);
        p.SetExpr(e.second);
        if (f.ErrorCode() != 0 || f.LogicalResult() != (p.Eval() != 0)) {
            std::fprintf(stderr, "%s\n%s\n%d %d\n", e.first.toUtf8().constData(), e.second.c_str(),
                         f.ErrorCode(), f.ErrorPos());
            return false;
        }
    }
    return true;
}

} // namespace

BENCHMARK(BM_Arithmetic_TFormula);
BENCHMARK(BM_Arithmetic_MuParser);
BENCHMARK(BM_Condition_TFormula);
BENCHMARK(BM_Condition_MuParser);

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (!sameResults()) {
        std::fprintf(stderr, "TFormula and muparser disagree on the benchmark formulas\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
