// The user's editable profiles, kept in "Profiles.ini" in the per-user data folder.
//
// The file has one section, "Profile": "ProfileCount" and, for each entry i, the keys
// Description<i>, Extension<i>, Category<i>, IsVideo<i>, SampleRate<i>, AudioEncoder<i>,
// AudioChannels<i>, AudioBitrate<i>, Format<i>, Options<i> and, for video entries, FrameWidth<i>,
// FrameHeight<i>, VideoEncoder<i>, FrameRate<i>, VideoBitrate<i>. Enumerations are stored as
// ordinals, Options as comma text; Pass and FrameAspectRatio are not stored.
//
// Until the file exists the editable profiles are the built-in ones. Loading replaces every
// editable profile, built-in or not, by the file's entries, which then follow the fixed ones;
// saving writes every editable profile of the list, numbered in list order. A missing key keeps
// the constructor value, a key that does not hold a number where one is expected reads as that
// value too. Keys of entries past ProfileCount, and anything else in the file, are kept.
#pragma once

#include <stdexcept>
#include <string>

#include "profiles/profile.h"

namespace zembra::profiles {

inline constexpr char kProfilesFileName[] = "Profiles.ini";
inline constexpr char kProfileSection[] = "Profile";
// A damaged count must not make loading create profiles without end.
inline constexpr int kMaxProfileEntries = 10000;

// A profile file that cannot be written.
class ProfileStoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The per-user data folder followed by "Profiles.ini".
std::string ProfilesFile();

// Start-up: loads ProfilesFile() when it exists; otherwise the list stays as built in.
void LoadProfiles(TAVProfileList& list);
// Replaces the editable profiles of `list` by the entries of the file at `path`. When the file
// cannot be read the list stays as it was, the reason is shown, and the result is false.
bool LoadProfiles(TAVProfileList& list, const std::string& path);

// Writes every editable profile of `list` to ProfilesFile(), creating the data folder.
void SaveProfiles(const TAVProfileList& list);
// The same to `path`; the file is replaced whole or left as it was. Throws ProfileStoreError.
void SaveProfiles(const TAVProfileList& list, const std::string& path);

}  // namespace zembra::profiles
