#include "platform/sim/sandbox.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "platform/sim/control.h"
#include "platform/sim/observer.h"
#include "platform/sim/security_state.h"
#include "platform/sim/seed.h"
#include "platform/sim/strings.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace quellin::platform::sim {

namespace fs = std::filesystem;

namespace {

struct State {
    fs::path root;
    std::unique_ptr<Db> db;
};

std::recursive_mutex g_openMutex;
State g_state;
thread_local bool t_redirection = true;
std::atomic<bool> g_image64{false};
std::atomic<std::uint64_t> g_generation{0};
LaunchObserver g_launchObserver;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS config(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS reg_keys(
    id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,
    UNIQUE(parent, name));
CREATE TABLE IF NOT EXISTS reg_values(
    key INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL,
    data BLOB NOT NULL, PRIMARY KEY(key, name));
CREATE TABLE IF NOT EXISTS file_attributes(
    path TEXT PRIMARY KEY COLLATE NOCASE, attributes INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS file_owners(
    path TEXT PRIMARY KEY COLLATE NOCASE, owner TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS printers(
    id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE, port TEXT NOT NULL,
    driver TEXT NOT NULL, attributes INTEGER NOT NULL, share TEXT NOT NULL DEFAULT '',
    comment TEXT NOT NULL DEFAULT '', location TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS ports(
    id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE, monitor TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS drivers(
    id INTEGER PRIMARY KEY, name TEXT NOT NULL COLLATE NOCASE,
    environment TEXT NOT NULL COLLATE NOCASE, version INTEGER NOT NULL,
    UNIQUE(name, environment, version));
CREATE TABLE IF NOT EXISTS services(
    name TEXT PRIMARY KEY COLLATE NOCASE, state INTEGER NOT NULL,
    checkpoint INTEGER NOT NULL DEFAULT 0, wait_hint INTEGER NOT NULL DEFAULT 0,
    pending_until INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS features(name TEXT PRIMARY KEY COLLATE NOCASE, state TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS launch_log(
    id INTEGER PRIMARY KEY, time TEXT NOT NULL, verb TEXT NOT NULL, file TEXT NOT NULL,
    parameters TEXT NOT NULL, directory TEXT NOT NULL, show INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS launch_results(
    launch INTEGER PRIMARY KEY, image TEXT NOT NULL, elevated INTEGER NOT NULL,
    error INTEGER NOT NULL, exit_code INTEGER);
INSERT OR IGNORE INTO reg_keys(id, parent, name) VALUES
    (1, 0, 'HKEY_LOCAL_MACHINE'), (2, 0, 'HKEY_CURRENT_USER'), (3, 0, 'HKEY_USERS'),
    (4, 0, 'HKEY_CLASSES_ROOT');
)sql";

fs::path DbPath(const fs::path& root) {
    return root / "state.db";
}

void OpenLocked(const fs::path& root) {
    ++g_generation;
    g_state.db.reset();
    g_state.root = fs::absolute(root);
    g_state.db = std::make_unique<Db>(DbPath(g_state.root).string());
    g_state.db->Exec(kSchema);
    SetAnsiCodePage(ReadConfig().codePage);
}

bool IsExempt(const std::vector<std::string>& parts) {
    // Folders below System32 that WOW64 leaves unredirected.
    if (parts.size() < 3) {
        return false;
    }
    const std::string& third = parts[2];
    for (const char* name : {"catroot", "catroot2", "driverstore", "logfiles", "spool"}) {
        if (SameName(third, name)) {
            return true;
        }
    }
    return parts.size() >= 4 && SameName(third, "drivers") && SameName(parts[3], "etc");
}

fs::path MapToHost(const std::string& windowsPath, bool applyRedirection) {
    WindowsPath path = ParseWindowsPath(windowsPath);
    fs::path base;
    if (path.drive == 'Z') {
        base = "/";
    } else if (path.drive == 'C') {
        EnsureSandbox();
        base = g_state.root / "drive_c";
        if (applyRedirection && path.parts.size() >= 2 && SameName(path.parts[0], "Windows") &&
            IsWow64Process()) {
            if (t_redirection && SameName(path.parts[1], "System32") && !IsExempt(path.parts)) {
                path.parts[1] = "SysWOW64";
            } else if (t_redirection && SameName(path.parts[1], "Sysnative")) {
                path.parts[1] = "System32";
            }
        }
    } else {
        throw std::invalid_argument("no such drive: " + windowsPath);
    }
    // The host's names are UTF-8; letter case is compared in the ANSI code page.
    std::vector<std::string> ansiParts = std::move(path.parts);
    path.parts.clear();
    for (const std::string& part : ansiParts) {
        path.parts.push_back(win::AnsiToUtf8(part));
    }
    // Most paths name an existing file or a new one in an existing folder; one lstat of the
    // whole path (or of its folder) then stands for the per-component checks below.
    fs::path host = base;
    std::size_t resolved = 0;
    auto existsExactly = [](const fs::path& p) {
        struct stat st;
        return ::lstat(p.c_str(), &st) == 0;
    };
    if (!path.parts.empty()) {
        fs::path exact = base;
        for (std::size_t i = 0; i + 1 < path.parts.size(); ++i)
            exact /= path.parts[i];
        fs::path whole = exact / path.parts.back();
        if (existsExactly(whole))
            return whole;
        if (path.parts.size() > 1 && existsExactly(exact)) {
            host = std::move(exact);
            resolved = path.parts.size() - 1;
        }
    }
    bool exists = true;
    for (std::size_t i = resolved; i < path.parts.size(); ++i) {
        const std::string& part = path.parts[i];
        if (exists) {
            std::error_code ec;
            fs::path exact = host / part;
            if (fs::symlink_status(exact, ec).type() != fs::file_type::not_found) {
                host = exact;
                continue;
            }
            std::string found;
            for (fs::directory_iterator it(host, ec), end; !ec && it != end; it.increment(ec)) {
                std::string name = it->path().filename().string();
                if (SameName(win::Utf8ToAnsi(name), ansiParts[i])) {
                    found = name;
                    break;
                }
            }
            if (!found.empty()) {
                host /= found;
                continue;
            }
            exists = false;
        }
        host /= part;
    }
    return host;
}

std::string Get(const std::string& key, const std::string& fallback) {
    std::lock_guard lock(db().mutex());
    Statement st = db().Prepare("SELECT value FROM config WHERE key = ?");
    st.Bind(1, key);
    return st.Step() ? st.Text(0) : fallback;
}

void Put(const std::string& key, const std::string& value) {
    Statement st = db().Prepare("INSERT OR REPLACE INTO config(key, value) VALUES(?, ?)");
    st.Bind(1, key).Bind(2, value).Run();
}

}  // namespace

fs::path DefaultSandboxRoot() {
    if (const char* env = std::getenv("QUELLIN_SANDBOX"); env && *env) {
        return fs::path(env);
    }
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
        return fs::path(data) / "quellin" / "sandbox";
    }
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/tmp") / ".local" / "share" / "quellin" / "sandbox";
}

void OpenSandbox(const fs::path& root) {
    if (!fs::exists(DbPath(root))) {
        InitSandbox(root, InitOptions{});
        return;
    }
    std::lock_guard lock(g_openMutex);
    OpenLocked(root);
}

void EnsureSandbox() {
    {
        std::lock_guard lock(g_openMutex);
        if (g_state.db) {
            return;
        }
    }
    OpenSandbox(DefaultSandboxRoot());
}

void OpenSandboxOfCommandLine(int argc, char** argv) {
    if (SandboxIsOpen())
        return;
    const fs::path root =
        argc > 2 && std::string(argv[1]) == "--sandbox" ? fs::path(argv[2]) : DefaultSandboxRoot();
    std::error_code ec;
    if (fs::exists(DbPath(root), ec))
        OpenSandbox(root);
}

void InitSandbox(const fs::path& root, const InitOptions& options) {
    std::lock_guard lock(g_openMutex);
    g_state.db.reset();
    std::error_code ec;
    fs::create_directories(root, ec);
    // A reset removes what the sandbox owns and nothing else that may share the folder.
    for (const char* owned : {"state.db", "state.db-wal", "state.db-shm", "drive_c", "objects"}) {
        fs::remove_all(root / owned, ec);
    }
    fs::create_directories(root / "objects");
    OpenLocked(root);
    Transaction tx(*g_state.db);
    WriteConfig(options.config);
    tx.Commit();
    SetAnsiCodePage(options.config.codePage);
    Seed(options);
}

void CloseSandbox() {
    std::lock_guard lock(g_openMutex);
    // The next sandbox stands for a fresh process, whose privileges start disabled.
    DisableAllPrivileges();
    ++g_generation;
    g_state.db.reset();
    g_state.root.clear();
    SetAnsiCodePage(1252);
}

bool SandboxIsOpen() {
    std::lock_guard lock(g_openMutex);
    return g_state.db != nullptr;
}

const fs::path& SandboxRoot() {
    EnsureSandbox();
    return g_state.root;
}

Db& db() {
    EnsureSandbox();
    return *g_state.db;
}

Config ReadConfig() {
    Config c;
    c.arch = Get("arch", c.arch);
    c.user = Get("user", c.user);
    c.date = Get("date", c.date);
    c.serviceTiming = Get("service_timing", c.serviceTiming);
    c.legacyKernel = Get("legacy_kernel", "0") == "1";
    c.servicingRestart = Get("servicing_restart", "0") == "1";
    c.codePage = Get("codepage", "1252") == "932" ? 932 : 1252;
    return c;
}

void WriteConfig(const Config& c) {
    Transaction tx(db());
    Put("arch", c.arch);
    Put("user", c.user);
    Put("date", c.date);
    Put("service_timing", c.serviceTiming);
    Put("legacy_kernel", c.legacyKernel ? "1" : "0");
    Put("servicing_restart", c.servicingRestart ? "1" : "0");
    Put("codepage", std::to_string(c.codePage));
    tx.Commit();
}

bool Is64BitWindows() {
    return Get("arch", "x64-wow64") != "x86";
}

void SetProcessImage64Bit(bool is64Bit) {
    g_image64 = is64Bit;
}

bool IsWow64Process() {
    return !g_image64 && Is64BitWindows();
}

fs::path HostPath(const std::string& windowsPath) {
    return MapToHost(windowsPath, true);
}

fs::path HostPathNative(const std::string& windowsPath) {
    return MapToHost(windowsPath, false);
}

std::uint64_t SandboxGeneration() {
    return g_generation;
}

bool RedirectionEnabled() {
    return t_redirection;
}
void SetRedirectionEnabled(bool enabled) {
    t_redirection = enabled;
}

std::int64_t LogLaunch(const std::string& verb, const std::string& file,
                       const std::string& parameters, const std::string& directory, int show) {
    std::int64_t id = 0;
    std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    {
        std::lock_guard lock(db().mutex());
        Statement st = db().Prepare(
            "INSERT INTO launch_log(time, verb, file, parameters, directory, show) "
            "VALUES(?, ?, ?, ?, ?, ?)");
        st.Bind(1, std::string(stamp)).Bind(2, verb).Bind(3, file).Bind(4, parameters);
        st.Bind(5, directory).Bind(6, show).Run();
        id = db().LastInsertId();
    }
    if (g_launchObserver)
        g_launchObserver(verb, file, parameters, directory, show);
    return id;
}

void LogLaunchStart(std::int64_t launch, const std::string& image, bool elevated,
                    std::uint32_t error) {
    std::lock_guard lock(db().mutex());
    Statement st = db().Prepare(
        "INSERT OR REPLACE INTO launch_results(launch, image, elevated, error) VALUES(?, ?, ?, ?)");
    st.Bind(1, launch).Bind(2, image).Bind(3, elevated ? 1 : 0);
    st.Bind(4, static_cast<std::int64_t>(error)).Run();
}

void LogLaunchExit(std::int64_t launch, std::uint32_t exitCode) {
    std::lock_guard lock(db().mutex());
    Statement st = db().Prepare("UPDATE launch_results SET exit_code = ? WHERE launch = ?");
    st.Bind(1, static_cast<std::int64_t>(exitCode)).Bind(2, launch).Run();
}

std::vector<LaunchEntry> LaunchLog() {
    std::lock_guard lock(db().mutex());
    Statement st = db().Prepare(
        "SELECT time, verb, file, parameters, directory, show, r.launch, r.image, r.elevated, "
        "r.error, r.exit_code FROM launch_log LEFT JOIN launch_results r ON r.launch = id "
        "ORDER BY id");
    std::vector<LaunchEntry> entries;
    while (st.Step()) {
        LaunchEntry& e = entries.emplace_back();
        e.time = st.Text(0);
        e.verb = st.Text(1);
        e.file = st.Text(2);
        e.parameters = st.Text(3);
        e.directory = st.Text(4);
        e.show = static_cast<int>(st.Int(5));
        if (!st.IsNull(6)) {
            e.result = LaunchResult{st.Text(7), st.Int(8) != 0, st.Int(9),
                                    st.IsNull(10) ? std::nullopt : std::optional(st.Int(10))};
        }
    }
    return entries;
}

const char* TempFolderOfAccount() {
    return ReadConfig().user == "system" ? kSystemTempFolder : kTempFolder;
}

std::string RecordsSnapshot() {
    std::lock_guard lock(db().mutex());
    std::string text;
    for (const char* table : {"reg_keys", "reg_values", "file_attributes", "printers", "ports",
                              "drivers", "services", "features", "jobs"}) {
        // The jobs table exists only once a spooler has run.
        if (!db().QueryInt("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?", table))
            continue;
        Statement st = db().Prepare(std::string("SELECT * FROM ") + table + " ORDER BY 1");
        while (st.Step()) {
            text += table;
            for (int i = 0; i < st.ColumnCount(); ++i)
                text += '|' + (st.IsNull(i) ? std::string("NULL") : st.Text(i));
            text += "\n";
        }
    }
    return text;
}

void SetLaunchObserver(LaunchObserver observer) {
    g_launchObserver = std::move(observer);
}

}  // namespace quellin::platform::sim

namespace quellin::platform {

std::string DialogPathFromWindows(const std::string& windowsPath) {
    try {
        return sim::HostPath(windowsPath).string();
    } catch (const std::exception&) {
        return {};
    }
}

std::string WindowsPathFromDialog(const std::string& dialogPath) {
    std::string root = (sim::SandboxRoot() / "drive_c").string();
    std::string rest;
    std::string drive;
    if (dialogPath.compare(0, root.size(), root) == 0 &&
        (dialogPath.size() == root.size() || dialogPath[root.size()] == '/')) {
        drive = "C:";
        rest = dialogPath.substr(root.size());
    } else {
        drive = "Z:";
        rest = dialogPath;
    }
    rest = win::Utf8ToAnsi(rest);
    for (char& c : rest) {
        if (c == '/')
            c = '\\';
    }
    return drive + (rest.empty() ? "\\" : rest);
}

}  // namespace quellin::platform
