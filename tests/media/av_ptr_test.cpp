#include "media/av_ptr.h"

#include <gtest/gtest.h>

namespace zembra::media {
namespace {

TEST(AvError, CarriesTheCodeAndTheLibraryText) {
  LoadMediaLibraries();
  EXPECT_EQ(ErrorText(AVERROR(EINVAL)), "Invalid argument");
  EXPECT_EQ(ErrorText(AVERROR_EOF), "End of file");
  try {
    Check(AVERROR(ENOENT), "open input.mp4");
    FAIL() << "no exception";
  } catch (const AvError& error) {
    EXPECT_EQ(error.code(), AVERROR(ENOENT));
    EXPECT_STREQ(error.what(), "open input.mp4: No such file or directory");
  }
  EXPECT_EQ(Check(5, "positive results pass through"), 5);
}

TEST(AvError, TextBeforeTheLibrariesAreLoaded) {
  UnloadMediaLibraries();
  EXPECT_EQ(ErrorText(-22), "error -22");
}

TEST(AvPtr, OwnedObjectsAreCreatedAndReleased) {
  LoadMediaLibraries();
  FramePtr frame = MakeFrame();
  ASSERT_NE(frame, nullptr);
  frame->format = AV_PIX_FMT_YUV420P;
  PacketPtr packet = MakePacket();
  ASSERT_NE(packet, nullptr);
  CodecContextPtr context = MakeCodecContext(ff.avcodec_find_encoder_by_name("mpeg4"));
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(context->codec_id, AV_CODEC_ID_MPEG4);
  FilterGraphPtr graph = MakeFilterGraph();
  ASSERT_NE(graph, nullptr);

  Dictionary options;
  ASSERT_GE(ff.av_dict_set(options.address(), "preset", "fast", 0), 0);
  EXPECT_STREQ(ff.av_dict_get(options.get(), "preset", nullptr, 0)->value, "fast");
  Dictionary moved = std::move(options);
  EXPECT_EQ(options.get(), nullptr);
  EXPECT_NE(moved.get(), nullptr);

  Subtitle subtitle;
  EXPECT_EQ(subtitle.get()->num_rects, 0U);
}

}  // namespace
}  // namespace zembra::media
