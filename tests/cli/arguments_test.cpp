#include "cli/arguments.h"

#include <gtest/gtest.h>

#include "cli/dvd_command.h"

namespace zembra::cli {
namespace {

Request Parse(std::vector<std::string> arguments) { return ParseArguments(arguments); }

std::string UsageErrorOf(std::vector<std::string> arguments) {
  try {
    ParseArguments(arguments);
  } catch (const UsageError& error) {
    return error.message;
  }
  return "no error";
}

TEST(CliArguments, ConvertOptionsBecomeTheRequest) {
  const Request request =
      Parse({"convert",     "in.mkv",  "-o",        "out.mp4",    "--profile",
             "MP4 - H.264", "--start", "1.5",       "--duration", "10",
             "--filters",   "vflip",   "--threads", "2",          "--set",
             "crf=23",      "--set",   "flags",     "--set",      "x264-params=ref=3:bframes=2",
             "--copy",      "--json"});
  EXPECT_EQ(request.command, Command::kConvert);
  EXPECT_EQ(request.input, "in.mkv");
  EXPECT_EQ(request.output, "out.mp4");
  EXPECT_EQ(request.profile, "MP4 - H.264");
  EXPECT_EQ(request.start_us, 1500000);
  EXPECT_EQ(request.duration_us, 10000000);
  EXPECT_EQ(request.filters, "vflip");
  EXPECT_EQ(request.threads, 2);
  EXPECT_TRUE(request.json);
  EXPECT_TRUE(request.copy);
  const std::vector<std::pair<std::string, std::string>> settings = {
      {"crf", "23"}, {"flags", ""}, {"x264-params", "ref=3:bframes=2"}};
  EXPECT_EQ(request.settings, settings);

  const Request plain = Parse({"convert", "a.wav", "--output", "b.mp3"});
  EXPECT_EQ(plain.start_us, 0);
  EXPECT_FALSE(plain.duration_us);
  EXPECT_EQ(plain.threads, 0);
  EXPECT_FALSE(plain.json);
  EXPECT_EQ(Parse({}).command, Command::kSample);
  EXPECT_EQ(Parse({"probe", "x.mp4", "--json"}).input, "x.mp4");
  EXPECT_EQ(Parse({"profiles"}).command, Command::kProfiles);
}

TEST(CliArguments, DvdAddressesNameATitleChaptersAndAngle) {
  struct Case {
    const char* text;
    const char* path;
    int title, first, last, angle;
  };
  const Case cases[] = {
      {"dvd:/dev/sr0#1", "/dev/sr0", 1, 0, 0, 1},
      {"dvd:/media/disc.iso#3:2-5", "/media/disc.iso", 3, 2, 5, 1},
      {"dvd:/x/VIDEO_TS#2:4@2", "/x/VIDEO_TS", 2, 4, 4, 2},
      {"dvd:/a#b/c#1:1-2@3", "/a#b/c", 1, 1, 2, 3},
  };
  for (const Case& c : cases) {
    const std::optional<DvdAddress> address = ParseDvdAddress(c.text);
    ASSERT_TRUE(address) << c.text;
    EXPECT_EQ(address->path, c.path) << c.text;
    EXPECT_EQ(address->title, c.title) << c.text;
    EXPECT_EQ(address->first_chapter, c.first) << c.text;
    EXPECT_EQ(address->last_chapter, c.last) << c.text;
    EXPECT_EQ(address->angle, c.angle) << c.text;
  }
  EXPECT_FALSE(ParseDvdAddress("/home/me/movie.vob"));
  for (const char* bad : {"dvd:/dev/sr0", "dvd:#1", "dvd:/d#0", "dvd:/d#1:3-2", "dvd:/d#1:x"}) {
    EXPECT_THROW(ParseDvdAddress(bad), UsageError) << bad;
  }
}

TEST(CliArguments, BadUsageSaysWhatIsWrong) {
  struct Case {
    std::vector<std::string> arguments;
    const char* message;
  };
  const Case cases[] = {
      {{"transmogrify"}, "unknown command 'transmogrify'"},
      {{"convert", "in.mkv"}, "convert needs an OUTPUT (-o FILE)"},
      {{"convert", "-o", "out.mp4"}, "convert needs an INPUT"},
      {{"convert", "a", "b", "-o", "c"}, "unexpected argument 'b'"},
      {{"convert", "a", "-o"}, "-o needs a value"},
      {{"convert", "a", "-o", "b", "--start", "-1"},
       "--start takes seconds (a number >= 0), not '-1'"},
      {{"convert", "a", "-o", "b", "--duration", "ten"},
       "--duration takes seconds (a number >= 0), not 'ten'"},
      {{"convert", "a", "-o", "b", "--threads", "x"},
       "--threads takes a number from 0 to 64, not 'x'"},
      {{"convert", "a", "-o", "b", "--set", "=1"}, "--set takes NAME=VALUE, not '=1'"},
      {{"convert", "a", "-o", "b", "--colour"}, "unknown option '--colour' for convert"},
      {{"probe"}, "probe needs an INPUT"},
      {{"profiles", "--profile", "x"}, "unknown option '--profile' for profiles"},
  };
  for (const Case& c : cases) EXPECT_EQ(UsageErrorOf(c.arguments), c.message);
}

}  // namespace
}  // namespace zembra::cli
