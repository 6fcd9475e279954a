// zqxtool as a user runs it: the files make writes, what info prints about them and the
// exit status of every kind of call. The tool runs as a child process under a time limit.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "image/FirmwareImage.h"

#ifndef ZQXTOOL_PATH
#define ZQXTOOL_PATH KDLL_BINARY_DIR "/tools/zqxtool"
#endif

namespace {

struct RunResult {
    int exitCode;
    std::string out;
    std::string err;
};

// Emptied once per run: make leaves existing files alone.
std::string TestDir()
{
    static const std::string dir = [] {
        const std::string path = std::string(KDLL_BINARY_DIR) + "/test-files/zqxtool";
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        return path;
    }();
    return dir;
}

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    const std::string text = ReadText(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

RunResult RunTool(const std::vector<std::string>& args)
{
    const std::string outPath = TestDir() + "/stdout.txt";
    const std::string errPath = TestDir() + "/stderr.txt";
    // A hung child ends the run after a minute instead of hanging the test.
    std::string command = "timeout 60 " + Quote(ZQXTOOL_PATH);
    for (const std::string& arg : args)
        command += " " + Quote(arg);
    command += " >" + Quote(outPath) + " 2>" + Quote(errPath);
    const int status = std::system(command.c_str());
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadText(outPath);
    result.err = ReadText(errPath);
    return result;
}

// The value of the line that starts with label in info's output.
std::string Row(const std::string& output, const std::string& label)
{
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, label.size(), label) != 0)
            continue;
        size_t at = label.size();
        while (at < line.size() && line[at] == ' ')
            ++at;
        return line.substr(at);
    }
    return "(no line " + label + ")";
}

std::string Hex4(unsigned long value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04lX", value % 65536);
    return text;
}

unsigned long Sum(const std::vector<uint8_t>& bytes, size_t from, size_t to)
{
    unsigned long sum = 0;
    for (size_t i = from; i < to && i < bytes.size(); ++i)
        sum += bytes[i];
    return sum;
}

std::string Path(const std::string& name)
{
    return TestDir() + "/" + name;
}

std::string Slice(const std::vector<uint8_t>& bytes, size_t from, size_t count)
{
    if (from + count > bytes.size())
        return "(out of file)";
    return std::string(bytes.begin() + from, bytes.begin() + from + count);
}

const char kTestFileVerdict[] = "a test file made by zqxtool: the downloader takes it for an "
                                "RVX-4417K, but never flash a real drive with it";

} // namespace

TEST(ZqxToolMake, DefaultsGiveAFileTheDownloaderAcceptsForTheDrive)
{
    const std::string file = Path("default.zqx");
    const RunResult made = RunTool({"make", file});
    ASSERT_EQ(0, made.exitCode) << made.err;

    const std::vector<uint8_t> bytes = ReadBytes(file);
    ASSERT_EQ(65536u, bytes.size());
    const uint8_t head[5] = {0x05, 0x80, 0x00, 0x21, 0x1F};
    EXPECT_EQ(0, std::memcmp(head, &bytes[0x0800], 5)) << "record at 0x0800";
    EXPECT_EQ("NEMBRIKACD-ROM RVX-4417K1.01", Slice(bytes, 0x0808, 28));
    EXPECT_EQ("__ZQTYPE40__", Slice(bytes, 0x0840, 12));
    // The leading block, never sent to the drive, says what the file is.
    const std::string note = "ZQXTOOL TEST FILE - NOT FIRMWARE.\r\nMade by zqxtool";
    EXPECT_EQ(note, Slice(bytes, 0x0700, note.size()));
    for (size_t i = 0; i < 0x0700; ++i) {
        if (bytes[i] != 0xFF) {
            ADD_FAILURE() << "leading block byte " << i << " is " << int(bytes[i]);
            break;
        }
    }
    EXPECT_NE(std::string::npos, made.err.find("test file, not firmware: never flash a real drive"))
        << made.err;

    std::unique_ptr<FirmwareImage> firmware(new FirmwareImage());
    const char* message = nullptr;
    ASSERT_EQ(1, firmware->LoadFirmwareFile(file.c_str(), &message));
    EXPECT_STREQ("NEMBRIKACD-ROM RVX-4417K", firmware->fileDescriptor.modelName);
    EXPECT_STREQ("1.01", firmware->fileDescriptor.revision);
    EXPECT_EQ(1, firmware->fileDescriptor.protocolType40);

    const RunResult info = RunTool({"info", file});
    ASSERT_EQ(0, info.exitCode) << info.err;
    EXPECT_EQ("\"NEMBRIKACD-ROM RVX-4417K 1.01  \"", Row(info.out, "FW Model Name"));
    EXPECT_EQ("VEXO Type 4.0", Row(info.out, "FW Protocol"));
    EXPECT_EQ(Hex4(Sum(bytes, 0, 65536)), Row(info.out, "Check Sum"));
    EXPECT_EQ(Hex4(Sum(bytes, 0x0800, 65536)), Row(info.out, "Transfer sum").substr(0, 4));
    EXPECT_EQ("at 0x0800", Row(info.out, "Record"));
    EXPECT_EQ("at 0x0840", Row(info.out, "Marker"));
    EXPECT_EQ("yes: \"ZQXTOOL TEST FILE - NOT FIRMWARE.\" at 0x0700", Row(info.out, "Test file"));
    EXPECT_EQ(kTestFileVerdict, Row(info.out, "Verdict"));
}

TEST(ZqxToolMake, OptionsShapeTheFile)
{
    struct {
        const char* name;
        std::vector<std::string> options;
        size_t size;
        std::string model;    // info's FW Model Name
        std::string protocol; // info's FW Protocol
        std::string record;   // info's Record
        std::string marker;   // info's Marker
        int infoExit;         // 1: the downloader rejects the file
    } cases[] = {
        {"format 0x32, own texts padded",
         {"--format", "0x32", "--vendor", "ACME", "--product", "DISC", "--revision", "2"},
         65536,
         "\"ACME    DISC" + std::string(12, ' ') + " 2   " + "  \"",
         "VEXO Type 4.0",
         "at 0x0800",
         "at 0x0840",
         1},
        {"no record, marker at 0, zero fill",
         {"--record-at", "none", "--marker-at", "0", "--fill", "0"},
         65536,
         "\"Unkown   \"",
         "VEXO Type 4.0",
         "none found",
         "at 0x0000",
         1},
        {"no marker, record at the end",
         {"--marker-at", "none", "--record-at", "65500"},
         65536,
         "\"NEMBRIKACD-ROM RVX-4417K 1.01  \"",
         "Unkown",
         "at 0xFFDC",
         "none found",
         1},
        {"1 MiB, marker only in the ignored tail",
         {"--size", "0x100000", "--marker-at", "0x10000", "--fill", "0xA5"},
         1048576,
         "\"NEMBRIKACD-ROM RVX-4417K 1.01  \"",
         "Unkown",
         "at 0x0800",
         "none found",
         1},
        {"marker at the last possible offset",
         {"--marker-at", "65524"},
         65536,
         "\"NEMBRIKACD-ROM RVX-4417K 1.01  \"",
         "VEXO Type 4.0",
         "at 0x0800",
         "at 0xFFF4",
         0},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string file = Path("options-" + std::to_string(n++) + ".zqx");
        std::vector<std::string> args = {"make", file};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult made = RunTool(args);
        ASSERT_EQ(0, made.exitCode) << c.name << ": " << made.err;

        const std::vector<uint8_t> bytes = ReadBytes(file);
        EXPECT_EQ(c.size, bytes.size()) << c.name;
        const RunResult info = RunTool({"info", file});
        EXPECT_EQ(c.infoExit, info.exitCode) << c.name << ": " << info.err;
        EXPECT_EQ(c.infoExit == 0, Row(info.out, "Verdict") == kTestFileVerdict)
            << c.name << ": " << Row(info.out, "Verdict");
        EXPECT_EQ(c.model, Row(info.out, "FW Model Name")) << c.name;
        EXPECT_EQ(c.protocol, Row(info.out, "FW Protocol")) << c.name;
        EXPECT_EQ(Hex4(Sum(bytes, 0, 65536)), Row(info.out, "Check Sum")) << c.name;
        EXPECT_EQ(Hex4(Sum(bytes, 0x0800, 65536)), Row(info.out, "Transfer sum").substr(0, 4))
            << c.name;
        EXPECT_EQ(c.record, Row(info.out, "Record")) << c.name;
        EXPECT_EQ(c.marker, Row(info.out, "Marker")) << c.name;
    }
}

TEST(ZqxToolMake, CodeBinaryFillsTheCodePart)
{
    std::vector<uint8_t> code(1000);
    for (size_t i = 0; i < code.size(); ++i)
        code[i] = static_cast<uint8_t>(0x30 + i % 37);
    const std::string codePath = Path("code.bin");
    {
        std::ofstream out(codePath, std::ios::binary);
        out.write(reinterpret_cast<const char*>(code.data()), code.size());
    }
    const std::string file = Path("with-code.zqx");
    const RunResult made = RunTool({"make", file, "--code", codePath, "--record-at", "0x10",
                                    "--marker-at", "0x100", "--fill", "0xEE"});
    ASSERT_EQ(0, made.exitCode) << made.err;
    const std::vector<uint8_t> bytes = ReadBytes(file);
    ASSERT_EQ(65536u, bytes.size());
    EXPECT_EQ(0, std::memcmp(code.data(), &bytes[0x0800], code.size()));
    EXPECT_EQ(0xEE, bytes[0x0800 + code.size()]);
    EXPECT_EQ(0xEE, bytes[0xFFFF]);

    const RunResult info = RunTool({"info", file});
    ASSERT_EQ(0, info.exitCode) << info.err;
    EXPECT_EQ("at 0x0010", Row(info.out, "Record"));
    EXPECT_EQ("at 0x0100", Row(info.out, "Marker"));
    EXPECT_EQ(Hex4(Sum(bytes, 0x0800, 65536)), Row(info.out, "Transfer sum").substr(0, 4));

    // A binary larger than the code part is refused.
    const std::string big = Path("big-code.bin");
    {
        std::ofstream out(big, std::ios::binary);
        const std::vector<char> bytesOut(63489, 'x');
        out.write(bytesOut.data(), bytesOut.size());
    }
    const RunResult tooBig = RunTool({"make", Path("not-written.zqx"), "--code", big});
    EXPECT_EQ(1, tooBig.exitCode) << tooBig.err;
    EXPECT_NE(std::string::npos, tooBig.err.find("63488")) << tooBig.err;
}

TEST(ZqxToolInfo, RejectedFilesGetTheDownloadersMessage)
{
    const std::string shortFile = Path("short.zqx");
    ASSERT_EQ(0, RunTool({"make", shortFile, "--size", "65535", "--record-at", "none",
                          "--marker-at", "none"})
                     .exitCode);
    ASSERT_EQ(65535u, ReadBytes(shortFile).size());
    // The defaults go without the record and the marker that a short file has no room for.
    const std::string tinyFile = Path("tiny.zqx");
    const RunResult tiny = RunTool({"make", tinyFile, "--size", "1000"});
    ASSERT_EQ(0, tiny.exitCode) << tiny.err;
    EXPECT_NE(std::string::npos, tiny.err.find("no room for the record at 0x0800")) << tiny.err;
    EXPECT_NE(std::string::npos, tiny.err.find("no room for the marker at 0x0840")) << tiny.err;
    ASSERT_EQ(1000u, ReadBytes(tinyFile).size());
    const std::string emptyFile = Path("empty.zqx");
    ASSERT_EQ(
        0, RunTool({"make", emptyFile, "--size", "0", "--record-at", "none", "--marker-at", "none"})
               .exitCode);

    struct {
        const char* name;
        std::string path;
        const char* message;
    } cases[] = {
        {"65,535 bytes", shortFile, "Damaged F/W file!"},
        {"empty file", emptyFile, "Damaged F/W file!"},
        {"missing file", Path("missing.zqx"), "Unable to open file!"},
        {"1000 bytes, no room for record and marker", tinyFile, "Damaged F/W file!"},
        {"empty name", "", "empty file name"},
    };
    for (const auto& c : cases) {
        const RunResult info = RunTool({"info", c.path});
        EXPECT_EQ(1, info.exitCode) << c.name;
        EXPECT_NE(std::string::npos, info.err.find(c.message))
            << c.name << ": stderr was " << info.err;
        EXPECT_EQ("", info.out) << c.name;
    }
}

TEST(ZqxToolCommandLine, ExitStatusFollowsTheConventions)
{
    const std::string file = Path("cli.zqx");
    // A file of the user's own, which make must not replace unless told.
    const std::string existing = Path("existing.zqx");
    std::ofstream(existing) << "keep";
    struct {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        const char* inErr; // expected in stderr, or null
    } cases[] = {
        {"help", {"--help"}, 0, nullptr},
        {"help verb", {"help"}, 0, nullptr},
        {"make help", {"make", "--help"}, 0, nullptr},
        {"no arguments", {}, 2, "no verb"},
        {"unknown verb", {"build", file}, 2, "unknown verb"},
        {"make without file", {"make"}, 2, "needs a file name"},
        {"info without file", {"info"}, 2, "needs a file name"},
        {"two files", {"info", file, file}, 2, "more than one file"},
        {"info with an option", {"info", file, "--size", "1"}, 2, "info takes no options"},
        {"unknown option", {"make", file, "--colour", "red"}, 2, "unknown option"},
        {"option without value", {"make", file, "--size"}, 2, "needs a value"},
        {"format 0x20", {"make", file, "--format", "0x20"}, 2, "0x21 or 0x32"},
        {"size not a number", {"make", file, "--size", "big"}, 2, "--size"},
        {"size negative", {"make", file, "--size", "-1"}, 2, "--size"},
        {"size too large", {"make", file, "--size", "0x4000001"}, 2, "--size"},
        {"bad hex", {"make", file, "--record-at", "0xG0"}, 2, "--record-at"},
        {"vendor too long", {"make", file, "--vendor", "NEMBRIKAX"}, 2, "longer than 8"},
        {"product too long", {"make", file, "--product", "CD-ROM RVX-4417KX"}, 2, "longer than 16"},
        {"revision too long", {"make", file, "--revision", "1.001"}, 2, "longer than 4"},
        {"record past the end", {"make", file, "--record-at", "65501"}, 2, "does not fit"},
        {"marker past the end", {"make", file, "--marker-at", "65525"}, 2, "does not fit"},
        {"record and marker overlap", {"make", file, "--marker-at", "0x0820"}, 2, "overlap"},
        {"record over the note",
         {"make", file, "--record-at", "0x06F0"},
         2,
         "cover the test file's"},
        {"marker over the note",
         {"make", file, "--marker-at", "0x07E0"},
         2,
         "cover the test file's"},
        {"existing file", {"make", existing}, 1, "exists: not overwritten (--force"},
        {"fill not a byte", {"make", file, "--fill", "256"}, 2, "--fill"},
        {"record given past a short end",
         {"make", file, "--size", "1000", "--record-at", "0x0800"},
         2,
         "does not fit"},
        {"unwritable output", {"make", Path("no-such-dir/x.zqx")}, 1, "cannot create"},
        {"missing code binary", {"make", file, "--code", Path("no-code.bin")}, 1, "cannot open"},
    };
    for (const auto& c : cases) {
        const RunResult run = RunTool(c.args);
        const int exitCode = run.exitCode;
        const std::string& err = run.err;
        const std::string& out = run.out;
        EXPECT_EQ(c.exitCode, exitCode) << c.name << ": stderr " << err;
        if (c.inErr != nullptr)
            EXPECT_NE(std::string::npos, err.find(c.inErr))
                << c.name << ": expected '" << c.inErr << "' in stderr, got " << err;
        if (c.exitCode == 0)
            EXPECT_NE(std::string::npos, out.find("usage: zqxtool")) << c.name << ": " << out;
        if (c.exitCode == 2)
            EXPECT_NE(std::string::npos, err.find("--help")) << c.name << ": " << err;
    }
    EXPECT_EQ("keep", ReadText(existing));
    EXPECT_EQ(0, RunTool({"make", existing, "--force"}).exitCode);
    EXPECT_EQ(65536u, ReadBytes(existing).size());
}
