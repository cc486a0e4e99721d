// zembra-cli as a user runs it: exit statuses, JSON progress, signals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/media_fixtures.h"
#include "support/probe.h"

namespace zembra::cli {
namespace {

using namespace std::chrono_literals;

// A running zembra-cli with its standard output readable line by line.
class CliProcess {
 public:
  explicit CliProcess(const std::vector<std::string>& arguments, const std::string& stderr_file) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(pipe_fds[1], STDOUT_FILENO);
      const int err = open(stderr_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(err, STDERR_FILENO);
      const int null = open("/dev/null", O_RDONLY);
      dup2(null, STDIN_FILENO);
      close(pipe_fds[0]);
      std::vector<char*> argv;
      std::string program = ZEMBRA_TEST_CLI;
      argv.push_back(program.data());
      std::vector<std::string> copies = arguments;
      for (std::string& argument : copies) argv.push_back(argument.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(pipe_fds[1]);
    out_ = fdopen(pipe_fds[0], "r");
  }
  ~CliProcess() {
    if (out_ != nullptr) std::fclose(out_);
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  // The next line of standard output, or false at its end.
  bool ReadLine(std::string& line) {
    char buffer[65536];
    if (out_ == nullptr || std::fgets(buffer, sizeof buffer, out_) == nullptr) return false;
    line = buffer;
    return true;
  }
  void Signal(int signal) const { kill(pid_, signal); }
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
  }

 private:
  pid_t pid_ = -1;
  std::FILE* out_ = nullptr;
  int status_ = -1;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The number after "key": in a JSON line, or -1.
double JsonNumber(const std::string& line, const std::string& key) {
  const std::size_t at = line.find("\"" + key + "\":");
  return at == std::string::npos ? -1 : std::stod(line.substr(at + key.size() + 3));
}

class CliProcessTest : public ::testing::Test {
 protected:
  testing::TempFolder folder;
  std::string errors = folder.File("stderr.txt");
};

TEST_F(CliProcessTest, ExitStatusesTellHowItEnded) {
  const std::string clip = testing::MakeTestClip(folder, "clip.mp4", 1.0);
  const std::string text = testing::WriteTextFile(folder, "notes.mp4", "not a video");
  struct Case {
    std::vector<std::string> arguments;
    int status;
    const char* says;  // on standard error
  };
  const Case cases[] = {
      {{"convert", clip, "-o", folder.File("ok.mkv")}, 0, "Done"},
      {{"convert", text, "-o", folder.File("bad.mkv")}, 1, "Could not open file:"},
      {{"convert", folder.File("missing.mp4"), "-o", folder.File("x.mkv")}, 2, "missing.mp4"},
      {{"convert", clip}, 2, "convert needs an OUTPUT"},
      {{"frobnicate"}, 2, "unknown command"},
      {{"probe", clip}, 0, ""},
      {{"version"}, 0, ""},
  };
  for (const Case& c : cases) {
    CliProcess process(c.arguments, errors);
    std::string line;
    while (process.ReadLine(line)) {
    }
    EXPECT_EQ(process.Wait(), c.status) << c.arguments[0] << "\n" << ReadFile(errors);
    EXPECT_NE(ReadFile(errors).find(c.says), std::string::npos) << ReadFile(errors);
  }
  EXPECT_EQ(testing::Probe(folder.File("ok.mkv"), false).StreamCount(), 2);
}

TEST_F(CliProcessTest, JsonProgressRisesToTheEnd) {
  const std::string clip = testing::MakeTestClip(folder, "clip.mp4", 6.0);
  CliProcess process({"convert", clip, "-o", folder.File("out.mp4"), "--json"}, errors);
  std::string line;
  double last_progress = -1;
  int progress_lines = 0;
  std::string final_line;
  while (process.ReadLine(line)) {
    ASSERT_EQ(line.front(), '{') << line;
    ASSERT_EQ(line.substr(line.size() - 2), "}\n") << line;
    if (line.find("\"outcome\"") != std::string::npos) {
      final_line = line;
      continue;
    }
    ++progress_lines;
    const double progress = JsonNumber(line, "progress");
    EXPECT_GE(progress, last_progress - 1) << line;
    last_progress = progress;
    EXPECT_GE(JsonNumber(line, "duration_s"), 0) << line;
  }
  EXPECT_EQ(process.Wait(), 0) << ReadFile(errors);
  EXPECT_GT(progress_lines, 0);
  EXPECT_GE(last_progress, 90);
  EXPECT_NE(final_line.find("\"outcome\":\"completed\""), std::string::npos) << final_line;
  EXPECT_NE(final_line.find("\"log\":["), std::string::npos) << final_line;
}

TEST_F(CliProcessTest, SignalsPauseResumeAndStop) {
  const std::string clip = testing::MakeTestClip(folder, "long.mp4", 40.0);
  const std::string output = folder.File("signalled.mp4");
  CliProcess process({"convert", clip, "-o", output, "--json"}, errors);
  std::string line;
  bool paused_seen = false;
  bool resumed = false;
  bool interrupted = false;
  while (process.ReadLine(line)) {
    if (line.find("\"outcome\"") != std::string::npos) break;
    const double converted = JsonNumber(line, "converted_s");
    if (!paused_seen && converted > 1.0 && line.find("\"running\"") != std::string::npos) {
      process.Signal(SIGUSR1);
    }
    if (line.find("\"state\":\"paused\"") != std::string::npos && !paused_seen) {
      paused_seen = true;
      std::this_thread::sleep_for(300ms);
      process.Signal(SIGUSR2);
      resumed = true;
      continue;
    }
    if (resumed && !interrupted && line.find("\"state\":\"running\"") != std::string::npos &&
        converted > 2.0) {
      process.Signal(SIGINT);
      interrupted = true;
    }
  }
  EXPECT_EQ(process.Wait(), 130) << ReadFile(errors);
  EXPECT_TRUE(paused_seen);
  EXPECT_TRUE(interrupted);
  const testing::Probe probe(output, false);
  EXPECT_EQ(probe.Stream(0, "codec_name"), "h264");
  EXPECT_GT(probe.Duration(), 1.0);
  EXPECT_LT(probe.Duration(), 39.0);
}

}  // namespace
}  // namespace zembra::cli
