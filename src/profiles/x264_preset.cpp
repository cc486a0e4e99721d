#include "profiles/x264_preset.h"

#include <array>
#include <string_view>

namespace zembra::profiles {
namespace {

// A preset as designed; an empty text means that the preset does not name the setting.
struct DesignedPreset {
  std::string_view partitions;  // "+parti8x8-partp4x4...": flags relative to none
  std::string_view me_method;
  std::string_view subq;
  std::string_view me_range;
  std::string_view b_strategy;
  std::string_view bf;
  std::string_view refs;
  std::string_view directpred;
  std::string_view trellis;
  std::string_view cqp;
  std::string_view flags2;  // "+wpred-dct8x8...": flags relative to the defaults below
  std::string_view wpredp;
};

// clang-format off
constexpr std::array<DesignedPreset, 11> kPresets = {{
  // partitions                                        me     subq  range b_st  bf   refs  dir  trel cqp  flags2                                                 wpredp
  {"+parti8x8+parti4x4+partp8x8+partb8x8",             "hex", "7",  "16", "1", "3", "3",  "1", "1", "",  "+mixed_refs+wpred+dct8x8+fastpskip+mbtree",             "2"},  // basic
  {"-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8",    "dia", "2",  "16", "1", "3", "1",  "3", "0", "",  "-bpyramid-wpred-mixed_refs-dct8x8+fastpskip+mbtree",    "2"},  // FastFirstPass
  {"+parti8x8+parti4x4+partp8x8+partb8x8",             "hex", "6",  "16", "2", "3", "1",  "3", "0", "",  "+wpred+dct8x8+fastpskip+mbtree",                        "2"},  // SlowFirstPass
  {"+parti8x8+parti4x4+partp8x8+partb8x8",             "hex", "6",  "16", "1", "3", "2",  "3", "0", "",  "+wpred+dct8x8+fastpskip+mbtree",                        "2"},  // Common
  {"+parti8x8+parti4x4+partp8x8+partb8x8",             "umh", "8",  "16", "2", "3", "4",  "3", "1", "",  "+wpred+mixed_refs+dct8x8+fastpskip+mbtree",             "2"},  // HighQuality
  {"+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8",    "tesa", "10", "24", "2", "3", "16", "3", "2", "",  "+wpred+mixed_refs+dct8x8-fastpskip+mbtree",            "2"},  // Best
  {"-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8",    "hex", "3",  "16", "1", "",  "",   "1", "",  "0", "+fastpskip+mbtree",                                     "0"},  // LosslessFast
  {"-parti8x8+parti4x4+partp8x8+partp4x4-partb8x8",    "hex", "5",  "16", "1", "",  "",   "1", "",  "0", "+fastpskip+mbtree",                                     "2"},  // LosslessMedium
  {"+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8",    "umh", "6",  "16", "1", "",  "2",  "1", "",  "0", "+dct8x8+fastpskip+mbtree",                              "2"},  // LosslessSlow
  {"+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8",    "umh", "8",  "16", "1", "",  "4",  "1", "",  "0", "+mixed_refs+dct8x8+fastpskip+mbtree",                   "2"},  // LosslessSlower
  {"+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8",    "esa", "8",  "16", "1", "",  "16", "1", "",  "0", "+mixed_refs+dct8x8+fastpskip+mbtree",                   "2"},  // LosslessMax
}};
// clang-format on

// Settings a preset leaves unnamed had libavcodec's defaults in the wrapper it was designed for.
constexpr std::string_view kDefaultBFrames = "0";
constexpr std::string_view kDefaultRefs = "1";
constexpr std::string_view kDefaultTrellis = "0";

// Calls `visit(sign, name)` for each "+name" / "-name" of a flags text.
template <typename Visit>
void ForEachFlag(std::string_view text, Visit visit) {
  std::size_t position = 0;
  while (position < text.size()) {
    const char sign = text[position];
    const std::size_t start = (sign == '+' || sign == '-') ? position + 1 : position;
    std::size_t end = text.find_first_of("+-", start);
    if (end == std::string_view::npos) end = text.size();
    visit(sign != '-', text.substr(start, end - start));
    position = end;
  }
}

// "+parti8x8+partp8x8-partb8x8" -> "i8x8,p8x8" (the partition list libx264 parses); "none"
// when no partition is switched on.
std::string TranslatePartitions(std::string_view flags) {
  struct Partition {
    std::string_view flag;
    std::string_view name;
    bool on;
  };
  std::array<Partition, 5> partitions = {{{"parti8x8", "i8x8", false},
                                          {"parti4x4", "i4x4", false},
                                          {"partp8x8", "p8x8", false},
                                          {"partp4x4", "p4x4", false},
                                          {"partb8x8", "b8x8", false}}};
  ForEachFlag(flags, [&](bool on, std::string_view flag) {
    for (Partition& partition : partitions) {
      if (partition.flag == flag) partition.on = on;
    }
  });
  std::string list;
  for (const Partition& partition : partitions) {
    if (!partition.on) continue;
    if (!list.empty()) list += ',';
    list += partition.name;
  }
  return list.empty() ? "none" : list;
}

// The flags2 switches of the older wrapper and the libx264 options that carry them now, with
// their defaults there (fast P-skip and macroblock-tree rate control were on unless switched
// off).
struct Switch {
  std::string_view flag;
  std::string_view option;
  std::string_view on_value;
  std::string_view off_value;
  bool on;
};

void AppendFlags2(std::string_view flags2, std::vector<CodecOptionLine>& lines) {
  std::array<Switch, 6> switches = {{{"wpred", "weightb", "1", "0", false},
                                     {"mixed_refs", "mixed-refs", "1", "0", false},
                                     {"dct8x8", "8x8dct", "1", "0", false},
                                     {"fastpskip", "fast-pskip", "1", "0", true},
                                     {"mbtree", "mbtree", "1", "0", true},
                                     {"bpyramid", "b-pyramid", "normal", "none", false}}};
  ForEachFlag(flags2, [&](bool on, std::string_view flag) {
    for (Switch& item : switches) {
      if (item.flag == flag) item.on = on;
    }
  });
  for (const Switch& item : switches) {
    lines.push_back(
        {std::string(item.option), std::string(item.on ? item.on_value : item.off_value)});
  }
}

}  // namespace

std::vector<CodecOptionLine> X264PresetOptions(TPreset preset) {
  const auto index = static_cast<std::size_t>(preset);
  if (index >= kPresets.size()) return {};
  const DesignedPreset& p = kPresets[index];
  auto or_default = [](std::string_view value, std::string_view fallback) {
    return std::string(value.empty() ? fallback : value);
  };

  std::vector<CodecOptionLine> lines = {
      {"coder", "1"},  // CABAC
      {"flags", "+loop"},
      {"cmp", "+chroma"},
      {"partitions", TranslatePartitions(p.partitions)},
      {"me_method", std::string(p.me_method)},
      {"subq", std::string(p.subq)},
      {"me_range", std::string(p.me_range)},
      {"g", "250"},
      {"keyint_min", "25"},
      {"sc_threshold", "40"},
      {"i_qfactor", "0.71"},
      {"b_strategy", std::string(p.b_strategy)},
      {"qcomp", "0.6"},
      {"qmin", "10"},
      {"qmax", "51"},
      {"qdiff", "4"},
      {"bf", or_default(p.bf, kDefaultBFrames)},
      {"refs", or_default(p.refs, kDefaultRefs)},
      {"direct-pred", std::string(p.directpred)},
      {"trellis", or_default(p.trellis, kDefaultTrellis)},
  };
  // A constant quantiser of 0 is x264's lossless mode.
  if (!p.cqp.empty()) lines.push_back({"qp", std::string(p.cqp)});
  AppendFlags2(p.flags2, lines);
  lines.push_back({"wpredp", std::string(p.wpredp)});
  return lines;
}

void WriteX264Preset(TPreset preset, engine::TAVConvertOptions& options) {
  for (const CodecOptionLine& line : X264PresetOptions(preset)) {
    options.SetAdvancedOption(line.name, line.value);
  }
}

}  // namespace zembra::profiles
