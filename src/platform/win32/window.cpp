// The application window: as in a classic Windows program, a hidden top-level window of the
// user-interface thread stands for the whole application. Another instance restores and
// raises it; its window procedure hands that on to the program's windows.
#include "platform/window.h"
#include "platform/text.h"
#include "platform/ui.h"

#include "platform/win32/windows_api.h"

namespace quellin::platform {

namespace {

constexpr const char* kWindowClass = "QuellinApplicationWindow";

WindowHost* g_host = nullptr;

LRESULT CALLBACK ApplicationWindowProc(::HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SHOWWINDOW:
            if (wParam && g_host)
                g_host->Restore();
            break;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_RESTORE && g_host) {
                g_host->Restore();
                return 0;
            }
            break;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && g_host)
                g_host->BringToFront();
            break;
        default:
            break;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

BOOL IsIconic(HWND window) {
    return ::IsIconic(native::Native(window)) != FALSE;
}

BOOL ShowWindow(HWND window, int command) {
    return ::ShowWindow(native::Native(window), command) != FALSE;
}

BOOL SetForegroundWindow(HWND window) {
    return ::SetForegroundWindow(native::Native(window)) != FALSE;
}

DWORD GetWindowThreadProcessId(HWND window, DWORD* processId) {
    ::DWORD process = 0;
    const ::DWORD thread = ::GetWindowThreadProcessId(native::Native(window), &process);
    if (processId)
        *processId = process;
    return thread;
}

HWND RegisterMainWindow(WindowHost*, std::uintptr_t nativeId) {
    return native::LayerWindow(reinterpret_cast<::HWND>(nativeId));
}

void UnregisterMainWindow(HWND) {}

HWND RegisterApplicationWindow(WindowHost* host) {
    ::HINSTANCE instance = ::GetModuleHandleA(nullptr);
    ::WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &ApplicationWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassA(&windowClass);
    // A zero-sized tool window: it never shows on the taskbar, even while "shown".
    ::HWND window = ::CreateWindowExA(WS_EX_TOOLWINDOW, kWindowClass, "Quellin", WS_POPUP, 0, 0, 0,
                                      0, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 0;
    g_host = host;
    return native::LayerWindow(window);
}

void UnregisterApplicationWindow(HWND window) {
    g_host = nullptr;
    ::DestroyWindow(native::Native(window));
}

// The dialog's paths are UTF-8 (the windows' Unicode); the logic's are ANSI. A path with no
// ANSI form keeps '?' in its place, which every file function then refuses.
std::string DialogPathFromWindows(const std::string& windowsPath) {
    return AnsiToUtf8(windowsPath);
}

std::string WindowsPathFromDialog(const std::string& dialogPath) {
    return Utf8ToAnsi(dialogPath);
}

}  // namespace quellin::platform
