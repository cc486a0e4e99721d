#include "profiles/profile_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "profiles/catalogue.h"
#include "profiles/ini_file.h"
#include "support/media_fixtures.h"
#include "support/report_capture.h"

namespace zembra::profiles {
namespace {

using engine::TStringList;

std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::vector<TAVProfile*> Editable(const TAVProfileList& list) {
  std::vector<TAVProfile*> found;
  for (int i = 0; i < list.Count(); ++i) {
    if (list.Profiles(i).IsEditable()) found.push_back(&list.Profiles(i));
  }
  return found;
}

TEST(CommaText, LinesSurviveAndTextWrittenElsewhereReads) {
  const std::pair<TStringList, const char*> written[] = {
      {{"bufsize=4096k"}, "bufsize=4096k"},
      {{"maxrate=1000000", "qmin=3"}, "maxrate=1000000,qmin=3"},
      {{"metadata=title=a b"}, "\"metadata=title=a b\""},
      {{"x=1,2"}, "\"x=1,2\""},
      {{"q=\"v\""}, "\"q=\"\"v\"\"\""},
      {{"a", "", "b"}, "a,\"\",b"},
      {{"中=文"}, "中=文"},
      {{}, ""},
  };
  for (const auto& [lines, text] : written) {
    EXPECT_EQ(CommaText(lines), text);
    EXPECT_EQ(ParseCommaText(text), lines) << text;
  }
  // Text written elsewhere: unquoted blanks separate, blanks around commas are skipped, an
  // item between two commas is kept, a trailing comma adds nothing, an open quote runs to the
  // end.
  const std::pair<const char*, TStringList> read[] = {
      {"a b,c", {"a", "b", "c"}}, {" \"a, b\" ,  c ", {"a, b", "c"}},
      {"a,,b", {"a", "", "b"}},   {"a,", {"a"}},
      {"\"abc", {"abc"}},         {"   ", {}},
  };
  for (const auto& [text, lines] : read) EXPECT_EQ(ParseCommaText(text), lines) << text;
}

TEST(IniFile, ReadsTolerantlyAndWritesInPlace) {
  const std::string text =
      "\xEF\xBB\xBF; kept comment\r\n"
      "[profile]\r\n"
      "description0= Lead and trail \r\n"
      "  Count = 12 \r\n"
      "Bad=12px\r\n"
      "Big=99999999999\r\n"
      "Rate=12.2\r\n"
      "Comma=12,5\r\n"
      "NotANumber=nan\r\n"
      "\r\n"
      "[Other]\r\n"
      "Key=value=with=equals\r\n";
  IniFile ini(text);
  EXPECT_EQ(ini.ReadString("Profile", "Description0", "?"), " Lead and trail ");
  EXPECT_EQ(ini.ReadInteger("PROFILE", "count", -1), 12);
  EXPECT_EQ(ini.ReadInteger("Profile", "Bad", -1), -1);
  EXPECT_EQ(ini.ReadInteger("Profile", "Big", -1), -1);
  EXPECT_EQ(ini.ReadInteger("Profile", "Missing", -1), -1);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("Profile", "Rate", 0), 12.2);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("Profile", "Comma", 0), 12.5);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("Profile", "NotANumber", 7), 7);
  EXPECT_FALSE(ini.ReadBool("Profile", "Bad", false));
  EXPECT_TRUE(ini.ReadBool("Profile", "Count", false));
  EXPECT_EQ(ini.ReadString("Other", "Key", "?"), "value=with=equals");
  EXPECT_EQ(ini.ReadString("Profile", "Key", "?"), "?");

  ini.WriteInteger("Profile", "Count", 3);
  ini.WriteFloat("Profile", "New", 7.4);
  ini.WriteString("Other", "Lines", "one\r\ntwo");
  ini.WriteBool("Third", "Flag", true);
  EXPECT_EQ(ini.Text(),
            "; kept comment\n"
            "[profile]\n"
            "description0= Lead and trail \n"
            "  Count =3\n"
            "Bad=12px\n"
            "Big=99999999999\n"
            "Rate=12.2\n"
            "Comma=12,5\n"
            "NotANumber=nan\n"
            "New=7.4\n"
            "\n"
            "[Other]\n"
            "Key=value=with=equals\n"
            "Lines=one  two\n"
            "[Third]\n"
            "Flag=1\n");
}

class ProfileStoreTest : public ::testing::Test {
 protected:
  std::string File() const { return folder_.File("Profiles.ini"); }
  std::string Write(const std::string& text) const {
    return testing::WriteTextFile(folder_, "Profiles.ini", text);
  }

  testing::TempFolder folder_;
};

TEST_F(ProfileStoreTest, SavingTheCatalogueWritesItsEditableEntriesThatReadBackEqual) {
  testing::ReportCapture reports;
  TAVProfileList saved;
  BuildCatalogue(saved);
  SaveProfiles(saved, File());
  const std::string text = ReadText(File());
  EXPECT_NE(text.find("[Profile]\n"), std::string::npos);
  EXPECT_NE(text.find("\nProfileCount=127\n"), std::string::npos);
  // The first editable entry is "AAC Audio", under a Chinese caption; the first video entry
  // shows the key order.
  EXPECT_NE(text.find("Description0=AAC Audio\nExtension0=.mp4\nCategory0=音频\nIsVideo0=0\n"
                      "SampleRate0=48000\nAudioEncoder0=0\nAudioChannels0=1\nAudioBitrate0=128\n"
                      "Format0=0\nOptions0=\n"),
            std::string::npos);
  EXPECT_NE(text.find("Description2=Apple TV H264 Video(320x240)\nExtension2=.mp4\n"
                      "Category2=Apple TV\nIsVideo2=1\nSampleRate2=48000\nAudioEncoder2=0\n"
                      "AudioChannels2=1\nAudioBitrate2=64\nFormat2=0\nOptions2=\n"
                      "FrameWidth2=320\nFrameHeight2=240\nVideoEncoder2=1\nFrameRate2=6\n"
                      "VideoBitrate2=1500\n"),
            std::string::npos);
  EXPECT_NE(text.find("=12.2\n"), std::string::npos);
  EXPECT_NE(text.find("=手机3GP- 单声道Mono (*.3gp)\n"), std::string::npos);

  TAVProfileList loaded;
  BuildCatalogue(loaded);
  ASSERT_TRUE(LoadProfiles(loaded, File()));
  ASSERT_EQ(loaded.Count(), 147);
  // The fixed-target and image profiles stay first, in their order.
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(loaded.Profiles(i).IsEditable()) << i;

  const std::vector<TAVProfile*> before = Editable(saved);
  const std::vector<TAVProfile*> after = Editable(loaded);
  ASSERT_EQ(after.size(), 127U);
  for (std::size_t i = 0; i < before.size(); ++i) {
    SCOPED_TRACE(before[i]->Description());
    ASSERT_EQ(after[i]->ClassName(), before[i]->ClassName());
    for (const engine::PropertyInfo& info : before[i]->PublishedProperties()) {
      engine::PropertyValue expected = info.get(*before[i]);
      // The aspect ratio is not stored.
      if (info.name == "FrameAspectRatio") expected = std::int64_t{0};
      EXPECT_EQ(info.get(*after[i]), expected) << info.name;
    }
  }
  std::vector<std::string> vcd;
  for (const TAVProfile* profile : loaded.ProfilesInCategory("VCD")) {
    vcd.push_back(profile->Description());
  }
  EXPECT_EQ(vcd.back(), "VOB MPEG2 PS Format (*.vob)");
  EXPECT_EQ(vcd.size(), 7U);
  EXPECT_TRUE(reports.error_boxes.empty());
}

TEST_F(ProfileStoreTest, OptionsAndTextsSurviveExactly) {
  TAVProfileList list;
  auto& video = list.Add<TAVCustomVideoProfile>();
  video.SetDescription(" 我的配置, \"quoted\" ");
  video.SetExtension("1.jpg");
  video.SetCategory("视频");
  video.SetAudioBitrate(7.4);
  const TStringList options = {"bufsize=4096k", "metadata=title=a b", "x=1,2", "q=\"v\"", "",
                               "  indented"};
  video.SetOptions(options);
  auto& audio = list.Add<TAVCustomAudioProfile>();
  audio.SetDescription("Audio");
  SaveProfiles(list, File());
  EXPECT_NE(ReadText(File()).find(
                "Options0=bufsize=4096k,\"metadata=title=a b\",\"x=1,2\",\"q=\"\"v\"\"\",\"\","
                "\"  indented\"\n"),
            std::string::npos);

  TAVProfileList loaded;
  ASSERT_TRUE(LoadProfiles(loaded, File()));
  ASSERT_EQ(loaded.Count(), 2);
  const auto& back = dynamic_cast<const TAVCustomVideoProfile&>(loaded.Profiles(0));
  EXPECT_EQ(back.Description(), " 我的配置, \"quoted\" ");
  EXPECT_EQ(back.Extension(), "1.jpg");
  EXPECT_EQ(back.Category(), "视频");
  EXPECT_DOUBLE_EQ(back.AudioBitrate(), 7.4);
  EXPECT_EQ(back.Options(), options);
  EXPECT_EQ(loaded.Profiles(1).ClassName(), "TAVCustomAudioProfile");
}

TEST_F(ProfileStoreTest, MissingAndDamagedKeysReadAsConstructorValues) {
  testing::ReportCapture reports;
  Write(
      "[Profile]\n"
      "ProfileCount=3\n"
      "Description0=Damaged\n"
      "Category0=MP4\n"
      "IsVideo0=1\n"
      "SampleRate0=abc\n"
      "AudioBitrate0=inf\n"
      "FrameWidth0=12px\n"
      "FrameHeight0=480\n"
      "VideoEncoder0=99\n"
      "FrameRate0=-4\n"
      "AudioChannels0=1\n"
      "Description1=Only a name\n"
      "IsVideo1=yes\n");
  TAVProfileList list;
  BuildCatalogue(list);
  ASSERT_TRUE(LoadProfiles(list, File()));
  const std::vector<TAVProfile*> editable = Editable(list);
  ASSERT_EQ(editable.size(), 3U);
  ASSERT_EQ(list.Count(), 23);

  const auto& damaged = dynamic_cast<const TAVCustomVideoProfile&>(*editable[0]);
  EXPECT_EQ(damaged.SampleRate(), 0);
  EXPECT_DOUBLE_EQ(damaged.AudioBitrate(), 0.0);
  EXPECT_EQ(damaged.FrameWidth(), 0);
  EXPECT_EQ(damaged.FrameHeight(), 480);
  EXPECT_EQ(damaged.AudioChannels(), TCustomAudioChannels::stereo2);
  // Ordinals outside their enumeration are kept (saving writes them back), never crash an
  // apply, and make the profile unavailable.
  EXPECT_EQ(static_cast<int>(damaged.VideoEncoder()), 99);
  EXPECT_EQ(static_cast<int>(damaged.FrameRate()), -4);
  engine::TAVConvertOptions options;
  EXPECT_TRUE(damaged.ApplyTo(options));
  EXPECT_EQ(options.VideoOptions().EncoderVideoCodecName(), "");
  EXPECT_EQ(options.AudioOptions().EncoderAudioCodecName(), "aac");
  EXPECT_FALSE(damaged.Availability().available);

  // "yes" is not a number: an audio entry.
  EXPECT_EQ(editable[1]->ClassName(), "TAVCustomAudioProfile");
  EXPECT_EQ(editable[1]->Description(), "Only a name");
  // The third has no keys at all: constructor values, in no category.
  const auto& empty = dynamic_cast<const TAVCustomAudioProfile&>(*editable[2]);
  EXPECT_EQ(empty.Description(), "");
  EXPECT_EQ(empty.AudioEncoder(), TCustomAudioEncoder::AAC);
  EXPECT_TRUE(empty.Options().Empty());
  EXPECT_EQ(list.ProfilesInCategory("MP4").back()->Description(), "Damaged");

  // Saving writes the kept ordinals back unchanged.
  SaveProfiles(list, File());
  const std::string text = ReadText(File());
  EXPECT_NE(text.find("VideoEncoder0=99\n"), std::string::npos);
  EXPECT_NE(text.find("FrameRate0=-4\n"), std::string::npos);
  EXPECT_TRUE(reports.error_boxes.empty());
}

TEST_F(ProfileStoreTest, ProfileCountDecidesHowManyEntriesAreRead) {
  const std::tuple<const char*, int, bool> cases[] = {
      {"", 0, false},                    // no count: no editable profile at all
      {"ProfileCount=abc\n", 0, false},  // not a number: 0
      {"ProfileCount=-5\n", 0, false},   // negative: none
      {"ProfileCount=2\n", 2, false},    //
      {"ProfileCount=2000000000\n", kMaxProfileEntries, true},  // damaged: capped, reported
  };
  for (const auto& [count, editable, reported] : cases) {
    SCOPED_TRACE(count);
    testing::ReportCapture reports;
    Write(std::string("[Profile]\n") + count + "Description0=A\nDescription1=B\n");
    TAVProfileList list;
    BuildCatalogue(list);
    ASSERT_TRUE(LoadProfiles(list, File()));
    EXPECT_EQ(list.Count(), 20 + editable);
    EXPECT_EQ(reports.diagnostics.size(), reported ? 1U : 0U);
    // A category that holds only editable profiles is empty now.
    if (editable == 0) {
      EXPECT_TRUE(list.ProfilesInCategory("音频").empty());
    }
  }
}

TEST_F(ProfileStoreTest, ASecondShorterSaveKeepsTheOtherKeysAndReadsOnlyItsEntries) {
  Write("; written by hand\n[Other]\nKeep=this\n");
  TAVProfileList list;
  for (const char* description : {"one", "two", "three"}) {
    list.Add<TAVCustomAudioProfile>().SetDescription(description);
  }
  SaveProfiles(list, File());
  list.Delete(list.Profiles(1));
  SaveProfiles(list, File());
  const std::string text = ReadText(File());
  EXPECT_EQ(text.rfind("; written by hand\n[Other]\nKeep=this\n[Profile]\n", 0), 0U);
  EXPECT_NE(text.find("Description1=three\n"), std::string::npos);
  EXPECT_NE(text.find("Description2=three\n"), std::string::npos);  // stale, ignored
  EXPECT_NE(text.find("ProfileCount=2\n"), std::string::npos);

  TAVProfileList loaded;
  ASSERT_TRUE(LoadProfiles(loaded, File()));
  ASSERT_EQ(loaded.Count(), 2);
  EXPECT_EQ(loaded.Profiles(1).Description(), "three");
}

TEST_F(ProfileStoreTest, AFileThatCannotBeReadOrWrittenLosesNothing) {
  testing::ReportCapture reports;
  std::filesystem::create_directory(File());  // a folder where the file should be
  TAVProfileList list;
  BuildCatalogue(list);
  EXPECT_FALSE(LoadProfiles(list, File()));
  EXPECT_EQ(list.Count(), 147);
  ASSERT_EQ(reports.error_boxes.size(), 1U);
  EXPECT_NE(reports.error_boxes[0].find(File()), std::string::npos);
  EXPECT_THROW(SaveProfiles(list, File()), ProfileStoreError);
  EXPECT_THROW(SaveProfiles(list, folder_.File("missing/Profiles.ini")), ProfileStoreError);
}

TEST_F(ProfileStoreTest, TheDefaultFileLivesInTheDataFolder) {
  setenv("XDG_DATA_HOME", folder_.File("data").c_str(), 1);
  const std::string expected = folder_.File("data") + "/Quillon/ZembraCHS/Profiles.ini";
  EXPECT_EQ(ProfilesFile(), expected);

  TAVProfileList list;
  BuildCatalogue(list);
  LoadProfiles(list);  // no file yet: the catalogue stays as built
  EXPECT_EQ(list.Count(), 147);
  list.Delete(list.Profiles(6));  // "AAC Audio"
  SaveProfiles(list);             // creates the folder
  ASSERT_TRUE(std::filesystem::exists(expected));

  TAVProfileList restarted;
  BuildCatalogue(restarted);
  LoadProfiles(restarted);
  EXPECT_EQ(restarted.Count(), 146);
  EXPECT_EQ(restarted.ProfilesInCategory("音频").front()->Description(), "MP3 Audio");
}

}  // namespace
}  // namespace zembra::profiles
