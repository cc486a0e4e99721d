// The options of one conversion.
//
// TAVConvertOptions owns six option groups and is filled before a conversion starts: a
// profile writes the codec and format choices, the wizard adds the time range, filters and
// thread count, and a task copies its stored options in with Assign. The objects hold values
// only and never call the media libraries; the engine stages read them while the worker runs.
//
// Published properties are the persisted vocabulary (their names are the stored element
// names) and are listed, in declaration order, by each class's PublishedProperties(). Public
// properties are set in code only and are neither stored nor copied by Assign.
//
// Copies go through the setters, so their rules hold for copies too: a source sample format
// of sfAuto leaves the target's format, and a bad matrix list is refused with its message.
// Setter messages go to the error box (media/reporting.h); setters never throw.
//
// Threads: filled on the thread that owns the converter before the worker starts; while it
// runs the worker is the only writer and other threads only read (the byte totals, which the
// progress display reads, are atomic).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/persistent.h"
#include "engine/string_list.h"

namespace zembra::engine {

inline constexpr std::int32_t kMaxFramesUnlimited = std::numeric_limits<std::int32_t>::max();
inline constexpr std::int64_t kRecordingTimeUnlimited = std::numeric_limits<std::int64_t>::max();

// sfAuto keeps what the decoder delivers; any other value v is the media libraries' sample
// format number v - 1 (u8, s16, s32, flt, dbl).
enum class TAVAudioSampleFormat : std::int32_t { sfAuto, sfU8, sfS16, sfS32, sfFLT, sfDBL };
extern const std::array<std::string_view, 6> kAudioSampleFormatNames;

class TRational : public TPersistent {
 public:
  TRational() = default;
  TRational(std::int32_t num, std::int32_t den) : Fnum(num), Fden(den) {}
  std::string_view ClassName() const override { return "TRational"; }
  void Assign(const TPersistent& source) override;
  std::span<const PropertyInfo> PublishedProperties() const override;

  ZEMBRA_PLAIN_PROPERTY(std::int32_t, num, 25)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, den, 1)
};

class TAudioOptions : public TPersistent {
 public:
  TAudioOptions() = default;
  std::string_view ClassName() const override { return "TAudioOptions"; }
  void Assign(const TPersistent& source) override;
  std::span<const PropertyInfo> PublishedProperties() const override;

  ZEMBRA_PLAIN_PROPERTY(std::int32_t, AudioChannels, 0)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, AudioVolume, 256)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, AudioSampleRate, 0)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, AudioSyncMethod, 0)
  ZEMBRA_PLAIN_PROPERTY(bool, AudioDisable, false)

 public:
  TAVAudioSampleFormat AudioSampleFmt() const { return FAudioSampleFmt; }
  // sfAuto is not stored: the format set before stays.
  void SetAudioSampleFmt(TAVAudioSampleFormat value);

 private:
  TAVAudioSampleFormat FAudioSampleFmt = TAVAudioSampleFormat::sfAuto;

  ZEMBRA_PLAIN_PROPERTY(bool, AudioStreamCopy, false)
  ZEMBRA_PLAIN_PROPERTY(std::string, EncoderAudioCodecName, {})
  ZEMBRA_PLAIN_PROPERTY(std::string, DecoderAudioCodecName, {})
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, AudioCodecTag, 0)
  ZEMBRA_PLAIN_PROPERTY(std::string, AudioLanguage, {})
  ZEMBRA_PLAIN_PROPERTY(float, AudioQScale, -99999.0F)
  ZEMBRA_PLAIN_PROPERTY(float, AudioDriftThreshold, 0.1F)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, Bitrate, 0)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, MaxFrames, kMaxFramesUnlimited)
};

// 64 quantiser coefficients in list order, as the encoder takes them.
using TQuantMatrix = std::array<std::uint16_t, 64>;

class TVideoOptions : public TPersistent {
 public:
  TVideoOptions() = default;
  std::string_view ClassName() const override { return "TVideoOptions"; }
  void Assign(const TPersistent& source) override;
  std::span<const PropertyInfo> PublishedProperties() const override;

  ZEMBRA_PLAIN_PROPERTY(std::int32_t, FrameWidth, 0)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, FrameHeight, 0)
  ZEMBRA_PLAIN_PROPERTY(std::string, EncoderVideoCodecName, {})
  ZEMBRA_PLAIN_PROPERTY(std::string, DecoderVideoCodecName, {})
  ZEMBRA_PLAIN_PROPERTY(bool, VideoDisable, false)
  ZEMBRA_PLAIN_PROPERTY(bool, VideoStreamCopy, false)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, VideoCodecTag, 0)
  ZEMBRA_PLAIN_PROPERTY(std::string, VideoLanguage, {})
  // 0: global headers when the container asks; bit 1: always global; bit 2: local headers.
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, VideoGlobalHeader, 0)
  ZEMBRA_PLAIN_PROPERTY(bool, IntraOnly, false)
  ZEMBRA_PLAIN_PROPERTY(float, VideoQscale, 0.0F)
  ZEMBRA_PLAIN_PROPERTY(bool, SameQuality, false)
  ZEMBRA_PLAIN_PROPERTY(std::string, VideoRcOverrideString, {})
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, IntraDcPrecision, 8)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, VideoSyncMethod, -1)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, TopFieldFirst, -1)
  ZEMBRA_PLAIN_PROPERTY(bool, ForceFPS, false)

 public:
  // A list of 64 decimal integers, or empty. Other lists are refused with a message and
  // leave the property as it was.
  const TStringList& IntraMatrix() const { return FIntraMatrix; }
  void SetIntraMatrix(const TStringList& value);
  const TStringList& InterMatrix() const { return FInterMatrix; }
  void SetInterMatrix(const TStringList& value);
  // The coefficients the lists set; meaningful while the matching list is not empty.
  const TQuantMatrix& IntraQuantMatrix() const { return FIntraQuantMatrix; }
  const TQuantMatrix& InterQuantMatrix() const { return FInterQuantMatrix; }

  const TRational& FrameRate() const { return FFrameRate; }
  TRational& FrameRate() { return FFrameRate; }
  void SetFrameRate(const TRational& value) { FFrameRate.Assign(value); }

 private:
  TStringList FIntraMatrix;
  TStringList FInterMatrix;
  TQuantMatrix FIntraQuantMatrix{};
  TQuantMatrix FInterQuantMatrix{};
  TRational FFrameRate;

  ZEMBRA_PLAIN_PROPERTY(float, FrameAspectRatio, 0.0F)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, MeThreshold, 0)
  ZEMBRA_PLAIN_PROPERTY(bool, Deinterlace, false)

 public:
  std::int32_t Pass() const { return FPass; }
  // 0 (single pass), 1 or 2; anything else is refused with a message.
  void SetPass(std::int32_t value);

 private:
  std::int32_t FPass = 0;

  ZEMBRA_PLAIN_PROPERTY(std::int32_t, MaxFrames, kMaxFramesUnlimited)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, Bitrate, 0)
  // Kept and copied; the engine does not act on it.
  ZEMBRA_PLAIN_PROPERTY(TStringList, ForceKeyFrames, {})

  // Set in code, copied by Assign, not stored.
  // The decoder's discard level.
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, VideoDiscard, 0)
  // The media libraries' pixel format number for the output; -1 = as the encoder prefers.
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, FramePixFormat, -1)
};

class TSubtitleOptions : public TPersistent {
 public:
  TSubtitleOptions() = default;
  std::string_view ClassName() const override { return "TSubtitleOptions"; }
  void Assign(const TPersistent& source) override;
  std::span<const PropertyInfo> PublishedProperties() const override;

  ZEMBRA_PLAIN_PROPERTY(std::string, SubtitleLanguage, {})
  ZEMBRA_PLAIN_PROPERTY(std::string, SubtitleCodecName, {})
  ZEMBRA_PLAIN_PROPERTY(bool, SubtitleDisable, false)
  ZEMBRA_PLAIN_PROPERTY(bool, SubtitleStreamCopy, false)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, SubtitleCodecTag, 0)
};

class TMuxerOptions : public TPersistent {
 public:
  TMuxerOptions() = default;
  std::string_view ClassName() const override { return "TMuxerOptions"; }
  void Assign(const TPersistent& source) override;
  std::span<const PropertyInfo> PublishedProperties() const override;

  // Seconds; the engine uses them as rounded microseconds.
  ZEMBRA_PLAIN_PROPERTY(float, MuxMaxDelay, 0.7F)
  ZEMBRA_PLAIN_PROPERTY(float, MuxPreload, 0.5F)
  ZEMBRA_PLAIN_PROPERTY(TStringList, AudioBitstreamFilters, {})
  ZEMBRA_PLAIN_PROPERTY(TStringList, SubtitleBitstreamFilters, {})
  ZEMBRA_PLAIN_PROPERTY(TStringList, VideoBitstreamFilters, {})
};

class TGrabOptions : public TPersistent {
 public:
  TGrabOptions() = default;
  std::string_view ClassName() const override { return "TGrabOptions"; }
  void Assign(const TPersistent& source) override;
  std::span<const PropertyInfo> PublishedProperties() const override;

  ZEMBRA_PLAIN_PROPERTY(std::int32_t, VideoChannel, 0)
  ZEMBRA_PLAIN_PROPERTY(std::string, VideoStandard, {})
  ZEMBRA_PLAIN_PROPERTY(bool, InputSync, false)
};

class TFilterOptions : public TPersistent {
 public:
  TFilterOptions() = default;
  std::string_view ClassName() const override { return "TFilterOptions"; }
  void Assign(const TPersistent& source) override;
  std::span<const PropertyInfo> PublishedProperties() const override;

  // Filter-graph text for the video; empty = no filtering.
  ZEMBRA_PLAIN_PROPERTY(std::string, VideoFilters, {})
};

// A timestamp scale for one stream of one input file.
struct TInputTSScale {
  std::int32_t file_index = 0;
  std::int32_t stream_index = 0;
  double scale = 1.0;
};

// Declares an owned option group: both getters and a setter that copies into the instance.
#define ZEMBRA_OWNED_GROUP(Type, Name)                         \
 public:                                                       \
  const Type& Name() const { return F##Name; }                 \
  Type& Name() { return F##Name; }                             \
  void Set##Name(const Type& value) { F##Name.Assign(value); } \
                                                               \
 private:                                                      \
  Type F##Name;

class TAVConvertOptions : public TPersistent {
 public:
  TAVConvertOptions() = default;
  std::string_view ClassName() const override { return "TAVConvertOptions"; }
  void Assign(const TPersistent& source) override;
  std::span<const PropertyInfo> PublishedProperties() const override;

  // Records one media-library option in CodecOptions as "Key=Value": appended when the key is
  // new (also with an empty value), replaced in place when it exists, removed when it exists
  // and Value is empty.
  void SetAdvancedOption(std::string_view key, std::string_view value);

  ZEMBRA_OWNED_GROUP(TAudioOptions, AudioOptions)
  ZEMBRA_OWNED_GROUP(TSubtitleOptions, SubtitleOptions)
  ZEMBRA_OWNED_GROUP(TVideoOptions, VideoOptions)
  ZEMBRA_OWNED_GROUP(TMuxerOptions, MuxerOptions)
  ZEMBRA_OWNED_GROUP(TGrabOptions, GrabOptions)
  ZEMBRA_OWNED_GROUP(TFilterOptions, FilterOptions)

  // key=value lines written as the output file's metadata.
  ZEMBRA_PLAIN_PROPERTY(TStringList, MetaData, {})
  // name=value lines, each applied as a named media-library option when the run starts.
  ZEMBRA_PLAIN_PROPERTY(TStringList, CodecOptions, {})
  // Container short names; empty = guessed from the output name / probed.
  ZEMBRA_PLAIN_PROPERTY(std::string, OutputFormat, {})
  ZEMBRA_PLAIN_PROPERTY(std::string, InputFormat, {})
  // Microseconds skipped at the start of the input.
  ZEMBRA_PLAIN_PROPERTY(std::int64_t, StartTime, 0)
  // Microseconds of input to convert; kRecordingTimeUnlimited = to the end.
  ZEMBRA_PLAIN_PROPERTY(std::int64_t, RecordingTime, kRecordingTimeUnlimited)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, ThreadCount, 1)
  // "file=stream" lines mapping input streams to the output streams in order.
  ZEMBRA_PLAIN_PROPERTY(TStringList, StreamMaps, {})

  // Public properties: set in code, neither stored nor copied.
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, ProgramID, 0)
  ZEMBRA_PLAIN_PROPERTY(bool, LoopInput, false)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, LoopOutput, -1)
  ZEMBRA_PLAIN_PROPERTY(bool, RateEmu, false)
  ZEMBRA_PLAIN_PROPERTY(bool, DoPSNR, false)
  // Seconds.
  ZEMBRA_PLAIN_PROPERTY(float, DtsDeltaThreshold, 50.0F)
  // 4 = bicubic scaling.
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, SwsFlags, 4)
  ZEMBRA_PLAIN_PROPERTY(std::int64_t, RecTimestamp, 0)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, MaxDataFrames, kMaxFramesUnlimited)
  ZEMBRA_PLAIN_PROPERTY(std::int64_t, InputTSOffset, 0)
  ZEMBRA_PLAIN_PROPERTY(std::vector<TInputTSScale>, InputTSScale, {})
  ZEMBRA_PLAIN_PROPERTY(bool, CopyTS, false)
  // Bytes; the run ends once output 0 has this many written. 0 = no limit.
  ZEMBRA_PLAIN_PROPERTY(std::int64_t, LimitFileSize, 0)
  // End the run at the end of the shortest input.
  ZEMBRA_PLAIN_PROPERTY(bool, ShortTest, false)
  // Stream copy starts with the first packet even when it is not a key frame.
  ZEMBRA_PLAIN_PROPERTY(bool, CopyInitialNonkeyframes, false)

 public:
  // Bytes of audio and video written so far; the worker adds, the display reads.
  std::int64_t AudioSize() const { return FAudioSize.load(std::memory_order_relaxed); }
  void SetAudioSize(std::int64_t value) { FAudioSize.store(value, std::memory_order_relaxed); }
  std::int64_t VideoSize() const { return FVideoSize.load(std::memory_order_relaxed); }
  void SetVideoSize(std::int64_t value) { FVideoSize.store(value, std::memory_order_relaxed); }

 private:
  std::atomic<std::int64_t> FAudioSize{0};
  std::atomic<std::int64_t> FVideoSize{0};
};

#undef ZEMBRA_OWNED_GROUP

}  // namespace zembra::engine
