// A thin owning layer over the SQLite C API for the task store.
//
// Database owns a connection and names its file in every error; Statement owns one prepared
// statement and binds every value as a parameter (no value is ever spliced into SQL text);
// Transaction commits explicitly and rolls back when it goes out of scope uncommitted, so an
// exception or a crash in the middle of an operation never leaves half of it behind.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zembra::tasks {

// A failure of the task store; the message names the database file and carries SQLite's own.
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

namespace sqlite {

class Database {
 public:
  // Opens `file` with the sqlite3_open_v2 `flags`; throws StoreError.
  Database(const std::filesystem::path& file, int flags);

  sqlite3* handle() const { return handle_.get(); }
  const std::filesystem::path& file() const { return file_; }

  // Runs statements without parameters or results (schema, pragmas).
  void Execute(const char* sql);
  std::int64_t LastInsertRowId() const;
  // Rows changed by the latest statement.
  int Changes() const;
  // A StoreError for the connection's latest failure, prefixed by `what`.
  StoreError Failure(std::string_view what) const;

 private:
  struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };
  std::filesystem::path file_;
  std::unique_ptr<sqlite3, Closer> handle_;
};

class Statement {
 public:
  Statement(Database& db, std::string_view sql);

  // Parameters count from 1, as in SQLite.
  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, double value);
  Statement& Bind(int index, std::string_view text);
  Statement& BindNull(int index);

  // Advances to the next row; false when there is none.
  bool Step();
  // Runs a statement that returns no rows.
  void Run();

  bool IsNull(int column) const;
  std::int64_t Int64(int column) const;
  // Empty for NULL.
  std::string Text(int column) const;

 private:
  struct Finalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
  };
  void Check(int result, std::string_view what);

  Database& db_;
  std::unique_ptr<sqlite3_stmt, Finalizer> statement_;
};

class Transaction {
 public:
  // Takes the write lock at once, so the operation never fails half way for want of it.
  explicit Transaction(Database& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void Commit();

 private:
  Database& db_;
  bool open_ = true;
};

}  // namespace sqlite
}  // namespace zembra::tasks
