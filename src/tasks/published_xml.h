// Published properties as XML: the element form shared by the task settings text and the
// configuration file.
//
// A document is <data PropFormat="node"><ClassName>...</ClassName></data>. Inside the class
// element each published property that has something to say becomes one element named after
// it, in declaration order: texts when not empty, ordinals (integers, enumerations by value
// name, Booleans as 1/0) when they differ from their declared default or have none, floats and
// 64-bit integers when not zero, owned objects when they hold at least one element, string lists
// always (attribute Count, one element l<i> per non-empty line i). Floats are written in the
// shortest form that reads back to the same value, with "." whatever the locale.
//
// Reading walks the same property tables. Names match without regard to ASCII case and the
// first matching element wins. A missing element reads as empty text, 0.0, or the declared
// default of an ordinal; a 64-bit integer, a list, an owned object, or an ordinal without a
// declared default keeps the value it had. Values go through the class's setters.
//
// Two readers share these rules and differ in what a fault does. The strict one (task
// settings) refuses a document that is not well-formed or holds a value that cannot be read,
// with PersistenceError. The tolerant one (the configuration, which must never keep the
// program from starting) keeps whatever was read before a parse fault, leaves every property it
// never reached as it was, and reads a damaged value as if its element were missing.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/persistent.h"

namespace zembra::tasks {

// A stored text that cannot be written or read back.
class PersistenceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Implemented by persistent classes whose properties have a safe value for damaged input that
// the property table cannot express (an ordinal without a declared default, a range).
class TReadFallback {
 public:
  virtual ~TReadFallback() = default;
  // What `info` takes when its element is missing or its value is refused; nullopt leaves
  // the common rules in charge.
  virtual std::optional<engine::PropertyValue> FallbackValue(
      const engine::PropertyInfo& info) const = 0;
  // Whether a value read for `info` may be kept.
  virtual bool Accepts(const engine::PropertyInfo& info,
                       const engine::PropertyValue& value) const = 0;
};

enum class XmlLayout {
  kCompact,   // no declaration, no whitespace between elements (the task settings text)
  kIndented,  // one element a line, two spaces a level (the configuration file)
};

// The document for `object`, UTF-8, without an XML declaration or byte-order mark. Throws
// PersistenceError for a text that is not UTF-8 or holds characters XML cannot carry.
std::string WritePublishedXml(const engine::TPersistent& object, XmlLayout layout);

// Fills `object` from `document`; throws PersistenceError on the first fault.
void ReadPublishedXml(std::string_view document, engine::TPersistent& object);

struct TolerantReadResult {
  // Empty when the whole document was well-formed and every value could be read; otherwise
  // what went wrong first.
  std::string problem;
};

// Fills `object` from `document` as far as it can be read; never throws PersistenceError.
TolerantReadResult ReadPublishedXmlTolerantly(std::string_view document,
                                              engine::TPersistent& object);

// The text of a float property: shortest form that reads back as the same value, "." as
// decimal separator in every locale. `single` formats the value as a 32-bit float.
std::string FormatStoredReal(double value, bool single);

}  // namespace zembra::tasks
