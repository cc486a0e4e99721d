// Set-up stage of a run: which input stream feeds which output stream, the parameters of copied
// streams, the video filter graphs, two-pass statistics, opening the codecs, chapters and the
// output headers.
#pragma once

#include "engine/job.h"

namespace zembra::engine {

// Reads the options' "file=stream" lines. Throws EngineError for a part that is not a number.
void ParseStreamMaps(JobContext& job);

// Everything between the opened files and the first packet; ends with the headers written.
void SetUpTranscoding(JobContext& job);

// The filter graph from `ist`'s decoded pictures to `ost`'s encoder; sets the encoder's size
// from the graph's end. Returns 0 or a negative library error.
int BuildVideoFilterGraph(JobContext& job, const InputStream& ist, OutputStream& ost);

}  // namespace zembra::engine
