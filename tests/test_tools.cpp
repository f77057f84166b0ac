/* The command-line tools, run as a user runs them, and the image maths and
 * PNG code they are built on. */
#include "imageops.h"
#include "pngio.h"
#include "toolkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

struct ToolRun {
    int status;
    std::string out, err;
};

std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

/* A scratch folder per test, removed afterwards. */
class ToolTest : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override
    {
        char tmpl[] = "/tmp/tooltest.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    /* `shell` runs first in the same shell, to set limits. */
    ToolRun run(const std::string &tool, const std::string &args, const std::string &shell = "")
    {
        const std::string cmd =
            "cd '" + dir + "' && " + shell + " '" + tool + "' " + args + " >stdout.txt 2>stderr.txt";
        ToolRun r;
        int raw = system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = slurp(dir + "/stdout.txt");
        r.err = slurp(dir + "/stderr.txt");
        unlink((dir + "/stdout.txt").c_str());
        unlink((dir + "/stderr.txt").c_str());
        return r;
    }
    /* A usage error: exit status 2 and `text` in the message. */
    ToolRun usageError(const std::string &tool, const std::string &args, const std::string &text)
    {
        ToolRun r = run(tool, args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
        return r;
    }
    std::vector<std::string> files(const std::string &sub) const
    {
        std::vector<std::string> names;
        if (DIR *d = opendir((dir + "/" + sub).c_str())) {
            while (dirent *e = readdir(d))
                if (e->d_name[0] != '.')
                    names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }
    void writeFile(const std::string &name, const std::string &bytes)
    {
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
    }
};

/* Noise around a bright square, on every channel; alpha is a ramp. */
PngImage testImage(int width, int height, int channels, int depth, unsigned seed)
{
    std::mt19937 rng(seed);
    PngImage img;
    img.width = width;
    img.height = height;
    img.channels = channels;
    img.depth = depth;
    const int top = depth == 16 ? 65535 : 255;
    std::uniform_int_distribution<int> noise(-top / 8, top / 8);
    for (int i = 0; i < height; ++i)
        for (int j = 0; j < width; ++j)
            for (int k = 0; k < channels; ++k) {
                const bool alpha = k == channels - 1 && (channels == 2 || channels == 4);
                int v = alpha ? (i * top) / (height - 1)
                              : (i > height / 4 && i < height / 2 && j > width / 4 ? top * 3 / 4 : top / 4) + noise(rng);
                img.samples.push_back(static_cast<uint16_t>(std::min(std::max(v, 0), top)));
            }
    return img;
}

/* A valid 8-bit grey PNG of zeros, written a row at a time: large images
 * in small files, made quickly. With `headerOnly` its data stops after the
 * header (the size is all a reader sees before it allocates). */
void blankPng(const std::string &path, unsigned width, unsigned height, bool headerOnly = false)
{
    std::string idat;
    z_stream z{};
    ASSERT_EQ(deflateInit(&z, 1), Z_OK);
    std::vector<unsigned char> row(headerOnly ? 1 : width + 1, 0), buf(1 << 16);
    const unsigned rows = headerOnly ? 0 : height;
    for (unsigned i = 0; i <= rows; ++i) {
        z.next_in = row.data();
        z.avail_in = i < rows ? static_cast<uInt>(row.size()) : 0;
        do {
            z.next_out = buf.data();
            z.avail_out = static_cast<uInt>(buf.size());
            deflate(&z, i < rows ? Z_NO_FLUSH : Z_FINISH);
            idat.append(reinterpret_cast<char *>(buf.data()), buf.size() - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    auto be32 = [](unsigned v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    };
    auto chunk = [&](const std::string &type, const std::string &data) {
        const std::string body = type + data;
        return be32(static_cast<unsigned>(data.size())) + body +
               be32(static_cast<unsigned>(crc32(0, reinterpret_cast<const Bytef *>(body.data()),
                                                static_cast<uInt>(body.size()))));
    };
    const std::string ihdr = be32(width) + be32(height) + std::string("\x08\x00\x00\x00\x00", 5);
    std::ofstream(path, std::ios::binary) << std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) +
                                                 chunk("IDAT", idat) + chunk("IEND", "");
}

/* Sample variance of channel k over the pixels of the top-left quarter,
 * which holds noise on a flat background. */
double flatVariance(const PngImage &img, int k)
{
    double s = 0, s2 = 0;
    int n = 0;
    for (int i = 0; i < img.height / 4; ++i)
        for (int j = 0; j < img.width / 4; ++j, ++n) {
            const double v = img.samples[(static_cast<size_t>(i) * img.width + j) * img.channels + k];
            s += v;
            s2 += v * v;
        }
    return s2 / n - (s / n) * (s / n);
}

} // namespace

TEST(Png, WritesAndReadsEveryLayoutExactly)
{
    char tmpl[] = "/tmp/pngtest.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string path = std::string(tmpl) + "/x.png";
    for (int depth : {8, 16})
        for (int channels = 1; channels <= 4; ++channels) {
            const PngImage img = testImage(13, 7, channels, depth, 5);
            std::string why;
            ASSERT_TRUE(writePng(path, img, &why)) << why;
            PngImage back;
            ASSERT_TRUE(readPng(path, &back, &why)) << why;
            EXPECT_EQ(back.width, 13);
            EXPECT_EQ(back.height, 7);
            EXPECT_EQ(back.channels, channels);
            EXPECT_EQ(back.depth, depth);
            EXPECT_EQ(back.samples, img.samples) << depth << "-bit, " << channels << " channels";
        }
    unlink(path.c_str());
    rmdir(tmpl);
}

TEST(ImageOps, StraightLineTableStaysWithinEachStep)
{
    const std::vector<double> t = straightLineTable();
    ASSERT_EQ(t.size(), 80u * 722u);
    auto dx = [&](int d, int p) { return t[p + 80 * d]; };
    auto dy = [&](int d, int p) { return t[p + 80 * (361 + d)]; };
    for (int p = 0; p < 80; ++p) {
        EXPECT_EQ(dx(0, p), p + 1);
        EXPECT_EQ(dy(0, p), 0);
        EXPECT_EQ(dx(90, p), 0);
        EXPECT_EQ(dy(90, p), p + 1);
        EXPECT_EQ(dx(180, p), -(p + 1));
        EXPECT_EQ(dx(45, p), dy(45, p));
        EXPECT_EQ(dx(360, p), dx(0, p));
        EXPECT_EQ(dy(360, p), dy(0, p));
        for (int d = 0; d <= 360; ++d) {
            ASSERT_LE(std::fabs(dx(d, p)), p + 1) << d;
            ASSERT_LE(std::fabs(dy(d, p)), p + 1) << d;
        }
    }
}

TEST(ImageOps, DirectionsFollowTheGradientOrTheEdge)
{
    const int m = 6, n = 7;
    std::vector<double> right(m * n), down(m * n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) {
            right[i + m * j] = 0.1 * j;
            down[i + m * j] = 0.1 * i;
        }
    for (double d : gradientDirections(right, m, n, 0.0))
        EXPECT_EQ(d, 0.0);
    for (double d : gradientDirections(down, m, n, 0.0))
        EXPECT_EQ(d, 90.0);
    for (double d : gradientDirections(down, m, n, 90.0))
        EXPECT_EQ(d, 180.0);
    std::vector<double> up(down);
    for (double &v : up)
        v = -v;
    for (double d : gradientDirections(up, m, n, 0.0))
        EXPECT_EQ(d, 270.0); /* -90 wraps into 0..359 */
    /* A gradient of rounding-noise size has no direction: 0. */
    for (double &v : up)
        v *= 1e-11;
    for (double d : gradientDirections(up, m, n, 0.0))
        EXPECT_EQ(d, 0.0);
    for (double &v : up)
        v *= 1e3;
    for (double d : gradientDirections(up, m, n, 0.0))
        EXPECT_EQ(d, 270.0);
    up[m * 3 + 2] = NAN;
    EXPECT_EQ(gradientDirections(up, m, n, 0.0)[m * 3 + 1], 0.0);
}

TEST(ImageOps, EdgeWeightsFallAcrossAStepOnAnyPlane)
{
    const int m = 3, n = 4;
    /* plane 0 flat, plane 1 steps by 0.5 between columns 1 and 2 */
    std::vector<double> planes(2 * m * n, 0.2);
    for (int i = 0; i < m; ++i)
        for (int j = 2; j < n; ++j)
            planes[m * n + i + m * j] = 0.7;
    const std::vector<double> w = edgeWeights(planes, m, n, 2, 0.25);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j)
            EXPECT_DOUBLE_EQ(w[i + m * j], j == 1 ? std::exp(-2.0) : 1.0) << i << "," << j;
    EXPECT_EQ(edgeWeights(std::vector<double>(m * n, 0.2), m, n, 1, 0.25), std::vector<double>(m * n, 1.0));
}

TEST(ImageOps, ColourPlanesRoundTripAndKeepAlpha)
{
    PngImage img = testImage(9, 5, 4, 16, 3);
    const PngImage before = img;
    std::vector<double> planes = colourPlanes(img);
    ASSERT_EQ(planes.size(), 9u * 5u * 3u);
    for (double &v : planes)
        v = 1.0 - v;
    storeColourPlanes(planes, &img);
    for (size_t k = 0; k < img.samples.size(); ++k)
        EXPECT_EQ(img.samples[k], k % 4 == 3 ? before.samples[k] : 65535 - before.samples[k]) << k;
}

TEST(ImageOps, OutputNames)
{
    EXPECT_EQ(outputName("a/b/photo.png", "", "_smoothed"), "a/b/photo_smoothed.png");
    EXPECT_EQ(outputName("photo.PNG", "out/", "_x"), "out/photo_x.png");
    EXPECT_EQ(outputName("dir.v2/scan", "o", "_x"), "o/scan_x.png");
    EXPECT_EQ(outputName(".hidden", "", "_x"), ".hidden_x.png");
}

TEST_F(ToolTest, HelpExplainsUsageAndTheFormulas)
{
    ToolRun r = run(LANTREL_TOOL, "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage: lantrel"), std::string::npos);
    EXPECT_NE(r.out.find("w = exp(-g / SIGMA)"), std::string::npos);
    EXPECT_NE(r.out.find("--weights"), std::string::npos);
    r = run(OSTRAVE_TOOL, "-h");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage: ostrave"), std::string::npos);
    EXPECT_NE(r.out.find("atan2(gy, gx)"), std::string::npos);
}

TEST_F(ToolTest, BadUsageNamesTheProblem)
{
    usageError(LANTREL_TOOL, "", "no input image given");
    usageError(LANTREL_TOOL, "--sigma -1 x.png", "--sigma needs a number > 0, not '-1'");
    usageError(OSTRAVE_TOOL, "--half-length 80 x.png", "--half-length");
    usageError(OSTRAVE_TOOL, "--frobnicate x.png", "unknown option --frobnicate");
}

TEST_F(ToolTest, BadInputsAreNamedAndLeaveNoOutput)
{
    std::string why;
    ASSERT_TRUE(writePng(dir + "/good.png", testImage(20, 16, 1, 8, 1), &why)) << why;
    writeFile("text.png", "this is not an image\n");
    writeFile("short.png", slurp(dir + "/good.png").substr(0, 60));
    ToolRun r = run(LANTREL_TOOL, "-o out missing.png text.png short.png good.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("lantrel: missing.png: no such file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("lantrel: text.png: not a PNG file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("lantrel: short.png: unreadable PNG"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("3 of 4 images failed"), std::string::npos) << r.err;
    /* the good one is still done, with a progress line */
    EXPECT_EQ(files("out"), std::vector<std::string>{"good_smoothed.png"});
    EXPECT_NE(r.out.find("[4/4] good.png -> out/good_smoothed.png"), std::string::npos) << r.out;

    /* two inputs of the same name would write the same output */
    ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0777), 0);
    ASSERT_TRUE(writePng(dir + "/sub/good.png", testImage(20, 16, 1, 8, 2), &why)) << why;
    r = run(LANTREL_TOOL, "-o same good.png sub/good.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("sub/good.png: skipped: an earlier input already wrote same/good_smoothed.png"),
              std::string::npos)
        << r.err;

    /* the same output spelt differently (good.PNG is another file) */
    writeFile("good.PNG", slurp(dir + "/good.png"));
    r = run(LANTREL_TOOL, "good.png ./good.PNG");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("./good.PNG: skipped: an earlier input already wrote ./good_smoothed.png"), std::string::npos)
        << r.err;

    /* an earlier input of that name that failed wrote nothing: the next one is done */
    ASSERT_TRUE(writePng(dir + "/sub/text.png", testImage(20, 16, 1, 8, 3), &why)) << why;
    r = run(LANTREL_TOOL, "-o same2 text.png sub/text.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.find("skipped"), std::string::npos) << r.err;
    EXPECT_EQ(files("same2"), std::vector<std::string>{"text_smoothed.png"});

    r = run(OSTRAVE_TOOL, "-o out2 text.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ostrave: text.png: not a PNG file"), std::string::npos) << r.err;
    EXPECT_TRUE(files("out2").empty());
}

TEST_F(ToolTest, AnOutputThatIsAnInputIsRefusedBeforeAnythingIsWritten)
{
    ASSERT_EQ(mkdir((dir + "/s").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((dir + "/d").c_str(), 0777), 0);
    const std::string names[] = {"s/a.png", "s/a_smoothed.png", "a.png", "a_net_change.png"};
    std::string why, before[4];
    for (int k = 0; k < 4; ++k) {
        ASSERT_TRUE(writePng(dir + "/" + names[k], testImage(20, 16, 1, 8, 20 + k), &why)) << why;
        before[k] = slurp(dir + "/" + names[k]);
    }
    ASSERT_EQ(symlink("a_net_change.png", (dir + "/soft.png").c_str()), 0);
    ASSERT_EQ(link((dir + "/a_net_change.png").c_str(), (dir + "/hard.png").c_str()), 0);
    std::vector<std::string> top = files("."), sub = files("s");
    std::sort(top.begin(), top.end());
    struct Case {
        const char *tool, *args, *clash;
    };
    const Case cases[] = {
        {LANTREL_TOOL, "s/a.png s/a_smoothed.png", "s/a_smoothed.png of s/a.png is the input s/a_smoothed.png"},
        /* the output folder does not exist yet, and is not made */
        {LANTREL_TOOL, "-o new/../s s/a.png s/a_smoothed.png",
         "new/../s/a_smoothed.png of s/a.png is the input s/a_smoothed.png"},
        {LANTREL_TOOL, "-w s/a_smoothed.png s/a.png", "s/a_smoothed.png of s/a.png is the input s/a_smoothed.png"},
        {OSTRAVE_TOOL, "a.png a_net_change.png", "a_net_change.png of a.png is the input a_net_change.png"},
        {OSTRAVE_TOOL, "a.png ./a_net_change.png", "a_net_change.png of a.png is the input ./a_net_change.png"},
        {OSTRAVE_TOOL, "a.png d/../a_net_change.png", "a_net_change.png of a.png is the input d/../a_net_change.png"},
        {OSTRAVE_TOOL, "a.png soft.png", "a_net_change.png of a.png is the input soft.png"},
        {OSTRAVE_TOOL, "hard.png a.png", "a_net_change.png of a.png is the input hard.png"},
    };
    for (const Case &c : cases) {
        ToolRun r = usageError(c.tool, c.args, std::string("the output ") + c.clash + ": nothing was written");
        EXPECT_TRUE(r.out.empty()) << c.args;
        for (int k = 0; k < 4; ++k)
            ASSERT_TRUE(slurp(dir + "/" + names[k]) == before[k]) << c.args << ": " << names[k] << " changed";
        std::vector<std::string> now = files(".");
        std::sort(now.begin(), now.end());
        ASSERT_EQ(now, top) << c.args;
        ASSERT_EQ(files("s").size(), sub.size()) << c.args;
    }
}

TEST_F(ToolTest, AFailedWriteLeavesNoPartialFile)
{
    std::string why;
    ASSERT_TRUE(writePng(dir + "/in.png", testImage(20, 16, 3, 8, 2), &why)) << why;
    /* a folder where the output should go: the final rename must fail */
    ASSERT_EQ(mkdir((dir + "/out").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((dir + "/out/in_smoothed.png").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((dir + "/out/in_smoothed.png/keep").c_str(), 0777), 0);
    ToolRun r = run(LANTREL_TOOL, "-o out in.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("lantrel: out/in_smoothed.png: cannot write"), std::string::npos) << r.err;
    EXPECT_EQ(files("out"), std::vector<std::string>{"in_smoothed.png"});
    /* ostrave writes both of its outputs or neither */
    ASSERT_EQ(mkdir((dir + "/out/in_total_variation.png").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((dir + "/out/in_total_variation.png/keep").c_str(), 0777), 0);
    r = run(OSTRAVE_TOOL, "-o out in.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("out/in_total_variation.png: cannot write"), std::string::npos) << r.err;
    std::vector<std::string> left = files("out");
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"in_smoothed.png", "in_total_variation.png"}));

    /* The disk fills up halfway through the file (a 4 KiB file size limit,
     * with the signal it raises ignored so the write fails instead). */
    ASSERT_TRUE(writePng(dir + "/big.png", testImage(200, 150, 3, 16, 4), &why)) << why;
    r = run(LANTREL_TOOL, "-o full big.png", "trap '' XFSZ; ulimit -f 4;");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("lantrel: full/big_smoothed.png: cannot write: File too large"), std::string::npos) << r.err;
    EXPECT_TRUE(files("full").empty());

    /* The same limit, its signal not ignored: the tool is killed midway,
     * and still removes what it had written. */
    r = run(LANTREL_TOOL, "-o killed big.png", "ulimit -f 4;");
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(files("killed").empty());
}

TEST_F(ToolTest, TheLongestLegalOutputNamesAreWritten)
{
    /* 235 + "_total_variation.png" is 255 bytes, the most a name may hold;
     * the temporary name must not push it over. */
    const std::string stem(235, 'n');
    std::string why;
    ASSERT_TRUE(writePng(dir + "/" + stem + ".png", testImage(20, 16, 1, 8, 5), &why)) << why;
    ToolRun r = run(LANTREL_TOOL, "-q -o out " + stem + ".png");
    EXPECT_EQ(r.status, 0) << r.err;
    r = run(OSTRAVE_TOOL, "-q -o out " + stem + ".png");
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> written = files("out");
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{stem + "_net_change.png", stem + "_smoothed.png",
                                                 stem + "_total_variation.png"}));
}

TEST_F(ToolTest, HugeImagesAreRefusedOrFailAlone)
{
    /* 64 million pixels in a 70 KB file: more than the default limit. */
    blankPng(dir + "/huge.png", 8000, 8000);
    std::string why;
    ASSERT_TRUE(writePng(dir + "/small.png", testImage(20, 16, 1, 8, 6), &why)) << why;
    ToolRun r = run(LANTREL_TOOL, "-q -o out huge.png small.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("lantrel: huge.png: too large: 8000x8000 is 64000000 pixels, more than the limit of 50000000 "
                         "(raise it with --max-pixels)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(files("out"), std::vector<std::string>{"small_smoothed.png"});
    r = run(OSTRAVE_TOOL, "-q --max-pixels 100 -o out2 small.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ostrave: small.png: too large: 20x16 is 320 pixels, more than the limit of 100"),
              std::string::npos)
        << r.err;
#ifndef __SANITIZE_ADDRESS__ /* which cannot run under a memory limit */
    /* Allowed, but more than the memory there is: that file alone fails,
     * as out of memory, not as a bad file (the widest row alone is 2 GB). */
    blankPng(dir + "/widest.png", 0x7fffffff, 1, true);
    r = run(LANTREL_TOOL, "-q --max-pixels 1e10 -o out3 huge.png widest.png small.png", "ulimit -v 500000;");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("lantrel: huge.png: out of memory"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("lantrel: widest.png: out of memory"), std::string::npos) << r.err;
    EXPECT_EQ(files("out3"), std::vector<std::string>{"small_smoothed.png"});
#endif
}

TEST_F(ToolTest, SidesUpToTheFormatsLimitAreLimitedOnlyByThePixelCount)
{
    std::string why;
    ASSERT_TRUE(writePng(dir + "/wide.png", testImage(65535, 1, 1, 8, 30), &why)) << why;
    ASSERT_TRUE(writePng(dir + "/tall.png", testImage(1, 65535, 1, 8, 31), &why)) << why;
    ToolRun r = run(LANTREL_TOOL, "-q -o o wide.png tall.png");
    EXPECT_EQ(r.status, 0) << r.err;
    r = run(OSTRAVE_TOOL, "-q -o o wide.png tall.png");
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char *name : {"wide_smoothed", "wide_net_change", "tall_smoothed", "tall_total_variation"}) {
        PngImage out;
        ASSERT_TRUE(readPng(dir + "/o/" + name + ".png", &out, &why)) << name << ": " << why;
        EXPECT_EQ(static_cast<long long>(out.width) * out.height, 65535) << name;
        EXPECT_EQ(out.width, name[0] == 'w' ? 65535 : 1) << name;
    }
    /* Past libpng's own default limit of a million, both ways. */
    const PngImage wider = testImage(1100000, 1, 1, 8, 32);
    ASSERT_TRUE(writePng(dir + "/wider.png", wider, &why)) << why;
    PngImage back;
    ASSERT_TRUE(readPng(dir + "/wider.png", &back, &why)) << why;
    EXPECT_EQ(back.samples, wider.samples);
    /* The widest side there is, refused by the pixel count alone. */
    blankPng(dir + "/widest.png", 0x7fffffff, 1, true);
    r = run(OSTRAVE_TOOL, "-q widest.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ostrave: widest.png: too large: 2147483647x1 is 2147483647 pixels, more than the limit of "
                         "50000000 (raise it with --max-pixels)"),
              std::string::npos)
        << r.err;
}

TEST_F(ToolTest, OptionsThatLoseTheImageAreRefusedBeforeAnyFile)
{
    /* A round's strength above 1e10 (the first here, then the second);
     * none of them reads its (missing) input. */
    ToolRun r = usageError(LANTREL_TOOL, "--lambda 1e20 missing.png", "the strength of round 1 would be 5e+19");
    EXPECT_EQ(r.err.find("missing.png"), std::string::npos) << r.err;
    usageError(LANTREL_TOOL, "--lambda 20 --attenuation 1e-300 missing.png", "the strength of round 2 would be 1e+301");
    usageError(LANTREL_TOOL, "--iterations 2.5 missing.png", "--iterations needs a whole number");
    /* The limit itself is allowed. */
    std::string why;
    ASSERT_TRUE(writePng(dir + "/in.png", testImage(20, 16, 1, 8, 7), &why)) << why;
    r = run(LANTREL_TOOL, "-q --lambda 2e10 --attenuation 1 in.png");
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(ToolTest, SmoothsEveryDepthAndLayoutKeepingItsShape)
{
    struct Case {
        int channels, depth;
    };
    std::string names;
    const Case cases[] = {{1, 8}, {1, 16}, {3, 8}, {3, 16}, {2, 8}, {4, 16}};
    for (const Case &c : cases) {
        const std::string name = "in" + std::to_string(c.channels) + "_" + std::to_string(c.depth) + ".png";
        std::string why;
        ASSERT_TRUE(writePng(dir + "/" + name, testImage(40, 24, c.channels, c.depth, 7), &why)) << why;
        names += " " + name;
    }
    /* The images' noise (sd 0.07) is heavier than a photo's: the defaults
     * (sigma 0.03) would keep it as edges. */
    ToolRun r = run(LANTREL_TOOL, "-o res --sigma 0.1 --lambda 20" + names);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const Case &c : cases) {
        const std::string stem = "in" + std::to_string(c.channels) + "_" + std::to_string(c.depth);
        PngImage in, out;
        std::string why;
        ASSERT_TRUE(readPng(dir + "/" + stem + ".png", &in, &why)) << why;
        ASSERT_TRUE(readPng(dir + "/res/" + stem + "_smoothed.png", &out, &why)) << why;
        EXPECT_EQ(out.width, 40);
        EXPECT_EQ(out.height, 24);
        EXPECT_EQ(out.channels, c.channels);
        EXPECT_EQ(out.depth, c.depth);
        const int colours = c.channels >= 3 ? 3 : 1;
        for (int k = 0; k < colours; ++k)
            EXPECT_LT(flatVariance(out, k), 0.2 * flatVariance(in, k)) << stem << " channel " << k;
        if (c.channels == 2 || c.channels == 4) {
            for (size_t s = c.channels - 1; s < in.samples.size(); s += c.channels)
                ASSERT_EQ(out.samples[s], in.samples[s]) << stem << ": alpha changed";
        }
    }
}

TEST_F(ToolTest, WeightMapFromAFileAndItsSizeChecked)
{
    std::string why;
    const PngImage img = testImage(30, 20, 1, 8, 9);
    ASSERT_TRUE(writePng(dir + "/in.png", img, &why)) << why;
    PngImage black = img;
    std::fill(black.samples.begin(), black.samples.end(), 0);
    ASSERT_TRUE(writePng(dir + "/black.png", black, &why)) << why;
    PngImage small = testImage(10, 10, 1, 8, 9);
    ASSERT_TRUE(writePng(dir + "/small.png", small, &why)) << why;
    /* zero weights couple nothing: the image comes back as it was */
    ToolRun r = run(LANTREL_TOOL, "-q -w black.png -o o in.png");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    PngImage out;
    ASSERT_TRUE(readPng(dir + "/o/in_smoothed.png", &out, &why)) << why;
    EXPECT_EQ(out.samples, img.samples);
    r = run(LANTREL_TOOL, "-w small.png -o o2 in.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the weight map small.png is 10x10, the image 30x20"), std::string::npos) << r.err;
    r = run(LANTREL_TOOL, "-w nothere.png in.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("lantrel: nothere.png: no such file"), std::string::npos) << r.err;
}

TEST_F(ToolTest, PathVariationImagesMarkTheStepOnly)
{
    /* a vertical step between columns 14 and 15, 16-bit colour */
    PngImage img;
    img.width = 30;
    img.height = 20;
    img.channels = 3;
    img.depth = 16;
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 30; ++j)
            for (int k = 0; k < 3; ++k)
                img.samples.push_back(j < 15 ? 10000 : 50000);
    std::string why;
    ASSERT_TRUE(writePng(dir + "/step.png", img, &why)) << why;
    ToolRun r = run(OSTRAVE_TOOL, "--half-length 3 step.png");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("[1/1] step.png -> step_net_change.png, step_total_variation.png"), std::string::npos)
        << r.out;
    for (const char *name : {"step_net_change.png", "step_total_variation.png"}) {
        PngImage out;
        ASSERT_TRUE(readPng(dir + "/" + name, &out, &why)) << why;
        ASSERT_EQ(out.width, 30);
        ASSERT_EQ(out.height, 20);
        ASSERT_EQ(out.channels, 1);
        ASSERT_EQ(out.depth, 16);
        for (int i = 0; i < 20; ++i)
            for (int j = 0; j < 30; ++j) {
                /* flat and step alike have direction 0 here, so the path
                 * runs from 3 columns back to 4 ahead */
                const bool nearStep = j >= 15 - 4 && j <= 14 + 3;
                const uint16_t v = out.samples[static_cast<size_t>(i) * 30 + j];
                if (nearStep)
                    ASSERT_GT(v, 0) << name << " " << i << "," << j;
                else
                    ASSERT_EQ(v, 0) << name << " " << i << "," << j;
            }
        /* the full step, 40000 / 65535 of the range, is the maximum: white */
        EXPECT_EQ(*std::max_element(out.samples.begin(), out.samples.end()), 65535);
    }
}

namespace {

/* Mean and variance of rows [r0, r1) x columns [c0, c1) of a grey image. */
void patchStats(const PngImage &img, int r0, int r1, int c0, int c1, double *mean, double *var)
{
    double s = 0, s2 = 0;
    int n = 0;
    for (int i = r0; i < r1; ++i)
        for (int j = c0; j < c1; ++j, ++n) {
            const double v = img.samples[static_cast<size_t>(i) * img.width + j];
            s += v;
            s2 += v * v;
        }
    *mean = s / n;
    *var = s2 / n - *mean * *mean;
}

} // namespace

TEST_F(ToolTest, DemoShowsSmoothedNoiseKeptEdgesAndVariationOnTexture)
{
    ToolRun r = run(DEMO_TOOL, "scene");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Lantrel ("), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Ostrave ("), std::string::npos) << r.out;
    PngImage img[5];
    const char *names[5] = {"input", "smoothed", "net_change", "total_variation", "overview"};
    std::string why;
    for (int k = 0; k < 5; ++k) {
        ASSERT_TRUE(readPng(dir + "/scene/" + names[k] + ".png", &img[k], &why)) << names[k] << ": " << why;
        EXPECT_EQ(img[k].height, k < 4 ? 256 : 290) << names[k];
        EXPECT_EQ(img[k].width, k < 4 ? 256 : 4 * 256 + 5 * 8) << names[k];
    }
    double mean, before, after, flat, texture, edgeBefore, edgeAfter;
    /* a flat background patch: the noise goes, the level stays */
    patchStats(img[0], 135, 160, 40, 100, &mean, &before);
    patchStats(img[1], 135, 160, 40, 100, &flat, &after);
    EXPECT_LT(after, 0.05 * before);
    EXPECT_NEAR(flat, mean, 2.0);
    /* the square's left edge (columns 23 | 24) keeps most of its step */
    patchStats(img[0], 60, 100, 24, 25, &edgeBefore, &before);
    patchStats(img[1], 60, 100, 24, 25, &edgeAfter, &after);
    double outsideBefore, outsideAfter;
    patchStats(img[0], 60, 100, 23, 24, &outsideBefore, &before);
    patchStats(img[1], 60, 100, 23, 24, &outsideAfter, &after);
    EXPECT_GT(edgeAfter - outsideAfter, 0.8 * (edgeBefore - outsideBefore));
    /* the total variation is highest on the textured disc */
    patchStats(img[3], 135, 160, 40, 100, &flat, &after);
    patchStats(img[3], 70, 90, 180, 200, &texture, &after);
    double square;
    patchStats(img[3], 60, 100, 40, 100, &square, &after);
    EXPECT_GT(texture, 10 * std::max(flat, 1.0));
    EXPECT_GT(texture, 10 * std::max(square, 1.0));
}
