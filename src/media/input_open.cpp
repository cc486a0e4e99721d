#include "media/input_open.h"

#include <cerrno>

#include "media/byte_stream.h"
#include "media/stream_io.h"

namespace zembra::media {
namespace {

// A "stream:" address: the input reads the registered stream through a custom I/O context,
// which the opened input owns from then on (InputFormatContextDeleter frees it).
int OpenStreamInput(InputOpenRequest& request, InputFormatContextPtr& opened) {
  const std::optional<int> number = ParseStreamAddress(request.url);
  if (!number) return AVERROR(EINVAL);
  ByteStream* stream = FindRegisteredStream(*number);
  if (stream == nullptr) return AVERROR(ENOENT);

  IoContextPtr io;
  try {
    io = MakeStreamIo(*stream);
  } catch (const AvError& error) {
    return error.code();
  }
  AVFormatContext* context =
      request.context ? request.context.release() : ff.avformat_alloc_context();
  if (context == nullptr) return AVERROR(ENOMEM);
  // The library marks the context AVFMT_FLAG_CUSTOM_IO and leaves the I/O context to us.
  context->pb = io.get();
  const int result =
      ff.avformat_open_input(&context, request.url.c_str(), request.format, request.options);
  if (result < 0) return result;  // the library freed the format context; `io` frees the rest
  io.release();
  opened.reset(context);
  return 0;
}

}  // namespace

int OpenInput(InputOpenRequest request, InputFormatContextPtr& opened) {
  if (IsStreamAddress(request.url)) return OpenStreamInput(request, opened);
  // avformat_open_input frees a caller's context when it fails.
  AVFormatContext* context = request.context.release();
  const int result =
      ff.avformat_open_input(&context, request.url.c_str(), request.format, request.options);
  if (result < 0) return result;
  opened.reset(context);
  return 0;
}

}  // namespace zembra::media
