#include "engine/options.h"

#include <charconv>

#include "media/reporting.h"

namespace zembra::engine {

const std::array<std::string_view, 6> kAudioSampleFormatNames = {"sfAuto", "sfU8",  "sfS16",
                                                                 "sfS32",  "sfFLT", "sfDBL"};

namespace {

// A matrix element is a whole decimal number: an optional sign and digits, nothing else.
bool ParseMatrixElement(const std::string& text, std::int32_t& value) {
  if (text.find('.') != std::string::npos) return false;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  const auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last && first != last;
}

// Checks `lines` and, when they are a valid matrix, stores them in `list` and `matrix`.
// Elements before a bad one stay stored in `matrix`, as the refusal leaves them.
void SetMatrix(const TStringList& lines, TStringList& list, TQuantMatrix& matrix) {
  if (lines.Empty()) {
    list = lines;
    return;
  }
  if (lines.Count() != matrix.size()) {
    media::ShowError("matrix element count should be equal 64");
    return;
  }
  for (std::size_t i = 0; i < matrix.size(); ++i) {
    std::int32_t value = 0;
    if (!ParseMatrixElement(lines[i], value)) {
      media::ShowError("Invalid matrix element");
      return;
    }
    matrix[i] = static_cast<std::uint16_t>(value);
  }
  list = lines;
}

}  // namespace

// --- TRational

void TRational::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TRational*>(&source);
  if (from == nullptr) return TPersistent::Assign(source);
  Setnum(from->num());
  Setden(from->den());
}

std::span<const PropertyInfo> TRational::PublishedProperties() const {
  static const PropertyInfo properties[] = {
      MakeProperty<&TRational::num, &TRational::Setnum>("num", 25),
      MakeProperty<&TRational::den, &TRational::Setden>("den", 1),
  };
  return properties;
}

// --- TAudioOptions

void TAudioOptions::SetAudioSampleFmt(TAVAudioSampleFormat value) {
  if (value != TAVAudioSampleFormat::sfAuto) FAudioSampleFmt = value;
}

void TAudioOptions::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TAudioOptions*>(&source);
  if (from == nullptr) return TPersistent::Assign(source);
  SetAudioDisable(from->AudioDisable());
  SetAudioChannels(from->AudioChannels());
  SetAudioVolume(from->AudioVolume());
  SetAudioSyncMethod(from->AudioSyncMethod());
  SetAudioSampleFmt(from->AudioSampleFmt());
  SetAudioSampleRate(from->AudioSampleRate());
  SetAudioStreamCopy(from->AudioStreamCopy());
  SetEncoderAudioCodecName(from->EncoderAudioCodecName());
  SetDecoderAudioCodecName(from->DecoderAudioCodecName());
  SetAudioCodecTag(from->AudioCodecTag());
  SetAudioLanguage(from->AudioLanguage());
  SetAudioQScale(from->AudioQScale());
  SetAudioDriftThreshold(from->AudioDriftThreshold());
  SetBitrate(from->Bitrate());
  SetMaxFrames(from->MaxFrames());
}

std::span<const PropertyInfo> TAudioOptions::PublishedProperties() const {
  using C = TAudioOptions;
  static const PropertyInfo properties[] = {
      MakeProperty<&C::AudioChannels, &C::SetAudioChannels>("AudioChannels"),
      MakeProperty<&C::AudioVolume, &C::SetAudioVolume>("AudioVolume"),
      MakeProperty<&C::AudioSampleRate, &C::SetAudioSampleRate>("AudioSampleRate"),
      MakeProperty<&C::AudioSyncMethod, &C::SetAudioSyncMethod>("AudioSyncMethod"),
      MakeProperty<&C::AudioDisable, &C::SetAudioDisable>("AudioDisable"),
      MakeProperty<&C::AudioSampleFmt, &C::SetAudioSampleFmt>("AudioSampleFmt", std::nullopt,
                                                              kAudioSampleFormatNames),
      MakeProperty<&C::AudioStreamCopy, &C::SetAudioStreamCopy>("AudioStreamCopy"),
      MakeProperty<&C::EncoderAudioCodecName, &C::SetEncoderAudioCodecName>(
          "EncoderAudioCodecName"),
      MakeProperty<&C::DecoderAudioCodecName, &C::SetDecoderAudioCodecName>(
          "DecoderAudioCodecName"),
      MakeProperty<&C::AudioCodecTag, &C::SetAudioCodecTag>("AudioCodecTag"),
      MakeProperty<&C::AudioLanguage, &C::SetAudioLanguage>("AudioLanguage"),
      MakeProperty<&C::AudioQScale, &C::SetAudioQScale>("AudioQScale"),
      MakeProperty<&C::AudioDriftThreshold, &C::SetAudioDriftThreshold>("AudioDriftThreshold"),
      MakeProperty<&C::Bitrate, &C::SetBitrate>("Bitrate"),
      MakeProperty<&C::MaxFrames, &C::SetMaxFrames>("MaxFrames", kMaxFramesUnlimited),
  };
  return properties;
}

// --- TVideoOptions

void TVideoOptions::SetIntraMatrix(const TStringList& value) {
  SetMatrix(value, FIntraMatrix, FIntraQuantMatrix);
}

void TVideoOptions::SetInterMatrix(const TStringList& value) {
  SetMatrix(value, FInterMatrix, FInterQuantMatrix);
}

void TVideoOptions::SetPass(std::int32_t value) {
  if (value < 0 || value > 2) {
    media::ShowError("pass number can be only 0, 1 or 2");
    return;
  }
  FPass = value;
}

void TVideoOptions::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TVideoOptions*>(&source);
  if (from == nullptr) return TPersistent::Assign(source);
  SetFrameWidth(from->FrameWidth());
  SetFrameHeight(from->FrameHeight());
  SetEncoderVideoCodecName(from->EncoderVideoCodecName());
  SetDecoderVideoCodecName(from->DecoderVideoCodecName());
  SetVideoDisable(from->VideoDisable());
  SetVideoDiscard(from->VideoDiscard());
  SetVideoStreamCopy(from->VideoStreamCopy());
  SetVideoCodecTag(from->VideoCodecTag());
  SetVideoLanguage(from->VideoLanguage());
  SetVideoGlobalHeader(from->VideoGlobalHeader());
  SetIntraOnly(from->IntraOnly());
  SetVideoQscale(from->VideoQscale());
  SetSameQuality(from->SameQuality());
  SetVideoRcOverrideString(from->VideoRcOverrideString());
  SetIntraDcPrecision(from->IntraDcPrecision());
  SetVideoSyncMethod(from->VideoSyncMethod());
  SetTopFieldFirst(from->TopFieldFirst());
  // Published and stored like the rest, so a copy carries it too.
  SetForceFPS(from->ForceFPS());
  SetInterMatrix(from->InterMatrix());
  SetIntraMatrix(from->IntraMatrix());
  SetFramePixFormat(from->FramePixFormat());
  SetFrameAspectRatio(from->FrameAspectRatio());
  SetMeThreshold(from->MeThreshold());
  SetDeinterlace(from->Deinterlace());
  SetPass(from->Pass());
  SetMaxFrames(from->MaxFrames());
  SetBitrate(from->Bitrate());
  FFrameRate.Assign(from->FrameRate());
  SetForceKeyFrames(from->ForceKeyFrames());
}

std::span<const PropertyInfo> TVideoOptions::PublishedProperties() const {
  using C = TVideoOptions;
  static const PropertyInfo properties[] = {
      MakeProperty<&C::FrameWidth, &C::SetFrameWidth>("FrameWidth"),
      MakeProperty<&C::FrameHeight, &C::SetFrameHeight>("FrameHeight"),
      MakeProperty<&C::EncoderVideoCodecName, &C::SetEncoderVideoCodecName>(
          "EncoderVideoCodecName"),
      MakeProperty<&C::DecoderVideoCodecName, &C::SetDecoderVideoCodecName>(
          "DecoderVideoCodecName"),
      MakeProperty<&C::VideoDisable, &C::SetVideoDisable>("VideoDisable"),
      MakeProperty<&C::VideoStreamCopy, &C::SetVideoStreamCopy>("VideoStreamCopy"),
      MakeProperty<&C::VideoCodecTag, &C::SetVideoCodecTag>("VideoCodecTag"),
      MakeProperty<&C::VideoLanguage, &C::SetVideoLanguage>("VideoLanguage"),
      MakeProperty<&C::VideoGlobalHeader, &C::SetVideoGlobalHeader>("VideoGlobalHeader"),
      MakeProperty<&C::IntraOnly, &C::SetIntraOnly>("IntraOnly"),
      MakeProperty<&C::VideoQscale, &C::SetVideoQscale>("VideoQscale"),
      MakeProperty<&C::SameQuality, &C::SetSameQuality>("SameQuality"),
      MakeProperty<&C::VideoRcOverrideString, &C::SetVideoRcOverrideString>(
          "VideoRcOverrideString"),
      MakeProperty<&C::IntraDcPrecision, &C::SetIntraDcPrecision>("IntraDcPrecision", 8),
      MakeProperty<&C::VideoSyncMethod, &C::SetVideoSyncMethod>("VideoSyncMethod"),
      MakeProperty<&C::TopFieldFirst, &C::SetTopFieldFirst>("TopFieldFirst"),
      MakeProperty<&C::ForceFPS, &C::SetForceFPS>("ForceFPS"),
      MakeProperty<&C::IntraMatrix, &C::SetIntraMatrix>("IntraMatrix"),
      MakeProperty<&C::InterMatrix, &C::SetInterMatrix>("InterMatrix"),
      MakeObjectProperty<&C::FFrameRate>("FrameRate"),
      MakeProperty<&C::FrameAspectRatio, &C::SetFrameAspectRatio>("FrameAspectRatio"),
      MakeProperty<&C::MeThreshold, &C::SetMeThreshold>("MeThreshold"),
      MakeProperty<&C::Deinterlace, &C::SetDeinterlace>("Deinterlace"),
      MakeProperty<&C::Pass, &C::SetPass>("Pass"),
      MakeProperty<&C::MaxFrames, &C::SetMaxFrames>("MaxFrames", kMaxFramesUnlimited),
      MakeProperty<&C::Bitrate, &C::SetBitrate>("Bitrate"),
      MakeProperty<&C::ForceKeyFrames, &C::SetForceKeyFrames>("ForceKeyFrames"),
  };
  return properties;
}

// --- TSubtitleOptions

void TSubtitleOptions::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TSubtitleOptions*>(&source);
  if (from == nullptr) return TPersistent::Assign(source);
  SetSubtitleLanguage(from->SubtitleLanguage());
  SetSubtitleCodecName(from->SubtitleCodecName());
  SetSubtitleDisable(from->SubtitleDisable());
  SetSubtitleStreamCopy(from->SubtitleStreamCopy());
  SetSubtitleCodecTag(from->SubtitleCodecTag());
}

std::span<const PropertyInfo> TSubtitleOptions::PublishedProperties() const {
  using C = TSubtitleOptions;
  static const PropertyInfo properties[] = {
      MakeProperty<&C::SubtitleLanguage, &C::SetSubtitleLanguage>("SubtitleLanguage"),
      MakeProperty<&C::SubtitleCodecName, &C::SetSubtitleCodecName>("SubtitleCodecName"),
      MakeProperty<&C::SubtitleDisable, &C::SetSubtitleDisable>("SubtitleDisable"),
      MakeProperty<&C::SubtitleStreamCopy, &C::SetSubtitleStreamCopy>("SubtitleStreamCopy"),
      MakeProperty<&C::SubtitleCodecTag, &C::SetSubtitleCodecTag>("SubtitleCodecTag"),
  };
  return properties;
}

// --- TMuxerOptions

void TMuxerOptions::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TMuxerOptions*>(&source);
  if (from == nullptr) return TPersistent::Assign(source);
  SetAudioBitstreamFilters(from->AudioBitstreamFilters());
  SetSubtitleBitstreamFilters(from->SubtitleBitstreamFilters());
  SetVideoBitstreamFilters(from->VideoBitstreamFilters());
  SetMuxPreload(from->MuxPreload());
  SetMuxMaxDelay(from->MuxMaxDelay());
}

std::span<const PropertyInfo> TMuxerOptions::PublishedProperties() const {
  using C = TMuxerOptions;
  static const PropertyInfo properties[] = {
      MakeProperty<&C::MuxMaxDelay, &C::SetMuxMaxDelay>("MuxMaxDelay"),
      MakeProperty<&C::MuxPreload, &C::SetMuxPreload>("MuxPreload"),
      MakeProperty<&C::AudioBitstreamFilters, &C::SetAudioBitstreamFilters>(
          "AudioBitstreamFilters"),
      MakeProperty<&C::SubtitleBitstreamFilters, &C::SetSubtitleBitstreamFilters>(
          "SubtitleBitstreamFilters"),
      MakeProperty<&C::VideoBitstreamFilters, &C::SetVideoBitstreamFilters>(
          "VideoBitstreamFilters"),
  };
  return properties;
}

// --- TGrabOptions

void TGrabOptions::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TGrabOptions*>(&source);
  if (from == nullptr) return TPersistent::Assign(source);
  SetVideoChannel(from->VideoChannel());
  SetVideoStandard(from->VideoStandard());
  SetInputSync(from->InputSync());
}

std::span<const PropertyInfo> TGrabOptions::PublishedProperties() const {
  using C = TGrabOptions;
  static const PropertyInfo properties[] = {
      MakeProperty<&C::VideoChannel, &C::SetVideoChannel>("VideoChannel"),
      MakeProperty<&C::VideoStandard, &C::SetVideoStandard>("VideoStandard"),
      MakeProperty<&C::InputSync, &C::SetInputSync>("InputSync"),
  };
  return properties;
}

// --- TFilterOptions

void TFilterOptions::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TFilterOptions*>(&source);
  if (from == nullptr) return TPersistent::Assign(source);
  SetVideoFilters(from->VideoFilters());
}

std::span<const PropertyInfo> TFilterOptions::PublishedProperties() const {
  static const PropertyInfo properties[] = {
      MakeProperty<&TFilterOptions::VideoFilters, &TFilterOptions::SetVideoFilters>("VideoFilters"),
  };
  return properties;
}

// --- TAVConvertOptions

void TAVConvertOptions::SetAdvancedOption(std::string_view key, std::string_view value) {
  if (FCodecOptions.IndexOfName(key) < 0) {
    FCodecOptions.Add(std::string(key) + "=" + std::string(value));
  } else {
    FCodecOptions.SetValues(key, value);
  }
}

void TAVConvertOptions::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TAVConvertOptions*>(&source);
  if (from == nullptr) return TPersistent::Assign(source);
  if (from == this) return;
  FAudioOptions.Assign(from->AudioOptions());
  FSubtitleOptions.Assign(from->SubtitleOptions());
  FVideoOptions.Assign(from->VideoOptions());
  FMuxerOptions.Assign(from->MuxerOptions());
  FGrabOptions.Assign(from->GrabOptions());
  FFilterOptions.Assign(from->FilterOptions());
  SetMetaData(from->MetaData());
  SetCodecOptions(from->CodecOptions());
  SetInputFormat(from->InputFormat());
  SetOutputFormat(from->OutputFormat());
  SetStartTime(from->StartTime());
  SetRecordingTime(from->RecordingTime());
  SetThreadCount(from->ThreadCount());
  SetStreamMaps(from->StreamMaps());
}

std::span<const PropertyInfo> TAVConvertOptions::PublishedProperties() const {
  using C = TAVConvertOptions;
  static const PropertyInfo properties[] = {
      MakeObjectProperty<&C::FAudioOptions>("AudioOptions"),
      MakeObjectProperty<&C::FSubtitleOptions>("SubtitleOptions"),
      MakeObjectProperty<&C::FVideoOptions>("VideoOptions"),
      MakeObjectProperty<&C::FMuxerOptions>("MuxerOptions"),
      MakeObjectProperty<&C::FGrabOptions>("GrabOptions"),
      MakeObjectProperty<&C::FFilterOptions>("FilterOptions"),
      MakeProperty<&C::MetaData, &C::SetMetaData>("MetaData"),
      MakeProperty<&C::CodecOptions, &C::SetCodecOptions>("CodecOptions"),
      MakeProperty<&C::OutputFormat, &C::SetOutputFormat>("OutputFormat"),
      MakeProperty<&C::InputFormat, &C::SetInputFormat>("InputFormat"),
      MakeProperty<&C::StartTime, &C::SetStartTime>("StartTime"),
      MakeProperty<&C::RecordingTime, &C::SetRecordingTime>("RecordingTime"),
      MakeProperty<&C::ThreadCount, &C::SetThreadCount>("ThreadCount", 1),
      MakeProperty<&C::StreamMaps, &C::SetStreamMaps>("StreamMaps"),
  };
  return properties;
}

}  // namespace zembra::engine
