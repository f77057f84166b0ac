/* lantrelops(op, I, ...), the toolbox's private helper: every operation on
 * images of every class it reads (grey and RGB, odd sizes, 1 x 1, empty,
 * non-finite samples), the friendly functions' one-call roads, a few
 * literal values that show each class read as stored, and calls it must
 * refuse. Names start with the operation, so that
 * a comparison of records counts differences per operation. */
#include "cases.h"

#include <cmath>

namespace {

const char badArgument[] = "lantrelops:badArgument";

mxArray *text(const char *s)
{
    std::vector<double> codes;
    for (const char *c = s; *c; ++c)
        codes.push_back(static_cast<unsigned char>(*c));
    return arrayOf({1, static_cast<int>(codes.size())}, codes, STANDIN_CHAR);
}

const struct {
    const char *name;
    int cls;
} imageClasses[] = {{"uint8", STANDIN_UINT8},   {"uint16", STANDIN_UINT16}, {"int16", STANDIN_INT16},
                    {"single", STANDIN_SINGLE}, {"double", STANDIN_DOUBLE}, {"logical", STANDIN_LOGICAL}};

/* Samples spread over the class's range (converted by arrayOf); for the
 * floating classes a little beyond [0, 1], and with NaN, Inf, -Inf and -0
 * where `special`. */
mxArray *image(int cls, std::vector<int> dims, uint64_t seed, bool special = false)
{
    size_t n = 1;
    for (int d : dims)
        n *= static_cast<size_t>(d);
    double lo = -0.2, hi = 1.2;
    if (cls == STANDIN_UINT8)
        lo = 0, hi = 255;
    else if (cls == STANDIN_UINT16)
        lo = 0, hi = 65535;
    else if (cls == STANDIN_INT16)
        lo = -32768, hi = 32767;
    std::vector<double> v = uniformValues(seed, n, lo, hi);
    if (cls == STANDIN_LOGICAL)
        for (double &x : v)
            x = x > 0.5;
    if (special)
        for (size_t k = 0; k + 4 < n; k += 9) {
            v[k] = NAN;
            v[k + 1] = INFINITY;
            v[k + 2] = -INFINITY;
            v[k + 3] = -0.0;
        }
    return arrayOf(dims, v, cls);
}

/* The operation's call on an image made by img, with its scalar argument
 * (if any) and a thread count (if > 0). */
Inputs opCall(const char *op, std::function<mxArray *()> img, const double *arg = nullptr, double threads = 0)
{
    const bool hasArg = arg != nullptr;
    const double a = hasArg ? *arg : 0;
    return [=] {
        std::vector<mxArray *> in = {text(op), img()};
        if (hasArg)
            in.push_back(standinCreateScalar(a));
        if (threads > 0)
            in.push_back(standinCreateScalar(threads));
        return in;
    };
}

const double sigma = 0.1, across = 0, along = 90;

/* unit, luma, weights, directions across and along edges, noise. */
void everyOp(std::vector<DriverCase> &cases, const std::string &what, const std::function<mxArray *()> &img,
             bool withLuma, double threads = 0)
{
    cases.push_back(okCase("unit: " + what, opCall("unit", img, nullptr, threads)));
    if (withLuma)
        cases.push_back(okCase("luma: " + what, opCall("luma", img, nullptr, threads)));
    cases.push_back(okCase("weights: " + what, opCall("weights", img, &sigma, threads)));
    if (withLuma) {
        cases.push_back(okCase("directions: " + what + ", across", opCall("directions", img, &across, threads)));
        cases.push_back(okCase("directions: " + what + ", along", opCall("directions", img, &along, threads)));
    }
    if (threads == 0)
        cases.push_back(okCase("noise: " + what, opCall("noise", img)));
}

using Make = std::function<mxArray *()>;

Make scalar(double v)
{
    return [v] { return standinCreateScalar(v); };
}

const Make none = [] { return standinCreateMatrix(0, 0); };

/* lantrelops(op, caller, I, rest...) */
Inputs roadCall(const char *op, const char *who, Make img, std::vector<Make> rest)
{
    return [=] {
        std::vector<mxArray *> in = {text(op), text(who), img()};
        for (const Make &m : rest)
            in.push_back(m());
        return in;
    };
}

/* lantrelSmooth's road: weights W (or none), pilot sigma and lambda, sigma,
 * lambda, 4 iterations, attenuation 2, threads. */
Inputs smoothCall(Make img, Make w, double pilotSigma, double sigma, double threads = 0)
{
    return roadCall("smooth", "lantrelSmooth", std::move(img),
                    {std::move(w), scalar(pilotSigma), scalar(3), scalar(sigma), scalar(2.4), scalar(4), scalar(2),
                     scalar(threads)});
}

/* ostraveVariation's road: turn, directions D and table T (or none), half-length, threads. */
Inputs variationCall(Make img, double turn, Make d, Make t, double halfLength, double threads = 0)
{
    return roadCall("variation", "ostraveVariation", std::move(img),
                    {scalar(turn), std::move(d), std::move(t), scalar(halfLength), scalar(threads)});
}

/* The roads on one image: with a pilot, without, across and along edges. */
void everyRoad(std::vector<DriverCase> &cases, const std::string &what, const Make &img, double threads = 0)
{
    cases.push_back(okCase("smooth: " + what + ", pilot", smoothCall(img, none, 0.05, 0.03, threads)));
    cases.push_back(okCase("smooth: " + what + ", no pilot", smoothCall(img, none, 0, 0.1, threads)));
    cases.push_back(okCase("variation: " + what + ", across", variationCall(img, across, none, none, 4, threads), 2));
    cases.push_back(okCase("variation: " + what + ", along", variationCall(img, along, none, none, 2, threads), 2));
}

} // namespace

void lantrelopsCases(std::vector<DriverCase> &cases)
{
    for (const auto &c : imageClasses) {
        const int cls = c.cls;
        everyRoad(cases, std::string(c.name) + " RGB 20x17", [=] { return image(cls, {20, 17, 3}, 400); });
        everyRoad(cases, std::string(c.name) + " grey 33x27", [=] { return image(cls, {33, 27}, 401); });
    }
    everyRoad(cases, "double grey 8x7 with NaN and Inf", [] { return image(STANDIN_DOUBLE, {8, 7}, 402, true); });
    for (double threads : {1.0, 3.0})
        everyRoad(cases, "uint8 RGB 512x384, " + std::to_string(static_cast<int>(threads)) + " threads",
                  [] { return image(STANDIN_UINT8, {512, 384, 3}, 300); }, threads);
    const Make grey16 = [] { return image(STANDIN_UINT16, {33, 27}, 403); };
    cases.push_back(okCase("smooth: given weights", smoothCall(grey16, [] {
        return arrayOf({33, 27}, uniformValues(404, 33 * 27, 0, 1.5));
    }, 0, 0)));
    std::vector<double> d = uniformValues(405, 33 * 27, 0, 361), t = uniformValues(406, 80 * 722, -9, 9);
    for (double &v : d)
        v = std::floor(v);
    for (double &v : t)
        v = std::round(v);
    cases.push_back(okCase("variation: given directions and table", variationCall(grey16, 0, [=] {
        return arrayOf({33, 27}, d);
    }, [=] { return arrayOf({80, 722}, t); }, 79), 2));
    const Make big = [] { return image(STANDIN_UINT8, {512, 384, 3}, 300); };
    cases.push_back(errorCase("smooth: interrupted", smoothCall(big, none, 0.05, 0.03), "lantrelSmooth:interrupted")
                        .interruptedAt(1)
                        .with(CASE_LOCAL));
    cases.push_back(errorCase("variation: interrupted", variationCall(big, 0, none, none, 4),
                              "ostraveVariation:interrupted", 0, 2)
                        .interruptedAt(1)
                        .with(CASE_LOCAL));
    const Make direction361 = [] { return arrayOf({33, 27}, std::vector<double>(33 * 27, 361)); };
    const struct {
        const char *name;
        Inputs call;
    } badRoads[] = {
        {"smooth, weights of another size", smoothCall(grey16, [] { return standinCreateMatrix(27, 33); }, 0, 0)},
        {"smooth, negative iterations", roadCall("smooth", "lantrelSmooth", grey16,
                                                 {none, scalar(0), scalar(3), scalar(0.1), scalar(1), scalar(-1),
                                                  scalar(2), scalar(0)})},
        {"smooth, no caller", [] { return std::vector<mxArray *>{text("smooth")}; }},
        {"variation, direction 361", variationCall(grey16, 0, direction361, none, 4)},
        {"variation, half-length 80", variationCall(grey16, 0, none, none, 80)},
        {"variation, table 80x721", variationCall(grey16, 0, none, [] { return standinCreateMatrix(80, 721); }, 4)},
    };
    for (const auto &b : badRoads)
        cases.push_back(errorCase(std::string("bad call: ") + b.name, b.call, badArgument));

    cases.push_back(okCase("table: 80 x 722", [] { return std::vector<mxArray *>{text("table")}; }));
    uint64_t seed = 200;
    for (const auto &c : imageClasses) {
        const int cls = c.cls;
        const std::string name = c.name;
        const struct {
            const char *what;
            std::vector<int> dims;
            bool luma;
        } shapes[] = {{"grey 7x5", {7, 5}, true},         {"RGB 9x6", {9, 6, 3}, true},
                      {"grey 1x1", {1, 1}, true},         {"grey 1x11", {1, 11}, true},
                      {"empty 0x0", {0, 0}, true},        {"empty 0x4x3", {0, 4, 3}, true},
                      {"grey 33x27", {33, 27}, true},     {"RGB 20x17", {20, 17, 3}, true},
                      {"2x2 planes 6x5", {6, 5, 2, 2}, false}};
        for (const auto &s : shapes) {
            const std::vector<int> dims = s.dims;
            const uint64_t at = seed++;
            everyOp(cases, name + " " + s.what, [=] { return image(cls, dims, at); }, s.luma);
        }
        if (cls == STANDIN_SINGLE || cls == STANDIN_DOUBLE) {
            const uint64_t at = seed++;
            everyOp(cases, name + " grey 8x7 with NaN and Inf", [=] { return image(cls, {8, 7}, at, true); }, true);
            everyOp(cases, name + " RGB 8x7 with NaN and Inf", [=] { return image(cls, {8, 7, 3}, at, true); }, true);
        }
    }
    /* Results never depend on the thread count: an image several threads share. */
    for (double threads : {1.0, 3.0})
        everyOp(cases, "uint8 RGB 512x384, " + std::to_string(static_cast<int>(threads)) + " threads",
                [] { return image(STANDIN_UINT8, {512, 384, 3}, 300); }, true, threads);

    /* Each class read as stored, scaled as im2double scales it. */
    const struct {
        const char *name;
        int cls;
        std::vector<double> in, want;
    } literal[] = {{"uint8", STANDIN_UINT8, {0, 255, 51}, {0, 1, 0.2}},
                   {"uint16", STANDIN_UINT16, {65535, 0}, {1, 0}},
                   {"int16", STANDIN_INT16, {-32768, 32767}, {0, 1}},
                   {"single", STANDIN_SINGLE, {0.5, -0.25}, {0.5, -0.25}},
                   {"double", STANDIN_DOUBLE, {-0.0, 3}, {-0.0, 3}},
                   {"logical", STANDIN_LOGICAL, {0, 1, 1}, {0, 1, 1}}};
    for (const auto &l : literal) {
        const int cls = l.cls;
        const std::vector<double> in = l.in;
        cases.push_back(okCase(std::string("unit: literal ") + l.name, opCall("unit", [=] {
            return arrayOf({1, static_cast<int>(in.size())}, in, cls);
        })).values({l.want}));
    }
    cases.push_back(okCase("luma: literal red", opCall("luma", [] { return arrayOf({1, 1, 3}, {1, 0, 0}); }))
                        .values({{0.2126}}));

    /* Refused, each with the helper's error and nothing made or kept. */
    const Make grey = [] { return image(STANDIN_DOUBLE, {4, 3}, 7); };
    const Make scalar0 = [] { return standinCreateScalar(0); };
    const struct {
        const char *name;
        const char *op; /* null: none */
        std::vector<Make> rest;
    } bad[] = {
        {"no arguments", nullptr, {}},
        {"a number for the operation", nullptr, {[] { return standinCreateScalar(1); }, grey}},
        {"unknown operation", "blur", {grey}},
        {"operation name too long", "weightsweightsweights", {grey}},
        {"no image", "unit", {}},
        {"int32 image", "unit", {[] { return image(STANDIN_INT32, {3, 3}, 8); }}},
        {"int8 image", "luma", {[] { return image(STANDIN_INT8, {3, 3}, 8); }}},
        {"char image", "weights", {[] { return text("abc"); }, [] { return standinCreateScalar(sigma); }}},
        {"cell image", "noise", {[] { return arrayOf({1, 1}, {}, STANDIN_CELL); }}},
        {"complex image", "unit", {[] { return arrayOf({2, 2}, {1, 2, 3, 4}, STANDIN_DOUBLE, STANDIN_COMPLEX); }}},
        {"sparse image", "unit", {[] { return arrayOf({2, 2}, {1, 0, 0, 1}, STANDIN_DOUBLE, STANDIN_SPARSE); }}},
        {"weights without sigma", "weights", {grey}},
        {"weights, sigma 1x2", "weights", {grey, [] { return standinCreateMatrix(1, 2); }}},
        {"weights, char sigma", "weights", {grey, [] { return text("a"); }}},
        {"directions without turn", "directions", {grey}},
        {"directions, NaN turn", "directions", {grey, [] { return standinCreateScalar(NAN); }}},
        {"directions, 2 planes", "directions", {[] { return image(STANDIN_UINT8, {4, 3, 2}, 9); }, scalar0}},
        {"luma, 4 planes", "luma", {[] { return image(STANDIN_SINGLE, {4, 3, 4}, 9); }}},
    };
    for (const auto &b : bad) {
        const char *op = b.op;
        const std::vector<Make> rest = b.rest;
        cases.push_back(errorCase(std::string("bad call: ") + b.name, [=] {
            std::vector<mxArray *> in;
            if (op)
                in.push_back(text(op));
            for (const Make &m : rest)
                in.push_back(m());
            return in;
        }, badArgument));
    }

    /* The host's allocation fails inside the helper's output calls. */
    cases.push_back(errorCase("host memory: unit", opCall("unit", grey), "standin:outOfMemory", 1));
    cases.push_back(errorCase("host memory: noise", opCall("noise", grey), "standin:outOfMemory", 1));
    cases.push_back(errorCase("host memory: table", [] { return std::vector<mxArray *>{text("table")}; },
                              "standin:outOfMemory", 1));
}
