#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "base/Base64.h"
#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "model/StringArray.h"
#include "model/qmRepositoryEntry.h"

namespace quillmar {
namespace {

using test::kIconBytes;

const std::string kMailRecord =
    R"(<entry sortorder="4"><! CDATA[AAABAAEA]]> )"
    R"(<field sortorder="0" name="Title" type="0" required="1">My mailbox</field>)"
    R"(<field sortorder="1" name="Password" type="1" required="0">s3cr3t!</field>)"
    R"( <autofill>form=login</autofill></entry>)";

void MakeMail(TqmRepositoryEntry& e) {
  e.SetSortOrder(4);
  e.SetIcon(kIconBytes);
  e.Fields().Add(TqmField(0, "Title", ftNormalText, true, "My mailbox"));
  e.Fields().Add(TqmField(1, "Password", ftPassword, false, "s3cr3t!"));
  e.SetAutoFill("form=login");
}

void ExpectMail(const TqmRepositoryEntry& e) {
  EXPECT_EQ(e.SortOrder(), 4);
  EXPECT_EQ(e.Icon(), kIconBytes);
  EXPECT_EQ(e.AutoFill(), "form=login");
  ASSERT_EQ(e.Fields().Count(), 2);
  EXPECT_EQ(e.FieldAt(0), TqmField(0, "Title", ftNormalText, true, "My mailbox"));
  EXPECT_EQ(e.FieldAt(1), TqmField(1, "Password", ftPassword, false, "s3cr3t!"));
}

TEST(RepositoryEntry, RecordIsWrittenAndReadByteForByte) {
  TqmRepositoryEntry e;
  EXPECT_EQ(e.GetText(), R"(<entry sortorder="0"><! CDATA[]]>  <autofill></autofill></entry>)");
  MakeMail(e);
  EXPECT_EQ(e.GetText(), kMailRecord);
  TMemoryStream out;
  e.SaveToStream(out);
  EXPECT_EQ(out.ToString(), kMailRecord);  // no length, nothing after it

  TMemoryStream in("skip" + kMailRecord);
  in.SetPosition(4);
  TqmRepositoryEntry back;
  back.SetFileName("123.entry");
  back.LoadFromStream(in);
  ExpectMail(back);
  EXPECT_EQ(back.FileName(), "123.entry");
  EXPECT_EQ(back.GetText(), kMailRecord);
}

TEST(RepositoryEntry, LoadingReplacesFieldsAndIconButKeepsSortOrderAndAutoFill) {
  TqmRepositoryEntry e;
  MakeMail(e);
  TMemoryStream in(R"(<entry><! CDATA[]]>  </entry>)");
  e.LoadFromStream(in);
  EXPECT_EQ(e.Fields().Count(), 0);
  EXPECT_FALSE(e.HasIcon());
  EXPECT_EQ(e.SortOrder(), 4);
  EXPECT_EQ(e.AutoFill(), "form=login");
  // ParseText alone adds to what the entry has.
  MakeMail(e);
  e.ParseText(R"(<field sortorder="9" name="More" type="8" required="0">42</field>)");
  EXPECT_EQ(e.Fields().Count(), 3);
  EXPECT_EQ(e.SortOrder(), 9);
  EXPECT_EQ(e.FieldAt(2).Value(), "42");
}

TEST(RepositoryEntry, OddRecords) {
  TqmRepositoryEntry e;
  // Without its own sort order the entry takes that of its first field.
  e.ParseText(R"(<entry><! CDATA[]]> <field sortorder="-5" name="a" type="0" required="0">x</field> )"
              R"(<autofill></autofill></entry>)");
  EXPECT_EQ(e.SortOrder(), -5);
  // A field value holding "<autofill>" gives the entry its autofill text.
  TqmRepositoryEntry f;
  f.Fields().Add(TqmField(0, "Note", ftTextMemo, false, "see <autofill>trap</autofill> here"));
  f.SetAutoFill("real");
  TqmRepositoryEntry g;
  g.ParseText(f.GetText());
  EXPECT_EQ(g.AutoFill(), "trap");
  // "<autofill>" without its end: empty; without the element at all: kept.
  g.ParseText("<autofill>dangling");
  EXPECT_EQ(g.AutoFill(), "");
  g.SetAutoFill("kept");
  g.ParseText("nothing here");
  EXPECT_EQ(g.AutoFill(), "kept");
}

TEST(RepositoryEntry, FieldLoopSkipsStrayEndsAndStopsAtAnOpenRecord) {
  TqmRepositoryEntry e;
  // A value holding "</field>" ends its field early; the leftover up to the next "</field>" is skipped
  // and the fields after it are still read.
  e.ParseText(R"(<entry sortorder="1"><! CDATA[]]> )"
              R"(<field sortorder="0" name="a" type="0" required="0">one</field>tail</field>)"
              R"(junk</field>)"
              R"(<field sortorder="1" name="b" type="0" required="0">two</field>)"
              R"(<field sortorder="2" name="c" type="0" required="0">unfinished )"
              R"( <autofill></autofill></entry>)");
  ASSERT_EQ(e.Fields().Count(), 2);
  EXPECT_EQ(e.FieldAt(0).Value(), "one");
  EXPECT_EQ(e.FieldAt(1).Name(), "b");
  EXPECT_EQ(e.FieldAt(1).Value(), "two");
  // Text before a record is not part of it; "<fieldset" also opens a record.
  TqmRepositoryEntry f;
  f.ParseText(R"(xx<fieldset name="q">v</field></field></field><field)");
  ASSERT_EQ(f.Fields().Count(), 1);
  EXPECT_EQ(f.FieldAt(0).Name(), "q");
  EXPECT_EQ(f.FieldAt(0).Value(), "v");
  TqmRepositoryEntry none;
  none.ParseText("");
  none.ParseText("<field<field<field");
  none.ParseText("</field></field>");
  EXPECT_EQ(none.Fields().Count(), 0);
}

TEST(RepositoryEntry, CaptionsAndPaths) {
  TqmCategory internet;
  internet.SetName("Internet");
  TqmCategory mail(&internet);
  mail.SetName("Mail");
  TqmRepositoryEntry e(&mail);
  EXPECT_EQ(e.Title(), "");
  EXPECT_EQ(e.DisplayPath(), "Internet->Mail->");
  MakeMail(e);
  EXPECT_EQ(e.Title(), "My mailbox");
  EXPECT_EQ(e.DisplayPath(), "Internet->Mail->My mailbox");
  EXPECT_EQ(e.NamePath(), "Internet\\Mail\\My mailbox");
  EXPECT_EQ(e.NameValueList(), (std::vector<std::string>{"Title=My mailbox", "Password=s3cr3t!"}));
  TqmRepositoryEntry top(&internet);
  top.Fields().Add(TqmField(0, "T", ftNormalText, false, "Bank"));
  EXPECT_EQ(top.DisplayPath(), "Internet->Bank");
}

TEST(RepositoryEntry, PrepareFromCategoryCopiesTheTemplateOnce) {
  TqmCategory cat;
  cat.Fields().Add(TqmField(3, "Site", ftURL, true, "template value is not copied"));
  cat.Fields().Add(TqmField(-1, "Odd", 12, false));
  cat.FieldAt(1).SetRequired(7);
  TqmRepositoryEntry e(&cat);
  e.PrepareFromCategory(cat);
  ASSERT_EQ(e.Fields().Count(), 2);
  EXPECT_EQ(e.FieldAt(0), TqmField(3, "Site", ftURL, true, ""));
  EXPECT_EQ(e.FieldAt(1).FieldType(), 12);
  EXPECT_EQ(e.FieldAt(1).Required(), 7);
  // The entry owns its own fields from then on.
  e.FieldAt(0).SetValue("https://example.org");
  cat.Fields().Add(TqmField(4, "Later", ftNormalText, false));
  EXPECT_EQ(cat.FieldAt(0).Value(), "template value is not copied");
  e.PrepareFromCategory(cat);
  EXPECT_EQ(e.Fields().Count(), 2);
  EXPECT_EQ(e.FieldAt(0).Value(), "https://example.org");
}

TEST(RepositoryEntry, ClipboardForm) {
  TqmRepositoryEntry e;
  MakeMail(e);
  e.SetFileName("5.entry");
  test::TFakeClipboard clip;
  e.CopyToClipboard(clip);
  EXPECT_EQ(clip.text, "qvt-entry:" + Base64Encode(kMailRecord));
  TqmRepositoryEntry pasted;
  pasted.SetFileName("6.entry");
  pasted.PasteFromClipboard(clip);
  ExpectMail(pasted);
  EXPECT_EQ(pasted.FileName(), "");
  for (const char* foreign : {"", "qvt-entry", "xqvt-entry:AAAA", "qvt-category:AAAA"}) {
    clip.text = foreign;
    try {
      pasted.PasteFromClipboard(clip);
      ADD_FAILURE() << "pasted " << foreign;
    } catch (const EQuillmarError& error) {
      EXPECT_STREQ(error.what(), "wrong clipboard");
    }
  }
  ExpectMail(pasted);
  // Base64 with line breaks inside (as some clipboards wrap text): the lenient decoding reads whole
  // groups only, so the result is whatever those groups hold; it never fails.
  clip.text = "qvt-entry:PGVud\r\nHJ5PjwvZW50cnk+";
  TqmRepositoryEntry broken;
  EXPECT_NO_THROW(broken.PasteFromClipboard(clip));
}

TEST(StringArray, GetOutsideTheRangeIsEmpty) {
  TStringArray a;
  EXPECT_EQ(a.Count(), 0);
  EXPECT_EQ(a.Get(0), "");
  a.Add("one");
  a.Add("two");
  EXPECT_EQ(a.Count(), 2);
  EXPECT_EQ(a.Get(1), "two");
  EXPECT_EQ(a.Get(-1), "");
  EXPECT_EQ(a.Get(2), "");
  a.Clear();
  EXPECT_EQ(a.Get(0), "");
}

}  // namespace
}  // namespace quillmar
