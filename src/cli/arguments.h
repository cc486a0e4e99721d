// The command line of zembra-cli, parsed into a request.
//
//   zembra-cli convert INPUT -o OUTPUT [--profile DESCRIPTION] [--start SECONDS]
//                      [--duration SECONDS] [--filters GRAPH] [--threads N]
//                      [--set NAME=VALUE]... [--copy] [--json]
//   zembra-cli probe INPUT [--json]
//   zembra-cli profiles [--json]
//   zembra-cli dvd PATH [--json]
//   zembra-cli version
//   zembra-cli            (no arguments: converts a generated sample clip)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zembra::cli {

enum class Command { kSample, kConvert, kProbe, kProfiles, kDvd, kVersion, kHelp };

struct Request {
  Command command = Command::kSample;
  std::string input;
  std::string output;
  std::optional<std::string> profile;
  std::int64_t start_us = 0;
  std::optional<std::int64_t> duration_us;
  std::string filters;
  int threads = 0;                                            // 0: all processors
  std::vector<std::pair<std::string, std::string>> settings;  // --set NAME=VALUE, in order
  bool copy = false;  // pass audio and video through without re-encoding
  bool json = false;
};

// Parses argv[1..]. Throws UsageError with a message for the user.
Request ParseArguments(const std::vector<std::string>& arguments);

struct UsageError {
  std::string message;
};

// Seconds as text ("12", "1.5") to microseconds; nothing when the text is not a time >= 0.
std::optional<std::int64_t> SecondsToMicroseconds(const std::string& text);

extern const char* const kUsage;

}  // namespace zembra::cli
