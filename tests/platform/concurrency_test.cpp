// Several processes sharing one sandbox must never lose or corrupt each other's changes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/sim/registry_store.h"
#include "sandbox_fixture.h"

namespace quellin::platform {

namespace {

TEST(SandboxConcurrency, TwoProcessesWritingAtOnceLoseNothing) {
    testsupport::ScopedSandbox sandbox;
    const char* dir = std::getenv("QUELLIN_BIN_DIR");
    ASSERT_NE(dir, nullptr);
    std::string tool =
        std::string(dir) + "/quellin-sandbox --sandbox '" + sandbox.root().string() + "'";
    std::string script;
    for (const char* writer : {"a", "b"}) {
        script += "(for i in $(seq 1 25); do " + tool + " reg set 'HKCU\\Software\\Race' " +
                  writer + "$i REG_DWORD $i || exit 1; done) & ";
    }
    script += "wait";
    std::filesystem::path file = sandbox.root() / "race.sh";
    testsupport::WriteHostFile(file, script + "\n");
    ASSERT_EQ(std::system(("bash '" + file.string() + "'").c_str()), 0);
    auto key = sim::reg::FindKey("HKCU\\Software\\Race");
    ASSERT_TRUE(key);
    EXPECT_EQ(sim::reg::Values(*key).size(), 50u);
}

}  // namespace

}  // namespace quellin::platform
