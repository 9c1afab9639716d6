#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "platform/dates.h"
#include "platform/sim/sandbox.h"

namespace quellin::platform {

namespace {

// The sandbox's clock: the real time of day on the date its configuration fixes (the real date
// when it fixes none), so that nothing a test checks depends on the day it runs.
std::chrono::system_clock::time_point SandboxNow() {
    using namespace std::chrono;
    const system_clock::time_point now = system_clock::now();
    const std::string date = sim::ReadConfig().date;
    int y = 0, m = 0, d = 0;
    if (std::sscanf(date.c_str(), "%d-%d-%d", &y, &m, &d) != 3)
        return now;
    const sys_days real = floor<days>(now);
    const sys_days fixed =
        year_month_day{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}};
    return now - real + fixed;
}

}  // namespace

void GetLocalTime(SYSTEMTIME* out) {
    using namespace std::chrono;
    const system_clock::time_point now = SandboxNow();
    std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    gmtime_r(&t, &local);  // the sandbox's time zone is UTC
    SYSTEMTIME st;
    st.wYear = static_cast<WORD>(local.tm_year + 1900);
    st.wMonth = static_cast<WORD>(local.tm_mon + 1);
    st.wDay = static_cast<WORD>(local.tm_mday);
    st.wDayOfWeek = static_cast<WORD>(local.tm_wday);
    st.wHour = static_cast<WORD>(local.tm_hour);
    st.wMinute = static_cast<WORD>(local.tm_min);
    st.wSecond = static_cast<WORD>(local.tm_sec);
    st.wMilliseconds =
        static_cast<WORD>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    *out = st;
}

void GetSystemTimeAsFileTime(FILETIME* out) {
    using namespace std::chrono;
    auto since1970 = duration_cast<nanoseconds>(SandboxNow().time_since_epoch()).count();
    out->ticks = static_cast<std::uint64_t>(since1970 / 100) + 116444736000000000ULL;
}

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD GetTickCount() {
    using namespace std::chrono;
    return static_cast<DWORD>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace quellin::platform
