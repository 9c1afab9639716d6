// Taking only what a restore uses out of a settings archive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/unzipper.h"

namespace quellin::backup {

// No entry a restore uses comes near this: the hives and driver files are kilobytes.
inline constexpr std::uint64_t kMaxRestoreEntrySize = std::uint64_t{64} << 20;

// Extracts from the archive `zipper.ZipName` only the entries named in `wanted` (file names
// without folders), each into `folder` under that name, and nothing else. An entry is found
// by its full name; only when no entry carries exactly that name does one that stores it under
// a folder stand in for it (its folder dropped), and only when it is the only such entry. The
// data passes through a temporary file that replaces the target once the entry decoded whole.
// Returns a line for each wanted name that was present but could not be used: several
// candidates, an entry larger than `limit` (judged by its recorded size before anything is
// written; the data is never decoded past that size), a damaged or unreadable entry, or a
// target that could not be written. Archive errors propagate as from UnZip.
std::vector<std::string> ExtractNamedEntries(archive::TUnZipper& zipper,
                                             const std::vector<std::string>& wanted,
                                             const std::string& folder,
                                             std::uint64_t limit = kMaxRestoreEntrySize);

// The same judgement of each wanted entry as ExtractNamedEntries, decoding it in full but
// writing nothing: the lines it would return.
std::vector<std::string> CheckNamedEntries(archive::TUnZipper& zipper,
                                           const std::vector<std::string>& wanted,
                                           std::uint64_t limit = kMaxRestoreEntrySize);

}  // namespace quellin::backup
