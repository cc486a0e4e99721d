#include "engine/options.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "support/report_capture.h"

namespace zembra::engine {
namespace {

using Snapshot = std::vector<std::pair<std::string, PropertyValue>>;
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

// Every published value reachable from `object`, as "Group.Property" paths in table order.
void Collect(const TPersistent& object, const std::string& prefix, Snapshot& out) {
  for (const PropertyInfo& info : object.PublishedProperties()) {
    const std::string path = prefix + std::string(info.name);
    if (info.kind == PropertyKind::kObject) {
      Collect(PropertyObject(info, object), path + ".", out);
    } else {
      out.emplace_back(path, info.get(object));
    }
  }
}

Snapshot Published(const TPersistent& object) {
  Snapshot out;
  Collect(object, "", out);
  return out;
}

// Sets every published value to one that differs from `object`'s current one and that the
// setters accept, through the property tables.
void ChangeEveryPublishedValue(TPersistent& object) {
  for (const PropertyInfo& info : object.PublishedProperties()) {
    if (info.kind == PropertyKind::kObject) {
      ChangeEveryPublishedValue(PropertyObject(info, object));
      continue;
    }
    PropertyValue value = info.get(object);
    if (auto* number = std::get_if<std::int64_t>(&value)) {
      *number = *number == 0 ? 1 : *number - 1;
    } else if (auto* real = std::get_if<double>(&value)) {
      *real += 0.5;
    } else if (auto* flag = std::get_if<bool>(&value)) {
      *flag = !*flag;
    } else if (auto* text = std::get_if<std::string>(&value)) {
      *text = "changed " + std::string(info.name);
    } else {
      // 64 whole numbers: valid for the quantiser matrices and for every other list.
      TStringList lines;
      for (int i = 1; i <= 64; ++i) lines.Add(std::to_string(i * 2));
      value = lines;
    }
    info.set(object, value);
  }
}

TStringList MatrixLines(std::size_t count, std::string fill = "16") {
  TStringList lines;
  for (std::size_t i = 0; i < count; ++i) lines.Add(fill);
  return lines;
}

TEST(ConvertOptions, PublishedVocabularyOrderAndInitialValues) {
  const TStringList none;
  const Snapshot expected = {
      {"AudioOptions.AudioChannels", std::int64_t{0}},
      {"AudioOptions.AudioVolume", std::int64_t{256}},
      {"AudioOptions.AudioSampleRate", std::int64_t{0}},
      {"AudioOptions.AudioSyncMethod", std::int64_t{0}},
      {"AudioOptions.AudioDisable", false},
      {"AudioOptions.AudioSampleFmt", std::int64_t{0}},
      {"AudioOptions.AudioStreamCopy", false},
      {"AudioOptions.EncoderAudioCodecName", std::string()},
      {"AudioOptions.DecoderAudioCodecName", std::string()},
      {"AudioOptions.AudioCodecTag", std::int64_t{0}},
      {"AudioOptions.AudioLanguage", std::string()},
      {"AudioOptions.AudioQScale", double{-99999.0F}},
      {"AudioOptions.AudioDriftThreshold", double{0.1F}},
      {"AudioOptions.Bitrate", std::int64_t{0}},
      {"AudioOptions.MaxFrames", kInt32Max},
      {"SubtitleOptions.SubtitleLanguage", std::string()},
      {"SubtitleOptions.SubtitleCodecName", std::string()},
      {"SubtitleOptions.SubtitleDisable", false},
      {"SubtitleOptions.SubtitleStreamCopy", false},
      {"SubtitleOptions.SubtitleCodecTag", std::int64_t{0}},
      {"VideoOptions.FrameWidth", std::int64_t{0}},
      {"VideoOptions.FrameHeight", std::int64_t{0}},
      {"VideoOptions.EncoderVideoCodecName", std::string()},
      {"VideoOptions.DecoderVideoCodecName", std::string()},
      {"VideoOptions.VideoDisable", false},
      {"VideoOptions.VideoStreamCopy", false},
      {"VideoOptions.VideoCodecTag", std::int64_t{0}},
      {"VideoOptions.VideoLanguage", std::string()},
      {"VideoOptions.VideoGlobalHeader", std::int64_t{0}},
      {"VideoOptions.IntraOnly", false},
      {"VideoOptions.VideoQscale", 0.0},
      {"VideoOptions.SameQuality", false},
      {"VideoOptions.VideoRcOverrideString", std::string()},
      {"VideoOptions.IntraDcPrecision", std::int64_t{8}},
      {"VideoOptions.VideoSyncMethod", std::int64_t{-1}},
      {"VideoOptions.TopFieldFirst", std::int64_t{-1}},
      {"VideoOptions.ForceFPS", false},
      {"VideoOptions.IntraMatrix", none},
      {"VideoOptions.InterMatrix", none},
      {"VideoOptions.FrameRate.num", std::int64_t{25}},
      {"VideoOptions.FrameRate.den", std::int64_t{1}},
      {"VideoOptions.FrameAspectRatio", 0.0},
      {"VideoOptions.MeThreshold", std::int64_t{0}},
      {"VideoOptions.Deinterlace", false},
      {"VideoOptions.Pass", std::int64_t{0}},
      {"VideoOptions.MaxFrames", kInt32Max},
      {"VideoOptions.Bitrate", std::int64_t{0}},
      {"VideoOptions.ForceKeyFrames", none},
      {"MuxerOptions.MuxMaxDelay", double{0.7F}},
      {"MuxerOptions.MuxPreload", double{0.5F}},
      {"MuxerOptions.AudioBitstreamFilters", none},
      {"MuxerOptions.SubtitleBitstreamFilters", none},
      {"MuxerOptions.VideoBitstreamFilters", none},
      {"GrabOptions.VideoChannel", std::int64_t{0}},
      {"GrabOptions.VideoStandard", std::string()},
      {"GrabOptions.InputSync", false},
      {"FilterOptions.VideoFilters", std::string()},
      {"MetaData", none},
      {"CodecOptions", none},
      {"OutputFormat", std::string()},
      {"InputFormat", std::string()},
      {"StartTime", std::int64_t{0}},
      {"RecordingTime", kInt64Max},
      {"ThreadCount", std::int64_t{1}},
      {"StreamMaps", none},
  };
  const TAVConvertOptions options;
  const Snapshot actual = Published(options);
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(actual[i].first, expected[i].first);
    EXPECT_TRUE(actual[i].second == expected[i].second) << expected[i].first;
  }
}

TEST(ConvertOptions, PublicAndUnpublishedInitialValues) {
  const TAVConvertOptions options;
  EXPECT_EQ(options.ProgramID(), 0);
  EXPECT_FALSE(options.LoopInput());
  EXPECT_EQ(options.LoopOutput(), -1);
  EXPECT_FALSE(options.RateEmu());
  EXPECT_FALSE(options.DoPSNR());
  EXPECT_FLOAT_EQ(options.DtsDeltaThreshold(), 50.0F);
  EXPECT_EQ(options.AudioSize(), 0);
  EXPECT_EQ(options.SwsFlags(), 4);
  EXPECT_EQ(options.VideoSize(), 0);
  EXPECT_EQ(options.RecTimestamp(), 0);
  EXPECT_EQ(options.MaxDataFrames(), kInt32Max);
  EXPECT_EQ(options.InputTSOffset(), 0);
  EXPECT_TRUE(options.InputTSScale().empty());
  EXPECT_FALSE(options.CopyTS());
  EXPECT_EQ(options.LimitFileSize(), 0);
  EXPECT_FALSE(options.ShortTest());
  EXPECT_FALSE(options.CopyInitialNonkeyframes());
  EXPECT_EQ(options.VideoOptions().VideoDiscard(), 0);
  EXPECT_EQ(options.VideoOptions().FramePixFormat(), -1);
}

TEST(ConvertOptions, DeclaredDefaultsAndEnumerationNames) {
  struct Case {
    const TPersistent& object;
    const char* name;
    std::optional<std::int64_t> declared;
  };
  const TAVConvertOptions options;
  const TRational rate;
  const Case cases[] = {
      {rate, "num", 25},
      {rate, "den", 1},
      {options.AudioOptions(), "MaxFrames", kInt32Max},
      {options.VideoOptions(), "MaxFrames", kInt32Max},
      {options.VideoOptions(), "IntraDcPrecision", 8},
      {options, "ThreadCount", 1},
      {options.AudioOptions(), "AudioVolume", std::nullopt},  // always written
      {options.VideoOptions(), "Pass", std::nullopt},
      {options, "RecordingTime", std::nullopt},
  };
  for (const Case& c : cases) {
    const PropertyInfo* info = c.object.FindProperty(c.name);
    ASSERT_NE(info, nullptr) << c.name;
    EXPECT_EQ(info->declared_default, c.declared) << c.name;
  }
  const PropertyInfo* format = options.AudioOptions().FindProperty("audiosamplefmt");
  ASSERT_NE(format, nullptr);
  EXPECT_EQ(format->kind, PropertyKind::kEnumeration);
  ASSERT_EQ(format->enum_names.size(), 6U);
  EXPECT_EQ(format->enum_names[0], "sfAuto");
  EXPECT_EQ(format->enum_names[5], "sfDBL");
  EXPECT_EQ(options.FindProperty("LimitFileSize"), nullptr);  // public, not stored
}

TEST(ConvertOptions, AssignCopiesThePublishedOptionsAndLeavesThePublicOnes) {
  testing::ReportCapture reports;
  TAVConvertOptions source;
  ChangeEveryPublishedValue(source);
  const Snapshot fresh = Published(TAVConvertOptions());
  const Snapshot changed = Published(source);
  ASSERT_EQ(changed.size(), fresh.size());
  for (std::size_t i = 0; i < fresh.size(); ++i) {
    EXPECT_FALSE(changed[i].second == fresh[i].second) << "unchanged: " << fresh[i].first;
  }
  source.VideoOptions().SetVideoDiscard(8);
  source.VideoOptions().SetFramePixFormat(0);
  source.SetCopyTS(true);
  source.SetLimitFileSize(1048576);
  source.SetShortTest(true);
  source.SetCopyInitialNonkeyframes(true);
  source.SetProgramID(3);
  source.SetDtsDeltaThreshold(10.0F);
  source.SetInputTSScale({{0, 1, 2.0}});
  source.SetVideoSize(1000);

  TAVConvertOptions target;
  const TAudioOptions* audio_instance = &target.AudioOptions();
  target.Assign(source);

  EXPECT_EQ(Published(target), changed);
  EXPECT_EQ(target.VideoOptions().IntraQuantMatrix(), source.VideoOptions().IntraQuantMatrix());
  EXPECT_EQ(target.VideoOptions().InterQuantMatrix()[63], 128);
  EXPECT_EQ(target.VideoOptions().VideoDiscard(), 8);
  EXPECT_EQ(target.VideoOptions().FramePixFormat(), 0);
  EXPECT_EQ(&target.AudioOptions(), audio_instance);  // copied into, never replaced

  EXPECT_FALSE(target.CopyTS());
  EXPECT_EQ(target.LimitFileSize(), 0);
  EXPECT_FALSE(target.ShortTest());
  EXPECT_FALSE(target.CopyInitialNonkeyframes());
  EXPECT_EQ(target.ProgramID(), 0);
  EXPECT_FLOAT_EQ(target.DtsDeltaThreshold(), 50.0F);
  EXPECT_TRUE(target.InputTSScale().empty());
  EXPECT_EQ(target.VideoSize(), 0);
  EXPECT_TRUE(reports.error_boxes.empty());
}

TEST(ConvertOptions, OwnedGroupSettersCopyIntoTheOwnedInstance) {
  TAVConvertOptions options;
  TVideoOptions video;
  video.SetFrameWidth(640);
  video.SetFrameRate(TRational(30000, 1001));
  const TVideoOptions* instance = &options.VideoOptions();
  options.SetVideoOptions(video);
  EXPECT_EQ(&options.VideoOptions(), instance);
  EXPECT_EQ(options.VideoOptions().FrameWidth(), 640);
  EXPECT_EQ(options.VideoOptions().FrameRate().num(), 30000);
  EXPECT_EQ(options.VideoOptions().FrameRate().den(), 1001);
  video.SetFrameWidth(320);
  EXPECT_EQ(options.VideoOptions().FrameWidth(), 640);
}

TEST(ConvertOptions, AssignFromAnUnrelatedClassFails) {
  TVideoOptions video;
  const TAudioOptions audio;
  try {
    video.Assign(audio);
    FAIL() << "no exception";
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "Cannot assign a TAudioOptions to a TVideoOptions");
  }
  TRational rate;
  EXPECT_THROW(rate.Assign(TAVConvertOptions()), std::invalid_argument);
}

TEST(AudioOptions, AutomaticSampleFormatNeverOverwrites) {
  TAudioOptions target;
  target.SetAudioSampleFmt(TAVAudioSampleFormat::sfS16);
  target.SetAudioSampleFmt(TAVAudioSampleFormat::sfAuto);
  EXPECT_EQ(target.AudioSampleFmt(), TAVAudioSampleFormat::sfS16);

  target.Assign(TAudioOptions());  // a source left at sfAuto
  EXPECT_EQ(target.AudioSampleFmt(), TAVAudioSampleFormat::sfS16);

  TAudioOptions source;
  source.SetAudioSampleFmt(TAVAudioSampleFormat::sfFLT);
  target.Assign(source);
  EXPECT_EQ(target.AudioSampleFmt(), TAVAudioSampleFormat::sfFLT);
}

TEST(VideoOptions, PassAcceptsOnlyZeroOneOrTwo) {
  struct Case {
    std::int32_t value;
    std::int32_t stored;
    bool refused;
  };
  const Case cases[] = {{2, 2, false}, {3, 2, true},  {0, 0, false},
                        {-1, 0, true}, {1, 1, false}, {7, 1, true}};
  TVideoOptions video;
  for (const Case& c : cases) {
    testing::ReportCapture reports;
    video.SetPass(c.value);
    EXPECT_EQ(video.Pass(), c.stored) << c.value;
    if (c.refused) {
      EXPECT_EQ(reports.error_boxes, std::vector<std::string>{"pass number can be only 0, 1 or 2"})
          << c.value;
    } else {
      EXPECT_TRUE(reports.error_boxes.empty()) << c.value;
    }
  }

  // A value arriving by name (from a stored record) obeys the same rule.
  testing::ReportCapture reports;
  video.FindProperty("Pass")->set(video, std::int64_t{9});
  EXPECT_EQ(video.Pass(), 1);
  EXPECT_EQ(reports.error_boxes.size(), 1U);
}

TEST(VideoOptions, MatrixListsAreCheckedBeforeTheyAreKept) {
  const std::string count_message = "matrix element count should be equal 64";
  const std::string element_message = "Invalid matrix element";
  auto with_line = [](std::size_t index, std::string text) {
    TStringList lines = MatrixLines(64);
    lines[index] = std::move(text);
    return lines;
  };
  struct Case {
    const char* what;
    TStringList lines;
    std::string message;  // empty: accepted
  };
  const Case cases[] = {
      {"64 whole numbers", MatrixLines(64), ""},
      {"empty list", TStringList(), ""},
      {"63 lines", MatrixLines(63), count_message},
      {"65 lines", MatrixLines(65), count_message},
      {"one fraction", with_line(10, "8.5"), element_message},
      {"a trailing dot", with_line(0, "8."), element_message},
      {"not a number", with_line(63, "abc"), element_message},
      {"an empty line", with_line(5, ""), element_message},
      {"trailing text", with_line(5, "16px"), element_message},
      {"beyond 32 bits", with_line(5, "99999999999"), element_message},
      {"a sign", with_line(5, "+16"), ""},
  };
  for (const Case& c : cases) {
    testing::ReportCapture reports;
    TVideoOptions video;
    video.SetIntraMatrix(MatrixLines(64, "8"));  // what a refusal must leave in place
    reports.Clear();
    video.SetIntraMatrix(c.lines);
    if (c.message.empty()) {
      EXPECT_TRUE(reports.error_boxes.empty()) << c.what;
      EXPECT_EQ(video.IntraMatrix(), c.lines) << c.what;
    } else {
      EXPECT_EQ(reports.error_boxes, std::vector<std::string>{c.message}) << c.what;
      EXPECT_EQ(video.IntraMatrix(), MatrixLines(64, "8")) << c.what;
    }
  }
}

TEST(VideoOptions, MatrixValuesAreStoredInListOrderAndTruncatedTo16Bits) {
  testing::ReportCapture reports;
  TVideoOptions video;
  TStringList lines;
  for (int i = 0; i < 64; ++i) lines.Add(std::to_string(i + 1));
  lines[1] = "70000";  // 70000 & 0xFFFF
  lines[2] = "-1";
  video.SetInterMatrix(lines);
  EXPECT_EQ(video.InterQuantMatrix()[0], 1);
  EXPECT_EQ(video.InterQuantMatrix()[1], 4464);
  EXPECT_EQ(video.InterQuantMatrix()[2], 65535);
  EXPECT_EQ(video.InterQuantMatrix()[63], 64);
  EXPECT_TRUE(video.IntraMatrix().Empty());  // the other matrix is untouched

  // A refused list keeps the elements stored before its bad line; the list stays as it was.
  TStringList bad = MatrixLines(64, "99");
  bad[3] = "x";
  video.SetInterMatrix(bad);
  EXPECT_EQ(video.InterQuantMatrix()[2], 99);
  EXPECT_EQ(video.InterQuantMatrix()[3], 4);
  EXPECT_EQ(video.InterMatrix(), lines);

  // Emptying the list keeps the values; only the list says whether a matrix is used.
  video.SetInterMatrix(TStringList());
  EXPECT_TRUE(video.InterMatrix().Empty());
  EXPECT_EQ(video.InterQuantMatrix()[0], 99);
}

TEST(ConvertOptions, SetAdvancedOptionRecordsOneLinePerName) {
  // Applied in order to one options object.
  struct Step {
    const char* key;
    const char* value;
    TStringList expected;
  };
  const Step steps[] = {
      {"g", "15", {"g=15"}},
      {"maxrate", "1150000", {"g=15", "maxrate=1150000"}},
      {"flags", "", {"g=15", "maxrate=1150000", "flags="}},           // new key, empty value
      {"maxrate", "2000000", {"g=15", "maxrate=2000000", "flags="}},  // replaced in place
      {"G", "12", {"G=12", "maxrate=2000000", "flags="}},             // names ignore case
      {"maxrate", "", {"G=12", "flags="}},                            // existing key, empty value
      {"flags", "", {"G=12"}},
      {"x264-params", "ref=3:bframes=3", {"G=12", "x264-params=ref=3:bframes=3"}},
  };
  TAVConvertOptions options;
  for (const Step& step : steps) {
    options.SetAdvancedOption(step.key, step.value);
    EXPECT_EQ(options.CodecOptions(), step.expected) << step.key << "=" << step.value;
  }
}

}  // namespace
}  // namespace zembra::engine
