/* Kinds of cases both modules share: the optional thread count. */
#include "cases.h"

#include <cmath>

namespace {

std::vector<mxArray *> appended(std::vector<mxArray *> in, mxArray *last)
{
    in.push_back(last);
    return in;
}

} // namespace

void threadCountCases(std::vector<DriverCase> &cases, const std::string &name, const Inputs &base, int nlhs)
{
    cases.push_back(okCase(name, base, nlhs));
    /* Labels are spelt out: number formatting differs between C runtimes. */
    const struct {
        const char *label;
        double value;
    } counts[] = {{"0", 0}, {"1", 1}, {"2", 2}, {"3", 3}, {"4", 4}, {"7.9", 7.9}, {"1e9", 1e9}};
    for (const auto &t : counts) {
        const double threads = t.value;
        cases.push_back(okCase(name + ", threads " + t.label,
                               [=] { return appended(base(), standinCreateScalar(threads)); }, nlhs));
    }
    cases.push_back(okCase(name + ", int32 threads 2",
                           [=] { return appended(base(), arrayOf({1, 1}, {2.0}, STANDIN_INT32)); }, nlhs));
}

void badThreadCases(std::vector<DriverCase> &cases, const char *id, const char *argument, const Inputs &base,
                    int nlhs, const std::vector<std::pair<std::string, std::string>> &docs)
{
    const struct {
        const char *label;
        mxArray *(*make)();
    } bad[] = {{"-1", [] { return standinCreateScalar(-1); }},
               {"NaN", [] { return standinCreateScalar(NAN); }},
               {"1x2", [] { return standinCreateMatrix(1, 2); }},
               {"'a'", [] { return arrayOf({1, 1}, {97.0}, STANDIN_CHAR); }},
               {"-Inf", [] { return standinCreateScalar(-INFINITY); }},
               {"empty", [] { return standinCreateMatrix(0, 0); }},
               {"complex", [] { return arrayOf({1, 1}, {2.0}, STANDIN_DOUBLE, STANDIN_COMPLEX); }},
               {"cell", [] { return arrayOf({1, 1}, {2.0}, STANDIN_CELL); }}};
    for (const auto &b : bad) {
        mxArray *(*make)() = b.make;
        DriverCase c = errorCase(std::string("thread count ") + b.label, [=] { return appended(base(), make()); }, id,
                                 0, nlhs)
                           .text(argument);
        for (const auto &d : docs)
            if (d.first == b.label)
                c = c.doc(d.second);
        cases.push_back(c);
    }
}
