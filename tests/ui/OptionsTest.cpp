// The Options tab: repair (failing and succeeding, with the check that follows), backup and restore,
// the preferences and the autostart entry.
#include <QAction>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStandardPaths>
#include <filesystem>
#include <functional>

#include "container/SingleFileSystem.h"
#include "core/qmLoginRules.h"
#include "core/qmSafeCheck.h"
#include "core/qmShellOptions.h"
#include "platform/AutostartEntry.h"
#include "safe/qmSFSWrapper.h"
#include "shell/frmOptions.h"
#include "shell/frmPreferences.h"
#include "shell/qmFileDialogs.h"
#include "support/ContainerDamage.h"
#include "uisupport/UiTest.h"
#include "widgets/qmText.h"

namespace quillmar::test {
namespace {

namespace fs = std::filesystem;
using namespace login;

class OptionsTest : public UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    MakeSafe("Alpha", "alpha-pass", true);
    StartAndLogin("Alpha", "alpha-pass");
    W().SelectTab(tabOptions);
  }
  void Run(const char* command) { Child<QAction>(W().TabWindow(tabOptions), command)->trigger(); }
  QString CheckResult() { return static_cast<TfrmOptions*>(W().TabWindow(tabOptions))->CheckResult(); }
};

TEST_F(OptionsTest, ARepairThatFailsSaysWhyAndNeverReportsSuccess) {
  // A folder where the rebuild wants its work file.
  fs::create_directories(G().SafeFile("Alpha") + "_new/blocker");
  const std::string before = ReadFileBytes(G().SafeFile("Alpha"));
  script_->Answer(QStringLiteral("could not be repaired"));
  Run("repair");
  ExpectScriptDone();
  for (const QString& text : script_->Answered())
    EXPECT_FALSE(text.contains(QString::fromLatin1(kMsgRepaired)));
  EXPECT_TRUE(CheckResult().isEmpty());
  EXPECT_TRUE(G().SafeOpen());
  EXPECT_TRUE(ReadFileBytes(G().SafeFile("Alpha")) == before);
  EXPECT_TRUE(fs::exists(G().SafeFile("Alpha") + "_new/blocker"));
}

TEST_F(OptionsTest, ARepairIsFollowedByTheCheckWhoseCleanResultIsShown) {
  ASSERT_TRUE(G().LockFile(G().FileLockerRoot(), DiskFile("gone.bin", std::string(200000, 'g')), true));
  ASSERT_TRUE(G().RemoveLockerItem(G().FileLockerRoot(), "gone.bin"));
  const auto sizeBefore = fs::file_size(G().SafeFile("Alpha"));
  script_->Answer(QString::fromLatin1(kMsgRepaired));
  Run("repair");
  ExpectScriptDone();
  EXPECT_TRUE(CheckResult().startsWith(QStringLiteral("No problems found"))) << CheckResult().toStdString();
  EXPECT_LT(fs::file_size(G().SafeFile("Alpha")), sizeBefore);
  // The container agrees.
  EXPECT_TRUE(G().Wrapper().Container()->CheckIntegrity().empty());
  EXPECT_TRUE(DeepCheckSafe(G()).empty());
}

TEST_F(OptionsTest, ARepairSaysWhatItSetRightAndNeverCallsALossASuccess) {
  const std::string file = G().SafeFile("Alpha");
  const std::string locked = "\\File Locker\\a.bin";
  ASSERT_TRUE(G().LockFile(G().FileLockerRoot(), DiskFile("a.bin", std::string(5000, 'a')), true));
  // Damage done to the file on disk while the Safe is closed; it opens again under its key.
  auto damage = [&](const std::function<void()>& how) {
    const TTextKey key = G().SafeKey();
    G().CloseSafe();
    how();
    G().OpenSafe(file, key);
    G().SetSafeKey(key);
  };

  // A page with a wrong encryption mark: the rebuild sets it right, the Safe is whole again.
  damage([&] { SetPageEncryptionMark(file, "alpha-pass", locked, 1, 0); });
  script_->Answer(QString::fromLatin1(kMsgRepaired));
  Run("repair");
  ExpectScriptDone();
  EXPECT_TRUE(CheckResult().startsWith(QStringLiteral("No problems found"))) << CheckResult().toStdString();
  EXPECT_TRUE(CheckResult().contains(QStringLiteral("Set right (1):"))) << CheckResult().toStdString();
  EXPECT_EQ(LockedContent("a.bin"), std::string(5000, 'a'));

  // A page that cannot be read: zeroed by the rebuild, which is then no success.
  damage([&] { DamagePagePayload(file, "alpha-pass", locked, 1); });
  const qsizetype answeredBefore = script_->Answered().size();
  script_->Answer(QStringLiteral("not whole"));
  Run("repair");
  ExpectScriptDone();
  for (qsizetype i = answeredBefore; i < script_->Answered().size(); ++i)
    EXPECT_FALSE(script_->Answered()[i].contains(QString::fromLatin1(kMsgRepaired)))
        << script_->Answered()[i].toStdString();
  const QString shown = CheckResult();
  EXPECT_TRUE(shown.startsWith(QStringLiteral("The Safe was rebuilt, but it is not whole")))
      << shown.toStdString();
  EXPECT_TRUE(shown.contains(QStringLiteral("Lost (1):"))) << shown.toStdString();
  EXPECT_TRUE(
      shown.contains(QStringLiteral("Bytes 2016 to 4031 of \"\\File Locker\\a.bin\" could not be read")))
      << shown.toStdString();
}

// The desktop's documents folder, as xdg-user-dirs names it, for the life of the object.
class TDocumentsFolder {
public:
  explicit TDocumentsFolder(const std::string& folder)
      : file_(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
              QStringLiteral("/user-dirs.dirs")) {
    fs::create_directories(folder);
    QDir().mkpath(QFileInfo(file_).path());
    QFile dirs(file_);
    EXPECT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_DOCUMENTS_DIR=\"" + QByteArray::fromStdString(folder) + "\"\n");
  }
  ~TDocumentsFolder() { QFile::remove(file_); }

private:
  QString file_;
};

TEST_F(OptionsTest, ABackupIsRestoredOverLaterEditsAndOpensWithItsPassword) {
  const std::string backup = dir_.file("alpha backup.qvtb");
  const TDocumentsFolder documents(dir_.file("My Documents"));
  const QString today = QDate::currentDate().toString(Qt::ISODate);
  std::vector<TqmFileRequest> asked;
  SetFileDialogScript([&](const TqmFileRequest& request) {
    asked.push_back(request);
    return QString::fromStdString(backup);
  });
  const std::vector<std::string> original = LockedFiles();
  script_->Answer(QStringLiteral("backed up"));
  Run("BackupSafe");
  ExpectScriptDone();
  ASSERT_TRUE(fs::exists(backup));
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].kind, TqmFileRequest::TKind::Save);
  EXPECT_EQ(asked[0].filter, QStringLiteral("Brelkan Safe backup (*.qvtb)"));
  // The box opens in the documents folder with a name that says which Safe and when.
  EXPECT_EQ(asked[0].folder.toStdString(), dir_.file("My Documents"));
  EXPECT_TRUE(asked[0].fileName == "Alpha " + today + ".qvtb" ||
              asked[0].fileName == "Alpha " + QDate::currentDate().toString(Qt::ISODate) + ".qvtb")
      << asked[0].fileName.toStdString();

  // A second backup over the first asks first; No keeps it.
  script_->Answer(QString::fromLatin1(TqmGlobal::kMsgFileExists), QMessageBox::No);
  Run("BackupSafe");
  ExpectScriptDone();

  // An edit and a new password after the backup.
  ASSERT_TRUE(G().LockFile(G().FileLockerRoot(), DiskFile("later.txt", "after the backup"), true));
  ASSERT_TRUE(G().ChangePassword("alpha-pass", "later-pass"));

  script_->Answer(QString::fromLatin1(kMsgRestoreWarning), QMessageBox::Yes);
  // Said before the login: which backup, and which password opens the Safe now.
  script_->Answer(QStringLiteral("The Safe Alpha was restored from the backup\n") +
                  QString::fromStdString(backup));
  ScriptLogin("Alpha", "alpha-pass");  // the backup's password
  Run("RestoreSafe");                  // posted: runs after this call, the Options window goes
  ExpectScriptDone();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  EXPECT_TRUE(G().IsMasterPassword("alpha-pass"));
  EXPECT_EQ(LockedFiles(), original);
  EXPECT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked.back().kind, TqmFileRequest::TKind::Open);
}

TEST_F(OptionsTest, ARestoreFromAFileThatIsNoBackupChangesNothingAndKeepsTheSafeOpen) {
  const std::string junk = DiskFile("junk.qvtb", std::string(10000, 'j'));
  SetFileDialogScript([&](const TqmFileRequest&) { return QString::fromStdString(junk); });
  const std::string before = ReadFileBytes(G().SafeFile("Alpha"));
  script_->Answer(QString::fromLatin1(kMsgRestoreWarning), QMessageBox::Yes);
  script_->Answer(QStringLiteral("not a Brelkan Safe backup"));
  Run("RestoreSafe");
  ExpectScriptDone();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  EXPECT_TRUE(G().IsMasterPassword("alpha-pass"));
  EXPECT_EQ(G().CheckSafe(junk, "x", false), TqmSFSWrapper::csNotContainer);
  G().CloseSafe();
  EXPECT_EQ(ReadFileBytes(G().SafeFile("Alpha")).size(), before.size());
}

TEST_F(OptionsTest, PreferencesReachTheSafeOnOkOnlyAndOutliveALock) {
  auto setAndClose = [&](bool accept) {
    script_->On<TfrmPreferences>([accept](TfrmPreferences* p) {
      Child<QCheckBox>(p, "chkConfirmDeletion")->setChecked(false);
      Child<QCheckBox>(p, "chkRemoveFile")->setChecked(false);
      Child<QSpinBox>(p, "spnIdleLock")->setValue(7);
      Child<QPushButton>(p, QString::fromLatin1(accept ? "btnOk" : "btnCancel"))->click();
    });
    Run("preferences");
    ExpectScriptDone();
  };
  setAndClose(false);
  EXPECT_TRUE(G().Settings().App.confDel.Value());
  EXPECT_EQ(TqmShellOptions::Load(G().IniFile()).idleLockMinutes, 0);
  setAndClose(true);
  EXPECT_FALSE(G().Settings().App.confDel.Value());
  EXPECT_EQ(TqmShellOptions::Load(G().IniFile()).idleLockMinutes, 7);
  EXPECT_TRUE(W().IdleTimer()->isActive());
  EXPECT_EQ(W().IdleTimer()->interval(), 7 * 60 * 1000);

  // Locked and logged in again: read from the Safe.
  W().LockSafe();
  G().Settings().Reset();
  ScriptLogin("Alpha", "alpha-pass");
  W().RestoreFromTray();
  ASSERT_TRUE(WaitUntil([&] { return G().SafeOpen(); }));
  EXPECT_FALSE(G().Settings().App.confDel.Value());
  EXPECT_FALSE(G().Settings().FileLocker.removeFileFromDisk.Value());
  bool shownOff = true;
  W().SelectTab(tabOptions);
  script_->On<TfrmPreferences>([&](TfrmPreferences* p) {
    shownOff = !Child<QCheckBox>(p, "chkConfirmDeletion")->isChecked();
    p->reject();
  });
  Run("preferences");
  ExpectScriptDone();
  EXPECT_TRUE(shownOff);
}

TEST_F(OptionsTest, StartupWithTheDesktopWritesTheAutostartEntryAtOnceWhateverTheOutcome) {
  ASSERT_FALSE(AutostartEntryExists());
  script_->On<TfrmPreferences>([](TfrmPreferences* p) {
    auto* box = Child<QCheckBox>(p, "chkAutoStart");
    if (box->isChecked()) box->click();  // off first (the template's default is off)
    box->click();
    p->reject();
  });
  Run("preferences");
  ExpectScriptDone();
  ASSERT_TRUE(AutostartEntryExists());
  const std::string text = ReadFileBytes(AutostartEntryPath());
  // The program's path, the home folder (not the default one) and /sm, quoted as the format wants.
  EXPECT_NE(text.find(DesktopEntryExecArgument(ToUtf8(QCoreApplication::applicationFilePath()))),
            std::string::npos);
  EXPECT_NE(
      text.find(" --home " + DesktopEntryExecArgument(fs::canonical(G().HomeFolder()).string()) + " /sm\n"),
      std::string::npos)
      << text;
  EXPECT_FALSE(G().Settings().App.autoStart.Value());  // the setting itself only on OK

  script_->On<TfrmPreferences>([](TfrmPreferences* p) {
    Child<QCheckBox>(p, "chkAutoStart")->click();
    Child<QPushButton>(p, "btnOk")->click();
  });
  Run("preferences");
  ExpectScriptDone();
  EXPECT_FALSE(AutostartEntryExists());
}

}  // namespace
}  // namespace quillmar::test
