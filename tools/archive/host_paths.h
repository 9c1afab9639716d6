// How the archive tool reaches the files of the machine it runs on.
#pragma once

#include <string>

namespace quellin::tools {

// Makes the system's files reachable (on the sandbox: opens it).
void OpenSystem();
// The Windows path of a file named on the command line. Raises, with the error Windows gives,
// for a name that has no form in the ANSI code page.
std::string WindowsPath(const std::string& hostPath);

}  // namespace quellin::tools
