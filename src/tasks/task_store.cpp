#include "tasks/task_store.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <utility>

#include "media/reporting.h"
#include "tasks/published_xml.h"

namespace zembra::tasks {
namespace {

// Raised whenever the layout of the tables changes; a file with a higher number was written
// by a newer program and is left alone.
constexpr std::int64_t kSchemaVersion = 1;
// A second instance of the program may hold the write lock for a moment.
constexpr int kBusyTimeoutMilliseconds = 5000;
// Category trees are a few levels deep; the limit only guards against damaged data.
constexpr int kMaxCategoryDepth = 256;
constexpr char kDateFormat[] = "yyyy-MM-ddTHH:mm:ss.zzz";

constexpr char kCreateSchema[] = R"sql(
CREATE TABLE Conversions (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  Converting BOOLEAN NOT NULL DEFAULT 1,
  ConvertSettings TEXT,
  ConvertedDate DATETIME,
  CategoryId INTEGER,
  Log TEXT
);
CREATE TABLE Categories (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  Category VARCHAR,
  Path VARCHAR,
  Parent INTEGER NOT NULL DEFAULT -1
);
CREATE INDEX ConversionsByCategory ON Conversions (Converting, CategoryId, ConvertedDate);
PRAGMA user_version = 1;
)sql";

// IDs come from AUTOINCREMENT, so a deleted category's number is never handed out again and a
// task still running for it cannot end up filed under a stranger.
constexpr std::string_view kInsertRootCategory =
    "INSERT INTO Categories (ID, Category, Path, Parent) VALUES (?, ?, ?, ?)";
constexpr std::string_view kSelectCategoryExists = "SELECT ID FROM Categories WHERE ID = ?";
constexpr std::string_view kInsertTask =
    "INSERT INTO Conversions (Converting, ConvertSettings) VALUES (1, ?)";
constexpr std::string_view kFinishTask =
    "UPDATE Conversions SET Converting = 0, ConvertSettings = ?, ConvertedDate = ?, "
    "CategoryId = ?, Log = ? WHERE ID = ?";
constexpr std::string_view kDeleteTask = "DELETE FROM Conversions WHERE ID = ?";
constexpr std::string_view kClearLog = "UPDATE Conversions SET Log = NULL WHERE ID = ?";
constexpr std::string_view kSelectConverting =
    "SELECT ID, ConvertSettings, Log FROM Conversions WHERE Converting = 1 ORDER BY ID";
constexpr std::string_view kSelectConverted =
    "SELECT ID, ConvertSettings, Log, ConvertedDate FROM Conversions "
    "WHERE Converting = 0 AND CategoryId = ? ORDER BY ConvertedDate DESC, ID DESC";
constexpr std::string_view kSelectCategories =
    "SELECT ID, Category, Path, Parent FROM Categories WHERE Parent = ? ORDER BY ID";
constexpr std::string_view kInsertCategory =
    "INSERT INTO Categories (Category, Path, Parent) VALUES (?, ?, ?)";
constexpr std::string_view kUpdateCategory =
    "UPDATE Categories SET Category = ?, Path = ? WHERE ID = ?";
constexpr std::string_view kDeleteCategory = "DELETE FROM Categories WHERE ID = ?";
constexpr std::string_view kDeleteCategoryTasks = "DELETE FROM Conversions WHERE CategoryId = ?";

// Every statement the operations use, compiled once at opening so that a file whose tables
// lack a column is refused then rather than at the first action that needs it.
constexpr std::string_view kAllStatements[] = {
    kSelectCategoryExists, kInsertTask,       kFinishTask,
    kDeleteTask,           kClearLog,         kSelectConverting,
    kSelectConverted,      kSelectCategories, kInsertCategory,
    kUpdateCategory,       kDeleteCategory,   kDeleteCategoryTasks,
};

sqlite::Database OpenFile(const std::filesystem::path& file) {
  std::error_code error;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), error);
  if (error) {
    throw StoreError("Cannot create the folder of the task store (" + file.string() +
                     "): " + error.message());
  }
  return sqlite::Database(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
}

engine::TStringList SplitLog(const std::string& text) {
  engine::TStringList lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.Add(text.substr(start));
      break;
    }
    lines.Add(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

std::string JoinLog(const engine::TStringList& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

StoreError NotATaskStore(const sqlite::Database& db, const std::string& reason) {
  return StoreError(db.file().string() + " is not a task store and is left unchanged: " + reason);
}

std::int32_t ToId(std::int64_t value) { return static_cast<std::int32_t>(value); }

}  // namespace

TPersistentManager::TPersistentManager(const std::filesystem::path& file,
                                       const std::string& root_category_folder)
    : db_(OpenFile(file)) {
  Prepare(root_category_folder);
}

TPersistentManager::~TPersistentManager() = default;

void TPersistentManager::Prepare(const std::string& root_category_folder) {
  // Look before changing anything: a file that is not ours must stay exactly as it is.
  std::int64_t version = 0;
  bool has_conversions = false;
  bool has_categories = false;
  bool has_other_tables = false;
  try {
    sqlite::Statement pragma(db_, "PRAGMA user_version");
    if (pragma.Step()) version = pragma.Int64(0);
    sqlite::Statement tables(db_, "SELECT name FROM sqlite_master WHERE type = 'table'");
    while (tables.Step()) {
      const std::string name = tables.Text(0);
      if (engine::SameTextIgnoringCase(name, "Conversions")) {
        has_conversions = true;
      } else if (engine::SameTextIgnoringCase(name, "Categories")) {
        has_categories = true;
      } else if (!engine::SameTextIgnoringCase(name, "sqlite_sequence")) {
        has_other_tables = true;
      }
    }
  } catch (const StoreError&) {
    throw NotATaskStore(db_, sqlite3_errmsg(db_.handle()));
  }
  if (version > kSchemaVersion) {
    throw StoreError("The task store " + file().string() +
                     " was written by a newer version of the program (schema " +
                     std::to_string(version) + ") and is left unchanged");
  }
  const bool empty = !has_conversions && !has_categories && !has_other_tables;
  if (!empty && !(has_conversions && has_categories)) {
    throw NotATaskStore(
        db_, std::string("no table ") + (has_conversions ? "Categories" : "Conversions"));
  }
  if (!empty) {
    try {
      for (const std::string_view sql : kAllStatements) sqlite::Statement check(db_, sql);
    } catch (const StoreError&) {
      throw NotATaskStore(db_, sqlite3_errmsg(db_.handle()));
    }
  }

  sqlite3_busy_timeout(db_.handle(), kBusyTimeoutMilliseconds);
  // Readers never block the writer and a crash never leaves a half-written transaction.
  db_.Execute("PRAGMA journal_mode = WAL");
  db_.Execute("PRAGMA synchronous = FULL");

  sqlite::Transaction transaction(db_);
  if (empty) db_.Execute(kCreateSchema);
  bool has_root = false;
  {
    sqlite::Statement root(db_, kSelectCategoryExists);
    root.Bind(1, std::int64_t{kRootCategoryId});
    has_root = root.Step();
  }
  if (!has_root) {
    // Finished tasks whose category is gone are filed here, so it must exist.
    sqlite::Statement insert(db_, kInsertRootCategory);
    insert.Bind(1, std::int64_t{kRootCategoryId})
        .Bind(2, std::string_view(kRootCategoryCaption))
        .Bind(3, std::string_view(root_category_folder))
        .Bind(4, std::int64_t{kTopLevelParent})
        .Run();
  }
  transaction.Commit();
}

std::string TPersistentManager::GetConvertSettings(const TConversionSettings& settings) {
  return SettingsToText(settings);
}

std::int32_t TPersistentManager::NewDbTask(const TConversionSettings& settings) {
  const std::string text = GetConvertSettings(settings);
  sqlite::Statement insert(db_, kInsertTask);
  insert.Bind(1, std::string_view(text)).Run();
  return ToId(db_.LastInsertRowId());
}

TaskCompletion TPersistentManager::FinishDbTask(std::int32_t task_id, std::int32_t category_id,
                                                TConversionSettings& settings, double duration,
                                                const engine::TStringList& log) {
  settings.SetDuration(duration);
  const std::string text = GetConvertSettings(settings);
  // Stored at millisecond precision; the caller gets back exactly what was stored.
  const QString date = QDateTime::currentDateTime().toString(QLatin1StringView(kDateFormat));

  TaskCompletion completion;
  completion.converted_date = QDateTime::fromString(date, QLatin1StringView(kDateFormat));
  sqlite::Transaction transaction(db_);
  {
    sqlite::Statement exists(db_, kSelectCategoryExists);
    exists.Bind(1, std::int64_t{category_id});
    completion.category_id = exists.Step() ? category_id : kRootCategoryId;
  }
  const std::string date_text = date.toStdString();
  const std::string log_text = JoinLog(log);
  sqlite::Statement update(db_, kFinishTask);
  update.Bind(1, std::string_view(text))
      .Bind(2, std::string_view(date_text))
      .Bind(3, std::int64_t{completion.category_id})
      .Bind(4, std::string_view(log_text))
      .Bind(5, std::int64_t{task_id})
      .Run();
  if (db_.Changes() == 0) {
    throw StoreError("Task " + std::to_string(task_id) + " is not in the task store " +
                     file().string());
  }
  transaction.Commit();
  return completion;
}

void TPersistentManager::DeleteTask(std::int32_t task_id) {
  sqlite::Statement(db_, kDeleteTask).Bind(1, std::int64_t{task_id}).Run();
}

void TPersistentManager::ClearLog(std::int32_t task_id) {
  sqlite::Statement(db_, kClearLog).Bind(1, std::int64_t{task_id}).Run();
}

std::vector<StoredTask> TPersistentManager::LoadTasks(sqlite::Statement& select, bool finished) {
  std::vector<StoredTask> tasks;
  while (select.Step()) {
    StoredTask task;
    task.id = ToId(select.Int64(0));
    task.settings = std::make_unique<TConversionSettings>();
    try {
      SettingsFromText(select.Text(1), *task.settings);
    } catch (const PersistenceError& error) {
      // One damaged row must not hide the rest of the user's history.
      if (reported_rows_.insert(task.id).second) {
        media::ShowError("The settings of task " + std::to_string(task.id) + " in " +
                         file().string() + " cannot be read: " + error.what());
      }
      continue;
    }
    task.log = SplitLog(select.Text(2));
    task.category_id = task.settings->CategoryId();
    if (finished) {
      task.converted_date =
          QDateTime::fromString(QString::fromStdString(select.Text(3)), Qt::ISODateWithMs);
    }
    tasks.push_back(std::move(task));
  }
  return tasks;
}

std::vector<StoredTask> TPersistentManager::LoadConvertingTask() {
  sqlite::Statement select(db_, kSelectConverting);
  return LoadTasks(select, false);
}

std::vector<StoredTask> TPersistentManager::LoadConvertedTask(std::int32_t category_id) {
  sqlite::Statement select(db_, kSelectConverted);
  select.Bind(1, std::int64_t{category_id});
  std::vector<StoredTask> tasks = LoadTasks(select, true);
  for (StoredTask& task : tasks) task.category_id = category_id;
  return tasks;
}

std::vector<StoredCategory> TPersistentManager::LoadConvertedNodes(std::int32_t parent_id) {
  sqlite::Statement select(db_, kSelectCategories);
  select.Bind(1, std::int64_t{parent_id});
  std::vector<StoredCategory> categories;
  while (select.Step()) {
    categories.push_back(
        {ToId(select.Int64(0)), select.Text(1), select.Text(2), ToId(select.Int64(3))});
  }
  return categories;
}

std::vector<CategoryTreeEntry> TPersistentManager::LoadCategoryTree() {
  std::vector<CategoryTreeEntry> tree;
  std::set<std::int32_t> visited;
  const auto add_children = [&](const auto& self, std::int32_t parent, int depth) -> void {
    if (depth > kMaxCategoryDepth) return;
    for (StoredCategory& category : LoadConvertedNodes(parent)) {
      // Damaged parent links must not send the walk round in circles.
      if (!visited.insert(category.id).second) continue;
      const std::int32_t id = category.id;
      tree.push_back({std::move(category), depth});
      self(self, id, depth + 1);
    }
  };
  add_children(add_children, kTopLevelParent, 0);
  return tree;
}

std::int32_t TPersistentManager::NewCategory(const std::string& caption, const std::string& folder,
                                             std::int32_t parent_id) {
  sqlite::Statement(db_, kInsertCategory)
      .Bind(1, std::string_view(caption))
      .Bind(2, std::string_view(folder))
      .Bind(3, std::int64_t{parent_id})
      .Run();
  return ToId(db_.LastInsertRowId());
}

void TPersistentManager::UpdateCategory(std::int32_t category_id, const std::string& caption,
                                        const std::string& folder) {
  sqlite::Statement(db_, kUpdateCategory)
      .Bind(1, std::string_view(caption))
      .Bind(2, std::string_view(folder))
      .Bind(3, std::int64_t{category_id})
      .Run();
}

void TPersistentManager::DeleteCategory(std::int32_t category_id) {
  if (category_id == kRootCategoryId) {
    throw std::invalid_argument("The root category cannot be deleted");
  }
  sqlite::Transaction transaction(db_);
  sqlite::Statement(db_, kDeleteCategory).Bind(1, std::int64_t{category_id}).Run();
  sqlite::Statement(db_, kDeleteCategoryTasks).Bind(1, std::int64_t{category_id}).Run();
  transaction.Commit();
}

}  // namespace zembra::tasks
