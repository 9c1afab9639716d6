// The move-only owners give their resource back through its own call, exactly once.
#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/services.h"
#include "platform/shared_memory.h"
#include "platform/sim/seed.h"
#include "platform/spooler.h"
#include "sandbox_fixture.h"

namespace quellin::platform {

namespace {

// Lets the owners of `raw` end, then releases `raw` once more: that must fail, the last owner
// having released it.
template <typename Owner, typename Raw, typename Release>
bool ReleasedByItsOwner(Raw raw, Release release) {
    EXPECT_TRUE(raw);
    {
        Owner owner(raw);
        Owner moved(std::move(owner));
    }
    return raw && !release(raw);
}

TEST(Owners, GiveTheirResourceBackOnce) {
    testsupport::ScopedSandbox sandbox;
    HANDLE printer = nullptr;
    OpenPrinterA(sim::kPdfPrinterName, &printer, nullptr);
    EXPECT_TRUE(ReleasedByItsOwner<UniquePrinter>(printer, ClosePrinter));
    EXPECT_TRUE(ReleasedByItsOwner<UniqueScHandle>(OpenSCManagerA("", "", SC_MANAGER_CONNECT),
                                                   CloseServiceHandle));
    UniqueHandle mapping(
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, "owner-test"));
    EXPECT_TRUE(ReleasedByItsOwner<UniqueMappedView>(
        MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 8), UnmapViewOfFile));
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key);
    EXPECT_TRUE(ReleasedByItsOwner<UniqueHKey>(
        key, [](HKEY k) { return RegCloseKey(k) == ERROR_SUCCESS; }));
}

}  // namespace

}  // namespace quellin::platform
