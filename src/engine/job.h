// The state of one conversion run, shared by the engine's stages on the worker thread.
//
// A run creates one JobContext, the stages fill it in order (inputs, outputs, set-up, loop),
// and the run releases it whatever way it ends. Only the worker touches it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/library_options.h"
#include "engine/options.h"
#include "media/av_ptr.h"

namespace zembra::engine {

struct InputStream {
  AVStream* stream = nullptr;  // owned by the input's format context
  const AVCodec* decoder = nullptr;
  // Set up from the stream's parameters and the recorded options; opened by the set-up stage.
  media::CodecContextPtr decoder_context;
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

struct JobContext {
  JobContext(TAVConvertOptions& options_in, LibraryOptions& library_options_in)
      : options(options_in), library_options(library_options_in) {}

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
};

}  // namespace zembra::engine
