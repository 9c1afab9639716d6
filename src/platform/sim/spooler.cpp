// The print spooler: printers, ports, drivers and jobs in the sandbox database. The jobs table
// is the running spooler's memory; each queued job is also a pair of files in the job folder
// (a shadow file with its record, a spool file with its data), which the spooler reads back
// when it starts, as Windows does. While the Spooler service is not running every call fails
// with RPC_S_SERVER_UNAVAILABLE.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "platform/dates.h"
#include "platform/security.h"
#include "platform/services.h"
#include "platform/sim/handles.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/security_state.h"
#include "platform/sim/seed.h"
#include "platform/sim/spool.h"
#include "platform/sim/strings.h"
#include "platform/spooler.h"

namespace quellin::platform::sim {

namespace fs = std::filesystem;

namespace {

constexpr const char* kShadowMagic = "QUELLIN-SHD 1";
constexpr const char* kDevicesKey =
    "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices";
constexpr const char* kWindowsKey =
    "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";

struct JobRow {
    win::DWORD id = 0;
    std::string printer, machine, owner, document, datatype = "RAW";
    win::DWORD status = 0, priority = 1, pages = 0, pagesPrinted = 0, size = 0;
    std::int64_t submittedMs = 0;
};

fs::path JobFolder() {
    return HostPathNative(kSpoolJobFolder);
}

std::string JobFileStem(win::DWORD id) {
    char name[16];
    std::snprintf(name, sizeof name, "%05u", id);
    return name;
}

fs::path ShadowPath(win::DWORD id) {
    return JobFolder() / (JobFileStem(id) + ".SHD");
}
fs::path SpoolPath(win::DWORD id) {
    return JobFolder() / (JobFileStem(id) + ".SPL");
}

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char next = text[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

void WriteShadow(const JobRow& job) {
    std::ostringstream out;
    out << kShadowMagic << "\r\n"
        << "JobId=" << job.id << "\r\nPrinter=" << Escape(job.printer)
        << "\r\nMachine=" << Escape(job.machine) << "\r\nUser=" << Escape(job.owner)
        << "\r\nDocument=" << Escape(job.document) << "\r\nDatatype=" << Escape(job.datatype)
        << "\r\nStatus=" << job.status << "\r\nPriority=" << job.priority
        << "\r\nTotalPages=" << job.pages << "\r\nPagesPrinted=" << job.pagesPrinted
        << "\r\nSize=" << job.size << "\r\nSubmitted=" << job.submittedMs << "\r\n";
    fs::create_directories(JobFolder());
    std::ofstream file(ShadowPath(job.id), std::ios::binary | std::ios::trunc);
    file << out.str();
}

std::optional<JobRow> ReadShadow(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::string line;
    if (!std::getline(file, line) || line.rfind(kShadowMagic, 0) != 0)
        return std::nullopt;
    std::map<std::string, std::string> fields;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::size_t eq = line.find('=');
        if (eq != std::string::npos)
            fields[line.substr(0, eq)] = Unescape(line.substr(eq + 1));
    }
    try {
        JobRow job;
        auto number = [&](const char* key) {
            return static_cast<win::DWORD>(std::stoul(fields.at(key)));
        };
        job.id = number("JobId");
        job.printer = fields.at("Printer");
        job.machine = fields.at("Machine");
        job.owner = fields.at("User");
        job.document = fields.at("Document");
        job.datatype = fields.at("Datatype");
        job.status = number("Status");
        job.priority = number("Priority");
        job.pages = number("TotalPages");
        job.pagesPrinted = number("PagesPrinted");
        job.size = number("Size");
        job.submittedMs = std::stoll(fields.at("Submitted"));
        return job;
    } catch (const std::exception&) {
        return std::nullopt;  // a damaged record is no job
    }
}

void RemoveJobFiles(win::DWORD id) {
    std::error_code ec;
    fs::remove(ShadowPath(id), ec);
    fs::remove(SpoolPath(id), ec);
}

void InsertJob(const JobRow& job) {
    db().Prepare(
            "INSERT OR REPLACE INTO jobs(id, printer, machine, owner, document, datatype, status, "
            "priority, pages, pages_printed, size, submitted) VALUES(?,?,?,?,?,?,?,?,?,?,?,?)")
        .Bind(1, job.id)
        .Bind(2, job.printer)
        .Bind(3, job.machine)
        .Bind(4, job.owner)
        .Bind(5, job.document)
        .Bind(6, job.datatype)
        .Bind(7, job.status)
        .Bind(8, job.priority)
        .Bind(9, job.pages)
        .Bind(10, job.pagesPrinted)
        .Bind(11, job.size)
        .Bind(12, job.submittedMs)
        .Run();
}

std::vector<JobRow> SelectJobs(const std::string& where, const std::string& arg) {
    std::lock_guard lock(db().mutex());
    EnsureJobTable();
    Statement st = db().Prepare(
        "SELECT id, printer, machine, owner, document, datatype, status, priority, pages, "
        "pages_printed, size, submitted FROM jobs " +
        where + " ORDER BY id");
    if (!arg.empty())
        st.Bind(1, arg);
    std::vector<JobRow> jobs;
    while (st.Step()) {
        JobRow job;
        job.id = static_cast<win::DWORD>(st.Int(0));
        job.printer = st.Text(1);
        job.machine = st.Text(2);
        job.owner = st.Text(3);
        job.document = st.Text(4);
        job.datatype = st.Text(5);
        job.status = static_cast<win::DWORD>(st.Int(6));
        job.priority = static_cast<win::DWORD>(st.Int(7));
        job.pages = static_cast<win::DWORD>(st.Int(8));
        job.pagesPrinted = static_cast<win::DWORD>(st.Int(9));
        job.size = static_cast<win::DWORD>(st.Int(10));
        job.submittedMs = st.Int(11);
        jobs.push_back(std::move(job));
    }
    return jobs;
}

std::string DriverOf(const std::string& printer) {
    std::lock_guard lock(db().mutex());
    Statement st = db().Prepare("SELECT driver FROM printers WHERE name = ?");
    st.Bind(1, printer);
    return st.Step() ? st.Text(0) : std::string();
}

std::vector<win::DWORD> ShadowIdsOnDisk() {
    std::vector<win::DWORD> ids;
    std::error_code ec;
    for (fs::directory_iterator it(JobFolder(), ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() > 4 && SameName(name.substr(name.size() - 4), ".SHD")) {
            if (auto job = ReadShadow(it->path()))
                ids.push_back(job->id);
        }
    }
    return ids;
}

// "\\NAME" for a machine name given with or without its backslashes; empty: this computer.
std::string MachineName(const std::string& given) {
    std::string machine = given.empty() ? kComputerName : given;
    return machine.rfind("\\\\", 0) == 0 ? machine : "\\\\" + machine;
}

win::SYSTEMTIME ToSystemTime(std::int64_t ms) {
    std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    win::SYSTEMTIME st;
    st.wYear = static_cast<win::WORD>(tm.tm_year + 1900);
    st.wMonth = static_cast<win::WORD>(tm.tm_mon + 1);
    st.wDayOfWeek = static_cast<win::WORD>(tm.tm_wday);
    st.wDay = static_cast<win::WORD>(tm.tm_mday);
    st.wHour = static_cast<win::WORD>(tm.tm_hour);
    st.wMinute = static_cast<win::WORD>(tm.tm_min);
    st.wSecond = static_cast<win::WORD>(tm.tm_sec);
    st.wMilliseconds = static_cast<win::WORD>(ms % 1000);
    return st;
}

win::JOB_INFO_2A ToJobInfo(const JobRow& job, win::DWORD position, const std::string& driver) {
    win::JOB_INFO_2A info;
    info.JobId = job.id;
    info.pPrinterName = job.printer;
    info.pMachineName = job.machine;
    info.pUserName = job.owner;
    info.pDocument = job.document;
    info.pNotifyName = job.owner;
    info.pDatatype = job.datatype;
    info.pPrintProcessor = "winprint";
    info.pDriverName = driver;
    info.Status = job.status;
    info.Priority = job.priority;
    info.Position = position;
    info.TotalPages = job.pages;
    info.Size = job.size;
    info.Submitted = ToSystemTime(job.submittedMs);
    info.PagesPrinted = job.pagesPrinted;
    return info;
}

}  // namespace

// The jobs table is the running spooler's memory; sandboxes start without it.
void EnsureJobTable() {
    db().Exec(
        "CREATE TABLE IF NOT EXISTS jobs(id INTEGER PRIMARY KEY, printer TEXT NOT NULL COLLATE "
        "NOCASE, machine TEXT NOT NULL, owner TEXT NOT NULL, document TEXT NOT NULL, datatype "
        "TEXT NOT NULL, status INTEGER NOT NULL, priority INTEGER NOT NULL, pages INTEGER NOT "
        "NULL, pages_printed INTEGER NOT NULL, size INTEGER NOT NULL, submitted INTEGER NOT "
        "NULL)");
    // A printer's jobs are read five times a second by a job monitor.
    db().Exec("CREATE INDEX IF NOT EXISTS jobs_by_printer ON jobs(printer, id)");
}

std::optional<std::string> FindPrinter(const std::string& name) {
    std::lock_guard lock(db().mutex());
    Statement st = db().Prepare("SELECT name FROM printers WHERE name = ?");
    st.Bind(1, name);
    if (st.Step())
        return st.Text(0);
    return std::nullopt;
}

// Called when the spooler reaches "running", inside the transaction that records it: the
// jobs are exactly those whose shadow and spool files are both in the job folder.
void ReloadSpoolFolder() {
    EnsureJobTable();
    db().Exec("DELETE FROM jobs");
    std::error_code ec;
    std::vector<fs::path> shadows;
    for (fs::directory_iterator it(JobFolder(), ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() > 4 && SameName(name.substr(name.size() - 4), ".SHD"))
            shadows.push_back(it->path());
    }
    std::sort(shadows.begin(), shadows.end());
    for (const fs::path& shadow : shadows) {
        std::optional<JobRow> job = ReadShadow(shadow);
        std::optional<std::string> printer = job ? FindPrinter(job->printer) : std::nullopt;
        bool complete = job && fs::exists(SpoolPath(job->id), ec);
        if (!job || !printer || !complete || (job->status & win::JOB_STATUS_DELETING)) {
            if (job)
                RemoveJobFiles(job->id);
            else
                fs::remove(shadow, ec);
            continue;
        }
        job->printer = *printer;
        job->status &= ~win::JOB_STATUS_PRINTING;  // requeued, as after a restart
        InsertJob(*job);
    }
}

win::DWORD AddJob(const JobSpec& spec) {
    Transaction tx(db());
    EnsureJobTable();
    std::optional<std::string> printer = FindPrinter(spec.printer);
    if (!printer)
        throw std::runtime_error("no such printer: " + spec.printer);
    // Identifiers keep rising across restarts, past any job still waiting on disk.
    std::int64_t last = db().QueryInt("SELECT MAX(id) FROM jobs").value_or(0);
    {
        Statement st = db().Prepare("SELECT value FROM config WHERE key = 'spooler_last_job'");
        if (st.Step())
            last = std::max<std::int64_t>(last, std::stoll(st.Text(0)));
    }
    for (win::DWORD id : ShadowIdsOnDisk())
        last = std::max<std::int64_t>(last, id);
    JobRow job;
    job.id = static_cast<win::DWORD>(last + 1);
    job.printer = *printer;
    job.machine = MachineName(spec.machine);
    job.owner = spec.owner;
    job.document = spec.document;
    job.status = spec.status;
    job.pages = spec.pages;
    job.size = spec.size;
    // Now by the sandbox's clock, the one the program reads.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    job.submittedMs = spec.submittedMs.value_or(
        static_cast<std::int64_t>((now.ticks - 116444736000000000ULL) / 10000));
    db().Prepare("INSERT OR REPLACE INTO config(key, value) VALUES('spooler_last_job', ?)")
        .Bind(1, std::to_string(job.id))
        .Run();
    WriteShadow(job);
    { std::ofstream data(SpoolPath(job.id), std::ios::binary | std::ios::trunc); }
    fs::resize_file(SpoolPath(job.id), spec.size);
    std::optional<ServiceStatus> spooler = QueryService("spooler");
    if (spooler && spooler->state == win::SERVICE_RUNNING)
        InsertJob(job);
    tx.Commit();
    return job.id;
}

std::vector<win::JOB_INFO_2A> ListJobs(const std::string& printer) {
    std::vector<JobRow> rows =
        printer.empty() ? SelectJobs("", "") : SelectJobs("WHERE printer = ?", printer);
    // Position and driver per printer, each looked up once per listing.
    struct PrinterState {
        win::DWORD position = 0;
        std::string driver;
    };
    std::map<std::string, PrinterState> printers;
    std::vector<win::JOB_INFO_2A> jobs;
    jobs.reserve(rows.size());
    for (const JobRow& row : rows) {
        auto [it, added] = printers.try_emplace(LowerAnsi(row.printer));
        if (added)
            it->second.driver = DriverOf(row.printer);
        jobs.push_back(ToJobInfo(row, ++it->second.position, it->second.driver));
    }
    return jobs;
}

bool RemovePrinter(const std::string& name) {
    std::string queue;
    {
        Transaction tx(db());
        EnsureJobTable();
        std::optional<std::string> printer = FindPrinter(name);
        if (!printer)
            return false;
        std::string key = std::string(kPrintersKey) + "\\" + *printer;
        if (auto value = reg::GetValue(key, "PrintQueueV4DriverDirectory")) {
            queue.assign(value->data.begin(), value->data.end());
            queue = queue.substr(0, queue.find('\0'));
        }
        for (const JobRow& job : SelectJobs("WHERE printer = ?", *printer))
            RemoveJobFiles(job.id);
        db().Prepare("DELETE FROM jobs WHERE printer = ?").Bind(1, *printer).Run();
        db().Prepare("DELETE FROM printers WHERE name = ?").Bind(1, *printer).Run();
        reg::DeleteKey(key);
        reg::DeleteValue(kDevicesKey, *printer);
        tx.Commit();
    }
    // The queue's folder goes with it; a name that climbs out of V4Dirs is not followed.
    if (!queue.empty() && queue.find_first_of("\\/:") == std::string::npos && queue != "." &&
        queue != "..") {
        std::error_code ec;
        fs::remove_all(HostPathNative("C:\\Windows\\System32\\spool\\V4Dirs\\" + queue), ec);
    }
    return true;
}

bool AddPrinter(const std::string& name, const std::string& port, const std::string& driver,
                std::uint32_t attributes) {
    Transaction tx(db());
    if (FindPrinter(name))
        return false;
    AddPort(port);
    db().Prepare("INSERT INTO printers(name, port, driver, attributes, share) VALUES(?,?,?,?,?)")
        .Bind(1, name)
        .Bind(2, port)
        .Bind(3, driver)
        .Bind(4, attributes)
        .Bind(5, (attributes & win::PRINTER_ATTRIBUTE_SHARED) ? name : std::string())
        .Run();
    std::string key = std::string(kPrintersKey) + "\\" + name;
    reg::SetString(key, "Name", name);
    reg::SetString(key, "Port", port);
    reg::SetString(key, "Printer Driver", driver);
    reg::SetDword(key, "Attributes", attributes);
    tx.Commit();
    return true;
}

std::vector<PrinterRecord> Printers() {
    std::lock_guard lock(db().mutex());
    Statement st =
        db().Prepare("SELECT name, port, driver, attributes, share FROM printers ORDER BY id");
    std::vector<PrinterRecord> printers;
    while (st.Step()) {
        printers.push_back(PrinterRecord{st.Text(0), st.Text(1), st.Text(2),
                                         static_cast<std::uint32_t>(st.Int(3)), st.Text(4)});
    }
    return printers;
}

bool ForgetPrinter(const std::string& name) {
    std::lock_guard lock(db().mutex());
    db().Prepare("DELETE FROM printers WHERE name = ?").Bind(1, name).Run();
    return db().Changes() > 0;
}

void SetPrinterAttributes(const std::string& name, std::uint32_t attributes) {
    std::lock_guard lock(db().mutex());
    db().Prepare("UPDATE printers SET attributes = ? WHERE name = ?")
        .Bind(1, attributes)
        .Bind(2, name)
        .Run();
}

void AddPort(const std::string& name, const std::string& monitor) {
    std::lock_guard lock(db().mutex());
    db().Prepare("INSERT OR IGNORE INTO ports(name, monitor) VALUES(?, ?)")
        .Bind(1, name)
        .Bind(2, monitor)
        .Run();
}

bool RemovePort(const std::string& name) {
    std::lock_guard lock(db().mutex());
    db().Prepare("DELETE FROM ports WHERE name = ?").Bind(1, name).Run();
    return db().Changes() > 0;
}

std::optional<std::string> PortMonitor(const std::string& name) {
    std::lock_guard lock(db().mutex());
    Statement st = db().Prepare("SELECT monitor FROM ports WHERE name = ?");
    st.Bind(1, name);
    return st.Step() ? std::optional<std::string>(st.Text(0)) : std::nullopt;
}

int DriverCount(const std::string& name, const std::string& environment) {
    std::lock_guard lock(db().mutex());
    Statement st = db().Prepare(
        "SELECT COUNT(*) FROM drivers WHERE name = ? AND (?2 = '' OR environment = ?2)");
    st.Bind(1, name).Bind(2, environment);
    return st.Step() ? static_cast<int>(st.Int(0)) : 0;
}

void ListJobsDirectly(const std::vector<ListedJob>& jobs) {
    Transaction tx(db());
    EnsureJobTable();
    for (const ListedJob& listed : jobs) {
        JobRow job;
        job.id = listed.id;
        job.printer = listed.spec.printer;
        job.machine = MachineName(listed.spec.machine);
        job.owner = listed.spec.owner;
        job.document = listed.spec.document;
        job.status = listed.spec.status;
        job.pages = listed.spec.pages;
        job.pagesPrinted = listed.pagesPrinted;
        job.size = listed.spec.size;
        job.submittedMs = listed.spec.submittedMs.value_or(0);
        InsertJob(job);
    }
    tx.Commit();
}

// SetJobA's commands on a job of `printer`, as the running spooler applies them.
win::BOOL ControlJob(const std::string& printer, win::DWORD jobId, win::DWORD command) {
    Transaction tx(db());
    std::vector<JobRow> found = SelectJobs("WHERE id = " + std::to_string(jobId), "");
    if (found.empty() || !SameName(found[0].printer, printer)) {
        win::SetLastError(win::ERROR_INVALID_PARAMETER);
        return false;
    }
    JobRow job = found[0];
    // Administrators manage every document; others only their own.
    if (!TokenIsElevated() && !SameName(job.owner, kUserName)) {
        win::SetLastError(win::ERROR_ACCESS_DENIED);
        return false;
    }
    switch (command) {
        case win::JOB_CONTROL_PAUSE:
            job.status |= win::JOB_STATUS_PAUSED;
            break;
        case win::JOB_CONTROL_RESUME:
            job.status &= ~win::JOB_STATUS_PAUSED;
            break;
        case win::JOB_CONTROL_RESTART:
            job.status |= win::JOB_STATUS_RESTART;
            job.status &= ~(win::JOB_STATUS_PRINTED | win::JOB_STATUS_COMPLETE);
            job.pagesPrinted = 0;
            break;
        default:  // cancel, delete
            if ((job.status & win::JOB_STATUS_PRINTING) == 0) {
                RemoveJobFiles(job.id);
                db().Prepare("DELETE FROM jobs WHERE id = ?").Bind(1, job.id).Run();
                tx.Commit();
                win::SetLastError(win::ERROR_SUCCESS);
                return true;
            }
            // A job on its port waits there until the port lets go; a restart drops it.
            job.status |= win::JOB_STATUS_DELETING;
            break;
    }
    InsertJob(job);
    WriteShadow(job);
    tx.Commit();
    win::SetLastError(win::ERROR_SUCCESS);
    return true;
}

std::optional<std::string> DefaultPrinter() {
    std::optional<reg::Value> value = reg::GetValue(kWindowsKey, "Device");
    if (!value)
        return std::nullopt;
    std::string device(value->data.begin(), value->data.end());
    device = device.substr(0, device.find('\0'));
    std::string name = device.substr(0, device.find(','));
    if (name.empty())
        return std::nullopt;
    return name;
}

bool RemoveDriver(const std::string& name) {
    Transaction tx(db());
    db().Prepare("DELETE FROM drivers WHERE name = ?").Bind(1, name).Run();
    bool removed = db().Changes() > 0;
    tx.Commit();
    return removed;
}

std::optional<std::string> FeatureState(const std::string& name) {
    std::lock_guard lock(db().mutex());
    Statement st = db().Prepare("SELECT state FROM features WHERE name = ?");
    st.Bind(1, name);
    if (st.Step())
        return st.Text(0);
    return std::nullopt;
}

void SetFeatureState(const std::string& name, const std::string& state) {
    Transaction tx(db());
    db().Prepare("UPDATE features SET state = ? WHERE name = ?").Bind(1, state).Bind(2, name).Run();
    tx.Commit();
}

}  // namespace quellin::platform::sim

namespace quellin::platform {

namespace {

constexpr DWORD ERROR_INVALID_DATATYPE = 1804;
constexpr DWORD kPrinterAccessAdminister = 0x4;
constexpr DWORD kDelete = 0x10000;
constexpr DWORD kWriteDac = 0x40000;
constexpr DWORD kWriteOwner = 0x80000;
constexpr DWORD DPD_DELETE_SPECIFIC_VERSION = 0x2;
constexpr DWORD DPD_DELETE_ALL_FILES = 0x4;

struct PrinterObject : sim::Object {
    std::string printer;  // canonical name; empty for the print server itself
    DWORD access = 0;
    std::int64_t generation = 0;
};

DWORD Str(const std::string& text) {
    return static_cast<DWORD>(text.size() + 1);
}

DWORD RecordSize(const PRINTER_INFO_A& p, DWORD level) {
    switch (level) {
        case 1:
            return 16 + Str(p.pPrinterName) * 2 + Str(p.pComment);
        case 2:
            return 84 + Str(p.pServerName) + Str(p.pPrinterName) + Str(p.pShareName) +
                   Str(p.pPortName) + Str(p.pDriverName) + Str(p.pComment) + Str(p.pLocation);
        case 4:
            return 12 + Str(p.pPrinterName) + Str(p.pServerName);
        default:
            return 20 + Str(p.pPrinterName) + Str(p.pPortName);
    }
}

DWORD JobSize(const JOB_INFO_2A& j) {
    // JOB_INFO_2A as a 32-bit program lays it out, then its strings.
    return 104 + Str(j.pPrinterName) + Str(j.pMachineName) + Str(j.pUserName) + Str(j.pDocument) +
           Str(j.pNotifyName) + Str(j.pDatatype) + Str(j.pPrintProcessor) + Str(j.pDriverName) +
           Str(j.pStatus);
}

bool IsLocalServer(const std::string& name) {
    return name.empty() || win::SameName(name, std::string("\\\\") + sim::kComputerName);
}

bool CheckServer(const std::string& name) {
    if (IsLocalServer(name))
        return true;
    SetLastError(ERROR_INVALID_NAME);
    return false;
}

// The printer a live handle names, or null with the error Windows gives.
PrinterObject* LookupPrinter(HANDLE handle, bool needPrinter) {
    auto* printer = sim::Lookup<PrinterObject>(handle);
    if (!printer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!sim::SpoolerAvailable())
        return nullptr;
    if (printer->generation != sim::SpoolerGeneration() ||
        (needPrinter && printer->printer.empty())) {
        // A handle from before the spooler's restart no longer reaches it.
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (needPrinter && !sim::FindPrinter(printer->printer)) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return nullptr;
    }
    return printer;
}

std::string NativeEnvironment() {
    return sim::Is64BitWindows() ? "Windows x64" : "Windows NT x86";
}

// The second half of every enumeration: report the size needed, refuse a short buffer, and
// hand the records over, as the two-call pattern of Windows does.
template <typename Record>
BOOL FinishEnumeration(std::vector<Record> found, DWORD size, DWORD bufferSize,
                       std::vector<Record>* records, DWORD* needed, DWORD* returned) {
    if (needed)
        *needed = size;
    if (size > 0 && (bufferSize < size || !records)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    if (returned)
        *returned = static_cast<DWORD>(found.size());
    if (records)
        *records = std::move(found);
    SetLastError(ERROR_SUCCESS);
    return true;
}

}  // namespace

BOOL EnumPrintersA(DWORD flags, const std::string& name, DWORD level,
                   std::vector<PRINTER_INFO_A>* records, DWORD bufferSize, DWORD* needed,
                   DWORD* returned) {
    if (needed)
        *needed = 0;
    if (returned)
        *returned = 0;
    if (level != 1 && level != 2 && level != 4 && level != 5) {
        SetLastError(ERROR_INVALID_LEVEL);
        return false;
    }
    constexpr DWORD kModelled =
        PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS | PRINTER_ENUM_NAME | PRINTER_ENUM_SHARED;
    if (flags & ~kModelled) {
        // Domain and provider enumeration have no counterpart in the sandbox.
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    if (!CheckServer(name))
        return false;
    if (!sim::SpoolerAvailable())
        return false;
    std::vector<PRINTER_INFO_A> found;
    {
        std::lock_guard lock(sim::db().mutex());
        sim::EnsureJobTable();
        sim::Statement st = sim::db().Prepare(
            "SELECT p.name, p.port, p.driver, p.attributes, p.share, p.comment, p.location, "
            "(SELECT COUNT(*) FROM jobs j WHERE j.printer = p.name) FROM printers p ORDER BY p.id");
        while (st.Step()) {
            PRINTER_INFO_A p;
            p.pPrinterName = st.Text(0);
            p.pPortName = st.Text(1);
            p.pDriverName = st.Text(2);
            p.Attributes = static_cast<DWORD>(st.Int(3));
            p.pShareName = st.Text(4);
            p.pComment = st.Text(5);
            p.pLocation = st.Text(6);
            p.cJobs = static_cast<DWORD>(st.Int(7));
            bool connection = (p.Attributes & PRINTER_ATTRIBUTE_NETWORK) != 0;
            bool shared = (p.Attributes & PRINTER_ATTRIBUTE_SHARED) != 0;
            bool local = (flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_NAME)) != 0;
            // PRINTER_ENUM_SHARED narrows the other kinds; it names no kind of its own.
            bool wanted =
                ((local && !connection) || ((flags & PRINTER_ENUM_CONNECTIONS) && connection)) &&
                (!(flags & PRINTER_ENUM_SHARED) || shared);
            if (!wanted)
                continue;
            if (connection && p.pPrinterName.rfind("\\\\", 0) == 0)
                p.pServerName = p.pPrinterName.substr(0, p.pPrinterName.find('\\', 2));
            found.push_back(std::move(p));
        }
    }
    DWORD size = 0;
    for (const auto& p : found)
        size += RecordSize(p, level);
    return FinishEnumeration(std::move(found), size, bufferSize, records, needed, returned);
}

BOOL OpenPrinterA(const std::string& name, HANDLE* handle, const PRINTER_DEFAULTSA* defaults) {
    if (!handle) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    *handle = nullptr;
    if (!sim::SpoolerAvailable())
        return false;
    DWORD access =
        defaults && defaults->DesiredAccess ? defaults->DesiredAccess : PRINTER_ACCESS_USE;
    if (defaults && !defaults->pDatatype.empty()) {
        static const char* const kKnown[] = {
            "RAW",  "RAW [FF appended]", "RAW [FF auto]", "NT EMF 1.008",
            "TEXT", "XPS2GDI",           "XPS_PASS"};
        bool known = std::any_of(std::begin(kKnown), std::end(kKnown), [&](const char* k) {
            return win::SameName(defaults->pDatatype, k);
        });
        if (!known) {
            SetLastError(ERROR_INVALID_DATATYPE);
            return false;
        }
    }
    std::string printer;
    if (!IsLocalServer(name)) {
        std::optional<std::string> found = sim::FindPrinter(name);
        std::string prefix = std::string("\\\\") + sim::kComputerName + "\\";
        if (!found && name.size() > prefix.size() &&
            win::SameName(name.substr(0, prefix.size()), prefix))
            found = sim::FindPrinter(name.substr(prefix.size()));
        if (!found) {
            SetLastError(ERROR_INVALID_PRINTER_NAME);
            return false;
        }
        printer = *found;
    }
    constexpr DWORD kAdministrative = kPrinterAccessAdminister | kDelete | kWriteDac | kWriteOwner;
    if (!sim::TokenIsElevated() && (access & kAdministrative)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    auto object = std::make_unique<PrinterObject>();
    object->printer = printer;
    object->access = access;
    object->generation = sim::SpoolerGeneration();
    *handle = static_cast<HANDLE>(sim::RegisterObject(std::move(object)));
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL ClosePrinter(HANDLE handle) {
    if (!sim::Lookup<PrinterObject>(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    sim::ReleaseObject(handle);
    return true;
}

BOOL DeletePrinter(HANDLE handle) {
    PrinterObject* printer = LookupPrinter(handle, true);
    if (!printer)
        return false;
    if ((printer->access & kDelete) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (!sim::RemovePrinter(printer->printer)) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL DeletePrinterDriverExA(const std::string& server, const std::string& environment,
                            const std::string& driverName, DWORD deleteFlags, DWORD versionFlag) {
    if (!CheckServer(server))
        return false;
    if (!sim::SpoolerAvailable())
        return false;
    if (!sim::TokenIsElevated()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (!sim::PrivilegeEnabled(win::SE_LOAD_DRIVER_NAME)) {
        SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        return false;
    }
    if (driverName.empty() ||
        (deleteFlags &
         ~(DPD_DELETE_UNUSED_FILES | DPD_DELETE_SPECIFIC_VERSION | DPD_DELETE_ALL_FILES)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // A 32-bit program's own environment is the x86 one.
    std::string env = environment.empty() ? "Windows NT x86" : environment;
    static const char* const kEnvironments[] = {"Windows x64", "Windows NT x86", "Windows IA64",
                                                "Windows ARM64", "Windows 4.0"};
    if (std::none_of(std::begin(kEnvironments), std::end(kEnvironments),
                     [&](const char* e) { return win::SameName(env, e); })) {
        SetLastError(ERROR_INVALID_ENVIRONMENT);
        return false;
    }
    sim::Transaction tx(sim::db());
    std::string where = "WHERE name = ? AND environment = ?";
    if (deleteFlags & DPD_DELETE_SPECIFIC_VERSION)
        where += " AND version = " + std::to_string(versionFlag);
    std::int64_t matches = 0;
    {
        sim::Statement st = sim::db().Prepare("SELECT COUNT(*) FROM drivers " + where);
        st.Bind(1, driverName).Bind(2, env);
        matches = st.Step() ? st.Int(0) : 0;
    }
    if (matches == 0) {
        SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
        return false;
    }
    if (win::SameName(env, NativeEnvironment()) &&
        sim::db()
                .QueryInt("SELECT COUNT(*) FROM printers WHERE driver = ? COLLATE NOCASE",
                          driverName)
                .value_or(0) > 0) {
        SetLastError(ERROR_PRINTER_DRIVER_IN_USE);
        return false;
    }
    sim::db().Prepare("DELETE FROM drivers " + where).Bind(1, driverName).Bind(2, env).Run();
    tx.Commit();
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL EnumPortsA(const std::string& server, DWORD level, std::vector<PORT_INFO_1A>* records,
                DWORD bufferSize, DWORD* needed, DWORD* returned) {
    if (needed)
        *needed = 0;
    if (returned)
        *returned = 0;
    if (!CheckServer(server))
        return false;
    if (level != 1) {
        // Level 2 exists on Windows; the sandbox models only the name records.
        SetLastError(ERROR_INVALID_LEVEL);
        return false;
    }
    if (!sim::SpoolerAvailable())
        return false;
    std::vector<PORT_INFO_1A> found;
    {
        std::lock_guard lock(sim::db().mutex());
        sim::Statement st = sim::db().Prepare("SELECT name FROM ports ORDER BY id");
        while (st.Step())
            found.push_back(PORT_INFO_1A{st.Text(0)});
    }
    DWORD size = 0;
    for (const auto& p : found)
        size += 4 + Str(p.pName);
    return FinishEnumeration(std::move(found), size, bufferSize, records, needed, returned);
}

BOOL AddPortExA(const std::string& server, DWORD level, const PORT_INFO_1A& port,
                const std::string& monitorName) {
    if (!CheckServer(server))
        return false;
    if (level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return false;
    }
    if (!sim::SpoolerAvailable())
        return false;
    if (!sim::TokenIsElevated()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (port.pName.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!win::SameName(monitorName, "Local Port")) {
        bool known = sim::db()
                             .QueryInt("SELECT COUNT(*) FROM ports WHERE monitor = ?", monitorName)
                             .value_or(0) > 0 ||
                     win::SameName(monitorName, "Standard TCP/IP Port");
        // Other monitors add their ports through their own user interface.
        SetLastError(known ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER);
        return false;
    }
    sim::Transaction tx(sim::db());
    if (sim::db().QueryInt("SELECT COUNT(*) FROM ports WHERE name = ?", port.pName).value_or(0) >
        0) {
        // The local port monitor refuses a name it has already as a bad parameter.
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    sim::db()
        .Prepare("INSERT INTO ports(name, monitor) VALUES(?, 'Local Port')")
        .Bind(1, port.pName)
        .Run();
    tx.Commit();
    SetLastError(ERROR_SUCCESS);
    return true;
}

BOOL EnumJobsA(HANDLE handle, DWORD firstJob, DWORD count, DWORD level,
               std::vector<JOB_INFO_2A>* records, DWORD bufferSize, DWORD* needed,
               DWORD* returned) {
    if (needed)
        *needed = 0;
    if (returned)
        *returned = 0;
    PrinterObject* printer = LookupPrinter(handle, true);
    if (!printer)
        return false;
    if (level != 2) {
        // Levels 1 and 3 exist on Windows; the sandbox models the full record only.
        SetLastError(ERROR_INVALID_LEVEL);
        return false;
    }
    std::vector<JOB_INFO_2A> all = sim::ListJobs(printer->printer);
    std::vector<JOB_INFO_2A> wanted;
    for (std::size_t i = firstJob; i < all.size() && wanted.size() < count; ++i)
        wanted.push_back(std::move(all[i]));
    DWORD size = 0;
    for (const auto& j : wanted)
        size += JobSize(j);
    return FinishEnumeration(std::move(wanted), size, bufferSize, records, needed, returned);
}

BOOL SetJobA(HANDLE handle, DWORD jobId, DWORD level, DWORD command) {
    PrinterObject* printer = LookupPrinter(handle, true);
    if (!printer)
        return false;
    if (level != 0) {
        // Setting job fields through JOB_INFO records is not modelled.
        SetLastError(ERROR_INVALID_LEVEL);
        return false;
    }
    if (command < JOB_CONTROL_PAUSE || command > 9 || jobId == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (command > JOB_CONTROL_DELETE) {
        // Sent-to-printer, last-page-ejected, retain and release belong to monitors and
        // job retention, which the sandbox has not.
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    return sim::ControlJob(printer->printer, jobId, command);
}

BOOL GetDefaultPrinterA(std::string* buffer, DWORD* size) {
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // Windows reads the user's setting without asking the spooler.
    std::optional<std::string> name = sim::DefaultPrinter();
    if (!name) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    const DWORD needed = static_cast<DWORD>(name->size() + 1);
    if (!buffer || *size < needed) {
        *size = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    *buffer = std::move(*name);
    *size = needed;
    SetLastError(ERROR_SUCCESS);
    return true;
}

}  // namespace quellin::platform
