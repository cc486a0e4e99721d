#include "media/probe.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "media/byte_stream.h"
#include "media/input_open.h"

namespace zembra::media {
namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[256];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

}  // namespace

TAVProbe::~TAVProbe() {
  try {
    SetActive(false);
  } catch (...) {
  }
}

void TAVProbe::SetActive(bool active) {
  if (active == active_) return;
  if (active) {
    if (!SourceExists()) return;
    Activate();
  } else {
    // Closing always closes, even when the file has gone meanwhile.
    Deactivate();
  }
  active_ = active;
}

bool TAVProbe::SourceExists() const {
  if (IsStreamAddress(file_name_)) {
    const std::optional<int> number = ParseStreamAddress(file_name_);
    return number && FindRegisteredStream(*number) != nullptr;
  }
  std::error_code error;
  return !file_name_.empty() && std::filesystem::exists(file_name_, error);
}

void TAVProbe::Activate() {
  InputOpenRequest request;
  request.url = file_name_;
  request.format = input_format_;
  request.context.reset(ff.avformat_alloc_context());
  if (!request.context) throw ProbeError("Error Opening File!", AVERROR(ENOMEM));
  const int opened = OpenInput(std::move(request), input_);
  if (opened < 0) throw ProbeError("Error Opening File!", opened);

  try {
    const int analysed = ff.avformat_find_stream_info(input_.get(), nullptr);
    if (analysed < 0) throw ProbeError("Can not find stream information", analysed);
    has_video_ = false;
    has_audio_ = false;
    for (unsigned i = 0; i < input_->nb_streams; ++i) {
      const AVMediaType type = input_->streams[i]->codecpar->codec_type;
      if (type == AVMEDIA_TYPE_VIDEO && !has_video_) {
        has_video_ = true;
        DescribeVideo(static_cast<int>(i));
      } else if (type == AVMEDIA_TYPE_AUDIO && !has_audio_) {
        has_audio_ = true;
        DescribeAudio(static_cast<int>(i));
      }
    }
  } catch (...) {
    Deactivate();
    throw;
  }
}

void TAVProbe::Deactivate() {
  video_decoder_.reset();
  audio_decoder_.reset();
  input_.reset();
}

CodecContextPtr TAVProbe::OpenDecoder(int index) {
  const AVCodecParameters& parameters = *input_->streams[index]->codecpar;
  const AVCodec* decoder = ff.avcodec_find_decoder(parameters.codec_id);
  if (decoder == nullptr) {
    throw ProbeError(Format("Unsupported codec(id=%d) for input stream %d",
                            static_cast<int>(parameters.codec_id), index));
  }
  CodecContextPtr context(ff.avcodec_alloc_context3(decoder));
  int result =
      context ? ff.avcodec_parameters_to_context(context.get(), &parameters) : AVERROR(ENOMEM);
  if (result >= 0) result = ff.avcodec_open2(context.get(), decoder, nullptr);
  if (result < 0) {
    throw ProbeError(Format("Error while opening codec for input stream %d", index), result);
  }
  return context;
}

void TAVProbe::DescribeVideo(int index) {
  video_decoder_ = OpenDecoder(index);
  const AVCodecContext& context = *video_decoder_;
  video_codec_name_ = context.codec->name;
  width_ = context.width;
  height_ = context.height;
  video_bit_rate_ = context.bit_rate;
  const AVRational rate = input_->streams[index]->r_frame_rate;
  frame_rate_ = rate.den != 0 ? static_cast<double>(rate.num) / rate.den : 0.0;
}

void TAVProbe::DescribeAudio(int index) {
  audio_decoder_ = OpenDecoder(index);
  const AVCodecContext& context = *audio_decoder_;
  audio_codec_name_ = context.codec->name;
  sample_rate_ = context.sample_rate;
  channels_ = context.ch_layout.nb_channels;
  const int bits = ff.av_get_bits_per_sample(context.codec_id);
  audio_bit_rate_ =
      bits != 0 ? static_cast<std::int64_t>(sample_rate_) * channels_ * bits : context.bit_rate;
}

}  // namespace zembra::media
