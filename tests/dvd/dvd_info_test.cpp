#include "dvd/dvd_info.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "dvd/dvd_reader_handle.h"
#include "dvd/dvd_test_support.h"

namespace zembra::dvd {
namespace {

using testing::TestDvd;

std::string DvdErrorOf(const std::function<void()>& step) {
  try {
    step();
  } catch (const DvdError& error) {
    return error.what();
  }
  return "no error";
}

struct DiscForm {
  const char* name;
  std::string (*path)();
  const char* label;
};

void PrintTo(const DiscForm& form, std::ostream* out) { *out << form.name; }

class DvdInfoTest : public ::testing::TestWithParam<DiscForm> {
 protected:
  void SetUp() override { ASSERT_TRUE(TestDvd().ok) << TestDvd().error; }
};

TEST_P(DvdInfoTest, DescribesTheTitlesOfTheDisc) {
  const TDvdInfo info(GetParam().path());
  EXPECT_EQ(info.VolumeLabel(), GetParam().label);
  ASSERT_EQ(info.TitleCount(), 2);

  const TDvdTitle& first = info.Title(0);
  EXPECT_EQ(first.number, 1);
  EXPECT_EQ(first.angle_count, 1);
  EXPECT_EQ(first.ChapterCount(), 4);
  EXPECT_EQ(first.hours, 0);
  EXPECT_EQ(first.minutes, 0);
  EXPECT_EQ(first.seconds, 4);
  EXPECT_NEAR(first.duration / 1e6, 4.0, 0.1);
  std::int64_t start = 0;
  for (int i = 0; i < first.ChapterCount(); ++i) {
    const TDvdChapter& chapter = first.chapters[static_cast<std::size_t>(i)];
    EXPECT_EQ(chapter.number, i + 1);
    EXPECT_EQ(chapter.start, start);
    EXPECT_NEAR(chapter.duration / 1e6, 1.0, 0.1) << "chapter " << chapter.number;
    start += chapter.duration;
  }
  EXPECT_EQ(start, first.duration);
  ASSERT_EQ(first.AudioCount(), 2);
  EXPECT_EQ(first.audios[0].language, "en");
  EXPECT_EQ(first.audios[1].language, "fr");
  for (const TDvdAudio& audio : first.audios) {
    EXPECT_EQ(audio.codec, "AC3");
    EXPECT_EQ(audio.channels, 2);
  }
  EXPECT_EQ(first.audios[0].stream_id, 0x80);
  EXPECT_EQ(first.audios[1].stream_id, 0x81);
  EXPECT_EQ(first.SubtitleCount(), 0);

  const TDvdTitle& second = info.Title(1);
  EXPECT_EQ(second.number, 2);
  EXPECT_EQ(second.angle_count, 1);
  EXPECT_EQ(second.ChapterCount(), 2);
  EXPECT_EQ(second.seconds, 2);
  EXPECT_NEAR(second.duration / 1e6, 2.0, 0.1);
  ASSERT_EQ(second.AudioCount(), 1);
  EXPECT_EQ(second.audios[0].language, "es");
  EXPECT_EQ(second.audios[0].codec, "MPEG1");
  EXPECT_EQ(second.audios[0].stream_id, 0xC0);
}

TEST_P(DvdInfoTest, LibdvdreadNeverWritesToTheConsole) {
  testing::TempFolder temp;
  testing::ConsoleCapture console(temp.File("console.txt"));
  { const TDvdInfo info(GetParam().path()); }
  EXPECT_EQ(DvdErrorOf([] { TDvdInfo info("/nonexistent/disc.iso"); }), kCanNotOpenDvd);
  const std::string written = console.Stop();
  EXPECT_EQ(written, "");
}

INSTANTIATE_TEST_SUITE_P(ImageAndFolder, DvdInfoTest,
                         ::testing::Values(DiscForm{"image", [] { return TestDvd().image; },
                                                    testing::kTestDvdLabel},
                                           DiscForm{"folder", [] { return TestDvd().folder; }, ""}),
                         [](const ::testing::TestParamInfo<DiscForm>& param_info) {
                           return std::string(param_info.param.name);
                         });

TEST(DvdInfo, AVideoTsFolderItselfOpensToo) {
  ASSERT_TRUE(TestDvd().ok) << TestDvd().error;
  EXPECT_EQ(TDvdInfo(TestDvd().video_ts()).TitleCount(), 2);
}

TEST(DvdInfo, WhatIsNotAVideoDvdCannotBeOpenedAndSaysSoAtOnce) {
  testing::TempFolder temp;
  std::mt19937 random(7);
  {
    std::ofstream noise(temp.File("noise.iso"), std::ios::binary);
    for (int i = 0; i < 1 << 20; ++i) noise.put(static_cast<char>(random()));
  }
  std::filesystem::create_directories(temp.path() / "data" / "files");
  std::ofstream(temp.File("data/files/readme.txt")) << "not a video disc\n";
  ASSERT_EQ(std::system(("genisoimage -quiet -V DATA -o '" + temp.File("data.iso") + "' '" +
                         temp.File("data") + "' > /dev/null 2>&1")
                            .c_str()),
            0)
      << "genisoimage is needed";
  std::filesystem::create_directories(temp.path() / "empty");

  for (const std::string& path : {temp.File("noise.iso"), temp.File("data.iso"), temp.File("data"),
                                  temp.File("empty"), temp.File("missing")}) {
    const auto started = std::chrono::steady_clock::now();
    try {
      TDvdInfo info(path);
      ADD_FAILURE() << path << " opened";
    } catch (const DvdError& error) {
      EXPECT_STREQ(error.what(), kCanNotOpenDvd) << path;
      EXPECT_FALSE(error.library_log().empty()) << path;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << path;
  }
}

// Without libdvdcss the sectors of a CSS disc read as they are stored: scrambled.
TEST(DvdInfo, AnEncryptedDiscFailsWithItsOwnMessage) {
  ASSERT_TRUE(TestDvd().ok) << TestDvd().error;
  testing::TempFolder temp;
  const std::string disc = testing::CopyFolder(TestDvd().folder, temp.File("encrypted"));
  ASSERT_GT(testing::ScrambleVob(disc + "/VIDEO_TS/VTS_01_1.VOB"), 0);
  ASSERT_GT(testing::ScrambleVob(disc + "/VIDEO_TS/VTS_02_1.VOB"), 0);

  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(DvdErrorOf([&] { TDvdInfo info(disc); }), kEncryptedDvd);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(DvdInfo, ATitleThatFailsToScanIsLeftOutAndTheOthersKeepTheirNumbers) {
  ASSERT_TRUE(TestDvd().ok) << TestDvd().error;
  testing::TempFolder temp;
  const std::string disc = testing::CopyFolder(TestDvd().folder, temp.File("damaged"));
  std::filesystem::remove(disc + "/VIDEO_TS/VTS_01_0.IFO");
  std::filesystem::remove(disc + "/VIDEO_TS/VTS_01_0.BUP");

  const TDvdInfo info(disc);
  ASSERT_EQ(info.TitleCount(), 1);
  EXPECT_EQ(info.Title(0).number, 2);
  EXPECT_EQ(info.Title(0).ChapterCount(), 2);
}

TEST(DvdScrambling, OnlyElementaryStreamPacketsMarkedScrambledCount) {
  ASSERT_TRUE(TestDvd().ok) << TestDvd().error;
  const std::vector<std::uint8_t> vob =
      testing::ReadFileBytes(TestDvd().video_ts() + "/VTS_01_1.VOB");
  ASSERT_GE(vob.size(), 4U * kBlockSize);
  // The first block of a VOB is a navigation pack, never scrambled.
  EXPECT_FALSE(IsScrambledBlock(vob.data()));
  std::vector<std::uint8_t> block;
  for (std::size_t at = kBlockSize; at < vob.size(); at += kBlockSize) {
    if (vob[at + 17] == 0xE0) {  // a video packet right after the pack header
      block.assign(vob.begin() + static_cast<std::ptrdiff_t>(at),
                   vob.begin() + static_cast<std::ptrdiff_t>(at) + kBlockSize);
      break;
    }
  }
  ASSERT_FALSE(block.empty());
  EXPECT_FALSE(IsScrambledBlock(block.data()));
  block[20] |= 0x10;
  EXPECT_TRUE(IsScrambledBlock(block.data()));
  std::vector<std::uint8_t> zeros(kBlockSize, 0);
  EXPECT_FALSE(IsScrambledBlock(zeros.data()));
}

}  // namespace
}  // namespace zembra::dvd
