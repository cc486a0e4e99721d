// Output stage of a run: the output files and their streams with encoder parameters.
#pragma once

#include <string>
#include <vector>

#include "engine/job.h"

namespace zembra::engine {

// Creates output number `index` (== job.output_files.size()) for `file_name`: its streams, their
// encoder contexts (not opened yet), bitstream filter names, metadata, and the file itself.
void OpenOutputFile(JobContext& job, const std::string& file_name, int index);

// The pixel / sample format and rate the encoder takes that is closest to what the context asks.
void FitPixelFormat(AVCodecContext& encoder_context, const AVCodec* encoder);
void FitSampleFormat(AVCodecContext& encoder_context, const AVCodec* encoder);
// Logs a warning through the library log when the rate has to change.
void FitSampleRate(AVCodecContext& encoder_context, const AVCodec* encoder);
// The nearest picture size the encoder's pixel format can take (even sizes for 4:2:0).
void AlignToChroma(AVCodecContext& encoder_context);

// Opens the named bitstream filters as a chain over `parameters`; a name the library does not
// know shows "Invalid BitstreamFilter <name>" and the chain goes on without it.
BitstreamFilterChain ParseBitstreamFilters(const std::vector<std::string>& names,
                                           const AVCodecParameters& parameters,
                                           AVRational time_base);

}  // namespace zembra::engine
