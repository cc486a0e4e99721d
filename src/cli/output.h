// Text and JSON output of zembra-cli.
#pragma once

#include <cstdint>
#include <string>

namespace zembra::cli {

// `text` as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

// "12.3 MB", "812 KB", "900 B".
std::string ByteSize(std::int64_t bytes);

}  // namespace zembra::cli
