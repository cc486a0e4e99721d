#include "tasks/conversion_settings.h"

#include "tasks/published_xml.h"

namespace zembra::tasks {

const std::array<std::string_view, 2> kSourceTypeNames = {"stFile", "stDvd"};

void TConversionSettings::Assign(const engine::TPersistent& source) {
  const auto* from = dynamic_cast<const TConversionSettings*>(&source);
  if (from == nullptr) return TPersistent::Assign(source);
  if (from == this) return;
  SetSourceFile(from->SourceFile());
  SetSourceType(from->SourceType());
  SetDvdDriver(from->DvdDriver());
  SetDvdTitle(from->DvdTitle());
  SetDvdChapter(from->DvdChapter());
  SetDvdThrough(from->DvdThrough());
  SetDvdAngle(from->DvdAngle());
  SetDvdVolume(from->DvdVolume());
  SetTargetFile(from->TargetFile());
  SetProfile(from->Profile());
  SetCategoryId(from->CategoryId());
  SetConvertOptions(from->ConvertOptions());
  SetDuration(from->Duration());
  SetSourceFileSize(from->SourceFileSize());
}

std::span<const engine::PropertyInfo> TConversionSettings::PublishedProperties() const {
  using C = TConversionSettings;
  using engine::MakeObjectProperty;
  using engine::MakeProperty;
  static const engine::PropertyInfo properties[] = {
      MakeProperty<&C::SourceFile, &C::SetSourceFile>("SourceFile"),
      MakeProperty<&C::SourceType, &C::SetSourceType>("SourceType", std::nullopt, kSourceTypeNames),
      MakeProperty<&C::DvdDriver, &C::SetDvdDriver>("DvdDriver"),
      MakeProperty<&C::DvdTitle, &C::SetDvdTitle>("DvdTitle"),
      MakeProperty<&C::DvdChapter, &C::SetDvdChapter>("DvdChapter"),
      MakeProperty<&C::DvdThrough, &C::SetDvdThrough>("DvdThrough"),
      MakeProperty<&C::DvdAngle, &C::SetDvdAngle>("DvdAngle"),
      MakeProperty<&C::DvdVolume, &C::SetDvdVolume>("DvdVolume"),
      MakeProperty<&C::TargetFile, &C::SetTargetFile>("TargetFile"),
      MakeProperty<&C::Profile, &C::SetProfile>("Profile"),
      MakeProperty<&C::CategoryId, &C::SetCategoryId>("CategoryId"),
      MakeObjectProperty<&C::FConvertOptions>("ConvertOptions"),
      MakeProperty<&C::Duration, &C::SetDuration>("Duration"),
      MakeProperty<&C::SourceFileSize, &C::SetSourceFileSize>("SourceFileSize"),
  };
  return properties;
}

std::string SettingsToText(const TConversionSettings& settings) {
  return WritePublishedXml(settings, XmlLayout::kCompact);
}

void SettingsFromText(std::string_view text, TConversionSettings& settings) {
  ReadPublishedXml(text, settings);
}

}  // namespace zembra::tasks
