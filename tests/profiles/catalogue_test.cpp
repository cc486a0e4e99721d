#include "profiles/catalogue.h"

#include <gtest/gtest.h>

#include <map>
#include <typeinfo>

namespace zembra::profiles {
namespace {

std::vector<std::string> Descriptions(const std::vector<TAVProfile*>& profiles) {
  std::vector<std::string> descriptions;
  for (const TAVProfile* profile : profiles) descriptions.push_back(profile->Description());
  return descriptions;
}

TEST(Catalogue, EntriesByClass) {
  TAVProfileList list;
  BuildCatalogue(list);
  ASSERT_EQ(list.Count(), 147);
  std::map<std::string_view, int> counts;
  for (int i = 0; i < list.Count(); ++i) ++counts[list.Profiles(i).ClassName()];
  const std::map<std::string_view, int> expected = {
      {"TAVCustomVideoProfile", 116}, {"TAVCustomAudioProfile", 11}, {"TAVImageProfile", 6},
      {"TAVVcdProfile", 4},           {"TAVSVcdProfile", 4},         {"TAVDvProfile", 4},
      {"TAVDvdProfile", 1},           {"TAVDv50Profile", 1}};
  EXPECT_EQ(counts, expected);

  // The six hidden ones come first, with their classes' own extensions.
  const std::tuple<const char*, const char*, const char*> hidden[] = {
      {"VCD", "TAVVcdProfile", ".mpg"},   {"DV", "TAVDvProfile", ".dv"},
      {"DV50", "TAVDv50Profile", ".dv"},  {"DVD", "TAVDvdProfile", ".vob"},
      {"SVCD", "TAVSVcdProfile", ".mpg"}, {"Image Sequence Profile", "TAVImageProfile", ".bmp"}};
  for (int i = 0; i < 6; ++i) {
    const TAVProfile& profile = list.Profiles(i);
    EXPECT_EQ(profile.Description(), std::get<0>(hidden[i]));
    EXPECT_EQ(profile.ClassName(), std::get<1>(hidden[i]));
    EXPECT_EQ(profile.Extension(), std::get<2>(hidden[i]));
    EXPECT_EQ(profile.Category(), "");
  }
  // Every other entry belongs to exactly one category of the list.
  int listed = 0;
  for (const std::string_view caption : kCategoryCaptions) {
    listed += static_cast<int>(list.ProfilesInCategory(caption).size());
  }
  EXPECT_EQ(listed, 141);
}

TEST(Catalogue, CategoriesListTheirProfilesInCatalogueOrder) {
  TAVProfileList list;
  BuildCatalogue(list);
  const std::vector<std::string> categories(list.Categories().begin(), list.Categories().end());
  EXPECT_EQ(
      categories,
      (std::vector<std::string>{
          "视频",        "HD Video", "音频",           "Mobile",        "MP4",      "MP3",  "AVI",
          "Flash Video", "Images",   "IPad",           "IPhone",        "IPod",     "Zune", "PSP",
          "PS3",         "Xbox",     "Windows Mobile", "Android Phone", "Apple TV", "VCD",  "DV"}));

  const std::map<std::string, std::vector<std::string>> expected = {
      {"视频",
       {"DVD MPEG TS(PAL) (*.vob)",
        "DVD MPEG2 PS(NTSC)(*.vob) ",
        "DVD Video - SECAM (*.vob) ",
        " Matroska Video (*.MKV)",
        " Flash Video (*.flv)",
        "Apple Quicktime Video(*.mov) ",
        "MPEG-4 Video (*.mp4)",
        "H.264/MPEG-4 AVC Video (*.mp4)",
        "M4V MPEG-4 Video (*.m4v)",
        "H.264 AVI - Audio Video Interleaved (*.avi)",
        "DivX Video (*.avi)",
        "XviD Video (*.avi)",
        "ASF - Advanced Streaming Format (*.asf)",
        "WMV - Windows Media Video (*.wmv)",
        "MPEG-2 Video (*.mpg)",
        "手机3GP- 单声道Mono (*.3gp)",
        "手机3GP - 双声道Stereo(*.3gp)",
        "手机3GP - 单声道Mono (*.3g2)",
        "手机3GP - 双声道Stereo (*.3g2)",
        "FLV - Flash Video Format (*.flv)",
        "Flash H264 Video (*.flv)",
        "SWF - SWF Format (*.swf)"}},
      {"HD Video",
       {"PS3 H.264 HD Video(720p)(*.mp4)",
        "PS3 H.264 HD Video(1080p)(*.mp4)",
        "PS3 DivX HD Video (*.avi)",
        "PS3 MPEG2-PS HD Video (*.mpg)",
        "PS3 MPEG2-TS HD Video (*.ts)",
        "Xbox360 WMV HD Video (*.wmv)",
        "Xbox360 HD MPEG4 Video (*.mp4)",
        "Xbox360 H.264 HD Video (*.mp4)",
        "Xbox360 DivX HD Video (*.avi)",
        "Xbox360 MPEG2-PS HD Video (*.mpg)",
        "Xbox360 MPEG2-TS HD Video (*.ts)",
        "Xbox360 XviD HD Video (*.avi)",
        "HD MPEG-4 Video (*.mp4)",
        "HD MPEG-4 TS HD Video (*.ts)",
        "HD H.264/MPEG-4 AVC Video (*.mp4)",
        "HD MOV Video (*.mov)",
        "HD AVI Video (*.avi)",
        "DivX HD Video (*.avi)",
        "XviD HD Video (*.avi)",
        "HD ASF Video (*.asf)",
        "HD WMV Video (*.wmv)",
        "MPEG2-PS HD Video (*.mpg)",
        "MPEG2-TS HD Video (*.ts)",
        "HD VOB Video (*.vob)",
        "HD MKV Video Format (*.mkv)",
        "MTS-MPEG-2 Transport Stream (*.m2ts)",
        "MTS-H264 Transport Stream (*.mts)"}},
      {"音频",
       {"AAC Audio", "MP3 Audio", "AC3 Dolby Audio", "WMA- Windows Media Audio(*.wma)",
        "AMR - Adaptive Multi-Rate (*.amr)", "M4A - MPEG-4 Audio (*.m4a)",
        "MP2-MPEG Layer-2 Audio(*.mp2)", "MKA-Matroska Audio(*.mka)"}},
      {"Mobile", {"3GPP", "3GPP2", "3GPP2 High Quality"}},
      {"MP4", {"MPEG-4 Video (*.mp4)", "H.264/MPEG-4 AVC Video (*.mp4)"}},
      {"MP3", {"MP3 192 (*.mp3)", "MP3 256 (*.mp3)", "MP3 128 (*.mp3)"}},
      {"AVI", {"H.264 AVI (*.avi)", "DivX Video (*.avi)", "XviD Video (*.avi)"}},
      {"Flash Video",
       {"FLV - Flash Video Format (*.flv)", "Flash H264 Video (*.flv)", "SWF - SWF Format (*.swf)",
        "YouTube Video (*.flv)", "F4V - Flash Video (*.f4v)"}},
      {"Images",
       {"JPEG Sequence", "GIF Sequence", "PNG Sequence", "BMP Sequence", "TIFF Sequence"}},
      {"IPad", {"IPad H264 Video", "IPad H264 Hiqh Quality"}},
      {"IPhone",
       {"IPhone H264 Video", "IPhone H264 Television Video", "IPhone MPEG4 Video",
        "IPhone MPEG4 Television Video", "IPhone MPEG4 Wide Screen Video"}},
      {"IPod",
       {"IPod 320x240 Video", "IPod 320x240 High Quality Video", "IPod 320x240 Low Quality Video",
        "iPod Video MPEG-4(*.mp4)", "iPod Video H.264((*.mp4)", "iPod Touch MPEG-4(*.mp4)",
        "iPod Touch  H.264 640x480(*.mp4)", "iPod Touch MPEG-4 640x480(*.mp4)",
        "iPod Touch 640x480(*.mov)", "iPod Touch 640x480(*.m4v)",
        "iPod Touch (640x480) for TV(*.mp4)", "iPod Touch(768x576) for TV(*.mp4)",
        "iPod Nano MPEG-4(*.mp4)", "iPod Nano 4 H.264 640x480(*.mp4)",
        "iPod Nano 4 MPEG-4 640x480(*.mp4)", "iPod Nano 4 640x480(*.mov)",
        "iPod Nano 4 640x480(*.m4v)", "iPod Classic MPEG-4(*.mp4)"}},
      {"Zune",
       {"Zune MPEG4 Video(320x240)", "Zune H264 Video(320x240)",
        "Zune Windows Media WMV(320x240)"}},
      {"PSP", {"PSP MPEG4 Video", "PSP AVC Video", "PSP 480p Video"}},
      {"PS3", {"PS3 1080 HD Video", "PS3 720p Video", "PS3 480p Video"}},
      {"Xbox", {"Xbox360 HD H264 Video", "Xbox360 MCE HD MPEG2 Video"}},
      {"Windows Mobile",
       {"Dell Axim X51 Video", "Dell Axim X51v Video", "General Pocket PC Video",
        "General Pocket PC Video(Low Quality)", "HP iPAQ hw6500", "HP iPAQ hx2000/rx3000/rx1900",
        "HP iPAQ hx4700"}},
      {"Android Phone",
       {"Gphone MPEG4 Video(*.mp4)", "Gphone H.264/MPEG4 AVC Video (*.mp4)",
        "Gphone WMV - Windows Media Video (*.wmv)", "Gphone H.263 3GP Video (*.3gp)"}},
      {"Apple TV",
       {"Apple TV H264 Video(320x240)", "Apple TV H264 video(640x480)",
        "Apple TV H264 video(1280x720)", "Apple TV MPEG-4 high quality video(640x480)",
        "Apple TV MPEG-4 video(640x480)", "Apple TV MPEG-4 low quality video(640x480)"}},
      {"VCD",
       {"VOB MPEG2 PS Format (*.vob)", "SVCD PAL (*.mpg)", "SVCD NTSC (*.mpg)", "SVCD Film (*.mpg)",
        "VCD PAL (*.mpg)", "VCD NTSC (*.mpg)", "VCD Film (*.mpg)"}},
      {"DV", {"DV PAL (*.dv)", "DV NTSC (*.dv)", "DV  Film (*.dv)"}},
  };
  ASSERT_EQ(expected.size(), kCategoryCaptions.size());
  for (const auto& [caption, descriptions] : expected) {
    EXPECT_EQ(Descriptions(list.ProfilesInCategory(caption)), descriptions) << caption;
  }
  // The Xbox H.264 entry is written "XBox" and still listed under "Xbox".
  EXPECT_EQ(list.ProfilesInCategory("Xbox").front()->Category(), "XBox");
}

// Spot checks of values the catalogue gives in full, one per kind of entry.
TEST(Catalogue, EntriesCarryTheirValues) {
  TAVProfileList list;
  BuildCatalogue(list);
  auto find = [&](std::string_view category, std::string_view description) -> TAVProfile& {
    for (TAVProfile* profile : list.ProfilesInCategory(category)) {
      if (profile->Description() == description) return *profile;
    }
    throw std::runtime_error("no profile " + std::string(description));
  };

  auto& iphone = dynamic_cast<TAVCustomVideoProfile&>(find("IPhone", "IPhone MPEG4 Video"));
  EXPECT_EQ(iphone.Extension(), ".mp4");
  EXPECT_EQ(iphone.SampleRate(), 48000);
  EXPECT_EQ(iphone.AudioEncoder(), TCustomAudioEncoder::AAC);
  EXPECT_EQ(iphone.AudioChannels(), TCustomAudioChannels::stereo2);
  EXPECT_DOUBLE_EQ(iphone.AudioBitrate(), 128);
  EXPECT_EQ(iphone.Format(), TCustomAVFormat::F_MP4);
  EXPECT_EQ(iphone.FrameSize(), TAVFrameSize::fsIPhone);
  EXPECT_EQ(iphone.VideoEncoder(), TCustomVideoEncoder::MPEG4);
  EXPECT_EQ(iphone.FrameRate(), TCustomFrameRate::r2997);
  EXPECT_EQ(iphone.VideoBitrate(), 1000);
  EXPECT_EQ(iphone.FrameAspectRatio(), TAVAspectRatio::AR4_3);
  EXPECT_EQ(iphone.Pass(), 0);
  EXPECT_EQ(iphone.Options(),
            (engine::TStringList{"maxrate=1000000", "qmin=3", "qmax=5", "bufsize=4096k", "g=300"}));

  auto& gsm = dynamic_cast<TAVCustomVideoProfile&>(find("Mobile", "3GPP"));
  EXPECT_DOUBLE_EQ(gsm.AudioBitrate(), 12.2);
  EXPECT_EQ(gsm.AudioEncoder(), TCustomAudioEncoder::AMR_NB);
  EXPECT_EQ(gsm.AudioChannels(), TCustomAudioChannels::mono1);
  EXPECT_EQ(gsm.FrameRate(), TCustomFrameRate::rOriginal);

  auto& nano = dynamic_cast<TAVCustomVideoProfile&>(find("IPod", "iPod Nano 4 640x480(*.m4v)"));
  EXPECT_EQ(nano.Extension(), ".mp4");
  auto& gphone = dynamic_cast<TAVCustomVideoProfile&>(
      find("Android Phone", "Gphone H.264/MPEG4 AVC Video (*.mp4)"));
  EXPECT_EQ(gphone.FrameWidth(), 320);
  EXPECT_EQ(gphone.FrameHeight(), 0);

  auto& amr =
      dynamic_cast<TAVCustomAudioProfile&>(find("音频", "AMR - Adaptive Multi-Rate (*.amr)"));
  EXPECT_EQ(amr.ClassName(), "TAVCustomAudioProfile");
  EXPECT_DOUBLE_EQ(amr.AudioBitrate(), 7.4);
  EXPECT_EQ(amr.SampleRate(), 8000);

  auto& film = dynamic_cast<TAVDvProfile&>(find("DV", "DV  Film (*.dv)"));
  EXPECT_EQ(film.Target(), TAVTarget::film);
  auto& tiff = dynamic_cast<TAVImageProfile&>(find("Images", "TIFF Sequence"));
  EXPECT_EQ(tiff.Extension(), "1.tif");
  EXPECT_EQ(tiff.ImageType(), TAVImageType::tiff);

  // The aspect ratio 4:3 is set on exactly these six.
  std::vector<std::string> four_by_three;
  for (int i = 0; i < list.Count(); ++i) {
    const auto* video = dynamic_cast<const TAVCustomVideoProfile*>(&list.Profiles(i));
    if (video != nullptr && video->FrameAspectRatio() == TAVAspectRatio::AR4_3) {
      four_by_three.push_back(video->Description());
    }
  }
  EXPECT_EQ(four_by_three, (std::vector<std::string>{
                               "IPhone H264 Video", "IPhone MPEG4 Video", "IPod 320x240 Video",
                               "IPod 320x240 High Quality Video", "IPod 320x240 Low Quality Video",
                               "iPod Video MPEG-4(*.mp4)"}));
}

}  // namespace
}  // namespace zembra::profiles
