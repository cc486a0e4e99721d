// Every listed, available profile converts a generated clip into a file that reads back with the
// profile's codecs, picture size, sample rate and channels.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "engine/transcode_support.h"
#include "media/media_loader.h"
#include "profiles/catalogue.h"
#include "profiles/image_sequence.h"
#include "profiles/profile.h"
#include "support/media_fixtures.h"
#include "support/probe.h"

namespace zembra::profiles {
namespace {

using media::ff;

// The codec name ffprobe shows for an encoder name ("libx264" -> "h264").
std::string CodecOf(const std::string& encoder) {
  const AVCodec* codec = ff.avcodec_find_encoder_by_name(encoder.c_str());
  return codec == nullptr ? std::string() : ff.avcodec_get_name(codec->id);
}

class ProfileConversionTest : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    media::LoadMediaLibraries();
    folder_ = new testing::TempFolder;
    clip_ = testing::MakeTestClip(*folder_, "source.mkv", 1.0, "", "-c:v mpeg4 -c:a pcm_s16le");
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  static testing::TempFolder* folder_;
  static std::string clip_;
};
testing::TempFolder* ProfileConversionTest::folder_ = nullptr;
std::string ProfileConversionTest::clip_;

TEST_P(ProfileConversionTest, EveryAvailableProfileWritesWhatItAsks) {
  TAVProfileList list;
  BuildCatalogue(list);
  std::vector<TAVProfile*> profiles;
  if (GetParam() < static_cast<int>(kCategoryCaptions.size())) {
    profiles = list.ProfilesInCategory(kCategoryCaptions[static_cast<std::size_t>(GetParam())]);
  } else {
    for (int i = 0; i < list.Count(); ++i) {
      if (list.Profiles(i).Category().empty()) profiles.push_back(&list.Profiles(i));
    }
  }
  ASSERT_FALSE(profiles.empty());
  for (const TAVProfile* profile : profiles) {
    const ProfileAvailability availability = profile->Availability();
    if (!availability.available) {
      EXPECT_FALSE(availability.reason.empty()) << profile->Description();
      continue;
    }
    engine::TAVConvertOptions asked;
    profile->ApplyTo(asked);
    std::string base = "p";
    base += std::to_string(profile->Index());
    base += profile->Extension();
    std::string output = folder_->File(base);
    std::string first_file = output;
    bool sequence = asked.OutputFormat() == kImageSequenceMuxer;
    ImageSequenceName name;
    if (sequence) {
      name = MakeImageSequenceName(output);
      output = name.pattern;
      first_file = name.FileName(name.start_number);
    }
    const engine::ConversionResult result =
        engine::RunConversion(clip_, output, [&](engine::TAVConvertOptions& options) {
          profile->ApplyTo(options);
          if (sequence)
            options.SetAdvancedOption("start_number", std::to_string(name.start_number));
        });
    ASSERT_EQ(result.outcome, engine::ConvertOutcome::kCompleted) << profile->Description() << "\n"
                                                                  << result.Log();
    EXPECT_TRUE(result.error_boxes.empty()) << profile->Description() << "\n" << result.Log();

    const testing::Probe probe(first_file, false);
    const int video = probe.Find("video");
    const int audio = probe.Find("audio");
    const engine::TVideoOptions& v = asked.VideoOptions();
    const engine::TAudioOptions& a = asked.AudioOptions();
    EXPECT_EQ(video >= 0, !v.VideoDisable()) << profile->Description();
    EXPECT_EQ(audio >= 0, !a.AudioDisable() && !sequence) << profile->Description();
    if (video >= 0) {
      if (!v.EncoderVideoCodecName().empty()) {
        EXPECT_EQ(probe.Stream(video, "codec_name"), CodecOf(v.EncoderVideoCodecName()))
            << profile->Description();
      }
      // Sizes are aligned to what 4:2:0 takes.
      const int width = v.FrameWidth() != 0 ? v.FrameWidth() / 2 * 2 : 320;
      const int height = v.FrameHeight() != 0 ? v.FrameHeight() / 2 * 2 : 240;
      EXPECT_NEAR(probe.StreamNumber(video, "width"), width, 1) << profile->Description();
      EXPECT_NEAR(probe.StreamNumber(video, "height"), height, 1) << profile->Description();
      const engine::TRational& rate = v.FrameRate();
      if (!sequence && (rate.num() != 25 || rate.den() != 1) && rate.den() != 0) {
        const std::string text = probe.Stream(video, "r_frame_rate");
        const auto slash = text.find('/');
        ASSERT_NE(slash, std::string::npos) << profile->Description();
        const double probed = std::stod(text.substr(0, slash)) / std::stod(text.substr(slash + 1));
        EXPECT_NEAR(probed, static_cast<double>(rate.num()) / rate.den(), 0.6)
            << profile->Description();
      }
    }
    if (audio >= 0) {
      if (!a.EncoderAudioCodecName().empty()) {
        EXPECT_EQ(probe.Stream(audio, "codec_name"), CodecOf(a.EncoderAudioCodecName()))
            << profile->Description();
      }
      if (a.AudioSampleRate() != 0) {
        EXPECT_EQ(probe.StreamNumber(audio, "sample_rate"), a.AudioSampleRate())
            << profile->Description();
      }
      if (a.AudioChannels() != 0) {
        EXPECT_EQ(probe.StreamNumber(audio, "channels"), a.AudioChannels())
            << profile->Description();
      }
    }
    if (sequence) {
      EXPECT_TRUE(std::filesystem::exists(name.FileName(name.start_number + 1)))
          << profile->Description();
    }
  }
}

std::string CategoryName(const ::testing::TestParamInfo<int>& info) {
  std::string name = "c";
  name += std::to_string(info.param);
  return name;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, ProfileConversionTest,
                         ::testing::Range(0, static_cast<int>(kCategoryCaptions.size()) + 1),
                         CategoryName);

}  // namespace
}  // namespace zembra::profiles
