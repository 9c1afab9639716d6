// The platform contract: what the logic relies on from each Windows area, written once against
// the platform headers and run on every backend (the sandbox, and Windows under Wine). Each
// check sets the last error to a sentinel first, so an exact code is the call's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "contract_env.h"
#include "platform/dates.h"
#include "platform/eventlog.h"
#include "platform/filesystem.h"
#include "platform/handle.h"
#include "platform/libraries.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/services.h"
#include "platform/shared_memory.h"
#include "platform/spooler.h"
#include "platform/text.h"
#include "platform/window.h"

namespace quellin::platform::contract {

namespace {

using namespace platform;

constexpr DWORD kSentinel = 0xDEADBEEF;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

class Contract : public ::testing::Test {
  protected:
    void SetUp() override { contract::SetUpSystem(); }
    void TearDown() override { contract::TearDownSystem(); }

    static std::string Scratch() { return contract::ScratchFolder(); }

    static void PutFile(const std::string& path, const std::string& bytes) {
        UniqueFileHandle file(CreateFileA(path, GENERIC_WRITE, 0, CREATE_ALWAYS, 0));
        ASSERT_TRUE(file.valid()) << path << " error " << GetLastError();
        DWORD written = 0;
        ASSERT_TRUE(
            WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written));
        ASSERT_EQ(written, bytes.size());
    }

    static std::string ReadWholeFile(const std::string& path) {
        UniqueFileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
        if (!file)
            return "<missing>";
        std::string bytes;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file.get(), buffer, sizeof buffer, &got) && got > 0)
            bytes.append(buffer, got);
        return bytes;
    }
};

// ---- Registry ----

struct ValueCase {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
};

std::vector<BYTE> Bytes(const std::string& s, bool withZero) {
    std::vector<BYTE> bytes(s.begin(), s.end());
    if (withZero)
        bytes.push_back(0);
    return bytes;
}

class RegistryValues : public Contract, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(RegistryValues, RoundTripWithTwoCallSizing) {
    const ValueCase& c = GetParam();
    UniqueHKey key;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, contract::ScratchKey(), 0, KEY_ALL_ACCESS,
                              key.put(), &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(RegSetValueExA(key.get(), "value", c.type, c.data.data(),
                             static_cast<DWORD>(c.data.size())),
              ERROR_SUCCESS);

    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExA(key.get(), "value", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, c.data.size());

    if (size > 0) {
        std::vector<BYTE> small(size);  // never empty, so the call is not a size query
        DWORD smallSize = size - 1;
        EXPECT_EQ(RegQueryValueExA(key.get(), "value", nullptr, small.data(), &smallSize),
                  ERROR_MORE_DATA);
        EXPECT_EQ(smallSize, size);
    }
    std::vector<BYTE> data(size);
    ASSERT_EQ(RegQueryValueExA(key.get(), "value", &type, data.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(data, c.data);

    std::string name;
    DWORD enumSize = size;
    std::vector<BYTE> enumData(size);
    ASSERT_EQ(RegEnumValueA(key.get(), 0, &name, &type, enumData.data(), &enumSize), ERROR_SUCCESS);
    EXPECT_EQ(name, "value");
    EXPECT_EQ(enumData, c.data);
    EXPECT_EQ(RegEnumValueA(key.get(), 1, &name, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

INSTANTIATE_TEST_SUITE_P(Types, RegistryValues,
                         ::testing::ValuesIn(std::vector<ValueCase>{
                             {"String", REG_SZ, Bytes("Microsoft Print to PDF", true)},
                             {"EmptyString", REG_SZ, Bytes("", true)},
                             {"ExpandString", REG_EXPAND_SZ, Bytes("%windir%\\System32", true)},
                             {"MultiString", REG_MULTI_SZ, Bytes(std::string("a\0bc\0", 5), true)},
                             {"Dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
                             {"Qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
                             {"Binary", REG_BINARY, {0, 1, 2, 0xFF, 0}},
                             {"EmptyBinary", REG_BINARY, {}}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Contract, RegistryErrorCodes) {
    const std::string base = contract::ScratchKey();
    UniqueHKey key;
    SetLastError(kSentinel);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, base, 0, KEY_READ, key.put()), ERROR_FILE_NOT_FOUND);

    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, base + "\\a\\b", 0, KEY_ALL_ACCESS, key.put(), nullptr),
        ERROR_SUCCESS);
    key.reset();
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, base, 0, KEY_ALL_ACCESS, key.put(), &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key.get(), "missing", nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(key.get(), "missing"), ERROR_FILE_NOT_FOUND);

    std::string name;
    EXPECT_EQ(RegEnumKeyExA(key.get(), 0, &name), ERROR_SUCCESS);
    EXPECT_EQ(name, "a");
    EXPECT_EQ(RegEnumKeyExA(key.get(), 1, &name), ERROR_NO_MORE_ITEMS);

    // A key with subkeys is not deleted on its own; the tree call takes it whole.
    EXPECT_EQ(RegDeleteKeyExA(key.get(), "a", 0), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteTreeA(key.get(), "a"), ERROR_SUCCESS);
    EXPECT_EQ(RegEnumKeyExA(key.get(), 0, &name), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegDeleteKeyExA(HKEY_CURRENT_USER, base + "\\missing", 0), ERROR_FILE_NOT_FOUND);

    // Opened for reading only, a key refuses writes.
    UniqueHKey readOnly;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, base, 0, KEY_READ, readOnly.put()), ERROR_SUCCESS);
    const BYTE one[4] = {1, 0, 0, 0};
    EXPECT_EQ(RegSetValueExA(readOnly.get(), "x", REG_DWORD, one, 4), ERROR_ACCESS_DENIED);
}

TEST_F(Contract, SixtyFourBitRegistryView) {
    if (!contract::Is32BitOn64BitWindows())
        GTEST_SKIP() << "one registry view: not a 32-bit program on 64-bit Windows";
    const std::string key = "SOFTWARE\\QuellinContractView";
    UniqueHKey view32;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_ALL_ACCESS, view32.put(), nullptr),
              ERROR_SUCCESS);
    UniqueHKey view64;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | KEY_WOW64_64KEY, view64.put()),
              ERROR_FILE_NOT_FOUND);
    UniqueHKey redirected;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\WOW6432Node\\QuellinContractView", 0,
                            KEY_READ | KEY_WOW64_64KEY, redirected.put()),
              ERROR_SUCCESS);
    redirected.reset();
    view32.reset();
    EXPECT_EQ(RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY), ERROR_SUCCESS);
}

TEST_F(Contract, SaveKeyNeedsTheBackupPrivilege) {
    UniqueHKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, contract::ScratchKey() + "\\sub", 0,
                              KEY_ALL_ACCESS, key.put(), nullptr),
              ERROR_SUCCESS);
    key.reset();
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, contract::ScratchKey(), 0, KEY_ALL_ACCESS, key.put()),
        ERROR_SUCCESS);
    const std::string hive = Scratch() + "\\1.reg";
    EXPECT_EQ(RegSaveKeyA(key.get(), hive), ERROR_PRIVILEGE_NOT_HELD);

    UniqueHandle token;
    ASSERT_TRUE(
        OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()));
    LUID backup;
    ASSERT_TRUE(LookupPrivilegeValueA("", "SeBackupPrivilege", &backup));
    SetLastError(kSentinel);
    ASSERT_TRUE(AdjustTokenPrivileges(token.get(), false, {{backup, SE_PRIVILEGE_ENABLED}}));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

    EXPECT_EQ(RegSaveKeyA(key.get(), hive), ERROR_SUCCESS);
    EXPECT_NE(GetFileAttributesA(hive), INVALID_FILE_ATTRIBUTES);
    if (!WINE_DIFFERS("RegSaveKeyA overwrites an existing hive file")) {
        EXPECT_EQ(RegSaveKeyA(key.get(), hive), ERROR_ALREADY_EXISTS);
    }
    AdjustTokenPrivileges(token.get(), false, {{backup, 0}});
}

// ---- Security ----

TEST_F(Contract, TokenGroupsTwoCallSizingAndPrivileges) {
    UniqueHandle token;
    SetLastError(kSentinel);
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, true, token.put()));
    EXPECT_EQ(GetLastError(), ERROR_NO_TOKEN);
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()));

    DWORD needed = 0;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_GT(needed, 0u);
    TOKEN_GROUPS groups;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetTokenInformation(token.get(), TokenGroups, &groups, needed - 1, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_TRUE(GetTokenInformation(token.get(), TokenGroups, &groups, needed, &needed));
    EXPECT_FALSE(groups.Groups.empty());

    SID* admins = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(SECURITY_NT_AUTHORITY, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                         DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins));
    bool found = false;
    for (const auto& group : groups.Groups)
        found = found || EqualSid(&group.Sid, admins);
    FreeSid(admins);
    // The suite runs as an administrator everywhere (Wine's token always is one).
    EXPECT_TRUE(found);

    LUID luid;
    SetLastError(kSentinel);
    EXPECT_FALSE(LookupPrivilegeValueA("", "SeNoSuchPrivilege", &luid));
    EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_PRIVILEGE);
    EXPECT_TRUE(LookupPrivilegeValueA("", "SeLoadDriverPrivilege", &luid));
}

TEST_F(Contract, LibraryTableFindsTheRedirectionFunctions) {
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    ASSERT_NE(kernel32, nullptr);
    auto isWow64Process =
        reinterpret_cast<IsWow64ProcessFn>(GetProcAddress(kernel32, "IsWow64Process"));
    ASSERT_NE(isWow64Process, nullptr);
    BOOL wow64 = !contract::Is32BitOn64BitWindows();
    ASSERT_TRUE(isWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_EQ(wow64, contract::Is32BitOn64BitWindows());
    EXPECT_NE(GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection"), nullptr);
    SetLastError(kSentinel);
    EXPECT_EQ(GetProcAddress(kernel32, "NoSuchFunction"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
}

// ---- Files and folders ----

TEST_F(Contract, FilesFoldersAndTheirErrors) {
    const std::string dir = Scratch() + "\\folder";
    SetLastError(kSentinel);
    EXPECT_EQ(GetFileAttributesA(dir), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    SetLastError(kSentinel);
    EXPECT_EQ(GetFileAttributesA(dir + "\\deeper\\file.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    ASSERT_TRUE(CreateDirectoryA(dir));
    SetLastError(kSentinel);
    EXPECT_FALSE(CreateDirectoryA(dir));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(GetFileAttributesA(dir) & FILE_ATTRIBUTE_DIRECTORY);

    PutFile(dir + "\\Merged.GPD", "*Feature: PaperSize\r\n");
    EXPECT_EQ(ReadWholeFile(dir + "\\merged.gpd"), "*Feature: PaperSize\r\n");  // any case
    SetLastError(kSentinel);
    EXPECT_FALSE(RemoveDirectoryA(dir));
    EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);

    // A read-only file refuses deletion until its attribute goes.
    ASSERT_TRUE(SetFileAttributesA(dir + "\\Merged.GPD", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesA(dir + "\\Merged.GPD") & FILE_ATTRIBUTE_READONLY,
              FILE_ATTRIBUTE_READONLY);
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileA(dir + "\\Merged.GPD"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    ASSERT_TRUE(SetFileAttributesA(dir + "\\Merged.GPD", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileA(dir + "\\Merged.GPD"));
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileA(dir + "\\Merged.GPD"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(RemoveDirectoryA(dir));
}

TEST_F(Contract, FolderEnumerationStartsWithTheDotEntries) {
    PutFile(Scratch() + "\\b.xml", "x");
    PutFile(Scratch() + "\\a.gpd", "yy");
    WIN32_FIND_DATAA data;
    std::vector<std::string> names;
    UniqueFindHandle find(FindFirstFileA(Scratch() + "\\*", &data));
    ASSERT_TRUE(find.valid());
    for (bool more = true; more; more = FindNextFileA(find.get(), &data))
        names.push_back(data.cFileName);
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[0], ".");
    EXPECT_EQ(names[1], "..");
    EXPECT_EQ(names.size(), 4u);

    UniqueFindHandle gpd(FindFirstFileA(Scratch() + "\\*.gpd", &data));
    ASSERT_TRUE(gpd.valid());
    EXPECT_EQ(data.cFileName, "a.gpd");
    EXPECT_EQ(data.nFileSize, 2u);
    SetLastError(kSentinel);
    EXPECT_EQ(FindFirstFileA(Scratch() + "\\*.bud", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    SetLastError(kSentinel);
    EXPECT_EQ(FindFirstFileA(Scratch() + "\\missing\\*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

// Handles that name the object itself: a folder opened once, listed through its handle, and
// entries acted on through handles whose identity matches the listing.
TEST_F(Contract, HandlesListFoldersNameTheirObjectsAndDeleteThem) {
    const std::string dir = Scratch() + "\\tree";
    ASSERT_TRUE(CreateDirectoryA(dir));
    ASSERT_TRUE(CreateDirectoryA(dir + "\\sub"));
    PutFile(dir + "\\a.txt", "abc");

    SetLastError(kSentinel);
    EXPECT_EQ(CreateFileA(dir, FILE_LIST_DIRECTORY, kShareAll, OPEN_EXISTING, 0),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    UniqueFileHandle folder(CreateFileA(dir, FILE_LIST_DIRECTORY | DELETE | FILE_READ_ATTRIBUTES,
                                        kShareAll, OPEN_EXISTING, kItself));
    ASSERT_TRUE(folder.valid()) << GetLastError();
    BY_HANDLE_FILE_INFORMATION info;
    ASSERT_TRUE(GetFileInformationByHandle(folder.get(), &info));
    EXPECT_EQ(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              FILE_ATTRIBUTE_DIRECTORY);

    std::vector<FILE_ID_BOTH_DIR_INFO> entries, batch;
    for (auto infoClass = FileIdBothDirectoryRestartInfo;
         GetFileInformationByHandleEx(folder.get(), infoClass, &batch);
         infoClass = FileIdBothDirectoryInfo) {
        entries.insert(entries.end(), batch.begin(), batch.end());
        SetLastError(kSentinel);
    }
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    std::vector<std::string> names;
    std::uint64_t fileId = 0;
    for (const auto& entry : entries) {
        names.push_back(entry.FileName);
        if (entry.FileName == "a.txt") {
            fileId = entry.FileId;
            EXPECT_EQ(entry.EndOfFile, 3u);
        }
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a.txt", "sub"}));

    // A name outside the code page lists with '?', never a look-alike naming another file.
    const std::string unwritable = WideToAnsi(u"\u0141\u00f3d\u017a.txt");
    ASSERT_TRUE(CreateDirectoryA(Scratch() + "\\names"));
    contract::PutFileNamedInUtf8(Scratch() + "\\names", "\u0141\u00f3d\u017a.txt");
    UniqueFileHandle listed(
        CreateFileA(Scratch() + "\\names", FILE_LIST_DIRECTORY, kShareAll, OPEN_EXISTING, kItself));
    ASSERT_TRUE(GetFileInformationByHandleEx(listed.get(), FileIdBothDirectoryRestartInfo, &batch));
    EXPECT_EQ(batch.back().FileName, unwritable);  // after "." and ".."
    WIN32_FIND_DATAA found;
    UniqueFindHandle find(FindFirstFileA(Scratch() + "\\names\\*.txt", &found));
    EXPECT_EQ(find ? found.cFileName : "", unwritable);

    {
        UniqueFileHandle file(CreateFileA(dir + "\\a.txt",
                                          DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                          kShareAll, OPEN_EXISTING, kItself));
        ASSERT_TRUE(file.valid()) << GetLastError();
        BY_HANDLE_FILE_INFORMATION fileInfo;
        ASSERT_TRUE(GetFileInformationByHandle(file.get(), &fileInfo));
        EXPECT_EQ(fileInfo.nFileIndex, fileId) << "the listing and the handle name one object";
        EXPECT_EQ(fileInfo.dwVolumeSerialNumber, info.dwVolumeSerialNumber);
        EXPECT_EQ(fileInfo.nFileSize, 3u);
        FILE_BASIC_INFO basic;
        basic.FileAttributes = FILE_ATTRIBUTE_READONLY;
        ASSERT_TRUE(SetFileInformationByHandle(file.get(), basic));
        EXPECT_TRUE(GetFileAttributesA(dir + "\\a.txt") & FILE_ATTRIBUTE_READONLY);
        FILE_DISPOSITION_INFO disposition;
        disposition.DeleteFile = true;
        SetLastError(kSentinel);
        EXPECT_FALSE(SetFileInformationByHandle(file.get(), disposition));
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        ASSERT_TRUE(SetFileInformationByHandle(file.get(), basic));
        EXPECT_TRUE(SetFileInformationByHandle(file.get(), disposition));
    }
    SetLastError(kSentinel);
    EXPECT_EQ(GetFileAttributesA(dir + "\\a.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = true;
    SetLastError(kSentinel);
    EXPECT_FALSE(SetFileInformationByHandle(folder.get(), disposition));
    EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
    EXPECT_TRUE(RemoveDirectoryA(dir + "\\sub"));
    EXPECT_TRUE(SetFileInformationByHandle(folder.get(), disposition));
    folder.reset();
    EXPECT_EQ(GetFileAttributesA(dir), INVALID_FILE_ATTRIBUTES);
}

// An open fails when it asks what a handle of the object does not share, or shares less than
// such a handle holds; attributes alone take part in no check. The current directory is held
// for traversing, sharing reading and writing: it refuses only DELETE.
TEST_F(Contract, SharingModesAndTheCurrentDirectory) {
    const std::string file = Scratch() + "\\held.txt";
    PutFile(file, "x");
    {
        UniqueFileHandle reader(CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
        ASSERT_TRUE(reader.valid()) << GetLastError();
        const struct {
            DWORD access, share, error;
        } cases[] = {
            {GENERIC_READ, FILE_SHARE_READ, ERROR_SUCCESS},
            {GENERIC_WRITE, kShareAll, ERROR_SHARING_VIOLATION},
            {GENERIC_READ, FILE_SHARE_WRITE, ERROR_SHARING_VIOLATION},
            {DELETE, kShareAll, ERROR_SHARING_VIOLATION},
            {FILE_READ_ATTRIBUTES, 0, ERROR_SUCCESS},
        };
        for (const auto& c : cases) {
            SetLastError(ERROR_SUCCESS);
            UniqueFileHandle other(CreateFileA(file, c.access, c.share, OPEN_EXISTING, 0));
            EXPECT_EQ(other ? ERROR_SUCCESS : GetLastError(), c.error)
                << c.access << "/" << c.share;
        }
        SetLastError(kSentinel);
        EXPECT_FALSE(DeleteFileA(file));
        EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    }
    const std::string before = GetCurrentDirectoryA();
    ASSERT_TRUE(SetCurrentDirectoryA(Scratch()));
    UniqueFileHandle listing(CreateFileA(Scratch(), FILE_LIST_DIRECTORY | SYNCHRONIZE, kShareAll,
                                         OPEN_EXISTING, kItself));
    EXPECT_TRUE(listing.valid()) << GetLastError();
    SetLastError(kSentinel);
    UniqueFileHandle deleting(CreateFileA(Scratch(), DELETE, kShareAll, OPEN_EXISTING, kItself));
    EXPECT_FALSE(deleting.valid());
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(SetCurrentDirectoryA(before));
}

// A POSIX deletion takes the name at once while another handle still holds the file, so that
// its folder can go.
TEST_F(Contract, PosixDeletionFreesTheFolderAtOnce) {
    const std::string dir = Scratch() + "\\posix";
    ASSERT_TRUE(CreateDirectoryA(dir));
    PutFile(dir + "\\a.txt", "x");
    UniqueFileHandle holder(
        CreateFileA(dir + "\\a.txt", GENERIC_READ, kShareAll, OPEN_EXISTING, 0));
    UniqueFileHandle file(CreateFileA(dir + "\\a.txt", DELETE, kShareAll, OPEN_EXISTING, 0));
    FILE_DISPOSITION_INFO_EX ex;
    ex.Flags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS;
    if (!SetFileInformationByHandle(file.get(), ex)) {
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << "only an unknown class fails";
        if (!WINE_DIFFERS("FileDispositionInfoEx is refused as an unknown class"))
            ADD_FAILURE() << "Windows 10 1709 and later know FileDispositionInfoEx";
        return;
    }
    file.reset();
    EXPECT_TRUE(RemoveDirectoryA(dir)) << GetLastError();
}

TEST_F(Contract, SystemWindowsFolderTwoCallSizing) {
    std::string windows;
    const DWORD needed = GetSystemWindowsDirectoryA(&windows, 0);
    ASSERT_GT(needed, 3u);
    EXPECT_EQ(GetSystemWindowsDirectoryA(&windows, needed), needed - 1);
    EXPECT_EQ(windows.size(), needed - 1);
    EXPECT_TRUE(GetFileAttributesA(windows) & FILE_ATTRIBUTE_DIRECTORY) << windows;
}

// The elevated token's twin, impersonated on the thread until RevertToSelf.
TEST_F(Contract, LinkedTokenImpersonationAndRevert) {
    UniqueHandle process;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, process.put()));
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD length = 0;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetTokenInformation(process.get(), TokenElevationType, &type, 2, &length));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_TRUE(GetTokenInformation(process.get(), TokenElevationType, &type, 4, &length));
    EXPECT_EQ(length, 4u);
    TOKEN_LINKED_TOKEN linked;
    SetLastError(kSentinel);
    const bool hasTwin =
        GetTokenInformation(process.get(), TokenLinkedToken, &linked, sizeof(void*), &length);
    if (type == TokenElevationTypeDefault) {
        EXPECT_FALSE(hasTwin);
        EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_LOGON_SESSION);
        GTEST_SKIP() << "no linked token: the suite's token has no twin";
    }
    ASSERT_TRUE(hasTwin) << GetLastError();
    UniqueHandle twin(linked.LinkedToken);
    TOKEN_ELEVATION_TYPE twinType = TokenElevationTypeDefault;
    ASSERT_TRUE(GetTokenInformation(twin.get(), TokenElevationType, &twinType, 4, &length));
    EXPECT_EQ(twinType,
              type == TokenElevationTypeFull ? TokenElevationTypeLimited : TokenElevationTypeFull);
    SECURITY_IMPERSONATION_LEVEL level = SecurityDelegation;
    ASSERT_TRUE(GetTokenInformation(twin.get(), TokenImpersonationLevel, &level, 4, &length));
    if (level != SecurityIdentification &&
        !WINE_DIFFERS("the linked token allows impersonation without the TCB privilege")) {
        ADD_FAILURE() << "a caller without the TCB privilege gets level " << level;
    }
    SetLastError(kSentinel);
    EXPECT_FALSE(GetTokenInformation(process.get(), TokenImpersonationLevel, &level, 4, &length));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << "a primary token has no level";

    // The same rights as the filtered twin, from the process's own token.
    UniqueHandle duplicable, restricted;
    ASSERT_TRUE(
        OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, duplicable.put()));
    SID* admins = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(SECURITY_NT_AUTHORITY, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                         DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins));
    const std::vector<SID> disabled{*admins};
    FreeSid(admins);
    ASSERT_TRUE(
        CreateRestrictedToken(duplicable.get(), DISABLE_MAX_PRIVILEGE, disabled, restricted.put()));
    for (HANDLE identity : {twin.get(), restricted.get()}) {
        ASSERT_TRUE(ImpersonateLoggedOnUser(identity));
        UniqueHandle thread;
        EXPECT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, true, thread.put()));
        EXPECT_TRUE(RevertToSelf());
        SetLastError(kSentinel);
        EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, true, thread.put()));
        EXPECT_EQ(GetLastError(), ERROR_NO_TOKEN);
    }
}

TEST_F(Contract, MoveFileExReplacesOnlyWhenAsked) {
    const std::string from = Scratch() + "\\new.tmp";
    const std::string to = Scratch() + "\\file.gpd";
    PutFile(from, "new");
    PutFile(to, "old");
    SetLastError(kSentinel);
    EXPECT_FALSE(MoveFileExA(from, to, 0));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(ReadWholeFile(to), "new");
    EXPECT_EQ(GetFileAttributesA(from), INVALID_FILE_ATTRIBUTES);

    EXPECT_TRUE(CopyFileA(to, from, true));
    SetLastError(kSentinel);
    EXPECT_FALSE(CopyFileA(to, from, true));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
}

// What the settings archive's files rest on: a file made create-new is renamed through its
// handle, and a folder is made with an access list of its own.
TEST_F(Contract, RenameByHandleFileTypeAndFoldersWithAnAccessList) {
    const std::string from = Scratch() + "\\fresh.tmp", to = Scratch() + "\\renamed.roy";
    PutFile(to, "old");
    UniqueFileHandle file(CreateFileA(from, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                                      CREATE_NEW, FILE_FLAG_OPEN_REPARSE_POINT));
    ASSERT_TRUE(file.valid());
    EXPECT_EQ(GetFileType(file.get()), FILE_TYPE_DISK);
    DWORD wrote = 0;
    ASSERT_TRUE(WriteFile(file.get(), "new", 3, &wrote));
    FILE_RENAME_INFO rename;
    rename.FileName = to;
    SetLastError(kSentinel);
    EXPECT_FALSE(SetFileInformationByHandle(file.get(), rename));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    rename.ReplaceIfExists = true;
    EXPECT_TRUE(SetFileInformationByHandle(file.get(), rename));
    file.reset();
    EXPECT_EQ(ReadWholeFile(to), "new");
    EXPECT_EQ(GetFileAttributesA(from), INVALID_FILE_ATTRIBUTES);

    const std::string folder = Scratch() + "\\admins";
    const std::string access = "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
    EXPECT_TRUE(CreateDirectoryA(folder, access));
    SetLastError(kSentinel);
    EXPECT_FALSE(CreateDirectoryA(folder, access));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(RemoveDirectoryA(folder));
}

TEST_F(Contract, EventSourcesTheSharedDataFolderAndOwners) {
    HANDLE source = RegisterEventSourceA("", "Quellin");
    ASSERT_NE(source, nullptr);
    EXPECT_TRUE(ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 100, {"contract entry"}));
    EXPECT_TRUE(DeregisterEventSource(source));
    SetLastError(kSentinel);
    if (!WINE_DIFFERS("RegisterEventSourceA gives a handle to the Security log")) {
        EXPECT_EQ(RegisterEventSourceA("", "Security"), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }

    std::string shared;
    ASSERT_EQ(SHGetFolderPathA(0, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, &shared), 0);
    EXPECT_NE(GetFileAttributesA(shared) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_FALSE(EndsWithBackslash(shared));

    const DWORD itself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
    UniqueFileHandle blind(
        CreateFileA(Scratch(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, OPEN_EXISTING, itself));
    UniqueFileHandle folder(
        CreateFileA(Scratch(), READ_CONTROL, FILE_SHARE_READ, OPEN_EXISTING, itself));
    ASSERT_TRUE(blind.valid() && folder.valid());
    SID owner;
    EXPECT_EQ(GetSecurityInfo(blind.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetSecurityInfo(folder.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner),
              ERROR_SUCCESS);
    EXPECT_EQ(owner.IdentifierAuthority, SECURITY_NT_AUTHORITY);
    EXPECT_FALSE(owner.SubAuthority.empty());

    const std::string owned = Scratch() + "\\owned";
    ASSERT_TRUE(CreateDirectoryA(owned, "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)"));
    UniqueFileHandle held(CreateFileA(owned, READ_CONTROL, FILE_SHARE_READ, OPEN_EXISTING, itself));
    EXPECT_EQ(GetSecurityInfo(held.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner),
              ERROR_SUCCESS);
    if (!WINE_DIFFERS("a folder's owner is its maker's, whatever its descriptor names")) {
        EXPECT_EQ(owner, (SID{SECURITY_NT_AUTHORITY,
                              {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}}));
    }
    held.reset();
    EXPECT_TRUE(RemoveDirectoryA(owned));
}

TEST_F(Contract, FileHandlesReadWriteSeekAndTimes) {
    const std::string path = Scratch() + "\\data.bin";
    UniqueFileHandle file(
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(file.valid());
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(file.get(), "0123456789", 10, &done));
    std::int64_t position = -1;
    ASSERT_TRUE(SetFilePointerEx(file.get(), 4, &position, FILE_BEGIN));
    EXPECT_EQ(position, 4);
    ASSERT_TRUE(SetEndOfFile(file.get()));
    std::int64_t size = 0;
    ASSERT_TRUE(GetFileSizeEx(file.get(), &size));
    EXPECT_EQ(size, 4);
    ASSERT_TRUE(SetFilePointerEx(file.get(), 0, nullptr, FILE_BEGIN));
    char buffer[16] = {};
    ASSERT_TRUE(ReadFile(file.get(), buffer, sizeof buffer, &done));
    EXPECT_EQ(std::string(buffer, done), "0123");
    ASSERT_TRUE(ReadFile(file.get(), buffer, sizeof buffer, &done));
    EXPECT_EQ(done, 0u);  // the end of a file reads as success with nothing

    // 2021-03-04 05:06:08 UTC keeps its even seconds on every file system.
    const FILETIME written{132592971680000000ull};
    ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &written));
    FILETIME back;
    ASSERT_TRUE(GetFileTime(file.get(), nullptr, nullptr, &back));
    EXPECT_EQ(back, written);
    file.reset();

    SetLastError(kSentinel);
    EXPECT_EQ(CreateFileA(path, GENERIC_READ, 0, CREATE_NEW, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    SetLastError(kSentinel);
    EXPECT_EQ(CreateFileA(Scratch() + "\\missing.bin", GENERIC_READ, 0, OPEN_EXISTING, 0),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(Contract, TempPathTempNamesAndEnvironment) {
    std::string temp;
    const DWORD needed = GetTempPathA(0, &temp);
    ASSERT_GT(needed, 1u);
    EXPECT_TRUE(temp.empty());
    const DWORD length = GetTempPathA(needed, &temp);
    EXPECT_EQ(length, needed - 1);
    ASSERT_EQ(temp.size(), length);
    EXPECT_EQ(temp.back(), '\\');
    EXPECT_TRUE(GetFileAttributesA(temp) & FILE_ATTRIBUTE_DIRECTORY);

    std::string name;
    ASSERT_NE(GetTempFileNameA(Scratch(), "qzp", 0, &name), 0u);
    EXPECT_EQ(name.rfind(Scratch() + "\\qzp", 0), 0u) << name;
    ASSERT_GT(name.size(), 4u);
    const std::string extension = name.substr(name.size() - 4);
    EXPECT_TRUE(extension == ".TMP" || extension == ".tmp") << name;
    if (!WINE_DIFFERS("GetTempFileNameA writes the extension in lower case")) {
        EXPECT_EQ(extension, ".TMP");
    }
    EXPECT_EQ(ReadWholeFile(name), "");  // created, empty

    std::string windir;
    EXPECT_GT(GetEnvironmentVariableA("windir", &windir), 0u);
    EXPECT_TRUE(GetFileAttributesA(windir) & FILE_ATTRIBUTE_DIRECTORY) << windir;
    SetLastError(kSentinel);
    EXPECT_EQ(GetEnvironmentVariableA("QUELLIN_NO_SUCH_VARIABLE", &windir), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);
}

TEST_F(Contract, FileSystemRedirectionOfThirtyTwoBitPrograms) {
    if (!contract::Is32BitOn64BitWindows())
        GTEST_SKIP() << "no redirection: not a 32-bit program on 64-bit Windows";
    std::string windir;
    ASSERT_GT(GetEnvironmentVariableA("windir", &windir), 0u);
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    auto disable = reinterpret_cast<Wow64DisableWow64FsRedirectionFn>(
        GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection"));
    auto revert = reinterpret_cast<Wow64RevertWow64FsRedirectionFn>(
        GetProcAddress(kernel32, "Wow64RevertWow64FsRedirection"));
    ASSERT_NE(disable, nullptr);
    ASSERT_NE(revert, nullptr);

    // A file only in SysWOW64, and one in the spool folder, which is exempt.
    const std::string marker = "quellin-contract-marker.txt";
    PutFile(windir + "\\SysWOW64\\" + marker, "32");
    const std::string spool = windir + "\\System32\\spool\\" + marker;
    PutFile(spool, "spool");
    EXPECT_NE(GetFileAttributesA(windir + "\\System32\\" + marker), INVALID_FILE_ATTRIBUTES);

    void* old = nullptr;
    ASSERT_TRUE(disable(&old));
    EXPECT_EQ(GetFileAttributesA(windir + "\\System32\\" + marker), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadWholeFile(spool), "spool");
    EXPECT_EQ(ReadWholeFile(windir + "\\SysWOW64\\" + marker), "32");
    ASSERT_TRUE(revert(old));

    EXPECT_EQ(ReadWholeFile(windir + "\\System32\\" + marker), "32");
    EXPECT_EQ(ReadWholeFile(windir + "\\Sysnative\\spool\\" + marker), "spool");
    EXPECT_TRUE(DeleteFileA(spool));
    EXPECT_TRUE(DeleteFileA(windir + "\\SysWOW64\\" + marker));
}

// ---- Processes and shared memory ----

TEST_F(Contract, ShellExecuteExWaitsAndReadsTheExitCode) {
    const contract::ExitingProgram program = contract::ProgramWithExitCode();
    SHELLEXECUTEINFOA info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "open";
    info.lpFile = program.file;
    info.lpParameters = program.parameters;
    info.nShow = SW_HIDE;
    ASSERT_TRUE(ShellExecuteExA(&info)) << "error " << GetLastError();
    ASSERT_NE(info.hProcess, nullptr);
    UniqueHandle process(info.hProcess);
    EXPECT_EQ(WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
    DWORD code = kSentinel;
    ASSERT_TRUE(GetExitCodeProcess(process.get(), &code));
    EXPECT_EQ(code, program.exitCode);

    SHELLEXECUTEINFOA missing;
    missing.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    missing.lpFile = Scratch() + "\\missing.exe";
    SetLastError(kSentinel);
    EXPECT_FALSE(ShellExecuteExA(&missing));
    EXPECT_TRUE(GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND)
        << GetLastError();
    EXPECT_EQ(missing.hProcess, nullptr);
}

// What names a run: the computer's name, the same each time, and ids that never repeat.
TEST_F(Contract, ComputerNameAndFreshGuids) {
    std::string name, again;
    ASSERT_TRUE(GetComputerNameA(&name));
    ASSERT_TRUE(GetComputerNameA(&again));
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(name, again);
    std::vector<std::string> ids;
    for (int i = 0; i < 64; ++i) {
        GUID guid;
        ASSERT_EQ(CoCreateGuid(&guid), 0);
        ids.emplace_back(reinterpret_cast<const char*>(&guid), sizeof guid);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
}

TEST_F(Contract, NamedSharedMemoryIsSharedWithAnotherProcess) {
    const std::string name = "QuellinContract" + Scratch().substr(Scratch().rfind('\\') + 1);
    SetLastError(kSentinel);
    UniqueHandle mapping(
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, name));
    ASSERT_TRUE(mapping.valid());
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    auto* view =
        static_cast<std::uint32_t*>(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 8));
    ASSERT_NE(view, nullptr);
    view[0] = 41;

    SetLastError(kSentinel);
    UniqueHandle again(
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, name));
    EXPECT_TRUE(again.valid());
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

    EXPECT_EQ(contract::RunHelper("mapping " + name), 0u);
    EXPECT_EQ(view[1], 42u);
    EXPECT_TRUE(UnmapViewOfFile(view));
}

// An object's access list holds when it is opened again, names take only known prefixes, and
// one name is one object whatever its kind.
TEST_F(Contract, NamedObjectsKeepTheirAccessListAndKind) {
    const std::string name = "QuellinAcl" + Scratch().substr(Scratch().rfind('\\') + 1);
    const SECURITY_ATTRIBUTES deniesAdministrators{"D:(D;;GA;;;BA)(A;;GA;;;WD)"};
    UniqueHandle held(CreateMutexA(&deniesAdministrators, "Global\\" + name));
    ASSERT_TRUE(held.valid()) << GetLastError();
    SetLastError(kSentinel);
    EXPECT_EQ(CreateMutexA(nullptr, "Global\\" + name), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    UniqueHandle mapping(
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, name));
    ASSERT_TRUE(mapping.valid());
    EXPECT_EQ(CreateMutexA(nullptr, name), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(CreateMutexA(nullptr, "NoSuchPrefix" + name + "\\" + name), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

// A namespace whose boundary needs the Administrators group: made once, then opened, and its
// objects are named through the alias prefix.
TEST_F(Contract, PrivateNamespaceIsMadeOnceAndOpenedAfter) {
    const std::string alias = "QuellinNs" + Scratch().substr(Scratch().rfind('\\') + 1);
    HANDLE descriptor = CreateBoundaryDescriptorA(alias, 0);
    if (!descriptor && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED &&
        WINE_DIFFERS("private namespaces are not implemented"))
        return;
    ASSERT_NE(descriptor, nullptr);
    ASSERT_TRUE(AddSIDToBoundaryDescriptor(
        &descriptor,
        SID{SECURITY_NT_AUTHORITY, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}}));
    UniqueBoundaryDescriptor boundary(descriptor);
    const SECURITY_ATTRIBUTES administratorsOnly{"D:P(A;;GA;;;BA)(A;;GA;;;SY)"};
    UniqueNamespace made(CreatePrivateNamespaceA(&administratorsOnly, boundary.get(), alias));
    ASSERT_TRUE(made.valid()) << GetLastError();
    EXPECT_EQ(CreatePrivateNamespaceA(&administratorsOnly, boundary.get(), alias), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    UniqueNamespace opened(OpenPrivateNamespaceA(boundary.get(), alias));
    EXPECT_TRUE(opened.valid()) << GetLastError();
    UniqueHandle lock(CreateMutexA(&administratorsOnly, alias + "\\Lock"));
    ASSERT_TRUE(lock.valid()) << GetLastError();
    UniqueHandle again(CreateMutexA(nullptr, alias + "\\Lock"));
    EXPECT_TRUE(again.valid());
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
}

// A window names its process, whose image is this program however its path is spelt; the
// hidden application window is never minimised.
TEST_F(Contract, WindowsNameTheirProcessAndItsImage) {
    struct Host final : WindowHost {
        bool IsMinimized() override { return true; }
        void Restore() override {}
        void BringToFront() override {}
    } host;
    const HWND window = RegisterApplicationWindow(&host);
    if (window == 0 && WINE_DIFFERS("no window can be made without a display"))
        return;
    ASSERT_NE(window, 0u);
    DWORD processId = 0;
    EXPECT_NE(GetWindowThreadProcessId(window, &processId), 0u);
    EXPECT_EQ(processId, GetCurrentProcessId());
    EXPECT_FALSE(IsIconic(window));
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, false, processId));
    std::string image, longImage, longModule;
    ASSERT_TRUE(process.valid() && QueryFullProcessImageNameA(process.get(), 0, &image));
    ASSERT_GT(GetLongPathNameA(image, 32768, &longImage), 0u);
    ASSERT_GT(GetLongPathNameA(UpperAnsi(GetModuleFileNameA()), 32768, &longModule), 0u);
    EXPECT_TRUE(SameName(longImage, longModule)) << longImage << " / " << longModule;
    DWORD session = kSentinel;
    EXPECT_TRUE(ProcessIdToSessionId(processId, &session));
    EXPECT_NE(session, kSentinel);
    UnregisterApplicationWindow(window);
    EXPECT_EQ(GetWindowThreadProcessId(window, &processId), 0u);
}

// ---- Services ----

class ServiceHandle {
  public:
    explicit ServiceHandle(SC_HANDLE h) : h_(h) {}
    ~ServiceHandle() {
        if (h_)
            CloseServiceHandle(h_);
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    SC_HANDLE get() const { return h_; }

  private:
    SC_HANDLE h_;
};

DWORD WaitForState(SC_HANDLE service, DWORD wanted) {
    SERVICE_STATUS status;
    for (int i = 0; i < 300; ++i) {
        if (!QueryServiceStatus(service, &status))
            return 0;
        if (status.dwCurrentState == wanted)
            break;
        Sleep(100);
    }
    return status.dwCurrentState;
}

TEST_F(Contract, SpoolerServiceStatusAndControl) {
    ServiceHandle manager(OpenSCManagerA("", "", SC_MANAGER_CONNECT));
    ASSERT_NE(manager.get(), nullptr);
    SetLastError(kSentinel);
    EXPECT_EQ(OpenServiceA(manager.get(), "QuellinNoSuchService", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);

    ServiceHandle query(OpenServiceA(manager.get(), "Spooler", SERVICE_QUERY_STATUS));
    ASSERT_NE(query.get(), nullptr);
    SERVICE_STATUS status;
    ASSERT_TRUE(QueryServiceStatus(query.get(), &status));
    const DWORD initial = status.dwCurrentState;
    EXPECT_TRUE(initial == SERVICE_STOPPED || initial == SERVICE_RUNNING) << initial;
    SetLastError(kSentinel);
    EXPECT_FALSE(ControlService(query.get(), SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    // Listing the dependents takes its own access right, and sizes in two calls.
    std::vector<ENUM_SERVICE_STATUSA> dependents;
    DWORD needed = 0, returned = kSentinel;
    if (!WINE_DIFFERS("EnumDependentServicesA does not check the handle's access")) {
        SetLastError(kSentinel);
        EXPECT_FALSE(EnumDependentServicesA(query.get(), SERVICE_ACTIVE, &dependents, 0, &needed,
                                            &returned));
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }
    ServiceHandle listing(OpenServiceA(manager.get(), "Spooler", SERVICE_ENUMERATE_DEPENDENTS));
    ASSERT_NE(listing.get(), nullptr);
    if (!EnumDependentServicesA(listing.get(), SERVICE_ACTIVE, &dependents, 0, &needed,
                                &returned)) {
        EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
        EXPECT_TRUE(EnumDependentServicesA(listing.get(), SERVICE_ACTIVE, &dependents, needed,
                                           &needed, &returned));
    }
    EXPECT_EQ(dependents.size(), returned);

    ServiceHandle control(OpenServiceA(manager.get(), "spooler",
                                       SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP));
    ASSERT_NE(control.get(), nullptr);
    if (initial == SERVICE_STOPPED) {
        ASSERT_TRUE(StartServiceA(control.get()));
        EXPECT_EQ(WaitForState(control.get(), SERVICE_RUNNING), SERVICE_RUNNING);
    }
    SetLastError(kSentinel);
    EXPECT_FALSE(StartServiceA(control.get()));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);

    ASSERT_TRUE(ControlService(control.get(), SERVICE_CONTROL_STOP, &status));
    EXPECT_TRUE(status.dwCurrentState == SERVICE_STOP_PENDING ||
                status.dwCurrentState == SERVICE_STOPPED)
        << status.dwCurrentState;
    EXPECT_EQ(WaitForState(control.get(), SERVICE_STOPPED), SERVICE_STOPPED);
    SetLastError(kSentinel);
    EXPECT_FALSE(ControlService(control.get(), SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);

    if (initial == SERVICE_RUNNING) {
        ASSERT_TRUE(StartServiceA(control.get()));
        EXPECT_EQ(WaitForState(control.get(), SERVICE_RUNNING), SERVICE_RUNNING);
    }
}

// ---- Spooler ----

TEST_F(Contract, PortEnumerationTwoCallSizingAndAdding) {
    DWORD needed = 0, returned = kSentinel;
    std::vector<PORT_INFO_1A> ports;
    SetLastError(kSentinel);
    EXPECT_FALSE(EnumPortsA("", 1, &ports, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_GT(needed, 0u);
    EXPECT_EQ(returned, 0u);
    ASSERT_TRUE(EnumPortsA("", 1, &ports, needed, &needed, &returned));
    EXPECT_EQ(ports.size(), returned);
    EXPECT_GT(returned, 0u);

    // Ports outlive the test (the layer deletes none): a name of this run's own.
    const std::string name = "QUELLIN" + Scratch().substr(Scratch().rfind('\\') + 1) + ":";
    bool listed = false;
    for (const auto& port : ports)
        listed = listed || port.pName == name;
    ASSERT_FALSE(listed);
    EXPECT_TRUE(AddPortExA("", 1, PORT_INFO_1A{name}, "Local Port")) << GetLastError();
    SetLastError(kSentinel);
    EXPECT_FALSE(AddPortExA("", 1, PORT_INFO_1A{name}, "Local Port"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    EnumPortsA("", 1, nullptr, 0, &needed, &returned);
    ASSERT_TRUE(EnumPortsA("", 1, &ports, needed, &needed, &returned));
    listed = false;
    for (const auto& port : ports)
        listed = listed || port.pName == name;
    EXPECT_TRUE(listed);
}

TEST_F(Contract, PrinterEnumerationTwoCallSizing) {
    DWORD needed = 0, returned = kSentinel;
    std::vector<PRINTER_INFO_A> printers;
    SetLastError(kSentinel);
    const BOOL first = EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, "", 2,
                                     &printers, 0, &needed, &returned);
    if (!WINE_DIFFERS("without CUPS there are no printers, so the first call succeeds empty")) {
        EXPECT_FALSE(first);
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        ASSERT_GT(needed, 0u);
        ASSERT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, "", 2, &printers,
                                  needed, &needed, &returned));
        EXPECT_EQ(printers.size(), returned);
        ASSERT_GT(returned, 0u);
        EXPECT_FALSE(printers[0].pPrinterName.empty());
        EXPECT_FALSE(printers[0].pDriverName.empty());
    }

    HANDLE printer = nullptr;
    SetLastError(kSentinel);
    EXPECT_FALSE(OpenPrinterA("Quellin No Such Printer", &printer, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PRINTER_NAME);
}

// ---- Text ----

// The suite runs in code page 1252 (an English or C locale) and again in 932 (a Japanese
// one), where 0x5C is also the trail byte of characters such as "\u8868" (95 5C).
int AnsiCodePage() {
    if (AnsiToWide("\x80") == u"\u20ac")
        return 1252;
    return AnsiToWide("\x95\x5C") == u"\u8868" ? 932 : 0;
}

TEST_F(Contract, AnsiNamesConvertExactlyOrAreRefused) {
    if (AnsiCodePage() == 0)
        GTEST_SKIP() << "the ANSI code page is neither 1252 nor 932";
    struct Case {
        std::u16string wide;
        std::string ansi;
        bool exact;
    };
    std::vector<Case> cases = {
        {u"Caf\u00e9 PDF", "Caf\xE9 PDF", true},
        {u"r\u00e9sum\u00e9.pdf \u20ac", "r\xE9sum\xE9.pdf \x80", true},
        {u"J\u00fcrgen", "J\xFCrgen", true},
        // No look-alike: best fit would write "O" and name another printer.
        {u"\u03a9 PDF", "? PDF", false},
        {u"\u0141\u00f3d\u017a",
         "?\xF3"
         "d?",
         false},
        // Each half of a surrogate pair stands for itself, as Windows writes it.
        {u"\U0001F5A8", "??", false},
    };
    if (AnsiCodePage() == 932)
        cases = {
            {u"\u8868.roy", "\x95\x5C.roy", true},
            {u"\u30bd\u30d5\u30c8", "\x83\x5C\x83\x74\x83\x67", true},
            {u"\u03a9 \uff71", "\x83\xB6 \xB1", true},
            // No look-alike: best fit would write "e" and "\\".
            {u"Caf\u00e9 \u00a5 \U0001F5A8", "Caf? ? ??", false},
        };
    for (const auto& c : cases) {
        bool exact = !c.exact;
        EXPECT_EQ(WideToAnsi(c.wide, &exact), c.ansi);
        EXPECT_EQ(exact, c.exact) << c.ansi;
        if (c.exact) {
            EXPECT_EQ(AnsiToWide(c.ansi), c.wide);
            EXPECT_EQ(Utf8ToAnsi(WideToUtf8(c.wide)), c.ansi);
        }
    }
}

TEST_F(Contract, EveryAnsiByteRoundTrips) {
    if (AnsiCodePage() == 0)
        GTEST_SKIP() << "the ANSI code page is neither 1252 nor 932";
    std::string all;  // in 932 only ASCII and katakana stand alone
    for (int c = 1; c < 256; ++c)
        if (AnsiCodePage() == 1252 || c < 0x80 || (c > 0xA0 && c < 0xE0))
            all += static_cast<char>(c);
    bool exact = false;
    EXPECT_EQ(WideToAnsi(AnsiToWide(all), &exact), all);
    EXPECT_TRUE(exact);
    exact = false;
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all), &exact), all);
    EXPECT_TRUE(exact);
    // 932's pairs of a few lead bytes come back as the same characters (a duplicate of NEC or
    // IBM as its canonical bytes).
    std::string pairs;
    for (int trail = 0x40; AnsiCodePage() == 932 && trail <= 0xFC; ++trail)
        for (char lead : {'\x81', '\x83', '\x88', '\x95', '\x9F', '\xE0', '\xEA'})
            pairs += {lead, static_cast<char>(trail == 0x7F ? 0x40 : trail)};
    EXPECT_EQ(AnsiToWide(WideToAnsi(AnsiToWide(pairs))), AnsiToWide(pairs));
    // Malformed UTF-8 has no ANSI form either.
    EXPECT_EQ(Utf8ToAnsi("a\xC3", &exact), "a?");
    EXPECT_FALSE(exact);
}

// Paths split at backslash characters, never at a trail byte 0x5C, and letters fold without
// touching trail bytes (the trail 0x61 of "\u30c2" is no "a").
TEST_F(Contract, PathsSplitAndFoldByCharacter) {
    if (AnsiCodePage() != 932)
        GTEST_SKIP() << "a single-byte code page has no trail bytes";
    const std::string documents = "C:\\Users\\bob\\Documents";
    const std::string file = documents + "\\\x95\x5C.roy";  // "\u8868.roy"
    EXPECT_EQ(FolderOf(file), documents);
    EXPECT_EQ(NameOf(file), "\x95\x5C.roy");
    const std::string folder = "C:\\\x83\x5C";  // "C:\\\u30bd"
    EXPECT_EQ(JoinPath(folder, "a.txt"), folder + "\\a.txt");
    EXPECT_EQ(CharPrevA(folder.c_str(), folder.c_str() + 5), folder.c_str() + 3);
    EXPECT_EQ(UpperAnsi("\x83\x61x"), "\x83\x61X");
    EXPECT_FALSE(SameName("\x83\x61", "\x83\x41"));
}

}  // namespace

}  // namespace quellin::platform::contract
