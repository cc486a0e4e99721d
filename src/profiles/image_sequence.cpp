#include "profiles/image_sequence.h"

#include <charconv>

namespace zembra::profiles {
namespace {

// The muxer reads "%" as the start of a number field; a literal one is written twice.
std::string Escaped(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '%') escaped += '%';
    escaped += c;
  }
  return escaped;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

ImageSequenceName MakeImageSequenceName(std::string_view file_name) {
  // The extension starts at the last dot of the last path component.
  const std::size_t slash = file_name.rfind('/');
  const std::size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
  std::size_t dot = file_name.rfind('.');
  if (dot == std::string_view::npos || dot < name_start) dot = file_name.size();
  const std::string_view stem = file_name.substr(0, dot);
  const std::string_view extension = file_name.substr(dot);

  std::size_t digits_start = stem.size();
  while (digits_start > name_start && IsDigit(stem[digits_start - 1])) --digits_start;
  std::string_view digits = stem.substr(digits_start);
  // Numbers past the muxer's range are part of the name, not the frame number.
  while (digits.size() > 9) {
    digits.remove_prefix(1);
    ++digits_start;
  }

  ImageSequenceName name;
  std::string field = "%d";
  if (!digits.empty()) {
    std::from_chars(digits.data(), digits.data() + digits.size(), name.start_number);
    if (digits.size() > 1 && digits.front() == '0')
      field = "%0" + std::to_string(digits.size()) + "d";
  }
  name.pattern = Escaped(stem.substr(0, digits_start)) + field + Escaped(extension);
  return name;
}

std::string ImageSequenceName::FileName(std::int32_t number) const {
  std::string name;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 == pattern.size()) {
      name += pattern[i];
      continue;
    }
    if (pattern[i + 1] == '%') {
      name += '%';
      ++i;
      continue;
    }
    // "%d" or "%0<width>d", as MakeImageSequenceName writes them.
    std::size_t end = i + 1;
    std::size_t width = 0;
    if (pattern[end] == '0') {
      ++end;
      while (end < pattern.size() && IsDigit(pattern[end])) {
        width = width * 10 + static_cast<std::size_t>(pattern[end] - '0');
        ++end;
      }
    }
    std::string digits = std::to_string(number);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    name += digits;
    i = end;  // the "d"
  }
  return name;
}

}  // namespace zembra::profiles
