#include "cli/arguments.h"

#include <charconv>
#include <cmath>

namespace zembra::cli {

const char* const kUsage =
    "usage: zembra-cli convert INPUT -o OUTPUT [--profile DESCRIPTION] [--start SECONDS]\n"
    "                          [--duration SECONDS] [--filters GRAPH] [--threads N]\n"
    "                          [--set NAME=VALUE]... [--copy] [--json]\n"
    "       zembra-cli probe INPUT [--json]\n"
    "       zembra-cli profiles [--json]\n"
    "       zembra-cli dvd PATH [--json]   the titles of a disc, ISO image or VIDEO_TS folder\n"
    "  INPUT may be a DVD title: dvd:PATH#TITLE[:FIRST-LAST[@ANGLE]]\n"
    "       zembra-cli version\n"
    "       zembra-cli                 converts a generated sample clip\n";

std::optional<std::int64_t> SecondsToMicroseconds(const std::string& text) {
  if (text.empty()) return std::nullopt;
  double seconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(seconds) ||
      seconds < 0 || seconds > 9.2e12) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(std::llround(seconds * 1e6));
}

namespace {

std::string TakeValue(const std::vector<std::string>& arguments, std::size_t& i,
                      const std::string& option) {
  if (i + 1 >= arguments.size()) throw UsageError{option + " needs a value"};
  return arguments[++i];
}

std::int64_t TakeSeconds(const std::vector<std::string>& arguments, std::size_t& i,
                         const std::string& option) {
  const std::string text = TakeValue(arguments, i, option);
  const auto value = SecondsToMicroseconds(text);
  if (!value) throw UsageError{option + " takes seconds (a number >= 0), not '" + text + "'"};
  return *value;
}

}  // namespace

Request ParseArguments(const std::vector<std::string>& arguments) {
  Request request;
  if (arguments.empty()) return request;
  const std::string& command = arguments[0];
  if (command == "convert") {
    request.command = Command::kConvert;
  } else if (command == "probe") {
    request.command = Command::kProbe;
  } else if (command == "dvd") {
    request.command = Command::kDvd;
  } else if (command == "profiles") {
    request.command = Command::kProfiles;
  } else if (command == "version" || command == "--version") {
    request.command = Command::kVersion;
  } else if (command == "help" || command == "--help" || command == "-h") {
    request.command = Command::kHelp;
    return request;
  } else {
    throw UsageError{"unknown command '" + command + "'"};
  }

  std::vector<std::string> positional;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool converting = request.command == Command::kConvert;
    if (argument == "--json") {
      request.json = true;
    } else if (converting && argument == "--copy") {
      request.copy = true;
    } else if (converting && (argument == "-o" || argument == "--output")) {
      request.output = TakeValue(arguments, i, argument);
    } else if (converting && argument == "--profile") {
      request.profile = TakeValue(arguments, i, argument);
    } else if (converting && argument == "--start") {
      request.start_us = TakeSeconds(arguments, i, argument);
    } else if (converting && argument == "--duration") {
      request.duration_us = TakeSeconds(arguments, i, argument);
    } else if (converting && argument == "--filters") {
      request.filters = TakeValue(arguments, i, argument);
    } else if (converting && argument == "--threads") {
      const std::string text = TakeValue(arguments, i, argument);
      int threads = -1;
      const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), threads);
      if (error != std::errc() || end != text.data() + text.size() || threads < 0 || threads > 64) {
        throw UsageError{"--threads takes a number from 0 to 64, not '" + text + "'"};
      }
      request.threads = threads;
    } else if (converting && argument == "--set") {
      const std::string setting = TakeValue(arguments, i, argument);
      const std::size_t equals = setting.find('=');
      if (setting.empty() || equals == 0) {
        throw UsageError{"--set takes NAME=VALUE, not '" + setting + "'"};
      }
      if (equals == std::string::npos) {
        request.settings.emplace_back(setting, "");
      } else {
        request.settings.emplace_back(setting.substr(0, equals), setting.substr(equals + 1));
      }
    } else if (!argument.empty() && argument[0] == '-' && argument != "-") {
      throw UsageError{"unknown option '" + argument + "' for " + command};
    } else {
      positional.push_back(argument);
    }
  }

  const std::size_t wanted = request.command == Command::kConvert ||
                                     request.command == Command::kProbe ||
                                     request.command == Command::kDvd
                                 ? 1
                                 : 0;
  if (positional.size() > wanted)
    throw UsageError{"unexpected argument '" + positional[wanted] + "'"};
  if (positional.size() < wanted) throw UsageError{command + " needs an INPUT"};
  if (wanted == 1) request.input = positional[0];
  if (request.command == Command::kConvert && request.output.empty()) {
    throw UsageError{"convert needs an OUTPUT (-o FILE)"};
  }
  return request;
}

}  // namespace zembra::cli
