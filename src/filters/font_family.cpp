// Reads only what the name lookup needs: the collection header, the table directory and the
// "name" table; every offset is checked against what was read, so a damaged file yields an
// empty name rather than a read out of bounds.
#include "filters/font_family.h"

#include <cstdint>
#include <fstream>
#include <optional>
#include <vector>

namespace zembra::filters {

namespace {

constexpr std::uint16_t kFamilyNameId = 1;
constexpr std::uint16_t kPlatformUnicode = 0;
constexpr std::uint16_t kPlatformMacintosh = 1;
constexpr std::uint16_t kPlatformWindows = 3;
constexpr std::uint16_t kLanguageUsEnglish = 0x0409;
// Name tables are small; a larger one is not a font's.
constexpr std::uint32_t kMaxNameTableSize = 1 << 20;

class FontReader {
 public:
  explicit FontReader(const std::string& path) : in_(path, std::ios::binary) {}

  std::optional<std::vector<unsigned char>> Read(std::uint32_t offset, std::uint32_t size) {
    if (!in_) return std::nullopt;
    std::vector<unsigned char> bytes(size);
    in_.seekg(offset);
    in_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (!in_ || in_.gcount() != static_cast<std::streamsize>(size)) return std::nullopt;
    return bytes;
  }

 private:
  std::ifstream in_;
};

std::uint16_t U16(const std::vector<unsigned char>& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

std::uint32_t U32(const std::vector<unsigned char>& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) << 24 |
         static_cast<std::uint32_t>(bytes[at + 1]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
}

void AppendUtf8(std::string& text, std::uint32_t code) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | code >> 6);
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    text += static_cast<char>(0xE0 | code >> 12);
    text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | code >> 18);
    text += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::string FromUtf16BigEndian(const unsigned char* data, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    std::uint32_t code = static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (code >= 0xD800 && code < 0xDC00 && i + 3 < size) {
      const std::uint32_t low = static_cast<std::uint32_t>(data[i + 2] << 8 | data[i + 3]);
      if (low >= 0xDC00 && low < 0xE000) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    if (code >= 0xD800 && code < 0xE000) code = 0xFFFD;
    AppendUtf8(text, code);
  }
  return text;
}

// Macintosh names of the families we can match are plain ASCII; other bytes are unknown.
std::string FromMacRoman(const unsigned char* data, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] >= 0x80) return {};
    text += static_cast<char>(data[i]);
  }
  return text;
}

// The rank of a name record for the family (lower is better), or nothing when unusable.
std::optional<int> Rank(std::uint16_t platform, std::uint16_t encoding, std::uint16_t language) {
  if (platform == kPlatformWindows && (encoding == 1 || encoding == 10)) {
    return language == kLanguageUsEnglish ? 0 : 1;
  }
  if (platform == kPlatformUnicode) return 2;
  if (platform == kPlatformMacintosh && encoding == 0) return language == 0 ? 3 : 4;
  return std::nullopt;
}

}  // namespace

std::string FontFamilyName(const std::string& path) {
  FontReader reader(path);
  auto header = reader.Read(0, 12);
  if (!header) return {};
  std::uint32_t font_offset = 0;
  if (U32(*header, 0) == 0x74746366) {  // "ttcf": a collection; its first font
    header = reader.Read(12, 4);
    if (!header) return {};
    font_offset = U32(*header, 0);
    header = reader.Read(font_offset, 12);
    if (!header) return {};
  }
  const std::uint16_t table_count = U16(*header, 4);
  const auto directory = reader.Read(font_offset + 12, table_count * 16u);
  if (!directory) return {};
  std::uint32_t name_offset = 0;
  std::uint32_t name_size = 0;
  for (std::uint16_t i = 0; i < table_count; ++i) {
    if (U32(*directory, i * 16u) == 0x6E616D65) {  // "name"
      name_offset = U32(*directory, i * 16u + 8);
      name_size = U32(*directory, i * 16u + 12);
      break;
    }
  }
  if (name_size < 6 || name_size > kMaxNameTableSize) return {};
  const auto table = reader.Read(name_offset, name_size);
  if (!table) return {};
  const std::uint16_t count = U16(*table, 2);
  const std::size_t storage = U16(*table, 4);
  std::string best;
  int best_rank = 1 << 30;
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::size_t record = 6 + i * 12u;
    if (record + 12 > table->size()) break;
    if (U16(*table, record + 6) != kFamilyNameId) continue;
    const auto rank = Rank(U16(*table, record), U16(*table, record + 2), U16(*table, record + 4));
    if (!rank || *rank >= best_rank) continue;
    const std::size_t length = U16(*table, record + 8);
    const std::size_t start = storage + U16(*table, record + 10);
    if (start + length > table->size()) continue;
    const unsigned char* data = table->data() + start;
    std::string name = U16(*table, record) == kPlatformMacintosh ? FromMacRoman(data, length)
                                                                 : FromUtf16BigEndian(data, length);
    if (name.empty()) continue;
    best = std::move(name);
    best_rank = *rank;
  }
  return best;
}

}  // namespace zembra::filters
