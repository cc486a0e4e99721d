// Whole conversions through the engine with each filter: the picture changes where the filter
// puts its effect and nowhere else, read back with the independent ffmpeg and ffprobe tools.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include "engine/transcode_support.h"
#include "filters/av_filter.h"
#include "support/media_fixtures.h"
#include "support/probe.h"

namespace zembra::filters {
namespace {

using engine::ConversionResult;
using engine::ConvertOutcome;
using engine::RunConversion;
using engine::TAVConvertOptions;

constexpr std::int32_t kRed = 0x000000FF;  // 0x00BBGGRR
constexpr const char* kZenHei = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc";
constexpr const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
// "中文字幕测试" in UTF-8.
constexpr const char* kChineseLine =
    "\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97\xE5\xB9\x95\xE6\xB5\x8B\xE8\xAF\x95";

struct Rgb {
  int r = 0;
  int g = 0;
  int b = 0;
};

// One decoded picture as 8-bit RGB.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> bytes;

  Rgb At(int x, int y) const {
    const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
    return {bytes[at], bytes[at + 1], bytes[at + 2]};
  }
};

// The picture shown at 0.4 s of `file`, whose size is given, decoded by the ffmpeg tool.
Picture ReadPicture(const std::string& file, int width, int height) {
  Picture picture;
  if (width <= 0 || height <= 0) return picture;
  picture.width = width;
  picture.height = height;
  const std::string command = "ffmpeg -nostdin -v error -ss 0.4 -i '" + file +
                              "' -frames:v 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  picture.bytes.resize(static_cast<std::size_t>(width) * height * 3);
  const std::size_t read =
      pipe ? std::fread(picture.bytes.data(), 1, picture.bytes.size(), pipe.get()) : 0;
  if (read != picture.bytes.size()) picture.bytes.clear();
  return picture;
}

// Mean absolute difference per channel between `a` at (x, y) and `b` at where(x, y), over the
// rectangle of `a` given (the whole picture by default).
double Difference(const Picture& a, const Picture& b,
                  const std::function<std::pair<int, int>(int, int)>& where,
                  std::array<int, 4> area = {0, 0, -1, -1}) {
  if (a.bytes.empty() || b.bytes.empty()) return 1e9;
  const int right = area[2] < 0 ? a.width : area[2];
  const int bottom = area[3] < 0 ? a.height : area[3];
  double total = 0;
  int count = 0;
  for (int y = area[1]; y < bottom; ++y) {
    for (int x = area[0]; x < right; ++x) {
      const auto [bx, by] = where(x, y);
      const Rgb p = a.At(x, y);
      const Rgb q = b.At(bx, by);
      total += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b);
      count += 3;
    }
  }
  return count == 0 ? 0 : total / count;
}

std::pair<int, int> Same(int x, int y) { return {x, y}; }

bool IsRed(const Rgb& p) { return p.r > 180 && p.g < 80 && p.b < 80; }
// Small letters with dark outlines, their colour shared by neighbours, are red in hue only.
bool IsReddish(const Rgb& p) { return p.r - std::max(p.g, p.b) > 50; }

// Pixels in the rectangle that turned reddish compared with `before`.
int NewRedPixels(const Picture& after, const Picture& before, std::array<int, 4> area) {
  if (after.bytes.empty() || before.bytes.empty()) return -1;
  int count = 0;
  for (int y = area[1]; y < area[3]; ++y) {
    for (int x = area[0]; x < area[2]; ++x) {
      if (IsReddish(after.At(x, y)) && !IsReddish(before.At(x, y))) ++count;
    }
  }
  return count;
}

class FilterConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(kZenHei)) << "fonts-wqy-zenhei is not installed";
    ASSERT_TRUE(std::filesystem::exists(kDejaVu)) << "fonts-dejavu-core is not installed";
    clip_ = MakeClip("in.mkv", "testsrc=");
  }

  // One second of the lavfi `source` (its name and options up to the size) at 320x240 with a tone,
  // lossless.
  std::string MakeClip(const std::string& name, const std::string& source) {
    return testing::MakeMedia(folder_, name,
                              "-f lavfi -i " + source +
                                  "size=320x240:rate=25:duration=1 "
                                  "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 "
                                  "-pix_fmt yuv420p -c:v ffv1 -c:a pcm_s16le");
  }

  // Converts `clip` (the test picture by default) with `filters`, lossless, and reads the
  // picture back.
  Picture Convert(const std::string& name, const std::string& filters, std::string clip = {}) {
    const std::string output = folder_.File(name);
    const ConversionResult result =
        RunConversion(clip.empty() ? clip_ : clip, output, [&](TAVConvertOptions& o) {
          o.VideoOptions().SetEncoderVideoCodecName("ffv1");
          o.AudioOptions().SetEncoderAudioCodecName("pcm_s16le");
          o.FilterOptions().SetVideoFilters(filters);
        });
    EXPECT_EQ(result.outcome, ConvertOutcome::kCompleted) << name << "\n"
                                                          << filters << "\n"
                                                          << result.Log();
    const testing::Probe probe(output);
    EXPECT_EQ(probe.StreamNumber(0, "nb_read_frames"), 25) << name;
    EXPECT_EQ(probe.Find("audio"), 1) << name;
    Picture picture = ReadPicture(output, static_cast<int>(probe.StreamNumber(0, "width")),
                                  static_cast<int>(probe.StreamNumber(0, "height")));
    EXPECT_FALSE(picture.bytes.empty()) << name << ": no picture could be read";
    return picture;
  }

  const Picture& Reference() {
    if (reference_.bytes.empty()) {
      reference_ = Convert("reference.mkv", "");
      EXPECT_EQ(reference_.width, 320);
      EXPECT_EQ(reference_.height, 240);
    }
    return reference_;
  }

  template <typename... Filters>
  static std::string Graph(Filters... filters) {
    TAVFilterList list;
    (list.push_back(std::move(filters)), ...);
    return BuildFilterGraph(list);
  }
  static std::unique_ptr<TAVFilter> Standard(const std::function<void(TVideoStdFilter&)>& set) {
    auto filter = std::make_unique<TVideoStdFilter>();
    set(*filter);
    return filter;
  }
  static std::unique_ptr<TAVFilter> Subtitle(const std::string& file, const std::string& font,
                                             const std::string& code_page) {
    auto filter = std::make_unique<TSubtitleFilter>();
    filter->SetSubtitleFile(file);
    filter->SetFontFile(font);
    filter->SetCodePage(code_page);
    filter->SetFontColor(kRed);
    return filter;
  }
  std::string SubtitleFile(const std::string& name, const std::string& text,
                           const char* encoding = nullptr) {
    const std::string utf8 = testing::WriteTextFile(
        folder_, name + ".utf8.srt", "1\n00:00:00,000 --> 00:00:05,000\n" + text + "\n\n");
    if (encoding == nullptr) return utf8;
    const std::string converted = folder_.File(name + ".srt");
    const std::string command =
        std::string("iconv -f UTF-8 -t ") + encoding + " '" + utf8 + "' > '" + converted + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return converted;
  }

  testing::TempFolder folder_;
  std::string clip_;
  Picture reference_;
};

TEST_F(FilterConversionTest, FlipsAndRotationMoveThePicture) {
  const int w = Reference().width;
  const int h = Reference().height;
  struct Case {
    const char* what;
    std::function<void(TVideoStdFilter&)> set;
    int width;
    int height;
    std::function<std::pair<int, int>(int, int)> source;  // where a pixel came from
    double source_limit;
    std::function<std::pair<int, int>(int, int)> wrong;  // where it did not come from
  };
  const Case cases[] = {
      {"vertical flip", [](TVideoStdFilter& f) { f.SetVerticalFilp(true); }, w, h,
       [h](int x, int y) {
         return std::pair{x, h - 1 - y};
       },
       1.0, Same},
      {"horizontal flip", [](TVideoStdFilter& f) { f.SetHorizontalFilip(true); }, w, h,
       [w](int x, int y) {
         return std::pair{w - 1 - x, y};
       },
       1.0, Same},
      {"rotate 90 clockwise swaps the size",
       [](TVideoStdFilter& f) {
         f.SetRotate(true);
         f.SetDegree(90);
       },
       h, w,
       [h](int x, int y) {
         return std::pair{y, h - 1 - x};
       },
       1.0,
       [w](int x, int y) {
         return std::pair{w - 1 - y, x};
       }},
  };
  for (const Case& c : cases) {
    const Picture picture = Convert(std::string(c.what) + ".mkv", Graph(Standard(c.set)));
    ASSERT_EQ(picture.width, c.width) << c.what;
    ASSERT_EQ(picture.height, c.height) << c.what;
    EXPECT_LT(Difference(picture, Reference(), c.source), c.source_limit) << c.what;
    EXPECT_GT(Difference(picture, Reference(), c.wrong), 20) << c.what;
  }
}

TEST_F(FilterConversionTest, NegateAndBoxPaintThePicture) {
  const int w = Reference().width;
  const int h = Reference().height;
  // Negation turns every colour to its opposite.
  const Picture negated =
      Convert("negate.mkv", Graph(Standard([](TVideoStdFilter& f) { f.SetNegate(true); })));
  double total = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const Rgb p = negated.At(x, y);
      const Rgb q = Reference().At(x, y);
      total += std::abs(p.r + q.r - 255) + std::abs(p.g + q.g - 255) + std::abs(p.b + q.b - 255);
    }
  }
  EXPECT_LT(total / (w * h * 3), 12) << "negate";

  // A red outline around the box, the picture untouched inside and outside it.
  const Picture boxed = Convert("box.mkv", Graph(Standard([](TVideoStdFilter& f) {
                                  f.SetDrawBox(true);
                                  f.SetBX(100);
                                  f.SetBY(80);
                                  f.SetBWidth(80);
                                  f.SetBHeight(60);
                                  f.SetBColor("Red");
                                })));
  for (const auto& [x, y] :
       std::vector<std::pair<int, int>>{{101, 110}, {140, 81}, {178, 110}, {140, 138}}) {
    const Rgb p = boxed.At(x, y);
    EXPECT_TRUE(IsRed(p)) << x << "," << y << " is " << p.r << "," << p.g << "," << p.b;
  }
  EXPECT_LT(Difference(boxed, Reference(), Same, {106, 86, 174, 134}), 1.0) << "inside the box";
  EXPECT_LT(Difference(boxed, Reference(), Same, {0, 0, 96, 240}), 1.0) << "left of the box";
}

TEST_F(FilterConversionTest, LogoAndTextPaintWhereTheyArePlaced) {
  // A green picture, 40x30, put at 200,150.
  const std::string logo = testing::MakeMedia(
      folder_, "logo.png", "-f lavfi -i color=c=0x00FF00:size=40x30 -frames:v 1 -update 1");
  auto logo_filter = std::make_unique<TLogoFilter>();
  logo_filter->SetLogoFile(logo);
  logo_filter->SetX(200);
  logo_filter->SetY(150);
  const Picture with_logo = Convert("logo.mkv", Graph(std::move(logo_filter)));
  for (int y = 152; y < 178; y += 5) {
    for (int x = 202; x < 238; x += 5) {
      const Rgb p = with_logo.At(x, y);
      EXPECT_TRUE(p.g > 200 && p.r < 60 && p.b < 60)
          << x << "," << y << " is " << p.r << "," << p.g << "," << p.b;
    }
  }
  EXPECT_LT(Difference(with_logo, Reference(), Same, {0, 0, 320, 145}), 1.0) << "above the logo";

  // Two lines of red text, Latin and Chinese, at 10,10 in a 40-pixel font.
  auto text = std::make_unique<TOverlayTextFilter>();
  text->SetText(std::string("Zembra\r\n") + kChineseLine + "\r\n");
  text->SetFontFile(kZenHei);
  text->SetFontSize(40);
  text->SetX(10);
  text->SetY(10);
  text->SetFontColor(kRed);
  text->SetBgColor(0x00FF0000);
  const Picture with_text = Convert("text.mkv", Graph(std::move(text)));
  EXPECT_GT(NewRedPixels(with_text, Reference(), {10, 10, 320, 50}), 300) << "first line";
  EXPECT_GT(NewRedPixels(with_text, Reference(), {10, 55, 320, 100}), 300) << "second line";
  EXPECT_LT(Difference(with_text, Reference(), Same, {0, 130, 320, 240}), 1.0) << "below the text";
}

TEST_F(FilterConversionTest, SubtitlesShowChineseTextInEitherEncodingAndTheChosenFont) {
  // Subtitles sit at the bottom centre; a grey picture shows them plainly.
  const std::string grey = MakeClip("grey.mkv", "color=c=0x808080:");
  const std::string utf8 = SubtitleFile("utf8", kChineseLine);
  const std::string gbk = SubtitleFile("gbk", kChineseLine, "GBK");
  const std::array<int, 4> upper_part = {0, 0, 320, 160};
  const std::array<int, 4> lower_part = {0, 160, 320, 240};
  const Picture plain = Convert("grey-plain.mkv", "", grey);

  const Picture from_utf8 = Convert("utf8.mkv", Graph(Subtitle(utf8, kZenHei, "")), grey);
  EXPECT_GT(NewRedPixels(from_utf8, plain, lower_part), 100);
  EXPECT_LT(Difference(from_utf8, plain, Same, upper_part), 0.01);

  // The same text from the GBK file looks the same once its code page is given.
  const Picture from_gbk = Convert("gbk.mkv", Graph(Subtitle(gbk, kZenHei, "GBK")), grey);
  EXPECT_LT(Difference(from_gbk, from_utf8, Same), 0.01);

  // The font file decides the letters' shapes.
  const std::string latin = SubtitleFile("latin", "Zembra WWW 123");
  const Picture in_zenhei = Convert("zenhei.mkv", Graph(Subtitle(latin, kZenHei, "")), grey);
  const Picture in_dejavu = Convert("dejavu.mkv", Graph(Subtitle(latin, kDejaVu, "")), grey);
  EXPECT_GT(NewRedPixels(in_zenhei, plain, lower_part), 100);
  EXPECT_GT(NewRedPixels(in_dejavu, plain, lower_part), 100);
  EXPECT_GT(Difference(in_zenhei, in_dejavu, Same, lower_part), 1.0);
}

TEST_F(FilterConversionTest, SubtitlesKeepTheSourcesTimeWhenTheConversionStartsLater) {
  // A subtitle shown from 2 s to 3 s of a 4 s source, converted from 2 s on: it is on screen.
  const std::string grey = testing::MakeMedia(
      folder_, "grey4.mkv",
      "-f lavfi -i color=c=0x808080:size=320x240:rate=25:duration=4 -pix_fmt yuv420p -c:v ffv1");
  const std::string timed = testing::WriteTextFile(
      folder_, "timed.srt", "1\n00:00:02,000 --> 00:00:03,000\nZembra WWW\n\n");
  const std::array<int, 4> lower_part = {0, 160, 320, 240};
  Picture pictures[2];
  for (int shown = 0; shown < 2; ++shown) {
    const std::string output = folder_.File("from2-" + std::to_string(shown) + ".mkv");
    const ConversionResult result = RunConversion(grey, output, [&](TAVConvertOptions& o) {
      o.VideoOptions().SetEncoderVideoCodecName("ffv1");
      o.SetStartTime(2000000);
      o.SetRecordingTime(1000000);
      if (shown == 1) o.FilterOptions().SetVideoFilters(Graph(Subtitle(timed, kDejaVu, "")));
    });
    ASSERT_EQ(result.outcome, ConvertOutcome::kCompleted) << result.Log();
    pictures[shown] = ReadPicture(output, 320, 240);
    ASSERT_FALSE(pictures[shown].bytes.empty());
  }
  EXPECT_GT(NewRedPixels(pictures[1], pictures[0], lower_part), 100);
}

TEST_F(FilterConversionTest, AGbkFileReadAsUtf8IsRefusedWithTheReason) {
  const std::string gbk = SubtitleFile("gbk", kChineseLine, "GBK");
  const ConversionResult result =
      RunConversion(clip_, folder_.File("out.mkv"), [&](TAVConvertOptions& o) {
        o.FilterOptions().SetVideoFilters(Graph(Subtitle(gbk, kZenHei, "")));
      });
  EXPECT_EQ(result.outcome, ConvertOutcome::kFailed);
  EXPECT_NE(result.Log().find("Invalid UTF-8 in decoded subtitles text"), std::string::npos)
      << result.Log();
  EXPECT_EQ(result.error_boxes, std::vector<std::string>{"Error opening filters!:"});
}

TEST_F(FilterConversionTest, AllFourKindsInOneConversion) {
  const std::string logo = testing::MakeMedia(
      folder_, "logo.png", "-f lavfi -i color=c=0x00FF00:size=40x30 -frames:v 1 -update 1");
  auto logo_filter = std::make_unique<TLogoFilter>();
  logo_filter->SetLogoFile(logo);
  auto text = std::make_unique<TOverlayTextFilter>();
  text->SetText("Zembra");
  text->SetFontFile(kDejaVu);
  text->SetFontSize(30);
  text->SetX(60);
  text->SetFontColor(kRed);
  const Picture picture =
      Convert("all.mkv", Graph(std::move(logo_filter), std::move(text),
                               Subtitle(SubtitleFile("all", kChineseLine), kZenHei, ""),
                               Standard([](TVideoStdFilter& f) {
                                 f.SetRotate(true);
                                 f.SetDegree(90);
                               })));
  ASSERT_EQ(picture.width, 240);
  ASSERT_EQ(picture.height, 320);
  // The logo was at the top left before the turn, so it is at the top right now.
  const Rgb corner = picture.At(220, 15);
  EXPECT_TRUE(corner.g > 200 && corner.r < 60 && corner.b < 60)
      << corner.r << "," << corner.g << "," << corner.b;
}

}  // namespace
}  // namespace zembra::filters
