#include "system/preferences.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "support/sandbox_fixture.h"

namespace quellin::system {
namespace {

void StoreValue(const std::string& name, platform::DWORD type,
                const std::vector<platform::BYTE>& data) {
    platform::UniqueHKey key;
    ASSERT_EQ(platform::RegCreateKeyExA(platform::HKEY_CURRENT_USER, kPreferencesKey, 0,
                                        platform::KEY_ALL_ACCESS, key.put(), nullptr),
              platform::ERROR_SUCCESS);
    ASSERT_EQ(platform::RegSetValueExA(key.get(), name, type, data.data(),
                                       static_cast<platform::DWORD>(data.size())),
              platform::ERROR_SUCCESS);
}

std::vector<platform::BYTE> Dword(std::int32_t value) {
    std::vector<platform::BYTE> bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

std::vector<platform::BYTE> Text(const std::string& text) {
    std::vector<platform::BYTE> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

TEST(PreferencesTest, NothingStoredGivesDefaults) {
    testsupport::ScopedSandbox sandbox;
    const Preferences loaded = LoadPreferences();
    EXPECT_EQ(loaded.Rotation, 0);
    EXPECT_EQ(loaded.ASFile, "");
}

TEST(PreferencesTest, SaveCreatesTheKeyAndKeepsTheFilePath) {
    testsupport::ScopedSandbox sandbox;
    SavePreferences(-7);
    EXPECT_EQ(LoadPreferences().Rotation, -7);

    StoreValue("ASFile", platform::REG_SZ, Text("C:\\Users\\User\\auto.pdf"));
    SavePreferences(12);
    const Preferences loaded = LoadPreferences();
    EXPECT_EQ(loaded.Rotation, 12);
    EXPECT_EQ(loaded.ASFile, "C:\\Users\\User\\auto.pdf");
}

struct StoredCase {
    const char* label;
    const char* name;
    platform::DWORD type;
    std::vector<platform::BYTE> data;
    std::int32_t rotation;
    std::string file;
};

class StoredValueTest : public ::testing::TestWithParam<StoredCase> {};

TEST_P(StoredValueTest, ValuesOfAnotherTypeReadAsAbsent) {
    testsupport::ScopedSandbox sandbox;
    StoreValue(GetParam().name, GetParam().type, GetParam().data);
    const Preferences loaded = LoadPreferences();
    EXPECT_EQ(loaded.Rotation, GetParam().rotation);
    EXPECT_EQ(loaded.ASFile, GetParam().file);
}

INSTANTIATE_TEST_SUITE_P(
    Values, StoredValueTest,
    ::testing::ValuesIn(std::vector<StoredCase>{
        {"rotation_dword", "Rotation", platform::REG_DWORD, Dword(25), 25, ""},
        {"rotation_negative_dword", "Rotation", platform::REG_DWORD, Dword(-5), -5, ""},
        {"rotation_as_string", "Rotation", platform::REG_SZ, Text("7"), 0, ""},
        {"rotation_as_binary", "Rotation", platform::REG_BINARY, Dword(7), 0, ""},
        {"rotation_short_dword", "Rotation", platform::REG_DWORD, {7, 0}, 0, ""},
        {"file_as_string", "ASFile", platform::REG_SZ, Text("C:\\a.pdf"), 0, "C:\\a.pdf"},
        {"file_as_expandable_string", "ASFile", platform::REG_EXPAND_SZ, Text("C:\\b.pdf"), 0,
         "C:\\b.pdf"},
        {"file_as_dword", "ASFile", platform::REG_DWORD, Dword(1), 0, ""},
        {"file_without_terminating_zero",
         "ASFile",
         platform::REG_SZ,
         {'C', ':', '\\', 'c'},
         0,
         "C:\\c"},
    }),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace quellin::system
