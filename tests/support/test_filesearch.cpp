#include "FileRoutines.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

// A scratch folder tree under the temp directory, removed afterwards.
class FindFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        root_ = std::string(tmp) + "pelorin-find-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(root_.c_str(), nullptr);
        MakeDir("Sub");
        MakeDir("Sub\\Deeper");
        MakeFile("Top.vstpreset");
        MakeFile("Sub\\Piano.VstPreset");
        MakeFile("Sub\\Deeper\\Bass.vstpreset");
        MakeFile("readme");
        MakeFile("notes.txt");
        MakeFile("Sub\\Hidden.vstpreset");
        SetFileAttributesA((root_ + "\\Sub\\Hidden.vstpreset").c_str(), FILE_ATTRIBUTE_HIDDEN);
    }
    void TearDown() override { RemoveTree(root_); }

    void MakeDir(const std::string& rel) { CreateDirectoryA((root_ + "\\" + rel).c_str(), nullptr); }
    void MakeFile(const std::string& rel)
    {
        HANDLE h = CreateFileA((root_ + "\\" + rel).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << rel;
        CloseHandle(h);
    }
    static void RemoveTree(const std::string& dir)
    {
        WIN32_FIND_DATAA fd;
        HANDLE f = FindFirstFileA((dir + "\\*").c_str(), &fd);
        if (f != INVALID_HANDLE_VALUE) {
            do {
                std::string n = fd.cFileName;
                if (n == "." || n == "..")
                    continue;
                std::string p = dir + "\\" + n;
                SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(p);
                else
                    DeleteFileA(p.c_str());
            } while (FindNextFileA(f, &fd));
            FindClose(f);
        }
        RemoveDirectoryA(dir.c_str());
    }
    static std::vector<std::string> Sorted(std::vector<std::string> v)
    {
        std::sort(v.begin(), v.end());
        return v;
    }

    std::string root_;
};

} // namespace

TEST_F(FindFilesTest, PresetScanOptionsGiveRelativeNamesWithoutExtension)
{
    std::vector<std::string> list;
    EXPECT_TRUE(FindFiles(root_, {".VSTPRESET"}, ffRelativePaths | ffStripExtension | ffRecurse | ffIncludeHidden, list));
    EXPECT_EQ(Sorted(list),
              (std::vector<std::string>{"Sub\\Deeper\\Bass", "Sub\\Hidden", "Sub\\Piano", "Top"}));
}

TEST_F(FindFilesTest, HiddenOnlyWithOptionAndNoRecursionWithoutOption)
{
    std::vector<std::string> list;
    EXPECT_TRUE(FindFiles(root_, {".VSTPRESET"}, ffRelativePaths | ffRecurse, list));
    EXPECT_EQ(Sorted(list), (std::vector<std::string>{"Sub\\Deeper\\Bass.vstpreset", "Sub\\Piano.VstPreset", "Top.vstpreset"}));
    list.clear();
    EXPECT_TRUE(FindFiles(root_ + "\\", {".VSTPRESET"}, 0, list));
    EXPECT_EQ(list, (std::vector<std::string>{root_ + "\\Top.vstpreset"})); // full path without ffRelativePaths
}

TEST_F(FindFilesTest, EmptyExtensionListMatchesEveryFileAndReadmeNeverMatchesAnExtension)
{
    std::vector<std::string> list;
    EXPECT_TRUE(FindFiles(root_, {}, ffRelativePaths, list));
    EXPECT_EQ(Sorted(list), (std::vector<std::string>{"Top.vstpreset", "notes.txt", "readme"}));
    list.clear();
    EXPECT_TRUE(FindFiles(root_, {".FXP", ".TXT"}, ffRelativePaths | ffRecurse, list));
    EXPECT_EQ(list, (std::vector<std::string>{"notes.txt"}));
}

TEST_F(FindFilesTest, FirstOnlyReportsNothingAndTellsExistence)
{
    std::vector<std::string> list = {"kept"};
    EXPECT_TRUE(FindFiles(root_, {".VSTPRESET"}, ffFirstOnly | ffRecurse, list));
    EXPECT_FALSE(FindFiles(root_, {".FXB"}, ffFirstOnly | ffRecurse, list));
    EXPECT_EQ(list, (std::vector<std::string>{"kept"}));
}

TEST_F(FindFilesTest, EmptyOrMissingFolderFindsNothing)
{
    std::vector<std::string> list;
    EXPECT_FALSE(FindFiles("", {}, ffRecurse, list));
    EXPECT_FALSE(FindFiles(root_ + "\\NoSuchFolder", {}, ffRecurse, list));
    EXPECT_TRUE(list.empty());
}

TEST_F(FindFilesTest, FileExistsQuiet)
{
    EXPECT_TRUE(FileExistsQuiet(root_ + "\\readme"));
    EXPECT_FALSE(FileExistsQuiet(root_ + "\\missing"));
    EXPECT_FALSE(FileExistsQuiet(root_ + "\\Sub")); // a folder is not a file
    EXPECT_TRUE(FileExistsQuiet(std::wstring(L"C:\\windows\\system32\\kernel32.dll")));
    EXPECT_FALSE(FileExistsQuiet(std::string("Q:\\no\\drive\\here")));
}
