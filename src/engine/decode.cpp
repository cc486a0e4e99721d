// Decoding one packet and handing the result to every output stream it feeds.
//
// Each input stream keeps `time` (the time of the data just decoded, microseconds on the output
// timeline) and `next_time` (when the following data is expected); the decoders' best-effort
// timestamps set them, the data's duration advances them. Decoded audio goes to the audio
// output, pictures through each video output's filter graph to the video output, subtitles to
// the subtitle output; copied streams get the packet itself with rescaled timestamps.
#include <chrono>
#include <cmath>
#include <thread>

#include "engine/engine_error.h"
#include "engine/setup.h"
#include "engine/transcode.h"

namespace zembra::engine {
namespace {

using media::ff;

constexpr AVRational kMicroseconds{1, AV_TIME_BASE};

template <typename Sample, typename Wide>
void ScaleSamples(std::uint8_t* data, std::size_t count, int volume, Wide low, Wide high) {
  auto* samples = reinterpret_cast<Sample*>(data);
  for (std::size_t i = 0; i < count; ++i) {
    const Wide scaled = (static_cast<Wide>(samples[i]) * volume + 128) >> 8;
    samples[i] = static_cast<Sample>(std::clamp(scaled, low, high));
  }
}

template <typename Sample>
void ScaleFloatSamples(std::uint8_t* data, std::size_t count, int volume) {
  auto* samples = reinterpret_cast<Sample*>(data);
  for (std::size_t i = 0; i < count; ++i) {
    samples[i] = std::clamp<Sample>(samples[i] * static_cast<Sample>(volume) / 256, -1, 1);
  }
}

// Volume 256 is unchanged; samples are scaled and clipped to their format's range.
void ApplyVolume(AVFrame& frame, int volume) {
  if (volume == 256 || ff.av_frame_make_writable(&frame) < 0) return;
  const auto format = static_cast<AVSampleFormat>(frame.format);
  const bool planar = ff.av_sample_fmt_is_planar(format) != 0;
  const int channels = frame.ch_layout.nb_channels;
  const int planes = planar ? channels : 1;
  const std::size_t count =
      static_cast<std::size_t>(frame.nb_samples) * static_cast<std::size_t>(planar ? 1 : channels);
  for (int p = 0; p < planes; ++p) {
    std::uint8_t* data = frame.extended_data[p];
    switch (ff.av_get_packed_sample_fmt(format)) {
      case AV_SAMPLE_FMT_S16:
        ScaleSamples<std::int16_t, std::int32_t>(data, count, volume, -32768, 32767);
        break;
      case AV_SAMPLE_FMT_S32:
        ScaleSamples<std::int32_t, std::int64_t>(data, count, volume, INT32_MIN, INT32_MAX);
        break;
      case AV_SAMPLE_FMT_U8: {
        for (std::size_t i = 0; i < count; ++i) {
          const int centred = (static_cast<int>(data[i]) - 128) * volume;
          data[i] = static_cast<std::uint8_t>(std::clamp((centred + 128) / 256 + 128, 0, 255));
        }
        break;
      }
      case AV_SAMPLE_FMT_FLT:
        ScaleFloatSamples<float>(data, count, volume);
        break;
      case AV_SAMPLE_FMT_DBL:
        ScaleFloatSamples<double>(data, count, volume);
        break;
      default:
        break;
    }
  }
}

// Waits until the wall clock catches up with the data, for inputs read at their own pace.
void EmulateRate(const JobContext& job, const InputStream& ist) {
  if (!job.input_files[static_cast<std::size_t>(ist.file_no)].rate_emu) return;
  const std::int64_t now = ff.av_gettime() - ist.wall_start;
  if (ist.time > now) std::this_thread::sleep_for(std::chrono::microseconds(ist.time - now));
}

template <typename Action>
void ForEachFedStream(JobContext& job, int index, bool encoded, Action action) {
  for (OutputStream& ost : job.output_streams) {
    if (ost.source_no == index && ost.encode == encoded) action(ost);
  }
}

void CopyPacket(JobContext& job, InputStream& ist, OutputStream& ost, const AVPacket& packet) {
  if (ost.written == 0 && (packet.flags & AV_PKT_FLAG_KEY) == 0 &&
      !job.options.CopyInitialNonkeyframes()) {
    return;
  }
  const AVRational from = ist.stream->time_base;
  const AVRational to = ost.stream->time_base;
  const std::int64_t offset = ff.av_rescale_q(job.temp_start_time, kMicroseconds, to);
  media::PacketPtr copy = media::MakePacket();
  if (ff.av_packet_ref(copy.get(), &packet) < 0) throw EngineError("no memory");
  copy->pts = packet.pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE
                                           : ff.av_rescale_q(packet.pts, from, to) - offset;
  copy->dts = (packet.dts == AV_NOPTS_VALUE ? ff.av_rescale_q(ist.time, kMicroseconds, to)
                                            : ff.av_rescale_q(packet.dts, from, to)) -
              offset;
  copy->duration = ff.av_rescale_q(packet.duration, from, to);
  if (ost.type == AVMEDIA_TYPE_AUDIO) {
    job.options.SetAudioSize(job.options.AudioSize() + packet.size);
  } else if (ost.type == AVMEDIA_TYPE_VIDEO) {
    job.options.SetVideoSize(job.options.VideoSize() + packet.size);
  }
  // Demuxers leave some decoding timestamps out; the guessed ones must still rise.
  if (ost.last_dts != AV_NOPTS_VALUE && copy->dts <= ost.last_dts) {
    copy->dts = ost.last_dts + 1;
    if (copy->pts != AV_NOPTS_VALUE && copy->pts < copy->dts) copy->pts = copy->dts;
  }
  ost.last_dts = copy->dts;
  const std::int64_t end = copy->dts + std::max<std::int64_t>(copy->duration, 0);
  WritePacket(job, ost, *copy, to);
  ++ost.written;
  ost.position = static_cast<double>(end) * av_q2d(to);
}

// Pushes a decoded picture (null: the end) into `ost`'s graph and writes what comes out.
void FilterAndWriteVideo(JobContext& job, InputStream& ist, OutputStream& ost, AVFrame* picture) {
  if (picture != nullptr &&
      (picture->width != ost.source_width || picture->height != ost.source_height ||
       picture->format != ost.source_format)) {
    if (!ost.rescaled) {
      throw EngineError(
          FormatMessage("Input Stream #%d.%d frame size changed to %dx%d, %s", ist.file_no,
                        ist.stream_no, picture->width, picture->height,
                        ff.av_get_pix_fmt_name(static_cast<AVPixelFormat>(picture->format))));
    }
    // The output is scaled anyway: a new graph takes the new size to the same encoder size.
    AVCodecContext& decoder = *ist.decoder_context;
    decoder.width = picture->width;
    decoder.height = picture->height;
    decoder.pix_fmt = static_cast<AVPixelFormat>(picture->format);
    ost.source_width = picture->width;
    ost.source_height = picture->height;
    ost.source_format = picture->format;
    const int width = ost.encoder_context->width;
    const int height = ost.encoder_context->height;
    if (BuildVideoFilterGraph(job, ist, ost) != 0) throw EngineError("Error opening filters!");
    ost.encoder_context->width = width;
    ost.encoder_context->height = height;
  }
  const int added =
      ff.av_buffersrc_add_frame_flags(ost.filter_source, picture, AV_BUFFERSRC_FLAG_KEEP_REF);
  if (added < 0) {
    job.log(AV_LOG_WARNING, "Video filters refused a picture: " + media::ErrorText(added) + "\n");
    return;
  }
  if (!ost.filtered) ost.filtered = media::MakeFrame();
  AVFrame* filtered = ost.filtered.get();
  const AVRational sink_base = ff.av_buffersink_get_time_base(ost.filter_sink);
  while (ff.av_buffersink_get_frame(ost.filter_sink, filtered) >= 0) {
    const FrameUnref release{filtered};
    if (filtered->pts != AV_NOPTS_VALUE) {
      const std::int64_t time = ff.av_rescale_q(filtered->pts, sink_base, kMicroseconds);
      const double position = static_cast<double>(time - job.temp_start_time) / 1e6;
      WriteVideo(job, ost, ist, *filtered, position);
    }
  }
}

int DecodeFrames(JobContext& job, int index, InputStream& ist, const AVPacket* packet) {
  AVCodecContext& decoder = *ist.decoder_context;
  const int sent = ff.avcodec_send_packet(&decoder, packet);
  if (sent < 0 && sent != AVERROR_EOF) return -1;
  if (!ist.decoded) ist.decoded = media::MakeFrame();
  AVFrame* frame = ist.decoded.get();
  for (;;) {
    const int received = ff.avcodec_receive_frame(&decoder, frame);
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return 0;
    if (received < 0) return -1;
    const FrameUnref release{frame};
    const std::int64_t stamp = frame->best_effort_timestamp;
    ist.time = stamp != AV_NOPTS_VALUE
                   ? ff.av_rescale_q(stamp, ist.stream->time_base, kMicroseconds)
                   : ist.next_time;
    if (decoder.codec_type == AVMEDIA_TYPE_AUDIO) {
      if (frame->sample_rate > 0) {
        ist.next_time = ist.time + std::int64_t{frame->nb_samples} * 1000000 / frame->sample_rate;
      }
      ApplyVolume(*frame, job.options.AudioOptions().AudioVolume());
      EmulateRate(job, ist);
      ForEachFedStream(job, index, true,
                       [&](OutputStream& ost) { WriteAudio(job, ost, ist, *frame); });
    } else {
      std::int64_t duration = 0;
      if (frame->pkt_duration > 0) {
        duration = ff.av_rescale_q(frame->pkt_duration, ist.stream->time_base, kMicroseconds);
      } else if (ist.stream->avg_frame_rate.num > 0) {
        duration = ff.av_rescale_q(1, av_inv_q(ist.stream->avg_frame_rate), kMicroseconds);
      }
      ist.next_time = ist.time + duration;
      ist.quality = frame->quality;
      frame->pts = stamp;
      EmulateRate(job, ist);
      ForEachFedStream(job, index, true,
                       [&](OutputStream& ost) { FilterAndWriteVideo(job, ist, ost, frame); });
    }
  }
}

int DecodeSubtitle(JobContext& job, int index, InputStream& ist, const AVPacket* packet) {
  if (packet == nullptr) return 0;
  media::Subtitle subtitle;
  int got = 0;
  if (ff.avcodec_decode_subtitle2(ist.decoder_context.get(), subtitle.get(), &got,
                                  const_cast<AVPacket*>(packet)) < 0) {
    return -1;
  }
  if (got != 0) {
    ForEachFedStream(job, index, true, [&](OutputStream& ost) {
      WriteSubtitle(job, ost, ist, *subtitle.get(), packet->pts);
    });
  }
  return 0;
}

// The end of the run: what the filter graphs and encoders fed by this input still hold.
void Drain(JobContext& job, int index, InputStream& ist) {
  ForEachFedStream(job, index, true, [&](OutputStream& ost) {
    switch (ost.type) {
      case AVMEDIA_TYPE_VIDEO:
        FilterAndWriteVideo(job, ist, ost, nullptr);
        EncodeFrame(job, ost, nullptr);
        break;
      case AVMEDIA_TYPE_AUDIO:
        FlushAudio(job, ost);
        break;
      default:
        break;
    }
  });
}

}  // namespace

int DecodePacket(JobContext& job, int index, const AVPacket* packet) {
  InputStream& ist = *job.input_streams[static_cast<std::size_t>(index)];
  if (ist.next_time == kNoTime) ist.next_time = ist.time;
  if (packet != nullptr && packet->dts != AV_NOPTS_VALUE) {
    ist.time = ist.next_time = ff.av_rescale_q(packet->dts, ist.stream->time_base, kMicroseconds);
  } else {
    ist.time = ist.next_time;
  }
  int result = 0;
  const AVMediaType type = ist.stream->codecpar->codec_type;
  if (ist.decode) {
    if (type == AVMEDIA_TYPE_SUBTITLE) {
      result = DecodeSubtitle(job, index, ist, packet);
    } else if (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO) {
      result = DecodeFrames(job, index, ist, packet);
    }
  } else if (packet != nullptr && packet->duration > 0) {
    ist.next_time =
        ist.time + ff.av_rescale_q(packet->duration, ist.stream->time_base, kMicroseconds);
  }
  if (packet != nullptr) {
    ForEachFedStream(job, index, false,
                     [&](OutputStream& ost) { CopyPacket(job, ist, ost, *packet); });
  } else if (ist.decode) {
    Drain(job, index, ist);
  }
  return result;
}

}  // namespace zembra::engine
