// Small stateless helpers shared by several subsystems: rationals and time bases, the duration
// text, and the colour conversions used for filter texts and subtitle palettes.
//
// av_q2d, av_cmp_q and the other inline rational operations come from <libavutil/rational.h>
// and need no library; av_d2q and av_reduce are exported and called through the function table.
#pragma once

#include <cstdint>
#include <string>

#include "media/media_headers.h"

namespace zembra::media {

// AV_TIME_BASE_Q is a C compound literal; this is the same value for C++.
inline constexpr AVRational kAvTimeBaseQ{1, AV_TIME_BASE};

// "h:m:s" without leading zeros: 3725 gives "1:2:5". Negative durations read as 0.
std::string SecondsToText(std::int64_t seconds);

// A stored colour 0x00BBGGRR as 0x00RRGGBB: the low and third bytes swapped, the top dropped.
constexpr std::uint32_t ColorToRGB(std::uint32_t color) {
  return ((color & 0xFFu) << 16) | (color & 0xFF00u) | ((color >> 16) & 0xFFu);
}

// low when value < low, high when value > high, else value (low wins if the bounds cross).
template <typename T>
constexpr T Clamp(T value, T low, T high) {
  if (value < low) return low;
  if (value > high) return high;
  return value;
}

namespace ccir {
// Fixed-point factor with 10 fractional bits.
constexpr int Fix(double x) { return static_cast<int>(x * 1024 + 0.5); }
}  // namespace ccir

// CCIR 601 studio-range RGB to YUV, as the libraries' colour-space header defines them.
constexpr int RGB_TO_Y_CCIR(int r, int g, int b) {
  using ccir::Fix;
  return (Fix(0.299 * 219.0 / 255.0) * r + Fix(0.587 * 219.0 / 255.0) * g +
          Fix(0.114 * 219.0 / 255.0) * b + (16 << 10) + 512) >>
         10;
}
constexpr int RGB_TO_U_CCIR(int r, int g, int b, int shift) {
  using ccir::Fix;
  return ((-Fix(0.16874 * 224.0 / 255.0) * r - Fix(0.33126 * 224.0 / 255.0) * g +
           Fix(0.5 * 224.0 / 255.0) * b + (512 << shift) - 1) >>
          (10 + shift)) +
         128;
}
constexpr int RGB_TO_V_CCIR(int r, int g, int b, int shift) {
  using ccir::Fix;
  return ((Fix(0.5 * 224.0 / 255.0) * r - Fix(0.41869 * 224.0 / 255.0) * g -
           Fix(0.08131 * 224.0 / 255.0) * b + (512 << shift) - 1) >>
          (10 + shift)) +
         128;
}

}  // namespace zembra::media
