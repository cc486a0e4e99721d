// Seekable byte streams that the program produces itself, and their "stream:" addresses.
//
// The media libraries open inputs by address. To let them read bytes the program makes (a DVD
// title assembled from chapters), such a stream is registered under a number and named by the
// address "stream:<number>", optionally followed by an extension ("stream:12.vob") that only
// helps the libraries guess the format. The input-opening helper (input_open.h) turns such an
// address into a custom I/O context over the registered stream.
//
// The registry never owns a stream: whoever registers it keeps it alive, and registered, while
// any input opened from its address is open, and frees it afterwards. Numbers are handed out in
// increasing order and never reused within a process, so a stale address fails to open instead
// of reaching another stream.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zembra::media {

enum class SeekOrigin { kBeginning, kCurrent, kEnd };

// A seekable byte stream. Streams are used by one thread at a time.
class ByteStream {
 public:
  ByteStream() = default;
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;
  virtual ~ByteStream() = default;

  // Copies up to `count` bytes into `buffer`; the number copied, 0 at the end.
  virtual int Read(void* buffer, int count) = 0;
  // Writes `count` bytes; the number written. Streams that cannot be written throw
  // std::logic_error("Abstract Error"), which is what this default does.
  virtual int Write(const void* buffer, int count);
  // Moves the position; the new position, or -1 when the stream refuses the move.
  virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
  // The length in bytes. This default seeks to the end and back.
  virtual std::int64_t Size();
};

// A stream over bytes held in memory; it grows when written past its end.
class MemoryByteStream : public ByteStream {
 public:
  MemoryByteStream() = default;
  explicit MemoryByteStream(std::vector<std::uint8_t> data) : data_(std::move(data)) {}

  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }

  const std::vector<std::uint8_t>& data() const { return data_; }
  std::int64_t position() const { return position_; }

 private:
  std::vector<std::uint8_t> data_;
  std::int64_t position_ = 0;
};

inline constexpr std::string_view kStreamAddressPrefix = "stream:";

// True when `address` starts with "stream:" (case-sensitive).
bool IsStreamAddress(std::string_view address);

// The number a "stream:" address names: the text after the first "stream:", without its
// extension (the last "." and what follows, when that dot comes after the last "/", "\" or
// ":"), read as a signed decimal integer. Empty when that text is not one.
std::optional<int> ParseStreamAddress(std::string_view address);

// "stream:<number>", followed by "." and `extension` when one is given.
std::string StreamAddress(int number, std::string_view extension = {});

// The registry. Safe to call from any thread.
int RegisterStream(ByteStream& stream);
// False when `number` was not registered.
bool UnregisterStream(int number);
// The stream registered under `number`, or null.
ByteStream* FindRegisteredStream(int number);

// Keeps a stream registered for the lifetime of this object.
class StreamRegistration {
 public:
  explicit StreamRegistration(ByteStream& stream) : number_(RegisterStream(stream)) {}
  ~StreamRegistration() { UnregisterStream(number_); }
  StreamRegistration(const StreamRegistration&) = delete;
  StreamRegistration& operator=(const StreamRegistration&) = delete;

  int number() const { return number_; }
  std::string Address(std::string_view extension = {}) const {
    return StreamAddress(number_, extension);
  }

 private:
  int number_;
};

}  // namespace zembra::media
