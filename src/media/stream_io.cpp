#include "media/stream_io.h"

#include <cerrno>
#include <cstdio>

namespace zembra::media {
namespace {

ByteStream& StreamOf(void* opaque) { return *static_cast<ByteStream*>(opaque); }

int ReadStream(void* opaque, std::uint8_t* buffer, int size) noexcept {
  try {
    const int read = StreamOf(opaque).Read(buffer, size);
    if (read < 0) return AVERROR(EIO);
    return read == 0 ? AVERROR_EOF : read;
  } catch (...) {
    return AVERROR(EIO);
  }
}

int WriteStream(void* opaque, std::uint8_t* buffer, int size) noexcept {
  try {
    const int written = StreamOf(opaque).Write(buffer, size);
    return written < 0 ? AVERROR(EIO) : written;
  } catch (...) {
    return AVERROR(ENOSYS);
  }
}

std::int64_t SeekStream(void* opaque, std::int64_t offset, int whence) noexcept {
  try {
    ByteStream& stream = StreamOf(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) {
      const std::int64_t size = stream.Size();
      return size < 0 ? AVERROR(ENOSYS) : size;
    }
    SeekOrigin origin = SeekOrigin::kBeginning;
    switch (whence) {
      case SEEK_SET:
        origin = SeekOrigin::kBeginning;
        break;
      case SEEK_CUR:
        origin = SeekOrigin::kCurrent;
        break;
      case SEEK_END:
        origin = SeekOrigin::kEnd;
        break;
      default:
        return AVERROR(EINVAL);
    }
    const std::int64_t position = stream.Seek(offset, origin);
    // A stream that refuses a move answers -1; the libraries want an error code.
    return position < 0 ? AVERROR(ESPIPE) : position;
  } catch (...) {
    return AVERROR(EIO);
  }
}

}  // namespace

IoContextPtr MakeStreamIo(ByteStream& stream) {
  // A stream that cannot seek is read from wherever it stands.
  try {
    stream.Seek(0, SeekOrigin::kBeginning);
  } catch (...) {
  }
  auto* buffer = static_cast<unsigned char*>(ff.av_malloc(kStreamIoBufferSize));
  if (buffer == nullptr) throw AvError(AVERROR(ENOMEM), "av_malloc");
  IoContextPtr context(ff.avio_alloc_context(buffer, kStreamIoBufferSize, 0, &stream, ReadStream,
                                             WriteStream, SeekStream));
  if (!context) {
    ff.av_free(buffer);
    throw AvError(AVERROR(ENOMEM), "avio_alloc_context");
  }
  return context;
}

bool IsStreamIo(const AVIOContext* context) {
  return context != nullptr && context->read_packet == ReadStream;
}

}  // namespace zembra::media
