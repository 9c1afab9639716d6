// Window handles of the sandbox's processes. A registered window listens on an abstract local
// socket named after the sandbox and the handle; another process's IsIconic, ShowWindow,
// SetForegroundWindow and GetWindowThreadProcessId reach it there. Each handle answers for its
// own window: the hidden application window is never minimised, the main window is when its
// host says so.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "platform/sim/sandbox.h"
#include "platform/window.h"

namespace quellin::platform {

namespace {

constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;

sockaddr_un Address(HWND window, socklen_t* length) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string root = sim::SandboxRoot().string();
    std::size_t hash = std::hash<std::string>{}(root);
    std::string name = "quellin-" + std::to_string(hash) + "-hwnd-" + std::to_string(window);
    // Abstract namespace: a leading zero byte; the name vanishes with the process.
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    return address;
}

struct Registration {
    HWND window = 0;
    WindowHost* host = nullptr;
    bool main = false;
    int listener = -1;
    std::thread thread;
    std::atomic<bool> stop{false};
};

std::mutex g_mutex;
std::map<HWND, Registration*>& Registrations() {
    static auto* registrations = new std::map<HWND, Registration*>();
    return *registrations;
}

void Serve(Registration* r) {
    while (!r->stop) {
        int client = ::accept(r->listener, nullptr, nullptr);
        if (client < 0) {
            if (r->stop)
                break;
            continue;
        }
        char command = 0;
        if (::read(client, &command, 1) == 1) {
            char reply = '1';
            switch (command) {
                case 'i':
                    reply = r->main && r->host->IsMinimized() ? '1' : '0';
                    break;
                case 'p': {
                    const std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
                    [[maybe_unused]] auto n = ::write(client, &pid, sizeof pid);
                    ::close(client);
                    continue;
                }
                case 'r':
                    r->host->Restore();
                    break;
                case 'f':
                    r->host->BringToFront();
                    break;
                default:
                    reply = '?';
            }
            [[maybe_unused]] auto n = ::write(client, &reply, 1);
        }
        ::close(client);
    }
}

// Sends one command to the window's owner; reads `size` bytes of reply into `reply`. False
// when nobody answers.
bool Ask(HWND window, char command, void* reply, std::size_t size) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    socklen_t length = 0;
    sockaddr_un address = Address(window, &length);
    bool answered = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::write(fd, &command, 1) == 1) {
        timeval timeout{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        answered = ::read(fd, reply, size) == static_cast<ssize_t>(size);
    }
    ::close(fd);
    return answered;
}

char Ask(HWND window, char command) {
    char reply = 0;
    return Ask(window, command, &reply, 1) ? reply : 0;
}

HWND Register(WindowHost* host, bool main) {
    std::lock_guard lock(g_mutex);
    auto* r = new Registration();
    r->host = host;
    r->main = main;
    r->listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // The process id is unique among the sandbox's live processes and fits 32 bits.
    HWND window = static_cast<HWND>(::getpid()) << 4;
    for (int attempt = 0; attempt < 16; ++attempt, ++window) {
        socklen_t length = 0;
        sockaddr_un address = Address(window, &length);
        if (::bind(r->listener, reinterpret_cast<sockaddr*>(&address), length) == 0) {
            ::listen(r->listener, 8);
            r->window = window;
            r->thread = std::thread(Serve, r);
            Registrations()[window] = r;
            return window;
        }
    }
    ::close(r->listener);
    delete r;
    return 0;
}

void Unregister(HWND window) {
    Registration* r = nullptr;
    {
        std::lock_guard lock(g_mutex);
        auto it = Registrations().find(window);
        if (it == Registrations().end())
            return;
        r = it->second;
        Registrations().erase(it);
    }
    r->stop = true;
    ::shutdown(r->listener, SHUT_RDWR);
    ::close(r->listener);
    if (r->thread.joinable())
        r->thread.join();
    delete r;
}

}  // namespace

HWND RegisterApplicationWindow(WindowHost* host) {
    return Register(host, false);
}

void UnregisterApplicationWindow(HWND window) {
    Unregister(window);
}

HWND RegisterMainWindow(WindowHost* host, std::uintptr_t) {
    return Register(host, true);
}

void UnregisterMainWindow(HWND window) {
    Unregister(window);
}

BOOL IsIconic(HWND window) {
    char reply = Ask(window, 'i');
    if (reply == 0)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return reply == '1';
}

BOOL ShowWindow(HWND window, int command) {
    if (command == SW_RESTORE || command == SW_SHOWNORMAL || command == SW_SHOW) {
        return Ask(window, 'r') != 0;
    }
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
}

DWORD GetWindowThreadProcessId(HWND window, DWORD* processId) {
    std::uint32_t pid = 0;
    if (!Ask(window, 'p', &pid, sizeof pid) || pid == 0) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (processId)
        *processId = pid;
    return pid;  // the sandbox's windows belong to their process's first thread
}

BOOL SetForegroundWindow(HWND window) {
    char reply = Ask(window, 'f');
    if (reply == 0)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return reply != 0;
}

}  // namespace quellin::platform
