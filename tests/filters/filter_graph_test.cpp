// Filter texts parsed and run by the real library: hostile values arrive literally, any list
// composes into one graph, and the filters apply in list order.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "filters/av_filter.h"
#include "filters/graph_harness.h"
#include "support/media_fixtures.h"

namespace zembra::filters {
namespace {

using testing::TestGraph;

constexpr std::int32_t kRed = 0x000000FF;
constexpr const char* kZenHei = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc";
constexpr const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

class FilterGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(kZenHei)) << "fonts-wqy-zenhei is not installed";
    ASSERT_TRUE(std::filesystem::exists(kDejaVu)) << "fonts-dejavu-core is not installed";
    logo_ = testing::MakeMedia(folder_, "logo.png",
                               "-f lavfi -i color=c=white:size=40x40 -frames:v 1 -update 1");
    subtitles_ = testing::WriteTextFile(
        folder_, "sub.srt",
        "1\n00:00:00,000 --> 00:00:10,000\nZembra \xE6\xB5\x8B\xE8\xAF\x95\n\n");
  }

  // A copy of `file` (or a link to it) under a name of the test's choosing.
  std::string CopyAs(const std::string& file, const std::string& name) {
    const std::string path = folder_.File(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::filesystem::copy_file(file, path);
    return path;
  }

  std::unique_ptr<TAVFilter> Logo(const std::string& file, int x = 0, int y = 0) {
    auto logo = std::make_unique<TLogoFilter>();
    logo->SetLogoFile(file);
    logo->SetX(x);
    logo->SetY(y);
    return logo;
  }
  static std::unique_ptr<TAVFilter> Text(const std::string& text,
                                         const std::string& font = kDejaVu) {
    auto filter = std::make_unique<TOverlayTextFilter>();
    filter->SetText(text);
    filter->SetFontFile(font);
    filter->SetFontSize(24);
    filter->SetX(10);
    filter->SetY(20);
    filter->SetFontColor(kRed);
    return filter;
  }
  static std::unique_ptr<TAVFilter> Subtitle(const std::string& file,
                                             const std::string& font = kDejaVu,
                                             const std::string& code_page = "") {
    auto filter = std::make_unique<TSubtitleFilter>();
    filter->SetSubtitleFile(file);
    filter->SetFontFile(font);
    filter->SetCodePage(code_page);
    filter->SetFontColor(kRed);
    return filter;
  }
  static std::unique_ptr<TAVFilter> Standard(const std::function<void(TVideoStdFilter&)>& set) {
    auto filter = std::make_unique<TVideoStdFilter>();
    set(*filter);
    return filter;
  }
  static std::unique_ptr<TAVFilter> Rotate90() {
    return Standard([](TVideoStdFilter& f) {
      f.SetRotate(true);
      f.SetDegree(90);
    });
  }
  static std::unique_ptr<TAVFilter> VerticalFlip() {
    return Standard([](TVideoStdFilter& f) { f.SetVerticalFilp(true); });
  }

  template <typename... Filters>
  static std::string Graph(Filters... filters) {
    TAVFilterList list;
    (list.push_back(std::move(filters)), ...);
    return BuildFilterGraph(list);
  }

  testing::TempFolder folder_;
  std::string logo_;
  std::string subtitles_;
};

// Quotes, option and filter separators, brackets, backslashes, percent signs, line breaks and
// blanks at the ends: each value reaches its filter exactly, and nothing else is added.
TEST_F(FilterGraphTest, HostileValuesArriveLiterallyAndAddNothing) {
  const std::string odd_name = "it's a:logo,[1];%d=\\x.png";
  const std::string hostile_logo = CopyAs(logo_, odd_name);
  const std::string blank_ended_logo = CopyAs(logo_, " back\\slash\\'q \n.png ");
  const std::string hostile_font = folder_.File("fo'nt:[1],;=%.ttf");
  std::filesystem::create_symlink(kDejaVu, hostile_font);
  const std::string hostile_font_folder = folder_.File("fonts 'x:[y],z;\\");
  std::filesystem::create_directories(hostile_font_folder);
  std::filesystem::create_symlink(kDejaVu, hostile_font_folder + "/DejaVuSans.ttf");
  const std::string hostile_subtitles = CopyAs(subtitles_, "sub's:[x],y;%\\.srt");
  const std::string escape_attempt = "x':fontsize=99,movie=/etc/passwd[p];[p]null[out];[in]null";
  const std::string backslash_attempt = "x\\\\':x=300\\,negate[out];[in]vflip";

  struct Case {
    const char* what;
    std::function<std::string()> text;
    std::vector<std::string> filters;  // what the graph holds besides its ends
    const char* filter;                // whose options are checked
    std::vector<std::pair<const char*, std::string>> options;
  };
  const Case cases[] = {
      {"a logo path with a quote, colons, separators and a pattern",
       [&] { return Graph(Logo(hostile_logo, 7, 9)); },
       {"movie", "overlay"},
       "movie",
       {{"filename", hostile_logo}, {"format_name", "image2pipe"}}},
      {"a logo path with backslashes and blanks at its end",
       [&] { return Graph(Logo(blank_ended_logo, 7, 9)); },
       {"movie", "overlay"},
       "movie",
       {{"filename", blank_ended_logo}}},
      {"a text with every separator",
       [] { return Graph(Text("it's: a, b; [c] \\d 100% {x} %{pts} =")); },
       {"drawtext"},
       "drawtext",
       {{"text", "it's: a, b; [c] \\d 100% {x} %{pts} ="}, {"fontsize", "24"}, {"x", "10"}}},
      {"a text trying to close the filter and read a file",
       [&] { return Graph(Text(escape_attempt)); },
       {"drawtext"},
       "drawtext",
       {{"text", escape_attempt}, {"fontsize", "24"}}},
      {"a text with escaped quotes and backslashes",
       [&] { return Graph(Text(backslash_attempt)); },
       {"drawtext"},
       "drawtext",
       {{"text", backslash_attempt}, {"x", "10"}, {"y", "20"}}},
      {"a text with line breaks and blanks at both ends",
       [] { return Graph(Text("\n  two\r\nlines \r\n")); },
       {"drawtext"},
       "drawtext",
       {{"text", "\n  two\nlines \n"}}},
      {"a font path with quotes and separators",
       [&] { return Graph(Text("font", hostile_font)); },
       {"drawtext"},
       "drawtext",
       {{"fontfile", hostile_font}, {"text", "font"}}},
      {"subtitle and font folder paths with quotes and separators",
       [&] { return Graph(Subtitle(hostile_subtitles, hostile_font_folder + "/DejaVuSans.ttf")); },
       {"subtitles"},
       "subtitles",
       // (The filter splits its style list in place, so that option cannot be read back.)
       {{"filename", hostile_subtitles}, {"fontsdir", hostile_font_folder}}},
      {"a logo after a flip and before a text keeps every value",
       [&] { return Graph(VerticalFlip(), Logo(hostile_logo), Text(escape_attempt)); },
       {"vflip", "movie", "overlay", "drawtext"},
       "movie",
       {{"filename", hostile_logo}}},
  };
  for (const Case& c : cases) {
    const std::string text = c.text();
    TestGraph graph;
    ASSERT_GE(graph.Parse(text), 0) << c.what << "\n" << text;
    EXPECT_EQ(graph.AddedNames(), c.filters) << c.what << "\n" << text;
    for (const auto& [key, value] : c.options) {
      EXPECT_EQ(TestGraph::Option(graph.Find(c.filter), key), value)
          << c.what << ", option " << key << "\n"
          << text;
    }
    EXPECT_GE(graph.Configure(), 0) << c.what;
  }
}

// Values the filter itself refuses still arrive whole: the library names them in its error,
// and the graph gains nothing from them.
TEST_F(FilterGraphTest, RefusedValuesArriveWholeInTheLibrarysError) {
  struct Case {
    const char* what;
    std::string text;
    std::string logged;
  };
  const Case cases[] = {
      {"a box colour with separators", Graph(Standard([](TVideoStdFilter& f) {
         f.SetDrawBox(true);
         f.SetBColor("Red:x=200,negate[out];[in]vflip");
       })),
       "Cannot find color 'Red:x=200,negate[out];[in]vflip'"},
      {"a code page with separators", Graph(Subtitle(subtitles_, "", "GBK:x=1,negate;'")),
       "input character encoding \"GBK:x=1,negate;'\""},
  };
  for (const Case& c : cases) {
    testing::LibraryLog log;
    TestGraph graph;
    EXPECT_LT(graph.Parse(c.text), 0) << c.what << "\n" << c.text;
    EXPECT_NE(log.Text().find(c.logged), std::string::npos) << c.what << "\n" << log.Text();
    for (const std::string& name : graph.AddedNames()) {
      EXPECT_TRUE(name == "drawbox" || name == "subtitles") << c.what << ": added " << name;
    }
  }
}

// Every ordered pair of the four kinds, and a chain of all four, parses, configures and runs;
// the picture passes the filters in list order.
TEST_F(FilterGraphTest, EveryPairAndAChainOfAllFourRunInOrder) {
  struct Kind {
    const char* name;
    std::function<std::unique_ptr<TAVFilter>()> make;
    std::vector<std::string> path;
    bool turns;
  };
  const Kind kinds[] = {
      {"logo", [&] { return Logo(logo_, 5, 5); }, {"overlay"}, false},
      {"text",
       [] { return Text("Zembra \xE6\xB5\x8B\xE8\xAF\x95", kZenHei); },
       {"drawtext"},
       false},
      {"subtitles", [&] { return Subtitle(subtitles_); }, {"subtitles"}, false},
      {"standard",
       [] {
         return Standard([](TVideoStdFilter& f) {
           f.SetVerticalFilp(true);
           f.SetHorizontalFilip(true);
           f.SetDrawBox(true);
           f.SetBX(4);
           f.SetBY(4);
           f.SetBWidth(30);
           f.SetBHeight(20);
           f.SetBColor("Red");
           f.SetNegate(true);
           f.SetRotate(true);
           f.SetDegree(90);
         });
       },
       {"vflip", "hflip", "drawbox", "negate", "rotate"},
       true},
  };
  auto check = [](const std::vector<const Kind*>& chain) {
    std::string what;
    TAVFilterList list;
    std::vector<std::string> path;
    bool turned = false;
    for (const Kind* kind : chain) {
      what += std::string(what.empty() ? "" : " + ") + kind->name;
      list.push_back(kind->make());
      path.insert(path.end(), kind->path.begin(), kind->path.end());
      turned ^= kind->turns;
    }
    const std::string text = BuildFilterGraph(list);
    TestGraph graph;
    ASSERT_GE(graph.Parse(text), 0) << what << "\n" << text;
    ASSERT_GE(graph.Configure(), 0) << what << "\n" << text;
    EXPECT_EQ(graph.PicturePath(), path) << what << "\n" << text;
    const auto frames = graph.Run(3);
    ASSERT_EQ(frames.size(), 3U) << what;
    for (const auto& frame : frames) {
      EXPECT_EQ(frame->width, turned ? 240 : 320) << what;
      EXPECT_EQ(frame->height, turned ? 320 : 240) << what;
    }
  };
  for (const Kind& first : kinds) {
    for (const Kind& second : kinds) check({&first, &second});
  }
  check({&kinds[0], &kinds[1], &kinds[2], &kinds[3]});
  check({&kinds[3], &kinds[2], &kinds[1], &kinds[0]});
}

// Where a white logo lands on a black picture tells the order the filters ran in.
TEST_F(FilterGraphTest, LogoLandsWhereTheFilterOrderPutsIt) {
  struct Case {
    const char* what;
    std::function<std::string()> text;
    int width;
    int height;
    std::pair<int, int> white;
    std::pair<int, int> black;
  };
  const Case cases[] = {
      {"logo, then vertical flip: bottom left",
       [&] { return Graph(Logo(logo_), VerticalFlip()); },
       320,
       240,
       {20, 220},
       {20, 20}},
      {"vertical flip, then logo: top left",
       [&] { return Graph(VerticalFlip(), Logo(logo_)); },
       320,
       240,
       {20, 20},
       {20, 220}},
      {"logo, then rotate 90: top right",
       [&] { return Graph(Logo(logo_), Rotate90()); },
       240,
       320,
       {220, 20},
       {20, 20}},
      {"rotate 90, then logo: top left",
       [&] { return Graph(Rotate90(), Logo(logo_)); },
       240,
       320,
       {20, 20},
       {220, 20}},
      {"a logo placed at 200,100",
       [&] { return Graph(Logo(logo_, 200, 100)); },
       320,
       240,
       {220, 120},
       {20, 20}},
  };
  for (const Case& c : cases) {
    const std::string text = c.text();
    TestGraph graph;
    ASSERT_GE(graph.Parse(text), 0) << c.what << "\n" << text;
    ASSERT_GE(graph.Configure(), 0) << c.what;
    const auto frames = graph.Run(2);
    ASSERT_EQ(frames.size(), 2U) << c.what;
    const AVFrame& frame = *frames.back();
    EXPECT_EQ(frame.width, c.width) << c.what;
    EXPECT_EQ(frame.height, c.height) << c.what;
    EXPECT_GT(TestGraph::Luma(frame, c.white.first, c.white.second), 200) << c.what;
    EXPECT_LT(TestGraph::Luma(frame, c.black.first, c.black.second), 40) << c.what;
  }
}

}  // namespace
}  // namespace zembra::filters
