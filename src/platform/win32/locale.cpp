#include "platform/locale.h"

#include <vector>

#include "platform/win32/windows_api.h"

namespace win {

int GetLocaleInfoA(LCID locale, LCTYPE type, std::string* data, int cchData) {
    if (cchData == 0)
        return ::GetLocaleInfoA(locale, type, nullptr, 0);
    if (!data || cchData < 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::vector<char> buffer(static_cast<std::size_t>(cchData));
    const int length = ::GetLocaleInfoA(locale, type, buffer.data(), cchData);
    if (length > 0) {
        native::KeepLastError keep;
        data->assign(buffer.data(), static_cast<std::size_t>(length - 1));
    }
    return length;
}

}  // namespace win
