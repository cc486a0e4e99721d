// A fixed-size byte ring with all-or-nothing reads and writes, guarded by its own lock.
//
// One thread may write while another reads. The ring is empty when the two positions are equal
// and never fills up to equal positions, so it stores at most size - 1 bytes. A read position
// equal to the size is allowed and behaves like 0.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace zembra::media {

class TCircularBuffer {
 public:
  // The size both the DVD stream and the preview's audio use.
  static constexpr int kDefaultSize = 16588800;

  explicit TCircularBuffer(int size);
  TCircularBuffer(const TCircularBuffer&) = delete;
  TCircularBuffer& operator=(const TCircularBuffer&) = delete;

  // Empties the ring (both positions 0); the bytes are not erased.
  void Clear();
  // Stored bytes. `lock` false when the caller already holds the lock.
  int Count(bool lock = true) const;
  // Bytes that may still be written, counted as the size minus the stored bytes; a write must
  // leave at least one of them free.
  int FreeSpace(bool lock = true) const;
  // Copies out and removes exactly `count` bytes, or nothing (false).
  bool Read(void* buffer, int count);
  // Appends exactly `count` bytes, or nothing (false).
  bool Write(const void* buffer, int count);

  int Size() const { return size_; }
  int ReadPosition() const;
  int WritePosition() const;

 private:
  // Recursive: Read and Write ask Count and FreeSpace while holding it.
  mutable std::recursive_mutex lock_;
  // The fields below are guarded by `lock_`; `size_` never changes.
  std::vector<std::uint8_t> data_;
  const int size_;
  int write_position_ = 0;
  int read_position_ = 0;
};

}  // namespace zembra::media
