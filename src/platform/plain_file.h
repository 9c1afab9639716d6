// Files in places another process may change between two calls, reached only through handles
// that follow no link: the name itself is opened, and the handle is kept only when it names
// what was meant.
#pragma once

#include <cstdint>
#include <string>

#include "platform/filesystem.h"
#include "platform/handle.h"

namespace quellin::platform {

// Opens what stands at `path` itself (FILE_FLAG_OPEN_REPARSE_POINT: a link or mount point at that
// name is opened as the link, never followed) and keeps the handle only when it names one plain
// file on a disk: no link, no folder, no device or pipe. With `singleName`, a file that has other
// names too (a hard link) is refused as well. Refusals fail with ERROR_ACCESS_DENIED; CREATE_NEW
// fails with ERROR_FILE_EXISTS when anything, a link included, stands at the name.
UniqueFileHandle OpenPlainFile(const std::string& path, DWORD access, DWORD shareMode,
                               DWORD disposition, bool singleName = false);

// Whether the open handle names one plain file as above; fills `info` when given.
bool IsPlainFile(HANDLE file, bool singleName, BY_HANDLE_FILE_INFORMATION* info = nullptr);

// Removes what stands at `path` when it is a file or a link (the link itself, never its
// target), through a handle. True when nothing stands there afterwards.
bool RemoveFileOrLink(const std::string& path);

// Copies `from`, from its start, to `to` at its current position. True when every byte went.
bool CopyFileBytes(HANDLE from, HANDLE to);

}  // namespace quellin::platform
