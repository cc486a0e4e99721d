#include "engine/input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/converter.h"
#include "engine/engine_error.h"
#include "media/media_loader.h"
#include "support/media_fixtures.h"
#include "support/report_capture.h"

namespace zembra::engine {
namespace {

using media::ff;
using namespace std::chrono_literals;

// One run's context over real options, as the converter's worker builds it.
struct InputStage {
  InputStage() : library_options(4), job(options, library_options) {
    job.log = [this](int level, const std::string& text) { log.emplace_back(level, text); };
  }
  TAVConvertOptions options;
  LibraryOptions library_options;
  JobContext job;
  std::vector<std::pair<int, std::string>> log;
};

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override { media::LoadMediaLibraries(); }
  testing::TempFolder folder;
};

std::string EngineErrorOf(const std::function<void()>& step) {
  try {
    step();
  } catch (const EngineError& error) {
    return error.what();
  }
  return "no error";
}

TEST_F(InputTest, OpeningWritesWhatTheInputCarriesIntoTheOptions) {
  const std::string clip = testing::MakeTestClip(folder, "clip.mp4");
  InputStage stage;
  OpenInputFile(stage.job, clip, 0);

  ASSERT_EQ(stage.job.input_files.size(), 1U);
  const InputFile& input = stage.job.input_files[0];
  ASSERT_EQ(input.streams.size(), 2U);
  EXPECT_NEAR(stage.job.duration, 2.0, 0.1);
  EXPECT_EQ(input.ts_offset, 0);
  EXPECT_GT(InputFileSize(stage.job, 0), 1000);
  EXPECT_LT(InputFileSize(stage.job, 1), 0);

  EXPECT_EQ(stage.job.source.frame_width, 320);
  EXPECT_EQ(stage.job.source.frame_height, 240);
  EXPECT_EQ(stage.job.source.audio_sample_rate, 44100);
  EXPECT_EQ(stage.job.source.audio_channels, 1);
  EXPECT_EQ(stage.job.source.channel_layout, AV_CH_LAYOUT_MONO);
  const TVideoOptions& video = stage.options.VideoOptions();
  EXPECT_EQ(video.FrameRate().num(), 25);
  EXPECT_EQ(video.FrameRate().den(), 1);
  EXPECT_EQ(video.FramePixFormat(), AV_PIX_FMT_YUV420P);
  EXPECT_NEAR(video.FrameAspectRatio(), 4.0 / 3.0, 1e-6);
  for (const InputStream& stream : input.streams) {
    ASSERT_NE(stream.decoder_context, nullptr);
    EXPECT_EQ(stream.decoder_context->codec_id, stream.stream->codecpar->codec_id);
    EXPECT_EQ(stream.stream->discard, AVDISCARD_DEFAULT);
  }
  EXPECT_TRUE(stage.log.empty());
}

TEST_F(InputTest, StartTimeSeeksAndTheOffsetTakesTheFileStartAway) {
  // MPEG-TS starts its clock at about 1.4 s.
  const std::string clip = testing::MakeTestClip(folder, "clip.ts", 4.0);
  struct Case {
    std::int64_t start_time;
    bool copy_ts;
    std::int64_t offset_from_file_start;  // what ts_offset adds to -start_time of the file
    bool seeks;
  };
  const Case cases[] = {
      {0, false, 0, false},
      {0, true, -1, false},  // -1: the offset is the InputTSOffset, 0
      {2000000, false, -2000000, true},
  };
  for (const Case& c : cases) {
    InputStage stage;
    stage.options.SetStartTime(c.start_time);
    stage.options.SetCopyTS(c.copy_ts);
    OpenInputFile(stage.job, clip, 0);
    const InputFile& input = stage.job.input_files[0];
    const std::int64_t file_start = input.context->start_time;
    EXPECT_NEAR(file_start, 1400000, 100000);
    const std::int64_t expected =
        c.offset_from_file_start == -1 ? 0 : c.offset_from_file_start - file_start;
    EXPECT_EQ(input.ts_offset, expected) << c.start_time << " " << c.copy_ts;
    EXPECT_EQ(stage.job.temp_start_time, 0);

    // Where the input now reads from: the start, or shortly before the asked position.
    media::PacketPtr packet = media::MakePacket();
    std::int64_t first = AV_NOPTS_VALUE;
    while (first == AV_NOPTS_VALUE && ff.av_read_frame(input.context.get(), packet.get()) >= 0) {
      const AVStream* stream = input.context->streams[packet->stream_index];
      if (packet->pts != AV_NOPTS_VALUE) {
        first = ff.av_rescale_q(packet->pts, stream->time_base, AVRational{1, AV_TIME_BASE});
      }
      ff.av_packet_unref(packet.get());
    }
    const double seconds = static_cast<double>(first - file_start) / 1e6;
    if (c.seeks) {
      EXPECT_GT(seconds, 1.0) << c.start_time;
      EXPECT_LE(seconds, 2.05) << c.start_time;
    } else {
      EXPECT_LT(seconds, 0.1) << c.start_time;
    }
  }
}

TEST_F(InputTest, DisabledKindsAreDiscardedAtTheDemuxer) {
  const std::string subtitles =
      testing::WriteTextFile(folder, "subs.srt", "1\n00:00:00,000 --> 00:00:01,000\nhello\n\n");
  const std::string clip = testing::MakeTestClip(folder, "clip.mkv", 1.0, "-i '" + subtitles + "'",
                                                 "-map 0 -map 1 -map 2 -c:s srt");
  struct Case {
    bool audio, video, subtitle;
  };
  const Case cases[] = {{true, false, false}, {false, true, false}, {false, false, true}};
  for (const Case& c : cases) {
    InputStage stage;
    stage.options.AudioOptions().SetAudioDisable(c.audio);
    stage.options.VideoOptions().SetVideoDisable(c.video);
    stage.options.SubtitleOptions().SetSubtitleDisable(c.subtitle);
    OpenInputFile(stage.job, clip, 0);
    for (const InputStream& stream : stage.job.input_files[0].streams) {
      const AVMediaType type = stream.stream->codecpar->codec_type;
      const bool disabled = (type == AVMEDIA_TYPE_AUDIO && c.audio) ||
                            (type == AVMEDIA_TYPE_VIDEO && c.video) ||
                            (type == AVMEDIA_TYPE_SUBTITLE && c.subtitle);
      EXPECT_EQ(stream.stream->discard, disabled ? AVDISCARD_ALL : AVDISCARD_DEFAULT)
          << ff.av_get_media_type_string(type);
    }
  }
}

TEST_F(InputTest, DisagreeingFrameRatesAreLoggedAndTheTimestampRateWins) {
  // Two frames of every three kept: the average rate (16.67) is not the base rate (25).
  const std::string clip = testing::MakeMedia(
      folder, "uneven.mp4",
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -vf select='not(eq(mod(n\\,3)\\,2))' "
      "-fps_mode vfr -pix_fmt yuv420p");
  InputStage stage;
  OpenInputFile(stage.job, clip, 0);
  ASSERT_EQ(stage.log.size(), 1U);
  EXPECT_EQ(stage.log[0].first, AV_LOG_ERROR);
  EXPECT_EQ(stage.log[0].second.rfind(
                "Seems stream 0 codec frame rate differs from container frame rate: ", 0),
            0U)
      << stage.log[0].second;
  EXPECT_NE(stage.log[0].second.find("-> 25.00 (25/1)"), std::string::npos) << stage.log[0].second;
  EXPECT_EQ(stage.options.VideoOptions().FrameRate().num(), 25);
  EXPECT_EQ(stage.options.VideoOptions().FrameRate().den(), 1);
}

TEST_F(InputTest, FormatsAndCodecsAreResolvedByName) {
  struct FormatCase {
    const char* input;
    const char* output;
    bool input_found, output_found;
    const char* error;
  };
  const FormatCase formats[] = {
      {"", "", false, false, "no error"},
      {"", "mp4", false, true, "no error"},
      {"wav", "", true, false, "no error"},
      {"no_such_format", "mp4", false, true, "no error"},  // one of the two is enough
      {"", "no_such_format", false, false, "Unknown input  or Output format no_such_format"},
      {"nope", "nada", false, false, "Unknown input nope or Output format nada"},
  };
  for (const FormatCase& c : formats) {
    InputStage stage;
    stage.options.SetInputFormat(c.input);
    stage.options.SetOutputFormat(c.output);
    EXPECT_EQ(EngineErrorOf([&] { ResolveFormats(stage.job); }), c.error) << c.input << c.output;
    EXPECT_EQ(stage.job.file_iformat != nullptr, c.input_found) << c.input;
    EXPECT_EQ(stage.job.file_oformat != nullptr, c.output_found) << c.output;
  }

  struct CodecCase {
    const char* name;
    AVMediaType type;
    bool encoder;
    const char* error;
    AVCodecID id;
  };
  const CodecCase codecs[] = {
      {"", AVMEDIA_TYPE_VIDEO, false, "no error", AV_CODEC_ID_NONE},
      {"h264", AVMEDIA_TYPE_VIDEO, false, "no error", AV_CODEC_ID_H264},
      {"libx264", AVMEDIA_TYPE_VIDEO, true, "no error", AV_CODEC_ID_H264},
      {"libx264", AVMEDIA_TYPE_VIDEO, false, "Unknown Codec Name", AV_CODEC_ID_NONE},
      {"aac", AVMEDIA_TYPE_VIDEO, false, "Invalid codec type", AV_CODEC_ID_NONE},
      {"no_such_codec", AVMEDIA_TYPE_AUDIO, true, "Unknown Codec Name", AV_CODEC_ID_NONE},
  };
  for (const CodecCase& c : codecs) {
    AVCodecID id = AV_CODEC_ID_NONE;
    EXPECT_EQ(EngineErrorOf([&] { id = FindCodec(c.name, c.type, c.encoder); }), c.error) << c.name;
    EXPECT_EQ(id, c.id) << c.name;
  }
}

TEST_F(InputTest, TimestampScalesFillTheirStreams) {
  const std::string clip = testing::MakeTestClip(folder, "clip.mp4", 1.0);
  InputStage stage;
  OpenInputFile(stage.job, clip, 0);
  stage.options.SetInputTSScale({{0, 1, 2.0}, {0, 1, 0.5}, {0, 7, 3.0}, {4, 0, 3.0}});
  ApplyInputTSScales(stage.job);
  EXPECT_EQ(stage.job.input_files[0].ts_scale, (std::vector<double>{0.0, 0.5}));
  EXPECT_EQ(stage.log.size(), 2U);  // the two entries without a stream are reported
}

// A job that fails before transcoding: the outcome, the error box and the log say why, and
// OnComplete is raised.
TEST_F(InputTest, FailuresBeforeTranscodingEndTheJobWithTheirMessage) {
  const std::string clip = testing::MakeTestClip(folder, "clip.mp4", 1.0);
  const std::string text = testing::WriteTextFile(folder, "notes.mp4", "not a video\n");
  const std::string missing = folder.File("missing.mp4");
  struct Case {
    const char* what;
    std::string input;
    std::function<void(TAVConvertOptions&)> set_up;
    std::string message;
  };
  const Case cases[] = {
      {"missing file", missing, nullptr,
       "Could not open file:" + missing + " error(" + std::to_string(AVERROR(ENOENT)) + ")!"},
      {"not media", text, nullptr,
       "Could not open file:" + text + " error(" + std::to_string(AVERROR_INVALIDDATA) + ")!"},
      {"unknown forced format", clip,
       [](TAVConvertOptions& o) { o.SetInputFormat("no_such_format"); },
       "Unknown input no_such_format or Output format "},
      {"unknown decoder", clip,
       [](TAVConvertOptions& o) { o.VideoOptions().SetDecoderVideoCodecName("no_such_codec"); },
       "Unknown Codec Name"},
      {"decoder of another kind", clip,
       [](TAVConvertOptions& o) { o.VideoOptions().SetDecoderVideoCodecName("aac"); },
       "Invalid codec type"},
      {"missing program", clip, [](TAVConvertOptions& o) { o.SetProgramID(99); },
       "Specified program id not found"},
      {"no input", "", nullptr, "No input file"},
  };
  for (const Case& c : cases) {
    testing::ReportCapture reports;
    EventLoopDispatcher dispatcher;
    TAVConverter converter(dispatcher);
    bool completed = false;
    std::vector<std::string> log;
    converter.OnComplete = [&](TAVConverter&) { completed = true; };
    converter.OnLog = [&](TAVConverter&, int, const std::string& line) { log.push_back(line); };
    if (!c.input.empty()) converter.InputFiles().Add(c.input);
    converter.OutputFiles().Add(folder.File("out.mp4"));
    if (c.set_up) c.set_up(converter.ConvertOptions());
    converter.Convert();
    ASSERT_TRUE(dispatcher.RunUntil([&] { return completed; }, 20s)) << c.what;
    EXPECT_EQ(converter.Outcome(), ConvertOutcome::kFailed) << c.what;
    EXPECT_EQ(converter.State(), TAVConvertState::csNone) << c.what;
    EXPECT_EQ(converter.ErrorMessage(), c.message) << c.what;
    EXPECT_EQ(converter.LastErrorMessage(), c.message) << c.what;
    ASSERT_EQ(reports.error_boxes.size(), 1U) << c.what;
    EXPECT_EQ(reports.error_boxes[0].rfind(c.message + ":", 0), 0U) << reports.error_boxes[0];
    ASSERT_FALSE(log.empty()) << c.what;
    EXPECT_EQ(log.back(), c.message + "\n") << c.what;
  }
}

}  // namespace
}  // namespace zembra::engine
