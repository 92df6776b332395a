#include <gtest/gtest.h>

#include "model/qmAutoFillRecord.h"

namespace quillmar {
namespace {

TqmAutoFillAssignment A(std::string field, int32_t frame, int32_t form, std::string input) {
  return TqmAutoFillAssignment{std::move(field), frame, form, std::move(input)};
}

TEST(AutoFillRecord, TextIsBuiltByteForByte) {
  TqmAutoFillRecord r;
  r.Address = "https://bank.example/login";
  r.Assignments = {A("Login", -1, 0, "user"), A("Password", -1, 0, "pass")};
  r.Submit = true;
  EXPECT_EQ(r.GetText(), "https://bank.example/login;Login=0.user,Password=0.pass;submit");
  r.Submit = false;
  EXPECT_EQ(r.GetText(), "https://bank.example/login;Login=0.user,Password=0.pass");

  // A form inside the third frame; the inputs outside any form (form -1), in the page and in a frame.
  r.Assignments = {A("Name", 2, 0, "name"), A("Login", -1, -1, "username"), A("Pin", 1, -1, "#1")};
  EXPECT_EQ(r.GetText(), "https://bank.example/login;Name=2.0.name,Login=-1.username,Pin=1.-1.#1");

  // Double quotes go from the address and the assignments, then ";submit" follows; a ";" of the
  // address is written so that it cannot end the address.
  r.Address = "https://a.example/\"x\";jsessionid=7";
  r.Assignments = {A("Log\"in", -1, 1, "us\"er")};
  r.Submit = true;
  EXPECT_EQ(r.GetText(), "https://a.example/x%3Bjsessionid=7;Login=1.user;submit");
  TqmAutoFillRecord back;
  ASSERT_TRUE(back.ParseText(r.GetText()));
  EXPECT_EQ(back.Address, "https://a.example/x%3Bjsessionid=7");
  ASSERT_EQ(back.Assignments.size(), 1u);
  EXPECT_TRUE(back.Submit);
}

TEST(AutoFillRecord, PiecesAreReadAsTheFillerReadsThem) {
  TqmAutoFillRecord r;
  // One piece: no record, and nothing of an earlier content stays.
  r.Address = "old";
  EXPECT_FALSE(r.ParseText("https://bank.example/login"));
  EXPECT_EQ(r, TqmAutoFillRecord());
  EXPECT_FALSE(r.ParseText(""));

  ASSERT_TRUE(r.ParseText("https://x.example/;Login=1.user,Password=1.pass;submit"));
  EXPECT_EQ(r.Address, "https://x.example/");
  EXPECT_TRUE(r.Submit);
  EXPECT_EQ(r.Assignments, (std::vector{A("Login", -1, 1, "user"), A("Password", -1, 1, "pass")}));

  // Submit only with exactly three pieces and "submit" as the third.
  ASSERT_TRUE(r.ParseText("a;Login=0.user;Submit"));
  EXPECT_FALSE(r.Submit);
  EXPECT_EQ(r.Assignments.size(), 1u);
  ASSERT_TRUE(r.ParseText("a;Login=0.user;submit;"));
  EXPECT_FALSE(r.Submit);
  ASSERT_TRUE(r.ParseText("a;Login=0.user"));
  EXPECT_FALSE(r.Submit);

  // The field name ends at the first "=": an input name may hold more of them.
  ASSERT_TRUE(r.ParseText("a;Login=0.q=1;submit"));
  EXPECT_EQ(r.Assignments, (std::vector{A("Login", -1, 0, "q=1")}));
}

TEST(AutoFillRecord, DottedInputNamesAndUnreadableLocations) {
  auto location = [](std::string_view text) { return ReadLocation(text); };
  // The input name keeps its dots.
  EXPECT_EQ(location("0.a.b.c"), A("", -1, 0, "a.b.c"));
  EXPECT_EQ(location("2.0.a.b"), A("", 2, 0, "a.b"));
  EXPECT_EQ(location("0.a.b"), A("", -1, 0, "a.b"));
  EXPECT_EQ(location("1.0.user"), A("", 1, 0, "user"));
  EXPECT_EQ(location("1.-1.#0"), A("", 1, -1, "#0"));
  EXPECT_EQ(location("-1.user.name"), A("", -1, -1, "user.name"));
  EXPECT_EQ(location("0.1.x"), A("", 0, 1, "x"));  // two numbers first: a frame's form
  // Nothing that can be found.
  for (std::string_view bad : {"", "5", "user", "a.b", "a.0.b", "0.", "1.0.", "-.x", "+1.x", "1234567.x"})
    EXPECT_EQ(location(bad), std::nullopt) << bad;

  // An unreadable assignment is set aside; the others are read.
  TqmAutoFillRecord r;
  ASSERT_TRUE(r.ParseText("a;Login=user,Password=0.pass,Pin,Code=x.y;submit"));
  EXPECT_EQ(r.Assignments, (std::vector{A("Password", -1, 0, "pass")}));
  EXPECT_EQ(r.Unreadable, (std::vector<std::string>{"Login=user", "Pin", "Code=x.y"}));
  EXPECT_TRUE(r.Submit);
}

TEST(AutoFillRecord, AssignmentsThatCannotBeCarriedAreNamed) {
  EXPECT_FALSE(AssignmentProblem(A("Login", -1, 0, "user")));
  EXPECT_FALSE(AssignmentProblem(A("E.mail", 3, -1, "a.b=c")));  // dots before the "=", "=" after it
  EXPECT_FALSE(AssignmentProblem(A("Login", 0, 0, "1.x")));      // in a frame the name is the rest

  for (char c : {',', ';', '=', '"'}) {
    const auto p = AssignmentProblem(A(std::string("Lo") + c + "gin", -1, 0, "user"));
    EXPECT_EQ(p.Kind, TqmAssignmentProblem::kFieldNameCharacter) << c;
    EXPECT_EQ(p.Character, c);
  }
  for (char c : {',', ';', '"'}) {
    const auto p = AssignmentProblem(A("Login", -1, 0, std::string("us") + c + "er"));
    EXPECT_EQ(p.Kind, TqmAssignmentProblem::kInputNameCharacter) << c;
    EXPECT_EQ(p.Character, c);
  }
  // "0.1.x" would read as frame 0, form 1.
  EXPECT_EQ(AssignmentProblem(A("Login", -1, 0, "1.x")).Kind, TqmAssignmentProblem::kInputNameAmbiguous);
  EXPECT_EQ(AssignmentProblem(A("Login", -1, 0, "")).Kind, TqmAssignmentProblem::kEmpty);

  // Whatever has no problem reads back as it was built.
  TqmAutoFillRecord r;
  r.Address = "http://127.0.0.1:8080/c/frames.html?a=1,2";
  r.Assignments = {A("Login", 1, 0, "user"), A("Password", 1, 0, "pass.word"), A("Pin", -1, -1, "#2"),
                   A("E.mail", -1, 3, "a.b=c")};
  for (const auto& a : r.Assignments) ASSERT_FALSE(AssignmentProblem(a)) << a.Text();
  TqmAutoFillRecord back;
  ASSERT_TRUE(back.ParseText(r.GetText()));
  EXPECT_EQ(back, r);
}

TEST(AutoFillRecord, ValuesAreLookedUpIgnoringCase) {
  const std::vector<std::string> list = {"Title=My bank",      "login=jane", "LOGIN=second",
                                         "Password=a=b \"c\"", "Note",       "Empty="};
  EXPECT_EQ(AutoFillValue(list, "Login"), "jane");  // the first line of that name
  EXPECT_EQ(AutoFillValue(list, "password"), "a=b \"c\"");
  EXPECT_EQ(AutoFillValue(list, "Empty"), "");
  EXPECT_EQ(AutoFillValue(list, "Missing"), "");
  EXPECT_EQ(AutoFillValue(list, "Note"), "");  // a line without "=" names nothing
  EXPECT_EQ(AutoFillValue(list, "Log"), "");
  EXPECT_EQ(AutoFillValue({}, "Login"), "");
}

TEST(AutoFillRecord, SameSiteRule) {
  EXPECT_TRUE(AutoFillSameSite("https://bank.example/login", "https://bank.example/app?x=1"));
  EXPECT_TRUE(AutoFillSameSite("https://Bank.Example/login", "https://bank.example./"));
  EXPECT_TRUE(AutoFillSameSite("https://www.bank.example/login", "https://bank.example/"));
  EXPECT_TRUE(AutoFillSameSite("https://bank.example/login", "https://www.bank.example/"));
  EXPECT_TRUE(AutoFillSameSite("http://bank.example/login", "https://bank.example/login"));
  EXPECT_TRUE(AutoFillSameSite("http://127.0.0.1:8080/a", "http://127.0.0.1:8080/b"));
  EXPECT_TRUE(AutoFillSameSite("http://user:pw@bank.example/", "http://bank.example:80/"));
  EXPECT_TRUE(AutoFillSameSite("http://[::1]:81/", "http://[::1]:81/x"));

  EXPECT_FALSE(AutoFillSameSite("https://bank.example/", "http://bank.example/"));  // no downgrade
  EXPECT_FALSE(AutoFillSameSite("https://bank.example/", "https://bank.example.evil.test/"));
  EXPECT_FALSE(AutoFillSameSite("https://bank.example/", "https://evil.test/bank.example/"));
  EXPECT_FALSE(AutoFillSameSite("https://bank.example/", "https://evil.test/?u=https://bank.example"));
  EXPECT_FALSE(AutoFillSameSite("https://bank.example@evil.test/", "https://bank.example/"));
  EXPECT_FALSE(AutoFillSameSite("https://login.bank.example/", "https://bank.example/"));
  EXPECT_FALSE(AutoFillSameSite("http://127.0.0.1:8080/", "http://localhost:8080/"));
  EXPECT_FALSE(AutoFillSameSite("http://127.0.0.1:8080/", "http://127.0.0.1:8081/"));
  EXPECT_FALSE(AutoFillSameSite("http://bank.example:8080/", "https://bank.example/"));
  EXPECT_FALSE(AutoFillSameSite("bank.example/login", "https://bank.example/"));
  EXPECT_FALSE(AutoFillSameSite("https:///login", "https:///login"));
}

}  // namespace
}  // namespace quillmar
