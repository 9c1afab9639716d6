// The single-instance guard: an 8-byte named shared record, shared by every instance started
// from the same executable file, holding the window of the instance that holds the slot
// (offset 0) and the number of instances holding one (offset 4).
#pragma once

#include "platform/types.h"

namespace quellin::system {

// True when another instance holds the slot; it has then been restored and brought to the
// front, and the caller must end at once. Raises SystemError when the record cannot be made.
bool ActivatePreviousInstance(platform::HWND window, int maxInstances);

// Gives the slot back; runs once at program end, whatever ended it.
void ReleasePreviousInstance();

// The record's name for an executable path: the path without its backslashes.
std::string InstanceMappingName(const std::string& executablePath);

}  // namespace quellin::system
