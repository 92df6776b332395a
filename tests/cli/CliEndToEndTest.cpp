// quillmar-cli run as a program on real Safes in a temporary home folder, passwords on standard input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "CliRunner.h"
#include "container/DIRItem.h"
#include "container/SFSFileStream.h"
#include "container/SingleFileSystem.h"
#include "safe/qmSFSWrapper.h"
#include "support/ContainerDamage.h"
#include "support/TempDir.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;

constexpr char kPw[] = "correct horse 7";
// What check says of a Safe made by create under the tests' key-derivation cost (see
// QUILLMAR_TEST_KDF_COST in cmake/Warnings.cmake).
constexpr char kTestKind[] = "kind: hardened (Argon2id, 64 KiB, 1 pass, 1 lane)\n";

class CliEndToEnd : public TCliHomeTest {
protected:
  CliEndToEnd() : TCliHomeTest(kPw) {}
  std::string Safe(const std::string& name = "Main") { return home + "/" + name + ".qvt"; }
  void CreateMain() {
    Ok({"create", "Main"});
    Ok({"mkcat", "Main", "Internet/Forums", "--field", "Title:text", "--field", "User:text", "--field",
        "Password:password:required", "--field", "Site:url", "--field", "Notes:memo"});
  }
  std::string MakeFile(const std::string& name, size_t size) {
    std::string bytes(size, '\0');
    std::mt19937 rng(static_cast<unsigned>(size));
    for (auto& b : bytes) b = static_cast<char>(rng());
    const std::string path = dir.file(name);
    WriteFileBytes(path, bytes);
    return path;
  }
};

TEST_F(CliEndToEnd, HelpAndUsageErrors) {
  TCliRun r = RunCli({"--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("Usage: quillmar-cli [--home DIR] [--json] [--wait SECONDS] COMMAND ARGS..."),
            std::string::npos);
  r = RunCli({"lock", "--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("--remove-from-disk"), std::string::npos);
  r = RunCli({"frobnicate"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "quillmar-cli: unknown command \"frobnicate\" (see \"quillmar-cli --help\")\n");
  r = Q({"show", "Main"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST_F(CliEndToEnd, CreateListAndTheMissingSafe) {
  EXPECT_EQ(Ok({"safes"}), "");
  CreateMain();
  EXPECT_TRUE(fs::is_regular_file(Safe()));
  EXPECT_EQ(fs::status(home).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(Ok({"safes"}), "Main\n");
  EXPECT_EQ(Ok({"--json", "safes"}), "[\"Main\"]\n");
  // A second create of the same name changes nothing.
  const std::string before = ReadFileBytes(Safe());
  TCliRun r = Q({"create", "Main"}, "other password\n");
  EXPECT_EQ(r.code, 4);
  EXPECT_EQ(ReadFileBytes(Safe()), before);

  r = Q({"ls", "Nowhere"});
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("there is no Safe \"Nowhere\""), std::string::npos);
  r = Q({"ls", "../Main"});
  EXPECT_EQ(r.code, 2);
  // No password on standard input is a usage error, not a wrong password.
  r = Q({"ls", "Main"}, "");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("no master password given"), std::string::npos);
}

TEST_F(CliEndToEnd, WrongPasswordExitsThreeAndLeavesTheFileAsItWas) {
  CreateMain();
  const std::string before = ReadFileBytes(Safe());
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"ls", "Main"},
           {"add", "Main", "Internet/Forums", "--set", "Title=x", "--set", "Password=y"},
           {"rmcat", "Main", "Internet/Forums"},
           {"repair", "Main"},
           {"check", "Main"}}) {
    TCliRun r = Q(args, "not the password\n");
    EXPECT_EQ(r.code, 3) << args[0];
    EXPECT_NE((r.err + r.out).find("wrong "), std::string::npos) << args[0] << ": " << r.err;
  }
  TCliRun r = Q({"passwd", "Main"}, "not the password\nnew password\n");
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(ReadFileBytes(Safe()), before);
  EXPECT_EQ(Ok({"check", "Main"}), std::string("0 usable\n") + kTestKind);
}

// Equal titles are told apart by "#n" in every listing, exactly as listings have always shown them
// (the expected texts are those of earlier versions), and a title edited in place is numbered anew.
TEST_F(CliEndToEnd, EqualTitlesAreNumberedInEveryListingAsBefore) {
  CreateMain();
  Ok({"mkcat", "Main", "Web", "--field", "Title:text", "--field", "Notes:memo"});
  Ok({"mkcat", "Main", "Web/Deep", "--field", "Title:text"});
  EXPECT_EQ(Ok({"add", "Main", "Web", "--set", "Title=a"}), "Web/a\n");
  EXPECT_EQ(Ok({"add", "Main", "Web", "--set", "Title=b"}), "Web/b\n");
  EXPECT_EQ(Ok({"add", "Main", "Web", "--set", "Title=a"}), "Web/a#2\n");
  EXPECT_EQ(Ok({"add", "Main", "Web", "--set", "Title=x/y"}), "Web/x\\/y\n");
  EXPECT_EQ(Ok({"add", "Main", "Web", "--set", "Title=a"}), "Web/a#3\n");
  EXPECT_EQ(Ok({"add", "Main", "Web/Deep", "--set", "Title=a"}), "Web/Deep/a\n");

  EXPECT_EQ(Ok({"ls", "Main", "Web", "-R"}), "Deep/\n  a\na#1\nb\na#2\nx\\/y\na#3\n");
  EXPECT_EQ(
      Ok({"--json", "ls", "Main", "Web", "-R"}),
      "[{\"kind\":\"category\",\"name\":\"Deep\",\"path\":\"Web/Deep/\",\"children\":[{\"kind\":\"entry\","
      "\"name\":\"a\",\"path\":\"Web/Deep/a\"}]},{\"kind\":\"entry\",\"name\":\"a\",\"path\":\"Web/a#1\"},"
      "{\"kind\":\"entry\",\"name\":\"b\",\"path\":\"Web/b\"},{\"kind\":\"entry\",\"name\":\"a\",\"path\":"
      "\"Web/a#2\"},{\"kind\":\"entry\",\"name\":\"x/y\",\"path\":\"Web/x\\\\/y\"},{\"kind\":\"entry\","
      "\"name\":\"a\",\"path\":\"Web/a#3\"}]\n");
  const std::string found = Ok({"search", "Main", "a"});
  EXPECT_NE(found.find("\nWeb/Deep/a\nWeb/a#1\nWeb/a#2\nWeb/a#3\n"), std::string::npos) << found;
  EXPECT_EQ(Ok({"--json", "search", "Main", "x/y"}), "[\"Web/x\\\\/y\"]\n");

  // The second "a" becomes a second "b": it is "b#2" now, and the last "a" is "a#2".
  EXPECT_EQ(Ok({"edit", "Main", "Web/a#2", "--set", "Title=b"}), "Web/b#2\n");
  EXPECT_EQ(Ok({"ls", "Main", "Web"}), "Deep/\na#1\nb#1\nb#2\nx\\/y\na#2\n");
  // An added entry is numbered among the titles as they are now (the renamed one counts as a "b"),
  // byte for byte (letter case counts).
  EXPECT_EQ(Ok({"add", "Main", "Web", "--set", "Title=b"}), "Web/b#3\n");
  EXPECT_EQ(Ok({"add", "Main", "Web", "--set", "Title=A"}), "Web/A\n");
}

TEST_F(CliEndToEnd, EntriesAddEditMoveSearchShow) {
  CreateMain();
  EXPECT_EQ(Ok({"add", "Main", "Internet/Forums", "--set", "Title=Rust forum", "--set", "User=alice", "--set",
                "Password=s3cr3t!", "--set", "Site=https://users.rust-lang.org"}),
            "Internet/Forums/Rust forum\n");
  EXPECT_EQ(Ok({"add", "Main", "Internet/Forums", "--set", "Title=Rust forum", "--set", "User=bob", "--set",
                "Password=hunter2", "--set", "Notes=first line\nsecond line"}),
            "Internet/Forums/Rust forum#2\n");
  EXPECT_EQ(Ok({"add", "Main", "Internet/Forums", "--set", "Title=Caf\xC3\xA9 a/b", "--set", "Password=p"}),
            "Internet/Forums/Caf\xC3\xA9 a\\/b\n");

  // A required field left empty, an unknown field and an ambiguous title are usage errors.
  TCliRun r = Q({"add", "Main", "Internet/Forums", "--set", "Title=No password"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("\"Password\" is required"), std::string::npos);
  r = Q({"edit", "Main", "Internet/Forums/Rust forum#1", "--set", "Colour=red"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("no field \"Colour\""), std::string::npos);
  r = Q({"show", "Main", "Internet/Forums/Rust forum"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("ambiguous"), std::string::npos);
  EXPECT_NE(r.err.find("Rust forum#1"), std::string::npos);
  r = Q({"show", "Main", "Internet/Forums/Rust forum#3"});
  EXPECT_EQ(r.code, 2);

  EXPECT_EQ(
      Ok({"show", "Main", "Internet/Forums/Rust forum#1"}),
      "Title: Rust forum\nUser: alice\nPassword: ********\nSite: https://users.rust-lang.org\nNotes: \n");
  EXPECT_EQ(Ok({"show", "Main", "Internet/Forums/Rust forum#2", "--reveal"}),
            "Title: Rust forum\nUser: bob\nPassword: hunter2\nSite: \nNotes: first line\n  second line\n");
  const std::string json = Ok({"--json", "show", "Main", "Internet/Forums/Caf\xC3\xA9 a\\/b"});
  EXPECT_NE(json.find("\"title\":\"Caf\xC3\xA9 a/b\""), std::string::npos) << json;
  EXPECT_NE(
      json.find(
          "{\"name\":\"Password\",\"type\":\"Password Field\",\"required\":true,\"value\":\"********\"}"),
      std::string::npos)
      << json;

  Ok({"edit", "Main", "Internet/Forums/Rust forum#2", "--set", "Title=Go forum", "--set", "User=robert"});
  EXPECT_EQ(Ok({"ls", "Main", "Internet/Forums"}), "Rust forum\nGo forum\nCaf\xC3\xA9 a\\/b\n");
  EXPECT_EQ(Ok({"mv", "Main", "Internet/Forums/Rust forum", "Internet/Web Logins"}),
            "Internet/Web Logins/Rust forum\n");
  // The entries left behind are renumbered: both are still found, in their order.
  EXPECT_EQ(Ok({"ls", "Main", "Internet/Forums"}), "Go forum\nCaf\xC3\xA9 a\\/b\n");
  Ok({"mv", "Main", "Internet/Forums", "Personal"});
  const std::string tree = Ok({"ls", "Main", "-R"});
  EXPECT_NE(tree.find("Personal/\n"), std::string::npos);
  EXPECT_NE(tree.find("  Forums/\n    Go forum\n    Caf\xC3\xA9 a\\/b\n"), std::string::npos) << tree;
  EXPECT_NE(tree.find("  Web Logins/\n    Rust forum\n"), std::string::npos) << tree;

  const std::string jtree = Ok({"--json", "ls", "Main", "Personal", "-R"});
  EXPECT_NE(
      jtree.find("{\"kind\":\"category\",\"name\":\"Forums\",\"path\":\"Personal/Forums/\",\"children\":["
                 "{\"kind\":\"entry\",\"name\":\"Go forum\",\"path\":\"Personal/Forums/Go forum\"},"),
      std::string::npos)
      << jtree;

  // Search: titles ignoring case, then all fields (those with letter case counting).
  EXPECT_EQ(Ok({"search", "Main", "FORUM"}),
            "Internet/Web Logins/Rust forum\nPersonal/Forums/\nPersonal/Forums/Go forum\n");
  EXPECT_EQ(Ok({"search", "Main", "FORUM", "--case"}), "");
  EXPECT_EQ(Ok({"search", "Main", "hunter2", "--all-fields"}), "Personal/Forums/Go forum\n");
  EXPECT_EQ(Ok({"search", "Main", "HUNTER2", "--all-fields"}), "");
  EXPECT_EQ(Ok({"--json", "search", "Main", "caf\xC3\x89"}), "[\"Personal/Forums/Caf\xC3\xA9 a\\\\/b\"]\n");

  // --ask reads a value after the master password, one line each, in the order given.
  EXPECT_EQ(
      Ok({"add", "Main", "Personal/Forums", "--set", "Title=Asked", "--ask", "Password", "--ask", "User"},
         std::string(kPw) + "\nvery secret\nasked user\n"),
      "Personal/Forums/Asked\n");
  EXPECT_NE(Ok({"show", "Main", "Personal/Forums/Asked", "--reveal"})
                .find("User: asked user\nPassword: very secret\n"),
            std::string::npos);
  EXPECT_EQ(Q({"edit", "Main", "Personal/Forums/Asked", "--ask", "Password"}).code, 2)
      << "no line for the value";
  Ok({"rm", "Main", "Personal/Forums/Asked", "--yes"});

  // A category with entries is refused; deleting the entries first lets it go.
  r = Q({"rmcat", "Main", "Personal/Forums"});
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("You cannot delete this category"), std::string::npos);
  r = Q({"rm", "Main", "Personal/Forums/Go forum"});
  EXPECT_EQ(r.code, 4) << "rm without --yes must not delete when nobody can be asked";
  EXPECT_NE(r.err.find("--yes"), std::string::npos);
  Ok({"rm", "Main", "Personal/Forums/Go forum", "--yes"});
  Ok({"rm", "Main", "Personal/Forums/Caf\xC3\xA9 a\\/b", "--yes"});
  Ok({"rmcat", "Main", "Personal/Forums"});
  EXPECT_EQ(Ok({"search", "Main", "forum"}), "Internet/Web Logins/Rust forum\n");
}

TEST_F(CliEndToEnd, LockAndUnlockFilesOfSeveralSizes) {
  CreateMain();
  Ok({"mkdir", "Main", "Docs/2024"});
  std::vector<std::string> files;
  for (size_t size : {0u, 7u, 8u, 8193u, 300000u})
    files.push_back(MakeFile("f" + std::to_string(size) + ".bin", size));
  std::vector<std::string> args = {"lock", "Main"};
  args.insert(args.end(), files.begin(), files.end());
  args.insert(args.end(), {"--into", "Docs/2024", "--remove-from-disk"});
  std::vector<std::string> originals;
  for (const auto& f : files) originals.push_back(ReadFileBytes(f));
  Ok(args);
  for (const auto& f : files) EXPECT_FALSE(fs::exists(f)) << f;

  EXPECT_EQ(Ok({"files", "Main"}), "Docs/\n");
  const std::string listing = Ok({"files", "Main", "Docs/2024"});
  EXPECT_NE(listing.find("f8193.bin\t8193\t"), std::string::npos) << listing;
  EXPECT_NE(listing.find("f0.bin\t0\t"), std::string::npos) << listing;
  EXPECT_NE(
      Ok({"--json", "files", "Main", "Docs/2024"}).find("{\"kind\":\"file\",\"name\":\"f7.bin\",\"size\":7,"),
      std::string::npos);

  const std::string out = dir.file("out");
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string name = fs::path(files[i]).filename().string();
    Ok({"unlock", "Main", "Docs/2024/" + name, out, i == 0 ? "--keep" : "--"});
    EXPECT_EQ(ReadFileBytes(out + "/" + name), originals[i]) << name;
  }
  // --keep left the first one in the Safe; the others are gone from it.
  EXPECT_EQ(Ok({"files", "Main", "Docs/2024"}).substr(0, 7), "f0.bin\t");
  TCliRun r = Q({"unlock", "Main", "Docs/2024/f7.bin", out});
  EXPECT_EQ(r.code, 4);

  // An existing file of the same name in the Safe is not replaced without --yes.
  const std::string again = MakeFile("f0.bin", 3);
  r = Q({"lock", "Main", again, "--into", "Docs/2024"});
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("--yes"), std::string::npos);
  Ok({"lock", "Main", again, "--into", "Docs/2024", "--yes"});
  EXPECT_NE(Ok({"files", "Main", "Docs/2024"}).find("f0.bin\t3\t"), std::string::npos);

  Ok({"rename", "Main", "Docs/2024/f0.bin", "renamed.bin"});
  r = Q({"rmfile", "Main", "Docs"});
  EXPECT_EQ(r.code, 4);
  Ok({"rmfile", "Main", "Docs", "--yes"});
  EXPECT_EQ(Ok({"files", "Main"}), "");
}

TEST_F(CliEndToEnd, FileLockerNamesAreSafeTextInsideAndUtf8Outside) {
  CreateMain();
  const std::string umlaut =
      "\xC3\x9C"
      "bersicht.txt";  // "Übersicht.txt" in UTF-8
  const std::string path = dir.file(umlaut);
  WriteFileBytes(path,
                 "Gr\xC3\xBC\xC3\x9F"
                 "e");
  Ok({"mkdir", "Main", "Caf\xC3\xA9"});
  Ok({"lock", "Main", path, "--into", "Caf\xC3\xA9", "--remove-from-disk"});
  EXPECT_EQ(Ok({"files", "Main"}), "Caf\xC3\xA9/\n");
  EXPECT_EQ(Ok({"files", "Main", "Caf\xC3\xA9"}).substr(0, umlaut.size() + 1), umlaut + "\t");
  {
    // Inside the Safe both names are windows-1252, as every other text of a Safe.
    TSingleFileSystem sfs(Safe(), -1, 8, 2048, 0, "", "", TqmSFSWrapper::TextKeyFor(Safe(), kPw), false, 0);
    EXPECT_TRUE(
        sfs.FileExists("\\File Locker\\Caf\xE9\\\xDC"
                       "bersicht.txt"));
  }
  Ok({"unlock", "Main", "Caf\xC3\xA9/" + umlaut, dir.file("out")});
  EXPECT_EQ(ReadFileBytes(dir.file("out") + "/" + umlaut),
            "Gr\xC3\xBC\xC3\x9F"
            "e");

  // A name the Safe's code page cannot hold is refused, and the disk file stays.
  const std::string japanese = dir.file("\xE6\x97\xA5\xE6\x9C\xAC.txt");
  WriteFileBytes(japanese, "x");
  TCliRun r = Q({"lock", "Main", japanese, "--remove-from-disk"});
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("cannot store"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::exists(japanese));
}

TEST_F(CliEndToEnd, AFileThatCannotBeReadIsNotLockedAndStays) {
  CreateMain();
  const std::string path = MakeFile("held.txt", 100);
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);  // another program holds it
  TCliRun r = Q({"lock", "Main", path, "--remove-from-disk"});
  ::close(fd);
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("was not locked"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(Ok({"files", "Main"}), "");
  r = Q({"lock", "Main", dir.file("missing.txt")});
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("does not exist"), std::string::npos);
}

// Whether the Safe holds an attached file of that name (Safe text).
bool IsAttached(const std::string& safe, const std::string& name) {
  TSingleFileSystem sfs(safe, -1, 8, 2048, 0, "", "", TqmSFSWrapper::TextKeyFor(safe, kPw), false, 0);
  return sfs.FileExists("\\Quillmar.System.Info\\Attached Files\\" + name);
}

TEST_F(CliEndToEnd, AttachShowExtractAndReplaceFiles) {
  CreateMain();
  Ok({"mkcat", "Main", "Papers", "--field", "Title:text", "--field", "Scan:file", "--field", "Photo:picture",
      "--field", "Pin:password"});
  const std::string scan = MakeFile("scan.pdf", 70001);
  const std::string photo = MakeFile("me.png", 1234);
  const std::string scanBytes = ReadFileBytes(scan), photoBytes = ReadFileBytes(photo);
  EXPECT_EQ(Ok({"add", "Main", "Papers", "--set", "Title=Passport", "--attach", "Scan=" + scan, "--attach",
                "Photo=" + photo}),
            "Papers/Passport\n");
  EXPECT_EQ(Ok({"show", "Main", "Papers/Passport"}),
            "Title: Passport\nScan: scan.pdf\nPhoto: me.png\nPin: \n");
  EXPECT_NE(Ok({"--json", "show", "Main", "Papers/Passport"})
                .find("{\"name\":\"Photo\",\"type\":\"Picture\",\"required\":false,\"value\":\"me.png\"}"),
            std::string::npos);

  // Extract: byte for byte, private, into a folder that is made; an existing file only with --yes.
  const std::string out = dir.file("out/deeper");
  EXPECT_EQ(Ok({"show", "Main", "Papers/Passport", "--extract", out}),
            out + "/scan.pdf\n" + out + "/me.png\n");
  EXPECT_EQ(ReadFileBytes(out + "/scan.pdf"), scanBytes);
  EXPECT_EQ(ReadFileBytes(out + "/me.png"), photoBytes);
  EXPECT_EQ(fs::status(out + "/scan.pdf").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  WriteFileBytes(out + "/me.png", "mine");
  TCliRun r = Q({"show", "Main", "Papers/Passport", "--extract", out});
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("add --yes"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFileBytes(out + "/me.png"), "mine");
  EXPECT_EQ(Ok({"--json", "show", "Main", "Papers/Passport", "--extract", out, "--yes"}),
            "[\"" + out + "/scan.pdf\",\"" + out + "/me.png\"]\n");
  EXPECT_EQ(ReadFileBytes(out + "/me.png"), photoBytes);

  // A second entry naming the same file: attaching a name that exists asks first.
  r = Q({"add", "Main", "Papers", "--set", "Title=Visa", "--attach", "Scan=" + scan});
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("--yes"), std::string::npos) << r.err;
  EXPECT_EQ(Ok({"ls", "Main", "Papers"}), "Passport\n");
  // A refusal after one file was attached takes that one out again.
  const std::string fresh = MakeFile("fresh.png", 99);
  r = Q({"add", "Main", "Papers", "--set", "Title=Visa", "--attach", "Photo=" + fresh, "--attach",
         "Scan=" + scan});
  EXPECT_EQ(r.code, 4);
  EXPECT_FALSE(IsAttached(Safe(), "fresh.png"));
  EXPECT_EQ(Ok({"ls", "Main", "Papers"}), "Passport\n");
  Ok({"add", "Main", "Papers", "--set", "Title=Visa", "--attach", "Scan=" + scan, "--yes"});

  // Passport lets go of scan.pdf: Visa still names it, so it stays in the Safe.
  const std::string renewed = MakeFile("renewed.pdf", 5000);
  Ok({"edit", "Main", "Papers/Passport", "--attach", "Scan=" + renewed});
  EXPECT_EQ(Ok({"show", "Main", "Papers/Passport"}),
            "Title: Passport\nScan: renewed.pdf\nPhoto: me.png\nPin: \n");
  EXPECT_TRUE(IsAttached(Safe(), "scan.pdf"));
  Ok({"show", "Main", "Papers/Visa", "--extract", dir.file("visa")});
  EXPECT_EQ(ReadFileBytes(dir.file("visa/scan.pdf")), scanBytes);
  // Visa lets go of it too: now nobody names it and it is deleted.
  Ok({"edit", "Main", "Papers/Visa", "--attach", "Scan=" + photo, "--yes"});
  EXPECT_FALSE(IsAttached(Safe(), "scan.pdf"));
  EXPECT_TRUE(IsAttached(Safe(), "me.png"));
  // Emptying Passport's Photo keeps me.png (Visa's Scan names it); emptying Visa's deletes it.
  Ok({"edit", "Main", "Papers/Passport", "--set", "Photo="});
  EXPECT_TRUE(IsAttached(Safe(), "me.png"));
  Ok({"edit", "Main", "Papers/Visa", "--set", "Scan="});
  EXPECT_FALSE(IsAttached(Safe(), "me.png"));

  // Re-attaching the same name replaces the content (after the question) and keeps the file.
  const std::string sameName = dir.file("again/renewed.pdf");
  fs::create_directories(dir.file("again"));
  WriteFileBytes(sameName, "second version");
  r = Q({"edit", "Main", "Papers/Passport", "--attach", "Scan=" + sameName});
  EXPECT_EQ(r.code, 4);
  Ok({"edit", "Main", "Papers/Passport", "--attach", "Scan=" + sameName, "--yes"});
  Ok({"show", "Main", "Papers/Passport", "--extract", dir.file("v2")});
  EXPECT_EQ(ReadFileBytes(dir.file("v2/renewed.pdf")), "second version");

  // rm deletes the entry's attached file with it.
  Ok({"rm", "Main", "Papers/Passport", "--yes"});
  EXPECT_FALSE(IsAttached(Safe(), "renewed.pdf"));
  r = Q({"show", "Main", "Papers/Visa", "--extract", dir.file("none")});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("names no attached files"), std::string::npos);
}

TEST_F(CliEndToEnd, AttachRefusalsChangeNothing) {
  CreateMain();
  Ok({"mkcat", "Main", "Papers", "--field", "Title:text", "--field", "Scan:file:required", "--field",
      "Remind:reminder"});
  const std::string scan = MakeFile("scan.pdf", 300);
  Ok({"add", "Main", "Papers", "--set", "Title=Kept", "--attach", "Scan=" + scan});
  const std::string before = Ok({"show", "Main", "Papers/Kept"});
  const std::string other = MakeFile("other.pdf", 10);
  fs::create_directories(dir.file("folder"));
  struct TCase {
    std::vector<std::string> args;
    std::string message;
  };
  for (const TCase& t : std::vector<TCase>{
           {{"--attach", "Title=" + other}, "--attach sets only File and Picture fields"},
           {{"--attach", "Colour=" + other}, "no field \"Colour\" (its File and Picture fields: Scan)"},
           {{"--attach", "Scan=" + dir.file("missing.pdf")}, "does not exist"},
           {{"--attach", "Scan=" + dir.file("folder")}, "is not a file"},
           {{"--attach", "Scan"}, "--attach needs NAME=DISKFILE"},
           {{"--attach", "Scan=" + other, "--set", "Scan="}, "both --set and --attach"},
           {{"--set", "Scan=other.pdf"}, "give it with --attach \"Scan=DISKFILE\""},
           {{"--ask", "Scan"}, "give it with --attach"},
           {{"--set", "Remind=x"}, "reminders are set in the desktop program"},
           {{"--set", "Scan="}, "\"Scan\" is required: give it with --attach \"Scan=DISKFILE\""}}) {
    std::vector<std::string> args = {"edit", "Main", "Papers/Kept"};
    args.insert(args.end(), t.args.begin(), t.args.end());
    TCliRun r = Q(args);
    EXPECT_EQ(r.code, 2) << t.args[1] << ": " << r.err;
    EXPECT_NE(r.err.find(t.message), std::string::npos) << t.args[1] << ": " << r.err;
  }
  EXPECT_EQ(Ok({"show", "Main", "Papers/Kept"}), before);
  EXPECT_FALSE(IsAttached(Safe(), "other.pdf"));
  EXPECT_TRUE(IsAttached(Safe(), "scan.pdf"));
  TCliRun r = Q({"add", "Main", "Papers", "--set", "Title=No scan"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("--attach \"Scan=DISKFILE\""), std::string::npos) << r.err;

  // Names are Safe text inside (windows-1252) and UTF-8 outside; one it cannot hold is refused.
  const std::string umlaut = dir.file(
      "\xC3\x9C"
      "bersicht.pdf");
  WriteFileBytes(umlaut,
                 "Gr\xC3\xBC\xC3\x9F"
                 "e");
  Ok({"edit", "Main", "Papers/Kept", "--attach", "Scan=" + umlaut});
  EXPECT_TRUE(IsAttached(Safe(),
                         "\xDC"
                         "bersicht.pdf"));
  EXPECT_FALSE(IsAttached(Safe(), "scan.pdf"));
  EXPECT_EQ(Ok({"show", "Main", "Papers/Kept", "--extract", dir.file("u")}), dir.file("u") +
                                                                                 "/\xC3\x9C"
                                                                                 "bersicht.pdf\n");
  EXPECT_EQ(ReadFileBytes(dir.file("u") + "/\xC3\x9C"
                                          "bersicht.pdf"),
            "Gr\xC3\xBC\xC3\x9F"
            "e");
  EXPECT_TRUE(fs::exists(umlaut)) << "the disk file stays where it was";
  const std::string japanese = dir.file("\xE6\x97\xA5\xE6\x9C\xAC.pdf");
  WriteFileBytes(japanese, "x");
  r = Q({"edit", "Main", "Papers/Kept", "--attach", "Scan=" + japanese});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("the name of the file"), std::string::npos) << r.err;
}

TEST_F(CliEndToEnd, PasswordChangeRepairBackupAndRestore) {
  CreateMain();
  Ok({"add", "Main", "Internet/Forums", "--set", "Title=Before backup", "--set", "Password=x"});
  const std::string locked = MakeFile("doc.bin", 9000);
  const std::string original = ReadFileBytes(locked);
  Ok({"lock", "Main", locked});
  const std::string backup = dir.file("main.qvtb");
  Ok({"backup", "Main", backup});
  TCliRun r = Q({"backup", "Main", backup});
  EXPECT_EQ(r.code, 4) << "an existing backup is replaced only with --yes";

  Ok({"passwd", "Main"}, std::string(kPw) + "\nnew master pw\n");
  EXPECT_EQ(Q({"ls", "Main"}).code, 3);
  Ok({"add", "Main", "Internet/Forums", "--set", "Title=After backup", "--set", "Password=y"},
     "new master pw\n");
  // Locked files were re-keyed: they decrypt under the new password.
  Ok({"unlock", "Main", "doc.bin", dir.file("out"), "--keep"}, "new master pw\n");
  EXPECT_EQ(ReadFileBytes(dir.file("out") + "/doc.bin"), original);
  Ok({"repair", "Main"}, "new master pw\n");
  EXPECT_EQ(Ok({"check", "Main", "--deep"}, "new master pw\n"),
            std::string("0 usable\n") + kTestKind + "deep check: no problems found\n");

  // Restore needs --yes (or an answer); then the Safe is the backup, under the old password.
  r = Q({"restore", "Main", backup});
  EXPECT_EQ(r.code, 4);
  Ok({"restore", "Main", backup, "--yes"});
  EXPECT_EQ(Ok({"ls", "Main", "Internet/Forums"}), "Before backup\n");
  // A file that is not a Safe is refused and the Safe stays as it was.
  const std::string before = ReadFileBytes(Safe());
  const std::string junk = MakeFile("junk.qvtb", 5000);
  r = Q({"restore", "Main", junk, "--yes"});
  EXPECT_EQ(r.code, 4);
  EXPECT_EQ(ReadFileBytes(Safe()), before);
}

TEST_F(CliEndToEnd, CheckDeleteRemindersExportCryptoMail) {
  CreateMain();
  TCliRun r = Q({"check", "Main"}, "wrong\n");
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.out, std::string("2 wrong password\n") + kTestKind);
  WriteFileBytes(Safe("Junk"), std::string(10000, 'x'));
  r = Q({"check", "Junk"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "1 not a Safe file\n");

  const std::string rem = Ok({"reminders", "Main"});
  EXPECT_GE(std::count(rem.begin(), rem.end(), '\t'), 5) << rem;
  EXPECT_EQ(Ok({"--json", "reminders", "Main"}).substr(0, 8), "[{\"id\":\"");

  Ok({"add", "Main", "Internet/Forums", "--set", "Title=Forum, \"quoted\"", "--set", "Password=pa,ss"});
  r = Q({"export", "Main", "--format", "csv"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("Internet/Forums,\"Forum, \"\"quoted\"\"\",Password,Password Field,\"pa,ss\"\r\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.err.find("NOT encrypted"), std::string::npos);
  const std::string exported = dir.file("export.json");
  Ok({"export", "Main", "--format", "json", "--out", exported});
  EXPECT_EQ(fs::status(exported).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_NE(ReadFileBytes(exported).find("\"value\":\"pa,ss\""), std::string::npos);
  EXPECT_EQ(Q({"export", "Main", "--format", "json", "--out", exported}).code, 4);
  EXPECT_EQ(Q({"export", "Main", "--format", "xml"}).code, 2);

  const std::string doc = dir.file("Encrypted.html");
  Ok({"cryptomail", "--message", "Meet at noon", "--out", doc, "--name", "Alice", "--notes", "one\ntwo"},
     "shared secret\n");
  const std::string html = ReadFileBytes(doc);
  EXPECT_NE(html.find("one<br>two"), std::string::npos);
  EXPECT_NE(html.find("<param name=\"count\" value=\"1\">"), std::string::npos);
  EXPECT_EQ(html.find("Meet at noon"), std::string::npos) << "the message must be encrypted";
  r = Q({"cryptomail", "--message", "x", "--out", dir.file("short.html")}, "four\n");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "quillmar-cli: Password needs to be at least 5 digits.\n");
  EXPECT_FALSE(fs::exists(dir.file("short.html")));

  r = Q({"delete", "Main"});
  EXPECT_EQ(r.code, 4);
  EXPECT_TRUE(fs::exists(Safe()));
  Ok({"delete", "Main", "--yes"});
  EXPECT_FALSE(fs::exists(Safe()));
}

TEST_F(CliEndToEnd, OnATerminalPasswordsAreNotEchoedAndNewOnesAreAskedTwice) {
  TCliRun r = RunCliOnTerminal({"--home", home, "create", "Term"}, {"typed-secret-1", "typed-secret-1"});
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("New master password for Term: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Repeat the new master password: "), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("typed-secret-1"), std::string::npos) << "the password was echoed: " << r.out;

  r = RunCliOnTerminal({"--home", home, "create", "Term2"}, {"one-password", "another-one"});
  EXPECT_EQ(r.code, 2);
  EXPECT_FALSE(fs::exists(home + "/Term2.qvt"));

  // A question is asked on the terminal; "n" keeps the Safe.
  r = RunCliOnTerminal({"--home", home, "delete", "Term"}, {"n"});
  EXPECT_EQ(r.code, 4);
  EXPECT_TRUE(fs::exists(home + "/Term.qvt"));
  r = RunCliOnTerminal({"--home", home, "delete", "Term"}, {"y"});
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_FALSE(fs::exists(home + "/Term.qvt"));
}

TEST_F(CliEndToEnd, HardenedByDefaultCompatibleOnRequestAndTheKindChangesBothWays) {
  EXPECT_NE(RunCli({"create", "--help"}).out.find("--compatible"), std::string::npos);
  EXPECT_NE(RunCli({"passwd", "--help"}).out.find("--harden"), std::string::npos);
  Ok({"create", "Main"});
  EXPECT_EQ(Ok({"check", "Main"}), std::string("0 usable\n") + kTestKind);

  // A compatible Safe keeps the format's 32 characters; a hardened one has no limit.
  const std::string long40(40, 'w');
  TCliRun r = Q({"create", "Long", "--compatible"}, long40 + "\n");
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("at most 32 characters"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(Safe("Long")));
  Ok({"create", "Long"}, long40 + "\n");
  EXPECT_EQ(Ok({"check", "Long"}, long40 + "\n"), std::string("0 usable\n") + kTestKind);

  Ok({"create", "Older", "--compatible"});
  const std::string compatible = "0 usable\nkind: compatible (no key derivation)\n";
  EXPECT_EQ(Ok({"check", "Older"}), compatible);
  const std::string doc = MakeFile("doc.bin", 9000);
  const std::string docBytes = ReadFileBytes(doc);
  Ok({"lock", "Older", doc});
  Ok({"mkcat", "Older", "Mine", "--field", "Title:text"});
  Ok({"add", "Older", "Mine", "--set", "Title=kept"});

  const std::string both = std::string(kPw) + "\n" + kPw + "\n";
  EXPECT_EQ(Ok({"passwd", "Older", "--harden"}, both), "Hardened the Safe Older\n");
  EXPECT_EQ(Ok({"check", "Older", "--deep"}),
            std::string("0 usable\n") + kTestKind + "deep check: no problems found\n");
  EXPECT_EQ(
      Ok({"passwd", "Older", "--harden"}, both),
      "The Safe Older is hardened already and the new master password is the old one; nothing was changed\n");
  // Making it compatible weakens it: asked first (refused from a pipe without --yes).
  r = Q({"passwd", "Older", "--compatible"}, both);
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("was left hardened"), std::string::npos) << r.err;
  EXPECT_EQ(Ok({"check", "Older"}), std::string("0 usable\n") + kTestKind);
  EXPECT_EQ(Ok({"passwd", "Older", "--compatible", "--yes"}, std::string(kPw) + "\nanother pw\n"),
            "Made the Safe Older compatible and changed its master password\n");
  EXPECT_EQ(Ok({"check", "Older", "--deep"}, "another pw\n"), compatible + "deep check: no problems found\n");
  EXPECT_EQ(Ok({"ls", "Older", "Mine"}, "another pw\n"), "kept\n");
  Ok({"unlock", "Older", "doc.bin", dir.file("out")}, "another pw\n");
  EXPECT_EQ(ReadFileBytes(dir.file("out/doc.bin")), docBytes);
  EXPECT_EQ(Q({"passwd", "Older", "--harden", "--compatible"}, both).code, 2);
}

// The desktop's rules for new Safes and new master passwords, with its messages; a Safe made before
// under a shorter name still opens.
TEST_F(CliEndToEnd, NewSafesAndMasterPasswordsFollowTheDesktopsRules) {
  TCliRun r = Q({"create", "ab"}, "x\n");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "quillmar-cli: Safe name needs to be at least 4 digits.\n");
  EXPECT_FALSE(fs::exists(Safe("ab")));
  r = Q({"create", "abcd"}, "x\n");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "quillmar-cli: Password needs to be at least 5 digits.\n");
  EXPECT_FALSE(fs::exists(Safe("abcd")));
  Ok({"create", "abcd"}, "fives\n");

  CreateMain();
  r = Q({"passwd", "Main"}, std::string(kPw) + "\nfour\n");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("Password needs to be at least 5 digits."), std::string::npos) << r.err;
  EXPECT_EQ(Q({"ls", "Main"}, "four\n").code, 3) << "the master password stays";

  fs::copy_file(Safe(), Safe("ab"));
  EXPECT_EQ(Ok({"ls", "Main"}), Ok({"ls", "ab"}));
}

// Header bytes no reader may follow: refused with their reason (exit 4), not taken for a wrong password.
TEST_F(CliEndToEnd, AHostileKeyDerivationIsRefusedWithItsReason) {
  Ok({"create", "Main"});
  std::string f = ReadFileBytes(Safe());
  f[280 + 226] = 7;  // an algorithm this program does not know
  uint32_t x = 0;
  for (int off = 280 + 12; off < 280 + 256; off += 4)
    x ^= uint32_t(uint8_t(f[off])) | uint32_t(uint8_t(f[off + 1])) << 8 |
         uint32_t(uint8_t(f[off + 2])) << 16 | uint32_t(uint8_t(f[off + 3])) << 24;
  for (int i = 0; i < 4; ++i) f[280 + 8 + i] = char(x >> (8 * i));
  WriteFileBytes(Safe(), f);
  TCliRun r = Q({"ls", "Main"});
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("does not know (marker 7)"), std::string::npos) << r.err;
  r = Q({"check", "Main"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out.substr(0, 27), "4 the Safe cannot be opened");
  EXPECT_NE(r.out.find("marker 7"), std::string::npos) << r.out;
  EXPECT_EQ(ReadFileBytes(Safe()), f);
}

// Once as users get it: the calibrated cost of the run, no test cost in the environment.
TEST_F(CliEndToEnd, AtTheRealCost) {
  const char* set = std::getenv("QUILLMAR_TEST_KDF_COST");
  const std::string saved = set ? set : "";
  ::unsetenv("QUILLMAR_TEST_KDF_COST");
  struct TRestore {
    bool had;
    std::string value;
    ~TRestore() {
      if (had) ::setenv("QUILLMAR_TEST_KDF_COST", value.c_str(), 1);
    }
  } restore{set != nullptr, saved};
  TCliRun r = Q({"create", "Main"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
  r = Q({"check", "Main"});
  EXPECT_EQ(r.code, 0);
  unsigned mib = 0, passes = 0, lanes = 0;
  ASSERT_EQ(std::sscanf(r.out.c_str(), "0 usable\nkind: hardened (Argon2id, %u MiB, %u passes, %u lane", &mib,
                        &passes, &lanes),
            3)
      << r.out;
  EXPECT_GE(mib, 64u);
  EXPECT_LE(mib, 1024u);
  EXPECT_GE(passes, 3u);
  EXPECT_TRUE(lanes == 1 || lanes == 2);
  EXPECT_EQ(Q({"ls", "Main"}, "not it\n").code, 3);
}

// --- Stored exactly or refused ----------------------------------------------------------------------------

TEST_F(CliEndToEnd, AValueThatWouldForgeAFieldIsRefusedAndNothingIsStored) {
  CreateMain();
  Ok({"mkcat", "Main", "Jottings", "--field", "Title:text", "--field", "Note:memo"});
  TCliRun r = Q({"add", "Main", "Jottings", "--set", "Title=forge", "--set",
                 "Note=x</field>\n<field sortorder=\"0\" name=\"Title\" type=\"0\" required=\"1\">INJECTED"});
  EXPECT_EQ(r.code, 2) << r.err;
  EXPECT_NE(r.err.find("the field \"Note\" holds '</field>'"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("INJECTED"), std::string::npos) << "a value is never printed: " << r.err;
  EXPECT_EQ(Ok({"ls", "Main", "Jottings"}), "");
  // As the title it is refused as well; a value that reads back as given is stored as given.
  EXPECT_EQ(Q({"add", "Main", "Jottings", "--set", "Title=x</field>y"}).code, 2);
  EXPECT_EQ(Ok({"add", "Main", "Jottings", "--set", "Title=a \"b\" <c>", "--set", "Note=</autofill> ]]>"}),
            "Jottings/a \"b\" <c>\n");
  EXPECT_EQ(Ok({"show", "Main", "Jottings/a \"b\" <c>"}), "Title: a \"b\" <c>\nNote: </autofill> ]]>\n");
  EXPECT_EQ(Ok({"check", "Main", "--deep"}),
            std::string("0 usable\n") + kTestKind + "deep check: no problems found\n");

  // A quote in a category or template field name is refused, naming the character, not cut.
  r = Q({"mkcat", "Main", "Jottings/q\"x"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("holds '\"'"), std::string::npos) << r.err;
  r = Q({"mkcat", "Main", "Quoted", "--field", "a\"b:text"});
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(Ok({"ls", "Main", "Jottings"}), "a \"b\" <c>\n");
}

TEST_F(CliEndToEnd, FileLockerNamesOverTheLimitAreRefusedWithTheLimit) {
  CreateMain();
  const std::string longName(300, 'n');
  TCliRun r = Q({"mkdir", "Main", longName});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("300 characters long; a name in the Safe can be at most 259 characters"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Ok({"files", "Main"}), "");
  Ok({"mkdir", "Main", std::string(259, 'n')});
  EXPECT_EQ(Ok({"files", "Main"}), std::string(259, 'n') + "/\n");
  Ok({"lock", "Main", MakeFile("a.txt", 10)});
  r = Q({"rename", "Main", "a.txt", longName});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("at most 259"), std::string::npos) << r.err;
  EXPECT_NE(Ok({"files", "Main"}).find("a.txt\t10\t"), std::string::npos);
}

TEST_F(CliEndToEnd, UnlockOfADamagedLockedFileFailsAndKeepsItInTheSafe) {
  CreateMain();
  const std::string doc = MakeFile("doc.bin", 20000);
  Ok({"lock", "Main", doc});
  const test::TPagePlace place = test::PlaceOfFilePage(Safe(), kPw, "\\File Locker\\doc.bin", 1);
  test::DamagePagePayload(Safe(), kPw, "\\File Locker\\doc.bin", 1);
  const std::string out = dir.file("out");
  TCliRun r = Q({"unlock", "Main", "doc.bin", out});
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("\\File Locker\\doc.bin"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("from byte " + std::to_string(place.pageSize - 32) + " on"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("It stays in the Safe."), std::string::npos) << r.err;
  EXPECT_TRUE(!fs::exists(out) || fs::is_empty(out)) << "no partial file";
  EXPECT_NE(Ok({"files", "Main"}).find("doc.bin\t20000\t"), std::string::npos);

  // The deep check names it; a repair zeroes the page, lists that, and is no success.
  r = Q({"check", "Main", "--deep"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("problem: The locked file \"\\File Locker\\doc.bin\" cannot be read from byte"),
            std::string::npos)
      << r.out;
  r = Q({"repair", "Main"});
  EXPECT_EQ(r.code, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("lost: Bytes " + std::to_string(place.pageSize - 32)), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Repaired"), std::string::npos) << r.out;
}

TEST_F(CliEndToEnd, ADamagedCategoryRecordHidesNothingAndARepairBringsItBack) {
  CreateMain();
  Ok({"mkcat", "Main", "Jottings", "--field", "Title:text"});
  Ok({"add", "Main", "Jottings", "--set", "Title=kept"});
  Ok({"add", "Main", "Internet/Forums", "--set", "Title=also kept", "--set", "Password=x"});
  // Find the record of Jottings and damage it.
  std::string record, folder;
  {
    TSingleFileSystem sfs(Safe(), -1, 8, 2048, 0, "", "",
                          TTextKey::Derive(kPw, TSingleFileSystem::ReadKeyDerivation(Safe())), false, 0);
    TSearchRec rec;
    for (int found = sfs.FindFirst("\\Password Repository\\*.*", faDirectory, rec); found == 0;
         found = sfs.FindNext(rec)) {
      const std::string tpl = "\\Password Repository\\" + rec.Name + "\\qvt.category.info.template";
      TSFSFileStream s(&sfs, 0, "", "", "kol-marven", 0, tpl);
      if (s.ReadString(s.Size()).find("name=\"Jottings\"") != std::string::npos) {
        record = tpl;
        folder = rec.Name;
      }
    }
    sfs.FindClose(rec);
  }
  ASSERT_FALSE(record.empty());
  test::DamagePagePayload(Safe(), kPw, record, 0);

  // One damaged record hides nothing: it is named, its category is listed under its folder's name
  // with its entries, and the exit says there was a problem.
  TCliRun r = Q({"ls", "Main", "-R"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("    also kept\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(folder + "/ (damaged)\n  kept\n"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("warning: The record \"" + record + "\" cannot be read from byte 0 on"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Ok({"show", "Main", "Internet/Forums/also kept"}).substr(0, 17), "Title: also kept\n");
  EXPECT_EQ(Ok({"show", "Main", folder + "/kept"}), "Title: kept\n");
  // Its name is lost with the record: asked for by that name, the damage is named (not a typing error).
  r = Q({"show", "Main", "Jottings/kept"});
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("no category \"Jottings\" at the top level, but a record there is damaged"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(record), std::string::npos) << r.err;
  r = Q({"show", "Main", folder + "/"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find(record), std::string::npos) << r.err;
  EXPECT_EQ(Q({"add", "Main", folder, "--set", "Title=new"}).code, 4);
  EXPECT_EQ(Q({"mv", "Main", folder + "/", "Internet"}).code, 4);

  // The repair writes a record of its own; every entry is back, and the deep check lists it.
  r = Q({"repair", "Main"});
  EXPECT_EQ(r.code, 1) << r.out << r.err;
  EXPECT_EQ(r.out.find("Repaired"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("lost: The category record \"" + record +
                       "\" holds no category record; its name and "
                       "template are lost"),
            std::string::npos)
      << r.out;
  EXPECT_NE(
      r.out.find("A new record \"Recovered " + folder + "\" was written with the fields of its first entry"),
      std::string::npos)
      << r.out;
  r = Q({"ls", "Main", "-R"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Recovered " + folder + "/\n  kept\n"), std::string::npos) << r.out;
  EXPECT_EQ(Ok({"show", "Main", "Recovered " + folder + "/"}), "Title: <Normal Text>\n");
  r = Q({"check", "Main", "--deep"});
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("recovered: The category \"Recovered " + folder + "\""), std::string::npos) << r.out;
}

TEST_F(CliEndToEnd, NamesWithLineBreaksAreRefusedAndListingsStayOneLinePerName) {
  CreateMain();
  TCliRun r = Q({"mkcat", "Main", "Two\nlines"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("holds a line break"), std::string::npos) << r.err;
  r = Q({"add", "Main", "Internet/Forums", "--set", "Title=two\nlines", "--set", "Password=x"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("The title (the value of the field \"Title\") holds a line break"), std::string::npos)
      << r.err;
  EXPECT_EQ(Q({"mkdir", "Main", "a\nb"}).code, 2);
  EXPECT_EQ(Q({"mkdir", "Main", "tab\there"}).code, 2);
  Ok({"lock", "Main", MakeFile("plain.txt", 3)});
  EXPECT_EQ(Q({"rename", "Main", "plain.txt", "x\ny"}).code, 2);
  const std::string broken = MakeFile("two\nlines.txt", 3);
  r = Q({"lock", "Main", broken, "--remove-from-disk"});
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("line break"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::exists(broken));
  const std::string files = Ok({"files", "Main"});
  EXPECT_EQ(files.rfind("plain.txt\t3\t", 0), 0u) << files;
  EXPECT_EQ(std::count(files.begin(), files.end(), '\n'), 1) << files;
  EXPECT_EQ(Ok({"ls", "Main"}).find("Two"), std::string::npos);

  // A Memo keeps its line breaks, also as the title; ls shows it on one line, --json exactly.
  Ok({"mkcat", "Main", "Memos", "--field", "Note:memo"});
  EXPECT_EQ(Ok({"add", "Main", "Memos", "--set", "Note=first\nsecond"}), "Memos/first\\x0Asecond\n");
  EXPECT_EQ(Ok({"ls", "Main", "Memos"}), "first\\x0Asecond\n");
  EXPECT_EQ(Ok({"show", "Main", "Memos/first\\x0Asecond"}), "Note: first\n  second\n");
  EXPECT_EQ(Ok({"--json", "ls", "Main", "Memos"}),
            "[{\"kind\":\"entry\",\"name\":\"first\\nsecond\",\"path\":\"Memos/first\\\\x0Asecond\"}]\n");
}

TEST_F(CliEndToEnd, ExtractMakesItsFolderPrivateAndRefusalsShowNamesAsTyped) {
  CreateMain();
  Ok({"mkcat", "Main", "Papers", "--field", "Title:text", "--field", "Scan:file"});
  Ok({"add", "Main", "Papers", "--set", "Title=P", "--attach", "Scan=" + MakeFile("scan.pdf", 100)});
  const mode_t old = ::umask(022);
  Ok({"show", "Main", "Papers/P", "--extract", dir.file("made/inner")});
  ::umask(old);
  EXPECT_EQ(fs::status(dir.file("made")).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::status(dir.file("made/inner")).permissions() & fs::perms::all, fs::perms::owner_all);

  const std::string japanese = MakeFile("\xE6\x97\xA5\xE6\x9C\xAC.txt", 3);
  TCliRun r = Q({"lock", "Main", japanese});
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.err.find("\"\xE6\x97\xA5\xE6\x9C\xAC.txt\""), std::string::npos) << r.err;
}

}  // namespace
}  // namespace quillmar::test
