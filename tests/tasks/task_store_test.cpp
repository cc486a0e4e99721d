#include "tasks/task_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "support/report_capture.h"
#include "tasks/published_xml.h"

namespace zembra::tasks {
namespace {

using Row = std::vector<std::optional<std::string>>;
using Rows = std::vector<Row>;

constexpr char kRootFolder[] = "/home/u/Conversion";
constexpr char kDateFormat[] = "yyyy-MM-ddTHH:mm:ss.zzz";

// A connection of the test's own, to look at rows and to arrange what the store's operations
// cannot (dates, damage).
class RawDatabase {
 public:
  explicit RawDatabase(const std::string& file) {
    if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
      throw std::runtime_error(sqlite3_errmsg(db_));
    }
  }
  ~RawDatabase() { sqlite3_close_v2(db_); }
  RawDatabase(const RawDatabase&) = delete;
  RawDatabase& operator=(const RawDatabase&) = delete;

  Rows Query(const std::string& sql, const std::vector<std::string>& parameters = {}) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sql + ": " + sqlite3_errmsg(db_));
    }
    for (std::size_t i = 0; i < parameters.size(); ++i) {
      sqlite3_bind_text(statement, static_cast<int>(i + 1), parameters[i].c_str(), -1,
                        SQLITE_TRANSIENT);
    }
    Rows rows;
    int result = SQLITE_OK;
    while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
      Row row;
      for (int column = 0; column < sqlite3_column_count(statement); ++column) {
        const unsigned char* text = sqlite3_column_text(statement, column);
        row.push_back(text == nullptr
                          ? std::nullopt
                          : std::optional<std::string>(reinterpret_cast<const char*>(text)));
      }
      rows.push_back(std::move(row));
    }
    sqlite3_finalize(statement);
    if (result != SQLITE_DONE) throw std::runtime_error(sql + ": " + sqlite3_errmsg(db_));
    return rows;
  }

  void Run(const std::string& sql, const std::vector<std::string>& parameters = {}) {
    Query(sql, parameters);
  }

 private:
  sqlite3* db_ = nullptr;
};

std::string ReadBytes(const std::string& file) {
  QFile in(QString::fromStdString(file));
  if (!in.open(QIODevice::ReadOnly)) return "<unreadable>";
  return in.readAll().toStdString();
}

void MakeSettings(TConversionSettings& settings, const std::string& source, std::int32_t category) {
  settings.SetSourceFile("/home/u/Videos/" + source);
  settings.SetTargetFile("/home/u/Conversion/" + source + ".mp4");
  settings.SetProfile("iPhone MPEG4");
  settings.SetCategoryId(category);
}

std::string SettingsText(const std::string& source, std::int32_t category) {
  TConversionSettings settings;
  MakeSettings(settings, source, category);
  return SettingsToText(settings);
}

std::vector<std::int32_t> Ids(const std::vector<StoredTask>& tasks) {
  std::vector<std::int32_t> ids;
  for (const StoredTask& task : tasks) ids.push_back(task.id);
  return ids;
}

class TaskStore : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    file_ = folder_.path().toStdString() + "/Quillon/ZembraCHS/av.cfg";
  }

  std::unique_ptr<TPersistentManager> Open() {
    return std::make_unique<TPersistentManager>(file_, kRootFolder);
  }

  // A converting task for `source` filed, once finished, under `category`.
  std::int32_t StartTask(TPersistentManager& store, const std::string& source,
                         std::int32_t category) {
    TConversionSettings settings;
    MakeSettings(settings, source, category);
    return store.NewDbTask(settings);
  }

  std::int32_t FinishedTask(TPersistentManager& store, const std::string& source,
                            std::int32_t category, const engine::TStringList& log = {}) {
    TConversionSettings settings;
    MakeSettings(settings, source, category);
    const std::int32_t id = store.NewDbTask(settings);
    store.FinishDbTask(id, category, settings, 10.0, log);
    return id;
  }

  QTemporaryDir folder_;
  std::string file_;
};

TEST_F(TaskStore, AMissingFileIsCreatedWithBothTablesAndTheRootCategory) {
  Open();
  ASSERT_TRUE(std::filesystem::exists(file_));
  {
    RawDatabase raw(file_);
    EXPECT_EQ(raw.Query("SELECT ID, Category, Path, Parent FROM Categories"),
              (Rows{{"1", "已转换", kRootFolder, "-1"}}));
    EXPECT_EQ(raw.Query("SELECT count(*) FROM Conversions"), (Rows{{"0"}}));
    EXPECT_EQ(raw.Query("PRAGMA journal_mode"), (Rows{{"wal"}}));
    EXPECT_EQ(raw.Query("PRAGMA user_version"), (Rows{{"1"}}));
  }
  // Opening again adds nothing.
  const std::vector<CategoryTreeEntry> tree = Open()->LoadCategoryTree();
  ASSERT_EQ(tree.size(), 1U);
  EXPECT_EQ(tree[0].category.id, kRootCategoryId);
  EXPECT_EQ(tree[0].category.caption, "已转换");
  EXPECT_EQ(tree[0].category.folder, kRootFolder);
  EXPECT_EQ(tree[0].depth, 0);
}

TEST_F(TaskStore, TaskRowsThroughTheirLifecycle) {
  auto store = Open();
  const std::int32_t phone = store->NewCategory("Phone", "/home/u/Conversion/phone", 1);
  TConversionSettings first;
  MakeSettings(first, "a.avi", phone);
  const std::string first_text = SettingsToText(first);
  const std::int32_t id1 = store->NewDbTask(first);
  const std::int32_t id2 = StartTask(*store, "b.avi", phone);
  EXPECT_GT(id2, id1);

  RawDatabase raw(file_);
  const std::string select =
      "SELECT ID, Converting, ConvertSettings, ConvertedDate, CategoryId, Log FROM Conversions "
      "ORDER BY ID";
  EXPECT_EQ(raw.Query(select),
            (Rows{{std::to_string(id1), "1", first_text, std::nullopt, std::nullopt, std::nullopt},
                  {std::to_string(id2), "1", SettingsText("b.avi", phone), std::nullopt,
                   std::nullopt, std::nullopt}}));

  const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
  const TaskCompletion completion =
      store->FinishDbTask(id1, phone, first, 12.25, {"line one", "", "line three"});
  const QDateTime after = QDateTime::currentDateTime().addMSecs(1);
  EXPECT_EQ(first.Duration(), 12.25);
  EXPECT_EQ(completion.category_id, phone);
  EXPECT_TRUE(before <= completion.converted_date && completion.converted_date <= after);

  const Rows rows = raw.Query(select + " LIMIT 1");
  ASSERT_EQ(rows.size(), 1U);
  const std::string finished_text = SettingsToText(first);
  EXPECT_NE(finished_text.find("<Duration>12.25</Duration>"), std::string::npos);
  EXPECT_EQ(rows[0], (Row{std::to_string(id1), "0", finished_text,
                          completion.converted_date.toString(kDateFormat).toStdString(),
                          std::to_string(phone), "line one\r\n\r\nline three\r\n"}));
  // Sortable as text: ISO 8601 local time with milliseconds.
  EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}$)")
                  .match(QString::fromStdString(*rows[0][3]))
                  .hasMatch())
      << *rows[0][3];

  const std::vector<StoredTask> listed = store->LoadConvertedTask(phone);
  ASSERT_EQ(listed.size(), 1U);
  EXPECT_EQ(listed[0].log, (engine::TStringList{"line one", "", "line three"}));
  EXPECT_EQ(listed[0].converted_date, completion.converted_date);

  store->ClearLog(id1);
  EXPECT_EQ(raw.Query("SELECT Log FROM Conversions WHERE ID = ?", {std::to_string(id1)}),
            (Rows{{std::nullopt}}));
  EXPECT_TRUE(store->LoadConvertedTask(phone)[0].log.Empty());

  store->DeleteTask(id2);
  store->DeleteTask(12345);  // gone already: nothing to do
  EXPECT_EQ(raw.Query("SELECT ID FROM Conversions"), (Rows{{std::to_string(id1)}}));
  // A task whose row is gone cannot be stored as finished; that is not passed over.
  TConversionSettings second;
  MakeSettings(second, "b.avi", phone);
  EXPECT_THROW(store->FinishDbTask(id2, phone, second, 1.0, {}), StoreError);
}

TEST_F(TaskStore, ACompletionIsFiledUnderTheRootOnceItsCategoryIsGone) {
  auto store = Open();
  const std::int32_t kept = store->NewCategory("Kept", "/k", 1);
  const std::int32_t gone = store->NewCategory("Gone", "/g", 1);
  const std::int32_t kept_task = StartTask(*store, "k.avi", kept);
  const std::int32_t gone_task = StartTask(*store, "g.avi", gone);
  store->DeleteCategory(gone);
  // Numbers are never handed out twice, so the running task cannot land in a newcomer.
  EXPECT_GT(store->NewCategory("Newcomer", "/n", 1), gone);

  TConversionSettings settings;
  MakeSettings(settings, "k.avi", kept);
  EXPECT_EQ(store->FinishDbTask(kept_task, kept, settings, 1.0, {}).category_id, kept);
  MakeSettings(settings, "g.avi", gone);
  EXPECT_EQ(store->FinishDbTask(gone_task, gone, settings, 1.0, {}).category_id, kRootCategoryId);

  EXPECT_EQ(Ids(store->LoadConvertedTask(kept)), (std::vector<std::int32_t>{kept_task}));
  EXPECT_EQ(Ids(store->LoadConvertedTask(kRootCategoryId)), (std::vector<std::int32_t>{gone_task}));
}

TEST_F(TaskStore, AReopenedStoreListsUnfinishedAndFinishedTasks) {
  std::int32_t converting_a = 0;
  std::int32_t converting_b = 0;
  std::int32_t category = 0;
  std::vector<std::int32_t> finished;
  {
    auto store = Open();
    category = store->NewCategory("Clips", "/c", 1);
    converting_a = StartTask(*store, "a.avi", 7);
    for (const char* source : {"c.avi", "d.avi", "e.avi"}) {
      finished.push_back(FinishedTask(*store, source, category, {"done", source}));
    }
    FinishedTask(*store, "elsewhere.avi", kRootCategoryId);
    converting_b = StartTask(*store, "b.avi", category);
  }
  {
    // Completion order decides, across a year's end and down to the millisecond.
    RawDatabase raw(file_);
    const char* dates[] = {"2024-03-10T09:00:00.000", "2023-12-31T23:59:59.999",
                           "2024-03-10T09:00:00.001"};
    for (std::size_t i = 0; i < finished.size(); ++i) {
      raw.Run("UPDATE Conversions SET ConvertedDate = ? WHERE ID = ?",
              {dates[i], std::to_string(finished[i])});
    }
  }

  auto store = Open();
  const std::vector<StoredTask> converting = store->LoadConvertingTask();
  ASSERT_EQ(Ids(converting), (std::vector<std::int32_t>{converting_a, converting_b}));
  EXPECT_EQ(SettingsToText(*converting[0].settings), SettingsText("a.avi", 7));
  EXPECT_EQ(converting[0].category_id, 7);  // chosen in the wizard
  EXPECT_EQ(converting[1].category_id, category);
  EXPECT_TRUE(converting[0].log.Empty());
  EXPECT_FALSE(converting[0].converted_date.isValid());

  const std::vector<StoredTask> listed = store->LoadConvertedTask(category);
  ASSERT_EQ(Ids(listed), (std::vector<std::int32_t>{finished[2], finished[0], finished[1]}));
  EXPECT_EQ(listed[1].converted_date,
            QDateTime::fromString("2024-03-10T09:00:00.000", kDateFormat));
  EXPECT_EQ(listed[1].log, (engine::TStringList{"done", "c.avi"}));
  EXPECT_EQ(listed[1].category_id, category);
  EXPECT_EQ(listed[1].settings->TargetFile(), "/home/u/Conversion/c.avi.mp4");
  EXPECT_EQ(listed[1].settings->Duration(), 10.0);
}

TEST_F(TaskStore, DeletingACategoryRemovesItsTasksOnly) {
  auto store = Open();
  const std::int32_t doomed = store->NewCategory("Doomed", "/d", 1);
  const std::int32_t other = store->NewCategory("Other", "/o", 1);
  FinishedTask(*store, "d1.avi", doomed);
  FinishedTask(*store, "d2.avi", doomed);
  const std::int32_t survivor = FinishedTask(*store, "o.avi", other);
  const std::int32_t running = StartTask(*store, "r.avi", doomed);

  store->DeleteCategory(doomed);
  RawDatabase raw(file_);
  EXPECT_EQ(raw.Query("SELECT ID FROM Categories ORDER BY ID"),
            (Rows{{"1"}, {std::to_string(other)}}));
  EXPECT_EQ(raw.Query("SELECT ID FROM Conversions ORDER BY ID"),
            (Rows{{std::to_string(survivor)}, {std::to_string(running)}}));

  EXPECT_THROW(store->DeleteCategory(kRootCategoryId), std::invalid_argument);
  EXPECT_EQ(raw.Query("SELECT count(*) FROM Categories WHERE ID = 1"), (Rows{{"1"}}));
}

TEST_F(TaskStore, TheCategoryTreeIsReadDepthFirst) {
  auto store = Open();
  // Values are bound, never spliced into the statement.
  const std::string awkward = "O'Brien's \"clips\"; DROP TABLE Conversions;--";
  const std::int32_t a = store->NewCategory("A", "/a", kTopLevelParent);
  const std::int32_t a1 = store->NewCategory("A1", "/a/1", a);
  const std::int32_t b = store->NewCategory(awkward, "/b", kTopLevelParent);
  const std::int32_t a1a = store->NewCategory("A1a", "/a/1/a", a1);
  const std::int32_t a2 = store->NewCategory("A2", "/a/2", a);
  store->UpdateCategory(a2, "A two", "/a/two");

  std::vector<std::tuple<std::int32_t, int, std::string>> walked;
  for (const CategoryTreeEntry& entry : store->LoadCategoryTree()) {
    walked.emplace_back(entry.category.id, entry.depth, entry.category.caption);
  }
  using Entry = std::tuple<std::int32_t, int, std::string>;
  EXPECT_EQ(walked, (std::vector<Entry>{{kRootCategoryId, 0, "已转换"},
                                        {a, 0, "A"},
                                        {a1, 1, "A1"},
                                        {a1a, 2, "A1a"},
                                        {a2, 1, "A two"},
                                        {b, 0, awkward}}));
  const std::vector<StoredCategory> children = store->LoadConvertedNodes(a);
  ASSERT_EQ(children.size(), 2U);
  EXPECT_EQ(children[1].folder, "/a/two");
  EXPECT_EQ(children[1].parent, a);

  // Damaged parent links: a category that is its own parent at the top level, and a loop
  // that nothing reaches. The walk ends and lists each reachable category once.
  {
    RawDatabase raw(file_);
    raw.Run("INSERT INTO Categories (ID, Category, Path, Parent) VALUES (-1, 'Self', '/s', -1)");
    raw.Run("INSERT INTO Categories (ID, Category, Path, Parent) VALUES (900, 'Loop', '/l', 901)");
    raw.Run("INSERT INTO Categories (ID, Category, Path, Parent) VALUES (901, 'Loop', '/l', 900)");
  }
  const std::vector<CategoryTreeEntry> tree = store->LoadCategoryTree();
  EXPECT_EQ(tree.size(), walked.size() + 1);
  EXPECT_EQ(std::count_if(tree.begin(), tree.end(),
                          [](const CategoryTreeEntry& e) { return e.category.id == -1; }),
            1);
}

TEST_F(TaskStore, ADamagedSettingsRowIsReportedOnceAndTheOthersStillLoad) {
  auto store = Open();
  const std::int32_t category = store->NewCategory("Clips", "/c", 1);
  const std::int32_t first = FinishedTask(*store, "1.avi", category);
  const std::int32_t damaged = FinishedTask(*store, "2.avi", category);
  const std::int32_t last = FinishedTask(*store, "3.avi", category);
  const std::int32_t converting = StartTask(*store, "4.avi", category);
  const std::int32_t converting_damaged = StartTask(*store, "5.avi", category);
  {
    RawDatabase raw(file_);
    raw.Run("UPDATE Conversions SET ConvertSettings = ? WHERE ID = ?",
            {"<data><TConversionSettings><DvdTitle>x</DvdTitle>", std::to_string(damaged)});
    raw.Run("UPDATE Conversions SET ConvertSettings = NULL WHERE ID = ?",
            {std::to_string(converting_damaged)});
  }
  testing::ReportCapture reports;
  for (int shown = 0; shown < 2; ++shown) {
    const std::vector<StoredTask> listed = store->LoadConvertedTask(category);
    std::vector<std::int32_t> ids = Ids(listed);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::int32_t>{first, last}));
    EXPECT_EQ(Ids(store->LoadConvertingTask()), (std::vector<std::int32_t>{converting}));
  }
  ASSERT_EQ(reports.error_boxes.size(), 2U);
  EXPECT_NE(reports.error_boxes[0].find("task " + std::to_string(damaged)), std::string::npos)
      << reports.error_boxes[0];
  EXPECT_NE(reports.error_boxes[0].find(file_), std::string::npos) << reports.error_boxes[0];
  EXPECT_NE(reports.error_boxes[1].find("task " + std::to_string(converting_damaged)),
            std::string::npos)
      << reports.error_boxes[1];
}

TEST_F(TaskStore, FilesThatAreNotTaskStoresAreRefusedAndLeftUntouched) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> make;
  };
  const auto database = [](std::vector<std::string> statements) {
    return [statements](const std::string& file) {
      RawDatabase raw(file);
      for (const std::string& sql : statements) raw.Run(sql);
    };
  };
  const char* kTables[] = {
      "CREATE TABLE Conversions (ID INTEGER PRIMARY KEY, Converting BOOLEAN, "
      "ConvertSettings TEXT, ConvertedDate DATETIME, CategoryId INTEGER, Log TEXT)",
      "CREATE TABLE Categories (ID INTEGER PRIMARY KEY, Category VARCHAR, Path VARCHAR, "
      "Parent INTEGER)"};
  const std::vector<Case> cases = {
      {"random bytes",
       [](const std::string& file) {
         std::ofstream out(file, std::ios::binary);
         for (int i = 0; i < 4096; ++i) out.put(static_cast<char>((i * 131 + 7) % 256));
       }},
      {"a text file",
       [](const std::string& file) { std::ofstream(file) << "<data PropFormat=\"node\"/>\n"; }},
      {"a newer schema", database({kTables[0], kTables[1], "PRAGMA user_version = 2"})},
      {"someone else's database", database({"CREATE TABLE Profiles (Name TEXT)"})},
      {"a table without a column",
       database(
           {"CREATE TABLE Conversions (ID INTEGER PRIMARY KEY, Converting BOOLEAN)", kTables[1]})},
  };
  int index = 0;
  for (const Case& c : cases) {
    const std::string file = folder_.path().toStdString() + "/" + std::to_string(index++) + ".cfg";
    c.make(file);
    const std::string bytes = ReadBytes(file);
    try {
      TPersistentManager store(file, kRootFolder);
      ADD_FAILURE() << c.what << " was opened";
    } catch (const StoreError& error) {
      EXPECT_NE(std::string(error.what()).find(file), std::string::npos)
          << c.what << ": " << error.what();
    }
    EXPECT_EQ(ReadBytes(file), bytes) << c.what;
    EXPECT_FALSE(std::filesystem::exists(file + "-wal")) << c.what;
  }
  // A folder where the file should be.
  const std::string folder = folder_.path().toStdString() + "/folder.cfg";
  std::filesystem::create_directory(folder);
  EXPECT_THROW((TPersistentManager{folder, kRootFolder}), StoreError);
}

// Runs the store in a child process that finishes the unfinished tasks one by one and deletes a
// category every third task, and kills it `delay` after it has done a few. Returns why the
// round did not go as planned, or nothing.
std::string FinishTasksUntilKilled(const std::string& file, int first_category, int categories,
                                   std::chrono::milliseconds delay) {
  constexpr int kSignalAfter = 5;
  int ready[2];
  if (pipe(ready) != 0) return "no pipe";
  const pid_t child = fork();
  if (child < 0) return "no child";
  if (child == 0) {
    close(ready[0]);
    try {
      TPersistentManager store(file, kRootFolder);
      int done = 0;
      for (const StoredTask& task : store.LoadConvertingTask()) {
        if (done % 3 == 1) store.DeleteCategory(first_category + (task.id / 3) % categories);
        TConversionSettings settings;
        settings.Assign(*task.settings);
        store.FinishDbTask(task.id, task.category_id, settings, task.id + 0.5,
                           {"finished", std::to_string(task.id)});
        if (++done == kSignalAfter && write(ready[1], "x", 1) != 1) _exit(3);
      }
    } catch (...) {
      _exit(2);
    }
    _exit(0);
  }
  close(ready[1]);
  char byte = 0;
  const ssize_t got = read(ready[0], &byte, 1);
  std::this_thread::sleep_for(delay);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  close(ready[0]);
  if (got != 1) return "the child failed before finishing a few tasks";
  if (!WIFSIGNALED(status)) return "the child ran to the end before it was killed";
  return {};
}

TEST_F(TaskStore, AProcessKilledWhileFinishingTasksLeavesEveryRowWhole) {
  constexpr int kTasks = 600;
  constexpr int kCategories = 200;
  constexpr int kSeedsPerCategory = 5;
  constexpr int kFirstCategory = 100;
  constexpr int kFirstTask = 10000;
  Open();
  {
    RawDatabase raw(file_);
    raw.Run("BEGIN");
    for (int c = 0; c < kCategories; ++c) {
      const std::string id = std::to_string(kFirstCategory + c);
      raw.Run("INSERT INTO Categories (ID, Category, Path, Parent) VALUES (?, ?, '/c', 1)",
              {id, "C" + id});
      for (int s = 0; s < kSeedsPerCategory; ++s) {
        raw.Run(
            "INSERT INTO Conversions (Converting, ConvertSettings, ConvertedDate, CategoryId, "
            "Log) VALUES (0, ?, '2024-01-01T00:00:00.000', ?, 'seed\r\n')",
            {SettingsText("seed.avi", kFirstCategory + c), id});
      }
    }
    for (int t = 0; t < kTasks; ++t) {
      raw.Run("INSERT INTO Conversions (ID, Converting, ConvertSettings) VALUES (?, 1, ?)",
              {std::to_string(kFirstTask + t),
               SettingsText("t.avi", kFirstCategory + t % kCategories)});
    }
    raw.Run("COMMIT");
  }
  // Kills at different moments; each round carries on from what the last one left.
  for (const int delay : {0, 3, 7, 12, 18, 25, 33, 42}) {
    const std::string problem = FinishTasksUntilKilled(file_, kFirstCategory, kCategories,
                                                       std::chrono::milliseconds(delay));
    ASSERT_TRUE(problem.empty()) << problem;
  }

  RawDatabase raw(file_);
  EXPECT_EQ(raw.Query("PRAGMA integrity_check"), (Rows{{"ok"}}));
  int finished = 0;
  int unfinished = 0;
  for (const Row& row :
       raw.Query("SELECT ID, Converting, ConvertSettings, ConvertedDate, CategoryId, Log "
                 "FROM Conversions WHERE ID >= ?",
                 {std::to_string(kFirstTask)})) {
    const int t = std::stoi(*row[0]) - kFirstTask;
    if (*row[1] == "1") {
      ++unfinished;
      EXPECT_EQ(row, (Row{row[0], "1", SettingsText("t.avi", kFirstCategory + t % kCategories),
                          std::nullopt, std::nullopt, std::nullopt}));
    } else {
      ++finished;
      EXPECT_EQ(*row[1], "0");
      EXPECT_TRUE(row[3].has_value() && row[4].has_value()) << t;
      EXPECT_NE(row[2]->find("<Duration>" + *row[0] + ".5</Duration>"), std::string::npos) << t;
      EXPECT_EQ(row[5], "finished\r\n" + *row[0] + "\r\n");
    }
  }
  // Finished tasks filed under a category deleted afterwards went with it.
  EXPECT_GE(kTasks - unfinished, 40);  // eight rounds of at least five
  EXPECT_GT(finished, 0);
  EXPECT_GT(unfinished, 0);
  // Each category is there with all its seeded tasks, or gone together with every task filed
  // under it.
  for (int c = 0; c < kCategories; ++c) {
    const std::string id = std::to_string(kFirstCategory + c);
    const bool present = !raw.Query("SELECT ID FROM Categories WHERE ID = ?", {id}).empty();
    const Rows seeds = raw.Query(
        "SELECT count(*) FROM Conversions WHERE CategoryId = ? AND Log = 'seed\r\n'", {id});
    const Rows filed = raw.Query("SELECT count(*) FROM Conversions WHERE CategoryId = ?", {id});
    if (present) {
      EXPECT_EQ(seeds, (Rows{{std::to_string(kSeedsPerCategory)}})) << id;
    } else {
      EXPECT_EQ(filed, (Rows{{"0"}})) << id;
    }
  }
  EXPECT_NO_THROW(Open()->LoadCategoryTree());
}

}  // namespace
}  // namespace zembra::tasks
