#include "media/circular_buffer.h"

#include <cstring>
#include <stdexcept>

namespace zembra::media {
namespace {

using Lock = std::unique_lock<std::recursive_mutex>;

Lock LockIf(std::recursive_mutex& mutex, bool lock) {
  return lock ? Lock(mutex) : Lock(mutex, std::defer_lock);
}

}  // namespace

TCircularBuffer::TCircularBuffer(int size)
    : data_(size > 0 ? static_cast<std::size_t>(size) : 0U, 0), size_(size) {
  if (size <= 0) throw std::invalid_argument("TCircularBuffer: size must be positive");
}

void TCircularBuffer::Clear() {
  std::lock_guard lock(lock_);
  write_position_ = 0;
  read_position_ = 0;
}

int TCircularBuffer::Count(bool lock) const {
  const Lock guard = LockIf(lock_, lock);
  const int w = write_position_;
  const int r = read_position_;
  if (w == r) return 0;
  return w > r ? w - r : size_ - r + w;
}

int TCircularBuffer::FreeSpace(bool lock) const {
  const Lock guard = LockIf(lock_, lock);
  const int w = write_position_;
  const int r = read_position_;
  if (w == r) return size_;
  return r > w ? r - w : size_ - w + r;
}

bool TCircularBuffer::Read(void* buffer, int count) {
  std::lock_guard lock(lock_);
  if (count < 0 || Count(false) < count) return false;
  auto* out = static_cast<std::uint8_t*>(buffer);
  const int r = read_position_;
  if (r + count > size_) {
    const int tail = size_ - r;
    std::memcpy(out, data_.data() + r, static_cast<std::size_t>(tail));
    std::memcpy(out + tail, data_.data(), static_cast<std::size_t>(count - tail));
    read_position_ = count - tail;
  } else {
    if (count > 0) std::memcpy(out, data_.data() + r, static_cast<std::size_t>(count));
    read_position_ = r + count;
  }
  return true;
}

bool TCircularBuffer::Write(const void* buffer, int count) {
  std::lock_guard lock(lock_);
  if (count < 0 || count >= FreeSpace(false)) return false;
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  const int w = write_position_;
  if (w + count < size_) {
    if (count > 0) std::memcpy(data_.data() + w, in, static_cast<std::size_t>(count));
    write_position_ = w + count;
  } else {
    const int tail = size_ - w;
    std::memcpy(data_.data() + w, in, static_cast<std::size_t>(tail));
    std::memcpy(data_.data(), in + tail, static_cast<std::size_t>(count - tail));
    write_position_ = count - tail;
  }
  return true;
}

int TCircularBuffer::ReadPosition() const {
  std::lock_guard lock(lock_);
  return read_position_;
}

int TCircularBuffer::WritePosition() const {
  std::lock_guard lock(lock_);
  return write_position_;
}

}  // namespace zembra::media
