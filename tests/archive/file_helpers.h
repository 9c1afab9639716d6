// Files in the test's sandbox, by Windows path.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/byte_cursor.h"
#include "archive/unzipper.h"
#include "platform/filesystem.h"
#include "sandbox_fixture.h"

namespace quellin::archive::testdata {

inline void PutFile(const std::string& path, const std::string& bytes) {
    const auto slash = path.rfind('\\');
    ForceDirectories(path.substr(0, slash));
    win::UniqueFileHandle f(win::CreateFileA(path, win::GENERIC_WRITE, 0, win::CREATE_ALWAYS, 0));
    ASSERT_TRUE(f.valid()) << path;
    win::DWORD wrote = 0;
    ASSERT_TRUE(
        win::WriteFile(f.get(), bytes.data(), static_cast<win::DWORD>(bytes.size()), &wrote));
}

inline void PutBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    PutFile(path, std::string(bytes.begin(), bytes.end()));
}

inline std::optional<std::string> GetFile(const std::string& path) {
    win::UniqueFileHandle f(
        win::CreateFileA(path, win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING, 0));
    if (!f) {
        return std::nullopt;
    }
    std::string out;
    char buffer[65536];
    win::DWORD got = 0;
    while (win::ReadFile(f.get(), buffer, sizeof buffer, &got) && got > 0) {
        out.append(buffer, got);
    }
    return out;
}

// Sets the last write time from a local calendar time (the sandbox's zone is UTC).
inline void SetWriteTime(const std::string& path, int year, int month, int day, int hour,
                         int minute, int second) {
    win::SYSTEMTIME st;
    st.wYear = static_cast<win::WORD>(year);
    st.wMonth = static_cast<win::WORD>(month);
    st.wDay = static_cast<win::WORD>(day);
    st.wHour = static_cast<win::WORD>(hour);
    st.wMinute = static_cast<win::WORD>(minute);
    st.wSecond = static_cast<win::WORD>(second);
    win::FILETIME local, utc;
    ASSERT_TRUE(win::SystemTimeToFileTime(st, &local));
    ASSERT_TRUE(win::LocalFileTimeToFileTime(local, &utc));
    win::UniqueFileHandle f(win::CreateFileA(path, win::GENERIC_WRITE, 0, win::OPEN_EXISTING, 0));
    ASSERT_TRUE(f.valid());
    ASSERT_TRUE(win::SetFileTime(f.get(), nullptr, nullptr, &utc));
}

inline win::FILETIME GetWriteTime(const std::string& path) {
    win::FILETIME t;
    win::UniqueFileHandle f(
        win::CreateFileA(path, win::GENERIC_READ, win::FILE_SHARE_READ, win::OPEN_EXISTING, 0));
    win::GetFileTime(f.get(), nullptr, nullptr, &t);
    return t;
}

// Names in a folder, without "." and "..".
inline std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    win::WIN32_FIND_DATAA data;
    win::UniqueFindHandle find(win::FindFirstFileA(folder + "\\*", &data));
    for (bool more = find.valid(); more; more = win::FindNextFileA(find.get(), &data)) {
        if (data.cFileName != "." && data.cFileName != "..") {
            names.push_back(data.cFileName);
        }
    }
    return names;
}

inline std::uint32_t Dos(int year, int month, int day, int hour, int minute, int secondsField) {
    return static_cast<std::uint32_t>(((year - 1980) << 25) | (month << 21) | (day << 16) |
                                      (hour << 11) | (minute << 5) | secondsField);
}

}  // namespace quellin::archive::testdata
