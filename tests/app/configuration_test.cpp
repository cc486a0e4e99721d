#include "app/configuration.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/process_priority.h"
#include "support/report_capture.h"

namespace zembra::app {
namespace {

// What a configuration holds, for comparing whole states at once.
using State = std::tuple<std::int32_t, std::int32_t, bool, std::string, bool>;

State StateOf(const TAVConfiguration& configuration) {
  return {configuration.PerformanceOptions().ThreadCount(),
          configuration.PerformanceOptions().ThreadPrority(), configuration.ShutdownWhenDone(),
          configuration.OutputFolder(), configuration.ShowAlert()};
}

void SetState(TAVConfiguration& configuration, const State& state) {
  configuration.PerformanceOptions().SetThreadCount(std::get<0>(state));
  configuration.PerformanceOptions().SetThreadPrority(std::get<1>(state));
  configuration.SetShutdownWhenDone(std::get<2>(state));
  configuration.SetOutputFolder(std::get<3>(state));
  configuration.SetShowAlert(std::get<4>(state));
}

std::string ReadFile(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return "<missing>";
  return file.readAll().toStdString();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(text.data(), static_cast<qint64>(text.size()));
}

int NiceOf(pid_t thread) {
  errno = 0;
  return getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
}

class Configuration : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home_.isValid());
    home_path_ = home_.path().toStdString();
    setenv("HOME", home_path_.c_str(), 1);
    setenv("XDG_DATA_HOME", (home_path_ + "/data").c_str(), 1);
  }

  std::string DataFolder() const { return home_path_ + "/data/Quillon/ZembraCHS/"; }
  std::string ConfigFile() const { return DataFolder() + "Config.Xml"; }

  QTemporaryDir home_;
  std::string home_path_;
};

TEST_F(Configuration, FirstStartWritesTheDefaultsAndReadsThemBack) {
  testing::ReportCapture reports;
  TAVConfiguration configuration;
  EXPECT_EQ(TAVConfiguration::GetAppDataFolder(), DataFolder());
  EXPECT_EQ(TAVConfiguration::GetConfigFile(), ConfigFile());
  EXPECT_FALSE(std::filesystem::exists(DataFolder()));

  configuration.Load();
  EXPECT_EQ(ReadFile(ConfigFile()),
            "<data PropFormat=\"node\">\n"
            "  <TAVConfiguration>\n"
            "    <PerformanceOptions>\n"
            "      <ThreadCount>0</ThreadCount>\n"
            "      <ThreadPrority>2</ThreadPrority>\n"
            "    </PerformanceOptions>\n"
            "    <OutputFolder>" +
                home_path_ +
                "/Conversion</OutputFolder>\n"
                "  </TAVConfiguration>\n"
                "</data>\n");
  EXPECT_EQ(StateOf(configuration), State(0, 2, false, home_path_ + "/Conversion", true));
  EXPECT_TRUE(reports.error_boxes.empty());
  EXPECT_TRUE(reports.diagnostics.empty());
}

TEST_F(Configuration, TheDataFolderFollowsXdgDataHome) {
  const std::pair<const char*, std::string> cases[] = {
      {"/srv/share/", "/srv/share/Quillon/ZembraCHS/"},
      {"/srv//share", "/srv/share/Quillon/ZembraCHS/"},
      // Relative or empty values are to be ignored.
      {"share", home_path_ + "/.local/share/Quillon/ZembraCHS/"},
      {"", home_path_ + "/.local/share/Quillon/ZembraCHS/"},
  };
  for (const auto& [xdg, expected] : cases) {
    setenv("XDG_DATA_HOME", xdg, 1);
    EXPECT_EQ(TAVConfiguration::GetAppDataFolder(), expected) << xdg;
  }
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(TAVConfiguration::GetAppDataFolder(), home_path_ + "/.local/share/Quillon/ZembraCHS/");
}

TEST_F(Configuration, ElementsAreWrittenOnlyWhenTheyHaveSomethingToSay) {
  struct Case {
    const char* what;
    State state;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  };
  const std::vector<Case> cases = {
      {"alert off",
       {0, 2, false, "/out", false},
       {"<ShowAlert>0</ShowAlert>"},
       {"ShutdownWhenDone"}},
      {"alert back on", {0, 2, false, "/out", true}, {}, {"ShowAlert"}},
      {"shut down when done",
       {0, 2, true, "/out", true},
       {"<ShutdownWhenDone>1</ShutdownWhenDone>\n    <OutputFolder>/out</OutputFolder>"},
       {"ShowAlert"}},
      {"no output folder", {0, 2, false, "", true}, {}, {"OutputFolder"}},
      {"performance values are always written",
       {32, 5, false, "/视频 & <输出>", true},
       {"<ThreadCount>32</ThreadCount>", "<ThreadPrority>5</ThreadPrority>",
        "<OutputFolder>/视频 &amp; &lt;输出&gt;</OutputFolder>"},
       {}},
  };
  for (const Case& c : cases) {
    TAVConfiguration written;
    SetState(written, c.state);
    const std::string path = home_path_ + "/written.xml";
    written.SaveToFile(path);
    const std::string text = ReadFile(path);
    for (const std::string& piece : c.present) {
      EXPECT_NE(text.find(piece), std::string::npos) << c.what << ": missing " << piece << "\n"
                                                     << text;
    }
    for (const std::string& piece : c.absent) {
      EXPECT_EQ(text.find(piece), std::string::npos) << c.what << ": unexpected " << piece;
    }
    TAVConfiguration read;
    SetState(read, {7, 4, !std::get<2>(c.state), "/elsewhere", !std::get<4>(c.state)});
    EXPECT_TRUE(read.LoadFromFile(path)) << c.what;
    EXPECT_EQ(StateOf(read), c.state) << c.what;
  }
}

TEST_F(Configuration, HandEditedAndDamagedFilesReadAsFarAsTheyCan) {
  const State current{7, 4, true, "/current", false};
  const std::string kBom = "\xEF\xBB\xBF";
  const auto file = [](const std::string& performance, const std::string& rest) {
    return "<data PropFormat=\"node\"><TAVConfiguration><PerformanceOptions>" + performance +
           "</PerformanceOptions>" + rest + "</TAVConfiguration></data>";
  };
  const std::string kPerformance = "<ThreadCount>3</ThreadCount><ThreadPrority>1</ThreadPrority>";
  struct Case {
    const char* what;
    std::string text;
    State expected;
    bool whole;  // read without a problem
  };
  const std::vector<Case> cases = {
      {"output folder deleted by hand",
       file(kPerformance, "<ShowAlert>0</ShowAlert>"),
       {3, 1, false, "", false},
       true},
      {"other letter case",
       "<DATA><tavconfiguration><performanceOPTIONS><threadcount>3</threadcount>"
       "<THREADPRORITY>1</THREADPRORITY></performanceOPTIONS><outputfolder>/o</outputfolder>"
       "<SHOWALERT>0</SHOWALERT></tavconfiguration></DATA>",
       {3, 1, false, "/o", false},
       true},
      {"byte-order mark and indentation",
       kBom +
           "<data PropFormat=\"node\">\n  <TAVConfiguration>\n    <OutputFolder>/o</OutputFolder>"
           "\n  </TAVConfiguration>\n</data>\n",
       {7, 4, false, "/o", true},
       true},
      {"no configuration element", "<data PropFormat=\"node\"><Other/></data>", current, true},
      {"no performance element",
       "<data><TAVConfiguration><ShutdownWhenDone>1</ShutdownWhenDone>"
       "</TAVConfiguration></data>",
       {7, 4, true, "", true},
       true},
      {"performance values missing", file("", ""), {0, 2, false, "", true}, true},
      {"performance values not numbers",
       file("<ThreadCount>four</ThreadCount><ThreadPrority>high</ThreadPrority>", ""),
       {0, 2, false, "", true},
       false},
      {"performance values out of range",
       file("<ThreadCount>33</ThreadCount><ThreadPrority>-1</ThreadPrority>", ""),
       {0, 2, false, "", true},
       false},
      {"performance values at the ends of their ranges",
       file("<ThreadCount>32</ThreadCount><ThreadPrority>0</ThreadPrority>", ""),
       {32, 0, false, "", true},
       true},
      {"a Boolean that is not 0 or 1",
       file(kPerformance, "<ShowAlert>no</ShowAlert>"),
       {3, 1, false, "", true},
       false},
      {"cut short inside an element",
       "<data><TAVConfiguration><PerformanceOptions>" + kPerformance +
           "</PerformanceOptions><ShutdownWhenDone>0</ShutdownWhenDone><OutputFolder>/cut",
       {3, 1, false, "/current", false},
       false},
      {"broken after the performance values",
       "<data><TAVConfiguration><PerformanceOptions>" + kPerformance +
           "</PerformanceOptions><ShowAlert>1</Show></TAVConfiguration></data>",
       {3, 1, true, "/current", false},
       false},
      {"broken at the start", "<data><TAVConfiguration><Performance", current, false},
      {"empty", "", current, false},
      {"the automatic format", "<data PropFormat=\"auto\">" + file(kPerformance, "") + "</data>",
       current, false},
  };
  for (const Case& c : cases) {
    WriteFile(ConfigFile(), c.text);
    TAVConfiguration configuration;
    SetState(configuration, current);
    testing::ReportCapture reports;
    EXPECT_EQ(configuration.LoadFromFile(ConfigFile()), c.whole) << c.what;
    EXPECT_EQ(StateOf(configuration), c.expected) << c.what;
    // A damaged file is noted for whoever watches, never shown as an error box at start-up.
    EXPECT_EQ(reports.diagnostics.size(), c.whole ? 0U : 1U) << c.what;
    EXPECT_TRUE(reports.error_boxes.empty()) << c.what;
  }
}

TEST_F(Configuration, AFolderThatCannotBeWrittenDoesNotStopTheProgram) {
  // A file where the data folder's parent should be.
  WriteFile(home_path_ + "/blocked", "");
  setenv("XDG_DATA_HOME", (home_path_ + "/blocked").c_str(), 1);
  testing::ReportCapture reports;
  TAVConfiguration configuration;
  configuration.SetShowAlert(false);
  configuration.Load();
  EXPECT_FALSE(configuration.ShowAlert());
  ASSERT_EQ(reports.error_boxes.size(), 1U);
  EXPECT_NE(reports.error_boxes[0].find(home_path_ + "/blocked"), std::string::npos)
      << reports.error_boxes[0];
  EXPECT_THROW(configuration.Save(), ConfigurationError);
  EXPECT_THROW(configuration.SaveToFile(home_path_ + "/blocked/Config.Xml"), ConfigurationError);
}

TEST_F(Configuration, SavingReplacesTheWholeFileAndKeepsTheOldOneOnFailure) {
  TAVConfiguration configuration;
  configuration.SetOutputFolder("/first");
  configuration.Save();
  const std::string first = ReadFile(ConfigFile());
  // Text the file cannot carry: the save fails and the old file stays as it was.
  configuration.SetOutputFolder("/bad\x01name");
  EXPECT_THROW(configuration.Save(), ConfigurationError);
  EXPECT_EQ(ReadFile(ConfigFile()), first);
  // Nothing is left beside it.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(DataFolder())) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"Config.Xml"});
}

TEST_F(Configuration, SavingAppliesThePriorityToEveryThreadLoadingDoesNot) {
  ASSERT_EQ(NiceOf(0), 0) << "the test expects to start at normal priority";
  // A thread that exists before the save changes with the rest of the process.
  std::mutex mutex;
  std::condition_variable changed;
  pid_t worker_id = 0;
  bool done = false;
  std::thread worker([&] {
    std::unique_lock lock(mutex);
    worker_id = static_cast<pid_t>(syscall(SYS_gettid));
    changed.notify_all();
    changed.wait(lock, [&] { return done; });
  });
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return worker_id != 0; });
  }

  WriteFile(ConfigFile(),
            "<data><TAVConfiguration><PerformanceOptions><ThreadCount>0</ThreadCount>"
            "<ThreadPrority>1</ThreadPrority></PerformanceOptions>"
            "</TAVConfiguration></data>");
  TAVConfiguration configuration;
  configuration.Load();
  EXPECT_EQ(configuration.PerformanceOptions().ThreadPrority(), 1);
  EXPECT_EQ(NiceOf(0), 0);

  configuration.Save();
  EXPECT_EQ(NiceOf(0), kProcessPriorityNiceValues[1]);
  EXPECT_EQ(NiceOf(worker_id), kProcessPriorityNiceValues[1]);
  {
    std::lock_guard lock(mutex);
    done = true;
  }
  changed.notify_all();
  worker.join();

  // Raising the priority needs privilege; without it the refusal is noted and the save goes on.
  testing::ReportCapture reports;
  configuration.PerformanceOptions().SetThreadPrority(4);
  EXPECT_NO_THROW(configuration.Save());
  if (geteuid() == 0) {
    EXPECT_EQ(NiceOf(0), kProcessPriorityNiceValues[4]);
  } else {
    EXPECT_EQ(NiceOf(0), kProcessPriorityNiceValues[1]);
    EXPECT_EQ(reports.diagnostics.size(), 1U);
  }
  EXPECT_NE(ReadFile(ConfigFile()).find("<ThreadPrority>4</ThreadPrority>"), std::string::npos);

  // A class outside the table changes nothing.
  reports.Clear();
  const int before = NiceOf(0);
  EXPECT_FALSE(ApplyProcessPriority(6));
  EXPECT_FALSE(ApplyProcessPriority(-1));
  EXPECT_EQ(NiceOf(0), before);
  EXPECT_EQ(reports.diagnostics.size(), 2U);
}

TEST_F(Configuration, AssigningCopiesValuesIntoTheOwnedObjects) {
  TAVConfiguration source;
  SetState(source, {5, 3, true, "/s", false});
  TAVConfiguration target;
  const TPerformanceOptions* owned = &target.PerformanceOptions();
  target.Assign(source);
  EXPECT_EQ(StateOf(target), StateOf(source));
  TPerformanceOptions performance;
  performance.SetThreadCount(9);
  target.SetPerformanceOptions(performance);
  EXPECT_EQ(&target.PerformanceOptions(), owned);
  EXPECT_EQ(target.PerformanceOptions().ThreadCount(), 9);
  EXPECT_THROW(target.Assign(performance), std::invalid_argument);
  EXPECT_THROW(performance.Assign(target), std::invalid_argument);
}

}  // namespace
}  // namespace zembra::app
