// json_writer: a small writer of one JSON text, for the client's --json output.
//
// The writer puts the commas and quotes; strings are escaped (quote,
// backslash, control characters), and bytes above 127 are taken as Latin-1
// and written as \u00XX escapes, so the text is valid JSON (and ASCII)
// whatever the message texts hold. Calls must nest properly: key() before
// each member of an object.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace erp {

class JsonWriter {
 public:
  JsonWriter& begin_object();
  JsonWriter& end_object();
  JsonWriter& begin_array();
  JsonWriter& end_array();
  JsonWriter& key(std::string_view name);
  JsonWriter& value(std::string_view text);
  JsonWriter& value(const char* text) { return value(std::string_view(text)); }
  JsonWriter& value(long number);
  JsonWriter& value(int number) { return value(static_cast<long>(number)); }
  JsonWriter& value(bool flag);
  JsonWriter& null_value();
  // A string member, or nothing when `text` is empty.
  JsonWriter& member_if(std::string_view name, std::string_view text);

  // The text so far (one line).
  const std::string& text() const { return out_; }

 private:
  void separate();
  void put_string(std::string_view text);

  std::string out_;
  std::vector<bool> first_;  // per open object or array: nothing written in it yet
  bool after_key_ = false;
};

}  // namespace erp
