/* Runs a module's cases through the stand-in host and records every outcome
 * (outputs bit for bit, error identifier and text) in a binary file, so that
 * builds of one module for different platforms can be compared exactly.
 *
 *   module_driver run <module file> <record file>
 *   module_driver compare <record A> <record B>
 *
 * compare prints how many cases differ, then, where case names start with
 * "<group>: " (the helper's operations), the cases and the output values
 * that differ in each group.
 *
 * The cases follow from the module's file name (Lantrel.so, Lantrel.mexw64,
 * private/lantrelops.so).
 * Each call goes through the harness of cases.h, which checks what no host
 * tolerates; the driver exits 1 when any case shows a fault it was not
 * built to show. */
#include "cases.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char magic[] = "MODREC2\n";

/* ---- the record file ---- */

void putU32(std::vector<unsigned char> &out, uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        out.push_back(static_cast<unsigned char>(v >> (8 * k)));
}

void putU64(std::vector<unsigned char> &out, uint64_t v)
{
    for (int k = 0; k < 8; ++k)
        out.push_back(static_cast<unsigned char>(v >> (8 * k)));
}

void putStr(std::vector<unsigned char> &out, const char *s)
{
    size_t n = strlen(s);
    putU32(out, static_cast<uint32_t>(n));
    out.insert(out.end(), s, s + n);
}

/* n elements of `size` bytes each, little-endian whatever the machine. */
void putElements(std::vector<unsigned char> &out, const void *v, size_t n, size_t size)
{
    const unsigned char *p = static_cast<const unsigned char *>(v);
    for (size_t k = 0; k < n; ++k) {
        uint64_t u = 0;
        for (size_t b = 0; b < size; ++b)
            u |= static_cast<uint64_t>(p[k * size + b]) << (8 * b);
        for (size_t b = 0; b < size; ++b)
            out.push_back(static_cast<unsigned char>(u >> (8 * b)));
    }
}

struct Reader {
    const std::vector<unsigned char> &in;
    size_t at;
    bool bad;
    bool need(size_t n)
    {
        if (in.size() - at < n)
            bad = true;
        return !bad;
    }
    uint64_t get(int bytes)
    {
        uint64_t v = 0;
        if (!need(static_cast<size_t>(bytes)))
            return 0;
        for (int k = 0; k < bytes; ++k)
            v |= static_cast<uint64_t>(in[at + k]) << (8 * k);
        at += static_cast<size_t>(bytes);
        return v;
    }
    std::string str()
    {
        size_t n = static_cast<size_t>(get(4));
        if (!need(n))
            return std::string();
        std::string s(in.begin() + static_cast<long>(at), in.begin() + static_cast<long>(at + n));
        at += n;
        return s;
    }
};

/* Where one output's elements lie in a case's body. */
struct ValueSpan {
    size_t at, count, size;
};

/* One case's record: its name, everything else as raw bytes, and where in
 * those its output values lie. */
struct CaseRecord {
    std::string name;
    std::vector<unsigned char> body;
    std::vector<ValueSpan> values;
};

bool readRecords(const char *path, std::vector<CaseRecord> &cases, std::string &why)
{
    FILE *f = fopen(path, "rb");
    if (!f) {
        why = std::string("cannot open ") + path;
        return false;
    }
    std::vector<unsigned char> in;
    unsigned char buf[65536];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, f)) > 0)
        in.insert(in.end(), buf, buf + got);
    fclose(f);
    Reader r{in, 0, false};
    if (in.size() < sizeof magic - 1 || memcmp(in.data(), magic, sizeof magic - 1) != 0) {
        why = std::string(path) + " is not a record file";
        return false;
    }
    r.at = sizeof magic - 1;
    uint32_t count = static_cast<uint32_t>(r.get(4));
    for (uint32_t c = 0; c < count && !r.bad; ++c) {
        CaseRecord rec;
        rec.name = r.str();
        size_t start = r.at;
        r.get(4);               /* raised */
        r.str();                /* id */
        r.str();                /* text */
        r.get(4);               /* faults */
        uint32_t nout = static_cast<uint32_t>(r.get(4));
        for (uint32_t k = 0; k < nout && !r.bad; ++k) {
            if (!r.get(4)) /* present */
                continue;
            r.get(4); /* class */
            uint32_t complexFlag = static_cast<uint32_t>(r.get(4));
            uint32_t ndim = static_cast<uint32_t>(r.get(4));
            for (uint32_t d = 0; d < ndim; ++d)
                r.get(4);
            uint64_t numel = r.get(8);
            uint64_t size = r.get(4);
            uint64_t count = numel * (complexFlag ? 2 : 1);
            if (numel > in.size() || size > 8 || !r.need(static_cast<size_t>(count * size)))
                break;
            rec.values.push_back({r.at - start, static_cast<size_t>(count), static_cast<size_t>(size)});
            r.at += static_cast<size_t>(count * size);
        }
        if (!r.bad)
            rec.body.assign(in.begin() + static_cast<long>(start), in.begin() + static_cast<long>(r.at));
        cases.push_back(rec);
    }
    if (r.bad || r.at != in.size()) {
        why = std::string(path) + " is truncated or malformed";
        return false;
    }
    return true;
}

int compareRecords(const char *pathA, const char *pathB)
{
    std::vector<CaseRecord> a, b;
    std::string why;
    if (!readRecords(pathA, a, why) || !readRecords(pathB, b, why)) {
        fprintf(stderr, "compare: %s\n", why.c_str());
        return 2;
    }
    if (a.size() != b.size()) {
        printf("compare: %zu cases in %s, %zu in %s\n", a.size(), pathA, b.size(), pathB);
        return 1;
    }
    struct Group {
        std::string name;
        size_t cases, casesDiffer, values, valuesDiffer;
    };
    std::vector<Group> groups;
    std::string lines;
    int differ = 0;
    char line[512];
    for (size_t k = 0; k < a.size(); ++k) {
        const size_t colon = a[k].name.find(": ");
        const std::string group = colon == std::string::npos ? "" : a[k].name.substr(0, colon);
        size_t g = 0;
        while (g < groups.size() && groups[g].name != group)
            ++g;
        if (g == groups.size())
            groups.push_back({group, 0, 0, 0, 0});
        Group &in = groups[g];
        ++in.cases;
        for (const ValueSpan &v : a[k].values)
            in.values += v.count;
        if (a[k].name != b[k].name) {
            snprintf(line, sizeof line, "case %zu: '%s' vs '%s'\n", k + 1, a[k].name.c_str(), b[k].name.c_str());
        } else if (a[k].body != b[k].body) {
            size_t at = 0;
            while (at < a[k].body.size() && at < b[k].body.size() && a[k].body[at] == b[k].body[at])
                ++at;
            /* Values are counted where the two records lay them out alike. */
            size_t values = 0;
            bool alike = a[k].values.size() == b[k].values.size();
            for (size_t o = 0; alike && o < a[k].values.size(); ++o) {
                const ValueSpan &x = a[k].values[o], &y = b[k].values[o];
                alike = x.at == y.at && x.count == y.count && x.size == y.size;
                for (size_t e = 0; alike && e < x.count; ++e)
                    values += memcmp(&a[k].body[x.at + e * x.size], &b[k].body[y.at + e * y.size], x.size) != 0;
            }
            if (alike)
                snprintf(line, sizeof line, "case '%s' differs (first at byte %zu of its record; %zu values)\n",
                         a[k].name.c_str(), at, values);
            else
                snprintf(line, sizeof line, "case '%s' differs (first at byte %zu of its record; outputs unalike)\n",
                         a[k].name.c_str(), at);
            in.valuesDiffer += values;
        } else {
            continue;
        }
        lines += line;
        ++in.casesDiffer;
        ++differ;
    }
    printf("%zu cases compared bit for bit, %d differ\n", a.size(), differ);
    for (const Group &g : groups)
        if (!g.name.empty())
            printf("  %s: %zu cases, %zu differ; %zu of %zu values differ\n", g.name.c_str(), g.cases, g.casesDiffer,
                   g.valuesDiffer, g.values);
    fputs(lines.c_str(), stdout);
    return differ ? 1 : 0;
}

/* ---- running the cases ---- */

/* Writes one case's outcome: error, faults seen during the call, outputs. */
void record(const DriverCase &c, const CallResult &r, std::vector<unsigned char> &out)
{
    putStr(out, c.name.c_str());
    putU32(out, static_cast<uint32_t>(r.report.raised));
    putStr(out, r.report.id);
    putStr(out, r.report.text);
    putU32(out, r.faults & ~static_cast<unsigned>(FAULT_MEMORY_HELD)); /* not counted on every platform */
    putU32(out, static_cast<uint32_t>(r.room));
    for (int k = 0; k < r.room; ++k) {
        const mxArray *a = r.out[k];
        putU32(out, a ? 1 : 0);
        if (!a)
            continue;
        const void *im = standinData(a, 1);
        const size_t n = mxGetNumberOfElements(a), size = standinElementSize(standinClass(a));
        putU32(out, static_cast<uint32_t>(standinClass(a)));
        putU32(out, im ? 1 : 0);
        putU32(out, static_cast<uint32_t>(mxGetNumberOfDimensions(a)));
        for (int d = 0; d < mxGetNumberOfDimensions(a); ++d)
            putU32(out, static_cast<uint32_t>(mxGetDimensions(a)[d]));
        putU64(out, n);
        putU32(out, static_cast<uint32_t>(size));
        putElements(out, standinData(a, 0), n, size);
        if (im)
            putElements(out, im, n, size);
    }
}

/* The module's name: its file name without folders and extension. */
std::string moduleName(const char *path)
{
    std::string s(path);
    size_t slash = s.find_last_of("/\\");
    if (slash != std::string::npos)
        s = s.substr(slash + 1);
    size_t dot = s.find('.');
    return dot == std::string::npos ? s : s.substr(0, dot);
}

int runModule(const char *modulePath, const char *recordPath)
{
    const std::string name = moduleName(modulePath);
    std::vector<DriverCase> all, cases;
    if (!casesFor(name, all)) {
        fprintf(stderr, "run: no cases for a module named '%s'\n", name.c_str());
        return 2;
    }
    for (const DriverCase &c : all)
        if (!(c.flags & CASE_LOCAL))
            cases.push_back(c);
    char why[512];
    MexFunction fn = standinLoadModule(modulePath, why, sizeof why);
    if (!fn) {
        fprintf(stderr, "run: %s\n", why);
        return 2;
    }
    std::vector<unsigned char> out(magic, magic + sizeof magic - 1);
    putU32(out, static_cast<uint32_t>(cases.size()));
    int unexpected = 0, raised = 0;
    for (const DriverCase &c : cases) {
        unsigned faults = runCase(fn, name, c, [&](const CallResult &r) { record(c, r, out); });
        raised += c.expectId != nullptr;
        if (faults != c.expectFaults) {
            ++unexpected;
            if (faults & ~c.expectFaults)
                printf("FAULT %s: %s\n", c.name.c_str(), faultWords(faults & ~c.expectFaults).c_str());
            if (c.expectFaults & ~faults)
                printf("FAULT %s: not seen: %s\n", c.name.c_str(), faultWords(c.expectFaults & ~faults).c_str());
        }
    }
    FILE *f = fopen(recordPath, "wb");
    bool written = f && fwrite(out.data(), 1, out.size(), f) == out.size();
    if (f && fclose(f) != 0)
        written = false;
    if (!written) {
        fprintf(stderr, "run: cannot write %s\n", recordPath);
        return 2;
    }
    printf("%s: %d cases (%d raising errors), %d with unexpected faults; %d more run by unit_tests only\n",
           name.c_str(), static_cast<int>(cases.size()), raised, unexpected, static_cast<int>(all.size() - cases.size()));
    return unexpected ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && strcmp(argv[1], "run") == 0)
        return runModule(argv[2], argv[3]);
    if (argc == 4 && strcmp(argv[1], "compare") == 0)
        return compareRecords(argv[2], argv[3]);
    fprintf(stderr, "usage: module_driver run <module> <record> | compare <record> <record>\n");
    return 2;
}
