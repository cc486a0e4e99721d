#include <gtest/gtest.h>

#include <filesystem>

#include "engine/transcode_support.h"
#include "support/media_fixtures.h"
#include "support/probe.h"

namespace zembra::engine {
namespace {

class TranscodeTest : public ::testing::Test {
 protected:
  testing::TempFolder folder;
};

TEST_F(TranscodeTest, Smoke) {
  const std::string clip =
      testing::MakeTestClip(folder, "clip.avi", 2.0, "", "-c:v mpeg4 -c:a libmp3lame");
  const std::string out = folder.File("out.mp4");
  const ConversionResult result = RunConversion(clip, out);
  EXPECT_EQ(result.outcome, ConvertOutcome::kCompleted) << result.Log();
  testing::Probe probe(out);
  for (const auto& [k, v] : probe.Values()) std::printf("%s=%s\n", k.c_str(), v.c_str());
}

}  // namespace
}  // namespace zembra::engine
