// Which paths the elevated repair may delete. The auto-save file's name and the temp folder
// come from places any process of the user can set, while the program runs as administrator;
// these rules keep that from becoming a way to delete system files.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quellin::repair {

// A fully qualified drive path ("C:\Users\x\a.txt") as Windows resolves it: separators
// unified, "." and ".." applied, trailing dots and blanks of each name dropped. Nothing for
// anything else: relative, drive-relative, UNC and device paths, wildcards, stream names, and
// folder names that look like short 8.3 aliases ("PROGRA~1"), whose long names are unknown.
std::optional<std::string> CanonicalPath(const std::string& path);

// CanonicalPath, or for an existing path given with 8.3 aliases, that of its long form.
std::optional<std::string> CanonicalExistingPath(const std::string& path);

// The Windows folder (as the system gives it) and the program-files folders, canonical, from
// the environment (with the Windows folder's drive and the usual names as fallbacks).
std::vector<std::string> ProtectedFolders();

// True when `path` is `folder` or lies inside it; both canonical, letter case ignored.
bool IsSameOrInside(const std::string& path, const std::string& folder);

// Deletes the auto-save file, with the user's own rights, when it names an existing plain file
// outside the protected folders, reached through no linked folder; a file link is removed as
// a link. Anything else
// (a folder, a folder link, a system file, a path it cannot judge) is skipped silently.
// Returns true when the file was deleted.
bool DeleteAutoSaveFile(const std::string& name);

// True when the temp clean-up may empty (and re-create) `folder`: a folder or nothing, not a
// link and reached through none, not a drive root, not a protected folder or one that holds a
// protected folder, not inside one except the Windows folder's own "Temp", and not the user's
// profile or a folder that holds it.
bool IsCleanableTempFolder(const std::string& folder);

}  // namespace quellin::repair
