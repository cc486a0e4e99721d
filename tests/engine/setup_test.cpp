// Outputs and the transcoding set-up: which streams an output gets, their parameters, stream
// maps, stream copy, chapters, two-pass statistics.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/engine_error.h"
#include "engine/output.h"
#include "engine/transcode_support.h"
#include "media/media_loader.h"
#include "support/media_fixtures.h"
#include "support/probe.h"

namespace zembra::engine {
namespace {

using media::ff;
using namespace std::chrono_literals;

class SetupTest : public ::testing::Test {
 protected:
  void SetUp() override { media::LoadMediaLibraries(); }
  testing::TempFolder folder;
};

std::string Kinds(const testing::Probe& probe) {
  std::string kinds;
  for (int i = 0; i < probe.StreamCount(); ++i) {
    if (!kinds.empty()) kinds += ',';
    kinds += probe.Stream(i, "codec_type");
  }
  return kinds;
}

TEST_F(SetupTest, OutputsGetTheStreamKindsTheContainerOptionsAndInputsAllow) {
  const std::string subtitles =
      testing::WriteTextFile(folder, "subs.srt", "1\n00:00:00,000 --> 00:00:01,000\nhello\n\n");
  const std::string full = testing::MakeTestClip(folder, "full.mkv", 2.0, "-i '" + subtitles + "'",
                                                 "-map 0 -map 1 -map 2 -c:v mpeg4 -c:s srt");
  const std::string silent = testing::MakeMedia(
      folder, "silent.mkv",
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -pix_fmt yuv420p -c:v mpeg4");
  struct Case {
    std::string input;
    const char* output;
    std::function<void(TAVConvertOptions&)> set_up;
    const char* kinds;
  };
  const Case cases[] = {
      {full, "all.mkv", nullptr, "video,audio,subtitle"},
      {full, "text.mp4",
       [](TAVConvertOptions& o) { o.SubtitleOptions().SetSubtitleCodecName("mov_text"); },
       "video,audio,subtitle"},
      {full, "no-subtitle-default.avi", nullptr, "video,audio"},
      {silent, "no-audio-in-input.mp4", nullptr, "video"},
      {full, "no-video.mkv", [](TAVConvertOptions& o) { o.VideoOptions().SetVideoDisable(true); },
       "audio,subtitle"},
      {full, "no-audio.mkv", [](TAVConvertOptions& o) { o.AudioOptions().SetAudioDisable(true); },
       "video,subtitle"},
      {full, "no-subtitles.mkv",
       [](TAVConvertOptions& o) { o.SubtitleOptions().SetSubtitleDisable(true); }, "video,audio"},
  };
  for (const Case& c : cases) {
    const std::string output = folder.File(c.output);
    const ConversionResult result = RunConversion(c.input, output, c.set_up);
    ASSERT_EQ(result.outcome, ConvertOutcome::kCompleted) << c.output << "\n" << result.Log();
    const testing::Probe probe(output, false);
    EXPECT_EQ(Kinds(probe), c.kinds) << c.output;
  }
  const testing::Probe with_subtitles(folder.File("all.mkv"), false);
  EXPECT_EQ(with_subtitles.Stream(2, "codec_name"), "ass");
  const testing::Probe mp4(folder.File("text.mp4"), false);
  EXPECT_EQ(mp4.Stream(2, "codec_name"), "mov_text");
}

TEST_F(SetupTest, EncoderParametersFitWhatTheEncoderTakes) {
  const std::string clip = testing::MakeTestClip(folder, "clip.mkv", 1.0, "",
                                                 "-c:v libx264 -pix_fmt yuv444p -c:a pcm_s16le");
  struct Case {
    const char* what;
    const char* output;
    std::function<void(TAVConvertOptions&)> set_up;
    const char* key;  // probed stream 0 or 1 value
    int stream;
    const char* value;
  };
  const Case cases[] = {
      {"0/0 frame rate gives 25", "rate00.mpg",
       [](TAVConvertOptions& o) {
         o.VideoOptions().SetEncoderVideoCodecName("mpeg2video");
         o.VideoOptions().SetFrameRate(TRational(0, 0));
       },
       "r_frame_rate", 0, "25/1"},
      {"an unsupported rate becomes the nearest supported", "rate27.mpg",
       [](TAVConvertOptions& o) {
         o.VideoOptions().SetEncoderVideoCodecName("mpeg2video");
         o.VideoOptions().SetFrameRate(TRational(27, 1));
       },
       "r_frame_rate", 0, "25/1"},
      {"a pixel format the encoder lacks", "pixels.avi",
       [](TAVConvertOptions& o) { o.VideoOptions().SetEncoderVideoCodecName("mpeg4"); }, "pix_fmt",
       0, "yuv420p"},
      {"a sample rate the encoder lacks", "rate.mka",
       [](TAVConvertOptions& o) {
         o.VideoOptions().SetVideoDisable(true);
         o.AudioOptions().SetEncoderAudioCodecName("libopus");
       },
       "sample_rate", 0, "48000"},
  };
  for (const Case& c : cases) {
    const std::string output = folder.File(c.output);
    const ConversionResult result = RunConversion(clip, output, c.set_up);
    ASSERT_EQ(result.outcome, ConvertOutcome::kCompleted) << c.what << "\n" << result.Log();
    EXPECT_EQ(testing::Probe(output, false).Stream(c.stream, c.key), c.value) << c.what;
    if (std::string(c.output) == "rate.mka") {
      int warnings = 0;
      for (const std::string& line : result.log) {
        warnings += line == "Requested sampling rate unsupported using closest supported (48000)\n";
      }
      EXPECT_EQ(warnings, 1) << result.Log();
    }
  }
}

TEST_F(SetupTest, OddSizesAndCoverArt) {
  // 161x121 into 4:2:0 H.264: the nearest even size instead of an encoder that will not open.
  const std::string odd = testing::MakeMedia(
      folder, "odd.mkv", "-f lavfi -i testsrc=size=161x121:rate=25:duration=1 -c:v ffv1");
  const ConversionResult sized = RunConversion(odd, folder.File("odd.mp4"));
  ASSERT_EQ(sized.outcome, ConvertOutcome::kCompleted) << sized.Log();
  const testing::Probe even(folder.File("odd.mp4"), false);
  EXPECT_EQ(even.Stream(0, "width"), "160");
  EXPECT_EQ(even.Stream(0, "height"), "120");

  // An MP3 with a cover picture into an MP4: audio only, and the log says why.
  const std::string cover = testing::MakeMedia(
      folder, "cover.png", "-f lavfi -i testsrc=size=64x64:duration=0.04 -frames:v 1");
  const std::string song = testing::MakeMedia(
      folder, "song.mp3",
      "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -i '" + cover +
          "' -map 0 -map 1 -c:a libmp3lame -c:v png -disposition:v attached_pic -id3v2_version 3");
  const ConversionResult audio_only = RunConversion(song, folder.File("song.mp4"));
  ASSERT_EQ(audio_only.outcome, ConvertOutcome::kCompleted) << audio_only.Log();
  EXPECT_EQ(Kinds(testing::Probe(folder.File("song.mp4"), false)), "audio");
  EXPECT_NE(audio_only.Log().find("cover art"), std::string::npos) << audio_only.Log();
}

TEST_F(SetupTest, StreamMapsChooseAndCheckTheFeedingStreams) {
  // Video, a mono and a stereo audio stream; the stereo one is the default.
  const std::string clip = testing::MakeMedia(
      folder, "two-audio.mkv",
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 "
      "-f lavfi -i sine=frequency=880:duration=1 -map 0 -map 1 -map 2 -ac:a:1 2 -pix_fmt yuv420p "
      "-c:v mpeg4 -c:a mp2 -disposition:a:0 0 -disposition:a:1 default");
  struct Case {
    TStringList maps;
    const char* error;     // empty: completes
    const char* channels;  // of the output audio
  };
  const Case cases[] = {
      {{}, "", "2"},  // the default (and best) audio stream
      {{"0=0", "0=1"}, "", "1"},
      {{"0=5", "0=1"}, "Could not find input stream #0.5", nullptr},
      {{"0=0"}, "Number of stream maps must match number of output streams", nullptr},
      {{"0=1", "0=0"}, "Codec type mismatch for mapping #0.1 -> #0.0", nullptr},
      {{"0=x", "0=1"}, "'x' is not a valid integer value", nullptr},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string output = folder.File("mapped" + std::to_string(n++) + ".mkv");
    const ConversionResult result =
        RunConversion(clip, output, [&](TAVConvertOptions& o) { o.SetStreamMaps(c.maps); });
    if (std::string(c.error).empty()) {
      ASSERT_EQ(result.outcome, ConvertOutcome::kCompleted) << result.Log();
      const testing::Probe probe(output, false);
      EXPECT_EQ(probe.Stream(probe.Find("audio"), "channels"), c.channels);
    } else {
      EXPECT_EQ(result.outcome, ConvertOutcome::kFailed);
      EXPECT_EQ(result.error, c.error);
      EXPECT_FALSE(std::filesystem::exists(output)) << "a file without a header is left behind";
    }
  }

  // Two outputs that both want audio from the one audio input: the second reuses it.
  const std::string tone = testing::MakeMedia(folder, "tone.wav", "-f lavfi -i sine=duration=1");
  testing::ReportCapture reports;
  EventLoopDispatcher dispatcher;
  TAVConverter converter(dispatcher);
  bool completed = false;
  converter.OnComplete = [&](TAVConverter&) { completed = true; };
  converter.InputFiles().Add(tone);
  converter.OutputFiles().Add(folder.File("first.mp3"));
  converter.OutputFiles().Add(folder.File("second.ogg"));
  converter.Convert();
  ASSERT_TRUE(dispatcher.RunUntil([&] { return completed; }, 60s));
  EXPECT_EQ(converter.Outcome(), ConvertOutcome::kCompleted) << converter.ErrorMessage();
  EXPECT_EQ(testing::Probe(folder.File("first.mp3"), false).Stream(0, "codec_name"), "mp3");
  EXPECT_EQ(testing::Probe(folder.File("second.ogg"), false).Stream(0, "codec_name"), "vorbis");
}

TEST_F(SetupTest, StreamCopyKeepsTagsWhereTheContainerAllowsThem) {
  const std::string clip = testing::MakeTestClip(folder, "in.avi", 1.0, "", "-c:v mpeg4 -c:a mp2");
  struct Case {
    const char* output;
    std::function<void(TAVConvertOptions&)> set_up;
    const char* tag;
    const char* error;
  };
  const Case cases[] = {
      {"kept.avi", [](TAVConvertOptions& o) { o.VideoOptions().SetVideoStreamCopy(true); }, "FMP4",
       ""},
      {"forced.avi",
       [](TAVConvertOptions& o) {
         o.VideoOptions().SetVideoStreamCopy(true);
         o.VideoOptions().SetVideoCodecTag(0x44495658);  // "XVID"
       },
       "XVID", ""},
      {"volume.avi",
       [](TAVConvertOptions& o) {
         o.AudioOptions().SetAudioStreamCopy(true);
         o.AudioOptions().SetAudioVolume(512);
       },
       nullptr, "-acodec copy and -vol are incompatible (frames are not decoded)"},
  };
  for (const Case& c : cases) {
    const std::string output = folder.File(c.output);
    const ConversionResult result = RunConversion(clip, output, c.set_up);
    if (std::string(c.error).empty()) {
      ASSERT_EQ(result.outcome, ConvertOutcome::kCompleted) << result.Log();
      const testing::Probe probe(output);
      EXPECT_EQ(probe.Stream(0, "codec_tag_string"), c.tag) << c.output;
      EXPECT_EQ(probe.StreamNumber(0, "nb_read_frames"), 25) << c.output;
    } else {
      EXPECT_EQ(result.error, c.error);
    }
  }
}

TEST_F(SetupTest, ChaptersFollowTheStartAndRecordingWindow) {
  const std::string chapters = testing::WriteTextFile(
      folder, "chapters.txt",
      ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=one\n"
      "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=2000\ntitle=two\n"
      "[CHAPTER]\nTIMEBASE=1/1000\nSTART=2000\nEND=3000\ntitle=three\n"
      "[CHAPTER]\nTIMEBASE=1/1000\nSTART=3500\nEND=4000\ntitle=four\n");
  const std::string clip =
      testing::MakeTestClip(folder, "chapters.mkv", 4.0, "-i '" + chapters + "'",
                            "-map 0 -map 1 -map_chapters 2 -c:v mpeg4");
  const std::string output = folder.File("window.mkv");
  const ConversionResult result = RunConversion(clip, output, [](TAVConvertOptions& o) {
    o.SetStartTime(1500000);
    o.SetRecordingTime(1500000);
  });
  ASSERT_EQ(result.outcome, ConvertOutcome::kCompleted) << result.Log();
  const testing::Probe probe(output, false);
  // "one" ends before the window; "two" starts inside the offset and begins at 0; "four"
  // starts after the window's end.
  EXPECT_EQ(probe.Get("chapters.chapter.0.start_time"), "0.000000");
  EXPECT_EQ(probe.Get("chapters.chapter.0.end_time"), "0.500000");
  EXPECT_EQ(probe.Get("chapters.chapter.1.start_time"), "0.500000");
  EXPECT_EQ(probe.Get("chapters.chapter.1.end_time"), "1.500000");
  EXPECT_EQ(probe.Get("chapters.chapter.2.start_time"), "");
}

TEST_F(SetupTest, OutputFoldersAreCreatedAndAnInputIsNeverOverwritten) {
  const std::string clip = testing::MakeTestClip(folder, "clip.mp4", 1.0);
  const std::string nested = folder.File("a/b/c/out.mkv");
  const ConversionResult created = RunConversion(clip, nested);
  ASSERT_EQ(created.outcome, ConvertOutcome::kCompleted) << created.Log();
  EXPECT_EQ(testing::Probe(nested, false).StreamCount(), 2);

  const auto size = std::filesystem::file_size(clip);
  const ConversionResult refused = RunConversion(clip, folder.File("./a/../clip.mp4"));
  EXPECT_EQ(refused.outcome, ConvertOutcome::kFailed);
  EXPECT_EQ(refused.error.rfind("The output file is the same as the input file", 0), 0U)
      << refused.error;
  EXPECT_EQ(std::filesystem::file_size(clip), size);
  EXPECT_EQ(testing::Probe(clip, false).StreamCount(), 2);
}

TEST_F(SetupTest, TwoPassStatisticsStayInTheConversionsOwnFolder) {
  const std::string clip = testing::MakeTestClip(folder, "clip.mp4", 1.0);
  for (const char* encoder : {"mpeg4", "libx264"}) {
    testing::ReportCapture reports;
    EventLoopDispatcher dispatcher;
    TAVConverter converter(dispatcher);
    int completed = 0;
    converter.OnComplete = [&](TAVConverter&) { ++completed; };
    converter.InputFiles().Add(clip);
    converter.OutputFiles().Add(folder.File(std::string("pass-") + encoder + ".mp4"));
    converter.ConvertOptions().VideoOptions().SetEncoderVideoCodecName(encoder);
    converter.ConvertOptions().VideoOptions().SetBitrate(300000);
    converter.ConvertOptions().VideoOptions().SetPass(1);
    const auto cwd_before = std::distance(std::filesystem::directory_iterator("."),
                                          std::filesystem::directory_iterator());
    converter.Convert();
    ASSERT_TRUE(dispatcher.RunUntil([&] { return completed == 1; }, 60s));
    ASSERT_EQ(converter.Outcome(), ConvertOutcome::kCompleted) << converter.ErrorMessage();
    converter.ConvertOptions().VideoOptions().SetPass(2);
    converter.Convert();
    ASSERT_TRUE(dispatcher.RunUntil([&] { return completed == 2; }, 60s));
    EXPECT_EQ(converter.Outcome(), ConvertOutcome::kCompleted) << converter.ErrorMessage();
    // Nothing was written where the program was started.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."),
                            std::filesystem::directory_iterator()),
              cwd_before)
        << encoder;
    EXPECT_EQ(testing::Probe(folder.File(std::string("pass-") + encoder + ".mp4"))
                  .StreamNumber(0, "nb_read_frames"),
              25)
        << encoder;
  }

  // A second pass without a first one has no statistics to read.
  const ConversionResult lonely =
      RunConversion(clip, folder.File("lonely.mp4"), [](TAVConvertOptions& o) {
        o.VideoOptions().SetEncoderVideoCodecName("mpeg4");
        o.VideoOptions().SetPass(2);
      });
  EXPECT_EQ(lonely.outcome, ConvertOutcome::kFailed);
  EXPECT_EQ(lonely.error.rfind("Cannot open file", 0), 0U) << lonely.error;
}

TEST_F(SetupTest, BitstreamFilterChainsSkipUnknownNames) {
  testing::ReportCapture reports;
  AVCodecParameters* parameters = ff.avcodec_parameters_alloc();
  parameters->codec_type = AVMEDIA_TYPE_VIDEO;
  parameters->codec_id = AV_CODEC_ID_H264;
  const BitstreamFilterChain chain = ParseBitstreamFilters(
      {"h264_mp4toannexb", "no_such_filter", "null"}, *parameters, AVRational{1, 25});
  ff.avcodec_parameters_free(&parameters);
  EXPECT_EQ(chain.size(), 2U);
  EXPECT_EQ(reports.error_boxes,
            std::vector<std::string>{"Invalid BitstreamFilter no_such_filter"});
}

}  // namespace
}  // namespace zembra::engine
