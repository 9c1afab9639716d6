// The sandbox's registry against the behaviour of Windows that the program relies on.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/registry.h"
#include "platform/sim/registry_store.h"
#include "sandbox_fixture.h"
#include "system/admin.h"

namespace quellin::platform {

namespace {

using namespace platform;

constexpr DWORD kSentinel = 0xDEADBEEF;
const std::string kPrinterKey =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\Microsoft Print to PDF";

std::string ReadString(HKEY key, const std::string& name, LONG* rc) {
    DWORD type = 0, size = 0;
    *rc = RegQueryValueExA(key, name, &type, nullptr, &size);
    if (*rc != ERROR_SUCCESS)
        return {};
    std::string data(size, '\0');
    *rc = RegQueryValueExA(key, name, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (!data.empty() && data.back() == '\0')
        data.pop_back();
    return data;
}

TEST(Registry, SixtyFourBitViewDecidesWhatA32BitProgramSeesUnderSoftware) {
    testsupport::ScopedSandbox sandbox;
    UniqueHKey key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPrinterKey, 0, KEY_READ, key.put()),
              ERROR_FILE_NOT_FOUND)
        << "without KEY_WOW64_64KEY the 32-bit view (WOW6432Node) lacks the printer";
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPrinterKey, 0, KEY_READ | KEY_WOW64_64KEY, key.put()),
        ERROR_SUCCESS);
    LONG rc;
    EXPECT_FALSE(ReadString(key.get(), "PrintQueueV4DriverDirectory", &rc).empty());
    EXPECT_EQ(rc, ERROR_SUCCESS);
}

TEST(Registry, On32BitWindowsThereIsOnlyOneView) {
    sim::InitOptions options;
    options.config.arch = "x86";
    testsupport::ScopedSandbox sandbox(options);
    UniqueHKey key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPrinterKey, 0, KEY_READ, key.put()),
              ERROR_SUCCESS);
}

TEST(Registry, KeysAndValueNamesIgnoreLetterCase) {
    testsupport::ScopedSandbox sandbox;
    UniqueHKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Tarnwell\\Quellin", 0, KEY_ALL_ACCESS,
                              key.put(), nullptr),
              ERROR_SUCCESS);
    DWORD value = 7;
    ASSERT_EQ(RegSetValueExA(key.get(), "Rotation", REG_DWORD, reinterpret_cast<BYTE*>(&value), 4),
              ERROR_SUCCESS);
    UniqueHKey again;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\tarnwell\\QUELLIN", 0, KEY_READ, again.put()),
        ERROR_SUCCESS);
    DWORD read = 0, size = 4, type = 0;
    EXPECT_EQ(
        RegQueryValueExA(again.get(), "rotation", &type, reinterpret_cast<BYTE*>(&read), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(read, 7u);
}

TEST(Registry, TwoCallSizingReportsTheSizeAndRefusesShortBuffers) {
    testsupport::ScopedSandbox sandbox;
    sim::reg::SetString("HKCU\\Software\\Tarnwell\\Quellin", "ASFile", "C:\\x.pdf");
    UniqueHKey key;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tarnwell\\Quellin", 0, KEY_READ, key.put()),
        ERROR_SUCCESS);
    DWORD size = kSentinel;
    EXPECT_EQ(RegQueryValueExA(key.get(), "ASFile", nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 9u) << "the terminating zero counts";
    BYTE small[4];
    DWORD smallSize = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key.get(), "ASFile", nullptr, small, &smallSize), ERROR_MORE_DATA);
    EXPECT_EQ(smallSize, 9u);
    EXPECT_EQ(RegQueryValueExA(key.get(), "missing", nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
}

TEST(Registry, AccessMaskIsEnforcedOnTheHandle) {
    testsupport::ScopedSandbox sandbox;
    sim::reg::CreateKey("HKCU\\Software\\Tarnwell\\Quellin");
    UniqueHKey key;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tarnwell\\Quellin", 0, KEY_READ, key.put()),
        ERROR_SUCCESS);
    DWORD value = 1;
    EXPECT_EQ(RegSetValueExA(key.get(), "Rotation", REG_DWORD, reinterpret_cast<BYTE*>(&value), 4),
              ERROR_ACCESS_DENIED);
}

TEST(Registry, MachineKeysAreReadOnlyWithoutElevation) {
    sim::InitOptions options;
    options.config.user = "filtered-admin";
    testsupport::ScopedSandbox sandbox(options);
    UniqueHKey key;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarnwell", 0,
                              KEY_ALL_ACCESS | KEY_WOW64_64KEY, key.put(), nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPrinterKey, 0, KEY_READ | KEY_WOW64_64KEY, key.put()),
        ERROR_SUCCESS);
}

TEST(Registry, DeletedKeyFailsOnItsOpenHandle) {
    testsupport::ScopedSandbox sandbox;
    UniqueHKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Doomed", 0, KEY_ALL_ACCESS, key.put(),
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Doomed"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key.get(), "x", nullptr, nullptr, &size), ERROR_KEY_DELETED);
}

TEST(Registry, SaveAndRestoreNeedTheirPrivilegesAndRoundTripASubtree) {
    testsupport::ScopedSandbox sandbox;
    UniqueHKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Printers\\DevModes2", 0, KEY_ALL_ACCESS, key.put()),
              ERROR_SUCCESS);
    const std::string hive = "C:\\Users\\User\\AppData\\Local\\Temp\\2.reg";
    EXPECT_EQ(RegSaveKeyA(key.get(), hive), static_cast<LONG>(ERROR_PRIVILEGE_NOT_HELD));

    sim::reg::SetString("HKCU\\Printers\\DevModes2\\Sub", "Inner", "kept");
    quellin::system::EnablePrivilege("SeBackupPrivilege");
    quellin::system::EnablePrivilege("SeRestorePrivilege");

    ASSERT_EQ(RegSaveKeyA(key.get(), hive), ERROR_SUCCESS);
    EXPECT_EQ(RegSaveKeyA(key.get(), hive), static_cast<LONG>(ERROR_ALREADY_EXISTS));

    sim::reg::DeleteKey("HKCU\\Printers\\DevModes2\\Sub");
    sim::reg::SetString("HKCU\\Printers\\DevModes2", "Intruder", "gone after restore");
    ASSERT_EQ(RegRestoreKeyA(key.get(), hive, REG_FORCE_RESTORE), ERROR_SUCCESS);
    EXPECT_FALSE(sim::reg::GetValue("HKCU\\Printers\\DevModes2", "Intruder"));
    auto inner = sim::reg::GetValue("HKCU\\Printers\\DevModes2\\Sub", "Inner");
    ASSERT_TRUE(inner);
    EXPECT_EQ(sim::reg::FormatData(*inner), "kept");
    EXPECT_TRUE(sim::reg::GetValue("HKCU\\Printers\\DevModes2", "Microsoft Print to PDF"));
}

TEST(Registry, RestoreOfADamagedHiveChangesNothing) {
    testsupport::ScopedSandbox sandbox;
    testsupport::WriteHostFile(sandbox.HostPath("C:\\bad.reg"), "regfQSIM\x01garbage");
    quellin::system::EnablePrivilege("SeBackupPrivilege");
    quellin::system::EnablePrivilege("SeRestorePrivilege");
    UniqueHKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Printers\\DevModes2", 0, KEY_ALL_ACCESS, key.put()),
              ERROR_SUCCESS);
    EXPECT_EQ(RegRestoreKeyA(key.get(), "C:\\bad.reg", 0), static_cast<LONG>(ERROR_BADDB));
    EXPECT_TRUE(sim::reg::GetValue("HKCU\\Printers\\DevModes2", "Microsoft Print to PDF"));
}

// Damage to a saved hive, each kind refused with the error Windows gives for a bad hive and
// leaving the key as it was.
TEST(Registry, DamagedOrForeignHivesRestoreNothing) {
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        LONG error;
    };
    const std::vector<Case> cases = {
        {"foreign file", [](std::string& b) { b = "PK\x05\x06 not a hive at all"; }, ERROR_BADDB},
        {"empty file", [](std::string& b) { b.clear(); }, ERROR_BADDB},
        {"unknown version", [](std::string& b) { b[8] = 2; }, ERROR_BADDB},
        {"header cut short", [](std::string& b) { b.resize(14); }, ERROR_REGISTRY_CORRUPT},
        {"truncated payload", [](std::string& b) { b.pop_back(); }, ERROR_REGISTRY_CORRUPT},
        {"bytes appended", [](std::string& b) { b += "x"; }, ERROR_REGISTRY_CORRUPT},
        {"flipped payload bit", [](std::string& b) { b[b.size() / 2 + 10] ^= 0x10; },
         ERROR_REGISTRY_CORRUPT},
        {"wrong checksum", [](std::string& b) { b[16] ^= 1; }, ERROR_REGISTRY_CORRUPT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::ScopedSandbox sandbox;
        quellin::system::EnablePrivilege("SeBackupPrivilege");
        quellin::system::EnablePrivilege("SeRestorePrivilege");
        sim::reg::SetString("HKCU\\Printers\\Settings\\Deep\\Deeper", "Leaf", "saved");
        UniqueHKey key;
        ASSERT_EQ(
            RegOpenKeyExA(HKEY_CURRENT_USER, "Printers\\Settings", 0, KEY_ALL_ACCESS, key.put()),
            ERROR_SUCCESS);
        const std::string hive = "C:\\3.reg";
        ASSERT_EQ(RegSaveKeyA(key.get(), hive), ERROR_SUCCESS);
        auto bytes = testsupport::ReadHostFile(sandbox.HostPath(hive));
        ASSERT_TRUE(bytes);
        c.damage(*bytes);
        testsupport::WriteHostFile(sandbox.HostPath(hive), *bytes);

        sim::reg::SetString("HKCU\\Printers\\Settings\\Deep\\Deeper", "Leaf", "changed");
        sim::reg::SetString("HKCU\\Printers\\Settings", "Added", "stays");
        EXPECT_EQ(RegRestoreKeyA(key.get(), hive, 0), c.error);
        auto leaf = sim::reg::GetValue("HKCU\\Printers\\Settings\\Deep\\Deeper", "Leaf");
        ASSERT_TRUE(leaf);
        EXPECT_EQ(sim::reg::FormatData(*leaf), "changed");
        EXPECT_TRUE(sim::reg::GetValue("HKCU\\Printers\\Settings", "Added"));
        EXPECT_TRUE(sim::reg::GetValue("HKCU\\Printers\\Settings\\Wizard", "ConnectMRU"));
    }
}

// Windows refuses keys nested deeper than 512 below a hive's root; a hive that holds such a
// key is refused as corrupt and changes nothing. Saving and restoring deep trees uses no
// machine stack for the depth.
TEST(Registry, HivesNestedDeeperThanWindowsAllowsAreRefused) {
    for (const auto& [depth, error] : std::vector<std::pair<int, LONG>>{
             {512, ERROR_SUCCESS}, {513, ERROR_REGISTRY_CORRUPT}, {600, ERROR_REGISTRY_CORRUPT}}) {
        SCOPED_TRACE(depth);
        testsupport::ScopedSandbox sandbox;
        quellin::system::EnablePrivilege("SeBackupPrivilege");
        quellin::system::EnablePrivilege("SeRestorePrivilege");
        std::string path = "HKCU\\Printers\\Settings";
        for (int i = 0; i < depth; ++i)
            path += "\\k";
        sim::reg::SetString(path, "Leaf", "deep");
        UniqueHKey key;
        ASSERT_EQ(
            RegOpenKeyExA(HKEY_CURRENT_USER, "Printers\\Settings", 0, KEY_ALL_ACCESS, key.put()),
            ERROR_SUCCESS);
        ASSERT_EQ(RegSaveKeyA(key.get(), "C:\\3.reg"), ERROR_SUCCESS);
        sim::reg::DeleteKey("HKCU\\Printers\\Settings\\k");
        sim::reg::SetString("HKCU\\Printers\\Settings", "Added", "before");
        EXPECT_EQ(RegRestoreKeyA(key.get(), "C:\\3.reg", 0), error);
        EXPECT_EQ(sim::reg::GetValue(path, "Leaf").has_value(), error == ERROR_SUCCESS);
        EXPECT_EQ(sim::reg::GetValue("HKCU\\Printers\\Settings", "Added").has_value(),
                  error != ERROR_SUCCESS);
    }
}

// Windows creates no key deeper than 512 levels below its root, so no save can hold a tree
// that its own restore would refuse.
TEST(Registry, KeysAreCreatedNoDeeperThanWindowsAllows) {
    testsupport::ScopedSandbox sandbox;
    UniqueHKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Printers", 0, KEY_ALL_ACCESS, key.put(), nullptr),
              ERROR_SUCCESS);
    for (int depth = 2; depth <= 513; ++depth) {
        UniqueHKey child;
        ASSERT_EQ(RegCreateKeyExA(key.get(), "k", 0, KEY_ALL_ACCESS, child.put(), nullptr),
                  depth <= 512 ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER)
            << depth;
        key = std::move(child);
    }
}

// The header says what the format promises: magic, version, payload length and its CRC-32.
TEST(Registry, SavedHiveCarriesMagicVersionLengthAndChecksum) {
    testsupport::ScopedSandbox sandbox;
    quellin::system::EnablePrivilege("SeBackupPrivilege");
    UniqueHKey key;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, "Printers\\DevModePerUser", 0, KEY_ALL_ACCESS, key.put()),
        ERROR_SUCCESS);
    ASSERT_EQ(RegSaveKeyA(key.get(), "C:\\1.reg"), ERROR_SUCCESS);
    auto bytes = testsupport::ReadHostFile(sandbox.HostPath("C:\\1.reg"));
    ASSERT_TRUE(bytes);
    ASSERT_GE(bytes->size(), 20u);
    auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<std::uint32_t>(static_cast<std::uint8_t>((*bytes)[at + i])) << (8 * i);
        return v;
    };
    EXPECT_EQ(bytes->substr(0, 8), "regfQSIM");
    EXPECT_EQ(u32(8), 1u);
    EXPECT_EQ(u32(12), bytes->size() - 20);
    // CRC-32 of the payload, computed here independently of the sandbox's own routine.
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 20; i < bytes->size(); ++i) {
        crc ^= static_cast<std::uint8_t>((*bytes)[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    EXPECT_EQ(u32(16), ~crc);
}

}  // namespace

}  // namespace quellin::platform
