// The transcoding stages that run packet by packet on the worker: the loop, decoding and stream
// copy, and the audio, video and subtitle outputs. They share the run's JobContext.
#pragma once

#include "engine/job.h"

namespace zembra::engine {

// Reads, decodes, filters, encodes and writes until the inputs end, a limit is reached or the
// job is stopped; then drains the codecs and writes the trailers.
void RunTranscodingLoop(JobContext& job);

// One packet of input stream `index` (null: the end of the run, drain everything it feeds).
// Returns 0, or -1 when the packet could not be decoded (the loop drops it).
int DecodePacket(JobContext& job, int index, const AVPacket* packet);

// Writes `packet` (timestamps in `from` units) to `ost` through its bitstream filters.
// Consumes the packet's data. Throws EngineError("av_interleaved_write_frame() ") on failure.
void WritePacket(JobContext& job, OutputStream& ost, AVPacket& packet, AVRational from);

// Sends `frame` (null: drain) to `ost`'s encoder and writes what comes out.
void EncodeFrame(JobContext& job, OutputStream& ost, const AVFrame* frame);

// Audio: converts, keeps in step with the input's timeline and encodes whole encoder frames.
void WriteAudio(JobContext& job, OutputStream& ost, InputStream& ist, const AVFrame& frame);
// Encodes what is left in the stream's sample queue at the end of the run.
void FlushAudio(JobContext& job, OutputStream& ost);

// Video: writes the picture as many times as the sync method says (0 = dropped).
// `position` is the picture's time in seconds on the output timeline.
void WriteVideo(JobContext& job, OutputStream& ost, InputStream& ist, AVFrame& picture,
                double position);

// Subtitles: encodes one decoded subtitle whose packet had `pts` (input stream units).
void WriteSubtitle(JobContext& job, OutputStream& ost, InputStream& ist, AVSubtitle& subtitle,
                   std::int64_t pts);

}  // namespace zembra::engine
