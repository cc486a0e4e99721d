// A small ini file: sections in square brackets, one key=value line per key.
//
// Text is kept as bytes (UTF-8 when written by this program); nothing is converted, so any
// caption survives a round trip. Section and key names are matched without regard to ASCII
// letter case; the value is everything after the first "=" up to the end of the line, blanks
// included, because profile descriptions may begin or end with one. Writing a key keeps its
// place in the file, a new key goes to the end of its section, and lines that are neither
// keys nor sections (comments, blanks) are kept as they were.
//
// Comma text (CommaText / ParseCommaText) is how a list of lines is stored in one value: the
// lines separated by commas, a line that is empty or holds a blank, a comma, a double quote or
// a control character enclosed in double quotes with inner quotes doubled.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/string_list.h"

namespace zembra::profiles {

class IniFile {
 public:
  IniFile() = default;
  // Reads ini text; never fails: a line it cannot place is kept and ignored.
  explicit IniFile(std::string_view text);

  // The whole file as text, lines ending in "\n".
  std::string Text() const;

  // The raw value of the key, or nullopt when there is no such key.
  std::optional<std::string> Read(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& fallback) const;
  // A whole decimal integer (blanks around it allowed); `fallback` when the key is missing or
  // its value is not one.
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t fallback) const;
  // A finite decimal number with "." as the decimal point, whatever the locale.
  double ReadFloat(std::string_view section, std::string_view key, double fallback) const;
  // An integer: 0 is false, any other is true.
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

  // Line breaks cannot live in an ini value: each is written as a blank.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  // The shortest text that reads back as the same number ("12.2", "128").
  void WriteFloat(std::string_view section, std::string_view key, double value);
  void WriteBool(std::string_view section, std::string_view key, bool value);

 private:
  struct Line {
    std::string text;  // the line as read or written, without its line end
    std::string key;   // empty for section headers and other lines
    std::size_t value_offset = 0;
  };
  struct Section {
    std::string name;
    std::string header;  // the header line as written; empty for lines before the first one
    std::vector<Line> lines;
  };

  const Line* FindLine(std::string_view section, std::string_view key) const;
  Section& SectionFor(std::string_view section);

  std::vector<Section> sections_;
};

std::string CommaText(const engine::TStringList& lines);
// Reads comma text: items are quoted (with doubled inner quotes) or run to the next comma or
// blank; blanks between items are skipped, and an empty item between two commas is kept.
engine::TStringList ParseCommaText(std::string_view text);

}  // namespace zembra::profiles
