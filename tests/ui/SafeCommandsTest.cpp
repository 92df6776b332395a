// The Safe commands of the main window: change, new and delete Safe, the change of password, and
// the end of the program with files still opened from a locked Safe.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <filesystem>

#include "base/MemoryStream.h"
#include "container/SingleFileSystem.h"
#include "core/qmLoginRules.h"
#include "platform/DesktopLauncher.h"
#include "safe/qmSFSWrapper.h"
#include "shell/frmChangePassword.h"
#include "support/HeldFile.h"
#include "uisupport/UiTest.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;
using namespace login;

using test::THeldFile;

QAction* SafeItem(TfrmQuillmar& w, const QString& name) {
  for (QAction* a : w.SafesMenu()->actions())
    if (a->objectName() == QLatin1String("changeSafe") && a->data().toString() == name) return a;
  return nullptr;
}

class SafeCommandsTest : public UiTest {
protected:
  // Alpha (open) with a locked file taken out for editing into the TEMP folder, and Beta.
  std::string OpenACopy() {
    MakeSafe("Alpha", "alpha-pass");
    MakeSafe("Beta", "beta-pass");
    StartAndLogin("Alpha", "alpha-pass");
    EXPECT_TRUE(G().LockFile(G().FileLockerRoot(), DiskFile("doc.txt", "first version"), true));
    const std::string copy = G().TempCopyPath(G().FileLockerRoot(), "doc.txt");
    EXPECT_TRUE(G().UnlockFile(G().FileLockerRoot(), "doc.txt", copy));
    WriteFileBytes(copy, "edited while open");
    return copy;
  }
};

TEST_F(SafeCommandsTest, ASwitchOpensTheChosenSafeAndACancelledOneReopensThePrevious) {
  MakeSafe("Alpha", "alpha-pass");
  MakeSafe("Beta", "beta-pass");
  StartAndLogin("Alpha", "alpha-pass");
  ASSERT_TRUE(G().LockFile(G().FileLockerRoot(), DiskFile("alpha.txt", "in alpha"), true));
  // The menu lists the other Safes, a separator, and the three fixed commands.
  QStringList items;
  for (QAction* a : W().SafesMenu()->actions()) items << (a->isSeparator() ? QStringLiteral("-") : a->text());
  EXPECT_EQ(items, (QStringList{"Beta", "-", "Change Password", "New Safe", "Delete Safe"}));

  ScriptCancelLogin();
  SafeItem(W(), QStringLiteral("Beta"))->trigger();
  ExpectScriptDone();
  EXPECT_TRUE(G().SafeOpen());
  EXPECT_EQ(G().SafeName(), "Alpha");
  EXPECT_EQ(LockedFiles(), std::vector<std::string>{"alpha.txt"});
  EXPECT_EQ(W().CurrentTab(), tabPasswordRepository);

  ScriptLogin("Beta", "beta-pass");
  SafeItem(W(), QStringLiteral("Beta"))->trigger();
  ExpectScriptDone();
  EXPECT_EQ(G().SafeName(), "Beta");
  EXPECT_TRUE(G().IsMasterPassword("beta-pass"));
  EXPECT_TRUE(LockedFiles().empty());
  EXPECT_NE(SafeItem(W(), QStringLiteral("Alpha")), nullptr);
  EXPECT_EQ(Child<QLabel>(&W(), "lblSafeName")->text(), QStringLiteral("Beta"));
}

TEST_F(SafeCommandsTest, AnOpenedCopyThatIsStillHeldAndCancelKeepTheSafeOpen) {
  const std::string copy = OpenACopy();
  THeldFile held(copy);
  for (const char* command : {"switch", "newSafe"}) {
    SCOPED_TRACE(command);
    script_->Answer(QString::fromLatin1(TqmGlobal::kMsgFileOpenedByAnother), QMessageBox::Cancel);
    if (std::string(command) == "switch")
      SafeItem(W(), QStringLiteral("Beta"))->trigger();
    else
      W().FindAction(QStringLiteral("newSafe"))->trigger();
    ExpectScriptDone();
    EXPECT_TRUE(G().SafeOpen());
    EXPECT_EQ(G().SafeName(), "Alpha");
    EXPECT_NE(W().TabWindow(tabPasswordRepository), nullptr);  // nothing was closed
    EXPECT_EQ(ReadFileBytes(copy), "edited while open");
  }
  held.Release();
  // Once the other program lets go, the switch writes the copy back first.
  ScriptLogin("Beta", "beta-pass");
  SafeItem(W(), QStringLiteral("Beta"))->trigger();
  ExpectScriptDone();
  EXPECT_FALSE(fs::exists(copy));
  ScriptLogin("Alpha", "alpha-pass");
  SafeItem(W(), QStringLiteral("Alpha"))->trigger();
  ExpectScriptDone();
  EXPECT_EQ(LockedContent("doc.txt"), "edited while open");
}

TEST_F(SafeCommandsTest, DeleteAsksBeforeClosingAnythingAndTheLastSafeLeadsToCreateMode) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass");
  bool tabsOpenWhenAsked = false;
  script_->OnWindow(
      QStringLiteral("the delete question"),
      [](QWidget* w) {
        return qobject_cast<QMessageBox*>(w) && static_cast<QMessageBox*>(w)->text() == kMsgDeleteSafe;
      },
      [&](QWidget* w) {
        tabsOpenWhenAsked = W().TabWindow(tabPasswordRepository) != nullptr;
        static_cast<QMessageBox*>(w)->button(QMessageBox::No)->click();
      });
  W().FindAction(QStringLiteral("deleteSafe"))->trigger();
  ExpectScriptDone();
  EXPECT_TRUE(tabsOpenWhenAsked);
  EXPECT_TRUE(G().SafeOpen());
  EXPECT_TRUE(fs::exists(G().SafeFile("Alpha")));

  script_->Answer(QString::fromLatin1(kMsgDeleteSafe), QMessageBox::Yes);
  int mode = 0;
  script_->On<TfrmLogin>([&](TfrmLogin* login) {
    mode = login->Mode();
    Child<QPushButton>(login, "btnCancel")->click();
  });
  W().FindAction(QStringLiteral("deleteSafe"))->trigger();
  ExpectScriptDone();
  EXPECT_FALSE(fs::exists(G().SafeFile("Alpha")));
  EXPECT_EQ(mode, kModeCreate);
  EXPECT_FALSE(G().SafeOpen());
  EXPECT_TRUE(G().SafeName().empty() || G().SafeName() == LogonUserName()) << G().SafeName();
  EXPECT_TRUE(G().SafeKey().Empty());
  // A Safe was open in this run: the program goes on, its window (no tray here) saying so.
  EXPECT_FALSE(W().Ended());
  EXPECT_TRUE(W().isVisible());
  EXPECT_EQ(Child<QLabel>(&W(), "lblLockedTitle")->text(), QStringLiteral("No Safe is open"));
}

// Makes the folder refuse to lose its files: read-only for a user, immutable for the superuser.
class TUndeletableFolder {
public:
  explicit TUndeletableFolder(const std::string& folder) : folder_(folder) {
    if (::geteuid() != 0) {
      fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
      ok_ = true;
      return;
    }
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    if (fd_ >= 0 && ::ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      ok_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
    }
  }
  ~TUndeletableFolder() {
    if (fd_ >= 0) {
      int flags = 0;
      if (::ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
        flags &= ~FS_IMMUTABLE_FL;
        ::ioctl(fd_, FS_IOC_SETFLAGS, &flags);
      }
      ::close(fd_);
    } else {
      fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::replace);
    }
  }
  bool Ok() const { return ok_; }

private:
  std::string folder_;
  int fd_ = -1;
  bool ok_ = false;
};

TEST_F(SafeCommandsTest, AFailedDeleteReopensTheSafe) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass");
  {
    TUndeletableFolder keep(G().HomeFolder());
    if (!keep.Ok()) GTEST_SKIP() << "the file system cannot keep a folder from losing files";
    script_->Answer(QString::fromLatin1(kMsgDeleteSafe), QMessageBox::Yes);
    script_->Answer(QString::fromLatin1(kMsgCantDelete));
    W().FindAction(QStringLiteral("deleteSafe"))->trigger();
    ExpectScriptDone();
  }
  EXPECT_TRUE(G().SafeOpen());
  EXPECT_EQ(G().SafeName(), "Alpha");
  EXPECT_TRUE(G().IsMasterPassword("alpha-pass"));
  EXPECT_EQ(W().CurrentTab(), tabPasswordRepository);
}

// --- Change of password -----------------------------------------------------------------------------------

void FillPasswords(TfrmChangePassword* d, const std::string& old, const std::string& fresh,
                   const std::string& again) {
  Child<QLineEdit>(d, "OldPassword")->setText(QString::fromStdString(old));
  Child<QLineEdit>(d, "NewPassword")->setText(QString::fromStdString(fresh));
  Child<QLineEdit>(d, "NewPasswordConfirm")->setText(QString::fromStdString(again));
  Child<QPushButton>(d, "btnOk")->click();
}

TEST_F(SafeCommandsTest, RefusedPasswordsKeepTheDialogAndChangeNothing) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass");
  const std::string tooLong(MasterPasswordLimit(TqmSafeKind::Hardened) + 1, 'l');
  struct {
    std::string old, fresh, again;
    QString message;
  } refusals[] = {
      {"not-it", "new-pass", "new-pass", QString::fromLatin1(kMsgOldPasswordIncorrect)},
      {"alpha-pass", "four", "four", QString::fromLatin1(kMsgPasswordTooShort)},
      {"alpha-pass", "new-pass", "new-past", QString::fromLatin1(kMsgPasswordsDiffer)},
      {"alpha-pass", tooLong, tooLong, QString::number(MasterPasswordLimit(TqmSafeKind::Hardened))}};
  for (const auto& r : refusals) {
    script_->On<TfrmChangePassword>(
        [r](TfrmChangePassword* d) { FillPasswords(d, r.old, r.fresh, r.again); });
    script_->Answer(r.message);
  }
  bool stillOpen = false;
  script_->On<TfrmChangePassword>([&](TfrmChangePassword* d) {
    stillOpen = d->isVisible();
    d->reject();
  });
  W().FindAction(QStringLiteral("changePassword"))->trigger();
  ExpectScriptDone();
  EXPECT_TRUE(stillOpen);
  EXPECT_TRUE(G().IsMasterPassword("alpha-pass"));
  EXPECT_TRUE(TSingleFileSystem::CheckContainerPassword(
      G().SafeFile("Alpha"), TqmSFSWrapper::TextKeyFor(G().SafeFile("Alpha"), "alpha-pass")));
}

TEST_F(SafeCommandsTest, AChangedPasswordReKeysTheDemoFileLockerFiles) {
  MakeSafe("Demo", "demo-pass", true);
  StartAndLogin("Demo", "demo-pass");
  const std::vector<std::string> files = LockedFiles();
  ASSERT_FALSE(files.empty());
  std::vector<std::string> contents;
  for (const std::string& f : files) contents.push_back(LockedContent(f));
  script_->On<TfrmChangePassword>(
      [](TfrmChangePassword* d) { FillPasswords(d, "demo-pass", "fresh-pass", "fresh-pass"); });
  script_->Answer(QStringLiteral("The master password was changed."));
  W().FindAction(QStringLiteral("changePassword"))->trigger();
  ExpectScriptDone();
  EXPECT_TRUE(G().IsMasterPassword("fresh-pass"));
  const std::string demo = G().SafeFile("Demo");
  EXPECT_TRUE(TSingleFileSystem::CheckContainerPassword(demo, TqmSFSWrapper::TextKeyFor(demo, "fresh-pass")));
  EXPECT_FALSE(TSingleFileSystem::CheckContainerPassword(demo, TqmSFSWrapper::TextKeyFor(demo, "demo-pass")));
  for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(LockedContent(files[i]), contents[i]) << files[i];
}

TEST_F(SafeCommandsTest, TheDialogShowsTheKindAndChangesItOnlyWhenAskedAndAfterAWarning) {
  MakeSafe("Demo", "demo-pass", true);
  StartAndLogin("Demo", "demo-pass");
  const std::vector<std::string> files = LockedFiles();
  ASSERT_FALSE(files.empty());
  std::vector<std::string> contents;
  for (const std::string& f : files) contents.push_back(LockedContent(f));
  const std::string file = G().SafeFile("Demo");
  auto shown = [](TfrmChangePassword* d, QString& kind, bool& compatible) {
    kind = Child<QLabel>(d, "lblSafeKind")->text();
    auto* box = Child<QCheckBox>(d, "chkCompatible");
    EXPECT_TRUE(box->isVisible());
    compatible = box->isChecked();
  };
  auto markCompatible = [](TfrmChangePassword* d, bool on) {
    Child<QCheckBox>(d, "chkCompatible")->setChecked(on);
  };

  // Hardened: said so with its parameters. Made compatible only after the warning: No keeps the
  // dialog, a password too long for the compatible format is refused with its limit.
  QString kind;
  bool compatible = true;
  const std::string phrase(40, 'p');
  script_->On<TfrmChangePassword>([&](TfrmChangePassword* d) {
    shown(d, kind, compatible);
    markCompatible(d, true);
    FillPasswords(d, "demo-pass", phrase, phrase);
  });
  script_->Answer(QString::number(MasterPasswordLimit(TqmSafeKind::Compatible)));
  script_->On<TfrmChangePassword>(
      [&](TfrmChangePassword* d) { FillPasswords(d, "demo-pass", "old-pass", "old-pass"); });
  script_->Answer(QStringLiteral("Make the Safe readable by older versions?"), QMessageBox::No);
  script_->On<TfrmChangePassword>([&](TfrmChangePassword* d) { d->reject(); });
  W().FindAction(QStringLiteral("changePassword"))->trigger();
  ExpectScriptDone();
  EXPECT_TRUE(kind.startsWith(QStringLiteral("This Safe is hardened (Argon2id, "))) << kind.toStdString();
  EXPECT_FALSE(compatible);
  EXPECT_EQ(G().SafeKind(), TqmSafeKind::Hardened);
  EXPECT_TRUE(G().IsMasterPassword("demo-pass"));

  // Yes: compatible, the locked files re-keyed with it.
  script_->On<TfrmChangePassword>([&](TfrmChangePassword* d) {
    markCompatible(d, true);
    FillPasswords(d, "demo-pass", "old-pass", "old-pass");
  });
  script_->Answer(QStringLiteral("Make the Safe readable by older versions?"), QMessageBox::Yes);
  script_->Answer(QStringLiteral("The Safe is now compatible"));
  W().FindAction(QStringLiteral("changePassword"))->trigger();
  ExpectScriptDone();
  EXPECT_EQ(G().SafeKind(), TqmSafeKind::Compatible);
  EXPECT_TRUE(TSingleFileSystem::CheckContainerPassword(file, "old-pass"));
  for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(LockedContent(files[i]), contents[i]) << files[i];

  // Compatible: the box is marked; a change that leaves it so keeps the kind (and its limit).
  script_->On<TfrmChangePassword>([&](TfrmChangePassword* d) {
    shown(d, kind, compatible);
    FillPasswords(d, "old-pass", "older-pass", "older-pass");
  });
  script_->Answer(QStringLiteral("The master password was changed."));
  W().FindAction(QStringLiteral("changePassword"))->trigger();
  ExpectScriptDone();
  EXPECT_TRUE(kind.startsWith(QStringLiteral("This Safe is compatible"))) << kind.toStdString();
  EXPECT_TRUE(compatible);
  EXPECT_EQ(G().SafeKind(), TqmSafeKind::Compatible);
  EXPECT_TRUE(TSingleFileSystem::CheckContainerPassword(file, "older-pass"));

  // Cleared: hardened again, with a pass phrase no compatible Safe could hold; no question asked.
  script_->On<TfrmChangePassword>([&](TfrmChangePassword* d) {
    markCompatible(d, false);
    FillPasswords(d, "older-pass", phrase, phrase);
  });
  script_->Answer(QStringLiteral("The Safe is now hardened"));
  W().FindAction(QStringLiteral("changePassword"))->trigger();
  ExpectScriptDone();
  EXPECT_EQ(G().SafeKind(), TqmSafeKind::Hardened);
  EXPECT_TRUE(G().IsMasterPassword(phrase));
  EXPECT_TRUE(TSingleFileSystem::CheckContainerPassword(file, TqmSFSWrapper::TextKeyFor(file, phrase)));
  for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(LockedContent(files[i]), contents[i]) << files[i];
}

TEST_F(SafeCommandsTest, CancelMidWayLeavesTheSafeFileAsItWas) {
  MakeSafe("Alpha", "alpha-pass");
  StartAndLogin("Alpha", "alpha-pass");
  std::string big(12 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 5);
  ASSERT_TRUE(G().LockFile(G().FileLockerRoot(), DiskFile("big.bin", big), true));
  // The bytes as they are now; opened again without reading a file (a read sets access times), under
  // the key it had (closing forgets it).
  const TTextKey key = G().SafeKey();
  G().CloseSafe();
  const std::string before = ReadFileBytes(G().SafeFile("Alpha"));
  G().OpenSafe(G().SafeFile("Alpha"), key);
  G().SetSafeKey(key);
  int valueWhenCancelled = -1;
  script_->On<TfrmChangePassword>(
      [](TfrmChangePassword* d) { FillPasswords(d, "alpha-pass", "fresh-pass", "fresh-pass"); });
  script_->OnWindow(
      QStringLiteral("the progress past its start"),
      [](QWidget* w) {
        auto* p = qobject_cast<QProgressDialog*>(w);
        return p != nullptr && p->value() > 0;
      },
      [&](QWidget* w) {
        valueWhenCancelled = static_cast<QProgressDialog*>(w)->value();
        static_cast<QProgressDialog*>(w)->cancel();
      });
  script_->Answer(QStringLiteral("cancelled"));
  W().FindAction(QStringLiteral("changePassword"))->trigger();
  ExpectScriptDone();
  EXPECT_GT(valueWhenCancelled, 0);
  EXPECT_LT(valueWhenCancelled, 1000);
  EXPECT_TRUE(G().IsMasterPassword("alpha-pass"));
  EXPECT_TRUE(G().SafeOpen());
  EXPECT_TRUE(ReadFileBytes(G().SafeFile("Alpha")) == before);
  EXPECT_TRUE(LockedContent("big.bin") == big);
}

// --- The end of the program --------------------------------------------------------------------------

std::string Sha256Of(const std::string& file) {
  return QCryptographicHash::hash(QByteArray::fromStdString(ReadFileBytes(file)), QCryptographicHash::Sha256)
      .toHex()
      .toStdString();
}

TEST_F(SafeCommandsTest, ASafeOpenedAndClosedUnchangedKeepsItsBytes) {
  MakeSafe("Alpha", "alpha-pass", true);
  const std::string file = G().SafeFile("Alpha");
  const std::string before = Sha256Of(file);
  // Login, a look at every tab, a lock and a login again, then Exit: nothing was changed, so not a
  // byte of the Safe is written (no settings, no access times of what was read).
  StartAndLogin("Alpha", "alpha-pass");
  for (int tab = 0; tab < kTabCount; ++tab) W().SelectTab(tab);
  W().LockSafe();
  EXPECT_EQ(Sha256Of(file), before);
  ScriptLogin("Alpha", "alpha-pass");
  W().RestoreFromTray();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  W().FindAction(QStringLiteral("exit"))->trigger();
  ASSERT_TRUE(W().Ended());
  EndProgram();
  EXPECT_EQ(Sha256Of(file), before);

  // A change of the settings is written, once.
  StartAndLogin("Alpha", "alpha-pass");
  G().Settings().App.confDel.SetValue(!G().Settings().App.confDel.Value());
  W().FindAction(QStringLiteral("exit"))->trigger();
  EndProgram();
  const std::string changed = Sha256Of(file);
  EXPECT_NE(changed, before);
  StartAndLogin("Alpha", "alpha-pass");
  W().FindAction(QStringLiteral("exit"))->trigger();
  EndProgram();
  EXPECT_EQ(Sha256Of(file), changed);
}

TEST_F(SafeCommandsTest, ExitWhileLockedWithOpenedCopiesAsksForTheLoginAndCancelKeepsThemWhereItSays) {
  const std::string copy = OpenACopy();
  W().LockSafe();
  ASSERT_FALSE(G().SafeOpen());
  EXPECT_TRUE(G().SafeKey().Empty());
  ScriptCancelLogin();
  script_->Answer(QString::fromStdString(G().TempFolderOf("Alpha")));
  W().close();
  ExpectScriptDone();
  EXPECT_TRUE(W().Ended());
  EXPECT_EQ(ReadFileBytes(copy), "edited while open");
  EndProgram();
  EXPECT_EQ(ReadFileBytes(copy), "edited while open");  // not even the clean-up at the end takes it
}

TEST_F(SafeCommandsTest, ExitWhileLockedWritesTheOpenedCopiesBackAfterTheLogin) {
  const std::string copy = OpenACopy();
  const std::string safe = G().SafeFile("Alpha");
  W().LockSafe();
  ScriptLogin("Alpha", "alpha-pass");
  W().close();
  ExpectScriptDone();
  EXPECT_TRUE(W().Ended());
  EXPECT_FALSE(fs::exists(copy));
  EndProgram();
  TqmSFSWrapper check;
  check.OpenSafe(safe, "alpha-pass");
  TMemoryStream out;
  check.UnlockToStream("\\File Locker\\doc.txt", out, TqmSFSWrapper::TextKeyFor(safe, "alpha-pass"));
  EXPECT_EQ(out.ToString(), "edited while open");
}

}  // namespace
}  // namespace quillmar::test
