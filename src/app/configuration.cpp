#include "app/configuration.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QString>
#include <filesystem>
#include <system_error>

#include "app/process_priority.h"
#include "media/reporting.h"

namespace zembra::app {
namespace {

std::string DefaultOutputFolder() {
  return (QDir::homePath() + QStringLiteral("/Conversion")).toStdString();
}

bool InRange(const engine::PropertyValue& value, std::int64_t low, std::int64_t high) {
  const auto* number = std::get_if<std::int64_t>(&value);
  return number != nullptr && *number >= low && *number <= high;
}

}  // namespace

// --- TPerformanceOptions

void TPerformanceOptions::Assign(const engine::TPersistent& source) {
  const auto* from = dynamic_cast<const TPerformanceOptions*>(&source);
  if (from == nullptr) return TPersistent::Assign(source);
  SetThreadCount(from->ThreadCount());
  SetThreadPrority(from->ThreadPrority());
}

std::span<const engine::PropertyInfo> TPerformanceOptions::PublishedProperties() const {
  using C = TPerformanceOptions;
  // No declared defaults: both values are always written.
  static const engine::PropertyInfo properties[] = {
      engine::MakeProperty<&C::ThreadCount, &C::SetThreadCount>("ThreadCount"),
      engine::MakeProperty<&C::ThreadPrority, &C::SetThreadPrority>("ThreadPrority"),
  };
  return properties;
}

std::optional<engine::PropertyValue> TPerformanceOptions::FallbackValue(
    const engine::PropertyInfo& info) const {
  if (info.name == "ThreadCount") return std::int64_t{kAutomaticThreadCount};
  if (info.name == "ThreadPrority") return std::int64_t{kNormalPriority};
  return std::nullopt;
}

bool TPerformanceOptions::Accepts(const engine::PropertyInfo& info,
                                  const engine::PropertyValue& value) const {
  if (info.name == "ThreadCount") return InRange(value, 0, kMaxThreadCount);
  if (info.name == "ThreadPrority") return InRange(value, 0, kMaxPriority);
  return true;
}

// --- TAVConfiguration

TAVConfiguration::TAVConfiguration() : FOutputFolder(DefaultOutputFolder()) {}

void TAVConfiguration::Assign(const engine::TPersistent& source) {
  const auto* from = dynamic_cast<const TAVConfiguration*>(&source);
  if (from == nullptr) return TPersistent::Assign(source);
  SetPerformanceOptions(from->PerformanceOptions());
  SetShutdownWhenDone(from->ShutdownWhenDone());
  SetOutputFolder(from->OutputFolder());
  SetShowAlert(from->ShowAlert());
}

std::span<const engine::PropertyInfo> TAVConfiguration::PublishedProperties() const {
  using C = TAVConfiguration;
  static const engine::PropertyInfo properties[] = {
      engine::MakeObjectProperty<&C::FPerformanceOptions>("PerformanceOptions"),
      engine::MakeProperty<&C::ShutdownWhenDone, &C::SetShutdownWhenDone>("ShutdownWhenDone", 0),
      engine::MakeProperty<&C::OutputFolder, &C::SetOutputFolder>("OutputFolder"),
      engine::MakeProperty<&C::ShowAlert, &C::SetShowAlert>("ShowAlert", 1),
  };
  return properties;
}

std::string TAVConfiguration::GetAppDataFolder() {
  QString base = qEnvironmentVariable("XDG_DATA_HOME");
  // XDG rules: a relative value is to be ignored.
  if (base.isEmpty() || QDir::isRelativePath(base))
    base = QDir::homePath() + QStringLiteral("/.local/share");
  return (QDir::cleanPath(base) + QStringLiteral("/Quillon/ZembraCHS/")).toStdString();
}

std::string TAVConfiguration::GetConfigFile() { return GetAppDataFolder() + kConfigFileName; }

void TAVConfiguration::Load() {
  const std::string file = GetConfigFile();
  std::error_code error;
  if (!std::filesystem::exists(file, error)) {
    try {
      Save();
    } catch (const ConfigurationError& failure) {
      // The program runs on with the values it has; the next save tries again.
      media::ShowError(failure.what());
      return;
    }
  }
  LoadFromFile(file);
}

bool TAVConfiguration::LoadFromFile(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    media::ReportDiagnostic("Cannot read " + path + ": " + file.errorString().toStdString());
    return false;
  }
  const QByteArray bytes = file.readAll();
  const tasks::TolerantReadResult result = tasks::ReadPublishedXmlTolerantly(
      std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), *this);
  if (!result.problem.empty()) {
    media::ReportDiagnostic(path + ": " + result.problem);
    return false;
  }
  return true;
}

void TAVConfiguration::Save() {
  const std::string folder = GetAppDataFolder();
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw ConfigurationError("Cannot create " + folder + ": " + error.message());
  ApplyProcessPriority(PerformanceOptions().ThreadPrority());
  SaveToFile(GetConfigFile());
}

void TAVConfiguration::SaveToFile(const std::string& path) const {
  std::string text;
  try {
    text = tasks::WritePublishedXml(*this, tasks::XmlLayout::kIndented);
  } catch (const tasks::PersistenceError& failure) {
    throw ConfigurationError("Cannot write " + path + ": " + failure.what());
  }
  // Written beside the old file and renamed over it: a crash never leaves half a file.
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(text.data(), static_cast<qint64>(text.size())) !=
          static_cast<qint64>(text.size()) ||
      !file.commit()) {
    throw ConfigurationError("Cannot write " + path + ": " + file.errorString().toStdString());
  }
}

TAVConfiguration& AVConfiguration() {
  static TAVConfiguration configuration;
  return configuration;
}

}  // namespace zembra::app
