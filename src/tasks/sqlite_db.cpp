#include "tasks/sqlite_db.h"

namespace zembra::tasks::sqlite {

Database::Database(const std::filesystem::path& file, int flags) : file_(file) {
  sqlite3* raw = nullptr;
  const int result = sqlite3_open_v2(file.c_str(), &raw, flags, nullptr);
  // SQLite hands out a connection even when opening fails, so that its message can be read.
  handle_.reset(raw);
  if (result != SQLITE_OK) {
    if (raw == nullptr) throw StoreError(file.string() + ": out of memory");
    throw Failure("Cannot open the task store");
  }
  sqlite3_extended_result_codes(raw, 1);
}

void Database::Execute(const char* sql) {
  if (sqlite3_exec(handle(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    throw Failure("Statement failed");
  }
}

std::int64_t Database::LastInsertRowId() const { return sqlite3_last_insert_rowid(handle()); }

int Database::Changes() const { return sqlite3_changes(handle()); }

StoreError Database::Failure(std::string_view what) const {
  return StoreError(std::string(what) + " (" + file_.string() + "): " + sqlite3_errmsg(handle()));
}

Statement::Statement(Database& db, std::string_view sql) : db_(db) {
  sqlite3_stmt* raw = nullptr;
  const int result =
      sqlite3_prepare_v2(db.handle(), sql.data(), static_cast<int>(sql.size()), &raw, nullptr);
  statement_.reset(raw);
  if (result != SQLITE_OK) throw db.Failure("Cannot prepare \"" + std::string(sql) + "\"");
}

void Statement::Check(int result, std::string_view what) {
  if (result != SQLITE_OK) throw db_.Failure(what);
}

Statement& Statement::Bind(int index, std::int64_t value) {
  Check(sqlite3_bind_int64(statement_.get(), index, value), "Cannot bind a parameter");
  return *this;
}

Statement& Statement::Bind(int index, double value) {
  Check(sqlite3_bind_double(statement_.get(), index, value), "Cannot bind a parameter");
  return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
  Check(sqlite3_bind_text64(statement_.get(), index, text.data(), text.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8),
        "Cannot bind a parameter");
  return *this;
}

Statement& Statement::BindNull(int index) {
  Check(sqlite3_bind_null(statement_.get(), index), "Cannot bind a parameter");
  return *this;
}

bool Statement::Step() {
  const int result = sqlite3_step(statement_.get());
  if (result == SQLITE_ROW) return true;
  if (result == SQLITE_DONE) return false;
  throw db_.Failure("Statement failed");
}

void Statement::Run() {
  while (Step()) {
  }
}

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(statement_.get(), column) == SQLITE_NULL;
}

std::int64_t Statement::Int64(int column) const {
  return sqlite3_column_int64(statement_.get(), column);
}

std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(statement_.get(), column);
  if (text == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<std::size_t>(sqlite3_column_bytes(statement_.get(), column)));
}

Transaction::Transaction(Database& db) : db_(db) { db_.Execute("BEGIN IMMEDIATE"); }

Transaction::~Transaction() {
  if (open_) sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
  db_.Execute("COMMIT");
  open_ = false;
}

}  // namespace zembra::tasks::sqlite
