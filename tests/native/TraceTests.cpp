// The command trace's platform-neutral parts: the file's bound, and when lines reach the
// file at all.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/ProductInfo.h"
#include "trace/Trace.h"
#include "trace/TraceFile.h"

namespace {

std::string TestDir()
{
    const std::string dir = std::string(KDLL_BINARY_DIR) + "/test-files/trace";
    std::filesystem::create_directories(dir);
    return dir;
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

} // namespace

// A file pushed past its bound: the older lines move to "<name>.1", the newest stay in the
// file, nothing is lost between the two and no third file appears.
TEST(TraceFile, PastItsBoundKeepsTheLastTwoFiles)
{
    const std::string path = TestDir() + "/bound.txt";
    std::remove(path.c_str());
    std::remove((path + ".1").c_str());
    TraceFile file;
    file.SetBound(1000);
    ASSERT_EQ(1, file.SetPath(path.c_str()));
    const int kLines = 200;
    for (int i = 0; i < kLines; ++i) {
        char line[64];
        int length = std::snprintf(line, sizeof line, "line %04d of the bound test\r\n", i);
        ASSERT_EQ(1, file.Append(line, static_cast<size_t>(length))) << "line " << i;
    }

    EXPECT_LE(std::filesystem::file_size(path), 1000u);
    EXPECT_LE(std::filesystem::file_size(path + ".1"), 1000u);
    EXPECT_FALSE(std::filesystem::exists(path + ".1.1"));
    std::vector<std::string> current = ReadLines(path);
    std::vector<std::string> previous = ReadLines(path + ".1");
    ASSERT_FALSE(current.empty());
    ASSERT_FALSE(previous.empty());
    EXPECT_EQ("line 0199 of the bound test", current.back());
    int lastPrevious = std::atoi(previous.back().c_str() + 5);
    int firstCurrent = std::atoi(current.front().c_str() + 5);
    EXPECT_EQ(lastPrevious + 1, firstCurrent) << previous.back() << " | " << current.front();
    EXPECT_EQ(kLines, firstCurrent + static_cast<int>(current.size()));
}

// KDLL_TRACE decides at the start; lines from before the panel opened wait and go into
// the file once it is named; without a name nothing is kept, and a file that cannot be
// written turns the trace off.
TEST(Trace, WritesOnlyToANamedWritableFile)
{
    const std::string path = TestDir() + "/trace.txt";
    std::remove(path.c_str());

    unsetenv("KDLL_TRACE");
    Trace::Begin(KDLL_PRODUCT_TITLE);
    Trace::Line("before the panel %d", 1);
    Trace::Settle(nullptr);
    EXPECT_EQ(0, Trace::IsOn());
    Trace::Line("after the panel %d", 2);
    EXPECT_FALSE(std::filesystem::exists(path));

    Trace::Begin(KDLL_PRODUCT_TITLE);
    Trace::Line("discovery %d", 3);
    setenv("KDLL_TRACE", path.c_str(), 1);
    Trace::Settle(nullptr);
    Trace::Line("panel %d", 4);
    std::vector<std::string> lines = ReadLines(path);
    ASSERT_EQ(3u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find(" panel  start: RVX-4417K Downloader 1.01"))
        << lines[0];
    EXPECT_NE(std::string::npos, lines[1].find(" panel  discovery 3")) << lines[1];
    EXPECT_NE(std::string::npos, lines[2].find(" panel  panel 4")) << lines[2];
    EXPECT_LT(std::strtoul(lines[2].c_str(), nullptr, 10), 60000ul) << "milliseconds first";

    setenv("KDLL_TRACE", (TestDir() + "/no-such-folder/trace.txt").c_str(), 1);
    Trace::Begin(KDLL_PRODUCT_TITLE);
    EXPECT_EQ(0, Trace::IsOn()) << "an unwritable file turns the trace off";
    unsetenv("KDLL_TRACE");
}
