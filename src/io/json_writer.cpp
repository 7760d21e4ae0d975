#include "io/json_writer.h"

#include <cassert>
#include <charconv>
#include <cmath>

#include <nlohmann/json.hpp>

namespace holescan {
namespace {

// Length of the well-formed UTF-8 sequence at the start of `s`, or 0 when it is not one.
std::size_t Utf8Sequence(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (i >= s.size()) return 0;
    const unsigned char b = byte(i);
    if (i == 1 ? (b < low || b > high) : (b < 0x80 || b > 0xBF)) return 0;
  }
  return length;
}

// The length of the invalid sequence at the start of `s` that one U+FFFD replaces: the lead
// byte and the continuation bytes that were still acceptable after it.
std::size_t InvalidSequence(std::string_view s) {
  std::size_t length = 1;
  while (length < s.size() && length < 4) {
    const auto b = static_cast<unsigned char>(s[length]);
    if (b < 0x80 || b > 0xBF) break;
    // A continuation byte that the lead could not take ends the run before it.
    const auto lead = static_cast<unsigned char>(s[0]);
    if (length == 1) {
      const bool fits = (lead >= 0xC2 && lead <= 0xF4) && !(lead == 0xE0 && b < 0xA0) &&
                        !(lead == 0xED && b > 0x9F) && !(lead == 0xF0 && b < 0x90) &&
                        !(lead == 0xF4 && b > 0x8F);
      if (!fits) break;
    }
    ++length;
  }
  return length;
}

// The shortest digits that read back as the value, as nlohmann's Grisu2 finds them: where
// two are equally short and near (20628.0625f: ...062 or ...063), it does not choose as
// std::to_chars does, and the JSON files written so far must read the same.
template <class T>
void AppendNumber(std::string& out, T value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char text[64];
  const char* end = nlohmann::detail::to_chars(text, text + sizeof(text), value);
  out.append(text, static_cast<std::size_t>(end - text));
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view value) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  std::size_t i = 0;
  while (i < value.size()) {
    const char c = value[i];
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      const std::size_t length = Utf8Sequence(value.substr(i));
      if (length != 0) {
        out.append(value, i, length);
        i += length;
      } else {
        out += "\xEF\xBF\xBD";
        i += InvalidSequence(value.substr(i));
      }
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out.push_back(kHex[byte >> 4]);
          out.push_back(kHex[byte & 0x0F]);
        } else {
          out.push_back(c);
        }
    }
    ++i;
  }
  out.push_back('"');
}

JsonWriter::JsonWriter(Sink sink, int depth)
    : sink_(std::move(sink)), baseDepth_(static_cast<std::size_t>(depth < 0 ? 0 : depth)) {
  buffer_.reserve(kBufferBytes);
}

void JsonWriter::Raw(std::string_view bytes) {
  buffer_ += bytes;
  if (buffer_.size() >= kBufferBytes) Flush();
}

void JsonWriter::Flush() {
  if (buffer_.empty()) return;
  sink_(buffer_);
  buffer_.clear();
}

void JsonWriter::Indent(std::size_t depth) {
  buffer_.push_back('\n');
  buffer_.append(2 * (baseDepth_ + depth), ' ');
}

void JsonWriter::BeforeValue() {
  if (keyWritten_) {
    keyWritten_ = false;
    return;
  }
  if (hasMembers_.empty()) return;  // the document itself
  if (hasMembers_.back()) buffer_.push_back(',');
  hasMembers_.back() = true;
  Indent(hasMembers_.size());
}

JsonWriter& JsonWriter::Key(std::string_view key) {
  assert(!hasMembers_.empty() && !keyWritten_);
  if (hasMembers_.back()) buffer_.push_back(',');
  hasMembers_.back() = true;
  Indent(hasMembers_.size());
  AppendJsonString(buffer_, key);
  buffer_ += ": ";
  keyWritten_ = true;
  return *this;
}

void JsonWriter::Begin(char bracket) {
  BeforeValue();
  buffer_.push_back(bracket);
  hasMembers_.push_back(false);
}

void JsonWriter::End(char bracket) {
  assert(!hasMembers_.empty() && !keyWritten_);
  const bool any = hasMembers_.back();
  hasMembers_.pop_back();
  if (any) Indent(hasMembers_.size());
  buffer_.push_back(bracket);
  if (buffer_.size() >= kBufferBytes) Flush();
}

JsonWriter& JsonWriter::BeginObject() {
  Begin('{');
  return *this;
}
JsonWriter& JsonWriter::EndObject() {
  End('}');
  return *this;
}
JsonWriter& JsonWriter::BeginArray() {
  Begin('[');
  return *this;
}
JsonWriter& JsonWriter::EndArray() {
  End(']');
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view value) {
  BeforeValue();
  AppendJsonString(buffer_, value);
  if (buffer_.size() >= kBufferBytes) Flush();
  return *this;
}

JsonWriter& JsonWriter::Int(std::int64_t value) {
  BeforeValue();
  char text[24];
  const auto end = std::to_chars(text, text + sizeof(text), value).ptr;
  Raw({text, static_cast<std::size_t>(end - text)});
  return *this;
}

JsonWriter& JsonWriter::Float(float value) {
  BeforeValue();
  AppendNumber(buffer_, value);
  if (buffer_.size() >= kBufferBytes) Flush();
  return *this;
}

JsonWriter& JsonWriter::Double(double value) {
  BeforeValue();
  AppendNumber(buffer_, value);
  if (buffer_.size() >= kBufferBytes) Flush();
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  BeforeValue();
  Raw(value ? "true" : "false");
  return *this;
}

JsonWriter& JsonWriter::Null() {
  BeforeValue();
  Raw("null");
  return *this;
}

}  // namespace holescan
