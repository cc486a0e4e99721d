// Profiles for zembra-cli: the built-in catalogue plus the user's Profiles.ini, looked up by
// their description exactly as listed.
#include "cli/profiles_command.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "cli/commands.h"
#include "cli/output.h"
#include "profiles/catalogue.h"
#include "profiles/profile_store.h"

namespace zembra::cli {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Edit distance without regard to ASCII case, for suggesting names.
std::size_t Distance(const std::string& a_in, const std::string& b_in) {
  const std::string a = Lower(a_in);
  const std::string b = Lower(b_in);
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

void LoadAllProfiles(profiles::TAVProfileList& list) {
  profiles::BuildCatalogue(list);
  profiles::LoadProfiles(list);
}

const profiles::TAVProfile* FindProfile(const profiles::TAVProfileList& list,
                                        const std::string& description) {
  for (int i = 0; i < list.Count(); ++i) {
    if (list.Profiles(i).Description() == description) return &list.Profiles(i);
  }
  return nullptr;
}

std::vector<std::string> NearestProfileNames(const profiles::TAVProfileList& list,
                                             const std::string& description, std::size_t count) {
  std::vector<std::pair<std::size_t, std::string>> scored;
  for (int i = 0; i < list.Count(); ++i) {
    const std::string& name = list.Profiles(i).Description();
    // A name that contains what was typed is as good as a near spelling.
    const bool contains = Lower(name).find(Lower(description)) != std::string::npos;
    scored.emplace_back(contains ? 0 : Distance(name, description), name);
  }
  std::stable_sort(scored.begin(), scored.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> names;
  for (std::size_t i = 0; i < scored.size() && names.size() < count; ++i) {
    if (std::find(names.begin(), names.end(), scored[i].second) == names.end()) {
      names.push_back(scored[i].second);
    }
  }
  return names;
}

int RunProfiles(const Request& request) {
  profiles::TAVProfileList list;
  LoadAllProfiles(list);
  if (request.json) std::printf("[");
  for (int i = 0; i < list.Count(); ++i) {
    const profiles::TAVProfile& profile = list.Profiles(i);
    const profiles::ProfileAvailability availability = profile.Availability();
    if (request.json) {
      std::printf(
          "%s{\"category\":%s,\"description\":%s,\"extension\":%s,\"available\":%s,"
          "\"reason\":%s}",
          i == 0 ? "" : ",\n", JsonString(profile.Category()).c_str(),
          JsonString(profile.Description()).c_str(), JsonString(profile.Extension()).c_str(),
          availability.available ? "true" : "false", JsonString(availability.reason).c_str());
    } else {
      std::printf("%-14s  %-48s  %-8s  %s\n", profile.Category().c_str(),
                  profile.Description().c_str(), profile.Extension().c_str(),
                  availability.available ? "available" : availability.reason.c_str());
    }
  }
  if (request.json) std::printf("]\n");
  return kExitCompleted;
}

}  // namespace zembra::cli
