// The shell's file operations and the record of what the emulated tools showed.
#include <ctime>

#include "platform/filesystem.h"
#include "platform/processes.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/security_state.h"
#include "platform/sim/spool.h"
#include "platform/sim/strings.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace quellin::platform::sim {

namespace {
void EnsureEventTable() {
    db().Exec(
        "CREATE TABLE IF NOT EXISTS shell_events(id INTEGER PRIMARY KEY, time TEXT NOT NULL, "
        "source TEXT NOT NULL, event TEXT NOT NULL, detail TEXT NOT NULL)");
}
}  // namespace

void LogShellEvent(const std::string& source, const std::string& event, const std::string& detail) {
    std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    Transaction tx(db());
    EnsureEventTable();
    db().Prepare("INSERT INTO shell_events(time, source, event, detail) VALUES(?, ?, ?, ?)")
        .Bind(1, std::string(stamp))
        .Bind(2, source)
        .Bind(3, event)
        .Bind(4, detail)
        .Run();
    tx.Commit();
}

std::vector<ShellEvent> ShellEvents() {
    std::lock_guard lock(db().mutex());
    EnsureEventTable();
    Statement st = db().Prepare("SELECT time, source, event, detail FROM shell_events ORDER BY id");
    std::vector<ShellEvent> events;
    while (st.Step())
        events.push_back({st.Text(0), st.Text(1), st.Text(2), st.Text(3)});
    return events;
}

bool LoaderRefuses(const std::string& call) {
    if (RedirectionEnabled() || !Is64BitWindows())
        return false;
    LogShellEvent("loader", "ERROR_BAD_EXE_FORMAT", call);
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return true;
}

}  // namespace quellin::platform::sim

namespace quellin::platform {

namespace {

struct Item {
    std::string path;
    bool folder = false;
};

bool HasWildcard(const std::string& name) {
    return name.find_first_of("*?") != std::string::npos;
}

void ClearProtection(const std::string& path, DWORD attributes) {
    constexpr DWORD kProtection = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM;
    if (attributes & kProtection)
        SetFileAttributesA(path, attributes & ~kProtection);
}

// Deletes one item and, for a real folder, everything in it. A link (junction or symbolic
// link) is removed as a link: the shell never deletes through it.
DWORD DeleteItem(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError();
    ClearProtection(path, attributes);
    bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!folder)
        return DeleteFileA(path) ? ERROR_SUCCESS : GetLastError();
    DWORD firstError = ERROR_SUCCESS;
    if (!link) {
        WIN32_FIND_DATAA data;
        UniqueFindHandle find(FindFirstFileA(path + "\\*", &data));
        if (find) {
            do {
                if (data.cFileName == "." || data.cFileName == "..")
                    continue;
                DWORD error = DeleteItem(path + "\\" + data.cFileName);
                if (firstError == ERROR_SUCCESS)
                    firstError = error;
            } while (FindNextFileA(find.get(), &data));
        }
    }
    if (!RemoveDirectoryA(path) && firstError == ERROR_SUCCESS)
        firstError = GetLastError();
    return firstError;
}

std::string BaseName(const std::string& path) {
    return NameOf(path);
}

}  // namespace

namespace sim {

bool ShellErrorBox(HWND owner, const std::string& text, const std::string& caption) {
    // As SYSTEM in session 0 nobody sees the box, and the call never returns.
    if (!HasInteractiveDesktop()) {
        LogShellEvent("shell", "hang", caption + ": " + text);
        return false;
    }
    ui().MessageBox(owner, text, caption, MB_OK | MB_ICONERROR);
    return true;
}

}  // namespace sim

int SHFileOperationA(SHFILEOPSTRUCTA* op) {
    if (!op) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<int>(ERROR_INVALID_PARAMETER);
    }
    op->fAnyOperationsAborted = false;
    if (sim::LoaderRefuses("SHFileOperation"))
        return static_cast<int>(ERROR_BAD_EXE_FORMAT);
    if (op->wFunc != FO_DELETE || (op->fFlags & FOF_ALLOWUNDO)) {
        // Copying, moving, renaming and the recycle bin are not part of the sandbox.
        SetLastError(ERROR_NOT_SUPPORTED);
        return static_cast<int>(ERROR_NOT_SUPPORTED);
    }
    const std::string& from = op->pFrom;
    if (from.size() < 2 || from[from.size() - 1] != '\0' || from[from.size() - 2] != '\0') {
        // Without its double zero the shell would read on past the list.
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<int>(ERROR_INVALID_PARAMETER);
    }
    std::vector<std::string> sources;
    for (std::size_t start = 0; start < from.size() && from[start] != '\0';) {
        std::size_t end = from.find('\0', start);
        sources.push_back(from.substr(start, end - start));
        start = end + 1;
    }
    constexpr int kInvalidFiles = 0x7C;  // DE_INVALIDFILES
    std::vector<Item> items;
    for (const std::string& source : sources) {
        std::string name = NameOf(source);
        if (source.size() < 3 || source[1] != ':' || name.size() == source.size())
            return kInvalidFiles;
        std::string folder = FolderOf(source);
        if (!HasWildcard(name)) {
            DWORD attributes = GetFileAttributesA(source);
            if (attributes == INVALID_FILE_ATTRIBUTES) {
                DWORD error = GetLastError();
                if ((op->fFlags & FOF_NOERRORUI) == 0)
                    sim::ShellErrorBox(
                        op->hwnd,
                        "Cannot delete " + BaseName(source) + ": " + FormatSystemMessage(error),
                        "Error Deleting File or Folder");
                return static_cast<int>(error);
            }
            items.push_back({source, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
            continue;
        }
        WIN32_FIND_DATAA data;
        UniqueFindHandle find(FindFirstFileA(source, &data));
        if (!find)
            continue;
        do {
            if (data.cFileName == "." || data.cFileName == "..")
                continue;
            bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (isFolder && (op->fFlags & FOF_FILESONLY))
                continue;
            items.push_back({folder + "\\" + data.cFileName, isFolder});
        } while (FindNextFileA(find.get(), &data));
    }
    if (items.empty())
        return 0;
    if ((op->fFlags & FOF_NOCONFIRMATION) == 0) {
        std::string text = items.size() > 1
                               ? "Are you sure you want to permanently delete these " +
                                     std::to_string(items.size()) + " items?"
                               : std::string("Are you sure you want to permanently delete this ") +
                                     (items[0].folder ? "folder?" : "file?");
        std::string caption = items.size() > 1  ? "Delete Multiple Items"
                              : items[0].folder ? "Delete Folder"
                                                : "Delete File";
        if (ui().MessageBox(op->hwnd, text, caption, MB_YESNO | MB_ICONWARNING) != IDYES) {
            op->fAnyOperationsAborted = true;
            return static_cast<int>(ERROR_CANCELLED);
        }
    }
    DWORD firstError = ERROR_SUCCESS;
    for (const Item& item : items) {
        DWORD error = DeleteItem(item.path);
        if (error == ERROR_SUCCESS)
            continue;
        if (firstError == ERROR_SUCCESS)
            firstError = error;
        if ((op->fFlags & FOF_NOERRORUI) == 0 &&
            !sim::ShellErrorBox(
                op->hwnd,
                "Cannot delete " + BaseName(item.path) + ": " + FormatSystemMessage(error),
                "Error Deleting File or Folder")) {
            op->fAnyOperationsAborted = true;
            return static_cast<int>(firstError);
        }
    }
    return static_cast<int>(firstError);
}

}  // namespace quellin::platform
