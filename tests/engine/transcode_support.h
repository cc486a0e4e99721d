// Runs a whole conversion on the real engine and waits for it, for the conversion tests.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/converter.h"
#include "support/report_capture.h"

namespace zembra::engine {

struct ConversionResult {
  ConvertOutcome outcome = ConvertOutcome::kNone;
  std::string error;
  std::vector<std::string> error_boxes;
  std::vector<std::string> log;
  std::vector<std::string> events;
  std::string Log() const {
    std::string text;
    for (const std::string& line : log) text += line;
    for (const std::string& box : error_boxes) text += "[box] " + box + "\n";
    return text;
  }
};

// Converts `input` to `output` with the options `set_up` fills; `during` (if given) runs on
// the test's thread each time the dispatcher wakes, with the converter, until the job ends.
inline ConversionResult RunConversion(
    const std::vector<std::string>& inputs, const std::string& output,
    const std::function<void(TAVConvertOptions&)>& set_up = nullptr,
    const std::function<void(TAVConverter&)>& during = nullptr) {
  ConversionResult result;
  testing::ReportCapture reports;
  EventLoopDispatcher dispatcher;
  TAVConverter converter(dispatcher);
  std::mutex log_mutex;
  bool completed = false;
  converter.OnLog = [&](TAVConverter&, int, const std::string& line) {
    std::lock_guard lock(log_mutex);
    result.log.push_back(line);
  };
  converter.OnStopped = [&](TAVConverter&) { result.events.push_back("stopped"); };
  converter.OnComplete = [&](TAVConverter&) {
    result.events.push_back("complete");
    completed = true;
  };
  for (const std::string& input : inputs) converter.InputFiles().Add(input);
  converter.OutputFiles().Add(output);
  converter.ConvertOptions().SetThreadCount(0);
  if (set_up) set_up(converter.ConvertOptions());
  converter.Convert();
  const bool ended = dispatcher.RunUntil(
      [&] {
        if (during && !completed) during(converter);
        return completed;
      },
      std::chrono::minutes(2));
  EXPECT_TRUE(ended) << "the conversion did not end";
  if (!ended) converter.Stop();
  result.outcome = converter.Outcome();
  result.error = converter.ErrorMessage();
  result.error_boxes = reports.error_boxes;
  return result;
}

inline ConversionResult RunConversion(
    const std::string& input, const std::string& output,
    const std::function<void(TAVConvertOptions&)>& set_up = nullptr,
    const std::function<void(TAVConverter&)>& during = nullptr) {
  return RunConversion(std::vector<std::string>{input}, output, set_up, during);
}

}  // namespace zembra::engine
