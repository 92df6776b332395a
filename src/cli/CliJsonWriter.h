#pragma once
// TCliJsonWriter: a small streaming JSON writer for the --json output.
//
// Strings are given as UTF-8 and written with the escapes JSON requires (quote, backslash and every
// control character); bytes that are not valid UTF-8 are written as U+FFFD so that the output is
// always valid JSON. Output is compact, one document per command, ended by a line break by Finish.
//
// REQUIRES: calls nest properly (Key only inside an object, one value after each Key).
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace quillmar {

class TCliJsonWriter {
public:
  explicit TCliJsonWriter(std::ostream& out) : out_(out) {}

  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  void Key(std::string_view key);
  void String(std::string_view utf8);
  void Number(int64_t value);
  void Number(double value);
  void Bool(bool value);
  void Null();
  // Ends the document with a line break.
  void Finish();

  // The JSON string literal of utf8, quotes included.
  static std::string Quote(std::string_view utf8);

private:
  void BeforeValue();

  std::ostream& out_;
  std::vector<bool> first_;  // per open container: no element written yet
  bool afterKey_ = false;
};

}  // namespace quillmar
