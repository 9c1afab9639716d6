// The sandbox's event log: one table in its database, which every process of the sandbox
// writes and the tests and `quellin-sandbox events` read.
#include "platform/eventlog.h"

#include <ctime>
#include <memory>
#include <mutex>

#include "platform/sim/control.h"
#include "platform/sim/db.h"
#include "platform/sim/handles.h"
#include "platform/sim/sandbox.h"
#include "platform/text.h"

namespace quellin::platform {

namespace {

struct EventSource : sim::Object {
    std::string source;
};

constexpr const char* kTable =
    "CREATE TABLE IF NOT EXISTS event_log(id INTEGER PRIMARY KEY, time TEXT NOT NULL, "
    "source TEXT NOT NULL, type INTEGER NOT NULL, event_id INTEGER NOT NULL, "
    "strings TEXT NOT NULL)";

// The insertion strings as one text: each ends with a NUL, which no ANSI string holds.
std::string JoinStrings(const std::vector<std::string>& strings) {
    std::string joined;
    for (const std::string& s : strings)
        joined.append(s).push_back('\0');
    return joined;
}

}  // namespace

HANDLE RegisterEventSourceA(const std::string& serverName, const std::string& sourceName) {
    if (win::SameName(sourceName, "Security")) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (!serverName.empty() || sourceName.empty() || sourceName.find('\\') != std::string::npos) {
        SetLastError(serverName.empty() ? ERROR_INVALID_PARAMETER : RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    auto source = std::make_unique<EventSource>();
    source->source = sourceName;
    return static_cast<HANDLE>(sim::RegisterObject(std::move(source)));
}

BOOL ReportEventA(HANDLE eventLog, WORD type, WORD category, DWORD eventId,
                  const std::vector<std::string>& strings) {
    (void)category;
    auto* source = sim::Lookup<EventSource>(eventLog);
    if (!source) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (strings.size() > 0xFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    for (const std::string& s : strings) {
        if (s.size() > kEventStringLimit) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
    }
    std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    std::lock_guard lock(sim::db().mutex());
    sim::db().Exec(kTable);
    sim::db()
        .Prepare(
            "INSERT INTO event_log(time, source, type, event_id, strings) "
            "VALUES(?, ?, ?, ?, ?)")
        .Bind(1, std::string(stamp))
        .Bind(2, source->source)
        .Bind(3, static_cast<std::int64_t>(type))
        .Bind(4, static_cast<std::int64_t>(eventId))
        .Bind(5, JoinStrings(strings))
        .Run();
    return true;
}

BOOL DeregisterEventSource(HANDLE eventLog) {
    if (!sim::Lookup<EventSource>(eventLog)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return sim::ReleaseObject(eventLog);
}

namespace sim {

std::vector<EventRecord> EventLog() {
    std::lock_guard lock(db().mutex());
    db().Exec(kTable);
    Statement st =
        db().Prepare("SELECT time, source, type, event_id, strings FROM event_log ORDER BY id");
    std::vector<EventRecord> records;
    while (st.Step()) {
        EventRecord& r = records.emplace_back();
        r.time = st.Text(0);
        r.source = st.Text(1);
        r.type = static_cast<std::uint16_t>(st.Int(2));
        r.eventId = static_cast<std::uint32_t>(st.Int(3));
        const std::string joined = st.Text(4);
        for (std::size_t start = 0; start < joined.size();) {
            const std::size_t end = joined.find('\0', start);
            r.strings.push_back(joined.substr(start, end - start));
            start = end + 1;
        }
    }
    return records;
}

}  // namespace sim

}  // namespace quellin::platform
