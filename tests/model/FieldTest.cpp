#include <gtest/gtest.h>

#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "model/qmField.h"

namespace quillmar {
namespace {

TEST(FieldType, NamesAndReverseLookup) {
  EXPECT_EQ(FieldTypeName(ftNormalText), "Normal Text");
  EXPECT_EQ(FieldTypeName(ftPassword), "Password Field");
  EXPECT_EQ(FieldTypeName(ftReminder), "Reminder (Yes/No)");
  EXPECT_EQ(FieldTypeName(ftEMail), "Email address");
  EXPECT_EQ(FieldTypeName(ftTextMemo), "Text Field/Memo");
  EXPECT_EQ(FieldTypeName(ftURL), "URL");
  EXPECT_EQ(FieldTypeName(12), "");
  EXPECT_EQ(FieldTypeName(255), "");
  for (int i = 0; i < kFieldTypeCount; ++i) EXPECT_EQ(FieldTypeFromName(FieldTypeNames()[i]), i);
  EXPECT_EQ(FieldTypeFromName("password field"), ftNormalText);  // exact comparison
  EXPECT_EQ(FieldTypeFromName(""), ftNormalText);
  EXPECT_EQ(FieldTypeFromName("Picture "), ftNormalText);
}

TEST(Field, WritesTheRecordByteForByte) {
  TqmField f(3, "User name", ftNormalText, true, "alice");
  EXPECT_EQ(f.GetText(), R"(<field sortorder="3" name="User name" type="0" required="1">alice</field>)");
  TqmField g(-7, "", ftURL, false, "");
  EXPECT_EQ(g.GetText(), R"(<field sortorder="-7" name="" type="11" required="0"></field>)");
  // Values are written raw, bytes above 127 included.
  TqmField h(0, "Caf\xE9", 200, false, "a<b>&\"c\"");
  EXPECT_EQ(h.GetText(),
            "<field sortorder=\"0\" name=\"Caf\xE9\" type=\"200\" required=\"0\">a<b>&\"c\"</field>");
}

TEST(Field, ParsesAHandWrittenRecord) {
  TqmField f;
  f.ParseText(R"(<field sortorder="-12" name="PIN" type="1" required="1">1234</field>)");
  EXPECT_EQ(f, TqmField(-12, "PIN", ftPassword, true, "1234"));
  EXPECT_EQ(f.TypeName(), "Password Field");
  // An unknown type code survives a round trip but has no name.
  TqmField u;
  u.ParseText(R"(<field sortorder="1" name="x" type="12" required="0">v</field>)");
  EXPECT_EQ(u.FieldType(), 12);
  EXPECT_EQ(u.TypeName(), "");
  EXPECT_EQ(u.GetText(), R"(<field sortorder="1" name="x" type="12" required="0">v</field>)");
}

TEST(Field, OddAttributes) {
  TqmField f(5, "keep", ftDate, true, "old");
  // Missing keys keep what the field had; the value is always taken.
  f.ParseText(R"(<field>new</field>)");
  EXPECT_EQ(f, TqmField(5, "keep", ftDate, true, "new"));
  // Text that is not a decimal integer reads as 0; type and required keep the low 8 bits.
  f.ParseText(R"(<field sortorder="12a" name="n" type="300" required="257">v</field>)");
  EXPECT_EQ(f.SortOrder(), 0);
  EXPECT_EQ(f.FieldType(), 44);
  EXPECT_EQ(f.Required(), 1);
  f.ParseText(R"(<field sortorder=" 1" type="-1" required="2">v</field>)");
  EXPECT_EQ(f.SortOrder(), 0);
  EXPECT_EQ(f.FieldType(), 255);
  EXPECT_EQ(f.Required(), 2);
  f.ParseText(R"(<field sortorder="99999999999" type="" required="+1">v</field>)");
  EXPECT_EQ(f.SortOrder(), 0);  // out of range
  EXPECT_EQ(f.FieldType(), 0);
  EXPECT_EQ(f.Required(), 1);
  f.ParseText(R"(<field sortorder="-2147483648">v</field>)");
  EXPECT_EQ(f.SortOrder(), INT32_MIN);
  // A key with no closing quote takes the rest of the text.
  f.ParseText(R"(<field name="unterminated)");
  EXPECT_EQ(f.Name(), "unterminated");
  EXPECT_EQ(f.Value(), "");
}

TEST(Field, NamesAndValuesTheFormatCannotHold) {
  // A quote in the name cuts it there.
  TqmField q(1, "say \"hi\"", ftNormalText, false, "v");
  TqmField back;
  back.ParseText(q.GetText());
  EXPECT_EQ(back.Name(), "say ");
  EXPECT_EQ(back.Value(), "v");
  // A ">" in the name moves the start of the value.
  TqmField gt(0, "a>b", ftNormalText, false, "v");
  EXPECT_EQ(gt.GetText(), R"(<field sortorder="0" name="a>b" type="0" required="0">v</field>)");
  back.ParseText(gt.GetText());
  EXPECT_EQ(back.Name(), "a>b");
  EXPECT_EQ(back.Value(), R"(b" type="0" required="0">v)");
  // A "</field>" in the value ends it; no closing marker at all gives an empty value.
  back.ParseText(R"(<field name="n">one</field>two</field>)");
  EXPECT_EQ(back.Value(), "one");
  back.ParseText(R"(<field name="n">one)");
  EXPECT_EQ(back.Value(), "");
  back.ParseText("");
  EXPECT_EQ(back.Value(), "");
}

TEST(Field, StreamFormIsALengthAndTheText) {
  TqmField f(2, "E", ftEMail, false, "a@b");
  TMemoryStream s;
  f.SaveToStream(s);
  const std::string text = R"(<field sortorder="2" name="E" type="5" required="0">a@b</field>)";
  ASSERT_EQ(text.size(), 0x3Fu);
  EXPECT_EQ(s.ToString(), std::string("\x3F\0\0\0", 4) + text);
  s.SetPosition(0);
  TqmField g;
  g.LoadFromStream(s);
  EXPECT_EQ(g, f);
  EXPECT_EQ(s.Position(), s.Size());
}

TEST(Field, BadLengthsFailBeforeReading) {
  TqmField f(1, "keep", ftNormalText, false, "v");
  TMemoryStream negative(std::string("\xFF\xFF\xFF\xFF<field>x</field>", 20));
  EXPECT_THROW(f.LoadFromStream(negative), EStreamError);
  TMemoryStream huge(std::string("\xFF\xFF\xFF\x7F<field>x</field>", 20));
  try {
    f.LoadFromStream(huge);
    FAIL() << "no error";
  } catch (const EStreamError& e) {
    EXPECT_STREQ(e.what(),
                 "Stream read error: the field record is cut short (field length 2147483647, but only 16 "
                 "bytes follow).");
  }
  TMemoryStream shortLength(std::string("\x05\0", 2));
  EXPECT_THROW(f.LoadFromStream(shortLength), EStreamError);
  EXPECT_EQ(f, TqmField(1, "keep", ftNormalText, false, "v"));
}

}  // namespace
}  // namespace quillmar
