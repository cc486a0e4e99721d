// Looking up output profiles by description for zembra-cli.
#pragma once

#include <string>
#include <vector>

#include "cli/arguments.h"
#include "profiles/profile.h"

namespace zembra::cli {

// The built-in catalogue followed by the user's profiles.
void LoadAllProfiles(profiles::TAVProfileList& list);
// The profile whose description is exactly `description`, or null.
const profiles::TAVProfile* FindProfile(const profiles::TAVProfileList& list,
                                        const std::string& description);
// Up to `count` descriptions closest to `description`, closest first.
std::vector<std::string> NearestProfileNames(const profiles::TAVProfileList& list,
                                             const std::string& description, std::size_t count);

int RunProfiles(const Request& request);

}  // namespace zembra::cli
