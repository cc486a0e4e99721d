// Objects whose published properties are stored by name.
//
// A persistent class lists its published properties in a table, in declaration order: name,
// kind, declared default and type-erased accessors. Writers and readers of stored forms (the
// task settings text, the configuration file, the profile file) walk these tables and never
// name a field; the accessors go through the class's setters, so a stored value obeys the same
// rules as one set in code. Owned objects appear as properties of kind kObject and are walked
// recursively.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "engine/string_list.h"

namespace zembra::engine {

class TPersistent;

// Declares a property stored as it is set: the getter Name(), the setter SetName() and the
// field FName with its initial value. Leaves the class in private access.
#define ZEMBRA_PLAIN_PROPERTY(Type, Name, Initial)       \
 public:                                                 \
  const Type& Name() const { return F##Name; }           \
  void Set##Name(const Type& value) { F##Name = value; } \
                                                         \
 private:                                                \
  Type F##Name = Initial;

enum class PropertyKind {
  kInteger,  // 32-bit signed
  kInt64,    // 64-bit signed
  kSingle,   // 32-bit float
  kDouble,   // 64-bit float
  kBoolean,
  kString,       // text (also the 8-bit texts handed to the media libraries)
  kEnumeration,  // stored by value name
  kStringList,
  kObject,  // an owned persistent object, stored through its own table
};

// Integers, 64-bit integers and enumeration ordinals travel as int64; floats as double.
using PropertyValue = std::variant<std::int64_t, double, bool, std::string, TStringList>;

struct PropertyInfo {
  std::string_view name;
  PropertyKind kind;
  // The default stated for the property, which decides whether an ordinal value is written;
  // empty for properties without one (those are always written).
  std::optional<std::int64_t> declared_default;
  // Value names by ordinal, for kEnumeration.
  std::span<const std::string_view> enum_names;
  // Every kind but kObject.
  PropertyValue (*get)(const TPersistent&) = nullptr;
  void (*set)(TPersistent&, const PropertyValue&) = nullptr;
  // kObject only: the owned instance.
  TPersistent* (*object)(TPersistent&) = nullptr;
};

class TPersistent {
 public:
  virtual ~TPersistent() = default;
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;

  virtual std::string_view ClassName() const = 0;
  // Copies from `source`. The base refuses: classes accept sources of their own kind and
  // defer everything else here. Throws std::invalid_argument.
  virtual void Assign(const TPersistent& source);
  // The published properties in declaration order.
  virtual std::span<const PropertyInfo> PublishedProperties() const { return {}; }

  // The published property `name` (ASCII case ignored), or null.
  const PropertyInfo* FindProperty(std::string_view name) const;

 protected:
  TPersistent() = default;
};

// The owned object behind a kObject property.
TPersistent& PropertyObject(const PropertyInfo& info, TPersistent& owner);
const TPersistent& PropertyObject(const PropertyInfo& info, const TPersistent& owner);

// Building property tables from a class's getter and setter.
namespace property_detail {

template <typename>
struct GetterTraits;
template <typename C, typename R>
struct GetterTraits<R (C::*)() const> {
  using Class = C;
  using Value = std::remove_cvref_t<R>;
};

template <typename C, typename R>
struct GetterTraits<R (C::*)() const noexcept> : GetterTraits<R (C::*)() const> {};

template <typename>
struct MemberTraits;
template <typename C, typename T>
struct MemberTraits<T C::*> {
  using Class = C;
};

template <typename T>
constexpr PropertyKind KindOf() {
  if constexpr (std::is_same_v<T, bool>) {
    return PropertyKind::kBoolean;
  } else if constexpr (std::is_enum_v<T>) {
    return PropertyKind::kEnumeration;
  } else if constexpr (std::is_same_v<T, std::int32_t>) {
    return PropertyKind::kInteger;
  } else if constexpr (std::is_same_v<T, std::int64_t>) {
    return PropertyKind::kInt64;
  } else if constexpr (std::is_same_v<T, float>) {
    return PropertyKind::kSingle;
  } else if constexpr (std::is_same_v<T, double>) {
    return PropertyKind::kDouble;
  } else if constexpr (std::is_same_v<T, std::string>) {
    return PropertyKind::kString;
  } else {
    static_assert(std::is_same_v<T, TStringList>, "no property kind for this type");
    return PropertyKind::kStringList;
  }
}

template <typename T>
PropertyValue ToValue(const T& value) {
  if constexpr (std::is_enum_v<T> || std::is_same_v<T, std::int32_t>) {
    return static_cast<std::int64_t>(value);
  } else if constexpr (std::is_same_v<T, float>) {
    return static_cast<double>(value);
  } else {
    return value;
  }
}

template <typename T>
T FromValue(const PropertyValue& value) {
  if constexpr (std::is_enum_v<T> || std::is_same_v<T, std::int32_t>) {
    return static_cast<T>(std::get<std::int64_t>(value));
  } else if constexpr (std::is_same_v<T, float>) {
    return static_cast<float>(std::get<double>(value));
  } else {
    return std::get<T>(value);
  }
}

}  // namespace property_detail

// A property read through `Getter` (a const member function) and written through `Setter`.
template <auto Getter, auto Setter>
PropertyInfo MakeProperty(std::string_view name,
                          std::optional<std::int64_t> declared_default = std::nullopt,
                          std::span<const std::string_view> enum_names = {}) {
  using Traits = property_detail::GetterTraits<decltype(Getter)>;
  using C = typename Traits::Class;
  using T = typename Traits::Value;
  PropertyInfo info{name, property_detail::KindOf<T>(), declared_default, enum_names};
  info.get = [](const TPersistent& owner) -> PropertyValue {
    return property_detail::ToValue<T>((static_cast<const C&>(owner).*Getter)());
  };
  info.set = [](TPersistent& owner, const PropertyValue& value) {
    (static_cast<C&>(owner).*Setter)(property_detail::FromValue<T>(value));
  };
  return info;
}

// An owned object held in the data member `Member`.
template <auto Member>
PropertyInfo MakeObjectProperty(std::string_view name) {
  using C = typename property_detail::MemberTraits<decltype(Member)>::Class;
  PropertyInfo info{name, PropertyKind::kObject, std::nullopt, {}};
  info.object = [](TPersistent& owner) -> TPersistent* {
    return &(static_cast<C&>(owner).*Member);
  };
  return info;
}

}  // namespace zembra::engine
