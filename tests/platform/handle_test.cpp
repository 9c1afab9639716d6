// The move-only owners: each gives its resource back through its own call, once, when the
// last owner it was moved to ends.
#include <gtest/gtest.h>

#include <functional>

#include "platform/registry.h"
#include "platform/services.h"
#include "platform/shared_memory.h"
#include "platform/sim/seed.h"
#include "platform/spooler.h"
#include "sandbox_fixture.h"

namespace quellin::platform {

namespace {

// Hands `raw` to an owner, moves it there and back, lets it end, and reports whether releasing
// `raw` once more still succeeds: it must not, the owner having released it.
template <typename Owner, typename Raw, typename Release>
bool ReleasesAgainAfterItsOwner(Raw raw, Release release) {
    EXPECT_TRUE(raw);
    {
        Owner owner(raw);
        Owner moved(std::move(owner));
        EXPECT_FALSE(owner);
        owner = std::move(moved);
        EXPECT_EQ(owner.get(), raw);
    }
    return release(raw);
}

struct OwnerCase {
    const char* name;
    std::function<bool()> releasesAgain;
};

class Owners : public ::testing::TestWithParam<OwnerCase> {};

TEST_P(Owners, ReleaseOnceWhenTheLastOwnerEnds) {
    testsupport::ScopedSandbox sandbox;
    EXPECT_FALSE(GetParam().releasesAgain());
}

INSTANTIATE_TEST_SUITE_P(
    Platform, Owners,
    ::testing::Values(OwnerCase{"Printer",
                                [] {
                                    HANDLE printer = nullptr;
                                    OpenPrinterA(sim::kPdfPrinterName, &printer, nullptr);
                                    return ReleasesAgainAfterItsOwner<UniquePrinter>(printer,
                                                                                     ClosePrinter);
                                }},
                      OwnerCase{"ServiceManager",
                                [] {
                                    return ReleasesAgainAfterItsOwner<UniqueScHandle>(
                                        OpenSCManagerA("", "", SC_MANAGER_CONNECT),
                                        CloseServiceHandle);
                                }},
                      OwnerCase{"MappedView",
                                [] {
                                    UniqueHandle mapping(CreateFileMappingA(
                                        INVALID_HANDLE_VALUE, PAGE_READWRITE, 0, 8, "owner-test"));
                                    return ReleasesAgainAfterItsOwner<UniqueMappedView>(
                                        MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 8),
                                        UnmapViewOfFile);
                                }},
                      OwnerCase{"RegistryKey",
                                [] {
                                    HKEY key = nullptr;
                                    RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key);
                                    return ReleasesAgainAfterItsOwner<UniqueHKey>(key, [](HKEY k) {
                                        return RegCloseKey(k) == ERROR_SUCCESS;
                                    });
                                }}),
    [](const ::testing::TestParamInfo<OwnerCase>& info) { return info.param.name; });

}  // namespace

}  // namespace quellin::platform
