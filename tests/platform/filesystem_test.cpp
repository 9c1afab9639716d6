// Files of the sandbox: paths, letter case, attributes, redirection.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>

#include "platform/filesystem.h"
#include "platform/sim/control.h"
#include "platform/ui.h"
#include "sandbox_fixture.h"
#include "system/redirection.h"

namespace quellin::platform {

namespace {

using namespace platform;

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

// A host folder, reached through drive Z:.
class HostFolder {
  public:
    HostFolder() {
        char pattern[] = "/tmp/quellin-names-XXXXXX";
        if (mkdtemp(pattern))
            host_ = pattern;
    }
    ~HostFolder() {
        std::error_code ec;
        std::filesystem::remove_all(host_, ec);
    }
    const std::filesystem::path& host() const { return host_; }
    std::string windows() const {
        std::string p = "Z:" + host_.string();
        std::replace(p.begin(), p.end(), '/', '\\');
        return p;
    }

  private:
    std::filesystem::path host_;
};

std::vector<std::string> List(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    UniqueFindHandle find(FindFirstFileA(folder + "\\*", &data));
    for (bool more = static_cast<bool>(find); more; more = FindNextFileA(find.get(), &data)) {
        if (data.cFileName != "." && data.cFileName != "..")
            names.push_back(data.cFileName);
    }
    return names;
}

// Names are ANSI (1252) inside, UTF-8 on the host, on either drive.
const struct {
    const char* ansi;
    const char* utf8;
} kNames[] = {
    {"caf\xE9.txt", "caf\xC3\xA9.txt"},
    {"\x80 \xA3", "\xE2\x82\xAC \xC2\xA3"},        // euro and pound
    {"\x8A\x9F\xFF", "\xC5\xA0\xC5\xB8\xC3\xBF"},  // 1252's own letters above 0x7F
    {"\x81hole", "\xC2\x81hole"},                  // a hole of 1252: its C1 control
};

TEST(FileSystem, NamesTheProgramCreatesAreUtf8OnTheHostAndListBackUnchanged) {
    testsupport::ScopedSandbox sandbox;
    HostFolder z;
    const std::string temp = "C:\\Users\\User\\AppData\\Local\\Temp";
    for (const auto& [folder, host] :
         {std::pair{temp, sandbox.HostPath(temp)}, std::pair{z.windows(), z.host()}}) {
        for (const auto& name : kNames) {
            SCOPED_TRACE(folder + "\\" + name.ansi);
            UniqueFileHandle file(
                CreateFileA(folder + "\\" + name.ansi, GENERIC_WRITE, 0, CREATE_NEW, 0));
            ASSERT_TRUE(file);
            EXPECT_TRUE(std::filesystem::exists(host / name.utf8));
            const auto listed = List(folder);
            EXPECT_NE(std::find(listed.begin(), listed.end(), name.ansi), listed.end());
        }
    }
}

TEST(FileSystem, HostNamesOpenUnderTheirAnsiNamesInEitherLetterCase) {
    testsupport::ScopedSandbox sandbox;
    HostFolder z;
    testsupport::WriteHostFile(z.host() / "\xC3\xA9t\xC3\xA9" / "caf\xC3\xA9.txt", "x");
    EXPECT_EQ(List(z.windows()), std::vector<std::string>{"\xE9t\xE9"});
    EXPECT_EQ(List(z.windows() + "\\\xE9t\xE9"), std::vector<std::string>{"caf\xE9.txt"});
    // Letter case ignored for the accented letters too, as NTFS does.
    UniqueFileHandle file(
        CreateFileA(z.windows() + "\\\xC9T\xC9\\CAF\xC9.TXT", GENERIC_READ, 0, OPEN_EXISTING, 0));
    EXPECT_TRUE(file);
    EXPECT_EQ(win::WindowsPathFromDialog((z.host() / "\xC3\xA9t\xC3\xA9").string()),
              z.windows() + "\\\xE9t\xE9");
}

TEST(FileSystem, HostNamesWithoutAnAnsiFormListWithQuestionMarksAndAreRefused) {
    testsupport::ScopedSandbox sandbox;
    HostFolder z;
    testsupport::WriteHostFile(z.host() / "\xE6\x97\xA5.txt", "no 1252 form");
    testsupport::WriteHostFile(z.host() / "\xE9.bin", "not UTF-8 at all");
    auto listed = List(z.windows());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"?.bin", "?.txt"}));
    for (const std::string& name : listed) {
        SetLastError(0xDEAD);
        EXPECT_EQ(CreateFileA(z.windows() + "\\" + name, GENERIC_READ, 0, OPEN_EXISTING, 0),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME) << name;
    }
}

TEST(FileSystem, NamesWithCharactersWindowsRefusesCreateNothing) {
    testsupport::ScopedSandbox sandbox;
    const auto count = [&] {
        const std::filesystem::directory_iterator drive(sandbox.root() / "drive_c");
        return std::distance(begin(drive), end(drive));
    };
    const auto before = count();
    for (const char* name : {"a?b.txt", "a*b.txt", "a<b", "a>b", "a|b", "a\"b", "a:b", "a\x01"}) {
        SetLastError(0xDEAD);
        EXPECT_EQ(CreateFileA(std::string("C:\\") + name, GENERIC_WRITE, 0, CREATE_ALWAYS, 0),
                  INVALID_HANDLE_VALUE)
            << name;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME) << name;
    }
    EXPECT_EQ(count(), before);
}

}  // namespace

}  // namespace quellin::platform
