// The service control manager: the Spooler's state machine, its refusals, access rights, and
// one state shared by every process of the sandbox.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/services.h"
#include "platform/sim/spool.h"
#include "sandbox_fixture.h"

namespace quellin::platform {

namespace {

using namespace platform;
using namespace std::chrono_literals;

constexpr DWORD kSentinel = 0xDEADBEEF;

struct Scm {
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    explicit Scm(DWORD access = SERVICE_ALL_ACCESS, const std::string& name = "spooler") {
        manager = OpenSCManagerA("", "", SC_MANAGER_CONNECT);
        service = manager ? OpenServiceA(manager, name, access) : nullptr;
    }
    ~Scm() {
        if (service)
            CloseServiceHandle(service);
        if (manager)
            CloseServiceHandle(manager);
    }
    SERVICE_STATUS Status() const {
        SERVICE_STATUS status;
        EXPECT_TRUE(QueryServiceStatus(service, &status));
        return status;
    }
    DWORD WaitFor(DWORD state) const {
        auto deadline = std::chrono::steady_clock::now() + 5s;
        SERVICE_STATUS status = Status();
        while (status.dwCurrentState != state && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
            status = Status();
        }
        return status.dwCurrentState;
    }
};

TEST(Services, StopAndStartPassThroughPendingStatesWithRisingCheckPoints) {
    testsupport::ScopedSandbox sandbox;
    Scm scm;
    ASSERT_NE(scm.service, nullptr);
    EXPECT_EQ(scm.Status().dwCurrentState, SERVICE_RUNNING);

    SERVICE_STATUS status;
    SetLastError(kSentinel);
    ASSERT_TRUE(ControlService(scm.service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
    EXPECT_GE(status.dwCheckPoint, 1u);
    EXPECT_EQ(status.dwWaitHint, sim::CurrentServiceTiming().stopHintMs);
    DWORD first = status.dwCheckPoint;
    std::this_thread::sleep_for(std::chrono::milliseconds(status.dwWaitHint));
    status = scm.Status();
    if (status.dwCurrentState == SERVICE_STOP_PENDING) {
        EXPECT_GT(status.dwCheckPoint, first);
    }
    EXPECT_EQ(scm.WaitFor(SERVICE_STOPPED), SERVICE_STOPPED);
    EXPECT_EQ(scm.Status().dwCheckPoint, 0u);
    EXPECT_EQ(scm.Status().dwWaitHint, 0u);

    SetLastError(kSentinel);
    ASSERT_TRUE(StartServiceA(scm.service));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    status = scm.Status();
    EXPECT_EQ(status.dwCurrentState, SERVICE_START_PENDING);
    EXPECT_EQ(status.dwWaitHint, sim::CurrentServiceTiming().startHintMs);
    EXPECT_EQ(scm.WaitFor(SERVICE_RUNNING), SERVICE_RUNNING);
}

TEST(Services, RequestsThatDoNotFitTheStateAreRefused) {
    testsupport::ScopedSandbox sandbox;
    Scm scm;
    SERVICE_STATUS status;

    SetLastError(kSentinel);
    EXPECT_FALSE(StartServiceA(scm.service)) << "already running";
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);

    ASSERT_TRUE(ControlService(scm.service, SERVICE_CONTROL_STOP, &status));
    SetLastError(kSentinel);
    EXPECT_FALSE(ControlService(scm.service, SERVICE_CONTROL_STOP, &status)) << "stop pending";
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    SetLastError(kSentinel);
    EXPECT_FALSE(StartServiceA(scm.service)) << "stop pending";
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);

    ASSERT_EQ(scm.WaitFor(SERVICE_STOPPED), SERVICE_STOPPED);
    SetLastError(kSentinel);
    EXPECT_FALSE(ControlService(scm.service, SERVICE_CONTROL_STOP, &status)) << "stopped";
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED) << "the refusal still reports the state";

    SetLastError(kSentinel);
    EXPECT_FALSE(ControlService(scm.service, 2 /* pause */, &status));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SERVICE_CONTROL);
}

struct AccessCase {
    const char* name;
    const char* user;
    DWORD access;
    DWORD error;  // ERROR_SUCCESS when OpenServiceA succeeds
};

class ServiceAccess : public testing::TestWithParam<AccessCase> {};

TEST_P(ServiceAccess, OpenServiceGrantsWhatTheTokenAllows) {
    sim::InitOptions options;
    options.config.user = GetParam().user;
    testsupport::ScopedSandbox sandbox(options);
    SC_HANDLE manager = OpenSCManagerA("", "", SC_MANAGER_CONNECT);
    ASSERT_NE(manager, nullptr);
    SetLastError(kSentinel);
    SC_HANDLE service = OpenServiceA(manager, "spooler", GetParam().access);
    EXPECT_EQ(GetLastError(), GetParam().error);
    EXPECT_EQ(service != nullptr, GetParam().error == ERROR_SUCCESS);
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, ServiceAccess,
    testing::Values(
        AccessCase{"AdminStartQuery", "admin", 0x14, ERROR_SUCCESS},
        AccessCase{"AdminStopQuery", "admin", 0x24, ERROR_SUCCESS},
        AccessCase{"FilteredAdminStopQuery", "filtered-admin", 0x24, ERROR_ACCESS_DENIED},
        AccessCase{"StandardStartQuery", "standard", 0x14, ERROR_ACCESS_DENIED},
        AccessCase{"StandardQueryOnly", "standard", SERVICE_QUERY_STATUS, ERROR_SUCCESS}),
    [](const testing::TestParamInfo<AccessCase>& info) { return info.param.name; });

TEST(Services, HandlesCarryOnlyTheRightsTheyWereOpenedWith) {
    testsupport::ScopedSandbox sandbox;
    Scm queryOnly(SERVICE_QUERY_STATUS);
    SERVICE_STATUS status;
    SetLastError(kSentinel);
    EXPECT_FALSE(StartServiceA(queryOnly.service));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    SetLastError(kSentinel);
    EXPECT_FALSE(ControlService(queryOnly.service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    Scm stopOnly(SERVICE_STOP);
    SetLastError(kSentinel);
    EXPECT_FALSE(QueryServiceStatus(stopOnly.service, &status));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(sim::QueryService("spooler")->state, SERVICE_RUNNING) << "nothing was changed";
}

TEST(Services, NamesIgnoreCaseAndUnknownOnesAreReported) {
    testsupport::ScopedSandbox sandbox;
    EXPECT_NE(Scm(SERVICE_QUERY_STATUS, "SPOOLER").service, nullptr);
    SetLastError(kSentinel);
    EXPECT_EQ(Scm(SERVICE_QUERY_STATUS, "NoSuchService").service, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);

    SetLastError(kSentinel);
    EXPECT_EQ(OpenSCManagerA("\\\\ELSEWHERE", "", SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
    SC_HANDLE manager = OpenSCManagerA("\\\\QUELLIN-PC", "", SC_MANAGER_CONNECT);
    EXPECT_NE(manager, nullptr) << "this computer by name";
    EXPECT_TRUE(CloseServiceHandle(manager));
    SetLastError(kSentinel);
    EXPECT_FALSE(CloseServiceHandle(manager));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Services, HungServiceStaysPendingWithAConstantCheckPoint) {
    testsupport::ScopedSandbox sandbox;
    sim::SetServiceHung("spooler", true);
    Scm scm;
    SERVICE_STATUS status;
    ASSERT_TRUE(ControlService(scm.service, SERVICE_CONTROL_STOP, &status));
    std::this_thread::sleep_for(
        std::chrono::milliseconds(sim::CurrentServiceTiming().stopPendingMs + 100));
    status = scm.Status();
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
    EXPECT_EQ(status.dwCheckPoint, 1u);
    sim::SetServiceHung("spooler", false);
    EXPECT_EQ(scm.WaitFor(SERVICE_STOPPED), SERVICE_STOPPED);
}

TEST(Services, RealisticTimingReportsTheRealSpoolersHints) {
    sim::InitOptions options;
    options.config.serviceTiming = "realistic";
    testsupport::ScopedSandbox sandbox(options);
    Scm scm;
    SERVICE_STATUS status;
    ASSERT_TRUE(ControlService(scm.service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(status.dwWaitHint, 20000u);
    ASSERT_EQ(scm.WaitFor(SERVICE_STOPPED), SERVICE_STOPPED);
    ASSERT_TRUE(StartServiceA(scm.service));
    EXPECT_EQ(scm.Status().dwWaitHint, 2000u);
}

// Runs the sandbox tool, a second process of the same sandbox.
int Tool(const testsupport::ScopedSandbox& sandbox, const std::string& arguments) {
    const char* bin = std::getenv("QUELLIN_BIN_DIR");
    std::string command = std::string(bin ? bin : ".") + "/quellin-sandbox --sandbox '" +
                          sandbox.root().string() + "' " + arguments + " > /dev/null";
    return std::system(command.c_str());
}

TEST(Services, EveryProcessOfTheSandboxSeesTheSameState) {
    testsupport::ScopedSandbox sandbox;
    Scm scm;
    ASSERT_EQ(Tool(sandbox, "service stop spooler --no-wait"), 0);
    DWORD seen = scm.Status().dwCurrentState;
    EXPECT_TRUE(seen == SERVICE_STOP_PENDING || seen == SERVICE_STOPPED) << seen;
    EXPECT_EQ(scm.WaitFor(SERVICE_STOPPED), SERVICE_STOPPED);

    ASSERT_TRUE(StartServiceA(scm.service));
    EXPECT_NE(Tool(sandbox, "service start spooler"), 0) << "the other process sees it started";
    ASSERT_EQ(scm.WaitFor(SERVICE_RUNNING), SERVICE_RUNNING);
    EXPECT_EQ(Tool(sandbox, "service stop spooler"), 0) << "waits until stopped";
    EXPECT_EQ(scm.Status().dwCurrentState, SERVICE_STOPPED);
}

}  // namespace

}  // namespace quellin::platform
