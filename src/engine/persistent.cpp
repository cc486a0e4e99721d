#include "engine/persistent.h"

#include <stdexcept>
#include <string>

namespace zembra::engine {

void TPersistent::Assign(const TPersistent& source) {
  throw std::invalid_argument("Cannot assign a " + std::string(source.ClassName()) + " to a " +
                              std::string(ClassName()));
}

const PropertyInfo* TPersistent::FindProperty(std::string_view name) const {
  for (const PropertyInfo& info : PublishedProperties()) {
    if (SameTextIgnoringCase(info.name, name)) return &info;
  }
  return nullptr;
}

TPersistent& PropertyObject(const PropertyInfo& info, TPersistent& owner) {
  if (info.kind != PropertyKind::kObject || info.object == nullptr) {
    throw std::logic_error("property " + std::string(info.name) + " does not hold an object");
  }
  return *info.object(owner);
}

const TPersistent& PropertyObject(const PropertyInfo& info, const TPersistent& owner) {
  // Reaching the owned object does not change the owner.
  return PropertyObject(info, const_cast<TPersistent&>(owner));
}

}  // namespace zembra::engine
