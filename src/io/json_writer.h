// json_writer.h - JSON written as it is made, indented by two, in constant memory.
//
// The layout is the common pretty-printed one: every member and element on a line of its
// own, "key": value with one space, empty objects and arrays as {} and [], no final newline.
// Strings are UTF-8; bytes that are not (a file name need not be) become U+FFFD, one for
// every maximal invalid sequence. Single-precision numbers are written as the shortest
// decimal that reads back as the same float (4/3 -> 1.3333334), with ".0" after a whole
// number; double precision likewise; a NaN or an infinity is null.
//
// Output is gathered in a buffer of kBufferBytes and handed to the sink whenever it fills,
// and on Flush; the writer never holds more. Misuse (a value where a key is due, an End
// without its Begin) is a programming error, checked by assertions only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace holescan {

class JsonWriter {
 public:
  using Sink = std::function<void(std::string_view bytes)>;
  static constexpr std::size_t kBufferBytes = 1 << 16;

  // `depth`: levels of indentation already around the document (an element of an array
  // written by another writer).
  explicit JsonWriter(Sink sink, int depth = 0);
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;
  ~JsonWriter() { Flush(); }

  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  // The key of the next member of the object being written.
  JsonWriter& Key(std::string_view key);

  JsonWriter& String(std::string_view value);
  JsonWriter& Int(std::int64_t value);
  JsonWriter& Float(float value);
  JsonWriter& Double(double value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  template <class T>
  JsonWriter& Member(std::string_view key, const T& value) {
    Key(key);
    return Value(value);
  }

  // Hands everything written so far to the sink.
  void Flush();

 private:
  JsonWriter& Value(std::string_view v) { return String(v); }
  JsonWriter& Value(const std::string& v) { return String(v); }
  JsonWriter& Value(const char* v) { return String(v); }
  JsonWriter& Value(float v) { return Float(v); }
  JsonWriter& Value(double v) { return Double(v); }
  JsonWriter& Value(bool v) { return Bool(v); }
  template <class T>
  JsonWriter& Value(T v) {
    return Int(static_cast<std::int64_t>(v));
  }

  void BeforeValue();
  void Begin(char bracket);
  void End(char bracket);
  void Raw(std::string_view bytes);
  void Indent(std::size_t depth);

  Sink sink_;
  std::string buffer_;
  std::size_t baseDepth_;
  std::vector<bool> hasMembers_;  // one per open object or array
  bool keyWritten_ = false;
};

// Appends `value` as a JSON string, quotes included (the escaping of JsonWriter::String).
void AppendJsonString(std::string& out, std::string_view value);

}  // namespace holescan
