// The state of one conversion run, shared by the engine's stages on the worker thread.
//
// A run creates one JobContext, the stages fill it in order (inputs, outputs, set-up, loop),
// and the run releases it whatever way it ends. Only the worker touches it.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/library_options.h"
#include "engine/options.h"
#include "media/av_ptr.h"

namespace zembra::engine {

inline constexpr std::int64_t kNoTime = AV_NOPTS_VALUE;

// Releases what a reused frame or packet holds when leaving a scope, on every path.
struct FrameUnref {
  AVFrame* frame;
  ~FrameUnref() { media::ff.av_frame_unref(frame); }
};
struct PacketUnref {
  AVPacket* packet;
  ~PacketUnref() { media::ff.av_packet_unref(packet); }
};

struct InputStream {
  AVStream* stream = nullptr;  // owned by the input's format context
  const AVCodec* decoder = nullptr;
  // Set up from the stream's parameters and the recorded options; opened by the set-up stage.
  media::CodecContextPtr decoder_context;

  // Run state, from the set-up on.
  int file_no = 0;
  int stream_no = 0;
  bool idle = true;                  // no output stream takes it
  bool decode = false;               // decoded (some output stream encodes from it)
  bool starting = true;              // no audio written from it yet
  std::int64_t wall_start = 0;       // wall clock at set-up (µs), for reading at the input's pace
  std::int64_t time = 0;             // time of the current data (µs, output timeline)
  std::int64_t next_time = kNoTime;  // predicted time of the next data
  int quality = 0;                   // of the last decoded picture
  media::FramePtr decoded;           // reused for every frame the decoder gives
};

struct InputFile {
  media::InputFormatContextPtr context;
  std::vector<InputStream> streams;
  // Added to every timestamp of this input, microseconds.
  std::int64_t ts_offset = 0;
  // Per stream; 0 means no scaling.
  std::vector<double> ts_scale;
  bool loop = false;      // start again at the end
  bool rate_emu = false;  // read at the input's own pace

  // Run state, from the set-up on.
  bool at_end = false;     // the demuxer reported the end or an error
  bool no_packet = false;  // the demuxer asked to try again later
  int first_stream = 0;    // position of stream 0 in the run's input stream table
  int stream_count = 0;    // streams present when the run started
};

// A chain of bitstream filters applied to one output stream's packets before writing.
using BitstreamFilterChain = std::vector<media::BsfContextPtr>;

struct OutputStream {
  int file_no = 0;
  int stream_no = 0;
  AVStream* stream = nullptr;  // owned by the output's format context
  AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
  bool copy = false;  // stream copy: packets pass without decoding
  const AVCodec* encoder = nullptr;
  media::CodecContextPtr encoder_context;
  std::vector<std::string> bitstream_filter_names;
  BitstreamFilterChain bitstream_filters;

  // Decided by the set-up.
  int source_no = -1;   // feeding input stream, position in the input stream table
  int sync_input = -1;  // input stream whose position drives synchronisation
  bool encode = false;
  std::int64_t written = 0;   // frames, audio packets or copied packets written
  std::int64_t sync_pos = 0;  // next output position: frames (video) or samples (audio)
  double position = 0;        // seconds of output written so far, for choosing the next input
  std::int64_t last_dts = AV_NOPTS_VALUE;  // of the last copied packet, stream units
  bool rescaled = false;  // the encoder's picture differs in size or format from the decoder's
  int source_width = 0;
  int source_height = 0;
  int source_format = AV_PIX_FMT_NONE;
  float quality = 0;  // fixed quality, in lambda units

  // Reused for every packet the encoder gives and every picture the filter graph gives.
  media::PacketPtr encoded;
  media::FramePtr filtered;
  // Subtitle encoder output, allocated on the first subtitle.
  std::vector<std::uint8_t> subtitle_buffer;

  // Video: the filter graph from the decoder's pictures to the encoder's.
  media::FilterGraphPtr filter_graph;
  AVFilterContext* filter_source = nullptr;
  AVFilterContext* filter_sink = nullptr;

  // Audio: conversion to the encoder's format and the samples waiting for a whole frame.
  media::SwrContextPtr resampler;
  bool resampling = false;
  int resampler_format = 0;
  int resampler_channels = 0;
  int resampler_rate = 0;
  media::AudioFifoPtr fifo;
  bool audio_started = false;  // samples have been queued

  // Two-pass statistics written by the first pass, or null.
  std::FILE* pass_log = nullptr;
  std::string pass_log_name;
};

struct OutputFile {
  media::OutputFormatContextPtr context;
  std::string file_name;
  bool header_written = false;
};

// What the run needs from the converter that owns it.
class JobControl {
 public:
  virtual ~JobControl() = default;
  // Parks while the job is paused; false once it has been stopped.
  virtual bool WaitWhilePaused() = 0;
  // At most one notification is pending and they come at a bounded rate, unless `final`.
  virtual void NotifyProgress(bool final = false) = 0;
  virtual void SetConvertedDuration(double seconds) = 0;
  // Report figures: sizes in bytes, bit rate in kbit/s, times in wall-clock microseconds.
  virtual void UpdateReport(std::int64_t target_size, std::int64_t source_size, double bitrate,
                            std::int64_t timer_start, std::int64_t last_time) = 0;
  // The folder that holds this conversion's two-pass statistics (created on first use).
  virtual std::string PassLogFolder() = 0;
};

// What the last opened input carried; seeds the output streams' parameters.
struct SourceParameters {
  int audio_channels = 0;
  int audio_sample_rate = 0;
  AVSampleFormat audio_sample_fmt = AV_SAMPLE_FMT_NONE;
  std::uint64_t channel_layout = 0;  // channel mask; 0 when the layout has no mask
  int frame_width = 0;
  int frame_height = 0;
};

struct StreamMapEntry {
  int file_no = 0;
  int stream_no = 0;
  int sync_file_no = 0;
  int sync_stream_no = 0;
};

struct JobContext {
  JobContext(TAVConvertOptions& options_in, LibraryOptions& library_options_in)
      : options(options_in), library_options(library_options_in) {}
  ~JobContext();
  JobContext(const JobContext&) = delete;
  JobContext& operator=(const JobContext&) = delete;

  TAVConvertOptions& options;
  LibraryOptions& library_options;
  // The converter's own log (level, text), bypassing the library's threshold.
  std::function<void(int, const std::string&)> log;
  // Set when the user stops the job; blocking library calls give up when it is.
  const std::atomic<bool>* stop_requested = nullptr;

  const AVInputFormat* file_iformat = nullptr;
  const AVOutputFormat* file_oformat = nullptr;
  std::vector<InputFile> input_files;
  SourceParameters source;
  // Seconds, from the last input that declares a duration; negative while none has.
  double duration = -1;
  // Start offset still to be applied, microseconds.
  std::int64_t temp_start_time = 0;

  JobControl* control = nullptr;
  std::vector<StreamMapEntry> stream_maps;
  std::vector<OutputFile> output_files;
  // The run's tables, filled by the set-up: every input stream (file by file) and every output
  // stream (file by file). Input streams point into input_files.
  std::vector<InputStream*> input_streams;
  std::vector<OutputStream> output_streams;
  // The encoder named by the options for each output stream, in creation order (null: by id).
  std::vector<const AVCodec*> output_codecs;
  std::int64_t timer_start = 0;
  std::int64_t last_report = 0;
};

}  // namespace zembra::engine
