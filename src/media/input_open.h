// The one place where the program opens a media input.
//
// The engine, the media probe and the preview all open their sources here, so that addresses
// with a meaning of their own are understood everywhere alike.
#pragma once

#include <string>

#include "media/av_ptr.h"

namespace zembra::media {

struct InputOpenRequest {
  std::string url;                        // a path or a library URL
  const AVInputFormat* format = nullptr;  // forced demuxer, or null to probe
  AVDictionary** options = nullptr;       // demuxer and format options; what is left is unused
  // A context the caller allocated and configured (forced codecs, flags, interrupt callback);
  // null to let the library allocate one.
  FormatContextPtr context;
};

// Opens the input. On success `opened` owns the context and the result is 0; on failure the
// result is the library's negative error code and the request's context has been freed.
//
// A "stream:" address (byte_stream.h) is read from the stream registered under its number,
// through a custom I/O context that the opened input owns and frees when it is closed; the
// stream itself stays its owner's. An address whose number is not a signed decimal fails with
// AVERROR(EINVAL), one whose number is not registered with AVERROR(ENOENT).
int OpenInput(InputOpenRequest request, InputFormatContextPtr& opened);

}  // namespace zembra::media
