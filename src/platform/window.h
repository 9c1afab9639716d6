// Top-level windows as other processes see them: the single-instance guard restores and raises
// the window of the running instance through these calls.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace quellin::platform {

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_RESTORE = 9;

BOOL IsIconic(HWND window);
BOOL ShowWindow(HWND window, int command);
BOOL SetForegroundWindow(HWND window);
// The thread that made the window, and its process in `processId`; 0 for no such window.
DWORD GetWindowThreadProcessId(HWND window, DWORD* processId);

// What the program's own window system does when another process calls the functions above
// on its application window. Calls arrive on a background thread; implementations hand them
// to the user-interface thread.
class WindowHost {
  public:
    virtual ~WindowHost() = default;
    virtual bool IsMinimized() = 0;
    virtual void Restore() = 0;
    virtual void BringToFront() = 0;
};

// Gives the application its window handle; `host` must outlive the registration, which ends
// with UnregisterApplicationWindow or the process. Not a Windows call: on Windows the handle
// is the application window's own and the host is unused.
HWND RegisterApplicationWindow(WindowHost* host);
void UnregisterApplicationWindow(HWND window);

// Gives the program's main window (`nativeId`, the window system's id of it) its handle, which
// another instance restores and raises. On Windows that is the window's own handle and the host
// is unused; in the sandbox the handle's IsIconic, ShowWindow and SetForegroundWindow reach
// `host`, while the application window is never minimised.
HWND RegisterMainWindow(WindowHost* host, std::uintptr_t nativeId);
void UnregisterMainWindow(HWND window);

}  // namespace quellin::platform
