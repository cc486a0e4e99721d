// The built-in profile catalogue: the category captions and 147 profiles, in catalogue order.
//
// The catalogue is one table of data (catalogue.cpp). The first six entries have no category
// and are never listed; the others are listed under their category, in catalogue order, which
// is not grouped by category. User profiles replace the editable entries at start-up
// (profile_store.h).
#pragma once

#include <array>
#include <string_view>

#include "profiles/profile.h"

namespace zembra::profiles {

// In the order the wizard shows them.
extern const std::array<std::string_view, 21> kCategoryCaptions;
inline constexpr int kCatalogueSize = 147;

// Sets the category captions of `list` and appends the built-in profiles.
void BuildCatalogue(TAVProfileList& list);

}  // namespace zembra::profiles
