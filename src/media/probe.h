// The media probe: can the libraries open a source, find its streams and open a decoder for its
// first video and its first audio stream?
//
// Activating opens the source through the input-opening helper (so "stream:" addresses work
// too), analyses it, and opens a decoder, built from the stream's codec parameters, for the
// first stream of each kind, recording a short description of both. Deactivating closes the
// decoders and the input; the description stays readable. The media libraries must be loaded
// before a probe is activated.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "media/av_ptr.h"

namespace zembra::media {

// Raised by activation with one of the probe's fixed messages; code() is the library's error
// code when a library call failed, else 0.
class ProbeError : public std::runtime_error {
 public:
  explicit ProbeError(const std::string& message, int code = 0)
      : std::runtime_error(message), code_(code) {}
  int code() const noexcept { return code_; }

 private:
  int code_;
};

class TAVProbe {
 public:
  TAVProbe() = default;
  ~TAVProbe();
  TAVProbe(const TAVProbe&) = delete;
  TAVProbe& operator=(const TAVProbe&) = delete;

  // A path (UTF-8) or a "stream:" address. Setting it opens nothing.
  const std::string& FileName() const { return file_name_; }
  void SetFileName(std::string file_name) { file_name_ = std::move(file_name); }

  // Setting true opens and probes, false closes. Setting the current value does nothing, and
  // activating does nothing either when no file exists under FileName (nor a registered stream
  // under a "stream:" address). Active takes the new value only once the step has completed, so
  // a failed activation, which raises ProbeError, leaves the probe inactive and closed.
  bool Active() const { return active_; }
  void SetActive(bool active);

  bool HasAudio() const { return has_audio_; }
  bool HasVideo() const { return has_video_; }
  const std::string& AudioCodecName() const { return audio_codec_name_; }
  const std::string& VideoCodecName() const { return video_codec_name_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int SampleRate() const { return sample_rate_; }
  int Channels() const { return channels_; }
  // Sample rate x channels x bits per sample when the codec has a fixed sample size, otherwise
  // the decoder's bit rate.
  std::int64_t AudioBitRate() const { return audio_bit_rate_; }
  std::int64_t VideoBitRate() const { return video_bit_rate_; }
  // The video stream's real frame rate as a decimal number.
  double FrameRate() const { return frame_rate_; }

 private:
  bool SourceExists() const;
  void Activate();
  void Deactivate();
  CodecContextPtr OpenDecoder(int index);
  void DescribeVideo(int index);
  void DescribeAudio(int index);

  std::string file_name_;
  bool active_ = false;
  InputFormatContextPtr input_;
  const AVInputFormat* input_format_ = nullptr;  // null: the library guesses the format
  CodecContextPtr video_decoder_;
  CodecContextPtr audio_decoder_;
  bool has_audio_ = false;
  bool has_video_ = false;
  std::string audio_codec_name_;
  std::string video_codec_name_;
  int width_ = 0;
  int height_ = 0;
  int sample_rate_ = 0;
  int channels_ = 0;
  std::int64_t audio_bit_rate_ = 0;
  std::int64_t video_bit_rate_ = 0;
  double frame_rate_ = 0.0;
};

}  // namespace zembra::media
