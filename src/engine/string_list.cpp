#include "engine/string_list.h"

#include <algorithm>
#include <stdexcept>

namespace zembra::engine {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

void TStringList::Insert(std::size_t index, std::string line) {
  if (index > lines_.size()) throw std::out_of_range("TStringList::Insert: index out of range");
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index), std::move(line));
}

void TStringList::Delete(std::size_t index) {
  if (index >= lines_.size()) throw std::out_of_range("TStringList::Delete: index out of range");
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
}

int TStringList::IndexOf(std::string_view line) const {
  const auto it = std::find(lines_.begin(), lines_.end(), line);
  return it == lines_.end() ? -1 : static_cast<int>(it - lines_.begin());
}

int TStringList::IndexOfName(std::string_view name) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const std::string_view line = lines_[i];
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos && SameTextIgnoringCase(line.substr(0, equals), name)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::string TStringList::Names(std::size_t index) const {
  const std::string& line = lines_.at(index);
  const std::size_t equals = line.find('=');
  return equals == std::string::npos ? std::string() : line.substr(0, equals);
}

std::string TStringList::ValueFromIndex(std::size_t index) const {
  const std::string& line = lines_.at(index);
  const std::size_t equals = line.find('=');
  return equals == std::string::npos ? std::string() : line.substr(equals + 1);
}

std::string TStringList::Values(std::string_view name) const {
  const int index = IndexOfName(name);
  return index < 0 ? std::string() : ValueFromIndex(static_cast<std::size_t>(index));
}

void TStringList::SetValues(std::string_view name, std::string_view value) {
  const int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) Delete(static_cast<std::size_t>(index));
    return;
  }
  std::string line = std::string(name) + "=" + std::string(value);
  if (index < 0) {
    lines_.push_back(std::move(line));
  } else {
    lines_[static_cast<std::size_t>(index)] = std::move(line);
  }
}

}  // namespace zembra::engine
