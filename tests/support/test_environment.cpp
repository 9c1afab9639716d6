// Every test runs offscreen and finds the project's executables, however it is started
// (ctest, or the test binary by hand).
#include <cstdlib>

namespace {

struct TestEnvironment {
    TestEnvironment() {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        ::setenv("QUELLIN_BIN_DIR", QUELLIN_BIN_DIR_DEFAULT, 0);
    }
};

const TestEnvironment g_environment;

}  // namespace
