#include "cli/output.h"

#include <cstdio>

namespace zembra::cli {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string ByteSize(std::int64_t bytes) {
  char text[32];
  if (bytes >= 1000000) {
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  } else if (bytes >= 1000) {
    std::snprintf(text, sizeof text, "%lld KB", static_cast<long long>(bytes / 1000));
  } else {
    std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
  }
  return text;
}

}  // namespace zembra::cli
