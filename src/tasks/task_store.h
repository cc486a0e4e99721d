// The task and category store: the SQLite database "av.cfg" in the per-user data folder.
//
// Table Conversions holds one row per task: Converting is 1 from the moment the task is
// created until it completes, when its settings (now with the duration), the completion date,
// the category it is filed under and its log are written in one step. Table Categories holds
// the categories of finished tasks as a tree by Parent (-1 for the top level); category 1 is
// the root, which cannot be deleted and takes the finished tasks whose category is gone.
//
// The store creates the file, both tables and the root category when the file is missing, and
// refuses (without touching it) a file that is not an SQLite database or was written by a newer
// schema. It runs in WAL mode; every operation that writes more than one row is one
// transaction, and every value, identifiers included, is a bound parameter. Completion dates
// are ISO 8601 local times with milliseconds, so that they sort as text.
//
// The store hands out plain records; the task and node objects built on them belong to the
// user interface. One store serves the user-interface thread and is not to be shared between
// threads.
#pragma once

#include <QDateTime>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/string_list.h"
#include "tasks/conversion_settings.h"
#include "tasks/sqlite_db.h"

namespace zembra::tasks {

inline constexpr char kTaskStoreFileName[] = "av.cfg";
inline constexpr std::int32_t kRootCategoryId = 1;
inline constexpr std::int32_t kTopLevelParent = -1;
// The caption of the root category in a newly created store.
inline constexpr char kRootCategoryCaption[] = "已转换";

// One task row.
struct StoredTask {
  std::int32_t id = 0;
  std::unique_ptr<TConversionSettings> settings;
  engine::TStringList log;
  // For a converting task the category chosen when it was made (from its settings); for a
  // finished one the category it is filed under.
  std::int32_t category_id = 0;
  // Invalid while converting.
  QDateTime converted_date;
};

// One category row.
struct StoredCategory {
  std::int32_t id = 0;
  std::string caption;
  std::string folder;
  std::int32_t parent = kTopLevelParent;
};

// A category in the order the tree is built: depth first, each category right before its
// children.
struct CategoryTreeEntry {
  StoredCategory category;
  int depth = 0;  // 0 for the top level
};

// What FinishDbTask stored.
struct TaskCompletion {
  std::int32_t category_id = kRootCategoryId;
  QDateTime converted_date;
};

class TPersistentManager {
 public:
  // Opens `file`, creating it (and its folder) with both tables and the root category, whose
  // folder is `root_category_folder`, when it does not exist. Throws StoreError naming the file
  // when it cannot be opened or is not a task store this program can use.
  TPersistentManager(const std::filesystem::path& file, const std::string& root_category_folder);
  ~TPersistentManager();
  TPersistentManager(const TPersistentManager&) = delete;
  TPersistentManager& operator=(const TPersistentManager&) = delete;

  const std::filesystem::path& file() const { return db_.file(); }

  // The stored text form of `settings`; throws PersistenceError.
  static std::string GetConvertSettings(const TConversionSettings& settings);

  // Every operation below throws StoreError when the database refuses it.

  // Inserts a converting task; returns its new ID.
  std::int32_t NewDbTask(const TConversionSettings& settings);
  // Stores task `task_id` as completed: sets the settings' Duration to `duration` (seconds)
  // and writes settings, the current local time, the category (`category_id` when it still
  // exists, otherwise the root) and `log`. Throws StoreError when the task has no row.
  TaskCompletion FinishDbTask(std::int32_t task_id, std::int32_t category_id,
                              TConversionSettings& settings, double duration,
                              const engine::TStringList& log);
  void DeleteTask(std::int32_t task_id);
  // Empties the stored log (NULL).
  void ClearLog(std::int32_t task_id);

  // The unfinished tasks, oldest first. A row whose settings cannot be read is left out and
  // reported once through the error box; the others still load.
  std::vector<StoredTask> LoadConvertingTask();
  // The finished tasks filed under `category_id`, newest first; damaged rows as above.
  std::vector<StoredTask> LoadConvertedTask(std::int32_t category_id);
  // The categories whose parent is `parent_id`, in row order.
  std::vector<StoredCategory> LoadConvertedNodes(std::int32_t parent_id);
  // Every category reachable from the top level, depth first.
  std::vector<CategoryTreeEntry> LoadCategoryTree();

  // Inserts a category; returns its new ID.
  std::int32_t NewCategory(const std::string& caption, const std::string& folder,
                           std::int32_t parent_id);
  void UpdateCategory(std::int32_t category_id, const std::string& caption,
                      const std::string& folder);
  // Deletes the category and the tasks filed under it, together. Categories below it and files
  // on disk are left alone. The root category is refused with std::invalid_argument.
  void DeleteCategory(std::int32_t category_id);

 private:
  void Prepare(const std::string& root_category_folder);
  std::vector<StoredTask> LoadTasks(sqlite::Statement& select, bool finished);

  sqlite::Database db_;
  // Damaged rows already reported, so that showing a list again does not repeat the box.
  std::set<std::int32_t> reported_rows_;
};

}  // namespace zembra::tasks
