#include "media/byte_stream.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

namespace zembra::media {
namespace {

struct Registry {
  std::mutex mutex;
  // Guarded by `mutex`.
  std::unordered_map<int, ByteStream*> streams;
  int last_number = 0;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

int ByteStream::Write(const void* /*buffer*/, int /*count*/) {
  throw std::logic_error("Abstract Error");
}

std::int64_t ByteStream::Size() {
  const std::int64_t position = Seek(0, SeekOrigin::kCurrent);
  const std::int64_t end = Seek(0, SeekOrigin::kEnd);
  if (position >= 0) Seek(position, SeekOrigin::kBeginning);
  return end;
}

int MemoryByteStream::Read(void* buffer, int count) {
  const auto size = static_cast<std::int64_t>(data_.size());
  if (count <= 0 || position_ >= size) return 0;
  const int copied = static_cast<int>(std::min<std::int64_t>(count, size - position_));
  std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(copied));
  position_ += copied;
  return copied;
}

int MemoryByteStream::Write(const void* buffer, int count) {
  if (count <= 0) return 0;
  const auto end = static_cast<std::size_t>(position_) + static_cast<std::size_t>(count);
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + position_, buffer, static_cast<std::size_t>(count));
  position_ += count;
  return count;
}

std::int64_t MemoryByteStream::Seek(std::int64_t offset, SeekOrigin origin) {
  std::int64_t base = 0;
  switch (origin) {
    case SeekOrigin::kBeginning:
      base = 0;
      break;
    case SeekOrigin::kCurrent:
      base = position_;
      break;
    case SeekOrigin::kEnd:
      base = static_cast<std::int64_t>(data_.size());
      break;
  }
  const std::int64_t target = base + offset;
  if (target < 0) return -1;
  position_ = target;
  return position_;
}

bool IsStreamAddress(std::string_view address) {
  return address.substr(0, kStreamAddressPrefix.size()) == kStreamAddressPrefix;
}

std::optional<int> ParseStreamAddress(std::string_view address) {
  const std::size_t prefix = address.find(kStreamAddressPrefix);
  if (prefix == std::string_view::npos) return std::nullopt;
  std::string rest(address.substr(0, prefix));
  rest.append(address.substr(prefix + kStreamAddressPrefix.size()));

  const std::size_t dot = rest.rfind('.');
  const std::size_t separator = rest.find_last_of("/\\:");
  if (dot != std::string::npos && (separator == std::string::npos || dot > separator)) {
    rest.erase(dot);
  }

  std::string_view digits = rest;
  const bool plus = !digits.empty() && digits.front() == '+';
  if (plus) digits.remove_prefix(1);
  if (digits.empty() || (plus && digits.front() == '-')) return std::nullopt;
  int number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return number;
}

std::string StreamAddress(int number, std::string_view extension) {
  std::string address(kStreamAddressPrefix);
  address += std::to_string(number);
  if (!extension.empty()) {
    if (extension.front() != '.') address += '.';
    address += extension;
  }
  return address;
}

int RegisterStream(ByteStream& stream) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  if (registry.last_number == std::numeric_limits<int>::max()) {
    throw std::overflow_error("stream numbers exhausted");
  }
  const int number = ++registry.last_number;
  registry.streams.emplace(number, &stream);
  return number;
}

bool UnregisterStream(int number) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  return registry.streams.erase(number) > 0;
}

ByteStream* FindRegisteredStream(int number) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  const auto found = registry.streams.find(number);
  return found == registry.streams.end() ? nullptr : found->second;
}

}  // namespace zembra::media
