// Files of the sandbox: paths, letter case, attributes, redirection.
#include <gtest/gtest.h>

#include "platform/filesystem.h"
#include "platform/sim/control.h"
#include "sandbox_fixture.h"
#include "system/redirection.h"

namespace {

using namespace win;

TEST(FileSystem, PathsIgnoreLetterCaseAndSlashKind) {
    testsupport::ScopedSandbox sandbox;
    EXPECT_EQ(GetFileAttributesA("c:/windows/SYSTEM32/Spool/printers"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesA("C:\\Windows\\System32\\spool\\PRINTERS\\"),
              FILE_ATTRIBUTE_DIRECTORY);
}

TEST(FileSystem, MissingFileAndMissingFolderGiveTheirOwnErrors) {
    testsupport::ScopedSandbox sandbox;
    SetLastError(0xDEAD);
    EXPECT_EQ(GetFileAttributesA("C:\\Windows\\nothing.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    SetLastError(0xDEAD);
    EXPECT_EQ(GetFileAttributesA("C:\\NoFolder\\nothing.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(FileSystem, ReadOnlyFilesRefuseDeletionUntilTheBitIsCleared) {
    testsupport::ScopedSandbox sandbox;
    const std::string path = "C:\\Users\\User\\AppData\\Local\\Temp\\locked.txt";
    testsupport::WriteHostFile(sandbox.HostPath(path), "x");
    ASSERT_TRUE(SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetFileAttributesA(path), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    SetLastError(0xDEAD);
    EXPECT_FALSE(DeleteFileA(path));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(CreateFileA(path, GENERIC_WRITE, 0, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetFileAttributesA(path, FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(DeleteFileA(path));
}

TEST(FileSystem, TempPathHasItsTrailingBackslashAndTwoCallSizing) {
    testsupport::ScopedSandbox sandbox;
    std::string path;
    DWORD needed = GetTempPathA(0, nullptr);
    EXPECT_EQ(needed, std::string("C:\\Users\\User\\AppData\\Local\\Temp\\").size() + 1);
    EXPECT_EQ(GetTempPathA(255, &path), needed - 1);
    EXPECT_EQ(path, "C:\\Users\\User\\AppData\\Local\\Temp\\");
    std::string windir;
    EXPECT_GT(GetEnvironmentVariableA("windir", &windir), 0u);
    EXPECT_EQ(windir, "C:\\Windows");
}

TEST(FileSystem, RedirectionSendsSystem32ToSysWow64ExceptItsExemptions) {
    testsupport::ScopedSandbox sandbox;
    testsupport::WriteHostFile(sandbox.HostPath("C:\\Windows\\System32\\native.txt"), "64");
    EXPECT_EQ(GetFileAttributesA("C:\\Windows\\System32\\native.txt"), INVALID_FILE_ATTRIBUTES)
        << "a 32-bit program sees SysWOW64";
    EXPECT_NE(GetFileAttributesA("C:\\Windows\\System32\\spool\\PRINTERS"), INVALID_FILE_ATTRIBUTES)
        << "spool is exempt";
    EXPECT_NE(GetFileAttributesA("C:\\Windows\\Sysnative\\native.txt"), INVALID_FILE_ATTRIBUTES);
    {
        quellin::system::FsRedirectionSpan span(true);
        EXPECT_NE(GetFileAttributesA("C:\\Windows\\System32\\native.txt"), INVALID_FILE_ATTRIBUTES);
    }
    EXPECT_EQ(GetFileAttributesA("C:\\Windows\\System32\\native.txt"), INVALID_FILE_ATTRIBUTES)
        << "the span switched redirection back on";
}

TEST(FileSystem, SpanSwitchesBackWhenTheScopeIsLeftByAnError) {
    testsupport::ScopedSandbox sandbox;
    testsupport::WriteHostFile(sandbox.HostPath("C:\\Windows\\System32\\native.txt"), "64");
    try {
        quellin::system::FsRedirectionSpan span(true);
        throw std::runtime_error("step failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(GetFileAttributesA("C:\\Windows\\System32\\native.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST(FileSystem, On32BitWindowsSystem32IsNeverRedirected) {
    sim::InitOptions options;
    options.config.arch = "x86";
    testsupport::ScopedSandbox sandbox(options);
    testsupport::WriteHostFile(sandbox.HostPath("C:\\Windows\\System32\\native.txt"), "32");
    EXPECT_NE(GetFileAttributesA("C:\\Windows\\System32\\native.txt"), INVALID_FILE_ATTRIBUTES);
    void* old = nullptr;
    EXPECT_FALSE(quellin::system::DisableFsRedirection(&old)) << "nothing to switch off";
}

TEST(FileSystem, FindListsDotEntriesFirstAndMatchesMasks) {
    testsupport::ScopedSandbox sandbox;
    const std::string folder = "C:\\Users\\User\\AppData\\Local\\Temp";
    testsupport::WriteHostFile(sandbox.HostPath(folder + "\\b.gpd"), "");
    testsupport::WriteHostFile(sandbox.HostPath(folder + "\\A.BUD"), "");
    WIN32_FIND_DATAA data;
    UniqueFindHandle find(FindFirstFileA(folder + "\\*.*", &data));
    ASSERT_TRUE(find);
    std::vector<std::string> names{data.cFileName};
    while (FindNextFileA(find.get(), &data))
        names.push_back(data.cFileName);
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "A.BUD", "b.gpd"}));
    UniqueFindHandle gpd(FindFirstFileA(folder + "\\*.GPD", &data));
    ASSERT_TRUE(gpd);
    EXPECT_EQ(data.cFileName, "b.gpd");
    SetLastError(0xDEAD);
    EXPECT_EQ(FindFirstFileA(folder + "\\*.xml", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(FileSystem, PathsCannotClimbOutOfTheDrive) {
    testsupport::ScopedSandbox sandbox;
    EXPECT_EQ(sim::HostPath("C:\\..\\..\\etc\\passwd"),
              sandbox.root() / "drive_c" / "etc" / "passwd");
}

TEST(FileSystem, InjectedWriteFailureStopsAtTheByteBudget) {
    testsupport::ScopedSandbox sandbox;
    sim::InjectWriteFailure("*.gpd", 3);
    UniqueFileHandle file(CreateFileA("C:\\x.gpd", GENERIC_WRITE, 0, CREATE_ALWAYS, 0));
    ASSERT_TRUE(file);
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(file.get(), "abcdef", 6, &written));
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    sim::ClearInjectedFailures();
}

}  // namespace
