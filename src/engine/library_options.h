// Named media-library options, recorded before a run and applied to the live contexts.
//
// Options arrive as name=value text (a profile's codec options, the bit rates). They are set on
// template contexts that never code anything: five codec contexts (video, audio, data,
// subtitle, attachment), a format context and a scaler context, which check names and values.
// The names set are remembered in order (Opt_names); when a live context is made, the values
// are read back from the template and copied into it if the option's flags fit the context.
//
// Options that belong to one codec or format only (libx264's "preset", a demuxer's
// "video_size") exist on no template. They are kept by name as private options and handed to
// every live context whose own options include the name.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/string_list.h"
#include "media/av_ptr.h"

namespace zembra::engine {

// Flag masks for ApplyContextOptions.
inline constexpr int kDecodingMask = AV_OPT_FLAG_DECODING_PARAM;  // 2
inline constexpr int kAudioDecodingMask =
    AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_DECODING_PARAM;  // 10
inline constexpr int kVideoDecodingMask =
    AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_DECODING_PARAM;  // 18

class LibraryOptions {
 public:
  // Creates the templates; the media libraries must be loaded. `sws_flags` seeds the scaler's.
  explicit LibraryOptions(int sws_flags);
  LibraryOptions(const LibraryOptions&) = delete;
  LibraryOptions& operator=(const LibraryOptions&) = delete;

  // Sets one option: 0 when it was set, -1 otherwise. A known option with a bad value shows
  // "Invalid value for Option!"; an unknown name is ignored silently.
  int SetLibraryOption(std::string_view name, std::string_view value);
  // SetLibraryOption for every name=value line.
  void ApplyCodecOptions(const TStringList& lines);

  // Copies every recorded option that `template_context` holds and whose flags include all of
  // `mask` into `target` (a struct of the same class).
  void ApplyContextOptions(void* target, void* template_context, int mask) const;
  // The same, collected as dictionary entries (for contexts opened with a dictionary), plus
  // the private options.
  void CollectContextOptions(AVDictionary** dictionary, void* template_context, int mask) const;
  // Sets on `private_data` (a codec's or format's own options, such as a codec context's
  // priv_data) each private option it has. Returns the names it refused, for the log.
  std::vector<std::string> ApplyPrivateOptions(void* private_data) const;

  AVCodecContext* CodecTemplate(AVMediaType type) const;
  AVFormatContext* FormatTemplate() const { return avformat_opts_.get(); }
  SwsContext* ScalerTemplate() const { return sws_opts_.get(); }

  // Canonical names of the options set on templates, in order, duplicates kept.
  const std::vector<std::string>& Opt_names() const { return opt_names_; }
  const std::vector<std::pair<std::string, std::string>>& PrivateOptions() const {
    return private_options_;
  }

 private:
  // Indexed by media type, video (0) to attachment (4).
  std::array<media::CodecContextPtr, 5> avcodec_opts_;
  media::FormatContextPtr avformat_opts_;
  media::SwsContextPtr sws_opts_;
  std::vector<std::string> opt_names_;
  std::vector<std::pair<std::string, std::string>> private_options_;
};

// Whether some encoder, decoder, muxer or demuxer has a private option called `name`.
bool IsPrivateLibraryOption(std::string_view name);

}  // namespace zembra::engine
