// What the desktop shell asks of the core: ini options, the login's rules, received-files plans,
// and the progress and cancel of a backup.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <deque>
#include <filesystem>

#include "base/Exception.h"
#include "container/CipherReference.h"
#include "core/IniFile.h"
#include "core/qmGlobal.h"
#include "core/qmLoginRules.h"
#include "core/qmReceivedFiles.h"
#include "core/qmShellOptions.h"
#include "safe/qmSFSWrapper.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::TScriptedPrompter;
using test::WriteFileBytes;

// --- Ini file and the [options] keys --------------------------------------------------------------------

TEST(IniFile, AValueIsReplacedOrAddedAndEverythingElseIsKept) {
  TempDir dir;
  const std::string ini = dir.file("Quillmar.ini");
  EXPECT_FALSE(ReadIniValue(ini, "options", "idleLockMinutes"));
  WriteFileBytes(
      ini, "; kept comment\r\n[Safe]\r\nLastUsed = Main \r\n\r\n[other]\r\nx=1\r\nidleLockMinutes=9\r\n");
  EXPECT_EQ(ReadIniValue(ini, "safe", "lastused"), "Main");
  EXPECT_FALSE(ReadIniValue(ini, "options", "idleLockMinutes"));  // only in [other]

  WriteIniValue(ini, "options", "idleLockMinutes", "5");
  WriteIniValue(ini, "SAFE", "newkey", "v");
  WriteIniValue(ini, "other", "X", "2");
  EXPECT_EQ(ReadFileBytes(ini),
            "; kept comment\r\n[Safe]\r\nLastUsed = Main "
            "\r\nnewkey=v\r\n\r\n[other]\r\nX=2\r\nidleLockMinutes=9\r\n"
            "\r\n[options]\r\nidleLockMinutes=5\r\n");
  EXPECT_EQ(ReadIniValue(ini, "options", "IDLELOCKMINUTES"), "5");
  EXPECT_EQ(ReadIniValue(ini, "other", "idleLockMinutes"), "9");

  EXPECT_THROW(WriteIniValue(ini, "options", "k", "two\nlines"), EQuillmarError);
  // A file that cannot be written keeps its old content.
  const std::string before = ReadFileBytes(ini);
  ::chmod(dir.path().c_str(), 0500);
  if (::geteuid() != 0) {
    EXPECT_THROW(WriteIniValue(ini, "options", "k", "v"), EQuillmarError);
  }
  ::chmod(dir.path().c_str(), 0700);
  if (::geteuid() != 0) {
    EXPECT_EQ(ReadFileBytes(ini), before);
  }
}

TEST(ShellOptions, DefaultsForWhatIsMissingOrUnreadableAndARoundTrip) {
  TempDir dir;
  const std::string ini = dir.file("Quillmar.ini");
  TqmShellOptions o = TqmShellOptions::Load(ini);
  EXPECT_EQ(o.idleLockMinutes, 0);
  EXPECT_FALSE(o.lockOnScreenLock);
  WriteFileBytes(ini,
                 "[safe]\r\nlastused=Main\r\n[options]\r\nidleLockMinutes=ten\r\nlockOnScreenLock=maybe\r\n");
  o = TqmShellOptions::Load(ini);
  EXPECT_EQ(o.idleLockMinutes, 0);
  EXPECT_FALSE(o.lockOnScreenLock);
  WriteIniValue(ini, "options", "idleLockMinutes", "99999");
  EXPECT_EQ(TqmShellOptions::Load(ini).idleLockMinutes, TqmShellOptions::kMaxIdleLockMinutes);

  o.idleLockMinutes = 15;
  o.lockOnScreenLock = true;
  o.Save(ini);
  const TqmShellOptions back = TqmShellOptions::Load(ini);
  EXPECT_EQ(back.idleLockMinutes, 15);
  EXPECT_TRUE(back.lockOnScreenLock);
  EXPECT_EQ(ReadIniValue(ini, "safe", "lastused"), "Main");  // the Safe's line is untouched
}

// --- The login's rules ----------------------------------------------------------------------------------

TEST(LoginRules, SafeNamesAndNewPasswords) {
  using namespace login;
  EXPECT_EQ(SafeNameProblem("abc"), kMsgNameTooShort);
  EXPECT_EQ(SafeNameProblem("abcd"), "");
  EXPECT_EQ(SafeNameProblem("\xC3\xA9t\xC3\xA9"), kMsgNameTooShort);  // 3 characters, 5 bytes
  EXPECT_EQ(SafeNameProblem("\xC3\xA9t\xC3\xA9s"), "");
  for (const char* bad : {"a/bcd", "ab\\cd", "abc\td", "abcd\n", ".hidden"})
    EXPECT_NE(SafeNameProblem(bad), "") << bad;
  EXPECT_EQ(SafeNameProblem("My Safe.qvt"), "");

  EXPECT_EQ(PasswordMinimumProblem("four"), kMsgPasswordTooShort);
  EXPECT_EQ(PasswordMinimumProblem(""), kMsgPasswordTooShort);
  EXPECT_EQ(PasswordMinimumProblem("fives"), "");
  EXPECT_EQ(NewPasswordProblem("four", "four"), kMsgPasswordTooShort);
  EXPECT_EQ(NewPasswordProblem("fives", "fives"), "");
  EXPECT_EQ(NewPasswordProblem("fives", "fivez"), kMsgPasswordsDiffer);
  // The limit depends on the kind: the compatible format's 32 characters, the boxes' 1024 for a
  // hardened Safe (no limit of its own); each refusal names its limit.
  EXPECT_EQ(MasterPasswordLimit(TqmSafeKind::Compatible), 32u);
  EXPECT_EQ(MasterPasswordLimit(TqmSafeKind::Hardened), kMaxPasswordLength);
  for (TqmSafeKind kind : {TqmSafeKind::Compatible, TqmSafeKind::Hardened}) {
    const std::string longest(MasterPasswordLimit(kind), 'x');
    EXPECT_EQ(NewPasswordProblem(longest, longest, kind), "");
    const std::string tooLong = longest + "y";
    const std::string refusal = NewPasswordProblem(tooLong, tooLong, kind);
    EXPECT_NE(refusal.find(std::to_string(MasterPasswordLimit(kind))), std::string::npos) << refusal;
    EXPECT_EQ(PasswordLengthProblem(tooLong, kind), refusal);
  }
  // A hardened Safe takes a pass phrase far beyond the compatible limit; the default kind is hardened.
  const std::string phrase(200, 'p');
  EXPECT_EQ(NewPasswordProblem(phrase, phrase), "");
  EXPECT_NE(NewPasswordProblem(phrase, phrase, TqmSafeKind::Compatible), "");
}

class LoginTest : public ::testing::Test {
protected:
  LoginTest() : g_(dir_.file("home"), {"quillmar"}, &prompter_) {
    TqmSFSWrapper maker;
    maker.CreateEmptySafe(g_.SafeFile("Main"), "main-pass");
  }
  login::TLoginResult Login(int mode, const std::string& name, const std::string& password,
                            const std::string& confirm = {}) {
    login::TLoginInput in;
    in.mode = mode;
    in.safeName = name;
    in.password = password;
    in.confirm = confirm;
    return login::ValidateLogin(g_, in);
  }
  TempDir dir_;
  TScriptedPrompter prompter_;
  TqmGlobal g_;
};

TEST_F(LoginTest, OpenModeGivesTheCodesAndMessagesOfTheCheck) {
  using namespace login;
  TLoginResult ok = Login(kModeOpen, "Main", "main-pass");
  EXPECT_EQ(ok.code, 0);
  EXPECT_EQ(g_.SafeName(), "Main");
  EXPECT_TRUE(ok.key == TTextKey::FromPassword("main-pass"));  // the key to open with
  EXPECT_FALSE(g_.SafeOpen());                                 // checked, not opened
  TLoginResult r = Login(kModeOpen, "Main", "wrong-pass");
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.message, kMsgIncorrectPassword);
  EXPECT_TRUE(r.key.Empty());
  // Longer than any compatible Safe's password: wrong, not "no Safe file".
  EXPECT_EQ(Login(kModeOpen, "Main", std::string(MasterPasswordLimit(TqmSafeKind::Compatible) + 5, 'p')).code,
            2);
  // Longer than the boxes take: refused with the limit, never tried cut.
  r = Login(kModeOpen, "Main", std::string(kMaxPasswordLength + 1, 'p'));
  EXPECT_EQ(r.code, kRefused);
  EXPECT_NE(r.message.find(std::to_string(kMaxPasswordLength)), std::string::npos) << r.message;
  WriteFileBytes(g_.SafeFile("Junk"), std::string(5000, 'j'));
  r = Login(kModeOpen, "Junk", "whatever");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.message, NotASafeMessage(g_.SafeFile("Junk")));
  EXPECT_NE(r.message.find("Junk.qvt"), std::string::npos);
}

TEST_F(LoginTest, TheOpenCheckByPasswordChangesNothingAndGivesTheKeyOnlyWhenRight) {
  using namespace login;
  const std::string file = g_.SafeFile("Main");
  const std::string before = ReadFileBytes(file);
  TOpenCheck wrong = CheckSafeByPassword(g_, file, "wrong-pass");
  EXPECT_EQ(wrong.code, TqmSFSWrapper::csWrongPassword);
  EXPECT_TRUE(wrong.key.Empty());
  EXPECT_EQ(wrong.reason, "");
  TOpenCheck right = CheckSafeByPassword(g_, file, "main-pass", true);
  EXPECT_EQ(right.code, TqmSFSWrapper::csUsable);
  EXPECT_EQ(ReadFileBytes(file), before);
  g_.OpenSafeByName("Main", right.key, true);
  EXPECT_TRUE(g_.SafeOpen());
  g_.CloseSafe();
  EXPECT_EQ(CheckSafeByPassword(g_, g_.SafeFile("Missing"), "main-pass").code, TqmSFSWrapper::csNotContainer);
}

TEST_F(LoginTest, CreateModeRefusesBadInputAndMakesTheSafeOtherwise) {
  using namespace login;
  EXPECT_EQ(Login(kModeCreate, "New", "new-pass", "new-pass").message, kMsgNameTooShort);
  EXPECT_EQ(Login(kModeCreate, "Newer", "four", "four").message, kMsgPasswordTooShort);
  EXPECT_EQ(Login(kModeCreate, "Newer", "new-pass", "new-past").message, kMsgPasswordsDiffer);
  EXPECT_EQ(Login(kModeCreate, ".Newer", "new-pass", "new-pass").code, kRefused);
  TLoginResult exists = Login(kModeCreate, "Main", "new-pass", "new-pass");
  EXPECT_EQ(exists.code, 3);
  EXPECT_EQ(exists.message, kMsgSafeExists);
  EXPECT_FALSE(fs::exists(g_.SafeFile("Newer")));

  EXPECT_EQ(Login(kModeCreate, "Newer", "new-pass", "new-pass").code, 0);
  EXPECT_TRUE(fs::exists(g_.SafeFile("Newer")));
  EXPECT_EQ(g_.CheckSafe(g_.SafeFile("Newer"), "new-pass", false), 0);
}

TEST_F(LoginTest, CreateModeMakesAHardenedSafeUnlessCompatibleIsAskedForAndGivesItsKey) {
  using namespace login;
  const std::string phrase(100, 'h');  // beyond the compatible limit
  TLoginResult made = Login(kModeCreate, "Hardy", phrase, phrase);
  ASSERT_EQ(made.code, 0) << made.message;
  EXPECT_TRUE(made.key.IsDerived());
  EXPECT_TRUE(TqmSFSWrapper::KeyDerivationOf(g_.SafeFile("Hardy")).Hardened());
  // The key the login gives back opens the Safe: no second derivation is needed.
  g_.OpenSafeByName("Hardy", made.key);
  EXPECT_EQ(g_.SafeKind(), TqmSafeKind::Hardened);
  EXPECT_TRUE(g_.IsMasterPassword(phrase));
  g_.CloseSafe();
  // The open mode derives the same key from the password.
  TLoginResult open = Login(kModeOpen, "Hardy", phrase);
  EXPECT_EQ(open.code, 0);
  EXPECT_TRUE(open.key == made.key);
  EXPECT_EQ(Login(kModeOpen, "Hardy", phrase + "x").code, 2);

  TLoginInput in;
  in.mode = kModeCreate;
  in.safeName = "Oldie";
  in.password = in.confirm = phrase;
  in.kind = TqmSafeKind::Compatible;
  TLoginResult refused = ValidateLogin(g_, in);
  EXPECT_EQ(refused.code, kRefused);
  EXPECT_NE(refused.message.find("32"), std::string::npos) << refused.message;
  EXPECT_FALSE(fs::exists(g_.SafeFile("Oldie")));
  in.password = in.confirm = "oldie-pass";
  TLoginResult compatible = ValidateLogin(g_, in);
  ASSERT_EQ(compatible.code, 0) << compatible.message;
  EXPECT_FALSE(compatible.key.IsDerived());
  EXPECT_FALSE(TqmSFSWrapper::KeyDerivationOf(g_.SafeFile("Oldie")).Hardened());
}

TEST_F(LoginTest, AKeyDerivationTheProgramCannotFollowIsCodeFourWithTheReason) {
  using namespace login;
  ASSERT_EQ(Login(kModeCreate, "Hostile", "host-pass", "host-pass").code, 0);
  // The header (at 280) names 1000 passes, beyond the bounds; its checksum is made to match.
  const std::string file = g_.SafeFile("Hostile");
  TKeyDerivation d = TqmSFSWrapper::KeyDerivationOf(file);
  d.Passes = 1000;
  uint8_t encoded[30];
  d.EncodeTo(encoded);
  std::string bytes = ReadFileBytes(file);
  std::memcpy(bytes.data() + 280 + 226, encoded, sizeof encoded);
  const uint32_t x = test::RefXor(bytes.substr(280 + 12, 244));
  for (int i = 0; i < 4; ++i) bytes[280 + 8 + i] = static_cast<char>(x >> (8 * i));
  WriteFileBytes(file, bytes);
  TLoginResult r = Login(kModeOpen, "Hostile", "host-pass");
  EXPECT_EQ(r.code, TqmSFSWrapper::csCannotOpen);
  EXPECT_NE(r.message.find("1000 passes"), std::string::npos) << r.message;
  EXPECT_TRUE(r.key.Empty());
}

TEST_F(LoginTest, TheOldPasswordOfAChangeIsCheckedAgainstTheOpenSafe) {
  using namespace login;
  g_.OpenSafeByName("Main", TTextKey::FromPassword("main-pass"));
  const TqmSafeKind keep = g_.SafeKind();
  EXPECT_EQ(ChangePasswordProblem(g_, "other", "fives", "fives", keep), kMsgOldPasswordIncorrect);
  EXPECT_EQ(ChangePasswordProblem(g_, "main-pass", "four", "four", keep), kMsgPasswordTooShort);
  EXPECT_EQ(ChangePasswordProblem(g_, "main-pass", "fives", "fives", keep), "");
  const std::string phrase(40, 'q');
  EXPECT_NE(ChangePasswordProblem(g_, "main-pass", phrase, phrase, TqmSafeKind::Compatible), "");
  EXPECT_EQ(ChangePasswordProblem(g_, "main-pass", phrase, phrase, TqmSafeKind::Hardened), "");
  g_.CloseSafe();
  // With no Safe open no password is the master password.
  EXPECT_EQ(ChangePasswordProblem(g_, "main-pass", "fives", "fives", keep), kMsgOldPasswordIncorrect);
}

// --- Received files -----------------------------------------------------------------------------------

TEST(ReceivedFiles, PlansForEachCommandSkipMissingPathsAndKeepTheOrder) {
  TempDir dir;
  const std::string a = dir.file("a.txt"), b = dir.file("b doc.txt");
  WriteFileBytes(a, "a");
  WriteFileBytes(b, "b");
  fs::create_directories(dir.file("folder"));
  const std::vector<std::string> safes{"Alpha", "Beta"};
  using K = TqmReceivedPlan::TKind;

  TqmReceivedPlan p =
      PlanReceivedFiles("/rf:[3][3]" + dir.file("missing") + "|" + a + "|" + b + "|", safes, "Alpha");
  EXPECT_EQ(p.Kind, K::Lock);
  EXPECT_EQ(p.Files, (std::vector<std::string>{a, b}));
  // A folder is no file; the count limits the list.
  p = PlanReceivedFiles("[3][1]" + dir.file("folder") + "|" + a + "|", safes, "Alpha");
  EXPECT_TRUE(p.Files.empty());

  p = PlanReceivedFiles("\"[4][1]" + a + "|\"", safes, "Alpha");
  EXPECT_EQ(p.Kind, K::Lock);  // position 0 is the open Safe
  p = PlanReceivedFiles("[5][1]" + a + "|", safes, "Alpha");
  EXPECT_EQ(p.Kind, K::SwitchAndLock);
  EXPECT_EQ(p.TargetSafe, "Beta");
  EXPECT_EQ(p.Files, std::vector<std::string>{a});
  EXPECT_EQ(PlanReceivedFiles("[6][1]" + a + "|", safes, "Alpha").Kind, K::Nothing);  // no such position
  EXPECT_EQ(PlanReceivedFiles("[2][1]" + a + "|", safes, "Alpha").Kind, K::Nothing);
  EXPECT_EQ(PlanReceivedFiles("[x][1]" + a + "|", safes, "Alpha").Kind, K::Nothing);

  p = PlanReceivedFiles("[1][2]" + b + "|" + a + "|", safes, "Alpha");
  EXPECT_EQ(p.Kind, K::CryptoMail);
  EXPECT_EQ(p.File, b);
  // The first path is the one before the first "|": an empty or missing one presets nothing.
  EXPECT_EQ(PlanReceivedFiles("[1][2]|" + a + "|", safes, "Alpha").File, "");
  EXPECT_EQ(PlanReceivedFiles("[1][1]" + dir.file("gone") + "|", safes, "Alpha").File, "");

  TqmReceivedFilesQueue q;
  q.Push("one");
  q.Push("two");
  q.PushFront("zero");
  std::string c;
  std::vector<std::string> order;
  while (q.Take(c)) order.push_back(c);
  EXPECT_EQ(order, (std::vector<std::string>{"zero", "one", "two"}));
}

// --- Backup progress, opened files of a locked Safe ----------------------------------------------------

TEST_F(LoginTest, ABackupReportsProgressAndACancelWritesNothing) {
  g_.OpenSafeByName("Main", "main-pass");
  WriteFileBytes(dir_.file("big.bin"), std::string(3 << 20, 'b'));
  ASSERT_TRUE(g_.LockFile(g_.FileLockerRoot(), dir_.file("big.bin"), true));
  const std::string target = dir_.file("main.qvtb");
  for (double at : {0.0, 0.3, 0.7, 0.999}) {
    bool asked = false;
    EXPECT_FALSE(g_.Backup(target, [&](double f, bool& cancel) {
      if (f >= at && !asked) cancel = asked = true;
    }));
    EXPECT_TRUE(asked);
    EXPECT_FALSE(fs::exists(target)) << at;
    for (auto& item : fs::directory_iterator(dir_.path()))
      EXPECT_EQ(item.path().filename().string().find("main.qvtb"), std::string::npos) << item.path();
  }
  std::vector<double> fractions;
  ASSERT_TRUE(g_.Backup(target, [&](double f, bool&) { fractions.push_back(f); }));
  EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
  EXPECT_GT(fractions.size(), 4u);
  EXPECT_EQ(g_.CheckSafe(target, "main-pass", false), 0);
}

TEST_F(LoginTest, TheOpenedFilesOfALockedSafeAreStillKnown) {
  g_.OpenSafeByName("Main", "main-pass");
  WriteFileBytes(dir_.file("a.txt"), "opened");
  ASSERT_TRUE(g_.LockFile(g_.FileLockerRoot(), dir_.file("a.txt"), true));
  const std::string copy = g_.TempCopyPath(g_.FileLockerRoot(), "a.txt");
  ASSERT_TRUE(g_.UnlockFile(g_.FileLockerRoot(), "a.txt", copy));
  EXPECT_EQ(copy.rfind(g_.TempFolderOf("Main"), 0), 0u);
  g_.CloseSafe();
  EXPECT_TRUE(g_.OpenedFiles().empty());
  EXPECT_EQ(g_.OpenedFilesOf("Main"), std::vector<std::string>{copy});
  EXPECT_TRUE(g_.OpenedFilesOf("Other").empty());
  g_.OpenSafeByName("Main", "main-pass");
  EXPECT_TRUE(g_.UpdateOpenedFiles());
  EXPECT_TRUE(g_.OpenedFilesOf("Main").empty());
}

}  // namespace
}  // namespace quillmar
