// A thin owner of the sandbox's SQLite database. Every process of a sandbox opens the same
// file; writes go through immediate transactions so concurrent processes never interleave.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quellin::platform::sim {

class DbError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class Statement {
  public:
    Statement(sqlite3* db, std::string_view sql);
    Statement(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    Statement& Bind(int index, std::int64_t value);
    Statement& Bind(int index, std::string_view text);
    Statement& BindBlob(int index, const void* data, std::size_t size);
    Statement& BindNull(int index);

    // True while a row is available.
    bool Step();
    void Run() {
        while (Step()) {
        }
    }
    void Reset();

    std::int64_t Int(int column) const;
    std::string Text(int column) const;
    std::vector<std::uint8_t> Blob(int column) const;
    bool IsNull(int column) const;
    int ColumnCount() const { return sqlite3_column_count(stmt_); }

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

class Db {
  public:
    explicit Db(const std::string& path);
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;
    ~Db();

    Statement Prepare(std::string_view sql) { return Statement(db_, sql); }
    void Exec(std::string_view sql);
    std::int64_t LastInsertId() const { return sqlite3_last_insert_rowid(db_); }
    int Changes() const { return sqlite3_changes(db_); }

    // One value from a query with a single result, or nothing.
    std::optional<std::int64_t> QueryInt(std::string_view sql, std::string_view arg = {});

    std::recursive_mutex& mutex() { return mutex_; }

  private:
    friend class Transaction;
    sqlite3* db_ = nullptr;
    std::recursive_mutex mutex_;
    int depth_ = 0;
};

// BEGIN IMMEDIATE on entry; COMMIT with Commit(), otherwise ROLLBACK. Nested transactions
// join the outermost one.
class Transaction {
  public:
    explicit Transaction(Db& db);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();
    void Commit();

  private:
    Db& db_;
    std::unique_lock<std::recursive_mutex> lock_;
    bool done_ = false;
};

}  // namespace quellin::platform::sim
