// Audio output: from decoded frames to whole encoder frames.
//
// Decoded samples are converted to the encoder's format, rate and channels (libswresample, only
// when something differs or drift compensation is asked for), kept in step with the input's
// timeline by the sync method (0: follow the input's timestamps; otherwise insert silence or
// drop samples when audio drifts too far, and with methods >= 2 stretch gently), queued, and
// encoded in frames of the encoder's size. `sync_pos` is the position of the first queued
// sample, in samples of the output rate.
#include <cmath>

#include "engine/engine_error.h"
#include "engine/transcode.h"

namespace zembra::engine {
namespace {

using media::ff;

bool SameLayout(const AVChannelLayout& a, const AVChannelLayout& b) {
  return ff.av_channel_layout_compare(&a, &b) == 0;
}

// Samples of `format` and layout as an owned frame.
media::FramePtr MakeAudioFrame(const AVCodecContext& encoder, int samples) {
  media::FramePtr frame = media::MakeFrame();
  frame->format = encoder.sample_fmt;
  frame->sample_rate = encoder.sample_rate;
  frame->nb_samples = samples;
  if (ff.av_channel_layout_copy(&frame->ch_layout, &encoder.ch_layout) < 0 ||
      ff.av_frame_get_buffer(frame.get(), 0) < 0) {
    throw EngineError("Out of memory in do_audio_out");
  }
  return frame;
}

// Creates, replaces or drops the converter when the decoded format changes.
void PrepareResampler(JobContext& job, OutputStream& ost, const AVFrame& frame) {
  const AVCodecContext& encoder = *ost.encoder_context;
  const int sync_method = job.options.AudioOptions().AudioSyncMethod();
  const bool changed = frame.format != ost.resampler_format ||
                       frame.ch_layout.nb_channels != ost.resampler_channels ||
                       frame.sample_rate != ost.resampler_rate;
  if (changed) {
    ost.resampler_format = frame.format;
    ost.resampler_channels = frame.ch_layout.nb_channels;
    ost.resampler_rate = frame.sample_rate;
    ost.resampler.reset();
  }
  const bool differs = frame.format != encoder.sample_fmt ||
                       frame.sample_rate != encoder.sample_rate ||
                       !SameLayout(frame.ch_layout, encoder.ch_layout);
  ost.resampling = differs || sync_method > 1;
  if (!ost.resampling || ost.resampler) return;
  SwrContext* resampler = nullptr;
  // The library's prototype takes the layouts without const; it does not change them.
  int result = ff.swr_alloc_set_opts2(
      &resampler, const_cast<AVChannelLayout*>(&encoder.ch_layout), encoder.sample_fmt,
      encoder.sample_rate, const_cast<AVChannelLayout*>(&frame.ch_layout),
      static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
  ost.resampler.reset(resampler);
  if (result >= 0) result = ff.swr_init(resampler);
  if (result < 0) {
    ost.resampler.reset();
    throw EngineError(FormatMessage("Can not resample channels @  Hz to %d channels @ %d Hz",
                                    encoder.ch_layout.nb_channels, encoder.sample_rate));
  }
}

// Frame `frame` converted to the encoder's format (or the frame itself when it already is).
media::FramePtr Convert(OutputStream& ost, const AVFrame& frame) {
  const AVCodecContext& encoder = *ost.encoder_context;
  if (!ost.resampling) {
    media::FramePtr copy = media::MakeFrame();
    if (ff.av_frame_ref(copy.get(), &frame) < 0) throw EngineError("Out of memory in do_audio_out");
    return copy;
  }
  const int capacity = ff.swr_get_out_samples(ost.resampler.get(), frame.nb_samples);
  media::FramePtr converted = MakeAudioFrame(encoder, std::max(capacity, 1));
  const int samples =
      ff.swr_convert(ost.resampler.get(), converted->extended_data, capacity,
                     const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples);
  if (samples < 0) throw EngineError("av_audio_convert() failed");
  converted->nb_samples = samples;
  return converted;
}

// Queues `count` samples of `frame` from sample `skip` on (all the rest when count < 0).
void Enqueue(OutputStream& ost, const AVFrame& frame, int skip, int count = -1) {
  if (count < 0) count = frame.nb_samples - skip;
  if (count <= 0) return;
  const AVSampleFormat format = static_cast<AVSampleFormat>(frame.format);
  const int planes = ff.av_sample_fmt_is_planar(format) ? frame.ch_layout.nb_channels : 1;
  const int step = ff.av_get_bytes_per_sample(format) *
                   (ff.av_sample_fmt_is_planar(format) ? 1 : frame.ch_layout.nb_channels);
  std::vector<void*> data(static_cast<std::size_t>(planes));
  for (int p = 0; p < planes; ++p)
    data[static_cast<std::size_t>(p)] = frame.extended_data[p] + skip * step;
  if (ff.av_audio_fifo_write(ost.fifo.get(), data.data(), count) < count) {
    throw EngineError("av_fifo_realloc2() failed");
  }
}

void EnqueueSilence(OutputStream& ost, int samples) {
  const AVCodecContext& encoder = *ost.encoder_context;
  media::FramePtr silence = MakeAudioFrame(encoder, samples);
  ff.av_samples_set_silence(silence->extended_data, 0, samples, encoder.ch_layout.nb_channels,
                            encoder.sample_fmt);
  Enqueue(ost, *silence, 0);
}

// Encodes queued samples in frames of `frame_size` (all of them for encoders of any size).
void EncodeQueued(JobContext& job, OutputStream& ost, bool to_the_end) {
  const AVCodecContext& encoder = *ost.encoder_context;
  const bool any_size = encoder.frame_size <= 1 ||
                        (encoder.codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
  for (;;) {
    const int queued = ff.av_audio_fifo_size(ost.fifo.get());
    if (queued <= 0) return;
    int take = any_size ? queued : encoder.frame_size;
    if (!any_size && queued < take) {
      if (!to_the_end) return;
      // The end of the stream: a short last frame where the encoder takes one, else padded.
      if ((encoder.codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0) {
        take = queued;
      } else {
        EnqueueSilence(ost, take - queued);
      }
    }
    media::FramePtr frame = MakeAudioFrame(encoder, take);
    if (ff.av_audio_fifo_read(ost.fifo.get(), reinterpret_cast<void**>(frame->extended_data),
                              take) < take) {
      throw EngineError("av_fifo_realloc2() failed");
    }
    frame->pts = ost.sync_pos;
    ost.sync_pos += take;
    EncodeFrame(job, ost, frame.get());
    ++ost.written;
    ost.position = static_cast<double>(ost.sync_pos) / encoder.sample_rate;
  }
}

}  // namespace

void WriteAudio(JobContext& job, OutputStream& ost, InputStream& ist, const AVFrame& frame) {
  const AVCodecContext& encoder = *ost.encoder_context;
  const TAudioOptions& audio = job.options.AudioOptions();
  if (!ost.fifo) {
    ost.fifo.reset(ff.av_audio_fifo_alloc(encoder.sample_fmt, encoder.ch_layout.nb_channels, 1024));
    if (!ost.fifo) throw EngineError("no memory");
  }
  PrepareResampler(job, ost, frame);
  media::FramePtr converted = Convert(ost, frame);

  const InputStream& sync_input =
      ost.sync_input >= 0 ? *job.input_streams[static_cast<std::size_t>(ost.sync_input)] : ist;
  const double sync_seconds = static_cast<double>(sync_input.time - job.temp_start_time) / 1e6;
  const std::int64_t recording_time = job.options.RecordingTime();
  if (recording_time != kRecordingTimeUnlimited &&
      sync_seconds >= static_cast<double>(recording_time) / 1e6) {
    return;  // after the end of the recording time: leave the queue as it is
  }
  const int rate = encoder.sample_rate;
  const int queued = ff.av_audio_fifo_size(ost.fifo.get());
  int skip = 0;
  const int sync_method = audio.AudioSyncMethod();
  if (sync_method == 0) {
    // Follow the input's timeline, but keep the samples' own count where the two differ by
    // less than the drift threshold: inputs with millisecond timestamps would otherwise give
    // overlapping and gapped packets, and muxers that count samples (DV) run short.
    const std::int64_t target = std::llround(sync_seconds * rate) - queued;
    if (!ost.audio_started ||
        std::llabs(target - ost.sync_pos) > std::llround(rate * audio.AudioDriftThreshold())) {
      ost.sync_pos = target;
    }
  } else {
    const double delta = sync_seconds * rate - static_cast<double>(ost.sync_pos) - queued;
    if (std::fabs(delta) > 50) {
      if (ist.starting || std::fabs(delta) > rate * audio.AudioDriftThreshold()) {
        if (delta < 0) {
          skip = static_cast<int>(std::min<double>(-delta, converted->nb_samples));
          if (skip >= converted->nb_samples) return;
          ist.starting = false;
        } else {
          ist.starting = false;
          EnqueueSilence(ost, static_cast<int>(std::llround(delta)));
        }
      } else if (sync_method >= 2 && ost.resampler) {
        const int correction =
            static_cast<int>(std::clamp<long long>(std::llround(delta), -sync_method, sync_method));
        ff.swr_set_compensation(ost.resampler.get(), correction, rate);
      }
    }
  }
  // Nothing before the start of the output: samples that would land before 0 are left out.
  if (ff.av_audio_fifo_size(ost.fifo.get()) == 0 && ost.sync_pos < 0) {
    const std::int64_t before = -ost.sync_pos;
    const int dropped =
        static_cast<int>(std::min<std::int64_t>(before, converted->nb_samples - skip));
    skip += dropped;
    ost.sync_pos += dropped;
    if (skip >= converted->nb_samples) return;
  }
  // Nothing after the end of the recording time either.
  int count = converted->nb_samples - skip;
  if (recording_time != kRecordingTimeUnlimited) {
    const std::int64_t end = std::llround(static_cast<double>(recording_time) / 1e6 * rate);
    const std::int64_t room = end - ost.sync_pos - ff.av_audio_fifo_size(ost.fifo.get());
    if (room <= 0) return;
    count = static_cast<int>(std::min<std::int64_t>(count, room));
  }
  Enqueue(ost, *converted, skip, count);
  ost.audio_started = true;
  EncodeQueued(job, ost, false);
}

void FlushAudio(JobContext& job, OutputStream& ost) {
  if (ost.fifo) {
    // What the converter still holds.
    if (ost.resampler) {
      const int pending = ff.swr_get_out_samples(ost.resampler.get(), 0);
      if (pending > 0) {
        media::FramePtr tail = MakeAudioFrame(*ost.encoder_context, pending);
        const int samples =
            ff.swr_convert(ost.resampler.get(), tail->extended_data, pending, nullptr, 0);
        if (samples > 0) {
          tail->nb_samples = samples;
          Enqueue(ost, *tail, 0);
        }
      }
    }
    EncodeQueued(job, ost, true);
  }
  EncodeFrame(job, ost, nullptr);
}

}  // namespace zembra::engine
