// A DVD title converted end to end through zembra-cli's "dvd:" input.
#include <gtest/gtest.h>

#include <cstdlib>

#include "dvd/dvd_info.h"
#include "dvd_test_support.h"
#include "support/probe.h"

namespace zembra::dvd {
namespace {

TEST(DvdConversion, ChaptersTwoToThreeOfTitleOneBecomeAnMp4OfTheirLength) {
  const testing::AuthoredDvd& disc = testing::TestDvd();
  ASSERT_TRUE(disc.ok) << disc.error;
  const TDvdInfo info(disc.image);
  ASSERT_GE(info.TitleCount(), 1);
  const TDvdTitle& title = info.Title(0);
  ASSERT_GE(title.ChapterCount(), 3);
  const double expected =
      static_cast<double>(title.chapters[1].duration + title.chapters[2].duration) / 1e6;

  testing::TempFolder folder;
  const std::string output = folder.File("chapters.mp4");
  const std::string command = std::string(ZEMBRA_TEST_CLI) + " convert 'dvd:" + disc.image +
                              "#1:2-3' -o '" + output + "' > '" + folder.File("log.txt") + "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const testing::Probe probe(output, false);
  EXPECT_EQ(probe.Stream(probe.Find("video"), "codec_name"), "h264");
  EXPECT_EQ(probe.Stream(probe.Find("audio"), "codec_name"), "aac");
  EXPECT_NEAR(probe.Duration(), expected, 0.5);

  // A title the disc does not have is bad usage, said plainly.
  const std::string missing = std::string(ZEMBRA_TEST_CLI) + " convert 'dvd:" + disc.image +
                              "#9' -o '" + folder.File("none.mp4") + "' > /dev/null 2>&1";
  EXPECT_EQ(WEXITSTATUS(std::system(missing.c_str())), 2);
}

}  // namespace
}  // namespace zembra::dvd
