#include "media/helpers.h"

#include <gtest/gtest.h>

#include <climits>

#include "media/media_loader.h"

namespace zembra::media {
namespace {

TEST(RationalHelpers, CompareFollowsTheSignAndHandlesZeroDenominators) {
  struct Case {
    AVRational a, b;
    int expected;
  };
  const Case cases[] = {
      {{1, 2}, {2, 4}, 0},       {{1, 3}, {1, 2}, -1},  {{1, 2}, {1, 3}, 1},
      {{0, 0}, {1, 2}, INT_MIN}, {{-1, 2}, {1, 2}, -1}, {{1, -2}, {1, 2}, -1},
      {{1, 0}, {1, 0}, 0},       {{1, 0}, {-1, 0}, 1},  {{30000, 1001}, {30, 1}, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(av_cmp_q(c.a, c.b), c.expected)
        << c.a.num << "/" << c.a.den << " vs " << c.b.num << "/" << c.b.den;
  }
  EXPECT_DOUBLE_EQ(av_q2d({30000, 1001}), 30000.0 / 1001.0);
  EXPECT_EQ(kAvTimeBaseQ.num, 1);
  EXPECT_EQ(kAvTimeBaseQ.den, 1000000);
}

TEST(RationalHelpers, DoubleToRationalThroughTheLibrary) {
  LoadMediaLibraries();
  struct Case {
    double value;
    int max;
    AVRational expected;
  };
  const Case cases[] = {
      {1.0, 255, {1, 1}},         {0.75, 255, {3, 4}},          {4.0 / 3.0, 255, {4, 3}},
      {16.0 / 9.0, 255, {16, 9}}, {29.97, 100000, {2997, 100}},
  };
  for (const Case& c : cases) {
    const AVRational q = ff.av_d2q(c.value, c.max);
    EXPECT_EQ(q.num, c.expected.num) << c.value;
    EXPECT_EQ(q.den, c.expected.den) << c.value;
  }
}

TEST(DurationText, HoursMinutesSecondsWithoutLeadingZeros) {
  struct Case {
    std::int64_t seconds;
    const char* text;
  };
  const Case cases[] = {
      {3725, "1:2:5"}, {0, "0:0:0"},        {59, "0:0:59"}, {60, "0:1:0"},
      {3600, "1:0:0"}, {360000, "100:0:0"}, {-5, "0:0:0"},
  };
  for (const Case& c : cases) EXPECT_EQ(SecondsToText(c.seconds), c.text) << c.seconds;
}

TEST(ColourHelpers, StoredColourBecomesRgb) {
  EXPECT_EQ(ColorToRGB(0x000000FFu), 0x00FF0000u);  // red
  EXPECT_EQ(ColorToRGB(0x00FF0000u), 0x000000FFu);  // blue
  EXPECT_EQ(ColorToRGB(0x0000FF00u), 0x0000FF00u);  // green stays
  EXPECT_EQ(ColorToRGB(0x00123456u), 0x00563412u);
  EXPECT_EQ(ColorToRGB(0xAA0000FFu), 0x00FF0000u);  // top byte dropped
}

TEST(ColourHelpers, CcirStudioRange) {
  static_assert(RGB_TO_Y_CCIR(255, 255, 255) == 235);
  static_assert(RGB_TO_Y_CCIR(0, 0, 0) == 16);
  static_assert(RGB_TO_U_CCIR(0, 0, 0, 0) == 128);
  static_assert(RGB_TO_V_CCIR(0, 0, 0, 0) == 128);
  EXPECT_EQ(RGB_TO_U_CCIR(255, 255, 255, 0), 128);
  EXPECT_EQ(RGB_TO_V_CCIR(255, 255, 255, 0), 128);
  // Pure red: low Y, U below and V far above the neutral 128.
  EXPECT_EQ(RGB_TO_Y_CCIR(255, 0, 0), 81);
  EXPECT_EQ(RGB_TO_U_CCIR(255, 0, 0, 0), 90);
  EXPECT_EQ(RGB_TO_V_CCIR(255, 0, 0, 0), 240);
  // A shift of 2 averages four samples' sums.
  EXPECT_EQ(RGB_TO_U_CCIR(4 * 255, 0, 0, 2), 90);
}

TEST(ClampHelper, BoundsAndInside) {
  EXPECT_EQ(Clamp(-3, 0, 10), 0);
  EXPECT_EQ(Clamp(13, 0, 10), 10);
  EXPECT_EQ(Clamp(7, 0, 10), 7);
  EXPECT_EQ(Clamp(5, 10, 0), 10);  // crossed bounds: low wins
}

}  // namespace
}  // namespace zembra::media
