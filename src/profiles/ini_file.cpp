#include "profiles/ini_file.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace zembra::profiles {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Comma text treats every byte from 1 to the blank as a separator, as line ends are.
bool IsSeparatorByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 1 && byte <= ' ';
}

bool NeedsQuotes(std::string_view line) {
  if (line.empty()) return true;
  for (const char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || c == '"' || c == ',') return true;
  }
  return false;
}

std::string WithoutLineBreaks(std::string_view value) {
  std::string text(value);
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

}  // namespace

IniFile::IniFile(std::string_view text) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    text.remove_prefix(kByteOrderMark.size());
  }
  sections_.push_back(Section{});
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

    const std::string_view trimmed = Trim(raw);
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.find(']') != std::string::npos) {
      Section section;
      section.name = std::string(Trim(trimmed.substr(1, trimmed.rfind(']') - 1)));
      section.header = std::string(raw);
      sections_.push_back(std::move(section));
      continue;
    }
    Line line{std::string(raw), {}, 0};
    const std::size_t equals = raw.find('=');
    if (equals != std::string_view::npos && trimmed.front() != ';' && trimmed.front() != '#') {
      line.key = std::string(Trim(raw.substr(0, equals)));
      line.value_offset = equals + 1;
    }
    sections_.back().lines.push_back(std::move(line));
  }
}

std::string IniFile::Text() const {
  std::string text;
  for (const Section& section : sections_) {
    if (!section.header.empty()) text += section.header + '\n';
    for (const Line& line : section.lines) text += line.text + '\n';
  }
  return text;
}

const IniFile::Line* IniFile::FindLine(std::string_view section, std::string_view key) const {
  for (const Section& candidate : sections_) {
    if (candidate.header.empty() || !engine::SameTextIgnoringCase(candidate.name, section)) {
      continue;
    }
    for (const Line& line : candidate.lines) {
      if (!line.key.empty() && engine::SameTextIgnoringCase(line.key, key)) return &line;
    }
  }
  return nullptr;
}

IniFile::Section& IniFile::SectionFor(std::string_view section) {
  for (Section& candidate : sections_) {
    if (!candidate.header.empty() && engine::SameTextIgnoringCase(candidate.name, section)) {
      return candidate;
    }
  }
  Section created;
  created.name = std::string(section);
  created.header = "[" + created.name + "]";
  sections_.push_back(std::move(created));
  return sections_.back();
}

std::optional<std::string> IniFile::Read(std::string_view section, std::string_view key) const {
  const Line* line = FindLine(section, key);
  if (line == nullptr) return std::nullopt;
  return line->text.substr(line->value_offset);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                const std::string& fallback) const {
  return Read(section, key).value_or(fallback);
}

std::int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t fallback) const {
  const std::optional<std::string> value = Read(section, key);
  if (!value) return fallback;
  std::string_view text = Trim(*value);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int32_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return fallback;
  return number;
}

double IniFile::ReadFloat(std::string_view section, std::string_view key, double fallback) const {
  const std::optional<std::string> value = Read(section, key);
  if (!value) return fallback;
  std::string text(Trim(*value));
  // A decimal comma, as some locales write the number, reads as the point.
  if (text.find('.') == std::string::npos) {
    if (const std::size_t comma = text.find(','); comma != std::string::npos) text[comma] = '.';
  }
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  double number = 0.0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number,
                                            std::chars_format::general);
  if (error != std::errc() || end != digits.data() + digits.size() || digits.empty() ||
      !std::isfinite(number)) {
    return fallback;
  }
  return number;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  Section& target = SectionFor(section);
  const std::string text = WithoutLineBreaks(value);
  for (Line& line : target.lines) {
    if (!line.key.empty() && engine::SameTextIgnoringCase(line.key, key)) {
      line.text = line.text.substr(0, line.value_offset) + text;
      return;
    }
  }
  // After the section's last non-blank line, so blank separator lines stay at its end.
  auto position = target.lines.end();
  while (position != target.lines.begin() && Trim((position - 1)->text).empty()) --position;
  Line line{std::string(key) + "=" + text, std::string(key), key.size() + 1};
  target.lines.insert(position, std::move(line));
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteFloat(std::string_view section, std::string_view key, double value) {
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  WriteString(section, key,
              error == std::errc()
                  ? std::string_view(buffer, static_cast<std::size_t>(end - buffer))
                  : std::string_view("0"));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

std::string CommaText(const engine::TStringList& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.Count(); ++i) {
    if (i > 0) text += ',';
    const std::string& line = lines[i];
    if (!NeedsQuotes(line)) {
      text += line;
      continue;
    }
    text += '"';
    for (const char c : line) {
      if (c == '"') text += '"';
      text += c;
    }
    text += '"';
  }
  return text;
}

engine::TStringList ParseCommaText(std::string_view text) {
  engine::TStringList lines;
  std::size_t position = 0;
  const auto skip_separators = [&] {
    while (position < text.size() && IsSeparatorByte(text[position])) ++position;
  };
  skip_separators();
  while (position < text.size()) {
    std::string item;
    if (text[position] == '"') {
      ++position;
      while (position < text.size()) {
        if (text[position] == '"') {
          if (position + 1 < text.size() && text[position + 1] == '"') {
            item += '"';
            position += 2;
            continue;
          }
          ++position;
          break;
        }
        item += text[position++];
      }
    } else {
      const std::size_t start = position;
      while (position < text.size() && !IsSeparatorByte(text[position]) && text[position] != ',') {
        ++position;
      }
      item = std::string(text.substr(start, position - start));
    }
    lines.Add(std::move(item));
    skip_separators();
    if (position < text.size() && text[position] == ',') {
      ++position;
      skip_separators();
    }
  }
  return lines;
}

}  // namespace zembra::profiles
