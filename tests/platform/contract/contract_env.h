// What the platform contract suite needs from the system it runs on, beyond the platform
// layer itself: a clean place per test, a second process, and the places where the system is
// Wine rather than Windows. One implementation per backend.
#pragma once

#include <string>

#include "platform/types.h"

namespace quellin::platform::contract {

// Prepares a clean system for one test (the sandbox: a fresh temporary sandbox; Windows: a
// fresh scratch folder and registry key) and removes it again.
void SetUpSystem();
void TearDownSystem();

// A folder of this test's own, empty at the start, as a Windows path without a trailing
// backslash.
std::string ScratchFolder();
// A key path under HKEY_CURRENT_USER of this test's own, missing at the start.
std::string ScratchKey();

// Makes an empty file in `folder` under a name given in UTF-8, which the ANSI functions may
// not be able to write.
void PutFileNamedInUtf8(const std::string& folder, const std::string& utf8Name);

// Whether the system runs 32-bit programs under a 64-bit Windows, and this is one.
bool Is32BitOn64BitWindows();

// A program the shell can start, and the exit code it ends with.
struct ExitingProgram {
    std::string file;
    std::string parameters;
    win::DWORD exitCode = 0;
};
ExitingProgram ProgramWithExitCode();

// Runs the suite's helper program as a separate process and returns its exit code:
//   "mapping NAME": opens the named 8-byte mapping, adds 1 to the 32-bit value at offset 0,
//   stores it at offset 4, and ends with 0 when the mapping existed already, 1 when it did not.
win::DWORD RunHelper(const std::string& arguments);

// The helper's own start: reach the system its parent tests (helper_system_*.cpp).
void OpenHelperSystem();

// True when the suite runs under Wine rather than Windows or the sandbox.
bool UnderWine();

}  // namespace quellin::platform::contract

// Skips one check where Wine is known to differ from Windows, naming the difference in the
// test's output so a reader sees what Wine could not show:
//   if (!WINE_DIFFERS("EnumJobsA is a stub that lists no jobs")) { EXPECT_...; }
#define WINE_DIFFERS(what) ::quellin::platform::contract::ReportWineDifference(what)
namespace quellin::platform::contract {
bool ReportWineDifference(const char* what);
}
