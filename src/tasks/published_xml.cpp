#include "tasks/published_xml.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QXmlStreamAttributes>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <charconv>
#include <cstdint>
#include <system_error>
#include <utility>
#include <vector>

namespace zembra::tasks {
namespace {

using engine::PropertyInfo;
using engine::PropertyKind;
using engine::PropertyValue;
using engine::TPersistent;
using engine::TStringList;

constexpr char kDocumentElement[] = "data";
constexpr char kFormatAttribute[] = "PropFormat";
constexpr char kCountAttribute[] = "Count";
// A damaged Count must not make the reader allocate without bound; real lists hold a few
// dozen lines.
constexpr std::int64_t kMaxListLines = 1 << 16;
// Stored objects nest three levels deep; anything far deeper is not ours, and the tree reader
// recurses once a level.
constexpr int kMaxNesting = 64;

// ---------------------------------------------------------------- writing

struct OutElement {
  std::string name;
  std::string text;
  std::optional<std::string> count;
  std::vector<OutElement> children;
};

// Refuses text the document could not give back unchanged.
void CheckStorable(std::string_view property, const std::string& text) {
  const QString decoded = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (decoded.toUtf8() != QByteArray(text.data(), static_cast<qsizetype>(text.size()))) {
    throw PersistenceError("The text of " + std::string(property) + " is not valid UTF-8");
  }
  for (const QChar c : decoded) {
    const char16_t u = c.unicode();
    const bool allowed_control = u == u'\t' || u == u'\n' || u == u'\r';
    if ((u < 0x20 && !allowed_control) || u == 0xFFFE || u == 0xFFFF) {
      throw PersistenceError("The text of " + std::string(property) +
                             " holds a character that cannot be stored");
    }
  }
}

// "l" and the line's index.
std::string LineName(std::size_t index) {
  std::string name(1, 'l');
  name += std::to_string(index);
  return name;
}

void CollectProperties(const TPersistent& object, std::vector<OutElement>& out) {
  for (const PropertyInfo& info : object.PublishedProperties()) {
    OutElement element{std::string(info.name), {}, std::nullopt, {}};
    switch (info.kind) {
      case PropertyKind::kObject:
        CollectProperties(engine::PropertyObject(info, object), element.children);
        if (element.children.empty()) continue;
        break;
      case PropertyKind::kString:
        element.text = std::get<std::string>(info.get(object));
        if (element.text.empty()) continue;
        CheckStorable(info.name, element.text);
        break;
      case PropertyKind::kInteger:
      case PropertyKind::kEnumeration: {
        const std::int64_t value = std::get<std::int64_t>(info.get(object));
        if (info.declared_default == value) continue;
        if (info.kind == PropertyKind::kInteger) {
          element.text = std::to_string(value);
        } else if (value >= 0 && static_cast<std::size_t>(value) < info.enum_names.size()) {
          element.text = info.enum_names[static_cast<std::size_t>(value)];
        } else {
          throw PersistenceError("No name for value " + std::to_string(value) + " of " +
                                 element.name);
        }
        break;
      }
      case PropertyKind::kBoolean: {
        const std::int64_t value = std::get<bool>(info.get(object)) ? 1 : 0;
        if (info.declared_default == value) continue;
        element.text.assign(1, value != 0 ? '1' : '0');
        break;
      }
      case PropertyKind::kInt64: {
        const std::int64_t value = std::get<std::int64_t>(info.get(object));
        if (value == 0) continue;
        element.text = std::to_string(value);
        break;
      }
      case PropertyKind::kSingle:
      case PropertyKind::kDouble: {
        const double value = std::get<double>(info.get(object));
        if (value == 0.0) continue;
        element.text = FormatStoredReal(value, info.kind == PropertyKind::kSingle);
        break;
      }
      case PropertyKind::kStringList: {
        const TStringList lines = std::get<TStringList>(info.get(object));
        element.count = std::to_string(lines.Count());
        for (std::size_t i = 0; i < lines.Count(); ++i) {
          if (lines[i].empty()) continue;
          CheckStorable(info.name, lines[i]);
          element.children.push_back({LineName(i), lines[i], std::nullopt, {}});
        }
        break;
      }
    }
    out.push_back(std::move(element));
  }
}

void WriteText(QXmlStreamWriter& writer, const std::string& text) {
  // A bare carriage return would come back as a line feed (end-of-line normalisation), so it
  // travels as a character reference.
  const QStringList pieces =
      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).split(u'\r');
  for (qsizetype i = 0; i < pieces.size(); ++i) {
    if (i > 0) writer.writeEntityReference(QStringLiteral("#13"));
    if (!pieces[i].isEmpty()) writer.writeCharacters(pieces[i]);
  }
}

void Emit(QXmlStreamWriter& writer, const OutElement& element) {
  writer.writeStartElement(QString::fromStdString(element.name));
  if (element.count) {
    writer.writeAttribute(QLatin1StringView(kCountAttribute),
                          QString::fromStdString(*element.count));
  }
  for (const OutElement& child : element.children) Emit(writer, child);
  if (!element.text.empty()) WriteText(writer, element.text);
  writer.writeEndElement();
}

// ---------------------------------------------------------------- reading

// The document as a tree. An element whose end tag was never reached (the parse stopped
// inside it) is not complete: what it holds so far may be cut short.
struct InElement {
  QString name;
  QXmlStreamAttributes attributes;
  QString text;
  std::vector<InElement> children;
  bool complete = false;
};

void ParseContent(QXmlStreamReader& reader, InElement& element, int depth) {
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::StartElement: {
        if (depth >= kMaxNesting) {
          reader.raiseError(QStringLiteral("Elements nested too deeply"));
          return;
        }
        element.children.push_back({reader.name().toString(), reader.attributes(), {}, {}, false});
        ParseContent(reader, element.children.back(), depth + 1);
        if (reader.hasError()) return;
        break;
      }
      case QXmlStreamReader::Characters:
        element.text += reader.text();
        break;
      case QXmlStreamReader::EndElement:
        element.complete = true;
        return;
      default:
        break;
    }
  }
}

struct ParsedDocument {
  std::optional<InElement> root;
  std::string error;  // empty when well-formed
};

ParsedDocument Parse(std::string_view document) {
  ParsedDocument parsed;
  QXmlStreamReader reader(QByteArray(document.data(), static_cast<qsizetype>(document.size())));
  while (!reader.atEnd() && !parsed.root) {
    if (reader.readNext() == QXmlStreamReader::StartElement) {
      parsed.root = InElement{reader.name().toString(), reader.attributes(), {}, {}, false};
      ParseContent(reader, *parsed.root, 1);
    }
  }
  // Whatever follows the document element must be well-formed too.
  while (!reader.atEnd()) reader.readNext();
  if (reader.hasError()) {
    parsed.error = "Malformed XML at line " + std::to_string(reader.lineNumber()) + ", column " +
                   std::to_string(reader.columnNumber()) + ": " +
                   reader.errorString().toStdString();
  } else if (!parsed.root) {
    parsed.error = "The document holds no element";
  }
  return parsed;
}

bool SameName(QStringView a, std::string_view b) {
  if (a.size() != static_cast<qsizetype>(b.size())) return false;
  for (qsizetype i = 0; i < a.size(); ++i) {
    const char16_t x = a[i].unicode();
    const auto y = static_cast<unsigned char>(b[static_cast<std::size_t>(i)]);
    const auto lower = [](char16_t c) -> char16_t {
      return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    if (lower(x) != lower(y)) return false;
  }
  return true;
}

const InElement* FindChild(const InElement& parent, std::string_view name) {
  for (const InElement& child : parent.children) {
    if (SameName(child.name, name)) return &child;
  }
  return nullptr;
}

std::optional<QString> FindAttribute(const InElement& element, std::string_view name) {
  for (const QXmlStreamAttribute& attribute : element.attributes) {
    if (SameName(attribute.name(), name)) return attribute.value().toString();
  }
  return std::nullopt;
}

// The number's characters without surrounding blanks and without a leading "+", which
// from_chars does not take; empty when nothing number-like is left.
std::string NumberText(const QString& text) {
  std::string digits = text.trimmed().toStdString();
  if (!digits.empty() && digits.front() == '+') {
    digits.erase(0, 1);
    if (!digits.empty() && digits.front() == '-') return {};
  }
  return digits;
}

template <typename Integer>
std::optional<Integer> ParseInteger(const QString& text) {
  const std::string digits = NumberText(text);
  const char* first = digits.data();
  const char* last = first + digits.size();
  Integer value{};
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last || first == last) return std::nullopt;
  return value;
}

std::optional<double> ParseReal(const QString& text) {
  const std::string digits = NumberText(text);
  const char* first = digits.data();
  const char* last = first + digits.size();
  double value = 0.0;
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
  if (error != std::errc() || end != last || first == last) return std::nullopt;
  return value;
}

enum class Form { kNode, kAttribute };
enum class Strictness { kStrict, kTolerant };

class Reader {
 public:
  Reader(Form form, Strictness strictness) : form_(form), strictness_(strictness) {}

  void ReadObject(const InElement& element, TPersistent& object) {
    for (const PropertyInfo& info : object.PublishedProperties()) {
      if (info.kind == PropertyKind::kObject) {
        // A missing object element leaves the whole object as it is.
        if (const InElement* child = FindChild(element, info.name)) {
          ReadObject(*child, engine::PropertyObject(info, object));
        }
      } else if (info.kind == PropertyKind::kStringList) {
        if (const InElement* child = FindChild(element, info.name)) ReadList(*child, info, object);
      } else {
        ReadValue(element, info, object);
      }
    }
  }

  const std::string& problem() const { return problem_; }

 private:
  void ReadValue(const InElement& element, const PropertyInfo& info, TPersistent& object) {
    std::optional<QString> text;
    if (form_ == Form::kAttribute) {
      text = FindAttribute(element, info.name);
    } else if (const InElement* child = FindChild(element, info.name)) {
      // Cut short by a parse fault: the text may be a fragment, so the value stays.
      if (!child->complete) return;
      text = child->text;
    } else if (!element.complete) {
      // The parse stopped before the element could appear: not known to be missing.
      return;
    }
    if (!text) {
      ApplyMissing(info, object);
      return;
    }
    std::optional<PropertyValue> value = Convert(*text, info);
    if (!value) {
      Damaged("Invalid value \"" + text->toStdString() + "\" for " + std::string(info.name), info,
              object);
      return;
    }
    if (const auto* fallback = dynamic_cast<const TReadFallback*>(&object);
        fallback != nullptr && !fallback->Accepts(info, *value)) {
      Damaged("Value \"" + text->toStdString() + "\" out of range for " + std::string(info.name),
              info, object);
      return;
    }
    info.set(object, *value);
  }

  void ReadList(const InElement& element, const PropertyInfo& info, TPersistent& object) {
    // A list cut short by a parse fault stays as it was rather than losing its tail.
    if (!element.complete && form_ == Form::kNode) return;
    const std::optional<QString> count_text = FindAttribute(element, kCountAttribute);
    const std::optional<std::int64_t> count =
        count_text ? ParseInteger<std::int64_t>(*count_text) : std::nullopt;
    if (!count || *count < 0 || *count > kMaxListLines) {
      Damaged("Invalid line count for " + std::string(info.name), info, object);
      return;
    }
    std::vector<std::string> lines(static_cast<std::size_t>(*count));
    std::vector<bool> filled(lines.size(), false);
    const auto take = [&](QStringView name, const QString& text) {
      if (name.size() < 2 || (name[0] != u'l' && name[0] != u'L')) return;
      for (const QChar c : name.mid(1)) {
        if (c < u'0' || c > u'9') return;
      }
      const std::optional<std::int64_t> index = ParseInteger<std::int64_t>(name.mid(1).toString());
      if (!index || *index >= *count) return;
      const auto at = static_cast<std::size_t>(*index);
      if (filled[at]) return;  // the first element of a name wins
      filled[at] = true;
      lines[at] = text.toStdString();
    };
    if (form_ == Form::kAttribute) {
      for (const QXmlStreamAttribute& attribute : element.attributes) {
        take(attribute.name(), attribute.value().toString());
      }
    } else {
      for (const InElement& child : element.children) take(child.name, child.text);
    }
    TStringList list;
    for (std::string& line : lines) list.Add(std::move(line));
    info.set(object, list);
  }

  static std::optional<PropertyValue> Convert(const QString& text, const PropertyInfo& info) {
    switch (info.kind) {
      case PropertyKind::kString:
        return text.toStdString();
      case PropertyKind::kInteger:
        if (auto value = ParseInteger<std::int32_t>(text)) return std::int64_t{*value};
        return std::nullopt;
      case PropertyKind::kInt64:
        if (auto value = ParseInteger<std::int64_t>(text)) return *value;
        return std::nullopt;
      case PropertyKind::kSingle:
      case PropertyKind::kDouble:
        if (auto value = ParseReal(text)) return *value;
        return std::nullopt;
      case PropertyKind::kBoolean: {
        const QString flag = text.trimmed();
        if (flag == u"1") return true;
        if (flag == u"0") return false;
        return std::nullopt;
      }
      case PropertyKind::kEnumeration: {
        const QString name = text.trimmed();
        for (std::size_t i = 0; i < info.enum_names.size(); ++i) {
          if (SameName(name, info.enum_names[i])) return static_cast<std::int64_t>(i);
        }
        return std::nullopt;
      }
      case PropertyKind::kStringList:
      case PropertyKind::kObject:
        break;
    }
    return std::nullopt;
  }

  static void ApplyMissing(const PropertyInfo& info, TPersistent& object) {
    if (const auto* fallback = dynamic_cast<const TReadFallback*>(&object)) {
      if (std::optional<PropertyValue> value = fallback->FallbackValue(info)) {
        info.set(object, *value);
        return;
      }
    }
    switch (info.kind) {
      case PropertyKind::kString:
        info.set(object, std::string());
        break;
      case PropertyKind::kSingle:
      case PropertyKind::kDouble:
        info.set(object, 0.0);
        break;
      case PropertyKind::kInteger:
      case PropertyKind::kEnumeration:
        if (info.declared_default) info.set(object, *info.declared_default);
        break;
      case PropertyKind::kBoolean:
        if (info.declared_default) info.set(object, *info.declared_default != 0);
        break;
      case PropertyKind::kInt64:
      case PropertyKind::kStringList:
      case PropertyKind::kObject:
        // Keep the value: for a new object that is its initial one.
        break;
    }
  }

  void Damaged(std::string message, const PropertyInfo& info, TPersistent& object) {
    if (strictness_ == Strictness::kStrict) throw PersistenceError(message);
    if (problem_.empty()) problem_ = std::move(message);
    if (info.kind != PropertyKind::kStringList) ApplyMissing(info, object);
  }

  Form form_;
  Strictness strictness_;
  std::string problem_;
};

// Reads `document` into `object`; returns the first problem met (tolerant) or throws it
// (strict).
std::string Read(std::string_view document, TPersistent& object, Strictness strictness) {
  const ParsedDocument parsed = Parse(document);
  if (!parsed.error.empty() && strictness == Strictness::kStrict) {
    throw PersistenceError(parsed.error);
  }
  if (!parsed.root) return parsed.error;
  // The document element's own name is not checked; only its format attribute matters.
  Form form = Form::kNode;
  if (const std::optional<QString> format = FindAttribute(*parsed.root, kFormatAttribute)) {
    if (SameName(*format, "attr")) {
      form = Form::kAttribute;
    } else if (!SameName(*format, "node")) {
      const std::string message =
          "Unsupported " + std::string(kFormatAttribute) + " \"" + format->toStdString() + "\"";
      if (strictness == Strictness::kStrict) throw PersistenceError(message);
      return message;
    }
  }
  Reader reader(form, strictness);
  if (const InElement* element = FindChild(*parsed.root, object.ClassName())) {
    reader.ReadObject(*element, object);
  }
  return parsed.error.empty() ? reader.problem() : parsed.error;
}

}  // namespace

std::string FormatStoredReal(double value, bool single) {
  char buffer[64];
  const std::to_chars_result result =
      single ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value),
                             std::chars_format::general)
             : std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general);
  return std::string(buffer, result.ptr);
}

std::string WritePublishedXml(const TPersistent& object, XmlLayout layout) {
  OutElement document{kDocumentElement, {}, std::nullopt, {}};
  OutElement& class_element =
      document.children.emplace_back(OutElement{std::string(object.ClassName()), {}, {}, {}});
  CollectProperties(object, class_element.children);

  QByteArray bytes;
  QXmlStreamWriter writer(&bytes);
  if (layout == XmlLayout::kIndented) {
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(2);
  }
  writer.writeStartElement(QLatin1StringView(kDocumentElement));
  writer.writeAttribute(QLatin1StringView(kFormatAttribute), QStringLiteral("node"));
  Emit(writer, class_element);
  writer.writeEndElement();
  if (layout == XmlLayout::kIndented) {
    // The writer starts a formatted document with a line break of its own.
    while (bytes.startsWith('\n')) bytes.remove(0, 1);
    bytes.append('\n');
  }
  if (writer.hasError()) throw PersistenceError("The document could not be written");
  return bytes.toStdString();
}

void ReadPublishedXml(std::string_view document, TPersistent& object) {
  Read(document, object, Strictness::kStrict);
}

TolerantReadResult ReadPublishedXmlTolerantly(std::string_view document, TPersistent& object) {
  return {Read(document, object, Strictness::kTolerant)};
}

}  // namespace zembra::tasks
