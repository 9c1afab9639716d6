// The process's library table: each system library's handle is taken (GetModuleHandleA; the
// libraries it names are always loaded) on its first request and every looked-up function is
// remembered, found or missing, until the table is released at the end.
#pragma once

#include <string>

#include "platform/types.h"

namespace quellin::system {

// The function's address, or null when the library or the function is missing.
win::FARPROC LookupFunction(const std::string& library, const std::string& function);

// Forgets the library handles and the looked-up functions (program end).
void ReleaseLibraryTable();

}  // namespace quellin::system
