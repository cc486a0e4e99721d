// An ordered list of text lines with access by name to lines of the form name=value.
//
// Names are compared without regard to ASCII letter case; a line without "=" has no name.
// Option lists (codec options, metadata, stream maps, bitstream filters) are kept this way and
// persisted line by line.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace zembra::engine {

class TStringList {
 public:
  TStringList() = default;
  TStringList(std::initializer_list<std::string> lines) : lines_(lines) {}

  std::size_t Count() const { return lines_.size(); }
  bool Empty() const { return lines_.empty(); }
  const std::string& operator[](std::size_t index) const { return lines_.at(index); }
  std::string& operator[](std::size_t index) { return lines_.at(index); }
  const std::vector<std::string>& Lines() const { return lines_; }
  auto begin() const { return lines_.begin(); }
  auto end() const { return lines_.end(); }

  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Insert(std::size_t index, std::string line);
  void Delete(std::size_t index);
  void Clear() { lines_.clear(); }

  // Index of the first line equal to `line` (case-sensitive), or -1.
  int IndexOf(std::string_view line) const;
  // Index of the first line whose name part equals `name` without regard to case, or -1.
  int IndexOfName(std::string_view name) const;
  // The name part of line `index` (empty when the line holds no "=").
  std::string Names(std::size_t index) const;
  // The text after the first "=" of line `index` (empty when it holds none).
  std::string ValueFromIndex(std::size_t index) const;
  // The value of the first line named `name`, or empty.
  std::string Values(std::string_view name) const;
  // Sets the value of the line named `name`: replaces it in place, appends "name=value" when
  // there is no such line, and removes the line when `value` is empty.
  void SetValues(std::string_view name, std::string_view value);

  friend bool operator==(const TStringList&, const TStringList&) = default;

 private:
  std::vector<std::string> lines_;
};

// Case-insensitive comparison of ASCII letters; other bytes compare as they are.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

}  // namespace zembra::engine
