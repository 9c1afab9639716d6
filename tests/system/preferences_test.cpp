#include "system/preferences.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "support/sandbox_fixture.h"

namespace quellin::system {
namespace {

void StoreValue(const std::string& name, win::DWORD type, const std::vector<win::BYTE>& data) {
    win::UniqueHKey key;
    ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_CURRENT_USER, kPreferencesKey, 0, win::KEY_ALL_ACCESS,
                                   key.put(), nullptr),
              win::ERROR_SUCCESS);
    ASSERT_EQ(win::RegSetValueExA(key.get(), name, type, data.data(),
                                  static_cast<win::DWORD>(data.size())),
              win::ERROR_SUCCESS);
}

std::vector<win::BYTE> Dword(std::int32_t value) {
    std::vector<win::BYTE> bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

std::vector<win::BYTE> Text(const std::string& text) {
    std::vector<win::BYTE> bytes(text.begin(), text.end());
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

    StoreValue("ASFile", win::REG_SZ, Text("C:\\Users\\User\\auto.pdf"));
    SavePreferences(12);
    const Preferences loaded = LoadPreferences();
    EXPECT_EQ(loaded.Rotation, 12);
    EXPECT_EQ(loaded.ASFile, "C:\\Users\\User\\auto.pdf");
}

struct StoredCase {
    const char* label;
    const char* name;
    win::DWORD type;
    std::vector<win::BYTE> data;
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
        {"rotation_dword", "Rotation", win::REG_DWORD, Dword(25), 25, ""},
        {"rotation_negative_dword", "Rotation", win::REG_DWORD, Dword(-5), -5, ""},
        {"rotation_as_string", "Rotation", win::REG_SZ, Text("7"), 0, ""},
        {"rotation_as_binary", "Rotation", win::REG_BINARY, Dword(7), 0, ""},
        {"rotation_short_dword", "Rotation", win::REG_DWORD, {7, 0}, 0, ""},
        {"file_as_string", "ASFile", win::REG_SZ, Text("C:\\a.pdf"), 0, "C:\\a.pdf"},
        {"file_as_expandable_string", "ASFile", win::REG_EXPAND_SZ, Text("C:\\b.pdf"), 0,
         "C:\\b.pdf"},
        {"file_as_dword", "ASFile", win::REG_DWORD, Dword(1), 0, ""},
        {"file_without_terminating_zero", "ASFile", win::REG_SZ, {'C', ':', '\\', 'c'}, 0, "C:\\c"},
    }),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace quellin::system
