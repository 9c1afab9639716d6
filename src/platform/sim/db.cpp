#include "platform/sim/db.h"

#include <string>

namespace quellin::platform::sim {

namespace {
void Check(sqlite3* db, int rc, std::string_view what) {
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE) {
        throw DbError(std::string(what) + ": " + sqlite3_errmsg(db));
    }
}
}  // namespace

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
    Check(db_, sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr),
          sql);
}

Statement::Statement(Statement&& other) noexcept : db_(other.db_), stmt_(other.stmt_) {
    other.stmt_ = nullptr;
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

Statement& Statement::Bind(int index, std::int64_t value) {
    Check(db_, sqlite3_bind_int64(stmt_, index, value), "bind");
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
    Check(db_,
          sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                            SQLITE_TRANSIENT),
          "bind");
    return *this;
}

Statement& Statement::BindBlob(int index, const void* data, std::size_t size) {
    Check(
        db_,
        sqlite3_bind_blob(stmt_, index, size ? data : "", static_cast<int>(size), SQLITE_TRANSIENT),
        "bind");
    return *this;
}

Statement& Statement::BindNull(int index) {
    Check(db_, sqlite3_bind_null(stmt_, index), "bind");
    return *this;
}

bool Statement::Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        return true;
    }
    Check(db_, rc, sqlite3_sql(stmt_));
    return false;
}

void Statement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::int64_t Statement::Int(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

std::string Statement::Text(int column) const {
    auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
             : std::string();
}

std::vector<std::uint8_t> Statement::Blob(int column) const {
    auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
    int n = sqlite3_column_bytes(stmt_, column);
    return p ? std::vector<std::uint8_t>(p, p + n) : std::vector<std::uint8_t>();
}

bool Statement::IsNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

Db::Db(const std::string& path) {
    int rc = sqlite3_open_v2(path.c_str(), &db_,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw DbError("cannot open sandbox database " + path + ": " + message);
    }
    sqlite3_busy_timeout(db_, 30000);
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
}

Db::~Db() {
    sqlite3_close(db_);
}

void Db::Exec(std::string_view sql) {
    std::string s(sql);
    char* error = nullptr;
    int rc = sqlite3_exec(db_, s.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::string message = error ? error : sqlite3_errmsg(db_);
        sqlite3_free(error);
        throw DbError(message + " in: " + s.substr(0, 80));
    }
}

std::optional<std::int64_t> Db::QueryInt(std::string_view sql, std::string_view arg) {
    std::lock_guard lock(mutex_);
    Statement st = Prepare(sql);
    if (!arg.empty()) {
        st.Bind(1, arg);
    }
    if (st.Step() && !st.IsNull(0)) {
        return st.Int(0);
    }
    return std::nullopt;
}

Transaction::Transaction(Db& db) : db_(db), lock_(db.mutex_) {
    if (db_.depth_++ == 0) {
        db_.Exec("BEGIN IMMEDIATE");
    }
}

void Transaction::Commit() {
    if (!done_) {
        done_ = true;
        if (--db_.depth_ == 0) {
            db_.Exec("COMMIT");
        }
    }
}

Transaction::~Transaction() {
    if (!done_) {
        if (--db_.depth_ == 0) {
            try {
                db_.Exec("ROLLBACK");
            } catch (...) {
                // Nothing more can be done about a failed rollback in a destructor.
            }
        }
    }
}

}  // namespace quellin::platform::sim
