#include "audit/audit.h"

#include <cstdio>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/dates.h"
#include "platform/eventlog.h"
#include "platform/filesystem.h"
#include "platform/plain_file.h"
#include "platform/security.h"
#include "platform/text.h"

namespace quellin::audit {

namespace {

// Only administrators and SYSTEM may open the folders, and they are refused unless so owned: a
// user may make C:\ProgramData\Quellin first, or put a link there.
// The owner is named: an administrator's default owner may be the user rather than the group.
constexpr const char* kAdminsOnly = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

struct State {
    std::recursive_mutex mutex;
    bool open = false;
    std::string program, runId;
    bool administrator = false;
    bool fileBroken = false;  // noted, and not tried again this run
    win::HANDLE source = nullptr;
    std::function<void(const std::string&)> sink;
};

State& state() {
    static State s;
    return s;
}

const char* LevelName(std::uint16_t type) {
    return type == win::EVENTLOG_ERROR_TYPE     ? "error"
           : type == win::EVENTLOG_WARNING_TYPE ? "warning"
                                                : "information";
}

std::string NowText() {
    win::FILETIME now;
    win::GetSystemTimeAsFileTime(&now);
    win::SYSTEMTIME t;
    win::FileTimeToSystemTime(now, &t);
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return text;
}

bool IsTrustedOwner(const win::SID& owner) {
    const win::SID admins{win::SECURITY_NT_AUTHORITY,
                          {win::SECURITY_BUILTIN_DOMAIN_RID, win::DOMAIN_ALIAS_RID_ADMINS}};
    const win::SID system{win::SECURITY_NT_AUTHORITY, {win::SECURITY_LOCAL_SYSTEM_RID}};
    return owner == admins || owner == system;
}

// Makes the folder (administrators only) unless it exists, then holds it open without sharing
// deletion, so that it cannot be renamed away while the log is written, and keeps it only when
// it is a real folder, no link, owned by the Administrators group or SYSTEM.
win::UniqueFileHandle HoldSafeFolder(const std::string& path, std::string* why) {
    if (!win::CreateDirectoryA(path, kAdminsOnly) &&
        win::GetLastError() != win::ERROR_ALREADY_EXISTS) {
        *why = "cannot make " + path + ": " + win::FormatSystemMessage(win::GetLastError());
        return {};
    }
    win::UniqueFileHandle folder(
        win::CreateFileA(path, win::READ_CONTROL | win::FILE_READ_ATTRIBUTES,
                         win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, win::OPEN_EXISTING,
                         win::FILE_FLAG_BACKUP_SEMANTICS | win::FILE_FLAG_OPEN_REPARSE_POINT));
    if (!folder) {
        *why = "cannot open " + path + ": " + win::FormatSystemMessage(win::GetLastError());
        return {};
    }
    win::BY_HANDLE_FILE_INFORMATION info;
    win::SID owner;
    if (!win::GetFileInformationByHandle(folder.get(), &info) ||
        (info.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.dwFileAttributes & win::FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        win::GetSecurityInfo(folder.get(), win::SE_FILE_OBJECT, win::OWNER_SECURITY_INFORMATION,
                             &owner) != win::ERROR_SUCCESS ||
        !IsTrustedOwner(owner)) {
        *why = path + " is a link or not owned by the Administrators group or SYSTEM";
        return {};
    }
    return folder;
}

std::string OldLogName(const std::string& folder, int n) {
    return win::JoinPath(folder, "quellin." + std::to_string(n) + ".log");
}

// Renames the file at `from` (never a link's target) to `to`, replacing what is there.
void RenamePlain(const std::string& from, const std::string& to) {
    win::UniqueFileHandle file =
        win::OpenPlainFile(from, win::DELETE | win::FILE_READ_ATTRIBUTES,
                           win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE,
                           win::OPEN_EXISTING, true);
    if (file)
        win::SetFileInformationByHandle(file.get(), win::FILE_RENAME_INFO{true, to});
}

// Appends one line to the log file, rotating it first when the line would take it past the
// fixed size. False, with the reason, when it cannot be written.
bool AppendLine(const std::string& line, std::string* why) {
    std::string base;
    if (win::SHGetFolderPathA(0, win::CSIDL_COMMON_APPDATA, nullptr, win::SHGFP_TYPE_CURRENT,
                              &base) != 0) {
        *why = "the folder for all users' application data is unknown";
        return false;
    }
    const std::string top = win::JoinPath(base, "Quellin");
    const std::string logs = win::JoinPath(top, "Logs");
    const win::UniqueFileHandle topHeld = HoldSafeFolder(top, why);
    if (!topHeld)
        return false;
    const win::UniqueFileHandle logsHeld = HoldSafeFolder(logs, why);
    if (!logsHeld)
        return false;
    const std::string path = win::JoinPath(logs, kLogFileName);
    // Reading the attributes lets the handle be checked for what it names.
    constexpr win::DWORD kAccess = win::GENERIC_WRITE | win::FILE_READ_ATTRIBUTES;
    constexpr win::DWORD kShare =
        win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE;
    win::UniqueFileHandle file = win::OpenPlainFile(path, kAccess, kShare, win::OPEN_ALWAYS, true);
    std::int64_t size = 0;
    if (file && win::GetFileSizeEx(file.get(), &size) &&
        size + static_cast<std::int64_t>(line.size()) > kRotationBytes && size > 0) {
        file.reset();
        for (int n = kOldLogFiles - 1; n >= 1; --n)
            RenamePlain(OldLogName(logs, n), OldLogName(logs, n + 1));
        RenamePlain(path, OldLogName(logs, 1));
        file = win::OpenPlainFile(path, kAccess, kShare, win::OPEN_ALWAYS, true);
    }
    win::DWORD written = 0;
    if (!file || !win::SetFilePointerEx(file.get(), 0, nullptr, win::FILE_END) ||
        !win::WriteFile(file.get(), line.data(), static_cast<win::DWORD>(line.size()), &written) ||
        written != line.size()) {
        *why = "cannot write " + path + ": " + win::FormatSystemMessage(win::GetLastError());
        return false;
    }
    return true;
}

void WriteEntry(State& s, EventId id, const std::string& text) {
    // One line, and within what an event's insertion string may hold, cut between characters.
    std::string shown = ShowControls(text);
    constexpr std::ptrdiff_t kLongest = 4096;
    if (shown.size() > static_cast<std::size_t>(kLongest)) {
        const char* end = shown.c_str();
        while (*end && win::CharNextA(end) - shown.c_str() <= kLongest)
            end = win::CharNextA(end);
        shown.resize(static_cast<std::size_t>(end - shown.c_str()));
    }
    const std::uint16_t type = EventType(id);
    if (s.source)
        win::ReportEventA(s.source, type, 0, id, {s.program + ": " + shown});
    if (!s.administrator || s.fileBroken)
        return;
    const std::string line = NowText() + " " + LevelName(type) + " " + std::to_string(id) +
                             " run=" + (s.runId.empty() ? "-" : ShowControls(s.runId)) + " " +
                             s.program + ": " + shown + "\r\n";
    std::string why;
    if (!AppendLine(win::AnsiToUtf8(line), &why)) {
        s.fileBroken = true;
        if (s.sink)
            s.sink("the log file cannot be written (" + why + "); going on without it");
    }
}

void Write(EventId id, const std::string& text) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (!s.open)
        return;
    // Windows keeps last errors of the caller's own steps; recording must not change them.
    const win::DWORD lastError = win::GetLastError();
    try {
        WriteEntry(s, id, text);
    } catch (const std::exception&) {
        // An entry that cannot be made is dropped: the command it records goes on.
    }
    win::SetLastError(lastError);
}

}  // namespace

std::uint16_t EventType(EventId id) {
    switch (id) {
        case kRunRefused:
            return win::EVENTLOG_WARNING_TYPE;
        case kRunFailed:
        case kProgramFailed:
        case kServiceFailed:
        case kPrinterFailed:
        case kFileFailed:
        case kKeyFailed:
        case kJobFailed:
            return win::EVENTLOG_ERROR_TYPE;
        default:
            return win::EVENTLOG_INFORMATION_TYPE;
    }
}

std::string ShowControls(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        // A byte of the upper half is a control only where the code page maps it to one (1252's
        // five unassigned bytes map to C1 controls, which some terminals obey).
        // A lead byte of a double-byte code page alone converts to nothing: not a control.
        const std::u16string one =
            byte < 0x80 ? std::u16string(1, byte) : win::AnsiToWide(std::string_view(&c, 1));
        const char16_t u = one.empty() ? u'?' : one[0];
        if (u >= 0x20 && !(u >= 0x7F && u <= 0x9F)) {
            shown += c;
            continue;
        }
        switch (u) {
            case '\n':
                shown += "\\n";
                break;
            case '\r':
                shown += "\\r";
                break;
            case '\t':
                shown += "\\t";
                break;
            default: {
                static constexpr char kHex[] = "0123456789abcdef";
                shown += "\\x";
                shown += kHex[byte >> 4];
                shown += kHex[byte & 0xF];
            }
        }
    }
    return shown;
}

std::string Quoted(std::string_view name) {
    std::string quoted;
    quoted.reserve(name.size() + 2);
    quoted.push_back('"');
    quoted.append(name);
    quoted.push_back('"');
    return quoted;
}

Run::Run(const std::string& program, const std::string& command, const std::string& version,
         const std::string& runId, bool administrator) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const win::DWORD lastError = win::GetLastError();
    s.open = true;
    s.program = program;
    s.runId = runId;
    s.administrator = administrator;
    s.fileBroken = false;
    s.source = win::RegisterEventSourceA("", kEventSource);
    std::string user;
    win::GetUserNameA(&user);
    win::SetLastError(lastError);
    Write(kRunStarted, "started " + command + ", version " + version + ", as " + user);
}

Run::~Run() {
    if (!ended_)
        End(-1, "ended without an exit code");
}

void Run::End(int exitCode, const std::string& outcome) {
    if (ended_)
        return;
    ended_ = true;
    const EventId id = exitCode == 0 || exitCode == 3010                ? kRunDone
                       : exitCode == 4 || exitCode == 5 || exitCode < 0 ? kRunFailed
                                                                        : kRunRefused;
    Write(id, "ended: " + outcome + ", exit code " + std::to_string(exitCode));
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.source)
        win::DeregisterEventSource(s.source);
    s.source = nullptr;
    s.open = false;
}

void Record(EventId id, const std::string& text) {
    Write(id, text);
}

void SetNoteSink(std::function<void(const std::string&)> sink) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.sink = std::move(sink);
}

}  // namespace quellin::audit
