#include "profiles/profile_store.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>
#include <algorithm>

#include "app/configuration.h"
#include "media/reporting.h"
#include "profiles/ini_file.h"

namespace zembra::profiles {
namespace {

std::string Key(std::string_view stem, int index) {
  return std::string(stem) + std::to_string(index);
}

template <typename Enum>
Enum ReadOrdinal(const IniFile& ini, std::string_view stem, int index, Enum current) {
  return static_cast<Enum>(
      ini.ReadInteger(kProfileSection, Key(stem, index), static_cast<std::int32_t>(current)));
}

template <typename Enum>
void WriteOrdinal(IniFile& ini, std::string_view stem, int index, Enum value) {
  ini.WriteInteger(kProfileSection, Key(stem, index), static_cast<std::int32_t>(value));
}

QString ToQString(const std::string& text) { return QString::fromStdString(text); }

// The file's bytes, or nullopt with `error` set when it cannot be read.
std::optional<QByteArray> ReadFileBytes(const std::string& path, std::string& error) {
  QFile file(ToQString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    error = file.errorString().toStdString();
    return std::nullopt;
  }
  QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    error = file.errorString().toStdString();
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

// --- The profiles' own keys

void TAVProfile::SaveToIni(IniFile& ini, int index) const {
  ini.WriteString(kProfileSection, Key("Description", index), Description());
  ini.WriteString(kProfileSection, Key("Extension", index), Extension());
  ini.WriteString(kProfileSection, Key("Category", index), Category());
}

void TAVProfile::LoadFromIni(const IniFile& ini, int index) {
  SetDescription(ini.ReadString(kProfileSection, Key("Description", index), Description()));
  SetExtension(ini.ReadString(kProfileSection, Key("Extension", index), Extension()));
  SetCategory(ini.ReadString(kProfileSection, Key("Category", index), Category()));
}

void TAVCustomAudioProfile::SaveToIni(IniFile& ini, int index) const {
  TAVProfile::SaveToIni(ini, index);
  ini.WriteBool(kProfileSection, Key("IsVideo", index), false);
  ini.WriteInteger(kProfileSection, Key("SampleRate", index), SampleRate());
  WriteOrdinal(ini, "AudioEncoder", index, AudioEncoder());
  WriteOrdinal(ini, "AudioChannels", index, AudioChannels());
  ini.WriteFloat(kProfileSection, Key("AudioBitrate", index), AudioBitrate());
  WriteOrdinal(ini, "Format", index, Format());
  ini.WriteString(kProfileSection, Key("Options", index), CommaText(Options()));
}

void TAVCustomAudioProfile::LoadFromIni(const IniFile& ini, int index) {
  TAVProfile::LoadFromIni(ini, index);
  SetSampleRate(ini.ReadInteger(kProfileSection, Key("SampleRate", index), SampleRate()));
  SetAudioEncoder(ReadOrdinal(ini, "AudioEncoder", index, AudioEncoder()));
  SetAudioChannels(ReadOrdinal(ini, "AudioChannels", index, AudioChannels()));
  SetAudioBitrate(ini.ReadFloat(kProfileSection, Key("AudioBitrate", index), AudioBitrate()));
  SetFormat(ReadOrdinal(ini, "Format", index, Format()));
  if (const auto options = ini.Read(kProfileSection, Key("Options", index))) {
    SetOptions(ParseCommaText(*options));
  }
}

void TAVCustomVideoProfile::SaveToIni(IniFile& ini, int index) const {
  TAVCustomAudioProfile::SaveToIni(ini, index);
  ini.WriteBool(kProfileSection, Key("IsVideo", index), true);
  ini.WriteInteger(kProfileSection, Key("FrameWidth", index), FrameWidth());
  ini.WriteInteger(kProfileSection, Key("FrameHeight", index), FrameHeight());
  WriteOrdinal(ini, "VideoEncoder", index, VideoEncoder());
  WriteOrdinal(ini, "FrameRate", index, FrameRate());
  ini.WriteInteger(kProfileSection, Key("VideoBitrate", index), VideoBitrate());
}

void TAVCustomVideoProfile::LoadFromIni(const IniFile& ini, int index) {
  TAVCustomAudioProfile::LoadFromIni(ini, index);
  SetFrameWidth(ini.ReadInteger(kProfileSection, Key("FrameWidth", index), FrameWidth()));
  SetFrameHeight(ini.ReadInteger(kProfileSection, Key("FrameHeight", index), FrameHeight()));
  SetVideoEncoder(ReadOrdinal(ini, "VideoEncoder", index, VideoEncoder()));
  SetFrameRate(ReadOrdinal(ini, "FrameRate", index, FrameRate()));
  SetVideoBitrate(ini.ReadInteger(kProfileSection, Key("VideoBitrate", index), VideoBitrate()));
}

// --- The file

std::string ProfilesFile() { return app::TAVConfiguration::GetAppDataFolder() + kProfilesFileName; }

void LoadProfiles(TAVProfileList& list) {
  const std::string path = ProfilesFile();
  if (QFileInfo::exists(ToQString(path))) LoadProfiles(list, path);
}

bool LoadProfiles(TAVProfileList& list, const std::string& path) {
  std::string error;
  const std::optional<QByteArray> bytes = ReadFileBytes(path, error);
  if (!bytes) {
    media::ShowError("Could not read the profile file " + path + ": " + error);
    return false;
  }
  const IniFile ini(std::string_view(bytes->constData(), static_cast<std::size_t>(bytes->size())));

  list.ClearCustomProfiles();
  const int count = ini.ReadInteger(kProfileSection, "ProfileCount", 0);
  if (count > kMaxProfileEntries) {
    media::ReportDiagnostic("The profile file " + path + " claims " + std::to_string(count) +
                            " profiles; only the first " + std::to_string(kMaxProfileEntries) +
                            " are read.");
  }
  const int entries = std::clamp(count, 0, kMaxProfileEntries);
  for (int i = 0; i < entries; ++i) {
    std::unique_ptr<TAVCustomAudioProfile> profile;
    if (ini.ReadBool(kProfileSection, Key("IsVideo", i), false)) {
      profile = std::make_unique<TAVCustomVideoProfile>();
    } else {
      profile = std::make_unique<TAVCustomAudioProfile>();
    }
    profile->LoadFromIni(ini, i);
    list.Add(std::move(profile));
  }
  return true;
}

void SaveProfiles(const TAVProfileList& list) {
  const std::string folder = app::TAVConfiguration::GetAppDataFolder();
  if (!QDir().mkpath(ToQString(folder))) {
    throw ProfileStoreError("Could not create the folder " + folder);
  }
  SaveProfiles(list, folder + kProfilesFileName);
}

void SaveProfiles(const TAVProfileList& list, const std::string& path) {
  // What the file holds besides the entries written now stays in it.
  IniFile ini;
  if (QFileInfo::exists(ToQString(path))) {
    std::string error;
    const std::optional<QByteArray> bytes = ReadFileBytes(path, error);
    if (!bytes) throw ProfileStoreError("Could not read the profile file " + path + ": " + error);
    ini = IniFile(std::string_view(bytes->constData(), static_cast<std::size_t>(bytes->size())));
  }

  int count = 0;
  for (int i = 0; i < list.Count(); ++i) {
    const TAVProfile& profile = list.Profiles(i);
    if (!profile.IsEditable()) continue;
    profile.SaveToIni(ini, count);
    ++count;
  }
  ini.WriteInteger(kProfileSection, "ProfileCount", count);

  const std::string text = ini.Text();
  QSaveFile file(ToQString(path));
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(text.data(), static_cast<qint64>(text.size())) !=
          static_cast<qint64>(text.size()) ||
      !file.commit()) {
    throw ProfileStoreError("Could not write the profile file " + path + ": " +
                            file.errorString().toStdString());
  }
}

}  // namespace zembra::profiles
