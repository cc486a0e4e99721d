#include "tasks/conversion_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "tasks/comma_locale.h"
#include "tasks/published_snapshot.h"
#include "tasks/published_xml.h"

namespace zembra::tasks {
namespace {

using engine::PropertyInfo;
using engine::PropertyKind;
using engine::PropertyValue;
using engine::TPersistent;
using engine::TStringList;
using testing::Published;
using testing::PublishedSnapshot;
using testing::ValueAt;

// Text that XML must carry unchanged: markup characters, quotes, CJK, a carriage return,
// tabs and blanks at both ends.
const std::string kAwkwardText = " 中文 <a&b> \"q\" 'x'\r\n\ty ";

// Gives every published value reachable from `object` a value different from its current one
// that the setters accept.
void ChangeEveryPublishedValue(TPersistent& object) {
  for (const PropertyInfo& info : object.PublishedProperties()) {
    if (info.kind == PropertyKind::kObject) {
      ChangeEveryPublishedValue(engine::PropertyObject(info, object));
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
      *text = std::string(info.name) + kAwkwardText;
    } else if (std::string_view(info.name).find("Matrix") != std::string_view::npos) {
      TStringList lines;
      for (int i = 1; i <= 64; ++i) lines.Add(std::to_string(i * 2));
      value = lines;
    } else {
      // Empty lines in the middle and at the end keep their places.
      value = TStringList{"a=1", "", "中=文 <&>", ""};
    }
    info.set(object, value);
  }
}

void MakeFileSource(TConversionSettings& settings) {
  settings.SetSourceFile("/home/u/Videos/clip.avi");
  settings.SetTargetFile("/home/u/Conversion/clip.mp4");
  settings.SetProfile("MP4");
  settings.SetCategoryId(1);
}

std::string FileSourceText() {
  TConversionSettings settings;
  MakeFileSource(settings);
  return SettingsToText(settings);
}

TEST(SettingsText, FileSourceIsWrittenExactly) {
  const std::string expected =
      "<data PropFormat=\"node\"><TConversionSettings>"
      "<SourceFile>/home/u/Videos/clip.avi</SourceFile><SourceType>stFile</SourceType>"
      "<DvdTitle>0</DvdTitle><DvdChapter>0</DvdChapter><DvdThrough>0</DvdThrough>"
      "<DvdAngle>0</DvdAngle><TargetFile>/home/u/Conversion/clip.mp4</TargetFile>"
      "<Profile>MP4</Profile><CategoryId>1</CategoryId>"
      "<ConvertOptions>"
      "<AudioOptions><AudioChannels>0</AudioChannels><AudioVolume>256</AudioVolume>"
      "<AudioSampleRate>0</AudioSampleRate><AudioSyncMethod>0</AudioSyncMethod>"
      "<AudioDisable>0</AudioDisable><AudioSampleFmt>sfAuto</AudioSampleFmt>"
      "<AudioStreamCopy>0</AudioStreamCopy><AudioCodecTag>0</AudioCodecTag>"
      "<AudioQScale>-99999</AudioQScale><AudioDriftThreshold>0.1</AudioDriftThreshold>"
      "<Bitrate>0</Bitrate></AudioOptions>"
      "<SubtitleOptions><SubtitleDisable>0</SubtitleDisable>"
      "<SubtitleStreamCopy>0</SubtitleStreamCopy><SubtitleCodecTag>0</SubtitleCodecTag>"
      "</SubtitleOptions>"
      "<VideoOptions><FrameWidth>0</FrameWidth><FrameHeight>0</FrameHeight>"
      "<VideoDisable>0</VideoDisable><VideoStreamCopy>0</VideoStreamCopy>"
      "<VideoCodecTag>0</VideoCodecTag><VideoGlobalHeader>0</VideoGlobalHeader>"
      "<IntraOnly>0</IntraOnly><SameQuality>0</SameQuality>"
      "<VideoSyncMethod>-1</VideoSyncMethod><TopFieldFirst>-1</TopFieldFirst>"
      "<ForceFPS>0</ForceFPS><IntraMatrix Count=\"0\"/><InterMatrix Count=\"0\"/>"
      "<MeThreshold>0</MeThreshold><Deinterlace>0</Deinterlace><Pass>0</Pass>"
      "<Bitrate>0</Bitrate><ForceKeyFrames Count=\"0\"/></VideoOptions>"
      "<MuxerOptions><MuxMaxDelay>0.7</MuxMaxDelay><MuxPreload>0.5</MuxPreload>"
      "<AudioBitstreamFilters Count=\"0\"/><SubtitleBitstreamFilters Count=\"0\"/>"
      "<VideoBitstreamFilters Count=\"0\"/></MuxerOptions>"
      "<GrabOptions><VideoChannel>0</VideoChannel><InputSync>0</InputSync></GrabOptions>"
      "<MetaData Count=\"0\"/><CodecOptions Count=\"0\"/>"
      "<RecordingTime>9223372036854775807</RecordingTime><StreamMaps Count=\"0\"/>"
      "</ConvertOptions></TConversionSettings></data>";
  EXPECT_EQ(FileSourceText(), expected);
}

TEST(SettingsText, ElementsFollowTheWrittenWhenRules) {
  struct Case {
    const char* what;
    std::function<void(TConversionSettings&)> change;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  };
  const std::vector<Case> cases = {
      {"a DVD title",
       [](TConversionSettings& s) {
         s.SetSourceType(TAVSourceType::stDvd);
         s.SetDvdDriver("/dev/sr0");
         s.SetDvdTitle(3);
         s.SetDvdThrough(12);
         s.SetDvdVolume("HOLIDAY_2009");
       },
       {"<SourceType>stDvd</SourceType><DvdDriver>/dev/sr0</DvdDriver><DvdTitle>3</DvdTitle>"
        "<DvdChapter>0</DvdChapter><DvdThrough>12</DvdThrough><DvdAngle>0</DvdAngle>"
        "<DvdVolume>HOLIDAY_2009</DvdVolume>"},
       {}},
      {"a codec option list with an empty second line",
       [](TConversionSettings& s) {
         s.ConvertOptions().SetCodecOptions({"g=15", "", "bufsize=327680"});
       },
       {"<CodecOptions Count=\"3\"><l0>g=15</l0><l2>bufsize=327680</l2></CodecOptions>"},
       {"<l1>"}},
      {"the codec options of the VCD profile",
       [](TConversionSettings& s) {
         for (const char* option : {"g=15", "maxrate=1150000", "minrate=1150000", "bufsize=327680",
                                    "packetsize=2324", "muxrate=1411200"}) {
           const std::string line = option;
           const auto equals = line.find('=');
           s.ConvertOptions().SetAdvancedOption(line.substr(0, equals), line.substr(equals + 1));
         }
       },
       {"<CodecOptions Count=\"6\"><l0>g=15</l0><l1>maxrate=1150000</l1>"
        "<l2>minrate=1150000</l2><l3>bufsize=327680</l3><l4>packetsize=2324</l4>"
        "<l5>muxrate=1411200</l5></CodecOptions>"},
       {}},
      {"a frame rate whose denominator is the declared default",
       [](TConversionSettings& s) { s.ConvertOptions().VideoOptions().FrameRate().Setnum(30); },
       {"<InterMatrix Count=\"0\"/><FrameRate><num>30</num></FrameRate><MeThreshold>"},
       {"<den>"}},
      {"an NTSC frame rate",
       [](TConversionSettings& s) {
         s.ConvertOptions().VideoOptions().SetFrameRate({30000, 1001});
       },
       {"<FrameRate><num>30000</num><den>1001</den></FrameRate>"},
       {}},
      {"ordinals that differ from their declared defaults",
       [](TConversionSettings& s) {
         s.ConvertOptions().SetThreadCount(4);
         s.ConvertOptions().AudioOptions().SetMaxFrames(100);
         s.ConvertOptions().VideoOptions().SetIntraDcPrecision(9);
       },
       {"<ThreadCount>4</ThreadCount>", "<Bitrate>0</Bitrate><MaxFrames>100</MaxFrames>",
        "<IntraDcPrecision>9</IntraDcPrecision>"},
       {}},
      {"enumerations and Booleans",
       [](TConversionSettings& s) {
         s.ConvertOptions().AudioOptions().SetAudioSampleFmt(engine::TAVAudioSampleFormat::sfS16);
         s.ConvertOptions().VideoOptions().SetVideoDisable(true);
       },
       {"<AudioSampleFmt>sfS16</AudioSampleFmt>", "<VideoDisable>1</VideoDisable>"},
       {}},
      {"figures learnt while converting, time range and filters",
       [](TConversionSettings& s) {
         s.SetDuration(3723.5);
         s.SetSourceFileSize(6'442'450'944);
         s.ConvertOptions().SetStartTime(1'500'000);
         s.ConvertOptions().SetRecordingTime(0);
         s.ConvertOptions().FilterOptions().SetVideoFilters("hflip,vflip");
         s.ConvertOptions().VideoOptions().SetFrameAspectRatio(16.0F / 9.0F);
       },
       {"<FrameAspectRatio>1.7777778</FrameAspectRatio>",
        "<FilterOptions><VideoFilters>hflip,vflip</VideoFilters></FilterOptions>",
        "<StartTime>1500000</StartTime><StreamMaps", "<Duration>3723.5</Duration>",
        "<SourceFileSize>6442450944</SourceFileSize>"},
       {"<RecordingTime>"}},
      {"text with markup characters and a carriage return",
       [](TConversionSettings& s) { s.SetProfile(kAwkwardText); },
       {"<Profile> 中文 &lt;a&amp;b&gt; &quot;q&quot; 'x'&#13;\n\ty </Profile>"},
       {}},
  };
  const std::string unchanged = FileSourceText();
  for (const Case& c : cases) {
    TConversionSettings settings;
    MakeFileSource(settings);
    c.change(settings);
    const std::string text = SettingsToText(settings);
    EXPECT_NE(text, unchanged) << c.what;
    for (const std::string& piece : c.present) {
      EXPECT_NE(text.find(piece), std::string::npos) << c.what << ": missing " << piece;
    }
    for (const std::string& piece : c.absent) {
      EXPECT_EQ(text.find(piece), std::string::npos) << c.what << ": unexpected " << piece;
    }
  }
}

TEST(SettingsText, NumbersIgnoreADecimalCommaLocale) {
  const std::string reason = testing::UseCommaLocale();
  ASSERT_TRUE(reason.empty()) << reason;
  TConversionSettings settings;
  MakeFileSource(settings);
  settings.SetDuration(3723.5);
  settings.ConvertOptions().MuxerOptions().SetMuxPreload(0.25F);
  const std::string text = SettingsToText(settings);
  EXPECT_NE(text.find("<Duration>3723.5</Duration>"), std::string::npos) << text;
  EXPECT_NE(text.find("<MuxPreload>0.25</MuxPreload>"), std::string::npos) << text;

  TConversionSettings read;
  SettingsFromText(text, read);
  EXPECT_EQ(read.Duration(), 3723.5);
  EXPECT_EQ(read.ConvertOptions().MuxerOptions().MuxPreload(), 0.25F);
  // A comma is not a decimal separator in the stored form, whatever the locale says.
  TConversionSettings comma;
  EXPECT_THROW(SettingsFromText("<data><TConversionSettings><Duration>3723,5</Duration>"
                                "</TConversionSettings></data>",
                                comma),
               PersistenceError);
}

TEST(SettingsText, FullyFilledRecordRoundTripsFieldByField) {
  TConversionSettings settings;
  ChangeEveryPublishedValue(settings);
  // Needs all 17 significant digits to come back exactly.
  settings.SetDuration(1.0 / 3.0);
  settings.SetSourceFileSize(std::numeric_limits<std::int64_t>::min());
  const std::string text = SettingsToText(settings);

  TConversionSettings read;
  SettingsFromText(text, read);
  const PublishedSnapshot expected = Published(settings);
  EXPECT_EQ(Published(read), expected);
  EXPECT_EQ(SettingsToText(read), text);
  // The awkward text is used, so the comparison above covers it.
  EXPECT_EQ(ValueAt(expected, "Profile"), "\"Profile" + kAwkwardText + "\"");
  EXPECT_EQ(ValueAt(expected, "ConvertOptions.MetaData"), "[4] \"a=1\" \"\" \"中=文 <&>\" \"\"");

  TConversionSettings copy;
  copy.Assign(settings);
  EXPECT_EQ(Published(copy), expected);
}

TEST(SettingsText, ReadingFollowsTheStoredRules) {
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::pair<std::string, std::string>> expected;  // path, value
  };
  const std::string kMax64 = std::to_string(std::numeric_limits<std::int64_t>::max());
  const std::vector<Case> cases = {
      {"names in other letter case",
       "<DATA propformat=\"NODE\"><tconversionsettings><sourcefile>a.avi</sourcefile>"
       "<SOURCETYPE>STDVD</SOURCETYPE><convertoptions><videooptions><framerate><NUM>30</NUM>"
       "</framerate></videooptions><CODECOPTIONS count=\"2\"><L1>g=15</L1></CODECOPTIONS>"
       "</convertoptions></tconversionsettings></DATA>",
       {{"SourceFile", "\"a.avi\""},
        {"SourceType", "1"},
        {"ConvertOptions.VideoOptions.FrameRate.num", "30"},
        {"ConvertOptions.VideoOptions.FrameRate.den", "1"},
        {"ConvertOptions.CodecOptions", "[2] \"\" \"g=15\""}}},
      {"no class element: everything stays initial",
       "<data PropFormat=\"node\"><TSomethingElse><SourceFile>a.avi</SourceFile>"
       "</TSomethingElse></data>",
       {}},
      {"no format attribute, another document element name, a byte-order mark",
       "\xEF\xBB\xBF<root><TConversionSettings><TargetFile>b.mp4</TargetFile>"
       "</TConversionSettings></root>",
       {{"TargetFile", "\"b.mp4\""}}},
      {"the first element of a name wins",
       "<data><TConversionSettings><DvdTitle>4</DvdTitle><dvdtitle>9</dvdtitle>"
       "</TConversionSettings></data>",
       {{"DvdTitle", "4"}}},
      {"list lines: missing ones empty, duplicates and lines past Count ignored",
       "<data><TConversionSettings><ConvertOptions><StreamMaps Count=\"4\"><l3>0:1</l3>"
       "<l0>0:0</l0><l0>x</l0><l4>0:2</l4><l-1>y</l-1><lx>z</lx></StreamMaps>"
       "</ConvertOptions></TConversionSettings></data>",
       {{"ConvertOptions.StreamMaps", "[4] \"0:0\" \"\" \"\" \"0:1\""}}},
      {"a 64-bit integer left out keeps its initial value",
       "<data><TConversionSettings><ConvertOptions><StartTime>5</StartTime></ConvertOptions>"
       "</TConversionSettings></data>",
       {{"ConvertOptions.StartTime", "5"}, {"ConvertOptions.RecordingTime", kMax64}}},
      {"properties as attributes",
       "<data PropFormat=\"attr\"><TConversionSettings SourceFile=\"c.vob\" DvdTitle=\"2\" "
       "SourceType=\"stDvd\"><ConvertOptions OutputFormat=\"mp4\" ThreadCount=\"3\">"
       "<CodecOptions Count=\"2\" l1=\"g=9\"/></ConvertOptions></TConversionSettings></data>",
       {{"SourceFile", "\"c.vob\""},
        {"DvdTitle", "2"},
        {"SourceType", "1"},
        {"ConvertOptions.OutputFormat", "\"mp4\""},
        {"ConvertOptions.ThreadCount", "3"},
        {"ConvertOptions.CodecOptions", "[2] \"\" \"g=9\""}}},
      {"blanks around numbers, a plus sign",
       "<data><TConversionSettings><DvdAngle> 2 </DvdAngle><Duration>\n1.5e3\n</Duration>"
       "<DvdChapter>+4</DvdChapter></TConversionSettings></data>",
       {{"DvdChapter", "4"}, {"DvdAngle", "2"}, {"Duration", "1500"}}},
  };
  const PublishedSnapshot initial = Published(TConversionSettings());
  for (const Case& c : cases) {
    TConversionSettings settings;
    ASSERT_NO_THROW(SettingsFromText(c.text, settings)) << c.what;
    PublishedSnapshot expected = initial;
    for (const auto& [path, value] : c.expected) {
      auto it = std::find_if(expected.begin(), expected.end(),
                             [&](const auto& entry) { return entry.first == path; });
      ASSERT_NE(it, expected.end()) << path;
      it->second = value;
    }
    EXPECT_EQ(Published(settings), expected) << c.what;
  }
}

TEST(SettingsText, MissingElementsReadByTheirKind) {
  // Read into an object whose every value differs from the initial one, so that "kept" and
  // "reset" can be told apart.
  TConversionSettings settings;
  ChangeEveryPublishedValue(settings);
  const PublishedSnapshot before = Published(settings);
  ReadPublishedXml(
      "<data><TConversionSettings><ConvertOptions><AudioOptions/></ConvertOptions>"
      "</TConversionSettings></data>",
      settings);
  const PublishedSnapshot after = Published(settings);
  const std::string kept = "kept";
  const std::pair<std::string, std::string> expectations[] = {
      {"SourceFile", "\"\""},    // text: empty
      {"SourceType", kept},      // enumeration without declared default
      {"DvdTitle", kept},        // integer without declared default
      {"Duration", "0"},         // float: zero
      {"SourceFileSize", kept},  // 64-bit integer
      {"ConvertOptions.AudioOptions.AudioVolume", kept},
      {"ConvertOptions.AudioOptions.MaxFrames", "2147483647"},  // its declared default
      {"ConvertOptions.AudioOptions.AudioQScale", "0"},
      {"ConvertOptions.AudioOptions.AudioDisable", kept},  // Boolean without default
      {"ConvertOptions.AudioOptions.EncoderAudioCodecName", "\"\""},
      {"ConvertOptions.VideoOptions.EncoderVideoCodecName", kept},  // whole object missing
      {"ConvertOptions.VideoOptions.IntraDcPrecision", kept},
      {"ConvertOptions.VideoOptions.FrameRate.num", kept},
      {"ConvertOptions.CodecOptions", kept},  // list
      {"ConvertOptions.OutputFormat", "\"\""},
      {"ConvertOptions.StartTime", kept},
      {"ConvertOptions.ThreadCount", "1"},  // its declared default
  };
  for (const auto& [path, expected] : expectations) {
    EXPECT_EQ(ValueAt(after, path), expected == kept ? ValueAt(before, path) : expected) << path;
  }
}

TEST(SettingsText, UnreadableTextsFailWithThePersistenceError) {
  const auto wrap = [](const std::string& inner) {
    return "<data PropFormat=\"node\"><TConversionSettings>" + inner +
           "</TConversionSettings></data>";
  };
  const std::pair<const char*, std::string> cases[] = {
      {"integer that is not a number", wrap("<DvdTitle>three</DvdTitle>")},
      {"integer with trailing text", wrap("<DvdTitle>3x</DvdTitle>")},
      {"integer with two signs", wrap("<DvdTitle>+-3</DvdTitle>")},
      {"integer beyond 32 bits", wrap("<DvdTitle>2147483648</DvdTitle>")},
      {"64-bit integer beyond 64 bits",
       wrap("<SourceFileSize>9223372036854775808</SourceFileSize>")},
      {"empty integer", wrap("<CategoryId/>")},
      {"unknown enumeration name", wrap("<SourceType>stBluRay</SourceType>")},
      {"enumeration by number", wrap("<SourceType>1</SourceType>")},
      {"Boolean other than 0 or 1",
       wrap("<ConvertOptions><VideoOptions><VideoDisable>true</VideoDisable></VideoOptions>"
            "</ConvertOptions>")},
      {"float that is not a number", wrap("<Duration>long</Duration>")},
      {"list without Count",
       wrap("<ConvertOptions><MetaData><l0>a</l0></MetaData></ConvertOptions>")},
      {"negative Count", wrap("<ConvertOptions><MetaData Count=\"-1\"/></ConvertOptions>")},
      {"Count far beyond any real list",
       wrap("<ConvertOptions><MetaData Count=\"2000000000\"/></ConvertOptions>")},
      {"the automatic format", "<data PropFormat=\"auto\"><TConversionSettings/></data>"},
      {"an unknown format", "<data PropFormat=\"json\"><TConversionSettings/></data>"},
      {"not well-formed", wrap("<SourceFile>a</sourcefile>")},
      {"cut short", wrap("<SourceFile>a</SourceFile>").substr(0, 60)},
      {"empty", ""},
      {"not XML", "SourceFile=a.avi"},
      {"a second document element", wrap("") + "<data/>"},
  };
  for (const auto& [what, text] : cases) {
    TConversionSettings settings;
    EXPECT_THROW(SettingsFromText(text, settings), PersistenceError) << what;
  }
}

TEST(SettingsText, TextsXmlCannotCarryAreRefusedWhenWritten) {
  const std::pair<const char*, std::string> cases[] = {
      {"control character", "clip\x01.avi"},
      {"invalid UTF-8", "clip\xff.avi"},
      {"cut UTF-8 sequence", "clip\xe4\xb8"},
  };
  for (const auto& [what, text] : cases) {
    TConversionSettings settings;
    MakeFileSource(settings);
    settings.SetSourceFile(text);
    EXPECT_THROW(SettingsToText(settings), PersistenceError) << what;
    settings.SetSourceFile("ok.avi");
    settings.ConvertOptions().SetMetaData({"title=" + text});
    EXPECT_THROW(SettingsToText(settings), PersistenceError) << what << " in a list";
  }
}

}  // namespace
}  // namespace zembra::tasks
