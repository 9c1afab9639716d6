#include "platform/locale.h"

#include <vector>

#include "platform/win32/windows_api.h"

namespace quellin::platform {

int GetLocaleInfoA(LCID locale, LCTYPE type, std::string* data, int cchData) {
    std::vector<char> text(cchData > 0 ? cchData : 1, '\0');
    int length = ::GetLocaleInfoA(locale, type, cchData > 0 ? text.data() : nullptr, cchData);
    if (length > 0 && cchData > 0 && data) {
        native::KeepLastError keep;
        data->assign(text.data(), length - 1);
    }
    return length;
}

}  // namespace quellin::platform
