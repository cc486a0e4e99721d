// Input stage of a run: forced formats and codecs, opening the inputs, timestamp tables.
#pragma once

#include <cstdint>
#include <string>

#include "engine/job.h"

namespace zembra::engine {

// Looks up the forced input and output formats. Throws EngineError when neither is known.
void ResolveFormats(JobContext& job);

// The id of the codec `name` of `type` (an encoder or a decoder); AV_CODEC_ID_NONE for an
// empty name. Throws "Unknown Codec Name" or "Invalid codec type".
AVCodecID FindCodec(const std::string& name, AVMediaType type, bool encoder);

// Opens `file_name` as input number `index` (== job.input_files.size()) and appends it.
void OpenInputFile(JobContext& job, const std::string& file_name, int index);

// Fills the inputs' per-stream timestamp scales from the options.
void ApplyInputTSScales(JobContext& job);

// Bytes of input `index`, or a negative value when its size is unknown.
std::int64_t InputFileSize(const JobContext& job, int index);

}  // namespace zembra::engine
