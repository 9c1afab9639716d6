// The service control manager. A service's state lives in the sandbox database; a change of
// state is recorded with its start and end times and resolved on the next look, so every
// process of the sandbox agrees on it and nothing runs in the background.
#include <algorithm>
#include <chrono>

#include "platform/services.h"
#include "platform/sim/handles.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/security_state.h"
#include "platform/sim/spool.h"
#include "platform/sim/strings.h"

namespace quellin::platform::sim {

void ReloadSpoolFolder();  // spooler.cpp: what the spooler does when it starts

namespace {

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Sandboxes made before the pending start time was stored lack its column.
void EnsureServiceColumns() {
    Statement st = db().Prepare("PRAGMA table_info(services)");
    while (st.Step()) {
        if (st.Text(1) == "pending_since")
            return;
    }
    db().Exec("ALTER TABLE services ADD COLUMN pending_since INTEGER NOT NULL DEFAULT 0");
}

std::string ConfigValue(const std::string& key) {
    Statement st = db().Prepare("SELECT value FROM config WHERE key = ?");
    st.Bind(1, key);
    return st.Step() ? st.Text(0) : std::string();
}

void PutConfigValue(const std::string& key, const std::string& value) {
    db().Prepare("INSERT OR REPLACE INTO config(key, value) VALUES(?, ?)")
        .Bind(1, key)
        .Bind(2, value)
        .Run();
}

bool IsHung(const std::string& name) {
    return ConfigValue("service_hung:" + LowerAnsi(name)) == "1";
}

struct Row {
    std::string name;
    win::DWORD state = 0;
    std::int64_t since = 0, until = 0;
    win::DWORD hint = 0;
};

std::optional<Row> ReadRow(const std::string& name) {
    Statement st = db().Prepare(
        "SELECT name, state, pending_since, pending_until, wait_hint FROM services "
        "WHERE name = ?");
    st.Bind(1, name);
    if (!st.Step())
        return std::nullopt;
    return Row{st.Text(0), static_cast<win::DWORD>(st.Int(1)), st.Int(2), st.Int(3),
               static_cast<win::DWORD>(st.Int(4))};
}

void WriteRow(const Row& row, win::DWORD checkPoint) {
    db().Prepare(
            "UPDATE services SET state = ?, pending_since = ?, pending_until = ?, wait_hint = ?, "
            "checkpoint = ? WHERE name = ?")
        .Bind(1, row.state)
        .Bind(2, row.since)
        .Bind(3, row.until)
        .Bind(4, row.hint)
        .Bind(5, checkPoint)
        .Bind(6, row.name)
        .Run();
}

bool IsPending(win::DWORD state) {
    return state == win::SERVICE_START_PENDING || state == win::SERVICE_STOP_PENDING;
}

// Settles a pending change whose time is up. Runs inside the caller's transaction.
Row Settle(Row row) {
    if (!IsPending(row.state) || NowMs() < row.until || IsHung(row.name))
        return row;
    bool started = row.state == win::SERVICE_START_PENDING;
    row.state = started ? win::SERVICE_RUNNING : win::SERVICE_STOPPED;
    row.since = row.until = 0;
    row.hint = 0;
    WriteRow(row, 0);
    if (started && SameName(row.name, "spooler")) {
        std::int64_t generation = SpoolerGeneration() + 1;
        PutConfigValue("spooler_generation", std::to_string(generation));
        ReloadSpoolFolder();
    }
    return row;
}

// Check points rise four times over a pending change, as a service reports its progress.
win::DWORD CheckPointOf(const Row& row) {
    if (!IsPending(row.state))
        return 0;
    if (IsHung(row.name))
        return 1;
    std::int64_t span = std::max<std::int64_t>(row.until - row.since, 1);
    std::int64_t elapsed = std::clamp<std::int64_t>(NowMs() - row.since, 0, span - 1);
    return static_cast<win::DWORD>(1 + elapsed * 4 / span);
}

ServiceStatus StatusOf(const Row& row) {
    return ServiceStatus{row.name, row.state, CheckPointOf(row), row.hint};
}

std::vector<std::string> DirectDependents(const std::string& name) {
    Statement st = db().Prepare(
        "SELECT substr(key, 20) FROM config WHERE key LIKE 'service_depends_on:%' AND "
        "value = ? COLLATE NOCASE ORDER BY key");
    st.Bind(1, LowerAnsi(name));
    std::vector<std::string> names;
    while (st.Step())
        names.push_back(st.Text(0));
    return names;
}

void CollectDependents(const std::string& name, std::vector<std::string>& out) {
    for (const std::string& dependent : DirectDependents(name)) {
        CollectDependents(dependent, out);
        if (std::find(out.begin(), out.end(), dependent) == out.end())
            out.push_back(dependent);
    }
}

win::DWORD Change(const std::string& name, bool start) {
    Transaction tx(db());
    EnsureServiceColumns();
    std::optional<Row> row = ReadRow(name);
    if (!row)
        return win::ERROR_SERVICE_DOES_NOT_EXIST;
    *row = Settle(*row);
    if (start && row->state != win::SERVICE_STOPPED)
        return win::ERROR_SERVICE_ALREADY_RUNNING;
    if (!start && row->state == win::SERVICE_STOPPED)
        return win::ERROR_SERVICE_NOT_ACTIVE;
    if (!start && IsPending(row->state))
        return win::ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    if (!start) {
        for (const std::string& dependent : DirectDependents(name)) {
            std::optional<Row> other = ReadRow(dependent);
            if (other && Settle(*other).state != win::SERVICE_STOPPED)
                return win::ERROR_DEPENDENT_SERVICES_RUNNING;
        }
    }
    ServiceTiming timing = CurrentServiceTiming();
    row->state = start ? win::SERVICE_START_PENDING : win::SERVICE_STOP_PENDING;
    row->since = NowMs();
    row->until = row->since + (start ? timing.startPendingMs : timing.stopPendingMs);
    row->hint = start ? timing.startHintMs : timing.stopHintMs;
    WriteRow(*row, 1);
    tx.Commit();
    return win::ERROR_SUCCESS;
}

}  // namespace

ServiceTiming CurrentServiceTiming() {
    // A real spooler hints 20 s while stopping and 2 s while starting, and is done long before.
    if (ReadConfig().serviceTiming == "realistic")
        return ServiceTiming{1500, 20000, 1000, 2000};
    return ServiceTiming{400, 200, 300, 150};
}

std::optional<ServiceStatus> QueryService(const std::string& name) {
    Transaction tx(db());
    EnsureServiceColumns();
    std::optional<Row> row = ReadRow(name);
    if (!row)
        return std::nullopt;
    ServiceStatus status = StatusOf(Settle(*row));
    tx.Commit();
    return status;
}

win::DWORD StartService(const std::string& name) {
    return Change(name, true);
}

win::DWORD StopService(const std::string& name) {
    return Change(name, false);
}

std::vector<std::string> DependentServices(const std::string& name) {
    std::lock_guard lock(db().mutex());
    std::vector<std::string> names;
    CollectDependents(name, names);
    return names;
}

bool AddService(const std::string& name, std::uint32_t state, const std::string& dependsOn) {
    Transaction tx(db());
    db().Prepare("INSERT OR IGNORE INTO services(name, state) VALUES(?, ?)")
        .Bind(1, name)
        .Bind(2, state)
        .Run();
    if (db().Changes() == 0)
        return false;
    if (!dependsOn.empty())
        PutConfigValue("service_depends_on:" + LowerAnsi(name), LowerAnsi(dependsOn));
    tx.Commit();
    return true;
}

void SetServiceHung(const std::string& name, bool hung) {
    Transaction tx(db());
    PutConfigValue("service_hung:" + LowerAnsi(name), hung ? "1" : "0");
    tx.Commit();
}

void SetServiceState(const std::string& name, std::uint32_t state) {
    std::lock_guard lock(db().mutex());
    db().Prepare("UPDATE services SET state = ? WHERE name = ?").Bind(1, state).Bind(2, name).Run();
}

void SetServiceWaitHint(const std::string& name, std::uint32_t waitHintMs) {
    std::lock_guard lock(db().mutex());
    db().Prepare("UPDATE services SET wait_hint = ? WHERE name = ?")
        .Bind(1, waitHintMs)
        .Bind(2, name)
        .Run();
}

bool RemoveService(const std::string& name) {
    std::lock_guard lock(db().mutex());
    db().Prepare("DELETE FROM services WHERE name = ?").Bind(1, name).Run();
    return db().Changes() > 0;
}

bool SpoolerAvailable() {
    std::optional<ServiceStatus> status = QueryService("spooler");
    if (status && status->state == win::SERVICE_RUNNING)
        return true;
    win::SetLastError(win::RPC_S_SERVER_UNAVAILABLE);
    return false;
}

std::int64_t SpoolerGeneration() {
    std::lock_guard lock(db().mutex());
    std::string value = ConfigValue("spooler_generation");
    return value.empty() ? 0 : std::stoll(value);
}

}  // namespace quellin::platform::sim

namespace quellin::platform {

namespace {

// What a non-elevated user gets on the manager and on the Spooler service: connect, look and
// query, but not start or stop.
constexpr DWORD kManagerReadAccess = 0x0001 | 0x0004 | 0x0010 | 0x20000;
constexpr DWORD kServiceReadAccess = 0x0001 | 0x0004 | 0x0008 | 0x0080 | 0x0100 | 0x20000;
constexpr DWORD kServiceInterrogate = 0x0080;
constexpr DWORD kControlInterrogate = 4;

struct ManagerObject : sim::Object {
    DWORD access = 0;
};

struct ServiceObject : sim::Object {
    std::string name;
    DWORD access = 0;
};

SC_HANDLE Wrap(std::unique_ptr<sim::Object> object) {
    return static_cast<SC_HANDLE>(sim::RegisterObject(std::move(object)));
}

bool IsLocalMachine(const std::string& machine) {
    std::string bare = machine.rfind("\\\\", 0) == 0 ? machine.substr(2) : machine;
    return bare.empty() || win::SameName(bare, sim::kComputerName) || bare == ".";
}

DWORD ExpandGeneric(DWORD access, DWORD all) {
    constexpr DWORD kGenericAll = 0x10000000;
    constexpr DWORD kMaximumAllowed = 0x02000000;
    if (access & (kGenericAll | kMaximumAllowed))
        access = (access & ~(kGenericAll | kMaximumAllowed)) | all;
    return access;
}

void Fill(const sim::ServiceStatus& s, SERVICE_STATUS* status) {
    status->dwServiceType = 0x10;  // SERVICE_WIN32_OWN_PROCESS
    status->dwCurrentState = s.state;
    status->dwControlsAccepted = s.state == SERVICE_RUNNING ? 0x1 : 0;  // SERVICE_ACCEPT_STOP
    status->dwWin32ExitCode = 0;
    status->dwServiceSpecificExitCode = 0;
    status->dwCheckPoint = s.checkPoint;
    status->dwWaitHint = s.waitHint;
}

ServiceObject* LookupService(SC_HANDLE handle) {
    auto* service = sim::Lookup<ServiceObject>(handle);
    if (!service)
        SetLastError(ERROR_INVALID_HANDLE);
    return service;
}

}  // namespace

SC_HANDLE OpenSCManagerA(const std::string& machine, const std::string& database, DWORD access) {
    if (!IsLocalMachine(machine)) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (!database.empty() && !win::SameName(database, "ServicesActive")) {
        SetLastError(1065);  // ERROR_DATABASE_DOES_NOT_EXIST
        return nullptr;
    }
    access = ExpandGeneric(access, SC_MANAGER_ALL_ACCESS);
    if (!sim::TokenIsElevated() && (access & ~kManagerReadAccess) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto manager = std::make_unique<ManagerObject>();
    manager->access = access;
    SetLastError(ERROR_SUCCESS);
    return Wrap(std::move(manager));
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, const std::string& name, DWORD access) {
    if (!sim::Lookup<ManagerObject>(manager)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (name.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    std::optional<sim::ServiceStatus> status = sim::QueryService(name);
    if (!status) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    access = ExpandGeneric(access, SERVICE_ALL_ACCESS);
    if (!sim::TokenIsElevated() && (access & ~kServiceReadAccess) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto service = std::make_unique<ServiceObject>();
    service->name = status->name;
    service->access = access;
    SetLastError(ERROR_SUCCESS);
    return Wrap(std::move(service));
}

BOOL StartServiceA(SC_HANDLE handle) {
    ServiceObject* service = LookupService(handle);
    if (!service)
        return false;
    if ((service->access & SERVICE_START) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    DWORD error = sim::StartService(service->name);
    SetLastError(error);
    return error == ERROR_SUCCESS;
}

BOOL ControlService(SC_HANDLE handle, DWORD control, SERVICE_STATUS* status) {
    ServiceObject* service = LookupService(handle);
    if (!service)
        return false;
    if (!status) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return false;
    }
    DWORD needed = control == SERVICE_CONTROL_STOP  ? SERVICE_STOP
                   : control == kControlInterrogate ? kServiceInterrogate
                                                    : 0;
    if (needed == 0) {
        // The spooler accepts nothing but stop (and interrogation, which every service takes).
        SetLastError(ERROR_INVALID_SERVICE_CONTROL);
        return false;
    }
    if ((service->access & needed) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (control == SERVICE_CONTROL_STOP) {
        DWORD error = sim::StopService(service->name);
        if (error != ERROR_SUCCESS) {
            // Windows fills the status even when it refuses the control.
            if (auto now = sim::QueryService(service->name))
                Fill(*now, status);
            SetLastError(error);
            return false;
        }
    }
    std::optional<sim::ServiceStatus> now = sim::QueryService(service->name);
    if (!now) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return false;
    }
    if (control == kControlInterrogate && now->state == SERVICE_STOPPED) {
        SetLastError(ERROR_SERVICE_NOT_ACTIVE);
        return false;
    }
    Fill(*now, status);
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL QueryServiceStatus(SC_HANDLE handle, SERVICE_STATUS* status) {
    ServiceObject* service = LookupService(handle);
    if (!service)
        return false;
    if ((service->access & SERVICE_QUERY_STATUS) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (!status) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return false;
    }
    std::optional<sim::ServiceStatus> now = sim::QueryService(service->name);
    if (!now) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return false;
    }
    Fill(*now, status);
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL EnumDependentServicesA(SC_HANDLE handle, DWORD serviceState,
                            std::vector<ENUM_SERVICE_STATUSA>* services, DWORD bufferSize,
                            DWORD* needed, DWORD* returned) {
    ServiceObject* service = LookupService(handle);
    if (!service)
        return false;
    if ((service->access & SERVICE_ENUMERATE_DEPENDENTS) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    std::vector<ENUM_SERVICE_STATUSA> found;
    DWORD size = 0;
    for (const std::string& name : sim::DependentServices(service->name)) {
        std::optional<sim::ServiceStatus> now = sim::QueryService(name);
        // SERVICE_ACTIVE (1), SERVICE_INACTIVE (2) or both (3).
        if (!now || (serviceState & (now->state != SERVICE_STOPPED ? 1u : 2u)) == 0)
            continue;
        ENUM_SERVICE_STATUSA record{now->name, now->name, {}};
        Fill(*now, &record.ServiceStatus);
        // A 32-bit record (two pointers and the status), then both names with their zeros.
        size += 36 + 2 * static_cast<DWORD>(now->name.size() + 1);
        found.push_back(std::move(record));
    }
    if (needed)
        *needed = size;
    if (returned)
        *returned = 0;
    if (size > bufferSize) {
        SetLastError(ERROR_MORE_DATA);
        return false;
    }
    if (returned)
        *returned = static_cast<DWORD>(found.size());
    if (services)
        *services = std::move(found);
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
    if (!sim::Lookup<ManagerObject>(handle) && !sim::Lookup<ServiceObject>(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    sim::ReleaseObject(handle);
    return true;
}

}  // namespace quellin::platform
