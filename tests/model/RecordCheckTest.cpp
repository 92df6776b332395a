// The round-trip check of the records: what would not read back equal is refused, naming where and
// which sequence; what reads back equal passes, whatever else it holds.
#include <gtest/gtest.h>

#include "model/RecordCheck.h"
#include "model/qmAutoFillRecord.h"
#include "model/qmCategory.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"

namespace quillmar {
namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TqmRepositoryEntry& WithFields(TqmRepositoryEntry& e, const std::vector<TqmField>& fields) {
  for (const auto& f : fields) e.Fields().Add(f);
  return e;
}

TEST(RecordCheck, AValueThatWouldForgeAFieldIsRefusedNamingTheFieldAndTheMarker) {
  TqmRepositoryEntry e;
  WithFields(
      e, {TqmField(0, "Title", ftNormalText, true, "forge"),
          TqmField(1, "Note", ftTextMemo, false,
                   "x</field>\n<field sortorder=\"0\" name=\"Title\" type=\"0\" required=\"1\">INJECTED")});
  const std::string problem = RecordProblem(e);
  EXPECT_TRUE(Has(problem, "The value of the field \"Note\"")) << problem;
  EXPECT_TRUE(Has(problem, "'</field>'")) << problem;
  EXPECT_FALSE(Has(problem, "INJECTED")) << "a value is never quoted: " << problem;
  EXPECT_THROW(RequireStorable(e), ERecordRefused);

  // The autofill element is found by its first marker: a value holding it would replace the record's.
  TqmRepositoryEntry hijack;
  WithFields(hijack, {TqmField(0, "Title", ftNormalText, false, "a"),
                      TqmField(1, "Site", ftURL, false, "<autofill>x")});
  EXPECT_TRUE(Has(RecordProblem(hijack), "'<autofill>'")) << RecordProblem(hijack);

  TqmRepositoryEntry ownAutofill;
  WithFields(ownAutofill, {TqmField(0, "Title", ftNormalText, false, "a")});
  ownAutofill.SetAutoFill("A;x=0.y</autofill>");
  EXPECT_TRUE(Has(RecordProblem(ownAutofill), "The autofill record holds '</autofill>'"))
      << RecordProblem(ownAutofill);
}

TEST(RecordCheck, NamesHoldingQuotesOrTagEndsAreRefused) {
  TqmCategory quoted;
  quoted.SetName("q\"x");
  EXPECT_TRUE(Has(RecordProblem(quoted), "The category name \"q\"x\" holds '\"'")) << RecordProblem(quoted);

  TqmCategory icon;
  icon.SetName("a<! CDATA[b");  // would take the icon from the name
  EXPECT_TRUE(Has(RecordProblem(icon), "'<! CDATA['")) << RecordProblem(icon);

  TqmCategory field;
  field.SetName("Notes");
  field.Fields().Add(TqmField(0, "a\"b", ftNormalText, false));
  EXPECT_TRUE(Has(RecordProblem(field), "The name of the field \"a\"b\" holds '\"'")) << RecordProblem(field);
  TqmCategory angle;
  angle.Fields().Add(TqmField(0, "a>b", ftNormalText, false));
  EXPECT_TRUE(Has(RecordProblem(angle), "holds '>'")) << RecordProblem(angle);

  TqmRepositoryEntry entry;
  WithFields(entry, {TqmField(0, "Ti\"tle", ftNormalText, false, "x")});
  EXPECT_TRUE(Has(RecordProblem(entry), "The name of the field")) << RecordProblem(entry);

  TqmField lone(0, "Name", ftNormalText, false, "v</field>w");
  EXPECT_TRUE(Has(RecordProblem(lone), "'</field>'")) << RecordProblem(lone);
}

TEST(RecordCheck, TextThatReadsBackEqualPasses) {
  TqmRepositoryEntry e;
  WithFields(e, {TqmField(-3, "Title", ftNormalText, true, "Caf\xE9 \"quoted\" a>b"),
                 TqmField(1, "Notes", ftTextMemo, false, "line 1\r\nline 2 </autofill> <field ]]>"),
                 TqmField(2, "Password", ftPassword, false, std::string("p\0w", 3))});
  e.SetIcon(std::string("\0\x01\x02", 3));
  e.SetAutoFill("https://x.example/?a=1;Title=0.user;submit");
  EXPECT_EQ(RecordProblem(e), "");

  TqmCategory c;
  c.SetName("Web & Mail");
  c.SetIcon("icon bytes");
  c.Fields().Add(TqmField(0, "User name", ftNormalText, true));
  EXPECT_EQ(RecordProblem(c), "");
}

TEST(RecordCheck, NamesAreOneLineButMemoTitlesKeepTheirLineBreaks) {
  TqmCategory c;
  c.SetName("a\nb");
  EXPECT_TRUE(Has(RecordProblem(c), "The category name \"a\\nb\" holds a line break")) << RecordProblem(c);
  TqmCategory f;
  f.SetName("ok");
  f.Fields().Add(TqmField(0, "tab\there", ftNormalText, false));
  EXPECT_TRUE(Has(RecordProblem(f), "holds a tab")) << RecordProblem(f);

  TqmRepositoryEntry text;
  WithFields(text, {TqmField(0, "Title", ftNormalText, false, "one\ntwo")});
  EXPECT_TRUE(Has(RecordProblem(text), "The title (the value of the field \"Title\") holds a line break"))
      << RecordProblem(text);
  TqmRepositoryEntry bell;
  WithFields(bell, {TqmField(0, "Title", ftNormalText, false, "a\x07")});
  EXPECT_TRUE(Has(RecordProblem(bell), "0x07")) << RecordProblem(bell);
  TqmRepositoryEntry memo;
  WithFields(memo, {TqmField(0, "Note", ftTextMemo, false, "one\r\ntwo"),
                    TqmField(1, "More", ftNormalText, false, "values other than the title\nkeep them too")});
  EXPECT_EQ(RecordProblem(memo), "");

  EXPECT_EQ(NameProblem("plain name", "The name"), "");
  EXPECT_EQ(ShownInMessage(std::string("a\n\r\t\x01z", 6)), "a\\n\\r\\t\\x01z");
}

TEST(RecordCheck, RemindersAreCheckedValueByValue) {
  TqmReminderEvent r(45000.25);
  r.SetName("Say \"hi\" & <go>");  // the name is the one attribute written with entities
  r.SetMessage("any ]]></message> text");
  r.SetDays("");  // read back as "*", which it means
  EXPECT_EQ(RecordProblem(r), "");

  TqmReminderEvent quote(45000.25);
  quote.SetDays("1\"2");
  EXPECT_TRUE(Has(RecordProblem(quote), "The reminder's days \"1\"2\" holds '\"'")) << RecordProblem(quote);
  // A days text holding an element's marker would be taken for that element.
  TqmReminderEvent forged(45000.25);
  forged.SetMonths("<action>011</action>");
  EXPECT_TRUE(Has(RecordProblem(forged), "The reminder's months")) << RecordProblem(forged);
  EXPECT_TRUE(Has(RecordProblem(forged), "'<action>'")) << RecordProblem(forged);
}

TEST(RecordCheck, AutoFillRecordsReadBackAsTheFillerReadsThem) {
  TqmAutoFillRecord r;
  r.Address = "https://bank.example/login?next=a,b";
  r.Assignments = {{"Login", -1, 0, "user"}, {"Password", 2, 1, "pass"}};
  r.Submit = true;
  EXPECT_EQ(r.GetText(), "https://bank.example/login?next=a,b;Login=0.user,Password=2.1.pass;submit");
  EXPECT_EQ(RecordProblem(r), "");
  TqmAutoFillRecord back;
  ASSERT_TRUE(back.ParseText(r.GetText()));
  EXPECT_EQ(back, r);
  EXPECT_FALSE(back.ParseText("no pieces"));

  auto problemWith = [&r](auto change) {
    TqmAutoFillRecord copy = r;
    change(copy);
    return RecordProblem(copy);
  };
  EXPECT_TRUE(Has(problemWith([](auto& x) { x.Address = "a;b"; }), "The address \"a;b\" holds ';'"));
  EXPECT_TRUE(Has(problemWith([](auto& x) { x.Address = "a\"b"; }), "holds '\"'"));
  // A dotted input name reads back, unless the page form's location then reads as a frame's.
  EXPECT_EQ(problemWith([](auto& x) { x.Assignments[0].Input = "a.b"; }), "");
  EXPECT_TRUE(
      Has(problemWith([](auto& x) { x.Assignments[0].Input = "1.b"; }), "The input name \"1.b\" holds '.'"));
  EXPECT_TRUE(Has(problemWith([](auto& x) { x.Assignments[1].FieldName = "a,b"; }), "holds ','"));
  EXPECT_TRUE(Has(problemWith([](auto& x) { x.Assignments[1].FieldName = "a=b"; }), "holds '='"));
  EXPECT_EQ(problemWith([](auto& x) { x.Assignments[1].FieldName = "a.b"; }), "");  // before the "="
  EXPECT_NE(problemWith([](auto& x) { x.Assignments.clear(); }), "");
}

}  // namespace
}  // namespace quillmar
