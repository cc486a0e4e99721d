#include "media/probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>

#include "media/byte_stream.h"
#include "media/media_loader.h"
#include "support/media_fixtures.h"

namespace zembra::media {
namespace {

std::string ProbeErrorOf(const std::function<void()>& step) {
  try {
    step();
  } catch (const ProbeError& error) {
    return error.what();
  }
  return "no error";
}

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override { LoadMediaLibraries(); }
  testing::TempFolder folder;
};

TEST_F(ProbeTest, AMissingFileDoesNothing) {
  TAVProbe probe;
  probe.SetFileName(folder.File("missing.mp4"));
  EXPECT_NO_THROW(probe.SetActive(true));
  EXPECT_FALSE(probe.Active());
  EXPECT_FALSE(probe.HasVideo());
  EXPECT_FALSE(probe.HasAudio());
}

TEST_F(ProbeTest, DescribesTheFirstVideoAndAudioStreams) {
  TAVProbe probe;
  probe.SetFileName(testing::MakeTestClip(folder, "clip.mp4"));
  probe.SetActive(true);
  EXPECT_TRUE(probe.Active());
  EXPECT_TRUE(probe.HasVideo());
  EXPECT_TRUE(probe.HasAudio());
  EXPECT_EQ(probe.VideoCodecName(), "h264");
  EXPECT_EQ(probe.Width(), 320);
  EXPECT_EQ(probe.Height(), 240);
  EXPECT_DOUBLE_EQ(probe.FrameRate(), 25.0);
  EXPECT_GT(probe.VideoBitRate(), 0);
  EXPECT_EQ(probe.AudioCodecName(), "aac");
  EXPECT_EQ(probe.SampleRate(), 44100);
  EXPECT_EQ(probe.Channels(), 1);
  // AAC has no fixed sample size: the stream's bit rate.
  EXPECT_GT(probe.AudioBitRate(), 10000);
  EXPECT_LT(probe.AudioBitRate(), 500000);
  probe.SetActive(false);
  EXPECT_FALSE(probe.Active());
  EXPECT_EQ(probe.Width(), 320);  // the description stays
}

TEST_F(ProbeTest, AnAudioOnlyFileHasNoVideo) {
  TAVProbe probe;
  probe.SetFileName(testing::MakeMedia(
      folder, "tone.mp3", "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1"));
  probe.SetActive(true);
  EXPECT_TRUE(probe.HasAudio());
  EXPECT_FALSE(probe.HasVideo());
  EXPECT_EQ(probe.AudioCodecName(), "mp3float");
}

TEST_F(ProbeTest, SixteenBitStereoPcmAt44100HzIs1411200BitsPerSecond) {
  TAVProbe probe;
  probe.SetFileName(testing::MakeMedia(
      folder, "tone.wav",
      "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -ac 2 -c:a pcm_s16le"));
  probe.SetActive(true);
  EXPECT_TRUE(probe.HasAudio());
  EXPECT_EQ(probe.AudioCodecName(), "pcm_s16le");
  EXPECT_EQ(probe.SampleRate(), 44100);
  EXPECT_EQ(probe.Channels(), 2);
  EXPECT_EQ(probe.AudioBitRate(), 1411200);
}

// AVS2 video is demuxed by FFmpeg 5.1 but has no decoder in it.
TEST_F(ProbeTest, AVideoCodecWithoutADecoderIsUnsupported) {
  std::mt19937 random(3);
  {
    std::ofstream raw(folder.File("video.avs2"), std::ios::binary);
    for (int frame = 0; frame < 25; ++frame) {
      raw.write("\x00\x00\x01\xB0\x20\x42\x00\x10", 8);
      for (int i = 0; i < 60; ++i) raw.put(static_cast<char>(random() | 0x01));
      raw.write("\x00\x00\x01\xB3", 4);
      for (int i = 0; i < 200; ++i) raw.put(static_cast<char>(random() | 0x01));
    }
  }
  const std::string file = testing::MakeMedia(
      folder, "video.ts",
      "-fflags +genpts -f avs2 -i '" + folder.File("video.avs2") + "' -c:v copy");
  ASSERT_EQ(ff.avcodec_find_decoder(AV_CODEC_ID_AVS2), nullptr);

  TAVProbe probe;
  probe.SetFileName(file);
  EXPECT_EQ(ProbeErrorOf([&] { probe.SetActive(true); }),
            "Unsupported codec(id=" + std::to_string(AV_CODEC_ID_AVS2) + ") for input stream 0");
  EXPECT_TRUE(probe.HasVideo());
  EXPECT_FALSE(probe.Active());
}

TEST_F(ProbeTest, WhatTheLibrariesCannotOpenIsAnError) {
  const std::string noise = folder.File("noise.mp4");
  {
    std::ofstream file(noise, std::ios::binary);
    std::mt19937 random(5);
    for (int i = 0; i < 4096; ++i) file.put(static_cast<char>(random()));
  }
  TAVProbe probe;
  probe.SetFileName(noise);
  try {
    probe.SetActive(true);
    ADD_FAILURE() << "no error";
  } catch (const ProbeError& error) {
    EXPECT_STREQ(error.what(), "Error Opening File!");
    EXPECT_EQ(error.code(), AVERROR_INVALIDDATA);
  }
  EXPECT_FALSE(probe.Active());
}

// A stream that counts the reads the libraries make.
class CountingStream : public MemoryByteStream {
 public:
  using MemoryByteStream::MemoryByteStream;
  int Read(void* buffer, int count) override {
    ++reads;
    return MemoryByteStream::Read(buffer, count);
  }
  int reads = 0;
};

TEST_F(ProbeTest, ActivatingTwiceProbesOnceAndStreamAddressesWork) {
  const std::string wav = testing::MakeMedia(
      folder, "tone.wav", "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -ac 2");
  CountingStream stream(testing::ReadFileBytes(wav));
  const StreamRegistration registration(stream);

  TAVProbe probe;
  probe.SetFileName(registration.Address("wav"));
  probe.SetActive(true);
  ASSERT_TRUE(probe.Active());
  EXPECT_EQ(probe.AudioBitRate(), 1411200);
  const int reads = stream.reads;
  EXPECT_GT(reads, 0);
  probe.SetActive(true);
  EXPECT_EQ(stream.reads, reads);

  probe.SetActive(false);
  probe.SetActive(true);
  EXPECT_GT(stream.reads, reads);

  TAVProbe unregistered;
  unregistered.SetFileName(StreamAddress(registration.number() + 1000));
  EXPECT_NO_THROW(unregistered.SetActive(true));
  EXPECT_FALSE(unregistered.Active());
}

}  // namespace
}  // namespace zembra::media
