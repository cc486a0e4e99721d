// The transcoding loop.
//
// Each round: notify progress, honour pause and stop, pick the input whose streams lag the most
// in the output (or, with InputSync, in the input), check the time, size and frame limits, read
// one packet, move its timestamps onto the output timeline (offset, scale, repair of jumps) and
// hand it to decoding. At the end every decoder and encoder is drained and the trailers are
// written, also after a stop, so the output is always a complete file; an error skips that and
// leaves the file incomplete.
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "engine/engine_error.h"
#include "engine/input.h"
#include "engine/transcode.h"

namespace zembra::engine {
namespace {

using media::ff;

constexpr AVRational kMicroseconds{1, AV_TIME_BASE};
constexpr std::int64_t kReportIntervalUs = 500000;

std::int64_t FrameLimit(const JobContext& job, AVMediaType type) {
  switch (type) {
    case AVMEDIA_TYPE_VIDEO:
      return job.options.VideoOptions().MaxFrames();
    case AVMEDIA_TYPE_AUDIO:
      return job.options.AudioOptions().MaxFrames();
    case AVMEDIA_TYPE_DATA:
      return job.options.MaxDataFrames();
    default:
      return std::numeric_limits<std::int32_t>::max();
  }
}

std::int64_t OutputSize(const JobContext& job) {
  if (job.output_files.empty()) return 0;
  AVIOContext* io = job.output_files[0].context->pb;
  if (io == nullptr) return 0;
  std::int64_t size = ff.avio_size(io);
  if (size < 0) size = ff.avio_seek(io, 0, SEEK_CUR);
  return std::max<std::int64_t>(0, size);
}

void UpdateReport(JobContext& job, bool final) {
  std::int64_t now = job.last_report;
  if (!final) {
    now = ff.av_gettime();
    if (job.last_report == 0) {
      job.last_report = now;
      job.control->UpdateReport(OutputSize(job), std::max<std::int64_t>(0, InputFileSize(job, 0)),
                                0, job.timer_start, now);
      return;
    }
    if (now - job.last_report < kReportIntervalUs) return;
    job.last_report = now;
  }
  const std::int64_t target = OutputSize(job);
  double seconds = 1e10;
  for (const OutputStream& ost : job.output_streams) {
    if (ost.position > 0) seconds = std::min(seconds, ost.position);
  }
  if (seconds < 0.01) seconds = 0.01;
  const double bitrate = static_cast<double>(target) * 8 / seconds / 1000;
  job.control->UpdateReport(target, std::max<std::int64_t>(0, InputFileSize(job, 0)), bitrate,
                            job.timer_start, now);
}

// Moves the packet's timestamps onto the output timeline; repairs jumps of inputs whose
// timestamps may restart (transport streams).
void AdjustTimestamps(JobContext& job, InputFile& input, const InputStream& ist, AVPacket& packet) {
  const AVRational base = ist.stream->time_base;
  const std::int64_t offset = ff.av_rescale_q(input.ts_offset, kMicroseconds, base);
  if (packet.dts != AV_NOPTS_VALUE) packet.dts += offset;
  if (packet.pts != AV_NOPTS_VALUE) packet.pts += offset;
  const double scale = input.ts_scale[static_cast<std::size_t>(packet.stream_index)];
  if (scale != 0) {
    if (packet.pts != AV_NOPTS_VALUE) {
      packet.pts = std::llround(static_cast<double>(packet.pts) * scale);
    }
    if (packet.dts != AV_NOPTS_VALUE) {
      packet.dts = std::llround(static_cast<double>(packet.dts) * scale);
    }
  }
  if (packet.dts != AV_NOPTS_VALUE && ist.next_time != kNoTime &&
      (input.context->iformat->flags & AVFMT_TS_DISCONT) != 0 && !job.options.CopyTS()) {
    const std::int64_t packet_dts = ff.av_rescale_q(packet.dts, base, kMicroseconds);
    const std::int64_t delta = packet_dts - ist.next_time;
    const double threshold = job.options.DtsDeltaThreshold() * 1e6;
    if (std::fabs(static_cast<double>(delta)) > threshold || packet_dts + 1 < ist.time) {
      input.ts_offset -= delta;
      const std::int64_t shift = ff.av_rescale_q(delta, kMicroseconds, base);
      packet.dts -= shift;
      if (packet.pts != AV_NOPTS_VALUE) packet.pts -= shift;
    }
  }
}

// The input to read next, or -1 when every input has ended or a frame limit has been reached.
int ChooseInput(JobContext& job, double& out_min) {
  const bool input_sync = job.options.GrabOptions().InputSync();
  double in_min = 1e100;
  out_min = 1e100;
  int file_no = -1;
  for (const OutputStream& ost : job.output_streams) {
    const InputStream& ist = *job.input_streams[static_cast<std::size_t>(ost.source_no)];
    const InputFile& input = job.input_files[static_cast<std::size_t>(ist.file_no)];
    if (input.no_packet) continue;
    const double in_pos = static_cast<double>(ist.time);
    if (!input.at_end) {
      if (in_pos < in_min) {
        in_min = in_pos;
        if (input_sync) file_no = ist.file_no;
      }
      if (ost.position < out_min) {
        out_min = ost.position;
        if (!input_sync) file_no = ist.file_no;
      }
    }
    if (ost.written >= FrameLimit(job, ost.type)) return -1;
  }
  return file_no;
}

void Finish(JobContext& job) {
  for (std::size_t i = 0; i < job.input_streams.size(); ++i) {
    if (job.input_streams[i]->decode) DecodePacket(job, static_cast<int>(i), nullptr);
  }
  for (OutputFile& output : job.output_files) {
    const int written = ff.av_write_trailer(output.context.get());
    if (written < 0) {
      job.log(AV_LOG_ERROR, output.file_name + ": " + media::ErrorText(written) + "\n");
      throw EngineError("Could not write trailer for output file " + output.file_name);
    }
  }
  UpdateReport(job, true);
  // Where the outputs ended, for the last progress notification.
  double reached = 1e100;
  for (const OutputStream& ost : job.output_streams) reached = std::min(reached, ost.position);
  if (reached < 1e100) job.control->SetConvertedDuration(reached);
  job.control->NotifyProgress(true);
}

}  // namespace

void RunTranscodingLoop(JobContext& job) {
  media::PacketPtr packet = media::MakePacket();
  const std::int64_t recording_time = job.options.RecordingTime();
  const std::int64_t size_limit = job.options.LimitFileSize();
  int no_packet_count = 0;
  for (;;) {
    job.control->NotifyProgress();
    if (!job.control->WaitWhilePaused()) break;  // stopped

    double out_min = 0;
    const int file_no = ChooseInput(job, out_min);
    if (file_no < 0) {
      if (no_packet_count == 0) break;
      no_packet_count = 0;
      for (InputFile& input : job.input_files) input.no_packet = false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    job.control->SetConvertedDuration(out_min);
    if (recording_time != kRecordingTimeUnlimited &&
        out_min >= static_cast<double>(recording_time) / 1e6) {
      break;
    }
    if (size_limit != 0 && !job.output_files.empty() &&
        job.output_files[0].context->pb != nullptr &&
        ff.avio_seek(job.output_files[0].context->pb, 0, SEEK_CUR) >= size_limit) {
      break;
    }

    InputFile& input = job.input_files[static_cast<std::size_t>(file_no)];
    const int read = ff.av_read_frame(input.context.get(), packet.get());
    if (read == AVERROR(EAGAIN)) {
      input.no_packet = true;
      ++no_packet_count;
      continue;
    }
    if (read < 0) {
      if (read != AVERROR_EOF && read != AVERROR_EXIT) {
        job.log(AV_LOG_WARNING,
                "Input #" + std::to_string(file_no) + ": " + media::ErrorText(read) + "\n");
      }
      input.at_end = true;
      if (job.options.ShortTest()) break;
      continue;
    }
    no_packet_count = 0;
    for (InputFile& other : job.input_files) other.no_packet = false;

    if (packet->stream_index >= input.stream_count) {
      ff.av_packet_unref(packet.get());
      continue;
    }
    const int index = input.first_stream + packet->stream_index;
    InputStream& ist = *job.input_streams[static_cast<std::size_t>(index)];
    if (ist.idle) {
      ff.av_packet_unref(packet.get());
      continue;
    }
    AdjustTimestamps(job, input, ist, *packet);
    const int decoded = DecodePacket(job, index, packet.get());
    ff.av_packet_unref(packet.get());
    if (decoded >= 0) UpdateReport(job, false);
  }
  Finish(job);
}

}  // namespace zembra::engine
