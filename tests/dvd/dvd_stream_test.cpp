#include "dvd/dvd_stream.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "dvd/dvd_reader_handle.h"
#include "dvd/dvd_test_support.h"
#include "media/input_open.h"
#include "media/media_loader.h"

namespace zembra::dvd {
namespace {

using media::SeekOrigin;
using testing::TestDvd;

std::string DvdErrorOf(const std::function<void()>& step) {
  try {
    step();
  } catch (const DvdError& error) {
    return error.what();
  }
  return "no error";
}

// Everything from the current position to the end, in pieces of odd sizes.
std::vector<std::uint8_t> ReadToEnd(TDvdStream& stream) {
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint8_t> piece(40000);
  const int sizes[] = {1, 777, 2048, 5000, 32768, 3};
  for (int i = 0;; ++i) {
    const int read = stream.Read(piece.data(), sizes[i % 6]);
    if (read == 0) break;
    bytes.insert(bytes.end(), piece.begin(), piece.begin() + read);
  }
  return bytes;
}

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& bytes, std::size_t from,
                                std::size_t count) {
  return {bytes.begin() + static_cast<std::ptrdiff_t>(from),
          bytes.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

class DvdStreamTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(TestDvd().ok) << TestDvd().error; }
  std::string Vob(int title_set) const {
    return TestDvd().video_ts() + "/VTS_0" + std::to_string(title_set) + "_1.VOB";
  }
};

TEST_F(DvdStreamTest, ARangeIsTheBlocksOfItsChaptersCells) {
  struct Case {
    std::string disc;
    int title, first, last;
  };
  const std::vector<Case> cases = {
      {TestDvd().image, 1, 2, 3},   // ends where chapter 4 begins
      {TestDvd().folder, 1, 2, 3},  //
      {TestDvd().image, 1, 3, 4},   // ends at the end of the title
      {TestDvd().folder, 1, 1, 4},  // the whole title
      {TestDvd().folder, 2, 1, 1},  //
      {TestDvd().image, 2, 2, 2},   //
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.disc + " title " + std::to_string(c.title) + " chapters " +
                 std::to_string(c.first) + "-" + std::to_string(c.last));
    const auto cells = testing::ChapterSectors(c.disc, c.title, c.first, c.last);
    ASSERT_FALSE(cells.empty());
    TDvdStream stream(c.disc, c.title, c.first, c.last, 1);
    EXPECT_EQ(stream.Size(), testing::BlockCount(cells) * kBlockSize);
    EXPECT_EQ(stream.EndBlock() - stream.StartBlock(), testing::BlockCount(cells));

    const std::vector<std::uint8_t> bytes = ReadToEnd(stream);
    EXPECT_EQ(static_cast<std::int64_t>(bytes.size()), stream.Size());
    EXPECT_TRUE(bytes == testing::CellBytes(Vob(c.title), cells)) << "the bytes differ";
    std::uint8_t after[10];
    EXPECT_EQ(stream.Read(after, 10), 0);
  }
}

TEST_F(DvdStreamTest, SeeksFromTheBeginningLandOnTheExactByte) {
  TDvdStream stream(TestDvd().image, 1, 2, 3, 1);
  const std::vector<std::uint8_t> all = ReadToEnd(stream);
  ASSERT_EQ(static_cast<std::int64_t>(all.size()), stream.Size());
  ASSERT_GT(stream.Size(), 100000);
  std::vector<std::uint8_t> piece(3000);

  // Block 2 of the range, then 904 bytes into it.
  EXPECT_EQ(stream.Seek(5000, SeekOrigin::kBeginning), 5000);
  ASSERT_EQ(stream.Read(piece.data(), 3000), 3000);
  EXPECT_TRUE(piece == Slice(all, 5000, 3000));

  EXPECT_EQ(stream.Seek(0, SeekOrigin::kBeginning), 0);
  ASSERT_EQ(stream.Read(piece.data(), 3000), 3000);
  EXPECT_TRUE(piece == Slice(all, 0, 3000));

  const std::int64_t block_edge = 20 * kBlockSize;
  EXPECT_EQ(stream.Seek(block_edge, SeekOrigin::kBeginning), block_edge);
  ASSERT_EQ(stream.Read(piece.data(), 3000), 3000);
  EXPECT_TRUE(piece == Slice(all, block_edge, 3000));

  // Backwards after forwards, and into the last block.
  const std::int64_t near_end = stream.Size() - 1000;
  EXPECT_EQ(stream.Seek(near_end, SeekOrigin::kBeginning), near_end);
  EXPECT_EQ(stream.Read(piece.data(), 3000), 1000);
  EXPECT_TRUE(Slice(piece, 0, 1000) == Slice(all, static_cast<std::size_t>(near_end), 1000));
  EXPECT_EQ(stream.Read(piece.data(), 3000), 0);

  EXPECT_EQ(stream.Seek(stream.Size() + 12345, SeekOrigin::kBeginning), stream.Size());
  EXPECT_EQ(stream.Read(piece.data(), 3000), 0);
  EXPECT_EQ(stream.Seek(-5, SeekOrigin::kBeginning), 0);
  ASSERT_EQ(stream.Read(piece.data(), 10), 10);
  EXPECT_TRUE(Slice(piece, 0, 10) == Slice(all, 0, 10));
}

TEST_F(DvdStreamTest, OnlySeeksFromTheBeginningAreSupported) {
  TDvdStream stream(TestDvd().folder, 1, 1, 2, 1);
  std::vector<std::uint8_t> piece(100);
  ASSERT_EQ(stream.Read(piece.data(), 100), 100);
  EXPECT_EQ(stream.Seek(0, SeekOrigin::kCurrent), -1);
  EXPECT_EQ(stream.Seek(-10, SeekOrigin::kEnd), -1);
  // The refused seeks moved nothing.
  std::vector<std::uint8_t> next(100);
  ASSERT_EQ(stream.Read(next.data(), 100), 100);
  stream.Seek(100, SeekOrigin::kBeginning);
  std::vector<std::uint8_t> expected(100);
  ASSERT_EQ(stream.Read(expected.data(), 100), 100);
  EXPECT_TRUE(next == expected);
}

TEST_F(DvdStreamTest, AReadOfNothingDeliversNothing) {
  TDvdStream stream(TestDvd().folder, 1, 1, 1, 1);
  std::uint8_t byte = 0;
  EXPECT_EQ(stream.Read(&byte, 0), 0);
  EXPECT_EQ(stream.Read(&byte, 1), 1);
  EXPECT_EQ(byte, 0x00);  // a pack starts with its start code
}

TEST_F(DvdStreamTest, WritingIsNotSupported) {
  TDvdStream stream(TestDvd().folder, 2, 1, 2, 1);
  const std::uint8_t byte = 0;
  EXPECT_THROW(stream.Write(&byte, 1), std::logic_error);
}

TEST_F(DvdStreamTest, TheConstructorSaysWhatFailed) {
  const std::string disc = TestDvd().folder;
  struct Case {
    std::string path;
    int title, first, last;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"/nonexistent", 1, 1, 1, kCanNotOpenDvd}, {disc, 3, 1, 1, kCanNotOpenTitle},
      {disc, 0, 1, 1, kCanNotOpenTitle},         {disc, 1, 0, 1, kCanNotStartChapter},
      {disc, 1, 4, 5, kCanNotStartChapter},      {disc, 1, 3, 2, kCanNotStartChapter},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DvdErrorOf([&] { TDvdStream stream(c.path, c.title, c.first, c.last, 1); }),
              c.message)
        << c.path << " title " << c.title << " chapters " << c.first << "-" << c.last;
  }
}

TEST_F(DvdStreamTest, AnEncryptedTitleCannotBeOpened) {
  testing::TempFolder temp;
  const std::string disc = testing::CopyFolder(TestDvd().folder, temp.File("encrypted"));
  ASSERT_GT(testing::ScrambleVob(disc + "/VIDEO_TS/VTS_02_1.VOB"), 0);
  EXPECT_EQ(DvdErrorOf([&] { TDvdStream stream(disc, 2, 1, 2, 1); }), kEncryptedDvd);
  EXPECT_EQ(DvdErrorOf([&] { TDvdStream stream(disc, 1, 1, 4, 1); }), "no error");
}

TEST_F(DvdStreamTest, AnAngleBeyondTheTitlesIsClamped) {
  TDvdStream stream(TestDvd().folder, 1, 1, 1, 5);
  EXPECT_EQ(stream.Angle(), 1);
}

// The media libraries read the range through its "stream:" address.
TEST_F(DvdStreamTest, TheMediaLibrariesReadTheRangeThroughItsAddress) {
  media::LoadMediaLibraries();
  TDvdStream stream(TestDvd().image, 1, 2, 3, 1);
  const media::StreamRegistration registration(stream);

  media::InputOpenRequest request;
  request.url = registration.Address("vob");
  media::InputFormatContextPtr input;
  ASSERT_EQ(media::OpenInput(std::move(request), input), 0);
  ASSERT_GE(media::ff.avformat_find_stream_info(input.get(), nullptr), 0);
  EXPECT_EQ(media::ff.avio_size(input->pb), stream.Size());

  int video = 0;
  int audio = 0;
  int video_index = -1;
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    const AVCodecParameters& parameters = *input->streams[i]->codecpar;
    if (parameters.codec_type == AVMEDIA_TYPE_VIDEO) {
      ++video;
      video_index = static_cast<int>(i);
      EXPECT_EQ(parameters.codec_id, AV_CODEC_ID_MPEG2VIDEO);
      EXPECT_EQ(parameters.width, 352);
      EXPECT_EQ(parameters.height, 288);
    } else if (parameters.codec_type == AVMEDIA_TYPE_AUDIO) {
      ++audio;
      EXPECT_EQ(parameters.codec_id, AV_CODEC_ID_AC3);
    }
  }
  EXPECT_EQ(video, 1);
  EXPECT_EQ(audio, 2);

  // Two chapters of about a second each, at 25 frames per second.
  media::PacketPtr packet = media::MakePacket();
  int frames = 0;
  int result = 0;
  while ((result = media::ff.av_read_frame(input.get(), packet.get())) >= 0) {
    if (packet->stream_index == video_index) ++frames;
    media::ff.av_packet_unref(packet.get());
  }
  EXPECT_EQ(result, AVERROR_EOF);
  const auto& chapters = stream.Title().chapters;
  const double seconds = (chapters[1].duration + chapters[2].duration) / 1e6;
  EXPECT_NEAR(frames, seconds * 25, 2);
}

}  // namespace
}  // namespace zembra::dvd
