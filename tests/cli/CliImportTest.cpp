// quillmar-cli import, run as a program: the round trip with `export`, the dry run, what is said
// about skipped entries and the exit codes, and the mistakes refused before a password is asked.
#include <gtest/gtest.h>

#include "cli/CliRunner.h"
#include "support/TempDir.h"

namespace quillmar::test {
namespace {

constexpr char kPw[] = "import cli pw";

std::string Sample(const std::string& name) {
  return std::string(QM_TEST_DATA_DIR) + "/import/" + name;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class CliImport : public TCliHomeTest {
protected:
  CliImport() : TCliHomeTest(kPw) {}
  std::string SafeBytes(const std::string& name) { return ReadFileBytes(home + "/" + name + ".qvt"); }
};

TEST_F(CliImport, ExportThenImportGivesTheSameEntries) {
  Ok({"create", "Main", "--demo"});
  // Commas, quotes, line breaks and a title that repeats.
  Ok({"add", "Main", "Notes", "--set", "Title=Shopping, \"weekly\"", "--set",
      "Note=milk\r\nbread, \"fresh\""});
  Ok({"add", "Main", "Notes", "--set", "Title=Shopping, \"weekly\"", "--set", "Note=second"});
  const std::string first = dir.file("first.csv");
  Ok({"export", "Main", "--format", "csv", "--out", first});

  Ok({"create", "Copy"});
  TCliRun r = Q({"import", "Copy", first, "--format", "csv"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "Imported ")) << r.out;
  EXPECT_TRUE(Has(r.err, "the reminder of the field \"Reminder\" is not part of an export")) << r.err;
  const std::string second = dir.file("second.csv");
  Ok({"export", "Copy", "--format", "csv", "--out", second});
  // Everything comes back but the reminder of the template's welcome note: a reminder is a record
  // of the Safe, which an export does not hold (the import says so).
  std::string expected = ReadFileBytes(first);
  const std::string reminder = "Reminder,Reminder (Yes/No),1000001\r\n";
  ASSERT_NE(expected.find(reminder), std::string::npos);
  expected.replace(expected.find(reminder), reminder.size(), "Reminder,Reminder (Yes/No),\r\n");
  EXPECT_EQ(ReadFileBytes(second), expected);
}

TEST_F(CliImport, DryRunPrintsThePlanAndChangesNothing) {
  Ok({"create", "Main"});
  const std::string before = SafeBytes("Main");
  TCliRun r = Q({"import", "Main", Sample("keepassxc.csv"), "--format", "keepassxc", "--dry-run"});
  EXPECT_EQ(r.code, 1) << r.err;  // one entry is left out
  EXPECT_TRUE(Has(r.out, "new category Internet/Shops/ (from the template \"Web Logins\")")) << r.out;
  EXPECT_TRUE(Has(r.out, "new field in Internet/Shops/: TOTP (Password Field)")) << r.out;
  EXPECT_TRUE(Has(r.out, "Internet/Shops/Music/Record Store\n")) << r.out;
  EXPECT_TRUE(Has(
      r.out,
      "Would import 6 entries into 5 categories; 3 categories made; 1 record skipped. Nothing was changed"))
      << r.out;
  EXPECT_TRUE(Has(r.err,
                  "skipped: line 8 \"Gift Shop\": The field \"Notes\" holds \"\xE2\x9C\x93\" (U+2713, "
                  "position 11)"))
      << r.err;
  EXPECT_TRUE(Has(r.err, "--replace-unencodable")) << r.err;
  EXPECT_TRUE(Has(r.err, "1 entry has the title of another entry")) << r.err;
  EXPECT_EQ(SafeBytes("Main"), before);
}

TEST_F(CliImport, ImportIntoACategoryWithReplacedCharacters) {
  Ok({"create", "Main"});
  TCliRun r = Q({"import", "Main", Sample("keepassxc.csv"), "--format", "keepassxc", "--into",
                 "From KeePassXC", "--replace-unencodable"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "Created the category From KeePassXC/Internet/Shops/Music/")) << r.out;
  EXPECT_TRUE(Has(r.out, "Imported 7 entries into 5 categories; 5 categories made; 0 records skipped."))
      << r.out;
  EXPECT_TRUE(Has(r.err, "delete it once you have checked the import")) << r.err;
  EXPECT_EQ(Ok({"ls", "Main", "From KeePassXC/Internet/Shops/Music"}), "Record Store#1\nRecord Store#2\n");
  EXPECT_TRUE(
      Has(Ok({"show", "Main", "From KeePassXC/Internet/Shops/Gift Shop"}), "Notes: Checklist ? done"));
}

TEST_F(CliImport, MistakesAreRefusedBeforeThePasswordIsAsked) {
  Ok({"create", "Main"});
  const std::string before = SafeBytes("Main");
  // No input at all: a command that asked for the password would fail on that instead.
  TCliRun r = Q({"import", "Main", Sample("generic.csv")}, "");
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(Has(r.err, "--format keepassxc|bitwarden|csv")) << r.err;
  r = Q({"import", "Main", Sample("generic.csv"), "--format", "1password"}, "");
  EXPECT_EQ(r.code, 2);
  r = Q({"import", "Main", Sample("keepassxc.csv"), "--format", "keepassxc", "--map", "Title=name"}, "");
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(Has(r.err, "--map applies to --format csv only")) << r.err;
  WriteFileBytes(dir.file("plain.csv"), "first,second\nx,y\n");
  r = Q({"import", "Main", dir.file("plain.csv"), "--format", "csv"}, "");
  EXPECT_EQ(r.code, 4);
  EXPECT_TRUE(Has(r.err, "no column gives the entries' titles")) << r.err;
  r = Q({"import", "Main", Sample("bitwarden.json"), "--format", "keepassxc"}, "");
  EXPECT_EQ(r.code, 4);
  EXPECT_TRUE(Has(r.err, "line 2 has 2 cells, the header has 1")) << r.err;
  r = Q({"import", "Main", dir.file("missing.csv"), "--format", "csv"}, "");
  EXPECT_EQ(r.code, 4);
  EXPECT_TRUE(Has(r.err, "missing.csv cannot be imported: cannot read")) << r.err;
  EXPECT_EQ(SafeBytes("Main"), before);
  // With a mapping (two --map options) the file imports; known headers need none.
  r = Q({"import", "Main", dir.file("plain.csv"), "--format", "csv", "--map", "Title=first", "--map",
         "PIN=second"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(Ok({"show", "Main", "Internet/Web Logins/x"}), "PIN: y"));
  r = Q({"import", "Main", Sample("generic.csv"), "--format", "csv"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(Ok({"show", "Main", "Culture/Books/Library", "--reveal"}), "Password: sh;elf"));
}

}  // namespace
}  // namespace quillmar::test
