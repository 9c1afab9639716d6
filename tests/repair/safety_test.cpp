// What the elevated clean-up may delete: the auto-save file and the temp folder come from places
// any process of the user can set.
#include "repair/safety.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/sim/control.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/sandbox.h"
#include "sandbox_fixture.h"

namespace quellin::repair {
namespace {

namespace fs = std::filesystem;

struct CanonicalCase {
    const char* path;
    std::optional<std::string> canonical;
};

class Canonical : public testing::TestWithParam<CanonicalCase> {};

TEST_P(Canonical, ResolvesAsWindowsDoesOrRefuses) {
    EXPECT_EQ(CanonicalPath(GetParam().path), GetParam().canonical) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Repair, Canonical,
    testing::Values(CanonicalCase{"C:\\Users\\a.txt", "C:\\Users\\a.txt"},
                    CanonicalCase{"c:/Users//x/./../a.txt", "C:\\Users\\a.txt"},
                    CanonicalCase{"C:\\Windows.\\System32 \\x", "C:\\Windows\\System32\\x"},
                    CanonicalCase{"C:\\..\\..\\Windows", "C:\\Windows"},
                    CanonicalCase{"C:\\", "C:\\"},
                    CanonicalCase{"C:\\PROGRA~1\\App\\x.dll", std::nullopt},
                    CanonicalCase{"C:\\Users\\NOTES~1.TXT", "C:\\Users\\NOTES~1.TXT"},
                    CanonicalCase{"a.txt", std::nullopt}, CanonicalCase{"C:a.txt", std::nullopt},
                    CanonicalCase{"\\\\server\\share\\a.txt", std::nullopt},
                    CanonicalCase{"\\\\?\\C:\\Windows\\a", std::nullopt},
                    CanonicalCase{"C:\\Users\\a.txt:stream", std::nullopt},
                    CanonicalCase{"C:\\Users\\*.txt", std::nullopt},
                    CanonicalCase{"", std::nullopt}));

struct AutoSaveCase {
    const char* name;
    const char* path;    // the ASFile value
    const char* create;  // a file to create first, or null
    bool folder;         // create a folder instead
    bool deleted;        // the file is gone afterwards
};

class AutoSave : public testing::TestWithParam<AutoSaveCase> {};

TEST_P(AutoSave, DeletesOnlyAPlainFileOutsideTheSystemFolders) {
    const AutoSaveCase& c = GetParam();
    testsupport::ScopedSandbox sandbox;
    if (c.create) {
        const fs::path host = sandbox.HostPath(c.create);
        if (c.folder)
            fs::create_directories(host);
        else
            testsupport::WriteHostFile(host, "data");
    }
    EXPECT_EQ(DeleteAutoSaveFile(c.path), c.deleted);
    if (c.create) {
        EXPECT_EQ(!fs::exists(sandbox.HostPath(c.create)), c.deleted);
    }
    EXPECT_TRUE(fs::exists(sandbox.HostPath("C:\\Windows\\System32\\dism.exe")));
}

INSTANTIATE_TEST_SUITE_P(
    Repair, AutoSave,
    testing::Values(AutoSaveCase{"PlainFile", "C:\\Users\\User\\Documents\\auto.sav",
                                 "C:\\Users\\User\\Documents\\auto.sav", false, true},
                    AutoSaveCase{"LetterCaseAndDots", "c:\\users\\user\\documents\\.\\AUTO.SAV",
                                 "C:\\Users\\User\\Documents\\auto.sav", false, true},
                    AutoSaveCase{"Empty", "", nullptr, false, false},
                    AutoSaveCase{"Missing", "C:\\Users\\User\\Documents\\none.sav", nullptr, false,
                                 false},
                    AutoSaveCase{"Folder", "C:\\Users\\User\\Documents\\Saves",
                                 "C:\\Users\\User\\Documents\\Saves", true, false},
                    AutoSaveCase{"SystemFile", "C:\\Windows\\System32\\dism.exe",
                                 "C:\\Windows\\System32\\dism.exe", false, false},
                    AutoSaveCase{"ClimbsIntoWindows", "C:\\Users\\..\\Windows\\System32\\dism.exe",
                                 nullptr, false, false},
                    AutoSaveCase{"TrailingDotWindows", "C:\\Windows.\\System32\\dism.exe", nullptr,
                                 false, false},
                    AutoSaveCase{"ProgramFiles", "C:\\Program Files\\App\\app.cfg",
                                 "C:\\Program Files\\App\\app.cfg", false, false},
                    AutoSaveCase{"ProgramFilesX86", "C:\\Program Files (x86)\\App\\app.cfg",
                                 "C:\\Program Files (x86)\\App\\app.cfg", false, false},
                    // Done with the user's own rights: what the user may not delete stays.
                    AutoSaveCase{"AnotherUsersFile", "C:\\Users\\Other\\Documents\\thesis.docx",
                                 "C:\\Users\\Other\\Documents\\thesis.docx", false, false},
                    AutoSaveCase{"ProgramDataFile", "C:\\ProgramData\\Vendor\\service.cfg",
                                 "C:\\ProgramData\\Vendor\\service.cfg", false, false},
                    AutoSaveCase{"Relative", "auto.sav", nullptr, false, false},
                    AutoSaveCase{"DriveRoot", "C:\\", nullptr, false, false},
                    // Judged by the long name the system gives for an 8.3 alias.
                    AutoSaveCase{"ShortNamedFolder", "C:\\Users\\User\\DOCUME~1\\auto.sav",
                                 "C:\\Users\\User\\DOCUME~1\\auto.sav", false, true},
                    AutoSaveCase{"ShortNamedClimbIntoWindows",
                                 "C:\\Users\\ADMINI~1\\..\\..\\Windows\\System32\\dism.exe",
                                 "C:\\Users\\ADMINI~1\\x", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AutoSave, AFolderLinkIsNotFollowed) {
    testsupport::ScopedSandbox sandbox;
    fs::create_directory_symlink(sandbox.HostPath("C:\\Windows\\System32"),
                                 sandbox.HostPath("C:\\Users\\User\\Documents\\sys"));
    EXPECT_FALSE(DeleteAutoSaveFile("C:\\Users\\User\\Documents\\sys\\dism.exe"));
    EXPECT_FALSE(DeleteAutoSaveFile("C:\\Users\\User\\Documents\\sys"));
    EXPECT_TRUE(fs::exists(sandbox.HostPath("C:\\Windows\\System32\\dism.exe")));
}

// A folder on the way is swapped for a link to the system folder after the checks: the
// deletion, done with the user's rights, cannot reach the system's file.
TEST(AutoSave, AFolderSwappedForALinkAfterTheChecksLeadsNowhere) {
    testsupport::ScopedSandbox sandbox;
    const fs::path saves = sandbox.HostPath("C:\\Users\\User\\Documents\\Saves");
    testsupport::WriteHostFile(saves / "dism.exe", "the user's");
    const std::string path = "C:\\Users\\User\\Documents\\Saves\\dism.exe";
    sim::SetBeforePathHook([&, done = false](const std::string& used) mutable {
        if (!done && used == path) {
            done = true;
            fs::rename(saves, saves.parent_path() / "Moved");
            fs::create_directory_symlink(sandbox.HostPath("C:\\Windows\\System32"), saves);
        }
    });
    EXPECT_FALSE(DeleteAutoSaveFile(path));
    sim::SetBeforePathHook(nullptr);
    EXPECT_TRUE(fs::exists(sandbox.HostPath("C:\\Windows\\System32\\dism.exe")));
}

TEST(AutoSave, AFileLinkIsRemovedAsALink) {
    testsupport::ScopedSandbox sandbox;
    const fs::path link = sandbox.HostPath("C:\\Users\\User\\Documents\\auto.sav");
    fs::create_symlink(sandbox.HostPath("C:\\Windows\\System32\\dism.exe"), link);
    EXPECT_TRUE(DeleteAutoSaveFile("C:\\Users\\User\\Documents\\auto.sav"));
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_TRUE(fs::exists(sandbox.HostPath("C:\\Windows\\System32\\dism.exe")));
}

struct TempFolderCase {
    const char* path;
    bool cleanable;
    const char* profile = nullptr;  // USERPROFILE, when not the sandbox's
};

class TempFolderRule : public testing::TestWithParam<TempFolderCase> {};

TEST_P(TempFolderRule, LeavesSystemLocationsAlone) {
    testsupport::ScopedSandbox sandbox;
    fs::create_directories(sandbox.HostPath("C:\\Windows\\Temp"));
    if (GetParam().profile)
        sim::reg::SetString("HKCU\\Environment", "USERPROFILE", GetParam().profile);
    EXPECT_EQ(IsCleanableTempFolder(GetParam().path), GetParam().cleanable) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Repair, TempFolderRule,
    testing::Values(TempFolderCase{"C:\\Users\\User\\AppData\\Local\\Temp", true},
                    TempFolderCase{"C:\\Users\\User\\AppData\\Local\\Temp\\gone", true},
                    TempFolderCase{"C:\\Windows\\Temp", true}, TempFolderCase{"C:\\Windows", false},
                    TempFolderCase{"C:\\Windows\\System32", false},
                    TempFolderCase{"C:\\Program Files\\Temp", false}, TempFolderCase{"C:\\", false},
                    TempFolderCase{"C:\\Users\\..", false}, TempFolderCase{"Temp", false},
                    // Without TMP and TEMP, Windows gives the user's profile as the temp folder.
                    TempFolderCase{"C:\\Users\\User", false},
                    TempFolderCase{"c:\\users\\user\\.", false}, TempFolderCase{"C:\\Users", false},
                    TempFolderCase{"C:\\Users\\User\\Temp", true},
                    // The same folder on Windows, whatever the case of its accented letters.
                    TempFolderCase{"C:\\Users\\User\\\xE9mile", false,
                                   "C:\\Users\\User\\\xC9mile"}));

TEST(TempFolderRule, ALinkedTempFolderIsLeftAlone) {
    testsupport::ScopedSandbox sandbox;
    const fs::path temp = sandbox.HostPath("C:\\Users\\User\\AppData\\Local\\Temp");
    fs::remove_all(temp);
    fs::create_directory_symlink(sandbox.HostPath("C:\\Users\\User\\Documents"), temp);
    EXPECT_FALSE(IsCleanableTempFolder("C:\\Users\\User\\AppData\\Local\\Temp"));
}

// Windows often names the temp folder with 8.3 aliases ("C:\Users\ADMINI~1\..."): it is judged
// by the long name the system gives for it, and a name it cannot resolve is still refused.
TEST(TempFolderRule, AShortNamedTempFolderIsJudgedByItsLongName) {
    testsupport::ScopedSandbox sandbox;
    fs::create_directories(sandbox.HostPath("C:\\Users\\ADMINI~1\\AppData\\Local\\Temp"));
    EXPECT_TRUE(IsCleanableTempFolder("C:\\Users\\ADMINI~1\\AppData\\Local\\Temp"));
    EXPECT_FALSE(IsCleanableTempFolder("C:\\Users\\NOBODY~1\\AppData\\Local\\Temp"));
    EXPECT_FALSE(IsCleanableTempFolder("C:\\Users\\ADMINI~1\\..\\..\\Windows"));
}

}  // namespace
}  // namespace quellin::repair
