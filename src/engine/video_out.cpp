// Video and subtitle output.
//
// A filtered picture arrives with its time on the output timeline. The video sync method decides
// how many times it is encoded: 0 writes it once at its own time; 1 and the default -1 keep a
// constant frame rate, duplicating pictures to fill gaps and dropping those that come too early;
// 2 drops early pictures and jumps over gaps. `sync_pos` is the number of the next output frame.
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/engine_error.h"
#include "engine/setup.h"
#include "engine/transcode.h"

namespace zembra::engine {
namespace {

using media::ff;

constexpr int kSubtitleBufferSize = 1024 * 1024;

int CopiesFor(int method, double sync_frame, std::int64_t& sync_pos) {
  if (method == 0) {
    sync_pos = std::llround(sync_frame);
    return 1;
  }
  const double frame_delta = sync_frame - static_cast<double>(sync_pos);
  if (frame_delta < -1.1) return 0;
  if (method == 2) {
    if (frame_delta <= -0.6) return 0;
    if (frame_delta > 0.6) sync_pos = std::llround(sync_frame);
    return 1;
  }
  if (frame_delta > 1.1) return static_cast<int>(std::llround(frame_delta));
  return 1;
}

}  // namespace

void WriteVideo(JobContext& job, OutputStream& ost, InputStream& ist, AVFrame& picture,
                double position) {
  const TVideoOptions& video = job.options.VideoOptions();
  AVCodecContext& encoder = *ost.encoder_context;
  // Pictures the decoder still held when the recording time ended stay out.
  const std::int64_t recording_time = job.options.RecordingTime();
  if (recording_time != kRecordingTimeUnlimited &&
      position >= static_cast<double>(recording_time) / 1e6) {
    return;
  }
  const double sync_frame = position / av_q2d(encoder.time_base);
  const int method = video.VideoSyncMethod();
  const std::int64_t previous = ost.sync_pos;
  int copies = CopiesFor(method, sync_frame, ost.sync_pos);
  // Two pictures at the same frame position cannot both be written: the encoder needs rising
  // timestamps.
  if (method == 0 && ost.written > 0 && ost.sync_pos < previous) copies = 0;
  copies = static_cast<int>(
      std::min<std::int64_t>(copies, std::int64_t{video.MaxFrames()} - ost.written));
  if (copies <= 0) {
    if (method == 0) ost.sync_pos = previous;
    return;
  }

  picture.pict_type = AV_PICTURE_TYPE_NONE;
  if (video.TopFieldFirst() != -1) picture.top_field_first = video.TopFieldFirst();
  picture.quality = static_cast<int>(
      std::lround(video.SameQuality() ? static_cast<float>(ist.quality) : ost.quality));
  for (int copy = 0; copy < copies; ++copy) {
    picture.pts = ost.sync_pos;
    EncodeFrame(job, ost, &picture);
    ++ost.sync_pos;
    ++ost.written;
  }
  ost.position = static_cast<double>(ost.sync_pos) * av_q2d(encoder.time_base);
}

void WriteSubtitle(JobContext& job, OutputStream& ost, InputStream& ist, AVSubtitle& subtitle,
                   std::int64_t pts) {
  if (pts == AV_NOPTS_VALUE) throw EngineError("Subtitle packets must have a pts");
  AVCodecContext& encoder = *ost.encoder_context;
  const AVRational microseconds{1, AV_TIME_BASE};
  std::vector<std::uint8_t>& buffer = ost.subtitle_buffer;
  if (buffer.empty()) buffer.resize(kSubtitleBufferSize);
  const int packets = encoder.codec_id == AV_CODEC_ID_DVB_SUBTITLE ? 2 : 1;

  // The subtitle's own display window, moved onto the output timeline.
  const std::int64_t start =
      ff.av_rescale_q(pts, ist.stream->time_base, microseconds) +
      ff.av_rescale_q(subtitle.start_display_time, AVRational{1, 1000}, microseconds) -
      job.temp_start_time;
  if (start < 0) return;
  const std::uint32_t shown_ms = subtitle.end_display_time - subtitle.start_display_time;
  for (int i = 0; i < packets; ++i) {
    subtitle.pts = start;
    subtitle.end_display_time = shown_ms;
    subtitle.start_display_time = 0;
    // The DVB encoder clears the screen with a subtitle without rectangles.
    const unsigned rects = subtitle.num_rects;
    if (i == 1) subtitle.num_rects = 0;
    const int size =
        ff.avcodec_encode_subtitle(&encoder, buffer.data(), kSubtitleBufferSize, &subtitle);
    subtitle.num_rects = rects;
    if (size < 0) {
      job.log(AV_LOG_ERROR,
              std::string(encoder.codec->name) + ": " + media::ErrorText(size) + "\n");
      throw EngineError("Subtitle encoding failed");
    }
    media::PacketPtr packet = media::MakePacket();
    if (ff.av_new_packet(packet.get(), size) < 0) throw EngineError("no memory");
    std::memcpy(packet->data, buffer.data(), static_cast<std::size_t>(size));
    const AVRational stream_base = ost.stream->time_base;
    packet->pts = ff.av_rescale_q(start, microseconds, stream_base);
    if (encoder.codec_id == AV_CODEC_ID_DVB_SUBTITLE) {
      packet->pts += ff.av_rescale_q(i == 0 ? 0 : shown_ms, AVRational{1, 1000}, stream_base);
    }
    packet->dts = packet->pts;
    packet->duration = ff.av_rescale_q(shown_ms, AVRational{1, 1000}, stream_base);
    WritePacket(job, ost, *packet, stream_base);
    ++ost.written;
  }
  ost.position = static_cast<double>(start) / 1e6;
}

}  // namespace zembra::engine
