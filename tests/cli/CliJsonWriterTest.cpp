#include <gtest/gtest.h>

#include <sstream>

#include "cli/CliJsonWriter.h"

namespace quillmar {
namespace {

TEST(CliJsonWriter, NestedValuesWithSeparators) {
  std::ostringstream s;
  TCliJsonWriter w(s);
  w.BeginObject();
  w.Key("name");
  w.String("Main");
  w.Key("list");
  w.BeginArray();
  w.Number(int64_t{1});
  w.Bool(false);
  w.Null();
  w.BeginObject();
  w.EndObject();
  w.Number(0.5);
  w.EndArray();
  w.Key("empty");
  w.BeginArray();
  w.EndArray();
  w.EndObject();
  w.Finish();
  EXPECT_EQ(s.str(), "{\"name\":\"Main\",\"list\":[1,false,null,{},0.5],\"empty\":[]}\n");
}

TEST(CliJsonWriter, QuotesControlCharactersAndBadUtf8) {
  EXPECT_EQ(TCliJsonWriter::Quote("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(TCliJsonWriter::Quote("l1\r\nl2\t\x01"), "\"l1\\r\\nl2\\t\\u0001\"");
  EXPECT_EQ(TCliJsonWriter::Quote("caf\xC3\xA9 \xE2\x82\xAC"), "\"caf\xC3\xA9 \xE2\x82\xAC\"");
  // A lone continuation byte, a cut sequence, an overlong form and a surrogate become U+FFFD.
  EXPECT_EQ(TCliJsonWriter::Quote("\x80"), "\"\xEF\xBF\xBD\"");
  EXPECT_EQ(TCliJsonWriter::Quote("x\xC3"), "\"x\xEF\xBF\xBD\"");
  EXPECT_EQ(TCliJsonWriter::Quote("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(TCliJsonWriter::Quote("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

}  // namespace
}  // namespace quillmar
