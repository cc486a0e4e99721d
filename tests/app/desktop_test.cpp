#include "app/desktop.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zembra::app {
namespace {

// Records what the helpers ask of the desktop; nothing reaches the real one.
class RecordingDesktop final : public DesktopServices {
 public:
  explicit RecordingDesktop(std::vector<std::string>& calls) : calls_(calls) {}
  void ExploreFolder(const std::string& path, bool with_tree) override {
    calls_.push_back("folder " + path + (with_tree ? " tree" : ""));
  }
  void ExploreFile(const std::string& path, bool with_tree) override {
    calls_.push_back("file " + path + (with_tree ? " tree" : ""));
  }
  void ShellOpen(const std::string& target) override { calls_.push_back("open " + target); }
  void ShutdownComputer() override { calls_.push_back("shutdown"); }

 private:
  std::vector<std::string>& calls_;
};

TEST(Desktop, HelpersGoThroughTheInstalledServices) {
  std::vector<std::string> first_calls;
  std::vector<std::string> second_calls;
  EXPECT_EQ(SetDesktop(std::make_unique<RecordingDesktop>(first_calls)), nullptr);
  ExploreFolder("/home/u/Conversion");
  ExploreFile("/home/u/Conversion/a.mp4");
  ExploreFile("/home/u/Conversion/b.mp4", false);
  ShellOpen("https://example.org/");
  ShutdownComputer();
  EXPECT_EQ(first_calls,
            (std::vector<std::string>{
                "folder /home/u/Conversion tree", "file /home/u/Conversion/a.mp4 tree",
                "file /home/u/Conversion/b.mp4", "open https://example.org/", "shutdown"}));

  std::unique_ptr<DesktopServices> previous =
      SetDesktop(std::make_unique<RecordingDesktop>(second_calls));
  ASSERT_NE(previous, nullptr);
  ShutdownComputer();
  EXPECT_EQ(second_calls, std::vector<std::string>{"shutdown"});
  EXPECT_EQ(first_calls.size(), 5U);
  // Put back, the first one receives calls again.
  SetDesktop(std::move(previous));
  ShellOpen("/tmp");
  EXPECT_EQ(first_calls.back(), "open /tmp");
}

TEST(Desktop, FileSizeOfCountsBytesOfRegularFilesOnly) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::string base = folder.path().toStdString();
  {
    QFile file(folder.filePath("clip.avi"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(12345, 'x'));
    QFile empty(folder.filePath("empty.avi"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    // Past 4 GiB without writing it: sizes are 64-bit.
    QFile big(folder.filePath("big.vob"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(std::int64_t{5} << 30));
  }
  std::filesystem::create_symlink(base + "/clip.avi", base + "/link.avi");
  std::filesystem::create_symlink(base + "/gone.avi", base + "/dangling.avi");
  const std::pair<std::string, std::int64_t> cases[] = {
      {base + "/clip.avi", 12345},
      {base + "/empty.avi", 0},
      {base + "/big.vob", std::int64_t{5} << 30},
      {base + "/link.avi", 12345},
      {base + "/dangling.avi", 0},
      {base + "/missing.avi", 0},
      {base, 0},
      {"", 0},
  };
  for (const auto& [path, size] : cases) EXPECT_EQ(FileSizeOf(path), size) << path;
}

TEST(Desktop, ShellOpenTellsAddressesFromPaths) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  ASSERT_TRUE(QDir::setCurrent(folder.path()));
  {
    QFile odd(folder.filePath("notes:1.txt"));
    ASSERT_TRUE(odd.open(QIODevice::WriteOnly));
  }
  const std::string here = QDir::currentPath().toStdString();
  const std::pair<std::string, std::string> cases[] = {
      {"https://example.org/a?b=c", "https://example.org/a?b=c"},
      {"mailto:support@example.org", "mailto:support@example.org"},
      {"/home/u/My Videos/a.mp4", "file:///home/u/My%20Videos/a.mp4"},
      {"/home/u/视频", "file:///home/u/%E8%A7%86%E9%A2%91"},
      {"clip.mp4", "file://" + here + "/clip.mp4"},
      {"notes:1.txt", "file://" + here + "/notes:1.txt"},
  };
  for (const auto& [target, url] : cases) {
    EXPECT_EQ(ShellUrl(target).toString(QUrl::FullyEncoded).toStdString(), url) << target;
  }
}

}  // namespace
}  // namespace zembra::app
