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
    platform::UniqueFileHandle f(
        platform::CreateFileA(path, platform::GENERIC_WRITE, 0, platform::CREATE_ALWAYS, 0));
    ASSERT_TRUE(f.valid()) << path;
    platform::DWORD wrote = 0;
    ASSERT_TRUE(platform::WriteFile(f.get(), bytes.data(),
                                    static_cast<platform::DWORD>(bytes.size()), &wrote));
}

inline void PutBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    PutFile(path, std::string(bytes.begin(), bytes.end()));
}

inline std::optional<std::string> GetFile(const std::string& path) {
    platform::UniqueFileHandle f(platform::CreateFileA(
        path, platform::GENERIC_READ, platform::FILE_SHARE_READ, platform::OPEN_EXISTING, 0));
    if (!f) {
        return std::nullopt;
    }
    std::string out;
    char buffer[65536];
    platform::DWORD got = 0;
    while (platform::ReadFile(f.get(), buffer, sizeof buffer, &got) && got > 0) {
        out.append(buffer, got);
    }
    return out;
}

// Sets the last write time from a local calendar time (the sandbox's zone is UTC).
inline void SetWriteTime(const std::string& path, int year, int month, int day, int hour,
                         int minute, int second) {
    platform::SYSTEMTIME st;
    st.wYear = static_cast<platform::WORD>(year);
    st.wMonth = static_cast<platform::WORD>(month);
    st.wDay = static_cast<platform::WORD>(day);
    st.wHour = static_cast<platform::WORD>(hour);
    st.wMinute = static_cast<platform::WORD>(minute);
    st.wSecond = static_cast<platform::WORD>(second);
    platform::FILETIME local, utc;
    ASSERT_TRUE(platform::SystemTimeToFileTime(st, &local));
    ASSERT_TRUE(platform::LocalFileTimeToFileTime(local, &utc));
    platform::UniqueFileHandle f(
        platform::CreateFileA(path, platform::GENERIC_WRITE, 0, platform::OPEN_EXISTING, 0));
    ASSERT_TRUE(f.valid());
    ASSERT_TRUE(platform::SetFileTime(f.get(), nullptr, nullptr, &utc));
}

inline platform::FILETIME GetWriteTime(const std::string& path) {
    platform::FILETIME t;
    platform::UniqueFileHandle f(platform::CreateFileA(
        path, platform::GENERIC_READ, platform::FILE_SHARE_READ, platform::OPEN_EXISTING, 0));
    platform::GetFileTime(f.get(), nullptr, nullptr, &t);
    return t;
}

// Names in a folder, without "." and "..".
inline std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    platform::WIN32_FIND_DATAA data;
    platform::UniqueFindHandle find(platform::FindFirstFileA(folder + "\\*", &data));
    for (bool more = find.valid(); more; more = platform::FindNextFileA(find.get(), &data)) {
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
