// Output profiles: named recipes that turn the user's choice of target into conversion options.
//
// A profile only writes option values into a TAVConvertOptions (ApplyTo); it never reads a
// source or runs a conversion, and it does not clear the options first: the caller starts from
// fresh options and may have set some values already (the thread count, the input format).
// The fixed-target classes (VCD, SVCD, DVD, DV, DV50) write a standard's settings, the image
// profile an image sequence, the H.264 preset class the encoder settings of one preset, and the
// two custom classes (audio, and video on top of audio) whatever their editable fields say;
// only the custom classes are editable and stored in "Profiles.ini" (profile_store.h).
//
// Enumeration fields hold plain ordinals, because that is what the profile file stores. A
// damaged file can leave a value outside its enumeration: such a value is kept (so that saving
// writes it back unchanged), every lookup treats it as "none", ApplyTo skips the step that
// needs it, and Availability reports the profile unusable.
//
// Profiles live in a TAVProfileList, which owns them and keeps the category captions. Only the
// user-interface thread touches profiles and lists.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/options.h"
#include "engine/persistent.h"
#include "engine/string_list.h"

namespace zembra::engine {
class TAVConverter;
}

namespace zembra::profiles {

class IniFile;
class TAVProfileList;

enum class TAVTarget : std::int32_t { pal, ntsc, film };
enum class TAVImageType : std::int32_t { bitmap, jpeg, png, gif, tiff };
enum class TPreset : std::int32_t {
  basic,
  FastFirstPass,
  SlowFirstPass,
  Common,
  HighQuality,
  Best,
  LosslessFast,
  LosslessMedium,
  LosslessSlow,
  LosslessSlower,
  LosslessMax
};
enum class TCustomAudioEncoder : std::int32_t { AAC, WMAV2, AC3, MP2, MP3, PCM_S16LE, RA1, AMR_NB };
enum class TCustomAudioChannels : std::int32_t { mono1, stereo2 };
enum class TCustomAVFormat : std::int32_t {
  F_NONE,
  F_RM,
  F_MP4,
  F_ASF,
  F_AVI,
  F_3GP,
  F_3GP2,
  F_FLV,
  F_MOV,
  F_PSP,
  F_IPOD,
  F_SVCD,
  F_VCD,
  F_VOB,
  F_DVD,
  F_WEBM,
  F_AC3,
  F_MKV
};
enum class TCustomVideoEncoder : std::int32_t {
  H263,
  H264,
  MPEG4,
  WMV2,
  MPEG2VIDEO,
  MSMPEGV3,
  RV20,
  XVID,
  FLV
};
enum class TCustomFrameRate : std::int32_t { rOriginal, r1499, r20, r2397, r24, r25, r2997, r30 };
enum class TAVAspectRatio : std::int32_t { AR_NONE, AR4_3 };
enum class TAVFrameSize : std::int32_t {
  fsOriginal,
  fsNtsc,
  fsPal,
  fsQntsc,
  fsIPaq,
  fsPsp,
  fsSpal,
  fsIPhoneWide,
  fsIPhone,
  fsSqcif,
  fsQcif,
  fsCif,
  fs4cif,
  fs16cif,
  fsQqvga,
  fsQvga,
  fsVga,
  fsSvga,
  fsXga,
  fsUxga,
  fsQxga,
  fsSxga,
  fsQsxga,
  fsHsxga,
  fsWvga,
  fsWxga,
  fsWsxga,
  fsWuxga,
  fsWoxga,
  fsWqsxga,
  fsWquxga,
  fsWhsxga,
  fsWhuxga,
  fsCga,
  fsEga,
  fsHd480,
  fsHd720,
  fsHd1080,
  fsMceHd
};

// The value names of each enumeration, by ordinal.
extern const std::array<std::string_view, 3> kTargetNames;
extern const std::array<std::string_view, 5> kImageTypeNames;
extern const std::array<std::string_view, 11> kPresetNames;
extern const std::array<std::string_view, 8> kCustomAudioEncoderNames;
extern const std::array<std::string_view, 2> kCustomAudioChannelsNames;
extern const std::array<std::string_view, 18> kCustomAVFormatNames;
extern const std::array<std::string_view, 9> kCustomVideoEncoderNames;
extern const std::array<std::string_view, 8> kCustomFrameRateNames;
extern const std::array<std::string_view, 2> kAspectRatioNames;

// --- Lookup tables, indexed by the ordinal of their enumeration. The display names are what
// the editor's lists show.

extern const std::array<std::string_view, 9> VideoEncoderNames;
extern const std::array<std::string_view, 8> AudioEncoderNames;
extern const std::array<std::string_view, 18> FormatNames;
extern const std::array<std::string_view, 2> ChannelNames;
extern const std::array<std::string_view, 8> FrameRateNames;

struct TFrameRateValue {
  std::int32_t num;
  std::int32_t den;
};
// The entry of rOriginal is 0/0 and never applied.
extern const std::array<TFrameRateValue, 8> FrameRateValues;
extern const std::array<TFrameRateValue, 3> TargetFrameRates;

struct TFrameSize {
  std::string_view name;
  std::int32_t width;
  std::int32_t height;
};
extern const std::array<TFrameSize, 39> FrameSizes;

// The names the loaded media libraries know: the encoder of each custom choice (FFmpeg's own
// "aac" stands in for the "libfaac" of older builds) and the muxer of each container choice.
// Empty for a value outside the enumeration, and for F_NONE (the container then follows from
// the output file name).
std::string_view AudioEncoderLibraryName(TCustomAudioEncoder encoder);
std::string_view VideoEncoderLibraryName(TCustomVideoEncoder encoder);
std::string_view FormatLibraryName(TCustomAVFormat format);

// Whether a profile can run with the loaded media libraries, and if not, why.
struct ProfileAvailability {
  bool available = true;
  std::string reason;  // a sentence for the user; empty when available
};

// --- The profile classes

class TAVProfile : public engine::TPersistent {
 public:
  ~TAVProfile() override;
  std::string_view ClassName() const override { return "TAVProfile"; }
  std::span<const engine::PropertyInfo> PublishedProperties() const override;

  // The display name, also stored as the task's profile text.
  const std::string& Description() const { return FDescription; }
  void SetDescription(const std::string& value) { FDescription = value; }
  // The output file extension with its dot (".mp4"), or a file-name tail ("1.jpg").
  virtual std::string Extension() const { return FExtension; }
  virtual void SetExtension(const std::string& value) { FExtension = value; }
  // The caption of the category the profile is listed under (compared without letter case).
  const std::string& Category() const { return FCategory; }
  void SetCategory(const std::string& value) { FCategory = value; }

  // Entry `index` of the profile file's "Profile" section.
  virtual void SaveToIni(IniFile& ini, int index) const;
  virtual void LoadFromIni(const IniFile& ini, int index);

  // Writes the profile's options into the converter's ConvertOptions; always true.
  bool ApplyTo(engine::TAVConverter& converter) const;
  bool ApplyTo(engine::TAVConvertOptions& options) const;

  // Custom audio and custom video profiles: the user may change, store and delete them.
  virtual bool IsEditable() const { return false; }

  // Whether the loaded media libraries have the encoders and the container this profile needs
  // (loading them if they are not loaded yet), and whether its fields are all valid.
  ProfileAvailability Availability() const;

  // The list holding the profile, or null.
  TAVProfileList* List() const { return FList; }
  // The position in that list; -1 outside a list.
  int Index() const;
  // Moves the profile within its list; the index is clamped to the list.
  void SetIndex(int index);

 protected:
  TAVProfile(std::string description, std::string extension);

  // Writes the options; ApplyTo returns its result.
  virtual bool WriteOptions(engine::TAVConvertOptions& options) const = 0;
  // Why a field of this profile makes it unusable, if one does (values outside their
  // enumeration); checked before the libraries are asked.
  virtual std::optional<std::string> FieldProblem() const { return std::nullopt; }

 private:
  friend class TAVProfileList;

  std::string FDescription;
  std::string FExtension;
  std::string FCategory;
  TAVProfileList* FList = nullptr;
};

// Targets of a fixed standard, chosen by TV system.
class TAVTargetProfile : public TAVProfile {
 public:
  std::string_view ClassName() const override { return "TAVTargetProfile"; }
  std::span<const engine::PropertyInfo> PublishedProperties() const override;

  TAVTarget Target() const { return FTarget; }
  void SetTarget(TAVTarget value) { FTarget = value; }

 protected:
  using TAVProfile::TAVProfile;
  std::optional<std::string> FieldProblem() const override;
  // The frame rate of the target; nullopt when Target is outside its enumeration.
  std::optional<TFrameRateValue> TargetFrameRate() const;

 private:
  TAVTarget FTarget = TAVTarget::pal;
};

class TAVVcdProfile final : public TAVTargetProfile {
 public:
  TAVVcdProfile() : TAVTargetProfile("VCD", ".mpg") {}
  std::string_view ClassName() const override { return "TAVVcdProfile"; }

 private:
  bool WriteOptions(engine::TAVConvertOptions& options) const override;
};

class TAVSVcdProfile final : public TAVTargetProfile {
 public:
  TAVSVcdProfile() : TAVTargetProfile("SVCD", ".mpg") {}
  std::string_view ClassName() const override { return "TAVSVcdProfile"; }

 private:
  bool WriteOptions(engine::TAVConvertOptions& options) const override;
};

class TAVDvdProfile final : public TAVTargetProfile {
 public:
  TAVDvdProfile() : TAVTargetProfile("DVD", ".vob") {}
  std::string_view ClassName() const override { return "TAVDvdProfile"; }

 private:
  bool WriteOptions(engine::TAVConvertOptions& options) const override;
};

class TAVDvProfile final : public TAVTargetProfile {
 public:
  TAVDvProfile() : TAVTargetProfile("DV", ".dv") {}
  std::string_view ClassName() const override { return "TAVDvProfile"; }

 private:
  bool WriteOptions(engine::TAVConvertOptions& options) const override;
};

class TAVDv50Profile final : public TAVTargetProfile {
 public:
  TAVDv50Profile() : TAVTargetProfile("DV50", ".dv") {}
  std::string_view ClassName() const override { return "TAVDv50Profile"; }

 private:
  bool WriteOptions(engine::TAVConvertOptions& options) const override;
};

// One image file per frame (GIF pictures: one animated GIF). The output name ends in the
// extension ("clip1.jpg"); whoever opens an "image2" output turns it into a numbered pattern
// (image_sequence.h).
class TAVImageProfile final : public TAVProfile {
 public:
  TAVImageProfile() : TAVProfile("Image Sequence Profile", "") {}
  std::string_view ClassName() const override { return "TAVImageProfile"; }
  std::span<const engine::PropertyInfo> PublishedProperties() const override;

  TAVImageType ImageType() const { return FImageType; }
  void SetImageType(TAVImageType value) { FImageType = value; }

 private:
  bool WriteOptions(engine::TAVConvertOptions& options) const override;
  std::optional<std::string> FieldProblem() const override;

  TAVImageType FImageType = TAVImageType::bitmap;
};

// The libx264 settings of one preset.
class TAVX264Profile final : public TAVProfile {
 public:
  TAVX264Profile() : TAVProfile("H264 Profile", ".mp4") {}
  std::string_view ClassName() const override { return "TAVX264Profile"; }
  std::span<const engine::PropertyInfo> PublishedProperties() const override;

  TPreset preset() const { return Fpreset; }
  void Setpreset(TPreset value) { Fpreset = value; }

 private:
  bool WriteOptions(engine::TAVConvertOptions& options) const override;
  std::optional<std::string> FieldProblem() const override;

  TPreset Fpreset = TPreset::basic;
};

class TAVCustomAudioProfile : public TAVProfile {
 public:
  TAVCustomAudioProfile() : TAVProfile("", "") {}
  std::string_view ClassName() const override { return "TAVCustomAudioProfile"; }
  std::span<const engine::PropertyInfo> PublishedProperties() const override;
  bool IsEditable() const override { return true; }

  void SaveToIni(IniFile& ini, int index) const override;
  void LoadFromIni(const IniFile& ini, int index) override;

  // Hz; 0 keeps the source's rate.
  std::int32_t SampleRate() const { return FSampleRate; }
  void SetSampleRate(std::int32_t value) { FSampleRate = value; }
  TCustomAudioEncoder AudioEncoder() const { return FAudioEncoder; }
  void SetAudioEncoder(TCustomAudioEncoder value) { FAudioEncoder = value; }
  TCustomAudioChannels AudioChannels() const { return FAudioChannels; }
  void SetAudioChannels(TCustomAudioChannels value) { FAudioChannels = value; }
  // kbit/s, fractions allowed (12.2).
  double AudioBitrate() const { return FAudioBitrate; }
  void SetAudioBitrate(double value) { FAudioBitrate = value; }
  TCustomAVFormat Format() const { return FFormat; }
  void SetFormat(TCustomAVFormat value) { FFormat = value; }
  // name=value lines, each set as a codec option.
  const engine::TStringList& Options() const { return FOptions; }
  void SetOptions(const engine::TStringList& value) { FOptions = value; }

  // The AudioEncoderNames entry of AudioEncoder; empty when it is outside the enumeration.
  std::string AudioEncoderName() const;

 protected:
  bool WriteOptions(engine::TAVConvertOptions& options) const override;
  std::optional<std::string> FieldProblem() const override;

 private:
  std::int32_t FSampleRate = 0;
  TCustomAudioEncoder FAudioEncoder = TCustomAudioEncoder::AAC;
  TCustomAudioChannels FAudioChannels = TCustomAudioChannels::mono1;
  double FAudioBitrate = 0.0;
  TCustomAVFormat FFormat = TCustomAVFormat::F_NONE;
  engine::TStringList FOptions;
};

class TAVCustomVideoProfile final : public TAVCustomAudioProfile {
 public:
  TAVCustomVideoProfile() = default;
  std::string_view ClassName() const override { return "TAVCustomVideoProfile"; }
  std::span<const engine::PropertyInfo> PublishedProperties() const override;

  void SaveToIni(IniFile& ini, int index) const override;
  void LoadFromIni(const IniFile& ini, int index) override;

  // Pixels; 0 keeps the source's.
  std::int32_t FrameWidth() const { return FFrameWidth; }
  void SetFrameWidth(std::int32_t value) { FFrameWidth = value; }
  std::int32_t FrameHeight() const { return FFrameHeight; }
  void SetFrameHeight(std::int32_t value) { FFrameHeight = value; }
  TCustomVideoEncoder VideoEncoder() const { return FVideoEncoder; }
  void SetVideoEncoder(TCustomVideoEncoder value) { FVideoEncoder = value; }
  TCustomFrameRate FrameRate() const { return FFrameRate; }
  void SetFrameRate(TCustomFrameRate value) { FFrameRate = value; }
  // kbit/s.
  std::int32_t VideoBitrate() const { return FVideoBitrate; }
  void SetVideoBitrate(std::int32_t value) { FVideoBitrate = value; }
  std::int32_t Pass() const { return FPass; }
  void SetPass(std::int32_t value) { FPass = value; }
  TAVAspectRatio FrameAspectRatio() const { return FFrameAspectRatio; }
  void SetFrameAspectRatio(TAVAspectRatio value) { FFrameAspectRatio = value; }

  // The first FrameSizes entry of this width and height; fsOriginal when none matches.
  TAVFrameSize FrameSize() const;
  // The VideoEncoderNames entry of VideoEncoder; empty when it is outside the enumeration.
  std::string VideoEncoderName() const;
  // The frame rate as a number (29.97); 0 for rOriginal and for values outside the enumeration.
  double FrameRateValue() const;

 private:
  bool WriteOptions(engine::TAVConvertOptions& options) const override;
  std::optional<std::string> FieldProblem() const override;

  std::int32_t FFrameWidth = 0;
  std::int32_t FFrameHeight = 0;
  TCustomVideoEncoder FVideoEncoder = TCustomVideoEncoder::H263;
  TCustomFrameRate FFrameRate = TCustomFrameRate::rOriginal;
  std::int32_t FVideoBitrate = 0;
  std::int32_t FPass = 0;
  TAVAspectRatio FFrameAspectRatio = TAVAspectRatio::AR_NONE;
};

// The catalogue: an ordered list of profiles, which it owns, and the category captions.
class TAVProfileList {
 public:
  TAVProfileList() = default;
  ~TAVProfileList();
  TAVProfileList(const TAVProfileList&) = delete;
  TAVProfileList& operator=(const TAVProfileList&) = delete;

  const engine::TStringList& Categories() const { return FCategories; }
  void SetCategories(const engine::TStringList& value) { FCategories = value; }

  int Count() const { return static_cast<int>(profiles_.size()); }
  // Throws std::out_of_range for an index outside 0 ... Count() - 1.
  TAVProfile& Profiles(int index) const;
  int IndexOf(const TAVProfile& profile) const;

  // Appends the profile and returns it.
  TAVProfile& Add(std::unique_ptr<TAVProfile> profile);
  template <typename Profile>
  Profile& Add() {
    return static_cast<Profile&>(Add(std::make_unique<Profile>()));
  }
  // Takes the profile out of the list and hands it over; null when it is not in this list.
  std::unique_ptr<TAVProfile> Remove(TAVProfile& profile);
  // Takes the profile out and destroys it.
  void Delete(TAVProfile& profile);
  // Moves the profile at `from` to `to`, clamped to the list.
  void Move(int from, int to);

  // Destroys every editable (custom audio or custom video) profile, keeping the others in
  // their order.
  void ClearCustomProfiles();

  // The profiles whose Category equals `caption` without regard to letter case, in list order.
  std::vector<TAVProfile*> ProfilesInCategory(std::string_view caption) const;

 private:
  engine::TStringList FCategories;
  std::vector<std::unique_ptr<TAVProfile>> profiles_;
};

}  // namespace zembra::profiles
