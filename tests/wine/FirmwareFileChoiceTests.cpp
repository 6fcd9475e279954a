// How the file-name box gets its firmware file (the one file of the current directory,
// the open-file dialog) and how the stored setting is read.
#include <windows.h>
#include <commdlg.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ImportPatch.h"
#include "PanelExpectations.h"
#include "PanelHost.h"
#include "SimLink.h"
#include "SystemCallRecorder.h"
#include "LibraryInternals.h"
#include "settings/StoredSettings.h"

namespace {

using namespace panel;

// A fresh folder of its own as the current directory, restored afterwards.
class ScratchDirectory {
public:
    explicit ScratchDirectory(const std::vector<std::string>& files)
    {
        GetCurrentDirectoryA(sizeof previous, previous);
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        path = std::string(temp) + "kdll-choice-" + std::to_string(GetTickCount());
        CreateDirectoryA(path.c_str(), nullptr);
        for (const std::string& name : files) {
            HANDLE file = CreateFileA((path + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            CloseHandle(file);
            created.push_back(path + "\\" + name);
        }
        SetCurrentDirectoryA(path.c_str());
    }
    ~ScratchDirectory()
    {
        SetCurrentDirectoryA(previous);
        for (const std::string& file : created)
            DeleteFileA(file.c_str());
        RemoveDirectoryA(path.c_str());
    }

    std::string path;

private:
    char previous[MAX_PATH];
    std::vector<std::string> created;
};

class FileChoiceTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim.Configure("adapters 1\ndevice 0 1 rvx\n")); }

    SimLink sim;
};

TEST_F(FileChoiceTest, OnlyFileOfTheCurrentDirectoryIsProposed)
{
    struct {
        const char* name;
        std::vector<std::string> files;
        const char* expected;
    } cases[] = {
        {"one firmware file", {"A.ZQX", "notes.txt"}, "A.ZQX"},
        {"two firmware files", {"A.zqx", "B.zqx"}, ""},
        {"no firmware file", {"readme.txt"}, ""},
    };
    for (const auto& c : cases) {
        ScratchDirectory folder(c.files);
        PanelHost host;
        ASSERT_NE(0, host.Create(0x0100)) << c.name;
        host.Open(0x0100);
        ASSERT_NE(nullptr, host.Dialog()) << c.name;
        EXPECT_EQ(c.expected, host.Text(kFileName)) << c.name;
        EXPECT_EQ(c.expected[0] != '\0', host.IsEnabled(kDownload)) << c.name;
    }
}

TEST_F(FileChoiceTest, OpenFileDialogIsAskedForAZqxFile)
{
    PanelHost host;
    ASSERT_NE(0, host.Create(0x0100));
    SystemCallRecorder recorder(host.kdll.Module());
    host.Open(0x0100);
    host.SetFileName("");
    ASSERT_FALSE(host.IsEnabled(kDownload));

    recorder.chosenPath = "C:\\firmware\\fw.ZQX";
    host.Click(kOpenFile);
    std::vector<RecordedCall> calls = recorder.Calls("GetOpenFileNameA");
    ASSERT_EQ(1u, calls.size());
    const OPENFILENAMEA& choice = calls[0].choice;
    EXPECT_EQ(host.Dialog(), choice.hwndOwner);
    EXPECT_EQ("Firmware file (*.ZQX)|*.ZQX|", calls[0].filter);
    EXPECT_EQ(260u, choice.nMaxFile);
    EXPECT_EQ(static_cast<DWORD>(OFN_FILEMUSTEXIST), choice.Flags);
    EXPECT_EQ("ZQX", calls[0].defaultExtension);
    EXPECT_EQ(nullptr, choice.lpstrTitle);
    EXPECT_EQ(nullptr, choice.lpstrInitialDir);
    EXPECT_EQ(nullptr, choice.lpstrCustomFilter);

    EXPECT_EQ("C:\\firmware\\fw.ZQX", host.Text(kFileName));
    EXPECT_TRUE(host.IsEnabled(kDownload));

    recorder.chosenPath.clear(); // the user cancels
    host.Click(kOpenFile);
    EXPECT_EQ(2u, recorder.Calls("GetOpenFileNameA").size());
    EXPECT_EQ("C:\\firmware\\fw.ZQX", host.Text(kFileName));
    EXPECT_TRUE(host.IsEnabled(kDownload));
}

// The stored setting, against Wine's real registry.
class SettingTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.Configure("adapters 0\n"));
        RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
        instance = new TestInstance(GetModuleHandleA(nullptr), nullptr);
    }
    void TearDown() override
    {
        delete instance;
        RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
    }
    void Store(DWORD type, const void* data, DWORD size)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, kKey, &key));
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, "Morphing", 0, type, static_cast<const BYTE*>(data), size));
        RegCloseKey(key);
    }

    static constexpr const char* kKey = "SOFTWARE\\Brindlex";
    SimLink sim;
    TestInstance* instance = nullptr;
};

TEST_F(SettingTest, DwordIsRead)
{
    DWORD value = 0x12345678;
    Store(REG_DWORD, &value, sizeof value);
    uint32_t number = 7;
    EXPECT_EQ(
        1, StoredSettings::ReadSetting(HKEY_CURRENT_USER, kKey, "Morphing", &number, nullptr, 0));
    EXPECT_EQ(0x12345678u, number);
}

TEST_F(SettingTest, MissingKeyOrValueChangesNothing)
{
    uint32_t number = 7;
    EXPECT_EQ(
        0, StoredSettings::ReadSetting(HKEY_CURRENT_USER, kKey, "Morphing", &number, nullptr, 0));
    EXPECT_EQ(7u, number);
    DWORD value = 1;
    Store(REG_DWORD, &value, sizeof value);
    EXPECT_EQ(0,
              StoredSettings::ReadSetting(HKEY_CURRENT_USER, kKey, "Other", &number, nullptr, 0));
    EXPECT_EQ(7u, number);
}

TEST_F(SettingTest, TextValues)
{
    Store(REG_SZ, "12", 3);
    uint32_t number = 7;
    EXPECT_EQ(0,
              StoredSettings::ReadSetting(HKEY_CURRENT_USER, kKey, "Morphing", &number, nullptr, 0))
        << "a text is not taken for the number";
    EXPECT_EQ(7u, number);

    char text[16];
    memset(text, 'x', sizeof text);
    EXPECT_EQ(1, StoredSettings::ReadSetting(HKEY_CURRENT_USER, kKey, "Morphing", nullptr, text,
                                             sizeof text));
    EXPECT_STREQ("12", text);

    // Stored without its NUL, and longer than the caller's buffer.
    Store(REG_SZ, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 26);
    memset(text, 'x', sizeof text);
    EXPECT_EQ(1,
              StoredSettings::ReadSetting(HKEY_CURRENT_USER, kKey, "Morphing", nullptr, text, 8));
    EXPECT_STREQ("ABCDEFG", text);
    EXPECT_EQ('x', text[8]) << "written past the caller's buffer";

    std::string large(200, 'L');
    Store(REG_SZ, large.c_str(), static_cast<DWORD>(large.size() + 1));
    EXPECT_EQ(0, StoredSettings::ReadSetting(HKEY_CURRENT_USER, kKey, "Morphing", nullptr, text,
                                             sizeof text))
        << "a value larger than 128 bytes is not read";
}

TEST_F(SettingTest, OpeningThePanelReadsMorphing)
{
    DWORD value = 3;
    Store(REG_DWORD, &value, sizeof value);
    PanelHost host;
    TestInstance opened(host.kdll.Module(), host.host);
    opened.downloader.SetHostParams(host.Params(0));
    opened.downloader.OpenDialog();
    ASSERT_NE(nullptr, host.Dialog());
    EXPECT_EQ(3u, LibraryInternals::Morphing(opened.downloader));
    opened.downloader.CloseDialog();
}

// A key that an administrator set up for reading only: Windows refuses every open that
// asks for more than reading.
decltype(&RegOpenKeyExA) realRegOpenKeyExA;
LONG WINAPI ReadOnlyRegOpenKeyExA(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY key)
{
    const REGSAM reading = KEY_READ | KEY_WOW64_32KEY | KEY_WOW64_64KEY;
    if ((access & ~reading) != 0)
        return ERROR_ACCESS_DENIED;
    return realRegOpenKeyExA(root, path, options, access, key);
}

TEST_F(SettingTest, ReadOnlyKeyIsRead)
{
    DWORD value = 5;
    Store(REG_DWORD, &value, sizeof value);
    ImportPatch patch(GetModuleHandleA(nullptr), "advapi32.dll", "RegOpenKeyExA",
                      reinterpret_cast<void*>(&ReadOnlyRegOpenKeyExA));
    ASSERT_TRUE(patch.IsActive());
    realRegOpenKeyExA = reinterpret_cast<decltype(&RegOpenKeyExA)>(patch.Original());
    uint32_t number = 0;
    EXPECT_EQ(
        1, StoredSettings::ReadSetting(HKEY_CURRENT_USER, kKey, "Morphing", &number, nullptr, 0));
    EXPECT_EQ(5u, number);
}

} // namespace
