// Whole conversions on the real engine, read back with ffprobe.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "engine/transcode_support.h"
#include "support/media_fixtures.h"
#include "support/probe.h"

namespace zembra::engine {
namespace {

using namespace std::chrono_literals;

class TranscodeTest : public ::testing::Test {
 protected:
  testing::TempFolder folder;
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The 16-bit samples of a PCM WAV file written by the engine.
std::vector<std::int16_t> WavSamples(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string data(bytes.begin(), bytes.end());
  const std::size_t chunk = data.find("data");
  std::vector<std::int16_t> samples;
  if (chunk == std::string::npos) return samples;
  for (std::size_t i = chunk + 8; i + 1 < data.size(); i += 2) {
    samples.push_back(static_cast<std::int16_t>(static_cast<unsigned char>(data[i]) |
                                                (static_cast<unsigned char>(data[i + 1]) << 8)));
  }
  return samples;
}

TEST_F(TranscodeTest, FullConversionsGiveTheAskedCodecsAndKeepTheLength) {
  struct Case {
    const char* what;
    std::string input;
    const char* output;
    std::function<void(TAVConvertOptions&)> set_up;
    const char* format;
    const char* video_codec;  // null: no video stream
    const char* audio_codec;  // null: no audio stream
  };
  const Case cases[] = {
      {"MPEG-4/MP3 AVI to H.264/AAC MP4",
       testing::MakeTestClip(folder, "in.avi", 2.0, "", "-c:v mpeg4 -c:a libmp3lame"), "out.mp4",
       nullptr, "mov,mp4,m4a,3gp,3g2,mj2", "h264", "aac"},
      {"H.264 MKV to MPEG-2/MP2 MPEG-PS",
       testing::MakeTestClip(folder, "in.mkv", 2.0, "", "-c:v libx264 -c:a aac"), "out.mpg",
       [](TAVConvertOptions& o) {
         o.VideoOptions().SetEncoderVideoCodecName("mpeg2video");
         o.AudioOptions().SetEncoderAudioCodecName("mp2");
       },
       "mpeg", "mpeg2video", "mp2"},
      {"audio-only WAV to MP3",
       testing::MakeMedia(folder, "in.wav",
                          "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2"),
       "out.mp3", nullptr, "mp3", nullptr, "mp3"},
      {"video-only input",
       testing::MakeMedia(folder, "in.mov",
                          "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 "
                          "-pix_fmt yuv420p -c:v mpeg4"),
       "video-only.mp4", nullptr, "mov,mp4,m4a,3gp,3g2,mj2", "h264", nullptr},
  };
  for (const Case& c : cases) {
    const std::string output = folder.File(c.output);
    const ConversionResult result = RunConversion(c.input, output, c.set_up);
    ASSERT_EQ(result.outcome, ConvertOutcome::kCompleted) << c.what << "\n" << result.Log();
    const testing::Probe probe(output);
    EXPECT_EQ(probe.Get("format.format_name"), c.format) << c.what;
    const int video = probe.Find("video");
    const int audio = probe.Find("audio");
    EXPECT_EQ(probe.StreamCount(), (c.video_codec ? 1 : 0) + (c.audio_codec ? 1 : 0)) << c.what;
    if (c.video_codec != nullptr) {
      ASSERT_GE(video, 0) << c.what;
      EXPECT_EQ(probe.Stream(video, "codec_name"), c.video_codec) << c.what;
      EXPECT_EQ(probe.StreamNumber(video, "nb_read_frames"), 50) << c.what;
      EXPECT_EQ(probe.Stream(video, "width"), "320") << c.what;
    }
    if (c.audio_codec != nullptr) {
      ASSERT_GE(audio, 0) << c.what;
      EXPECT_EQ(probe.Stream(audio, "codec_name"), c.audio_codec) << c.what;
    }
    EXPECT_NEAR(probe.Duration(), 2.0, 0.08) << c.what;
    if (video >= 0 && audio >= 0) {
      EXPECT_NEAR(probe.StreamNumber(audio, "start_time"), probe.StreamNumber(video, "start_time"),
                  0.03)
          << c.what;
    }
  }
}

TEST_F(TranscodeTest, StreamCopyFromAStartTimeBeginsAtAKeyFrameNearZero) {
  const std::string clip =
      testing::MakeTestClip(folder, "in.mkv", 4.0, "", "-c:v libx264 -c:a aac");
  const std::string output = folder.File("copy.mp4");
  const ConversionResult result = RunConversion(clip, output, [](TAVConvertOptions& o) {
    o.VideoOptions().SetVideoStreamCopy(true);
    o.AudioOptions().SetAudioStreamCopy(true);
    o.SetStartTime(1500000);
  });
  ASSERT_EQ(result.outcome, ConvertOutcome::kCompleted) << result.Log();
  const testing::Probe probe(output);
  const int video = probe.Find("video");
  ASSERT_GE(video, 0);
  EXPECT_EQ(probe.Stream(video, "codec_name"), "h264");
  EXPECT_NEAR(probe.StreamNumber(video, "start_time"), 0.0, 0.3);
  EXPECT_NEAR(probe.Duration(), 2.5, 0.3);
  // Every picture decodes: the copy began at a key frame.
  EXPECT_GE(probe.StreamNumber(video, "nb_read_frames"), 60);
  EXPECT_EQ(result.error_boxes.size(), 0U);
}

TEST_F(TranscodeTest, TimeWindowsSizeAndFrameLimits) {
  const std::string clip = testing::MakeTestClip(folder, "in.mp4", 6.0);
  {
    const std::string output = folder.File("window.mp4");
    const ConversionResult result = RunConversion(clip, output, [](TAVConvertOptions& o) {
      o.SetStartTime(2000000);
      o.SetRecordingTime(3000000);
    });
    ASSERT_EQ(result.outcome, ConvertOutcome::kCompleted) << result.Log();
    const testing::Probe probe(output);
    EXPECT_NEAR(probe.StreamNumber(probe.Find("video"), "duration"), 3.0, 0.1);
    EXPECT_NEAR(probe.StreamNumber(probe.Find("audio"), "duration"), 3.0, 0.1);
    EXPECT_NEAR(probe.StreamNumber(probe.Find("video"), "start_time"), 0.0, 0.05);
  }
  {
    const std::string output = folder.File("limited.ts");
    // An encoder without look-ahead, so that little is still in flight at the limit.
    static constexpr std::int64_t kLimit = 50000;
    const ConversionResult result = RunConversion(clip, output, [](TAVConvertOptions& o) {
      o.SetLimitFileSize(kLimit);
      o.VideoOptions().SetEncoderVideoCodecName("mpeg4");
    });
    ASSERT_EQ(result.outcome, ConvertOutcome::kCompleted) << result.Log();
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(output));
    EXPECT_GE(size, kLimit);
    EXPECT_LT(size, kLimit * 2);  // the codecs and the muxer still hold a little at the limit
    const testing::Probe probe(output);
    EXPECT_GT(probe.Duration(), 0.2);
    EXPECT_LT(probe.Duration(), 5.0);
  }
  {
    const std::string output = folder.File("frames.mp4");
    const ConversionResult result = RunConversion(
        clip, output, [](TAVConvertOptions& o) { o.VideoOptions().SetMaxFrames(100); });
    ASSERT_EQ(result.outcome, ConvertOutcome::kCompleted) << result.Log();
    EXPECT_EQ(testing::Probe(output).StreamNumber(0, "nb_read_frames"), 100);
  }
}

TEST_F(TranscodeTest, StopMidwayAndWhilePausedLeaveValidShorterFiles) {
  const std::string clip = testing::MakeTestClip(folder, "long.mp4", 30.0);
  for (const bool pause_first : {false, true}) {
    const std::string output = folder.File(pause_first ? "paused.mp4" : "stopped.mp4");
    const ConversionResult result =
        RunConversion(clip, output, nullptr, [&](TAVConverter& converter) {
          if (converter.ConvertedDuration() < 1.0 ||
              converter.State() == TAVConvertState::csStopped)
            return;
          if (pause_first && converter.State() == TAVConvertState::csRunning) {
            converter.Pause();
            std::this_thread::sleep_for(200ms);
          }
          converter.Stop();
        });
    EXPECT_EQ(result.outcome, ConvertOutcome::kStopped) << result.Log();
    EXPECT_EQ(result.events, (std::vector<std::string>{"stopped", "complete"}));
    const testing::Probe probe(output);
    EXPECT_EQ(probe.Stream(probe.Find("video"), "codec_name"), "h264");
    EXPECT_GT(probe.Duration(), 0.5);
    EXPECT_LT(probe.Duration(), 25.0);
  }
}

TEST_F(TranscodeTest, PausedConversionRestsAndResumesToACompleteFile) {
  const std::string clip = testing::MakeTestClip(folder, "long.mp4", 20.0);
  const std::string output = folder.File("resumed.mp4");
  double cpu_while_paused = -1;
  bool paused = false;
  const ConversionResult result =
      RunConversion(clip, output, nullptr, [&](TAVConverter& converter) {
        if (paused || converter.ConvertedDuration() < 1.0) return;
        paused = true;
        converter.Pause();
        std::this_thread::sleep_for(300ms);  // let the encoder threads settle
        const double before = CpuSeconds();
        std::this_thread::sleep_for(1s);
        cpu_while_paused = CpuSeconds() - before;
        converter.Resume();
      });
  ASSERT_EQ(result.outcome, ConvertOutcome::kCompleted) << result.Log();
  EXPECT_TRUE(paused);
  EXPECT_GE(cpu_while_paused, 0);
  EXPECT_LT(cpu_while_paused, 0.05);
  EXPECT_EQ(testing::Probe(output).StreamNumber(0, "nb_read_frames"), 500);
}

TEST_F(TranscodeTest, AudioRatesChannelsAndVolume) {
  const std::string stereo48k = testing::MakeMedia(
      folder, "48k.wav", "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=2 -ac 2");
  const std::string mono = testing::MakeMedia(
      folder, "mono.wav", "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2");
  struct Case {
    std::string input;
    const char* output;
    std::function<void(TAVConvertOptions&)> set_up;
    const char* rate;
    const char* channels;
  };
  const Case cases[] = {
      {stereo48k, "44k.mp3",
       [](TAVConvertOptions& o) { o.AudioOptions().SetAudioSampleRate(44100); }, "44100", "2"},
      {mono, "stereo.m4a", [](TAVConvertOptions& o) { o.AudioOptions().SetAudioChannels(2); },
       "44100", "2"},
  };
  for (const Case& c : cases) {
    const std::string output = folder.File(c.output);
    const ConversionResult result = RunConversion(c.input, output, c.set_up);
    ASSERT_EQ(result.outcome, ConvertOutcome::kCompleted) << result.Log();
    const testing::Probe probe(output);
    EXPECT_EQ(probe.Stream(0, "sample_rate"), c.rate) << c.output;
    EXPECT_EQ(probe.Stream(0, "channels"), c.channels) << c.output;
    EXPECT_NEAR(probe.Duration(), 2.0, 0.1) << c.output;
  }

  // A constant level of 19988 (0.61 of full scale): doubled it clips, halved it is 9994.
  const std::string level = testing::MakeMedia(
      folder, "level.wav", "-f lavfi -i aevalsrc=0.61:sample_rate=8000:duration=1 -c:a pcm_s16le");
  for (const auto& [volume, expected] : {std::pair{512, 32767}, std::pair{128, 9994}}) {
    const std::string output = folder.File("volume" + std::to_string(volume) + ".wav");
    const ConversionResult result = RunConversion(
        level, output,
        [volume = volume](TAVConvertOptions& o) { o.AudioOptions().SetAudioVolume(volume); });
    ASSERT_EQ(result.outcome, ConvertOutcome::kCompleted) << result.Log();
    const std::vector<std::int16_t> samples = WavSamples(output);
    ASSERT_GT(samples.size(), 7000U);
    EXPECT_NEAR(samples[4000], expected, 1) << volume;
  }
}

TEST_F(TranscodeTest, LateAudioIsPaddedWithSilenceBySyncMethodOne) {
  // Audio starts 0.5 s after the picture.
  const std::string clip = testing::MakeMedia(
      folder, "late.mkv",
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=3 -itsoffset 0.5 -f lavfi "
      "-i sine=frequency=440:sample_rate=44100:duration=2.5 -pix_fmt yuv420p -c:v mpeg4 "
      "-c:a pcm_s16le");
  struct Case {
    int method;
    double audio_start;
    double audio_duration;
  };
  for (const Case& c : {Case{1, 0.0, 3.0}, Case{0, 0.5, 2.5}}) {
    const std::string output = folder.File("sync" + std::to_string(c.method) + ".mkv");
    const ConversionResult result = RunConversion(clip, output, [&](TAVConvertOptions& o) {
      o.AudioOptions().SetAudioSyncMethod(c.method);
      o.AudioOptions().SetEncoderAudioCodecName("pcm_s16le");
    });
    ASSERT_EQ(result.outcome, ConvertOutcome::kCompleted) << result.Log();
    const testing::Probe probe(output);
    const int audio = probe.Find("audio");
    EXPECT_NEAR(probe.StreamNumber(audio, "start_time"), c.audio_start, 0.05) << c.method;
    EXPECT_NEAR(probe.StreamNumber(audio, "nb_read_frames") > 0 ? 1 : 0, 1, 0) << c.method;
  }
}

TEST_F(TranscodeTest, VideoSyncMethodsDuplicateDropOrFollow) {
  // 10 pictures a second for 2 s into a 20 fps output.
  const std::string sparse = testing::MakeMedia(
      folder, "sparse.mkv",
      "-f lavfi -i testsrc=size=160x120:rate=10:duration=2 -pix_fmt yuv420p -c:v mpeg4");
  struct Case {
    int method;
    int max_frames;
    int frames;
  };
  const Case cases[] = {
      // Duplicates fill the gaps: the second picture is one frame late, every later one fills
      // the frame before it.
      {-1, kMaxFramesUnlimited, 38},
      {1, kMaxFramesUnlimited, 38},
      {2, kMaxFramesUnlimited, 20},  // jumps over them
      {0, kMaxFramesUnlimited, 20},  // each picture once, at its own time
      {-1, 11, 11},                  // duplicates stop at the frame limit
  };
  for (const Case& c : cases) {
    const std::string output = folder.File("sync" + std::to_string(c.method) + "_" +
                                           std::to_string(c.max_frames) + ".mp4");
    const ConversionResult result = RunConversion(sparse, output, [&](TAVConvertOptions& o) {
      o.VideoOptions().SetVideoSyncMethod(c.method);
      o.VideoOptions().SetFrameRate(TRational(20, 1));
      o.VideoOptions().SetMaxFrames(c.max_frames);
    });
    ASSERT_EQ(result.outcome, ConvertOutcome::kCompleted) << result.Log();
    EXPECT_EQ(testing::Probe(output).StreamNumber(0, "nb_read_frames"), c.frames)
        << "method " << c.method << " max " << c.max_frames;
  }
}

TEST_F(TranscodeTest, DamagedInputsNeitherHangNorCrash) {
  const std::string clip =
      testing::MakeTestClip(folder, "whole.mkv", 3.0, "", "-c:v mpeg4 -c:a mp2");
  const std::string truncated = folder.File("truncated.mkv");
  {
    std::ifstream in(clip, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.resize(bytes.size() * 6 / 10);
    std::ofstream(truncated, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  const std::string empty = testing::WriteTextFile(folder, "empty.mp4", "");

  const ConversionResult cut = RunConversion(truncated, folder.File("from-truncated.mp4"));
  EXPECT_EQ(cut.outcome, ConvertOutcome::kCompleted) << cut.Log();
  const testing::Probe probe(folder.File("from-truncated.mp4"));
  EXPECT_GT(probe.Duration(), 0.5);
  EXPECT_LT(probe.Duration(), 2.9);

  const ConversionResult nothing = RunConversion(empty, folder.File("from-empty.mp4"));
  EXPECT_EQ(nothing.outcome, ConvertOutcome::kFailed);
  EXPECT_EQ(nothing.error.rfind("Could not open file:" + empty, 0), 0U) << nothing.error;
  EXPECT_FALSE(std::filesystem::exists(folder.File("from-empty.mp4")));
}

TEST_F(TranscodeTest, TwoConversionsAtOnceEachCompleteWithTheirOwnLog) {
  const std::string first = testing::MakeTestClip(folder, "first.mp4", 3.0);
  const std::string second =
      testing::MakeTestClip(folder, "second.mkv", 2.0, "", "-c:v mpeg4 -c:a mp2");
  testing::ReportCapture reports;
  EventLoopDispatcher dispatcher;
  TAVConverter a(dispatcher);
  TAVConverter b(dispatcher);
  int completed = 0;
  std::vector<std::string> log_a;
  std::vector<std::string> log_b;
  a.OnComplete = b.OnComplete = [&](TAVConverter&) { ++completed; };
  a.OnLog = [&](TAVConverter&, int, const std::string& line) { log_a.push_back(line); };
  b.OnLog = [&](TAVConverter&, int, const std::string& line) { log_b.push_back(line); };
  a.InputFiles().Add(first);
  a.OutputFiles().Add(folder.File("a.mp4"));
  b.InputFiles().Add(second);
  b.OutputFiles().Add(folder.File("b.mkv"));
  a.Convert();
  b.Convert();
  ASSERT_TRUE(dispatcher.RunUntil([&] { return completed == 2; }, 120s));
  EXPECT_EQ(a.Outcome(), ConvertOutcome::kCompleted);
  EXPECT_EQ(b.Outcome(), ConvertOutcome::kCompleted);
  EXPECT_EQ(testing::Probe(folder.File("a.mp4")).StreamNumber(0, "nb_read_frames"), 75);
  EXPECT_EQ(testing::Probe(folder.File("b.mkv")).StreamNumber(0, "nb_read_frames"), 50);
  EXPECT_NEAR(a.Duration(), 3.0, 0.1);
  EXPECT_EQ(a.SourceFileSize(), static_cast<std::int64_t>(std::filesystem::file_size(first)));
  EXPECT_GT(a.TargetFileSize(), 0);
  EXPECT_GT(a.Bitrate(), 0);
  EXPECT_GE(a.Progress(), 97);
}

}  // namespace
}  // namespace zembra::engine
