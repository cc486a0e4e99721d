// The graph texts the filters write, their published properties and the font family reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "filters/av_filter.h"
#include "filters/font_family.h"
#include "support/media_fixtures.h"

namespace zembra::filters {
namespace {

constexpr std::int32_t kRed = 0x000000FF;   // 0x00BBGGRR
constexpr std::int32_t kBlue = 0x00FF0000;  // 0x00BBGGRR
constexpr const char* kZenHei = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc";
constexpr const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

const std::string kRotate90 = "rotate=angle=90*PI/180:out_w=rotw(90*PI/180):out_h=roth(90*PI/180)";

struct TextCase {
  const char* what;
  std::function<std::unique_ptr<TAVFilter>()> make;
  std::string expected;
};

void ExpectTexts(const std::vector<TextCase>& cases) {
  for (const TextCase& c : cases) {
    const auto filter = c.make();
    EXPECT_EQ(filter->GetFilterText(), c.expected) << c.what;
    // A filter on its own joins to its own text.
    TAVFilterList list;
    list.push_back(c.make());
    EXPECT_EQ(BuildFilterGraph(list), c.expected) << c.what;
  }
}

std::unique_ptr<TAVFilter> Logo(int x, int y, const std::string& file) {
  auto logo = std::make_unique<TLogoFilter>();
  logo->SetX(x);
  logo->SetY(y);
  logo->SetLogoFile(file);
  return logo;
}

std::unique_ptr<TAVFilter> Text(const std::string& text, const std::string& font, int size,
                                std::int32_t color, std::int32_t background, int x = 10,
                                int y = 20) {
  auto filter = std::make_unique<TOverlayTextFilter>();
  filter->SetText(text);
  filter->SetFontFile(font);
  filter->SetFontSize(size);
  filter->SetFontColor(color);
  filter->SetBgColor(background);
  filter->SetX(x);
  filter->SetY(y);
  return filter;
}

std::unique_ptr<TAVFilter> Subtitle(const std::string& file, const std::string& font,
                                    const std::string& code_page, std::int32_t color) {
  auto filter = std::make_unique<TSubtitleFilter>();
  filter->SetSubtitleFile(file);
  filter->SetFontFile(font);
  filter->SetCodePage(code_page);
  filter->SetFontColor(color);
  return filter;
}

std::unique_ptr<TAVFilter> Standard(const std::function<void(TVideoStdFilter&)>& set) {
  auto filter = std::make_unique<TVideoStdFilter>();
  set(*filter);
  return filter;
}

TEST(FilterTextTest, Logo) {
  ExpectTexts({
      {"absolute path", [] { return Logo(10, 20, "/data/logo.png"); },
       "movie=filename=/data/logo.png:format_name=image2pipe[aux1];"
       "[in][aux1]overlay=x=10:y=20[out]"},
      {"relative path stays a file, negative position", [] { return Logo(-5, 0, "pics/logo.png"); },
       R"(movie=filename=file\\:pics/logo.png:format_name=image2pipe[aux1];)"
       "[in][aux1]overlay=x=-5:y=0[out]"},
      {"no file: nothing to overlay", [] { return Logo(10, 20, ""); }, ""},
  });
}

TEST(FilterTextTest, OverlayText) {
  ExpectTexts({
      {"line break, red on blue", [] { return Text("A\r\nB", "/f/font.ttf", 24, kRed, kBlue); },
       "[in]drawtext=fontfile=/f/font.ttf:text=A\nB:expansion=none:x=10:y=20:fontsize=24:"
       "fontcolor=0xFF0000FF:boxcolor=0x0000FF00[out]"},
      {"blue on red", [] { return Text("Hi", "/f/font.ttf", 16, kBlue, kRed); },
       "[in]drawtext=fontfile=/f/font.ttf:text=Hi:expansion=none:x=10:y=20:fontsize=16:"
       "fontcolor=0x0000FFFF:boxcolor=0xFF000000[out]"},
      {"the dialog's closing line break is kept, escaped as the value's end",
       [] { return Text("A\r\n", "", 0, 0x00FFFF, 0, 0, 0); },
       "[in]drawtext=text=A\\\\\n:expansion=none:x=0:y=0:fontcolor=0xFFFF00FF:"
       "boxcolor=0x00000000[out]"},
      {"a system colour's top byte is dropped",
       [] { return Text("Hi", "", 12, static_cast<std::int32_t>(0xFF0000FFu), kBlue); },
       "[in]drawtext=text=Hi:expansion=none:x=10:y=20:fontsize=12:fontcolor=0xFF0000FF:"
       "boxcolor=0x0000FF00[out]"},
      {"no text: nothing to draw", [] { return Text("", "/f/font.ttf", 24, kRed, kBlue); }, ""},
  });
}

TEST(FilterTextTest, Subtitles) {
  ExpectTexts({
      {"no code page, red", [] { return Subtitle("/subs/a.srt", "", "", kRed); },
       "[in]subtitles=filename=/subs/a.srt:force_style=PrimaryColour=&H000000FF[out]"},
      {"code page GBK, blue", [] { return Subtitle("/subs/a.srt", "", "GBK", kBlue); },
       "[in]subtitles=filename=/subs/a.srt:charenc=GBK:force_style=PrimaryColour=&H00FF0000"
       "[out]"},
      {"a code page with blanks is trimmed; an unreadable font still gives its folder",
       [] { return Subtitle("/subs/a.srt", "/no/such/font.ttf", " GBK ", kRed); },
       "[in]subtitles=filename=/subs/a.srt:fontsdir=/no/such:charenc=GBK:"
       "force_style=PrimaryColour=&H000000FF[out]"},
      {"the font's family is the style's font",
       [] { return Subtitle("/subs/a.srt", kZenHei, "", kRed); },
       "[in]subtitles=filename=/subs/a.srt:fontsdir=/usr/share/fonts/truetype/wqy:"
       "force_style=FontName=WenQuanYi Zen Hei\\,PrimaryColour=&H000000FF[out]"},
      {"no subtitle file: nothing to show", [] { return Subtitle("", kZenHei, "GBK", kRed); }, ""},
  });
}

TEST(FilterTextTest, StandardFilters) {
  ExpectTexts({
      {"vertical flip and negate",
       [] {
         return Standard([](TVideoStdFilter& f) {
           f.SetVerticalFilp(true);
           f.SetNegate(true);
         });
       },
       "[in]vflip,negate[out]"},
      {"both flips",
       [] {
         return Standard([](TVideoStdFilter& f) {
           f.SetVerticalFilp(true);
           f.SetHorizontalFilip(true);
         });
       },
       "[in]vflip,hflip[out]"},
      {"rotate 90 alone",
       [] {
         return Standard([](TVideoStdFilter& f) {
           f.SetRotate(true);
           f.SetDegree(90);
         });
       },
       "[in]" + kRotate90 + "[out]"},
      {"a box in a named colour",
       [] {
         return Standard([](TVideoStdFilter& f) {
           f.SetDrawBox(true);
           f.SetBX(10);
           f.SetBY(20);
           f.SetBWidth(100);
           f.SetBHeight(50);
           f.SetBColor("Red");
         });
       },
       "[in]drawbox=x=10:y=20:width=100:height=50:color=Red[out]"},
      {"a box without a colour name takes the library's black",
       [] {
         return Standard([](TVideoStdFilter& f) {
           f.SetDrawBox(true);
           f.SetBWidth(8);
           f.SetBHeight(8);
         });
       },
       "[in]drawbox=x=0:y=0:width=8:height=8[out]"},
      {"everything, in the fixed order",
       [] {
         return Standard([](TVideoStdFilter& f) {
           f.SetRotate(true);
           f.SetDegree(90);
           f.SetNegate(true);
           f.SetDrawBox(true);
           f.SetBColor("Navy");
           f.SetHorizontalFilip(true);
           f.SetVerticalFilp(true);
         });
       },
       "[in]vflip,hflip,drawbox=x=0:y=0:width=0:height=0:color=Navy,negate," + kRotate90 + "[out]"},
      {"nothing switched on (values set but unused)",
       [] {
         return Standard([](TVideoStdFilter& f) {
           f.SetDegree(90);
           f.SetBColor("Red");
         });
       },
       ""},
  });
}

TEST(FilterTextTest, ListsComposeInOrderAndEmptyFiltersVanish) {
  const std::string logo_source =
      "movie=filename=/l.png:format_name=image2pipe[aux1];[in][aux1]overlay=x=1:y=2";
  auto vflip = [] { return Standard([](TVideoStdFilter& f) { f.SetVerticalFilp(true); }); };
  auto empty = [] { return Standard([](TVideoStdFilter&) {}); };
  struct Case {
    const char* what;
    std::function<TAVFilterList()> make;
    std::string expected;
  };
  const Case cases[] = {
      {"logo, then a flip continues the chain",
       [&] {
         TAVFilterList list;
         list.push_back(Logo(1, 2, "/l.png"));
         list.push_back(vflip());
         return list;
       },
       logo_source + ",vflip[out]"},
      {"a flip, then a logo takes the flipped picture",
       [&] {
         TAVFilterList list;
         list.push_back(vflip());
         list.push_back(Logo(1, 2, "/l.png"));
         return list;
       },
       "[in]vflip[v1];movie=filename=/l.png:format_name=image2pipe[aux1];"
       "[v1][aux1]overlay=x=1:y=2[out]"},
      {"two logos get labels of their own",
       [&] {
         TAVFilterList list;
         list.push_back(Logo(1, 2, "/l.png"));
         list.push_back(Logo(3, 4, "/m.png"));
         return list;
       },
       logo_source + "[v1];movie=filename=/m.png:format_name=image2pipe[aux2];"
                     "[v1][aux2]overlay=x=3:y=4[out]"},
      {"empty filters and null entries contribute nothing",
       [&] {
         TAVFilterList list;
         list.push_back(empty());
         list.push_back(nullptr);
         list.push_back(vflip());
         list.push_back(Logo(0, 0, ""));
         return list;
       },
       "[in]vflip[out]"},
      {"a list of empty filters is no filtering",
       [&] {
         TAVFilterList list;
         list.push_back(empty());
         return list;
       },
       ""},
      {"no filters", [] { return TAVFilterList(); }, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildFilterGraph(c.make()), c.expected) << c.what;
}

TEST(FilterTextTest, ClassesPublishTheirPropertiesAndNames) {
  struct Case {
    std::unique_ptr<TAVFilter> filter;
    const char* class_name;
    const char* display_name;
    std::vector<std::string> properties;
  };
  Case cases[] = {
      {std::make_unique<TLogoFilter>(), "TLogoFilter", "Logo Filter", {"X", "Y", "LogoFile"}},
      {std::make_unique<TSubtitleFilter>(),
       "TSubtitleFilter",
       "Hard Subtitle Filter",
       {"SubtitleFile", "FontFile", "CodePage", "FontColor"}},
      {std::make_unique<TOverlayTextFilter>(),
       "TOverlayTextFilter",
       "Overlay Text Filter",
       {"Text", "FontSize", "FontFile", "X", "Y", "FontColor", "BgColor"}},
      {std::make_unique<TVideoStdFilter>(),
       "TVideoStdFilter",
       "Standar Filters",
       {"VerticalFilp", "HorizontalFilip", "BHeight", "DrawBox", "Rotate", "BWidth", "Negate",
        "BColor", "BX", "BY", "Degree"}},
  };
  for (Case& c : cases) {
    EXPECT_EQ(c.filter->ClassName(), c.class_name);
    EXPECT_EQ(c.filter->GetFilterName(), c.display_name);
    std::vector<std::string> names;
    for (const engine::PropertyInfo& info : c.filter->PublishedProperties()) {
      names.emplace_back(info.name);
      // A new filter is all zero, false or empty, and always stored.
      EXPECT_FALSE(info.declared_default.has_value()) << info.name;
      const engine::PropertyValue value = info.get(*c.filter);
      std::visit(
          [&](const auto& v) {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, std::string>) {
              EXPECT_TRUE(v.empty()) << info.name;
            } else if constexpr (std::is_arithmetic_v<V>) {
              EXPECT_EQ(v, V{}) << info.name;
            } else {
              ADD_FAILURE() << info.name << " has an unexpected kind";
            }
          },
          value);
    }
    EXPECT_EQ(names, c.properties) << c.class_name;
    EXPECT_EQ(c.filter->GetFilterText(), "") << c.class_name;
  }
}

TEST(FilterTextTest, AssignCopiesEveryPropertyAndRefusesOtherKinds) {
  TVideoStdFilter source;
  source.SetVerticalFilp(true);
  source.SetHorizontalFilip(true);
  source.SetBHeight(5);
  source.SetDrawBox(true);
  source.SetRotate(true);
  source.SetBWidth(6);
  source.SetNegate(true);
  source.SetBColor("Teal");
  source.SetBX(7);
  source.SetBY(8);
  source.SetDegree(270);
  TVideoStdFilter copy;
  copy.Assign(source);
  EXPECT_EQ(copy.GetFilterText(), source.GetFilterText());
  for (const engine::PropertyInfo& info : source.PublishedProperties()) {
    EXPECT_EQ(info.get(copy), info.get(source)) << info.name;
  }

  TOverlayTextFilter text;
  text.SetText("x");
  text.SetFontSize(9);
  text.SetFontFile("/f.ttf");
  text.SetX(1);
  text.SetY(2);
  text.SetFontColor(kRed);
  text.SetBgColor(kBlue);
  TOverlayTextFilter text_copy;
  text_copy.Assign(text);
  for (const engine::PropertyInfo& info : text.PublishedProperties()) {
    EXPECT_EQ(info.get(text_copy), info.get(text)) << info.name;
  }

  TSubtitleFilter subtitle;
  subtitle.SetSubtitleFile("/s.srt");
  subtitle.SetFontFile("/f.ttf");
  subtitle.SetCodePage("BIG5");
  subtitle.SetFontColor(kBlue);
  TSubtitleFilter subtitle_copy;
  subtitle_copy.Assign(subtitle);
  EXPECT_EQ(subtitle_copy.GetFilterText(), subtitle.GetFilterText());

  TLogoFilter logo;
  logo.SetX(3);
  logo.SetY(4);
  logo.SetLogoFile("/l.png");
  TLogoFilter logo_copy;
  logo_copy.Assign(logo);
  EXPECT_EQ(logo_copy.GetFilterText(), logo.GetFilterText());

  EXPECT_THROW(logo_copy.Assign(subtitle), std::invalid_argument);
  EXPECT_EQ(logo_copy.GetFilterText(), logo.GetFilterText());
}

TEST(FilterTextTest, FamilyNamesComeFromTheFontFiles) {
  ASSERT_TRUE(std::filesystem::exists(kZenHei)) << "fonts-wqy-zenhei is not installed";
  ASSERT_TRUE(std::filesystem::exists(kDejaVu)) << "fonts-dejavu-core is not installed";
  testing::TempFolder folder;
  std::string head(200, '\0');
  std::ifstream(kDejaVu, std::ios::binary).read(head.data(), 200);
  const std::string truncated = folder.File("truncated.ttf");
  std::ofstream(truncated, std::ios::binary) << head;
  struct Case {
    std::string path;
    std::string family;
  };
  const Case cases[] = {
      {kZenHei, "WenQuanYi Zen Hei"},  // the first font of a collection
      {kDejaVu, "DejaVu Sans"},
      {folder.File("missing.ttf"), ""},
      {testing::WriteTextFile(folder, "text.ttf", "not a font at all, but long enough"), ""},
      {truncated, ""},
      {folder.path().string(), ""},  // a folder
  };
  for (const Case& c : cases) EXPECT_EQ(FontFamilyName(c.path), c.family) << c.path;
}

// Stands in for the user interface's dialogs.
class RecordingDialogs : public FilterDialogHost {
 public:
  bool Run(TLogoFilter& filter, FilterDialogMode mode) override {
    calls.push_back(std::string("logo ") + (mode == FilterDialogMode::kNew ? "new" : "edit"));
    if (!confirm) return false;
    filter.SetLogoFile("/chosen.png");
    return true;
  }
  bool Run(TOverlayTextFilter&, FilterDialogMode) override { return Record("text"); }
  bool Run(TSubtitleFilter&, FilterDialogMode) override { return Record("subtitle"); }
  bool Run(TVideoStdFilter&, FilterDialogMode) override { return Record("standard"); }
  bool Record(const char* kind) {
    calls.emplace_back(kind);
    return confirm;
  }

  bool confirm = true;
  std::vector<std::string> calls;
};

TEST(FilterTextTest, DialogsComeFromTheInstalledHost) {
  TLogoFilter logo;
  EXPECT_FALSE(logo.NewByDialog());  // no user interface: nothing changes
  EXPECT_FALSE(logo.EditByDialog());
  EXPECT_EQ(logo.LogoFile(), "");

  RecordingDialogs dialogs;
  SetFilterDialogHost(&dialogs);
  dialogs.confirm = false;
  EXPECT_FALSE(logo.NewByDialog());
  EXPECT_EQ(logo.LogoFile(), "");
  dialogs.confirm = true;
  EXPECT_TRUE(logo.EditByDialog());
  EXPECT_EQ(logo.LogoFile(), "/chosen.png");
  TOverlayTextFilter text;
  TSubtitleFilter subtitle;
  TVideoStdFilter standard;
  EXPECT_TRUE(text.NewByDialog());
  EXPECT_TRUE(subtitle.EditByDialog());
  EXPECT_TRUE(standard.NewByDialog());
  SetFilterDialogHost(nullptr);
  EXPECT_FALSE(standard.EditByDialog());
  EXPECT_EQ(dialogs.calls,
            (std::vector<std::string>{"logo new", "logo edit", "text", "subtitle", "standard"}));
}

}  // namespace
}  // namespace zembra::filters
