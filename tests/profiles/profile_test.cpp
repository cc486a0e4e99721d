#include "profiles/profile.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "profiles/image_sequence.h"
#include "profiles/x264_preset.h"
#include "support/report_capture.h"

namespace zembra::profiles {
namespace {

using engine::TAVConvertOptions;
using engine::TStringList;

// The codec option lines of `options` whose name is `name`, in order.
std::vector<std::string> LinesNamed(const TAVConvertOptions& options, std::string_view name) {
  std::vector<std::string> found;
  const TStringList& lines = options.CodecOptions();
  for (std::size_t i = 0; i < lines.Count(); ++i) {
    if (lines.Names(i) == name) found.push_back(lines[i]);
  }
  return found;
}

std::string Rate(const TAVConvertOptions& options) {
  const engine::TRational& rate = options.VideoOptions().FrameRate();
  return std::to_string(rate.num()) + "/" + std::to_string(rate.den());
}

template <typename Profile>
std::unique_ptr<Profile> Target(TAVTarget target) {
  auto profile = std::make_unique<Profile>();
  profile->SetTarget(target);
  return profile;
}

std::unique_ptr<TAVCustomVideoProfile> CustomVideo(TCustomVideoEncoder encoder) {
  auto profile = std::make_unique<TAVCustomVideoProfile>();
  profile->SetSampleRate(44100);
  profile->SetAudioEncoder(TCustomAudioEncoder::AAC);
  profile->SetAudioChannels(TCustomAudioChannels::stereo2);
  profile->SetAudioBitrate(128);
  profile->SetFormat(TCustomAVFormat::F_MP4);
  profile->SetFrameWidth(640);
  profile->SetFrameHeight(480);
  profile->SetVideoEncoder(encoder);
  profile->SetFrameRate(TCustomFrameRate::r2997);
  profile->SetVideoBitrate(900);
  return profile;
}

// One row per class: what applying it to fresh options (with a thread count of 4 set by the
// caller, as the wizard does) leaves in the options.
struct ApplyCase {
  const char* name;
  std::function<std::unique_ptr<TAVProfile>()> make;
  const char* video_codec;
  const char* audio_codec;
  const char* format;
  int width;
  int height;
  const char* rate;
  int video_bitrate;
  int audio_bitrate;
  int sample_rate;
  int channels;
  int threads;
  int pix_fmt;
  std::vector<std::string> codec_options;
};

TEST(ProfileApplyTo, EachClassWritesItsOptions) {
  const std::vector<std::string> vcd_pal = {"g=15",           "maxrate=1150000", "minrate=1150000",
                                            "bufsize=327680", "packetsize=2324", "muxrate=1411200"};
  const std::vector<std::string> vcd_ntsc = {
      "g=18",           "maxrate=1150000", "minrate=1150000",
      "bufsize=327680", "packetsize=2324", "muxrate=1411200"};
  const std::vector<std::string> svcd = {"g=15",          "maxrate=2516000",
                                         "minrate=0",     "bufsize=1835008",
                                         "scan_offset=1", "packetsize=2324"};
  const std::vector<std::string> dvd = {"g=18",
                                        "maxrate=9000000",
                                        "minrate=0",
                                        "bufsize=1835008",
                                        "packetsize=2048",
                                        "muxrate=10080000"};
  const auto image = [](TAVImageType type) {
    return [type]() -> std::unique_ptr<TAVProfile> {
      auto profile = std::make_unique<TAVImageProfile>();
      profile->SetImageType(type);
      return profile;
    };
  };
  const auto mp3 = []() -> std::unique_ptr<TAVProfile> {
    auto profile = std::make_unique<TAVCustomAudioProfile>();
    profile->SetSampleRate(44100);
    profile->SetAudioEncoder(TCustomAudioEncoder::MP3);
    profile->SetAudioChannels(TCustomAudioChannels::stereo2);
    profile->SetAudioBitrate(192);
    profile->SetFormat(TCustomAVFormat::F_MKV);
    profile->SetOptions({"cutoff=15000", "bufsize=4096k"});
    return profile;
  };
  // clang-format off
  const ApplyCase cases[] = {
      // name, profile, video codec, audio codec, container, width, height, frame rate,
      // video bit/s, audio bit/s, Hz, channels, threads, pixel format, codec options
      {"VCD PAL", [] { return Target<TAVVcdProfile>(TAVTarget::pal); },
       "mpeg1video", "mp2", "vcd", 352, 288, "25/1", 1150000, 224000, 44100, 2, 4, -1, vcd_pal},
      {"VCD NTSC", [] { return Target<TAVVcdProfile>(TAVTarget::ntsc); },
       "mpeg1video", "mp2", "vcd", 352, 240, "30000/1001", 1150000, 224000, 44100, 2, 4, -1, vcd_ntsc},
      {"VCD film", [] { return Target<TAVVcdProfile>(TAVTarget::film); },
       "mpeg1video", "mp2", "vcd", 352, 240, "24000/1001", 1150000, 224000, 44100, 2, 4, -1, vcd_ntsc},
      // Two channels: the layer II encoder takes no more.
      {"SVCD PAL", [] { return Target<TAVSVcdProfile>(TAVTarget::pal); },
       "mpeg2video", "mp2", "svcd", 480, 576, "25/1", 2040000, 224000, 44100, 2, 4, -1, svcd},
      {"DVD NTSC", [] { return Target<TAVDvdProfile>(TAVTarget::ntsc); },
       "mpeg2video", "ac3", "dvd", 720, 480, "30000/1001", 6000000, 448000, 48000, 0, 4, -1, dvd},
      // DV: the container picks the codecs; film is carried at the NTSC rate.
      {"DV PAL", [] { return Target<TAVDvProfile>(TAVTarget::pal); },
       "", "", "dv", 720, 576, "25/1", 0, 0, 48000, 2, 4, 0, {}},
      {"DV NTSC", [] { return Target<TAVDvProfile>(TAVTarget::ntsc); },
       "", "", "dv", 720, 480, "30000/1001", 0, 0, 48000, 2, 4, 7, {}},
      {"DV film", [] { return Target<TAVDvProfile>(TAVTarget::film); },
       "", "", "dv", 720, 480, "30000/1001", 0, 0, 48000, 2, 4, 7, {}},
      {"DV50 film", [] { return Target<TAVDv50Profile>(TAVTarget::film); },
       "", "", "dv", 720, 480, "30000/1001", 0, 0, 48000, 2, 4, 4, {}},
      {"PNG sequence", image(TAVImageType::png),
       "png", "", "image2", 0, 0, "25/1", 0, 0, 0, 0, 1, -1, {}},
      // One animated GIF: a GIF picture after the first is no file of its own.
      {"GIF sequence", image(TAVImageType::gif),
       "gif", "", "gif", 0, 0, "25/1", 0, 0, 0, 0, 1, -1, {}},
      {"custom audio MP3", mp3,
       "", "libmp3lame", "matroska", 0, 0, "25/1", 0, 192000, 44100, 2, 4, -1,
       {"cutoff=15000", "bufsize=4096k"}},
      {"custom video MPEG-4 (AAC is FFmpeg's own encoder)", [] { return CustomVideo(TCustomVideoEncoder::MPEG4); },
       "mpeg4", "aac", "mp4", 640, 480, "30000/1001", 900000, 128000, 44100, 2, 4, -1, {}},
      {"custom video WMV2 runs on one thread", [] { return CustomVideo(TCustomVideoEncoder::WMV2); },
       "wmv2", "aac", "mp4", 640, 480, "30000/1001", 900000, 128000, 44100, 2, 1, -1, {}},
  };
  // clang-format on
  for (const ApplyCase& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ReportCapture reports;
    TAVConvertOptions options;
    options.SetThreadCount(4);
    const auto profile = c.make();
    EXPECT_TRUE(profile->ApplyTo(options));
    const engine::TVideoOptions& video = options.VideoOptions();
    const engine::TAudioOptions& audio = options.AudioOptions();
    EXPECT_EQ(video.EncoderVideoCodecName(), c.video_codec);
    EXPECT_EQ(audio.EncoderAudioCodecName(), c.audio_codec);
    EXPECT_EQ(options.OutputFormat(), c.format);
    EXPECT_EQ(video.FrameWidth(), c.width);
    EXPECT_EQ(video.FrameHeight(), c.height);
    EXPECT_EQ(Rate(options), c.rate);
    EXPECT_EQ(video.Bitrate(), c.video_bitrate);
    EXPECT_EQ(audio.Bitrate(), c.audio_bitrate);
    EXPECT_EQ(audio.AudioSampleRate(), c.sample_rate);
    EXPECT_EQ(audio.AudioChannels(), c.channels);
    EXPECT_EQ(options.ThreadCount(), c.threads);
    EXPECT_EQ(video.FramePixFormat(), c.pix_fmt);
    EXPECT_EQ(options.CodecOptions().Lines(), c.codec_options);
    EXPECT_TRUE(reports.error_boxes.empty());
  }
}

TEST(ProfileApplyTo, VcdSetsItsMuxPreloadAndAppliedTwiceRepeatsOnlyTheGopLine) {
  TAVConvertOptions options;
  TAVVcdProfile vcd;
  vcd.SetTarget(TAVTarget::ntsc);
  vcd.ApplyTo(options);
  EXPECT_FLOAT_EQ(options.MuxerOptions().MuxPreload(), 0.44F);
  vcd.ApplyTo(options);
  EXPECT_EQ(LinesNamed(options, "g"), (std::vector<std::string>{"g=18", "g=18"}));
  for (const char* name : {"maxrate", "minrate", "bufsize", "packetsize", "muxrate"}) {
    EXPECT_EQ(LinesNamed(options, name).size(), 1U) << name;
  }
  EXPECT_EQ(options.CodecOptions().Count(), 7U);
}

TEST(ProfileApplyTo, CustomAudioKeepsWhatItDoesNotSet) {
  TAVConvertOptions options;
  options.SetOutputFormat("set before");
  TAVCustomAudioProfile amr;
  amr.SetSampleRate(8000);
  amr.SetAudioEncoder(TCustomAudioEncoder::AMR_NB);
  amr.SetAudioBitrate(7.4);
  amr.SetFormat(TCustomAVFormat::F_NONE);
  amr.ApplyTo(options);
  EXPECT_EQ(options.AudioOptions().Bitrate(), 7400);
  EXPECT_EQ(options.AudioOptions().AudioChannels(), 1);  // mono1, the constructor's
  EXPECT_EQ(options.OutputFormat(), "set before");
  EXPECT_TRUE(options.VideoOptions().VideoDisable());
  EXPECT_TRUE(options.SubtitleOptions().SubtitleDisable());

  TAVCustomAudioProfile gsm;
  gsm.SetAudioBitrate(12.2);
  gsm.ApplyTo(options);
  EXPECT_EQ(options.AudioOptions().Bitrate(), 12200);

  // A stream copy stops after disabling video: no encoder, no format.
  TAVConvertOptions copying;
  copying.AudioOptions().SetAudioStreamCopy(true);
  TAVCustomAudioProfile mkv;
  mkv.SetFormat(TCustomAVFormat::F_MKV);
  mkv.ApplyTo(copying);
  EXPECT_TRUE(copying.VideoOptions().VideoDisable());
  EXPECT_EQ(copying.AudioOptions().EncoderAudioCodecName(), "");
  EXPECT_EQ(copying.OutputFormat(), "");
}

TEST(ProfileApplyTo, CustomVideoSizesRatesAndAspect) {
  TAVConvertOptions options;
  options.VideoOptions().SetFrameHeight(123);  // as if known from the source
  auto profile = CustomVideo(TCustomVideoEncoder::MPEG4);
  profile->SetFrameWidth(320);
  profile->SetFrameHeight(0);
  profile->SetFrameRate(TCustomFrameRate::rOriginal);
  profile->SetFrameAspectRatio(TAVAspectRatio::AR4_3);
  profile->ApplyTo(options);
  EXPECT_EQ(options.VideoOptions().FrameWidth(), 320);
  EXPECT_EQ(options.VideoOptions().FrameHeight(), 123);
  EXPECT_EQ(Rate(options), "25/1");  // rOriginal applies nothing
  EXPECT_FLOAT_EQ(options.VideoOptions().FrameAspectRatio(), 4.0F / 3.0F);
  EXPECT_FALSE(options.VideoOptions().VideoDisable());

  const std::pair<TCustomFrameRate, const char*> rates[] = {
      {TCustomFrameRate::r1499, "15000/1001"}, {TCustomFrameRate::r20, "20/1"},
      {TCustomFrameRate::r2397, "24000/1001"}, {TCustomFrameRate::r24, "24/1"},
      {TCustomFrameRate::r25, "25/1"},         {TCustomFrameRate::r2997, "30000/1001"},
      {TCustomFrameRate::r30, "30/1"}};
  for (const auto& [rate, text] : rates) {
    TAVConvertOptions fresh;
    profile->SetFrameRate(rate);
    profile->ApplyTo(fresh);
    EXPECT_EQ(Rate(fresh), text);
  }
}

TEST(ProfileApplyTo, CustomVideoH264WritesTheBasicPresetThenMbdLevelAndItsOwnPass) {
  testing::ReportCapture reports;
  TAVConvertOptions options;
  options.VideoOptions().SetPass(2);
  auto profile = CustomVideo(TCustomVideoEncoder::H264);
  profile->SetPass(0);
  profile->ApplyTo(options);
  EXPECT_EQ(options.VideoOptions().EncoderVideoCodecName(), "libx264");
  EXPECT_EQ(options.VideoOptions().Pass(), 0);

  TAVConvertOptions preset_only;
  WriteX264Preset(TPreset::basic, preset_only);
  std::vector<std::string> expected = preset_only.CodecOptions().Lines();
  expected.push_back("mbd=rd");
  expected.push_back("level=41");
  EXPECT_EQ(options.CodecOptions().Lines(), expected);
  EXPECT_TRUE(reports.error_boxes.empty());
}

// The preset tables in their translated form: the settings each preset is about, by the names
// the FFmpeg 5.1 libx264 wrapper takes.
TEST(X264Preset, EachPresetCarriesItsSettingsUnderTodaysNames) {
  struct Case {
    TPreset preset;
    const char* partitions;
    const char* me;
    const char* subq;
    const char* bf;
    const char* refs;
    const char* trellis;
    const char* direct;
    const char* qp;  // "" when not written
    const char* weightb;
    const char* mixed;
    const char* dct;
    const char* pskip;
    const char* pyramid;
    const char* wpredp;
  };
  const Case cases[] = {
      {TPreset::basic, "i8x8,i4x4,p8x8,b8x8", "hex", "7", "3", "3", "1", "1", "", "1", "1", "1",
       "1", "none", "2"},
      {TPreset::FastFirstPass, "none", "dia", "2", "3", "1", "0", "3", "", "0", "0", "0", "1",
       "none", "2"},
      {TPreset::SlowFirstPass, "i8x8,i4x4,p8x8,b8x8", "hex", "6", "3", "1", "0", "3", "", "1", "0",
       "1", "1", "none", "2"},
      {TPreset::Common, "i8x8,i4x4,p8x8,b8x8", "hex", "6", "3", "2", "0", "3", "", "1", "0", "1",
       "1", "none", "2"},
      {TPreset::HighQuality, "i8x8,i4x4,p8x8,b8x8", "umh", "8", "3", "4", "1", "3", "", "1", "1",
       "1", "1", "none", "2"},
      {TPreset::Best, "i8x8,i4x4,p8x8,p4x4,b8x8", "tesa", "10", "3", "16", "2", "3", "", "1", "1",
       "1", "0", "none", "2"},
      // Lossless presets name no B-frames, reference count or trellis: the defaults they were
      // designed against are written out.
      {TPreset::LosslessFast, "i4x4,p8x8", "hex", "3", "0", "1", "0", "1", "0", "0", "0", "0", "1",
       "none", "0"},
      {TPreset::LosslessMedium, "i4x4,p8x8,p4x4", "hex", "5", "0", "1", "0", "1", "0", "0", "0",
       "0", "1", "none", "2"},
      {TPreset::LosslessSlow, "i8x8,i4x4,p8x8,p4x4", "umh", "6", "0", "2", "0", "1", "0", "0", "0",
       "1", "1", "none", "2"},
      {TPreset::LosslessSlower, "i8x8,i4x4,p8x8,p4x4", "umh", "8", "0", "4", "0", "1", "0", "0",
       "1", "1", "1", "none", "2"},
      {TPreset::LosslessMax, "i8x8,i4x4,p8x8,p4x4", "esa", "8", "0", "16", "0", "1", "0", "0", "1",
       "1", "1", "none", "2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(kPresetNames[static_cast<std::size_t>(c.preset)]);
    TAVX264Profile profile;
    profile.Setpreset(c.preset);
    TAVConvertOptions options;
    profile.ApplyTo(options);
    const TStringList& lines = options.CodecOptions();
    EXPECT_EQ(lines.Values("partitions"), c.partitions);
    EXPECT_EQ(lines.Values("me_method"), c.me);
    EXPECT_EQ(lines.Values("subq"), c.subq);
    EXPECT_EQ(lines.Values("bf"), c.bf);
    EXPECT_EQ(lines.Values("refs"), c.refs);
    EXPECT_EQ(lines.Values("trellis"), c.trellis);
    EXPECT_EQ(lines.Values("direct-pred"), c.direct);
    EXPECT_EQ(lines.IndexOfName("qp") >= 0, *c.qp != '\0');
    EXPECT_EQ(lines.Values("qp"), c.qp);
    EXPECT_EQ(lines.Values("weightb"), c.weightb);
    EXPECT_EQ(lines.Values("mixed-refs"), c.mixed);
    EXPECT_EQ(lines.Values("8x8dct"), c.dct);
    EXPECT_EQ(lines.Values("fast-pskip"), c.pskip);
    EXPECT_EQ(lines.Values("mbtree"), "1");
    EXPECT_EQ(lines.Values("b-pyramid"), c.pyramid);
    EXPECT_EQ(lines.Values("wpredp"), c.wpredp);
    // Shared by every preset, in the designed order, and the last line is wpredp.
    EXPECT_EQ(lines[0], "coder=1");
    EXPECT_EQ(lines[1], "flags=+loop");
    EXPECT_EQ(lines[2], "cmp=+chroma");
    for (const char* shared : {"g=250", "keyint_min=25", "sc_threshold=40", "i_qfactor=0.71",
                               "qcomp=0.6", "qmin=10", "qmax=51", "qdiff=4"}) {
      EXPECT_GE(lines.IndexOf(shared), 0) << shared;
    }
    EXPECT_EQ(lines.Names(lines.Count() - 1), "wpredp");
    // None of the names the 5.1 wrapper no longer knows.
    for (const char* gone : {"directpred", "cqp", "flags2"}) {
      EXPECT_LT(lines.IndexOfName(gone), 0) << gone;
    }
  }
}

TEST(X264Preset, AValueOutsideTheEnumerationWritesNothing) {
  for (const int ordinal : {11, -1, 1000}) {
    TAVX264Profile profile;
    profile.Setpreset(static_cast<TPreset>(ordinal));
    TAVConvertOptions options;
    EXPECT_TRUE(profile.ApplyTo(options));
    EXPECT_TRUE(options.CodecOptions().Empty());
    EXPECT_FALSE(profile.Availability().available);
  }
}

// A damaged profile file can leave any number in an enumeration field.
TEST(ProfileApplyTo, OrdinalsOutsideTheirEnumerationSkipTheirStepAndMakeTheProfileUnavailable) {
  struct Case {
    const char* field;
    std::function<void(TAVCustomVideoProfile&)> damage;
  };
  const Case cases[] = {
      {"AudioEncoder", [](auto& p) { p.SetAudioEncoder(static_cast<TCustomAudioEncoder>(8)); }},
      {"AudioChannels", [](auto& p) { p.SetAudioChannels(static_cast<TCustomAudioChannels>(-3)); }},
      {"Format", [](auto& p) { p.SetFormat(static_cast<TCustomAVFormat>(18)); }},
      {"VideoEncoder",
       [](auto& p) { p.SetVideoEncoder(static_cast<TCustomVideoEncoder>(1 << 30)); }},
      {"FrameRate", [](auto& p) { p.SetFrameRate(static_cast<TCustomFrameRate>(8)); }},
      {"FrameAspectRatio", [](auto& p) { p.SetFrameAspectRatio(static_cast<TAVAspectRatio>(2)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    testing::ReportCapture reports;
    auto profile = CustomVideo(TCustomVideoEncoder::MPEG4);
    c.damage(*profile);
    TAVConvertOptions options;
    options.SetOutputFormat("before");
    EXPECT_TRUE(profile->ApplyTo(options));
    const ProfileAvailability availability = profile->Availability();
    EXPECT_FALSE(availability.available);
    EXPECT_NE(availability.reason.find(c.field), std::string::npos) << availability.reason;
    EXPECT_TRUE(reports.error_boxes.empty());
  }

  auto profile = CustomVideo(TCustomVideoEncoder::MPEG4);
  profile->SetAudioEncoder(static_cast<TCustomAudioEncoder>(99));
  profile->SetFormat(static_cast<TCustomAVFormat>(-1));
  profile->SetVideoEncoder(static_cast<TCustomVideoEncoder>(42));
  TAVConvertOptions options;
  options.SetOutputFormat("before");
  profile->ApplyTo(options);
  EXPECT_EQ(options.AudioOptions().EncoderAudioCodecName(), "");
  EXPECT_EQ(options.VideoOptions().EncoderVideoCodecName(), "");
  EXPECT_EQ(options.OutputFormat(), "before");
  EXPECT_EQ(profile->AudioEncoderName(), "");
  EXPECT_EQ(profile->VideoEncoderName(), "");

  for (const int target : {3, -1}) {
    for (const auto& make : std::vector<std::function<std::unique_ptr<TAVTargetProfile>()>>{
             [] { return std::make_unique<TAVVcdProfile>(); },
             [] { return std::make_unique<TAVDvProfile>(); },
             [] { return std::make_unique<TAVDv50Profile>(); }}) {
      auto fixed = make();
      fixed->SetTarget(static_cast<TAVTarget>(target));
      TAVConvertOptions fixed_options;
      EXPECT_TRUE(fixed->ApplyTo(fixed_options));
      EXPECT_EQ(Rate(fixed_options), "25/1");
      EXPECT_FALSE(fixed->Availability().available);
    }
  }
}

TEST(ProfileLookups, FrameSizeNamesAndRates) {
  const std::tuple<int, int, TAVFrameSize> sizes[] = {
      {1440, 1080, TAVFrameSize::fsMceHd},  {1366, 768, TAVFrameSize::fsWxga},
      {100, 100, TAVFrameSize::fsOriginal}, {852, 480, TAVFrameSize::fsWvga},
      {0, 0, TAVFrameSize::fsOriginal},     {240, 240, TAVFrameSize::fsIPaq},
      {320, 0, TAVFrameSize::fsOriginal}};
  for (const auto& [width, height, expected] : sizes) {
    TAVCustomVideoProfile profile;
    profile.SetFrameWidth(width);
    profile.SetFrameHeight(height);
    EXPECT_EQ(profile.FrameSize(), expected) << width << "x" << height;
  }
  EXPECT_EQ(FrameSizes.size(), 39U);
  EXPECT_EQ(FrameSizes[static_cast<std::size_t>(TAVFrameSize::fsHd720)].name, "hd720(1280x720)");

  TAVCustomVideoProfile profile;
  const std::pair<TCustomFrameRate, double> rates[] = {{TCustomFrameRate::rOriginal, 0.0},
                                                       {TCustomFrameRate::r1499, 14.99},
                                                       {TCustomFrameRate::r2997, 29.97},
                                                       {TCustomFrameRate::r30, 30.0},
                                                       {static_cast<TCustomFrameRate>(9), 0.0}};
  for (const auto& [rate, value] : rates) {
    profile.SetFrameRate(rate);
    EXPECT_DOUBLE_EQ(profile.FrameRateValue(), value);
  }
  profile.SetVideoEncoder(TCustomVideoEncoder::MSMPEGV3);
  profile.SetAudioEncoder(TCustomAudioEncoder::PCM_S16LE);
  EXPECT_EQ(profile.VideoEncoderName(), "MSMPEGV3");
  EXPECT_EQ(profile.AudioEncoderName(), "PCM_S16LE");
}

TEST(ProfileModel, ConstructorValuesAndPublishedVocabulary) {
  const std::tuple<std::unique_ptr<TAVProfile>, const char*, const char*> fixed[] = {
      {std::make_unique<TAVVcdProfile>(), "VCD", ".mpg"},
      {std::make_unique<TAVSVcdProfile>(), "SVCD", ".mpg"},
      {std::make_unique<TAVDvdProfile>(), "DVD", ".vob"},
      {std::make_unique<TAVDvProfile>(), "DV", ".dv"},
      {std::make_unique<TAVDv50Profile>(), "DV50", ".dv"},
      {std::make_unique<TAVImageProfile>(), "Image Sequence Profile", ""},
      {std::make_unique<TAVX264Profile>(), "H264 Profile", ".mp4"},
      {std::make_unique<TAVCustomAudioProfile>(), "", ""},
      {std::make_unique<TAVCustomVideoProfile>(), "", ""}};
  for (const auto& [profile, description, extension] : fixed) {
    EXPECT_EQ(profile->Description(), description);
    EXPECT_EQ(profile->Extension(), extension);
    EXPECT_EQ(profile->Category(), "");
  }

  auto names = [](const TAVProfile& profile) {
    std::vector<std::string_view> found;
    for (const auto& info : profile.PublishedProperties()) found.push_back(info.name);
    return found;
  };
  EXPECT_EQ(names(TAVX264Profile()),
            (std::vector<std::string_view>{"Description", "Extension", "Category", "preset"}));
  EXPECT_EQ(names(TAVDvProfile()),
            (std::vector<std::string_view>{"Description", "Extension", "Category", "Target"}));
  EXPECT_EQ(names(TAVCustomVideoProfile()),
            (std::vector<std::string_view>{
                "Description", "Extension", "Category", "SampleRate", "AudioEncoder",
                "AudioChannels", "AudioBitrate", "Format", "Options", "FrameWidth", "FrameHeight",
                "VideoEncoder", "FrameRate", "VideoBitrate", "Pass", "FrameAspectRatio"}));

  TAVCustomVideoProfile video;
  EXPECT_EQ(video.AudioEncoder(), TCustomAudioEncoder::AAC);
  EXPECT_EQ(video.AudioChannels(), TCustomAudioChannels::mono1);
  EXPECT_EQ(video.VideoEncoder(), TCustomVideoEncoder::H263);
  EXPECT_EQ(video.Pass(), 0);
  EXPECT_EQ(TAVVcdProfile().Target(), TAVTarget::pal);
}

TEST(ProfileList, OwnershipOrderAndCustomProfiles) {
  TAVProfileList list;
  auto& vcd = list.Add<TAVVcdProfile>();
  auto& audio = list.Add<TAVCustomAudioProfile>();
  auto& dv = list.Add<TAVDvProfile>();
  list.Add<TAVCustomVideoProfile>();
  auto& image = list.Add<TAVImageProfile>();
  list.Add<TAVCustomVideoProfile>();
  EXPECT_EQ(audio.List(), &list);
  EXPECT_EQ(audio.Index(), 1);

  // Moving clamps to the list.
  image.SetIndex(-5);
  EXPECT_EQ(image.Index(), 0);
  image.SetIndex(100);
  EXPECT_EQ(image.Index(), 5);
  image.SetIndex(2);

  std::unique_ptr<TAVProfile> taken = list.Remove(audio);
  ASSERT_EQ(taken.get(), &audio);
  EXPECT_EQ(audio.List(), nullptr);
  EXPECT_EQ(audio.Index(), -1);
  EXPECT_EQ(list.Remove(audio), nullptr);
  list.Add(std::move(taken));

  list.ClearCustomProfiles();
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(&list.Profiles(0), &vcd);
  EXPECT_EQ(&list.Profiles(1), &image);
  EXPECT_EQ(&list.Profiles(2), &dv);
  EXPECT_THROW(list.Profiles(3), std::out_of_range);
}

TEST(ProfileList, ListingByCategoryIgnoresLetterCase) {
  TAVProfileList list;
  const std::pair<const char*, const char*> profiles[] = {
      {"a", "Xbox"}, {"b", "XBox"}, {"c", "xbox "}, {"d", ""}, {"e", "视频"}, {"f", "XBOX"}};
  for (const auto& [description, category] : profiles) {
    auto& profile = list.Add<TAVCustomVideoProfile>();
    profile.SetDescription(description);
    profile.SetCategory(category);
  }
  auto descriptions = [&](std::string_view caption) {
    std::string text;
    for (const TAVProfile* profile : list.ProfilesInCategory(caption)) {
      text += profile->Description();
    }
    return text;
  };
  EXPECT_EQ(descriptions("Xbox"), "abf");
  EXPECT_EQ(descriptions("视频"), "e");
  EXPECT_EQ(descriptions(""), "");  // profiles without a category are never listed
}

TEST(ImageSequenceName, TheNumberAtTheEndOfTheStemCounts) {
  struct Case {
    const char* file;
    const char* pattern;
    int start;
    const char* second;  // the file after the first
  };
  const Case cases[] = {
      {"/out/clip1.jpg", "/out/clip%d.jpg", 1, "/out/clip2.jpg"},
      {"/out/clip007.png", "/out/clip%03d.png", 7, "/out/clip008.png"},
      {"/out/clip099.png", "/out/clip%03d.png", 99, "/out/clip100.png"},
      {"/out/50% off 2.tif", "/out/50%% off %d.tif", 2, "/out/50% off 3.tif"},
      {"/out/1.jpg", "/out/%d.jpg", 1, "/out/2.jpg"},
      {"/out/x12345678901.gif", "/out/x12%d.gif", 345678901, "/out/x12345678902.gif"},
      {"/out/x120000000001.gif", "/out/x120%09d.gif", 1, "/out/x120000000002.gif"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const ImageSequenceName name = MakeImageSequenceName(c.file);
    EXPECT_EQ(name, (ImageSequenceName{c.pattern, c.start}));
    // The first file is the name given.
    EXPECT_EQ(name.FileName(c.start), c.file);
    EXPECT_EQ(name.FileName(c.start + 1), c.second);
  }
  // A name without a number gets one: the files are clip1.bmp, clip2.bmp, ...
  const ImageSequenceName plain = MakeImageSequenceName("/out/clip.bmp");
  EXPECT_EQ(plain, (ImageSequenceName{"/out/clip%d.bmp", 1}));
  EXPECT_EQ(plain.FileName(1), "/out/clip1.bmp");
  // A dot in a folder name is no extension.
  EXPECT_EQ(MakeImageSequenceName("/out/v2.5/clip"), (ImageSequenceName{"/out/v2.5/clip%d", 1}));
}

}  // namespace
}  // namespace zembra::profiles
