// Whether a profile can run with the media libraries that are loaded.
//
// The check applies the profile to fresh options, exactly as a conversion would start, and asks
// the libraries for what those options name: the output container (by name, or guessed from
// the extension as the engine guesses it), each encoder (by name, or the container's default
// when the profile names none), and whether the container can hold each encoder's stream.
// Debian's FFmpeg lacks some encoders (AMR-NB), so a profile that needs one is reported rather
// than started into a certain failure.
#include <string>

#include "media/media_loader.h"
#include "profiles/profile.h"

namespace zembra::profiles {
namespace {

using media::ff;

ProfileAvailability Unavailable(std::string reason) { return {false, std::move(reason)}; }

std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted.append(1, '"').append(text).append(1, '"');
  return quoted;
}

// The muxer the engine will use for these options and the output extension, or null with
// `reason` set.
const AVOutputFormat* FindMuxer(const engine::TAVConvertOptions& options,
                                const std::string& extension, std::string& reason) {
  if (!options.OutputFormat().empty()) {
    const AVOutputFormat* muxer =
        ff.av_guess_format(options.OutputFormat().c_str(), nullptr, nullptr);
    if (muxer == nullptr) {
      reason = "The container " + Quoted(options.OutputFormat()) +
               " is not available in the loaded media libraries.";
    }
    return muxer;
  }
  const std::string file_name = "output" + extension;
  const AVOutputFormat* muxer = ff.av_guess_format(nullptr, file_name.c_str(), nullptr);
  if (muxer == nullptr) {
    reason = "No container of the loaded media libraries writes files ending in " +
             Quoted(extension) + ".";
  }
  return muxer;
}

// Checks one stream: the encoder `name` (or the container's default `fallback`) exists, codes
// the right kind of media, and fits the container. Returns the reason when it does not.
std::optional<std::string> CheckStream(std::string_view kind, AVMediaType type,
                                       const std::string& name, AVCodecID fallback,
                                       const AVOutputFormat& muxer) {
  const AVCodec* encoder = nullptr;
  if (!name.empty()) {
    encoder = ff.avcodec_find_encoder_by_name(name.c_str());
    if (encoder == nullptr) {
      return "The " + std::string(kind) + " encoder " + Quoted(name) +
             " is not available in the loaded media libraries.";
    }
  } else {
    if (fallback == AV_CODEC_ID_NONE) return std::nullopt;  // the container takes no such stream
    encoder = ff.avcodec_find_encoder(fallback);
    if (encoder == nullptr) {
      return "The loaded media libraries have no encoder for the " + std::string(kind) +
             " format " + Quoted(ff.avcodec_get_name(fallback)) + " of the container " +
             Quoted(muxer.name) + ".";
    }
  }
  if (encoder->type != type) {
    return "The encoder " + Quoted(encoder->name) + " does not encode " + std::string(kind) + ".";
  }
  // 0 means "cannot hold"; a negative answer means the container does not say, and is taken
  // as yes.
  if (ff.avformat_query_codec(&muxer, encoder->id, FF_COMPLIANCE_NORMAL) == 0) {
    return "The container " + Quoted(muxer.name) + " cannot hold " + std::string(kind) +
           " encoded by " + Quoted(encoder->name) + ".";
  }
  return std::nullopt;
}

}  // namespace

ProfileAvailability TAVProfile::Availability() const {
  if (std::optional<std::string> problem = FieldProblem()) return Unavailable(*problem);
  try {
    media::LoadMediaLibraries();
  } catch (const media::MediaLoadError& error) {
    return Unavailable(std::string("The media libraries could not be loaded: ") + error.what());
  }

  engine::TAVConvertOptions options;
  ApplyTo(options);
  std::string reason;
  const AVOutputFormat* muxer = FindMuxer(options, Extension(), reason);
  if (muxer == nullptr) return Unavailable(reason);

  if (!options.VideoOptions().VideoDisable()) {
    if (auto problem =
            CheckStream("video", AVMEDIA_TYPE_VIDEO, options.VideoOptions().EncoderVideoCodecName(),
                        muxer->video_codec, *muxer)) {
      return Unavailable(*problem);
    }
  }
  if (!options.AudioOptions().AudioDisable()) {
    if (auto problem =
            CheckStream("audio", AVMEDIA_TYPE_AUDIO, options.AudioOptions().EncoderAudioCodecName(),
                        muxer->audio_codec, *muxer)) {
      return Unavailable(*problem);
    }
  }
  return {};
}

}  // namespace zembra::profiles
