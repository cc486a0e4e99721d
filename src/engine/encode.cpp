// Encoding and writing packets, shared by the audio, video and stream-copy paths.
#include <string>

#include "engine/engine_error.h"
#include "engine/transcode.h"

namespace zembra::engine {
namespace {

using media::ff;

void Write(JobContext& job, OutputStream& ost, AVPacket& packet) {
  AVFormatContext& context = *job.output_files[static_cast<std::size_t>(ost.file_no)].context;
  packet.stream_index = ost.stream_no;
  const int written = ff.av_interleaved_write_frame(&context, &packet);
  if (written < 0) {
    job.log(AV_LOG_ERROR, job.output_files[static_cast<std::size_t>(ost.file_no)].file_name + ": " +
                              media::ErrorText(written) + "\n");
    throw EngineError("av_interleaved_write_frame() ");
  }
}

// Runs `packet` through filters [index, end) of the chain, writing what leaves the last.
void Filter(JobContext& job, OutputStream& ost, std::size_t index, AVPacket* packet) {
  if (index == ost.bitstream_filters.size()) {
    if (packet != nullptr) Write(job, ost, *packet);
    return;
  }
  AVBSFContext* filter = ost.bitstream_filters[index].get();
  const int sent = ff.av_bsf_send_packet(filter, packet);
  if (sent < 0) {
    if (packet != nullptr) ff.av_packet_unref(packet);
    job.log(AV_LOG_WARNING, std::string("Bitstream filter ") + filter->filter->name +
                                " dropped a packet: " + media::ErrorText(sent) + "\n");
    return;
  }
  media::PacketPtr filtered = media::MakePacket();
  while (ff.av_bsf_receive_packet(filter, filtered.get()) >= 0) {
    Filter(job, ost, index + 1, filtered.get());
    ff.av_packet_unref(filtered.get());
  }
}

}  // namespace

void WritePacket(JobContext& job, OutputStream& ost, AVPacket& packet, AVRational from) {
  ff.av_packet_rescale_ts(&packet, from, ost.stream->time_base);
  if (ost.bitstream_filters.empty()) {
    Write(job, ost, packet);
    return;
  }
  // The chain works in the stream's units from here on.
  Filter(job, ost, 0, &packet);
}

void EncodeFrame(JobContext& job, OutputStream& ost, const AVFrame* frame) {
  AVCodecContext& encoder = *ost.encoder_context;
  const bool video = ost.type == AVMEDIA_TYPE_VIDEO;
  const int sent = ff.avcodec_send_frame(&encoder, frame);
  if (sent < 0 && sent != AVERROR_EOF) {
    job.log(AV_LOG_ERROR, std::string(encoder.codec->name) + ": " + media::ErrorText(sent) + "\n");
    throw EngineError(video ? "Video encoding failed" : "Audio encoding failed");
  }
  if (!ost.encoded) ost.encoded = media::MakePacket();
  AVPacket* packet = ost.encoded.get();
  for (;;) {
    const int received = ff.avcodec_receive_packet(&encoder, packet);
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) break;
    const PacketUnref release{packet};
    if (received < 0) {
      job.log(AV_LOG_ERROR,
              std::string(encoder.codec->name) + ": " + media::ErrorText(received) + "\n");
      throw EngineError(video ? "Video encoding failed" : "Audio encoding failed");
    }
    if (video) {
      job.options.SetVideoSize(job.options.VideoSize() + packet->size);
    } else {
      job.options.SetAudioSize(job.options.AudioSize() + packet->size);
    }
    if (ost.pass_log != nullptr && encoder.stats_out != nullptr) {
      if (std::fputs(encoder.stats_out, ost.pass_log) < 0) {
        throw EngineError("Cannot write file \"" + ost.pass_log_name + "\"");
      }
    }
    WritePacket(job, ost, *packet, encoder.time_base);
  }
}

}  // namespace zembra::engine
