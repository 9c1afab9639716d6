// What the sandbox's emulated system tools (dism.exe, rundll32.exe) share. The shell starts
// them as real child processes of the program, with $QUELLIN_SANDBOX naming the sandbox, the
// Windows command line after "--cmdline", and a pipe for the full 32-bit exit code, which a
// Linux exit status cannot carry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/sim_namespace.h"

namespace quellin::platform::sim {

// The Windows command line the tool was started with. Started by hand, the tool's own
// arguments are joined back into one, quoting those with blanks.
std::string EmulatorCommandLine(int argc, char** argv);

// Splits a command line as the C runtime does: blanks separate, double quotes group and are
// dropped, a backslash escapes a quote.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Opens the sandbox the tool was started in. A tool never creates one: when the sandbox has
// gone (its program ended and removed it) the tool ends with an error instead.
void OpenEmulatorSandbox();

// True when the tool runs as the 32-bit twin from SysWOW64.
bool EmulatorIs32Bit();

// Ends the tool with a Windows exit code.
[[noreturn]] void ExitEmulator(std::uint32_t code);

// The emulator executables the shell maps its marker files to.
inline constexpr const char* kDismEmulator = "quellin-sim-dism";
inline constexpr const char* kRundll32Emulator = "quellin-sim-rundll32";

}  // namespace quellin::platform::sim
