#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "media/byte_stream.h"
#include "media/input_open.h"
#include "media/media_loader.h"
#include "media/stream_io.h"
#include "support/media_fixtures.h"

namespace zembra::media {
namespace {

TEST(StreamAddress, ParsesTheNumberAfterThePrefixWithoutTheExtension) {
  struct Case {
    const char* address;
    std::optional<int> number;
  };
  const std::vector<Case> cases = {
      {"stream:123", 123},
      {"stream:123.vob", 123},
      {"stream:-42", -42},
      {"stream:+7.mpg", 7},
      {"stream:0", 0},
      {"stream:2147483647", 2147483647},
      {"stream:2147483648", std::nullopt},
      {"stream:", std::nullopt},
      {"stream:.vob", std::nullopt},
      {"stream:abc", std::nullopt},
      {"stream:12abc", std::nullopt},
      {"stream:12.5.vob", std::nullopt},
      {"stream: 12", std::nullopt},
      {"stream:+-12", std::nullopt},
      {"stream:12/x.vob", std::nullopt},  // the dot is not the extension's
      {"Stream:12", std::nullopt},        // the prefix is case-sensitive
      {"file.mp4", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseStreamAddress(c.address), c.number) << c.address;
  }
  EXPECT_TRUE(IsStreamAddress("stream:12"));
  EXPECT_FALSE(IsStreamAddress("Stream:12"));
  EXPECT_FALSE(IsStreamAddress("/tmp/stream:12"));
  EXPECT_EQ(StreamAddress(5), "stream:5");
  EXPECT_EQ(StreamAddress(-5, "vob"), "stream:-5.vob");
  EXPECT_EQ(StreamAddress(5, ".mpg"), "stream:5.mpg");
}

TEST(StreamRegistry, NumbersAreKeptUntilUnregisteredAndNeverReused) {
  MemoryByteStream first;
  MemoryByteStream second;
  int first_number = 0;
  {
    const StreamRegistration registration(first);
    first_number = registration.number();
    EXPECT_EQ(FindRegisteredStream(first_number), &first);
    EXPECT_EQ(registration.Address(), "stream:" + std::to_string(first_number));
  }
  EXPECT_EQ(FindRegisteredStream(first_number), nullptr);
  EXPECT_FALSE(UnregisterStream(first_number));
  const StreamRegistration again(second);
  EXPECT_GT(again.number(), first_number);
}

// A stream over a file's bytes that counts what is asked of it.
class CountingStream : public MemoryByteStream {
 public:
  using MemoryByteStream::MemoryByteStream;
  int Read(void* buffer, int count) override {
    ++reads;
    if (fail_reads) throw std::runtime_error("the disc is gone");
    return MemoryByteStream::Read(buffer, count);
  }
  int Write(const void* buffer, int count) override {
    return read_only ? ByteStream::Write(buffer, count) : MemoryByteStream::Write(buffer, count);
  }
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    if (!relative_seeks && origin != SeekOrigin::kBeginning) return -1;
    return MemoryByteStream::Seek(offset, origin);
  }
  std::int64_t Size() override {
    ++size_queries;
    return MemoryByteStream::Size();
  }
  int reads = 0;
  int size_queries = 0;
  bool relative_seeks = true;
  bool fail_reads = false;
  bool read_only = false;
  ~CountingStream() override { *destroyed = true; }
  bool* destroyed = &ignored;

 private:
  bool ignored = false;
};

class StreamInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadMediaLibraries();
    clip_ = testing::MakeTestClip(folder_, "clip.mp4");
    bytes_ = testing::ReadFileBytes(clip_);
    ASSERT_GT(bytes_.size(), 1000U);
  }

  int Open(const std::string& address, InputFormatContextPtr& input) {
    InputOpenRequest request;
    request.url = address;
    request.context.reset(ff.avformat_alloc_context());
    return OpenInput(std::move(request), input);
  }

  static int VideoPackets(AVFormatContext* input) {
    PacketPtr packet = MakePacket();
    int packets = 0;
    while (ff.av_read_frame(input, packet.get()) >= 0) {
      if (input->streams[packet->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
        ++packets;
      }
      ff.av_packet_unref(packet.get());
    }
    return packets;
  }

  testing::TempFolder folder_;
  std::string clip_;
  std::vector<std::uint8_t> bytes_;
};

TEST_F(StreamInputTest, WithAndWithoutAnExtensionTheAddressOpensTheSameStream) {
  CountingStream stream(bytes_);
  const StreamRegistration registration(stream);
  for (const std::string& address : {registration.Address(), registration.Address("mp4")}) {
    SCOPED_TRACE(address);
    InputFormatContextPtr input;
    ASSERT_EQ(Open(address, input), 0);
    ASSERT_NE(input->pb, nullptr);
    EXPECT_EQ(input->pb->opaque, &stream);
    EXPECT_TRUE(IsStreamIo(input->pb));
    EXPECT_NE(input->flags & AVFMT_FLAG_CUSTOM_IO, 0);
    ASSERT_GE(ff.avformat_find_stream_info(input.get(), nullptr), 0);
    EXPECT_EQ(input->nb_streams, 2U);
    EXPECT_NEAR(input->duration / 1e6, 2.0, 0.1);
    EXPECT_EQ(VideoPackets(input.get()), 50);
  }
}

TEST_F(StreamInputTest, UnknownAndNonNumericAddressesFailWithTheLibrarysError) {
  CountingStream stream(bytes_);
  int unknown = 0;
  {
    const StreamRegistration gone(stream);
    unknown = gone.number();
  }
  InputFormatContextPtr input;
  EXPECT_EQ(Open(StreamAddress(unknown), input), AVERROR(ENOENT));
  EXPECT_EQ(Open("stream:abc", input), AVERROR(EINVAL));
  EXPECT_EQ(Open("stream:12.5.vob", input), AVERROR(EINVAL));
  EXPECT_EQ(input, nullptr);
  EXPECT_EQ(stream.reads, 0);
}

TEST_F(StreamInputTest, TheSizeQueryAnswersTheStreamsSizeWithoutMovingIt) {
  CountingStream stream(bytes_);
  const StreamRegistration registration(stream);
  InputFormatContextPtr input;
  ASSERT_EQ(Open(registration.Address(), input), 0);
  const std::int64_t position = stream.position();
  const int queries = stream.size_queries;
  EXPECT_EQ(input->pb->seek(input->pb->opaque, 0, AVSEEK_SIZE),
            static_cast<std::int64_t>(bytes_.size()));
  EXPECT_EQ(stream.size_queries, queries + 1);
  EXPECT_EQ(stream.position(), position);
  EXPECT_EQ(ff.avio_size(input->pb), static_cast<std::int64_t>(bytes_.size()));
}

TEST_F(StreamInputTest, AStreamThatRefusesRelativeSeeksAnswersThemWithAnError) {
  CountingStream stream(bytes_);
  stream.relative_seeks = false;
  const StreamRegistration registration(stream);
  InputFormatContextPtr input;
  ASSERT_EQ(Open(registration.Address("mp4"), input), 0);
  ASSERT_GE(ff.avformat_find_stream_info(input.get(), nullptr), 0);

  AVIOContext* io = input->pb;
  EXPECT_LT(io->seek(io->opaque, 10, SEEK_CUR), 0);
  EXPECT_LT(io->seek(io->opaque, -10, SEEK_END), 0);
  EXPECT_LT(io->seek(io->opaque, 0, 12345), 0);  // a whence the libraries never use
  EXPECT_EQ(io->seek(io->opaque, 100, SEEK_SET), 100);
  EXPECT_EQ(io->seek(io->opaque, 100, SEEK_SET | AVSEEK_FORCE), 100);
  // The library itself only seeks from the start, so the input reads on.
  EXPECT_EQ(ff.av_seek_frame(input.get(), -1, 0, AVSEEK_FLAG_BACKWARD), 0);
  EXPECT_EQ(VideoPackets(input.get()), 50);
}

TEST_F(StreamInputTest, ClosingLeavesTheStreamToItsOwnerWhoMayOpenItAgain) {
  bool destroyed = false;
  {
    CountingStream stream(bytes_);
    stream.destroyed = &destroyed;
    const StreamRegistration registration(stream);
    {
      InputFormatContextPtr input;
      ASSERT_EQ(Open(registration.Address(), input), 0);
      ASSERT_GE(ff.avformat_find_stream_info(input.get(), nullptr), 0);
      EXPECT_EQ(VideoPackets(input.get()), 50);
    }
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(FindRegisteredStream(registration.number()), &stream);
    EXPECT_EQ(stream.data(), bytes_);

    // The first connection left the stream at its end; the next one reads from the start.
    InputFormatContextPtr again;
    ASSERT_EQ(Open(registration.Address("mp4"), again), 0);
    ASSERT_GE(ff.avformat_find_stream_info(again.get(), nullptr), 0);
    EXPECT_EQ(VideoPackets(again.get()), 50);
  }
  EXPECT_TRUE(destroyed);
}

TEST_F(StreamInputTest, AStreamThatThrowsIsAReadErrorNotACrash) {
  CountingStream stream(bytes_);
  const StreamRegistration registration(stream);
  InputFormatContextPtr input;
  ASSERT_EQ(Open(registration.Address(), input), 0);
  ASSERT_GE(ff.avformat_find_stream_info(input.get(), nullptr), 0);
  stream.fail_reads = true;
  stream.read_only = true;
  EXPECT_LT(input->pb->read_packet(input->pb->opaque, input->pb->buffer, 100), 0);
  EXPECT_LT(input->pb->write_packet(input->pb->opaque, input->pb->buffer, 100), 0);
}

TEST_F(StreamInputTest, APlainPathStillOpensAsBefore) {
  InputFormatContextPtr input;
  ASSERT_EQ(Open(clip_, input), 0);
  EXPECT_FALSE(IsStreamIo(input->pb));
  EXPECT_EQ(input->flags & AVFMT_FLAG_CUSTOM_IO, 0);
}

TEST(MemoryByteStream, ReadsWritesAndSeeksLikeAFile) {
  MemoryByteStream stream;
  const char text[] = "abcdef";
  EXPECT_EQ(stream.Write(text, 6), 6);
  EXPECT_EQ(stream.Size(), 6);
  EXPECT_EQ(stream.Seek(-2, SeekOrigin::kEnd), 4);
  char out[8] = {};
  EXPECT_EQ(stream.Read(out, 8), 2);
  EXPECT_EQ(std::string(out, 2), "ef");
  EXPECT_EQ(stream.Read(out, 8), 0);
  EXPECT_EQ(stream.Seek(-3, SeekOrigin::kCurrent), 3);
  EXPECT_EQ(stream.Seek(-1, SeekOrigin::kBeginning), -1);
  EXPECT_EQ(stream.position(), 3);
  EXPECT_EQ(stream.Seek(8, SeekOrigin::kBeginning), 8);
  EXPECT_EQ(stream.Write("z", 1), 1);
  EXPECT_EQ(stream.Size(), 9);
}

}  // namespace
}  // namespace zembra::media
