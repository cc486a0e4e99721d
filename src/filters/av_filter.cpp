#include "filters/av_filter.h"

#include <cstdio>
#include <filesystem>

#include "filters/font_family.h"
#include "media/helpers.h"

namespace zembra::filters {

using engine::MakeProperty;
using engine::PropertyInfo;
using engine::TPersistent;

namespace {

FilterDialogHost* dialog_host = nullptr;  // user-interface thread only

template <typename Filter>
bool RunDialog(Filter& filter, FilterDialogMode mode) {
  return dialog_host != nullptr && dialog_host->Run(filter, mode);
}

// A file the media libraries open by name: a relative name could read as a protocol
// ("concat:...", "subfile,..."), so it is pinned to the file protocol.
std::string MediaFileName(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  return "file:" + path;
}

// 0xRRGGBBAA from a stored 0x00BBGGRR colour and an alpha byte.
std::string ColorWithAlpha(std::int32_t color, unsigned alpha) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06X%02X",
                media::ColorToRGB(static_cast<std::uint32_t>(color)), alpha & 0xFFu);
  return text;
}

// The subtitle renderer's colour &HAABBGGRR (alpha 00 is opaque), which keeps the stored
// byte order.
std::string SubtitleColor(std::int32_t color) {
  char text[16];
  std::snprintf(text, sizeof text, "&H00%06X", static_cast<std::uint32_t>(color) & 0xFFFFFFu);
  return text;
}

// Lines of the text travel as line feeds; the text filter breaks lines there.
std::string PlainLineBreaks(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    result += text[i];
  }
  return result;
}

std::string Trimmed(const std::string& text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The style override list is split at commas and at its last "=" with no escape, so a
// family name holding either (or a control character) cannot be passed and is left out.
bool UsableInStyle(const std::string& family) {
  if (family.empty()) return false;
  for (const char c : family) {
    if (c == ',' || c == '=' || (static_cast<unsigned char>(c) < 0x20)) return false;
  }
  return true;
}

FilterStep Plain(std::string name, std::vector<FilterOption> options = {}) {
  return FilterStep{FilterSpec{std::move(name), std::move(options)}, {}};
}

}  // namespace

void SetFilterDialogHost(FilterDialogHost* host) { dialog_host = host; }

std::string TAVFilter::GetFilterText() const { return RenderFilterGraph(GetFilterSteps()); }

std::string BuildFilterGraph(std::span<const TAVFilter* const> filters) {
  FilterSteps steps;
  for (const TAVFilter* filter : filters) {
    if (filter == nullptr) continue;
    FilterSteps own = filter->GetFilterSteps();
    steps.insert(steps.end(), std::make_move_iterator(own.begin()),
                 std::make_move_iterator(own.end()));
  }
  return RenderFilterGraph(steps);
}

std::string BuildFilterGraph(const TAVFilterList& filters) {
  std::vector<const TAVFilter*> pointers;
  pointers.reserve(filters.size());
  for (const auto& filter : filters) pointers.push_back(filter.get());
  return BuildFilterGraph(std::span<const TAVFilter* const>(pointers));
}

// --- TLogoFilter

void TLogoFilter::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TLogoFilter*>(&source);
  if (from == nullptr) return TPersistent::Assign(source);
  SetX(from->X());
  SetY(from->Y());
  SetLogoFile(from->LogoFile());
}

std::span<const PropertyInfo> TLogoFilter::PublishedProperties() const {
  static const PropertyInfo properties[] = {
      MakeProperty<&TLogoFilter::X, &TLogoFilter::SetX>("X"),
      MakeProperty<&TLogoFilter::Y, &TLogoFilter::SetY>("Y"),
      MakeProperty<&TLogoFilter::LogoFile, &TLogoFilter::SetLogoFile>("LogoFile"),
  };
  return properties;
}

bool TLogoFilter::NewByDialog() { return RunDialog(*this, FilterDialogMode::kNew); }
bool TLogoFilter::EditByDialog() { return RunDialog(*this, FilterDialogMode::kEdit); }

FilterSteps TLogoFilter::GetFilterSteps() const {
  if (LogoFile().empty()) return {};
  // The picture's own content decides how it is read: a name is never a sequence pattern.
  FilterSpec movie{"movie",
                   {{"filename", MediaFileName(LogoFile())}, {"format_name", "image2pipe"}}};
  FilterSpec overlay{"overlay", {{"x", std::to_string(X())}, {"y", std::to_string(Y())}}};
  return {FilterStep{std::move(overlay), {std::move(movie)}}};
}

// --- TSubtitleFilter

void TSubtitleFilter::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TSubtitleFilter*>(&source);
  if (from == nullptr) return TPersistent::Assign(source);
  SetSubtitleFile(from->SubtitleFile());
  SetFontFile(from->FontFile());
  SetCodePage(from->CodePage());
  SetFontColor(from->FontColor());
}

std::span<const PropertyInfo> TSubtitleFilter::PublishedProperties() const {
  static const PropertyInfo properties[] = {
      MakeProperty<&TSubtitleFilter::SubtitleFile, &TSubtitleFilter::SetSubtitleFile>(
          "SubtitleFile"),
      MakeProperty<&TSubtitleFilter::FontFile, &TSubtitleFilter::SetFontFile>("FontFile"),
      MakeProperty<&TSubtitleFilter::CodePage, &TSubtitleFilter::SetCodePage>("CodePage"),
      MakeProperty<&TSubtitleFilter::FontColor, &TSubtitleFilter::SetFontColor>("FontColor"),
  };
  return properties;
}

bool TSubtitleFilter::NewByDialog() { return RunDialog(*this, FilterDialogMode::kNew); }
bool TSubtitleFilter::EditByDialog() { return RunDialog(*this, FilterDialogMode::kEdit); }

FilterSteps TSubtitleFilter::GetFilterSteps() const {
  if (SubtitleFile().empty()) return {};
  std::vector<FilterOption> options{{"filename", MediaFileName(SubtitleFile())}};
  std::string style;
  if (!FontFile().empty()) {
    // The renderer finds fonts by family name; the font's folder makes this one available
    // even when it is not installed.
    std::string folder = std::filesystem::path(FontFile()).parent_path().string();
    options.push_back({"fontsdir", folder.empty() ? "." : folder});
    const std::string family = FontFamilyName(FontFile());
    if (UsableInStyle(family)) style = "FontName=" + family + ",";
  }
  const std::string code_page = Trimmed(CodePage());
  if (!code_page.empty()) options.push_back({"charenc", code_page});
  options.push_back({"force_style", style + "PrimaryColour=" + SubtitleColor(FontColor())});
  return {Plain("subtitles", std::move(options))};
}

// --- TOverlayTextFilter

void TOverlayTextFilter::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TOverlayTextFilter*>(&source);
  if (from == nullptr) return TPersistent::Assign(source);
  SetText(from->Text());
  SetFontSize(from->FontSize());
  SetFontFile(from->FontFile());
  SetX(from->X());
  SetY(from->Y());
  SetFontColor(from->FontColor());
  SetBgColor(from->BgColor());
}

std::span<const PropertyInfo> TOverlayTextFilter::PublishedProperties() const {
  using T = TOverlayTextFilter;
  static const PropertyInfo properties[] = {
      MakeProperty<&T::Text, &T::SetText>("Text"),
      MakeProperty<&T::FontSize, &T::SetFontSize>("FontSize"),
      MakeProperty<&T::FontFile, &T::SetFontFile>("FontFile"),
      MakeProperty<&T::X, &T::SetX>("X"),
      MakeProperty<&T::Y, &T::SetY>("Y"),
      MakeProperty<&T::FontColor, &T::SetFontColor>("FontColor"),
      MakeProperty<&T::BgColor, &T::SetBgColor>("BgColor"),
  };
  return properties;
}

bool TOverlayTextFilter::NewByDialog() { return RunDialog(*this, FilterDialogMode::kNew); }
bool TOverlayTextFilter::EditByDialog() { return RunDialog(*this, FilterDialogMode::kEdit); }

FilterSteps TOverlayTextFilter::GetFilterSteps() const {
  if (Text().empty()) return {};
  std::vector<FilterOption> options;
  if (!FontFile().empty()) options.push_back({"fontfile", FontFile()});
  // The text is shown as typed: no "%{...}" sequences are expanded.
  options.push_back({"text", PlainLineBreaks(Text())});
  options.push_back({"expansion", "none"});
  options.push_back({"x", std::to_string(X())});
  options.push_back({"y", std::to_string(Y())});
  if (FontSize() > 0) options.push_back({"fontsize", std::to_string(FontSize())});
  options.push_back({"fontcolor", ColorWithAlpha(FontColor(), 0xFF)});
  // Transparent: the text gets no visible background.
  options.push_back({"boxcolor", ColorWithAlpha(BgColor(), 0x00)});
  return {Plain("drawtext", std::move(options))};
}

// --- TVideoStdFilter

void TVideoStdFilter::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TVideoStdFilter*>(&source);
  if (from == nullptr) return TPersistent::Assign(source);
  SetVerticalFilp(from->VerticalFilp());
  SetHorizontalFilip(from->HorizontalFilip());
  SetBHeight(from->BHeight());
  SetDrawBox(from->DrawBox());
  SetRotate(from->Rotate());
  SetBWidth(from->BWidth());
  SetNegate(from->Negate());
  SetBColor(from->BColor());
  SetBX(from->BX());
  SetBY(from->BY());
  SetDegree(from->Degree());
}

std::span<const PropertyInfo> TVideoStdFilter::PublishedProperties() const {
  using T = TVideoStdFilter;
  static const PropertyInfo properties[] = {
      MakeProperty<&T::VerticalFilp, &T::SetVerticalFilp>("VerticalFilp"),
      MakeProperty<&T::HorizontalFilip, &T::SetHorizontalFilip>("HorizontalFilip"),
      MakeProperty<&T::BHeight, &T::SetBHeight>("BHeight"),
      MakeProperty<&T::DrawBox, &T::SetDrawBox>("DrawBox"),
      MakeProperty<&T::Rotate, &T::SetRotate>("Rotate"),
      MakeProperty<&T::BWidth, &T::SetBWidth>("BWidth"),
      MakeProperty<&T::Negate, &T::SetNegate>("Negate"),
      MakeProperty<&T::BColor, &T::SetBColor>("BColor"),
      MakeProperty<&T::BX, &T::SetBX>("BX"),
      MakeProperty<&T::BY, &T::SetBY>("BY"),
      MakeProperty<&T::Degree, &T::SetDegree>("Degree"),
  };
  return properties;
}

bool TVideoStdFilter::NewByDialog() { return RunDialog(*this, FilterDialogMode::kNew); }
bool TVideoStdFilter::EditByDialog() { return RunDialog(*this, FilterDialogMode::kEdit); }

FilterSteps TVideoStdFilter::GetFilterSteps() const {
  FilterSteps steps;
  if (VerticalFilp()) steps.push_back(Plain("vflip"));
  if (HorizontalFilip()) steps.push_back(Plain("hflip"));
  if (DrawBox()) {
    std::vector<FilterOption> options{{"x", std::to_string(BX())},
                                      {"y", std::to_string(BY())},
                                      {"width", std::to_string(BWidth())},
                                      {"height", std::to_string(BHeight())}};
    // Without a name the library's black is used, the dialog's first choice.
    if (!BColor().empty()) options.push_back({"color", BColor()});
    steps.push_back(Plain("drawbox", std::move(options)));
  }
  if (Negate()) steps.push_back(Plain("negate"));
  if (Rotate()) {
    // The frame grows to hold the whole turned picture, so 90 degrees swaps width and height.
    const std::string angle = std::to_string(Degree()) + "*PI/180";
    steps.push_back(Plain(
        "rotate",
        {{"angle", angle}, {"out_w", "rotw(" + angle + ")"}, {"out_h", "roth(" + angle + ")"}}));
  }
  return steps;
}

}  // namespace zembra::filters
