// Hardened and compatible Safes: made, filled, reopened and refused; turned from one kind into the
// other with every byte of every file kept, and with a failure injected at each stage; the password
// limits of each kind; repair; hostile header bytes; and one Safe at the real, calibrated cost.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>

#include "SafeTestSupport.h"
#include "base/MemoryStream.h"
#include "container/CipherReference.h"
#include "container/KeyDerivationCost.h"
#include "container/SFSFileStream.h"
#include "container/SingleFileSystem.h"
#include "model/qmCategory.h"
#include "model/qmReminderEvent.h"
#include "model/qmRepositoryEntry.h"
#include "safe/LockedFileCipher.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;
using W = TqmSFSWrapper;

std::string Pattern(size_t size, unsigned seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 37 + seed * 11 + (i >> 7)) & 0xFF);
  return s;
}

// What the user keeps in the Safe, path by path: locked files decrypted with the Safe's key, every
// other file (records, icons, reminders, settings, attachments) as the Safe layer reads it.
std::map<std::string, std::string> Contents(W& safe, const TTextKey& key) {
  std::map<std::string, std::string> out;
  TSingleFileSystem& sfs = *safe.Container();
  std::function<void(const std::string&)> walk = [&](const std::string& folder) {
    std::vector<std::pair<std::string, bool>> items;
    TSearchRec rec;
    for (int r = sfs.FindFirst(folder + "*.*", faAnyFile, rec); r == 0; r = sfs.FindNext(rec))
      items.emplace_back(rec.Name, (rec.Attr & faDirectory) != 0);
    sfs.FindClose(rec);
    for (const auto& [name, isFolder] : items) {
      const std::string path = folder + name;
      if (isFolder) {
        out[path + "\\"] = "";
        walk(path + "\\");
      } else if (path.rfind(W::kFileLockerRoot, 0) == 0) {
        TMemoryStream plain;
        safe.UnlockToStream(path, plain, key);
        out[path] = plain.ToString();
      } else {
        TSFSFileStream f(&sfs, 0, "", "", W::kRecordPassword, 0, path);
        out[path] = f.ReadString(f.Size());
      }
    }
  };
  walk("\\");
  return out;
}

class HardenedSafeTest : public ::testing::Test {
protected:
  // A Safe from the template with its samples, plus an entry, locked files and an attachment.
  void MakeFilled(TqmSafeKind kind, const std::string& password) {
    safe.CreateSafe(file, password, true, kind);
    safe.OpenSafe(file, password);
    const TTextKey key = W::TextKeyFor(file, password);
    TqmCategory cat;
    cat.SetName("Mine");
    safe.SaveCategory(cat);
    TqmRepositoryEntry e(&cat);
    e.Fields().Add(TqmField(0, "Title", ftNormalText, true, "kept"));
    e.Fields().Add(TqmField(1, "Password", ftPassword, false, "p4ss"));
    safe.SaveEntry(cat.FolderPath(), e);
    for (auto& [path, plain] :
         std::vector<std::pair<std::string, std::string>>{{"\\File Locker\\big.bin", Pattern(70001, 1)},
                                                          {"\\File Locker\\Sub\\seven", "seven b"},
                                                          {"\\File Locker\\Sub\\empty", ""}}) {
      TMemoryStream in(plain);
      safe.LockStream(path, in, key);
    }
    WriteFileBytes(dir.file("scan.pdf"), Pattern(5000, 2));
    ASSERT_EQ(safe.AttachFile(dir.file("scan.pdf")), "scan.pdf");
    TqmReminderEvent r;
    r.SetName("renew");
    safe.SaveReminder(r);
  }

  TempDir dir;
  TScriptedPrompter prompter;
  W safe{&prompter};
  std::string file = dir.file("Hard.qvt");
};

TEST_F(HardenedSafeTest, MadeFilledReopenedAndRefusedWithAWrongPassword) {
  MakeFilled(TqmSafeKind::Hardened, "right password");
  EXPECT_EQ(safe.Kind(), TqmSafeKind::Hardened);
  const TTextKey key = W::TextKeyFor(file, "right password");
  const auto before = Contents(safe, key);
  EXPECT_EQ(before.at("\\File Locker\\big.bin"), Pattern(70001, 1));
  EXPECT_EQ(before.at("\\Quillmar.System.Info\\Attached Files\\scan.pdf"), Pattern(5000, 2));
  // The locked file is keyed by SHA-1 of D, not of the password.
  {
    TSFSFileStream stored(safe.Container(), 0, "", "", "", 0, "\\File Locker\\Sub\\seven");
    TMemoryStream plain(std::string("seven b")), underD, underPassword;
    TLockedFileCipher::Encrypt(plain, underD, key.Text());
    plain.SetPosition(0);
    TLockedFileCipher::Encrypt(plain, underPassword, "right password");
    const std::string bytes = stored.ReadString(stored.Size());
    EXPECT_EQ(bytes, underD.ToString());
    EXPECT_NE(bytes, underPassword.ToString());
  }
  // A password is not the key of a hardened Safe's locked files.
  TMemoryStream out;
  EXPECT_THROW(safe.UnlockToStream("\\File Locker\\big.bin", out, "right password"), EQuillmarError);
  safe.CloseSafe();

  // The header's derivation reads back: the tests' cost and a salt of its own.
  const TKeyDerivation d = W::KeyDerivationOf(file);
  EXPECT_EQ(d.Cost(), TestKdfCost().value_or(TKdfCost{}));
  EXPECT_NE(d.Salt, decltype(d.Salt){});
  EXPECT_EQ(key.Text().size(), 32u);
  EXPECT_NE(key.Text(), "right password");

  const std::string bytes = ReadFileBytes(file);
  EXPECT_EQ(safe.CheckSafe(file, "wrong password", false), W::csWrongPassword);
  EXPECT_THROW(safe.OpenSafe(file, "wrong password"), ESFSError);
  EXPECT_FALSE(safe.IsOpen());
  EXPECT_EQ(ReadFileBytes(file), bytes);  // nothing on disk changed
  EXPECT_TRUE(prompter.Messages.empty());

  EXPECT_EQ(safe.CheckSafe(file, "right password", false), W::csUsable);
  safe.OpenSafe(file, "right password");
  EXPECT_EQ(Contents(safe, key), before);
}

// A compatible Safe is what older versions read: nothing in the reserved bytes, the key record keyed
// by the password (checked with the reference cipher), locked files by SHA-1 of the password.
TEST_F(HardenedSafeTest, ACompatibleSafeIsTheOldFormat) {
  MakeFilled(TqmSafeKind::Compatible, "old style");
  EXPECT_EQ(safe.Kind(), TqmSafeKind::Compatible);
  {
    TSFSFileStream stored(safe.Container(), 0, "", "", "", 0, "\\File Locker\\Sub\\seven");
    TMemoryStream plain(std::string("seven b")), expected;
    TLockedFileCipher::Encrypt(plain, expected, "old style");
    EXPECT_EQ(stored.ReadString(stored.Size()), expected.ToString());
  }
  safe.CloseSafe();
  const std::string h = ReadFileBytes(file).substr(280, 256);
  EXPECT_EQ(h.substr(226), std::string(30, '\0'));
  const std::string master = RefDecrypt("old style", h.substr(52, 32));
  EXPECT_EQ(LE32(h, 52 + 64), RefCrc16Arc(master));
  EXPECT_EQ(W::TextKeyFor(file, "old style"), TTextKey::FromPassword("old style"));
}

// Harden, then back to compatible: every byte of every file is the same each time.
TEST_F(HardenedSafeTest, HardenAndBackKeepEveryFile) {
  MakeFilled(TqmSafeKind::Compatible, "pw one");
  const auto before = Contents(safe, TTextKey::FromPassword("pw one"));

  ASSERT_TRUE(safe.ChangePassword("pw one", "pw one", TqmSafeKind::Hardened));
  EXPECT_EQ(safe.Kind(), TqmSafeKind::Hardened);
  const TTextKey hard = W::TextKeyFor(file, "pw one");
  EXPECT_TRUE(hard.IsDerived());
  EXPECT_EQ(Contents(safe, hard), before);

  // A change of password keeps the kind and draws a new salt.
  ASSERT_TRUE(safe.ChangePassword("pw one", "pw two"));
  EXPECT_EQ(safe.Kind(), TqmSafeKind::Hardened);
  EXPECT_NE(W::KeyDerivationOf(file).Salt, hard.Derivation().Salt);
  EXPECT_EQ(Contents(safe, W::TextKeyFor(file, "pw two")), before);
  EXPECT_FALSE(safe.ChangePassword("pw one", "pw three"));  // the old one is no longer right

  ASSERT_TRUE(safe.ChangePassword("pw two", "pw two", TqmSafeKind::Compatible));
  EXPECT_EQ(safe.Kind(), TqmSafeKind::Compatible);
  EXPECT_EQ(Contents(safe, TTextKey::FromPassword("pw two")), before);
  safe.CloseSafe();
  EXPECT_EQ(ReadFileBytes(file).substr(280 + 226, 30), std::string(30, '\0'));
  EXPECT_EQ(safe.CheckSafe(file, "pw two", false), W::csUsable);
  for (auto& e : fs::directory_iterator(dir.path()))
    EXPECT_TRUE(e.path().filename() == "Hard.qvt" || e.path().filename() == "scan.pdf") << e.path();
}

// All or nothing: a failure at any stage of a change of kind (and password) leaves a Safe that opens
// with exactly one of the two passwords, of the matching kind, with every locked file readable.
TEST_F(HardenedSafeTest, AFailureAtAnyStageOfAChangeOfKindLeavesOneConsistentSafe) {
  MakeFilled(TqmSafeKind::Compatible, "before");
  const auto plain = Contents(safe, TTextKey::FromPassword("before"));
  for (TqmSafeKind to : {TqmSafeKind::Hardened, TqmSafeKind::Compatible}) {
    // Start from the other kind each round.
    const TqmSafeKind from = to == TqmSafeKind::Hardened ? TqmSafeKind::Compatible : TqmSafeKind::Hardened;
    if (safe.Kind() != from) {
      ASSERT_TRUE(safe.ChangePassword("before", "before", from));
    }
    for (std::string failAt : {"copied", "rekeyed", "container", "synced", "swapped"}) {
      SCOPED_TRACE(failAt + (to == TqmSafeKind::Hardened ? " hardening" : " making compatible"));
      safe.OnPasswordChangeStage = [&](const std::string& stage) {
        if (stage == failAt) throw std::runtime_error("injected");
      };
      EXPECT_THROW(safe.ChangePassword("before", "after", to), std::runtime_error);
      safe.OnPasswordChangeStage = nullptr;
      EXPECT_TRUE(safe.IsOpen());
      safe.CloseSafe();
      const bool isOld = safe.CheckSafe(file, "before", false) == W::csUsable;
      const bool isNew = safe.CheckSafe(file, "after", false) == W::csUsable;
      EXPECT_NE(isOld, isNew);
      EXPECT_EQ(isNew, failAt == "swapped");
      const std::string password = isNew ? "after" : "before";
      safe.OpenSafe(file, password);
      EXPECT_EQ(safe.Kind(), isNew ? to : from);
      EXPECT_EQ(Contents(safe, W::TextKeyFor(file, password)), plain);
      EXPECT_FALSE(fs::exists(file + ".pwchange"));
      if (isNew) {
        ASSERT_TRUE(safe.ChangePassword("after", "before", from));  // back for the next round
      }
    }
  }
}

TEST_F(HardenedSafeTest, PasswordLimitsOfEachKind) {
  // Compatible: 32 characters at most, refused before anything is written.
  const std::string long33(33, 'L');
  try {
    safe.CreateSafe(file, long33, false, TqmSafeKind::Compatible);
    ADD_FAILURE() << "a 33-character password was taken for a compatible Safe";
  } catch (const EQuillmarError& e) {
    EXPECT_EQ(std::string(e.what()), W::kMsgCompatiblePasswordTooLong);
  }
  EXPECT_FALSE(fs::exists(file));
  EXPECT_THROW(safe.CreateSafe(file, "", false, TqmSafeKind::Hardened), EQuillmarError);
  EXPECT_FALSE(fs::exists(file));
  safe.CreateSafe(file, std::string(32, 'L'), false, TqmSafeKind::Compatible);
  EXPECT_EQ(safe.CheckSafe(file, std::string(32, 'L'), false), W::csUsable);

  // Hardened: no limit.
  const std::string long200(200, 'H');
  safe.OpenSafe(file, std::string(32, 'L'));
  ASSERT_TRUE(safe.ChangePassword(std::string(32, 'L'), long200, TqmSafeKind::Hardened));
  safe.CloseSafe();
  EXPECT_EQ(safe.CheckSafe(file, long200, false), W::csUsable);
  EXPECT_EQ(safe.CheckSafe(file, std::string(199, 'H'), false), W::csWrongPassword);

  // Back to compatible with that password: refused with the message, the Safe as it was.
  safe.OpenSafe(file, long200);
  const std::string bytes = ReadFileBytes(file);
  EXPECT_THROW(safe.ChangePassword(long200, long200, TqmSafeKind::Compatible), EQuillmarError);
  EXPECT_EQ(ReadFileBytes(file), bytes);
  EXPECT_EQ(safe.Kind(), TqmSafeKind::Hardened);
}

TEST_F(HardenedSafeTest, RepairKeepsTheKindAndTheKey) {
  MakeFilled(TqmSafeKind::Hardened, "pw");
  const TTextKey key = W::TextKeyFor(file, "pw");
  const auto before = Contents(safe, key);
  const TKeyDerivation d = safe.KeyDerivation();
  std::string log;
  ASSERT_TRUE(safe.Repair(&log)) << log;
  EXPECT_EQ(safe.KeyDerivation(), d);
  EXPECT_EQ(Contents(safe, key), before);
  safe.CloseSafe();
  EXPECT_EQ(W::KeyDerivationOf(file), d);
  EXPECT_EQ(safe.CheckSafe(file, key), W::csUsable);
}

TEST_F(HardenedSafeTest, HostileDerivationBytesAreShownNotTakenForAWrongPassword) {
  safe.CreateEmptySafe(file, W::NewTextKey("pw", TqmSafeKind::Hardened));
  safe.CloseSafe();
  TKeyDerivation d = W::KeyDerivationOf(file);
  d.Passes = 1000;
  uint8_t b[30];
  d.EncodeTo(b);
  std::string f = ReadFileBytes(file);
  std::memcpy(f.data() + 280 + 226, b, 30);
  uint32_t x = RefXor(f.substr(280 + 12, 244));
  for (int i = 0; i < 4; ++i) f[280 + 8 + i] = static_cast<char>(x >> (8 * i));
  WriteFileBytes(file, f);

  EXPECT_EQ(safe.CheckSafe(file, "pw", false), W::csCannotOpen);
  ASSERT_EQ(prompter.Messages.size(), 1u);
  EXPECT_NE(prompter.Messages[0].find("1000 passes, more than the 100 allowed"), std::string::npos)
      << prompter.Messages[0];
  EXPECT_THROW(safe.OpenSafe(file, "pw"), ESFSError);
  EXPECT_THROW(W::TextKeyFor(file, "pw"), ESFSError);
  EXPECT_EQ(safe.CheckSafe(file, TTextKey()), W::csCannotOpen);
}

// Once at the real cost: the calibration of this run, a derivation at that cost for each check.
TEST_F(HardenedSafeTest, AtTheRealCost) {
  SetTestKdfCost(std::nullopt);
  struct TRestore {
    ~TRestore() { ResetTestKdfCost(); }
  } restore;
  safe.CreateSafe(file, "real cost", false);
  const TKeyDerivation d = W::KeyDerivationOf(file);
  EXPECT_GE(d.MemoryKiB, TKdfCostRules::MinMemoryKiB);
  EXPECT_LE(d.MemoryKiB, TKdfCostRules::CapMemoryKiB);
  EXPECT_GE(d.Passes, TKdfCostRules::MinPasses);
  EXPECT_TRUE(d.Lanes == 1 || d.Lanes == 2);
  EXPECT_EQ(safe.CheckSafe(file, "real cost", false), W::csUsable);
  EXPECT_EQ(safe.CheckSafe(file, "real cosT", false), W::csWrongPassword);
}

}  // namespace
}  // namespace quillmar::test
