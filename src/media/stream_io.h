// The custom I/O context through which the media libraries read a registered byte stream.
//
// The context's opaque pointer is the stream itself; its callbacks forward reads, writes, seeks
// and the size query to it, answer with the libraries' negative error codes and never throw.
// The context never frees the stream. An input opened over such a context owns it: the input's
// deleter (InputFormatContextDeleter) recognises it by its read callback and frees it together
// with its buffer after closing the input.
#pragma once

#include "media/av_ptr.h"
#include "media/byte_stream.h"

namespace zembra::media {

// Size of the buffer the libraries read through.
inline constexpr int kStreamIoBufferSize = 32 * 1024;

// A read-only context over `stream`, which is first moved to its beginning: each connection
// reads from the start whatever an earlier one left behind. Throws AvError when out of memory.
[[nodiscard]] IoContextPtr MakeStreamIo(ByteStream& stream);

// True when `context` was made by MakeStreamIo.
bool IsStreamIo(const AVIOContext* context);

}  // namespace zembra::media
