// The host edge of the command-line programs on Windows.
#include "platform/text.h"
#include "platform/types.h"

#include "platform/win32/windows_api.h"

namespace quellin::platform {

std::optional<std::vector<std::string>> AnsiArguments(int, char**, std::string* refused) {
    // argv is already ANSI, but with best-fit look-alikes for what the code page lacks; the
    // Unicode command line shows what was really typed.
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide)
        return std::nullopt;
    std::vector<std::string> args;
    bool ok = true;
    for (int i = 1; i < count && ok; ++i) {
        const std::wstring_view arg(wide[i]);
        const std::u16string text(arg.begin(), arg.end());
        bool exact = true;
        args.push_back(WideToAnsi(text, &exact));
        if (!exact) {
            ok = false;
            if (refused)
                *refused = WideToUtf8(text);
        }
    }
    ::LocalFree(wide);
    if (!ok)
        return std::nullopt;
    return args;
}

void WriteStandardText(int stream, std::string_view ansi) {
    ::HANDLE handle = ::GetStdHandle(stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr)
        return;
    ::DWORD mode = 0;
    ::DWORD written = 0;
    if (::GetConsoleMode(handle, &mode)) {
        const std::u16string wide = AnsiToWide(ansi);
        const std::wstring text(wide.begin(), wide.end());
        ::WriteConsoleW(handle, text.data(), static_cast<::DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string utf8 = AnsiToUtf8(ansi);
    ::WriteFile(handle, utf8.data(), static_cast<::DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace quellin::platform
