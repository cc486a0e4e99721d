// The stored settings of one conversion task.
//
// A task keeps everything it needs to be run again or listed after a restart in one
// TConversionSettings: source and target, the DVD selection, the profile's description, the
// category it is filed under, the complete conversion options, and two figures learnt while
// converting. The task store keeps the record as the XML text of published_xml.h in one
// database column; SettingsToText and SettingsFromText are that text form.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/options.h"
#include "engine/persistent.h"

namespace zembra::tasks {

enum class TAVSourceType : std::int32_t { stFile, stDvd };
extern const std::array<std::string_view, 2> kSourceTypeNames;

class TConversionSettings : public engine::TPersistent {
 public:
  TConversionSettings() = default;
  std::string_view ClassName() const override { return "TConversionSettings"; }
  void Assign(const engine::TPersistent& source) override;
  std::span<const engine::PropertyInfo> PublishedProperties() const override;

  // A file path, or for a DVD title the "stream:" locator of an in-memory stream, which only
  // means something in the run that made it.
  ZEMBRA_PLAIN_PROPERTY(std::string, SourceFile, {})
  ZEMBRA_PLAIN_PROPERTY(TAVSourceType, SourceType, TAVSourceType::stFile)
  // The DVD selection, kept so that the source can be recognised later.
  ZEMBRA_PLAIN_PROPERTY(std::string, DvdDriver, {})
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, DvdTitle, 0)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, DvdChapter, 0)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, DvdThrough, 0)
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, DvdAngle, 0)
  ZEMBRA_PLAIN_PROPERTY(std::string, DvdVolume, {})
  ZEMBRA_PLAIN_PROPERTY(std::string, TargetFile, {})
  // The applied profile's description; shown only, never resolved back to a profile.
  ZEMBRA_PLAIN_PROPERTY(std::string, Profile, {})
  ZEMBRA_PLAIN_PROPERTY(std::int32_t, CategoryId, 0)

 public:
  const engine::TAVConvertOptions& ConvertOptions() const { return FConvertOptions; }
  engine::TAVConvertOptions& ConvertOptions() { return FConvertOptions; }
  // Copies into the owned options; the object itself is never replaced.
  void SetConvertOptions(const engine::TAVConvertOptions& value) { FConvertOptions.Assign(value); }

 private:
  engine::TAVConvertOptions FConvertOptions;

  // Seconds; 0 until the conversion has completed.
  ZEMBRA_PLAIN_PROPERTY(double, Duration, 0.0)
  // Bytes; 0 until the running task is first shown.
  ZEMBRA_PLAIN_PROPERTY(std::int64_t, SourceFileSize, 0)
};

// The stored text form: compact XML of the published properties. Throws PersistenceError for a
// text that cannot be stored (not UTF-8, characters XML cannot carry).
std::string SettingsToText(const TConversionSettings& settings);
// Fills `settings`, which should be newly constructed so that what the text leaves out keeps
// its initial value. Throws PersistenceError when the text cannot be read.
void SettingsFromText(std::string_view text, TConversionSettings& settings);

}  // namespace zembra::tasks
