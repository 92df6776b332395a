// The import from other password managers: the CSV reader, the three formats read from sample files
// written by hand, and the importer on real Safes made from the template (where the entries land,
// which fields they get, what is skipped and reported), the dry run, cancel and failures that must
// leave the Safe exactly as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "base/DateTime.h"
#include "base/Exception.h"
#include "container/SingleFileSystem.h"
#include "core/qmCsvTable.h"
#include "core/qmGlobal.h"
#include "core/qmImportSource.h"
#include "core/qmImporter.h"
#include "core/qmRepositoryTree.h"
#include "model/qmRepositoryEntry.h"
#include "support/CrashTesting.h"
#include "support/ExpectThrow.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

using TNode = TqmRepositoryTree::TNode;
using test::TempDir;

std::string Sample(const std::string& name) {
  return std::string(QM_TEST_DATA_DIR) + "/import/" + name;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// --- The CSV reader ---------------------------------------------------------------------------------------

TEST(CsvTable, QuotesDelimitersAndLineBreaksInsideCells) {
  const auto t = TqmCsvTable::Parse(
      "\xEF\xBB\xBF"
      "a,b,c\r\n"
      "\"x,1\",\"say \"\"hi\"\"\",\"two\r\nlines\"\n"
      "\n"
      ",,\n"
      "last,row,\"no end\"");
  EXPECT_EQ(t.Header(), (std::vector<std::string>{"a", "b", "c"}));
  ASSERT_EQ(t.Rows().size(), 3u);
  EXPECT_EQ(t.Rows()[0].cells, (std::vector<std::string>{"x,1", "say \"hi\"", "two\r\nlines"}));
  EXPECT_EQ(t.Rows()[0].line, 2u);
  // The empty line is skipped; a row of empty cells is a row.
  EXPECT_EQ(t.Rows()[1].cells, (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(t.Rows()[1].line, 5u);
  EXPECT_EQ(t.Rows()[2].cells, (std::vector<std::string>{"last", "row", "no end"}));
  EXPECT_EQ(t.Column(" B "), 1);
  EXPECT_EQ(t.Column("d"), -1);
  // What a writer writes reads back.
  const std::string tricky = "a \"b\", c\nd";
  EXPECT_EQ(TqmCsvTable::Parse("h\n" + CsvCell(tricky) + "\n").Rows()[0].cells[0], tricky);
}

TEST(CsvTable, DelimiterFromTheHeaderAndErrorsNameTheLine) {
  EXPECT_EQ(TqmCsvTable::Parse("a;b;\"c,d\"\n1;2;3\n", TqmCsvTable::kAutoDelimiter).Delimiter(), ';');
  EXPECT_EQ(TqmCsvTable::Parse("a\tb\n1\t2\n", TqmCsvTable::kAutoDelimiter).Rows()[0].cells[1], "2");
  EXPECT_PRED2(Has, test::ExpectThrow<EQuillmarError>([] { TqmCsvTable::Parse("a,b\n1,\"open\n2,3\n"); }),
               "line 2");
  EXPECT_PRED2(Has, test::ExpectThrow<EQuillmarError>([] { TqmCsvTable::Parse("a,b\n1,2\n1,2,3\n"); }),
               "line 3 has 3 cells");
  EXPECT_PRED2(Has, test::ExpectThrow<EQuillmarError>([] { TqmCsvTable::Parse("a,b\n\"x\"y,2\n"); }),
               "line 2");
}

// --- Reading the formats
// -------------------------------------------------------------------------------------

TEST(ImportSource, KeePassXCRowsWithRootGroupDroppedAndUnknownColumnsKept) {
  const auto src = ReadImportFile(Sample("keepassxc.csv"), TqmImportFormat::KeePassXC);
  ASSERT_EQ(src.records.size(), 7u);
  EXPECT_TRUE(src.records[0].group.empty());
  EXPECT_EQ(src.records[4].group,
            (std::vector<TqmImportPathPart>{{"Internet", 0}, {"Shops", 0}, {"Music", 0}}));
  EXPECT_EQ(src.records[1].where, "line 3");
  EXPECT_EQ(src.records[2].where, "line 5");  // the notes of line 3 run over two lines
  EXPECT_EQ(src.records[1].Title(), "Caf\xC3\xA9 Wien");
  EXPECT_EQ(src.notes.size(), 1u);  // icon and times are left out, said once
  // A column KeePassXC does not write goes into the notes.
  const auto extra = ReadImportText("Title,Password,Colour\nx,y,blue\n", TqmImportFormat::KeePassXC);
  ASSERT_EQ(extra.records[0].extras.size(), 1u);
  EXPECT_EQ(extra.records[0].extras[0], std::make_pair(std::string("Colour"), std::string("blue")));
  EXPECT_PRED2(Has, test::ExpectThrow<EQuillmarError>([] {
                 ReadImportText("name,pw\nx,y\n", TqmImportFormat::KeePassXC);
               }),
               "no \"Title\" column");
}

TEST(ImportSource, RefusesTextThatIsNotUtf8AndEncryptedBitwardenExports) {
  EXPECT_PRED2(Has, test::ExpectThrow<EQuillmarError>([] {
                 ReadImportText("Title\nCaf\xE9\n", TqmImportFormat::KeePassXC);
               }),
               "not UTF-8 text (Character 10 of the text is not valid UTF-8.");
  EXPECT_PRED2(Has, test::ExpectThrow<EQuillmarError>([] {
                 ReadImportText(R"({"encrypted": true, "encKeyValidation_DO_NOT_EDIT": "2.x"})",
                                TqmImportFormat::Bitwarden);
               }),
               "encrypted");
  EXPECT_PRED2(Has, test::ExpectThrow<EQuillmarError>([] {
                 ReadImportText("{\"items\": [", TqmImportFormat::Bitwarden);
               }),
               "not well-formed");
}

TEST(ImportSource, GenericCsvMappingAndItsMistakes) {
  const auto map = ParseColumnMapping("Title=name,Username=login,Password=pw,URL=site,Group=folder,PIN=PIN");
  ASSERT_EQ(map.size(), 6u);
  const auto src = ReadImportFile(Sample("generic.csv"), TqmImportFormat::Csv, map);
  ASSERT_EQ(src.records.size(), 2u);  // the empty row is left out, and said
  EXPECT_EQ(src.notes.size(), 1u);
  EXPECT_EQ(src.records[0].group, (std::vector<TqmImportPathPart>{{"Culture", 0}, {"Books", 0}}));
  EXPECT_PRED2(Has, test::ExpectThrow<EQuillmarError>([] { ParseColumnMapping("Title"); }), "TARGET=COLUMN");
  EXPECT_PRED2(Has, test::ExpectThrow<EQuillmarError>([] {
                 ReadImportText("a,b\n1,2\n", TqmImportFormat::Csv, ParseColumnMapping("Title=c"));
               }),
               "the column \"c\"");
  EXPECT_PRED2(Has,
               test::ExpectThrow<EQuillmarError>([] { ReadImportText("a,b\n1,2\n", TqmImportFormat::Csv); }),
               "no column gives the entries' titles");
  // Without a mapping, known headers are taken by their names.
  const auto plain = ReadImportText("Name,Password,URL\nx,y,https://z\n", TqmImportFormat::Csv);
  EXPECT_EQ(plain.records[0].values.size(), 3u);
}

TEST(ImportSource, ExportRowsBecomeEntriesWhereCategoryOrTitleChangeOrAFieldRepeats) {
  const std::string text =
      "category,title,field,type,value\r\n"
      "Internet/Web Logins,Same,Web site name,Normal Text,Same\r\n"
      "Internet/Web Logins,Same,Password,Password Field,one\r\n"
      "Internet/Web Logins,Same,Web site name,Normal Text,Same\r\n"
      "Internet/Web Logins,Same,Password,Password Field,two\r\n"
      "A\\/B#2/C,Scan,Scan,Picture,scan.png\r\n";
  const auto src = ReadImportText(text, TqmImportFormat::Csv);
  ASSERT_EQ(src.records.size(), 3u);
  EXPECT_EQ(src.records[1].values[1].value, "two");
  EXPECT_EQ(src.records[1].values[1].type, ftPassword);
  EXPECT_EQ(src.records[2].group, (std::vector<TqmImportPathPart>{{"A/B", 2}, {"C", 0}}));
  // An attached file is not in an export: the field stays empty, and the entry says why.
  EXPECT_EQ(src.records[2].values[0].value, "");
  ASSERT_EQ(src.records[2].notes.size(), 1u);
  EXPECT_TRUE(Has(src.records[2].notes[0], "scan.png"));
}

// --- Importing into a Safe --------------------------------------------------------------------------------

class ImportTest : public ::testing::Test {
protected:
  static constexpr char kPassword[] = "import-pass";

  ImportTest() : g_(dir_.file("home"), {"quillmar"}) {
    g_.CreateSafe(g_.SafeFile("Main"), kPassword, TqmSafeKind::Compatible);
    g_.OpenSafeByName("Main", kPassword);
  }

  const TqmImportPlan& Plan(const TqmImportSource& src, TqmImportOptions options = {}) {
    importer_ = std::make_unique<TqmImporter>(g_, codePage_);
    return importer_->Plan(src, options);
  }
  const TqmImportPlan& Import(const TqmImportSource& src, TqmImportOptions options = {}) {
    const TqmImportPlan& plan = Plan(src, options);
    EXPECT_TRUE(importer_->Run());
    return plan;
  }

  // The category of that path (names from the top level), read afresh from the Safe.
  TNode* Node(const std::vector<std::string>& path) {
    tree_ = std::make_unique<TqmRepositoryTree>(g_);
    TNode* node = &tree_->Root();
    for (const auto& name : path) {
      tree_->Load(*node);
      TNode* next = nullptr;
      for (auto& c : node->categories)
        if (c->category->Name() == name && !next) next = c.get();
      if (!next) return nullptr;
      node = next;
    }
    tree_->Load(*node);
    return node;
  }
  const TqmRepositoryEntry* Entry(const std::vector<std::string>& path, const std::string& title,
                                  int nth = 1) {
    TNode* node = Node(path);
    if (!node) return nullptr;
    for (const auto& e : node->entries)
      if (e->Title() == title && --nth == 0) return e.get();
    return nullptr;
  }
  static std::string Value(const TqmRepositoryEntry* e, const std::string& field) {
    if (!e) return "<no entry>";
    for (const auto& f : e->Fields())
      if (f->Name() == field) return f->Value();
    return "<no field>";
  }
  static std::vector<std::string> FieldNames(const TqmFieldList& fields) {
    std::vector<std::string> names;
    for (const auto& f : fields) names.push_back(f->Name());
    return names;
  }
  std::string Snapshot() {
    return test::ContainerSnapshot(*g_.Wrapper().Container(), TqmSFSWrapper::kRecordPassword);
  }

  TempDir dir_;
  TqmGlobal g_;
  TCodePage codePage_{"windows-1252"};
  std::unique_ptr<TqmImporter> importer_;
  std::unique_ptr<TqmRepositoryTree> tree_;
};

TEST_F(ImportTest, KeePassXCGroupsBecomeCategoriesAndValuesFindTheirFields) {
  const auto& plan = Import(ReadImportFile(Sample("keepassxc.csv"), TqmImportFormat::KeePassXC));
  EXPECT_EQ(plan.entries.size(), 6u);
  EXPECT_EQ(plan.CreatedCategories(), 3u);  // Internet/Shops, Internet/Shops/Music, Email
  EXPECT_EQ(plan.Summary("Imported"),
            "Imported 6 entries into 5 categories; 3 categories made; 1 record skipped.");

  // No group: the Safe's "Web Logins".
  const auto* bank = Entry({"Internet", "Web Logins"}, "Example Bank");
  EXPECT_EQ(Value(bank, "Address"), "https://bank.example");
  EXPECT_EQ(Value(bank, "User name"), "alice");
  EXPECT_EQ(Value(bank, "Password"), "hunter2");

  // An existing category with other field names: the roles find them.
  const auto* cafe = Entry({"Internet"}, "Caf\xE9 Wien");
  EXPECT_EQ(Value(cafe, "Web site"), "https://cafe.example");
  EXPECT_EQ(Value(cafe, "User name"), "anna");
  EXPECT_EQ(Value(cafe, "Password"), "pa,ss\"word");
  EXPECT_EQ(Value(cafe, "Notes"), "Table by the window,\nask for \"Franz\"");

  // Three levels made from "Web Logins"; the TOTP column added a password field to the template.
  TNode* shops = Node({"Internet", "Shops"});
  ASSERT_NE(shops, nullptr);
  EXPECT_EQ(FieldNames(shops->category->Fields()),
            (std::vector<std::string>{"Web site name", "Address", "User name", "Password", "E-mail used",
                                      "Notes", "TOTP"}));
  EXPECT_EQ(shops->category->Fields()[6].FieldType(), ftPassword);
  EXPECT_TRUE(shops->category->HasIcon());
  const std::string icon = shops->category->Icon();
  EXPECT_EQ(Entry({"Internet", "Shops"}, "Book Shop")->Icon(), icon);  // an entry shows its category's icon
  EXPECT_EQ(Value(Entry({"Internet", "Shops"}, "Book Shop"), "TOTP"),
            "otpauth://totp/Books:reader?secret=JBSWY3DPEHPK3PXP&issuer=Books");
  EXPECT_EQ(Value(Entry({"Internet", "Shops", "Music"}, "Record Store", 2), "User name"), "dj2");
  EXPECT_EQ(Value(Entry({"Email"}, "Z\xFCrich Mail"), "User name"), "z@example.ch");

  // The duplicate title is imported and marked; the unencodable one is skipped, naming line, field
  // and character.
  EXPECT_EQ(plan.TakenTitles(), 1u);
  ASSERT_EQ(plan.skipped.size(), 1u);
  EXPECT_EQ(plan.skipped[0].where, "line 8");
  EXPECT_EQ(plan.skipped[0].title, "Gift Shop");
  EXPECT_TRUE(Has(plan.skipped[0].reason, "\"Notes\" holds \"\xE2\x9C\x93\" (U+2713, position 11)"))
      << plan.skipped[0].reason;
  EXPECT_EQ(Entry({"Internet", "Shops"}, "Gift Shop"), nullptr);
}

TEST_F(ImportTest, ReplacingUnencodableCharactersImportsTheEntryAndSaysSo) {
  TqmImportOptions options;
  options.replaceUnencodable = true;
  const auto& plan = Import(
      ReadImportText("Group,Title,Password,Notes\nRoot,Gift,p\xE2\x82\xAC\xE2\x9C\x93,ok \xE2\x9C\x93\n",
                     TqmImportFormat::KeePassXC),
      options);
  ASSERT_EQ(plan.entries.size(), 1u);
  EXPECT_TRUE(plan.skipped.empty());
  // The euro sign is in windows-1252; the check mark is not.
  const auto* gift = Entry({"Internet", "Web Logins"}, "Gift");
  EXPECT_EQ(Value(gift, "Password"), "p\x80?");
  EXPECT_EQ(Value(gift, "Notes"), "ok ?");
  ASSERT_EQ(plan.entries[0].notes.size(), 2u);
  // A password's character is not shown, only where it is.
  const auto& notes = plan.entries[0].notes;
  const auto password =
      std::find_if(notes.begin(), notes.end(), [](const std::string& n) { return Has(n, "\"Password\""); });
  ASSERT_NE(password, notes.end());
  EXPECT_TRUE(Has(*password, "a character at position 3")) << *password;
  EXPECT_FALSE(Has(*password, "\xE2\x9C\x93"));
}

TEST_F(ImportTest, BitwardenFoldersKindsAndCustomFields) {
  const auto& plan = Import(ReadImportFile(Sample("bitwarden.json"), TqmImportFormat::Bitwarden));
  EXPECT_EQ(plan.entries.size(), 6u);
  ASSERT_EQ(plan.skipped.size(), 2u);  // the unknown item type, the Cyrillic station name
  EXPECT_TRUE(Has(plan.skipped[0].reason, "type 5"));
  EXPECT_TRUE(Has(plan.skipped[1].reason, "\"Station\" holds \"\xD0\x9A\" (U+041A, position 1)"));

  const auto* mail = Entry({"Internet"}, "Mail, \"work\"");
  EXPECT_EQ(Value(mail, "Web site"), "https://mail.example.com");
  EXPECT_EQ(Value(mail, "Address 2"), "https://webmail.example.com");
  EXPECT_EQ(Value(mail, "Address 3"), "imap.example.com");
  EXPECT_EQ(Value(mail, "PIN"), "4711");
  EXPECT_EQ(Value(mail, "Work account"), "True");
  EXPECT_EQ(Value(mail, "TOTP"), "JBSWY3DPEHPK3PXP");
  EXPECT_EQ(Value(mail, "Notes"), "Line one\nLine two with a \"quote\"");
  EXPECT_EQ(Value(mail, "Login copy"), "<no field>");
  // Custom fields joined the category's template, with their types.
  TNode* internet = Node({"Internet"});
  const auto names = FieldNames(internet->category->Fields());
  EXPECT_EQ(
      std::vector<std::string>(names.begin() + 5, names.end()),
      (std::vector<std::string>{"Address 2", "Address 3", "TOTP", "Account ID", "PIN", "Work account"}));
  EXPECT_EQ(internet->category->Fields()[9].FieldType(), ftPassword);
  EXPECT_EQ(internet->category->Fields()[10].FieldType(), ftYesNo);
  EXPECT_EQ(plan.ChangedTemplates(), 1u);

  EXPECT_EQ(Value(Entry({"Internet", "Shops", "Music"}, "Record Store", 2), "Notes"), "The second one");
  EXPECT_EQ(Value(Entry({"Notes"}, "Wi-Fi at Grandma's"), "Note"), "Network: Garden\nKey: tulip-tree-42");

  const auto* card = Entry({"Finance", "Credit Cards"}, "Travel Visa");
  EXPECT_EQ(Value(card, "Card number"), "4111111111111111");
  EXPECT_EQ(Value(card, "Card holder"), "Anna Berg");
  EXPECT_EQ(Value(card, "Security code"), "321");
  EXPECT_EQ(Value(card, "Valid until"),
            std::to_string(static_cast<int64_t>(std::floor(EncodeDate(2028, 2, 29)))));
  EXPECT_EQ(Value(card, "Notes"), "Brand: Visa\nFolder: Finance");

  const auto* passport = Entry({"Personal", "Identities"}, "Passport");
  EXPECT_EQ(Value(passport, "Document number"), "X1234567");
  EXPECT_EQ(Value(passport, "Full name"), "Ms Anna Berg");
  EXPECT_EQ(Value(passport, "Notes"),
            "Document: Passport number\nLicence number: B-99\nE-mail: anna@example.ch\nAddress: Hauptstra\xDF"
            "e 1, 8001 Z\xFCrich, CH");
}

TEST_F(ImportTest, GenericCsvWithMappingAndIntoABaseCategory) {
  TqmImportOptions options;
  options.into = {{"Imported", 0}};
  const auto& plan =
      Import(ReadImportFile(Sample("generic.csv"), TqmImportFormat::Csv,
                            ParseColumnMapping("Title=name,Username=login,Password=pw,URL=site,"
                                               "Group=folder,PIN=PIN")),
             options);
  EXPECT_EQ(plan.entries.size(), 2u);
  const auto* library = Entry({"Imported", "Culture", "Books"}, "Library");
  EXPECT_EQ(Value(library, "Password"), "sh;elf");
  EXPECT_EQ(Value(library, "PIN"), "1234");
  EXPECT_EQ(Value(library, "Notes"), "Card in the \"blue\" wallet");
  // No group: into the base itself; the unmapped column went into the notes.
  EXPECT_EQ(Value(Entry({"Imported"}, "Gym"), "Notes"), "Extra: locker 12");
  EXPECT_EQ(plan.categories[0].madeFrom, "Web Logins");
}

TEST_F(ImportTest, ExactFieldsFromAnExportAndAValueThatCannotBeStored) {
  const std::string text =
      "category,title,field,type,value\n"
      "Vault/Keys,Door,Label,Normal Text,Door\n"
      "Vault/Keys,Door,Code,Password Field,1234\n"
      "Vault/Keys,Bad,Label,Normal Text,Bad\n"
      "Vault/Keys,Bad,Code,Password Field,a</field>b\n"
      "Internet/Web Logins,Shop,Web site name,Normal Text,Shop\n"
      "Internet/Web Logins,Shop,Password,Password Field,pw\n";
  const auto& plan = Import(ReadImportText(text, TqmImportFormat::Csv));
  ASSERT_EQ(plan.skipped.size(), 1u);
  EXPECT_EQ(plan.skipped[0].title, "Bad");
  EXPECT_TRUE(Has(plan.skipped[0].reason, "cannot be stored exactly")) << plan.skipped[0].reason;
  // A category the template does not have takes the fields of its first entry; its parent, which
  // receives no entry, those of "Web Logins".
  EXPECT_EQ(FieldNames(Node({"Vault", "Keys"})->category->Fields()),
            (std::vector<std::string>{"Label", "Code"}));
  EXPECT_EQ(Node({"Vault"})->category->Fields().Count(), 6);
  // An entry of an existing category keeps exactly its own fields; the template is not changed.
  EXPECT_EQ(FieldNames(Entry({"Internet", "Web Logins"}, "Shop")->Fields()),
            (std::vector<std::string>{"Web site name", "Password"}));
  EXPECT_EQ(Node({"Internet", "Web Logins"})->category->Fields().Count(), 6);
  EXPECT_TRUE(Entry({"Internet", "Web Logins"}, "Shop")->Fields()[0].IsRequired());
}

TEST_F(ImportTest, ThePlanWritesNothingAndNewEntriesGoLast) {
  const auto src = ReadImportFile(Sample("keepassxc.csv"), TqmImportFormat::KeePassXC);
  g_.CloseSafe();
  const std::string before = test::ReadFileBytes(g_.SafeFile("Main"));
  // A dry run needs the Safe for reading only.
  g_.OpenSafeByName("Main", kPassword, true);
  const auto& plan = Plan(src);
  EXPECT_EQ(plan.entries.size(), 6u);
  g_.CloseSafe();
  EXPECT_EQ(test::ReadFileBytes(g_.SafeFile("Main")), before);

  // Into a category that holds entries: the new ones come after them, numbered on.
  g_.OpenSafeByName("Main", kPassword);
  Import(ReadImportText("Title\nFirst\n", TqmImportFormat::KeePassXC));
  Import(ReadImportText("Title\nSecond\nThird\n", TqmImportFormat::KeePassXC));
  TNode* web = Node({"Internet", "Web Logins"});
  ASSERT_EQ(web->entries.size(), 3u);
  EXPECT_EQ(web->entries[2]->Title(), "Third");
  EXPECT_EQ(web->entries[2]->SortOrder(), 2);
}

TEST_F(ImportTest, CancelAndFailedWritesLeaveTheSafeAsItWas) {
  using TFault = test::TFaultyPartStorage::TFault;
  const auto src = ReadImportFile(Sample("bitwarden.json"), TqmImportFormat::Bitwarden);
  const std::string file = g_.SafeFile("Main");
  g_.CloseSafe();
  const std::string base = test::ReadFileBytes(file);
  const std::string before = test::ReopenedSnapshot(file, kPassword, TqmSFSWrapper::kRecordPassword, nullptr);
  auto restore = [&] {
    std::filesystem::remove(TSingleFileSystem::JournalFileName(file));
    test::WriteFileBytes(file, base);
  };
  auto expectAsBefore = [&] {
    std::vector<std::string> problems;
    EXPECT_EQ(test::ReopenedSnapshot(file, kPassword, TqmSFSWrapper::kRecordPassword, &problems), before);
    EXPECT_EQ(problems, std::vector<std::string>{});
  };

  // Cancelled in the middle.
  g_.OpenSafeByName("Main", kPassword);
  Plan(src);
  int calls = 0;
  EXPECT_FALSE(importer_->Run([&](double, bool& cancel) { cancel = ++calls == 8; }));
  importer_.reset();
  g_.CloseSafe();
  expectAsBefore();

  // The whole import through a storage that counts the changes of the disk, then the same with the
  // disk full, with one write failing in the middle, and with the program dying there.
  test::TFaultyPartStorage storage;
  int64_t operations = 0;
  auto run = [&](TFault fault, int64_t at, int64_t writeBudget) {
    restore();
    bool done = false;
    try {
      TqmGlobal g(dir_.file("home"), {"quillmar"});
      g.Wrapper().SetPartStorage(&storage);
      g.OpenSafeByName("Main", kPassword);
      TqmImporter importer(g, codePage_);
      importer.Plan(src, {});
      storage.Arm(fault, at);
      storage.writeBudget = writeBudget;
      done = importer.Run();
    } catch (const std::exception&) {
    }
    operations = storage.Operations();
    storage.Disarm();
    storage.writeBudget = -1;
    return done;
  };
  ASSERT_TRUE(run(TFault::None, 0, -1));
  const int64_t middle = operations / 2;
  ASSERT_GT(middle, 4);
  EXPECT_FALSE(run(TFault::None, 0, 3 * 4096));
  expectAsBefore();
  EXPECT_FALSE(run(TFault::Fail, middle, -1));
  expectAsBefore();
  EXPECT_FALSE(run(TFault::Crash, middle, -1));
  expectAsBefore();
}

}  // namespace
}  // namespace quillmar
