#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/convert_threads.h"
#include "engine/converter.h"
#include "media/media_loader.h"

namespace zembra::engine {
namespace {

using media::ff;

struct LogCollector {
  explicit LogCollector(TAVConverter& converter) {
    converter.OnLog = [this](TAVConverter&, int level, const std::string& text) {
      std::lock_guard lock(mutex);
      lines.emplace_back(level, text);
    };
  }
  std::vector<std::pair<int, std::string>> Lines() {
    std::lock_guard lock(mutex);
    return lines;
  }
  std::mutex mutex;
  std::vector<std::pair<int, std::string>> lines;
};

TEST(LogRouting, WorkerMessagesUpToWarningsReachTheirConverter) {
  EventLoopDispatcher dispatcher;
  TAVConverter converter(dispatcher);
  LogCollector log(converter);
  converter.SetLastErrorMessage("before");
  {
    ConvertThreadRegistration worker(converter);
    ff.av_log(nullptr, AV_LOG_INFO, "information %d\n", 32);
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(converter.LastErrorMessage(), "before");

    ff.av_log(nullptr, AV_LOG_WARNING, "warning %s\n", "text");
    ff.av_log(nullptr, AV_LOG_ERROR, "error\n");
    ff.av_log(nullptr, AV_LOG_DEBUG, "debug\n");
    const std::string long_text(3000, 'x');
    ff.av_log(nullptr, AV_LOG_ERROR, "%s", long_text.c_str());
  }
  const auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 3U);
  EXPECT_EQ(lines[0], std::make_pair(24, std::string("warning text\n")));
  EXPECT_EQ(lines[1], std::make_pair(16, std::string("error\n")));
  EXPECT_EQ(lines[2].second.size(), 1024U);  // cut, not dropped
  EXPECT_EQ(converter.LastErrorMessage(), std::string(1024, 'x'));

  // Once the worker has ended, its thread's messages go nowhere.
  ff.av_log(nullptr, AV_LOG_ERROR, "after\n");
  EXPECT_EQ(log.Lines().size(), 3U);
}

TEST(LogRouting, MessagesFromOtherThreadsAreDropped) {
  EventLoopDispatcher dispatcher;
  TAVConverter converter(dispatcher);
  LogCollector log(converter);
  ConvertThreadRegistration worker(converter);
  std::thread other([] { ff.av_log(nullptr, AV_LOG_ERROR, "from another thread\n"); });
  other.join();
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(converter.LastErrorMessage(), "");
}

TEST(LogRouting, TwoConvertersAtOnceEachReceiveOnlyTheirOwn) {
  EventLoopDispatcher dispatcher;
  TAVConverter first(dispatcher);
  TAVConverter second(dispatcher);
  LogCollector first_log(first);
  LogCollector second_log(second);
  constexpr int kMessages = 500;
  auto work = [](TAVConverter& converter, const char* name) {
    ConvertThreadRegistration worker(converter);
    for (int i = 0; i < kMessages; ++i) ff.av_log(nullptr, AV_LOG_WARNING, "%s %d\n", name, i);
  };
  std::thread a(work, std::ref(first), "first");
  std::thread b(work, std::ref(second), "second");
  a.join();
  b.join();
  const auto first_lines = first_log.Lines();
  const auto second_lines = second_log.Lines();
  ASSERT_EQ(first_lines.size(), static_cast<std::size_t>(kMessages));
  ASSERT_EQ(second_lines.size(), static_cast<std::size_t>(kMessages));
  for (const auto& [level, text] : first_lines) EXPECT_EQ(text.rfind("first ", 0), 0U) << text;
  for (const auto& [level, text] : second_lines) EXPECT_EQ(text.rfind("second ", 0), 0U) << text;
  EXPECT_EQ(first.LastErrorMessage(), "first 499\n");
}

}  // namespace
}  // namespace zembra::engine
