// The application configuration and the per-user data folder.
//
// One TAVConfiguration exists for the whole run: main loads it before any window exists and
// saves it once more at exit; the options dialog saves it when accepted. It is kept in
// "Config.Xml" in the data folder as indented published-property XML (published_xml.h), the
// same element form as the task settings text, read tolerantly: a damaged or cut-short file
// never stops the program, it yields what could be read. Saving also applies the process
// priority; loading never does. Only the user-interface thread touches the configuration.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/persistent.h"
#include "tasks/published_xml.h"

namespace zembra::app {

inline constexpr std::int32_t kAutomaticThreadCount = 0;  // use every processor
inline constexpr std::int32_t kMaxThreadCount = 32;
inline constexpr std::int32_t kNormalPriority = 2;
inline constexpr std::int32_t kMaxPriority = 5;
inline constexpr char kConfigFileName[] = "Config.Xml";

// A configuration file that cannot be written.
class ConfigurationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TPerformanceOptions : public engine::TPersistent, public tasks::TReadFallback {
 public:
  TPerformanceOptions() = default;
  std::string_view ClassName() const override { return "TPerformanceOptions"; }
  void Assign(const engine::TPersistent& source) override;
  std::span<const engine::PropertyInfo> PublishedProperties() const override;

  // The options dialog offers only 0 to 32 and 0 to 5, so a missing, unreadable or
  // out-of-range value in the file reads as the default.
  std::optional<engine::PropertyValue> FallbackValue(
      const engine::PropertyInfo& info) const override;
  bool Accepts(const engine::PropertyInfo& info, const engine::PropertyValue& value) const override;

  // Threads a conversion may use; 0 = all processors.
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, ThreadCount, kAutomaticThreadCount)
  // The process priority class, 0 (idle) to 5 (highest).
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, ThreadPrority, kNormalPriority)
};

class TAVConfiguration : public engine::TPersistent {
 public:
  TAVConfiguration();
  std::string_view ClassName() const override { return "TAVConfiguration"; }
  void Assign(const engine::TPersistent& source) override;
  std::span<const engine::PropertyInfo> PublishedProperties() const override;

  const TPerformanceOptions& PerformanceOptions() const { return FPerformanceOptions; }
  TPerformanceOptions& PerformanceOptions() { return FPerformanceOptions; }
  // Copies the values; the owned object is never replaced.
  void SetPerformanceOptions(const TPerformanceOptions& value) {
    FPerformanceOptions.Assign(value);
  }

 private:
  TPerformanceOptions FPerformanceOptions;

  // Shut the computer down once no conversion runs any more.
  ZEMBRA_PLAIN_PROPERTY(bool, ShutdownWhenDone, false)
  // Where the wizard's category picker starts; $HOME/Conversion at first.
  ZEMBRA_PLAIN_PROPERTY(std::string, OutputFolder, {})
  // Announce each finished conversion.
  ZEMBRA_PLAIN_PROPERTY(bool, ShowAlert, true)

 public:
  // $XDG_DATA_HOME/Quillon/ZembraCHS/ ($HOME/.local/share when XDG_DATA_HOME is unset or not
  // absolute); always ends in "/".
  static std::string GetAppDataFolder();
  // The data folder followed by "Config.Xml".
  static std::string GetConfigFile();

  // Reads the configuration file, writing it with the current values first when it does not
  // exist. Never throws: a file that cannot be written or read is reported and the values
  // read so far (the current ones otherwise) stay.
  void Load();
  // Reads `path`. Returns false, after reporting why, when the file could not be read whole;
  // what could be read is kept.
  bool LoadFromFile(const std::string& path);
  // Creates the data folder, applies the process priority and writes the configuration file.
  // Throws ConfigurationError.
  void Save();
  // Writes `path` so that it is either replaced whole or left as it was. Throws
  // ConfigurationError.
  void SaveToFile(const std::string& path) const;
};

// The configuration of this run.
TAVConfiguration& AVConfiguration();

}  // namespace zembra::app
