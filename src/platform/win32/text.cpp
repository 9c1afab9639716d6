// The system's ANSI code page, as Windows converts it.
#include "platform/text.h"
#include "platform/types.h"

#include "platform/win32/windows_api.h"

namespace quellin::platform {

std::u16string AnsiToWide(std::string_view ansi) {
    if (ansi.empty())
        return {};
    const int size = static_cast<int>(ansi.size());
    const int needed = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
    if (needed > 0)
        ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), needed);
    return std::u16string(wide.begin(), wide.end());
}

std::string WideToAnsi(std::u16string_view wide, bool* exact) {
    if (exact)
        *exact = true;
    if (wide.empty())
        return {};
    const std::wstring in(wide.begin(), wide.end());
    const int size = static_cast<int>(in.size());
    if (::GetACP() == CP_UTF8) {
        // Windows takes neither flags nor a default character for UTF-8, which has every form.
        const int length =
            ::WideCharToMultiByte(CP_UTF8, 0, in.data(), size, nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
        if (length > 0)
            ::WideCharToMultiByte(CP_UTF8, 0, in.data(), size, utf8.data(), length, nullptr,
                                  nullptr);
        return utf8;
    }
    // Without WC_NO_BEST_FIT_CHARS Windows writes a look-alike ("Ω" as "O"), which would name
    // another printer or file; the used-default flag tells that a character had no exact form.
    const int needed = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, in.data(), size, nullptr,
                                             0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
    ::BOOL usedDefault = FALSE;
    if (needed > 0)
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, in.data(), size, out.data(), needed,
                              "?", &usedDefault);
    if (exact)
        *exact = needed > 0 && !usedDefault;
    return out;
}

std::string UpperAnsi(std::string_view ansi) {
    std::string out(ansi);
    if (!out.empty())
        ::CharUpperBuffA(out.data(), static_cast<::DWORD>(out.size()));
    return out;
}

std::string LowerAnsi(std::string_view ansi) {
    std::string out(ansi);
    if (!out.empty())
        ::CharLowerBuffA(out.data(), static_cast<::DWORD>(out.size()));
    return out;
}

const char* CharNextA(const char* lpsz) {
    return ::CharNextA(lpsz);
}

const char* CharPrevA(const char* lpszStart, const char* lpszCurrent) {
    return ::CharPrevA(lpszStart, lpszCurrent);
}

}  // namespace quellin::platform
