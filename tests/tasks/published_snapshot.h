// Every published value of a persistent object as readable "Path.Name" / text pairs, so that
// two objects compare field by field and a mismatch names the field.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "engine/persistent.h"

namespace zembra::testing {

using PublishedSnapshot = std::vector<std::pair<std::string, std::string>>;

inline std::string DescribeValue(const engine::PropertyValue& value) {
  if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
  if (const auto* real = std::get_if<double>(&value)) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", *real);
    return text;
  }
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "true" : "false";
  if (const auto* text = std::get_if<std::string>(&value)) return "\"" + *text + "\"";
  const auto& lines = std::get<engine::TStringList>(value);
  std::string described = "[" + std::to_string(lines.Count()) + "]";
  for (const std::string& line : lines) described += " \"" + line + "\"";
  return described;
}

inline void CollectPublished(const engine::TPersistent& object, const std::string& prefix,
                             PublishedSnapshot& out) {
  for (const engine::PropertyInfo& info : object.PublishedProperties()) {
    const std::string path = prefix + std::string(info.name);
    if (info.kind == engine::PropertyKind::kObject) {
      CollectPublished(engine::PropertyObject(info, object), path + ".", out);
    } else {
      out.emplace_back(path, DescribeValue(info.get(object)));
    }
  }
}

inline PublishedSnapshot Published(const engine::TPersistent& object) {
  PublishedSnapshot out;
  CollectPublished(object, "", out);
  return out;
}

// The value of one "Path.Name" in `snapshot`, or "<none>".
inline std::string ValueAt(const PublishedSnapshot& snapshot, const std::string& path) {
  for (const auto& [name, value] : snapshot) {
    if (name == path) return value;
  }
  return "<none>";
}

}  // namespace zembra::testing
