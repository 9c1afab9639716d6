#include "platform/sim/short_names.h"

#include <stdexcept>

#include "platform/sim/control.h"
#include "platform/sim/sandbox.h"
#include "platform/sim/strings.h"
#include "platform/text.h"

namespace quellin::platform::sim {

namespace {

void EnsureTable() {
    db().Exec(
        "CREATE TABLE IF NOT EXISTS short_names(folder TEXT NOT NULL COLLATE NOCASE, "
        "alias TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL, PRIMARY KEY(folder, alias))");
}

}  // namespace

void AddShortName(const std::string& longPath, const std::string& alias) {
    const std::string folder = win::FolderOf(longPath);
    std::lock_guard lock(db().mutex());
    EnsureTable();
    db().Prepare("INSERT OR REPLACE INTO short_names(folder, alias, name) VALUES(?, ?, ?)")
        .Bind(1, folder)
        .Bind(2, alias)
        .Bind(3, win::NameOf(longPath))
        .Run();
}

std::string ExpandShortNames(const std::string& windowsPath) {
    WindowsPath path;
    try {
        path = ParseWindowsPath(windowsPath);
    } catch (const std::invalid_argument&) {
        return windowsPath;
    }
    std::string folder = std::string(1, path.drive) + ":";
    std::lock_guard lock(db().mutex());
    EnsureTable();
    for (std::string& part : path.parts) {
        Statement st = db().Prepare("SELECT name FROM short_names WHERE folder = ? AND alias = ?");
        st.Bind(1, folder).Bind(2, part);
        if (st.Step())
            part = st.Text(0);
        folder = win::JoinPath(folder, part);
    }
    return path.ToString();
}

}  // namespace quellin::platform::sim
