#include "media/circular_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace zembra::media {
namespace {

std::vector<std::uint8_t> Bytes(int count, std::uint8_t first) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

// One step on a ring: a write or a read of `count` bytes and what must follow.
struct Step {
  enum Kind { kWrite, kRead, kClear } kind;
  int count;
  bool succeeds;
  int count_after;
  int free_after;
  int read_position_after;
  int write_position_after;
};

struct RingCase {
  const char* name;
  int size;
  std::vector<Step> steps;
};

class CircularBufferCases : public ::testing::TestWithParam<RingCase> {};

TEST_P(CircularBufferCases, KeepsItsPositionsAndCounts) {
  const RingCase& ring_case = GetParam();
  TCircularBuffer ring(ring_case.size);
  EXPECT_EQ(ring.Count(), 0);
  EXPECT_EQ(ring.FreeSpace(), ring_case.size);
  // What has been written and not yet read, to check what reads return.
  std::vector<std::uint8_t> expected;
  std::uint8_t next = 1;
  int step_number = 0;
  for (const Step& step : ring_case.steps) {
    SCOPED_TRACE("step " + std::to_string(++step_number));
    std::vector<std::uint8_t> bytes;
    switch (step.kind) {
      case Step::kWrite:
        bytes = Bytes(step.count, next);
        EXPECT_EQ(ring.Write(bytes.data(), step.count), step.succeeds);
        if (step.succeeds) {
          expected.insert(expected.end(), bytes.begin(), bytes.end());
          next = static_cast<std::uint8_t>(next + step.count);
        }
        break;
      case Step::kRead:
        bytes.assign(static_cast<std::size_t>(std::max(step.count, 0)), 0xEE);
        EXPECT_EQ(ring.Read(bytes.data(), step.count), step.succeeds);
        if (step.succeeds) {
          EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), expected.begin()));
          expected.erase(expected.begin(), expected.begin() + step.count);
        } else {
          EXPECT_EQ(bytes, std::vector<std::uint8_t>(bytes.size(), 0xEE));
        }
        break;
      case Step::kClear:
        ring.Clear();
        expected.clear();
        break;
    }
    EXPECT_EQ(ring.Count(), step.count_after);
    EXPECT_EQ(ring.Count(false), step.count_after);
    EXPECT_EQ(ring.FreeSpace(), step.free_after);
    EXPECT_EQ(ring.FreeSpace(false), step.free_after);
    EXPECT_EQ(ring.ReadPosition(), step.read_position_after);
    EXPECT_EQ(ring.WritePosition(), step.write_position_after);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ring, CircularBufferCases,
    ::testing::Values(
        // A new ring of 8 takes at most 7 bytes.
        RingCase{"FullWriteFails",
                 8,
                 {{Step::kWrite, 8, false, 0, 8, 0, 0},
                  {Step::kWrite, 7, true, 7, 1, 0, 7},
                  {Step::kWrite, 1, false, 7, 1, 0, 7}}},
        // Write 5, read 5, write 6: the data wraps.
        RingCase{"WriteWraps",
                 8,
                 {{Step::kWrite, 5, true, 5, 3, 0, 5},
                  {Step::kRead, 5, true, 0, 8, 5, 5},
                  {Step::kWrite, 6, true, 6, 2, 5, 3},
                  {Step::kRead, 6, true, 0, 8, 3, 3}}},
        // A read asking for more than is stored changes nothing.
        RingCase{"ShortReadFails",
                 8,
                 {{Step::kWrite, 3, true, 3, 5, 0, 3},
                  {Step::kRead, 4, false, 3, 5, 0, 3},
                  {Step::kRead, 3, true, 0, 8, 3, 3}}},
        // A read ending at the end of the storage leaves r = n; the next starts at 0.
        RingCase{"ReadEndsAtTheEnd",
                 8,
                 {{Step::kWrite, 4, true, 4, 4, 0, 4},
                  {Step::kRead, 4, true, 0, 8, 4, 4},
                  {Step::kWrite, 4, true, 4, 4, 4, 0},
                  {Step::kRead, 4, true, 0, 8, 8, 0},
                  {Step::kWrite, 3, true, 3, 5, 8, 3},
                  {Step::kRead, 2, true, 1, 7, 2, 3},
                  {Step::kRead, 1, true, 0, 8, 3, 3}}},
        // A write ending exactly at the end of the storage wraps its position to 0.
        RingCase{"WriteEndsAtTheEnd",
                 8,
                 {{Step::kWrite, 2, true, 2, 6, 0, 2},
                  {Step::kRead, 2, true, 0, 8, 2, 2},
                  {Step::kWrite, 6, true, 6, 2, 2, 0},
                  {Step::kWrite, 2, false, 6, 2, 2, 0},
                  {Step::kWrite, 1, true, 7, 1, 2, 1}}},
        RingCase{"ClearEmpties",
                 8,
                 {{Step::kWrite, 6, true, 6, 2, 0, 6},
                  {Step::kRead, 1, true, 5, 3, 1, 6},
                  {Step::kClear, 0, true, 0, 8, 0, 0},
                  {Step::kRead, 1, false, 0, 8, 0, 0}}},
        RingCase{"NothingIsAlwaysPossible",
                 8,
                 {{Step::kRead, 0, true, 0, 8, 0, 0},
                  {Step::kWrite, 0, true, 0, 8, 0, 0},
                  {Step::kRead, -1, false, 0, 8, 0, 0},
                  {Step::kWrite, 7, true, 7, 1, 0, 7},
                  {Step::kWrite, 0, true, 7, 1, 0, 7}}}),
    [](const ::testing::TestParamInfo<RingCase>& param_info) {
      return std::string(param_info.param.name);
    });

TEST(CircularBuffer, TheDefaultSizeIsEightThousandOneHundredDvdBlocks) {
  EXPECT_EQ(TCircularBuffer::kDefaultSize, 8100 * 2048);
  TCircularBuffer ring(TCircularBuffer::kDefaultSize);
  EXPECT_EQ(ring.Size(), TCircularBuffer::kDefaultSize);
  EXPECT_EQ(ring.FreeSpace(), TCircularBuffer::kDefaultSize);
}

TEST(CircularBuffer, OneWriterAndOneReaderMoveBytesUnchanged) {
  constexpr int kTotal = 4 * 1024 * 1024 + 7;
  constexpr int kRingSize = 10007;
  std::vector<std::uint8_t> source(kTotal);
  std::uint32_t state = 12345;
  for (std::uint8_t& byte : source) {
    state = state * 1664525U + 1013904223U;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  TCircularBuffer ring(kRingSize);
  std::vector<std::uint8_t> received(kTotal);

  std::thread writer([&] {
    const int pieces[] = {1, 3, 17, 509, 2048, 4093, 7};
    int at = 0;
    for (int i = 0; at < kTotal; ++i) {
      const int count = std::min(pieces[i % 7], kTotal - at);
      while (!ring.Write(source.data() + at, count)) std::this_thread::yield();
      at += count;
    }
  });
  std::thread reader([&] {
    const int pieces[] = {5, 1021, 2, 3001, 11, 4099};
    int at = 0;
    for (int i = 0; at < kTotal; ++i) {
      const int count = std::min(pieces[i % 6], kTotal - at);
      while (!ring.Read(received.data() + at, count)) std::this_thread::yield();
      at += count;
    }
  });
  writer.join();
  reader.join();
  EXPECT_TRUE(received == source);
  EXPECT_EQ(ring.Count(), 0);
}

}  // namespace
}  // namespace zembra::media
