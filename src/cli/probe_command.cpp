// zembra-cli probe: what an input holds, as the media libraries read it.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/output.h"
#include "media/input_open.h"
#include "media/media_loader.h"
#include "media/probe.h"

namespace zembra::cli {
namespace {

using media::ff;

std::string Describe(const AVStream& stream, bool json) {
  const AVCodecParameters& p = *stream.codecpar;
  const char* type = ff.av_get_media_type_string(p.codec_type);
  const std::string codec = ff.avcodec_get_name(p.codec_id);
  char text[512];
  if (json) {
    std::string fields = "{\"index\":" + std::to_string(stream.index) +
                         ",\"type\":" + JsonString(type ? type : "unknown") +
                         ",\"codec\":" + JsonString(codec);
    if (p.codec_type == AVMEDIA_TYPE_VIDEO) {
      std::snprintf(text, sizeof text, ",\"width\":%d,\"height\":%d,\"fps\":%.3f", p.width,
                    p.height, stream.avg_frame_rate.den ? av_q2d(stream.avg_frame_rate) : 0.0);
      fields += text;
    } else if (p.codec_type == AVMEDIA_TYPE_AUDIO) {
      std::snprintf(text, sizeof text, ",\"sample_rate\":%d,\"channels\":%d", p.sample_rate,
                    p.ch_layout.nb_channels);
      fields += text;
    }
    if ((stream.disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) fields += ",\"cover_art\":true";
    return fields + "}";
  }
  std::string line =
      "  #" + std::to_string(stream.index) + " " + (type ? type : "unknown") + ": " + codec;
  if (p.codec_type == AVMEDIA_TYPE_VIDEO) {
    const char* format = ff.av_get_pix_fmt_name(static_cast<AVPixelFormat>(p.format));
    std::snprintf(text, sizeof text, ", %dx%d, %.3f fps, %s", p.width, p.height,
                  stream.avg_frame_rate.den ? av_q2d(stream.avg_frame_rate) : 0.0,
                  format ? format : "?");
    line += text;
  } else if (p.codec_type == AVMEDIA_TYPE_AUDIO) {
    std::snprintf(text, sizeof text, ", %d Hz, %d channels", p.sample_rate,
                  p.ch_layout.nb_channels);
    line += text;
  }
  if ((stream.disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) line += " (cover art)";
  return line;
}

}  // namespace

int RunProbe(const Request& request) {
  media::LoadMediaLibraries();
  media::InputOpenRequest open;
  open.url = request.input;
  media::InputFormatContextPtr context;
  const int opened = media::OpenInput(std::move(open), context);
  if (opened < 0 || ff.avformat_find_stream_info(context.get(), nullptr) < 0) {
    std::fprintf(stderr, "zembra-cli: cannot read %s: %s\n", request.input.c_str(),
                 media::ErrorText(opened < 0 ? opened : AVERROR_INVALIDDATA).c_str());
    return kExitFailed;
  }
  const double duration =
      context->duration == AV_NOPTS_VALUE ? 0.0 : static_cast<double>(context->duration) / 1e6;
  // What the wizard's probe decides: whether the source has a picture and sound it can decode.
  bool has_video = false;
  bool has_audio = false;
  try {
    media::TAVProbe probe;
    probe.SetFileName(request.input);
    probe.SetActive(true);
    has_video = probe.HasVideo();
    has_audio = probe.HasAudio();
  } catch (const std::exception&) {
    // The streams below still say what the input holds.
  }
  if (request.json) {
    std::string streams = "[";
    for (unsigned i = 0; i < context->nb_streams; ++i) {
      if (i != 0) streams += ',';
      streams += Describe(*context->streams[i], true);
    }
    std::printf(
        "{\"input\":%s,\"format\":%s,\"duration_s\":%.3f,\"bitrate\":%lld,\"has_video\":%s,"
        "\"has_audio\":%s,\"streams\":%s]}\n",
        JsonString(request.input).c_str(), JsonString(context->iformat->name).c_str(), duration,
        static_cast<long long>(context->bit_rate), has_video ? "true" : "false",
        has_audio ? "true" : "false", streams.c_str());
  } else {
    std::printf("%s: %s, %.3f s, %lld kb/s; video: %s, audio: %s\n", request.input.c_str(),
                context->iformat->long_name, duration,
                static_cast<long long>(context->bit_rate / 1000), has_video ? "yes" : "no",
                has_audio ? "yes" : "no");
    for (unsigned i = 0; i < context->nb_streams; ++i) {
      std::printf("%s\n", Describe(*context->streams[i], false).c_str());
    }
  }
  return kExitCompleted;
}

}  // namespace zembra::cli
