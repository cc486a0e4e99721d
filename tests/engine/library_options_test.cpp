#include "engine/library_options.h"

#include <gtest/gtest.h>

#include "media/media_loader.h"
#include "support/report_capture.h"

namespace zembra::engine {
namespace {

using media::ff;

std::string Get(void* context, const char* name) {
  std::uint8_t* value = nullptr;
  if (ff.av_opt_get(context, name, AV_OPT_SEARCH_CHILDREN, &value) < 0) return "<none>";
  std::string text(reinterpret_cast<const char*>(value));
  ff.av_free(value);
  return text;
}

class LibraryOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override { media::LoadMediaLibraries(); }
};

TEST_F(LibraryOptionsTest, EachNameLandsOnTheTemplatesItBelongsTo) {
  testing::ReportCapture reports;
  LibraryOptions options(4);
  AVCodecContext* video = options.CodecTemplate(AVMEDIA_TYPE_VIDEO);
  AVCodecContext* audio = options.CodecTemplate(AVMEDIA_TYPE_AUDIO);

  struct Case {
    const char* name;
    const char* value;
    int result;
    const char* recorded;  // what Opt_names gains; null: nothing
  };
  const Case cases[] = {
      {"g", "15", 0, "g"},                        // a video codec option
      {"ab", "128000", 0, "ab"},                  // the audio bit rate
      {"b", "1150000", 0, "b"},                   // the video bit rate: video template only
      {"ar", "22050", 0, "ar"},                   // an audio codec option
      {"probesize", "100000", 0, "probesize"},    // a format option
      {"sws_flags", "bilinear", 0, "sws_flags"},  // a scaler option
      {"vqmin", "3", 0, "qmin"},                  // "v" + a codec option: the shortened name
      {"no_such_option", "1", -1, nullptr},       // unknown: ignored without a message
      {"g", "many", -1, nullptr},                 // known, bad value: refused with a message
  };
  for (const Case& c : cases) {
    const std::size_t before = options.Opt_names().size();
    EXPECT_EQ(options.SetLibraryOption(c.name, c.value), c.result) << c.name;
    if (c.recorded == nullptr) {
      EXPECT_EQ(options.Opt_names().size(), before) << c.name;
    } else {
      ASSERT_EQ(options.Opt_names().size(), before + 1) << c.name;
      EXPECT_EQ(options.Opt_names().back(), c.recorded) << c.name;
    }
  }
  EXPECT_EQ(video->gop_size, 15);
  EXPECT_EQ(video->bit_rate, 1150000);
  EXPECT_EQ(audio->bit_rate, 128000);
  EXPECT_EQ(audio->sample_rate, 22050);
  EXPECT_EQ(video->qmin, 3);
  EXPECT_EQ(options.FormatTemplate()->probesize, 100000);
  EXPECT_EQ(Get(options.ScalerTemplate(), "sws_flags"), "0x00000002");  // SWS_BILINEAR
  EXPECT_EQ(reports.error_boxes, std::vector<std::string>{"Invalid value for Option!"});
}

TEST_F(LibraryOptionsTest, CodecOptionLinesAndPrivateOptions) {
  testing::ReportCapture reports;
  LibraryOptions options(4);
  options.ApplyCodecOptions(
      {"g=12", "preset=veryfast", "profile=high", "crf=23", "bufsize=327680"});
  EXPECT_EQ(options.CodecTemplate(AVMEDIA_TYPE_VIDEO)->gop_size, 12);
  EXPECT_EQ(options.CodecTemplate(AVMEDIA_TYPE_VIDEO)->rc_buffer_size, 327680);
  // Options of one encoder only are kept by name, including a value only that encoder's own
  // "profile" accepts.
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"preset", "veryfast"}, {"profile", "high"}, {"crf", "23"}};
  EXPECT_EQ(options.PrivateOptions(), expected);
  EXPECT_TRUE(reports.error_boxes.empty());

  // An encoder that has them takes them; one that has not is left alone.
  media::CodecContextPtr x264 = media::MakeCodecContext(ff.avcodec_find_encoder_by_name("libx264"));
  EXPECT_TRUE(options.ApplyPrivateOptions(x264->priv_data).empty());
  EXPECT_EQ(Get(x264.get(), "preset"), "veryfast");
  EXPECT_EQ(Get(x264.get(), "crf"), "23.000000");
  media::CodecContextPtr mpeg4 = media::MakeCodecContext(ff.avcodec_find_encoder_by_name("mpeg4"));
  EXPECT_TRUE(options.ApplyPrivateOptions(mpeg4->priv_data).empty());
  EXPECT_EQ(Get(mpeg4.get(), "profile"), Get(media::MakeCodecContext(nullptr).get(), "profile"));
}

TEST_F(LibraryOptionsTest, RecordedOptionsReachLiveContextsWhoseFlagsFit) {
  LibraryOptions options(4);
  options.SetLibraryOption("g", "9");        // video encoding
  options.SetLibraryOption("threads", "3");  // encoding and decoding, audio and video
  options.SetLibraryOption("probesize", "5000000");

  media::CodecContextPtr decoder = media::MakeCodecContext(nullptr);
  options.ApplyContextOptions(decoder.get(), options.CodecTemplate(AVMEDIA_TYPE_VIDEO),
                              kVideoDecodingMask);
  EXPECT_EQ(decoder->thread_count, 3);
  EXPECT_NE(decoder->gop_size, 9);  // an encoding option stays off a decoder

  media::CodecContextPtr encoder = media::MakeCodecContext(nullptr);
  options.ApplyContextOptions(encoder.get(), options.CodecTemplate(AVMEDIA_TYPE_VIDEO),
                              AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
  EXPECT_EQ(encoder->gop_size, 9);

  media::Dictionary dictionary;
  options.CollectContextOptions(dictionary.address(), options.FormatTemplate(), kDecodingMask);
  ASSERT_NE(ff.av_dict_get(dictionary.get(), "probesize", nullptr, 0), nullptr);
  EXPECT_STREQ(ff.av_dict_get(dictionary.get(), "probesize", nullptr, 0)->value, "5000000");
}

}  // namespace
}  // namespace zembra::engine
