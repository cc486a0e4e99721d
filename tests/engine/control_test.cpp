#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "engine/converter.h"
#include "support/media_fixtures.h"
#include "support/report_capture.h"

namespace zembra::engine {
namespace {

using namespace std::chrono_literals;
using enum TAVConvertState;

TEST(ConvertState, TransitionsFromEveryState) {
  struct Case {
    TAVConvertState from;
    ControlRequest request;
    std::optional<TAVConvertState> to;  // nothing: the request does not apply
  };
  const Case cases[] = {
      {csNone, ControlRequest::kStart, csRunning},
      {csNone, ControlRequest::kPause, std::nullopt},
      {csNone, ControlRequest::kResume, std::nullopt},
      {csNone, ControlRequest::kStop, std::nullopt},
      {csRunning, ControlRequest::kStart, std::nullopt},
      {csRunning, ControlRequest::kPause, csPaused},
      {csRunning, ControlRequest::kResume, std::nullopt},
      {csRunning, ControlRequest::kStop, csStopped},
      {csRunning, ControlRequest::kFinish, csNone},
      {csPaused, ControlRequest::kStart, std::nullopt},
      {csPaused, ControlRequest::kPause, std::nullopt},
      {csPaused, ControlRequest::kResume, csRunning},
      {csPaused, ControlRequest::kStop, csStopped},
      {csStopped, ControlRequest::kStart, std::nullopt},
      {csStopped, ControlRequest::kPause, std::nullopt},
      {csStopped, ControlRequest::kResume, std::nullopt},
      {csStopped, ControlRequest::kStop, std::nullopt},
      {csStopped, ControlRequest::kFinish, csNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NextState(c.from, c.request), c.to)
        << static_cast<int>(c.from) << " + " << static_cast<int>(c.request);
  }
}

TEST(ConvertFigures, ProgressOverTheWholeInputAndOverAWindow) {
  constexpr std::int64_t kWhole = std::numeric_limits<std::int64_t>::max();
  struct Case {
    double duration, converted;
    std::int64_t start_us, recording_us;
    std::int32_t progress;
  };
  const Case cases[] = {
      {0, 5, 0, kWhole, 0},             // nothing known yet
      {60, 30, 0, kWhole, 50},          // the whole input
      {60, 61, 0, kWhole, 102},         // past the nominal end: not clamped
      {200, 1, 0, kWhole, 0},           // 0.5 rounds to even
      {200, 3, 0, kWhole, 2},           // 1.5 rounds to even
      {60, 5, 10000000, 20000000, 25},  // a window inside the input
      {25, 5, 10000000, 20000000, 33},  // the window cut by the end of the input
      {60, 5, 0, 20000000, 25},         // only a length
      {10, 5, 20000000, 20000000, 0},   // a window after the end: nothing to measure
  };
  for (const Case& c : cases) {
    ProgressSnapshot figures;
    figures.duration = c.duration;
    figures.converted_duration = c.converted;
    EXPECT_EQ(ComputeProgress(figures, c.start_us, c.recording_us), c.progress)
        << c.duration << " " << c.converted << " " << c.start_us << " " << c.recording_us;
  }
}

TEST(ConvertFigures, UsedAndLeftTime) {
  ProgressSnapshot figures;
  EXPECT_EQ(ComputeUsedTime(figures), 0);  // before the loop
  figures.timer_start = 5000000000;
  EXPECT_EQ(ComputeUsedTime(figures), 0);  // before the first report update: never negative
  figures.last_time = figures.timer_start + 30600000;
  EXPECT_EQ(ComputeUsedTime(figures), 30);

  EXPECT_EQ(ComputeLeftTime(30, 25), 90);
  EXPECT_EQ(ComputeLeftTime(30, 0), kUnknownLeftTime);
  EXPECT_EQ(ComputeLeftTime(30, -3), 362439);
  EXPECT_EQ(ComputeLeftTime(7, 100), 0);
  EXPECT_EQ(ComputeLeftTime(10, 120), 0);  // past the nominal end: nothing left, not less
}

TEST(EventLoopDispatcher, RunsPostedCallsInOrderAndWaitsAcrossThreads) {
  EventLoopDispatcher dispatcher;
  std::vector<int> ran;
  dispatcher.Post([&] { ran.push_back(1); });
  dispatcher.Post([&] { ran.push_back(2); });
  EXPECT_TRUE(ran.empty());  // nothing runs until the owner processes
  EXPECT_EQ(dispatcher.ProcessPending(), 2);
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));

  std::thread::id ran_on;
  std::thread worker([&] { dispatcher.RunAndWait([&] { ran_on = std::this_thread::get_id(); }); });
  EXPECT_TRUE(dispatcher.RunUntil([&] { return ran_on != std::thread::id(); }, 5s));
  worker.join();
  EXPECT_EQ(ran_on, std::this_thread::get_id());

  dispatcher.RunAndWait([&] { ran.push_back(3); });  // on the owner: at once
  EXPECT_EQ(ran.back(), 3);
}

// Records the events of a converter as they arrive on the dispatcher's thread.
struct EventRecorder {
  explicit EventRecorder(TAVConverter& converter) {
    converter.OnComplete = [this](TAVConverter&) { events.push_back("complete"); };
    converter.OnStopped = [this](TAVConverter&) { events.push_back("stopped"); };
    converter.OnLog = [this](TAVConverter&, int level, const std::string& text) {
      std::lock_guard lock(mutex);
      log.emplace_back(level, text);
    };
  }
  bool Completed() const {
    return std::find(events.begin(), events.end(), "complete") != events.end();
  }
  std::vector<std::string> events;
  std::mutex mutex;
  std::vector<std::pair<int, std::string>> log;
};

TEST(Converter, ControlCallsOnAnIdleConverterDoNothing) {
  EventLoopDispatcher dispatcher;
  TAVConverter converter(dispatcher);
  EXPECT_EQ(converter.State(), csNone);
  converter.Pause();
  converter.Resume();
  converter.Stop();
  EXPECT_EQ(converter.State(), csNone);
  EXPECT_EQ(converter.Outcome(), ConvertOutcome::kNone);
  EXPECT_EQ(converter.Progress(), 0);
  EXPECT_EQ(converter.GetUsedTime(), 0);
  EXPECT_EQ(converter.GetLeftTime(), kUnknownLeftTime);
  EXPECT_EQ(converter.LogLevel(), 24);
}

TEST(Converter, PausedJobParksUntilStoppedAndThenEndsAsStopped) {
  testing::ReportCapture reports;
  testing::TempFolder folder;
  // Matroska states its duration in the header, so it is known without seeking the pipe.
  const std::string wav = testing::MakeMedia(
      folder, "tone.mka",
      "-f lavfi -i sine=frequency=440:sample_rate=8000:duration=1 -c:a pcm_s16le");
  // A named pipe holds the worker in its input opening until the test feeds it.
  const std::string fifo = folder.File("feed.mka");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

  EventLoopDispatcher dispatcher;
  TAVConverter converter(dispatcher);
  EventRecorder recorder(converter);
  converter.InputFiles().Add(fifo);
  converter.OutputFiles().Add(folder.File("out.mp3"));
  converter.Convert();
  EXPECT_EQ(converter.State(), csRunning);
  EXPECT_THROW(converter.Convert(), std::logic_error);  // one job at a time
  // Opening the pipe for writing waits for the worker to open it for reading.
  std::ofstream feed(fifo, std::ios::binary);
  converter.Pause();
  EXPECT_EQ(converter.State(), csPaused);
  converter.Resume();
  EXPECT_EQ(converter.State(), csRunning);
  converter.Pause();
  feed << std::ifstream(wav, std::ios::binary).rdbuf();
  feed.close();

  // The input is open (its duration is known) but the paused job goes no further.
  ASSERT_TRUE(dispatcher.RunUntil([&] { return converter.Duration() > 0; }, 10s));
  dispatcher.RunUntil([] { return false; }, 300ms);
  EXPECT_EQ(converter.State(), csPaused);
  EXPECT_FALSE(recorder.Completed());
  EXPECT_NEAR(converter.Duration(), 1.0, 0.05);

  converter.Stop();
  ASSERT_TRUE(dispatcher.RunUntil([&] { return recorder.Completed(); }, 10s));
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"stopped", "complete"}));
  EXPECT_EQ(converter.Outcome(), ConvertOutcome::kStopped);
  EXPECT_EQ(converter.State(), csNone);
  EXPECT_TRUE(reports.error_boxes.empty());
}

TEST(Converter, ConverterMayBeDestroyedFromItsCompletionHandler) {
  testing::ReportCapture reports;
  EventLoopDispatcher dispatcher;
  auto converter = std::make_unique<TAVConverter>(dispatcher);
  bool completed = false;
  converter->InputFiles().Add("/nonexistent/input.mp4");
  converter->OnComplete = [&](TAVConverter&) {
    converter.reset();
    completed = true;
  };
  converter->Convert();
  ASSERT_TRUE(dispatcher.RunUntil([&] { return completed; }, 10s));
  EXPECT_EQ(converter, nullptr);
}

}  // namespace
}  // namespace zembra::engine
