#include "profiles/profile.h"

#include <QString>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "engine/converter.h"
#include "profiles/x264_preset.h"

namespace zembra::profiles {

const std::array<std::string_view, 3> kTargetNames = {"pal", "ntsc", "film"};
const std::array<std::string_view, 5> kImageTypeNames = {"bitmap", "jpeg", "png", "gif", "tiff"};
const std::array<std::string_view, 11> kPresetNames = {
    "basic",        "FastFirstPass",  "SlowFirstPass", "Common",         "HighQuality", "Best",
    "LosslessFast", "LosslessMedium", "LosslessSlow",  "LosslessSlower", "LosslessMax"};
const std::array<std::string_view, 8> kCustomAudioEncoderNames = {
    "AAC", "WMAV2", "AC3", "MP2", "MP3", "PCM_S16LE", "RA1", "AMR_NB"};
const std::array<std::string_view, 2> kCustomAudioChannelsNames = {"mono1", "stereo2"};
const std::array<std::string_view, 18> kCustomAVFormatNames = {
    "F_NONE", "F_RM",   "F_MP4",  "F_ASF", "F_AVI", "F_3GP", "F_3GP2", "F_FLV", "F_MOV",
    "F_PSP",  "F_IPOD", "F_SVCD", "F_VCD", "F_VOB", "F_DVD", "F_WEBM", "F_AC3", "F_MKV"};
const std::array<std::string_view, 9> kCustomVideoEncoderNames = {
    "H263", "H264", "MPEG4", "WMV2", "MPEG2VIDEO", "MSMPEGV3", "RV20", "XVID", "FLV"};
const std::array<std::string_view, 8> kCustomFrameRateNames = {
    "rOriginal", "r1499", "r20", "r2397", "r24", "r25", "r2997", "r30"};
const std::array<std::string_view, 2> kAspectRatioNames = {"AR_NONE", "AR4_3"};

const std::array<std::string_view, 9> VideoEncoderNames = {
    "H263", "H264", "MPEG4", "WMV2", "MPEG2VIDEO", "MSMPEGV3", "RV20", "XVID", "FLV"};
const std::array<std::string_view, 8> AudioEncoderNames = {"AAC", "WMAV2",     "AC3", "MP2",
                                                           "MP3", "PCM_S16LE", "RA1", "AMR_NB"};
const std::array<std::string_view, 18> FormatNames = {"NONE", "RM",  "MP4", "ASF",  "AVI",  "3GP",
                                                      "3GP2", "FLV", "MOV", "PSP",  "IPOD", "SVCD",
                                                      "VCD",  "VOB", "DVD", "WEBM", "AC3",  "MKV"};
const std::array<std::string_view, 2> ChannelNames = {"mono", "stereo"};
const std::array<std::string_view, 8> FrameRateNames = {"Original", "14.99", "20",    "23.97",
                                                        "24",       "25",    "29.97", "30"};
const std::array<TFrameRateValue, 8> FrameRateValues = {
    {{0, 0}, {15000, 1001}, {20, 1}, {24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {30, 1}}};
const std::array<TFrameRateValue, 3> TargetFrameRates = {{{25, 1}, {30000, 1001}, {24000, 1001}}};

const std::array<TFrameSize, 39> FrameSizes = {{
    {"Original", 0, 0},
    {"ntsc(720x480)", 720, 480},
    {"pal(720x576)", 720, 576},
    {"352x240", 352, 240},
    {"240x240)", 240, 240},
    {"368x208", 368, 208},
    {"spal(768x576)", 768, 576},
    {"720x406", 720, 406},
    {"480x320", 480, 320},
    {"sqcif(128x96)", 128, 96},
    {"qcif(176x144)", 176, 144},
    {"cif(352x288)", 352, 288},
    {"4cif(704x576)", 704, 576},
    {"16cif(1408x1152)", 1408, 1152},
    {"qqvga(160x120)", 160, 120},
    {"qvga(320x240)", 320, 240},
    {"vga(640x480)", 640, 480},
    {"svga(800x600)", 800, 600},
    {"xga(1024x768)", 1024, 768},
    {"uxga(1600x1200)", 1600, 1200},
    {"qxga(2048x1536)", 2048, 1536},
    {"sxga(1280x1024)", 1280, 1024},
    {"qsxga(2560x2048)", 2560, 2048},
    {"hsxga(5120x4096)", 5120, 4096},
    {"wvga(852x480)", 852, 480},
    {"wxga(1366x768)", 1366, 768},
    {"wsxga(1600x1024)", 1600, 1024},
    {"wuxga(1920x1200)", 1920, 1200},
    {"woxga(2560x1600)", 2560, 1600},
    {"wqsxga(3200x2048)", 3200, 2048},
    {"wquxga(3840x2400)", 3840, 2400},
    {"whsxga(6400x4096)", 6400, 4096},
    {"whuxga(7680x4800)", 7680, 4800},
    {"cga(320x200)", 320, 200},
    {"ega(640x350)", 640, 350},
    {"hd480(852x480)", 852, 480},
    {"hd720(1280x720)", 1280, 720},
    {"hd1080(1920x1080)", 1920, 1080},
    {"1440x1080", 1440, 1080},
}};

namespace {

// The table entry of `value`, or null when the ordinal is outside the table.
template <typename Enum, typename T, std::size_t N>
const T* Lookup(const std::array<T, N>& table, Enum value) {
  const auto ordinal = static_cast<std::int64_t>(value);
  if (ordinal < 0 || ordinal >= static_cast<std::int64_t>(N)) return nullptr;
  return &table[static_cast<std::size_t>(ordinal)];
}

template <typename Enum>
std::int32_t Ordinal(Enum value) {
  return static_cast<std::int32_t>(value);
}

template <typename Enum, std::size_t N>
bool InRange(const std::array<std::string_view, N>& names, Enum value) {
  return Lookup(names, value) != nullptr;
}

template <typename Enum, std::size_t N>
std::string NameOf(const std::array<std::string_view, N>& names, Enum value) {
  const std::string_view* name = Lookup(names, value);
  return name == nullptr ? std::string() : std::string(*name);
}

constexpr std::array<std::string_view, 8> kAudioEncoderLibraryNames = {
    "aac",  // FFmpeg's own encoder; libfaac is not part of today's builds
    "wmav2", "ac3", "mp2", "libmp3lame", "pcm_s16le", "real_144", "libopencore_amrnb"};
constexpr std::array<std::string_view, 9> kVideoEncoderLibraryNames = {
    "h263", "libx264", "mpeg4", "wmv2", "mpeg2video", "msmpeg4", "rv20", "libxvid", "flv"};
constexpr std::array<std::string_view, 18> kFormatLibraryNames = {
    "",    "rm",   "mp4",  "asf", "avi", "3gp", "3g2",  "flv", "mov",
    "psp", "ipod", "svcd", "vcd", "vob", "dvd", "webm", "ac3", "matroska"};

// Encoders that run single-threaded in the libraries; a thread count above 1 only costs.
bool SingleThreadedEncoder(TCustomVideoEncoder encoder) {
  switch (encoder) {
    case TCustomVideoEncoder::H263:
    case TCustomVideoEncoder::WMV2:
    case TCustomVideoEncoder::RV20:
    case TCustomVideoEncoder::FLV:
      return true;
    default:
      return false;
  }
}

// kbit/s to bit/s, rounded; a value a damaged file made too large (or not a number) is held
// within what the options can take.
std::int32_t KilobitsToBits(double kilobits) {
  if (!(kilobits > 0.0)) return 0;
  const double bits = std::round(kilobits * 1000.0);
  if (bits >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(bits);
}

std::string OutOfRangeText(std::string_view field, std::int32_t ordinal) {
  return "The profile's " + std::string(field) + " value " + std::to_string(ordinal) +
         " is not one this program knows.";
}

}  // namespace

std::string_view AudioEncoderLibraryName(TCustomAudioEncoder encoder) {
  const std::string_view* name = Lookup(kAudioEncoderLibraryNames, encoder);
  return name == nullptr ? std::string_view() : *name;
}

std::string_view VideoEncoderLibraryName(TCustomVideoEncoder encoder) {
  const std::string_view* name = Lookup(kVideoEncoderLibraryNames, encoder);
  return name == nullptr ? std::string_view() : *name;
}

std::string_view FormatLibraryName(TCustomAVFormat format) {
  const std::string_view* name = Lookup(kFormatLibraryNames, format);
  return name == nullptr ? std::string_view() : *name;
}

// --- TAVProfile

TAVProfile::TAVProfile(std::string description, std::string extension)
    : FDescription(std::move(description)), FExtension(std::move(extension)) {}

TAVProfile::~TAVProfile() = default;

std::span<const engine::PropertyInfo> TAVProfile::PublishedProperties() const {
  using C = TAVProfile;
  static const engine::PropertyInfo properties[] = {
      engine::MakeProperty<&C::Description, &C::SetDescription>("Description"),
      engine::MakeProperty<&C::Extension, &C::SetExtension>("Extension"),
      engine::MakeProperty<&C::Category, &C::SetCategory>("Category"),
  };
  return properties;
}

bool TAVProfile::ApplyTo(engine::TAVConverter& converter) const {
  return WriteOptions(converter.ConvertOptions());
}

bool TAVProfile::ApplyTo(engine::TAVConvertOptions& options) const { return WriteOptions(options); }

int TAVProfile::Index() const { return FList == nullptr ? -1 : FList->IndexOf(*this); }

void TAVProfile::SetIndex(int index) {
  if (FList != nullptr) FList->Move(Index(), index);
}

// --- Fixed targets

namespace {

// Appends a line without looking for an earlier one of the same name.
void AppendLine(engine::TAVConvertOptions& options, std::string line) {
  engine::TStringList lines = options.CodecOptions();
  lines.Add(std::move(line));
  options.SetCodecOptions(lines);
}

void WriteFrameRate(engine::TAVConvertOptions& options, TFrameRateValue rate) {
  options.VideoOptions().SetFrameRate(engine::TRational(rate.num, rate.den));
}

// 720x576 for PAL, 720x480 for the 60-field systems.
void SetDvFrameSize(engine::TAVConvertOptions& options, TAVTarget target) {
  engine::TVideoOptions& video = options.VideoOptions();
  video.SetFrameWidth(720);
  video.SetFrameHeight(target == TAVTarget::pal ? 576 : 480);
}

// DV is defined for 25 and 29.97 frames per second only; film is carried at 29.97.
TFrameRateValue DvFrameRate(TAVTarget target) {
  return target == TAVTarget::pal ? TargetFrameRates[0] : TargetFrameRates[1];
}

// DV carries 16-bit PCM, two channels at 48 kHz.
void SetDvAudio(engine::TAVConvertOptions& options) {
  options.AudioOptions().SetAudioSampleRate(48000);
  options.AudioOptions().SetAudioChannels(2);
}

constexpr std::int32_t kPixFmtYuv420p = 0;
constexpr std::int32_t kPixFmtYuv422p = 4;
constexpr std::int32_t kPixFmtYuv411p = 7;

}  // namespace

std::span<const engine::PropertyInfo> TAVTargetProfile::PublishedProperties() const {
  using C = TAVTargetProfile;
  static const engine::PropertyInfo properties[] = {
      engine::MakeProperty<&C::Description, &C::SetDescription>("Description"),
      engine::MakeProperty<&C::Extension, &C::SetExtension>("Extension"),
      engine::MakeProperty<&C::Category, &C::SetCategory>("Category"),
      engine::MakeProperty<&C::Target, &C::SetTarget>("Target", 0, kTargetNames),
  };
  return properties;
}

std::optional<std::string> TAVTargetProfile::FieldProblem() const {
  if (!InRange(kTargetNames, FTarget)) return OutOfRangeText("Target", Ordinal(FTarget));
  return std::nullopt;
}

std::optional<TFrameRateValue> TAVTargetProfile::TargetFrameRate() const {
  const TFrameRateValue* rate = Lookup(TargetFrameRates, Target());
  if (rate == nullptr) return std::nullopt;
  return *rate;
}

bool TAVVcdProfile::WriteOptions(engine::TAVConvertOptions& options) const {
  engine::TVideoOptions& video = options.VideoOptions();
  engine::TAudioOptions& audio = options.AudioOptions();
  video.SetEncoderVideoCodecName("mpeg1video");
  audio.SetEncoderAudioCodecName("mp2");
  options.SetOutputFormat("vcd");
  video.SetFrameWidth(352);
  if (Target() == TAVTarget::pal) {
    video.SetFrameHeight(288);
    AppendLine(options, "g=15");
  } else {
    video.SetFrameHeight(240);
    AppendLine(options, "g=18");
  }
  video.SetBitrate(1150000);
  audio.SetBitrate(224000);
  options.SetAdvancedOption("maxrate", "1150000");
  options.SetAdvancedOption("minrate", "1150000");
  options.SetAdvancedOption("bufsize", "327680");
  options.SetAdvancedOption("packetsize", "2324");
  options.SetAdvancedOption("muxrate", "1411200");
  audio.SetAudioSampleRate(44100);
  audio.SetAudioChannels(2);
  options.MuxerOptions().SetMuxPreload(0.44F);
  if (const auto rate = TargetFrameRate()) WriteFrameRate(options, *rate);
  return true;
}

bool TAVSVcdProfile::WriteOptions(engine::TAVConvertOptions& options) const {
  engine::TVideoOptions& video = options.VideoOptions();
  engine::TAudioOptions& audio = options.AudioOptions();
  video.SetEncoderVideoCodecName("mpeg2video");
  audio.SetEncoderAudioCodecName("mp2");
  options.SetOutputFormat("svcd");
  video.SetFrameWidth(480);
  if (Target() == TAVTarget::pal) {
    video.SetFrameHeight(576);
    AppendLine(options, "g=15");
  } else {
    video.SetFrameHeight(480);
    AppendLine(options, "g=18");
  }
  video.SetBitrate(2040000);
  audio.SetBitrate(224000);
  options.SetAdvancedOption("maxrate", "2516000");
  options.SetAdvancedOption("minrate", "0");
  options.SetAdvancedOption("bufsize", "1835008");
  // The room for the SVCD scan offsets is an option of the MPEG-2 encoder itself now.
  options.SetAdvancedOption("scan_offset", "1");
  options.SetAdvancedOption("packetsize", "2324");
  audio.SetAudioSampleRate(44100);
  // SVCD audio is MPEG-1 layer II stereo; the encoder takes no more than two channels.
  audio.SetAudioChannels(2);
  if (const auto rate = TargetFrameRate()) WriteFrameRate(options, *rate);
  return true;
}

bool TAVDvdProfile::WriteOptions(engine::TAVConvertOptions& options) const {
  engine::TVideoOptions& video = options.VideoOptions();
  engine::TAudioOptions& audio = options.AudioOptions();
  video.SetEncoderVideoCodecName("mpeg2video");
  audio.SetEncoderAudioCodecName("ac3");
  options.SetOutputFormat("dvd");
  video.SetFrameWidth(720);
  if (Target() == TAVTarget::pal) {
    video.SetFrameHeight(576);
    AppendLine(options, "g=15");
  } else {
    video.SetFrameHeight(480);
    AppendLine(options, "g=18");
  }
  video.SetBitrate(6000000);
  audio.SetBitrate(448000);
  options.SetAdvancedOption("maxrate", "9000000");
  options.SetAdvancedOption("minrate", "0");
  options.SetAdvancedOption("bufsize", "1835008");
  options.SetAdvancedOption("packetsize", "2048");
  options.SetAdvancedOption("muxrate", "10080000");
  audio.SetAudioSampleRate(48000);
  if (const auto rate = TargetFrameRate()) WriteFrameRate(options, *rate);
  return true;
}

bool TAVDvProfile::WriteOptions(engine::TAVConvertOptions& options) const {
  if (!TargetFrameRate()) return true;
  // The container chooses the codecs (DV video, 16-bit PCM).
  options.SetOutputFormat("dv");
  SetDvFrameSize(options, Target());
  options.VideoOptions().SetFramePixFormat(Target() == TAVTarget::pal ? kPixFmtYuv420p
                                                                      : kPixFmtYuv411p);
  SetDvAudio(options);
  WriteFrameRate(options, DvFrameRate(Target()));
  return true;
}

bool TAVDv50Profile::WriteOptions(engine::TAVConvertOptions& options) const {
  if (!TargetFrameRate()) return true;
  // DV50 is 4:2:2 DV: the same frame sizes, rates and audio as DV, and the same container.
  options.SetOutputFormat("dv");
  SetDvFrameSize(options, Target());
  options.VideoOptions().SetFramePixFormat(kPixFmtYuv422p);
  SetDvAudio(options);
  WriteFrameRate(options, DvFrameRate(Target()));
  return true;
}

// --- Image sequences

std::span<const engine::PropertyInfo> TAVImageProfile::PublishedProperties() const {
  using C = TAVImageProfile;
  static const engine::PropertyInfo properties[] = {
      engine::MakeProperty<&C::Description, &C::SetDescription>("Description"),
      engine::MakeProperty<&C::Extension, &C::SetExtension>("Extension"),
      engine::MakeProperty<&C::Category, &C::SetCategory>("Category"),
      engine::MakeProperty<&C::ImageType, &C::SetImageType>("ImageType", std::nullopt,
                                                            kImageTypeNames),
  };
  return properties;
}

std::optional<std::string> TAVImageProfile::FieldProblem() const {
  if (!InRange(kImageTypeNames, FImageType)) {
    return OutOfRangeText("ImageType", Ordinal(FImageType));
  }
  return std::nullopt;
}

bool TAVImageProfile::WriteOptions(engine::TAVConvertOptions& options) const {
  options.SetThreadCount(1);
  // The muxer and encoder are named rather than guessed from the output name: image2's own
  // default encoder is JPEG whatever the extension. Every image2 file stands alone; the GIF
  // encoder writes the file header with its first picture only, so GIF pictures go into one
  // animated GIF instead.
  struct ImageOutput {
    std::string_view muxer;
    std::string_view encoder;
  };
  static constexpr std::array<ImageOutput, 5> kImageOutputs = {{{"image2", "bmp"},
                                                                {"image2", "mjpeg"},
                                                                {"image2", "png"},
                                                                {"gif", "gif"},
                                                                {"image2", "tiff"}}};
  if (const ImageOutput* output = Lookup(kImageOutputs, ImageType())) {
    options.SetOutputFormat(std::string(output->muxer));
    options.VideoOptions().SetEncoderVideoCodecName(std::string(output->encoder));
  }
  // Image files hold neither sound nor subtitles.
  options.AudioOptions().SetAudioDisable(true);
  options.SubtitleOptions().SetSubtitleDisable(true);
  return true;
}

// --- H.264 presets

std::span<const engine::PropertyInfo> TAVX264Profile::PublishedProperties() const {
  using C = TAVX264Profile;
  static const engine::PropertyInfo properties[] = {
      engine::MakeProperty<&C::Description, &C::SetDescription>("Description"),
      engine::MakeProperty<&C::Extension, &C::SetExtension>("Extension"),
      engine::MakeProperty<&C::Category, &C::SetCategory>("Category"),
      engine::MakeProperty<&C::preset, &C::Setpreset>("preset", std::nullopt, kPresetNames),
  };
  return properties;
}

std::optional<std::string> TAVX264Profile::FieldProblem() const {
  if (!InRange(kPresetNames, Fpreset)) return OutOfRangeText("preset", Ordinal(Fpreset));
  return std::nullopt;
}

bool TAVX264Profile::WriteOptions(engine::TAVConvertOptions& options) const {
  WriteX264Preset(preset(), options);
  return true;
}

// --- Custom audio

std::span<const engine::PropertyInfo> TAVCustomAudioProfile::PublishedProperties() const {
  using C = TAVCustomAudioProfile;
  static const engine::PropertyInfo properties[] = {
      engine::MakeProperty<&C::Description, &C::SetDescription>("Description"),
      engine::MakeProperty<&C::Extension, &C::SetExtension>("Extension"),
      engine::MakeProperty<&C::Category, &C::SetCategory>("Category"),
      engine::MakeProperty<&C::SampleRate, &C::SetSampleRate>("SampleRate"),
      engine::MakeProperty<&C::AudioEncoder, &C::SetAudioEncoder>("AudioEncoder", std::nullopt,
                                                                  kCustomAudioEncoderNames),
      engine::MakeProperty<&C::AudioChannels, &C::SetAudioChannels>("AudioChannels", std::nullopt,
                                                                    kCustomAudioChannelsNames),
      engine::MakeProperty<&C::AudioBitrate, &C::SetAudioBitrate>("AudioBitrate"),
      engine::MakeProperty<&C::Format, &C::SetFormat>("Format", std::nullopt, kCustomAVFormatNames),
      engine::MakeProperty<&C::Options, &C::SetOptions>("Options"),
  };
  return properties;
}

std::string TAVCustomAudioProfile::AudioEncoderName() const {
  return NameOf(AudioEncoderNames, FAudioEncoder);
}

std::optional<std::string> TAVCustomAudioProfile::FieldProblem() const {
  if (!InRange(AudioEncoderNames, FAudioEncoder)) {
    return OutOfRangeText("AudioEncoder", Ordinal(FAudioEncoder));
  }
  if (!InRange(ChannelNames, FAudioChannels)) {
    return OutOfRangeText("AudioChannels", Ordinal(FAudioChannels));
  }
  if (!InRange(FormatNames, FFormat)) return OutOfRangeText("Format", Ordinal(FFormat));
  return std::nullopt;
}

bool TAVCustomAudioProfile::WriteOptions(engine::TAVConvertOptions& options) const {
  engine::TAudioOptions& audio = options.AudioOptions();
  options.VideoOptions().SetVideoDisable(true);
  options.SubtitleOptions().SetSubtitleDisable(true);
  if (audio.AudioStreamCopy()) return true;

  // A value outside its enumeration (a damaged profile file) leaves its option as it was;
  // Availability reports such a profile as unusable.
  const std::string_view encoder = AudioEncoderLibraryName(AudioEncoder());
  if (!encoder.empty()) audio.SetEncoderAudioCodecName(std::string(encoder));
  const std::string_view format = FormatLibraryName(Format());
  if (!format.empty()) options.SetOutputFormat(std::string(format));
  audio.SetBitrate(KilobitsToBits(AudioBitrate()));
  audio.SetAudioSampleRate(SampleRate());
  if (AudioChannels() == TCustomAudioChannels::mono1) audio.SetAudioChannels(1);
  if (AudioChannels() == TCustomAudioChannels::stereo2) audio.SetAudioChannels(2);
  for (const std::string& line : Options()) {
    if (line.empty()) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
      options.SetAdvancedOption(line, "");
    } else {
      options.SetAdvancedOption(std::string_view(line).substr(0, equals),
                                std::string_view(line).substr(equals + 1));
    }
  }
  return true;
}

// --- Custom video

std::span<const engine::PropertyInfo> TAVCustomVideoProfile::PublishedProperties() const {
  using C = TAVCustomVideoProfile;
  static const engine::PropertyInfo properties[] = {
      engine::MakeProperty<&C::Description, &C::SetDescription>("Description"),
      engine::MakeProperty<&C::Extension, &C::SetExtension>("Extension"),
      engine::MakeProperty<&C::Category, &C::SetCategory>("Category"),
      engine::MakeProperty<&C::SampleRate, &C::SetSampleRate>("SampleRate"),
      engine::MakeProperty<&C::AudioEncoder, &C::SetAudioEncoder>("AudioEncoder", std::nullopt,
                                                                  kCustomAudioEncoderNames),
      engine::MakeProperty<&C::AudioChannels, &C::SetAudioChannels>("AudioChannels", std::nullopt,
                                                                    kCustomAudioChannelsNames),
      engine::MakeProperty<&C::AudioBitrate, &C::SetAudioBitrate>("AudioBitrate"),
      engine::MakeProperty<&C::Format, &C::SetFormat>("Format", std::nullopt, kCustomAVFormatNames),
      engine::MakeProperty<&C::Options, &C::SetOptions>("Options"),
      engine::MakeProperty<&C::FrameWidth, &C::SetFrameWidth>("FrameWidth"),
      engine::MakeProperty<&C::FrameHeight, &C::SetFrameHeight>("FrameHeight"),
      engine::MakeProperty<&C::VideoEncoder, &C::SetVideoEncoder>("VideoEncoder", std::nullopt,
                                                                  kCustomVideoEncoderNames),
      engine::MakeProperty<&C::FrameRate, &C::SetFrameRate>("FrameRate", std::nullopt,
                                                            kCustomFrameRateNames),
      engine::MakeProperty<&C::VideoBitrate, &C::SetVideoBitrate>("VideoBitrate"),
      engine::MakeProperty<&C::Pass, &C::SetPass>("Pass", 1),
      engine::MakeProperty<&C::FrameAspectRatio, &C::SetFrameAspectRatio>(
          "FrameAspectRatio", std::nullopt, kAspectRatioNames),
  };
  return properties;
}

TAVFrameSize TAVCustomVideoProfile::FrameSize() const {
  for (std::size_t i = 0; i < FrameSizes.size(); ++i) {
    if (FrameSizes[i].width == FrameWidth() && FrameSizes[i].height == FrameHeight()) {
      return static_cast<TAVFrameSize>(i);
    }
  }
  return TAVFrameSize::fsOriginal;
}

std::string TAVCustomVideoProfile::VideoEncoderName() const {
  return NameOf(VideoEncoderNames, FVideoEncoder);
}

double TAVCustomVideoProfile::FrameRateValue() const {
  if (FFrameRate == TCustomFrameRate::rOriginal) return 0.0;
  const std::string_view* name = Lookup(FrameRateNames, FFrameRate);
  if (name == nullptr) return 0.0;
  double value = 0.0;
  std::from_chars(name->data(), name->data() + name->size(), value);
  return value;
}

std::optional<std::string> TAVCustomVideoProfile::FieldProblem() const {
  if (auto problem = TAVCustomAudioProfile::FieldProblem()) return problem;
  if (!InRange(VideoEncoderNames, FVideoEncoder)) {
    return OutOfRangeText("VideoEncoder", Ordinal(FVideoEncoder));
  }
  if (!InRange(FrameRateNames, FFrameRate)) {
    return OutOfRangeText("FrameRate", Ordinal(FFrameRate));
  }
  if (!InRange(kAspectRatioNames, FFrameAspectRatio)) {
    return OutOfRangeText("FrameAspectRatio", Ordinal(FFrameAspectRatio));
  }
  if (FPass < 0 || FPass > 2) return OutOfRangeText("Pass", FPass);
  return std::nullopt;
}

bool TAVCustomVideoProfile::WriteOptions(engine::TAVConvertOptions& options) const {
  const bool result = TAVCustomAudioProfile::WriteOptions(options);
  engine::TVideoOptions& video = options.VideoOptions();
  video.SetVideoDisable(false);

  const std::string_view encoder = VideoEncoderLibraryName(VideoEncoder());
  if (!encoder.empty()) video.SetEncoderVideoCodecName(std::string(encoder));
  if (SingleThreadedEncoder(VideoEncoder())) options.SetThreadCount(1);
  if (VideoEncoder() == TCustomVideoEncoder::H264) {
    TAVX264Profile defaults;
    defaults.Setpreset(TPreset::basic);
    defaults.ApplyTo(options);
    options.SetAdvancedOption("mbd", "rd");
    options.SetAdvancedOption("level", "41");
  }

  if (FrameWidth() > 0) video.SetFrameWidth(FrameWidth());
  if (FrameHeight() > 0) video.SetFrameHeight(FrameHeight());
  video.SetBitrate(KilobitsToBits(VideoBitrate()));
  if (FrameAspectRatio() == TAVAspectRatio::AR4_3) video.SetFrameAspectRatio(4.0F / 3.0F);
  video.SetPass(Pass());
  if (FrameRate() != TCustomFrameRate::rOriginal) {
    if (const TFrameRateValue* rate = Lookup(FrameRateValues, FrameRate())) {
      WriteFrameRate(options, *rate);
    }
  }
  return result;
}

// --- TAVProfileList

TAVProfileList::~TAVProfileList() {
  FCategories.Clear();
  for (auto& profile : profiles_) profile->FList = nullptr;
  profiles_.clear();
}

TAVProfile& TAVProfileList::Profiles(int index) const {
  if (index < 0 || index >= Count()) throw std::out_of_range("profile index out of range");
  return *profiles_[static_cast<std::size_t>(index)];
}

int TAVProfileList::IndexOf(const TAVProfile& profile) const {
  for (std::size_t i = 0; i < profiles_.size(); ++i) {
    if (profiles_[i].get() == &profile) return static_cast<int>(i);
  }
  return -1;
}

TAVProfile& TAVProfileList::Add(std::unique_ptr<TAVProfile> profile) {
  if (profile == nullptr) throw std::invalid_argument("no profile to add");
  if (profile->FList != nullptr) throw std::invalid_argument("the profile is in a list already");
  profile->FList = this;
  profiles_.push_back(std::move(profile));
  return *profiles_.back();
}

std::unique_ptr<TAVProfile> TAVProfileList::Remove(TAVProfile& profile) {
  const int index = IndexOf(profile);
  if (index < 0) return nullptr;
  std::unique_ptr<TAVProfile> taken = std::move(profiles_[static_cast<std::size_t>(index)]);
  profiles_.erase(profiles_.begin() + index);
  taken->FList = nullptr;
  return taken;
}

void TAVProfileList::Delete(TAVProfile& profile) { Remove(profile); }

void TAVProfileList::Move(int from, int to) {
  if (from < 0 || from >= Count() || Count() == 0) return;
  to = std::clamp(to, 0, Count() - 1);
  if (from == to) return;
  std::unique_ptr<TAVProfile> moving = std::move(profiles_[static_cast<std::size_t>(from)]);
  profiles_.erase(profiles_.begin() + from);
  profiles_.insert(profiles_.begin() + to, std::move(moving));
}

void TAVProfileList::ClearCustomProfiles() {
  for (int i = Count() - 1; i >= 0; --i) {
    if (profiles_[static_cast<std::size_t>(i)]->IsEditable()) Delete(Profiles(i));
  }
}

std::vector<TAVProfile*> TAVProfileList::ProfilesInCategory(std::string_view caption) const {
  std::vector<TAVProfile*> found;
  // Profiles without a category are never listed.
  if (caption.empty()) return found;
  const QString wanted = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
  for (const auto& profile : profiles_) {
    const QString category = QString::fromStdString(profile->Category());
    if (category.compare(wanted, Qt::CaseInsensitive) == 0) found.push_back(profile.get());
  }
  return found;
}

}  // namespace zembra::profiles
